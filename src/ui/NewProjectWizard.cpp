#include "ui/NewProjectWizard.h"

#include "ui/MainWindow.h"

namespace velmora::ui {

NewProjectWizard::NewProjectWizard(Session& session, QWidget* parent) : QDialog(parent), session_(session) {
  setObjectName(QStringLiteral("TForm2"));
  setWindowTitle(QStringLiteral("New Project"));
}

void NewProjectWizard::ShowFirstPage() {
  show();
  raise();
}

void NewProjectWizard::SetPictureFolder(const QString& folder) { pictureFolder_ = folder; }
void NewProjectWizard::ComputeDerivedSizes() {}
void NewProjectWizard::CollectProjectSettings() {}

void NewProjectWizard::CreatePhotoMosaic() {
  hide();
  session_.windows.main->CreateMosaic(false);
}

void NewProjectWizard::MosaicPenMode() {
  hide();
  session_.windows.main->CreateMosaic(true);
}

}  // namespace velmora::ui
