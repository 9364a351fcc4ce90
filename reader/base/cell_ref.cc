#include "reader/base/cell_ref.h"

#include "reader/base/ascii.h"

namespace gridwell::base {

int32_t ColumnFromLetters(std::string_view letters) {
  if (letters.empty() || letters.size() > 3) return 0;
  int32_t n = 0;
  for (char c : letters) {
    if (!IsAsciiLetter(c)) return 0;
    n = n * 26 + (ToUpperAscii(c) - 'A' + 1);
  }
  return n <= kMaxColumns ? n : 0;
}

bool AppendColumnLetters(std::string& out, int32_t column) {
  if (column < 1 || column > kMaxColumns) return false;
  char letters[3];
  int n = 0;
  for (int32_t c = column; c > 0; c = (c - 1) / 26) {
    letters[n++] = static_cast<char>('A' + (c - 1) % 26);
  }
  while (n > 0) out += letters[--n];
  return true;
}

std::string ColumnLetters(int32_t column) {
  std::string s;
  AppendColumnLetters(s, column);
  return s;
}

size_t ScanColumnPart(std::string_view text, int32_t& col, bool& absolute) {
  const size_t start = !text.empty() && text[0] == '$' ? 1 : 0;
  size_t end = start;
  while (end < text.size() && IsAsciiLetter(text[end])) ++end;
  const int32_t n = ColumnFromLetters(text.substr(start, end - start));
  if (n == 0) return 0;
  col = n;
  absolute = start == 1;
  return end;
}

size_t ScanRowPart(std::string_view text, int32_t& row, bool& absolute) {
  const size_t start = !text.empty() && text[0] == '$' ? 1 : 0;
  size_t end = start;
  int64_t n = 0;
  for (; end < text.size() && IsAsciiDigit(text[end]); ++end) {
    // Past the last row the value is only checked, never grown, so it cannot overflow.
    if (n <= kMaxRows) n = n * 10 + (text[end] - '0');
  }
  if (end == start || n < 1 || n > kMaxRows) return 0;
  row = static_cast<int32_t>(n);
  absolute = start == 1;
  return end;
}

bool ParseCellRef(std::string_view text, CellRef& out) {
  CellRef ref;
  const size_t colEnd = ScanColumnPart(text, ref.col, ref.absCol);
  if (colEnd == 0) return false;
  const size_t rowLength = ScanRowPart(text.substr(colEnd), ref.row, ref.absRow);
  if (rowLength == 0 || colEnd + rowLength != text.size()) return false;
  out = ref;
  return true;
}

}  // namespace gridwell::base
