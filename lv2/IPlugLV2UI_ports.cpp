#include "lv2/IPlugLV2UI_ports.h"

#include "lv2/IPlugLV2.h"
#include "lv2/IPlugLV2_ttl.h"

#include <cstring>

namespace {

// The port layout of the plug-in of plug whose URI under base is pluginURI; false for none.
bool LayoutOf(const char* base, const char* pluginURI, const IPlugBase* plug,
              LV2PortLayout* layout) {
    if (!base || !pluginURI || !plug) return false;
    for (int i = 0; i < plug->NChannelIO(); ++i) {
        const ChannelIO& io = *plug->GetChannelIO(i);
        char uri[kLV2URISize];
        IPlugLV2::PluginURI(base, io, uri);
        if (std::strcmp(uri, pluginURI) != 0) continue;
        layout->nIn = io.in;
        layout->nOut = io.out;
        layout->nParams = plug->NParams();
        layout->bypassPort = !LV2BypassPortSymbol(plug).empty();
        layout->qualityPorts = plug->NQualities() > 1;
        return true;
    }
    return false;
}

} // namespace

bool LV2ControlPorts(const char* base, const char* pluginURI, const IPlugBase* plug, int* ports,
                     int* bypassPort) {
    LV2PortLayout layout;
    if (!LayoutOf(base, pluginURI, plug, &layout)) return false;
    for (int p = 0; p < layout.nParams; ++p)
        ports[p] = layout.FirstControl() + p;
    if (bypassPort) *bypassPort = layout.BypassPort();
    return true;
}

int LV2QualityPort(const char* base, const char* pluginURI, const IPlugBase* plug) {
    LV2PortLayout layout;
    return LayoutOf(base, pluginURI, plug, &layout) ? layout.QualityPort() : -1;
}

std::string LV2ControlSymbol(const IPlugBase* plug, int paramIdx) {
    const std::vector<std::string> symbols = LV2ControlSymbols(plug);
    return paramIdx >= 0 && paramIdx < static_cast<int>(symbols.size()) ? symbols[paramIdx] : "";
}

std::string LV2BypassPortSymbol(const IPlugBase* plug) {
    const std::vector<std::string> symbols = LV2ControlSymbols(plug);
    return plug && static_cast<int>(symbols.size()) > plug->NParams() ? symbols.back() : "";
}
