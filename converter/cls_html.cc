#include "converter/cls_html.h"

#include <sys/stat.h>

#include <exception>
#include <new>

#include "converter/cls_concat.h"
#include "converter/page_file.h"
#include "converter/page_writer.h"
#include "reader/base/ascii.h"
#include "reader/reader.h"

namespace gridwell {

namespace {

bool IsOrdinaryFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

void clsHTML::CreateHtmlFile(const std::string& HTMLfile, const std::string& Heading,
                             const std::string& Title, const std::string& BackgroundColor,
                             const std::string& BackgroundImageFile, const std::string& TableColor,
                             const std::string& TableImageFile) {
  Convert(HTMLfile,
          {Heading, Title, BackgroundColor, BackgroundImageFile, TableColor, TableImageFile},
          false);
}

void clsHTML::CreateStyledHtmlFile(const std::string& HTMLfile, const std::string& Heading,
                                   const std::string& Title, const std::string& BackgroundColor,
                                   const std::string& BackgroundImageFile,
                                   const std::string& TableColor,
                                   const std::string& TableImageFile) {
  Convert(HTMLfile,
          {Heading, Title, BackgroundColor, BackgroundImageFile, TableColor, TableImageFile}, true);
}

void clsHTML::Stop(ConvertStop why, std::string detail) {
  lastStop_ = why;
  lastStopDetail_ = std::move(detail);
}

void clsHTML::Convert(const std::string& HTMLfile, const conv::PageDecoration& decoration,
                      bool styled) {
  lastStop_ = ConvertStop::None;
  lastStopDetail_.clear();
  lastWarnings_.clear();
  unshownConditionalRules_ = 0;
  conv::PageFile out;
  try {
    ConvertTo(HTMLfile, decoration, styled, out);
  } catch (const std::bad_alloc&) {
    // The unfinished page is removed with `out`; a page that was there stays.
    Stop(ConvertStop::OutOfMemory, "out of memory converting " + ExcelFile);
  } catch (const std::exception& e) {
    Stop(ConvertStop::PendingError, std::string("conversion failed: ") + e.what());
  }
}

void clsHTML::ConvertTo(const std::string& HTMLfile, const conv::PageDecoration& decoration,
                        bool styled, conv::PageFile& out) {
  if (!CheckWorkbookPath()) return;
  ReaderWorkbook book = OpenWorkbook();
  if (!book) return;
  // A failure to list the sheets is remembered and stops the call once the output file is
  // open.
  const std::string pendingWhy = ReadSheetNames(book);
  ReaderWorksheet sheet = ChooseSheet(book);
  if (!sheet) return;
  if (SheetLook != kFalse) unshownConditionalRules_ = sheet.UnevaluatedConditionalRules();

  // The output file: a new file beside the target, which replaces it once the page is
  // complete. A page may never replace the workbook it is made from.
  std::string why;
  if (conv::SameFile(HTMLfile, ExcelFile)) {
    Stop(ConvertStop::OutputNotWritable, HTMLfile + ": is the workbook itself");
    return;
  }
  if (!out.Open(HTMLfile, why)) {
    Stop(ConvertStop::OutputNotWritable, why);
    return;
  }
  if (!pendingWhy.empty()) {
    Stop(ConvertStop::PendingError, pendingWhy);
    return;
  }

  // The page, gathered whole and written in one piece.
  std::string text;
  {
    clsConcat page;
    if (!conv::AppendPage(page, *this, sheet, decoration, styled, {}, &why)) {
      Stop(ConvertStop::OutputNotWritable, HTMLfile + ": " + why);
      return;
    }
    text = page.GetString();
  }
  if (!out.Write(text, why) || !out.Commit(why)) Stop(ConvertStop::OutputNotWritable, why);
}

bool clsHTML::CheckWorkbookPath() {
  if (conv::TrimSpaces(ExcelFile).empty()) {
    Stop(ConvertStop::NoWorkbookPath, "no workbook path");
    return false;
  }
  if (!base::EndsWithNoCase(ExcelFile, ".xls") && !base::EndsWithNoCase(ExcelFile, ".xlsx")) {
    Stop(ConvertStop::WrongExtension, "not an .xls or .xlsx file: " + ExcelFile);
    return false;
  }
  if (!IsOrdinaryFile(ExcelFile)) {
    Stop(ConvertStop::MissingFile, "no such file: " + ExcelFile);
    return false;
  }
  return true;
}

ReaderWorkbook clsHTML::OpenWorkbook() {
  ReaderApplication app;
  WorkbookLoader& loader = app.Workbooks();
  const int protection = loader.IsPasswordProtected(ExcelFile);
  if (protection == -1) {
    Stop(ConvertStop::Unreadable, "not a readable workbook: " + ExcelFile);
    return {};
  }
  if (protection != 0) {
    loader.OpenWithPassword(ExcelFile, Password);
  } else {
    loader.Open(ExcelFile);
  }
  ReaderWorkbook book = loader.Workbook();
  if (book && book.IsProtected()) book.Unprotect();
  if (book) lastWarnings_ = book.Warnings();
  if (!book) {
    const Status& st = loader.LastStatus();
    Stop(st.IsPasswordFailure() ? ConvertStop::WrongPassword : ConvertStop::Unreadable,
         st.Detail().empty() ? "cannot read " + ExcelFile : st.Detail());
  }
  return book;
}

std::string clsHTML::ReadSheetNames(const ReaderWorkbook& book) {
  try {
    const ReaderWorksheets sheets = book.Worksheets();
    sheetTotal_ = sheets.Count();
    std::vector<std::string> names;
    names.reserve(static_cast<size_t>(sheetTotal_));
    for (int32_t i = 1; i <= sheetTotal_; ++i) names.emplace_back(sheets.Item(i).Name());
    sheetNames_ = std::move(names);
  } catch (const std::exception& e) {
    return std::string("reading the sheet list failed: ") + e.what();
  }
  return {};
}

ReaderWorksheet clsHTML::ChooseSheet(const ReaderWorkbook& book) {
  ReaderWorksheet sheet =
      Worksheetnum >= 1 ? book.Worksheets().Item(Worksheetnum) : book.WorksheetByName(Worksheet);
  if (sheet && sheet.IsProtected()) sheet.Unprotect();
  if (!sheet) {
    Stop(ConvertStop::NoSuchSheet, Worksheetnum >= 1
                                       ? "no sheet number " + std::to_string(Worksheetnum)
                                       : "no sheet named \"" + Worksheet + "\"");
  }
  return sheet;
}

}  // namespace gridwell
