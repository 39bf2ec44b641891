// The overdrive's editor: a fixed 333 x 511 bitmap window with the Gain and Level knobs, the
// bypass switch and the maker's link.
#pragma once

#include "editor/IControls.h"

class IPlugAU;
class IGraphics;

// The bypass switch. The effect bypasses only when "BY" is exactly 1 (a host may set a fraction,
// which truncates to 0), so the switch shows "on" only then, whatever frame rounding would pick,
// and a press always moves it to the other state it shows.
class ZerubBypassSwitch : public ISwitchControl {
public:
    using ISwitchControl::ISwitchControl;
    bool Draw(IGraphics* graphics) override;
    void OnMouseDown(int x, int y, IMouseMod* mod) override;
    bool Engaged() const; // the value held bypasses the audio
};

// Builds the effect's editor for plug (size, background, controls, link); the caller hands the
// result to AttachGraphics.
IGraphics* BuildZerubEditor(IPlugAU* plug);

// A new platform editor for plug of w x h pixels at fps frames per second (0: the default),
// set to find its images in the effect's bundle.
IGraphics* MakeGraphics(IPlugAU* plug, int w, int h, int fps);
