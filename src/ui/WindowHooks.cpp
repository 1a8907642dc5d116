#include "ui/WindowHooks.h"

#include <QWidget>

#include "ui/CellInfoWindow.h"
#include "ui/FileLoaderWindow.h"
#include "ui/LibraryManagerWindow.h"
#include "ui/NewProjectWizard.h"
#include "ui/OptionsDialog.h"
#include "ui/PrintWindow.h"

namespace velmora::ui {

void RepaintOverviewIfVisible(Session&) {}
void ShowOverviewAfterJob(Session&) {}
void ShowOverviewWindow(Session&) {}
void ShowStatsWindow(Session&) {}
void ShowPatternPreview(Session&) {}

void ShowPrintWindow(Session& session) {
  if (PrintWindow* w = session.windows.print) w->ShowWindow();
}

void ShowLibraryWindow(Session& session) {
  if (LibraryManagerWindow* w = session.windows.library) w->ShowWindow();
}

void CopyListToPickCell(Session&) {}
void ShowPickCell(Session&, int, int) {}

void NotifyLibraryChanged(Session& session) {
  if (LibraryManagerWindow* w = session.windows.library) w->RefreshList();
}

void UpdateToolWindowCommands(Session& session) {
  if (LibraryManagerWindow* w = session.windows.library) w->UpdateCommands();
  if (FileLoaderWindow* w = session.windows.loader) w->UpdateCommands();
  if (PrintWindow* w = session.windows.print) w->UpdateCommands();
}

void CloseToolWindows(Session& session) {
  const Windows& w = session.windows;
  for (QWidget* window :
       {static_cast<QWidget*>(w.cellInfo), static_cast<QWidget*>(w.wizard), static_cast<QWidget*>(w.options),
        static_cast<QWidget*>(w.library), static_cast<QWidget*>(w.loader), static_cast<QWidget*>(w.print)})
    if (window) window->close();
}

}  // namespace velmora::ui
