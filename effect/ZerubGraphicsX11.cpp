// The LV2 UI's editor: an X11 window, reading its images from the bundle's resources folder
// (set by the UI before it makes the plug-in).
#include "editor/IGraphicsX11.h"
#include "effect/ZerubEditor.h"

IGraphics* MakeGraphics(IPlugBase* plug, int w, int h, int fps) {
    return new IGraphicsX11(plug, w, h, fps);
}
