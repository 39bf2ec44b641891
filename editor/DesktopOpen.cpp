#include "editor/DesktopOpen.h"

#include "containers/WDL_TypedBuf.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// Descriptors 3 and up that this process has open, as /proc lists them; without /proc, every
// number below the descriptor limit (capped: a host may raise the limit to millions).
bool OpenDescriptors(WDL_TypedBuf<int>* fds) {
    fds->Shrink(0);
    if (DIR* dir = opendir("/proc/self/fd")) {
        const int own = dirfd(dir);
        bool ok = true;
        while (const dirent* entry = readdir(dir)) {
            char* end = nullptr;
            const long fd = std::strtol(entry->d_name, &end, 10);
            if (end == entry->d_name || *end || fd <= 2 || fd == own) continue;
            const int n = fds->GetSize();
            if (!fds->Resize(n + 1, false)) {
                ok = false;
                break;
            }
            fds->Get()[n] = static_cast<int>(fd);
        }
        closedir(dir);
        return ok;
    }
    rlimit limit = {};
    rlim_t top = 4096;
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        top = limit.rlim_cur < 65536 ? limit.rlim_cur : 65536;
    if (top <= 3) return true;
    if (!fds->Resize(static_cast<int>(top) - 3, false)) return false;
    for (int i = 0; i < fds->GetSize(); ++i)
        fds->Get()[i] = i + 3;
    return true;
}

} // namespace

bool DesktopOpen(const char* target) {
    if (!target || !*target || *target == '-') return false;

    // posix_spawn, not fork: the UI binary must not reference fork (LV2 checkers refuse such a
    // UI), and a vfork-style spawn copies nothing of a large host. The shell is the
    // intermediate that lets the handler outlive us unwaited: it starts xdg-open in the
    // background and ends at once, so its exit is all we wait for and no zombie is left. The
    // target is its positional argument, never part of the script.
    char shell[] = "/bin/sh";
    char name[] = "sh";
    char option[] = "-c";
    char script[] = "command -v xdg-open >/dev/null 2>&1 || exit 127; xdg-open \"$1\" &";
    char* const argv[] = {name, option, script, name, const_cast<char*>(target), nullptr};

    // The host's descriptors (audio server sockets, a listening socket, pipes) must not live on
    // in the handler and the browser it starts: each one open now is closed in the child, and
    // 0, 1, 2 read and write /dev/null. A descriptor another thread opens between this listing
    // and the spawn is not caught unless it is close-on-exec, as library code opens them.
    WDL_TypedBuf<int> fds;
    if (!OpenDescriptors(&fds)) return false;
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) return false;
    bool ok = posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDWR, 0) == 0 &&
              posix_spawn_file_actions_adddup2(&actions, 0, 1) == 0 &&
              posix_spawn_file_actions_adddup2(&actions, 0, 2) == 0;
    for (int i = 0; ok && i < fds.GetSize(); ++i)
        ok = posix_spawn_file_actions_addclose(&actions, fds.Get()[i]) == 0;

    // Signals the host blocks, ignores or catches start out at their defaults, and the handler
    // runs in a session of its own: Ctrl-C on the host's terminal does not reach it.
    posix_spawnattr_t attributes;
    const bool haveAttributes = ok && posix_spawnattr_init(&attributes) == 0;
    if (haveAttributes) {
        sigset_t none, all;
        sigemptyset(&none);
        sigfillset(&all);
        sigdelset(&all, SIGKILL);
        sigdelset(&all, SIGSTOP);
        ok = posix_spawnattr_setsigmask(&attributes, &none) == 0 &&
             posix_spawnattr_setsigdefault(&attributes, &all) == 0 &&
             posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                                       POSIX_SPAWN_SETSID) == 0;
    }
    pid_t child = -1;
    if (ok && haveAttributes &&
        posix_spawn(&child, shell, &actions, &attributes, argv, environ) != 0)
        child = -1;
    if (haveAttributes) posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (child < 0) return false;

    int status = 0;
    pid_t waited;
    while ((waited = waitpid(child, &status, 0)) < 0 && errno == EINTR) {
    }
    // A host that ignores SIGCHLD has its children reaped for it: the shell was started.
    if (waited < 0) return errno == ECHILD;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
