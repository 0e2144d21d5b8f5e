// Polled input: a hook on EmitEventHook that keeps key, button, pointer and wheel
// state for the game to query at any moment. Every query first pumps the system
// (PollSystem), so the game never handles events itself. The graphics window switches
// it on when it opens and off when it closes. Main thread only.
#pragma once
#include "platform/object.h"

// Key codes are 0..255, button numbers 0..3 (1 left, 2 right, 3 middle); anything
// outside those ranges reads as 0 and is never stored.
int KeyHit(int key);      // presses since the last read or flush; resets the count
int KeyDown(int key);     // 1 while the key is down
int GetChar();            // oldest queued character and removes it; 0 when none
void FlushKeys();         // clears key states, hits and the character queue
int MouseHit(int button);
int MouseDown(int button);
int MouseX();
int MouseY();
int MouseZ();             // wheel position; not reset by reading
void FlushMouse();        // clears button states, hits and the wheel (x and y stay)
int AppTerminate();       // one-shot: 1 once after an AppTerminate event
int AppSuspended();
int WaitKey();            // lowest key code 1..255 with a hit (consumed)
int WaitChar();
int WaitMouse();          // lowest button 1..3 with a hit (consumed)

// Installs the hook (priority 0) after flushing; only events whose source is
// `source` count (null: every source). A second call while enabled does nothing.
void EnablePolledInput(Ref<TObject> source = nullptr);
void DisablePolledInput();
bool PolledInputEnabled();
