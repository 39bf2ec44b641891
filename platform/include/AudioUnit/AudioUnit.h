// The Audio Unit interface: components, the unit calls, properties and music devices.
#pragma once

#include <AudioUnit/AUComponent.h>
#include <AudioUnit/AudioComponent.h>
#include <AudioUnit/AudioUnitCarbonView.h>
#include <AudioUnit/AudioUnitProperties.h>
#include <AudioUnit/MusicDevice.h>
