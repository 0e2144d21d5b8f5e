// Private X servers for tests that need one of their own: Xorg with the dummy video
// driver (real XFree86-VidMode mode switches, GLX) started with the project's config
// tests/support/xorg-dummy.conf, or an Xvfb with chosen options. Each picks a free
// display number, waits until it accepts connections and is stopped with SIGTERM
// when the object goes.
#pragma once
#include <string>
#include <vector>

class TTestXServer {
 public:
  TTestXServer() = default;
  ~TTestXServer();
  TTestXServer(const TTestXServer&) = delete;
  TTestXServer& operator=(const TTestXServer&) = delete;

  // False (with Reason()) when the server cannot be started here.
  bool StartXorgDummy();
  bool StartXvfb(const std::vector<std::string>& extra_args);
  void Stop();

  const std::string& DisplayName() const { return display_; }  // ":N"
  const std::string& Reason() const { return reason_; }

 private:
  bool Launch(const std::string& program, const std::vector<std::string>& args, int number);
  int FreeDisplayNumber() const;

  int pid_ = -1;
  std::string display_;
  std::string reason_;
  std::string log_dir_;
};
