#include "ui/AdvicePanel.h"

#include <QHBoxLayout>

#include "ui/Session.h"

namespace velmora::ui {

AdvicePanel::AdvicePanel(const char* objectName, QWidget* parent)
    : QGroupBox(QStringLiteral("Settings Advice"), parent) {
  setObjectName(QString::fromLatin1(objectName));
  auto* column = new QVBoxLayout(this);
  notes_ = new QVBoxLayout;
  notes_->setSpacing(2);
  column->addLayout(notes_);
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  button_ = new QPushButton(QStringLiteral("Use suggested settings"), this);
  button_->setObjectName(QStringLiteral("btadvice"));
  connect(button_, &QPushButton::clicked, this, &AdvicePanel::useSuggested);
  row->addWidget(button_);
  column->addLayout(row);
}

void AdvicePanel::ShowAdvice(const SettingsAdvice& advice) {
  const std::vector<AdviceLine> lines = AdviceLines(advice);
  while (labels_.size() < lines.size()) {
    auto* label = new QLabel(this);
    label->setObjectName(QStringLiteral("lbadvice%1").arg(labels_.size() + 1));
    label->setWordWrap(true);
    // Wide enough for a sentence on one or two lines, never widening the page.
    label->setFixedWidth(520);
    notes_->addWidget(label);
    labels_.push_back(label);
  }
  const QColor red(0xC0, 0, 0);
  const QColor green(0, 0x80, 0);
  for (size_t i = 0; i < labels_.size(); ++i) {
    QLabel* label = labels_[i];
    label->setVisible(i < lines.size());
    if (i >= lines.size()) continue;
    label->setText(ToQString(lines[i].Text));
    // A wrapped sentence needs its lines' height; the fixed-size dialog
    // would not give it otherwise.
    label->setMinimumHeight(label->heightForWidth(label->width()));
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, lines[i].Followed ? green : red);
    label->setPalette(pal);
  }
  button_->setEnabled(!advice.Followed());
  setVisible(!lines.empty());
}

}  // namespace velmora::ui
