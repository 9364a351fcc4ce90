#include "control/gridwell.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <type_traits>

#include "control/file_ops.h"
#include "control/page_converter.h"

namespace gridwell {

using namespace fileops;

namespace {

constexpr const char* kRegenerateKey = "RegenerateHTML";
// Cap on fresh names drawn for one folder or file; the space holds 999999999 names.
constexpr int kMaxNameDraws = 1000;
// Read-service option: fetch from the server even when a cached copy exists.
constexpr int32_t kReadNoCache = 16;

// The one place where the control turns a failure into what its interface promises: every
// public member runs its work through Guarded. An exception of any kind (from the platform, from
// a host's handler, from the converter, std::bad_alloc when memory runs out) ends that step and
// gives the member's documented failure result: False for a method with a flag result, 0 for
// hwnd, and for the rest nothing, after which the member goes on with its next step. No failure
// reaches the host, nor the toolkit's C frames that deliver the platform's notifications.
template <typename Step>
std::invoke_result_t<Step&> Guarded(
    Step&& step, std::type_identity_t<std::invoke_result_t<Step&>> failed) noexcept {
  try {
    return step();
  } catch (...) {
    return failed;
  }
}

template <typename Step>
void Guarded(Step&& step) noexcept {
  try {
    step();
  } catch (...) {
  }
}

VbBool ToVb(bool value) {
  return value ? kVbTrue : kVbFalse;
}

bool ParseStoredBool(const std::string& text) {
  const std::string t = LowerAscii(TrimSpaces(text));
  return t == "true" || t == "-1" || t == "1" || t == "yes";
}

std::string WithoutTrailingSlashes(std::string dir) {
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

// The names RandomName gives: 1 to 9 digits without a leading zero.
bool IsFolderNumber(const std::string& name) {
  return !name.empty() && name.size() <= 9 && name[0] != '0' &&
         name.find_first_not_of("0123456789") == std::string::npos;
}

// True when `a` and `b` name the same workbook: the same file (device and inode) when both
// are there, so that two names of one file share its pages; else the same text, letter case
// included, as Linux names are.
bool SameWorkbook(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  if (::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0) {
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  }
  return a == b;
}

// The names of the entries of the folder open as `dirFd` that `keep` accepts.
std::vector<std::string> NamesIn(int dirFd, bool (*keep)(const std::string&)) {
  std::vector<std::string> names;
  if (const int listFd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC); listFd >= 0) {
    if (DIR* dir = ::fdopendir(listFd)) {
      while (dirent* entry = ::readdir(dir)) {
        if (keep(entry->d_name)) names.emplace_back(entry->d_name);
      }
      ::closedir(dir);
    } else {
      ::close(listFd);
    }
  }
  return names;
}

// Removes the numbered folders of the private base open as `baseFd` that no living control
// holds. A control keeps its folder locked from its first open to its destruction, and the lock
// ends with the process, so an unlocked folder is what a killed host left behind.
void RemoveStaleFoldersIn(int baseFd) {
  for (const std::string& name : NamesIn(baseFd, IsFolderNumber)) {
    const int fd = OpenPrivateFolderAt(baseFd, name);
    if (fd < 0) continue;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      DeleteFilesIn(fd);
      if (SameFolderAt(baseFd, name, fd)) ::unlinkat(baseFd, name.c_str(), AT_REMOVEDIR);
    }
    ::close(fd);
  }
}

void RemoveStaleFolders(const std::string& base) {
  const int baseFd = OpenPrivateFolderAt(AT_FDCWD, WithoutTrailingSlashes(base));
  if (baseFd < 0) return;
  RemoveStaleFoldersIn(baseFd);
  ::close(baseFd);
}

// The folders in which a control makes a private base of its own (GRIDWTEMP-XXXXXX, as mkdtemp
// names it) when the configured base is not safe to use, in the order they are tried.
constexpr const char kOwnBasePrefix[] = "GRIDWTEMP-";
std::vector<std::string> OwnBaseParents() {
  std::vector<std::string> parents;
  for (const char* var : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
    if (const char* v = std::getenv(var); v && *v) parents.emplace_back(v);
  }
  parents.emplace_back("/tmp");
  return parents;
}

bool IsOwnBaseName(const std::string& name) {
  const std::string prefix = kOwnBasePrefix;
  // /tmp/GRIDWTEMP-<uid> is the configured base of a user without a runtime folder.
  return name.size() == prefix.size() + 6 && name.starts_with(prefix) &&
         name != prefix + std::to_string(::geteuid());
}

// Removes the private bases that controls of killed hosts made for themselves, with what they
// hold: the user's own GRIDWTEMP-XXXXXX folders that no living control holds (a control keeps
// its own base locked while it lives). Without this, one planted configured base would leave
// every page of a killed host, decrypted workbooks included, behind for good.
void RemoveStaleOwnBases(const std::string& configured) {
  for (const std::string& parent : OwnBaseParents()) {
    const int parentFd = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parentFd < 0) continue;
    for (const std::string& name : NamesIn(parentFd, IsOwnBaseName)) {
      if (WithoutTrailingSlashes(configured) == parent + "/" + name) continue;
      const int fd = OpenPrivateFolderAt(parentFd, name);
      if (fd < 0) continue;  // another user's, or no private folder
      if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        RemoveStaleFoldersIn(fd);
        if (SameFolderAt(parentFd, name, fd)) ::unlinkat(parentFd, name.c_str(), AT_REMOVEDIR);
      }
      ::close(fd);
    }
    ::close(parentFd);
  }
}

}  // namespace

