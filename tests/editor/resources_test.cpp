// Image and font resources: name resolution, bundle and folder lookup, the process-wide caches,
// derived images, and records without an image.
#include "EditorTestSupport.h"
#include "editor/IControls.h"
#include "editor/IGraphicsResources.h"

#include <gtest/gtest.h>

#include <CoreFoundation/CoreFoundation.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace {

const char* const kImgDir = ZERUB_SOURCE_DIR "/resources/img";

// Ids below are this suite's own: the cache is keyed by id for the whole process.
enum { kGainId = 7102, kLevelId = 7103, kMissingId = 7999, kRetainId = 7104 };

std::string BaseName(const char* name) {
    char out[64];
    return ImageResourceBaseName(name, out, sizeof(out)) ? std::string(out) : std::string("<no>");
}

TEST(ResourceNames, OnlyPngByBaseNameWhateverTheCase) {
    EXPECT_EQ(BaseName("resources/img/GAIN.png"), "GAIN");
    EXPECT_EQ(BaseName("KNOB.PNG"), "KNOB");
    EXPECT_EQ(BaseName("a/b.c/knob.Png"), "knob");
    EXPECT_EQ(BaseName("photo.jpg"), "<no>");
    EXPECT_EQ(BaseName("png"), "png"); // no dot: the whole name is the extension
    EXPECT_EQ(BaseName("image"), "<no>");
    EXPECT_EQ(BaseName(nullptr), "<no>");
    EXPECT_EQ(BaseName(".png"), "<no>"); // nothing left to look up
    char tiny[4];
    EXPECT_FALSE(ImageResourceBaseName("toolong.png", tiny, sizeof(tiny)));
}

struct Resources : ::testing::Test {
    EditorTestPlug plug{1};
    IGraphicsHeadless gui{&plug, 100, 100, 0};
    void SetUp() override { gui.SetResourceDir(kImgDir); }
};

TEST_F(Resources, LoadsOncePerIdAndSharesTheImageBetweenEditors) {
    const int before = BitmapCache().NEntries();
    IBitmap a = gui.LoadIBitmap(kGainId, "resources/img/GAIN.png", 31);
    ASSERT_NE(a.image, nullptr);
    EXPECT_EQ(a.width, 62);
    EXPECT_EQ(a.height, 1922);
    EXPECT_EQ(a.FrameWidth(), 62);
    EXPECT_EQ(a.FrameHeight(), 62);

    IGraphicsHeadless other(&plug, 10, 10, 0);
    other.SetResourceDir(kImgDir);
    IBitmap b = other.LoadIBitmap(kGainId, "resources/img/LEVEL.png", 31); // keyed by id alone
    EXPECT_EQ(b.image, a.image);
    EXPECT_EQ(BitmapCache().NEntries(), before + 1);

    IBitmap sideBySide(a.image, 1922, 62, 31, true);
    EXPECT_EQ(sideBySide.FrameWidth(), 62);
    EXPECT_EQ(sideBySide.FrameHeight(), 62);
}

TEST_F(Resources, AMissingResourceGivesARecordWithoutAnImageThatDrawsNothing) {
    IBitmap missing = gui.LoadIBitmap(kMissingId, "resources/img/NOPE.png", 31);
    EXPECT_EQ(missing.image, nullptr);
    EXPECT_EQ(missing.width, 0);
    EXPECT_EQ(missing.height, 0);
    EXPECT_EQ(gui.OSLoadBitmap(kMissingId, "resources/img/GAIN.jpg"), nullptr);

    auto* editor = new IGraphicsHeadless(&plug, 40, 40, 0);
    IColor red = COLOR_RED;
    editor->AttachPanelBackground(&red);
    editor->AttachControl(new IKnobMultiControl(&plug, 0, 0, 0, &missing));
    editor->AttachControl(new IBitmapControl(&plug, 0, 0, -1, &missing));
    plug.AttachGraphics(editor);
    IRECT all(0, 0, 40, 40);
    EXPECT_TRUE(editor->Draw(&all));
    EXPECT_EQ(LICE_GetPixel(editor->GetBackBuffer(), 0, 0), 0xFFFF0000u);
}

