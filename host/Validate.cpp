#include "host/Validate.h"

#include "host/ValidateSupport.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <poll.h>
#include <random>
#include <signal.h>
#include <sstream>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

namespace validate {
namespace {

constexpr int kLifecycleRounds = 3;

struct GroupEntry {
    const char* name;
    Group run;
    bool shuffled; // also runs in the lifecycle rounds
};

const GroupEntry kGroups[] = {
    {"identity", IdentityChecks, true},    {"entry points", EntryChecks, false},
    {"properties", PropertyChecks, true},  {"formats", FormatChecks, true},
    {"parameters", ParameterChecks, true}, {"state", StateChecks, true},
    {"render", RenderChecks, true},        {"render matrix", RenderMatrixChecks, false},
    {"latency", LatencyChecks, true},      {"bypass", BypassChecks, true},
    {"render notify", NotifyChecks, true}, {"listeners", ListenerChecks, true},
    {"real-time", RealtimeChecks, true},   {"concurrency", ConcurrencyChecks, false},
};

// The parameters the checks drive: those whose description is sound (the parameter group
// reports the others).
std::vector<ParameterDescription> UsableParameters(AudioUnit unit) {
    std::vector<ParameterDescription> usable;
    std::vector<AudioUnitParameterID> ids;
    if (ReadParameterList(unit, &ids) != noErr) return usable;
    for (AudioUnitParameterID id : ids) {
        ParameterDescription p;
        // A meter (read-only) is not driven.
        if (ReadParameterInfo(unit, id, &p) == noErr && std::isfinite(p.minValue) &&
            std::isfinite(p.maxValue) && p.minValue < p.maxValue && p.defaultValue >= p.minValue &&
            p.defaultValue <= p.maxValue && (p.flags & kAudioUnitParameterFlag_IsWritable))
            usable.push_back(p);
    }
    return usable;
}

// Writes each line to a descriptor as it is made, so that what a crashing group printed
// before it died still arrives.
class LineSink : public std::stringbuf {
public:
    explicit LineSink(int descriptor) : fd(descriptor) {}

protected:
    int sync() override {
        const std::string text = str();
        for (size_t done = 0; done < text.size();) {
            const ssize_t n = write(fd, text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        str("");
        return 0;
    }

private:
    int fd;
};

// Reads what the child writes until it closes the pipe or the time runs out; false when the
// time ran out.
bool ReadUntil(int fd, std::chrono::steady_clock::time_point deadline, std::string* text) {
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd ready = {fd, POLLIN, 0};
        const int r = poll(&ready, 1, static_cast<int>(std::min<long long>(left.count(), 60000)));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return true;
        if (r == 0) continue; // the deadline is checked at the top
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return true;
        text->append(buffer, static_cast<size_t>(n));
    }
}

// Runs body(report) in a child process whose report lines come back through a pipe; the lines
// are copied to out and tallied into report. A child that dies, or that has not finished after
// seconds, fails check (and is killed).
template <class Body>
void Isolated(const std::string& check, double seconds, Report& report, std::ostream& out,
              Body body) {
    out.flush();
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        report.Check(check, false, std::string("cannot start: ") + strerror(errno));
        out << "FAIL  " << check << ": cannot start\n";
        return;
    }
    const pid_t child = fork();
    if (child == 0) {
        close(pipeFds[0]);
        LineSink sink(pipeFds[1]);
        std::ostream lines(&sink);
        lines << std::unitbuf;
        Report childReport(&lines);
        body(childReport);
        lines.flush();
        _exit(0);
    }
    close(pipeFds[1]);
    std::string text;
    const bool finished =
        child < 0 || ReadUntil(pipeFds[0],
                               std::chrono::steady_clock::now() +
                                   std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                       std::chrono::duration<double>(seconds)),
                               &text);
    if (!finished) kill(child, SIGKILL);
    close(pipeFds[0]);
    int status = 0;
    const bool waited = child > 0 && waitpid(child, &status, 0) == child;
    std::istringstream in(text);
    std::string last;
    for (std::string line; std::getline(in, line);) {
        out << line << '\n';
        if (line.rfind("PASS  ", 0) == 0) {
            ++report.total;
        } else if (line.rfind("FAIL  ", 0) == 0) {
            ++report.total;
            ++report.failed;
        } else if (line.rfind("WARN  ", 0) == 0) {
            ++report.total;
            ++report.warned;
        }
        last = line;
    }
    if (!finished || !waited || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::string how = !finished ? "did not finish within " + Number(seconds) + " s"
                          : !waited ? "did not start"
                          : WIFSIGNALED(status)
                              ? "crashed (signal " + std::to_string(WTERMSIG(status)) + ", " +
                                    strsignal(WTERMSIG(status)) + ")"
                              : "exited with status " + std::to_string(WEXITSTATUS(status));
        if (!last.empty()) how += " after: " + last;
        ++report.total;
        ++report.failed;
        out << "FAIL  " << check << ": " << how << '\n';
    }
}

// Runs group on a new instance of the component. The parameters are read here, in the group's
// own process, from the instance it is given.
void RunGroup(Context& context, const GroupEntry& group, Report& report) {
    AudioComponentInstance unit = context.Fresh(report, std::string(group.name) + ": opens");
    if (!unit) return;
    context.parameters = UsableParameters(unit);
    group.run(context, unit, report);
    report.CheckStatus(std::string(group.name) + ": instance disposes",
                       AudioComponentInstanceDispose(unit));
}

// One lifecycle round: the shuffled groups one after another on the same new instance.
void LifecycleRound(Context& context, int round, uint32_t seed, Report& report) {
    std::vector<const GroupEntry*> order;
    for (const GroupEntry& g : kGroups)
        if (g.shuffled) order.push_back(&g);
    std::mt19937 shuffle(seed + static_cast<uint32_t>(round));
    std::shuffle(order.begin(), order.end(), shuffle);
    std::string names;
    for (const GroupEntry* g : order)
        names += std::string(names.empty() ? "" : ", ") + g->name;
    const std::string check = "lifecycle round " + std::to_string(round) + " of " +
                              std::to_string(kLifecycleRounds) + " (seed " + std::to_string(seed) +
                              "): " + names + " on one instance";
    AudioComponentInstance unit = context.Fresh(report, check);
    if (!unit) return;
    context.parameters = UsableParameters(unit);
    Report quiet(nullptr);
    for (const GroupEntry* g : order)
        g->run(context, unit, quiet);
    const OSStatus disposed = AudioComponentInstanceDispose(unit);
    if (disposed != noErr && quiet.firstFailure.empty())
        quiet.firstFailure = "dispose: " + StatusText(disposed);
    report.Check(check, quiet.failed == 0 && disposed == noErr,
                 std::to_string(quiet.failed) + " of " + std::to_string(quiet.total) +
                     " checks fail, first " + quiet.firstFailure);
}

} // namespace
} // namespace validate

