// velmora: the desktop program.
#include <QApplication>
#include <QIcon>

#include "ui/MainWindowDrop.h"
#include "ui/Program.h"
#include "ui/ProgramInfo.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("velmora"));
  QApplication::setApplicationName(QStringLiteral("velmora"));
  // No application display name: the platform would append it to every
  // window's caption.
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/glyphs/velmora.svg")));
  velmora::ui::UserPrompts prompts;
  velmora::ui::Program program(velmora::ui::ExecutableFolder(), prompts);
  program.mainWindow().show();
  // What the file manager hands over: projects, pictures or folders.
  const QStringList arguments = QApplication::arguments().mid(1);
  for (const QString& path : arguments)
    if (!velmora::ui::ShowIfFailed(program.session(), &program.mainWindow(),
                                   velmora::ui::OpenHandedOver(program.session(), program.mainWindow(), path)))
      break;
  return app.exec();
}
