#include "biff_builder.h"

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-output.h>

#include <cstring>

namespace gridwell::xls::test {

Body& Body::f64(double d) {
  uint8_t raw[8];
  std::memcpy(raw, &d, 8);
  b.insert(b.end(), raw, raw + 8);
  return *this;
}

Bytes Record(uint16_t type, const Bytes& body) {
  Body r;
  r.u16(type).u16(static_cast<uint16_t>(body.size())).bytes(body);
  return r.b;
}

std::vector<Bytes> DefaultFormats() {
  std::vector<Bytes> out;
  for (int i = 0; i < 5; ++i) {
    Body f;
    f.u16(200).u16(0).u16(0x7FFF).u16(400).u16(0).u8(0).u8(0).u8(0).u8(0).str8("Arial");
    out.push_back(Record(0x0031, f));
  }
  for (int i = 0; i < 15; ++i) {
    Body x;
    x.u16(0).u16(0).u16(0xFFF5).u8(0x20).u8(0).u8(0).u8(0).u32(0).u32(0).u16(0x20C0);
    out.push_back(Record(0x00E0, x));
  }
  out.push_back(CellXf(0, 0));
  return out;
}

Bytes CellXf(uint16_t font, uint16_t numFmt, uint8_t align, uint8_t usedAttrs, uint32_t borderLines,
             uint32_t borderMore, uint16_t fill) {
  Body x;
  x.u16(font)
      .u16(numFmt)
      .u16(0x0001)
      .u8(align)
      .u8(0)
      .u8(0)
      .u8(usedAttrs)
      .u32(borderLines)
      .u32(borderMore)
      .u16(fill);
  return Record(0x00E0, x);
}

Bytes Biff8Stream(const std::vector<Bytes>& globals, const std::vector<SheetSpec>& sheets,
                  uint16_t version) {
  Body bof;
  bof.u16(version).u16(0x0005).u16(0).u16(0).u32(0).u32(0);
  Bytes out = Record(0x0809, bof);
  for (const Bytes& r : globals) out.insert(out.end(), r.begin(), r.end());
  std::vector<size_t> patch;
  for (const SheetSpec& s : sheets) {
    Body bs;
    bs.u32(0).u8(s.state).u8(0);
    if (version == 0x0500) {
      bs.u8(static_cast<uint8_t>(s.name.size())).raw(s.name);
    } else {
      bs.str8(s.name);
    }
    patch.push_back(out.size() + 4);
    Bytes r = Record(0x0085, bs);
    out.insert(out.end(), r.begin(), r.end());
  }
  Bytes eof = Record(0x000A, Bytes{});
  out.insert(out.end(), eof.begin(), eof.end());
  for (size_t i = 0; i < sheets.size(); ++i) {
    uint32_t pos = static_cast<uint32_t>(out.size());
    std::memcpy(&out[patch[i]], &pos, 4);
    Body sb;
    sb.u16(version).u16(0x0010).u16(0).u16(0).u32(0).u32(0);
    Bytes r = Record(0x0809, sb);
    out.insert(out.end(), r.begin(), r.end());
    for (const Bytes& rec : sheets[i].records) out.insert(out.end(), rec.begin(), rec.end());
    out.insert(out.end(), eof.begin(), eof.end());
  }
  return out;
}

Bytes CompoundFile(const Bytes& workbook, const char* streamName) {
  GsfOutput* mem = gsf_output_memory_new();
  GsfOutfile* ole = gsf_outfile_msole_new(mem);
  GsfOutput* stream = gsf_outfile_new_child(ole, streamName, FALSE);
  gsf_output_write(stream, workbook.size(), workbook.data());
  gsf_output_close(stream);
  g_object_unref(stream);
  gsf_output_close(GSF_OUTPUT(ole));
  g_object_unref(ole);
  const guint8* data = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(mem));
  Bytes out(data, data + gsf_output_size(mem));
  g_object_unref(mem);
  return out;
}

}  // namespace gridwell::xls::test
