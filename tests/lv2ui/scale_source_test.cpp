// The LV2 UI's scale sources read from the host's options and the desktop's settings.
#include "lv2/IPlugLV2UI_scale.h"

#include <lv2/atom/atom.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<std::string> gUris;

LV2_URID Map(LV2_URID_Map_Handle, const char* uri) {
    for (size_t i = 0; i < gUris.size(); ++i)
        if (gUris[i] == uri) return LV2_URID(i + 1);
    gUris.push_back(uri);
    return LV2_URID(gUris.size());
}

// ui:scaleFactor given as one value of the type named, through the host's options.
double HostScale(const char* type, const void* value, uint32_t size, bool withMap = true) {
    LV2_URID_Map map = {nullptr, Map};
    const LV2_Options_Option options[] = {
        {LV2_OPTIONS_INSTANCE, 0, Map(nullptr, LV2_UI__updateRate), sizeof(float),
         Map(nullptr, LV2_ATOM__Float), value},
        {LV2_OPTIONS_INSTANCE, 0, Map(nullptr, LV2_UI__scaleFactor), size, Map(nullptr, type),
         value},
        {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
    const LV2_Feature mapFeature = {LV2_URID__map, &map};
    const LV2_Feature optionsFeature = {LV2_OPTIONS__options,
                                        const_cast<LV2_Options_Option*>(options)};
    const LV2_Feature* features[] = {withMap ? &mapFeature : &optionsFeature, &optionsFeature,
                                     nullptr};
    return LV2HostScaleFactor(features);
}

TEST(LV2UIScaleSource, TheHostsScaleFactorInAnyNumericAtomAndNothingElse) {
    const float f = 1.5f;
    const double d = 2.0;
    const int32_t i = 3;
    const float bad[] = {std::nanf(""), -2.0f, 0.0f};
    EXPECT_EQ(HostScale(LV2_ATOM__Float, &f, sizeof f), 1.5);
    EXPECT_EQ(HostScale(LV2_ATOM__Double, &d, sizeof d), 2.0);
    EXPECT_EQ(HostScale(LV2_ATOM__Int, &i, sizeof i), 3.0);
    EXPECT_EQ(HostScale(LV2_ATOM__Float, &d, sizeof d), 0.0); // size does not match the type
    EXPECT_EQ(HostScale(LV2_ATOM__String, "2", 2), 0.0);
    EXPECT_EQ(HostScale(LV2_ATOM__Float, &f, sizeof f, false), 0.0); // no urid:map
    for (const float& b : bad)
        EXPECT_EQ(HostScale(LV2_ATOM__Float, &b, sizeof b), 0.0) << b;
    EXPECT_EQ(LV2HostScaleFactor(nullptr), 0.0);
}

TEST(LV2UIScaleSource, GdkScaleThenXftDpiOverNinetySix) {
    EXPECT_EQ(DesktopScaleFactor("2", "Xft.dpi:\t144\n"), 2.0);
    EXPECT_EQ(DesktopScaleFactor(nullptr, "Xft.antialias:\t1\nXft.dpi:\t144\nXft.hinting:\t1\n"),
              1.5);
    EXPECT_EQ(DesktopScaleFactor("", "Xft.dpi: 192"), 2.0);
    EXPECT_EQ(DesktopScaleFactor("2x", "Xft.dpi:\t192\n"), 2.0); // not a number: next source
    EXPECT_EQ(DesktopScaleFactor("0", nullptr), 0.0);
    EXPECT_EQ(DesktopScaleFactor("-1", "Xft.dpi:\tnan\n"), 0.0);
    EXPECT_EQ(DesktopScaleFactor(nullptr, "Xft.dpiX:\t192\nXcursor.size:\t48\n"), 0.0);
    EXPECT_EQ(DesktopScaleFactor(nullptr, nullptr), 0.0);
    const std::string huge(100, '9');
    EXPECT_EQ(DesktopScaleFactor(huge.c_str(), nullptr), 0.0);
}

} // namespace
