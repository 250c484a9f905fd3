// Location removal on pictures made here with EXIF and XMP locations, and the copy step that
// uses it.
#include <libexif/exif-data.h>
#include <libheif/heif.h>
#include <webp/encode.h>

#include <cstring>

#include "../common/pictures.h"
#include "../common/test_files.h"
#include "catalog/atomic_file.h"
#include "catalog/engine/build_engine.h"
#include "catalog/engine/location_copy.h"
#include "imaging/image_box.h"
#include "metadata/location.h"

using namespace folivant;
using namespace folivant::test;

// x265 keeps a block of its own until the process ends (the HEIC fixture's encoder).
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libx265.so\n";
}

namespace {

struct E {
  std::uint16_t tag, type;
  std::uint32_t count;
  std::string data;  // the value's bytes
};
std::string U16(unsigned v) {
  return {char(v & 0xFF), char(v >> 8 & 0xFF)};
}
std::string U32(std::uint32_t v) {
  return U16(v & 0xFFFF) + U16(v >> 16);
}
E Ascii(std::uint16_t tag, const std::string& s) {
  return {tag, 2, std::uint32_t(s.size() + 1), s + '\0'};
}

// An IFD at at: entries, next pointer 0, then the values that do not fit an entry.
std::string Ifd(std::vector<E> es, std::uint32_t at) {
  std::sort(es.begin(), es.end(), [](const E& a, const E& b) { return a.tag < b.tag; });
  std::string table = U16(unsigned(es.size())), data;
  const std::uint32_t dataAt = at + 2 + 12 * std::uint32_t(es.size()) + 4;
  for (const E& e : es) {
    table += U16(e.tag) + U16(e.type) + U32(e.count);
    if (e.data.size() <= 4) {
      table += e.data + std::string(4 - e.data.size(), '\0');
    } else {
      table += U32(dataAt + std::uint32_t(data.size()));
      data += e.data + std::string(e.data.size() & 1, '\0');
    }
  }
  return table + U32(0) + data;
}

// A TIFF structure: IFD0 (own(offset of tail) + camera + EXIF and GPS pointers), the EXIF
// IFD with the date taken, the GPS IFD, then tail.
std::string Tiff(const std::function<std::vector<E>(std::uint32_t)>& own, const std::string& tail) {
  std::string out;
  std::uint32_t exifAt = 0, gpsAt = 0, tailAt = 0;
  for (int pass = 0; pass < 2; ++pass) {  // the first finds where everything goes
    std::vector<E> ifd0 = own(tailAt);
    ifd0.push_back(Ascii(272, "Cam"));
    ifd0.push_back({0x8769, 4, 1, U32(exifAt)});
    ifd0.push_back({0x8825, 4, 1, U32(gpsAt)});
    const std::string i0 = Ifd(ifd0, 8);
    exifAt = 8 + std::uint32_t(i0.size());
    const std::string ex = Ifd({Ascii(0x9003, "2024:01:02 03:04:05")}, exifAt);
    gpsAt = exifAt + std::uint32_t(ex.size());
    const std::string latitude = U32(48) + U32(1) + U32(51) + U32(1) + U32(2975) + U32(100);
    const std::string gps = Ifd({{1, 2, 2, std::string("N\0", 2)}, {2, 5, 3, latitude}}, gpsAt);
    tailAt = gpsAt + std::uint32_t(gps.size());
    out = std::string("II*\0", 4) + U32(8) + i0 + ex + gps + tail;
  }
  return out;
}
std::string Exif() {
  return Tiff([](std::uint32_t) { return std::vector<E>(); }, "");
}

const std::string kXmp =
    "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?><x:xmpmeta xmlns:x='adobe:ns:meta/'>"
    "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description "
    "rdf:about='' xmlns:xmp='http://ns.adobe.com/xap/1.0/' xmlns:ex='http://ns.adobe.com/exif/1.0/'"
    " xmlns:photoshop='http://ns.adobe.com/photoshop/1.0/' xmp:CreateDate='2024-01-02T03:04:05'"
    " ex:GPSLatitude='48,51.49N'><ex:GPSLongitude>2,17.4E</ex:GPSLongitude><photoshop:City>"
    "Paris</photoshop:City></rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end='w'?>";

std::string Str(const Bytes& b) {
  return std::string(b.begin(), b.end());
}
Bytes Raw(const std::string& s) {
  return Bytes(s.begin(), s.end());
}
std::string Segment(unsigned marker, const std::string& data) {
  return std::string{char(0xFF), char(marker), char((data.size() + 2) >> 8),
                     char((data.size() + 2) & 0xFF)} +
         data;
}

std::string Jpeg() {
  const std::string j = Str(MakeJpeg(32, 24, false));
  return j.substr(0, 2) + Segment(0xE1, std::string("Exif\0\0", 6) + Exif()) +
         Segment(0xE1, std::string("http://ns.adobe.com/xap/1.0/\0", 29) + kXmp) + j.substr(2);
}
std::string Png() {
  return Str(MakePng(8, 8, 8, 8,
                     {{"eXIf", Raw(Exif())},
                      {"iTXt", Raw(std::string("XML:com.adobe.xmp\0\0\0\0\0", 22) + kXmp)}}));
}
std::string Webp() {
  std::vector<std::uint8_t> rgb(12 * 8 * 3, 90);
  std::uint8_t* out = nullptr;
  const std::size_t n = WebPEncodeLosslessRGB(rgb.data(), 12, 8, 36, &out);
  const std::string vp8l(reinterpret_cast<char*>(out) + 12, n - 12);
  WebPFree(out);
  auto chunk = [](const char* type, const std::string& d) {
    return type + U32(std::uint32_t(d.size())) + d + std::string(d.size() & 1, '\0');
  };
  const std::string body = "WEBP" + chunk("VP8X", std::string{0x0C, 0, 0, 0, 11, 0, 0, 7, 0, 0}) +
                           vp8l + chunk("EXIF", Exif()) + chunk("XMP ", kXmp);
  return "RIFF" + U32(std::uint32_t(body.size())) + body;
}
std::string TiffFile() {  // 4 x 4 grey, one strip
  return Tiff(
      [](std::uint32_t at) {
        return std::vector<E>{{256, 3, 1, U16(4)},  {257, 3, 1, U16(4)},
                              {258, 3, 1, U16(8)},  {259, 3, 1, U16(1)},
                              {262, 3, 1, U16(1)},  {273, 4, 1, U32(at)},
                              {277, 3, 1, U16(1)},  {278, 3, 1, U16(4)},
                              {279, 4, 1, U32(16)}, {700, 1, std::uint32_t(kXmp.size()), kXmp}};
      },
      std::string(16, '\x77'));
}
std::string Heic() {
  heif_context* ctx = heif_context_alloc();
  heif_encoder* enc = nullptr;
  heif_context_get_encoder_for_format(ctx, heif_compression_HEVC, &enc);
  heif_image* img = nullptr;
  heif_image_create(64, 64, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &img);
  heif_image_add_plane(img, heif_channel_interleaved, 64, 64, 8);
  int stride = 0;
  std::memset(heif_image_get_plane(img, heif_channel_interleaved, &stride), 120, 64 * 64 * 3);
  heif_image_handle* h = nullptr;
  heif_context_encode_image(ctx, img, enc, nullptr, &h);
  const std::string exif = Exif();
  heif_context_add_exif_metadata(ctx, h, exif.data(), int(exif.size()));
  heif_context_add_XMP_metadata(ctx, h, kXmp.data(), int(kXmp.size()));
  std::string file;
  heif_writer writer{1, [](heif_context*, const void* d, size_t n, void* to) {
                       static_cast<std::string*>(to)->append(static_cast<const char*>(d), n);
                       return heif_error{heif_error_Ok, heif_suberror_Unspecified, ""};
                     }};
  heif_context_write(ctx, &writer, &file);
  heif_image_handle_release(h), heif_image_release(img), heif_encoder_release(enc),
      heif_context_free(ctx);
  return file;
}

TBitmap Decode(const std::string& bytes, const std::string& name) {
  TempDir dir;
  WriteFile(dir / name, bytes);
  TImageBox box;
  box.LoadFromFile(dir / name);
  return box.Bitmap();
}
bool SamePixels(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.Width() == 0) return false;
  for (int y = 0; y < a.Height(); ++y)
    if (std::memcmp(a.ScanLine(y), b.ScanLine(y), std::size_t(a.Width()) * 3) != 0) return false;
  return true;
}

}  // namespace

