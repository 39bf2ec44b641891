// The windowless editor, for tests, tools and benchmarks that link the effect directly.
#include "editor/IGraphicsHeadless.h"
#include "effect/ZerubEditor.h"

IGraphics* MakeGraphics(IPlugBase* plug, int w, int h, int fps) {
    IGraphicsHeadless* graphics = new IGraphicsHeadless(plug, w, h, fps);
    graphics->SetBundleID(kZerubBundleID);
    return graphics;
}
