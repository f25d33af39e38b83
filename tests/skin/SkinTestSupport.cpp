#include "tests/skin/SkinTestSupport.h"

#include <gtest/gtest.h>

#include <memory>

#include <QApplication>
#include <QCursor>
#include <QWidget>

#include "skin/DarkTheme.h"

namespace {

class ThemedApplication : public testing::Environment {
 public:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    app_ = std::make_unique<QApplication>(argc_, argv_);
    ApplyDarkTheme(*app_);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[20] = "melvaro_skin_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] testing::Environment* const kEnvironment =
    testing::AddGlobalTestEnvironment(new ThemedApplication);

}  // namespace

QImage RenderWidget(QWidget& widget) {
  // Keep the pointer off every control, so none is painted hot.
  QCursor::setPos(-1000, -1000);
  widget.show();
  QApplication::processEvents();
  return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

int CountPixels(const QImage& image, const QRect& rect, QRgb rgb) {
  int count = 0;
  const QRect r = rect.intersected(image.rect());
  for (int y = r.top(); y <= r.bottom(); ++y) {
    for (int x = r.left(); x <= r.right(); ++x) {
      if ((image.pixel(x, y) & 0xFFFFFF) == (rgb & 0xFFFFFF)) ++count;
    }
  }
  return count;
}
