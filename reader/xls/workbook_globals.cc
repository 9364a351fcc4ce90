// The globals substream: everything the sheets share.
#include <algorithm>

#include "reader/model/fill_pattern.h"
#include "reader/model/palette.h"
#include "reader/xls/biff_workbook.h"

namespace gridwell::xls {

namespace {

// The file's name from a SUPBOOK virtual path, which encodes folders with control
// characters (1 volume, 2 same volume, 3 down a folder, 4 up a folder ...).
std::string FileOfPath(const std::string& path) {
  size_t cut = 0;
  for (size_t i = 0; i < path.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(path[i]);
    if (c < 0x09 || c == '/' || c == '\\' || c == ':') cut = i + 1;
  }
  return path.substr(cut);
}

// The font's colour index is returned rather than resolved: PALETTE may come later.
uint16_t ReadFont(const Record& r, Globals& g, model::Font& f) {
  Cursor c(r);
  uint16_t height = 0, grbit = 0, icv = 0, weight = 0, sss = 0;
  uint8_t uls = 0;
  c.U16(height);
  c.U16(grbit);
  c.U16(icv);
  c.U16(weight);
  c.U16(sss);
  c.U8(uls);
  c.Skip(3);
  f.size = height / 20.0;
  f.italic = grbit & 0x02;
  f.strike = grbit & 0x08;
  f.bold = weight >= 700;
  f.escapement = sss <= 2 ? static_cast<uint8_t>(sss) : 0;
  f.underline = (uls == 1 || uls == 2 || uls == 0x21 || uls == 0x22) ? uls : 0;
  std::string name;
  if (g.biff5) {
    c.ByteString(false, g.codePage, name);
  } else {
    c.UnicodeString(false, name);
  }
  if (!name.empty()) f.name = std::move(name);
  return icv;
}

RawXf ReadXf(std::span<const uint8_t> b, bool biff5) {
  RawXf x;
  x.font = Le16(b, 0);
  x.numFmt = Le16(b, 2);
  uint16_t flags = Le16(b, 4);
  x.locked = flags & 1;
  x.hidden = flags & 2;
  uint8_t align = b.size() > 6 ? b[6] : 0;
  x.hAlign = align & 7;
  x.wrap = align & 8;
  x.vAlign = (align >> 4) & 7;
  if (biff5) {
    uint32_t fill = Le32(b, 8);
    uint32_t lines = Le32(b, 12);
    x.fillFore = fill & 0x7F;
    x.fillBack = (fill >> 7) & 0x7F;
    x.fillPattern = (fill >> 16) & 0x3F;
    x.border[model::kBottom] = (fill >> 22) & 7;
    x.borderColor[model::kBottom] = (fill >> 25) & 0x7F;
    x.border[model::kTop] = lines & 7;
    x.border[model::kLeft] = (lines >> 3) & 7;
    x.border[model::kRight] = (lines >> 6) & 7;
    x.borderColor[model::kTop] = (lines >> 9) & 0x7F;
    x.borderColor[model::kLeft] = (lines >> 16) & 0x7F;
    x.borderColor[model::kRight] = (lines >> 23) & 0x7F;
    return x;
  }
  uint8_t b8 = b.size() > 8 ? b[8] : 0;
  x.indent = b8 & 0x0F;
  uint32_t lines = Le32(b, 10);
  uint32_t more = Le32(b, 14);
  uint16_t fill = Le16(b, 18);
  x.border[model::kLeft] = lines & 0x0F;
  x.border[model::kRight] = (lines >> 4) & 0x0F;
  x.border[model::kTop] = (lines >> 8) & 0x0F;
  x.border[model::kBottom] = (lines >> 12) & 0x0F;
  x.borderColor[model::kLeft] = (lines >> 16) & 0x7F;
  x.borderColor[model::kRight] = (lines >> 23) & 0x7F;
  x.borderColor[model::kTop] = more & 0x7F;
  x.borderColor[model::kBottom] = (more >> 7) & 0x7F;
  x.fillPattern = (more >> 26) & 0x3F;
  x.fillFore = fill & 0x7F;
  x.fillBack = (fill >> 7) & 0x7F;
  return x;
}

// A cell XF is shown with its own attributes. Its used-attribute flags only say which
// groups differ from its parent style XF, and writers leave them clear while storing
// attributes of their own: spreadsheet programs show the cell's attributes all the same.
model::CellStyle StyleOf(const Globals& g, size_t i) {
  const RawXf& x = g.xfs[i];
  model::CellStyle s;
  s.numFmtId = x.numFmt;
  s.hAlign = x.hAlign <= 7 ? x.hAlign : 0;
  s.vAlign = x.vAlign <= 4 ? x.vAlign : 2;
  s.indent = x.indent;
  s.wrap = x.wrap;
  s.locked = x.locked;
  s.hidden = x.hidden;
  if (x.fillPattern == 0 || x.fillPattern > 18) {
    s.fillPattern = model::kFillNone;
    s.fillColor = 0;
  } else {
    s.fillPattern = x.fillPattern;
    s.fillColor = model::FillPatternColor(x.fillPattern, PaletteColor(g, x.fillFore),
                                          BackgroundPaletteColor(g, x.fillBack));
  }
  // FONT records skip index 4: index 5 is the fifth record.
  s.fontIndex = x.font >= 4 ? x.font - 1u : x.font;
  for (int side = 0; side < 4; ++side) {
    s.borderStyle[side] = x.border[side] <= 13 ? x.border[side] : 0;
    s.borderColor[side] = s.borderStyle[side] ? PaletteColor(g, x.borderColor[side]) : 0;
  }
  return s;
}

// The records of the globals substream, one reader for each kind that matters. FONT
// records are kept aside until the end: their colours refer to a PALETTE that may come
// later.
class GlobalsRecords {
 public:
  GlobalsRecords(Globals& g, model::Workbook& book) : g_(g), book_(book) {}