TEST(Location, RemovedFromEveryContainerKeepingEverythingElse) {
  InstallCodecs();
  for (const auto& [name, file] :
       std::vector<std::pair<std::string, std::string>>{{"a.jpg", Jpeg()},
                                                        {"a.png", Png()},
                                                        {"a.webp", Webp()},
                                                        {"a.tif", TiffFile()},
                                                        {"a.heic", Heic()}}) {
    SCOPED_TRACE(name);
    if (const char* dir = std::getenv("FOLIVANT_WRITE_CORPUS"))
      WriteFile(std::string(dir) + "/" + name, file);
    const TLocationEdit edit = RemoveLocation(file);
    ASSERT_EQ(edit.State, TLocationState::lsRemoved) << edit.Why;
    ASSERT_EQ(edit.Bytes.size(), file.size());
    EXPECT_EQ(RemoveLocation(edit.Bytes).State, TLocationState::lsNone);
    for (const std::string& gone :
         {std::string("Paris"), std::string("GPSL"), std::string("48,51"), U32(2975) + U32(100)})
      EXPECT_EQ(edit.Bytes.find(gone), std::string::npos) << gone;
    for (const char* kept : {"Cam", "2024:01:02 03:04:05", "xmp:CreateDate='2024-01-02T03:04:05'"})
      EXPECT_NE(edit.Bytes.find(kept), std::string::npos) << kept;
    EXPECT_TRUE(SamePixels(Decode(file, name), Decode(edit.Bytes, name)));
    for (std::size_t at = 8; name == "a.png" && at + 12 <= edit.Bytes.size();) {  // CRCs right
      const auto* p = reinterpret_cast<const unsigned char*>(edit.Bytes.data()) + at;
      const std::uint32_t n = p[0] << 24 | p[1] << 16 | p[2] << 8 | p[3];
      EXPECT_EQ(crc32(0, p + 4, n + 4),
                std::uint32_t(p[n + 8] << 24 | p[n + 9] << 16 | p[n + 10] << 8 | p[n + 11]));
      at += 12 + n;
    }
  }
  // JPEG: the compressed data untouched, and libexif reads camera and date but no GPS.
  const std::string jpeg = Jpeg(), stripped = RemoveLocation(jpeg).Bytes;
  const std::size_t scan = jpeg.find("\xFF\xDA");
  EXPECT_EQ(stripped.substr(scan), jpeg.substr(scan));
  ExifData* exif = exif_data_new_from_data(reinterpret_cast<const unsigned char*>(stripped.data()),
                                           unsigned(stripped.size()));
  ASSERT_NE(exif, nullptr);
  EXPECT_EQ(exif->ifd[EXIF_IFD_GPS]->count, 0u);
  EXPECT_NE(exif_content_get_entry(exif->ifd[EXIF_IFD_0], EXIF_TAG_MODEL), nullptr);
  EXPECT_NE(exif_content_get_entry(exif->ifd[EXIF_IFD_EXIF], EXIF_TAG_DATE_TIME_ORIGINAL), nullptr);
  exif_data_unref(exif);
}

