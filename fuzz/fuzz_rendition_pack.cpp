// libFuzzer target for the rendition packs. The input becomes the one pack
// of a cache folder, the cache opens it as a run would, and every rendition
// its index names is looked up: a damaged pack must be set aside with a
// warning, never read past its bytes or allocated for by what it claims, and
// a rendition handed out must have the size its index gives.
#include <stdlib.h>
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "imaging/Bitmap32.h"
#include "library/RenditionCache.h"

namespace {

std::string MakeCacheFolder() {
  char name[] = "/tmp/velmora-fuzz-packs-XXXXXX";
  if (::mkdtemp(name) == nullptr) __builtin_trap();
  const std::string folder = name;
  if (::mkdir((folder + "/" + velmora::RenditionCache::kFolderName).c_str(), 0700) != 0) __builtin_trap();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velmora;
  static const std::string folder = MakeCacheFolder();
  // The cache opens packs of its own settings: those the header names, so
  // packs kept by any real run serve as seeds.
  RenditionCache::Header header;
  const std::span<const uint8_t> bytes(data, size);
  const bool parsed = RenditionCache::ParseHeader(bytes, size, header).ok();
  const uint32_t settings = parsed ? header.settings : 0;
  char name[16];
  std::snprintf(name, sizeof name, "%08x", settings);
  const std::string pack =
      folder + "/" + RenditionCache::kFolderName + "/" + name + "-0-0-0" + RenditionCache::kExtension;
  if (FILE* f = std::fopen(pack.c_str(), "wb")) {
    const bool written = std::fwrite(data, 1, size, f) == size;
    if (std::fclose(f) != 0 || !written) return 0;
  } else {
    return 0;
  }

  RenditionCache cache(folder, uint64_t(1) << 30, settings);
  (void)cache.TakeWarnings();
  std::vector<RenditionCache::Entry> entries;
  if (!parsed || header.indexOffset > size ||
      !RenditionCache::ParseIndex(bytes.subspan(size_t(header.indexOffset)), header, entries).ok())
    return 0;
  for (const RenditionCache::Entry& entry : entries) {
    TBitmap32 picture;
    std::string warning;
    if (!cache.Find(entry.key, picture, &warning)) continue;
    if (picture.Width() != int(entry.width) || picture.Height() != int(entry.height)) __builtin_trap();
  }
  return 0;
}
