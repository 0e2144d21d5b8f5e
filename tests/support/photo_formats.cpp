// Photo files for the format tests: shell tools for the real encoders, Little CMS
// for the Display P3 profile, libheif's encoder for the turned phone picture.
#include "tests/support/photo_formats.h"

#include <lcms2.h>
#include <libheif/heif.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "tests/support/jpeg_segments.h"

namespace fs = std::filesystem;

namespace {

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Debian's ImageMagick policy refuses photos of a few megapixels; a folder of our
// own, made once per process, lifts that.
std::string MagickPolicy() {
  static const std::string dir = [] {
    const fs::path d = fs::temp_directory_path() / ("tess-magick-" + std::to_string(::getpid()));
    fs::create_directories(d);
    std::ofstream(d / "policy.xml") << "<policymap>\n"
                                       "  <policy domain=\"resource\" name=\"memory\" value=\"2GiB\"/>\n"
                                       "  <policy domain=\"resource\" name=\"area\" value=\"1GP\"/>\n"
                                       "  <policy domain=\"resource\" name=\"disk\" value=\"8GiB\"/>\n"
                                       "</policymap>\n";
    return d.string();
  }();
  return "MAGICK_CONFIGURE_PATH=" + Quote(dir) + " ";
}

bool WriteProfile(const std::string& path, bool p3) {
  cmsHPROFILE p = nullptr;
  if (p3) {
    cmsCIExyY d65 = {0.3127, 0.3290, 1.0};
    cmsCIExyYTRIPLE primaries = {{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}};
    const cmsFloat64Number params[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, params);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    p = cmsCreateRGBProfile(&d65, &primaries, curves);
    cmsFreeToneCurve(curve);
  } else {
    p = cmsCreate_sRGBProfile();
  }
  const bool ok = p && cmsSaveProfileToFile(p, path.c_str());
  if (p) cmsCloseProfile(p);
  return ok;
}

}  // namespace

std::string WallpaperPhoto(const std::string& name) {
  const fs::path p = fs::path("/usr/share/backgrounds/mate/nature") / name;
  return fs::is_regular_file(p) ? p.string() : std::string();
}

bool RunQuietly(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

bool DisplayP3Copy(const std::string& photo, const std::string& out) {
  const std::string srgb = out + ".srgb.icc", p3 = out + ".p3.icc";
  const bool ok = WriteProfile(srgb, false) && WriteProfile(p3, true) &&
                  RunQuietly(MagickPolicy() + "convert " + Quote(photo) + " -profile " + Quote(srgb) + " -profile " +
                             Quote(p3) + " -quality 97 " + Quote(out));
  fs::remove(srgb);
  fs::remove(p3);
  return ok;
}

bool LanczosReference(const std::string& in, const std::string& out) {
  return RunQuietly(MagickPolicy() + "convert " + Quote(in) +
                    " -auto-orient -colorspace sRGB -filter Lanczos -resize '512x512!' " + Quote("png:" + out));
}

bool WriteTurnedHeic(const Ref<TPixmap>& stored, int orientation, const std::string& path) {
  Ref<TPixmap> rgb = ConvertPixmap(stored, FormatRGB888);
  if (!rgb) return false;
  heif_context* ctx = heif_context_alloc();
  heif_image* image = nullptr;
  heif_encoder* encoder = nullptr;
  heif_image_handle* handle = nullptr;
  heif_encoding_options* options = heif_encoding_options_alloc();
  bool ok = heif_image_create(rgb->width, rgb->height, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image)
                .code == heif_error_Ok &&
            heif_image_add_plane(image, heif_channel_interleaved, rgb->width, rgb->height, 8).code == heif_error_Ok;
  if (ok) {
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < rgb->height; ++y) std::memcpy(plane + y * stride, rgb->PixelPtr(0, y), rgb->width * 3u);
    ok = heif_context_get_encoder_for_format(ctx, heif_compression_HEVC, &encoder).code == heif_error_Ok &&
         heif_encoder_set_lossy_quality(encoder, 90).code == heif_error_Ok &&
         heif_encoder_set_parameter_string(encoder, "preset", "fast").code == heif_error_Ok &&
         heif_encoder_set_parameter_string(encoder, "x265:pools", "none").code == heif_error_Ok &&
         heif_encoder_set_parameter_string(encoder, "x265:frame-threads", "1").code == heif_error_Ok;
  }
  if (ok) {
    options->image_orientation = static_cast<heif_orientation>(orientation);
    ok = heif_context_encode_image(ctx, image, encoder, options, &handle).code == heif_error_Ok;
  }
  if (ok) {
    // libheif takes the TIFF block without the "Exif\0\0" of a JPEG segment.
    const std::string exif = ExifOrientationBlock(orientation).substr(6);
    ok = heif_context_add_exif_metadata(ctx, handle, exif.data(), static_cast<int>(exif.size())).code ==
             heif_error_Ok &&
         heif_context_write_to_file(ctx, path.c_str()).code == heif_error_Ok;
  }
  if (handle) heif_image_handle_release(handle);
  if (encoder) heif_encoder_release(encoder);
  if (image) heif_image_release(image);
  heif_encoding_options_free(options);
  heif_context_free(ctx);
  return ok;
}

double Psnr(const Ref<TPixmap>& a, const Ref<TPixmap>& b) {
  Ref<TPixmap> x = ConvertPixmap(a, FormatRGB888), y = ConvertPixmap(b, FormatRGB888);
  if (!x || !y || x->width != y->width || x->height != y->height) return -1;
  double sum = 0;
  for (int r = 0; r < x->height; ++r) {
    const uint8_t* p = x->PixelPtr(0, r);
    const uint8_t* q = y->PixelPtr(0, r);
    for (int i = 0; i < x->width * 3; ++i) sum += double(p[i] - q[i]) * (p[i] - q[i]);
  }
  const double mse = sum / (3.0 * x->width * x->height);
  return mse > 0 ? 10 * std::log10(255.0 * 255.0 / mse) : 99;
}
