// TIFF reader over libtiff: the first page, read through the stream. Black-and-white pages
// stay 1-bit; everything else goes through libtiff's RGBA interface, a band of rows at a time.
// libtiff reports errors by return values (no jumps); its callbacks here never throw.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include <tiffio.h>

#include "codecs/codecs.h"
#include "codecs/picture_facts.h"

namespace folivant {

namespace {

// ---- the stream as libtiff's client I/O; offsets are taken from where the picture starts

struct TiffClient {
  TStream* stream;
  std::int64_t start;
};

tsize_t TiffRead(thandle_t h, tdata_t buf, tsize_t n) {
  auto* c = static_cast<TiffClient*>(h);
  try {
    return n < 0 ? -1 : static_cast<tsize_t>(c->stream->Read(buf, static_cast<std::size_t>(n)));
  } catch (...) {
    return -1;
  }
}

tsize_t TiffWrite(thandle_t, tdata_t, tsize_t) {
  return -1;
}

toff_t TiffSeek(thandle_t h, toff_t off, int whence) {
  auto* c = static_cast<TiffClient*>(h);
  try {
    const auto o = static_cast<std::int64_t>(off);
    std::int64_t pos;
    if (whence == SEEK_SET)
      pos = c->stream->Seek(c->start + o, TSeekOrigin::soBeginning);
    else if (whence == SEEK_CUR)
      pos = c->stream->Seek(o, TSeekOrigin::soCurrent);
    else
      pos = c->stream->Seek(o, TSeekOrigin::soEnd);
    return static_cast<toff_t>(pos - c->start);
  } catch (...) {
    return static_cast<toff_t>(-1);
  }
}

int TiffClose(thandle_t) {
  return 0;
}

toff_t TiffSize(thandle_t h) {
  auto* c = static_cast<TiffClient*>(h);
  try {
    return static_cast<toff_t>(c->stream->Size() - c->start);
  } catch (...) {
    return 0;
  }
}

int TiffMap(thandle_t, tdata_t*, toff_t*) {
  return 0;
}
void TiffUnmap(thandle_t, tdata_t, toff_t) {}

// Messages are not shown: a failure becomes the reader's own "not a valid TIFF file".
int TiffQuiet(TIFF*, void*, const char*, const char*, va_list) {
  return 1;
}

struct TiffCloser {
  void operator()(TIFF* t) const { TIFFClose(t); }
};
struct OptionsFree {
  void operator()(TIFFOpenOptions* o) const { TIFFOpenOptionsFree(o); }
};

// What libtiff may allocate at once for its own buffers (a strip, a tag): enough for a
// single-strip picture at the size limit, never less than 64 MB.
tmsize_t MaxSingleAlloc() {
  const std::int64_t derived = PictureLimits().MaxPixels * 8;
  return static_cast<tmsize_t>(std::clamp<std::int64_t>(derived, 64LL << 20, 1LL << 31));
}

int ResolutionToDpi(TIFF* tif, ttag_t tag, int fallback) {
  float res = 0;
  std::uint16_t unit = RESUNIT_INCH;
  if (!TIFFGetField(tif, tag, &res) || !(res > 0) || res > 1e6f) return fallback;
  TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
  if (unit == RESUNIT_INCH) return static_cast<int>(std::lround(res));
  if (unit == RESUNIT_CENTIMETER) return static_cast<int>(res * 2.54);
  return fallback;
}

// A black-and-white page read row by row into a 1-bit bitmap.
bool ReadBilevel(TIFF* tif, TBitmap& bmp, bool minIsWhite, TProgressRec& progress) {
  const int w = bmp.Width(), h = bmp.Height();
  const std::size_t used = (static_cast<std::size_t>(w) + 7) / 8;
  const tmsize_t line = TIFFScanlineSize(tif);
  if (line <= 0 || static_cast<std::size_t>(line) > bmp.RowBytes()) return false;
  progress.per = 100.0 / h;
  progress.val = 0;
  for (int y = 0; y < h; ++y) {
    std::uint8_t* row = bmp.ScanLine(y);
    if (TIFFReadScanline(tif, row, static_cast<std::uint32_t>(y), 0) < 0) return false;
    if (minIsWhite)
      for (std::size_t i = 0; i < used; ++i) row[i] = static_cast<std::uint8_t>(~row[i]);
    progress.Advance(1);
    if (*progress.Aborting) return false;
  }
  return true;
}

struct RgbaImage {
  TIFFRGBAImage img{};
  bool begun = false;
  ~RgbaImage() {
    if (begun) TIFFRGBAImageEnd(&img);
  }
};

// Grey with alpha in strips, row by row: libtiff's RGBA interface takes unassociated grey
// samples for multiplied ones, and drops the alpha of 16-bit ones.
bool ReadGreyAlpha(TIFF* tif, TBitmap& bmp, int bits, bool associated, bool minIsWhite,
                   const TRGB& bg, TProgressRec& progress) {
  const int w = bmp.Width(), h = bmp.Height();
  const std::size_t bytes = static_cast<std::size_t>(bits) / 8;
  const tmsize_t line = TIFFScanlineSize(tif);
  if (line <= 0 || static_cast<std::size_t>(line) < static_cast<std::size_t>(w) * 2 * bytes)
    return false;
  std::vector<std::uint8_t> row(static_cast<std::size_t>(line));
  const unsigned back[3] = {bg.b, bg.g, bg.r};
  progress.per = 100.0 / h;
  progress.val = 0;
  for (int y = 0; y < h; ++y) {
    if (TIFFReadScanline(tif, row.data(), static_cast<std::uint32_t>(y), 0) < 0) return false;
    std::uint8_t* out = bmp.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      unsigned g = row[2 * x], a = row[2 * x + 1];
      if (bytes == 2) {  // in the machine's order; the high byte is the 8-bit sample
        std::uint16_t v[2];
        std::memcpy(v, row.data() + 4 * x, sizeof v);
        g = v[0] >> 8u;
        a = v[1] >> 8u;
      }
      if (minIsWhite) g = 255 - g;
      for (int i = 0; i < 3; ++i)
        out[3 * x + i] = associated ? OverPremultiplied(g, 255 - a, back[i]) : Over(g, a, back[i]);
    }
    progress.Advance(1);
    if (*progress.Aborting) return false;
  }
  return true;
}

// Any other page through the RGBA interface, composited over the background. straight: the
// interface hands the colour on unmultiplied (8-bit grey with unassociated alpha).
bool ReadRgba(TIFF* tif, TBitmap& bmp, const TRGB& bg, bool straight, TProgressRec& progress) {
  char message[1024];
  if (!TIFFRGBAImageOK(tif, message)) return false;
  RgbaImage rgba;
  if (!TIFFRGBAImageBegin(&rgba.img, tif, 1, message)) return false;
  rgba.begun = true;
  // Rows in stored order: turning the picture upright is the caller's choice.
  rgba.img.orientation = ORIENTATION_TOPLEFT;
  rgba.img.req_orientation = ORIENTATION_TOPLEFT;

  const std::uint32_t w = static_cast<std::uint32_t>(bmp.Width());
  const std::uint32_t h = static_cast<std::uint32_t>(bmp.Height());
  // A band is a whole number of strips or tile rows, so each is decoded once.
  std::uint32_t band = 0;
  if (TIFFIsTiled(tif))
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &band);
  else
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &band);
  band = std::clamp<std::uint32_t>(band, 1, h);
  std::vector<std::uint32_t> raster(static_cast<std::size_t>(w) * band);

  progress.per = 100.0 / h;
  progress.val = 0;
  for (std::uint32_t y0 = 0; y0 < h; y0 += band) {
    const std::uint32_t rows = std::min(band, h - y0);
    rgba.img.row_offset = static_cast<int>(y0);
    rgba.img.col_offset = 0;
    if (!TIFFRGBAImageGet(&rgba.img, raster.data(), w, rows)) return false;
    for (std::uint32_t r = 0; r < rows; ++r) {
      const std::uint32_t* in = raster.data() + static_cast<std::size_t>(r) * w;
      std::uint8_t* out = bmp.ScanLine(static_cast<int>(y0 + r));
      for (std::uint32_t x = 0; x < w; ++x) {
        const std::uint32_t p = in[x];
        // Otherwise libtiff delivers colour already multiplied by alpha.
        const unsigned a = TIFFGetA(p), keep = 255 - a;
        out[3 * x] =
            straight ? Over(TIFFGetB(p), a, bg.b) : OverPremultiplied(TIFFGetB(p), keep, bg.b);
        out[3 * x + 1] =
            straight ? Over(TIFFGetG(p), a, bg.g) : OverPremultiplied(TIFFGetG(p), keep, bg.g);
        out[3 * x + 2] =
            straight ? Over(TIFFGetR(p), a, bg.r) : OverPremultiplied(TIFFGetR(p), keep, bg.r);
      }
      progress.Advance(1);
      if (*progress.Aborting) return false;
    }
  }
  return true;
}

}  // namespace

