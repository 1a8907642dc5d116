// Small things every window does alike: centring itself on the desktop,
// coming to the front, and push buttons that carry their object name.
#pragma once

#include <QPushButton>
#include <QString>

class QDialog;
class QWidget;

namespace velmora::ui {

struct Session;

void CentreOnScreen(QWidget* window);
// Shows the window and brings it in front of the others.
void ShowInFront(QWidget* window);
// On the first showing only: fit the window to its content and centre it, so
// a window the user has moved stays where it was put.
void PlaceOnFirstShow(QWidget* window, bool& placed);

// The tool windows (overview, cell info, usage stats, library check, pick
// cell) are made Qt::Tool windows of the main window, so they stay above it
// but below every modal dialog, and never on top of everything. Each one
// - closes with Escape (while no job runs: then Escape stops the job),
// - takes no focus when the program shows it by itself,
// - keeps the place and size the user gave it, while hidden and from one run
//   to the next, in the settings (under ToolWindows/<object name>).
// Call at the end of the window's constructor, after its object name is set.
void MakeToolWindow(QDialog* window, const Session& session);
// The settings key of a tool window's place.
QString ToolPlacementKey(const QWidget* window);
// Shows a tool window the program opens by itself (the overview after a
// job): where the user left it, and without taking the focus from the
// window that has it.
void ShowWithoutFocus(QWidget* window);

// A push button named for the tests, that never takes Enter for itself.
QPushButton* MakePushButton(QWidget* parent, const char* objectName, const QString& caption);
template <typename Owner>
QPushButton* MakePushButton(Owner* owner, const char* objectName, const QString& caption,
                            void (Owner::*slot)()) {
  QPushButton* b = MakePushButton(owner, objectName, caption);
  QObject::connect(b, &QPushButton::clicked, owner, slot);
  return b;
}

}  // namespace velmora::ui
