// render and state outputs that are no plain new file, inputs that deserve a word, and bundles
// that cannot be loaded: run through the program.
#include "host/WavFile.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>

using namespace hosttest;

namespace {

const std::string kBundle = ZERUB_COMPONENT_BUNDLE;

PlanarAudio Tone(int rate, int frames) {
    PlanarAudio audio(rate, 1, frames);
    for (int i = 0; i < frames; ++i)
        audio.channels[0][i] = 0.5f * static_cast<float>((i % 64) - 32) / 32.0f;
    return audio;
}

// Lowers this process's file-size limit while it lives, so that the programs it starts inherit
// it; nothing here writes a file meanwhile.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit lowered = saved_;
        lowered.rlim_cur = bytes;
        set_ = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit() {
        if (set_) setrlimit(RLIMIT_FSIZE, &saved_);
    }
    bool Set() const { return set_; }

private:
    rlimit saved_{};
    bool set_ = false;
};

bool IsLink(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

} // namespace

TEST(RenderOutput, LinksStayLinksAndFifosAreWrittenStraight) {
    TempDir dir;
    ASSERT_TRUE(WriteWavFloat(dir / "in.wav", Tone(44100, 1000)));
    fs::create_directory(dir / "real");
    ASSERT_TRUE(WriteWavFloat(dir / "real/old.wav", Tone(44100, 10)));
    fs::create_symlink("real/old.wav", dir / "link.wav");
    fs::create_symlink("real/new.wav", dir / "dangling.wav");
    for (const char* link : {"link.wav", "dangling.wav"}) {
        const RunResult run = Render(dir, {"in.wav", link, "--bypass"});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(IsLink(dir / link)) << link;
        PlanarAudio out;
        ASSERT_TRUE(ReadAudioFile(dir / link, &out)) << link;
        EXPECT_EQ(out.NumFrames(), 1000) << link;
    }
    // No temporary left beside the link or its target.
    EXPECT_EQ(Entries(dir.path()),
              (std::vector<std::string>{"dangling.wav", "in.wav", "link.wav", "real"}));
    EXPECT_EQ(Entries(dir.path() / "real"), (std::vector<std::string>{"new.wav", "old.wav"}));

    // A preset saved through a link replaces the target too.
    fs::create_symlink("real/p.aupreset", dir / "p.aupreset");
    const RunResult saved =
        RunHost(dir.path(), {"state", "save", "p.aupreset", "--component", kBundle});
    ASSERT_EQ(saved.status, 0) << saved.err;
    EXPECT_TRUE(IsLink(dir / "p.aupreset"));
    EXPECT_NE(ReadText(dir / "real/p.aupreset").find("<plist"), std::string::npos);

    // A FIFO keeps being a FIFO and its reader gets the whole file.
    ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] {
        const int fd = open((dir / "pipe").c_str(), O_RDONLY);
        char buffer[4096];
        for (ssize_t n; fd >= 0 && (n = read(fd, buffer, sizeof buffer)) > 0;)
            received.append(buffer, static_cast<size_t>(n));
        if (fd >= 0) close(fd);
    });
    const RunResult piped = Render(dir, {"in.wav", "pipe", "--bypass"});
    reader.join();
    ASSERT_EQ(piped.status, 0) << piped.err;
    EXPECT_TRUE(fs::is_fifo(dir / "pipe"));
    EXPECT_EQ(received.size(), fs::file_size(dir / "real/old.wav")) << "the same file a path gets";
    EXPECT_EQ(received.compare(0, 4, "RIFF"), 0);
}

TEST(RenderOutput, TheInputIsNeverTheOutput) {
    TempDir dir;
    ASSERT_TRUE(WriteWavFloat(dir / "in.wav", Tone(44100, 500)));
    const std::string before = ReadText(dir / "in.wav");
    fs::create_symlink("in.wav", dir / "alias.wav");
    fs::create_hard_link(dir / "in.wav", dir / "hard.wav");
    for (const char* output : {"in.wav", "./in.wav", "alias.wav", "hard.wav"}) {
        const RunResult run = Render(dir, {"in.wav", output});
        EXPECT_EQ(run.status, 1) << output;
        EXPECT_EQ(run.err, "zerub-host: cannot write " + std::string(output) +
                               ": it is the input file in.wav\n");
    }
    EXPECT_EQ(ReadText(dir / "in.wav"), before);
    EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"alias.wav", "hard.wav", "in.wav"}));
}

