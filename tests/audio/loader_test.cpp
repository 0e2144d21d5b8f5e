// WAV and Ogg Vorbis decoding through LoadAudioSample: public corpora, made-up
// hostile files, and the rules of the loader chain.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "audio/sample_loader.h"
#include "platform/ustring.h"
#include "tests/support/env.h"
#include "tests/support/hostile_files.h"
#include "tests/support/limited_child.h"

namespace {

std::u16string Corpus(const std::string& rel) { return FromOSBytes(TestDataDir() + "/" + rel); }

Ref<TAudioSample> Load(const std::string& rel) { return LoadAudioSample(TUrl(Corpus(rel))); }

std::vector<int> Values16(const Ref<TAudioSample>& s) {
  std::vector<int> v;
  const int n = s->length * SampleFrameChannels(s->format);
  for (int i = 0; i < n; ++i) v.push_back(int16_t(uint16_t(s->samples[i * 2] | s->samples[i * 2 + 1] << 8)));
  return v;
}

// Builds a RIFF file: chunks given as (id, bytes, declared size or -1).
struct Riff {
  std::vector<uint8_t> b;
  Riff() { Raw("RIFF"), U32(0), Raw("WAVE"); }
  Riff& Raw(const char* s) {
    b.insert(b.end(), s, s + std::strlen(s));
    return *this;
  }
  Riff& U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
    return *this;
  }
  Riff& U16(uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
    return *this;
  }
  Riff& Fmt(int channels, int rate, int bits, uint32_t size = 16) {
    Raw("fmt ").U32(size).U16(1).U16(uint16_t(channels)).U32(rate).U32(rate * channels * bits / 8);
    U16(uint16_t(channels * bits / 8)).U16(uint16_t(bits));
    for (uint32_t i = 16; i < size; ++i) b.push_back(0);
    return *this;
  }
  Riff& Chunk(const char* id, std::vector<uint8_t> body, int64_t declared = -1) {
    Raw(id).U32(uint32_t(declared < 0 ? body.size() : declared));
    b.insert(b.end(), body.begin(), body.end());
    return *this;
  }
  Ref<TAudioSample> Load() {
    auto s = TRamStream::Create(b.data(), int(b.size()), true, false);
    return LoadAudioSample(TUrl(s));
  }
};

}  // namespace

TEST(WavLoader, ValidPcmFilesLoadWithTheirSamples) {
  TESS_REQUIRE_TESTDATA("wav-hound");
  for (const char* f : {"pcmwaveformat-16bit-44100Hz-mono.wav", "waveformatex-16bit-44100Hz-mono.wav"}) {
    auto s = Load(std::string("wav-hound/") + f);
    ASSERT_TRUE(s) << f;
    EXPECT_EQ(s->format, SF_MONO16LE);
    EXPECT_EQ(s->hertz, 44100);
    EXPECT_EQ(Values16(s), (std::vector<int>{2, -3, 5, -7})) << f;
  }
  for (const char* f : {"pcmwaveformat-16bit-44100Hz-mono-extra.wav", "waveformatex-16bit-44100Hz-mono-extra.wav"}) {
    auto s = Load(std::string("wav-hound/") + f);  // a LIST chunk before the data
    ASSERT_TRUE(s) << f;
    EXPECT_EQ(Values16(s)[0], 2);
  }
  auto st = Load("wav-hound/waveformatex-16bit-44100Hz-stereo.wav");
  ASSERT_TRUE(st);
  EXPECT_EQ(st->format, SF_STEREO16LE);
  EXPECT_EQ(st->length, 4);
  EXPECT_EQ(Values16(st), (std::vector<int>{2, -3, 5, -7, 11, -13, 17, -19}));

  auto m8 = Load("wav-hound/pcmwaveformat-8bit-44100Hz-mono.wav");
  ASSERT_TRUE(m8);
  EXPECT_EQ(m8->format, SF_MONO8);
  EXPECT_EQ(std::vector<int>(m8->samples, m8->samples + 4), (std::vector<int>{19 + 128, -53 + 128, 89 + 128, 1}));
  auto q = Load("wav-hound/waveformatex-8bit-11025Hz-mono.wav");  // wrong RIFF size
  ASSERT_TRUE(q);
  EXPECT_EQ(q->hertz, 11025);
  EXPECT_EQ(q->length, 4);

  auto scipy = Load("wav-scipy/test-8000Hz-le-2ch-1byteu.wav");
  ASSERT_TRUE(scipy);
  EXPECT_EQ(scipy->format, SF_STEREO8);
  EXPECT_EQ(scipy->length, 800);
  EXPECT_EQ(scipy->hertz, 8000);
}

