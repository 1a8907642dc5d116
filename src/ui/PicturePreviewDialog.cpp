#include "ui/PicturePreviewDialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QStringList>
#include <QVBoxLayout>

#include "imaging/PictureOps.h"
#include "ui/QtBitmap.h"
#include "ui/Session.h"

namespace velmora::ui {
namespace {

constexpr int kPreviewSide = 200;

void ShowPreview(QLabel* preview, QLabel* caption, const QString& path) {
  preview->clear();
  caption->clear();
  if (!QFileInfo(path).isFile()) return;
  // Previews read a reduced picture where the format allows it (JPEG).
  DecodeHints hints;
  hints.acceptScaled = [](int w, int h) { return w >= kPreviewSide && h >= kPreviewSide; };
  Bitmap24 picture;
  if (!LoadPictureFile(picture, ToBytes(path), hints).ok()) {
    caption->setText(QStringLiteral("(no preview)"));
    return;
  }
  Bitmap24 fitted;
  FitToRect(picture, fitted, TRect{0, 0, kPreviewSide, kPreviewSide});
  preview->setPixmap(QPixmap::fromImage(ToQImage(fitted)));
  if (auto info = ReadPicture(ToBytes(path)); info.ok())
    caption->setText(QStringLiteral("%1 x %2").arg(info->storedWidth).arg(info->storedHeight));
}

}  // namespace

QString PictureOpenFilter() {
  QStringList filters;
  for (const std::string& f : PictureDialogFilters()) filters << ToQString(f);
  return filters.join(QStringLiteral(";;"));
}

QString GetOpenPictureName(QWidget* parent, const QString& caption, const QString& folder,
                           const QString& filter) {
  QFileDialog dialog(parent, caption, folder, filter);
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.resize(860, 460);
  auto* preview = new QLabel(&dialog);
  preview->setObjectName(QStringLiteral("preview"));
  preview->setFixedSize(kPreviewSide, kPreviewSide);
  preview->setAlignment(Qt::AlignCenter);
  preview->setFrameShape(QFrame::StyledPanel);
  auto* size = new QLabel(&dialog);
  size->setAlignment(Qt::AlignCenter);
  if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
    auto* pane = new QWidget(&dialog);
    auto* column = new QVBoxLayout(pane);
    column->addWidget(preview);
    column->addWidget(size);
    column->addStretch(1);
    grid->addWidget(pane, 0, grid->columnCount(), grid->rowCount(), 1);
  }
  QObject::connect(&dialog, &QFileDialog::currentChanged, preview,
                   [preview, size](const QString& path) { ShowPreview(preview, size, path); });
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
  return dialog.selectedFiles().front();
}

}  // namespace velmora::ui
