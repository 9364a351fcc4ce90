#include "control/gtk/webkit_browser.h"

#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <limits>
#include <memory>

namespace gridwell {

namespace {

bool IsBlank(const char* uri) {
  return !uri || !*uri || g_str_equal(uri, "about:blank");
}

std::string FileUri(const std::string& path) {
  std::string absolute = path;
  if (!g_path_is_absolute(path.c_str())) {
    char* cwd = g_get_current_dir();
    absolute = std::string(cwd) + "/" + path;
    g_free(cwd);
  }
  char* uri = g_filename_to_uri(absolute.c_str(), nullptr, nullptr);
  if (!uri) return {};
  std::string out = uri;
  g_free(uri);
  return out;
}

// A JavaScript string literal holding `text`.
std::string JsString(const std::string& text) {
  std::string out = "'";
  for (const unsigned char c : text) {
    if (c == '\\' || c == '\'') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "'";
}

std::string FormatTime(time_t t) {
  char buf[64];
  struct tm tm;
  localtime_r(&t, &tm);
  strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  return buf;
}

}  // namespace

WebKitBrowser::WebKitBrowser(WebKitWebView* view, std::function<std::string()> tempFolder)
    : view_(view), tempFolder_(std::move(tempFolder)), scripts_(g_cancellable_new()) {
  g_signal_connect(view_, "load-changed", G_CALLBACK(&WebKitBrowser::OnLoadChanged), this);
  g_signal_connect(view_, "load-failed", G_CALLBACK(&WebKitBrowser::OnLoadFailed), this);
  g_signal_connect(view_, "create", G_CALLBACK(&WebKitBrowser::OnCreate), this);
  g_signal_connect(view_, "key-press-event", G_CALLBACK(&WebKitBrowser::OnKeyPress), this);
}

WebKitBrowser::~WebKitBrowser() {
  g_cancellable_cancel(scripts_);
  g_object_unref(scripts_);
  g_signal_handlers_disconnect_by_data(view_, this);
  g_signal_handlers_disconnect_by_data(webkit_web_view_get_find_controller(view_), this);
  if (findDialog_) gtk_widget_destroy(findDialog_);
  if (propertiesDialog_) gtk_widget_destroy(propertiesDialog_);
  if (pageSetup_) g_object_unref(pageSetup_);
  if (printSettings_) g_object_unref(printSettings_);
}

void WebKitBrowser::SetVisible(bool visible) {
  gtk_widget_set_visible(GTK_WIDGET(view_), visible);
  if (visible && rect_.width > 0)
    Move(rect_.x - originX_, rect_.y - originY_, rect_.width, rect_.height);
}

bool WebKitBrowser::Visible() const {
  return gtk_widget_get_visible(GTK_WIDGET(view_));
}

void WebKitBrowser::Move(int left, int top, int width, int height) {
  rect_ = {originX_ + left, originY_ + top, width, height};
  if (gtk_widget_get_visible(GTK_WIDGET(view_))) {
    // GTK insists on a size request before an allocation.
    gtk_widget_get_preferred_size(GTK_WIDGET(view_), nullptr, nullptr);
    gtk_widget_size_allocate(GTK_WIDGET(view_), &rect_);
  }
}

bool WebKitBrowser::Navigate(const std::string& path) {
  const std::string uri = FileUri(path);
  if (uri.empty()) return false;
  expectedUri_ = uri;
  swallowFinish_ = false;
  ownStartPending_ = true;
  webkit_web_view_load_uri(view_, uri.c_str());
  // The start is reported while the request is issued, as the control's waits expect.
  if (control_) control_->OnBeforeNavigate();
  return true;
}

void WebKitBrowser::NavigateBlank() {
  expectedUri_ = "about:blank";
  ownStartPending_ = false;
  webkit_web_view_load_uri(view_, "about:blank");
}

void WebKitBrowser::ShowErrorPage(const std::string& message) {
  char* text = g_markup_escape_text(message.c_str(), -1);
  const std::string html =
      std::string(
          "<!DOCTYPE html><html><head><meta charset='utf-8'><title>Not shown</title>"
          "</head><body style='font:14px sans-serif;margin:2em'><p>") +
      text + "</p></body></html>";
  g_free(text);
  // Loaded as about:blank, so that it counts as no page: its load raises no open events, and
  // the document commands and the find dialog leave it alone.
  expectedUri_ = "about:blank";
  ownStartPending_ = false;
  webkit_web_view_load_html(view_, html.c_str(), "about:blank");
}

void WebKitBrowser::Refresh() {
  webkit_web_view_reload(view_);
}

void WebKitBrowser::SetFocus() {
  gtk_widget_grab_focus(GTK_WIDGET(view_));
}

void WebKitBrowser::OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer p) {
  auto* self = static_cast<WebKitBrowser*>(p);
  const char* uri = webkit_web_view_get_uri(view);
  switch (event) {
    case WEBKIT_LOAD_STARTED:
      if (self->ownStartPending_) {
        self->ownStartPending_ = false;
        return;
      }
      self->swallowFinish_ = false;
      self->expectedUri_ = uri ? uri : "";
      // A navigation the user started, e.g. by following a link in the page.
      if (!IsBlank(uri) && self->control_) self->control_->OnBeforeNavigate();
      return;
    case WEBKIT_LOAD_REDIRECTED:
      self->expectedUri_ = uri ? uri : "";
      return;
    case WEBKIT_LOAD_COMMITTED:
      return;
    case WEBKIT_LOAD_FINISHED:
      self->ownStartPending_ = false;
      // After a failed load WebKit still closes with FINISHED, carrying the previous address.
      if (self->swallowFinish_) {
        self->swallowFinish_ = false;
        return;
      }
      if (IsBlank(self->expectedUri_.c_str())) return;
      if (self->control_) self->control_->OnNavigateComplete();
      return;
  }
}

gboolean WebKitBrowser::OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error,
                                     gpointer p) {
  auto* self = static_cast<WebKitBrowser*>(p);
  self->swallowFinish_ = true;
  // A load cancelled because a newer one replaced it is no failure of the newer one.
  if (g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED)) return TRUE;
  if (IsBlank(uri)) return TRUE;
  if (self->control_) self->control_->OnNavigateError();
  return TRUE;  // no WebKit error page: the control reports the failure by its event
}

