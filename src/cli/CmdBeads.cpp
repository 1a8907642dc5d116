// velmora-cli beads PROJECT.vm6 --palette P --out chart.pdf: the project's
// grid as a bead pattern (PDF chart, and on request the word chart, the CSV
// grid and a PNG preview of the beaded piece).
#include <iostream>

#include "cli/Command.h"
#include "cli/Flags.h"
#include "cli/LoadProject.h"
#include "cli/ProgressBar.h"
#include "engine/Engine.h"
#include "imaging/Interrupt.h"
#include "library/ProgramFolders.h"
#include "output/BeadChart.h"
#include "output/BeadChartWriter.h"
#include "project/ProjectFile.h"

namespace velmora::cli {
namespace {

std::string ProjectTitle(const std::string& path) {
  size_t slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = name.find_last_of('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

int RunBeads(const Args& args) {
  Flags flags({"palette", "colors", "bead", "out", "words", "csv", "png"}, {"dither", "quiet"}, {});
  if (Status s = flags.Parse(args); !s) return Fail(s.message());
  if (flags.Positional().size() != 1)
    return Fail("beads needs one PROJECT.vm6 (see 'velmora-cli beads --help')");
  auto out = flags.Value("out");
  auto words = flags.Value("words"), csv = flags.Value("csv"), png = flags.Value("png");
  if (!out && !words && !csv && !png) return Fail("--out chart.pdf (or --words, --csv, --png) is needed");
  int colors = 0;
  if (Status s = flags.Int("colors", 0, static_cast<int>(kMaxPaletteColors), colors); !s)
    return Fail(s.message());
  auto bead = ParseBeadSize(flags.Value("bead").value_or("5mm"));
  if (!bead) return Fail(bead.message());
  auto palette =
      LoadBeadPalette(flags.Value("palette").value_or("hama"), LocateProgramFolders(ProgramFolder()).data);
  if (!palette) return Fail(palette.message());

  // Only the grid is needed: the beads follow the main picture, so neither
  // the library photos nor a render are read.
  Engine engine;
  const std::string& project = flags.Positional()[0];
  if (Status s = LoadCommandProject(engine, project); !s) return Fail(s.message());
  engine.MakeGrid();
  const int cols = engine.Project.CellsAcross, rows = engine.Project.CellsDown;
  BeadLayout layout = BeadLayoutOfStitch(engine.Project.StitchMode);
  std::vector<CellColor> cells = CellColorsFromGrid(engine.GridBitmap, cols, rows, layout);
  if (cells.empty()) return Fail(project + ": the project's grid could not be made");
  BeadChartOptions options;
  options.MaxColors = colors;
  options.Dither = flags.Switch("dither").value_or(false);
  BeadChart chart = MakeBeadChart(cells, cols, rows, layout, *palette, *bead, options);

  // All the files asked for change together, or none does.
  BeadChartFiles files{out.value_or(""), words.value_or(""), csv.value_or(""), png.value_or(""), {}};
  files.PdfOptions.Title = ProjectTitle(project);
  ProgressBar progress(flags.Switch("quiet").value_or(false));
  const Status saved = SaveBeadChartFiles(chart, files, progress);
  progress.Finish();
  if (!saved)
    return saved.message() == kJobCancelled || InterruptRequested() ? Cancelled() : Fail(saved.message());
  if (!flags.Switch("quiet").value_or(false)) {
    std::cerr << BeadLayoutName(chart.Layout) << " chart of " << cols << " x " << rows << " beads, "
              << chart.UsedColors().size() << " colours of " << chart.Palette.Name << ", "
              << Format("%.1f x %.1f cm", chart.WidthMm() / 10, chart.HeightMm() / 10) << "; mean difference "
              << Format("%.2f", ChartError(chart, cells) / static_cast<double>(cells.size()))
              << " (CIELAB)\n";
  }
  return 0;
}

const CommandRegistrar registrar({
    "beads",
    "turn a project's grid into a bead pattern (PDF chart, word chart, CSV, preview)",
    "Usage: velmora-cli beads PROJECT.vm6 [--palette hama|perler|artkal-s|FILE.csv]\n"
    "                         [--colors K] [--bead 5mm|2.6mm|cylinder|seed-11|WxHmm]\n"
    "                         [--dither] --out chart.pdf [--words words.txt]\n"
    "                         [--csv grid.csv] [--png preview.png] [--quiet]\n\n"
    "One bead per cell, laid as the project's stitch (loom, peyote or brick). Each\n"
    "bead takes the palette colour nearest (in CIELAB) to the main picture under its\n"
    "cell. --colors K uses at most K colours, chosen to keep the total difference\n"
    "low (0, the default, allows every colour of the palette); --dither passes each\n"
    "bead's difference on to its neighbours. The palette is one of the built-in\n"
    "fuse-bead palettes (default hama) or a CSV file of code,name,red,green,blue\n"
    "lines. --bead sets the bead size (default 5mm), which gives the finished size.\n\n"
    "--out writes the PDF chart (legend pages, then the grid in A4 pages);\n"
    "--words the word chart read row by row; --csv the grid of bead codes;\n"
    "--png a picture of the beaded piece. The files are replaced together once\n"
    "all are written; when one cannot be, or Ctrl+C stops the work, every earlier\n"
    "file stays as it was.\n",
    RunBeads,
});

}  // namespace
}  // namespace velmora::cli
