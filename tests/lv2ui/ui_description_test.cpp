// The bundle's UI as a host's lilv reads it: one X11 UI for both plug-ins, in Zerub_ui.so, that
// requires the idle interface, takes parent, resize and touch when offered, and asks for
// notifications of every control port.
#include <lilv/lilv.h>
#include <lv2/data-access/data-access.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

namespace {

struct World {
    LilvWorld* world = lilv_world_new();
    World() {
        LilvNode* bundle = lilv_new_file_uri(world, nullptr, ZERUB_LV2_BUNDLE "/");
        lilv_world_load_bundle(world, bundle);
        lilv_node_free(bundle);
    }
    ~World() { lilv_world_free(world); }
};

bool Has(LilvWorld* world, const LilvNode* subject, const char* predicate, const char* object) {
    LilvNode* p = lilv_new_uri(world, predicate);
    LilvNode* o = lilv_new_uri(world, object);
    LilvNodes* found = lilv_world_find_nodes(world, subject, p, o);
    const bool has = found && lilv_nodes_size(found) > 0;
    lilv_nodes_free(found);
    lilv_node_free(p);
    lilv_node_free(o);
    return has;
}

TEST(UIDescription, BothPluginsHaveTheOneX11UIWithItsFeaturesAndNotifications) {
    World w;
    const LilvPlugins* plugins = lilv_world_get_all_plugins(w.world);
    int seen = 0;
    LILV_FOREACH(plugins, i, plugins) {
        const LilvPlugin* plugin = lilv_plugins_get(plugins, i);
        const std::string uri = lilv_node_as_uri(lilv_plugin_get_uri(plugin));
        if (uri.find("quillmoor") == std::string::npos) continue;
        ++seen;
        LilvUIs* uis = lilv_plugin_get_uis(plugin);
        ASSERT_EQ(lilv_uis_size(uis), 1u) << uri;
        const LilvUI* ui = lilv_uis_get(uis, lilv_uis_begin(uis));
        const LilvNode* id = lilv_ui_get_uri(ui);
        EXPECT_STREQ(lilv_node_as_uri(id), "https://www.quillmoor.com/plugins/zerub#ui");
        LilvNode* x11 = lilv_new_uri(w.world, LV2_UI__X11UI);
        EXPECT_TRUE(lilv_ui_is_a(ui, x11));
        lilv_node_free(x11);
        const std::string binary = lilv_node_as_uri(lilv_ui_get_binary_uri(ui));
        EXPECT_EQ(binary.substr(binary.size() - 12), "/Zerub_ui.so");
        EXPECT_TRUE(Has(w.world, id, LV2_CORE__requiredFeature, LV2_UI__idleInterface));
        EXPECT_TRUE(Has(w.world, id, LV2_CORE__extensionData, LV2_UI__idleInterface));
        for (const char* feature : {LV2_UI__parent, LV2_UI__resize, LV2_UI__touch})
            EXPECT_TRUE(Has(w.world, id, LV2_CORE__optionalFeature, feature)) << feature;
        EXPECT_TRUE(Has(w.world, id, LV2_OPTIONS__supportedOption, LV2_UI__scaleFactor));
        EXPECT_FALSE(Has(w.world, id, LV2_CORE__requiredFeature, LV2_INSTANCE_ACCESS_URI));
        EXPECT_FALSE(Has(w.world, id, LV2_CORE__requiredFeature, LV2_DATA_ACCESS_URI));

        // One notification per control port of this plug-in, by symbol.
        LilvNode* notification = lilv_new_uri(w.world, LV2_UI__portNotification);
        LilvNode* pluginKey = lilv_new_uri(w.world, LV2_UI__plugin);
        LilvNode* symbolKey = lilv_new_uri(w.world, LV2_CORE__symbol);
        LilvNodes* notes = lilv_world_find_nodes(w.world, id, notification, nullptr);
        std::multiset<std::string> symbols;
        LILV_FOREACH(nodes, n, notes) {
            const LilvNode* note = lilv_nodes_get(notes, n);
            LilvNode* target = lilv_world_get(w.world, note, pluginKey, nullptr);
            LilvNode* symbol = lilv_world_get(w.world, note, symbolKey, nullptr);
            if (target && symbol && uri == lilv_node_as_uri(target))
                symbols.insert(lilv_node_as_string(symbol));
            lilv_node_free(target);
            lilv_node_free(symbol);
        }
        EXPECT_EQ(symbols,
                  (std::multiset<std::string>{"gain", "level", "enabled", "by", "quality"}))
            << uri;
        lilv_nodes_free(notes);
        lilv_node_free(notification);
        lilv_node_free(pluginKey);
        lilv_node_free(symbolKey);
        lilv_uis_free(uis);
    }
    EXPECT_EQ(seen, 2);
}

// LV2 checkers refuse a UI binary that references fork (a UI must not duplicate its host).
TEST(UIBinary, ReferencesNoFork) {
    if (std::system("command -v nm >/dev/null 2>&1") != 0) GTEST_SKIP() << "nm is not installed";
    FILE* nm = popen("nm -D --undefined-only '" ZERUB_LV2_BUNDLE "/Zerub_ui.so'", "r");
    ASSERT_NE(nm, nullptr);
    std::set<std::string> symbols;
    char line[512];
    while (std::fgets(line, sizeof line, nm)) {
        std::string name = line;
        name = name.substr(name.find_last_of(' ') + 1);
        name = name.substr(0, name.find_first_of("@\n"));
        symbols.insert(name);
    }
    ASSERT_EQ(pclose(nm), 0);
    EXPECT_FALSE(symbols.empty());
    for (const char* call : {"fork", "vfork", "_Fork", "__fork"})
        EXPECT_EQ(symbols.count(call), 0u) << call;
}

} // namespace
