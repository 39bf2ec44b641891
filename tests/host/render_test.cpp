// render IN OUT, run through the program against the built component.
#include "host/DemoSignal.h"
#include "host/WavFile.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <sndfile.h>

using namespace hosttest;

namespace {

const std::string kBundle = ZERUB_COMPONENT_BUNDLE;

// Stereo sides differ; past full scale on purpose, so clipping and bypass see large values.
PlanarAudio Input(int rate, int nChannels, int nFrames) {
    const PlanarAudio riff = MakeDemoRiff();
    PlanarAudio in(rate, nChannels, nFrames);
    for (int c = 0; c < nChannels; ++c)
        for (int i = 0; i < nFrames; ++i)
            in.channels[c][i] = riff.channels[0][(i + 40000 * c) % riff.NumFrames()] * (1.0f + c);
    return in;
}

bool SameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

int FileFormat(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) return 0;
    sf_close(file);
    return info.format;
}

// A failed render: status 1, nothing on stdout, one line on stderr starting with prefix, and
// the folder holding only what it held before.
void ExpectRefused(const TempDir& dir, const RunResult& run, const std::string& prefix,
                   const std::vector<std::string>& entries) {
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
    EXPECT_EQ(run.err.rfind("zerub-host: " + prefix, 0), 0u) << run.err;
    EXPECT_EQ(Entries(dir.path()), entries);
}

} // namespace

// One summary line with the render loop's speed, and a float WAV of the input's shape (that the
// samples are the circuit's, the suite over every wrapper checks).
TEST(RenderFile, SaysWhatItRenderedAndWritesFloatOfTheInputsShape) {
    TempDir dir;
    for (const auto& [rate, channels, block] : {std::tuple{44100, 1, 512}, {96000, 2, 333}}) {
        ASSERT_TRUE(WriteWavFloat(dir / "in.wav", Input(rate, channels, 5000)));
        const RunResult run = Render(
            dir, {"in.wav", "out.wav", "--block", std::to_string(block), "--param", "1=0.05"});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(std::regex_match(
            run.out, std::regex("in\\.wav -> out\\.wav: 0\\.[0-9]+ s of " + std::to_string(rate) +
                                " Hz " + (channels == 1 ? "mono" : "stereo") + " in " +
                                std::to_string((5000 + block - 1) / block) +
                                " blocks, render loop ([0-9]+x real time|too short to time)\n")))
            << run.out;
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(FileFormat(dir / "out.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT);
        PlanarAudio out;
        ASSERT_TRUE(ReadAudioFile(dir / "out.wav", &out));
        EXPECT_EQ(out.sampleRate, rate);
        EXPECT_EQ(out.NumChannels(), channels);
        EXPECT_EQ(out.NumFrames(), 5000);
        EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"in.wav", "out.wav"}));
    }
}

TEST(RenderFile, IntegerFormatsClipInsteadOfWrapping) {
    TempDir dir;
    PlanarAudio in(44100, 1, 4);
    in.channels[0] = {1.5f, -1.5f, 0.5f, -0.25f};
    ASSERT_TRUE(WriteWavFloat(dir / "in.wav", in));
    for (const auto& [name, format] : {std::pair{"pcm16", SF_FORMAT_PCM_16},
                                       {"pcm24", SF_FORMAT_PCM_24},
                                       {"pcm32", SF_FORMAT_PCM_32},
                                       {"double", SF_FORMAT_DOUBLE}}) {
        const RunResult run = Render(dir, {"in.wav", "out.wav", "--bypass", "--format", name});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(FileFormat(dir / "out.wav"), SF_FORMAT_WAV | format) << name;
        PlanarAudio out;
        ASSERT_TRUE(ReadAudioFile(dir / "out.wav", &out));
        ASSERT_EQ(out.NumFrames(), 4);
        const bool isDouble = format == SF_FORMAT_DOUBLE;
        EXPECT_NEAR(out.channels[0][0], isDouble ? 1.5f : 1.0f, 1e-4) << name;
        EXPECT_NEAR(out.channels[0][1], isDouble ? -1.5f : -1.0f, 1e-4) << name;
        EXPECT_EQ(out.channels[0][2], 0.5f) << name;
        EXPECT_EQ(out.channels[0][3], -0.25f) << name;
    }
}

