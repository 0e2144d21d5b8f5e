// The threads of a running process as /proc shows them: names, CPU time and
// scheduling, so a test can tell what the game's sound costs and how it runs.
#pragma once
#include <sys/types.h>

#include <initializer_list>
#include <map>
#include <string>

struct TThreadStat {
  std::string name;
  double cpu = 0;    // seconds, user and system
  int policy = 0;    // SCHED_OTHER, SCHED_RR ...
  int nice = 0;
  int rt_priority = 0;
};

struct TProcessStat {
  double cpu = 0;  // seconds, threads that ended included
  std::map<int, TThreadStat> threads;  // by thread id
};

// Empty when the process is gone.
TProcessStat StatOf(pid_t pid);

// The CPU seconds between two looks that went to threads other than those
// that lived through both and are not named in `ours`: the time of `ours` and of
// every thread that came and went in between.
double CpuBesides(const TProcessStat& before, const TProcessStat& after,
                  std::initializer_list<const char*> ours);

// The first thread of that name (policy -1 when there is none).
TThreadStat ThreadNamed(const TProcessStat& p, const std::string& name);
