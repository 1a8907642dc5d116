// The main window's Edit and View menus and its keyboard: undo and redo of
// the hand edits (the history lives below the windows), the zoom commands
// and the zoom field in the status line, the keys for the editing modes, the
// standard keys and menu mnemonics of the commands, and Cancel for a running
// job.
#include <QActionGroup>
#include <QComboBox>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>
#include <QToolButton>
#include <cmath>

#include "ui/MainWindow.h"
#include "ui/MatchQuality.h"
#include "ui/WindowHooks.h"

namespace velmora::ui {
namespace {

// The zoom field's entries; the first is fit.
const char* const kZoomEntries[] = {"Fit", "6.25%", "12.5%", "25%", "50%", "100%", "200%", "400%", "800%"};

QString UndoText(const char* verb, const std::string& name) {
  return name.empty() ? QString::fromLatin1(verb) : QString::fromLatin1(verb) + ' ' + ToQString(name);
}

}  // namespace

void MainWindow::BuildEditMenus() {
  QMenuBar* bar = menuBar();
  QAction* before = bar->actions().size() > 1 ? bar->actions().at(1) : nullptr;  // after "Project"

  QMenu* edit = new QMenu(QStringLiteral("&Edit    "), bar);
  edit->setObjectName(QStringLiteral("Edit1"));
  QAction* undo = MakeAction("Undo1", QStringLiteral("&Undo"), &MainWindow::Undo);
  undo->setShortcuts(QKeySequence::Undo);
  QAction* redo = MakeAction("Redo1", QStringLiteral("&Redo"), &MainWindow::Redo);
  // Ctrl+Shift+Z and Ctrl+Y both redo, whatever the desktop's own choice.
  redo->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
  edit->addAction(undo);
  edit->addAction(redo);
  edit->addSeparator();
  // The editing modes, each the same as its toolbar button.
  const struct {
    const char* name;
    const char* text;
    const char* button;
    Qt::Key key;
  } modes[] = {{"ModeInfo1", "I&nfo", "sbhandinfo", Qt::Key_F2},
               {"ModeEdit1", "&Edit I", "sbhand2", Qt::Key_F3},
               {"ModeEdit2", "Edit I&I", "sbhand3", Qt::Key_F4},
               {"ModePen1", "Free Cell &Pen", "sbhand4", Qt::Key_F5}};
  auto* modeActions = new QActionGroup(this);
  for (const auto& m : modes) {
    auto* a = new QAction(QString::fromLatin1(m.text), this);
    a->setObjectName(QString::fromLatin1(m.name));
    a->setShortcut(QKeySequence(m.key));
    a->setCheckable(true);
    modeActions->addAction(a);
    QToolButton* button = buttons_[QString::fromLatin1(m.button)];
    a->setChecked(button->isChecked());
    connect(a, &QAction::triggered, this, [this, button] {
      button->setChecked(true);
      UpdateEditMode();
    });
    connect(button, &QToolButton::toggled, a, &QAction::setChecked);
    edit->addAction(a);
  }
  bar->insertMenu(before, edit);

  QMenu* view = new QMenu(QStringLiteral("&View    "), bar);
  view->setObjectName(QStringLiteral("View1"));
  const struct {
    const char* name;
    const char* text;
    void (MainWindow::*slot)();
    QList<QKeySequence> keys;
  } zooms[] = {
      {"ZoomIn1",
       "Zoom &In",
       &MainWindow::ZoomIn,
       {QKeySequence(QKeySequence::ZoomIn), QKeySequence(Qt::CTRL | Qt::Key_Equal)}},
      {"ZoomOut1", "Zoom &Out", &MainWindow::ZoomOut, {QKeySequence(QKeySequence::ZoomOut)}},
      {"ZoomFit1", "&Fit to Window", &MainWindow::ZoomFit, {QKeySequence(Qt::CTRL | Qt::Key_0)}},
      {"ZoomActual1", "&Actual Size (100%)", &MainWindow::ZoomActual, {QKeySequence(Qt::CTRL | Qt::Key_1)}},
  };
  for (const auto& z : zooms) {
    QAction* a = MakeAction(z.name, QString::fromLatin1(z.text), z.slot);
    a->setShortcuts(z.keys);
    view->addAction(a);
  }
  bar->insertMenu(before, view);

  // Escape stops a running job; otherwise it is left to the windows.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape->setObjectName(QStringLiteral("CancelKey"));
  connect(escape, &QShortcut::activated, this, &MainWindow::CancelJob);

  ApplyKeyboard();
  UpdateEditActions();
}

void MainWindow::ApplyKeyboard() {
  // Mnemonics on the existing menus and items, and the standard keys.
  const struct {
    const char* name;
    const char* text;
    QKeySequence::StandardKey key;
  } items[] = {
      {"NewProject1", "&New Project", QKeySequence::New},
      {"OpenPicture1", "Open &Picture", QKeySequence::UnknownKey},
      {"LoadProject1", "&Open Mosaic Project", QKeySequence::Open},
      {"SavePicture1", "Save P&icture", QKeySequence::UnknownKey},
      {"SaveProject1", "&Save Mosaic Project", QKeySequence::Save},
      {"SaveProjectAs1", "Save Project &As\u2026", QKeySequence::UnknownKey},
      {"Print1", "P&rint", QKeySequence::Print},
      {"Exit1", "E&xit", QKeySequence::Quit},
      {"OverView1", "&OverView", QKeySequence::UnknownKey},
      {"CellStats1", "Cell &Stats", QKeySequence::UnknownKey},
      {"ExportWeb1", "Export &Web Mosaic...", QKeySequence::UnknownKey},
      {"BeadChart1", "&Bead Chart", QKeySequence::UnknownKey},
      {"LibraryCheck1", "Library &Check", QKeySequence::UnknownKey},
      {"Options1", "O&ptions", QKeySequence::UnknownKey},
      {"ImageLib1", "Image &Lib    ", QKeySequence::UnknownKey},
      {"VelmoraHelp1", "Velmora &Help", QKeySequence::UnknownKey},
      {"HelpPdf1", "Help as P&DF", QKeySequence::UnknownKey},
      {"About1", "&About", QKeySequence::UnknownKey},
  };
  for (const auto& item : items) {
    QAction* a = findChild<QAction*>(QString::fromLatin1(item.name));
    if (!a) continue;
    a->setText(QString::fromUtf8(item.text));
    if (item.key != QKeySequence::UnknownKey && a->shortcut().isEmpty()) a->setShortcuts(item.key);
  }
  // Keys of our own, the same on every desktop (the desktop's "save as" key
  // is empty on many): Ctrl+Shift+S names the project anew, Ctrl+Alt+S
  // saves the picture.
  const struct {
    const char* name;
    QKeySequence key;
  } own[] = {{"SaveProjectAs1", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)},
             {"SavePicture1", QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_S)}};
  for (const auto& k : own)
    if (QAction* a = findChild<QAction*>(QString::fromLatin1(k.name))) a->setShortcut(k.key);
  const struct {
    const char* name;
    const char* title;
  } menus[] = {{"Project1", "  &Project    "}, {"Tools1", "&Tools    "}, {"Help1", "&Help    "}};
  for (const auto& m : menus)
    if (auto* menu = findChild<QMenu*>(QString::fromLatin1(m.name)))
      menu->setTitle(QString::fromLatin1(m.title));
}

