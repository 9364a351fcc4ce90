// GridwellerGridwell: the control's GObject face. A GtkBin around the control's GTK widget
// (control/gtk/gridwell_widget.h), so C++ and GObject hosts run the same control; this file only
// turns its properties into GObject properties with notify, its events into signals and its
// methods into C functions.
#include <atk/atk.h>
#include <gdk/gdkkeysyms.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "control/gobject/gridweller.h"
#include "control/gobject/options.h"
#include "control/gobject/surface.h"
#include "control/gtk/gridwell_widget.h"

namespace {

namespace gw = gridwell;
using gw::gobject::kProperties;
using gw::gobject::kSignals;
using gw::gobject::ValueKind;

// Property ids follow kProperties.
enum Prop : guint {
  kPropPath = 1,
  kPropSheetNames,
  kPropSheetTotal,
  kPropHwnd,
  kPropTempWorkbook,
  kPropRegenerateHtml,
  kPropTempPath,
  kPropHtmlFile,
  kPropExcelFile,
  kPropSaveFile,
  kPropDownloadErrorText,
  kPropCompactStyles,
  kPropOpenErrorText,
  kPropOpenErrorCode,
  kPropFastPagesFrom,
  kPropSheetLook,
  kPropCount
};
static_assert(std::size(kProperties) + 1 == kPropCount);

// Signal ids follow kSignals.
enum Sig : size_t {
  kDownloadStarted,
  kDownloadProgress,
  kDownloadError,
  kDownloadComplete,
  kOpenStart,
  kOpenComplete,
  kOpenError,
  kSigCount
};
static_assert(std::size(kSignals) == kSigCount);

GParamSpec* g_props[kPropCount];
guint g_signals[kSigCount];

GType TypeOf(ValueKind kind) {
  switch (kind) {
    case ValueKind::String:
      return G_TYPE_STRING;
    case ValueKind::Strv:
      return G_TYPE_STRV;
    case ValueKind::Int:
      return G_TYPE_INT;
    case ValueKind::UInt:
      return G_TYPE_UINT;
    case ValueKind::Boolean:
      return G_TYPE_BOOLEAN;
  }
  return G_TYPE_NONE;
}

bool SameValue(const GValue* a, const GValue* b) {
  if (G_VALUE_HOLDS(a, G_TYPE_STRV)) {
    auto* x = static_cast<char**>(g_value_get_boxed(a));
    auto* y = static_cast<char**>(g_value_get_boxed(b));
    if (!x || !y) return (!x || !*x) && (!y || !*y);
    return g_strv_equal(x, y);
  }
  if (G_VALUE_HOLDS_STRING(a)) return g_strcmp0(g_value_get_string(a), g_value_get_string(b)) == 0;
  if (G_VALUE_HOLDS_INT(a)) return g_value_get_int(a) == g_value_get_int(b);
  if (G_VALUE_HOLDS_UINT(a)) return g_value_get_uint(a) == g_value_get_uint(b);
  return g_value_get_boolean(a) == g_value_get_boolean(b);
}

}  // namespace

struct Private {
  GtkWidget* inner = nullptr;  // the control's widget; null once destroyed
  gw::MemoryPropertyStore store;
  GValue shown[kPropCount] = {};  // property values as last notified
  // The control's by-reference arguments of the event being emitted.
  std::string* liveBook = nullptr;
  std::string* livePage = nullptr;
  std::string* liveSaveFile = nullptr;
  int busy = 0;  // calls and emissions in progress
};

struct _GridwellerGridwell {
  GtkBin parent;
  Private* priv;
};

G_DEFINE_TYPE(GridwellerGridwell, gridweller_gridwell, GTK_TYPE_BIN)

