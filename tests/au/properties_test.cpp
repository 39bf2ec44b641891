#include "AUTestSupport.h"
#include "effect/Zerub.h"

#include <CoreFoundation/CoreFoundation.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string Text(CFStringRef s) {
    char buf[256] = "";
    if (s) CFStringGetCString(s, buf, sizeof buf, kCFStringEncodingUTF8);
    return buf;
}

AudioStreamBasicDescription Format(UInt32 channels,
                                   UInt32 flags = kAudioFormatFlagIsFloat |
                                                  kAudioFormatFlagIsPacked |
                                                  kAudioFormatFlagIsNonInterleaved,
                                   UInt32 bits = 32) {
    AudioStreamBasicDescription f = {};
    f.mSampleRate = 48000.0;
    f.mFormatID = kAudioFormatLinearPCM;
    f.mFormatFlags = flags;
    f.mBytesPerPacket = f.mBytesPerFrame = bits / 8;
    f.mFramesPerPacket = 1;
    f.mChannelsPerFrame = channels;
    f.mBitsPerChannel = bits;
    return f;
}

struct PlugDeleter {
    void operator()(IPlugAU* p) const { delete p; }
};
using Unit = std::unique_ptr<IPlugAU, PlugDeleter>;

UInt32 Channels(IPlugAU& unit, AudioUnitScope scope) {
    AudioStreamBasicDescription f;
    UInt32 size = sizeof f;
    EXPECT_EQ(unit.GetProperty(kAudioUnitProperty_StreamFormat, scope, 0, &f, &size), noErr);
    return f.mChannelsPerFrame;
}

std::vector<std::pair<AudioUnitPropertyID, double>> g_heard;
IPlugAU* g_unit = nullptr;

void RecordingListener(void* userData, AudioUnit, AudioUnitPropertyID id, AudioUnitScope,
                       AudioUnitElement) {
    // The change has not reached the base yet when the listener runs.
    g_heard.emplace_back(id, g_unit ? g_unit->GetSampleRate() : 0.0);
    if (userData) ++*static_cast<int*>(userData);
}

void OtherListener(void*, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) {}

} // namespace

TEST(AUProperties, InfoRequestsReportSizeAndWritable) {
    Unit unit(MakePlug(nullptr));
    UInt32 size = 0;
    Boolean writable = true;
    EXPECT_EQ(unit->GetPropertyInfo(kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &size,
                                    &writable),
              noErr);
    EXPECT_EQ(size, 8u);
    EXPECT_TRUE(writable); // hosts restore sessions by setting it
    EXPECT_EQ(unit->GetPropertyInfo(kAudioUnitProperty_TailTime, kAudioUnitScope_Global, 0, &size,
                                    &writable),
              noErr);
    EXPECT_FALSE(writable); // no tail
    // Null size and writable pointers are allowed on info requests.
    EXPECT_EQ(unit->GetPropertyInfo(kAudioUnitProperty_SampleRate, kAudioUnitScope_Global, 0,
                                    nullptr, nullptr),
              noErr);
    EXPECT_EQ(unit->GetPropertyInfo(9999, kAudioUnitScope_Global, 0, &size, &writable),
              kAudioUnitErr_InvalidProperty);
    EXPECT_EQ(unit->GetPropertyInfo(kAudioUnitProperty_FastDispatch, kAudioUnitScope_Global, 0,
                                    &size, &writable),
              kAudioUnitErr_InvalidElement);
}

TEST(AUProperties, ParameterListAndElementCounts) {
    Unit unit(MakePlug(nullptr));
    UInt32 ids[8] = {}, size = sizeof ids;
    EXPECT_EQ(
        unit->GetProperty(kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0, ids, &size),
        noErr);
    EXPECT_EQ(size, 12u);
    EXPECT_EQ(ids[2], 2u);
    size = sizeof ids;
    EXPECT_EQ(
        unit->GetProperty(kAudioUnitProperty_ParameterList, kAudioUnitScope_Input, 0, ids, &size),
        noErr);
    EXPECT_EQ(size, 0u);

    auto count = [&](AudioUnitScope scope) {
        UInt32 n = 99, sz = sizeof n;
        EXPECT_EQ(unit->GetProperty(kAudioUnitProperty_ElementCount, scope, 0, &n, &sz), noErr);
        return n;
    };
    EXPECT_EQ(count(kAudioUnitScope_Global), 1u);
    EXPECT_EQ(count(kAudioUnitScope_Input), 1u);
    EXPECT_EQ(count(kAudioUnitScope_Output), 1u);
    EXPECT_EQ(count(7), 0u);

    AUChannelInfo configs[4];
    size = sizeof configs;
    EXPECT_EQ(unit->GetProperty(kAudioUnitProperty_SupportedNumChannels, kAudioUnitScope_Global, 0,
                                configs, &size),
              noErr);
    ASSERT_EQ(size, 2 * sizeof(AUChannelInfo));
    EXPECT_EQ(configs[1].inChannels, 2);
    EXPECT_EQ(configs[1].outChannels, 2);
}

