#include "skin/DarkStyle.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QStyleFactory>
#include <QStyleOption>
#include <QToolButton>

#include "skin/DarkTheme.h"
#include "skin/SkinColours.h"
#include "skin/SkinControls.h"
#include "skin/SkinEdges.h"

namespace {

using I = SkinColourIndex;
using M = SkinMetrics;

bool IsDockPanel(const QWidget* widget) {
  return widget != nullptr && widget->objectName() == QLatin1String(kDockPanelObjectName);
}

// Text colour of a button or label: button text, or grey text when disabled.
QColor LabelColour(const QStyleOption& option) {
  return SkinColour(option.state & QStyle::State_Enabled ? I::kButtonText : I::kGreyText);
}

// The letter a button's text marks with "&" ("&&" is a literal ampersand),
// upper-cased, or 0.
QChar MnemonicLetter(const QString& text) {
  for (qsizetype i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != u'&') continue;
    if (text[i + 1] == u'&') {
      ++i;
      continue;
    }
    return text[i + 1].toUpper();
  }
  return QChar();
}

// A plain letter pressed on a push button clicks the visible, enabled
// sibling button whose mnemonic it is. Disabled buttons are left alone so a
// letter never starts what the program has switched off.
bool ClickSiblingByMnemonic(QWidget* button, QChar letter) {
  QWidget* parent = button->parentWidget();
  if (parent == nullptr) return false;
  const auto siblings = parent->findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly);
  for (QAbstractButton* sibling : siblings) {
    if (!sibling->isVisible() || !sibling->isEnabled()) continue;
    if (MnemonicLetter(sibling->text()) != letter) continue;
    sibling->setFocus(Qt::ShortcutFocusReason);
    sibling->click();
    return true;
  }
  return false;
}

void PaintToolButton(const QStyle* style, const QStyleOptionToolButton& tb, QPainter* painter,
                     const QWidget* widget) {
  const QRect button =
      style->subControlRect(QStyle::CC_ToolButton, &tb, QStyle::SC_ToolButton, widget);
  QStyle::State flags = tb.state & ~QStyle::State_Sunken;
  if ((tb.activeSubControls & QStyle::SC_ToolButton) && (tb.state & QStyle::State_Sunken))
    flags |= QStyle::State_Sunken;

  QStyleOption panel = tb;
  panel.rect = button;
  panel.state = flags;
  if (tb.state & QStyle::State_AutoRaise) {
    PaintToolButtonPanel(painter, panel);
  } else {
    PaintPushButtonPanel(painter, panel);
  }

  if (tb.subControls & QStyle::SC_ToolButtonMenu) {
    QStyleOption menu = tb;
    menu.rect =
        style->subControlRect(QStyle::CC_ToolButton, &tb, QStyle::SC_ToolButtonMenu, widget);
    menu.state = tb.state & ~QStyle::State_Sunken;
    if ((tb.activeSubControls & QStyle::SC_ToolButtonMenu) && (tb.state & QStyle::State_Sunken))
      menu.state |= QStyle::State_Sunken;
    PaintToolButtonPanel(painter, menu);
    style->drawPrimitive(QStyle::PE_IndicatorArrowDown, &menu, painter, widget);
  } else if (tb.features & QStyleOptionToolButton::HasMenu) {
    QStyleOption arrow = tb;
    arrow.rect = QRect(button.right() - 6, button.bottom() - 6, 5, 5);
    style->drawPrimitive(QStyle::PE_IndicatorArrowDown, &arrow, painter, widget);
  }

  QStyleOptionToolButton label = tb;
  label.state = flags;
  const int margin = style->pixelMetric(QStyle::PM_DefaultFrameWidth, &tb, widget);
  label.rect = button.adjusted(margin, margin, -margin, -margin);
  style->drawControl(QStyle::CE_ToolButtonLabel, &label, painter, widget);
}

}  // namespace

cDarkStyle::cDarkStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

