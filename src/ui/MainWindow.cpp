// The main window's frame: layout, toolbar, menus, start-up, the view and the
// commands. The editing modes are in MainWindowEditing.cpp.
#include "ui/MainWindow.h"
#include "ui/MatchQuality.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QTimer>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QMenuBar>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>
#include <new>
#include <system_error>
#include <thread>

#include "engine/PhotoShapes.h"
#include "imaging/PictureOps.h"
#include "library/ImageListFile.h"
#include "library/ProgramFolders.h"
#include "output/SavePicture.h"
#include "project/ProjectFile.h"
#include "project/ProjectSize.h"
#include "ui/AboutBox.h"
#include "ui/BeadChartWindow.h"
#include "ui/CellInfoWindow.h"
#include "ui/LibraryCheckWindow.h"
#include "ui/NewProjectWizard.h"
#include "ui/OptionsDialog.h"
#include "ui/PicturePreviewDialog.h"
#include "ui/ProgramInfo.h"
#include "ui/RecentFolders.h"
#include "ui/WindowHooks.h"
#include "ui/WindowSupport.h"

namespace velmora::ui {
namespace {

constexpr const char* kPictureSaveFilter =
    "Bitmaps (*.bmp);;JPEG Image File (*.jpg);;PNG Image File (*.png);;TIFF Image File (*.tif)";
constexpr const char* kProjectFilter = "*.vm6 (*.vm6)";
// The type Save Picture proposes until another is chosen.
constexpr const char* kJpegFilter = "JPEG Image File (*.jpg)";
// The job label with no job running.
constexpr const char* kIdleJobText = "Current Job : None";

}  // namespace

MainWindow::MainWindow(Session& session) : session_(session), engine_(session.engine) {
  setObjectName(QStringLiteral("TForm1"));
  session_.windows.main = this;
  // Created first of all windows: the random choices of the assignment and
  // the pen draw from a generator seeded here, once per run.
  engine_.Rng.Randomize();
  UpdateTitle();

  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  auto* toolbar = new QWidget(central);
  toolbar->setObjectName(QStringLiteral("toolpanel"));
  toolbar->setFixedHeight(67);
  BuildToolbar(toolbar);
  column->addWidget(toolbar);

  workpanel_ = new QWidget(central);
  workpanel_->setObjectName(QStringLiteral("workpanel"));
  workpanel_->setAutoFillBackground(true);
  QPalette pal = workpanel_->palette();
  pal.setColor(QPalette::Window, pal.color(QPalette::Dark));
  workpanel_->setPalette(pal);
  auto* workLayout = new QGridLayout(workpanel_);
  workLayout->setContentsMargins(0, 0, 0, 0);
  workLayout->setSpacing(0);
  view_ = new MosaicView(engine_, workpanel_);
  workLayout->addWidget(view_, 0, 0);
  auto* hbar = new QScrollBar(Qt::Horizontal, workpanel_);
  hbar->setObjectName(QStringLiteral("hscroll"));
  auto* vbar = new QScrollBar(Qt::Vertical, workpanel_);
  vbar->setObjectName(QStringLiteral("vscroll"));
  workLayout->addWidget(vbar, 0, 1);
  workLayout->addWidget(hbar, 1, 0);
  view_->AttachScrollBars(hbar, vbar);
  column->addWidget(workpanel_, 1);

  auto* status = new QWidget(central);
  status->setObjectName(QStringLiteral("statuspanel"));
  status->setFixedHeight(26);
  auto* statusRow = new QHBoxLayout(status);
  statusRow->setContentsMargins(6, 0, 6, 0);
  statusLabel_ = new QLabel(QString::fromLatin1(kInitialStatusText), status);
  statusLabel_->setObjectName(QStringLiteral("Label1"));
  statusRow->addWidget(statusLabel_, 1);
  statusRow->addWidget(BuildZoomField(status));
  column->addWidget(status);
  setCentralWidget(central);

  BuildMenus();
  BuildEditMenus();
  quality_ = new MatchQuality(session_, *this);
  quality_->AddMenuItems(findChild<QMenu*>(QStringLiteral("View1")), findChild<QMenu*>(QStringLiteral("Edit1")));
  statusRow->insertWidget(1, quality_->MakeStatusLabel(status));
  connect(view_, &MosaicView::pressed, this, &MainWindow::ViewPressed);
  connect(view_, &MosaicView::released, this, &MainWindow::ViewReleased);
  connect(view_, &MosaicView::dragged, this, &MainWindow::ViewDragged);
  connect(view_, &MosaicView::viewMoved, this, &MainWindow::RepaintView);
  connect(view_, &MosaicView::scaleChanged, this, &MainWindow::ShowScale);

  listener_ = std::make_unique<GuiJobListener>(jobLabel_, gauge_);
  // While a job runs on its own thread, the view's copy of what it shows is
  // taken only while that thread waits at one of its reports.
  listener_->SetPauseHook([this] {
    view_->TakeLiveCopy();
    view_->update();
  });
  engine_.SetListener(listener_.get());

  RestorePlacement();
}

MainWindow::~MainWindow() { engine_.SetListener(nullptr); }

QToolButton* MainWindow::MakeButton(QWidget* parent, const char* objectName, const QString& caption,
                                    const QString& tip, const QString& glyph) {
  auto* b = new QToolButton(parent);
  b->setObjectName(QString::fromLatin1(objectName));
  b->setText(caption);
  b->setToolTip(tip);
  b->setIcon(QIcon(QStringLiteral(":/glyphs/") + glyph + QStringLiteral(".svg")));
  b->setIconSize(QSize(22, 22));
  b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  b->setAutoRaise(true);
  b->setMinimumWidth(40);
  // Captions in a smaller type, so the whole row fits the window's first width.
  QFont font = b->font();
  font.setPointSizeF(font.pointSizeF() * 0.85);
  b->setFont(font);
  b->setStyleSheet(QStringLiteral("QToolButton { padding: 1px 2px; }"));
  buttons_[b->objectName()] = b;
  return b;
}

void MainWindow::BuildToolbar(QWidget* panel) {
  auto* rows = new QVBoxLayout(panel);
  rows->setContentsMargins(2, 1, 2, 0);
  rows->setSpacing(0);
  auto* buttons = new QHBoxLayout();
  buttons->setSpacing(1);
  auto separator = [&] {
    auto* line = new QFrame(panel);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    buttons->addWidget(line);
  };
  auto add = [&](const char* name, const char* caption, const char* tip, const char* glyph,
                 void (MainWindow::*slot)()) {
    QToolButton* b = MakeButton(panel, name, QString::fromLatin1(caption), QString::fromLatin1(tip),
                                QString::fromLatin1(glyph));
    if (slot) connect(b, &QToolButton::clicked, this, slot);
    buttons->addWidget(b);
    return b;
  };
  add("sbnew", "New", "Create New Mosaic Project", "new", &MainWindow::NewProject);
  add("sbopprj", "Load", "Load Mosaic Project File", "load", &MainWindow::LoadProject);
  add("sbsvprj", "Save", "Save Mosaic Project File", "save", &MainWindow::SaveProject);
  add("sbsvpic", "Save Picture", "Save as BMP or JPG files", "savepicture", &MainWindow::SavePicture);
  add("sbprint", "Print", "Print Mosaic Picture", "print", &MainWindow::ShowPrint);
  separator();
  modeGroup_ = new QButtonGroup(this);
  modeGroup_->setExclusive(true);
  const struct {
    const char* name;
    const char* caption;
    const char* tip;
    const char* glyph;
    int code;
  } modes[] = {{"sbhandinfo", "Info", "Get Cell Info", "info", kModeInfo},
               {"sbhand2", "Edit I", "Pick a Cell, auto change the picture", "edit1", kModeEdit1},
               {"sbhand3", "Edit II", "Pick a cell, manual change the cell", "edit2", kModeEdit2},
               {"sbhand4", "Free Cell Pen", "draw a cell image anywhere", "pen", kModePen}};
  for (const auto& m : modes) {
    QToolButton* b = add(m.name, m.caption, m.tip, m.glyph, nullptr);
    b->setCheckable(true);
    modeGroup_->addButton(b, m.code);
  }
  buttons_["sbhandinfo"]->setChecked(true);
  connect(modeGroup_, &QButtonGroup::idClicked, this, [this](int) { UpdateEditMode(); });
  separator();
  add("sboption", "Option", "Change Mosaic Options", "option", &MainWindow::ShowOptions);
  separator();
  add("sbstats", "Stats", "Stats", "stats", &MainWindow::ShowStats);
  separator();
  add("sboverview", "Overview", "Show Overview", "overview", &MainWindow::ShowOverview);
  separator();
  add("sbhelp", "Help", "Show Help", "help", &MainWindow::ShowHelp);
  buttons->addStretch(1);
  rows->addLayout(buttons);

  // The lower row: the job label at the left, the gauge at x 232.
  auto* jobRow = new QWidget(panel);
  jobRow->setFixedHeight(19);
  jobLabel_ = new QLabel(QString::fromLatin1(kIdleJobText), jobRow);
  jobLabel_->setObjectName(QStringLiteral("LBJOB"));
  // Wide enough for the longest job text; the gauge follows it.
  const int labelWidth = std::max(224, jobLabel_->fontMetrics().horizontalAdvance(
                                           QStringLiteral("Current Job : OutPut Final Mosaic Picture")) +
                                           8);
  jobLabel_->setGeometry(6, 1, labelWidth, 16);
  gauge_ = new QProgressBar(jobRow);
  gauge_->setObjectName(QStringLiteral("gauge"));
  gauge_->setRange(0, 100);
  gauge_->setValue(0);
  gauge_->setTextVisible(false);
  const int gaugeX = std::max(232, 6 + labelWidth + 2);
  gauge_->setGeometry(gaugeX, 3, 345, 13);
  BuildCancelButton(jobRow)->setGeometry(gaugeX + 351, 0, 64, 19);
  rows->addWidget(jobRow);
}

QAction* MainWindow::MakeAction(const char* objectName, const QString& text, void (MainWindow::*slot)()) {
  auto* a = new QAction(text, this);
  a->setObjectName(QString::fromLatin1(objectName));
  connect(a, &QAction::triggered, this, slot);
  return a;
}

void MainWindow::BuildMenus() {
  QMenuBar* bar = menuBar();
  QMenu* project = bar->addMenu(QStringLiteral("  Project    "));
  project->setObjectName(QStringLiteral("Project1"));
  project->addAction(MakeAction("NewProject1", QStringLiteral("New Project"), &MainWindow::NewProject));
  project->addAction(MakeAction("OpenPicture1", QStringLiteral("Open Picture"), &MainWindow::OpenPicture));
  project->addAction(
      MakeAction("LoadProject1", QStringLiteral("Open Mosaic Project"), &MainWindow::LoadProject));
  project->addSeparator();
  project->addAction(MakeAction("SavePicture1", QStringLiteral("Save Picture"), &MainWindow::SavePicture));
  project->addAction(
      MakeAction("ExportWeb1", QStringLiteral("Export Web Mosaic..."), &MainWindow::ExportWeb));
  project->addAction(
      MakeAction("SaveProject1", QStringLiteral("Save Mosaic Project"), &MainWindow::SaveProject));
  project->addAction(MakeAction("SaveProjectAs1", QStringLiteral("Save Project As\u2026"),
                                &MainWindow::SaveProjectUnderNewName));
  project->addSeparator();
  project->addAction(MakeAction("Print1", QStringLiteral("Print"), &MainWindow::ShowPrint));
  project->addSeparator();
  QAction* exit = new QAction(QStringLiteral("Exit"), this);
  exit->setObjectName(QStringLiteral("Exit1"));
  connect(exit, &QAction::triggered, this, &QWidget::close);
  project->addAction(exit);

  QMenu* tools = bar->addMenu(QStringLiteral("Tools    "));
  tools->setObjectName(QStringLiteral("Tools1"));
  tools->addAction(MakeAction("OverView1", QStringLiteral("OverView"), &MainWindow::ShowOverview));
  tools->addAction(MakeAction("CellStats1", QStringLiteral("Cell Stats"), &MainWindow::ShowStats));
  tools->addAction(MakeAction("BeadChart1", QStringLiteral("Bead Chart"), &MainWindow::ShowBeadChart));
  tools->addAction(
      MakeAction("LibraryCheck1", QStringLiteral("Library Check"), &MainWindow::ShowLibraryCheck));
  tools->addSeparator();
  tools->addAction(MakeAction("Options1", QStringLiteral("Options"), &MainWindow::ShowOptions));

  // A menu title without items: clicking the title runs the command.
  bar->addAction(MakeAction("ImageLib1", QStringLiteral("Image Lib    "), &MainWindow::ShowLibrary));

  QMenu* help = bar->addMenu(QStringLiteral("Help    "));
  help->setObjectName(QStringLiteral("Help1"));
  QAction* helpWindow = MakeAction("VelmoraHelp1", QStringLiteral("Velmora Help"), &MainWindow::ShowHelp);
  helpWindow->setShortcut(QKeySequence::HelpContents);
  help->addAction(helpWindow);
  help->addAction(MakeAction("HelpPdf1", QStringLiteral("Help as PDF"), &MainWindow::ShowHelpPdf));
  help->addSeparator();
  help->addAction(MakeAction("About1", QStringLiteral("About"), &MainWindow::ShowAbout));
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!started_) {
    started_ = true;
    Startup();
  }
}

