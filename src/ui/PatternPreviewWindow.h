// The pattern preview `TForm3` ("Pattern PreView"): before a mosaic is made,
// the main picture as a grid of flat colour squares, one per cell, at 4x or
// 8x, optionally with a black edge line between the cells.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QToolButton>

#include "imaging/Status.h"
#include "ui/Session.h"

namespace velmora::ui {

class PatternPreviewWindow : public QDialog {
  Q_OBJECT
public:
  PatternPreviewWindow(Session& session, QWidget* parent);
  // Draws the pattern from the project's sizes and the main picture as they
  // are now; on failure the previous pattern stays.
  Status RenderPatternPreview();

private:
  void Redraw();

  Session& session_;
  QToolButton* zoom4_;   // sb4xpt
  QToolButton* zoom8_;   // sb8xpt
  QCheckBox* edgeLine_;  // sbptline
  QLabel* image_;        // Image1
};

}  // namespace velmora::ui
