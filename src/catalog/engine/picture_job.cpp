#include "catalog/engine/picture_job.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <utility>

#include "catalog/catalog_rules.h"
#include "catalog/clip_page.h"
#include "catalog/engine/build_plan.h"
#include "catalog/engine/clip_job.h"
#include "catalog/engine/picture_upright.h"
#include "catalog/engine/target_files.h"
#include "catalog/modern/modern_files.h"
#include "codecs/codecs.h"
#include "imaging/picture_formats.h"
#include "imaging/resample.h"
#include "imaging/stream.h"

namespace folivant {
namespace {

// The reason a loader gives up, for "Cannot read picture NAME: reason".
std::string LoadFailureReason(const std::string& name) {
  const TPictureKind kind = PictureKindOfName(name);
  if (kind == TPictureKind::pkNone) return "no reader for this kind of file";
  return std::string("not a valid ") + PictureKindName(kind) + " file";
}

TResampleFilter FilterOf(int filter) {
  // No filter chosen (or anything outside the list) means the plain stretch.
  if (filter < 0 || filter > 6) return TResampleFilter::rfNone;
  return static_cast<TResampleFilter>(filter);
}

// Width and height from a JPEG file's frame header, without decoding.
bool ReadJpegSize(const std::string& path, int& width, int& height) {
  try {
    TFileStream stream(path, TFileMode::fmOpenRead);
    return ReadJpegFrameSize(stream, width, height);
  } catch (const EFileError&) {
    return false;
  }
}

// The side in proportion to a given one, truncated: at least 1 pixel, so a very thin picture
// still has a thumbnail, and at most what the size limit and a JPEG (65500) allow.
int ProportionalSide(std::int64_t have, std::int64_t want, std::int64_t divisor) {
  const std::int64_t side = have * want / divisor;
  if (want < 1) return static_cast<int>(std::max<std::int64_t>(side, 0));  // refused later
  const TPictureLimits& lim = PictureLimits();
  const std::int64_t most = std::min({lim.MaxSide, std::int64_t{65500}, lim.MaxPixels / want});
  return static_cast<int>(std::clamp<std::int64_t>(side, 1, std::max<std::int64_t>(most, 1)));
}

// The thumbnail size of a w x h picture: one side given, the other in proportion.
void ThumbnailSize(const CatalogOptions& opt, int w, int h, int& tw, int& th) {
  if (opt.ThumbMode == TThumbMode::tmFixedHeight) {
    th = opt.ThumbHeight;
    tw = ProportionalSide(w, th, h);
  } else {
    tw = opt.ThumbWidth;
    th = ProportionalSide(h, tw, w);
  }
}

// libjpeg's JpegScale code (1 whole, 2 half, 3 quarter, 4 eighth) for the smallest decode that
// keeps at least twice the thumbnail's size on both sides.
int PrescaleCode(int w, int h, int tw, int th) {
  for (int code = 4; code >= 2; --code) {
    const int denom = 1 << (code - 1);
    const std::int64_t sw = (w + denom - 1) / denom, sh = (h + denom - 1) / denom;
    if (sw >= 2 * static_cast<std::int64_t>(tw) && sh >= 2 * static_cast<std::int64_t>(th)) {
      return code;
    }
  }
  return 1;
}

// Transparent areas are filled with the pages' background colour, so a thumbnail looks as
// its picture does on the page; white when the colour is not "#RRGGBB".
TColor TransparentFill(const std::string& html) {
  if (html.size() != 7 || html[0] != '#') return clWhite;
  TColor rgb = 0;
  for (std::size_t i = 1; i < html.size(); ++i) {
    const char c = html[i];
    const int digit = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
    if (digit < 0) return clWhite;
    rgb = rgb * 16 + static_cast<TColor>(digit);
  }
  return ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);  // to 0x00BBGGRR
}

}  // namespace

