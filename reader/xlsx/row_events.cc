#include "reader/xlsx/row_events.h"

#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "reader/xlsx/xml_util.h"

namespace gridwell::xlsx {

namespace {

void PutU32(std::string& out, uint32_t v) {
  out.append(reinterpret_cast<const char*>(&v), 4);
}

// ---- expat ----

struct Recorder : XmlHandlerBase {
  std::string* out = nullptr;
  int depth = 0;
};

void XMLCALL RecordStart(void* ud, const XML_Char* name, const XML_Char** attrs) {
  auto& r = *static_cast<Recorder*>(ud);
  if (r.depth++ == 0) return;  // the wrapper
  std::string& o = *r.out;
  o.push_back('S');
  o.append(name).push_back('\0');
  uint32_t n = 0;
  while (attrs[2 * n]) ++n;
  PutU32(o, n);
  for (uint32_t i = 0; i < 2 * n; ++i) o.append(attrs[i]).push_back('\0');
}

void XMLCALL RecordEnd(void* ud, const XML_Char* name) {
  auto& r = *static_cast<Recorder*>(ud);
  if (--r.depth == 0) return;
  r.out->push_back('E');
  r.out->append(name).push_back('\0');
}

void XMLCALL RecordChars(void* ud, const XML_Char* text, int len) {
  auto& r = *static_cast<Recorder*>(ud);
  r.out->push_back('C');
  PutU32(*r.out, static_cast<uint32_t>(len));
  r.out->append(text, static_cast<size_t>(len));
}

// ---- the plain form ----

bool IsNameStart(unsigned char c) {
  const unsigned char l = c | 0x20;
  return (l >= 'a' && l <= 'z') || c == '_' || c == ':';
}
bool IsNameChar(unsigned char c) {
  return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}
bool IsSpace(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n';
}

// Length of the well-formed UTF-8 sequence of an XML character at `p` (lead byte 0x80 or
// more), or 0: overlong forms, surrogates, code points past U+10FFFF and U+FFFE/U+FFFF are
// refused, as a parser refuses them.
size_t Utf8Length(const unsigned char* p, const unsigned char* end) {
  const size_t left = static_cast<size_t>(end - p);
  const auto cont = [](unsigned char c) { return (c & 0xC0) == 0x80; };
  const unsigned char c = p[0];
  if (c >= 0xC2 && c <= 0xDF) return left >= 2 && cont(p[1]) ? 2 : 0;
  if (c >= 0xE0 && c <= 0xEF) {
    if (left < 3 || !cont(p[1]) || !cont(p[2])) return 0;
    if (c == 0xE0 && p[1] < 0xA0) return 0;                   // overlong
    if (c == 0xED && p[1] >= 0xA0) return 0;                  // surrogates
    if (c == 0xEF && p[1] == 0xBF && p[2] >= 0xBE) return 0;  // U+FFFE, U+FFFF
    return 3;
  }
  if (c >= 0xF0 && c <= 0xF4) {
    if (left < 4 || !cont(p[1]) || !cont(p[2]) || !cont(p[3])) return 0;
    if (c == 0xF0 && p[1] < 0x90) return 0;   // overlong
    if (c == 0xF4 && p[1] >= 0x90) return 0;  // past U+10FFFF
    return 4;
  }
  return 0;
}

class PlainScanner {
 public:
  PlainScanner(std::string_view in, std::string& out) : in_(in), out_(out) {}

  bool Run() {
    while (pos_ < in_.size()) {
      if (in_[pos_] != '<') {
        if (!Text()) return false;
      } else if (pos_ + 1 < in_.size() && in_[pos_ + 1] == '/') {
        if (!EndTag()) return false;
      } else if (!StartTag()) {
        return false;
      }
    }
    return open_.empty();
  }

 private:
  // Reads the character `&name;` at pos_ and appends it; only the five predefined
  // references are taken.
  bool Reference(std::string& out) {
    const size_t semi = in_.substr(0, pos_ + 6).find(';', pos_ + 1);
    if (semi == std::string_view::npos) return false;
    const std::string_view name = in_.substr(pos_ + 1, semi - pos_ - 1);
    char c;
    if (name == "lt") {
      c = '<';
    } else if (name == "gt") {
      c = '>';
    } else if (name == "amp") {
      c = '&';
    } else if (name == "quot") {
      c = '"';
    } else if (name == "apos") {
      c = '\'';
    } else {
      return false;
    }
    out.push_back(c);
    pos_ = semi + 1;
    return true;
  }

  // Reads one non-ASCII character at pos_ and appends it.
  bool Utf8(std::string& out) {
    const auto* p = reinterpret_cast<const unsigned char*>(in_.data()) + pos_;
    const size_t n = Utf8Length(p, reinterpret_cast<const unsigned char*>(in_.data()) + in_.size());
    if (n == 0) return false;
    out.append(in_.substr(pos_, n));
    pos_ += n;
    return true;
  }

  // Character data up to the next tag. Carriage returns (which a parser rewrites), other
  // control characters and "]]>" (which XML forbids in text) are left to the parser.
  bool Text() {
    out_.push_back('C');
    const size_t lengthAt = out_.size();
    PutU32(out_, 0);
    const size_t textAt = out_.size();
    while (pos_ < in_.size() && in_[pos_] != '<') {
      const size_t start = pos_;
      while (pos_ < in_.size()) {
        const auto c = static_cast<unsigned char>(in_[pos_]);
        if (c == '<' || c == '&' || c >= 0x80 || (c < 0x20 && c != '\t' && c != '\n')) break;
        if (c == '>' && pos_ >= 2 && in_[pos_ - 1] == ']' && in_[pos_ - 2] == ']') return false;
        ++pos_;
      }
      out_.append(in_.substr(start, pos_ - start));
      if (pos_ >= in_.size() || in_[pos_] == '<') break;
      const auto c = static_cast<unsigned char>(in_[pos_]);
      if (c == '&') {
        if (!Reference(out_)) return false;
      } else if (c >= 0x80) {
        if (!Utf8(out_)) return false;
      } else {
        return false;
      }
    }
    const auto length = static_cast<uint32_t>(out_.size() - textAt);
    std::memcpy(out_.data() + lengthAt, &length, 4);
    return true;
  }

