#include "reader/xls/conditional_formatting.h"

#include <cmath>
#include <cstring>

#include "reader/model/fill_pattern.h"
#include "reader/model/palette.h"
#include "reader/model/workbook.h"
#include "reader/xls/biff_workbook.h"

namespace gridwell::xls {

namespace {

// Areas one CONDFMT may list, and all of a sheet's rules together.
constexpr size_t kMaxAreas = size_t{1} << 20;

// DXFN: which parts are present (ibitAtr*) and which of their fields are left unchanged
// (*Ninch) in its first 32 bits; the parts follow the 6 bytes of flags in this order.
constexpr uint32_t kBorderNinch[4] = {1u << 10, 1u << 11, 1u << 12, 1u << 13};  // by BorderSide
constexpr uint32_t kPatternNinch = 1u << 16, kForeNinch = 1u << 17, kBackNinch = 1u << 18;
constexpr uint32_t kHasNumber = 1u << 25, kHasFont = 1u << 26, kHasAlignment = 1u << 27;
constexpr uint32_t kHasBorder = 1u << 28, kHasPattern = 1u << 29, kHasProtection = 1u << 30;
constexpr size_t kFontSize = 118, kAlignmentSize = 8, kBorderSize = 8, kPatternSize = 4;
constexpr size_t kProtectionSize = 2;

// The font part (DXFFntD): colour, weight, italic, strikeout and underline, each unless
// its "unchanged" flag is set.
void ReadFont(const Globals& g, std::span<const uint8_t> f, model::DifferentialFormat& d) {
  const uint32_t ts = Le32(f, 68), icv = Le32(f, 80), tsNinch = Le32(f, 88);
  // 0xFFFFFFFF leaves the colour; automatic (0x7FFF) keeps the cell's own, as in .xlsx.
  if (icv != 0xFFFFFFFFu && (icv & 0x7FFF) != 0x7FFF) {
    d.fontColor = PaletteColor(g, static_cast<uint16_t>(icv & 0x7FFF));
  }
  if (!(tsNinch & 0x02)) d.italic = (ts & 0x02) != 0;
  if (!(tsNinch & 0x80)) d.strike = (ts & 0x80) != 0;
  if (Le32(f, 96) == 0) {
    const uint8_t uls = f[76];
    if (uls == 0 || uls == 1 || uls == 2 || uls == 0x21 || uls == 0x22) d.underline = uls;
  }
  if (Le32(f, 100) == 0) d.bold = Le16(f, 72) >= 600;
}

void ReadBorder(const Globals& g, uint32_t flags, std::span<const uint8_t> b,
                model::DifferentialFormat& d) {
  const uint32_t w0 = Le32(b, 0), w1 = Le32(b, 4);
  const uint8_t styles[4] = {uint8_t(w0 & 0xF), uint8_t((w0 >> 4) & 0xF), uint8_t((w0 >> 8) & 0xF),
                             uint8_t((w0 >> 12) & 0xF)};
  const uint16_t colors[4] = {uint16_t((w0 >> 16) & 0x7F), uint16_t((w0 >> 23) & 0x7F),
                              uint16_t(w1 & 0x7F), uint16_t((w1 >> 7) & 0x7F)};
  for (int side = 0; side < 4; ++side) {
    if ((flags & kBorderNinch[side]) || styles[side] == 0 || styles[side] > 13) continue;
    d.borderStyle[side] = styles[side];
    d.borderColor[side] = PaletteColor(g, colors[side]);
  }
}

// The fill part (DXFPat). As in .xlsx, a solid fill (and one whose pattern is left open)
// shows its background colour; other patterns blend the foreground over it.
void ReadPattern(const Globals& g, uint32_t flags, std::span<const uint8_t> p,
                 model::DifferentialFormat& d) {
  const uint8_t fls = static_cast<uint8_t>((Le16(p, 0) >> 10) & 0x3F);
  const uint16_t colors = Le16(p, 2);
  const bool hasFore = !(flags & kForeNinch), hasBack = !(flags & kBackNinch);
  const uint32_t fore = PaletteColor(g, colors & 0x7F),
                 back = PaletteColor(g, (colors >> 7) & 0x7F);
  const uint8_t pattern = (flags & kPatternNinch) ? 1 : fls;
  if (pattern == 0 || pattern > 18) return;
  if (pattern == 1) {
    if (hasBack || hasFore) d.fillColor = hasBack ? back : fore;
    return;
  }
  d.fillColor = model::FillPatternColor(pattern, hasFore ? fore : 0, hasBack ? back : 0xFFFFFF);
}

// The DXFN at the start of `b`; its size, or 0 when the record is too short for it.
size_t ReadDxfn(const Globals& g, std::span<const uint8_t> b, model::DifferentialFormat& d) {
  if (b.size() < 6) return 0;
  const uint32_t flags = Le32(b, 0);
  const bool userNumber = Le16(b, 4) & 1;
  size_t at = 6;
  if (flags & kHasNumber) at += userNumber ? Le16(b, at) : 2;
  auto part = [&](uint32_t bit, size_t size) -> std::span<const uint8_t> {
    if (!(flags & bit) || at > b.size() || b.size() - at < size) return {};
    std::span<const uint8_t> s = b.subspan(at, size);
    at += size;
    return s;
  };
  if (auto f = part(kHasFont, kFontSize); !f.empty()) ReadFont(g, f, d);
  part(kHasAlignment, kAlignmentSize);
  if (auto bd = part(kHasBorder, kBorderSize); !bd.empty()) ReadBorder(g, flags, bd, d);
  if (auto p = part(kHasPattern, kPatternSize); !p.empty()) ReadPattern(g, flags, p, d);
  part(kHasProtection, kProtectionSize);
  return at <= b.size() ? at : 0;
}

// A formula of tokens that is a constant: a number, a text or a Boolean, perhaps negated
// or in parentheses. False for anything that needs evaluating.
bool ConstantOperand(std::span<const uint8_t> t, model::RuleOperand& out) {
  if (t.empty()) return false;
  size_t at = 1;
  switch (t[0]) {
    case 0x1E:  // ptgInt
      if (t.size() < 3) return false;
      out.number = Le16(t, 1);
      at = 3;
      break;
    case 0x1F: {  // ptgNum
      if (t.size() < 9) return false;
      uint64_t bits = Le32(t, 1) | (uint64_t{Le32(t, 5)} << 32);
      std::memcpy(&out.number, &bits, sizeof bits);
      if (!std::isfinite(out.number)) return false;
      at = 9;
      break;
    }
    case 0x1D:  // ptgBool
      if (t.size() < 2) return false;
      out.kind = model::RuleOperand::Kind::Boolean;
      out.number = t[1] ? 1 : 0;
      at = 2;
      break;
    case 0x17: {  // ptgStr: a short string, 8- or 16-bit characters
      if (t.size() < 3) return false;
      const size_t cch = t[1], width = (t[2] & 1) ? 2 : 1;
      if (t.size() - 3 < cch * width) return false;
      out.kind = model::RuleOperand::Kind::Text;
      out.text.clear();
      std::span<const uint8_t> chars = t.subspan(3, cch * width);
      width == 2 ? AppendUtf16(chars, out.text) : AppendLatin1(chars, out.text);
      at = 3 + cch * width;
      break;
    }
    default:
      return false;
  }
  for (; at < t.size(); ++at) {
    if (t[at] == 0x13 && out.kind == model::RuleOperand::Kind::Number) {
      out.number = -out.number;                   // ptgUminus
    } else if (t[at] != 0x12 && t[at] != 0x15) {  // ptgUplus, ptgParen
      return false;
    }
  }
  return true;
}

}  // namespace

void ConditionalFormatRecords::Add(const Record& r) {
  if (r.type == rec::kCondFmt) {
    CondFmt(r.body());
  } else if (r.type == rec::kCf && rulesLeft_ > 0) {
    --rulesLeft_;
    Cf(r.body());
  } else if (r.type == rec::kCfEx) {
    CfEx(r.body());
  }
}

// CONDFMT: the number of CF records that follow, the bounding area, then the areas.
void ConditionalFormatRecords::CondFmt(std::span<const uint8_t> b) {
  areas_.clear();
  rulesLeft_ = 0;
  next_ = 0;
  if (b.size() < 14) return;
  rulesLeft_ = Le16(b, 0);
  id_ = Le16(b, 2) >> 1;
  const size_t count = Le16(b, 12);
  for (size_t i = 0, at = 14; i < count && at + 8 <= b.size(); ++i, at += 8) {
    const int32_t r1 = Le16(b, at) + 1, r2 = Le16(b, at + 2) + 1;
    const int32_t c1 = Le16(b, at + 4) + 1, c2 = Le16(b, at + 6) + 1;
    areas_.push_back({std::min(r1, r2), std::min(c1, c2), std::max(r1, r2), std::max(c1, c2)});
  }
}

// CF: the kind of condition, the operator, the sizes of the two operands' formulas, the
// differential format, then the formulas.
void ConditionalFormatRecords::Cf(std::span<const uint8_t> b) {
  const uint32_t key = (id_ << 16) | (next_++ & 0xFFFF);
  if (b.size() < 6 || areas_.empty() || rules_.size() >= model::ConditionalFormats::kMaxRules) {
    return;
  }
  model::ConditionalRule rule;
  // Rules of this form apply the first condition that holds and no other.
  rule.stopIfTrue = true;
  rule.priority = static_cast<int64_t>(rules_.size());
  const uint8_t ct = b[0], cp = b[1];
  const size_t cce1 = Le16(b, 2), cce2 = Le16(b, 4);
  const size_t dxfn = ReadDxfn(g_, b.subspan(6), rule.format);
  const size_t at = 6 + dxfn;
  if (dxfn == 0 || at > b.size() || b.size() - at < cce1 + cce2) return;
  if (ct == 1 && cp >= 1 && cp <= 8) {
    rule.type = model::RuleType::CellValue;
    rule.op = static_cast<model::CompareOp>(cp - 1);
    rule.operands.resize(cp <= 2 ? 2 : 1);
    const std::span<const uint8_t> tokens[2] = {b.subspan(at, cce1), b.subspan(at + cce1, cce2)};
    for (size_t i = 0; i < rule.operands.size(); ++i) {
      if (!ConstantOperand(tokens[i], rule.operands[i])) rule.type = model::RuleType::NeedsFormula;
    }
  } else if (ct == 2) {
    rule.type = model::RuleType::NeedsFormula;
  } else {
    return;
  }
  const size_t room = kMaxAreas - std::min(kMaxAreas, areaCount_);
  rule.areas.assign(areas_.begin(), areas_.begin() + long(std::min(room, areas_.size())));
  areaCount_ += rule.areas.size();
  byId_[key] = rules_.size();
  rules_.push_back(std::move(rule));
}

// CFEX: the header (12 bytes), whether it extends a CF12 rule (4), the CONDFMT's id, then
// for a CF rule its index there, operator, template, priority and flags (bit 1: stop).
void ConditionalFormatRecords::CfEx(std::span<const uint8_t> b) {
  if (b.size() < 25 || Le32(b, 12) != 0) return;
  auto it = byId_.find((uint32_t{Le16(b, 16)} << 16) | Le16(b, 18));
  if (it == byId_.end()) return;
  model::ConditionalRule& rule = rules_[it->second];
  rule.priority = Le16(b, 22);
  rule.stopIfTrue = (b[24] & 0x02) != 0;
}

void ConditionalFormatRecords::Finish(model::Sheet& sheet) {
  for (model::ConditionalRule& r : rules_) sheet.Conditional().AddRule(std::move(r));
  rules_.clear();
  sheet.Conditional().Evaluate(sheet);
}

}  // namespace gridwell::xls