TEST(Location, WhatCannotBeRemovedSafelyIsSaid) {
  std::string overlapping = Jpeg();  // the GPS IFD pointed at IFD0 itself
  overlapping.replace(overlapping.find(std::string("\x25\x88\x04\0\x01\0\0\0", 8)) + 8, 4, U32(8));
  std::string compressed = Png();  // XMP deflated: not readable in place
  compressed[compressed.find("XML:com.adobe.xmp") + 18] = 1;
  const std::string plain = Str(MakeJpeg(16, 16, false));
  for (const auto& [file, state] : std::vector<std::pair<std::string, TLocationState>>{
           {overlapping, TLocationState::lsUnsafe},
           {compressed, TLocationState::lsUnsafe},
           {"GIF89a" + kXmp, TLocationState::lsUnsafe},        // a kind not edited
           {Jpeg().substr(0, 300), TLocationState::lsUnsafe},  // cut inside the XMP
           {plain, TLocationState::lsNone},
           {plain.substr(0, 40), TLocationState::lsNone}}) {  // broken, nothing seen
    EXPECT_EQ(RemoveLocation(file).State, state) << file.size();
  }
}

class NoObserver : public IBuildObserver {};

TEST(Location, CopiesLoseItOnlyWithTheOptionAndGetItBackWithout) {
  InstallCodecs();
  TempDir src, out, other;
  TBuildRequest request;
  request.CreateTarget = true;
  for (const auto& [name, bytes] : std::vector<std::pair<std::string, std::string>>{
           {"a.jpg", Jpeg()}, {"b.tif", TiffFile()}, {"c.jpg", Str(MakeJpeg(16, 16, false))}}) {
    WriteFile(src / name, bytes);
    request.Pictures.push_back({name, src / name});
  }
  TBuildEngine engine;
  NoObserver none;
  auto run = [&](const std::string& dir, bool strip) {
    request.Options.TargetDir = dir;
    request.Options.StripLocation = strip;
    return engine.Run(request, none);
  };
  TBuildResult r = run(out.Path(), false);
  ASSERT_EQ(r.Outcome, TBuildOutcome::boDone) << r.Message;
  EXPECT_EQ(r.PicturesLocated, 2);
  EXPECT_EQ(ReadFile(out / "a.jpg"), ReadFile(src / "a.jpg"));
  for (int pass = 0; pass < 2; ++pass) {  // the second: a rebuild, nothing to do
    r = run(out.Path(), true);
    ASSERT_EQ(r.Outcome, TBuildOutcome::boDone) << r.Message;
    EXPECT_EQ(r.PicturesLocated, 0);
    EXPECT_EQ(ReadFile(out / "a.jpg"), RemoveLocation(ReadFile(src / "a.jpg")).Bytes);
    EXPECT_EQ(ReadFile(out / "c.jpg"), ReadFile(src / "c.jpg"));
    for (const char* made : {"a.jpg", "b.tif", "tna.jpg", "tnb.jpg", "b.tif.jpg"})
      EXPECT_EQ(RemoveLocation(ReadFile(out / made)).State, TLocationState::lsNone) << made;
  }
  EXPECT_EQ(run(out.Path(), false).Outcome, TBuildOutcome::boDone);
  EXPECT_EQ(ReadFile(out / "b.tif"), ReadFile(src / "b.tif"));
  // A file the build did not make stays as it is.
  WriteFile(other / "a.jpg", ReadFile(src / "a.jpg"));
  EXPECT_EQ(run(other.Path(), true).Outcome, TBuildOutcome::boDone);
  EXPECT_EQ(ReadFile(other / "a.jpg"), ReadFile(src / "a.jpg"));
}