std::string DefaultTempBase() {
  std::string base;
  if (const char* g = std::getenv("GRIDWTEMP"); g && *g) {
    base = g;
  } else if (const char* x = std::getenv("XDG_RUNTIME_DIR"); x && *x) {
    base = std::string(x) + "/GRIDWTEMP";
  } else {
    base = "/tmp/GRIDWTEMP-" + std::to_string(::geteuid());
  }
  if (base.back() != '/') base += '/';
  return base;
}

bool EnsureTempBase(const std::string& base) {
  const std::string dir = WithoutTrailingSlashes(base);
  if (dir.empty() || dir.find('\0') != std::string::npos) return false;
  if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
  // An existing base must be this user's own private folder, not a link planted by someone else.
  const int fd = OpenPrivateFolderAt(AT_FDCWD, dir);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

// The arguments of OpenXL and OpenXLrange, brought to one shape.
struct Gridwell::OpenCommon {
  bool isRange = false;
  std::string strPath;
  const Variant* varSheet = nullptr;
  int32_t lngStartRow = 0;
  int16_t intStartCol = 0;
  int32_t lngEndRow = 0;
  int16_t intEndCol = 0;
  std::string strRange;
  std::string strPassword;
  VbBool blnShowFormulas = 0, blnHideRowNumbers = 0, blnHideColLetters = 0,
         blnColLettersAtBottom = 0, blnRowNumbersAtRight = 0;
  std::string strHeading, strTitle, strBackgroundColor, strBackgroundImageFile, strTableColor,
      strTableImageFile;
  VbBool* blnOpenSynchronously = nullptr;
  VbBool* blnNewBrowserWindow = nullptr;
  VbBool* blnShowComments = nullptr;
  VbBool* blnNoStyle = nullptr;
  VbBool blnCompactStyles = 0;
  int32_t lngFastPagesFrom = 0;
  VbBool blnSheetLook = 0;
};

Gridwell::Gridwell(const Platform& platform)
    : platform_(platform), converterFactory_(MakeHtmlConverter) {
  // Creation goes on past every failing step.
  Guarded([&] { platform_.browser.SetVisible(false); });
  std::string base = platform_.tempBase.empty() ? DefaultTempBase() : platform_.tempBase;
  if (base.back() != '/') base += '/';
  platform_.tempBase = base;
  Guarded([&] { RemoveStaleFolders(base); });
  Guarded([&] { RemoveStaleOwnBases(base); });
  for (int i = 0; i < kMaxNameDraws; ++i) {
    Guarded([&] { platform_.container.ProcessPendingMessages(); });
    folderName_ = RandomName();
    tempPath_ = base + folderName_ + "/";
    if (!FileExists(tempPath_)) break;
  }
}

Gridwell::~Gridwell() {
  Terminate();
}

void Gridwell::SetConverterFactory(std::function<std::unique_ptr<PageConverter>()> factory) {
  converterFactory_ = factory ? std::move(factory) : MakeHtmlConverter;
}

std::string Gridwell::RandomName() {
  std::string name;
  for (int i = 0; i < kMaxNameDraws; ++i) {
    double r = static_cast<double>(platform_.random.Uniform());
    if (!(r >= 0.0) || r >= 1.0) r = 0.0;
    const auto n = static_cast<int64_t>(std::floor(r * 999999999.0)) + 1;
    name = std::to_string(n);
    if (!FileExists(name)) break;
  }
  return name;
}

int32_t Gridwell::hwnd() const {
  return Guarded([&] { return platform_.container.WindowHandle(); }, 0);
}

void Gridwell::SetRegenerateHTML(VbBool value) {
  regenerateHTML_ = value;
  Guarded([&] { platform_.container.Properties().Changed(kRegenerateKey); });
}

void Gridwell::InitProperties() {
  regenerateHTML_ = kVbFalse;
}

void Gridwell::ReadProperties() {
  Guarded([&] {
    regenerateHTML_ =
        ToVb(ParseStoredBool(platform_.container.Properties().Read(kRegenerateKey, "False")));
  });
}

void Gridwell::WriteProperties() {
  Guarded([&] {
    platform_.container.Properties().Write(kRegenerateKey, regenerateHTML_ ? "True" : "False",
                                           "False");
  });
}

void Gridwell::OnShow(int width, int height) {
  OnResize(width, height);
}

void Gridwell::OnResize(int width, int height) {
  Guarded([&] { platform_.browser.Move(0, 0, width, height); });
}

void Gridwell::OnPaint() {
  // The browser covers the whole client area; nothing of the control's own surface shows.
}

namespace {
struct DepthScope {
  explicit DepthScope(int& d) : depth(d) { ++depth; }
  ~DepthScope() { --depth; }
  int& depth;
};
}  // namespace

bool Gridwell::WaitUntil(const bool& flag, double limitSeconds) {
  DepthScope scope(waitDepth_);
  const double start = platform_.clock.Seconds();
  for (;;) {
    // A handler may have destroyed the control meanwhile: stop touching the platform.
    if (terminated_) return false;
    platform_.container.ProcessPendingMessages();
    if (flag) return true;
    if (terminated_ || platform_.clock.Seconds() - start >= limitSeconds) return false;
  }
}

void Gridwell::Pause(double seconds) {
  DepthScope scope(waitDepth_);
  const double start = platform_.clock.Seconds();
  while (platform_.clock.Seconds() - start < seconds) {
    platform_.container.ProcessPendingMessages();
  }
}

void Gridwell::Terminate() {
  if (terminated_) return;
  terminated_ = true;
  // Each step of the clean-up runs whatever became of the one before.
  Guarded([&] { platform_.browser.NavigateBlank(); });
  Guarded([&] { Pause(limits_.destroyPauseSeconds); });
  // Only a folder this control created is ever emptied or removed.
  if (folderFd_ < 0) return;
  if (!htmlFile_.empty()) DeleteFilesIn(folderFd_);
  Guarded([&] { RemoveTempFolder(); });
}

void Gridwell::RemoveTempFolder() {
  // Removed only while its name still leads to the folder made; it fails when files remain.
  if (SameFolderAt(baseFd_, folderName_, folderFd_)) {
    ::unlinkat(baseFd_, folderName_.c_str(), AT_REMOVEDIR);
  }
  ::close(folderFd_);  // ends the lock
  folderFd_ = -1;
  if (ownBase_) ::rmdir(WithoutTrailingSlashes(platform_.tempBase).c_str());
  ::close(baseFd_);
  baseFd_ = -1;
}

int Gridwell::OpenBaseFolder() {
  const int fd = OpenPrivateFolderAt(AT_FDCWD, WithoutTrailingSlashes(platform_.tempBase));
  // A missing base fails the open, as it always did; one that others could reach or replace is
  // passed over for a fresh private one.
  if (fd >= 0 || errno == ENOENT) return fd;
  for (const std::string& parent : OwnBaseParents()) {
    std::string made = parent + "/" + kOwnBasePrefix + "XXXXXX";
    if (!::mkdtemp(made.data())) continue;
    // Locked for the control's life, so that no other control sweeps it as stale; one that
    // was swept in between is passed over.
    const int own = OpenPrivateFolderAt(AT_FDCWD, made);
    struct stat st;
    if (own >= 0 && ::flock(own, LOCK_EX | LOCK_NB) == 0 && ::fstat(own, &st) == 0 &&
        st.st_nlink > 0) {
      platform_.tempBase = made + "/";
      ownBase_ = true;
      return own;
    }
    if (own >= 0) ::close(own);
    ::rmdir(made.c_str());
  }
  return -1;
}

bool Gridwell::EnsureTempFolder() {
  if (folderFd_ >= 0) {
    // Later requests work by path: the path must still lead to the folder made.
    struct stat entry, open;
    const std::string dir = WithoutTrailingSlashes(tempPath_);
    return ::lstat(dir.c_str(), &entry) == 0 && ::fstat(folderFd_, &open) == 0 &&
           S_ISDIR(entry.st_mode) && entry.st_dev == open.st_dev && entry.st_ino == open.st_ino;
  }
  const int base = OpenBaseFolder();
  if (base < 0) return false;
  for (int i = 0; i < kMaxNameDraws; ++i) {
    tempPath_ = platform_.tempBase + folderName_ + "/";
    if (::mkdirat(base, folderName_.c_str(), 0700) == 0) {
      // Locked at once, so that no other control takes it for a stale folder; a folder removed
      // as stale in between is left for another name.
      const int fd = OpenPrivateFolderAt(base, folderName_);
      struct stat st;
      if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &st) == 0 &&
          st.st_nlink > 0) {
        folderFd_ = fd;
        baseFd_ = base;
        return true;
      }
      if (fd >= 0) ::close(fd);
    } else if (errno != EEXIST) {
      break;
    }
    // Someone else holds this name (another control drew the same number): never share it.
    folderName_ = RandomName();
  }
  ::close(base);
  return false;
}