GtkWidget* WebKitBrowser::OnCreate(WebKitWebView* view, WebKitNavigationAction*, gpointer) {
  // A link that asks for a new window opens in a window of its own.
  GtkWidget* child = webkit_web_view_new_with_related_view(view);
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), 800, 600);
  gtk_container_add(GTK_CONTAINER(window), child);
  g_signal_connect_swapped(child, "ready-to-show", G_CALLBACK(gtk_widget_show_all), window);
  g_signal_connect_swapped(child, "close", G_CALLBACK(gtk_widget_destroy), window);
  return child;
}

GtkWindow* WebKitBrowser::Toplevel() const {
  GtkWidget* top = gtk_widget_get_toplevel(GTK_WIDGET(view_));
  return gtk_widget_is_toplevel(top) && GTK_IS_WINDOW(top) ? GTK_WINDOW(top) : nullptr;
}

void WebKitBrowser::ExecWB(int32_t command, int32_t option) {
  // Nothing to work on before a page was shown.
  const char* uri = webkit_web_view_get_uri(view_);
  if (IsBlank(uri)) return;
  switch (command) {
    case kCmdPageSetup:
      PageSetup();
      break;
    case kCmdPrint:
      Print(option != kExecDontPromptUser);
      break;
    case kCmdPrintPreview:
      PrintPreview();
      break;
    case kCmdProperties:
      ShowProperties();
      break;
    case kCmdSaveAs:
      SaveAs();
      break;
    default:
      break;  // 24 (hide toolbars): the view has none
  }
}

void WebKitBrowser::PageSetup() {
  if (!printSettings_) printSettings_ = gtk_print_settings_new();
  GtkPageSetup* chosen = gtk_print_run_page_setup_dialog(Toplevel(), pageSetup_, printSettings_);
  if (pageSetup_) g_object_unref(pageSetup_);
  pageSetup_ = chosen;
}

// Runs `script` on the page, then `then` (unless this browser went away meanwhile).
void WebKitBrowser::RunScriptThen(const std::string& script, std::function<void()> then) {
  RunScriptForNumber(script, [then = std::move(then)](double) { then(); });
}

