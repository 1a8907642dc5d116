// The picture reader: the table of registered formats (which also feeds the
// open dialogs), the choice of decoder by extension, and reading a whole file
// into memory once so that every decoder works on a bounded byte span.
#include "imaging/PictureReader.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "imaging/MemoryBudget.h"
#include "imaging/PathText.h"
#include "imaging/formats/AutodeskDecoder.h"
#include "imaging/formats/BmpCodec.h"
#include "imaging/formats/CutDecoder.h"
#include "imaging/formats/EmfDecoder.h"
#include "imaging/formats/EpsDecoder.h"
#include "imaging/formats/JpegDecoder.h"
#include "imaging/formats/PcdDecoder.h"
#include "imaging/formats/PhotoDecoders.h"
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
      {{"webp"}, "WebP images", "WebP", DecodeWebp},
      {{"heic", "heif"}, "HEIF images", "HEIF", DecodeHeif},
      {{"avif"}, "AVIF images", "HEIF", DecodeHeif},
      {{"jxl"}, "JPEG XL images", "JPEG XL", DecodeJxl},
      {{"cr2", "cr3", "nef", "arw", "dng", "orf", "rw2", "raf"},
       "Camera raw images",
       "camera raw",
       DecodeRaw},
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

bool StartsWith(std::span<const uint8_t> bytes, size_t at, std::string_view magic) {
  return bytes.size() >= at + magic.size() && std::memcmp(bytes.data() + at, magic.data(), magic.size()) == 0;
}

// The extension whose format the first bytes belong to, among the formats
// photos come in; empty when none.
std::string_view SniffedExtension(std::span<const uint8_t> head) {
  using namespace std::string_view_literals;
  if (StartsWith(head, 0, "\xFF\xD8\xFF"sv)) return "jpg";
  if (StartsWith(head, 0, "\x89PNG\r\n\x1A\n"sv)) return "png";
  if (StartsWith(head, 0, "II*\0"sv) || StartsWith(head, 0, "MM\0*"sv)) return "tif";
  if (StartsWith(head, 0, "RIFF"sv) && StartsWith(head, 8, "WEBP"sv)) return "webp";
  if (StartsWith(head, 0, "\xFF\x0A"sv) || StartsWith(head, 0, "\0\0\0\x0CJXL \r\n\x87\n"sv)) return "jxl";
  if (StartsWith(head, 4, "ftyp"sv)) {
    for (std::string_view brand : {"avif"sv, "avis"sv})
      if (StartsWith(head, 8, brand)) return "avif";
    for (std::string_view brand :
         {"heic"sv, "heix"sv, "hevc"sv, "hevx"sv, "heim"sv, "heis"sv, "mif1"sv, "msf1"sv})
      if (StartsWith(head, 8, brand)) return "heic";
  }
  // Last: two letters are a weak sign, so the header's own size field must
  // agree that a file header and an info header follow.
  if (StartsWith(head, 0, "BM"sv) && head.size() >= 18 && head[14] >= 12 && head[15] == 0 && head[16] == 0 &&
      head[17] == 0)
    return "bmp";
  return {};
}

