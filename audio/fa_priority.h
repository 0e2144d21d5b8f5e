// Scheduling for the mixing thread. It sleeps most of the time and must run as
// soon as the device wants the next block; beside busy programs an ordinary
// thread wakes late and the device runs dry. So the thread asks for what sound
// programs on Linux ask for, as far as the desktop allows it, and never fails
// or reports anything when it gets nothing.
#pragma once

enum class TFaPriority { kNone, kNice, kRealtimeKit, kRealtime };

// Raises the calling thread: real-time round-robin scheduling at a modest
// priority when the process may take it (RLIMIT_RTPRIO or the capability), else
// through RealtimeKit on the system bus, else a lower nice value where
// RLIMIT_NICE permits one, else nothing. For the mixing thread only. The two
// halves, for a thread that takes the quick one before it opens a device (what
// a sound library starts then inherits it) and the rest once the device is open:
TFaPriority RaiseThisThreadForSound();
// Real-time directly: true when the thread has it now (or had it already).
bool MakeThisThreadRealtime();
// RealtimeKit, else a lower nice value, else nothing.
TFaPriority RaiseThisThreadOtherwise();

// The RealtimeKit step alone: asks the daemon on the system bus to make thread
// tid (a kernel thread id of this process) real-time at priority, after limiting
// the process's RLIMIT_RTTIME as the daemon requires. False when there is no bus,
// no daemon, no answer within half a second or a refusal.
bool MakeRealtimeThroughRealtimeKit(long tid, int priority);

// The limit set on RLIMIT_RTTIME before asking the daemon (its own default
// ceiling), in microseconds of CPU time without a blocking call.
constexpr long kFaRealtimeSliceUs = 200000;
