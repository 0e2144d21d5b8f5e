// Hook lists: numbered lists of callbacks, sorted by descending priority (earlier
// additions first among equals), through which events and other data are passed.
// Main thread only. A hook may add or remove hooks (itself included) while running.
#pragma once
#include "platform/object.h"

using THookFunc = Ref<TObject> (*)(int id, Ref<TObject> data, Ref<TObject> context);

// Next free hook id (1..255); raises the runtime error "Too many hook ids" after 255.
int AllocHookId();
void AddHook(int id, THookFunc func, Ref<TObject> context, int priority);
// Passes data through every hook of the list in order; each gets what the previous
// returned, so a hook can replace or swallow (return null) the data.
Ref<TObject> RunHooks(int id, Ref<TObject> data);
// Removes the first hook with this function and context; nothing when none matches.
void RemoveHook(int id, THookFunc func, const Ref<TObject>& context);
