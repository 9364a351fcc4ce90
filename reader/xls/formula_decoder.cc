#include "reader/xls/formula_decoder.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "reader/base/ascii.h"
#include "reader/base/bytes.h"
#include "reader/base/cell_ref.h"
#include "reader/value.h"
#include "reader/xls/record_stream.h"

namespace gridwell::xls {

namespace {

// Binding strength of what an expression's text ends with, so that operands get
// parentheses where the token stream lacks ptgParen (a stream written by a program
// rather than typed by a user).
enum Prec : int {
  kCompare = 1,
  kConcat,
  kAdd,
  kMul,
  kPow,
  kPercent,
  kUnary,
  kUnion,
  kIsect,
  kRange,
  kAtom,
};

struct Operand {
  std::string text;
  int prec = kAtom;
};

constexpr size_t kMaxStack = 512;
constexpr size_t kMaxText = 64 * 1024;

const char* BuiltinName(uint8_t code) {
  static const char* const names[] = {
      "Consolidate_Area", "Auto_Open",       "Auto_Close",   "Extract",        "Database",
      "Criteria",         "Print_Area",      "Print_Titles", "Recorder",       "Data_Form",
      "Auto_Activate",    "Auto_Deactivate", "Sheet_Title",  "_FilterDatabase"};
  return code < sizeof names / sizeof names[0] ? names[code] : nullptr;
}

bool LooksLikeCellRef(std::string_view s) {
  // A1-style: 1-3 letters then digits; R1C1-style: R, C, Rn, Cn, RnCn.
  size_t i = 0;
  while (i < s.size() && std::isalpha(static_cast<unsigned char>(s[i]))) ++i;
  if (i >= 1 && i <= 3 && i < s.size()) {
    size_t j = i;
    while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) ++j;
    if (j == s.size()) return true;
  }
  size_t k = 0;
  bool any = false;
  if (k < s.size() && base::ToUpperAscii(s[k]) == 'R') {
    ++k;
    any = true;
    while (k < s.size() && std::isdigit(static_cast<unsigned char>(s[k]))) ++k;
  }
  if (k < s.size() && base::ToUpperAscii(s[k]) == 'C') {
    ++k;
    any = true;
    while (k < s.size() && std::isdigit(static_cast<unsigned char>(s[k]))) ++k;
  }
  return any && k == s.size();
}

void AppendNumber(double v, std::string& out) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15G", v);
  out += buf;
}

class Decoder {
 public:
  Decoder(const FormulaNames& n, const FormulaTokens& f) : names_(n), f_(f), tok_(f.tokens) {}

  bool Run(std::string& result) {
    while (pos_ < tok_.size()) {
      if (!Step()) return false;
      if (stack_.size() > kMaxStack) return false;
    }
    if (stack_.size() != 1) return false;
    result = "=" + lead_ + stack_[0].text;
    return result.size() <= kMaxText;
  }

 private:
  bool Need(size_t n) const { return tok_.size() - pos_ >= n; }
  uint8_t U8() { return tok_[pos_++]; }
  uint16_t U16() {
    uint16_t v = base::ReadLe16(&tok_[pos_]);
    pos_ += 2;
    return v;
  }
  uint32_t U32() {
    uint32_t lo = U16();
    return lo | (uint32_t{U16()} << 16);
  }

  void Push(std::string text, int prec = kAtom) {
    if (!space_.empty()) {
      text = space_ + text;
      space_.clear();
    }
    stack_.push_back({std::move(text), prec});
  }
  bool Pop(Operand& o) {
    if (stack_.empty()) return false;
    o = std::move(stack_.back());
    stack_.pop_back();
    return o.text.size() <= kMaxText;
  }
  static std::string Wrap(const Operand& o, bool paren) {
    return paren ? "(" + o.text + ")" : o.text;
  }

  bool Binary(const char* op, int prec) {
    Operand b, a;
    if (!Pop(b) || !Pop(a)) return false;
    std::string text = Wrap(a, a.prec < prec);
    text += space_;
    space_.clear();
    text += op;
    text += Wrap(b, b.prec <= prec);
    stack_.push_back({std::move(text), prec});
    return true;
  }

