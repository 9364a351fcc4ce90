#include "converter/cell_value.h"

namespace gridwell::conv {

int64_t CellValueFormatter::Format(const ReaderCell& cell, const CellValue& value,
                                   std::string& display) const {
  display.clear();
  switch (value.kind) {
    case ValueKind::Empty:
      return kNoColorOverride;
    case ValueKind::Error:
      // Pages have always shown one marker for every error value; hosts may look for it.
      display.append("#ERR");
      return kNoColorOverride;
    case ValueKind::String:
    case ValueKind::Number:
    case ValueKind::Date:
    case ValueKind::Boolean:
      break;
  }
  const int64_t color = cell.AppendText(display);
  return color >= 0 ? color : kNoColorOverride;
}

}  // namespace gridwell::conv
