#include "ui/PatternPreviewWindow.h"

#include <QButtonGroup>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QScrollArea>
#include <QVBoxLayout>

#include "project/PatternPreview.h"
#include "ui/QtBitmap.h"
#include "ui/WindowSupport.h"

namespace velmora::ui {

PatternPreviewWindow::PatternPreviewWindow(Session& session, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint), session_(session) {
  setObjectName(QStringLiteral("TForm3"));
  setWindowTitle(QStringLiteral("Pattern PreView"));
  resize(272, 341);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(4, 4, 4, 4);

  auto* row = new QHBoxLayout();
  auto* group = new QButtonGroup(this);
  group->setExclusive(true);
  auto zoomButton = [&](const char* name, const char* caption) {
    auto* b = new QToolButton(this);
    b->setObjectName(QString::fromLatin1(name));
    b->setText(QString::fromLatin1(caption));
    b->setCheckable(true);
    b->setMinimumWidth(40);
    group->addButton(b);
    row->addWidget(b);
    connect(b, &QToolButton::clicked, this, &PatternPreviewWindow::Redraw);
    return b;
  };
  zoom4_ = zoomButton("sb4xpt", "4x");
  zoom8_ = zoomButton("sb8xpt", "8x");
  zoom8_->setChecked(true);
  edgeLine_ = new QCheckBox(QStringLiteral("edge line"), this);
  edgeLine_->setObjectName(QStringLiteral("sbptline"));
  edgeLine_->setChecked(true);
  connect(edgeLine_, &QCheckBox::clicked, this, &PatternPreviewWindow::Redraw);
  row->addWidget(edgeLine_);
  row->addStretch(1);
  column->addLayout(row);

  auto* scroll = new QScrollArea(this);
  scroll->setObjectName(QStringLiteral("ScrollBox1"));
  image_ = new QLabel(scroll);
  image_->setObjectName(QStringLiteral("Image1"));
  // The picture sizes itself to the pattern; the area scrolls.
  scroll->setWidget(image_);
  scroll->setWidgetResizable(false);
  column->addWidget(scroll, 1);

  CentreOnScreen(this);
}

Status PatternPreviewWindow::RenderPatternPreview() {
  const Engine& engine = session_.engine;
  Bitmap24 pattern;
  VELMORA_TRY(velmora::RenderPatternPreview(engine.Project, engine.MainBitmap, zoom4_->isChecked() ? 4 : 8,
                                            edgeLine_->isChecked(), pattern, &engine.MasksSet));
  image_->setPixmap(QPixmap::fromImage(ToQImage(pattern)));
  image_->resize(pattern.Width(), pattern.Height());
  image_->update();
  return Status::Ok();
}

void PatternPreviewWindow::Redraw() { ShowIfFailed(session_, this, RenderPatternPreview()); }

}  // namespace velmora::ui