void Gridwell::EmptyTempFolder() {
  pagePasswords_.clear();
  DeleteFilesIn(folderFd_);
}

void Gridwell::RaiseOpen(const std::function<void(std::string&, std::string&)>& event) {
  if (terminated_ || !event) return;
  auto handler = event;  // a handler may replace the event while it runs
  handler(excelFile_, htmlFile_);
}

void Gridwell::OnBeforeNavigate() {
  if (terminated_) return;
  documentLoaded_ = false;
  Guarded([&] { RaiseOpen(OpenStart); });
}

void Gridwell::OnNavigateComplete() {
  if (terminated_) return;
  documentLoaded_ = true;
  pageShown_ = true;
  Guarded([&] { RaiseOpen(OpenComplete); });
}

void Gridwell::OnNavigateError() {
  if (terminated_) return;
  documentLoaded_ = true;
  // No page was written for the workbook (unreadable, wrong password, gone): the sheet shown
  // before must not stay on screen as if it were the new one. A link followed from a page that
  // is there keeps that page.
  Guarded([&] {
    if (requestedPage_.empty() || FileExists(requestedPage_)) return;
    pageShown_ = false;
    platform_.browser.ShowErrorPage(
        openErrorText_.empty() ? "The workbook " + FileNameOf(excelFile_) + " could not be shown."
                               : openErrorText_);
  });
  Guarded([&] { RaiseOpen(OpenError); });
}

