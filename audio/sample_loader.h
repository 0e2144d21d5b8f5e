// The chain of sample loaders and LoadAudioSample, which decodes a URL by trying
// each loader in turn on the same stream (WAV first, then OGG Vorbis).
#pragma once
#include "audio/audio_sample.h"
#include "platform/stream.h"

struct TAudioSampleLoader {
  // Puts the new loader at the head of the list, so the newest is tried first.
  TAudioSampleLoader();
  virtual ~TAudioSampleLoader() = default;
  TAudioSampleLoader(const TAudioSampleLoader&) = delete;
  TAudioSampleLoader& operator=(const TAudioSampleLoader&) = delete;

  // Decodes from the stream's current position; null when the data does not match.
  virtual Ref<TAudioSample> LoadAudioSample(const Ref<TStream>& stream) = 0;

  TAudioSampleLoader* _succ = nullptr;
};

struct TAudioSampleLoaderWAV : TAudioSampleLoader {
  Ref<TAudioSample> LoadAudioSample(const Ref<TStream>& stream) override;
};

struct TAudioSampleLoaderOGG : TAudioSampleLoader {
  Ref<TAudioSample> LoadAudioSample(const Ref<TStream>& stream) override;
};

// Starts the loader modules once (OGG first, then WAV, so WAV is tried first).
void StartSampleLoaders();
TAudioSampleLoader* SampleLoaders();

// Null when the URL cannot be opened or no loader decodes it; raises "Stream is not
// seekable" for a stream that cannot tell its position.
Ref<TAudioSample> LoadAudioSample(const TUrl& url);
