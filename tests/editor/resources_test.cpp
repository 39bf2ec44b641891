// Image and font resources: name resolution, bundle and folder lookup, the process-wide caches,
// derived images, and records without an image.
#include "EditorTestSupport.h"
#include "editor/IControls.h"
#include "editor/IGraphicsResources.h"

#include <gtest/gtest.h>

#include <CoreFoundation/CoreFoundation.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

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

TEST_F(Resources, AnImageHeldTwiceSurvivesOneRelease) {
    IBitmap level = gui.LoadIBitmap(kRetainId, "resources/img/LEVEL.png", 31);
    ASSERT_NE(level.image, nullptr);
    const int before = BitmapCache().NEntries();
    gui.RetainBitmap(&level); // a second entry for the same image
    EXPECT_EQ(BitmapCache().NEntries(), before + 1);
    gui.ReleaseBitmap(&level); // drops the first entry only
    EXPECT_EQ(BitmapCache().NEntries(), before);
    EXPECT_EQ(level.image->getHeight(), 1922); // still alive (ASan would see a freed image)
    gui.ReleaseBitmap(&level);                 // the last holder: destroyed now
    EXPECT_EQ(BitmapCache().NEntries(), before - 1);
    IBitmap again = gui.LoadIBitmap(kRetainId, "resources/img/LEVEL.png", 31); // decoded again
    ASSERT_NE(again.image, nullptr);
    EXPECT_EQ(again.height, 1922);
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

} // namespace
