// The user's zoom: its steps and limits over the host's scale, the settings file that remembers
// it (round trip, and every kind of file that must read as 100 %), and the quality switch's
// routing through the plug-in.
#include "EditorTestSupport.h"
#include "editor/IQualitySwitch.h"
#include "editor/UserZoom.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Spit(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A fresh XDG_CONFIG_HOME for each test, removed afterwards.
struct ConfigHome : ::testing::Test {
    std::string dir;
    std::string saved;
    bool hadSaved = false;
    void SetUp() override {
        char name[] = "/tmp/zerub-zoom-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir = name;
        if (const char* old = std::getenv("XDG_CONFIG_HOME")) {
            saved = old;
            hadSaved = true;
        }
        setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    }
    void TearDown() override {
        if (hadSaved)
            setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
        std::system(("rm -rf '" + dir + "'").c_str());
    }
};

TEST(UserZoomSteps, StepUpAndDownThroughTheFiveStepsAndStopAtTheEnds) {
    std::vector<int> up{100};
    for (int i = 0; i < 6; ++i)
        up.push_back(NextUserZoomStep(up.back(), 1));
    EXPECT_EQ(up, (std::vector<int>{100, 125, 150, 175, 200, 200, 200}));
    std::vector<int> down{200};
    for (int i = 0; i < 6; ++i)
        down.push_back(NextUserZoomStep(down.back(), -1));
    EXPECT_EQ(down, (std::vector<int>{200, 175, 150, 125, 100, 100, 100}));
    // A value between steps goes from the nearest one.
    EXPECT_EQ(NextUserZoomStep(130, 0), 125);
    EXPECT_EQ(NextUserZoomStep(140, 1), 175);
    EXPECT_EQ(NextUserZoomStep(-50, 0), 100);
    EXPECT_EQ(NextUserZoomStep(100000, 0), 200);
    EXPECT_FALSE(IsUserZoomStep(110));
    EXPECT_TRUE(IsUserZoomStep(175));
}

TEST(UserZoomSteps, TheProductWithTheHostScaleStaysWithinOneToFour) {
    EXPECT_DOUBLE_EQ(ZoomedScale(1.0, 125, 1.0, 4.0), 1.25);
    EXPECT_DOUBLE_EQ(ZoomedScale(1.5, 150, 1.0, 4.0), 2.25);
    EXPECT_DOUBLE_EQ(ZoomedScale(3.0, 200, 1.0, 4.0), 4.0);
    EXPECT_DOUBLE_EQ(ZoomedScale(0.5, 125, 1.0, 4.0), 1.0);
    EXPECT_DOUBLE_EQ(ZoomedScale(std::nan(""), 200, 1.0, 4.0), 2.0);
    EXPECT_DOUBLE_EQ(ZoomedScale(-2.0, 150, 1.0, 4.0), 1.5);
}

struct ZoomEditor : ConfigHome {
    EditorTestPlug plug{1};
    RecordingGraphics* gui = nullptr;
    void SetUp() override {
        ConfigHome::SetUp();
        gui = new RecordingGraphics(&plug, 100, 50, 0);
        plug.AttachGraphics(gui);
    }
    std::string File() const { return dir + "/Maker/Test.conf"; }
};

TEST_F(ZoomEditor, TheZoomMultipliesTheHostScaleAndSurvivesANewHostScale) {
    EXPECT_TRUE(gui->SetUserZoom(150));
    EXPECT_DOUBLE_EQ(gui->GetScale(), 1.5);
    EXPECT_EQ(gui->DeviceWidth(), 150);
    gui->SetScale(2.0); // the host's
    EXPECT_DOUBLE_EQ(gui->GetHostScale(), 2.0);
    EXPECT_DOUBLE_EQ(gui->GetScale(), 3.0);
    EXPECT_EQ(gui->DeviceHeight(), 150);
    EXPECT_TRUE(gui->SetUserZoom(200));
    EXPECT_DOUBLE_EQ(gui->GetScale(), 4.0);
    gui->SetScale(3.0);
    EXPECT_DOUBLE_EQ(gui->GetScale(), 4.0);
    EXPECT_FALSE(gui->SetUserZoom(175)); // 3 x 1.75 is beyond 4 too
    EXPECT_EQ(gui->GetUserZoom(), 175);
    EXPECT_TRUE(gui->SetUserZoom(100));
    EXPECT_DOUBLE_EQ(gui->GetScale(), 3.0);
}

