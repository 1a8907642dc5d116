// The options dialog `Tformopt`: the matching and rendering options of the
// next project, kept in the engine's OptionSet, with "Set As Default" and
// "Restore Default" for Defaultopt.opt beside the program. The arithmetic is
// in project/OptionControls.h; the window only moves values between its
// widgets and an OptionControls.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>

#include "project/OptionControls.h"
#include "ui/Session.h"

namespace velmora::ui {

// The "Tile sizes" combo box (cbtilesizes) of the Options window and of the
// wizard's size page: both show the next project's choice (SizingSet), kept
// in the user's settings; a change in either is the other's too.
QComboBox* MakeTileSizesBox(Session& session, QWidget* parent);
void SetTileSizesChoice(Session& session, int choice);
// "Keep each photo's shape" (cbkeepshape) likewise, for KeepShapesSet.
QCheckBox* MakeKeepShapeBox(Session& session, QWidget* parent);
void SetKeepShapeChoice(Session& session, bool on);

class OptionsDialog : public QDialog {
  Q_OBJECT
public:
  OptionsDialog(Session& session, QWidget* parent);
  // Brings OptionSet up to date from the controls and refreshes the labels.
  void ReadOptionControls();
  // The settings the wizard's advice sets (repeat radius and cap, use-all,
  // colour enhance, main-picture overlay and the matching choices) into the
  // controls, then ReadOptionControls.
  void TakeAdvisedSettings(const tmosaicproject& options, const MatchOptions& matching);
  // Start-up: the controls and OptionSet from Defaultopt.opt (or the built-in
  // defaults); OptionSet holds the file's values exactly as stored.
  Status LoadDefaultOptions();
  Status SaveDefaultOptions();     // "Set As Default"
  Status RestoreDefaultOptions();  // "Restore Default"
  // A click on the border colour swatch.
  void ChooseBorderColor();

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  QWidget* BuildRepeatGroup();
  QWidget* BuildEffectGroup();
  QWidget* BuildAdvanceGroup();
  QCheckBox* MakeCheck(QWidget* parent, const char* name, const char* caption, bool on);
  QSpinBox* MakeSpin(QWidget* parent, const char* name, ControlRange range, int value);
  QSlider* MakeSlider(QWidget* parent, const char* name, ControlRange range, int value, int tick);
  QLabel* MakePercent(QWidget* parent, const char* name, const char* text);

  OptionControls Controls() const;
  // The widgets from `c`, without running their change handling.
  void ShowControls(const OptionControls& c);
  void ShowLabels(const OptionLabels& labels);
  // After a load, save or restore: the widgets from `c` and the labels they give.
  void ShowControlsAndLabels(const OptionControls& c);
  void FillSwatch();
  int Pictures() const;

  Session& session_;
  int32_t color1_ = 0;  // the colour dialog's colour, 0x00BBGGRR

  QCheckBox* upright_ = nullptr;              // cbupright
  QCheckBox* previews_ = nullptr;             // cbpreviews
  QCheckBox* useAll_ = nullptr;               // cbuseall
  QCheckBox* limitRepeat_ = nullptr;          // cbrptlimit
  QCheckBox* fairUseAll_ = nullptr;           // cbfairuseall
  QCheckBox* detail_ = nullptr;               // cbdetail
  QCheckBox* useCap_ = nullptr;               // cbusecap
  QComboBox* recolor_ = nullptr;              // cbrecolor
  QSpinBox* radius_ = nullptr;                // seradius
  QSpinBox* repeatTimes_ = nullptr;           // serepeattime
  QSlider* randomize_ = nullptr;              // tbrandom
  QLabel* randomizeLabel_ = nullptr;          // lbrl
  QSlider* enhance_ = nullptr;                // tbenhance
  QLabel* enhanceLabel_ = nullptr;            // lbce
  QSlider* alphaMain_ = nullptr;              // tbalphablendmain
  QLabel* alphaMainLabel_ = nullptr;          // lbabm
  QSlider* alphaPen_ = nullptr;               // tbalphablendpen
  QLabel* alphaPenLabel_ = nullptr;           // lbabp
  QCheckBox* cropCell_ = nullptr;             // cbcropcell
  QCheckBox* monoCell_ = nullptr;             // cbmonocell
  QCheckBox* hFlip_ = nullptr;                // cbhf
  QCheckBox* vFlip_ = nullptr;                // cbvf
  QSpinBox* border_ = nullptr;                // ebs
  QLabel* swatch_ = nullptr;                  // imgcolor
  QRadioButton* kernels_[kKernelCount] = {};  // RadioButton1..RadioButton7
  QSlider* jpegQuality_ = nullptr;            // tbjpegq
  QLabel* jpegQualityLabel_ = nullptr;        // lbjpgq
  QCheckBox* progressive_ = nullptr;          // cbjpegp
};

}  // namespace velmora::ui
