// The windowless editor, for tests, tools and benchmarks that link the effect directly.
#include "au/IPlugAU.h"
#include "editor/IGraphicsHeadless.h"
#include "effect/ZerubEditor.h"

IGraphics* MakeGraphics(IPlugAU* plug, int w, int h, int fps) {
    IGraphicsHeadless* graphics = new IGraphicsHeadless(plug, w, h, fps);
    graphics->SetBundleID(kZerubBundleID);
    return graphics;
}
