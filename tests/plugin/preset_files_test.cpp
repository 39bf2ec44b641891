#include "TestPlug.h"
#include "plugin/PresetFileIO.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <future>
#include <iterator>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

// Gain and Level as doubles 0..1, a switch, and an int -5..5 so that normalising shows.
class FilePlug : public TestPlug {
public:
    explicit FilePlug(bool chunks = false, int nPresets = 3)
        : TestPlug(4, "1-1 2-2", nPresets, chunks) {
        GetParam(0)->InitDouble("Gain", 0.5, 0.0, 1.0, 0.01);
        GetParam(1)->InitDouble("Level", 0.25, 0.0, 1.0, 0.01);
        GetParam(2)->InitBool("On", true);
        GetParam(3)->InitInt("Shift", 0, -5, 5);
        MakeDefaultPreset("one", 1);
        MakePreset("two", 0.1, 0.2, 0, -5);
        MakePreset("three", 0.9, 0.8, 1, 5);
        RestorePreset(0);
    }
    std::vector<double> Values() const {
        std::vector<double> v;
        for (int i = 0; i < NParams(); ++i)
            v.push_back(GetParam(i)->Value());
        return v;
    }
};

// Tells, at each program-change notice, whether another thread could take the plug-in mutex:
// the host's listener may wait on a lock of its own that its audio thread holds while waiting
// for our mutex. A probe that cannot take it within a second counts as held and finishes once
// the mutex is released.
class ProbingPlug : public FilePlug {
public:
    using FilePlug::FilePlug;
    ~ProbingPlug() override {
        for (std::thread& t : probes)
            t.join();
    }
    void InformHostOfProgramChange() override {
        FilePlug::InformHostOfProgramChange();
        auto taken = std::make_shared<std::promise<void>>();
        std::future<void> done = taken->get_future();
        probes.emplace_back([this, taken] {
            WDL_MutexLock lock(GetMutex());
            taken->set_value();
        });
        if (done.wait_for(std::chrono::seconds(1)) != std::future_status::ready) ++heldAtNotice;
    }
    int heldAtNotice = 0;
    std::vector<std::thread> probes;
};

class PresetFiles : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/zerub-presets-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }

    WDL_String Path(const char* name) { return WDL_String((dir + "/" + name).c_str()); }

    static Bytes Read(const WDL_String& path) {
        std::ifstream f(path.Get(), std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(f), {});
    }
    static void Write(const WDL_String& path, const Bytes& b) {
        std::ofstream f(path.Get(), std::ios::binary);
        f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    }
    static std::string Text(const WDL_String& path) {
        const Bytes b = Read(path);
        return std::string(b.begin(), b.end());
    }

    std::string dir;
};

uint32_t BE(const Bytes& b, size_t at) {
    return uint32_t(b.at(at)) << 24 | uint32_t(b.at(at + 1)) << 16 | uint32_t(b.at(at + 2)) << 8 |
           b.at(at + 3);
}

float BEFloat(const Bytes& b, size_t at) {
    const uint32_t bits = BE(b, at);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

void PutBE(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.at(at + i) = static_cast<unsigned char>(v >> (24 - 8 * i));
}

std::string Magic(const Bytes& b, size_t at) {
    return std::string(b.begin() + at, b.begin() + at + 4);
}

} // namespace

