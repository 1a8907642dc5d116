// The library manager and the picture-file loader driven through their
// buttons: adding from a folder (its own files, then its subfolders too),
// deleting, saving and loading a list file, "Set as Default" answered with
// Cancel, the check pass stopping at a damaged picture, and the loader's limit.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include "UiTestSupport.h"
#include "library/ImageListFile.h"
#include "ui/FileLoaderWindow.h"
#include "ui/LibraryManagerWindow.h"
#include "ui/WindowHooks.h"

namespace velmora::testing {
namespace {

namespace fs = std::filesystem;

class LibraryWindowsTest : public ProgramTest {
protected:
  ui::LibraryManagerWindow* Manager() { return Session().windows.library; }
  ui::FileLoaderWindow* Loader() { return Session().windows.loader; }
  QString Count() { return Find<QLabel>(Manager(), "lfcount")->text(); }
  QListWidget* List() { return Find<QListWidget>(Manager(), "CellPicList"); }
  QListWidget* Lines() { return Find<QListWidget>(Loader(), "list1"); }
  void Press(QWidget* window, const char* button) { Find<QPushButton>(window, button)->click(); }
  QStringList LineTexts() {
    QStringList texts;
    for (int i = 0; i < Lines()->count(); ++i) texts << Lines()->item(i)->text();
    return texts;
  }
  // The library as the manager shows it.
  QStringList Shown() {
    QStringList texts;
    for (int i = 0; i < List()->count(); ++i) texts << List()->item(i)->text();
    return texts;
  }
  QStringList Library() {
    QStringList texts;
    for (const std::string& p : Engine().PicList.Paths()) texts << ui::ToQString(p);
    return texts;
  }
};

TEST_F(LibraryWindowsTest, AddsDeletesSavesAndLoadsTheList) {
  Start(3);
  Main().findChild<QAction*>("ImageLib1")->trigger();
  ASSERT_TRUE(Manager()->isVisible());
  EXPECT_EQ(Count(), "3");  // the start-up list
  EXPECT_EQ(Shown(), Library());

  // A folder with a picture of its own and one in a subfolder.
  const fs::path more = folder.path() / "more";
  fs::create_directories(more / "sub");
  fs::copy_file(Engine().PicList[0], more / "own.jpg");
  fs::copy_file(Engine().PicList[1], more / "sub" / "deep.JPG");
  WriteWholeFile(more / "notes.txt", "x");
  WriteWholeFile(more / "phone.heic", "x");
  Press(Manager(), "Button1");
  ASSERT_TRUE(Loader()->isVisible());
  Loader()->ChooseFolder(QString::fromStdString(more.string()));
  EXPECT_EQ(LineTexts(), QStringList{QString::fromStdString((more / "own.jpg").string())});
  EXPECT_EQ(Find<QLabel>(Loader(), "lbfc")->text(), "1");
  // Widened to every picture format, and back.
  Find<QCheckBox>(Loader(), "cballformats")->click();
  EXPECT_EQ(Lines()->count(), 2);
  Find<QCheckBox>(Loader(), "cballformats")->click();
  EXPECT_EQ(Lines()->count(), 1);
  Find<QCheckBox>(Loader(), "cblistall")->click();
  ASSERT_EQ(Lines()->count(), 2);
  EXPECT_EQ(Find<QLabel>(Loader(), "lbfc")->text(), "2");
  // Check both, then turn the second off again.
  Press(Loader(), "Button2");
  Lines()->item(1)->setCheckState(Qt::Unchecked);
  Press(Loader(), "btloadallsel");
  EXPECT_FALSE(Loader()->isVisible());
  ASSERT_EQ(Engine().PicList.Count(), 4);
  EXPECT_EQ(Library().back(), LineTexts()[0]);
  EXPECT_EQ(Count(), "4");
  EXPECT_EQ(Shown(), Library());
  // Choosing a folder again lists only its own files and clears the box.
  Loader()->ChooseFolder(QString::fromStdString(more.string()));
  EXPECT_FALSE(Find<QCheckBox>(Loader(), "cblistall")->isChecked());
  EXPECT_EQ(Lines()->count(), 1);

  // Delete the first entry: the others move up.
  const QStringList before = Library();
  Press(Manager(), "btdel");  // nothing selected: nothing happens
  EXPECT_EQ(Engine().PicList.Count(), 4);
  List()->setCurrentRow(0);
  Press(Manager(), "btdel");
  EXPECT_EQ(Library(), before.mid(1));
  EXPECT_EQ(Count(), "3");
  EXPECT_EQ(Shown(), Library());

  // Save (the suffix is added), delete all, load back.
  prompts.saveAnswers.push_back(QString::fromStdString(folder / "mine"));
  Press(Manager(), "btsilist");
  EXPECT_EQ(prompts.lastSaveFilter, "Image List File (*.IL2)");
  const std::vector<uint8_t> text = ImageListText(Engine().PicList);
  EXPECT_EQ(ReadWholeFile(folder / "mine.il2"), std::string(text.begin(), text.end()));
  const QStringList saved = Library();
  Press(Manager(), "Button7");
  EXPECT_EQ(Engine().PicList.Count(), 0);
  EXPECT_EQ(Count(), "0");
  prompts.openAnswers.push_back(QString::fromStdString(folder / "mine.il2"));
  Press(Manager(), "ldilist");
  EXPECT_EQ(Library(), saved);
  EXPECT_EQ(Count(), "3");
  EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(LibraryWindowsTest, PreviewShowsLevelChartAndSwatchOnRequest) {
  Start(2);
  Manager()->ShowWindow();
  Find<QCheckBox>(Manager(), "cbcellpicinfo")->setChecked(true);
  QListWidgetItem* first = List()->item(0);
  emit List()->itemClicked(first);
  EXPECT_EQ(Find<QLabel>(Manager(), "cellpiclevel")->pixmap().size(), QSize(129, 65));
  EXPECT_EQ(Find<QLabel>(Manager(), "cellpic41")->pixmap().size(), QSize(64, 64));
  const QSize fitted = Find<QLabel>(Manager(), "cellpicov")->pixmap().size();
  EXPECT_TRUE(fitted.width() == 201 || fitted.height() == 161) << fitted.width() << "x" << fitted.height();
}

TEST_F(LibraryWindowsTest, SetAsDefaultAskedAndCancelled) {
  Start(3);
  Manager()->ShowWindow();
  const std::string before = ReadWholeFile(folder / kDefaultImageListName);
  List()->setCurrentRow(0);
  Press(Manager(), "btdel");
  prompts.confirmAnswer = false;
  Press(Manager(), "Button4");
  ASSERT_EQ(prompts.confirms.size(), 1u);
  EXPECT_EQ(prompts.confirms[0], "This action will overwrite existed default image list");
  EXPECT_EQ(ReadWholeFile(folder / kDefaultImageListName), before);
  prompts.confirmAnswer = true;
  Press(Manager(), "Button4");
  const std::vector<uint8_t> text = ImageListText(Engine().PicList);
  EXPECT_EQ(ReadWholeFile(folder / kDefaultImageListName), std::string(text.begin(), text.end()));
  // "Restore Default" rebuilds from the images folder.
  Press(Manager(), "Button3");
  EXPECT_EQ(Count(), "3");
}

TEST_F(LibraryWindowsTest, CheckBadPicStopsAtTheDamagedPicture) {
  Start(2);
  Manager()->ShowWindow();
  const std::string good = Engine().PicList[0];
  const std::string damaged = std::string(VELMORA_TEST_DATA) + "/bad/bmp/truncated-pixels.bmp";
  Engine().PicList.Assign({good, folder / "missing.jpg", damaged, good});
  ui::NotifyLibraryChanged(Session());
  // The pass lets events run between pictures; meanwhile nothing may change the list.
  bool deleteEnabled = true, newEnabled = true;
  QTimer::singleShot(0, [&] {
    deleteEnabled = Find<QPushButton>(Manager(), "btdel")->isEnabled();
    newEnabled = Find<QToolButton>(&Main(), "sbnew")->isEnabled();
  });
  Press(Manager(), "Button2");
  EXPECT_FALSE(deleteEnabled);
  EXPECT_FALSE(newEnabled);
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0].first, "Error");
  EXPECT_NE(prompts.messages[0].second, "check finished");
  EXPECT_EQ(List()->currentRow(), 2);
  EXPECT_TRUE(List()->item(2)->isSelected());
  EXPECT_EQ(Engine().PicList.Count(), 4);  // the check never edits the list
  EXPECT_TRUE(Find<QPushButton>(Manager(), "btdel")->isEnabled());