TEST_F(Resources, ImagesAreFoundInTheBundleWithTheEditorsIdentifier) {
    namespace fs = std::filesystem;
    const fs::path root =
        fs::temp_directory_path() / ("zerub-editor-bundle-" + std::to_string(::getpid()));
    const fs::path contents = root / "Test.component" / "Contents";
    fs::create_directories(contents / "Resources");
    std::ofstream(contents / "Info.plist")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
           "<key>CFBundleIdentifier</key><string>com.zerub.test.editor</string></dict></plist>\n";
    fs::copy_file(fs::path(kImgDir) / "BYPASS.png", contents / "Resources" / "SWITCH.png");

    const std::string bundlePath = (root / "Test.component").string();
    CFURLRef url = CFURLCreateFromFileSystemRepresentation(
        nullptr, reinterpret_cast<const UInt8*>(bundlePath.c_str()), CFIndex(bundlePath.size()),
        true);
    ASSERT_NE(CFBundleCreate(nullptr, url), nullptr);
    CFRelease(url);

    LICE_IBitmap* img = LoadImgFromResourceOSX("com.zerub.test.editor", "resources/img/SWITCH.png");
    ASSERT_NE(img, nullptr);
    EXPECT_EQ(img->getWidth(), 206);
    EXPECT_EQ(img->getHeight(), 60);
    delete img;
    EXPECT_EQ(LoadImgFromResourceOSX("com.zerub.test.editor", "GAIN.png"), nullptr);
    EXPECT_EQ(LoadImgFromResourceOSX("com.zerub.test.nobody", "SWITCH.png"), nullptr);

    IGraphicsHeadless bundled(&plug, 10, 10, 0);
    bundled.SetResourceDir("");
    bundled.SetBundleID("com.zerub.test.editor");
    LICE_IBitmap* viaEditor = bundled.OSLoadBitmap(1, "SWITCH.png");
    EXPECT_NE(viaEditor, nullptr);
    delete viaEditor;
    fs::remove_all(root);
}

TEST_F(Resources, ScaledAndCroppedImagesAreVerticalAndOwnedByTheCache) {
    std::unique_ptr<LICE_MemBitmap> strip(MakeCodedStrip(40, 10));
    IBitmap horizontal(strip.get(), 40, 10, 4, true);
    const int before = BitmapCache().NEntries();
    IBitmap scaled = gui.ScaleBitmap(&horizontal, 20, 5);
    ASSERT_NE(scaled.image, nullptr);
    EXPECT_EQ(scaled.width, 20);
    EXPECT_EQ(scaled.height, 5);
    EXPECT_EQ(scaled.frameCount, 4);
    EXPECT_FALSE(scaled.framesHorizontal);

    IRECT r(10, 2, 30, 6);
    IBitmap cropped = gui.CropBitmap(&horizontal, &r);
    ASSERT_NE(cropped.image, nullptr);
    EXPECT_EQ(cropped.width, 20);
    EXPECT_EQ(cropped.height, 4);
    EXPECT_FALSE(cropped.framesHorizontal);
    EXPECT_EQ(LICE_GetPixel(cropped.image, 0, 0), LICE_GetPixel(strip.get(), 10, 2));
    EXPECT_EQ(LICE_GetPixel(cropped.image, 19, 3), LICE_GetPixel(strip.get(), 29, 5));
    EXPECT_EQ(BitmapCache().NEntries(), before + 2);

    gui.ReleaseBitmap(&cropped); // destroyed now
    EXPECT_EQ(BitmapCache().NEntries(), before + 1);
    gui.ReleaseBitmap(&cropped); // no longer held: nothing
    EXPECT_EQ(BitmapCache().NEntries(), before + 1);
}

TEST_F(Resources, AnImageHeldTwiceSurvivesOneReleaseAndASharedOneEveryRelease) {
    std::unique_ptr<LICE_MemBitmap> own(MakeCodedStrip(4, 4));
    IBitmap mine(own.get(), 4, 4, 1);
    const int start = BitmapCache().NEntries();
    gui.RetainBitmap(&mine);
    gui.RetainBitmap(&mine); // a second entry for the same image
    gui.ReleaseBitmap(&mine);
    EXPECT_EQ(BitmapCache().NEntries(), start + 1);
    EXPECT_EQ(LICE_GetPixel(own.get(), 3, 3), 0xFF000303u); // still alive (ASan would tell)
    gui.ReleaseBitmap(&mine);                               // the last holder: destroyed now
    own.release();
    EXPECT_EQ(BitmapCache().NEntries(), start);

    // An image loaded by id may be held by any editor of the process: a release leaves it.
    IBitmap level = gui.LoadIBitmap(kRetainId, "resources/img/LEVEL.png", 31);
    ASSERT_NE(level.image, nullptr);
    const int before = BitmapCache().NEntries();
    gui.RetainBitmap(&level);
    EXPECT_EQ(BitmapCache().NEntries(), before + 1);
    gui.ReleaseBitmap(&level); // drops the retained entry
    gui.ReleaseBitmap(&level); // the shared entry stays
    EXPECT_EQ(BitmapCache().NEntries(), before);
    EXPECT_EQ(level.image->getHeight(), 1922);
    EXPECT_EQ(gui.LoadIBitmap(kRetainId, "resources/img/LEVEL.png", 31).image, level.image);
}

