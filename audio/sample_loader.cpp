// Loader registry and the URL entry point of sample decoding. No exception from a
// loader reaches the caller: whatever a file makes a loader throw is a refusal.
#include "audio/sample_loader.h"

#include "platform/runtime_error.h"

namespace {
TAudioSampleLoader* g_loaders = nullptr;
}

TAudioSampleLoader::TAudioSampleLoader() : _succ(g_loaders) { g_loaders = this; }

TAudioSampleLoader* SampleLoaders() {
  StartSampleLoaders();
  return g_loaders;
}

void StartSampleLoaders() {
  static bool started = false;
  if (started) return;
  started = true;
  // Live for the whole run, as modules do.
  static TAudioSampleLoaderOGG ogg;
  static TAudioSampleLoaderWAV wav;
}

Ref<TAudioSample> LoadAudioSample(const TUrl& url) {
  Ref<TStream> stream = ReadStream(url);
  if (!stream) return nullptr;
  const int start = stream->Pos();
  if (start == -1) {
    stream->Close();
    RuntimeError("Stream is not seekable");
  }
  Ref<TAudioSample> sample;
  try {
    for (TAudioSampleLoader* l = SampleLoaders(); l && !sample; l = l->_succ) {
      stream->Seek(start);
      try {
        sample = l->LoadAudioSample(stream);
      } catch (...) {
        sample = nullptr;  // a stream error, no memory, anything: this loader refuses
      }
    }
  } catch (...) {
    stream->Close();
    throw;
  }
  stream->Close();
  return sample;
}
