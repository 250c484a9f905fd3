// The GPS IFD of a TIFF structure. The pointer entry leaves its IFD (the entries after it move
// up, the freed 12 bytes become zeros) and the GPS IFD and the values it points to are zeroed
// rather than left unreferenced, so the coordinates are not still in the file for anyone with
// a hex viewer. Nothing else moves: offsets that maker notes keep stay right.
#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "metadata/location_parts.h"

namespace folivant::location {
namespace {

constexpr std::uint32_t kGpsPointer = 0x8825;
constexpr std::uint32_t kXmpPacket = 700;
constexpr int kMaxIfds = 16;  // a chain longer than this is hostile

class TTiff {
 public:
  explicit TTiff(Bytes b) : b_(b), little_(b.size() >= 2 && b[0] == 'I') {}
  std::uint64_t Size() const { return b_.size(); }
  std::uint32_t U16(std::uint64_t at) const {
    const unsigned char* p = b_.data() + at;
    return little_ ? static_cast<std::uint32_t>(p[0] | p[1] << 8) : Be16(p);
  }
  std::uint32_t U32(std::uint64_t at) const {
    return little_ ? Le32(b_.data() + at) : Be32(b_.data() + at);
  }
  void PutU16(std::uint64_t at, std::uint32_t v) {
    b_[at + (little_ ? 0 : 1)] = static_cast<unsigned char>(v);
    b_[at + (little_ ? 1 : 0)] = static_cast<unsigned char>(v >> 8);
  }
  // The bytes of an entry's value (offset, length), or nothing when it does not fit.
  bool Value(std::uint64_t entry, std::uint64_t& at, std::uint64_t& length) const {
    static constexpr unsigned kTypeSize[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
    const std::uint32_t type = U16(entry + 2);
    const std::uint64_t unit = type < std::size(kTypeSize) ? kTypeSize[type] : 0;
    length = unit * U32(entry + 4);
    at = length <= 4 ? entry + 8 : U32(entry + 8);
    return unit != 0 && Inside(at, length, Size());
  }
  Bytes Span(std::uint64_t at, std::uint64_t length) { return b_.subspan(at, length); }
  unsigned char* At(std::uint64_t at) { return b_.data() + at; }

 private:
  Bytes b_;
  bool little_;
};

using TRange = std::pair<std::uint64_t, std::uint64_t>;  // offset, length

// The entry table of the IFD at at: its length (count, entries, next pointer), or 0.
std::uint64_t TableLength(const TTiff& t, std::uint64_t at) {
  if (!Inside(at, 2, t.Size())) return 0;
  const std::uint64_t length = 2 + 12ull * t.U16(at) + 4;
  return Inside(at, length, t.Size()) ? length : 0;
}

// What the GPS IFD at at occupies: its table and its values outside the table.
std::vector<TRange> GpsRanges(const TTiff& t, std::uint64_t at) {
  std::vector<TRange> ranges;
  const std::uint64_t table = TableLength(t, at);
  if (table == 0) return ranges;  // a pointer to nothing: removing it is enough
  ranges.emplace_back(at, table);
  for (std::uint64_t e = at + 2; e + 12 <= at + table - 4; e += 12) {
    std::uint64_t value = 0, length = 0;
    if (t.Value(e, value, length) && length > 4) ranges.emplace_back(value, length);
  }
  return ranges;
}

bool Overlap(const TRange& a, const TRange& b) {
  return a.first < b.first + b.second && b.first < a.first + a.second;
}

// Removes every GPS pointer of the IFD at at (whose table is table bytes long).
void EditIfd(TTiff& t, std::uint64_t at, std::uint64_t table, TScan& scan) {
  std::uint32_t count = t.U16(at);
  for (std::uint32_t k = 0; k < count;) {
    const std::uint64_t e = at + 2 + 12ull * k;
    if (t.U16(e) != kGpsPointer) {
      ++k;
      continue;
    }
    std::vector<TRange> ranges;
    const std::uint32_t type = t.U16(e + 2);
    if ((type == 4 || type == 13) && t.U32(e + 4) == 1) ranges = GpsRanges(t, t.U32(e + 8));
    const TRange own{at, table};
    if (std::any_of(ranges.begin(), ranges.end(),
                    [&](const TRange& r) { return Overlap(r, own); })) {
      scan.Unsafe = "its GPS block overlaps the tags around it";
      return;
    }
    // The entries after it and the next-IFD pointer move up; the freed end becomes zeros.
    const std::uint64_t end = at + table;
    std::memmove(t.At(e), t.At(e + 12), end - (e + 12));
    std::memset(t.At(end - 12), 0, 12);
    t.PutU16(at, --count);
    table -= 12;
    for (const TRange& r : ranges) std::memset(t.At(r.first), 0, r.second);
    scan.Removed = true;
  }
  // An XMP packet inside the TIFF structure (a TIFF file's own).
  for (std::uint32_t k = 0; k < count; ++k) {
    const std::uint64_t e = at + 2 + 12ull * k;
    std::uint64_t value = 0, length = 0;
    if (t.U16(e) == kXmpPacket && t.Value(e, value, length) && length > 4) {
      EditXmp(t.Span(value, length), scan);
    }
  }
}

}  // namespace

void EditTiff(Bytes tiff, TScan& scan) {
  const bool little = tiff.size() >= 8 && tiff[0] == 'I' && tiff[1] == 'I';
  const bool big = tiff.size() >= 8 && tiff[0] == 'M' && tiff[1] == 'M';
  TTiff t(tiff);
  if ((!little && !big) || t.U16(2) != 42) {
    scan.Break("not a TIFF structure");
    return;
  }
  std::vector<std::uint64_t> seen;
  std::uint64_t at = t.U32(4);
  for (int n = 0; at != 0 && scan.Unsafe.empty(); ++n) {
    const std::uint64_t table = TableLength(t, at);
    if (n > 0 && table == 0) return;  // a next pointer past the block, as many writers leave
    if (n == kMaxIfds || table == 0 || std::find(seen.begin(), seen.end(), at) != seen.end()) {
      scan.Break(n == 0 ? "its first IFD is damaged" : "its IFD chain loops");
      return;
    }
    seen.push_back(at);
    const std::uint64_t next = t.U32(at + table - 4);
    EditIfd(t, at, table, scan);
    at = next;
  }
}

}  // namespace folivant::location
