#include "reader/xlsx/workbook.h"

#include "reader/xlsx/xml_util.h"

namespace gridwell::xlsx {

namespace {
// The sheet list holds nothing but sheet entries (comments and white space aside). Any other
// element or text there is a damaged entry, and skipping it would drop a sheet unnoticed.
bool IsSheetEntry(const pugi::xml_node& n, std::string& error) {
  if (n.type() == pugi::node_element && LocalName(n.name()) == "sheet") return true;
  const bool text = n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata;
  const std::string_view value = text ? n.value() : "";
  if (n.type() == pugi::node_element) {
    error = "the sheet list holds an element <" + std::string(n.name()) + ">";
    return false;
  }
  if (value.find_first_not_of(" \t\r\n") != std::string_view::npos) {
    error = "the sheet list holds text";
    return false;
  }
  return true;
}
}  // namespace

bool ParseWorkbookPart(const std::string& text, WorkbookInfo& out, std::string& error) {
  pugi::xml_document doc;
  if (!LoadDom(text, doc, error)) return false;
  pugi::xml_node root = doc.document_element();
  if (LocalName(root.name()) != "workbook") {
    error = "the root element is not <workbook>";
    return false;
  }
  if (pugi::xml_node pr = Child(root, "workbookPr")) out.date1904 = XmlBool(Attr(pr, "date1904"));
  if (pugi::xml_node prot = Child(root, "workbookProtection")) {
    // An empty element (as some writers emit by default) locks nothing.
    out.isProtected = XmlBool(Attr(prot, "lockStructure")) || XmlBool(Attr(prot, "lockWindows")) ||
                      XmlBool(Attr(prot, "lockRevision"));
  }
  if (pugi::xml_node sheets = Child(root, "sheets")) {
    for (pugi::xml_node s = sheets.first_child(); s; s = s.next_sibling()) {
      if (!IsSheetEntry(s, error)) return false;
      if (s.type() != pugi::node_element) continue;
      SheetEntry e;
      e.name = Attr(s, "name").value();
      // The relationship id is the r:id attribute; "id" alone without a prefix would be
      // unusual, but Attr() matches by local name either way.
      e.relId = Attr(s, "id").value();
      std::string_view state = Attr(s, "state").value();
      e.hidden = state == "hidden" || state == "veryHidden";
      out.sheets.push_back(std::move(e));
    }
  }
  return true;
}

}  // namespace gridwell::xlsx
