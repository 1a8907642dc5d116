// What the windows share: the one engine, the program's folder, whether a
// long job is running, the windows themselves (created once at start-up,
// never destroyed before exit) and the services through which windows ask
// the user something (file dialogs, message boxes), which a test replaces.
#pragma once

#include <QString>
#include <QStringList>
#include <string>

#include "engine/EditHistory.h"
#include "engine/Engine.h"

class QPrinter;
class QWidget;

namespace velmora::ui {

class MainWindow;
class NewProjectWizard;
class PatternPreviewWindow;
class LibraryManagerWindow;
class FileLoaderWindow;
class OverviewWindow;
class PrintWindow;
class UsageStatsWindow;
class AboutBox;
class CellInfoWindow;
class PickCellDialog;
class OptionsDialog;
class HelpWindow;
class LibraryCheckWindow;

// The dialogs and message boxes a window shows. The program uses the
// desktop's dialogs; a test answers them itself.
class UserPrompts {
public:
  virtual ~UserPrompts() = default;
  // An empty string when the user cancels. `selectedFilter` (when given)
  // holds the filter chosen on entry and receives the one chosen on exit.
  virtual QString OpenFileName(QWidget* parent, const QString& caption, const QString& folder,
                               const QString& filter, QString* selectedFilter = nullptr);
  // The picture-open dialog, with a preview of the chosen picture.
  virtual QString OpenPictureName(QWidget* parent, const QString& caption, const QString& folder,
                                  const QString& filter);
  virtual QString SaveFileName(QWidget* parent, const QString& caption, const QString& folder,
                               const QString& filter, QString* selectedFilter = nullptr,
                               const QString& defaultSuffix = QString());
  // Returns the 0x00BBGGRR colour chosen, or -1 on cancel.
  virtual int64_t ChooseColor(QWidget* parent, int32_t initialBgr);
  // A message box with an OK button.
  virtual void Message(QWidget* parent, const QString& caption, const QString& text);
  // A message box with the error icon and an OK button.
  virtual void Error(QWidget* parent, const QString& caption, const QString& text);
  // An error said in words, with the technical reason behind a "Details"
  // button of the box.
  virtual void ErrorWithDetails(QWidget* parent, const QString& caption, const QString& text,
                                const QString& details);
  // OK/Cancel; true for OK.
  virtual bool Confirm(QWidget* parent, const QString& caption, const QString& text);
  // A number within [min, max] with `decimals` places, starting at `value`;
  // *ok is false when the user cancels.
  virtual double AskNumber(QWidget* parent, const QString& caption, const QString& label, double value,
                           double min, double max, int decimals, bool* ok);
  // Save / Discard / Cancel, asked before work would be thrown away.
  enum class SaveAnswer { Save, Discard, Cancel };
  virtual SaveAnswer AskToSave(QWidget* parent, const QString& caption, const QString& text);
  // Asks the desktop to open a document with its "open" action; false when
  // nothing on the desktop opens it.
  virtual bool OpenDocument(const QString& path);
  // The print dialog (printer or PDF file, pages); true when confirmed.
  virtual bool PrintDialog(QWidget* parent, QPrinter& printer);
  // The printer's page setup (paper, orientation, margins); true when confirmed.
  virtual bool PageSetupDialog(QWidget* parent, QPrinter& printer);
};

struct Windows {
  MainWindow* main = nullptr;               // TForm1
  NewProjectWizard* wizard = nullptr;       // TForm2
  PatternPreviewWindow* pattern = nullptr;  // TForm3
  LibraryManagerWindow* library = nullptr;  // TForm4
  FileLoaderWindow* loader = nullptr;       // TForm5
  OverviewWindow* overview = nullptr;       // TForm6
  PrintWindow* print = nullptr;             // TForm7
  UsageStatsWindow* stats = nullptr;        // TForm8
  AboutBox* about = nullptr;                // Taboutform
  CellInfoWindow* cellInfo = nullptr;       // TForm9
  PickCellDialog* pickCell = nullptr;       // TFormPickCell
  OptionsDialog* options = nullptr;         // Tformopt
  HelpWindow* help = nullptr;
  LibraryCheckWindow* libraryCheck = nullptr;
};

struct Session {
  Session(Engine& e, std::string folder, UserPrompts& p)
      : engine(e), programFolder(std::move(folder)), prompts(p) {}
  Engine& engine;
  std::string programFolder;  // the executable's folder
  UserPrompts& prompts;
  Windows windows;
  // A long engine job is running: commands that would start or change a job
  // are disabled until it ends (the job lets events run, so they could be
  // clicked, and a second job inside the first would corrupt the tables).
  bool jobRunning = false;
  // The mosaic project has changes that were not saved (create, cell edits,
  // pen strokes); the main window's SetModified keeps its title in step.
  bool modified = false;
  // The project file last saved or loaded; empty for a project never saved.
  QString projectPath;
  // The picture "Open Picture" shows in place of the mosaic; empty while the
  // mosaic (or nothing) is shown.
  QString picturePath;
  // The hand edits that can be undone and redone; cleared by a new mosaic,
  // an opened picture or a loaded project.
  EditHistory history;

  // How the windows read pictures: upright by their orientation tag unless
  // the options turned that off, as the engine reads them.
  DecodeHints PictureHints() const {
    DecodeHints hints;
    hints.applyOrientation = engine.UprightPictures();
    hints.readByContent = true;
    return hints;
  }
};

QString ToQString(const std::string& bytes);
std::string ToBytes(const QString& text);
// A failed Status as an error box titled "Error"; true when it was ok. A
// file that is not a project is said in words, the reason under "Details".
bool ShowIfFailed(Session& session, QWidget* parent, const Status& status);

}  // namespace velmora::ui
