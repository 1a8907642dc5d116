// Helpers for the GUI tests: prompts that answer the program's dialogs from a
// script and record its messages, and a fixture that starts the whole
// program (every window, the engine) in a scratch program folder holding a
// few sample pictures in images/.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <deque>
#include <filesystem>
#include <memory>
#include <utility>
#include <vector>

#include "imaging/PictureOps.h"
#include "support/ScratchFolder.h"
#include "ui/MainWindow.h"
#include "ui/Program.h"

namespace velmora::testing {

class ScriptedPrompts : public ui::UserPrompts {
public:
  // Answers, used front first; an empty queue answers "cancel".
  std::deque<QString> openAnswers;
  std::deque<QString> saveAnswers;
  // The filter a save dialog reports as chosen (empty: the one it was given).
  QString saveFilterAnswer;
  int64_t colorAnswer = -1;
  bool confirmAnswer = true;

  std::vector<std::pair<QString, QString>> messages;  // caption, text
  std::vector<QString> confirms;
  std::vector<QString> documents;
  QString lastSaveFilter;  // the filter string a save dialog was shown with

  // Every file dialog shown: its caption, the folder it opened in and the
  // name it proposed (empty when it was given a folder alone), and the
  // filter it had chosen.
  struct Dialog {
    QString caption;
    QString folder;
    QString name;
    QString filter;
  };
  std::vector<Dialog> dialogs;

  QString OpenFileName(QWidget*, const QString& caption, const QString& place, const QString&,
                       QString* selected) override {
    Record(caption, place, selected ? *selected : QString());
    return Take(openAnswers);
  }
  QString OpenPictureName(QWidget*, const QString& caption, const QString& place, const QString&) override {
    Record(caption, place, QString());
    return Take(openAnswers);
  }
  QString SaveFileName(QWidget*, const QString& caption, const QString& place, const QString& filter,
                       QString* selected, const QString& defaultSuffix) override {
    Record(caption, place, selected ? *selected : QString());
    lastSaveFilter = filter;
    QString answer = Take(saveAnswers);
    if (selected && !saveFilterAnswer.isEmpty()) *selected = saveFilterAnswer;
    // The desktop's dialog adds the default suffix to a name typed without one.
    if (!answer.isEmpty() && !defaultSuffix.isEmpty() && !answer.section('/', -1).contains('.'))
      answer += '.' + defaultSuffix;
    return answer;
  }
  int64_t ChooseColor(QWidget*, int32_t) override { return colorAnswer; }
  void Message(QWidget*, const QString& caption, const QString& text) override {
    messages.emplace_back(caption, text);
  }
  // Errors are recorded with the other messages; `errors` counts them.
  int errors = 0;
  void Error(QWidget*, const QString& caption, const QString& text) override {
    ++errors;
    messages.emplace_back(caption, text);
  }
  // The "Details" of each error that had them, in step with the errors
  // recorded in `messages`.
  std::vector<QString> errorDetails;
  void ErrorWithDetails(QWidget* parent, const QString& caption, const QString& text,
                        const QString& details) override {
    Error(parent, caption, text);
    errorDetails.push_back(details);
  }
  // The answers to "save changes?", front first; an empty queue answers Cancel.
  std::deque<SaveAnswer> saveQuestionAnswers;
  std::vector<QString> saveQuestions;
  SaveAnswer AskToSave(QWidget*, const QString&, const QString& text) override {
    saveQuestions.push_back(text);
    if (saveQuestionAnswers.empty()) return SaveAnswer::Cancel;
    const SaveAnswer a = saveQuestionAnswers.front();
    saveQuestionAnswers.pop_front();
    return a;
  }
  bool Confirm(QWidget*, const QString&, const QString& text) override {
    confirms.push_back(text);
    return confirmAnswer;
  }
  // The answers to number questions, front first; an empty queue cancels.
  std::deque<double> numberAnswers;
  std::vector<QString> numberQuestions;
  double AskNumber(QWidget*, const QString&, const QString& label, double value, double, double, int,
                   bool* ok) override {
    numberQuestions.push_back(label + QStringLiteral(" [%1]").arg(value));
    *ok = !numberAnswers.empty();
    if (!*ok) return value;
    const double a = numberAnswers.front();
    numberAnswers.pop_front();
    return a;
  }
  bool documentAnswer = true;  // a desktop that opens documents
  bool OpenDocument(const QString& path) override {
    documents.push_back(path);
    return documentAnswer;
  }
  // The print and page setup dialogs: counted, answered without showing.
  bool printAnswer = true;
  int printDialogs = 0;
  int pageSetupDialogs = 0;
  bool PrintDialog(QWidget*, QPrinter&) override {
    ++printDialogs;
    return printAnswer;
  }
  bool PageSetupDialog(QWidget*, QPrinter&) override {
    ++pageSetupDialogs;
    return printAnswer;
  }

private:
  // A dialog's place is a folder, or a folder and a proposed name.
  void Record(const QString& caption, const QString& place, const QString& filter) {
    const QFileInfo info(place);
    if (place.isEmpty() || info.isDir())
      dialogs.push_back({caption, place, QString(), filter});
    else
      dialogs.push_back({caption, info.path(), info.fileName(), filter});
  }
  static QString Take(std::deque<QString>& q) {
    if (q.empty()) return QString();
    QString s = q.front();
    q.pop_front();
    return s;
  }
};

// Copies the first `count` sample pictures into folder/images.
inline void PlaceSamplePictures(const ScratchFolder& folder, int count) {
  namespace fs = std::filesystem;
  fs::create_directories(folder.path() / "images");
  std::vector<fs::path> samples;
  for (const auto& e : fs::directory_iterator(VELMORA_SAMPLE_IMAGES))
    if (e.path().extension() == ".jpg") samples.push_back(e.path());
  std::sort(samples.begin(), samples.end());
  for (int i = 0; i < count && i < static_cast<int>(samples.size()); ++i)
    fs::copy_file(samples[static_cast<size_t>(i)],
                  folder.path() / "images" / samples[static_cast<size_t>(i)].filename());
}

// Clicks Cancel as soon as the job label shows `job` and the gauge has moved.
// The job runs on its own thread: it pauses at every report meanwhile, so
// that even a short job is caught in that state.
class CancelWhen : public QObject {
public:
  CancelWhen(ui::MainWindow& main, const QString& job) : main_(main), job_(job) {
    main_.Jobs().SetPauseEvery(std::chrono::milliseconds(0));
    QObject::connect(&main_.Jobs(), &ui::GuiJobListener::paused, this, [this] { Check(); });
    timer_.setInterval(0);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { Check(); });
    timer_.start();
  }
  ~CancelWhen() override { main_.Jobs().SetPauseEvery(std::chrono::milliseconds(100)); }
  bool clicked = false;

private:
  void Check() {
    auto* label = main_.findChild<QLabel*>("LBJOB");
    auto* gauge = main_.findChild<QProgressBar*>("gauge");
    auto* cancel = main_.findChild<QPushButton*>("btcancel");
    if (!clicked && label->text() == job_ && gauge->value() > 0 && cancel->isEnabled()) {
      cancel->click();
      clicked = true;
    }
  }

