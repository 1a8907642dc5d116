#include "ui/OptionsDialog.h"

#include "project/DefaultOptionsFile.h"

namespace velmora::ui {

OptionsDialog::OptionsDialog(Session& session, QWidget* parent) : QDialog(parent), session_(session) {
  setObjectName(QStringLiteral("Tformopt"));
  setWindowTitle(QStringLiteral("Options"));
}

void OptionsDialog::ReadOptionControls() {}

Status OptionsDialog::LoadDefaultOptions() {
  return velmora::LoadDefaultOptions(session_.engine.OptionSet, session_.programFolder);
}

Status OptionsDialog::SaveDefaultOptions() { return Status::Ok(); }
Status OptionsDialog::RestoreDefaultOptions() { return Status::Ok(); }

}  // namespace velmora::ui
