#include "TestPlug.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

namespace {

// Three parameters shaped like the overdrive's: two doubles 0..1 and an int switch 0..1.
class ThreeParams : public TestPlug {
public:
    explicit ThreeParams(int nPresets = 1) : TestPlug(3, "1-1 2-2", nPresets) {
        GetParam(0)->InitDouble("Gain", 0.5, 0.0, 1.0, 0.01, "%");
        GetParam(1)->InitDouble("Level", 0.5, 0.0, 1.0, 0.01, "%");
        GetParam(2)->InitInt("BY", 0, 0, 1);
    }
    void Set(double a, double b, double c) {
        GetParam(0)->Set(a);
        GetParam(1)->Set(b);
        GetParam(2)->Set(c);
    }
};

std::string Hex(const ByteChunk& c) {
    std::string s;
    char buf[4];
    for (int i = 0; i < c.Size(); ++i) {
        std::snprintf(buf, sizeof buf, "%02X", c.GetBytes()[i]);
        s += buf;
    }
    return s;
}

} // namespace

TEST(ByteChunk, ReadsStopAtTheEnd) {
    ByteChunk c;
    EXPECT_EQ(c.Append(int32_t(7)), 4);
    EXPECT_EQ(c.Append(2.5), 12);
    int32_t i = 0;
    double d = 0;
    EXPECT_EQ(c.Read(&i, 0), 4);
    EXPECT_EQ(c.Read(&d, 4), 12);
    EXPECT_EQ(i, 7);
    EXPECT_EQ(d, 2.5);
    d = -1;
    EXPECT_EQ(c.Read(&d, 5), -1);
    EXPECT_EQ(c.Read(&d, -1), -1);
    EXPECT_EQ(d, -1.0); // untouched on failure
}

TEST(ByteChunk, StringsAndTheirShortForms) {
    ByteChunk c;
    c.AppendString("preset");
    EXPECT_EQ(Hex(c), "06000000707265736574");
    WDL_String s("old");
    EXPECT_EQ(c.ReadString(&s, 0), 10);
    EXPECT_STREQ(s.Get(), "preset");

    ByteChunk cut; // the length says 6, only 3 bytes follow
    cut.Append(int32_t(6));
    cut.PutBytes("abc", 3);
    s.Set("old");
    EXPECT_EQ(cut.ReadString(&s, 0), 10); // the end is returned, the string left alone
    EXPECT_STREQ(s.Get(), "old");

    ByteChunk withNul;
    withNul.Append(int32_t(4));
    withNul.PutBytes("ab\0d", 4);
    withNul.ReadString(&s, 0);
    EXPECT_STREQ(s.Get(), "ab");

    ByteChunk negative;
    negative.Append(int32_t(-8));
    EXPECT_EQ(negative.ReadString(&s, 0), 4); // never moves backwards
    EXPECT_STREQ(s.Get(), "");
    EXPECT_EQ(ByteChunk().ReadString(&s, 0), -1);
}

TEST(State, SerialisedParamsAreLittleEndianDoubles) {
    ThreeParams plug;
    plug.Set(0.5, 0.25, 1.0);
    ByteChunk c;
    ASSERT_TRUE(plug.SerializeParams(&c));
    EXPECT_EQ(Hex(c), "000000000000E03F"
                      "000000000000D03F"
                      "000000000000F03F");
}

TEST(State, TruncatedChunkZeroesFirstMissingParamAndStops) {
    ThreeParams plug;
    plug.Set(0.1, 0.2, 1.0);
    ByteChunk c;
    c.Append(0.7);
    c.Append(0.8);
    plug.changed.clear();
    EXPECT_EQ(plug.UnserializeParams(&c, 0), -1);
    EXPECT_EQ(plug.GetParam(0)->Value(), 0.7);
    EXPECT_EQ(plug.GetParam(1)->Value(), 0.8);
    EXPECT_EQ(plug.GetParam(2)->Value(), 0.0);
    EXPECT_EQ(plug.changed.size(), 3u); // every parameter is announced

    ByteChunk one;
    one.Append(0.9);
    plug.Set(0.1, 0.6, 1.0);
    plug.UnserializeParams(&one, 0);
    EXPECT_EQ(plug.GetParam(1)->Value(), 0.0); // first without data: 0 clamped
    EXPECT_EQ(plug.GetParam(2)->Value(), 1.0); // after it: kept
}