namespace {

gw::Gridwell* ControlOf(GridwellerGridwell* self) {
  Private* p = self->priv;
  return p && p->inner ? &gridwell_widget_control(p->inner) : nullptr;
}

void ReadProperty(GridwellerGridwell* self, guint id, GValue* value) {
  gw::Gridwell* c = ControlOf(self);
  auto str = [&](const std::string& s) { g_value_set_string(value, s.c_str()); };
  if (!c) {
    g_param_value_set_default(g_props[id], value);
    return;
  }
  switch (id) {
    case kPropPath:
      return str(c->Path());
    case kPropSheetNames: {
      const auto names = c->SheetNames();
      GStrvBuilder* b = g_strv_builder_new();
      for (const auto& n : names) g_strv_builder_add(b, n.c_str());
      g_value_take_boxed(value, g_strv_builder_end(b));
      g_strv_builder_unref(b);
      return;
    }
    case kPropSheetTotal:
      return g_value_set_int(value, c->SheetTotal());
    case kPropHwnd:
      return g_value_set_uint(value, static_cast<guint>(c->hwnd()));
    case kPropTempWorkbook:
      return str(c->TempWorkbook());
    case kPropRegenerateHtml:
      return g_value_set_boolean(value, c->RegenerateHTML() != gw::kVbFalse);
    case kPropTempPath:
      return str(c->TempPath());
    case kPropHtmlFile:
      return str(c->HTMLfile());
    case kPropExcelFile:
      return str(c->ExcelFile());
    case kPropSaveFile:
      return str(self->priv->liveSaveFile ? *self->priv->liveSaveFile : std::string());
    case kPropDownloadErrorText:
      return str(c->DownloadErrorText());
    case kPropCompactStyles:
      return g_value_set_boolean(value, c->CompactStyles() != gw::kVbFalse);
    case kPropOpenErrorText:
      return str(c->OpenErrorText());
    case kPropOpenErrorCode:
      return g_value_set_int(value, static_cast<int>(c->OpenErrorCode()));
    case kPropFastPagesFrom:
      return g_value_set_int(value, c->FastPagesFrom());
    case kPropSheetLook:
      return g_value_set_boolean(value, c->SheetLook() != gw::kVbFalse);
    default:
      break;
  }
}

// Emits notify for every property whose value differs from the one last notified.
void Sync(GridwellerGridwell* self) {
  Private* p = self->priv;
  for (guint id = 1; id < kPropCount; ++id) {
    GValue now = G_VALUE_INIT;
    g_value_init(&now, G_PARAM_SPEC_VALUE_TYPE(g_props[id]));
    ReadProperty(self, id, &now);
    if (!SameValue(&now, &p->shown[id])) {
      g_value_copy(&now, &p->shown[id]);
      g_object_notify_by_pspec(G_OBJECT(self), g_props[id]);
    }
    g_value_unset(&now);
  }
}

// Keeps the object alive and the control in place while a call or an emission runs; when the
// outermost one ends, the properties that changed are notified.
class Busy {
 public:
  explicit Busy(GridwellerGridwell* self) : self_(self) {
    g_object_ref(self_);
    ++self_->priv->busy;
    if (GtkWidget* inner = self_->priv->inner) hold_ = gridwell_widget_hold(inner);
  }
  ~Busy() {
    --self_->priv->busy;
    if (self_->priv->inner) Sync(self_);
    g_object_unref(self_);
  }
  Busy(const Busy&) = delete;
  Busy& operator=(const Busy&) = delete;

