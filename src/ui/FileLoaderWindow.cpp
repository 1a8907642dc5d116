#include "ui/RecentFolders.h"
#include "ui/FileLoaderWindow.h"

#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QSignalBlocker>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "imaging/PictureOps.h"
#include "library/AppendPictures.h"
#include "library/ImageListFile.h"
#include "library/PictureFileScan.h"
#include "ui/LibraryManagerWindow.h"
#include "ui/QtBitmap.h"
#include "ui/WindowSupport.h"

namespace velmora::ui {
namespace {

constexpr int kPreviewWidth = 193, kPreviewHeight = 153;

// By name as people read them, whatever the locale: "lib2" before "lib10",
// case aside.
bool NameBefore(const QString& a, const QString& b) {
  qsizetype i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (a[i].isDigit() && b[j].isDigit()) {
      qsizetype ei = i, ej = j;
      while (ei < a.size() && a[ei].isDigit()) ++ei;
      while (ej < b.size() && b[ej].isDigit()) ++ej;
      // Leading zeros aside, a longer run of digits is the larger number.
      QStringView na = QStringView(a).mid(i, ei - i), nb = QStringView(b).mid(j, ej - j);
      while (na.size() > 1 && na[0] == u'0') na = na.mid(1);
      while (nb.size() > 1 && nb[0] == u'0') nb = nb.mid(1);
      if (na.size() != nb.size()) return na.size() < nb.size();
      if (const int c = na.compare(nb); c != 0) return c < 0;
      i = ei;
      j = ej;
      continue;
    }
    const QChar ca = a[i].toCaseFolded(), cb = b[j].toCaseFolded();
    if (ca != cb) return ca < cb;
    ++i;
    ++j;
  }
  if ((a.size() - i) != (b.size() - j)) return a.size() - i < b.size() - j;
  return a < b;  // equal but for case: a fixed order still
}

}  // namespace

