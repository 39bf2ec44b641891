// .aupreset files through the host's preset reader, then restored into the built component as
// `zerub-host state load` does. Whatever the file holds, the unit's parameters stay finite and
// in range, and a refused restore leaves them as they were.
#include "FuzzSupport.h"
#include "host/HostApi.h"
#include "host/PresetFile.h"

#include <cmath>
#include <vector>

namespace {

struct Fixture {
    AudioUnit unit = fuzz::SharedUnit();
    std::vector<ParameterDescription> parameters;
    CFPropertyListRef initial = nullptr;
    fuzz::MemoryFile file;

    Fixture() {
        if (!ReadParameters(unit, &parameters)) fuzz::Fail("cannot describe the parameters");
        UInt32 size = sizeof initial;
        if (AudioUnitGetProperty(unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0,
                                 &initial, &size) != noErr)
            fuzz::Fail("the unit does not give its state");
    }

    std::vector<float> Values() const {
        std::vector<float> values;
        for (const ParameterDescription& p : parameters) {
            float v = 0;
            if (AudioUnitGetParameter(unit, p.id, kAudioUnitScope_Global, 0, &v) != noErr)
                fuzz::Fail("a listed parameter cannot be read");
            values.push_back(v);
        }
        return values;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    static Fixture fixture;
    if (!RestorePreset("initial", fixture.unit, fixture.initial))
        fuzz::Fail("the unit refuses its own state");
    const std::string& path = fixture.file.Write(bytes, size);

    CFPropertyListRef state = nullptr;
    const Status read = ReadPresetFile(path, fixture.unit, &state);
    if (!read) {
        if (state) fuzz::Fail("a refused preset handed back a state");
        if (read.message().find('\n') != std::string::npos)
            fuzz::Fail("a refusal is more than one line");
        return 0;
    }
    if (!state || CFGetTypeID(state) != CFDictionaryGetTypeID())
        fuzz::Fail("an accepted preset is not a dictionary");
    const std::vector<float> before = fixture.Values();
    const Status restored = RestorePreset(path, fixture.unit, state);
    CFRelease(state);
    const std::vector<float> after = fixture.Values();
    if (!restored && after != before) fuzz::Fail("a refused preset changed a parameter");
    for (size_t i = 0; i < after.size(); ++i)
        if (!std::isfinite(after[i]) || after[i] < fixture.parameters[i].minValue ||
            after[i] > fixture.parameters[i].maxValue)
            fuzz::Fail("a preset set a parameter outside its range");
    return 0;
}
