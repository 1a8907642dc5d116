// The "Bead Chart" window: the open mosaic's grid as a bead pattern, with a
// preview of the beaded piece, the palette, the colour limit, the bead size
// and diffusion, and the exports (PDF chart, word chart, CSV grid, PNG).
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QSpinBox>
#include <functional>
#include <optional>
#include <vector>

#include "output/BeadChart.h"
#include "ui/Session.h"

namespace velmora::ui {

class BeadChartWindow : public QDialog {
  Q_OBJECT
public:
  BeadChartWindow(Session& session, QWidget* parent);

  // Makes the chart again from the engine's grid and the settings.
  void Rebuild();
  const std::optional<BeadChart>& Chart() const { return chart_; }

  void ExportPdf();
  void ExportWords();
  void ExportCsv();
  void ExportPng();

protected:
  void showEvent(QShowEvent* event) override;

private:
  void PaletteChosen();
  // The palette file the user picked for "Other palette file...".
  std::optional<BeadPalette> userPalette_;
  void Export(const QString& caption, const QString& filter, const QString& suffix,
              const std::function<Status(const std::string&)>& write);

  Session& session_;
  QComboBox* palette_;  // cbpalette
  QSpinBox* colors_;    // secolors, 0 = no limit
  QComboBox* bead_;     // cbbead
  QCheckBox* dither_;   // cbdither
  QLabel* preview_;     // imgpreview
  QLabel* summary_;     // lbsummary
  std::optional<BeadChart> chart_;
  std::vector<CellColor> cells_;
  // A setting changed while the chart was being worked out: it is worked
  // out again once that ends.
  bool rebuildAgain_ = false;
  int lastPalette_ = 0;
};

}  // namespace velmora::ui
