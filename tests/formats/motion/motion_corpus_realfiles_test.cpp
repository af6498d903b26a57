// Public motion captures (the shared corpus of C3D, TRC, BVH and ASF/AMC files written by other
// programs, and Debian's BVH test models) through every writer of their kind and back, each file
// judged against the input by the independent readers (mocap.py, compare.py): every point
// matched, the frame count and rate kept, gaps kept as gaps, skeleton joints within 1e-3 of the
// figure's height and markers within 0.01 mm, TRC and C3D starting at the same frame number, and
// no take said to have no frames.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/corpus.h"
#include "tests/support/test_files.h"

namespace {

namespace fs = std::filesystem;

// The folder shared beside the checkout (a worktree lies one level deeper), or empty.
fs::path SharedFolder() {
    if (const char* set = std::getenv("OXA_SHARED_DIR")) return set;
    const fs::path root = fs::path(OXA_TEST_DATA_DIR).parent_path().parent_path();
    for (const fs::path& candidate : {root / ".." / "shared", root / ".." / ".." / "shared"}) {
        std::error_code error;
        if (fs::is_directory(candidate / "corpus", error)) return fs::weakly_canonical(candidate, error);
    }
    return {};
}

// Conversions that fail for a reason outside these readers and writers, each with its reason; the
// entry goes with the fix. "<input file name> -> <format>".
const std::map<std::string, std::string> kKnownExceptions = {};

// Reads pairs of captures with the independent readers and prints what compare.py finds, a line a
// pair: "JUDGE", the pair's number, then frames of each, points of the first, points matched, lost,
// gaps filled, worst distance, worst over the figure's height, the fitted or given scale, both
// rates, the first's unit in mm, its kind; or "ERROR" and why the pair could not be read. The pairs
// are the lines of the file it is given (first capture, its skeleton or "-", second, its skeleton,
// between tabs): loading the readers took a second, as long as judging a pair, so one run judges
// them all. Marker files compare in millimetres; a marker without a label is matched by its place;
// BVH lines beyond the frames the header names are no part of the take.
const char* const kJudge = R"(import copy, sys
sys.path.insert(0, sys.argv[1])
from compare import *
def load(path, skeleton):
    return read_any(path, skeleton if skeleton != '-' else None)
# An input's pairs come one after the other (what was written, what was read back): it is read
# once for both, and each judgement takes a copy whose frames and names are its own to change.
last = [None, None]
def load_input(path, skeleton):
    if last[0] != (path, skeleton): last[:] = [(path, skeleton), load(path, skeleton)]
    a = copy.copy(last[1]); a.names = list(a.names)
    return a
def first(m, path):
    if path.lower().endswith('.trc'):
        numbers = [int(n) for n in m.info.get('fnums', []) if n is not None]
        if not numbers: return -1
        # numbered from 0 with frame 0 at Time 0: counted from 0, the take's first frame is 1
        return 1 if min(numbers) == 0 and m.info['times'] and m.info['times'][0] == 0 else min(numbers)
    if path.lower().endswith('.c3d') and m.start is not None and m.rate: return round(m.start * m.rate) + 1
    return -1
def judge(path_a, skeleton_a, path_b, skeleton_b):
    a = load_input(path_a, skeleton_a); b = load(path_b, skeleton_b)
    header = a.info.get('nframes_header') if isinstance(a.info, dict) else None
    if header is not None and 0 <= header < len(a.frames): a.frames = a.frames[:header]
    for k, n in enumerate(a.names):
        if not n.strip() and k < len(b.names) and b.names[k] not in a.names: a.names[k] = b.names[k]
    scale = b.unit_mm / a.unit_mm if a.kind != 'skel' and a.unit_mm and b.unit_mm else None
    r = compare(a, b, scale=scale)
    return (r['nA'], r['nB'], r['pointsA'], r['matched'], r['lost'], r['gap_filled'], repr(r['worst']),
            repr(r['worst_rel']), repr(r['k']), repr(a.rate or 0.0), repr(b.rate or 0.0), repr(a.unit_mm or 0.0),
            first(a, path_a), first(b, path_b), a.kind, ','.join(r['missing']))
for i, line in enumerate(open(sys.argv[2], encoding='utf-8')):
    try:
        print('JUDGE', i, *judge(*line.rstrip('\n').split('\t')), flush=True)
    except (Exception, SystemExit) as e:
        print('JUDGE', i, 'ERROR', type(e).__name__, str(e).replace('\n', ' ')[:300], flush=True)
)";

struct Judgement {
    int framesA = -1, framesB = -1, points = 0, matched = 0, lost = 0, filled = 0;
    long long firstA = -1, firstB = -1;  // the first frame numbers of marker files, else -1
    double worst = 0, worstRel = 0, scale = 0, rateA = 0, rateB = 0, unitMm = 0;
    std::string kind, missing, output;
    bool read = false;
};

