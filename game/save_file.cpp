// The save folder, reading the save, and the writer thread. Leans on POSIX file
// calls and the alarm-free thread start; the thread shares its one request slot
// with the main thread under a lock.
#include "game/save_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/thread_util.h"

namespace fs = std::filesystem;

namespace {

constexpr char kSaveName[] = "board.save";
constexpr char kTempName[] = "board.save.tmp";
constexpr off_t kMaxSaveBytes = 64 * 1024;  // a 32 x 32 board's save is about 2 KiB

// The path with its existing part resolved (links followed), the rest as written.
fs::path Resolved(const fs::path& path) {
  std::error_code ec;
  fs::path existing = path, rest;
  while (!existing.empty() && !fs::exists(existing, ec)) {
    rest = rest.empty() ? existing.filename() : existing.filename() / rest;
    if (existing == existing.parent_path()) break;
    existing = existing.parent_path();
  }
  const fs::path real = fs::canonical(existing, ec);
  if (ec) return path;
  return rest.empty() ? real : (real / rest).lexically_normal();
}

bool Inside(const fs::path& path, const fs::path& folder) {
  auto p = path.begin();
  for (auto f = folder.begin(); f != folder.end(); ++f, ++p) {
    if (f->empty()) continue;  // the trailing "/" of a folder
    if (p == path.end() || *p != *f) return false;
  }
  return true;
}

bool MakeFolders(const std::string& folder) {
  std::string at;
  for (size_t i = 1; i <= folder.size(); ++i) {
    if (i < folder.size() && folder[i] != '/') continue;
    at = folder.substr(0, i);
    if (::mkdir(at.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat st {};
  return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool WriteAll(int fd, const std::vector<unsigned char>& bytes) {
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Temporary file, flushed to disk, renamed over the save; the folder's entry
// follows. Anything failing leaves the old save and no temporary file.
void StoreOnDisk(const std::string& folder, const std::vector<unsigned char>& bytes) {
  if (!MakeFolders(folder)) return;
  const std::string temp = folder + "/" + kTempName, save = folder + "/" + kSaveName;
  ::unlink(temp.c_str());  // one a crash left behind
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return;
  const bool written = WriteAll(fd, bytes) && ::fsync(fd) == 0;
  const bool closed = ::close(fd) == 0;
  if (!written || !closed || ::rename(temp.c_str(), save.c_str()) != 0) {
    ::unlink(temp.c_str());
    return;
  }
  SyncFolder(folder);
}

void RemoveFromDisk(const std::string& folder) {
  if (::unlink((folder + "/" + kSaveName).c_str()) == 0) SyncFolder(folder);
}

struct TRequest {
  std::string folder;
  bool remove = false;
  std::vector<unsigned char> bytes;
};

// One waiting request at most: a newer one takes its place.
struct TWriter {
  std::mutex lock;
  std::condition_variable changed;
  std::optional<TRequest> waiting;
  bool stop = false;
  std::thread thread;
};

TWriter& Writer() {
  static TWriter* writer = new TWriter;  // never destroyed: End skips static destructors
  return *writer;
}

void WriterLoop(TWriter& w) {
  std::unique_lock<std::mutex> hold(w.lock);
  for (;;) {
    w.changed.wait(hold, [&] { return w.waiting || w.stop; });
    if (!w.waiting) return;
    TRequest r = std::move(*w.waiting);
    w.waiting.reset();
    hold.unlock();
    if (r.remove) RemoveFromDisk(r.folder);
    else StoreOnDisk(r.folder, r.bytes);
    hold.lock();
  }
}

void Submit(TRequest request) {
  if (request.folder.empty()) return;
  TWriter& w = Writer();
  std::lock_guard<std::mutex> hold(w.lock);
  w.waiting = std::move(request);
  if (!w.thread.joinable()) w.thread = StartThreadWithoutAlarm(&WriterLoop, std::ref(w));
  w.changed.notify_all();
}

}  // namespace

std::string SaveFolderFor(const std::string& pictures) {
  fs::path base;
  if (const char* state = std::getenv("XDG_STATE_HOME"); state && state[0] == '/') {
    base = state;
  } else if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
    base = fs::path(home) / ".local/state";
  } else {
    return "";
  }
  const fs::path folder = Resolved((base / "tessolino").lexically_normal());
  if (Inside(folder, Resolved(fs::absolute(pictures)))) return "";
  return folder.string();
}

bool ReadSaveFile(const std::string& folder, std::vector<unsigned char>& bytes) {
  bytes.clear();
  if (folder.empty()) return false;
  const std::string path = folder + "/" + kSaveName;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 && st.st_size <= kMaxSaveBytes) {
    bytes.resize(static_cast<size_t>(st.st_size));
    size_t got = 0;
    while (got < bytes.size()) {
      const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    bytes.resize(got);  // a file that shrank meanwhile reads short and is refused later
  }
  ::close(fd);
  return true;
}

void WriteSaveFile(const std::string& folder, std::vector<unsigned char> bytes) {
  Submit({folder, false, std::move(bytes)});
}

void RemoveSaveFile(const std::string& folder) { Submit({folder, true, {}}); }

void FinishSaveWrites() {
  TWriter& w = Writer();
  {
    std::lock_guard<std::mutex> hold(w.lock);
    if (!w.thread.joinable()) return;
    w.stop = true;
    w.changed.notify_all();
  }
  w.thread.join();  // the loop ends only with nothing waiting
  std::lock_guard<std::mutex> hold(w.lock);
  w.stop = false;
}
