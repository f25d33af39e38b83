// melvaro: the desktop program.
#include <QApplication>
#include <QIcon>

#include "app/MainWindow.h"
#include "app/QtUserDialogs.h"
#include "settings/TextTable.h"
#ifdef MELVARO_HAVE_SKIN
#include "skin/DarkTheme.h"
#endif

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Melvaro"));
  QApplication::setApplicationVersion(QStringLiteral(MELVARO_VERSION));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/melvaro.png")));
  LoadTextTable();
#ifdef MELVARO_HAVE_SKIN
  ApplyDarkTheme(app);
#endif
  QtUserDialogs dialogs;
  MainWindow window(&dialogs);
  window.show();
  return QApplication::exec();
}
