// The file a page is written to. The page goes to a new file beside the target, which
// replaces the target only once the whole page is in it: a conversion that fails, or a
// process that dies while writing, leaves the file that was there before untouched.
#pragma once

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

  // Creates the file the page is written to. A target that is a link is followed (the page
  // replaces the file it names); a target that exists but is no ordinary file (a device, a
  // pipe) is written in place. False, with the reason in `why`, when nothing can be created.
  bool Open(const std::string& target, std::string& why);
  bool Write(std::string_view text, std::string& why);
  // Puts the written page in the target's place.
  bool Commit(std::string& why);

 private:
  void Discard();
  int fd_ = -1;
  int slot_ = -1;  // where the unfinished file is listed for RemoveUnfinishedPageFiles
  std::string target_;
  std::string temp_;  // empty when the target is written in place
};

// Removes the unfinished page files of this process. Safe in a signal handler: a process
// ended by a signal leaves no partial page beside its targets.
void RemoveUnfinishedPageFiles();

// True when both paths name the same existing file, also through links.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace gridwell::conv
