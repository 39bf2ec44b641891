#include "tools/aliasing/LV2Processor.h"

#include "tools/lv2host/HostedLV2.h"

#include <memory>

namespace aliasing {

Processor LV2Processor(const LV2Setting& setting, double rate, std::string* error,
                       std::string* name) {
    auto hosted = std::make_shared<lv2host::HostedLV2>();
    if (!hosted->Open(setting.uri, rate, kBlockFrames, setting.controls, false, error)) return {};
    if (name) *name = lv2host::PluginName(lv2host::FindPlugin(setting.uri), setting.uri);
    return [hosted](const float* in, float* out, int n) {
        if (n < 0 || n > kBlockFrames) return false;
        hosted->Run(&in, 1, &out, 1, static_cast<uint32_t>(n));
        return true;
    };
}

bool LV2ControlRange(const std::string& uri, const std::string& symbol, float* min, float* max,
                     std::string* error) {
    const LilvPlugin* plugin = lv2host::FindPlugin(uri);
    if (!plugin) {
        *error = "no LV2 plug-in " + uri + " is installed";
        return false;
    }
    LilvNode* sym = lilv_new_string(lv2host::World(), symbol.c_str());
    const LilvPort* port = lilv_plugin_get_port_by_symbol(plugin, sym);
    lilv_node_free(sym);
    if (!port) {
        *error = uri + ": no port \"" + symbol + "\"";
        return false;
    }
    LilvNode *def = nullptr, *lo = nullptr, *hi = nullptr;
    lilv_port_get_range(plugin, port, &def, &lo, &hi);
    const bool ok = lo && hi;
    if (ok) {
        *min = lilv_node_as_float(lo);
        *max = lilv_node_as_float(hi);
    } else {
        *error = uri + ": port \"" + symbol + "\" has no range";
    }
    lilv_node_free(def);
    lilv_node_free(lo);
    lilv_node_free(hi);
    return ok;
}

} // namespace aliasing
