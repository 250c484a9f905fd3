// PNG reader over libpng 1.6.
//
// libpng's error callback must not return: ours sets the aborting flag and longjmps back into
// RunPngRead, which holds no objects with destructors. Exceptions never cross library frames.
#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstring>
#include <memory>
#include <vector>

#include <png.h>
#include <zlib.h>

#include "codecs/codecs.h"
#include "codecs/picture_facts.h"
#include "imaging/types.h"

namespace folivant {

namespace {

// Largest ancillary chunk the library may allocate (text, profiles); a bigger one is refused.
constexpr png_alloc_size_t kChunkMallocMax = 8u << 20;

[[noreturn]] void PngError(png_structp png, png_const_charp) {
  if (auto* aborting = static_cast<bool*>(png_get_error_ptr(png))) *aborting = true;
  png_longjmp(png, 1);
}
void PngWarning(png_structp, png_const_charp) {}

void PngReadData(png_structp png, png_bytep data, png_size_t length) {
  auto* s = static_cast<TStream*>(png_get_io_ptr(png));
  std::size_t n = 0;
  try {
    n = s->Read(data, length);
  } catch (...) {
    n = 0;
  }
  if (n != length) png_error(png, "Read error");
}

struct PngReadJob {
  TStream* stream;
  TBitmap* bmp;
  TIOParamsVals* params;
  TProgressRec* progress;
  bool paramsOnly;
  bool hasIccp;  // a colour profile chunk says the colours, not gAMA
  png_structp png;
  png_infop info;
  GammaToSrgb toSrgb;
  std::vector<std::uint8_t> row;  // one decoded row of a pass
};

int DpiFromPixelsPerMetre(png_uint_32 ppm, int fallback) {
  // Nearest integer, halves to even (the default rounding mode).
  const double dpi = std::nearbyint(static_cast<double>(ppm) / 100.0 * 2.54);
  return dpi <= 0 ? fallback : static_cast<int>(dpi);
}

bool SafeAdvance(TProgressRec* progress) noexcept {
  try {
    progress->Advance(1);
    return true;
  } catch (...) {
    return false;
  }
}

// Colours as Chromium shows them: a colour profile or an sRGB chunk wins over gAMA; gAMA with
// cHRM is applied as given; gAMA alone is taken for sRGB when within 5 % of 1/2.2 (its
// product with 2.2 between 0.95 and 1.05, rounded as libpng does), else applied.
void StartGamma(PngReadJob* job, bool alpha) {
  png_fixed_point gamma = 0;
  if (job->hasIccp || png_get_valid(job->png, job->info, PNG_INFO_sRGB) ||
      !png_get_gAMA_fixed(job->png, job->info, &gamma) || gamma <= 0)
    return;
  png_fixed_point c[8];
  if (png_get_cHRM_fixed(job->png, job->info, &c[0], &c[1], &c[2], &c[3], &c[4], &c[5], &c[6],
                         &c[7])) {
    double xy[8];
    for (int i = 0; i < 8; ++i) xy[i] = c[i] / 100000.0;
    job->toSrgb.Start(gamma / 100000.0, xy, alpha);
    return;
  }
  const std::int64_t product = (std::int64_t{gamma} * 22 + 5) / 10;
  if (product >= 95000 && product <= 105000) return;
  job->toSrgb.Start(gamma / 100000.0, nullptr, alpha);
}

// Where the rows of one Adam7 pass (or of the whole picture) go.
struct Pass {
  png_uint_32 cols, rows, x0, dx, y0, dy;
};

Pass PassOf(png_uint_32 w, png_uint_32 h, int pass, bool interlaced) {
  if (!interlaced) return {w, h, 0, 1, 0, 1};
  const auto u = [](int v) { return static_cast<png_uint_32>(v); };
  return {PNG_PASS_COLS(w, pass),      PNG_PASS_ROWS(h, pass),
          u(PNG_PASS_START_COL(pass)), 1u << u(PNG_PASS_COL_SHIFT(pass)),
          u(PNG_PASS_START_ROW(pass)), 1u << u(PNG_PASS_ROW_SHIFT(pass))};
}

// A decoded row into its bitmap row: 1-bit values, RGB, or RGBA over the page colour (the
// stored values blended, as browsers do).
void PutRow(const std::uint8_t* in, const Pass& p, int channels, const TRGB& bg,
            std::uint8_t* out) {
  for (png_uint_32 i = 0, x = p.x0; i < p.cols; ++i, x += p.dx, in += channels) {
    std::uint8_t* d = out + 3 * std::size_t{x};
    if (channels == 1) {
      const auto bit = static_cast<std::uint8_t>(0x80u >> (x & 7));
      out[x >> 3] = static_cast<std::uint8_t>(in[0] ? out[x >> 3] | bit : out[x >> 3] & ~bit);
    } else if (channels == 3) {
      d[0] = in[2];
      d[1] = in[1];
      d[2] = in[0];
    } else {
      d[0] = Over(in[2], in[3], bg.b);
      d[1] = Over(in[1], in[3], bg.g);
      d[2] = Over(in[0], in[3], bg.r);
    }
  }
}

// Every pass's rows, decoded by the library and placed here. False when the read stops.
bool ReadRows(PngReadJob* job, png_uint_32 width, png_uint_32 height, bool interlaced,
              int channels) {
  const int passes = interlaced ? 7 : 1;
  double rows = 0;
  for (int pass = 0; pass < passes; ++pass) {
    const Pass p = PassOf(width, height, pass, interlaced);
    if (p.cols > 0) rows += p.rows;
  }
  job->progress->per = 100.0 / rows;
  job->progress->val = 0;
  for (int pass = 0; pass < passes; ++pass) {
    const Pass p = PassOf(width, height, pass, interlaced);
    if (p.cols == 0) continue;  // the library skips empty passes
    for (png_uint_32 r = 0; r < p.rows; ++r) {
      png_read_row(job->png, job->row.data(), nullptr);
      job->toSrgb.Apply(job->row.data(), p.cols);
      PutRow(job->row.data(), p, channels, job->params->PngBackground,
             job->bmp->ScanLine(static_cast<int>(p.y0 + r * p.dy)));
      if (!SafeAdvance(job->progress) || *job->progress->Aborting) return false;
    }
  }
  return true;
}

void TakeHeaderFacts(PngReadJob* job, png_uint_32 width, png_uint_32 height, int depth, int type,
                     png_colorp palette, int paletteCount) {
  TIOParamsVals* params = job->params;
  params->Width = static_cast<int>(width);
  params->Height = static_cast<int>(height);
  params->BitsPerSample = depth;
  params->SamplesPerPixel = type == PNG_COLOR_TYPE_RGB          ? 3
                            : type == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                            : type == PNG_COLOR_TYPE_RGB_ALPHA  ? 4
                                                                : 1;
  params->DpiX =
      DpiFromPixelsPerMetre(png_get_x_pixels_per_meter(job->png, job->info), ScreenDpi().X);
  params->DpiY =
      DpiFromPixelsPerMetre(png_get_y_pixels_per_meter(job->png, job->info), ScreenDpi().Y);
  params->FreeColorMap();
  if (type == PNG_COLOR_TYPE_PALETTE && palette) {
    for (int i = 0; i < paletteCount; ++i)
      params->ColorMap.push_back(TRGB{palette[i].blue, palette[i].green, palette[i].red});
    params->ColorMapCount = paletteCount;
  }
  params->PngInterlaced = png_get_interlace_type(job->png, job->info) != PNG_INTERLACE_NONE;
}

// The only function that calls setjmp. Plain data only.
void RunPngRead(PngReadJob* job) {
  bool* aborting = job->progress->Aborting;
  job->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, aborting, PngError, PngWarning);
  if (!job->png) {
    *aborting = true;
    return;
  }
  job->info = png_create_info_struct(job->png);
  if (!job->info) {
    *aborting = true;
    return;
  }
  png_structp png = job->png;
  png_infop info = job->info;
  if (setjmp(png_jmpbuf(png))) return;

