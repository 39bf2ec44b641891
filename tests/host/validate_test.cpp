// validate against the built component, a unit that answers properties only, a unit that is
// sound until a fault is chosen for it (each fault must fail the check that names it, and only
// that check, with the lifecycle rounds, which repeat the checks), and the same unit of another
// locking design.
#include "test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <regex>
#include <set>

using namespace hosttest;

namespace {

const std::string kFaulty = std::string(ZERUB_TEST_UNITS) + "/Faulty.component";
const std::string kLockFree = std::string(ZERUB_TEST_UNITS) + "/LockFree.component";

struct Tally {
    int pass = 0, fail = 0, warn = 0, skip = 0, other = 0;
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
        else if (l.rfind("WARN  ", 0) == 0)
            ++t.warn;
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

// The verdict agrees with the lines (warnings fail only a strict run), and every line is a check.
void ExpectWellFormed(const RunResult& run, bool strict = false) {
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_FALSE(lines.empty());
    const Tally t = Count(lines);
    EXPECT_EQ(t.other, 0) << run.out;
    const std::string total = std::to_string(t.pass + t.fail + t.warn);
    const std::string warnings = std::to_string(t.warn) + (t.warn == 1 ? " warning" : " warnings");
    if (t.fail == 0 && t.warn == 0) {
        EXPECT_EQ(lines.back(), "VALIDATION PASSED");
        EXPECT_EQ(run.status, 0);
    } else if (t.fail == 0 && !strict) {
        EXPECT_EQ(lines.back(), "VALIDATION PASSED with " + warnings);
        EXPECT_EQ(run.status, 0);
    } else if (t.fail == 0) {
        EXPECT_EQ(lines.back(),
                  "VALIDATION FAILED: " + warnings + " of " + total + " checks under --strict");
        EXPECT_EQ(run.status, 1);
    } else {
        EXPECT_EQ(lines.back(), "VALIDATION FAILED: " + std::to_string(t.fail) + " of " + total +
                                    " checks" + (t.warn ? ", " + warnings : ""));
        EXPECT_EQ(run.status, 1);
    }
}

// The failed checks, without their reasons' details: the text up to the last ": ".
std::vector<std::string> Failed(const std::string& out) {
    std::vector<std::string> failed;
    for (const std::string& line : Lines(out))
        if (line.rfind("FAIL  ", 0) == 0) failed.push_back(line.substr(6));
    return failed;
}

RunResult Validate(const std::string& fault, const std::string& seed = "1",
                   const std::string& unit = kFaulty, std::vector<std::string> extra = {}) {
    TempDir dir;
    std::vector<std::string> args = {"validate", "--component", unit, "--seed", seed};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunHost(dir.path(), args, "", nullptr, {{"ZERUB_TEST_FAULT", fault}});
}

bool LocksCounted(const RunResult& run) {
    return run.out.find("SKIP  real-time: no lock other than the plug-in mutex inside render: the "
                        "sanitizer runtime") == std::string::npos;
}

bool CallsCounted(const RunResult& run) {
    return run.out.find("SKIP  real-time: no read-write lock, semaphore wait, sleep, memory "
                        "mapping, file or socket call inside render: the sanitizer runtime") ==
           std::string::npos;
}

// Runs validate once per fault (a comma-separated list chooses several), a few at a time: most
// of a run is waiting on the concurrency check's clock.
std::vector<RunResult> ValidateEach(const std::vector<std::string>& faults,
                                    const std::string& unit = kFaulty) {
    const size_t kParallel = 8;
    std::vector<RunResult> results;
    for (size_t i = 0; i < faults.size(); i += kParallel) {
        std::vector<std::future<RunResult>> batch;
        for (size_t j = i; j < std::min(faults.size(), i + kParallel); ++j)
            batch.push_back(std::async(std::launch::async, [&faults, &unit, j] {
                return Validate(faults[j], "7", unit);
            }));
        for (auto& f : batch)
            results.push_back(f.get());
    }
    return results;
}

} // namespace

TEST(Validate, ASoundUnitPassesEveryCheck) {
    // Refusing an unlisted channel count at initialise rather than when it is set is sound too,
    // and so are lock-free parameters with a render that takes the instance's own mutex.
    for (const auto& [variant, unit] :
         {std::pair{"", kFaulty}, std::pair{"refuse-at-init", kFaulty}, std::pair{"", kLockFree}}) {
        SCOPED_TRACE(unit + " " + variant);
        const RunResult run = Validate(variant, "7", unit);
        ExpectWellFormed(run);
        EXPECT_EQ(run.status, 0) << variant << "\n" << run.out;
        EXPECT_EQ(run.err, "");
        const std::vector<std::string> lines = Lines(run.out);
        EXPECT_GT(Count(lines).pass, 80);
        for (const char* check :
             {"PASS  entry: 100 open/close cycles, cold",
              "PASS  channels: counts 1-1 to 8-8 initialise or are refused as the configurations "
              "say",
              "PASS  real-time: no heap allocation or free inside render",
              "PASS  render matrix: 192000 Hz stereo, blocks 1 to 4096, noise, silence, full "
              "scale, NaN, infinity",
              "PASS  state: short data (2, 8 bytes or one short) refused, empty data refused or "
              "ignored, nothing changed",
              "PASS  presets: 2 selectable, each setting the parameters it holds",
              "PASS  presets: a number past the factory presets, or negative without a name, "
              "refused and the current one kept; a named user preset kept as set or refused",
              "PASS  render: after a reset the output equals that of an instance that heard only "
              "silence",
              "PASS  render: output buffers without memory get the unit's own, rightly filled",
              "PASS  render: a buffer list that does not match the format refused or rendered as "
              "given, nothing written past it",
              "PASS  render: the maximum frames changed while initialised is refused, or rendered "
              "in full",
              "PASS  render: a parameter event at frame 100 applies from that frame or to its "
              "whole block",
              "PASS  latency: an impulse arrives at the reported latency",
              "PASS  listeners: told after a set succeeds, with the new value readable",
              "PASS  parameters: text conversions refuse another scope and a text that is not a "
              "value",
              "PASS  connections: kAudioUnitProperty_MakeConnection accepted (no source, input 0)"})
            EXPECT_TRUE(Has(lines, check)) << check << " in:\n" << run.out;
        // Sanitizer builds leave the locks to their runtime and do not count them.
        EXPECT_TRUE(
            Has(lines, "PASS  real-time: no lock other than the plug-in mutex inside render") ||
            Has(lines, "SKIP  real-time: no lock other than the plug-in mutex inside render: the "
                       "sanitizer runtime of this build owns the locks"))
            << run.out;
        // The seed is printed, and it is the one given.
        EXPECT_NE(run.out.find("PASS  lifecycle round 3 of 3 (seed 7): "), std::string::npos);
    }
}

TEST(Validate, WhatTheApiAllowsIsNoFailure) {
    // Each a sound variant as the API's base classes would answer: a time stamp without sample
    // time rendered, no tail property, PresentPreset without the deprecated CurrentPreset, empty
    // state data taken as a restore of nothing, a buffer list short of the format rendered as
    // far as it goes; no factory presets at all; a latency that follows the gain, told to
    // listeners; and a switch left out of presets. The user presets and refused NaN of the unit of
    // another design are in ASoundUnitPassesEveryCheck.
    const std::vector<std::string> variants = {
        "untimed,no-tail,present-only,empty-ignored,any-buffer-count", "no-factory-presets",
        "latency", "omit-bypass"};
    const std::vector<RunResult> runs = ValidateEach(variants);
    for (size_t i = 0; i < variants.size(); ++i) {
        SCOPED_TRACE(variants[i]);
        const RunResult& run = runs[i];
        ExpectWellFormed(run);
        const std::vector<std::string> failed = Failed(run.out);
        EXPECT_EQ(run.status, 0) << run.out;
        EXPECT_TRUE(failed.empty()) << run.out;
        EXPECT_EQ(Count(Lines(run.out)).warn, 0) << run.out;
    }
    EXPECT_TRUE(Has(Lines(runs[0].out), "SKIP  tail time: reported, finite, not negative: the unit "
                                        "has no tail"));
    EXPECT_TRUE(Has(Lines(runs[1].out), "SKIP  presets: factory presets listed: the unit offers "
                                        "none"));
    EXPECT_TRUE(Has(Lines(runs[2].out), "PASS  latency: a change is announced to its listeners"));
    EXPECT_TRUE(
        Has(Lines(runs[2].out), "PASS  latency: an impulse arrives at the reported latency"));
}

TEST(Validate, WhatACarefulUnitAvoidsIsAWarning) {
    // Each legal but avoidable: the run passes with the named warning and fails under --strict.
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"slices", {"render: 512 frames in one block equal eight slices of 64"}},
        {"subnormal", {"render matrix: no subnormal samples in the output"}},
        {"bypass-inexact",
         {"bypass: the property passes the input through bit for bit",
          "bypass: parameter 1 (BY) at 1 passes the input through bit for bit"}},
        {"latency-untold", {"latency: an impulse arrives at the reported latency"}},
        {"default-format", {"stream format: default rate 44100 Hz"}},
        {"max-zero", {"maximum frames: 0 refused and the maximum kept"}},
        {"no-ramp", {"parameters: a scheduled ramp takes effect"}},
        {"schedule-partial",
         {"parameters: a scheduled list with a bad event refused, none of it applied"}},
        {"fraction-stored",
         {"parameters: integer and boolean parameters hold whole values, read back and saved"}},
    };
    std::vector<std::string> faults;
    for (const auto& c : cases)
        faults.push_back(c.first);
    const std::vector<RunResult> runs = ValidateEach(faults);
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].first);
        const RunResult& run = runs[i];
        ExpectWellFormed(run);
        EXPECT_EQ(run.status, 0) << run.out;
        std::vector<std::string> warned;
        for (const std::string& line : Lines(run.out))
            if (line.rfind("WARN  ", 0) == 0) warned.push_back(line.substr(6));
        for (const std::string& check : cases[i].second)
            EXPECT_TRUE(
                std::any_of(warned.begin(), warned.end(),
                            [&](const std::string& w) { return w.rfind(check + ": ", 0) == 0; }))
                << check << " in:\n"
                << run.out;
        EXPECT_EQ(warned.size(), cases[i].second.size()) << run.out;
    }
    TempDir dir;
    const RunResult strict =
        RunHost(dir.path(), {"validate", "--component", kFaulty, "--seed", "7", "--strict"}, "",
                nullptr, {{"ZERUB_TEST_FAULT", "slices"}});
    ExpectWellFormed(strict, true);
    EXPECT_EQ(strict.status, 1) << strict.out;
}

