#include "reader/xlsx/formula_shift.h"

#include <cctype>
#include <cstdint>

#include "reader/base/cell_ref.h"

namespace gridwell::xlsx {

namespace {

bool IsWordChar(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return std::isalnum(u) || c == '_' || c == '.' || c == '$' || c == '\\' || u >= 0x80;
}

struct RefPart {
  bool absCol = false, absRow = false;
  int32_t col = 0, row = 0;  // 0 when the part is absent
};

// Parses "$A$1", "A1", "A", "$3" style tokens. `want` = 'c' cell, 'C' column only,
// 'R' row only.
bool ParseRef(std::string_view t, char want, RefPart& ref) {
  size_t i = 0;
  if (want != 'R') {
    i = base::ScanColumnPart(t, ref.col, ref.absCol);
    if (i == 0) return false;
    if (want == 'C') return i == t.size();
  }
  const size_t rowLength = base::ScanRowPart(t.substr(i), ref.row, ref.absRow);
  return rowLength != 0 && i + rowLength == t.size();
}

// Writes the moved reference; false when it leaves the grid.
bool AppendMoved(const RefPart& r, char kind, int dRow, int dCol, std::string& out) {
  int64_t col = r.absCol ? r.col : int64_t{r.col} + dCol;
  int64_t row = r.absRow ? r.row : int64_t{r.row} + dRow;
  if (kind != 'R' && (col < 1 || col > base::kMaxColumns)) return false;
  if (kind != 'C' && (row < 1 || row > base::kMaxRows)) return false;
  if (kind != 'R') {
    if (r.absCol) out.push_back('$');
    base::AppendColumnLetters(out, static_cast<int32_t>(col));
  }
  if (kind != 'C') {
    if (r.absRow) out.push_back('$');
    out += std::to_string(row);
  }
  return true;
}

size_t WordEnd(std::string_view f, size_t i) {
  while (i < f.size() && IsWordChar(f[i])) ++i;
  return i;
}

// Column ranges (A:C) and row ranges (3:5): both ends must be of the same kind. On
// success appends the moved range and sets `resume` past it.
bool ShiftRange(std::string_view f, std::string_view word, size_t end, int dRow, int dCol,
                std::string& out, size_t& resume) {
  size_t end2 = WordEnd(f, end + 1);
  std::string_view word2 = f.substr(end + 1, end2 - end - 1);
  for (char kind : {'C', 'R'}) {
    RefPart a, b;
    if (!ParseRef(word, kind, a) || !ParseRef(word2, kind, b)) continue;
    std::string moved;
    if (AppendMoved(a, kind, dRow, dCol, moved)) {
      moved.push_back(':');
      if (AppendMoved(b, kind, dRow, dCol, moved)) {
        out += moved;
      } else {
        out += "#REF!";
      }
    } else {
      out += "#REF!";
    }
    resume = end2;
    return true;
  }
  return false;
}

}  // namespace

void ShiftFormula(std::string_view f, int dRow, int dCol, std::string& out) {
  size_t i = 0;
  while (i < f.size()) {
    char c = f[i];
    if (c == '"' || c == '\'') {
      // A string literal or a quoted sheet name; a doubled quote stands for one.
      size_t j = i + 1;
      while (j < f.size()) {
        if (f[j] == c) {
          if (j + 1 < f.size() && f[j + 1] == c) {
            j += 2;
            continue;
          }
          break;
        }
        ++j;
      }
      j = j < f.size() ? j + 1 : j;
      out.append(f.substr(i, j - i));
      i = j;
      continue;
    }
    if (c == '[') {
      // Structured references and external book indexes; brackets may nest.
      int depth = 0;
      size_t j = i;
      for (; j < f.size(); ++j) {
        if (f[j] == '[')
          ++depth;
        else if (f[j] == ']' && --depth == 0)
          break;
      }
      j = j < f.size() ? j + 1 : j;
      out.append(f.substr(i, j - i));
      i = j;
      continue;
    }
    if (c == '#') {
      // Error literals such as #REF! and #N/A.
      size_t j = i + 1;
      while (j < f.size() && (std::isalnum(static_cast<unsigned char>(f[j])) || f[j] == '/' ||
                              f[j] == '!' || f[j] == '?' || f[j] == '_')) {
        ++j;
      }
      out.append(f.substr(i, j - i));
      i = j;
      continue;
    }
    if (!IsWordChar(c)) {
      out.push_back(c);
      ++i;
      continue;
    }
    size_t end = WordEnd(f, i);
    std::string_view word = f.substr(i, end - i);
    char next = end < f.size() ? f[end] : '\0';
    if (next == '!' || next == '(') {
      // A sheet name or a function name.
      out.append(word);
      i = end;
      continue;
    }
    RefPart ref;
    if (ParseRef(word, 'c', ref)) {
      if (!AppendMoved(ref, 'c', dRow, dCol, out)) out += "#REF!";
      i = end;
      continue;
    }
    // Column ranges (A:C) and row ranges (3:5): both ends must be of the same kind.
    if (next == ':' && ShiftRange(f, word, end, dRow, dCol, out, i)) continue;
    // A number, a defined name or TRUE/FALSE: unchanged. Numbers with an exponent
    // ("1E+5") split at the sign, and the digits after it never form a reference alone.
    out.append(word);
    i = end;
  }
}

}  // namespace gridwell::xlsx
