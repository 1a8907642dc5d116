// The "Library Check" window: which colours of the main picture the library
// cannot serve (colour families with swatch, cell count, nearest-photo error
// and advice), the near-duplicate photos with thumbnails, and the photos that
// could not be read; "Save Report..." writes the text and the PNG chart.
// It checks the current project's settings, main picture and library when
// shown and on "Check Again", and leaves the engine as it was.
#pragma once

#include <QDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeWidget>
#include <optional>

#include "quality/LibraryCheck.h"
#include "ui/Session.h"

namespace velmora::ui {

class LibraryCheckWindow : public QDialog {
  Q_OBJECT
public:
  LibraryCheckWindow(Session& session, QWidget* parent);
  // Runs the check as a job of the main window; a failure shows its message.
  void RunCheck();
  void SaveReport();
  const std::optional<LibraryReport>& Report() const { return report_; }
  // The height of the colour families' rows: two lines of `metrics`' font.
  static int TwoLineRowHeight(const QFontMetrics& metrics);

protected:
  void changeEvent(QEvent* event) override;

private:
  void ShowReport();
  // Rows two lines of the table's font tall, again when the font changes.
  void FitRowsToFont();

  Session& session_;
  QLabel* summary_;         // lbsummary
  QTableWidget* families_;  // familylist
  QTreeWidget* photos_;     // duplicatelist: near-duplicate groups, unreadable photos
  QPushButton* check_;      // btcheck
  QPushButton* save_;       // btsavereport
  std::optional<LibraryReport> report_;
};

// The Tools menu's and the wizard's "Library Check": shows the window in
// front and checks the library.
void ShowLibraryCheckWindow(Session& session);

}  // namespace velmora::ui
