// validate against the built component and against a test unit that answers properties only.
#include "test_support.h"

#include <gtest/gtest.h>

#include <regex>

using namespace hosttest;

namespace {

struct Tally {
    int pass = 0, fail = 0, skip = 0, other = 0;
};

// Counts the check lines before the last, which is the verdict.
Tally Count(const std::vector<std::string>& lines) {
    Tally t;
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        const std::string& l = lines[i];
        if (l.rfind("PASS  ", 0) == 0)
            ++t.pass;
        else if (l.rfind("FAIL  ", 0) == 0)
            ++t.fail;
        else if (l.rfind("SKIP  ", 0) == 0)
            ++t.skip;
        else
            ++t.other;
    }
    return t;
}

bool Has(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

} // namespace

TEST(Validate, PassesOnTheComponent) {
    TempDir dir;
    const RunResult run = RunHost(dir.path(), {"validate", "--component", ZERUB_COMPONENT_BUNDLE});
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.err, "");
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "VALIDATION PASSED");
    const Tally t = Count(lines);
    EXPECT_EQ(t.fail, 0) << run.out;
    EXPECT_EQ(t.other, 0) << run.out;
    EXPECT_GT(t.pass, 40);
    // The checks a host relies on are there by name.
    for (const char* check :
         {"PASS  identity: aufx ZRB1 Qmor version 1.0.0 matches Info.plist",
          "PASS  channels: 1-1 and 2-2 supported", "PASS  parameter 0 (Gain): info",
          "PASS  parameter 2 (BY): out-of-range values clamp",
          "PASS  state: restore into a fresh instance", "PASS  state: foreign class info refused",
          "PASS  presets: 1 selectable", "PASS  stream format: 3 channels refused",
          "PASS  render: block size 4096 (maximum)",
          "PASS  render: more than the maximum frames refused",
          "PASS  render: timestamp without sample time refused",
          "PASS  render: finite output, full-scale noise, continuous parameters at maximum",
          "PASS  bypass: input passes through bit for bit",
          "PASS  render notify: called before and after", "PASS  dispose"})
        EXPECT_TRUE(Has(lines, check)) << check << " in:\n" << run.out;

    // Found on the search path, the unit's own view information locates its bundle.
    const RunResult searched = RunHost(dir.path(), {"validate"});
    EXPECT_EQ(searched.status, 0) << searched.out;
    EXPECT_EQ(Lines(searched.out).back(), "VALIDATION PASSED");
}

TEST(Validate, FailsOnAUnitThatCannotBeDriven) {
    TempDir dir;
    const std::string unit = std::string(ZERUB_TEST_UNITS) + "/HostTest.component";
    const RunResult run = RunHost(dir.path(), {"validate", "--component", unit});
    EXPECT_EQ(run.status, 1);
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_FALSE(lines.empty());
    const Tally t = Count(lines);
    EXPECT_EQ(t.other, 0) << run.out;
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines.back(), m,
                                 std::regex("VALIDATION FAILED: ([0-9]+) of ([0-9]+) checks")))
        << lines.back();
    EXPECT_EQ(std::stoi(m[1]), t.fail);
    EXPECT_EQ(std::stoi(m[2]), t.pass + t.fail);
    // What it does answer passes; what it cannot do fails, each with its reason.
    EXPECT_TRUE(Has(lines, "PASS  parameter 2 (Mode): value strings")) << run.out;
    EXPECT_TRUE(Has(lines, "FAIL  state: class info saved: status -10879")) << run.out;
    EXPECT_NE(run.out.find("FAIL  parameter 0 (Drive): set and get at min, max, default: set 0, "
                           "status "),
              std::string::npos)
        << run.out;

    const RunResult none =
        RunHost(dir.path(),
                {"validate", "--component", std::string(ZERUB_TEST_UNITS) + "/Empty.component"});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(Lines(none.out).back(), "VALIDATION FAILED: 1 of 1 checks");
}

TEST(Validate, FindsEachFaultOfAFaultyUnit) {
    TempDir dir;
    const std::string unit = std::string(ZERUB_TEST_UNITS) + "/Faulty.component";
    const RunResult run = RunHost(dir.path(), {"validate", "--component", unit});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "");
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_FALSE(lines.empty());
    std::vector<std::string> failed;
    for (const std::string& line : lines)
        if (line.rfind("FAIL  ", 0) == 0) failed.push_back(line);
    // The unit's four faults, and nothing it does right.
    EXPECT_EQ(failed,
              (std::vector<std::string>{
                  "FAIL  parameter 0 (Gain): out-of-range values clamp: set 4, got 4",
                  "FAIL  render: more than the maximum frames refused: rendered",
                  "FAIL  render: finite output, DC, continuous parameters at minimum: NaN or "
                  "infinity in block 0",
                  "FAIL  render: finite output, DC, continuous parameters at default: NaN or "
                  "infinity in block 0",
                  "FAIL  render: finite output, DC, continuous parameters at maximum: NaN or "
                  "infinity in block 0",
                  "FAIL  bypass: input passes through bit for bit: channel 0 differs from the "
                  "input"}))
        << run.out;
    const Tally t = Count(lines);
    EXPECT_EQ(lines.back(),
              "VALIDATION FAILED: 6 of " + std::to_string(t.pass + t.fail) + " checks");
    EXPECT_TRUE(Has(lines, "PASS  state: foreign class info refused")) << run.out;
    EXPECT_TRUE(Has(lines, "SKIP  presets: selectable: no factory presets")) << run.out;
}
