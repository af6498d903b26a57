// oxa-make-examples from the shell: its help, its usage errors, and the samples it writes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/tools/cli_run.h"

namespace {

// Runs oxa-make-examples with `arguments` from the folder `cwd`.
oxa_cli::Result MakeExamples(const std::string& arguments, const std::string& cwd) {
    const std::string out = oxa_cli::Folder() + "stdout.txt", err = oxa_cli::Folder() + "stderr.txt";
    return oxa_cli::RunCollecting("cd '" + cwd + "' && " + std::string(OXA_MAKE_EXAMPLES_PATH) + " " +
                                      arguments + " >" + out + " 2>" + err,
                                  out, err);
}

bool IsEmptyFolder(const std::string& path) {
    return std::filesystem::is_empty(path);
}

TEST(oxa_make_examples, HelpAndUsageErrorsWriteNothing) {
    const std::string cwd = oxa_cli::Folder() + "help/";
    std::filesystem::create_directories(cwd);
    for (const char* help : {"--help", "-h"}) {
        const oxa_cli::Result result = MakeExamples(help, cwd);
        EXPECT_EQ(result.code, 0) << help;
        EXPECT_EQ(result.out.rfind("usage: oxa-make-examples DIR\n", 0), 0u) << result.out;
        for (const char* sample : {"scene.3ds", "walk.bvh", "markers.c3d"})
            EXPECT_NE(result.out.find(sample), std::string::npos) << sample;
        EXPECT_EQ(result.err, "");
        EXPECT_TRUE(IsEmptyFolder(cwd)) << help;
    }
    // An unknown option is one line and where to find the help; so is a missing or extra folder.
    const oxa_cli::Result unknown = MakeExamples("--out", cwd);
    EXPECT_EQ(unknown.code, 2);
    EXPECT_EQ(
        unknown.err,
        "oxa-make-examples: unknown option '--out'\nTry 'oxa-make-examples --help' for more information.\n");
    EXPECT_EQ(unknown.out, "");
    for (const char* arguments : {"", "a b", "--help x"}) {
        const oxa_cli::Result wrong = MakeExamples(arguments, cwd);
        EXPECT_EQ(wrong.code, 2) << arguments;
        EXPECT_EQ(wrong.err,
                  "usage: oxa-make-examples DIR\nTry 'oxa-make-examples --help' for more information.\n")
            << arguments;
    }
    EXPECT_TRUE(IsEmptyFolder(cwd));
    // A folder whose name starts with '-' is named with a path.
    std::filesystem::create_directories(cwd + "-h");
    EXPECT_EQ(MakeExamples("./-h", cwd).code, 0);
    for (const char* sample : {"scene.3ds", "walk.bvh", "markers.c3d"})
        EXPECT_GT(std::filesystem::file_size(cwd + "-h/" + sample), 100u) << sample;
}

}  // namespace
