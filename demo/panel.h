// The demo window's client area: a GtkFixed whose children are placed by the twips layout
// (layout.h) instead of fixed pixel positions, so that they follow the window's size.
#pragma once

#include <gtk/gtk.h>

#include "demo/layout.h"

namespace demo {

GtkWidget* PanelNew();
// Adds `child` as the control `item`, at its design place until the first allocation.
void PanelPut(GtkWidget* panel, GtkWidget* child, Item item);

}  // namespace demo
