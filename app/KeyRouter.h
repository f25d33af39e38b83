#pragma once

#include <QObject>
#include <functional>

#include "app/Messages.h"

class CommandTable;
class QKeyEvent;
class QWidget;
class ToolPanel;

// Where every key of the window is decided, apart from the accelerators that Qt runs for the
// command table: first what the open panel asks for (ToolPanel::Keys), then the commands'
// keys (CommandRegistry.h). A key that a focused control uses stays the control's, unless
// the open panel holds the keyboard.
class KeyRouter : public QObject {
 public:
  // Installed on the application for the keys of `window` and its controls.
  KeyRouter(QWidget* window, const CommandTable* commands, std::function<ToolPanel*()> activePanel,
            std::function<void(CommandId)> runCommand);
  ~KeyRouter() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // A key press that no control used (it reached the window itself): the open panel's OK or
  // Cancel, else the command of the key. True when it was taken.
  bool TakeUnusedKey(QKeyEvent* event);
  // While the open panel holds the keyboard: OK and Cancel wherever the focus is, its
  // controls' keys for them, none for anything else. True when the key goes no further.
  static bool HoldKey(const ToolPanel& panel, QObject* watched, const QKeyEvent& key);

  QWidget* window_;
  const CommandTable* commands_;
  std::function<ToolPanel*()> activePanel_;
  std::function<void(CommandId)> runCommand_;
};