 private:
  GridwellerGridwell* self_;
  std::shared_ptr<void> hold_;  // the control stays while this call or emission runs
};

template <typename... Args>
void Emit(GridwellerGridwell* self, Sig sig, Args... args) {
  Busy busy(self);
  Sync(self);
  g_signal_emit(self, g_signals[sig], 0, args...);
}

void EmitOpen(GridwellerGridwell* self, Sig sig, std::string& book, std::string& page) {
  Busy busy(self);  // a handler may drop the host's last reference
  Private* p = self->priv;
  auto* outerBook = p->liveBook;
  auto* outerPage = p->livePage;
  p->liveBook = &book;
  p->livePage = &page;
  const std::string b = book, pg = page;  // stay valid while handlers change the live ones
  Emit(self, sig, b.c_str(), pg.c_str());
  p->liveBook = outerBook;
  p->livePage = outerPage;
}

void ConnectEvents(GridwellerGridwell* self, gw::Gridwell& c) {
  c.DownloadStarted = [self](std::string& file) {
    Busy busy(self);
    Private* p = self->priv;
    auto* outer = p->liveSaveFile;
    p->liveSaveFile = &file;
    const std::string f = file;
    Emit(self, kDownloadStarted, f.c_str());
    p->liveSaveFile = outer;
  };
  c.DownloadProgress = [self](int32_t& cur, int32_t& max, std::string& file) {
    Emit(self, kDownloadProgress, gint{cur}, gint{max}, file.c_str());
  };
  c.DownloadError = [self](std::string& file) { Emit(self, kDownloadError, file.c_str()); };
  c.DownloadComplete = [self](int32_t& max, std::string& file) {
    Emit(self, kDownloadComplete, gint{max}, file.c_str());
  };
  c.OpenStart = [self](std::string& b, std::string& p) { EmitOpen(self, kOpenStart, b, p); };
  c.OpenComplete = [self](std::string& b, std::string& p) { EmitOpen(self, kOpenComplete, b, p); };
  c.OpenError = [self](std::string& b, std::string& p) { EmitOpen(self, kOpenError, b, p); };
}

void DisconnectEvents(gw::Gridwell& c) {
  c.DownloadStarted = nullptr;
  c.DownloadProgress = nullptr;
  c.DownloadError = nullptr;
  c.DownloadComplete = nullptr;
  c.OpenStart = c.OpenComplete = c.OpenError = nullptr;
}

// Writes a by-reference event argument; outside its event there is nothing to write to.
void SetLive(std::string* live, const char* property, const GValue* value) {
  if (!live) {
    g_warning("GridwellerGridwell:%s can only be set during the signal that it belongs to",
              property);
    return;
  }
  const char* s = g_value_get_string(value);
  *live = s ? s : "";
}

// Runs a member of the control; `fallback` when the control is gone.
template <typename F>
auto Call(GridwellerGridwell* self, F&& f, decltype(f(std::declval<gw::Gridwell&>())) fallback) {
  gw::Gridwell* c = ControlOf(self);
  if (!c) return fallback;
  Busy busy(self);
  return f(*c);
}

template <typename F>
void CallVoid(GridwellerGridwell* self, F&& f) {
  gw::Gridwell* c = ControlOf(self);
  if (!c) return;
  Busy busy(self);
  f(*c);
}

std::string Str(const char* s) {
  return s ? s : "";
}

char* Dup(const std::string& s) {
  return g_strdup(s.c_str());
}

}  // namespace

static void gridweller_gridwell_get_property(GObject* object, guint id, GValue* value,
                                             GParamSpec* pspec) {
  if (id == 0 || id >= kPropCount) {
    G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
    return;
  }
  ReadProperty(GRIDWELLER_GRIDWELL(object), id, value);
}

static void gridweller_gridwell_set_property(GObject* object, guint id, const GValue* value,
                                             GParamSpec* pspec) {
  auto* self = GRIDWELLER_GRIDWELL(object);
  Private* p = self->priv;
  gw::Gridwell* c = ControlOf(self);
  if (!c) return;
  switch (id) {
    case kPropPath:
      c->SetPath(Str(g_value_get_string(value)));
      break;
    case kPropRegenerateHtml:
      c->SetRegenerateHTML(g_value_get_boolean(value) ? gw::kVbTrue : gw::kVbFalse);
      break;
    case kPropCompactStyles:
      c->SetCompactStyles(g_value_get_boolean(value) ? gw::kVbTrue : gw::kVbFalse);
      break;
    case kPropFastPagesFrom:
      c->SetFastPagesFrom(g_value_get_int(value));
      break;
    case kPropSheetLook:
      c->SetSheetLook(g_value_get_boolean(value) ? gw::kVbTrue : gw::kVbFalse);
      break;
    case kPropHtmlFile:
      SetLive(p->livePage, pspec->name, value);
      break;
    case kPropExcelFile:
      SetLive(p->liveBook, pspec->name, value);
      break;
    case kPropSaveFile:
      SetLive(p->liveSaveFile, pspec->name, value);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
      return;
  }
  Sync(self);
}

