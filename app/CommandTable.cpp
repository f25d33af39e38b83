#include "app/CommandTable.h"

#include <QAction>
#include <QHBoxLayout>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>

#include "app/Messages.h"
#include "app/ToolbarIcons.h"
#include "app/UiText.h"
#include "app/ZoomBox.h"

namespace {

// The commands that need a single opened picture (not a series).
constexpr std::initializer_list<CommandId> kSinglePictureCommands = {
    CommandId::kSingleImage, CommandId::kToneMapping, CommandId::kDaylightUp,
    CommandId::kDaylightDown, CommandId::kSmartContrast};

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
  AddMenuItem(fileMenu_, CommandId::kOpen);
  AddMenuItem(fileMenu_, CommandId::kSaveAs);
  AddMenuItem(fileMenu_, CommandId::kClose);
  fileMenu_->addSeparator();
  AddMenuItem(fileMenu_, CommandId::kOptions);
  fileMenu_->addSeparator();
  AddMenuItem(fileMenu_, CommandId::kExit);
  createMenu_ = menu_->addMenu(QString());
  for (CommandId command :
       {CommandId::kSmartContrast, CommandId::kSingleImage, CommandId::kMultiImage,
        CommandId::kDaylightUp, CommandId::kDaylightDown, CommandId::kToneMapping})
    AddMenuItem(createMenu_, command);
  helpMenu_ = menu_->addMenu(QString());
  AddMenuItem(helpMenu_, CommandId::kAbout);
  UpdateMenu();
}

QAction* CommandTable::AddMenuItem(QMenu* menu, CommandId command) {
  QAction* item = menu->addAction(QString());
  connect(item, &QAction::triggered, this, [this, command] { emit Triggered(command); });
  menuItems_[command] = item;
  return item;
}

QAction* CommandTable::AddButton(QToolBar* toolbar, CommandId command, const char* image,
                                 std::optional<TextId> tooltipText) {
  QAction* button = toolbar->addAction(ToolbarIcon(QString::fromLatin1(image)), QString());
  if (tooltipText) {
    button->setText(UiText(*tooltipText));
    button->setToolTip(UiText(*tooltipText));
  }
  connect(button, &QAction::triggered, this, [this, command] { emit Triggered(command); });
  buttons_[command] = button;
  return button;
}

void CommandTable::BuildToolbar(QToolBar* toolbar, QWidget* zoomBox) {
  zoomBox_ = zoomBox;
  toolbar->setIconSize(QSize(kIconSize, kIconSize));
  toolbar->setToolButtonStyle(Qt::ToolButtonIconOnly);
  AddButton(toolbar, CommandId::kOpen, "IDP_FOLDER", TextId::kLoadImageTip)
      ->setShortcut(QKeySequence(QStringLiteral("Ctrl+O")));
  AddButton(toolbar, CommandId::kSaveAs, "IDP_SAVE", TextId::kSaveTip)
      ->setShortcut(QKeySequence(QStringLiteral("Ctrl+S")));
  toolbar->addSeparator();
  AddButton(toolbar, CommandId::kSmartContrast, "CONTRAST", TextId::kSmartContrastItem);
  AddButton(toolbar, CommandId::kSingleImage, "LIGHT", TextId::kSingleImageItem);
  AddButton(toolbar, CommandId::kMultiImage, "MULTI", TextId::kMultiImageTip);
  toolbar->addSeparator();
  AddButton(toolbar, CommandId::kDaylightUp, "LIGHT_UP", TextId::kDaylightUpItem);
  AddButton(toolbar, CommandId::kDaylightDown, "LIGHT_DOWN", TextId::kDaylightDownItem);
  AddButton(toolbar, CommandId::kToneMapping, "COLORMAP", TextId::kToneMappingItem);
  toolbar->addWidget(FixedGap(toolbar, kButtonSize));

  // The spacer takes the free width so that "Menu" sits at the right edge.
  auto* spacer = new QWidget(toolbar);
  spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  spacer->setMinimumWidth(1);
  toolbar->addWidget(spacer);

  AddButton(toolbar, CommandId::kZoomIn, "IDP_ZOOMIN", TextId::kZoomInTip);
  AddButton(toolbar, CommandId::kZoomOut, "IDP_ZOOMOUT", TextId::kZoomOutTip);
  AddButton(toolbar, CommandId::kZoom100, "IDP_ZOOM100", TextId::kZoom100Tip);
  AddButton(toolbar, CommandId::kZoomFit, "IDP_ZOOMFIT", TextId::kZoomFitTip);

  auto* placeholder = new QWidget(toolbar);
  auto* layout = new QHBoxLayout(placeholder);
  layout->setContentsMargins(ZoomBox::kInset, 0, ZoomBox::kInset, 0);
  layout->addWidget(zoomBox);
  zoomBox->setParent(placeholder);
  zoomBox->setToolTip(UiText(TextId::kZoomBoxTip));
  toolbar->addWidget(placeholder);

  QAction* menuButton = AddButton(toolbar, CommandId::kMenu, "IDP_PICKER", std::nullopt);
  menuButton->setText(QStringLiteral("Menu"));
  menuButton_ = qobject_cast<QToolButton*>(toolbar->widgetForAction(menuButton));
  if (menuButton_ != nullptr) menuButton_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
}

