#include "ui/RecentFolders.h"
#include "ui/LibraryManagerWindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QScrollBar>
#include <QVBoxLayout>
#include <set>

#include "imaging/PictureOps.h"
#include "imaging/PictureReader.h"
#include "library/ImageListFile.h"
#include "output/VideoFrames.h"
#include "ui/FileLoaderWindow.h"
#include "ui/MainWindow.h"
#include "ui/QtBitmap.h"
#include "ui/WindowSupport.h"

namespace velmora::ui {
namespace {

constexpr const char* kListFilter = "Image List File (*.IL2)";
constexpr const char* kListSuffix = "il2";
constexpr int kOverviewWidth = 201, kOverviewHeight = 161;
constexpr int kLevelWidth = 129, kLevelHeight = 65;
constexpr int kSwatchSide = 64;
constexpr int kThumbSide = 72;
constexpr int kThumbsPerTurn = 6;  // read between two turns of the event loop

QLabel* FramedImage(const char* name, const QString& title, int width, int height, QWidget* parent,
                    QGroupBox** box) {
  *box = new QGroupBox(title, parent);
  auto* inside = new QVBoxLayout(*box);
  inside->setContentsMargins(4, 2, 4, 4);
  auto* image = new QLabel(*box);
  image->setObjectName(QString::fromLatin1(name));
  image->setFixedSize(width, height);
  image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  inside->addWidget(image);
  (*box)->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  return image;
}

}  // namespace

LibraryManagerWindow::LibraryManagerWindow(Session& session, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint), session_(session) {
  setObjectName(QStringLiteral("TForm4"));
  setWindowTitle(QStringLiteral("Cell Image Lib Manager"));

  auto* row = new QHBoxLayout(this);
  auto* left = new QVBoxLayout();
  auto* countRow = new QHBoxLayout();
  countRow->addWidget(new QLabel(QStringLiteral("Total File Count : "), this));
  count_ = new QLabel(QStringLiteral("0"), this);
  count_->setObjectName(QStringLiteral("lfcount"));
  countRow->addWidget(count_);
  countRow->addStretch(1);
  left->addLayout(countRow);
  list_ = new QListWidget(this);
  list_->setObjectName(QStringLiteral("CellPicList"));
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setUniformItemSizes(true);  // a library of tens of thousands of lines
  // Library paths share long folder names: keep both ends of each in sight.
  list_->setTextElideMode(Qt::ElideMiddle);
  list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  list_->setMinimumSize(340, 300);
  connect(list_, &QListWidget::itemClicked, this, &LibraryManagerWindow::EntryClicked);
  auto* lists = new QHBoxLayout();
  lists->addWidget(list_, 1);
  thumbs_ = new QListWidget(this);
  thumbs_->setObjectName(QStringLiteral("thumbnails"));
  thumbs_->setViewMode(QListView::IconMode);
  thumbs_->setMovement(QListView::Static);
  thumbs_->setResizeMode(QListView::Adjust);
  thumbs_->setUniformItemSizes(true);
  thumbs_->setIconSize(QSize(kThumbSide, kThumbSide));
  thumbs_->setGridSize(QSize(kThumbSide + 10, kThumbSide + 10));
  thumbs_->setSelectionMode(QAbstractItemView::SingleSelection);
  thumbs_->setMinimumSize(3 * (kThumbSide + 10) + 24, 300);
  connect(thumbs_, &QListWidget::itemClicked, this, &LibraryManagerWindow::ThumbnailClicked);
  connect(thumbs_->verticalScrollBar(), &QScrollBar::valueChanged, this,
          &LibraryManagerWindow::ScheduleThumbnails);
  // The path list and the thumbnails scroll to the same picture.
  connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row < 0 || row >= thumbs_->count() || thumbs_->currentRow() == row) return;
    thumbs_->setCurrentRow(row);
    thumbs_->scrollToItem(thumbs_->item(row));
  });
  lists->addWidget(thumbs_, 1);
  left->addLayout(lists, 1);
  row->addLayout(left, 1);
  thumbTimer_.setSingleShot(true);
  thumbTimer_.setInterval(0);
  connect(&thumbTimer_, &QTimer::timeout, this, &LibraryManagerWindow::LoadVisibleThumbnails);

  auto* previews = new QVBoxLayout();
  cellInfo_ = new QCheckBox(QStringLiteral("Show Cell Info"), this);
  cellInfo_->setObjectName(QStringLiteral("cbcellpicinfo"));
  previews->addWidget(cellInfo_);
  QGroupBox* box = nullptr;
  overview_ =
      FramedImage("cellpicov", QStringLiteral("overview"), kOverviewWidth, kOverviewHeight, this, &box);
  previews->addWidget(box);
  auto* charts = new QHBoxLayout();
  level_ = FramedImage("cellpiclevel", QStringLiteral("Level"), kLevelWidth, kLevelHeight, this, &box);
  charts->addWidget(box);
  cellColor_ =
      FramedImage("cellpic41", QStringLiteral("cell color"), kSwatchSide + 1, kSwatchSide + 1, this, &box);
  charts->addWidget(box);
  previews->addLayout(charts);
  previews->addStretch(1);
  row->addLayout(previews);

  auto* buttons = new QVBoxLayout();
  // Commands that change the list wait while a job or the check pass reads
  // it; saving and setting the default only read it and wait for the pass alone.
  const struct {
    const char* name;
    const char* caption;
    void (LibraryManagerWindow::*slot)();
    bool changesList;
  } commands[] = {
      {"Button1", "Add Picture", &LibraryManagerWindow::AddPicture, true},
      {"btdel", "Delete Picture", &LibraryManagerWindow::DeletePicture, true},
      {"Button7", "Delete All", &LibraryManagerWindow::DeleteAll, true},
      {"ldilist", "Load Image List", &LibraryManagerWindow::LoadImageList, true},
      {"btsilist", "Save Image List", &LibraryManagerWindow::SaveImageList, false},
      {"Button4", "Set as Default", &LibraryManagerWindow::SetAsDefault, false},
      {"Button2", "Check Bad Pic", &LibraryManagerWindow::CheckLibraryPictures, true},
      {"Button3", "Restore Default", &LibraryManagerWindow::RestoreDefault, true},
      {"btframes", "Add Frames from Video…", &LibraryManagerWindow::AddVideoFrames, true},
  };
  for (const auto& c : commands) {
    QPushButton* b = MakePushButton(this, c.name, QString::fromUtf8(c.caption), c.slot);
    (c.changesList ? listCommands_ : readCommands_).push_back(b);
    buttons->addWidget(b);
  }
  buttons->addStretch(1);
  row->addLayout(buttons);
}