TEST(AUProperties, BusesAndLabels) {
    Unit effect(MakePlug(nullptr));
    EXPECT_EQ(effect->NInputBuses(), 1);
    EXPECT_EQ(effect->NOutputBuses(), 1);
    EXPECT_STREQ(effect->GetInputBusLabel(0)->Get(), "input");
    EXPECT_STREQ(effect->GetInputBusLabel(1)->Get(), "aux input"); // a label without a bus
    EXPECT_STREQ(effect->GetOutputBusLabel(0)->Get(), "output");

    // Info and get agree on every address; a label without a bus names nothing.
    struct Case {
        AudioUnitScope scope;
        AudioUnitElement element;
        OSStatus status;
        const char* name;
    };
    const Case cases[] = {{kAudioUnitScope_Input, 0, noErr, "input"},
                          {kAudioUnitScope_Output, 0, noErr, "output"},
                          {kAudioUnitScope_Input, 1, kAudioUnitErr_InvalidElement, ""},
                          {kAudioUnitScope_Input, 2, kAudioUnitErr_InvalidElement, ""},
                          {kAudioUnitScope_Output, 5, kAudioUnitErr_InvalidElement, ""},
                          {kAudioUnitScope_Global, 0, kAudioUnitErr_InvalidScope, ""}};
    for (const Case& c : cases) {
        UInt32 infoSize = 99;
        Boolean writable = true;
        EXPECT_EQ(effect->GetPropertyInfo(kAudioUnitProperty_ElementName, c.scope, c.element,
                                          &infoSize, &writable),
                  c.status)
            << c.scope << "/" << c.element;
        EXPECT_FALSE(writable);
        CFStringRef name = nullptr;
        UInt32 size = sizeof name;
        EXPECT_EQ(
            effect->GetProperty(kAudioUnitProperty_ElementName, c.scope, c.element, &name, &size),
            c.status)
            << c.scope << "/" << c.element;
        EXPECT_EQ(Text(name), c.name);
        if (name) CFRelease(name);
    }

    Unit instrument(new GroupedAU("0-5", true));
    ASSERT_EQ(instrument->NOutputBuses(), 3);
    EXPECT_EQ(instrument->GetOutBus(2)->nPlugChannels, 1);
    EXPECT_EQ(instrument->GetOutBus(1)->plugChannelStartIdx, 2);
    EXPECT_STREQ(instrument->GetOutputBusLabel(2)->Get(), "output 3");
    EXPECT_EQ(instrument->NInputBuses(), 0);

    Unit sidechain(new GroupedAU("3-2", false, 1));
    ASSERT_EQ(sidechain->NInputBuses(), 2);
    EXPECT_EQ(sidechain->GetInBus(1)->plugChannelStartIdx, 2);
    EXPECT_STREQ(sidechain->GetInputBusLabel(0)->Get(), "main input");
}

