// The GObject face of the control as data: the properties, signals and methods of
// GridwellerGridwell and the settings of GridwellerOpenOptions, in the control's interface
// order, with what their documentation adds to the control's own help texts. Each row points at
// its member of the control's table (control/members.h), which alone holds the help texts,
// dispatch ids and parameters: the widget installs its properties and signals from these rows
// with those help texts as blurbs, and gridweller_docgen writes the introspection documentation
// from the same rows, so the GObject face and the control cannot drift apart.
//
// To add a setting: one row here, a getter (and setter) in gridweller.h, one case in the
// widget's get/set functions (or, for an open option, one line in ToArgs).
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>

#include "control/members.h"

namespace gridwell::gobject {

using members::MemberNamed;

enum class ValueKind { String, Strv, Int, UInt, Boolean };

// A property of GridwellerGridwell; its position + 1 is its GObject property id.
struct PropertyDoc {
  const char* name;          // kebab-case
  const MemberInfo* member;  // the control's member whose help text documents it, or none
  ValueKind kind;
  bool writable;
  const char* note;  // documentation after the help text
};

struct ArgDoc {
  const char* name;
  ValueKind kind;
  const char* text;
};

struct SignalDoc {
  const char* name;
  const MemberInfo* member;
  std::span<const ArgDoc> args;
  const char* note;
};

struct ParamDoc {
  const char* name;
  const char* annotations;  // e.g. "(nullable)", "(out) (optional) (transfer full)"
  const char* text;
};

// A function of gridweller.h that is not a property accessor.
struct MethodDoc {
  const char* symbol;
  const MemberInfo* member;  // none for functions that the control's interface does not have
  std::span<const ParamDoc> params;
  const char* returns;  // "" for none; may start with annotations and ": "
  const char* note;
};

// A setting of GridwellerOpenOptions: one parameter of OpenXL / OpenXLrange.
struct OptionDoc {
  const char* name;
  const char* param;  // the parameter of OpenXL or OpenXLrange it stands for
  ValueKind kind;
  int32_t min, max;  // for Int
  const char* text;
};

inline constexpr const char* kLiveOpenArgs =
    "While the signal is emitted, #GridwellerGridwell:excel-file and "
    "#GridwellerGridwell:html-file are the live arguments: a handler that sets them replaces the "
    "stored workbook and page paths, as the control's by-reference event arguments do.";

inline constexpr PropertyDoc kProperties[] = {
    {"path", MemberNamed("Path"), ValueKind::String, true,
     "The workbook that gridweller_gridwell_open_xl() and gridweller_gridwell_open_xl_range() "
     "open when their path is %NULL or blank. Not persisted."},
    {"sheet-names", MemberNamed("SheetNames"), ValueKind::Strv, false,
     "Empty before the first conversion; a page shown again without converting keeps the "
     "names of the last conversion."},
    {"sheet-total", MemberNamed("SheetTotal"), ValueKind::Int, false,
     "0 before the first conversion."},
    {"hwnd", MemberNamed("hwnd"), ValueKind::UInt, false,
     "Here: the X11 window id of the window the control draws on, or 0 when it is not realized "
     "or not on X11."},
    {"temp-workbook", MemberNamed("TempWorkbook"), ValueKind::String, false,
     "A local file in #GridwellerGridwell:temp-path; \"\" until an open request downloads."},
    {"regenerate-html", MemberNamed("RegenerateHTML"), ValueKind::Boolean, true,
     "When %FALSE an open request shows an existing page of the same workbook and sheet again "
     "without converting. The one persisted property: see "
     "gridweller_gridwell_load_properties() and gridweller_gridwell_save_properties()."},
    {"temp-path", MemberNamed("TempPath"), ValueKind::String, false,
     "Read-only: the control's own temporary folder, ending with \"/\", chosen at creation and "
     "removed when the control is destroyed."},
    {"html-file", MemberNamed("HTMLfile"), ValueKind::String, true,
     "Writable only from a handler of #GridwellerGridwell::open-start, "
     "#GridwellerGridwell::open-complete or #GridwellerGridwell::open-error, where it is the "
     "live @html_file argument; a write at any other time is ignored with a warning."},
    {"excel-file", MemberNamed("ExcelFile"), ValueKind::String, true,
     "For a downloaded workbook, its local copy. Writable only from a handler of "
     "#GridwellerGridwell::open-start, #GridwellerGridwell::open-complete or "
     "#GridwellerGridwell::open-error, where it is the live @excel_workbook argument; a write "
     "at any other time is ignored with a warning."},
    {"save-file", nullptr, ValueKind::String, true,
     "The target file of the download whose #GridwellerGridwell::download-started signal is "
     "being emitted, and \"\" at any other time. A handler of that signal sets it to make the "
     "transfer write to another file; gridweller_gridwell_begin_download() then returns the "
     "new name. A write at any other time is ignored with a warning."},
    {"download-error-text", nullptr, ValueKind::String, false,
     "Why the last download that ended failed (a size or time limit passed, an error status of "
     "the server, a lost connection), or \"\" when it succeeded; a handler of "
     "#GridwellerGridwell::download-error reads it."},
    {"compact-styles", nullptr, ValueKind::Boolean, true,
     "Styled pages with one style class per distinct look, shared by the cells that look "
     "alike, instead of one class per cell: the same page on screen with a far smaller style "
     "sheet, which big sheets show much sooner. %FALSE by default and not persisted; "
     "#GridwellerOpenOptions:compact-styles asks for it for one open."},
    {"open-error-text", MemberNamed("OpenErrorText"), ValueKind::String, false,
     "\"\" when the page was written or shown again. Otherwise it names the workbook and the "
     "reason: the password it needs, a wrong password, the part of a damaged workbook that "
     "cannot be read, a file that is no workbook, a missing sheet, a failed download (with "
     "#GridwellerGridwell:download-error-text). An open request still returns %TRUE for a "
     "workbook it could not convert: this property, set when the request returns, and "
     "#GridwellerGridwell::open-error tell the host."},
    {"open-error-code", MemberNamed("OpenErrorCode"), ValueKind::Int, false,
     "The same reason as a number, for hosts that act on it (ask for a password on 1 or 2)."},
    {"fast-pages-from", nullptr, ValueKind::Int, true,
     "Fast pages for big sheets: a range of more than this many cells is shown as the compact "
     "page with its rows in blocks that the browser lays out only when they come into view, "
     "in columns of the sheet's widths (text that does not fit is cut at the cell's edge). "
     "Such a sheet shows in about a second where the page of one class per cell takes "
     "minutes; find, print and save still see the whole sheet. 0 (the default, not persisted) "
     "leaves every page as the open asks; #GridwellerOpenOptions:fast-pages-from sets it for "
     "one open."},
    {"sheet-look", nullptr, ValueKind::Boolean, true,
     "Pages drawn as the sheet is: gridlines, merged cells as one cell, the fills and borders "
     "of empty cells, hidden rows and columns left out and conditional formats applied. "
     "%FALSE by default and not persisted; #GridwellerOpenOptions:sheet-look asks for it for "
     "one open."},
};

inline constexpr ArgDoc kSaveFileArg = {"save_file", ValueKind::String,
                                        "the file the transfer writes to"};
inline constexpr ArgDoc kDownloadStartedArgs[] = {kSaveFileArg};
inline constexpr ArgDoc kDownloadProgressArgs[] = {
    {"cur_bytes", ValueKind::Int, "bytes received so far"},
    {"max_bytes", ValueKind::Int, "size that the server announced"},
    kSaveFileArg};
inline constexpr ArgDoc kDownloadCompleteArgs[] = {
    {"max_bytes", ValueKind::Int, "bytes received; 0 when the transfer failed"}, kSaveFileArg};
inline constexpr ArgDoc kOpenArgs[] = {
    {"excel_workbook", ValueKind::String,
     "the stored workbook path (#GridwellerGridwell:excel-file)"},
    {"html_file", ValueKind::String, "the stored page path (#GridwellerGridwell:html-file)"}};

inline constexpr SignalDoc kSignals[] = {
    {"download-started", MemberNamed("DownloadStarted"), kDownloadStartedArgs,
     "Emitted by gridweller_gridwell_begin_download() and by an open request for an address. "
     "@save_file is live: set #GridwellerGridwell:save-file in the handler to change the target "
     "file."},
    {"download-progress", MemberNamed("DownloadProgress"), kDownloadProgressArgs,
     "Not emitted while the server has not announced a size. The arguments are copies."},
    {"download-error", MemberNamed("DownloadError"), kDownloadStartedArgs,
     "Nothing was written; #GridwellerGridwell::download-complete follows with @max_bytes 0. "
     "The argument is a copy."},
    {"download-complete", MemberNamed("DownloadComplete"), kDownloadCompleteArgs,
     "Emitted once for every accepted download, also a failed one. The arguments are copies."},
    {"open-start", MemberNamed("OpenStart"), kOpenArgs,
     "The browser starts loading a page: one that an open request or "
     "gridweller_gridwell_go_home() asked for, or a link that the user followed. For an open "
     "request @html_file is still the previous page, as the page path is stored after the load "
     "was asked for."},
    {"open-complete", MemberNamed("OpenComplete"), kOpenArgs,
     "The browser finished loading the page."},
    {"open-error", MemberNamed("OpenError"), kOpenArgs,
     "The browser could not load the page, for example because the converter wrote none for a "
     "workbook it cannot read."},
};

inline constexpr ParamDoc kSelf[] = {{"self", "", "a #GridwellerGridwell"}};
inline constexpr ParamDoc kBeginDownloadParams[] = {
    kSelf[0],
    {"url", "", "an http://, https:// or ftp:// address"},
    {"file", "", "the local file to write"},
    {"saved_to", "(out) (optional) (transfer full)",
     "the file the transfer writes to, after #GridwellerGridwell::download-started handlers "
     "may have changed it"}};
inline constexpr ParamDoc kGoHomeParams[] = {
    kSelf[0], {"open_synchronously", "", "wait until the page has loaded before returning"}};
inline constexpr ParamDoc kPrintParams[] = {
    kSelf[0], {"show_prompt", "", "%TRUE to show the print dialog, %FALSE to print at once"}};
inline constexpr ParamDoc kSaveHtmlParams[] = {
    kSelf[0],
    {"dir", "", "the folder to copy the page into"},
    {"filename", "(nullable)", "the name of the copy; %NULL or blank keeps the page's own name"}};
inline constexpr ParamDoc kSaveCopyParams[] = {
    kSelf[0],
    {"copy_to", "", "the file to write"},
    {"warn_if_exists", "",
     "ask the user before replacing an existing file; with %FALSE it is replaced"}};
inline constexpr ParamDoc kOpenParams[] = {
    kSelf[0],
    {"path", "(nullable)",
     "a workbook file or an http://, https:// or ftp:// address of one; %NULL or blank "
     "opens #GridwellerGridwell:path"},
    {"options", "(nullable)", "the other parameters; %NULL for all defaults"}};
inline constexpr ParamDoc kKeyFileParams[] = {
    kSelf[0],
    {"key_file", "", "the host's settings"},
    {"group", "", "the group that holds this control's entries"}};

inline constexpr MethodDoc kMethods[] = {
    {"gridweller_gridwell_new",
     nullptr,
     {},
     "(transfer floating): a new #GridwellerGridwell",
     "Creates the control. Its temporary folder lies in $GRIDWTEMP when that is set, otherwise "
     "in a private folder of the user's runtime folder."},
    {"gridweller_gridwell_begin_download", MemberNamed("BeginDownload"), kBeginDownloadParams,
     "%TRUE when the transfer was started; %FALSE for an address that cannot be fetched",
     "Returns at once; the transfer runs while the main loop runs and reports through "
     "#GridwellerGridwell::download-progress, #GridwellerGridwell::download-error and "
     "#GridwellerGridwell::download-complete."},
    {"gridweller_gridwell_go_home", MemberNamed("GoHome"), kGoHomeParams, "",
     "Shows #GridwellerGridwell:html-file again; does nothing when no page was shown."},
    {"gridweller_gridwell_setup_document", MemberNamed("SetupDocument"), kSelf, "",
     "Shows the page setup dialog; later prints use its choices."},
    {"gridweller_gridwell_print_document", MemberNamed("PrintDocument"), kPrintParams, "",
     "Ctrl+P in the control does the same with the print dialog."},
    {"gridweller_gridwell_find_in_document", MemberNamed("FindInDocument"), kSelf, "",
     "Opens the control's find dialog, as Ctrl+F in the control does; Escape closes it."},
    {"gridweller_gridwell_print_preview_document", MemberNamed("PrintPreviewDocument"), kSelf, "",
     "Prints the page to a PDF file in the temporary folder and opens it in the desktop's "
     "document viewer."},
    {"gridweller_gridwell_show_document_properties", MemberNamed("ShowDocumentProperties"), kSelf,
     "", "Shows the page's title, address, size and dates."},
    {"gridweller_gridwell_save_document", MemberNamed("SaveDocument"), kSelf, "",
     "Asks for a file name and saves the page there."},
    {"gridweller_gridwell_save_html", MemberNamed("SaveHTML"), kSaveHtmlParams,
     "%TRUE when the page was copied", "Copies #GridwellerGridwell:html-file."},
    {"gridweller_gridwell_save_copy", MemberNamed("SaveCopy"), kSaveCopyParams,
     "%TRUE when a file is at @copy_to afterwards",
     "Copies #GridwellerGridwell:excel-file (for a downloaded workbook, its local copy)."},
    {"gridweller_gridwell_refresh", MemberNamed("Refresh"), kSelf, "",
     "Redraws the control and reloads the page."},
    {"gridweller_gridwell_find", MemberNamed("Find"), kSelf, "",
     "Kept for hosts of the control's older interface; the page has no toolbar to act on."},
    {"gridweller_gridwell_open_xl", MemberNamed("OpenXL"), kOpenParams,
     "%TRUE when the browser was asked to load the page (a page the converter could not write "
     "shows up as #GridwellerGridwell::open-error); %FALSE when the workbook could not be "
     "found, fetched or handed to the converter, or a start bound is too big",
     "Reads the rows and columns of @options (#GridwellerOpenOptions:start-row and the like); "
     "#GridwellerOpenOptions:range is not used. The browser is hidden until the request "
     "succeeds, so a failed request shows no earlier page."},
    {"gridweller_gridwell_open_xl_range", MemberNamed("OpenXLrange"), kOpenParams,
     "%TRUE when the browser was asked to load the page; %FALSE when the workbook could not be "
     "found, fetched or handed to the converter",
     "Reads #GridwellerOpenOptions:range of @options; the row and column bounds are not used."},
    {"gridweller_gridwell_get_web_view", nullptr, kSelf,
     "(transfer none): the WebKitWebView that shows the pages",
     "For hosts that need the browser itself, e.g. to run JavaScript on the page."},
    {"gridweller_gridwell_load_properties", nullptr, kKeyFileParams, "",
     "Reads the persisted properties (#GridwellerGridwell:regenerate-html) from @key_file, as a "
     "host does when it loads its form; a missing entry gives the default."},
    {"gridweller_gridwell_save_properties", nullptr, kKeyFileParams, "",
     "Writes the persisted properties into @key_file, as a host does when it saves its form."},
    {"gridweller_open_options_new",
     nullptr,
     {},
     "(transfer full): options with every default",
     "In Python, Gridweller.OpenOptions(sheet=\"Sales\", show_comments=True) sets properties "
     "at construction."},
};

inline constexpr int32_t kInt16Min = -32768, kInt16Max = 32767;
inline constexpr int32_t kInt32Min = INT32_MIN, kInt32Max = INT32_MAX;

// Indices into kOptions, used by the conversion to the control's argument structs.
enum Option : size_t {
  kSheet,
  kSheetNumber,
  kStartRow,
  kStartCol,
  kEndRow,
  kEndCol,
  kRange,
  kPassword,
  kShowFormulas,
  kHideRowNumbers,
  kHideColLetters,
  kColLettersAtBottom,
  kRowNumbersAtRight,
  kHeading,
  kTitle,
  kBackgroundColor,
  kBackgroundImageFile,
  kTableColor,
  kTableImageFile,
  kOpenSynchronously,
  kNewBrowserWindow,
  kShowComments,
  kNoStyle,
  kCompactStyles,
  kFastPagesFrom,
  kSheetLook,
  kOptionCount
};

inline constexpr OptionDoc kOptions[] = {
    {"sheet", "varSheet", ValueKind::String, 0, 0,
     "The worksheet by name. When it is not %NULL it takes precedence over "
     "#GridwellerOpenOptions:sheet-number; a blank name means the first sheet."},
    {"sheet-number", "varSheet", ValueKind::Int, kInt16Min, kInt16Max,
     "The worksheet by number, counted from 1; 0 (the default) or less means the first sheet."},
    {"start-row", "lngStartRow", ValueKind::Int, kInt32Min, kInt32Max,
     "First row shown by gridweller_gridwell_open_xl(); below 1 means 1, above 65536 makes the "
     "request fail."},
    {"start-col", "intStartCol", ValueKind::Int, kInt16Min, kInt16Max,
     "First column shown by gridweller_gridwell_open_xl(); below 1 means 1, above 256 makes the "
     "request fail."},
    {"end-row", "lngEndRow", ValueKind::Int, kInt32Min, kInt32Max,
     "Last row shown by gridweller_gridwell_open_xl(); 0 (the default) means the last used row."},
    {"end-col", "intEndCol", ValueKind::Int, kInt16Min, kInt16Max,
     "Last column shown by gridweller_gridwell_open_xl(); 0 (the default) means the last used "
     "column."},
    {"range", "strRange", ValueKind::String, 0, 0,
     "The range shown by gridweller_gridwell_open_xl_range(), such as \"A1:H40\"; blank means "
     "the used range."},
    {"password", "strPassword", ValueKind::String, 0, 0,
     "Password of a protected workbook; blank for none."},
    {"show-formulas", "blnShowFormulas", ValueKind::Boolean, 0, 0,
     "Show each cell's formula as its tool-tip."},
    {"hide-row-numbers", "blnHideRowNumbers", ValueKind::Boolean, 0, 0,
     "Leave out the row numbers."},
    {"hide-col-letters", "blnHideColLetters", ValueKind::Boolean, 0, 0,
     "Leave out the column letters."},
    {"col-letters-at-bottom", "blnColLettersAtBottom", ValueKind::Boolean, 0, 0,
     "Repeat the column letters below the table."},
    {"row-numbers-at-right", "blnRowNumbersAtRight", ValueKind::Boolean, 0, 0,
     "Repeat the row numbers right of the table."},
    {"heading", "strHeading", ValueKind::String, 0, 0, "Heading above the table."},
    {"title", "strTitle", ValueKind::String, 0, 0, "Title of the page."},
    {"background-color", "strBackgroundColor", ValueKind::String, 0, 0,
     "Background colour of the page, as HTML writes it (\"#FFFFCC\", \"silver\")."},
    {"background-image-file", "strBackgroundImageFile", ValueKind::String, 0, 0,
     "Background picture of the page."},
    {"table-color", "strTableColor", ValueKind::String, 0, 0, "Background colour of the table."},
    {"table-image-file", "strTableImageFile", ValueKind::String, 0, 0,
     "Background picture of the table."},
    {"open-synchronously", "blnOpenSynchronously", ValueKind::Boolean, 0, 0,
     "Return only when the page has loaded (the main loop runs meanwhile)."},
    {"new-browser-window", "blnNewBrowserWindow", ValueKind::Boolean, 0, 0,
     "Make the page's links open in a new window."},
    {"show-comments", "blnShowComments", ValueKind::Boolean, 0, 0,
     "Show each cell's comment as its tool-tip."},
    {"no-style", "blnNoStyle", ValueKind::Boolean, 0, 0,
     "Write the plain page (cell looks as HTML attributes) instead of the styled one (a style "
     "sheet with one class per cell)."},
    {"compact-styles", "blnCompactStyles", ValueKind::Boolean, 0, 0,
     "Write the styled page with one class per distinct look for this open, as "
     "#GridwellerGridwell:compact-styles does for every open."},
    {"fast-pages-from", "lngFastPagesFrom", ValueKind::Int, 0, kInt32Max,
     "Write the fast page for this open when its range holds more than this many cells, as "
     "#GridwellerGridwell:fast-pages-from does for every open; 0 (the default) leaves it to "
     "that property."},
    {"sheet-look", "blnSheetLook", ValueKind::Boolean, 0, 0,
     "Draw the page of this open as the sheet, as #GridwellerGridwell:sheet-look does for "
     "every open."},
};
static_assert(std::size(kOptions) == kOptionCount);

}  // namespace gridwell::gobject
