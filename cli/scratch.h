// The CLI's private scratch folder (downloads, a page on its way to standard output) and
// the clean-up that removes it, and any unfinished page, however the command ends: at
// return, or by a signal that ends the process.
#pragma once

#include <string>

namespace gridwell::cli {

// Removes the scratch folder and unfinished pages when the process receives a signal
// that ends it (interrupt, termination, hang-up, or a crash), then lets the signal end it.
void CleanUpOnSignals();

// A folder "gridwell-XXXXXX" under $TMPDIR (or /tmp), made on first use and removed with
// everything in it when the object goes. One at a time per process.
class ScratchFolder {
 public:
  ScratchFolder() = default;
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  ~ScratchFolder();
  // The folder's path, made now if it was not yet; empty when it cannot be made.
  const std::string& Path();

 private:
  std::string path_;
};

}  // namespace gridwell::cli
