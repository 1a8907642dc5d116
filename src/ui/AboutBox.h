// The about box `Taboutform`: the product's name, version and licence notes,
// with an "OK" button that closes it.
#pragma once

#include <QDialog>

namespace velmora::ui {

class AboutBox : public QDialog {
  Q_OBJECT
public:
  explicit AboutBox(QWidget* parent);
};

}  // namespace velmora::ui
