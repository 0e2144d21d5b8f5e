// libjpeg at its plainest, for the tests: writing files our writer cannot make
// (grey with one component; CMYK either as Adobe software writes it, YCCK with the
// APP14 marker and inverted values, or plain without the marker), and reading a
// file's raw samples with its ICC profile as libjpeg-turbo itself reassembles it.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// samples: width x height x components bytes (1 grey, 4 CMYK as stored).
std::string JpegFromSamples(const std::vector<uint8_t>& samples, int width, int height, int components,
                            bool adobe = false, int quality = 95);

// The samples as stored (CMYK stays CMYK) and the profile; false on any error.
bool JpegRawSamples(const std::string& file, std::vector<uint8_t>& samples, int& width, int& height,
                    int& components, std::string& icc);
