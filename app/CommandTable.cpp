#include "app/CommandTable.h"

#include <QAction>
#include <QHBoxLayout>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>

#include "app/Messages.h"
#include "app/ToolbarIcons.h"
#include "app/ZoomBox.h"
#include "settings/TextTable.h"

namespace {

QString Text(int n) {
  return QString::fromStdString(LangText(n));
}

// The commands that need a single opened picture (not a series).
constexpr std::initializer_list<int> kSinglePictureCommands = {
    kCmdSingleImage, kCmdToneMapping, kCmdDaylightUp, kCmdDaylightDown, kCmdSmartContrast};

// Toolbar images are 32 x 32; a button is 9 pixels larger in both directions.
constexpr int kIconSize = 32;
constexpr int kButtonSize = kIconSize + 9;

QWidget* FixedGap(QWidget* parent, int width) {
  auto* gap = new QWidget(parent);
  gap->setFixedSize(width, kButtonSize);
  gap->setEnabled(false);
  return gap;
}

}  // namespace

CommandTable::CommandTable(QWidget* window) : QObject(window), window_(window) {
  menu_ = new QMenu(window);
  fileMenu_ = menu_->addMenu(QString());
  AddMenuItem(fileMenu_, kCmdOpen);
  AddMenuItem(fileMenu_, kCmdSaveAs);
  AddMenuItem(fileMenu_, kCmdClose);
  fileMenu_->addSeparator();
  AddMenuItem(fileMenu_, kCmdOptions);
  fileMenu_->addSeparator();
  AddMenuItem(fileMenu_, kCmdExit);
  createMenu_ = menu_->addMenu(QString());
  for (int command : {kCmdSmartContrast, kCmdSingleImage, kCmdMultiImage, kCmdDaylightUp,
                      kCmdDaylightDown, kCmdToneMapping})
    AddMenuItem(createMenu_, command);
  helpMenu_ = menu_->addMenu(QString());
  AddMenuItem(helpMenu_, kCmdAbout);
  UpdateMenu();
}

QAction* CommandTable::AddMenuItem(QMenu* menu, int command) {
  QAction* item = menu->addAction(QString());
  connect(item, &QAction::triggered, this, [this, command] { emit Triggered(command); });
  menuItems_[command] = item;
  return item;
}

QAction* CommandTable::AddButton(QToolBar* toolbar, int command, const char* image,
                                 int tooltipText) {
  QAction* button = toolbar->addAction(ToolbarIcon(QString::fromLatin1(image)), QString());
  if (tooltipText > 0) {
    button->setText(Text(tooltipText));
    button->setToolTip(Text(tooltipText));
  }
  connect(button, &QAction::triggered, this, [this, command] { emit Triggered(command); });
  buttons_[command] = button;
  return button;
}

void CommandTable::BuildToolbar(QToolBar* toolbar, QWidget* zoomBox) {
  zoomBox_ = zoomBox;
  toolbar->setIconSize(QSize(kIconSize, kIconSize));
  toolbar->setToolButtonStyle(Qt::ToolButtonIconOnly);
  AddButton(toolbar, kCmdOpen, "IDP_FOLDER", 79)
      ->setShortcut(QKeySequence(QStringLiteral("Ctrl+O")));
  AddButton(toolbar, kCmdSaveAs, "IDP_SAVE", 24)
      ->setShortcut(QKeySequence(QStringLiteral("Ctrl+S")));
  toolbar->addSeparator();
  AddButton(toolbar, kCmdSmartContrast, "CONTRAST", 101);
  AddButton(toolbar, kCmdSingleImage, "LIGHT", 13);
  AddButton(toolbar, kCmdMultiImage, "MULTI", 30);
  toolbar->addSeparator();
  AddButton(toolbar, kCmdDaylightUp, "LIGHT_UP", 99);
  AddButton(toolbar, kCmdDaylightDown, "LIGHT_DOWN", 100);
  AddButton(toolbar, kCmdToneMapping, "COLORMAP", 98);
  toolbar->addWidget(FixedGap(toolbar, kButtonSize));

  // The spacer takes the free width so that "Menu" sits at the right edge.
  auto* spacer = new QWidget(toolbar);
  spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  spacer->setMinimumWidth(1);
  toolbar->addWidget(spacer);

  AddButton(toolbar, kCmdZoomIn, "IDP_ZOOMIN", 25);
  AddButton(toolbar, kCmdZoomOut, "IDP_ZOOMOUT", 26);
  AddButton(toolbar, kCmdZoom100, "IDP_ZOOM100", 28);
  AddButton(toolbar, kCmdZoomFit, "IDP_ZOOMFIT", 27);

  auto* placeholder = new QWidget(toolbar);
  auto* layout = new QHBoxLayout(placeholder);
  layout->setContentsMargins(ZoomBox::kInset, 0, ZoomBox::kInset, 0);
  layout->addWidget(zoomBox);
  zoomBox->setParent(placeholder);
  zoomBox->setToolTip(Text(29));
  toolbar->addWidget(placeholder);

  QAction* menuButton = AddButton(toolbar, kCmdMenu, "IDP_PICKER", 0);
  menuButton->setText(QStringLiteral("Menu"));
  menuButton_ = qobject_cast<QToolButton*>(toolbar->widgetForAction(menuButton));
  if (menuButton_ != nullptr) menuButton_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
}

