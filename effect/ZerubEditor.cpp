#include "effect/ZerubEditor.h"

#include "editor/IControls.h"
#include "editor/IGraphics.h"
#include "editor/IQualitySwitch.h"
#include "effect/Zerub.h"
#include "effect/ZerubLayout.h"
#include "plugin/HostValues.h"
#include "plugin/IParam.h"

namespace {

using namespace zerub_layout;

constexpr int kFPS = 0; // the editor's default rate

const char* const kProductURL = "https://www.quillmoor.com/zerub";

enum EResources { kBackgroundID = 101, kGainID, kLevelID, kBypassID, kQualityID };

// The bypass switch shows "on" exactly when the effect bypasses, whatever frame rounding would
// pick, and a press always moves it to the state it does not show.
class ZerubBypassSwitch : public ISwitchControl {
public:
    using ISwitchControl::ISwitchControl;
    bool Draw(IGraphics* graphics) override;
    void OnMouseDown(int x, int y, IMouseMod* mod) override;

private:
    bool Engaged() const; // the value held bypasses the audio
};

bool ZerubBypassSwitch::Engaged() const {
    const IParam* param = GetParam();
    const double value = param ? param->GetNonNormalized(mNormValue) : mNormValue;
    return BypassEngaged(value);
}

bool ZerubBypassSwitch::Draw(IGraphics* graphics) {
    return graphics->DrawBitmap(&mBitmap, &mArea, Engaged() ? 2 : 1, &mBlending);
}

void ZerubBypassSwitch::OnMouseDown(int /*x*/, int /*y*/, IMouseMod* /*mod*/) {
    mNormValue = Engaged() ? 0.0 : 1.0;
    SetDirty(true);
}

} // namespace

IGraphics* BuildZerubEditor(IPlugBase* plug) {
    IGraphics* g = MakeGraphics(plug, kWidth, kHeight, kFPS);
    g->AttachBackground(kBackgroundID, "resources/img/BG.png");

    IBitmap gain = g->LoadIBitmap(kGainID, "resources/img/GAIN.png", kKnobFrames);
    g->AttachControl(new IKnobMultiControl(plug, kGainX, kGainY, Zerub::kGain, &gain));

    IBitmap level = g->LoadIBitmap(kLevelID, "resources/img/LEVEL.png", kKnobFrames);
    g->AttachControl(new IKnobMultiControl(plug, kLevelX, kLevelY, Zerub::kLevel, &level));

    IBitmap bypass = g->LoadIBitmap(kBypassID, "resources/img/BYPASS.png", kSwitchFrames);
    g->AttachControl(new ZerubBypassSwitch(plug, kSwitchX, kSwitchY, Zerub::kBypass, &bypass));

    // The visible part of the link is the strip from kLinkTop to the editor's bottom edge.
    g->AttachControl(new IURLControl(
        plug, IRECT(kLinkLeft, kLinkTop, kWidth, kLinkTop + kLinkHitDepth), kProductURL));

    // Standard and HQ, in the bottom bar between the bypass switch and the maker's mark.
    IBitmap quality = g->LoadIBitmap(kQualityID, "resources/img/HQ.png", kSwitchFrames);
    g->AttachControl(new IQualitySwitchControl(plug, kHQX, kHQY, &quality));
    return g;
}
