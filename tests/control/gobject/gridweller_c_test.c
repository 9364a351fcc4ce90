/* The Gridweller widget from a C host, with the real WebKit under Xvfb: the signals and properties
 * of an open and of a failed one, and a download from a local HTTP server. */
#include <glib/gstdio.h>
#include <gridweller.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <webkit2/webkit2.h>

static char* served; /* folder that the test servers serve */
static int http_port;

/* Every signal of the widget, recorded as "name|arg|arg...". */
typedef struct {
  GtkWidget* window;
  GridwellerGridwell* viewer;
  GPtrArray* events;
  int progress;
} Host;

static void record(Host* host, const char* name, char* args) {
  if (strcmp(name, "download-progress") == 0)
    host->progress++;
  else
    g_ptr_array_add(host->events, g_strconcat(name, args, NULL));
  g_free(args);
}

static void on_file(GridwellerGridwell* v, const char* file, gpointer name) {
  Host* host = g_object_get_data(G_OBJECT(v), "host");
  record(host, name, g_strdup_printf("|%s", file));
}

static void on_progress(GridwellerGridwell* v, int cur, int max, const char* file, gpointer name) {
  Host* host = g_object_get_data(G_OBJECT(v), "host");
  g_assert_cmpint(cur, <=, max);
  record(host, name, g_strdup_printf("|%d|%d|%s", cur, max, file));
}

static void on_complete(GridwellerGridwell* v, int max, const char* file, gpointer name) {
  Host* host = g_object_get_data(G_OBJECT(v), "host");
  record(host, name, g_strdup_printf("|%d|%s", max, file));
}

static void on_open(GridwellerGridwell* v, const char* book, const char* page, gpointer name) {
  Host* host = g_object_get_data(G_OBJECT(v), "host");
  record(host, name, g_strdup_printf("|%s|%s", book, page));
}

static const char* last_event(Host* host) {
  return host->events->len ? g_ptr_array_index(host->events, host->events->len - 1) : "";
}

static gboolean wake(gpointer unused) {
  return G_SOURCE_REMOVE;
}

/* Runs the main loop until `done (host)` or the deadline. */
static gboolean wait_for(gboolean (*done)(Host*), Host* host, double seconds) {
  const gint64 deadline = g_get_monotonic_time() + (gint64)(seconds * G_USEC_PER_SEC);
  while (!done(host)) {
    if (g_get_monotonic_time() >= deadline) return FALSE;
    guint id = g_timeout_add(10, wake, NULL);
    g_main_context_iteration(NULL, TRUE);
    GSource* source = g_main_context_find_source_by_id(NULL, id);
    if (source && !g_source_is_destroyed(source)) g_source_remove(id);
  }
  return TRUE;
}

static gboolean open_finished(Host* host) {
  return g_str_has_prefix(last_event(host), "open-complete") ||
         g_str_has_prefix(last_event(host), "open-error");
}

static gboolean download_finished(Host* host) {
  return g_str_has_prefix(last_event(host), "download-complete");
}

static gboolean titled(Host* host) {
  return webkit_web_view_get_title(
             WEBKIT_WEB_VIEW(gridweller_gridwell_get_web_view(host->viewer))) != NULL;
}

static gboolean mapped(Host* host) {
  return gtk_widget_get_mapped(GTK_WIDGET(host->viewer));
}

static void host_setup(Host* host, gconstpointer unused) {
  host->window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(host->window), 800, 600);
  host->viewer = GRIDWELLER_GRIDWELL(gridweller_gridwell_new());
  gtk_container_add(GTK_CONTAINER(host->window), GTK_WIDGET(host->viewer));
  gtk_widget_show_all(host->window);
  host->events = g_ptr_array_new_with_free_func(g_free);
  g_object_set_data(G_OBJECT(host->viewer), "host", host);
  g_signal_connect(host->viewer, "download-started", G_CALLBACK(on_file), "download-started");
  g_signal_connect(host->viewer, "download-progress", G_CALLBACK(on_progress), "download-progress");
  g_signal_connect(host->viewer, "download-error", G_CALLBACK(on_file), "download-error");
  g_signal_connect(host->viewer, "download-complete", G_CALLBACK(on_complete), "download-complete");
  g_signal_connect(host->viewer, "open-start", G_CALLBACK(on_open), "open-start");
  g_signal_connect(host->viewer, "open-complete", G_CALLBACK(on_open), "open-complete");
  g_signal_connect(host->viewer, "open-error", G_CALLBACK(on_open), "open-error");
  g_assert_true(wait_for(mapped, host, 20));
}

static void host_teardown(Host* host, gconstpointer unused) {
  if (host->window) gtk_widget_destroy(host->window);
  g_ptr_array_unref(host->events);
}

