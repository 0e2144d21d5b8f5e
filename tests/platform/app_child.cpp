// Helper program for the process-entry tests: runs the runtime's entry with a body
// chosen by the first argument.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

#include <unistd.h>

#include "platform/app.h"
#include "platform/process_entry.h"
#include "platform/runtime_error.h"
#include "platform/system.h"
#include "platform/ustring.h"

namespace {

std::string mode;

void Print(const char* key, const std::u16string& value) {
  std::printf("%s=%s\n", key, ToOSBytes(value).c_str());
}

volatile int sink;

// Recurses until the stack is gone; the depth flag keeps compilers from seeing an
// unconditional infinite recursion.
volatile bool keep_going = true;
int Recurse(int n) {
  volatile char pad[512];
  pad[0] = static_cast<char>(n);
  if (!keep_going) return pad[0];
  return Recurse(n + 1) + pad[0];
}

void Body() {
  if (mode == "where") {
    Print("AppFile", AppFile);
    Print("AppDir", AppDir);
    Print("AppClass", AppClass);
    Print("LaunchDir", LaunchDir);
    char cwd[4096];
    std::printf("cwd=%s\n", getcwd(cwd, sizeof cwd) ? cwd : "?");
    std::printf("args=%zu\n", AppArgs.size());
    for (auto& a : AppArgs) Print("arg", a);
    if (FILE* f = std::fopen("beside.txt", "r")) {
      char buf[64] = {};
      size_t n = std::fread(buf, 1, sizeof buf - 1, f);
      std::fclose(f);
      std::printf("beside=%.*s\n", static_cast<int>(n), buf);
    }
  } else if (mode == "segv") {
    volatile int* p = nullptr;
    sink = *p;
  } else if (mode == "overflow") {
    sink = Recurse(0);
  } else if (mode == "term" || mode == "hup") {
    // Ends at the next pump, through End and its handlers.
    AddExitHandler([] { std::printf("handler"); });
    raise(mode == "term" ? SIGTERM : SIGHUP);
    std::printf("pump ");
    WaitSystem();
    std::printf(" not reached");
  } else if (mode == "term-twice") {
    raise(SIGTERM);
    raise(SIGTERM);
  } else if (mode == "throw") {
    RuntimeError("Stream is not readable");
  } else if (mode == "std") {
    throw std::logic_error("plain failure");
  } else if (mode == "end") {
    AddExitHandler([] { std::printf("1"); });
    AddExitHandler([] { std::printf("2"); });
    AddExitHandler([] { std::printf("3"); });
    std::printf("body ");
    End();
  } else if (mode == "end-nested") {
    // A handler that ends the program itself: the rest still run, none twice.
    AddExitHandler([] { std::printf("1"); });
    AddExitHandler([] {
      std::printf("2");
      End();
    });
    AddExitHandler([] { std::printf("3"); });
    End();
  } else if (mode == "pipe") {
    // A write to a closed pipe fails with an error instead of killing the process.
    int fds[2];
    if (pipe(fds) != 0) return;
    close(fds[0]);
    ssize_t n = write(fds[1], "x", 1);
    std::printf("write=%zd\n", n);
  }
  // "return": falls through; the body's end ends the program with status 0.
}

}  // namespace

int main(int argc, char** argv) {
  mode = argc > 1 ? argv[1] : "";
  return ProcessEntryMain(argc, argv, &Body);
}