TEST_F(PresetFiles, ProgramParameterFormFieldsAndRoundTrip) {
    FilePlug plug;
    plug.GetParam(0)->Set(0.75);
    plug.GetParam(3)->Set(3);
    WDL_String path = Path("p.fxp");
    ASSERT_TRUE(plug.SaveProgramAsFXP(&path));

    const Bytes b = Read(path);
    ASSERT_EQ(b.size(), 56u + 4 * 4);
    EXPECT_EQ(Magic(b, 0), "CcnK");
    EXPECT_EQ(BE(b, 4), 0u);
    EXPECT_EQ(Magic(b, 8), "FxCk");
    EXPECT_EQ(BE(b, 12), 1u);
    EXPECT_EQ(BE(b, 16), uint32_t(FourCC("Tst1")));
    EXPECT_EQ(BE(b, 20), 10203u); // 1.2.3 in decimal form
    EXPECT_EQ(BE(b, 24), 4u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[28])), "one");
    EXPECT_EQ(BEFloat(b, 56), 0.75f);
    EXPECT_EQ(BEFloat(b, 56 + 12), float((3 + 5) / 10.0));

    const std::vector<double> saved = plug.Values();
    plug.RestorePreset(2);
    ASSERT_NE(plug.Values(), saved);
    plug.RestorePreset(0);
    plug.GetParam(0)->Set(0.0);
    plug.GetParam(3)->Set(-5);
    const int changes = plug.programChanges;
    ASSERT_TRUE(plug.LoadProgramFromFXP(&path));
    EXPECT_EQ(plug.Values(), saved);
    EXPECT_EQ(plug.programChanges, changes + 1);
    // The current preset now holds the loaded state.
    plug.GetParam(0)->Set(0.1);
    plug.RestorePreset(0);
    EXPECT_EQ(plug.Values(), saved);
}

TEST_F(PresetFiles, ProgramNameIsCutAndTakenUpToItsNul) {
    FilePlug plug;
    plug.Preset(0)->SetName("a name well beyond twenty-seven characters");
    WDL_String path = Path("long.fxp");
    ASSERT_TRUE(plug.SaveProgramAsFXP(&path));
    Bytes b = Read(path);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[28])), "a name well beyond twenty-s");
    EXPECT_EQ(b[28 + 27], 0);

    // A full 28-character name without terminator loads whole and nothing beyond it.
    std::memcpy(&b[28], "0123456789012345678901234567", 28);
    Write(path, b);
    ASSERT_TRUE(plug.LoadProgramFromFXP(&path));
    EXPECT_STREQ(plug.GetPresetName(0), "0123456789012345678901234567");
}

TEST_F(PresetFiles, ProgramsThatAreNotOursChangeNothing) {
    FilePlug plug;
    WDL_String path = Path("p.fxp");
    ASSERT_TRUE(plug.SaveProgramAsFXP(&path));
    const Bytes good = Read(path);
    plug.RestorePreset(1);
    const std::vector<double> before = plug.Values();

    struct Fault {
        size_t at;
        uint32_t value;
    } faults[] = {{0, 0x43636E4C},  // chunk magic
                  {8, 0x46784378},  // unknown format
                  {12, 2},          // format version
                  {16, 0x54737432}, // foreign plug-in ID
                  {8, 0x46504368}}; // chunk form for a plug-in without chunks
    for (const Fault& f : faults) {
        Bytes b = good;
        PutBE(b, f.at, f.value);
        Write(path, b);
        EXPECT_FALSE(plug.LoadProgramFromFXP(&path)) << "field at " << f.at;
        EXPECT_EQ(plug.Values(), before);
        EXPECT_STREQ(plug.GetPresetName(1), "two");
    }
    for (size_t size : {0, 3, 19}) {
        Write(path, Bytes(good.begin(), good.begin() + size));
        EXPECT_FALSE(plug.LoadProgramFromFXP(&path)) << size << " bytes";
    }
    WDL_String missing = Path("missing.fxp"), empty("");
    EXPECT_FALSE(plug.LoadProgramFromFXP(&missing));
    EXPECT_FALSE(plug.LoadProgramFromFXP(&empty));
    EXPECT_FALSE(plug.LoadProgramFromFXP(nullptr));
    EXPECT_EQ(plug.Values(), before);
}

