// PNG decoding: every colour type and bit depth, transparency, straight alpha, and damaged or
// truncated input (null, nothing leaked: the sanitizer build checks the leaks).
#include "raster/lice.h"
#include "tests/raster/raster_test_util.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

using rtest::pixelAt;

struct Image {
    int w = 5, h = 3, depth = 8, type = PNG_COLOR_TYPE_RGB;
    bool interlace = false;
    std::vector<int> samples; // per pixel, channels in PNG order, full sample range
    std::vector<png_color> palette;
    std::vector<unsigned char> trnsAlpha; // palette transparency
    bool trnsColour = false;
    png_color_16 trns{};
};

int channels(int type) {
    switch (type) {
    case PNG_COLOR_TYPE_GRAY:
        return 1;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        return 2;
    case PNG_COLOR_TYPE_RGB:
        return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA:
        return 4;
    default:
        return 1; // palette index
    }
}

void writeToVector(png_structp png, png_bytep data, png_size_t n) {
    auto* out = (std::vector<unsigned char>*)png_get_io_ptr(png);
    out->insert(out->end(), data, data + n);
}

// Encodes with libpng's writer; rows are packed by hand, most significant sample first.
std::vector<unsigned char> encode(const Image& im) {
    std::vector<unsigned char> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &out, writeToVector, nullptr);
    png_set_IHDR(png, info, im.w, im.h, im.depth, im.type,
                 im.interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!im.palette.empty()) png_set_PLTE(png, info, im.palette.data(), (int)im.palette.size());
    if (!im.trnsAlpha.empty())
        png_set_tRNS(png, info, im.trnsAlpha.data(), (int)im.trnsAlpha.size(), nullptr);
    if (im.trnsColour) png_set_tRNS(png, info, nullptr, 0, (png_color_16p)&im.trns);
    png_write_info(png, info);
    const int ch = channels(im.type);
    const size_t rowBytes = ((size_t)im.w * ch * im.depth + 7) / 8;
    std::vector<std::vector<unsigned char>> rows(im.h, std::vector<unsigned char>(rowBytes));
    std::vector<png_bytep> ptrs;
    for (int y = 0; y < im.h; ++y) {
        unsigned char* r = rows[y].data();
        for (int i = 0; i < im.w * ch; ++i) {
            const int v = im.samples[(size_t)y * im.w * ch + i];
            if (im.depth == 16) {
                r[i * 2] = (unsigned char)(v >> 8), r[i * 2 + 1] = (unsigned char)v;
            } else if (im.depth == 8) {
                r[i] = (unsigned char)v;
            } else {
                const int bit = i * im.depth;
                r[bit / 8] |= (unsigned char)(v << (8 - im.depth - bit % 8));
            }
        }
        ptrs.push_back(r);
    }
    png_write_image(png, ptrs.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

// Deterministic samples in 0..maxv.
std::vector<int> samplesFor(const Image& im, int maxv, unsigned int seed) {
    rtest::Rng rng(seed);
    std::vector<int> s((size_t)im.w * im.h * channels(im.type));
    for (int& v : s)
        v = (int)(rng.next() % (unsigned)(maxv + 1));
    return s;
}

std::unique_ptr<LICE_IBitmap> decode(const std::vector<unsigned char>& png) {
    return std::unique_ptr<LICE_IBitmap>(LICE_LoadPNGFromMemory(png.data(), (int)png.size()));
}

// Expands an n-bit sample to 8 bits by replicating its bits, as the PNG rules do.
int to8(int v, int depth) {
    if (depth == 16) return v >> 8; // stripped to the high byte
    if (depth == 8) return v;
    return v * 255 / ((1 << depth) - 1);
}

TEST(LoadPNG, GreyAtEveryDepth) {
    for (int depth : {1, 2, 4, 8, 16}) {
        Image im;
        im.type = PNG_COLOR_TYPE_GRAY, im.depth = depth, im.w = 7;
        im.samples = samplesFor(im, (1 << depth) - 1, depth);
        auto bm = decode(encode(im));
        ASSERT_TRUE(bm) << depth;
        ASSERT_EQ(bm->getWidth(), 7);
        for (int y = 0; y < im.h; ++y)
            for (int x = 0; x < im.w; ++x) {
                const int g = to8(im.samples[y * im.w + x], depth);
                ASSERT_EQ(LICE_GetPixel(bm.get(), x, y), LICE_RGBA(g, g, g, 255))
                    << "depth " << depth << " at " << x << "," << y;
            }
    }
}

TEST(LoadPNG, ColourTypesWithAndWithoutAlpha) {
    struct Case {
        int type, depth;
    } cases[] = {{PNG_COLOR_TYPE_RGB, 8},        {PNG_COLOR_TYPE_RGB, 16},
                 {PNG_COLOR_TYPE_RGB_ALPHA, 8},  {PNG_COLOR_TYPE_RGB_ALPHA, 16},
                 {PNG_COLOR_TYPE_GRAY_ALPHA, 8}, {PNG_COLOR_TYPE_GRAY_ALPHA, 16}};
    for (const Case& c : cases) {
        for (bool interlace : {false, true}) {
            Image im;
            im.type = c.type, im.depth = c.depth, im.interlace = interlace, im.w = 9, im.h = 6;
            im.samples = samplesFor(im, c.depth == 16 ? 65535 : 255, c.type * 31 + c.depth);
            auto bm = decode(encode(im));
            ASSERT_TRUE(bm) << c.type << " " << c.depth;
            const int ch = channels(c.type);
            for (int y = 0; y < im.h; ++y)
                for (int x = 0; x < im.w; ++x) {
                    const int* s = &im.samples[(size_t)(y * im.w + x) * ch];
                    const int r = to8(s[0], c.depth);
                    const int g = ch >= 3 ? to8(s[1], c.depth) : r;
                    const int b = ch >= 3 ? to8(s[2], c.depth) : r;
                    const int a = ch == 4 ? to8(s[3], c.depth) : ch == 2 ? to8(s[1], c.depth) : 255;
                    ASSERT_EQ(LICE_GetPixel(bm.get(), x, y), LICE_RGBA(r, g, b, a))
                        << "type " << c.type << " depth " << c.depth << " at " << x << "," << y;
                }
        }
    }
}

TEST(LoadPNG, AlphaIsStraight) {
    Image im;
    im.type = PNG_COLOR_TYPE_RGB_ALPHA, im.w = 1, im.h = 1;
    im.samples = {255, 0, 0, 128};
    auto bm = decode(encode(im));
    ASSERT_TRUE(bm);
    EXPECT_EQ(LICE_GetPixel(bm.get(), 0, 0), 0x80ff0000u);
}

TEST(LoadPNG, PaletteAtEveryDepthWithTransparency) {
    for (int depth : {1, 2, 4, 8}) {
        for (bool trns : {false, true}) {
            Image im;
            im.type = PNG_COLOR_TYPE_PALETTE, im.depth = depth, im.w = 11;
            const int n = 1 << depth;
            for (int i = 0; i < n; ++i)
                im.palette.push_back({(png_byte)(i * 37), (png_byte)(255 - i), (png_byte)(i * 5)});
            if (trns)
                for (int i = 0; i < n / 2 + 1; ++i)
                    im.trnsAlpha.push_back((unsigned char)(i * 60));
            im.samples = samplesFor(im, n - 1, depth + 100);
            auto bm = decode(encode(im));
            ASSERT_TRUE(bm) << depth;
            for (int y = 0; y < im.h; ++y)
                for (int x = 0; x < im.w; ++x) {
                    const int i = im.samples[y * im.w + x];
                    const png_color& p = im.palette[i];
                    const int a = trns && i < (int)im.trnsAlpha.size() ? im.trnsAlpha[i] : 255;
                    ASSERT_EQ(LICE_GetPixel(bm.get(), x, y), LICE_RGBA(p.red, p.green, p.blue, a))
                        << "depth " << depth << " trns " << trns << " at " << x << "," << y;
                }
        }
    }
}

TEST(LoadPNG, ColourKeyTransparency) {
    Image grey;
    grey.type = PNG_COLOR_TYPE_GRAY, grey.depth = 4, grey.w = 4, grey.h = 1;
    grey.samples = {0, 5, 15, 5};
    grey.trnsColour = true, grey.trns.gray = 5;
    auto g = decode(encode(grey));
    ASSERT_TRUE(g);
    EXPECT_EQ(LICE_GetPixel(g.get(), 0, 0), 0xff000000u);
    EXPECT_EQ(LICE_GetPixel(g.get(), 1, 0), LICE_RGBA(85, 85, 85, 0));
    EXPECT_EQ(LICE_GetPixel(g.get(), 2, 0), 0xffffffffu);

    Image rgb;
    rgb.type = PNG_COLOR_TYPE_RGB, rgb.w = 2, rgb.h = 1, rgb.samples = {1, 2, 3, 4, 5, 6};
    rgb.trnsColour = true, rgb.trns.red = 4, rgb.trns.green = 5, rgb.trns.blue = 6;
    auto c = decode(encode(rgb));
    ASSERT_TRUE(c);
    EXPECT_EQ(LICE_GetPixel(c.get(), 0, 0), 0xff010203u);
    EXPECT_EQ(LICE_GetPixel(c.get(), 1, 0), 0x00040506u);
}

std::vector<unsigned char> noisyPNG() {
    Image im;
    im.type = PNG_COLOR_TYPE_RGB_ALPHA, im.w = 24, im.h = 20;
    im.samples = samplesFor(im, 255, 99);
    return encode(im);
}

TEST(LoadPNG, TruncatedOrDamagedGivesNull) {
    const std::vector<unsigned char> png = noisyPNG();
    ASSERT_GT(png.size(), 100u);
    LICE_MemBitmap target(1, 1, 4);
    // Everything short of the closing IEND chunk (the last 12 bytes) lacks image data.
    for (size_t len = 0; len + 12 < png.size(); len += 3) {
        EXPECT_EQ(LICE_LoadPNGFromMemory(png.data(), (int)len), nullptr) << len;
        EXPECT_EQ(LICE_LoadPNGFromMemory(png.data(), (int)len, &target), nullptr) << len;
    }
    // A flipped byte anywhere after the signature breaks a checksum or the stream.
    for (size_t at = 8; at + 12 < png.size(); at += 5) {
        std::vector<unsigned char> bad = png;
        bad[at] ^= 0x5a;
        std::unique_ptr<LICE_IBitmap> bm(LICE_LoadPNGFromMemory(bad.data(), (int)bad.size()));
        EXPECT_EQ(bm, nullptr) << at;
    }
    std::unique_ptr<LICE_IBitmap> ok(LICE_LoadPNGFromMemory(png.data(), (int)png.size()));
    EXPECT_TRUE(ok);
}

TEST(LoadPNG, RandomDamageNeverCrashesOrLeaks) {
    // Interlaced, palette and 16-bit streams, each hit by a few random byte changes.
    std::vector<std::vector<unsigned char>> seeds;
    Image a;
    a.type = PNG_COLOR_TYPE_RGB_ALPHA, a.depth = 16, a.interlace = true, a.w = 13, a.h = 11;
    a.samples = samplesFor(a, 65535, 5);
    seeds.push_back(encode(a));
    Image b;
    b.type = PNG_COLOR_TYPE_PALETTE, b.depth = 2, b.w = 17, b.h = 5;
    for (int i = 0; i < 4; ++i)
        b.palette.push_back({(png_byte)(i * 60), 1, 2});
    b.trnsAlpha = {0, 128};
    b.samples = samplesFor(b, 3, 6);
    seeds.push_back(encode(b));
    seeds.push_back(noisyPNG());
    rtest::Rng rng(2024);
    int decoded = 0;
    for (int iter = 0; iter < 600; ++iter) {
        std::vector<unsigned char> bad = seeds[iter % seeds.size()];
        for (int k = rng.range(1, 4); k > 0; --k)
            bad[rng.range(8, (int)bad.size() - 1)] = (unsigned char)rng.next();
        std::unique_ptr<LICE_IBitmap> bm(LICE_LoadPNGFromMemory(bad.data(), (int)bad.size()));
        if (!bm) continue;
        ++decoded; // a change that kept every checksum valid (an ancillary chunk, say)
        EXPECT_GT(bm->getWidth(), 0);
        EXPECT_LE(bm->getWidth(), 16384);
        EXPECT_NE(bm->getBits(), nullptr);
    }
    EXPECT_LT(decoded, 60);
}

TEST(LoadPNG, ShortOrForeignMemoryLeavesTheBitmapAlone) {
    const std::vector<unsigned char> png = noisyPNG();
    LICE_MemBitmap target(3, 2, 4);
    EXPECT_EQ(LICE_LoadPNGFromMemory(png.data(), 7, &target), nullptr);
    const unsigned char notPng[8] = {0x89, 'P', 'N', 'G', 0, 0, 0, 0};
    EXPECT_EQ(LICE_LoadPNGFromMemory(notPng, 8, &target), nullptr);
    EXPECT_EQ(LICE_LoadPNGFromMemory(nullptr, 100, &target), nullptr);
    EXPECT_EQ(target.getWidth(), 3);
    EXPECT_EQ(target.getHeight(), 2);
}

void* refuse(void*, size_t) {
    return nullptr;
}

TEST(LoadPNG, BitmapAllocationFailureGivesNull) {
    const std::vector<unsigned char> png = noisyPNG();
    LICE_MemBitmap::SetReallocForTesting(refuse);
    LICE_IBitmap* bm = LICE_LoadPNGFromMemory(png.data(), (int)png.size());
    LICE_MemBitmap target(0, 0, 4);
    LICE_IBitmap* into = LICE_LoadPNGFromMemory(png.data(), (int)png.size(), &target);
    LICE_MemBitmap::SetReallocForTesting(nullptr);
    EXPECT_EQ(bm, nullptr); // the bitmap made for it is released (the leak check sees it)
    EXPECT_EQ(into, nullptr);
    EXPECT_EQ(target.getWidth(), 0);
}

TEST(LoadPNG, IntoACallersFlippedBitmap) {
    const std::vector<unsigned char> png = noisyPNG();
    auto plain = decode(png);
    ASSERT_TRUE(plain);
    rtest::FlippedBitmap fl(1, 1);
    EXPECT_EQ(LICE_LoadPNGFromMemory(png.data(), (int)png.size(), &fl), &fl);
    EXPECT_EQ(LICE_BitmapCmp(plain.get(), &fl), 0);
}

std::string writeFile(const std::string& name, const std::vector<unsigned char>& data) {
    const std::string path = testing::TempDir() + name;
    FILE* fp = fopen(path.c_str(), "wb");
    if (fp) {
        fwrite(data.data(), 1, data.size(), fp);
        fclose(fp);
    }
    return path;
}

TEST(LoadPNG, FilesAndTheLoaderRecord) {
    const std::vector<unsigned char> png = noisyPNG();
    const std::string good = writeFile("zerub_raster_ok.PNG", png);
    const std::string bak = writeFile("zerub_raster_ok.png.bak", png);
    const std::string cut = writeFile("zerub_raster_cut.png",
                                      std::vector<unsigned char>(png.begin(), png.begin() + 90));
    std::unique_ptr<LICE_IBitmap> a(LICE_LoadPNG(good.c_str()));
    ASSERT_TRUE(a);
    EXPECT_EQ(LICE_BitmapCmp(a.get(), decode(png).get()), 0);
    EXPECT_EQ(LICE_LoadPNG(cut.c_str()), nullptr);
    EXPECT_EQ(LICE_LoadPNG((testing::TempDir() + "zerub_no_such.png").c_str()), nullptr);
    EXPECT_EQ(LICE_LoadPNG(nullptr), nullptr);

    ASSERT_NE(LICE_ImageLoader_list, nullptr);
    const char* ext = LICE_ImageLoader_list->get_extlist();
    EXPECT_STREQ(ext, "PNG files (*.PNG)");
    EXPECT_STREQ(ext + strlen(ext) + 1, "*.PNG");
    std::unique_ptr<LICE_IBitmap> b(LICE_ImageLoader_list->loadfunc(good.c_str(), true, nullptr));
    EXPECT_TRUE(b);
    EXPECT_EQ(LICE_ImageLoader_list->loadfunc(bak.c_str(), true, nullptr), nullptr);
    std::unique_ptr<LICE_IBitmap> c(LICE_ImageLoader_list->loadfunc(bak.c_str(), false, nullptr));
    EXPECT_TRUE(c);
    EXPECT_EQ(LICE_LoadPNGFromResource(nullptr, "x", nullptr), nullptr);
    remove(good.c_str()), remove(bak.c_str()), remove(cut.c_str());
}

TEST(LoadPNG, NamedResourceThroughTheBundleLookup) {
    EXPECT_EQ(LICE_LoadPNGFromNamedResource("BG.png"), nullptr); // no bundle lookup yet
    const std::vector<unsigned char> png = noisyPNG();
    const std::string dir = testing::TempDir() + "zerub_bundle";
    ASSERT_EQ(system(("mkdir -p '" + dir + "/Contents/Resources'").c_str()), 0);
    writeFile("zerub_bundle/Contents/Resources/knob.png", png);
    static std::string s_dir;
    s_dir = dir;
    LICE_SetMainBundlePathFunc([](char* buf, int size) {
        snprintf(buf, (size_t)size, "%s", s_dir.c_str());
        return true;
    });
    std::unique_ptr<LICE_IBitmap> bm(LICE_LoadPNGFromNamedResource("knob.png"));
    EXPECT_TRUE(bm);
    EXPECT_EQ(LICE_LoadPNGFromNamedResource(std::string(401, 'a').c_str()), nullptr);
    LICE_SetMainBundlePathFunc(nullptr);
}

} // namespace

