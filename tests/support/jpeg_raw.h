// libjpeg at its plainest, for the tests: writing files our writer cannot make
// (grey with one component; CMYK either as Adobe software writes it, YCCK with the
// APP14 marker and inverted values, or plain without the marker; any parameters a
// test sets itself), and reading a
// file's raw samples with its ICC profile as libjpeg-turbo itself reassembles it.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct jpeg_compress_struct;

// samples: width x height x components bytes (1 grey, 3 RGB, 4 CMYK as stored).
// `setup` may change the parameters last, before compression starts.
std::string JpegFromSamples(const std::vector<uint8_t>& samples, int width, int height, int components,
                            bool adobe = false, int quality = 95,
                            const std::function<void(jpeg_compress_struct&)>& setup = {});

// The samples as stored (CMYK stays CMYK) and the profile; false on any error.
bool JpegRawSamples(const std::string& file, std::vector<uint8_t>& samples, int& width, int& height,
                    int& components, std::string& icc);
