// JPEG reader and writer over libjpeg-turbo.
//
// libjpeg reports fatal errors through error_exit, which must not return into the library:
// ours sets the aborting flag and longjmps back into RunJpegRead / RunJpegWrite. Those two
// functions and the callbacks the library calls hold no objects with destructors, and C++
// exceptions never cross library frames: callbacks and the progress/bitmap calls catch them,
// keep them in the job, and the public function rethrows after the library is destroyed.
#include <atomic>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

#include "codecs/codecs.h"
#include "codecs/picture_facts.h"
#include "imaging/types.h"

namespace folivant {

namespace {

constexpr std::size_t kBufferSize = 4096;
// libjpeg-turbo decodes an MCU on its fast path only while the buffer holds 512 bytes for each
// of its blocks (3 KB at 4:2:0): with 4 KB most MCUs took the slow path.
constexpr std::size_t kSourceBufferSize = 64 * 1024;
// More scans than any encoder writes; a tiny file with thousands of scans would otherwise
// cost a full pass over the picture per scan.
constexpr int kMaxScans = 500;

struct ErrorMgr {
  jpeg_error_mgr pub;  // first: the library sees only this
  std::jmp_buf jump;
  bool* aborting;  // null while finishing, where errors are ignored
  int exitCode;    // the library's message code of the error that ended the work
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorMgr*>(cinfo->err);
  if (err->aborting) *err->aborting = true;
  err->exitCode = cinfo->err->msg_code;
  std::longjmp(err->jump, 1);
}
void EmitMessage(j_common_ptr, int) {}
void OutputMessage(j_common_ptr) {}
void FormatMessage(j_common_ptr, char* buffer) {
  buffer[0] = '\0';
}
void ResetErrorMgr(j_common_ptr cinfo) {
  cinfo->err->msg_code = 0;
  cinfo->err->num_warnings = 0;
}

void InitErrorMgr(ErrorMgr& err, bool* aborting) {
  jpeg_std_error(&err.pub);
  err.pub.error_exit = ErrorExit;
  err.pub.emit_message = EmitMessage;
  err.pub.output_message = OutputMessage;
  err.pub.format_message = FormatMessage;
  err.pub.reset_error_mgr = ResetErrorMgr;
  err.aborting = aborting;
  err.exitCode = 0;
}

// Out of memory, or a valid picture of a kind the library is not built for: not "damaged".
void SayWhyNotRead(const ErrorMgr& err, TProgressRec& progress) {
  const int parm = err.pub.msg_parm.i[0];
  if (err.exitCode == JERR_OUT_OF_MEMORY || err.exitCode == JERR_NO_BACKING_STORE) {
    progress.Refuse("not enough memory to decode it");
  } else if (err.exitCode == JERR_BAD_PRECISION && parm >= 2 && parm <= 16) {
    char why[48];
    std::snprintf(why, sizeof why, "%d-bit JPEG is not supported", parm);
    progress.Refuse(why);
  } else if (err.exitCode == JERR_SOF_UNSUPPORTED) {
    // The frame's marker: SOF3, 7, 11 and 15 are lossless, the others left hierarchical.
    progress.Refuse((parm & 3) == 3 ? "lossless JPEG is not supported"
                                    : "hierarchical JPEG is not supported");
  }
}

}  // namespace

std::int64_t JpegWorkMemoryLimit() {
  // The coefficient arrays of a progressive picture take two bytes a sample: up to four
  // components at full size is 8 bytes a pixel. Every picture within the size limit fits, with
  // room for the row buffers; a larger one is refused before this matters.
  return PictureLimits().MaxPixels * 8 + (64 << 20);
}

namespace {

// ---- source manager over a TStream

struct StreamSource {
  jpeg_source_mgr pub;
  TStream* stream;
  std::exception_ptr* error;
  bool startOfFile;
  JOCTET buffer[kSourceBufferSize];
};

void InitSource(j_decompress_ptr cinfo) {
  reinterpret_cast<StreamSource*>(cinfo->src)->startOfFile = true;
}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
  auto* src = reinterpret_cast<StreamSource*>(cinfo->src);
  std::size_t n = 0;
  bool failed = false;
  try {
    n = src->stream->Read(src->buffer, kSourceBufferSize);
  } catch (...) {
    *src->error = std::current_exception();
    failed = true;
  }
  if (failed) ERREXIT(cinfo, JERR_FILE_READ);
  if (n == 0) {
    if (src->startOfFile) ERREXIT(cinfo, JERR_INPUT_EMPTY);
    // Premature end: a warning, and a fake end-of-image marker so the rest reads as grey.
    WARNMS(cinfo, JWRN_JPEG_EOF);
    src->buffer[0] = 0xFF;
    src->buffer[1] = JPEG_EOI;
    n = 2;
  }
  src->pub.next_input_byte = src->buffer;
  src->pub.bytes_in_buffer = n;
  src->startOfFile = false;
  return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
  auto* src = reinterpret_cast<StreamSource*>(cinfo->src);
  if (count <= 0) return;
  if (static_cast<std::size_t>(count) <= src->pub.bytes_in_buffer) {
    src->pub.next_input_byte += count;
    src->pub.bytes_in_buffer -= static_cast<std::size_t>(count);
    return;
  }
  // Pass over the rest by seeking; reading past the end then gives the fake end marker.
  const std::int64_t rest = count - static_cast<std::int64_t>(src->pub.bytes_in_buffer);
  src->pub.bytes_in_buffer = 0;
  src->pub.next_input_byte = src->buffer;
  bool failed = false;
  try {
    src->stream->Seek(rest, TSeekOrigin::soCurrent);
  } catch (...) {
    *src->error = std::current_exception();
    failed = true;
  }
  if (failed) ERREXIT(cinfo, JERR_FILE_READ);
}

void TermSource(j_decompress_ptr) {}

// ---- destination manager over a TStream

struct StreamDest {
  jpeg_destination_mgr pub;
  TStream* stream;
  std::exception_ptr* error;
  JOCTET buffer[kBufferSize];
};

void InitDestination(j_compress_ptr cinfo) {
  auto* dst = reinterpret_cast<StreamDest*>(cinfo->dest);
  dst->pub.next_output_byte = dst->buffer;
  dst->pub.free_in_buffer = kBufferSize;
}

void WriteOut(j_compress_ptr cinfo, std::size_t n) {
  auto* dst = reinterpret_cast<StreamDest*>(cinfo->dest);
  bool failed = false;
  try {
    dst->stream->Write(dst->buffer, n);
  } catch (...) {
    *dst->error = std::current_exception();
    failed = true;
  }
  if (failed) ERREXIT(cinfo, JERR_FILE_WRITE);
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
  WriteOut(cinfo, kBufferSize);
  InitDestination(cinfo);
  return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
  auto* dst = reinterpret_cast<StreamDest*>(cinfo->dest);
  const std::size_t n = kBufferSize - dst->pub.free_in_buffer;
  if (n > 0) WriteOut(cinfo, n);
}

// Called between the rows of every pass: stops files with too many scans while the library
// consumes them, and a read asked to stop, where no progress is reported (a progressive
// picture's scans are all read before its first row).
struct ScanMonitorMgr {
  jpeg_progress_mgr pub;  // first: the library sees only this
  const std::atomic<bool>* stop;
};

void ScanMonitor(j_common_ptr cinfo) {
  if (cinfo->is_decompressor &&
      reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans)
    ERREXIT(cinfo, JERR_NOT_COMPILED);
  const std::atomic<bool>* stop = reinterpret_cast<ScanMonitorMgr*>(cinfo->progress)->stop;
  if (stop && stop->load(std::memory_order_relaxed)) ERREXIT(cinfo, JERR_NOT_COMPILED);
}

// Progress and bitmap calls may throw; the exception is kept for the caller.
bool AdvanceProgress(TProgressRec* progress, int lines, std::exception_ptr* error) noexcept {
  try {
    progress->Advance(lines);
    return true;
  } catch (...) {
    *error = std::current_exception();
    return false;
  }
}

bool PrepareBitmap(TBitmap* bmp, int width, int height, TPixelFormat format,
                   std::exception_ptr* error) noexcept {
  try {
    bmp->SetSize(1, 1);
    bmp->SetPixelFormat(format);
    bmp->SetSizeForOverwrite(width, height);
    return true;
  } catch (...) {
    *error = std::current_exception();
    return false;
  }
}

// The parameters' DCT method code to the library's; another code keeps the library's choice.
void SetDctMethod(J_DCT_METHOD& method, int code) {
  switch (code) {
    case 0:
      method = JDCT_ISLOW;
      break;
    case 1:
      method = JDCT_IFAST;
      break;
    case 2:
      method = JDCT_FLOAT;
      break;
    default:
      break;
  }
}

// A row of four samples a pixel, freed with the image. Called under the caller's setjmp: the
// library's error exit may jump out of here, which is why it holds plain data only.
JSAMPLE* AllocCmykRow(j_common_ptr ci, int width) {
  return static_cast<JSAMPLE*>(
      (*ci->mem->alloc_large)(ci, JPOOL_IMAGE, static_cast<std::size_t>(width) * 4));
}

// ---- reading

// One APP2 ICC_PROFILE chunk: where its bytes sit in JpegMetadata::icc.
struct IccChunk {
  int seq, count;
  std::size_t offset, length;
};

// What the APP1 and APP2 markers before the first scan hold.
struct JpegMetadata {
  std::uint8_t exif[kMaxExifBytes];  // the first APP1 "Exif" segment
  std::size_t exifSize;
  std::vector<std::uint8_t> icc;  // the chunk bodies in the order met
  std::vector<IccChunk> chunks;
  bool iccTooLarge;
};

struct JpegReadJob {
  TBitmap* bmp;
  TIOParamsVals* params;
  TProgressRec* progress;
  bool paramsOnly;
  std::exception_ptr* error;
  bool created;
  int rowsWritten;  // -1 until the bitmap is sized
  jpeg_decompress_struct cinfo;
  ErrorMgr err;
  StreamSource src;
  ScanMonitorMgr monitor;
  JpegMetadata meta;
};

// ---- APP1 and APP2 markers, read through the source manager. The library may leave these
// functions by its error exit (inside fill_input_buffer), so they hold plain data only.

bool MarkerByte(j_decompress_ptr ci, unsigned& b) {
  jpeg_source_mgr* src = ci->src;
  if (src->bytes_in_buffer == 0 && !(*src->fill_input_buffer)(ci)) return false;
  --src->bytes_in_buffer;
  b = *src->next_input_byte++;
  return true;
}

// Reads up to n bytes of the marker into out; returns how many were read.
std::size_t MarkerBytes(j_decompress_ptr ci, std::uint8_t* out, std::size_t n) {
  std::size_t got = 0;
  unsigned b = 0;
  while (got < n && MarkerByte(ci, b)) out[got++] = static_cast<std::uint8_t>(b);
  return got;
}

// The marker's length without its own two bytes, or -1.
long MarkerLength(j_decompress_ptr ci) {
  unsigned hi = 0, lo = 0;
  if (!MarkerByte(ci, hi) || !MarkerByte(ci, lo)) return -1;
  return static_cast<long>((hi << 8) | lo) - 2;
}

JpegMetadata& MetaOf(j_decompress_ptr ci) {
  return *static_cast<JpegMetadata*>(ci->client_data);
}

boolean ReadApp1(j_decompress_ptr ci) {
  long length = MarkerLength(ci);
  if (length <= 0) return TRUE;
  JpegMetadata& meta = MetaOf(ci);
  if (meta.exifSize == 0) {
    static constexpr std::uint8_t kExif[6] = {'E', 'x', 'i', 'f', 0, 0};
    const std::size_t got = MarkerBytes(ci, meta.exif, static_cast<std::size_t>(length));
    length -= static_cast<long>(got);
    if (got >= sizeof kExif && std::memcmp(meta.exif, kExif, sizeof kExif) == 0)
      meta.exifSize = got;
  }
  if (length > 0) (*ci->src->skip_input_data)(ci, length);
  return TRUE;
}

// Room for one more chunk body of n bytes; false when the profile would pass the limit or
// memory cannot be had.
bool GrowIcc(JpegMetadata& meta, std::size_t n) noexcept {
  if (meta.icc.size() + n > kMaxIccProfileBytes) {
    meta.iccTooLarge = true;
    return false;
  }
  try {
    meta.icc.resize(meta.icc.size() + n);
    meta.chunks.push_back(IccChunk{0, 0, meta.icc.size() - n, n});
    return true;
  } catch (...) {
    return false;
  }
}

boolean ReadApp2(j_decompress_ptr ci) {
  static constexpr std::uint8_t kIcc[12] = {'I', 'C', 'C', '_', 'P', 'R',
                                            'O', 'F', 'I', 'L', 'E', 0};
  long length = MarkerLength(ci);
  if (length <= 0) return TRUE;
  JpegMetadata& meta = MetaOf(ci);
  std::uint8_t head[14];
  const std::size_t got =
      MarkerBytes(ci, head, length < 14 ? static_cast<std::size_t>(length) : 14);
  length -= static_cast<long>(got);
  if (got == 14 && std::memcmp(head, kIcc, sizeof kIcc) == 0 && length > 0 && !meta.iccTooLarge &&
      GrowIcc(meta, static_cast<std::size_t>(length))) {
    IccChunk& chunk = meta.chunks.back();
    chunk.seq = head[12];
    chunk.count = head[13];
    const std::size_t body = MarkerBytes(ci, meta.icc.data() + chunk.offset, chunk.length);
    length -= static_cast<long>(body);
  }
  if (length > 0) (*ci->src->skip_input_data)(ci, length);
  return TRUE;
}

// The chunks joined in sequence order, as the ICC rules for JPEG say: every chunk gives the
// same count, and every number from 1 to that count comes exactly once. Otherwise nothing.
std::vector<std::uint8_t> JoinIccChunks(const JpegMetadata& meta) {
  const std::size_t n = meta.chunks.size();
  if (n == 0 || n > 255) return {};
  std::vector<const IccChunk*> bySeq(n + 1, nullptr);
  for (const IccChunk& c : meta.chunks) {
    if (c.count != static_cast<int>(n) || c.seq < 1 || c.seq > static_cast<int>(n) || bySeq[c.seq])
      return {};
    bySeq[c.seq] = &c;
  }
  std::vector<std::uint8_t> out;
  out.reserve(meta.icc.size());
  for (std::size_t i = 1; i <= n; ++i) {
    const auto* from = meta.icc.data() + bySeq[i]->offset;
    out.insert(out.end(), from, from + bySeq[i]->length);
  }
  return out;
}

void ChooseScale(jpeg_decompress_struct& ci, const TIOParamsVals& params) {
  ci.scale_num = 1;
  switch (params.JpegScale) {
    case 1:
      ci.scale_denom = 1;
      break;
    case 2:
      ci.scale_denom = 2;
      break;
    case 3:
      ci.scale_denom = 4;
      break;
    case 4:
      ci.scale_denom = 8;
      break;
    case 0: {
      const std::int64_t target = static_cast<std::int64_t>(params.Width) * params.Height;
      int best = 0;
      if (target != 0) {
        std::int64_t bestDiff = -1;
        for (int s = 0; s < 4; ++s) {
          const std::int64_t area = static_cast<std::int64_t>(ci.image_width >> s) *
                                    static_cast<std::int64_t>(ci.image_height >> s);
          const std::int64_t diff = target > area ? target - area : area - target;
          if (bestDiff < 0 || diff < bestDiff) {
            bestDiff = diff;
            best = s;
          }
        }
      }
      ci.scale_denom = 1u << best;
      break;
    }
    default:
      break;
  }
}

// The colour space the library delivers for the file's; false when no 24-bit row fits it.
bool ChooseOutputSpace(jpeg_decompress_struct& ci, TIOParamsVals& params, bool& cmyk) {
  static const struct {
    J_COLOR_SPACE in;
    int code;
    J_COLOR_SPACE out;
  } kSpaces[] = {{JCS_GRAYSCALE, 1, JCS_EXT_BGR},
                 {JCS_RGB, 0, JCS_EXT_BGR},
                 {JCS_YCbCr, 2, JCS_EXT_BGR},
                 {JCS_CMYK, 3, JCS_CMYK},
                 {JCS_YCCK, 4, JCS_CMYK}};
  for (const auto& space : kSpaces) {
    if (ci.jpeg_color_space != space.in) continue;
    params.JpegColorSpace = space.code;
    ci.out_color_space = space.out;
    cmyk = space.out == JCS_CMYK;
    return true;
  }
  return false;
}

// Resolution, sample layout and progressive flag from the header.
void HeaderParams(const jpeg_decompress_struct& ci, TIOParamsVals& params) {
  if (ci.density_unit == 0 || ci.density_unit == 1) {
    params.DpiX = ci.X_density;
    params.DpiY = ci.Y_density;
  } else if (ci.density_unit == 2) {
    params.DpiX = static_cast<int>(ci.X_density * 2.54);
    params.DpiY = static_cast<int>(ci.Y_density * 2.54);
  }
  params.BitsPerSample = 8;
  params.SamplesPerPixel = 3;
  params.FreeColorMap();
  params.JpegProgressive = ci.progressive_mode != 0;
}

// The scanlines into the bitmap; false when the read stopped. Runs under RunJpegRead's setjmp:
// plain data only.
bool ReadRows(JpegReadJob* job, bool cmyk, int width, int height) {
  j_decompress_ptr ci = &job->cinfo;
  bool* aborting = job->progress->Aborting;
  JSAMPLE* work = cmyk ? AllocCmykRow(reinterpret_cast<j_common_ptr>(ci), width) : nullptr;

  job->progress->per = 100.0 / height;
  job->progress->val = 0;
  while (ci->output_scanline < ci->output_height) {
    std::uint8_t* row = job->bmp->ScanLine(static_cast<int>(ci->output_scanline));
    JSAMPROW target = cmyk ? work : row;
    const JDIMENSION lines = jpeg_read_scanlines(ci, &target, 1);
    if (*aborting) return false;
    if (lines == 0) {  // cannot happen with a source that never suspends
      *aborting = true;
      return false;
    }
    if (cmyk) {
      // Inverted (Adobe) CMYK as the library delivers it.
      for (int x = 0; x < width; ++x) {
        const unsigned c = work[4 * x], m = work[4 * x + 1], y = work[4 * x + 2],
                       k = work[4 * x + 3];
        row[3 * x] = static_cast<std::uint8_t>(k * y / 255);
        row[3 * x + 1] = static_cast<std::uint8_t>(k * m / 255);
        row[3 * x + 2] = static_cast<std::uint8_t>(k * c / 255);
      }
    }
    job->rowsWritten = static_cast<int>(ci->output_scanline);
    if (!AdvanceProgress(job->progress, static_cast<int>(lines), job->error)) return false;
    if (*aborting) return false;
  }
  return true;
}

// The only function that calls setjmp for reading. Plain data only.
void RunJpegRead(JpegReadJob* job) {
  j_decompress_ptr ci = &job->cinfo;
  bool* aborting = job->progress->Aborting;
  TIOParamsVals* params = job->params;
  if (setjmp(job->err.jump)) return;

  jpeg_create_decompress(ci);
  job->created = true;
  ci->mem->max_memory_to_use = static_cast<long>(JpegWorkMemoryLimit());
  ci->src = &job->src.pub;
  ci->progress = &job->monitor.pub;
  ci->client_data = &job->meta;
  jpeg_set_marker_processor(ci, JPEG_APP0 + 1, ReadApp1);
  jpeg_set_marker_processor(ci, JPEG_APP0 + 2, ReadApp2);

  jpeg_read_header(ci, TRUE);
  if (*aborting) return;

  bool cmyk = false;
  if (!ChooseOutputSpace(*ci, *params, cmyk)) {
    // Two or five-plus components: nothing that fits a 24-bit row.
    *aborting = true;
    return;
  }

  SetDctMethod(ci->dct_method, params->JpegDctMethod);
  HeaderParams(*ci, *params);
  ChooseScale(*ci, *params);

  jpeg_calc_output_dimensions(ci);
  const int width = static_cast<int>(ci->output_width);
  const int height = static_cast<int>(ci->output_height);
  params->Width = width;
  params->Height = height;
  if (job->paramsOnly) return;
  // Refused before the library or the bitmap takes memory for it. The whole picture is
  // judged, also when it is decoded at a fraction of its size: the library's work arrays of a
  // progressive picture are of the whole size.
  if (!PictureSizeAllowed(ci->image_width, ci->image_height)) {
    job->progress->RefuseSize(ci->image_width, ci->image_height);
    return;
  }

  jpeg_start_decompress(ci);
  if (*aborting) return;
  if (!PrepareBitmap(job->bmp, width, height, TPixelFormat::pf24bit, job->error)) return;
  job->rowsWritten = 0;

  if (!ReadRows(job, cmyk, width, height)) return;
  // Errors in trailing data are ignored: the picture counts as read.
  job->err.aborting = nullptr;
  jpeg_finish_decompress(ci);
}

// ---- writing

struct JpegWriteJob {
  const TBitmap* bmp;
  TIOParamsVals* params;
  TProgressRec* progress;
  std::exception_ptr* error;
  bool created;
  jpeg_compress_struct cinfo;
  ErrorMgr err;
  StreamDest dest;
};

J_COLOR_SPACE JpegSpaceOf(int code) {
  switch (code) {
    case 1:
      return JCS_GRAYSCALE;
    case 2:
      return JCS_YCbCr;
    case 3:
      return JCS_CMYK;
    case 4:
      return JCS_YCCK;
    default:
      return JCS_RGB;
  }
}

// The only function that calls setjmp for writing. Plain data only.
void RunJpegWrite(JpegWriteJob* job) {
  j_compress_ptr ci = &job->cinfo;
  bool* aborting = job->progress->Aborting;
  const TIOParamsVals* params = job->params;
  const TBitmap* bmp = job->bmp;
  if (setjmp(job->err.jump)) return;

  jpeg_create_compress(ci);
  job->created = true;
  ci->dest = &job->dest.pub;

  const int width = bmp->Width();
  const int height = bmp->Height();
  const bool cmyk = params->JpegColorSpace == 3 || params->JpegColorSpace == 4;
  ci->image_width = static_cast<JDIMENSION>(width);
  ci->image_height = static_cast<JDIMENSION>(height);
  // Bitmap rows are blue-green-red; the library reorders or converts from that.
  ci->input_components = cmyk ? 4 : 3;
  ci->in_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
  jpeg_set_defaults(ci);
  jpeg_set_colorspace(ci, JpegSpaceOf(params->JpegColorSpace));

  ci->density_unit = 1;
  ci->X_density = static_cast<UINT16>(params->DpiX & 0xFFFF);
  ci->Y_density = static_cast<UINT16>(params->DpiY & 0xFFFF);
  SetDctMethod(ci->dct_method, params->JpegDctMethod);
  ci->optimize_coding = params->JpegOptimalHuffman ? TRUE : FALSE;
  ci->smoothing_factor = params->JpegSmoothing < 0     ? 0
                         : params->JpegSmoothing > 100 ? 100
                                                       : params->JpegSmoothing;
  jpeg_set_quality(ci, params->JpegQuality, TRUE);
  if (params->JpegProgressive) jpeg_simple_progression(ci);

  jpeg_start_compress(ci, TRUE);
  if (*aborting) return;
  if (!params->IccProfile.empty())
    jpeg_write_icc_profile(ci, params->IccProfile.data(),
                           static_cast<unsigned>(params->IccProfile.size()));
  if (*aborting) return;

  JSAMPLE* work = cmyk ? AllocCmykRow(reinterpret_cast<j_common_ptr>(ci), width) : nullptr;

  job->progress->per = 100.0 / height;
  job->progress->val = 0;
  while (ci->next_scanline < ci->image_height) {
    const std::uint8_t* row = bmp->ScanLine(static_cast<int>(ci->next_scanline));
    JSAMPROW source = const_cast<JSAMPROW>(row);
    if (cmyk) {
      for (int x = 0; x < width; ++x) {
        const unsigned b = row[3 * x], g = row[3 * x + 1], r = row[3 * x + 2];
        unsigned k = r > g ? r : g;
        if (b > k) k = b;
        if (k == 0) k = 1;
        work[4 * x] = static_cast<JSAMPLE>(r * 255 / k);
        work[4 * x + 1] = static_cast<JSAMPLE>(g * 255 / k);
        work[4 * x + 2] = static_cast<JSAMPLE>(b * 255 / k);
        work[4 * x + 3] = static_cast<JSAMPLE>(k);
      }
      source = work;
    }
    const JDIMENSION lines = jpeg_write_scanlines(ci, &source, 1);
    if (*aborting) return;
    if (!AdvanceProgress(job->progress, static_cast<int>(lines), job->error)) return;
    if (*aborting) return;
  }
  jpeg_finish_compress(ci);
}

}  // namespace

