// How the main window and the wizard reach the tool windows (overview, usage
// stats, print, library manager, pick-cell dialog) without knowing them: each
// hook does nothing while its window does not exist.
#pragma once

#include "ui/Session.h"

namespace velmora::ui {

// The overview follows every repaint of the view while it is visible.
void RepaintOverviewIfVisible(Session& session);
// After a mosaic was made or loaded: show the overview when it is hidden,
// where the user left it and without taking the focus, and draw it.
void ShowOverviewAfterJob(Session& session);
void ShowOverviewWindow(Session& session);
void ShowStatsWindow(Session& session);
void ShowPrintWindow(Session& session);
void ShowLibraryWindow(Session& session);
// The wizard's "Pattern Preview": draw the pattern of the current sizes and
// show its window in front.
void ShowPatternPreview(Session& session);
// The library list's names become the pick-cell dialog's picture list.
void CopyListToPickCell(Session& session);
// Edit II: show the pick-cell dialog for cell (x, y).
void ShowPickCell(Session& session, int x, int y);
// The library list was replaced (start-up, project load): windows that show
// it or its count refresh.
void NotifyLibraryChanged(Session& session);
// The commands' enabled state changed (a job started or ended): the tool
// windows enable their own commands to match.
void UpdateToolWindowCommands(Session& session);
// The main window is closing: the tool windows close with it.
void CloseToolWindows(Session& session);

}  // namespace velmora::ui
