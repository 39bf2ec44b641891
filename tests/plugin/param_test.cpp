#include "plugin/IParam.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace {
std::string Display(const IParam& p, double v, bool normalized = false) {
    char text[64];
    p.GetDisplayForHost(v, normalized, text, sizeof text);
    return text;
}
} // namespace

TEST(Param, InitialisersForceAUsableRange) {
    IParam a, b, e;
    a.InitInt("a", 0, 0, 1);
    EXPECT_EQ(a.GetMax(), 1.0);
    b.InitInt("b", 5, 5, 3);
    EXPECT_EQ(b.GetMin(), 5.0);
    EXPECT_EQ(b.GetMax(), 6.0);
    e.InitEnum("e", 0, 1);
    EXPECT_EQ(e.GetMax(), 1.0);

    IParam d;
    d.InitDouble("d", 0.2, 1.0, 0.5, 0.25);
    EXPECT_EQ(d.GetMax(), 1.25);
    EXPECT_EQ(d.Value(), 0.2); // the default is not clamped by the initialiser
}

TEST(Param, FirstInitialiserDecidesType) {
    IParam p;
    p.InitBool("b", true);
    p.InitDouble("d", 0.5, 0.0, 1.0, 0.01);
    EXPECT_EQ(p.Type(), IParam::kTypeBool);
    EXPECT_STREQ(p.GetNameForHost(), "d");
    EXPECT_EQ(p.GetDisplayPrecision(), 2);
}

TEST(Param, PrecisionFromStep) {
    auto precision = [](double step) {
        IParam p;
        p.InitDouble("x", 0, 0, 100, step);
        return p.GetDisplayPrecision();
    };
    EXPECT_EQ(precision(0.01), 2);
    EXPECT_EQ(precision(1.0), 0);
    EXPECT_EQ(precision(0.125), 3);
    EXPECT_EQ(precision(1e-9), 6);
    EXPECT_EQ(precision(std::numeric_limits<double>::quiet_NaN()), 6);
}

TEST(Param, DisplayTextForHost) {
    IParam d;
    d.InitDouble("d", 0.5, 0.0, 1.0, 0.01, "%");
    EXPECT_EQ(Display(d, 0.5), "0.50");
    IParam whole;
    whole.InitDouble("w", 0, 0, 10, 1.0);
    EXPECT_EQ(Display(whole, 3.7), "3"); // truncated, not rounded
    EXPECT_EQ(Display(whole, -3.7), "-3");
    whole.SetNegateDisplay(true);
    EXPECT_EQ(Display(whole, 3.0), "-3");
    IParam shaped;
    shaped.InitDouble("s", 0, 0, 100, 1.0, "", "", 2.0);
    EXPECT_EQ(Display(shaped, 0.5, true), "25");

    char tiny[4];
    d.GetDisplayForHost(0.123456, false, tiny, sizeof tiny);
    EXPECT_STREQ(tiny, "0.1"); // cut to the buffer
}

TEST(Param, BoolDisplayTextsAndLabel) {
    IParam b;
    b.InitBool("b", false, "unit");
    EXPECT_EQ(Display(b, 0.0), "off");
    EXPECT_EQ(Display(b, 1.0), "on");
    EXPECT_STREQ(b.GetLabelForHost(), "");
    int value = -1;
    EXPECT_TRUE(b.MapDisplayText("on", &value));
    EXPECT_EQ(value, 1);
    EXPECT_FALSE(b.MapDisplayText("On", &value));
    EXPECT_STREQ(b.GetDisplayTextAtIdx(0, &value), "off");
    EXPECT_EQ(value, 0);

    IParam i;
    i.InitInt("i", 0, 0, 5, "st");
    i.SetDisplayText(2, "two");
    EXPECT_STREQ(i.GetLabelForHost(), "st");
    i.Set(2.9);
    EXPECT_STREQ(i.GetLabelForHost(), ""); // 2.9 truncates to 2, which has a text
    char text[16];
    i.GetDisplayForHost(text, sizeof text, false);
    EXPECT_STREQ(text, "2");
}

