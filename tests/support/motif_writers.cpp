// Test writers for the motif folder pass. Leans on the real JPEG writer.
#include "tests/support/motif_writers.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <new>
#include <thread>

#include "pixmap/pixmap_loader.h"
#include "platform/runtime_error.h"
#include "platform/stream.h"
#include "platform/ustring.h"

namespace {

std::atomic<int> g_calls{0}, g_bad_alloc_call{0}, g_error_call{0};
std::atomic<int> g_delay_ms{0};

int RealWrite(const Ref<TPixmap>& pixmap, const std::u16string& path) {
  return SavePixmapJPeg(pixmap, TUrl(path), 75);
}

}  // namespace

int FailingMotifWriter(const Ref<TPixmap>&, const std::u16string& path) {
  std::ofstream(ToOSBytes(path), std::ios::binary) << "\xFF\xD8half a picture";
  return 0;
}

void ResetThrowingMotifWriter(int bad_alloc_call, int error_call) {
  g_calls = 0;
  g_bad_alloc_call = bad_alloc_call;
  g_error_call = error_call;
}

int ThrowingMotifWriter(const Ref<TPixmap>& pixmap, const std::u16string& path) {
  const int call = ++g_calls;
  // Something is on disk already when it throws, as with a writer dying mid-file.
  std::ofstream(ToOSBytes(path), std::ios::binary) << "\xFF\xD8";
  if (call == g_bad_alloc_call) throw std::bad_alloc();
  if (call == g_error_call) RuntimeError("Error writing to stream");
  return RealWrite(pixmap, path);
}

void SetMotifWriterDelay(int ms) { g_delay_ms = ms; }

int SlowMotifWriter(const Ref<TPixmap>& pixmap, const std::u16string& path) {
  std::this_thread::sleep_for(std::chrono::milliseconds(g_delay_ms.load()));
  return RealWrite(pixmap, path);
}
