#include "ScopedXvfb.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <vector>

ScopedXvfb::ScopedXvfb(const std::string& screen, const std::string& extra) {
    if (std::system("command -v Xvfb >/dev/null 2>&1") != 0) {
        why = "Xvfb is not installed (apt-get install xvfb)";
        return;
    }
    int fds[2];
    if (pipe(fds) != 0) {
        why = "cannot make a pipe for Xvfb";
        return;
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
    server = fork();
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
        why = "cannot start Xvfb";
        return;
    }
    std::string number;
    pollfd p = {fds[0], POLLIN, 0};
    while (poll(&p, 1, 60000) == 1) {
        char c = 0;
        if (read(fds[0], &c, 1) != 1 || c == '\n') break;
        number += c;
    }
    close(fds[0]);
    if (number.empty()) {
        why = "Xvfb -screen 0 " + screen + " " + extra + " did not start";
        kill(server, SIGTERM);
        waitpid(server, nullptr, 0);
        server = -1;
        return;
    }
    const char* display = std::getenv("DISPLAY");
    hadDisplay = display != nullptr;
    oldDisplay = display ? display : "";
    setenv("DISPLAY", (":" + number).c_str(), 1);
}

ScopedXvfb::~ScopedXvfb() {
    if (server <= 0) return;
    if (hadDisplay)
        setenv("DISPLAY", oldDisplay.c_str(), 1);
    else
        unsetenv("DISPLAY");
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
}