TEST(RenderFile, PresetAppliesBeforeTheParameters) {
    TempDir dir;
    const RunResult saved =
        RunHost(dir.path(), {"state", "save", "p.aupreset", "--param", "Gain=0.9", "--param",
                             "Level=0.3", "--component", kBundle});
    ASSERT_EQ(saved.status, 0) << saved.err;
    const PlanarAudio in = Input(44100, 1, 2000);
    ASSERT_TRUE(WriteWavFloat(dir / "in.wav", in));

    // The preset's values, then a parameter over one of them: as if all were given as parameters
    // (by index and in any case).
    for (const auto& [extra, level] :
         {std::pair{std::vector<std::string>{}, "level=0.3"},
          {std::vector<std::string>{"--param", "Level=0.6"}, "1=0.6"}}) {
        std::vector<std::string> args = {"in.wav", "out.wav", "--preset", "p.aupreset"};
        args.insert(args.end(), extra.begin(), extra.end());
        ASSERT_EQ(Render(dir, args).status, 0);
        ASSERT_EQ(
            Render(dir, {"in.wav", "direct.wav", "--param", "0=0.9", "--param", level}).status, 0);
        PlanarAudio out, direct;
        ASSERT_TRUE(ReadAudioFile(dir / "out.wav", &out));
        ASSERT_TRUE(ReadAudioFile(dir / "direct.wav", &direct));
        EXPECT_TRUE(SameBits(out.channels[0], direct.channels[0])) << level;
        fs::remove(dir / "direct.wav");
    }

    std::ofstream(dir / "bad.aupreset") << "<plist><dict><key>x</key>";
    ExpectRefused(dir, Render(dir, {"in.wav", "out2.wav", "--preset", "bad.aupreset"}),
                  "cannot load bad.aupreset: not a property list",
                  {"bad.aupreset", "in.wav", "out.wav", "p.aupreset"});
}

TEST(RenderFile, EmptyInputGivesAnEmptyFile) {
    TempDir dir;
    ASSERT_TRUE(WriteWavFloat(dir / "in.wav", PlanarAudio(44100, 2, 0)));
    const RunResult run = Render(dir, {"in.wav", "out.wav"});
    ASSERT_EQ(run.status, 0) << run.err;
    PlanarAudio out;
    ASSERT_TRUE(ReadAudioFile(dir / "out.wav", &out));
    EXPECT_EQ(out.NumChannels(), 2);
    EXPECT_EQ(out.NumFrames(), 0);
}

TEST(RenderFile, BadInputIsOneLineAndLeavesNoOutput) {
    TempDir dir;
    ASSERT_TRUE(WriteWavFloat(dir / "three.wav", PlanarAudio(44100, 3, 100)));
    ASSERT_TRUE(WriteWavFloat(dir / "in.wav", Input(44100, 1, 100)));
    std::ofstream(dir / "noise.wav") << "RIFF but not really a wave file";
    std::vector<std::string> entries = {"in.wav", "noise.wav", "three.wav"};

    const std::pair<std::vector<std::string>, const char*> refusals[] = {
        {{"three.wav", "out.wav"},
         "cannot render three.wav: 3 channels; the effect takes mono or stereo"},
        {{"absent.wav", "out.wav"}, "cannot read absent.wav: No such file or directory"},
        {{"noise.wav", "out.wav"}, "cannot read noise.wav: "},
        {{".", "out.wav"}, "cannot read .: it is a folder"},
        {{"--param", "Drive=0.5"},
         "--param Drive=0.5: no parameter named Drive (the component has Gain, Level, BY)"},
        {{"--param", "Gain=1.01"}, "--param Gain=1.01: outside the range of Gain, 0 .. 1"},
        {{"--param", "level=-0.5"}, "--param level=-0.5: outside the range of Level, 0 .. 1"},
        {{"--param", "7=0"}, "--param 7=0: no parameter named 7"},
        {{"--param", "Gain=nan"}, "--param Gain=nan: nan is not a number"},
        {{"--param", "Gain"}, "--param Gain: expected NAME=VALUE"},
        {{"--block", "8193"}, "--block 8193: takes 1 .. 8192 frames"},
        {{"--format", "mp3"}, "unknown --format mp3"},
    };
    for (auto [args, message] : refusals) {
        if (args[0].rfind("--", 0) == 0) args.insert(args.begin(), {"in.wav", "out.wav"});
        ExpectRefused(dir, Render(dir, args), message, entries);
    }
}

