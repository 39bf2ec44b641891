// What the host plays on the control ports reaches the editor's controls, with no display: the
// UI's plug-in object and editor built in this process, its window never opened.
#include "containers/WDL_HeapBuf.h"
#include "editor/IGraphics.h"
#include "editor/IGraphicsX11.h"
#include "effect/Zerub.h"
#include "lv2/LV2Product.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

std::vector<std::pair<uint32_t, float>> gWritten;

void Write(LV2UI_Controller, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
    if (format == 0 && size == sizeof(float))
        gWritten.emplace_back(port, *static_cast<const float*>(buffer));
}

double ControlValue(IPlugBase* plug, int paramIdx) {
    IGraphics* gui = dynamic_cast<IGraphics*>(plug->GetGUI());
    for (int i = 0; gui && i < gui->NControls(); ++i)
        if (gui->GetControl(i)->ParamIdx() == paramIdx) return gui->GetControl(i)->GetValue();
    return -1.0;
}

void Send(IPlugLV2UI* ui, int port, float value) {
    ASSERT_GE(port, 0);
    ui->PortEvent(static_cast<uint32_t>(port), sizeof value, 0, &value);
}

int gFailAt = -1; // the allocation number that fails, counted from when it is set; -1 none
int gAllocations = 0;

void* FailOne(void* block, size_t bytes) {
    if (gAllocations++ == gFailAt) return nullptr;
    return std::realloc(block, bytes);
}

} // namespace

TEST(LV2UIEditorContract, PortEventsMoveTheEditorsControlsAndWriteNothingBack) {
    IGraphicsX11::SetDefaultResourceDir(ZERUB_SOURCE_DIR "/resources/img");
    std::unique_ptr<IPlugLV2UI> ui(MakePlug(nullptr));
    ASSERT_TRUE(ui && ui->IsComplete());
    const std::string uri = std::string(LV2PluginURIBase()) + "#stereo";
    ASSERT_TRUE(ui->Connect(uri.c_str(), Write, nullptr, nullptr));
    ASSERT_GE(ControlValue(ui.get(), Zerub::kGain), 0.0) << "the product has no gain control";
    gWritten.clear();

    Send(ui.get(), ui->PortOfParam(Zerub::kGain), 0.8f);
    Send(ui.get(), ui->PortOfParam(Zerub::kLevel), 0.15f);
    EXPECT_NEAR(ControlValue(ui.get(), Zerub::kGain), 0.8, 1e-6);
    EXPECT_NEAR(ControlValue(ui.get(), Zerub::kLevel), 0.15, 1e-6);

    // The host's bypass ("enabled" 0) and the earlier builds' "by" each show on the switch.
    Send(ui.get(), ui->PortOfParam(Zerub::kBypass), 0.0f);
    EXPECT_EQ(ControlValue(ui.get(), Zerub::kBypass), 1.0);
    Send(ui.get(), ui->PortOfParam(Zerub::kBypass), 1.0f);
    EXPECT_EQ(ControlValue(ui.get(), Zerub::kBypass), 0.0);
    Send(ui.get(), ui->BypassPort(), 1.0f);
    EXPECT_EQ(ControlValue(ui.get(), Zerub::kBypass), 1.0);

    EXPECT_TRUE(gWritten.empty()) << "a port event was written back to the host";
}

// Each allocation of the UI's plug-in object and its binding fails in turn: the object says it
// is incomplete, or the binding is refused, or the UI is whole and its controls follow the host.
TEST(LV2UIEditorContract, EachFailedAllocationGivesRefusalOrWholeUI) {
    IGraphicsX11::SetDefaultResourceDir(ZERUB_SOURCE_DIR "/resources/img");
    const std::string uri = std::string(LV2PluginURIBase()) + "#stereo";
    WDL_HeapBuf::SetReallocForTesting(FailOne);
    int refused = 0;
    for (int k = 0;; ++k) {
        gAllocations = 0;
        gFailAt = k;
        std::unique_ptr<IPlugLV2UI> ui(MakePlug(nullptr));
        const bool bound =
            ui && ui->IsComplete() && ui->Connect(uri.c_str(), Write, nullptr, nullptr);
        const bool reached = gAllocations > k;
        gFailAt = -1;
        if (!bound) {
            ++refused;
        } else {
            const float gain = 0.25f;
            ui->PortEvent(static_cast<uint32_t>(ui->PortOfParam(Zerub::kGain)), sizeof gain, 0,
                          &gain);
            const double shown = ControlValue(ui.get(), Zerub::kGain);
            if (shown >= 0.0) { // a control the editor could not keep is not shown at all
                EXPECT_NEAR(shown, 0.25, 1e-6) << "allocation " << k;
            }
        }
        ui.reset();
        if (!reached) break;
        ASSERT_LT(k, 100000);
    }
    WDL_HeapBuf::SetReallocForTesting(nullptr);
    EXPECT_GT(refused, 0);
}
