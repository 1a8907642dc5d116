#include "ui/LibraryCheckWindow.h"

#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPixmap>
#include <QVBoxLayout>

#include "imaging/PictureOps.h"
#include "output/LibraryChart.h"
#include "ui/MainWindow.h"
#include "ui/QtBitmap.h"
#include "ui/WindowSupport.h"

namespace velmora::ui {
namespace {

constexpr int kThumbSide = 48;
// Thumbnails cost a decode each; past this many the groups list names only.
constexpr int kMaxThumbnails = 60;

QPixmap Swatch(TColor32 c, int w, int h) {
  QPixmap p(w, h);
  p.fill(QColor(RedOf(c), GreenOf(c), BlueOf(c)));
  return p;
}

QString ErrorText(float e) { return e < 0 ? QStringLiteral("-") : QString::number(double(e), 'f', 1); }

}  // namespace

LibraryCheckWindow::LibraryCheckWindow(Session& session, QWidget* parent)
    : QDialog(parent, Qt::Tool), session_(session) {
  setObjectName(QStringLiteral("TFormLibCheck"));
  setWindowTitle(QStringLiteral("Library Check"));
  resize(900, 620);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(6, 6, 6, 6);

  auto* bar = new QHBoxLayout;
  summary_ = new QLabel(this);
  summary_->setObjectName(QStringLiteral("lbsummary"));
  summary_->setWordWrap(true);
  bar->addWidget(summary_, 1);
  check_ = new QPushButton(QStringLiteral("Check Again"), this);
  check_->setObjectName(QStringLiteral("btcheck"));
  save_ = new QPushButton(QStringLiteral("Save Report..."), this);
  save_->setObjectName(QStringLiteral("btsavereport"));
  save_->setEnabled(false);
  bar->addWidget(check_);
  bar->addWidget(save_);
  column->addLayout(bar);

  families_ = new QTableWidget(0, 5, this);
  families_->setObjectName(QStringLiteral("familylist"));
  families_->setHorizontalHeaderLabels({QStringLiteral("Colour"), QStringLiteral("Cells"),
                                        QStringLiteral("Photos"), QStringLiteral("Nearest error"),
                                        QStringLiteral("Advice")});
  families_->verticalHeader()->hide();
  families_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  families_->setSelectionBehavior(QAbstractItemView::SelectRows);
  families_->setIconSize(QSize(28, 16));
  families_->horizontalHeader()->setStretchLastSection(true);
  // The advice wraps within its column onto a second line; every row has
  // room for two lines of the table's font, and the whole sentence shows as
  // the row's tip.
  families_->setWordWrap(true);
  families_->setTextElideMode(Qt::ElideRight);
  families_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  FitRowsToFont();
  column->addWidget(families_, 3);

  photos_ = new QTreeWidget(this);
  photos_->setObjectName(QStringLiteral("duplicatelist"));
  photos_->setHeaderLabels({QStringLiteral("Near-duplicate photos (they look like repeats on the mosaic)")});
  photos_->setIconSize(QSize(kThumbSide, kThumbSide));
  column->addWidget(photos_, 2);

  connect(check_, &QPushButton::clicked, this, &LibraryCheckWindow::RunCheck);
  connect(save_, &QPushButton::clicked, this, &LibraryCheckWindow::SaveReport);
  CentreOnScreen(this);
  MakeToolWindow(this, session_);
}

int LibraryCheckWindow::TwoLineRowHeight(const QFontMetrics& metrics) {
  // Two lines, the grid line and a little air above and below.
  return 2 * metrics.lineSpacing() + 1 + 6;
}

void LibraryCheckWindow::FitRowsToFont() {
  const int height = TwoLineRowHeight(families_->fontMetrics());
  QHeaderView* rows = families_->verticalHeader();
  rows->setMinimumSectionSize(height);
  rows->setDefaultSectionSize(height);
  for (int row = 0; row < families_->rowCount(); ++row) families_->setRowHeight(row, height);
}

void LibraryCheckWindow::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() == QEvent::FontChange) FitRowsToFont();
}

void LibraryCheckWindow::RunCheck() {
  if (session_.jobRunning) return;
  Engine& engine = session_.engine;
  Result<LibraryReport> result = Status::Error(std::string());
  auto job = [&] {
    result = CheckLibrary(engine, engine.Listener());
    return result.ok() ? Status::Ok() : result.status();
  };
  Status status = session_.windows.main ? session_.windows.main->RunJob(job) : job();
  if (!status.ok()) {
    // Cancelled: the job label says so, no message box.
    if (status.message() != kJobCancelled) ShowIfFailed(session_, this, status);
    return;
  }
  report_ = std::move(*result);
  ShowReport();
}