static void assert_events(Host* host, const char* const* expected) {
  guint n = g_strv_length((char**)expected);
  g_assert_cmpuint(host->events->len, ==, n);
  for (guint i = 0; i < n; i++)
    g_assert_cmpstr(g_ptr_array_index(host->events, i), ==, expected[i]);
}

static void test_open(Host* host, gconstpointer unused) {
  char* book = g_build_filename(GRIDWELL_SOURCE_DIR, "samples", "sample.xlsx", NULL);
  GridwellerOpenOptions* options = gridweller_open_options_new();
  g_object_set(options, "title", "C host page", "sheet-number", 2, NULL);
  g_assert_true(gridweller_gridwell_open_xl(host->viewer, book, options));
  g_object_unref(options);
  g_assert_true(wait_for(open_finished, host, 30));

  char* temp = gridweller_gridwell_get_temp_path(host->viewer);
  char* page = g_strconcat(temp, "sample_2.htm", NULL);
  char* start = g_strconcat("open-start|", book, "|", NULL);
  char* complete = g_strconcat("open-complete|", book, "|", page, NULL);
  assert_events(host, (const char* const[]){start, complete, NULL});
  char* html = gridweller_gridwell_get_html_file(host->viewer);
  g_assert_cmpstr(html, ==, page);
  g_assert_cmpint(gridweller_gridwell_get_sheet_total(host->viewer), ==, 5);
  char** names = gridweller_gridwell_get_sheet_names(host->viewer);
  g_assert_cmpuint(g_strv_length(names), ==, 5);
  g_assert_cmpstr(names[1], ==, "Sales 2025");
  WebKitWebView* view = WEBKIT_WEB_VIEW(gridweller_gridwell_get_web_view(host->viewer));
  g_assert_true(wait_for(titled, host, 10)); /* the title follows the end of the load */
  g_assert_cmpstr(webkit_web_view_get_title(view), ==, "C host page");

  /* A missing workbook: FALSE (or open-error), and the sheet is no longer on show. */
  g_ptr_array_set_size(host->events, 0);
  char* missing = g_build_filename(served, "absent.xlsx", NULL);
  if (gridweller_gridwell_open_xl(host->viewer, missing, NULL))
    g_assert_true(wait_for(open_finished, host, 30));
  for (guint i = 0; i < host->events->len; i++)
    g_assert_false(g_str_has_prefix(g_ptr_array_index(host->events, i), "open-complete"));
  g_assert_true(!gtk_widget_get_visible(GTK_WIDGET(view)) ||
                g_strcmp0(webkit_web_view_get_title(view), "C host page") != 0);

  g_free(missing);
  g_strfreev(names);
  g_free(html);
  g_free(complete);
  g_free(start);
  g_free(page);
  g_free(temp);
  g_free(book);
}

static void test_download(Host* host, gconstpointer unused) {
  char* url = g_strdup_printf("http://127.0.0.1:%d/slow/blob.bin", http_port);
  char* target = g_build_filename(served, "..", "download.bin", NULL);
  char* saved_to = NULL;
  g_assert_true(gridweller_gridwell_begin_download(host->viewer, url, target, &saved_to));
  g_assert_cmpstr(saved_to, ==, target);
  g_assert_true(wait_for(download_finished, host, 30));

  char* started = g_strconcat("download-started|", target, NULL);
  char* complete = g_strdup_printf("download-complete|%d|%s", 100000, target);
  assert_events(host, (const char* const[]){started, complete, NULL});
  g_assert_cmpint(host->progress, >=, 2);
  char* contents = NULL;
  gsize length = 0;
  g_assert_true(g_file_get_contents(target, &contents, &length, NULL));
  g_assert_cmpuint(length, ==, 100000);

  g_free(contents);
  g_free(complete);
  g_free(started);
  g_free(saved_to);
  g_free(target);
  g_free(url);
}

static void destroy_window(GridwellerGridwell* v, const char* book, const char* page,
                           gpointer data) {
  Host* host = data;
  gtk_widget_destroy(host->window); /* the window held the only reference to the widget */
  host->window = NULL;
}

static char* folder_to_go;
static gboolean folder_gone(Host* host) {
  return !g_file_test(folder_to_go, G_FILE_TEST_EXISTS);
}

static void test_destroy_in_handler(Host* host, gconstpointer unused) {
  char* book = g_build_filename(GRIDWELL_SOURCE_DIR, "samples", "sample.xlsx", NULL);
  folder_to_go = gridweller_gridwell_get_temp_path(host->viewer);
  g_signal_connect(host->viewer, "open-complete", G_CALLBACK(destroy_window), host);
  g_assert_true(gridweller_gridwell_open_xl(host->viewer, book, NULL));
  g_assert_true(wait_for(folder_gone, host, 30));
  g_assert_null(host->window);
  g_free(folder_to_go);
  g_free(book);
}

/* A host that destroys or removes the control's own widget through the GtkBin API: every member
 * then answers with its failure value, and closing the window afterwards is clean. */
