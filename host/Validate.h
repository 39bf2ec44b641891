// validate: the checks a host makes before it trusts a unit, through the host interface only.
// One line per check ("PASS  name", "FAIL  name: reason", "WARN  name: reason"; "SKIP  name:
// reason" for checks that do not apply and are not counted), then "VALIDATION PASSED" (with
// "with N warnings" when there were some) or "VALIDATION FAILED: N of M checks". Each group of
// checks runs in a process of its own, so a unit that crashes, or hangs past the time limit, fails
// the group instead of ending the run. The lifecycle rounds shuffle the groups with a seed they
// print; the same seed repeats the run.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

// A seed from the system's entropy, for a run that names none.
uint32_t RandomSeed();

// How long one group of checks may run: far beyond what a sound unit needs.
constexpr double kDefaultGroupSeconds = 60.0;

// The names of the groups of checks, "lifecycle" (the shuffled rounds) last.
std::vector<std::string> ValidationGroups();

// Returns the exit status: 0 when no check failed and, when strict, none warned. groupSeconds
// (> 0) limits each group. only, when not empty, names the groups to run (a testing aid: a run
// of some groups says nothing of the others).
int RunValidation(const std::string& componentPath, uint32_t seed, double groupSeconds, bool strict,
                  std::ostream& out, const std::vector<std::string>& only = {});