// ---- Download ----

VbBool Gridwell::BeginDownload(std::string& strURL, std::string& strFile) {
  if (terminated_) return kVbFalse;
  return Guarded(
      [&] {
        downloadDone_ = false;
        if (auto handler = DownloadStarted) handler(strFile);
        cancelledReads_.erase(strFile);
        return ToVb(platform_.container.StartBoundedRead(
            strURL, strFile, kReadNoCache,
            ReadLimits{downloadLimits_.maxBytes, downloadLimits_.maxSeconds}));
      },
      kVbFalse);
}

void Gridwell::OnReadProgress(const std::string& propertyName, int32_t current, int32_t total) {
  if (total == 0 || terminated_ || cancelledReads_.count(propertyName)) return;
  Guarded([&] {
    int32_t cur = current, max = total;
    std::string file = propertyName;
    if (auto handler = DownloadProgress) handler(cur, max, file);
  });
}

void Gridwell::OnReadComplete(const std::string& propertyName, int32_t total,
                              const std::vector<uint8_t>& data, bool failed,
                              const std::string& failure) {
  if (cancelledReads_.erase(propertyName)) return;
  // A refused or broken transfer counts as failed even when the server sent an error page.
  const bool received = !failed && total != 0 && !data.empty();
  Guarded([&] {
    downloadErrorText_ = received           ? std::string()
                         : !failure.empty() ? failure
                         : failed           ? std::string("the transfer failed")
                                            : std::string("no data received");
  });
  Guarded([&] {
    if (received) {
      WriteFileAtomically(propertyName, data);
    } else if (!terminated_) {
      std::string file = propertyName;
      if (auto handler = DownloadError) handler(file);
    }
  });
  downloadDone_ = true;
  if (terminated_) return;
  Guarded([&] {
    int32_t max = received ? total : 0;
    std::string file = propertyName;
    if (auto handler = DownloadComplete) handler(max, file);
  });
}