  // The size limit is ours, judged right after the header: the library's own refusal of a
  // large picture would not say why.
  png_set_user_limits(png, 0x7FFFFFFF, 0x7FFFFFFF);
  png_set_chunk_malloc_max(png, kChunkMallocMax);
  // Chunks whose content is never used. For several of these the library allocates and
  // clears a buffer of the declared length (up to 2 GB) before reading a byte of it, whatever
  // the limit above says; skipped unread, a false length costs nothing.
  static constexpr png_byte kSkipped[] = "tEXt\0zTXt\0iTXt\0sPLT\0pCAL\0sCAL\0iCCP\0eXIf";
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kSkipped,
                              static_cast<int>(sizeof kSkipped / 5));
  png_set_read_fn(png, job->stream, PngReadData);
  png_read_info(png, info);

  png_uint_32 width = 0, height = 0;
  int depth = 0, type = 0, interlace = 0, compression = 0, filter = 0;
  png_get_IHDR(png, info, &width, &height, &depth, &type, &interlace, &compression, &filter);
  // Refused before the library sizes its row buffers or the bitmap takes memory.
  if (!PictureSizeAllowed(width, height)) {
    job->params->Width = static_cast<int>(std::min<png_uint_32>(width, 0x7FFFFFFF));
    job->params->Height = static_cast<int>(std::min<png_uint_32>(height, 0x7FFFFFFF));
    job->progress->RefuseSize(width, height);
    return;
  }
  png_colorp palette = nullptr;
  int paletteCount = 0;
  if (type == PNG_COLOR_TYPE_PALETTE) png_get_PLTE(png, info, &palette, &paletteCount);
  TakeHeaderFacts(job, width, height, depth, type, palette, paletteCount);
  if (job->paramsOnly) return;

