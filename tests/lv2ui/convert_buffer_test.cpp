// The X11 editor on a 16-bit server converts each painted area through a buffer of its own. When
// that buffer cannot grow for a larger area, the area is left unpainted (nothing is written past
// the buffer), and once memory is back a full paint shows every pixel.
#include "../window/XvfbDisplay.h"

#include "containers/WDL_HeapBuf.h"
#include "editor/IGraphicsX11.h"
#include "effect/Zerub.h"
#include "lv2/IPlugLV2UI.h"
#include "raster/lice.h"

#include <gtest/gtest.h>

// After the test framework, whose names Xlib's macros (None, Bool) would replace.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

namespace {

void Ignore(LV2UI_Controller, uint32_t, uint32_t, uint32_t, const void*) {}

// Every block the containers get carries a guard of known bytes past its end.
constexpr size_t kGuard = 64;
constexpr unsigned char kGuardByte = 0xa5;
bool gFail = false;
unsigned char* gLast = nullptr; // the last block handed out, and its size
size_t gLastBytes = 0;

void* Guarded(void* block, size_t bytes) {
    if (gFail) return nullptr;
    auto* out = static_cast<unsigned char*>(std::realloc(block, bytes + kGuard));
    if (out) {
        std::memset(out + bytes, kGuardByte, kGuard);
        gLast = out;
        gLastBytes = bytes;
    }
    return out;
}

bool GuardIntact(const unsigned char* block, size_t bytes) {
    for (size_t i = 0; i < kGuard; ++i)
        if (block[bytes + i] != kGuardByte) return false;
    return true;
}

// A back-buffer pixel (0x00RRGGBB) as the visual holds it.
unsigned long ToVisual(uint32_t rgb, const Visual* v) {
    const unsigned long masks[3] = {v->red_mask, v->green_mask, v->blue_mask};
    unsigned long out = 0;
    for (int c = 0; c < 3; ++c) {
        int shift = 0, bits = 0;
        while (!((masks[c] >> shift) & 1))
            ++shift;
        while ((masks[c] >> (shift + bits)) & 1)
            ++bits;
        out |= static_cast<unsigned long>((rgb >> (16 - 8 * c)) & 0xff) >> (8 - bits) << shift;
    }
    return out;
}

// How many of the window's pixels differ from the back buffer's.
int PixelsWrong(Display* display, Window window, LICE_IBitmap* buffer) {
    const int w = buffer->getWidth(), h = buffer->getHeight();
    XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(w),
                              static_cast<unsigned>(h), AllPlanes, ZPixmap);
    if (!image) return w * h;
    const Visual* visual = DefaultVisual(display, DefaultScreen(display));
    int wrong = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            wrong +=
                XGetPixel(image, x, y) != ToVisual(LICE_GetPixel(buffer, x, y) & 0xffffff, visual);
    XDestroyImage(image);
    return wrong;
}

TEST(X11ConvertBuffer, AnAreaTheBufferCannotHoldIsSkippedAndTheNextFullPaintIsWhole) {
    ScopedXvfb server("640x600x16", "");
    if (!server.Running()) GTEST_SKIP() << server.Why();
    IGraphicsX11::SetDefaultResourceDir(ZERUB_SOURCE_DIR "/resources/img");
    std::unique_ptr<IPlugLV2UI> ui(MakePlug(nullptr));
    ASSERT_TRUE(ui && ui->IsComplete());
    const std::string uri = std::string(LV2PluginURIBase()) + "#stereo";
    ASSERT_TRUE(ui->Connect(uri.c_str(), Ignore, nullptr, nullptr));
    auto* gui = dynamic_cast<IGraphicsX11*>(ui->GetGUI());
    ASSERT_TRUE(gui);
    IRECT dirty;
    while (gui->IsDirty(&dirty)) // the whole back buffer, before there is a window to show it
        gui->Draw(&dirty);
    const Window window =
        static_cast<Window>(reinterpret_cast<uintptr_t>(gui->OpenWindow(nullptr)));
    ASSERT_NE(window, 0u);
    LICE_IBitmap* buffer = gui->GetBackBuffer();
    IRECT all(0, 0, buffer->getWidth(), buffer->getHeight());

    WDL_HeapBuf::SetReallocForTesting(Guarded);
    IRECT small(0, 0, 8, 8);
    EXPECT_TRUE(gui->DrawScreen(&small));
    unsigned char* const block = gLast;
    const size_t bytes = gLastBytes;
    ASSERT_NE(block, nullptr) << "the small area was not converted through the containers";
    gFail = true;
    EXPECT_TRUE(gui->DrawScreen(&all));
    gFail = false;
    EXPECT_TRUE(GuardIntact(block, bytes)) << "the full area was written past the buffer";
    WDL_HeapBuf::SetReallocForTesting(nullptr);

    EXPECT_TRUE(gui->DrawScreen(&all));
    Display* display = XOpenDisplay(nullptr);
    ASSERT_TRUE(display);
    // The editor's requests travel on its own connection: wait until the server has drawn them.
    int wrong = -1;
    for (int tries = 0; tries < 100 && wrong != 0; ++tries) {
        if (tries) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        wrong = PixelsWrong(display, window, buffer);
    }
    EXPECT_EQ(wrong, 0);
    XCloseDisplay(display);
    gui->CloseWindow();
}

} // namespace
