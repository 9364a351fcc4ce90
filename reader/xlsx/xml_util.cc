#include "reader/xlsx/xml_util.h"

#include <algorithm>
#include <new>

#include <cstring>

#include "reader/base/bytes.h"

namespace gridwell::xlsx {

const char* FindAttr(const XML_Char** attrs, std::string_view local) {
  for (; attrs[0]; attrs += 2) {
    if (LocalName(attrs[0]) == local) return attrs[1];
  }
  return nullptr;
}

bool XmlBool(const char* v, bool absent) {
  if (!v) return absent;
  return std::strcmp(v, "1") == 0 || std::strcmp(v, "true") == 0 || std::strcmp(v, "on") == 0;
}

bool XmlBool(const pugi::xml_attribute& a, bool absent) {
  return a ? XmlBool(a.value(), absent) : absent;
}

pugi::xml_node Child(const pugi::xml_node& parent, std::string_view local) {
  for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling()) {
    if (c.type() == pugi::node_element && LocalName(c.name()) == local) return c;
  }
  return {};
}

pugi::xml_attribute Attr(const pugi::xml_node& node, std::string_view local) {
  for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
    if (LocalName(a.name()) == local) return a;
  }
  return {};
}

bool LoadDom(const std::string& text, pugi::xml_document& doc, std::string& error) {
  pugi::xml_parse_result r = doc.load_buffer(
      text.data(), text.size(), pugi::parse_default | pugi::parse_doctype, pugi::encoding_auto);
  if (!r) {
    // pugixml tells a byte offset; a line (and the offset within it, as parts written on
    // one line are common) lets a reader of the log find the fault in an editor.
    const size_t at = std::min(static_cast<size_t>(std::max<ptrdiff_t>(r.offset, 0)), text.size());
    const size_t lineStart = at == 0 ? std::string::npos : text.rfind('\n', at - 1);
    const size_t column = lineStart == std::string::npos ? at : at - lineStart - 1;
    const auto line = 1 + std::count(text.begin(), text.begin() + static_cast<ptrdiff_t>(at), '\n');
    error = std::string(r.description()) + " at line " + std::to_string(line) + ", column " +
            std::to_string(column + 1);
    return false;
  }
  for (pugi::xml_node n = doc.first_child(); n; n = n.next_sibling()) {
    if (n.type() == pugi::node_doctype) {
      error = "document type declarations are not accepted";
      return false;
    }
  }
  return true;
}

namespace {
void Refuse(void* userData) {
  auto* state = static_cast<XmlHandlerBase*>(userData);
  state->refused = true;
  XML_StopParser(state->parser, XML_FALSE);
}
void XMLCALL StopOnDoctype(void* userData, const XML_Char*, const XML_Char*, const XML_Char*, int) {
  Refuse(userData);
}
void XMLCALL StopOnEntity(void* userData, const XML_Char*, int, const XML_Char*, int,
                          const XML_Char*, const XML_Char*, const XML_Char*, const XML_Char*) {
  Refuse(userData);
}
}  // namespace

XmlParser NewHardenedParser(XmlHandlerBase* state) {
  XmlParser p(XML_ParserCreate(nullptr));
  if (!p) throw std::bad_alloc();
  state->parser = p.get();
  XML_SetUserData(p.get(), state);
  XML_SetStartDoctypeDeclHandler(p.get(), StopOnDoctype);
  XML_SetEntityDeclHandler(p.get(), StopOnEntity);
  return p;
}

namespace {
// Reads "_xHHHH_" at text[i]; returns the code unit or -1.
int32_t EscapeAt(std::string_view text, size_t i) {
  if (i + 7 > text.size() || text[i] != '_' || text[i + 1] != 'x' || text[i + 6] != '_') return -1;
  int32_t v = 0;
  for (size_t k = 2; k < 6; ++k) {
    int h = base::HexDigitValue(text[i + k]);
    if (h < 0) return -1;
    v = v * 16 + h;
  }
  return v;
}
}  // namespace

void DecodeEscapes(std::string& text) {
  if (text.find("_x") == std::string::npos) return;
  std::string out;
  out.reserve(text.size());
  std::string_view in(text);
  for (size_t i = 0; i < in.size();) {
    int32_t unit = in[i] == '_' ? EscapeAt(in, i) : -1;
    if (unit < 0) {
      out.push_back(in[i++]);
      continue;
    }
    i += 7;
    uint32_t cp = static_cast<uint32_t>(unit);
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      int32_t low = EscapeAt(in, i);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<uint32_t>(low) - 0xDC00);
        i += 7;
      }
    }
    AppendUtf8(out, cp);
  }
  text.swap(out);
}

namespace {
// Walks the subtree without recursion: a hostile part may nest elements hundreds of
// thousands deep, more than the stack holds frames for.
void CollectText(const pugi::xml_node& root, std::string& out) {
  pugi::xml_node c = root.first_child();
  while (c) {
    bool descend = false;
    if (c.type() == pugi::node_element) {
      const std::string_view name = LocalName(c.name());
      if (name == "t") {
        for (pugi::xml_node t = c.first_child(); t; t = t.next_sibling()) {
          if (t.type() == pugi::node_pcdata || t.type() == pugi::node_cdata) out.append(t.value());
        }
      } else if (name != "rPh") {
        descend = true;
      }
    }
    if (descend && c.first_child()) {
      c = c.first_child();
      continue;
    }
    // Next in document order that is not below `c`, never leaving `root`.
    while (c != root && !c.next_sibling()) c = c.parent();
    if (c == root) break;
    c = c.next_sibling();
  }
}
}  // namespace

std::string RichText(const pugi::xml_node& node) {
  std::string out;
  CollectText(node, out);
  DecodeEscapes(out);
  return out;
}

}  // namespace gridwell::xlsx
