// The Turtle writer on a plug-in unlike Zerub: four channel configurations, an enumeration with
// texts, a boolean, units known and unknown, names that collide as symbols, awkward text, presets
// that set some parameters and leave the rest at their defaults. The files must pass lv2_validate
// and read back through lilv as written.
#include "LV2Lint.h"
#include "lv2/IPlugLV2_ttl.h"

#include <lilv/lilv.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class OddPlug : public IPlugLV2 {
public:
    OddPlug()
        : IPlugLV2(IPlugInstanceInfo(), 5, "1-1 2-2 0-2 4-4", 3, "Odd", "", "Maker \"Q\" \\ Co",
                   0x10203, FourCC("Odd1"), FourCC("Mkr1"), 0, false, false, false, 0) {
        GetParam(0)->InitEnum("Mode", 1, 3);
        GetParam(0)->SetDisplayText(0, "soft");
        GetParam(0)->SetDisplayText(1, "hard");
        GetParam(0)->SetDisplayText(2, "fuzz");
        GetParam(1)->InitBool("On", true);
        GetParam(2)->InitDouble("3 Band", -6.0, -24.0, 12.0, 0.5, "dB");
        GetParam(3)->InitDouble("mode", 0.125, 0.0, 1.0, 0.001, "furlong");
        GetParam(4)->InitInt("Steps", 4, 1, 16);
    }
};

const char* const kBase = "https://example.org/odd";

std::string Str(const LilvNode* node) {
    return node ? lilv_node_as_string(node) : "";
}

} // namespace

IPlugLV2* MakePlug(void* /*memory*/) {
    return new OddPlug;
}

const char* LV2PluginURIBase() {
    return kBase;
}

const LV2ProductInfo& LV2Product() {
    static const LV2PresetValue first[] = {{0, 2.0}, {2, 3.5}, {4, 8.0}};
    static const LV2Preset presets[] = {{"First \"take\"", first, 3}, {"Second", nullptr, 0}};
    // Comments for the first two parameters only: the others get one made from name and range.
    static const char* const comments[] = {"How it clips", nullptr};
    static const LV2ProductInfo info = {"Odd \"test\" plug-in",
                                        "https://example.org/license",
                                        "Maker",
                                        "https://example.org/",
                                        -1,
                                        presets,
                                        2,
                                        "maker@example.org",
                                        "Odd one",
                                        comments,
                                        2};
    return info;
}

TEST(LV2PortSymbol, LowerCaseIdentifiersMadeUnique) {
    EXPECT_EQ(LV2PortSymbol("Gain", ""), "gain");
    EXPECT_EQ(LV2PortSymbol("Gain", "gain\n"), "gain_2");
    EXPECT_EQ(LV2PortSymbol("Gain", "level\ngain\ngain_2\n"), "gain_3");
    EXPECT_EQ(LV2PortSymbol("Gain", "again\n"), "gain");
    EXPECT_EQ(LV2PortSymbol("3 Band", ""), "p_3_band");
    EXPECT_EQ(LV2PortSymbol("", ""), "p_");
    EXPECT_EQ(LV2PortSymbol("Lo-Cut (Hz)", ""), "lo_cut__hz_");
}

