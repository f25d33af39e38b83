// melvaro: the desktop program.
#include <QApplication>
#include <QIcon>

#include "app/MainWindow.h"
#include "app/QtUserDialogs.h"
#include "settings/TextTable.h"
#include "skin/DarkTheme.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Melvaro"));
  QApplication::setApplicationVersion(QStringLiteral(MELVARO_VERSION));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/melvaro.png")));
  // English until the main window has read which language is chosen.
  LoadTextTable(LanguageFilePath(), 0);
  ApplyDarkTheme(app);
  QtUserDialogs dialogs;
  MainWindow window(&dialogs);
  window.show();
  // Pictures named on the command line (as a file manager passes them) open like Open, or
  // as a series when there are several.
  std::vector<std::filesystem::path> files;
  const QStringList arguments = QApplication::arguments();
  for (qsizetype i = 1; i < arguments.size(); ++i)
    files.emplace_back(arguments[i].toStdString());
  window.OpenFromCommandLine(files);
  return QApplication::exec();
}
