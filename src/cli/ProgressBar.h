// The command line's job listener: one stderr line per job, with a bar and the
// job's text, followed while the step runs by its count in words ("Summarising
// 1,234 of 20,000 photos, about 40 s left"). On a terminal the line is redrawn
// as the job goes on, cut to the terminal's width; otherwise each job's line
// is written once, when the next job starts or the run ends.
#pragma once

#include <string>

#include "imaging/Job.h"

namespace velmora::cli {

class ProgressBar : public JobListener {
public:
  explicit ProgressBar(bool quiet = false);
  ~ProgressBar() override;

  void SetJobText(std::string_view text) override;
  void SetProgress(int percent) override;
  void SetJobDetail(std::string_view detail) override;
  // Printed on its own line, even with --quiet.
  void Warning(std::string_view message) override;
  // Ctrl+C (or SIGTERM, SIGHUP): the job stops at its next report.
  bool CancelRequested() override;
  // Ends the current line (before other output on stderr).
  void Finish();

private:
  void Draw(bool final);
  bool quiet_;
  bool terminal_;
  std::string text_;
  std::string detail_;
  int percent_ = 0;
  int peak_ = 0;  // the gauge drops to 0 when a job ends; the line shows how far it got
  int drawn_ = -1;
  bool open_ = false;
};

}  // namespace velmora::cli
