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
// then any "workbook*.xml" part is tried. Damaged package relationships fail the read: the
// part they name might not be the one found by guessing.
Status FindWorkbookPart(ZipPackage& pkg, std::string& found) {
  Relationships root;
  std::string error;
  const PartStatus st = root.Load(pkg, "", error);
  if (st == PartStatus::Damaged || st == PartStatus::OverLimit) return Status::Unreadable(error);
  if (const Relationship* r = root.FirstOfType("officeDocument")) {
    if (pkg.Has(r->target)) {
      found = ZipPackage::Normalize(r->target);
      return {};
    }
  }
  // The content types serve only this fallback; a damaged one names nothing.
  ContentTypes types;
  types.Load(pkg);
  for (const std::string& p : types.WorkbookParts()) {
    if (pkg.Has(p)) {
      found = p;
      return {};
    }
  }
  for (const char* guess : {"xl/workbook.xml", "workbook.xml"}) {
    if (pkg.Has(guess)) {
      found = guess;
      return {};
    }
  }
  for (const auto& [name, index] : pkg.Entries()) {
    std::string_view file = name;
    size_t slash = file.rfind('/');
    if (slash != std::string_view::npos) file.remove_prefix(slash + 1);
    if (file.starts_with("workbook") && file.ends_with(".xml") &&
        name.find("_rels") == std::string::npos && (found.empty() || name < found)) {
      found = name;
    }
  }
  return found.empty() ? Status::Unreadable("xlsx: no workbook part") : Status();
}

// What the parts read so far give the sheets: the workbook part and its relationships,
// the shared strings and the styles.
struct PackageContext {
  std::string workbookPart;
  Relationships rels;
  SharedStrings strings;
  StyleMap styles;
};

// A part named by relationship type, or by its usual name beside the workbook part; ""
// when the workbook has none. False with `error` set when the relationships name a part
// that is in the package neither under that name nor the usual one and the part is
// `needed`: the cells' strings or formats would be lost without it.
bool PartOfType(ZipPackage& pkg, const PackageContext& p, std::string_view type,
                std::string_view usualName, bool needed, std::string& part, std::string& error) {
  const Relationship* r = p.rels.FirstOfType(type);
  if (r && pkg.Has(r->target)) {
    part = r->target;
    return true;
  }
  part = std::string(PartFolder(p.workbookPart)) + std::string(usualName);
  if (pkg.Has(part)) return true;
  part.clear();
  if (!r || !needed) return true;
  error = r->target + ": named by " + Relationships::RelsPartName(p.workbookPart) +
          " but not in the package";
  return false;
}

// The theme and the styles (the theme's colours serve the styles). False with `error` set
// when a part is damaged or over a package limit; a missing theme leaves the default
// Office colours, a workbook without styles the default format.
bool ReadLooks(ZipPackage& pkg, model::Workbook& book, PackageContext& p, std::string& error) {
  std::string part, text;
  Theme theme;
  PartOfType(pkg, p, "theme", "theme/theme1.xml", false, part, error);
  if (!part.empty()) {
    if (pkg.Read(part, text, error) != PartStatus::Ok) return false;
    if (!ParseTheme(text, theme, error)) {
      error = part + ": " + error;
      return false;
    }
  }
  p.styles.xfToStyle.assign(1, 0);
  if (!PartOfType(pkg, p, "styles", "styles.xml", true, part, error)) return false;
  if (part.empty()) return true;
  if (pkg.Read(part, text, error) != PartStatus::Ok) return false;
  if (!ParseStyles(text, theme, book, p.styles, error)) {
    error = part + ": " + error;
    return false;
  }
  return true;
}

// The looks, then the shared strings. False with `error` set when a part is damaged,
// missing though named, or over a package limit.
bool ReadSharedParts(ZipPackage& pkg, const ReadLimits& limits, model::Workbook& book,
                     PackageContext& p, std::string& error) {
  if (!ReadLooks(pkg, book, p, error)) return false;
  std::string sstPart;
  if (!PartOfType(pkg, p, "sharedStrings", "sharedStrings.xml", true, sstPart, error)) return false;
  if (sstPart.empty()) return true;
  return ReadSharedStrings(pkg, sstPart, limits.maxStringBytes, book.Strings(), p.strings, error) ==
         PartStatus::Ok;
}