// A large JPEG decoded at a fraction of its size; the sizes stay those of the whole picture.
struct TPictureJob::Decode {
  int FullW = 0, FullH = 0, Tw = 0, Th = 0;
  int Code = 1;  // libjpeg's JpegScale
  bool Prescaled() const { return Code > 1; }
};

void TPictureJob::StartPicture(TImageBox& box) const {
  box.IOParams().Assign(request_.Params);
  box.IOParams().JpegQuality = request_.Options.JPEGQuality;
  box.SetBackground(TransparentFill(request_.Options.BackColorHtml));
  box.Bitmap().Reset();
  box.IO().SetStopFlag(&abort_);
}

TPictureWork TPictureJob::Make(int index, const CatalogItem& item, TImageBox& box) const {
  TPictureWork work;
  // Every picture starts from the same state, so nothing a worker loaded before changes this
  // picture's thumbnail: any number of workers gives the same bytes.
  StartPicture(box);
  box.SetOnProgress([this, index](const void*, int per) {
    // Thrown through the codec or the resampler, which give up and clean up.
    if (abort_.load()) throw EBuildStopped("Build stopped");
    progress_.Percent(index, per);
  });
  Decode decode;
  const std::string path = JoinPath(dir_, item.PictureName);
  // The modern style's display copies need the whole picture.
  if (request_.JpegPrescale && !IsModern(request_.Options) &&
      PictureKindOfName(item.PictureName) == TPictureKind::pkJpeg &&
      ReadJpegSize(path, decode.FullW, decode.FullH)) {
    ThumbnailSize(request_.Options, decode.FullW, decode.FullH, decode.Tw, decode.Th);
    if (decode.Tw > 0 && decode.Th > 0)
      decode.Code = PrescaleCode(decode.FullW, decode.FullH, decode.Tw, decode.Th);
  }
  if (LoadUpright(index, item, box, decode, work) && Thumbnail(index, item, box, decode, work)) {
    if (!work.ClipCopyName.empty()) {
      work.Error = MakeClipCopy(
          dir_, item.PictureName, work.ClipCopyName, abort_,
          [&](int per) { progress_.Percent(index, per); }, work.ClipCopy);
      if (!work.Error.empty()) return work;
    }
    progress_.Step(index, TPictureStep::psDone, item.PictureName);
  }
  return work;
}

bool TPictureJob::LoadUpright(int index, const CatalogItem& item, TImageBox& box, Decode& decode,
                              TPictureWork& work) const {
  const CatalogOptions& opt = request_.Options;
  TUprightPicture upright;
  for (bool again = true; again;) {
    again = false;
    progress_.Step(index, TPictureStep::psOpening, item.PictureName);
    if (!LoadOnce(item, box, decode, work)) return false;
    try {
      upright = MakeUpright(box, opt, !item.WebCopyName.empty());
    } catch (const std::exception& e) {
      work.Error = (item.WebCopyName.empty() ? "Cannot turn picture " + item.PictureName
                                             : "Cannot write web copy " + item.WebCopyName) +
                   ": " + e.what();
      return false;
    }
    if (decode.Prescaled() && upright.SidesSwapped) {
      // The scale was chosen for the picture on its side: choose it for the upright picture.
      ThumbnailSize(opt, decode.FullH, decode.FullW, decode.Tw, decode.Th);
      const int code = decode.Tw > 0 && decode.Th > 0
                           ? PrescaleCode(decode.FullH, decode.FullW, decode.Tw, decode.Th)
                           : 1;
      if (code != decode.Code) {
        decode.Code = code;
        StartPicture(box);
        again = true;
      }
    }
  }
  work.WebCopyBytes = std::move(upright.WebCopy);
  if (item.Clip) {
    work.DurationMs = box.IOParams().ClipDurationMs;
    if (box.IOParams().ClipNeedsWebCopy) work.ClipCopyName = ClipCopyFileName(item.PictureName);
  }
  if (decode.Prescaled() && upright.SidesSwapped) std::swap(decode.FullW, decode.FullH);
  work.OrigWidth = decode.Prescaled() ? decode.FullW : box.Bitmap().Width();
  work.OrigHeight = decode.Prescaled() ? decode.FullH : box.Bitmap().Height();
  if (box.IOParams().IccProfileTooLarge)
    work.Warning = "The colour profile of " + item.PictureName +
                   " is larger than 4 MB: it is left out of the thumbnail";
  return true;
}