QPalette cDarkStyle::standardPalette() const {
  return DarkPalette();
}

void cDarkStyle::polish(QPalette& palette) {
  palette = DarkPalette();
}

void cDarkStyle::polish(QWidget* widget) {
  QProxyStyle::polish(widget);
  if (qobject_cast<QPushButton*>(widget) != nullptr) widget->installEventFilter(this);
  if (qobject_cast<QToolButton*>(widget) != nullptr ||
      qobject_cast<QComboBox*>(widget) != nullptr || qobject_cast<QSlider*>(widget) != nullptr) {
    widget->setAttribute(Qt::WA_Hover, true);
  }
  if (IsDockPanel(widget)) widget->setAttribute(Qt::WA_StyledBackground, true);
  if (qobject_cast<QMenu*>(widget) != nullptr) {
    // Menus stand out from the dialogs in the table's menu colour.
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, SkinColour(I::kMenu));
    widget->setPalette(palette);
  }
}

void cDarkStyle::unpolish(QWidget* widget) {
  if (qobject_cast<QPushButton*>(widget) != nullptr) widget->removeEventFilter(this);
  QProxyStyle::unpolish(widget);
}

bool cDarkStyle::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return QProxyStyle::eventFilter(watched, event);
  auto* button = qobject_cast<QPushButton*>(watched);
  const auto* key = static_cast<QKeyEvent*>(event);
  const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
  if (button == nullptr || !button->isEnabled() || mods != Qt::NoModifier) {
    return QProxyStyle::eventFilter(watched, event);
  }
  if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
    button->click();
    return true;
  }
  if (key->key() >= Qt::Key_A && key->key() <= Qt::Key_Z) {
    const QChar letter(u'A' + (key->key() - Qt::Key_A));
    if (ClickSiblingByMnemonic(button, letter)) return true;
  }
  return QProxyStyle::eventFilter(watched, event);
}

int cDarkStyle::pixelMetric(PixelMetric metric, const QStyleOption* option,
                            const QWidget* widget) const {
  switch (metric) {
    case PM_IndicatorWidth:
    case PM_IndicatorHeight:
      return M::kCheckBoxSize;
    case PM_CheckBoxLabelSpacing: {
      // The text starts one "t" after the box.
      const QFontMetrics metrics = option != nullptr   ? option->fontMetrics
                                   : widget != nullptr ? widget->fontMetrics()
                                                       : QFontMetrics(QApplication::font());
      return metrics.horizontalAdvance(u't');
    }
    case PM_SliderLength:
      return M::kSliderThumbLength;
    case PM_SliderThickness:
      return M::kSliderThickness;
    case PM_SliderControlThickness:
      return M::kSliderThumbThickness;
    case PM_SliderTickmarkOffset:
      return M::kSliderTickSpace;
    case PM_SliderSpaceAvailable:
      if (const auto* slider = qstyleoption_cast<const QStyleOptionSlider*>(option)) {
        const QRect r = slider->rect;
        return (slider->orientation == Qt::Horizontal ? r.width() : r.height()) -
               M::kSliderThumbLength;
      }
      break;
    case PM_DefaultFrameWidth:
    case PM_ComboBoxFrameWidth:
      return M::kEdgeWidth;
    case PM_ButtonShiftHorizontal:
    case PM_ButtonShiftVertical:
      // Toolbar icons move down and right while pressed or checked; push
      // button text stays put.
      return qstyleoption_cast<const QStyleOptionToolButton*>(option) != nullptr ? 1 : 0;
    case PM_ToolBarSeparatorExtent:
      return M::kToolBarSeparatorExtent;
    case PM_ToolBarItemSpacing:
      return 1;
    case PM_ToolBarFrameWidth:
      return 1;
    case PM_ToolBarItemMargin:
      return 1;
    default:
      break;
  }
  return QProxyStyle::pixelMetric(metric, option, widget);
}

int cDarkStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                          QStyleHintReturn* returnData) const {
  switch (hint) {
    case SH_ComboBox_Popup:  // a plain drop-down list in the window colours
    case SH_EtchDisabledText:
    case SH_DitherDisabledText:
      return 0;
    default:
      return QProxyStyle::styleHint(hint, option, widget, returnData);
  }
}

QSize cDarkStyle::sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                                   const QWidget* widget) const {
  if (type == CT_ComboBox) {
    const int edge = M::kEdgeWidth;
    const int width = size.width() + edge + 1 + 4 + M::kComboButtonWidth + M::kComboButtonInset;
    return QSize(width, std::max(size.height() + 2 * edge + 4, 22));
  }
  return QProxyStyle::sizeFromContents(type, option, size, widget);
}

QRect cDarkStyle::subElementRect(SubElement element, const QStyleOption* option,
                                 const QWidget* widget) const {
  const QRect r = option->rect;
  const int side = M::kCheckBoxSize;
  switch (element) {
    case SE_CheckBoxIndicator:
      return visualRect(option->direction, r,
                        QRect(r.x(), r.y() + (r.height() - side) / 2, side, side));
    case SE_CheckBoxContents: {
      const int start = side + proxy()->pixelMetric(PM_CheckBoxLabelSpacing, option, widget);
      return visualRect(option->direction, r, r.adjusted(start, 0, 0, 0));
    }
    case SE_ProgressBarGroove:
    case SE_ProgressBarContents:
    case SE_ProgressBarLabel:
      return r;
    default:
      return QProxyStyle::subElementRect(element, option, widget);
  }
}

QRect cDarkStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                                 SubControl subControl, const QWidget* widget) const {
  if (control == CC_Slider) {
    if (const auto* slider = qstyleoption_cast<const QStyleOptionSlider*>(option))
      return SliderSubControlRect(*slider, subControl);
  }
  if (control == CC_ComboBox) {
    if (const auto* combo = qstyleoption_cast<const QStyleOptionComboBox*>(option))
      return ComboSubControlRect(*combo, subControl);
  }
  return QProxyStyle::subControlRect(control, option, subControl, widget);
}

void cDarkStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                               QPainter* painter, const QWidget* widget) const {
  switch (element) {
    case PE_PanelButtonCommand:
    case PE_PanelButtonBevel:
      PaintPushButtonPanel(painter, *option);
      return;
    case PE_FrameDefaultButton:
      return;
    case PE_FrameFocusRect:
      PaintFocusRect(painter, option->rect);
      return;
    case PE_IndicatorCheckBox:
      PaintCheckIndicator(painter, *option, true);
      return;
    case PE_IndicatorItemViewItemCheck:
      PaintCheckIndicator(painter, *option, false);
      return;
    case PE_PanelLineEdit:
      if (const auto* frame = qstyleoption_cast<const QStyleOptionFrame*>(option)) {
        PaintEditPanel(painter, *option, frame->lineWidth > 0);
        return;
      }
      break;
    case PE_FrameLineEdit:
    case PE_Frame:
      DrawSkinEdge(painter, option->rect,
                   option->state & State_Raised ? SkinEdge::kRaisedBox : SkinEdge::kSunkenBox);
      return;
    case PE_PanelToolBar:
      painter->fillRect(option->rect, SkinColour(I::kButtonFace));
      return;
    case PE_IndicatorToolBarSeparator:
    case PE_IndicatorToolBarHandle:
      PaintToolBarSeparator(painter, *option);
      return;
    case PE_PanelButtonTool:
      PaintToolButtonPanel(painter, *option);
      return;
    case PE_PanelStatusBar:
      PaintStatusBar(painter, option->rect);
      return;
    case PE_FrameStatusBarItem:
      return;
    case PE_Widget:
      if (IsDockPanel(widget)) {
        PaintDockPanelBackground(painter, option->rect,
                                 widget->property(kDockPanelLineOnRightProperty).toBool());
        return;
      }
      break;
    default:
      break;
  }
  QProxyStyle::drawPrimitive(element, option, painter, widget);
}

void cDarkStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                             const QWidget* widget) const {
  switch (element) {
    case CE_PushButton:
      if (const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option)) {
        proxy()->drawControl(CE_PushButtonBevel, button, painter, widget);
        QStyleOptionButton label = *button;
        label.rect = proxy()->subElementRect(SE_PushButtonContents, button, widget);
        proxy()->drawControl(CE_PushButtonLabel, &label, painter, widget);
        if ((button->state & State_HasFocus) && (button->state & State_KeyboardFocusChange))
          PaintFocusRect(painter, button->rect.adjusted(4, 4, -4, -4));
        return;
      }
      break;
    case CE_PushButtonBevel:
      if (const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option)) {
        PaintPushButtonPanel(painter, *button);
        if (button->features & QStyleOptionButton::HasMenu) {
          QStyleOption arrow = *button;
          const int w = proxy()->pixelMetric(PM_MenuButtonIndicator, button, widget);
          arrow.rect =
              QRect(button->rect.right() - w - 2, button->rect.y(), w, button->rect.height());
          arrow.palette.setColor(QPalette::ButtonText, LabelColour(*button));
          proxy()->drawPrimitive(PE_IndicatorArrowDown, &arrow, painter, widget);
        }
        return;
      }
      break;
    case CE_PushButtonLabel:
    case CE_ToolButtonLabel:
      if (const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option)) {
        QStyleOptionButton label = *button;
        label.palette.setColor(QPalette::ButtonText, LabelColour(*button));
        QProxyStyle::drawControl(element, &label, painter, widget);
        return;
      }
      if (const auto* tool = qstyleoption_cast<const QStyleOptionToolButton*>(option)) {
        QStyleOptionToolButton label = *tool;
        label.palette.setColor(QPalette::ButtonText, LabelColour(*tool));
        QProxyStyle::drawControl(element, &label, painter, widget);
        return;
      }
      break;
    case CE_CheckBoxLabel:
    case CE_RadioButtonLabel:
      if (const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option)) {
        QStyleOptionButton label = *button;
        label.palette.setColor(QPalette::WindowText, LabelColour(*button));
        QProxyStyle::drawControl(element, &label, painter, widget);
        return;
      }
      break;
    case CE_ToolBar:
      painter->fillRect(option->rect, SkinColour(I::kButtonFace));
      return;
    case CE_ProgressBarGroove:
      PaintProgressGroove(painter, *option);
      return;
    case CE_ProgressBarContents:
      if (const auto* bar = qstyleoption_cast<const QStyleOptionProgressBar*>(option)) {
        if (PaintProgressContents(painter, *bar)) return;
      }
      break;
    case CE_ProgressBarLabel:
      if (const auto* bar = qstyleoption_cast<const QStyleOptionProgressBar*>(option)) {
        PaintProgressLabel(painter, *bar);
        return;
      }
      break;
    default:
      break;
  }
  QProxyStyle::drawControl(element, option, painter, widget);
}

void cDarkStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                    QPainter* painter, const QWidget* widget) const {
  switch (control) {
    case CC_Slider:
      if (const auto* slider = qstyleoption_cast<const QStyleOptionSlider*>(option)) {
        PaintSlider(painter, *slider);
        return;
      }
      break;
    case CC_ComboBox:
      if (const auto* combo = qstyleoption_cast<const QStyleOptionComboBox*>(option)) {
        PaintComboBox(painter, *combo);
        return;
      }
      break;
    case CC_ToolButton:
      if (const auto* tool = qstyleoption_cast<const QStyleOptionToolButton*>(option)) {
        PaintToolButton(proxy(), *tool, painter, widget);
        return;
      }
      break;
    default:
      break;
  }
  QProxyStyle::drawComplexControl(control, option, painter, widget);
}
