// Gridwell: the viewer control of the Gridweller library. It opens a workbook (a local path or
// an http/https/ftp address), has the converter write one worksheet as an HTML page in the
// control's private temporary folder, and shows that page in an embedded browser.
//
// Toolkit-free: the control reaches its window, browser, downloads and dialogs only through
// the interfaces of platform.h. A GTK host creates it with gridwell_widget_new
// (control/gtk/gridwell_widget.h).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "control/platform.h"

namespace gridwell {

class PageConverter;  // control/page_converter.h

// Flags are 16-bit values: True is -1 (all bits set), False is 0.
using VbBool = int16_t;
inline constexpr VbBool kVbTrue = -1;
inline constexpr VbBool kVbFalse = 0;

// An optional variant argument: missing (std::monostate), a 16-bit integer, a 32-bit integer,
// a floating-point number or a string. Only a 16-bit integer or a string chooses a sheet; a
// plain `2` is a 32-bit integer and selects the first sheet.
using Variant = std::variant<std::monostate, int16_t, int32_t, float, double, std::string>;

// Arguments of OpenXL, in their order. Omitted members are "", 0 or False; varSheet missing.
// The last four are passed by reference: the control may read them after handlers ran.
struct OpenXLArgs {
  std::string strPath = {};
  Variant varSheet = {};
  int32_t lngStartRow = 0;
  int16_t intStartCol = 0;
  int32_t lngEndRow = 0;
  int16_t intEndCol = 0;
  std::string strPassword = {};
  VbBool blnShowFormulas = kVbFalse;
  VbBool blnHideRowNumbers = kVbFalse;
  VbBool blnHideColLetters = kVbFalse;
  VbBool blnColLettersAtBottom = kVbFalse;
  VbBool blnRowNumbersAtRight = kVbFalse;
  std::string strHeading = {};
  std::string strTitle = {};
  std::string strBackgroundColor = {};
  std::string strBackgroundImageFile = {};
  std::string strTableColor = {};
  std::string strTableImageFile = {};
  VbBool blnOpenSynchronously = kVbFalse;
  VbBool blnNewBrowserWindow = kVbFalse;
  VbBool blnShowComments = kVbFalse;
  VbBool blnNoStyle = kVbFalse;
  // Not a parameter of the control's interface: a styled page of this open with one class per
  // distinct look, as CompactStyles() gives every open.
  VbBool blnCompactStyles = kVbFalse;
  // Not a parameter either: the fast page for this open when its range holds more than this
  // many cells (0: the control's FastPagesFrom()).
  int32_t lngFastPagesFrom = 0;
  // Not a parameter of the control's interface either: the page of this open drawn as the
  // sheet, as SheetLook() gives every open.
  VbBool blnSheetLook = kVbFalse;
};

// Arguments of OpenXLrange, in their order.
struct OpenXLrangeArgs {
  std::string strPath = {};
  Variant varSheet = {};
  std::string strRange = {};
  std::string strPassword = {};
  VbBool blnShowFormulas = kVbFalse;
  VbBool blnHideRowNumbers = kVbFalse;
  VbBool blnHideColLetters = kVbFalse;
  VbBool blnColLettersAtBottom = kVbFalse;
  VbBool blnRowNumbersAtRight = kVbFalse;
  std::string strHeading = {};
  std::string strTitle = {};
  std::string strBackgroundColor = {};
  std::string strBackgroundImageFile = {};
  std::string strTableColor = {};
  std::string strTableImageFile = {};
  VbBool blnOpenSynchronously = kVbFalse;
  VbBool blnNewBrowserWindow = kVbFalse;
  VbBool blnShowComments = kVbFalse;
  VbBool blnNoStyle = kVbFalse;
  VbBool blnCompactStyles = kVbFalse;  // as in OpenXLArgs
  int32_t lngFastPagesFrom = 0;        // as in OpenXLArgs
  VbBool blnSheetLook = kVbFalse;      // as in OpenXLArgs
};

// One entry of the control's programmable surface, for hosts that list or dispatch by id.
enum class MemberKind { Property, Method, Event };
struct MemberInfo {
  MemberKind kind;
  const char* name;
  uint32_t dispatchId;
  const char* signature;  // parameters and result, e.g. "strURL As String (ByRef), ..."
  const char* helpText;
};

// Time limits of the control's waits, in seconds. Generous, so that a normal download or page
// ends a wait long before; they only keep a transfer or page that never finishes from freezing
// the host.
struct WaitLimits {
  double downloadSeconds = 600;
  double pageSeconds = 120;
  double destroyPauseSeconds = 1;
};

// Bounds of every download (BeginDownload, and the open of an address). A transfer that grows
// past `maxBytes` or runs longer than `maxSeconds` fails: DownloadError, no file, and
// DownloadErrorText names the limit. Hosts raise them for big workbooks or slow servers.
struct DownloadLimits {
  int64_t maxBytes = int64_t{256} << 20;
  double maxSeconds = 600;
};

// Why the last open request shows no page of its workbook. The numbers are part of the
// interface (the widget's open-error-code).
enum class OpenFailure : int32_t {
  None = 0,            // the page was written or shown again (or no open ran yet)
  PasswordNeeded = 1,  // the workbook is protected and no password was given
  WrongPassword = 2,   // the password given does not open it
  Unreadable = 3,      // damaged, or a part the page needs cannot be read
  NotAWorkbook = 4,    // the file is not an .xls or .xlsx workbook at all
  NoSuchSheet = 5,     // the sheet asked for is not in the workbook
  NotFound = 6,        // no file at the path, or its download failed
  Failed = 7,          // anything else: no temporary folder, no room for the page, ...
};

// Bound of the pages the control makes: a range of far more empty positions than stored
// cells whose page would be larger than `maxBytes` is not converted (OpenError follows),
// since no browser shows such a page. A dense range is never refused for its size.
struct PageLimits {
  int64_t maxBytes = int64_t{256} << 20;
};

class Gridwell {
 public:
  // Creation: hides the browser and chooses the temporary folder (created by the first open).
  explicit Gridwell(const Platform& platform);
  // Destruction: blank page, short pause, temporary files and folder removed.
  ~Gridwell();
  Gridwell(const Gridwell&) = delete;
  Gridwell& operator=(const Gridwell&) = delete;

