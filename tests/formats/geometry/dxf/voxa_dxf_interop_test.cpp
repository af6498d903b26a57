// Files our DXF writer writes, handed to independent readers: ezdxf reads them with our entity
// counts and layer names and its audit finds nothing; assimp gives our vertex and face counts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "attributes/voxa_material.h"
#include "attributes/voxa_mesh.h"
#include "formats/geometry/dxf/voxa_writer_dxf.h"
#include "formats/geometry/obj/voxa_writer_obj.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "tests/formats/geometry/dxf/dxf_test_util.h"
#include "tests/support/corpus.h"

namespace {

namespace fs = std::filesystem;

// The python interpreter that has ezdxf, or "".
std::string EzdxfPython() {
    for (const char* python : {"/usr/bin/python3", "python3"}) {
        corpustest::RunResult r = corpustest::RunProgram({python, "-c", "import ezdxf"});
        if (r.status == 0) return python;
    }
    return "";
}

// ezdxf as it ships: it refuses names it does not allow, and its audit reports anything else
// it finds wrong.
const char kProbe[] = R"(
import sys, ezdxf
doc = ezdxf.readfile(sys.argv[1])
for e in doc.modelspace():
    if e.dxftype() == 'POLYLINE':
        pv = sum(1 for v in e.vertices if v.is_poly_face_mesh_vertex)
        fr = sum(1 for v in e.vertices if v.is_face_record)
        print('POLYFACE', e.dxf.layer, int(e.is_poly_face_mesh), pv, fr)
    else:
        print('ENTITY', e.dxftype())
print('LAYERS', ' '.join(sorted(l.dxf.name for l in doc.layers)))
a = doc.audit()
for x in a.errors: print('AUDIT', x.code, x.message)
for x in a.fixes: print('AUDIT', x.code, x.message)
)";

struct Written {
    fs::path path;
    std::vector<std::string> polyfaces;  // "POLYFACE <layer> 1 <vertices> <faces>"
    std::vector<std::string> layers;
    int vertices = 0;
    int faces = 0;  // triangles and quads as written
};

// A scene of a few meshes (a hidden one, one with materials, a hexagon) written by our writer;
// with `oddNames`, three more whose names the writer must change.
Written WriteScene(const char* name, bool oddNames = false) {
    Written w;
    w.path = fs::temp_directory_path() / name;
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaMaterial* red = manager.CreateMaterial("red");
    red->SetDiffuse(VOxaColor(1, 0, 0, 1));
    auto add = [&](const char* nodeName, const char* layer, const std::vector<std::vector<double>>& points,
                   const std::vector<std::vector<int>>& polygons, bool material, bool visible) {
        VOxaNode* node = manager.CreateNode(nodeName);
        VOxaMesh* mesh = manager.CreateMesh();
        mesh->InitControlPoints((int)points.size());
        for (size_t i = 0; i < points.size(); ++i)
            mesh->GetControlPoints()[i] = VgeTVector(points[i][0], points[i][1], points[i][2], 1);
        if (material) mesh->AddMaterial(red, 0);
        int records = 0;
        for (const auto& p : polygons) {
            mesh->BeginPolygon();
            for (int i : p)
                mesh->AddPolygonVertex(i);
            mesh->EndPolygon();
            records += p.size() > 4 ? (int)p.size() - 2 : 1;
        }
        node->SetNodeAttribute(mesh);
        node->SetVisibility(visible);
        scene->GetRootNode()->AddChild(node);
        w.layers.push_back(layer);
        w.polyfaces.push_back("POLYFACE " + std::string(layer) + " 1 " + std::to_string(points.size()) + " " +
                              std::to_string(records));
        w.vertices += (int)points.size();
        w.faces += records;
    };
    add("Cube", "Cube",
        {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}},
        {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}}, true, true);
    add("Hidden", "Hidden", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}, false, false);
    add("Hex", "Hex", {{0, 0, 0}, {1, 0, 0}, {2, 1, 0}, {1, 2, 0}, {0, 2, 0}, {-1, 1, 0}},
        {{0, 1, 2, 3, 4, 5}}, true, true);
    // Names real scenes carry: a type name of their own, characters table names may not hold, a
    // name that clashes with another without regard to case.
    if (oddNames) {
        add("Part::Contour", "Contour", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}, true, true);
        add("a/b<c>?*|=\"';x", "a_b_c________x", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}, false, true);
        add("CUBE", "CUBE1", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}, true, true);
    }
    VOxaWriterDxf writer(&manager);
    EXPECT_TRUE(writer.FileCreate(w.path.string().c_str()));
    std::unique_ptr<VStreamOptions> options(writer.GetWriteOptions());
    static_cast<VStreamOptionsDxf*>(options.get())
        ->SetOptionValue(VStreamOptionsDxf::eFORCE_TRIANGULATION, 0);
    EXPECT_TRUE(writer.Write(scene, options.get()));
    EXPECT_TRUE(writer.FileClose());
    return w;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

}  // namespace

