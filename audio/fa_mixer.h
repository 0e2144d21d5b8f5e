// The FreeAudio software mixer core: mixer sounds, voices, the 4096-slot channel
// handle table with generations, the input and recycle rings between the main
// thread and the mixing thread, and block rendering in integers. It owns no thread
// and no device: whoever drives it calls Render once per block (the output thread,
// or a test with its own clock).
//
// Threads: every method except Render belongs to the main thread; Render belongs
// to the mixing thread. They share voices only through atomics and the two
// single-producer, single-consumer rings. The handle table lives in fa_mixer.cpp,
// rendering in fa_render.cpp.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

using TFaClock = int (*)();  // 32-bit wrapping milliseconds

// A mixer sound: its frames plus one guard frame (a copy of the first frame when
// looping, of the last otherwise) so interpolation never reads past the buffer.
// Immutable once created. References are taken on the main thread and dropped
// there, or by a mixing thread that outlived its output and frees its mixer.
struct TFaSound {
  int hertz = 0;
  int channels = 0;
  int bits = 0;
  int frame_bytes = 0;
  int length = 0;  // frames, without the guard frame
  bool loop = false;
  std::vector<uint8_t> data;
  std::atomic<int> refs{1};
};

struct TFaVoice;

class TFaMixer {
 public:
  static constexpr int kBlockFrames = 1024;
  static constexpr int kSlots = 4096;
  static constexpr int kRingSize = 4096;
  // Voice records in existence at most: a ring holds kRingSize - 1 entries, so
  // the recycle ring can take back every record at once.
  static constexpr int kMaxVoices = kRingSize - 1;
  static constexpr int kStartDelayMs = 20;
  static constexpr uint32_t kGenerationStep = 4096;

  // Every slot's generation starts at first_generation, so a mixer that follows
  // another can start where that one's LastGeneration left off: handles of the
  // old mixer are then stale in the new one.
  explicit TFaMixer(TFaClock clock, int output_rate = 44100,
                    uint32_t first_generation = kGenerationStep);
  ~TFaMixer();  // only after the mixing thread is gone
  TFaMixer(const TFaMixer&) = delete;
  TFaMixer& operator=(const TFaMixer&) = delete;

  int OutputRate() const { return _rate; }  // the mixing thread's
  uint32_t LastGeneration() const { return _last_generation; }

  // Sound creation does not need a mixer; null for a length or rate of 0, other
  // bit depths or channel counts, or sizes beyond the caps.
  static TFaSound* CreateSound(int length, int bits, int channels, int hertz,
                               const void* samples, bool loop);
  static void FreeSound(TFaSound* sound);  // drops one reference

  int AllocChannel();
  void FreeChannel(int handle);
  int PlaySound(TFaSound* sound, bool paused, int handle);
  void StopChannel(int handle);
  void SetChannelPaused(int handle, bool paused);
  int SetChannelVolume(int handle, float volume);  // 0 ... 1
  int SetChannelPan(int handle, float pan);        // -1 ... 1
  int SetChannelDepth(int handle, float depth);    // -1 ... 1
  int SetChannelRate(int handle, float rate);      // 0 ... 16
  int ChannelStatus(int handle);
  int64_t ChannelPosition(int handle);

  // Releases the sounds of finished voices and makes their records reusable.
  void DrainRecycled();

  // Mixing thread: renders kBlockFrames stereo frames (left, right) into out.
  void Render(int16_t* out);
  // Mixing thread, while there is no device: every voice handed over so far ends
  // unheard (as if it had played to its end).
  void DropAll();
  // Mixing thread, with no voice active (after DropAll): a new device's rate.
  void SetOutputRate(int rate);

 private:
  friend class TFaMixerProbe;  // tests look at the records

  struct Slot {
    uint32_t generation = kGenerationStep;
    int next_free = 0;
    bool in_use = false;
    TFaVoice* voice = nullptr;
    // Settings that the next voice on this slot starts with (targets).
    int rate = 0x10000, volume = 4096, pan = 0, depth = 0;
  };

  Slot* Resolve(int handle);
  void ReleaseSlot(int index);
  TFaVoice* TakeRecord();
  // Mixing thread.
  void TakeNewVoices(int now);
  bool MixVoice(TFaVoice* v, int32_t* acc, int frames);
  void Sweep(int32_t* acc);
  bool PushRecycle(TFaVoice* v);

  TFaClock _clock;
  int _rate;

  std::vector<Slot> _slots;
  std::vector<std::unique_ptr<TFaVoice>> _records;  // main thread grows it
  std::vector<TFaVoice*> _pool;                     // main thread: reusable records
  uint32_t _last_generation;                        // main thread

  TFaVoice* _input[kRingSize] = {};
  alignas(64) std::atomic<uint32_t> _in_write{0};  // main thread
  alignas(64) std::atomic<uint32_t> _in_read{0};   // mixing thread
  TFaVoice* _recycle[kRingSize] = {};
  alignas(64) std::atomic<uint32_t> _rc_write{0};  // mixing thread
  alignas(64) std::atomic<uint32_t> _rc_read{0};   // main thread

  // Mixing thread only.
  TFaVoice* _active = nullptr;
  std::vector<int32_t> _acc;
};
