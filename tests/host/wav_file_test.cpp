#include "host/WavFile.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <sndfile.h>

using namespace hosttest;

namespace {

// Values a float file must carry unchanged: signed zeros, subnormals, values past full scale,
// and the neighbours of 1.0.
PlanarAudio Awkward() {
    PlanarAudio audio(48000, 2, 0);
    const float special[] = {0.0f,
                             -0.0f,
                             std::numeric_limits<float>::denorm_min(),
                             -std::numeric_limits<float>::min(),
                             1.0f,
                             std::nextafter(1.0f, 2.0f),
                             -1.5f,
                             1e-30f,
                             0.1f};
    for (int i = 0; i < 10000; ++i) { // more than one write chunk
        const float a = special[i % 9], b = static_cast<float>(std::sin(i * 0.01)) * 0.8f;
        audio.channels[0].push_back(a);
        audio.channels[1].push_back(i % 2 ? b : -a);
    }
    return audio;
}

bool SameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

} // namespace

TEST(WavFile, FloatSamplesRoundTripBitForBit) {
    TempDir dir;
    const std::string path = dir / "x.wav";
    const PlanarAudio written = Awkward();
    ASSERT_TRUE(WriteWavFloat(path, written));
    EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"x.wav"});

    // Read back with libsndfile itself, interleaved as it stores the frames.
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    EXPECT_EQ(info.samplerate, 48000);
    ASSERT_EQ(info.channels, 2);
    ASSERT_EQ(info.frames, 10000);
    std::vector<float> frames(20000);
    EXPECT_EQ(sf_readf_float(file, frames.data(), 10000), 10000);
    sf_close(file);
    std::vector<float> left, right;
    for (int i = 0; i < 10000; ++i) {
        left.push_back(frames[2 * i]);
        right.push_back(frames[2 * i + 1]);
    }
    EXPECT_TRUE(SameBits(left, written.channels[0]));
    EXPECT_TRUE(SameBits(right, written.channels[1]));

    PlanarAudio read;
    ASSERT_TRUE(ReadAudioFile(path, &read));
    EXPECT_EQ(read.sampleRate, 48000);
    ASSERT_EQ(read.NumChannels(), 2);
    EXPECT_TRUE(SameBits(read.channels[0], written.channels[0]));
    EXPECT_TRUE(SameBits(read.channels[1], written.channels[1]));
}

TEST(WavFile, ReplacesAnExistingFileWhole) {
    TempDir dir;
    const std::string path = dir / "x.wav";
    ASSERT_TRUE(WriteWavFloat(path, Awkward()));
    PlanarAudio shorter(44100, 1, 3);
    shorter.channels[0] = {0.25f, -0.5f, 0.75f};
    ASSERT_TRUE(WriteWavFloat(path, shorter));
    PlanarAudio read;
    ASSERT_TRUE(ReadAudioFile(path, &read));
    EXPECT_EQ(read.NumFrames(), 3);
    EXPECT_TRUE(SameBits(read.channels[0], shorter.channels[0]));
    EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"x.wav"});
}

TEST(WavFile, FailuresLeaveNoFileBehind) {
    TempDir dir;
    const PlanarAudio audio = Awkward();

    // The folder does not exist.
    const Status missing = WriteWavFloat(dir / "absent/x.wav", audio);
    EXPECT_EQ(missing.message(),
              "cannot write " + (dir / "absent/x.wav") + ": No such file or directory");

    // The data is written, but the final name is taken by a folder: the rename fails and the
    // temporary goes.
    fs::create_directory(dir / "taken.wav");
    const Status taken = WriteWavFloat(dir / "taken.wav", audio);
    EXPECT_FALSE(taken);
    EXPECT_EQ(taken.message().rfind("cannot write " + (dir / "taken.wav") + ": ", 0), 0u);
    EXPECT_TRUE(fs::is_empty(dir / "taken.wav"));

    // Audio that cannot be a WAV file is refused before anything is created.
    PlanarAudio ragged(44100, 2, 4);
    ragged.channels[1].pop_back();
    EXPECT_EQ(WriteWavFloat(dir / "r.wav", ragged).message(),
              "cannot write " + (dir / "r.wav") + ": channels of different lengths");
    EXPECT_FALSE(WriteWavFloat(dir / "z.wav", PlanarAudio(0, 1, 4)));
    EXPECT_FALSE(WriteWavFloat(dir / "n.wav", PlanarAudio()));

    EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"taken.wav"});
}

TEST(WavFile, ReadingRefusesWhatIsNotAudio) {
    TempDir dir;
    PlanarAudio untouched(44100, 1, 2);
    EXPECT_EQ(ReadAudioFile(dir / "none.wav", &untouched)
                  .message()
                  .rfind("cannot read " + (dir / "none.wav") + ": ", 0),
              0u);
    std::ofstream(dir / "text.wav") << "RIFF but not really a wave file";
    EXPECT_FALSE(ReadAudioFile(dir / "text.wav", &untouched));
    EXPECT_EQ(untouched.NumFrames(), 2);
}
