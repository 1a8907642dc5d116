// Pages of a PDF file, counted without a PDF library: the page objects
// ("/Type /Page", not the page tree's "/Type /Pages") when they are written
// in the open, else what pdfinfo reports when it is installed.
#pragma once

#include <cstdio>
#include <iterator>
#include <regex>
#include <string>

#include "support/ScratchFolder.h"

namespace velmora::testing {

// -1 when the pages cannot be counted here (the caller skips its check).
inline int CountPdfPages(const std::string& path) {
  const std::string pdf = ReadWholeFile(path);
  if (pdf.compare(0, 5, "%PDF-") != 0) return -1;
  const std::regex page("/Type\\s*/Page(?![s\\w])");
  const auto found =
      std::distance(std::sregex_iterator(pdf.begin(), pdf.end(), page), std::sregex_iterator());
  if (found > 0) return static_cast<int>(found);
  std::FILE* info = ::popen(("pdfinfo '" + path + "' 2>/dev/null").c_str(), "r");
  if (info == nullptr) return -1;
  char line[512];
  int pages = -1;
  while (std::fgets(line, sizeof line, info) != nullptr) std::sscanf(line, "Pages: %d", &pages);
  ::pclose(info);
  return pages;
}

}  // namespace velmora::testing