void LibraryCheckWindow::ShowReport() {
  const LibraryReport& r = *report_;
  QString summary = QStringLiteral("%1 x %2 cells, %3 photos in the library")
                        .arg(r.CellsAcross)
                        .arg(r.CellsDown)
                        .arg(r.PhotoCount);
  if (r.MeanNearestError >= 0)
    summary += QStringLiteral("; mean colour error of the nearest photo per cell: %1")
                   .arg(ErrorText(r.MeanNearestError));
  if (!r.Unreadable.empty()) summary += QStringLiteral("; %1 could not be read").arg(r.Unreadable.size());
  summary_->setText(summary);

  families_->setRowCount(static_cast<int>(r.Families.size()));
  for (int row = 0; row < families_->rowCount(); ++row) {
    const ColorFamily& f = r.Families[size_t(row)];
    auto* name = new QTableWidgetItem(QIcon(Swatch(f.Swatch, 28, 16)), QString::fromStdString(f.Name));
    families_->setItem(row, 0, name);
    families_->setItem(row, 1, new QTableWidgetItem(QString::number(f.Cells)));
    families_->setItem(row, 2, new QTableWidgetItem(QString::number(f.Photos)));
    auto* error = new QTableWidgetItem(ErrorText(f.NearestError));
    if (f.NearestError > kFarError)
      error->setForeground(QColor(190, 30, 30));
    else if (f.NearestError > kCloseError)
      error->setForeground(QColor(170, 110, 0));
    families_->setItem(row, 3, error);
    auto* advice = new QTableWidgetItem(QString::fromStdString(f.Sentence));
    advice->setToolTip(advice->text());
    families_->setItem(row, 4, advice);
  }
  // The advice takes the width the other columns leave.
  for (int c = 0; c < families_->columnCount() - 1; ++c) families_->resizeColumnToContents(c);

  photos_->clear();
  int thumbnails = 0;
  for (size_t g = 0; g < r.Duplicates.size(); ++g) {
    const DuplicateGroup& group = r.Duplicates[g];
    auto* top = new QTreeWidgetItem(
        photos_, {QStringLiteral("Group %1: %2 photos").arg(g + 1).arg(group.Photos.size())});
    for (int k : group.Photos) {
      const std::string& path = r.Photos[size_t(k)].Path;
      auto* item = new QTreeWidgetItem(top, {ToQString(path)});
      if (thumbnails++ >= kMaxThumbnails) continue;
      // Read as the engine reads it: by the program's own decoders, reduced
      // cheaply where the format allows.
      DecodeHints hints = session_.PictureHints();
      hints.acceptScaled = [](int w, int h) { return w >= kThumbSide && h >= kThumbSide; };
      TBitmap32 picture;
      if (!LoadPictureFile(picture, path, hints).ok()) continue;
      Bitmap24 thumb;
      FitToRect(picture, thumb, TRect{0, 0, kThumbSide, kThumbSide});
      item->setIcon(0, QIcon(QPixmap::fromImage(ToQImage(thumb))));
    }
    top->setExpanded(true);
  }
  if (r.Duplicates.empty()) new QTreeWidgetItem(photos_, {QStringLiteral("No near-duplicate photos")});
  if (!r.Unreadable.empty()) {
    auto* top = new QTreeWidgetItem(
        photos_, {QStringLiteral("Photos that could not be read: %1").arg(r.Unreadable.size())});
    for (int k : r.Unreadable) {
      const CheckedPhoto& photo = r.Photos[size_t(k)];
      new QTreeWidgetItem(top, {ToQString(photo.Path + ": " + photo.Problem)});
    }
    top->setExpanded(true);
  }
  save_->setEnabled(true);
}

void LibraryCheckWindow::SaveReport() {
  if (!report_) return;
  const QString path =
      session_.prompts.SaveFileName(this, QStringLiteral("Save Report"), QString(),
                                    QStringLiteral("*.txt (*.txt)"), nullptr, QStringLiteral("txt"));
  if (path.isEmpty()) return;
  // The chart goes beside the text, under the same name.
  const QFileInfo info(path);
  const QString chart = info.dir().filePath(info.completeBaseName() + QStringLiteral(".png"));
  if (!ShowIfFailed(session_, this, SaveLibraryReportText(*report_, ToBytes(path)))) return;
  const DuplicateThumbnails thumbnails = LoadDuplicateThumbnails(*report_, session_.engine.UprightPictures());
  ShowIfFailed(session_, this, SaveLibraryChartPng(*report_, thumbnails, ToBytes(chart)));
}

void ShowLibraryCheckWindow(Session& session) {
  if (LibraryCheckWindow* w = session.windows.libraryCheck) {
    ShowInFront(w);
    w->RunCheck();
  }
}

}  // namespace velmora::ui