TEST_F(PresetFiles, ProgramsCutShortOrForAnotherCountChangeNothing) {
    FilePlug plug;
    plug.GetParam(0)->Set(1.0);
    plug.GetParam(1)->Set(1.0);
    plug.ModifyCurrentPreset("renamed");
    WDL_String path = Path("p.fxp");
    ASSERT_TRUE(plug.SaveProgramAsFXP(&path));
    const Bytes good = Read(path);
    plug.ModifyCurrentPreset("one");

    Bytes headerOnly(good.begin(), good.begin() + 56);
    Bytes cutInAValue(good.begin(), good.begin() + 56 + 4 * 2 + 2);
    Bytes fewerCounted = good;
    PutBE(fewerCounted, 24, 3);
    Bytes moreCounted = good;
    PutBE(moreCounted, 24, 5);
    moreCounted.insert(moreCounted.end(), 4, 0);
    for (const Bytes& b : {headerOnly, cutInAValue, fewerCounted, moreCounted}) {
        Write(path, b);
        plug.GetParam(0)->Set(0.0);
        plug.GetParam(1)->Set(0.3);
        const std::vector<double> before = plug.Values();
        const int changes = plug.programChanges;
        EXPECT_FALSE(plug.LoadProgramFromFXP(&path)) << b.size() << " bytes";
        EXPECT_EQ(plug.Values(), before) << b.size() << " bytes";
        EXPECT_STREQ(plug.GetPresetName(0), "one") << b.size() << " bytes";
        EXPECT_EQ(plug.programChanges, changes);
    }

    // A value that is not a number leaves its parameter alone; the others load.
    Bytes withNaN = good;
    PutBE(withNaN, 56 + 4, 0x7FC00000);
    Write(path, withNaN);
    plug.GetParam(2)->Set(0);
    plug.GetParam(3)->Set(4);
    ASSERT_TRUE(plug.LoadProgramFromFXP(&path));
    EXPECT_EQ(plug.Values(), (std::vector<double>{1.0, 0.3, 1, 0}));
}

TEST_F(PresetFiles, ChunkFormsCutShortChangeNothing) {
    FilePlug plug(true);
    plug.GetParam(0)->Set(0.875);
    plug.ModifyCurrentPreset("saved");
    WDL_String program = Path("c.fxp"), bank = Path("c.fxb");
    ASSERT_TRUE(plug.SaveProgramAsFXP(&program));
    ASSERT_TRUE(plug.SaveBankAsFXB(&bank));
    const Bytes p = Read(program), b = Read(bank);

    // The version header and one value of four: as cut, and with the length saying so, which
    // the plug-in then refuses part way through.
    Bytes cut(p.begin(), p.begin() + 60 + 8 + 8);
    Bytes cutAndCounted = cut;
    PutBE(cutAndCounted, 56, 16);
    FilePlug other(true);
    other.GetParam(0)->Set(0.25);
    const std::vector<double> before = other.Values();
    for (const Bytes& bytes : {cut, cutAndCounted, Bytes(p.begin(), p.begin() + 56)}) {
        Write(program, bytes);
        EXPECT_FALSE(other.LoadProgramFromFXP(&program)) << bytes.size() << " bytes";
        EXPECT_EQ(other.Values(), before) << bytes.size() << " bytes";
        EXPECT_STREQ(other.GetPresetName(0), "one");
    }

    // A bank whose chunk runs past the end of the file.
    Write(bank, Bytes(b.begin(), b.end() - 1));
    EXPECT_FALSE(other.LoadBankFromFXB(&bank));
    EXPECT_EQ(other.Values(), before);
    EXPECT_STREQ(other.GetPresetName(0), "one");
}

