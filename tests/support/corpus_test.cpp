#include "tests/support/corpus.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class CorpusFolders : public ::testing::Test {
protected:
    void SetUp() override {
        mRoot = fs::path(::testing::TempDir()) /
                ("oxa_corpus_" + std::to_string(getpid()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(mRoot);
        fs::create_directories(mRoot);
    }
    void TearDown() override { fs::remove_all(mRoot); }

    fs::path Touch(const fs::path& relative) {
        fs::path path = mRoot / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path) << "x";
        return path;
    }

    fs::path mRoot;
};

TEST_F(CorpusFolders, FindsFilesByExtensionInAnyCaseAtAnyDepth) {
    fs::path lower = Touch("a/box.3ds");
    fs::path upper = Touch("a/Cube.3DS");
    fs::path deep = Touch("b/c/d/mixed.3Ds");
    Touch("a/box.obj");
    Touch("a/no_extension");
    Touch("a/box.3ds.txt");
    fs::create_directories(mRoot / "folder.3ds");

    std::vector<fs::path> files = corpustest::FilesWithExtension(mRoot, "3ds");
    EXPECT_EQ(files, (std::vector<fs::path>{upper, lower, deep}));
    EXPECT_TRUE(corpustest::FilesWithExtension(mRoot / "not_there", "3ds").empty());
}

TEST_F(CorpusFolders, MissingPackagesAreNamedAndPresentFoldersStillWalked) {
    fs::path drawing = Touch("cad/plan.DXF");
    std::vector<corpustest::CorpusFolder> folders = {{"models-pkg", mRoot / "models"},
                                                     {"cad-pkg", mRoot / "cad"}};
    corpustest::Corpus corpus = corpustest::FindCorpus("DXF", folders);
    EXPECT_EQ(corpus.files, std::vector<fs::path>{drawing});
    ASSERT_EQ(corpus.missing.size(), 1u);
    EXPECT_EQ(corpus.missing[0].package, "models-pkg");

    fs::remove_all(mRoot / "cad");
    corpus = corpustest::FindCorpus("dxf", folders);
    EXPECT_TRUE(corpus.files.empty());
    std::string reason = corpus.SkipReason();
    EXPECT_NE(reason.find("models-pkg"), std::string::npos) << reason;
    EXPECT_NE(reason.find("cad-pkg"), std::string::npos) << reason;

    fs::create_directories(mRoot / "models");
    fs::create_directories(mRoot / "cad");
    corpus = corpustest::FindCorpus("dxf", folders);
    EXPECT_TRUE(corpus.missing.empty());
    EXPECT_EQ(corpus.SkipReason(), "no .dxf files in the corpus folders");
}

TEST(CorpusFolderList, OnlyTheToolkitsFormatsHaveFolders) {
    for (const char* ext : {"3ds", "obj", "dxf", "bvh"}) EXPECT_FALSE(corpustest::CorpusFolders(ext).empty()) << ext;
    EXPECT_EQ(corpustest::CorpusFolders("dxf").size(), 2u);
    EXPECT_TRUE(corpustest::CorpusFolders("ply").empty());
    EXPECT_FALSE(corpustest::FindCorpus("ply").SkipReason().empty());
}

TEST(CorpusReport, CountsPerFormatAndListsEachRefusalWithItsReason) {
    corpustest::CorpusReport report;
    report.Read("obj");
    report.Read("3ds");
    report.Read("obj");
    report.Refused("3ds", "/m/bad.3ds", "chunk runs past the end of the file");
    report.Skipped("obj", "/m/quads.obj", "free-form surfaces");
    EXPECT_EQ(report.Text(),
              "3ds: 1 read, 1 refused, 0 skipped\n"
              "obj: 2 read, 0 refused, 1 skipped\n"
              "  3ds refused /m/bad.3ds: chunk runs past the end of the file\n"
              "  obj skipped /m/quads.obj: free-form surfaces\n");
}

TEST(IndependentReaders, ProgramsAreFoundOnPathOrNamedWithTheirPackage) {
    EXPECT_FALSE(corpustest::FindProgram("sh").empty());
    corpustest::IndependentReader absent{"oxa-no-such-reader", "oxa-no-such-package"};
    EXPECT_TRUE(corpustest::FindProgram(absent.program).empty());
    std::string missing = corpustest::MissingReader(absent);
    EXPECT_NE(missing.find("oxa-no-such-reader"), std::string::npos) << missing;
    EXPECT_NE(missing.find("oxa-no-such-package"), std::string::npos) << missing;
}

TEST(IndependentReaders, RunProgramPassesArgumentsAsTheyAreAndReportsStatus) {
    corpustest::RunResult echoed = corpustest::RunProgram({"printf", "%s|", "it's a file.dxf", "$HOME", "a\"b"});
    EXPECT_EQ(echoed.status, 0);
    EXPECT_EQ(echoed.output, "it's a file.dxf|$HOME|a\"b|");

    corpustest::RunResult failed = corpustest::RunProgram({"sh", "-c", "echo oops >&2; exit 3"});
    EXPECT_EQ(failed.status, 3);
    EXPECT_EQ(failed.output, "oops\n");

    // No input: a reader waiting on standard input sees its end at once.
    EXPECT_EQ(corpustest::RunProgram({"cat"}).status, 0);
    EXPECT_EQ(corpustest::RunProgram({"sleep", "10"}, 1).status, 124);
}

}  // namespace