TEST(AUProperties, StreamFormats) {
    Unit unit(MakePlug(nullptr));
    EXPECT_EQ(Channels(*unit, kAudioUnitScope_Input), 2u); // the bus's plug-in channels until set

    AudioStreamBasicDescription three = Format(3);
    EXPECT_EQ(unit->SetProperty(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0, &three,
                                sizeof three),
              kAudioUnitErr_InvalidProperty);
    EXPECT_EQ(Channels(*unit, kAudioUnitScope_Input), 2u); // a refused set changes nothing

    AudioStreamBasicDescription mono = Format(1);
    EXPECT_EQ(unit->SetProperty(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0, &mono,
                                sizeof mono),
              noErr);
    EXPECT_EQ(Channels(*unit, kAudioUnitScope_Input), 1u);
    EXPECT_EQ(unit->GetSampleRate(), 48000.0);

    // Only 32-bit float, one channel per buffer: anything else is refused so that the host
    // converts, and the bus keeps its format.
    AudioStreamBasicDescription pcm16 =
        Format(2,
               kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked |
                   kAudioFormatFlagIsNonInterleaved,
               16);
    AudioStreamBasicDescription float64 = Format(2, 41, 64);
    AudioStreamBasicDescription interleaved =
        Format(2, kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked);
    interleaved.mBytesPerFrame = interleaved.mBytesPerPacket = 8;
    AudioStreamBasicDescription interleavedFlagOnly =
        Format(2, kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked);
    AudioStreamBasicDescription bigEndian = Format(2, 41 | kAudioFormatFlagIsBigEndian);
    AudioStreamBasicDescription notPcm = Format(2);
    notPcm.mFormatID = 0x61616320; // 'aac '
    AudioStreamBasicDescription noFlags = Format(2, 0);
    const AudioStreamBasicDescription refusedFormats[] = {
        pcm16, float64, interleaved, interleavedFlagOnly, bigEndian, notPcm, noFlags};
    for (const AudioStreamBasicDescription& f : refusedFormats) {
        for (AudioUnitScope scope : {kAudioUnitScope_Input, kAudioUnitScope_Output}) {
            EXPECT_EQ(unit->SetProperty(kAudioUnitProperty_StreamFormat, scope, 0, &f, sizeof f),
                      kAudioUnitErr_FormatNotSupported)
                << f.mFormatFlags << " " << f.mBitsPerChannel;
        }
    }
    EXPECT_EQ(Channels(*unit, kAudioUnitScope_Input), 1u);
    EXPECT_EQ(Channels(*unit, kAudioUnitScope_Output), 2u);

    // Rates that are not finite, not positive, or 2^31 Hz and more are refused the same way.
    for (double rate : {0.0, -48000.0, 2147483648.0, 1e300, HUGE_VAL, std::nan("")}) {
        AudioStreamBasicDescription f = Format(2);
        f.mSampleRate = rate;
        EXPECT_EQ(unit->SetProperty(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, &f,
                                    sizeof f),
                  kAudioUnitErr_FormatNotSupported)
            << rate;
        EXPECT_EQ(unit->SetProperty(kAudioUnitProperty_SampleRate, kAudioUnitScope_Global, 0, &rate,
                                    sizeof rate),
                  kAudioUnitErr_InvalidPropertyValue)
            << rate;
    }
    EXPECT_EQ(unit->GetSampleRate(), 48000.0);
    EXPECT_EQ(unit->SetProperty(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 3, &mono,
                                sizeof mono),
              kAudioUnitErr_InvalidProperty);

    AudioStreamBasicDescription got;
    UInt32 size = sizeof got;
    ASSERT_EQ(
        unit->GetProperty(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Global, 0, &got, &size),
        noErr);
    EXPECT_EQ(got.mFormatFlags, 41u);
    EXPECT_EQ(got.mBitsPerChannel, 32u);
    EXPECT_EQ(got.mFormatID, kAudioFormatLinearPCM);
}

// A rate belongs to the unit or to one of its buses, as a stream format does: any other address
// is refused, changes nothing and tells no listener.
TEST(AUProperties, SampleRateOnlyAtTheUnitAndItsBuses) {
    Unit unit(MakePlug(nullptr));
    int calls = 0;
    unit->DoAddPropertyListener(
        kAudioUnitProperty_SampleRate,
        [](void* n, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) {
            ++*static_cast<int*>(n);
        },
        &calls);
    const Float64 rate = 32000.0;
    struct Case {
        AudioUnitScope scope;
        AudioUnitElement element;
        OSStatus status;
    };
    const Case refused[] = {{kAudioUnitScope_Input, 99, kAudioUnitErr_InvalidElement},
                            {kAudioUnitScope_Output, 99, kAudioUnitErr_InvalidElement},
                            {kAudioUnitScope_Input, 1, kAudioUnitErr_InvalidElement},
                            {kAudioUnitScope_Global, 1, kAudioUnitErr_InvalidElement},
                            {3, 0, kAudioUnitErr_InvalidScope},
                            {0xffff, 0, kAudioUnitErr_InvalidScope}};
    for (const Case& c : refused) {
        SCOPED_TRACE(std::to_string(c.scope) + "/" + std::to_string(c.element));
        EXPECT_EQ(unit->SetProperty(kAudioUnitProperty_SampleRate, c.scope, c.element, &rate,
                                    sizeof rate),
                  c.status);
        Float64 got = -1.0;
        UInt32 size = sizeof got;
        EXPECT_EQ(unit->GetProperty(kAudioUnitProperty_SampleRate, c.scope, c.element, &got, &size),
                  c.status);
        EXPECT_EQ(got, -1.0);
        EXPECT_EQ(unit->GetPropertyInfo(kAudioUnitProperty_SampleRate, c.scope, c.element, &size,
                                        nullptr),
                  c.status);
    }
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(unit->GetSampleRate(), 44100.0);
    AudioStreamBasicDescription format;
    UInt32 size = sizeof format;
    ASSERT_EQ(unit->GetProperty(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, &format,
                                &size),
              noErr);
    EXPECT_EQ(format.mSampleRate, 44100.0);

    for (AudioUnitScope scope :
         {kAudioUnitScope_Global, kAudioUnitScope_Input, kAudioUnitScope_Output}) {
        EXPECT_EQ(unit->SetProperty(kAudioUnitProperty_SampleRate, scope, 0, &rate, sizeof rate),
                  noErr);
        Float64 got = 0.0;
        size = sizeof got;
        EXPECT_EQ(unit->GetProperty(kAudioUnitProperty_SampleRate, scope, 0, &got, &size), noErr);
        EXPECT_EQ(got, rate);
    }
    EXPECT_EQ(calls, 3);
}