// The copy step reads a JPEG's head whole and the rest block by block: the copy, its facts
// and its refusals are those of the whole file read at once, also for location text in the
// rest, across a block's end or the head's, and for heads longer than a block.
TEST(Location, OnePassCopyIsTheWholeFileRead) {
  const std::string plain = Str(MakeJpeg(16, 16, false)), located = Jpeg();
  const auto after = [](const std::string& jpeg, std::size_t at, const std::string& text) {
    std::string file = jpeg + std::string(at - jpeg.size(), 'x') + text;
    return file + std::string(150000, 'y');
  };
  const std::size_t sos = plain.find("\xFF\xDA");
  std::string seam = plain;  // the SOS segment ends in "GPSLo", the picture data goes on
  seam.replace(sos + 2, 2, std::string{0, char(plain[sos + 3] + 5)});
  seam.insert(sos + 2 + static_cast<unsigned char>(plain[sos + 3]), "GPSLo");
  seam.insert(sos + 2 + static_cast<unsigned char>(plain[sos + 3]) + 5, "ngitude");
  const std::string app2 =
      "\xFF\xE2" + std::string{char(0xEA), char(0x62)} + std::string(60000, 'a');
  const std::string longHead = located.substr(0, 2) + app2 + app2 + located.substr(2);
  TempDir dir, out;
  for (const auto& [name, file] : std::vector<std::pair<std::string, std::string>>{
           {"plain", plain},
           {"located", located},
           {"text-after", after(plain, 70000, "GPSLatitude")},
           {"text-across-blocks", after(plain, 65536 - 5, "GPSLongitude")},
           {"text-across-head", seam},
           {"long-head", longHead},
           {"long-head-plain", plain.substr(0, 2) + app2 + app2 + plain.substr(2)},
           {"cut-head", located.substr(0, 300)},
           {"png", Png()}}) {
    WriteFile(dir / name, file);
    for (const bool strip : {false, true}) {
      SCOPED_TRACE(name + (strip ? " strip" : ""));
      std::string whole, oneBlock;
      TSourceFacts a, b;
      std::string copy;
      try {
        a = ReadSourceFacts(dir / name, strip, false);
      } catch (const std::exception& e) {
        whole = e.what();
      }
      try {
        if (const auto temp = CopySourceToTemp(dir / name, strip, false, out.Path(), {}, {}, b)) {
          copy = ReadFile(temp->Path());
        } else {
          copy = b.Bytes;
        }
      } catch (const std::exception& e) {
        oneBlock = e.what();
      }
      EXPECT_EQ(oneBlock, whole);
      if (!whole.empty()) continue;
      EXPECT_EQ(copy, a.Bytes);
      EXPECT_EQ(b.Hash, a.Hash);
      EXPECT_EQ(b.CopyHash, a.CopyHash);
      EXPECT_EQ(b.Located, a.Located);
    }
  }
  EXPECT_TRUE(Listing(out.Path()).empty());  // no temporary file left behind
}

