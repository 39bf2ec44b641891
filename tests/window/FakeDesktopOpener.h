// A stand-in for the desktop's xdg-open, first on PATH while it lives: it waits until the test
// lets it go (so a caller that waited for it would hang), then records its arguments, one a line.
#pragma once

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

class FakeDesktopOpener {
public:
    FakeDesktopOpener() {
        char tmpl[] = "/tmp/zerub-opener-XXXXXX";
        dir = mkdtemp(tmpl) ? tmpl : "";
        const std::string script = dir + "/xdg-open";
        std::ofstream(script) << "#!/bin/sh\n"
                              << "while [ ! -e '" << dir << "/release' ]; do sleep 0.02; done\n"
                              << "printf '%s\\n' \"$@\" > '" << dir << "/args.tmp'\n"
                              << "mv '" << dir << "/args.tmp' '" << dir << "/args'\n";
        chmod(script.c_str(), 0755);
        const char* path = std::getenv("PATH");
        oldPath = path ? path : "";
        setenv("PATH", (dir + ":" + oldPath).c_str(), 1);
    }
    ~FakeDesktopOpener() {
        Release();
        setenv("PATH", oldPath.c_str(), 1);
        std::system(("rm -rf '" + dir + "'").c_str());
    }
    void Release() { std::ofstream(dir + "/release") << "go\n"; }
    // The arguments it was started with ("" when it was not started within ten seconds).
    std::string Arguments() {
        for (int i = 0; i < 500; ++i) {
            std::ifstream in(dir + "/args");
            if (in) {
                std::stringstream text;
                text << in.rdbuf();
                return text.str();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return "";
    }
    std::string dir;

private:
    std::string oldPath;
};