  const bool hasTrns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  const bool alpha = hasTrns || (type & PNG_COLOR_MASK_ALPHA) != 0;
  StartGamma(job, alpha);
  // A 1-bit bitmap means black and white: other two-colour pictures, and any with
  // transparency to composite or colours to turn, become 24-bit. The page colour is always
  // the one composited against: browsers ignore a bKGD chunk.
  bool oneBit = false;
  if (depth == 1 && !hasTrns && !job->toSrgb.Active()) {
    if (type == PNG_COLOR_TYPE_GRAY) oneBit = true;
    if (type == PNG_COLOR_TYPE_PALETTE && paletteCount == 2 && palette[0].red == 0 &&
        palette[0].green == 0 && palette[0].blue == 0 && palette[1].red == 255 &&
        palette[1].green == 255 && palette[1].blue == 255)
      oneBit = true;
  }
  if (oneBit) {
    png_set_packing(png);
  } else {
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
  }
  png_read_update_info(png, info);
  const int channels = oneBit ? 1 : alpha ? 4 : 3;
  if (png_get_channels(png, info) != channels ||
      png_get_rowbytes(png, info) != std::size_t{width} * channels) {
    *aborting = true;
    return;
  }
  job->row.resize(std::size_t{width} * channels);
  const TPixelFormat format = oneBit ? TPixelFormat::pf1bit : TPixelFormat::pf24bit;
  if (!PrepareBitmap(*job->bmp, static_cast<int>(width), static_cast<int>(height), format) ||
      !ReadRows(job, width, height, interlace != PNG_INTERLACE_NONE, channels)) {
    *aborting = true;
    return;
  }
  png_read_end(png, nullptr);
}

// ---- colour profile and orientation, read before libpng runs (which skips both chunks)

std::uint32_t BigEndian32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         p[3];
}

// The body of a chunk of the given length whose type and length were just read, if its CRC
// holds; the stream is left after the chunk either way.
bool ReadChunkBody(TStream& s, const std::uint8_t type[4], std::uint32_t length,
                   std::vector<std::uint8_t>& body) {
  if (length > s.Size() - s.Position()) return false;  // memory only for bytes that are there
  body.resize(length);
  std::uint8_t crc[4];
  if (s.Read(body.data(), length) != length || s.Read(crc, 4) != 4) return false;
  uLong c = crc32(0, type, 4);
  c = crc32(c, body.data(), static_cast<uInt>(length));
  return c == BigEndian32(crc);
}

