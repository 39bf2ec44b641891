// The demo's input: a short plucked-string riff in E, synthesised in code so that every run and
// every machine gets the same samples. Mono, 44100 Hz, 8.5 seconds (four bars at 120 beats per
// minute and a ringing last chord), peak normalised to -6 dBFS.
#pragma once

#include "host/PlanarAudio.h"

constexpr int kDemoSampleRate = 44100;
constexpr int kDemoFrames = kDemoSampleRate * 17 / 2; // 8.5 s
constexpr double kDemoPeakDb = -6.0;

PlanarAudio MakeDemoRiff();
