// A switch for the plug-in's processing quality (IPlugBase::SetQuality), which is a setting beside
// the parameters rather than one of them: it shows the setting the editor was last told of
// (IGraphics::GetQuality) and a press asks the plug-in for the next one, through the wrapper
// (IPlugBase::SetQualityFromGUI), so that a host hears of the change as it would of its own.
// The switch changes its picture only when the plug-in reports the setting back.
#pragma once

#include "editor/IControls.h"

class IQualitySwitchControl : public IBitmapControl {
public:
    // One frame per quality (frame 1 the first setting), drawn at (x, y); bound to no parameter.
    IQualitySwitchControl(IPlugBase* plug, int x, int y, const IBitmap* bitmap)
        : IBitmapControl(plug, x, y, -1, bitmap) {}

    bool Draw(IGraphics* graphics) override;
    void OnMouseDown(int x, int y, IMouseMod* mod) override; // the next setting, wrapping round
    void OnMouseDblClick(int x, int y, IMouseMod* mod) override { OnMouseDown(x, y, mod); }
};
