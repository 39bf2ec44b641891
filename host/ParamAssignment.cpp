#include "host/ParamAssignment.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ostream>

namespace {

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

bool ParseReal(const std::string& text, double* value) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || errno == ERANGE || !std::isfinite(v)) return false;
    *value = v;
    return true;
}

bool ParseIndex(const std::string& text, unsigned long* index) {
    if (text.empty() || text.size() > 9) return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    *index = std::strtoul(text.c_str(), nullptr, 10);
    return true;
}

} // namespace

Status ResolveParam(const std::string& text, const std::vector<ParameterDescription>& parameters,
                    ParamAssignment* assignment) {
    const size_t equals = text.find('=');
    if (equals == std::string::npos || equals == 0)
        return Status::Fail("--param " + Printable(text) + ": expected NAME=VALUE");
    const std::string key = text.substr(0, equals);
    const std::string valueText = text.substr(equals + 1);

    // A name first, so that a parameter called "2" is found by its name.
    const ParameterDescription* found = nullptr;
    for (const ParameterDescription& p : parameters)
        if (!found && Lower(p.name) == Lower(key)) found = &p;
    unsigned long index = 0;
    if (!found && ParseIndex(key, &index))
        for (const ParameterDescription& p : parameters)
            if (!found && p.id == index) found = &p;
    if (!found) {
        std::string names;
        for (const ParameterDescription& p : parameters)
            names += (names.empty() ? "" : ", ") + p.name;
        return Status::Fail("--param " + Printable(text) + ": no parameter named " +
                            Printable(key) + " (the component has " +
                            (names.empty() ? std::string("none") : names) + ")");
    }
    double value = 0.0;
    if (!ParseReal(valueText, &value))
        return Status::Fail("--param " + Printable(text) + ": " + Printable(valueText) +
                            " is not a number");
    if (value < found->minValue || value > found->maxValue)
        return Status::Fail("--param " + Printable(text) + ": outside the range of " + found->name +
                            ", " + Number(found->minValue) + " .. " + Number(found->maxValue));
    assignment->id = found->id;
    assignment->name = found->name;
    assignment->value = static_cast<float>(value);
    return Status::Ok();
}

Status ResolveParams(const std::vector<std::string>& texts,
                     const std::vector<ParameterDescription>& parameters,
                     std::vector<ParamAssignment>* assignments) {
    std::vector<ParamAssignment> result(texts.size());
    for (size_t i = 0; i < texts.size(); ++i) {
        if (Status s = ResolveParam(texts[i], parameters, &result[i]); !s) return s;
        // Which of two values was meant cannot be known, whatever the spelling of the name.
        for (size_t j = 0; j < i; ++j)
            if (result[j].id == result[i].id)
                return Status::Fail("--param " + Printable(texts[i]) + ": " + result[i].name +
                                    " is already given (--param " + Printable(texts[j]) + ")");
    }
    *assignments = std::move(result);
    return Status::Ok();
}

Status ApplyParams(AudioUnit unit, const std::vector<ParamAssignment>& assignments) {
    for (const ParamAssignment& a : assignments) {
        const OSStatus status =
            AudioUnitSetParameter(unit, a.id, kAudioUnitScope_Global, 0, a.value, 0);
        if (status != noErr)
            return Status::Fail("the component refuses " + a.name + " = " + Number(a.value) + " (" +
                                StatusText(status) + ")");
    }
    return Status::Ok();
}

Status PrintParamValues(AudioUnit unit, const std::vector<ParameterDescription>& parameters,
                        std::ostream& out) {
    size_t width = 0;
    for (const ParameterDescription& p : parameters)
        width = std::max(width, p.name.size());
    for (const ParameterDescription& p : parameters) {
        AudioUnitParameterValue value = 0.0f;
        const OSStatus status =
            AudioUnitGetParameter(unit, p.id, kAudioUnitScope_Global, 0, &value);
        if (status != noErr)
            return Status::Fail("cannot read parameter " + p.name + " (" + StatusText(status) +
                                ")");
        char text[48];
        std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
        out << p.name << std::string(width - p.name.size() + 2, ' ') << text << '\n';
    }
    return Status::Ok();
}
