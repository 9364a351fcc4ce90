// Number-format codes from the input: compiling and rendering must never crash, hang or
// disagree with the date test.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "reader/numfmt/numfmt.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace gridwell::numfmt;
  if (size < sizeof(double)) return 0;
  double value;
  std::memcpy(&value, data, sizeof value);
  std::string_view code(reinterpret_cast<const char*>(data) + sizeof value, size - sizeof value);
  auto format = Compile(code);
  std::string out;
  FormatNumber(value, *format, out);
  FormatNumber(value, *format, out, RegionalSettings::EnglishUS(), true);
  FormatText(code, *format, out);
  // The quick scan and the compiled code agree on ASCII codes; invalid UTF-8 may be split
  // differently by the two and is not held to that.
  bool ascii = true;
  for (char c : code) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii && IsDateFormat(*format) != IsDateFormat(code)) __builtin_trap();
  GeneralNumber(value, out);
  DateTime dt;
  SerialToDateTime(value, false, dt);
  return 0;
}
