// Reads the DXF files of other programs (assimp's test models and LibreCAD's part library) in all
// three grouping modes: each gives a scene or a clear error.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "formats/geometry/dxf/voxa_reader_dxf.h"
#include "formats/geometry/dxf/voxa_writer_dxf.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "tests/support/corpus.h"
#include "tests/support/test_files.h"

TEST(dxf_realfiles, EveryFileGivesASceneOrAClearError) {
    corpustest::Corpus corpus = corpustest::FindCorpus("dxf");
    if (corpus.files.empty()) GTEST_SKIP() << corpus.SkipReason();
    if (!corpus.missing.empty()) std::cout << "partly skipped: " << corpus.SkipReason() << "\n";
    corpustest::CorpusReport report;
    int withGeometry = 0;
    for (const auto& file : corpus.files) {
        for (int mode : {0, 1, 2}) {
            const std::string format = std::string("dxf mode ") + "LBE"[mode];
            VOxaSdkManager manager;
            VOxaScene* scene = manager.CreateScene();
            VOxaReaderDxf reader(&manager);
            if (!reader.FileOpen(file.string().c_str())) {
                report.Refused(format, file, reader.GetError().GetLastErrorString().Buffer());
                continue;
            }
            std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
            static_cast<VStreamOptionsDxf*>(options.get())
                ->SetOptionValue(VStreamOptionsDxf::eLAYER_BLOCK_ENTITY, mode);
            if (reader.Read(scene, options.get())) {
                report.Read(format);
                if (mode == 0 && scene->GetRootNode()->GetChildCount(true) > 1) ++withGeometry;
            } else {
                const std::string error = reader.GetError().GetLastErrorString().Buffer();
                EXPECT_FALSE(error.empty()) << file;
                report.Refused(format, file, error);
            }
            EXPECT_TRUE(reader.FileClose());
        }
    }
    report.Print();
    std::cout << withGeometry << " files gave nodes in layer mode\n";
    EXPECT_GT(withGeometry, 0);
}

namespace {

// ezdxf's faces and lines of two files (the source, inserts expanded, and ours), compared: the
// triangles the faces make (a face of n distinct corners makes n - 2), the segments (a face of two
// distinct corners, a LINE or a 3D polyline's) and the bounds of their corners. The pairs are the
// lines of the file it is given (source, ours, between a tab): loading ezdxf took longer than
// judging a pair, so one run judges them all. Prints "PAIR", the pair's number, then "SAME t s",
// what differs, or "ERROR" and why the pair could not be read.
const char kCompare[] = R"(
import sys, ezdxf
def faces(path):
    doc = ezdxf.readfile(path)
    out = []
    def handle(e, depth=0):
        t = e.dxftype()
        if t == '3DFACE':
            out.append([e.dxf.vtx0, e.dxf.vtx1, e.dxf.vtx2, e.dxf.vtx3])
        elif t == 'LINE' and not e.dxf.get('thickness', 0):
            out.append([e.dxf.start, e.dxf.end])
        elif t == 'POLYLINE' and e.is_poly_face_mesh:
            for face in e.faces(): out.append([v.dxf.location for v in face[:-1]])
        elif t == 'POLYLINE' and e.is_3d_polyline and not e.dxf.get('thickness', 0):
            vs = [v.dxf.location for v in e.vertices]
            ends = list(zip(vs, vs[1:])) + ([(vs[-1], vs[0])] if e.is_closed and len(vs) > 2 else [])
            out.extend([list(p) for p in ends])
        elif t == 'INSERT' and depth < 8:
            for one in (e.multi_insert() if e.mcount > 1 else [e]):
                for v in one.virtual_entities(): handle(v, depth + 1)
    for e in doc.modelspace(): handle(e)
    return out
def counts(fs):
    tris = segs = 0; ps = []
    for f in fs:
        d = []
        for p in f:
            if not d or tuple(p) != tuple(d[-1]): d.append(p)
        while len(d) > 1 and tuple(d[-1]) == tuple(d[0]): d.pop()
        if len(d) >= 3: tris += len(d) - 2
        elif len(d) == 2: segs += 1
        else: continue
        ps += d
    b = [min(p[k] for p in ps) for k in range(3)] + [max(p[k] for p in ps) for k in range(3)] if ps else []
    return tris, segs, b
def judge(a, b):
    ta, sa, ba = counts(faces(a))
    tb, sb, bb = counts(faces(b))
    size = max([abs(x) for x in ba] + [1.0])
    # A face of four corners repeating one other than its third comes out as a triangle beside a
    # degenerate one (a segment): segments are counted, not compared.
    if ta != tb or sa > sb: return ' '.join(str(x) for x in ('COUNTS', ta, sa, tb, sb))
    if ba and max(abs(x - y) for x, y in zip(ba, bb)) > 1e-6 * size: return ' '.join(str(x) for x in ('BOUNDS', ba, bb))
    return 'SAME %d %d' % (ta, sa)
for i, line in enumerate(open(sys.argv[1], encoding='utf-8')):
    try:
        result = judge(*line.rstrip('\n').split('\t'))
    except (Exception, SystemExit) as e:
        result = 'ERROR %s %s' % (type(e).__name__, str(e).replace('\n', ' ')[:300])
    print('PAIR', i, result, flush=True)
)";

}  // namespace

