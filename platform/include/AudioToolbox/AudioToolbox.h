// The Audio Toolbox subset this system uses: Audio Unit events on top of the unit interface.
#pragma once

#include <AudioToolbox/AudioUnitUtilities.h>
#include <AudioUnit/AudioUnit.h>
#include <AudioUnit/MusicDevice.h>
