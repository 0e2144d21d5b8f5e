// Motif folder normalisation. Leans on the directory listing, the pixmap loaders
// (reduced-scale JPEG decoding, upright sRGB pictures, whether the data was whole),
// Lanczos shrinking and the JPEG writer; POSIX calls keep the rewrite safe.
#include "game/normalise.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "pixmap/picture_load.h"
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

// A file modified this recently may still be being copied or downloaded.
constexpr int64_t kSettleNs = 2'000'000'000;

// Read by every worker of a pass; replaced only between passes.
std::atomic<TMotifWriter> g_writer{nullptr};

int WriteJpeg(const Ref<TPixmap>& pixmap, const Ref<TStream>& out) {
  if (TMotifWriter writer = g_writer.load()) return writer(pixmap, out);
  return SavePixmapJPeg(pixmap, TUrl(out), 75);
}

constexpr char kTempPrefix[] = ".tessolino-";
constexpr char kTempSuffix[] = ".tmp";

bool AllOf(const std::string& s, const char* chars, size_t min, size_t max) {
  return s.size() >= min && s.size() <= max && s.find_first_not_of(chars) == std::string::npos;
}

// 64 random bits as hex, drawn once per process.
const std::string& RandomPart() {
  static const std::string part = [] {
    uint64_t v = 0;
    if (::getrandom(&v, sizeof v, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof v)) {
      timespec t{};
      ::clock_gettime(CLOCK_MONOTONIC, &t);
      v = (static_cast<uint64_t>(t.tv_nsec) << 20) ^ static_cast<uint64_t>(t.tv_sec) ^
          reinterpret_cast<uintptr_t>(&v);
    }
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(v));
    return std::string(hex);
  }();
  return part;
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

TMotifFileStamp StampOf(const struct stat& st) {
  TMotifFileStamp s;
  s.device = st.st_dev;
  s.inode = st.st_ino;
  s.size = st.st_size;
  s.modifiedNs = int64_t(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
  s.mode = st.st_mode & 07777;
  return s;
}

bool SameFile(const TMotifFileStamp& a, const TMotifFileStamp& b) {
  return a.device == b.device && a.inode == b.inode && a.size == b.size && a.modifiedNs == b.modifiedNs;
}

// The name still leads to the file that was read, unchanged (through a symbolic
// link, to the file it points to).
bool Unchanged(const std::string& name, const TMotifFileStamp& read) {
  struct stat st {};
  if (::lstat(name.c_str(), &st) != 0) return false;
  if (S_ISLNK(st.st_mode) && ::stat(name.c_str(), &st) != 0) return false;
  return SameFile(StampOf(st), read);
}

// The temporary name still is the file open as fd.
bool StillOurs(const std::string& temp, int fd) {
  struct stat named {}, open {};
  return ::lstat(temp.c_str(), &named) == 0 && ::fstat(fd, &open) == 0 && named.st_dev == open.st_dev &&
         named.st_ino == open.st_ino;
}

bool Settling(const TMotifFileStamp& stamp) {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  const int64_t age = int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec - stamp.modifiedNs;
  return age < kSettleNs && age > -kSettleNs;
}

// The JPEG through a second descriptor of the file, so the name is never opened
// again; false when the writer or the close reports a failure.
bool WriteThrough(int fd, const Ref<TPixmap>& pixmap) {
  const int second = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  std::FILE* file = second >= 0 ? ::fdopen(second, "wb") : nullptr;
  if (!file) {
    if (second >= 0) ::close(second);
    return false;
  }
  Ref<TCStream> out = TCStream::CreateWithCStream(file, TCStream::MODE_WRITE);
  bool ok = WriteJpeg(pixmap, out) == 1;
  try {
    out->Close();
  } catch (const TStreamException&) {
    ok = false;
  }
  return ok;
}

// A file's bytes as a stream (they outlive it).
Ref<TStream> Over(const std::vector<unsigned char>& bytes) {
  return TRamStream::Create(bytes.data(), static_cast<int>(bytes.size()), true, false);
}

TSizedPicture PictureFromBytes(const std::vector<unsigned char>& bytes, int minWidth, int minHeight) {
  Ref<TStream> stream = Over(bytes);
  return stream ? LoadPixmapForSize(TUrl(stream), minWidth, minHeight) : TSizedPicture();
}

// Already what a rewrite would make: rewriting it would only wear it down.
bool IsPreparedMotif(const std::vector<unsigned char>& bytes) {
  Ref<TStream> stream = Over(bytes);
  return stream && IsPlainJpegOfSize(TUrl(stream), 512, 512);
}

}  // namespace

TMotifWriter SetMotifWriter(TMotifWriter writer) { return g_writer.exchange(writer); }

