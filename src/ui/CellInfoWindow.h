// The cell info window `TForm9` ("Cell Info"): what one cell holds, its
// library index and file, and the picture itself fitted into a 193 x 193 box.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>

#include "ui/Session.h"

namespace velmora::ui {

class CellInfoWindow : public QDialog {
  Q_OBJECT
public:
  CellInfoWindow(Session& session, QWidget* parent);
  void ShowCellInfo(int x, int y);

private:
  Session& session_;
  QLabel* image_;         // Image1
  QPlainTextEdit* memo_;  // Memo1
};

}  // namespace velmora::ui
