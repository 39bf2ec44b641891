// Opening addresses with the desktop's handler: one argument whatever the text holds, no
// waiting for the handler, no child left behind, and refusals that never start anything.
#include "../window/FakeDesktopOpener.h"
#include "editor/DesktopOpen.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/wait.h>

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

} // namespace
