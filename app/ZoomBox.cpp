#include "app/ZoomBox.h"

#include <QAbstractItemView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QWheelEvent>

#include "app/ViewGeometry.h"

ZoomBox::ZoomBox(QWidget* parent) : QComboBox(parent) {
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);  // typed zooms are parsed, never added as entries
  for (double zoom : kZoomPresets)
    addItem(QString::fromStdString(ZoomText(zoom)));
  setCurrentIndex(3);  // 100.0 %
  setFixedWidth(kPlaceholderWidth - 2 * kInset);
  QFont boxFont = font();
  boxFont.setPixelSize(16);
  boxFont.setWeight(QFont::DemiBold);
  setFont(boxFont);
  setFocusPolicy(Qt::ClickFocus);
  lineEdit()->installEventFilter(this);
  connect(this, &QComboBox::activated, this, &ZoomBox::PresetChosen);
}

bool ZoomBox::eventFilter(QObject* watched, QEvent* event) {
  if (watched == lineEdit() && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    if (enter && !view()->isVisible()) {
      emit TextConfirmed();
      return true;
    }
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