  // False at the EOF that ends the substream.
  bool Read(const Record& r) {
    const std::span<const uint8_t> b = r.body();
    switch (r.type) {
      case rec::kEof:
        return false;
      case rec::kCodePage:
        g_.codePage.Set(Le16(b, 0));
        break;
      case rec::kDateMode:
        book_.date1904 = Le16(b, 0) != 0;
        break;
      case rec::kProtect:
        book_.isProtected = Le16(b, 0) != 0;
        break;
      case rec::kPalette:
        Palette(b);
        break;
      case rec::kFont:
        fonts_.emplace_back();
        fontColors_.push_back(ReadFont(r, g_, fonts_.back()));
        break;
      case rec::kXf:
        g_.xfs.push_back(ReadXf(b, g_.biff5));
        break;
      case rec::kFormat:
        Format(r);
        break;
      case rec::kBoundSheet:
        Sheet(r);
        break;
      case rec::kSst:
        SharedStrings(r);
        break;
      case rec::kSupBook:
        SupBook(r);
        break;
      case rec::kExternName:
        ExternName(r);
        break;
      case rec::kExternSheet:
        ExternSheet(r);
        break;
      case rec::kName:
        Name(r);
        break;
      default:
        break;
    }
    return true;
  }

  // FONT records become the model's fonts in order (the first replaces the default); each
  // XF becomes a model style.
  void Finish() {
    for (size_t i = 0; i < fonts_.size(); ++i) fonts_[i].color = PaletteColor(g_, fontColors_[i]);
    if (!fonts_.empty()) book_.Fonts() = std::move(fonts_);
    g_.xfStyle.resize(g_.xfs.size());
    for (size_t i = 0; i < g_.xfs.size(); ++i) g_.xfStyle[i] = book_.AddStyle(StyleOf(g_, i));
  }

 private:
  // A string as the file's BIFF version stores it: bytes of the code page, or UTF-16.
  void String(Cursor& c, bool longCount, std::string& out) const {
    if (g_.biff5) {
      c.ByteString(false, g_.codePage, out);
    } else {
      c.UnicodeString(longCount, out);
    }
  }

  void Palette(std::span<const uint8_t> b) {
    const uint16_t n = Le16(b, 0);
    for (uint16_t i = 0; i < n && i < 56 && 2 + 4u * i + 3 < b.size(); ++i) {
      const uint8_t* p = &b[2 + 4u * i];
      g_.palette[8 + i] = p[0] | (p[1] << 8) | (p[2] << 16);
    }
  }

  void Format(const Record& r) {
    Cursor c(r);
    uint16_t id;
    if (!c.U16(id)) return;
    std::string code;
    String(c, true, code);
    book_.SetNumberFormat(id, code);
  }

  void Sheet(const Record& r) {
    const std::span<const uint8_t> b = r.body();
    BoundSheet s;
    s.pos = Le32(b, 0);
    s.state = b.size() > 4 ? b[4] & 3 : 0;
    s.type = b.size() > 5 ? b[5] : 0;
    Cursor c(r);
    c.Skip(6);
    String(c, false, s.name);
    g_.names.sheets.push_back(s.name);
    g_.sheets.push_back(std::move(s));
  }

  void SharedStrings(const Record& r) {
    Cursor c(r);
    c.Skip(8);
    // The counts in the header are not trusted: the strings are read until the data
    // ends, and nothing is reserved for strings that are not there.
    model::StringPool& pool = book_.Strings();
    while (!c.AtEnd()) {
      std::string s;
      bool ok = c.UnicodeString(true, s);
      g_.sst.push_back(pool.Add(s));
      if (!ok) break;
    }
  }

