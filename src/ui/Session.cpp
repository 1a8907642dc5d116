#include "ui/Session.h"

#include <QColorDialog>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGridLayout>
#include <QInputDialog>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QUrl>

#include "project/ProjectFile.h"
#include "ui/PicturePreviewDialog.h"

namespace velmora::ui {

QString UserPrompts::OpenFileName(QWidget* parent, const QString& caption, const QString& folder,
                                  const QString& filter, QString* selectedFilter) {
  return QFileDialog::getOpenFileName(parent, caption, folder, filter, selectedFilter);
}

QString UserPrompts::OpenPictureName(QWidget* parent, const QString& caption, const QString& folder,
                                     const QString& filter) {
  return GetOpenPictureName(parent, caption, folder, filter);
}

QString UserPrompts::SaveFileName(QWidget* parent, const QString& caption, const QString& folder,
                                  const QString& filter, QString* selectedFilter,
                                  const QString& defaultSuffix) {
  QFileDialog dialog(parent, caption, folder, filter);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  if (!defaultSuffix.isEmpty()) dialog.setDefaultSuffix(defaultSuffix);
  if (selectedFilter && !selectedFilter->isEmpty()) dialog.selectNameFilter(*selectedFilter);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
  if (selectedFilter) *selectedFilter = dialog.selectedNameFilter();
  return dialog.selectedFiles().front();
}

int64_t UserPrompts::ChooseColor(QWidget* parent, int32_t initialBgr) {
  const auto v = static_cast<uint32_t>(initialBgr);
  const QColor start(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF);
  const QColor c = QColorDialog::getColor(start, parent);
  if (!c.isValid()) return -1;
  return int64_t(c.red()) | (int64_t(c.green()) << 8) | (int64_t(c.blue()) << 16);
}

namespace {

// A message box at least as wide as its caption needs, so that the window
// manager does not cut the title of a box with a short text.
int ShowBox(QMessageBox& box) {
  const int titleWidth = box.fontMetrics().horizontalAdvance(box.windowTitle()) + 120;
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
    grid->addItem(new QSpacerItem(titleWidth, 0, QSizePolicy::Minimum, QSizePolicy::Expanding),
                  grid->rowCount(), 0, 1, grid->columnCount());
  return box.exec();
}

}  // namespace

void UserPrompts::Message(QWidget* parent, const QString& caption, const QString& text) {
  QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::Ok, parent);
  ShowBox(box);
}

void UserPrompts::Error(QWidget* parent, const QString& caption, const QString& text) {
  QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, parent);
  ShowBox(box);
}

void UserPrompts::ErrorWithDetails(QWidget* parent, const QString& caption, const QString& text,
                                   const QString& details) {
  QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, parent);
  box.setObjectName(QStringLiteral("ErrorBox"));
  box.setDetailedText(details);
  ShowBox(box);
}

UserPrompts::SaveAnswer UserPrompts::AskToSave(QWidget* parent, const QString& caption, const QString& text) {
  QMessageBox box(QMessageBox::Warning, caption, text,
                  QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent);
  box.setObjectName(QStringLiteral("SaveChangesBox"));
  box.setDefaultButton(QMessageBox::Save);
  switch (ShowBox(box)) {
    case QMessageBox::Save:
      return SaveAnswer::Save;
    case QMessageBox::Discard:
      return SaveAnswer::Discard;
    default:
      return SaveAnswer::Cancel;
  }
}

double UserPrompts::AskNumber(QWidget* parent, const QString& caption, const QString& label, double value,
                              double min, double max, int decimals, bool* ok) {
  return QInputDialog::getDouble(parent, caption, label, value, min, max, decimals, ok);
}

bool UserPrompts::Confirm(QWidget* parent, const QString& caption, const QString& text) {
  return QMessageBox::question(parent, caption, text, QMessageBox::Ok | QMessageBox::Cancel) ==
         QMessageBox::Ok;
}

bool UserPrompts::OpenDocument(const QString& path) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool UserPrompts::PrintDialog(QWidget* parent, QPrinter& printer) {
  QPrintDialog dialog(&printer, parent);
  return dialog.exec() == QDialog::Accepted;
}

bool UserPrompts::PageSetupDialog(QWidget* parent, QPrinter& printer) {
  QPageSetupDialog dialog(&printer, parent);
  dialog.setWindowTitle(QStringLiteral("Printer Setup"));
  return dialog.exec() == QDialog::Accepted;
}

// Paths and texts are byte strings in the core; on this desktop they are UTF-8.
QString ToQString(const std::string& bytes) {
  return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
}
std::string ToBytes(const QString& text) { return text.toUtf8().toStdString(); }

bool ShowIfFailed(Session& session, QWidget* parent, const Status& status) {
  if (status.ok()) return true;
  // A file that is no project (loaded, dropped or handed over) is said in
  // words; the technical reason waits under "Details".
  std::string words, reason;
  if (SplitNotAProject(status.message(), words, reason))
    session.prompts.ErrorWithDetails(parent, QStringLiteral("Error"), ToQString(words), ToQString(reason));
  else
    session.prompts.Error(parent, QStringLiteral("Error"), ToQString(status.message()));
  return false;
}

}  // namespace velmora::ui