void MainWindow::Startup() {
  engine_.ViewOriginX = 0;
  engine_.ViewOriginY = 0;
  const Status list = LoadDefaultImageList(engine_.PicList, session_.programFolder);
  if (session_.windows.wizard)
    session_.windows.wizard->SetPictureFolder(ToQString(ImagesFolderPath(session_.programFolder)));
  UpdateEditMode();
  // A damaged Defaultopt.opt is a caution, not an error: the program goes on
  // with the built-in options.
  if (session_.windows.options)
    if (const Status options = session_.windows.options->LoadDefaultOptions(); !options)
      session_.prompts.Message(this, QStringLiteral("Caution"), ToQString(options.message()));
  NotifyLibraryChanged(session_);
  UpdateActions();
  ShowIfFailed(session_, this, list);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  RepaintView();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (session_.jobRunning) {
    // The job is stopped first; the window closes (asking about unsaved
    // work as ever) once it has ended.
    closeAfterJob_ = true;
    listener_->RequestCancel();
    event->ignore();
    return;
  }
  if (!closing_ && !MayDiscardWork()) {
    event->ignore();
    return;
  }
  SavePlacement();
  closing_ = true;
  CloseToolWindows(session_);
  QMainWindow::closeEvent(event);
  QApplication::closeAllWindows();
}