TEST_F(PresetFiles, BankParameterFormFieldsAndRoundTrip) {
    FilePlug plug;
    plug.RestorePreset(1);
    WDL_String path = Path("b.fxb");
    ASSERT_TRUE(plug.SaveBankAsFXB(&path));
    const Bytes b = Read(path);
    const size_t record = 56 + 4 * 4;
    ASSERT_EQ(b.size(), 156 + 3 * record);
    EXPECT_EQ(Magic(b, 0), "CcnK");
    EXPECT_EQ(BE(b, 4), 0u);
    EXPECT_EQ(Magic(b, 8), "FxBk");
    EXPECT_EQ(BE(b, 12), 2u);
    EXPECT_EQ(BE(b, 16), uint32_t(FourCC("Tst1")));
    EXPECT_EQ(BE(b, 20), 10203u);
    EXPECT_EQ(BE(b, 24), 3u);
    EXPECT_EQ(BE(b, 28), 1u);
    EXPECT_EQ(Bytes(b.begin() + 32, b.begin() + 156), Bytes(124, 0));
    for (int p = 0; p < 3; ++p) {
        const size_t at = 156 + p * record;
        EXPECT_EQ(Magic(b, at), "CcnK");
        EXPECT_EQ(Magic(b, at + 8), "FxCk");
        EXPECT_EQ(BE(b, at + 12), 1u);
        EXPECT_EQ(BE(b, at + 24), 4u);
    }
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[156 + 2 * record + 28])), "three");
    EXPECT_EQ(BEFloat(b, 156 + record + 56), 0.1f);          // preset two's Gain
    EXPECT_EQ(BEFloat(b, 156 + 2 * record + 56 + 12), 1.0f); // preset three's Shift 5
    EXPECT_EQ(BEFloat(b, 156 + record + 56 + 12), 0.0f);     // preset two's Shift -5

    FilePlug other;
    other.RestorePreset(2);
    other.GetParam(0)->Set(0.6);
    other.ModifyCurrentPreset("changed");
    ASSERT_TRUE(other.LoadBankFromFXB(&path));
    EXPECT_EQ(other.GetCurrentPresetIdx(), 1);
    for (int p = 0; p < 3; ++p) {
        plug.RestorePreset(p);
        other.RestorePreset(p);
        EXPECT_STREQ(other.GetPresetName(p), plug.GetPresetName(p));
        // Values went through single-precision normalised floats.
        for (int i = 0; i < 4; ++i)
            EXPECT_NEAR(other.GetParam(i)->Value(), plug.GetParam(i)->Value(), 1e-7) << p;
    }
}

// Everything a refused load must leave as it was: the parameters, the current preset, and every
// preset's name, flag and values.
struct Everything {
    std::vector<double> values;
    int current;
    Bytes presets;
    bool operator==(const Everything& o) const {
        return values == o.values && current == o.current && presets == o.presets;
    }
};

Everything Snapshot(FilePlug& plug) {
    ByteChunk presets;
    plug.SerializePresets(&presets);
    return {plug.Values(), plug.GetCurrentPresetIdx(),
            Bytes(presets.GetBytes(), presets.GetBytes() + presets.Size())};
}

// Presets and values unlike those of a saved FilePlug, with a preset other than the first current.
void MoveOffTheFactoryPresets(FilePlug& plug) {
    const char* names[] = {"zero", "uno", "dos"};
    for (int p = 0; p < 3; ++p) {
        plug.RestorePreset(p);
        plug.GetParam(0)->Set(0.33 * (p + 1));
        plug.ModifyCurrentPreset(names[p]);
    }
    plug.RestorePreset(1);
    plug.GetParam(1)->Set(0.77);
}

