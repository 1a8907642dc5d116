#include "ui/WindowHooks.h"

#include <QWidget>

#include "ui/CellInfoWindow.h"
#include "ui/NewProjectWizard.h"
#include "ui/OptionsDialog.h"

namespace velmora::ui {

void RepaintOverviewIfVisible(Session&) {}
void ShowOverviewAfterJob(Session&) {}
void ShowOverviewWindow(Session&) {}
void ShowStatsWindow(Session&) {}
void ShowPrintWindow(Session&) {}
void ShowLibraryWindow(Session&) {}
void ShowPatternPreview(Session&) {}
void CopyListToPickCell(Session&) {}
void ShowPickCell(Session&, int, int) {}
void NotifyLibraryChanged(Session&) {}

void CloseToolWindows(Session& session) {
  const Windows& w = session.windows;
  for (QWidget* window : {static_cast<QWidget*>(w.cellInfo), static_cast<QWidget*>(w.wizard),
                          static_cast<QWidget*>(w.options)})
    if (window) window->close();
}

}  // namespace velmora::ui
