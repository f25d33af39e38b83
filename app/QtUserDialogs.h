#pragma once

#include "app/UserDialogs.h"

// The program's questions as Qt message boxes and dialogs.
class QtUserDialogs : public UserDialogs {
 public:
  bool AskYesNo(QWidget* parent, const std::string& caption, const std::string& text) override;
  void ShowMessage(QWidget* parent, const std::string& caption, const std::string& text,
                   MessageIcon icon) override;
  std::optional<std::filesystem::path> ChooseOpenFile(QWidget* parent, const std::string& title,
                                                      const std::string& filter) override;
  std::vector<std::filesystem::path> ChooseOpenFiles(QWidget* parent, const std::string& title,
                                                     const std::string& filter) override;
  std::optional<std::filesystem::path> ChooseFolder(QWidget* parent,
                                                    const std::string& title) override;
  bool ChooseSaveFile(QWidget* parent, const SaveDialogRequest& request,
                      SaveDialogAnswer* answer) override;
  std::optional<int> ChooseLanguage(QWidget* parent, const std::vector<std::string>& names,
                                    int current) override;
};
