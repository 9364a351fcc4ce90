/* Gridweller: the Gridwell viewer control as a GTK 3 widget for C hosts and, through GObject
 * introspection (namespace Gridweller 1.0), for Python, JavaScript, Vala and Rust hosts.
 *
 * GridwellerGridwell shows one worksheet of a workbook (.xls, .xlsx, local or at an http://,
 * https:// or ftp:// address) as a web page in an embedded WebKit view. Members are declared
 * in the control's interface order; their full documentation, with the control's help texts
 * and dispatch ids, is in Gridweller-1.0.gir.
 *
 *   GtkWidget *viewer = gridweller_gridwell_new ();
 *   g_signal_connect (viewer, "open-complete", G_CALLBACK (on_open_complete), NULL);
 *   GridwellerOpenOptions *options = gridweller_open_options_new ();
 *   g_object_set (options, "sheet", "Sales", "show-comments", TRUE, NULL);
 *   gridweller_gridwell_open_xl (GRIDWELLER_GRIDWELL (viewer), "book.xlsx", options);
 *   g_object_unref (options);
 */
#pragma once

#include <gtk/gtk.h>

G_BEGIN_DECLS

#define GRIDWELLER_TYPE_OPEN_OPTIONS (gridweller_open_options_get_type())
G_DECLARE_FINAL_TYPE(GridwellerOpenOptions, gridweller_open_options, GRIDWELLER, OPEN_OPTIONS,
                     GObject)

GridwellerOpenOptions* gridweller_open_options_new(void);

#define GRIDWELLER_TYPE_GRIDWELL (gridweller_gridwell_get_type())
G_DECLARE_FINAL_TYPE(GridwellerGridwell, gridweller_gridwell, GRIDWELLER, GRIDWELL, GtkBin)

GtkWidget* gridweller_gridwell_new(void);

/* Properties */
char* gridweller_gridwell_get_path(GridwellerGridwell* self);
void gridweller_gridwell_set_path(GridwellerGridwell* self, const char* value);
char** gridweller_gridwell_get_sheet_names(GridwellerGridwell* self);
int gridweller_gridwell_get_sheet_total(GridwellerGridwell* self);
guint gridweller_gridwell_get_hwnd(GridwellerGridwell* self);
char* gridweller_gridwell_get_temp_workbook(GridwellerGridwell* self);
gboolean gridweller_gridwell_get_regenerate_html(GridwellerGridwell* self);
void gridweller_gridwell_set_regenerate_html(GridwellerGridwell* self, gboolean value);
char* gridweller_gridwell_get_temp_path(GridwellerGridwell* self);
char* gridweller_gridwell_get_html_file(GridwellerGridwell* self);
void gridweller_gridwell_set_html_file(GridwellerGridwell* self, const char* value);
char* gridweller_gridwell_get_excel_file(GridwellerGridwell* self);
void gridweller_gridwell_set_excel_file(GridwellerGridwell* self, const char* value);
char* gridweller_gridwell_get_save_file(GridwellerGridwell* self);
void gridweller_gridwell_set_save_file(GridwellerGridwell* self, const char* value);
char* gridweller_gridwell_get_download_error_text(GridwellerGridwell* self);
gboolean gridweller_gridwell_get_compact_styles(GridwellerGridwell* self);
void gridweller_gridwell_set_compact_styles(GridwellerGridwell* self, gboolean value);
char* gridweller_gridwell_get_open_error_text(GridwellerGridwell* self);
int gridweller_gridwell_get_open_error_code(GridwellerGridwell* self);
gint gridweller_gridwell_get_fast_pages_from(GridwellerGridwell* self);
void gridweller_gridwell_set_fast_pages_from(GridwellerGridwell* self, gint value);
gboolean gridweller_gridwell_get_sheet_look(GridwellerGridwell* self);
void gridweller_gridwell_set_sheet_look(GridwellerGridwell* self, gboolean value);

/* Methods */
gboolean gridweller_gridwell_begin_download(GridwellerGridwell* self, const char* url,
                                            const char* file, char** saved_to);
void gridweller_gridwell_go_home(GridwellerGridwell* self, gboolean open_synchronously);
void gridweller_gridwell_setup_document(GridwellerGridwell* self);
void gridweller_gridwell_print_document(GridwellerGridwell* self, gboolean show_prompt);
void gridweller_gridwell_find_in_document(GridwellerGridwell* self);
void gridweller_gridwell_print_preview_document(GridwellerGridwell* self);
void gridweller_gridwell_show_document_properties(GridwellerGridwell* self);
void gridweller_gridwell_save_document(GridwellerGridwell* self);
gboolean gridweller_gridwell_save_html(GridwellerGridwell* self, const char* dir,
                                       const char* filename);
gboolean gridweller_gridwell_save_copy(GridwellerGridwell* self, const char* copy_to,
                                       gboolean warn_if_exists);
void gridweller_gridwell_refresh(GridwellerGridwell* self);
void gridweller_gridwell_find(GridwellerGridwell* self);
gboolean gridweller_gridwell_open_xl(GridwellerGridwell* self, const char* path,
                                     GridwellerOpenOptions* options);
gboolean gridweller_gridwell_open_xl_range(GridwellerGridwell* self, const char* path,
                                           GridwellerOpenOptions* options);

/* Host services */
GtkWidget* gridweller_gridwell_get_web_view(GridwellerGridwell* self);
void gridweller_gridwell_load_properties(GridwellerGridwell* self, GKeyFile* key_file,
                                         const char* group);
void gridweller_gridwell_save_properties(GridwellerGridwell* self, GKeyFile* key_file,
                                         const char* group);

/* Signals, in the control's event order (see the GIR for their arguments):
 * "download-started", "download-progress", "download-error", "download-complete",
 * "open-start", "open-complete", "open-error". */

G_END_DECLS