TEST_F(PresetFiles, AFileCutAnywhereChangesNothing) {
    // Each form of program and bank, cut after every byte; a chunk is also cut with its length
    // saying so, which only the plug-in's own reading can refuse, part way through.
    for (const bool chunks : {false, true}) {
        FilePlug plug(chunks);
        plug.RestorePreset(2);
        plug.GetParam(3)->Set(2);
        plug.ModifyCurrentPreset("saved");
        WDL_String program = Path("cut.fxp"), bank = Path("cut.fxb");
        ASSERT_TRUE(plug.SaveProgramAsFXP(&program));
        ASSERT_TRUE(plug.SaveBankAsFXB(&bank));
        for (const auto& [file, header] : {std::pair{&program, 56}, std::pair{&bank, 156}}) {
            const Bytes whole = Read(*file);
            FilePlug other(chunks);
            MoveOffTheFactoryPresets(other);
            const Everything before = Snapshot(other);
            for (size_t keep = 0; keep < whole.size(); ++keep) {
                Bytes cut(whole.begin(), whole.begin() + keep);
                for (const bool counted : {false, true}) {
                    if (counted && (!chunks || keep < size_t(header) + 4)) continue;
                    if (counted) PutBE(cut, header, uint32_t(keep - header - 4));
                    Write(*file, cut);
                    const bool loaded = file == &bank ? other.LoadBankFromFXB(file)
                                                      : other.LoadProgramFromFXP(file);
                    SCOPED_TRACE((chunks ? "chunk " : "values ") + std::string(file->Get()) +
                                 (counted ? " counted, " : ", ") + std::to_string(keep) + " bytes");
                    EXPECT_FALSE(loaded);
                    EXPECT_TRUE(Snapshot(other) == before);
                }
            }
            // The whole file still loads.
            Write(*file, whole);
            EXPECT_TRUE(file == &bank ? other.LoadBankFromFXB(file)
                                      : other.LoadProgramFromFXP(file));
            EXPECT_FALSE(Snapshot(other) == before);
        }
    }
}

TEST_F(PresetFiles, LoadsTellTheHostWithTheMutexFree) {
    for (const bool chunks : {false, true}) {
        FilePlug plug(chunks);
        WDL_String program = Path("p.fxp"), bank = Path("b.fxb");
        ASSERT_TRUE(plug.SaveProgramAsFXP(&program));
        ASSERT_TRUE(plug.SaveBankAsFXB(&bank));
        ProbingPlug other(chunks);
        EXPECT_TRUE(other.LoadProgramFromFXP(&program));
        EXPECT_TRUE(other.LoadBankFromFXB(&bank));
        EXPECT_EQ(other.programChanges, 2);
        EXPECT_EQ(other.heldAtNotice, 0) << (chunks ? "chunks" : "values");
    }
}

TEST_F(PresetFiles, ABankWithABadRecordChangesNothing) {
    FilePlug plug;
    WDL_String path = Path("b.fxb");
    ASSERT_TRUE(plug.SaveBankAsFXB(&path));
    const Bytes good = Read(path);
    const size_t record = 56 + 4 * 4;

    // The third record counts the wrong number of parameters: the first two are not loaded
    // either.
    Bytes b = good;
    PutBE(b, 156 + 2 * record + 24, 3);
    Write(path, b);
    FilePlug other;
    MoveOffTheFactoryPresets(other);
    const Everything before = Snapshot(other);
    const int announced = other.programChanges;
    EXPECT_FALSE(other.LoadBankFromFXB(&path));
    EXPECT_TRUE(Snapshot(other) == before);
    EXPECT_EQ(other.programChanges, announced);

    // A wrong record version or magic stops at once; a foreign bank is refused outright.
    for (size_t field : {size_t(12), size_t(0), size_t(8)}) {
        b = good;
        PutBE(b, 156 + field, 7);
        Write(path, b);
        FilePlug fresh;
        fresh.ModifyCurrentPreset("kept");
        EXPECT_FALSE(fresh.LoadBankFromFXB(&path)) << field;
        EXPECT_STREQ(fresh.GetPresetName(0), "kept");
    }
    b = good;
    PutBE(b, 16, 1234);
    Write(path, b);
    FilePlug fresh;
    fresh.ModifyCurrentPreset("kept");
    EXPECT_FALSE(fresh.LoadBankFromFXB(&path));
    EXPECT_STREQ(fresh.GetPresetName(0), "kept");

    // A header cut short is refused even when it announces no programs.
    b = Bytes(good.begin(), good.begin() + 40);
    PutBE(b, 24, 0);
    Write(path, b);
    EXPECT_FALSE(fresh.LoadBankFromFXB(&path));

    // No programs: only the header's current program is restored.
    b = Bytes(good.begin(), good.begin() + 156);
    PutBE(b, 24, 0);
    PutBE(b, 28, 2);
    Write(path, b);
    const int changes = fresh.programChanges;
    EXPECT_TRUE(fresh.LoadBankFromFXB(&path));
    EXPECT_EQ(fresh.GetCurrentPresetIdx(), 2);
    EXPECT_DOUBLE_EQ(fresh.GetParam(0)->Value(), 0.9);
    EXPECT_EQ(fresh.programChanges, changes + 1);
}

