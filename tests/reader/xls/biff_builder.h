// Builds BIFF8 (and BIFF5) workbook streams record by record and wraps them in a compound
// file with libgsf, so that tests can make exactly the records they need, including
// broken ones.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gridwell::xls::test {

using Bytes = std::vector<uint8_t>;

// Little-endian body builder.
struct Body {
  Bytes b;
  Body& u8(uint8_t v) {
    b.push_back(v);
    return *this;
  }
  Body& u16(uint16_t v) { return u8(static_cast<uint8_t>(v)).u8(static_cast<uint8_t>(v >> 8)); }
  Body& u32(uint32_t v) {
    return u16(static_cast<uint16_t>(v)).u16(static_cast<uint16_t>(v >> 16));
  }
  Body& f64(double d);
  Body& bytes(const Bytes& v) {
    b.insert(b.end(), v.begin(), v.end());
    return *this;
  }
  // BIFF8 strings: 8-bit characters ("compressed"), with a 16- or 8-bit count.
  Body& str16(const std::string& latin1) {
    return u16(static_cast<uint16_t>(latin1.size())).u8(0).raw(latin1);
  }
  Body& str8(const std::string& latin1) {
    return u8(static_cast<uint8_t>(latin1.size())).u8(0).raw(latin1);
  }
  Body& raw(const std::string& s) {
    b.insert(b.end(), s.begin(), s.end());
    return *this;
  }
};

Bytes Record(uint16_t type, const Bytes& body);
inline Bytes Record(uint16_t type, const Body& body) {
  return Record(type, body.b);
}

struct SheetSpec {
  std::string name;
  std::vector<Bytes> records;  // between the sheet's BOF and EOF
  uint8_t state = 0;
};

// A BIFF8 workbook stream: BOF, the given globals records, one BOUNDSHEET per sheet
// pointing at its substream, EOF, then the substreams.
Bytes Biff8Stream(const std::vector<Bytes>& globals, const std::vector<SheetSpec>& sheets,
                  uint16_t version = 0x0600);
// The default formats every workbook has: 5 fonts (index 4 skipped by reference), 16
// style XFs and one cell XF (15) with a plain format.
std::vector<Bytes> DefaultFormats();
// A cell XF record (BIFF8) with the given font, number format and attribute words.
Bytes CellXf(uint16_t font, uint16_t numFmt, uint8_t align = 0x20, uint8_t usedAttrs = 0xFC,
             uint32_t borderLines = 0, uint32_t borderMore = 0, uint16_t fill = 0x20C0);
// Wraps a workbook stream in a compound file.
Bytes CompoundFile(const Bytes& workbook, const char* streamName = "Workbook");

}  // namespace gridwell::xls::test
