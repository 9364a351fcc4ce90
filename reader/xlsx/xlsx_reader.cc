// Reads an .xlsx package: finds the workbook part through the package relationships,
// then the theme, styles and shared strings, then each worksheet with its comments.
#include "reader/xlsx/xlsx_reader.h"

#include <algorithm>

#include "reader/xlsx/comments.h"
#include "reader/xlsx/content_types.h"
#include "reader/xlsx/relationships.h"
#include "reader/xlsx/shared_strings.h"
#include "reader/xlsx/styles.h"
#include "reader/xlsx/theme.h"
#include "reader/xlsx/workbook.h"
#include "reader/xlsx/worksheet.h"
#include "reader/xlsx/zip_package.h"

namespace gridwell::xlsx {

namespace {

// The workbook part: named by the package relationships, else by the content types,
// else found by its usual names. Some writers name a part that is not in the package;
// then any "workbook*.xml" part is tried.
std::string FindWorkbookPart(ZipPackage& pkg) {
  Relationships root;
  root.Load(pkg, "");
  if (const Relationship* r = root.FirstOfType("officeDocument")) {
    if (pkg.Has(r->target)) return ZipPackage::Normalize(r->target);
  }
  ContentTypes types;
  types.Load(pkg);
  for (const std::string& p : types.WorkbookParts()) {
    if (pkg.Has(p)) return p;
  }
  for (const char* guess : {"xl/workbook.xml", "workbook.xml"}) {
    if (pkg.Has(guess)) return guess;
  }
  std::string best;
  for (const auto& [name, index] : pkg.Entries()) {
    std::string_view file = name;
    size_t slash = file.rfind('/');
    if (slash != std::string_view::npos) file.remove_prefix(slash + 1);
    if (file.starts_with("workbook") && file.ends_with(".xml") &&
        name.find("_rels") == std::string::npos && (best.empty() || name < best)) {
      best = name;
    }
  }
  return best;
}

// A part named by relationship type, or by its usual name beside the workbook part.
std::string PartOfType(ZipPackage& pkg, const Relationships& rels, std::string_view type,
                       std::string_view workbookPart, std::string_view usualName) {
  if (const Relationship* r = rels.FirstOfType(type)) {
    if (pkg.Has(r->target)) return r->target;
  }
  std::string guess = std::string(PartFolder(workbookPart)) + std::string(usualName);
  return pkg.Has(guess) ? guess : std::string();
}

ReadResult ReadPackage(ZipPackage& pkg, const ReadLimits& limits) {
  std::string error;
  std::string workbookPart = FindWorkbookPart(pkg);
  if (workbookPart.empty())
    return ReadResult::Fail(ReadStatus::Unreadable, "xlsx: no workbook part");

  std::string text;
  PartStatus st = pkg.Read(workbookPart, text, error);
  if (st != PartStatus::Ok) {
    return ReadResult::Fail(ReadStatus::Unreadable,
                            error.empty() ? "xlsx: workbook part unreadable" : error);
  }
  WorkbookInfo info;
  if (!ParseWorkbookPart(text, info, error)) return ReadResult::Fail(ReadStatus::Unreadable, error);

  auto book = std::make_shared<model::Workbook>();
  book->date1904 = info.date1904;
  book->isProtected = info.isProtected;

  Relationships rels;
  rels.Load(pkg, workbookPart);

  Theme theme;
  std::string themePart = PartOfType(pkg, rels, "theme", workbookPart, "theme/theme1.xml");
  if (!themePart.empty()) {
    st = pkg.Read(themePart, text, error);
    if (st == PartStatus::OverLimit) return ReadResult::Fail(ReadStatus::Unreadable, error);
    if (st == PartStatus::Ok) ParseTheme(text, theme);
  }

  StyleMap styles;
  styles.xfToStyle.assign(1, 0);
  std::string stylesPart = PartOfType(pkg, rels, "styles", workbookPart, "styles.xml");
  if (!stylesPart.empty()) {
    st = pkg.Read(stylesPart, text, error);
    if (st == PartStatus::OverLimit) return ReadResult::Fail(ReadStatus::Unreadable, error);
    if (st == PartStatus::Ok) ParseStyles(text, theme, *book, styles);
  }
  text.clear();
  text.shrink_to_fit();

  SharedStrings strings;
  std::string sstPart = PartOfType(pkg, rels, "sharedStrings", workbookPart, "sharedStrings.xml");
  if (!sstPart.empty()) {
    st = ReadSharedStrings(pkg, sstPart, limits.maxStringBytes, book->Strings(), strings, error);
    if (st == PartStatus::OverLimit) return ReadResult::Fail(ReadStatus::Unreadable, error);
  }

  SheetContext ctx{&strings, &styles, info.date1904};
  for (size_t i = 0; i < info.sheets.size(); ++i) {
    const SheetEntry& entry = info.sheets[i];
    model::Sheet& sheet = book->AddSheet(entry.name);
    sheet.hidden = entry.hidden;
    sheet.defaultRowHeight = 300;  // 15 points, the height of a row of the default font

    std::string part;
    if (const Relationship* r = rels.ById(entry.relId)) {
      if (r->type == "chartsheet" || r->type == "dialogsheet") continue;  // listed, no cells
      part = r->target;
    } else if (rels.All().empty()) {
      // Without the workbook's relationships, sheets sit at their usual names.
      part = std::string(PartFolder(workbookPart)) + "worksheets/sheet" + std::to_string(i + 1) +
             ".xml";
    }
    if (part.empty() || !pkg.Has(part)) continue;
    st = ReadWorksheet(pkg, part, ctx, sheet, error);
    // A sheet read only up to a fault would be shown as if it were whole.
    if (st == PartStatus::OverLimit || st == PartStatus::Damaged) {
      return ReadResult::Fail(ReadStatus::Unreadable, error);
    }

    Relationships sheetRels;
    sheetRels.Load(pkg, part);
    for (const Relationship& r : sheetRels.All()) {
      if (r.type != "comments" || r.target.empty()) continue;
      st = pkg.Read(r.target, text, error);
      if (st == PartStatus::OverLimit) return ReadResult::Fail(ReadStatus::Unreadable, error);
      if (st == PartStatus::Ok) ParseComments(text, sheet);
    }
  }
  book->Finish();
  return ReadResult{ReadStatus::Ok, std::move(book), {}};
}

}  // namespace

bool LooksLikeZip(std::span<const uint8_t> head) {
  return head.size() >= 4 && head[0] == 'P' && head[1] == 'K' && head[2] == 3 && head[3] == 4;
}

ReadResult ReadFile(const std::string& path, const ReadLimits& limits) {
  ZipPackage pkg(limits);
  std::string error;
  if (!pkg.OpenFile(path, error)) return ReadResult::Fail(ReadStatus::Unreadable, error);
  return ReadPackage(pkg, limits);
}

ReadResult ReadMemory(std::span<const uint8_t> bytes, const ReadLimits& limits) {
  ZipPackage pkg(limits);
  std::string error;
  if (!pkg.OpenMemory(bytes, error)) return ReadResult::Fail(ReadStatus::Unreadable, error);
  return ReadPackage(pkg, limits);
}

}  // namespace gridwell::xlsx