TEST(Validate, EachFaultFailsTheCheckThatNamesIt) {
    struct Case {
        const char* fault;
        std::vector<const char*> checks;     // prefixes of the checks that must fail
        std::vector<const char*> maybe = {}; // and of those that may, by chance
    };
    const std::vector<Case> cases = {
        {"open-limit", {"entry: 100 open/close cycles, cold"}, {"entry: ", "channels: counts"}},
        {"shared-state", {"entry: two instances independent of each other"}},
        {"info-size", {"properties: 14 listed; the info call writes the size, even when it fails"}},
        {"short-get",
         {"properties: short buffers on get refused or cut to the buffer",
          "properties: a get of size 0 or without a size refused"}},
        {"get-zero-size", {"properties: a get of size 0 or without a size refused"}},
        {"get-null-size", {"properties: a get of size 0 or without a size refused"}},
        {"element-name-info", {"properties: element names: "}},
        {"element-name-extra", {"properties: element names: "}},
        {"short-set", {"properties: short buffers refused on set"}},
        {"readonly-set", {"properties: read-only properties refuse a set"}},
        {"unknown-element", {"properties: unknown IDs and elements answer the right error"}},
        {"extra-config", {"channels: counts 1-1 to 8-8 initialise or are refused as the"}},
        {"accepts-3",
         {"channels: counts 1-1 to 8-8 initialise or are refused as the",
          "stream format: a refused change leaves"}},
        {"refused-format-zeroes",
         {"stream format: a refused change leaves",
          "stream format: 16-bit integer, 64-bit float and interleaved refused"}},
        {"packed-formats", {"stream format: 16-bit integer, 64-bit float and interleaved refused"}},
        {"no-clamp", {"parameters: NaN is ignored"}},
        {"nan-param", {"parameters: NaN is ignored and nothing non-finite is stored"}},
        {"reset-params", {"parameters: values survive reset and uninitialise/initialise"}},
        {"no-schedule",
         {"parameters: a scheduled immediate event takes effect",
          "render: a parameter event at frame 100 applies"}},
        {"default-is-current", {"parameters: the information gives each default"}},
        {"text-scope", {"parameters: text conversions refuse"}},
        {"text-bad", {"parameters: text conversions refuse"}},
        {"resave-differs", {"state: re-saving a restored state gives identical bytes"}},
        {"unserialisable",
         {"state: .aupreset as XML property list", "state: .aupreset as binary property list"}},
        {"foreign", {"state: foreign class info refused with nothing changed"}},
        {"short-data", {"state: short data (2, 8 bytes or one short) refused"}},
        {"nonfinite-data", {"state: non-finite data refused with nothing changed"}},
        {"preset-any", {"presets: a number past the factory presets"}},
        {"preset-noop", {"presets: 2 selectable, each setting the parameters it holds"}},
        {"over-max",
         {"render: more frames than the maximum refused",
          "render: the maximum frames changed while initialised"}},
        {"over-max-code", {"render: more frames than the maximum refused"}},
        {"ignores-byte-size", {"render: output buffers smaller than the frames refused"}},
        {"render-uninitialized", {"render: refused with kAudioUnitErr_Uninitialized"}},
        {"no-connection", {"connections: kAudioUnitProperty_MakeConnection accepted"}},
        {"reset-keeps-state", {"render: after a reset the output equals"}},
        {"null-data-refused", {"render: output buffers without memory get the unit's own"}},
        {"buffers-past-list",
         {"render: a buffer list that does not match the format refused or rendered as given"}},
        {"max-while-init", {"render: the maximum frames changed while initialised"}},
        {"offset-late", {"render: a parameter event at frame 100 applies"}},
        {"latency-false", {"latency: an impulse arrives at the reported latency"}},
        {"latency-unannounced", {"latency: a change is announced to its listeners"}},
        {"disconnected-repeats", {"render: a disconnected input is silence"}},
        {"nan-stuck", {"render matrix: ", "render: after a reset the output equals"}},
        {"dc-inf", {"render: finite output, DC", "render matrix: "}, {"concurrency: "}},
        {"bypass-ignored", {"bypass: the property passes the input through bit for bit"}},
        {"by-param-ignored", {"bypass: parameter 1 (BY) at 1 passes the input through"}},
        {"latency-negative", {"latency: reported, finite, not negative"}},
        {"notify-once", {"render notify: called before and after"}},
        {"notify-null", {"render notify: a null procedure refused with paramErr"}},
        {"notify-remove", {"render notify: removal matches procedure and user data"}},
        {"listeners-before",
         {"listeners: told after a set succeeds", "listeners: a refused set tells nobody"}},
        {"listeners-refused", {"listeners: a refused set tells nobody"}},
        {"listener-skip", {"listeners: one that removes itself"}},
        {"listener-dedupe",
         {"listeners: a registration is the property", "listeners: one that removes itself"}},
        {"listener-remove-any", {"listeners: a registration is the property"}},
        {"alloc", {"real-time: no heap allocation or free inside render"}},
        {"lock", {"real-time: no lock other than the plug-in mutex inside render"}},
        {"shared-mutex", {"real-time: no lock other than the plug-in mutex inside render"}},
        {"rwlock", {"real-time: no read-write lock, semaphore wait, sleep"}},
        {"sleep", {"real-time: no read-write lock, semaphore wait, sleep"}},
        {"mmap", {"real-time: no read-write lock, semaphore wait, sleep"}},
        {"file", {"real-time: no read-write lock, semaphore wait, sleep"}},
        {"race", {"concurrency: render against parameters"}},
    };
    // Several at a time: most of a run is the concurrency check's wall-clock time.
    const size_t kParallel = 8;
    std::vector<RunResult> results;
    for (size_t i = 0; i < cases.size(); i += kParallel) {
        std::vector<std::future<RunResult>> batch;
        for (size_t j = i; j < std::min(cases.size(), i + kParallel); ++j)
            batch.push_back(
                std::async(std::launch::async, [&cases, j] { return Validate(cases[j].fault); }));
        for (auto& f : batch)
            results.push_back(f.get());
    }
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        const RunResult& run = results[i];
        SCOPED_TRACE(c.fault);
        const std::string name = c.fault;
        if (!LocksCounted(run) && (name == "lock" || name == "shared-mutex"))
            continue; // not counted in this build
        if (!CallsCounted(run) &&
            (name == "rwlock" || name == "sleep" || name == "mmap" || name == "file"))
            continue;
        ExpectWellFormed(run);
        EXPECT_EQ(run.status, 1) << run.out;
        const std::vector<std::string> failed = Failed(run.out);
        for (const char* check : c.checks) {
            const bool found = std::any_of(failed.begin(), failed.end(), [&](const std::string& f) {
                return f.rfind(check, 0) == 0;
            });
            EXPECT_TRUE(found) << check << " in:\n" << run.out;
        }
        for (const std::string& f : failed) {
            auto named = [&f](const char* check) { return f.rfind(check, 0) == 0; };
            const bool expected = f.rfind("lifecycle round ", 0) == 0 ||
                                  std::any_of(c.checks.begin(), c.checks.end(), named) ||
                                  std::any_of(c.maybe.begin(), c.maybe.end(), named);
            EXPECT_TRUE(expected) << "unexpected failure: " << f;
        }
    }
}

