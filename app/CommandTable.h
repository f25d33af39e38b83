#pragma once

#include <QObject>
#include <array>
#include <map>
#include <optional>

#include "app/CommandRegistry.h"

class QAction;
class QKeyEvent;
class QMenu;
class QToolBar;
class QToolButton;
class QWidget;

// The toolbar's buttons, the "Menu" popup, the accelerators and the enabling, built from
// the command declarations (CommandRegistry.h). Every button, menu item and accelerator
// reports its command through Triggered.
class CommandTable : public QObject {
  Q_OBJECT

 public:
  explicit CommandTable(QWidget* window);

  // Fills the toolbar in its order, with `zoomBox` in the zoom box's place.
  void BuildToolbar(QToolBar* toolbar, QWidget* zoomBox);

  // The toolbar button of a command (null for commands without one).
  QAction* Button(CommandId command) const;
  // Whether the command's group is switched on.
  bool IsEnabled(CommandId command) const;
  QMenu* PopupMenu() const { return menu_; }
  QToolButton* MenuButton() const { return menuButton_; }

  // Switches the groups as the enabling rules say for the event.
  void Apply(EnablingEvent event, bool multiImageMode = false);

  // The command whose key (not an accelerator) the event is, when it is enabled.
  std::optional<CommandId> CommandForKey(const QKeyEvent& event) const;

  // The menu's texts from the text table and its greying from the groups.
  void UpdateMenu();
  // Updates the menu and shows it under the "Menu" button.
  void ShowMenu();
  // Greys the three submenus (File, Create VTX, Help) while a panel wants the menu idle.
  void GreyMenus(bool grey);

 signals:
  void Triggered(CommandId command);

 private:
  QAction* AddButton(QToolBar* toolbar, const CommandEntry& entry);
  void SetGroupEnabled(CommandGroup group, bool enabled);

  QWidget* window_;
  QWidget* zoomBox_ = nullptr;
  QMenu* menu_ = nullptr;
  std::vector<QMenu*> submenus_;
  QToolButton* menuButton_ = nullptr;
  std::map<CommandId, QAction*> buttons_;
  std::map<CommandId, QAction*> menuItems_;
  std::array<bool, kCommandGroupCount> groupEnabled_{};
};
