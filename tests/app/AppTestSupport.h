#pragma once
// Shared by the desktop program's tests: dialogs answered in place of a person, every test
// with its own empty settings, and a shown main window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <array>

#include "app/CommandTable.h"
#include "app/ImageView.h"
#include "app/MainWindow.h"
#include "app/Messages.h"
#include "app/ToolPanel.h"
#include "app/UserDialogs.h"
#include "picture/CBxPicBufAPI.h"

// Answers the program's questions and records what was asked.
class FakeDialogs : public UserDialogs {
 public:
  bool AskYesNo(QWidget*, const std::string&, const std::string& text) override {
    questions.push_back(text);
    return answerYes;
  }
  void ShowMessage(QWidget*, const std::string& caption, const std::string& text,
                   MessageIcon) override {
    captions.push_back(caption);
    messages.push_back(text);
  }
  std::optional<std::filesystem::path> ChooseOpenFile(QWidget*, const std::string& title,
                                                      const std::string&) override {
    openTitles.push_back(title);
    return openFile;
  }
  std::vector<std::filesystem::path> ChooseOpenFiles(QWidget*, const std::string& title,
                                                     const std::string&) override {
    openTitles.push_back(title);
    return openFiles;
  }
  bool ChooseSaveFile(QWidget*, const SaveDialogRequest& request,
                      SaveDialogAnswer* answer) override {
    saveRequests.push_back(request);
    if (saveAnswer) *answer = *saveAnswer;
    return saveAnswer.has_value();
  }
  std::optional<int> ChooseLanguage(QWidget*, const std::vector<std::string>& names,
                                    int current) override {
    languageNames = names;
    languageCurrent = current;
    return languageAnswer;
  }

  bool answerYes = false;
  std::optional<std::filesystem::path> openFile;
  std::vector<std::filesystem::path> openFiles;
  std::optional<SaveDialogAnswer> saveAnswer;
  std::optional<int> languageAnswer;

  std::vector<std::string> questions;
  std::vector<std::string> captions, messages;
  std::vector<std::string> openTitles;
  std::vector<SaveDialogRequest> saveRequests;
  std::vector<std::string> languageNames;
  int languageCurrent = -2;
};

inline const std::filesystem::path kPhotos = std::filesystem::path(MELVARO_SAMPLES_DIR) / "photos";
inline const std::filesystem::path kSunset = kPhotos / "sunset.jpg";  // 1200 x 800

// Every test gets its own empty settings and cache folders.
class AppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(home_.isValid());
    qputenv("XDG_CONFIG_HOME", (home_.path() + QStringLiteral("/config")).toUtf8());
    qputenv("XDG_CACHE_HOME", (home_.path() + QStringLiteral("/cache")).toUtf8());
  }
  std::filesystem::path TempPath(const std::string& name) const {
    return std::filesystem::path(home_.path().toStdString()) / name;
  }

  QTemporaryDir home_;
};

using Pixel = std::array<uint8_t, 3>;  // blue, green, red
constexpr Pixel kBackgroundPixel{kViewBackgroundDark, kViewBackgroundDark, kViewBackgroundDark};

// A shown main window of a fixed size, answered by FakeDialogs, with an empty panel for
// the Multi Image command.
class WindowTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    window_ = std::make_unique<MainWindow>(&dialogs_);
    window_->Hooks().multiImagePanel = [this](PanelHost&) {
      ++panelsOpened_;
      return new ToolPanel();
    };
    window_->resize(1000, 700);
    window_->show();
    ASSERT_TRUE(QTest::qWaitFor([this] { return window_->ViewWidget()->width() > 100; }));
  }
  // Opens a file through the Open command; true when it loaded.
  bool OpenFile(const std::filesystem::path& path) {
    dialogs_.openFile = path;
    const size_t messagesBefore = dialogs_.messages.size();
    window_->ExecuteCommand(CommandId::kOpen);
    return dialogs_.messages.size() == messagesBefore &&
           window_->State().document.source.pixels != nullptr;
  }
  bool Enabled(CommandId command) const { return window_->Commands().IsEnabled(command); }
  Pixel SurfacePixel(int x, int y) const {
    const uchar* p = window_->ViewWidget()->SurfaceImage().constScanLine(y) + 3 * x;
    return {p[0], p[1], p[2]};
  }
  Pixel CentrePixel() const {
    const QSize area = window_->ViewWidget()->size();
    return SurfacePixel(area.width() / 2, area.height() / 2);
  }

  FakeDialogs dialogs_;
  std::unique_ptr<MainWindow> window_;
  int panelsOpened_ = 0;
};