bool IsTiffStream(TStream& s) {
  const std::int64_t pos = s.Position();
  std::uint8_t sig[4] = {};
  const std::size_t n = s.Read(sig, 4);
  s.SetPosition(pos);
  return n == 4 &&
         ((sig[0] == 'I' && sig[1] == 'I' && (sig[2] == 42 || sig[2] == 43) && sig[3] == 0) ||
          (sig[0] == 'M' && sig[1] == 'M' && sig[2] == 0 && (sig[3] == 42 || sig[3] == 43)));
}

void ReadTiffStream(TStream& s, TBitmap& bmp, TIOParamsVals& params, bool paramsOnly,
                    TProgressRec& progress) {
  bool& aborting = *progress.Aborting;
  params.ClearPictureFacts();
  if (!IsTiffStream(s)) {
    aborting = true;
    return;
  }
  TiffClient client{&s, s.Position()};
  std::unique_ptr<TIFFOpenOptions, OptionsFree> options(TIFFOpenOptionsAlloc());
  if (!options) {
    aborting = true;
    return;
  }
  TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), MaxSingleAlloc());
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), TiffQuiet, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), TiffQuiet, nullptr);
  // "m": no memory mapping; the stream is read through the callbacks.
  std::unique_ptr<TIFF, TiffCloser> tif(TIFFClientOpenExt("picture", "rm", &client, TiffRead,
                                                          TiffWrite, TiffSeek, TiffClose, TiffSize,
                                                          TiffMap, TiffUnmap, options.get()));
  if (!tif) {
    aborting = true;
    return;
  }
  TIFF* t = tif.get();
  std::uint32_t w = 0, h = 0;
  std::uint16_t bits = 1, samples = 1, photometric = 0, orientation = ORIENTATION_TOPLEFT;
  if (!TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w) || !TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h) ||
      w == 0 || h == 0) {
    aborting = true;
    return;
  }
  TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric);
  TIFFGetFieldDefaulted(t, TIFFTAG_ORIENTATION, &orientation);

  params.Width = static_cast<std::int32_t>(std::min<std::uint32_t>(w, 0x7FFFFFFF));
  params.Height = static_cast<std::int32_t>(std::min<std::uint32_t>(h, 0x7FFFFFFF));
  params.BitsPerSample = bits;
  params.SamplesPerPixel = samples;
  params.DpiX = ResolutionToDpi(t, TIFFTAG_XRESOLUTION, ScreenDpi().X);
  params.DpiY = ResolutionToDpi(t, TIFFTAG_YRESOLUTION, ScreenDpi().Y);
  params.FreeColorMap();
  params.ExifOrientation = orientation >= 1 && orientation <= 8 ? orientation : 1;
  std::uint32_t iccSize = 0;
  void* icc = nullptr;
  if (TIFFGetField(t, TIFFTAG_ICCPROFILE, &iccSize, &icc) && icc)
    TakeIccProfile(params, static_cast<const std::uint8_t*>(icc), iccSize);
  if (paramsOnly) return;

  if (!PictureSizeAllowed(w, h)) return progress.RefuseSize(w, h);
  // A valid picture of a kind not handled is not damaged.
  std::uint16_t format = SAMPLEFORMAT_UINT;
  TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLEFORMAT, &format);
  if (format == SAMPLEFORMAT_IEEEFP || format == SAMPLEFORMAT_COMPLEXIEEEFP)
    return progress.Refuse("floating-point TIFF is not supported");
  std::uint16_t extraCount = 0, planar = PLANARCONFIG_CONTIG;
  std::uint16_t* extra = nullptr;
  TIFFGetFieldDefaulted(t, TIFFTAG_EXTRASAMPLES, &extraCount, &extra);
  TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &planar);
  const int alpha = extraCount == 1 && extra ? extra[0] : EXTRASAMPLE_UNSPECIFIED;
  const bool grey =
      (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE) &&
      samples == 2 && alpha != EXTRASAMPLE_UNSPECIFIED;
  const bool greyAlpha =
      grey && (bits == 8 || bits == 16) && !TIFFIsTiled(t) && planar == PLANARCONFIG_CONTIG;
  const bool bilevel =
      bits == 1 && samples == 1 && !TIFFIsTiled(t) &&
      (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE);
  if (!PrepareBitmap(bmp, static_cast<int>(w), static_cast<int>(h),
                     bilevel ? TPixelFormat::pf1bit : TPixelFormat::pf24bit))
    return progress.Refuse("not enough memory to decode it");
  bool ok = false;
  try {
    if (bilevel)
      ok = ReadBilevel(t, bmp, photometric == PHOTOMETRIC_MINISWHITE, progress);
    else if (greyAlpha)
      ok = ReadGreyAlpha(t, bmp, bits, alpha == EXTRASAMPLE_ASSOCALPHA,
                         photometric == PHOTOMETRIC_MINISWHITE, params.PngBackground, progress);
    else
      ok = ReadRgba(t, bmp, params.PngBackground,
                    grey && bits == 8 && alpha == EXTRASAMPLE_UNASSALPHA, progress);
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  if (!ok) aborting = true;
}

}  // namespace folivant