TEST(RenderOutput, ShortFilesHighRatesAndRepeatedParametersAreNamed) {
    TempDir dir;
    ASSERT_TRUE(WriteWavFloat(dir / "in.wav", Tone(44100, 4000)));
    // Cut after 1000 frames: the header still claims 4000.
    const std::string whole = ReadText(dir / "in.wav");
    const size_t data = whole.find("data") + 8;
    std::ofstream(dir / "cut.wav", std::ios::binary) << whole.substr(0, data + 1000 * 4);
    RunResult run = Render(dir, {"cut.wav", "out.wav"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "zerub-host: warning: cut.wav: the header claims 4000 frames but the file "
                       "holds 1000; rendering those\n");
    run = Render(dir, {"in.wav", "out.wav"});
    EXPECT_EQ(run.err, "") << "a whole file draws no warning";

    ASSERT_TRUE(WriteWavFloat(dir / "fast.wav", Tone(384000, 100)));
    run = Render(dir, {"fast.wav", "out.wav"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "zerub-host: warning: fast.wav is at 384000 Hz; the circuit computes its "
                       "coefficients at 192000 Hz\n");

    fs::remove(dir / "out.wav");
    run = Render(dir, {"in.wav", "out.wav", "--param", "gain=0.2", "--param", "Level=1", "--param",
                       "0=0.4"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "zerub-host: --param 0=0.4: Gain is already given (--param gain=0.2)\n");
    EXPECT_FALSE(fs::exists(dir / "out.wav"));
}

TEST(RenderOutput, HeaderFramesOnlyFromAWholeHeader) {
    PlanarAudio audio = Tone(8000, 300);
    TempDir dir;
    ASSERT_TRUE(WriteWavFloat(dir / "a.wav", audio));
    const std::string bytes = ReadText(dir / "a.wav");
    const auto* raw = reinterpret_cast<const unsigned char*>(bytes.data());
    long long frames = 0;
    ASSERT_TRUE(WavHeaderFrames(raw, bytes.size(), &frames));
    EXPECT_EQ(frames, 300);
    // The header cut before its data chunk, or another kind of file: no claim.
    EXPECT_FALSE(WavHeaderFrames(raw, bytes.find("data"), &frames));
    EXPECT_FALSE(WavHeaderFrames(raw, 11, &frames));
    const std::string notWave = "RIFX" + bytes.substr(4);
    EXPECT_FALSE(WavHeaderFrames(reinterpret_cast<const unsigned char*>(notWave.data()),
                                 notWave.size(), &frames));
}

TEST(RenderOutput, BrokenBundlesSayWhy) {
    TempDir dir;
    fs::create_directories(dir / "NoPlist.component/Contents");
    fs::create_directories(dir / "NoLibrary.component/Contents");
    std::ofstream(dir / "NoLibrary.component/Contents/Info.plist")
        << "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>CFBundleExecutable</key>"
           "<string>Gone</string><key>AudioComponents</key><array><dict><key>type</key>"
           "<string>aufx</string></dict></array></dict></plist>";
    const RunResult noPlist = RunHost(dir.path(), {"info", "--component", "NoPlist.component"});
    const RunResult noLibrary = RunHost(dir.path(), {"info", "--component", "NoLibrary.component"});
    EXPECT_EQ(noPlist.status, 1);
    EXPECT_EQ(noLibrary.status, 1);
    EXPECT_EQ(Lines(noPlist.err).size(), 1u) << noPlist.err;
    EXPECT_EQ(Lines(noLibrary.err).size(), 1u) << noLibrary.err;
    EXPECT_EQ(noPlist.err.rfind("zerub-host: cannot open component NoPlist.component: ", 0), 0u);
    EXPECT_NE(noPlist.err.find("Info.plist"), std::string::npos) << noPlist.err;
    EXPECT_NE(noLibrary.err.find("executable"), std::string::npos) << noLibrary.err;
}

TEST(RenderOutput, TheFileSizeLimitFailsTheWriteAndLeavesNoTemporary) {
    TempDir dir;
    ASSERT_TRUE(WriteWavFloat(dir / "in.wav", Tone(44100, 44100))); // 176 kB of output
    std::ofstream(dir / "old.wav") << "kept";
    RunResult fresh, existing, state;
    {
        const FileSizeLimit limit(64 * 1024);
        ASSERT_TRUE(limit.Set());
        fresh = Render(dir, {"in.wav", "new.wav"});
        existing = Render(dir, {"in.wav", "old.wav"});
        const FileSizeLimit tiny(256); // below a saved preset
        state = RunHost(dir.path(), {"state", "save", "p.aupreset", "--component", kBundle});
    }
    for (const RunResult* run : {&fresh, &existing, &state}) {
        EXPECT_EQ(run->status, 1) << run->err;
        EXPECT_EQ(Lines(run->err).size(), 1u) << run->err;
        EXPECT_NE(run->err.find("File too large"), std::string::npos) << run->err;
    }
    EXPECT_EQ(fresh.err.rfind("zerub-host: cannot write new.wav: ", 0), 0u) << fresh.err;
    EXPECT_EQ(existing.err.rfind("zerub-host: cannot write old.wav: ", 0), 0u) << existing.err;
    EXPECT_EQ(state.err.rfind("zerub-host: cannot write p.aupreset: ", 0), 0u) << state.err;
    EXPECT_EQ(ReadText(dir / "old.wav"), "kept");
    EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"in.wav", "old.wav"}));
}
