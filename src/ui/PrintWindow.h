// The print window `TForm7` ("Print Mosaic Picture"): the printer's figures,
// the picture's size and printed sizes and the page count for fit to page or
// a chosen resolution, "Printer Setup", and printing the mosaic on one page
// or in tiles over several. The arithmetic is output/PrintLayout.h.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include "output/PrintLayout.h"
#include "ui/Session.h"

namespace velmora::ui {

class PosterPanelsDialog;

class PrintWindow : public QDialog {
  Q_OBJECT
public:
  PrintWindow(Session& session, QWidget* parent);

  // Shows the window (centred the first time) with fresh figures.
  void ShowWindow();
  // The printer the window prints on. Without an installed printer it writes
  // PDF files; a test points it at a file of its own.
  QPrinter& Printer() { return printer_; }
  // Reads the printer's figures and the picture, lays out the pages and
  // sets the labels.
  void Recompute();
  const PrintLayout& Layout() const { return layout_; }
  // The job title: "Velmora project" and the main picture's file name.
  QString JobTitle() const;

  // "Print": the print dialog, then, when confirmed, the pages; the window
  // closes either way.
  void Print();
  // The pages themselves, on the printer as it is set up.
  Status PrintPages();
  // "Printer Setup": paper, orientation and margins; recomputes when confirmed.
  void PrinterSetup();
  // "Poster Panels...": the mosaic cut into sheets, saved as PDF or printed.
  PosterPanelsDialog* Panels();
  // "Print" waits while a job runs.
  void UpdateCommands();

protected:
  void showEvent(QShowEvent* event) override;

private:
  PrinterMetrics Metrics() const;
  int PrintDpi() const;
  void DpiTextEdited(const QString& text);

  Session& session_;
  QPrinter printer_;
  PrintLayout layout_;
  int dpiEntry_ = 2;  // the last entry of the resolution list in force
  bool placed_ = false;
  QLabel* sourceSize_ = nullptr;   // lbsourcesize
  QRadioButton* fit_ = nullptr;    // rbfit
  QRadioButton* atDpi_ = nullptr;  // RadioButton2
  QComboBox* dpiList_ = nullptr;   // cdpi
  QSpinBox* customDpi_ = nullptr;  // seCDPI
  QLabel* printedSize_ = nullptr;  // lbprintedfullsize
  QLabel* cellSize_ = nullptr;     // lbprintedcellsize
  QLabel* pageCount_ = nullptr;    // lbpagecount
  QLabel* printerDpi_ = nullptr;   // lpdpi
  QLabel* pageSize_ = nullptr;     // lpagesize
  QPushButton* print_ = nullptr;   // btprint

  PosterPanelsDialog* panels_ = nullptr;  // made on first use
};

}  // namespace velmora::ui