  bool Function(const std::string& name, size_t argc) {
    if (argc > stack_.size()) return false;
    std::string text = space_ + name + "(";
    space_.clear();
    size_t first = stack_.size() - argc;
    for (size_t i = first; i < stack_.size(); ++i) {
      if (i > first) text += ",";
      // A union as an argument needs parentheses, or its comma would split the argument.
      text += Wrap(stack_[i], stack_[i].prec == kUnion);
      if (text.size() > kMaxText) return false;
    }
    text += closeSpace_ + ")";
    closeSpace_.clear();
    stack_.resize(first);
    stack_.push_back({std::move(text), kAtom});
    return true;
  }

  // ---- references ----

  void CellText(int32_t row, int32_t col, bool rowRel, bool colRel, std::string& out) const {
    if (!colRel) out += '$';
    base::AppendColumnLetters(out, col + 1);
    if (!rowRel) out += '$';
    out += std::to_string(row + 1);
  }

  int32_t MaxRow() const { return names_.biff5 ? 0x3FFF : 0xFFFF; }

  // Decodes one row/column pair. BIFF8: 16-bit row, 16-bit column with the relative
  // flags in bits 14 and 15. BIFF5: the flags sit in the row, the column is 8-bit.
  // `relative` resolves offsets against the formula's cell.
  void Loc(uint16_t rw, uint16_t colField, bool relative, int32_t& row, int32_t& col, bool& rowRel,
           bool& colRel) const {
    uint16_t rawRow;
    if (names_.biff5) {
      rowRel = rw & 0x8000;
      colRel = rw & 0x4000;
      rawRow = rw & 0x3FFF;
    } else {
      rowRel = colField & 0x8000;
      colRel = colField & 0x4000;
      rawRow = rw;
    }
    uint8_t rawCol = static_cast<uint8_t>(colField & 0xFF);
    if (relative && rowRel) {
      int32_t off =
          names_.biff5 ? (static_cast<int32_t>(rawRow << 18) >> 18) : static_cast<int16_t>(rawRow);
      row = (f_.row + off) & MaxRow();
    } else {
      row = rawRow;
    }
    if (relative && colRel) {
      col = (f_.col + static_cast<int8_t>(rawCol)) & 0xFF;
    } else {
      col = names_.biff5 ? rawCol : (colField & 0x3FFF);
    }
  }

  bool ReadRef(bool relative, std::string& out) {
    uint16_t rw, cf;
    if (names_.biff5) {
      if (!Need(3)) return false;
      rw = U16();
      cf = U8();
    } else {
      if (!Need(4)) return false;
      rw = U16();
      cf = U16();
    }
    int32_t row, col;
    bool rr, cr;
    Loc(rw, cf, relative, row, col, rr, cr);
    CellText(row, col, rr, cr, out);
    return true;
  }

  bool ReadArea(bool relative, std::string& out) {
    uint16_t r1, r2, c1, c2;
    if (names_.biff5) {
      if (!Need(6)) return false;
      r1 = U16();
      r2 = U16();
      c1 = U8();
      c2 = U8();
    } else {
      if (!Need(8)) return false;
      r1 = U16();
      r2 = U16();
      c1 = U16();
      c2 = U16();
    }
    int32_t row1, col1, row2, col2;
    bool rr1, cr1, rr2, cr2;
    Loc(r1, c1, relative, row1, col1, rr1, cr1);
    Loc(r2, c2, relative, row2, col2, rr2, cr2);
    if (row1 == 0 && row2 == MaxRow()) {
      // Whole columns: "A:B".
      if (!cr1) out += '$';
      base::AppendColumnLetters(out, col1 + 1);
      out += ':';
      if (!cr2) out += '$';
      base::AppendColumnLetters(out, col2 + 1);
    } else if (col1 == 0 && col2 == 0xFF) {
      // Whole rows: "1:3".
      if (!rr1) out += '$';
      out += std::to_string(row1 + 1);
      out += ':';
      if (!rr2) out += '$';
      out += std::to_string(row2 + 1);
    } else {
      CellText(row1, col1, rr1, cr1, out);
      out += ':';
      CellText(row2, col2, rr2, cr2, out);
    }
    return true;
  }

