// Test writers for the motif folder pass. Leans on the real JPEG writer.
#include "tests/support/motif_writers.h"

#include <atomic>
#include <chrono>
#include <new>
#include <thread>

#include "pixmap/pixmap_loader.h"
#include "platform/runtime_error.h"
#include "platform/stream.h"

namespace fs = std::filesystem;

namespace {

std::atomic<int> g_calls{0}, g_bad_alloc_call{0}, g_error_call{0};
std::atomic<int> g_delay_ms{0};

int RealWrite(const Ref<TPixmap>& pixmap, const Ref<TStream>& out) { return SavePixmapJPeg(pixmap, TUrl(out), 75); }

}  // namespace

int FailingMotifWriter(const Ref<TPixmap>&, const Ref<TStream>& out) {
  out->WriteBytes("\xFF\xD8half a picture", 16);
  return 0;
}

void ResetThrowingMotifWriter(int bad_alloc_call, int error_call) {
  g_calls = 0;
  g_bad_alloc_call = bad_alloc_call;
  g_error_call = error_call;
}

int ThrowingMotifWriter(const Ref<TPixmap>& pixmap, const Ref<TStream>& out) {
  const int call = ++g_calls;
  if (call == g_bad_alloc_call || call == g_error_call) {
    // Something is on disk already when it throws, as with a writer dying mid-file.
    out->WriteBytes("\xFF\xD8", 2);
    out->Flush();
    if (call == g_bad_alloc_call) throw std::bad_alloc();
    RuntimeError("Error writing to stream");
  }
  return RealWrite(pixmap, out);
}

void SetMotifWriterDelay(int ms) { g_delay_ms = ms; }

int SlowMotifWriter(const Ref<TPixmap>& pixmap, const Ref<TStream>& out) {
  std::this_thread::sleep_for(std::chrono::milliseconds(g_delay_ms.load()));
  return RealWrite(pixmap, out);
}

void Backdate(const fs::path& path) {
  const auto then = fs::file_time_type::clock::now() - std::chrono::minutes(1);
  if (!fs::is_directory(path)) {
    fs::last_write_time(path, then);
    return;
  }
  for (const auto& e : fs::directory_iterator(path))
    if (e.is_regular_file()) fs::last_write_time(e.path(), then);
}