// Two captures for the independent readers to compare: an input and what became of it.
struct Pair {
    std::string a, skeletonA, b, skeletonB;
};

// Judges every pair with one run of the independent readers, for which `list` is written: a
// judgement a pair, in their order.
std::vector<Judgement> JudgeAll(const std::string& python, const fs::path& oracles, const std::string& script,
                                const std::string& list, const std::vector<Pair>& pairs) {
    std::vector<Judgement> judgements(pairs.size());
    if (pairs.empty()) return judgements;
    std::string text;
    for (const Pair& pair : pairs)
        text += pair.a + "\t" + pair.skeletonA + "\t" + pair.b + "\t" + pair.skeletonB + "\n";
    oxa_test::WriteFile(list, text);
    // The limit only catches a hang: four minutes a pair.
    const corpustest::RunResult r =
        corpustest::RunProgram({python, script, oracles.string(), list}, 240 * (int)pairs.size());
    std::istringstream lines(r.output);
    for (std::string one; std::getline(lines, one);) {
        std::istringstream line(one);
        std::string tag;
        size_t index = 0;
        if (!(line >> tag >> index) || tag != "JUDGE" || index >= pairs.size()) continue;
        Judgement& j = judgements[index];
        j.output = one;
        j.read = static_cast<bool>(line >> j.framesA >> j.framesB >> j.points >> j.matched >> j.lost >>
                                   j.filled >> j.worst >> j.worstRel >> j.scale >> j.rateA >> j.rateB >>
                                   j.unitMm >> j.firstA >> j.firstB >> j.kind);
        line >> j.missing;
    }
    // A pair without its line: the run ended before it, and its output's end says why.
    for (Judgement& j : judgements)
        if (j.output.empty())
            j.output = r.output.size() > 600 ? r.output.substr(r.output.size() - 600) : r.output;
    return judgements;
}

// What is wrong with a judgement, "" when it holds.
std::string Problems(const Judgement& j) {
    if (!j.read) return "the independent readers failed: " + j.output.substr(0, 600);
    std::ostringstream out;
    if (j.framesA != j.framesB) out << " frames " << j.framesB << " of " << j.framesA << ";";
    if (j.matched != j.points) out << " " << j.points - j.matched << " points missing (" << j.missing << ");";
    if (j.lost) out << " " << j.lost << " positions became gaps;";
    if (j.filled) out << " " << j.filled << " gaps were filled;";
    if (j.kind == "skel") {
        if (!(j.worstRel <= 1e-3)) out << " a joint moved by " << j.worstRel << " of the figure's height;";
    } else if (!(j.worst * j.unitMm <= 0.01)) {
        out << " a marker moved by " << j.worst * j.unitMm << " mm;";
    }
    if (j.rateA > 0 && j.rateB > 0 && !(std::fabs(j.rateA - j.rateB) <= 1e-4 * j.rateA))
        out << " rate " << j.rateB << " for " << j.rateA << ";";
    // TRC and C3D hold the start in their frame numbers: the take starts at the same one.
    if (j.firstA >= 0 && j.firstB >= 0 && j.firstA != j.firstB)
        out << " first frame " << j.firstB << " for " << j.firstA << ";";
    return out.str();
}

struct Input {
    fs::path file;
    std::string skeleton = "-";  // the ASF of an AMC
};

std::vector<Input> Inputs(const fs::path& corpus, const std::string& kind) {
    std::vector<Input> inputs;
    if (kind == "amc") {
        const std::vector<fs::path> skeletons = corpustest::FilesWithExtension(corpus / "asf-amc", "asf");
        for (const fs::path& amc : corpustest::FilesWithExtension(corpus / "asf-amc", "amc")) {
            // The skeleton of the same name, else the one whose name begins the motion's.
            Input input{amc};
            for (const fs::path& asf : skeletons) {
                const std::string stem = asf.stem().string();
                if (amc.stem().string().compare(0, stem.size(), stem) == 0 &&
                    (input.skeleton == "-" || stem.size() > fs::path(input.skeleton).stem().string().size()))
                    input.skeleton = asf.string();
            }
            if (input.skeleton != "-") inputs.push_back(input);
        }
        return inputs;
    }
    for (const fs::path& file : corpustest::FilesWithExtension(corpus / kind, kind))
        inputs.push_back({file});
    if (kind == "bvh")
        for (const fs::path& file : corpustest::FindCorpus("bvh").files)
            inputs.push_back({file});
    return inputs;
}

struct Route {
    const char* kind;    // the input's format
    const char* writer;  // the format it goes through
};

const Route kRoutes[] = {{"bvh", "bvh"}, {"bvh", "htr"}, {"bvh", "amc"}, {"amc", "bvh"}, {"amc", "htr"},
                         {"amc", "amc"}, {"trc", "trc"}, {"trc", "c3d"}, {"c3d", "trc"}, {"c3d", "c3d"}};

class MotionCorpus : public ::testing::TestWithParam<int> {};

