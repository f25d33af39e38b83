#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

class QWidget;

enum class MessageIcon { kNone, kInformation, kWarning };

// What the save dialog offers. Filters are patterns such as "*.png", in order; positions
// are 1-based as the format codes are.
struct SaveDialogRequest {
  std::string title;
  std::vector<std::string> filters;
  int initialFilter = 1;
  std::filesystem::path folder;  // where the dialog starts; empty for its own choice
  std::string proposedName;      // a file name without folder, may be empty
  std::string defaultExtension;  // without the dot, may be empty
  int jpegFilter = 0;            // position of the filter that enables the quality control
  int jpegQuality = 85;          // 10..100
};

struct SaveDialogAnswer {
  std::filesystem::path name;  // as typed or chosen
  int filter = 1;              // the filter selected when the dialog was accepted
  int jpegQuality = 85;
};

// Every question the program asks the user goes through this interface, so that tests can
// answer in place of a person. The desktop program uses QtUserDialogs.
class UserDialogs {
 public:
  virtual ~UserDialogs() = default;

  // True when the answer is yes.
  virtual bool AskYesNo(QWidget* parent, const std::string& caption, const std::string& text) = 0;
  virtual void ShowMessage(QWidget* parent, const std::string& caption, const std::string& text,
                           MessageIcon icon) = 0;
  // One existing file, or nothing when cancelled. The filter lists patterns separated by ";".
  virtual std::optional<std::filesystem::path> ChooseOpenFile(QWidget* parent,
                                                              const std::string& title,
                                                              const std::string& filter) = 0;
  // Several existing files in the order chosen; empty when cancelled.
  virtual std::vector<std::filesystem::path> ChooseOpenFiles(QWidget* parent,
                                                             const std::string& title,
                                                             const std::string& filter) = 0;
  // An existing folder, or nothing when cancelled.
  virtual std::optional<std::filesystem::path> ChooseFolder(QWidget* parent,
                                                            const std::string& title) = 0;
  // False when cancelled.
  virtual bool ChooseSaveFile(QWidget* parent, const SaveDialogRequest& request,
                              SaveDialogAnswer* answer) = 0;
  // The language list of the Options dialog: the chosen index (-1 for no selection), or
  // nothing when cancelled.
  virtual std::optional<int> ChooseLanguage(QWidget* parent, const std::vector<std::string>& names,
                                            int current) = 0;
};
