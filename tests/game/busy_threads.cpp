// Helper of the sound end-to-end test: a process whose two threads never sleep,
// as a busy program beside the game. Runs until it is ended.
#include <thread>

int main() {
  auto spin = [] {
    volatile unsigned long n = 0;
    for (;;) n = n + 1;
  };
  std::thread a(spin), b(spin);
  a.join();
}