void MainWindow::RepaintView() {
  if (closing_) return;
  // A job may be changing the picture: the view paints its own copy.
  if (session_.jobRunning) {
    view_->update();
    return;
  }
  const TBitmap32& bmp = engine_.MosaicBitmap;
  if (bmp.Empty()) return;
  // The view's own size: the work area less its scroll bars.
  const double scale = view_->PrepareRepaint();
  const QSize client = view_->size();
  engine_.ViewRect = VisibleRect(ViewPoint{engine_.ViewOriginX, engine_.ViewOriginY}, client.width(),
                                 client.height(), bmp.Width(), bmp.Height(), scale);
  statusLabel_->setText(
      ToQString(ViewStatusText(ViewPoint{engine_.ViewRect.Left, engine_.ViewRect.Top}, scale)));
  view_->SyncScrollBars();
  view_->update();
  RepaintOverviewIfVisible(session_);
}

void MainWindow::UpdateActions() {
  const bool idle = !session_.jobRunning;
  // A running job may be changing the engine: it is read only when idle,
  // and every command below that needs it is disabled meanwhile.
  const bool mosaic = idle && engine_.MosaicState == 2;
  const bool picture = idle && !engine_.MosaicBitmap.Empty();
  auto enable = [&](const char* name, bool on) {
    if (auto* a = findChild<QAction*>(QString::fromLatin1(name))) a->setEnabled(on);
    if (auto it = buttons_.find(QString::fromLatin1(name)); it != buttons_.end()) it->second->setEnabled(on);
  };
  // Commands that start a job or replace what a job works on.
  for (const char* name : {"sbnew", "NewProject1", "sbopprj", "LoadProject1", "OpenPicture1", "ImageLib1"})
    enable(name, idle);
  // "Open Picture" leaves the project alone: it can still be saved under a
  // name, and Save saves the picture shown.
  const bool shownPicture = !session_.picturePath.isEmpty() && picture;
  enable("sbsvprj", idle && (mosaic || projectPresent_ || shownPicture));
  enable("SaveProject1", idle && (mosaic || projectPresent_ || shownPicture));
  enable("SaveProjectAs1", idle && (mosaic || projectPresent_));
  enable("sbsvpic", idle && picture);
  enable("SavePicture1", idle && picture);
  enable("ExportWeb1", idle && mosaic && picture);
  enable("sbprint", idle && picture && session_.windows.print);
  enable("Print1", idle && picture && session_.windows.print);
  enable("sbstats", idle && session_.windows.stats != nullptr);
  enable("CellStats1", idle && session_.windows.stats != nullptr);
  enable("sboverview", idle && session_.windows.overview != nullptr);
  enable("OverView1", idle && session_.windows.overview != nullptr);
  enable("BeadChart1", idle && mosaic);
  enable("LibraryCheck1", idle);
  enable("sboption", idle);
  enable("Options1", idle);
  // The editing modes and the zoom act on the picture a job is drawing.
  for (const char* name : {"sbhandinfo", "sbhand2", "sbhand3", "sbhand4", "ModeInfo1", "ModeEdit1", "ModeEdit2",
                           "ModePen1", "ZoomIn1", "ZoomOut1", "ZoomFit1", "ZoomActual1"})
    enable(name, idle);
  if (zoomField_) zoomField_->setEnabled(idle);
  enable("ImageLib1", idle && session_.windows.library != nullptr);
  if (session_.windows.wizard) session_.windows.wizard->setEnabled(idle);
  UpdateToolWindowCommands(session_);
  UpdateEditActions();
  if (quality_) quality_->UpdateActions();
  // A job has just ended (done or failed): the label goes back to idle. A
  // cancelled job's "Cancelled" stays until the next command says otherwise.
  if (jobWasRunning_ && idle && !jobCancelled_ && listener_) listener_->SetJobText(kIdleJobText);
  jobWasRunning_ = !idle;
}

