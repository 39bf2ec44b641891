#include "editor/IQualitySwitch.h"

#include "editor/IGraphics.h"
#include "plugin/IPlugBase.h"

bool IQualitySwitchControl::Draw(IGraphics* graphics) {
    const int frames = mBitmap.frameCount > 0 ? mBitmap.frameCount : 1;
    int quality = graphics->GetQuality();
    quality = quality < 0 ? 0 : (quality >= frames ? frames - 1 : quality);
    return graphics->DrawBitmap(&mBitmap, &mArea, quality + 1, &mBlending);
}

void IQualitySwitchControl::OnMouseDown(int /*x*/, int /*y*/, IMouseMod* /*mod*/) {
    IGraphics* graphics = GetGUI();
    if (!mOwnerPlug || !graphics) return;
    const int n = mOwnerPlug->NQualities();
    if (n < 2) return;
    mOwnerPlug->SetQualityFromGUI((graphics->GetQuality() + 1) % n);
}
