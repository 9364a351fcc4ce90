// The conditional formats of a worksheet part: each conditionalFormatting element's areas
// (sqref) and its cfRule children, with their differential formats from the styles part's
// dxfs, colour scales and data bars. The worksheet's streaming parser hands over the
// elements outside sheetData; those of conditional formats are taken here.
#pragma once

#include <expat.h>

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "reader/model/conditional_format.h"
#include "reader/xlsx/styles.h"

namespace gridwell::xlsx {

class ConditionalFormattingReader {
 public:
  // An element start outside sheetData; true when it belongs to a conditional format.
  bool Start(std::string_view name, const XML_Char** attrs, const StyleMap& styles);
  // An element end outside sheetData; true when it belonged to a conditional format.
  bool End(std::string_view name);
  // Where the text of the element being read goes, or null when it has none to keep.
  std::string* TextTarget() { return text_; }
  // Hands the rules to the sheet and works out their looks; call once the cells are read.
  void Finish(model::Sheet& sheet);

 private:
  void StartRule(const XML_Char** attrs, const StyleMap& styles);
  void StartPoint(const XML_Char** attrs);
  void StartColor(const XML_Char** attrs, const StyleMap& styles);
  void EndRule();
  void EndElement();
  // The model's type of the rule just read, filling its operands or points.
  model::RuleType RuleType();

  int depth_ = 0;       // depth inside the conditionalFormatting element; 0 outside
  int extDepth_ = 0;    // depth inside the worksheet's extLst (newer rules live there)
  bool newer_ = false;  // the element being read is one of the extLst's
  std::string sqref_;   // the areas: an attribute, or in newer rules an element's text
  std::string* text_ = nullptr;
  std::string scratch_;  // text of formula and sqref elements
  bool inRule_ = false;
  std::string type_;  // the rule's type attribute
  bool op_ = true;    // its operator, if any, is known
  bool hasText_ = false;
  std::string ruleId_;  // a data bar's link to its newer extension
  model::ConditionalRule rule_;
  std::vector<std::string> formulas_;
  std::vector<model::ScalePoint> points_;
  std::vector<uint32_t> colors_;
  bool pointNeedsFormula_ = false;
  // Rules of the current element, without areas yet, each with its extension id.
  std::vector<std::pair<model::ConditionalRule, std::string>> pending_;
  std::vector<model::ConditionalRule> rules_;
  size_t areaCount_ = 0;
  std::unordered_map<std::string, size_t> barIds_;  // extension id -> index in rules_
};

}  // namespace gridwell::xlsx