TEST(State, RestoreClampsAndSkipsNaN) {
    ThreeParams plug;
    plug.Set(0.3, 0.3, 0.0);
    ByteChunk c;
    c.Append(2.0);
    c.Append(std::nan(""));
    c.Append(-5.0);
    EXPECT_EQ(plug.UnserializeParams(&c, 0), 24);
    EXPECT_EQ(plug.GetParam(0)->Value(), 1.0);
    EXPECT_EQ(plug.GetParam(1)->Value(), 0.3);
    EXPECT_EQ(plug.GetParam(2)->Value(), 0.0);
}

TEST(State, ValidStateNeedsAFiniteValueForEveryParameter) {
    ThreeParams plug;
    ByteChunk c;
    IPlugBase::InitChunkWithIPlugVer(&c); // 8 bytes before the values
    for (double v : {0.1, 0.2, 0.3})
        c.Append(v);
    EXPECT_TRUE(plug.IsValidState(&c, 8));
    EXPECT_FALSE(plug.IsValidState(&c, 16)); // one value short from there
    EXPECT_FALSE(plug.IsValidState(&c, -1));
    EXPECT_FALSE(plug.IsValidState(nullptr, 0));
    ByteChunk bad;
    for (double v : {0.1, HUGE_VAL, 0.3})
        bad.Append(v);
    EXPECT_FALSE(plug.IsValidState(&bad, 0));
    EXPECT_EQ(plug.GetParam(1)->Value(), 0.5); // checking changes nothing
}

TEST(State, VersionHeader) {
    ByteChunk c;
    IPlugBase::InitChunkWithIPlugVer(&c);
    EXPECT_EQ(Hex(c), "7466667000000100");
    int pos = 0;
    EXPECT_EQ(IPlugBase::GetIPlugVerFromChunk(&c, &pos), 0x10000);
    EXPECT_EQ(pos, 8);

    ByteChunk plain;
    plain.Append(1.0);
    pos = 0;
    EXPECT_EQ(IPlugBase::GetIPlugVerFromChunk(&plain, &pos), 0);
    EXPECT_EQ(pos, 0);

    ByteChunk shortHeader;
    shortHeader.Append(0x70666674);
    pos = 0;
    EXPECT_EQ(IPlugBase::GetIPlugVerFromChunk(&shortHeader, &pos), 0);
    EXPECT_EQ(pos, -1);
}

TEST(Presets, MakingFillsSlotsInOrder) {
    ThreeParams plug(4);
    plug.Set(0.1, 0.2, 0.0);
    plug.MakeDefaultPreset(nullptr, 1);
    plug.MakePreset("typed", 0.75, 0.5, 1);
    plug.MakePresetFromNamedParams("named", 1, 2, 1); // only BY named
    EXPECT_STREQ(plug.GetPresetName(0), "Empty");
    EXPECT_STREQ(plug.GetPresetName(1), "typed");
    EXPECT_STREQ(plug.GetPresetName(3), "empty");
    EXPECT_STREQ(plug.GetPresetName(9), "");
    EXPECT_FALSE(plug.Preset(3)->initialized);

    ASSERT_TRUE(plug.RestorePreset("typed"));
    EXPECT_EQ(plug.GetParam(0)->Value(), 0.75);
    EXPECT_EQ(plug.GetParam(2)->Value(), 1.0);
    EXPECT_EQ(plug.GetCurrentPresetIdx(), 1);

    ASSERT_TRUE(plug.RestorePreset(2));
    EXPECT_EQ(plug.GetParam(0)->Value(), 0.1); // unnamed: the value current when made
    EXPECT_EQ(plug.GetParam(2)->Value(), 1.0);
    EXPECT_FALSE(plug.RestorePreset(""));
    EXPECT_FALSE(plug.RestorePreset("missing"));
    EXPECT_FALSE(plug.RestorePreset(-1));

    plug.MakePreset("one too many", 0.0, 0.0, 0); // fills slot 3
    plug.MakePreset("no room", 0.0, 0.0, 0);      // nothing left: ignored
    EXPECT_STREQ(plug.GetPresetName(3), "one too many");
}

