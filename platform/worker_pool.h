// A small fixed set of worker threads for work that must not hold up the main
// thread (decoding and encoding pictures). Jobs start in the order they were
// submitted. The threads start with the alarm signal blocked (thread_util.h) and
// run only what they are given: no GL, no events, no hooks.
#pragma once
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class TWorkerPool {
 public:
  // threads < 1 means DefaultThreads(). Threads the system refuses to start (a
  // thread limit) are done without; with none at all, Submit runs each job at once
  // on the calling thread.
  explicit TWorkerPool(int threads = 0);
  // Jobs not yet started are dropped; running ones are waited for.
  ~TWorkerPool();
  TWorkerPool(const TWorkerPool&) = delete;
  TWorkerPool& operator=(const TWorkerPool&) = delete;

  // Queues a job. A job that throws ends only itself; the worker carries on.
  void Submit(std::function<void()> job);
  // Blocks until every job submitted so far has finished.
  void WaitIdle();
  int Threads() const { return static_cast<int>(_threads.size()); }

  // One thread per core this process may run on, at most kMaxThreads.
  static int DefaultThreads();
  static constexpr int kMaxThreads = 8;

 private:
  void Run();

  std::mutex _lock;
  std::condition_variable _work;  // a job was queued, or the pool is closing
  std::condition_variable _idle;  // a job finished
  std::deque<std::function<void()>> _queue;
  int _running = 0;
  bool _closing = false;
  std::vector<std::thread> _threads;
};
