/* Writes the .xlsx test fixtures with libxlsxwriter, a real writer of the format.
 *
 * Remake the committed files with:
 *   cmake --build <build> --target make_xlsx_fixtures && <build>/tests/reader/xlsx/make_xlsx_fixtures tests/data/xlsx
 *
 * values.xlsx  - numbers in many formats, dates, strings, rich strings, Booleans,
 *                formulas (plain, string result, array), Unicode text
 * styles.xlsx  - fonts, fills, borders, alignment, indent, wrap, column widths, row heights
 * sheets.xlsx  - several sheets, a hidden one, a protected one, comments
 * sample.xlsx  - a workbook with real-looking content for the converter and the CLI
 */
#include <stdio.h>
#include <string.h>
#include <xlsxwriter.h>

static lxw_format* NumFormat(lxw_workbook* wb, const char* code) {
  lxw_format* f = workbook_add_format(wb);
  format_set_num_format(f, code);
  return f;
}

static int MakeValues(const char* dir) {
  char path[1024];
  snprintf(path, sizeof path, "%s/values.xlsx", dir);
  lxw_workbook* wb = workbook_new(path);
  lxw_worksheet* ws = workbook_add_worksheet(wb, "Values");
  lxw_format* bold = workbook_add_format(wb);
  format_set_bold(bold);
  lxw_format* italic = workbook_add_format(wb);
  format_set_italic(italic);
  lxw_format* wrap = workbook_add_format(wb);
  format_set_text_wrap(wrap);
  lxw_format* pct = workbook_add_format(wb);
  format_set_num_format_index(pct, 10);
  lxw_format* blankFmt = workbook_add_format(wb);
  format_set_bg_color(blankFmt, 0xFFFF00);

  int r = 0;
  worksheet_write_string(ws, r, 0, "integer", NULL);
  worksheet_write_number(ws, r++, 1, 42, NULL);
  worksheet_write_string(ws, r, 0, "decimal", NULL);
  worksheet_write_number(ws, r++, 1, 3.14159, NumFormat(wb, "0.00"));
  worksheet_write_string(ws, r, 0, "thousands", NULL);
  worksheet_write_number(ws, r++, 1, 1234567.891, NumFormat(wb, "#,##0.00"));
  worksheet_write_string(ws, r, 0, "percent", NULL);
  worksheet_write_number(ws, r++, 1, 0.256, NumFormat(wb, "0.0%"));
  worksheet_write_string(ws, r, 0, "currency", NULL);
  worksheet_write_number(ws, r++, 1, -1234.5, NumFormat(wb, "$#,##0.00;[Red]($#,##0.00)"));
  worksheet_write_string(ws, r, 0, "scientific", NULL);
  worksheet_write_number(ws, r++, 1, 12345678, NumFormat(wb, "0.00E+00"));
  lxw_datetime day = {2024, 2, 29, 0, 0, 0};
  worksheet_write_string(ws, r, 0, "date", NULL);
  worksheet_write_datetime(ws, r++, 1, &day, NumFormat(wb, "yyyy-mm-dd"));
  lxw_datetime stamp = {2024, 2, 29, 13, 45, 30};
  worksheet_write_string(ws, r, 0, "datetime", NULL);
  worksheet_write_datetime(ws, r++, 1, &stamp, NumFormat(wb, "m/d/yyyy h:mm"));
  lxw_datetime clock = {0, 0, 0, 18, 0, 0};
  worksheet_write_string(ws, r, 0, "time", NULL);
  worksheet_write_datetime(ws, r++, 1, &clock, NumFormat(wb, "h:mm AM/PM"));
  worksheet_write_string(ws, r, 0, "string", NULL);
  worksheet_write_string(ws, r++, 1, "Hello, world", NULL);
  lxw_rich_string_tuple f1 = {bold, "bold"};
  lxw_rich_string_tuple f2 = {NULL, " and "};
  lxw_rich_string_tuple f3 = {italic, "italic"};
  lxw_rich_string_tuple* rich[] = {&f1, &f2, &f3, NULL};
  worksheet_write_string(ws, r, 0, "rich", NULL);
  worksheet_write_rich_string(ws, r++, 1, rich, NULL);
  worksheet_write_string(ws, r, 0, "true", NULL);
  worksheet_write_boolean(ws, r++, 1, 1, NULL);
  worksheet_write_string(ws, r, 0, "false", NULL);
  worksheet_write_boolean(ws, r++, 1, 0, NULL);
  worksheet_write_string(ws, r, 0, "formula", NULL);
  worksheet_write_formula_num(ws, r++, 1, "=B1*2", NULL, 84);
  worksheet_write_string(ws, r, 0, "formula string", NULL);
  worksheet_write_formula_str(ws, r++, 1, "=A10&\"!\"", NULL, "string!");
  worksheet_write_string(ws, r, 0, "array", NULL);
  worksheet_write_array_formula_num(ws, r, 1, r + 1, 1, "{=B1:B2*2}", NULL, 84);
  r += 2;
  worksheet_write_string(ws, r, 0, "cjk", NULL);
  worksheet_write_string(ws, r++, 1, "日本語のテキスト", NULL);
  worksheet_write_string(ws, r, 0, "accented", NULL);
  worksheet_write_string(ws, r++, 1, "Crème brûlée à la française", NULL);
  worksheet_write_string(ws, r, 0, "blank formatted", NULL);
  worksheet_write_blank(ws, r++, 1, blankFmt);
  worksheet_write_string(ws, r, 0, "builtin percent", NULL);
  worksheet_write_number(ws, r++, 1, 0.5, pct);
  worksheet_write_string(ws, r, 0, "two lines", NULL);
  worksheet_write_string(ws, r++, 1, "line one\nline two", wrap);
  worksheet_write_string(ws, r, 0, "error formula", NULL);
  worksheet_write_formula_str(ws, r++, 1, "=1/0", NULL, "#DIV/0!");
  return workbook_close(wb) == LXW_NO_ERROR ? 0 : 1;
}

