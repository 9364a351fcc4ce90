#include "tests/support/widget_hooks.h"

#include <webkit2/webkit2.h>

#include <memory>
#include <utility>

#include "control/gtk/gridwell_widget.h"
#include "control/gtk/webkit_browser.h"

namespace {

WebKitWebView* ViewOf(GtkWidget* widget) {
  return WEBKIT_WEB_VIEW(gridwell_widget_web_view(widget));
}

}  // namespace

std::string gridwell_widget_run_javascript(GtkWidget* widget, const std::string& script, bool* ok,
                                           double timeoutSeconds) {
  struct State {
    bool done = false, ok = false;
    std::string result;
  };
  auto state = std::make_shared<State>();
  auto* keep = new std::shared_ptr<State>(state);
  webkit_web_view_evaluate_javascript(
      ViewOf(widget), script.c_str(), -1, nullptr, nullptr, nullptr,
      [](GObject* view, GAsyncResult* res, gpointer p) {
        std::unique_ptr<std::shared_ptr<State>> s(static_cast<std::shared_ptr<State>*>(p));
        GError* error = nullptr;
        JSCValue* value =
            webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), res, &error);
        if (value) {
          char* text = jsc_value_to_string(value);
          (*s)->result = text ? text : "";
          (*s)->ok = true;
          g_free(text);
          g_object_unref(value);
        }
        if (error) g_error_free(error);
        (*s)->done = true;
      },
      keep);
  gridwell_widget_run_until(state->done, timeoutSeconds);
  if (ok) *ok = state->ok;
  return state->result;
}

bool gridwell_widget_print_to_pdf(GtkWidget* widget, const std::string& pdfPath,
                                  double timeoutSeconds) {
  auto state = std::make_shared<std::pair<bool, bool>>(false, false);  // done, ok
  gridwell_widget_browser(widget)->PrintToPdf(pdfPath, [state](bool ok) {
    state->first = true;
    state->second = ok;
  });
  gridwell_widget_run_until(state->first, timeoutSeconds);
  return state->second;
}

unsigned gridwell_widget_find_text(GtkWidget* widget, const std::string& text,
                                   double timeoutSeconds) {
  WebKitFindController* finder = webkit_web_view_get_find_controller(ViewOf(widget));
  struct State {
    bool done = false;
    unsigned count = 0;
  } state;
  const gulong counted = g_signal_connect(
      finder, "counted-matches", G_CALLBACK(+[](WebKitFindController*, guint n, gpointer p) {
        auto* s = static_cast<State*>(p);
        s->count = n;
        s->done = true;
      }),
      &state);
  webkit_find_controller_count_matches(
      finder, text.c_str(), WEBKIT_FIND_OPTIONS_CASE_INSENSITIVE | WEBKIT_FIND_OPTIONS_WRAP_AROUND,
      G_MAXUINT);
  gridwell_widget_run_until(state.done, timeoutSeconds);
  g_signal_handler_disconnect(finder, counted);
  if (state.count > 0) {
    webkit_find_controller_search(
        finder, text.c_str(),
        WEBKIT_FIND_OPTIONS_CASE_INSENSITIVE | WEBKIT_FIND_OPTIONS_WRAP_AROUND, G_MAXUINT);
  }
  return state.count;
}

bool gridwell_widget_find_dialog_visible(GtkWidget* widget) {
  const gridwell::WebKitBrowser* browser = gridwell_widget_browser(widget);
  return browser && browser->FindDialogVisible();
}

std::string gridwell_widget_find_in_dialog(GtkWidget* widget, const std::string& text,
                                           double timeoutSeconds) {
  gridwell::WebKitBrowser* browser = gridwell_widget_browser(widget);
  browser->SetFindText(text);
  bool answered = false;
  const gint64 end = g_get_monotonic_time() + static_cast<gint64>(timeoutSeconds * 1e6);
  while (!answered && g_get_monotonic_time() < end) {
    g_main_context_iteration(nullptr, FALSE);
    answered = browser->FindStatus().rfind("Searching", 0) != 0;
    if (!answered) g_usleep(2000);
  }
  return browser->FindStatus();
}

std::string gridwell_widget_find_step(GtkWidget* widget, bool backwards, double timeoutSeconds) {
  gridwell::WebKitBrowser* browser = gridwell_widget_browser(widget);
  const std::string before = browser->FindStatus();
  browser->FindNext(backwards);
  const gint64 end = g_get_monotonic_time() + static_cast<gint64>(timeoutSeconds * 1e6);
  while (browser->FindStatus() == before && g_get_monotonic_time() < end) {
    g_main_context_iteration(nullptr, FALSE);
    g_usleep(2000);
  }
  return browser->FindStatus();
}

void gridwell_widget_send_key(GtkWidget* widget, guint keyval, GdkModifierType modifiers) {
  GtkWidget* view = GTK_WIDGET(ViewOf(widget));
  GdkEvent* event = gdk_event_new(GDK_KEY_PRESS);
  event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(view)));
  event->key.send_event = TRUE;
  event->key.time = GDK_CURRENT_TIME;
  event->key.state = modifiers;
  event->key.keyval = keyval;
  GdkSeat* seat = gdk_display_get_default_seat(gtk_widget_get_display(view));
  gdk_event_set_device(event, gdk_seat_get_keyboard(seat));
  gboolean handled = FALSE;
  g_signal_emit_by_name(view, "key-press-event", event, &handled);
  gdk_event_free(event);
}

void gridwell_widget_set_preview_handler(GtkWidget* widget,
                                         std::function<void(const std::string&)> handler) {
  gridwell_widget_browser(widget)->SetPreviewHandler(std::move(handler));
}
