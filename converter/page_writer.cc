#include "converter/page_writer.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "converter/cell_markup.h"
#include "converter/cell_value.h"
#include "converter/style_sheet.h"

namespace gridwell::conv {

namespace {

constexpr std::string_view kCharsetLine =
    "<META HTTP-EQUIV='Content-Type' CONTENT='text/html; charset=utf-8'>\r\n";

// The check mark after a commented cell's opening tag, in forms for every browser.
constexpr std::string_view kCheckMark =
    "<![if !IE]>&#10003;<![endif]><!--[if IE 7]>&#10003;<![endif]--><!--[if lt IE 7]>"
    "<input type='checkbox' disabled='disabled' checked='checked' /><![endif]-->";

// Rounds to the nearest integer, halves to the even neighbour, as a 16-bit number.
int16_t RoundToInt16(double v) {
  if (!(v == v)) return 0;
  const double r = std::nearbyint(v);
  if (r > std::numeric_limits<int16_t>::max()) return std::numeric_limits<int16_t>::max();
  if (r < std::numeric_limits<int16_t>::min()) return std::numeric_limits<int16_t>::min();
  return static_cast<int16_t>(r);
}

std::string Upper(std::string_view s) {
  std::string u(s);
  for (char& c : u) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return u;
}

// Fills in a missing end from the last used row and column.
PageRange ResolveRangeWithin(PageRange r, int32_t maxRow, int32_t maxCol) {
  if (r.startRow < 1) r.startRow = 1;
  if (r.startCol < 1) r.startCol = 1;
  if (r.endRow < 1) r.endRow = maxRow;
  if (r.endCol < 1) r.endCol = maxCol;
  // No worksheet has cells past the grid; a larger request would only repeat empty cells.
  r.endRow = std::min(r.endRow, model::kMaxRows);
  r.endCol = std::min(r.endCol, model::kMaxColumns);
  return r;
}

// Finds the cells of the range in the order the page visits them. When the sheet stores its
// cells in row-major order (as every file reader delivers them), one cursor walks the
// storage alongside the page; otherwise each position is looked up on its own. Its one
// look at every stored cell also finds the last used row and column.
class CellCursor {
 public:
  explicit CellCursor(const ReaderCells& cells) : cells_(cells), count_(cells.Count()) {
    int64_t last = -1;
    for (int32_t i = 1; i <= count_; ++i) {
      const ReaderCell c = cells_.Item(i);
      const int32_t row = c.Row(), col = c.Column();
      maxRow_ = std::max(maxRow_, row);
      maxCol_ = std::max(maxCol_, col);
      const int64_t key = Key(row, col);
      sorted_ = sorted_ && key > last;
      last = key;
    }
  }
  int32_t MaxRow() const { return maxRow_; }
  int32_t MaxColumn() const { return maxCol_; }
  void Rewind() { next_ = 1; }
  // The cell at (row, col), or a null cell. Positions must come in row-major order between
  // two calls of Rewind.
  ReaderCell At(int32_t row, int32_t col) {
    if (!sorted_) return cells_.Cell(row, col);
    const int64_t want = Key(row, col);
    while (next_ <= count_) {
      const ReaderCell c = cells_.Item(next_);
      const int64_t key = Key(c.Row(), c.Column());
      if (key > want) return {};
      ++next_;
      if (key == want) return c;
    }
    return {};
  }
  int32_t Count() const { return count_; }

 private:
  static int64_t Key(int32_t row, int32_t col) { return (int64_t{row} << 16) | col; }
  ReaderCells cells_;
  int32_t count_;
  int32_t next_ = 1;
  bool sorted_ = true;
  int32_t maxRow_ = 0, maxCol_ = 0;
};

// Writes one page. Each table row is gathered in `line_` and handed to the accumulator in
// one piece; every buffer is reused from row to row and from cell to cell.
class PageWriter {
 public:
  PageWriter(clsConcat& page, const clsHTML& s, const ReaderWorksheet& sheet, bool styled)
      : page_(page),
        sheet_(sheet),
        cells_(sheet.Cells()),
        cursor_(cells_),
        comments_(sheet.Comments()),
        styled_(styled),
        showFormulas_(s.ShowFormulas != kFalse),
        hideRowNumbers_(s.HideRowNumbers != kFalse),
        hideColLetters_(s.HideColLetters != kFalse),
        lettersBelow_(s.ColLetters == kTrue),
        numbersRight_(s.RowNumbers == kTrue),
        newWindow_(s.NewWindow != kFalse),
        showComments_(s.ShowComments != kFalse) {}

