// Push buttons, check boxes, toolbar buttons and the status bar.
#include <QPainter>
#include <QStyleOption>

#include "skin/DarkTheme.h"
#include "skin/SkinColours.h"
#include "skin/SkinControls.h"
#include "skin/SkinEdges.h"

namespace {

using I = SkinColourIndex;

bool Has(const QStyleOption& option, QStyle::StateFlag flag) {
  return option.state & flag;
}

}  // namespace

void PaintPushButtonPanel(QPainter* painter, const QStyleOption& option) {
  const QRect r = option.rect;
  painter->fillRect(r, SkinColour(I::kButtonFace));
  if (Has(option, QStyle::State_Sunken)) {
    DrawSkinEdge(painter, r, SkinEdge::kSunkenBox);
  } else if (Has(option, QStyle::State_On)) {
    // A checked push-like button rests flat with a thin frame.
    DrawSkinFrame(painter, r, SkinColour(I::kLight3D), SkinColour(I::kDarkShadow3D));
  } else {
    DrawSkinEdge(painter, r, SkinEdge::kRaisedBox);
  }
}

void PaintFocusRect(QPainter* painter, const QRect& rect) {
  painter->save();
  QPen pen(SkinColour(I::kGreyText), 1, Qt::DotLine);
  painter->setPen(pen);
  painter->setBrush(Qt::NoBrush);
  painter->drawRect(rect.adjusted(0, 0, -1, -1));
  painter->restore();
}

void PaintCheckIndicator(QPainter* painter, const QStyleOption& option, bool fillBox) {
  Qt::CheckState state = Qt::Unchecked;
  if (Has(option, QStyle::State_On)) state = Qt::Checked;
  if (Has(option, QStyle::State_NoChange)) state = Qt::PartiallyChecked;
  const QImage image = SkinCheckBoxImage(state, Has(option, QStyle::State_Enabled));

  const int side = SkinMetrics::kCheckBoxSize;
  const QRect box(option.rect.x() + (option.rect.width() - side) / 2,
                  option.rect.y() + (option.rect.height() - side) / 2, side, side);
  if (fillBox) painter->fillRect(box, option.palette.window());
  painter->drawImage(
      box.topLeft() + QPoint((side - image.width()) / 2, (side - image.height()) / 2), image);
}

void PaintToolButtonPanel(QPainter* painter, const QStyleOption& option) {
  const QRect r = option.rect;
  const bool enabled = Has(option, QStyle::State_Enabled);
  const bool pressed =
      enabled && (Has(option, QStyle::State_Sunken) || Has(option, QStyle::State_On));
  const bool hot = enabled && Has(option, QStyle::State_MouseOver);
  const QColor highlight = SkinColour(I::kButtonHighlight);
  const QColor shadow = SkinColour(I::kButtonShadow);
  if (pressed) {
    FillShadedFace(painter, r, SkinColour(I::kButtonFace), true);
    DrawSkinFrame(painter, r, shadow, highlight);
  } else if (hot) {
    FillShadedFace(painter, r, SkinColour(I::kButtonFace), false);
    DrawSkinFrame(painter, r, highlight, shadow);
  }
}

void PaintToolBarSeparator(QPainter* painter, const QStyleOption& option) {
  const QRect r = option.rect;
  const QColor dark = SkinColour(I::kButtonShadow);
  const QColor light = SkinColour(I::kButtonHighlight);
  // A horizontal toolbar separates its buttons with a vertical groove.
  if (Has(option, QStyle::State_Horizontal)) {
    const int x = r.x() + r.width() / 2 - 1;
    painter->fillRect(QRect(x, r.top() + 2, 1, r.height() - 4), dark);
    painter->fillRect(QRect(x + 1, r.top() + 2, 1, r.height() - 4), light);
  } else {
    const int y = r.y() + r.height() / 2 - 1;
    painter->fillRect(QRect(r.left() + 2, y, r.width() - 4, 1), dark);
    painter->fillRect(QRect(r.left() + 2, y + 1, r.width() - 4, 1), light);
  }
}

void PaintStatusBar(QPainter* painter, const QRect& rect) {
  painter->fillRect(rect, SkinColour(I::kButtonFace));
  painter->fillRect(QRect(rect.left(), rect.top(), rect.width(), 1),
                    SkinColour(I::kButtonHighlight));
}
