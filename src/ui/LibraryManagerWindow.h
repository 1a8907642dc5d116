// The library manager `TForm4` ("Cell Image Lib Manager"): the library list
// with its count and tick boxes, thumbnails of the pictures beside it, a
// preview of the clicked picture (with its level chart and cell-colour
// swatch on request) and the list commands: add (through the loader), delete
// the ticked pictures (or the highlighted one), delete all, load and save
// list files, set and restore the default list, and the pass that finds an
// unreadable or partly readable picture.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <vector>

#include "imaging/Status.h"
#include "ui/Session.h"

namespace velmora::ui {

class LibraryManagerWindow : public QDialog {
  Q_OBJECT
public:
  LibraryManagerWindow(Session& session, QWidget* parent);

  // Shows the window (centred the first time) and brings it to the front.
  void ShowWindow();
  // The list and the count from the library, after it was replaced or grew.
  void RefreshList();
  // The preview of one picture: fitted into "overview"; with info also the
  // level chart and the 2 x 2 cell-colour swatch. On failure the previous
  // preview stays. `warning` receives the reader's words for a picture that
  // decoded only partly.
  Status ShowLibraryPicture(const QString& path, bool withInfo, std::string* warning = nullptr);
  // "Check Bad Pic": previews every existing picture in turn and stops at
  // the first one that cannot be read or reads only partly, leaving it
  // selected.
  void CheckLibraryPictures();
  // True while the list must not change: a job or the check pass runs.
  bool ListLocked() const;
  // Enables the commands that change the list as ListLocked allows.
  void UpdateCommands();

  // The commands, also for tests.
  void AddPicture();
  void DeletePicture();
  void DeleteAll();
  void LoadImageList();
  void SaveImageList();
  void SetAsDefault();
  void RestoreDefault();
  // Frames of a video saved as photos beside it, and added to the list.
  void AddVideoFrames();

protected:
  void closeEvent(QCloseEvent* event) override;

private:
  void EntryClicked(QListWidgetItem* item);
  void ThumbnailClicked(QListWidgetItem* item);
  // Reads the thumbnails of the rows in sight that have none yet, a few at a
  // time, so that a library of tens of thousands stays responsive.
  void LoadVisibleThumbnails();
  void ScheduleThumbnails();
  void SetCount();
  void SetChecking(bool on);

  Session& session_;
  QLabel* count_ = nullptr;        // lfcount
  QListWidget* list_ = nullptr;    // CellPicList
  QListWidget* thumbs_ = nullptr;  // thumbnails
  QTimer thumbTimer_;
  QCheckBox* cellInfo_ = nullptr;           // cbcellpicinfo
  QLabel* overview_ = nullptr;              // cellpicov
  QLabel* level_ = nullptr;                 // cellpiclevel
  QLabel* cellColor_ = nullptr;             // cellpic41
  std::vector<QPushButton*> listCommands_;  // change the list
  std::vector<QPushButton*> readCommands_;  // only read it
  bool checking_ = false;
  bool stopCheck_ = false;
  bool placed_ = false;
};

}  // namespace velmora::ui
