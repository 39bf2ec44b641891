#include "TestPlug.h"
#include "plugin/Hosts.h"

#include <gtest/gtest.h>

#include <string>

TEST(Hosts, LookUpBySubstringInKeyOrder) {
    EXPECT_EQ(LookUpHost("Ableton Live 9"), kHostAbletonLive);
    EXPECT_EQ(LookUpHost("Logic Pro X"), kHostLogic);
    EXPECT_EQ(LookUpHost("Pro Tools"), kHostUnknown);
    EXPECT_EQ(LookUpHost("REAPER and Cubase"), kHostCubase); // the earlier key wins
    EXPECT_EQ(LookUpHost("Cakewalk SONAR"), kHostSonar);
    EXPECT_EQ(LookUpHost("Olive"), kHostAbletonLive);
    EXPECT_EQ(LookUpHost("Digital Performer"), kHostDigitalPerformer);
    EXPECT_EQ(LookUpHost(nullptr), kHostUnknown);
    EXPECT_EQ(LookUpHost(""), kHostUnknown);
    // Only the first 263 characters are searched.
    EXPECT_EQ(LookUpHost((std::string(263, 'x') + "reaper").c_str()), kHostUnknown);
    EXPECT_EQ(LookUpHost((std::string(257, 'x') + "reaper").c_str()), kHostReaper);
}

TEST(Hosts, NamesAndApis) {
    char name[19];
    GetHostNameStr(kHostSonar, name);
    EXPECT_STREQ(name, "Sonar");
    GetHostNameStr(kHostMelodyneStudio, name);
    EXPECT_STREQ(name, "Unknown");
    GetHostNameStr(kHostVST3TestHost, name);
    EXPECT_STREQ(name, "VST3PluginTestHost");
    EXPECT_STREQ(GetHostNameStr(kHostUninit), "Unknown");
    EXPECT_STREQ(GetAPIString(kAPIAU), "AU");
    EXPECT_STREQ(GetAPIString(static_cast<EAPI>(9)), "");
}

TEST(Hosts, Versions) {
    TestPlug plug(0);
    char text[32];
    EXPECT_EQ(plug.GetEffectVersion(false), 0x10203);
    EXPECT_EQ(plug.GetEffectVersion(true), 10203);
    plug.GetEffectVersionStr(text);
    EXPECT_STREQ(text, "v1.2.3");
    EXPECT_EQ(GetDecimalVersion(0x10000), 10000);
    EXPECT_EQ(GetDecimalVersion(0x20304), 20304);
    GetVersionStr(-1, text); // the major part is read unsigned
    EXPECT_STREQ(text, "v65535.255.255");

    EXPECT_EQ(plug.GetHost(), kHostUninit);
    plug.SetHost("GarageBand", 0x0A0100);
    EXPECT_EQ(plug.GetHost(), kHostGarageBand);
    EXPECT_EQ(plug.GetHostVersion(true), 100100);
    plug.GetHostVersionStr(text);
    EXPECT_STREQ(text, "v10.1.0");
    EXPECT_STREQ(plug.GetAPIString(), "AU");
}

TEST(Midi, BuildersAndDecoders) {
    IMidiMsg m;
    m.MakeNoteOnMsg(60, 0, 17, 3);
    EXPECT_EQ(m.status, 0x93);
    EXPECT_EQ(m.offset, 17);
    EXPECT_EQ(m.StatusMsg(), IMidiMsg::kNoteOn); // velocity 0 is still a note-on
    EXPECT_EQ(m.Velocity(), 0);
    EXPECT_EQ(m.NoteNumber(), 60);
    EXPECT_EQ(m.Channel(), 3);
    EXPECT_EQ(m.Program(), -1);

    m.MakeNoteOffMsg(61, 5);
    EXPECT_EQ(m.status, 0x80);
    EXPECT_EQ(m.data2, 0);
    EXPECT_EQ(m.PolyAfterTouch(), -1);

    m.MakeControlChangeMsg(IMidiMsg::kModWheel, 0.5, 1);
    EXPECT_EQ(m.status, 0xB1);
    EXPECT_EQ(m.data2, 63);
    EXPECT_EQ(m.offset, 0);
    EXPECT_DOUBLE_EQ(m.ControlChange(IMidiMsg::kModWheel), 63 / 127.0);
    EXPECT_EQ(m.ControlChange(IMidiMsg::kPan), -1.0);

    IMidiMsg program(0, 0xC2, 9, 0), touch(0, 0xD0, 44, 0), poly(0, 0xA0, 50, 70);
    EXPECT_EQ(program.Program(), 9);
    EXPECT_EQ(touch.ChannelAfterTouch(), 44);
    EXPECT_EQ(poly.PolyAfterTouch(), 70);
    EXPECT_EQ(poly.NoteNumber(), 50);
}

TEST(Midi, PitchWheelClamps) {
    IMidiMsg m;
    m.MakePitchWheelMsg(0.0);
    EXPECT_EQ(m.status, 0xE0);
    EXPECT_EQ(m.data1, 0);
    EXPECT_EQ(m.data2, 64);
    EXPECT_EQ(m.PitchWheel(), 0.0);
    m.MakePitchWheelMsg(1.0);
    EXPECT_EQ(m.data1, 127);
    EXPECT_EQ(m.data2, 127);
    EXPECT_EQ(m.PitchWheel(), 8191 / 8192.0);
    m.MakePitchWheelMsg(-1.0);
    EXPECT_EQ(m.data1 | m.data2, 0);
    EXPECT_EQ(m.PitchWheel(), -1.0);
    m.MakePitchWheelMsg(-2.0);
    EXPECT_EQ(m.data1 | m.data2, 0);
    m.MakePitchWheelMsg(1e300);
    EXPECT_EQ(m.data1 & m.data2, 127);
}

TEST(Midi, StatusOfSystemAndDataBytes) {
    EXPECT_EQ(IMidiMsg(0, 0xF8, 0, 0).StatusMsg(), IMidiMsg::kNone);
    EXPECT_EQ(IMidiMsg(0, 0x7F, 0, 0).StatusMsg(), IMidiMsg::kNone);
    EXPECT_EQ(IMidiMsg(0, 0xEF, 0, 0).StatusMsg(), IMidiMsg::kPitchWheel);
    EXPECT_EQ(IMidiMsg(0, 0xF8, 0, 0).PitchWheel(), 0.0);
    EXPECT_STREQ(IMidiMsg::StatusMsgStr(IMidiMsg::kControlChange), "controlchange");
    EXPECT_STREQ(IMidiMsg::StatusMsgStr(static_cast<IMidiMsg::EStatusMsg>(3)), "unknown");
    EXPECT_STREQ(IMidiMsg::StatusMsgStr(static_cast<IMidiMsg::EStatusMsg>(15)), "unknown");
}

TEST(Midi, SysExText) {
    const unsigned char bytes[] = {0xF0, 0x7E, 0xF7};
    char text[64];
    EXPECT_STREQ(SysExStr(text, 64, bytes, 3), "F0 7E F7");
    EXPECT_STREQ(SysExStr(text, 6, bytes, 3), "F0 7E");
    EXPECT_STREQ(SysExStr(text, 64, nullptr, 3), "");
    EXPECT_STREQ(SysExStr(text, 64, bytes, 0), "");
    ISysEx s(4, bytes, 3);
    s.Clear();
    EXPECT_EQ(s.size, 0);
    EXPECT_EQ(s.data, nullptr);
}