Status MainWindow::RunJob(const std::function<Status()>& job, const std::string& subject, bool undoable) {
  const auto outOfMemory = [&] {
    return Status::Error((subject.empty() ? std::string() : subject + ": ") +
                         "there is not enough memory for this job; it was stopped and what it had "
                         "changed was put back.");
  };
  // One job at a time: a second one started from the first's event loop
  // would change the tables under it. The commands that start jobs are
  // disabled meanwhile; this catches any path that slips past them.
  if (session_.jobRunning)
    return Status::Error("Another job is still running: wait for it to end, or cancel it first.");
  listener_->ResetCancel();
  view_->SetLive(true);
  session_.jobRunning = true;
  UpdateActions();
  // The job runs on a thread of its own while this one goes on with the
  // window's events in a loop of its own until the job ends: menus open,
  // the gauge moves, Cancel and Escape are heard at once. Nothing here reads
  // the engine meanwhile (the view paints its copy, taken at the job's
  // pauses). No exception may leave the job's thread: one would end the
  // program with the user's work.
  Status status = Status::Ok();
  bool exhausted = false;
  // What a cancelled job puts back: the state now, but the settings and main
  // picture of the mosaic shown (a new project has taken its own already).
  // Taken on the job's thread too: a large mosaic takes a while to copy.
  EngineSnapshot before;
  bool captured = false;
  QEventLoop loop;
  const auto work = [&] {
    listener_->SetJobThread(std::this_thread::get_id());
    try {
      if (undoable) {
        before.Capture(engine_);
        if (shownValid_) {
          before.SetProject(shownProject_, shownMain_);
          before.SetLook(shownMasks_, shownCrop_);
        }
      }
      captured = true;
      status = job();
    } catch (const std::bad_alloc&) {
      exhausted = true;
    } catch (const std::exception& e) {
      status = Status::Error(std::string("The job stopped: ") + e.what());
    }
    listener_->SetJobThread(std::thread::id());
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  };
  try {
    std::thread worker(work);
    loop.exec();
    worker.join();
  } catch (const std::system_error&) {
    // No thread to be had: the job runs here, the window waiting for it.
    work();
    QCoreApplication::processEvents();
  }
  listener_->ShowPending();
  session_.jobRunning = false;
  view_->SetLive(false);
  // Asked for and heard: a job that ended before its next report finished.
  if (undoable)
    jobCancelled_ = captured && (exhausted || (listener_->CancelRequested() && engine_.JobCancelled()));
  if (!captured && exhausted) status = outOfMemory();
  if (undoable && jobCancelled_) {
    // The picture the job had drawn is let go of on a thread of its own:
    // handing a large one back to the system takes a while.
    auto dropped = std::make_shared<TBitmap32>();
    dropped->TakePixels(engine_.MosaicBitmap);
    std::thread([dropped = std::move(dropped)]() mutable { dropped.reset(); }).detach();
    before.Restore(engine_);
    CopyListToPickCell(session_);
    NotifyLibraryChanged(session_);
    // A cancel needs no message box: the label says "Cancelled".
    status = exhausted ? outOfMemory() : Status::Ok();
  }
  RepaintView();
  UpdateActions();
  if (const QStringList warnings = listener_->TakeWarnings(); !warnings.isEmpty())
    session_.prompts.Message(this, QStringLiteral("Caution"), warnings.join(QLatin1Char('\n')));
  if (closeAfterJob_) {
    closeAfterJob_ = false;
    QTimer::singleShot(0, this, &QWidget::close);
  }
  return status;
}

