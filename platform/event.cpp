// Event records, their printed form, user ids, and the emit hook (whose start also
// installs the event queue, so the queue sees every event from the first one on).
#include "platform/event.h"

#include <cstdint>
#include <string>

#include "platform/hook.h"
#include "platform/ustring.h"

void InstallEventQueue(int emit_hook);  // event_queue.cpp

namespace {

const char* KnownName(int id) {
  switch (id) {
    case EVENT_APPSUSPEND: return "AppSuspend";
    case EVENT_APPRESUME: return "AppResume";
    case EVENT_APPTERMINATE: return "AppTerminate";
    case EVENT_APPOPENFILE: return "AppOpenFile";
    case EVENT_APPIDLE: return "AppIdle";
    case EVENT_KEYDOWN: return "KeyDown";
    case EVENT_KEYUP: return "KeyUp";
    case EVENT_KEYCHAR: return "KeyChar";
    case EVENT_KEYREPEAT: return "KeyRepeat";
    case EVENT_MOUSEDOWN: return "MouseDown";
    case EVENT_MOUSEUP: return "MouseUp";
    case EVENT_MOUSEMOVE: return "MouseMove";
    case EVENT_MOUSEWHEEL: return "MouseWheel";
    case EVENT_MOUSEENTER: return "MouseEnter";
    case EVENT_MOUSELEAVE: return "MouseLeave";
    case EVENT_TIMERTICK: return "TimerTick";
    case EVENT_HOTKEYHIT: return "HotkeyHit";
    case EVENT_GADGETACTION: return "GadgetAction";
    case EVENT_GADGETPAINT: return "GadgetPaint";
    case EVENT_GADGETSELECT: return "GadgetSelect";
    case EVENT_GADGETMENU: return "GadgetMenu";
    case EVENT_GADGETOPEN: return "GadgetOpen";
    case EVENT_GADGETCLOSE: return "GadgetClose";
    case EVENT_GADGETDONE: return "GadgetDone";
    case EVENT_GADGETLOSTFOCUS: return "GadgetLostFocus";
    case EVENT_GADGETSHAPE: return "GadgetShape";
    case EVENT_WINDOWMOVE: return "WindowMove";
    case EVENT_WINDOWSIZE: return "WindowSize";
    case EVENT_WINDOWCLOSE: return "WindowClose";
    case EVENT_WINDOWACTIVATE: return "WindowActivate";
    case EVENT_WINDOWACCEPT: return "WindowAccept";
    case EVENT_MENUACTION: return "MenuAction";
    case EVENT_STREAMEOF: return "StreamEof";
    case EVENT_STREAMAVAIL: return "StreamAvail";
    case EVENT_PROCESSEXIT: return "ProcessExit";
    default: return nullptr;
  }
}

std::u16string Num(long long v) { return U16(std::to_string(v)); }

uint32_t user_id_counter = 0x80000000u;

}  // namespace

std::u16string EventName(int id) {
  if (const char* name = KnownName(id)) return U16(name);
  if (id < 0) return u"UserEvent" + Num(static_cast<uint32_t>(id) & 0x7FFFFFFFu);
  return u"Unknown Event, id=" + Num(id);
}

std::u16string TEvent::ToString() const {
  std::u16string s = EventName(id);
  s += u": data=" + Num(data) + u", mods=" + Num(mods) + u", x=" + Num(x) + u", y=" + Num(y) +
       u", extra=\"";
  if (auto text = std::dynamic_pointer_cast<TStringObject>(extra)) s += text->value;
  s += u"\"";
  return s;
}

Ref<TEvent> TEvent::Create(int id, Ref<TObject> source, int data, int mods, int x, int y,
                           Ref<TObject> extra) {
  auto e = std::make_shared<TEvent>();
  e->id = id;
  e->source = std::move(source);
  e->data = data;
  e->mods = mods;
  e->x = x;
  e->y = y;
  e->extra = std::move(extra);
  return e;
}

int TEvent::AllocUserId() { return static_cast<int>(++user_id_counter); }

Ref<TEvent> CreateEvent(int id, Ref<TObject> source, int data, int mods, int x, int y,
                        Ref<TObject> extra) {
  return TEvent::Create(id, std::move(source), data, mods, x, y, std::move(extra));
}

int EmitEventHook() {
  static const int hook = [] {
    int id = AllocHookId();
    InstallEventQueue(id);
    return id;
  }();
  return hook;
}

void EmitEvent(const Ref<TEvent>& event) { RunHooks(EmitEventHook(), event); }

void TEvent::Emit() { EmitEvent(shared_from_this()); }
