#include "effect/ZerubEditor.h"

#include "editor/IControls.h"
#include "editor/IGraphics.h"
#include "effect/Zerub.h"
#include "plugin/IParam.h"

namespace {

constexpr int kWidth = 333;
constexpr int kHeight = 511;
constexpr int kFPS = 0; // the editor's default rate

const char* const kProductURL = "https://www.quillmoor.com/zerub";

enum EResources { kBackgroundID = 101, kGainID, kLevelID, kBypassID };
constexpr int kKnobFrames = 31;
constexpr int kSwitchFrames = 2;

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
    return Zerub::BypassEngaged(value);
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
    g->AttachControl(new IKnobMultiControl(plug, 164, 172, Zerub::kGain, &gain));

    IBitmap level = g->LoadIBitmap(kLevelID, "resources/img/LEVEL.png", kKnobFrames);
    g->AttachControl(new IKnobMultiControl(plug, 62, 62, Zerub::kLevel, &level));

    IBitmap bypass = g->LoadIBitmap(kBypassID, "resources/img/BYPASS.png", kSwitchFrames);
    g->AttachControl(new ZerubBypassSwitch(plug, 0, 481, Zerub::kBypass, &bypass));

    // The visible part of the link is the strip from 484 to the editor's bottom edge.
    g->AttachControl(new IURLControl(plug, IRECT(233, 484, 333, 584), kProductURL));
    return g;
}