void MainWindow::AfterNewPicture() {
  if (jobCancelled_) {
    // The picture put back is the one the reduced copies were made of.
    RepaintView();
    UpdateActions();
    return;
  }
  session_.history.Clear();
  UpdateEditActions();
  if (engine_.MosaicState == 2) {
    // The mosaic is shown again in place of an opened picture.
    session_.picturePath.clear();
    UpdateTitle();
    shownProject_ = engine_.Project;
    shownMain_.Assign(engine_.MainBitmap);
    shownMasks_ = engine_.Masks;
    shownCrop_ = engine_.CropMode;
    shownValid_ = true;
  }
  engine_.ViewOriginX = 0;
  engine_.ViewOriginY = 0;
  view_->PictureReplaced();
  // The reduced copies and the match quality of a large mosaic take a
  // while: they are made on a job's thread too, the window going on.
  const Status measured = RunJob(
      [this] {
        view_->BuildReducedCopies();
        quality_->Measure();
        return Status::Ok();
      },
      {}, false);
  (void)measured;
  // A new mosaic is seen whole first, in the middle of the view.
  view_->ZoomFit();
  RepaintView();
  quality_->Show();
  ShowOverviewAfterJob(session_);
  UpdateActions();
}

void MainWindow::CreateMosaic(bool penMode) {
  if (session_.jobRunning) return;
  CopyListToPickCell(session_);
  // The wizard has gone: the main window shows the job from its start.
  raise();
  activateWindow();
  const Status status = RunJob([&] {
    if (penMode) return engine_.StartPenMode();
    if (engine_.Aspects.On) {
      // Unreadable photos count as square; the library check names them.
      std::vector<std::string> unread;
      SetUpPhotoShapes(engine_, true, unread);
    }
    return engine_.CreateMosaic();
  });
  if (status.ok() && !jobCancelled_) {
    projectPresent_ = true;
    penLog_ = PenLog{penMode, {}};
    session_.projectPath.clear();
    SetModified(true);
  }
  AfterNewPicture();
  ShowIfFailed(session_, this, status);
}

