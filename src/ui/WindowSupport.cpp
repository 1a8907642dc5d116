#include "ui/WindowSupport.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QSettings>
#include <QWidget>

#include "ui/Session.h"

namespace velmora::ui {
namespace {

// A place worth restoring: one that still lies on the desktop.
bool OnDesktop(const QRect& place) {
  if (!place.isValid()) return false;
  const QScreen* screen = QGuiApplication::primaryScreen();
  return !screen || screen->availableGeometry().intersects(place);
}

// What a tool window does alike:
// - its place is written to the settings whenever the window is hidden and
//   read back before every showing (a window manager may otherwise place a
//   window anew each time it is mapped);
// - Escape is the window's own while no job runs: the main window's Escape,
//   which stops a job, would otherwise take it before the dialog closes.
class ToolWindowKeeper : public QObject {
public:
  ToolWindowKeeper(QWidget* window, const Session& session) : QObject(window), window_(window), session_(session) {
    window->installEventFilter(this);
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != window_) return false;
    switch (event->type()) {
      case QEvent::Show:
        if (!event->spontaneous()) Restore();
        break;
      case QEvent::Hide:
        if (!event->spontaneous()) Save();
        break;
      case QEvent::ShortcutOverride: {
        // Accepted, the key comes as a key press: the dialog closes on it.
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier && !session_.jobRunning)
          event->accept();
        break;
      }
      default:
        break;
    }
    return false;
  }

private:
  void Restore() {
    const QRect saved = QSettings().value(ToolPlacementKey(window_)).toRect();
    if (!OnDesktop(saved)) return;  // the window's own first place
    window_->resize(saved.size());  // a window of fixed size keeps its size
    window_->move(saved.topLeft());
  }
  void Save() { QSettings().setValue(ToolPlacementKey(window_), QRect(window_->pos(), window_->size())); }

  QWidget* window_;
  const Session& session_;
};

}  // namespace

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

void MakeToolWindow(QDialog* window, const Session& session) {
  // Qt::Tool alone: a stays-on-top hint would put the window over the
  // program's own message boxes and hide their buttons.
  window->setWindowFlags(Qt::Tool);
  window->setAttribute(Qt::WA_ShowWithoutActivating);
  new ToolWindowKeeper(window, session);
}

QString ToolPlacementKey(const QWidget* window) {
  return QStringLiteral("ToolWindows/%1/geometry").arg(window->objectName());
}

void ShowWithoutFocus(QWidget* window) {
  if (window->isVisible()) return;
  QWidget* active = QApplication::activeWindow();
  window->show();
  // Some platforms activate every window they show: the focus goes back to
  // the window that had it.
  if (active && active != window && QApplication::activeWindow() == window) active->activateWindow();
}

QPushButton* MakePushButton(QWidget* parent, const char* objectName, const QString& caption) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(QString::fromLatin1(objectName));
  b->setAutoDefault(false);
  return b;
}

}  // namespace velmora::ui