FileLoaderWindow::FileLoaderWindow(Session& session, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint), session_(session) {
  setObjectName(QStringLiteral("TForm5"));
  setWindowTitle(QStringLiteral("Load Image Files"));

  auto* row = new QHBoxLayout(this);
  auto* treeColumn = new QVBoxLayout();
  path_ = new QLineEdit(this);
  path_->setObjectName(QStringLiteral("edpath"));
  path_->setPlaceholderText(QStringLiteral("Type a folder and press Enter"));
  connect(path_, &QLineEdit::returnPressed, this, &FileLoaderWindow::PathTyped);
  treeColumn->addWidget(path_);
  auto* places = new QHBoxLayout();
  const struct {
    const char* name;
    const char* caption;
    QString folder;
  } placeList[] = {
      {"btplacehome", "Home", QDir::homePath()},
      {"btplacepictures", "Pictures", StartFolder()},
      {"btplacesamples", "Sample Library", ToQString(ImagesFolderPath(session_.programFolder))},
  };
  for (const auto& place : placeList) {
    QPushButton* b = MakePushButton(this, place.name, QString::fromLatin1(place.caption));
    connect(b, &QPushButton::clicked, this, [this, folder = place.folder] { ChooseFolder(folder); });
    places->addWidget(b);
  }
  treeColumn->addLayout(places);
  model_ = new QFileSystemModel(this);
  model_->setFilter(QDir::AllDirs | QDir::Drives | QDir::NoDotAndDotDot);
  model_->setRootPath(QDir::rootPath());
  tree_ = new QTreeView(this);
  tree_->setObjectName(QStringLiteral("tree1"));
  tree_->setModel(model_);
  for (int column = 1; column < model_->columnCount(); ++column) tree_->hideColumn(column);
  tree_->header()->hide();
  tree_->setMinimumSize(200, 320);
  // Open at the folder pictures were last added from (the Pictures folder
  // the first time), without listing it before the user chooses.
  const QString first =
      HasRecentFolder(FileKind::LibraryFolder) ? RecentFolder(FileKind::LibraryFolder) : StartFolder();
  const QModelIndex start = model_->index(first);
  for (QModelIndex up = start.parent(); up.isValid(); up = up.parent()) tree_->expand(up);
  tree_->scrollTo(start);
  path_->setText(first);
  // The model reads folders in the background: a folder chosen by path is
  // scrolled into view again once its parents have been read.
  connect(model_, &QFileSystemModel::directoryLoaded, this, [this](const QString& loaded) {
    if (!scrollPending_) return;
    if (loaded == QFileInfo(folder_).path()) scrollPending_ = false;
    // After the model has sorted what it read.
    QTimer::singleShot(100, this, [this] {
      if (tree_->currentIndex().isValid())
        tree_->scrollTo(tree_->currentIndex(), QAbstractItemView::PositionAtCenter);
    });
  });
  connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) { FolderChosen(current); });
  treeColumn->addWidget(tree_, 1);
  row->addLayout(treeColumn, 1);

  auto* middle = new QVBoxLayout();
  list_ = new QListWidget(this);
  list_->setObjectName(QStringLiteral("list1"));
  list_->setUniformItemSizes(true);
  list_->setTextElideMode(Qt::ElideMiddle);
  list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  list_->setMinimumWidth(300);
  connect(list_, &QListWidget::itemClicked, this, &FileLoaderWindow::LineClicked);
  middle->addWidget(list_, 1);
  auto* countRow = new QHBoxLayout();
  countRow->addWidget(new QLabel(QStringLiteral("File Count:"), this));
  count_ = new QLabel(QStringLiteral("0"), this);
  count_->setObjectName(QStringLiteral("lbfc"));
  countRow->addWidget(count_);
  countRow->addStretch(1);
  middle->addLayout(countRow);
  leftOut_ = new QLabel(this);
  leftOut_->setObjectName(QStringLiteral("lbleftout"));
  leftOut_->setWordWrap(true);
  leftOut_->hide();
  middle->addWidget(leftOut_);
  row->addLayout(middle, 2);

  auto* right = new QVBoxLayout();
  auto* box = new QGroupBox(QStringLiteral("Picture Preview"), this);
  auto* inside = new QVBoxLayout(box);
  inside->setContentsMargins(4, 2, 4, 4);
  preview_ = new QLabel(box);
  preview_->setObjectName(QStringLiteral("Image1"));
  preview_->setFixedSize(kPreviewWidth, kPreviewHeight);
  preview_->setAlignment(Qt::AlignCenter);
  inside->addWidget(preview_);
  box->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  right->addWidget(box);
  listAll_ = new QCheckBox(QStringLiteral("List all picture files include subdirectorys"), this);
  listAll_->setObjectName(QStringLiteral("cblistall"));
  // Only the user's click lists again; choosing a folder clears the box quietly.
  connect(listAll_, &QCheckBox::clicked, this, [this] { ListFolder(); });
  right->addWidget(listAll_);
  // Widens the list from .jpg and .bmp to every picture file the program reads.
  allFormats_ = new QCheckBox(QStringLiteral("All picture formats (PNG, WebP, HEIC, raw ...)"), this);
  allFormats_->setObjectName(QStringLiteral("cballformats"));
  connect(allFormats_, &QCheckBox::clicked, this, [this] { ListFolder(); });
  right->addWidget(allFormats_);
  auto* marks = new QHBoxLayout();
  marks->addWidget(
      MakePushButton(this, "Button2", QStringLiteral("Select All"), &FileLoaderWindow::SelectAll));
  marks->addWidget(
      MakePushButton(this, "Button3", QStringLiteral("Unselect All"), &FileLoaderWindow::UnselectAll));
  right->addLayout(marks);
  auto* marks2 = new QHBoxLayout();
  marks2->addWidget(
      MakePushButton(this, "Button6", QStringLiteral("Clear List"), &FileLoaderWindow::ClearList));
  marks2->addWidget(
      MakePushButton(this, "Button7", QStringLiteral("Reverse Select"), &FileLoaderWindow::ReverseSelect));
  right->addLayout(marks2);
  loadSelected_ = MakePushButton(this, "btloadallsel", QStringLiteral("Load all Selected File"),
                                 &FileLoaderWindow::LoadSelected);
  loadAll_ = MakePushButton(this, "btloadall", QStringLiteral("Load All Files"), &FileLoaderWindow::LoadAll);
  right->addWidget(loadSelected_);
  right->addWidget(loadAll_);
  right->addStretch(1);
  row->addLayout(right);
}

void FileLoaderWindow::ShowWindow() {
  PlaceOnFirstShow(this, placed_);
  UpdateCommands();
  ShowInFront(this);
}

void FileLoaderWindow::UpdateCommands() {
  const LibraryManagerWindow* manager = session_.windows.library;
  const bool free = manager ? !manager->ListLocked() : !session_.jobRunning;
  loadSelected_->setEnabled(free);
  loadAll_->setEnabled(free);
}

QString FileLoaderWindow::StartFolder() {
  const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
  return !pictures.isEmpty() && QFileInfo(pictures).isDir() ? pictures : QDir::homePath();
}

