#include "ui/GuiJobListener.h"

#include <QCoreApplication>
#include <QThread>
#include <algorithm>

namespace velmora::ui {

namespace {
bool OnGuiThread() { return QThread::currentThread() == QCoreApplication::instance()->thread(); }
}  // namespace

void GuiJobListener::SetJobText(std::string_view text) {
  if (!OnGuiThread()) return;
  label_->setText(QString::fromUtf8(text.data(), qsizetype(text.size())));
}

void GuiJobListener::SetProgress(int percent) {
  if (!OnGuiThread()) return;
  // A job may report -1 before its first unit is done; the gauge shows 0..100.
  gauge_->setValue(std::clamp(percent, 0, 100));
}

void GuiJobListener::ProcessEvents() {
  if (!OnGuiThread()) return;
  QCoreApplication::processEvents();
}

void GuiJobListener::Warning(std::string_view message) {
  if (!OnGuiThread()) return;
  warnings_ << QString::fromUtf8(message.data(), qsizetype(message.size()));
}

QStringList GuiJobListener::TakeWarnings() {
  QStringList taken;
  taken.swap(warnings_);
  return taken;
}

}  // namespace velmora::ui
