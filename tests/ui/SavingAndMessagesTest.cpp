// Saving as users expect and messages in words: Ctrl+S saves a project into
// its own file and Ctrl+Shift+S asks for a name; Save Picture has its own
// key and proposes the name of what is shown as a JPEG; every kind of file
// dialog opens in the folder last used for that kind, after a restart too;
// an opened picture names the title and the job label and is what Save
// saves; a file that is not a project is said so in words with the reason
// under "Details"; Help as PDF without a viewer says where the manual is;
// the job label goes back to idle after a job; and a cache cleared by
// another run is no cause for a warning.
#include <QLineEdit>
#include <QSettings>
#include <QShortcut>
#include <QToolButton>
#include <fstream>
#include <functional>

#include "UiTestSupport.h"
#include "ui/FileLoaderWindow.h"
#include "ui/LibraryManagerWindow.h"
#include "ui/MainWindowDrop.h"
#include "ui/NewProjectWizard.h"
#include "library/RenditionCache.h"

namespace velmora::testing {
namespace {

constexpr const char* kCaption = " - Velmora Photo Mosaic - Standard Edition 1.0";
constexpr const char* kJpeg = "JPEG Image File (*.jpg)";

class SavingAndMessagesTest : public ProgramTest {
protected:
  void SetUp() override {
    // The folders remembered by the tests before are not this one's.
    QSettings().remove(QStringLiteral("Folders"));
  }
  // Starts the program again on the same folder and settings, as a user
  // who quit and came back.
  void Restart() {
    program.reset();
    program = std::make_unique<ui::Program>(folder.str(), prompts);
    Main().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Main()));
  }
  void Key(Qt::Key key, Qt::KeyboardModifiers modifiers) {
    Main().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Main()));
    QTest::keyClick(&Main(), key, modifiers);
  }
  void Trigger(const char* action) { Main().findChild<QAction*>(action)->trigger(); }
  QString Path(const std::string& name) { return QString::fromStdString(folder / name); }
  QString Dir(const std::string& name) {
    std::filesystem::create_directories(folder / name);
    return Path(name);
  }
  const ScriptedPrompts::Dialog& LastDialog() {
    EXPECT_FALSE(prompts.dialogs.empty());
    return prompts.dialogs.back();
  }
  QString JobText() { return Find<QLabel>(&Main(), "LBJOB")->text(); }
};

