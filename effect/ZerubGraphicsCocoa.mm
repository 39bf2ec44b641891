// The component's editor: a Cocoa view, made when the host asks the view factory for it.
#include "editor/IGraphicsMac.h"
#include "effect/ZerubEditor.h"

IGraphics* MakeGraphics(IPlugBase* plug, int w, int h, int fps) {
    IGraphicsMac* graphics = new IGraphicsMac(plug, w, h, fps);
    graphics->SetBundleID(kZerubBundleID);
    return graphics;
}
