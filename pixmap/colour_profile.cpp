// Colour management with Little CMS 2: embedded ICC profiles to sRGB, and CMYK to
// RGB. Every call makes its own lcms context (with an allocation cap and no error
// output), so calls on different threads share nothing. A profile that already
// describes sRGB (same colorants, same tone curves) builds no transform at all.
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

// Grey with sRGB's tone curve: what a grey picture means on an sRGB screen.
cmsHPROFILE SRgbGrey(Lcms& lcms) {
  const cmsFloat64Number params[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
  cmsToneCurve* curve = cmsBuildParametricToneCurve(lcms.ctx(), 4, params);
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
  const bool alpha = f == FormatRGBA8888;
  const cmsUInt32Number type = alpha ? TYPE_RGBA_8 : TYPE_RGB_8;
  cmsHTRANSFORM t = lcms.Transform(in, type, lcms.Keep(cmsCreate_sRGBProfileTHR(lcms.ctx())), type,
                                   alpha ? cmsFLAGS_COPY_ALPHA : 0);
  if (!t) return false;
  TransformRows(t, pixmap);
  return true;
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
