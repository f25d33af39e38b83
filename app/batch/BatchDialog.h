#pragma once

#include <QDialog>
#include <filesystem>
#include <vector>

class BatchModel;
class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTreeWidget;
class UserDialogs;

// The Batch dialog: the pictures to fuse, how they make series, the series found (each with
// its pictures, their exposures and why it ended), where the results go and how they are
// fused. Every choice goes to the model, which says what to list and whether Run may start;
// accepted, the model holds the batch to run.
class BatchDialog : public QDialog {
  Q_OBJECT

 public:
  BatchDialog(BatchModel& model, UserDialogs& dialogs, QWidget* parent = nullptr);

  QPushButton* AddFilesButton() const { return addFiles_; }
  QPushButton* AddFolderButton() const { return addFolder_; }
  QPushButton* ClearButton() const { return clear_; }
  QPushButton* ChooseOutputButton() const { return chooseOutput_; }
  QPushButton* RunButton() const { return run_; }
  QRadioButton* ByCapture() const { return byCapture_; }
  QRadioButton* ByCount() const { return byCount_; }
  QRadioButton* Beside() const { return beside_; }
  QSpinBox* GroupSize() const { return groupSize_; }
  QSpinBox* Exposure() const { return exposure_; }
  QCheckBox* Overwrite() const { return overwrite_; }
  QCheckBox* Align() const { return align_; }
  QCheckBox* RemoveGhosts() const { return removeGhosts_; }
  QSpinBox* GhostStrength() const { return ghostStrength_; }
  QTreeWidget* SeriesList() const { return list_; }
  QLabel* Notes() const { return notes_; }
  QLabel* Problem() const { return problem_; }

 private:
  QLayout* BuildPictureRow();
  QLayout* BuildGrouping();
  QLayout* BuildOutput();
  QLayout* BuildFusion();
  QLayout* BuildMoving();
  QLayout* BuildButtons();

  void AddFiles();
  void AddFolder();
  void ChooseOutput();
  void AddInputs(const std::vector<std::filesystem::path>& inputs);
  // The widgets' choices to the model, then the model's list and state to the widgets.
  void ChoicesChanged();
  void Refresh();

  BatchModel& model_;
  UserDialogs& dialogs_;
  QPushButton* addFiles_ = nullptr;
  QPushButton* addFolder_ = nullptr;
  QPushButton* clear_ = nullptr;
  QRadioButton* byCapture_ = nullptr;
  QDoubleSpinBox* gap_ = nullptr;
  QRadioButton* byCount_ = nullptr;
  QSpinBox* groupSize_ = nullptr;
  QLabel* notes_ = nullptr;
  QTreeWidget* list_ = nullptr;
  QLabel* problem_ = nullptr;
  QRadioButton* beside_ = nullptr;
  QRadioButton* intoFolder_ = nullptr;
  QLineEdit* outputFolder_ = nullptr;
  QPushButton* chooseOutput_ = nullptr;
  QSpinBox* exposure_ = nullptr;
  QCheckBox* overwrite_ = nullptr;
  QCheckBox* align_ = nullptr;
  QCheckBox* removeGhosts_ = nullptr;
  QSpinBox* ghostStrength_ = nullptr;
  QPushButton* run_ = nullptr;
  QPushButton* cancel_ = nullptr;
  bool refreshing_ = false;  // the widgets are being set from the model
};
