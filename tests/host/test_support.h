// Temporary folders and a runner for the real zerub-host program.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace hosttest {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "zerub-host-test-XXXXXX").string();
        if (!mkdtemp(pattern.data())) ADD_FAILURE() << "mkdtemp failed";
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    fs::path path_;
};

// Names of the entries of a folder, sorted.
inline std::vector<std::string> Entries(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

inline std::string ReadText(const fs::path& file) {
    std::ifstream in(file);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A binary property list of 149 bytes whose arrays each refer twice to the level below: read
// naively it expands into four million nodes.
inline std::string SharedReferencePlist() {
    constexpr int kLevels = 22;
    std::string out = "bplist00";
    std::vector<size_t> offsets;
    for (int level = 0; level < kLevels; ++level) {
        offsets.push_back(out.size());
        if (level == 0) {
            out += std::string("\x10\x01", 2);
        } else {
            out += '\xA2';
            out += static_cast<char>(level - 1);
            out += static_cast<char>(level - 1);
        }
    }
    const size_t table = out.size();
    for (size_t offset : offsets) {
        out += static_cast<char>(offset >> 8);
        out += static_cast<char>(offset & 0xFF);
    }
    std::string trailer(32, '\0');
    trailer[6] = 2;            // offset size
    trailer[7] = 1;            // reference size
    trailer[15] = kLevels;     // objects
    trailer[23] = kLevels - 1; // the top object
    trailer[30] = static_cast<char>(table >> 8);
    trailer[31] = static_cast<char>(table & 0xFF);
    return out + trailer;
}

struct RunResult {
    int status = -1;        // exit status, or -1 when the program did not exit normally
    long peakKilobytes = 0; // the program's largest resident size
    std::string out;
    std::string err;
};

// Runs the program with args in the folder cwd; stdout and stderr are captured through files
// in a folder of their own so that they do not show up in cwd. The component search path is
// the one given (none by default), not the caller's.
// env: variables set in the program's environment only.
inline RunResult RunHost(const fs::path& cwd, const std::vector<std::string>& args,
                         const std::string& componentPath = "", const char* stdoutTo = nullptr,
                         const std::vector<std::pair<std::string, std::string>>& env = {}) {
    TempDir capture;
    const std::string outPath = stdoutTo ? stdoutTo : capture / "stdout";
    const std::string errPath = capture / "stderr";
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(cwd.c_str()) != 0 || !freopen(outPath.c_str(), "w", stdout) ||
            !freopen(errPath.c_str(), "w", stderr))
            _exit(127);
        if (componentPath.empty())
            unsetenv("AUDIO_COMPONENT_PATH");
        else
            setenv("AUDIO_COMPONENT_PATH", componentPath.c_str(), 1);
        for (const auto& [name, value] : env)
            setenv(name.c_str(), value.c_str(), 1);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(ZERUB_HOST_BINARY));
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(ZERUB_HOST_BINARY, argv.data());
        _exit(127);
    }
    RunResult result;
    int wstatus = 0;
    struct rusage usage {};
    if (pid > 0 && wait4(pid, &wstatus, 0, &usage) == pid && WIFEXITED(wstatus))
        result.status = WEXITSTATUS(wstatus);
    result.peakKilobytes = usage.ru_maxrss;
    if (!stdoutTo) result.out = ReadText(outPath);
    result.err = ReadText(errPath);
    return result;
}

#ifdef ZERUB_COMPONENT_BUNDLE
// `render ARGS` in the folder dir, with the component named on the command line.
inline RunResult Render(const TempDir& dir, std::vector<std::string> args) {
    args.insert(args.begin(), "render");
    args.push_back("--component");
    args.push_back(ZERUB_COMPONENT_BUNDLE);
    return RunHost(dir.path(), args);
}
#endif

} // namespace hosttest