  // Without it, the pass ends with its notice; the missing file is passed over.
  prompts.messages.clear();
  Engine().PicList.Delete(2);
  ui::NotifyLibraryChanged(Session());
  Press(Manager(), "Button2");
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0], std::make_pair(QString("Finish"), QString("check finished")));

  // A JPEG named .heic reads (by its content) and is named in the notice.
  prompts.messages.clear();
  const std::string misnamed = std::string(VELMORA_TEST_DATA) + "/photo/jpeg-inside.heic";
  Engine().PicList.Assign({good, misnamed});
  ui::NotifyLibraryChanged(Session());
  Press(Manager(), "Button2");
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0].first, "Finish");
  EXPECT_TRUE(prompts.messages[0].second.startsWith("check finished\n\n" + QString::fromStdString(misnamed)))
      << prompts.messages[0].second.toStdString();
  EXPECT_TRUE(prompts.messages[0].second.contains("a JPEG file with the extension of a HEIF file"));
}

TEST_F(LibraryWindowsTest, TicksChooseWhatDeleteRemovesAndDeleteAllAsks) {
  Start(5);
  Manager()->ShowWindow();
  const QStringList all = Library();
  // Two ticked, another highlighted: the ticked ones go.
  List()->setCurrentRow(0);
  List()->item(1)->setCheckState(Qt::Checked);
  List()->item(3)->setCheckState(Qt::Checked);
  Press(Manager(), "btdel");
  EXPECT_EQ(Library(), (QStringList{all[0], all[2], all[4]}));
  EXPECT_EQ(Shown(), Library());
  EXPECT_EQ(Count(), "3");
  EXPECT_EQ(Find<QListWidget>(Manager(), "thumbnails")->count(), 3);
  // None ticked: the highlighted one goes.
  List()->setCurrentRow(1);
  Press(Manager(), "btdel");
  EXPECT_EQ(Library(), (QStringList{all[0], all[4]}));
  EXPECT_EQ(Find<QListWidget>(Manager(), "thumbnails")->count(), 2);

  prompts.confirmAnswer = false;
  Press(Manager(), "Button7");
  ASSERT_EQ(prompts.confirms.size(), 1u);
  EXPECT_TRUE(prompts.confirms[0].startsWith("Remove all 2 pictures from the library list?"));
  EXPECT_EQ(Engine().PicList.Count(), 2);
  prompts.confirmAnswer = true;
  Press(Manager(), "Button7");
  EXPECT_EQ(Engine().PicList.Count(), 0);
  EXPECT_EQ(Count(), "0");
}