TEST(LoadPNG, ChunksClaimingHugeLengthsAreRefused) {
    // A few hundred bytes whose chunks claim over a gigabyte each: refused without buffering
    // (or zero-filling) what they claim.
    for (const char* name : {"huge-ztxt-claim", "huge-chunk-claim"}) {
        const std::string path =
            std::string(ZERUB_SOURCE_DIR) + "/fuzz/raster/corpus/png_fuzz/" + name;
        FILE* f = std::fopen(path.c_str(), "rb");
        ASSERT_NE(f, nullptr) << path;
        std::vector<unsigned char> data(4096);
        data.resize(std::fread(data.data(), 1, data.size(), f));
        std::fclose(f);
        ASSERT_LT(data.size(), 256u);
        std::unique_ptr<LICE_IBitmap> bm(LICE_LoadPNGFromMemory(data.data(), (int)data.size()));
        EXPECT_EQ(bm, nullptr) << name;
    }
}

TEST(WritePNG, RoundTripsEveryChannelAndKeepsTheTopRowFirst) {
    // Width 5 leaves padding at the end of each row (span 8): it must not reach the file.
    for (bool flipped : {false, true}) {
        std::unique_ptr<LICE_MemBitmap> bm(flipped ? new rtest::FlippedBitmap(5, 3)
                                                   : new LICE_MemBitmap(5, 3));
        for (int i = 0; i < bm->getRowSpan() * 3; ++i)
            bm->getBits()[i] = 0xDEADBEEFu; // padding
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x) {
                *pixelAt(bm.get(), x, y) =
                    LICE_RGBA(40 * x + 7, 60 * y + 1, 255 - 50 * x, 255 - 80 * y);
            }
        const std::string path = testing::TempDir() + "zerub_write.png";
        ASSERT_TRUE(LICE_WritePNG(path.c_str(), bm.get()));
        std::unique_ptr<LICE_IBitmap> back(LICE_LoadPNG(path.c_str()));
        ASSERT_NE(back, nullptr);
        ASSERT_EQ(back->getWidth(), 5);
        ASSERT_EQ(back->getHeight(), 3);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x)
                EXPECT_EQ(*pixelAt(back.get(), x, y),
                          LICE_RGBA(40 * x + 7, 60 * y + 1, 255 - 50 * x, 255 - 80 * y))
                    << flipped << " " << x << "," << y;
        std::remove(path.c_str());
    }
}

TEST(WritePNG, RefusesWhatItCannotWriteAndLeavesNoFile) {
    LICE_MemBitmap empty(0, 0);
    const std::string path = testing::TempDir() + "zerub_write_refused.png";
    EXPECT_FALSE(LICE_WritePNG(path.c_str(), &empty));
    EXPECT_FALSE(LICE_WritePNG(path.c_str(), nullptr));
    EXPECT_EQ(std::fopen(path.c_str(), "rb"), nullptr);
    LICE_MemBitmap one(1, 1);
    EXPECT_FALSE(LICE_WritePNG((testing::TempDir() + "no_such_folder/x.png").c_str(), &one));
    EXPECT_FALSE(LICE_WritePNG(nullptr, &one));
}