// An iCCP body: keyword, NUL, method 0, then the zlib stream of the profile.
void TakePngProfile(const std::vector<std::uint8_t>& body, TIOParamsVals& params) {
  const auto nul = std::find(body.begin(), body.end(), std::uint8_t{0});
  if (nul == body.end() || nul + 1 == body.end() || nul[1] != 0) return;
  const std::size_t start = static_cast<std::size_t>(nul - body.begin()) + 2;
  // One byte past the limit tells a profile that is too large from one that just fits.
  std::vector<std::uint8_t> profile(kMaxIccProfileBytes + 1);
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return;
  z.next_in = const_cast<Bytef*>(body.data() + start);
  z.avail_in = static_cast<uInt>(body.size() - start);
  z.next_out = profile.data();
  z.avail_out = static_cast<uInt>(profile.size());
  const int rc = inflate(&z, Z_FINISH);
  const std::size_t got = profile.size() - z.avail_out;
  inflateEnd(&z);
  if (rc == Z_STREAM_END)
    TakeIccProfile(params, profile.data(), got);
  else if (got == profile.size())
    params.IccProfileTooLarge = true;
}

// Walks the chunks before the first IDAT: the colour profile (iCCP, also whether there is one) and
// the EXIF orientation (eXIf). Browsers take an eXIf only when it comes before the image data, and
// so does this. The stream is put back where it was.
void ReadPngMetadata(TStream& s, TIOParamsVals& params, bool& hasIccp) {
  // Room for a profile compressed worse than stored, and an EXIF block with a thumbnail.
  constexpr std::uint32_t kMaxIccpChunk = kMaxIccProfileBytes + 4096;
  constexpr std::uint32_t kMaxExifChunk = 1u << 20;
  constexpr int kMaxChunks = 10000;
  const std::int64_t start = s.Position();
  std::uint8_t head[8];
  if (s.Read(head, 8) != 8 || png_sig_cmp(head, 0, 8) != 0) {
    s.SetPosition(start);
    return;
  }
  std::vector<std::uint8_t> body;
  bool seenIccp = false, seenExif = false;
  for (int i = 0; i < kMaxChunks && s.Read(head, 8) == 8; ++i) {
    const std::uint32_t length = BigEndian32(head);
    const std::uint8_t* type = head + 4;
    if (length > 0x7FFFFFFFu || std::memcmp(type, "IDAT", 4) == 0 ||
        std::memcmp(type, "IEND", 4) == 0)
      break;
    const std::int64_t next = s.Position() + length + 4;
    if (!seenIccp && std::memcmp(type, "iCCP", 4) == 0) {
      seenIccp = hasIccp = true;
      if (length > kMaxIccpChunk)
        params.IccProfileTooLarge = true;
      else if (ReadChunkBody(s, type, length, body))
        TakePngProfile(body, params);
    } else if (!seenExif && std::memcmp(type, "eXIf", 4) == 0) {
      seenExif = true;
      if (length <= kMaxExifChunk && ReadChunkBody(s, type, length, body))
        params.ExifOrientation = ExifOrientation(body.data(), body.size());
    }
    if (s.Seek(next, TSeekOrigin::soBeginning) != next) break;
  }
  s.SetPosition(start);
}

}  // namespace

bool IsPngStream(TStream& s) {
  const std::int64_t pos = s.Position();
  png_byte sig[8] = {};
  const std::size_t n = s.Read(sig, 8);
  s.SetPosition(pos);
  return n == 8 && png_sig_cmp(sig, 0, 8) == 0;
}

void ReadPngStream(TStream& s, TBitmap& bmp, TIOParamsVals& params, bool paramsOnly,
                   TProgressRec& progress) {
  auto job = std::make_unique<PngReadJob>();
  job->stream = &s;
  job->bmp = &bmp;
  job->params = &params;
  job->progress = &progress;
  job->paramsOnly = paramsOnly;
  job->hasIccp = false;
  params.ClearPictureFacts();
  const std::int64_t start = s.Position();
  try {
    ReadPngMetadata(s, params, job->hasIccp);
  } catch (...) {
    // A profile or orientation that cannot be read leaves the picture as it is.
    params.ClearPictureFacts();
    s.SetPosition(start);
  }
  try {
    RunPngRead(job.get());
  } catch (...) {
    // Raised by our own code (palette copy), never by the library: the read ends here.
    *progress.Aborting = true;
  }
  if (job->png) png_destroy_read_struct(&job->png, job->info ? &job->info : nullptr, nullptr);
}

}  // namespace folivant
