// state save and state load, run through the program against the built component.
#include "host/WavFile.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <regex>
#include <sys/stat.h>
#include <thread>

using namespace hosttest;

namespace {

const std::string kBundle = ZERUB_COMPONENT_BUNDLE;

RunResult State(const TempDir& dir, std::vector<std::string> args) {
    args.insert(args.begin(), "state");
    args.push_back("--component");
    args.push_back(kBundle);
    return RunHost(dir.path(), args);
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path) << text;
}

} // namespace

TEST(State, SaveThenLoadRoundTripsTheValues) {
    TempDir dir;
    const RunResult saved =
        State(dir, {"save", "p.aupreset", "--param", "gain=0.25", "--param", "2=1"});
    ASSERT_EQ(saved.status, 0) << saved.err;
    EXPECT_EQ(saved.err, "");
    const std::string expected = "Gain   0.25\nLevel  0.5\nBY     1\n";
    EXPECT_EQ(saved.out, expected);
    EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"p.aupreset"});
    const std::string xml = ReadText(dir / "p.aupreset");
    EXPECT_EQ(xml.rfind("<?xml", 0), 0u) << xml;
    for (const char* key : {"version", "type", "subtype", "manufacturer", "name", "data"})
        EXPECT_NE(xml.find(std::string("<key>") + key + "</key>"), std::string::npos) << key;

    const RunResult loaded = State(dir, {"load", "p.aupreset"});
    EXPECT_EQ(loaded.status, 0) << loaded.err;
    EXPECT_EQ(loaded.err, "");
    EXPECT_EQ(loaded.out, expected);

    // Saving again replaces the file whole.
    ASSERT_EQ(State(dir, {"save", "p.aupreset", "--param", "Level=0.125"}).status, 0);
    EXPECT_EQ(State(dir, {"load", "p.aupreset"}).out, "Gain   0.5\nLevel  0.125\nBY     0\n");
    EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"p.aupreset"});
}