TEST(WavLoader, GoAudioFixturesMatchTheirReferenceValues) {
  TESS_REQUIRE_TESTDATA("wav-go-audio");
  auto kick = Load("wav-go-audio/kick.wav");
  ASSERT_TRUE(kick);
  EXPECT_EQ(kick->format, SF_MONO16LE);
  EXPECT_EQ(kick->hertz, 22050);
  EXPECT_EQ(kick->length, 4484);
  auto v = Values16(kick);
  long sum = 0;
  for (int x : v) sum += x;
  EXPECT_EQ(sum, 180896);
  EXPECT_EQ(std::vector<int>(v.begin(), v.begin() + 13),
            (std::vector<int>{76, 75, 77, 73, 74, 69, 73, 68, 72, 66, 67, 71, 529}));

  auto k2 = Load("wav-go-audio/kick-16b441k.wav");  // a chunk after the data
  ASSERT_TRUE(k2);
  EXPECT_EQ(k2->format, SF_STEREO16LE);
  EXPECT_EQ(k2->length, 7782);
  auto v2 = Values16(k2);
  EXPECT_EQ(std::vector<int>(v2.begin(), v2.begin() + 12),
            (std::vector<int>{0, 0, 0, 0, 0, 0, 3, 3, 28, 28, 130, 130}));
  EXPECT_TRUE(Load("wav-go-audio/listinfo.wav"));
  auto b8 = Load("wav-go-audio/8bit.wav");
  ASSERT_TRUE(b8);
  EXPECT_EQ(b8->format, SF_MONO8);
}

TEST(WavLoader, OtherEncodingsAndContainersAreRefused) {
  TESS_REQUIRE_TESTDATA("wav-hound");
  for (const char* f :
       {"wav-hound/pcmwaveformat-24bit-4byte-48kHz-stereo.wav", "wav-hound/waveformatextensible-24bit-192kHz-mono.wav",
        "wav-hound/waveformatextensible-32bit-48kHz-stereo.wav", "wav-hound/waveformatex-ieeefloat-44100Hz-mono.wav",
        "wav-hound/waveformatextensible-ieeefloat-44100Hz-mono.wav", "wav-hound/nonstandard-01.wav",
        "wav-hound/nonstandard-02.wav", "wav-scipy/test-8000Hz-le-1ch-1byte-ulaw.wav",
        "wav-scipy/test-44100Hz-be-1ch-4bytes.wav", "wav-scipy/test-44100Hz-le-1ch-4bytes-rf64.wav",
        "wav-scipy/test-44100Hz-le-1ch-4bytes-incomplete-chunk.wav",
        "wav-scipy/test-44100Hz-le-1ch-4bytes-early-eof-no-data.wav", "wav-scipy/Transparent Busy.ani",
        "wav-scipy/test-8000Hz-le-3ch-5S-24bit.wav", "wav-scipy/test-8000Hz-le-5ch-9S-5bit.wav",
        "wav-go-audio/32bit.wav", "wav-go-audio/bwf.wav", "wav-go-audio/misaligned-chunk.wav",
        "wav-go-audio/sample.avi", "wav-go-audio/bloop.aif"}) {
    EXPECT_EQ(Load(f), nullptr) << f;
  }
}

