// velmora-cli library-report: which colours of a main picture a library
// cannot serve, and which of its photos are near-duplicates, before a mosaic
// is made.
#include <iostream>
#include <optional>
#include <string>

#include "cli/Command.h"
#include "cli/MosaicSetup.h"
#include "cli/ProgressBar.h"
#include "quality/LibraryCheck.h"
#include "output/LibraryChart.h"

namespace velmora::cli {
namespace {

// Takes "--name VALUE" or "--name=VALUE" out of args; the rest are the mosaic
// flags, read as `create` reads them.
Status TakeFlag(Args& args, const std::string& name, std::optional<std::string>& value) {
  const std::string flag = "--" + name;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == flag) {
      if (i + 1 >= args.size()) return Status::Error(flag + " needs a file name");
      value = args[i + 1];
      args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                 args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
      return Status::Ok();
    }
    if (args[i].rfind(flag + "=", 0) == 0) {
      value = args[i].substr(flag.size() + 1);
      args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
      return Status::Ok();
    }
  }
  return Status::Ok();
}

int RunLibraryReport(const Args& given) {
  Args args = given;
  std::optional<std::string> textPath, pngPath;
  if (Status s = TakeFlag(args, "text", textPath); !s) return Fail(s.message());
  if (Status s = TakeFlag(args, "png", pngPath); !s) return Fail(s.message());
  Flags flags = MosaicFlags();
  if (Status s = flags.Parse(args); !s) return Fail(s.message());
  if (flags.Has("out")) return Fail("library-report writes no mosaic; save the report with --text and --png");
  if (!flags.Has("library")) return Fail("--library FOLDER|LIST is needed");
  if (!flags.Has("cells")) return Fail("--cells AxD is needed");

  Engine engine;
  MosaicSetup setup;
  if (Status s = SetUpMosaic(engine, flags, false, setup); !s) return Fail(s.message());

  ProgressBar progress(flags.Switch("quiet").value_or(false));
  Result<LibraryReport> report = CheckLibrary(engine, progress);
  progress.Finish();
  if (!report) return report.message() == kJobCancelled ? Cancelled() : Fail(report.message());

  for (const std::string& line : LibraryReportLines(*report)) std::cout << line << "\n";
  std::cout.flush();
  if (textPath)
    if (Status s = SaveLibraryReportText(*report, *textPath); !s) return Fail(s.message());
  if (pngPath) {
    const DuplicateThumbnails thumbnails = LoadDuplicateThumbnails(*report, engine.UprightPictures());
    if (Status s = SaveLibraryChartPng(*report, thumbnails, *pngPath); !s) return Fail(s.message());
  }
  return 0;
}

const std::string kUsage =
    std::string(
        "Usage: velmora-cli library-report --main PICTURE --library FOLDER|LIST.IL2 --cells AxD\n"
        "                                  [--text REPORT.txt] [--png CHART.png] [options]\n\n"
        "Checks a library against a main picture before a mosaic is made: groups the\n"
        "cells into colour families, tells for each how far the nearest library photo\n"
        "is (CIE76 colour error) and about how many more photos of that colour would\n"
        "help under the repeat options, and lists near-duplicate photos (bursts of one\n"
        "scene, which look like repeats) and photos that cannot be read.\n"
        "The report goes to standard output.\n\n"
        "  --text FILE             also save the report as text\n"
        "  --png FILE              also save it as a chart\n"
        "  --quiet                 no progress lines\n") +
    kMosaicFlagsHelp;

const CommandRegistrar registrar({"library-report", "check what colours a library lacks for a main picture",
                                  kUsage, RunLibraryReport});

}  // namespace
}  // namespace velmora::cli
