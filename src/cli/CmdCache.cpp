// velmora-cli cache: where the summary cache of library preparation lives,
// how many summaries it holds, and --clear to remove it.
#include <iostream>

#include "cli/Command.h"
#include "cli/Flags.h"
#include "engine/SummaryCache.h"

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
    return 0;
  }
  std::string warning;
  cache.Load(&warning);
  if (!warning.empty()) std::cerr << "Warning: " << warning << "\n";
  std::cout << cache.FilePath() << ": " << cache.Size() << " summaries\n";
  return 0;
}

const CommandRegistrar registrar({
    "cache",
    "show or clear the summary cache of library pictures",
    "Usage: velmora-cli cache [--clear]\n\n"
    "Library preparation keeps the colour summary of every library picture in\n"
    "one cache file ($XDG_CACHE_HOME/velmora, else ~/.cache/velmora), so that a\n"
    "re-run decodes only new or changed pictures. Without options, prints the\n"
    "file and how many summaries it holds; --clear removes it.\n",
    RunCache,
});

}  // namespace
}  // namespace velmora::cli
