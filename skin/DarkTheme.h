#pragma once

#include <QImage>
#include <Qt>

class QApplication;
class QPainter;
class QRect;

// The dock panel at the right of the view carries this object name; the
// theme then paints its background in the button-face colour with a
// one-pixel line in the button-highlight colour along its edge next to the
// view. Give the panel its name before it is first shown.
inline constexpr char kDockPanelObjectName[] = "DockerWindow1";
// Set this property to true on the dock panel when it stands at the left of
// the view: its edge line then goes along its right side.
inline constexpr char kDockPanelLineOnRightProperty[] = "skinLineOnRight";

// Installs the dark theme for the whole application: the palette built from
// the colour table and the style that paints the skinned controls. Call once
// at start-up, before the main window is created. The application owns the
// style from then on and releases it at exit.
void ApplyDarkTheme(QApplication& app);

// The dock panel's background, for a panel that paints itself.
void PaintDockPanelBackground(QPainter* painter, const QRect& rect, bool lineOnRight);

// The 13 x 13 check-box image for a state (checked, unchecked or
// indeterminate, enabled or not), with its alpha channel.
QImage SkinCheckBoxImage(Qt::CheckState state, bool enabled);
