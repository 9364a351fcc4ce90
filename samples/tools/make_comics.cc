// Writes the demo's sample workbook, a small comics catalogue, as .xlsx with libxlsxwriter.
// make-samples.sh turns it into .xls with Gnumeric and encrypts a copy.
//
// The content is chosen to show what the viewer does with real workbooks: built-in and custom
// number formats (currency, percent, dates, times, fractions, scientific, text), formulas with
// cached results, comments, web and e-mail addresses, font colours, fills, borders, bold,
// italic, strike-through, superscript and wrapped text, over five sheets.
#include <xlsxwriter.h>

#include <cstdio>
#include <string>
#include <vector>

#include "reader/base/date_serial.h"

namespace {

struct Issue {
  int number;
  const char* title;
  const char* series;
  const char* publisher;
  lxw_datetime released;
  double cover;
  double guide;
  double grade;
  double printRun;
  bool inStock;
  const char* notes;
};

const std::vector<Issue>& Issues() {
  static const std::vector<Issue> issues = {
      {1,
       "The Brass Lantern",
       "Brass Lantern",
       "Harbour Light Press",
       {1978, 3, 14, 0, 0, 0},
       0.35,
       410.00,
       8.5,
       120000,
       true,
       "First appearance of the Lantern and of Captain Vey."},
      {2,
       "Smoke over Quayside",
       "Brass Lantern",
       "Harbour Light Press",
       {1978, 4, 11, 0, 0, 0},
       0.35,
       95.50,
       7.0,
       98000,
       true,
       "Cover by the series' regular painter."},
      {3,
       "Moonlit Couriers",
       "Moonlit Couriers",
       "Northgate Comics",
       {1981, 9, 2, 0, 0, 0},
       0.60,
       62.00,
       9.2,
       75000,
       false,
       "Sold out; a reprint followed in 1982."},
      {4,
       "Couriers in Winter",
       "Moonlit Couriers",
       "Northgate Comics",
       {1981, 12, 1, 0, 0, 0},
       0.60,
       18.75,
       6.5,
       70500,
       true,
       ""},
      {5,
       "Ironbark Rangers",
       "Ironbark",
       "Tallow & Finch",
       {1984, 6, 20, 0, 0, 0},
       0.75,
       44.00,
       8.0,
       64000,
       true,
       "Gatefold cover, poster inside."},
      {6,
       "The Glass Orchard",
       "Ironbark",
       "Tallow & Finch",
       {1985, 2, 5, 0, 0, 0},
       0.75,
       12.00,
       5.5,
       52000,
       true,
       "Water damage on the back cover."},
      {7,
       "Starling Nine",
       "Starling",
       "Northgate Comics",
       {1988, 10, 18, 0, 0, 0},
       1.00,
       150.00,
       9.4,
       41000,
       true,
       "Signed by the writer at a 1989 signing."},
      {8,
       "Starling Nine Returns",
       "Starling",
       "Northgate Comics",
       {1990, 1, 9, 0, 0, 0},
       1.25,
       9.99,
       8.0,
       88000,
       true,
       ""},
      {9,
       "Quorin Tide",
       "Tidewater",
       "Harbour Light Press",
       {1993, 7, 27, 0, 0, 0},
       1.95,
       7.50,
       9.0,
       230000,
       true,
       "Foil variant; the common cover is worth less."},
      {10,
       "Paper Dragons",
       "Paper Dragons",
       "Kestrel House",
       {1996, 11, 12, 0, 0, 0},
       2.25,
       31.00,
       9.6,
       33000,
       false,
       "Graded copy in a sealed case."},
      {11,
       "Paper Dragons Annual",
       "Paper Dragons",
       "Kestrel House",
       {1997, 8, 1, 0, 0, 0},
       3.95,
       3.50,
       7.5,
       29000,
       true,
       "Worth less than its cover price."},
      {12,
       "Nightjar & Wren",
       "Nightjar",
       "Kestrel House",
       {2003, 5, 14, 0, 0, 0},
       2.99,
       5.00,
       9.8,
       41500,
       true,
       ""},
      {13,
       "The Last Ferry",
       "Nightjar",
       "Kestrel House",
       {2004, 3, 3, 0, 0, 0},
       2.99,
       2.25,
       8.5,
       39000,
       true,
       "Newsstand edition."},
      {14,
       "Copperline",
       "Copperline",
       "Tallow & Finch",
       {2011, 9, 7, 0, 0, 0},
       3.99,
       24.00,
       9.8,
       18000,
       true,
       "Second printing sold out within a week."},
      {15,
       "Copperline: Sparks",
       "Copperline",
       "Tallow & Finch",
       {2012, 2, 15, 0, 0, 0},
       3.99,
       4.00,
       9.4,
       16500,
       true,
       ""},
      {16,
       "Harbour Lights 100",
       "Brass Lantern",
       "Harbour Light Press",
       {2019, 6, 26, 0, 0, 0},
       9.99,
       14.00,
       9.9,
       12000,
       true,
       "Anniversary issue, 100 pages."},
  };
  return issues;
}

struct Formats {
  lxw_format* title;
  lxw_format* subtitle;
  lxw_format* header;
  lxw_format* text;
  lxw_format* textBold;
  lxw_format* textStruck;
  lxw_format* number;
  lxw_format* date;
  lxw_format* currency;
  lxw_format* currencyBold;
  lxw_format* percent;
  lxw_format* percentRedNeg;
  lxw_format* grade;
  lxw_format* thousands;
  lxw_format* boolean;
  lxw_format* notes;
  lxw_format* totalLabel;
  lxw_format* totalCurrency;
  lxw_format* totalNumber;
  lxw_format* totalCount;
  lxw_format* totalPercent;
  lxw_format* link;
  lxw_format* monthYear;
  lxw_format* redNegatives;
  lxw_format* scientific;
  lxw_format* fraction;
  lxw_format* twoDecimals;
  lxw_format* timeAmPm;
  lxw_format* duration;
  lxw_format* dateTime;
  lxw_format* minutesSeconds;
  lxw_format* textFormat;
  lxw_format* superscript;
  lxw_format* subscript;
  lxw_format* centered;
  lxw_format* indented;
  lxw_format* highlight;
};

lxw_format* Bordered(lxw_workbook* wb) {
  lxw_format* f = workbook_add_format(wb);
  format_set_border(f, LXW_BORDER_THIN);
  format_set_border_color(f, 0x8EA9C1);
  format_set_font_name(f, "Arial");
  format_set_font_size(f, 10);
  format_set_align(f, LXW_ALIGN_VERTICAL_TOP);
  return f;
}

Formats MakeFormats(lxw_workbook* wb) {
  Formats f{};
  f.title = workbook_add_format(wb);
  format_set_bold(f.title);
  format_set_font_size(f.title, 13);
  format_set_font_color(f.title, 0x1F3864);
  format_set_font_name(f.title, "Georgia");

  f.subtitle = workbook_add_format(wb);
  format_set_italic(f.subtitle);
  format_set_font_color(f.subtitle, 0x595959);

  f.header = Bordered(wb);
  format_set_bold(f.header);
  format_set_font_color(f.header, LXW_COLOR_WHITE);
  format_set_bg_color(f.header, 0x1F4E79);
  format_set_align(f.header, LXW_ALIGN_CENTER);
  format_set_align(f.header, LXW_ALIGN_VERTICAL_CENTER);
  format_set_text_wrap(f.header);
  format_set_bottom(f.header, LXW_BORDER_MEDIUM);
  format_set_bottom_color(f.header, 0x000000);

  f.text = Bordered(wb);
  f.textBold = Bordered(wb);
  format_set_bold(f.textBold);
  format_set_font_color(f.textBold, 0x833C0B);
  f.textStruck = Bordered(wb);
  format_set_font_strikeout(f.textStruck);
  format_set_font_color(f.textStruck, 0x7F7F7F);

  f.number = Bordered(wb);
  format_set_num_format(f.number, "000");
  format_set_align(f.number, LXW_ALIGN_CENTER);

  f.date = Bordered(wb);
  format_set_num_format_index(f.date, 15);  // d-mmm-yy

  f.currency = Bordered(wb);
  format_set_num_format(f.currency, "$#,##0.00");
  f.currencyBold = Bordered(wb);
  format_set_num_format(f.currencyBold, "$#,##0.00");
  format_set_bold(f.currencyBold);
  format_set_bg_color(f.currencyBold, 0xFFF2CC);

  f.percent = Bordered(wb);
  format_set_num_format_index(f.percent, 10);  // 0.00%
  f.percentRedNeg = Bordered(wb);
  format_set_num_format(f.percentRedNeg, "0.0%;[Red]-0.0%");

  f.grade = Bordered(wb);
  format_set_num_format(f.grade, "0.0");
  format_set_align(f.grade, LXW_ALIGN_CENTER);

  f.thousands = Bordered(wb);
  format_set_num_format_index(f.thousands, 3);  // #,##0

  f.boolean = Bordered(wb);
  format_set_align(f.boolean, LXW_ALIGN_CENTER);

  f.notes = Bordered(wb);
  format_set_italic(f.notes);
  format_set_text_wrap(f.notes);
  format_set_font_color(f.notes, 0x375623);

  f.totalLabel = Bordered(wb);
  format_set_bold(f.totalLabel);
  format_set_bg_color(f.totalLabel, 0xDDEBF7);
  format_set_top(f.totalLabel, LXW_BORDER_DOUBLE);
  f.totalCurrency = Bordered(wb);
  format_set_bold(f.totalCurrency);
  format_set_bg_color(f.totalCurrency, 0xDDEBF7);
  format_set_top(f.totalCurrency, LXW_BORDER_DOUBLE);
  format_set_num_format(f.totalCurrency, "$#,##0.00;[Red]-$#,##0.00");
  f.totalNumber = Bordered(wb);
  format_set_bold(f.totalNumber);
  format_set_bg_color(f.totalNumber, 0xDDEBF7);
  format_set_top(f.totalNumber, LXW_BORDER_DOUBLE);
  format_set_num_format_index(f.totalNumber, 4);  // #,##0.00
  f.totalCount = Bordered(wb);
  format_set_bold(f.totalCount);
  format_set_bg_color(f.totalCount, 0xDDEBF7);
  format_set_top(f.totalCount, LXW_BORDER_DOUBLE);
  format_set_num_format_index(f.totalCount, 3);  // #,##0
  f.totalPercent = Bordered(wb);
  format_set_bold(f.totalPercent);
  format_set_bg_color(f.totalPercent, 0xDDEBF7);
  format_set_top(f.totalPercent, LXW_BORDER_DOUBLE);
  format_set_num_format_index(f.totalPercent, 9);  // 0%

  f.link = Bordered(wb);
  format_set_font_color(f.link, 0x0563C1);
  format_set_underline(f.link, LXW_UNDERLINE_SINGLE);

  f.monthYear = Bordered(wb);
  format_set_num_format_index(f.monthYear, 17);  // mmm-yy
  format_set_bold(f.monthYear);
  f.redNegatives = Bordered(wb);
  format_set_num_format(f.redNegatives, "#,##0.00;[Red]-#,##0.00");
  f.scientific = Bordered(wb);
  format_set_num_format_index(f.scientific, 11);  // 0.00E+00
  f.fraction = Bordered(wb);
  format_set_num_format_index(f.fraction, 12);  // # ?/?
  f.twoDecimals = Bordered(wb);
  format_set_num_format_index(f.twoDecimals, 2);  // 0.00
  f.timeAmPm = Bordered(wb);
  format_set_num_format_index(f.timeAmPm, 18);  // h:mm AM/PM
  f.duration = Bordered(wb);
  format_set_num_format_index(f.duration, 46);  // [h]:mm:ss
  f.dateTime = Bordered(wb);
  format_set_num_format_index(f.dateTime, 22);  // m/d/yy h:mm
  f.minutesSeconds = Bordered(wb);
  format_set_num_format_index(f.minutesSeconds, 45);  // mm:ss
  f.textFormat = Bordered(wb);
  format_set_num_format_index(f.textFormat, 49);  // @
  f.superscript = Bordered(wb);
  format_set_font_script(f.superscript, LXW_FONT_SUPERSCRIPT);
  f.subscript = Bordered(wb);
  format_set_font_script(f.subscript, LXW_FONT_SUBSCRIPT);
  f.centered = Bordered(wb);
  format_set_align(f.centered, LXW_ALIGN_CENTER);
  f.indented = Bordered(wb);
  format_set_indent(f.indented, 2);
  f.highlight = Bordered(wb);
  format_set_bg_color(f.highlight, 0xFCE4D6);
  format_set_font_color(f.highlight, 0xC00000);
  format_set_bold(f.highlight);
  return f;
}

void Comment(lxw_worksheet* ws, lxw_row_t row, lxw_col_t col, const char* text) {
  lxw_comment_options options{};
  options.author = const_cast<char*>("Catalogue keeper");
  worksheet_write_comment_opt(ws, row, col, text, &options);
}

// Serial day number of a date in the 1900 date system.
double Serial(int year, int month, int day) {
  return static_cast<double>(gridwell::base::SerialFromCivil(year, month, day, false));
}

void WriteCatalogue(lxw_workbook* wb, const Formats& f) {
  lxw_worksheet* ws = workbook_add_worksheet(wb, "Catalogue");
  // Titles and notes sit in wide columns: a page table widens a column to its longest text.
  worksheet_write_string(ws, 0, 1, "Tessaly Comics Catalogue", f.title);
  worksheet_write_string(ws, 1, 1, "Cover prices, guide values", f.subtitle);
  const char* headers[] = {"No.",         "Title", "Series", "Publisher", "Released", "Cover price",
                           "Guide value", "Gain",  "Grade",  "Print run", "In stock", "Notes"};
  for (lxw_col_t c = 0; c < 12; ++c) worksheet_write_string(ws, 3, c, headers[c], f.header);
  worksheet_set_row(ws, 3, 30, nullptr);

  lxw_row_t row = 4;
  for (const Issue& issue : Issues()) {
    worksheet_write_number(ws, row, 0, issue.number, f.number);
    lxw_format* titleFormat = f.text;
    if (issue.guide >= 100) titleFormat = f.textBold;
    if (!issue.inStock) titleFormat = f.textStruck;
    worksheet_write_string(ws, row, 1, issue.title, titleFormat);
    worksheet_write_string(ws, row, 2, issue.series, f.text);
    worksheet_write_string(ws, row, 3, issue.publisher, f.text);
    lxw_datetime released = issue.released;
    worksheet_write_datetime(ws, row, 4, &released, f.date);
    worksheet_write_number(ws, row, 5, issue.cover, f.currency);
    worksheet_write_number(ws, row, 6, issue.guide,
                           issue.guide >= 100 ? f.currencyBold : f.currency);
    char formula[64];
    std::snprintf(formula, sizeof formula, "=G%u/F%u-1", row + 1, row + 1);
    worksheet_write_formula_num(ws, row, 7, formula, f.percentRedNeg,
                                issue.guide / issue.cover - 1);
    worksheet_write_number(ws, row, 8, issue.grade, f.grade);
    worksheet_write_number(ws, row, 9, issue.printRun, f.thousands);
    worksheet_write_boolean(ws, row, 10, issue.inStock, f.boolean);
    worksheet_write_string(ws, row, 11, issue.notes, f.notes);
    ++row;
  }
  const lxw_row_t first = 5, last = row;  // 1-based rows of the data
  double coverSum = 0, guideSum = 0, gradeSum = 0;
  for (const Issue& issue : Issues()) {
    coverSum += issue.cover;
    guideSum += issue.guide;
    gradeSum += issue.grade;
  }
  char formula[64];
  worksheet_write_string(ws, row, 0, "", f.totalLabel);
  worksheet_write_string(ws, row, 1, "Totals and averages", f.totalLabel);
  for (lxw_col_t c = 2; c <= 4; ++c) worksheet_write_blank(ws, row, c, f.totalLabel);
  std::snprintf(formula, sizeof formula, "=SUM(F%u:F%u)", first, last);
  worksheet_write_formula_num(ws, row, 5, formula, f.totalCurrency, coverSum);
  std::snprintf(formula, sizeof formula, "=SUM(G%u:G%u)", first, last);
  worksheet_write_formula_num(ws, row, 6, formula, f.totalCurrency, guideSum);
  std::snprintf(formula, sizeof formula, "=G%u/F%u-1", row + 1, row + 1);
  worksheet_write_formula_num(ws, row, 7, formula, f.totalPercent, guideSum / coverSum - 1);
  std::snprintf(formula, sizeof formula, "=AVERAGE(I%u:I%u)", first, last);
  worksheet_write_formula_num(ws, row, 8, formula, f.totalNumber,
                              gradeSum / static_cast<double>(Issues().size()));
  for (lxw_col_t c = 9; c <= 11; ++c) worksheet_write_blank(ws, row, c, f.totalLabel);

  Comment(ws, 4, 1, "Key issue: keep in the safe, not on the shelf.");
  Comment(ws, 10, 6, "Guide value from the spring price guide.");
  Comment(ws, 13, 8, "Professionally graded; the case must stay sealed.");
  Comment(ws, 3, 7, "Guide value over cover price, less one.");

  worksheet_write_string(ws, row + 2, 10, "Questions", f.subtitle);
  worksheet_write_string(ws, row + 2, 11, "catalogue@tessaly-comics.example", nullptr);
  worksheet_write_string(ws, row + 3, 10, "On the web", f.subtitle);
  worksheet_write_string(ws, row + 3, 11, "http://tessaly-comics.example/", nullptr);

  worksheet_set_column(ws, 0, 0, 6, nullptr);
  worksheet_set_column(ws, 1, 1, 24, nullptr);
  worksheet_set_column(ws, 2, 2, 16, nullptr);
  worksheet_set_column(ws, 3, 3, 20, nullptr);
  worksheet_set_column(ws, 4, 4, 11, nullptr);
  worksheet_set_column(ws, 5, 6, 12, nullptr);
  worksheet_set_column(ws, 7, 8, 9, nullptr);
  worksheet_set_column(ws, 9, 10, 10, nullptr);
  worksheet_set_column(ws, 11, 11, 34, nullptr);
  worksheet_freeze_panes(ws, 4, 0);
}

void WriteSales(lxw_workbook* wb, const Formats& f) {
  lxw_worksheet* ws = workbook_add_worksheet(wb, "Sales 2025");
  worksheet_write_string(ws, 0, 0, "Sales 2025", f.title);
  const char* headers[] = {"Month", "Units sold",    "Revenue", "Returns",
                           "Net",   "Share of year", "Change",  "Running total"};
  for (lxw_col_t c = 0; c < 8; ++c) worksheet_write_string(ws, 2, c, headers[c], f.header);
  const double units[12] = {412, 388, 455, 501, 476, 530, 610, 598, 502, 489, 544, 720};
  const double prices[12] = {6.10, 6.25, 5.95, 6.40, 6.55, 6.30,
                             6.80, 6.75, 6.20, 6.35, 6.50, 7.10};
  const double returns[12] = {-35.5, -12.0, 0,     -48.25, -20.0, -5.5,
                              -61.0, -18.0, -9.75, 0,      -22.4, -80.0};
  double revenue[12], net[12], totalNet = 0;
  for (int m = 0; m < 12; ++m) {
    revenue[m] = units[m] * prices[m];
    net[m] = revenue[m] + returns[m];
    totalNet += net[m];
  }
  double running = 0;
  for (int m = 0; m < 12; ++m) {
    const lxw_row_t row = 3 + m;
    const unsigned r = row + 1;
    char formula[64];
    lxw_datetime month = {2025, m + 1, 1, 0, 0, 0};
    worksheet_write_datetime(ws, row, 0, &month, f.monthYear);
    worksheet_write_number(ws, row, 1, units[m], f.thousands);
    worksheet_write_number(ws, row, 2, revenue[m], f.currency);
    worksheet_write_number(ws, row, 3, returns[m], f.redNegatives);
    std::snprintf(formula, sizeof formula, "=C%u+D%u", r, r);
    worksheet_write_formula_num(ws, row, 4, formula, f.currency, net[m]);
    std::snprintf(formula, sizeof formula, "=E%u/$E$16", r);
    worksheet_write_formula_num(ws, row, 5, formula, f.percent, net[m] / totalNet);
    if (m == 0) {
      worksheet_write_string(ws, row, 6, "n/a", f.centered);
    } else {
      std::snprintf(formula, sizeof formula, "=E%u/E%u-1", r, r - 1);
      worksheet_write_formula_num(ws, row, 6, formula, f.percentRedNeg, net[m] / net[m - 1] - 1);
    }
    running += net[m];
    std::snprintf(formula, sizeof formula, m == 0 ? "=E%u" : "=H%u+E%u", m == 0 ? r : r - 1, r);
    worksheet_write_formula_num(ws, row, 7, formula, f.currency, running);
  }
  double unitSum = 0, revenueSum = 0, returnSum = 0;
  for (int m = 0; m < 12; ++m) {
    unitSum += units[m];
    revenueSum += revenue[m];
    returnSum += returns[m];
  }
  worksheet_write_string(ws, 15, 0, "Year", f.totalLabel);
  worksheet_write_formula_num(ws, 15, 1, "=SUM(B4:B15)", f.totalCount, unitSum);
  worksheet_write_formula_num(ws, 15, 2, "=SUM(C4:C15)", f.totalCurrency, revenueSum);
  worksheet_write_formula_num(ws, 15, 3, "=SUM(D4:D15)", f.totalNumber, returnSum);
  worksheet_write_formula_num(ws, 15, 4, "=SUM(E4:E15)", f.totalCurrency, totalNet);
  worksheet_write_formula_num(ws, 15, 5, "=SUM(F4:F15)", f.totalPercent, 1.0);
  worksheet_write_blank(ws, 15, 6, f.totalLabel);
  worksheet_write_blank(ws, 15, 7, f.totalLabel);

  worksheet_write_string(ws, 17, 0, "Best month", f.textBold);
  worksheet_write_formula_num(ws, 17, 1, "=INDEX(A4:A15,MATCH(MAX(E4:E15),E4:E15,0))", f.monthYear,
                              Serial(2025, 12, 1));
  worksheet_write_string(ws, 18, 0, "Average price", f.textBold);
  worksheet_write_formula_num(ws, 18, 1, "=C16/B16", f.currency, revenueSum / unitSum);
  Comment(ws, 14, 1, "December: the holiday sale and the Harbour Lights 100 launch.");
  Comment(ws, 9, 3, "July returns: a damaged delivery of Copperline.");
  worksheet_set_column(ws, 0, 0, 12, nullptr);
  worksheet_set_column(ws, 1, 7, 13, nullptr);
}

void WritePublishers(lxw_workbook* wb, const Formats& f) {
  lxw_worksheet* ws = workbook_add_worksheet(wb, "Publishers");
  worksheet_write_string(ws, 0, 0, "Publishers", f.title);
  const char* headers[] = {"Publisher", "Web site",    "Orders by e-mail",
                           "Founded",   "Titles held", "Average guide value",
                           "Discount",  "Terms"};
  for (lxw_col_t c = 0; c < 8; ++c) worksheet_write_string(ws, 2, c, headers[c], f.header);
  struct Publisher {
    const char* name;
    const char* site;
    const char* mail;
    double founded;
    double discount;
    const char* terms;
  };
  const Publisher publishers[] = {
      {"Harbour Light Press", "http://www.harbourlight.example/", "orders@harbourlight.example",
       1952, 0.40, "30 days net; returns within 60 days."},
      {"Northgate Comics", "https://northgate-comics.example/trade",
       "trade@northgate-comics.example", 1971, 0.35, "Prepaid; no returns on variants."},
      {"Tallow & Finch", "http://tallowfinch.example/", "sales@tallowfinch.example", 1983, 0.45,
       "45 days net."},
      {"Kestrel House", "http://www.kestrelhouse.example/shops", "shops@kestrelhouse.example", 1994,
       0.38, "30 days net; free freight over $500."},
  };
  lxw_row_t row = 3;
  for (const Publisher& p : publishers) {
    const unsigned r = row + 1;
    char formula[128];
    int titles = 0;
    double guide = 0;
    for (const Issue& issue : Issues()) {
      if (std::string(issue.publisher) == p.name) {
        ++titles;
        guide += issue.guide;
      }
    }
    worksheet_write_string(ws, row, 0, p.name, f.textBold);
    worksheet_write_string(ws, row, 1, p.site, f.link);
    worksheet_write_string(ws, row, 2, p.mail, f.link);
    worksheet_write_number(ws, row, 3, p.founded, f.centered);
    std::snprintf(formula, sizeof formula, "=COUNTIF(Catalogue!D5:D20,A%u)", r);
    worksheet_write_formula_num(ws, row, 4, formula, f.centered, titles);
    std::snprintf(formula, sizeof formula, "=SUMIF(Catalogue!D5:D20,A%u,Catalogue!G5:G20)/E%u", r,
                  r);
    worksheet_write_formula_num(ws, row, 5, formula, f.currency, guide / titles);
    worksheet_write_number(ws, row, 6, p.discount, f.percentRedNeg);
    worksheet_write_string(ws, row, 7, p.terms, f.notes);
    ++row;
  }
  Comment(ws, 4, 6, "Discount rises to 40% for standing orders over 50 copies.");
  worksheet_write_string(ws, row + 1, 0, "Distributor help line", f.subtitle);
  worksheet_write_string(ws, row + 1, 1, "help@comicsdistribution.example", nullptr);
  worksheet_write_url(ws, row + 2, 1, "http://www.comicsdistribution.example/", nullptr);
  worksheet_set_column(ws, 0, 0, 22, nullptr);
  worksheet_set_column(ws, 1, 2, 34, nullptr);
  worksheet_set_column(ws, 3, 6, 12, nullptr);
  worksheet_set_column(ws, 7, 7, 30, nullptr);
}

void WriteCharacters(lxw_workbook* wb, const Formats& f) {
  lxw_worksheet* ws = workbook_add_worksheet(wb, "Characters");
  worksheet_write_string(ws, 0, 0, "Who is who", f.title);
  const char* headers[] = {"Character",       "Alias",      "First appearance",
                           "Debut issue",     "Height (m)", "Fan mail per year",
                           "Share of covers", "Powers"};
  for (lxw_col_t c = 0; c < 8; ++c) worksheet_write_string(ws, 2, c, headers[c], f.header);
  struct Character {
    const char* name;
    const char* alias;
    lxw_datetime debut;
    double issue;
    double height;
    double mail;
    double coverShare;
    const char* powers;
  };
  const Character characters[] = {
      {"Captain Vey",
       "The Brass Lantern",
       {1978, 3, 14, 0, 0, 0},
       1,
       1.88,
       12500,
       0.75,
       "Carries a lantern whose light shows the truth; no other powers."},
      {"Ada Quill",
       "Courier One",
       {1981, 9, 2, 0, 0, 0},
       3,
       1.64,
       8200,
       0.5,
       "Runs faster at night; reads any map at a glance."},
      {"Bram Ironbark",
       "Ranger",
       {1984, 6, 20, 0, 0, 0},
       5,
       2.05,
       4300,
       0.25,
       "Strong as an oak, slow to anger."},
      {"Nine",
       "Starling Nine",
       {1988, 10, 18, 0, 0, 0},
       7,
       1.71,
       1.2e6,
       0.875,
       "Flies; talks to birds; the fan favourite of the decade."},
      {"Wren Ashdown",
       "Nightjar",
       {2003, 5, 14, 0, 0, 0},
       12,
       1.59,
       2750,
       0.333333,
       "Sees in the dark and hears a whisper across a harbour."},
  };
  lxw_row_t row = 3;
  for (const Character& c : characters) {
    worksheet_write_string(ws, row, 0, c.name, f.textBold);
    worksheet_write_string(ws, row, 1, c.alias, f.indented);
    lxw_datetime debut = c.debut;
    worksheet_write_datetime(ws, row, 2, &debut, f.date);
    worksheet_write_number(ws, row, 3, c.issue, f.number);
    worksheet_write_number(ws, row, 4, c.height, f.twoDecimals);
    worksheet_write_number(ws, row, 5, c.mail, c.mail > 1e5 ? f.scientific : f.thousands);
    worksheet_write_number(ws, row, 6, c.coverShare, f.fraction);
    worksheet_write_string(ws, row, 7, c.powers, f.notes);
    ++row;
  }
  worksheet_write_string(ws, row + 1, 0, "Lantern light: 10", f.text);
  worksheet_write_string(ws, row + 1, 1, "3", f.superscript);
  worksheet_write_string(ws, row + 1, 2, "lumens", f.text);
  worksheet_write_string(ws, row + 2, 0, "Quorin tide salt: NaCl", f.text);
  worksheet_write_string(ws, row + 2, 1, "2", f.subscript);
  Comment(ws, 6, 5, "Most of it arrives as postcards.");
  worksheet_set_column(ws, 0, 1, 18, nullptr);
  worksheet_set_column(ws, 2, 6, 14, nullptr);
  worksheet_set_column(ws, 7, 7, 36, nullptr);
}

void WriteConvention(lxw_workbook* wb, const Formats& f) {
  lxw_worksheet* ws = workbook_add_worksheet(wb, "Convention");
  worksheet_write_string(ws, 0, 0, "Quorin Comic Convention", f.title);
  const char* headers[] = {"Event", "Starts", "Doors open", "Length",
                           "Talk",  "Code",   "Booked",     "Cost per head"};
  for (lxw_col_t c = 0; c < 8; ++c) worksheet_write_string(ws, 2, c, headers[c], f.header);
  struct Event {
    const char* name;
    lxw_datetime starts;
    double doors;  // fraction of a day
    double length;
    double talk;
    const char* code;
    bool booked;
  };
  const Event events[] = {
      {"Signing: Starling Nine",
       {2026, 5, 16, 10, 30, 0},
       10.0 / 24,
       2.5 / 24,
       25.5 / 1440,
       "00417",
       true},
      {"Panel: colouring by hand",
       {2026, 5, 16, 14, 0, 0},
       13.75 / 24,
       1.0 / 24,
       45.0 / 1440,
       "00418",
       true},
      {"Auction of graded copies",
       {2026, 5, 17, 18, 15, 0},
       18.0 / 24,
       27.25 / 24,
       12.0 / 1440,
       "00502",
       false},
  };
  lxw_row_t row = 3;
  for (const Event& e : events) {
    lxw_datetime starts = e.starts;
    worksheet_write_string(ws, row, 0, e.name, f.text);
    worksheet_write_datetime(ws, row, 1, &starts, f.dateTime);
    worksheet_write_number(ws, row, 2, e.doors, f.timeAmPm);
    worksheet_write_number(ws, row, 3, e.length, f.duration);
    worksheet_write_number(ws, row, 4, e.talk, f.minutesSeconds);
    worksheet_write_string(ws, row, 5, e.code, f.textFormat);
    worksheet_write_boolean(ws, row, 6, e.booked, f.boolean);
    ++row;
  }
  worksheet_write_string(ws, 3, 7, "", f.text);
  worksheet_write_string(ws, row + 1, 0, "Table rent", f.textBold);
  worksheet_write_number(ws, row + 1, 1, 240, f.currency);
  worksheet_write_string(ws, row + 2, 0, "Staff", f.textBold);
  worksheet_write_number(ws, row + 2, 1, 0, f.centered);
  worksheet_write_string(ws, row + 3, 0, "Rent per head", f.highlight);
  // The staff count is not known yet: the division shows the error value.
  worksheet_write_formula_str(ws, row + 3, 1, "=B8/B9", f.highlight, "#DIV/0!");
  worksheet_write_string(ws, row + 4, 0, "Contact", f.textBold);
  worksheet_write_string(ws, row + 4, 1, "mailto:tables@quorin-con.example", f.link);
  Comment(ws, row + 3, 1, "Fill in the staff count when the rota is done.");
  worksheet_set_column(ws, 0, 0, 28, nullptr);
  worksheet_set_column(ws, 1, 1, 16, nullptr);
  worksheet_set_column(ws, 2, 7, 12, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_comics OUT.xlsx\n");
    return 2;
  }
  lxw_workbook* wb = workbook_new(argv[1]);
  if (wb == nullptr) return 1;
  const Formats f = MakeFormats(wb);
  WriteCatalogue(wb, f);
  WriteSales(wb, f);
  WritePublishers(wb, f);
  WriteCharacters(wb, f);
  WriteConvention(wb, f);
  lxw_doc_properties props{};
  props.title = const_cast<char*>("Tessaly Comics Catalogue");
  props.author = const_cast<char*>("Tessaly Comics");
  workbook_set_properties(wb, &props);
  return workbook_close(wb) == LXW_NO_ERROR ? 0 : 1;
}
