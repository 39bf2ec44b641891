// The bundle's UI on X servers of other depths: every TrueColor visual (16, 15 and 8 bits, and
// 24 as the reference case) shows every pixel of the windowless editor, each channel cut to the
// visual's bits; a visual it cannot draw on (8-bit PseudoColor) gets no UI and one line saying
// why, and the host lives on.
#include "../window/XvfbDisplay.h"
#include "LV2UITestHost.h"

#include "editor/IGraphicsHeadless.h"
#include "effect/Zerub.h"
#include "raster/lice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace {

constexpr int kW = 333, kH = 511;

// The windowless editor at its defaults (0x00RRGGBB).
std::vector<uint32_t> ReferencePixels() {
    IGraphicsHeadless::SetDefaultResourceDir(ZERUB_SOURCE_DIR "/resources/img");
    std::unique_ptr<IPlugAU> plug(MakePlug(nullptr));
    IGraphics* gui = plug ? dynamic_cast<IGraphics*>(plug->GetGUI()) : nullptr;
    std::vector<uint32_t> out;
    if (!gui) return out;
    IRECT r;
    while (gui->IsDirty(&r))
        gui->Draw(&r);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            out.push_back(LICE_GetPixel(gui->GetBackBuffer(), x, y) & 0xffffff);
    return out;
}

struct Field {
    int shift = 0, bits = 0;
    explicit Field(unsigned long mask) {
        while (mask && !(mask & 1)) {
            mask >>= 1;
            ++shift;
        }
        while (mask & 1) {
            mask >>= 1;
            ++bits;
        }
    }
    // The top bits of an 8-bit channel, as a visual of this many bits holds them.
    uint32_t Of(uint32_t channel) const {
        return bits >= 8 ? channel << (bits - 8) : channel >> (8 - bits);
    }
    uint32_t In(uint32_t pixel) const { return (pixel >> shift) & ((1u << bits) - 1); }
};

// How many of the UI's pixels hold the reference's colour at the visual's precision.
int PixelsShown(const char* screen, const char* extra, std::string* why) {
    ScopedXvfb server(screen, extra);
    if (!server.Running()) {
        *why = server.Why();
        return -1;
    }
    const std::vector<uint32_t> ref = ReferencePixels();
    LV2UITestHost host;
    unsigned long masks[3] = {};
    if (!host.VisualMasks(&masks[0], &masks[1], &masks[2])) {
        *why = "the server's default visual is not TrueColor";
        return -1;
    }
    if (!host.Open(kStereoURI)) {
        *why = "the UI did not open";
        return -1;
    }
    const std::vector<uint32_t> pixels = host.Pixels(host.UIWindow(), kW, kH);
    if (pixels.size() != ref.size()) return -1;
    const Field fields[3] = {Field(masks[0]), Field(masks[1]), Field(masks[2])};
    int shown = 0;
    for (size_t i = 0; i < ref.size(); ++i) {
        bool same = true;
        for (int c = 0; c < 3; ++c)
            same = same && fields[c].In(pixels[i]) == fields[c].Of((ref[i] >> (16 - 8 * c)) & 0xff);
        shown += same;
    }
    host.Close();
    return shown;
}

TEST(LV2UIDepths, EveryTrueColorDepthShowsEveryPixel) {
    for (const auto& [screen, extra] : {std::pair<const char*, const char*>{"640x600x24", ""},
                                        {"640x600x16", ""},
                                        {"640x600x15", ""},
                                        {"640x600x8", "-cc 4"}}) {
        std::string why;
        const int shown = PixelsShown(screen, extra, &why);
        if (shown < 0 && why.find("Xvfb") != std::string::npos) GTEST_SKIP() << why;
        EXPECT_EQ(shown, kW * kH) << screen << " " << extra << ": " << why;
    }
}

TEST(LV2UIDepths, APseudoColorDisplayGetsNoUIAndOneLineSayingWhy) {
    ScopedXvfb server("640x600x8", "");
    if (!server.Running()) GTEST_SKIP() << server.Why();
    LV2UITestHost host;
    testing::internal::CaptureStderr();
    const bool opened = host.Open(kStereoURI);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(opened);
    EXPECT_NE(said.find("PseudoColor"), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
}

} // namespace