TEST(WavLoader, HostileHeadersFailCleanlyWithoutHugeAllocations) {
  TESS_REQUIRE_TESTDATA("wav-hound");
  for (const char* f : {"crash-24728523ef4be15c838293b676f6853e73723bf4.wav",
                        "crash-b8447179832529c48f9c6bf17feab6337bbc78ea.wav",
                        "crash-cbd757427cea12bd8a21f86cd8cf74d98ce56bee.wav",
                        "crash-e5471f5b58397287b509db7d026e95f1724454f5.wav",
                        "crash-e879de4eb4d206c59e21f0e01def16457af80fdc.wav",
                        "oom-48ae4cd061ff8578ad3f23dc87624bd365cf5216.wav"}) {
    EXPECT_EQ(Load(std::string("wav-hound/fuzz/") + f), nullptr) << f;
  }
}

TEST(WavLoader, DataSizesAreClampedToWholeFramesPresent) {
  // Claims 1000 bytes, holds 7: one whole stereo frame.
  Riff cut;
  cut.Fmt(2, 8000, 16).Chunk("data", {1, 0, 2, 0, 3, 0, 4}, 1000);
  auto s = cut.Load();
  ASSERT_TRUE(s);
  EXPECT_EQ(s->length, 1);
  EXPECT_EQ(Values16(s), (std::vector<int>{1, 2}));
  // An absurd size is clamped to the stream before anything is allocated.
  Riff huge;
  huge.Fmt(1, 8000, 8).Chunk("data", {9, 8, 7}, 0xFFFFFFF0u);
  auto h = huge.Load();
  ASSERT_TRUE(h);
  EXPECT_EQ(h->length, 3);
  EXPECT_EQ(h->capacity, 3);
  // A chunk of odd size is followed by a pad byte.
  Riff odd;
  odd.Fmt(1, 8000, 16).Chunk("inst", {1, 2, 3, 4, 5, 6, 7, 0}, 7).Chunk("data", {0x34, 0x12, 0x78, 0x56});
  auto o = odd.Load();
  ASSERT_TRUE(o);
  EXPECT_EQ(Values16(o), (std::vector<int>{0x1234, 0x5678}));
  // A format chunk with extra bytes (odd size, padded) before the data.
  Riff ext;
  ext.Fmt(1, 8000, 16, 19).b.push_back(0);
  ext.Chunk("data", {1, 0});
  ASSERT_TRUE(ext.Load());
  // Too short a format chunk, or data before the format, is refused.
  Riff short_fmt;
  short_fmt.Raw("fmt ").U32(14).U16(1).U16(1).U32(8000).U32(16000).U16(2).Chunk("data", {1, 0});
  EXPECT_EQ(short_fmt.Load(), nullptr);
  Riff no_fmt;
  no_fmt.Chunk("data", {1, 0});
  EXPECT_EQ(no_fmt.Load(), nullptr);
  Riff empty;
  EXPECT_EQ(empty.Load(), nullptr);
}

TEST(OggLoader, DecodesMonoAndStereoWithinOneOfTheReference) {
  TESS_REQUIRE_TESTDATA("ogg-libnogg");
  struct Case {
    const char* file;
    const char* ref;
    int format, frames, hertz;
  };
  for (Case c : {Case{"square.ogg", "square_int16.txt", SF_MONO16LE, 40, 4000},
                 Case{"square-stereo.ogg", "square-stereo_int16.txt", SF_STEREO16LE, 20, 4000},
                 Case{"square-multipage.ogg", "square_int16.txt", SF_MONO16LE, 40, 4000},
                 Case{"empty-page.ogg", "square_int16.txt", SF_MONO16LE, 40, 4000}}) {
    auto s = Load(std::string("ogg-libnogg/") + c.file);
    ASSERT_TRUE(s) << c.file;
    EXPECT_EQ(s->format, c.format) << c.file;
    EXPECT_EQ(s->length, c.frames) << c.file;
    EXPECT_EQ(s->hertz, c.hertz) << c.file;
    std::ifstream in(TestDataDir() + "/ogg-libnogg/expected-pcm/" + c.ref);
    std::vector<int> want;
    for (int x; in >> x;) want.push_back(x);
    auto got = Values16(s);
    ASSERT_EQ(got.size(), want.size()) << c.file;
    for (size_t i = 0; i < got.size(); ++i) ASSERT_NEAR(got[i], want[i], 1) << c.file << " " << i;
  }
  auto noise = Load("ogg-libnogg/noise-stereo.ogg");
  ASSERT_TRUE(noise);
  EXPECT_EQ(noise->length, 512);
  EXPECT_EQ(noise->hertz, 44100);
  auto ls = Load("ogg-libnogg/long-short.ogg");
  ASSERT_TRUE(ls);
  EXPECT_EQ(ls->length, 1492);
  auto zero = Load("ogg-libnogg/zero-length.ogg");
  ASSERT_TRUE(zero);
  EXPECT_EQ(zero->length, 0);
}