static gboolean gridweller_gridwell_key_press(GtkWidget* widget, GdkEventKey* event) {
  // Keys that the page did not use come here from the browser.
  const guint mods = event->state & gtk_accelerator_get_default_mod_mask();
  if (mods == GDK_CONTROL_MASK) {
    switch (gdk_keyval_to_lower(event->keyval)) {
      case GDK_KEY_f:
        gridweller_gridwell_find_in_document(GRIDWELLER_GRIDWELL(widget));
        return TRUE;
      case GDK_KEY_p:
        gridweller_gridwell_print_document(GRIDWELLER_GRIDWELL(widget), TRUE);
        return TRUE;
      default:
        break;
    }
  }
  return GTK_WIDGET_CLASS(gridweller_gridwell_parent_class)->key_press_event(widget, event);
}

static void gridweller_gridwell_realize(GtkWidget* widget) {
  GTK_WIDGET_CLASS(gridweller_gridwell_parent_class)->realize(widget);
  Sync(GRIDWELLER_GRIDWELL(widget));  // hwnd
}

static void gridweller_gridwell_map(GtkWidget* widget) {
  GTK_WIDGET_CLASS(gridweller_gridwell_parent_class)->map(widget);
  Sync(GRIDWELLER_GRIDWELL(widget));  // hwnd: the control's widget has its window now
}

static void gridweller_gridwell_unrealize(GtkWidget* widget) {
  GTK_WIDGET_CLASS(gridweller_gridwell_parent_class)->unrealize(widget);
  Sync(GRIDWELLER_GRIDWELL(widget));
}

// The control's widget leaves this one, through the GtkBin API (gtk_container_remove) or because
// a host destroyed it (GTK removes a widget from its parent before destroying it): from then on
// every member answers as for a destroyed control. A call or emission running meanwhile holds
// the control (Busy), so its frames never lose it under them.
static void DetachInner(GridwellerGridwell* self) {
  Private* p = self->priv;
  if (!p->inner) return;
  DisconnectEvents(gridwell_widget_control(p->inner));
  p->inner = nullptr;
}

static void gridweller_gridwell_remove(GtkContainer* container, GtkWidget* child) {
  auto* self = GRIDWELLER_GRIDWELL(container);
  if (self->priv && child == self->priv->inner) {
    DetachInner(self);
    // The properties fall back to their defaults; hosts hear of it as of any change.
    Sync(self);
  }
  GTK_CONTAINER_CLASS(gridweller_gridwell_parent_class)->remove(container, child);
}

static void gridweller_gridwell_destroy(GtkWidget* widget) {
  auto* self = GRIDWELLER_GRIDWELL(widget);
  Private* p = self->priv;
  if (GtkWidget* inner = p->inner) {
    DisconnectEvents(gridwell_widget_control(inner));
    p->inner = nullptr;
    if (p->busy > 0) {
      // Destroyed by a handler while one of the control's members runs further up the stack:
      // the control is cleaned up once that member has returned.
      g_object_ref(inner);
      gtk_container_remove(GTK_CONTAINER(widget), inner);
      g_idle_add(
          [](gpointer w) {
            gtk_widget_destroy(GTK_WIDGET(w));
            g_object_unref(w);
            return G_SOURCE_REMOVE;
          },
          inner);
    }
  }
  GTK_WIDGET_CLASS(gridweller_gridwell_parent_class)->destroy(widget);
}

static void gridweller_gridwell_finalize(GObject* object) {
  Private* p = GRIDWELLER_GRIDWELL(object)->priv;
  for (GValue& v : p->shown) {
    if (G_IS_VALUE(&v)) g_value_unset(&v);
  }
  delete p;
  G_OBJECT_CLASS(gridweller_gridwell_parent_class)->finalize(object);
}

