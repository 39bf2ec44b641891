#include "XvfbDisplay.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <vector>

namespace {

void Stop(pid_t server) {
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
}

// Xvfb picks a free display and writes its number to a pipe once it accepts clients; it ends
// with this process (the X connection must outlive everything that still uses it). Returns the
// server's pid and sets DISPLAY, or -1 with the reason in *why.
pid_t Launch(const std::string& screen, const std::string& extra, std::string* why) {
    if (std::system("command -v Xvfb >/dev/null 2>&1") != 0) {
        *why = "Xvfb is not installed (apt-get install xvfb)";
        return -1;
    }
    int fds[2];
    if (pipe(fds) != 0) {
        *why = "cannot make a pipe for Xvfb";
        return -1;
    }
    std::vector<std::string> args = {
        "Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", screen, "-nolisten", "tcp"};
    std::istringstream more(extra);
    for (std::string word; more >> word;)
        args.push_back(word);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    const pid_t server = fork();
    if (server == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        close(fds[0]);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(fds[1]);
    if (server < 0) {
        close(fds[0]);
        *why = "cannot start Xvfb";
        return -1;
    }
    std::string number;
    pollfd p = {fds[0], POLLIN, 0};
    // A loaded machine may take a while to bring the server up.
    while (poll(&p, 1, 60000) == 1) {
        char c = 0;
        if (read(fds[0], &c, 1) != 1 || c == '\n') break;
        number += c;
    }
    close(fds[0]);
    if (number.empty()) {
        *why = "Xvfb -screen 0 " + screen + " " + extra + " did not start";
        Stop(server);
        return -1;
    }
    setenv("DISPLAY", (":" + number).c_str(), 1);
    return server;
}

} // namespace

bool StartXvfb(std::string* why) {
    static std::string failure;
    static const bool ok = Launch("1024x768x24", "-noreset", &failure) > 0;
    if (!ok && why) *why = failure;
    return ok;
}

int RunCommand(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

ScopedXvfb::ScopedXvfb(const std::string& screen, const std::string& extra) {
    const char* display = std::getenv("DISPLAY");
    hadDisplay = display != nullptr;
    oldDisplay = display ? display : "";
    server = Launch(screen, extra, &why);
}

ScopedXvfb::~ScopedXvfb() {
    if (server <= 0) return;
    if (hadDisplay)
        setenv("DISPLAY", oldDisplay.c_str(), 1);
    else
        unsetenv("DISPLAY");
    Stop(server);
}