TEST_F(SavingAndMessagesTest, CtrlSSavesIntoTheProjectsFileAndCtrlShiftSAsksForAName) {
  Start(6);
  MakeMosaic();
  // Never saved: Ctrl+S asks for a name.
  prompts.saveAnswers.push_back(Path("trip.vm6"));
  Key(Qt::Key_S, Qt::ControlModifier);
  ASSERT_EQ(prompts.dialogs.size(), 1u);
  EXPECT_EQ(prompts.dialogs[0].caption, "Save Mosaic Project");
  ASSERT_TRUE(std::filesystem::exists(folder / "trip.vm6"));

  // Saved once: Ctrl+S writes the file again without a dialog or a question.
  std::filesystem::remove(folder / "trip.vm6");
  Main().SetModified(true);
  Key(Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(prompts.dialogs.size(), 1u);
  EXPECT_TRUE(prompts.confirms.empty());
  EXPECT_TRUE(std::filesystem::exists(folder / "trip.vm6"));
  EXPECT_EQ(Main().windowTitle(), QString("trip.vm6") + kCaption);
  // So does the save-changes question's Save.
  Main().SetModified(true);
  std::filesystem::remove(folder / "trip.vm6");
  EXPECT_EQ(Main().findChild<QAction*>("SaveProject1")->shortcut(), QKeySequence(QKeySequence::Save));
  prompts.saveQuestionAnswers.push_back(ui::UserPrompts::SaveAnswer::Save);
  EXPECT_TRUE(Main().MayDiscardWork());
  EXPECT_EQ(prompts.dialogs.size(), 1u);
  EXPECT_TRUE(std::filesystem::exists(folder / "trip.vm6"));

  // Ctrl+Shift+S asks, proposing the project's name where it is.
  auto* saveAs = Main().findChild<QAction*>("SaveProjectAs1");
  ASSERT_NE(saveAs, nullptr);
  EXPECT_EQ(saveAs->text(), QString::fromUtf8("Save Project &As…"));
  EXPECT_EQ(saveAs->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
  prompts.saveAnswers.push_back(Path("copy"));
  Key(Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
  ASSERT_EQ(prompts.dialogs.size(), 2u);
  EXPECT_EQ(LastDialog().caption, "Save Mosaic Project");
  EXPECT_EQ(LastDialog().folder, QString::fromStdString(folder.str()));
  EXPECT_EQ(LastDialog().name, "trip.vm6");
  EXPECT_TRUE(std::filesystem::exists(folder / "copy.vm6"));
  EXPECT_EQ(Main().windowTitle(), QString("copy.vm6") + kCaption);
  // Cancelled: nothing written, the name stays.
  Key(Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(prompts.dialogs.size(), 3u);
  EXPECT_EQ(Main().windowTitle(), QString("copy.vm6") + kCaption);
  EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(SavingAndMessagesTest, SavePictureHasItsOwnKeyAndProposesWhatIsShownAsAJpeg) {
  Start(6);
  auto* savePicture = Main().findChild<QAction*>("SavePicture1");
  const QKeySequence key(Qt::CTRL | Qt::ALT | Qt::Key_S);
  EXPECT_EQ(savePicture->shortcut(), key);
  // No other command of the main window answers that key.
  for (QAction* a : Main().findChildren<QAction*>())
    if (a != savePicture) EXPECT_FALSE(a->shortcuts().contains(key)) << a->objectName().toStdString();
  for (QShortcut* s : Main().findChildren<QShortcut*>()) EXPECT_NE(s->key(), key);

  const std::string photo = Engine().PicList[2];
  const QString photoBase = QFileInfo(QString::fromStdString(photo)).completeBaseName();
  const struct {
    const char* what;
    std::function<void()> show;
    QString proposed;
  } cases[] = {
      {"a new mosaic", [&] { MakeMosaic(); }, "mosaic.jpg"},
      {"a saved project",
       [&] { ASSERT_TRUE(Main().SaveProjectTo(Path("holiday.vm6")).ok()); },
       "holiday.jpg"},
      {"an opened picture",
       [&] {
         prompts.openAnswers.push_back(QString::fromStdString(photo));
         Trigger("OpenPicture1");
       },
       photoBase + ".jpg"},
  };
  const QString saved = Dir("saved");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    c.show();
    prompts.saveAnswers.push_back(saved + '/' + c.what);
    Key(Qt::Key_S, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(LastDialog().caption, "Save Picture");
    EXPECT_EQ(LastDialog().name, c.proposed);
    EXPECT_EQ(LastDialog().filter, kJpeg);
    EXPECT_TRUE(std::filesystem::exists(folder / ("saved/" + std::string(c.what) + ".jpg")));
  }
  // After the first, each opened where the picture before it was saved.
  EXPECT_EQ(prompts.dialogs[1].folder, saved);
  EXPECT_EQ(prompts.dialogs.back().folder, saved);
  EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(SavingAndMessagesTest, EachKindOfDialogOpensInTheFolderLastUsedForItAfterARestartToo) {
  Start(6);
  MakeMosaic();
  Main().SetModified(false);  // no question before Open Picture and Load
  const QString home = QDir::homePath();
  const QString photo = QString::fromStdString(Engine().PicList[1]);
  const QString photoFolder = QFileInfo(photo).absolutePath();
  // Each kind: its command, the file the dialog is answered with, and
  // whether that goes to a save or an open dialog.
  const struct {
    const char* caption;
    std::function<void()> command;
    QString answer;
    bool save;
  } kinds[] = {
      {"Save Mosaic Project", [&] { Trigger("SaveProjectAs1"); }, Dir("projects") + "/p.vm6", true},
      {"Save Picture", [&] { Trigger("SavePicture1"); }, Dir("pictures") + "/p.jpg", true},
      {"Open Picture", [&] { Trigger("OpenPicture1"); }, photo, false},
      {"Open Mosaic Project", [&] { Trigger("LoadProject1"); }, Dir("projects") + "/p.vm6", false},
      {"Save Image List", [&] { Session().windows.library->SaveImageList(); }, Dir("lists") + "/l.il2", true},
      {"Load Image List", [&] { Session().windows.library->LoadImageList(); }, Dir("lists") + "/l.il2", false},
      // The wizard's main picture shares the folder of Open Picture.
      {"Load Main Image", [&] { Session().windows.wizard->LoadMainImage(); }, photo, false},
  };
  const QString expected[] = {Path("projects"), Path("pictures"), photoFolder, Path("projects"),
                              Path("lists"),    Path("lists"),    photoFolder};
  // Never used: the home folder, not the sample library.
  for (const auto& k : kinds) {
    SCOPED_TRACE(k.caption);
    k.command();
    EXPECT_EQ(LastDialog().caption, k.caption);
    EXPECT_EQ(LastDialog().folder, home);
  }
  // Used once: the next dialog of that kind opens where the file was, and
  // the other kinds keep theirs. The project saved is loaded back last.
  for (size_t i = 0; i < std::size(kinds); ++i) {
    SCOPED_TRACE(kinds[i].caption);
    (kinds[i].save ? prompts.saveAnswers : prompts.openAnswers).push_back(kinds[i].answer);
    kinds[i].command();
    kinds[i].command();  // cancelled
    EXPECT_EQ(LastDialog().folder, expected[i]);
  }
  EXPECT_TRUE(prompts.messages.empty());

  // Quit and started again: the project loaded first (the save commands
  // need something to save), then every kind where it was.
  Restart();
  prompts.openAnswers.push_back(kinds[3].answer);
  for (size_t i : {3, 0, 1, 2, 4, 5, 6}) {
    SCOPED_TRACE(kinds[i].caption);
    const size_t before = prompts.dialogs.size();
    kinds[i].command();
    ASSERT_EQ(prompts.dialogs.size(), before + 1);
    EXPECT_EQ(LastDialog().caption, kinds[i].caption);
    EXPECT_EQ(LastDialog().folder, expected[i]);
  }
  EXPECT_EQ(Engine().MosaicState, 2);
}

TEST_F(SavingAndMessagesTest, TheLoadImageFilesWindowOpensAtTheFolderLastChosenAfterARestart) {
  Start(6);
  EXPECT_NE(Find<QLineEdit>(Session().windows.loader, "edpath")->text(), Path("albums"));
  Session().windows.loader->ChooseFolder(Dir("albums"));
  Restart();
  EXPECT_EQ(Find<QLineEdit>(Session().windows.loader, "edpath")->text(), Path("albums"));
}

TEST_F(SavingAndMessagesTest, AnOpenedPictureNamesTheTitleAndLabelAndIsWhatSaveSaves) {
  Start(6);
  MakeMosaic();
  ASSERT_TRUE(Main().SaveProjectTo(Path("old.vm6")).ok());
  const QString photo = QString::fromStdString(Engine().PicList[3]);
  const QString name = QFileInfo(photo).fileName();
  prompts.openAnswers.push_back(photo);
  Trigger("OpenPicture1");
  EXPECT_EQ(Main().windowTitle(), name + kCaption);
  EXPECT_EQ(JobText(), "Current Job : Showing " + name);

  // Ctrl+S and the toolbar's Save offer the picture, under its own name.
  const QString saved = Dir("out");
  const struct {
    const char* how;
    std::function<void()> save;
  } saves[] = {{"Ctrl+S", [&] { Key(Qt::Key_S, Qt::ControlModifier); }},
               {"toolbar", [&] { Find<QToolButton>(&Main(), "sbsvprj")->click(); }}};
  for (const auto& s : saves) {
    SCOPED_TRACE(s.how);
    const std::string written = std::string(s.how) == "toolbar" ? "b.png" : "a.jpg";
    prompts.saveAnswers.push_back(saved + '/' + QString::fromStdString(written));
    prompts.saveFilterAnswer = written == "b.png" ? "PNG Image File (*.png)" : kJpeg;
    s.save();
    EXPECT_EQ(LastDialog().caption, "Save Picture");
    EXPECT_EQ(QFileInfo(LastDialog().name).completeBaseName(), QFileInfo(photo).completeBaseName());
    EXPECT_TRUE(std::filesystem::exists(folder / ("out/" + written)));
  }
  prompts.saveFilterAnswer.clear();
  // The project file was left alone; loading it shows the mosaic and its name again.
  prompts.openAnswers.push_back(Path("old.vm6"));
  Trigger("LoadProject1");
  EXPECT_EQ(Main().windowTitle(), QString("old.vm6") + kCaption);
  EXPECT_EQ(JobText(), "Current Job : None");
  EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(SavingAndMessagesTest, AFileThatIsNotAProjectIsSaidSoWithTheReasonInTheDetails) {
  Start(6);
  MakeMosaic();
  ASSERT_TRUE(Main().SaveProjectTo(Path("good.vm6")).ok());
  const std::string good = ReadWholeFile(folder / "good.vm6");
  std::string noise(4096, '\0');
  uint32_t x = 12345;
  for (char& c : noise) c = char((x = x * 1103515245u + 12345u) >> 24);
  if (noise.substr(0, 4) == std::string("\x90\0\0\0", 4)) noise[0] = 1;
  const struct {
    const char* name;
    std::string bytes;
    const char* details;  // what the details say
  } files[] = {
      {"notes.txt", "Remember the milk\n", "the file ends inside the project record"},
      {"photo.vm6", ReadWholeFile(Engine().PicList[0]), "its record length is"},
      {"empty.vm6", "", "the file ends inside the project record"},
      {"short.vm6", good.substr(0, 100), "the file ends inside the project record"},
      {"noise.vm6", noise, "its record length is"},
  };
  for (const auto& f : files) {
    SCOPED_TRACE(f.name);
    WriteWholeFile(folder / f.name, f.bytes);
    prompts.messages.clear();
    prompts.errorDetails.clear();
    prompts.openAnswers.push_back(Path(f.name));
    Trigger("LoadProject1");
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].first, "Error");
    EXPECT_EQ(prompts.messages[0].second, QString(f.name) + " is not a Velmora project");
    ASSERT_EQ(prompts.errorDetails.size(), 1u);
    EXPECT_TRUE(prompts.errorDetails[0].contains(f.details)) << prompts.errorDetails[0].toStdString();
    EXPECT_TRUE(prompts.errorDetails[0].contains(Path(f.name))) << prompts.errorDetails[0].toStdString();
    EXPECT_EQ(Engine().MosaicState, 2);  // the mosaic shown stays
  }
  // Handed over by the file manager (or dropped): the same words.
  prompts.messages.clear();
  prompts.errorDetails.clear();
  ui::ShowIfFailed(Session(), &Main(), ui::OpenHandedOver(Session(), Main(), Path("noise.vm6")));
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0].second, "noise.vm6 is not a Velmora project");
  EXPECT_EQ(prompts.errorDetails.size(), 1u);
  // A project of the right kind damaged further on keeps its own message.
  WriteWholeFile(folder / "cut.vm6", good.substr(0, good.size() / 2));
  prompts.messages.clear();
  prompts.errorDetails.clear();
  prompts.openAnswers.push_back(Path("cut.vm6"));
  Trigger("LoadProject1");
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_FALSE(prompts.messages[0].second.contains("is not a Velmora project"));
  EXPECT_TRUE(prompts.messages[0].second.contains("cut.vm6"));
  EXPECT_TRUE(prompts.errorDetails.empty());
}

TEST_F(SavingAndMessagesTest, HelpAsPdfWithoutAViewerSaysWhereTheManualIs) {
  Start(6);
  // help.pdf beside the program, and nothing on the desktop to open it.
  const QString pdf = Path("help.pdf");
  WriteWholeFile(folder / "help.pdf", "%PDF-1.4");
  prompts.documentAnswer = false;
  Trigger("HelpPdf1");
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0].first, "Help");
  EXPECT_TRUE(prompts.messages[0].second.contains("The manual is at " + pdf + "."))
      << prompts.messages[0].second.toStdString();
  EXPECT_EQ(prompts.errors, 0);
}

TEST_F(SavingAndMessagesTest, TheJobLabelIsIdleAfterAJobAndSaysCancelledAfterACancel) {
  Start(6);
  MakeMosaic();
  EXPECT_EQ(JobText(), "Current Job : None");
  {
    CancelWhen cancel(Main(), "Current Job : OutPut Final Mosaic Picture");
    MakeMosaic(kStitchLoom, 100);
    ASSERT_TRUE(cancel.clicked);
  }
  // Cancelled: said until the next command.
  EXPECT_EQ(JobText(), "Current Job : Cancelled");
  MakeMosaic();
  EXPECT_EQ(JobText(), "Current Job : None");
  // A failed load is a job that ended too.
  WriteWholeFile(folder / "bad.vm6", "nothing");
  prompts.openAnswers.push_back(Path("bad.vm6"));
  Trigger("LoadProject1");
  EXPECT_EQ(JobText(), "Current Job : None");
}

TEST_F(SavingAndMessagesTest, ACacheClearedBehindTheProgramsBackIsNoCauseForAWarning) {
  Start(6);
  MakeMosaic();
  ASSERT_TRUE(prompts.messages.empty());
  const std::string cache = Engine().SummaryCacheFolder();
  ASSERT_FALSE(cache.empty());
  const struct {
    const char* how;
    std::function<void()> clear;
  } clears[] = {
      {"cleared", [&] { ASSERT_TRUE(RenditionCache::Clear(cache).ok()); }},
      {"emptied",
       [&] {
         for (const auto& e : std::filesystem::directory_iterator(cache + "/" + RenditionCache::kFolderName))
           std::filesystem::remove(e.path());
       }},
  };
  int cellSize = 90;
  for (const auto& c : clears) {
    SCOPED_TRACE(c.how);
    // A mosaic at a new cell size leaves its renditions to be written
    // behind it; the cache is cleared, then the same mosaic is made again
    // and cancelled, and made once more.
    MakeMosaic(kStitchLoom, cellSize);
    c.clear();
    {
      CancelWhen cancel(Main(), "Current Job : OutPut Final Mosaic Picture");
      MakeMosaic(kStitchLoom, cellSize);
    }
    EXPECT_EQ(JobText(), "Current Job : Cancelled");
    MakeMosaic(kStitchLoom, cellSize);
    // New renditions go into the folder made anew.
    MakeMosaic(kStitchLoom, ++cellSize);
    Engine().FinishCacheWrites();
    EXPECT_TRUE(prompts.messages.empty()) << prompts.messages.back().second.toStdString();
    EXPECT_GT(RenditionCache::Measure(cache).renditions, 0u);
    prompts.messages.clear();
    ++cellSize;
  }
}

}  // namespace
}  // namespace velmora::testing