// A get answers or fails: properties that are only ever set, and names asked in a scope they
// are not in, refuse the get and leave the host's buffer as it was. The information call still
// describes a set-only property, and the class info, which every host sets to restore a
// session, says it is writable.
TEST(AUProperties, GetsThatCannotAnswerFail) {
    Unit unit(new GroupedAU());
    unit->OnOpen();
    struct WriteOnly {
        AudioUnitPropertyID id;
        AudioUnitScope scope;
        UInt32 size;
    };
    for (const WriteOnly& w : {WriteOnly{kAudioUnitProperty_MakeConnection, kAudioUnitScope_Global,
                                         sizeof(AudioUnitConnection)},
                               WriteOnly{kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input,
                                         sizeof(AudioUnitConnection)},
                               WriteOnly{kAudioUnitProperty_SetRenderCallback,
                                         kAudioUnitScope_Input, sizeof(AURenderCallbackStruct)},
                               WriteOnly{kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global,
                                         sizeof(HostCallbackInfo)}}) {
        SCOPED_TRACE(w.id);
        UInt32 size = 0;
        Boolean writable = false;
        EXPECT_EQ(unit->GetPropertyInfo(w.id, w.scope, 0, &size, &writable), noErr);
        EXPECT_EQ(size, w.size);
        EXPECT_TRUE(writable);
        std::vector<unsigned char> buffer(w.size, 0xA5);
        size = w.size;
        EXPECT_EQ(unit->GetProperty(w.id, w.scope, 0, buffer.data(), &size),
                  kAudioUnitErr_PropertyNotInUse);
        EXPECT_EQ(std::count(buffer.begin(), buffer.end(), 0xA5), static_cast<long>(w.size));
    }

    CFStringRef untouched = CFSTR("untouched");
    for (AudioUnitScope scope : {kAudioUnitScope_Input, kAudioUnitScope_Output}) {
        SCOPED_TRACE(scope);
        AudioUnitParameterIDName idName = {0, kAudioUnitParameterName_Full, untouched};
        UInt32 size = sizeof idName;
        EXPECT_EQ(unit->GetProperty(kAudioUnitProperty_ParameterIDName, scope, 0, &idName, &size),
                  kAudioUnitErr_InvalidScope);
        EXPECT_EQ(idName.outName, untouched);
        AudioUnitParameterNameInfo clump = {1, kAudioUnitParameterName_Full, untouched};
        size = sizeof clump;
        EXPECT_EQ(unit->GetProperty(kAudioUnitProperty_ParameterClumpName, scope, 0, &clump, &size),
                  kAudioUnitErr_InvalidScope);
        EXPECT_EQ(clump.outName, untouched);
        for (AudioUnitPropertyID id :
             {kAudioUnitProperty_ParameterIDName, kAudioUnitProperty_ParameterClumpName})
            EXPECT_EQ(unit->GetPropertyInfo(id, scope, 0, &size, nullptr),
                      kAudioUnitErr_InvalidScope);

        Boolean writable = false;
        EXPECT_EQ(unit->GetPropertyInfo(kAudioUnitProperty_ClassInfo, scope, 0, &size, &writable),
                  noErr);
        EXPECT_TRUE(writable);
    }
}

TEST(AUProperties, InitialiseChecksTheConfiguration) {
    Unit fresh(MakePlug(nullptr));
    EXPECT_EQ(fresh->DoInitialize(), noErr); // nothing set: LegalIO(-1, -1)

    Unit zeros(MakePlug(nullptr));
    AudioStreamBasicDescription none = Format(0);
    zeros->SetProperty(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0, &none,
                       sizeof none);
    zeros->SetProperty(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, &none,
                       sizeof none);
    EXPECT_EQ(zeros->DoInitialize(), noErr); // every bus at 0 channels

    Unit mixed(MakePlug(nullptr));
    AudioStreamBasicDescription mono = Format(1), stereo = Format(2);
    EXPECT_EQ(mixed->SetProperty(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0, &mono,
                                 sizeof mono),
              noErr);
    EXPECT_EQ(mixed->SetProperty(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0,
                                 &stereo, sizeof stereo),
              noErr); // each direction alone is legal before initialisation
    EXPECT_EQ(mixed->DoInitialize(), badComponentSelector);
    EXPECT_FALSE(mixed->IsActive());
    EXPECT_EQ(mixed->SetProperty(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, &mono,
                                 sizeof mono),
              noErr);
    EXPECT_EQ(mixed->DoInitialize(), noErr);
    // Once active, a new count must fit with the other direction.
    EXPECT_EQ(mixed->SetProperty(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0,
                                 &stereo, sizeof stereo),
              kAudioUnitErr_InvalidProperty);
}

