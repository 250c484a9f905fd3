// Where each container keeps its EXIF block and XMP packet. Walks stop at the compressed
// picture data (a JPEG's first scan) or at the end; every length is checked against what is
// left before it is used.
#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "metadata/location.h"
#include "metadata/location_parts.h"

namespace folivant::location {
namespace {

bool Starts(Bytes b, std::uint64_t at, std::string_view text) {
  return Inside(at, text.size(), b.size()) &&
         std::memcmp(b.data() + at, text.data(), text.size()) == 0;
}

std::uint32_t Crc32(const unsigned char* p, std::uint64_t n) {
  static const auto table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  std::uint32_t c = 0xFFFFFFFFu;
  for (std::uint64_t i = 0; i < n; ++i) c = table[(c ^ p[i]) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

// An APP1 segment's payload: EXIF, an XMP packet, or a piece of extended XMP.
void EditApp1(Bytes data, TScan& scan) {
  static constexpr std::string_view kExif("Exif\0\0", 6);
  static constexpr std::string_view kXmp("http://ns.adobe.com/xap/1.0/\0", 29);
  static constexpr std::string_view kXmpMore("http://ns.adobe.com/xmp/extension/\0", 35);
  if (Starts(data, 0, kExif)) {
    EditTiff(data.subspan(kExif.size()), scan);
  } else if (Starts(data, 0, kXmp)) {
    EditXmp(data.subspan(kXmp.size()), scan);
  } else if (Starts(data, 0, kXmpMore) && data.size() >= kXmpMore.size() + 40) {
    EditXmp(data.subspan(kXmpMore.size() + 40), scan);  // after the GUID, length and offset
  }
}

}  // namespace

// A JPEG's segments up to its picture data, each given to segment(marker, payload). The
// offset just past the first SOS segment, or 0 with why set when the segments stop before
// one (why empty: an EOI, no scan at all).
template <class Segment>
std::uint64_t JpegSegments(std::span<const unsigned char> f, std::string& why, Segment segment) {
  std::uint64_t at = 2;
  for (;;) {
    if (at >= f.size() || f[at] != 0xFF) return why = "a JPEG marker is missing", 0;
    while (at < f.size() && f[at] == 0xFF) ++at;  // fill bytes
    if (at >= f.size()) return why = "it ends before its picture data", 0;
    const unsigned marker = f[at++];
    if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;
    if (marker == 0xD9) return why.clear(), 0;
    if (!Inside(at, 2, f.size()) || Be16(&f[at]) < 2 || !Inside(at, Be16(&f[at]), f.size())) {
      return why = "a JPEG segment runs past the end", 0;
    }
    const std::uint64_t length = Be16(&f[at]);
    segment(marker, at + 2, length - 2);
    at += length;
    if (marker == 0xDA) return at;  // the compressed data begins: metadata comes before it
  }
}

bool IsJpeg(std::span<const unsigned char> f) {
  return f.size() >= 4 && f[0] == 0xFF && f[1] == 0xD8;
}

bool WalkJpeg(Bytes f, TScan& scan) {
  if (!IsJpeg(f)) return false;
  std::string why;
  const auto end = JpegSegments(f, why, [&](unsigned marker, std::uint64_t at, std::uint64_t n) {
    if (marker == 0xE1) EditApp1(f.subspan(at, n), scan);
  });
  if (end == 0 && !why.empty()) scan.Break(why);
  return true;
}

}  // namespace folivant::location

namespace folivant {

std::size_t JpegHeadLength(std::string_view bytes) {
  const std::span f(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  std::string why;
  return location::IsJpeg(f) ? location::JpegSegments(f, why, [](auto, auto, auto) {}) : 0;
}

}  // namespace folivant

namespace folivant::location {

bool WalkPng(Bytes f, TScan& scan) {
  if (!Starts(f, 0, "\x89PNG\r\n\x1A\n")) return false;
  static constexpr std::string_view kXmpKey("XML:com.adobe.xmp\0", 18);
  for (std::uint64_t at = 8;;) {
    if (!Inside(at, 12, f.size()) || !Inside(at + 12, Be32(&f[at]), f.size())) {
      return scan.Break("a PNG chunk runs past the end"), true;
    }
    const std::uint64_t length = Be32(&f[at]);
    const Bytes data = f.subspan(at + 8, length);
    const bool exif = Starts(f, at + 4, "eXIf");
    const bool xmp = Starts(f, at + 4, "iTXt") && Starts(data, 0, kXmpKey);
    if (exif) EditTiff(data, scan);
    if (xmp) {
      // Keyword, compression flag and method, language and translated keyword, then the text.
      const std::string_view s(reinterpret_cast<const char*>(data.data()), data.size());
      const std::size_t lang = kXmpKey.size() + 2;
      const std::size_t langEnd = lang <= s.size() ? s.find('\0', lang) : s.npos;
      const std::size_t keyEnd = langEnd == s.npos ? s.npos : s.find('\0', langEnd + 1);
      if (keyEnd == s.npos) {
        scan.Break("its XMP chunk is damaged");
      } else if (data[kXmpKey.size()] != 0) {
        scan.Unsafe = "its XMP packet is compressed";  // cannot be checked without inflating
      } else {
        EditXmp(data.subspan(keyEnd + 1), scan);
      }
    }
    if (exif || xmp) {  // used only when something was removed
      const std::uint32_t crc = Crc32(&f[at + 4], length + 4);
      for (int k = 0; k < 4; ++k)
        f[at + 8 + length + k] = static_cast<unsigned char>(crc >> (24 - 8 * k));
    }
    if (Starts(f, at + 4, "IEND")) return true;
    at += 12 + length;
  }
}

bool WalkWebp(Bytes f, TScan& scan) {
  if (!Starts(f, 0, "RIFF") || !Starts(f, 8, "WEBP")) return false;
  if (!Inside(8, Le32(&f[4]), f.size())) return scan.Break("it is cut short"), true;
  const std::uint64_t end = 8 + static_cast<std::uint64_t>(Le32(&f[4]));
  for (std::uint64_t at = 12; at < end;) {
    if (!Inside(at, 8, end) || !Inside(at + 8, Le32(&f[at + 4]), end)) {
      return scan.Break("a WebP chunk runs past the end"), true;
    }
    const std::uint64_t length = Le32(&f[at + 4]);
    const Bytes data = f.subspan(at + 8, length);
    if (Starts(f, at, "EXIF")) {
      // Some writers keep JPEG's "Exif" prefix here too.
      EditTiff(Starts(data, 0, std::string_view("Exif\0\0", 6)) ? data.subspan(6) : data, scan);
    }
    if (Starts(f, at, "XMP ")) EditXmp(data, scan);
    at += 8 + length + (length & 1);
  }
  return true;
}

namespace {

struct TBox {
  std::uint64_t Start = 0, Body = 0, End = 0;  // Body: after the header
  std::string_view Type;
};

// The box at at, inside [at, end); false when it does not fit.
bool ReadBox(Bytes f, std::uint64_t at, std::uint64_t end, TBox& box) {
  if (!Inside(at, 8, end)) return false;
  std::uint64_t size = Be32(&f[at]), header = 8;
  if (size == 1) {
    if (!Inside(at, 16, end)) return false;
    size = static_cast<std::uint64_t>(Be32(&f[at + 8])) << 32 | Be32(&f[at + 12]);
    header = 16;
  } else if (size == 0) {
    size = end - at;  // to the end
  }
  if (size < header || !Inside(at, size, end)) return false;
  box = {at, at + header, at + size, {reinterpret_cast<const char*>(&f[at + 4]), 4}};
  return true;
}

// Big-endian fields of n bytes (0 to 8) read in turn; once past end, every read gives 0.
class TCursor {
 public:
  TCursor(Bytes f, std::uint64_t at, std::uint64_t end) : f_(f), at_(at), end_(end) {}
  std::uint64_t Get(unsigned n) {
    if (!ok_ || !Inside(at_, n, end_)) {
      ok_ = false;
      return 0;
    }
    std::uint64_t v = 0;
    for (unsigned k = 0; k < n; ++k) v = v << 8 | f_[at_ + k];
    at_ += n;
    return v;
  }
  bool Ok() const { return ok_; }
  std::uint64_t At() const { return at_; }

