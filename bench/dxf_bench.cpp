// DXF reading and writing at size: a seeded generator writes a ~100 MB DXF file (four layers, each
// with a polyface mesh and a grid of 3DFACEs whose corners are shared, so welding has work) into the
// temporary folder; it is removed at the end. Measured:
//   - our reader on the file (layer mode, welding on), and assimp's importer on the same file (no
//     post-processing) when assimp's development package was found at configure time;
//   - the memory our read adds at its peak, the built scene included, against the file's size
//     (peak resident size, reset through /proc/self/clear_refs before the read);
//   - our writer on the scene read, and a plain fprintf loop that writes the same bytes (assimp
//     exports no DXF); the two outputs are compared byte for byte once.
// The program prints the peers' times over ours (wall and CPU time) and the peak memory over the
// file size. No figure is asserted.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "attributes/voxa_material.h"
#include "attributes/voxa_mesh.h"
#include "bench_support.h"
#include "formats/geometry/dxf/voxa_reader_dxf.h"
#include "formats/geometry/dxf/voxa_writer_dxf.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

#ifdef OXA_HAVE_ASSIMP
#include <assimp/scene.h>
#include <assimp/Importer.hpp>
#endif

namespace {

namespace fs = std::filesystem;

fs::path Folder() {
    static fs::path folder = fs::temp_directory_path() / ("oxa_dxf_bench_" + std::to_string(::getpid()));
    return folder;
}
fs::path InputPath() {
    return Folder() / "big.dxf";
}

// Four layers; on each a polyface grid of side x side points with quads, and a grid of the same size
// of 3DFACEs (every fourth a triangle). Colours differ per layer and per face.
size_t GenerateFile(int side) {
    fs::create_directories(Folder());
    std::mt19937 random(12345);
    std::uniform_real_distribution<double> noise(-0.01, 0.01);
    std::FILE* f = std::fopen(InputPath().c_str(), "wb");
    auto group = [&](int code, const char* value) { std::fprintf(f, "%3d\n%s\n", code, value); };
    auto groupInt = [&](int code, int value) { std::fprintf(f, "%3d\n   %d\n", code, value); };
    auto groupReal = [&](int code, double value) { std::fprintf(f, "%3d\n%lf\n", code, value); };
    group(0, "SECTION");
    group(2, "TABLES");
    group(0, "TABLE");
    group(2, "LAYER");
    groupInt(70, 4);
    for (int l = 0; l < 4; ++l) {
        group(0, "LAYER");
        group(2, ("Layer" + std::to_string(l)).c_str());
        groupInt(70, 0);
        groupInt(62, l == 3 ? -(l + 1) : l + 1);
        group(6, "CONTINUOUS");
    }
    group(0, "ENDTAB");
    group(0, "ENDSEC");
    group(0, "SECTION");
    group(2, "ENTITIES");
    for (int l = 0; l < 4; ++l) {
        const std::string layer = "Layer" + std::to_string(l);
        const double z0 = l * 10.0;
        group(0, "POLYLINE");
        group(8, layer.c_str());
        groupInt(66, 1);
        groupInt(70, 64);
        groupInt(71, side * side);
        groupInt(72, (side - 1) * (side - 1));
        for (int r = 0; r < side; ++r) {
            for (int c = 0; c < side; ++c) {
                group(0, "VERTEX");
                group(8, layer.c_str());
                groupReal(10, c + noise(random));
                groupReal(20, r + noise(random));
                groupReal(30, z0 + noise(random));
                groupInt(70, 192);
            }
        }
        for (int r = 0; r + 1 < side; ++r) {
            for (int c = 0; c + 1 < side; ++c) {
                const int p = r * side + c + 1;
                group(0, "VERTEX");
                group(8, layer.c_str());
                groupInt(62, 10 + (r + c) % 200);
                groupInt(70, 128);
                groupInt(71, p);
                groupInt(72, p + 1);
                groupInt(73, p + side + 1);
                groupInt(74, p + side);
            }
        }
        group(0, "SEQEND");
        // The faces' corners are computed from the grid, so neighbours share them exactly.
        for (int r = 0; r + 1 < side; ++r) {
            for (int c = 0; c + 1 < side; ++c) {
                const double x[4] = {(double)c, c + 1.0, c + 1.0, (double)c};
                const double y[4] = {(double)r, (double)r, r + 1.0, r + 1.0};
                const bool triangle = (r + c) % 4 == 0;
                group(0, "3DFACE");
                group(8, layer.c_str());
                groupInt(62, 1 + (r * 7 + c) % 9);
                for (int k = 0; k < 4; ++k) {
                    const int corner = triangle && k == 3 ? 2 : k;
                    groupReal(10 + k, x[corner] * 0.5 + 100.0);
                    groupReal(20 + k, y[corner] * 0.5);
                    groupReal(30 + k, z0 + 0.25 * ((corner + r) % 3));
                }
            }
        }
    }
    group(0, "ENDSEC");
    group(0, "EOF");
    std::fclose(f);
    return (size_t)fs::file_size(InputPath());
}

size_t gFileSize = 0;
double gPeakBytes = 0.0;

bool ReadInto(VOxaSdkManager* manager, VOxaScene* scene) {
    VOxaReaderDxf reader(manager);
    std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
    bool ok = reader.FileOpen(InputPath().c_str()) && reader.Read(scene, options.get());
    reader.FileClose();
    return ok;
}

void BM_OurRead(benchmark::State& state) {
    for (auto _ : state) {
        std::unique_ptr<VOxaSdkManager> manager(VOxaSdkManager::Create());
        VOxaScene* scene = manager->CreateScene();
        {
            std::ofstream("/proc/self/clear_refs") << "5";  // reset the peak resident size
        }
        const long before = oxa_bench::StatusKb("VmRSS:");
        const bool ok = ReadInto(manager.get(), scene);
        const long peak = oxa_bench::StatusKb("VmHWM:");
        if (!ok) state.SkipWithError("read failed");
        gPeakBytes = (double)(peak - before) * 1024.0;
    }
}

bool WriteOurs(VOxaSdkManager* manager, VOxaScene* scene, const fs::path& path) {
    VOxaWriterDxf writer(manager);
    std::unique_ptr<VStreamOptions> options(writer.GetWriteOptions());
    static_cast<VStreamOptionsDxf*>(options.get())
        ->SetOptionValue(VStreamOptionsDxf::eFORCE_TRIANGULATION, 0);
    return writer.FileCreate(path.c_str()) && writer.Write(scene, options.get()) && writer.FileClose();
}

// The same bytes as our writer, one fprintf per line, for scenes of meshes whose polygons have at
// most four vertices and whose materials are by polygon or absent (what the reader gives).
bool WriteWithFprintf(VOxaScene* scene, const fs::path& path) {
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (!f) return false;
    VOxaNode* root = scene->GetRootNode();
    auto each = [&](const std::function<void(VOxaNode*)>& visit) {
        std::function<void(VOxaNode*)> walk = [&](VOxaNode* node) {
            visit(node);
            for (int i = 0; i < node->GetChildCount(); ++i)
                walk(node->GetChild(i));
        };
        for (int i = 0; i < root->GetChildCount(); ++i)
            walk(root->GetChild(i));
    };
    auto aci = [](VOxaMaterial* m) {
        VOxaColor c = m->GetDiffuse();
        return DxfColorToAci(c.mRed, c.mGreen, c.mBlue);
    };
    auto meshColour = [&](VOxaMesh* mesh) {
        int n = mesh->GetMaterialCount(0);
        return n > 0 ? aci(mesh->GetMaterial(n - 1, 0)) : 0;
    };
    std::fprintf(f,
                 "999\nMorvane Dxf writer for OXA\n  0\nSECTION\n  2\nHEADER\n  9\n$ACADVER\n  1\nAC1008\n");
    std::fprintf(f,
                 "  9\n$UCSORG\n 10\n0.0\n 20\n0.0\n 30\n0.0\n  9\n$UCSXDIR\n 10\n1.0\n 20\n0.0\n 30\n0.0\n");
    std::fprintf(f, "  9\n$TILEMODE\n 70\n   1\n  9\n$UCSYDIR\n 10\n0.0\n 20\n1.0\n 30\n0.0\n  0\nENDSEC\n");
    std::fprintf(f, "  0\nSECTION\n  2\nTABLES\n");
    std::fprintf(f, "  0\nTABLE\n  2\nLTYPE\n 70\n   1\n  0\nLTYPE\n  2\nCONTINUOUS\n 70\n   64\n");
    std::fprintf(f, "  3\nSolid line\n 72\n   65\n 73\n   0\n 40\n0.0\n  0\nENDTAB\n");
    std::fprintf(f, "  0\nTABLE\n  2\nLAYER\n 70\n   %d\n", root->GetChildCount(true));
    each([&](VOxaNode* node) {
        if (VOxaMesh* mesh = node->GetMesh()) {
            int colour = meshColour(mesh);
            std::fprintf(f, "  0\nLAYER\n  2\n%s\n 70\n   0\n 62\n   %d\n  6\nCONTINUOUS\n",
                         node->GetNameWithoutPrefix(), node->GetVisibility() ? colour : -colour);
        }
    });
    std::fprintf(f, "  0\nENDTAB\n  0\nENDSEC\n  0\nSECTION\n  2\nBLOCKS\n  0\nENDSEC\n");
    std::fprintf(f, "  0\nSECTION\n  2\nENTITIES\n");
    each([&](VOxaNode* node) {
        VOxaMesh* mesh = node->GetMesh();
        if (!mesh) return;
        const char* name = node->GetNameWithoutPrefix();
        const int colour = meshColour(mesh);
        const int materials = mesh->GetMaterialCount(0);
        VArrayTemplate<int>* indices = mesh->GetMaterialIndices();
        const int mapping = mesh->GetMaterialMappingMode();
        VgeTVector t, r, s;
        node->GetPivotGlobalTranslation(t, 0);
        node->GetPivotGlobalRotation(r, 0);
        node->GetPivotGlobalScaling(s, 0);
        const VgeAMatrix m(t, r, s);
        std::fprintf(f, "  0\nPOLYLINE\n  8\n%s\n", name);
        if (materials > 0) std::fprintf(f, " 62\n   %d\n", colour);
        std::fprintf(f, " 66\n   1\n 10\n0.0\n 20\n0.0\n 30\n0.0\n 70\n   64\n 71\n   %d\n 72\n   %d\n",
                     mesh->GetControlPointsCount(), mesh->GetPolygonCount());
        for (int i = 0; i < mesh->GetControlPointsCount(); ++i) {
            VgeTVector q = m.MultT(mesh->GetControlPoints()[i]);
            std::fprintf(f, "  0\nVERTEX\n  8\n%s\n 10\n%lf\n 20\n%lf\n 30\n%lf\n 70\n   192\n", name, q[0],
                         -q[2], q[1]);
        }
        for (int k = 0; k < mesh->GetPolygonCount(); ++k) {
            std::fprintf(f, "  0\nVERTEX\n  8\n%s\n", name);
            if (mapping == 3) {
                int index = indices && k < indices->GetCount() ? (*indices)[k] : -1;
                VOxaMaterial* material = mesh->GetMaterial(index, 0);
                if (material) std::fprintf(f, " 62\n   %d\n", aci(material));
            } else if (colour > 0) {
                std::fprintf(f, " 62\n   %d\n", colour);
            }
            std::fprintf(f, " 10\n0.0\n 20\n0.0\n 30\n0.0\n 70\n   128\n");
            const int size = mesh->GetPolygonSize(k);
            for (int j = 0; j < size; ++j)
                std::fprintf(f, "%3d\n   %d\n", 71 + j, mesh->GetPolygonVertex(k, size - 1 - j) + 1);
        }
        std::fprintf(f, "  0\nSEQEND\n");
    });
    std::fprintf(f, "  0\nENDSEC\n  0\nEOF\n");
    return std::fclose(f) == 0;
}

struct ReadScene {
    std::unique_ptr<VOxaSdkManager> manager{VOxaSdkManager::Create()};
    VOxaScene* scene = manager->CreateScene();
    bool ok = ReadInto(manager.get(), scene);
};

ReadScene& SharedScene() {
    static ReadScene read;
    return read;
}

void BM_OurWrite(benchmark::State& state) {
    ReadScene& read = SharedScene();
    for (auto _ : state)
        if (!read.ok || !WriteOurs(read.manager.get(), read.scene, Folder() / "ours_out.dxf"))
            state.SkipWithError("write failed");
}

void BM_FprintfWrite(benchmark::State& state) {
    ReadScene& read = SharedScene();
    for (auto _ : state)
        if (!read.ok || !WriteWithFprintf(read.scene, Folder() / "fprintf_out.dxf"))
            state.SkipWithError("write failed");
}

#ifdef OXA_HAVE_ASSIMP
void BM_AssimpRead(benchmark::State& state) {
    for (auto _ : state) {
        Assimp::Importer importer;
        const aiScene* scene = importer.ReadFile(InputPath().string(), 0);
        if (scene == nullptr) state.SkipWithError("assimp read failed");
    }
}
#endif

bool SameBytes(const fs::path& a, const fs::path& b) {
    std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
    std::istreambuf_iterator<char> i(x), j(y), end;
    for (; i != end && j != end; ++i, ++j)
        if (*i != *j) return false;
    return i == end && j == end;
}

}  // namespace