// A download whose wait ended by its time limit: the transfer stops, and neither its file nor
// its events come later. A partial file in the control's folder goes; a file the host named
// is the host's.
void Gridwell::CancelDownload(const std::string& file) {
  cancelledReads_.insert(file);
  downloadDone_ = true;
  char text[96];
  std::snprintf(text, sizeof text, "the wait for the download ended after its limit of %g s",
                limits_.downloadSeconds);
  downloadErrorText_ = text;
  Guarded([&] { platform_.container.CancelRead(file); });
  if (folderFd_ >= 0 && file.size() > tempPath_.size() &&
      file.compare(0, tempPath_.size(), tempPath_) == 0 &&
      file.find('/', tempPath_.size()) == std::string::npos) {
    ::unlinkat(folderFd_, file.c_str() + tempPath_.size(), 0);
  }
}

// ---- Open workflow ----

namespace {

// The scheme of an address the control downloads before it converts.
bool IsAddress(const std::string& path) {
  const std::string scheme = LowerAscii(path.substr(0, 4));
  return scheme == "http" || scheme == "ftp:";
}

// Sheet rule: only a non-blank name or a positive 16-bit number chooses another sheet than the
// first. Sets the converter's sheet field and returns the tag that names the page.
std::string ChooseSheet(clsHTML& f, const Variant& sheet) {
  if (const auto* name = std::get_if<std::string>(&sheet); name && !TrimSpaces(*name).empty()) {
    f.Worksheet = *name;
    return *name;
  }
  const auto* number = std::get_if<int16_t>(&sheet);
  const int32_t chosen = number && *number > 0 ? *number : 1;
  f.Worksheetnum = chosen;
  return std::to_string(chosen);
}

}  // namespace

// The arguments OpenXL and OpenXLrange have in common; the by-reference ones stay linked
// to the caller's structure so that handlers and the open itself see one value.
template <typename Args>
void Gridwell::CopySharedArguments(Args& a, OpenCommon& c) {
  c.strPath = a.strPath;
  c.varSheet = &a.varSheet;
  c.strPassword = a.strPassword;
  c.blnShowFormulas = a.blnShowFormulas;
  c.blnHideRowNumbers = a.blnHideRowNumbers;
  c.blnHideColLetters = a.blnHideColLetters;
  c.blnColLettersAtBottom = a.blnColLettersAtBottom;
  c.blnRowNumbersAtRight = a.blnRowNumbersAtRight;
  c.strHeading = a.strHeading;
  c.strTitle = a.strTitle;
  c.strBackgroundColor = a.strBackgroundColor;
  c.strBackgroundImageFile = a.strBackgroundImageFile;
  c.strTableColor = a.strTableColor;
  c.strTableImageFile = a.strTableImageFile;
  c.blnOpenSynchronously = &a.blnOpenSynchronously;
  c.blnNewBrowserWindow = &a.blnNewBrowserWindow;
  c.blnShowComments = &a.blnShowComments;
  c.blnNoStyle = &a.blnNoStyle;
  c.blnCompactStyles = a.blnCompactStyles;
  c.lngFastPagesFrom = a.lngFastPagesFrom;
  c.blnSheetLook = a.blnSheetLook;
}

VbBool Gridwell::OpenXL(OpenXLArgs& a) {
  return Guarded(
      [&] {
        if (a.lngStartRow > 65536 || a.intStartCol > 256) return kVbFalse;
        OpenCommon c;
        CopySharedArguments(a, c);
        c.lngStartRow = a.lngStartRow;
        c.intStartCol = a.intStartCol;
        c.lngEndRow = a.lngEndRow;
        c.intEndCol = a.intEndCol;
        return Open(c);
      },
      kVbFalse);
}

