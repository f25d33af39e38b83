// The desktop program's tests need one QApplication for the whole run, on the offscreen
// platform unless told otherwise, in the program's theme, and never the user's own settings.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

#include "skin/DarkTheme.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir home;
  qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toUtf8());
  qputenv("XDG_CACHE_HOME", (home.path() + QStringLiteral("/cache")).toUtf8());
  QApplication app(argc, argv);
  ApplyDarkTheme(app);  // the windows under test look as the program shows them
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
