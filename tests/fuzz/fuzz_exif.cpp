// libFuzzer harness for the EXIF path of the JPEG loader: the input is the TIFF
// part of an APP1 "Exif" block in a small JPEG, which must still decode (upright
// or as stored), through libexif and the turn it asks for.
#include "tests/fuzz/fuzz_photo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 65527) return 0;
  const std::string block = std::string("Exif\0\0", 6) + std::string(reinterpret_cast<const char*>(data), size);
  FuzzMustDecode(FuzzWithSegment(FuzzBaseJpeg(), 0xE1, block));
  return 0;
}
