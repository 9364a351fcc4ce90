#include "reader/xlsx/worksheet.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "reader/xlsx/formula_shift.h"
#include "reader/xlsx/xml_util.h"

namespace gridwell::xlsx {

namespace {

enum class CellType : uint8_t { Number, Shared, Str, Inline, Bool, Error, Date };

enum class FormulaKind : uint8_t { None, Normal, Shared, Array, DataTable };

struct SharedFormula {
  int64_t row, col;
  std::string text;
};

struct ArrayRange {
  int64_t firstRow, firstCol, lastRow, lastCol;
  uint32_t formulaCell;  // cell index of the master
};

bool ParseUInt(std::string_view s, uint64_t& v) {
  auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

bool ParseDouble(std::string_view s, double& v) {
  // Trim the spaces some writers leave around numbers.
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\n'))
    s.remove_prefix(1);
  while (!s.empty() &&
         (s.back() == ' ' || s.back() == '\t' || s.back() == '\n' || s.back() == '\r'))
    s.remove_suffix(1);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  return r.ec == std::errc() && r.ptr == s.data() + s.size() && std::isfinite(v);
}

double AttrDouble(const char* v, double absent) {
  double d;
  return v && ParseDouble(v, d) ? d : absent;
}

struct SheetState : XmlHandlerBase {
  const SheetContext* ctx = nullptr;
  model::Sheet* sheet = nullptr;
  model::Workbook* book = nullptr;

  int depth = 0;
  int sheetDataDepth = -1;  // depth of <sheetData>, -1 outside
  bool inCell = false;
  int inlineDepth = 0;  // > 0 inside <is>
  int phonetic = 0;     // > 0 inside <rPh>
  std::string* collect = nullptr;

  int64_t row = 0;  // current row, 1-based
  int64_t col = 0;  // column of the last cell in the row

  // The cell being read.
  int64_t cellRow = 0, cellCol = 0;
  CellType type = CellType::Number;
  uint32_t style = 0;
  bool hasStyle = false;
  bool hasValue = false;
  bool hasInline = false;
  FormulaKind fkind = FormulaKind::None;
  bool hasSi = false;
  uint64_t si = 0;
  std::string fref;
  std::string value, formula, inlineText, scratch;

  uint64_t partSizeHint = 0;
  std::unordered_map<uint64_t, SharedFormula> shared;
  std::vector<ArrayRange> arrays;
};

// The per-cell attribute parsers work on the NUL-terminated values expat hands over,
// without measuring them first.
bool ParseUIntZ(const char* p, uint64_t& v) {
  if (*p < '0' || *p > '9') return false;
  uint64_t x = 0;
  int digits = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    if (++digits > 19) return false;
    x = x * 10 + static_cast<uint64_t>(*p - '0');
  }
  v = x;
  return *p == '\0';
}

bool ParseCellRefZ(const char* p, int64_t& row, int64_t& col) {
  int64_t c = 0;
  int letters = 0;
  for (;; ++p) {
    char ch = *p;
    if (ch >= 'A' && ch <= 'Z') {
      c = c * 26 + (ch - 'A' + 1);
    } else if (ch >= 'a' && ch <= 'z') {
      c = c * 26 + (ch - 'a' + 1);
    } else {
      break;
    }
    if (++letters > 4) return false;
  }
  uint64_t r;
  if (letters == 0 || *p == '+' || !ParseUIntZ(p, r) || r > 9999999999ull) return false;
  row = static_cast<int64_t>(r);
  col = c;
  return true;
}

void BeginCell(SheetState& s, const XML_Char** attrs) {
  s.inCell = true;
  s.type = CellType::Number;
  s.style = 0;
  s.hasStyle = false;
  s.hasValue = s.hasInline = false;
  s.fkind = FormulaKind::None;
  s.hasSi = false;
  s.value.clear();
  s.formula.clear();
  s.inlineText.clear();
  bool haveRef = false;
  for (; attrs[0]; attrs += 2) {
    std::string_view n = LocalName(attrs[0]);
    const char* v = attrs[1];
    if (n.size() != 1) continue;
    if (n[0] == 'r') {
      int64_t r, c;
      if (ParseCellRefZ(v, r, c)) {
        s.cellRow = r;
        s.cellCol = c;
        haveRef = true;
      }
    } else if (n[0] == 's') {
      uint64_t xf;
      if (ParseUIntZ(v, xf)) {
        s.style = s.ctx->styles->Style(xf);
        s.hasStyle = xf != 0;
      }
    } else if (n[0] == 't') {
      if (std::strcmp(v, "s") == 0) {
        s.type = CellType::Shared;
      } else if (std::strcmp(v, "str") == 0) {
        s.type = CellType::Str;
      } else if (std::strcmp(v, "inlineStr") == 0) {
        s.type = CellType::Inline;
      } else if (std::strcmp(v, "b") == 0) {
        s.type = CellType::Bool;
      } else if (std::strcmp(v, "e") == 0) {
        s.type = CellType::Error;
      } else if (std::strcmp(v, "d") == 0) {
        s.type = CellType::Date;
      }
    }
  }
  if (!haveRef) {
    // A cell without a reference follows the previous one in its row.
    s.cellRow = s.row > 0 ? s.row : 1;
    s.cellCol = s.col + 1;
  }
  s.col = s.cellCol;
  if (s.row == 0) s.row = s.cellRow;
}

void BeginFormula(SheetState& s, const XML_Char** attrs) {
  s.fkind = FormulaKind::Normal;
  s.fref.clear();
  for (; attrs[0]; attrs += 2) {
    std::string_view n = LocalName(attrs[0]);
    if (n == "t") {
      std::string_view t(attrs[1]);
      if (t == "shared")
        s.fkind = FormulaKind::Shared;
      else if (t == "array")
        s.fkind = FormulaKind::Array;
      else if (t == "dataTable")
        s.fkind = FormulaKind::DataTable;
    } else if (n == "si") {
      s.hasSi = ParseUInt(attrs[1], s.si);
    } else if (n == "ref") {
      s.fref = attrs[1];
    }
  }
  s.collect = &s.formula;
}

bool OnGrid(int64_t row, int64_t col) {
  return row >= 1 && row <= model::kMaxRows && col >= 1 && col <= model::kMaxColumns;
}

// Stores a cell with a single probe of the cell index. A cell that replaces an earlier
// one at its position starts without the formula flag, as with the model's setters.
bool Store(SheetState& s, int32_t r, int32_t c, model::StoredKind kind, uint32_t p0,
           uint32_t p1 = 0) {
  model::CellRecord rec{
      static_cast<uint32_t>(r), static_cast<uint16_t>(c), kind, 0, s.style, {p0, p1}};
  s.sheet->MutableCells().Put(rec);
  return true;
}

bool StoreNumber(SheetState& s, int32_t r, int32_t c, model::StoredKind kind, double d) {
  uint32_t p[2];
  std::memcpy(p, &d, sizeof d);
  return Store(s, r, c, kind, p[0], p[1]);
}

bool StoreText(SheetState& s, int32_t r, int32_t c, std::string& text) {
  DecodeEscapes(text);
  return Store(s, r, c, model::StoredKind::String, s.book->Strings().Add(text));
}

// Stores the cell just closed.
void EndCell(SheetState& s) {
  s.inCell = false;
  s.collect = nullptr;
  if (!OnGrid(s.cellRow, s.cellCol)) return;
  const int32_t r = static_cast<int32_t>(s.cellRow), c = static_cast<int32_t>(s.cellCol);
  model::Sheet& sh = *s.sheet;
  bool stored = false;
  switch (s.type) {
    case CellType::Number: {
      double d;
      if (s.hasValue && ParseDouble(s.value, d)) {
        stored = StoreNumber(s, r, c, model::StoredKind::Number, d);
      }
      break;
    }
    case CellType::Shared: {
      uint64_t i;
      if (s.hasValue && ParseUInt(s.value, i) && s.ctx->strings->Valid(i)) {
        stored = Store(s, r, c, model::StoredKind::String, s.ctx->strings->Id(i));
      }
      break;
    }
    case CellType::Str:
      if (s.hasValue) stored = StoreText(s, r, c, s.value);
      break;
    case CellType::Inline:
      if (s.hasInline) {
        stored = StoreText(s, r, c, s.inlineText);
      } else if (s.hasValue) {
        stored = StoreText(s, r, c, s.value);
      }
      break;
    case CellType::Bool:
      if (s.hasValue) {
        stored = Store(s, r, c, model::StoredKind::Boolean, s.value == "1" || s.value == "true");
      }
      break;
    case CellType::Error:
      if (s.hasValue) {
        ErrorCode e = ErrorCode::NA;
        ParseErrorText(s.value, e);
        stored = Store(s, r, c, model::StoredKind::Error, static_cast<uint32_t>(e));
      }
      break;
    case CellType::Date: {
      double serial;
      if (s.hasValue && ParseIsoDate(s.value, s.ctx->date1904, serial)) {
        stored = StoreNumber(s, r, c, model::StoredKind::Date, serial);
      }
      break;
    }
  }
  // A formatted cell without a value is kept as a blank: it carries a look.
  if (!stored && (s.hasStyle || s.fkind != FormulaKind::None)) {
    Store(s, r, c, model::StoredKind::Empty, 0);
  }

  const std::string* text = nullptr;
  switch (s.fkind) {
    case FormulaKind::None:
    case FormulaKind::DataTable:
      return;
    case FormulaKind::Normal:
      text = &s.formula;
      break;
    case FormulaKind::Array: {
      text = &s.formula;
      int64_t r1, c1, r2, c2;
      std::string_view ref = s.fref;
      size_t colon = ref.find(':');
      if (colon != std::string_view::npos && ParseCellRef(ref.substr(0, colon), r1, c1) &&
          ParseCellRef(ref.substr(colon + 1), r2, c2) && !s.formula.empty()) {
        int64_t idx = sh.Cells().Find(static_cast<uint32_t>(r), static_cast<uint32_t>(c));
        if (idx >= 0) s.arrays.push_back({r1, c1, r2, c2, static_cast<uint32_t>(idx)});
      }
      break;
    }
    case FormulaKind::Shared:
      if (!s.hasSi) {
        text = &s.formula;
      } else if (!s.formula.empty()) {
        // The master: its text serves every cell of the group.
        s.shared[s.si] = SharedFormula{s.cellRow, s.cellCol, s.formula};
        text = &s.formula;
      } else {
        auto it = s.shared.find(s.si);
        if (it == s.shared.end()) return;
        s.scratch.clear();
        ShiftFormula(it->second.text, static_cast<int>(s.cellRow - it->second.row),
                     static_cast<int>(s.cellCol - it->second.col), s.scratch);
        text = &s.scratch;
      }
      break;
  }
  if (text->empty()) return;
  std::string full;
  full.reserve(text->size() + 1);
  full.push_back('=');
  full += *text;
  DecodeEscapes(full);
  sh.SetFormula(r, c, full);
}

void BeginRow(SheetState& s, const XML_Char** attrs) {
  int64_t r = s.row + 1;
  const char* ht = nullptr;
  for (; attrs[0]; attrs += 2) {
    std::string_view n = LocalName(attrs[0]);
    if (n == "r") {
      uint64_t v;
      if (ParseUInt(attrs[1], v)) r = static_cast<int64_t>(std::min<uint64_t>(v, INT32_MAX));
    } else if (n == "ht") {
      ht = attrs[1];
    }
  }
  s.row = r;
  s.col = 0;
  double points = AttrDouble(ht, -1);
  if (points >= 0 && points <= 409.5 * 4 && r >= 1 && r <= model::kMaxRows) {
    s.sheet->SetRowHeight(static_cast<int32_t>(r), points * 20);
  }
}

void ReadColumn(SheetState& s, const XML_Char** attrs) {
  uint64_t min = 0, max = 0;
  const char* width = nullptr;
  for (; attrs[0]; attrs += 2) {
    std::string_view n = LocalName(attrs[0]);
    if (n == "min")
      ParseUInt(attrs[1], min);
    else if (n == "max")
      ParseUInt(attrs[1], max);
    else if (n == "width")
      width = attrs[1];
  }
  // Hidden columns keep the width the file stores for them.
  double w = AttrDouble(width, -1);
  if (w < 0 || w > 255 || min < 1 || min > model::kMaxColumns) return;
  if (max < min) max = min;
  s.sheet->SetColumnWidth(static_cast<int32_t>(min),
                          static_cast<int32_t>(std::min<uint64_t>(max, model::kMaxColumns)), w);
}

// The default width when only baseColWidth is given: the base number of digits plus
// 5 pixels of margin, rounded up to a multiple of 8 pixels, at 7 pixels per digit of
// the default font (8 digits give the familiar 8.43).
double WidthFromBase(double base) {
  double px = std::ceil((base * 7 + 5) / 8) * 8;
  return std::round((px - 5) / 7 * 100) / 100;
}

void ReadFormatPr(SheetState& s, const XML_Char** attrs) {
  const char* base = FindAttr(attrs, "baseColWidth");
  const char* def = FindAttr(attrs, "defaultColWidth");
  const char* ht = FindAttr(attrs, "defaultRowHeight");
  double w = AttrDouble(def, -1);
  if (w >= 0 && w <= 255) {
    s.sheet->defaultColumnWidth = w;
  } else {
    double b = AttrDouble(base, -1);
    if (b >= 0 && b <= 255) s.sheet->defaultColumnWidth = WidthFromBase(b);
  }
  double h = AttrDouble(ht, -1);
  if (h >= 0 && h <= 409.5 * 4) s.sheet->defaultRowHeight = h * 20;
}

// The dimension is only a hint: it sizes the cell store ahead (avoiding regrowth of a big
// sheet), capped by what the part's size could hold; cells are never taken from it.
void ReserveForDimension(SheetState& s, const char* ref) {
  if (!ref || s.sheet->Cells().Count() != 0) return;
  std::string_view r(ref);
  size_t colon = r.find(':');
  int64_t r1, c1, r2, c2;
  if (colon == std::string_view::npos || !ParseCellRef(r.substr(0, colon), r1, c1) ||
      !ParseCellRef(r.substr(colon + 1), r2, c2) || r2 < r1 || c2 < c1) {
    return;
  }
  constexpr uint64_t kMinBytesPerCell = 16;  // <c r="A1"><v>1</v></c> and up
  constexpr uint64_t kMaxReserve = uint64_t{16} << 20;
  uint64_t area = static_cast<uint64_t>(r2 - r1 + 1) * static_cast<uint64_t>(c2 - c1 + 1);
  uint64_t cells = std::min({area, s.partSizeHint / kMinBytesPerCell, kMaxReserve});
  if (cells > 1024) s.sheet->MutableCells().Reserve(static_cast<size_t>(cells));
}

void XMLCALL Start(void* ud, const XML_Char* name, const XML_Char** attrs) {
  auto& s = *static_cast<SheetState*>(ud);
  ++s.depth;
  std::string_view n = LocalName(name);
  if (s.inCell) {
    if (s.inlineDepth > 0) {
      ++s.inlineDepth;
      if (n == "rPh")
        ++s.phonetic;
      else if (n == "t" && s.phonetic == 0) {
        s.collect = &s.inlineText;
        s.hasInline = true;
      }
      return;
    }
    if (n == "v") {
      s.value.clear();
      s.hasValue = true;
      s.collect = &s.value;
    } else if (n == "f") {
      BeginFormula(s, attrs);
    } else if (n == "is") {
      s.inlineDepth = 1;
      s.phonetic = 0;
    }
    return;
  }
  if (s.sheetDataDepth >= 0) {
    if (n == "c")
      BeginCell(s, attrs);
    else if (n == "row")
      BeginRow(s, attrs);
    return;
  }
  if (n == "sheetData") {
    s.sheetDataDepth = s.depth;
  } else if (n == "col") {
    ReadColumn(s, attrs);
  } else if (n == "sheetFormatPr") {
    ReadFormatPr(s, attrs);
  } else if (n == "dimension") {
    ReserveForDimension(s, FindAttr(attrs, "ref"));
  } else if (n == "sheetProtection") {
    s.sheet->isProtected = XmlBool(FindAttr(attrs, "sheet"));
  }
}

void XMLCALL End(void* ud, const XML_Char* name) {
  auto& s = *static_cast<SheetState*>(ud);
  int depth = s.depth--;
  if (s.inCell) {
    std::string_view n = LocalName(name);
    if (s.inlineDepth > 0) {
      --s.inlineDepth;
      if (n == "rPh")
        --s.phonetic;
      else if (n == "t")
        s.collect = nullptr;
      return;
    }
    if (n == "c")
      EndCell(s);
    else
      s.collect = nullptr;
    return;
  }
  if (depth == s.sheetDataDepth) s.sheetDataDepth = -1;
}

void XMLCALL Chars(void* ud, const XML_Char* text, int len) {
  auto& s = *static_cast<SheetState*>(ud);
  if (s.collect) s.collect->append(text, static_cast<size_t>(len));
}

// Cells of an array formula's range other than the master show the same formula.
void SpreadArrayFormulas(SheetState& s) {
  model::Sheet& sh = *s.sheet;
  // A hostile sheet may declare many huge ranges; the work stays bounded, and what is
  // left over keeps the formula on its master cell only.
  uint64_t budget = 4 * static_cast<uint64_t>(sh.Cells().Count()) + (uint64_t{1} << 20);
  for (const ArrayRange& a : s.arrays) {
    if (!(sh.Cells().At(a.formulaCell).flags & model::CellRecord::kHasFormula)) continue;
    std::string formula(sh.Formula(a.formulaCell));
    if (formula.empty()) continue;
    int64_t r1 = std::max<int64_t>(a.firstRow, 1),
            r2 = std::min<int64_t>(a.lastRow, model::kMaxRows);
    int64_t c1 = std::max<int64_t>(a.firstCol, 1),
            c2 = std::min<int64_t>(a.lastCol, model::kMaxColumns);
    if (r1 > r2 || c1 > c2) continue;
    const model::CellStore& cells = sh.Cells();
    auto fill = [&](uint32_t i) {
      if (i == a.formulaCell || (cells.At(i).flags & model::CellRecord::kHasFormula)) return;
      sh.SetFormula(static_cast<int32_t>(cells.At(i).row), cells.At(i).col, formula);
    };
    uint64_t area = static_cast<uint64_t>(r2 - r1 + 1) * static_cast<uint64_t>(c2 - c1 + 1);
    uint64_t cost = std::min<uint64_t>(area, cells.Count());
    if (cost > budget) break;
    budget -= cost;
    if (area <= cells.Count()) {
      for (int64_t r = r1; r <= r2; ++r) {
        for (int64_t c = c1; c <= c2; ++c) {
          int64_t i = cells.Find(static_cast<uint32_t>(r), static_cast<uint32_t>(c));
          if (i >= 0) fill(static_cast<uint32_t>(i));
        }
      }
    } else {
      for (size_t i = 0; i < cells.Count(); ++i) {
        const model::CellRecord& rec = cells.At(i);
        if (rec.row >= r1 && rec.row <= r2 && rec.col >= c1 && rec.col <= c2) {
          fill(static_cast<uint32_t>(i));
        }
      }
    }
  }
}

int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

bool Digits(std::string_view s, size_t pos, size_t n, int& out) {
  if (pos + n > s.size()) return false;
  out = 0;
  for (size_t i = pos; i < pos + n; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    out = out * 10 + (s[i] - '0');
  }
  return true;
}

}  // namespace

bool ParseCellRef(std::string_view ref, int64_t& row, int64_t& col) {
  size_t i = 0;
  int64_t c = 0, r = 0;
  while (i < ref.size() && i < 4) {
    char ch = ref[i];
    if (ch >= 'A' && ch <= 'Z')
      c = c * 26 + (ch - 'A' + 1);
    else if (ch >= 'a' && ch <= 'z')
      c = c * 26 + (ch - 'a' + 1);
    else
      break;
    ++i;
  }
  if (i == 0) return false;
  size_t digits = 0;
  while (i < ref.size() && ref[i] >= '0' && ref[i] <= '9' && digits < 10) {
    r = r * 10 + (ref[i] - '0');
    ++i;
    ++digits;
  }
  if (digits == 0 || i != ref.size()) return false;
  row = r;
  col = c;
  return true;
}

bool ParseIsoDate(std::string_view t, bool date1904, double& serial) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0;
  double frac = 0;
  size_t pos = 0;
  bool haveDate = false;
  if (t.size() >= 10 && t[4] == '-' && t[7] == '-') {
    if (!Digits(t, 0, 4, y) || !Digits(t, 5, 2, mo) || !Digits(t, 8, 2, d)) return false;
    if (mo < 1 || mo > 12 || d < 1 || d > 31) return false;
    haveDate = true;
    pos = 10;
  }
  if (pos < t.size() && t[pos] == 'T') ++pos;
  if (pos < t.size() && t.size() - pos >= 5 && t[pos + 2] == ':') {
    if (!Digits(t, pos, 2, h) || !Digits(t, pos + 3, 2, mi)) return false;
    pos += 5;
    if (pos < t.size() && t[pos] == ':') {
      if (!Digits(t, pos + 1, 2, sec)) return false;
      pos += 3;
      if (pos < t.size() && t[pos] == '.') {
        size_t start = pos;
        ++pos;
        while (pos < t.size() && t[pos] >= '0' && t[pos] <= '9') ++pos;
        double f = 0;
        std::from_chars(t.data() + start, t.data() + pos, f);
        frac = f;
      }
    }
    if (h > 24 || mi > 59 || sec > 60) return false;
  }
  // A zone designator is ignored: cells hold local clock times.
  if (pos < t.size() && t[pos] != 'Z' && t[pos] != '+' && t[pos] != '-') return false;
  if (!haveDate && pos == 0) return false;
  double days = 0;
  if (haveDate) {
    int64_t n = DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d));
    if (date1904) {
      days = static_cast<double>(n - DaysFromCivil(1904, 1, 1));
    } else {
      // The 1900 system counts a 29 February 1900 that never was: serials from 1 March
      // 1900 on are one day higher than a plain count from 31 December 1899.
      int64_t base = n >= DaysFromCivil(1900, 3, 1) ? DaysFromCivil(1899, 12, 30)
                                                    : DaysFromCivil(1899, 12, 31);
      days = static_cast<double>(n - base);
    }
    if (days < 0) return false;
  }
  serial = days + (h * 3600 + mi * 60 + sec + frac) / 86400.0;
  return true;
}

PartStatus ReadWorksheet(ZipPackage& pkg, const std::string& partName, const SheetContext& ctx,
                         model::Sheet& sheet, std::string& error) {
  SheetState st;
  st.ctx = &ctx;
  st.sheet = &sheet;
  st.book = &sheet.Book();
  st.partSizeHint = pkg.SizeHint(partName);
  st.value.reserve(64);
  st.formula.reserve(64);
  XML_Parser p = NewHardenedParser(&st);
  if (!p) return PartStatus::Damaged;
  XML_SetElementHandler(p, Start, End);
  XML_SetCharacterDataHandler(p, Chars);
  PartStatus status = pkg.Parse(partName, p, error);
  XML_ParserFree(p);
  if (st.refused) {
    error = partName + ": document type declarations are not accepted";
    status = PartStatus::Damaged;
  }
  SpreadArrayFormulas(st);
  return status;
}

}  // namespace gridwell::xlsx
