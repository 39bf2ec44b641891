// render IN OUT on long files and on files that are not what they claim, run through the
// program: memory that does not grow with the length, the blocks where a one-piece render puts
// them, inputs that are no regular file, and headers that claim more than the file holds.
#include "host/AURenderer.h"
#include "host/WavFile.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

using namespace hosttest;

namespace {

const std::string kBundle = ZERUB_COMPONENT_BUNDLE;

float Sample(long long i, int c) {
    return 0.7f * static_cast<float>(((i * (7 + c)) % 200) - 100) / 100.0f;
}

// frames of a ramp pattern written through libsndfile a chunk at a time, so that the test itself
// never holds a long file.
bool WriteFile(const std::string& path, int format, int rate, int channels, long long frames) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) return false;
    std::vector<float> chunk(static_cast<size_t>(65536) * channels);
    bool ok = true;
    for (long long start = 0; start < frames && ok; start += 65536) {
        const long long n = std::min<long long>(65536, frames - start);
        for (long long i = 0; i < n; ++i)
            for (int c = 0; c < channels; ++c)
                chunk[static_cast<size_t>(i * channels + c)] = Sample(start + i, c);
        ok = sf_writef_float(file, chunk.data(), n) == n;
    }
    return sf_close(file) == 0 && ok;
}

std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Store(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

long long Frames(const std::string& path) {
    PlanarAudio audio;
    return ReadAudioFile(path, &audio) ? audio.NumFrames() : -1;
}

} // namespace

