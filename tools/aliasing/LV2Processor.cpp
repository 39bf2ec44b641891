#include "tools/aliasing/LV2Processor.h"

#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>
#include <lv2/parameters/parameters.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <cstring>
#include <memory>

namespace aliasing {

namespace {

// One world for the program: loading every bundle's Turtle is the slow part.
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

// The instance with everything it points at: URIs, options, port buffers.
class Hosted {
public:
    ~Hosted() {
        if (instance) {
            lilv_instance_deactivate(instance);
            lilv_instance_free(instance);
        }
    }

    bool Open(const LilvPlugin* p, double rate, const LV2Setting& setting, std::string* error) {
        plugin = p;
        map = {this, [](LV2_URID_Map_Handle h, const char* uri) {
                   return static_cast<Hosted*>(h)->Map(uri);
               }};
        unmap = {this, [](LV2_URID_Unmap_Handle h, LV2_URID id) {
                     auto& mapped = static_cast<Hosted*>(h)->uris;
                     return id >= 1 && id <= mapped.size() ? mapped[id - 1].c_str()
                                                           : static_cast<const char*>(nullptr);
                 }};
        rateValue = static_cast<float>(rate);
        const LV2_URID intType = Map(LV2_ATOM__Int);
        const char* lengths[] = {LV2_BUF_SIZE__maxBlockLength, LV2_BUF_SIZE__minBlockLength,
                                 LV2_BUF_SIZE__nominalBlockLength};
        for (int i = 0; i < 3; ++i)
            options[i] = {LV2_OPTIONS_INSTANCE, 0,       Map(lengths[i]),
                          sizeof(int32_t),      intType, &block};
        options[3] = {
            LV2_OPTIONS_INSTANCE, 0,         Map(LV2_PARAMETERS__sampleRate), sizeof(float),
            Map(LV2_ATOM__Float), &rateValue};
        options[4] = {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr};
        featureData = {{LV2_URID__map, &map},
                       {LV2_URID__unmap, &unmap},
                       {LV2_OPTIONS__options, options},
                       {LV2_BUF_SIZE__boundedBlockLength, nullptr}};
        for (LV2_Feature& f : featureData)
            features.push_back(&f);
        features.push_back(nullptr);

        LilvNodes* required = lilv_plugin_get_required_features(plugin);
        LILV_FOREACH(nodes, i, required) {
            const char* feature = lilv_node_as_uri(lilv_nodes_get(required, i));
            bool offered = false;
            for (const LV2_Feature& f : featureData)
                offered = offered || !std::strcmp(f.URI, feature);
            if (!offered) *error = std::string("it needs ") + feature;
        }
        lilv_nodes_free(required);
        if (!error->empty()) return false;
        return Ports(setting, error) && Instantiate(rate, error);
    }

    bool Run(const float* in, float* out, int n) {
        for (uint32_t p : audioIn)
            lilv_instance_connect_port(instance, p, const_cast<float*>(in));
        for (size_t k = 0; k < audioOut.size(); ++k)
            lilv_instance_connect_port(instance, audioOut[k], k == 0 ? out : discard);
        for (size_t a = 0; a < atoms.size(); ++a)
            ResetAtom(a);
        lilv_instance_run(instance, static_cast<uint32_t>(n));
        return true;
    }

private:
    LV2_URID Map(const char* uri) {
        for (size_t i = 0; i < uris.size(); ++i)
            if (uris[i] == uri) return static_cast<LV2_URID>(i + 1);
        uris.emplace_back(uri);
        return static_cast<LV2_URID>(uris.size());
    }

