#include "ui/AboutBox.h"

#include <QDialogButtonBox>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/ProgramInfo.h"

namespace velmora::ui {

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("Taboutform"));
  setWindowTitle(QStringLiteral("About"));
  auto* column = new QVBoxLayout(this);
  auto* icon = new QLabel(this);
  icon->setPixmap(QIcon(QStringLiteral(":/glyphs/velmora.svg")).pixmap(64, 64));
  icon->setAlignment(Qt::AlignCenter);
  auto* name = new QLabel(QStringLiteral("<h2>%1</h2>").arg(QString::fromLatin1(kProductName)), this);
  name->setObjectName(QStringLiteral("ProductName"));
  name->setAlignment(Qt::AlignCenter);
  auto* version = new QLabel(QStringLiteral("Version %1").arg(QString::fromLatin1(kProductVersion)), this);
  version->setObjectName(QStringLiteral("Version"));
  version->setAlignment(Qt::AlignCenter);
  auto* text = new QLabel(QStringLiteral("Photo mosaics from your own pictures.\n"
                                         "Sample photographs: see images/SOURCES.md beside the program."),
                          this);
  text->setAlignment(Qt::AlignCenter);
  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
  ok->setObjectName(QStringLiteral("OKButton"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  for (QWidget* w : {static_cast<QWidget*>(icon), static_cast<QWidget*>(name), static_cast<QWidget*>(version),
                     static_cast<QWidget*>(text), static_cast<QWidget*>(buttons)})
    column->addWidget(w);
}

}  // namespace velmora::ui
