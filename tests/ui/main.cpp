// The GUI tests' entry point: one application object for all tests, on the
// offscreen platform unless a display is asked for.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QStandardPaths>

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // The tests keep their settings and the summary cache away from the user's.
  QStandardPaths::setTestModeEnabled(true);
  const QString cache = QDir::temp().filePath(QStringLiteral("velmora-ui-tests-cache"));
  qputenv("XDG_CACHE_HOME", cache.toUtf8());
  QApplication app(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("velmora-tests"));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
