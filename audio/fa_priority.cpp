// The mixing thread's scheduling (see fa_priority.h). The only module that knows
// <dbus/dbus.h>; the bus is reached through a private connection that is closed
// again at once, so nothing of it stays in the process.
#include "audio/fa_priority.h"

#include <dbus/dbus.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

namespace {

// Modest: above every ordinary program, no higher than a sound server's own threads.
constexpr int kRealtimePriority = 5;
constexpr int kNice = -10;
constexpr int kBusTimeoutMs = 500;
constexpr const char* kKit = "org.freedesktop.RealtimeKit1";

int RealtimePriority() {
  rlimit rl{};
  // 0 still works with the capability (as root).
  if (getrlimit(RLIMIT_RTPRIO, &rl) == 0 && rl.rlim_cur > 0 && rl.rlim_cur != RLIM_INFINITY)
    return std::min(kRealtimePriority, int(rl.rlim_cur));
  return kRealtimePriority;
}

// Without SCHED_RESET_ON_FORK: threads a sound library starts from this one
// (its connection to the sound server) carry the sound as well. (RealtimeKit
// sets that flag itself, so there only this thread gets the priority.)
bool MakeRealtime(long tid, int priority) {
  sched_param p{};
  p.sched_priority = priority;
  return sched_setscheduler(pid_t(tid), SCHED_RR, &p) == 0;
}

bool AlreadyRealtime() {
  const int policy = sched_getscheduler(0) & ~SCHED_RESET_ON_FORK;
  return policy == SCHED_RR || policy == SCHED_FIFO;
}

// RLIMIT_NICE allows nice values down to 20 - its value.
bool LowerNice(long tid) {
  if (setpriority(PRIO_PROCESS, id_t(tid), kNice) == 0) return true;
  rlimit rl{};
  if (getrlimit(RLIMIT_NICE, &rl) != 0 || rl.rlim_cur == RLIM_INFINITY) return false;
  const int floor = 20 - int(std::min<rlim_t>(rl.rlim_cur, 40));
  return floor < 0 && setpriority(PRIO_PROCESS, id_t(tid), std::max(floor, kNice)) == 0;
}

// The daemon grants real-time only to processes whose real-time threads cannot
// hog a core: their hard RLIMIT_RTTIME must be within its ceiling.
bool LimitRealtimeSlice() {
  rlimit rl{};
  if (getrlimit(RLIMIT_RTTIME, &rl) != 0) return false;
  if (rl.rlim_max != RLIM_INFINITY && rl.rlim_max <= rlim_t(kFaRealtimeSliceUs)) return true;
  rl.rlim_cur = rl.rlim_max = rlim_t(kFaRealtimeSliceUs);
  return setrlimit(RLIMIT_RTTIME, &rl) == 0;
}

struct TBusCloser {
  void operator()(DBusConnection* c) const {
    dbus_connection_close(c);
    dbus_connection_unref(c);
  }
};
struct TMessageUnref {
  void operator()(DBusMessage* m) const { dbus_message_unref(m); }
};
using TMessage = std::unique_ptr<DBusMessage, TMessageUnref>;

}  // namespace

bool MakeRealtimeThroughRealtimeKit(long tid, int priority) {
  DBusError err;
  dbus_error_init(&err);
  std::unique_ptr<DBusConnection, TBusCloser> bus(dbus_bus_get_private(DBUS_BUS_SYSTEM, &err));
  bool granted = false;
  if (bus) {
    // The library would end the whole program when the bus goes away.
    dbus_connection_set_exit_on_disconnect(bus.get(), FALSE);
    TMessage call(dbus_message_new_method_call(kKit, "/org/freedesktop/RealtimeKit1", kKit,
                                               "MakeThreadRealtime"));
    const dbus_uint64_t thread = dbus_uint64_t(tid);
    const dbus_uint32_t prio = dbus_uint32_t(priority);
    if (call && LimitRealtimeSlice() &&
        dbus_message_append_args(call.get(), DBUS_TYPE_UINT64, &thread, DBUS_TYPE_UINT32, &prio,
                                 DBUS_TYPE_INVALID)) {
      TMessage reply(
          dbus_connection_send_with_reply_and_block(bus.get(), call.get(), kBusTimeoutMs, &err));
      granted = reply != nullptr;
    }
  }
  dbus_error_free(&err);
  return granted;
}

bool MakeThisThreadRealtime() {
  return AlreadyRealtime() || MakeRealtime(long(gettid()), RealtimePriority());
}

TFaPriority RaiseThisThreadOtherwise() {
  const long tid = long(gettid());
  if (MakeRealtimeThroughRealtimeKit(tid, RealtimePriority())) return TFaPriority::kRealtimeKit;
  if (LowerNice(tid)) return TFaPriority::kNice;
  return TFaPriority::kNone;
}

TFaPriority RaiseThisThreadForSound() {
  return MakeThisThreadRealtime() ? TFaPriority::kRealtime : RaiseThisThreadOtherwise();
}