  std::string SheetRange(int32_t first, int32_t last, const std::vector<std::string>& sheets,
                         const std::string& file) const {
    if (first < 0 || last < 0 || static_cast<size_t>(first) >= sheets.size() ||
        static_cast<size_t>(last) >= sheets.size()) {
      return "#REF!";
    }
    std::string raw = file.empty() ? "" : "[" + file + "]";
    raw += sheets[first];
    if (last != first) raw += ":" + sheets[last];
    // Quote the whole span when any part of it needs quoting.
    bool quote = QuoteSheetName(sheets[first]).front() == '\'' ||
                 QuoteSheetName(sheets[last]).front() == '\'' || !file.empty();
    if (!quote) return raw + "!";
    std::string q = "'";
    for (char c : raw) {
      q += c;
      if (c == '\'') q += '\'';
    }
    return q + "'!";
  }

  // The sheet prefix of a 3-D reference ("Sheet2!", "'My Sheet'!").
  bool Prefix3d(std::string& out) {
    if (names_.biff5) {
      // ixals (negative for this workbook), 8 reserved bytes, first and last sheet.
      if (!Need(14)) return false;
      int16_t ixals = static_cast<int16_t>(U16());
      pos_ += 8;
      int16_t first = static_cast<int16_t>(U16());
      int16_t last = static_cast<int16_t>(U16());
      if (ixals >= 0) {
        out += "#REF!";
        return true;
      }
      out += SheetRange(first, last, names_.sheets, "");
      return true;
    }
    if (!Need(2)) return false;
    uint16_t ixti = U16();
    if (ixti >= names_.xti.size()) {
      out += "#REF!";
      return true;
    }
    const FormulaNames::Xti& x = names_.xti[ixti];
    if (x.supBook < names_.supBooks.size() &&
        names_.supBooks[x.supBook].kind == FormulaNames::SupBook::Kind::External) {
      const auto& sb = names_.supBooks[x.supBook];
      out += SheetRange(x.first, x.last, sb.sheets, sb.file);
    } else {
      out += SheetRange(x.first, x.last, names_.sheets, "");
    }
    return true;
  }

  bool NameText(uint32_t index, std::string& out) const {
    if (index == 0 || index > names_.names.size()) {
      out = "#NAME?";
    } else {
      out = names_.names[index - 1];
    }
    return true;
  }

  bool NameX(std::string& out) {
    if (names_.biff5) {
      // ixals, 8 reserved bytes, ilbl, 12 reserved bytes.
      if (!Need(24)) return false;
      pos_ += 10;
      uint16_t ilbl = U16();
      pos_ += 12;
      return NameText(ilbl, out);
    }
    if (!Need(6)) return false;
    uint16_t ixti = U16();
    uint16_t index = U16();
    pos_ += 2;
    if (ixti < names_.xti.size() && names_.xti[ixti].supBook < names_.supBooks.size()) {
      const auto& sb = names_.supBooks[names_.xti[ixti].supBook];
      if (sb.kind != FormulaNames::SupBook::Kind::Self) {
        if (index >= 1 && index <= sb.externNames.size()) {
          out = sb.externNames[index - 1];
        } else {
          out = "#NAME?";
        }
        return true;
      }
    }
    return NameText(index, out);
  }

  // ---- constant arrays ----