// Runs `script` on the page, then `then` with its result as a number (NaN when the result is
// not a number or the script failed), unless this browser went away meanwhile.
void WebKitBrowser::RunScriptForNumber(const std::string& script,
                                       std::function<void(double)> then) {
  auto* next = new std::function<void(double)>(std::move(then));
  webkit_web_view_evaluate_javascript(
      view_, script.c_str(), -1, nullptr, nullptr, scripts_,
      [](GObject* view, GAsyncResult* res, gpointer p) {
        std::unique_ptr<std::function<void(double)>> owned(
            static_cast<std::function<void(double)>*>(p));
        GError* error = nullptr;
        JSCValue* value =
            webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), res, &error);
        const bool gone = error && g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
        const double number = value && jsc_value_is_number(value)
                                  ? jsc_value_to_double(value)
                                  : std::numeric_limits<double>::quiet_NaN();
        if (value) g_object_unref(value);
        if (error) g_error_free(error);
        if (!gone) (*owned)(number);
      },
      next);
}

// A fast page keeps most of its rows as text until they are needed; printing needs them all.
constexpr const char* kShowWholePage = "window.gridwellShowAll && window.gridwellShowAll(); 0";

void WebKitBrowser::Print(bool prompt) {
  RunScriptThen(kShowWholePage, [this, prompt] { PrintShown(prompt); });
}

void WebKitBrowser::PrintShown(bool prompt) {
  WebKitPrintOperation* op = webkit_print_operation_new(view_);
  if (pageSetup_) webkit_print_operation_set_page_setup(op, pageSetup_);
  if (printSettings_) webkit_print_operation_set_print_settings(op, printSettings_);
  if (prompt) {
    if (webkit_print_operation_run_dialog(op, Toplevel()) ==
        WEBKIT_PRINT_OPERATION_RESPONSE_PRINT) {
      if (printSettings_) g_object_unref(printSettings_);
      printSettings_ = webkit_print_operation_get_print_settings(op);
      g_object_ref(printSettings_);
    }
  } else {
    webkit_print_operation_print(op);
  }
  g_object_unref(op);
}

void WebKitBrowser::PrintToPdf(const std::string& pdfPath, std::function<void(bool)> done) {
  RunScriptThen(kShowWholePage, [this, pdfPath, done = std::move(done)]() mutable {
    PrintShownToPdf(pdfPath, std::move(done));
  });
}

void WebKitBrowser::PrintShownToPdf(const std::string& pdfPath, std::function<void(bool)> done) {
  struct Job {
    std::function<void(bool)> done;
    bool failed = false;
  };
  WebKitPrintOperation* op = webkit_print_operation_new(view_);
  GtkPrintSettings* settings = gtk_print_settings_new();
  gtk_print_settings_set_printer(settings, "Print to File");
  gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_FILE_FORMAT, "pdf");
  char* uri = g_filename_to_uri(pdfPath.c_str(), nullptr, nullptr);
  gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_URI, uri ? uri : "");
  g_free(uri);
  webkit_print_operation_set_print_settings(op, settings);
  if (pageSetup_) webkit_print_operation_set_page_setup(op, pageSetup_);
  g_object_unref(settings);
  auto* job = new Job{std::move(done)};
  g_signal_connect(op, "failed", G_CALLBACK(+[](WebKitPrintOperation*, GError*, gpointer j) {
                     static_cast<Job*>(j)->failed = true;
                   }),
                   job);
  g_signal_connect(op, "finished", G_CALLBACK(+[](WebKitPrintOperation* o, gpointer j) {
                     std::unique_ptr<Job> owned(static_cast<Job*>(j));
                     g_signal_handlers_disconnect_by_data(o, j);
                     if (owned->done) owned->done(!owned->failed);
                     g_object_unref(o);
                   }),
                   job);
  webkit_print_operation_print(op);  // the operation keeps itself alive until "finished"
}

void WebKitBrowser::PrintPreview() {
  const std::string folder = tempFolder_ ? tempFolder_() : std::string();
  if (folder.empty()) return;
  const char* uri = webkit_web_view_get_uri(view_);
  char* path = uri ? g_filename_from_uri(uri, nullptr, nullptr) : nullptr;
  char* base = path ? g_path_get_basename(path) : g_strdup("page");
  const std::string pdf = folder + base + ".preview.pdf";
  g_free(base);
  g_free(path);
  PrintToPdf(pdf, [pdf, handler = previewHandler_](bool ok) {
    if (!ok) return;
    if (handler) {
      handler(pdf);
      return;
    }
    char* pdfUri = g_filename_to_uri(pdf.c_str(), nullptr, nullptr);
    if (pdfUri) g_app_info_launch_default_for_uri(pdfUri, nullptr, nullptr);
    g_free(pdfUri);
  });
}

