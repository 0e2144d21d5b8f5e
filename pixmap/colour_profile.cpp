// Colour management with Little CMS 2: embedded ICC profiles and nclx colour
// descriptions to sRGB, and CMYK to RGB. Every call makes its own lcms context
// (with an allocation cap and no error output), so calls on different threads
// share nothing. A profile that already describes sRGB (same colorants, same
// tone curves) builds no transform at all.
#include <lcms2.h>
#include <lcms2_plugin.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "pixmap/photo.h"

namespace {

// No usable profile asks lcms for more in one piece; a hostile table size must
// not make it try.
constexpr cmsUInt32Number kMaxAlloc = 64u << 20;

void* CappedMalloc(cmsContext, cmsUInt32Number size) { return size <= kMaxAlloc ? std::malloc(size) : nullptr; }
void CappedFree(cmsContext, void* p) { std::free(p); }
void* CappedRealloc(cmsContext, void* p, cmsUInt32Number size) {
  return size <= kMaxAlloc ? std::realloc(p, size) : nullptr;
}

void Quiet(cmsContext, cmsUInt32Number, const char*) {}

// A private lcms context and the profiles and transform made in it.
class Lcms {
 public:
  Lcms() {
    static cmsPluginMemHandler mem = {{cmsPluginMagicNumber, 2000, cmsPluginMemHandlerSig, nullptr},
                                      CappedMalloc, CappedFree, CappedRealloc, nullptr, nullptr, nullptr};
    ctx_ = cmsCreateContext(&mem, nullptr);
    if (ctx_) cmsSetLogErrorHandlerTHR(ctx_, Quiet);
  }
  ~Lcms() {
    if (transform_) cmsDeleteTransform(transform_);
    for (cmsHPROFILE p : profiles_) cmsCloseProfile(p);
    if (ctx_) cmsDeleteContext(ctx_);
  }
  Lcms(const Lcms&) = delete;
  Lcms& operator=(const Lcms&) = delete;

  cmsContext ctx() const { return ctx_; }
  cmsHPROFILE Keep(cmsHPROFILE p) {
    if (p) profiles_.push_back(p);
    return p;
  }
  cmsHPROFILE Open(const uint8_t* icc, size_t size) {
    if (!ctx_ || !icc || size < 132 || size > (size_t(64) << 20)) return nullptr;
    return Keep(cmsOpenProfileFromMemTHR(ctx_, icc, static_cast<cmsUInt32Number>(size)));
  }
  cmsHTRANSFORM Transform(cmsHPROFILE in, cmsUInt32Number inFormat, cmsHPROFILE out, cmsUInt32Number outFormat,
                          cmsUInt32Number flags = 0) {
    if (!in || !out) return nullptr;
    transform_ = cmsCreateTransformTHR(ctx_, in, inFormat, out, outFormat, INTENT_PERCEPTUAL, flags);
    return transform_;
  }

 private:
  cmsContext ctx_ = nullptr;
  std::vector<cmsHPROFILE> profiles_;
  cmsHTRANSFORM transform_ = nullptr;
};

// The profile's colour space as a plain number: a hostile header may hold any
// value, which the enum type must never carry.
cmsUInt32Number Space(cmsHPROFILE p) { return static_cast<cmsUInt32Number>(cmsGetColorSpace(p)); }

double SRgbCurve(double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); }

// The tone curve under `tag` follows sRGB's within a quarter of a step.
bool SRgbTone(cmsHPROFILE p, cmsTagSignature tag) {
  const auto* curve = static_cast<const cmsToneCurve*>(cmsReadTag(p, tag));
  if (!curve) return false;
  for (int i = 0; i <= 32; ++i) {
    const double v = i / 32.0;
    if (std::fabs(cmsEvalToneCurveFloat(curve, static_cast<cmsFloat32Number>(v)) - SRgbCurve(v)) > 0.25 / 255)
      return false;
  }
  return true;
}

bool SameXyz(cmsHPROFILE a, cmsHPROFILE b, cmsTagSignature tag) {
  const auto* x = static_cast<const cmsCIEXYZ*>(cmsReadTag(a, tag));
  const auto* y = static_cast<const cmsCIEXYZ*>(cmsReadTag(b, tag));
  return x && y && std::fabs(x->X - y->X) < 0.002 && std::fabs(x->Y - y->Y) < 0.002 &&
         std::fabs(x->Z - y->Z) < 0.002;
}

// An RGB profile whose colorants and curves are sRGB's: converting would change
// nothing but rounding.
bool IsSRgb(Lcms& lcms, cmsHPROFILE p) {
  cmsHPROFILE s = lcms.Keep(cmsCreate_sRGBProfileTHR(lcms.ctx()));
  if (!s) return false;
  for (cmsTagSignature t : {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag})
    if (!SameXyz(p, s, t)) return false;
  for (cmsTagSignature t : {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag})
    if (!SRgbTone(p, t)) return false;
  return true;
}

