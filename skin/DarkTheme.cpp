#include "skin/DarkTheme.h"

#include <array>

#include <QApplication>
#include <QPainter>
#include <QString>

#include "skin/DarkStyle.h"
#include "skin/SkinColours.h"
#include "skin/SkinEdges.h"

namespace {

const char* CheckBoxImageName(Qt::CheckState state, bool enabled) {
  switch (state) {
    case Qt::Checked:
      return enabled ? "CHECKD_SELON" : "CHECKD_SELOFF";
    case Qt::PartiallyChecked:
      return enabled ? "CHECKD_SEMION" : "CHECKD_SEMIOFF";
    case Qt::Unchecked:
      break;
  }
  return enabled ? "CHECKD_DESON" : "CHECKD_DESOFF";
}

}  // namespace

// The images live in a static library, whose resource registration the
// linker would otherwise drop.
static void RegisterSkinResources() {
  static const bool registered = [] {
    Q_INIT_RESOURCE(skin);
    return true;
  }();
  (void)registered;
}

QImage SkinCheckBoxImage(Qt::CheckState state, bool enabled) {
  RegisterSkinResources();
  // Decoded once: check boxes are painted often and the images never change.
  static const std::array<QImage, 6> images = [] {
    std::array<QImage, 6> loaded;
    size_t i = 0;
    for (Qt::CheckState s : {Qt::Unchecked, Qt::PartiallyChecked, Qt::Checked}) {
      for (bool e : {false, true}) {
        const QString path = QStringLiteral(":/skin/%1.png").arg(CheckBoxImageName(s, e));
        loaded[i++] = QImage(path).convertToFormat(QImage::Format_ARGB32_Premultiplied);
      }
    }
    return loaded;
  }();
  const size_t row = state == Qt::Unchecked ? 0 : state == Qt::PartiallyChecked ? 1 : 2;
  return images[row * 2 + (enabled ? 1 : 0)];
}

void PaintDockPanelBackground(QPainter* painter, const QRect& rect, bool lineOnRight) {
  painter->fillRect(rect, SkinColour(SkinColourIndex::kButtonFace));
  const int x = lineOnRight ? rect.right() : rect.left();
  painter->fillRect(QRect(x, rect.top(), 1, rect.height()),
                    SkinColour(SkinColourIndex::kButtonHighlight));
}

void ApplyDarkTheme(QApplication& app) {
  RegisterSkinResources();
  auto* style = new cDarkStyle;
  QApplication::setStyle(style);  // the application takes ownership
  app.setPalette(style->standardPalette());
}