VbBool Gridwell::OpenXLrange(OpenXLrangeArgs& a) {
  return Guarded(
      [&] {
        OpenCommon c;
        CopySharedArguments(a, c);
        c.isRange = true;
        c.strRange = a.strRange;
        return Open(c);
      },
      kVbFalse);
}

// Until the workbook is settled, a failing step is skipped; the named checks are the only early
// exits. From the conversion on, an error in the control's own steps ends the request with False
// (the caller's guard).
VbBool Gridwell::Open(OpenCommon& c) {
  if (terminated_) return kVbFalse;
  // Until the request says otherwise: a failure thrown out of it leaves this.
  SetOpenError(OpenFailure::Failed, "The workbook could not be opened.");
  Guarded([&] { platform_.browser.SetVisible(false); });
  std::string path = TrimSpaces(c.strPath).empty() ? path_ : c.strPath;
  path = TrimSpaces(CutAtNull(path));
  if (path.empty()) {
    SetOpenError(OpenFailure::NotFound, "No workbook was given.");
    return kVbFalse;
  }

  if (!EnsureTempFolder()) {
    SetOpenError(OpenFailure::Failed, "The temporary folder " + tempPath_ + " cannot be used.");
    return kVbFalse;
  }
  if (!SameWorkbook(path, excelFile_)) EmptyTempFolder();

  const std::string extension = ExtensionOf(path);
  const std::string address = IsAddress(path) ? path : std::string();
  // The texts name a downloaded workbook by its address's own file name, not its local copy.
  openName_ = FileNameOf(address.substr(0, address.find_first_of("?#")));
  if (!address.empty() && !DownloadWorkbook(path, extension)) {
    SetOpenError(OpenFailure::NotFound, "The download of " + address + " could not be started.");
    return kVbFalse;
  }
  if (!FileExists(path)) {
    SetOpenError(OpenFailure::NotFound,
                 address.empty()
                     ? "There is no workbook at " + path + "."
                     : "The download of " + address + " failed: " + downloadErrorText_ + ".");
    return kVbFalse;
  }
  excelFile_ = path;
  return ConvertAndShow(c, path, extension);
}

// Fetches the workbook at the address `path` into the temporary folder and waits for it; `path`
// becomes the local file. False when the download did not start or the control was destroyed
// meanwhile. A download whose wait ran out is cancelled; the check for the file then fails.
bool Gridwell::DownloadWorkbook(std::string& path, const std::string& extension) {
  // An address's "extension" may run across a "/" (http://host.name/get); such a tail does not
  // belong in a file name.
  const std::string localExtension =
      extension.find('/') == std::string::npos ? extension : std::string();
  const std::string localName = RandomName() + localExtension;
  std::string local = tempPath_ + localName;
  ::unlinkat(folderFd_, localName.c_str(), 0);
  std::string url = path;
  if (!BeginDownload(url, local)) return false;
  const bool done = WaitUntil(downloadDone_, limits_.downloadSeconds);
  if (terminated_) return false;
  if (!done) CancelDownload(local);
  path = local;
  tempWorkbook_ = local;
  return true;
}

