#include "host/ProgressBar.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <string>
#include <unistd.h>

namespace {

// Everything that can be read from fd without waiting.
std::string Drain(int fd) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;)
        text.append(buffer, n);
    return text;
}

} // namespace

TEST(ProgressBar, IsSilentOnAPipe) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    {
        ProgressBar bar(fds[1], "render");
        EXPECT_FALSE(bar.Enabled());
        bar.Update(10, 100);
        bar.Update(100, 100);
        bar.Finish();
    }
    close(fds[1]);
    EXPECT_EQ(Drain(fds[0]), "");
    close(fds[0]);
}

TEST(ProgressBar, DrawsOnATerminalOncePerPercent) {
    int master = -1, slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        GTEST_SKIP() << "no pseudo-terminal available";
    {
        ProgressBar bar(slave, "render");
        EXPECT_TRUE(bar.Enabled());
        bar.Update(0, 200);
        bar.Update(1, 200); // still 0 %: no redraw
        bar.Update(100, 200);
        bar.Update(500, 200); // clamped to 100 %
        bar.Finish();
    }
    const std::string text = Drain(master);
    close(slave);
    close(master);
    const std::string empty(30, '-'), half = std::string(15, '#') + std::string(15, '-');
    // The terminal turns the final newline into CR LF.
    EXPECT_EQ(text, "\rrender [" + empty + "]   0%" + "\rrender [" + half + "]  50%" +
                        "\rrender [" + std::string(30, '#') + "] 100%\r\n");
}
