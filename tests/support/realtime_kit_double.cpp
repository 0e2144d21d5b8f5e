// The RealtimeKit stand-in on a private bus (see realtime_kit_double.h).
#include "tests/support/realtime_kit_double.h"

#include <dbus/dbus.h>
#include <sys/resource.h>
#include <unistd.h>

#include <fstream>

namespace {

constexpr const char* kKit = "org.freedesktop.RealtimeKit1";

// Anyone on this machine may own and call anything: the bus exists for one test.
constexpr const char* kConfig = R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <listen>unix:path=@DIR@/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
)";

}  // namespace

TRealtimeKitDouble::TRealtimeKitDouble(const std::string& dir) {
  if (!OnPath("dbus-daemon")) {
    _why = "dbus-daemon not installed";
    return;
  }
  std::string config = kConfig;
  config.replace(config.find("@DIR@"), 5, dir);
  std::ofstream(dir + "/bus.conf") << config;
  if (!_daemon.Spawn({"dbus-daemon", "--config-file=" + dir + "/bus.conf", "--nofork", "--print-address"}, {},
                     true, dir + "/bus.log")) {
    _why = "dbus-daemon cannot be started";
    return;
  }
  for (char c; read(_daemon.Out(), &c, 1) == 1 && c != '\n';) _address += c;
  DBusError err;
  dbus_error_init(&err);
  _conn = _address.empty() ? nullptr : dbus_connection_open_private(_address.c_str(), &err);
  if (_conn && (!dbus_bus_register(_conn, &err) ||
                dbus_bus_request_name(_conn, kKit, DBUS_NAME_FLAG_DO_NOT_QUEUE, &err) !=
                    DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER)) {
    dbus_connection_close(_conn);
    dbus_connection_unref(_conn);
    _conn = nullptr;
  }
  if (!_conn) _why = "the private bus does not work: " + std::string(err.message ? err.message : _address);
  dbus_error_free(&err);
  if (_conn) _thread = std::thread([this] { Serve(); });
}

TRealtimeKitDouble::~TRealtimeKitDouble() {
  _stop.store(true);
  if (_thread.joinable()) _thread.join();
  if (_conn) {
    dbus_connection_close(_conn);
    dbus_connection_unref(_conn);
  }
}

std::vector<TRealtimeKitDouble::TCall> TRealtimeKitDouble::Calls() {
  std::lock_guard<std::mutex> lock(_m);
  return _calls;
}

void TRealtimeKitDouble::Serve() {
  while (!_stop.load() && dbus_connection_read_write(_conn, 50)) {
    while (DBusMessage* m = dbus_connection_pop_message(_conn)) {
      if (dbus_message_is_method_call(m, kKit, "MakeThreadRealtime")) {
        TCall call;
        dbus_uint64_t thread = 0;
        dbus_uint32_t priority = 0;
        dbus_message_get_args(m, nullptr, DBUS_TYPE_UINT64, &thread, DBUS_TYPE_UINT32, &priority,
                              DBUS_TYPE_INVALID);
        call.thread = thread;
        call.priority = priority;
        rlimit rl{};
        if (getrlimit(RLIMIT_RTTIME, &rl) == 0 && rl.rlim_max != RLIM_INFINITY) call.rttime_max = (long long)rl.rlim_max;
        {
          std::lock_guard<std::mutex> lock(_m);
          _calls.push_back(call);
        }
        DBusMessage* reply = _granting.load()
                                 ? dbus_message_new_method_return(m)
                                 : dbus_message_new_error(m, DBUS_ERROR_ACCESS_DENIED, "not for this test");
        dbus_connection_send(_conn, reply, nullptr);
        dbus_message_unref(reply);
      }
      dbus_message_unref(m);
    }
  }
}
