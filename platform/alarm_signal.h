// The 1 ms alarm's signal for the platform files that mask it (clock, pump, thread
// helpers). Keeps <signal.h> out of the public headers.
#pragma once
#include <signal.h>

// A set holding only the alarm's signal (SIGALRM), for pthread_sigmask and ppoll.
const sigset_t& AlarmSignalSet();
