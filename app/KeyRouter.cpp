#include "app/KeyRouter.h"

#include <QApplication>
#include <QKeyEvent>

#include "app/CommandTable.h"
#include "app/ToolPanel.h"

namespace {

bool IsEnter(int key) {
  return key == Qt::Key_Return || key == Qt::Key_Enter;
}

// Runs the panel's OK or Cancel for Enter or Escape; false for other keys.
bool AnswerPanel(const PanelKeys& keys, int key) {
  if (IsEnter(key)) {
    if (keys.ok) keys.ok();
    return true;
  }
  if (key == Qt::Key_Escape) {
    if (keys.cancel) keys.cancel();
    return true;
  }
  return false;
}

}  // namespace

KeyRouter::KeyRouter(const CommandTable* commands, std::function<ToolPanel*()> activePanel,
                     std::function<void(CommandId)> runCommand, QObject* parent)
    : QObject(parent),
      commands_(commands),
      activePanel_(std::move(activePanel)),
      runCommand_(std::move(runCommand)) {
  qApp->installEventFilter(this);
}

bool KeyRouter::TakeUnusedKey(QKeyEvent* event) {
  if (const ToolPanel* panel = activePanel_()) {
    if (AnswerPanel(panel->Keys(), event->key())) {
      event->accept();
      return true;
    }
    // Left over by one of the panel's controls: while it holds the keyboard, no command.
    if (panel->Keys().holdsKeyboard) {
      event->accept();
      return true;
    }
  }
  const std::optional<CommandId> command = commands_->CommandForKey(*event);
  if (!command) return false;
  event->accept();
  runCommand_(*command);
  return true;
}

bool KeyRouter::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::ShortcutOverride)
    return false;
  const ToolPanel* panel = activePanel_();
  if (panel == nullptr || !panel->Keys().holdsKeyboard ||
      QApplication::activeModalWidget() != nullptr)
    return false;
  const PanelKeys& keys = panel->Keys();
  const auto* key = static_cast<QKeyEvent*>(event);
  const int code = key->key();
  const PanelKeys::Grab* grab = nullptr;
  for (const PanelKeys::Grab& candidate : keys.grabs)
    if (candidate.key == code) grab = &candidate;
  const bool panelKey = grab != nullptr || IsEnter(code) || code == Qt::Key_Escape;
  // The panel's own controls keep their keys (a slider its arrows and page keys).
  const auto* widget = qobject_cast<QWidget*>(watched);
  if (!panelKey && widget != nullptr && panel->isAncestorOf(widget)) return false;
  if (grab != nullptr) {
    const bool now = grab->onRelease ? type == QEvent::KeyRelease && !key->isAutoRepeat()
                                     : type == QEvent::KeyPress;
    if (now && grab->run) grab->run();
  } else if (type == QEvent::KeyPress) {
    AnswerPanel(keys, code);
  }
  return true;  // held: no control and no accelerator sees it
}
