// The filter that keeps the window system's chatter off zerub-host's stderr: other lines pass
// whole and in order, a last line without its newline too, and a child that inherited stderr
// does not hold the program when the filter goes.
#include "host/EditorCommand.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Runs body with fd 2 sent to a file; what reached the file.
template <typename Body>
std::string CaptureStderr(Body body) {
    char name[] = "/tmp/zerub-stderr-XXXXXX";
    const int file = mkstemp(name);
    std::fflush(stderr);
    const int saved = dup(2);
    dup2(file, 2);
    body();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    close(file);
    std::ifstream in(name);
    std::stringstream text;
    text << in.rdbuf();
    unlink(name);
    return text.str();
}

void Say(const char* text) {
    ssize_t ignored = write(2, text, std::char_traits<char>::length(text));
    (void)ignored;
}

TEST(StderrFilter, DropsTheNoiseAndPassesTheRestWholeAndInOrder) {
    const std::string seen = CaptureStderr([] {
        StderrFilter filter("Failed to determine offsets");
        Say("first line\n2026 app[1:1] Failed to determine offsets for style 1\nsec");
        Say("ond line\nFailed to determine offsets for style 2\n");
        std::fprintf(stderr, "third, through stdio\n");
        Say("no newline at the end");
    });
    EXPECT_EQ(seen, "first line\nsecond line\nthird, through stdio\nno newline at the end");
}

TEST(StderrFilter, AChildHoldingStderrDoesNotHoldTheProgram) {
    pid_t child = -1;
    const std::string seen = CaptureStderr([&child] {
        StderrFilter filter("noise");
        child = fork();
        if (child == 0) {
            for (;;)
                pause(); // keeps the filter's pipe open until it is killed
        }
        Say("before\n");
    }); // would wait for the child here if the filter waited for the pipe's end
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_EQ(seen, "before\n");
}

} // namespace
