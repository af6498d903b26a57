// Every real file of the corpus converted by the command to each writable format: a conversion
// that exits 0 must leave a file that the toolkit reads back (`--info`) and that the independent
// readers installed here read (lib3ds and assimp for 3DS, assimp for OBJ and BVH, ezdxf and assimp
// for DXF); one that exits 1 must say why and leave no file. Each format takes a fixed window of
// the inputs, so that the stage stays short under the sanitizers while every kind of input meets
// every format.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "tests/support/corpus.h"
#include "tests/support/test_files.h"

namespace {

namespace fs = std::filesystem;

const char* const kFormats[] = {"3ds", "obj", "dxf", "bvh", "htr", "asf", "amc",
                                "c3d", "trc", "brd", "mov", "vpm", "aoa", "mcd"};
constexpr int kFormatCount = (int)(sizeof kFormats / sizeof kFormats[0]);
// Inputs per format, and the drawings taken from the large drawing collection.
constexpr size_t kWindow = 15;
constexpr size_t kDrawings = 40;

// Conversions known to write a file that does not read, each with the problem; the format's owner
// removes the entry with the fix. An entry is "<input file name> -> <format>".
const std::set<std::string> kKnownFailures = {};

// The inputs in a fixed order that mixes the kinds: position j takes the next file of kind j mod
// 5 (3DS, OBJ, BVH, the model collection's DXF, a spread of the drawing collection's DXF), the
// kinds with few files starting over, so that any window of ten holds two of each kind.
std::vector<fs::path> Inputs() {
    std::vector<std::vector<fs::path>> kinds;
    for (const char* extension : {"3ds", "obj", "bvh"})
        kinds.push_back(corpustest::FindCorpus(extension).files);
    std::vector<fs::path> models, drawings;
    for (const corpustest::CorpusFolder& folder : corpustest::CorpusFolders("dxf")) {
        std::vector<fs::path>& into = folder.package == "assimp-testmodels" ? models : drawings;
        corpustest::Corpus found = corpustest::FindCorpus("dxf", {folder});
        into.insert(into.end(), found.files.begin(), found.files.end());
    }
    kinds.push_back(models);
    std::vector<fs::path> spread;
    for (size_t k = 0; k < kDrawings && !drawings.empty(); ++k)
        spread.push_back(drawings[k * drawings.size() / kDrawings]);
    kinds.push_back(spread);
    kinds.erase(std::remove_if(kinds.begin(), kinds.end(), [](const auto& kind) { return kind.empty(); }),
                kinds.end());
    std::vector<fs::path> mixed;
    size_t longest = 0;
    for (const auto& kind : kinds)
        longest = std::max(longest, kind.size());
    for (size_t j = 0; !kinds.empty() && j < longest * kinds.size(); ++j) {
        const auto& kind = kinds[j % kinds.size()];
        mixed.push_back(kind[(j / kinds.size()) % kind.size()]);
    }
    return mixed;
}

// The python interpreter that has ezdxf, or "".
std::string EzdxfPython() {
    static const std::string python = [] {
        for (const char* candidate : {"/usr/bin/python3", "python3"})
            if (corpustest::RunProgram({candidate, "-c", "import ezdxf"}).status == 0)
                return std::string(candidate);
        return std::string();
    }();
    return python;
}

// What an installed independent reader says against `path`, "" when it reads the file. `meshes`
// tells whether the toolkit found a mesh in it: assimp refuses a 3DS file without one ("No faces
// loaded"), which the format allows (a scene of cameras, lights or dummies).
std::string IndependentProblems(const std::string& format, const std::string& path, bool meshes) {
    std::string problems;
    auto run = [&](const std::vector<std::string>& argv, bool quiet) {
        corpustest::RunResult r = corpustest::RunProgram(argv, 240);  // a hang, not a slow machine
        if (argv[0] == "assimp" && format == "3ds" && !meshes &&
            r.output.find("No faces loaded") != std::string::npos)
            return;
        if (r.status != 0 || (quiet && r.output.find("rror") != std::string::npos))
            problems +=
                argv[0] + " (status " + std::to_string(r.status) + "): " + r.output.substr(0, 400) + "\n";
    };
    const bool assimp = corpustest::MissingReader(corpustest::kAssimpInfo).empty();
    if (format == "3ds" && corpustest::MissingReader(corpustest::k3dsDump).empty())
        run({"3dsdump", "-s", path}, true);
    // An assimp that drops the corners of hidden edges cannot judge a DXF that hides some: ezdxf
    // does.
    const bool hidesEdges = format == "dxf" && !corpustest::AssimpReadsHiddenEdges() &&
                            corpustest::HasHiddenEdgeIndex(oxa_test::ReadFile(path));
    if (assimp && (format == "3ds" || format == "obj" || format == "dxf" || format == "bvh") && !hidesEdges)
        run({"assimp", "info", path}, false);
    if (format == "dxf" && !EzdxfPython().empty())
        run({EzdxfPython(), "-c", "import sys, ezdxf\ndoc = ezdxf.readfile(sys.argv[1])\n", path}, false);
    return problems;
}

class ConvertRealFiles : public ::testing::TestWithParam<int> {};

TEST_P(ConvertRealFiles, EveryRunThatSucceedsWritesAFileThatReads) {
    const int index = GetParam();
    const std::string format = kFormats[index];
    const std::vector<fs::path> inputs = Inputs();
    if (inputs.empty()) GTEST_SKIP() << corpustest::FindCorpus("3ds").SkipReason();
    oxa_test::ScratchDir dir("convert_realfiles_", format);
    // The windows of the formats start apart, so that together they cover the mixed list.
    const size_t first = (size_t)index * inputs.size() / kFormatCount;
    int succeeded = 0, refused = 0, known = 0;
    std::vector<std::string> notes;
    for (size_t k = 0; k < std::min(kWindow, inputs.size()); ++k) {
        const fs::path& input = inputs[(first + k) % inputs.size()];
        const std::string out = dir / (std::to_string(k) + "_out." + format);
        const std::string run = input.filename().string() + " -> " + format;
        corpustest::RunResult convert = corpustest::RunProgram({OXA_CONVERT_PATH, input.string(), out}, 120);
        if (convert.status == 1) {
            ++refused;
            notes.push_back("  refused " + run + ": " + convert.output.substr(0, 200));
            // A refusal says why, naming the input or the output, and leaves no file.
            EXPECT_NE(convert.output.find("oxa-convert: "), std::string::npos) << run;
            EXPECT_FALSE(fs::exists(out)) << run;
            continue;
        }
        ASSERT_EQ(convert.status, 0) << run << "\n" << convert.output;
        ++succeeded;
        std::string problems;
        corpustest::RunResult info = corpustest::RunProgram({OXA_CONVERT_PATH, "--info", out}, 120);
        if (info.status != 0) problems += "oxa-convert --info: " + info.output.substr(0, 400) + "\n";
        problems += IndependentProblems(format, out, info.output.find("mesh:") != std::string::npos);
        if (problems.empty()) continue;
        if (kKnownFailures.count(input.filename().string() + " -> " + format)) {
            ++known;
            continue;
        }
        ADD_FAILURE() << run << " (" << input.string() << ") exited 0 but its output does not read:\n"
                      << problems;
    }
    std::cout << format << ": " << succeeded << " succeeded (" << known << " known not to read), " << refused
              << " refused\n";
    for (const std::string& note : notes)
        std::cout << note;
    std::cout << std::flush;
}

std::string FormatName(const ::testing::TestParamInfo<int>& info) {
    return kFormats[info.param];
}

INSTANTIATE_TEST_SUITE_P(Formats, ConvertRealFiles, ::testing::Range(0, kFormatCount), FormatName);

}  // namespace
