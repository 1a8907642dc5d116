// The new-project wizard `TForm2` ("New Project"): main picture, mosaic size,
// project options and the final check with the project brief, and the two
// commands that start the engine ("Create Photo Mosaic", "Mosaic Pen Mode").
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>

#include "imaging/Bitmap24.h"
#include "ui/Session.h"

namespace velmora::ui {

class PictureArea;
class AdvicePanel;

class NewProjectWizard : public QDialog {
  Q_OBJECT
public:
  NewProjectWizard(Session& session, QWidget* parent);
  // "New": show the wizard on its first page; nothing is recomputed.
  void ShowFirstPage();
  // The main-picture open dialog's start folder.
  void SetPictureFolder(const QString& folder);
  // The sizes of the "Mosaic Size" page into Project and onto its labels.
  void ComputeDerivedSizes();
  // Sizes, options, render mode and stitch into Project, then the brief.
  void CollectProjectSettings();
  void CreatePhotoMosaic();
  void MosaicPenMode();

  // The first page's commands.
  void LoadMainImage();
  void LoadMainImageFrom(const QString& path);  // what LoadMainImage does once a file is chosen
  void DrawLevelPicture();
  void MonochromeClicked();
  void ResetMainImage();
  void SaveBriefInfo();
  void PatternPreview();
  // "Use suggested settings": the advice's cells down here and its repeat
  // settings in the Options dialog, then the settings collected again.
  void UseSuggestedSettings();

private:
  QWidget* BuildMainImagePage();
  QWidget* BuildSizePage();
  QWidget* BuildOptionsPage();
  QWidget* BuildFinalPage();
  QSpinBox* MakeSpin(QWidget* parent, const char* name, int min, int max, int value, int digits);
  // A spin edit's number as typed: text that is not a whole number counts
  // as the control's minimum (the range is applied before use).
  static int TypedValue(const QSpinBox* spin);
  // The picture area shows MainBitmap fitted into 271 x 255.
  void ShowMainBitmap();
  bool MainFileExists() const;
  // The create commands' common part; false when refused.
  bool PrepareToCreate();
  // The settings advice for the sizes, library and options as they stand.
  void ShowAdvice();
  // The "Avoid Stretch" note: red while the mosaic's ratio and the main
  // picture's differ, in the normal colour once they match.
  void ShowStretchNote(bool ratiosDiffer);

  Session& session_;
  QString pictureFolder_;
  bool switchingPage_ = false;  // a page switch by the program, not the user

  QTabWidget* pages_ = nullptr;
  PictureArea* pictureArea_ = nullptr;  // f2img1
  Bitmap24 areaContent_;                // what the picture area shows
  QLabel* mainName_ = nullptr;          // lbmainname
  QLabel* mainSize_ = nullptr;          // lbmainsize
  QLabel* mainAspect_ = nullptr;        // lbaspect1
  QLabel* level_ = nullptr;             // Image1
  QRadioButton* levelButtons_[4] = {};  // btslrgb, btslr, btslg, btslb
  QCheckBox* mono_ = nullptr;           // cbmonomain

  QSpinBox* dpi_ = nullptr;            // eddpi
  QSpinBox* cellsAcross_ = nullptr;    // edhcc
  QSpinBox* cellsDown_ = nullptr;      // edvcc
  QSpinBox* cellWidth_ = nullptr;      // edcw
  QSpinBox* cellHeight_ = nullptr;     // edch
  QCheckBox* cropMain_ = nullptr;      // cbcropmain
  QLabel* widthPixels_ = nullptr;      // LBMWP
  QLabel* heightPixels_ = nullptr;     // LBMHP
  QLabel* widthInch_ = nullptr;        // lbmwi
  QLabel* heightInch_ = nullptr;       // lbmhi
  QLabel* widthCm_ = nullptr;          // lbmwm
  QLabel* heightCm_ = nullptr;         // lbmhm
  QLabel* mosaicAspect_ = nullptr;     // lbaspect
  QLabel* imageAspect_ = nullptr;      // lbaspect2
  QLabel* stretchNote_ = nullptr;      // lbstretch
  QLabel* memoryInstalled_ = nullptr;  // LBMBphy
  QLabel* memoryNeeded_ = nullptr;     // LBMBneed

  QRadioButton* selfMosaic_ = nullptr;      // rbrm1
  QRadioButton* standardRender_ = nullptr;  // rbrm2
  QRadioButton* stitch_[3] = {};            // rss1, rss2, rss3

  QPlainTextEdit* brief_ = nullptr;  // Memo1
  AdvicePanel* sizeAdvice_ = nullptr;   // advicesize
  AdvicePanel* finalAdvice_ = nullptr;  // advicefinal
};

}  // namespace velmora::ui
