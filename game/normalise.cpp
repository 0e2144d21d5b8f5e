// Motif folder normalisation. Leans on the directory listing, the pixmap loaders
// (reduced-scale JPEG decoding, upright sRGB pictures), Lanczos shrinking and the
// JPEG writer; POSIX calls keep the rewrite safe.
#include "game/normalise.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>
#include <vector>

#include "pixmap/pixmap.h"
#include "pixmap/pixmap_loader.h"
#include "platform/filesystem.h"
#include "platform/stream.h"
#include "platform/text.h"
#include "platform/ustring.h"

namespace {

// No picture worth a motif is larger; a bigger file is not read into memory.
constexpr off_t kMaxMotifBytes = off_t(256) << 20;

// JPEGs are decoded reduced, but to at least this size, so that the final shrink
// to 512 still has detail to filter from.
constexpr int kDecodeSize = 1024;

// Read by every worker of a pass; replaced only between passes.
std::atomic<TMotifWriter> g_writer{nullptr};

int WriteJpeg(const Ref<TPixmap>& pixmap, const std::u16string& path) {
  if (TMotifWriter writer = g_writer.load()) return writer(pixmap, path);
  return SavePixmapJPeg(pixmap, TUrl(path), 75);
}

constexpr char kTempPrefix[] = ".tessolino-";
constexpr char kTempSuffix[] = ".tmp";

// Digits only, at most nine of them (a pid fits); -1 otherwise.
long Number(const std::string& digits) {
  if (digits.empty() || digits.size() > 9) return -1;
  for (char c : digits)
    if (c < '0' || c > '9') return -1;
  return std::stol(digits);
}

struct TFd {
  int fd = -1;
  explicit TFd(int f) : fd(f) {}
  ~TFd() {
    if (fd >= 0) ::close(fd);
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
};

// The original's permission bits (never set-id bits) on the new file; false when
// the original is gone, so that a picture deleted meanwhile is not brought back.
bool KeepMode(const std::u16string& original, int fd) {
  struct stat st {};
  if (::stat(ToOSBytes(original).c_str(), &st) != 0) return false;
  return ::fchmod(fd, st.st_mode & 0777) == 0;
}

bool SyncFile(const std::string& path) {
  TFd f(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  return f.fd >= 0 && ::fsync(f.fd) == 0;
}

}  // namespace

TMotifWriter SetMotifWriter(TMotifWriter writer) { return g_writer.exchange(writer); }

std::u16string TemporaryMotifName() {
  // One name per rewrite, so that jobs running side by side never share a file.
  static std::atomic<unsigned> serial{0};
  return FromOSBytes(kTempPrefix + std::to_string(::getpid()) + "-" + std::to_string(serial++) + kTempSuffix);
}

long TemporaryMotifOwner(const std::u16string& name) {
  const std::string n = ToOSBytes(name);
  const size_t pre = sizeof kTempPrefix - 1, suf = sizeof kTempSuffix - 1;
  if (n.size() <= pre + suf || n.compare(0, pre, kTempPrefix) != 0 ||
      n.compare(n.size() - suf, suf, kTempSuffix) != 0)
    return -1;
  std::string middle = n.substr(pre, n.size() - pre - suf);
  // "<pid>-<n>", or a bare "<pid>" as older versions named it.
  const size_t dash = middle.find('-');
  if (dash != std::string::npos) {
    if (Number(middle.substr(dash + 1)) < 0) return -1;
    middle.resize(dash);
  }
  const long pid = Number(middle);
  return pid > 0 ? pid : -1;
}

bool ReadMotifFile(const std::u16string& name, std::vector<unsigned char>& bytes) {
  bytes.clear();
  const std::string path = ToOSBytes(name);
  // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused below.
  TFd f(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (f.fd < 0) return false;
  struct stat st {};
  if (::fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (st.st_size <= 0 || st.st_size > kMaxMotifBytes) return false;
  bytes.resize(static_cast<size_t>(st.st_size));
  size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = ::read(f.fd, bytes.data() + got, bytes.size() - got);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  bytes.resize(got);
  return got > 0;
}

bool IsMotifName(const std::u16string& name) {
  const std::u16string ext = Lower(Right(name, 4));
  return ext == u".png" || ext == u".jpg" || ext == u"jpeg";
}

bool MotifNeedsRewrite(const std::u16string& name, int width, int height) {
  return width > 512 || height > 512 || Left(name, 6) != u"Puzzle";
}

TSizedPicture LoadMotifPicture(const std::u16string& name, int minWidth, int minHeight) {
  std::vector<unsigned char> bytes;
  if (!ReadMotifFile(name, bytes)) return {};
  Ref<TStream> stream = TRamStream::Create(bytes.data(), static_cast<int>(bytes.size()), true, false);
  if (!stream) return {};
  TSizedPicture picture = LoadPixmapForSize(TUrl(stream), minWidth, minHeight);
  stream->Close();
  return picture;
}

bool ReplaceWithJpeg(const Ref<TPixmap>& pixmap, const std::u16string& name) {
  if (!pixmap) return false;
  // A name the motif test never matches, so a leftover from a crash is not offered.
  const std::u16string temp = TemporaryMotifName();
  const std::string temp_os = ToOSBytes(temp);
  ::unlink(temp_os.c_str());
  // Made private first, so that a private photo is never readable by others.
  TFd made(::open(temp_os.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
  bool ok = false;
  try {
    ok = made.fd >= 0 && WriteJpeg(pixmap, temp) == 1;
  } catch (...) {
    ::unlink(temp_os.c_str());  // a half-written file never stays behind
    throw;
  }
  ok = ok && SyncFile(temp_os);
  ok = ok && KeepMode(name, made.fd);
  ok = ok && ::rename(temp_os.c_str(), ToOSBytes(name).c_str()) == 0;
  if (!ok) {
    ::unlink(temp_os.c_str());
    return false;
  }
  return true;
}

void SyncCurrentFolder() {
  TFd dir(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.fd >= 0) ::fsync(dir.fd);
}

TFolderVisit::TFolderVisit(const std::u16string& folder) {
  // O_PATH: a folder that may be entered but not listed (mode 0311) still gives a
  // handle to come back to.
  home_ = ::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
  // Without a way back the folder is not entered: bare names would then be
  // resolved wherever the process ended up.
  if (home_ >= 0) entered_ = ChangeDir(folder) == 1;
}

TFolderVisit::~TFolderVisit() {
  if (home_ < 0) return;
  if (entered_ && ::fchdir(home_) != 0) {
    // Nothing sensible is left to do; the descriptor is still closed.
  }
  ::close(home_);
}

TMotifOutcome NormaliseMotif(const std::u16string& name) {
  if (!IsMotifName(name)) return TMotifOutcome::NotAMotif;
  TSizedPicture picture = LoadMotifPicture(name, kDecodeSize, kDecodeSize);
  if (!picture.pixmap) return TMotifOutcome::Undecodable;  // or not a regular file: left alone
  if (!MotifNeedsRewrite(name, picture.width, picture.height)) return TMotifOutcome::Kept;
  Ref<TPixmap> scaled = ResamplePixmap(picture.pixmap, 512, 512);
  picture.pixmap.reset();
  return scaled && ReplaceWithJpeg(scaled, name) ? TMotifOutcome::Rewritten
                                                 : TMotifOutcome::WriteFailed;
}
