#include "reader/xlsx/worksheet.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

#include "reader/xlsx/formula_shift.h"
#include "reader/xlsx/row_events.h"
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
  // Split parsing: where the main parser's last row of sheetData ended (bytes of its own
  // input), and whether the document declared an encoding other than UTF-8.
  bool trackRowEnds = false;
  int64_t lastRowEnd = -1;
  bool foreignEncoding = false;
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
  if (s.trackRowEnds && depth == s.sheetDataDepth + 1 && s.sheetDataDepth >= 0 &&
      LocalName(name) == "row") {
    s.lastRowEnd = XML_GetCurrentByteIndex(s.parser) + XML_GetCurrentByteCount(s.parser);
  }
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

// ---- Split parsing of big worksheets ----
//
// Expat is about half of reading a big sheet. Runs of whole rows are therefore parsed on a
// second thread as XML fragments, their parser events recorded, and the events replayed
// into the handlers above in document order, so the sheet is built exactly as one parser
// would build it. The main parser reads everything else (the head of the part and what
// follows the rows) and never sees the bytes of the runs. Runs in the plain form that
// spreadsheet programs write are recorded by a scanner several times faster than expat
// (row_events.h), which falls back to expat for anything else.
//
// A run starts where the main parser has just finished a row of sheetData (it checks that
// the row's end tag ends exactly there, so no comment, CDATA section or attribute is open)
// and ends with a row's end tag. Content parsed from such a point is independent of what
// came before, so a run that parses as a well-formed fragment gives the events the whole
// document would. A run that does not parse goes to the main parser as plain bytes, and so
// does everything after it. Documents that declare another encoding than UTF-8 are never
// split.

constexpr std::string_view kRowEnd = "</row>";

struct RecordedRun {
  std::string bytes;   // the run itself, kept in case it must be parsed in place
  std::string events;  // what its fragment parse reported (see row_events.h)
  bool parsed = false;
  bool local = false;     // left to the main parser, which reads it in place
  bool finished = false;  // ready to be applied (set under the parse's mutex)
};

// Records the events of a run: by the plain-form scanner when the run is in that form,
// else by expat. Returns whether the scanner sufficed.
bool ParseRun(RecordedRun& run) {
  run.events.reserve(run.bytes.size() + run.bytes.size() / 4);
  if (ScanPlainRowEvents(run.bytes, run.events)) {
    run.parsed = true;
    return true;
  }
  run.events.clear();
  run.parsed = RecordRowEvents(run.bytes, run.events);
  if (!run.parsed) run.events.clear();
  return false;
}

uint32_t GetU32(const char*& p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  p += 4;
  return v;
}

void Replay(SheetState& s, const std::string& events) {
  std::vector<const XML_Char*> attrs;
  const char* p = events.data();
  const char* end = p + events.size();
  while (p < end) {
    const char kind = *p++;
    if (kind == 'S') {
      const char* name = p;
      p += std::strlen(p) + 1;
      const uint32_t n = GetU32(p);
      attrs.clear();
      for (uint32_t i = 0; i < 2 * n; ++i) {
        attrs.push_back(p);
        p += std::strlen(p) + 1;
      }
      attrs.push_back(nullptr);
      Start(&s, name, attrs.data());
    } else if (kind == 'E') {
      const char* name = p;
      p += std::strlen(p) + 1;
      End(&s, name);
    } else {
      const uint32_t n = GetU32(p);
      Chars(&s, p, static_cast<int>(n));
      p += n;
    }
  }
}

void XMLCALL NoteEncoding(void* ud, const XML_Char*, const XML_Char* encoding, int) {
  if (encoding == nullptr) return;
  std::string_view e(encoding);
  auto& s = *static_cast<SheetState*>(ud);
  s.foreignEncoding = !(e.size() == 5 && (e[0] | 0x20) == 'u' && (e[1] | 0x20) == 't' &&
                        (e[2] | 0x20) == 'f' && e[3] == '-' && e[4] == '8');
}

// Runs the worksheet part through the main parser `p` and, once it is inside sheetData,
// hands runs of rows to a second thread.
class SplitParse {
 public:
  SplitParse(SheetState& s, XML_Parser p, size_t runBytes, std::string_view partName)
      : s_(s), p_(p), runBytes_(runBytes), partName_(partName) {}
  ~SplitParse() { StopWorker(); }

  // Takes the next inflated piece; false once the main parser has failed.
  bool Take(const char* data, size_t n) {
    pending_.append(data, n);
    return Advance(false);
  }

