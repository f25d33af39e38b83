// Combo boxes, edit fields and progress bars: sunken boxes around the
// window colour, in which text and values show.
#include <algorithm>

#include <QPainter>
#include <QStyleOption>

#include "skin/SkinColours.h"
#include "skin/SkinControls.h"
#include "skin/SkinEdges.h"

namespace {

using I = SkinColourIndex;
using M = SkinMetrics;

// A down arrow of shrinking horizontal lines, `width` wide and width / 2 high.
void PaintDownArrow(QPainter* painter, const QPoint& topLeft, int width, const QColor& colour) {
  for (int row = 0; row < width / 2; ++row) {
    painter->fillRect(QRect(topLeft.x() + row, topLeft.y() + row, width - 2 * row, 1), colour);
  }
}

void PaintComboButton(QPainter* painter, const QRect& button, bool pressed, bool enabled) {
  FillShadedFace(painter, button, SkinColour(I::kButtonFace), pressed);
  DrawSkinFrame(painter, button, SkinColour(I::kLight3D), SkinColour(I::kDarkShadow3D));
  if (!pressed) {
    DrawSkinFrame(painter, button.adjusted(1, 1, -1, -1), SkinColour(I::kButtonHighlight),
                  SkinColour(I::kButtonShadow));
  }
  const int w = M::kComboArrowWidth;
  const int h = w / 2;
  QPoint at(button.x() + (button.width() - w) / 2, button.y() + (button.height() - h) / 2);
  if (pressed) at += QPoint(1, 1);
  PaintDownArrow(painter, at, w, SkinColour(enabled ? I::kButtonText : I::kGreyText));
}

}  // namespace

QRect ComboSubControlRect(const QStyleOptionComboBox& o, QStyle::SubControl subControl) {
  const QRect r = o.rect;
  const int inset = M::kComboButtonInset;
  const int edge = M::kEdgeWidth;
  const QRect button(r.right() - inset - M::kComboButtonWidth + 1, r.top() + inset,
                     M::kComboButtonWidth, r.height() - 2 * inset);
  QRect result;
  switch (subControl) {
    case QStyle::SC_ComboBoxFrame:
    case QStyle::SC_ComboBoxListBoxPopup:
      return r;
    case QStyle::SC_ComboBoxArrow:
      result = button;
      break;
    case QStyle::SC_ComboBoxEditField:
      result = QRect(QPoint(r.left() + edge + 1, r.top() + edge),
                     QPoint(button.left() - 1, r.bottom() - edge));
      break;
    default:
      return QRect();
  }
  return QStyle::visualRect(o.direction, r, result);
}

void PaintComboBox(QPainter* painter, const QStyleOptionComboBox& o) {
  const bool enabled = o.state & QStyle::State_Enabled;
  const QRect r = o.rect;
  painter->fillRect(r, SkinColour(enabled ? I::kWindow : I::kButtonFace));
  if (o.frame) DrawSkinEdge(painter, r, SkinEdge::kSunkenBox);
  if (o.subControls & QStyle::SC_ComboBoxArrow) {
    // Pressed while the mouse holds the button down or the list is open.
    const bool pressed =
        enabled &&
        (((o.activeSubControls & QStyle::SC_ComboBoxArrow) && (o.state & QStyle::State_Sunken)) ||
         (o.state & QStyle::State_On));
    PaintComboButton(painter, ComboSubControlRect(o, QStyle::SC_ComboBoxArrow), pressed, enabled);
  }
  if (!o.editable && (o.state & QStyle::State_HasFocus) &&
      (o.state & QStyle::State_KeyboardFocusChange)) {
    PaintFocusRect(painter,
                   ComboSubControlRect(o, QStyle::SC_ComboBoxEditField).adjusted(0, 1, 0, -1));
  }
}

void PaintEditPanel(QPainter* painter, const QStyleOption& option, bool withFrame) {
  painter->fillRect(option.rect, option.palette.base());
  if (withFrame) DrawSkinEdge(painter, option.rect, SkinEdge::kSunkenBox);
}

void PaintProgressGroove(QPainter* painter, const QStyleOption& option) {
  painter->fillRect(option.rect, SkinColour(I::kWindow));
  DrawSkinEdge(painter, option.rect, SkinEdge::kSunkenBox);
}

bool PaintProgressContents(QPainter* painter, const QStyleOptionProgressBar& o) {
  // A bar without a range is busy: the base style animates it.
  if (o.maximum <= o.minimum) return false;
  const QRect inner =
      o.rect.adjusted(M::kEdgeWidth + 1, M::kEdgeWidth + 1, -M::kEdgeWidth - 1, -M::kEdgeWidth - 1);
  if (inner.isEmpty()) return true;
  const long long range = static_cast<long long>(o.maximum) - o.minimum;
  const long long done =
      std::clamp<long long>(static_cast<long long>(o.progress) - o.minimum, 0, range);
  const bool horizontal = o.state & QStyle::State_Horizontal;
  const int length = horizontal ? inner.width() : inner.height();
  const int filled = static_cast<int>(done * length / range);
  if (filled <= 0) return true;

  QRect bar;
  if (horizontal) {
    const bool fromRight = o.invertedAppearance != (o.direction == Qt::RightToLeft);
    bar = fromRight ? QRect(inner.right() - filled + 1, inner.top(), filled, inner.height())
                    : QRect(inner.left(), inner.top(), filled, inner.height());
  } else {
    bar = o.invertedAppearance
              ? QRect(inner.left(), inner.top(), inner.width(), filled)
              : QRect(inner.left(), inner.bottom() - filled + 1, inner.width(), filled);
  }
  const bool enabled = o.state & QStyle::State_Enabled;
  painter->fillRect(bar,
                    enabled ? QColor::fromRgb(kSkinSliderFill) : SkinColour(I::kButtonHighlight));
  return true;
}

void PaintProgressLabel(QPainter* painter, const QStyleOptionProgressBar& o) {
  if (!o.textVisible || o.text.isEmpty()) return;
  painter->save();
  const bool enabled = o.state & QStyle::State_Enabled;
  painter->setPen(SkinColour(enabled ? I::kButtonText : I::kGreyText));
  painter->drawText(o.rect, Qt::AlignCenter | Qt::TextSingleLine, o.text);
  painter->restore();
}
