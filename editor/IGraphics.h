// The editor as the plug-in base sees it: the base pushes parameter values into it, asks it to
// prepare drawing, and owns (deletes) it. The editor core (IGraphicsCore.h) implements it.
//
// This header must stay free of anything that needs linking: the plug-in base includes it and
// is built and tested without the editor library, so it holds only pure virtual operations.
#pragma once

class IGraphics {
public:
    virtual ~IGraphics() = default;

    // A parameter changed on the plug-in side; value is normalised when normalized is true.
    // May run on the host's thread with the plug-in mutex held.
    virtual void SetParameterFromPlug(int paramIdx, double value, bool normalized) = 0;
    // Called once when the editor is attached, before it is first drawn.
    virtual void PrepDraw() = 0;
};
