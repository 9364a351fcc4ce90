// Small helpers shared by the part parsers: namespace-agnostic names, attribute lookup,
// hardened parser set-up, and the text escapes of SpreadsheetML.
#pragma once

#include <expat.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include <pugixml.hpp>

#include "reader/utf8.h"

namespace gridwell::xlsx {

// The name without its namespace prefix ("x:c" -> "c"). Transitional and Strict
// documents use different namespaces for the same local names, so parts are matched by
// local name only.
inline std::string_view LocalName(const char* qname) {
  const char* start = qname;
  const char* p = qname;
  for (; *p; ++p) {
    if (*p == ':') start = p + 1;
  }
  return std::string_view(start, static_cast<size_t>(p - start));
}

// Value of an expat attribute by local name, or nullptr.
const char* FindAttr(const XML_Char** attrs, std::string_view local);

// Parses a boolean attribute as SpreadsheetML writes it ("1", "true", "on").
bool XmlBool(const char* v, bool absent = false);
bool XmlBool(const pugi::xml_attribute& a, bool absent = false);

// First child element with this local name, or a null node.
pugi::xml_node Child(const pugi::xml_node& parent, std::string_view local);
// Attribute by local name ("r:id" is found as "id").
pugi::xml_attribute Attr(const pugi::xml_node& node, std::string_view local);

// Parses a small part into a DOM. A document with a DOCTYPE is refused (entity tricks);
// pugixml itself never expands declared entities.
bool LoadDom(const std::string& text, pugi::xml_document& doc, std::string& error);

// Base of the state that a streaming parser hands to its callbacks: the callbacks of
// NewHardenedParser reach the parser through it to stop it.
struct XmlHandlerBase {
  XML_Parser parser = nullptr;
  bool refused = false;  // a DOCTYPE or entity declaration stopped the parse
};

struct XmlParserFree {
  void operator()(XML_Parser p) const { XML_ParserFree(p); }
};
using XmlParser = std::unique_ptr<XML_ParserStruct, XmlParserFree>;

// Creates an expat parser whose user data is `state`, and which stops at any DOCTYPE or
// entity declaration (entity expansion tricks). Throws std::bad_alloc when expat has no
// memory for it, as the reader does wherever memory runs out.
XmlParser NewHardenedParser(XmlHandlerBase* state);

// Decodes the _xHHHH_ escapes that SpreadsheetML uses for characters XML cannot carry
// (control characters, lone surrogates): "_x000D_" is a carriage return, "_x005F_" a
// literal underscore. Surrogate pairs written as two escapes become one code point.
void DecodeEscapes(std::string& text);

// Concatenated text of the <t> elements under `node`, leaving out phonetic runs (rPh),
// with escapes decoded: the text of a rich or plain string item.
std::string RichText(const pugi::xml_node& node);

// The code a table of attribute values gives `value` (names compared exactly, as the file
// formats spell them), or nothing when the table does not have it.
template <typename Code, size_t N>
std::optional<Code> CodeOfName(const std::pair<std::string_view, Code> (&table)[N],
                               std::string_view value) {
  for (const auto& [name, code] : table) {
    if (name == value) return code;
  }
  return std::nullopt;
}

}  // namespace gridwell::xlsx
