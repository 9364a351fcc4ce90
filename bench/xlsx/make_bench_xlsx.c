/* Writes the benchmark workbook: 100,000 rows by 10 columns (1,000,000 cells) of numbers,
 * shared strings, dates and styled numbers, with libxlsxwriter.
 *   make_bench_xlsx <out.xlsx> [rows]
 */
#include <stdio.h>
#include <stdlib.h>
#include <xlsxwriter.h>

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: make_bench_xlsx <out.xlsx> [rows]\n");
    return 2;
  }
  int rows = argc > 2 ? atoi(argv[2]) : 100000;
  /* The default mode keeps the strings in the shared string table, as spreadsheet
   * programs write them; constant_memory would write inline strings instead. */
  lxw_workbook* wb = workbook_new(argv[1]);
  lxw_worksheet* ws = workbook_add_worksheet(wb, "Data");
  lxw_format* money = workbook_add_format(wb);
  format_set_num_format(money, "$#,##0.00");
  lxw_format* date = workbook_add_format(wb);
  format_set_num_format(date, "yyyy-mm-dd");
  lxw_format* pct = workbook_add_format(wb);
  format_set_num_format(pct, "0.0%");
  format_set_bold(pct);
  lxw_format* fill = workbook_add_format(wb);
  format_set_bg_color(fill, 0xDDEBF7);
  format_set_border(fill, LXW_BORDER_THIN);
  static const char* words[] = {"North", "South", "East", "West", "Central", "Widget", "Gadget",
                                "Sprocket", "Gizmo", "Doohickey", "pending", "shipped",
                                "returned", "invoiced", "paid", "overdue"};
  char buf[64];
  for (int r = 0; r < rows; ++r) {
    worksheet_write_number(ws, r, 0, r + 1, NULL);
    worksheet_write_string(ws, r, 1, words[r % 16], NULL);
    snprintf(buf, sizeof buf, "Item %d", r % 5000);
    worksheet_write_string(ws, r, 2, buf, fill);
    lxw_datetime d = {2000 + r % 25, 1 + r % 12, 1 + r % 28, 0, 0, 0};
    worksheet_write_datetime(ws, r, 3, &d, date);
    worksheet_write_number(ws, r, 4, (r % 1000) * 1.25 + 0.99, money);
    worksheet_write_number(ws, r, 5, (r % 97) / 97.0, pct);
    worksheet_write_number(ws, r, 6, r * 3.14159, NULL);
    worksheet_write_string(ws, r, 7, words[(r * 7) % 16], NULL);
    worksheet_write_number(ws, r, 8, -(double)(r % 333), fill);
    worksheet_write_boolean(ws, r, 9, r & 1, NULL);
  }
  return workbook_close(wb) == LXW_NO_ERROR ? 0 : 1;
}