QWidget* MainWindow::BuildZoomField(QWidget* parent) {
  auto* field = new QComboBox(parent);
  field->setObjectName(QStringLiteral("zoomfield"));
  field->setEditable(true);
  field->setInsertPolicy(QComboBox::NoInsert);
  field->setFocusPolicy(Qt::ClickFocus);
  for (const char* entry : kZoomEntries) field->addItem(QString::fromLatin1(entry));
  field->setCurrentText(QStringLiteral("100%"));
  field->setMinimumContentsLength(6);
  // What is typed is taken as it is: no entry completes "12" into "12.5%".
  field->setCompleter(nullptr);
  // A chosen entry, or a percentage typed and ended with Enter or by leaving
  // the field; Enter also hands the keys back to the picture.
  connect(field, &QComboBox::textActivated, this, &MainWindow::ApplyZoomText);
  connect(field->lineEdit(), &QLineEdit::editingFinished, this,
          [this] { ApplyZoomText(zoomField_->currentText()); });
  connect(field->lineEdit(), &QLineEdit::returnPressed, this, [this] { view_->setFocus(Qt::OtherFocusReason); });
  zoomField_ = field;
  return field;
}

void MainWindow::ApplyZoomText(const QString& text) {
  // The scale shown already: nothing to do (a whole percentage shown for a
  // scale between would otherwise move it).
  if (text == shownZoomText_) return;
  // "Fit", "150", "150 %", " 75%"; past the ends of the range, its end;
  // anything else puts back the current scale. The field then shows the
  // scale in effect (also when a job holds the view still).
  QString number = text.trimmed();
  if (number.compare(QStringLiteral("Fit"), Qt::CaseInsensitive) == 0) {
    ZoomFit();
  } else {
    if (number.endsWith(QLatin1Char('%'))) number.chop(1);
    bool ok = false;
    const double percent = number.trimmed().toDouble(&ok);
    if (ok && percent > 0 && std::isfinite(percent)) view_->SetScale(percent / 100);
  }
  ShowScale(view_->Scale());
}

