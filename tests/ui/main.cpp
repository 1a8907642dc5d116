// The GUI tests' entry point: one application object for all tests, on the
// offscreen platform unless a display is asked for.
#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Each test process keeps its settings and the summary cache in a folder of
  // its own, away from the user's and from the tests running beside it.
  QTemporaryDir home;
  qputenv("XDG_CACHE_HOME", home.filePath(QStringLiteral("cache")).toUtf8());
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home.filePath(QStringLiteral("config")));
  QApplication app(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("velmora-tests"));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
