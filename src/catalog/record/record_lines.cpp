#include "catalog/record/record_lines.h"

#include <simdjson.h>

#include <type_traits>

namespace folivant {
namespace {

using simdjson::dom::element;

std::optional<std::uint64_t> Hex(std::string_view s, std::size_t digits) {
  if (s.size() != digits) return std::nullopt;
  std::uint64_t v = 0;
  for (char c : s) {
    const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    if (d < 0) return std::nullopt;
    v = v << 4 | static_cast<std::uint64_t>(d);
  }
  return v;
}

// A text, or a name that is not UTF-8 written as {"hex": "..."}.
bool TextFrom(element j, std::string& out) {
  std::string_view text;
  if (j.get_string().get(text) == simdjson::SUCCESS) {
    out.assign(text);
    return true;
  }
  std::string_view hex;
  if (j["hex"].get_string().get(hex) != simdjson::SUCCESS || hex.size() % 2 != 0) return false;
  out.clear();
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const auto v = Hex(hex.substr(i, 2), 2);
    if (!v) return false;
    out += static_cast<char>(*v);
  }
  return true;
}

template <typename T>
bool Number(element j, const char* key, T& out) {
  if constexpr (std::is_signed_v<T>) {
    std::int64_t v = 0;
    if (j[key].get_int64().get(v) != simdjson::SUCCESS) return false;
    out = static_cast<T>(v);
  } else {
    std::uint64_t v = 0;
    if (j[key].get_uint64().get(v) != simdjson::SUCCESS) return false;
    out = static_cast<T>(v);
  }
  return true;
}

bool Has(element j, const char* key) {
  return j[key].error() == simdjson::SUCCESS;
}

// A recorded file; bare: its name must be a plain name in the target folder.
bool FileFrom(element j, TFileRecord& f, bool bare) {
  if (!j.is_object() || !Has(j, "name") || !TextFrom(j["name"].value_unsafe(), f.Name))
    return false;
  if (bare && !IsBareName(f.Name)) return false;
  std::string_view hash;
  if (j["hash"].get_string().get(hash) != simdjson::SUCCESS) return false;
  const auto value = Hex(hash, 16);
  if (!value) return false;
  f.Hash = *value;
  // An older line has neither change time nor inode: 0 matches no file, which is then read.
  f.Stamp.CtimeNs = 0;
  f.Stamp.Inode = 0;
  if (Has(j, "ctime") &&
      !(Number(j, "ctime", f.Stamp.CtimeNs) && Number(j, "inode", f.Stamp.Inode)))
    return false;
  return Number(j, "size", f.Stamp.Size) && Number(j, "mtime", f.Stamp.MtimeNs);
}

bool IntentFrom(element j, TIntent& intent) {
  return j.is_object() && Has(j, "file") && FileFrom(j["file"].value_unsafe(), intent.File, true) &&
         (!Has(j, "source") || TextFrom(j["source"].value_unsafe(), intent.Source));
}

bool Flag(element j, const char* key, bool& out) {
  return j[key].get_bool().get(out) == simdjson::SUCCESS;
}

bool OptionalFilesFrom(element j, TPictureRecord& p) {
  for (auto [key, file] : {std::pair{"thumbnail", &p.Thumbnail}, std::pair{"page", &p.Page},
                           std::pair{"webCopy", &p.WebCopy}, std::pair{"clipCopy", &p.ClipCopy}}) {
    if (Has(j, key) && !FileFrom(j[key].value_unsafe(), *file, true)) return false;
  }
  if (Has(j, "extras")) {
    simdjson::dom::array extras;
    if (j["extras"].get_array().get(extras) != simdjson::SUCCESS || extras.size() > 16)
      return false;
    for (element f : extras) {
      if (!FileFrom(f, p.Extras.emplace_back(), true) || p.Extras.back().Name.empty()) return false;
    }
  }
  return true;
}

bool PictureFrom(element j, TPictureRecord& p) {
  element source, copy;
  if (!j.is_object() || !Has(j, "name") || !TextFrom(j["name"].value_unsafe(), p.Name) ||
      !IsBareName(p.Name) || j["source"].get(source) != simdjson::SUCCESS ||
      !FileFrom(source, p.Source, false) || j["copy"].get(copy) != simdjson::SUCCESS ||
      !FileFrom(copy, p.Copy, true) || !Flag(copy, "made", p.CopyMade)) {
    return false;
  }
  if (Has(copy, "key") && !TextFrom(copy["key"].value_unsafe(), p.CopyKey)) return false;
  if (Has(source, "located")) {
    bool located = false;
    if (!Flag(source, "located", located)) return false;
    p.Located = located ? 1 : 0;
  }
  if (!OptionalFilesFrom(j, p)) return false;
  if (!Has(j, "image") || !TextFrom(j["image"].value_unsafe(), p.ImageKey)) return false;
  if (Has(j, "durationMs") && !Number(j, "durationMs", p.DurationMs)) return false;
  return Number(j, "when", p.When) && Number(j, "width", p.Width) &&
         Number(j, "height", p.Height) && Number(j, "tnWidth", p.TnWidth) &&
         Number(j, "tnHeight", p.TnHeight) && Number(j, "kb", p.SizeKb);
}

// One line after the header into record; false when it cannot be used.
bool ApplyLine(element j, TBuildRecord& record) {
  element value;
  if (j["picture"].get(value) == simdjson::SUCCESS) {
    TPictureRecord picture;
    if (!PictureFrom(value, picture)) return false;
    std::string name = picture.Name;
    record.Pictures.insert_or_assign(std::move(name), std::move(picture));
    return true;
  }
  if (j["intent"].get(value) == simdjson::SUCCESS) {
    TIntent intent;
    if (!IntentFrom(value, intent)) return false;
    record.Intents.push_back(std::move(intent));
    return true;
  }
  TFileRecord page;
  if (j["catalogPage"].get(value) != simdjson::SUCCESS || !FileFrom(value, page, true))
    return false;
  std::string name = page.Name;
  record.CatalogPages.insert_or_assign(std::move(name), std::move(page));
  return true;
}

bool IsHeader(element j, std::string_view format, std::int64_t version) {
  std::string_view f;
  std::int64_t v = 0;
  return j["format"].get_string().get(f) == simdjson::SUCCESS && f == format &&
         j["version"].get_int64().get(v) == simdjson::SUCCESS && v == version;
}

}  // namespace

bool IsBareName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

std::size_t RecordLinePadding() {
  return simdjson::SIMDJSON_PADDING;
}

bool ApplyRecordLines(std::string_view text, std::string_view format, std::int64_t version,
                      TBuildRecord& record, int& bad) {
  simdjson::dom::parser parser;
  std::size_t pos = 0;
  bool first = true;
  while (pos < text.size()) {
    const std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) break;  // torn, never finished: the picture is redone
    const std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    element j;
    // The text is padded as the parser needs: the line is read in place.
    const bool parsed =
        parser.parse(line.data(), line.size(), false).get(j) == simdjson::SUCCESS && j.is_object();
    if (first) {
      if (!parsed || !IsHeader(j, format, version)) return false;
      first = false;
    } else if (!parsed || !ApplyLine(j, record)) {
      ++bad;
    }
  }
  return true;
}

}  // namespace folivant
