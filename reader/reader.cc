#include "reader/reader.h"

#include <fstream>
#include <vector>

#include "reader/base/date_serial.h"
#include "reader/numfmt/numfmt.h"
#include "reader/xls/xls_reader.h"
#include "reader/xlsx/xlsx_reader.h"

namespace gridwell {

namespace {

// Dates handed out are always in the 1900 system.
constexpr double k1904Offset = static_cast<double>(base::k1904Offset);

numfmt::FormatCache& Formats() {
  thread_local numfmt::FormatCache cache;
  return cache;
}

bool ReadHead(const std::string& path, std::vector<uint8_t>& head) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  head.resize(8);
  in.read(reinterpret_cast<char*>(head.data()), 8);
  head.resize(static_cast<size_t>(in.gcount()));
  return true;
}

}  // namespace

std::string_view ErrorText(ErrorCode code) {
  switch (code) {
    case ErrorCode::Null:
      return "#NULL!";
    case ErrorCode::Div0:
      return "#DIV/0!";
    case ErrorCode::Value:
      return "#VALUE!";
    case ErrorCode::Ref:
      return "#REF!";
    case ErrorCode::Name:
      return "#NAME?";
    case ErrorCode::Num:
      return "#NUM!";
    case ErrorCode::NA:
      return "#N/A";
    case ErrorCode::GettingData:
      return "#GETTING_DATA";
  }
  return "#N/A";
}

bool ParseErrorText(std::string_view text, ErrorCode& code) {
  static constexpr ErrorCode all[] = {ErrorCode::Null, ErrorCode::Div0,       ErrorCode::Value,
                                      ErrorCode::Ref,  ErrorCode::Name,       ErrorCode::Num,
                                      ErrorCode::NA,   ErrorCode::GettingData};
  for (ErrorCode c : all) {
    if (ErrorText(c) == text) {
      code = c;
      return true;
    }
  }
  return false;
}

// ---- CellFormat ----

const model::CellStyle& CellFormat::DefaultStyle() {
  static const model::CellStyle s;
  return s;
}
const model::Font& CellFormat::DefaultFont() {
  static const model::Font f;
  return f;
}
std::string_view CellFormat::NumberFormat() const {
  return book_ ? book_->NumberFormatCode(Style().numFmtId) : std::string_view("General");
}
int32_t CellFormat::BorderLineStyle(int side) const {
  return side >= 0 && side < 4 ? Style().borderStyle[side] : 0;
}
uint32_t CellFormat::BorderColor(int side) const {
  return side >= 0 && side < 4 ? Style().borderColor[side] : 0;
}

// ---- ReaderCell ----

ReaderCell::ReaderCell(const model::Sheet* sheet, uint32_t index)
    : CellFormat(&sheet->Book(), sheet->Cells().At(index).style), sheet_(sheet), index_(index) {}

int32_t ReaderCell::Row() const {
  return sheet_ ? static_cast<int32_t>(sheet_->Cells().At(index_).row) : 0;
}
int32_t ReaderCell::Column() const {
  return sheet_ ? sheet_->Cells().At(index_).col : 0;
}

CellValue ReaderCell::Value() const {
  if (!sheet_) return {};
  const model::CellRecord& r = sheet_->Cells().At(index_);
  const model::Workbook& book = sheet_->Book();
  switch (r.kind) {
    case model::StoredKind::Empty:
      return {};
    case model::StoredKind::Number:
      if (book.IsDateStyle(r.style)) {
        return CellValue::Date(r.Number() + (book.date1904 ? k1904Offset : 0));
      }
      return CellValue::Number(r.Number());
    case model::StoredKind::Date:
      return CellValue::Date(r.Number() + (book.date1904 ? k1904Offset : 0));
    case model::StoredKind::String:
      return CellValue::String(book.Strings().Get(r.payload[0]));
    case model::StoredKind::Boolean:
      return CellValue::Bool(r.payload[0] != 0);
    case model::StoredKind::Error:
      return CellValue::Error(static_cast<ErrorCode>(r.payload[0] & 0xFF));
  }
  return {};
}

std::string_view ReaderCell::Formula() const {
  if (!sheet_) return {};
  if (!(sheet_->Cells().At(index_).flags & model::CellRecord::kHasFormula)) return {};
  return sheet_->Formula(index_);
}

