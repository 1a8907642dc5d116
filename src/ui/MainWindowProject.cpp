// The main window's care for the user's work: the modified flag and the
// title that shows it, the question before work is thrown away, saving and
// loading projects with their pen strokes, the help window, and the window's
// size and place kept between runs.
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>

#include "engine/PenLog.h"
#include "library/ProgramFolders.h"
#include "project/ProjectExtension.h"
#include "project/ProjectExtras.h"
#include "project/ProjectFile.h"
#include "project/ProjectPicture.h"
#include "project/ProjectSize.h"
#include "ui/HelpWindow.h"
#include "ui/MainWindow.h"
#include "ui/ProgramInfo.h"
#include "ui/RecentFolders.h"
#include "ui/WindowHooks.h"
#include "ui/WindowSupport.h"

namespace velmora::ui {
namespace {

constexpr const char* kProjectFilter = "*.vm6 (*.vm6)";
constexpr const char* kProjectSuffix = "vm6";
constexpr int kFirstWidth = 685, kFirstHeight = 463;

}  // namespace

void MainWindow::SetModified(bool modified) {
  session_.modified = modified;
  UpdateTitle();
}

void MainWindow::UpdateTitle() {
  // A picture opened in place of the mosaic is named as it is; the project
  // behind it keeps its own mark until it is shown again.
  if (!session_.picturePath.isEmpty()) {
    setWindowTitle(QFileInfo(session_.picturePath).fileName() + QStringLiteral(" - ") +
                   ToQString(kWindowCaption));
    return;
  }
  const QString name = session_.projectPath.isEmpty() ? QStringLiteral("Untitled")
                                                      : QFileInfo(session_.projectPath).fileName();
  setWindowTitle(name + (session_.modified ? QStringLiteral("*") : QString()) + QStringLiteral(" - ") +
                 ToQString(kWindowCaption));
}

bool MainWindow::MayDiscardWork() {
  if (!session_.modified) return true;
  switch (session_.prompts.AskToSave(this, ToQString(kProductName),
                                     QStringLiteral("Save changes to the mosaic project?"))) {
    case UserPrompts::SaveAnswer::Save:
      return SaveProjectInPlace();
    case UserPrompts::SaveAnswer::Discard:
      return true;
    case UserPrompts::SaveAnswer::Cancel:
      break;
  }
  return false;
}

bool MainWindow::SaveProjectAs() {
  // In the folder projects were last saved or loaded in, under the
  // project's own name when it has one.
  const QString place =
      RecentPlace(FileKind::Project,
                  session_.projectPath.isEmpty() ? QString() : QFileInfo(session_.projectPath).fileName());
  QString path = session_.prompts.SaveFileName(this, QStringLiteral("Save Mosaic Project"), place,
                                               QString::fromLatin1(kProjectFilter), nullptr,
                                               QString::fromLatin1(kProjectSuffix));
  if (path.isEmpty()) return false;
  // Load lists only *.vm6: a name typed without an extension gets it, or
  // the saved project could not be found again.
  if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".vm6");
  RememberFolder(FileKind::Project, path);
  return ShowIfFailed(session_, this, SaveProjectTo(path));
}

bool MainWindow::SaveProjectInPlace() {
  if (session_.projectPath.isEmpty()) return SaveProjectAs();
  return ShowIfFailed(session_, this, SaveProjectTo(session_.projectPath));
}

void MainWindow::SaveProjectUnderNewName() {
  if (session_.jobRunning || !(engine_.MosaicState == 2 || projectPresent_)) return;
  SaveProjectAs();
}

Status MainWindow::SaveProjectTo(const QString& path) {
  // The pen paints pixels only; its strokes ride along, to be painted again
  // when the project is loaded.
  VELMORA_TRY(SaveProjectFile(engine_, ToBytes(path), ProjectExtrasBlocks(engine_.Matching, penLog_, engine_.Blocks, engine_.Masks, engine_.CropMode)));
  session_.projectPath = path;
  SetModified(false);
  return Status::Ok();
}

