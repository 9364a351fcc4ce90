#include "cli/workbook_args.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <iostream>

#include "cli/commands.h"
#include "cli/terminal_text.h"
#include "reader/base/cell_ref.h"

namespace gridwell::cli {

int OpenWorkbook(const std::string& path, const std::string* password, ReaderWorkbook& out) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    PrintLine("gridwell: cannot open " + path + ": no such file");
    return kUnreadable;
  }
  ReaderApplication app;
  WorkbookLoader& loader = app.Workbooks();
  int protection = loader.IsPasswordProtected(path);
  if (protection < 0) {
    PrintLine("gridwell: " + path + " is not a readable workbook");
    return kUnreadable;
  }
  bool ok = password ? loader.OpenWithPassword(path, *password) : loader.Open(path);
  if (!ok) {
    const Status& status = loader.LastStatus();
    switch (status.Code()) {
      case StatusCode::NeedPassword:
        PrintLine("gridwell: " + path + " is encrypted; give its password with --password");
        return kPassword;
      case StatusCode::WrongPassword:
        PrintLine("gridwell: wrong password for " + path);
        return kPassword;
      default:
        PrintLine("gridwell: cannot read " + path +
                  (status.Detail().empty() ? "" : ": " + status.Detail()));
        return kUnreadable;
    }
  }
  out = loader.Workbook();
  for (const std::string& warning : out.Warnings()) PrintLine("gridwell: warning: " + warning);
  return kOk;
}

ReaderWorksheet ChooseSheet(const ReaderWorkbook& book, const std::string& sheet) {
  if (sheet.empty()) return book.Worksheets().Item(1);
  int32_t n = 0;
  auto [end, ec] = std::from_chars(sheet.data(), sheet.data() + sheet.size(), n);
  if (ec == std::errc() && end == sheet.data() + sheet.size()) {
    // A sheet may itself be named "2"; a name match wins over a number out of range.
    ReaderWorksheet byNumber = book.Worksheets().Item(n);
    if (byNumber) return byNumber;
  }
  return book.WorksheetByName(sheet);
}

bool ParseRange(std::string_view text, CellRange& out) {
  const size_t colon = text.find(':');
  base::CellRef first, last;
  if (colon == std::string_view::npos) {
    if (!base::ParseCellRef(text, last)) return false;
    first = last;
  } else if (!base::ParseCellRef(text.substr(0, colon), first) ||
             !base::ParseCellRef(text.substr(colon + 1), last)) {
    return false;
  }
  out = CellRange{std::min(first.row, last.row), std::min(first.col, last.col),
                  std::max(first.row, last.row), std::max(first.col, last.col)};
  return true;
}

}  // namespace gridwell::cli
