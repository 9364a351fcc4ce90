// A host built against the installed library alone: it creates the widget under a display,
// opens the workbook named on its command line synchronously and prints what the control says.
#include <gtk/gtk.h>

#include <cstdio>
#include <string>

#include "control/gtk/gridwell_widget.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: consumer WORKBOOK TEMP_BASE/\n");
    return 2;
  }
  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "consumer: no display\n");
    return 3;
  }
  gridwell::MemoryPropertyStore store;
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkWidget* widget = gridwell_widget_new_with_temp_base(&store, argv[2]);
  gtk_container_add(GTK_CONTAINER(window), widget);
  gridwell::Gridwell& control = gridwell_widget_control(widget);
  bool opened = false;
  control.OpenComplete = [&](std::string&, std::string&) { opened = true; };
  control.OpenXL({.strPath = argv[1], .blnOpenSynchronously = gridwell::kVbTrue});
  std::printf("opened=%d sheets=%d page=%s\n", opened ? 1 : 0, control.SheetTotal(),
              control.HTMLfile().empty() ? "none" : "written");
  gtk_widget_destroy(window);
  return opened ? 0 : 1;
}
