#pragma once

#include <QIcon>
#include <QImage>
#include <QString>

// The greyed image of a disabled toolbar button: every pixel becomes the grey
// trunc((red * 0.3 + green * 0.5 + blue * 0.2) * 0.43 + 120.0) - 70, and an alpha below
// 100 is halved, so disabled buttons look flat and faint whatever their colours.
QImage MakeDisabledImage(const QImage& image);

// The toolbar image of that name from the program's resources, with its disabled image.
QIcon ToolbarIcon(const QString& name);
