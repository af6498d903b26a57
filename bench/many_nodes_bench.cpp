// Scenes of many small objects: what a node costs in memory and time. A generator writes OBJ files
// of 1,000, 10,000 and 100,000 groups of one triangle each, and DXF files of 1,000 and 10,000
// layers of one 3DFACE each, into a temporary folder that is removed at the end. Each case runs in
// a child process of its own, so that its peak resident size is its own:
//   - our reader on the file, then our writer of the same format on the scene read (OBJ -> OBJ,
//     DXF -> DXF), each with its time and the peak resident size reached so far;
//   - assimp's importer on the same file (no post-processing), when assimp's development package
//     was found at configure time;
//   - the largest OBJ case once more with the address space limited to 2 GB, to tell whether the
//     conversion fits.
// The program prints the peak memory and time a node at each size, the memory each extra node
// adds between the two smaller sizes, the time ratio between the two larger ones and our figures
// over assimp's. No figure is asserted. "--quick" leaves out the 100,000 groups.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "formats/geometry/dxf/voxa_reader_dxf.h"
#include "formats/geometry/dxf/voxa_writer_dxf.h"
#include "formats/geometry/obj/voxa_reader_obj.h"
#include "formats/geometry/obj/voxa_writer_obj.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

#ifdef OXA_HAVE_ASSIMP
#include <assimp/scene.h>
#include <assimp/Importer.hpp>
#endif

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// `count` groups "g<k>" of one triangle each, with its three vertices.
void WriteObj(const fs::path& path, int count) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    for (int k = 0; k < count; ++k) {
        const int base = 3 * k;
        std::fprintf(f, "g g%d\nv %d 0 0\nv %d 0 0\nv %d 1 0\nf %d %d %d\n", k, k, k + 1, k, base + 1,
                     base + 2, base + 3);
    }
    std::fclose(f);
}

// `count` layers "L<k>", each with one triangular 3DFACE.
void WriteDxf(const fs::path& path, int count) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    std::fprintf(f, "  0\nSECTION\n  2\nTABLES\n  0\nTABLE\n  2\nLAYER\n 70\n%d\n", count);
    for (int k = 0; k < count; ++k)
        std::fprintf(f, "  0\nLAYER\n  2\nL%d\n 70\n0\n 62\n%d\n  6\nCONTINUOUS\n", k, 1 + k % 255);
    std::fprintf(f, "  0\nENDTAB\n  0\nENDSEC\n  0\nSECTION\n  2\nENTITIES\n");
    for (int k = 0; k < count; ++k) {
        std::fprintf(f, "  0\n3DFACE\n  8\nL%d\n", k);
        const double x[4] = {(double)k, k + 1.0, (double)k, (double)k};
        const double y[4] = {0.0, 0.0, 1.0, 1.0};
        for (int c = 0; c < 4; ++c)
            std::fprintf(f, " %d\n%g\n %d\n%g\n %d\n0\n", 10 + c, x[c], 20 + c, y[c], 30 + c);
    }
    std::fprintf(f, "  0\nENDSEC\n  0\nEOF\n");
    std::fclose(f);
}

// What a child reports: milliseconds and peak resident KB after reading and after writing.
struct Figures {
    bool ok = false;
    double readMs = 0.0;
    long readPeakKb = 0;
    double writeMs = 0.0;
    long writePeakKb = 0;
};

// Runs `work` in a child process (with the address space limited to `limitBytes` when not 0)
// and answers what it reported; ok is false when the child failed or died.
template <typename Work>
Figures InChild(Work work, long long limitBytes = 0) {
    int fds[2];
    Figures figures;
    if (pipe(fds) != 0) return figures;
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        if (limitBytes > 0) {
            rlimit limit{(rlim_t)limitBytes, (rlim_t)limitBytes};
            setrlimit(RLIMIT_AS, &limit);
        }
        Figures mine = work();
        if (write(fds[1], &mine, sizeof mine) != (ssize_t)sizeof mine) _exit(2);
        _exit(0);
    }
    close(fds[1]);
    Figures got;
    const bool read = pid > 0 && ::read(fds[0], &got, sizeof got) == (ssize_t)sizeof got;
    close(fds[0]);
    int status = 0;
    if (pid > 0) waitpid(pid, &status, 0);
    if (read && WIFEXITED(status) && WEXITSTATUS(status) == 0) figures = got;
    return figures;
}

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

enum class Format { eObj, eDxf };

// Our reader on `in`, then our writer of the same format into `out`.
Figures Ours(Format format, const fs::path& in, const fs::path& out) {
    Figures figures;
    std::unique_ptr<VOxaSdkManager> manager(VOxaSdkManager::Create());
    VOxaScene* scene = manager->CreateScene();
    auto start = Clock::now();
    bool ok;
    if (format == Format::eObj) {
        VOxaReaderObj reader(manager.get());
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        ok = reader.FileOpen(in.c_str()) && reader.Read(scene, options.get());
        reader.FileClose();
    } else {
        VOxaReaderDxf reader(manager.get());
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        ok = reader.FileOpen(in.c_str()) && reader.Read(scene, options.get());
        reader.FileClose();
    }
    figures.readMs = MsSince(start);
    figures.readPeakKb = oxa_bench::StatusKb("VmHWM:");
    if (!ok) return figures;
    start = Clock::now();
    if (format == Format::eObj) {
        VOxaWriterObj writer(manager.get());
        std::unique_ptr<VStreamOptions> options(writer.GetWriteOptions());
        ok = writer.FileCreate(out.c_str()) && writer.Write(scene, options.get()) && writer.FileClose();
    } else {
        VOxaWriterDxf writer(manager.get());
        std::unique_ptr<VStreamOptions> options(writer.GetWriteOptions());
        ok = writer.FileCreate(out.c_str()) && writer.Write(scene, options.get()) && writer.FileClose();
    }
    figures.writeMs = MsSince(start);
    figures.writePeakKb = oxa_bench::StatusKb("VmHWM:");
    figures.ok = ok;
    return figures;
}

