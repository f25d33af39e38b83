#include "tests/app/AppTestSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <array>

#include "app/ImageView.h"
#include "picture/CBxPicBufAPI.h"

bool FakeDialogs::AskYesNo(QWidget*, const std::string& /*caption*/, const std::string& text) {
  questions.push_back(text);
  return answerYes;
}

void FakeDialogs::ShowMessage(QWidget*, const std::string& caption, const std::string& text,
                              MessageIcon icon) {
  messages.push_back({caption, text, icon});
}

std::optional<std::filesystem::path> FakeDialogs::ChooseOpenFile(QWidget*, const std::string& title,
                                                                 const std::string&) {
  openTitles.push_back(title);
  return openFile;
}

std::vector<std::filesystem::path> FakeDialogs::ChooseOpenFiles(QWidget*, const std::string& title,
                                                                const std::string&) {
  openTitles.push_back(title);
  return openFiles;
}

bool FakeDialogs::ChooseSaveFile(QWidget*, const SaveDialogRequest& request,
                                 SaveDialogAnswer* answer) {
  saveRequests.push_back(request);
  if (!saveAnswer) return false;
  *answer = *saveAnswer;
  return true;
}

std::optional<int> FakeDialogs::ChooseLanguage(QWidget*, const std::vector<std::string>& names,
                                               int current) {
  languageNames = names;
  languageCurrent = current;
  return languageAnswer;
}

void AppTest::SetUp() {
  ASSERT_TRUE(home_.isValid());
  qputenv("XDG_CONFIG_HOME", (home_.path() + QStringLiteral("/config")).toUtf8());
  qputenv("XDG_CACHE_HOME", (home_.path() + QStringLiteral("/cache")).toUtf8());
}

std::filesystem::path AppTest::TempPath(const std::string& name) const {
  return std::filesystem::path(home_.path().toStdString()) / name;
}

void WindowTest::SetUp() {
  AppTest::SetUp();
  window_ = std::make_unique<MainWindow>(&dialogs_);
  window_->resize(1000, 700);
  window_->show();
  ASSERT_TRUE(WaitFor([this] { return window_->ViewWidget()->width() > 100; }));
}

void WindowTest::TearDown() {
  window_.reset();
}

bool WindowTest::OpenFile(const std::filesystem::path& path) {
  dialogs_.openFile = path;
  const size_t messagesBefore = dialogs_.messages.size();
  window_->ExecuteCommand(kCmdOpen);
  return dialogs_.messages.size() == messagesBefore &&
         window_->State().document.source.pixels != nullptr;
}

std::array<uint8_t, 3> WindowTest::SurfacePixel(int x, int y) const {
  const QImage& image = window_->ViewWidget()->SurfaceImage();
  const uchar* p = image.constScanLine(y) + 3 * x;
  return {p[0], p[1], p[2]};
}

std::filesystem::path SamplePath(const std::string& relative) {
  return std::filesystem::path(MELVARO_SAMPLES_DIR) / relative;
}

bool WaitFor(const std::function<bool()>& done) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > 10000) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(1);
  }
  return true;
}

void MakeSolid(SBxPicBuf* picture, int width, int height, uint8_t blue, uint8_t green,
               uint8_t red) {
  CBxPicBufAPI::ReinitHeap(picture, width, height, 3, 8);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = RowPtr(*picture, y);
    for (int x = 0; x < width; ++x) {
      row[3 * x] = blue;
      row[3 * x + 1] = green;
      row[3 * x + 2] = red;
    }
  }
}