static int MakeStyles(const char* dir) {
  char path[1024];
  snprintf(path, sizeof path, "%s/styles.xlsx", dir);
  lxw_workbook* wb = workbook_new(path);

  lxw_worksheet* fonts = workbook_add_worksheet(wb, "Fonts");
  struct {
    const char* label;
    int kind;
  } fontCases[] = {{"bold", 1},          {"italic", 2},         {"underline", 3},
                   {"double underline", 4}, {"single accounting", 5}, {"double accounting", 6},
                   {"strike", 7},        {"superscript", 8},    {"subscript", 9},
                   {"Times 14", 10},     {"red", 11},           {"blue-grey", 12}};
  for (int i = 0; i < 12; ++i) {
    lxw_format* f = workbook_add_format(wb);
    switch (fontCases[i].kind) {
      case 1: format_set_bold(f); break;
      case 2: format_set_italic(f); break;
      case 3: format_set_underline(f, LXW_UNDERLINE_SINGLE); break;
      case 4: format_set_underline(f, LXW_UNDERLINE_DOUBLE); break;
      case 5: format_set_underline(f, LXW_UNDERLINE_SINGLE_ACCOUNTING); break;
      case 6: format_set_underline(f, LXW_UNDERLINE_DOUBLE_ACCOUNTING); break;
      case 7: format_set_font_strikeout(f); break;
      case 8: format_set_font_script(f, LXW_FONT_SUPERSCRIPT); break;
      case 9: format_set_font_script(f, LXW_FONT_SUBSCRIPT); break;
      case 10:
        format_set_font_name(f, "Times New Roman");
        format_set_font_size(f, 14);
        break;
      case 11: format_set_font_color(f, 0xFF0000); break;
      case 12: format_set_font_color(f, 0x336699); break;
    }
    worksheet_write_string(fonts, i, 0, fontCases[i].label, f);
  }

  lxw_worksheet* fills = workbook_add_worksheet(wb, "Fills");
  lxw_format* solid = workbook_add_format(wb);
  format_set_bg_color(solid, 0xFFFF00);
  worksheet_write_string(fills, 0, 0, "solid yellow", solid);
  for (int p = 2; p <= 18; ++p) {
    lxw_format* f = workbook_add_format(wb);
    format_set_pattern(f, (uint8_t)p);
    format_set_fg_color(f, 0x008000);
    format_set_bg_color(f, 0xFFFFFF);
    worksheet_write_number(fills, p - 1, 0, p, f);
  }

  lxw_worksheet* borders = workbook_add_worksheet(wb, "Borders");
  for (int b = 1; b <= 13; ++b) {
    lxw_format* f = workbook_add_format(wb);
    format_set_border(f, (uint8_t)b);
    worksheet_write_number(borders, b - 1, 1, b, f);
  }
  lxw_format* sides = workbook_add_format(wb);
  format_set_left(sides, LXW_BORDER_THIN);
  format_set_left_color(sides, 0xFF0000);
  format_set_right(sides, LXW_BORDER_MEDIUM);
  format_set_right_color(sides, 0x00FF00);
  format_set_top(sides, LXW_BORDER_DASHED);
  format_set_top_color(sides, 0x0000FF);
  format_set_bottom(sides, LXW_BORDER_DOUBLE);
  format_set_bottom_color(sides, 0x123456);
  worksheet_write_string(borders, 15, 1, "four sides", sides);

  lxw_worksheet* align = workbook_add_worksheet(wb, "Align");
  const uint8_t horizontal[] = {LXW_ALIGN_LEFT,    LXW_ALIGN_CENTER,  LXW_ALIGN_RIGHT,
                                LXW_ALIGN_FILL,    LXW_ALIGN_JUSTIFY, LXW_ALIGN_CENTER_ACROSS,
                                LXW_ALIGN_DISTRIBUTED};
  for (int i = 0; i < 7; ++i) {
    lxw_format* f = workbook_add_format(wb);
    format_set_align(f, horizontal[i]);
    worksheet_write_string(align, i, 0, "h", f);
  }
  const uint8_t vertical[] = {LXW_ALIGN_VERTICAL_TOP, LXW_ALIGN_VERTICAL_CENTER,
                              LXW_ALIGN_VERTICAL_BOTTOM, LXW_ALIGN_VERTICAL_JUSTIFY,
                              LXW_ALIGN_VERTICAL_DISTRIBUTED};
  for (int i = 0; i < 5; ++i) {
    lxw_format* f = workbook_add_format(wb);
    format_set_align(f, vertical[i]);
    worksheet_write_string(align, i, 1, "v", f);
  }
  lxw_format* indent = workbook_add_format(wb);
  format_set_indent(indent, 3);
  worksheet_write_string(align, 0, 2, "indented", indent);
  lxw_format* wrap = workbook_add_format(wb);
  format_set_text_wrap(wrap);
  worksheet_write_string(align, 1, 2, "a long text that wraps inside its cell", wrap);

  lxw_worksheet* layout = workbook_add_worksheet(wb, "Layout");
  worksheet_set_column(layout, 0, 0, 20, NULL);
  worksheet_set_column(layout, 1, 3, 5.5, NULL);
  lxw_row_col_options hidden = {.hidden = 1};
  worksheet_set_column_opt(layout, 4, 4, 12, NULL, &hidden);
  worksheet_set_row(layout, 1, 30, NULL);
  worksheet_set_row(layout, 4, 7.5, NULL);
  worksheet_set_default_row(layout, 20, 0);
  for (int c = 0; c < 6; ++c) worksheet_write_number(layout, 0, c, c, NULL);
  return workbook_close(wb) == LXW_NO_ERROR ? 0 : 1;
}