static void gridweller_gridwell_class_init(GridwellerGridwellClass* klass) {
  auto* object_class = G_OBJECT_CLASS(klass);
  auto* widget_class = GTK_WIDGET_CLASS(klass);
  object_class->get_property = gridweller_gridwell_get_property;
  object_class->set_property = gridweller_gridwell_set_property;
  object_class->finalize = gridweller_gridwell_finalize;
  widget_class->destroy = gridweller_gridwell_destroy;
  GTK_CONTAINER_CLASS(klass)->remove = gridweller_gridwell_remove;
  widget_class->key_press_event = gridweller_gridwell_key_press;
  widget_class->realize = gridweller_gridwell_realize;
  widget_class->map = gridweller_gridwell_map;
  widget_class->unrealize = gridweller_gridwell_unrealize;

  for (guint id = 1; id < kPropCount; ++id) {
    const auto& d = kProperties[id - 1];
    // The control's help text is the blurb; a property of this widget alone has its note.
    const char* blurb = d.member ? d.member->helpText : d.note;
    const char* nick = d.member ? d.member->name : d.name;
    // Changes are notified by Sync, also those made by the control itself.
    auto flags = static_cast<GParamFlags>(G_PARAM_READABLE | G_PARAM_STATIC_STRINGS |
                                          G_PARAM_EXPLICIT_NOTIFY);
    if (d.writable) flags = static_cast<GParamFlags>(flags | G_PARAM_WRITABLE);
    switch (d.kind) {
      case ValueKind::String:
        g_props[id] = g_param_spec_string(d.name, nick, blurb, "", flags);
        break;
      case ValueKind::Strv:
        g_props[id] = g_param_spec_boxed(d.name, nick, blurb, G_TYPE_STRV, flags);
        break;
      case ValueKind::Int:
        g_props[id] = g_param_spec_int(d.name, nick, blurb, G_MININT, G_MAXINT, 0, flags);
        break;
      case ValueKind::UInt:
        g_props[id] = g_param_spec_uint(d.name, nick, blurb, 0, G_MAXUINT, 0, flags);
        break;
      case ValueKind::Boolean:
        g_props[id] = g_param_spec_boolean(d.name, nick, blurb, FALSE, flags);
        break;
    }
  }
  g_object_class_install_properties(object_class, kPropCount, g_props);

  for (size_t i = 0; i < kSigCount; ++i) {
    const auto& s = kSignals[i];
    std::vector<GType> types;
    for (const auto& a : s.args) types.push_back(TypeOf(a.kind));
    g_signals[i] = g_signal_newv(s.name, G_TYPE_FROM_CLASS(klass), G_SIGNAL_RUN_LAST, nullptr,
                                 nullptr, nullptr, nullptr, G_TYPE_NONE,
                                 static_cast<guint>(types.size()), types.data());
  }
  gtk_widget_class_set_css_name(widget_class, "gridweller");
}

static void gridweller_gridwell_init(GridwellerGridwell* self) {
  auto* p = new Private;
  self->priv = p;
  p->inner = gridwell_widget_new(&p->store);
  gtk_container_add(GTK_CONTAINER(self), p->inner);
  gtk_widget_show(p->inner);
  ConnectEvents(self, gridwell_widget_control(p->inner));
  for (guint id = 1; id < kPropCount; ++id) {
    g_value_init(&p->shown[id], G_PARAM_SPEC_VALUE_TYPE(g_props[id]));
    ReadProperty(self, id, &p->shown[id]);
  }
  AtkObject* accessible = gtk_widget_get_accessible(GTK_WIDGET(self));
  atk_object_set_name(accessible, "Workbook viewer");
  atk_object_set_description(accessible, "Shows a worksheet of a workbook as a web page");
}

GtkWidget* gridweller_gridwell_new(void) {
  return GTK_WIDGET(g_object_new(GRIDWELLER_TYPE_GRIDWELL, nullptr));
}

// ---- Property accessors ----