int main(int argc, char** argv) {
    // Four layers of 262 x 262 grid points give a file of about 100 MB.
    gFileSize = GenerateFile(262);
    std::printf("generated %s: %.1f MB\n", InputPath().c_str(), gFileSize / 1e6);

    using Bench = std::pair<const char*, void (*)(benchmark::State&)>;
    for (auto [name, function] : {Bench{"dxf_read_ours", BM_OurRead}, Bench{"dxf_write_ours", BM_OurWrite},
                                  Bench{"dxf_write_fprintf", BM_FprintfWrite}}) {
        benchmark::RegisterBenchmark(name, function)
            ->Iterations(1)
            ->Repetitions(3)
            ->Unit(benchmark::kMillisecond);
    }
#ifdef OXA_HAVE_ASSIMP
    benchmark::RegisterBenchmark("dxf_read_assimp", BM_AssimpRead)
        ->Iterations(1)
        ->Repetitions(3)
        ->Unit(benchmark::kMillisecond);
#endif
    benchmark::Initialize(&argc, argv);
    oxa_bench::CpuRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\npeak memory added by the read: %.1f MB for a %.1f MB file (%.2f x)\n", gPeakBytes / 1e6,
                gFileSize / 1e6, gPeakBytes / (double)gFileSize);
    reporter.PrintComparison("write:", "fprintf", "dxf_write_fprintf", "dxf_write_ours");
    std::printf("the fprintf loop wrote %s bytes as our writer\n",
                SameBytes(Folder() / "ours_out.dxf", Folder() / "fprintf_out.dxf") ? "the same" : "OTHER");
#ifdef OXA_HAVE_ASSIMP
    reporter.PrintComparison("read: ", "assimp", "dxf_read_assimp", "dxf_read_ours");
#else
    std::printf("assimp not found at configure time: no comparison row\n");
#endif
    std::error_code error;
    fs::remove_all(Folder(), error);
    return 0;
}