uint32_t RandomSeed() {
    std::random_device device;
    return device();
}

std::vector<std::string> ValidationGroups() {
    std::vector<std::string> names;
    for (const validate::GroupEntry& g : validate::kGroups)
        names.emplace_back(g.name);
    names.emplace_back("lifecycle");
    return names;
}

int RunValidation(const std::string& componentPath, uint32_t seed, double groupSeconds, bool strict,
                  std::ostream& out, const std::vector<std::string>& only) {
    using namespace validate;
    auto chosen = [&only](const std::string& name) {
        return only.empty() || std::find(only.begin(), only.end(), name) != only.end();
    };
    Report report(&out);
    Context context;
    context.path = componentPath;
    const Status found = FindComponent(componentPath, &context.component);
    if (report.Check("component: found", static_cast<bool>(found), found.message())) {
        // The first open, too, runs in a process of its own under the time limit: a unit may
        // hang or crash there.
        const int failedBefore = report.failed;
        Isolated("component: opens", groupSeconds, report, out, [&](Report& child) {
            AudioComponentInstance first = nullptr;
            if (child.CheckStatus("component: opens",
                                  AudioComponentInstanceNew(context.component, &first)))
                AudioComponentInstanceDispose(first);
        });
        if (report.failed == failedBefore) {
            uint32_t index = 0;
            for (const GroupEntry& group : kGroups) {
                context.random.seed(seed + ++index * 7919u);
                if (!chosen(group.name)) continue;
                Isolated(group.name, groupSeconds, report, out,
                         [&](Report& child) { RunGroup(context, group, child); });
            }
            for (int round = 1; round <= kLifecycleRounds && chosen("lifecycle"); ++round) {
                context.random.seed(seed + static_cast<uint32_t>(round));
                Isolated("lifecycle round " + std::to_string(round) + " (seed " +
                             std::to_string(seed) + ")",
                         groupSeconds, report, out,
                         [&](Report& child) { LifecycleRound(context, round, seed, child); });
            }
        }
    }
    const std::string warnings =
        report.warned == 0
            ? ""
            : std::to_string(report.warned) + (report.warned == 1 ? " warning" : " warnings");
    if (report.failed == 0 && (report.warned == 0 || !strict)) {
        out << "VALIDATION PASSED" << (warnings.empty() ? "" : " with " + warnings) << '\n';
        return 0;
    }
    out << "VALIDATION FAILED: ";
    if (report.failed > 0)
        out << report.failed << " of " << report.total << " checks"
            << (warnings.empty() ? "" : ", " + warnings) << '\n';
    else
        out << warnings << " of " << report.total << " checks under --strict\n";
    return 1;
}
