// The options dialog `Tformopt`: the matching and rendering options of the
// next project, kept in the engine's OptionSet, with "Set As Default" and
// "Restore Default" for Defaultopt.opt beside the program.
#pragma once

#include <QDialog>

#include "project/OptionControls.h"
#include "ui/Session.h"

namespace velmora::ui {

class OptionsDialog : public QDialog {
  Q_OBJECT
public:
  OptionsDialog(Session& session, QWidget* parent);
  // Brings OptionSet up to date from the controls and refreshes the labels.
  void ReadOptionControls();
  // Start-up: the controls and OptionSet from Defaultopt.opt (or the built-in defaults).
  Status LoadDefaultOptions();
  Status SaveDefaultOptions();     // "Set As Default"
  Status RestoreDefaultOptions();  // "Restore Default"

private:
  Session& session_;
};

}  // namespace velmora::ui