  void SupBook(const Record& r) {
    const std::span<const uint8_t> b = r.body();
    FormulaNames::SupBook sb;
    const uint16_t ctab = Le16(b, 0);
    const uint16_t cch = Le16(b, 2);
    if (cch == 0x0401) {
      sb.kind = FormulaNames::SupBook::Kind::Self;
    } else if (cch == 0x3A01) {
      sb.kind = FormulaNames::SupBook::Kind::AddIn;
    } else {
      sb.kind = FormulaNames::SupBook::Kind::External;
      Cursor c(r);
      c.Skip(2);
      std::string path;
      if (c.UnicodeString(true, path)) {
        sb.file = FileOfPath(path);
        for (uint16_t i = 0; i < ctab; ++i) {
          std::string sheet;
          if (!c.UnicodeString(true, sheet)) break;
          sb.sheets.push_back(std::move(sheet));
        }
      }
    }
    g_.names.supBooks.push_back(std::move(sb));
    supBookForNames_ = static_cast<int>(g_.names.supBooks.size()) - 1;
  }

  void ExternName(const Record& r) {
    if (supBookForNames_ < 0 || g_.biff5) return;
    Cursor c(r);
    c.Skip(6);
    std::string name;
    c.UnicodeString(false, name);
    g_.names.supBooks[supBookForNames_].externNames.push_back(std::move(name));
  }

  void ExternSheet(const Record& r) {
    if (g_.biff5) return;
    Cursor c(r);
    uint16_t n = 0;
    c.U16(n);
    for (uint16_t i = 0; i < n; ++i) {
      uint16_t sb, first, last;
      if (!c.U16(sb) || !c.U16(first) || !c.U16(last)) break;
      FormulaNames::Xti x;
      x.supBook = sb;
      x.first = first >= 0xFFFE ? -1 : first;
      x.last = last >= 0xFFFE ? -1 : last;
      g_.names.xti.push_back(x);
    }
  }

  void Name(const Record& r) {
    const std::span<const uint8_t> b = r.body();
    const uint16_t grbit = Le16(b, 0);
    const uint8_t cch = b.size() > 3 ? b[3] : 0;
    Cursor c(r);
    c.Skip(14);
    std::string name;
    if (g_.biff5) {
      std::vector<uint8_t> bytes;
      c.Bytes(std::min<size_t>(cch, c.Remaining()), bytes);
      g_.codePage.Append8(bytes, name);
    } else {
      c.UnicodeStringNoCch(cch, name);
    }
    if ((grbit & 0x20) && !name.empty()) {
      const char* builtin = BuiltinDefinedName(static_cast<uint8_t>(name[0]));
      if (builtin) name = builtin;
    }
    g_.names.names.push_back(std::move(name));
  }

  Globals& g_;
  model::Workbook& book_;
  std::vector<model::Font> fonts_;
  std::vector<uint16_t> fontColors_;
  int supBookForNames_ = -1;  // the SUPBOOK that EXTERNNAME records belong to
};

// The BOF that opens the stream: BIFF8 or BIFF5, and a globals substream.
bool ReadGlobalsBof(RecordReader& rr, Globals& g, std::string& error) {
  Record r;
  if (!rr.Next(r) || r.type != rec::kBof) {
    error = "globals: the stream does not begin with a BIFF5/8 BOF record";
    return false;
  }
  const uint16_t vers = Le16(r.body(), 0);
  const uint16_t dt = Le16(r.body(), 2);
  if (vers != 0x0600 && vers != 0x0500) {
    error = "globals: BIFF version " + std::to_string(vers) + " is not supported";
    return false;
  }
  if (dt != 0x0005) {
    error = "globals: the first substream is not the workbook globals";
    return false;
  }
  g.biff5 = vers == 0x0500;
  g.names.biff5 = g.biff5;
  if (!g.biff5) g.codePage.Set(1200);
  return true;
}

}  // namespace

void DefaultPalette(uint32_t (&palette)[64]) {
  for (uint32_t i = 0; i < 64; ++i) palette[i] = model::DefaultPaletteColor(i);
}

uint32_t PaletteColor(const Globals& g, uint16_t icv) {
  if (icv < 64) return g.palette[icv];
  if (icv == 65) return 0xFFFFFF;
  return 0;  // 64 system foreground, 0x7FFF automatic, other system colours
}

uint32_t BackgroundPaletteColor(const Globals& g, uint16_t icv) {
  return icv < 64 ? g.palette[icv] : 0xFFFFFF;
}

bool ReadGlobals(std::span<const uint8_t> stream, Globals& g, model::Workbook& book,
                 std::string& error) {
  DefaultPalette(g.palette);
  RecordReader rr(stream);
  if (!ReadGlobalsBof(rr, g, error)) return false;
  GlobalsRecords records(g, book);
  Record r;
  while (rr.Next(r) && records.Read(r)) {
  }
  records.Finish();
  return true;
}

}  // namespace gridwell::xls
