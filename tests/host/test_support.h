// Temporary folders and a runner for the real zerub-host program.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
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

struct RunResult {
    int status = -1; // exit status, or -1 when the program did not exit normally
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
    if (pid > 0 && waitpid(pid, &wstatus, 0) == pid && WIFEXITED(wstatus))
        result.status = WEXITSTATUS(wstatus);
    if (!stdoutTo) result.out = ReadText(outPath);
    result.err = ReadText(errPath);
    return result;
}

} // namespace hosttest
