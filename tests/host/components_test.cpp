// list and info, run through the program against test units and, when built, the component.
#include "test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace hosttest;

namespace {

const std::string kUnits = ZERUB_TEST_UNITS;

} // namespace

TEST(List, ShowsEveryComponentOnTheSearchPath) {
    TempDir cwd;
    const RunResult run = RunHost(cwd.path(), {"list"}, kUnits + "/HostTest.component");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    // The build folder is searched after the given path, so the product may follow.
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_GE(lines.size(), 2u) << run.out;
    EXPECT_EQ(lines[0], "aufx ZRB1 Qmor  2.1.3  Test: Host Unit");
    EXPECT_EQ(lines[1], "aufx HTU2 Htst  0.0.1  Test: Second Unit");
}

TEST(List, ABundleWhoseInfoExpandsEnormouslyIsPassedOverSmall) {
    TempDir dir;
    fs::create_directories(dir.path() / "Shared.component/Contents");
    std::ofstream(dir / "Shared.component/Contents/Info.plist") << SharedReferencePlist();
    const RunResult run =
        RunHost(dir.path(), {"list"}, dir.path().string() + ":" + kUnits + "/HostTest.component");
    EXPECT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_GE(lines.size(), 2u) << run.out;
    EXPECT_EQ(lines[0], "aufx ZRB1 Qmor  2.1.3  Test: Host Unit");
    // Expanded, it took 1.4 GB; the program alone takes a small fraction of this.
    EXPECT_LT(run.peakKilobytes, 300 * 1024);
}

// A FIFO put in place of a bundle's Info.plist between the check of the file and its open: the
// bundle is passed over at once, the other components listed.
TEST(List, AFifoSwappedInForABundleFileIsPassedOverWithoutWaiting) {
    TempDir dir;
    fs::create_directories(dir.path() / "Swapped.component/Contents");
    const std::string info = dir / "Swapped.component/Contents/Info.plist";
    fs::copy_file(kUnits + "/HostTest.component/Contents/Info.plist", info);
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    // Should the program wait on the FIFO after all, a writer that comes and goes ends the wait.
    std::atomic<bool> finished{false};
    std::thread rescue([&] {
        for (int i = 0; i < 50 && !finished; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const int fd = open(info.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) close(fd);
    });
    const auto start = std::chrono::steady_clock::now();
    const RunResult run = RunHost(
        dir.path(), {"list"}, dir.path().string() + ":" + kUnits + "/HostTest.component", nullptr,
        {{"LD_PRELOAD", ZERUB_FIFO_SWAP_PRELOAD},
         {"ZERUB_SWAP_TARGET", info},
         {"ZERUB_SWAP_FIFO", dir / "fifo"}});
    const auto waited = std::chrono::steady_clock::now() - start;
    finished = true;
    rescue.join();
    EXPECT_TRUE(fs::is_fifo(info)) << "the FIFO was never swapped in";
    EXPECT_LT(waited, std::chrono::seconds(5)) << "list waited for a writer";
    EXPECT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_GE(lines.size(), 1u) << run.out;
    EXPECT_EQ(lines[0], "aufx ZRB1 Qmor  2.1.3  Test: Host Unit");
}

TEST(Info, DescribesAUnitFromItsBundle) {
    TempDir cwd;
    const RunResult run =
        RunHost(cwd.path(), {"info", "--component", kUnits + "/HostTest.component"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, "name           Test: Host Unit\n"
                       "type           aufx (effect)\n"
                       "subtype        ZRB1\n"
                       "manufacturer   Qmor\n"
                       "version        2.1.3\n"
                       "channels       1 in / 1 out, 2 in / 2 out, any in / any out\n"
                       "latency        0.0015 s\n"
                       "tail time      0.25 s\n"
                       "parameters     3\n"
                       "  id  name      range        default  unit     values\n"
                       "  0   Drive     0 .. 1       0.5      \"%\"\n"
                       "  1   Tone?[2J  200 .. 8000  1500     Hz\n"
                       "  2   Mode      0 .. 2       1        indexed  Soft, Hard, Fuzz\n"
                       "presets        2\n"
                       "  0  Warm\n"
                       "  7  Hot\n");
}

TEST(Info, FindsTheProductCodesOnTheSearchPath) {
    TempDir cwd;
    const RunResult run = RunHost(cwd.path(), {"info"}, kUnits);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Lines(run.out).at(0), "name           Test: Host Unit");
}

TEST(Info, SaysWhatAUnitDoesNotReport) {
    TempDir cwd;
    const RunResult run = RunHost(cwd.path(), {"info", "--component", kUnits + "/Mute.component"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("channels       not reported (status -10879)\n"), std::string::npos);
    EXPECT_NE(run.out.find("parameters     not reported (status -10879)\n"), std::string::npos);
    EXPECT_NE(run.out.find("presets        not reported (status -10879)\n"), std::string::npos);
}

TEST(Info, BadBundlesAreOneLineAndNonZero) {
    TempDir cwd;
    std::ofstream(cwd / "plain.component") << "x";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"missing.component", ": No such file or directory"},
        {"plain.component", ": not a .component bundle"},
        {kUnits + "/Empty.component", ": Contents/Info.plist is missing or malformed"},
    };
    for (const auto& [path, reason] : cases) {
        const RunResult run = RunHost(cwd.path(), {"info", "--component", path});
        EXPECT_EQ(run.status, 1) << path;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "zerub-host: cannot open component " + path + reason + "\n");
    }
}

TEST(Info, NothingFoundIsOneLineAndNonZero) {
    // The build folder is always searched.
    if (fs::exists(ZERUB_COMPONENT_BUNDLE)) GTEST_SKIP() << "the build folder holds the product";
    TempDir cwd;
    const RunResult run = RunHost(cwd.path(), {"info"}, (cwd / "nowhere"));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
    EXPECT_EQ(run.err.rfind("zerub-host: no Zerub component on the search path", 0), 0u);
}

// The product itself, once the build has made its bundle.
TEST(Info, DescribesTheProduct) {
    const std::string bundle = ZERUB_COMPONENT_BUNDLE;
    if (!fs::exists(bundle + "/Contents/Info.plist"))
        GTEST_SKIP() << "no component bundle at " << bundle;
    TempDir cwd;
    const RunResult run = RunHost(cwd.path(), {"info", "--component", bundle});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string& out = run.out;
    for (const char* expected :
         {"type           aufx (effect)\n", "subtype        ZRB1\n", "manufacturer   Qmor\n",
          "version        1.0.0\n", "channels       1 in / 1 out, 2 in / 2 out\n",
          "latency        0 s\n", "parameters     3\n", "presets        1\n"})
        EXPECT_NE(out.find(expected), std::string::npos) << expected << "in:\n" << out;
    EXPECT_NE(out.find("Gain"), std::string::npos) << out;
    EXPECT_NE(out.find("Level"), std::string::npos) << out;
    EXPECT_NE(out.find("BY"), std::string::npos) << out;
}
