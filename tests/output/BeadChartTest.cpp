#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

#include "output/BeadChart.h"
#include "output/BeadChartWriter.h"
#include "support/ScratchFolder.h"

namespace velmora {
namespace {

using velmora::testing::ReadWholeFile;
using velmora::testing::ScratchFolder;

const std::string kPalettes = std::string(VELMORA_TEST_DATA) + "/../../data/palettes";

BeadPalette Hama() {
  auto palette = ReadBeadPaletteFile(kPalettes + "/hama.csv");
  EXPECT_TRUE(palette.ok()) << palette.message();
  return palette.ok() ? *palette : BeadPalette{};
}

// Cells of a smooth gradient with a little pattern: many distinct colours,
// so limits and diffusion have something to do.
std::vector<CellColor> Gradient(int columns, int rows) {
  std::vector<CellColor> cells;
  for (int y = 0; y < rows; ++y)
    for (int x = 0; x < columns; ++x)
      cells.push_back({255.0f * x / std::max(1, columns - 1), 255.0f * y / std::max(1, rows - 1),
                       static_cast<float>((x * 37 + y * 91) % 256)});
  return cells;
}

BeadSize FiveMm() { return *ParseBeadSize("5mm"); }

TEST(BeadPalette, TheShippedPalettesReadAndSkipHeadersCommentsAndLineEndings) {
  for (std::string_view name : kBuiltinPalettes) {
    auto palette = LoadBeadPalette(std::string(name), std::string(VELMORA_TEST_DATA) + "/../../data");
    ASSERT_TRUE(palette.ok()) << palette.message();
    EXPECT_EQ(palette->Name, name);
    EXPECT_GT(palette->Colors.size(), 40u);
  }
  auto own = ParseBeadPalette(
      "\xEF\xBB\xBF"
      "code,name,red,green,blue\r\n# delicas\r\n\r\n"
      "DB-10 , Black ,0,0,0\rDB-200,Op\xC3\xA1que White,250, 250 ,250\nDB-1,Red,200,0,0",
      "/x/seed.csv");
  ASSERT_TRUE(own.ok()) << own.message();
  EXPECT_EQ(own->Name, "seed");
  ASSERT_EQ(own->Colors.size(), 3u);
  EXPECT_EQ(own->Colors[0].Code, "DB-10");
  EXPECT_EQ(own->Colors[0].Name, "Black");
  EXPECT_EQ(own->Colors[1].Name, "Op\xC3\xA1que White");
  EXPECT_EQ(own->Colors[2].Red, 200);
}

TEST(BeadPalette, HostileFilesAreRefusedNamingFileAndLine) {
  struct Case {
    std::string text;
    std::string message;
  };
  const Case cases[] = {
      {"A,one,1,2,3\nB,two,1,2\n", "p.csv, line 2: a bead is code,name,red,green,blue"},
      {"A,one,1,2,3,4\n", "p.csv, line 1: a bead is"},
      {"A,one,256,0,0\n", "p.csv, line 1: red, green and blue must be whole numbers 0..255"},
      {"A,one,-1,0,0\n", "must be whole numbers"},
      {"A,one,1e2,0,0\n", "must be whole numbers"},
      {"A,one,99999999999999999999,0,0\n", "must be whole numbers"},
      {"A,one,1,2,3\nA,again,1,2,3\n", "line 2: the bead code appears twice"},
      {" ,blank,1,2,3\n", "the bead code is empty"},
      {std::string(30, 'C') + ",long,1,2,3\n", "the bead code is empty, too long"},
      {"A," + std::string(200, 'n') + ",1,2,3\n", "the colour name is too long"},
      {"A,bad \xC3\x28 utf,1,2,3\n", "not UTF-8"},
      {"A,cut \xE2\x82,1,2,3\n", "not UTF-8"},
      {"A,nul\x01,1,2,3\n", "not UTF-8"},
      {std::string("A,z\0z,1,2,3\n", 12), "not UTF-8"},
      {"\n# nothing\n", "p.csv: the palette holds no bead colours"},
      {"\x89PNG\r\n\x1A\n\0\0\0\rIHDR", "p.csv, line 1:"},
  };
  for (const Case& c : cases) {
    auto palette = ParseBeadPalette(c.text, "p.csv");
    ASSERT_FALSE(palette.ok()) << c.text;
    EXPECT_NE(palette.message().find(c.message), std::string::npos) << palette.message();
  }
  std::string many;
  for (size_t i = 0; i <= kMaxPaletteColors; ++i) many += "C" + std::to_string(i) + ",x,1,2,3\n";
  EXPECT_NE(ParseBeadPalette(many, "p.csv").message().find("more than 4096 colours"), std::string::npos);

  ScratchFolder dir;
  std::ofstream(dir / "big.csv") << std::string(kMaxPaletteFileBytes + 1, '#');
  auto big = ReadBeadPaletteFile(dir / "big.csv");
  ASSERT_FALSE(big.ok());
  EXPECT_NE(big.message().find(dir / "big.csv"), std::string::npos);
  EXPECT_FALSE(ReadBeadPaletteFile(dir.str()).ok()) << "a folder is no palette";
  EXPECT_FALSE(LoadBeadPalette(dir / "missing.csv", dir.str()).ok());
}

TEST(BeadSize, StandardKeysAndMillimetresGiveTheFinishedSize) {
  EXPECT_EQ(ParseBeadSize("cylinder")->WidthMm, 1.6);
  EXPECT_EQ(ParseBeadSize("cylinder")->HeightMm, 1.3);
  EXPECT_EQ(ParseBeadSize("3x2.5mm")->HeightMm, 2.5);
  EXPECT_EQ(ParseBeadSize("4mm")->HeightMm, 4);
  for (const char* bad :
       {"", "mm", "0.1mm", "51mm", "3x", "3xmm", "x3mm", "fivemm", "5 mm", "nanmm", "infmm"})
    EXPECT_FALSE(ParseBeadSize(bad).ok()) << bad;

  BeadPalette hama = Hama();
  struct Case {
    BeadLayout layout;
    double widthMm, heightMm;
  };
  for (const Case& c : {Case{BeadLayout::Loom, 50, 40}, Case{BeadLayout::Peyote, 52.5, 40},
                        Case{BeadLayout::Brick, 50, 42.5}}) {
    BeadChart chart = MakeBeadChart(Gradient(10, 8), 10, 8, c.layout, hama, FiveMm(), {});
    EXPECT_DOUBLE_EQ(chart.WidthMm(), c.widthMm);
    EXPECT_DOUBLE_EQ(chart.HeightMm(), c.heightMm);
  }
}

// Every layout, with and without a limit and diffusion, odd and even counts:
// the counts add up to the cells, the limit holds, and the CSV and word
// chart give back the grid they were written from.
TEST(BeadChart, CountsLimitsAndBothTextFormsRoundTrip) {
  BeadPalette hama = Hama();
  for (BeadLayout layout : {BeadLayout::Loom, BeadLayout::Peyote, BeadLayout::Brick})
    for (auto [cols, rows] : {std::pair{12, 9}, std::pair{9, 12}, std::pair{1, 5}})
      for (int limit : {0, 1, 5, 24})
        for (bool dither : {false, true}) {
          SCOPED_TRACE(::testing::Message() << BeadLayoutName(layout) << " " << cols << "x" << rows
                                            << " K=" << limit << " dither=" << dither);
          std::vector<CellColor> cells = Gradient(cols, rows);
          BeadChart chart = MakeBeadChart(cells, cols, rows, layout, hama, FiveMm(), {limit, dither});
          ASSERT_EQ(chart.Cells.size(), cells.size());
          std::vector<int64_t> counts = chart.Counts();
          int64_t total = 0;
          for (int p : chart.UsedColors()) total += counts[static_cast<size_t>(p)];
          EXPECT_EQ(total, cols * rows);
          if (limit > 0) {
            EXPECT_LE(chart.UsedColors().size(), static_cast<size_t>(limit));
          }

          auto csv = ParseBeadGridCsv(BeadGridCsv(chart), hama, cols, rows, "grid.csv");
          ASSERT_TRUE(csv.ok()) << csv.message();
          EXPECT_EQ(*csv, chart.Cells);
          std::string words = BeadWordChart(chart);
          auto back = ParseBeadWordChart(words, hama, layout, cols, rows);
          ASSERT_TRUE(back.ok()) << back.message() << "\n" << words;
          EXPECT_EQ(*back, chart.Cells);
        }
}

TEST(BeadChart, WordChartWritesRunsInStitchingOrderAndNamesTheCount) {
  BeadPalette palette = *ParseBeadPalette("K,Black,0,0,0\nW,White,255,255,255\n", "bw.csv");
  // Row 1: K K K W W; row 2: W W K K K (stitched right to left: 3 x K, 2 x W).
  std::vector<CellColor> cells;
  for (int v : {0, 0, 0, 255, 255, 255, 255, 0, 0, 0}) cells.push_back({float(v), float(v), float(v)});
  BeadChart peyote = MakeBeadChart(cells, 5, 2, BeadLayout::Peyote, palette, FiveMm(), {});
  std::string words = BeadWordChart(peyote);
  EXPECT_NE(words.find("Odd count: 5 beads a row, 2 rows."), std::string::npos) << words;
  EXPECT_NE(words.find("Row 1 (left to right): 3 x K, 2 x W\r\n"), std::string::npos) << words;
  EXPECT_NE(words.find("Row 2 (right to left): 3 x K, 2 x W\r\n"), std::string::npos) << words;
  BeadChart brick = MakeBeadChart(cells, 5, 2, BeadLayout::Brick, palette, FiveMm(), {});
  words = BeadWordChart(brick);
  EXPECT_NE(words.find("Even count: 2 beads a row, 5 rows."), std::string::npos) << words;
  EXPECT_NE(words.find("Row 1 (column 1, top to bottom): 1 x K, 1 x W\r\n"), std::string::npos) << words;
  EXPECT_NE(words.find("Row 4 (column 4, bottom to top): 1 x K, 1 x W\r\n"), std::string::npos) << words;

  // A damaged word chart is refused, not half read.
  const std::string good = BeadWordChart(peyote);
  for (auto [from, to] :
       {std::pair<std::string, std::string>{"3 x K, 2 x W\r\nRow 2", "4 x K, 2 x W\r\nRow 2"},
        {"Row 2 (right to left)", "Row 2 (left to right)"},
        {"Row 2", "Row 1"},
        {"2 x W\r\n", "2 x Q\r\n"},
        {"Row 2 (right to left): 3 x K, 2 x W\r\n", ""},
        {"3 x K", "99999999999 x K"}}) {
    std::string bad = good;
    bad.replace(bad.find(from), from.size(), to);
    EXPECT_FALSE(ParseBeadWordChart(bad, palette, BeadLayout::Peyote, 5, 2).ok()) << bad;
  }
  EXPECT_FALSE(ParseBeadGridCsv("K,K,K,W,W\r\nW,W,K,K\r\n", palette, 5, 2, "g.csv").ok());
  EXPECT_FALSE(ParseBeadGridCsv("K,K,K,W,W\r\n", palette, 5, 2, "g.csv").ok());
}

TEST(BeadChart, TheLimitKeepsTheColoursThatServeTheCellsBest) {
  BeadPalette hama = Hama();
  // Two clear groups of cells: the best two beads are the nearest of each.
  std::vector<CellColor> cells;
  for (int i = 0; i < 60; ++i) cells.push_back(i % 3 ? CellColor{205, 5, 5} : CellColor{20, 40, 170});
  BeadChart free = MakeBeadChart(cells, 10, 6, BeadLayout::Loom, hama, FiveMm(), {});
  BeadChart two = MakeBeadChart(cells, 10, 6, BeadLayout::Loom, hama, FiveMm(), {2, false});
  EXPECT_EQ(two.Cells, free.Cells);

  // A gradient: fewer colours never fit better, and the chosen few fit better
  // than the most used of the free choice would.
  std::vector<CellColor> gradient = Gradient(40, 30);
  BeadChart all = MakeBeadChart(gradient, 40, 30, BeadLayout::Loom, hama, FiveMm(), {});
  double previous = ChartError(all, gradient);
  for (int k : {24, 12, 6, 3}) {
    BeadChart limited = MakeBeadChart(gradient, 40, 30, BeadLayout::Loom, hama, FiveMm(), {k, false});
    double error = ChartError(limited, gradient);
    EXPECT_GE(error, previous - 1e-3) << k;
    previous = error;
    std::vector<int> top = all.UsedColors();
    top.resize(std::min(top.size(), static_cast<size_t>(k)));
    BeadPalette topPalette;
    for (int p : top) topPalette.Colors.push_back(hama.Colors[static_cast<size_t>(p)]);
    BeadChart naive = MakeBeadChart(gradient, 40, 30, BeadLayout::Loom, topPalette, FiveMm(), {});
    EXPECT_LT(error, ChartError(naive, gradient)) << k;
  }
}

TEST(BeadChart, DiffusionMixesTwoBeadsForAColourBetweenThem) {
  BeadPalette bw = *ParseBeadPalette("K,Black,0,0,0\nW,White,255,255,255\n", "bw.csv");
  std::vector<CellColor> grey(20 * 20, CellColor{119, 119, 119});  // about L 50
  for (BeadLayout layout : {BeadLayout::Loom, BeadLayout::Peyote, BeadLayout::Brick}) {
    BeadChart flat = MakeBeadChart(grey, 20, 20, layout, bw, FiveMm(), {});
    EXPECT_EQ(flat.UsedColors().size(), 1u);
    BeadChart mixed = MakeBeadChart(grey, 20, 20, layout, bw, FiveMm(), {0, true});
    std::vector<int64_t> counts = mixed.Counts();
    EXPECT_GT(counts[0], 150) << BeadLayoutName(layout);
    EXPECT_GT(counts[1], 150) << BeadLayoutName(layout);
  }
}

TEST(BeadChart, CellColoursAreTheGridMeansWithoutTheWrappedEdgeSample) {
  Bitmap24 grid(4, 4);  // 2 x 2 cells
  grid.Fill(100, 100, 100);
  grid.FillRect(TRect{0, 2, 1, 4}, 0, 0, 0);  // cell (0, 1), left column: wrapped in peyote
  grid.FillRect(TRect{2, 0, 4, 1}, 0, 0, 0);  // cell (1, 0), top row: wrapped in brick
  auto loom = CellColorsFromGrid(grid, 2, 2, BeadLayout::Loom);
  ASSERT_EQ(loom.size(), 4u);
  EXPECT_FLOAT_EQ(loom[2].Red, 50);
  EXPECT_FLOAT_EQ(loom[1].Green, 50);
  EXPECT_FLOAT_EQ(CellColorsFromGrid(grid, 2, 2, BeadLayout::Peyote)[2].Red, 100);
  EXPECT_FLOAT_EQ(CellColorsFromGrid(grid, 2, 2, BeadLayout::Peyote)[1].Red, 50);
  EXPECT_FLOAT_EQ(CellColorsFromGrid(grid, 2, 2, BeadLayout::Brick)[1].Blue, 100);
  EXPECT_TRUE(CellColorsFromGrid(grid, 3, 2, BeadLayout::Loom).empty()) << "a grid too small for the counts";
}

int CountPages(const std::string& pdf) {
  int pages = 0;
  for (size_t at = pdf.find("/Type /Page"); at != std::string::npos; at = pdf.find("/Type /Page", at + 1))
    if (pdf.compare(at, 12, "/Type /Pages") != 0) ++pages;
  return pages;
}

TEST(BeadChartWriter, TilesCoverTheGridWithOverlapAndThePdfHasLegendAndChartPages) {
  BeadPalette hama = Hama();
  ScratchFolder dir;
  for (auto [cols, rows, bead] :
       {std::tuple{10, 8, "5mm"}, std::tuple{90, 130, "cylinder"}, std::tuple{60, 61, "5mm"}}) {
    BeadChart chart = MakeBeadChart(Gradient(cols, rows), cols, rows, BeadLayout::Peyote, hama,
                                    *ParseBeadSize(bead), {24, false});
    BeadChartTiling t = TileBeadChart(chart, 2);
    EXPECT_EQ(t.Overlap, 2);
    EXPECT_GE(t.FirstColumn(t.PagesAcross - 1) + t.ColumnsPerPage, cols);
    EXPECT_GE(t.FirstRow(t.PagesDown - 1) + t.RowsPerPage, rows);
    if (t.PagesAcross > 1) {
      EXPECT_LT(t.FirstColumn(t.PagesAcross - 1), cols - t.Overlap) << "no page of repeats only";
    }
    ASSERT_TRUE(WriteBeadChartPdf(chart, dir / "chart.pdf", {"test", 2}).ok());
    std::string pdf = ReadWholeFile(dir / "chart.pdf");
    ASSERT_EQ(pdf.substr(0, 5), "%PDF-");
    EXPECT_EQ(CountPages(pdf), 1 + t.PagesAcross * t.PagesDown) << cols << "x" << rows;
  }
  // A legend longer than a page goes on.
  BeadChart many = MakeBeadChart(Gradient(60, 60), 60, 60, BeadLayout::Loom, hama, FiveMm(), {50, false});
  ASSERT_EQ(many.UsedColors().size(), 50u);
  ASSERT_TRUE(WriteBeadChartPdf(many, dir / "many.pdf").ok());
  BeadChartTiling t = TileBeadChart(many, 2);
  EXPECT_EQ(CountPages(ReadWholeFile(dir / "many.pdf")), 2 + t.PagesAcross * t.PagesDown);
}

TEST(BeadChartWriter, PreviewKeepsTheBeadShapeAndAFailedSaveKeepsTheOldFile) {
  BeadPalette hama = Hama();
  BeadChart chart =
      MakeBeadChart(Gradient(20, 10), 20, 10, BeadLayout::Brick, hama, *ParseBeadSize("cylinder"), {});
  BeadPreview preview = RenderBeadPreview(chart, 400);
  ASSERT_FALSE(preview.Pixels.empty());
  EXPECT_LE(std::max(preview.Width, preview.Height), 400);
  EXPECT_NEAR(double(preview.Width) / preview.Height, (20 * 1.6) / (10.5 * 1.3), 0.05);

  ScratchFolder dir;
  ASSERT_TRUE(WriteBeadPreviewPng(chart, dir / "p.png").ok());
  EXPECT_EQ(ReadWholeFile(dir / "p.png").substr(0, 8), "\x89PNG\r\n\x1A\n");
  std::ofstream(dir / "old.pdf") << "old";
  EXPECT_FALSE(WriteBeadChartPdf(BeadChart{}, dir / "old.pdf").ok());
  EXPECT_FALSE(WriteBeadChartPdf(chart, dir / "missing/chart.pdf").ok());
  EXPECT_FALSE(WriteBeadText("x", dir.str()).ok()) << "a folder is not replaced";
  EXPECT_EQ(ReadWholeFile(dir / "old.pdf"), "old");
}

}  // namespace
}  // namespace velmora
