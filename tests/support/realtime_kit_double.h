// A private message bus with a stand-in for the RealtimeKit daemon on it. The
// stand-in answers MakeThreadRealtime, noting what it was asked and the
// RLIMIT_RTTIME of this process (its only caller) at that moment, and grants or
// refuses as told; it changes no thread's scheduling itself.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/pulse_server.h"

struct DBusConnection;

class TRealtimeKitDouble {
 public:
  struct TCall {
    uint64_t thread = 0;
    uint32_t priority = 0;
    long long rttime_max = -1;  // RLIMIT_RTTIME's hard limit then (-1: none)
  };

  // Starts dbus-daemon with its socket in dir and the stand-in on it.
  explicit TRealtimeKitDouble(const std::string& dir);
  ~TRealtimeKitDouble();
  // Empty when both run, otherwise why not (the test should skip).
  const std::string& Why() const { return _why; }
  // The bus address, for DBUS_SYSTEM_BUS_ADDRESS.
  const std::string& Address() const { return _address; }
  void SetGranting(bool granting) { _granting.store(granting); }
  std::vector<TCall> Calls();

 private:
  void Serve();

  std::string _why, _address;
  TChildProcess _daemon;
  DBusConnection* _conn = nullptr;
  std::thread _thread;
  std::atomic<bool> _stop{false};
  std::atomic<bool> _granting{true};
  std::mutex _m;
  std::vector<TCall> _calls;
};
