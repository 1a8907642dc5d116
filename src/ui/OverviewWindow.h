// The overview window `TForm6` ("OverView"): the whole mosaic fitted into the
// window with a frame, the indicator, around the part the main view shows.
// It follows every repaint of the main view while it is visible. A click or a
// drag in the picture moves the main view there (centred on the point).
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <optional>

#include "imaging/Geometry.h"
#include "ui/Session.h"

namespace velmora::ui {

class OverviewWindow : public QDialog {
  Q_OBJECT
public:
  OverviewWindow(Session& session, QWidget* parent);
  void RepaintOverview();
  // The indicator of the last repaint that drew one.
  std::optional<TRect> IndicatorRect() const { return indicator_; }
  int32_t IndicatorColor() const { return colorBgr_; }

protected:
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void ChangeIndicatorColor();
  void MoveMainViewTo(QPoint pos);

  Session& session_;
  QCheckBox* showIndicator_ = nullptr;  // cbindicator
  QLabel* image_ = nullptr;             // Image1
  int32_t colorBgr_ = 0;                // 0x00BBGGRR; black until the user picks one
  std::optional<TRect> indicator_;
};

}  // namespace velmora::ui
