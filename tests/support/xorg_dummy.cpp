#include "tests/support/xorg_dummy.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "tests/support/env.h"

#include <X11/Xlib.h>  // after GoogleTest (env.h): its None macro clashes

namespace {

bool Exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

bool FindProgram(const std::string& name, std::string* path) {
  for (const char* dir : {"/usr/bin/", "/usr/local/bin/", "/usr/lib/xorg/"}) {
    std::string p = std::string(dir) + name;
    if (::access(p.c_str(), X_OK) == 0) {
      *path = p;
      return true;
    }
  }
  return false;
}

}  // namespace

TTestXServer::~TTestXServer() { Stop(); }

int TTestXServer::FreeDisplayNumber() const {
  // Spread by process id so parallel test programs rarely race for the same number.
  const int base = 40 + static_cast<int>(::getpid() % 100) * 5;
  for (int i = 0; i < 500; ++i) {
    const int n = 40 + (base - 40 + i) % 500;
    if (!Exists("/tmp/.X" + std::to_string(n) + "-lock") &&
        !Exists("/tmp/.X11-unix/X" + std::to_string(n)))
      return n;
  }
  return -1;
}

bool TTestXServer::Launch(const std::string& program, const std::vector<std::string>& args,
                          int number) {
  char tmpl[] = "/tmp/tess-xserver-XXXXXX";
  if (!::mkdtemp(tmpl)) {
    reason_ = "cannot make a folder for the server log";
    return false;
  }
  log_dir_ = tmpl;
  const std::string display = ":" + std::to_string(number);
  std::vector<std::string> argv_s = {program, display};
  for (const auto& a : args) argv_s.push_back(a == "@LOG@" ? log_dir_ + "/server.log" : a);

  pid_t pid = ::fork();
  if (pid < 0) {
    reason_ = "fork failed";
    return false;
  }
  if (pid == 0) {
    ::setsid();  // keeps the server out of the test's terminal and signal group
    int out = ::open((log_dir_ + "/stdout.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int in = ::open("/dev/null", O_RDONLY);
    if (in >= 0) ::dup2(in, 0);
    if (out >= 0) {
      ::dup2(out, 1);
      ::dup2(out, 2);
    }
    std::vector<char*> argv;
    for (auto& s : argv_s) argv.push_back(s.data());
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  pid_ = pid;

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      reason_ = program + " exited at start (see " + log_dir_ + ")";
      return false;
    }
    if (Display* d = XOpenDisplay(display.c_str())) {
      XCloseDisplay(d);
      display_ = display;
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  reason_ = program + " did not accept connections within 15 s";
  Stop();
  return false;
}

bool TTestXServer::StartXorgDummy() {
  std::string xorg;
  if (!FindProgram("Xorg", &xorg)) {
    reason_ = "Xorg is not installed (xserver-xorg-core, xserver-xorg-video-dummy)";
    return false;
  }
  if (!Exists("/usr/lib/xorg/modules/drivers/dummy_drv.so")) {
    reason_ = "the dummy video driver is not installed (xserver-xorg-video-dummy)";
    return false;
  }
  if (::geteuid() != 0) {
    reason_ = "Xorg with a private config file needs root here";
    return false;
  }
  const std::string config = SourceDir() + "/tests/support/xorg-dummy.conf";
  if (!Exists(config)) {
    reason_ = "config file missing: " + config;
    return false;
  }
  const int n = FreeDisplayNumber();
  if (n < 0) {
    reason_ = "no free display number";
    return false;
  }
  return Launch(xorg,
                {"-noreset", "-nolisten", "tcp", "-novtswitch", "-sharevts", "-config", config,
                 "-logfile", "@LOG@"},
                n);
}

bool TTestXServer::StartXvfb(const std::vector<std::string>& extra_args) {
  std::string xvfb;
  if (!FindProgram("Xvfb", &xvfb)) {
    reason_ = "Xvfb is not installed";
    return false;
  }
  const int n = FreeDisplayNumber();
  if (n < 0) {
    reason_ = "no free display number";
    return false;
  }
  std::vector<std::string> args = {"-nolisten", "tcp", "-noreset"};
  args.insert(args.end(), extra_args.begin(), extra_args.end());
  return Launch(xvfb, args, n);
}

void TTestXServer::Stop() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    int status = 0;
    for (int i = 0; i < 100; ++i) {
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
      pid_ = -1;
    }
  }
  if (!log_dir_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(log_dir_, ec);
    log_dir_.clear();
  }
  display_.clear();
}