TEST_F(Resources, StylesDifferingOnlyInColourShareOneFont) {
    IText a(12, &COLOR_RED, "DejaVu Sans");
    IText b(12, &COLOR_BLUE, "DejaVu Sans");
    b.align = IText::kAlignFar;
    IText c(13, &COLOR_RED, "DejaVu Sans");
    const int before = FontCache().NEntries();
    LICE_IFont* fa = gui.CacheFont(&a);
    ASSERT_NE(fa, nullptr);
    EXPECT_EQ(a.cachedFont, fa);
    EXPECT_EQ(gui.CacheFont(&b), fa);
    EXPECT_EQ(FontCache().NEntries(), before + 1);
    LICE_IFont* fc = gui.CacheFont(&c);
    EXPECT_NE(fc, fa);
    EXPECT_EQ(FontCache().NEntries(), before + 2);

    IText tiny(1, nullptr, "DejaVu Sans"); // asks for at least 2 pixels
    EXPECT_NE(gui.CacheFont(&tiny), nullptr);
    IText lower(12, &COLOR_RED, "dejavu sans"); // names compare case-sensitively
    EXPECT_NE(gui.CacheFont(&lower), fa);
}

// ---- Two threads on the caches -------------------------------------------------------------

// An image whose destruction is visible afterwards: while parking is on, its memory is kept
// rather than freed, so a thread still holding the pointer can read the flag without touching
// freed memory (and without ASan's help).
std::atomic<bool> g_parking{false};
std::mutex g_parkedMutex;
std::vector<void*> g_parked;

struct TrackedImage : LICE_MemBitmap {
    TrackedImage() : LICE_MemBitmap(2, 2, 4) {}
    ~TrackedImage() override { alive.store(false); }
    static void* operator new(size_t n) { return ::operator new(n); }
    static void operator delete(void* p) {
        if (g_parking.load()) {
            std::lock_guard<std::mutex> lock(g_parkedMutex);
            g_parked.push_back(p);
        } else {
            ::operator delete(p);
        }
    }
    std::atomic<bool> alive{true};
};

struct TrackingGraphics : IGraphicsHeadless {
    using IGraphicsHeadless::IGraphicsHeadless;
    LICE_IBitmap* OSLoadBitmap(int, const char*) override {
        ++made;
        return new TrackedImage;
    }
    std::atomic<int> made{0};
};

// Both threads wait here until the other arrives, so each round really runs at once.
class Rendezvous {
public:
    void Meet() {
        const int round = mRound.load();
        if (mArrived.fetch_add(1) == 1) {
            mArrived.store(0);
            mRound.fetch_add(1);
            return;
        }
        while (mRound.load() == round)
            std::this_thread::yield();
    }

private:
    std::atomic<int> mArrived{0}, mRound{0};
};