// A sample of the files (every 40th) through our reader and writer, judged by ezdxf: the
// triangles and segments of the model and their bounds, in the source and in our file.
TEST(dxf_realfiles, ASampleKeepsItsFacesAsEzdxfReadsThem) {
    corpustest::Corpus corpus = corpustest::FindCorpus("dxf");
    if (corpus.files.empty()) GTEST_SKIP() << corpus.SkipReason();
    std::string python;
    for (const char* candidate : {"/usr/bin/python3", "python3"})
        if (python.empty() && corpustest::RunProgram({candidate, "-c", "import ezdxf"}).status == 0)
            python = candidate;
    if (python.empty()) GTEST_SKIP() << "ezdxf is not installed (Debian package python3-ezdxf)";
    oxa_test::ScratchDir dir("dxf_realfiles_", "sample");
    const std::string probe = dir / "compare.py";
    oxa_test::WriteFile(probe, kCompare);
    // Each sampled file and ours, judged together by one run of ezdxf.
    std::vector<std::pair<std::string, std::string>> pairs;
    for (size_t i = 0; i < corpus.files.size(); i += 40) {
        const std::filesystem::path& file = corpus.files[i];
        VOxaSdkManager manager;
        VOxaScene* scene = manager.CreateScene();
        VOxaReaderDxf reader(&manager);
        if (!reader.FileOpen(file.string().c_str())) continue;
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        if (!reader.Read(scene, options.get()) || scene->GetRootNode()->GetChildCount(true) < 2) continue;
        VOxaWriterDxf writer(&manager);
        std::unique_ptr<VStreamOptions> writeOptions(writer.GetWriteOptions());
        const std::string out = dir / (std::to_string(pairs.size()) + "_out.dxf");
        if (!writer.FileCreate(out.c_str()) || !writer.Write(scene, writeOptions.get())) continue;
        writer.FileClose();
        pairs.emplace_back(file.string(), out);
    }
    std::string list;
    for (const auto& pair : pairs)
        list += pair.first + "\t" + pair.second + "\n";
    oxa_test::WriteFile(dir / "pairs.txt", list);
    // The limit only catches a hang: two minutes a pair.
    const corpustest::RunResult r = corpustest::RunProgram({python, probe, dir / "pairs.txt"},
                                                           120 * (int)std::max<size_t>(pairs.size(), 1));
    std::vector<std::string> results(pairs.size());
    std::istringstream lines(r.output);
    for (std::string one; std::getline(lines, one);) {
        std::istringstream line(one);
        std::string tag;
        size_t index = 0;
        if (line >> tag >> index && tag == "PAIR" && index < pairs.size() && line.get() == ' ')
            std::getline(line, results[index]);
    }
    int compared = 0, same = 0, triangles = 0, segments = 0;
    for (size_t k = 0; k < pairs.size(); ++k) {
        ++compared;
        if (r.status == 0 && results[k].rfind("SAME ", 0) == 0) {
            ++same;
            std::istringstream numbers(results[k].substr(5));
            int t = 0, g = 0;
            numbers >> t >> g;
            triangles += t;
            segments += g;
        } else {
            // A pair without its line: the run ended before it, and its output's end says why.
            ADD_FAILURE() << pairs[k].first << ": "
                          << (results[k].empty()
                                  ? r.output.substr(r.output.size() > 600 ? r.output.size() - 600 : 0)
                                  : results[k]);
        }
    }
    std::cout << same << " of " << compared << " sampled files kept their " << triangles << " triangles and "
              << segments << " segments as ezdxf reads them\n";
}
