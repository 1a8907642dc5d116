// The picture-file loader `TForm5` ("Load Image Files"): a folder tree with
// a path field and the usual places above it, the picture files of the
// chosen folder (optionally of all its subfolders) sorted by name with check
// marks, a preview of the clicked file, and the commands that append the
// checked or all listed files to the library.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTreeView>

#include "ui/Session.h"

namespace velmora::ui {

class FileLoaderWindow : public QDialog {
  Q_OBJECT
public:
  FileLoaderWindow(Session& session, QWidget* parent);

  // Shows the window (centred the first time) as it was left.
  void ShowWindow();
  // Chooses a folder in the tree as a click would: the list shows its own files.
  void ChooseFolder(const QString& folder);
  QString Folder() const { return folder_; }
  // Where the loader opens: the user's Pictures folder, else home.
  static QString StartFolder();
  void UpdateCommands();

  // The commands, also for tests.
  void SelectAll();
  void UnselectAll();
  void ReverseSelect();
  void ClearList();
  void LoadSelected();
  void LoadAll();

private:
  void FolderChosen(const QModelIndex& index);
  void PathTyped();
  void ListFolder();
  void LineClicked(QListWidgetItem* item);
  void SetMarks(int mode);  // 0 clear, 1 set, 2 invert
  void Append(bool checkedOnly, const QString& limitMessage);

  Session& session_;
  QFileSystemModel* model_ = nullptr;
  QTreeView* tree_ = nullptr;     // tree1
  QListWidget* list_ = nullptr;   // list1
  QLabel* count_ = nullptr;       // lbfc
  QLabel* leftOut_ = nullptr;     // lbleftout: pictures the listing had to leave out
  QLabel* preview_ = nullptr;     // Image1
  QCheckBox* listAll_ = nullptr;  // cblistall
  QCheckBox* allFormats_ = nullptr;  // cballformats
  QLineEdit* path_ = nullptr;     // edpath
  QPushButton* loadSelected_ = nullptr;
  QPushButton* loadAll_ = nullptr;
  QString folder_;
  bool placed_ = false;
  bool scrollPending_ = false;
};

}  // namespace velmora::ui
