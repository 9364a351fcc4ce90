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

#include <functional>
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

// Saves the control's persisted properties into its store (what a host does when it saves its
// form).
void gridwell_widget_save_properties(GtkWidget* widget);

// The WebKitWebView shown by the widget (a GtkWidget*, to keep WebKit headers out of hosts).
GtkWidget* gridwell_widget_web_view(GtkWidget* widget);

// ---- Test hooks: drive the main loop until the answer is there (or `timeoutSeconds`) ----

// Runs JavaScript on the shown page and returns its result converted to a string; `ok` tells
// whether it ran and produced a value.
std::string gridwell_widget_run_javascript(GtkWidget* widget, const std::string& script,
                                           bool* ok = nullptr, double timeoutSeconds = 10);

// Writes a PNG snapshot of the visible part of the page; false on failure.
bool gridwell_widget_snapshot_png(GtkWidget* widget, const std::string& pngPath,
                                  double timeoutSeconds = 10);

// Prints the shown page to a PDF file without any dialog; false on failure.
bool gridwell_widget_print_to_pdf(GtkWidget* widget, const std::string& pdfPath,
                                  double timeoutSeconds = 30);

// Searches the page as the find bar does (wrapping around); returns the number of matches.
unsigned gridwell_widget_find_text(GtkWidget* widget, const std::string& text,
                                   double timeoutSeconds = 10);

// Whether the find dialog opened by FindInDocument is showing, and its search text.
bool gridwell_widget_find_dialog_visible(GtkWidget* widget);

// Receives the PDF of the next print previews instead of the desktop's PDF viewer; an empty
// function restores the viewer.
void gridwell_widget_set_preview_handler(GtkWidget* widget,
                                         std::function<void(const std::string& pdfPath)> handler);

// Answers the next message boxes without showing them (for tests): each call to the message
// box pops the front answer; with the queue empty, real dialogs are shown again.
void gridwell_widget_queue_message_box_answer(GtkWidget* widget, gridwell::MessageBoxAnswer answer);