TEST_F(LibraryWindowsTest, LoaderSortsByNameAndSkipsPicturesAlreadyListed) {
  Start(1);
  const fs::path more = folder.path() / "more";
  fs::create_directories(more);
  for (const char* name : {"lib10.jpg", "Lib2.jpg", "lib1.jpg", "odd\rname.jpg", "two\nlines.jpg"})
    fs::copy_file(Engine().PicList[0], more / name);
  Loader()->ShowWindow();
  // Typed into the path field, as the tree would choose it.
  auto* path = Find<QLineEdit>(Loader(), "edpath");
  path->setText(QString::fromStdString(more.string()));
  QTest::keyClick(path, Qt::Key_Return);
  EXPECT_EQ(Loader()->Folder(), QString::fromStdString(more.string()));
  const QString dir = QString::fromStdString(more.string()) + "/";
  EXPECT_EQ(LineTexts(), (QStringList{dir + "lib1.jpg", dir + "Lib2.jpg", dir + "lib10.jpg"}));
  // The two names no image list can hold are counted under the list.
  EXPECT_FALSE(Find<QLabel>(Loader(), "lbleftout")->isHidden());
  EXPECT_EQ(Find<QLabel>(Loader(), "lbleftout")->text(),
            "2 pictures with line breaks in their names were left out");
  Press(Loader(), "btloadall");
  EXPECT_EQ(Engine().PicList.Count(), 4);
  EXPECT_TRUE(prompts.messages.empty());
  // The same folder again: nothing added, and the user is told.
  Loader()->ShowWindow();
  Loader()->ChooseFolder(QString::fromStdString(more.string()));
  Press(Loader(), "btloadall");
  EXPECT_EQ(Engine().PicList.Count(), 4);
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0].second, "Skipped 3 picture(s) already in the library.");
  // A folder that does not exist is refused by name.
  Loader()->ShowWindow();
  path->setText(QString::fromStdString(folder / "nowhere"));
  QTest::keyClick(path, Qt::Key_Return);
  ASSERT_EQ(prompts.errors, 1);
  EXPECT_TRUE(prompts.messages.back().second.endsWith("nowhere: no such folder"));
}

