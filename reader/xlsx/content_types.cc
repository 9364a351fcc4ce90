#include "reader/xlsx/content_types.h"

#include "reader/xlsx/xml_util.h"

namespace gridwell::xlsx {

void ContentTypes::Load(ZipPackage& pkg) {
  std::string text, error;
  if (pkg.Read("[Content_Types].xml", text, error) != PartStatus::Ok) return;
  pugi::xml_document doc;
  if (!LoadDom(text, doc, error)) return;
  for (pugi::xml_node n = doc.document_element().first_child(); n; n = n.next_sibling()) {
    if (n.type() != pugi::node_element || LocalName(n.name()) != "Override") continue;
    std::string_view type = Attr(n, "ContentType").value();
    // application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml,
    // application/vnd.ms-excel.sheet.macroEnabled.main+xml, ...template.main+xml
    bool workbook = type.starts_with("application/vnd.") && type.ends_with(".main+xml") &&
                    (type.find("spreadsheetml") != std::string_view::npos ||
                     type.find("ms-excel") != std::string_view::npos);
    if (workbook) workbookParts_.push_back(ZipPackage::Normalize(Attr(n, "PartName").value()));
  }
}

}  // namespace gridwell::xlsx
