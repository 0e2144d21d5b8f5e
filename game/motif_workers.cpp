// The motif worker pool. Leans on the platform's worker pool.
#include "game/motif_workers.h"

#include <unistd.h>

#include <memory>

#include "platform/worker_pool.h"

namespace {

std::unique_ptr<TWorkerPool>& Pool() {
  static std::unique_ptr<TWorkerPool> pool;
  return pool;
}

pid_t& PoolOwner() {
  static pid_t owner = 0;
  return owner;
}

}  // namespace

TWorkerPool& MotifWorkers() {
  // A forked child has the pool's memory but none of its threads (and perhaps a
  // lock a thread held at the fork): it gets a pool of its own, the copy is let go.
  if (Pool() && PoolOwner() != ::getpid()) (void)Pool().release();
  if (!Pool()) {
    Pool() = std::make_unique<TWorkerPool>();
    PoolOwner() = ::getpid();
  }
  return *Pool();
}

void SetMotifWorkerCount(int n) {
  if (Pool() && PoolOwner() != ::getpid()) (void)Pool().release();
  Pool().reset();  // its threads end before the new ones start
  Pool() = std::make_unique<TWorkerPool>(n);
  PoolOwner() = ::getpid();
}
