#include "app/CommandTable.h"

#include <QAction>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>

#include "app/ToolbarIcons.h"
#include "app/UiText.h"
#include "app/ZoomBox.h"

namespace {

// Toolbar images are 32 x 32; a button is 9 pixels larger in both directions.
constexpr int kIconSize = 32;
constexpr int kButtonSize = kIconSize + 9;

QWidget* FixedGap(QWidget* parent, int width) {
  auto* gap = new QWidget(parent);
  gap->setFixedSize(width, kButtonSize);
  gap->setEnabled(false);
  return gap;
}

std::size_t GroupIndex(CommandGroup group) {
  return static_cast<std::size_t>(group);
}

CommandGroup GroupOf(CommandId command) {
  const CommandEntry* entry = FindCommand(command);
  return entry != nullptr ? entry->group : CommandGroup::kAlways;
}

}  // namespace

CommandTable::CommandTable(QWidget* window) : QObject(window), window_(window) {
  groupEnabled_.fill(true);
  menu_ = new QMenu(window);
  QMenu* submenu = nullptr;
  for (const MenuItem& item : MenuLayout()) {
    if (item.kind == MenuItem::Kind::kSubmenu) {
      submenu = menu_->addMenu(QString());
      submenus_.push_back(submenu);
    } else if (item.kind == MenuItem::Kind::kSeparator) {
      submenu->addSeparator();
    } else {
      const CommandId command = item.command;
      QAction* action = submenu->addAction(QString());
      connect(action, &QAction::triggered, this, [this, command] { emit Triggered(command); });
      menuItems_[command] = action;
    }
  }
  // Accelerators of commands without a button live on the window.
  for (const CommandEntry& entry : CommandEntries()) {
    if (entry.key.kind != CommandKey::Kind::kAccelerator || entry.icon != nullptr) continue;
    auto* action = new QAction(window);
    action->setShortcut(QKeySequence(QString::fromLatin1(entry.key.accelerator)));
    window->addAction(action);
    const CommandId command = entry.id;
    connect(action, &QAction::triggered, this, [this, command] { emit Triggered(command); });
  }
  UpdateMenu();
}

QAction* CommandTable::AddButton(QToolBar* toolbar, const CommandEntry& entry) {
  QAction* button = toolbar->addAction(ToolbarIcon(QString::fromLatin1(entry.icon)), QString());
  if (entry.tooltip) {
    button->setText(UiText(*entry.tooltip));
    button->setToolTip(UiText(*entry.tooltip));
  }
  // The button's accelerator works while the button is enabled, wherever the focus is.
  if (entry.key.kind == CommandKey::Kind::kAccelerator)
    button->setShortcut(QKeySequence(QString::fromLatin1(entry.key.accelerator)));
  const CommandId command = entry.id;
  connect(button, &QAction::triggered, this, [this, command] { emit Triggered(command); });
  buttons_[command] = button;
  return button;
}

void CommandTable::BuildToolbar(QToolBar* toolbar, QWidget* zoomBox) {
  zoomBox_ = zoomBox;
  toolbar->setIconSize(QSize(kIconSize, kIconSize));
  toolbar->setToolButtonStyle(Qt::ToolButtonIconOnly);
  for (const ToolbarItem& item : ToolbarLayout()) {
    switch (item.kind) {
      case ToolbarItem::Kind::kButton:
        AddButton(toolbar, *FindCommand(item.command));
        break;
      case ToolbarItem::Kind::kSeparator:
        toolbar->addSeparator();
        break;
      case ToolbarItem::Kind::kBlank:
        toolbar->addWidget(FixedGap(toolbar, kButtonSize));
        break;
      case ToolbarItem::Kind::kSpacer: {
        // The spacer takes the free width so that "Menu" sits at the right edge.
        auto* spacer = new QWidget(toolbar);
        spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        spacer->setMinimumWidth(1);
        toolbar->addWidget(spacer);
        break;
      }
      case ToolbarItem::Kind::kZoomBox: {
        auto* placeholder = new QWidget(toolbar);
        auto* layout = new QHBoxLayout(placeholder);
        layout->setContentsMargins(ZoomBox::kInset, 0, ZoomBox::kInset, 0);
        layout->addWidget(zoomBox);
        zoomBox->setParent(placeholder);
        zoomBox->setToolTip(UiText(TextId::kZoomBoxTip));
        toolbar->addWidget(placeholder);
        break;
      }
    }
  }
  if (QAction* menuButton = Button(CommandId::kMenu)) {
    menuButton->setText(QStringLiteral("Menu"));
    menuButton_ = qobject_cast<QToolButton*>(toolbar->widgetForAction(menuButton));
    if (menuButton_ != nullptr) menuButton_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  }
}

QAction* CommandTable::Button(CommandId command) const {
  const auto it = buttons_.find(command);
  return it == buttons_.end() ? nullptr : it->second;
}

bool CommandTable::IsEnabled(CommandId command) const {
  return groupEnabled_[GroupIndex(GroupOf(command))];
}

void CommandTable::SetGroupEnabled(CommandGroup group, bool enabled) {
  groupEnabled_[GroupIndex(group)] = enabled;
  if (group == CommandGroup::kZoomBox) {
    if (zoomBox_ != nullptr) zoomBox_->setEnabled(enabled);
    return;
  }
  for (const auto& [command, button] : buttons_)
    if (GroupOf(command) == group) button->setEnabled(enabled);
}

void CommandTable::Apply(EnablingEvent event, bool multiImageMode) {
  for (int g = 0; g < kCommandGroupCount; ++g) {
    const auto group = static_cast<CommandGroup>(g);
    if (const std::optional<bool> enabled = GroupEnabledAfter(group, event, multiImageMode))
      SetGroupEnabled(group, *enabled);
  }
}

std::optional<CommandId> CommandTable::CommandForKey(const QKeyEvent& event) const {
  for (const CommandEntry& entry : CommandEntries()) {
    const CommandKey& key = entry.key;
    const bool matches = (key.kind == CommandKey::Kind::kKey && event.key() == key.key &&
                          (event.modifiers() & key.held) == key.held) ||
                         (key.kind == CommandKey::Kind::kCharacter &&
                          event.text() == QString(QLatin1Char(key.character)));
    if (matches && IsEnabled(entry.id)) return entry.id;
  }
  return std::nullopt;
}

void CommandTable::GreyMenus(bool grey) {
  for (QMenu* submenu : submenus_)
    submenu->menuAction()->setEnabled(!grey);
}

void CommandTable::UpdateMenu() {
  std::size_t submenu = 0;
  for (const MenuItem& item : MenuLayout()) {
    if (item.kind == MenuItem::Kind::kSubmenu)
      submenus_[submenu++]->setTitle(UiText(item.submenuTitle));
  }
  for (const auto& [command, action] : menuItems_) {
    const CommandEntry& entry = *FindCommand(command);
    QString text = entry.menuText ? UiText(*entry.menuText) : QString();
    if (entry.key.kind == CommandKey::Kind::kAccelerator)
      text += QLatin1Char('\t') + QString::fromLatin1(entry.key.accelerator);
    action->setText(text);
    action->setEnabled(IsEnabled(command));
  }
}

void CommandTable::ShowMenu() {
  UpdateMenu();
  const QPoint at = menuButton_ != nullptr
                        ? menuButton_->mapToGlobal(QPoint(0, menuButton_->height()))
                        : window_->mapToGlobal(QPoint(0, 0));
  menu_->popup(at);
}