// Settings from the arguments, the page shown again when it exists and may be reused, otherwise
// written anew; then the browser is sent to it.
VbBool Gridwell::ConvertAndShow(const OpenCommon& c, const std::string& path,
                                const std::string& extension) {
  std::unique_ptr<PageConverter> converter = converterFactory_();
  clsHTML& f = converter->Fields();
  f.ColLetters = c.blnColLettersAtBottom;
  f.ExcelFile = path;
  f.HideColLetters = c.blnHideColLetters;
  f.HideRowNumbers = c.blnHideRowNumbers;
  if (!TrimSpaces(c.strPassword).empty()) f.Password = c.strPassword;
  f.RowNumbers = c.blnRowNumbersAtRight;
  f.ShowFormulas = c.blnShowFormulas;
  if (c.isRange) {
    f.Range = TrimSpaces(c.strRange);
  } else {
    f.StartCol = c.intStartCol < 1 ? int16_t{1} : c.intStartCol;
    f.StartRow = c.lngStartRow < 1 ? 1 : c.lngStartRow;
    f.EndCol = c.intEndCol;
    f.EndRow = c.lngEndRow;
  }
  const std::string tag = ChooseSheet(f, *c.varSheet);

  const std::string page = tempPath_ + PageFileName(FileNameOf(path), extension, tag);
  if (FileExists(page)) {
    // A page is shown again only with the password it was written with: a protected
    // workbook's page never skips the check of the password.
    const auto written = pagePasswords_.find(page);
    if (!regenerateHTML_ && written != pagePasswords_.end() && written->second == f.Password) {
      converter.reset();
      SetOpenError(OpenFailure::None, {});
      return ShowPage(page, *c.blnOpenSynchronously);
    }
    ::unlinkat(folderFd_, FileNameOf(page).c_str(), 0);
  }
  pagePasswords_.erase(page);
  WritePage(*converter, c, page);
  sheetTotal_ = converter->SheetTotal();
  sheetNames_ = converter->SheetNames();
  NoteConversion(*converter, c, path);
  if (openFailure_ == OpenFailure::None) pagePasswords_[page] = f.Password;
  converter.reset();
  return ShowPage(page, *c.blnOpenSynchronously);
}

void Gridwell::SetOpenError(OpenFailure failure, std::string text) {
  openFailure_ = failure;
  openErrorText_ = failure == OpenFailure::None ? std::string() : std::move(text);
}

// What the page writer's stop means to the user of the control.
void Gridwell::NoteConversion(PageConverter& converter, const OpenCommon& c,
                              const std::string& path) {
  const std::string name = openName_.empty() ? FileNameOf(path) : openName_;
  const std::string detail = converter.LastStopDetail();
  switch (converter.LastStop()) {
    case ConvertStop::None:
      return SetOpenError(OpenFailure::None, {});
    case ConvertStop::NoWorkbookPath:
    case ConvertStop::MissingFile:
      return SetOpenError(OpenFailure::NotFound, "There is no workbook at " + path + ".");
    case ConvertStop::WrongExtension:
      return SetOpenError(OpenFailure::NotAWorkbook, name + " is not an .xls or .xlsx workbook.");
    case ConvertStop::WrongPassword:
      if (TrimSpaces(c.strPassword).empty()) {
        return SetOpenError(OpenFailure::PasswordNeeded,
                            name + " is protected: it opens only with its password.");
      }
      return SetOpenError(OpenFailure::WrongPassword, "The password does not open " + name + ".");
    case ConvertStop::Unreadable:
      if (IsNotAWorkbookFile(path)) {
        return SetOpenError(OpenFailure::NotAWorkbook, name + " is not an .xls or .xlsx workbook.");
      }
      return SetOpenError(OpenFailure::Unreadable, name + " cannot be read: " + detail + ".");
    case ConvertStop::NoSuchSheet:
      return SetOpenError(OpenFailure::NoSuchSheet, name + " has " + detail + ".");
    case ConvertStop::OutputNotWritable:
    case ConvertStop::PendingError:
    case ConvertStop::OutOfMemory:
      break;
  }
  SetOpenError(OpenFailure::Failed,
               "The page of " + name + " could not be written: " + detail + ".");
}

void Gridwell::WritePage(PageConverter& converter, const OpenCommon& c, const std::string& page) {
  clsHTML& f = converter.Fields();
  f.NewWindow = *c.blnNewBrowserWindow;
  f.ShowComments = *c.blnShowComments;
  f.CompactStyles = compactStyles_ || c.blnCompactStyles ? kVbTrue : kVbFalse;
  f.FastPagesFrom = c.lngFastPagesFrom > 0 ? c.lngFastPagesFrom : fastPagesFrom_;
  f.MaxPageBytes = pageLimits_.maxBytes;
  f.SheetLook = sheetLook_ || c.blnSheetLook ? kVbTrue : kVbFalse;
  const auto writer =
      *c.blnNoStyle ? &PageConverter::CreateHtmlFile : &PageConverter::CreateStyledHtmlFile;
  (converter.*writer)(page, c.strHeading, c.strTitle, c.strBackgroundColor,
                      c.strBackgroundImageFile, c.strTableColor, c.strTableImageFile);
}

