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

// What the parts read so far give the sheets: the workbook part and its relationships,
// the shared strings and the styles.
struct PackageContext {
  std::string workbookPart;
  Relationships rels;
  SharedStrings strings;
  StyleMap styles;
};

// The theme and the styles (the theme's colours serve the styles), then the shared
// strings. False with `error` set when a part is over a package limit.
bool ReadSharedParts(ZipPackage& pkg, const ReadLimits& limits, model::Workbook& book,
                     PackageContext& p, std::string& error) {
  std::string text;
  Theme theme;
  std::string themePart = PartOfType(pkg, p.rels, "theme", p.workbookPart, "theme/theme1.xml");
  if (!themePart.empty()) {
    PartStatus st = pkg.Read(themePart, text, error);
    if (st == PartStatus::OverLimit) return false;
    if (st == PartStatus::Ok) ParseTheme(text, theme);
  }
  p.styles.xfToStyle.assign(1, 0);
  std::string stylesPart = PartOfType(pkg, p.rels, "styles", p.workbookPart, "styles.xml");
  if (!stylesPart.empty()) {
    PartStatus st = pkg.Read(stylesPart, text, error);
    if (st == PartStatus::OverLimit) return false;
    if (st == PartStatus::Ok) ParseStyles(text, theme, book, p.styles);
  }
  std::string sstPart =
      PartOfType(pkg, p.rels, "sharedStrings", p.workbookPart, "sharedStrings.xml");
  if (sstPart.empty()) return true;
  return ReadSharedStrings(pkg, sstPart, limits.maxStringBytes, book.Strings(), p.strings, error) !=
         PartStatus::OverLimit;
}

// The worksheet part of the i-th sheet entry; "" when it has none (chart and dialog sheets
// are listed without cells).
std::string SheetPart(ZipPackage& pkg, const PackageContext& p, const SheetEntry& entry, size_t i) {
  std::string part;
  if (const Relationship* r = p.rels.ById(entry.relId)) {
    if (r->type == "chartsheet" || r->type == "dialogsheet") return {};
    part = r->target;
  } else if (p.rels.All().empty()) {
    // Without the workbook's relationships, sheets sit at their usual names.
    part = std::string(PartFolder(p.workbookPart)) + "worksheets/sheet" + std::to_string(i + 1) +
           ".xml";
  }
  return pkg.Has(part) ? part : std::string();
}

// A worksheet part and the comments its relationships name. False with `error` set when
// the sheet is damaged or over a limit: a sheet read only up to a fault would be shown as
// if it were whole.
bool ReadSheet(ZipPackage& pkg, const std::string& part, const SheetContext& ctx,
               model::Sheet& sheet, std::string& error) {
  PartStatus st = ReadWorksheet(pkg, part, ctx, sheet, error);
  if (st == PartStatus::OverLimit || st == PartStatus::Damaged) return false;
  Relationships sheetRels;
  sheetRels.Load(pkg, part);
  std::string text;
  for (const Relationship& r : sheetRels.All()) {
    if (r.type != "comments" || r.target.empty()) continue;
    st = pkg.Read(r.target, text, error);
    if (st == PartStatus::OverLimit) return false;
    if (st == PartStatus::Ok) ParseComments(text, sheet);
  }
  return true;
}

ReadResult ReadPackage(ZipPackage& pkg, const ReadLimits& limits) {
  PackageContext p;
  p.workbookPart = FindWorkbookPart(pkg);
  if (p.workbookPart.empty()) return Status::Unreadable("xlsx: no workbook part");
  std::string text, error;
  if (pkg.Read(p.workbookPart, text, error) != PartStatus::Ok) {
    return Status::Unreadable(error.empty() ? "xlsx: workbook part unreadable" : error);
  }
  WorkbookInfo info;
  if (!ParseWorkbookPart(text, info, error)) return Status::Unreadable(error);
  std::string().swap(text);

  auto book = std::make_shared<model::Workbook>();
  book->date1904 = info.date1904;
  book->isProtected = info.isProtected;
  p.rels.Load(pkg, p.workbookPart);
  if (!ReadSharedParts(pkg, limits, *book, p, error)) return Status::Unreadable(error);

  const SheetContext ctx{&p.strings, &p.styles, info.date1904, limits.rowsWithCells};
  for (size_t i = 0; i < info.sheets.size(); ++i) {
    const SheetEntry& entry = info.sheets[i];
    model::Sheet& sheet = book->AddSheet(entry.name);
    sheet.hidden = entry.hidden;
    sheet.defaultRowHeight = 300;  // 15 points, the height of a row of the default font
    if (i >= limits.sheetsWithCells) continue;
    const std::string part = SheetPart(pkg, p, entry, i);
    if (!part.empty() && !ReadSheet(pkg, part, ctx, sheet, error)) {
      return Status::Unreadable(error);
    }
  }
  book->Finish();
  return {Status(), std::move(book)};
}

}  // namespace

bool LooksLikeZip(std::span<const uint8_t> head) {
  return head.size() >= 4 && head[0] == 'P' && head[1] == 'K' && head[2] == 3 && head[3] == 4;
}

ReadResult ReadFile(const std::string& path, const ReadLimits& limits) {
  return GuardMemory([&]() -> ReadResult {
    ZipPackage pkg(limits);
    Status opened = pkg.OpenFile(path);
    if (!opened.Ok()) return {std::move(opened)};
    return ReadPackage(pkg, limits);
  });
}

ReadResult ReadMemory(std::span<const uint8_t> bytes, const ReadLimits& limits) {
  return GuardMemory([&]() -> ReadResult {
    ZipPackage pkg(limits);
    Status opened = pkg.OpenMemory(bytes);
    if (!opened.Ok()) return {std::move(opened)};
    return ReadPackage(pkg, limits);
  });
}

}  // namespace gridwell::xlsx
