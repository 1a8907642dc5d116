#include "ui/Session.h"

#include <QColorDialog>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QUrl>

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

void UserPrompts::Message(QWidget* parent, const QString& caption, const QString& text) {
  QMessageBox::information(parent, caption, text, QMessageBox::Ok);
}

bool UserPrompts::Confirm(QWidget* parent, const QString& caption, const QString& text) {
  return QMessageBox::question(parent, caption, text, QMessageBox::Ok | QMessageBox::Cancel) ==
         QMessageBox::Ok;
}

void UserPrompts::OpenDocument(const QString& path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); }

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
  session.prompts.Message(parent, QStringLiteral("Error"), ToQString(status.message()));
  return false;
}

}  // namespace velmora::ui
