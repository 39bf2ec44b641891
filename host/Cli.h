// The zerub-host command line: parses the arguments, runs one subcommand and returns the exit
// status. Regular output goes to out; each failure is one line on err, prefixed "zerub-host: ".
//
// Exit status: 0 success, 1 the operation failed (unwritable folder, no component, ...),
// 2 the command line is wrong or asks for something this build does not have.
#pragma once

#include <ostream>

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int RunZerubHost(int argc, const char* const* argv, std::ostream& out, std::ostream& err);
