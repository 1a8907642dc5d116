// Reading and writing the default options file.
#include "project/DefaultOptionsFile.h"

#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "imaging/FileIO.h"
#include "project/OptionRanges.h"
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
  Result<FilePtr> file = OpenFileForReading(path);
  if (!file) return file.status();
  // Only the first 60 bytes are ever looked at, whatever the file's length.
  std::array<uint8_t, kOptionBlockSize> block{};
  size_t n = 0;
  if (!ReadUpTo(file->get(), block.data(), block.size(), n))
    return Status::Error(Format("Cannot read file \"%s\". %s", path.c_str(), std::strerror(errno)));
  if (n < kOptionBlockSize)
    return Status::Error(
        Format("The options file \"%s\" holds %zu bytes, fewer than the %zu of an option block; "
               "it is not used.",
               path.c_str(), n, kOptionBlockSize));
  tmosaicproject read = options;
  ReadOptionBlock(block, read);
  if (const std::string why = OptionOutOfRange(read); !why.empty())
    return Status::Error(Format("The options file \"%s\" cannot be used: %s.", path.c_str(), why.c_str()));
  CopyOptions(read, options);
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
  const Status status = ReadOptionsFile(path, optionSet);
  if (!status) return Status::Error(status.message() + " The built-in options are used instead.");
  return status;
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