QAction* CommandTable::Button(int command) const {
  const auto it = buttons_.find(command);
  return it == buttons_.end() ? nullptr : it->second;
}

bool CommandTable::IsEnabled(int command) const {
  const QAction* button = Button(command);
  return button != nullptr && button->isEnabled();
}

void CommandTable::SetEnabled(std::initializer_list<int> commands, bool enabled) {
  for (int command : commands) {
    if (QAction* button = Button(command)) button->setEnabled(enabled);
  }
}

void CommandTable::EnterNoPicture() {
  SetEnabled({kCmdOpen}, true);
  SetEnabled({kCmdSaveAs}, false);
  SetEnabled(kSinglePictureCommands, false);
  if (zoomBox_ != nullptr) zoomBox_->setEnabled(false);
}

void CommandTable::EnterPictureOpened() {
  SetEnabled({kCmdSaveAs}, true);
  SetEnabled(kSinglePictureCommands, true);
  if (zoomBox_ != nullptr) zoomBox_->setEnabled(true);
}

void CommandTable::DisableForProcessing() {
  SetEnabled({kCmdOpen, kCmdSaveAs, kCmdMultiImage}, false);
  SetEnabled(kSinglePictureCommands, false);
}

void CommandTable::EnableAfterProcessing(bool multiImageMode) {
  SetEnabled({kCmdOpen, kCmdSaveAs, kCmdMultiImage}, true);
  if (!multiImageMode) SetEnabled(kSinglePictureCommands, true);
}

void CommandTable::GreyMenus(bool grey) {
  for (QMenu* submenu : {fileMenu_, createMenu_, helpMenu_})
    submenu->menuAction()->setEnabled(!grey);
}

void CommandTable::UpdateMenu() {
  fileMenu_->setTitle(Text(4));
  createMenu_->setTitle(Text(5));
  helpMenu_->setTitle(Text(6));
  menuItems_[kCmdOpen]->setText(Text(78) + QStringLiteral("\tCtrl+O"));
  menuItems_[kCmdSaveAs]->setText(Text(8) + QStringLiteral("\tCtrl+S"));
  const std::pair<int, int> plainTexts[] = {
      {kCmdClose, 9},        {kCmdOptions, 10},    {kCmdExit, 11},       {kCmdSmartContrast, 101},
      {kCmdSingleImage, 13}, {kCmdMultiImage, 12}, {kCmdDaylightUp, 99}, {kCmdDaylightDown, 100},
      {kCmdToneMapping, 98}, {kCmdAbout, 20}};
  for (const auto& [command, text] : plainTexts)
    menuItems_[command]->setText(Text(text));

  if (buttons_.empty()) return;  // no toolbar yet: nothing to follow
  const bool canSave = IsEnabled(kCmdSaveAs);
  menuItems_[kCmdSaveAs]->setEnabled(canSave);
  menuItems_[kCmdClose]->setEnabled(canSave);
  const bool single = IsEnabled(kCmdSingleImage);
  for (int command : kSinglePictureCommands)
    menuItems_[command]->setEnabled(single);
  menuItems_[kCmdOpen]->setEnabled(IsEnabled(kCmdOpen));
  menuItems_[kCmdMultiImage]->setEnabled(IsEnabled(kCmdMultiImage));
}
