#include "editor/ValueText.h"

#include "plugin/IParam.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char* SkipSpaces(const char* s) {
    while (*s && std::isspace(static_cast<unsigned char>(*s)))
        ++s;
    return s;
}

// Whether s starts with word, whatever the case of either; *rest is what follows it.
bool StartsWithNoCase(const char* s, const char* word, const char** rest) {
    for (; *word; ++s, ++word)
        if (std::tolower(static_cast<unsigned char>(*s)) !=
            std::tolower(static_cast<unsigned char>(*word)))
            return false;
    *rest = s;
    return true;
}

} // namespace

void ValueReadoutText(const IParam* param, double normalized, char* out, int size) {
    if (!out || size <= 0) return;
    *out = 0;
    if (!param) return;
    char display[IParam::kMaxNameLen];
    param->GetDisplayForHost(normalized, true, display, sizeof(display), true);
    const double real = param->GetNonNormalized(normalized);
    // The label belongs to numbers only: a value shown by a display text has none.
    const bool hasText =
        param->GetNDisplayTexts() > 0 && *param->GetDisplayText(static_cast<int>(std::trunc(real)));
    const char* label = hasText ? "" : param->GetLabelForHost();
    std::snprintf(out, static_cast<size_t>(size), "%s %s%s%s", param->GetNameForHost(), display,
                  *label ? " " : "", label);
}

bool ParseTypedValue(const IParam* param, const char* text, double* value) {
    if (!param || !text || !value) return false;
    const char* start = SkipSpaces(text);
    size_t len = std::strlen(start);
    while (len > 0 && std::isspace(static_cast<unsigned char>(start[len - 1])))
        --len;
    if (len == 0 || len >= IParam::kMaxNameLen) return false;
    char trimmed[IParam::kMaxNameLen];
    std::memcpy(trimmed, start, len);
    trimmed[len] = 0;

    double v = 0.0;
    int mapped = 0;
    if (param->GetNDisplayTexts() > 0 && param->MapDisplayText(trimmed, &mapped)) {
        v = mapped;
    } else {
        char* end = nullptr;
        v = std::strtod(trimmed, &end);
        if (end == trimmed || !std::isfinite(v)) return false;
        const char* rest = SkipSpaces(end);
        const char* label = param->GetLabelForHost();
        if (*rest && *label && StartsWithNoCase(rest, label, &rest)) rest = SkipSpaces(rest);
        if (*rest) return false;
        if (param->GetNegateDisplay()) v = -v;
    }
    *value = std::min(std::max(v, param->GetMin()), param->GetMax());
    return true;
}
