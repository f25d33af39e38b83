#pragma once

#include <QWidget>

class QFileDialog;
class QLabel;
class QSlider;
struct SaveDialogRequest;

// The JPEG quality row added below the save dialog: caption, slider from 10 to 100, the
// value and "%". It is enabled only while the JPEG filter is selected. A line or page step
// of the slider moves one further step on top of the slider's own.
class JpegQualityControl : public QWidget {
  Q_OBJECT

 public:
  JpegQualityControl(int quality, QWidget* parent);

  int Quality() const;
  void SetActive(bool active);
  QSlider* Slider() const { return slider_; }
  QLabel* ValueLabel() const { return value_; }

 private:
  void OnSliderAction(int action);

  QLabel* caption_;
  QSlider* slider_;
  QLabel* value_;
  QLabel* percent_;
};

// Prepares a (non-native) save dialog for the request: title, filters, initial filter,
// proposed name, overwrite question, and the quality row that follows the selected filter.
JpegQualityControl* ConfigureSaveDialog(QFileDialog* dialog, const SaveDialogRequest& request);

// 1-based position of the dialog's selected filter.
int SelectedFilterPosition(const QFileDialog& dialog);
