// Temporary folders and whole-file reads and writes for the format tests. CTest runs the cases of
// one test file side by side, each in its own process, and several cases use the same file names,
// so every folder carries the process id.
#ifndef OXA_TESTS_SUPPORT_TEST_FILES_H
#define OXA_TESTS_SUPPORT_TEST_FILES_H

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

namespace oxa_test {

// Creates "<gtest temporary folder><prefix><pid>" and returns it with a trailing '/'. Callers keep
// the result in a function-local static so the folder is made once per process. The folder and
// what the tests left in it are removed when the process ends: every test case runs in a process
// of its own, and a run of the suite would otherwise leave hundreds of folders behind.
inline std::string MakeProcessTempFolder(const std::string& prefix) {
    struct Folders {
        std::vector<std::string> paths;
        ~Folders() {
            std::error_code error;
            for (const std::string& path : paths)
                std::filesystem::remove_all(path, error);
        }
    };
    static Folders made;
    std::string path = ::testing::TempDir() + prefix + std::to_string(getpid());
    mkdir(path.c_str(), 0700);
    made.paths.push_back(path);
    return path + "/";
}

// A fresh folder "<system temporary folder>/<prefix><tag>_<pid>", emptied when made and removed
// with the object.
struct ScratchDir {
    std::filesystem::path path;

    ScratchDir(const std::string& prefix, const std::string& tag) {
        path = std::filesystem::temp_directory_path() / (prefix + tag + "_" + std::to_string(::getpid()));
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    ~ScratchDir() {
        std::error_code error;
        std::filesystem::remove_all(path, error);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    std::string operator/(const std::string& name) const { return (path / name).string(); }
};

inline void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

// The whole file, or "" when it cannot be read.
inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace oxa_test

#endif  // OXA_TESTS_SUPPORT_TEST_FILES_H
