#include "lv2/IPlugLV2_ttl.h"

#include "lv2/LV2PortValues.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

const char* const kPrefixes = "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
                              "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
                              "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
                              "@prefix pg: <http://lv2plug.in/ns/ext/port-groups#> .\n"
                              "@prefix pprops: <http://lv2plug.in/ns/ext/port-props#> .\n"
                              "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
                              "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
                              "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
                              "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n\n";

std::string Quoted(const char* text) {
    std::string out = "\"";
    for (const char* c = text; *c; ++c) {
        switch (*c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            out += *c;
        }
    }
    return out + "\"";
}

std::string URIRef(const std::string& uri) {
    return "<" + uri + ">";
}

// The shortest text that reads back as the same double, always with a decimal point or an
// exponent so Turtle types it as a decimal or double, never as an integer.
std::string Number(double v) {
    char text[64];
    for (int digits = 1; digits <= 17; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, v);
        if (std::strtod(text, nullptr) == v) break;
    }
    std::string out = text;
    if (!std::strpbrk(text, ".e")) out += ".0";
    return out;
}

std::string Int(int v) {
    return std::to_string(v);
}

// Toggles and integer ports carry integer literals, so hosts and linters that read the datatype
// see a whole number; any other port a decimal.
std::string PortNumber(double v, bool integral) {
    return integral ? Int(static_cast<int>(std::lround(v))) : Number(v);
}

// Where a product names no comment for a parameter: its name and range, as a host would show.
std::string ParamComment(const IParam* p, bool integral) {
    return std::string(p->GetNameForHost()) + ", from " + PortNumber(p->GetMin(), integral) +
           " to " + PortNumber(p->GetMax(), integral);
}

std::string PluginURI(const char* base, const ChannelIO& io) {
    char uri[kLV2URISize];
    IPlugLV2::PluginURI(base, io, uri);
    return uri;
}

std::string PresetURI(const char* base, int idx) {
    return std::string(base) + "#preset" + Int(idx + 1);
}

std::string ConfigName(const ChannelIO& io) {
    if (io.in == 1 && io.out == 1) return "mono";
    if (io.in == 2 && io.out == 2) return "stereo";
    return "in " + Int(io.in) + ", out " + Int(io.out);
}

// Units LV2 hosts know by name; any other label becomes a unit of its own.
std::string UnitFor(const char* label) {
    static const struct {
        const char* label;
        const char* unit;
    } kUnits[] = {{"%", "units:pc"},    {"dB", "units:db"},   {"Hz", "units:hz"},
                  {"kHz", "units:khz"}, {"ms", "units:ms"},   {"s", "units:s"},
                  {"bpm", "units:bpm"}, {"ct", "units:cent"}, {"st", "units:semitone12TET"}};
    for (const auto& u : kUnits)
        if (!std::strcmp(label, u.label)) return u.unit;
    return "[ a units:Unit ; rdfs:label " + Quoted(label) + " ; units:symbol " + Quoted(label) +
           " ; units:render " + Quoted(("%f " + std::string(label)).c_str()) + " ]";
}

// Audio port symbols and designations of one side (input or output) of a configuration.
struct AudioSide {
    const char* prefix; // "in" or "out"
    const char* name;   // "In" or "Out"
    const char* type;   // "lv2:InputPort" or "lv2:OutputPort"
    const char* group;  // "pg:InputGroup" or "pg:OutputGroup"
};

void AppendAudioPorts(std::string& ttl, const std::string& pluginURI, const AudioSide& side,
                      int first, int n) {
    static const char* const kStereoSuffix[] = {"l", "r"};
    static const char* const kStereoName[] = {"Left", "Right"};
    static const char* const kStereoDesignation[] = {"pg:left", "pg:right"};
    const std::string group = pluginURI + "_" + side.prefix;
    for (int c = 0; c < n; ++c) {
        std::string symbol = side.prefix, name = side.name, designation;
        if (n == 1) {
            designation = "pg:center";
        } else if (n == 2) {
            symbol += std::string("_") + kStereoSuffix[c];
            name += std::string(" ") + kStereoName[c];
            designation = kStereoDesignation[c];
        } else {
            symbol += "_" + Int(c + 1);
            name += " " + Int(c + 1);
        }
        std::string comment = std::string("Audio ") + (side.prefix[0] == 'i' ? "input" : "output");
        if (n == 2)
            comment += std::string(", ") + (c ? "right" : "left") + " channel";
        else if (n > 2)
            comment += ", channel " + Int(c + 1);
        ttl += "    lv2:port [\n        a lv2:AudioPort , " + std::string(side.type) +
               " ;\n        lv2:index " + Int(first + c) + " ;\n        lv2:symbol " +
               Quoted(symbol.c_str()) + " ;\n        lv2:name " + Quoted(name.c_str()) +
               " ;\n        rdfs:comment " + Quoted(comment.c_str()) + " ;\n";
        if (n <= 2)
            ttl += "        pg:group " + URIRef(group) + " ;\n        lv2:designation " +
                   designation + " ;\n";
        ttl += "    ] ;\n";
    }
}

