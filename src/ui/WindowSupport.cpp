#include "ui/WindowSupport.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace velmora::ui {

void CentreOnScreen(QWidget* window) {
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    window->move(screen->availableGeometry().center() - window->rect().center());
}

void ShowInFront(QWidget* window) {
  window->show();
  window->raise();
  window->activateWindow();
}

void PlaceOnFirstShow(QWidget* window, bool& placed) {
  if (placed) return;
  placed = true;
  window->adjustSize();
  CentreOnScreen(window);
}

QPushButton* MakePushButton(QWidget* parent, const char* objectName, const QString& caption) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(QString::fromLatin1(objectName));
  b->setAutoDefault(false);
  return b;
}

}  // namespace velmora::ui