static int MakeSheets(const char* dir) {
  char path[1024];
  snprintf(path, sizeof path, "%s/sheets.xlsx", dir);
  lxw_workbook* wb = workbook_new(path);
  lxw_worksheet* first = workbook_add_worksheet(wb, "First");
  worksheet_write_string(first, 0, 0, "on the first sheet", NULL);
  lxw_worksheet* hidden = workbook_add_worksheet(wb, "Hidden");
  worksheet_write_string(hidden, 0, 0, "not shown", NULL);
  worksheet_hide(hidden);
  lxw_worksheet* prot = workbook_add_worksheet(wb, "Protected");
  worksheet_write_number(prot, 0, 0, 7, NULL);
  worksheet_protect(prot, NULL, NULL);
  lxw_worksheet* notes = workbook_add_worksheet(wb, "Notes");
  worksheet_write_string(notes, 0, 0, "has a note", NULL);
  worksheet_write_comment(notes, 0, 0, "Plain note");
  worksheet_write_comment(notes, 3, 2, "Two lines\nof note, façade 注释");
  lxw_worksheet* uni = workbook_add_worksheet(wb, "Ünïcødé 表");
  worksheet_write_string(uni, 0, 0, "Ærøskøbing", NULL);
  worksheet_activate(first);
  return workbook_close(wb) == LXW_NO_ERROR ? 0 : 1;
}

