#include "catalog/catalog_rules.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>
#include <system_error>

#include "imaging/picture_formats.h"

namespace folivant {

std::string PageFileName(std::string_view pictureName) {
  std::string out(pictureName);
  if (const auto dot = out.find('.'); dot != std::string::npos) out[dot] = '_';
  return out + ".html";
}

std::string TnFileName(std::string_view pictureName) {
  const auto dot = pictureName.rfind('.');
  return "tn" + std::string(pictureName.substr(0, dot)) + ".jpg";
}

bool NeedsWebCopy(std::string_view pictureName) {
  return PictureFormat(PictureKindOfName(std::string(pictureName))).WebCopy;
}

std::string WebCopyFileName(std::string_view pictureName) {
  return std::string(pictureName) + ".jpg";
}

void CheckBareFileName(std::string_view name) {
  if (name.empty() || name == "." || name == ".." ||
      name.find_first_of(std::string_view("/\0", 2)) != std::string_view::npos)
    throw ECatalogError("Not a plain file name: '" + std::string(name) + "'");
}

int ParseWholeNumber(std::string_view text) {
  const auto fail = [&] {
    return ECatalogError("'" + std::string(text) + "' is not a valid integer value");
  };
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) throw fail();
  std::int64_t value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') throw fail();
    value = value * 10 + (c - '0');
    if (value > std::int64_t{std::numeric_limits<int>::max()} + 1) throw fail();
  }
  if (negative) value = -value;
  if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
    throw fail();
  return static_cast<int>(value);
}

namespace {

ECatalogError FieldError(std::string_view field, std::string_view text, int min, int max) {
  std::string m = std::string(field) + " must be a whole number from " + std::to_string(min) +
                  " to " + std::to_string(max);
  // Rows and Columns share the cap; it bounds the size of a page, not only the spinners.
  if (field == "Rows" || field == "Columns")
    m += " (" + std::to_string(max) + " is the table's limit)";
  return ECatalogError(m + ", not '" + std::string(text) + "'");
}

}  // namespace

int TableFieldNumber(std::string_view field, std::string_view text, int min, int max) {
  int value = 0;
  try {
    value = ParseWholeNumber(text);
  } catch (const ECatalogError&) {
    throw FieldError(field, text, min, max);
  }
  if (value < min || value > max) throw FieldError(field, text, min, max);
  return value;
}

void CheckTableFields(const CatalogOptions& o) {
  using L = OptionLimits;
  TableFieldNumber("Rows", o.TableRows, L::kMinRows, L::kMaxRows);
  TableFieldNumber("Columns", o.TableCols, L::kMinCols, L::kMaxCols);
  TableFieldNumber("Border", o.Border, L::kMinBorder, L::kMaxBorder);
  TableFieldNumber("Cell Padding", o.Cellpadding, L::kMinCellpadding, L::kMaxCellpadding);
  TableFieldNumber("Cell Spacing", o.Cellspacing, L::kMinCellspacing, L::kMaxCellspacing);
}

int ItemsPerPage(int rows, int cols) {
  using L = OptionLimits;
  if (rows < L::kMinRows || rows > L::kMaxRows)
    throw FieldError("Rows", std::to_string(rows), L::kMinRows, L::kMaxRows);
  if (cols < L::kMinCols || cols > L::kMaxCols)
    throw FieldError("Columns", std::to_string(cols), L::kMinCols, L::kMaxCols);
  return rows * cols;
}

int ItemsPerPage(std::string_view rowsText, std::string_view colsText) {
  return ItemsPerPage(ParseWholeNumber(rowsText), ParseWholeNumber(colsText));
}

int ItemsPerPage(const CatalogOptions& options) {
  return ItemsPerPage(options.TableRows, options.TableCols);
}

int PageCount(int n, int rows, int cols) {
  const int perPage = ItemsPerPage(rows, cols);
  if (n < 0) throw ECatalogError("Negative picture count");
  return n / perPage + (n % perPage != 0 ? 1 : 0);
}

int PageOfIndex(int index, int rows, int cols) {
  const int perPage = ItemsPerPage(rows, cols);
  if (index < 0) throw ECatalogError("Negative picture index");
  return index / perPage + 1;
}

std::int64_t FileSizeKb(const std::string& path) {
  const auto fail = [&](int err) {
    return ECatalogError("Cannot open file " + path + ": " + std::generic_category().message(err));
  };
  if (path.find('\0') != std::string::npos) throw fail(EINVAL);
  // Non-blocking: a named pipe in the copy's place must not stop the build.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw fail(errno);
  struct stat st {};
  const int rc = ::fstat(fd, &st);
  const int err = errno;
  ::close(fd);
  if (rc != 0) throw fail(err);
  if (S_ISDIR(st.st_mode)) throw fail(EISDIR);
  if (!S_ISREG(st.st_mode))
    throw ECatalogError("Cannot open file " + path + ": not a regular file");
  return static_cast<std::int64_t>(st.st_size) / 1024;
}

}  // namespace folivant