bool HasBypassPort(const IPlugBase* plug) {
    const int enabled = LV2Product().enabledParam;
    return enabled >= 0 && enabled < plug->NParams();
}

// The control ports belong to no port group: hosts that read every grouped port as an audio
// channel of its group (GStreamer's LV2 elements) would lose the controls and fail to link the
// element.
void AppendControlPorts(std::string& ttl, IPlugLV2* plug, const LV2PortLayout& layout) {
    const LV2ProductInfo& info = LV2Product();
    const int first = layout.FirstControl();
    const std::vector<std::string> symbols = LV2ControlSymbols(plug);
    for (int i = 0; i < plug->NParams(); ++i) {
        const IParam* p = plug->GetParam(i);
        const bool enabled = i == info.enabledParam;
        const bool integral = enabled || p->Type() == IParam::kTypeBool ||
                              p->Type() == IParam::kTypeInt || p->Type() == IParam::kTypeEnum;
        const double def = LV2PortValue(i, p->GetDefault());
        std::string comment;
        if (enabled)
            comment = "The host's bypass: 1 processes, 0 passes the input through unchanged";
        else if (i < info.nParamComments && info.paramComments && info.paramComments[i])
            comment = info.paramComments[i];
        else
            comment = ParamComment(p, integral);
        ttl += "    lv2:port [\n        a lv2:InputPort , lv2:ControlPort ;\n        lv2:index " +
               Int(first + i) + " ;\n        lv2:symbol " + Quoted(symbols[i].c_str()) +
               " ;\n        lv2:name " + Quoted(enabled ? "Enabled" : p->GetNameForHost()) +
               " ;\n        rdfs:comment " + Quoted(comment.c_str()) + " ;\n        lv2:default " +
               PortNumber(def, integral) + " ;\n        lv2:minimum " +
               PortNumber(enabled ? 0.0 : p->GetMin(), integral) + " ;\n        lv2:maximum " +
               PortNumber(enabled ? 1.0 : p->GetMax(), integral) + " ;\n";
        // The host's own bypass switch drives this port (1 processes, 0 bypasses).
        if (enabled) ttl += "        lv2:designation lv2:enabled ;\n";
        // Each property says what the port's values are: a switch, one of named steps, a whole
        // number; a parameter hosts must not automate is expensive to change.
        const bool toggle = enabled || p->Type() == IParam::kTypeBool ||
                            (integral && p->GetMin() == 0.0 && p->GetMax() == 1.0);
        if (toggle)
            ttl += "        lv2:portProperty lv2:integer , lv2:toggled ;\n";
        else if (p->Type() == IParam::kTypeEnum && p->GetNDisplayTexts() > 0)
            ttl += "        lv2:portProperty lv2:integer , lv2:enumeration ;\n";
        else if (integral)
            ttl += "        lv2:portProperty lv2:integer ;\n";
        if (!p->GetCanAutomate()) ttl += "        lv2:portProperty pprops:expensive ;\n";
        for (int t = 0; t < p->GetNDisplayTexts() && !enabled; ++t) {
            int value = 0;
            const char* text = p->GetDisplayTextAtIdx(t, &value);
            ttl += "        lv2:scalePoint [ rdfs:label " + Quoted(text) + " ; rdf:value " +
                   PortNumber(value, integral) + " ] ;\n";
        }
        // A "%" on a 0..1 range labels a fraction, not a percentage: hosts would show "0.500%".
        const char* label = p->GetLabelForHost();
        const bool fraction = !std::strcmp(label, "%") && p->GetMin() >= 0.0 && p->GetMax() <= 1.0;
        if (label[0] && !fraction && !enabled)
            ttl += "        units:unit " + UnitFor(label) + " ;\n";
        ttl += "    ] ;\n";
    }
    if (layout.bypassPort) {
        // The earlier bypass port, for sessions that hold it (1 bypasses). Hosts may leave it
        // unconnected (connectionOptional) and keep it out of their generic UIs (notOnGUI): their
        // own bypass drives "enabled".
        const IParam* bypass = plug->GetParam(info.enabledParam);
        ttl += "    lv2:port [\n        a lv2:InputPort , lv2:ControlPort ;\n        lv2:index " +
               Int(layout.BypassPort()) + " ;\n        lv2:symbol " +
               Quoted(symbols.back().c_str()) + " ;\n        lv2:name \"Bypass\" ;\n" +
               "        rdfs:comment \"The bypass of earlier builds, kept for their sessions: 1 "
               "passes the input through unchanged\" ;\n" +
               "        lv2:default " + PortNumber(bypass->GetDefault(), true) +
               " ;\n        lv2:minimum 0 ;\n        lv2:maximum 1 ;\n" +
               "        lv2:portProperty lv2:integer , lv2:toggled , lv2:connectionOptional , "
               "pprops:notOnGUI ;\n    ] ;\n";
    }
    if (!layout.qualityPorts) return;
    // The quality setting (an input, 0 standard, 1 HQ: switching costs a crossfade and changes the
    // latency, hence expensive) and the latency it costs, reported to the host.
    ttl += "    lv2:port [\n        a lv2:InputPort , lv2:ControlPort ;\n        lv2:index " +
           Int(layout.QualityPort()) +
           " ;\n        lv2:symbol \"quality\" ;\n        lv2:name \"Quality\" ;\n"
           "        rdfs:comment \"0 Standard: the circuit at the host's rate, no latency; 1 HQ: "
           "oversampled, with the latency the latency port reports\" ;\n"
           "        lv2:default 0 ;\n        lv2:minimum 0 ;\n        lv2:maximum 1 ;\n"
           "        lv2:portProperty lv2:integer , lv2:enumeration , pprops:expensive ;\n"
           "        lv2:scalePoint [ rdfs:label \"Standard\" ; rdf:value 0 ] ;\n"
           "        lv2:scalePoint [ rdfs:label \"HQ\" ; rdf:value 1 ] ;\n    ] ;\n";
    ttl += "    lv2:port [\n        a lv2:OutputPort , lv2:ControlPort ;\n        lv2:index " +
           Int(layout.LatencyPort()) +
           " ;\n        lv2:symbol \"latency\" ;\n        lv2:name \"Latency\" ;\n"
           "        rdfs:comment \"The delay the quality setting adds, in frames\" ;\n"
           "        lv2:designation lv2:latency ;\n"
           "        lv2:portProperty lv2:reportsLatency , lv2:integer ;\n"
           "        units:unit units:frame ;\n    ] ;\n";
}

