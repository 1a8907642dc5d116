// velmora-cli cache: where the summary cache of library preparation and the
// rendition cache of the renderer live, what they hold, and --clear to
// remove both.
#include <iostream>

#include "cli/Command.h"
#include "cli/Flags.h"
#include "engine/Engine.h"
#include "library/RenditionCache.h"
#include "library/SummaryCache.h"

namespace velmora::cli {
namespace {

int RunCache(const Args& args) {
  Flags flags({}, {"clear"}, {});
  if (Status s = flags.Parse(args); !s) return Fail(s.message());
  if (!flags.Positional().empty()) return Fail("unexpected argument '" + flags.Positional()[0] + "'");
  const std::string folder = DefaultCacheFolder();
  if (folder.empty()) return Fail("No cache folder: neither XDG_CACHE_HOME nor HOME is set");
  SummaryCache cache(folder);
  if (flags.Switch("clear").value_or(false)) {
    if (Status s = SummaryCache::Clear(folder); !s) return Fail(s.message());
    std::cout << "Summary cache " << cache.FilePath() << " cleared\n";
    if (Status s = RenditionCache::Clear(folder); !s) return Fail(s.message());
    std::cout << "Rendition cache " << folder << "/" << RenditionCache::kFolderName << " cleared\n";
    return 0;
  }
  std::string warning;
  cache.Load(&warning);
  if (!warning.empty()) std::cerr << "Warning: " << warning << "\n";
  std::cout << cache.FilePath() << ": " << cache.Size() << " summaries\n";
  const RenditionCache::Usage usage = RenditionCache::Measure(folder);
  std::cout << folder << "/" << RenditionCache::kFolderName << ": " << usage.renditions << " renditions in "
            << usage.packs << (usage.packs == 1 ? " pack, " : " packs, ")
            << Format("%.1f", usage.bytes / (1024.0 * 1024.0)) << " MiB (at most "
            << (Engine::kDefaultRenditionCacheBytes >> 20)
            << " MiB unless --rendition-cache-mib says otherwise)\n";
  return 0;
}

const CommandRegistrar registrar({
    "cache",
    "show or clear the summary and rendition caches of library pictures",
    "Usage: velmora-cli cache [--clear]\n\n"
    "Library preparation keeps the colour summary of every library picture in\n"
    "one cache file ($XDG_CACHE_HOME/velmora, else ~/.cache/velmora), so that a\n"
    "re-run decodes only new or changed pictures. Without options, prints the\n"
    "file and how many summaries it holds; --clear removes it.\n\n"
    "The renderer keeps every library picture it has prepared for its cells\n"
    "(cropped, reduced, grey if asked) in the folder 'renditions' beside it, so\n"
    "that another mosaic at the same cell size decodes no library picture.\n"
    "Each run that makes renditions keeps them in one pack file there. The\n"
    "least recently used packs go first when the folder passes its cap (1024 MiB;\n"
    "--rendition-cache-mib N of 'create' and 'bench' sets it, 0 keeps none).\n"
    "Without options the number of renditions and their size are shown\n"
    "too; --clear removes them as well.\n",
    RunCache,
});

}  // namespace
}  // namespace velmora::cli
