// Real photos in the formats phones and browsers write, for tests: the wallpaper
// photos of Debian's mate-backgrounds, copies in Display P3 (ImageMagick with a
// profile made by Little CMS) for the real encoders (heif-enc, avifenc, cwebp),
// a HEIC stored turned with the irot box that says so and an EXIF tag that says
// the same (libheif's encoder, as phones write them), ImageMagick's Lanczos
// reference and PSNR.
#pragma once
#include <string>

#include "pixmap/pixmap.h"

// The path of a photo of mate-backgrounds (e.g. "Dune.jpg"); empty when missing.
std::string WallpaperPhoto(const std::string& name);

// heif-enc options that keep x265 on one thread at a quick preset: its thread
// pool costs many times the encoding on a loaded machine.
inline const std::string kOneThreadX265 = "-p preset=fast -p x265:pools=none -p x265:frame-threads=1";

// Runs a shell command with its output discarded; true when it exits with 0.
bool RunQuietly(const std::string& command);

// The photo converted to Display P3, with that profile embedded, as a JPEG of
// quality 97.
bool DisplayP3Copy(const std::string& photo, const std::string& out);

// `convert IN -auto-orient -colorspace sRGB -filter Lanczos -resize 512x512! OUT`
// (PNG), with a resource policy that lets ImageMagick read big photos.
bool LanczosReference(const std::string& in, const std::string& out);

// `stored` as a HEIC (quality 90) whose irot/imir boxes give the upright picture
// for an EXIF-style orientation, with an EXIF block holding the same tag.
bool WriteTurnedHeic(const Ref<TPixmap>& stored, int orientation, const std::string& path);

// PSNR over R, G and B; -1 when either is missing or the sizes differ.
double Psnr(const Ref<TPixmap>& a, const Ref<TPixmap>& b);
