// Opening addresses with the desktop's handler: one argument whatever the text holds, no
// waiting for the handler, no child left behind, none of the caller's descriptors in it, and
// refusals that never start anything.
#include "../window/FakeDesktopOpener.h"
#include "editor/DesktopOpen.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

TEST(DesktopOpen, PassesTheTextAsOneArgumentWithoutWaitingOrLeavingAChild) {
    FakeDesktopOpener opener;
    const std::string url = "https://example.com/a b?q='1'&r=\"$(touch " + opener.dir + "/shell)\"";
    // The handler waits for Release: a caller that waited for it would never get here.
    ASSERT_TRUE(DesktopOpen(url.c_str()));
    opener.Release();
    EXPECT_EQ(opener.Arguments(), url + "\n");
    EXPECT_NE(access((opener.dir + "/shell").c_str(), F_OK), 0) << "the text went through a shell";
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST(DesktopOpen, RefusesNoTextAnOptionAndAMissingHandler) {
    FakeDesktopOpener opener;
    EXPECT_FALSE(DesktopOpen(nullptr));
    EXPECT_FALSE(DesktopOpen(""));
    EXPECT_FALSE(DesktopOpen("--version"));
    opener.Release();
    const std::string path = std::getenv("PATH");
    setenv("PATH", "/nonexistent", 1);
    EXPECT_FALSE(DesktopOpen("https://example.com/"));
    setenv("PATH", path.c_str(), 1);
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
}

// A listening socket bound to an address on the loopback, without close-on-exec, as a host's
// control port; -1 when none can be made.
int Listen(sockaddr_in* address) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    *address = {};
    address->sin_family = AF_INET;
    address->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof *address;
    if (bind(fd, reinterpret_cast<sockaddr*>(address), size) != 0 || listen(fd, 1) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(address), &size) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// The handler (and the browser it starts) keeps none of the caller's descriptors: a host that
// closes its listening socket and starts again can bind its port while the handler lives.
TEST(DesktopOpen, TheHandlerHoldsNoneOfTheCallersDescriptors) {
    sockaddr_in address;
    const int listening = Listen(&address);
    ASSERT_GE(listening, 0);
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0); // no close-on-exec either

    FakeDesktopOpener opener; // waits until released: it is alive for what follows
    ASSERT_TRUE(DesktopOpen("https://example.com/"));
    close(listening);
    const int again = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(again, 0);
    EXPECT_EQ(bind(again, reinterpret_cast<sockaddr*>(&address), sizeof address), 0)
        << "the port is still held: " << std::strerror(errno);
    close(again);
    // Nobody else holds the pipe's write end: its reader sees the end of the data (a reader
    // that would have to wait answers EAGAIN instead).
    close(pipeFds[1]);
    fcntl(pipeFds[0], F_SETFL, O_NONBLOCK);
    char c;
    EXPECT_EQ(read(pipeFds[0], &c, 1), 0);
    close(pipeFds[0]);

    opener.Release();
    EXPECT_EQ(opener.Arguments(), "https://example.com/\n");
}

} // namespace