void FileLoaderWindow::PathTyped() {
  QString typed = path_->text().trimmed();
  if (typed.startsWith(QStringLiteral("~"))) typed.replace(0, 1, QDir::homePath());
  if (!QFileInfo(typed).isDir()) {
    session_.prompts.Error(this, QStringLiteral("Load Image Files"),
                           typed + QStringLiteral(": no such folder"));
    return;
  }
  ChooseFolder(QDir::cleanPath(QFileInfo(typed).absoluteFilePath()));
}

void FileLoaderWindow::FolderChosen(const QModelIndex& index) {
  if (index.isValid()) ChooseFolder(model_->filePath(index));
}

void FileLoaderWindow::ChooseFolder(const QString& folder) {
  const QModelIndex index = model_->index(folder);
  if (index.isValid()) {
    const QSignalBlocker quiet(tree_->selectionModel());
    tree_->setCurrentIndex(index);
    for (QModelIndex up = index.parent(); up.isValid(); up = up.parent()) tree_->expand(up);
    tree_->scrollTo(index);
    scrollPending_ = true;
  }
  folder_ = folder;
  RememberFolderItself(FileKind::LibraryFolder, folder);
  path_->setText(folder);
  listAll_->setChecked(false);
  ListFolder();
}

void FileLoaderWindow::ListFolder() {
  list_->clear();
  size_t leftOut = 0;
  if (!folder_.isEmpty()) {
    std::vector<std::string> found;
    leftOut = ListPictureFiles(
        ToBytes(folder_), found, listAll_->isChecked(),
        allFormats_->isChecked() ? PictureNameFilter::kReadable : PictureNameFilter::kJpgBmp);
    QStringList lines;
    lines.reserve(qsizetype(found.size()));
    for (const std::string& path : found) lines << ToQString(path);
    std::sort(lines.begin(), lines.end(), NameBefore);
    list_->addItems(lines);
    for (int i = 0; i < list_->count(); ++i) list_->item(i)->setCheckState(Qt::Unchecked);
  }
  count_->setText(QString::number(list_->count()));
  // Under the count, so the user knows the folder holds more than the list.
  leftOut_->setText(ToQString(LineBreakNamesNote(leftOut)));
  leftOut_->setVisible(leftOut > 0);
}

void FileLoaderWindow::LineClicked(QListWidgetItem* item) {
  if (!item) return;
  Bitmap24 picture;
  if (!ShowIfFailed(session_, this, LoadPictureFile(picture, ToBytes(item->text()), session_.PictureHints())))
    return;
  Bitmap24 fitted;
  FitToRect(picture, fitted, TRect{0, 0, kPreviewWidth, kPreviewHeight});
  preview_->setPixmap(QPixmap::fromImage(ToQImage(fitted)));
}

void FileLoaderWindow::SetMarks(int mode) {
  for (int i = 0; i < list_->count(); ++i) {
    QListWidgetItem* item = list_->item(i);
    const bool on = mode == 2 ? item->checkState() != Qt::Checked : mode == 1;
    item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
  }
}

void FileLoaderWindow::SelectAll() { SetMarks(1); }
void FileLoaderWindow::UnselectAll() { SetMarks(0); }
void FileLoaderWindow::ReverseSelect() { SetMarks(2); }

void FileLoaderWindow::ClearList() {
  list_->clear();
  count_->setText(QStringLiteral("0"));
  leftOut_->hide();
}

void FileLoaderWindow::Append(bool checkedOnly, const QString& limitMessage) {
  LibraryManagerWindow* manager = session_.windows.library;
  if (manager ? manager->ListLocked() : session_.jobRunning) return;
  std::vector<std::string> paths;
  for (int i = 0; i < list_->count(); ++i) {
    const QListWidgetItem* item = list_->item(i);
    if (!checkedOnly || item->checkState() == Qt::Checked) paths.push_back(ToBytes(item->text()));
  }
  const AppendOutcome outcome = AppendPictures(session_.engine.PicList, paths);
  if (outcome.LimitReached) session_.prompts.Message(this, QStringLiteral("Caution"), limitMessage);
  if (outcome.Skipped > 0)
    session_.prompts.Message(
        this, QStringLiteral("Load Image Files"),
        QStringLiteral("Skipped %1 picture(s) already in the library.").arg(outcome.Skipped));
  // What was appended before the limit stays; the manager shows it.
  if (manager) manager->RefreshList();
  close();
}

void FileLoaderWindow::LoadSelected() {
  Append(true, QStringLiteral("You can only load 65535 pictures in this version"));
}

void FileLoaderWindow::LoadAll() { Append(false, QStringLiteral("You already loaded max count pictures ")); }

}  // namespace velmora::ui
