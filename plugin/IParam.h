// One automatable parameter: its real value and range, the mapping to the normalised 0..1 range
// that hosts and controls exchange, and its text for the host.
//
// Not synchronised: writers hold the plug-in mutex (see IPlugBase) while they change values.
#pragma once

#include "containers/WDL_TypedBuf.h"

#include <cmath>

class IParam {
public:
    enum EParamType { kTypeNone = 0, kTypeBool, kTypeInt, kTypeEnum, kTypeDouble };

    static constexpr int kMaxNameLen = 32; // name, label, group and display texts, NUL included

    IParam() = default;
    IParam(const IParam&) = delete;
    IParam& operator=(const IParam&) = delete;

    // Initialisers. The first one called decides the type; each copies name, label and group
    // (cut to 31 characters) and sets the value and the default.
    void InitBool(const char* name, bool defaultVal, const char* label = "",
                  const char* group = "");
    void InitEnum(const char* name, int defaultVal, int nEnums, const char* label = "",
                  const char* group = "");
    void InitInt(const char* name, int defaultVal, int minVal, int maxVal, const char* label = "",
                 const char* group = "");
    void InitDouble(const char* name, double defaultVal, double minVal, double maxVal, double step,
                    const char* label = "", const char* group = "", double shape = 1.0);

    void SetShape(double shape);                      // ignores exactly 0.0
    bool SetDisplayText(int value, const char* text); // false when out of memory
    void SetNegateDisplay(bool negate) { negateDisplay = negate; }
    void SetCanAutomate(bool canAutomate) { automatable = canAutomate; }
    void SetIsMeta(bool meta) { metaParam = meta; }

    // Clamps to [min, max]. Boolean, integer and enumerated parameters hold whole values: a
    // fraction is truncated toward zero, the value their users (Int(), the host text) act on,
    // so 0.7 on a 0..1 switch is 0. Non-finite values are ignored: NaN would pass both range
    // tests and poison the processing state for good, and an infinity is no value a host or a
    // file can mean.
    void Set(double v) {
        if (!std::isfinite(v)) return;
        if (type != kTypeDouble && type != kTypeNone) v = std::trunc(v);
        value = v < min ? min : (v > max ? max : v);
    }
    // Maps through the shape, rounds non-double types to the step, clamps to max only. A
    // non-finite position, or one the shape maps to no finite value, is ignored.
    void SetNormalized(double normalizedValue);

    double Value() const { return value; }
    bool Bool() const { return value >= 0.5; }
    int Int() const { return static_cast<int>(value); }
    double DBToAmp() const;

    double GetNormalized() const { return GetNormalized(value); }
    double GetNormalized(double nonNormalizedValue) const;
    double GetNonNormalized(double normalizedValue) const;

    // Writes the host text for value (normalised when normalized is true) into out, which
    // holds at least outSize bytes (the text is cut to fit).
    void GetDisplayForHost(double value, bool normalized, char* out, int outSize,
                           bool withDisplayText = true) const;
    void GetDisplayForHost(char* out, int outSize, bool withDisplayText = true) const {
        GetDisplayForHost(value, false, out, outSize, withDisplayText);
    }

    const char* GetNameForHost() const { return name; }
    const char* GetLabelForHost() const;
    const char* GetParamGroupForHost() const { return group; }

    const char* GetDisplayText(int value) const;
    int GetNDisplayTexts() const { return displayTexts.GetSize(); }
    // Text of entry idx (the caller keeps idx within the count); its value through value.
    const char* GetDisplayTextAtIdx(int idx, int* value = nullptr) const;
    bool MapDisplayText(const char* text, int* value) const;

    void GetBounds(double* lo, double* hi) const;
    EParamType Type() const { return type; }
    double GetDefault() const { return defaultValue; }
    double GetMin() const { return min; }
    double GetMax() const { return max; }
    double GetStep() const { return step; }
    double GetShape() const { return shape; }
    int GetDisplayPrecision() const { return displayPrecision; }
    bool GetNegateDisplay() const { return negateDisplay; }
    bool GetCanAutomate() const { return automatable; }
    bool GetIsMeta() const { return metaParam; }

private:
    struct DisplayTextEntry {
        int value;
        char text[kMaxNameLen];
    };

    void InitCommon(EParamType type, const char* name, double defaultVal, const char* label,
                    const char* group);

    EParamType type = kTypeNone;
    double value = 0.0;
    double min = 0.0;
    double max = 1.0;
    double step = 1.0;
    double shape = 1.0;
    double defaultValue = 0.0;
    int displayPrecision = 0;
    char name[kMaxNameLen] = "";
    char label[kMaxNameLen] = "";
    char group[kMaxNameLen] = "";
    bool negateDisplay = false;
    bool automatable = true;
    bool metaParam = false;
    WDL_TypedBuf<DisplayTextEntry> displayTexts{36 * 8};
};

// Copies src into a fixed array of size bytes, cut and NUL-terminated (null src gives "").
void CopyCut(char* dest, const char* src, int size);
