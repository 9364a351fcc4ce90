// A worksheet substream: cells, formulas, column widths, row heights, protection,
// comments, and the sheet's look beyond its cells (merged areas, hidden rows and columns,
// gridlines, row and column formats).
#include <cmath>
#include <cstring>
#include <unordered_map>

#include "reader/xls/biff_workbook.h"

namespace gridwell::xls {

namespace {

inline double F64(std::span<const uint8_t> b, size_t at) {
  uint64_t bits = Le32(b, at) | (uint64_t{Le32(b, at + 4)} << 32);
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

// RK numbers: a 30-bit integer or the top 30 bits of a double, optionally divided by 100.
double RkValue(uint32_t rk) {
  double d;
  if (rk & 2) {
    d = static_cast<double>(static_cast<int32_t>(rk) >> 2);
  } else {
    uint64_t bits = uint64_t{rk & 0xFFFFFFFCu} << 32;
    std::memcpy(&d, &bits, sizeof d);
  }
  return (rk & 1) ? d / 100 : d;
}

// DEFCOLWIDTH counts characters without the cell margin: the width is that many digits
// plus 5 pixels of margin, rounded up to a multiple of 8 pixels, at 7 pixels per digit of
// the default font (8 gives the familiar 8.43).
double WidthFromBase(uint16_t base) {
  double px = std::ceil((base * 7.0 + 5) / 8) * 8;
  return std::round((px - 5) / 7 * 100) / 100;
}

uint64_t Key(uint32_t row, uint32_t col) {
  return (uint64_t{row} << 16) | col;
}

struct PendingFormula {
  uint32_t row, col;
  std::span<const uint8_t> tokens;
  std::span<const uint8_t> extra;
};

struct Master {
  std::span<const uint8_t> tokens;
  std::span<const uint8_t> extra;
  bool shared;
};

class SheetReader {
 public:
  SheetReader(Globals& g, model::Sheet& s) : g_(g), s_(s) {}

  void Run(std::span<const uint8_t> stream, uint64_t pos, uint64_t& budget) {
    RecordReader rr(stream);
    rr.Seek(pos);
    Record r;
    if (!rr.Next(r) || r.type != rec::kBof) return;
    // Only worksheets and macro sheets hold cells (BIFF5 and BIFF8 agree on these types).
    uint16_t dt = Le16(r.body(), 2);
    if (dt != 0x0010 && dt != 0x0040) return;
    int depth = 1;
    while (depth > 0 && budget > 0 && rr.Next(r)) {
      // Sheets whose substreams overlap must not make the walk quadratic.
      uint64_t walked = rr.Position() - r.pos;
      budget = walked < budget ? budget - walked : 0;
      if (r.type == rec::kBof) {
        // An embedded chart brings its own substream; its records are not cells.
        ++depth;
        continue;
      }
      if (r.type == rec::kEof) {
        --depth;
        continue;
      }
      if (depth == 1) Handle(r);
    }
    Finish();
  }

 private:
  uint32_t Style(uint16_t ixfe) const { return ixfe < g_.xfStyle.size() ? g_.xfStyle[ixfe] : 0; }

  void Handle(const Record& r) {
    // A formula's STRING record follows it, with at most the shared formula, array formula
    // or data table it belongs to recorded in between.
    if (r.type != rec::kString && r.type != rec::kShrFmla && r.type != rec::kArray &&
        r.type != rec::kTable && r.type != rec::kFormula) {
      pendingString_ = false;
    }
    if (Cell(r) || Layout(r)) return;
    switch (r.type) {
      case rec::kFormula:
        Formula(r);
        break;
      case rec::kString:
        FormulaString(r);
        break;
      case rec::kShrFmla:
      case rec::kArray:
        SharedFormula(r);
        break;
      case rec::kObj: {
        // ftCmo comes first: ft, cb, object type, object id.
        const std::span<const uint8_t> b = r.body();
        if (b.size() >= 8 && Le16(b, 0) == 0x15) lastObjId_ = Le16(b, 6);
        break;
      }
      case rec::kTxo:
        TextObject(r);
        break;
      case rec::kNote:
        Note(r);
        break;
      default:
        break;
    }
  }

  // A text as the file's BIFF version stores it: bytes of the code page, or UTF-16.
  void Text(Cursor& c, std::string& out) const {
    if (g_.biff5) {
      c.ByteString(true, g_.codePage, out);
    } else {
      c.UnicodeString(true, out);
    }
  }

  // The records of a cell's value; false for any other record.
  bool Cell(const Record& r) {
    const std::span<const uint8_t> b = r.body();
    switch (r.type) {
      case rec::kNumber:
        if (b.size() >= 14)
          s_.SetNumber(Le16(b, 0) + 1, Le16(b, 2) + 1, F64(b, 6), Style(Le16(b, 4)));
        return true;
      case rec::kRk:
        if (b.size() >= 10)
          s_.SetNumber(Le16(b, 0) + 1, Le16(b, 2) + 1, RkValue(Le32(b, 6)), Style(Le16(b, 4)));
        return true;
      case rec::kMulRk: {
        if (b.size() < 6) return true;
        const uint32_t row = Le16(b, 0) + 1u;
        uint32_t col = Le16(b, 2) + 1u;
        for (size_t at = 4; at + 6 <= b.size() - 2; at += 6, ++col) {
          s_.SetNumber(row, col, RkValue(Le32(b, at + 2)), Style(Le16(b, at)));
        }
        return true;
      }
      case rec::kBlank:
        if (b.size() >= 6) s_.SetBlank(Le16(b, 0) + 1, Le16(b, 2) + 1, Style(Le16(b, 4)));
        return true;
      case rec::kMulBlank: {
        if (b.size() < 6) return true;
        const uint32_t row = Le16(b, 0) + 1u;
        uint32_t col = Le16(b, 2) + 1u;
        for (size_t at = 4; at + 2 <= b.size() - 2; at += 2, ++col) {
          s_.SetBlank(row, col, Style(Le16(b, at)));
        }
        return true;
      }
      case rec::kBoolErr:
        BoolErr(b);
        return true;
      case rec::kLabelSst:
        LabelSst(b);
        return true;
      case rec::kLabel:
      case rec::kRString: {
        if (b.size() < 6) return true;
        Cursor c(r);
        c.Skip(6);
        std::string text;
        Text(c, text);
        s_.SetString(Le16(b, 0) + 1, Le16(b, 2) + 1, text, Style(Le16(b, 4)));
        return true;
      }
      default:
        return false;
    }
  }

  void BoolErr(std::span<const uint8_t> b) {
    if (b.size() < 8) return;
    const int32_t row = Le16(b, 0) + 1, col = Le16(b, 2) + 1;
    const uint32_t style = Style(Le16(b, 4));
    if (b[7]) {
      s_.SetError(row, col, static_cast<ErrorCode>(b[6]), style);
    } else {
      s_.SetBool(row, col, b[6] != 0, style);
    }
  }

  void LabelSst(std::span<const uint8_t> b) {
    if (b.size() < 10) return;
    const uint32_t isst = Le32(b, 6);
    const int32_t row = Le16(b, 0) + 1, col = Le16(b, 2) + 1;
    if (isst < g_.sst.size()) {
      s_.SetSharedString(row, col, g_.sst[isst], Style(Le16(b, 4)));
    } else {
      s_.SetString(row, col, "", Style(Le16(b, 4)));
    }
  }

  // Column widths, row heights, the sheet's defaults and its protection; false for any
  // other record.
  bool Layout(const Record& r) {
    const std::span<const uint8_t> b = r.body();
    switch (r.type) {
      case rec::kColInfo: {
        if (b.size() < 10) return true;
        // Hidden columns keep the width the file stores for them, as in .xlsx.
        const uint16_t first = Le16(b, 0), last = Le16(b, 2), width = Le16(b, 4);
        s_.SetColumnWidth(first + 1, std::min<int32_t>(last, 16383) + 1, width / 256.0);
        ColumnLook(first + 1, std::min<int32_t>(last, 16383) + 1, Le16(b, 6), Le16(b, 8));
        return true;
      }
      case rec::kDefColWidth:
        if (b.size() >= 2 && !haveStandardWidth_) s_.defaultColumnWidth = WidthFromBase(Le16(b, 0));
        return true;
      case rec::kStandardWidth:
        if (b.size() >= 2) {
          s_.defaultColumnWidth = Le16(b, 0) / 256.0;
          haveStandardWidth_ = true;
        }
        return true;
      case rec::kRow:
        // Hidden rows keep their stored height, as in .xlsx.
        if (b.size() >= 16) {
          s_.SetRowHeight(Le16(b, 0) + 1, Le16(b, 6) & 0x7FFF);
          RowLook(Le16(b, 0) + 1, Le16(b, 12), Le16(b, 14));
        }
        return true;
      case rec::kDefaultRowHeight:
        if (b.size() >= 4) {
          s_.defaultRowHeight = Le16(b, 2) & 0x7FFF;
          rowsHiddenByDefault_ = (Le16(b, 0) & 0x0002) != 0;  // fDyZero
        } else if (b.size() >= 2) {
          s_.defaultRowHeight = Le16(b, 0) & 0x7FFF;
        }
        return true;
      case rec::kProtect:
        if (b.size() >= 2) s_.isProtected = Le16(b, 0) != 0;
        return true;
      case rec::kWindow2:
        if (b.size() >= 2) s_.Layout().showGridlines = (Le16(b, 0) & 0x0002) != 0;  // fDspGrid
        return true;
      case rec::kMergedCells:
        MergedCells(b);
        return true;
      default:
        return false;
    }
  }

  // ROW: fDyZero hides the row; with fGhostDirty the row has its own format, its XF in the
  // low 12 bits of the last field.
  void RowLook(int32_t row, uint16_t flags, uint16_t xf) {
    model::SheetLayout& layout = s_.Layout();
    if (flags & 0x0020) {
      layout.HideRows(row, row);
    } else if (rowsHiddenByDefault_) {
      shownRows_.Add(row, row);
    }
    if (flags & 0x0080) layout.SetRowStyle(row, Style(xf & 0x0FFF));
  }

  // COLINFO: fHidden, and the columns' format (the default one needs no entry).
  void ColumnLook(int32_t first, int32_t last, uint16_t xf, uint16_t flags) {
    if (flags & 0x0001) s_.Layout().HideColumns(first, last);
    const uint32_t style = Style(xf);
    if (style != 0) s_.Layout().SetColumnStyle(first, last, style);
  }

  // MERGEDCELLS: a count, then that many areas as first row, last row, first column, last
  // column (0-based). A sheet with many areas spreads them over several such records.
  void MergedCells(std::span<const uint8_t> b) {
    const size_t count = Le16(b, 0);
    for (size_t i = 0, at = 2; i < count && at + 8 <= b.size(); ++i, at += 8) {
      s_.Layout().AddMerge(
          {Le16(b, at) + 1, Le16(b, at + 4) + 1, Le16(b, at + 2) + 1, Le16(b, at + 6) + 1});
    }
  }

  void FormulaString(const Record& r) {
    if (!pendingString_) return;
    pendingString_ = false;
    Cursor c(r);
    std::string text;
    Text(c, text);
    s_.SetString(stringRow_, stringCol_, text, stringStyle_);
  }

  // SHRFMLA and ARRAY: the RefU of the range, then the formula; SHRFMLA has 2 more bytes
  // before cce, ARRAY 6 (options and a reserved field).
  void SharedFormula(const Record& r) {
    const std::span<const uint8_t> b = r.body();
    if (b.size() < 8) return;
    const uint32_t row = Le16(b, 0);
    const uint32_t col = b[4];
    size_t at = r.type == rec::kShrFmla ? 8 : 12;
    const uint16_t cce = Le16(b, at);
    at += 2;
    if (at > b.size() || cce > b.size() - at) return;
    Master m{b.subspan(at, cce), b.subspan(at + cce), r.type == rec::kShrFmla};
    masters_[Key(row, col)] = m;
  }

  void TextObject(const Record& r) {
    const std::span<const uint8_t> b = r.body();
    if (b.size() < 12 || r.segments.size() < 2) return;
    const uint16_t cch = Le16(b, 10);
    Cursor c(r);
    c.ToSegment(1);
    std::string text;
    c.UnicodeStringNoCch(cch, text);
    texts_[lastObjId_] = std::move(text);
  }

  void Formula(const Record& r) {
    std::span<const uint8_t> b = r.body();
    if (b.size() < 22) return;
    uint32_t row = Le16(b, 0) + 1u, col = Le16(b, 2) + 1u;
    uint32_t style = Style(Le16(b, 4));
    if (Le16(b, 12) == 0xFFFF) {
      switch (b[6]) {
        case 0:  // the string follows in a STRING record
          s_.SetBlank(row, col, style);
          pendingString_ = true;
          stringRow_ = row;
          stringCol_ = col;
          stringStyle_ = style;
          break;
        case 1:
          s_.SetBool(row, col, b[8] != 0, style);
          break;
        case 2:
          s_.SetError(row, col, static_cast<ErrorCode>(b[8]), style);
          break;
        case 3:
          s_.SetString(row, col, "", style);
          break;
        default:
          s_.SetBlank(row, col, style);
          break;
      }
    } else {
      s_.SetNumber(row, col, F64(b, 6), style);
    }
    uint16_t cce = Le16(b, 20);
    size_t at = 22;
    if (cce > b.size() - at) cce = static_cast<uint16_t>(b.size() - at);
    formulas_.push_back({row, col, b.subspan(at, cce), b.subspan(at + cce)});
  }

  void Note(const Record& r) {
    std::span<const uint8_t> b = r.body();
    if (b.size() < 6) return;
    uint16_t row = Le16(b, 0), col = Le16(b, 2);
    if (!g_.biff5) {
      if (b.size() >= 8) notes_.push_back({row, col, Le16(b, 6)});
      return;
    }
    // BIFF5 keeps the text in the NOTE record; longer texts go on in NOTE records whose
    // row is 0xFFFF.
    Cursor c(r);
    c.Skip(4);
    std::string text;
    c.ByteString(true, g_.codePage, text);
    if (row == 0xFFFF) {
      if (!biff5Notes_.empty()) biff5Notes_.back().second += text;
    } else {
      biff5Notes_.push_back({Key(row, col), std::move(text)});
    }
  }

  void Finish() {
    if (rowsHiddenByDefault_) s_.Layout().HideRowsOutside(shownRows_);
    for (const PendingFormula& f : formulas_) {
      FormulaTokens t{f.tokens, f.extra, static_cast<int32_t>(f.row - 1),
                      static_cast<int32_t>(f.col - 1), false};
      if (!f.tokens.empty() && f.tokens[0] == 0x01) {
        // ptgExp: the cell belongs to a shared or array formula whose master cell is
        // given; the shared formula is shown shifted to this cell.
        if (f.tokens.size() < 5) continue;
        uint32_t mrow = Le16(f.tokens, 1);
        uint32_t mcol = g_.biff5 ? f.tokens[3] : Le16(f.tokens, 3);
        auto it = masters_.find(Key(mrow, mcol));
        if (it == masters_.end()) continue;
        t.tokens = it->second.tokens;
        t.extra = it->second.extra;
        t.shared = it->second.shared;
      }
      std::string text;
      if (DecodeFormula(g_.names, t, text)) s_.SetFormula(f.row, f.col, text);
    }
    for (const auto& n : notes_) {
      auto it = texts_.find(n.obj);
      if (it != texts_.end()) s_.SetComment(n.row + 1, n.col + 1, it->second);
    }
    for (const auto& [key, text] : biff5Notes_) {
      s_.SetComment(static_cast<int32_t>(key >> 16) + 1, static_cast<int32_t>(key & 0xFFFF) + 1,
                    text);
    }
  }

  struct NoteRef {
    uint16_t row, col, obj;
  };

  Globals& g_;
  model::Sheet& s_;
  bool pendingString_ = false;
  uint32_t stringRow_ = 0, stringCol_ = 0, stringStyle_ = 0;
  bool haveStandardWidth_ = false;
  bool rowsHiddenByDefault_ = false;  // DEFAULTROWHEIGHT fDyZero: only ROW records show rows
  model::RowRuns shownRows_;
  std::vector<PendingFormula> formulas_;
  std::unordered_map<uint64_t, Master> masters_;
  uint16_t lastObjId_ = 0;
  std::unordered_map<uint16_t, std::string> texts_;
  std::vector<NoteRef> notes_;
  std::vector<std::pair<uint64_t, std::string>> biff5Notes_;
};

}  // namespace

void ReadSheet(std::span<const uint8_t> stream, uint64_t pos, Globals& g, model::Sheet& sheet,
               uint64_t& budget) {
  SheetReader(g, sheet).Run(stream, pos, budget);
}

}  // namespace gridwell::xls
