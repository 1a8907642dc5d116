// How long engine jobs report: the job text ("Current Job : Mosaic Grid"), a
// count in words for the longest steps, a percentage for the gauge, and a
// chance to let pending events run. The GUI drives its job label and gauge
// with it, the command line a progress bar, tests a recorder. The default
// listener ignores everything.
#pragma once

#include <string_view>

namespace velmora {

class JobListener {
public:
  virtual ~JobListener() = default;
  virtual void SetJobText(std::string_view text) { (void)text; }
  virtual void SetProgress(int percent) { (void)percent; }
  // How far a long step is, in words ("Summarising 1,234 of 20,000 photos,
  // about 40 s left"; see JobCountdown.h), shown with the job text; empty
  // clears it, and so does the next job text.
  virtual void SetJobDetail(std::string_view detail) { (void)detail; }
  virtual void ProcessEvents() {}
  // Something the user should know that does not stop the job (a damaged
  // cache that is rebuilt, a cache that could not be saved).
  virtual void Warning(std::string_view message) { (void)message; }
  // Asked after each progress report: true stops the job there (the user
  // pressed Cancel, the command line got an interrupt). The engine then
  // reports "Current Job : Cancelled" and the job returns kJobCancelled.
  virtual bool CancelRequested() { return false; }
};

inline constexpr const char* kJobCancelled = "Cancelled";
inline constexpr const char* kJobCancelledText = "Current Job : Cancelled";

}  // namespace velmora
