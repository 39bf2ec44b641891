// The headers give C and C++ the same record layouts and constant values, the macOS ones.
#include <AudioToolbox/AudioToolbox.h>
#include <AudioUnit/AudioUnit.h>
#include <CoreServices/CoreServices.h>

#include <gtest/gtest.h>

#include <cstddef>

#include "c_layouts.h"

namespace {

TEST(Headers, CAndCppAgreeOnLayoutsAndValues) {
    CLayouts c{};
    ZerubCLayouts(&c);
    EXPECT_EQ(c.streamDescription, 40u);
    EXPECT_EQ(c.timeStamp, 64u);
    EXPECT_EQ(c.parameterInfo, 104u);
    EXPECT_EQ(c.componentParameters, sizeof(ComponentParameters));
    EXPECT_EQ(c.plugInInterface, sizeof(AudioComponentPlugInInterface));
    EXPECT_EQ(c.event, sizeof(AudioUnitEvent));
    EXPECT_EQ(c.hostCallbacks, sizeof(HostCallbackInfo));
    EXPECT_EQ(c.parameterEvent, sizeof(AudioUnitParameterEvent));
    EXPECT_EQ(c.channelLayout, sizeof(AudioChannelLayout));
    EXPECT_EQ(c.stringFromValue, sizeof(AudioUnitParameterStringFromValue));
    EXPECT_EQ(c.badSelector, -2147450878L);
    EXPECT_EQ(c.renderSelect, 14);
    EXPECT_EQ(c.cocoaUI, 31);
    EXPECT_EQ(c.stereoTag, 6619138UL);
}

TEST(Headers, FieldOffsetsAreTheMacOSOnes) {
    EXPECT_EQ(offsetof(AudioStreamBasicDescription, mChannelsPerFrame), 28u);
    EXPECT_EQ(offsetof(AudioTimeStamp, mSMPTETime), 32u);
    EXPECT_EQ(offsetof(AudioTimeStamp, mFlags), 56u);
    EXPECT_EQ(offsetof(AudioUnitParameterInfo, unitName), 56u);
    EXPECT_EQ(offsetof(AudioUnitParameterInfo, cfNameString), 72u);
    EXPECT_EQ(offsetof(AudioUnitParameterInfo, flags), 96u);
    EXPECT_EQ(offsetof(ComponentParameters, params), 8u);
    EXPECT_EQ(offsetof(AudioUnitParameterEvent, eventValues), 16u);
    EXPECT_EQ(offsetof(AudioUnitEvent, mArgument), 8u);
    EXPECT_EQ(offsetof(HostCallbackInfo, transportStateProc), 24u);
    EXPECT_EQ(offsetof(AudioBufferList, mBuffers), 8u);
    EXPECT_EQ(offsetof(AudioUnitParameterValueFromString, outValue), 16u);
    EXPECT_EQ(kAudioUnitParameterFlag_IsReadable | kAudioUnitParameterFlag_HasCFNameString |
                  kAudioUnitParameterFlag_CFNameRelease,
              0x48000010u);
    EXPECT_EQ(kAudioFormatLinearPCM, 0x6C70636Du);
    EXPECT_EQ(kAudioUnitType_Effect, 0x61756678u);
}

} // namespace
