// --param NAME=VALUE as zerub-host resolves it against the built component's parameters. The
// input is one or more assignments separated by NUL bytes (a command line cannot hold one).
// An accepted assignment names a listed parameter with a finite value inside its range.
#include "FuzzSupport.h"
#include "host/HostApi.h"
#include "host/ParamAssignment.h"

#include <cmath>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    static const std::vector<ParameterDescription> parameters = [] {
        std::vector<ParameterDescription> read;
        if (!ReadParameters(fuzz::SharedUnit(), &read))
            fuzz::Fail("cannot describe the parameters");
        return read;
    }();

    std::vector<std::string> texts(1);
    for (size_t i = 0; i < size; ++i) {
        if (bytes[i] == 0)
            texts.emplace_back();
        else
            texts.back() += static_cast<char>(bytes[i]);
    }
    std::vector<ParamAssignment> assignments;
    const Status status = ResolveParams(texts, parameters, &assignments);
    if (!status) {
        if (status.message().find('\n') != std::string::npos)
            fuzz::Fail("a refusal is more than one line");
        return 0;
    }
    if (assignments.size() != texts.size()) fuzz::Fail("an assignment went missing");
    for (const ParamAssignment& a : assignments) {
        const ParameterDescription* found = nullptr;
        for (const ParameterDescription& p : parameters)
            if (p.id == a.id) found = &p;
        if (!found) fuzz::Fail("an assignment names no listed parameter");
        if (!std::isfinite(a.value) || a.value < found->minValue || a.value > found->maxValue)
            fuzz::Fail("an accepted value lies outside the parameter's range");
    }
    return 0;
}
