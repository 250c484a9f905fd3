// HEIF and AVIF reader over libheif: the primary image, turned and cropped by the file's own
// boxes (irot, imir, clap) as libheif applies them, with its colour profile. libheif reads
// through the stream and reports errors by value; its callbacks here never throw. Part of the
// media module (video/media_module.h).
#include <cstdint>
#include <memory>
#include <vector>

#include <libheif/heif.h>

#include "codecs/codecs.h"
#include "codecs/picture_facts.h"
#include "video/media_module.h"

namespace folivant {

namespace {

struct HeifClient {
  TStream* stream;
  std::int64_t start;
  std::int64_t size;
};

std::int64_t HeifPosition(void* user) {
  auto* c = static_cast<HeifClient*>(user);
  try {
    return c->stream->Position() - c->start;
  } catch (...) {
    return -1;
  }
}

int HeifRead(void* data, std::size_t size, void* user) {
  auto* c = static_cast<HeifClient*>(user);
  if (size == 0) return 0;  // libheif asks for nothing, with no buffer, at times
  try {
    return c->stream->Read(data, size) == size ? 0 : 1;
  } catch (...) {
    return 1;
  }
}

int HeifSeek(std::int64_t position, void* user) {
  auto* c = static_cast<HeifClient*>(user);
  if (position < 0 || position > c->size) return 1;
  try {
    return c->stream->Seek(c->start + position, TSeekOrigin::soBeginning) == c->start + position
               ? 0
               : 1;
  } catch (...) {
    return 1;
  }
}

heif_reader_grow_status HeifWaitForSize(std::int64_t target, void* user) {
  return target <= static_cast<HeifClient*>(user)->size ? heif_reader_grow_status_size_reached
                                                        : heif_reader_grow_status_size_beyond_eof;
}

struct ContextFree {
  void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleRelease {
  void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageRelease {
  void operator()(heif_image* i) const { heif_image_release(i); }
};
struct OptionsFree {
  void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};
struct NclxFree {
  void operator()(heif_color_profile_nclx* n) const { heif_nclx_color_profile_free(n); }
};

// The ICC profile the file gives, or one made from its colour parameters.
void ReadProfile(const heif_image_handle* handle, TIOParamsVals& params) {
  const heif_color_profile_type type = heif_image_handle_get_color_profile_type(handle);
  if (type == heif_color_profile_type_prof || type == heif_color_profile_type_rICC) {
    const std::size_t size = heif_image_handle_get_raw_color_profile_size(handle);
    if (size > kMaxIccProfileBytes) {
      params.IccProfileTooLarge = true;
      return;
    }
    std::vector<std::uint8_t> icc(size);
    if (size > 0 &&
        heif_image_handle_get_raw_color_profile(handle, icc.data()).code == heif_error_Ok)
      TakeIccProfile(params, icc.data(), icc.size());
    return;
  }
  heif_color_profile_nclx* raw = nullptr;
  const heif_error error = heif_image_handle_get_nclx_color_profile(handle, &raw);
  // libheif may hand out the record with an error too (unknown primaries): it is ours to free.
  std::unique_ptr<heif_color_profile_nclx, NclxFree> nclx(raw);
  if (error.code != heif_error_Ok || !nclx) return;
  params.IccProfile = ProfileFromColourCodes(nclx->color_primaries, nclx->transfer_characteristics);
}

int ClampToInt(std::int64_t v) {
  return v > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(v);
}

// The decoded RGB or RGBA rows into the bitmap, alpha blended on the background.
void CopyHeifRows(const std::uint8_t* plane, int stride, bool alpha, bool premultiplied,
                  const TRGB bg, TBitmap& bmp, TProgressRec& progress) {
  const int iw = bmp.Width(), ih = bmp.Height();
  progress.per = 100.0 / ih;
  progress.val = 0;
  for (int y = 0; y < ih; ++y) {
    const std::uint8_t* in = plane + static_cast<std::ptrdiff_t>(y) * stride;
    std::uint8_t* out = bmp.ScanLine(y);
    if (!alpha) {
      for (int x = 0; x < iw; ++x) {
        out[3 * x] = in[3 * x + 2];
        out[3 * x + 1] = in[3 * x + 1];
        out[3 * x + 2] = in[3 * x];
      }
    } else if (premultiplied) {
      for (int x = 0; x < iw; ++x) {
        const unsigned keep = 255 - in[4 * x + 3];
        out[3 * x] = OverPremultiplied(in[4 * x + 2], keep, bg.b);
        out[3 * x + 1] = OverPremultiplied(in[4 * x + 1], keep, bg.g);
        out[3 * x + 2] = OverPremultiplied(in[4 * x], keep, bg.r);
      }
    } else {
      for (int x = 0; x < iw; ++x) {
        const unsigned a = in[4 * x + 3];
        out[3 * x] = Over(in[4 * x + 2], a, bg.b);
        out[3 * x + 1] = Over(in[4 * x + 1], a, bg.g);
        out[3 * x + 2] = Over(in[4 * x], a, bg.r);
      }
    }
    progress.Advance(1);
    if (*progress.Aborting) return;
  }
}

bool IsHeifStream(TStream& s) {
  const std::int64_t pos = s.Position();
  std::uint8_t head[12] = {};
  const std::size_t n = s.Read(head, sizeof head);
  s.SetPosition(pos);
  return n == sizeof head && head[4] == 'f' && head[5] == 't' && head[6] == 'y' && head[7] == 'p';
}

}  // namespace

namespace media {

void ReadHeifStream(TStream& s, TBitmap& bmp, TIOParamsVals& params, bool paramsOnly,
                    TProgressRec& progress) {
  bool& aborting = *progress.Aborting;
  params.ClearPictureFacts();
  if (!IsHeifStream(s)) {
    aborting = true;
    return;
  }
  HeifClient client{&s, s.Position(), 0};
  client.size = s.Size() - client.start;
  std::unique_ptr<heif_context, ContextFree> ctx(heif_context_alloc());
  if (!ctx) {
    aborting = true;
    return;
  }
  heif_context_set_maximum_image_size_limit(ctx.get(), ClampToInt(PictureLimits().MaxSide));
  // The build already runs one picture per processor.
  heif_context_set_max_decoding_threads(ctx.get(), 0);
  heif_reader reader{};
  reader.reader_api_version = 1;
  reader.get_position = HeifPosition;
  reader.read = HeifRead;
  reader.seek = HeifSeek;
  reader.wait_for_file_size = HeifWaitForSize;
  heif_image_handle* rawHandle = nullptr;
  if (heif_context_read_from_reader(ctx.get(), &reader, &client, nullptr).code != heif_error_Ok ||
      heif_context_get_primary_image_handle(ctx.get(), &rawHandle).code != heif_error_Ok ||
      !rawHandle) {
    aborting = true;
    return;
  }
  std::unique_ptr<heif_image_handle, HandleRelease> handle(rawHandle);
  const int w = heif_image_handle_get_width(handle.get());
  const int h = heif_image_handle_get_height(handle.get());
  const bool alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
  if (w <= 0 || h <= 0) {
    aborting = true;
    return;
  }
  const int depth = heif_image_handle_get_luma_bits_per_pixel(handle.get());
  params.Width = w;
  params.Height = h;
  params.BitsPerSample = depth > 0 ? depth : 8;
  params.SamplesPerPixel = alpha ? 4 : 3;
  DefaultResolution(params);
  params.FreeColorMap();
  ReadProfile(handle.get(), params);
  if (paramsOnly) return;

  // The coded picture is as large as the shown one before it is turned or cropped.
  const int codedW = heif_image_handle_get_ispe_width(handle.get());
  const int codedH = heif_image_handle_get_ispe_height(handle.get());
  if (!PictureSizeAllowed(w, h)) return progress.RefuseSize(w, h);
  if (!PictureSizeAllowed(codedW, codedH)) return progress.RefuseSize(codedW, codedH);
  std::unique_ptr<heif_decoding_options, OptionsFree> options(heif_decoding_options_alloc());
  if (!options) {
    aborting = true;
    return;
  }
  options->convert_hdr_to_8bit = 1;
  heif_image* rawImage = nullptr;
  if (heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB,
                        alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                        options.get())
              .code != heif_error_Ok ||
      !rawImage) {
    aborting = true;
    return;
  }
  std::unique_ptr<heif_image, ImageRelease> image(rawImage);
  const int iw = heif_image_get_width(image.get(), heif_channel_interleaved);
  const int ih = heif_image_get_height(image.get(), heif_channel_interleaved);
  int stride = 0;
  const std::uint8_t* plane =
      heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
  const int bytes = alpha ? 4 : 3;
  if (!plane || iw <= 0 || ih <= 0 || !PictureSizeAllowed(iw, ih) ||
      stride < static_cast<std::int64_t>(iw) * bytes ||
      heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved) != 8) {
    aborting = true;
    return;
  }
  if (!PrepareBitmap(bmp, iw, ih, TPixelFormat::pf24bit))
    return progress.Refuse("not enough memory to decode it");
  params.Width = iw;
  params.Height = ih;
  CopyHeifRows(plane, stride, alpha, heif_image_is_premultiplied_alpha(image.get()) != 0,
               params.PngBackground, bmp, progress);
}

std::vector<std::uint8_t> HeifExif(const std::string& path, std::size_t maxBytes) {
  std::unique_ptr<heif_context, ContextFree> ctx(heif_context_alloc());
  if (!ctx || heif_context_read_from_file(ctx.get(), path.c_str(), nullptr).code) return {};
  heif_image_handle* raw = nullptr;
  if (heif_context_get_primary_image_handle(ctx.get(), &raw).code) return {};
  std::unique_ptr<heif_image_handle, HandleRelease> handle(raw);
  heif_item_id id;
  if (heif_image_handle_get_list_of_metadata_block_IDs(raw, "Exif", &id, 1) != 1) return {};
  const std::size_t size = heif_image_handle_get_metadata_size(raw, id);
  if (size > maxBytes) return {};
  std::vector<std::uint8_t> data(size);
  if (heif_image_handle_get_metadata(raw, id, data.data()).code) return {};
  return data;
}

}  // namespace media
}  // namespace folivant