// A host's preferred size (the Audio Unit view factory's) is the view's: the zoom is inside it,
// so a host that asks again with the size it was given gets the same view.
TEST_F(ZoomEditor, APreferredSizeIsTheViewsWithTheZoomInside) {
    gui->SetUserZoom(150);
    gui->SetPreferredSize(gui->DeviceWidth() * 2, gui->DeviceHeight() * 2); // 300 x 150
    EXPECT_DOUBLE_EQ(gui->GetScale(), 3.0);
    EXPECT_DOUBLE_EQ(gui->GetHostScale(), 2.0);
    gui->SetPreferredSize(gui->DeviceWidth(), gui->DeviceHeight());
    EXPECT_DOUBLE_EQ(gui->GetScale(), 3.0);
    // Smaller than the zoom alone makes it: the host's factor stops at 1.
    gui->SetPreferredSize(100, 50);
    EXPECT_DOUBLE_EQ(gui->GetHostScale(), 1.0);
    EXPECT_DOUBLE_EQ(gui->GetScale(), 1.5);
    gui->SetUserZoom(100);
    gui->SetPreferredSize(250, 125);
    EXPECT_DOUBLE_EQ(gui->GetScale(), 2.5);
}

TEST_F(ZoomEditor, StepsAreWrittenOnlyOnceRememberedAndANewEditorReadsThem) {
    EXPECT_TRUE(gui->StepUserZoom(1));
    EXPECT_DOUBLE_EQ(gui->GetScale(), 1.25);
    EXPECT_NE(access(File().c_str(), F_OK), 0) << "written without RememberUserZoom";

    gui->RememberUserZoom(); // nothing on file: back to 100 %
    EXPECT_EQ(gui->GetUserZoom(), 100);
    EXPECT_TRUE(gui->StepUserZoom(1));
    EXPECT_TRUE(gui->StepUserZoom(1));
    EXPECT_EQ(Slurp(File()), "zoom=150\n");
    EXPECT_FALSE(gui->StepUserZoom(0) && gui->StepUserZoom(0)); // 100, then no change
    EXPECT_EQ(Slurp(File()), "zoom=100\n");
    gui->StepUserZoom(1);

    EditorTestPlug other{1};
    auto* next = new RecordingGraphics(&other, 100, 50, 0);
    other.AttachGraphics(next);
    next->RememberUserZoom();
    EXPECT_EQ(next->GetUserZoom(), 125);
    EXPECT_EQ(next->DeviceWidth(), 125);
    // No temporary is left beside the file.
    EXPECT_EQ(Slurp(File()), "zoom=125\n");
    EXPECT_EQ(std::system(("test $(ls -A '" + dir + "/Maker' | wc -l) -eq 1").c_str()), 0);
}

TEST_F(ConfigHome, TheSettingsFileRoundTripsAndAnythingElseReadsAsOneHundred) {
    const std::string path = UserSettingsPath("Quill/moor", "Zerub");
    EXPECT_EQ(path, dir + "/Quill_moor/Zerub.conf");
    EXPECT_EQ(ReadUserZoom(path), 100); // missing
    for (int step : kUserZoomSteps) {
        ASSERT_TRUE(WriteUserZoom(path, step));
        EXPECT_EQ(ReadUserZoom(path), step);
    }
    EXPECT_FALSE(WriteUserZoom(path, 130)); // no step: the file keeps its value
    EXPECT_EQ(ReadUserZoom(path), 200);

    const std::pair<std::string, int> files[] = {
        {"zoom=175\n", 175},
        {"# mine\nother=3\r\nzoom=150 \n", 150},
        {"zoom=150", 150}, // no final newline
        {"", 100},
        {"zoom=\n", 100},
        {"zoom=abc\n", 100},
        {"zoom=125abc\n", 100},
        {"zoom=130\n", 100},
        {"zoom=99999999999999999999\n", 100},
        {"zoom=-125\n", 100},
        {std::string("zoom=1\0"
                     "25\n",
                     10),
         100},
        {"\xff\xfe\x00garbage", 100},
        {"zoom=150\nzoom=junk\n", 100}, // the last word counts
    };
    for (const auto& [text, zoom] : files) {
        Spit(path, text);
        EXPECT_EQ(ReadUserZoom(path), zoom) << text;
    }
    // A huge file is not read at all, whatever it starts with.
    Spit(path, "zoom=150\n" + std::string(size_t(kMaxUserSettingsBytes), '#'));
    EXPECT_EQ(ReadUserZoom(path), 100);
    // A folder, a FIFO (never waited on) and an empty path.
    std::remove(path.c_str());
    ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
    EXPECT_EQ(ReadUserZoom(path), 100);
    rmdir(path.c_str());
    ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
    EXPECT_EQ(ReadUserZoom(path), 100);
    EXPECT_TRUE(WriteUserZoom(path, 125)); // replaced by a file
    EXPECT_EQ(ReadUserZoom(path), 125);
    EXPECT_EQ(ReadUserZoom(""), 100);
}