  bool ArrayText(std::string& out) {
    Cursor c(f_.extra.subspan(extraPos_));
    size_t before = c.Remaining();
    uint8_t cols1;
    uint16_t rows1;
    if (!c.U8(cols1) || !c.U16(rows1)) return false;
    uint32_t cols = cols1 + 1u;
    uint32_t rows = rows1 + 1u;
    if (names_.biff5 && cols1 == 0) cols = 256;
    // Each value takes at least 4 bytes; refuse counts the data cannot hold.
    if (uint64_t{cols} * rows * 4 > c.Remaining()) return false;
    out = "{";
    for (uint32_t r = 0; r < rows; ++r) {
      if (r) out += ';';
      for (uint32_t col = 0; col < cols; ++col) {
        if (col) out += ',';
        uint8_t type;
        if (!c.U8(type)) return false;
        switch (type) {
          case 0x01: {
            double d;
            if (!c.F64(d)) return false;
            AppendNumber(d, out);
            break;
          }
          case 0x02: {
            std::string s;
            if (names_.biff5) {
              CodePage cp;
              if (!c.ByteString(false, cp, s)) return false;
            } else if (!c.UnicodeString(true, s)) {
              return false;
            }
            out += '"';
            for (char ch : s) {
              out += ch;
              if (ch == '"') out += '"';
            }
            out += '"';
            break;
          }
          case 0x04: {
            uint8_t b;
            if (!c.U8(b) || !c.Skip(7)) return false;
            out += b ? "TRUE" : "FALSE";
            break;
          }
          case 0x10: {
            uint8_t e;
            if (!c.U8(e) || !c.Skip(7)) return false;
            out += ErrorText(static_cast<ErrorCode>(e));
            break;
          }
          default:
            if (!c.Skip(8)) return false;
            break;
        }
        if (out.size() > kMaxText) return false;
      }
    }
    out += '}';
    extraPos_ += before - c.Remaining();
    return true;
  }

  bool SkipMemAreaExtra() {
    // ptgMemArea keeps its rectangles in the extra data: a count, then the rectangles.
    if (f_.extra.size() - extraPos_ < 2) return true;
    uint16_t n = base::ReadLe16(&f_.extra[extraPos_]);
    size_t each = names_.biff5 ? 6 : 8;
    size_t need = 2 + size_t{n} * each;
    extraPos_ = need > f_.extra.size() - extraPos_ ? f_.extra.size() : extraPos_ + need;
    return true;
  }

  // ---- one token ----

  bool Step() {
    const uint8_t t = U8();
    if (t >= 0x20) return Classed((t & 0x1F) | 0x20);
    // ptgAdd to ptgRange: the binary operators, in token order.
    static constexpr struct {
      const char* text;
      Prec prec;
    } kBinary[] = {{"+", kAdd},     {"-", kAdd},      {"*", kMul},     {"/", kMul},
                   {"^", kPow},     {"&", kConcat},   {"<", kCompare}, {"<=", kCompare},
                   {"=", kCompare}, {">=", kCompare}, {">", kCompare}, {"<>", kCompare},
                   {" ", kIsect},   {",", kUnion},    {":", kRange}};
    if (t >= 0x03 && t <= 0x11) return Binary(kBinary[t - 0x03].text, kBinary[t - 0x03].prec);
    switch (t) {
      case 0x12:
      case 0x13:
      case 0x14:
      case 0x15:
        return Unary(t);
      case 0x16:
        Push("");
        return true;
      case 0x17:
        return StringConstant();
      case 0x18:
        return false;  // ptgExtended (Excel 2007+ tokens): not shown
      case 0x19:
        return Attr();
      case 0x1C:
      case 0x1D:
      case 0x1E:
      case 0x1F:
        return Constant(t);
      default:
        // ptgExp and ptgTbl belong to the record's caller; anything else is unknown.
        return false;
    }
  }

  // ptgUplus, ptgUminus, ptgPercent and ptgParen, on the operand on top of the stack.
  bool Unary(uint8_t t) {
    Operand a;
    if (!Pop(a)) return false;
    std::string text;
    int prec = kAtom;
    if (t == 0x12 || t == 0x13) {
      text = space_ + (t == 0x12 ? "+" : "-") + Wrap(a, a.prec < kUnary);
      prec = kUnary;
    } else if (t == 0x14) {
      text = Wrap(a, a.prec < kPercent) + space_ + "%";
      prec = kPercent;
    } else {
      text = space_ + "(" + a.text + closeSpace_ + ")";
      closeSpace_.clear();
    }
    space_.clear();
    stack_.push_back({std::move(text), prec});
    return true;
  }

