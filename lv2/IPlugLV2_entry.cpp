// The bundle's exported entry, lv2_descriptor, and the descriptor's calls. Every call checks the
// host's handle and arguments before it reaches the wrapper.
#include "lv2/IPlugLV2.h"

#include <cstring>

namespace {

constexpr int kMaxPlugins = 8; // channel configurations offered as separate plug-ins

struct DescriptorTable {
    LV2_Descriptor descriptors[kMaxPlugins] = {};
    char uris[kMaxPlugins][kLV2URISize] = {};
    int n = 0;
};

IPlugLV2* Plug(LV2_Handle handle) {
    return static_cast<IPlugLV2*>(handle);
}

const DescriptorTable& Table();

int ConfigIndex(const LV2_Descriptor* descriptor) {
    const DescriptorTable& table = Table();
    for (int i = 0; i < table.n; ++i)
        if (descriptor == &table.descriptors[i]) return i;
    return -1;
}

LV2_Handle Instantiate(const LV2_Descriptor* descriptor, double rate, const char* /*bundlePath*/,
                       const LV2_Feature* const* /*features*/) {
    const int ioIdx = ConfigIndex(descriptor);
    if (ioIdx < 0) return nullptr;
    IPlugLV2* plug = MakePlug(nullptr);
    if (!plug) return nullptr;
    if (!plug->IsComplete() || !plug->Setup(ioIdx, rate)) {
        delete plug;
        return nullptr;
    }
    return plug;
}

void ConnectPort(LV2_Handle handle, uint32_t port, void* data) {
    if (handle) Plug(handle)->ConnectPort(port, data);
}

void Activate(LV2_Handle handle) {
    if (handle) Plug(handle)->Activate();
}

void Run(LV2_Handle handle, uint32_t nFrames) {
    if (handle) Plug(handle)->Run(nFrames);
}

void Deactivate(LV2_Handle handle) {
    if (handle) Plug(handle)->Deactivate();
}

void Cleanup(LV2_Handle handle) {
    delete Plug(handle);
}

// No extension: the control ports carry everything a host saves.
const void* ExtensionData(const char* /*uri*/) {
    return nullptr;
}

// The plug-ins follow the product's channel configurations, read from one instance. Filled in
// place: the descriptors point at the table's own URI strings.
bool FillTable(DescriptorTable& table) {
    IPlugLV2* plug = MakePlug(nullptr);
    if (!plug || !plug->IsComplete()) {
        delete plug;
        return false;
    }
    for (int i = 0; i < plug->NChannelIO() && table.n < kMaxPlugins; ++i) {
        IPlugLV2::PluginURI(LV2PluginURIBase(), *plug->GetChannelIO(i), table.uris[table.n]);
        LV2_Descriptor& d = table.descriptors[table.n];
        d.URI = table.uris[table.n];
        d.instantiate = Instantiate;
        d.connect_port = ConnectPort;
        d.activate = Activate;
        d.run = Run;
        d.deactivate = Deactivate;
        d.cleanup = Cleanup;
        d.extension_data = ExtensionData;
        ++table.n;
    }
    delete plug;
    return true;
}

const DescriptorTable& Table() {
    static DescriptorTable table;
    static const bool filled = FillTable(table); // once, thread-safe
    (void)filled;
    return table;
}

} // namespace

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    const DescriptorTable& table = Table();
    return index < static_cast<uint32_t>(table.n) ? &table.descriptors[index] : nullptr;
}
