#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;

// The Options dialog: the language list with the current language selected.
class OptionsDialog : public QDialog {
  Q_OBJECT

 public:
  OptionsDialog(const std::vector<std::string>& languageNames, int current, QWidget* parent);

  // The selected list position, -1 when nothing is selected.
  int SelectedLanguage() const;
  QComboBox* LanguageList() const { return list_; }
  QPushButton* OkButton() const { return ok_; }
  QPushButton* CancelButton() const { return cancel_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QLabel* label_;
  QComboBox* list_;
  QPushButton* ok_;
  QPushButton* cancel_;
};
