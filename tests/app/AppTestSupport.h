#pragma once

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/MainWindow.h"
#include "app/Messages.h"
#include "app/UserDialogs.h"
#include "picture/SBxPicBuf.h"

// Answers the program's questions in place of a person and records what was asked.
class FakeDialogs : public UserDialogs {
 public:
  struct Message {
    std::string caption;
    std::string text;
    MessageIcon icon;
  };

  bool AskYesNo(QWidget* parent, const std::string& caption, const std::string& text) override;
  void ShowMessage(QWidget* parent, const std::string& caption, const std::string& text,
                   MessageIcon icon) override;
  std::optional<std::filesystem::path> ChooseOpenFile(QWidget* parent, const std::string& title,
                                                      const std::string& filter) override;
  std::vector<std::filesystem::path> ChooseOpenFiles(QWidget* parent, const std::string& title,
                                                     const std::string& filter) override;
  bool ChooseSaveFile(QWidget* parent, const SaveDialogRequest& request,
                      SaveDialogAnswer* answer) override;
  std::optional<int> ChooseLanguage(QWidget* parent, const std::vector<std::string>& names,
                                    int current) override;

  // Answers.
  bool answerYes = false;
  std::optional<std::filesystem::path> openFile;
  std::vector<std::filesystem::path> openFiles;
  std::optional<SaveDialogAnswer> saveAnswer;
  std::optional<int> languageAnswer;

  // Records.
  std::vector<std::string> questions;
  std::vector<Message> messages;
  std::vector<std::string> openTitles;
  std::vector<SaveDialogRequest> saveRequests;
  std::vector<std::string> languageNames;
  int languageCurrent = -2;
};

// Every test gets its own empty settings and cache folders.
class AppTest : public ::testing::Test {
 protected:
  void SetUp() override;
  std::filesystem::path TempPath(const std::string& name) const;

  QTemporaryDir home_;
};

// A shown main window of a fixed size, with FakeDialogs.
class WindowTest : public AppTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Opens a file through the Open command; true when it loaded.
  bool OpenFile(const std::filesystem::path& path);
  // The surface pixel (blue, green, red) at view coordinates.
  std::array<uint8_t, 3> SurfacePixel(int x, int y) const;

  FakeDialogs dialogs_;
  std::unique_ptr<MainWindow> window_;
};

std::filesystem::path SamplePath(const std::string& relative);

// Processes events until `done` holds or about ten seconds pass; false on timeout.
bool WaitFor(const std::function<bool()>& done);

// A picture of one colour (blue, green, red), 8 bits.
void MakeSolid(SBxPicBuf* picture, int width, int height, uint8_t blue, uint8_t green, uint8_t red);
