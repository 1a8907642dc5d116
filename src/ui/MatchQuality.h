// The main window's match quality: the mosaic measured against its main
// picture (quality/Quality.h) after every job and edit, its mean in the status
// line, the "Match Quality Map" drawn over the view at every zoom (each
// cell's error, clear where the cell matches, red where it does not, with a
// legend) and "Re-pick Worst Cells...", which gives the worst cells another
// photo as Edit I does, as one undoable step.
#pragma once

#include <QAction>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QObject>
#include <vector>

#include "quality/Quality.h"
#include "ui/Session.h"

namespace velmora::ui {

class MainWindow;

// Errors up to this are left clear on the map; from the second on a cell is
// fully red (delta E, one sample per cell).
constexpr double kMapGood = 5;
constexpr double kMapPoor = 25;

class MatchQuality : public QObject {
  Q_OBJECT
public:
  MatchQuality(Session& session, MainWindow& main);
  // "Match Quality Map" (QualityMap1) into the View menu, "Re-pick Worst
  // Cells..." (RepickWorst1) into the Edit menu.
  void AddMenuItems(QMenu* view, QMenu* edit);
  // The status line's figure (lbquality).
  QLabel* MakeStatusLabel(QWidget* parent);
  void UpdateActions();

  // A job replaced the picture: measured anew, or nothing when no mosaic is
  // shown (an opened picture, a mosaic not of the project's size).
  void Refresh();
  // Refresh in two steps, for a caller that measures on a job's thread:
  // Measure reads the engine and the meter only (no window), Show puts
  // the figures and the map on the window.
  void Measure();
  void Show();
  // An edit, undo or redo drew into `rects`: their cells are measured again.
  void PixelsChanged(const std::vector<TRect>& rects);
  const QualityReport& Report() const { return report_; }

  bool MapShown() const;
  void SetMapShown(bool shown);
  // Asks for the share of cells (default 5 %), then RepickWorst.
  void RepickWorstCells();
  // The worst `percent` % of the cells, worst first, each re-picked at level
  // 1 and drawn again, as one step of the edit history.
  Status RepickWorst(double percent);

private:
  void Paint(QPainter& painter, const TRect& shown, double scale) const;
  void PaintLegend(QPainter& painter) const;
  // Two by two map pixels per cell, shifted by one in the odd rows or
  // columns of the shifted layouts, as the grid is.
  void RebuildMap();
  void ShowFigures();
  bool Measurable() const;

  Session& session_;
  MainWindow& main_;
  QualityMeter meter_;
  QualityReport report_;
  QImage map_;
  QAction* mapAction_ = nullptr;
  QAction* repickAction_ = nullptr;
  QLabel* label_ = nullptr;
};

}  // namespace velmora::ui
