#include "control/gtk/gridwell_widget.h"

#include <gdk/gdkx.h>

#include <memory>

#include "control/gtk/curl_reader.h"
#include "control/gtk/webkit_browser.h"
#include "control/system_platform.h"

namespace {

using gridwell::MessageBoxAnswer;

// Modal message boxes as GtkMessageDialogs.
class GtkMessageBox : public gridwell::MessageBox {
 public:
  explicit GtkMessageBox(GtkWidget* owner) : owner_(owner) {}

  MessageBoxAnswer Show(const std::string& text, const std::string& title, int32_t style) override {
    const int buttons = style & 0xF;
    GtkButtonsType gtkButtons = buttons == 4   ? GTK_BUTTONS_YES_NO
                                : buttons == 1 ? GTK_BUTTONS_OK_CANCEL
                                               : GTK_BUTTONS_OK;
    const int icon = style & 0xF0;
    GtkMessageType type = icon == 32   ? GTK_MESSAGE_QUESTION
                          : icon == 16 ? GTK_MESSAGE_ERROR
                          : icon == 48 ? GTK_MESSAGE_WARNING
                                       : GTK_MESSAGE_INFO;
    GtkWidget* top = gtk_widget_get_toplevel(owner_);
    GtkWindow* parent = gtk_widget_is_toplevel(top) ? GTK_WINDOW(top) : nullptr;
    GtkWidget* dialog =
        gtk_message_dialog_new(parent, GTK_DIALOG_MODAL, type, gtkButtons, "%s", text.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), title.c_str());
    if (style & 4096) gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);  // system-modal
    const int response = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    switch (response) {
      case GTK_RESPONSE_YES:
        return MessageBoxAnswer::Yes;
      case GTK_RESPONSE_OK:
        return MessageBoxAnswer::Ok;
      case GTK_RESPONSE_CANCEL:
        return MessageBoxAnswer::Cancel;
      default:
        return buttons == 4 ? MessageBoxAnswer::No : MessageBoxAnswer::Cancel;
    }
  }

 private:
  GtkWidget* owner_;
};

class GtkHostContainer : public gridwell::Container {
 public:
  GtkHostContainer(GtkWidget* widget, gridwell::PropertyStore& store, gridwell::CurlReader& reader)
      : widget_(widget), store_(store), reader_(reader) {}
  gridwell::PropertyStore& Properties() override { return store_; }
  bool StartRead(const std::string& url, const std::string& name, int32_t options) override {
    return StartBoundedRead(url, name, options, gridwell::ReadLimits{});
  }
  bool StartBoundedRead(const std::string& url, const std::string& name, int32_t options,
                        const gridwell::ReadLimits& limits) override {
    return reader_.Start(url, name, (options & 16) != 0, limits);
  }
  void CancelRead(const std::string& name) override { reader_.Cancel(name); }
  void ProcessPendingMessages() override {
    if (g_main_context_iteration(nullptr, FALSE)) return;
    // Nothing was pending: sleep until something arrives, but no longer than a moment, so a
    // waiting caller neither spins the processor nor misses its flag.
    guint wake = g_timeout_add(
        2, [](gpointer) { return G_SOURCE_REMOVE; }, nullptr);
    g_main_context_iteration(nullptr, TRUE);
    GSource* source = g_main_context_find_source_by_id(nullptr, wake);
    if (source && !g_source_is_destroyed(source)) g_source_remove(wake);
  }
  int32_t WindowHandle() const override {
    GdkWindow* window = gtk_widget_get_window(widget_);
    if (window && GDK_IS_X11_WINDOW(window)) {
      return static_cast<int32_t>(GDK_WINDOW_XID(window));
    }
    return 0;
  }
  void Redraw() override { gtk_widget_queue_draw(widget_); }

 private:
  GtkWidget* widget_;
  gridwell::PropertyStore& store_;
  gridwell::CurlReader& reader_;
};

