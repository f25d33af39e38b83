#include "app/QtUserDialogs.h"

#include <QFileDialog>
#include <QMessageBox>

#include "app/JpegQualityControl.h"
#include "app/OptionsDialog.h"

namespace {

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

std::filesystem::path ToPath(const QString& name) {
  return std::filesystem::path(name.toStdString());
}

// "*.bmp;*.jpg" as a Qt name filter showing that text and also matching the upper-case and
// long spellings cameras and other programs use (*.JPG, *.jpeg, *.tiff).
QString OpenFilter(const std::string& filter) {
  QStringList patterns;
  for (const QString& pattern : Q(filter).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
    QStringList spellings = {pattern};
    if (pattern == QLatin1String("*.jpg")) spellings << QStringLiteral("*.jpeg");
    if (pattern == QLatin1String("*.tif")) spellings << QStringLiteral("*.tiff");
    for (const QString& spelling : spellings)
      patterns << spelling << spelling.toUpper();
  }
  return Q(filter) + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}

QStringList RunOpenDialog(QWidget* parent, const std::string& title, const std::string& filter,
                          QFileDialog::FileMode mode) {
  QFileDialog dialog(parent, Q(title));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  dialog.setOption(QFileDialog::ReadOnly);
  dialog.setFileMode(mode);
  dialog.setNameFilter(OpenFilter(filter));
  if (dialog.exec() != QDialog::Accepted) return {};
  return dialog.selectedFiles();
}

}  // namespace

bool QtUserDialogs::AskYesNo(QWidget* parent, const std::string& caption, const std::string& text) {
  return QMessageBox::information(parent, Q(caption), Q(text), QMessageBox::Yes | QMessageBox::No,
                                  QMessageBox::No) == QMessageBox::Yes;
}

void QtUserDialogs::ShowMessage(QWidget* parent, const std::string& caption,
                                const std::string& text, MessageIcon icon) {
  QMessageBox box(parent);
  box.setWindowTitle(Q(caption));
  box.setText(Q(text));
  box.setIcon(icon == MessageIcon::kInformation ? QMessageBox::Information
              : icon == MessageIcon::kWarning   ? QMessageBox::Warning
                                                : QMessageBox::NoIcon);
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
}

std::optional<std::filesystem::path> QtUserDialogs::ChooseOpenFile(QWidget* parent,
                                                                   const std::string& title,
                                                                   const std::string& filter) {
  const QStringList files = RunOpenDialog(parent, title, filter, QFileDialog::ExistingFile);
  if (files.isEmpty()) return std::nullopt;
  return ToPath(files.first());
}

std::vector<std::filesystem::path> QtUserDialogs::ChooseOpenFiles(QWidget* parent,
                                                                  const std::string& title,
                                                                  const std::string& filter) {
  std::vector<std::filesystem::path> paths;
  for (const QString& file : RunOpenDialog(parent, title, filter, QFileDialog::ExistingFiles))
    paths.push_back(ToPath(file));
  return paths;
}

std::optional<std::filesystem::path> QtUserDialogs::ChooseFolder(QWidget* parent,
                                                                 const std::string& title) {
  QFileDialog dialog(parent, Q(title));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return ToPath(dialog.selectedFiles().first());
}

bool QtUserDialogs::ChooseSaveFile(QWidget* parent, const SaveDialogRequest& request,
                                   SaveDialogAnswer* answer) {
  QFileDialog dialog(parent);
  JpegQualityControl* quality = ConfigureSaveDialog(&dialog, request);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  answer->name = ToPath(dialog.selectedFiles().first());
  answer->filter = SelectedFilterPosition(dialog);
  answer->jpegQuality = quality->Quality();
  return true;
}

std::optional<int> QtUserDialogs::ChooseLanguage(QWidget* parent,
                                                 const std::vector<std::string>& names,
                                                 int current) {
  OptionsDialog dialog(names, current, parent);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.SelectedLanguage();
}
