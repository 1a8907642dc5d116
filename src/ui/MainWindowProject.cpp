// The main window's care for the user's work: the modified flag and the
// title that shows it, the question before work is thrown away, saving and
// loading projects with their pen strokes, the help window, and the window's
// size and place kept between runs.
#include <QCloseEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>

#include "project/ProjectFile.h"
#include "ui/HelpWindow.h"
#include "ui/MainWindow.h"
#include "ui/ProgramInfo.h"
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
      return SaveProjectAs();
    case UserPrompts::SaveAnswer::Discard:
      return true;
    case UserPrompts::SaveAnswer::Cancel:
      break;
  }
  return false;
}

bool MainWindow::SaveProjectAs() {
  QString path = session_.prompts.SaveFileName(this, QStringLiteral("Save Mosaic Project"),
                                               session_.projectPath, QString::fromLatin1(kProjectFilter),
                                               nullptr, QString::fromLatin1(kProjectSuffix));
  if (path.isEmpty()) return false;
  // Load lists only *.vm6: a name typed without an extension gets it, or
  // the saved project could not be found again.
  if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".vm6");
  return ShowIfFailed(session_, this, SaveProjectTo(path));
}

Status MainWindow::SaveProjectTo(const QString& path) {
  VELMORA_TRY(SaveProjectFile(engine_, ToBytes(path)));
  session_.projectPath = path;
  SetModified(false);
  return Status::Ok();
}

Status MainWindow::OpenProjectFrom(const QString& path) {
  VELMORA_TRY(LoadProjectFile(engine_, ToBytes(path)));
  CopyListToPickCell(session_);
  NotifyLibraryChanged(session_);
  penLog_.clear();
  const Status status = RunJob([&] { return engine_.ReopenProject(); });
  projectPresent_ = true;
  session_.projectPath = path;
  SetModified(false);
  AfterNewPicture();
  return status;
}

void MainWindow::ShowHelp() {
  if (!session_.windows.help) session_.windows.help = new HelpWindow(session_, this);
  session_.windows.help->ShowWindow();
}

void MainWindow::ShowHelpPdf() {
  const QString pdf = ToQString(session_.programFolder + "/help.pdf");
  if (!QFileInfo::exists(pdf)) {
    session_.prompts.Error(this, QStringLiteral("Help"),
                           pdf + QStringLiteral(": the help document is missing."));
    return;
  }
  if (!session_.prompts.OpenDocument(pdf))
    session_.prompts.Message(this, QStringLiteral("Help"),
                             QStringLiteral("No program on this desktop opens PDF documents.\n"
                                            "The same help is in the Help window (F1)."));
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
  } else {
    resize(kFirstWidth, kFirstHeight);
    CentreOnScreen(this);
  }
}

void MainWindow::SavePlacement() {
  QSettings settings;
  settings.setValue(QStringLiteral("MainWindow/geometry"), QRect(pos(), size()));
}

}  // namespace velmora::ui
