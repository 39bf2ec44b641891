// Stands in for Components.cpp in builds without the platform library.
#include "host/Components.h"

Status ListComponents(std::ostream&) {
    return Status::Fail("list is not available in this build");
}

Status DescribeComponent(const std::string&, std::ostream&) {
    return Status::Fail("info is not available in this build");
}

bool ComponentsAvailable() {
    return false;
}
