// Reading the record's JSON lines: a build of many albums reads every line of every part, so
// lines are parsed in place without building a tree of their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "catalog/record/build_record.h"

namespace folivant {

// A plain file name in one folder: not empty, not "." or "..", no slash or NUL.
bool IsBareName(std::string_view name);

// The bytes that must be readable after the text handed to ApplyRecordLines.
std::size_t RecordLinePadding();

// Applies the lines of one part file or journal to record: false when the first line is not
// the header of format and version. A last line without its newline was torn by a kill and
// is left out; bad counts the other lines that cannot be used.
bool ApplyRecordLines(std::string_view text, std::string_view format, std::int64_t version,
                      TBuildRecord& record, int& bad);

}  // namespace folivant