void LibraryManagerWindow::ShowWindow() {
  PlaceOnFirstShow(this, placed_);
  UpdateCommands();
  ShowInFront(this);
  ScheduleThumbnails();
}

void LibraryManagerWindow::ScheduleThumbnails() {
  if (!thumbTimer_.isActive()) thumbTimer_.start();
}

void LibraryManagerWindow::LoadVisibleThumbnails() {
  if (!thumbs_->isVisible() || thumbs_->count() == 0) return;
  const QRect view = thumbs_->viewport()->rect();
  QListWidgetItem* first = thumbs_->itemAt(view.topLeft() + QPoint(2, 2));
  if (!first) first = thumbs_->item(0);
  const int perRow = std::max(1, view.width() / thumbs_->gridSize().width());
  const int rows = view.height() / thumbs_->gridSize().height() + 2;
  const int from = thumbs_->row(first);
  const int to = std::min(thumbs_->count(), from + perRow * rows);
  // A small decode is enough: the reader picks JPEG's reduced scales.
  DecodeHints hints = session_.PictureHints();
  hints.allowExternalPrograms = false;
  hints.acceptScaled = [](int w, int h) { return w >= kThumbSide || h >= kThumbSide; };
  int read = 0;
  for (int i = from; i < to && read < kThumbsPerTurn; ++i) {
    QListWidgetItem* item = thumbs_->item(i);
    if (item->data(Qt::UserRole).toBool()) continue;
    item->setData(Qt::UserRole, true);
    ++read;
    Bitmap24 picture;
    if (!LoadPictureFile(picture, ToBytes(list_->item(i)->text()), hints).ok()) continue;
    Bitmap24 fitted;
    FitToRect(picture, fitted, TRect{0, 0, kThumbSide, kThumbSide});
    item->setIcon(QIcon(QPixmap::fromImage(ToQImage(fitted))));
  }
  // More to read in sight: again after the events that came meanwhile.
  if (read == kThumbsPerTurn) ScheduleThumbnails();
}