TEST(AUProperties, ParameterInfoAndClumps) {
    Unit unit(new GroupedAU());
    unit->OnOpen(); // lists the groups in parameter order: "Tone" 1, "Out" 2
    // The default is the parameter's own, whatever its value now.
    ASSERT_EQ(unit->SetParamProc(2, kAudioUnitScope_Global, 0, 6.0f, 0), noErr);
    AudioUnitParameterInfo info;
    UInt32 size = sizeof info;
    ASSERT_EQ(unit->GetProperty(kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, 2, &info,
                                &size),
              noErr);
    EXPECT_EQ(size, 104u);
    EXPECT_STREQ(info.name, "Bass");
    EXPECT_EQ(Text(info.cfNameString), "Bass");
    EXPECT_EQ(info.unit, kAudioUnitParameterUnit_CustomUnit);
    EXPECT_EQ(Text(info.unitName), "dB");
    EXPECT_EQ(info.minValue, -12.0f);
    EXPECT_EQ(info.defaultValue, 0.0f);
    EXPECT_EQ(info.clumpID, 1u);
    EXPECT_EQ(info.flags, 0xC8000010u | kAudioUnitParameterFlag_HasClump);
    CFRelease(info.cfNameString);
    CFRelease(info.unitName);

    ASSERT_EQ(unit->GetProperty(kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, 1, &info,
                                &size),
              noErr);
    EXPECT_EQ(info.clumpID, 2u);
    EXPECT_EQ(info.flags & 0xF8000010u, 0xE8000010u); // meta and writable
    CFRelease(info.cfNameString);
    ASSERT_EQ(unit->GetProperty(kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, 0, &info,
                                &size),
              noErr);
    EXPECT_EQ(info.clumpID, 1u); // shares "Tone" with Bass
    CFRelease(info.cfNameString);
    CFRelease(info.unitName);
    ASSERT_EQ(unit->GetProperty(kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, 3, &info,
                                &size),
              noErr);
    EXPECT_EQ(info.unit, kAudioUnitParameterUnit_Indexed);
    EXPECT_EQ(info.flags, 0x48000010u); // not automatable, no clump
    CFRelease(info.cfNameString);

    EXPECT_EQ(unit->GetProperty(kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, 4, &info,
                                &size),
              kAudioUnitErr_InvalidElement);
    EXPECT_EQ(
        unit->GetProperty(kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Input, 0, &info, &size),
        kAudioUnitErr_InvalidProperty);
    UInt32 small = 20;
    EXPECT_EQ(unit->GetProperty(kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, 0, &info,
                                &small),
              kAudioUnitErr_InvalidPropertyValue); // too little room: nothing written

    AudioUnitParameterNameInfo clump = {0, 0, nullptr};
    size = sizeof clump;
    EXPECT_EQ(unit->GetProperty(kAudioUnitProperty_ParameterClumpName, kAudioUnitScope_Global, 0,
                                &clump, &size),
              kAudioUnitErr_PropertyNotInUse);
    clump.inID = 2;
    EXPECT_EQ(unit->GetProperty(kAudioUnitProperty_ParameterClumpName, kAudioUnitScope_Global, 0,
                                &clump, &size),
              noErr);
    EXPECT_EQ(Text(clump.outName), "Out");
    CFRelease(clump.outName);
    clump.inID = 9;
    EXPECT_EQ(unit->GetProperty(kAudioUnitProperty_ParameterClumpName, kAudioUnitScope_Global, 0,
                                &clump, &size),
              kAudioUnitErr_InvalidElement);
}

