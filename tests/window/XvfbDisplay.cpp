#include "XvfbDisplay.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

pid_t gServer = -1;
std::string gWhy;

void StopXvfb() {
    if (gServer > 0) {
        kill(gServer, SIGTERM);
        waitpid(gServer, nullptr, 0);
        gServer = -1;
    }
}

bool Launch() {
    if (std::system("command -v Xvfb >/dev/null 2>&1") != 0) {
        gWhy = "Xvfb is not installed (apt-get install xvfb)";
        return false;
    }
    int fds[2];
    if (pipe(fds) != 0) {
        gWhy = "cannot make a pipe for Xvfb";
        return false;
    }
    // Xvfb picks a free display and writes its number to the pipe once it accepts clients. It
    // ends with this process (the X connection must outlive everything that still uses it).
    const std::string fd = std::to_string(fds[1]);
    gServer = fork();
    if (gServer == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        close(fds[0]);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-noreset",
               "-nolisten", "tcp", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    if (gServer < 0) {
        close(fds[0]);
        gWhy = "cannot start Xvfb";
        return false;
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
        gWhy = "Xvfb did not report a display";
        StopXvfb();
        return false;
    }
    setenv("DISPLAY", (":" + number).c_str(), 1);
    return true;
}

} // namespace

bool StartXvfb(std::string* why) {
    static const bool ok = Launch();
    if (!ok && why) *why = gWhy;
    return ok;
}

int RunCommand(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
