// `gridwell sheets` and `gridwell cells`: what the reader sees in a workbook, in a form
// that scripts and tests read.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <iostream>
#include <numeric>
#include <vector>

#include "cli/commands.h"
#include "cli/terminal_text.h"
#include "cli/workbook_args.h"
#include "reader/base/bytes.h"
#include "reader/base/cell_ref.h"

namespace gridwell::cli {

namespace {

struct Options {
  std::string book;
  std::string sheet;
  std::string range;
  std::string password;
  bool hasPassword = false;
  bool help = false;
};

// Parses the common options; returns false (after one line on stderr) on a usage error.
bool ParseOptions(const char* cmd, const std::vector<std::string>& args, bool allowSheet,
                  Options& o) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& dst) {
      if (i + 1 >= args.size()) {
        PrintLine("gridwell " + std::string(cmd) + ": " + a + " needs a value");
        return false;
      }
      dst = args[++i];
      return true;
    };
    if (a == "-h" || a == "--help") {
      o.help = true;
    } else if (a == "--password") {
      if (!value(o.password)) return false;
      o.hasPassword = true;
    } else if (allowSheet && a == "--sheet") {
      if (!value(o.sheet)) return false;
    } else if (allowSheet && a == "--range") {
      if (!value(o.range)) return false;
    } else if (!a.empty() && a[0] == '-' && a != "-") {
      PrintLine("gridwell " + std::string(cmd) + ": unknown option " + a);
      return false;
    } else if (o.book.empty()) {
      o.book = a;
    } else {
      PrintLine("gridwell " + std::string(cmd) + ": unexpected argument " + a);
      return false;
    }
  }
  if (!o.help && o.book.empty()) {
    PrintLine("gridwell " + std::string(cmd) + ": no workbook given (see --help)");
    return false;
  }
  return true;
}

void PutNumber(std::string& line, double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  line += buf;
}

// The positions of the stored cells inside `range`, row by row: storage order follows the
// file, and a row-major listing stays the same whoever wrote it.
std::vector<int32_t> CellsInRowOrder(const ReaderCells& cells, const CellRange& range) {
  std::vector<std::pair<uint64_t, int32_t>> order;
  order.reserve(static_cast<size_t>(cells.Count()));
  for (int32_t i = 1; i <= cells.Count(); ++i) {
    ReaderCell c = cells.Item(i);
    if (!range.Contains(c.Row(), c.Column())) continue;
    order.emplace_back((uint64_t(uint32_t(c.Row())) << 16) | uint32_t(c.Column()), i);
  }
  std::sort(order.begin(), order.end());
  std::vector<int32_t> items;
  items.reserve(order.size());
  for (const auto& entry : order) items.push_back(entry.second);
  return items;
}

// One line of the listing: ref, kind, raw value, text, number format index, formula.
void AppendCellLine(std::string& out, const ReaderCell& c) {
  CellValue v = c.Value();
  base::AppendColumnLetters(out, c.Column());
  out += std::to_string(c.Row());
  out += '\t';
  switch (v.kind) {
    case ValueKind::Empty:
      out += "e\t";
      break;
    case ValueKind::Number:
      out += "n\t";
      PutNumber(out, v.number);
      break;
    case ValueKind::Date:
      out += "d\t";
      PutNumber(out, v.number);
      break;
    case ValueKind::String:
      out += "s\t";
      AppendEscapedText(out, v.text);
      break;
    case ValueKind::Boolean:
      out += "b\t";
      out += v.boolean ? "TRUE" : "FALSE";
      break;
    case ValueKind::Error:
      out += "x\t";
      out += ErrorText(v.error);
      break;
  }
  out += '\t';
  AppendEscapedText(out, c.Text());
  out += '\t';
  out += std::to_string(c.NumberFormatIndex());
  out += '\t';
  AppendEscapedText(out, c.Formula());
  out += '\n';
}

}  // namespace

int RunSheets(const std::vector<std::string>& args) {
  Options o;
  if (!ParseOptions("sheets", args, false, o)) return kUsage;
  if (o.help) {
    std::cout << "usage: gridwell sheets BOOK [--password PW]\n"
                 "Prints the sheet names of BOOK (.xls or .xlsx), one a line, in workbook order.\n";
    return kOk;
  }
  ReaderWorkbook book;
  if (int rc = OpenWorkbook(o.book, o.hasPassword ? &o.password : nullptr, book); rc != kOk)
    return rc;
  ReaderWorksheets sheets = book.Worksheets();
  std::string out;
  for (int32_t i = 1; i <= sheets.Count(); ++i) {
    AppendEscapedText(out, sheets.Item(i).Name());
    out += '\n';
  }
  std::cout << out << std::flush;
  return kOk;
}

int RunCells(const std::vector<std::string>& args) {
  Options o;
  if (!ParseOptions("cells", args, true, o)) return kUsage;
  if (o.help) {
    std::cout
        << "usage: gridwell cells BOOK [--sheet NAME|N] [--range A1:H40] [--password PW]\n"
           "Prints the stored cells of one sheet (default: the first) as tab-separated lines:\n"
           "ref, kind (e empty, n number, d date, s string, b Boolean, x error), raw value,\n"
           "text as formatted, number format index, formula. Tab, newline, carriage return\n"
           "and backslash inside a field are written \\t, \\n, \\r and \\\\, other control\n"
           "characters as \\xHH.\n";
    return kOk;
  }
  CellRange range;
  if (!o.range.empty() && !ParseRange(o.range, range)) {
    PrintLine("gridwell cells: bad range " + o.range + " (expected like A1:H40)");
    return kUsage;
  }
  ReaderWorkbook book;
  if (int rc = OpenWorkbook(o.book, o.hasPassword ? &o.password : nullptr, book); rc != kOk)
    return rc;
  ReaderWorksheet sheet = ChooseSheet(book, o.sheet);
  if (!sheet) {
    PrintLine("gridwell cells: no sheet " + o.sheet + " in " + o.book);
    return kNoSheet;
  }
  ReaderCells cells = sheet.Cells();
  std::string out = "ref\tkind\tvalue\ttext\tformat_index\tformula\n";
  for (const int32_t i : CellsInRowOrder(cells, range)) {
    AppendCellLine(out, cells.Item(i));
    if (out.size() > (1u << 20)) {
      std::cout << out;
      out.clear();
    }
  }
  std::cout << out << std::flush;
  return kOk;
}

}  // namespace gridwell::cli
