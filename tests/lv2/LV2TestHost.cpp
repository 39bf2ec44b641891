#include "LV2TestHost.h"

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <dlfcn.h>
#include <random>

URIDMap::URIDMap() {
    map.handle = this;
    map.map = [](LV2_URID_Map_Handle h, const char* uri) {
        return static_cast<URIDMap*>(h)->Map(uri);
    };
    unmap.handle = this;
    unmap.unmap = [](LV2_URID_Unmap_Handle h, LV2_URID urid) {
        return static_cast<URIDMap*>(h)->Unmap(urid);
    };
    mapFeature = {LV2_URID__map, &map};
    unmapFeature = {LV2_URID__unmap, &unmap};
}

LV2_URID URIDMap::Map(const char* uri) {
    for (size_t i = 0; i < uris.size(); ++i)
        if (uris[i] == uri) return static_cast<LV2_URID>(i + 1);
    uris.emplace_back(uri);
    return static_cast<LV2_URID>(uris.size());
}

const char* URIDMap::Unmap(LV2_URID urid) const {
    return urid >= 1 && urid <= uris.size() ? uris[urid - 1].c_str() : nullptr;
}

LilvWorld* TestWorld() {
    static LilvWorld* world = [] {
        // Keep the plug-in's library loaded to the end, so that sanitizer reports can name it.
        dlopen(ZERUB_LV2_BUNDLE "/Zerub.so", RTLD_NOW | RTLD_NODELETE);
        LilvWorld* w = lilv_world_new();
        // The LV2 core bundle, so that plug-in classes are known.
        LilvNode* core = lilv_new_file_uri(w, nullptr, "/usr/lib/lv2/core.lv2/");
        lilv_world_load_bundle(w, core);
        lilv_node_free(core);
        lilv_world_load_specifications(w);
        lilv_world_load_plugin_classes(w);
        LilvNode* bundle = lilv_new_file_uri(w, nullptr, ZERUB_LV2_BUNDLE "/");
        lilv_world_load_bundle(w, bundle);
        lilv_node_free(bundle);
        return w;
    }();
    return world;
}

const LilvPlugin* TestPlugin(const char* uri) {
    LilvWorld* world = TestWorld();
    LilvNode* node = lilv_new_uri(world, uri);
    const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), node);
    lilv_node_free(node);
    return plugin;
}

TestInstance::TestInstance(const char* uri, double rate, HostFeatures features, int maxBlock) {
    plugin = TestPlugin(uri);
    if (!plugin) return;
    if (features != HostFeatures::kNone) {
        featureList.push_back(map.MapFeature());
        featureList.push_back(map.UnmapFeature());
    }
    if (features == HostFeatures::kMapAndOptions) {
        maxBlockValue = maxBlock;
        options[0] = {LV2_OPTIONS_INSTANCE,
                      0,
                      map.Map(LV2_BUF_SIZE__maxBlockLength),
                      sizeof(int32_t),
                      map.Map(LV2_ATOM__Int),
                      &maxBlockValue};
        optionsFeature = {LV2_OPTIONS__options, options};
        featureList.push_back(&optionsFeature);
    }
    featureList.push_back(nullptr);
    instance = lilv_plugin_instantiate(
        plugin, rate, features == HostFeatures::kNone ? nullptr : featureList.data());
    if (!instance) return;

    LilvWorld* world = TestWorld();
    LilvNode* audioClass = lilv_new_uri(world, LV2_CORE__AudioPort);
    LilvNode* controlClass = lilv_new_uri(world, LV2_CORE__ControlPort);
    LilvNode* inputClass = lilv_new_uri(world, LV2_CORE__InputPort);
    const uint32_t nPorts = lilv_plugin_get_num_ports(plugin);
    controls.reserve(nPorts); // connected by address below: never reallocated
    for (uint32_t i = 0; i < nPorts; ++i) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
        const bool input = lilv_port_is_a(plugin, port, inputClass);
        if (lilv_port_is_a(plugin, port, audioClass)) {
            (input ? audioIn : audioOut).push_back(i);
        } else if (lilv_port_is_a(plugin, port, controlClass)) {
            LilvNode* def = nullptr;
            lilv_port_get_range(plugin, port, &def, nullptr, nullptr);
            controls.push_back(def ? lilv_node_as_float(def) : 0.0f);
            lilv_node_free(def);
            controlSymbols.emplace_back(lilv_node_as_string(lilv_port_get_symbol(plugin, port)));
            lilv_instance_connect_port(instance, i, &controls.back());
        }
    }
    lilv_node_free(audioClass);
    lilv_node_free(controlClass);
    lilv_node_free(inputClass);
    lilv_instance_activate(instance);
}

TestInstance::~TestInstance() {
    if (!instance) return;
    lilv_instance_deactivate(instance);
    lilv_instance_free(instance);
}

float& TestInstance::Control(const char* symbol) {
    for (size_t i = 0; i < controlSymbols.size(); ++i)
        if (controlSymbols[i] == symbol) return controls[i];
    ADD_FAILURE() << "no control port " << symbol;
    static float unknown = 0.0f;
    return unknown;
}

void TestInstance::Run(const std::vector<std::vector<float>>& in,
                       std::vector<std::vector<float>>& out, size_t offset, uint32_t n) {
    for (size_t c = 0; c < audioIn.size(); ++c)
        lilv_instance_connect_port(instance, audioIn[c], const_cast<float*>(in[c].data()) + offset);
    for (size_t c = 0; c < audioOut.size(); ++c)
        lilv_instance_connect_port(instance, audioOut[c], out[c].data() + offset);
    lilv_instance_run(instance, n);
}

std::vector<float> TestSignal(size_t n, unsigned seed, float amplitude) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> noise(-0.3f, 0.3f);
    std::vector<float> s(n);
    for (size_t i = 0; i < n; ++i)
        s[i] = amplitude *
               (0.7f * static_cast<float>(std::sin(0.013 * i * (1 + seed % 5))) + noise(rng));
    return s;
}
