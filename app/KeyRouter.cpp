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

const PanelKeys::Grab* FindGrab(const PanelKeys& keys, int key) {
  for (const PanelKeys::Grab& grab : keys.grabs)
    if (grab.key == key) return &grab;
  return nullptr;
}

}  // namespace

KeyRouter::KeyRouter(QWidget* window, const CommandTable* commands,
                     std::function<ToolPanel*()> activePanel,
                     std::function<void(CommandId)> runCommand)
    : QObject(window),
      window_(window),
      commands_(commands),
      activePanel_(std::move(activePanel)),
      runCommand_(std::move(runCommand)) {
  qApp->installEventFilter(this);
}

KeyRouter::~KeyRouter() {
  qApp->removeEventFilter(this);
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
  // A dialog or an open menu has the keyboard to itself (Escape closes the menu).
  if (QApplication::activeModalWidget() != nullptr || QApplication::activePopupWidget() != nullptr)
    return false;
  auto* key = static_cast<QKeyEvent*>(event);
  if (const ToolPanel* panel = activePanel_()) {
    if (const PanelKeys::Grab* grab = FindGrab(panel->Keys(), key->key())) {
      // Taken before any control sees it, on the press or the release it waits for.
      const bool now = grab->onRelease ? type == QEvent::KeyRelease && !key->isAutoRepeat()
                                       : type == QEvent::KeyPress;
      if (now && grab->run) grab->run();
      return true;
    }
    if (panel->Keys().holdsKeyboard && HoldKey(*panel, watched, *key)) return true;
  }
  // A key press reaches the window itself only when no focused control used it.
  if (watched == window_ && type == QEvent::KeyPress) return TakeUnusedKey(key);
  return false;
}

bool KeyRouter::HoldKey(const ToolPanel& panel, QObject* watched, const QKeyEvent& key) {
  const int code = key.key();
  if (IsEnter(code) || code == Qt::Key_Escape) {
    if (key.type() == QEvent::KeyPress) AnswerPanel(panel.Keys(), code);
    return true;  // OK and Cancel wherever the focus is; no control sees them
  }
  // A key typed on a display reaches the window's surface (no widget) before the focused
  // widget: only at the widget is it known whose it is. The panel's own controls keep their
  // keys (a slider its arrows and page keys); nothing else gets any.
  const auto* widget = qobject_cast<QWidget*>(watched);
  return widget != nullptr && !panel.isAncestorOf(widget);
}
