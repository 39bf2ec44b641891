// Where a plug-in's control ports sit, as the bundle's descriptions give them, for the UI. Apart
// from IPlugLV2UI.h so that the UI's sources never see the DSP wrapper's declarations.
#pragma once

#include <string>

class IPlugBase;

// Fills ports[0..plug->NParams()) with the control port index of each parameter of the plug-in
// whose URI under base is pluginURI (one plug-in per channel configuration of plug), and
// *bypassPort with the index of the earlier builds' bypass port "by" (-1 when the plug-in has
// none). False when pluginURI names none of them.
bool LV2ControlPorts(const char* base, const char* pluginURI, const IPlugBase* plug, int* ports,
                     int* bypassPort);
// The index of the quality port of that plug-in, or -1 when it has none (a product with one
// quality) or pluginURI names none of them.
int LV2QualityPort(const char* base, const char* pluginURI, const IPlugBase* plug);
// The symbol of a parameter's control port ("" for no such parameter).
std::string LV2ControlSymbol(const IPlugBase* plug, int paramIdx);
// The symbol of the earlier builds' bypass port ("" when the plug-in has none).
std::string LV2BypassPortSymbol(const IPlugBase* plug);