int64_t ReaderCell::AppendText(std::string& out) const {
  if (!sheet_) return -1;
  const model::CellRecord& r = sheet_->Cells().At(index_);
  const model::Workbook& book = sheet_->Book();
  switch (r.kind) {
    case model::StoredKind::Empty:
      return -1;
    case model::StoredKind::Number:
    case model::StoredKind::Date: {
      const numfmt::Format& f = Formats().Get(NumberFormat());
      return numfmt::FormatNumber(r.Number(), f, out, numfmt::RegionalSettings::EnglishUS(),
                                  book.date1904);
    }
    case model::StoredKind::String: {
      const std::string_view text = book.Strings().Get(r.payload[0]);
      const std::string_view code = NumberFormat();
      if (code == "General") {  // no text section: the text as it stands
        out.append(text);
        return -1;
      }
      return numfmt::FormatText(text, Formats().Get(code), out);
    }
    case model::StoredKind::Boolean:
      out.append(r.payload[0] ? "TRUE" : "FALSE");
      return -1;
    case model::StoredKind::Error:
      out.append(ErrorText(static_cast<ErrorCode>(r.payload[0] & 0xFF)));
      return -1;
  }
  return -1;
}

int64_t ReaderCell::TextColor() const {
  if (!sheet_) return -1;
  const model::CellRecord& r = sheet_->Cells().At(index_);
  const bool number = r.kind == model::StoredKind::Number || r.kind == model::StoredKind::Date;
  if (!number && r.kind != model::StoredKind::String) return -1;
  const std::string_view code = NumberFormat();
  if (code.find('[') == std::string_view::npos) return -1;  // colours are bracketed names
  const numfmt::Format& f = Formats().Get(code);
  return number ? numfmt::NumberColor(r.Number(), f) : numfmt::TextColor(f);
}

std::string ReaderCell::Text() const {
  std::string s;
  AppendText(s);
  return s;
}

// ---- collections ----

int32_t ReaderCells::Count() const {
  return sheet_ ? static_cast<int32_t>(sheet_->Cells().Count()) : 0;
}
ReaderCell ReaderCells::Item(int32_t i) const {
  if (!sheet_ || i < 1 || static_cast<size_t>(i) > sheet_->Cells().Count()) return {};
  return ReaderCell(sheet_, static_cast<uint32_t>(i - 1));
}
ReaderCell ReaderCells::Cell(int32_t row, int32_t col) const {
  if (!sheet_ || row < 1 || col < 1) return {};
  int64_t i = sheet_->Cells().Find(static_cast<uint32_t>(row), static_cast<uint32_t>(col));
  if (i < 0) return {};
  return ReaderCell(sheet_, static_cast<uint32_t>(i));
}

double ReaderColumn::Width() const {
  return sheet_ ? sheet_->ColumnWidth(col_) : 0;
}
ReaderColumn ReaderColumns::Item(int32_t col) const {
  if (!sheet_ || col < 1 || col > model::kMaxColumns) return ReaderColumn(nullptr, 0);
  return ReaderColumn(sheet_, col);
}
double ReaderRow::Height() const {
  return sheet_ ? sheet_->RowHeight(row_) : 0;
}
ReaderRow ReaderRows::Item(int32_t row) const {
  if (!sheet_ || row < 1 || row > model::kMaxRows) return ReaderRow(nullptr, 0);
  return ReaderRow(sheet_, row);
}
ReaderComment ReaderComments::Item(int32_t row, int32_t col) const {
  return ReaderComment(sheet_ ? sheet_->Comment(row, col) : std::string_view{});
}

// ---- sheets and workbook ----

const model::Sheet* ReaderWorksheet::Sheet() const {
  if (!book_ || index_ < 0 || static_cast<size_t>(index_) >= book_->SheetCount()) return nullptr;
  return &book_->SheetAt(static_cast<size_t>(index_));
}
std::string_view ReaderWorksheet::Name() const {
  const model::Sheet* s = Sheet();
  return s ? std::string_view(s->Name()) : std::string_view{};
}
bool ReaderWorksheet::IsProtected() const {
  const model::Sheet* s = Sheet();
  return s && s->isProtected;
}
void ReaderWorksheet::Unprotect() {
  if (Sheet()) book_->SheetAt(static_cast<size_t>(index_)).isProtected = false;
}
bool ReaderWorksheet::IsHidden() const {
  const model::Sheet* s = Sheet();
  return s && s->hidden;
}

