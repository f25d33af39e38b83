#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "settings/TextIds.h"

class ImageView;
class QWidget;
class UserDialogs;
struct AppState;

// A series of the user's pictures: opening it (every file checked against the first, the
// first shown) and browsing it with F5 (the pictures or the result) and the arrow keys.
class SeriesBrowser {
 public:
  // `setStatus` shows a text in the status bar; `setBusyCursor` shows the wait cursor while
  // the files load, and the arrow again after.
  SeriesBrowser(AppState* state, UserDialogs* dialogs, QWidget* window, ImageView* view,
                std::function<void(const std::string&)> setStatus,
                std::function<void(bool)> setBusyCursor);

  enum class OpenResult {
    kOpened,
    kTooFew,   // fewer than two files: nothing was loaded
    kRefused,  // a file cannot be read or differs from the first: the document is half-made
  };
  // Loads the files as the series and shows the first; only the first 99 files are kept. A
  // refusal has been reported.
  OpenResult Open(const std::vector<std::filesystem::path>& files);

  // "Showing N of M. " and the hint: where the browsing stands.
  void ShowStatus(TextId hint);
  // F5: the pictures or the result (only over a series). Before the VTX image exists (the
  // Multi Image panel is still open) going back offers the arrows, not a VTX image.
  void ToggleSources(bool vtxImageExists);
  // The previous (-1) or next (+1) picture, wrapping around (only while the pictures show).
  void Step(int direction);

 private:
  bool LoadFiles(const std::vector<std::filesystem::path>& files);

  AppState* state_;
  UserDialogs* dialogs_;
  QWidget* window_;
  ImageView* view_;
  std::function<void(const std::string&)> setStatus_;
  std::function<void(bool)> setBusyCursor_;
};
