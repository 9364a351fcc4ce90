// The Gridwell control as a GTK 3 widget: a container whose only child is a WebKitWebView.
// Downloads run on libcurl's multi interface driven by the GLib main loop, message boxes are
// GtkMessageDialogs, and the document commands map onto WebKit's print, find and save
// facilities.
//
//   gridwell::MemoryPropertyStore store;            // or the host's own PropertyStore
//   GtkWidget* w = gridwell_widget_new(&store);
//   gtk_container_add(GTK_CONTAINER(window), w);
//   gridwell::Gridwell& gw = gridwell_widget_control(w);
//   gw.OpenComplete = [](std::string& book, std::string& page) { ... };
//   gw.OpenXL({.strPath = "/data/Book1.xlsx", .blnOpenSynchronously = gridwell::kVbTrue});
//
// Destroying the widget runs the control's clean-up (temporary files and folder).
#pragma once

#include <gtk/gtk.h>

#include <memory>
#include <string>

#include "control/gridwell.h"

G_BEGIN_DECLS

#define GRIDWELL_TYPE_WIDGET (gridwell_widget_get_type())
G_DECLARE_FINAL_TYPE(GridwellWidget, gridwell_widget, GRIDWELL, WIDGET, GtkBin)

G_END_DECLS

// Creates the widget and its control. `store` holds the persisted properties and must outlive
// the widget; nullptr gives the widget a private in-memory store. The control reads its
// properties from the store at once (a new instance with no entry starts with the defaults).
GtkWidget* gridwell_widget_new(gridwell::PropertyStore* store);

// Same, with the base temporary folder given explicitly (ending with "/"; created 0700 when
// missing). gridwell_widget_new uses gridwell::DefaultTempBase().
GtkWidget* gridwell_widget_new_with_temp_base(gridwell::PropertyStore* store,
                                              const std::string& tempBase);

// The control inside the widget; valid until the widget is destroyed.
gridwell::Gridwell& gridwell_widget_control(GtkWidget* widget);

// Keeps the widget's control in memory while the returned token lives, even when the widget is
// destroyed meanwhile (its clean-up still runs at once): for hosts whose frames go on using the
// control across a call in which a handler may destroy the widget. Null once it is destroyed.
std::shared_ptr<void> gridwell_widget_hold(GtkWidget* widget);

// Saves the control's persisted properties into its store (what a host does when it saves its
// form).
void gridwell_widget_save_properties(GtkWidget* widget);

// The WebKitWebView shown by the widget (a GtkWidget*, to keep WebKit headers out of hosts).
GtkWidget* gridwell_widget_web_view(GtkWidget* widget);

// Writes a PNG snapshot of the visible part of the page, driving the main loop until it is
// written (or `timeoutSeconds` have passed); false on failure. The browser paints through its
// own compositor, so a copy of the window's pixels does not show the page: hosts that picture
// their window lay this over it.
bool gridwell_widget_snapshot_png(GtkWidget* widget, const std::string& pngPath,
                                  double timeoutSeconds = 10);
