#include "ui/HelpWindow.h"

#include <QAbstractTextDocumentLayout>
#include <QHBoxLayout>
#include <QScrollBar>
#include <QSplitter>
#include <QTextBlock>
#include <QVBoxLayout>

#include "ui/MainWindow.h"
#include "ui/WindowSupport.h"

namespace velmora::ui {
namespace {

// The help text and its pictures are built into the program.
constexpr const char* kHelpSource = "qrc:/help/help.md";

QTextBlock SectionBlock(const QTextDocument* doc, const QString& title) {
  for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
    if (b.blockFormat().headingLevel() == 2 && b.text().trimmed() == title) return b;
  return QTextBlock();
}

}  // namespace

HelpWindow::HelpWindow(Session& session, QWidget* parent) : QDialog(parent, Qt::Window), session_(session) {
  setObjectName(QStringLiteral("HelpWindow"));
  setWindowTitle(QStringLiteral("Velmora Help"));
  auto* column = new QVBoxLayout(this);
  auto* split = new QSplitter(this);
  contents_ = new QListWidget(split);
  contents_->setObjectName(QStringLiteral("helpcontents"));
  text_ = new QTextBrowser(split);
  text_->setObjectName(QStringLiteral("helptext"));
  text_->setOpenExternalLinks(true);
  split->addWidget(contents_);
  split->addWidget(text_);
  split->setStretchFactor(1, 1);
  split->setSizes({190, 610});
  column->addWidget(split, 1);
  auto* row = new QHBoxLayout();
  row->addStretch(1);
  // The same text as a document for printing or reading elsewhere.
  QPushButton* pdf = MakePushButton(this, "btpdf", QStringLiteral("Open help.pdf"));
  connect(pdf, &QPushButton::clicked, this, [this] {
    if (session_.windows.main) session_.windows.main->ShowHelpPdf();
  });
  row->addWidget(pdf);
  QPushButton* close = MakePushButton(this, "btclose", QStringLiteral("Close"));
  connect(close, &QPushButton::clicked, this, &QDialog::close);
  row->addWidget(close);
  column->addLayout(row);
  connect(contents_, &QListWidget::currentTextChanged, this,
          [this](const QString& title) { ShowSection(title); });
  resize(820, 600);
}

void HelpWindow::LoadText() {
  if (loaded_) return;
  loaded_ = true;
  text_->document()->setDefaultStyleSheet(
      QStringLiteral("h1 { color: #27456f; } h2 { color: #27456f; } td, th { padding: 3px; }"));
  text_->setSource(QUrl(QString::fromLatin1(kHelpSource)), QTextDocument::MarkdownResource);
  contents_->clear();
  for (QTextBlock b = text_->document()->begin(); b.isValid(); b = b.next())
    if (b.blockFormat().headingLevel() == 2) contents_->addItem(b.text().trimmed());
}

QStringList HelpWindow::Sections() const {
  QStringList out;
  for (int i = 0; i < contents_->count(); ++i) out << contents_->item(i)->text();
  return out;
}

void HelpWindow::ShowWindow() {
  LoadText();
  if (!placed_) {
    placed_ = true;
    CentreOnScreen(this);
  }
  ShowInFront(this);
}

bool HelpWindow::ShowSection(const QString& title) {
  LoadText();
  const QTextBlock block = SectionBlock(text_->document(), title);
  if (!block.isValid()) return false;
  const QRectF at = text_->document()->documentLayout()->blockBoundingRect(block);
  text_->verticalScrollBar()->setValue(int(at.top()));
  return true;
}

}  // namespace velmora::ui