Status MainWindow::OpenProjectFrom(const QString& path) {
  const std::string file = ToBytes(path);
  // The view holds the whole mosaic: a poster past that is refused before
  // the open project is replaced, with the command that renders it.
  VELMORA_TRY(CheckProjectCanBeShown(file));
  ProjectExtras extras;
  std::vector<std::string> listBefore = engine_.PicList.Paths();
  bool loaded = false;
  // The load is part of the job, so a cancel puts back the tables it read;
  // so is painting the strokes again, which may take minutes.
  const auto open = [&] {
    ExtensionArea extensions;
    VELMORA_TRY(LoadProjectFile(engine_, file, &extensions));
    loaded = true;
    extras = ReadProjectExtras(extensions, file, &engine_.Project);
    engine_.Matching = extras.Matching;
    engine_.Blocks = std::move(extras.Blocks);
    engine_.Masks = std::move(extras.Masks);
    engine_.CropMode = extras.CropMode;
    // A damaged log leaves the mosaic as rendered, without the strokes.
    return ReopenProjectPicture(engine_, extras.Strokes, file, extras.Warnings);
  };
  Status status = RunJob(open, file);
  if (!loaded) return status;
  if (jobCancelled_) {
    // The snapshot of a job leaves the library list alone; the load had
    // replaced it.
    engine_.PicList.Assign(std::move(listBefore));
    CopyListToPickCell(session_);
    NotifyLibraryChanged(session_);
  } else {
    // The windows showing the library read the list the load gave, now that
    // the job's thread has ended.
    CopyListToPickCell(session_);
    NotifyLibraryChanged(session_);
    penLog_ = std::move(extras.Strokes);
    projectPresent_ = true;
    session_.projectPath = path;
    SetModified(false);
  }
  AfterNewPicture();
  if (status.ok() && !jobCancelled_ && !extras.Warnings.empty())
    session_.prompts.Message(this, QStringLiteral("Caution"), ToQString(WarningText(extras.Warnings)));
  return status;
}

void MainWindow::ShowHelp() {
  if (!session_.windows.help) session_.windows.help = new HelpWindow(session_, this);
  session_.windows.help->ShowWindow();
}

void MainWindow::ShowHelpPdf() {
  const QString pdf = ToQString(LocateProgramFolders(session_.programFolder).data + "/help.pdf");
  if (!QFileInfo::exists(pdf)) {
    session_.prompts.Error(this, QStringLiteral("Help"),
                           pdf + QStringLiteral(": the help document is missing."));
    return;
  }
  if (!session_.prompts.OpenDocument(pdf))
    session_.prompts.Message(this, QStringLiteral("Help"),
                             QStringLiteral("No program on this desktop opens PDF documents.\n"
                                            "The manual is at %1.\n"
                                            "The same help is in the Help window (F1).")
                                 .arg(QDir::toNativeSeparators(pdf)));
}

void MainWindow::RestorePlacement() {
  QSettings settings;
  const QRect saved = settings.value(QStringLiteral("MainWindow/geometry")).toRect();
  const QScreen* screen = QGuiApplication::primaryScreen();
  const QRect desk = screen ? screen->availableGeometry() : QRect();
  // A place on no screen (the desktop became smaller) is not restored.
  if (saved.isValid() && (desk.isNull() || desk.intersects(saved))) {
    resize(std::max(saved.width(), kFirstWidth), std::max(saved.height(), kFirstHeight));
    move(saved.topLeft());
  } else if (!desk.isNull()) {
    // The first start: most of the screen, in its middle.
    const TRect first = FirstWindowRect(TRect{desk.left(), desk.top(), desk.right() + 1, desk.bottom() + 1},
                                        kFirstWidth, kFirstHeight);
    resize(first.Width(), first.Height());
    move(first.Left, first.Top);
  } else {
    resize(kFirstWidth, kFirstHeight);
  }
}

void MainWindow::SavePlacement() {
  QSettings settings;
  settings.setValue(QStringLiteral("MainWindow/geometry"), QRect(pos(), size()));
}

}  // namespace velmora::ui