static void test_child_taken_away(Host* host, gconstpointer destroy) {
  char* book = g_build_filename(GRIDWELL_SOURCE_DIR, "samples", "sample.xlsx", NULL);
  GridwellerOpenOptions* options = gridweller_open_options_new();
  g_object_set(options, "open-synchronously", TRUE, NULL);
  g_assert_true(gridweller_gridwell_open_xl(host->viewer, book, options));
  GtkWidget* child = gtk_bin_get_child(GTK_BIN(host->viewer));
  g_object_ref(child);
  if (destroy)
    gtk_widget_destroy(child);
  else
    gtk_container_remove(GTK_CONTAINER(host->viewer), child);

  GridwellerGridwell* v = host->viewer;
  g_assert_false(gridweller_gridwell_open_xl(v, book, options));
  g_assert_false(gridweller_gridwell_open_xl_range(v, book, NULL));
  g_assert_cmpint(gridweller_gridwell_get_sheet_total(v), ==, 0);
  g_assert_cmpuint(gridweller_gridwell_get_hwnd(v), ==, 0);
  char** names = gridweller_gridwell_get_sheet_names(v);
  g_assert_cmpuint(g_strv_length(names), ==, 0);
  char* page = gridweller_gridwell_get_html_file(v);
  g_assert_cmpstr(page, ==, "");
  char* saved_to = NULL;
  g_assert_false(
      gridweller_gridwell_begin_download(v, "http://127.0.0.1:1/a.xlsx", "/tmp/a", &saved_to));
  g_assert_false(gridweller_gridwell_save_html(v, served, "copy.htm"));
  g_assert_false(gridweller_gridwell_save_copy(v, "/tmp/gridweller-copy.xlsx", FALSE));
  g_assert_null(gridweller_gridwell_get_web_view(v));
  gridweller_gridwell_set_path(v, book);
  gridweller_gridwell_go_home(v, TRUE);
  gridweller_gridwell_refresh(v);
  gridweller_gridwell_find_in_document(v);

  gtk_widget_destroy(host->window);
  host->window = NULL;
  g_object_unref(child); /* a removed child goes only now */
  g_free(saved_to);
  g_free(page);
  g_strfreev(names);
  g_object_unref(options);
  g_free(book);
}

/* Starts the HTTP server of the widget tests on a folder with a 100000-byte file. */
static GPid start_servers(void) {
  char* base = g_dir_make_tmp("gridweller-c-XXXXXX", NULL);
  served = g_build_filename(base, "served", NULL);
  g_mkdir(served, 0700);
  char* blob = g_malloc(100000);
  for (int i = 0; i < 100000; i++) blob[i] = (char)(i * 7919 % 251);
  char* blob_path = g_build_filename(served, "blob.bin", NULL);
  g_file_set_contents(blob_path, blob, 100000, NULL);
  g_free(blob_path);
  g_free(blob);
  g_setenv("GRIDWTEMP", base, TRUE);
  g_free(base);

  const char* argv[] = {GRIDWELL_PYTHON, GRIDWELL_TEST_SERVERS, served, NULL};
  GPid pid = 0;
  int out = -1;
  g_assert_true(g_spawn_async_with_pipes(NULL, (char**)argv, NULL, G_SPAWN_STDERR_TO_DEV_NULL, NULL,
                                         NULL, &pid, NULL, &out, NULL, NULL));
  FILE* f = fdopen(out, "r");
  char line[128] = "";
  g_assert_nonnull(fgets(line, sizeof line, f));
  g_assert_true(sscanf(line, "HTTP %d", &http_port) == 1);
  /* The FTP line follows; the server would stop on a closed pipe when it writes it. */
  g_assert_nonnull(fgets(line, sizeof line, f));
  fclose(f);
  return pid;
}

int main(int argc, char** argv) {
  gtk_test_init(&argc, &argv, NULL);
  GPid servers = start_servers();
  g_test_add("/gridweller/open", Host, NULL, host_setup, test_open, host_teardown);
  g_test_add("/gridweller/download", Host, NULL, host_setup, test_download, host_teardown);
  g_test_add("/gridweller/destroy-in-handler", Host, NULL, host_setup, test_destroy_in_handler,
             host_teardown);
  g_test_add("/gridweller/child-destroyed", Host, "destroy", host_setup, test_child_taken_away,
             host_teardown);
  g_test_add("/gridweller/child-removed", Host, NULL, host_setup, test_child_taken_away,
             host_teardown);
  const int status = g_test_run();
  kill(servers, SIGTERM);
  g_spawn_close_pid(servers);
  char* base = g_path_get_dirname(served);
  char* command[] = {"rm", "-rf", base, NULL};
  g_spawn_sync(NULL, command, NULL, G_SPAWN_SEARCH_PATH, NULL, NULL, NULL, NULL, NULL, NULL);
  g_free(base);
  g_free(served);
  return status;
}