static int MakeSample(const char* dir) {
  char path[1024];
  snprintf(path, sizeof path, "%s/sample.xlsx", dir);
  lxw_workbook* wb = workbook_new(path);

  lxw_format* head = workbook_add_format(wb);
  format_set_bold(head);
  format_set_bg_color(head, 0x1F4E78);
  format_set_font_color(head, 0xFFFFFF);
  format_set_border(head, LXW_BORDER_THIN);
  format_set_align(head, LXW_ALIGN_CENTER);
  lxw_format* money = workbook_add_format(wb);
  format_set_num_format(money, "$#,##0.00");
  lxw_format* pct = workbook_add_format(wb);
  format_set_num_format(pct, "0.0%");
  lxw_format* date = workbook_add_format(wb);
  format_set_num_format(date, "mmm d, yyyy");
  lxw_format* total = workbook_add_format(wb);
  format_set_bold(total);
  format_set_top(total, LXW_BORDER_DOUBLE);
  format_set_num_format(total, "$#,##0.00");

  lxw_worksheet* sales = workbook_add_worksheet(wb, "Sales");
  const char* headers[] = {"Region", "Product", "Date", "Units", "Unit price", "Discount", "Revenue"};
  for (int c = 0; c < 7; ++c) worksheet_write_string(sales, 0, c, headers[c], head);
  const char* regions[] = {"North", "South", "East", "West"};
  const char* products[] = {"Widget", "Gadget", "Sprocket", "Gizmo", "Doohickey"};
  const double prices[] = {12.5, 23.99, 4.75, 99.0, 7.2};
  int rows = 24;
  for (int i = 0; i < rows; ++i) {
    int r = i + 1;
    worksheet_write_string(sales, r, 0, regions[i % 4], NULL);
    worksheet_write_string(sales, r, 1, products[i % 5], NULL);
    lxw_datetime d = {2024, 1 + i % 12, 1 + (i * 7) % 28, 0, 0, 0};
    worksheet_write_datetime(sales, r, 2, &d, date);
    double units = 10 + (i * 37) % 90;
    worksheet_write_number(sales, r, 3, units, NULL);
    worksheet_write_number(sales, r, 4, prices[i % 5], money);
    double disc = (i % 4) * 0.025;
    worksheet_write_number(sales, r, 5, disc, pct);
    char formula[64];
    snprintf(formula, sizeof formula, "=D%d*E%d*(1-F%d)", r + 1, r + 1, r + 1);
    worksheet_write_formula_num(sales, r, 6, formula, money, units * prices[i % 5] * (1 - disc));
  }
  worksheet_write_string(sales, rows + 1, 0, "Total", total);
  char sum[64];
  snprintf(sum, sizeof sum, "=SUM(D2:D%d)", rows + 1);
  worksheet_write_formula(sales, rows + 1, 3, sum, total);
  snprintf(sum, sizeof sum, "=SUM(G2:G%d)", rows + 1);
  worksheet_write_formula(sales, rows + 1, 6, sum, total);
  worksheet_set_column(sales, 0, 1, 12, NULL);
  worksheet_set_column(sales, 2, 2, 14, NULL);
  worksheet_set_column(sales, 4, 6, 12, NULL);

  lxw_worksheet* contacts = workbook_add_worksheet(wb, "Contacts");
  const char* chead[] = {"Name", "E-mail", "Website", "Phone"};
  for (int c = 0; c < 4; ++c) worksheet_write_string(contacts, 0, c, chead[c], head);
  const char* names[] = {"Ada Lovelace", "Grace Hopper", "Edsger Dijkstra", "Barbara Liskov",
                         "Donald Knuth"};
  const char* mails[] = {"ada@example.com", "grace@example.org", "edsger@example.net",
                         "barbara@example.com", "don@example.org"};
  const char* sites[] = {"http://www.example.com/ada", "https://example.org/grace",
                         "http://example.net/ewd", "www.example.com/liskov",
                         "ftp://ftp.example.org/knuth"};
  for (int i = 0; i < 5; ++i) {
    worksheet_write_string(contacts, i + 1, 0, names[i], NULL);
    char mailto[128];
    snprintf(mailto, sizeof mailto, "mailto:%s", mails[i]);
    worksheet_write_url_opt(contacts, i + 1, 1, mailto, NULL, mails[i], NULL);
    worksheet_write_string(contacts, i + 1, 2, sites[i], NULL);
    char phone[32];
    snprintf(phone, sizeof phone, "(555) 01%02d-%04d", i, 1000 + i * 111);
    worksheet_write_string(contacts, i + 1, 3, phone, NULL);
  }
  worksheet_set_column(contacts, 0, 3, 24, NULL);

  lxw_worksheet* notes = workbook_add_worksheet(wb, "Notes");
  lxw_format* wrap = workbook_add_format(wb);
  format_set_text_wrap(wrap);
  format_set_align(wrap, LXW_ALIGN_VERTICAL_TOP);
  worksheet_set_column(notes, 0, 0, 60, NULL);
  worksheet_write_string(notes, 0, 0, "Quarterly review", head);
  worksheet_write_string(notes, 1, 0,
                         "Sales rose in every region except the West, where a late shipment "
                         "moved revenue into the next quarter.",
                         wrap);
  worksheet_write_comment(notes, 1, 0, "Checked against the ledger on 3 April.");
  worksheet_write_string(notes, 2, 0, "Gadget margins are under review.", NULL);
  worksheet_write_comment(notes, 2, 0, "Ask finance for the updated cost sheet.");
  worksheet_write_string(notes, 3, 0, "Prochaine réunion : jeudi à 14 h", NULL);
  worksheet_set_row(notes, 1, 45, NULL);

  lxw_worksheet* styled = workbook_add_worksheet(wb, "Styled");
  const uint32_t colors[] = {0xC00000, 0xFFC000, 0x92D050, 0x00B0F0, 0x7030A0};
  const char* labels[] = {"Critical", "Warning", "Good", "Info", "Other"};
  for (int i = 0; i < 5; ++i) {
    lxw_format* f = workbook_add_format(wb);
    format_set_bg_color(f, colors[i]);
    format_set_border(f, LXW_BORDER_MEDIUM);
    format_set_border_color(f, 0x404040);
    format_set_align(f, LXW_ALIGN_CENTER);
    if (i == 0) format_set_font_color(f, 0xFFFFFF);
    if (i == 2) format_set_italic(f);
    worksheet_write_string(styled, i, 0, labels[i], f);
    worksheet_write_number(styled, i, 1, (i + 1) * 1111.11, money);
  }
  lxw_format* big = workbook_add_format(wb);
  format_set_font_size(big, 18);
  format_set_font_name(big, "Georgia");
  format_set_underline(big, LXW_UNDERLINE_DOUBLE);
  worksheet_write_string(styled, 6, 0, "Headline", big);
  worksheet_set_row(styled, 6, 28, NULL);
  worksheet_set_column(styled, 0, 1, 16, NULL);
  return workbook_close(wb) == LXW_NO_ERROR ? 0 : 1;
}

int main(int argc, char** argv) {
  const char* dir = argc > 1 ? argv[1] : ".";
  int rc = MakeValues(dir) | MakeStyles(dir) | MakeSheets(dir) | MakeSample(dir);
  if (rc) fprintf(stderr, "make_xlsx_fixtures: a workbook could not be written\n");
  return rc;
}
