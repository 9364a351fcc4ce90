#include "reader/xlsx/comments.h"

#include "reader/xlsx/cell_values.h"
#include "reader/xlsx/xml_util.h"

namespace gridwell::xlsx {

bool ParseComments(const std::string& text, model::Sheet& sheet, std::string& error) {
  pugi::xml_document doc;
  if (!LoadDom(text, doc, error)) return false;
  pugi::xml_node list = Child(doc.document_element(), "commentList");
  for (pugi::xml_node c = list.first_child(); c; c = c.next_sibling()) {
    if (c.type() != pugi::node_element || LocalName(c.name()) != "comment") continue;
    int64_t row, col;
    if (!ParseCellRef(Attr(c, "ref").value(), row, col)) continue;
    if (row < 1 || row > model::kMaxRows || col < 1 || col > model::kMaxColumns) continue;
    sheet.SetComment(static_cast<int32_t>(row), static_cast<int32_t>(col),
                     RichText(Child(c, "text")));
  }
  return true;
}

}  // namespace gridwell::xlsx