void LibraryManagerWindow::ThumbnailClicked(QListWidgetItem* item) {
  if (!item) return;
  const int row = thumbs_->row(item);
  if (row < 0 || row >= list_->count()) return;
  list_->setCurrentRow(row);
  EntryClicked(list_->item(row));
}

void LibraryManagerWindow::closeEvent(QCloseEvent* event) {
  // Closing the window (or the program) ends a running check quietly.
  stopCheck_ = true;
  QDialog::closeEvent(event);
}

bool LibraryManagerWindow::ListLocked() const { return checking_ || session_.jobRunning; }

void LibraryManagerWindow::UpdateCommands() {
  const bool free = !ListLocked();
  for (QPushButton* b : listCommands_) b->setEnabled(free);
  for (QPushButton* b : readCommands_) b->setEnabled(!checking_);
}

void LibraryManagerWindow::SetCount() { count_->setText(QString::number(session_.engine.PicList.Count())); }

void LibraryManagerWindow::RefreshList() {
  const CellPicList& pics = session_.engine.PicList;
  list_->clear();
  QStringList lines;
  lines.reserve(pics.Count());
  for (const std::string& path : pics.Paths()) lines << ToQString(path);
  list_->addItems(lines);
  // Ticked pictures are what "Delete Picture" removes.
  for (int i = 0; i < list_->count(); ++i) list_->item(i)->setCheckState(Qt::Unchecked);
  thumbs_->clear();
  // Every item starts with a blank of the thumbnail's size: the view sizes
  // all items by the first, before any picture is read. No caption under the
  // picture: the path list beside it names each one. Filled in one batch
  // with the view's updates off: item by item it lays out tens of thousands
  // of times.
  QPixmap blank(kThumbSide, kThumbSide);
  blank.fill(palette().color(QPalette::Base));
  const QIcon waiting(blank);
  thumbs_->setUpdatesEnabled(false);
  thumbs_->addItems(QStringList(lines.size(), QString()));
  for (int i = 0; i < thumbs_->count(); ++i) {
    QListWidgetItem* item = thumbs_->item(i);
    item->setIcon(waiting);
    item->setToolTip(lines[i]);
  }
  thumbs_->setUpdatesEnabled(true);
  SetCount();
  ScheduleThumbnails();
}

void LibraryManagerWindow::EntryClicked(QListWidgetItem* item) {
  if (!item || checking_) return;
  const int row = list_->row(item);
  if (row < 0 || row >= session_.engine.PicList.Count()) return;
  ShowIfFailed(session_, this,
               ShowLibraryPicture(ToQString(session_.engine.PicList[row]), cellInfo_->isChecked()));
}