  static constexpr const char* kClassName = "Gridweller.Gridwell";
  // Properties, methods and events with their dispatch ids and help texts, in interface order.
  static std::span<const MemberInfo> Members();

  // ---- Properties ----
  std::string Path() const { return path_; }
  void SetPath(const std::string& value) { path_ = value; }
  std::vector<std::string> SheetNames() const { return sheetNames_; }
  int32_t SheetTotal() const { return sheetTotal_; }
  int32_t hwnd() const;
  std::string TempWorkbook() const { return tempWorkbook_; }
  VbBool RegenerateHTML() const { return regenerateHTML_; }
  void SetRegenerateHTML(VbBool value);
  std::string TempPath() const { return tempPath_; }
  std::string HTMLfile() const { return htmlFile_; }
  std::string ExcelFile() const { return excelFile_; }
  // Styled pages with one class per distinct look, shared by the cells that look alike,
  // instead of one class per cell: the same page on screen with a far smaller style sheet,
  // which big sheets show much sooner. Off by default and not persisted; each open that
  // writes a styled page passes it to the converter (as does an open whose
  // blnCompactStyles is set).
  VbBool CompactStyles() const { return compactStyles_; }
  void SetCompactStyles(VbBool value) { compactStyles_ = value; }
  // Fast pages for big sheets: a range of more than this many cells is shown as the compact
  // page with its rows in blocks that WebKit lays out only when they come into view, in
  // columns of the sheet's widths. Such a sheet shows in about a second where the page of
  // one class per cell takes minutes; what it gives up is that class per cell. 0 (the
  // default, not persisted) leaves every page as the open asks.
  int32_t FastPagesFrom() const { return fastPagesFrom_; }
  void SetFastPagesFrom(int32_t cells) { fastPagesFrom_ = cells < 0 ? 0 : cells; }
  // Pages drawn as the sheet is: gridlines, merged cells, the fills and borders of empty
  // cells, hidden rows and columns left out, conditional formats applied. Off by default and
  // not persisted; each open passes it to the converter (as does an open whose blnSheetLook
  // is set).
  VbBool SheetLook() const { return sheetLook_; }
  void SetSheetLook(VbBool value) { sheetLook_ = value; }

