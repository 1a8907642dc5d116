// The main window `TForm1`: toolbar and menus with every command, the job
// label and gauge, the scrollable view of the mosaic and the cell editing
// modes acting on it. It owns the view state (edit mode, mouse tracking);
// the mosaic itself lives in the engine.
#pragma once

#include <QButtonGroup>
#include <QComboBox>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "engine/PenLog.h"
#include "engine/EngineSnapshot.h"
#include "view/ViewGeometry.h"
#include "ui/GuiJobListener.h"
#include "ui/MosaicView.h"
#include "ui/Session.h"

namespace velmora::ui {

class MatchQuality;

// EditMode codes; 1 stands until the first UpdateEditMode at start-up.
enum EditModeCode : int { kModeStartup = 1, kModeEdit1 = 2, kModeEdit2 = 3, kModePen = 4, kModeInfo = 10 };

class MainWindow : public QMainWindow {
  Q_OBJECT
public:
  explicit MainWindow(Session& session);
  ~MainWindow() override;

  // Copies the visible rectangle of the mosaic into the view, updates the
  // status line and the overview.
  void RepaintView();
  // One place that decides which commands are enabled.
  void UpdateActions();
  void UpdateEditMode();
  int EditMode() const { return editMode_; }

  // The wizard's two create commands, after it has collected its settings
  // and closed itself.
  void CreateMosaic(bool penMode);
  // Runs an engine job with the commands that start jobs disabled meanwhile.
  // A job that runs out of memory is undone as a cancelled one is, and
  // fails with a message naming `subject` (the file it worked on) if given.
  // The job runs on a thread of its own while the window's events go on.
  // A job that is not `undoable` changes nothing a cancel would put back
  // (it measures, it writes files): no snapshot is taken for it.
  Status RunJob(const std::function<Status()>& job, const std::string& subject = {}, bool undoable = true);

  // Commands with their dialogs (also reachable through the actions).
  void NewProject();
  void OpenPicture();
  void LoadProject();
  // Save: the open picture when "Open Picture" shows one (as Save Picture),
  // else the project into its file, asking for a name only when it has none.
  void SaveProject();
  // "Save Project As…": the project under a name asked for.
  void SaveProjectUnderNewName();
  void SavePicture();
  void ShowOptions();
  void ShowHelp();
  void ShowAbout();
  void ShowOverview();
  void ShowStats();
  void ShowBeadChart();
  void ShowLibraryCheck();
  void ShowPrint();
  void ShowLibrary();
  // "Export Web Mosaic...": the mosaic shown as a zoomable web page (MainWindowWeb.cpp).
  void ExportWeb();

  // Without dialogs, for the commands above and for tests.
  Status OpenProjectFrom(const QString& path);
  Status SaveProjectTo(const QString& path);

  // The project has changes that were not saved, or has none: the title
  // shows the project's name and a "*" while it has.
  void SetModified(bool modified);
  // Before work would be thrown away: asks whether to save a modified
  // project first. False when the user cancelled or the save failed.
  bool MayDiscardWork();
  // The help text in its own window; "help.pdf" through the desktop.
  void ShowHelpPdf();
  // The pen strokes painted since the mosaic was made or loaded, and the
  // cells drawn again over them, kept with the project.
  const PenLog& PenStrokes() const { return penLog_; }
  // Undo and redo of the hand edits (MainWindowEditMenu.cpp).
  void Undo();
  void Redo();
  // Runs a hand edit as one undoable step named `name`: the cells whose map
  // entries and the mosaic rectangles whose pixels it may change are kept
  // before and after, and the edit goes into the pen log the project keeps
  // (EditHistory::Record): the cells are those the edit draws again, and
  // `painted` where a pen stroke leaves what it painted.
  Status RecordEdit(const std::string& name, const std::vector<CellPos>& cells,
                    const std::vector<TRect>& rects, const std::function<Status()>& edit,
                    const PenStrokeEntry* painted = nullptr);
  // Stops the running job at its next progress report.
  void CancelJob();
  void ZoomIn();
  void ZoomOut();
  void ZoomFit();
  void ZoomActual();

