#include "package_builder.h"

#include <zip.h>

#include <cstdlib>
#include <stdexcept>

namespace gridwell::xlsx::testing {

std::vector<uint8_t> Zip(const Parts& parts) {
  zip_error_t err;
  zip_error_init(&err);
  zip_source_t* buf = zip_source_buffer_create(nullptr, 0, 0, &err);
  zip_t* z = zip_open_from_source(buf, ZIP_TRUNCATE, &err);
  if (!z) throw std::runtime_error("zip_open_from_source failed");
  zip_source_keep(buf);
  for (const auto& [name, text] : parts) {
    zip_source_t* s = zip_source_buffer(z, text.data(), text.size(), 0);
    if (zip_file_add(z, name.c_str(), s, ZIP_FL_ENC_UTF_8) < 0) {
      zip_source_free(s);
      throw std::runtime_error("zip_file_add failed");
    }
  }
  if (zip_close(z) < 0) throw std::runtime_error("zip_close failed");
  std::vector<uint8_t> out;
  if (zip_source_open(buf) == 0) {
    zip_source_seek(buf, 0, SEEK_END);
    zip_int64_t size = zip_source_tell(buf);
    zip_source_seek(buf, 0, SEEK_SET);
    out.resize(static_cast<size_t>(size));
    zip_source_read(buf, out.data(), static_cast<zip_uint64_t>(size));
    zip_source_close(buf);
  }
  zip_source_free(buf);
  return out;
}

std::string Sheet(const std::string& sheetData, const std::string& before,
                  const std::string& after) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
         "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
         "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">" +
         before + "<sheetData>" + sheetData + "</sheetData>" + after + "</worksheet>";
}

Parts MinimalParts(const std::string& sheetXml) {
  const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
  return {
      {"[Content_Types].xml",
       "<?xml version=\"1.0\"?><Types "
       "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
       "<Default Extension=\"rels\" "
       "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
       "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
       "<Override PartName=\"/xl/workbook.xml\" "
       "ContentType=\"application/"
       "vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/></Types>"},
      {"_rels/.rels",
       "<?xml version=\"1.0\"?><Relationships "
       "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
       "<Relationship Id=\"rId1\" Type=\"" +
           rel + "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
      {"xl/workbook.xml",
       "<?xml version=\"1.0\"?><workbook "
       "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
       "xmlns:r=\"" +
           rel +
           "\"><sheets><sheet name=\"Sheet1\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"},
      {"xl/_rels/workbook.xml.rels",
       "<?xml version=\"1.0\"?><Relationships "
       "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
       "<Relationship Id=\"rId1\" Type=\"" +
           rel + "/worksheet\" Target=\"worksheets/sheet1.xml\"/></Relationships>"},
      {"xl/worksheets/sheet1.xml", sheetXml},
  };
}

void SetPart(Parts& parts, const std::string& name, const std::string& text) {
  for (auto& p : parts) {
    if (p.first == name) {
      p.second = text;
      return;
    }
  }
  parts.emplace_back(name, text);
}

void RemovePart(Parts& parts, const std::string& name) {
  std::erase_if(parts, [&](const auto& p) { return p.first == name; });
}

}  // namespace gridwell::xlsx::testing
