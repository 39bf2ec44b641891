#include "effect/Zerub.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <unistd.h>
#include <vector>

TEST(ZerubPresetFile, ProgramFileOfTheDefaults) {
    std::unique_ptr<IPlugAU> plug(MakePlug(nullptr));
    char name[] = "/tmp/zerub-program-XXXXXX";
    const int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    close(fd);
    WDL_String path(name);
    ASSERT_TRUE(plug->SaveProgramAsFXP(&path));
    std::ifstream f(name, std::ios::binary);
    const std::vector<unsigned char> bytes(std::istreambuf_iterator<char>(f), {});
    std::remove(name);

    std::vector<unsigned char> expected = {0x43, 0x63, 0x6E, 0x4B, 0, 0, 0,   0,   0x46, 0x78,
                                           0x43, 0x6B, 0,    0,    0, 1, 'Z', 'R', 'B',  '1',
                                           0,    0,    0x27, 0x10, 0, 0, 0,   3,   '-'};
    expected.resize(56);
    for (unsigned char b : {0x3F, 0, 0, 0, 0x3F, 0, 0, 0, 0, 0, 0, 0})
        expected.push_back(b);
    EXPECT_EQ(bytes, expected);
}