Status LibraryManagerWindow::ShowLibraryPicture(const QString& path, bool withInfo, std::string* warning) {
  Bitmap24 picture;
  VELMORA_TRY(LoadPictureFile(picture, ToBytes(path), session_.PictureHints(), warning));
  Bitmap24 fitted;
  FitToRect(picture, fitted, TRect{0, 0, kOverviewWidth, kOverviewHeight});
  overview_->setPixmap(QPixmap::fromImage(ToQImage(fitted)));
  if (withInfo) {
    Bitmap24 chart;
    DrawLevelChart(picture, chart, 0, TRect{0, 0, kLevelWidth, kLevelHeight});
    level_->setPixmap(QPixmap::fromImage(ToQImage(chart)));
    Bitmap24 swatch(kSwatchSide, kSwatchSide);
    DrawSignatureSwatch(swatch, ComputeColorSignature(picture), 4, false);
    cellColor_->setPixmap(QPixmap::fromImage(ToQImage(swatch)));
  }
  return Status::Ok();
}

void LibraryManagerWindow::AddPicture() {
  if (ListLocked()) return;
  if (FileLoaderWindow* loader = session_.windows.loader) loader->ShowWindow();
}

void LibraryManagerWindow::DeletePicture() {
  if (ListLocked()) return;
  CellPicList& pics = session_.engine.PicList;
  std::vector<std::string> kept;
  for (int i = 0; i < list_->count() && i < pics.Count(); ++i)
    if (list_->item(i)->checkState() != Qt::Checked) kept.push_back(pics[i]);
  if (static_cast<int>(kept.size()) < pics.Count()) {
    // The ticked pictures go, all at once; the highlighted row is not asked.
    pics.Assign(std::move(kept));
    RefreshList();
    return;
  }
  QListWidgetItem* item = list_->currentItem();
  if (!item || !item->isSelected()) return;
  const int row = list_->row(item);
  pics.Delete(row);
  delete list_->takeItem(row);
  delete thumbs_->takeItem(row);
  SetCount();
}

void LibraryManagerWindow::DeleteAll() {
  if (ListLocked() || session_.engine.PicList.Empty()) return;
  if (!session_.prompts.Confirm(this, QStringLiteral("Delete All"),
                                QStringLiteral("Remove all %1 pictures from the library list?\n"
                                               "The picture files stay where they are.")
                                    .arg(session_.engine.PicList.Count())))
    return;
  session_.engine.PicList.Clear();
  RefreshList();
}

void LibraryManagerWindow::LoadImageList() {
  if (ListLocked()) return;
  const QString path = session_.prompts.OpenFileName(this, QStringLiteral("Load Image List"),
                                                     RecentFolder(FileKind::ImageList),
                                                     QString::fromLatin1(kListFilter));
  if (!path.isEmpty()) {
    RememberFolder(FileKind::ImageList, path);
    // A failed read leaves the list as it was.
    ShowIfFailed(session_, this, ReadImageListFile(ToBytes(path), session_.engine.PicList));
  }
  RefreshList();
}

void LibraryManagerWindow::SaveImageList() {
  if (checking_) return;
  const QString path = session_.prompts.SaveFileName(this, QStringLiteral("Save Image List"),
                                                     RecentFolder(FileKind::ImageList),
                                                     QString::fromLatin1(kListFilter), nullptr,
                                                     QString::fromLatin1(kListSuffix));
  if (path.isEmpty()) return;
  RememberFolder(FileKind::ImageList, path);
  ShowIfFailed(session_, this, WriteImageListFile(ToBytes(path), session_.engine.PicList));
}

void LibraryManagerWindow::SetAsDefault() {
  if (checking_) return;
  if (!session_.prompts.Confirm(this, QStringLiteral("Caution"),
                                QStringLiteral("This action will overwrite existed default image list")))
    return;
  ShowIfFailed(session_, this, SetDefaultImageList(session_.engine.PicList, session_.programFolder));
}

void LibraryManagerWindow::RestoreDefault() {
  if (ListLocked()) return;
  const Status status = RestoreDefaultImageList(session_.engine.PicList, session_.programFolder);
  RefreshList();
  ShowIfFailed(session_, this, status);
}

void LibraryManagerWindow::SetChecking(bool on) {
  checking_ = on;
  // The other commands that replace the list (new project, project load)
  // wait as for a job: the pass indexes the list by position.
  session_.jobRunning = on;
  if (session_.windows.main)
    session_.windows.main->UpdateActions();
  else
    UpdateCommands();
}

