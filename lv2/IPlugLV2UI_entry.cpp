// The UI binary's exported entry, lv2ui_descriptor: one X11 UI for every plug-in of the bundle.
//
// Instantiate makes the product (its editor is an IGraphicsX11 reading the bundle's images),
// binds it to the host's ports, sets the editor's scale (IPlugLV2UI_scale.h) and the user's
// remembered zoom, opens the editor's window inside ui:parent (a top-level window when the host
// gives none) and tells ui:resize the editor's size in device pixels, then again whenever the
// user zooms. The host drives the window
// through the idle interface; the UI starts no thread and no timer.
#include "editor/IGraphicsX11.h"
#include "lv2/IPlugLV2UI.h"
#include "lv2/IPlugLV2UI_scale.h"

#include <lv2/ui/ui.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace {

struct UI {
    IPlugLV2UI* plug = nullptr;
    IGraphicsX11* editor = nullptr;
    const LV2UI_Resize* resize = nullptr;
};

// The editor's new size (the user's zoom) to the host, which resizes its window around it.
void TellHostSize(void* context, int width, int height) {
    const UI* ui = static_cast<const UI*>(context);
    if (ui->resize && ui->resize->ui_resize)
        ui->resize->ui_resize(ui->resize->handle, width, height);
}

const void* FeatureData(const LV2_Feature* const* features, const char* uri, bool* present) {
    for (int i = 0; features && features[i]; ++i) {
        if (features[i]->URI && !std::strcmp(features[i]->URI, uri)) {
            if (present) *present = true;
            return features[i]->data;
        }
    }
    if (present) *present = false;
    return nullptr;
}

void Destroy(UI* ui) {
    if (!ui) return;
    if (ui->editor) ui->editor->CloseWindow();
    delete ui->plug; // deletes the editor with it
    delete ui;
}

LV2UI_Handle Instantiate(const LV2UI_Descriptor*, const char* pluginURI, const char* bundlePath,
                         LV2UI_Write_Function write, LV2UI_Controller controller,
                         LV2UI_Widget* widget, const LV2_Feature* const* features) {
    if (!pluginURI || !bundlePath || !write || !widget) return nullptr;
    UI* ui = new UI;
    {
        // The images' folder is read when the product builds its editor, in its constructor.
        static std::mutex creation;
        std::lock_guard<std::mutex> lock(creation);
        std::string resources = bundlePath;
        if (!resources.empty() && resources.back() != '/') resources += '/';
        resources += "resources";
        IGraphicsX11::SetDefaultResourceDir(resources.c_str());
        ui->plug = MakePlug(nullptr);
    }
    if (!ui->plug || !ui->plug->IsComplete() ||
        !ui->plug->Connect(pluginURI, write, controller, features)) {
        Destroy(ui);
        return nullptr;
    }
    ui->editor = dynamic_cast<IGraphicsX11*>(ui->plug->GetGUI());
    if (!ui->editor) {
        Destroy(ui);
        return nullptr;
    }
    ui->editor->SetPluginDir(bundlePath);
    double scale = LV2HostScaleFactor(features);
    if (scale <= 0.0) {
        WDL_String resources;
        IGraphicsX11::DisplayResources(&resources);
        scale = DesktopScaleFactor(std::getenv("GDK_SCALE"), resources.Get());
    }
    if (scale > 0.0) ui->editor->SetScale(scale);
    // The user's own zoom on top, as this user last left it.
    ui->editor->RememberUserZoom();
    void* parent = const_cast<void*>(FeatureData(features, LV2_UI__parent, nullptr));
    void* window = ui->editor->OpenWindow(parent);
    if (!window) { // no display to open a window on
        Destroy(ui);
        return nullptr;
    }
    ui->plug->OnGUIOpen();
    ui->resize = static_cast<const LV2UI_Resize*>(FeatureData(features, LV2_UI__resize, nullptr));
    TellHostSize(ui, ui->editor->DeviceWidth(), ui->editor->DeviceHeight());
    ui->editor->SetSizeListener(TellHostSize, ui);
    *widget = window;
    return ui;
}

void Cleanup(LV2UI_Handle handle) {
    UI* ui = static_cast<UI*>(handle);
    if (ui && ui->plug) ui->plug->OnGUIClose();
    Destroy(ui);
}

void PortEvent(LV2UI_Handle handle, uint32_t port, uint32_t size, uint32_t format,
               const void* buffer) {
    UI* ui = static_cast<UI*>(handle);
    if (ui && ui->plug) ui->plug->PortEvent(port, size, format, buffer);
}

// 0 while the window is open; non-zero once it is gone (the user closed a top-level window).
int Idle(LV2UI_Handle handle) {
    UI* ui = static_cast<UI*>(handle);
    if (!ui || !ui->editor) return 1;
    return ui->editor->Idle() ? 0 : 1;
}

const LV2UI_Idle_Interface kIdleInterface = {Idle};

const void* ExtensionData(const char* uri) {
    if (uri && !std::strcmp(uri, LV2_UI__idleInterface)) return &kIdleInterface;
    return nullptr;
}

struct Descriptor {
    char uri[kLV2URISize] = {};
    LV2UI_Descriptor descriptor = {};
    Descriptor() {
        LV2UIURI(LV2PluginURIBase(), uri);
        descriptor = {uri, Instantiate, Cleanup, PortEvent, ExtensionData};
    }
};

} // namespace

LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
    static const Descriptor d;
    return index == 0 ? &d.descriptor : nullptr;
}