// Failures that hold even for root: a folder on the way that is a file, and a target that is a
// folder with something in it. Each answers false and leaves no temporary behind.
TEST_F(ConfigHome, AWriteThatCannotBeDoneFailsAndLeavesNothingBehind) {
    Spit(dir + "/Maker", "a file where the folder would go");
    EXPECT_FALSE(WriteUserZoom(dir + "/Maker/Test.conf", 150));
    EXPECT_EQ(Slurp(dir + "/Maker"), "a file where the folder would go");

    const std::string path = dir + "/Other/Test.conf";
    ASSERT_TRUE(WriteUserZoom(path, 150));
    std::remove(path.c_str());
    ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
    Spit(path + "/keep", "x");
    EXPECT_FALSE(WriteUserZoom(path, 175));
    EXPECT_EQ(Slurp(path + "/keep"), "x");
    EXPECT_EQ(std::system(("test $(ls -A '" + dir + "/Other' | wc -l) -eq 1").c_str()), 0)
        << "a temporary was left beside the settings file";
}

TEST_F(ConfigHome, WithoutAnAbsoluteConfigFolderHomeIsUsedAndWithNeitherNothingIsWritten) {
    setenv("XDG_CONFIG_HOME", "relative/dir", 1);
    const char* home = std::getenv("HOME");
    const std::string oldHome = home ? home : "";
    setenv("HOME", dir.c_str(), 1);
    EXPECT_EQ(UserSettingsPath("Maker", "Test"), dir + "/.config/Maker/Test.conf");
    unsetenv("HOME");
    EXPECT_EQ(UserSettingsPath("Maker", "Test"), "");
    EXPECT_FALSE(WriteUserZoom("", 125));
    if (!oldHome.empty()) setenv("HOME", oldHome.c_str(), 1);
}

// A plug-in with two qualities, as the wrappers see one.
class QualityPlug : public EditorTestPlug {
public:
    QualityPlug() : EditorTestPlug(1) {}
    bool SetQuality(int q) override {
        if (q < 0 || q > 1) return false;
        quality = q;
        return true;
    }
    int GetQuality() const override { return quality; }
    int NQualities() const override { return 2; }
    void SetQualityFromGUI(int q) override {
        asked.push_back(q);
        if (answer) IPlugBase::SetQualityFromGUI(q);
    }
    int quality = 0;
    bool answer = true; // false: the plug-in takes no notice
    std::vector<int> asked;
};

TEST(QualitySwitch, APressAsksThePlugInAndTheSwitchShowsOnlyWhatThePlugInReports) {
    QualityPlug plug;
    plug.quality = 1; // before the editor: AttachGraphics tells it
    auto* gui = new RecordingGraphics(&plug, 40, 40, 0);
    auto* strip = MakeCodedStrip(10, 20); // two 10 x 10 frames
    IBitmap bitmap(strip, 10, 20, 2);
    auto* sw = new IQualitySwitchControl(&plug, 5, 5, &bitmap);
    gui->AttachControl(sw);
    plug.AttachGraphics(gui);
    EXPECT_EQ(gui->GetQuality(), 1);
    auto drawnRow = [&] {
        IRECT r;
        while (gui->IsDirty(&r))
            gui->Draw(&r);
        return (LICE_GetPixel(gui->GetBackBuffer(), 5, 5) >> 8) & 0xff; // source row
    };
    EXPECT_EQ(drawnRow(), 10u); // frame 2

    IMouseMod left(true);
    gui->OnMouseDown(8, 8, &left);
    gui->OnMouseUp(8, 8, &left);
    EXPECT_EQ(plug.asked, std::vector<int>{0});
    EXPECT_EQ(plug.quality, 0);
    EXPECT_EQ(drawnRow(), 0u);
    EXPECT_TRUE(plug.gestures.empty()); // a setting, not a parameter

    plug.answer = false; // a host that refuses: the switch keeps showing what is in force
    gui->OnMouseDown(8, 8, &left);
    gui->OnMouseUp(8, 8, &left);
    EXPECT_EQ(plug.asked, (std::vector<int>{0, 1}));
    EXPECT_EQ(drawnRow(), 0u);

    plug.ChangeQuality(1); // from the host
    EXPECT_EQ(drawnRow(), 10u);
    EXPECT_FALSE(plug.ChangeQuality(7));
    EXPECT_EQ(gui->GetQuality(), 1);
    delete strip;
}

} // namespace
