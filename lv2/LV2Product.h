// What an LV2 product says about itself beyond its parameters: its URI, presets and the texts
// the bundle's descriptions carry. Each product defines LV2PluginURIBase and LV2Product once;
// the plug-in, its Turtle writer and its UI all read them, so this header stands apart from
// either wrapper.
#pragma once

// One preset of the bundle: real parameter values by index; parameters not listed keep their
// defaults.
struct LV2PresetValue {
    int param;
    double value;
};
struct LV2Preset {
    const char* name; // what hosts list
    const LV2PresetValue* values;
    int nValues;
};

// What the bundle says about the product beyond its parameters; each product defines it.
struct LV2ProductInfo {
    const char* comment;        // rdfs:comment of every plug-in
    const char* licenseURI;     // doap:license
    const char* maintainerName; // doap:maintainer's foaf:name
    const char* homepage;       // and foaf:homepage
    int enabledParam; // the bypass parameter (1 bypasses) shown as lv2:enabled and "by", or -1
    const LV2Preset* presets; // the bundle's presets, in the order hosts list them
    int nPresets;
    const char* maintainerEmail; // doap:maintainer's foaf:mbox (an address, without "mailto:")
    const char* shortdesc;       // doap:shortdesc: one line, for plug-in lists
    // rdfs:comment of each parameter's port, by parameter index (nullptr: one made from the
    // parameter's name and range). The enabled port's text is the bundle's own.
    const char* const* paramComments;
    int nParamComments;
};

// The product's URI, the base of its plug-in, preset and UI URIs (no trailing '#').
const char* LV2PluginURIBase();
// The room, terminator included, for any URI made from the base (a plug-in's, the UI's).
constexpr int kLV2URISize = 256;
// The product's description for the bundle.
const LV2ProductInfo& LV2Product();