TEST(Param, NormalisedMapping) {
    IParam i;
    i.InitInt("i", 0, 0, 1);
    i.SetNormalized(0.49);
    EXPECT_EQ(i.Value(), 0.0);
    i.SetNormalized(0.5);
    EXPECT_EQ(i.Value(), 1.0);

    IParam stepped;
    stepped.InitInt("s", 0, 0, 10);
    stepped.SetNormalized(0.34);
    EXPECT_EQ(stepped.Value(), 3.0);

    IParam d;
    d.InitDouble("d", 0, 0, 2, 0.5);
    d.SetNormalized(0.3);
    EXPECT_EQ(d.Value(), 0.6); // doubles are never rounded to the step
    d.SetNormalized(1.5);
    EXPECT_EQ(d.Value(), 2.0);
    d.SetNormalized(-0.25);
    EXPECT_EQ(d.Value(), -0.5); // no lower clamp

    IParam shaped;
    shaped.InitDouble("s", 0, 0, 1, 0.01, "", "", 3.0);
    shaped.SetNormalized(0.5);
    EXPECT_DOUBLE_EQ(shaped.Value(), 0.125);
    EXPECT_DOUBLE_EQ(shaped.GetNormalized(), 0.5);
    EXPECT_EQ(shaped.GetNormalized(-4.0), 0.0);
    EXPECT_EQ(shaped.GetNormalized(4.0), 1.0);
    shaped.SetShape(0.0);
    EXPECT_EQ(shaped.GetShape(), 3.0);
}

TEST(Param, SetClampsAndIgnoresNaN) {
    IParam d;
    d.InitDouble("d", 0.5, 0, 1, 0.01);
    d.Set(2.0);
    EXPECT_EQ(d.Value(), 1.0);
    d.Set(-1.0);
    EXPECT_EQ(d.Value(), 0.0);
    d.Set(0.333);
    EXPECT_EQ(d.Value(), 0.333);
    d.Set(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(d.Value(), 0.333);
}

TEST(Param, NonFiniteValuesNeverReachTheValue) {
    const double inf = std::numeric_limits<double>::infinity();
    IParam d;
    d.InitDouble("d", 0.5, 0, 1, 0.01);
    for (double v : {inf, -inf}) {
        d.Set(v);
        EXPECT_EQ(d.Value(), 0.5) << v;
    }
    for (double n : {std::numeric_limits<double>::quiet_NaN(), inf, -inf}) {
        d.SetNormalized(n);
        EXPECT_EQ(d.Value(), 0.5) << n;
    }
    // A shape that maps a position outside 0..1 to no real number.
    IParam shaped;
    shaped.InitDouble("s", 0.25, 0, 1, 0.01, "", "", 0.5);
    shaped.SetNormalized(-0.25);
    EXPECT_EQ(shaped.Value(), 0.25);
    IParam stepped;
    stepped.InitInt("i", 3, 0, 10);
    stepped.SetNormalized(inf);
    EXPECT_EQ(stepped.Value(), 3.0);
}

TEST(Param, LongNamesAreCutNotOverflowed) {
    const std::string longName(100, 'n'), longLabel(40, 'l');
    IParam p;
    p.InitDouble(longName.c_str(), 0, 0, 1, 0.1, longLabel.c_str(), longName.c_str());
    EXPECT_EQ(std::string(p.GetNameForHost()), std::string(31, 'n'));
    EXPECT_EQ(std::string(p.GetLabelForHost()), std::string(31, 'l'));
    EXPECT_EQ(std::string(p.GetParamGroupForHost()), std::string(31, 'n'));
    p.SetDisplayText(0, longName.c_str());
    EXPECT_EQ(std::string(p.GetDisplayText(0)), std::string(31, 'n'));
    IParam nulls;
    nulls.InitBool(nullptr, false, nullptr, nullptr);
    EXPECT_STREQ(nulls.GetNameForHost(), "");
}

TEST(Param, DecibelsToAmplitude) {
    IParam db;
    db.InitDouble("db", -6.0, -60.0, 12.0, 0.1);
    EXPECT_NEAR(db.DBToAmp(), std::pow(10.0, -6.0 / 20.0), 1e-12);
}
