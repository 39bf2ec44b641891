// Where the LV2 UI's scale factor comes from: the host's ui:scaleFactor option when it gives
// one; else the desktop's own scale, GDK_SCALE (what GTK hosts draw their windows at), then the
// X resource Xft.dpi over 96; else 1. Each source that is missing, unreadable, not finite or not
// positive is passed over for the next.
#pragma once

#include <lv2/core/lv2.h>

// The host's ui:scaleFactor (an atom:Float, atom:Double or atom:Int option, mapped through the
// host's urid:map), or 0 when it gives none.
double LV2HostScaleFactor(const LV2_Feature* const* features);

// The desktop's scale from the value of GDK_SCALE and the display's resource string (both may be
// null), or 0 when neither gives one.
double DesktopScaleFactor(const char* gdkScale, const char* xResources);