// 100 MB of input cost 4.2 times its size when the whole file was held; now the peak stays near
// what a few seconds cost.
TEST(RenderStream, MemoryDoesNotGrowWithTheLength) {
    TempDir dir;
    ASSERT_TRUE(WriteFile(dir / "short.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 2, 48000));
    // 64 MB of 16-bit stereo: 16.8 million frames, six minutes.
    ASSERT_TRUE(WriteFile(dir / "long.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 2, 16777216));
    const RunResult small = Render(dir, {"short.wav", "short-out.wav"});
    const RunResult large = Render(dir, {"long.wav", "long-out.wav", "--format", "pcm16"});
    ASSERT_EQ(small.status, 0) << small.err;
    ASSERT_EQ(large.status, 0) << large.err;
    EXPECT_EQ(Frames(dir / "long-out.wav"), 16777216);
    // The whole file in memory would be 128 MB in and as much out.
    EXPECT_LT(large.peakKilobytes - small.peakKilobytes, 16 * 1024)
        << small.peakKilobytes << " KB for one second, " << large.peakKilobytes
        << " KB for six minutes";
}

// Spans of whole blocks: every block falls where it falls in one piece, the odd last one too.
TEST(RenderStream, SpansCutTheSameBlocksAsOnePiece) {
    TempDir dir;
    const int frames = 3 * 65536 + 1001;
    ASSERT_TRUE(WriteFile(dir / "in.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 2, frames));
    for (const char* block : {"333", "8192", "1"}) {
        const RunResult run =
            Render(dir, {"in.wav", "out.wav", "--block", block, "--param", "Gain=0.9"});
        ASSERT_EQ(run.status, 0) << run.err;
        PlanarAudio in, streamed, whole;
        ASSERT_TRUE(ReadAudioFile(dir / "in.wav", &in));
        ASSERT_TRUE(ReadAudioFile(dir / "out.wav", &streamed));
        AURenderer renderer(kBundle);
        ASSERT_TRUE(renderer.Open(44100, 2, std::stoi(block)));
        ASSERT_TRUE(renderer.SetParam(0, 0.9));
        ASSERT_TRUE(RenderAll(renderer, in, std::stoi(block), &whole));
        ASSERT_EQ(streamed.NumFrames(), frames);
        for (int c = 0; c < 2; ++c)
            EXPECT_EQ(std::memcmp(streamed.channels[c].data(), whole.channels[c].data(),
                                  sizeof(float) * frames),
                      0)
                << "block " << block << ", channel " << c;
    }
}

// Ctrl-C in the middle of a long render: the program still ends by the signal, and the
// temporary it was writing goes with it.
TEST(RenderStream, AnInterruptedRenderLeavesNoTemporary) {
    TempDir dir;
    ASSERT_TRUE(WriteFile(dir / "long.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 2, 16777216));
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.path().c_str()) != 0) _exit(127);
        freopen("/dev/null", "w", stdout);
        freopen("/dev/null", "w", stderr);
        execl(ZERUB_HOST_BINARY, ZERUB_HOST_BINARY, "render", "long.wav", "out.wav", "--component",
              kBundle.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(pid, 0);
    // Interrupted once the output is under way.
    bool writing = false;
    for (int i = 0; i < 1000 && !writing; ++i) {
        for (const std::string& name : Entries(dir.path()))
            writing = writing || name.rfind(".out.wav.", 0) == 0;
        if (!writing) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGINT);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(writing) << "no temporary appeared";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
    EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"long.wav"});
}

TEST(RenderStream, AFifoAsInputIsRefusedWithoutWaiting) {
    TempDir dir;
    ASSERT_EQ(mkfifo((dir / "pipe.wav").c_str(), 0600), 0);
    // Should the program wait on the FIFO after all, a writer that comes and goes ends the wait.
    std::atomic<bool> finished{false};
    std::thread rescue([&] {
        for (int i = 0; i < 50 && !finished; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const int fd = open((dir / "pipe.wav").c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) close(fd);
    });
    const auto start = std::chrono::steady_clock::now();
    const RunResult run = Render(dir, {"pipe.wav", "out.wav"});
    const auto waited = std::chrono::steady_clock::now() - start;
    finished = true;
    rescue.join();
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "zerub-host: cannot read pipe.wav: not a regular file\n");
    EXPECT_LT(waited, std::chrono::seconds(5)) << "the program waited for a writer";
    EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"pipe.wav"});
}

// Whatever the format, a file that holds less than its header claims is named and rendered as
// far as it goes, as a WAV file always was.
TEST(RenderStream, EveryFormatCutShortIsNamedAndRenderedAsFarAsItGoes) {
    TempDir dir;
    // An AU header claiming 0x7ffffff0 data bytes over 4 KB of 16-bit mono: the sum of offset and
    // size overflows libsndfile's arithmetic, which then sees no frames at all.
    ASSERT_TRUE(WriteFile(dir / "whole.au", SF_FORMAT_AU | SF_FORMAT_PCM_16, 44100, 1, 2036));
    std::string au = Bytes(dir / "whole.au");
    ASSERT_EQ(au.size(), 4096u);
    au.replace(8, 4, std::string("\x7f\xff\xff\xf0", 4));
    Store(dir / "huge.au", au);

    struct Case {
        std::string file;
        long long claimed, held;
    };
    std::vector<Case> cases = {{"huge.au", 0x7ffffff0 / 2, 2036}};
    // The others cut after 60 % of their bytes.
    const std::pair<const char*, int> formats[] = {
        {"cut.au", SF_FORMAT_AU | SF_FORMAT_PCM_16},
        {"cut.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24},
        {"cut.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
        {"cut.rf64", SF_FORMAT_RF64 | SF_FORMAT_FLOAT},
        {"cut.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
        {"cut.w64", SF_FORMAT_W64 | SF_FORMAT_PCM_16},
    };
    for (const auto& [name, format] : formats) {
        ASSERT_TRUE(WriteFile(dir / "whole", format, 44100, 2, 20000)) << name;
        const std::string bytes = Bytes(dir / "whole");
        Store(dir / name, bytes.substr(0, bytes.size() * 6 / 10));
        const long long held = Frames(dir / name);
        ASSERT_GT(held, 0) << name;
        ASSERT_LT(held, 20000) << name;
        cases.push_back({name, 20000, held});
        // The whole file draws no warning.
        Store(dir / ("whole-" + std::string(name)), bytes);
        const RunResult whole = Render(dir, {"whole-" + std::string(name), "out.wav"});
        EXPECT_EQ(whole.status, 0) << name << whole.err;
        EXPECT_EQ(whole.err, "") << name;
    }
    for (const Case& c : cases) {
        const RunResult run = Render(dir, {c.file, "out.wav"});
        EXPECT_EQ(run.status, 0) << c.file << ": " << run.err;
        EXPECT_EQ(run.err, "zerub-host: warning: " + c.file + ": the header claims " +
                               std::to_string(c.claimed) + " frames but the file holds " +
                               std::to_string(c.held) + "; rendering those\n");
        EXPECT_EQ(Frames(dir / "out.wav"), c.held) << c.file;
    }
}