// A copy refused half-way through the list fails the build with its reason while workers are
// already making the pictures copied before it: none of theirs is written, and no temporary
// file is left.
TEST(Location, ARefusedCopyStopsTheWorkersBeforeAnythingIsWritten) {
  InstallCodecs();
  std::string unsafe = Jpeg();  // the GPS IFD pointed at IFD0 itself
  unsafe.replace(unsafe.find(std::string("\x25\x88\x04\0\x01\0\0\0", 8)) + 8, 4, U32(8));
  TempDir src, out;
  TBuildRequest request;
  request.Jobs = 3;
  request.Options.TargetDir = out.Path();
  request.Options.StripLocation = true;
  std::vector<std::string> copies;
  for (int i = 0; i < 8; ++i) {
    const std::string name = "p" + std::to_string(i) + ".jpg";
    WriteFile(src / name, i == 6 ? unsafe : Str(MakeJpeg(400, 300, false)));
    request.Pictures.push_back({name, src / name});
    if (i < 6) copies.push_back(name);
  }
  TBuildEngine engine;
  NoObserver none;
  const TBuildResult r = engine.Run(request, none);
  EXPECT_EQ(r.Outcome, TBuildOutcome::boFailed);
  EXPECT_NE(r.Message.find("Cannot remove the location from " + (src / "p6.jpg")),
            std::string::npos)
      << r.Message;
  EXPECT_EQ(r.PicturesDone, 0);
  EXPECT_EQ(Listing(out.Path()), copies);
}
