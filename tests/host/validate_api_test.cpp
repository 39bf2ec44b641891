// validate judged by the Audio Unit API: Zerub behind a forwarding unit that answers one thing
// differently (ZERUB_TEST_VARIANT). What the API allows passes (warnings allowed) and never
// crashes the validator; each planted fault fails the check that names it.
#include "test_support.h"

#include <gtest/gtest.h>

#include <future>

using namespace hosttest;

namespace {

const std::string kForwarding = ZERUB_FORWARDING_UNIT;

RunResult Validate(const std::string& variant, const std::vector<std::string>& groups,
                   const std::vector<std::string>& extra = {}) {
    TempDir dir;
    std::vector<std::string> args = {"validate", "--component", kForwarding, "--seed", "1"};
    for (const std::string& g : groups) {
        args.push_back("--group");
        args.push_back(g);
    }
    args.insert(args.end(), extra.begin(), extra.end());
    return RunHost(dir.path(), args, "", nullptr, {{"ZERUB_TEST_VARIANT", variant}});
}

struct Case {
    std::string variant;
    std::string check = ""; // for a fault: the check that must fail, with its reason
};

// Whole runs, eight at a time: a run is mostly waiting for the unit.
std::vector<RunResult> RunAll(const std::vector<Case>& cases) {
    std::vector<RunResult> results;
    for (size_t i = 0; i < cases.size(); i += 8) {
        std::vector<std::future<RunResult>> batch;
        for (size_t j = i; j < std::min(cases.size(), i + 8); ++j)
            batch.push_back(std::async(std::launch::async,
                                       [&cases, j] { return Validate(cases[j].variant, {}); }));
        for (auto& r : batch)
            results.push_back(r.get());
    }
    return results;
}

std::vector<std::string> Starting(const std::string& out, const std::string& prefix) {
    std::vector<std::string> found;
    for (const std::string& line : Lines(out))
        if (line.rfind(prefix, 0) == 0) found.push_back(line);
    return found;
}

// The failed checks other than the lifecycle rounds, which repeat the groups.
std::vector<std::string> FailedChecks(const std::string& out) {
    std::vector<std::string> failed;
    for (const std::string& line : Starting(out, "FAIL  "))
        if (line.rfind("FAIL  lifecycle round ", 0) != 0) failed.push_back(line);
    return failed;
}

bool Crashed(const std::string& out) {
    return out.find("crashed (signal") != std::string::npos ||
           out.find("did not finish") != std::string::npos;
}

} // namespace

TEST(ValidateApi, WhatTheApiAllowsPasses) {
    // Every group for each: a whole run takes a few seconds.
    const std::vector<Case> cases = {
        {""},
        {"short-get-copies"},
        {"current-preset-kept"},
        {"refused-gets"},
        {"format-36"},
        {"param-info-invalid-parameter"},
        {"unknown-param-created"},
        {"ramps-ignored"},
        {"list-by-event"},
        {"out-of-range-stored"},
        {"bool-any-nonzero"},
        {"max-frames-zero"},
        {"no-channel-configs"},
        {"any-channels"},
        {"meter"},
        {"interleaved-mono"},
        {"default-48k"},
    };
    const std::vector<RunResult> results = RunAll(cases);
    for (size_t i = 0; i < cases.size(); ++i) {
        const RunResult& run = results[i];
        SCOPED_TRACE("variant '" + cases[i].variant + "'");
        EXPECT_EQ(run.status, 0) << run.out;
        EXPECT_FALSE(Crashed(run.out)) << run.out;
        EXPECT_EQ(Starting(run.out, "FAIL  "), std::vector<std::string>{}) << run.out;
        EXPECT_EQ(Lines(run.out).back().rfind("VALIDATION PASSED", 0), 0u) << run.out;
        // Every group ran, on a unit it could open.
        EXPECT_GT(Starting(run.out, "PASS  ").size(), 100u) << run.out;
    }
}

TEST(ValidateApi, EachPlantedFaultFailsTheCheckThatNamesIt) {
    const std::vector<Case> cases = {
        {"fault-identity",
         "identity: the class info names the component's type, subtype, manufacturer and "
         "version: the class info's manufacturer is Othr, the component's Qmor"},
        {"fault-sample-rate",
         "sample rate: an element past the buses or an unknown scope refused, the rate kept: "
         "scope 1 element 99: answers status 0, not status -10877"},
        {"fault-class-info-read-only",
         "properties: the class info reported writable: the info call says read-only"},
        {"fault-write-only-get",
         "properties: a get of a write-only property refused, nothing written: property 1: a "
         "get answers noErr and writes nothing"},
        {"fault-name-scope",
         "properties: parameter and clump names in another scope refused or answered: the name "
         "of parameter 0 in the input scope answers noErr and writes no name"},
    };
    const std::vector<RunResult> results = RunAll(cases);
    for (size_t i = 0; i < cases.size(); ++i) {
        const RunResult& run = results[i];
        SCOPED_TRACE("variant '" + cases[i].variant + "'");
        EXPECT_EQ(run.status, 1) << run.out;
        EXPECT_FALSE(Crashed(run.out)) << run.out;
        // The check fails by name and with its reason, alone.
        EXPECT_EQ(FailedChecks(run.out), std::vector<std::string>{"FAIL  " + cases[i].check})
            << run.out;
    }
}

TEST(ValidateApi, AUnitThatHangsInItsFirstOpenFailsWithinTheLimit) {
    const auto start = std::chrono::steady_clock::now();
    const RunResult run = Validate("fault-open-hangs", {}, {"--time-limit", "2"});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(Lines(run.out),
              (std::vector<std::string>{"PASS  component: found",
                                        "FAIL  component: opens: did not finish within 2 s",
                                        "VALIDATION FAILED: 1 of 2 checks"}))
        << run.out;
}

TEST(ValidateApi, AWarningFailsOnlyUnderStrict) {
    const std::string warning =
        "WARN  parameter 0 (Gain): out-of-range values clamp: set 2, got 2 (stored as given)";
    const RunResult lenient = Validate("out-of-range-stored", {"parameters"});
    EXPECT_EQ(lenient.status, 0) << lenient.out;
    EXPECT_EQ(Starting(lenient.out, warning), std::vector<std::string>{warning}) << lenient.out;
    EXPECT_EQ(Starting(lenient.out, "VALIDATION PASSED with ").size(), 1u) << lenient.out;
    const RunResult strict = Validate("out-of-range-stored", {"parameters"}, {"--strict"});
    EXPECT_EQ(strict.status, 1) << strict.out;
    EXPECT_EQ(Starting(strict.out, "FAIL  "), std::vector<std::string>{}) << strict.out;
    EXPECT_EQ(Starting(strict.out, "VALIDATION FAILED: ").size(), 1u) << strict.out;

    // Only the groups that exist may be chosen.
    TempDir dir;
    const RunResult unknown =
        RunHost(dir.path(), {"validate", "--component", kForwarding, "--group", "nonsense"});
    EXPECT_NE(unknown.status, 0);
    EXPECT_EQ(unknown.out, "");
}
