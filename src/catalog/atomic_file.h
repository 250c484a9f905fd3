// The file operations every writer shares: a fresh temporary name in the file's own folder,
// whole writes, a sync where the file must survive a power loss, a rename into place, and the
// temporary file removed on any failure. A reader never sees a half-written file under its
// real name. Functions return 0 or the errno of the failure, so each caller words its own error.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace folivant {

// Called before every create, write, rename and removal made here (a kill harness counts
// them); none by default. Not for production use.
using TFileOpHook = void (*)();
void SetFileOpHook(TFileOpHook hook);
void FileOpPoint();

// ".folivant-PID-N.tmp": every temporary file is named so, whoever writes it.
std::string TempFileName();
// The PID in a temporary file's name; 0 when the name is not one.
pid_t TempFilePid(std::string_view name);

// Writes everything, retrying short writes; 0 or errno.
int WriteAll(int fd, const char* data, std::size_t size);

class TTempFile {
 public:
  // Creates a new, empty file of a fresh temporary name in dir (mode 0666 less the umask).
  explicit TTempFile(std::string dir);
  // Closes it and removes it unless it was renamed into place.
  ~TTempFile();
  TTempFile(const TTempFile&) = delete;
  TTempFile& operator=(const TTempFile&) = delete;

  int Error() const { return error_; }  // the creation's
  int Fd() const { return fd_; }
  const std::string& Path() const { return path_; }
  int Write(std::string_view bytes) { return WriteAll(fd_, bytes.data(), bytes.size()); }
  // sync: its bytes reach the disk first.
  int Close(bool sync);
  // Renames the closed file to dir/name, replacing a file there or not (EEXIST then). sync:
  // the folder's entry reaches the disk too.
  int Commit(const std::string& name, bool replace, bool sync = false);

 private:
  std::string dir_;
  std::string path_;
  int fd_ = -1;
  int error_ = 0;
  bool done_ = false;
};

// bytes to dir/name through a temporary file and a rename, replacing a file there.
int WriteFileAtomically(const std::string& dir, const std::string& name, std::string_view bytes,
                        bool sync);

// Removes from dir the regular temporary files of processes no longer running on this machine
// (their PID is in the name); returns their names. A live process's files stay.
std::vector<std::string> RemoveStaleTempFiles(const std::string& dir);

}  // namespace folivant
