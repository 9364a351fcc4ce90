#include "cli/workbook_args.h"

#include <cctype>
#include <charconv>
#include <filesystem>
#include <iostream>

#include "cli/commands.h"

namespace gridwell::cli {

int OpenWorkbook(const std::string& path, const std::string* password, ReaderWorkbook& out) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    std::cerr << "gridwell: cannot open " << path << ": no such file\n";
    return kUnreadable;
  }
  ReaderApplication app;
  WorkbookLoader& loader = app.Workbooks();
  int protection = loader.IsPasswordProtected(path);
  if (protection < 0) {
    std::cerr << "gridwell: " << path << " is not a readable workbook\n";
    return kUnreadable;
  }
  bool ok = password ? loader.OpenWithPassword(path, *password) : loader.Open(path);
  if (!ok) {
    const Status& status = loader.LastStatus();
    switch (status.Code()) {
      case StatusCode::NeedPassword:
        std::cerr << "gridwell: " << path << " is encrypted; give its password with --password\n";
        return kPassword;
      case StatusCode::WrongPassword:
        std::cerr << "gridwell: wrong password for " << path << "\n";
        return kPassword;
      default:
        std::cerr << "gridwell: cannot read " << path;
        if (!status.Detail().empty()) std::cerr << ": " << status.Detail();
        std::cerr << "\n";
        return kUnreadable;
    }
  }
  out = loader.Workbook();
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

bool ParseCellRef(std::string_view text, int32_t& row, int32_t& col) {
  size_t i = 0;
  if (i < text.size() && text[i] == '$') ++i;
  int64_t c = 0;
  size_t letters = 0;
  while (i < text.size() && std::isalpha(static_cast<unsigned char>(text[i]))) {
    c = c * 26 + (std::toupper(static_cast<unsigned char>(text[i])) - 'A' + 1);
    ++i;
    if (++letters > 3) return false;
  }
  if (i < text.size() && text[i] == '$') ++i;
  int64_t r = 0;
  size_t digits = 0;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
    r = r * 10 + (text[i] - '0');
    ++i;
    if (++digits > 7) return false;
  }
  if (i != text.size() || letters == 0 || digits == 0) return false;
  if (c < 1 || c > model::kMaxColumns || r < 1 || r > model::kMaxRows) return false;
  row = static_cast<int32_t>(r);
  col = static_cast<int32_t>(c);
  return true;
}

bool ParseRange(std::string_view text, CellRange& out) {
  size_t colon = text.find(':');
  if (colon == std::string_view::npos) {
    CellRange r;
    if (!ParseCellRef(text, r.lastRow, r.lastCol)) return false;
    r.firstRow = r.lastRow;
    r.firstCol = r.lastCol;
    out = r;
    return true;
  }
  CellRange r;
  if (!ParseCellRef(text.substr(0, colon), r.firstRow, r.firstCol)) return false;
  if (!ParseCellRef(text.substr(colon + 1), r.lastRow, r.lastCol)) return false;
  if (r.firstRow > r.lastRow) std::swap(r.firstRow, r.lastRow);
  if (r.firstCol > r.lastCol) std::swap(r.firstCol, r.lastCol);
  out = r;
  return true;
}

std::string ColumnName(int32_t col) {
  std::string s;
  while (col > 0) {
    int32_t rem = (col - 1) % 26;
    s.insert(s.begin(), static_cast<char>('A' + rem));
    col = (col - 1) / 26;
  }
  return s;
}

}  // namespace gridwell::cli