#define GRIDWELLER_STRING_GETTER(name, prop)                       \
  char* gridweller_gridwell_get_##name(GridwellerGridwell* self) { \
    g_return_val_if_fail(GRIDWELLER_IS_GRIDWELL(self), nullptr);   \
    char* out = nullptr;                                           \
    g_object_get(self, prop, &out, nullptr);                       \
    return out;                                                    \
  }
#define GRIDWELLER_STRING_SETTER(name, prop)                                         \
  void gridweller_gridwell_set_##name(GridwellerGridwell* self, const char* value) { \
    g_return_if_fail(GRIDWELLER_IS_GRIDWELL(self));                                  \
    g_object_set(self, prop, value, nullptr);                                        \
  }

GRIDWELLER_STRING_GETTER(path, "path")
GRIDWELLER_STRING_SETTER(path, "path")
GRIDWELLER_STRING_GETTER(temp_workbook, "temp-workbook")
GRIDWELLER_STRING_GETTER(temp_path, "temp-path")
GRIDWELLER_STRING_GETTER(html_file, "html-file")
GRIDWELLER_STRING_SETTER(html_file, "html-file")
GRIDWELLER_STRING_GETTER(excel_file, "excel-file")
GRIDWELLER_STRING_SETTER(excel_file, "excel-file")
GRIDWELLER_STRING_GETTER(save_file, "save-file")
GRIDWELLER_STRING_SETTER(save_file, "save-file")
GRIDWELLER_STRING_GETTER(download_error_text, "download-error-text")
GRIDWELLER_STRING_GETTER(open_error_text, "open-error-text")

int gridweller_gridwell_get_open_error_code(GridwellerGridwell* self) {
  g_return_val_if_fail(GRIDWELLER_IS_GRIDWELL(self), 0);
  gw::Gridwell* c = ControlOf(self);
  return c ? static_cast<int>(c->OpenErrorCode()) : 0;
}

char** gridweller_gridwell_get_sheet_names(GridwellerGridwell* self) {
  g_return_val_if_fail(GRIDWELLER_IS_GRIDWELL(self), nullptr);
  char** names = nullptr;
  g_object_get(self, "sheet-names", &names, nullptr);
  return names ? names : g_new0(char*, 1);
}

int gridweller_gridwell_get_sheet_total(GridwellerGridwell* self) {
  g_return_val_if_fail(GRIDWELLER_IS_GRIDWELL(self), 0);
  gw::Gridwell* c = ControlOf(self);
  return c ? c->SheetTotal() : 0;
}

guint gridweller_gridwell_get_hwnd(GridwellerGridwell* self) {
  g_return_val_if_fail(GRIDWELLER_IS_GRIDWELL(self), 0);
  gw::Gridwell* c = ControlOf(self);
  return c ? static_cast<guint>(c->hwnd()) : 0;
}

gboolean gridweller_gridwell_get_regenerate_html(GridwellerGridwell* self) {
  g_return_val_if_fail(GRIDWELLER_IS_GRIDWELL(self), FALSE);
  gw::Gridwell* c = ControlOf(self);
  return c && c->RegenerateHTML() != gw::kVbFalse;
}

void gridweller_gridwell_set_regenerate_html(GridwellerGridwell* self, gboolean value) {
  g_return_if_fail(GRIDWELLER_IS_GRIDWELL(self));
  g_object_set(self, "regenerate-html", value, nullptr);
}

gboolean gridweller_gridwell_get_compact_styles(GridwellerGridwell* self) {
  g_return_val_if_fail(GRIDWELLER_IS_GRIDWELL(self), FALSE);
  gw::Gridwell* c = ControlOf(self);
  return c && c->CompactStyles() != gw::kVbFalse;
}

void gridweller_gridwell_set_compact_styles(GridwellerGridwell* self, gboolean value) {
  g_return_if_fail(GRIDWELLER_IS_GRIDWELL(self));
  g_object_set(self, "compact-styles", value, nullptr);
}

gint gridweller_gridwell_get_fast_pages_from(GridwellerGridwell* self) {
  g_return_val_if_fail(GRIDWELLER_IS_GRIDWELL(self), 0);
  gw::Gridwell* c = ControlOf(self);
  return c ? c->FastPagesFrom() : 0;
}

