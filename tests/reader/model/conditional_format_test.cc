// The bounds that keep hostile conditional formats cheap: rules over the whole sheet cost
// what its stored cells cost, and the work of all rules together is capped.
#include <gtest/gtest.h>

#include "reader/model/workbook.h"

namespace gridwell::model {
namespace {

TEST(ConditionalFormats, WholeSheetRulesCostTheStoredCellsAndStayBounded) {
  Workbook book;
  Sheet& sheet = book.AddSheet("S");
  for (int32_t row = 1; row <= 1000; ++row) sheet.SetNumber(row, 1 + row % 50, row);
  sheet.SetBlank(kMaxRows, kMaxColumns, 0);
  ConditionalRule rule;
  rule.type = RuleType::Blanks;
  rule.format.bold = true;
  rule.areas = {{1, 1, kMaxRows, kMaxColumns}, {1, 1, kMaxRows, kMaxColumns}};
  ConditionalFormats& cf = sheet.Conditional();
  for (size_t i = 0; i < ConditionalFormats::kMaxRules + 10; ++i) cf.AddRule(rule);
  EXPECT_EQ(cf.Rules().size(), ConditionalFormats::kMaxRules);
  cf.Evaluate(sheet);
  // The blank cell in the far corner is found; the rules past the work budget are left
  // alone and counted.
  ASSERT_NE(cf.LookAt(kMaxRows, kMaxColumns), nullptr);
  EXPECT_EQ(cf.LookAt(kMaxRows, kMaxColumns)->format.bold, true);
  EXPECT_EQ(cf.LookAt(2, 3), nullptr);
  EXPECT_GT(cf.UnevaluatedRules(), 0);
  EXPECT_LT(cf.UnevaluatedRules(), int32_t(ConditionalFormats::kMaxRules));
}

}  // namespace
}  // namespace gridwell::model