void LibraryManagerWindow::CheckLibraryPictures() {
  if (ListLocked()) return;
  stopCheck_ = false;
  SetChecking(true);
  Status failure = Status::Ok();
  // Photos whose content is another format than their extension says read
  // fine (by their content), but the user may want to rename them.
  QStringList notes;
  std::string partly;
  const CellPicList& pics = session_.engine.PicList;
  for (int i = 0; i < pics.Count() && !stopCheck_; ++i) {
    const QString path = ToQString(pics[i]);
    // Missing files are passed over: only pictures that exist and do not read are bad.
    if (!QFileInfo(path).isFile()) continue;
    list_->setCurrentRow(i);
    failure = ShowLibraryPicture(path, false, &partly);
    // A picture that reads only partly would show grey or smeared in its cells.
    if (!failure.ok() || !partly.empty()) break;
    if (const std::string note = ContentMismatchNote(pics[i]); !note.empty()) notes << ToQString(note);
    QCoreApplication::processEvents();
  }
  const bool stopped = stopCheck_;
  SetChecking(false);
  if (!failure.ok()) {
    ShowIfFailed(session_, this, failure);
    return;
  }
  if (!partly.empty()) {
    session_.prompts.Error(this, QStringLiteral("Picture Read Only Partly"),
                           ToQString(partly) + QStringLiteral("\nOnly part of this picture could be read."));
    return;
  }
  if (!stopped)
    session_.prompts.Message(this, QStringLiteral("Finish"),
                             notes.isEmpty() ? QStringLiteral("check finished")
                                             : QStringLiteral("check finished\n\n") + notes.join(QLatin1Char('\n')));
}

void LibraryManagerWindow::AddVideoFrames() {
  if (ListLocked()) return;
  QStringList patterns;
  for (const std::string& e : VideoExtensions()) patterns << QStringLiteral("*.") + ToQString(e);
  const QString video =
      session_.prompts.OpenFileName(this, QStringLiteral("Add Frames from Video"), QString(),
                                    QStringLiteral("Videos (%1);;All files (*)").arg(patterns.join(' ')));
  if (video.isEmpty()) return;
  // The photos go into a folder beside the video, named after it, so that a
  // project made from them finds them there again.
  const QFileInfo info(video);
  const QString folder = info.absolutePath() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral(" frames");
  if (!QDir().mkpath(folder)) {
    session_.prompts.Error(this, QStringLiteral("Error"),
                           QStringLiteral("Cannot make the folder %1 for the frames.").arg(folder));
    return;
  }
  VideoFrameReport report;
  const auto job = [&] {
    return SaveVideoFrames(ToBytes(video), ToBytes(folder), VideoFrameOptions{}, &session_.engine.Listener(),
                           report);
  };
  const Status status = session_.windows.main ? session_.windows.main->RunJob(job) : job();
  // What was saved before a cancel or a damaged stretch joins the list too.
  // A video taken again replaces its photos, which stay in the list once.
  CellPicList& pics = session_.engine.PicList;
  std::set<std::string> listed;
  for (int i = 0; i < pics.Count(); ++i) listed.insert(pics[i]);
  for (const std::string& path : report.saved)
    if (listed.insert(path).second) pics.Append(path);
  RefreshList();
  if (!status.ok() && status.message() != kJobCancelled) {
    ShowIfFailed(session_, this, status);
    return;
  }
  QString text = QStringLiteral("%1 photos from %2 were added to the library list; they are in %3.")
                     .arg(report.saved.size())
                     .arg(info.fileName(), folder);
  if (report.alike > 0) text += QStringLiteral("\n%1 frames were skipped as too like the one before.").arg(report.alike);
  session_.prompts.Message(this, QStringLiteral("Frames from Video"), text);
}

}  // namespace velmora::ui
