// Hook lists: singly linked, sorted by descending priority. A hook removed while its
// list runs is only marked and unlinked; it keeps its successor, so the running
// walk carries on into the live list without calling it again.
#include "platform/hook.h"

#include "platform/runtime_error.h"

namespace {

constexpr int kMaxHookIds = 256;  // ids 1..255; 0 is never handed out

struct THook {
  Ref<THook> succ;
  int priority = 0;
  THookFunc func = nullptr;
  Ref<TObject> context;
  bool removed = false;
};

struct THookRegistry {
  Ref<THook> heads[kMaxHookIds];
  int last_id = 0;
};

THookRegistry& Registry() {
  static THookRegistry r;
  return r;
}

bool ValidId(int id) { return id > 0 && id < kMaxHookIds; }

}  // namespace

int AllocHookId() {
  auto& r = Registry();
  if (r.last_id + 1 >= kMaxHookIds) RuntimeError("Too many hook ids");
  return ++r.last_id;
}

void AddHook(int id, THookFunc func, Ref<TObject> context, int priority) {
  if (!ValidId(id) || !func) return;
  auto hook = std::make_shared<THook>();
  hook->priority = priority;
  hook->func = func;
  hook->context = std::move(context);
  Ref<THook>* link = &Registry().heads[id];
  while (*link && (*link)->priority >= priority) link = &(*link)->succ;
  hook->succ = *link;
  *link = hook;
}

Ref<TObject> RunHooks(int id, Ref<TObject> data) {
  if (!ValidId(id)) return data;
  for (Ref<THook> hook = Registry().heads[id]; hook; hook = hook->succ) {
    if (!hook->removed) data = hook->func(id, std::move(data), hook->context);
  }
  return data;
}

void RemoveHook(int id, THookFunc func, const Ref<TObject>& context) {
  if (!ValidId(id)) return;
  for (Ref<THook>* link = &Registry().heads[id]; *link; link = &(*link)->succ) {
    THook& h = **link;
    if (h.func == func && h.context == context) {
      h.removed = true;
      *link = h.succ;  // h.succ stays set for a walk that is standing on h
      return;
    }
  }
}
