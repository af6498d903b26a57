// Runs oxa-convert for the command-line tests: its exit code and what it printed, with the files
// the tests make in a folder of the test process.
#ifndef OXA_TESTS_TOOLS_CLI_RUN_H
#define OXA_TESTS_TOOLS_CLI_RUN_H

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

// Runs the command with `arguments` (shell words).
inline Result Convert(const std::string& arguments) {
    const std::string out = Folder() + "stdout.txt", err = Folder() + "stderr.txt";
    const std::string command = std::string(OXA_CONVERT_PATH) + " " + arguments + " >" + out + " 2>" + err;
    Result result;
    const int status = std::system(command.c_str());
    result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadFile(out);
    result.err = ReadFile(err);
    return result;
}

}  // namespace oxa_cli

#endif  // OXA_TESTS_TOOLS_CLI_RUN_H
