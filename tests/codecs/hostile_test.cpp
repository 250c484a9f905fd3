// The committed bad files and every fixture cut short, through the bare readers. Pictures built
// to hurt a reader are in tests/hardening; random damage is the fuzzers' work.
#include <algorithm>

#include "codec_test_util.h"

namespace folivant::test {
namespace {

enum class Format { Jpeg, Gif, Png };

Format FormatOf(const std::string& name) {
  if (name.ends_with(".gif")) return Format::Gif;
  if (name.ends_with(".png")) return Format::Png;
  return Format::Jpeg;
}

// Runs the reader; returns Aborting.
bool ReadAny(Format f, const std::vector<std::uint8_t>& bytes, TBitmap* out = nullptr) {
  CodecRun r;
  TMemoryStream s(bytes.data(), bytes.size());
  int count = 0;
  switch (f) {
    case Format::Jpeg:
      ReadJpegStream(s, r.bmp, r.params, false, r.progress);
      break;
    case Format::Gif:
      ReadGifStream(s, r.bmp, count, false, r.progress, r.params);
      break;
    case Format::Png:
      ReadPngStream(s, r.bmp, r.params, false, r.progress);
      break;
  }
  EXPECT_TRUE(PictureSizeAllowed(r.bmp.Width(), r.bmp.Height()));
  if (out) out->Assign(r.bmp);
  return r.aborting;
}

std::vector<std::string> ListDir(const std::string& rel) {
  std::vector<std::string> names;
  for (const std::string& n : Listing(DataPath(rel)))
    if (n.ends_with(".jpg") || n.ends_with(".gif") || n.ends_with(".png")) names.push_back(n);
  return names;
}

TEST(Hostile, EveryBadFileFails) {
  const std::vector<std::string> names = ListDir("bad");
  ASSERT_GE(names.size(), 15u);
  for (const std::string& n : names) {
    TBitmap bmp;
    const bool aborted = ReadAny(FormatOf(n), ReadBytes("bad/" + n), &bmp);
    if (n == "png-ztxt-bomb.png") {
      // The oversized text chunk is refused on its own; the picture itself is fine.
      EXPECT_FALSE(aborted) << n;
      EXPECT_EQ(bmp.Width(), 4) << n;
    } else {
      EXPECT_TRUE(aborted) << n;
    }
  }
}

std::vector<std::string> GoodFixtures() {
  std::vector<std::string> all;
  for (const char* dir : {"jpeg", "gif", "png"})
    for (const std::string& n : ListDir(dir)) all.push_back(std::string(dir) + "/" + n);
  return all;
}

TEST(Hostile, TruncatedAtManyOffsets) {
  for (const std::string& name : GoodFixtures()) {
    const std::vector<std::uint8_t> whole = ReadBytes(name);
    const std::size_t step = std::max<std::size_t>(1, whole.size() / 150);
    for (std::size_t len = 0; len < whole.size(); len += step) {
      const std::vector<std::uint8_t> cut(whole.begin(), whole.begin() + len);
      ReadAny(FormatOf(name), cut);
      if (HasFailure()) FAIL() << name << " cut at " << len;
    }
  }
}

TEST(Hostile, JpegOverTheLimitIsRefusedAlsoAtAFractionOfItsSize) {
  // A progressive picture of 20000 x 20000 whose coefficient arrays would take 2.4 GB at any
  // decoding scale: refused before the library allocates them, and the reason says so.
  std::vector<std::uint8_t> bytes = ReadBytes("jpeg/progressive.jpg");
  std::size_t sof = 2;
  while (sof + 9 < bytes.size() && !(bytes[sof] == 0xFF && bytes[sof + 1] == 0xC2)) ++sof;
  ASSERT_LT(sof + 9, bytes.size());
  const std::uint8_t size[4] = {0x4E, 0x20, 0x4E, 0x20};  // 20000 x 20000
  std::copy(size, size + 4, bytes.begin() + static_cast<std::ptrdiff_t>(sof + 5));
  CodecRun r;
  std::string reason;
  r.progress.Reason = &reason;
  r.params.JpegScale = 4;  // an eighth: 2500 x 2500
  TMemoryStream s(bytes.data(), bytes.size());
  ReadJpegStream(s, r.bmp, r.params, false, r.progress);
  EXPECT_TRUE(r.aborting);
  EXPECT_EQ(r.bmp.Width(), 0);
  EXPECT_NE(reason.find("20000 x 20000"), std::string::npos) << reason;
}

}  // namespace
}  // namespace folivant::test