void MainWindow::NewProject() {
  if (session_.jobRunning || !session_.windows.wizard || !MayDiscardWork()) return;
  session_.windows.wizard->ShowFirstPage();
}

void MainWindow::OpenPicture() {
  if (session_.jobRunning || !MayDiscardWork()) return;
  const QString path = session_.prompts.OpenPictureName(this, QStringLiteral("Open Picture"),
                                                        RecentFolder(FileKind::PictureOpen), PictureOpenFilter());
  if (path.isEmpty()) return;
  RememberFolder(FileKind::PictureOpen, path);
  std::string partly;
  if (!ShowIfFailed(session_, this,
                    LoadPictureFile(engine_.MosaicBitmap, ToBytes(path), session_.PictureHints(), &partly)))
    return;
  // The title and the job label name the picture now shown.
  session_.picturePath = path;
  UpdateTitle();
  listener_->SetJobText(ToBytes(QStringLiteral("Current Job : Showing ") + QFileInfo(path).fileName()));
  engine_.ViewOriginX = 0;
  engine_.ViewOriginY = 0;
  engine_.MosaicState = 1;
  session_.history.Clear();
  UpdateEditActions();
  view_->PictureReplaced();
  view_->ZoomFit();
  RepaintView();
  quality_->Refresh();
  UpdateActions();
  if (!partly.empty())
    session_.prompts.Message(
        this, QStringLiteral("Caution"),
        ToQString(partly) + QStringLiteral("\nThe picture is shown as far as it could be read."));
}

