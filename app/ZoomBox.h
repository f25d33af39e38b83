#pragma once

#include <QComboBox>

// The editable zoom box of the toolbar. Choosing an entry or confirming typed text with
// Enter is reported; a wheel turn over it is swallowed and, like closing its list, hands
// the keyboard back to the view.
class ZoomBox : public QComboBox {
  Q_OBJECT

 public:
  explicit ZoomBox(QWidget* parent);

  // The toolbar's place for the box, and the box 5 pixels in on each side.
  static constexpr int kPlaceholderWidth = 95;
  static constexpr int kInset = 5;

 signals:
  void PresetChosen(int index);
  void TextConfirmed();
  void FocusBack();

 protected:
  // Enter confirms the typed text: on the box itself, which has the focus and hands its keys
  // straight to its field, and on the field, should it get a key of its own.
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void hidePopup() override;

 private:
  static constexpr int kFontPixels = 16;
  static constexpr int kSmallestFontPixels = 10;
  static constexpr int kFieldMargins = 4;  // the field's own margins around its text

  void FitFont();
  bool ConfirmsText(const QKeyEvent& key) const;
};