QAction* CommandTable::Button(CommandId command) const {
  const auto it = buttons_.find(command);
  return it == buttons_.end() ? nullptr : it->second;
}

bool CommandTable::IsEnabled(CommandId command) const {
  const QAction* button = Button(command);
  return button != nullptr && button->isEnabled();
}

void CommandTable::SetEnabled(std::initializer_list<CommandId> commands, bool enabled) {
  for (CommandId command : commands) {
    if (QAction* button = Button(command)) button->setEnabled(enabled);
  }
}

void CommandTable::EnterNoPicture() {
  SetEnabled({CommandId::kOpen}, true);
  SetEnabled({CommandId::kSaveAs}, false);
  SetEnabled(kSinglePictureCommands, false);
  if (zoomBox_ != nullptr) zoomBox_->setEnabled(false);
}

void CommandTable::EnterPictureOpened() {
  SetEnabled({CommandId::kSaveAs}, true);
  SetEnabled(kSinglePictureCommands, true);
  if (zoomBox_ != nullptr) zoomBox_->setEnabled(true);
}

void CommandTable::DisableForProcessing() {
  SetEnabled({CommandId::kOpen, CommandId::kSaveAs, CommandId::kMultiImage}, false);
  SetEnabled(kSinglePictureCommands, false);
}

void CommandTable::EnableAfterProcessing(bool multiImageMode) {
  SetEnabled({CommandId::kOpen, CommandId::kSaveAs, CommandId::kMultiImage}, true);
  if (!multiImageMode) SetEnabled(kSinglePictureCommands, true);
}

void CommandTable::GreyMenus(bool grey) {
  for (QMenu* submenu : {fileMenu_, createMenu_, helpMenu_})
    submenu->menuAction()->setEnabled(!grey);
}

void CommandTable::UpdateMenu() {
  fileMenu_->setTitle(UiText(TextId::kMenuFile));
  createMenu_->setTitle(UiText(TextId::kMenuCreate));
  helpMenu_->setTitle(UiText(TextId::kMenuHelp));
  menuItems_[CommandId::kOpen]->setText(UiText(TextId::kLoadImage) + QStringLiteral("\tCtrl+O"));
  menuItems_[CommandId::kSaveAs]->setText(UiText(TextId::kSaveAs) + QStringLiteral("\tCtrl+S"));
  const std::pair<CommandId, TextId> plainTexts[] = {
      {CommandId::kClose, TextId::kClose},
      {CommandId::kOptions, TextId::kOptionsItem},
      {CommandId::kExit, TextId::kExit},
      {CommandId::kSmartContrast, TextId::kSmartContrastItem},
      {CommandId::kSingleImage, TextId::kSingleImageItem},
      {CommandId::kMultiImage, TextId::kMultiImageItem},
      {CommandId::kDaylightUp, TextId::kDaylightUpItem},
      {CommandId::kDaylightDown, TextId::kDaylightDownItem},
      {CommandId::kToneMapping, TextId::kToneMappingItem},
      {CommandId::kAbout, TextId::kAboutItem}};
  for (const auto& [command, text] : plainTexts)
    menuItems_[command]->setText(UiText(text));

  if (buttons_.empty()) return;  // no toolbar yet: nothing to follow
  const bool canSave = IsEnabled(CommandId::kSaveAs);
  menuItems_[CommandId::kSaveAs]->setEnabled(canSave);
  menuItems_[CommandId::kClose]->setEnabled(canSave);
  const bool single = IsEnabled(CommandId::kSingleImage);
  for (CommandId command : kSinglePictureCommands)
    menuItems_[command]->setEnabled(single);
  menuItems_[CommandId::kOpen]->setEnabled(IsEnabled(CommandId::kOpen));
  menuItems_[CommandId::kMultiImage]->setEnabled(IsEnabled(CommandId::kMultiImage));
}
