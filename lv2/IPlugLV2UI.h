// The UI side of the LV2 bundle: a plug-in object of the UI's own, with the product's parameters
// and editor, whose host is the LV2 UI host rather than the DSP instance.
//
// LV2 hosts may run the DSP in another process, so nothing here reaches the DSP instance: the
// control ports are the only link. An edit in the editor goes out as a float on its control port
// through the host's write function (the real value, as the DSP reads it), inside a ui:touch
// grab and release when the host offers touch; a port event from the host moves the controls
// and is never written back. Ports are found by symbol (the ui:portMap the host gives, else the
// plug-in's own port layout, chosen by the plug-in URI), so every channel configuration shares
// one UI.
//
// Bypass has two ports: the host's own "enabled" (the bypass parameter, inverted) and the
// earlier builds' "by", which hosts that ignore notOnGUI show and which old sessions restore.
// The effect bypasses when either says so, and so does the editor's switch; a press of the
// switch writes both, "enabled" as the switch now shows and "by" cleared, so the state the user
// sets is the one that plays whatever the other port held.
//
// The quality setting has a port of its own ("quality", no parameter): a port event sets the
// UI's setting and shows it; the editor's switch writes the port and shows the new setting at
// once, as the host echoes nothing back to the UI that wrote.
//
// Threads: everything runs on the host's UI thread.
#pragma once

#include "containers/WDL_TypedBuf.h"
#include "lv2/IPlugLV2Base.h"
#include "lv2/LV2Product.h"

#include <lv2/core/lv2.h>
#include <lv2/ui/ui.h>

#include <cstdint>

class IPlugLV2UI : public IPlugLV2Base {
public:
    using IPlugLV2Base::IPlugLV2Base;

    // Binds the UI to the host: pluginURI names the plug-in (one of the channel configurations
    // under LV2PluginURIBase()), write and controller carry edits, features may hold ui:touch
    // and ui:portMap. False when the plug-in URI is not one of ours or write is null.
    bool Connect(const char* pluginURI, LV2UI_Write_Function write, LV2UI_Controller controller,
                 const LV2_Feature* const* features);
    // A control port's value from the host (float protocol only; other ports and formats, and
    // values that are not finite, are ignored). Moves the bound controls; writes nothing back.
    void PortEvent(uint32_t port, uint32_t size, uint32_t format, const void* buffer);

    int PortOfParam(int paramIdx) const;            // -1 when unbound
    int ParamOfPort(uint32_t port) const;           // -1 when no parameter sits there
    int BypassPort() const { return bypassPort; }   // "by"; -1 when the plug-in has none
    int QualityPort() const { return qualityPort; } // -1 when the plug-in has none

    // ---- Host-facing operations of the base ----
    void BeginInformHostOfParamChange(int paramIdx) override;
    void InformHostOfParamChange(int paramIdx, double normalizedValue) override;
    void EndInformHostOfParamChange(int paramIdx) override;
    void SetQualityFromGUI(int quality) override;

private:
    void Touch(int paramIdx, bool grabbed);
    void WritePort(int port, float value);
    void ShowBypass(); // the bypass parameter and the switch: either port bypassing

    LV2UI_Write_Function write = nullptr;
    LV2UI_Controller controller = nullptr;
    const LV2UI_Touch* touch = nullptr;
    WDL_TypedBuf<int> ports; // control port index of each parameter
    int bypassPort = -1;
    int qualityPort = -1;
    // What each bypass port last said, as real values of the bypass parameter (1 bypasses).
    double enabledBypass = 0.0, portBypass = 0.0;
};

// The factory each product defines for this wrapper (as for every wrapper): constructs the
// product in memory (or in a new block when memory is null) and returns it.
IPlugLV2UI* MakePlug(void* memory);
// The URI of the product's UI: base#ui; out holds at least kLV2URISize bytes.
void LV2UIURI(const char* base, char* out);
