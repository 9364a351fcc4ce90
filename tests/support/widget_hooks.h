// What the widget and demo tests drive the control's GTK widget with, beyond what hosts get from
// control/gtk/gridwell_widget.h: each call runs the main loop until the answer is there (or
// `timeoutSeconds` have passed).
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <string>

// Runs JavaScript on the shown page and returns its result converted to a string; `ok` tells
// whether it ran and produced a value.
std::string gridwell_widget_run_javascript(GtkWidget* widget, const std::string& script,
                                           bool* ok = nullptr, double timeoutSeconds = 10);

// Prints the shown page to a PDF file without any dialog; false on failure.
bool gridwell_widget_print_to_pdf(GtkWidget* widget, const std::string& pdfPath,
                                  double timeoutSeconds = 30);

// Searches the page as the find bar does (wrapping around); returns the number of matches.
unsigned gridwell_widget_find_text(GtkWidget* widget, const std::string& text,
                                   double timeoutSeconds = 10);

// Whether the find dialog opened by FindInDocument is showing.
bool gridwell_widget_find_dialog_visible(GtkWidget* widget);

// Types `text` into the find dialog as a user would and returns what its label says once
// WebKit has answered ("2 matches", "Not found"), or the label at the time limit.
std::string gridwell_widget_find_in_dialog(GtkWidget* widget, const std::string& text,
                                           double timeoutSeconds = 10);

// Presses the find dialog's next (or previous) button and returns what its label says once it
// changed, or the label at the time limit.
std::string gridwell_widget_find_step(GtkWidget* widget, bool backwards, double timeoutSeconds = 5);

// Sends a key press with the modifiers to the widget's browser, as the keyboard would.
void gridwell_widget_send_key(GtkWidget* widget, guint keyval, GdkModifierType modifiers);

// Receives the PDF of the next print previews instead of the desktop's PDF viewer; an empty
// function restores the viewer.
void gridwell_widget_set_preview_handler(GtkWidget* widget,
                                         std::function<void(const std::string& pdfPath)> handler);
