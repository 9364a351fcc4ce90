// Temporary stand-in until the real engine lands: General for everything.
#include <cmath>
#include <cstdio>
#include <map>

#include "reader/numfmt/numfmt.h"

namespace gridwell::numfmt {

class Format {
 public:
  std::string code;
};

const RegionalSettings& RegionalSettings::EnglishUS() {
  static const RegionalSettings rs;
  return rs;
}
RegionalSettings RegionalSettings::FromPosixLocale() { return EnglishUS(); }

std::shared_ptr<const Format> Compile(std::string_view code) {
  auto f = std::make_shared<Format>();
  f->code = std::string(code);
  return f;
}

struct FormatCache::Impl {
  std::map<std::string, std::shared_ptr<const Format>, std::less<>> m;
};
FormatCache::FormatCache() : impl_(std::make_unique<Impl>()) {}
FormatCache::~FormatCache() = default;
const Format& FormatCache::Get(std::string_view code) {
  auto it = impl_->m.find(code);
  if (it == impl_->m.end()) it = impl_->m.emplace(std::string(code), Compile(code)).first;
  return *it->second;
}

int64_t FormatNumber(double value, const Format&, std::string& out, const RegionalSettings&, bool) {
  GeneralNumber(value, out);
  return -1;
}
std::string FormatNumber(double value, std::string_view code, const RegionalSettings& rs, bool d) {
  std::string s;
  FormatNumber(value, *Compile(code), s, rs, d);
  return s;
}
void FormatText(std::string_view text, const Format&, std::string& out) { out.append(text); }
bool IsDateFormat(const Format& f) { return IsDateFormat(f.code); }
bool IsDateFormat(std::string_view code) {
  return code.find('d') != code.npos || code.find('y') != code.npos || code.find('h') != code.npos;
}
std::string_view BuiltinFormatCode(int id) {
  switch (id) {
    case 0: return "General";
    case 14: return "m/d/yyyy";
    default: return "";
  }
}
void GeneralNumber(double value, std::string& out) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.10G", value);
  out.append(buf);
}
std::string GeneralNumber(double value) {
  std::string s;
  GeneralNumber(value, s);
  return s;
}
bool SerialToDateTime(double, bool, DateTime&) { return false; }

}  // namespace gridwell::numfmt
