// Stand-ins for the JPEG writer of the motif folder pass (game/normalise.h's
// SetMotifWriter): one that fails half-way as a full disk would, one that throws on
// chosen calls and one that is slow. They run on the pass's worker threads.
#pragma once
#include <filesystem>
#include <string>

#include "platform/object.h"

struct TPixmap;
struct TStream;

// Leaves half a JPEG in the stream and reports failure.
int FailingMotifWriter(const Ref<TPixmap>& pixmap, const Ref<TStream>& out);

// Writes as the real writer does, but throws std::bad_alloc on the call numbered
// `bad_alloc_call` and a runtime error on `error_call` (counted from 1 across
// threads since the last reset; 0 turns one off).
void ResetThrowingMotifWriter(int bad_alloc_call, int error_call);
int ThrowingMotifWriter(const Ref<TPixmap>& pixmap, const Ref<TStream>& out);

// Sleeps `ms` before each real write.
void SetMotifWriterDelay(int ms);
int SlowMotifWriter(const Ref<TPixmap>& pixmap, const Ref<TStream>& out);

// Sets the modification time of a file, or of every file in a folder, a minute
// back: a picture a player put there earlier, not one still being copied.
void Backdate(const std::filesystem::path& path);