  ui::MainWindow& main_;
  QString job_;
  QTimer timer_;
};

class ProgramTest : public ::testing::Test {
protected:
  // Starts the program as a user would: the main window shown, its first
  // showing having loaded the library and the default options.
  void Start(int pictures = 6) {
    PlaceSamplePictures(folder, pictures);
    program = std::make_unique<ui::Program>(folder.str(), prompts);
    Main().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Main()));
    Engine().Rng.SetSeed(1);
  }
  // An 8 x 8 mosaic of `cellSize`-pixel cells from the first sample picture,
  // made by the main window's create command with the current options.
  void MakeMosaic(int stitch = kStitchLoom, int cellSize = 16) {
    tmosaicproject& p = Engine().Project;
    p.CellsAcross = 8;
    p.CellsDown = 8;
    p.CellWidth = cellSize;
    p.CellHeight = cellSize;
    CopyOptions(Engine().OptionSet, p);
    p.StitchMode = stitch;
    ComputeDerivedSizes(p);
    p.MainImageFile = Engine().PicList[0];
    ASSERT_TRUE(LoadPictureFile(Engine().MainBitmap, p.MainImageFile).ok());
    Main().CreateMosaic(false);
  }
  // A click of `button` on the main view at `at` (view coordinates).
  void ClickView(Qt::MouseButton button, QPoint at) {
    QTest::mousePress(Main().View(), button, Qt::NoModifier, at);
    QTest::mouseRelease(Main().View(), button, Qt::NoModifier, at);
  }
  // The view position over mosaic pixel (x, y), wherever the view's scale,
  // scroll and centring put it.
  QPoint OnPicture(int x, int y) { return Main().View()->FromPicture(ViewPoint{x, y}); }
  QPoint OnPicture(QPoint p) { return OnPicture(p.x(), p.y()); }
  ui::MainWindow& Main() { return program->mainWindow(); }
  velmora::Engine& Engine() { return program->engine(); }
  ui::Session& Session() { return program->session(); }
  template <typename T = QWidget>
  T* Find(const QObject* parent, const char* name) {
    T* w = parent->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }

  ScratchFolder folder;
  ScriptedPrompts prompts;
  std::unique_ptr<ui::Program> program;
};

}  // namespace velmora::testing