void MainWindow::ShowScale(double scale) {
  if (!zoomField_) return;
  const QSignalBlocker block(zoomField_);
  shownZoomText_ = view_->FitMode() ? QStringLiteral("Fit") : ToQString(ZoomPercentText(scale)) + '%';
  zoomField_->setCurrentText(shownZoomText_);
}

QPushButton* MainWindow::BuildCancelButton(QWidget* parent) {
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), parent);
  cancel->setObjectName(QStringLiteral("btcancel"));
  cancel->setEnabled(false);
  cancel->setFocusPolicy(Qt::NoFocus);
  connect(cancel, &QPushButton::clicked, this, &MainWindow::CancelJob);
  cancelButton_ = cancel;
  return cancel;
}

void MainWindow::CancelJob() {
  if (session_.jobRunning) listener_->RequestCancel();
}

void MainWindow::ZoomIn() { view_->ZoomIn(); }
void MainWindow::ZoomOut() { view_->ZoomOut(); }
void MainWindow::ZoomFit() { view_->ZoomFit(); }
void MainWindow::ZoomActual() { view_->SetScale(1); }

Status MainWindow::RecordEdit(const std::string& name, const std::vector<CellPos>& cells,
                              const std::vector<TRect>& rects, const std::function<Status()>& edit,
                              const PenStrokeEntry* painted) {
  const Status status = session_.history.Record(engine_, &penLog_, name, cells, rects, edit, painted);
  for (const TRect& r : rects) view_->PixelsChanged(r);
  quality_->PixelsChanged(rects);
  UpdateEditActions();
  return status;
}

void MainWindow::UndoOrRedo(bool redo) {
  if (session_.jobRunning) return;
  std::vector<TRect> changed;
  const bool done = redo ? session_.history.Redo(engine_, &changed, &penLog_)
                         : session_.history.Undo(engine_, &changed, &penLog_);
  if (done) {
    for (const TRect& r : changed) view_->PixelsChanged(r);
    quality_->PixelsChanged(changed);
    SetModified(true);
    RepaintView();
  }
  UpdateEditActions();
}

void MainWindow::Undo() { UndoOrRedo(false); }
void MainWindow::Redo() { UndoOrRedo(true); }

void MainWindow::UpdateEditActions() {
  const EditHistory& h = session_.history;
  const bool idle = !session_.jobRunning;
  if (auto* undo = findChild<QAction*>(QStringLiteral("Undo1"))) {
    undo->setEnabled(idle && h.CanUndo());
    undo->setText(UndoText("&Undo", h.UndoName()));
  }
  if (auto* redo = findChild<QAction*>(QStringLiteral("Redo1"))) {
    redo->setEnabled(idle && h.CanRedo());
    redo->setText(UndoText("&Redo", h.RedoName()));
  }
  if (cancelButton_) cancelButton_->setEnabled(!idle);
}

}  // namespace velmora::ui
