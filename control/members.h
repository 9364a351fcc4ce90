// The control's programmable surface as data: interface _Gridwell (properties and methods) and
// event interface __Gridwell, in interface order, with dispatch ids, parameters and help texts.
// Gridwell::Members() gives it to hosts; the GObject widget and its documentation generator
// (control/gobject/surface.h) take each member's help text and id from here by MemberNamed, so
// a help text is written once and a misspelt member name does not compile.
#pragma once

#include <string_view>

#include "control/gridwell.h"

namespace gridwell::members {

inline constexpr MemberKind P = MemberKind::Property;
inline constexpr MemberKind M = MemberKind::Method;
inline constexpr MemberKind E = MemberKind::Event;

// The parameters OpenXL and OpenXLrange share after their sheet bounds or range.
#define GRIDWELL_OPEN_SHARED_PARAMETERS                                                       \
  "strPassword As String, blnShowFormulas As Boolean, blnHideRowNumbers As Boolean, "         \
  "blnHideColLetters As Boolean, blnColLettersAtBottom As Boolean, "                          \
  "blnRowNumbersAtRight As Boolean, strHeading As String, strTitle As String, "               \
  "strBackgroundColor As String, strBackgroundImageFile As String, strTableColor As String, " \
  "strTableImageFile As String, ByRef blnOpenSynchronously As Boolean, "                      \
  "ByRef blnNewBrowserWindow As Boolean, ByRef blnShowComments As Boolean, "                  \
  "ByRef blnNoStyle As Boolean (all Optional) As Boolean"

inline constexpr const char* kOpenXLSignature =
    "strPath As String, varSheet As Variant, lngStartRow As Long, intStartCol As Integer, "
    "lngEndRow As Long, intEndCol As Integer, " GRIDWELL_OPEN_SHARED_PARAMETERS;

inline constexpr const char* kOpenXLrangeSignature =
    "strPath As String, varSheet As Variant, strRange As String, " GRIDWELL_OPEN_SHARED_PARAMETERS;
#undef GRIDWELL_OPEN_SHARED_PARAMETERS

inline constexpr const char* kSaveFileSignature = "ByRef SaveFile As String";
inline constexpr const char* kOpenEventSignature =
    "ByRef ExcelWorkbook As String, ByRef HTMLfile As String";

inline constexpr MemberInfo kMembers[] = {
    {P, "Path", 0x40030000, "String (read/write)", "Get/set Excel workbook file path."},
    {P, "SheetNames", 0x68030007, "Variant (read)",
     "Get the worksheet names (one dimensional array) for the active Excel workbook."},
    {P, "SheetTotal", 0x68030006, "Long (read)",
     "Get the worksheet total for the active Excel workbook."},
    {P, "hwnd", 0x68030005, "Long (read)", "Get the handle number of the control."},
    {P, "TempWorkbook", 0x68030004, "String (read)",
     "Get the temporary workbook file path. This is the workbook downloaded from HTTP "
     "or FTP."},
    {P, "RegenerateHTML", 0x68030003, "Boolean (read/write)",
     "Get/set boolean variable which determines whether HTML is regenerated or not."},
    {P, "TempPath", 0x68030002, "String (read)",
     "Get/set file path where temporary files will be created."},
    {P, "HTMLfile", 0x68030001, "String (read)", "Get the HTML file path."},
    {P, "ExcelFile", 0x68030000, "String (read)", "Get the Excel workbook file path."},
    {P, "OpenErrorText", 0x68030010, "String (read)",
     "Get the reason why the last open request shows no page of its workbook, in words for "
     "the user."},
    {P, "OpenErrorCode", 0x68030011, "Long (read)",
     "Get the reason why the last open request shows no page of its workbook: 0 none, "
     "1 password needed, 2 wrong password, 3 unreadable, 4 not a workbook, 5 no such sheet, "
     "6 not found, 7 other failure."},

    {M, "BeginDownload", 0x6003000a, "ByRef strURL As String, ByRef strFile As String As Boolean",
     "Method to download a file from a web server."},
    {M, "GoHome", 0x6003000b, "Optional ByRef blnOpenSynchronously As Boolean",
     "Method to go to the home Excel workbook file (the last workbook opened with "
     "method OpenXL). "},
    {M, "SetupDocument", 0x6003000c, "", "Method to setup the HTML document page for printing."},
    {M, "PrintDocument", 0x6003000d, "Optional ByRef blnShowPrompt As Boolean",
     "Method to print the HTML document."},
    {M, "FindInDocument", 0x6003000e, "",
     "Method to invoke the find dialog screen for the HTML document."},
    {M, "PrintPreviewDocument", 0x6003000f, "", "Method to print preview the HTML document."},
    {M, "ShowDocumentProperties", 0x60030010, "",
     "Method to display the properties of the HTML document."},
    {M, "SaveDocument", 0x60030011, "", "Method to save a copy of the HTML document."},
    {M, "SaveHTML", 0x60030012, "strDir As String, Optional ByRef strFilename As String As Boolean",
     "Method to save the active HTML document."},
    {M, "SaveCopy", 0x60030013,
     "ByRef strCopyTo As String, Optional ByRef blnWarnIfExists As Boolean As Boolean",
     "Method to save a copy of the workbook."},
    {M, "Refresh", 0x60030019, "", "Method to refresh the window."},
    {M, "Find", 0x6003001a, "", "Method to find data."},
    {M, "OpenXL", 0x60030023, kOpenXLSignature,
     "Method to open an Excel worksheet, convert it to HTML, then display in the "
     "viewer control. "},
    {M, "OpenXLrange", 0x60030024, kOpenXLrangeSignature,
     "Method to open an Excel worksheet range, convert it to HTML, then display in the "
     "viewer control. "},

    {E, "DownloadStarted", 1, kSaveFileSignature, "Event which fires before download has started."},
    {E, "DownloadProgress", 2,
     "ByRef CurBytes As Long, ByRef MaxBytes As Long, ByRef SaveFile As String",
     "Event which fires constantly while downloading."},
    {E, "DownloadError", 3, kSaveFileSignature,
     "Event which fires when an error occurs while downloading."},
    {E, "DownloadComplete", 4, "ByRef MaxBytes As Long, ByRef SaveFile As String",
     "Event which fires after download has completed."},
    {E, "OpenStart", 5, kOpenEventSignature,
     "Event which fires before file is opened in the viewer control."},
    {E, "OpenComplete", 6, kOpenEventSignature,
     "Event which fires after the document has loaded in the viewer control."},
    {E, "OpenError", 7, kOpenEventSignature,
     "Event which fires if an error occurs while opening a file in the viewer control."},
};

// The member of the table named `name`; only for constant expressions, where a name that the
// table lacks stops the build.
consteval const MemberInfo* MemberNamed(std::string_view name) {
  for (const MemberInfo& m : kMembers) {
    if (name == m.name) return &m;
  }
  throw "the control has no member of that name";
}

}  // namespace gridwell::members