TEST(dxf_interop, EzdxfReadsOurFilesAndItsAuditFindsNothing) {
    const std::string python = EzdxfPython();
    if (python.empty()) GTEST_SKIP() << "ezdxf is not installed (Debian package python3-ezdxf)";
    Written w = WriteScene("dxf_interop_ezdxf.dxf", true);
    fs::path probe = fs::temp_directory_path() / "dxf_interop_probe.py";
    std::ofstream(probe) << kProbe;
    corpustest::RunResult r = corpustest::RunProgram({python, probe.string(), w.path.string()});
    ASSERT_EQ(r.status, 0) << r.output;
    std::vector<std::string> polyfaces;
    std::string layers;
    for (const std::string& line : Lines(r.output)) {
        if (line.rfind("POLYFACE", 0) == 0) polyfaces.push_back(line);
        if (line.rfind("LAYERS", 0) == 0) layers = line;
        if (line.rfind("ENTITY", 0) == 0) ADD_FAILURE() << "unexpected entity: " << line;
        if (line.rfind("AUDIT", 0) == 0) ADD_FAILURE() << line;
    }
    EXPECT_EQ(polyfaces, w.polyfaces) << r.output;
    // Our layers beside the ones ezdxf keeps in every document ("0", "Defpoints").
    for (const std::string& layer : w.layers)
        EXPECT_NE(layers.find(" " + layer), std::string::npos) << layer << " in " << layers;
    fs::remove(probe);
    fs::remove(w.path);
}

TEST(dxf_interop, AssimpGivesOurVertexAndFaceCounts) {
    const std::string missing = corpustest::MissingReader(corpustest::kAssimpInfo);
    if (!missing.empty()) GTEST_SKIP() << missing;
    Written w = WriteScene("dxf_interop_assimp.dxf");
    auto figure = [](const std::string& output, const char* label) {
        size_t at = output.find(label);
        if (at == std::string::npos) return -1;
        return std::atoi(output.c_str() + at + std::strlen(label));
    };
    // Read raw, assimp gives one face per face record (and one vertex per face corner).
    corpustest::RunResult raw = corpustest::RunProgram({"assimp", "info", w.path.string(), "-r"});
    ASSERT_EQ(raw.status, 0) << raw.output;
    EXPECT_EQ(figure(raw.output, "Faces:"), w.faces) << raw.output;
    // With its default processing the corners are joined again into our vertices.
    corpustest::RunResult joined = corpustest::RunProgram({"assimp", "info", w.path.string()});
    ASSERT_EQ(joined.status, 0) << joined.output;
    EXPECT_EQ(figure(joined.output, "Vertices:"), w.vertices) << joined.output;
    EXPECT_EQ(figure(joined.output, "Meshes:"), (int)w.polyfaces.size()) << joined.output;
    fs::remove(w.path);
}

TEST(dxf_interop, LayerNamesWithBlanksAndColourNumbersSurvive) {
    const std::string python = EzdxfPython();
    if (python.empty()) GTEST_SKIP() << "ezdxf is not installed (Debian package python3-ezdxf)";
    // A layer of four words and colour 8: two faces take the layer's colour, one its own 7 (the
    // last material the mesh gets).
    auto tri = [](double z) {
        return std::vector<std::vector<double>>{{0, 0, z}, {1, 0, z}, {0, 1, z}, {0, 1, z}};
    };
    const std::string layer = "red mat one two";
    const std::string source =
        dxftest::File(dxftest::Join({dxftest::Face(layer, tri(0)), dxftest::Face(layer, tri(1)),
                                     dxftest::Face(layer, tri(2), 7)}),
                      dxftest::Layers({{layer, 8}}));
    dxftest::Reading r;
    ASSERT_TRUE(r.Read(source));
    ASSERT_EQ(r.Root()->GetChildCount(), 1);
    const fs::path dxf =
        fs::temp_directory_path() / ("dxf_interop_names_" + std::to_string(::getpid()) + ".dxf");
    const fs::path obj =
        fs::temp_directory_path() / ("dxf_interop_names_" + std::to_string(::getpid()) + ".obj");
    {
        VOxaWriterDxf writer(&r.manager);
        std::unique_ptr<VStreamOptions> options(writer.GetWriteOptions());
        ASSERT_TRUE(writer.FileCreate(dxf.string().c_str()));
        ASSERT_TRUE(writer.Write(r.scene, options.get()));
        ASSERT_TRUE(writer.FileClose());
    }
    fs::path probe = fs::temp_directory_path() / ("dxf_interop_layers_" + std::to_string(::getpid()) + ".py");
    std::ofstream(probe) << R"(
import sys, ezdxf
doc = ezdxf.readfile(sys.argv[1])
for l in doc.layers: print('LAYER', l.dxf.color, l.dxf.name)
for e in doc.modelspace():
    print('FACES', e.dxf.layer + ':', ' '.join(str(v.dxf.color) for v in e.vertices if v.is_face_record))
)";
    corpustest::RunResult result = corpustest::RunProgram({python, probe.string(), dxf.string()});
    ASSERT_EQ(result.status, 0) << result.output;
    const std::vector<std::string> lines = Lines(result.output);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "LAYER 8 red mat one two"), lines.end()) << result.output;
    EXPECT_NE(std::find(lines.begin(), lines.end(), "FACES red mat one two: 8 8 7"), lines.end())
        << result.output;
    // OBJ cannot hold the blanks in a group name.
    {
        VOxaWriterObj writer(&r.manager);
        std::unique_ptr<VStreamOptions> options(writer.GetWriteOptions());
        ASSERT_TRUE(writer.FileCreate(obj.string().c_str()));
        ASSERT_TRUE(writer.Write(r.scene, options.get()));
        ASSERT_TRUE(writer.FileClose());
    }
    std::ifstream in(obj);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("\ng red_mat_one_two\n"), std::string::npos) << text.str();
    fs::path mtl = obj;
    fs::remove(mtl.replace_extension(".mtl"));
    fs::remove(obj);
    fs::remove(probe);
    fs::remove(dxf);
}
