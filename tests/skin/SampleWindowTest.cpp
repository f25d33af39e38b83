// Renders a window with every skinned control into the build folder
// (skin_sample.png) so the theme can be looked at without starting the
// program.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>

#include "skin/DarkTheme.h"
#include "tests/skin/SkinTestSupport.h"

namespace {

using I = SkinColourIndex;

// A plain round icon, enough to show how toolbar buttons sit.
QIcon Disc(const QColor& colour) {
  QPixmap pixmap(24, 24);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(colour);
  painter.drawEllipse(QRectF(3, 3, 18, 18));
  return QIcon(pixmap);
}

void AddToolbar(QMainWindow* window) {
  QToolBar* bar = window->addToolBar(QStringLiteral("main"));
  bar->setMovable(false);
  bar->setIconSize(QSize(24, 24));
  bar->addAction(Disc(QColor(214, 170, 80)), QStringLiteral("Open"));
  bar->addAction(Disc(QColor(110, 160, 210)), QStringLiteral("Save"))->setEnabled(false);
  bar->addSeparator();
  bar->addAction(Disc(QColor(200, 110, 90)), QStringLiteral("Contrast"));
  bar->addAction(Disc(QColor(230, 220, 120)), QStringLiteral("Light"));
  bar->addSeparator();
  auto* zoom = new QComboBox;
  zoom->setEditable(true);
  zoom->addItems({QStringLiteral("50.0 %"), QStringLiteral("100.0 %"), QStringLiteral("200.0 %")});
  zoom->setCurrentIndex(1);
  zoom->setFixedWidth(95);
  bar->addWidget(zoom);
  auto* spacer = new QWidget;
  spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  bar->addWidget(spacer);
  bar->addAction(QStringLiteral("Menu"));
}

QWidget* ControlsSheet() {
  auto* sheet = new QWidget;
  auto* layout = new QVBoxLayout(sheet);

  auto* checks = new QGroupBox(QStringLiteral("Check boxes"));
  auto* grid = new QGridLayout(checks);
  const QString names[] = {QStringLiteral("Unchecked"), QStringLiteral("Indeterminate"),
                           QStringLiteral("Checked")};
  for (int column = 0; column < 3; ++column) {
    for (int row = 0; row < 2; ++row) {
      auto* box = new QCheckBox(names[column] + (row == 0 ? QString() : QStringLiteral(" (off)")));
      box->setTristate(true);
      box->setCheckState(static_cast<Qt::CheckState>(column));
      box->setEnabled(row == 0);
      grid->addWidget(box, row, column);
    }
  }
  auto* radio = new QRadioButton(QStringLiteral("Radio"));
  radio->setChecked(true);
  grid->addWidget(radio, 2, 0);
  grid->addWidget(new QRadioButton(QStringLiteral("Other")), 2, 1);
  layout->addWidget(checks);

  auto* buttons = new QHBoxLayout;
  auto* normal = new QPushButton(QStringLiteral("&Open"));
  auto* pressed = new QPushButton(QStringLiteral("Pressed"));
  pressed->setDown(true);
  auto* checked = new QPushButton(QStringLiteral("Checked"));
  checked->setCheckable(true);
  checked->setChecked(true);
  auto* disabled = new QPushButton(QStringLiteral("Disabled"));
  disabled->setEnabled(false);
  for (QPushButton* b : {normal, pressed, checked, disabled})
    buttons->addWidget(b);
  layout->addLayout(buttons);

  auto* form = new QFormLayout;
  auto* combo = new QComboBox;
  combo->addItems({QStringLiteral("Low"), QStringLiteral("Medium"), QStringLiteral("High")});
  form->addRow(QStringLiteral("Noise Reduction:"), combo);
  auto* offCombo = new QComboBox;
  offCombo->addItem(QStringLiteral("English"));
  offCombo->setEnabled(false);
  form->addRow(QStringLiteral("Language:"), offCombo);
  auto* edit = new QLineEdit(QStringLiteral("image-vtx"));
  form->addRow(QStringLiteral("File name:"), edit);
  auto* offEdit = new QLineEdit(QStringLiteral("read only"));
  offEdit->setEnabled(false);
  form->addRow(QStringLiteral("Disabled:"), offEdit);
  auto* ticks = new QSlider(Qt::Horizontal);
  ticks->setRange(10, 100);
  ticks->setValue(85);
  ticks->setTickPosition(QSlider::TicksBelow);
  ticks->setTickInterval(10);
  form->addRow(QStringLiteral("JPEG quality:"), ticks);
  auto* progress = new QProgressBar;
  progress->setValue(40);
  form->addRow(QStringLiteral("Progress:"), progress);
  layout->addLayout(form);
  layout->addStretch();
  return sheet;
}

// A tool panel as the dock panel stacks it: labelled sliders, a check box,
// a progress bar and the panel's buttons.
QWidget* DockPanel() {
  auto* dock = new QWidget;
  dock->setObjectName(kDockPanelObjectName);
  dock->setFixedWidth(260);
  auto* layout = new QVBoxLayout(dock);
  layout->addWidget(new QLabel(QStringLiteral("Tone Mapping...")));
  auto* grid = new QGridLayout;
  const char* names[] = {"Contrast", "Noise", "Details", "Equalization"};
  const int values[] = {10, 25, 40, 3};
  for (int i = 0; i < 4; ++i) {
    auto* slider = new QSlider(Qt::Horizontal);
    slider->setRange(1, 50);
    slider->setValue(values[i]);
    slider->setEnabled(i != 3);
    grid->addWidget(new QLabel(QString::fromLatin1(names[i])), i, 0);
    grid->addWidget(slider, i, 1);
    grid->addWidget(new QLabel(QString::number(values[i])), i, 2);
  }
  layout->addLayout(grid);
  auto* colours = new QCheckBox(QStringLiteral("Extra Colors"));
  colours->setChecked(true);
  layout->addWidget(colours);
  auto* progress = new QProgressBar;
  progress->setValue(65);
  progress->setTextVisible(false);
  layout->addWidget(progress);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(new QPushButton(QStringLiteral("Preview")));
  buttons->addWidget(new QPushButton(QStringLiteral("OK")));
  buttons->addWidget(new QPushButton(QStringLiteral("Cancel")));
  layout->addLayout(buttons);
  layout->addStretch();
  return dock;
}

TEST(SampleWindow, RendersEverySkinnedControlIntoAPicture) {
  QMainWindow window;
  AddToolbar(&window);
  auto* central = new QWidget;
  auto* row = new QHBoxLayout(central);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);
  row->addWidget(ControlsSheet(), 1);
  row->addWidget(DockPanel());
  window.setCentralWidget(central);
  window.statusBar()->showMessage(
      QStringLiteral("Right-click for comparison between original and VTX image"));
  window.resize(820, 520);

  const QImage image = RenderWidget(window);
  const QString path = QDir(QStringLiteral(MELVARO_SKIN_RENDER_DIR)).filePath("skin_sample.png");
  ASSERT_TRUE(image.save(path, "PNG")) << path.toStdString();
  // The accent of the sliders and the status bar's top line are in it.
  EXPECT_GT(CountPixels(image, image.rect(), kSkinSliderFill), 0);
  const QRect status = window.statusBar()->geometry();
  EXPECT_EQ(image.pixel(status.center().x(), status.top()), Rgb(I::kButtonHighlight));
}

}  // namespace
