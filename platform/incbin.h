// Registry of resources embedded in the program image, served as read-only memory
// streams under URLs "incbin::<name>". Names are compared exactly (case and
// separators as registered).
#pragma once
#include <string>

// Registers data (not copied; must live for the whole run). Returns 1, or 0 when
// the name is already registered (the first registration stays).
int IncbinAdd(const std::u16string& name, const void* data, int size);
// Data of the entry, or null when the name is not registered.
const void* IncbinPtr(const std::u16string& name);
// Size of the entry, or 0.
int IncbinLen(const std::u16string& name);