void WebKitBrowser::ShowProperties() {
  if (propertiesDialog_) gtk_widget_destroy(propertiesDialog_);
  const char* uri = webkit_web_view_get_uri(view_);
  const char* title = webkit_web_view_get_title(view_);
  std::string text = std::string("Title: ") + (title ? title : "") + "\nAddress: " + uri;
  char* path = g_filename_from_uri(uri, nullptr, nullptr);
  struct stat st;
  if (path && stat(path, &st) == 0) {
    text += "\nSize: " + std::to_string(st.st_size) + " bytes";
    text += "\nModified: " + FormatTime(st.st_mtime);
    text += "\nChanged: " + FormatTime(st.st_ctime);
    text += "\nAccessed: " + FormatTime(st.st_atime);
  }
  g_free(path);
  propertiesDialog_ =
      gtk_message_dialog_new(Toplevel(), GTK_DIALOG_DESTROY_WITH_PARENT, GTK_MESSAGE_INFO,
                             GTK_BUTTONS_CLOSE, "%s", text.c_str());
  gtk_window_set_title(GTK_WINDOW(propertiesDialog_), "Properties");
  g_signal_connect(propertiesDialog_, "response", G_CALLBACK(gtk_widget_destroy), nullptr);
  g_signal_connect(propertiesDialog_, "destroy", G_CALLBACK(gtk_widget_destroyed),
                   &propertiesDialog_);
  gtk_widget_show(propertiesDialog_);
}

void WebKitBrowser::SaveAs() {
  const char* uri = webkit_web_view_get_uri(view_);
  GtkFileChooserNative* chooser = gtk_file_chooser_native_new(
      "Save As", Toplevel(), GTK_FILE_CHOOSER_ACTION_SAVE, "_Save", "_Cancel");
  gtk_file_chooser_set_do_overwrite_confirmation(GTK_FILE_CHOOSER(chooser), TRUE);
  char* path = g_filename_from_uri(uri, nullptr, nullptr);
  if (path) {
    char* name = g_path_get_basename(path);
    gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(chooser), name);
    g_free(name);
  }
  if (gtk_native_dialog_run(GTK_NATIVE_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
    GFile* target = gtk_file_chooser_get_file(GTK_FILE_CHOOSER(chooser));
    if (path) {
      // A local page is saved as the file it is.
      GFile* source = g_file_new_for_path(path);
      g_file_copy(source, target, G_FILE_COPY_OVERWRITE, nullptr, nullptr, nullptr, nullptr);
      g_object_unref(source);
    } else {
      // A page reached by a link to the web: WebKit saves it as a web archive.
      webkit_web_view_save_to_file(view_, target, WEBKIT_SAVE_MODE_MHTML, nullptr, nullptr,
                                   nullptr);
    }
    g_object_unref(target);
  }
  g_free(path);
  g_object_unref(chooser);
}

