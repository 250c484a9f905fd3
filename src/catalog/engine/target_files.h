// Writing into the target folder so that no reader ever sees a half-written file under its
// real name: every file goes to a fresh temporary name beside it and is renamed into place.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace folivant {

class TTempFile;

class ETargetFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The build was stopped at once on request; a copy stopped so leaves nothing in the target.
class EBuildStopped : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// dir joined with a bare file name ("" dir means the current folder).
std::string JoinPath(const std::string& dir, const std::string& name);

// Writes bytes to dir/name through a temporary file in dir and a rename, replacing an
// existing file. Throws ETargetFileError("Cannot write PATH: reason"); the temporary file is
// removed and an existing file of that name is left as it was.
void WriteFileReplacing(const std::string& dir, const std::string& name, std::string_view bytes);

// Throws ETargetFileError("Cannot use PATH: it is a named pipe, not a regular file") when
// dir/name exists and is not a regular file or a link to one. Reading or replacing such a thing
// could block the build or lose it.
void CheckTargetName(const std::string& dir, const std::string& name);
// The entries of dir the file system does not call regular files (links, folders, and any it
// does not type): the only ones CheckTargetName need look at. nullopt when dir cannot be listed.
std::optional<std::unordered_set<std::string>> OddEntries(const std::string& dir);
// Strikes every name the folder lists from names; false when dir cannot be listed.
bool StrikeListed(const std::string& dir, std::unordered_set<std::string_view>& names);

// Copies the file at source to dir/name unless a file of that name exists; never replaces
// one, not even one that appears while copying. Returns true when it copied. Throws
// ETargetFileError("Cannot copy SOURCE to PATH: reason"). stop, when given, is asked between
// blocks; when it answers true the temporary file is removed and EBuildStopped is thrown.
// progress, when given, is told the bytes of each block copied.
bool CopyFileNoReplace(const std::string& source, const std::string& dir, const std::string& name,
                       const std::function<bool()>& stop = {},
                       const std::function<void(std::uint64_t)>& progress = {});
// The copy alone, into a closed temporary file in dir, which its Commit puts in place as name
// (a copy's record is journalled between the two). Throws as above.
std::unique_ptr<TTempFile> CopyToTemp(const std::string& source, const std::string& dir,
                                      const std::string& name,
                                      const std::function<bool()>& stop = {},
                                      const std::function<void(std::uint64_t)>& progress = {});

// True when both paths name the same file (one device and inode), or the same path.
bool SameFile(const std::string& a, const std::string& b);
// True when the two files hold the same bytes, or either cannot be read (nothing to report).
bool SameContent(const std::string& a, const std::string& b);

// The lines joined, each ended by CR LF (the last one too).
std::string JoinLinesCrLf(const std::vector<std::string>& lines);

}  // namespace folivant