  bool Name(std::string_view& name) {
    const size_t start = pos_;
    if (pos_ >= in_.size() || !IsNameStart(static_cast<unsigned char>(in_[pos_]))) return false;
    ++pos_;
    while (pos_ < in_.size() && IsNameChar(static_cast<unsigned char>(in_[pos_]))) ++pos_;
    name = in_.substr(start, pos_ - start);
    return true;
  }

  void SkipSpace() {
    while (pos_ < in_.size() && IsSpace(static_cast<unsigned char>(in_[pos_]))) ++pos_;
  }

  bool StartTag() {
    ++pos_;  // '<'
    std::string_view name;
    if (!Name(name)) return false;  // also "<!" and "<?"
    attrs_.clear();
    values_.clear();
    for (;;) {
      if (pos_ >= in_.size()) return false;
      const char c = in_[pos_];
      if (c == '>') {
        ++pos_;
        PutStart(name);
        open_.push_back(name);
        return true;
      }
      if (c == '/') {
        if (pos_ + 1 >= in_.size() || in_[pos_ + 1] != '>') return false;
        pos_ += 2;
        PutStart(name);
        PutEnd(name);
        return true;
      }
      // Each attribute follows white space.
      if (!IsSpace(static_cast<unsigned char>(c))) return false;
      SkipSpace();
      if (pos_ < in_.size() && (in_[pos_] == '>' || in_[pos_] == '/')) continue;
      // Rows and cells carry a handful of attributes; a tag with many more goes to expat,
      // which finds repeated ones without comparing every pair.
      if (attrs_.size() == kMaxAttributes) return false;
      Attribute a;
      if (!Name(a.name)) return false;
      for (const Attribute& b : attrs_) {
        if (b.name == a.name) return false;  // a repeated attribute is an error
      }
      SkipSpace();
      if (pos_ >= in_.size() || in_[pos_] != '=') return false;
      ++pos_;
      SkipSpace();
      if (pos_ >= in_.size()) return false;
      const char quote = in_[pos_++];
      if (quote != '"' && quote != '\'') return false;
      // White space other than the space is left to the parser, which turns it into spaces.
      a.value = values_.size();
      for (;;) {
        if (pos_ >= in_.size()) return false;
        const auto v = static_cast<unsigned char>(in_[pos_]);
        if (v == static_cast<unsigned char>(quote)) break;
        if (v < 0x20 || v == '<') return false;
        if (v == '&') {
          if (!Reference(values_)) return false;
        } else if (v >= 0x80) {
          if (!Utf8(values_)) return false;
        } else {
          values_.push_back(static_cast<char>(v));
          ++pos_;
        }
      }
      ++pos_;
      a.length = values_.size() - a.value;
      attrs_.push_back(a);
    }
  }

  bool EndTag() {
    pos_ += 2;  // "</"
    std::string_view name;
    if (!Name(name)) return false;
    SkipSpace();
    if (pos_ >= in_.size() || in_[pos_] != '>') return false;
    ++pos_;
    if (open_.empty() || open_.back() != name) return false;
    open_.pop_back();
    PutEnd(name);
    return true;
  }

  void PutStart(std::string_view name) {
    out_.push_back('S');
    out_.append(name).push_back('\0');
    PutU32(out_, static_cast<uint32_t>(attrs_.size()));
    for (const Attribute& a : attrs_) {
      out_.append(a.name).push_back('\0');
      out_.append(values_, a.value, a.length).push_back('\0');
    }
  }

  void PutEnd(std::string_view name) {
    out_.push_back('E');
    out_.append(name).push_back('\0');
  }

  static constexpr size_t kMaxAttributes = 32;

  struct Attribute {
    std::string_view name;
    size_t value = 0, length = 0;  // in values_
  };

  std::string_view in_;
  std::string& out_;
  size_t pos_ = 0;
  std::vector<std::string_view> open_;
  std::vector<Attribute> attrs_;
  std::string values_;  // the current tag's attribute values, references replaced
};

}  // namespace

bool RecordRowEvents(std::string_view run, std::string& events) {
  // expat takes lengths as int.
  if (run.size() > (size_t{1} << 30)) return false;
  Recorder rec;
  rec.out = &events;
  XmlParser parser = NewHardenedParser(&rec);
  XML_Parser p = parser.get();
  XML_SetElementHandler(p, RecordStart, RecordEnd);
  XML_SetCharacterDataHandler(p, RecordChars);
  static constexpr std::string_view kOpen = "<sheetData>", kClose = "</sheetData>";
  return XML_Parse(p, kOpen.data(), int(kOpen.size()), 0) == XML_STATUS_OK &&
         XML_Parse(p, run.data(), int(run.size()), 0) == XML_STATUS_OK &&
         XML_Parse(p, kClose.data(), int(kClose.size()), 1) == XML_STATUS_OK && !rec.refused;
}

bool ScanPlainRowEvents(std::string_view run, std::string& events) {
  return PlainScanner(run, events).Run();
}

}  // namespace gridwell::xlsx
