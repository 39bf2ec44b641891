// Small pieces every subcommand that talks to a component needs: ownership of Core Foundation
// references and instances, reading properties whose size the unit decides, parameter
// descriptions, and finding the component. Host-side calls only.
#pragma once

#include "host/Status.h"

#include <AudioToolbox/AudioToolbox.h>
#include <CoreFoundation/CoreFoundation.h>

#include <string>
#include <vector>

// The product's identity, for finding it on the search path.
constexpr OSType kZerubSubtype = 0x5A524231;      // 'ZRB1'
constexpr OSType kZerubManufacturer = 0x516D6F72; // 'Qmor'
// Zerub's quality setting, as its documentation gives it: a custom property, UInt32 in the global
// scope, 0 standard, 1 HQ.
constexpr AudioUnitPropertyID kZerubQualityProperty = 64000;

// A unit answering more than this for one property is not believed.
constexpr UInt32 kMaxPropertySize = 1 << 20;

// Owns one Core Foundation reference.
class CFOwner {
public:
    explicit CFOwner(CFTypeRef owned = nullptr) : ref(owned) {}
    ~CFOwner() {
        if (ref) CFRelease(ref);
    }
    CFOwner(const CFOwner&) = delete;
    CFOwner& operator=(const CFOwner&) = delete;
    CFTypeRef get() const { return ref; }

private:
    CFTypeRef ref;
};

// Disposes of an instance when it goes out of scope.
class UnitInstance {
public:
    explicit UnitInstance(AudioComponentInstance instance = nullptr) : unit(instance) {}
    ~UnitInstance() {
        if (unit) AudioComponentInstanceDispose(unit);
    }
    UnitInstance(const UnitInstance&) = delete;
    UnitInstance& operator=(const UnitInstance&) = delete;
    AudioUnit get() const { return unit; }
    void reset(AudioComponentInstance next = nullptr) {
        if (unit) AudioComponentInstanceDispose(unit);
        unit = next;
    }

private:
    AudioComponentInstance unit;
};

// Text from a component goes to a terminal: control characters are shown as '?'.
std::string Printable(std::string text);

// "" for a null reference or one that is not a string (a unit may hand back anything).
std::string FromCFString(CFStringRef string);

// A new string; null only when memory runs out.
CF_RETURNS_RETAINED CFStringRef ToCFString(const std::string& text);

// 'aufx' as text; codes with unprintable bytes as hexadecimal.
std::string FourCC(UInt32 code);

std::string StatusText(OSStatus status);

// Reads a global property of variable size: its size from GetPropertyInfo, then the data. An
// empty vector with noErr means the property is empty.
OSStatus ReadProperty(AudioUnit unit, AudioUnitPropertyID id, AudioUnitElement element,
                      std::vector<unsigned char>* data);

// Reads a global property of fixed size into value; a different size is an error.
template <typename T>
OSStatus ReadFixed(AudioUnit unit, AudioUnitPropertyID property, AudioUnitElement element,
                   T* value) {
    // NOLINTNEXTLINE(bugprone-sizeof-expression): T may be a pointer; its size is what travels
    UInt32 size = sizeof(T);
    const OSStatus status =
        AudioUnitGetProperty(unit, property, kAudioUnitScope_Global, element, value, &size);
    // NOLINTNEXTLINE(bugprone-sizeof-expression): as above
    if (status == noErr && size != sizeof(T)) return kAudioUnitErr_InvalidPropertyValue;
    return status;
}

// What a host needs to know of one parameter to set it by name and check the value.
struct ParameterDescription {
    AudioUnitParameterID id = 0;
    std::string name;
    float minValue = 0.0f;
    float maxValue = 0.0f;
    float defaultValue = 0.0f;
    UInt32 flags = 0;
    UInt32 unit = 0;
    std::string unitName; // for a custom unit
};

// The parameter IDs the unit lists.
OSStatus ReadParameterList(AudioUnit unit, std::vector<AudioUnitParameterID>* ids);

// One parameter's information; the strings the unit hands over are released here.
OSStatus ReadParameterInfo(AudioUnit unit, AudioUnitParameterID id, ParameterDescription* info);

// Every listed parameter, or a failure naming the one that cannot be described.
Status ReadParameters(AudioUnit unit, std::vector<ParameterDescription>* parameters);

// The bundle at path when it is not empty, else the first Zerub on the search path.
Status FindComponent(const std::string& path, AudioComponent* found);

// Finds the component and makes an instance of it.
Status OpenInstance(const std::string& path, UnitInstance* instance);

// 32-bit float, non-interleaved, one buffer per channel: the only audio format a unit is given.
AudioStreamBasicDescription FloatFormat(double rate, UInt32 channels);