  bool Write(const PageRange& requested, const PageDecoration& d);

 private:
  void Put(std::string_view s) {
    if (!page_.Append(s)) ok_ = false;
  }
  void PutLine() {
    Put(line_);
    line_.clear();
  }
  void AppendLetterRow();
  void AppendRowNumberCell(int32_t row, int16_t height);
  void AppendDataCell(int32_t row, int32_t col, int16_t height, int16_t width);
  void AppendStylePass();

  clsConcat& page_;
  const ReaderWorksheet& sheet_;
  ReaderCells cells_;
  CellCursor cursor_;
  ReaderComments comments_;
  const bool styled_;
  const bool showFormulas_, hideRowNumbers_, hideColLetters_, lettersBelow_, numbersRight_,
      newWindow_, showComments_;
  PageRange r_;
  std::vector<int16_t> widths_;
  int32_t classNumber_ = 1;
  CellValueFormatter formatter_;
  FontOpening fontOpening_;
  std::string line_;
  std::string display_;
  bool ok_ = true;
};

bool PageWriter::Write(const PageRange& requested, const PageDecoration& d) {
  Put("<HTML>\r\n<HEAD>\r\n");
  Put(kCharsetLine);
  Put("<CENTER><STRONG>");
  Put(d.heading);
  Put("</STRONG></CENTER>\r\n<TITLE>");
  Put(d.title);
  Put("</TITLE><BR>\r\n");
  if (styled_) {
    Put("<!--[if !mso]>\r\n"
        "<STYLE>\r\n"
        "v\\\\:* {behavior:url(#default#VML);}\r\n"
        "o\\\\:* {behavior:url(#default#VML);}\r\n"
        "x\\\\:* {behavior:url(#default#VML);}\r\n"
        ".shape {behavior:url(#default#VML);}\r\n"
        "</STYLE>\r\n"
        "<![endif]-->\r\n");
    AppendStyleSheetOpening(line_);
    PutLine();
  }

  r_ = ResolveRangeWithin(requested, cursor_.MaxRow(), cursor_.MaxColumn());
  const ReaderColumns columns = sheet_.Columns();
  for (int32_t c = r_.startCol; c <= r_.endCol; ++c) {
    widths_.push_back(RoundToInt16(columns.Item(c).Width() * 7.136 + 10));
  }

  // Room for the whole page up front, so that the gathered text is never moved while it
  // grows: an empty position takes about 40 characters, a stored cell a few hundred.
  if (r_.endRow >= r_.startRow && r_.endCol >= r_.startCol) {
    const double positions =
        double(r_.endRow - r_.startRow + 1) * double(r_.endCol - r_.startCol + 1);
    const double estimate =
        positions * 48 + double(cursor_.Count()) * (styled_ ? 420 : 140) + 65536;
    page_.Reserve(
        static_cast<size_t>(std::min(estimate, double(std::numeric_limits<int32_t>::max()))));
  }

  if (styled_) {
    AppendStylePass();
    AppendStyleSheetClosing(line_);
    PutLine();
  }

  Put("</HEAD>\r\n");
  if (!TrimSpaces(d.backgroundColor).empty()) {
    Put("<BODY BGCOLOR='");
    Put(d.backgroundColor);
  } else if (!TrimSpaces(d.backgroundImageFile).empty()) {
    Put("<BODY BACKGROUND='");
    Put(d.backgroundImageFile);
  } else {
    Put("<BODY BGCOLOR='silver");
  }
  Put("'>\r\n<DIV ID='XL' ALIGN='CENTER' x:publishsource='Brindleworks'>\r\n");
  Put("<TABLE ALIGN='CENTER' BORDER='1' CELLSPACING='2' CELLPADDING='2' ");
  if (!TrimSpaces(d.tableColor).empty()) {
    Put("BGCOLOR='");
    Put(d.tableColor);
  } else if (!TrimSpaces(d.tableImageFile).empty()) {
    Put("BACKGROUND='");
    Put(d.tableImageFile);
  } else {
    Put("BGCOLOR='lightgrey");
  }
  Put("' BORDERCOLOR='black' BORDERCOLORDARK='silver' BORDERCOLORLIGHT='white'>\r\n<TBODY>\r\n");

  if (!hideColLetters_) AppendLetterRow();

  classNumber_ = 1;
  cursor_.Rewind();
  const ReaderRows rows = sheet_.Rows();
  for (int32_t row = r_.startRow; row <= r_.endRow && ok_; ++row) {
    const int16_t height = RoundToInt16(rows.Item(row).Height() / 15);
    line_.append("<TR ALIGN='RIGHT'>");
    if (!hideRowNumbers_) AppendRowNumberCell(row, height);
    size_t k = 0;
    for (int32_t col = r_.startCol; col <= r_.endCol; ++col, ++k) {
      AppendDataCell(row, col, height, widths_[k]);
    }
    if (numbersRight_) AppendRowNumberCell(row, height);
    line_.append("</TR>\r\n");
    PutLine();
  }

  if (lettersBelow_) AppendLetterRow();
  Put("</TBODY>\r\n</TABLE>\r\n</DIV>\r\n</BODY>\r\n</HTML>\r\n");
  return ok_;
}

void PageWriter::AppendLetterRow() {
  line_.append("<TR ALIGN='RIGHT' NOWRAP>");
  if (!hideRowNumbers_) line_.append("<TD></TD>");
  for (int32_t col = r_.startCol; col <= r_.endCol; ++col) {
    line_.append("<TD ALIGN='CENTER'>");
    AppendColumnLetters(line_, col);
    line_.append("</TD>");
  }
  line_.append("</TR>\r\n");
  PutLine();
}

void PageWriter::AppendRowNumberCell(int32_t row, int16_t height) {
  line_.append("<TD ALIGN='CENTER' HEIGHT='");
  AppendInt(line_, height);
  line_.append("'>");
  AppendInt(line_, row);
  line_.append("</TD>");
}

void PageWriter::AppendDataCell(int32_t row, int32_t col, int16_t height, int16_t width) {
  line_.append("<TD HEIGHT='");
  AppendInt(line_, height);
  line_ += '\'';
  if (width > 0) {
    line_.append(" WIDTH='");
    AppendInt(line_, width);
    line_ += '\'';
  }
  const ReaderCell cell = cursor_.At(row, col);
  const CellValue value = cell.Value();
  if (!cell || value.IsEmpty()) {
    line_.append("></TD>");
    return;
  }

  if (styled_) {
    line_.append(" CLASS=xl");
    AppendInt(line_, classNumber_++);
  } else {
    switch (cell.HorizontalAlignment()) {
      case 1:
        line_.append(" ALIGN='LEFT'");
        break;
      case 2:
        line_.append(" ALIGN='CENTER'");
        break;
      case 3:
        line_.append(" ALIGN='RIGHT'");
        break;
      case 5:
        line_.append(" ALIGN='JUSTIFY'");
        break;
      default:
        switch (value.kind) {
          case ValueKind::Number:
            line_.append(" ALIGN='RIGHT'");
            break;
          case ValueKind::String:
            line_.append(" ALIGN='LEFT'");
            break;
          case ValueKind::Boolean:
            line_.append(" ALIGN='CENTER'");
            break;
          default:
            break;  // the row's right alignment applies
        }
    }
    switch (cell.VerticalAlignment()) {
      case 0:
        line_.append(" VALIGN='TOP'");
        break;
      case 1:
        line_.append(" VALIGN='MIDDLE'");
        break;
      case 2:
        line_.append(" VALIGN='BOTTOM'");
        break;
      default:
        break;
    }
    const uint32_t fill = cell.FillColor();
    if (fill != 0) {
      line_.append(" BGCOLOR='");
      AppendHtmlColor(line_, fill);
      line_ += '\'';
    }
  }

  std::string_view comment;
  if (showComments_) comment = comments_.Item(row, col).Text();
  if (!comment.empty()) {
    line_.append(" TITLE='");
    AppendEscaped(line_, comment);
    line_.append("'>");
    line_.append(kCheckMark);
  } else {
    if (showFormulas_) {
      const std::string_view formula = cell.Formula();
      if (!formula.empty()) {
        line_.append(" TITLE='Formula: ");
        AppendEscaped(line_, formula);
        line_ += '\'';
      }
    }
    line_.append(cell.WrapText() ? std::string_view(">") : std::string_view(" NOWRAP>"));
  }

  const bool red = formatter_.Format(cell, value, display_);
  AppendCellContent(line_, display_, red, cell, newWindow_, !styled_, &fontOpening_);
  line_.append("</TD>");
}

void PageWriter::AppendStylePass() {
  int32_t n = 1;
  cursor_.Rewind();
  for (int32_t row = r_.startRow; row <= r_.endRow && ok_; ++row) {
    for (int32_t col = r_.startCol; col <= r_.endCol; ++col) {
      const ReaderCell cell = cursor_.At(row, col);
      if (!cell) continue;
      const CellValue value = cell.Value();
      if (value.IsEmpty()) continue;
      AppendClassRule(line_, n++, cell, value);
    }
    PutLine();
  }
}

}  // namespace

std::string_view TrimSpaces(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

void ParseCellReference(std::string_view reference, int32_t& row, int16_t& col) {
  // "$" marks an absolute reference and names the same cell.
  std::string ref;
  for (char c : reference) {
    if (c != '$') ref += c;
  }
  const std::string digits = RowPart(ref);
  row = 0;
  int64_t v = 0;
  for (char c : digits) {
    v = v * 10 + (c - '0');
    if (v > std::numeric_limits<int32_t>::max()) {
      v = 0;
      break;
    }
  }
  row = static_cast<int32_t>(v);
  col = ColumnNumber(ColumnPart(ref));
}

PageRange RequestedRange(const clsHTML& s) {
  PageRange r;
  const std::string_view text = TrimSpaces(s.Range);
  if (text.empty()) {
    r.startRow = s.StartRow;
    r.startCol = s.StartCol;
    r.endRow = s.EndRow;
    r.endCol = s.EndCol;
    return r;
  }
  const std::string upper = Upper(text);
  const size_t colon = upper.find(':');
  int16_t col = 0;
  if (colon != std::string::npos) {
    ParseCellReference(std::string_view(upper).substr(0, colon), r.startRow, col);
    r.startCol = col;
    ParseCellReference(std::string_view(upper).substr(colon + 1), r.endRow, col);
  } else {
    ParseCellReference(upper, r.endRow, col);
  }
  r.endCol = col;
  return r;
}

PageRange ResolveRange(PageRange r, const ReaderWorksheet& sheet) {
  int32_t maxRow = 0, maxCol = 0;
  if (r.endRow < 1 || r.endCol < 1) {
    const ReaderCells cells = sheet.Cells();
    const int32_t count = cells.Count();
    for (int32_t i = 1; i <= count; ++i) {
      const ReaderCell c = cells.Item(i);
      maxRow = std::max(maxRow, c.Row());
      maxCol = std::max(maxCol, c.Column());
    }
  }
  return ResolveRangeWithin(r, maxRow, maxCol);
}

bool AppendPage(clsConcat& page, const clsHTML& settings, const ReaderWorksheet& sheet,
                const PageDecoration& decoration, bool styled) {
  PageWriter w(page, settings, sheet, styled);
  return w.Write(RequestedRange(settings), decoration);
}

}  // namespace gridwell::conv