bool ReaderWorksheet::ShowsGridlines() const {
  const model::Sheet* s = Sheet();
  return !s || s->Layout().showGridlines;
}
bool ReaderWorksheet::RowHidden(int32_t row) const {
  const model::Sheet* s = Sheet();
  return s && s->Layout().RowHidden(row);
}
bool ReaderWorksheet::ColumnHidden(int32_t col) const {
  const model::Sheet* s = Sheet();
  return s && s->Layout().ColumnHidden(col);
}
const model::CellArea* ReaderWorksheet::MergedArea(int32_t row, int32_t col) const {
  const model::Sheet* s = Sheet();
  return s ? s->Layout().MergeAt(row, col) : nullptr;
}
std::span<const model::CellArea> ReaderWorksheet::MergedAreas() const {
  const model::Sheet* s = Sheet();
  if (!s) return {};
  return s->Layout().Merges();
}
std::optional<CellFormat> ReaderWorksheet::PositionFormat(int32_t row, int32_t col) const {
  const model::Sheet* s = Sheet();
  if (!s) return std::nullopt;
  int64_t style = s->Layout().RowStyle(row);
  if (style < 0) style = s->Layout().ColumnStyle(col);
  if (style < 0) return std::nullopt;
  return CellFormat(book_.get(), static_cast<uint32_t>(style));
}
std::optional<CellFormat> ReaderWorksheet::MergedEdgeFormat(const model::CellArea& area,
                                                            int side) const {
  const int32_t row = side == model::kBottom ? area.lastRow : area.firstRow;
  const int32_t col = side == model::kRight ? area.lastCol : area.firstCol;
  if (const ReaderCell cell = Cells().Cell(row, col)) return CellFormat(cell);
  return PositionFormat(row, col);
}
const model::ConditionalLook* ReaderWorksheet::ConditionalLookAt(int32_t row, int32_t col) const {
  const model::Sheet* s = Sheet();
  return s ? s->Conditional().LookAt(row, col) : nullptr;
}
int32_t ReaderWorksheet::UnevaluatedConditionalRules() const {
  const model::Sheet* s = Sheet();
  return s ? s->Conditional().UnevaluatedRules() : 0;
}

int32_t ReaderWorksheets::Count() const {
  return book_ ? static_cast<int32_t>(book_->SheetCount()) : 0;
}
ReaderWorksheet ReaderWorksheets::Item(int32_t n) const {
  if (!book_ || n < 1 || static_cast<size_t>(n) > book_->SheetCount()) return {};
  return ReaderWorksheet(book_, n - 1);
}

ReaderWorksheet ReaderWorkbook::WorksheetByName(std::string_view name) const {
  if (!book_) return {};
  int64_t i = book_->FindSheet(name);
  if (i < 0) return {};
  return ReaderWorksheet(book_, static_cast<int32_t>(i));
}

// ---- loading ----

ReadResult ReadWorkbookFile(const std::string& path, const std::string* password,
                            const ReadLimits& limits) {
  return GuardMemory([&]() -> ReadResult {
    std::vector<uint8_t> head;
    if (!ReadHead(path, head)) return {Status::Unreadable("cannot open " + path)};
    if (xlsx::LooksLikeZip(head)) return xlsx::ReadFile(path, limits);
    if (xls::LooksLikeCompoundFile(head)) return xls::ReadFile(path, password, limits);
    return {Status::Unreadable("not a workbook: " + path)};
  });
}

int WorkbookLoader::IsPasswordProtected(const std::string& path) {
  std::vector<uint8_t> head;
  try {
    if (!ReadHead(path, head)) return -1;
  } catch (const std::bad_alloc&) {
    return -1;
  }
  if (xlsx::LooksLikeZip(head)) return 0;
  if (xls::LooksLikeCompoundFile(head)) return xls::ProbeProtection(path);
  return -1;
}

bool WorkbookLoader::IsNotAWorkbook(const std::string& path) {
  std::vector<uint8_t> head;
  try {
    if (!ReadHead(path, head)) return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
  return !xlsx::LooksLikeZip(head) && !xls::LooksLikeCompoundFile(head);
}

bool WorkbookLoader::Load(const std::string& path, const std::string* password) {
  workbook_ = ReaderWorkbook();  // the old workbook's memory is free for the new one
  ReadResult r = ReadWorkbookFile(path, password);
  status_ = std::move(r.status);
  if (status_.Ok()) workbook_ = ReaderWorkbook(std::move(r.workbook));
  return static_cast<bool>(workbook_);
}

bool WorkbookLoader::Open(const std::string& path) {
  return Load(path, nullptr);
}
bool WorkbookLoader::OpenWithPassword(const std::string& path, const std::string& password) {
  return Load(path, &password);
}

}  // namespace gridwell
