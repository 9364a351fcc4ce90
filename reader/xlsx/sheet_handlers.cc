#include "reader/xlsx/sheet_handlers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "reader/xlsx/cell_values.h"
#include "reader/xlsx/formula_shift.h"

namespace gridwell::xlsx {

namespace {

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

// A cell without a format of its own shows its row's (when the row has one), else its
// column's, else the default, as spreadsheet programs show it.
uint32_t InheritedStyle(const SheetState& s) {
  if (s.rowStyle >= 0 && s.cellRow == s.row) return static_cast<uint32_t>(s.rowStyle);
  if (s.cellCol < 1 || s.cellCol > model::kMaxColumns) return 0;
  const int64_t style = s.sheet->Layout().ColumnStyle(static_cast<int32_t>(s.cellCol));
  return style >= 0 ? static_cast<uint32_t>(style) : 0;
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
  bool haveRef = false, ownStyle = false;
  for (; attrs[0]; attrs += 2) {
    std::string_view n = LocalName(attrs[0]);
    const char* v = attrs[1];
    if (n.size() != 1) continue;
    if (n[0] == 'r') {
      int64_t r, c;
      if (ParseCellRef(v, r, c)) {
        s.cellRow = r;
        s.cellCol = c;
        haveRef = true;
      }
    } else if (n[0] == 's') {
      uint64_t xf;
      if (ParseUIntZ(v, xf)) {
        s.style = s.ctx->styles->Style(xf);
        s.hasStyle = xf != 0;
        ownStyle = true;
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
  if (!ownStyle && (s.rowStyle >= 0 || s.columnStyles)) s.style = InheritedStyle(s);
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

// Stores the value of the cell just closed; false when it has none that can be kept.
bool StoreValue(SheetState& s, int32_t r, int32_t c) {
  switch (s.type) {
    case CellType::Number: {
      double d;
      return s.hasValue && ParseDouble(s.value, d) &&
             StoreNumber(s, r, c, model::StoredKind::Number, d);
    }
    case CellType::Shared: {
      uint64_t i;
      return s.hasValue && ParseUInt(s.value, i) && s.ctx->strings->Valid(i) &&
             Store(s, r, c, model::StoredKind::String, s.ctx->strings->Id(i));
    }
    case CellType::Str:
      return s.hasValue && StoreText(s, r, c, s.value);
    case CellType::Inline:
      if (s.hasInline) return StoreText(s, r, c, s.inlineText);
      return s.hasValue && StoreText(s, r, c, s.value);
    case CellType::Bool:
      return s.hasValue &&
             Store(s, r, c, model::StoredKind::Boolean, s.value == "1" || s.value == "true");
    case CellType::Error: {
      if (!s.hasValue) return false;
      ErrorCode e = ErrorCode::NA;
      ParseErrorText(s.value, e);
      return Store(s, r, c, model::StoredKind::Error, static_cast<uint32_t>(e));
    }
    case CellType::Date: {
      double serial;
      return s.hasValue && ParseIsoDate(s.value, s.ctx->date1904, serial) &&
             StoreNumber(s, r, c, model::StoredKind::Date, serial);
    }
  }
  return false;
}

// The formula of the cell just closed, without its "=": its own text, or a shared
// formula's master text moved to this cell; null when it has none to keep. Notes the
// range of an array formula and the master text of a shared one.
const std::string* FormulaText(SheetState& s, int32_t r, int32_t c) {
  switch (s.fkind) {
    case FormulaKind::None:
    case FormulaKind::DataTable:
      return nullptr;
    case FormulaKind::Normal:
      return &s.formula;
    case FormulaKind::Array: {
      int64_t r1, c1, r2, c2;
      std::string_view ref = s.fref;
      size_t colon = ref.find(':');
      if (colon != std::string_view::npos && ParseCellRef(ref.substr(0, colon), r1, c1) &&
          ParseCellRef(ref.substr(colon + 1), r2, c2) && !s.formula.empty()) {
        int64_t idx = s.sheet->Cells().Find(static_cast<uint32_t>(r), static_cast<uint32_t>(c));
        if (idx >= 0) s.arrays.push_back({r1, c1, r2, c2, static_cast<uint32_t>(idx)});
      }
      return &s.formula;
    }
    case FormulaKind::Shared: {
      if (!s.hasSi) return &s.formula;
      if (!s.formula.empty()) {
        // The master: its text serves every cell of the group.
        s.shared[s.si] = SharedFormula{s.cellRow, s.cellCol, s.formula};
        return &s.formula;
      }
      auto it = s.shared.find(s.si);
      if (it == s.shared.end()) return nullptr;
      s.scratch.clear();
      ShiftFormula(it->second.text, static_cast<int>(s.cellRow - it->second.row),
                   static_cast<int>(s.cellCol - it->second.col), s.scratch);
      return &s.scratch;
    }
  }
  return nullptr;
}

// Stores the cell just closed.
void EndCell(SheetState& s) {
  s.inCell = false;
  s.collect = nullptr;
  if (!OnGrid(s.cellRow, s.cellCol)) return;
  const int32_t r = static_cast<int32_t>(s.cellRow), c = static_cast<int32_t>(s.cellCol);
  // A formatted cell without a value is kept as a blank: it carries a look.
  if (!StoreValue(s, r, c) && (s.hasStyle || s.fkind != FormulaKind::None)) {
    Store(s, r, c, model::StoredKind::Empty, 0);
  }
  const std::string* text = FormulaText(s, r, c);
  if (!text || text->empty()) return;
  std::string full;
  full.reserve(text->size() + 1);
  full.push_back('=');
  full += *text;
  DecodeEscapes(full);
  s.sheet->SetFormula(r, c, full);
}

// A row's look: hidden, and its format, which counts only with customFormat.
void RowLook(SheetState& s, int32_t r, bool hidden, const char* style, bool customFormat) {
  model::SheetLayout& layout = s.sheet->Layout();
  if (hidden) {
    layout.HideRows(r, r);
  } else if (s.rowsHiddenByDefault) {
    s.shownRows.Add(r, r);
  }
  uint64_t xf;
  if (customFormat && style && ParseUInt(style, xf)) {
    s.rowStyle = s.ctx->styles->Style(xf);
    layout.SetRowStyle(r, static_cast<uint32_t>(s.rowStyle));
  }
}

void BeginRow(SheetState& s, const XML_Char** attrs) {
  int64_t r = s.row + 1;
  const char *ht = nullptr, *style = nullptr;
  bool hidden = false, customFormat = false;
  for (; attrs[0]; attrs += 2) {
    std::string_view n = LocalName(attrs[0]);
    if (n == "r") {
      uint64_t v;
      if (ParseUInt(attrs[1], v)) r = static_cast<int64_t>(std::min<uint64_t>(v, INT32_MAX));
    } else if (n == "ht") {
      ht = attrs[1];
    } else if (n == "hidden") {
      hidden = XmlBool(attrs[1]);
    } else if (n == "s") {
      style = attrs[1];
    } else if (n == "customFormat") {
      customFormat = XmlBool(attrs[1]);
    }
  }
  s.row = r;
  s.col = 0;
  s.rowStyle = -1;
  if (r < 1 || r > model::kMaxRows) return;
  double points = AttrDouble(ht, -1);
  if (points >= 0 && points <= 409.5 * 4) {
    s.sheet->SetRowHeight(static_cast<int32_t>(r), points * 20);
  }
  RowLook(s, static_cast<int32_t>(r), hidden, style, customFormat);
}

void ReadColumn(SheetState& s, const XML_Char** attrs) {
  uint64_t min = 0, max = 0, xf = 0;
  const char* width = nullptr;
  bool hidden = false;
  for (; attrs[0]; attrs += 2) {
    std::string_view n = LocalName(attrs[0]);
    if (n == "min")
      ParseUInt(attrs[1], min);
    else if (n == "max")
      ParseUInt(attrs[1], max);
    else if (n == "width")
      width = attrs[1];
    else if (n == "hidden")
      hidden = XmlBool(attrs[1]);
    else if (n == "style")
      ParseUInt(attrs[1], xf);
  }
  if (min < 1 || min > model::kMaxColumns) return;
  if (max < min) max = min;
  const auto first = static_cast<int32_t>(min);
  const auto last = static_cast<int32_t>(std::min<uint64_t>(max, model::kMaxColumns));
  model::SheetLayout& layout = s.sheet->Layout();
  if (hidden) layout.HideColumns(first, last);
  // The default format (model style 0) needs no entry.
  if (const uint32_t style = s.ctx->styles->Style(xf); style != 0) {
    layout.SetColumnStyle(first, last, style);
    s.columnStyles = true;
  }
  // Hidden columns keep the width the file stores for them.
  double w = AttrDouble(width, -1);
  if (w >= 0 && w <= 255) s.sheet->SetColumnWidth(first, last, w);
}

// A merged area, as "A1:C2"; a single reference is no area.
void ReadMerge(SheetState& s, const char* ref) {
  if (!ref) return;
  std::string_view r(ref);
  const size_t colon = r.find(':');
  int64_t r1, c1, r2, c2;
  if (colon == std::string_view::npos || !ParseCellRef(r.substr(0, colon), r1, c1) ||
      !ParseCellRef(r.substr(colon + 1), r2, c2) || !OnGrid(r1, c1) || !OnGrid(r2, c2)) {
    return;
  }
  s.sheet->Layout().AddMerge({static_cast<int32_t>(r1), static_cast<int32_t>(c1),
                              static_cast<int32_t>(r2), static_cast<int32_t>(c2)});
}

// The first view of the sheet says whether it shows gridlines.
void ReadSheetView(SheetState& s, const XML_Char** attrs) {
  if (s.sawSheetView) return;
  s.sawSheetView = true;
  s.sheet->Layout().showGridlines = XmlBool(FindAttr(attrs, "showGridLines"), true);
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
  s.rowsHiddenByDefault = XmlBool(FindAttr(attrs, "zeroHeight"));
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

}  // namespace

void XMLCALL OnSheetStart(void* ud, const XML_Char* name, const XML_Char** attrs) {
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
    if (s.row > s.ctx->rowsWithCells) XML_StopParser(s.parser, XML_FALSE);  // a read limit
    return;
  }
  if (s.conditional.Start(n, attrs, *s.ctx->styles)) {
    s.collect = s.conditional.TextTarget();
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
  } else if (n == "mergeCell") {
    ReadMerge(s, FindAttr(attrs, "ref"));
  } else if (n == "sheetView") {
    ReadSheetView(s, attrs);
  }
}

void XMLCALL OnSheetEnd(void* ud, const XML_Char* name) {
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
  if (s.sheetDataDepth < 0 && s.conditional.End(LocalName(name))) {
    s.collect = s.conditional.TextTarget();
    return;
  }
  if (depth == s.sheetDataDepth) s.sheetDataDepth = -1;
  if (s.trackRowEnds && depth == s.sheetDataDepth + 1 && s.sheetDataDepth >= 0 &&
      LocalName(name) == "row") {
    s.lastRowEnd = XML_GetCurrentByteIndex(s.parser) + XML_GetCurrentByteCount(s.parser);
  }
}

void XMLCALL OnSheetChars(void* ud, const XML_Char* text, int len) {
  auto& s = *static_cast<SheetState*>(ud);
  if (s.collect) s.collect->append(text, static_cast<size_t>(len));
}

void XMLCALL NoteSheetEncoding(void* ud, const XML_Char*, const XML_Char* encoding, int) {
  if (encoding == nullptr) return;
  std::string_view e(encoding);
  auto& s = *static_cast<SheetState*>(ud);
  s.foreignEncoding = !(e.size() == 5 && (e[0] | 0x20) == 'u' && (e[1] | 0x20) == 't' &&
                        (e[2] | 0x20) == 'f' && e[3] == '-' && e[4] == '8');
}

void HideUnlistedRows(SheetState& s) {
  if (s.rowsHiddenByDefault) s.sheet->Layout().HideRowsOutside(s.shownRows);
}

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

}  // namespace gridwell::xlsx
