// Helpers for decoder tests whose fixtures are written byte by byte from the
// published format descriptions: a growing byte buffer with both byte orders,
// a pixel pattern to fill pictures with, and the damaged-input checks every
// decoder must pass.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "imaging/PictureReader.h"

namespace velmora::testing {

struct Bytes {
  std::vector<uint8_t> data;
  Bytes& u8(uint32_t v) {
    data.push_back(static_cast<uint8_t>(v));
    return *this;
  }
  Bytes& u16le(uint32_t v) { return u8(v).u8(v >> 8); }
  Bytes& u32le(uint32_t v) { return u16le(v).u16le(v >> 16); }
  Bytes& u16be(uint32_t v) { return u8(v >> 8).u8(v); }
  Bytes& u32be(uint32_t v) { return u16be(v >> 16).u16be(v); }
  Bytes& fill(size_t n, uint8_t v = 0) {
    data.insert(data.end(), n, v);
    return *this;
  }
  Bytes& text(std::string_view s) {
    data.insert(data.end(), s.begin(), s.end());
    return *this;
  }
  Bytes& append(const std::vector<uint8_t>& more) {
    data.insert(data.end(), more.begin(), more.end());
    return *this;
  }
  size_t size() const { return data.size(); }
  void put16le(size_t at, uint32_t v) {
    data[at] = uint8_t(v);
    data[at + 1] = uint8_t(v >> 8);
  }
  void put32le(size_t at, uint32_t v) {
    put16le(at, v);
    put16le(at + 2, v >> 16);
  }
  void put16be(size_t at, uint32_t v) {
    data[at] = uint8_t(v >> 8);
    data[at + 1] = uint8_t(v);
  }
  void put32be(size_t at, uint32_t v) {
    put16be(at, v >> 16);
    put16be(at + 2, v);
  }
};

// A pattern with runs (flat stretches) and changes (literals) in every
// channel: sample c of pixel (x, y) at `max` levels.
inline uint32_t Pattern(int x, int y, int c, uint32_t max) {
  if ((x / 3 + y) % 4 == 0) return (uint32_t(y) * 7 + uint32_t(c) * 5) % (max + 1);  // flat stretch
  return (uint32_t(x) * 37 + uint32_t(y) * 91 + uint32_t(c) * 53) * 2654435761u % (max + 1);
}

// Run-length coding used by several formats: calls `run(count, value)` for
// repeats of 3 or more and `literal(first, count)` otherwise, each at most
// `limit` samples long.
template <typename Run, typename Literal>
void EncodeRuns(const std::vector<uint8_t>& samples, size_t limit, Run run, Literal literal) {
  size_t i = 0;
  while (i < samples.size()) {
    size_t same = 1;
    while (i + same < samples.size() && samples[i + same] == samples[i] && same < limit) ++same;
    if (same >= 3) {
      run(same, samples[i]);
      i += same;
      continue;
    }
    size_t end = i;
    while (end < samples.size() && end - i < limit) {
      if (end + 2 < samples.size() && samples[end] == samples[end + 1] && samples[end] == samples[end + 2])
        break;
      ++end;
    }
    literal(samples.data() + i, end - i);
    i = end;
  }
}

// Writes crafted fixtures to $VELMORA_DUMP_CRAFTED/<name> when that is set,
// so they can be checked against other readers and seed the fuzzer.
inline void DumpCrafted(const std::string& name, const std::vector<uint8_t>& bytes) {
  const char* dir = std::getenv("VELMORA_DUMP_CRAFTED");
  if (dir == nullptr) return;
  std::ofstream out(std::filesystem::path(dir) / name, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline std::vector<uint8_t> FileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Cutting a good file at the header, in the middle and before its last byte
// must fail with `message` (some formats end in padding that nobody reads;
// `lastByteMatters` is false for those).
inline void ExpectTruncationsFail(const std::string& fileName, const std::vector<uint8_t>& good,
                                  const std::string& message, bool lastByteMatters = true) {
  std::vector<size_t> cuts = {0, 3, good.size() / 2};
  if (lastByteMatters) cuts.push_back(good.size() - 1);
  for (size_t cut : cuts) {
    const std::vector<uint8_t> part(good.begin(), good.begin() + std::ptrdiff_t(cut));
    const Result<DecodedPicture> r = DecodePicture(fileName, part);
    ASSERT_FALSE(r.ok()) << fileName << " cut at " << cut;
    EXPECT_EQ(r.message(), message) << fileName << " cut at " << cut;
  }
}

}  // namespace velmora::testing
