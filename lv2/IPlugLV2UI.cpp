#include "lv2/IPlugLV2UI.h"

#include "lv2/IPlugLV2UI_ports.h"
#include "lv2/LV2PortValues.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

bool IPlugLV2UI::Connect(const char* pluginURI, LV2UI_Write_Function writeFunction,
                         LV2UI_Controller hostController, const LV2_Feature* const* features) {
    if (!writeFunction) return false;
    if (NParams() > 0 && !ports.Resize(NParams(), false)) return false;
    if (!LV2ControlPorts(LV2PluginURIBase(), pluginURI, this, ports.Get(), &bypassPort))
        return false;
    qualityPort = LV2QualityPort(LV2PluginURIBase(), pluginURI, this);
    const LV2UI_Port_Map* portMap = nullptr;
    for (int i = 0; features && features[i]; ++i) {
        const LV2_Feature* f = features[i];
        if (!f->URI) continue;
        if (!std::strcmp(f->URI, LV2_UI__touch))
            touch = static_cast<const LV2UI_Touch*>(f->data);
        else if (!std::strcmp(f->URI, LV2_UI__portMap))
            portMap = static_cast<const LV2UI_Port_Map*>(f->data);
    }
    // The host's own map is the authority where it has one.
    for (int p = 0; portMap && portMap->port_index && p < NParams(); ++p) {
        const uint32_t index =
            portMap->port_index(portMap->handle, LV2ControlSymbol(this, p).c_str());
        if (index != LV2UI_INVALID_PORT_INDEX) ports.Get()[p] = static_cast<int>(index);
    }
    if (portMap && portMap->port_index && bypassPort >= 0) {
        const uint32_t index =
            portMap->port_index(portMap->handle, LV2BypassPortSymbol(this).c_str());
        if (index != LV2UI_INVALID_PORT_INDEX) bypassPort = static_cast<int>(index);
    }
    if (portMap && portMap->port_index && qualityPort >= 0) {
        const uint32_t index = portMap->port_index(portMap->handle, "quality");
        if (index != LV2UI_INVALID_PORT_INDEX) qualityPort = static_cast<int>(index);
    }
    const int bypassParam = LV2Product().enabledParam;
    if (const IParam* bypass = GetParam(bypassParam)) enabledBypass = bypass->Value();
    write = writeFunction;
    controller = hostController;
    return true;
}

int IPlugLV2UI::PortOfParam(int paramIdx) const {
    return paramIdx >= 0 && paramIdx < ports.GetSize() ? ports.Get()[paramIdx] : -1;
}

int IPlugLV2UI::ParamOfPort(uint32_t port) const {
    for (int p = 0; p < ports.GetSize(); ++p)
        if (ports.Get()[p] >= 0 && static_cast<uint32_t>(ports.Get()[p]) == port) return p;
    return -1;
}

void IPlugLV2UI::PortEvent(uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
    if (format != 0 || size != sizeof(float) || !buffer) return;
    float value;
    std::memcpy(&value, buffer, sizeof value);
    if (!std::isfinite(value)) return;
    if (bypassPort >= 0 && port == static_cast<uint32_t>(bypassPort)) {
        WDL_MutexLock lock(&mutex);
        portBypass = LV2BypassFromBypassPort(value);
        ShowBypass();
        return;
    }
    if (qualityPort >= 0 && port == static_cast<uint32_t>(qualityPort)) {
        // Read as the plug-in reads the port: the nearest setting.
        const float top = static_cast<float>(NQualities() - 1);
        WDL_MutexLock lock(&mutex);
        ChangeQuality(static_cast<int>(std::lround(std::clamp(value, 0.0f, top))));
        return;
    }
    const int paramIdx = ParamOfPort(port);
    if (paramIdx < 0) return;
    WDL_MutexLock lock(&mutex);
    IParam* param = GetParam(paramIdx);
    param->Set(LV2ParamValue(paramIdx, value)); // clamps to the parameter's range
    if (paramIdx == LV2Product().enabledParam) {
        enabledBypass = param->Value();
        ShowBypass();
        return;
    }
    if (IPlugEditor* editor = GetGUI())
        editor->SetParameterFromPlug(paramIdx, param->Value(), false);
}

void IPlugLV2UI::ShowBypass() {
    const int paramIdx = LV2Product().enabledParam;
    IParam* param = GetParam(paramIdx);
    if (!param) return;
    param->Set(std::max(enabledBypass, portBypass));
    if (IPlugEditor* editor = GetGUI())
        editor->SetParameterFromPlug(paramIdx, param->Value(), false);
}

void IPlugLV2UI::Touch(int paramIdx, bool grabbed) {
    if (!touch || !touch->touch) return;
    const int port = PortOfParam(paramIdx);
    if (port >= 0) touch->touch(touch->handle, static_cast<uint32_t>(port), grabbed);
    // A press of the switch writes "by" too, inside the same gesture.
    if (paramIdx == LV2Product().enabledParam && bypassPort >= 0)
        touch->touch(touch->handle, static_cast<uint32_t>(bypassPort), grabbed);
}

void IPlugLV2UI::WritePort(int port, float value) {
    if (write && port >= 0) write(controller, static_cast<uint32_t>(port), sizeof value, 0, &value);
}

void IPlugLV2UI::BeginInformHostOfParamChange(int paramIdx) {
    Touch(paramIdx, true);
}

void IPlugLV2UI::EndInformHostOfParamChange(int paramIdx) {
    Touch(paramIdx, false);
}

void IPlugLV2UI::InformHostOfParamChange(int paramIdx, double /*normalizedValue*/) {
    const IParam* param = GetParam(paramIdx);
    if (!param) return;
    // The DSP reads real values from its control ports (the bypass inverted on "enabled").
    WritePort(PortOfParam(paramIdx), static_cast<float>(LV2PortValue(paramIdx, param->Value())));
    if (paramIdx != LV2Product().enabledParam) return;
    // The switch decides alone: "by" is cleared, else an old session's 1 there would keep the
    // sound bypassed whatever the switch and the host's bypass show.
    enabledBypass = param->Value();
    if (bypassPort >= 0) {
        WritePort(bypassPort, 0.0f);
        portBypass = 0.0;
    }
}

void IPlugLV2UI::SetQualityFromGUI(int quality) {
    if (qualityPort < 0 || quality < 0 || quality >= NQualities()) return;
    WritePort(qualityPort, static_cast<float>(quality));
    WDL_MutexLock lock(&mutex);
    ChangeQuality(quality);
}

void LV2UIURI(const char* base, char* out) {
    std::snprintf(out, kLV2URISize, "%s#ui", base ? base : "");
}