  // ptgStr: a string constant, quoted with its quotes doubled.
  bool StringConstant() {
    std::string s;
    if (names_.biff5) {
      if (!Need(1)) return false;
      uint8_t cch = U8();
      if (!Need(cch)) return false;
      CodePage cp;
      cp.Append8(tok_.subspan(pos_, cch), s);
      pos_ += cch;
    } else {
      if (!Need(2)) return false;
      uint8_t cch = U8();
      uint8_t flags = U8();
      size_t bytes = size_t{cch} * ((flags & 1) ? 2 : 1);
      if (!Need(bytes)) return false;
      if (flags & 1) {
        AppendUtf16(tok_.subspan(pos_, bytes), s);
      } else {
        AppendLatin1(tok_.subspan(pos_, bytes), s);
      }
      pos_ += bytes;
    }
    std::string q = "\"";
    for (char c : s) {
      q += c;
      if (c == '"') q += '"';
    }
    Push(q + "\"");
    return true;
  }

  // ptgErr, ptgBool, ptgInt and ptgNum.
  bool Constant(uint8_t t) {
    switch (t) {
      case 0x1C:
        if (!Need(1)) return false;
        Push(std::string(ErrorText(static_cast<ErrorCode>(U8()))));
        return true;
      case 0x1D:
        if (!Need(1)) return false;
        Push(U8() ? "TRUE" : "FALSE");
        return true;
      case 0x1E:
        if (!Need(2)) return false;
        Push(std::to_string(U16()));
        return true;
      default: {
        if (!Need(8)) return false;
        uint64_t bits = U32();
        bits |= uint64_t{U32()} << 32;
        double d;
        std::memcpy(&d, &bits, sizeof d);
        std::string s;
        AppendNumber(d, s);
        Push(s);
        return true;
      }
    }
  }

  bool Attr() {
    if (!Need(3)) return false;
    uint8_t kind = U8();
    uint16_t data = U16();
    if (kind & 0x04) {
      // AttrChoose: a jump table of data+1 offsets follows.
      size_t skip = (size_t{data} + 1) * 2;
      if (!Need(skip)) return false;
      pos_ += skip;
      return true;
    }
    if (kind & 0x10) {
      // AttrSum: SUM of the one operand on the stack.
      return Function("SUM", 1);
    }
    if (kind & 0x40) {
      // AttrSpace: data is the kind of white space and its count.
      uint8_t type = data & 0xFF;
      uint8_t count = static_cast<uint8_t>(data >> 8);
      char ch = (type & 1) ? '\n' : ' ';
      std::string ws(count, ch);
      if (type == 4 || type == 5) {
        closeSpace_ += ws;
      } else if (type == 6) {
        lead_ += ws;
      } else {
        space_ += ws;
      }
      return true;
    }
    // AttrSemi (volatile), AttrIf, AttrGoto, AttrBaxcel: nothing to show.
    return true;
  }

  // The operand tokens, whose low bits give their class (reference, value or array).
  bool Classed(uint8_t base) {
    switch (base) {
      case 0x20:  // ptgArray: the values sit in the extra data
      {
        if (!Skip(7)) return false;
        std::string s;
        if (!ArrayText(s)) return false;
        Push(s);
        return true;
      }
      case 0x21:  // ptgFunc
      {
        if (!Need(2)) return false;
        FunctionInfo fi = BuiltinFunction(U16());
        if (!fi.name || fi.fixedArgs < 0) return false;
        return Function(fi.name, static_cast<size_t>(fi.fixedArgs));
      }
      case 0x22:  // ptgFuncVar
        return VariableFunction();
      case 0x23:  // ptgName
        return DefinedName();
      case 0x26:  // ptgMemArea: the sub-expression that follows computes the area
        return Skip(6) && SkipMemAreaExtra();
      case 0x27:  // ptgMemErr
      case 0x28:  // ptgMemNoMem
        return Skip(6);
      case 0x29:  // ptgMemFunc
      case 0x2E:  // ptgMemAreaN
      case 0x2F:  // ptgMemNoMemN
        return Skip(2);
      default:
        return Reference(base);
    }
  }

