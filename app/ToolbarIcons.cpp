#include "app/ToolbarIcons.h"

#include <QPixmap>

QImage MakeDisabledImage(const QImage& image) {
  QImage out = image.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < out.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < out.width(); ++x) {
      const QRgb p = row[x];
      const double weighted = qRed(p) * 0.3 + qGreen(p) * 0.5 + qBlue(p) * 0.2;
      const int grey = static_cast<int>(weighted * 0.43 + 120.0) - 70;
      int alpha = qAlpha(p);
      if (alpha < 100) alpha /= 2;
      row[x] = qRgba(grey, grey, grey, alpha);
    }
  }
  return out;
}

QIcon ToolbarIcon(const QString& name) {
  const QImage image(QStringLiteral(":/icons/%1.png").arg(name));
  QIcon icon;
  if (image.isNull()) return icon;
  icon.addPixmap(QPixmap::fromImage(image), QIcon::Normal);
  icon.addPixmap(QPixmap::fromImage(MakeDisabledImage(image)), QIcon::Disabled);
  return icon;
}
