#include "plugin/IParam.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

void CopyCut(char* dest, const char* src, int size) {
    if (size <= 0) return;
    int n = 0;
    if (src)
        while (n < size - 1 && src[n])
            ++n;
    std::memcpy(dest, src ? src : "", static_cast<size_t>(n));
    dest[n] = 0;
}

void IParam::InitCommon(EParamType paramType, const char* nameText, double defaultVal,
                        const char* labelText, const char* groupText) {
    if (type == kTypeNone) type = paramType;
    CopyCut(name, nameText, kMaxNameLen);
    CopyCut(label, labelText, kMaxNameLen);
    CopyCut(group, groupText, kMaxNameLen);
    value = defaultValue = defaultVal;
    displayPrecision = 0;
}

void IParam::InitBool(const char* nameText, bool defaultVal, const char* labelText,
                      const char* groupText) {
    InitCommon(kTypeBool, nameText, defaultVal ? 1.0 : 0.0, labelText, groupText);
    min = 0.0;
    max = 1.0;
    step = 1.0;
    shape = 1.0;
    SetDisplayText(0, "off");
    SetDisplayText(1, "on");
}

void IParam::InitEnum(const char* nameText, int defaultVal, int nEnums, const char* labelText,
                      const char* groupText) {
    InitCommon(kTypeEnum, nameText, defaultVal, labelText, groupText);
    min = 0.0;
    max = std::max(1.0, double(nEnums) - 1.0);
    step = 1.0;
    shape = 1.0;
}

void IParam::InitInt(const char* nameText, int defaultVal, int minVal, int maxVal,
                     const char* labelText, const char* groupText) {
    InitCommon(kTypeInt, nameText, defaultVal, labelText, groupText);
    min = minVal;
    max = std::max(double(minVal) + 1.0, double(maxVal));
    step = 1.0;
    shape = 1.0;
}

void IParam::InitDouble(const char* nameText, double defaultVal, double minVal, double maxVal,
                        double stepVal, const char* labelText, const char* groupText,
                        double shapeVal) {
    InitCommon(kTypeDouble, nameText, defaultVal, labelText, groupText);
    min = minVal;
    max = std::max(minVal + stepVal, maxVal);
    step = stepVal;
    // Decimals to show: as many as the step needs, at most six.
    int precision = 0;
    for (double s = stepVal; precision < 6 && !(s == std::floor(s)); s *= 10.0)
        ++precision;
    displayPrecision = precision;
    SetShape(shapeVal);
}

void IParam::SetShape(double shapeVal) {
    if (shapeVal != 0.0) shape = shapeVal;
}

bool IParam::SetDisplayText(int entryValue, const char* entryText) {
    DisplayTextEntry entry;
    entry.value = entryValue;
    CopyCut(entry.text, entryText, kMaxNameLen);
    return displayTexts.Add(&entry, 1) != nullptr;
}

void IParam::SetNormalized(double normalizedValue) {
    double v = (max - min) * std::pow(normalizedValue, shape) + min;
    if (type != kTypeDouble) v = std::floor(v / step + 0.5) * step;
    if (std::isfinite(v)) value = std::min(v, max);
}

double IParam::GetNormalized(double v) const {
    const double c = v < min ? min : (v > max ? max : v);
    return std::pow((c - min) / (max - min), 1.0 / shape);
}

double IParam::GetNonNormalized(double normalizedValue) const {
    return (max - min) * std::pow(normalizedValue, shape) + min;
}

double IParam::DBToAmp() const {
    return std::exp(value * 0.1151292546497);
}

namespace {

// Truncation toward zero that stays defined for values outside the int range.
int TruncToInt(double v) {
    if (!(v > -2147483649.0 && v < 2147483648.0)) return v > 0 ? 2147483647 : -2147483647 - 1;
    return static_cast<int>(v);
}

} // namespace

void IParam::GetDisplayForHost(double v, bool normalized, char* out, int outSize,
                               bool withDisplayText) const {
    if (!out || outSize <= 0) return;
    if (normalized) v = GetNonNormalized(v);
    if (withDisplayText && GetNDisplayTexts()) {
        const char* entryText = GetDisplayText(TruncToInt(v));
        if (*entryText) {
            CopyCut(out, entryText, outSize);
            return;
        }
    }
    if (negateDisplay) v = -v;
    if (displayPrecision == 0)
        std::snprintf(out, static_cast<size_t>(outSize), "%d", TruncToInt(v));
    else
        std::snprintf(out, static_cast<size_t>(outSize), "%.*f", displayPrecision, v);
}

const char* IParam::GetLabelForHost() const {
    return *GetDisplayText(TruncToInt(value)) ? "" : label;
}

const char* IParam::GetDisplayText(int v) const {
    const DisplayTextEntry* entries = displayTexts.Get();
    for (int i = 0, n = GetNDisplayTexts(); i < n; ++i)
        if (entries[i].value == v) return entries[i].text;
    return "";
}

const char* IParam::GetDisplayTextAtIdx(int idx, int* entryValue) const {
    if (idx < 0 || idx >= GetNDisplayTexts()) return "";
    const DisplayTextEntry& entry = displayTexts.Get()[idx];
    if (entryValue) *entryValue = entry.value;
    return entry.text;
}

bool IParam::MapDisplayText(const char* entryText, int* entryValue) const {
    if (!entryText) return false;
    const DisplayTextEntry* entries = displayTexts.Get();
    for (int i = 0, n = GetNDisplayTexts(); i < n; ++i) {
        if (!std::strcmp(entries[i].text, entryText)) {
            if (entryValue) *entryValue = entries[i].value;
            return true;
        }
    }
    return false;
}

void IParam::GetBounds(double* lo, double* hi) const {
    if (lo) *lo = min;
    if (hi) *hi = max;
}
