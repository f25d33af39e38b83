#pragma once

#include <QComboBox>

// The editable zoom box of the toolbar. Choosing an entry or confirming typed text with
// Enter is reported; a wheel turn over it is swallowed and, like closing its list, hands
// the keyboard back to the view.
class ZoomBox : public QComboBox {
  Q_OBJECT

 public:
  explicit ZoomBox(QWidget* parent);

  // The toolbar's place for the box, and the box 5 pixels in on each side. Wide enough
  // for "800.0 %" in a bold 16-pixel font next to the list button.
  static constexpr int kPlaceholderWidth = 115;
  static constexpr int kInset = 5;

 signals:
  void PresetChosen(int index);
  void TextConfirmed();
  void FocusBack();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void hidePopup() override;
};
