// Location properties of an XMP packet, overwritten with spaces: whitespace between elements
// and attributes leaves the packet valid XML and RDF, and its length (and so every length and
// offset around it) unchanged. Removed: exif:GPS* (every GPS tag mirrored in XMP), the place
// names photoshop:City, State and Country, and Iptc4xmpCore:Location and CountryCode, since a
// town or a sublocation says where as well as coordinates do. Prefixes are matched by their
// namespace, whatever the packet calls them.
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "metadata/location_parts.h"

namespace folivant::location {
namespace {

constexpr std::size_t npos = std::string_view::npos;

struct TPrefixes {
  std::vector<std::string_view> Exif{"exif"}, Photoshop{"photoshop"}, Iptc{"Iptc4xmpCore"};
};

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
bool IsNameChar(char c) {
  return !IsSpace(c) && c != '/' && c != '>' && c != '=' && c != '"' && c != '\'' && c != '<';
}
std::size_t SkipSpace(std::string_view s, std::size_t i) {
  while (i < s.size() && IsSpace(s[i])) ++i;
  return i;
}
std::size_t SkipName(std::string_view s, std::size_t i) {
  while (i < s.size() && IsNameChar(s[i])) ++i;
  return i;
}

// An attribute's quoted value from i (at the quote): the index after the closing quote.
std::size_t QuotedEnd(std::string_view s, std::size_t i) {
  if (i >= s.size() || (s[i] != '"' && s[i] != '\'')) return npos;
  const std::size_t end = s.find(s[i], i + 1);
  return end == npos ? npos : end + 1;
}

TPrefixes FindPrefixes(std::string_view s) {
  TPrefixes p;
  for (std::size_t i = 0; (i = s.find("xmlns:", i)) != npos;) {
    i += 6;
    const std::size_t nameEnd = SkipName(s, i);
    const std::string_view prefix = s.substr(i, nameEnd - i);
    std::size_t j = SkipSpace(s, nameEnd);
    if (j >= s.size() || s[j] != '=') continue;
    j = SkipSpace(s, j + 1);
    const std::size_t end = QuotedEnd(s, j);
    if (end == npos) continue;
    const std::string_view uri = s.substr(j + 1, end - j - 2);
    if (uri == "http://ns.adobe.com/exif/1.0/") p.Exif.push_back(prefix);
    if (uri == "http://ns.adobe.com/photoshop/1.0/") p.Photoshop.push_back(prefix);
    if (uri == "http://iptc.org/std/Iptc4xmpCore/1.0/xmlns/") p.Iptc.push_back(prefix);
  }
  return p;
}

bool IsLocation(std::string_view name, const TPrefixes& p) {
  const std::size_t colon = name.find(':');
  if (colon == npos) return false;
  const std::string_view prefix = name.substr(0, colon), local = name.substr(colon + 1);
  auto in = [&](const std::vector<std::string_view>& list) {
    for (std::string_view x : list) {
      if (x == prefix) return true;
    }
    return false;
  };
  if (in(p.Exif) && local.starts_with("GPS")) return true;
  if (in(p.Photoshop) && (local == "City" || local == "State" || local == "Country")) return true;
  return in(p.Iptc) && (local == "Location" || local == "CountryCode");
}

}  // namespace

void EditXmp(Bytes b, TScan& scan) {
  const std::string_view s(reinterpret_cast<const char*>(b.data()), b.size());
  const TPrefixes p = FindPrefixes(s);
  auto blank = [&](std::size_t from, std::size_t to) {
    std::memset(b.data() + from, ' ', to - from);
    scan.Removed = true;
  };
  int depth = 0;
  std::optional<std::pair<int, std::size_t>> removing;  // depth and start of a location element
  for (std::size_t i = 0; (i = s.find('<', i)) != npos;) {
    std::size_t end = npos;
    const std::string_view rest = s.substr(i);
    if (rest.starts_with("<!--")) {
      end = s.find("-->", i + 4);
      end = end == npos ? npos : end + 3;
    } else if (rest.starts_with("<?")) {
      end = s.find("?>", i + 2);
      end = end == npos ? npos : end + 2;
    } else if (rest.starts_with("<![CDATA[")) {
      end = s.find("]]>", i + 9);
      end = end == npos ? npos : end + 3;
    } else if (rest.starts_with("<!") || rest.starts_with("</")) {
      end = s.find('>', i);
      end = end == npos ? npos : end + 1;
      if (end != npos && rest[1] == '/') {
        depth = depth > 0 ? depth - 1 : 0;
        if (removing && depth == removing->first) {
          blank(removing->second, end);
          removing.reset();
        }
      }
    } else {
      const std::size_t nameEnd = SkipName(s, i + 1);
      const bool location = !removing && IsLocation(s.substr(i + 1, nameEnd - i - 1), p);
      std::size_t j = SkipSpace(s, nameEnd);
      while (j < s.size() && s[j] != '>' && s[j] != '/') {  // attributes
        const std::size_t from = j, attrEnd = SkipName(s, j);
        j = SkipSpace(s, attrEnd);
        if (attrEnd == from || j >= s.size() || s[j] != '=') break;
        j = QuotedEnd(s, SkipSpace(s, j + 1));
        if (j == npos) break;
        if (!removing && IsLocation(s.substr(from, attrEnd - from), p)) blank(from, j);
        j = SkipSpace(s, j);
      }
      // j is npos after an attribute without its closing quote: the packet is cut short.
      const bool empty = j < s.size() && j + 1 < s.size() && s[j] == '/' && s[j + 1] == '>';
      if (j < s.size() && (s[j] == '>' || empty)) end = j + (empty ? 2 : 1);
      if (end != npos && location && empty) blank(i, end);
      if (end != npos && location && !empty) removing.emplace(depth, i);
      if (!empty) ++depth;
    }
    if (end == npos) {
      scan.Break("its XMP packet is cut short");
      break;
    }
    i = end;
  }
  if (removing) scan.Unsafe = "its XMP packet ends inside a location property";
}

}  // namespace folivant::location