  MosaicView* View() const { return view_; }
  // The job label's and gauge's listener (the engine's while the window lives).
  GuiJobListener& Jobs() const { return *listener_; }
  // The match-quality figures, map and re-pick (MatchQuality.h).
  MatchQuality* Quality() const { return quality_; }
  QWidget* WorkArea() const { return workpanel_; }

protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

private:
  void BuildToolbar(QWidget* panel);
  void BuildMenus();
  QAction* MakeAction(const char* objectName, const QString& text, void (MainWindow::*slot)());
  QToolButton* MakeButton(QWidget* parent, const char* objectName, const QString& caption, const QString& tip,
                          const QString& glyph);
  void Startup();
  void AfterNewPicture();
  void UpdateTitle();
  // The main window's size and place from the last run, at least the first size.
  void RestorePlacement();
  void SavePlacement();
  // Asks for a project file name (".vm6" added when typed without one)
  // and saves; false when cancelled or failed.
  bool SaveProjectAs();
  // Saves into the project's own file, or asks for one when it has none.
  bool SaveProjectInPlace();

  // The view's mouse, by editing mode.
  void ViewPressed(Qt::MouseButton button, QPoint pos);
  void ViewReleased(Qt::MouseButton button, QPoint pos);
  // The pen's rectangle outlined while it is dragged.
  void ViewDragged(QPoint pos);
  // The picture rectangle a pen drag from the press to `pos` covers.
  std::optional<TRect> PenDragRect(QPoint pos) const;
  void InfoRelease(QPoint pos);
  void Edit1Release(QPoint pos);
  void Edit2Release(QPoint pos);
  void PenRelease(QPoint pos);
  // A right click without a drag: the cell's menu (Split block, Merge into
  // block), and the edit each makes as one undoable step.
  void ShowCellMenu(QPoint pos);
  void EditBlock(bool merge);
  bool CellEditingAllowed() const;
  // The picture position under a view position, at the view's scale.
  ViewPoint PicturePos(QPoint pos) const { return view_->ToPicture(pos); }

  void BuildEditMenus();
  void ApplyKeyboard();
  QWidget* BuildZoomField(QWidget* parent);
  QPushButton* BuildCancelButton(QWidget* parent);
  void ShowScale(double scale);
  // A scale typed or chosen in the zoom field.
  void ApplyZoomText(const QString& text);
  void UpdateEditActions();
  void UndoOrRedo(bool redo);

  Session& session_;
  Engine& engine_;
  QLabel* jobLabel_ = nullptr;  // LBJOB
  QProgressBar* gauge_ = nullptr;
  QLabel* statusLabel_ = nullptr;  // Label1
  QWidget* workpanel_ = nullptr;
  MosaicView* view_ = nullptr;
  QButtonGroup* modeGroup_ = nullptr;
  std::map<QString, QToolButton*> buttons_;
  std::unique_ptr<GuiJobListener> listener_;
  QComboBox* zoomField_ = nullptr;
  QString shownZoomText_ = QStringLiteral("100%");  // what ShowScale last put in the field
  QPushButton* cancelButton_ = nullptr;
  MatchQuality* quality_ = nullptr;
  // The project record and main picture of the mosaic shown, put back when a
  // job that replaces them is cancelled.
  tmosaicproject shownProject_;
  TBitmap32 shownMain_;
  TileMasking shownMasks_;
  CropBy shownCrop_ = CropBy::Centre;
  bool shownValid_ = false;
  bool jobCancelled_ = false;  // the last job was cancelled and undone
  bool closeAfterJob_ = false;  // the window was closed while a job ran

  int editMode_ = kModeStartup;
  ViewPoint pressPoint_;
  QMenu* cellMenu_ = nullptr;  // cellmenu
  CellPos menuCell_;
  ViewPoint pressPos_;
  bool leftButtonDown_ = false;
  bool closing_ = false;  // MainWindowClosing
  bool started_ = false;
  bool projectPresent_ = false;  // made or loaded: Save has something to write
  // Undo and redo keep it in step with the picture (EditHistory).
  PenLog penLog_;
  QString lastPictureFilter_;
  // A job was running at the last UpdateActions: the next one after it ends
  // puts the job label back to idle.
  bool jobWasRunning_ = false;
};

}  // namespace velmora::ui
