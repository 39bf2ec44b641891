#include "host/StateCommand.h"

#include "host/HostApi.h"
#include "host/ParamAssignment.h"
#include "host/PresetFile.h"

Status SaveState(const std::string& component, const std::string& path,
                 const std::vector<std::string>& params, std::ostream& out) {
    UnitInstance instance;
    if (Status s = OpenInstance(component, &instance); !s) return s;
    std::vector<ParameterDescription> parameters;
    if (Status s = ReadParameters(instance.get(), &parameters); !s) return s;
    std::vector<ParamAssignment> assignments;
    if (Status s = ResolveParams(params, parameters, &assignments); !s) return s;
    if (Status s = ApplyParams(instance.get(), assignments); !s) return s;
    if (Status s = WritePresetFile(path, instance.get()); !s) return s;
    return PrintParamValues(instance.get(), parameters, out);
}

Status LoadState(const std::string& component, const std::string& path, std::ostream& out) {
    UnitInstance instance;
    if (Status s = OpenInstance(component, &instance); !s) return s;
    std::vector<ParameterDescription> parameters;
    if (Status s = ReadParameters(instance.get(), &parameters); !s) return s;
    CFPropertyListRef state = nullptr;
    if (Status s = ReadPresetFile(path, instance.get(), &state); !s) return s;
    CFOwner owner(state);
    if (Status s = RestorePreset(path, instance.get(), state); !s) return s;
    return PrintParamValues(instance.get(), parameters, out);
}