TEST_F(PresetFiles, ChunkFormsRoundTrip) {
    FilePlug plug(true);
    plug.GetParam(1)->Set(0.125);
    plug.ModifyCurrentPreset();
    WDL_String program = Path("c.fxp"), bank = Path("c.fxb");
    ASSERT_TRUE(plug.SaveProgramAsFXP(&program));
    ASSERT_TRUE(plug.SaveBankAsFXB(&bank));

    const Bytes p = Read(program);
    const uint32_t stateLen = 8 + 4 * 8; // version header and four doubles
    ASSERT_EQ(p.size(), 60 + stateLen);
    EXPECT_EQ(Magic(p, 8), "FPCh");
    EXPECT_EQ(BE(p, 4), stateLen + 60);
    EXPECT_EQ(BE(p, 56), stateLen);
    EXPECT_EQ(Magic(p, 60), "tffp");

    const Bytes b = Read(bank);
    EXPECT_EQ(Magic(b, 8), "FBCh");
    EXPECT_EQ(BE(b, 12), 2u);
    EXPECT_EQ(BE(b, 156), b.size() - 160);
    EXPECT_EQ(BE(b, 4), b.size());

    FilePlug other(true);
    ASSERT_TRUE(other.LoadProgramFromFXP(&program));
    EXPECT_EQ(other.Values(), plug.Values());
    FilePlug third(true);
    third.Preset(2)->SetName("renamed");
    ASSERT_TRUE(third.LoadBankFromFXB(&bank));
    EXPECT_STREQ(third.GetPresetName(2), "three");
    EXPECT_EQ(third.Values(), plug.Values());

    // A parameter-form plug-in does not take a chunk-form file.
    FilePlug plain;
    EXPECT_FALSE(plain.LoadProgramFromFXP(&program));
    EXPECT_FALSE(plain.LoadBankFromFXB(&bank));
}

TEST_F(PresetFiles, OversizedAndSpecialFilesAreRefusedUnread) {
    FilePlug plug;
    WDL_String big = Path("big.fxp");
    ASSERT_EQ(truncate(big.Get(), 0), -1); // does not exist yet
    std::fclose(std::fopen(big.Get(), "wb"));
    ASSERT_EQ(truncate(big.Get(), (16 << 20) + 1), 0);
    EXPECT_FALSE(plug.LoadProgramFromFXP(&big));
    EXPECT_FALSE(plug.LoadBankFromFXB(&big));

    // A FIFO with no writer must not block the load.
    WDL_String fifo = Path("fifo.fxp");
    ASSERT_EQ(mkfifo(fifo.Get(), 0600), 0);
    EXPECT_FALSE(plug.LoadProgramFromFXP(&fifo));
    WDL_String folder(dir.c_str());
    EXPECT_FALSE(plug.LoadBankFromFXB(&folder));
    EXPECT_FALSE(plug.SaveBankAsFXB(&folder));
}

TEST_F(PresetFiles, AFailedSaveLeavesTheOldFileWhole) {
    FilePlug plug;
    WDL_String path = Path("keep.fxb");
    ASSERT_TRUE(plug.SaveBankAsFXB(&path));
    const Bytes old = Read(path);

    // Make every write beyond 64 bytes fail, as a full disk would.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    plug.RestorePreset(2);
    const bool ok = plug.SaveBankAsFXB(&path);
    setrlimit(RLIMIT_FSIZE, &saved);

    EXPECT_FALSE(ok);
    EXPECT_EQ(Read(path), old);
    EXPECT_EQ(std::system(("ls '" + dir + "' | grep -q 'keep.fxb.'").c_str()) == 0, false)
        << "temporary file left behind";
}