struct Impl {
  std::unique_ptr<gridwell::MemoryPropertyStore> ownStore;
  gridwell::PropertyStore* store = nullptr;
  WebKitWebView* view = nullptr;
  std::unique_ptr<gridwell::WebKitBrowser> browser;
  std::unique_ptr<gridwell::CurlReader> reader;
  std::unique_ptr<GtkHostContainer> container;
  std::unique_ptr<GtkMessageBox> messageBox;
  gridwell::SteadyClock clock;
  gridwell::TimerSeededRandom random;
  std::unique_ptr<gridwell::Gridwell> control;
  bool destroying = false;
  // Shared with every gridwell_widget_hold token; the control outlives the widget while one
  // exists.
  std::shared_ptr<int> holds = std::make_shared<int>(0);
  bool InUse() const { return control->Waiting() || holds.use_count() > 1; }
};

}  // namespace

struct _GridwellWidget {
  GtkBin parent;
  Impl* impl;
};

G_DEFINE_TYPE(GridwellWidget, gridwell_widget, GTK_TYPE_BIN)

static void gridwell_widget_size_allocate(GtkWidget* widget, GtkAllocation* allocation) {
  gtk_widget_set_allocation(widget, allocation);
  Impl* impl = GRIDWELL_WIDGET(widget)->impl;
  if (!impl || !impl->control) return;
  impl->browser->SetOrigin(allocation->x, allocation->y);
  impl->control->OnResize(allocation->width, allocation->height);
}

static void gridwell_widget_map(GtkWidget* widget) {
  GTK_WIDGET_CLASS(gridwell_widget_parent_class)->map(widget);
  Impl* impl = GRIDWELL_WIDGET(widget)->impl;
  if (!impl || !impl->control) return;
  GtkAllocation a;
  gtk_widget_get_allocation(widget, &a);
  impl->browser->SetOrigin(a.x, a.y);
  impl->control->OnShow(a.width, a.height);
}

static void gridwell_widget_destroy(GtkWidget* widget) {
  auto* self = GRIDWELL_WIDGET(widget);
  Impl* impl = self->impl;
  if (impl && !impl->destroying) {
    impl->destroying = true;
    // The clean-up runs while the browser and the main loop are still there.
    impl->control->Terminate();
    impl->browser->SetControl(nullptr);
    impl->browser.reset();  // disconnects from the view before GTK destroys it
    impl->reader.reset();
    self->impl = nullptr;
    if (impl->InUse()) {
      // Destroyed by a handler inside one of the control's waits, or while a host holds the
      // control: those frames still use it. Waits end at once now; the control goes when they
      // are gone.
      g_idle_add(
          [](gpointer p) -> gboolean {
            auto* zombie = static_cast<Impl*>(p);
            if (zombie->InUse()) return G_SOURCE_CONTINUE;
            delete zombie;
            return G_SOURCE_REMOVE;
          },
          impl);
    } else {
      delete impl;
    }
  }
  GTK_WIDGET_CLASS(gridwell_widget_parent_class)->destroy(widget);
}

static void gridwell_widget_class_init(GridwellWidgetClass* klass) {
  auto* widget_class = GTK_WIDGET_CLASS(klass);
  widget_class->size_allocate = gridwell_widget_size_allocate;
  widget_class->map = gridwell_widget_map;
  widget_class->destroy = gridwell_widget_destroy;
}

static void gridwell_widget_init(GridwellWidget* self) {
  self->impl = nullptr;
}