  // After the last piece: everything still held, then the end of input.
  PartStatus Finish(std::string& error) {
    if (status_ == PartStatus::Ok) Advance(true);
    StopWorker();
    if (status_ != PartStatus::Ok) error = error_;
    return status_;
  }

 private:
  enum class Mode { Head, Split, Sequential };

  bool Feed(const char* data, size_t n, bool final) {
    if (status_ != PartStatus::Ok) return false;
    if (XML_Parse(p_, data, static_cast<int>(n), final) != XML_STATUS_OK) {
      if (XML_GetErrorCode(p_) != XML_ERROR_ABORTED) {
        // The parser saw only what was not replayed from runs: their lines are added.
        error_ = std::string(partName_) + ": " + XML_ErrorString(XML_GetErrorCode(p_)) +
                 " at line " + std::to_string(XML_GetCurrentLineNumber(p_) + replayedLines_);
        status_ = PartStatus::Damaged;
      } else {
        status_ = PartStatus::Ok;
        stopped_ = true;
      }
      return false;
    }
    fed_ += static_cast<int64_t>(n);
    return true;
  }

  // Feeds bytes that end with a row's end tag, noting whether the parser confirms that a row
  // of sheetData ended exactly there. False when the parse stopped.
  bool FeedRows(const char* data, size_t n, bool& atRowEnd) {
    s_.trackRowEnds = true;
    const bool ok = Feed(data, n, false);
    s_.trackRowEnds = false;
    atRowEnd = ok && s_.lastRowEnd == fed_ && s_.sheetDataDepth >= 0 && !s_.inCell;
    return ok;
  }

  bool Advance(bool final) {
    if (stopped_) return false;
    if (s_.foreignEncoding) mode_ = Mode::Sequential;
    while (mode_ == Mode::Head && !pending_.empty()) {
      // Feed the main parser until it is inside sheetData, then up to the end of a row and
      // see whether the row really ended there.
      size_t upTo = pending_.size();
      bool boundary = false;
      if (s_.sheetDataDepth >= 0 && !s_.inCell) {
        const size_t at = pending_.find(kRowEnd);
        if (at != std::string::npos) {
          upTo = at + kRowEnd.size();
          boundary = true;
        } else if (!final && pending_.size() < 2 * runBytes_) {
          break;  // wait for more
        }
      }
      bool atRowEnd = false;
      const bool ok = FeedRows(pending_.data(), upTo, atRowEnd);
      pending_.erase(0, upTo);
      if (!ok) return false;
      if (s_.foreignEncoding) {
        mode_ = Mode::Sequential;
      } else if (boundary && atRowEnd) {
        mode_ = Mode::Split;
      }
    }
    while (mode_ == Mode::Split && pending_.size() >= runBytes_) {
      // A run of about runBytes_ that ends with a row's end tag.
      size_t cut = pending_.rfind(kRowEnd, runBytes_);
      if (cut == std::string::npos) {
        cut = pending_.find(kRowEnd, runBytes_);
        if (cut == std::string::npos) {
          // No row ends here at all: the main parser reads the rest in place.
          if (pending_.size() > 4 * runBytes_) mode_ = Mode::Sequential;
          break;
        }
      }
      cut += kRowEnd.size();
      Dispatch(pending_.substr(0, cut));
      pending_.erase(0, cut);
    }
    if (final && mode_ == Mode::Split) {
      const size_t cut = pending_.rfind(kRowEnd);
      if (cut != std::string::npos) {
        Dispatch(pending_.substr(0, cut + kRowEnd.size()));
        pending_.erase(0, cut + kRowEnd.size());
      }
    }
    if (final || mode_ == Mode::Sequential) {
      if (!Drain(0)) return false;
      if (!Feed(pending_.data(), pending_.size(), final)) return false;
      pending_.clear();
    }
    return status_ == PartStatus::Ok;
  }

