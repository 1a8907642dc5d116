#include "ui/OverviewWindow.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include "view/OverviewGeometry.h"
#include "ui/MainWindow.h"
#include "ui/QtBitmap.h"
#include "ui/WindowSupport.h"

namespace velmora::ui {

OverviewWindow::OverviewWindow(Session& session, QWidget* parent)
    : QDialog(parent, Qt::Tool), session_(session) {
  setObjectName(QStringLiteral("TForm6"));
  setWindowTitle(QStringLiteral("OverView"));
  resize(254, 254);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  auto* bar = new QWidget(this);
  bar->setFixedHeight(41);
  auto* row = new QHBoxLayout(bar);
  row->setContentsMargins(6, 0, 6, 0);
  showIndicator_ = new QCheckBox(QStringLiteral("Indicator"), bar);
  showIndicator_->setObjectName(QStringLiteral("cbindicator"));
  showIndicator_->setChecked(true);
  auto* color = new QPushButton(QStringLiteral("change indicator color"), bar);
  color->setObjectName(QStringLiteral("btcolor"));
  row->addWidget(showIndicator_);
  row->addWidget(color);
  row->addStretch(1);
  column->addWidget(bar);

  image_ = new QLabel(this);
  image_->setObjectName(QStringLiteral("Image1"));
  image_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  // The picture follows the area's size, never the other way round.
  image_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
  image_->setMinimumSize(1, 1);
  column->addWidget(image_, 1);

  image_->installEventFilter(this);
  connect(showIndicator_, &QCheckBox::clicked, this, [this] { RepaintOverview(); });
  connect(color, &QPushButton::clicked, this, &OverviewWindow::ChangeIndicatorColor);
  CentreOnScreen(this);
  MakeToolWindow(this, session_);
}

void OverviewWindow::RepaintOverview() {
  // A running job may be drawing or replacing the picture: the overview
  // keeps what it shows until the job ends.
  if (session_.jobRunning) return;
  if (!image_) return;  // a resize while the window is still being built
  const Engine& engine = session_.engine;
  // The area's size as the layout will give it, also before the first show.
  layout()->activate();
  const QSize area = image_->size();
  Bitmap24 picture;
  // Drawn from the main view's reduced copies when there are some: the whole
  // mosaic is not read again on every scroll.
  const ZoomPyramid* pyramid =
      session_.windows.main ? session_.windows.main->View()->ReducedCopies() : nullptr;
  if (!DrawOverview(engine.MosaicBitmap, pyramid, area.width(), area.height(), engine.ViewRect,
                    showIndicator_->isChecked(), Color32FromBgrInt(colorBgr_), picture))
    return;  // no picture yet: the previous one stays
  const auto fit = FitOverview(area.width(), area.height(), engine.MosaicBitmap.Width(),
                               engine.MosaicBitmap.Height(), engine.ViewRect);
  indicator_ = showIndicator_->isChecked() && fit ? std::optional<TRect>(fit->Indicator) : std::nullopt;
  image_->setPixmap(QPixmap::fromImage(ToQImage(picture)));
  image_->update();
}

bool OverviewWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == image_ &&
      (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseMove)) {
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->buttons() & Qt::LeftButton) {
      MoveMainViewTo(mouse->position().toPoint());
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void OverviewWindow::MoveMainViewTo(QPoint pos) {
  if (session_.jobRunning) return;
  MainWindow* main = session_.windows.main;
  const Engine& engine = session_.engine;
  const QSize area = image_->size();
  const auto fit = FitOverview(area.width(), area.height(), engine.MosaicBitmap.Width(),
                               engine.MosaicBitmap.Height(), engine.ViewRect);
  if (!main || !fit || fit->Scale <= 0) return;
  // The overview pixel's picture position, clipped to the picture.
  const int x = std::clamp(static_cast<int>(pos.x() / fit->Scale), 0, engine.MosaicBitmap.Width() - 1);
  const int y = std::clamp(static_cast<int>(pos.y() / fit->Scale), 0, engine.MosaicBitmap.Height() - 1);
  main->View()->CentreOn(ViewPoint{x, y});
}

void OverviewWindow::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  RepaintOverview();
}

void OverviewWindow::ChangeIndicatorColor() {
  const int64_t chosen = session_.prompts.ChooseColor(this, colorBgr_);
  if (chosen < 0) return;
  colorBgr_ = static_cast<int32_t>(chosen);
  RepaintOverview();
}

}  // namespace velmora::ui