std::u16string TemporaryMotifName() {
  // One name per rewrite, so that jobs running side by side never share a file.
  static std::atomic<unsigned> serial{0};
  return FromOSBytes(kTempPrefix + std::to_string(::getpid()) + "-" + RandomPart() + "-" +
                     std::to_string(serial++) + kTempSuffix);
}

bool IsTemporaryMotifName(const std::u16string& name) {
  const std::string n = ToOSBytes(name);
  const size_t pre = sizeof kTempPrefix - 1, suf = sizeof kTempSuffix - 1;
  if (n.size() <= pre + suf || n.compare(0, pre, kTempPrefix) != 0 ||
      n.compare(n.size() - suf, suf, kTempSuffix) != 0)
    return false;
  // "<pid>-<random>-<n>", or "<pid>-<n>" and a bare "<pid>" as older versions named it.
  std::vector<std::string> parts;
  const std::string middle = n.substr(pre, n.size() - pre - suf);
  for (size_t at = 0;;) {
    const size_t dash = middle.find('-', at);
    parts.push_back(middle.substr(at, dash - at));
    if (dash == std::string::npos) break;
    at = dash + 1;
  }
  constexpr char kDigits[] = "0123456789";
  if (parts.size() > 3 || !AllOf(parts.front(), kDigits, 1, 9) || std::stol(parts.front()) <= 0) return false;
  if (parts.size() >= 2 && !AllOf(parts.back(), kDigits, 1, 9)) return false;
  return parts.size() < 3 || AllOf(parts[1], "0123456789abcdef", 16, 16);
}

bool ReadMotifFile(const std::u16string& name, std::vector<unsigned char>& bytes, TMotifFileStamp* stamp) {
  bytes.clear();
  const std::string path = ToOSBytes(name);
  // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused below.
  TFd f(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (f.fd < 0) return false;
  struct stat st {};
  if (::fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (st.st_size <= 0 || st.st_size > kMaxMotifBytes) return false;
  if (stamp) *stamp = StampOf(st);
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
  const std::u16string four = Lower(Right(name, 4)), five = Lower(Right(name, 5));
  return four == u".png" || four == u".jpg" || four == u"jpeg" || four == u"webp" || five == u".jfif" ||
         five == u".heic" || five == u".heif" || five == u".avif";
}

bool MotifNeedsRewrite(const std::u16string& name, int width, int height) {
  return width > 512 || height > 512 || Left(name, 6) != u"Puzzle";
}

bool ReplaceWithJpeg(const Ref<TPixmap>& pixmap, const std::u16string& name, const TMotifFileStamp& read) {
  if (!pixmap) return false;
  // A name the motif test never matches, so a leftover from a crash is not offered.
  // Made private first, so that a private photo is never readable by others; a
  // name that exists already (another process's) is never taken over.
  const std::string temp = ToOSBytes(TemporaryMotifName());
  TFd made(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (made.fd < 0) return false;
  bool ok = false;
  try {
    ok = WriteThrough(made.fd, pixmap);
  } catch (...) {
    if (StillOurs(temp, made.fd)) ::unlink(temp.c_str());  // a half-written file never stays behind
    throw;
  }
  ok = ok && ::fsync(made.fd) == 0;
  ok = ok && ::fchmod(made.fd, read.mode & 0777) == 0;
  // The original is checked last, as late before the rename as can be.
  const bool ours = StillOurs(temp, made.fd);
  ok = ok && ours && Unchanged(ToOSBytes(name), read);
  ok = ok && ::rename(temp.c_str(), ToOSBytes(name).c_str()) == 0;
  if (!ok) {
    if (ours) ::unlink(temp.c_str());
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
  std::vector<unsigned char> bytes;
  TMotifFileStamp stamp;
  if (!ReadMotifFile(name, bytes, &stamp)) return TMotifOutcome::Undecodable;  // or not a regular file
  // The player's marks and files still arriving are left as they are.
  if ((stamp.mode & S_IWUSR) == 0 || Settling(stamp)) return TMotifOutcome::Kept;
  if (IsPreparedMotif(bytes)) return TMotifOutcome::Kept;
  TSizedPicture picture = PictureFromBytes(bytes, kDecodeSize, kDecodeSize);
  bytes = std::vector<unsigned char>();
  if (!picture.pixmap) return TMotifOutcome::Undecodable;  // left alone
  if (!picture.whole || !MotifNeedsRewrite(name, picture.width, picture.height)) return TMotifOutcome::Kept;
  Ref<TPixmap> scaled = ResamplePixmap(FlattenOnWhite(picture.pixmap), 512, 512);
  picture.pixmap.reset();
  return scaled && ReplaceWithJpeg(scaled, name, stamp) ? TMotifOutcome::Rewritten : TMotifOutcome::WriteFailed;
}