#ifdef OXA_HAVE_ASSIMP
Figures AssimpRead(const fs::path& in) {
    Figures figures;
    Assimp::Importer importer;
    const auto start = Clock::now();
    const aiScene* scene = importer.ReadFile(in.c_str(), 0);
    figures.readMs = MsSince(start);
    figures.readPeakKb = oxa_bench::StatusKb("VmHWM:");
    figures.ok = scene != nullptr;
    return figures;
}
#endif

struct Row {
    const char* what;
    int nodes;
    Figures ours;
    Figures peer;  // ok false without assimp
};

void PrintRow(const Row& row) {
    auto kbPerNode = [&](long kb) { return (double)kb / row.nodes; };
    auto usPerNode = [&](double ms) { return ms * 1000.0 / row.nodes; };
    if (!row.ours.ok) {
        std::printf("%-4s %7d nodes: our read or write failed\n", row.what, row.nodes);
        return;
    }
    std::printf(
        "%-4s %7d nodes: ours read %8.1f ms (%6.2f us/node), peak %8.1f MB (%6.2f KB/node); "
        "read+write %8.1f ms (%6.2f us/node), peak %8.1f MB (%6.2f KB/node)\n",
        row.what, row.nodes, row.ours.readMs, usPerNode(row.ours.readMs), row.ours.readPeakKb / 1024.0,
        kbPerNode(row.ours.readPeakKb), row.ours.readMs + row.ours.writeMs,
        usPerNode(row.ours.readMs + row.ours.writeMs), row.ours.writePeakKb / 1024.0,
        kbPerNode(row.ours.writePeakKb));
    if (row.peer.ok) {
        std::printf(
            "%-4s %7d nodes: assimp read %8.1f ms (%6.2f us/node), peak %8.1f MB (%6.2f KB/node); "
            "ours/assimp: time %.2f, peak %.2f\n",
            row.what, row.nodes, row.peer.readMs, usPerNode(row.peer.readMs), row.peer.readPeakKb / 1024.0,
            kbPerNode(row.peer.readPeakKb), row.ours.readMs / row.peer.readMs,
            (double)row.ours.readPeakKb / row.peer.readPeakKb);
    }
}

// The peak memory each node adds between rows `a` and `b` (same format), ours and assimp's.
void PrintSlope(const Row& a, const Row& b) {
    if (!a.ours.ok || !b.ours.ok) return;
    const double extra = (double)(b.nodes - a.nodes);
    std::printf("%-4s %d -> %d nodes: each extra node adds %.2f KB read, %.2f KB read+write", a.what, a.nodes,
                b.nodes, (b.ours.readPeakKb - a.ours.readPeakKb) / extra,
                (b.ours.writePeakKb - a.ours.writePeakKb) / extra);
    if (a.peer.ok && b.peer.ok)
        std::printf("; assimp %.2f KB read", (b.peer.readPeakKb - a.peer.readPeakKb) / extra);
    std::printf("\n");
}

void PrintTimeRatio(const Row& a, const Row& b) {
    if (!a.ours.ok || !b.ours.ok) return;
    std::printf("%-4s %d -> %d nodes (x%.0f): read+write time x%.2f, read time x%.2f", a.what, a.nodes,
                b.nodes, (double)b.nodes / a.nodes,
                (b.ours.readMs + b.ours.writeMs) / (a.ours.readMs + a.ours.writeMs),
                b.ours.readMs / a.ours.readMs);
    if (a.peer.ok && b.peer.ok) std::printf("; assimp read time x%.2f", b.peer.readMs / a.peer.readMs);
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const fs::path folder = oxa_bench::MakeTempFolder("oxa_many_nodes_bench_");

    std::vector<Row> obj, dxf;
    std::vector<int> objSizes{1000, 10000};
    if (!quick) objSizes.push_back(100000);
    for (int count : objSizes) {
        const fs::path in = folder / ("groups" + std::to_string(count) + ".obj");
        const fs::path out = folder / "out.obj";
        WriteObj(in, count);
        Row row{"OBJ", count, InChild([&] { return Ours(Format::eObj, in, out); }), Figures()};
#ifdef OXA_HAVE_ASSIMP
        row.peer = InChild([&] { return AssimpRead(in); });
#endif
        PrintRow(row);
        obj.push_back(row);
    }
    for (int count : {1000, 10000}) {
        const fs::path in = folder / ("layers" + std::to_string(count) + ".dxf");
        const fs::path out = folder / "out.dxf";
        WriteDxf(in, count);
        Row row{"DXF", count, InChild([&] { return Ours(Format::eDxf, in, out); }), Figures()};
#ifdef OXA_HAVE_ASSIMP
        row.peer = InChild([&] { return AssimpRead(in); });
#endif
        PrintRow(row);
        dxf.push_back(row);
    }

    std::printf("\n");
    PrintSlope(obj[0], obj[1]);
    PrintSlope(dxf[0], dxf[1]);
    if (obj.size() > 2) {
        PrintTimeRatio(obj[1], obj[2]);
        const fs::path in = folder / ("groups" + std::to_string(obj[2].nodes) + ".obj");
        const Figures limited =
            InChild([&] { return Ours(Format::eObj, in, folder / "out.obj"); }, 2LL << 30);
        std::printf("OBJ %d nodes read+write with the address space limited to 2 GB: %s\n", obj[2].nodes,
                    limited.ok ? "done" : "failed");
    }
    std::error_code error;
    fs::remove_all(folder, error);
    return 0;
}
