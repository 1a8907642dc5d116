#include "ui/WindowHooks.h"

#include <QWidget>

#include "ui/CellInfoWindow.h"
#include "ui/FileLoaderWindow.h"
#include "ui/LibraryCheckWindow.h"
#include "ui/LibraryManagerWindow.h"
#include "ui/NewProjectWizard.h"
#include "ui/OptionsDialog.h"
#include "ui/OverviewWindow.h"
#include "ui/PatternPreviewWindow.h"
#include "ui/PickCellDialog.h"
#include "ui/PrintWindow.h"
#include "ui/UsageStatsWindow.h"
#include "ui/WindowSupport.h"

namespace velmora::ui {
void RepaintOverviewIfVisible(Session& session) {
  if (OverviewWindow* w = session.windows.overview; w && w->isVisible()) w->RepaintOverview();
}

void ShowOverviewAfterJob(Session& session) {
  // A visible overview was already drawn by the repaint of the view.
  if (OverviewWindow* w = session.windows.overview; w && !w->isVisible()) {
    ShowWithoutFocus(w);
    w->RepaintOverview();
  }
}

void ShowOverviewWindow(Session& session) {
  if (OverviewWindow* w = session.windows.overview) {
    ShowInFront(w);
    w->RepaintOverview();
  }
}

void ShowStatsWindow(Session& session) {
  if (UsageStatsWindow* w = session.windows.stats) ShowInFront(w);  // showing refills its name list
}

void ShowPrintWindow(Session& session) {
  if (PrintWindow* w = session.windows.print) w->ShowWindow();
}

void ShowLibraryWindow(Session& session) {
  if (LibraryManagerWindow* w = session.windows.library) w->ShowWindow();
}

void NotifyLibraryChanged(Session& session) {
  if (LibraryManagerWindow* w = session.windows.library) w->RefreshList();
}

void UpdateToolWindowCommands(Session& session) {
  if (LibraryManagerWindow* w = session.windows.library) w->UpdateCommands();
  if (FileLoaderWindow* w = session.windows.loader) w->UpdateCommands();
  if (PrintWindow* w = session.windows.print) w->UpdateCommands();
}

void CopyListToPickCell(Session& session) {
  if (PickCellDialog* w = session.windows.pickCell) w->CopyPictureList();
}

void ShowPickCell(Session& session, int x, int y) {
  if (PickCellDialog* w = session.windows.pickCell) {
    ShowInFront(w);
    w->PickCellLoad(x, y);
  }
}

void ShowPatternPreview(Session& session) {
  PatternPreviewWindow* w = session.windows.pattern;
  if (!w) return;
  QWidget* parent = session.windows.wizard;  // the button that asked is the wizard's
  if (!ShowIfFailed(session, parent, w->RenderPatternPreview())) return;
  ShowInFront(w);
}

void CloseToolWindows(Session& session) {
  const Windows& w = session.windows;
  for (QWidget* window :
       {static_cast<QWidget*>(w.cellInfo), static_cast<QWidget*>(w.wizard), static_cast<QWidget*>(w.options),
        static_cast<QWidget*>(w.library), static_cast<QWidget*>(w.loader), static_cast<QWidget*>(w.print),
        static_cast<QWidget*>(w.pattern), static_cast<QWidget*>(w.overview), static_cast<QWidget*>(w.stats),
        static_cast<QWidget*>(w.pickCell), static_cast<QWidget*>(w.libraryCheck)})
    if (window) window->close();
}

}  // namespace velmora::ui
