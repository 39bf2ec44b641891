// Small pieces for tests that drive a unit through the host-side API only.
#pragma once

#include <AudioUnit/AudioUnit.h>
#include <CoreFoundation/CoreFoundation.h>

// Non-interleaved 32-bit float, the format hosts hand the unit its buffers in.
inline AudioStreamBasicDescription FloatFormat(double rate, int channels) {
    const AudioFormatFlags flags =
        kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked | kAudioFormatFlagIsNonInterleaved;
    return {rate, kAudioFormatLinearPCM, flags, 4, 1, 4, static_cast<UInt32>(channels), 32, 0};
}

// A copy of a class-info dictionary with one key replaced (or removed, for a null value).
inline CFMutableDictionaryRef With(CFPropertyListRef source, const char* key, CFTypeRef value) {
    CFMutableDictionaryRef copy =
        CFDictionaryCreateMutableCopy(nullptr, 0, static_cast<CFDictionaryRef>(source));
    CFStringRef cfKey = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
    if (value)
        CFDictionarySetValue(copy, cfKey, value);
    else
        CFDictionaryRemoveValue(copy, cfKey);
    CFRelease(cfKey);
    return copy;
}
