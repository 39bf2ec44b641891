// zerub-host editor run as a program: its snapshot against the windowless editor's drawing of the
// same state, and its answer where there is no display. The component is never loaded here, so
// the windowless effect linked into this program cannot stand in for it.
#include "XvfbDisplay.h"

#include "editor/IGraphicsHeadless.h"
#include "effect/Zerub.h"
#include "raster/lice.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const std::string kHost = ZERUB_HOST_BINARY;
const std::string kBundle = ZERUB_BUNDLE_DIR;

struct Folder {
    fs::path path;
    Folder() {
        char name[] = "/tmp/zerub-window-XXXXXX";
        path = mkdtemp(name);
    }
    ~Folder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

TEST(EditorSnapshot, EqualsTheWindowlessEditorPixelForPixel) {
    std::string why;
    if (!StartXvfb(&why)) GTEST_SKIP() << why;
    Folder dir;
    const fs::path png = dir.path / "editor.png";
    const std::string command = kHost + " editor --component " + kBundle +
                                " --param Gain=0.8 --param level=0.3 --param BY=1 --snapshot " +
                                png.string() + " >" + (dir.path / "out").string() + " 2>/dev/null";
    ASSERT_EQ(RunCommand(command), 0);
    EXPECT_EQ(ReadAll(dir.path / "out"), png.string() + "  the editor as its view draws it\n");
    std::unique_ptr<LICE_IBitmap> shot(LICE_LoadPNG(png.c_str()));
    ASSERT_NE(shot, nullptr);

    // The same state drawn without a window, from the same artwork.
    IGraphicsHeadless::SetDefaultResourceDir(ZERUB_SOURCE_DIR "/resources/img");
    std::unique_ptr<IPlugAU> plug(MakePlug(nullptr));
    ASSERT_NE(plug, nullptr);
    plug->GetParam(Zerub::kGain)->Set(0.8);
    plug->GetParam(Zerub::kLevel)->Set(0.3);
    plug->GetParam(Zerub::kBypass)->Set(1.0);
    plug->RedrawParamControls();
    IGraphics* gui = dynamic_cast<IGraphics*>(plug->GetGUI());
    ASSERT_NE(gui, nullptr);
    IRECT all(0, 0, gui->Width(), gui->Height());
    gui->Draw(&all);

    ASSERT_EQ(shot->getWidth(), gui->Width());
    ASSERT_EQ(shot->getHeight(), gui->Height());
    int differing = 0;
    for (int y = 0; y < gui->Height(); ++y)
        for (int x = 0; x < gui->Width(); ++x) {
            // The screen shows no alpha: compare colour only.
            const LICE_pixel a = LICE_GetPixel(shot.get(), x, y) & 0xFFFFFF;
            const LICE_pixel b = LICE_GetPixel(gui->GetBackBuffer(), x, y) & 0xFFFFFF;
            differing += a != b;
        }
    EXPECT_EQ(differing, 0);
}

// At a scale the view factory is asked for the view at that multiple of its size: the snapshot
// is the editor drawn at the scale, pixel for pixel as the windowless editor draws it.
TEST(EditorSnapshot, AtAScaleIsTheEditorDrawnAtThatScale) {
    std::string why;
    if (!StartXvfb(&why)) GTEST_SKIP() << why;
    IGraphicsHeadless::SetDefaultResourceDir(ZERUB_SOURCE_DIR "/resources/img");
    const struct {
        const char* scale;
        int w, h;
    } cases[] = {{"2", 666, 1022}, {"1.5", 500, 767}};
    for (const auto& c : cases) {
        Folder dir;
        const fs::path png = dir.path / "editor.png";
        const std::string command = kHost + " editor --component " + kBundle +
                                    " --param Gain=0.8 --scale " + c.scale + " --snapshot " +
                                    png.string() + " >/dev/null 2>&1";
        ASSERT_EQ(RunCommand(command), 0) << c.scale;
        std::unique_ptr<LICE_IBitmap> shot(LICE_LoadPNG(png.c_str()));
        ASSERT_NE(shot, nullptr);
        EXPECT_EQ(shot->getWidth(), c.w) << c.scale;
        EXPECT_EQ(shot->getHeight(), c.h) << c.scale;

        std::unique_ptr<IPlugAU> plug(MakePlug(nullptr));
        ASSERT_NE(plug, nullptr);
        plug->GetParam(Zerub::kGain)->Set(0.8);
        plug->RedrawParamControls();
        IGraphics* gui = dynamic_cast<IGraphics*>(plug->GetGUI());
        ASSERT_NE(gui, nullptr);
        gui->SetScale(std::atof(c.scale));
        IRECT all(0, 0, gui->Width(), gui->Height());
        gui->Draw(&all);
        ASSERT_EQ(gui->GetBackBuffer()->getWidth(), shot->getWidth());
        int differing = 0;
        for (int y = 0; y < shot->getHeight(); ++y)
            for (int x = 0; x < shot->getWidth(); ++x)
                differing += (LICE_GetPixel(shot.get(), x, y) & 0xFFFFFF) !=
                             (LICE_GetPixel(gui->GetBackBuffer(), x, y) & 0xFFFFFF);
        EXPECT_EQ(differing, 0) << c.scale;
    }
    Folder dir;
    const std::string bad = kHost + " editor --component " + kBundle + " --scale 5 --snapshot " +
                            (dir.path / "x.png").string() + " >/dev/null 2>&1";
    EXPECT_NE(RunCommand(bad), 0);
    EXPECT_FALSE(fs::exists(dir.path / "x.png"));
}

// The zoom a user chose in an editor is kept for the next editor the user opens, not for
// snapshots: they stay the editor at the scale asked for, whatever this user's settings hold.
TEST(EditorSnapshot, AZoomTheUserChoseChangesNoSnapshot) {
    std::string why;
    if (!StartXvfb(&why)) GTEST_SKIP() << why;
    Folder dir;
    const fs::path settings = dir.path / "config" / "Quillmoor" / "Zerub.conf";
    fs::create_directories(settings.parent_path());
    std::ofstream(settings) << "zoom=150\n";
    const struct {
        const char* scale;
        int w, h;
    } cases[] = {{"1", 333, 511}, {"2", 666, 1022}};
    for (const auto& c : cases) {
        const fs::path png = dir.path / "editor.png";
        const std::string command = "XDG_CONFIG_HOME=" + (dir.path / "config").string() + " " +
                                    kHost + " editor --component " + kBundle + " --scale " +
                                    c.scale + " --snapshot " + png.string() + " >/dev/null 2>&1";
        ASSERT_EQ(RunCommand(command), 0) << c.scale;
        std::unique_ptr<LICE_IBitmap> shot(LICE_LoadPNG(png.c_str()));
        ASSERT_NE(shot, nullptr);
        EXPECT_EQ(shot->getWidth(), c.w) << c.scale;
        EXPECT_EQ(shot->getHeight(), c.h) << c.scale;
    }
    EXPECT_EQ(ReadAll(settings), "zoom=150\n");
}

TEST(EditorSnapshot, WithoutADisplayOneLineAndNoFile) {
    Folder dir;
    const fs::path png = dir.path / "editor.png";
    const std::string command = "env -u DISPLAY " + kHost + " editor --component " + kBundle +
                                " --snapshot " + png.string() + " >" + (dir.path / "out").string() +
                                " 2>" + (dir.path / "err").string();
    EXPECT_EQ(RunCommand(command), 1);
    EXPECT_EQ(ReadAll(dir.path / "out"), "");
    EXPECT_EQ(ReadAll(dir.path / "err"), "zerub-host: editor: no display to open a window on (set "
                                         "DISPLAY, or run under xvfb-run)\n");
    EXPECT_FALSE(fs::exists(png));
}