VbBool Gridwell::ShowPage(const std::string& page, VbBool synchronously) {
  if (terminated_) return kVbFalse;
  requestedPage_ = page;
  if (!platform_.browser.Navigate(page)) {
    if (openFailure_ == OpenFailure::None) {
      SetOpenError(OpenFailure::Failed, "The browser could not be asked to show the page.");
    }
    return kVbFalse;
  }
  htmlFile_ = page;
  if (synchronously) WaitUntil(documentLoaded_, limits_.pageSeconds);
  if (terminated_) return kVbFalse;
  platform_.browser.SetVisible(true);
  return kVbTrue;
}

void Gridwell::GoHome(VbBool& blnOpenSynchronously) {
  Guarded([&] {
    if (terminated_ || htmlFile_.empty()) return;
    requestedPage_ = htmlFile_;
    platform_.browser.Navigate(htmlFile_);
    if (blnOpenSynchronously) WaitUntil(documentLoaded_, limits_.pageSeconds);
  });
}

void Gridwell::GoHome() {
  VbBool omitted = kVbFalse;
  GoHome(omitted);
}

// ---- Document commands ----

namespace {

// A browser command of a document method: nothing once the control is destroyed, and no
// failure beyond the method.
void RunCommand(bool terminated, Browser& browser, int32_t command, int32_t option) {
  if (!terminated) Guarded([&] { browser.ExecWB(command, option); });
}

}  // namespace

void Gridwell::SetupDocument() {
  RunCommand(terminated_, platform_.browser, kCmdPageSetup, kExecDefault);
}

void Gridwell::PrintDocument(VbBool& blnShowPrompt) {
  RunCommand(terminated_, platform_.browser, kCmdPrint,
             blnShowPrompt ? kExecPromptUser : kExecDontPromptUser);
}

void Gridwell::PrintDocument() {
  VbBool omitted = kVbFalse;
  PrintDocument(omitted);
}

void Gridwell::FindInDocument() {
  if (terminated_) return;
  Guarded([&] {
    // A find bar over no page would search nothing.
    if (!pageShown_ || !platform_.browser.Visible()) return;
    platform_.browser.SetFocus();
    platform_.browser.OpenFindDialog();
  });
}

void Gridwell::PrintPreviewDocument() {
  RunCommand(terminated_, platform_.browser, kCmdPrintPreview, kExecDefault);
}

void Gridwell::ShowDocumentProperties() {
  RunCommand(terminated_, platform_.browser, kCmdProperties, kExecDefault);
}

void Gridwell::SaveDocument() {
  RunCommand(terminated_, platform_.browser, kCmdSaveAs, kExecPromptUser);
}

void Gridwell::Refresh() {
  if (terminated_) return;
  Guarded([&] {
    platform_.container.Redraw();
    platform_.browser.Refresh();
  });
}

void Gridwell::Find() {
  RunCommand(terminated_, platform_.browser, kCmdHideToolbars, kExecDontPromptUser);
}

// ---- Saving ----

VbBool Gridwell::SaveHTML(std::string strDir, std::string& strFilename) {
  return Guarded(
      [&] {
        if (strDir.empty() || strDir.back() != '/') strDir += '/';
        if (htmlFile_.empty()) return kVbFalse;
        const std::string name =
            TrimSpaces(strFilename).empty() ? FileNameOf(htmlFile_) : strFilename;
        return ToVb(CopyFileReplacing(htmlFile_, strDir + name));
      },
      kVbFalse);
}

VbBool Gridwell::SaveHTML(std::string strDir) {
  std::string omitted;
  return SaveHTML(std::move(strDir), omitted);
}

VbBool Gridwell::SaveCopy(std::string& strCopyTo, VbBool& blnWarnIfExists) {
  return Guarded(
      [&] {
        if (FileExists(strCopyTo) && blnWarnIfExists) {
          const auto answer = platform_.messageBox.Show(
              "File '" + strCopyTo + "' exists.\r\nDo you want to overwrite it?",
              "Overwrite File Confirmation", 4132);
          if (answer != MessageBoxAnswer::Yes) return kVbFalse;
        }
        // The existing target is replaced only by a complete copy, never deleted beforehand.
        return ToVb(CopyFileReplacing(excelFile_, strCopyTo));
      },
      kVbFalse);
}

VbBool Gridwell::SaveCopy(std::string& strCopyTo) {
  VbBool omitted = kVbFalse;
  return SaveCopy(strCopyTo, omitted);
}

}  // namespace gridwell
