// Colour profiles through Little CMS: which ones to keep, and a profile for pictures that
// describe their colours by code points instead.
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>

#include <lcms2.h>

#include "codecs/picture_facts.h"

namespace folivant {

namespace {

struct ProfileCloser {
  void operator()(void* h) const { cmsCloseProfile(h); }
};
using Profile = std::unique_ptr<std::remove_pointer_t<cmsHPROFILE>, ProfileCloser>;

struct CurveFree {
  void operator()(cmsToneCurve* c) const { cmsFreeToneCurve(c); }
};
using Curve = std::unique_ptr<cmsToneCurve, CurveFree>;

// The colorants (adapted to the D50 connection space) and tone curves of a matrix-and-curves
// RGB profile, or false.
struct MatrixShaper {
  cmsCIEXYZ colorant[3];
  const cmsToneCurve* trc[3];
};

bool ReadMatrixShaper(cmsHPROFILE h, MatrixShaper& out) {
  if (cmsGetColorSpace(h) != cmsSigRgbData || cmsGetPCS(h) != cmsSigXYZData ||
      !cmsIsMatrixShaper(h))
    return false;
  const cmsTagSignature xyz[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag,
                                  cmsSigBlueColorantTag};
  const cmsTagSignature trc[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
  for (int i = 0; i < 3; ++i) {
    const auto* c = static_cast<const cmsCIEXYZ*>(cmsReadTag(h, xyz[i]));
    out.trc[i] = static_cast<const cmsToneCurve*>(cmsReadTag(h, trc[i]));
    if (!c || !out.trc[i]) return false;
    out.colorant[i] = *c;
  }
  return true;
}

// sRGB as Little CMS builds it, read once.
struct SrgbReference {
  Profile profile{cmsCreate_sRGBProfile()};
  MatrixShaper shape{};
  bool ok = profile && ReadMatrixShaper(profile.get(), shape);
};

const SrgbReference& Srgb() {
  static const SrgbReference ref;
  return ref;
}

// Colorants within what the profile's 16.16 storage and the usual sRGB profiles' rounding
// leave; curves within half a step of an 8-bit sample.
constexpr double kColorantTolerance = 0.002;
constexpr float kCurveTolerance = 0.5f / 255.0f;

bool SameAsSrgb(const MatrixShaper& m) {
  const SrgbReference& ref = Srgb();
  if (!ref.ok) return false;
  for (int i = 0; i < 3; ++i) {
    const cmsCIEXYZ& a = m.colorant[i];
    const cmsCIEXYZ& b = ref.shape.colorant[i];
    if (std::fabs(a.X - b.X) > kColorantTolerance || std::fabs(a.Y - b.Y) > kColorantTolerance ||
        std::fabs(a.Z - b.Z) > kColorantTolerance)
      return false;
    for (int v = 0; v <= 255; ++v) {
      const float x = static_cast<float>(v) / 255.0f;
      if (std::fabs(cmsEvalToneCurveFloat(m.trc[i], x) -
                    cmsEvalToneCurveFloat(ref.shape.trc[i], x)) > kCurveTolerance)
        return false;
    }
  }
  return true;
}

// H.273 colour primaries: red, green, blue and white as CIE xy.
struct Primaries {
  double rx, ry, gx, gy, bx, by, wx, wy;
};
constexpr double kD65x = 0.3127, kD65y = 0.3290;

bool PrimariesOf(int code, Primaries& p) {
  switch (code) {
    case 1:  // BT.709, sRGB
    case 2:  // unspecified: what a viewer assumes
      p = {0.640, 0.330, 0.300, 0.600, 0.150, 0.060, kD65x, kD65y};
      return true;
    case 4:  // BT.470 System M
      p = {0.670, 0.330, 0.210, 0.710, 0.140, 0.080, 0.310, 0.316};
      return true;
    case 5:  // BT.470 System B, G; BT.601 625 lines
      p = {0.640, 0.330, 0.290, 0.600, 0.150, 0.060, kD65x, kD65y};
      return true;
    case 6:  // BT.601 525 lines
    case 7:  // SMPTE 240M
      p = {0.630, 0.340, 0.310, 0.595, 0.155, 0.070, kD65x, kD65y};
      return true;
    case 8:  // generic film
      p = {0.681, 0.319, 0.243, 0.692, 0.145, 0.049, 0.310, 0.316};
      return true;
    case 9:  // BT.2020, BT.2100
      p = {0.708, 0.292, 0.170, 0.797, 0.131, 0.046, kD65x, kD65y};
      return true;
    case 11:  // DCI-P3, theatre white
      p = {0.680, 0.320, 0.265, 0.690, 0.150, 0.060, 0.314, 0.351};
      return true;
    case 12:  // Display P3
      p = {0.680, 0.320, 0.265, 0.690, 0.150, 0.060, kD65x, kD65y};
      return true;
    case 22:  // EBU Tech. 3213
      p = {0.630, 0.340, 0.295, 0.605, 0.155, 0.077, kD65x, kD65y};
      return true;
    default:
      return false;
  }
}

// H.273 transfer characteristics as an ICC tone curve (decoding direction), or none.
Curve CurveOf(int code) {
  // Little CMS type 4: Y = (aX + b)^g for X >= d, else Y = cX.
  auto piecewise = [](double g, double a, double b, double c, double d) {
    const cmsFloat64Number params[5] = {g, a, b, c, d};
    return Curve(cmsBuildParametricToneCurve(nullptr, 4, params));
  };
  switch (code) {
    case 1:  // BT.709, and the same curve under other names
    case 6:
    case 11:
    case 12:
    case 14:
    case 15:
      return piecewise(1 / 0.45, 1 / 1.099, 0.099 / 1.099, 1 / 4.5, 0.081);
    case 2:  // unspecified
    case 13:
      return piecewise(2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045);
    case 4:
      return Curve(cmsBuildGamma(nullptr, 2.2));
    case 5:
      return Curve(cmsBuildGamma(nullptr, 2.8));
    case 7:  // SMPTE 240M
      return piecewise(1 / 0.45, 1 / 1.1115, 0.1115 / 1.1115, 1 / 4.0, 0.0913);
    case 8:
      return Curve(cmsBuildGamma(nullptr, 1.0));
    case 17:  // SMPTE ST 428
      return Curve(cmsBuildGamma(nullptr, 2.6));
    default:  // PQ, HLG, logarithmic: no ICC curve says what a viewer would show
      return Curve();
  }
}

}  // namespace

bool IsSrgbProfile(const std::uint8_t* data, std::size_t size) {
  if (!data || size == 0 || size > kMaxIccProfileBytes) return false;
  Profile h(cmsOpenProfileFromMem(data, static_cast<cmsUInt32Number>(size)));
  MatrixShaper m;
  return h && ReadMatrixShaper(h.get(), m) && SameAsSrgb(m);
}

void TakeIccProfile(TIOParamsVals& params, const std::uint8_t* data, std::size_t size) {
  params.IccProfile.clear();
  if (!data || size == 0) return;
  if (size > kMaxIccProfileBytes) {
    params.IccProfileTooLarge = true;
    return;
  }
  Profile h(cmsOpenProfileFromMem(data, static_cast<cmsUInt32Number>(size)));
  // The thumbnail is RGB: a grey or CMYK profile does not describe it.
  if (!h || cmsGetColorSpace(h.get()) != cmsSigRgbData) return;
  MatrixShaper m;
  if (ReadMatrixShaper(h.get(), m) && SameAsSrgb(m)) return;
  params.IccProfile.assign(data, data + size);
}

std::vector<std::uint8_t> ProfileFromColourCodes(int primaries, int transfer) {
  Primaries p;
  const bool known = PrimariesOf(primaries, p);
  if (!known) PrimariesOf(2, p);  // reserved codes read as unspecified
  const bool srgbPrimaries = !known || primaries == 1 || primaries == 2;
  if (srgbPrimaries && (transfer == 13 || transfer == 2)) return {};
  Curve curve = CurveOf(transfer);
  if (!curve) return {};
  const cmsCIExyY white = {p.wx, p.wy, 1.0};
  const cmsCIExyYTRIPLE rgb = {{p.rx, p.ry, 1.0}, {p.gx, p.gy, 1.0}, {p.bx, p.by, 1.0}};
  cmsToneCurve* curves[3] = {curve.get(), curve.get(), curve.get()};
  Profile h(cmsCreateRGBProfile(&white, &rgb, curves));
  if (!h) return {};
  // Named by where it came from, for anyone who looks at the thumbnail's profile.
  const std::string name = "Colour primaries " + std::to_string(primaries) +
                           ", transfer characteristics " + std::to_string(transfer) + " (H.273)";
  if (cmsMLU* mlu = cmsMLUalloc(nullptr, 1)) {
    cmsMLUsetASCII(mlu, "en", "US", name.c_str());
    cmsWriteTag(h.get(), cmsSigProfileDescriptionTag, mlu);
    cmsMLUfree(mlu);
  }
  cmsUInt32Number bytes = 0;
  if (!cmsSaveProfileToMem(h.get(), nullptr, &bytes) || bytes < 128) return {};
  std::vector<std::uint8_t> out(bytes);
  if (!cmsSaveProfileToMem(h.get(), out.data(), &bytes)) return {};
  out.resize(bytes);
  // The header's creation time would make every build's thumbnails differ: a fixed date.
  static constexpr std::uint8_t kDate[12] = {0x07, 0xE8, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0};
  std::memcpy(out.data() + 24, kDate, sizeof kDate);
  return out;
}

GammaToSrgb::~GammaToSrgb() {
  if (transform_) cmsDeleteTransform(transform_);
}

bool GammaToSrgb::Start(double gamma, const double* xy, bool alpha) {
  static constexpr double kSrgbXy[8] = {kD65x, kD65y, 0.640, 0.330, 0.300, 0.600, 0.150, 0.060};
  if (!xy) xy = kSrgbXy;
  if (!(gamma > 0.0) || !std::isfinite(1.0 / gamma)) return false;
  const cmsCIExyY white = {xy[0], xy[1], 1.0};
  const cmsCIExyYTRIPLE rgb = {{xy[2], xy[3], 1.0}, {xy[4], xy[5], 1.0}, {xy[6], xy[7], 1.0}};
  Curve curve(cmsBuildGamma(nullptr, 1.0 / gamma));
  if (!curve) return false;
  cmsToneCurve* curves[3] = {curve.get(), curve.get(), curve.get()};
  Profile file(cmsCreateRGBProfile(&white, &rgb, curves));
  Profile srgb(cmsCreate_sRGBProfile());
  if (!file || !srgb) return false;
  const cmsUInt32Number format = alpha ? TYPE_RGBA_8 : TYPE_RGB_8;
  transform_ = cmsCreateTransform(file.get(), format, srgb.get(), format,
                                  INTENT_RELATIVE_COLORIMETRIC, alpha ? cmsFLAGS_COPY_ALPHA : 0);
  return transform_ != nullptr;
}

void GammaToSrgb::Apply(std::uint8_t* samples, std::size_t pixels) const {
  if (transform_)
    cmsDoTransform(transform_, samples, samples, static_cast<cmsUInt32Number>(pixels));
}

}  // namespace folivant
