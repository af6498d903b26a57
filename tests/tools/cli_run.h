// Runs oxa-convert for the command-line tests: its exit code and what it printed, with the files
// the tests make in a folder of the test process.
#ifndef OXA_TESTS_TOOLS_CLI_RUN_H
#define OXA_TESTS_TOOLS_CLI_RUN_H

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/test_files.h"

namespace oxa_cli {

struct Result {
    int code = -1;
    std::string out;
    std::string err;
};

inline std::string Folder() {
    static const std::string folder = oxa_test::MakeProcessTempFolder("cli_");
    return folder;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

inline bool Exists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

// How often `part` stands in `text`, overlapping runs counted.
inline int Count(const std::string& text, const std::string& part) {
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// Runs the shell command `command`, which sends its output to the files `out` and `err`: its exit
// code (-1 when it did not exit) and the two texts.
inline Result RunCollecting(const std::string& command, const std::string& out, const std::string& err) {
    Result result;
    const int status = std::system(command.c_str());
    result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadFile(out);
    result.err = ReadFile(err);
    return result;
}

// Runs the command with `arguments` (shell words), from the folder `cwd` when one is given.
inline Result Convert(const std::string& arguments, const std::string& cwd = "") {
    const std::string out = Folder() + "stdout.txt", err = Folder() + "stderr.txt";
    const std::string command = (cwd.empty() ? std::string() : "cd '" + cwd + "' && ") +
                                std::string(OXA_CONVERT_PATH) + " " + arguments + " >" + out + " 2>" + err;
    return RunCollecting(command, out, err);
}

// Runs the command from `cwd` with `arguments` (shell words) after the shell commands `prefix`
// (limits, say), its output going to files named after `stem`. With `limitSeconds` above 0 it
// runs under `timeout`, so that a run that waits on a pipe or device ends; without, signals sent
// to the run reach the command itself. The limit only catches such a hang: it is kept far above
// what a run takes on a loaded machine with the sanitizers.
inline Result RunIn(const std::string& cwd, const std::string& arguments, const std::string& prefix,
                    const std::string& stem, int limitSeconds) {
    const std::string out = Folder() + stem + "_out.txt", err = Folder() + stem + "_err.txt";
    const std::string limit =
        limitSeconds > 0 ? "timeout -k 2 " + std::to_string(limitSeconds) + " " : std::string();
    const std::string command = "cd '" + cwd + "' && " + prefix + "exec " + limit + OXA_CONVERT_PATH + " " +
                                arguments + " >" + out + " 2>" + err;
    return RunCollecting("sh -c \"" + command + "\"", out, err);
}

}  // namespace oxa_cli

#endif  // OXA_TESTS_TOOLS_CLI_RUN_H
