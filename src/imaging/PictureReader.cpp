// The picture reader: the table of registered formats (which also feeds the
// open dialogs), the choice of decoder by extension, and reading a whole file
// into memory once so that every decoder works on a bounded byte span.
#include "imaging/PictureReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "imaging/formats/AutodeskDecoder.h"
#include "imaging/formats/BmpCodec.h"
#include "imaging/formats/CutDecoder.h"
#include "imaging/formats/EmfDecoder.h"
#include "imaging/formats/EpsDecoder.h"
#include "imaging/formats/JpegDecoder.h"
#include "imaging/formats/PcdDecoder.h"
#include "imaging/formats/PngDecoder.h"
#include "imaging/formats/PspDecoder.h"
#include "imaging/formats/RasterDecoders.h"
#include "imaging/formats/RlaDecoder.h"
#include "imaging/formats/TiffDecoder.h"
#include "imaging/formats/WmfDecoder.h"

namespace velmora {

namespace {

// Files beyond this are refused before any allocation: no picture the program
// can hold (kMaxPicturePixels) needs a larger file, and it keeps the size
// within what a single read buffer may sensibly take.
constexpr uint64_t kMaxPictureFileBytes = uint64_t(2) << 30;

// The order is the order the open dialogs list the formats in. A null decoder
// marks a format that is registered (so its files are offered and recognised)
// but that this build cannot decode yet; such files fail with the "not
// supported" message rather than the unknown-extension one.
const std::vector<PictureFormat>& FormatTable() {
  static const std::vector<PictureFormat> table = {
      {{"bmp"}, "Windows bitmaps", "BMP", DecodeBmp},
      {{"rle"}, "Run length encoded Windows bitmaps", "BMP", DecodeBmp},
      {{"dib"}, "Device independant Windows bitmaps", "BMP", DecodeBmp},
      {{"ico"}, "Windows icons", "ICO", DecodeIco},
      {{"wmf"}, "Windows metafiles", "WMF", DecodeWmf},
      {{"emf"}, "Windows enhanced meta files", "EMF", DecodeEmf},
      {{"jfif"}, "JFIF images", "JPEG", DecodeJpeg},
      {{"jpg"}, "JPG images", "JPEG", DecodeJpeg},
      {{"jpe"}, "JPE images", "JPEG", DecodeJpeg},
      {{"jpeg"}, "JPEG images", "JPEG", DecodeJpeg},
      {{"win", "vst", "vda", "tga", "icb"}, "Truevision images", "TGA", DecodeTga},
      {{"tiff"}, "Macintosh TIFF images", "TIFF", DecodeTiff},
      {{"tif"}, "PC TIF images", "TIFF", DecodeTiff},
      // Fax files of this kind are TIFF files with CCITT compression.
      {{"fax"}, "GFI fax images", "TIFF", DecodeTiff},
      {{"eps"}, "Encapsulated Postscript images", "EPS", DecodeEps},
      {{"pcx", "pcc"}, "ZSoft Paintbrush images", "PCX", DecodePcx},
      {{"scr"}, "Word 5.x screen capture images", "SCR", DecodeScr},
      {{"rpf", "rla"}, "Alias/Wavefront images", "RLA", DecodeRla},
      {{"sgi"}, "SGI true color images", "SGI", DecodeSgi},
      {{"rgba"}, "SGI true color images with alpha", "SGI", DecodeSgi},
      {{"rgb"}, "SGI true color images", "SGI", DecodeSgi},
      {{"bw"}, "SGI black/white images", "SGI", DecodeSgi},
      {{"psd", "pdd"}, "Photoshop images", "PSD", DecodePsd},
      {{"ppm"}, "Portable pixel map images", "PPM", DecodePpm},
      {{"pgm"}, "Portable gray map images", "PGM", DecodePgm},
      {{"pbm"}, "Portable bitmap images", "PBM", DecodePbm},
      {{"cel", "pic"}, "Autodesk images", "Autodesk", DecodeAutodesk},
      {{"pcd"}, "Kodak Photo-CD images", "PCD", DecodePcd},
      {{"cut"}, "Dr. Halo images", "CUT", DecodeCut},
      {{"psp"}, "Paintshop Pro images", "PSP", DecodePsp},
      {{"png"}, "Portable network graphic images", "PNG", DecodePng},
  };
  return table;
}

// ASCII-only folding: extensions are plain letters, and folding bytes of a
// multi-byte name by locale could turn an unknown extension into a known one.
char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

std::string FilterPatterns(const PictureFormat& format) {
  std::string out;
  for (std::string_view ext : format.extensions) {
    if (!out.empty()) out += ' ';
    out += "*.";
    out += ext;
  }
  return out;
}

// Both name-only refusals, so the reader can give them before touching the disk.
Status CheckDecodable(std::string_view fileName, const PictureFormat*& format) {
  format = FindPictureFormat(fileName);
  if (format == nullptr)
    return Status::Error(Format("Unknown picture file extension (.%s)", ExtensionOf(fileName).c_str()));
  if (format->decode == nullptr)
    return Status::Error(Format("Cannot load image. %s not supported for %s files.", "Decoding",
                                std::string(format->name).c_str()));
  return Status::Ok();
}

Status OpenError(const std::string& path, const char* reason) {
  return Status::Error(Format("Cannot open file \"%s\". %s", path.c_str(), reason));
}

}  // namespace

const std::vector<PictureFormat>& PictureFormats() { return FormatTable(); }

std::string ExtensionOf(std::string_view fileName) {
  const size_t slash = fileName.find_last_of('/');
  const std::string_view base = slash == std::string_view::npos ? fileName : fileName.substr(slash + 1);
  const size_t dot = base.find_last_of('.');
  if (dot == std::string_view::npos) return std::string();
  return std::string(base.substr(dot + 1));
}

const PictureFormat* FindPictureFormat(std::string_view fileName) {
  const std::string ext = ExtensionOf(fileName);
  if (ext.empty()) return nullptr;
  for (const PictureFormat& format : FormatTable())
    for (std::string_view candidate : format.extensions)
      if (EqualsNoCase(ext, candidate)) return &format;
  return nullptr;
}

std::vector<std::string> PictureDialogFilters() {
  std::vector<std::string> filters;
  std::string all;
  for (const PictureFormat& format : FormatTable()) {
    if (!all.empty()) all += ' ';
    all += FilterPatterns(format);
  }
  filters.push_back("All pictures (" + all + ")");
  for (const PictureFormat& format : FormatTable())
    filters.push_back(std::string(format.description) + " (" + FilterPatterns(format) + ")");
  return filters;
}

Result<std::vector<uint8_t>> ReadFileBytes(const std::string& path) {
  // O_NONBLOCK so that naming a FIFO cannot hang the program in open(); the
  // fstat below refuses it anyway.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return OpenError(path, std::strerror(errno));
  struct FdCloser {
    int fd;
    ~FdCloser() { ::close(fd); }
  } closer{fd};

  struct stat st {};
  if (::fstat(fd, &st) != 0) return OpenError(path, std::strerror(errno));
  if (S_ISDIR(st.st_mode)) return OpenError(path, std::strerror(EISDIR));
  if (!S_ISREG(st.st_mode)) return OpenError(path, "Not a regular file");
  const auto size = static_cast<uint64_t>(st.st_size);
  if (size > kMaxPictureFileBytes)
    return OpenError(path, Format("The file of %llu bytes is larger than the limit of %llu bytes",
                                  static_cast<unsigned long long>(size),
                                  static_cast<unsigned long long>(kMaxPictureFileBytes))
                               .c_str());

  std::vector<uint8_t> bytes;
  try {
    bytes.resize(static_cast<size_t>(size));
  } catch (const std::bad_alloc&) {
    return OpenError(path, "Out of memory");
  }
  size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Status::Error(Format("Cannot read file \"%s\". %s", path.c_str(), std::strerror(errno)));
    }
    if (n == 0) break;  // shrank since fstat: the decoder sees what is there
    got += static_cast<size_t>(n);
  }
  bytes.resize(got);
  return bytes;
}