TEST_P(MotionCorpus, ThroughTheWriterAndBackTheIndependentReadersSeeTheSameMotion) {
    const Route route = kRoutes[GetParam()];
    const std::string kind = route.kind, writer = route.writer;
    const fs::path shared = SharedFolder();
    if (shared.empty())
        GTEST_SKIP()
            << "the shared corpus is not beside the checkout (../shared/corpus; OXA_SHARED_DIR names "
               "another folder)";
    const fs::path oracles = shared / "tools" / "oracles";
    if (!fs::exists(oracles / "mocap.py") || !fs::exists(oracles / "compare.py"))
        GTEST_SKIP() << "the independent readers are not in " << oracles;
    std::string python;
    for (const char* candidate : {"/usr/bin/python3", "python3"})
        if (corpustest::RunProgram({candidate, "-c", "pass"}).status == 0) {
            python = candidate;
            break;
        }
    if (python.empty()) GTEST_SKIP() << "no python3 for the independent readers";
    const std::vector<Input> inputs = Inputs(shared / "corpus", kind);
    if (inputs.empty()) GTEST_SKIP() << "no ." << kind << " files in " << shared / "corpus";

    oxa_test::ScratchDir dir("motion_corpus_", kind + "_" + writer);
    const std::string script = dir / "judge.py";
    oxa_test::WriteFile(script, kJudge);
    // Bones without degrees of freedom stay as joints, so that every point of the input has its
    // joint to be compared with.
    const std::string options = dir / "options.ini";
    oxa_test::WriteFile(options, "[Import]\nImportDummyNodes=1\n");

    // Every input is written and read back first; one run of the independent readers then judges
    // what was written and what was read back against the input.
    std::vector<std::string> problems(inputs.size());
    std::vector<Pair> pairs;
    std::vector<std::pair<size_t, const char*>> judged;  // each pair's input, and which the pair is
    for (size_t n = 0; n < inputs.size(); ++n) {
        const Input& input = inputs[n];
        auto convert = [&](const std::string& from, const std::string& skeleton, const std::string& to) {
            std::vector<std::string> argv{OXA_CONVERT_PATH, from, to, "--options", options};
            if (skeleton != "-") argv.insert(argv.end(), {"--skeleton", skeleton});
            corpustest::RunResult r = corpustest::RunProgram(argv, 240);
            if (r.status != 0)
                problems[n] += " " + from + " -> " + to + " exits " + std::to_string(r.status) + ": " +
                               r.output.substr(0, 300) + ";";
            // Every take here is written with its frames.
            else if (r.output.find("has no frames") != std::string::npos)
                problems[n] += " " + from + " -> " + to + ": " + r.output.substr(0, 300) + ";";
            return r.status == 0;
        };
        const std::string out = dir / (std::to_string(n) + "_out." + writer);
        const std::string outSkeleton = writer == "amc" ? dir / (std::to_string(n) + "_out.asf") : "-";
        const std::string back = dir / (std::to_string(n) + "_back." + kind);
        const std::string backSkeleton = kind == "amc" ? dir / (std::to_string(n) + "_back.asf") : "-";
        if (convert(input.file.string(), input.skeleton, out)) {
            pairs.push_back({input.file.string(), input.skeleton, out, outSkeleton});
            judged.push_back({n, " written:"});
            if (convert(out, "-", back)) {
                pairs.push_back({input.file.string(), input.skeleton, back, backSkeleton});
                judged.push_back({n, " read back:"});
            }
        }
    }
    const std::vector<Judgement> judgements = JudgeAll(python, oracles, script, dir / "pairs.txt", pairs);
    for (size_t k = 0; k < pairs.size(); ++k) {
        const std::string found = Problems(judgements[k]);
        if (!found.empty()) problems[judged[k].first] += judged[k].second + found;
    }

    int passed = 0, known = 0;
    for (size_t n = 0; n < inputs.size(); ++n) {
        const std::string run = inputs[n].file.filename().string() + " -> " + writer;
        const auto exception = kKnownExceptions.find(run);
        if (problems[n].empty()) {
            ++passed;
            if (exception != kKnownExceptions.end())
                std::cout << "known exception now holds, remove it: " << run << "\n";
        } else if (exception != kKnownExceptions.end()) {
            ++known;
        } else {
            ADD_FAILURE() << run << " (" << inputs[n].file.string() << "):" << problems[n];
        }
    }
    std::cout << kind << " -> " << writer << " and back: " << passed << " of " << inputs.size() << " hold, "
              << known << " known exceptions\n"
              << std::flush;
}

std::string RouteName(const ::testing::TestParamInfo<int>& info) {
    return std::string(kRoutes[info.param].kind) + "_" + kRoutes[info.param].writer;
}

INSTANTIATE_TEST_SUITE_P(Routes, MotionCorpus, ::testing::Range(0, (int)(sizeof kRoutes / sizeof kRoutes[0])),
                         RouteName);

}  // namespace