// sRGB's tone curve as a parametric curve.
cmsToneCurve* BuildSRgbCurve(cmsContext ctx) {
  const cmsFloat64Number params[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
  return cmsBuildParametricToneCurve(ctx, 4, params);
}

// Grey with sRGB's tone curve: what a grey picture means on an sRGB screen.
cmsHPROFILE SRgbGrey(Lcms& lcms) {
  cmsToneCurve* curve = BuildSRgbCurve(lcms.ctx());
  if (!curve) return nullptr;
  cmsHPROFILE p = cmsCreateGrayProfileTHR(lcms.ctx(), cmsD50_xyY(), curve);
  cmsFreeToneCurve(curve);
  return lcms.Keep(p);
}

// Rows through a transform, each via a copy so that input and output may share
// the row.
void TransformRows(cmsHTRANSFORM t, TPixmap& pixmap) {
  const size_t bytes = static_cast<size_t>(pixmap.width) * BytesPerPixel(pixmap.format);
  std::vector<uint8_t> row(bytes);
  for (int y = 0; y < pixmap.height; ++y) {
    uint8_t* p = pixmap.PixelPtr(0, y);
    std::memcpy(row.data(), p, bytes);
    cmsDoTransform(t, row.data(), p, static_cast<cmsUInt32Number>(pixmap.width));
  }
}

// Grey kept in the first channel of each pixel, written back to every colour channel.
void TransformGrey(cmsHTRANSFORM t, TPixmap& pixmap) {
  const int bpp = BytesPerPixel(pixmap.format);
  const int colours = bpp == 1 ? 1 : 3;
  std::vector<uint8_t> in(static_cast<size_t>(pixmap.width)), out(in.size());
  for (int y = 0; y < pixmap.height; ++y) {
    uint8_t* p = pixmap.PixelPtr(0, y);
    for (int x = 0; x < pixmap.width; ++x) in[static_cast<size_t>(x)] = p[static_cast<size_t>(x) * bpp];
    cmsDoTransform(t, in.data(), out.data(), static_cast<cmsUInt32Number>(pixmap.width));
    for (int x = 0; x < pixmap.width; ++x)
      std::memset(p + static_cast<size_t>(x) * bpp, out[static_cast<size_t>(x)], static_cast<size_t>(colours));
  }
}

enum class TConversion { None, Grey, Rgb };

// What a profile asks of pixels that are grey or not: nothing for one that is
// sRGB already or does not fit them.
TConversion ConversionFor(Lcms& lcms, cmsHPROFILE in, bool grey) {
  const cmsUInt32Number space = Space(in);
  if (grey && space == cmsSigGrayData) return SRgbTone(in, cmsSigGrayTRCTag) ? TConversion::None : TConversion::Grey;
  if (grey || space != cmsSigRgbData || IsSRgb(lcms, in)) return TConversion::None;
  return TConversion::Rgb;
}

// RGB or RGBA pixels from the profile's colours to sRGB's, alpha kept.
bool RgbToSRgb(Lcms& lcms, cmsHPROFILE in, TPixmap& pixmap) {
  const bool alpha = pixmap.format == FormatRGBA8888;
  const cmsUInt32Number type = alpha ? TYPE_RGBA_8 : TYPE_RGB_8;
  cmsHTRANSFORM t = lcms.Transform(in, type, lcms.Keep(cmsCreate_sRGBProfileTHR(lcms.ctx())), type,
                                   alpha ? cmsFLAGS_COPY_ALPHA : 0);
  if (!t) return false;
  TransformRows(t, pixmap);
  return true;
}

// Chromaticities of the H.273 colour primaries: red, green, blue, white.
struct Primaries {
  double rx, ry, gx, gy, bx, by, wx, wy;
};
constexpr Primaries kBt709 = {0.64, 0.33, 0.30, 0.60, 0.15, 0.06, 0.3127, 0.3290};
constexpr Primaries kBt470M = {0.67, 0.33, 0.21, 0.71, 0.14, 0.08, 0.310, 0.316};
constexpr Primaries kBt601Pal = {0.64, 0.33, 0.29, 0.60, 0.15, 0.06, 0.3127, 0.3290};
constexpr Primaries kBt601Ntsc = {0.630, 0.340, 0.310, 0.595, 0.155, 0.070, 0.3127, 0.3290};
constexpr Primaries kGenericFilm = {0.681, 0.319, 0.243, 0.692, 0.145, 0.049, 0.310, 0.316};
constexpr Primaries kBt2020 = {0.708, 0.292, 0.170, 0.797, 0.131, 0.046, 0.3127, 0.3290};
constexpr Primaries kDciP3 = {0.680, 0.320, 0.265, 0.690, 0.150, 0.060, 0.314, 0.351};
constexpr Primaries kDisplayP3 = {0.680, 0.320, 0.265, 0.690, 0.150, 0.060, 0.3127, 0.3290};
constexpr Primaries kEbu3213 = {0.630, 0.340, 0.295, 0.605, 0.155, 0.077, 0.3127, 0.3290};

// Unspecified (2) and reserved (0) primaries are taken for BT.709, which sRGB shares.
const Primaries* PrimariesFor(int code) {
  switch (code) {
    case 0: case 1: case 2: return &kBt709;
    case 4: return &kBt470M;
    case 5: return &kBt601Pal;
    case 6: case 7: return &kBt601Ntsc;
    case 8: return &kGenericFilm;
    case 9: return &kBt2020;
    case 11: return &kDciP3;
    case 12: return &kDisplayP3;
    case 22: return &kEbu3213;
    default: return nullptr;
  }
}

// A transfer characteristic as sRGB's curve, or as a pure gamma in tenths; -1
// for curves that need more than a profile (PQ, HLG) or are unknown.
constexpr int kSRgbCurve = 0;
int CurveFor(int code) {
  switch (code) {
    case 0: case 1: case 2: case 6: case 13: case 14: case 15: return kSRgbCurve;
    case 4: return 22;
    case 5: return 28;
    case 8: return 10;
    default: return -1;
  }
}

}  // namespace

