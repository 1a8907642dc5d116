// The settings advice on the wizard's pages: one coloured note per piece of
// advice (green where the settings follow it, red where they do not, as the
// pages' other notes) and the button "Use suggested settings" (btadvice).
#pragma once

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <vector>

#include "quality/Advice.h"

namespace velmora::ui {

class AdvicePanel : public QGroupBox {
  Q_OBJECT
public:
  AdvicePanel(const char* objectName, QWidget* parent);
  void ShowAdvice(const SettingsAdvice& advice);

signals:
  void useSuggested();

private:
  QVBoxLayout* notes_ = nullptr;
  std::vector<QLabel*> labels_;
  QPushButton* button_ = nullptr;
};

}  // namespace velmora::ui