void WebKitBrowser::EnsureFindDialog() {
  if (findDialog_) return;
  findDialog_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(findDialog_), "Find");
  gtk_window_set_resizable(GTK_WINDOW(findDialog_), FALSE);
  if (GtkWindow* top = Toplevel()) gtk_window_set_transient_for(GTK_WINDOW(findDialog_), top);
  gtk_window_set_destroy_with_parent(GTK_WINDOW(findDialog_), TRUE);
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  gtk_container_set_border_width(GTK_CONTAINER(box), 6);
  findEntry_ = gtk_search_entry_new();
  GtkWidget* prev = gtk_button_new_with_mnemonic("_Previous");
  GtkWidget* next = gtk_button_new_with_mnemonic("_Next");
  findLabel_ = gtk_label_new("");
  gtk_box_pack_start(GTK_BOX(box), findEntry_, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(box), prev, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box), next, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box), findLabel_, FALSE, FALSE, 0);
  gtk_container_add(GTK_CONTAINER(findDialog_), box);

  WebKitFindController* finder = webkit_web_view_get_find_controller(view_);
  g_signal_connect(findEntry_, "search-changed", G_CALLBACK(+[](GtkSearchEntry* e, gpointer self) {
                     static_cast<WebKitBrowser*>(self)->StartFind(gtk_entry_get_text(GTK_ENTRY(e)));
                   }),
                   this);
  // The entry starts its search a moment after the last key; until the answer is there the
  // label must not show the answer about the earlier term.
  g_signal_connect(findEntry_, "changed", G_CALLBACK(+[](GtkEditable* e, gpointer label) {
                     const char* text = gtk_entry_get_text(GTK_ENTRY(e));
                     gtk_label_set_text(GTK_LABEL(label), *text ? "Searching\u2026" : "");
                   }),
                   findLabel_);
  auto* forward =
      +[](GtkWidget*, gpointer self) { static_cast<WebKitBrowser*>(self)->FindNext(false); };
  g_signal_connect(findEntry_, "activate", G_CALLBACK(forward), this);
  g_signal_connect(next, "clicked", G_CALLBACK(forward), this);
  g_signal_connect(prev, "clicked", G_CALLBACK(+[](GtkWidget*, gpointer self) {
                     static_cast<WebKitBrowser*>(self)->FindNext(true);
                   }),
                   this);
  g_signal_connect(finder, "counted-matches",
                   G_CALLBACK(+[](WebKitFindController*, guint n, gpointer self) {
                     static_cast<WebKitBrowser*>(self)->OnMatchesCounted(n);
                   }),
                   this);
  g_signal_connect(findDialog_, "delete-event", G_CALLBACK(gtk_widget_hide_on_delete), nullptr);
  g_signal_connect(findDialog_, "key-press-event",
                   G_CALLBACK(+[](GtkWidget* dialog, GdkEventKey* event, gpointer) -> gboolean {
                     if (event->keyval != GDK_KEY_Escape) return FALSE;
                     gtk_widget_hide(dialog);  // Escape closes the dialog, as in any find bar
                     return TRUE;
                   }),
                   nullptr);
  g_signal_connect(findDialog_, "hide", G_CALLBACK(+[](GtkWidget*, gpointer self) {
                     static_cast<WebKitBrowser*>(self)->EndFind();
                   }),
                   this);
  g_signal_connect(findDialog_, "destroy", G_CALLBACK(+[](GtkWidget*, gpointer self) {
                     auto* b = static_cast<WebKitBrowser*>(self);
                     g_signal_handlers_disconnect_by_data(
                         webkit_web_view_get_find_controller(b->view_), b);
                     b->findDialog_ = nullptr;
                     b->findEntry_ = nullptr;
                     b->findLabel_ = nullptr;
                   }),
                   this);
  gtk_widget_show_all(box);
}

// A fast page finds text itself (its script counts the matches in every block of rows in one
// pass, and lays out only the block of the current match); on any other page WebKit searches.
// The label says "Searching" until the answer about the newest term arrives, so that neither
// an answer about an earlier term nor a search still running shows as the result.
void WebKitBrowser::StartFind(const char* text) {
  const unsigned serial = ++findSerial_;
  if (!text || !*text) {
    EndFind();
    if (countsPending_ == 0) gtk_label_set_text(GTK_LABEL(findLabel_), "");
    findTermEmpty_ = true;
    return;
  }
  findTermEmpty_ = false;
  gtk_label_set_text(GTK_LABEL(findLabel_), "Searching\u2026");
  const std::string term = text;
  RunScriptForNumber("window.gridwellFind ? window.gridwellFind(" + JsString(term) + ") : -1",
                     [this, serial, term](double found) {
                       if (serial != findSerial_) return;  // a newer term is being searched
                       pageFinds_ = found >= 0;
                       if (pageFinds_) {
                         FinishWebKitFind();
                         ShowMatchCount(static_cast<unsigned>(found));
                         return;
                       }
                       StartWebKitFind(term);
                     });
}

// WebKit answers a search and a count of matches in the order they were asked, each once. The
// count is asked separately because the search's own "found-text" number is not the number of
// matches on the page.
void WebKitBrowser::StartWebKitFind(const std::string& term) {
  WebKitFindController* finder = webkit_web_view_get_find_controller(view_);
  const auto options =
      static_cast<guint32>(WEBKIT_FIND_OPTIONS_CASE_INSENSITIVE | WEBKIT_FIND_OPTIONS_WRAP_AROUND);
  ++countsPending_;
  webkitFinds_ = true;
  webkit_find_controller_count_matches(finder, term.c_str(), options, G_MAXUINT);
  // Highlighting every match of a common term costs far more than counting them; a few
  // hundred are as many as a window can show.
  webkit_find_controller_search(finder, term.c_str(), options, kFindHighlightLimit);
}

