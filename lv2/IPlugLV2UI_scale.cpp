#include "lv2/IPlugLV2UI_scale.h"

#include <lv2/atom/atom.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

const void* Feature(const LV2_Feature* const* features, const char* uri) {
    for (int i = 0; features && features[i]; ++i)
        if (features[i]->URI && !std::strcmp(features[i]->URI, uri)) return features[i]->data;
    return nullptr;
}

double Usable(double scale) {
    return std::isfinite(scale) && scale > 0.0 ? scale : 0.0;
}

// The whole text as a number, or 0.
double Number(const char* text, size_t length) {
    char buffer[64];
    if (!text || length == 0 || length >= sizeof buffer) return 0.0;
    std::memcpy(buffer, text, length);
    buffer[length] = '\0';
    char* end = nullptr;
    const double v = std::strtod(buffer, &end);
    while (end && (*end == ' ' || *end == '\t'))
        ++end;
    return end && end != buffer && *end == '\0' ? Usable(v) : 0.0;
}

} // namespace

double LV2HostScaleFactor(const LV2_Feature* const* features) {
    const auto* map = static_cast<const LV2_URID_Map*>(Feature(features, LV2_URID__map));
    const auto* options =
        static_cast<const LV2_Options_Option*>(Feature(features, LV2_OPTIONS__options));
    if (!map || !map->map || !options) return 0.0;
    const LV2_URID key = map->map(map->handle, LV2_UI__scaleFactor);
    const LV2_URID floatType = map->map(map->handle, LV2_ATOM__Float);
    const LV2_URID doubleType = map->map(map->handle, LV2_ATOM__Double);
    const LV2_URID intType = map->map(map->handle, LV2_ATOM__Int);
    for (const LV2_Options_Option* o = options; o->key || o->value; ++o) {
        if (o->key != key || !o->value) continue;
        if (o->type == floatType && o->size == sizeof(float)) {
            float v;
            std::memcpy(&v, o->value, sizeof v);
            return Usable(v);
        }
        if (o->type == doubleType && o->size == sizeof(double)) {
            double v;
            std::memcpy(&v, o->value, sizeof v);
            return Usable(v);
        }
        if (o->type == intType && o->size == sizeof(int32_t)) {
            int32_t v;
            std::memcpy(&v, o->value, sizeof v);
            return Usable(v);
        }
    }
    return 0.0;
}

double DesktopScaleFactor(const char* gdkScale, const char* xResources) {
    if (gdkScale) {
        const double v = Number(gdkScale, std::strlen(gdkScale));
        if (v > 0.0) return v;
    }
    // One resource per line, "name:\tvalue".
    static const char kDpi[] = "Xft.dpi:";
    for (const char* line = xResources; line && *line;) {
        const char* end = std::strchr(line, '\n');
        const size_t length = end ? size_t(end - line) : std::strlen(line);
        if (length > sizeof kDpi - 1 && !std::strncmp(line, kDpi, sizeof kDpi - 1)) {
            const char* value = line + sizeof kDpi - 1;
            while (*value == ' ' || *value == '\t')
                ++value;
            const double dpi = Number(value, length - size_t(value - line));
            if (dpi > 0.0) return dpi / 96.0;
        }
        line = end ? end + 1 : nullptr;
    }
    return 0.0;
}
