// velmora-screenshots: the desktop program in the states its help text
// describes (a mosaic fitted to the window, the same at 400 %, the
// match-quality map, the library check, the wizard's settings advice, the
// Options window, the Edit menu after an edit, a cancelled job), each saved
// as a picture of the whole screen (the wizard and the Options window each
// alone). Run under a virtual X server:
//   xvfb-run -s "-screen 0 1024x768x24" velmora-screenshots OUT_FOLDER
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "imaging/PictureOps.h"
#include "ui/LibraryCheckWindow.h"
#include "ui/MosaicView.h"
#include "ui/NewProjectWizard.h"
#include "ui/OptionsDialog.h"
#include "ui/Program.h"
#include "ui/Session.h"

using namespace velmora;

namespace {

void Settle() {
  for (int i = 0; i < 10; ++i) {
    QApplication::processEvents();
    QTest::qWait(30);
  }
}

void Shoot(const QString& folder, const char* name) {
  Settle();
  QGuiApplication::primaryScreen()->grabWindow(0).save(folder + '/' + name + ".png");
}

// Only `window`, with its frame.
void ShootWindow(const QString& folder, const char* name, const QWidget* window) {
  Settle();
  const QRect r = window->frameGeometry();
  const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0, r.x(), r.y(), r.width(), r.height());
  shot.save(folder + '/' + name + ".png");
}

void SetUpProject(Engine& engine, int cells, int cellSize) {
  tmosaicproject& p = engine.Project;
  p.CellsAcross = cells;
  p.CellsDown = cells * 3 / 4;
  p.CellWidth = cellSize;
  p.CellHeight = cellSize;
  CopyOptions(engine.OptionSet, p);
  ComputeDerivedSizes(p);
  p.MainImageFile = engine.PicList[0];
  (void)LoadPictureFile(engine.MainBitmap, p.MainImageFile);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
  QDir().mkpath(out);
  ui::UserPrompts prompts;
  ui::Program program(ui::ExecutableFolder(), prompts);
  ui::MainWindow& main = program.mainWindow();
  main.resize(900, 640);
  main.move(20, 20);
  main.show();
  Settle();
  Engine& engine = program.engine();
  engine.Rng.SetSeed(7);

  SetUpProject(engine, 64, 32);
  main.CreateMosaic(false);
  main.ZoomFit();
  Shoot(out, "fit");
  main.View()->SetScale(4);
  Shoot(out, "zoom-400");

  // The match-quality map over the mosaic, then the library check of the
  // same main picture and library.
  main.ZoomFit();
  QAction* map = main.findChild<QAction*>("QualityMap1");
  map->trigger();
  Shoot(out, "quality-map");
  map->trigger();
  main.ShowLibraryCheck();
  if (QWidget* check = program.session().windows.libraryCheck) {
    check->resize(760, 560);
    check->move(120, 60);
    Shoot(out, "library-check");
    check->close();
  }

  // The wizard's "Mosaic Size" page with its advice on this main picture.
  if (ui::NewProjectWizard* wizard = program.session().windows.wizard) {
    wizard->ShowFirstPage();
    wizard->show();
    wizard->LoadMainImageFrom(QString::fromStdString(engine.PicList[0]));
    wizard->ComputeDerivedSizes();
    wizard->findChild<QTabWidget*>()->setCurrentIndex(1);
    wizard->move(60, 30);
    ShootWindow(out, "wizard-advice", wizard);
    wizard->close();
  }

  // The Options window with the repeat cap kept by the solver; the boxes
  // are put back after, as they are remembered in the user's settings.
  if (QWidget* options = program.session().windows.options) {
    auto* limit = options->findChild<QCheckBox*>("cbrptlimit");
    auto* solver = options->findChild<QCheckBox*>("cbusecap");
    const bool limited = limit->isChecked();
    const bool solved = solver->isChecked();
    if (!limited) limit->click();
    solver->setChecked(true);
    options->move(60, 30);
    options->show();
    ShootWindow(out, "options-solver", options);
    options->hide();
    if (!limited) limit->click();
    solver->setChecked(solved);
  }

  // An Edit I change, then the Edit menu naming it.
  SetUpProject(engine, 64, 32);
  main.CreateMosaic(false);
  main.ZoomFit();
  main.findChild<QToolButton*>("sbhand2")->click();
  const QPoint cell(main.View()->width() / 2, main.View()->height() / 2);
  QTest::mousePress(main.View(), Qt::LeftButton, Qt::NoModifier, cell);
  QTest::mouseRelease(main.View(), Qt::LeftButton, Qt::NoModifier, cell);
  QMenu* edit = main.findChild<QMenu*>("Edit1");
  QTimer::singleShot(300, [&] {
    Shoot(out, "edit-menu");
    edit->close();
  });
  edit->exec(main.mapToGlobal(QPoint(60, main.menuBar()->height())));

  // A larger mosaic, cancelled half way through its render.
  QTimer poll;
  poll.setInterval(0);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* label = main.findChild<QLabel*>("LBJOB");
    if (label->text().endsWith("Picture") && main.findChild<QProgressBar*>("gauge")->value() >= 50) {
      poll.stop();
      main.findChild<QPushButton*>("btcancel")->click();
    }
  });
  SetUpProject(engine, 200, 32);
  poll.start();
  main.CreateMosaic(false);
  Shoot(out, "cancelled");
  return 0;
}