void gridweller_gridwell_set_fast_pages_from(GridwellerGridwell* self, gint value) {
  g_return_if_fail(GRIDWELLER_IS_GRIDWELL(self));
  g_object_set(self, "fast-pages-from", value, nullptr);
}

gboolean gridweller_gridwell_get_sheet_look(GridwellerGridwell* self) {
  g_return_val_if_fail(GRIDWELLER_IS_GRIDWELL(self), FALSE);
  gw::Gridwell* c = ControlOf(self);
  return c && c->SheetLook() != gw::kVbFalse;
}

void gridweller_gridwell_set_sheet_look(GridwellerGridwell* self, gboolean value) {
  g_return_if_fail(GRIDWELLER_IS_GRIDWELL(self));
  g_object_set(self, "sheet-look", value, nullptr);
}

// ---- Methods ----

gboolean gridweller_gridwell_begin_download(GridwellerGridwell* self, const char* url,
                                            const char* file, char** saved_to) {
  g_return_val_if_fail(GRIDWELLER_IS_GRIDWELL(self), FALSE);
  std::string u = Str(url), f = Str(file);
  const gboolean ok = Call(
      self, [&](gw::Gridwell& c) -> gboolean { return c.BeginDownload(u, f) != gw::kVbFalse; },
      FALSE);
  if (saved_to) *saved_to = Dup(f);
  return ok;
}

void gridweller_gridwell_go_home(GridwellerGridwell* self, gboolean open_synchronously) {
  g_return_if_fail(GRIDWELLER_IS_GRIDWELL(self));
  CallVoid(self, [&](gw::Gridwell& c) {
    gw::VbBool sync = open_synchronously ? gw::kVbTrue : gw::kVbFalse;
    c.GoHome(sync);
  });
}

void gridweller_gridwell_setup_document(GridwellerGridwell* self) {
  g_return_if_fail(GRIDWELLER_IS_GRIDWELL(self));
  CallVoid(self, [](gw::Gridwell& c) { c.SetupDocument(); });
}

void gridweller_gridwell_print_document(GridwellerGridwell* self, gboolean show_prompt) {
  g_return_if_fail(GRIDWELLER_IS_GRIDWELL(self));
  CallVoid(self, [&](gw::Gridwell& c) {
    gw::VbBool prompt = show_prompt ? gw::kVbTrue : gw::kVbFalse;
    c.PrintDocument(prompt);
  });
}

void gridweller_gridwell_find_in_document(GridwellerGridwell* self) {
  g_return_if_fail(GRIDWELLER_IS_GRIDWELL(self));
  CallVoid(self, [](gw::Gridwell& c) { c.FindInDocument(); });
}

void gridweller_gridwell_print_preview_document(GridwellerGridwell* self) {
  g_return_if_fail(GRIDWELLER_IS_GRIDWELL(self));
  CallVoid(self, [](gw::Gridwell& c) { c.PrintPreviewDocument(); });
}

void gridweller_gridwell_show_document_properties(GridwellerGridwell* self) {
  g_return_if_fail(GRIDWELLER_IS_GRIDWELL(self));
  CallVoid(self, [](gw::Gridwell& c) { c.ShowDocumentProperties(); });
}

void gridweller_gridwell_save_document(GridwellerGridwell* self) {
  g_return_if_fail(GRIDWELLER_IS_GRIDWELL(self));
  CallVoid(self, [](gw::Gridwell& c) { c.SaveDocument(); });
}

gboolean gridweller_gridwell_save_html(GridwellerGridwell* self, const char* dir,
                                       const char* filename) {
  g_return_val_if_fail(GRIDWELLER_IS_GRIDWELL(self), FALSE);
  g_return_val_if_fail(dir != nullptr, FALSE);
  return Call(
      self,
      [&](gw::Gridwell& c) -> gboolean {
        std::string name = Str(filename);
        return c.SaveHTML(dir, name) != gw::kVbFalse;
      },
      FALSE);
}

