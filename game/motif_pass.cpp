// The motif folder pass on the worker pool. Leans on the per-entry normalisation,
// the directory listing and the motif workers; an advisory lock on the folder
// keeps a second instance of the game out while the pass runs.
#include "game/motif_pass.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "game/motif_workers.h"
#include "platform/filesystem.h"
#include "platform/ustring.h"
#include "platform/worker_pool.h"

namespace {

// How often the watch is called while nothing finishes.
constexpr std::chrono::milliseconds kWatchStep{15};

// What the pass and its jobs share.
struct TPassState {
  std::mutex lock;
  std::condition_variable changed;
  int finished = 0;
  int rewritten = 0;
  std::atomic<bool> stop{false};
};

TMotifOutcome GuardedNormalise(const std::u16string& name) {
  try {
    return NormaliseMotif(name);
  } catch (...) {
    return TMotifOutcome::Failed;
  }
}

// An exclusive advisory lock on the current directory for as long as it lives.
// Every instance of the game takes it for its pass, so its holder knows that no
// temporary file in the folder belongs to a pass still running. Taken without
// waiting: a second instance leaves the folder to the first.
class TFolderLock {
 public:
  TFolderLock() : fd_(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (fd_ < 0) return;
    int r;
    do r = ::flock(fd_, LOCK_EX | LOCK_NB);
    while (r != 0 && errno == EINTR);
    held_ = r == 0;
    busy_ = r != 0 && errno == EWOULDBLOCK;
  }
  ~TFolderLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  TFolderLock(const TFolderLock&) = delete;
  TFolderLock& operator=(const TFolderLock&) = delete;
  // Held: this pass alone works in the folder.
  bool Held() const { return held_; }
  // Another process holds it. Neither: the folder or its file system offers no
  // lock; the pass runs all the same (every replace checks its original anyway).
  bool Busy() const { return busy_; }

 private:
  int fd_;
  bool held_ = false, busy_ = false;
};

void Submit(const std::shared_ptr<TPassState>& state, const std::u16string& name) {
  MotifWorkers().Submit([state, name] {
    TMotifOutcome outcome = TMotifOutcome::Kept;
    if (!state->stop) outcome = GuardedNormalise(name);
    std::lock_guard<std::mutex> hold(state->lock);
    ++state->finished;
    if (outcome == TMotifOutcome::Rewritten) ++state->rewritten;
    state->changed.notify_all();
  });
}

// Waits for every job; the watch runs between short waits until it says stop.
void AwaitPass(TPassState& state, int total, const TPassWatch& watch) {
  std::unique_lock<std::mutex> hold(state.lock);
  while (state.finished < total) {
    if (!watch || state.stop) {
      state.changed.wait(hold, [&] { return state.finished == total; });
      break;
    }
    const int done = state.finished;
    hold.unlock();
    const bool go_on = watch(done, total);
    hold.lock();
    if (!go_on) state.stop = true;
    state.changed.wait_for(hold, kWatchStep, [&] { return state.finished != done; });
  }
}

}  // namespace

int RemoveStaleTemporaries(const std::vector<std::u16string>& names) {
  int removed = 0;
  for (const std::u16string& name : names) {
    if (!IsTemporaryMotifName(name)) continue;
    const std::string path = ToOSBytes(name);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    if (::unlink(path.c_str()) == 0) ++removed;
  }
  return removed;
}

int NormaliseMotives(const std::u16string& folder, const TPassWatch& watch) {
  const std::vector<std::u16string> names = LoadDir(folder, true);
  TFolderVisit visit(folder);
  if (!visit.Entered()) return 0;
  // Another instance is preparing the folder: its pictures are shown from memory.
  const TFolderLock lock;
  if (lock.Busy()) return 0;
  if (lock.Held()) RemoveStaleTemporaries(names);
  auto state = std::make_shared<TPassState>();
  int total = 0;
  for (const std::u16string& name : names) {
    if (!IsMotifName(name)) continue;
    Submit(state, name);
    ++total;
  }
  AwaitPass(*state, total, watch);
  int rewritten = 0;
  {
    std::lock_guard<std::mutex> hold(state->lock);
    rewritten = state->rewritten;
  }
  // One flush of the folder makes every rename of the pass durable.
  if (rewritten > 0) SyncCurrentFolder();
  if (watch && !state->stop && total > 0) watch(total, total);
  return rewritten;
}