  // ---- Methods ----
  VbBool BeginDownload(std::string& strURL, std::string& strFile);
  void GoHome(VbBool& blnOpenSynchronously);
  void GoHome();
  void SetupDocument();
  void PrintDocument(VbBool& blnShowPrompt);
  void PrintDocument();
  void FindInDocument();
  void PrintPreviewDocument();
  void ShowDocumentProperties();
  void SaveDocument();
  VbBool SaveHTML(std::string strDir, std::string& strFilename);
  VbBool SaveHTML(std::string strDir);
  VbBool SaveCopy(std::string& strCopyTo, VbBool& blnWarnIfExists);
  VbBool SaveCopy(std::string& strCopyTo);
  void Refresh();
  void Find();
  VbBool OpenXL(OpenXLArgs& args);
  VbBool OpenXL(OpenXLArgs&& args) { return OpenXL(args); }
  VbBool OpenXLrange(OpenXLrangeArgs& args);
  VbBool OpenXLrange(OpenXLrangeArgs&& args) { return OpenXLrange(args); }

  // ---- Events (all arguments by reference) ----
  std::function<void(std::string& SaveFile)> DownloadStarted;
  std::function<void(int32_t& CurBytes, int32_t& MaxBytes, std::string& SaveFile)> DownloadProgress;
  std::function<void(std::string& SaveFile)> DownloadError;
  std::function<void(int32_t& MaxBytes, std::string& SaveFile)> DownloadComplete;
  std::function<void(std::string& ExcelWorkbook, std::string& HTMLfile)> OpenStart;
  std::function<void(std::string& ExcelWorkbook, std::string& HTMLfile)> OpenComplete;
  std::function<void(std::string& ExcelWorkbook, std::string& HTMLfile)> OpenError;

  // ---- State the waits coordinate on ----
  bool DownloadDone() const { return downloadDone_; }
  bool DocumentLoaded() const { return documentLoaded_; }
  void SetWaitLimits(const WaitLimits& limits) { limits_ = limits; }
  const WaitLimits& GetWaitLimits() const { return limits_; }
  void SetDownloadLimits(const DownloadLimits& limits) { downloadLimits_ = limits; }
  const DownloadLimits& GetDownloadLimits() const { return downloadLimits_; }
  void SetPageLimits(const PageLimits& limits) { pageLimits_ = limits; }
  const PageLimits& GetPageLimits() const { return pageLimits_; }
  // Why the last download that ended failed (a limit passed, a server error); "" when it
  // succeeded.
  std::string DownloadErrorText() const { return downloadErrorText_; }
  // Why the last open request shows no page of its workbook, in a sentence for the user that
  // names the workbook (and, for a damaged one, the part that cannot be read); "" when it shows
  // its page. OpenXL keeps its own result: True for a workbook the converter cannot read, whose
  // failure shows here (and as OpenError) instead.
  std::string OpenErrorText() const { return openErrorText_; }
  OpenFailure OpenErrorCode() const { return openFailure_; }

  // ---- Called by the platform ----
  // Persistence with the host's form: a new instance, a loaded one, a saved one.
  void InitProperties();
  void ReadProperties();
  void WriteProperties();
  // Sizing and painting of the control's client area.
  void OnShow(int width, int height);
  void OnResize(int width, int height);
  void OnPaint();
  // Browser navigation notifications.
  void OnBeforeNavigate();
  void OnNavigateComplete();
  void OnNavigateError();
  // Read-service notifications. `total` is 0 while the size is unknown. `failed` marks a
  // transfer that the server refused or that broke off (an error status, a lost connection, a
  // limit passed); `failure` says why when the service knows.
  void OnReadProgress(const std::string& propertyName, int32_t current, int32_t total);
  void OnReadComplete(const std::string& propertyName, int32_t total,
                      const std::vector<uint8_t>& data, bool failed,
                      const std::string& failure = {});
  // Runs the destruction steps now (idempotent); the destructor calls it when still needed.
  // A wait in progress ends at once, and the interrupted method touches the platform no more.
  void Terminate();
  // True while a method waits (processing pending messages) further up the stack: the object
  // must outlive those frames.
  bool Waiting() const { return waitDepth_ > 0; }
  // Replaces the page converter (clsHTML by default); tests watch the settings through it.
  void SetConverterFactory(std::function<std::unique_ptr<PageConverter>()> factory);

