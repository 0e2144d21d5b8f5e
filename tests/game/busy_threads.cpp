// Helper of the sound end-to-end test: a process whose two threads never sleep,
// as a busy program beside the game. Runs until it is ended, and ends with the
// test, however that ends.
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <thread>

int main() {
  const pid_t parent = getppid();
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) return 0;  // the test ended before the line above
  auto spin = [] {
    volatile unsigned long n = 0;
    for (;;) n = n + 1;
  };
  std::thread a(spin), b(spin);
  a.join();
}