// The worksheet part of the i-th sheet entry; "" when it has none (chart and dialog sheets
// are listed without cells). False with `error` set when the sheet's part cannot be found:
// a sheet shown without its cells would read as an empty sheet.
bool SheetPart(ZipPackage& pkg, const PackageContext& p, const SheetEntry& entry, size_t i,
               std::string& part, std::string& error) {
  part.clear();
  if (const Relationship* r = p.rels.ById(entry.relId)) {
    if (r->type == "chartsheet" || r->type == "dialogsheet") return true;
    part = r->target;
  } else if (p.rels.All().empty()) {
    // Without the workbook's relationships, sheets sit at their usual names.
    part = std::string(PartFolder(p.workbookPart)) + "worksheets/sheet" + std::to_string(i + 1) +
           ".xml";
  } else {
    error = "sheet \"" + entry.name + "\": relationship \"" + entry.relId + "\" is not in " +
            Relationships::RelsPartName(p.workbookPart);
    return false;
  }
  if (pkg.Has(part)) return true;
  error = "sheet \"" + entry.name + "\": its part " + (part.empty() ? "(external)" : part) +
          " is not in the package";
  return false;
}

// A worksheet part and the comments its relationships name. False with `error` set when
// the sheet, its relationships or its comments are damaged, missing though named, or over
// a limit: a sheet read only up to a fault would be shown as if it were whole.
bool ReadSheet(ZipPackage& pkg, const std::string& part, const SheetContext& ctx,
               model::Sheet& sheet, std::string& error) {
  PartStatus st = ReadWorksheet(pkg, part, ctx, sheet, error);
  if (st == PartStatus::OverLimit || st == PartStatus::Damaged) return false;
  Relationships sheetRels;
  st = sheetRels.Load(pkg, part, error);
  if (st == PartStatus::OverLimit || st == PartStatus::Damaged) return false;
  std::string text;
  for (const Relationship& r : sheetRels.All()) {
    if (r.type != "comments" || r.target.empty()) continue;
    st = pkg.Read(r.target, text, error);
    if (st == PartStatus::Missing) {
      error =
          r.target + ": named by " + Relationships::RelsPartName(part) + " but not in the package";
    }
    if (st != PartStatus::Ok) return false;
    if (!ParseComments(text, sheet, error)) {
      error = r.target + ": " + error;
      return false;
    }
  }
  return true;
}

// The workbook part and its relationships.
Status ReadWorkbookPart(ZipPackage& pkg, PackageContext& p, WorkbookInfo& info) {
  Status found = FindWorkbookPart(pkg, p.workbookPart);
  if (!found.Ok()) return found;
  std::string text, error;
  if (pkg.Read(p.workbookPart, text, error) != PartStatus::Ok) {
    return Status::Unreadable(error.empty() ? "xlsx: workbook part unreadable" : error);
  }
  if (!ParseWorkbookPart(text, info, error))
    return Status::Unreadable(p.workbookPart + ": " + error);
  const PartStatus st = p.rels.Load(pkg, p.workbookPart, error);
  if (st == PartStatus::Damaged || st == PartStatus::OverLimit) return Status::Unreadable(error);
  return {};
}

ReadResult ReadPackage(ZipPackage& pkg, const ReadLimits& limits) {
  PackageContext p;
  WorkbookInfo info;
  Status opened = ReadWorkbookPart(pkg, p, info);
  if (!opened.Ok()) return {std::move(opened)};

  auto book = std::make_shared<model::Workbook>();
  book->date1904 = info.date1904;
  book->isProtected = info.isProtected;
  std::string error;
  if (!ReadSharedParts(pkg, limits, *book, p, error)) return Status::Unreadable(error);

  const SheetContext ctx{&p.strings, &p.styles, info.date1904, limits.rowsWithCells};
  std::string part;
  for (size_t i = 0; i < info.sheets.size(); ++i) {
    const SheetEntry& entry = info.sheets[i];
    model::Sheet& sheet = book->AddSheet(entry.name);
    sheet.hidden = entry.hidden;
    sheet.defaultRowHeight = 300;  // 15 points, the height of a row of the default font
    if (i >= limits.sheetsWithCells) continue;
    if (!SheetPart(pkg, p, entry, i, part, error)) return Status::Unreadable(error);
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