TEST_F(LibraryWindowsTest, PartlyReadablePicturesAreReported) {
  Start(2);
  // A sample photo cut short halfway: it decodes, with the rest filled.
  std::string bytes = ReadWholeFile(Engine().PicList[1]);
  bytes.resize(bytes.size() / 2);
  const std::string cut = folder / "cut.jpg";
  WriteWholeFile(cut, bytes);
  Engine().PicList.Assign({Engine().PicList[0], cut, Engine().PicList[1]});
  ui::NotifyLibraryChanged(Session());
  Manager()->ShowWindow();
  Press(Manager(), "Button2");
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.errors, 1);
  EXPECT_TRUE(prompts.messages[0].second.startsWith(QString::fromStdString(cut) + ": "))
      << prompts.messages[0].second.toStdString();
  EXPECT_TRUE(prompts.messages[0].second.contains("Only part of this picture could be read."));
  EXPECT_EQ(List()->currentRow(), 1);

  // Opened as a picture: shown, with a caution.
  prompts.openAnswers.push_back(QString::fromStdString(cut));
  Main().findChild<QAction*>("OpenPicture1")->trigger();
  EXPECT_EQ(Engine().MosaicState, 1);
  ASSERT_EQ(prompts.messages.size(), 2u);
  EXPECT_EQ(prompts.messages[1].first, "Caution");
  EXPECT_TRUE(prompts.messages[1].second.contains("shown as far as it could be read"));
}

TEST_F(LibraryWindowsTest, LoaderStopsAtTheLibraryLimit) {
  Start(1);
  const fs::path more = folder.path() / "more";
  fs::create_directories(more);
  for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) fs::copy_file(Engine().PicList[0], more / name);
  std::vector<std::string> full;
  for (int i = 0; i < MaxLibraryPictures - 1; ++i) full.push_back("/nowhere/p" + std::to_string(i) + ".jpg");
  Engine().PicList.Assign(full);
  Loader()->ShowWindow();
  Loader()->ChooseFolder(QString::fromStdString(more.string()));
  Press(Loader(), "Button2");
  Press(Loader(), "btloadallsel");
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0],
            std::make_pair(QString("Caution"), QString("You can only load 65535 pictures in this version")));
  EXPECT_EQ(Engine().PicList.Count(), MaxLibraryPictures);
  EXPECT_EQ(Count(), "65535");
  // "Load All Files" on a full library refuses with its own message (and
  // says that the picture added before was skipped).
  Loader()->ShowWindow();
  Press(Loader(), "btloadall");
  ASSERT_EQ(prompts.messages.size(), 3u);
  EXPECT_EQ(prompts.messages[1].second, "You already loaded max count pictures ");
  EXPECT_EQ(prompts.messages[2].second, "Skipped 1 picture(s) already in the library.");
  EXPECT_EQ(Engine().PicList.Count(), MaxLibraryPictures);
}

}  // namespace
}  // namespace velmora::testing