  // Queues a run for the worker and applies finished runs so that at most two wait.
  void Dispatch(std::string bytes) {
    auto run = std::make_unique<RecordedRun>();
    run->bytes = std::move(bytes);
    // Runs in the plain form are scanned on the second thread much faster than the main
    // thread replays them. Once a run has needed the full parser there, every third run
    // is read in place by the main parser instead, which then has time for it.
    const bool third = dispatched_++ % 3 == 2;
    run->local = third && fullParses_.load(std::memory_order_relaxed);
    if (!worker_.joinable() && !workerFailed_) {
      try {
        worker_ = std::thread([this] { Work(); });
      } catch (const std::system_error&) {
        workerFailed_ = true;
      }
    }
    // Without a second thread every run is parsed here, in turn.
    if (workerFailed_ && !run->local) ParseRun(*run);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (run->local || workerFailed_) {
        run->finished = true;
      } else {
        todo_.push_back(run.get());
        changed_.notify_all();
      }
      inOrder_.push_back(std::move(run));
    }
    Drain(2);
  }

  // Applies finished runs in order until at most `keep` are outstanding.
  bool Drain(size_t keep) {
    for (;;) {
      std::unique_ptr<RecordedRun> run;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        if (inOrder_.size() <= keep) return status_ == PartStatus::Ok;
        RecordedRun* first = inOrder_.front().get();
        changed_.wait(lock, [&] { return first->finished; });
        run = std::move(inOrder_.front());
        inOrder_.pop_front();
      }
      Apply(*run);
    }
  }

  void Apply(RecordedRun& run) {
    if (status_ != PartStatus::Ok || stopped_) return;
    if (mode_ == Mode::Split && run.parsed) {
      Replay(s_, run.events);
      replayedLines_ += static_cast<uint64_t>(std::count(run.bytes.begin(), run.bytes.end(), '\n'));
      return;
    }
    if (mode_ == Mode::Split && run.local) {
      // Read in place; splitting goes on only if the run ended with a row of sheetData.
      bool atRowEnd = false;
      if (FeedRows(run.bytes.data(), run.bytes.size(), atRowEnd) && !atRowEnd) {
        mode_ = Mode::Sequential;
      }
      return;
    }
    // From the first run that is not a well-formed fragment on, the main parser reads
    // everything in place.
    mode_ = Mode::Sequential;
    Feed(run.bytes.data(), run.bytes.size(), false);
  }

  void Work() {
    for (;;) {
      RecordedRun* run = nullptr;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return quit_ || !todo_.empty(); });
        if (todo_.empty()) return;
        run = todo_.front();
        todo_.pop_front();
      }
      try {
        if (!ParseRun(*run)) fullParses_.store(true, std::memory_order_relaxed);
      } catch (...) {
        // No memory for the events: the main parser reads this run in place. Nothing may
        // leave this thread's function, which would end the process.
        run->parsed = false;
        std::string().swap(run->events);
      }
      std::lock_guard<std::mutex> lock(mutex_);
      run->finished = true;
      changed_.notify_all();
    }
  }

  void StopWorker() {
    if (!worker_.joinable()) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      quit_ = true;
      todo_.clear();
      changed_.notify_all();
    }
    worker_.join();
  }

  SheetState& s_;
  XML_Parser p_;
  const size_t runBytes_;
  std::string_view partName_;
  Mode mode_ = Mode::Head;
  std::string pending_;
  int64_t fed_ = 0;
  PartStatus status_ = PartStatus::Ok;
  uint64_t replayedLines_ = 0;  // lines of the runs replayed, which the parser never saw
  bool stopped_ = false;
  std::string error_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<RecordedRun*> todo_;                     // for the worker
  std::deque<std::unique_ptr<RecordedRun>> inOrder_;  // dispatched, in document order
  std::thread worker_;
  bool workerFailed_ = false;
  uint64_t dispatched_ = 0;
  std::atomic<bool> fullParses_{false};  // a run on the second thread needed expat
  bool quit_ = false;
};

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
  PartStatus status;
  const uint64_t splitFrom = pkg.Limits().splitSheetsFrom;
  if (st.partSizeHint >= splitFrom) {
    XML_SetXmlDeclHandler(p, NoteEncoding);
    const size_t runBytes = static_cast<size_t>(
        std::clamp<uint64_t>(splitFrom / 8, uint64_t{4} << 10, uint64_t{1} << 20));
    SplitParse split(st, p, runBytes, partName);
    status = pkg.Stream(
        partName, [&](const char* data, size_t n) { return split.Take(data, n); }, error);
    // A part cut short by a read error or a limit keeps that error, not the parser's view
    // of the truncated text.
    std::string parseError;
    PartStatus parsed = split.Finish(parseError);
    if (status == PartStatus::Ok) {
      status = parsed;
      error = parseError;
    }
  } else {
    status = pkg.Parse(partName, p, error);
  }
  XML_ParserFree(p);
  if (st.refused) {
    error = partName + ": document type declarations are not accepted";
    status = PartStatus::Damaged;
  }
  SpreadArrayFormulas(st);
  return status;
}

}  // namespace gridwell::xlsx
