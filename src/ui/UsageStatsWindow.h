// The usage stats window `TForm8` ("Usage Stats and Position Extractor"):
// the library's names, and on request a report of which picture the cells
// show and where (detail) or how often (simple), in a memo the user may edit
// and save as text.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QListWidget>
#include <QPlainTextEdit>
#include <string>
#include <vector>

#include "ui/Session.h"

namespace velmora::ui {

class UsageStatsWindow : public QDialog {
  Q_OBJECT
public:
  UsageStatsWindow(Session& session, QWidget* parent);
  void FillNameList();
  void CreateDetailList();
  void CreateSimpleList();
  void SaveToText();

protected:
  void showEvent(QShowEvent* event) override;

private:
  void ShowLines(const std::vector<std::string>& lines);

  Session& session_;
  QCheckBox* fileNamesOnly_;  // cbshortname, "Show full name and path"
  QListWidget* names_;        // mainlist
  QPlainTextEdit* memo_;      // Memo1
  // The list's entries as the reports use them: byte strings, as the paths
  // are, not the list's display text.
  std::vector<std::string> nameBytes_;
};

}  // namespace velmora::ui
