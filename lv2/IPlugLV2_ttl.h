// The bundle's Turtle files, written at build time from a live instance so that ports, ranges
// and presets cannot drift from the code: manifest.ttl, <effect name>.ttl (every plug-in of the
// bundle, one per channel configuration) and presets.ttl (the presets of LV2Product(), as port
// values: the instance keeps no other state).
#pragma once

#include "lv2/IPlugLV2.h"

#include <string>
#include <vector>

// A port symbol from a parameter name: lower case, letters, digits and '_' only, never starting
// with a digit, made unique among the symbols already taken (taken is '\n'-separated).
std::string LV2PortSymbol(const char* name, const std::string& taken);

// LV2 calls a minor version that is odd or zero a development build. The product version
// major.minor.revision is published as minor version 2 * (100 * major + minor) and micro version
// revision: 1.0.0 is 200.0, 1.3.2 is 206.2, 2.0.0 is 400.0 (minor below 100).
int LV2MinorVersion(int productVersion);
int LV2MicroVersion(int productVersion);

// The control ports' symbols in port order: each parameter's name made a symbol, except the
// bypass parameter of LV2Product(), whose port is the host's own bypass, "enabled"; then, when the
// product has a bypass, its earlier port under the symbol earlier builds gave it ("by"), since
// saved sessions name it so.
std::vector<std::string> LV2ControlSymbols(const IPlugBase* plug);
// The Turtle text of each file.
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
