// validate: the checks a host makes before it trusts a unit, through the host interface only.
// One line per check ("PASS  name" or "FAIL  name: reason"; "SKIP  name: reason" for checks
// that do not apply and are not counted), then "VALIDATION PASSED" or
// "VALIDATION FAILED: N of M checks".
#pragma once

#include <ostream>
#include <string>

// Returns the exit status: 0 only when every check passed.
int RunValidation(const std::string& componentPath, std::ostream& out);
