// Saved state (the class-info dictionary) and the factory preset array.
#include "au/IPlugAU.h"

#include "au/IPlugAUQuality.h"
#include "au/au_preset_utils.h"

// The component's description was looked up at open: the registry is not asked under the mutex.

OSStatus IPlugAU::GetState(CFPropertyListRef* plist) {
    if (componentDescStatus != noErr) return componentDescStatus;
    const AudioComponentDescription& desc = componentDesc;

    CFMutableDictionaryRef dict = CFDictionaryCreateMutable(
        kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    if (!dict) return coreFoundationUnknownErr;
    const SInt32 classVersion = GetEffectVersion(false);
    const SInt32 type = static_cast<SInt32>(desc.componentType);
    const SInt32 subtype = static_cast<SInt32>(desc.componentSubType);
    const SInt32 manufacturer = static_cast<SInt32>(desc.componentManufacturer);
    PutNumberInDict(dict, "version", &classVersion, kCFNumberSInt32Type);
    PutNumberInDict(dict, "type", &type, kCFNumberSInt32Type);
    PutNumberInDict(dict, "subtype", &subtype, kCFNumberSInt32Type);
    PutNumberInDict(dict, "manufacturer", &manufacturer, kCFNumberSInt32Type);
    PutStrInDict(dict, "name", GetPresetName(GetCurrentPresetIdx()));

    ByteChunk chunk;
    if (SerializeState(&chunk)) PutDataInDict(dict, "data", &chunk);
    // Only a setting other than standard is written: standard sessions stay as they were.
    const SInt32 quality = GetQuality();
    if (quality != 0)
        PutNumberInDict(dict, kIPlugQualityClassInfoKey, &quality, kCFNumberSInt32Type);
    *plist = dict;
    return noErr;
}

OSStatus IPlugAU::ReadState(CFPropertyListRef plist, ClassInfoState* state) {
    if (componentDescStatus != noErr) return componentDescStatus;
    const AudioComponentDescription& desc = componentDesc;
    if (!plist || CFGetTypeID(plist) != CFDictionaryGetTypeID())
        return kAudioUnitErr_InvalidPropertyValue;
    CFDictionaryRef dict = static_cast<CFDictionaryRef>(plist);

    // The version must be there and be a number, as in every saved state, but its value is not
    // compared: a state saved by another version of the unit restores.
    SInt32 savedVersion, type, subtype, manufacturer;
    if (!GetSInt32FromDict(dict, "version", &savedVersion) ||
        !GetSInt32FromDict(dict, "type", &type) || !GetSInt32FromDict(dict, "subtype", &subtype) ||
        !GetSInt32FromDict(dict, "manufacturer", &manufacturer))
        return kAudioUnitErr_InvalidPropertyValue;
    if (!GetStrFromDict(dict, "name", state->name, sizeof state->name))
        return kAudioUnitErr_InvalidPropertyValue;
    if (static_cast<OSType>(type) != desc.componentType ||
        static_cast<OSType>(subtype) != desc.componentSubType ||
        static_cast<OSType>(manufacturer) != desc.componentManufacturer)
        return kAudioUnitErr_InvalidPropertyValue;
    // A chunk that could only be applied in part (too short, or holding values no parameter can
    // take) is refused whole.
    if (!GetDataFromDict(dict, "data", &state->chunk) || !IsValidState(&state->chunk, 0))
        return kAudioUnitErr_InvalidPropertyValue;
    state->quality = 0;
    CFStringRef qualityKey = CFStringCreateWithCString(
        kCFAllocatorDefault, kIPlugQualityClassInfoKey, kCFStringEncodingUTF8);
    if (!qualityKey) return coreFoundationUnknownErr;
    const bool hasQuality = CFDictionaryContainsKey(dict, qualityKey);
    CFRelease(qualityKey);
    if (hasQuality) {
        SInt32 quality;
        if (!GetSInt32FromDict(dict, kIPlugQualityClassInfoKey, &quality) || quality < 0 ||
            quality > 1)
            return kAudioUnitErr_InvalidPropertyValue;
        state->quality = quality;
    }
    return noErr;
}

OSStatus IPlugAU::ApplyState(ClassInfoState* state) {
    WDL_MutexLock lock(&mutex);
    // First, so that a product refusing the setting leaves everything as it was.
    if (!ChangeQuality(state->quality)) return kAudioUnitErr_InvalidPropertyValue;
    RestorePreset(state->name);
    if (UnserializeState(&state->chunk, 0) < 0) return kAudioUnitErr_InvalidPropertyValue;
    RedrawParamControls();
    return noErr;
}

OSStatus IPlugAU::SetState(CFPropertyListRef plist) {
    ClassInfoState state;
    if (OSStatus status = ReadState(plist, &state)) return status;
    return ApplyState(&state);
}

CFMutableArrayRef IPlugAU::CreateFactoryPresetArray() {
    const int n = NPresets();
    CFMutableArrayRef presetArray =
        CFArrayCreateMutable(kCFAllocatorDefault, n, &kCFAUPresetArrayCallBacks);
    if (!presetArray) return nullptr;
    for (int i = 0; i < n; ++i) {
        CFStringRef name =
            CFStringCreateWithCString(kCFAllocatorDefault, GetPresetName(i), kCFStringEncodingUTF8);
        if (CFAUPresetRef preset = CFAUPresetCreate(kCFAllocatorDefault, i, name)) {
            CFArrayAppendValue(presetArray, preset);
            CFAUPresetRelease(preset);
        }
        if (name) CFRelease(name);
    }
    return presetArray;
}