TEST(AUProperties, ParameterTexts) {
    Unit unit(new GroupedAU());
    auto idName = [&](AudioUnitParameterID id, SInt32 length) {
        AudioUnitParameterIDName n = {id, length, nullptr};
        UInt32 size = sizeof n;
        const OSStatus status = unit->GetProperty(kAudioUnitProperty_ParameterIDName,
                                                  kAudioUnitScope_Global, 0, &n, &size);
        std::string text = status == noErr ? Text(n.outName) : "error";
        if (n.outName) CFRelease(n.outName);
        return text;
    };
    EXPECT_EQ(idName(0, 4), "Gain");
    EXPECT_EQ(idName(0, 3), "Gai");
    EXPECT_EQ(idName(0, -1), "Gain");
    EXPECT_EQ(idName(0, 40), "Gain");
    EXPECT_EQ(idName(0, -5), "error");
    EXPECT_EQ(idName(17, -1), "error");

    const Float32 half = 0.5f;
    AudioUnitParameterStringFromValue sfv = {0, &half, nullptr};
    UInt32 size = sizeof sfv;
    ASSERT_EQ(unit->GetProperty(kAudioUnitProperty_ParameterStringFromValue, kAudioUnitScope_Global,
                                0, &sfv, &size),
              noErr);
    EXPECT_EQ(Text(sfv.outString), "0.50");
    CFRelease(sfv.outString);
    sfv.inValue = nullptr;
    EXPECT_EQ(unit->GetProperty(kAudioUnitProperty_ParameterStringFromValue, kAudioUnitScope_Global,
                                0, &sfv, &size),
              kAudioUnitErr_InvalidElement);

    AudioUnitParameterValueFromString vfs = {3, CFSTR("fuzz"), -1.0f};
    size = sizeof vfs;
    EXPECT_EQ(unit->GetProperty(kAudioUnitProperty_ParameterValueFromString, kAudioUnitScope_Global,
                                0, &vfs, &size),
              noErr);
    EXPECT_EQ(vfs.outValue, 2.0f);
    vfs = {3, CFSTR("1"), -1.0f}; // no display text: read as a number
    EXPECT_EQ(unit->GetProperty(kAudioUnitProperty_ParameterValueFromString, kAudioUnitScope_Global,
                                0, &vfs, &size),
              noErr);
    EXPECT_EQ(vfs.outValue, 1.0f);
    vfs = {1, CFSTR(" -0.25 "), 0.0f};
    EXPECT_EQ(unit->GetProperty(kAudioUnitProperty_ParameterValueFromString, kAudioUnitScope_Global,
                                0, &vfs, &size),
              noErr);
    EXPECT_EQ(vfs.outValue, -0.25f);

    // Text that is neither a display text nor a number is refused, never read as 0.
    for (CFStringRef text : {CFSTR("warm"), CFSTR("abc"), CFSTR(""), CFSTR("0.5x"),
                             static_cast<CFStringRef>(nullptr)}) {
        for (AudioUnitParameterID id : {0u, 3u}) {
            vfs = {id, text, -1.0f};
            EXPECT_EQ(unit->GetProperty(kAudioUnitProperty_ParameterValueFromString,
                                        kAudioUnitScope_Global, 0, &vfs, &size),
                      kAudioUnitErr_InvalidPropertyValue)
                << Text(text) << " " << id;
            EXPECT_EQ(vfs.outValue, -1.0f);
        }
    }
    // Both conversions answer only in the global scope, and say so.
    vfs = {1, CFSTR("0.5"), -1.0f};
    sfv = {0, &half, nullptr};
    for (AudioUnitScope scope : {kAudioUnitScope_Input, kAudioUnitScope_Output}) {
        EXPECT_EQ(
            unit->GetProperty(kAudioUnitProperty_ParameterValueFromString, scope, 0, &vfs, &size),
            kAudioUnitErr_InvalidScope);
        EXPECT_EQ(
            unit->GetProperty(kAudioUnitProperty_ParameterStringFromValue, scope, 0, &sfv, &size),
            kAudioUnitErr_InvalidScope);
        EXPECT_EQ(unit->GetPropertyInfo(kAudioUnitProperty_ParameterStringFromValue, scope, 0,
                                        &size, nullptr),
                  kAudioUnitErr_InvalidScope);
    }
    EXPECT_EQ(vfs.outValue, -1.0f);
    EXPECT_EQ(sfv.outString, nullptr);

    CFArrayRef strings = nullptr;
    size = sizeof strings;
    ASSERT_EQ(unit->GetProperty(kAudioUnitProperty_ParameterValueStrings, kAudioUnitScope_Global, 3,
                                &strings, &size),
              noErr);
    ASSERT_EQ(CFArrayGetCount(strings), 3);
    EXPECT_EQ(Text(static_cast<CFStringRef>(CFArrayGetValueAtIndex(strings, 1))), "hard");
    CFRelease(strings);
    EXPECT_EQ(unit->GetProperty(kAudioUnitProperty_ParameterValueStrings, kAudioUnitScope_Global, 0,
                                &strings, &size),
              kAudioUnitErr_InvalidProperty);
    EXPECT_EQ(unit->GetPropertyInfo(kAudioUnitProperty_ParameterValueStrings,
                                    kAudioUnitScope_Global, 0, &size, nullptr),
              kAudioUnitErr_InvalidProperty);
    EXPECT_EQ(size, 0u);
}

