// state save and state load: the class-info dictionary in .aupreset files.
#pragma once

#include "host/Status.h"

#include <ostream>
#include <string>
#include <vector>

// Sets the parameters (NAME=VALUE, as render takes them) on a fresh instance and writes its
// state to path; prints the saved values.
Status SaveState(const std::string& component, const std::string& path,
                 const std::vector<std::string>& params, std::ostream& out);

// Restores path into a fresh instance and prints the parameter values it then has.
Status LoadState(const std::string& component, const std::string& path, std::ostream& out);
