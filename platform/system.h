// The system driver seam: pumping OS input into events (PollSystem/WaitSystem with a
// re-entry guard), the pointer, the signal table that asynchronous signals are
// dispatched through on the main thread, and the console operations.
#pragma once
#include <functional>
#include <string>

struct _XDisplay;

struct TSystemDriver {
  virtual ~TSystemDriver() = default;
  virtual void Poll() = 0;
  virtual void Wait() = 0;
  virtual void MoveMouse(int x, int y) = 0;
  virtual void SetMouseVisible(bool visible) = 0;
  virtual void Notify(const std::u16string& text, bool serious) = 0;
  virtual bool Confirm(const std::u16string& text, bool serious) = 0;
  virtual int Proceed(const std::u16string& text, bool serious) = 0;
  virtual std::u16string RequestFile(const std::u16string& title, const std::u16string& filter,
                                     bool save, const std::u16string& path) = 0;
  virtual std::u16string RequestDir(const std::u16string& title, const std::u16string& path) = 0;
  virtual int OpenURL(const std::u16string& url) = 0;
};

// The one driver, created (display opened) on first use.
TSystemDriver* SystemDriver();

// Poll/Wait of the driver unless a PollSystem or WaitSystem is already running.
void PollSystem();
void WaitSystem();
// True while PollSystem or WaitSystem runs (a hook is being called from the pump).
bool SystemBusy();
// For wait loops (WaitTimer, WaitEvent, WaitKey...): the driver's Wait, also from
// inside the pump (a hook that waits), where WaitSystem does nothing; events that
// arrive meanwhile are translated and pass through the hooks again, nested. Returns
// false when nothing can arrive (called from a signal's own handler): the loop
// should give up.
bool WaitSystemOrSleep();
// The pump steps of Poll without the re-entry guard (for the GLX driver after window
// creation and every buffer swap).
void SystemPump();

void HideMouse();
void ShowMouse();
void MoveMouse(int x, int y);
// The X window of the open graphics context (0: none).
void SetInputWindow(unsigned long xwindow);
// The input window shows the drawing space `scale` pixels per unit from (x, y):
// pointer positions in events and warps are in drawing units. Reset by
// SetInputWindow.
void SetPointerView(float scale, int x, int y);
// The driver's X display, or null when none could be opened.
_XDisplay* SystemDisplay();
// A function that sees every X event (an XEvent*) before translation and consumes it
// by returning non-zero; null removes it.
void SetRawEventFilter(int (*fn)(void* xevent));

// Signal table: fn runs on the main thread from Poll/Wait when signal sig is pending.
void SetSignalHandler(int sig, void (*fn)(int));
// Async-signal-safe: records sig as pending (several posts leave one pending signal).
void PostPendingSignal(int sig) noexcept;
// Takes the pending signal (exchange) and calls its handler; main thread only. Does
// nothing while a handler is already running (a hook of a timer tick that pumps).
// A termination request comes first: the program then ends through End.
void DispatchPendingSignal();
// Async-signal-safe: asks the main thread to end the program through End at its
// next pump, so that the exit handlers run (a termination signal). False when a
// request was already waiting.
bool PostTerminationRequest(int sig) noexcept;
// Sleeps until X input is readable, a signal is posted, background work completes,
// work registered with SetSleepLimit falls due, or timeout_ms passes; returns at once
// when a signal is already pending. The 1 ms alarm is held off during a sleep that
// has a due time (it would only wake us a thousand times a second for nothing) and
// arrives as the pending signal right after it; with nothing due, the next alarm
// ends the sleep. Race-free: the pending check and the sleep happen with SIGALRM
// blocked.
void SleepUntilSignal(int timeout_ms);
// fn returns the milliseconds until the next alarm-driven work is due (0: due now),
// or a negative number when there is none (the timers register theirs).
void SetSleepLimit(int (*fn)());

// Completion callbacks of background work: queued from any thread, run by Poll/Wait
// on the main thread, outside the lock.
void PostCompletion(std::function<void()> fn);
void RunCompletions();

// Console operations of the driver.
void Notify(const std::u16string& text, bool serious = false);
bool Confirm(const std::u16string& text, bool serious = false);
int Proceed(const std::u16string& text, bool serious = false);
std::u16string RequestFile(const std::u16string& title, const std::u16string& filter = {},
                           bool save = false, const std::u16string& path = {});
std::u16string RequestDir(const std::u16string& title, const std::u16string& path = {});
int OpenURL(const std::u16string& url);
