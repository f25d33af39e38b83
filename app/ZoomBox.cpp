#include "app/ZoomBox.h"

#include <QAbstractItemView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QWheelEvent>

#include "app/ViewGeometry.h"

ZoomBox::ZoomBox(QWidget* parent) : QComboBox(parent) {
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);  // typed zooms are parsed, never added as entries
  for (double zoom : kZoomPresets)
    addItem(QString::fromStdString(ZoomText(zoom)));
  setCurrentIndex(3);  // 100.0 %
  setFixedWidth(kPlaceholderWidth - 2 * kInset);
  FitFont();
  setFocusPolicy(Qt::ClickFocus);
  lineEdit()->installEventFilter(this);
  connect(this, &QComboBox::activated, this, &ZoomBox::PresetChosen);
}

void ZoomBox::FitFont() {
  // Tahoma, 16 pixels, semi-bold; where the font that stands in for it is wider, a size
  // smaller until the widest entry is readable in the field.
  QFont boxFont(QStringLiteral("Tahoma"));
  boxFont.setWeight(QFont::DemiBold);
  QStyleOptionComboBox option;
  initStyleOption(&option);
  const int field =
      style()
          ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this)
          .width() -
      kFieldMargins;
  const QString widest = itemText(count() - 1);
  for (int pixels = kFontPixels; pixels >= kSmallestFontPixels; --pixels) {
    boxFont.setPixelSize(pixels);
    if (QFontMetrics(boxFont).horizontalAdvance(widest) <= field) break;
  }
  setFont(boxFont);
}

bool ZoomBox::ConfirmsText(const QKeyEvent& key) const {
  const bool enter = key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter;
  return enter && !view()->isVisible();  // with the list open, Enter picks an entry
}

void ZoomBox::keyPressEvent(QKeyEvent* event) {
  if (ConfirmsText(*event)) {
    event->accept();
    emit TextConfirmed();
    return;
  }
  QComboBox::keyPressEvent(event);
}

bool ZoomBox::eventFilter(QObject* watched, QEvent* event) {
  if (watched == lineEdit() && event->type() == QEvent::KeyPress &&
      ConfirmsText(*static_cast<QKeyEvent*>(event))) {
    emit TextConfirmed();
    return true;
  }
  return QComboBox::eventFilter(watched, event);
}

void ZoomBox::wheelEvent(QWheelEvent* event) {
  event->accept();
  emit FocusBack();
}

void ZoomBox::hidePopup() {
  QComboBox::hidePopup();
  emit FocusBack();
}
