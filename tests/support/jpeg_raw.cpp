// libjpeg encoding of grey and CMYK test files into memory, and raw decoding.
#include "tests/support/jpeg_raw.h"

#include <cstdio>  // jpeglib.h needs FILE first
#include <cstdlib>

#include <jpeglib.h>

std::string JpegFromSamples(const std::vector<uint8_t>& samples, int width, int height, int components,
                            bool adobe, int quality, const std::function<void(jpeg_compress_struct&)>& setup) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  unsigned char* mem = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &mem, &size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = components;
  cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
  jpeg_set_defaults(&cinfo);
  if (components == 4) {
    jpeg_set_colorspace(&cinfo, adobe ? JCS_YCCK : JCS_CMYK);
    cinfo.write_Adobe_marker = adobe;
  }
  jpeg_set_quality(&cinfo, quality, TRUE);
  if (setup) setup(cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  const size_t row = static_cast<size_t>(width) * components;
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW r = const_cast<JSAMPROW>(&samples[cinfo.next_scanline * row]);
    jpeg_write_scanlines(&cinfo, &r, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::string out(reinterpret_cast<char*>(mem), size);
  std::free(mem);
  return out;
}

bool JpegRawSamples(const std::string& file, std::vector<uint8_t>& samples, int& width, int& height,
                    int& components, std::string& icc) {
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);  // test files are well-formed: errors end the test program
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(file.data()), file.size());
  jpeg_save_markers(&cinfo, JPEG_APP0 + 2, 0xFFFF);
  jpeg_read_header(&cinfo, TRUE);
  JOCTET* profile = nullptr;
  unsigned int length = 0;
  icc.clear();
  if (jpeg_read_icc_profile(&cinfo, &profile, &length)) icc.assign(reinterpret_cast<char*>(profile), length);
  std::free(profile);
  jpeg_start_decompress(&cinfo);
  width = static_cast<int>(cinfo.output_width);
  height = static_cast<int>(cinfo.output_height);
  components = cinfo.output_components;
  const size_t row = static_cast<size_t>(width) * components;
  samples.resize(row * height);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW r = &samples[cinfo.output_scanline * row];
    jpeg_read_scanlines(&cinfo, &r, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return true;
}
