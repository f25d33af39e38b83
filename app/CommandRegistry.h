#pragma once

#include <Qt>
#include <optional>
#include <span>

#include "app/Messages.h"
#include "settings/TextIds.h"

class MainWindow;

// Every command of the window, declared once: its toolbar image and tooltip, its menu text,
// its key, the group it is switched on and off with, and the code that runs it. The toolbar,
// the "Menu" popup, the keys and the enabling are all built from these declarations
// (CommandTable, KeyRouter); CommandRegistry.cpp holds them, with the layout of the toolbar
// and the menu and the enabling rules.

// Commands that are switched on and off together. The zoom box follows a rule of its own.
enum class CommandGroup {
  kAlways,         // never switched off
  kOpen,           // Open
  kSeries,         // Multi Image: off only while processing
  kSave,           // Save As and Close: need a picture
  kSinglePicture,  // the commands on one opened picture (not on a series)
  kZoomBox,        // the zoom box: on with a picture
};
inline constexpr int kCommandGroupCount = 6;

// What changes the enabling.
enum class EnablingEvent {
  kNoPicture,        // start-up and Close
  kPictureOpened,    // a picture was opened
  kProcessing,       // a job, the noise question or a panel began
  kProcessingEnded,  // it ended
};

// Whether the group is on after the event (the single-picture commands stay off over a
// series); nothing when the event leaves it as it was.
std::optional<bool> GroupEnabledAfter(CommandGroup group, EnablingEvent event, bool multiImageMode);

// The key of a command. An accelerator works wherever the focus is in the window (and is
// shown in the menu); the other kinds reach the command only when the focused control does
// not use the key, so a slider keeps its arrows and the zoom box its characters.
struct CommandKey {
  enum class Kind { kNone, kAccelerator, kKey, kCharacter };
  Kind kind = Kind::kNone;
  const char* accelerator = nullptr;            // kAccelerator: "Ctrl+O"
  int key = 0;                                  // kKey: a Qt::Key ...
  Qt::KeyboardModifiers held = Qt::NoModifier;  // ... with these held (others may be too)
  char character = 0;                           // kCharacter: the character typed
};
inline constexpr CommandKey kNoKey{};
constexpr CommandKey Accelerator(const char* sequence) {
  return {CommandKey::Kind::kAccelerator, sequence, 0, Qt::NoModifier, 0};
}
constexpr CommandKey KeyWhenUnused(int key, Qt::KeyboardModifiers held = Qt::NoModifier) {
  return {CommandKey::Kind::kKey, nullptr, key, held, 0};
}
constexpr CommandKey CharacterWhenUnused(char character) {
  return {CommandKey::Kind::kCharacter, nullptr, 0, Qt::NoModifier, character};
}

struct CommandEntry {
  CommandId id;
  CommandGroup group = CommandGroup::kAlways;
  const char* icon = nullptr;      // the toolbar image; a command without one has no button
  std::optional<TextId> tooltip;   // the button's tooltip and text
  std::optional<TextId> menuText;  // the popup menu's item
  CommandKey key;
  void (*run)(MainWindow& window) = nullptr;  // on the user-interface thread
};

// Every command, in no particular order.
std::span<const CommandEntry> CommandEntries();
// The declaration of a command; null for numbers that are no command of the window.
const CommandEntry* FindCommand(CommandId id);

// The toolbar from the left.
struct ToolbarItem {
  enum class Kind { kButton, kSeparator, kBlank, kSpacer, kZoomBox };
  Kind kind;
  CommandId command = CommandId::kSpacer;  // kButton
};
std::span<const ToolbarItem> ToolbarLayout();

// The "Menu" popup: submenus with their commands and separators.
struct MenuItem {
  enum class Kind { kSubmenu, kCommand, kSeparator };
  Kind kind;
  TextId submenuTitle = TextId::kMenuFile;  // kSubmenu: starts a submenu
  CommandId command = CommandId::kMenu;     // kCommand
};
std::span<const MenuItem> MenuLayout();
