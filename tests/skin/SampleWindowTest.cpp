// Renders a window with every skinned control into the build folder
// (skin_sample.png) so the theme can be looked at without starting the
// program.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QLineEdit>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>

#include "skin/DarkTheme.h"
#include "tests/skin/SkinTestSupport.h"

namespace {

QIcon Square(Qt::GlobalColor colour) {
  QPixmap pixmap(24, 24);
  pixmap.fill(colour);
  return QIcon(pixmap);
}

TEST(SampleWindow, RendersEverySkinnedControlIntoAPicture) {
  QMainWindow window;
  QToolBar* bar = window.addToolBar(QStringLiteral("main"));
  bar->addAction(Square(Qt::darkYellow), QStringLiteral("Open"));
  bar->addAction(Square(Qt::darkCyan), QStringLiteral("Save"))->setEnabled(false);
  bar->addSeparator();
  bar->addAction(Square(Qt::darkRed), QStringLiteral("Contrast"))->setCheckable(true);
  auto* zoom = new QComboBox;
  zoom->setEditable(true);
  zoom->addItem(QStringLiteral("100.0 %"));
  bar->addWidget(zoom);

  // Left: the controls in each of their states; right: the dock panel.
  auto* central = new QWidget;
  auto* grid = new QGridLayout(central);
  for (int i = 0; i < 6; ++i) {
    auto* box = new QCheckBox(QStringLiteral("Check %1").arg(i));
    box->setTristate(true);
    box->setCheckState(static_cast<Qt::CheckState>(i / 2));
    box->setEnabled(i % 2 == 0);
    grid->addWidget(box, i / 2, i % 2);
  }
  auto* pressed = new QPushButton(QStringLiteral("Pressed"));
  pressed->setDown(true);
  auto* disabled = new QPushButton(QStringLiteral("Disabled"));
  disabled->setEnabled(false);
  grid->addWidget(new QPushButton(QStringLiteral("&Open")), 3, 0);
  grid->addWidget(pressed, 3, 1);
  grid->addWidget(disabled, 4, 0);
  grid->addWidget(new QLineEdit(QStringLiteral("image-vtx")), 4, 1);
  auto* progress = new QProgressBar;
  progress->setValue(40);
  grid->addWidget(progress, 5, 0, 1, 2);
  auto* dock = new QWidget;
  dock->setObjectName(kDockPanelObjectName);
  auto* panel = new QVBoxLayout(dock);
  for (int value : {10, 25, 40}) {
    auto* slider = new QSlider(Qt::Horizontal);
    slider->setValue(value);
    slider->setEnabled(value != 40);
    slider->setTickPosition(value == 25 ? QSlider::TicksBelow : QSlider::NoTicks);
    panel->addWidget(slider);
  }
  panel->addWidget(new QComboBox);
  grid->addWidget(dock, 0, 2, 6, 1);
  window.setCentralWidget(central);
  window.statusBar()->showMessage(QStringLiteral("Right-click for comparison"));
  window.resize(600, 320);

  const QImage image = RenderWidget(window);
  const QString path = QDir(QStringLiteral(MELVARO_SKIN_RENDER_DIR)).filePath("skin_sample.png");
  ASSERT_TRUE(image.save(path, "PNG")) << path.toStdString();
  // The accent of the sliders and the status bar's top line are in it.
  EXPECT_GT(CountPixels(image, image.rect(), kSkinSliderFill), 0);
  const QRect status = window.statusBar()->geometry();
  EXPECT_EQ(image.pixel(status.center().x(), status.top()), Rgb(SkinColourIndex::kButtonHighlight));
}

}  // namespace
