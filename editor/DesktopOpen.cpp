#include "editor/DesktopOpen.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

bool DesktopOpen(const char* target) {
    if (!target || !*target || *target == '-') return false;
    // Everything the children use is made before fork: after it only async-signal-safe calls.
    char program[] = "xdg-open";
    char* const argv[] = {program, const_cast<char*>(target), nullptr};
    // The grandchild reports an exec failure through a pipe closed on a successful exec.
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) return false;
    const pid_t child = fork();
    if (child < 0) {
        close(report[0]);
        close(report[1]);
        return false;
    }
    if (child == 0) {
        close(report[0]);
        // Signals the host blocks or ignores must not reach the launcher that way.
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        setsid(); // away from the host's terminal: Ctrl-C there does not reach the launcher
        const pid_t grandchild = fork();
        if (grandchild != 0) _exit(grandchild < 0 ? 1 : 0);
        const int devNull = open("/dev/null", O_RDWR);
        // The handler and what it starts (a browser) live on after the caller: they keep none
        // of its terminal or pipes.
        if (devNull >= 0) {
            dup2(devNull, 0);
            dup2(devNull, 1);
            dup2(devNull, 2);
        }
        execvp(argv[0], argv);
        const int error = errno;
        if (write(report[1], &error, sizeof error) < 0) {
        }
        _exit(127);
    }
    close(report[1]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    bool started = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    // Waits only until the grandchild has exec'd or failed to: the pipe closes either way.
    int error = 0;
    ssize_t n;
    while ((n = read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
    }
    close(report[0]);
    if (n > 0) started = false;
    return started;
}
