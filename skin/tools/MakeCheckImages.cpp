// Draws the dark theme's six 13 x 13 check-box images into PNG files. The
// images are committed under resources/skin/; run this only to change their
// look:  melvaro_make_check_images resources/skin
#include <cstdio>

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>

namespace {

constexpr int kSize = 13;

struct Look {
  QColor border;
  QColor fill;
  QColor mark;
};

// A box with one-pixel border and softened corners, filled inside.
void DrawBox(QImage* image, const Look& look) {
  image->fill(Qt::transparent);
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      const bool edgeX = x == 0 || x == kSize - 1;
      const bool edgeY = y == 0 || y == kSize - 1;
      QColor c = edgeX || edgeY ? look.border : look.fill;
      if (edgeX && edgeY) c.setAlpha(90);
      image->setPixelColor(x, y, c);
    }
  }
}

void DrawTick(QImage* image, const QColor& colour) {
  QPainter painter(image);
  painter.setRenderHint(QPainter::Antialiasing);
  QPen pen(colour, 1.8);
  pen.setCapStyle(Qt::RoundCap);
  pen.setJoinStyle(Qt::RoundJoin);
  painter.setPen(pen);
  QPainterPath path;
  path.moveTo(3.2, 6.6);
  path.lineTo(5.4, 8.9);
  path.lineTo(9.8, 3.9);
  painter.drawPath(path);
}

void DrawSquare(QImage* image, const QColor& colour) {
  QPainter painter(image);
  painter.fillRect(QRect(3, 3, 7, 7), colour);
}

bool Save(const QImage& image, const QString& folder, const char* name) {
  const QString path = folder + "/" + name + ".png";
  if (image.save(path, "PNG")) return true;
  std::fprintf(stderr, "cannot write %s\n", path.toLocal8Bit().constData());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  const QColor accent(101, 135, 168);
  const Look off{QColor(0x8E, 0x8E, 0x8E), QColor(0x2C, 0x2C, 0x2C), QColor()};
  const Look offDisabled{QColor(0x5E, 0x5E, 0x5E), QColor(0x3A, 0x3A, 0x3A), QColor()};
  const Look on{accent.lighter(125), accent, QColor(0xFF, 0xFF, 0xFF)};
  const Look onDisabled{QColor(0x66, 0x66, 0x66), QColor(0x52, 0x52, 0x52),
                        QColor(0x8C, 0x8C, 0x8C)};

  QImage image(kSize, kSize, QImage::Format_ARGB32);
  bool ok = true;
  DrawBox(&image, on);
  DrawTick(&image, on.mark);
  ok &= Save(image, folder, "CHECKD_SELON");
  DrawBox(&image, onDisabled);
  DrawTick(&image, onDisabled.mark);
  ok &= Save(image, folder, "CHECKD_SELOFF");
  DrawBox(&image, off);
  ok &= Save(image, folder, "CHECKD_DESON");
  DrawBox(&image, offDisabled);
  ok &= Save(image, folder, "CHECKD_DESOFF");
  DrawBox(&image, off);
  DrawSquare(&image, accent);
  ok &= Save(image, folder, "CHECKD_SEMION");
  DrawBox(&image, offDisabled);
  DrawSquare(&image, QColor(0x66, 0x66, 0x66));
  ok &= Save(image, folder, "CHECKD_SEMIOFF");
  return ok ? 0 : 1;
}
