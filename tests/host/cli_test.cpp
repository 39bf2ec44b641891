// The zerub-host program itself, run in a temporary folder.
#include "host/Components.h"
#include "host/EditorCommand.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace hosttest;

TEST(Cli, DemoWritesIntoOutDemoByDefault) {
    TempDir cwd;
    const RunResult run = RunHost(cwd.path(), {"render", "--demo"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 4u) << run.out;
    EXPECT_EQ(lines[0].rfind("out/demo/dry.wav ", 0), 0u) << lines[0];
    EXPECT_EQ(lines[3].rfind("out/demo/full.wav ", 0), 0u) << lines[3];
    EXPECT_EQ(Entries(cwd.path() / "out/demo"),
              (std::vector<std::string>{"clean.wav", "dry.wav", "full.wav", "medium.wav"}));
}

TEST(Cli, DemoFailuresAreOneLineAndNonZero) {
    TempDir cwd;
    std::ofstream(cwd / "file") << "x";
    // The folder cannot be made: under a regular file.
    const RunResult blocked = RunHost(cwd.path(), {"render", "--demo", "file/demo"});
    EXPECT_EQ(blocked.status, 1);
    EXPECT_EQ(blocked.out, "");
    ASSERT_EQ(Lines(blocked.err).size(), 1u) << blocked.err;
    EXPECT_EQ(blocked.err.rfind("zerub-host: cannot create folder file/demo: ", 0), 0u)
        << blocked.err;

    // The dry file is written, the next one cannot be: the run stops there and leaves no
    // temporary file.
    fs::create_directories(cwd.path() / "half/clean.wav");
    const RunResult half = RunHost(cwd.path(), {"render", "--demo", "half"});
    EXPECT_EQ(half.status, 1);
    EXPECT_EQ(Lines(half.out).size(), 1u) << half.out;
    ASSERT_EQ(Lines(half.err).size(), 1u) << half.err;
    EXPECT_EQ(half.err.rfind("zerub-host: cannot write half/clean.wav: ", 0), 0u) << half.err;
    EXPECT_EQ(Entries(cwd.path() / "half"), (std::vector<std::string>{"clean.wav", "dry.wav"}));

    // The summary cannot be delivered.
    if (fs::exists("/dev/full")) {
        const RunResult full = RunHost(cwd.path(), {"render", "--demo", "full"}, "", "/dev/full");
        EXPECT_EQ(full.status, 1);
        EXPECT_EQ(full.err, "zerub-host: cannot write to standard output\n");
    }

    // A folder that exists but cannot be written (permissions do not stop root).
    if (geteuid() != 0) {
        fs::create_directory(cwd.path() / "locked");
        chmod((cwd / "locked").c_str(), 0555);
        const RunResult locked = RunHost(cwd.path(), {"render", "--demo", "locked"});
        EXPECT_EQ(locked.status, 1);
        EXPECT_EQ(Lines(locked.err).size(), 1u) << locked.err;
        EXPECT_TRUE(fs::is_empty(cwd.path() / "locked"));
        chmod((cwd / "locked").c_str(), 0755);
    }
}

TEST(Cli, CommandLineMistakesAreOneLineWithStatus2) {
    TempDir cwd;
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"frobnicate"}, "zerub-host: unknown subcommand 'frobnicate' (try --help)\n"},
        {{}, "zerub-host: A subcommand is required (try --help)\n"},
        {{"render", "--demo", "a", "b"}, "zerub-host: render --demo takes at most one folder\n"},
        {{"render", "--demo", ""}, "zerub-host: render --demo: the folder name is empty\n"},
        {{"render", "--demo", "--block", "64"},
         "zerub-host: render --demo: --block does not apply\n"},
        {{"render", "--demo", "--bypass"}, "zerub-host: render --demo: --bypass does not apply\n"},
        {{"render", "in.wav"}, "zerub-host: render takes IN OUT (or --demo [OUTDIR])\n"},
        {{"render", "in.wav", "out.wav", "x.wav"},
         "zerub-host: render takes IN OUT (or --demo [OUTDIR])\n"},
        {{"render", "in.wav", "out.wav", "--block", "many"},
         "zerub-host: Could not convert: --block = many (try --help)\n"},
        {{"render", "in.wav", "out.wav", "--frobnicate"},
         "zerub-host: The following argument was not expected: --frobnicate (try --help)\n"},
        {{"state"}, "zerub-host: A subcommand is required (try --help)\n"},
        {{"state", "load"}, "zerub-host: file is required (try --help)\n"},
        {{"list", "extra"},
         "zerub-host: The following argument was not expected: extra "
         "(try --help)\n"},
    };
    for (const auto& [args, expected] : cases) {
        const RunResult run = RunHost(cwd.path(), args);
        EXPECT_EQ(run.status, 2) << expected;
        EXPECT_EQ(run.err, expected);
        EXPECT_EQ(run.out, "");
    }
    EXPECT_TRUE(fs::is_empty(cwd.path()));
}

TEST(Cli, SubcommandsOfLaterBuildsSayTheyAreMissing) {
    TempDir cwd;
    std::vector<std::pair<std::vector<std::string>, std::string>> cases;
    if (!EditorAvailable()) cases.push_back({{"editor", "--snapshot", "x.png"}, "editor"});
    if (!ComponentsAvailable()) {
        for (const char* sub : {"list", "info", "validate"})
            cases.push_back({{sub}, sub});
        cases.push_back({{"render", "in.wav", "out.wav"}, "render"});
        cases.push_back({{"state", "load", "x.aupreset"}, "state"});
    }
    for (const auto& [args, name] : cases) {
        const RunResult run = RunHost(cwd.path(), args);
        EXPECT_EQ(run.status, 2) << name;
        EXPECT_EQ(run.err, "zerub-host: " + name + " is not available in this build\n");
        EXPECT_EQ(run.out, "");
    }
    EXPECT_TRUE(fs::is_empty(cwd.path()));
}

TEST(Cli, HelpGoesToStdout) {
    TempDir cwd;
    const RunResult run = RunHost(cwd.path(), {"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    for (const char* sub : {"list", "info", "render", "state", "validate", "editor"})
        EXPECT_NE(run.out.find(sub), std::string::npos) << sub;
}