 private:
  struct OpenCommon;
  template <typename Args>
  static void CopySharedArguments(Args& a, OpenCommon& c);
  VbBool Open(OpenCommon& request);
  bool DownloadWorkbook(std::string& path, const std::string& extension);
  VbBool ConvertAndShow(const OpenCommon& request, const std::string& path,
                        const std::string& extension);
  void WritePage(PageConverter& converter, const OpenCommon& request, const std::string& page);
  VbBool ShowPage(const std::string& page, VbBool synchronously);
  void SetOpenError(OpenFailure failure, std::string text);
  void NoteConversion(PageConverter& converter, const OpenCommon& request, const std::string& path);
  bool EnsureTempFolder();
  int OpenBaseFolder();
  void EmptyTempFolder();
  void RemoveTempFolder();
  std::string RandomName();
  bool WaitUntil(const bool& flag, double limitSeconds);
  void Pause(double seconds);
  void RaiseOpen(const std::function<void(std::string&, std::string&)>& event);
  void CancelDownload(const std::string& file);

  Platform platform_;
  WaitLimits limits_;
  DownloadLimits downloadLimits_;
  PageLimits pageLimits_;
  std::string downloadErrorText_;
  OpenFailure openFailure_ = OpenFailure::None;
  std::string openErrorText_;
  std::string openName_;  // the workbook's name in those texts
  // Reads given up by the control; notifications that still come for them are dropped.
  std::set<std::string> cancelledReads_;
  std::string path_;
  std::string tempPath_;
  // The folder this control made, open from its first creation on (-1 before), its name in the
  // base folder and the base folder itself. Clean-up works through these descriptors, never
  // through the paths. `ownBase_` is set when the base is a private folder made for this
  // control because the configured one was not safe to use.
  int folderFd_ = -1;
  int baseFd_ = -1;
  std::string folderName_;
  bool ownBase_ = false;
  std::string htmlFile_;
  // The page this control last asked the browser for, and whether a page is on show (a
  // navigation completed since, and no error page replaced it).
  std::string requestedPage_;
  bool pageShown_ = false;
  std::string excelFile_;
  // The password each page of the folder was written with: a page is shown again only to a
  // request that gives the same one, so a protected workbook's page never skips its password.
  std::map<std::string, std::string> pagePasswords_;
  std::string tempWorkbook_;
  VbBool regenerateHTML_ = kVbFalse;
  VbBool compactStyles_ = kVbFalse;
  int32_t fastPagesFrom_ = 0;
  VbBool sheetLook_ = kVbFalse;
  int32_t sheetTotal_ = 0;
  std::vector<std::string> sheetNames_;
  bool downloadDone_ = false;
  bool documentLoaded_ = false;
  bool terminated_ = false;
  int waitDepth_ = 0;
  std::function<std::unique_ptr<PageConverter>()> converterFactory_;
};

// Base folder for the controls' temporary folders, ending with "/": $GRIDWTEMP when set,
// otherwise $XDG_RUNTIME_DIR/GRIDWTEMP/, otherwise /tmp/GRIDWTEMP-<uid>/.
//
// A control uses the base only when it is a real directory (not a link) owned by the user and
// closed to group and others; otherwise it makes a fresh private base with mkdtemp in
// $XDG_RUNTIME_DIR (or $TMPDIR, or /tmp) and removes it when it is destroyed. Each control
// holds a lock on its numbered folder (and on a base it made) while it lives; a new control
// removes the numbered folders of the base, and the user's own GRIDWTEMP-XXXXXX bases, that no
// living control holds (left by a host that was killed).
std::string DefaultTempBase();
// Creates that folder (mode 0700) when missing, as an installer would; false when it cannot be
// created or is not a private folder of this user.
bool EnsureTempBase(const std::string& base);

}  // namespace gridwell