bool IsJpegStream(TStream& s) {
  const std::int64_t pos = s.Position();
  std::uint8_t sig[3] = {};
  const std::size_t n = s.Read(sig, 3);
  s.SetPosition(pos);
  return n == 3 && sig[0] == 0xFF && sig[1] == 0xD8 && sig[2] == 0xFF;
}

void ReadJpegStream(TStream& s, TBitmap& bmp, TIOParamsVals& params, bool paramsOnly,
                    TProgressRec& progress) {
  if (!IsJpegStream(s)) {
    *progress.Aborting = true;
    return;
  }
  std::exception_ptr error;
  auto job = std::make_unique<JpegReadJob>();
  job->bmp = &bmp;
  job->params = &params;
  job->progress = &progress;
  job->paramsOnly = paramsOnly;
  job->error = &error;
  InitErrorMgr(job->err, progress.Aborting);
  job->cinfo.err = &job->err.pub;
  job->src.stream = &s;
  job->src.error = &error;
  job->src.pub.init_source = InitSource;
  job->src.pub.fill_input_buffer = FillInputBuffer;
  job->src.pub.skip_input_data = SkipInputData;
  job->src.pub.resync_to_restart = jpeg_resync_to_restart;
  job->src.pub.term_source = TermSource;
  job->monitor.pub.progress_monitor = ScanMonitor;
  job->monitor.stop = progress.Stop;

  job->rowsWritten = -1;
  RunJpegRead(job.get());
  if (job->created) jpeg_destroy_decompress(&job->cinfo);
  // The bitmap is not cleared before decoding: what a read that stopped early left is.
  if (job->rowsWritten >= 0) bmp.ClearRowsFrom(job->rowsWritten);
  if (*progress.Aborting) SayWhyNotRead(job->err, progress);
  if (error) std::rethrow_exception(error);
  params.ExifOrientation = ExifOrientation(job->meta.exif, job->meta.exifSize);
  params.IccProfileTooLarge = job->meta.iccTooLarge;
  const std::vector<std::uint8_t> icc = JoinIccChunks(job->meta);
  TakeIccProfile(params, icc.data(), icc.size());
}

void WriteJpegStream(TStream& s, const TBitmap& bmp, TIOParamsVals& params,
                     TProgressRec& progress) {
  // A 1-bit picture is written from a temporary 24-bit copy.
  std::unique_ptr<TBitmap> copy;
  const TBitmap* source = &bmp;
  if (bmp.PixelFormat() == TPixelFormat::pf1bit) {
    copy = std::make_unique<TBitmap>();
    copy->Assign(bmp);
    copy->SetPixelFormat(TPixelFormat::pf24bit);
    source = copy.get();
  }
  std::exception_ptr error;
  auto job = std::make_unique<JpegWriteJob>();
  job->bmp = source;
  job->params = &params;
  job->progress = &progress;
  job->error = &error;
  InitErrorMgr(job->err, progress.Aborting);
  job->cinfo.err = &job->err.pub;
  job->dest.stream = &s;
  job->dest.error = &error;
  job->dest.pub.init_destination = InitDestination;
  job->dest.pub.empty_output_buffer = EmptyOutputBuffer;
  job->dest.pub.term_destination = TermDestination;

  RunJpegWrite(job.get());
  if (job->created) jpeg_destroy_compress(&job->cinfo);
  if (error) std::rethrow_exception(error);
}

}  // namespace folivant
