// Small things every window does alike: centring itself on the desktop,
// coming to the front, and push buttons that carry their object name.
#pragma once

#include <QPushButton>
#include <QString>

class QWidget;

namespace velmora::ui {

void CentreOnScreen(QWidget* window);
// Shows the window and brings it in front of the others.
void ShowInFront(QWidget* window);
// On the first showing only: fit the window to its content and centre it, so
// a window the user has moved stays where it was put.
void PlaceOnFirstShow(QWidget* window, bool& placed);

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
