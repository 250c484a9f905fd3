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
  png_structp png;
  png_infop info;
};

// A bKGD value at the file's own sample depth to 8 bits.
std::uint8_t FromFileDepth(png_uint_16 v, int depth) {
  if (depth >= 16) return static_cast<std::uint8_t>((v * 255u + 32767u) / 65535u);
  const unsigned max = (1u << depth) - 1;
  if (v > max) v = static_cast<png_uint_16>(max);
  return static_cast<std::uint8_t>((v * 255u + max / 2) / max);
}

int DpiFromPixelsPerMetre(png_uint_32 ppm, int fallback) {
  // Nearest integer, halves to even (the default rounding mode).
  const double dpi = std::nearbyint(static_cast<double>(ppm) / 100.0 * 2.54);
  return dpi <= 0 ? fallback : static_cast<int>(dpi);
}

bool SafePrepareBitmap(TBitmap* bmp, int width, int height, TPixelFormat format) noexcept {
  try {
    bmp->SetSize(1, 1);
    bmp->SetPixelFormat(format);
    bmp->SetSize(width, height);
    return true;
  } catch (...) {
    return false;
  }
}

bool SafeAdvance(TProgressRec* progress) noexcept {
  try {
    progress->Advance(1);
    return true;
  } catch (...) {
    return false;
  }
}

// The only function that calls setjmp. Plain data only.
void RunPngRead(PngReadJob* job) {
  bool* aborting = job->progress->Aborting;
  TIOParamsVals* params = job->params;
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
    params->Width = static_cast<int>(std::min<png_uint_32>(width, 0x7FFFFFFF));
    params->Height = static_cast<int>(std::min<png_uint_32>(height, 0x7FFFFFFF));
    job->progress->RefuseSize(width, height);
    return;
  }

  png_colorp palette = nullptr;
  int paletteCount = 0;
  if (type == PNG_COLOR_TYPE_PALETTE) png_get_PLTE(png, info, &palette, &paletteCount);
  const bool hasTrns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  // A 1-bit bitmap means black and white: other two-colour pictures, and any with
  // transparency to composite, become 24-bit.
  bool oneBit = false;
  if (depth == 1 && !hasTrns) {
    if (type == PNG_COLOR_TYPE_GRAY) oneBit = true;
    if (type == PNG_COLOR_TYPE_PALETTE && paletteCount == 2 && palette[0].red == 0 &&
        palette[0].green == 0 && palette[0].blue == 0 && palette[1].red == 255 &&
        palette[1].green == 255 && palette[1].blue == 255)
      oneBit = true;
  }
  const bool gray = type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_GRAY_ALPHA;

  // The background goes to libpng at the output depth (8 bits; for 16-bit files libpng
  // widens it itself before compositing), so the colour given is the colour composited at
  // every depth. A bKGD colour is first scaled from the file's own depth to 8 bits (libpng's
  // own expansion of a grey bKGD leaves the grey level unscaled).
  png_color_16p fileBackground = nullptr;
  const bool hasBkgd = png_get_bKGD(png, info, &fileBackground) != 0;
  if (hasBkgd) {
    if (type == PNG_COLOR_TYPE_PALETTE) {  // libpng filled in the palette entry
      params->PngBackground = TRGB{static_cast<std::uint8_t>(fileBackground->blue),
                                   static_cast<std::uint8_t>(fileBackground->green),
                                   static_cast<std::uint8_t>(fileBackground->red)};
    } else if (gray) {
      const std::uint8_t g = FromFileDepth(fileBackground->gray, depth);
      params->PngBackground = TRGB{g, g, g};
    } else {
      params->PngBackground = TRGB{FromFileDepth(fileBackground->blue, depth),
                                   FromFileDepth(fileBackground->green, depth),
                                   FromFileDepth(fileBackground->red, depth)};
    }
  }
  const TRGB& c = params->PngBackground;
  png_color_16 bg{};
  bg.red = c.r;
  bg.green = c.g;
  bg.blue = c.b;
  bg.gray = c.g;
  png_set_background(png, &bg, hasBkgd ? PNG_BACKGROUND_GAMMA_FILE : PNG_BACKGROUND_GAMMA_SCREEN, 0,
                     1.0);

  if (type == PNG_COLOR_TYPE_PALETTE && (depth >= 2 || !oneBit)) png_set_expand(png);
  if (type == PNG_COLOR_TYPE_GRAY && depth < 8 && (depth >= 2 || !oneBit)) png_set_expand(png);
  if (depth == 16) png_set_strip_16(png);
  if (depth >= 2 && depth < 8) png_set_packing(png);
  if (gray && (depth > 1 || !oneBit)) png_set_gray_to_rgb(png);
  if (!oneBit) png_set_bgr(png);
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);

  params->Width = static_cast<int>(width);
  params->Height = static_cast<int>(height);
  params->BitsPerSample = depth;
  switch (type) {
    case PNG_COLOR_TYPE_RGB:
      params->SamplesPerPixel = 3;
      break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      params->SamplesPerPixel = 2;
      break;
    case PNG_COLOR_TYPE_RGB_ALPHA:
      params->SamplesPerPixel = 4;
      break;
    default:
      params->SamplesPerPixel = 1;
      break;
  }
  params->DpiX = DpiFromPixelsPerMetre(png_get_x_pixels_per_meter(png, info), ScreenDpi().X);
  params->DpiY = DpiFromPixelsPerMetre(png_get_y_pixels_per_meter(png, info), ScreenDpi().Y);
  params->FreeColorMap();
  if (type == PNG_COLOR_TYPE_PALETTE && palette) {
    for (int i = 0; i < paletteCount; ++i)
      params->ColorMap.push_back(TRGB{palette[i].blue, palette[i].green, palette[i].red});
    params->ColorMapCount = paletteCount;
  }
  params->PngInterlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
  if (job->paramsOnly) return;

  const TPixelFormat format = oneBit ? TPixelFormat::pf1bit : TPixelFormat::pf24bit;
  // The rows must fit the bitmap's rows.
  if (png_get_rowbytes(png, info) > TBitmap::RowBytesFor(static_cast<int>(width), format)) {
    *aborting = true;
    return;
  }
  if (!SafePrepareBitmap(job->bmp, static_cast<int>(width), static_cast<int>(height), format)) {
    *aborting = true;
    return;
  }

  job->progress->per = 100.0 / (static_cast<double>(height) * passes);
  job->progress->val = 0;
  for (int pass = 0; pass < passes; ++pass) {
    for (png_uint_32 y = 0; y < height; ++y) {
      png_bytep row = job->bmp->ScanLine(static_cast<int>(y));
      png_read_rows(png, &row, nullptr, 1);
      if (!SafeAdvance(job->progress)) {
        *aborting = true;
        return;
      }
      if (*aborting) return;
    }
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

// Walks the chunks before the first IDAT: the colour profile (iCCP) and the EXIF orientation
// (eXIf). Browsers take an eXIf only when it comes before the image data, and so does this.
// The stream is put back where it was.
void ReadPngMetadata(TStream& s, TIOParamsVals& params) {
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
      seenIccp = true;
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
  params.ClearPictureFacts();
  const std::int64_t start = s.Position();
  try {
    ReadPngMetadata(s, params);
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
