// Small files whose headers claim far more than their bytes hold, one per format the
// loaders read, for the loader tests and the refusal-cost measurement. Each is a
// plausible file up to the point where the data runs out, so that a loader which
// trusts the header allocates before it notices.
#pragma once
#include <cstdint>
#include <string>

// Appends a little-endian 32 or 16-bit value.
void Put32(std::string& s, uint32_t v);
void Put16(std::string& s, uint16_t v);

// 54 bytes: a 32-bit bitmap of 268,435,440 x 1 pixels (a row of almost 1 GiB).
std::string HostileBmp();
// 18-byte Targa header for 65,535 x 4,000 pixels at 32 bits, and a few pixels.
std::string HostileTga();
// A PNG of width x height grey+alpha whose one IDAT chunk holds about `dataBytes`
// bytes of valid zlib data (zero rows) and which ends there.
std::string HostilePng(int width, int height, int dataBytes);
// A baseline colour JPEG of 16 x 16 pixels whose frame header is patched to claim
// width x height; the scan data covers the first blocks only. `padding` bytes of
// comment segments before it make the file look big enough for its frame.
std::string HostileJpeg(int width, int height, int padding = 0);
// A valid progressive grey JPEG of width x height with 704 scans: every coefficient
// band refined bit by bit (nearly empty scans, each touching every block).
std::string ManyScanJpeg(int width, int height);
// A PCM WAV whose data chunk claims 2 GB over 100 bytes.
std::string HostileWav();
// `ogg` (a valid Ogg Vorbis file) with the granule position of its last page set
// so that its decoded length claims `frames` frames; page checksum recomputed.
std::string HostileOgg(const std::string& ogg, long long frames);
