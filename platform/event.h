// The event record every emitter creates and every hook of EmitEventHook sees, the
// event ids and their names.
#pragma once
#include <string>

#include "platform/object.h"

constexpr int EVENT_APPSUSPEND = 257;
constexpr int EVENT_APPRESUME = 258;
constexpr int EVENT_APPTERMINATE = 259;
constexpr int EVENT_APPOPENFILE = 260;
constexpr int EVENT_APPIDLE = 261;
constexpr int EVENT_KEYDOWN = 513;
constexpr int EVENT_KEYUP = 514;
constexpr int EVENT_KEYCHAR = 515;
constexpr int EVENT_KEYREPEAT = 516;
constexpr int EVENT_MOUSEDOWN = 1025;
constexpr int EVENT_MOUSEUP = 1026;
constexpr int EVENT_MOUSEMOVE = 1027;
constexpr int EVENT_MOUSEWHEEL = 1028;
constexpr int EVENT_MOUSEENTER = 1029;
constexpr int EVENT_MOUSELEAVE = 1030;
constexpr int EVENT_TIMERTICK = 2049;
constexpr int EVENT_HOTKEYHIT = 4097;
constexpr int EVENT_GADGETACTION = 8193;
constexpr int EVENT_GADGETPAINT = 8194;
constexpr int EVENT_GADGETSELECT = 8195;
constexpr int EVENT_GADGETMENU = 8196;
constexpr int EVENT_GADGETOPEN = 8197;
constexpr int EVENT_GADGETCLOSE = 8198;
constexpr int EVENT_GADGETDONE = 8199;
constexpr int EVENT_GADGETLOSTFOCUS = 8200;
constexpr int EVENT_GADGETSHAPE = 8201;
constexpr int EVENT_WINDOWMOVE = 16385;
constexpr int EVENT_WINDOWSIZE = 16386;
constexpr int EVENT_WINDOWCLOSE = 16387;
constexpr int EVENT_WINDOWACTIVATE = 16388;
constexpr int EVENT_WINDOWACCEPT = 16389;
constexpr int EVENT_MENUACTION = 32769;
constexpr int EVENT_STREAMEOF = 65537;
constexpr int EVENT_STREAMAVAIL = 65538;
constexpr int EVENT_PROCESSEXIT = 131073;

struct TEvent : TObject, std::enable_shared_from_this<TEvent> {
  int id = 0;
  Ref<TObject> source;  // emitter: the timer for ticks, null for X11 input
  int data = 0;         // key code, character, button, wheel step or tick count
  int mods = 0;
  int x = 0;
  int y = 0;
  Ref<TObject> extra;

  // "KeyDown: data=65, mods=0, x=0, y=0, extra=\"\"" and the like.
  std::u16string ToString() const;
  // Runs the emit hook list with this event (which must be held by a Ref).
  void Emit();

  static Ref<TEvent> Create(int id, Ref<TObject> source = nullptr, int data = 0, int mods = 0,
                            int x = 0, int y = 0, Ref<TObject> extra = nullptr);
  // Fresh user event id: 0x80000001, 0x80000002, ... (negative as signed numbers).
  static int AllocUserId();
};

// The printed name of an event id ("KeyDown", "UserEvent5", "Unknown Event, id=7").
std::u16string EventName(int id);

Ref<TEvent> CreateEvent(int id, Ref<TObject> source = nullptr, int data = 0, int mods = 0,
                        int x = 0, int y = 0, Ref<TObject> extra = nullptr);
// RunHooks(EmitEventHook(), event).
void EmitEvent(const Ref<TEvent>& event);
// The hook id every event passes through; allocated (and the event queue installed
// on it) on first use.
int EmitEventHook();
