// Conversion of GridwellerOpenOptions into the control's argument structs (library-internal).
#pragma once

#include "control/gobject/gridweller.h"
#include "control/gridwell.h"

namespace gridwell::gobject {

// `path` may be null; `options` may be null for every default.
OpenXLArgs ToOpenXLArgs(const char* path, GridwellerOpenOptions* options);
OpenXLrangeArgs ToOpenXLrangeArgs(const char* path, GridwellerOpenOptions* options);

}  // namespace gridwell::gobject
