// The new-project wizard `TForm2` ("New Project"): main picture, mosaic size,
// project options and the final check with the project brief, and the two
// commands that start the engine ("Create Photo Mosaic", "Mosaic Pen Mode").
#pragma once

#include <QDialog>

#include "ui/Session.h"

namespace velmora::ui {

class NewProjectWizard : public QDialog {
  Q_OBJECT
public:
  NewProjectWizard(Session& session, QWidget* parent);
  // "New": show the wizard on its first page.
  void ShowFirstPage();
  // The main-picture open dialog's start folder.
  void SetPictureFolder(const QString& folder);
  void ComputeDerivedSizes();
  void CollectProjectSettings();
  void CreatePhotoMosaic();
  void MosaicPenMode();

private:
  Session& session_;
  QString pictureFolder_;
};

}  // namespace velmora::ui
