#include "lv2/IPlugLV2_ttl.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char* const kPrefixes = "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n"
                              "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
                              "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
                              "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
                              "@prefix opts: <http://lv2plug.in/ns/ext/options#> .\n"
                              "@prefix bufsz: <http://lv2plug.in/ns/ext/buf-size#> .\n"
                              "@prefix pg: <http://lv2plug.in/ns/ext/port-groups#> .\n"
                              "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
                              "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
                              "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
                              "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
                              "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
                              "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n"
                              "@prefix xsd: <http://www.w3.org/2001/XMLSchema#> .\n\n";

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
    if (!std::strpbrk(text, ".e")) std::strcat(text, ".0");
    return text;
}

std::string Int(int v) {
    return std::to_string(v);
}

std::string Base64(const unsigned char* data, int size) {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (int i = 0; i < size; i += 3) {
        const unsigned b0 = data[i];
        const unsigned b1 = i + 1 < size ? data[i + 1] : 0;
        const unsigned b2 = i + 2 < size ? data[i + 2] : 0;
        const unsigned word = (b0 << 16) | (b1 << 8) | b2;
        out += kAlphabet[(word >> 18) & 63];
        out += kAlphabet[(word >> 12) & 63];
        out += i + 1 < size ? kAlphabet[(word >> 6) & 63] : '=';
        out += i + 2 < size ? kAlphabet[word & 63] : '=';
    }
    return out;
}

std::string PluginURI(const char* base, const ChannelIO& io) {
    char uri[256];
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
        ttl += "    lv2:port [\n        a lv2:AudioPort , " + std::string(side.type) +
               " ;\n        lv2:index " + Int(first + c) + " ;\n        lv2:symbol " +
               Quoted(symbol.c_str()) + " ;\n        lv2:name " + Quoted(name.c_str()) + " ;\n";
        if (n <= 2)
            ttl += "        pg:group " + URIRef(group) + " ;\n        lv2:designation " +
                   designation + " ;\n";
        ttl += "    ] ;\n";
    }
}

void AppendControlPorts(std::string& ttl, IPlugLV2* plug, int first) {
    std::string taken;
    for (int i = 0; i < plug->NParams(); ++i) {
        const IParam* p = plug->GetParam(i);
        const std::string symbol = LV2PortSymbol(p->GetNameForHost(), taken);
        taken += symbol + "\n";
        ttl += "    lv2:port [\n        a lv2:InputPort , lv2:ControlPort ;\n        lv2:index " +
               Int(first + i) + " ;\n        lv2:symbol " + Quoted(symbol.c_str()) +
               " ;\n        lv2:name " + Quoted(p->GetNameForHost()) + " ;\n        lv2:default " +
               Number(p->GetDefault()) + " ;\n        lv2:minimum " + Number(p->GetMin()) +
               " ;\n        lv2:maximum " + Number(p->GetMax()) + " ;\n";
        const bool integral = p->Type() == IParam::kTypeBool || p->Type() == IParam::kTypeInt ||
                              p->Type() == IParam::kTypeEnum;
        const bool toggle = p->Type() == IParam::kTypeBool ||
                            (integral && p->GetMin() == 0.0 && p->GetMax() == 1.0);
        if (toggle)
            ttl += "        lv2:portProperty lv2:integer , lv2:toggled ;\n";
        else if (p->Type() == IParam::kTypeEnum && p->GetNDisplayTexts() > 0)
            ttl += "        lv2:portProperty lv2:integer , lv2:enumeration ;\n";
        else if (integral)
            ttl += "        lv2:portProperty lv2:integer ;\n";
        if (!p->GetCanAutomate()) ttl += "        lv2:portProperty lv2:expensive ;\n";
        for (int t = 0; t < p->GetNDisplayTexts(); ++t) {
            int value = 0;
            const char* text = p->GetDisplayTextAtIdx(t, &value);
            ttl += "        lv2:scalePoint [ rdfs:label " + Quoted(text) + " ; rdf:value " +
                   Number(value) + " ] ;\n";
        }
        const char* label = p->GetLabelForHost();
        if (label[0]) ttl += "        units:unit " + UnitFor(label) + " ;\n";
        ttl += "    ] ;\n";
    }
}

} // namespace

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
    plug->PruneUninitializedPresets(); // as a host would see them: only filled presets
    const std::string descriptions = std::string(plug->GetEffectName()) + ".ttl";
    std::string ttl = kPrefixes;
    std::string appliesTo;
    for (int i = 0; i < plug->NChannelIO(); ++i) {
        const std::string uri = PluginURI(uriBase, *plug->GetChannelIO(i));
        ttl += URIRef(uri) + "\n    a lv2:Plugin ;\n    lv2:binary <" + binaryName +
               "> ;\n    rdfs:seeAlso <" + descriptions + "> .\n\n";
        appliesTo += (appliesTo.empty() ? "" : " , ") + URIRef(uri);
    }
    for (int i = 0; i < plug->NPresets(); ++i)
        ttl += URIRef(PresetURI(uriBase, i)) + "\n    a pset:Preset ;\n    lv2:appliesTo " +
               appliesTo + " ;\n    rdfs:seeAlso <presets.ttl> .\n\n";
    return ttl;
}

