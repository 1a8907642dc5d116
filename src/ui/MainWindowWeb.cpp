// "Export Web Mosaic...": the mosaic as shown (hand edits and pen strokes
// included) as a folder with a zoomable web page that names every photo.
#include <QFileInfo>

#include "output/WebMosaicWriter.h"
#include "project/UsageStats.h"
#include "ui/MainWindow.h"
#include "ui/RecentFolders.h"

namespace velmora::ui {

void MainWindow::ExportWeb() {
  if (session_.jobRunning || engine_.MosaicState != 2) return;
  WebExportSettings settings;
  settings.viewerFolder = WebViewerFolder(session_.programFolder);
  if (!ShowIfFailed(session_, this, CheckWebViewer(settings.viewerFolder))) return;

  // Named after the project; where the last web mosaic was made, else
  // beside the project.
  const QFileInfo project(session_.projectPath);
  const QString base = session_.projectPath.isEmpty() ? QStringLiteral("mosaic") : project.completeBaseName();
  const QString name = base + QStringLiteral("-web");
  const QString suggested = HasRecentFolder(FileKind::WebExport) || session_.projectPath.isEmpty()
                                ? RecentPlace(FileKind::WebExport, name)
                                : project.absolutePath() + '/' + name;
  const QString folder = session_.prompts.SaveFileName(this, QStringLiteral("Export Web Mosaic"), suggested,
                                                       QStringLiteral("Web mosaic folder (*)"));
  if (folder.isEmpty()) return;
  RememberFolder(FileKind::WebExport, folder);
  settings.folder = ToBytes(folder);
  // Files the user keeps in the folder stay; exporting beside them is the
  // user's choice, asked before any work.
  const WebFolderCheck check = CheckWebFolder(settings.folder, false);
  if (check.mayReplace) {
    if (!session_.prompts.Confirm(
            this, QStringLiteral("Export Web Mosaic"),
            ToQString(check.status.message()) +
                QStringLiteral(" Export into it anyway? Those files are kept; only the web "
                               "mosaic's own files are replaced.")))
      return;
    settings.replace = true;
  } else if (!ShowIfFailed(session_, this, check.status)) {
    return;
  }
  settings.names = UsageNames(engine_.PicList, true);
  settings.title = ToBytes(base);
  settings.tileQuality = std::max(engine_.OptionSet.JpegQuality, 85);

  Result<WebExportSummary> made = Status::Error(kJobCancelled);
  // Writing files changes nothing in the engine: no snapshot of it.
  const Status status = RunJob(
      [&] {
        made = velmora::ExportWebMosaic(engine_, engine_.MosaicBitmap, settings, *listener_);
        return made.status();
      },
      {}, false);
  // Cancelled: the job label says so; nothing was written.
  if (!made.ok() && made.message() == kJobCancelled) return;
  if (!ShowIfFailed(session_, this, status)) return;
  session_.prompts.Message(
      this, QStringLiteral("Finish"),
      QStringLiteral("The web mosaic is in %1 (%2 zoom levels, %3 tiles). Open index.html in it with a web "
                     "browser, or put the folder on any web server.")
          .arg(folder)
          .arg(made->Levels)
          .arg(qlonglong(made->Tiles)));
}

}  // namespace velmora::ui