// Whether a file named as `named` whose first bytes say `content` is read as
// the latter. Most camera raw files are TIFF structures inside, so TIFF bytes
// never overrule a raw extension.
bool ContentOverrules(const PictureFormat* named, const PictureFormat* content) {
  if (content == nullptr || content->decode == named->decode) return false;
  return !(named->decode == DecodeRaw && content->decode == DecodeTiff);
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

const PictureFormat* SniffPictureFormat(std::span<const uint8_t> head) {
  const std::string_view ext = SniffedExtension(head);
  return ext.empty() ? nullptr : FindPictureFormat("x." + std::string(ext));
}

std::string ContentMismatchNote(const std::string& path) {
  const PictureFormat* named = FindPictureFormat(path);
  if (named == nullptr) return {};
  Result<FilePtr> file = OpenFileForReading(path);
  if (!file) return {};
  uint8_t head[32] = {};
  size_t got = 0;
  if (!ReadUpTo(file->get(), head, sizeof head, got) || got == 0) return {};
  const PictureFormat* content = SniffPictureFormat(std::span<const uint8_t>(head, got));
  if (!ContentOverrules(named, content)) return {};
  return Format("%s: a %s file with the extension of a %s file; it is read as %s.", EchoPath(path).c_str(),
                std::string(content->name).c_str(), std::string(named->name).c_str(),
                std::string(content->name).c_str());
}

Result<DecodedPicture> DecodePicture(std::string_view fileName, std::span<const uint8_t> bytes,
                                     const DecodeHints& hints) {
  const PictureFormat* format = nullptr;
  VELMORA_TRY(CheckDecodable(fileName, format));
  DecodedPicture picture;
  if (hints.readByContent) {
    const PictureFormat* content = SniffPictureFormat(bytes);
    if (ContentOverrules(format, content)) {
      format = content;
      picture.contentFormat = content->name;
    }
  }
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
    if (::stat(name.c_str(), &st) != 0) continue;
    Result<FileBytes> bytes = ReadFileBytes(name, maxBytes);
    if (!bytes) return std::nullopt;
    return std::vector<uint8_t>(bytes->begin(), bytes->end());
  }
  return std::nullopt;
}

// The file's bytes stay in memory while it is decoded, so they are charged to
// the thread's budget before they are read: eight threads each reading a
// 128 MB raw file hold a gigabyte the budget would otherwise not know of. A
// file that cannot be examined is left for the read to report.
static Status ChargeFileBytes(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0 ||
      uint64_t(st.st_size) > kMaxPictureFileBytes)
    return Status::Ok();
  const int64_t capacity = MemoryScopeCapacity();
  if (int64_t(st.st_size) > capacity)
    return Status::Error(
        Format("Cannot load image. The file of %lld bytes is more than the memory budget "
               "of %.1f MiB.",
               static_cast<long long>(st.st_size), static_cast<double>(capacity) / (1 << 20)));
  return ChargeMemory(int64_t(st.st_size));
}

Status NameTheFile(const std::string& path, Status status) {
  if (status.ok()) return status;
  const std::string shown = EchoPath(path);
  if (status.message().find(shown) != std::string::npos) return status;
  return Status::Error(shown + ": " + status.message());
}

// A camera's JPEG keeps its EXIF thumbnail in its first segments: with
// previews wanted, a file's head is read first, and the rest only when the
// thumbnail does not serve. Small files are read whole as before.
constexpr size_t kPreviewHeadBytes = 128 * 1024;

static bool ReadPreviewFromHead(const std::string& path, const PictureFormat* format, const DecodeHints& hints,
                                DecodedPicture& out) {
  if (!hints.usePreviews || !hints.acceptScaled) return false;
  uint64_t length = 0;
  Result<FilePtr> file = OpenFileForReading(path, &length);
  if (!file || length <= kPreviewHeadBytes) return false;
  std::vector<uint8_t> head(kPreviewHeadBytes);
  size_t got = 0;
  if (!ReadUpTo(file->get(), head.data(), head.size(), got) || got < 4) return false;
  head.resize(got);
  const bool named = format->decode == DecodeJpeg;
  if (head[0] != 0xFF || head[1] != 0xD8 || head[2] != 0xFF || (!named && !hints.readByContent)) return false;
  if (!ChargeMemory(int64_t(head.size())).ok()) return false;
  if (!DecodeJpegPreview(head, hints, out)) return false;
  if (!named) out.contentFormat = "JPEG";
  return true;
}

Result<DecodedPicture> ReadPicture(const std::string& path, const DecodeHints& hints) {
  // The name decides first: an unknown or undecodable extension fails the
  // same way whether or not the file exists, and no file is read in vain.
  const PictureFormat* format = nullptr;
  if (path.empty())
    return Status::Error("A picture without a name cannot be read (an empty line in a list?)");
  VELMORA_TRY(NameTheFile(path, CheckDecodable(path, format)));
  if (DecodedPicture preview; ReadPreviewFromHead(path, format, hints, preview)) return preview;
  VELMORA_TRY(NameTheFile(path, ChargeFileBytes(path)));
  Result<FileBytes> bytes = ReadFileBytes(path, kMaxPictureFileBytes);
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