std::string LV2PluginsTurtle(IPlugLV2* plug, const char* uriBase) {
    std::string ttl = kPrefixes;
    int major = 0, minor = 0, revision = 0;
    GetVersionParts(plug->GetEffectVersion(false), &major, &minor, &revision);
    const std::string maker = std::string(uriBase).substr(0, std::string(uriBase).find('/', 8));
    char stateKey[256];
    IPlugLV2::StateKeyURI(uriBase, stateKey);
    ttl += URIRef(uriBase) + "\n    a doap:Project ;\n    doap:name " +
           Quoted(plug->GetEffectName()) + " ;\n    doap:maintainer [\n        foaf:name " +
           Quoted(plug->GetMfrName()) + " ;\n        foaf:homepage <" + maker + "/>\n    ] .\n\n" +
           URIRef(stateKey) +
           "\n    a rdf:Property ;\n    rdfs:label \"state\" ;\n"
           "    rdfs:comment \"The state chunk of the plug-in base.\" ;\n"
           "    rdfs:range atom:Chunk .\n\n";
    for (int i = 0; i < plug->NChannelIO(); ++i) {
        const ChannelIO& io = *plug->GetChannelIO(i);
        const std::string uri = PluginURI(uriBase, io);
        const std::string name = std::string(plug->GetEffectName()) + " (" + ConfigName(io) + ")";
        LV2PortLayout layout;
        layout.nIn = io.in;
        layout.nOut = io.out;
        layout.nParams = plug->NParams();

        for (int side = 0; side < 2; ++side) {
            const int n = side ? io.out : io.in;
            if (n < 1 || n > 2) continue;
            ttl += URIRef(uri + (side ? "_out" : "_in")) + "\n    a " +
                   (n == 1 ? "pg:MonoGroup" : "pg:StereoGroup") + " , " +
                   (side ? "pg:OutputGroup" : "pg:InputGroup") + " ;\n    lv2:symbol " +
                   (side ? "\"out\"" : "\"in\"") + " ;\n    rdfs:label " +
                   (side ? "\"Output\"" : "\"Input\"") + " .\n\n";
        }

        ttl += URIRef(uri) + "\n    a lv2:Plugin , lv2:DistortionPlugin ;\n    doap:name " +
               Quoted(name.c_str()) + " ;\n    lv2:project " + URIRef(uriBase) +
               " ;\n    lv2:minorVersion " + Int(minor) + " ;\n    lv2:microVersion " +
               Int(revision) +
               " ;\n    lv2:optionalFeature urid:map , opts:options ;\n"
               "    opts:supportedOption bufsz:maxBlockLength ;\n"
               "    lv2:extensionData state:interface ;\n";
        AppendAudioPorts(ttl, uri, {"in", "In", "lv2:InputPort", "pg:InputGroup"},
                         layout.FirstInput(), io.in);
        AppendAudioPorts(ttl, uri, {"out", "Out", "lv2:OutputPort", "pg:OutputGroup"},
                         layout.FirstOutput(), io.out);
        AppendControlPorts(ttl, plug, layout.FirstControl());
        ttl.replace(ttl.size() - 2, 2, ".\n\n"); // the last port closes the description
    }
    return ttl;
}

std::string LV2PresetsTurtle(IPlugLV2* plug, const char* uriBase) {
    plug->PruneUninitializedPresets();
    std::string ttl = kPrefixes;
    char stateKey[256];
    IPlugLV2::StateKeyURI(uriBase, stateKey);
    std::string appliesTo;
    for (int i = 0; i < plug->NChannelIO(); ++i)
        appliesTo +=
            (appliesTo.empty() ? "" : " , ") + URIRef(PluginURI(uriBase, *plug->GetChannelIO(i)));
    for (int i = 0; i < plug->NPresets(); ++i) {
        if (!plug->RestorePreset(i)) continue;
        ByteChunk chunk;
        plug->SerializeState(&chunk);
        ttl += URIRef(PresetURI(uriBase, i)) + "\n    a pset:Preset ;\n    lv2:appliesTo " +
               appliesTo + " ;\n    rdfs:label " + Quoted(plug->GetPresetName(i)) + " ;\n";
        std::string taken;
        for (int p = 0; p < plug->NParams(); ++p) {
            const IParam* param = plug->GetParam(p);
            const std::string symbol = LV2PortSymbol(param->GetNameForHost(), taken);
            taken += symbol + "\n";
            ttl += "    lv2:port [ lv2:symbol " + Quoted(symbol.c_str()) + " ; pset:value " +
                   Number(param->Value()) + " ] ;\n";
        }
        ttl += "    state:state [ " + URIRef(stateKey) + " \"" +
               Base64(chunk.GetBytes(), chunk.Size()) + "\"^^xsd:base64Binary ] .\n\n";
    }
    return ttl;
}

std::string LV2UITurtle(IPlugLV2* plug, const char* uriBase, const char* uiBinaryName) {
    const std::string ui = URIRef(std::string(uriBase) + "#ui");
    std::string ttl = "@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .\n\n";
    std::string notifications;
    for (int i = 0; i < plug->NChannelIO(); ++i) {
        const std::string uri = URIRef(PluginURI(uriBase, *plug->GetChannelIO(i)));
        ttl += uri + "\n    ui:ui " + ui + " .\n\n";
        std::string taken;
        for (int p = 0; p < plug->NParams(); ++p) {
            const std::string symbol = LV2PortSymbol(plug->GetParam(p)->GetNameForHost(), taken);
            taken += symbol + "\n";
            notifications += "    ui:portNotification [\n        ui:plugin " + uri +
                             " ;\n        lv2:symbol " + Quoted(symbol.c_str()) +
                             " ;\n        ui:protocol ui:floatProtocol\n    ] ;\n";
        }
    }
    ttl += ui + "\n    a ui:X11UI ;\n    ui:binary <" + uiBinaryName +
           "> ;\n    lv2:requiredFeature ui:idleInterface ;\n"
           "    lv2:optionalFeature ui:parent , ui:resize , ui:touch , ui:portMap ;\n" +
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
