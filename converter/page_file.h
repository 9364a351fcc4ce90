// The file a page (or any file this system writes for its user) is written to. The text
// goes to a new file beside the target, which replaces the target only once all of it is in
// it: a conversion that fails, or a process that dies while writing, leaves the file that
// was there before untouched.
//
// What is at the target decides what happens:
// - nothing, or a regular file: the new file takes its place. A replaced file keeps its
//   permissions and, where the process may set them, its owner and group; its other hard
//   links (names in other folders) keep the old content, since a new file takes the name.
// - a symbolic link: the link itself is replaced, never followed, so a link planted in a
//   shared folder cannot turn the write onto a file it names. A link that names something
//   other than a regular file is refused, as that thing itself would be.
// - anything else (a folder, a FIFO, a device, a socket): refused, nothing is opened.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

namespace gridwell::conv {

class PageFile {
 public:
  PageFile() = default;
  PageFile(const PageFile&) = delete;
  PageFile& operator=(const PageFile&) = delete;
  // Removes the unfinished file unless Commit succeeded.
  ~PageFile();

  // Creates the file the text is written to. False, with one line saying why in `why`, when
  // the target is refused or nothing can be created.
  bool Open(const std::string& target, std::string& why);
  bool Write(std::string_view text, std::string& why);
  // Puts the written file in the target's place.
  bool Commit(std::string& why);

 private:
  void Discard();
  int fd_ = -1;
  int slot_ = -1;  // where the unfinished file is listed for RemoveUnfinishedPageFiles
  std::string target_;
  std::string temp_;
  // What the finished file gets: the replaced file's mode, owner and group, or else the
  // mode a new file gets (its owner stays the process).
  mode_t finalMode_ = 0600;
  bool keepOwner_ = false;
  uid_t owner_ = 0;
  gid_t group_ = 0;
};

// Removes the unfinished page files of this process. Safe in a signal handler: a process
// ended by a signal leaves no partial page beside its targets.
void RemoveUnfinishedPageFiles();

// True when both paths name the same existing file, also through links.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace gridwell::conv