// The host and the plug-in base write through one writer: a replaced file keeps its
// permissions, and one named through a symbolic link is replaced where the link points.
TEST(State, ASavedOverFileKeepsItsPermissionsAndItsLink) {
    TempDir dir;
    WriteText(dir / "p.aupreset", "old");
    ASSERT_EQ(chmod((dir / "p.aupreset").c_str(), 0600), 0);
    ASSERT_EQ(symlink("p.aupreset", (dir / "link.aupreset").c_str()), 0);
    const RunResult saved = State(dir, {"save", "link.aupreset", "--param", "gain=0.75"});
    ASSERT_EQ(saved.status, 0) << saved.err;
    struct stat info;
    ASSERT_EQ(lstat((dir / "link.aupreset").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    ASSERT_EQ(stat((dir / "p.aupreset").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_EQ(State(dir, {"load", "p.aupreset"}).out, "Gain   0.75\nLevel  0.5\nBY     0\n");
}

TEST(State, MalformedAndForeignPresetsAreRefused) {
    TempDir dir;
    ASSERT_EQ(State(dir, {"save", "good.aupreset", "--param", "Gain=0.75"}).status, 0);
    const std::string good = ReadText(dir / "good.aupreset");
    auto edited = [&](const std::string& pattern, const std::string& replacement) {
        return std::regex_replace(good, std::regex(pattern), replacement);
    };
    // 'ZRB1' is 1515340337; the foreign file claims 'ZRB2'.
    WriteText(dir / "foreign.aupreset",
              edited("<integer>1515340337</integer>", "<integer>1515340338</integer>"));
    WriteText(dir / "nodata.aupreset", edited("<key>data</key>\\s*<data>[^<]*</data>", ""));
    WriteText(dir / "truncated.aupreset", good.substr(0, good.size() / 2));
    WriteText(dir / "garbage.aupreset", "\x01\x02 this is not a preset");
    WriteText(dir / "array.aupreset", "<?xml version=\"1.0\"?><plist version=\"1.0\"><array>"
                                      "<integer>1</integer></array></plist>");
    WriteText(dir / "empty.aupreset", "");

    const std::vector<std::pair<std::string, std::string>> cases = {
        {"foreign.aupreset", "different component (subtype ZRB2, this one is ZRB1)"},
        {"nodata.aupreset", "missing data (no state data)"},
        {"truncated.aupreset", "not a property list"},
        {"garbage.aupreset", "not a property list"},
        {"empty.aupreset", "not a property list"},
        {"array.aupreset", "not a dictionary"},
    };
    for (const auto& [file, reason] : cases) {
        const RunResult run = State(dir, {"load", file});
        EXPECT_EQ(run.status, 1) << file;
        EXPECT_EQ(run.out, "") << file;
        EXPECT_EQ(run.err, "zerub-host: cannot load " + file + ": " + reason + "\n");
    }
    const RunResult missing = State(dir, {"load", "absent.aupreset"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "zerub-host: cannot read absent.aupreset: No such file or directory\n");
}

TEST(State, FailedSavesLeaveNothing) {
    TempDir dir;
    const RunResult unknown = State(dir, {"save", "p.aupreset", "--param", "Tone=1"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(Lines(unknown.err).size(), 1u) << unknown.err;
    const RunResult range = State(dir, {"save", "p.aupreset", "--param", "BY=2"});
    EXPECT_EQ(range.status, 1);
    EXPECT_EQ(range.err, "zerub-host: --param BY=2: outside the range of BY, 0 .. 1\n");
    const RunResult folder = State(dir, {"save", "absent/p.aupreset"});
    EXPECT_EQ(folder.status, 1);
    EXPECT_EQ(folder.err,
              "zerub-host: cannot write absent/p.aupreset: No such file or directory\n");
    EXPECT_EQ(folder.out, "");
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(State, ARestoreTheUnitRefusesFailsWithOneLine) {
    // The test unit refuses state data of the wrong length, as a sound unit does.
    TempDir dir;
    const std::string unit = std::string(ZERUB_TEST_UNITS) + "/Faulty.component";
    ASSERT_EQ(RunHost(dir.path(), {"state", "save", "p.aupreset", "--component", unit}).status, 0);
    const std::string good = ReadText(dir / "p.aupreset");
    WriteText(dir / "short.aupreset",
              std::regex_replace(good, std::regex("<data>[^<]*</data>"), "<data>AAA=</data>"));
    const RunResult run =
        RunHost(dir.path(), {"state", "load", "short.aupreset", "--component", unit});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "zerub-host: cannot load short.aupreset: the component refuses it (status "
                       "-10851)\n");
}

TEST(State, APresetThatExpandsEnormouslyIsRefusedSmall) {
    TempDir dir;
    WriteText(dir / "shared.aupreset", SharedReferencePlist());
    const RunResult run = State(dir, {"load", "shared.aupreset"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "zerub-host: cannot load shared.aupreset: not a property list\n");
    // Expanded, it took 1.4 GB; the program alone takes a small fraction of this.
    EXPECT_LT(run.peakKilobytes, 300 * 1024);
}

TEST(State, PresetsThatAreNotRegularFilesAreRefusedWithoutWaiting) {
    TempDir dir;
    ASSERT_EQ(mkfifo((dir / "fifo.aupreset").c_str(), 0600), 0);
    ASSERT_TRUE(WriteWavFloat(dir / "in.wav", PlanarAudio(44100, 1, 100)));
    // A program that waits for a writer is released after a long while, so that the test fails
    // instead of hanging.
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false, released = false;
    std::thread watchdog([&] {
        std::unique_lock<std::mutex> lock(mutex);
        if (finished.wait_for(lock, std::chrono::seconds(30), [&] { return done; })) return;
        released = true;
        while (!finished.wait_for(lock, std::chrono::milliseconds(10), [&] { return done; })) {
            const int fd = open((dir / "fifo.aupreset").c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) close(fd);
        }
    });
    const RunResult load = State(dir, {"load", "fifo.aupreset"});
    const RunResult render = RunHost(dir.path(), {"render", "in.wav", "out.wav", "--preset",
                                                  "fifo.aupreset", "--component", kBundle});
    {
        std::lock_guard<std::mutex> lock(mutex);
        done = true;
    }
    finished.notify_all();
    watchdog.join();
    EXPECT_FALSE(released) << "the program waited for a writer";
    EXPECT_EQ(load.status, 1);
    EXPECT_EQ(load.err, "zerub-host: cannot read fifo.aupreset: not a regular file\n");
    EXPECT_EQ(render.status, 1);
    EXPECT_EQ(render.err, "zerub-host: cannot read fifo.aupreset: not a regular file\n");
    EXPECT_FALSE(fs::exists(dir / "out.wav"));

    fs::create_directory(dir / "folder.aupreset");
    const RunResult folder = State(dir, {"load", "folder.aupreset"});
    EXPECT_EQ(folder.status, 1);
    EXPECT_EQ(folder.err, "zerub-host: cannot read folder.aupreset: not a regular file\n");
}
