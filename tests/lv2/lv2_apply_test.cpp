// End to end: lv2apply (an LV2 host that passes no features and runs one frame at a time) on a
// WAV file gives, sample for sample, what zerub-host renders through the Audio Unit.
#include <sndfile.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const char* const kBase = "https://www.quillmoor.com/plugins/zerub";

std::string Quote(const std::string& s) {
    return "'" + s + "'";
}

class LV2Apply : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/zerub-lv2apply-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        // lv2apply finds the bundle through LV2_PATH; a folder holding only it keeps lilv quiet.
        ASSERT_EQ(mkdir((dir + "/lv2").c_str(), 0755), 0);
        ASSERT_EQ(symlink(ZERUB_LV2_BUNDLE, (dir + "/lv2/Zerub.lv2").c_str()), 0);
    }
    void TearDown() override {
        if (!dir.empty()) std::system(("rm -rf " + Quote(dir)).c_str());
    }

    std::string WriteInput(int channels, int rate, sf_count_t frames) {
        const std::string path = dir + "/in" + std::to_string(channels) + ".wav";
        SF_INFO info = {};
        info.channels = channels;
        info.samplerate = rate;
        info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
        EXPECT_NE(f, nullptr);
        if (!f) return path;
        std::vector<float> samples(static_cast<size_t>(frames * channels));
        unsigned state = 12345;
        for (size_t i = 0; i < samples.size(); ++i) {
            state = state * 1103515245u + 12345u;
            const float noise = static_cast<float>((state >> 9) & 0xFFFF) / 65535.0f - 0.5f;
            samples[i] =
                0.6f * static_cast<float>(std::sin(0.01 * static_cast<double>(i))) + 0.3f * noise;
        }
        EXPECT_EQ(sf_writef_float(f, samples.data(), frames), frames);
        sf_close(f);
        return path;
    }

    static std::vector<float> Read(const std::string& path, SF_INFO* info) {
        *info = {};
        SNDFILE* f = sf_open(path.c_str(), SFM_READ, info);
        if (!f) return {};
        std::vector<float> samples(static_cast<size_t>(info->frames * info->channels));
        sf_readf_float(f, samples.data(), info->frames);
        sf_close(f);
        return samples;
    }

    std::string dir;
};

struct Setting {
    const char* name;
    std::vector<std::pair<const char*, const char*>> values; // (port symbol, value)
    std::vector<const char*> hostParams;                     // NAME=VALUE for zerub-host
};

} // namespace

TEST_F(LV2Apply, OutputEqualsTheAudioUnitRenderSampleForSample) {
    const Setting settings[] = {
        {"defaults", {}, {}},
        {"driven", {{"gain", "0.8"}, {"level", "0.35"}}, {"Gain=0.8", "Level=0.35"}},
        {"bypassed", {{"gain", "0.8"}, {"enabled", "0"}}, {"Gain=0.8", "BY=1"}},
        {"bypassed through by", {{"gain", "0.8"}, {"by", "1"}}, {"Gain=0.8", "BY=1"}},
    };
    setenv("LV2_PATH", (dir + "/lv2").c_str(), 1);
    for (int channels : {1, 2}) {
        const std::string in = WriteInput(channels, 48000, 30000);
        for (const Setting& s : settings) {
            SCOPED_TRACE(std::string(s.name) + (channels == 1 ? ", mono" : ", stereo"));
            const std::string lv2Out = dir + "/lv2.wav", auOut = dir + "/au.wav";
            std::string apply = std::string(LV2APPLY) + " -i " + Quote(in) + " -o " + Quote(lv2Out);
            for (const auto& v : s.values)
                apply += std::string(" -c ") + v.first + " " + v.second;
            apply += " " + Quote(std::string(kBase) + (channels == 1 ? "#mono" : "#stereo"));
            ASSERT_EQ(std::system(apply.c_str()), 0) << apply;

            std::string render = Quote(ZERUB_HOST) + " render " + Quote(in) + " " + Quote(auOut) +
                                 " --component " + Quote(ZERUB_COMPONENT);
            for (const char* p : s.hostParams)
                render += std::string(" --param ") + p;
            ASSERT_EQ(std::system(render.c_str()), 0) << render;

            SF_INFO lv2Info, auInfo;
            const std::vector<float> lv2 = Read(lv2Out, &lv2Info);
            const std::vector<float> au = Read(auOut, &auInfo);
            ASSERT_EQ(lv2Info.frames, 30000);
            ASSERT_EQ(lv2Info.channels, channels);
            ASSERT_EQ(auInfo.frames, 30000);
            ASSERT_EQ(lv2.size(), au.size());
            size_t differing = 0;
            for (size_t i = 0; i < lv2.size(); ++i)
                differing += std::memcmp(&lv2[i], &au[i], sizeof(float)) != 0;
            EXPECT_EQ(differing, 0u);
            if (!std::strncmp(s.name, "bypassed", 8)) {
                SF_INFO inInfo;
                EXPECT_EQ(Read(in, &inInfo), lv2); // and the bypass is the input itself
            }
        }
    }
}