Result<DecodedPicture> DecodePicture(std::string_view fileName, std::span<const uint8_t> bytes,
                                     const DecodeHints& hints) {
  const PictureFormat* format = nullptr;
  VELMORA_TRY(CheckDecodable(fileName, format));
  DecodedPicture picture;
  try {
    VELMORA_TRY(format->decode(bytes, hints, picture));
  } catch (const std::bad_alloc&) {
    return Status::Error(
        Format("Cannot load image. Out of memory reading the %s file.", std::string(format->name).c_str()));
  }
  if (picture.storedWidth <= 0 || picture.storedHeight <= 0) {
    picture.storedWidth = picture.bitmap.Width();
    picture.storedHeight = picture.bitmap.Height();
  }
  return picture;
}

static std::optional<std::vector<uint8_t>> ReadCompanionFile(const std::string& path,
                                                             std::string_view extension, size_t maxBytes) {
  const std::string ext = ExtensionOf(path);
  if (ext.empty()) return std::nullopt;
  const std::string stem = path.substr(0, path.size() - ext.size());
  std::string upper(extension);
  for (char& c : upper) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  // The spelling that matches the picture's own extension first.
  const bool upperFirst = !ext.empty() && ext[0] >= 'A' && ext[0] <= 'Z';
  for (const std::string& candidate : upperFirst ? std::vector<std::string>{upper, std::string(extension)}
                                                 : std::vector<std::string>{std::string(extension), upper}) {
    struct stat st {};
    const std::string name = stem + candidate;
    if (::stat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    if (static_cast<uint64_t>(st.st_size) > maxBytes) return std::nullopt;
    Result<std::vector<uint8_t>> bytes = ReadFileBytes(name);
    if (!bytes || bytes->size() > maxBytes) return std::nullopt;
    return std::move(*bytes);
  }
  return std::nullopt;
}

Status NameTheFile(const std::string& path, Status status) {
  if (status.ok() || status.message().find(path) != std::string::npos) return status;
  return Status::Error(path + ": " + status.message());
}

Result<DecodedPicture> ReadPicture(const std::string& path, const DecodeHints& hints) {
  // The name decides first: an unknown or undecodable extension fails the
  // same way whether or not the file exists, and no file is read in vain.
  const PictureFormat* format = nullptr;
  if (path.empty())
    return Status::Error("A picture without a name cannot be read (an empty line in a list?)");
  VELMORA_TRY(NameTheFile(path, CheckDecodable(path, format)));
  Result<std::vector<uint8_t>> bytes = ReadFileBytes(path);
  if (!bytes) return NameTheFile(path, bytes.status());
  DecodeHints withCompanion = hints;
  if (!hints.readCompanion)
    withCompanion.readCompanion = [&path](std::string_view extension, size_t maxBytes) {
      return ReadCompanionFile(path, extension, maxBytes);
    };
  Result<DecodedPicture> picture = DecodePicture(path, *bytes, withCompanion);
  if (!picture) return NameTheFile(path, picture.status());
  return picture;
}

}  // namespace velmora
