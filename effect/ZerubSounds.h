// The effect's three named sounds, at real values of Gain and Level: clean, medium and full
// drive, with Level chosen so that each comes out about as loud as the others. The demo renders
// them and the LV2 bundle offers them as presets, both from this one table. Depends on nothing.
#pragma once

struct ZerubSound {
    const char* name;     // as a preset list shows it
    const char* demoFile; // the file the demo writes
    double gain;
    double level;
};

constexpr ZerubSound kZerubSounds[3] = {
    {"Clean", "clean.wav", 0.10, 0.69},
    {"Medium", "medium.wav", 0.50, 0.48},
    {"Full", "full.wav", 1.00, 0.41},
};
