// Worker threads taking jobs from one queue, or the submitting thread itself when
// no thread could be started. Leans on thread_util.h for threads that never take
// the alarm signal, and on the scheduler's CPU set for the count.
#include "platform/worker_pool.h"

#include <sched.h>

#include <system_error>

#include "platform/thread_util.h"

TWorkerPool::TWorkerPool(int threads) {
  if (threads < 1) threads = DefaultThreads();
  _threads.reserve(static_cast<size_t>(threads));
  try {
    for (int i = 0; i < threads; ++i) _threads.push_back(StartThreadWithoutAlarm(&TWorkerPool::Run, this));
  } catch (const std::system_error&) {
    // A thread limit (ulimit -u, a container's pids limit): the threads that
    // started do the work, or the caller itself when none did.
  }
}

TWorkerPool::~TWorkerPool() {
  {
    std::lock_guard<std::mutex> hold(_lock);
    _closing = true;
    _queue.clear();
  }
  _work.notify_all();
  for (std::thread& t : _threads) t.join();
}

void TWorkerPool::Submit(std::function<void()> job) {
  if (_threads.empty()) {
    try {
      job();
    } catch (...) {
      // As on a worker: the job reports its own failure.
    }
    return;
  }
  {
    std::lock_guard<std::mutex> hold(_lock);
    _queue.push_back(std::move(job));
  }
  _work.notify_one();
}

void TWorkerPool::WaitIdle() {
  std::unique_lock<std::mutex> hold(_lock);
  _idle.wait(hold, [this] { return _queue.empty() && _running == 0; });
}

int TWorkerPool::DefaultThreads() {
  int cores = 0;
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) cores = CPU_COUNT(&set);
  if (cores < 1) cores = static_cast<int>(std::thread::hardware_concurrency());
  if (cores < 1) cores = 1;
  return cores < kMaxThreads ? cores : kMaxThreads;
}

void TWorkerPool::Run() {
  std::unique_lock<std::mutex> hold(_lock);
  for (;;) {
    _work.wait(hold, [this] { return _closing || !_queue.empty(); });
    if (_closing) return;
    std::function<void()> job = std::move(_queue.front());
    _queue.pop_front();
    ++_running;
    hold.unlock();
    try {
      job();
    } catch (...) {
      // The job reports its own failure; the worker stays for the next one.
    }
    job = nullptr;  // whatever it holds goes before the pool calls it done
    hold.lock();
    --_running;
    _idle.notify_all();
  }
}
