// Work the user could lose: the modified flag and the title that shows it,
// the save-changes question before New, Open Picture, Load and Exit, the
// ".vm6" a typed project name gets, Save after "Open Picture", pen strokes
// kept in the project (painted again as a job that can be cancelled) with
// the cells edited over them, a flood of damaged blocks told in one short
// caution, and the help window that needs no PDF viewer.
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBrowser>
#include <QToolButton>

#include "UiTestSupport.h"
#include "support/ExtensionAreaBytes.h"
#include "ui/HelpWindow.h"
#include "ui/MatchQuality.h"
#include "ui/NewProjectWizard.h"

namespace velmora::testing {
namespace {

using Answer = ui::UserPrompts::SaveAnswer;
constexpr const char* kCaption = " - Velmora Photo Mosaic - Standard Edition 1.0";

class ProjectWorkTest : public ProgramTest {
protected:
  QString Title() { return Main().windowTitle(); }
  void Trigger(const char* action) { Main().findChild<QAction*>(action)->trigger(); }
  void SelectMode(const char* button) { Find<QToolButton>(&Main(), button)->click(); }
  // A left drag from mosaic pixel `from` to `to`.
  void Drag(QPoint from, QPoint to) {
    QTest::mousePress(Main().View(), Qt::LeftButton, Qt::NoModifier, OnPicture(from));
    QTest::mouseRelease(Main().View(), Qt::LeftButton, Qt::NoModifier, OnPicture(to));
  }
  std::vector<TColor32> Pixels() {
    return {Engine().MosaicBitmap.Pixels().begin(), Engine().MosaicBitmap.Pixels().end()};
  }
  QString Path(const char* name) { return QString::fromStdString(folder / name); }
};

TEST_F(ProjectWorkTest, EditsMarkTheProjectModifiedAndSavingOrLoadingClearsIt) {
  Start(6);
  Engine().OptionSet.MinRepeatRadius = 1;  // Edit I finds another picture
  EXPECT_FALSE(Session().modified);
  EXPECT_EQ(Title(), QString("Untitled") + kCaption);
  MakeMosaic();
  EXPECT_TRUE(Session().modified);
  EXPECT_EQ(Title(), QString("Untitled*") + kCaption);

  // Typed without an extension: saved as "proj1.vm6", so Load can list it.
  prompts.saveAnswers.push_back(Path("proj1"));
  Find<QToolButton>(&Main(), "sbsvprj")->click();
  EXPECT_TRUE(std::filesystem::exists(folder / "proj1.vm6"));
  EXPECT_FALSE(Session().modified);
  EXPECT_EQ(Title(), QString("proj1.vm6") + kCaption);

  // Each kind of edit marks the project again.
  const struct {
    const char* mode;
    QPoint from, to;
  } edits[] = {{"sbhand2", {40, 40}, {40, 40}}, {"sbhand4", {10, 10}, {50, 30}}};
  for (const auto& e : edits) {
    SelectMode(e.mode);
    Drag(e.from, e.to);
    EXPECT_TRUE(Session().modified) << e.mode;
    EXPECT_EQ(Title(), QString("proj1.vm6*") + kCaption) << e.mode;
    ASSERT_TRUE(Main().SaveProjectTo(Path("proj1.vm6")).ok());
    EXPECT_FALSE(Session().modified);
  }
  MakeMosaic();
  prompts.saveQuestionAnswers.push_back(Answer::Discard);
  prompts.openAnswers.push_back(Path("proj1.vm6"));
  Trigger("LoadProject1");
  EXPECT_FALSE(Session().modified);
  EXPECT_EQ(Title(), QString("proj1.vm6") + kCaption);
  EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(ProjectWorkTest, CommandsThatDiscardWorkAskFirst) {
  Start(6);
  const struct {
    const char* what;
    std::function<void()> command;
    // Whether the command went on (it asked its own dialog, the wizard showed...).
    std::function<bool()> wentOn;
  } commands[] = {
      {"New", [&] { Trigger("NewProject1"); }, [&] { return Session().windows.wizard->isVisible(); }},
      {"Open Picture", [&] { Trigger("OpenPicture1"); }, [&] { return prompts.openAnswers.empty(); }},
      {"Load", [&] { Trigger("LoadProject1"); }, [&] { return prompts.openAnswers.empty(); }},
      {"Exit", [&] { Main().close(); }, [&] { return !Main().isVisible(); }},
  };
  for (const auto& c : commands) {
    SCOPED_TRACE(c.what);
    MakeMosaic();
    ASSERT_TRUE(Session().modified);
    Session().windows.wizard->hide();
    prompts.openAnswers = {QString()};  // the command's own dialog, cancelled
    prompts.saveQuestions.clear();

    // Cancel: nothing happens.
    prompts.saveQuestionAnswers = {Answer::Cancel};
    c.command();
    ASSERT_EQ(prompts.saveQuestions.size(), 1u);
    EXPECT_EQ(prompts.saveQuestions[0], "Save changes to the mosaic project?");
    EXPECT_FALSE(c.wentOn());
    EXPECT_TRUE(Main().isVisible());
    EXPECT_TRUE(Session().modified);

    // Save, with the save dialog cancelled: nothing happens either.
    prompts.saveQuestionAnswers = {Answer::Save};
    c.command();
    EXPECT_FALSE(c.wentOn());
    EXPECT_TRUE(Session().modified);

    // Save with a name: saved, then the command goes on.
    const std::string saved = folder / (std::string(c.what) + ".vm6");
    prompts.saveAnswers.push_back(QString::fromStdString(saved));
    prompts.saveQuestionAnswers = {Answer::Save};
    c.command();
    EXPECT_TRUE(std::filesystem::exists(saved));
    EXPECT_TRUE(c.wentOn());
    EXPECT_FALSE(Session().modified);
    if (!Main().isVisible()) break;  // Exit ends the round

    // Unmodified: no question.
    prompts.saveQuestions.clear();
    prompts.openAnswers = {QString()};
    Session().windows.wizard->hide();
    c.command();
    EXPECT_TRUE(prompts.saveQuestions.empty());
    EXPECT_TRUE(c.wentOn());
  }
  EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(ProjectWorkTest, SaveStaysEnabledAfterOpenPicture) {
  Start(6);
  Engine().OptionSet.MinRepeatRadius = 1;
  MakeMosaic();
  SelectMode("sbhand2");
  Drag({40, 40}, {40, 40});
  const CellMapEntry edited = Engine().Map.At(2, 2);
  const std::vector<TColor32> mosaic = Pixels();
  prompts.saveQuestionAnswers.push_back(Answer::Discard);
  prompts.openAnswers.push_back(QString::fromStdString(Engine().PicList[1]));
  Trigger("OpenPicture1");
  ASSERT_EQ(Engine().MosaicState, 1);
  auto* save = Find<QToolButton>(&Main(), "sbsvprj");
  EXPECT_TRUE(save->isEnabled());
  EXPECT_TRUE(Main().findChild<QAction*>("SaveProject1")->isEnabled());
  // The hand edit made before is saved (Save itself saves the picture
  // shown now) and comes back.
  prompts.saveAnswers.push_back(Path("kept.vm6"));
  Trigger("SaveProjectAs1");
  prompts.openAnswers.push_back(Path("kept.vm6"));
  Find<QToolButton>(&Main(), "sbopprj")->click();
  EXPECT_EQ(Engine().Map.At(2, 2).PicIndex, edited.PicIndex);
  EXPECT_EQ(Pixels(), mosaic);
  EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(ProjectWorkTest, PenStrokesAreKeptInTheProject) {
  Start(6);
  for (const bool penMode : {false, true}) {
    SCOPED_TRACE(penMode);
    MakeMosaic();
    if (penMode) Main().CreateMosaic(true);
    const std::vector<TColor32> rendered = Pixels();
    SelectMode("sbhand4");
    Drag({5, 5}, {70, 40});
    Engine().OptionSet.AlphaPen = 255;  // the second stroke opaque
    Drag({60, 50}, {120, 110});
    ASSERT_EQ(Main().PenStrokes().Strokes.size(), 2u);
    const std::vector<TColor32> painted = Pixels();
    ASSERT_NE(painted, rendered);
    const std::string path = folder / (penMode ? "pen.vm6" : "strokes.vm6");
    ASSERT_TRUE(Main().SaveProjectTo(QString::fromStdString(path)).ok());

    MakeMosaic(kStitchPeyote);  // something else in between
    prompts.saveQuestionAnswers.push_back(Answer::Discard);
    prompts.openAnswers.push_back(QString::fromStdString(path));
    Trigger("LoadProject1");
    EXPECT_EQ(Pixels(), painted);
    EXPECT_EQ(Main().PenStrokes().Strokes.size(), 2u);
    EXPECT_TRUE(prompts.messages.empty());

    // A damaged stroke block is reported; the project opens without it.
    std::string bytes = ReadWholeFile(path);
    bytes.back() ^= 0x55;
    WriteWholeFile(path, bytes);
    prompts.openAnswers.push_back(QString::fromStdString(path));
    Trigger("LoadProject1");
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].first, "Caution");
    EXPECT_TRUE(prompts.messages[0].second.contains(QString::fromStdString(path)))
        << prompts.messages[0].second.toStdString();
    EXPECT_TRUE(prompts.messages[0].second.contains("PENS")) << prompts.messages[0].second.toStdString();
    EXPECT_EQ(Engine().MosaicState, 2);
    EXPECT_TRUE(Main().PenStrokes().Strokes.empty());
    if (!penMode) {
      EXPECT_EQ(Pixels(), rendered);
    }
    prompts.messages.clear();
    Engine().OptionSet.AlphaPen = 205;
  }
}

// Edit I and a re-pick over a pen stroke draw those cells over it; saved and
// loaded again, the project shows exactly that, however it was undone and
// edited further after a load.
TEST_F(ProjectWorkTest, CellsEditedOverPenStrokesReopenAsSaved) {
  Start(6);
  Engine().OptionSet.MinRepeatRadius = 1;  // Edit I finds another picture
  MakeMosaic();
  const QString path = Path("edited.vm6");
  const auto saveAndLoad = [&] {
    const std::vector<TColor32> saved = Pixels();
    EXPECT_TRUE(Main().SaveProjectTo(path).ok());
    MakeMosaic(kStitchPeyote);  // something else in between
    prompts.saveQuestionAnswers.push_back(Answer::Discard);
    prompts.openAnswers.push_back(path);
    Trigger("LoadProject1");
    EXPECT_TRUE(prompts.messages.empty());
    return saved;
  };

  SelectMode("sbhand4");
  Engine().OptionSet.AlphaPen = 205;
  Drag({5, 5}, {120, 100});
  const std::vector<TColor32> stroked = Pixels();
  SelectMode("sbhand2");
  ClickView(Qt::LeftButton, OnPicture(40, 40));
  ASSERT_NE(Pixels(), stroked);
  std::vector<TColor32> saved = saveAndLoad();
  EXPECT_EQ(Pixels(), saved);

  // After the load: another stroke, Edit I under it, a re-pick, one undone.
  SelectMode("sbhand4");
  Drag({30, 60}, {110, 125});
  SelectMode("sbhand2");
  ClickView(Qt::LeftButton, OnPicture(90, 90));
  ASSERT_TRUE(Main().Quality()->RepickWorst(40).ok());
  Trigger("Undo1");
  saved = saveAndLoad();
  EXPECT_EQ(Pixels(), saved);
}

// A project followed by a flood of damaged blocks opens at once, with one
// caution of a few lines.
TEST_F(ProjectWorkTest, AProjectFloodedWithDamagedBlocksOpensWithOneShortCaution) {
  Start(6);
  MakeMosaic();
  const std::vector<TColor32> mosaic = Pixels();
  const std::string path = folder / "flood.vm6";
  ASSERT_TRUE(Main().SaveProjectTo(QString::fromStdString(path)).ok());
  WriteWholeFile(path, ReadWholeFile(path) + ExtensionMagic() + DamagedBlocks(300000));

  MakeMosaic(kStitchPeyote);
  prompts.saveQuestionAnswers.push_back(Answer::Discard);
  prompts.openAnswers.push_back(QString::fromStdString(path));
  Trigger("LoadProject1");
  EXPECT_EQ(Pixels(), mosaic);
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0].first, "Caution");
  const QStringList lines = prompts.messages[0].second.split('\n');
  EXPECT_EQ(lines.size(), qsizetype(kMaxExtensionBlockWarnings + 2))
      << prompts.messages[0].second.toStdString();
  for (const QString& line : lines)
    EXPECT_TRUE(line.startsWith(QString::fromStdString(path))) << line.toStdString();
}

// Painting the strokes again is a job: Cancel during it keeps the project
// that was open, its library list included.
TEST_F(ProjectWorkTest, CancelWhilePenStrokesArePaintedKeepsTheOpenProject) {
  Start(6);
  MakeMosaic();
  SelectMode("sbhand4");
  for (int i = 0; i < 20; ++i) Drag({5 + i, 5 + i}, {60 + 2 * i, 40 + i});
  ASSERT_EQ(Main().PenStrokes().Strokes.size(), 20u);
  const QString path = Path("strokes.vm6");
  ASSERT_TRUE(Main().SaveProjectTo(path).ok());

  const std::vector<std::string> fewer(Engine().PicList.Paths().begin(),
                                       Engine().PicList.Paths().begin() + 4);
  Engine().PicList.Assign(fewer);
  MakeMosaic(kStitchPeyote);
  const std::vector<TColor32> open = Pixels();
  const QString title = Title();
  {
    CancelWhen cancel(Main(), "Current Job : Painting Pen Strokes");
    prompts.saveQuestionAnswers.push_back(Answer::Discard);
    prompts.openAnswers.push_back(path);
    Trigger("LoadProject1");
    EXPECT_TRUE(cancel.clicked);
  }
  EXPECT_EQ(Find<QLabel>(&Main(), "LBJOB")->text(), "Current Job : Cancelled");
  EXPECT_EQ(Pixels(), open);
  EXPECT_EQ(Engine().PicList.Paths(), fewer);
  EXPECT_EQ(Engine().Project.StitchMode, kStitchPeyote);
  EXPECT_TRUE(Main().PenStrokes().Strokes.empty());
  EXPECT_EQ(Title(), title);
  EXPECT_TRUE(prompts.messages.empty());

  // Not cancelled, the strokes are all painted.
  prompts.saveQuestionAnswers.push_back(Answer::Discard);
  prompts.openAnswers.push_back(path);
  Trigger("LoadProject1");
  EXPECT_EQ(Main().PenStrokes().Strokes.size(), 20u);
  EXPECT_EQ(Find<QLabel>(&Main(), "LBJOB")->text(), "Current Job : None");
}

TEST_F(ProjectWorkTest, HelpWindowOpensWithF1AndThePdfFromItsMenu) {
  Start(1);
  Main().activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&Main()));
  QTest::keyClick(&Main(), Qt::Key_F1);
  ui::HelpWindow* help = Session().windows.help;
  ASSERT_TRUE(help->isVisible());
  EXPECT_EQ(help->windowTitle(), "Velmora Help");
  auto* text = Find<QTextBrowser>(help, "helptext");
  EXPECT_TRUE(text->toPlainText().startsWith("Velmora Help"));
  const QStringList sections = help->Sections();
  EXPECT_EQ(Find<QListWidget>(help, "helpcontents")->count(), sections.size());
  ASSERT_TRUE(sections.contains("The main window"));
  ASSERT_TRUE(sections.contains("Image library"));
  // Choosing a later section in the contents scrolls the text down to it.
  text->verticalScrollBar()->setValue(0);
  Find<QListWidget>(help, "helpcontents")->setCurrentRow(int(sections.indexOf("Image library")));
  EXPECT_GT(text->verticalScrollBar()->value(), 0);
  EXPECT_FALSE(help->ShowSection("No such section"));
  EXPECT_TRUE(prompts.documents.empty());

  // help.pdf beside the program: missing, no viewer, opened.
  auto* pdf = Find<QPushButton>(help, "btpdf");
  pdf->click();
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.errors, 1);
  EXPECT_TRUE(prompts.messages[0].second.contains("help.pdf"));
  WriteWholeFile(folder / "help.pdf", "%PDF-1.4");
  prompts.documentAnswer = false;
  Trigger("HelpPdf1");
  ASSERT_EQ(prompts.messages.size(), 2u);
  EXPECT_TRUE(prompts.messages[1].second.startsWith("No program on this desktop opens PDF documents."));
  prompts.documentAnswer = true;
  pdf->click();
  EXPECT_EQ(prompts.messages.size(), 2u);
  EXPECT_EQ(prompts.documents.back(), QString::fromStdString(folder / "help.pdf"));
}

}  // namespace
}  // namespace velmora::testing