 private:
  Bytes f_;
  std::uint64_t at_, end_;
  bool ok_ = true;
};

enum class TItem { Exif, Xmp };
using TExtents = std::vector<std::pair<std::uint64_t, std::uint64_t>>;  // file offset, length

// iinf: the items that hold EXIF or XMP, by id.
std::map<std::uint32_t, TItem> MetadataItems(Bytes f, const TBox& iinf, TScan& scan) {
  std::map<std::uint32_t, TItem> items;
  TCursor c(f, iinf.Body, iinf.End);
  const unsigned version = static_cast<unsigned>(c.Get(1));
  c.Get(3);
  c.Get(version == 0 ? 2 : 4);
  TBox infe;
  for (std::uint64_t at = c.At(); c.Ok() && at < iinf.End; at = infe.End) {
    if (!ReadBox(f, at, iinf.End, infe)) return scan.Break("its item list is damaged"), items;
    TCursor e(f, infe.Body, infe.End);
    const unsigned v = static_cast<unsigned>(e.Get(1));
    e.Get(3);
    if (infe.Type != "infe" || v < 2) continue;
    const auto id = static_cast<std::uint32_t>(e.Get(v == 2 ? 2 : 4));
    e.Get(2);
    const std::uint64_t typeAt = e.At();
    e.Get(4);
    if (!e.Ok()) continue;
    const std::string_view type(reinterpret_cast<const char*>(&f[typeAt]), 4);
    const std::string_view rest(reinterpret_cast<const char*>(&f[e.At()]), infe.End - e.At());
    const std::size_t nameEnd = rest.find('\0');  // the item's name, then its content type
    if (type == "Exif") items[id] = TItem::Exif;
    if (type == "mime" && nameEnd != rest.npos &&
        rest.substr(nameEnd + 1).starts_with(std::string_view("application/rdf+xml\0", 20))) {
      items[id] = TItem::Xmp;
    }
  }
  if (!c.Ok()) scan.Break("its item list is damaged");
  return items;
}

// iloc: where the wanted items lie in the file (idat: the item data box, or none).
std::map<std::uint32_t, TExtents> Locations(Bytes f, const TBox& iloc, const TBox* idat,
                                            const std::map<std::uint32_t, TItem>& wanted,
                                            TScan& scan) {
  std::map<std::uint32_t, TExtents> where;
  TCursor c(f, iloc.Body, iloc.End);
  const unsigned version = static_cast<unsigned>(c.Get(1));
  c.Get(3);
  const unsigned sizes = static_cast<unsigned>(c.Get(2));
  const unsigned offSize = sizes >> 12, lenSize = sizes >> 8 & 15, baseSize = sizes >> 4 & 15;
  const unsigned idxSize = version == 1 || version == 2 ? sizes & 15 : 0;
  for (unsigned s : {offSize, lenSize, baseSize, idxSize}) {
    if (s != 0 && s != 4 && s != 8) return scan.Break("its item locations are damaged"), where;
  }
  const std::uint64_t count = c.Get(version < 2 ? 2 : 4);
  std::uint64_t extents = 0;  // fields of 0 bytes take no room: the count is bounded instead
  for (std::uint64_t i = 0; i < count && c.Ok(); ++i) {
    const auto id = static_cast<std::uint32_t>(c.Get(version < 2 ? 2 : 4));
    const unsigned method = version == 1 || version == 2 ? c.Get(2) & 15 : 0;
    c.Get(2);
    const std::uint64_t base = c.Get(baseSize);
    const std::uint64_t n = c.Get(2);
    if ((extents += n) > (1u << 16)) return scan.Break("it has too many item pieces"), where;
    const bool want = wanted.count(id) != 0;
    if (want && (method > 1 || (method == 1 && !idat))) {
      scan.Break("its metadata item is stored in a way not read here");
      continue;
    }
    // An item not wanted may name an item data box the file does not have.
    const bool inIdat = method == 1 && idat;
    const std::uint64_t from = inIdat ? idat->Body : 0, to = inIdat ? idat->End : f.size();
    for (std::uint64_t k = 0; k < n && c.Ok(); ++k) {
      c.Get(idxSize);
      const std::uint64_t offset = c.Get(offSize), length = c.Get(lenSize);
      if (!want) continue;
      const std::uint64_t at = from + base + offset;
      const std::uint64_t size = length == 0 && at <= to ? to - at : length;  // 0: to the end
      if (base > to || offset > to || !Inside(at, size, to)) {
        scan.Break("a metadata item lies past the end");
      } else {
        where[id].emplace_back(at, size);
      }
    }
  }
  if (!c.Ok()) scan.Break("its item locations are damaged");
  return where;
}

// Two pieces of one item over the same bytes: putting the item back would write some of
// them twice, the second time unedited.
bool Overlap(TExtents pieces) {
  std::sort(pieces.begin(), pieces.end());
  for (std::size_t k = 1; k < pieces.size(); ++k) {
    if (pieces[k].first - pieces[k - 1].first < pieces[k - 1].second) return true;
  }
  return false;
}

// An item's pieces gathered, edited, and put back where they were.
void EditItem(Bytes f, TItem kind, const TExtents& pieces, TScan& scan) {
  std::uint64_t total = 0;
  for (const auto& [at, length] : pieces) total += length;
  if (total > f.size()) return scan.Break("a metadata item is larger than the file");
  std::vector<unsigned char> item;
  item.reserve(total);
  for (const auto& [at, length] : pieces)
    item.insert(item.end(), f.data() + at, f.data() + at + length);
  const Bytes b(item);
  const bool removedBefore = std::exchange(scan.Removed, false);
  if (kind == TItem::Xmp) {
    EditXmp(b, scan);
  } else if (b.size() < 4 || !Inside(4, Be32(b.data()), b.size())) {
    scan.Break("its EXIF item is damaged");  // the EXIF block follows 4 + this many bytes
  } else {
    EditTiff(b.subspan(4 + Be32(b.data())), scan);
  }
  if (!std::exchange(scan.Removed, removedBefore || scan.Removed)) return;  // as it was
  if (Overlap(pieces)) {
    scan.Unsafe = "its metadata item is made of pieces that overlap";
    return;
  }
  std::uint64_t from = 0;
  for (const auto& [at, length] : pieces) {
    if (length != 0) std::memcpy(f.data() + at, item.data() + from, length);
    from += length;
  }
}

void EditMeta(Bytes f, const TBox& meta, TScan& scan) {
  TBox iinf, iloc, idat, box;
  bool hasInfo = false, hasLoc = false, hasData = false;
  for (std::uint64_t at = meta.Body + 4; at < meta.End; at = box.End) {  // a full box
    if (!ReadBox(f, at, meta.End, box)) return scan.Break("its meta box is damaged");
    if (box.Type == "iinf" && !hasInfo) iinf = box, hasInfo = true;
    if (box.Type == "iloc" && !hasLoc) iloc = box, hasLoc = true;
    if (box.Type == "idat" && !hasData) idat = box, hasData = true;
  }
  if (!hasInfo) return;
  const auto items = MetadataItems(f, iinf, scan);
  if (items.empty()) return;
  if (!hasLoc) return scan.Break("its metadata items have no location");
  for (const auto& [id, pieces] : Locations(f, iloc, hasData ? &idat : nullptr, items, scan)) {
    EditItem(f, items.at(id), pieces, scan);
  }
}

}  // namespace

bool WalkIsoMedia(Bytes f, TScan& scan) {
  TBox box;
  if (!ReadBox(f, 0, f.size(), box) || box.Type != "ftyp") return false;
  for (std::uint64_t at = 0; at < f.size(); at = box.End) {
    if (!ReadBox(f, at, f.size(), box)) return scan.Break("a box runs past the end"), true;
    if (box.Type == "meta") EditMeta(f, box, scan);
  }
  return true;
}

}  // namespace folivant::location
