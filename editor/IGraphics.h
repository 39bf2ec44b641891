// The editor as the plug-in base sees it. The editor core extends this class; the base only
// pushes parameter values into it, asks it to prepare drawing, and owns (deletes) it.
#pragma once

class IGraphics {
public:
    virtual ~IGraphics() = default;

    // A parameter changed on the plug-in side; value is normalised when normalized is true.
    virtual void SetParameterFromPlug(int paramIdx, double value, bool normalized) = 0;
    // Called once when the editor is attached, before it is first drawn.
    virtual void PrepDraw() = 0;
};