TEST(LV2Turtle, AnyPlugInValidatesAndReadsBackAsWritten) {
    char pattern[] = "/tmp/zerub-lv2ttl-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = std::string(pattern) + "/Odd.lv2";
    ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
    IPlugLV2* plug = MakePlug(nullptr);
    ASSERT_TRUE(WriteLV2Turtle(plug, kBase, "Odd.so", dir.c_str()));
    delete plug;

    const std::string validate =
        "lv2_validate " + dir + "/manifest.ttl " + dir + "/Odd.ttl " + dir + "/presets.ttl";
    EXPECT_EQ(std::system((validate + " >/dev/null 2>&1").c_str()), 0) << validate;

    LilvWorld* world = lilv_world_new();
    LilvNode* core = lilv_new_file_uri(world, nullptr, "/usr/lib/lv2/core.lv2/");
    lilv_world_load_bundle(world, core);
    lilv_node_free(core);
    lilv_world_load_specifications(world);
    lilv_world_load_plugin_classes(world);
    LilvNode* bundle = lilv_new_file_uri(world, nullptr, (dir + "/").c_str());
    lilv_world_load_bundle(world, bundle);
    lilv_node_free(bundle);
    const LilvPlugins* plugins = lilv_world_get_all_plugins(world);
    EXPECT_EQ(lilv_plugins_size(plugins), 4u);

    struct Expected {
        const char* fragment;
        unsigned ports;
        const char* name;
    };
    for (const Expected& e :
         {Expected{"#mono", 7, "Odd (mono)"}, Expected{"#stereo", 9, "Odd (stereo)"},
          Expected{"#in0out2", 7, "Odd (in 0, out 2)"},
          Expected{"#in4out4", 13, "Odd (in 4, out 4)"}}) {
        SCOPED_TRACE(e.fragment);
        LilvNode* uri = lilv_new_uri(world, (std::string(kBase) + e.fragment).c_str());
        const LilvPlugin* p = lilv_plugins_get_by_uri(plugins, uri);
        lilv_node_free(uri);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(lilv_plugin_get_num_ports(p), e.ports);
        LilvNode* name = lilv_plugin_get_name(p);
        EXPECT_EQ(Str(name), e.name);
        lilv_node_free(name);
        LilvNode* maker = lilv_plugin_get_project(p);
        EXPECT_EQ(Str(maker), kBase);
        lilv_node_free(maker);
    }

    LilvNode* uri = lilv_new_uri(world, (std::string(kBase) + "#stereo").c_str());
    const LilvPlugin* p = lilv_plugins_get_by_uri(plugins, uri);
    lilv_node_free(uri);
    ASSERT_NE(p, nullptr);
    const char* symbols[] = {"in_l", "in_r",     "out_l",  "out_r", "mode",
                             "on",   "p_3_band", "mode_2", "steps"};
    for (uint32_t i = 0; i < 9; ++i)
        EXPECT_EQ(Str(lilv_port_get_symbol(p, lilv_plugin_get_port_by_index(p, i))), symbols[i]);

    const LilvPort* mode = lilv_plugin_get_port_by_index(p, 4);
    LilvScalePoints* points = lilv_port_get_scale_points(p, mode);
    EXPECT_EQ(lilv_scale_points_size(points), 3u);
    lilv_scale_points_free(points);
    LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
    lilv_port_get_range(p, lilv_plugin_get_port_by_index(p, 6), &def, &min, &max);
    EXPECT_EQ(lilv_node_as_float(def), -6.0f);
    EXPECT_EQ(lilv_node_as_float(min), -24.0f);
    EXPECT_EQ(lilv_node_as_float(max), 12.0f);
    lilv_node_free(def);
    lilv_node_free(min);
    lilv_node_free(max);

    // A released version (LV2 reads an odd or zero minor as a development build) from 1.2.3, and
    // what a host shows about the plug-in.
    auto first = [world, p](const char* predicate) {
        LilvNode* pred = lilv_new_uri(world, predicate);
        LilvNodes* values = lilv_plugin_get_value(p, pred);
        lilv_node_free(pred);
        const std::string v = values ? Str(lilv_nodes_get_first(values)) : "";
        lilv_nodes_free(values);
        return v;
    };
    EXPECT_EQ(first(LV2_CORE__minorVersion), "204");
    EXPECT_EQ(first(LV2_CORE__microVersion), "3");
    EXPECT_EQ(first("http://www.w3.org/2000/01/rdf-schema#comment"), "Odd \"test\" plug-in");
    EXPECT_EQ(first("http://usefulinc.com/ns/doap#license"), "https://example.org/license");
    LilvNode* author = lilv_plugin_get_author_name(p);
    EXPECT_EQ(Str(author), "Maker");
    lilv_node_free(author);

    // The presets the product lists, with their names as given.
    LilvNode* presetClass = lilv_new_uri(world, "http://lv2plug.in/ns/ext/presets#Preset");
    LilvNodes* presets = lilv_plugin_get_related(p, presetClass);
    lilv_node_free(presetClass);
    EXPECT_EQ(lilv_nodes_size(presets), 2u);
    LilvNode* label = lilv_new_uri(world, "http://www.w3.org/2000/01/rdf-schema#label");
    std::string labels;
    LILV_FOREACH(nodes, i, presets) {
        const LilvNode* preset = lilv_nodes_get(presets, i);
        lilv_world_load_resource(world, preset);
        LilvNodes* l = lilv_world_find_nodes(world, preset, label, nullptr);
        if (l) labels += Str(lilv_nodes_get_first(l)) + ";";
        lilv_nodes_free(l);
    }
    lilv_node_free(label);
    lilv_nodes_free(presets);
    EXPECT_NE(labels.find("First \"take\";"), std::string::npos) << labels;
    EXPECT_NE(labels.find("Second;"), std::string::npos) << labels;
    lilv_world_free(world);
    std::system(("rm -rf " + std::string(pattern)).c_str());
}

