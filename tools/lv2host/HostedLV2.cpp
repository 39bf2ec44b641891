#include "tools/lv2host/HostedLV2.h"

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/parameters/parameters.h>

#include <cmath>
#include <cstring>

namespace lv2host {

LilvWorld* World() {
    static LilvWorld* world = [] {
        LilvWorld* w = lilv_world_new();
        lilv_world_load_all(w);
        return w;
    }();
    return world;
}

const LilvPlugin* FindPlugin(const std::string& uri) {
    LilvNode* node = lilv_new_uri(World(), uri.c_str());
    const LilvPlugin* plugin =
        node ? lilv_plugins_get_by_uri(lilv_world_get_all_plugins(World()), node) : nullptr;
    lilv_node_free(node);
    return plugin;
}

std::string PluginName(const LilvPlugin* plugin, const std::string& uri) {
    LilvNode* name = lilv_plugin_get_name(plugin);
    std::string s = name ? lilv_node_as_string(name) : uri;
    lilv_node_free(name);
    return s;
}

HostedLV2::~HostedLV2() {
    if (instance) {
        lilv_instance_deactivate(instance);
        lilv_instance_free(instance);
    }
}

bool HostedLV2::Open(const std::string& uri, double sampleRate, int maxBlock,
                     const Controls& settings, bool fixedBlocks, std::string* error) {
    error->clear();
    plugin = FindPlugin(uri);
    if (!plugin) {
        *error = "no LV2 plug-in " + uri + " is installed";
        return false;
    }
    rate = sampleRate;
    block = maxBlock;
    map = {this,
           [](LV2_URID_Map_Handle h, const char* u) { return static_cast<HostedLV2*>(h)->Map(u); }};
    unmap = {this, [](LV2_URID_Unmap_Handle h, LV2_URID id) {
                 auto& mapped = static_cast<HostedLV2*>(h)->uris;
                 return id >= 1 && id <= mapped.size() ? mapped[id - 1].c_str()
                                                       : static_cast<const char*>(nullptr);
             }};
    rateValue = static_cast<float>(rate);
    const LV2_URID intType = Map(LV2_ATOM__Int);
    const char* lengths[] = {LV2_BUF_SIZE__maxBlockLength, LV2_BUF_SIZE__minBlockLength,
                             LV2_BUF_SIZE__nominalBlockLength};
    for (int i = 0; i < 3; ++i)
        options[i] = {LV2_OPTIONS_INSTANCE, 0, Map(lengths[i]), sizeof(int32_t), intType, &block};
    options[3] = {LV2_OPTIONS_INSTANCE, 0,         Map(LV2_PARAMETERS__sampleRate), sizeof(float),
                  Map(LV2_ATOM__Float), &rateValue};
    options[4] = {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr};
    featureData = {{LV2_URID__map, &map},
                   {LV2_URID__unmap, &unmap},
                   {LV2_OPTIONS__options, options},
                   {LV2_BUF_SIZE__boundedBlockLength, nullptr}};
    if (fixedBlocks) featureData.push_back({LV2_BUF_SIZE__fixedBlockLength, nullptr});
    features.clear();
    for (LV2_Feature& f : featureData)
        features.push_back(&f);
    features.push_back(nullptr);

    LilvNodes* required = lilv_plugin_get_required_features(plugin);
    LILV_FOREACH(nodes, i, required) {
        const char* feature = lilv_node_as_uri(lilv_nodes_get(required, i));
        bool offered = false;
        for (const LV2_Feature& f : featureData)
            offered = offered || !std::strcmp(f.URI, feature);
        if (!offered) *error = uri + ": it needs " + feature;
    }
    lilv_nodes_free(required);
    if (!error->empty()) return false;
    if (!Ports(settings, error)) {
        *error = uri + ": " + *error;
        return false;
    }
    instance = Another();
    if (!instance) *error = uri + ": instantiation failed";
    return instance != nullptr;
}

LilvInstance* HostedLV2::Another() {
    LilvInstance* i = lilv_plugin_instantiate(plugin, rate, features.data());
    if (!i) return nullptr;
    for (uint32_t p : controlPorts)
        lilv_instance_connect_port(i, p, &controls[p]);
    for (uint32_t p : cvPorts)
        lilv_instance_connect_port(i, p, silence.data());
    for (size_t a = 0; a < atomPorts.size(); ++a)
        lilv_instance_connect_port(i, atomPorts[a], atoms[a].data());
    lilv_instance_activate(i);
    return i;
}

void HostedLV2::Run(const float* const* in, int inCount, float* const* out, int outCount,
                    uint32_t n) {
    for (size_t a = 0; a < audioIn.size(); ++a)
        lilv_instance_connect_port(instance, audioIn[a],
                                   const_cast<float*>(in[a % static_cast<size_t>(inCount)]));
    for (size_t a = 0; a < audioOut.size(); ++a)
        lilv_instance_connect_port(instance, audioOut[a],
                                   a < static_cast<size_t>(outCount) ? out[a] : scratch.data());
    for (size_t a = 0; a < atoms.size(); ++a)
        ResetAtom(a);
    lilv_instance_run(instance, n);
}

LV2_URID HostedLV2::Map(const char* uri) {
    for (size_t i = 0; i < uris.size(); ++i)
        if (uris[i] == uri) return static_cast<LV2_URID>(i + 1);
    uris.emplace_back(uri);
    return static_cast<LV2_URID>(uris.size());
}

bool HostedLV2::Ports(const Controls& settings, std::string* error) {
    LilvWorld* w = World();
    LilvNode* audio = lilv_new_uri(w, LV2_CORE__AudioPort);
    LilvNode* control = lilv_new_uri(w, LV2_CORE__ControlPort);
    LilvNode* cv = lilv_new_uri(w, LV2_CORE__CVPort);
    LilvNode* atom = lilv_new_uri(w, LV2_ATOM__AtomPort);
    LilvNode* input = lilv_new_uri(w, LV2_CORE__InputPort);
    LilvNode* optional = lilv_new_uri(w, LV2_CORE__connectionOptional);
    const uint32_t n = lilv_plugin_get_num_ports(plugin);
    std::vector<float> defaults(n), mins(n), maxs(n);
    lilv_plugin_get_port_ranges_float(plugin, mins.data(), maxs.data(), defaults.data());
    controls.assign(n, 0.0f);
    std::vector<bool> set(settings.size(), false);
    for (uint32_t i = 0; i < n; ++i) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
        const bool in = lilv_port_is_a(plugin, port, input);
        if (lilv_port_is_a(plugin, port, audio)) {
            (in ? audioIn : audioOut).push_back(i);
        } else if (lilv_port_is_a(plugin, port, control)) {
            controls[i] =
                std::isnan(defaults[i]) ? (std::isnan(mins[i]) ? 0.0f : mins[i]) : defaults[i];
            const char* symbol = lilv_node_as_string(lilv_port_get_symbol(plugin, port));
            for (size_t c = 0; c < settings.size(); ++c)
                if (in && settings[c].first == symbol) {
                    controls[i] = settings[c].second;
                    set[c] = true;
                }
            controlPorts.push_back(i);
        } else if (lilv_port_is_a(plugin, port, cv)) {
            cvPorts.push_back(i);
        } else if (lilv_port_is_a(plugin, port, atom)) {
            atomPorts.push_back(i);
            atomIsInput.push_back(in);
        } else if (!lilv_port_has_property(plugin, port, optional)) {
            *error = "port " + std::to_string(i) + " is of a kind this host does not offer";
        }
    }
    for (LilvNode* node : {audio, control, cv, atom, input, optional})
        lilv_node_free(node);
    for (size_t c = 0; c < set.size(); ++c)
        if (!set[c]) *error = "no control input \"" + settings[c].first + "\"";
    if (error->empty() && (audioIn.empty() || audioOut.empty()))
        *error = "no audio input or output";
    silence.assign(static_cast<size_t>(block), 0.0f);
    scratch.assign(static_cast<size_t>(block), 0.0f);
    atoms.assign(atomPorts.size(), std::vector<uint64_t>(1024));
    for (size_t a = 0; a < atoms.size(); ++a)
        ResetAtom(a);
    return error->empty();
}

// An empty sequence for an input, room for the plug-in to write into for an output.
void HostedLV2::ResetAtom(size_t a) {
    auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(atoms[a].data());
    seq->atom.type = Map(atomIsInput[a] ? LV2_ATOM__Sequence : LV2_ATOM__Chunk);
    seq->atom.size = atomIsInput[a] ? sizeof(LV2_Atom_Sequence_Body)
                                    : static_cast<uint32_t>(atoms[a].size() * 8 - sizeof(LV2_Atom));
    seq->body.unit = 0;
    seq->body.pad = 0;
}

} // namespace lv2host