bool TPictureJob::LoadOnce(const CatalogItem& item, TImageBox& box, Decode& decode,
                           TPictureWork& work) const {
  const std::string cannotRead = "Cannot read picture " + item.PictureName + ": ";
  const std::string path = JoinPath(dir_, item.PictureName);
  try {
    // A file that cannot be opened says so, not that its content is wrong.
    std::string why;
    const int fd = OpenRegularFile(path, why);
    if (fd < 0) {
      work.Error = cannotRead + MidSentence(why);
      return false;
    }
    ::close(fd);
    box.IOParams().JpegScale = static_cast<std::uint8_t>(decode.Code);
    box.LoadFromFile(path);
    const int denom = 1 << (decode.Code - 1);
    if (decode.Prescaled() && !box.Aborting() &&
        (box.Bitmap().Width() != (decode.FullW + denom - 1) / denom ||
         box.Bitmap().Height() != (decode.FullH + denom - 1) / denom)) {
      // The frame header did not tell the size the decoder saw: decode it whole.
      decode.Code = 1;
      StartPicture(box);
      box.LoadFromFile(path);
    }
    // A load that gives no picture is a failure, whatever flag the reader left.
    if (box.Aborting() || box.Bitmap().Width() <= 0 || box.Bitmap().Height() <= 0) {
      // The codec's reason (too large, no image), else the file is damaged.
      std::string reason = box.AbortReason();
      if (reason.empty())
        reason = box.Aborting() ? LoadFailureReason(item.PictureName) : "the file holds no image";
      work.Error = cannotRead + reason;
      return false;
    }
  } catch (const std::exception& e) {
    work.Error = cannotRead + e.what();
    return false;
  }
  return true;
}

bool TPictureJob::Thumbnail(int index, const CatalogItem& item, TImageBox& box,
                            const Decode& decode, TPictureWork& work) const {
  const CatalogOptions& opt = request_.Options;
  try {
    progress_.Step(index, TPictureStep::psResampling, item.PictureName);
    int tw = decode.Tw, th = decode.Th;
    if (!decode.Prescaled())
      ThumbnailSize(opt, box.Bitmap().Width(), box.Bitmap().Height(), tw, th);
    if (IsModern(opt))
      work.Extras = MakeModernCopies(box, opt, item.PictureName, tw, th, FilterOf(opt.Filter));
    box.Resample(tw, th, FilterOf(opt.Filter));
    if (item.Clip) DrawPlayMark(box.Bitmap());
    box.IOParams().JpegColorSpace = IsModern(opt) ? kModernThumbColorSpace : 0;
  } catch (const std::exception& e) {
    work.Error = "Cannot make the thumbnail of " + item.PictureName + ": " + e.what();
    return false;
  }
  work.TnWidth = box.Bitmap().Width();
  work.TnHeight = box.Bitmap().Height();
  try {
    box.IOParams().JpegProgressive = opt.Progressive;
    // A clip's web copy, made next, is the long part of the step.
    progress_.Step(index, TPictureStep::psSaving,
                   work.ClipCopyName.empty() ? item.TnFileName : work.ClipCopyName);
    TMemoryStream jpeg;
    box.IO().SaveToStreamJpeg(jpeg);
    if (box.Aborting()) {
      work.Error = "Cannot write thumbnail " + item.TnFileName + ": the JPEG writer failed";
      return false;
    }
    const auto& bytes = jpeg.Bytes();
    work.ThumbnailBytes.assign(bytes.begin(), bytes.end());
  } catch (const std::exception& e) {
    work.Error = "Cannot write thumbnail " + item.TnFileName + ": " + e.what();
    return false;
  }
  return true;
}

}  // namespace folivant