GtkWidget* gridwell_widget_new_with_temp_base(gridwell::PropertyStore* store,
                                              const std::string& tempBase) {
  gridwell::EnsureTempBase(tempBase);
  auto* self = GRIDWELL_WIDGET(g_object_new(GRIDWELL_TYPE_WIDGET, nullptr));
  auto* impl = new Impl;
  self->impl = impl;
  if (!store) {
    impl->ownStore = std::make_unique<gridwell::MemoryPropertyStore>();
    store = impl->ownStore.get();
  }
  impl->store = store;

  impl->view = WEBKIT_WEB_VIEW(webkit_web_view_new());
  // Pages are UTF-8; without a declared charset WebKit would read them as windows-1252.
  webkit_settings_set_default_charset(webkit_web_view_get_settings(impl->view), "UTF-8");
  gtk_container_add(GTK_CONTAINER(self), GTK_WIDGET(impl->view));
  gtk_widget_show(GTK_WIDGET(impl->view));

  impl->browser = std::make_unique<gridwell::WebKitBrowser>(
      impl->view, [impl] { return impl->control ? impl->control->TempPath() : std::string(); });
  impl->reader = std::make_unique<gridwell::CurlReader>(
      [impl](const std::string& name, int32_t cur, int32_t total) {
        if (impl->control) impl->control->OnReadProgress(name, cur, total);
      },
      [impl](const std::string& name, int32_t total, const std::vector<uint8_t>& data, bool failed,
             const std::string& failure) {
        if (impl->control) impl->control->OnReadComplete(name, total, data, failed, failure);
      });
  impl->container =
      std::make_unique<GtkHostContainer>(GTK_WIDGET(self), *impl->store, *impl->reader);
  impl->messageBox = std::make_unique<GtkMessageBox>(GTK_WIDGET(self));
  impl->control = std::make_unique<gridwell::Gridwell>(gridwell::Platform{
      *impl->browser, *impl->container, *impl->messageBox, impl->clock, impl->random, tempBase});
  impl->browser->SetControl(impl->control.get());
  impl->control->ReadProperties();
  return GTK_WIDGET(self);
}

GtkWidget* gridwell_widget_new(gridwell::PropertyStore* store) {
  return gridwell_widget_new_with_temp_base(store, gridwell::DefaultTempBase());
}

static Impl* ImplOf(GtkWidget* widget) {
  return GRIDWELL_WIDGET(widget)->impl;
}

gridwell::Gridwell& gridwell_widget_control(GtkWidget* widget) {
  return *ImplOf(widget)->control;
}

std::shared_ptr<void> gridwell_widget_hold(GtkWidget* widget) {
  Impl* impl = ImplOf(widget);
  return impl ? std::shared_ptr<void>(impl->holds) : nullptr;
}

void gridwell_widget_save_properties(GtkWidget* widget) {
  if (Impl* impl = ImplOf(widget)) impl->control->WriteProperties();
}

GtkWidget* gridwell_widget_web_view(GtkWidget* widget) {
  Impl* impl = ImplOf(widget);
  return impl ? GTK_WIDGET(impl->view) : nullptr;
}

void gridwell_widget_run_until(const bool& done, double timeoutSeconds) {
  const gint64 end = g_get_monotonic_time() + static_cast<gint64>(timeoutSeconds * 1e6);
  while (!done && g_get_monotonic_time() < end) {
    guint wake = g_timeout_add(
        10, [](gpointer) { return G_SOURCE_REMOVE; }, nullptr);
    g_main_context_iteration(nullptr, TRUE);
    GSource* source = g_main_context_find_source_by_id(nullptr, wake);
    if (source && !g_source_is_destroyed(source)) g_source_remove(wake);
  }
}

bool gridwell_widget_snapshot_png(GtkWidget* widget, const std::string& pngPath,
                                  double timeoutSeconds) {
  struct State {
    bool done = false, ok = false;
    std::string path;
  };
  auto state = std::make_shared<State>();
  state->path = pngPath;
  webkit_web_view_get_snapshot(
      ImplOf(widget)->view, WEBKIT_SNAPSHOT_REGION_VISIBLE, WEBKIT_SNAPSHOT_OPTIONS_NONE, nullptr,
      [](GObject* view, GAsyncResult* res, gpointer p) {
        std::unique_ptr<std::shared_ptr<State>> s(static_cast<std::shared_ptr<State>*>(p));
        cairo_surface_t* surface =
            webkit_web_view_get_snapshot_finish(WEBKIT_WEB_VIEW(view), res, nullptr);
        if (surface) {
          (*s)->ok =
              cairo_surface_write_to_png(surface, (*s)->path.c_str()) == CAIRO_STATUS_SUCCESS;
          cairo_surface_destroy(surface);
        }
        (*s)->done = true;
      },
      new std::shared_ptr<State>(state));
  gridwell_widget_run_until(state->done, timeoutSeconds);
  return state->ok;
}

gridwell::WebKitBrowser* gridwell_widget_browser(GtkWidget* widget) {
  Impl* impl = ImplOf(widget);
  return impl ? impl->browser.get() : nullptr;
}
