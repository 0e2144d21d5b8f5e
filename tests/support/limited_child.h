// Runs a piece of a test in a forked child under a memory limit, to show that
// hostile input is refused without the memory a header claims; and limits the
// threads a forked child may start, as ulimit -u or a container's pids limit does. The limit is on
// address space above what the child has mapped when it starts (setrlimit), so an
// allocation beyond it fails instead of succeeding lazily; sanitizer builds reserve
// terabytes of shadow address space and run without it.
#pragma once
#include <cstddef>
#include <functional>
#include <string>

struct ChildOutcome {
  bool finished = false;   // exited by itself within the time-out
  bool passed = false;     // the body returned true
  long peakKiB = 0;        // resident memory gained by the child while running the body
  std::string Describe() const;
};

// True when address-space limits cannot be used (AddressSanitizer and friends).
bool SanitizerBuild();

// `limitBytes` 0 runs without an address-space limit (then peakKiB tells the cost).
ChildOutcome RunInChild(const std::function<bool()>& body, size_t limitBytes, int timeoutSeconds = 60);

// A user id that no process runs under, one per test process.
unsigned UnusedUserId();
// In a forked child (root only): becomes `user` (from UnusedUserId) and lets it
// start `threads` more threads than the one it has (RLIMIT_NPROC counts a user's
// threads, and root is exempt). The limit stays over exec. False when that cannot
// be done here.
bool LimitThreadsOfThisChild(int threads, unsigned user);
