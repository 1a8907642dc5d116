// "Poster Panels", opened from the print window: the mosaic cut into sheets
// of paper with a chosen overlap, shown as the sheet count and the finished
// size, saved as a PDF (assembly map first, then one page per sheet) or sent
// page by page to the print window's printer. The plan is
// output/PosterPanels.h, the PDF output/PanelPdf.h.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

#include "output/PosterPanels.h"
#include "ui/Session.h"

class QPrinter;

namespace velmora::ui {

class PosterPanelsDialog : public QDialog {
  Q_OBJECT
public:
  PosterPanelsDialog(Session& session, QPrinter& printer, QWidget* parent);

  // Shows the dialog with the project's resolution the first time.
  void ShowWindow();
  // The plan for the current settings and mosaic (or why there is none).
  const Result<PanelPlan>& Plan() const { return plan_; }
  void Recompute();
  // "Save Panels PDF...": asks for a file name and writes the PDF there.
  void SavePdf();
  Status SavePdfTo(const QString& path);
  // "Print Panels...": the assembly map, then the sheets, one per page,
  // with the paper set to the plan's.
  void PrintPanels();
  Status PrintPanelPages();

private:
  PanelSettings Settings() const;
  QString Title() const;

  Session& session_;
  QPrinter& printer_;
  Result<PanelPlan> plan_{Status::Error("")};
  bool placed_ = false;
  QString lastFolder_;
  QComboBox* paper_ = nullptr;             // cbpaper
  QDoubleSpinBox* paperWidth_ = nullptr;   // sepaperwidth (mm)
  QDoubleSpinBox* paperHeight_ = nullptr;  // sepaperheight (mm)
  QSpinBox* dpi_ = nullptr;                // sepaneldpi
  QDoubleSpinBox* overlap_ = nullptr;      // seoverlap (mm)
  QDoubleSpinBox* margin_ = nullptr;       // semargin (mm)
  QLabel* count_ = nullptr;                // lbpanelcount
  QLabel* size_ = nullptr;                 // lbfinishedsize
  QPushButton* save_ = nullptr;            // btsavepanels
  QPushButton* print_ = nullptr;           // btprintpanels
};

}  // namespace velmora::ui