TEST(OggLoader, RefusesOrShortensBrokenStreams) {
  TESS_REQUIRE_TESTDATA("ogg-libnogg");
  // More than two channels would not fit a stereo buffer; an absurd rate is refused.
  for (const char* f : {"6ch-moving-sine.ogg", "noise-6ch.ogg", "single-code-2bits.ogg",
                        "floor1-x-array-overflow.ogg", "single-code-nonsparse.ogg",
                        "sample-rate-max.ogg"})
    EXPECT_EQ(Load(std::string("ogg-libnogg/") + f), nullptr) << f;
  struct Case {
    const char* file;
    int max_frames;
  };
  for (Case c : {Case{"bad-continued-packet-flag.ogg", 40}, Case{"square-with-junk.ogg", 40},
                 Case{"square-interleaved.ogg", 40}, Case{"historical-corrupt/truncated.ogg", 40},
                 Case{"historical-corrupt/invalid-truncated-packet.ogg", 1492},
                 Case{"historical-corrupt/6-mode-bits-invalid-mode.ogg", 1472},
                 Case{"historical-corrupt/invalid-packet-type.ogg", 1472},
                 Case{"historical-corrupt/split-packet-bad-page-header.ogg", 1492},
                 Case{"historical-corrupt/missing-granule-position.ogg", 1492}}) {
    auto s = Load(std::string("ogg-libnogg/") + c.file);
    if (s) {
      EXPECT_LE(s->length, c.max_frames) << c.file;
    }
  }
  // A hole in the data is skipped: the frames after it still arrive.
  auto hole = Load("ogg-libnogg/historical-corrupt/split-packet-bad-page-header.ogg");
  ASSERT_TRUE(hole);
  EXPECT_EQ(hole->length, 1344);
}

namespace {
// Test loaders sit at the head of the chain, so they run before WAV and OGG.
struct TGreedyLoader : TAudioSampleLoader {
  int calls = 0;
  int seen_pos = -2;
  bool throw_stream_error = false;
  bool throw_bad_alloc = false;
  Ref<TAudioSample> LoadAudioSample(const Ref<TStream>& s) override {
    ++calls;
    seen_pos = s->Pos();
    char junk[8];
    s->Read(junk, 8);  // consumes input; the next loader must start over
    if (throw_stream_error) throw TStreamReadException();
    if (throw_bad_alloc) throw std::bad_alloc();
    return nullptr;
  }
};

struct TUnseekable : TStream {
  int Pos() override { return -1; }
  int Read(void*, int) override { return 0; }
};
}  // namespace

