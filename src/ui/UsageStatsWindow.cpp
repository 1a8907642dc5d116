#include "ui/UsageStatsWindow.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

#include "project/UsageStats.h"
#include "ui/WindowSupport.h"

namespace velmora::ui {

UsageStatsWindow::UsageStatsWindow(Session& session, QWidget* parent)
    : QDialog(parent, Qt::Tool), session_(session) {
  setObjectName(QStringLiteral("TForm8"));
  setWindowTitle(QStringLiteral("Usage Stats and Position Extractor"));
  resize(633, 460);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(4, 4, 4, 4);

  auto* bar = new QHBoxLayout();
  // Checked (its first state) the names are file names alone; the caption is
  // the program's own and kept as users know it.
  fileNamesOnly_ = new QCheckBox(QStringLiteral("Show full name and path"), this);
  fileNamesOnly_->setObjectName(QStringLiteral("cbshortname"));
  fileNamesOnly_->setChecked(true);
  bar->addWidget(fileNamesOnly_);
  const struct {
    const char* name;
    const char* caption;
    void (UsageStatsWindow::*slot)();
  } buttons[] = {{"btdetail", "Create Detail List", &UsageStatsWindow::CreateDetailList},
                 {"btsimple", "Create Simple List", &UsageStatsWindow::CreateSimpleList},
                 {"btsave", "Save to text", &UsageStatsWindow::SaveToText}};
  for (const auto& b : buttons) {
    auto* button = new QPushButton(QString::fromLatin1(b.caption), this);
    button->setObjectName(QString::fromLatin1(b.name));
    connect(button, &QPushButton::clicked, this, b.slot);
    bar->addWidget(button);
  }
  auto* clear = new QPushButton(QStringLiteral("Clear"), this);
  clear->setObjectName(QStringLiteral("btclear"));
  bar->addWidget(clear);
  bar->addStretch(1);
  column->addLayout(bar);

  auto* splitter = new QSplitter(Qt::Horizontal, this);
  names_ = new QListWidget(splitter);
  names_->setObjectName(QStringLiteral("mainlist"));
  memo_ = new QPlainTextEdit(splitter);
  memo_->setObjectName(QStringLiteral("Memo1"));
  memo_->setTabChangesFocus(true);  // a list to read, not a place to type tabs
  memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
  memo_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  splitter->addWidget(names_);
  splitter->addWidget(memo_);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({185, 440});
  column->addWidget(splitter, 1);

  connect(fileNamesOnly_, &QCheckBox::clicked, this, &UsageStatsWindow::FillNameList);
  connect(clear, &QPushButton::clicked, memo_, &QPlainTextEdit::clear);
  CentreOnScreen(this);
  MakeToolWindow(this, session_);
}

void UsageStatsWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FillNameList();
}

void UsageStatsWindow::FillNameList() {
  // A running job may be changing the list and the map: they are read once it ends.
  if (session_.jobRunning) return;
  names_->clear();
  nameBytes_ = UsageNames(session_.engine.PicList, fileNamesOnly_->isChecked());
  for (const std::string& name : nameBytes_) names_->addItem(ToQString(name));
}

void UsageStatsWindow::ShowLines(const std::vector<std::string>& lines) {
  QStringList text;
  text.reserve(static_cast<qsizetype>(lines.size()));
  for (const std::string& line : lines) text << ToQString(line);
  memo_->setPlainText(text.join('\n'));
}

void UsageStatsWindow::CreateDetailList() {
  if (session_.jobRunning) return;
  const tmosaicproject& p = session_.engine.Project;
  ShowLines(UsageDetailLines(nameBytes_, session_.engine.Map, p.CellsAcross, p.CellsDown, &session_.engine.Blocks));
}

void UsageStatsWindow::CreateSimpleList() {
  if (session_.jobRunning) return;
  const tmosaicproject& p = session_.engine.Project;
  ShowLines(UsageSimpleLines(nameBytes_, session_.engine.Map, p.CellsAcross, p.CellsDown, &session_.engine.Blocks));
}

void UsageStatsWindow::SaveToText() {
  const QString path =
      session_.prompts.SaveFileName(this, QStringLiteral("Save to text"), QString(),
                                    QStringLiteral("*.txt (*.txt)"), nullptr, QStringLiteral("txt"));
  if (path.isEmpty()) return;
  // The memo as the user sees it (it may have been edited); an empty memo
  // has no lines.
  std::vector<std::string> lines;
  const QString text = memo_->toPlainText();
  if (!text.isEmpty())
    for (const QString& line : text.split('\n')) lines.push_back(ToBytes(line));
  ShowIfFailed(session_, this, SaveUsageText(lines, ToBytes(path)));
}

}  // namespace velmora::ui