    bool Ports(const LV2Setting& setting, std::string* error) {
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
        std::vector<bool> set(setting.controls.size(), false);
        for (uint32_t i = 0; i < n; ++i) {
            const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
            const bool in = lilv_port_is_a(plugin, port, input);
            if (lilv_port_is_a(plugin, port, audio)) {
                (in ? audioIn : audioOut).push_back(i);
            } else if (lilv_port_is_a(plugin, port, control)) {
                controls[i] =
                    std::isnan(defaults[i]) ? (std::isnan(mins[i]) ? 0.0f : mins[i]) : defaults[i];
                const char* symbol = lilv_node_as_string(lilv_port_get_symbol(plugin, port));
                for (size_t c = 0; c < setting.controls.size(); ++c)
                    if (in && setting.controls[c].first == symbol) {
                        controls[i] = setting.controls[c].second;
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
            if (!set[c]) *error = "no control input \"" + setting.controls[c].first + "\"";
        if (error->empty() && (audioIn.empty() || audioOut.empty()))
            *error = "no audio input or output";
        return error->empty();
    }

    void ResetAtom(size_t a) {
        auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(atoms[a].data());
        seq->atom.type = Map(atomIsInput[a] ? LV2_ATOM__Sequence : LV2_ATOM__Chunk);
        seq->atom.size = atomIsInput[a]
                             ? sizeof(LV2_Atom_Sequence_Body)
                             : static_cast<uint32_t>(atoms[a].size() * 8 - sizeof(LV2_Atom));
        seq->body.unit = 0;
        seq->body.pad = 0;
    }

    bool Instantiate(double rate, std::string* error) {
        instance = lilv_plugin_instantiate(plugin, rate, features.data());
        if (!instance) {
            *error = "instantiation failed";
            return false;
        }
        for (uint32_t p : controlPorts)
            lilv_instance_connect_port(instance, p, &controls[p]);
        for (uint32_t p : cvPorts)
            lilv_instance_connect_port(instance, p, silence);
        atoms.assign(atomPorts.size(), std::vector<uint64_t>(1024));
        for (size_t a = 0; a < atomPorts.size(); ++a) {
            ResetAtom(a);
            lilv_instance_connect_port(instance, atomPorts[a], atoms[a].data());
        }
        lilv_instance_activate(instance);
        return true;
    }

    const LilvPlugin* plugin = nullptr;
    LilvInstance* instance = nullptr;
    std::vector<std::string> uris;
    LV2_URID_Map map{};
    LV2_URID_Unmap unmap{};
    int32_t block = kBlockFrames;
    float rateValue = 0.0f;
    LV2_Options_Option options[5]{};
    std::vector<LV2_Feature> featureData;
    std::vector<const LV2_Feature*> features;
    std::vector<uint32_t> audioIn, audioOut, controlPorts, cvPorts, atomPorts;
    std::vector<bool> atomIsInput;
    std::vector<float> controls;
    std::vector<std::vector<uint64_t>> atoms;
    float silence[kBlockFrames] = {};
    float discard[kBlockFrames] = {};
};

} // namespace

Processor LV2Processor(const LV2Setting& setting, double rate, std::string* error,
                       std::string* name) {
    error->clear();
    const LilvPlugin* plugin = FindPlugin(setting.uri);
    if (!plugin) {
        *error = "no LV2 plug-in " + setting.uri + " is installed";
        return {};
    }
    if (name) {
        LilvNode* n = lilv_plugin_get_name(plugin);
        *name = n ? lilv_node_as_string(n) : setting.uri;
        lilv_node_free(n);
    }
    auto hosted = std::make_shared<Hosted>();
    if (!hosted->Open(plugin, rate, setting, error)) {
        *error = setting.uri + ": " + *error;
        return {};
    }
    return [hosted](const float* in, float* out, int n) {
        return n >= 0 && n <= kBlockFrames && hosted->Run(in, out, n);
    };
}

bool LV2ControlRange(const std::string& uri, const std::string& symbol, float* min, float* max,
                     std::string* error) {
    const LilvPlugin* plugin = FindPlugin(uri);
    if (!plugin) {
        *error = "no LV2 plug-in " + uri + " is installed";
        return false;
    }
    LilvNode* sym = lilv_new_string(World(), symbol.c_str());
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
