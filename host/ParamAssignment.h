// --param NAME=VALUE as a host resolves it against what the unit says of its parameters.
#pragma once

#include "host/HostApi.h"
#include "host/Status.h"

#include <string>
#include <vector>

struct ParamAssignment {
    AudioUnitParameterID id = 0;
    std::string name;
    float value = 0.0f;
};

// Resolves "NAME=VALUE": NAME is a parameter name (any case) or a parameter ID; VALUE a real
// value within the parameter's range (nothing is clamped: a value outside it is refused).
Status ResolveParam(const std::string& text, const std::vector<ParameterDescription>& parameters,
                    ParamAssignment* assignment);

// Resolves every assignment, stopping at the first that does not resolve or that names a
// parameter an earlier one already set.
Status ResolveParams(const std::vector<std::string>& texts,
                     const std::vector<ParameterDescription>& parameters,
                     std::vector<ParamAssignment>* assignments);

// Sets each value with AudioUnitSetParameter.
Status ApplyParams(AudioUnit unit, const std::vector<ParamAssignment>& assignments);

// Current values as "Name value" lines, one per parameter, in the unit's order.
Status PrintParamValues(AudioUnit unit, const std::vector<ParameterDescription>& parameters,
                        std::ostream& out);
