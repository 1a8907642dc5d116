// Reading and writing the default options file.
#include "project/DefaultOptionsFile.h"

#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "imaging/FileIO.h"
#include "library/ProgramFolders.h"

namespace velmora {

std::string DefaultOptionsPath(const std::string& programFolder) {
  return LocateProgramFolders(programFolder).settings + "/" + kDefaultOptionsName;
}

std::string DefaultOptionsPathToRead(const std::string& programFolder) {
  return SettingsFileToRead(LocateProgramFolders(programFolder), kDefaultOptionsName);
}

void SetBuiltInOptions(tmosaicproject& options) { CopyOptions(DefaultProject(), options); }

Status ReadOptionsFile(const std::string& path, tmosaicproject& options) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return Status::Error(Format("Cannot open file \"%s\". %s", path.c_str(), std::strerror(errno)));
  // Only the first 60 bytes are ever looked at, whatever the file's length.
  std::array<uint8_t, kOptionBlockSize> block{};
  const size_t n = std::fread(block.data(), 1, block.size(), file);
  const bool failed = std::ferror(file) != 0;
  const int error = errno;
  std::fclose(file);
  if (failed) return Status::Error(Format("Cannot read file \"%s\". %s", path.c_str(), std::strerror(error)));
  if (n < kOptionBlockSize)
    return Status::Error(
        Format("The options file \"%s\" holds %zu bytes, fewer than the %zu of an option block; "
               "it is not used.",
               path.c_str(), n, kOptionBlockSize));
  ReadOptionBlock(block, options);
  return Status::Ok();
}

Status WriteOptionsFile(const std::string& path, const tmosaicproject& options) {
  return WriteFileAtomically(path, WriteOptionBlock(options));
}

Status LoadDefaultOptions(tmosaicproject& optionSet, const std::string& programFolder) {
  SetBuiltInOptions(optionSet);
  const std::string path = DefaultOptionsPathToRead(programFolder);
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 && (errno == ENOENT || errno == ENOTDIR)) return Status::Ok();
  return ReadOptionsFile(path, optionSet);
}

Status LoadDefaultOptions(tmosaicproject& optionSet, OptionControls& controls,
                          const std::string& programFolder) {
  const Status status = LoadDefaultOptions(optionSet, programFolder);
  SetOptionControls(optionSet, controls);
  return status;
}

Status SaveDefaultOptions(OptionControls& controls, int pictures, const tmosaicproject& project,
                          tmosaicproject& optionSet, const std::string& programFolder) {
  (void)ReadOptionControls(controls, pictures, project, optionSet);
  VELMORA_TRY(MakeSettingsFolder(LocateProgramFolders(programFolder)));
  return WriteOptionsFile(DefaultOptionsPath(programFolder), optionSet);
}

Status RestoreDefaultOptions(OptionControls& controls, int pictures, const tmosaicproject& project,
                             tmosaicproject& optionSet, const std::string& programFolder) {
  controls = OptionControls{};
  SetBuiltInOptions(optionSet);
  return SaveDefaultOptions(controls, pictures, project, optionSet, programFolder);
}

}  // namespace velmora
