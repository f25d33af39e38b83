#pragma once

#include <QObject>
#include <functional>

#include "app/Messages.h"

class CommandTable;
class QKeyEvent;
class ToolPanel;

// Where every key of the window is decided, apart from the accelerators that Qt runs for the
// command table: first what the open panel asks for (ToolPanel::Keys), then the commands'
// keys (CommandRegistry.h). A key that a focused control uses stays the control's, unless
// the open panel holds the keyboard.
class KeyRouter : public QObject {
 public:
  KeyRouter(const CommandTable* commands, std::function<ToolPanel*()> activePanel,
            std::function<void(CommandId)> runCommand, QObject* parent);

  // A key press that no control used (the main window's keyPressEvent): the open panel's OK or
  // Cancel, else the command of the key. True when it was taken.
  bool TakeUnusedKey(QKeyEvent* event);

 protected:
  // Installed on the application: keys to any widget while the open panel holds the keyboard.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  const CommandTable* commands_;
  std::function<ToolPanel*()> activePanel_;
  std::function<void(CommandId)> runCommand_;
};
