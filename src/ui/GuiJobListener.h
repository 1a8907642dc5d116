// The engine's job reports shown on the main window: the job text on the job
// label, the percentage on the gauge. While a long step counts what it has
// done ("Summarising 1,234 of 20,000 photos, about 40 s left"), the count
// stands on the label in place of the job text, which it names in its tool
// tip; the next job text takes the label back. A job runs on a worker thread of its
// own (MainWindow::RunJob) while the window's thread goes on with its events,
// and the engine's parallel workers may report too: reports from any thread
// are stored and shown by the window's thread, the latest text and value
// only, at most every ~30 ms. A report on the window's thread itself (a
// short job run there) shows at once and lets pending events run.
//
// The worker's pauses: at a report of the thread running the job (and no
// more often than every ~100 ms) the worker waits while the window's thread
// runs the pause hook, which may read the engine's state safely then (the
// main view takes its copy of the visible part of the picture there).
#pragma once

#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QProgressBar>
#include <QStringList>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "imaging/Job.h"

namespace velmora::ui {

class GuiJobListener : public QObject, public JobListener {
  Q_OBJECT
public:
  GuiJobListener(QLabel* label, QProgressBar* gauge);
  ~GuiJobListener() override;
  void SetJobText(std::string_view text) override;
  void SetProgress(int percent) override;
  void SetJobDetail(std::string_view detail) override;
  void ProcessEvents() override;
  // A damaged summary cache and the like: the job goes on, and the main
  // window shows what was noticed once it has ended.
  void Warning(std::string_view message) override;
  QStringList TakeWarnings();
  // Cancel (the button, Escape): the job stops at its next report.
  void RequestCancel() { cancel_.store(true); }
  void ResetCancel() { cancel_.store(false); }
  bool CancelRequested() override { return cancel_.load(); }

  // The thread running the job (set by RunJob for the job's length); its
  // reports pause it for the hook. A default id: no job thread.
  void SetJobThread(std::thread::id id) { jobThread_.store(id); }
  // Runs on the window's thread while the job's thread waits.
  void SetPauseHook(std::function<void()> hook) { pauseHook_ = std::move(hook); }
  // How often the job's thread pauses at most (100 ms unless set; 0 pauses
  // at every report of the job's thread, as a test that must catch a short
  // job in a given state wants).
  void SetPauseEvery(std::chrono::milliseconds every) { pauseEvery_.store(every.count()); }
  // Shows the stored text and value now (the job ended, or a test looks).
  void ShowPending();

signals:
  // At each pause, after the label and gauge show the job's last reports,
  // while the job's thread waits.
  void paused();

private:
  QPointer<QLabel> label_;
  QPointer<QProgressBar> gauge_;
  QTimer shower_;
  std::mutex mutex_;  // guards text_, detail_, textPending_ and warnings_
  std::string text_;
  std::string detail_;
  bool textPending_ = false;
  QStringList warnings_;
  std::atomic<int> percent_{0};
  std::atomic<bool> percentPending_{false};
  std::atomic<bool> cancel_{false};
  std::atomic<std::thread::id> jobThread_{};
  std::function<void()> pauseHook_;
  std::chrono::steady_clock::time_point lastPause_{};
  std::atomic<int64_t> pauseEvery_{100};
};

}  // namespace velmora::ui