gboolean gridweller_gridwell_save_copy(GridwellerGridwell* self, const char* copy_to,
                                       gboolean warn_if_exists) {
  g_return_val_if_fail(GRIDWELLER_IS_GRIDWELL(self), FALSE);
  g_return_val_if_fail(copy_to != nullptr, FALSE);
  return Call(
      self,
      [&](gw::Gridwell& c) -> gboolean {
        std::string target = copy_to;
        gw::VbBool warn = warn_if_exists ? gw::kVbTrue : gw::kVbFalse;
        return c.SaveCopy(target, warn) != gw::kVbFalse;
      },
      FALSE);
}

void gridweller_gridwell_refresh(GridwellerGridwell* self) {
  g_return_if_fail(GRIDWELLER_IS_GRIDWELL(self));
  CallVoid(self, [](gw::Gridwell& c) { c.Refresh(); });
}

void gridweller_gridwell_find(GridwellerGridwell* self) {
  g_return_if_fail(GRIDWELLER_IS_GRIDWELL(self));
  CallVoid(self, [](gw::Gridwell& c) { c.Find(); });
}

gboolean gridweller_gridwell_open_xl(GridwellerGridwell* self, const char* path,
                                     GridwellerOpenOptions* options) {
  g_return_val_if_fail(GRIDWELLER_IS_GRIDWELL(self), FALSE);
  g_return_val_if_fail(!options || GRIDWELLER_IS_OPEN_OPTIONS(options), FALSE);
  auto args = gw::gobject::ToOpenXLArgs(path, options);
  return Call(
      self, [&](gw::Gridwell& c) -> gboolean { return c.OpenXL(args) != gw::kVbFalse; }, FALSE);
}

gboolean gridweller_gridwell_open_xl_range(GridwellerGridwell* self, const char* path,
                                           GridwellerOpenOptions* options) {
  g_return_val_if_fail(GRIDWELLER_IS_GRIDWELL(self), FALSE);
  g_return_val_if_fail(!options || GRIDWELLER_IS_OPEN_OPTIONS(options), FALSE);
  auto args = gw::gobject::ToOpenXLrangeArgs(path, options);
  return Call(
      self, [&](gw::Gridwell& c) -> gboolean { return c.OpenXLrange(args) != gw::kVbFalse; },
      FALSE);
}

// ---- Host services ----

GtkWidget* gridweller_gridwell_get_web_view(GridwellerGridwell* self) {
  g_return_val_if_fail(GRIDWELLER_IS_GRIDWELL(self), nullptr);
  Private* p = self->priv;
  return p->inner ? gridwell_widget_web_view(p->inner) : nullptr;
}

void gridweller_gridwell_load_properties(GridwellerGridwell* self, GKeyFile* key_file,
                                         const char* group) {
  g_return_if_fail(GRIDWELLER_IS_GRIDWELL(self));
  g_return_if_fail(key_file != nullptr && group != nullptr);
  Private* p = self->priv;
  p->store.values.clear();
  gsize count = 0;
  if (char** keys = g_key_file_get_keys(key_file, group, &count, nullptr)) {
    for (gsize i = 0; i < count; ++i) {
      if (char* v = g_key_file_get_string(key_file, group, keys[i], nullptr)) {
        p->store.values[keys[i]] = v;
        g_free(v);
      }
    }
    g_strfreev(keys);
  }
  CallVoid(self, [](gw::Gridwell& c) { c.ReadProperties(); });
}

void gridweller_gridwell_save_properties(GridwellerGridwell* self, GKeyFile* key_file,
                                         const char* group) {
  g_return_if_fail(GRIDWELLER_IS_GRIDWELL(self));
  g_return_if_fail(key_file != nullptr && group != nullptr);
  Private* p = self->priv;
  CallVoid(self, [](gw::Gridwell& c) { c.WriteProperties(); });
  for (const auto& [key, value] : p->store.values) {
    g_key_file_set_string(key_file, group, key.c_str(), value.c_str());
  }
}