TEST(Presets, UserPresetNaming) {
    ThreeParams plug(3);
    plug.Preset(0)->initialized = true;
    plug.Preset(0)->SetName("my user preset");
    plug.Set(0.4, 0.6, 0.0);
    ASSERT_TRUE(plug.RestorePreset(2));
    EXPECT_STREQ(plug.GetPresetName(2), "user preset 2");
    EXPECT_TRUE(plug.Preset(2)->initialized);
    EXPECT_EQ(plug.Preset(2)->chunk.Size(), 24);
}

TEST(Presets, BlobIsDecodedToExactlyItsSize) {
    ThreeParams plug(3);
    plug.MakePresetFromBlob("cut", "AQIDBAUG", 4); // decodes to 01 02 03 04 05 06
    EXPECT_EQ(Hex(plug.Preset(0)->chunk), "01020304");
    plug.MakePresetFromBlob("padded", "AQI=", 4);
    EXPECT_EQ(Hex(plug.Preset(1)->chunk), "01020000");
    // A real state: 0.5 as a double is 00 00 00 00 00 00 E0 3F.
    plug.MakePresetFromBlob("half", "AAAAAAAA4D8AAAAAAADgPwAAAAAAAPA/", 24);
    ASSERT_TRUE(plug.RestorePreset("half"));
    EXPECT_EQ(plug.GetParam(0)->Value(), 0.5);
    EXPECT_EQ(plug.GetParam(2)->Value(), 1.0);
}

TEST(Presets, ModifyPruneAndEnsure) {
    ThreeParams plug(4);
    plug.MakePreset("a", 0.1, 0.1, 0);
    plug.MakePreset("b", 0.2, 0.2, 0);
    plug.RestorePreset(1);
    plug.Set(0.9, 0.9, 1.0);
    plug.ModifyCurrentPreset("b2");
    EXPECT_STREQ(plug.GetPresetName(1), "b2");
    plug.RestorePreset(0);
    plug.RestorePreset(1);
    EXPECT_EQ(plug.GetParam(0)->Value(), 0.9);

    plug.EnsureDefaultPreset();
    EXPECT_STREQ(plug.GetPresetName(2), "Empty");
    EXPECT_TRUE(plug.Preset(3)->initialized);

    ThreeParams sparse(4);
    sparse.Preset(1)->initialized = true;
    sparse.Preset(1)->SetName("kept");
    sparse.Preset(3)->initialized = true;
    sparse.Preset(3)->SetName("also");
    sparse.PruneUninitializedPresets();
    ASSERT_EQ(sparse.NPresets(), 2);
    EXPECT_STREQ(sparse.GetPresetName(0), "kept");
    EXPECT_STREQ(sparse.GetPresetName(1), "also");
}

TEST(Presets, ListRoundTrip) {
    ThreeParams source(2);
    source.MakePreset("first", 0.25, 0.75, 1);
    ByteChunk c;
    ASSERT_TRUE(source.SerializePresets(&c));

    ThreeParams target(2);
    EXPECT_EQ(target.UnserializePresets(&c, 0), c.Size());
    EXPECT_STREQ(target.GetPresetName(0), "first");
    EXPECT_STREQ(target.GetPresetName(1), "empty");
    EXPECT_FALSE(target.Preset(1)->initialized);
    EXPECT_TRUE(target.Preset(0)->chunk.IsEqual(source.Preset(0)->chunk));
    EXPECT_EQ(target.GetParam(1)->Value(), 0.75); // current preset 0 restored

    ByteChunk truncated;
    truncated.PutBytes(c.GetBytes(), 7);
    ThreeParams other(2);
    EXPECT_EQ(other.UnserializePresets(&truncated, 0), -1);
}

// Every reader of the state fails with a negative position and every caller tests for that, so
// a state that reads nothing (no parameters) still restores and a reader that fails does not.
TEST(Presets, RestoreFailsOnlyOnANegativePosition) {
    TestPlug empty(0, "1-1", 1);
    empty.MakeDefaultPreset("only", 1);
    EXPECT_TRUE(empty.RestorePreset(0));

    struct Failing : ThreeParams {
        int UnserializeState(ByteChunk*, int) override { return -1; }
    } failing;
    failing.MakeDefaultPreset("only", 1);
    EXPECT_FALSE(failing.RestorePreset(0));
}
