// The converter: one worksheet (or a rectangle of it) of a workbook file becomes one HTML
// page, plain (CreateHtmlFile) or styled (CreateStyledHtmlFile).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gridwell {

class ReaderWorkbook;
class ReaderWorksheet;

namespace conv {
struct PageDecoration;
class PageFile;
}  // namespace conv

// Flags are 16-bit values: True is -1 (all bits set), False is 0.
using VbBool = int16_t;
inline constexpr VbBool kTrue = -1;
inline constexpr VbBool kFalse = 0;

// Why the last conversion stopped early, for the CLI and for logs. The page writers
// themselves return nothing.
enum class ConvertStop {
  None,               // the page was written (or no conversion ran yet)
  NoWorkbookPath,     // ExcelFile is blank
  WrongExtension,     // not .xls or .xlsx
  MissingFile,        // no ordinary file at ExcelFile
  Unreadable,         // the reader cannot read the workbook
  WrongPassword,      // the workbook is encrypted and the password does not open it
  NoSuchSheet,        // the chosen sheet does not exist
  OutputNotWritable,  // also: the page would replace the workbook, or would be too big
  PendingError,       // a guarded step failed before the output file was opened
  OutOfMemory,        // the workbook or its page needs more memory than the process may use
};

class clsHTML {
 public:
  // Settings, read by a conversion, never changed by it.
  std::string ExcelFile;
  std::string Password;
  std::string Worksheet;
  int32_t Worksheetnum = 0;
  int32_t StartRow = 0;
  int16_t StartCol = 0;
  int32_t EndRow = 0;
  int16_t EndCol = 0;
  VbBool ShowFormulas = kFalse;
  VbBool HideRowNumbers = kFalse;
  VbBool HideColLetters = kFalse;
  VbBool ColLetters = kFalse;
  VbBool RowNumbers = kFalse;
  std::string Range;
  VbBool NewWindow = kFalse;
  VbBool ShowComments = kFalse;
  // Styled page only: cells whose class rules would be the same share one class, so the
  // style sheet holds one rule per distinct look instead of one per cell.
  VbBool CompactStyles = kFalse;
  // The fast page for big ranges: when the range holds more than this many cell positions
  // (0: never), either writer writes the compact page with its rows in blocks that the
  // browser lays out only when they come into view, in tables of fixed column widths. The
  // compact page does so on its own from kFastCompactFrom positions.
  int32_t FastPagesFrom = 0;
  // The largest page a mostly empty range may make, in bytes (0: no limit). A range whose
  // empty positions far outnumber its stored cells is refused when its page would be bigger,
  // as no browser shows such a page; a dense range is bound only by the page text's limit.
  int64_t MaxPageBytes = int64_t{256} << 20;
  // The page drawn as the sheet: collapsed borders with gridlines, merged areas as one cell,
  // the fills and borders of empty positions, hidden rows and columns left out, conditional
  // formats applied, and on the plain page borders and font sizes in points. Any page kind.
  VbBool SheetLook = kFalse;

  // Results of the last conversion that got past opening the workbook.
  std::vector<std::string> SheetNames() const { return sheetNames_; }
  int32_t SheetTotal() const { return sheetTotal_; }
  // With SheetLook: the sheet's conditional format rules the page does not show because
  // they need a formula evaluated.
  int32_t UnshownConditionalRules() const { return unshownConditionalRules_; }

  void CreateHtmlFile(const std::string& HTMLfile, const std::string& Heading,
                      const std::string& Title, const std::string& BackgroundColor,
                      const std::string& BackgroundImageFile, const std::string& TableColor,
                      const std::string& TableImageFile);
  void CreateStyledHtmlFile(const std::string& HTMLfile, const std::string& Heading,
                            const std::string& Title, const std::string& BackgroundColor,
                            const std::string& BackgroundImageFile, const std::string& TableColor,
                            const std::string& TableImageFile);

  // Read-only diagnostic: why the last conversion stopped, and a detail for logs.
  ConvertStop LastStop() const { return lastStop_; }
  const std::string& LastStopDetail() const { return lastStopDetail_; }
  // What the reader passed over in the last workbook it read (damage, cells out of the
  // grid), one line each.
  const std::vector<std::string>& LastWarnings() const { return lastWarnings_; }

 private:
  void Convert(const std::string& HTMLfile, const conv::PageDecoration& decoration, bool styled);
  // Runs one conversion; `out` receives the page file as soon as it is opened, so that the
  // caller discards it whatever happens afterwards unless it was completed.
  void ConvertTo(const std::string& HTMLfile, const conv::PageDecoration& decoration, bool styled,
                 conv::PageFile& out);
  // The steps of ConvertTo. Each that fails records why with Stop.
  bool CheckWorkbookPath();
  ReaderWorkbook OpenWorkbook();
  // Fills the sheet list; returns why it failed, or an empty string.
  std::string ReadSheetNames(const ReaderWorkbook& book);
  ReaderWorksheet ChooseSheet(const ReaderWorkbook& book);
  void Stop(ConvertStop why, std::string detail);

  std::vector<std::string> sheetNames_;
  int32_t sheetTotal_ = 0;
  int32_t unshownConditionalRules_ = 0;
  ConvertStop lastStop_ = ConvertStop::None;
  std::string lastStopDetail_;
  std::vector<std::string> lastWarnings_;
};

}  // namespace gridwell