TEST(Validate, ACrashFailsItsGroupAndTheRunGoesOn) {
    const RunResult run = Validate("crash");
    ExpectWellFormed(run);
    EXPECT_EQ(run.status, 1);
    const std::vector<std::string> lines = Lines(run.out);
    // Reset aborts: the groups that reset say so, the others still report.
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& l) {
        return std::regex_match(l, std::regex("FAIL  render matrix: crashed \\(signal 6, .*\\)"));
    })) << run.out;
    EXPECT_TRUE(Has(lines, "PASS  render notify: called before and after")) << run.out;
    EXPECT_TRUE(Has(lines, "PASS  state: foreign class info refused with nothing changed"));
}

TEST(Validate, AGroupThatHangsFailsWhenItsTimeIsUp) {
    // The render never returns for 4096 frames, which only the render matrix asks for.
    const auto start = std::chrono::steady_clock::now();
    const RunResult run = Validate("render-hangs", "1", kFaulty, {"--time-limit", "10"});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
    ExpectWellFormed(run);
    EXPECT_EQ(Failed(run.out),
              std::vector<std::string>{"render matrix: did not finish within 10 s"})
        << run.out;
    EXPECT_TRUE(Has(Lines(run.out), "PASS  render notify: called before and after")) << run.out;

    TempDir dir;
    for (const char* bad : {"0", "-1", "x"}) {
        const RunResult refused =
            RunHost(dir.path(), {"validate", "--component", kFaulty, "--time-limit", bad});
        EXPECT_NE(refused.status, 0) << bad;
        EXPECT_EQ(refused.out, "") << bad;
    }
}