void MainWindow::LoadProject() {
  if (session_.jobRunning || !MayDiscardWork()) return;
  const QString path = session_.prompts.OpenFileName(this, QStringLiteral("Open Mosaic Project"),
                                                     RecentFolder(FileKind::Project),
                                                     QString::fromLatin1(kProjectFilter));
  if (path.isEmpty() || !QFileInfo::exists(path)) return;
  RememberFolder(FileKind::Project, path);
  ShowIfFailed(session_, this, OpenProjectFrom(path));
}

void MainWindow::SaveProject() {
  if (session_.jobRunning) return;
  if (!session_.picturePath.isEmpty() && !engine_.MosaicBitmap.Empty()) {
    SavePicture();
    return;
  }
  if (!(engine_.MosaicState == 2 || projectPresent_)) return;
  SaveProjectInPlace();
}

void MainWindow::SavePicture() {
  if (session_.jobRunning) return;
  const QStringList filters = QString::fromLatin1(kPictureSaveFilter).split(QStringLiteral(";;"));
  if (lastPictureFilter_.isEmpty()) lastPictureFilter_ = QString::fromLatin1(kJpegFilter);
  QString filter = lastPictureFilter_;
  // Named after what is shown: the opened picture, else the project's file,
  // with the type's extension; in the folder pictures were last saved in.
  const QString shown = !session_.picturePath.isEmpty() ? session_.picturePath : session_.projectPath;
  const QString base = shown.isEmpty() ? QStringLiteral("mosaic") : QFileInfo(shown).completeBaseName();
  const QString suffix = filter.section(QStringLiteral("(*."), 1).section(QLatin1Char(')'), 0, 0);
  const QString path = session_.prompts.SaveFileName(this, QStringLiteral("Save Picture"),
                                                     RecentPlace(FileKind::PictureSave, base + '.' + suffix),
                                                     QString::fromLatin1(kPictureSaveFilter), &filter);
  if (path.isEmpty()) return;
  RememberFolder(FileKind::PictureSave, path);
  lastPictureFilter_ = filter;
  // The kinds are numbered in the filter's order.
  const int kind = std::max(0, int(filters.indexOf(filter))) + kPictureBmp;
  // The JPEG settings are the Options dialog's "Save Jpeg Files Setting".
  const tmosaicproject& o = engine_.OptionSet;
  const auto saved =
      SavePictureFile(engine_.MosaicBitmap, ToBytes(path), kind, o.JpegQuality, o.JpegProgressive);
  ShowIfFailed(session_, this, saved.status());
}

void MainWindow::ShowOptions() {
  if (auto* w = session_.windows.options) {
    w->show();
    w->raise();
  }
}

void MainWindow::ShowAbout() {
  if (auto* w = session_.windows.about) {
    // In front of the tool windows that stay on top (the overview).
    w->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    w->exec();
  }
}

void MainWindow::ShowOverview() { ShowOverviewWindow(session_); }
void MainWindow::ShowStats() { ShowStatsWindow(session_); }

void MainWindow::ShowBeadChart() {
  auto* window = findChild<BeadChartWindow*>();
  if (!window) window = new BeadChartWindow(session_, this);
  ShowInFront(window);
  window->Rebuild();
}
void MainWindow::ShowLibraryCheck() { ShowLibraryCheckWindow(session_); }
void MainWindow::ShowPrint() { ShowPrintWindow(session_); }
void MainWindow::ShowLibrary() { ShowLibraryWindow(session_); }

}  // namespace velmora::ui
