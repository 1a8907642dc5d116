// Encapsulated PostScript. A file is either PostScript text from its first
// byte ("%!") or starts with the 30-byte binary header C5 D0 D3 C6 that gives
// the offset and length of the PostScript, of a Windows metafile preview and
// of a TIFF preview (little-endian 32-bit words), then a checksum.
//
// Rendering runs gs as a child process: the PostScript goes into a private
// temporary folder, the picture comes back as a binary PPM on a pipe, read with
// a deadline and no more bytes than the picture limit allows. The child is
// tied to us: it runs in a process group of its own, which the interrupt
// handler ends on SIGINT or SIGTERM, and the kernel kills it when we die in
// any other way. A folder left behind by a process killed outright is removed
// by the next render.
#include "imaging/formats/EpsDecoder.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <vector>

#include "imaging/ByteCursor.h"
#include "imaging/CheckedMath.h"
#include "imaging/Interrupt.h"
#include "imaging/PictureLimits.h"
#include "imaging/formats/TiffDecoder.h"

namespace velmora {
namespace {

constexpr const char* kName = "EPS";
constexpr uint8_t kBinaryMagic[4] = {0xC5, 0xD0, 0xD3, 0xC6};
constexpr size_t kBinaryHeaderBytes = 30;

Status InvalidFormat() {
  return Status::Error(Format("Cannot load image. Invalid or unexpected %s image format.", kName));
}
Status StreamError() { return Status::Error(Format("Stream read error in %s file.", kName)); }

struct EpsParts {
  std::span<const uint8_t> postscript;
  std::span<const uint8_t> tiff;  // empty when there is no TIFF preview
};

Status SplitFile(std::span<const uint8_t> bytes, EpsParts& parts) {
  if (bytes.size() >= 4 && std::memcmp(bytes.data(), kBinaryMagic, 4) == 0) {
    if (bytes.size() < kBinaryHeaderBytes) return StreamError();
    ByteCursor in(bytes);
    in.skip(4);
    const uint32_t psStart = in.u32le(), psLength = in.u32le();
    in.skip(8);  // metafile preview
    const uint32_t tiffStart = in.u32le(), tiffLength = in.u32le();
    if (!RangeFits(psStart, psLength, bytes.size()) || !RangeFits(tiffStart, tiffLength, bytes.size()))
      return StreamError();
    parts.postscript = bytes.subspan(psStart, psLength);
    if (tiffStart != 0 && tiffLength != 0) parts.tiff = bytes.subspan(tiffStart, tiffLength);
    return Status::Ok();
  }
  if (bytes.size() >= 2 && bytes[0] == '%' && bytes[1] == '!') {
    parts.postscript = bytes;
    return Status::Ok();
  }
  return bytes.size() < 4 ? StreamError() : InvalidFormat();
}

// The %%BoundingBox of the header comments, in points; false when absent.
bool BoundingBox(std::span<const uint8_t> ps, double box[4]) {
  const std::string_view text(reinterpret_cast<const char*>(ps.data()),
                              std::min<size_t>(ps.size(), 64 * 1024));
  constexpr std::string_view kKey = "%%BoundingBox:";
  for (size_t at = text.find(kKey); at != std::string_view::npos; at = text.find(kKey, at + 1)) {
    const size_t end = text.find_first_of("\r\n", at);
    const std::string line(text.substr(
        at + kKey.size(), end == std::string_view::npos ? std::string_view::npos : end - at - kKey.size()));
    if (std::sscanf(line.c_str(), "%lf %lf %lf %lf", &box[0], &box[1], &box[2], &box[3]) == 4) return true;
    // "(atend)": the real one comes later.
  }
  return false;
}

bool IsExecutable(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// A private temporary folder (mode 0700) holding the PostScript, removed with
// everything in it when this goes out of scope. Ghostscript is told it is the
// temporary folder too: -dSAFER lets PostScript write and delete files in the
// temporary folder, and this one holds nothing else.
constexpr std::string_view kFolderPrefix = "velmora-eps-";

// Folders "velmora-eps-<pid>-XXXXXX" of ours whose process is gone: it was
// killed before it could remove its folder.
void RemoveStaleFolders(const std::filesystem::path& temp) {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(temp, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.compare(0, kFolderPrefix.size(), kFolderPrefix) != 0) continue;
    char* end = nullptr;
    const long pid = std::strtol(name.c_str() + kFolderPrefix.size(), &end, 10);
    if (pid <= 0 || end == nullptr || *end != '-') continue;
    struct stat st {};
    if (::lstat(entry.path().c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) continue;
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    std::error_code ignored;
    std::filesystem::remove_all(entry.path(), ignored);
  }
}

class TempFolder {
public:
  Status Create(std::span<const uint8_t> contents) {
    std::error_code ec;
    std::filesystem::path temp = std::filesystem::temp_directory_path(ec);
    if (ec) temp = "/tmp";
    RemoveStaleFolders(temp);
    const std::string pattern =
        (temp / (std::string(kFolderPrefix) + std::to_string(::getpid()) + "-XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (::mkdtemp(name.data()) == nullptr)
      return Status::Error(
          Format("Cannot load image. No temporary folder for the %s file: %s", kName, std::strerror(errno)));
    dir_.assign(name.data());
    file_ = dir_ + "/picture.eps";
    const int fd = ::open(file_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
      return Status::Error(
          Format("Cannot load image. Cannot write a temporary file for the %s file.", kName));
    size_t done = 0;
    while (done < contents.size()) {
      const ssize_t n = ::write(fd, contents.data() + done, contents.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        ::close(fd);
        return Status::Error(
            Format("Cannot load image. Cannot write a temporary file for the %s file.", kName));
      }
      done += size_t(n);
    }
    ::close(fd);
    return Status::Ok();
  }
  ~TempFolder() {
    if (dir_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  const std::string& dir() const { return dir_; }
  const std::string& file() const { return file_; }

private:
  std::string dir_, file_;
};

struct Pipe {
  int fd[2] = {-1, -1};
  ~Pipe() {
    for (int f : fd)
      if (f >= 0) ::close(f);
  }
};

// Starts argv[0] with standard output on `outFd` and the other two on
// /dev/null, as the leader of a new process group that the kernel kills when
// the calling thread ends. Between fork and exec only async-signal-safe calls
// are made: another thread may have held a lock at the fork.
pid_t StartChild(char* const argv[], char* const env[], int outFd) {
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid != 0) {
    // Also here, so that the group exists whichever of the two runs first.
    if (pid > 0) ::setpgid(pid, pid);
    return pid;
  }
  ::setpgid(0, 0);
  // If we died before the request took effect, nobody would ever send the
  // signal: the parent is then no longer the one that forked.
  if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent) ::_exit(127);
  sigset_t none;
  ::sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  const int err = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (in < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(outFd, 1) < 0 || ::dup2(err, 2) < 0) ::_exit(127);
  ::execve(argv[0], argv, env);
  ::_exit(127);
}

// Runs gs on the folder's file and collects at most `maxBytes` of its
// standard output. gs gets an environment of its own: nothing like GS_OPTIONS
// (which could turn -dSAFER off) comes from ours.
Status RunGhostscript(const std::string& gs, const TempFolder& folder, size_t maxBytes,
                      std::vector<uint8_t>& ppm) {
  Pipe out;
  if (::pipe2(out.fd, O_CLOEXEC) != 0) return Status::Error("Cannot load image. Cannot start Ghostscript.");
  const std::string input = folder.file();
  std::vector<std::string> envStrings = {"PATH=/usr/bin:/bin",     "LC_ALL=C",
                                         "TMPDIR=" + folder.dir(), "TEMP=" + folder.dir(),
                                         "TMP=" + folder.dir(),    "HOME=" + folder.dir()};
  std::vector<char*> env;
  for (std::string& e : envStrings) env.push_back(e.data());
  env.push_back(nullptr);
  std::vector<std::string> args = {gs,
                                   "-q",
                                   "-dSAFER",
                                   "-dBATCH",
                                   "-dNOPAUSE",
                                   "-dNOPROMPT",
                                   "-dEPSCrop",
                                   "-r72",
                                   "-dFirstPage=1",
                                   "-dLastPage=1",
                                   "-dTextAlphaBits=4",
                                   "-dGraphicsAlphaBits=4",
                                   "-sDEVICE=ppmraw",
                                   "-sstdout=%stderr",
                                   "-sOutputFile=-",
                                   "-f",
                                   input};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = StartChild(argv.data(), env.data(), out.fd[1]);
  ::close(out.fd[1]);
  out.fd[1] = -1;
  if (pid < 0) return Status::Error("Cannot load image. Cannot start Ghostscript.");
  RegisterChildProcessGroup(pid);

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kEpsRenderSeconds);
  bool timedOut = false, tooLarge = false, interrupted = false;
  uint8_t buffer[65536];
  for (;;) {
    // A signal that came before the group was registered is seen here.
    if (InterruptRequested()) {
      interrupted = true;
      break;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timedOut = true;
      break;
    }
    pollfd p{out.fd[0], POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(std::min<int64_t>(left.count(), 1000)));
    if (ready < 0 && errno != EINTR) break;
    if (ready <= 0) continue;
    const ssize_t n = ::read(out.fd[0], buffer, sizeof(buffer));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    if (ppm.size() + size_t(n) > maxBytes) {
      tooLarge = true;
      break;
    }
    ppm.insert(ppm.end(), buffer, buffer + n);
  }
  if (timedOut || tooLarge || interrupted) ::kill(-pid, SIGKILL);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  UnregisterChildProcessGroup(pid);
  if (interrupted)
    return Status::Error(Format("Cannot load image. Rendering the %s file was interrupted.", kName));
  if (timedOut)
    return Status::Error(Format("Cannot load image. Rendering the %s file took longer than %d seconds.",
                                kName, kEpsRenderSeconds));
  if (tooLarge) return InvalidFormat();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return InvalidFormat();
  return Status::Ok();
}

// gs writes "P6", a comment line, "<w> <h>", "255" and the RGB bytes.
Status PpmToBitmap(std::span<const uint8_t> ppm, TBitmap32& bitmap) {
  size_t at = 0;
  const auto number = [&]() -> int64_t {
    for (;;) {
      while (at < ppm.size() && (ppm[at] == ' ' || ppm[at] == '\n' || ppm[at] == '\r' || ppm[at] == '\t'))
        ++at;
      if (at >= ppm.size() || ppm[at] != '#') break;
      while (at < ppm.size() && ppm[at] != '\n') ++at;  // a comment line
    }
    int64_t v = -1;
    while (at < ppm.size() && ppm[at] >= '0' && ppm[at] <= '9' && v < (int64_t(1) << 32))
      v = (v < 0 ? 0 : v * 10) + (ppm[at++] - '0');
    return v;
  };
  if (ppm.size() < 2 || ppm[0] != 'P' || ppm[1] != '6') return InvalidFormat();
  at = 2;
  const int64_t w = number(), h = number(), max = number();
  if (max != 255 || at >= ppm.size()) return InvalidFormat();
  ++at;  // the single white space after the maximum
  VELMORA_TRY(CheckPictureSize(w, h, kName));
  if (!RangeFits(at, uint64_t(w) * uint64_t(h) * 3, ppm.size())) return InvalidFormat();
  VELMORA_TRY(bitmap.SetSize(int(w), int(h)));
  const uint8_t* src = ppm.data() + at;
  for (TColor32& p : bitmap.Pixels()) {
    p = Color32(src[0], src[1], src[2]);
    src += 3;
  }
  return Status::Ok();
}

Status Render(std::span<const uint8_t> postscript, const std::string& gs, DecodedPicture& out) {
  // The page is the bounding box at one pixel per point. Without one (it is
  // optional) Ghostscript renders on its own page size, which only it knows:
  // the output may then be as large as the pixel limit allows.
  double box[4] = {};
  size_t maxBytes = size_t(kMaxPicturePixels) * 3 + 64;
  if (BoundingBox(postscript, box)) {
    const double w = box[2] - box[0], h = box[3] - box[1];
    if (!(w > 0 && h > 0 && w < 1e6 && h < 1e6)) return InvalidFormat();
    VELMORA_TRY(CheckPictureSize(int64_t(w) + 2, int64_t(h) + 2, kName));
    maxBytes = size_t(int64_t(w) + 2) * size_t(int64_t(h) + 2) * 3 + 64;
  }
  TempFolder folder;
  VELMORA_TRY(folder.Create(postscript));
  std::vector<uint8_t> ppm;
  VELMORA_TRY(RunGhostscript(gs, folder, maxBytes, ppm));
  return PpmToBitmap(ppm, out.bitmap);
}

}  // namespace

std::string FindGhostscript() {
  const char* path = std::getenv("PATH");
  std::string_view dirs = path != nullptr && *path != '\0' ? path : "/usr/local/bin:/usr/bin:/bin";
  while (!dirs.empty()) {
    const size_t colon = dirs.find(':');
    const std::string_view dir = dirs.substr(0, colon);
    dirs = colon == std::string_view::npos ? std::string_view() : dirs.substr(colon + 1);
    if (dir.empty() || dir[0] != '/') continue;  // only absolute folders: never the current one
    const std::string candidate = std::string(dir) + "/gs";
    if (IsExecutable(candidate)) return candidate;
  }
  return std::string();
}

Status DecodeEps(std::span<const uint8_t> bytes, const DecodeHints& hints, DecodedPicture& out) {
  EpsParts parts;
  VELMORA_TRY(SplitFile(bytes, parts));
  Status rendered = Status::Error(
      Format("Cannot load image. %s not supported for %s files.", "PostScript without Ghostscript", kName));
  if (hints.allowExternalPrograms && !parts.postscript.empty()) {
    const std::string gs = FindGhostscript();
    if (!gs.empty()) {
      rendered = Render(parts.postscript, gs, out);
      if (rendered.ok()) return rendered;
    }
  }
  if (!parts.tiff.empty()) {
    DecodedPicture preview;
    if (!DecodeTiff(parts.tiff, DecodeHints{}, preview).ok()) return InvalidFormat();
    out = std::move(preview);
    out.keepsAlpha = false;
    return Status::Ok();
  }
  return rendered;
}

}  // namespace velmora