// Each round both threads load the shared image at once (the find-or-decode race), then one draws
// from it while the other releases what it loaded and a scaled copy of its own, then the first
// checks that the image it held all along was not destroyed.
TEST(CacheRaces, AnImageFoundByIdIsNeverFreedUnderTheEditorHoldingIt) {
    constexpr int kRounds = 5000;
    constexpr int kRaceId = 7201;
    EditorTestPlug plug(1);
    TrackingGraphics drawing(&plug, 10, 10, 0), releasing(&plug, 10, 10, 0);
    g_parking = true;
    int freedUnderHolder = 0;
    std::set<LICE_IBitmap*> seen;
    Rendezvous meet;
    const int start = BitmapCache().NEntries();

    std::thread holder([&] {
        for (int i = 0; i < kRounds; ++i) {
            meet.Meet();
            IBitmap b = drawing.LoadIBitmap(kRaceId, "race.png");
            auto* image = static_cast<TrackedImage*>(b.image);
            seen.insert(image);
            meet.Meet();
            volatile int sum = 0; // drawing from the image while the other thread releases
            for (int k = 0; image && k < 200; ++k)
                sum = sum + image->getWidth();
            meet.Meet();
            if (!image || !image->alive) ++freedUnderHolder;
        }
    });
    std::thread other([&] {
        for (int i = 0; i < kRounds; ++i) {
            meet.Meet();
            IBitmap b = releasing.LoadIBitmap(kRaceId, "race.png");
            meet.Meet();
            releasing.ReleaseBitmap(&b);
            IBitmap scaled = releasing.ScaleBitmap(&b, 1, 1); // its own: destroyed on release
            releasing.ReleaseBitmap(&scaled);
            meet.Meet();
        }
    });
    holder.join();
    other.join();
    g_parking = false;
    {
        std::lock_guard<std::mutex> lock(g_parkedMutex);
        for (void* p : g_parked)
            ::operator delete(p);
        g_parked.clear();
    }
    EXPECT_EQ(freedUnderHolder, 0);
    EXPECT_EQ(seen.size(), 1u);                     // one shared image throughout
    EXPECT_EQ(BitmapCache().NEntries(), start + 1); // and nothing left over
    EXPECT_LE(drawing.made + releasing.made, 2);    // decoded at most once per thread
}

TEST(CacheRaces, TwoThreadsAskingForOneStyleGetTheSameCachedFont) {
    constexpr int kStyles = 150;
    EditorTestPlug plug(1);
    IGraphicsHeadless a(&plug, 10, 10, 0), b(&plug, 10, 10, 0);
    std::vector<LICE_IFont*> fontsA(kStyles), fontsB(kStyles);
    Rendezvous meet;
    const int start = FontCache().NEntries();
    auto run = [&](IGraphics* gui, std::vector<LICE_IFont*>* out) {
        for (int i = 0; i < kStyles; ++i) {
            IText style(40 + i, &COLOR_BLACK, "DejaVu Sans"); // sizes no other test asks for
            style.orientation = 7;
            meet.Meet();
            (*out)[size_t(i)] = gui->CacheFont(&style);
        }
    };
    std::thread ta(run, &a, &fontsA), tb(run, &b, &fontsB);
    ta.join();
    tb.join();
    int differing = 0;
    for (int i = 0; i < kStyles; ++i) {
        ASSERT_NE(fontsA[size_t(i)], nullptr);
        IText style(40 + i, &COLOR_BLACK, "DejaVu Sans");
        style.orientation = 7;
        EXPECT_EQ(FontCache().Find(&style), fontsA[size_t(i)]);
        if (fontsA[size_t(i)] != fontsB[size_t(i)]) ++differing;
    }
    EXPECT_EQ(differing, 0);
    EXPECT_EQ(FontCache().NEntries(), start + kStyles);
}

// Out of memory while the font cache grows: the font that could not be kept is not handed out.
int g_reallocCalls = 0;
void* FailingRealloc(void*, size_t) {
    ++g_reallocCalls;
    return nullptr;
}

TEST_F(Resources, AFontTheCacheCouldNotKeepIsNotHandedOut) {
    bool sawFailure = false;
    WDL_HeapBuf::SetReallocForTesting(FailingRealloc);
    for (int i = 0; i < 400 && !sawFailure; ++i) {
        IText style(9, &COLOR_BLACK, "DejaVu Sans");
        style.orientation = 1000 + i; // a new key each time
        const int before = FontCache().NEntries();
        g_reallocCalls = 0;
        LICE_IFont* font = gui.CacheFont(&style);
        if (FontCache().NEntries() == before) {
            sawFailure = true;
            EXPECT_EQ(g_reallocCalls, 1); // the list's growth, nothing else
            EXPECT_EQ(font, nullptr);
            EXPECT_EQ(style.cachedFont, nullptr);
        } else {
            EXPECT_EQ(FontCache().Find(&style), font);
        }
    }
    WDL_HeapBuf::SetReallocForTesting(nullptr);
    EXPECT_TRUE(sawFailure);
    IText style(9, &COLOR_BLACK, "DejaVu Sans");
    style.orientation = 999; // with memory again, the next style is cached
    EXPECT_NE(gui.CacheFont(&style), nullptr);
    EXPECT_EQ(FontCache().Find(&style), style.cachedFont);
}

} // namespace
