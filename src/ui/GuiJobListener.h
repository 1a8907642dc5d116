// The engine's job reports shown on the main window: the job text on the job
// label, the percentage on the gauge, and pending events run after each
// update so the window repaints while the job works.
#pragma once

#include <QLabel>
#include <QProgressBar>
#include <QStringList>

#include "imaging/Job.h"

namespace velmora::ui {

class GuiJobListener : public JobListener {
public:
  GuiJobListener(QLabel* label, QProgressBar* gauge) : label_(label), gauge_(gauge) {}
  void SetJobText(std::string_view text) override;
  void SetProgress(int percent) override;
  void ProcessEvents() override;
  // A damaged summary cache and the like: the job goes on, and the main
  // window shows what was noticed once it has ended.
  void Warning(std::string_view message) override;
  QStringList TakeWarnings();
  // Cancel (the button, Escape): the job stops at its next report.
  void RequestCancel() { cancel_ = true; }
  void ResetCancel() { cancel_ = false; }
  bool CancelRequested() override { return cancel_; }

private:
  QLabel* label_;
  QProgressBar* gauge_;
  QStringList warnings_;
  bool cancel_ = false;
};

}  // namespace velmora::ui