  bool Skip(size_t n) {
    if (!Need(n)) return false;
    pos_ += n;
    return true;
  }

  bool VariableFunction() {
    if (!Need(3)) return false;
    uint8_t argc = U8() & 0x7F;
    uint16_t iftab = U16();
    if (iftab & 0x8000) return false;  // macro command equivalents
    if (iftab == 255) {
      // A user-defined or add-in function: its name is the first argument.
      if (argc < 1 || argc > stack_.size()) return false;
      size_t nameAt = stack_.size() - argc;
      std::string name = stack_[nameAt].text;
      stack_.erase(stack_.begin() + static_cast<std::ptrdiff_t>(nameAt));
      return Function(name, argc - 1u);
    }
    FunctionInfo fi = BuiltinFunction(iftab);
    if (!fi.name) return false;
    return Function(fi.name, argc);
  }

  bool DefinedName() {
    uint32_t index;
    if (names_.biff5) {
      if (!Need(14)) return false;
      index = U16();
      pos_ += 12;
    } else {
      if (!Need(4)) return false;
      index = U32();
    }
    std::string s;
    NameText(index, s);
    Push(s);
    return true;
  }

  // References to cells and areas: plain, relative to a shared formula's cell (N), in
  // other sheets (3d), external names, and references that no longer point anywhere.
  bool Reference(uint8_t base) {
    const size_t refBytes = names_.biff5 ? 3 : 4, areaBytes = names_.biff5 ? 6 : 8;
    std::string s;
    bool ok = false;
    switch (base) {
      case 0x24:  // ptgRef
        ok = ReadRef(false, s);
        break;
      case 0x25:  // ptgArea
        ok = ReadArea(false, s);
        break;
      case 0x2A:  // ptgRefErr
      case 0x2B:  // ptgAreaErr
        ok = Skip(base == 0x2A ? refBytes : areaBytes);
        s = "#REF!";
        break;
      case 0x2C:  // ptgRefN
        ok = ReadRef(true, s);
        break;
      case 0x2D:  // ptgAreaN
        ok = ReadArea(true, s);
        break;
      case 0x39:  // ptgNameX
        ok = NameX(s);
        break;
      case 0x3A:  // ptgRef3d
        ok = Prefix3d(s) && ReadRef(f_.shared, s);
        break;
      case 0x3B:  // ptgArea3d
        ok = Prefix3d(s) && ReadArea(f_.shared, s);
        break;
      case 0x3C:  // ptgRefErr3d
      case 0x3D:  // ptgAreaErr3d
        ok = Prefix3d(s) && Skip(base == 0x3C ? refBytes : areaBytes);
        s += "#REF!";
        break;
      default:
        return false;
    }
    if (!ok) return false;
    Push(s);
    return true;
  }

  const FormulaNames& names_;
  const FormulaTokens& f_;
  std::span<const uint8_t> tok_;
  size_t pos_ = 0;
  size_t extraPos_ = 0;
  std::vector<Operand> stack_;
  std::string space_;       // white space before the next token
  std::string closeSpace_;  // white space before the next closing parenthesis
  std::string lead_;        // white space right after "="
};

}  // namespace

std::string QuoteSheetName(std::string_view name) {
  bool quote =
      name.empty() || std::isdigit(static_cast<unsigned char>(name[0])) || LooksLikeCellRef(name);
  for (char c : name) {
    unsigned char u = static_cast<unsigned char>(c);
    if (!(std::isalnum(u) || c == '_' || c == '.' || u >= 0x80)) quote = true;
  }
  if (!quote) return std::string(name);
  std::string q = "'";
  for (char c : name) {
    q += c;
    if (c == '\'') q += '\'';
  }
  return q + "'";
}

bool DecodeFormula(const FormulaNames& names, const FormulaTokens& f, std::string& out) {
  if (f.tokens.empty()) return false;
  Decoder d(names, f);
  std::string text;
  if (!d.Run(text)) return false;
  out += text;
  return true;
}

const char* BuiltinDefinedName(uint8_t code) {
  return BuiltinName(code);
}

}  // namespace gridwell::xls
