/* A C host built against the installed GObject widget alone (pkg-config gridweller-gobject): it
 * opens the workbook named on its command line synchronously and prints what the widget says. */
#include <gridweller.h>
#include <stdio.h>

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: c_host WORKBOOK\n");
    return 2;
  }
  if (!gtk_init_check(&argc, &argv)) {
    fprintf(stderr, "c_host: no display\n");
    return 3;
  }
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkWidget* viewer = gridweller_gridwell_new();
  gtk_container_add(GTK_CONTAINER(window), viewer);
  GridwellerOpenOptions* options = gridweller_open_options_new();
  g_object_set(options, "open-synchronously", TRUE, NULL);
  gboolean ok = gridweller_gridwell_open_xl(GRIDWELLER_GRIDWELL(viewer), argv[1], options);
  g_object_unref(options);
  printf("opened=%d sheets=%d\n", ok,
         gridweller_gridwell_get_sheet_total(GRIDWELLER_GRIDWELL(viewer)));
  gtk_widget_destroy(window);
  return ok ? 0 : 1;
}