TEST(AUProperties, ListenersHearSuccessfulChangesWithTheNewValue) {
    Unit unit(MakePlug(nullptr));
    g_unit = unit.get();
    g_heard.clear();
    int calls = 0, otherCalls = 0;
    unit->DoAddPropertyListener(kAudioUnitProperty_SampleRate, RecordingListener, &calls);
    unit->DoAddPropertyListener(kAudioUnitProperty_SampleRate, RecordingListener, &calls);
    unit->DoAddPropertyListener(kAudioUnitProperty_SampleRate, RecordingListener, &otherCalls);
    const Float64 rate = 96000.0;
    EXPECT_EQ(unit->SetProperty(kAudioUnitProperty_SampleRate, kAudioUnitScope_Global, 0, &rate,
                                sizeof rate),
              noErr);
    // One procedure with two user data is two registrations; the same three again are one.
    ASSERT_EQ(g_heard.size(), 2u);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(otherCalls, 1);
    EXPECT_EQ(g_heard[0].second, 96000.0); // the change is readable inside the call

    // Refused changes tell nobody.
    const Float64 badRate = -1.0;
    EXPECT_NE(unit->SetProperty(kAudioUnitProperty_SampleRate, kAudioUnitScope_Global, 0, &badRate,
                                sizeof badRate),
              noErr);
    unit->SetProperty(kAudioUnitProperty_SampleRate, kAudioUnitScope_Global, 0, nullptr, 0);
    EXPECT_EQ(calls, 1);

    unit->DoAddPropertyListener(kAudioUnitProperty_SampleRate, OtherListener, nullptr);
    unit->DoRemovePropertyListenerWithUserData(kAudioUnitProperty_SampleRate, RecordingListener,
                                               &otherCalls);
    unit->SetProperty(kAudioUnitProperty_SampleRate, kAudioUnitScope_Global, 0, &rate, sizeof rate);
    EXPECT_EQ(calls, 2); // only the registration with that user data went
    EXPECT_EQ(otherCalls, 1);
    unit->DoAddPropertyListener(kAudioUnitProperty_SampleRate, RecordingListener, &otherCalls);
    unit->DoRemovePropertyListener(kAudioUnitProperty_SampleRate, RecordingListener);
    unit->SetProperty(kAudioUnitProperty_SampleRate, kAudioUnitScope_Global, 0, &rate, sizeof rate);
    EXPECT_EQ(calls, 2); // every registration of the procedure went
    EXPECT_EQ(otherCalls, 1);

    unit->DoAddPropertyListener(kAudioUnitProperty_Latency, RecordingListener, &calls);
    g_heard.clear();
    unit->SetLatency(64);
    EXPECT_EQ(calls, 3);
    Float64 latency = 0;
    UInt32 size = sizeof latency;
    unit->GetProperty(kAudioUnitProperty_Latency, kAudioUnitScope_Global, 0, &latency, &size);
    EXPECT_DOUBLE_EQ(latency, 64.0 / 96000.0);
    EXPECT_EQ(unit->GetLatency(), 64);
    g_unit = nullptr;
}

namespace {

// Listeners that count their calls and may remove a registration (their own or another's)
// from inside the call.
struct Remover {
    IPlugAU* unit;
    int calls = 0;
    Remover* removes = nullptr;
    static void Proc(void* userData, AudioUnit, AudioUnitPropertyID id, AudioUnitScope,
                     AudioUnitElement) {
        Remover* self = static_cast<Remover*>(userData);
        ++self->calls;
        if (self->removes)
            self->unit->DoRemovePropertyListenerWithUserData(id, Proc, self->removes);
    }
};

} // namespace

TEST(AUProperties, ListenersMayRemoveRegistrationsWhileBeingTold) {
    Unit unit(MakePlug(nullptr));
    Remover first{unit.get()}, second{unit.get()}, third{unit.get()};
    first.removes = &first; // removes itself
    second.removes = &third;
    for (Remover* r : {&first, &second, &third})
        unit->DoAddPropertyListener(kAudioUnitProperty_BypassEffect, Remover::Proc, r);
    const UInt32 on = 1;
    ASSERT_EQ(unit->SetProperty(kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0, &on,
                                sizeof on),
              noErr);
    EXPECT_EQ(first.calls, 1);
    EXPECT_EQ(second.calls, 1); // not skipped when the one before it went
    EXPECT_EQ(third.calls, 0);  // removed before its turn
    ASSERT_EQ(unit->SetProperty(kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0, &on,
                                sizeof on),
              noErr);
    EXPECT_EQ(first.calls, 1);
    EXPECT_EQ(second.calls, 2);
}

// A product whose state reader fails after the class-info dictionary passed its checks: the
// set reports the failure.
TEST(AUProperties, ClassInfoReportsAStateReaderThatFails) {
    struct Failing : GroupedAU {
        int UnserializeState(ByteChunk*, int) override { return -1; }
    } unit;
    IPlugAU::ClassInfoState state;
    ASSERT_TRUE(unit.SerializeState(&state.chunk));
    EXPECT_EQ(unit.ApplyState(&state), kAudioUnitErr_InvalidPropertyValue);
}

