#include "effect/ZerubEditor.h"

#include "au/IPlugAU.h"
#include "editor/IControls.h"
#include "editor/IGraphics.h"

namespace {

constexpr int kWidth = 333;
constexpr int kHeight = 511;
constexpr int kFPS = 0; // the editor's default rate

const char* const kProductURL = "https://www.quillmoor.com/zerub";

enum EResources { kBackgroundID = 101, kGainID, kLevelID, kBypassID };
constexpr int kKnobFrames = 31;
constexpr int kSwitchFrames = 2;

enum EParams { kGain = 0, kLevel, kBypass };

} // namespace

IGraphics* BuildZerubEditor(IPlugAU* plug) {
    IGraphics* g = MakeGraphics(plug, kWidth, kHeight, kFPS);
    g->AttachBackground(kBackgroundID, "resources/img/BG.png");

    IBitmap gain = g->LoadIBitmap(kGainID, "resources/img/GAIN.png", kKnobFrames);
    g->AttachControl(new IKnobMultiControl(plug, 164, 172, kGain, &gain));

    IBitmap level = g->LoadIBitmap(kLevelID, "resources/img/LEVEL.png", kKnobFrames);
    g->AttachControl(new IKnobMultiControl(plug, 62, 62, kLevel, &level));

    IBitmap bypass = g->LoadIBitmap(kBypassID, "resources/img/BYPASS.png", kSwitchFrames);
    g->AttachControl(new ISwitchControl(plug, 0, 481, kBypass, &bypass));

    // The visible part of the link is the strip from 484 to the editor's bottom edge.
    g->AttachControl(new IURLControl(plug, IRECT(233, 484, 333, 584), kProductURL));
    return g;
}
