// The engine's job reports shown on the main window: the job text on the job
// label, the percentage on the gauge, and pending events run after each
// update so the window repaints while the job works.
#pragma once

#include <QLabel>
#include <QProgressBar>

#include "engine/Job.h"

namespace velmora::ui {

class GuiJobListener : public JobListener {
public:
  GuiJobListener(QLabel* label, QProgressBar* gauge) : label_(label), gauge_(gauge) {}
  void SetJobText(std::string_view text) override;
  void SetProgress(int percent) override;
  void ProcessEvents() override;

private:
  QLabel* label_;
  QProgressBar* gauge_;
};

}  // namespace velmora::ui