TEST_F(PresetFiles, SavesKeepLinksAndWriteDevicesInPlace) {
    FilePlug plug;
    WDL_String target = Path("real.fxp"), link = Path("link.fxp");
    ASSERT_EQ(symlink(target.Get(), link.Get()), 0);
    ASSERT_TRUE(plug.SaveProgramAsFXP(&link));
    struct stat st;
    ASSERT_EQ(lstat(link.Get(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(Read(target).size(), 72u);

    WDL_String devnull("/dev/null");
    EXPECT_TRUE(plug.SaveProgramAsFXP(&devnull));
    ASSERT_EQ(stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
}

TEST_F(PresetFiles, SourceCodeDump) {
    FilePlug plug;
    plug.GetParam(0)->Set(0.123456789);
    plug.GetParam(2)->Set(0);
    plug.GetParam(3)->Set(-3);
    WDL_String path = Path("src.txt");
    const char* names[] = {"kGain", "kLevel", "kOn", "kShift"};
    plug.DumpPresetSrcCode(path.Get(), names);
    EXPECT_EQ(Text(path), "  MakePresetFromNamedParams(\"name\", 4,\n    kGain, 0.123457,\n"
                          "    kLevel, 0.250000,\n    kOn, false,\n    kShift, -3);\n");
}

TEST_F(PresetFiles, BlobDumpsReadBack) {
    FilePlug plug;
    WDL_String one = Path("preset.txt"), all = Path("bank.txt");
    plug.RestorePreset(2);
    plug.DumpPresetBlob(one.Get());
    plug.DumpBankBlob(all.Get());

    const std::string line = Text(one);
    const std::string opening = "MakePresetFromBlob(\"name\", \"";
    ASSERT_EQ(line.compare(0, opening.size(), opening), 0) << line;
    const size_t quote = line.find('"', opening.size());
    const std::string blob = line.substr(opening.size(), quote - opening.size());
    EXPECT_EQ(line.substr(quote), "\", 32);\n");
    EXPECT_EQ(blob.size() % 4, 0u);

    FilePlug back(false, 4);
    back.MakePresetFromBlob("back", blob.c_str(), 32);
    EXPECT_TRUE(back.Preset(3)->chunk.IsEqual(plug.Preset(2)->chunk));

    const std::string bank = Text(all);
    EXPECT_NE(bank.find("MakePresetFromBlob(\"one\", \""), std::string::npos);
    EXPECT_NE(bank.find("MakePresetFromBlob(\"three\", \"" + blob + "\", 32);\n"),
              std::string::npos);
}

TEST_F(PresetFiles, LongChunksAreCutInDumps) {
    // 200 doubles make a 1600-byte chunk: the dump holds its first 1533 bytes.
    TestPlug plug(200);
    for (int i = 0; i < 200; ++i)
        plug.GetParam(i)->InitDouble("p", i / 200.0, 0.0, 1.0, 0.001);
    plug.MakeDefaultPreset("big");
    plug.RestorePreset(0);
    WDL_String path = Path("big.txt");
    plug.DumpPresetBlob(path.Get());
    const std::string line = Text(path);
    const size_t start = line.find("\", \"") + 4;
    const size_t end = line.find('"', start);
    ASSERT_EQ(end - start, 2044u);
    EXPECT_EQ(line.substr(end), "\", 1533);\n");

    TestPlug back(200);
    back.MakePresetFromBlob("back", line.substr(start, end - start).c_str(), 1533);
    const ByteChunk& chunk = plug.Preset(0)->chunk;
    ASSERT_EQ(back.Preset(0)->chunk.Size(), 1533);
    EXPECT_EQ(std::memcmp(back.Preset(0)->chunk.GetBytes(), chunk.GetBytes(), 1533), 0);
}