std::string Maintainer() {
    const LV2ProductInfo& info = LV2Product();
    return "doap:maintainer [\n        foaf:name " + Quoted(info.maintainerName) +
           " ;\n        foaf:mbox " + URIRef(std::string("mailto:") + info.maintainerEmail) +
           " ;\n        foaf:homepage " + URIRef(info.homepage) + "\n    ]";
}

} // namespace

std::vector<std::string> LV2ControlSymbols(const IPlugBase* plug) {
    std::vector<std::string> symbols;
    std::string taken, takenBefore, bypassSymbol;
    const int enabled = LV2Product().enabledParam;
    for (int i = 0; i < plug->NParams(); ++i) {
        const char* name = plug->GetParam(i)->GetNameForHost();
        const std::string symbol = LV2PortSymbol(i == enabled ? "enabled" : name, taken);
        taken += symbol + "\n";
        symbols.push_back(symbol);
        const std::string before = LV2PortSymbol(name, takenBefore);
        takenBefore += before + "\n";
        if (i == enabled) bypassSymbol = before;
    }
    if (HasBypassPort(plug)) symbols.push_back(LV2PortSymbol(bypassSymbol.c_str(), taken));
    return symbols;
}

std::string LV2PortSymbol(const char* name, const std::string& taken) {
    std::string symbol;
    for (const char* c = name; *c; ++c) {
        const char ch = *c;
        if (ch >= 'A' && ch <= 'Z')
            symbol += static_cast<char>(ch - 'A' + 'a');
        else if ((ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9'))
            symbol += ch;
        else
            symbol += '_';
    }
    if (symbol.empty() || (symbol[0] >= '0' && symbol[0] <= '9')) symbol = "p_" + symbol;
    auto isTaken = [&taken](const std::string& s) {
        return taken.find(s + "\n") == 0 || taken.find("\n" + s + "\n") != std::string::npos;
    };
    std::string unique = symbol;
    for (int k = 2; isTaken(unique); ++k)
        unique = symbol + "_" + Int(k);
    return unique;
}

std::string LV2ManifestTurtle(IPlugLV2* plug, const char* uriBase, const char* binaryName) {
    const std::string descriptions = std::string(plug->GetEffectName()) + ".ttl";
    std::string ttl = kPrefixes;
    std::string appliesTo;
    for (int i = 0; i < plug->NChannelIO(); ++i) {
        const std::string uri = PluginURI(uriBase, *plug->GetChannelIO(i));
        ttl += URIRef(uri) + "\n    a lv2:Plugin ;\n    lv2:binary <" + binaryName +
               "> ;\n    rdfs:seeAlso <" + descriptions + "> .\n\n";
        appliesTo += (appliesTo.empty() ? "" : " , ") + URIRef(uri);
    }
    for (int i = 0; i < LV2Product().nPresets; ++i)
        ttl += URIRef(PresetURI(uriBase, i)) + "\n    a pset:Preset ;\n    lv2:appliesTo " +
               appliesTo + " ;\n    rdfs:seeAlso <presets.ttl> .\n\n";
    return ttl;
}

int LV2MinorVersion(int productVersion) {
    int major = 0, minor = 0, revision = 0;
    GetVersionParts(productVersion, &major, &minor, &revision);
    return 2 * (100 * major + minor);
}

int LV2MicroVersion(int productVersion) {
    int major = 0, minor = 0, revision = 0;
    GetVersionParts(productVersion, &major, &minor, &revision);
    return revision;
}

std::string LV2PluginsTurtle(IPlugLV2* plug, const char* uriBase) {
    const LV2ProductInfo& info = LV2Product();
    std::string ttl = kPrefixes;
    const int version = plug->GetEffectVersion(false);
    ttl += URIRef(uriBase) + "\n    a doap:Project ;\n    doap:name " +
           Quoted(plug->GetEffectName()) + " ;\n    doap:license " + URIRef(info.licenseURI) +
           " ;\n    " + Maintainer() + " .\n\n";
    for (int i = 0; i < plug->NChannelIO(); ++i) {
        const ChannelIO& io = *plug->GetChannelIO(i);
        const std::string uri = PluginURI(uriBase, io);
        const std::string name = std::string(plug->GetEffectName()) + " (" + ConfigName(io) + ")";
        LV2PortLayout layout;
        layout.nIn = io.in;
        layout.nOut = io.out;
        layout.nParams = plug->NParams();
        layout.bypassPort = HasBypassPort(plug);
        layout.qualityPorts = plug->NQualities() > 1;

        std::string groups;
        for (int side = 0; side < 2; ++side) {
            const int n = side ? io.out : io.in;
            if (n < 1 || n > 2) continue;
            ttl += URIRef(uri + (side ? "_out" : "_in")) + "\n    a " +
                   (n == 1 ? "pg:MonoGroup" : "pg:StereoGroup") + " , " +
                   (side ? "pg:OutputGroup" : "pg:InputGroup") + " ;\n    lv2:symbol " +
                   (side ? "\"out\"" : "\"in\"") + " ;\n    rdfs:label " +
                   (side ? "\"Output\"" : "\"Input\"") + " .\n\n";
            groups += std::string("    ") + (side ? "pg:mainOutput " : "pg:mainInput ") +
                      URIRef(uri + (side ? "_out" : "_in")) + " ;\n";
        }

        ttl += URIRef(uri) + "\n    a lv2:Plugin , lv2:DistortionPlugin ;\n    doap:name " +
               Quoted(name.c_str()) + " ;\n    doap:shortdesc " + Quoted(info.shortdesc) +
               " ;\n    rdfs:comment " + Quoted(info.comment) + " ;\n    doap:license " +
               URIRef(info.licenseURI) + " ;\n    lv2:project " + URIRef(uriBase) +
               " ;\n    lv2:minorVersion " + Int(LV2MinorVersion(version)) +
               " ;\n    lv2:microVersion " + Int(LV2MicroVersion(version)) +
               " ;\n    lv2:optionalFeature lv2:hardRTCapable , lv2:isLive ;\n" + groups;
        AppendAudioPorts(ttl, uri, {"in", "In", "lv2:InputPort", "pg:InputGroup"},
                         layout.FirstInput(), io.in);
        AppendAudioPorts(ttl, uri, {"out", "Out", "lv2:OutputPort", "pg:OutputGroup"},
                         layout.FirstOutput(), io.out);
        AppendControlPorts(ttl, plug, layout);
        ttl.replace(ttl.size() - 2, 2, ".\n\n"); // the last port closes the description
    }
    return ttl;
}

std::string LV2PresetsTurtle(IPlugLV2* plug, const char* uriBase) {
    const LV2ProductInfo& info = LV2Product();
    std::string ttl = kPrefixes;
    std::string appliesTo;
    for (int i = 0; i < plug->NChannelIO(); ++i)
        appliesTo +=
            (appliesTo.empty() ? "" : " , ") + URIRef(PluginURI(uriBase, *plug->GetChannelIO(i)));
    const std::vector<std::string> symbols = LV2ControlSymbols(plug);
    for (int i = 0; i < info.nPresets; ++i) {
        const LV2Preset& preset = info.presets[i];
        ttl += URIRef(PresetURI(uriBase, i)) + "\n    a pset:Preset ;\n    lv2:appliesTo " +
               appliesTo + " ;\n    rdfs:label " + Quoted(preset.name) + " ;\n";
        for (int p = 0; p < plug->NParams(); ++p) {
            double value = plug->GetParam(p)->GetDefault();
            for (int v = 0; v < preset.nValues; ++v)
                if (preset.values[v].param == p) value = preset.values[v].value;
            ttl += "    lv2:port [ lv2:symbol " + Quoted(symbols[p].c_str()) + " ; pset:value " +
                   Number(LV2PortValue(p, value)) + " ] ;\n";
            // Both bypass ports: a preset then plays as it says even where a session's hidden
            // "by" bypassed, as any preset a host saves holds every port.
            if (p == info.enabledParam && HasBypassPort(plug))
                ttl += "    lv2:port [ lv2:symbol " + Quoted(symbols.back().c_str()) +
                       " ; pset:value " + Number(value) + " ] ;\n";
        }
        ttl.replace(ttl.size() - 2, 2, ".\n\n");
    }
    return ttl;
}

std::string LV2UITurtle(IPlugLV2* plug, const char* uriBase, const char* uiBinaryName) {
    const std::string ui = URIRef(std::string(uriBase) + "#ui");
    std::string ttl = "@prefix opts: <http://lv2plug.in/ns/ext/options#> .\n"
                      "@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .\n\n";
    std::string notifications;
    for (int i = 0; i < plug->NChannelIO(); ++i) {
        const std::string uri = URIRef(PluginURI(uriBase, *plug->GetChannelIO(i)));
        ttl += uri + "\n    ui:ui " + ui + " .\n\n";
        // Every control port, "by" included: the editor's switch shows either bypass.
        std::vector<std::string> symbols = LV2ControlSymbols(plug);
        // The quality too: the editor's HQ switch follows it.
        if (plug->NQualities() > 1) symbols.push_back("quality");
        for (const std::string& symbol : symbols) {
            notifications += "    ui:portNotification [\n        ui:plugin " + uri +
                             " ;\n        lv2:symbol " + Quoted(symbol.c_str()) +
                             " ;\n        ui:protocol ui:floatProtocol\n    ] ;\n";
        }
    }
    ttl += ui + "\n    a ui:X11UI ;\n    ui:binary <" + uiBinaryName +
           "> ;\n    lv2:requiredFeature ui:idleInterface ;\n"
           "    lv2:optionalFeature ui:parent , ui:resize , ui:touch , ui:portMap ;\n"
           "    opts:supportedOption ui:scaleFactor ;\n" +
           notifications + "    lv2:extensionData ui:idleInterface .\n";
    return ttl;
}

bool WriteLV2Turtle(IPlugLV2* plug, const char* uriBase, const char* binaryName, const char* dir,
                    const char* uiBinaryName) {
    std::string manifest = LV2ManifestTurtle(plug, uriBase, binaryName);
    if (uiBinaryName) manifest += LV2UITurtle(plug, uriBase, uiBinaryName);
    const std::string files[3][2] = {
        {"manifest.ttl", manifest},
        {std::string(plug->GetEffectName()) + ".ttl", LV2PluginsTurtle(plug, uriBase)},
        {"presets.ttl", LV2PresetsTurtle(plug, uriBase)}};
    for (const auto& file : files) {
        const std::string path = std::string(dir) + "/" + file[0];
        FILE* f = std::fopen(path.c_str(), "wb");
        if (!f) return false;
        const bool written = std::fwrite(file[1].data(), 1, file[1].size(), f) == file[1].size();
        if (std::fclose(f) != 0 || !written) return false;
    }
    return true;
}