TEST(AUProperties, BadInputIsRefused) {
    Unit unit(MakePlug(nullptr));
    UInt32 tiny = 2;
    UInt32 word = 0;
    EXPECT_EQ(
        unit->GetProperty(kAudioUnitProperty_SampleRate, kAudioUnitScope_Global, 0, &word, &tiny),
        kAudioUnitErr_InvalidPropertyValue);
    // No room, or no size at all: an error and nothing written.
    const UInt32 guard = 0xA5A5A5A5;
    for (AudioUnitPropertyID id : {kAudioUnitProperty_SampleRate, kAudioUnitProperty_StreamFormat,
                                   kAudioUnitProperty_ParameterInfo}) {
        std::vector<UInt32> buffer(32, guard);
        UInt32 none = 0, four = 4;
        EXPECT_EQ(unit->GetProperty(id, kAudioUnitScope_Global, 0, buffer.data(), &none),
                  kAudioUnitErr_InvalidPropertyValue)
            << id;
        EXPECT_EQ(none, 0u);
        EXPECT_EQ(unit->GetProperty(id, kAudioUnitScope_Global, 0, buffer.data(), &four),
                  kAudioUnitErr_InvalidPropertyValue)
            << id;
        EXPECT_EQ(unit->GetProperty(id, kAudioUnitScope_Global, 0, buffer.data(), nullptr),
                  paramErr)
            << id;
        EXPECT_EQ(std::count(buffer.begin(), buffer.end(), guard), 32) << id;
    }
    EXPECT_EQ(unit->GetProperty(kAudioUnitProperty_SampleRate, kAudioUnitScope_Global, 0, nullptr,
                                nullptr),
              paramErr);
    EXPECT_EQ(
        unit->SetProperty(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0, &word, 4),
        kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(unit->SetProperty(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0,
                                nullptr, 4),
              kAudioUnitErr_InvalidPropertyValue);
    const Float64 badRate = -1.0;
    EXPECT_EQ(unit->SetProperty(kAudioUnitProperty_SampleRate, kAudioUnitScope_Global, 0, &badRate,
                                sizeof badRate),
              kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(unit->GetSampleRate(), 44100.0);
    EXPECT_EQ(unit->SetProperty(12345, kAudioUnitScope_Global, 0, &word, 4),
              kAudioUnitErr_InvalidProperty);
    EXPECT_EQ(
        unit->SetProperty(kAudioUnitProperty_TailTime, kAudioUnitScope_Global, 0, &badRate, 8),
        kAudioUnitErr_InvalidProperty);
    AudioUnitConnection far = {nullptr, 0, 5};
    EXPECT_EQ(unit->SetProperty(kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, 0, &far,
                                sizeof far),
              kAudioUnitErr_InvalidProperty);
    AURenderCallbackStruct cb = {nullptr, nullptr};
    EXPECT_EQ(unit->SetProperty(kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 4, &cb,
                                sizeof cb),
              kAudioUnitErr_InvalidProperty);
    Float32 value = 0;
    EXPECT_EQ(unit->DoGetParameter(3, kAudioUnitScope_Global, 0, &value),
              kAudioUnitErr_InvalidElement);
    EXPECT_EQ(unit->SetParamProc(3, kAudioUnitScope_Global, 0, 1.0f, 0),
              kAudioUnitErr_InvalidElement);
    EXPECT_EQ(unit->DoGetParameter(0, kAudioUnitScope_Global, 0, nullptr), paramErr);
}

TEST(AUProperties, BypassPresetsAndMaximumFrames) {
    Unit unit(new GroupedAU());
    UInt32 on = 1, size = sizeof on;
    EXPECT_EQ(
        unit->SetProperty(kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0, &on, size),
        noErr);
    UInt32 got = 0;
    unit->GetProperty(kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0, &got, &size);
    EXPECT_EQ(got, 1u);

    AUPreset preset = {1, nullptr};
    EXPECT_EQ(unit->SetProperty(kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, 0,
                                &preset, sizeof preset),
              noErr);
    EXPECT_EQ(unit->GetParam(3)->Value(), 2.0);
    AUPreset current = {};
    size = sizeof current;
    ASSERT_EQ(unit->GetProperty(kAudioUnitProperty_CurrentPreset, kAudioUnitScope_Global, 0,
                                &current, &size),
              noErr);
    EXPECT_EQ(current.presetNumber, 1);
    EXPECT_EQ(Text(current.presetName), "second");
    CFRelease(current.presetName);

    // A number that is no factory preset is refused and the current one stays.
    for (AudioUnitPropertyID id :
         {kAudioUnitProperty_PresentPreset, kAudioUnitProperty_CurrentPreset}) {
        for (SInt32 number : {2, 999, -5}) {
            AUPreset bad = {number, nullptr};
            EXPECT_EQ(unit->SetProperty(id, kAudioUnitScope_Global, 0, &bad, sizeof bad),
                      kAudioUnitErr_InvalidPropertyValue)
                << number;
        }
    }
    EXPECT_EQ(unit->GetCurrentPresetIdx(), 1);
    EXPECT_EQ(unit->GetParam(3)->Value(), 2.0);

    CFArrayRef presets = nullptr;
    size = sizeof presets;
    ASSERT_EQ(unit->GetProperty(kAudioUnitProperty_FactoryPresets, kAudioUnitScope_Global, 0,
                                &presets, &size),
              noErr);
    ASSERT_EQ(CFArrayGetCount(presets), 2);
    const AUPreset* first = static_cast<const AUPreset*>(CFArrayGetValueAtIndex(presets, 0));
    EXPECT_EQ(first->presetNumber, 0);
    EXPECT_EQ(Text(first->presetName), "first");
    CFRelease(presets);

    UInt32 frames = 256;
    EXPECT_EQ(unit->SetProperty(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0,
                                &frames, sizeof frames),
              noErr);
    EXPECT_EQ(unit->GetBlockSize(), 256);
}
