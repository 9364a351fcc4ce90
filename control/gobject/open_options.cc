// GridwellerOpenOptions: the optional parameters of OpenXL and OpenXLrange as properties, built
// from the table in surface.h. Every value lives in one GValue per setting, so a new setting is
// a row in that table and a line in the conversion below.
#include <array>

#include "control/gobject/gridweller.h"
#include "control/gobject/options.h"
#include "control/gobject/surface.h"

namespace {

using gridwell::gobject::kOptionCount;
using gridwell::gobject::kOptions;
using gridwell::gobject::Option;
using gridwell::gobject::ValueKind;

GParamSpec* g_option_specs[kOptionCount + 1];

}  // namespace

struct _GridwellerOpenOptions {
  GObject parent;
  GValue values[kOptionCount];
};

G_DEFINE_TYPE(GridwellerOpenOptions, gridweller_open_options, G_TYPE_OBJECT)

static void gridweller_open_options_get_property(GObject* object, guint id, GValue* value,
                                                 GParamSpec* pspec) {
  if (id == 0 || id > kOptionCount) {
    G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
    return;
  }
  g_value_copy(&GRIDWELLER_OPEN_OPTIONS(object)->values[id - 1], value);
}

static void gridweller_open_options_set_property(GObject* object, guint id, const GValue* value,
                                                 GParamSpec* pspec) {
  if (id == 0 || id > kOptionCount) {
    G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
    return;
  }
  g_value_copy(value, &GRIDWELLER_OPEN_OPTIONS(object)->values[id - 1]);
}

static void gridweller_open_options_finalize(GObject* object) {
  for (GValue& v : GRIDWELLER_OPEN_OPTIONS(object)->values) g_value_unset(&v);
  G_OBJECT_CLASS(gridweller_open_options_parent_class)->finalize(object);
}

static void gridweller_open_options_class_init(GridwellerOpenOptionsClass* klass) {
  auto* object_class = G_OBJECT_CLASS(klass);
  object_class->get_property = gridweller_open_options_get_property;
  object_class->set_property = gridweller_open_options_set_property;
  object_class->finalize = gridweller_open_options_finalize;
  constexpr auto flags = static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS);
  for (size_t i = 0; i < kOptionCount; ++i) {
    const auto& o = kOptions[i];
    GParamSpec*& pspec = g_option_specs[i + 1];
    switch (o.kind) {
      case ValueKind::String:
        pspec = g_param_spec_string(o.name, o.param, o.text, nullptr, flags);
        break;
      case ValueKind::Int:
        pspec = g_param_spec_int(o.name, o.param, o.text, o.min, o.max, 0, flags);
        break;
      case ValueKind::Boolean:
        pspec = g_param_spec_boolean(o.name, o.param, o.text, FALSE, flags);
        break;
      default:
        g_assert_not_reached();
    }
  }
  g_object_class_install_properties(object_class, kOptionCount + 1, g_option_specs);
}

static void gridweller_open_options_init(GridwellerOpenOptions* self) {
  for (size_t i = 0; i < kOptionCount; ++i) {
    g_value_init(&self->values[i], G_PARAM_SPEC_VALUE_TYPE(g_option_specs[i + 1]));
    g_param_value_set_default(g_option_specs[i + 1], &self->values[i]);
  }
}

GridwellerOpenOptions* gridweller_open_options_new(void) {
  return GRIDWELLER_OPEN_OPTIONS(g_object_new(GRIDWELLER_TYPE_OPEN_OPTIONS, nullptr));
}

namespace gridwell::gobject {

namespace {

struct Reader {
  GridwellerOpenOptions* o;  // null: every default
  std::string Str(Option i) const {
    const char* s = o ? g_value_get_string(&o->values[i]) : nullptr;
    return s ? s : "";
  }
  int32_t Int(Option i) const { return o ? g_value_get_int(&o->values[i]) : 0; }
  VbBool Bool(Option i) const {
    return o && g_value_get_boolean(&o->values[i]) ? kVbTrue : kVbFalse;
  }
  Variant Sheet() const {
    if (o && g_value_get_string(&o->values[kSheet])) return Str(kSheet);
    if (const int32_t n = Int(kSheetNumber)) return static_cast<int16_t>(n);
    return {};
  }
};

// The parameters that OpenXL and OpenXLrange share, in their order.
template <typename Args>
void FillShared(const Reader& r, const char* path, Args& a) {
  a.strPath = path ? path : "";
  a.varSheet = r.Sheet();
  a.strPassword = r.Str(kPassword);
  a.blnShowFormulas = r.Bool(kShowFormulas);
  a.blnHideRowNumbers = r.Bool(kHideRowNumbers);
  a.blnHideColLetters = r.Bool(kHideColLetters);
  a.blnColLettersAtBottom = r.Bool(kColLettersAtBottom);
  a.blnRowNumbersAtRight = r.Bool(kRowNumbersAtRight);
  a.strHeading = r.Str(kHeading);
  a.strTitle = r.Str(kTitle);
  a.strBackgroundColor = r.Str(kBackgroundColor);
  a.strBackgroundImageFile = r.Str(kBackgroundImageFile);
  a.strTableColor = r.Str(kTableColor);
  a.strTableImageFile = r.Str(kTableImageFile);
  a.blnOpenSynchronously = r.Bool(kOpenSynchronously);
  a.blnNewBrowserWindow = r.Bool(kNewBrowserWindow);
  a.blnShowComments = r.Bool(kShowComments);
  a.blnNoStyle = r.Bool(kNoStyle);
  a.blnCompactStyles = r.Bool(kCompactStyles);
  a.lngFastPagesFrom = r.Int(kFastPagesFrom);
  a.blnSheetLook = r.Bool(kSheetLook);
}

}  // namespace

OpenXLArgs ToOpenXLArgs(const char* path, GridwellerOpenOptions* options) {
  const Reader r{options};
  OpenXLArgs a;
  FillShared(r, path, a);
  a.lngStartRow = r.Int(kStartRow);
  a.intStartCol = static_cast<int16_t>(r.Int(kStartCol));
  a.lngEndRow = r.Int(kEndRow);
  a.intEndCol = static_cast<int16_t>(r.Int(kEndCol));
  return a;
}

OpenXLrangeArgs ToOpenXLrangeArgs(const char* path, GridwellerOpenOptions* options) {
  const Reader r{options};
  OpenXLrangeArgs a;
  FillShared(r, path, a);
  a.strRange = r.Str(kRange);
  return a;
}

}  // namespace gridwell::gobject
