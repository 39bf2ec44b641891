// Stands in for the Audio Unit side of the host in builds without the platform library: every
// subcommand that needs a component refuses with a clear message.
#include "host/Components.h"
#include "host/RenderFile.h"
#include "host/StateCommand.h"
#include "host/Validate.h"

namespace {

Status Missing(const char* what) {
    return Status::Fail(std::string(what) + " is not available in this build");
}

} // namespace

Status ListComponents(std::ostream&) {
    return Missing("list");
}

Status DescribeComponent(const std::string&, std::ostream&) {
    return Missing("info");
}

RendererFactory ComponentRenderers(const std::string&) {
    return [] { return std::unique_ptr<Renderer>(); };
}

Status RenderFile(const RenderFileOptions&, int, RenderSummary*) {
    return Missing("render");
}

std::string SummaryLine(const RenderFileOptions&, const RenderSummary&) {
    return "";
}

Status SaveState(const std::string&, const std::string&, const std::vector<std::string>&,
                 std::ostream&) {
    return Missing("state");
}

Status LoadState(const std::string&, const std::string&, std::ostream&) {
    return Missing("state");
}

uint32_t RandomSeed() {
    return 0;
}

int RunValidation(const std::string&, uint32_t, double, bool, std::ostream& out) {
    out << "VALIDATION FAILED: 1 of 1 checks\n";
    return 1;
}

bool ComponentsAvailable() {
    return false;
}