TEST(SampleLoaderChain, EveryLoaderStartsAtTheSamePositionAndStreamErrorsMeanNoMatch) {
  TESS_REQUIRE_TESTDATA("ogg-libnogg");
  StartSampleLoaders();
  static TGreedyLoader greedy;
  greedy.throw_stream_error = true;
  auto ogg = Load("ogg-libnogg/square.ogg");  // WAV refuses it first, then OGG reads it
  ASSERT_TRUE(ogg);
  EXPECT_EQ(ogg->length, 40);
  EXPECT_EQ(greedy.calls, 1);
  EXPECT_EQ(greedy.seen_pos, 0);
  // Any other exception in a loader is a refusal too; the next loader still runs.
  greedy.throw_stream_error = false;
  greedy.throw_bad_alloc = true;
  auto wav = Load("wav-hound/pcmwaveformat-16bit-44100Hz-mono.wav");
  ASSERT_TRUE(wav);
  EXPECT_EQ(Values16(wav)[0], 2);
  greedy.throw_bad_alloc = false;

  EXPECT_EQ(LoadAudioSample(TUrl(u"/nonexistent/file.wav")), nullptr);
  auto bad = std::make_shared<TUnseekable>();
  try {
    LoadAudioSample(TUrl(bad));
    FAIL();
  } catch (const TRuntimeError& e) {
    EXPECT_STREQ(e.what(), "Stream is not seekable");
  }
}

TEST(OggLoader, TheGamesOwnSoundEffectsDecode) {
  for (const char* f : {"Bell small jingle.ogg", "Mouse_click.ogg", "paper small movement.ogg",
                        "papper taidying.ogg", "trumpets fanfar.ogg"}) {
    auto s = LoadAudioSample(TUrl(FromOSBytes(SourceDir() + "/assets/Sounds/" + f)));
    ASSERT_TRUE(s) << f;
    EXPECT_TRUE(s->format == SF_MONO16LE || s->format == SF_STEREO16LE) << f;
    EXPECT_GT(s->length, s->hertz / 50) << f;  // longer than 20 ms
    EXPECT_LT(s->length, s->hertz * 10) << f;
    bool sound = false;
    for (int i = 0; i < s->length * 2 && !sound; ++i) sound = s->samples[i] != 0;
    EXPECT_TRUE(sound) << f;
  }
}

// A WAV and an OGG whose headers claim far more than their bytes, in a child whose
// address space may grow by 16 MB only: each gives the sound its bytes hold, and a
// claim no stream of its size could decode to gives null. A WAV from a pipe, which
// cannot tell its size, is read as far as it goes.
TEST(SampleLoaderBounds, ClaimsBeyondTheBytesCostOnlyWhatTheBytesHold) {
  std::ifstream in(SourceDir() + "/assets/Sounds/Bell small jingle.ogg", std::ios::binary);
  const std::string jingle((std::istreambuf_iterator<char>(in)), {});
  ASSERT_FALSE(jingle.empty());
  const auto length = [](const std::string& bytes) {
    auto s = LoadAudioSample(TUrl(TRamStream::Create(bytes.data(), int(bytes.size()), true, false)));
    return s ? s->length : -1;
  };
  const int real = length(jingle);
  ASSERT_GT(real, 0);
  const std::string wav = HostileWav(), ogg = HostileOgg(jingle, 16 << 20), absurd = HostileOgg(jingle, 1LL << 40);
  const ChildOutcome o = RunInChild(
      [&] {
        const int w = length(wav), g = length(ogg);
        return w == 25 && g >= real && g < 2 * real && length(absurd) == -1;
      },
      size_t(16) << 20);
  EXPECT_TRUE(o.finished && o.passed) << o.Describe();

  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  ASSERT_EQ(write(fds[1], wav.data(), wav.size()), ssize_t(wav.size()));
  close(fds[1]);
  auto piped = TCStream::CreateWithCStream(fdopen(fds[0], "rb"), TCStream::MODE_READ);
  ASSERT_TRUE(piped);
  EXPECT_EQ(piped->Pos(), -1);
  TAudioSampleLoader* loader = SampleLoaders();
  while (loader && !dynamic_cast<TAudioSampleLoaderWAV*>(loader)) loader = loader->_succ;
  ASSERT_TRUE(loader);
  auto s = loader->LoadAudioSample(piped);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->length, 25);
}