namespace {

// The Odd bundle's findings under the linter's rules, per plug-in, after edit() rewrote Odd.ttl.
std::vector<std::string> OddFindings(std::string (*edit)(std::string)) {
    char pattern[] = "/tmp/zerub-lv2lint-XXXXXX";
    if (!mkdtemp(pattern)) return {"no scratch folder"};
    const std::string dir = std::string(pattern) + "/Odd.lv2";
    mkdir(dir.c_str(), 0755);
    IPlugLV2* plug = MakePlug(nullptr);
    const bool written = WriteLV2Turtle(plug, kBase, "Odd.so", dir.c_str());
    delete plug;
    if (!written) return {"not written"};
    std::stringstream text;
    text << std::ifstream(dir + "/Odd.ttl").rdbuf();
    std::ofstream(dir + "/Odd.ttl") << edit(text.str());

    LilvWorld* world = lilv_world_new();
    LilvNode* bundle = lilv_new_file_uri(world, nullptr, (dir + "/").c_str());
    lilv_world_load_bundle(world, bundle);
    lilv_node_free(bundle);
    std::vector<std::string> findings;
    const LilvPlugins* plugins = lilv_world_get_all_plugins(world);
    LILV_FOREACH(plugins, i, plugins) {
        const LilvPlugin* p = lilv_plugins_get(plugins, i);
        for (const std::string& f : LV2LintFindings(world, p))
            findings.push_back(std::string(lilv_node_as_uri(lilv_plugin_get_uri(p))) + " " + f);
    }
    if (lilv_plugins_size(plugins) != 4) findings.push_back("plug-ins missing");
    lilv_world_free(world);
    std::system(("rm -rf " + std::string(pattern)).c_str());
    return findings;
}

std::string Unchanged(std::string ttl) {
    return ttl;
}

// What a description of an earlier build lacked: no mail address, short description or live
// feature, no port comments, decimal ranges on every port.
std::string AsEarlier(std::string ttl) {
    for (const char* line : {"foaf:mbox", "doap:shortdesc", "rdfs:comment"})
        ttl = std::regex_replace(ttl, std::regex(std::string("\n *") + line + "[^\n]*;"), "");
    ttl = std::regex_replace(ttl, std::regex(" , lv2:isLive"), "");
    return std::regex_replace(ttl, std::regex("(lv2:(default|minimum|maximum) -?[0-9]+) ;"),
                              "$1.0 ;");
}

// Every control port put in the input group, as a generic grouping would.
std::string GroupedControls(std::string ttl) {
    return std::regex_replace(ttl, std::regex("lv2:InputPort , lv2:ControlPort ;"),
                              "lv2:InputPort , lv2:ControlPort ;\n        pg:group <" +
                                  std::string(kBase) + "#mono_in> ;");
}

size_t Count(const std::vector<std::string>& findings, const std::string& what) {
    size_t n = 0;
    for (const std::string& f : findings)
        n += f.find(what) != std::string::npos;
    return n;
}

} // namespace

TEST(LV2Turtle, DescriptionsGiveLintersNothingToReport) {
    const std::vector<std::string> clean = OddFindings(Unchanged);
    EXPECT_TRUE(clean.empty()) << clean.front();

    // Every rule catches what an earlier description lacked, on every plug-in and port.
    const std::vector<std::string> earlier = OddFindings(AsEarlier);
    EXPECT_EQ(Count(earlier, "no foaf:mbox"), 4u);
    EXPECT_EQ(Count(earlier, "no doap:shortdesc"), 4u);
    EXPECT_EQ(Count(earlier, "no lv2:isLive"), 4u);
    // 7 + 9 + 7 + 13 ports, of which 5 controls each.
    EXPECT_EQ(Count(earlier, "no rdfs:comment"), 36u);
    EXPECT_EQ(Count(OddFindings(GroupedControls), "a control port in a port group"), 20u);
    // Mode, On and Steps: default, minimum and maximum each.
    EXPECT_EQ(Count(earlier, "is no integer"), 4u * 3u * 3u);
    EXPECT_EQ(Count(earlier, "(on): default is no integer"), 4u);
}

TEST(LV2Turtle, PortCommentsComeFromTheProductOrNameAndRange) {
    IPlugLV2* plug = MakePlug(nullptr);
    const std::string ttl = LV2PluginsTurtle(plug, kBase);
    delete plug;
    EXPECT_NE(ttl.find("rdfs:comment \"How it clips\""), std::string::npos);
    EXPECT_NE(ttl.find("rdfs:comment \"On, from 0 to 1\""), std::string::npos);
    EXPECT_NE(ttl.find("rdfs:comment \"3 Band, from -24.0 to 12.0\""), std::string::npos);
    EXPECT_NE(ttl.find("rdfs:comment \"Audio input, right channel\""), std::string::npos);
    EXPECT_NE(ttl.find("rdfs:comment \"Audio output, channel 4\""), std::string::npos);
    EXPECT_NE(ttl.find("foaf:mbox <mailto:maker@example.org>"), std::string::npos);
}
