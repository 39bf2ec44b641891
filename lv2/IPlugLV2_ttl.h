// The bundle's Turtle files, written at build time from a live instance so that ports, ranges
// and presets cannot drift from the code: manifest.ttl, <effect name>.ttl (every plug-in of the
// bundle, one per channel configuration) and presets.ttl (the product's initialised presets).
#pragma once

#include "lv2/IPlugLV2.h"

#include <string>

// A port symbol from a parameter name: lower case, letters, digits and '_' only, never starting
// with a digit, made unique among the symbols already taken (taken is '\n'-separated).
std::string LV2PortSymbol(const char* name, const std::string& taken);

// The Turtle text of each file. Uninitialised presets are pruned first, as a host would never see
// them; the others are restored one by one to read them.
std::string LV2ManifestTurtle(IPlugLV2* plug, const char* uriBase, const char* binaryName);
std::string LV2PluginsTurtle(IPlugLV2* plug, const char* uriBase);
std::string LV2PresetsTurtle(IPlugLV2* plug, const char* uriBase);

// The manifest's description of the bundle's X11 UI (uiBinaryName in the bundle) and its
// link from every plug-in: idle interface required, parent, resize and touch optional, port
// notifications for every control port.
std::string LV2UITurtle(IPlugLV2* plug, const char* uriBase, const char* uiBinaryName);

// Writes the three files into dir (which must exist); false when a file cannot be written. With
// a UI binary name, the manifest describes the UI too.
bool WriteLV2Turtle(IPlugLV2* plug, const char* uriBase, const char* binaryName, const char* dir,
                    const char* uiBinaryName = nullptr);
