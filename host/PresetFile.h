// .aupreset files: the class-info dictionary as an XML property list.
#pragma once

#include "host/HostApi.h"
#include "host/Status.h"

#include <string>

// Reads path and checks that it holds a class-info dictionary for the component of unit: a
// property list, a dictionary, the same type, subtype and manufacturer, and a "data" entry.
// On success *state is a new reference the caller releases.
Status ReadPresetFile(const std::string& path, AudioUnit unit, CFPropertyListRef* state);

// Restores a state read by ReadPresetFile into unit through kAudioUnitProperty_ClassInfo.
Status RestorePreset(const std::string& path, AudioUnit unit, CFPropertyListRef state);

// Saves the unit's class-info dictionary to path as an XML property list, whole or not at all.
Status WritePresetFile(const std::string& path, AudioUnit unit);
