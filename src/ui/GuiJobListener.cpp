#include "ui/GuiJobListener.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QThread>
#include <algorithm>

namespace velmora::ui {

namespace {
bool OnGuiThread() { return QThread::currentThread() == QCoreApplication::instance()->thread(); }

// How often the stored reports reach the label and gauge, and how often the
// job's thread stops for the pause hook.
constexpr int kShowEveryMs = 30;

// A count in words as the label has room for it: whole, else without its
// first word ("1,234 of 20,000 photos, about 40 s left"), else cut.
QString FitLabel(const QLabel& label, const QString& text) {
  const QFontMetrics metrics = label.fontMetrics();
  const int room = label.width() - 2;
  if (metrics.horizontalAdvance(text) <= room) return text;
  const QString shorter = text.mid(text.indexOf(QLatin1Char(' ')) + 1);
  return metrics.elidedText(shorter, Qt::ElideRight, room);
}
}  // namespace

GuiJobListener::GuiJobListener(QLabel* label, QProgressBar* gauge) : label_(label), gauge_(gauge) {
  shower_.setInterval(kShowEveryMs);
  connect(&shower_, &QTimer::timeout, this, &GuiJobListener::ShowPending);
  shower_.start();
}

GuiJobListener::~GuiJobListener() = default;

void GuiJobListener::ShowPending() {
  {
    std::string text, detail;
    bool pending = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      pending = textPending_;
      textPending_ = false;
      if (pending) {
        text = text_;
        detail = detail_;
      }
    }
    if (pending && label_) {
      if (detail.empty()) {
        label_->setText(QString::fromStdString(text));
        label_->setToolTip(QString());
      } else {
        label_->setText(FitLabel(*label_, QString::fromStdString(detail)));
        label_->setToolTip(QString::fromStdString(text));
      }
    }
  }
  if (percentPending_.exchange(false) && gauge_)
    // A job may report -1 before its first unit is done; the gauge shows 0..100.
    gauge_->setValue(std::clamp(percent_.load(), 0, 100));
}

void GuiJobListener::SetJobText(std::string_view text) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    text_.assign(text.data(), text.size());
    detail_.clear();
    textPending_ = true;
  }
  if (OnGuiThread()) ShowPending();
}

void GuiJobListener::SetJobDetail(std::string_view detail) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (detail_ == detail) return;
    detail_.assign(detail.data(), detail.size());
    textPending_ = true;
  }
  if (OnGuiThread()) ShowPending();
}

void GuiJobListener::SetProgress(int percent) {
  percent_.store(percent);
  percentPending_.store(true);
  if (OnGuiThread()) ShowPending();
}

void GuiJobListener::ProcessEvents() {
  if (OnGuiThread()) {
    QCoreApplication::processEvents();
    return;
  }
  // Only the job's own thread pauses: the engine's parallel workers report
  // while others still change what the hook would read.
  if (std::this_thread::get_id() != jobThread_.load() || !pauseHook_) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - lastPause_ < std::chrono::milliseconds(pauseEvery_.load())) return;
  lastPause_ = now;
  QMetaObject::invokeMethod(
      this,
      [this] {
        ShowPending();
        if (pauseHook_) pauseHook_();
        emit paused();
      },
      Qt::BlockingQueuedConnection);
}

void GuiJobListener::Warning(std::string_view message) {
  std::lock_guard<std::mutex> lock(mutex_);
  warnings_ << QString::fromUtf8(message.data(), qsizetype(message.size()));
}

QStringList GuiJobListener::TakeWarnings() {
  std::lock_guard<std::mutex> lock(mutex_);
  QStringList taken;
  taken.swap(warnings_);
  return taken;
}

}  // namespace velmora::ui