TEST(Validate, LifecycleRoundsFindFaultsOfOrderAndRepeatWithTheirSeed) {
    // Bypass fails once the state has been saved: alone, every check passes; in the rounds, one
    // that saves (identity, state, parameters) before it bypasses fails.
    const RunResult first = Validate("save-breaks-bypass", "3");
    ExpectWellFormed(first);
    const std::vector<std::string> failed = Failed(first.out);
    ASSERT_FALSE(failed.empty()) << first.out;
    for (const std::string& f : failed) {
        EXPECT_EQ(f.rfind("lifecycle round ", 0), 0u) << f;
        EXPECT_NE(f.find("(seed 3): "), std::string::npos) << f;
        EXPECT_NE(f.find("first bypass: the property passes the input through bit for bit"),
                  std::string::npos)
            << f;
    }
    const RunResult again = Validate("save-breaks-bypass", "3");
    EXPECT_EQ(Failed(again.out), failed);
}

TEST(Validate, TheComponentPassesEveryCheck) {
    TempDir dir;
    const RunResult run = RunHost(
        dir.path(), {"validate", "--component", ZERUB_COMPONENT_BUNDLE, "--seed", "3", "--strict"});
    // (A sanitizer build may add its reports of the component's faults on stderr.)
    ExpectWellFormed(run, true);
    const std::vector<std::string> lines = Lines(run.out);
    // What a host relies on most passes by name.
    for (const char* check :
         {"PASS  identity: aufx ZRB1 Qmor version 1.0.0 matches Info.plist",
          "PASS  channels: exactly 1-1 and 2-2 listed", "PASS  parameter 0 (Gain): info",
          "PASS  parameter 2 (BY): out-of-range values clamp",
          "PASS  state: restore into a fresh instance",
          "PASS  state: foreign class info refused with nothing changed",
          "PASS  presets: 1 selectable, each setting the parameters it holds",
          "PASS  render: more frames than the maximum refused with "
          "kAudioUnitErr_TooManyFramesToProcess, nothing rendered",
          "PASS  bypass: the property passes the input through bit for bit",
          "PASS  bypass: parameter 2 (BY) at 1 passes the input through bit for bit",
          "PASS  real-time: no heap allocation or free inside render",
          "PASS  render notify: called before and after"})
        EXPECT_TRUE(Has(lines, check)) << check << " in:\n" << run.out;
    EXPECT_TRUE(Failed(run.out).empty()) << run.out;
    EXPECT_EQ(run.status, 0);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "VALIDATION PASSED");
}

TEST(Validate, FailsOnAUnitThatCannotBeDriven) {
    TempDir dir;
    const std::string unit = std::string(ZERUB_TEST_UNITS) + "/HostTest.component";
    const RunResult run = RunHost(dir.path(), {"validate", "--component", unit, "--seed", "1"});
    ExpectWellFormed(run);
    EXPECT_EQ(run.status, 1);
    const std::vector<std::string> lines = Lines(run.out);
    // What it does answer passes; what it cannot do fails, each with its reason.
    EXPECT_TRUE(Has(lines, "PASS  parameter 2 (Mode): value strings")) << run.out;
    EXPECT_TRUE(Has(lines, "FAIL  state: class info saved: status -10879")) << run.out;

    const RunResult none =
        RunHost(dir.path(),
                {"validate", "--component", std::string(ZERUB_TEST_UNITS) + "/Empty.component"});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(Lines(none.out).back(), "VALIDATION FAILED: 1 of 1 checks");
}
