#include "LV2Lint.h"

#include <lv2/core/lv2.h>
#include <lv2/port-groups/port-groups.h>

namespace {

const char* const kComment = "http://www.w3.org/2000/01/rdf-schema#comment";
const char* const kShortdesc = "http://usefulinc.com/ns/doap#shortdesc";

struct Node {
    explicit Node(LilvWorld* world, const char* uri) : node(lilv_new_uri(world, uri)) {}
    ~Node() { lilv_node_free(node); }
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;
    LilvNode* node;
};

bool HasValue(LilvNodes* values) {
    const bool has = values && lilv_nodes_size(values) > 0;
    lilv_nodes_free(values);
    return has;
}

std::string PortName(const LilvPlugin* plugin, const LilvPort* port) {
    return "port " + std::to_string(lilv_port_get_index(plugin, port)) + " (" +
           lilv_node_as_string(lilv_port_get_symbol(plugin, port)) + ")";
}

} // namespace

std::vector<std::string> LV2LintFindings(LilvWorld* world, const LilvPlugin* plugin) {
    std::vector<std::string> findings;
    LilvNode* email = lilv_plugin_get_author_email(plugin);
    if (!email || std::string(lilv_node_as_uri(email)).rfind("mailto:", 0) != 0)
        findings.push_back("maintainer: no foaf:mbox");
    lilv_node_free(email);

    const Node shortdesc(world, kShortdesc), comment(world, kComment);
    if (!HasValue(lilv_plugin_get_value(plugin, shortdesc.node)))
        findings.push_back("plug-in: no doap:shortdesc");
    const Node isLive(world, LV2_CORE__isLive);
    if (!lilv_plugin_has_feature(plugin, isLive.node)) findings.push_back("plug-in: no lv2:isLive");

    const Node control(world, LV2_CORE__ControlPort), input(world, LV2_CORE__InputPort),
        group(world, LV2_PORT_GROUPS__group), toggled(world, LV2_CORE__toggled),
        integer(world, LV2_CORE__integer);
    for (uint32_t i = 0; i < lilv_plugin_get_num_ports(plugin); ++i) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
        const std::string name = PortName(plugin, port);
        if (!HasValue(lilv_port_get_value(plugin, port, comment.node)))
            findings.push_back(name + ": no rdfs:comment");
        if (!lilv_port_is_a(plugin, port, control.node)) continue;
        // Hosts that take every grouped port for an audio channel (GStreamer) would lose it.
        if (HasValue(lilv_port_get_value(plugin, port, group.node)))
            findings.push_back(name + ": a control port in a port group");
        if (!lilv_port_is_a(plugin, port, input.node)) continue;
        if (!lilv_port_has_property(plugin, port, toggled.node) &&
            !lilv_port_has_property(plugin, port, integer.node))
            continue;
        LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
        lilv_port_get_range(plugin, port, &def, &min, &max);
        const char* what[] = {"default", "minimum", "maximum"};
        const LilvNode* values[] = {def, min, max};
        for (int v = 0; v < 3; ++v)
            if (!values[v] || !lilv_node_is_int(values[v]))
                findings.push_back(name + ": " + what[v] + " is no integer");
        lilv_node_free(def);
        lilv_node_free(min);
        lilv_node_free(max);
    }
    return findings;
}
