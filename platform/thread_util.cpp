// SIGALRM masking for threads that are not the main thread.
#include "platform/thread_util.h"

#include <pthread.h>

#include <cstring>

#include "platform/alarm_signal.h"

static_assert(sizeof(sigset_t) <= 128, "saved mask buffer too small");

TAlarmBlock::TAlarmBlock() {
  sigset_t old;
  pthread_sigmask(SIG_BLOCK, &AlarmSignalSet(), &old);
  std::memcpy(_saved, &old, sizeof old);
}

TAlarmBlock::~TAlarmBlock() {
  sigset_t old;
  std::memcpy(&old, _saved, sizeof old);
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

void BlockAlarmOnThisThread() { pthread_sigmask(SIG_BLOCK, &AlarmSignalSet(), nullptr); }