void WebKitBrowser::FindNext(bool backwards) {
  if (pageFinds_) {
    // The page knows which match is the current one: the label says so ("3 of 1250 matches").
    const unsigned serial = findSerial_;
    RunScriptForNumber(std::string("window.gridwellFindNext ? window.gridwellFindNext(") +
                           (backwards ? "true" : "false") + ") : 0",
                       [this, serial](double at) {
                         if (serial != findSerial_ || !(at >= 1) || !findLabel_ || matches_ < 2) {
                           return;
                         }
                         const std::string text = std::to_string(static_cast<unsigned>(at)) +
                                                  " of " + std::to_string(matches_) + " matches";
                         gtk_label_set_text(GTK_LABEL(findLabel_), text.c_str());
                       });
    return;
  }
  WebKitFindController* finder = webkit_web_view_get_find_controller(view_);
  if (backwards) {
    webkit_find_controller_search_previous(finder);
  } else {
    webkit_find_controller_search_next(finder);
  }
}

// Takes WebKit's marks of its last search away. Only after a search of WebKit's own: finishing
// also takes the page back to where that search started, which would undo the page's own find.
void WebKitBrowser::FinishWebKitFind() {
  if (!webkitFinds_) return;
  webkitFinds_ = false;
  webkit_find_controller_search_finish(webkit_web_view_get_find_controller(view_));
}

void WebKitBrowser::EndFind() {
  FinishWebKitFind();
  if (pageFinds_) RunScriptThen("window.gridwellFindEnd && window.gridwellFindEnd(); 0", [] {});
}

void WebKitBrowser::OnMatchesCounted(unsigned count) {
  if (countsPending_ > 0) --countsPending_;
  if (countsPending_ > 0 || !findLabel_ || pageFinds_) return;
  if (findTermEmpty_) {
    gtk_label_set_text(GTK_LABEL(findLabel_), "");
    return;
  }
  ShowMatchCount(count);
}

void WebKitBrowser::ShowMatchCount(unsigned count) {
  matches_ = count;
  const std::string text = count == 0   ? std::string("Not found")
                           : count == 1 ? std::string("1 match")
                                        : std::to_string(count) + " matches";
  gtk_label_set_text(GTK_LABEL(findLabel_), text.c_str());
}

std::string WebKitBrowser::FindStatus() const {
  return findLabel_ ? gtk_label_get_text(GTK_LABEL(findLabel_)) : "";
}

void WebKitBrowser::SetFindText(const std::string& text) {
  EnsureFindDialog();
  gtk_entry_set_text(GTK_ENTRY(findEntry_), text.c_str());
}

// Ctrl+Home and Ctrl+End go to the top and the end of the sheet, as in a spreadsheet
// program; WebKit leaves them to editable content and does nothing on a page.
gboolean WebKitBrowser::OnKeyPress(GtkWidget*, GdkEventKey* event, gpointer p) {
  const guint mods = event->state & gtk_accelerator_get_default_mod_mask();
  if (mods != GDK_CONTROL_MASK) return FALSE;
  const char* script = nullptr;
  switch (event->keyval) {
    case GDK_KEY_Home:
    case GDK_KEY_KP_Home:
      script = "window.scrollTo(window.scrollX, 0)";
      break;
    case GDK_KEY_End:
    case GDK_KEY_KP_End:
      script = "window.scrollTo(window.scrollX, document.documentElement.scrollHeight)";
      break;
    default:
      return FALSE;
  }
  auto* self = static_cast<WebKitBrowser*>(p);
  webkit_web_view_evaluate_javascript(self->view_, script, -1, nullptr, nullptr, nullptr, nullptr,
                                      nullptr);
  return TRUE;
}

void WebKitBrowser::OpenFindDialog() {
  if (IsBlank(webkit_web_view_get_uri(view_))) return;  // nothing to search
  EnsureFindDialog();
  gtk_window_present(GTK_WINDOW(findDialog_));
  gtk_widget_grab_focus(findEntry_);
}

bool WebKitBrowser::FindDialogVisible() const {
  return findDialog_ && gtk_widget_get_visible(findDialog_);
}

}  // namespace gridwell
