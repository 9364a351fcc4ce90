// The control's programmable surface as data: interface _Gridwell (properties and methods) and
// event interface __Gridwell, with dispatch ids and help texts.
#include <array>

#include "control/gridwell.h"

namespace gridwell {

namespace {

constexpr MemberKind P = MemberKind::Property;
constexpr MemberKind M = MemberKind::Method;
constexpr MemberKind E = MemberKind::Event;

constexpr const char* kOpenXLSignature =
    "strPath As String, varSheet As Variant, lngStartRow As Long, intStartCol As Integer, "
    "lngEndRow As Long, intEndCol As Integer, strPassword As String, "
    "blnShowFormulas As Boolean, blnHideRowNumbers As Boolean, blnHideColLetters As Boolean, "
    "blnColLettersAtBottom As Boolean, blnRowNumbersAtRight As Boolean, strHeading As String, "
    "strTitle As String, strBackgroundColor As String, strBackgroundImageFile As String, "
    "strTableColor As String, strTableImageFile As String, "
    "ByRef blnOpenSynchronously As Boolean, ByRef blnNewBrowserWindow As Boolean, "
    "ByRef blnShowComments As Boolean, ByRef blnNoStyle As Boolean (all Optional) As Boolean";

constexpr const char* kOpenXLrangeSignature =
    "strPath As String, varSheet As Variant, strRange As String, strPassword As String, "
    "blnShowFormulas As Boolean, blnHideRowNumbers As Boolean, blnHideColLetters As Boolean, "
    "blnColLettersAtBottom As Boolean, blnRowNumbersAtRight As Boolean, strHeading As String, "
    "strTitle As String, strBackgroundColor As String, strBackgroundImageFile As String, "
    "strTableColor As String, strTableImageFile As String, "
    "ByRef blnOpenSynchronously As Boolean, ByRef blnNewBrowserWindow As Boolean, "
    "ByRef blnShowComments As Boolean, ByRef blnNoStyle As Boolean (all Optional) As Boolean";

constexpr std::array kMembers = {
    MemberInfo{P, "Path", 0x40030000, "String (read/write)", "Get/set Excel workbook file path."},
    MemberInfo{P, "SheetNames", 0x68030007, "Variant (read)",
               "Get the worksheet names (one dimensional array) for the active Excel workbook."},
    MemberInfo{P, "SheetTotal", 0x68030006, "Long (read)",
               "Get the worksheet total for the active Excel workbook."},
    MemberInfo{P, "hwnd", 0x68030005, "Long (read)", "Get the handle number of the control."},
    MemberInfo{P, "TempWorkbook", 0x68030004, "String (read)",
               "Get the temporary workbook file path. This is the workbook downloaded from HTTP "
               "or FTP."},
    MemberInfo{P, "RegenerateHTML", 0x68030003, "Boolean (read/write)",
               "Get/set boolean variable which determines whether HTML is regenerated or not."},
    MemberInfo{P, "TempPath", 0x68030002, "String (read)",
               "Get/set file path where temporary files will be created."},
    MemberInfo{P, "HTMLfile", 0x68030001, "String (read)", "Get the HTML file path."},
    MemberInfo{P, "ExcelFile", 0x68030000, "String (read)", "Get the Excel workbook file path."},

    MemberInfo{M, "BeginDownload", 0x6003000a,
               "ByRef strURL As String, ByRef strFile As String As Boolean",
               "Method to download a file from a web server."},
    MemberInfo{M, "GoHome", 0x6003000b, "Optional ByRef blnOpenSynchronously As Boolean",
               "Method to go to the home Excel workbook file (the last workbook opened with "
               "method OpenXL). "},
    MemberInfo{M, "SetupDocument", 0x6003000c, "",
               "Method to setup the HTML document page for printing."},
    MemberInfo{M, "PrintDocument", 0x6003000d, "Optional ByRef blnShowPrompt As Boolean",
               "Method to print the HTML document."},
    MemberInfo{M, "FindInDocument", 0x6003000e, "",
               "Method to invoke the find dialog screen for the HTML document."},
    MemberInfo{M, "PrintPreviewDocument", 0x6003000f, "",
               "Method to print preview the HTML document."},
    MemberInfo{M, "ShowDocumentProperties", 0x60030010, "",
               "Method to display the properties of the HTML document."},
    MemberInfo{M, "SaveDocument", 0x60030011, "", "Method to save a copy of the HTML document."},
    MemberInfo{M, "SaveHTML", 0x60030012,
               "strDir As String, Optional ByRef strFilename As String As Boolean",
               "Method to save the active HTML document."},
    MemberInfo{M, "SaveCopy", 0x60030013,
               "ByRef strCopyTo As String, Optional ByRef blnWarnIfExists As Boolean As Boolean",
               "Method to save a copy of the workbook."},
    MemberInfo{M, "Refresh", 0x60030019, "", "Method to refresh the window."},
    MemberInfo{M, "Find", 0x6003001a, "", "Method to find data."},
    MemberInfo{M, "OpenXL", 0x60030023, kOpenXLSignature,
               "Method to open an Excel worksheet, convert it to HTML, then display in the "
               "viewer control. "},
    MemberInfo{M, "OpenXLrange", 0x60030024, kOpenXLrangeSignature,
               "Method to open an Excel worksheet range, convert it to HTML, then display in the "
               "viewer control. "},

    MemberInfo{E, "DownloadStarted", 1, "ByRef SaveFile As String",
               "Event which fires before download has started."},
    MemberInfo{E, "DownloadProgress", 2,
               "ByRef CurBytes As Long, ByRef MaxBytes As Long, ByRef SaveFile As String",
               "Event which fires constantly while downloading."},
    MemberInfo{E, "DownloadError", 3, "ByRef SaveFile As String",
               "Event which fires when an error occurs while downloading."},
    MemberInfo{E, "DownloadComplete", 4, "ByRef MaxBytes As Long, ByRef SaveFile As String",
               "Event which fires after download has completed."},
    MemberInfo{E, "OpenStart", 5, "ByRef ExcelWorkbook As String, ByRef HTMLfile As String",
               "Event which fires before file is opened in the viewer control."},
    MemberInfo{E, "OpenComplete", 6, "ByRef ExcelWorkbook As String, ByRef HTMLfile As String",
               "Event which fires after the document has loaded in the viewer control."},
    MemberInfo{E, "OpenError", 7, "ByRef ExcelWorkbook As String, ByRef HTMLfile As String",
               "Event which fires if an error occurs while opening a file in the viewer control."},
};

}  // namespace

std::span<const MemberInfo> Gridwell::Members() {
  return kMembers;
}

}  // namespace gridwell