bool ProfileChangesColours(const uint8_t* icc, size_t size, bool grey) {
  Lcms lcms;
  cmsHPROFILE in = lcms.Open(icc, size);
  return in && ConversionFor(lcms, in, grey) != TConversion::None;
}

bool ProfileToSRgb(TPixmap& pixmap, bool grey, const uint8_t* icc, size_t size) {
  const int f = pixmap.format;
  if (f != FormatI8 && f != FormatRGB888 && f != FormatRGBA8888) return false;
  if (f == FormatI8) grey = true;
  Lcms lcms;
  cmsHPROFILE in = lcms.Open(icc, size);
  if (!in) return false;
  const TConversion conversion = ConversionFor(lcms, in, grey);
  if (conversion == TConversion::Grey) {
    cmsHTRANSFORM t = lcms.Transform(in, TYPE_GRAY_8, SRgbGrey(lcms), TYPE_GRAY_8);
    if (!t) return false;
    TransformGrey(t, pixmap);
    return true;
  }
  if (conversion == TConversion::None) return false;
  return RgbToSRgb(lcms, in, pixmap);
}

bool NclxToSRgb(TPixmap& pixmap, int primaries, int transfer) {
  if (pixmap.format != FormatRGB888 && pixmap.format != FormatRGBA8888) return false;
  const Primaries* p = PrimariesFor(primaries);
  const int curve = CurveFor(transfer);
  if (!p || curve < 0 || (p == &kBt709 && curve == kSRgbCurve)) return false;
  Lcms lcms;
  if (!lcms.ctx()) return false;
  cmsToneCurve* tone = curve == kSRgbCurve ? BuildSRgbCurve(lcms.ctx()) : cmsBuildGamma(lcms.ctx(), curve / 10.0);
  if (!tone) return false;
  cmsToneCurve* tones[3] = {tone, tone, tone};
  const cmsCIExyYTRIPLE rgb = {{p->rx, p->ry, 1}, {p->gx, p->gy, 1}, {p->bx, p->by, 1}};
  const cmsCIExyY white = {p->wx, p->wy, 1};
  cmsHPROFILE in = lcms.Keep(cmsCreateRGBProfileTHR(lcms.ctx(), &white, &rgb, tones));
  cmsFreeToneCurve(tone);
  return in && RgbToSRgb(lcms, in, pixmap);
}

Ref<TPixmap> CmykToRgb(const TPixmap& cmyk, bool inverted, const uint8_t* icc, size_t size) {
  Ref<TPixmap> rgb = CreatePixmap(cmyk.width, cmyk.height, FormatRGB888);
  if (!rgb || BytesPerPixel(cmyk.format) != 4) return nullptr;
  Lcms lcms;
  cmsHPROFILE in = lcms.Open(icc, size);
  cmsHTRANSFORM t = nullptr;
  if (in && Space(in) == cmsSigCmykData)
    t = lcms.Transform(in, inverted ? TYPE_CMYK_8_REV : TYPE_CMYK_8,
                       lcms.Keep(cmsCreate_sRGBProfileTHR(lcms.ctx())), TYPE_RGB_8);
  for (int y = 0; y < cmyk.height; ++y) {
    const uint8_t* s = cmyk.PixelPtr(0, y);
    uint8_t* d = rgb->PixelPtr(0, y);
    if (t) {
      cmsDoTransform(t, s, d, static_cast<cmsUInt32Number>(cmyk.width));
      continue;
    }
    for (int x = 0; x < cmyk.width; ++x, s += 4, d += 3) {
      // Inverted values are the paper left uncovered already.
      const int k = inverted ? s[3] : 255 - s[3];
      for (int c = 0; c < 3; ++c) {
        const int paper = inverted ? s[c] : 255 - s[c];
        d[c] = static_cast<uint8_t>((paper * k + 127) / 255);
      }
    }
  }
  return rgb;
}
