#include "demo/panel.h"

#include <algorithm>
#include <array>

namespace demo {

namespace {

struct PanelState {
  std::array<TwipsRect, kItemCount> rects{};
};

struct DemoPanel {
  GtkFixed parent;
  PanelState* state;
};
struct DemoPanelClass {
  GtkFixedClass parent_class;
};

GType demo_panel_get_type();
G_DEFINE_TYPE(DemoPanel, demo_panel, GTK_TYPE_FIXED)

#define DEMO_PANEL(obj) (G_TYPE_CHECK_INSTANCE_CAST((obj), demo_panel_get_type(), DemoPanel))

constexpr const char* kItemKey = "demo-layout-item";

// The window may be made smaller than its design, down to this.
constexpr int kMinimumWidth = 240;
constexpr int kMinimumHeight = 160;

void demo_panel_init(DemoPanel* self) {
  self->state = new PanelState;
  for (int i = 0; i < kItemCount; ++i) self->state->rects[i] = DesignRect(static_cast<Item>(i));
}

void demo_panel_finalize(GObject* object) {
  delete DEMO_PANEL(object)->state;
  G_OBJECT_CLASS(demo_panel_parent_class)->finalize(object);
}

void demo_panel_preferred_width(GtkWidget*, gint* minimum, gint* natural) {
  *minimum = kMinimumWidth;
  *natural = PixelsFromTwips(kDesignClientWidth);
}

void demo_panel_preferred_height(GtkWidget*, gint* minimum, gint* natural) {
  *minimum = kMinimumHeight;
  *natural = PixelsFromTwips(kDesignClientHeight);
}

void demo_panel_size_allocate(GtkWidget* widget, GtkAllocation* allocation) {
  gtk_widget_set_allocation(widget, allocation);
  if (gtk_widget_get_has_window(widget) && gtk_widget_get_realized(widget)) {
    gdk_window_move_resize(gtk_widget_get_window(widget), allocation->x, allocation->y,
                           allocation->width, allocation->height);
  }
  PanelState& state = *DEMO_PANEL(widget)->state;
  const int outerWidth = TwipsFromPixels(allocation->width) + kFrameWidth;
  const int outerHeight = TwipsFromPixels(allocation->height) + kFrameHeight;
  const int originX = gtk_widget_get_has_window(widget) ? 0 : allocation->x;
  const int originY = gtk_widget_get_has_window(widget) ? 0 : allocation->y;

  GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
  for (GList* l = children; l != nullptr; l = l->next) {
    GtkWidget* child = GTK_WIDGET(l->data);
    const int tag = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(child), kItemKey));
    if (tag <= 0 || tag > kItemCount) continue;
    const Item item = static_cast<Item>(tag - 1);
    TwipsRect& rect = state.rects[tag - 1];
    rect = Resized(item, rect, outerWidth, outerHeight);
    // A control is never drawn smaller than its toolkit minimum.
    GtkRequisition minimum;
    gtk_widget_get_preferred_size(child, &minimum, nullptr);
    GtkAllocation a;
    a.x = originX + PixelsFromTwips(rect.left);
    a.y = originY + PixelsFromTwips(rect.top);
    a.width = std::max(PixelsFromTwips(rect.width), minimum.width);
    a.height = std::max(PixelsFromTwips(rect.height), minimum.height);
    gtk_widget_size_allocate(child, &a);
  }
  g_list_free(children);
}

void demo_panel_class_init(DemoPanelClass* klass) {
  G_OBJECT_CLASS(klass)->finalize = demo_panel_finalize;
  GtkWidgetClass* widget = GTK_WIDGET_CLASS(klass);
  widget->get_preferred_width = demo_panel_preferred_width;
  widget->get_preferred_height = demo_panel_preferred_height;
  widget->size_allocate = demo_panel_size_allocate;
}

}  // namespace

GtkWidget* PanelNew() {
  return GTK_WIDGET(g_object_new(demo_panel_get_type(), nullptr));
}

void PanelPut(GtkWidget* panel, GtkWidget* child, Item item) {
  g_object_set_data(G_OBJECT(child), kItemKey, GINT_TO_POINTER(static_cast<int>(item) + 1));
  const TwipsRect r = DesignRect(item);
  gtk_fixed_put(GTK_FIXED(panel), child, PixelsFromTwips(r.left), PixelsFromTwips(r.top));
}

}  // namespace demo