TEST(RenderFile, UnwritableOutputLeavesNothing) {
    TempDir dir;
    ASSERT_TRUE(WriteWavFloat(dir / "in.wav", Input(44100, 1, 100)));
    fs::create_directory(dir / "taken.wav");
    ExpectRefused(dir, Render(dir, {"in.wav", "absent/out.wav"}),
                  "cannot write absent/out.wav: No such file or directory",
                  {"in.wav", "taken.wav"});
    ExpectRefused(dir, Render(dir, {"in.wav", "taken.wav"}),
                  "cannot write taken.wav: ", {"in.wav", "taken.wav"});
    EXPECT_TRUE(fs::is_empty(dir / "taken.wav"));
    if (geteuid() != 0) { // permissions do not stop root
        fs::create_directory(dir / "locked");
        chmod((dir / "locked").c_str(), 0555);
        ExpectRefused(dir, Render(dir, {"in.wav", "locked/out.wav"}),
                      "cannot write locked/out.wav: Permission denied",
                      {"in.wav", "locked", "taken.wav"});
        EXPECT_TRUE(fs::is_empty(dir / "locked"));
        chmod((dir / "locked").c_str(), 0755);
    }
}

// Standard is the render of builds without the setting; HQ sounds different and info states its
// latency.
TEST(RenderFile, QualitySettingAndItsLatency) {
    TempDir dir;
    ASSERT_TRUE(WriteWavFloat(dir / "in.wav", Input(48000, 2, 6000)));
    ASSERT_EQ(Render(dir, {"in.wav", "plain.wav"}).status, 0);
    ASSERT_EQ(Render(dir, {"in.wav", "std.wav", "--quality", "standard"}).status, 0);
    const RunResult hq = Render(dir, {"in.wav", "hq.wav", "--quality", "hq"});
    ASSERT_EQ(hq.status, 0) << hq.err;
    PlanarAudio plain, standard, high;
    ASSERT_TRUE(ReadAudioFile(dir / "plain.wav", &plain));
    ASSERT_TRUE(ReadAudioFile(dir / "std.wav", &standard));
    ASSERT_TRUE(ReadAudioFile(dir / "hq.wav", &high));
    EXPECT_TRUE(SameBits(plain.channels[1], standard.channels[1]));
    EXPECT_FALSE(SameBits(plain.channels[1], high.channels[1]));
    EXPECT_EQ(high.NumFrames(), 6000);

    const RunResult bad = Render(dir, {"in.wav", "x.wav", "--quality", "best"});
    EXPECT_EQ(bad.status, 2) << bad.err;

    const std::regex latency("latency +([0-9.e+-]+) s\n");
    std::smatch m;
    const RunResult infoStd = RunHost(dir.path(), {"info", "--component", kBundle});
    ASSERT_EQ(infoStd.status, 0) << infoStd.err;
    EXPECT_NE(infoStd.out.find("quality        standard\n"), std::string::npos) << infoStd.out;
    ASSERT_TRUE(std::regex_search(infoStd.out, m, latency)) << infoStd.out;
    EXPECT_EQ(std::stod(m[1]), 0.0);
    const RunResult infoHQ =
        RunHost(dir.path(), {"info", "--quality", "hq", "--component", kBundle});
    ASSERT_EQ(infoHQ.status, 0) << infoHQ.err;
    EXPECT_NE(infoHQ.out.find("quality        hq\n"), std::string::npos) << infoHQ.out;
    ASSERT_TRUE(std::regex_search(infoHQ.out, m, latency)) << infoHQ.out;
    EXPECT_GT(std::stod(m[1]), 0.0);
}
