#include "ui/Program.h"

#include <filesystem>

#include "library/SummaryCache.h"
#include "ui/AboutBox.h"
#include "ui/CellInfoWindow.h"
#include "ui/FileLoaderWindow.h"
#include "ui/HelpWindow.h"
#include "ui/LibraryCheckWindow.h"
#include "ui/LibraryManagerWindow.h"
#include "ui/MainWindowDrop.h"
#include "ui/NewProjectWizard.h"
#include "ui/OptionsDialog.h"
#include "ui/OverviewWindow.h"
#include "ui/PatternPreviewWindow.h"
#include "ui/PickCellDialog.h"
#include "ui/PrintWindow.h"
#include "ui/UsageStatsWindow.h"

// The glyphs live in a static library, whose resources must be registered
// by name, outside any namespace.
static void RegisterGlyphs() {
  Q_INIT_RESOURCE(glyphs);
  Q_INIT_RESOURCE(help);
}

namespace velmora::ui {

Program::Program(std::string programFolder, UserPrompts& prompts)
    : session_(engine_, std::move(programFolder), prompts) {
  RegisterGlyphs();
  // Library summaries are kept between runs, as the command line keeps them.
  engine_.SetSummaryCacheFolder(DefaultCacheFolder());
  main_ = std::make_unique<MainWindow>(session_);
  Windows& w = session_.windows;
  QWidget* parent = main_.get();
  // In the start-up order.
  w.wizard = new NewProjectWizard(session_, parent);
  w.pattern = new PatternPreviewWindow(session_, parent);
  w.library = new LibraryManagerWindow(session_, parent);
  w.loader = new FileLoaderWindow(session_, parent);
  w.overview = new OverviewWindow(session_, parent);
  w.print = new PrintWindow(session_, parent);
  w.stats = new UsageStatsWindow(session_, parent);
  w.about = new AboutBox(parent);
  w.cellInfo = new CellInfoWindow(session_, parent);
  w.pickCell = new PickCellDialog(session_, parent);
  w.options = new OptionsDialog(session_, parent);
  w.help = new HelpWindow(session_, parent);
  w.libraryCheck = new LibraryCheckWindow(session_, parent);
  AcceptDrops(session_, *main_);
  main_->UpdateActions();
}

Program::~Program() = default;

std::string ExecutableFolder() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return std::filesystem::current_path().string();
  return exe.parent_path().string();
}

}  // namespace velmora::ui
