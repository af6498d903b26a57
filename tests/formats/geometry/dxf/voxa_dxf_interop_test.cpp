// Files our DXF writer writes, handed to independent readers: ezdxf reads them with our entity
// counts and layer names and its audit finds nothing; assimp gives our vertex and face counts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "attributes/voxa_face_flags.h"
#include "attributes/voxa_material.h"
#include "attributes/voxa_mesh.h"
#include "formats/geometry/3ds/voxa_reader_3ds.h"
#include "formats/geometry/3ds/voxa_writer_3ds.h"
#include "formats/geometry/dxf/voxa_writer_dxf.h"
#include "formats/geometry/obj/voxa_writer_obj.h"
#include "formats/geometry/voxa_geometry_write.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "tests/formats/geometry/dxf/dxf_test_util.h"
#include "tests/support/corpus.h"

#ifdef OXA_HAVE_LIB3DS
#include <lib3ds/file.h>
#include <lib3ds/mesh.h>
#endif

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
        // A point no face uses that is not a number.
        const double nan = std::nan("");
        add("CUBE", "CUBE1", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {nan, nan, nan}}, {{0, 1, 2}}, true, true);
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

namespace {

// ezdxf's faces of a file, inserts expanded: one line per face, "F <layer>|x y z|x y z|...".
const char kFaces[] = R"(
import sys, ezdxf
doc = ezdxf.readfile(sys.argv[1])
def out(layer, pts):
    print('F ' + layer + '|' + '|'.join('%.12g %.12g %.12g' % (p[0], p[1], p[2]) for p in pts))
def handle(e, depth=0):
    t = e.dxftype(); layer = e.dxf.get('layer', '0')
    if t == '3DFACE':
        v = [e.dxf.vtx0, e.dxf.vtx1, e.dxf.vtx2, e.dxf.vtx3]
        out(layer, v[:3] if tuple(v[3]) == tuple(v[2]) else v)
    elif t in ('SOLID', 'TRACE'):
        v = [e.dxf.vtx0, e.dxf.vtx1, e.dxf.vtx3, e.dxf.vtx2]
        v = v[:3] if tuple(v[3]) == tuple(v[2]) else v
        out(layer, list(e.ocs().points_to_wcs(v)))
    elif t == 'POLYLINE' and e.is_poly_face_mesh:
        for face in e.faces(): out(layer, [v.dxf.location for v in face[:-1]])
    elif t == 'POLYLINE' and e.is_polygon_mesh:
        m, n = e.dxf.m_count, e.dxf.n_count
        vs = [v.dxf.location for v in e.vertices]
        for i in range(m - 1):
            for j in range(n - 1):
                out(layer, [vs[i*n+j], vs[i*n+j+1], vs[(i+1)*n+j+1], vs[(i+1)*n+j]])
    elif t == 'INSERT' and depth < 8:
        for one in (e.multi_insert() if e.mcount > 1 else [e]):
            for v in one.virtual_entities(): handle(v, depth + 1)
for e in doc.modelspace(): handle(e)
for l in doc.layers: print('L ' + l.dxf.name)
)";

using Face = std::vector<std::vector<double>>;

struct EzdxfFaces {
    std::vector<Face> faces;  // in DXF axes
    std::vector<std::string> faceLayers;
    std::vector<std::string> layers;
};

EzdxfFaces ReadWithEzdxf(const std::string& python, const fs::path& file) {
    EzdxfFaces result;
    const fs::path probe =
        fs::temp_directory_path() / ("dxf_interop_faces_" + std::to_string(::getpid()) + ".py");
    std::ofstream(probe) << kFaces;
    corpustest::RunResult r = corpustest::RunProgram({python, probe.string(), file.string()});
    fs::remove(probe);
    EXPECT_EQ(r.status, 0) << r.output;
    for (const std::string& line : Lines(r.output)) {
        if (line.rfind("L ", 0) == 0) result.layers.push_back(line.substr(2));
        if (line.rfind("F ", 0) != 0) continue;
        std::istringstream in(line.substr(2));
        std::string part;
        std::getline(in, part, '|');
        result.faceLayers.push_back(part);
        Face face;
        while (std::getline(in, part, '|')) {
            std::istringstream p(part);
            std::vector<double> v(3);
            p >> v[0] >> v[1] >> v[2];
            face.push_back(v);
        }
        result.faces.push_back(face);
    }
    return result;
}

// The signed volume a set of closed faces bounds: positive when they turn counter-clockwise
// seen from outside.
double SignedVolume(const std::vector<Face>& faces) {
    double sum = 0;
    for (const Face& p : faces)
        for (size_t j = 1; j + 1 < p.size(); ++j)
            sum += (p[0][0] * (p[j][1] * p[j + 1][2] - p[j][2] * p[j + 1][1]) -
                    p[0][1] * (p[j][0] * p[j + 1][2] - p[j][2] * p[j + 1][0]) +
                    p[0][2] * (p[j][0] * p[j + 1][1] - p[j][1] * p[j + 1][0])) /
                   6.0;
    return sum;
}

// Every face of the meshes below the root, in world space and DXF axes.
std::vector<Face> OurFaces(dxftest::Reading& r) {
    std::vector<Face> faces;
    VOxaWalkPreOrder(r.Root(), [&](VOxaNode* node) {
        VOxaMesh* mesh = node->GetMesh();
        if (!mesh) return;
        const VgeAMatrix m = VOxaGeometryWorldMatrix(node);
        for (int k = 0; k < mesh->GetPolygonCount(); ++k) {
            Face face;
            for (int j = 0; j < mesh->GetPolygonSize(k); ++j) {
                const VgeTVector q = m.MultT(mesh->GetControlPoints()[mesh->GetPolygonVertex(k, j)]);
                face.push_back({q[0], -q[2], q[1]});
            }
            faces.push_back(face);
        }
    });
    return faces;
}

fs::path TempFile(const char* stem) {
    return fs::temp_directory_path() / (std::string(stem) + "_" + std::to_string(::getpid()) + ".dxf");
}

}  // namespace

TEST(dxf_interop, ACubeKeepsItsFacingThroughDxfBothWays) {
    const std::string python = EzdxfPython();
    if (python.empty()) GTEST_SKIP() << "ezdxf is not installed (Debian package python3-ezdxf)";
    // Our cube, each face counter-clockwise seen from outside (signed volume +1), written: ezdxf
    // finds the same volume.
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaNode* node = manager.CreateNode("Cube");
    VOxaMesh* mesh = manager.CreateMesh();
    const std::vector<std::vector<double>> v = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                                {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
    const std::vector<std::vector<int>> quads = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                                 {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
    mesh->InitControlPoints(8);
    for (int i = 0; i < 8; ++i)
        mesh->GetControlPoints()[i] = VgeTVector(v[i][0], v[i][1], v[i][2], 1);
    std::vector<Face> source;
    for (const auto& q : quads) {
        mesh->BeginPolygon();
        Face face;
        for (int i : q) {
            mesh->AddPolygonVertex(i);
            face.push_back(v[(size_t)i]);
        }
        mesh->EndPolygon();
        source.push_back(face);
    }
    ASSERT_NEAR(SignedVolume(source), 1.0, 1e-12);
    node->SetNodeAttribute(mesh);
    scene->GetRootNode()->AddChild(node);
    const fs::path written = TempFile("dxf_interop_cube");
    for (int triangulate : {0, 1}) {
        VOxaWriterDxf writer(&manager);
        std::unique_ptr<VStreamOptions> options(writer.GetWriteOptions());
        static_cast<VStreamOptionsDxf*>(options.get())
            ->SetOptionValue(VStreamOptionsDxf::eFORCE_TRIANGULATION, triangulate);
        ASSERT_TRUE(writer.FileCreate(written.string().c_str()));
        ASSERT_TRUE(writer.Write(scene, options.get()));
        ASSERT_TRUE(writer.FileClose());
        const EzdxfFaces read = ReadWithEzdxf(python, written);
        ASSERT_EQ(read.faces.size(), triangulate ? 12u : 6u);
        EXPECT_NEAR(SignedVolume(read.faces), 1.0, 1e-9) << "triangulate " << triangulate;
    }
    fs::remove(written);

    // A cube of 3DFACEs as ezdxf reads it (volume +1), read by us: the same volume.
    dxftest::Groups faces;
    for (const auto& q : quads) {
        Face corners;
        for (int i : q)
            corners.push_back(v[(size_t)i]);
        faces = dxftest::Join({faces, dxftest::Face("A", corners)});
    }
    const fs::path file = TempFile("dxf_interop_cube_faces");
    std::ofstream(file) << dxftest::File(faces);
    const EzdxfFaces theirs = ReadWithEzdxf(python, file);
    ASSERT_EQ(theirs.faces.size(), 6u);
    EXPECT_NEAR(SignedVolume(theirs.faces), 1.0, 1e-9);
    dxftest::Reading r;
    ASSERT_TRUE(r.Read(dxftest::File(faces)));
    EXPECT_NEAR(SignedVolume(OurFaces(r)), 1.0, 1e-9);
    fs::remove(file);
}

TEST(dxf_interop, LayerNamesOfOtherAlphabetsReachEzdxf) {
    const std::string python = EzdxfPython();
    if (python.empty()) GTEST_SKIP() << "ezdxf is not installed (Debian package python3-ezdxf)";
    // Each scene's names as ezdxf's normal reader reads them back: every character a code page
    // holds as it was (a combining accent in 1258); controls, direction marks and characters no
    // page of the file holds as "_".
    struct Case {
        std::vector<std::string> names, expected;
    };
    const std::vector<Case> cases = {
        {{"Gr\xC3\xBC\xC3\x9F"
          "e_W\xC3\xBC"
          "rfel \xE2\x82\xAC"},
         {"Gr\xC3\xBC\xC3\x9F"
          "e_W\xC3\xBC"
          "rfel \xE2\x82\xAC"}},
        {{"a\xE9\x96\x89"
          "b",
          "\xE6\x97\xA5\xE6\x9C\xAC"},
         {"a\xE9\x96\x89"
          "b",
          "\xE6\x97\xA5\xE6\x9C\xAC"}},
        {{"\xD0\x9A\xD1\x83\xD0\xB1"}, {"\xD0\x9A\xD1\x83\xD0\xB1"}},  // Куб
        {{"\xE4\xB8\xAD\xE6\x96\x87", "\xE4\xB8\xAD"}, {"\xE4\xB8\xAD\xE6\x96\x87", "\xE4\xB8\xAD"}},
        {{"\xED\x95\x9C\xEA\xB8\x80"}, {"\xED\x95\x9C\xEA\xB8\x80"}},  // 한글
        {{"a\xC2\x85"
          "b",
          "c\xE2\x80\xAE"
          "d",
          "e\tf", "x\xCC\x81"},
         {"a_b", "c_d", "e_f", "x\xCC\x81"}},  // 1258 holds the accent
        {{"\xCE\xA9\xF0\x9F\x98\x80", "\xCE\xA9\xF0\x9F\x98\x81"}, {"\xCE\xA9_", "\xCE\xA9_1"}},
    };
    const fs::path written = TempFile("dxf_interop_names");
    for (const Case& c : cases) {
        VOxaSdkManager manager;
        VOxaScene* scene = manager.CreateScene();
        for (const std::string& name : c.names) {
            VOxaNode* node = manager.CreateNode(name.c_str());
            VOxaMesh* mesh = manager.CreateMesh();
            mesh->InitControlPoints(3);
            mesh->GetControlPoints()[1] = VgeTVector(1, 0, 0, 1);
            mesh->GetControlPoints()[2] = VgeTVector(0, 1, 0, 1);
            mesh->BeginPolygon();
            for (int i = 0; i < 3; ++i)
                mesh->AddPolygonVertex(i);
            mesh->EndPolygon();
            node->SetNodeAttribute(mesh);
            scene->GetRootNode()->AddChild(node);
        }
        VOxaWriterDxf writer(&manager);
        std::unique_ptr<VStreamOptions> options(writer.GetWriteOptions());
        ASSERT_TRUE(writer.FileCreate(written.string().c_str()));
        ASSERT_TRUE(writer.Write(scene, options.get()));
        ASSERT_TRUE(writer.FileClose());
        const EzdxfFaces read = ReadWithEzdxf(python, written);
        EXPECT_EQ(read.faceLayers, c.expected);
        for (const std::string& name : c.expected)
            EXPECT_NE(std::find(read.layers.begin(), read.layers.end(), name), read.layers.end()) << name;
        // Our reader reads the names ezdxf reads.
        dxftest::Reading r;
        std::ifstream in(written, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        ASSERT_TRUE(r.Read(text.str()));
        ASSERT_EQ(r.Root()->GetChildCount(), (int)c.expected.size());
        for (int i = 0; i < r.Root()->GetChildCount(); ++i) {
            const std::string name = r.Name(r.Child(i)).substr(7);
            EXPECT_NE(std::find(c.expected.begin(), c.expected.end(), name), c.expected.end()) << name;
        }
    }
    fs::remove(written);
}

TEST(dxf_interop, NamesOfNewerAndOtherCodePageFilesAsEzdxfReadsThem) {
    const std::string python = EzdxfPython();
    if (python.empty()) GTEST_SKIP() << "ezdxf is not installed (Debian package python3-ezdxf)";
    // Files of other writers: a newer version holds UTF-8 whatever page its header names, an
    // older one its page. ezdxf and we read the same names.
    struct Case {
        const char* version;
        const char* page;
        std::string layer;
    };
    const std::vector<Case> cases = {
        {"AC1021", "ANSI_1252",
         "Gr\xC3\xBC\xC3\x9F"
         "e \xE6\x97\xA5\xE6\x9C\xAC"},
        {"AC1015", "ANSI_932", "\x93\xFA\x96\x7B"},
        {"AC1009", "ANSI_936", "\xD6\xD0\xCE\xC4"},
        {"AC1009", "ANSI_949", "\xC7\xD1\xB1\xDB"},
        {"AC1009", "ANSI_950", "\xA4\xA4\xA4\xE5"},
        {"AC1009", "ANSI_1251", "\xCA\xF3\xE1"},
        {"AC1009", "ANSI_1257", "\xC0\xE0"},
        {"AC1009", "ANSI_874", "\xA1\xA2"},
    };
    const fs::path file = TempFile("dxf_interop_pages");
    for (const Case& c : cases) {
        const dxftest::Groups header = {{9, "$ACADVER"}, {1, c.version}, {9, "$DWGCODEPAGE"}, {3, c.page}};
        const std::string text = dxftest::Text(dxftest::Join(
            {dxftest::Section("HEADER", header),
             dxftest::Section("TABLES", dxftest::Layers({{c.layer, 1}})),
             dxftest::Section("ENTITIES", dxftest::Face(c.layer, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}})),
             {{0, "EOF"}}}));
        std::ofstream(file, std::ios::binary) << text;
        const EzdxfFaces read = ReadWithEzdxf(python, file);
        ASSERT_EQ(read.faceLayers.size(), 1u) << c.page;
        dxftest::Reading r;
        ASSERT_TRUE(r.Read(text));
        ASSERT_EQ(r.Root()->GetChildCount(), 1);
        EXPECT_EQ(r.Name(r.Child(0)), "Model::" + read.faceLayers[0]) << c.version << " " << c.page;
    }
    fs::remove(file);
}

TEST(dxf_interop, FaceRecordsAndLongValuesAsEzdxfReadsThem) {
    const std::string python = EzdxfPython();
    if (python.empty()) GTEST_SKIP() << "ezdxf is not installed (Debian package python3-ezdxf)";
    // A TEXT of 2049 characters between two 3DFACEs: ezdxf reads one TEXT and the two faces, and
    // so do we.
    std::string value = std::string(1239, 'x') + "  0";
    value += std::string(2049 - value.size(), 'y');
    const dxftest::Groups textEntity = {{0, "TEXT"}, {8, "T"},  {10, "0"}, {20, "0"},
                                        {30, "0"},   {40, "1"}, {1, value}};
    const std::vector<std::vector<double>> tri = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 1, 0}};
    const std::string text =
        dxftest::File(dxftest::Join({dxftest::Face("A", tri), textEntity, dxftest::Face("A", tri)}));
    const fs::path file = TempFile("dxf_interop_long");
    std::ofstream(file, std::ios::binary) << text;
    const EzdxfFaces read = ReadWithEzdxf(python, file);
    dxftest::Reading r;
    ASSERT_TRUE(r.Read(text, dxftest::kEntity));
    EXPECT_EQ(r.Root()->GetChildCount(), (int)read.faces.size());
    EXPECT_EQ(read.faces.size(), 2u);
    fs::remove(file);
}

TEST(dxf_interop, BlocksPolygonMeshesAndSolidsAsEzdxfReadsThem) {
    const std::string python = EzdxfPython();
    if (python.empty()) GTEST_SKIP() << "ezdxf is not installed (Debian package python3-ezdxf)";
    using dxftest::Groups;
    // Two blocks whose names share a first word, an instance of the second flattened (z scale 0)
    // and turned; a 3 x 3 polygon mesh; a SOLID quadrangle and a SOLID triangle.
    const Groups blocks = dxftest::Join(
        {dxftest::Block("BOX BLOCK",
                        dxftest::Join({dxftest::Face("0", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}),
                                       dxftest::Face("0", {{2, 0, 0}, {3, 0, 0}, {3, 1, 0}, {2, 1, 0}})})),
         dxftest::Block("BOX BASE",
                        dxftest::Face("0", {{100, 200, 5}, {101, 200, 5}, {100, 201, 7}, {100, 201, 7}}))});
    Groups mesh{{0, "POLYLINE"}, {8, "M"}, {66, "1"}, {70, "16"}, {71, "3"}, {72, "3"}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            mesh.insert(mesh.end(), {{0, "VERTEX"},
                                     {8, "M"},
                                     {10, dxftest::Num(j)},
                                     {20, dxftest::Num(i)},
                                     {30, dxftest::Num(i * j * 0.5)},
                                     {70, "64"}});
    mesh.push_back({0, "SEQEND"});
    const Groups solids = {{0, "SOLID"}, {8, "S"},  {10, "0"}, {20, "0"}, {30, "0"}, {11, "2"}, {21, "0"},
                           {31, "0"},    {12, "0"}, {22, "1"}, {32, "0"}, {13, "2"}, {23, "1"}, {33, "0"},
                           {0, "SOLID"}, {8, "S"},  {10, "5"}, {20, "0"}, {30, "0"}, {11, "6"}, {21, "0"},
                           {31, "0"},    {12, "5"}, {22, "1"}, {32, "0"}, {13, "5"}, {23, "1"}, {33, "0"}};
    const std::string text = dxftest::File(
        dxftest::Join({dxftest::Insert("BOX BASE", {10, 20, 30}, {2, 1, 0}, 90), mesh, solids}), {}, blocks);
    const fs::path file = TempFile("dxf_interop_kinds");
    std::ofstream(file) << text;
    const EzdxfFaces theirs = ReadWithEzdxf(python, file);
    ASSERT_EQ(theirs.faces.size(), 1u + 4u + 2u);
    for (int mode : {0, 1, 2}) {
        dxftest::Reading r;
        ASSERT_TRUE(r.Read(text, mode, false));
        std::vector<Face> ours = OurFaces(r);
        ASSERT_EQ(ours.size(), theirs.faces.size()) << "mode " << mode;
        // The same faces, corner by corner, in whatever order the nodes come.
        std::vector<bool> matched(ours.size(), false);
        for (const Face& face : theirs.faces) {
            bool found = false;
            for (size_t k = 0; k < ours.size() && !found; ++k) {
                if (matched[k] || ours[k].size() != face.size()) continue;
                bool same = true;
                for (size_t c = 0; c < face.size() && same; ++c)
                    for (int a = 0; a < 3; ++a)
                        same = same && std::fabs(ours[k][c][a] - face[c][a]) < 1e-6;
                if (same) matched[k] = found = true;
            }
            EXPECT_TRUE(found) << "mode " << mode << ": a face of ezdxf's starting at " << face[0][0] << " "
                               << face[0][1] << " " << face[0][2] << " is not ours";
        }
    }
    fs::remove(file);
}

TEST(dxf_interop, ExtrusionDirectionsAndInsertGridsAsEzdxfReadsThem) {
    const std::string python = EzdxfPython();
    if (python.empty()) GTEST_SKIP() << "ezdxf is not installed (Debian package python3-ezdxf)";
    using dxftest::Groups;
    auto solid = [](std::vector<double> at, std::vector<double> extrusion) {
        Groups g{{0, "SOLID"}, {8, "S"}};
        const double corners[4][2] = {{0, 0}, {2, 0}, {0, 1}, {2, 1}};
        for (int k = 0; k < 4; ++k)
            g.insert(g.end(), {{10 + k, dxftest::Num(at[0] + corners[k][0])},
                               {20 + k, dxftest::Num(at[1] + corners[k][1])},
                               {30 + k, dxftest::Num(at[2])}});
        g.insert(g.end(), {{210, dxftest::Num(extrusion[0])},
                           {220, dxftest::Num(extrusion[1])},
                           {230, dxftest::Num(extrusion[2])}});
        return g;
    };
    auto turned = [](Groups insert, std::vector<double> extrusion, Groups more = {}) {
        insert.insert(insert.end(), {{210, dxftest::Num(extrusion[0])},
                                     {220, dxftest::Num(extrusion[1])},
                                     {230, dxftest::Num(extrusion[2])}});
        insert.insert(insert.end(), more.begin(), more.end());
        return insert;
    };
    // A block of one quadrangle and one triangle off its base point; a block holding a turned
    // instance of the first.
    const Groups blocks = dxftest::Join(
        {dxftest::Block("PART",
                        dxftest::Join({dxftest::Face("0", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0.5}, {0, 1, 0}}),
                                       dxftest::Face("0", {{2, 0, 1}, {3, 0, 1}, {2, 2, 1}, {2, 2, 1}})}),
                        {0.5, 0.25, 0}),
         dxftest::Block("HOLDER", turned(dxftest::Insert("PART", {1, 2, 3}, {2, 2, 2}, 30), {0, 1, 1}),
                        {1, 0, 0})});
    const Groups entities = dxftest::Join({
        solid({6, 0, 2}, {0, 0, -1}),
        solid({1, 2, 3}, {1, 2, 3}),
        solid({-1, 4, 0}, {0.001, 0.002, 1}),  // within 1/64 of the vertical: the other axis rule
        turned(dxftest::Insert("PART", {4, 5, 6}, {}, 0), {0, 0, -1}),
        turned(dxftest::Insert("PART", {1, -2, 3}, {2, 3, 0.5}, 40), {1, 1, 1}),
        // A grid of 3 columns and 2 rows, turned with its instance; a grid whose row spacing is
        // 0 fills each place once.
        turned(dxftest::Insert("PART", {10, 0, 0}, {}, 90), {0, 0, 1},
               {{70, "3"}, {71, "2"}, {44, "4"}, {45, "-5"}}),
        turned(dxftest::Insert("PART", {0, 30, 0}, {}, 0), {0, 0, -1}, {{70, "2"}, {71, "4"}, {44, "3"}}),
        turned(dxftest::Insert("HOLDER", {-5, -5, 1}, {0.5, 0.5, 0.5}, 15), {-1, 0, 0}),
        // Flattened by its z scale: its points carry the placement.
        turned(dxftest::Insert("PART", {3, 3, 3}, {1, 1, 0}, 20), {0, 1, 0}),
    });
    const std::string text = dxftest::File(entities, {}, blocks);
    const fs::path file = TempFile("dxf_interop_extrusion");
    std::ofstream(file) << text;
    const EzdxfFaces theirs = ReadWithEzdxf(python, file);
    // 3 solids, 2 faces for each of 2 + 6 + 2 + 1 + 1 instances.
    ASSERT_EQ(theirs.faces.size(), 3u + 2u * 12u);
    for (int mode : {0, 1, 2}) {
        dxftest::Reading r;
        ASSERT_TRUE(r.Read(text, mode, false));
        std::vector<Face> ours = OurFaces(r);
        ASSERT_EQ(ours.size(), theirs.faces.size()) << "mode " << mode;
        // The same faces, corner by corner in the same order (so facing the same way).
        std::vector<bool> matched(ours.size(), false);
        for (const Face& face : theirs.faces) {
            bool found = false;
            for (size_t k = 0; k < ours.size() && !found; ++k) {
                if (matched[k] || ours[k].size() != face.size()) continue;
                bool same = true;
                for (size_t c = 0; c < face.size() && same; ++c)
                    for (int a = 0; a < 3; ++a)
                        same = same && std::fabs(ours[k][c][a] - face[c][a]) < 1e-9;
                if (same) matched[k] = found = true;
            }
            EXPECT_TRUE(found) << "mode " << mode << ": a face of ezdxf's starting at " << face[0][0] << " "
                               << face[0][1] << " " << face[0][2] << " is not ours";
        }
    }
    fs::remove(file);
}

TEST(dxf_interop, EzdxfReadsEveryCoordinateAsTheSameDouble) {
    const std::string python = EzdxfPython();
    if (python.empty()) GTEST_SKIP() << "ezdxf is not installed (Debian package python3-ezdxf)";
    // Values six decimals lose or change: tiny ones, ones past the sixth decimal, huge ones, the
    // smallest subnormal.
    const std::vector<std::vector<double>> points = {
        {1.2e-6, 3e-7, 0.30000000000000004}, {-4.9e-7, 123456.78901234567, 1e-300}, {0.1, -2.5e20, 5e-324}};
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaNode* node = manager.CreateNode("Small");
    VOxaMesh* mesh = manager.CreateMesh();
    mesh->InitControlPoints(3);
    for (int i = 0; i < 3; ++i)
        mesh->GetControlPoints()[i] =
            VgeTVector(points[(size_t)i][0], points[(size_t)i][1], points[(size_t)i][2], 1);
    mesh->BeginPolygon();
    for (int i = 0; i < 3; ++i)
        mesh->AddPolygonVertex(i);
    mesh->EndPolygon();
    node->SetNodeAttribute(mesh);
    scene->GetRootNode()->AddChild(node);
    const fs::path written = TempFile("dxf_interop_precision");
    VOxaWriterDxf writer(&manager);
    std::unique_ptr<VStreamOptions> options(writer.GetWriteOptions());
    ASSERT_TRUE(writer.FileCreate(written.string().c_str()));
    ASSERT_TRUE(writer.Write(scene, options.get()));
    ASSERT_TRUE(writer.FileClose());
    const fs::path probe =
        fs::temp_directory_path() / ("dxf_interop_exact_" + std::to_string(::getpid()) + ".py");
    // repr gives the shortest text of the double ezdxf holds, which strtod reads back exactly.
    std::ofstream(probe) << R"(
import sys, ezdxf
doc = ezdxf.readfile(sys.argv[1])
for e in doc.modelspace():
    for v in e.vertices:
        if v.is_poly_face_mesh_vertex: print(repr(v.dxf.location.x), repr(v.dxf.location.y), repr(v.dxf.location.z))
)";
    corpustest::RunResult r = corpustest::RunProgram({python, probe.string(), written.string()});
    fs::remove(probe);
    ASSERT_EQ(r.status, 0) << r.output;
    const std::vector<std::string> lines = Lines(r.output);
    ASSERT_EQ(lines.size(), points.size()) << r.output;
    for (size_t i = 0; i < points.size(); ++i) {
        std::istringstream in(lines[i]);
        std::string x, y, z;
        in >> x >> y >> z;
        // DXF axes: X = x, Y = -z, Z = y.
        EXPECT_EQ(std::strtod(x.c_str(), nullptr), points[i][0]) << lines[i];
        EXPECT_EQ(std::strtod(y.c_str(), nullptr), -points[i][2]) << lines[i];
        EXPECT_EQ(std::strtod(z.c_str(), nullptr), points[i][1]) << lines[i];
    }
    fs::remove(written);
}

namespace {

// ezdxf's values of thick entities and meshes, in world coordinates (DXF axes), one line each:
// "<kind> <thickness> <extrusion x y z> <closed> | x y z | x y z ..." for a LINE (kind L, its two
// ends), a SOLID or TRACE (S, its outline) and a 3D polyline (P, its vertices); "M | x y z ... # i j k ..."
// for a MESH (its vertices, then each face's indices after a '#').
const char kThick[] = R"(
import sys, ezdxf
doc = ezdxf.readfile(sys.argv[1])
def pts(ps): return '|'.join('%.17g %.17g %.17g' % (p[0], p[1], p[2]) for p in ps)
for e in doc.modelspace():
    t = e.dxftype()
    if t == 'MESH':
        print('M|' + pts(e.vertices) + '#' + '#'.join(' '.join(str(i) for i in f) for f in e.faces))
        continue
    z = e.dxf.extrusion
    head = ' %.17g %.17g %.17g %.17g ' % (e.dxf.thickness, z[0], z[1], z[2])
    if t == 'LINE':
        print('L' + head + '0|' + pts([e.dxf.start, e.dxf.end]))
    elif t in ('SOLID', 'TRACE'):
        v = [e.dxf.vtx0, e.dxf.vtx1, e.dxf.vtx3, e.dxf.vtx2]
        if tuple(v[3]) == tuple(v[2]): v = v[:3]
        print('S' + head + '1|' + pts(e.ocs().points_to_wcs(v)))
    elif t == 'POLYLINE':
        print('P' + head + ('1' if e.is_closed else '0') + '|' + pts(v.dxf.location for v in e.vertices))
)";

using Corners = std::vector<std::vector<double>>;

Corners ParsePoints(std::istringstream& in) {
    Corners out;
    std::string part;
    while (std::getline(in, part, '|')) {
        std::istringstream p(part);
        std::vector<double> v(3);
        p >> v[0] >> v[1] >> v[2];
        out.push_back(v);
    }
    return out;
}

// True when `b` is `a` from some corner on, in the same turning or (with `either`) reversed.
bool SameFace(const Face& a, const Face& b, bool either) {
    if (a.size() != b.size()) return false;
    const size_t n = a.size();
    for (int direction : {1, -1}) {
        if (direction < 0 && !either) break;
        for (size_t s = 0; s < n; ++s) {
            bool same = true;
            for (size_t k = 0; k < n && same; ++k) {
                const Face::value_type& q = b[(s + n + direction * (long)k) % n];
                for (int x = 0; x < 3; ++x)
                    same = same && std::fabs(a[k][x] - q[x]) < 1e-9;
            }
            if (same) return true;
        }
    }
    return false;
}

}  // namespace

TEST(dxf_interop, ThicknessAndMeshesAsEzdxfReadsThem) {
    const std::string python = EzdxfPython();
    if (python.empty()) GTEST_SKIP() << "ezdxf is not installed (Debian package python3-ezdxf)";
    using dxftest::Groups;
    auto thick = [](Groups g, double thickness, std::vector<double> extrusion = {}) {
        g.push_back({39, dxftest::Num(thickness)});
        if (!extrusion.empty())
            g.insert(g.end(), {{210, dxftest::Num(extrusion[0])},
                               {220, dxftest::Num(extrusion[1])},
                               {230, dxftest::Num(extrusion[2])}});
        return g;
    };
    Groups solid{{0, "SOLID"}, {8, "S"},  {10, "1"}, {20, "0"}, {30, "3"}, {11, "3"}, {21, "0"},
                 {31, "3"},    {12, "1"}, {22, "1"}, {32, "3"}, {13, "3"}, {23, "1"}, {33, "3"}};
    Groups trace{{0, "TRACE"}, {8, "S"},  {10, "5"}, {20, "0"}, {30, "0"}, {11, "6"}, {21, "0"},
                 {31, "0"},    {12, "5"}, {22, "2"}, {32, "0"}, {13, "5"}, {23, "2"}, {33, "0"}};
    Groups polyline = dxftest::Polyline3D("P", {{0, 0, 0}, {2, 0, 1}, {2, 3, 1}}, true);
    polyline.insert(polyline.begin() + 4, {39, "4"});
    // A MESH of four vertices, a quadrangle and a triangle, with a subdivision level, edges,
    // creases and an entity group 92 (proxy graphics size) before its own groups.
    const Groups mesh{
        {0, "MESH"},  {5, "A1"}, {100, "AcDbEntity"}, {8, "M"},  {92, "0"}, {100, "AcDbSubDMesh"},
        {71, "2"},    {72, "0"}, {91, "2"},           {92, "4"}, {10, "0"}, {20, "0"},
        {30, "0"},    {10, "1"}, {20, "0"},           {30, "0"}, {10, "1"}, {20, "1"},
        {30, "0.5"},  {10, "0"}, {20, "1"},           {30, "0"}, {93, "9"}, {90, "4"},
        {90, "0"},    {90, "1"}, {90, "2"},           {90, "3"}, {90, "3"}, {90, "0"},
        {90, "2"},    {90, "1"}, {94, "1"},           {90, "0"}, {90, "1"}, {95, "1"},
        {140, "0.5"}, {90, "0"}};
    const Groups entities =
        dxftest::Join({thick(dxftest::Line("L", {0, 0, 0}, {10, 0, 0}), 5),
                       thick(dxftest::Line("L", {1, 2, 3}, {4, 6, 3}), 2, {0, 1, 1}),
                       thick(solid, 2, {0, 0, -1}), thick(trace, -1.5, {1, 2, 2}), polyline, mesh});
    Groups all = dxftest::Section("HEADER", {{9, "$ACADVER"}, {1, "AC1027"}});
    all = dxftest::Join({all, dxftest::Section("ENTITIES", entities)});
    all.push_back({0, "EOF"});
    const std::string text = dxftest::Text(all);
    const fs::path file = TempFile("dxf_interop_thick");
    std::ofstream(file) << text;
    const fs::path probe =
        fs::temp_directory_path() / ("dxf_interop_thick_" + std::to_string(::getpid()) + ".py");
    std::ofstream(probe) << kThick;
    corpustest::RunResult run = corpustest::RunProgram({python, probe.string(), file.string()});
    fs::remove(probe);
    ASSERT_EQ(run.status, 0) << run.output;

    // The faces worked out from ezdxf's values: an entity moves by its thickness along its unit
    // extrusion direction; a LINE sweeps one quadrangle, a closed outline a prism (its two ends
    // and a quadrangle per edge), a polyline a quadrangle per segment; a MESH gives its faces.
    std::vector<Face> expected;
    std::vector<bool> solidFaces;  // faces of prisms, which must face outwards
    double volume = 0.0;           // the prisms' volume
    for (const std::string& line : Lines(run.output)) {
        std::istringstream in(line);
        std::string head;
        std::getline(in, head, '|');
        if (head == "M") {
            std::string rest = line.substr(2);
            const size_t hash = rest.find('#');
            std::istringstream points(rest.substr(0, hash));
            const Corners vertices = ParsePoints(points);
            std::istringstream faces(rest.substr(hash + 1));
            for (std::string f; std::getline(faces, f, '#');) {
                std::istringstream indices(f);
                Face face;
                for (int i; indices >> i;)
                    face.push_back(vertices[i]);
                expected.push_back(face);
                solidFaces.push_back(false);
            }
            continue;
        }
        std::istringstream h(head.substr(2));
        double t, z[3];
        int closed;
        h >> t >> z[0] >> z[1] >> z[2] >> closed;
        const Corners c = ParsePoints(in);
        const double length = std::sqrt(z[0] * z[0] + z[1] * z[1] + z[2] * z[2]);
        auto moved = [&](const std::vector<double>& p) {
            return std::vector<double>{p[0] + t * z[0] / length, p[1] + t * z[1] / length,
                                       p[2] + t * z[2] / length};
        };
        const size_t n = c.size();
        const bool outline = head[0] == 'S';
        for (size_t k = 0; k + (closed ? 0 : 1) < n; ++k) {
            const auto& a = c[k];
            const auto& b = c[(k + 1) % n];
            expected.push_back({a, b, moved(b), moved(a)});
            solidFaces.push_back(outline);
        }
        if (outline) {
            Face top;
            for (const auto& p : c)
                top.push_back(moved(p));
            expected.push_back(c);
            expected.push_back(top);
            solidFaces.push_back(true);
            solidFaces.push_back(true);
            // Area of the outline times the thickness along its normal.
            double normal[3] = {0, 0, 0};
            for (size_t k = 0; k < n; ++k) {
                const auto& p = c[k];
                const auto& q = c[(k + 1) % n];
                normal[0] += (p[1] - q[1]) * (p[2] + q[2]);
                normal[1] += (p[2] - q[2]) * (p[0] + q[0]);
                normal[2] += (p[0] - q[0]) * (p[1] + q[1]);
            }
            volume += std::fabs(0.5 * t * (normal[0] * z[0] + normal[1] * z[1] + normal[2] * z[2]) / length);
        }
    }
    ASSERT_EQ(expected.size(), 1u + 1u + 6u + 5u + 3u + 2u);
    for (int mode : {0, 1, 2}) {
        dxftest::Reading r;
        ASSERT_TRUE(r.Read(text, mode, false)) << r.reader.GetMessageText().Buffer();
        const std::vector<Face> ours = OurFaces(r);
        ASSERT_EQ(ours.size(), expected.size()) << "mode " << mode;
        std::vector<bool> matched(ours.size(), false);
        std::vector<Face> prisms;
        for (size_t e = 0; e < expected.size(); ++e) {
            bool found = false;
            for (size_t k = 0; k < ours.size() && !found; ++k) {
                // Sides and ends of a prism may turn either way here (their facing is checked by
                // the volume); the rest turn as ezdxf's corners do.
                if (matched[k] || !SameFace(ours[k], expected[e], solidFaces[e])) continue;
                matched[k] = found = true;
                if (solidFaces[e]) prisms.push_back(ours[k]);
            }
            EXPECT_TRUE(found) << "mode " << mode << ": face " << e << " starting at " << expected[e][0][0]
                               << " " << expected[e][0][1] << " " << expected[e][0][2] << " is not ours";
        }
        // Both prisms closed and facing outwards: their faces bound their volume, positively.
        EXPECT_NEAR(SignedVolume(prisms), volume, 1e-9) << "mode " << mode;
    }
    fs::remove(file);
}

namespace {

// ezdxf's model space of a file: per face its 24-bit colour ("rgb R G B") or else its colour
// number ("aci N"), sorted; the least and greatest corner; the header's extents when present.
const char kModelProbe[] = R"(
import sys, ezdxf
doc = ezdxf.readfile(sys.argv[1])
cols = []; pts = []
def col(e):
    return 'rgb %d %d %d' % e.rgb if e.rgb is not None else 'aci %d' % e.dxf.color
for e in doc.modelspace():
    t = e.dxftype()
    if t == '3DFACE':
        pts += [e.dxf.vtx0, e.dxf.vtx1, e.dxf.vtx2, e.dxf.vtx3]; cols.append(col(e))
    elif t == 'POLYLINE':
        for v in e.vertices:
            if v.is_face_record: cols.append(col(v))
            else: pts.append(v.dxf.location)
    else:
        print('OTHER', t)
print('COLOURS ' + ', '.join(sorted(cols)))
if pts:
    print('LOW %.9g %.9g %.9g' % tuple(min(p[a] for p in pts) for a in range(3)))
    print('HIGH %.9g %.9g %.9g' % tuple(max(p[a] for p in pts) for a in range(3)))
for name, label in (('$EXTMIN', 'LOW'), ('$EXTMAX', 'HIGH')):
    if name in doc.header: print('EXT' + label + ' %.9g %.9g %.9g' % tuple(doc.header[name]))
a = doc.audit()
if a.has_errors or a.has_fixes: print('AUDIT', [str(x.message) for x in a.errors + a.fixes])
)";

}  // namespace

// A drawing with layout sheets (entities of group 67 = 1) beside its model, one face with a
// 24-bit colour no colour number holds: in every grouping mode our file holds what ezdxf finds in
// the model space, with the same colours, and its header frames the model.
TEST(dxf_interop, LayoutSheetsLeftOutTrueColoursKeptExtentsWritten) {
    const std::string python = EzdxfPython();
    if (python.empty()) GTEST_SKIP() << "ezdxf is not installed (Debian package python3-ezdxf)";
    using dxftest::Groups;
    Groups coloured = dxftest::Face("A", {{0, -1, 0.5}, {1, 0, 0}, {1, 1, 0}, {1, 1, 0}}, 1);
    coloured.push_back({420, std::to_string(0x123456)});
    Groups sheetFace = dxftest::Face("A", {{0, 0, 90}, {10, 0, 90}, {10, 10, 90}, {10, 10, 90}});
    sheetFace.insert(sheetFace.begin() + 1, {67, "1"});
    Groups sheetMesh =
        dxftest::Polyface("FRAME", {{-50, -50, 0}, {50, -50, 0}, {50, 50, -7}}, {{1, 2, 3}}, 5);
    sheetMesh.insert(sheetMesh.begin() + 1, {67, "1"});
    Groups sheetInsert = dxftest::Insert("BLK", {100, 100, 100});
    sheetInsert.insert(sheetInsert.begin() + 1, {67, "1"});
    const std::string source = dxftest::File(
        dxftest::Join({coloured, sheetFace, sheetMesh, sheetInsert,
                       dxftest::Face("B", {{2, 0, 0}, {3, 0, 0}, {3, 1, 2}, {3, 1, 2}}, 3)}),
        {}, dxftest::Block("BLK", dxftest::Face("0", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 1, 0}}, 2)));
    const std::string id = std::to_string(::getpid());
    const fs::path in = fs::temp_directory_path() / ("dxf_interop_sheets_" + id + ".dxf");
    const fs::path probe = fs::temp_directory_path() / ("dxf_interop_sheets_" + id + ".py");
    std::ofstream(in) << source;
    std::ofstream(probe) << kModelProbe;
    corpustest::RunResult expected = corpustest::RunProgram({python, probe.string(), in.string()});
    ASSERT_EQ(expected.status, 0) << expected.output;
    const std::vector<std::string> want = Lines(expected.output);
    ASSERT_NE(std::find(want.begin(), want.end(), "COLOURS aci 3, rgb 18 52 86"), want.end())
        << expected.output;
    auto value = [](const std::vector<std::string>& lines, const std::string& label) {
        for (const std::string& line : lines)
            if (line.rfind(label + " ", 0) == 0) return line.substr(label.size() + 1);
        return std::string("(none)");
    };
    for (int mode : {dxftest::kLayer, dxftest::kEntity, dxftest::kBlock}) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        dxftest::Reading r;
        ASSERT_TRUE(r.Read(source, mode));
        EXPECT_NE(r.reader.GetMessageText().Find("3 entities of layout sheets"), -1)
            << r.reader.GetMessageText().Buffer();
        const fs::path out = fs::temp_directory_path() / ("dxf_interop_sheets_out_" + id + ".dxf");
        {
            VOxaWriterDxf writer(&r.manager);
            std::unique_ptr<VStreamOptions> options(writer.GetWriteOptions());
            ASSERT_TRUE(writer.FileCreate(out.string().c_str()));
            ASSERT_TRUE(writer.Write(r.scene, options.get()));
            ASSERT_TRUE(writer.FileClose());
        }
        corpustest::RunResult got = corpustest::RunProgram({python, probe.string(), out.string()});
        ASSERT_EQ(got.status, 0) << got.output;
        const std::vector<std::string> lines = Lines(got.output);
        EXPECT_EQ(value(lines, "COLOURS"), value(want, "COLOURS")) << got.output;
        EXPECT_EQ(value(lines, "LOW"), value(want, "LOW")) << got.output;
        EXPECT_EQ(value(lines, "HIGH"), value(want, "HIGH")) << got.output;
        EXPECT_EQ(value(lines, "EXTLOW"), value(want, "LOW")) << got.output;
        EXPECT_EQ(value(lines, "EXTHIGH"), value(want, "HIGH")) << got.output;
        EXPECT_EQ(value(lines, "AUDIT"), "(none)") << got.output;
        fs::remove(out);
    }
    fs::remove(probe);
    fs::remove(in);
}

namespace {

// ezdxf's hidden edges of every face of the model space, each as its two ends (in name order),
// sorted: a 3DFACE's by its flags, a polyface face record's by its negative indices.
const char kHiddenEdgesProbe[] = R"(
import sys, ezdxf
doc = ezdxf.readfile(sys.argv[1])
def pt(p): return '%.6g %.6g %.6g' % (p[0] + 0.0, p[1] + 0.0, p[2] + 0.0)
edges = []
def add(a, b): edges.append(' / '.join(sorted([pt(a), pt(b)])))
for e in doc.modelspace():
    if e.dxftype() == '3DFACE':
        v = [e.dxf.vtx0, e.dxf.vtx1, e.dxf.vtx2, e.dxf.vtx3]
        for j, shown in enumerate(e.get_edges_visibility()):
            if not shown: add(v[j], v[(j + 1) % 4])
    elif e.dxftype() == 'POLYLINE':
        vs = [v for v in e.vertices]
        points = [v.dxf.location for v in vs if not v.is_face_record]
        for f in vs:
            if not f.is_face_record: continue
            k = [f.dxf.get(n, 0) for n in ('vtx0', 'vtx1', 'vtx2', 'vtx3')]
            k = [i for i in k if i != 0]
            for j, i in enumerate(k):
                if i < 0: add(points[-i - 1], points[abs(k[(j + 1) % len(k)]) - 1])
print('HIDDEN ' + ', '.join(sorted(edges)))
)";

// Writes the scene as DXF (cut into triangles or not) or as 3DS.
void WriteDxf(VOxaSdkManager& manager, VOxaScene* scene, const fs::path& path, bool triangulate) {
    VOxaWriterDxf writer(&manager);
    std::unique_ptr<VStreamOptions> options(writer.GetWriteOptions());
    static_cast<VStreamOptionsDxf*>(options.get())
        ->SetOptionValue(VStreamOptionsDxf::eFORCE_TRIANGULATION, triangulate ? 1 : 0);
    ASSERT_TRUE(writer.FileCreate(path.string().c_str()));
    ASSERT_TRUE(writer.Write(scene, options.get()));
    ASSERT_TRUE(writer.FileClose());
}

void Write3ds(VOxaSdkManager& manager, VOxaScene* scene, const fs::path& path) {
    VOxaWriter3DS writer(&manager);
    std::unique_ptr<VStreamOptions> options(writer.GetWriteOptions());
    ASSERT_TRUE(writer.FileCreate(path.string().c_str()));
    ASSERT_TRUE(writer.Write(scene, options.get()));
    ASSERT_TRUE(writer.FileClose());
}

// The hidden edges ezdxf reads in a file, as the probe prints them.
std::string EzdxfHiddenEdges(const std::string& python, const fs::path& probe, const fs::path& path) {
    corpustest::RunResult got = corpustest::RunProgram({python, probe.string(), path.string()});
    EXPECT_EQ(got.status, 0) << got.output;
    return got.output;
}

#ifdef OXA_HAVE_LIB3DS
// lib3ds's hidden edges of every face (the edges whose flag bit is clear: 4 the first, 2 the
// second, 1 the third), in the probe's form.
std::string Lib3dsHiddenEdges(const fs::path& path) {
    Lib3dsFile* file = lib3ds_file_load(path.string().c_str());
    EXPECT_NE(file, nullptr);
    if (!file) return "";
    std::vector<std::string> hidden;
    auto pt = [](const float* p) {
        char text[96];
        std::snprintf(text, sizeof text, "%.6g %.6g %.6g", p[0] + 0.0, p[1] + 0.0, p[2] + 0.0);
        return std::string(text);
    };
    for (Lib3dsMesh* m = file->meshes; m; m = m->next) {
        for (unsigned f = 0; f < m->faces; ++f) {
            const Lib3dsFace& face = m->faceL[f];
            for (int j = 0; j < 3; ++j) {
                if (face.flags & (4 >> j)) continue;
                std::string a = pt(m->pointL[face.points[j]].pos),
                            b = pt(m->pointL[face.points[(j + 1) % 3]].pos);
                if (b < a) std::swap(a, b);
                hidden.push_back(a + " / " + b);
            }
        }
    }
    lib3ds_file_free(file);
    std::sort(hidden.begin(), hidden.end());
    std::string joined;
    for (const std::string& h : hidden)
        joined += (joined.empty() ? "" : ", ") + h;
    return "HIDDEN " + joined + "\n";
}
#endif

// The faces of the hidden-edge tests: a triangle hiding its second edge, a quadrangle hiding
// its first and third, a triangle hiding its closing edge (the fourth of the face), a triangle
// showing all, and a polyface with a triangle hiding the edge from its second vertex and a
// quadrangle hiding two.
std::string HiddenEdgesSource() {
    using dxftest::Groups;
    Groups triangle = dxftest::Face("A", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 1, 0}});
    triangle.push_back({70, "2"});
    Groups quad = dxftest::Face("A", {{2, 0, 0}, {3, 0, 0}, {3, 1, 0}, {2, 1, 0}});
    quad.push_back({70, "5"});
    Groups closing = dxftest::Face("A", {{0, 0, 3}, {1, 0, 3}, {0, 1, 3}, {0, 1, 3}});
    closing.push_back({70, "8"});
    const Groups plain = dxftest::Face("A", {{0, 0, 4}, {1, 0, 4}, {0, 1, 4}, {0, 1, 4}});
    const Groups mesh = dxftest::Polyface("B", {{0, 0, 5}, {1, 0, 5}, {1, 1, 5}, {0, 1, 5}, {0, 0, 6}},
                                          {{1, -2, 3}, {-1, 3, 4, -5}});
    return dxftest::File(dxftest::Join({triangle, quad, closing, plain, mesh}));
}

}  // namespace

#ifdef OXA_HAVE_LIB3DS
TEST(dxf_interop, HiddenEdgesGoInto3dsEdgeFlagsAndBack) {
    const std::string python = EzdxfPython();
    if (python.empty()) GTEST_SKIP() << "ezdxf is not installed (Debian package python3-ezdxf)";
    const std::string id = std::to_string(::getpid());
    const fs::path probe = fs::temp_directory_path() / ("dxf_interop_edges3_" + id + ".py");
    const fs::path dxf = fs::temp_directory_path() / ("dxf_interop_edges3_" + id + ".dxf");
    const fs::path tds = fs::temp_directory_path() / ("dxf_interop_edges3_" + id + ".3ds");
    std::ofstream(probe) << kHiddenEdgesProbe;
    {
        // DXF -> DXF keeps the source's hidden edges; cut into triangles, the DXF and the 3DS
        // written from the same scene hide the same edges: the source's and the cuts.
        const fs::path source = fs::temp_directory_path() / ("dxf_interop_edges0_" + id + ".dxf");
        std::ofstream(source, std::ios::binary) << HiddenEdgesSource();
        dxftest::Reading r;
        ASSERT_TRUE(r.Read(HiddenEdgesSource()));
        WriteDxf(r.manager, r.scene, dxf, false);
        const std::string want = EzdxfHiddenEdges(python, probe, source);
        EXPECT_EQ(std::count(want.begin(), want.end(), '/'), 7) << want;
        EXPECT_EQ(EzdxfHiddenEdges(python, probe, dxf), want);
        WriteDxf(r.manager, r.scene, dxf, true);
        Write3ds(r.manager, r.scene, tds);
        const std::string got = Lib3dsHiddenEdges(tds);
        EXPECT_EQ(std::count(got.begin(), got.end(), '/'), 11) << got;
        EXPECT_EQ(EzdxfHiddenEdges(python, probe, dxf), got);
        fs::remove(source);
    }
    // A quadrangle hiding each one of its edges: lib3ds sees that edge hidden and the cut hidden in
    // both triangles, and nothing else.
    const std::vector<std::vector<double>> square = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    for (int edge = 0; edge < 4; ++edge) {
        SCOPED_TRACE("edge " + std::to_string(edge));
        dxftest::Groups face = dxftest::Face("Q", square);
        face.push_back({70, std::to_string(1 << edge)});
        dxftest::Reading r;
        ASSERT_TRUE(r.Read(dxftest::File(face)));
        Write3ds(r.manager, r.scene, tds);
        const std::string got = Lib3dsHiddenEdges(tds);
        ASSERT_EQ(std::count(got.begin(), got.end(), '/'), 3) << got;
        auto name = [&](int k) {
            char text[64];
            std::snprintf(text, sizeof text, "%g %g %g", square[(size_t)k][0], square[(size_t)k][1],
                          square[(size_t)k][2]);
            return std::string(text);
        };
        std::string a = name(edge), b = name((edge + 1) % 4);
        if (b < a) std::swap(a, b);
        EXPECT_NE(got.find(a + " / " + b), std::string::npos) << got;
        // The other two are the one diagonal, twice.
        const bool first = got.find("0 0 0 / 1 1 0, 0 0 0 / 1 1 0") != std::string::npos;
        const bool second = got.find("0 1 0 / 1 0 0, 0 1 0 / 1 0 0") != std::string::npos;
        EXPECT_TRUE(first != second) << got;
    }
    // Triangles of every flag word: lib3ds reads the edges each word hides.
    {
        VOxaSdkManager manager;
        VOxaScene* scene = manager.CreateScene();
        VOxaNode* node = manager.CreateNode("Flags");
        VOxaMesh* mesh = manager.CreateMesh();
        mesh->InitControlPoints(24);
        for (int f = 0; f < 8; ++f) {
            mesh->GetControlPoints()[f * 3] = VgeTVector(0, 0, f, 1);
            mesh->GetControlPoints()[f * 3 + 1] = VgeTVector(1, 0, f, 1);
            mesh->GetControlPoints()[f * 3 + 2] = VgeTVector(0, 1, f, 1);
            mesh->BeginPolygon(-1, -1, voxa_extras::FaceFlagsGroup3ds((uint16_t)f));
            for (int k = 0; k < 3; ++k)
                mesh->AddPolygonVertex(f * 3 + k);
            mesh->EndPolygon();
        }
        node->SetNodeAttribute(mesh);
        scene->GetRootNode()->AddChild(node);
        Write3ds(manager, scene, tds);
        const std::string want = Lib3dsHiddenEdges(tds);
        // Twelve hidden edges: each of the three in four of the eight words.
        ASSERT_EQ(std::count(want.begin(), want.end(), '/'), 12) << want;
        // 3DS -> DXF: the polyface hides the same edges.
        VOxaScene* again = manager.CreateScene();
        VOxaReader3DS reader(&manager);
        VStreamOptions* options = reader.GetReadOptions();
        ASSERT_TRUE(reader.FileOpen(tds.string().c_str()) && reader.Read(again, options));
        reader.FileClose();
        options->Destroy();
        WriteDxf(manager, again, dxf, false);
        EXPECT_EQ(EzdxfHiddenEdges(python, probe, dxf), want);
    }
    fs::remove(tds);
    fs::remove(dxf);
    fs::remove(probe);
}

// lib3ds's normal at every face corner of a 3DS file, each "x y z: nx ny nz" with the point
// measured in the file's extent from its least corner (a trip through DXF writes centimetres),
// sorted; and the file's vertex count.
std::vector<std::string> Lib3dsShading(const fs::path& path, long* vertices = nullptr) {
    std::vector<std::string> out;
    Lib3dsFile* file = lib3ds_file_load(path.string().c_str());
    EXPECT_NE(file, nullptr) << path;
    if (!file) return out;
    double low[3] = {1e300, 1e300, 1e300}, high[3] = {-1e300, -1e300, -1e300};
    if (vertices) *vertices = 0;
    for (Lib3dsMesh* m = file->meshes; m; m = m->next) {
        if (vertices) *vertices += (long)m->points;
        for (Lib3dsDword i = 0; i < m->points; ++i)
            for (int a = 0; a < 3; ++a) {
                low[a] = std::min(low[a], (double)m->pointL[i].pos[a]);
                high[a] = std::max(high[a], (double)m->pointL[i].pos[a]);
            }
    }
    const double extent = std::max({high[0] - low[0], high[1] - low[1], high[2] - low[2], 1e-30});
    for (Lib3dsMesh* m = file->meshes; m; m = m->next) {
        std::vector<Lib3dsVector> normals((size_t)m->faces * 3 + 3);
        lib3ds_mesh_calculate_normals(m, normals.data());
        for (Lib3dsDword f = 0; f < m->faces; ++f)
            for (int k = 0; k < 3; ++k) {
                const float* p = m->pointL[m->faceL[f].points[k]].pos;
                const float* n = normals[(size_t)f * 3 + (size_t)k];
                char text[128];
                std::snprintf(text, sizeof text, "%.3f %.3f %.3f: %.2f %.2f %.2f",
                              (p[0] - low[0]) / extent + 0.0, (p[1] - low[1]) / extent + 0.0,
                              (p[2] - low[2]) / extent + 0.0, n[0] + 0.0, n[1] + 0.0, n[2] + 0.0);
                out.push_back(text);
            }
    }
    lib3ds_file_free(file);
    std::sort(out.begin(), out.end());
    return out;
}

TEST(dxf_interop, ShadingHoldsThroughDxfAndADxfBoxShowsItsEdges) {
    const std::string id = std::to_string(::getpid());
    const fs::path source = fs::temp_directory_path() / ("dxf_interop_shade_" + id + ".3ds");
    const fs::path dxf = fs::temp_directory_path() / ("dxf_interop_shade_" + id + ".dxf");
    const fs::path back = fs::temp_directory_path() / ("dxf_interop_shade_back_" + id + ".3ds");
    const double box[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                              {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
    const std::vector<std::vector<int>> boxFaces = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                                    {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
    // Meshes whose normals give their shading, written to 3DS, then 3DS -> DXF -> 3DS: lib3ds
    // shades the result as the source, with the source's vertices.
    enum Kind { kFlatBox, kSmoothBox, kSeamedCylinder };
    for (Kind kind : {kFlatBox, kSmoothBox, kSeamedCylinder}) {
        SCOPED_TRACE("mesh " + std::to_string(kind));
        VOxaSdkManager manager;
        VOxaScene* scene = manager.CreateScene();
        VOxaMesh* mesh = manager.CreateMesh();
        std::vector<std::vector<int>> faces = boxFaces;
        const int segments = 8;
        if (kind == kSeamedCylinder) {
            // Eight sides round the y axis, smooth but for the seam where the last meets the first.
            faces.clear();
            mesh->InitControlPoints(segments * 2);
            for (int i = 0; i < segments; ++i) {
                const double a = 2 * M_PI * i / segments;
                mesh->GetControlPoints()[i] = VgeTVector(std::cos(a), 0, std::sin(a), 1);
                mesh->GetControlPoints()[i + segments] = VgeTVector(std::cos(a), 2, std::sin(a), 1);
                const int j = (i + 1) % segments;
                faces.push_back({i, i + segments, j + segments, j});
            }
        } else {
            mesh->InitControlPoints(8);
            for (int i = 0; i < 8; ++i)
                mesh->GetControlPoints()[i] = VgeTVector(box[i][0], box[i][1], box[i][2], 1);
        }
        for (const auto& f : faces) {
            mesh->BeginPolygon();
            for (int i : f)
                mesh->AddPolygonVertex(i);
            mesh->EndPolygon();
        }
        mesh->InitNormals((int)faces.size() * 4);
        VgeTVector* normals = mesh->GetNormals();
        for (size_t f = 0; f < faces.size(); ++f)
            for (int k = 0; k < 4; ++k) {
                const VgeTVector p = mesh->GetControlPoints()[faces[f][(size_t)k]];
                const VgeTVector& a = mesh->GetControlPoints()[faces[f][0]];
                const VgeTVector& b = mesh->GetControlPoints()[faces[f][1]];
                const VgeTVector& c = mesh->GetControlPoints()[faces[f][2]];
                VgeTVector n((b[1] - a[1]) * (c[2] - a[2]) - (b[2] - a[2]) * (c[1] - a[1]),
                             (b[2] - a[2]) * (c[0] - a[0]) - (b[0] - a[0]) * (c[2] - a[2]),
                             (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]), 0);
                const bool seam = faces[f][(size_t)k] % segments == 0 && (f == 0 || f + 1 == faces.size());
                if (kind == kSmoothBox) n = VgeTVector(p[0] - 0.5, p[1] - 0.5, p[2] - 0.5, 0);
                if (kind == kSeamedCylinder && !seam) n = VgeTVector(p[0], 0, p[2], 0);
                normals[f * 4 + (size_t)k] = n;
            }
        VOxaNode* node = manager.CreateNode("Shaded");
        node->SetNodeAttribute(mesh);
        scene->GetRootNode()->AddChild(node);
        Write3ds(manager, scene, source);
        VOxaSdkManager again;
        VOxaScene* read = again.CreateScene();
        VOxaReader3DS reader(&again);
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        ASSERT_TRUE(reader.FileOpen(source.string().c_str()) && reader.Read(read, options.get()));
        reader.FileClose();
        WriteDxf(again, read, dxf, true);
        dxftest::Reading r;
        std::ifstream in(dxf);
        ASSERT_TRUE(r.Read(std::string(std::istreambuf_iterator<char>(in), {})));
        Write3ds(r.manager, r.scene, back);
        long sourceVertices = 0, backVertices = 0;
        const std::vector<std::string> want = Lib3dsShading(source, &sourceVertices);
        EXPECT_EQ(Lib3dsShading(back, &backVertices), want);
        EXPECT_EQ(backVertices, sourceVertices);
    }
    // A red box of six 3DFACEs (as CAD programs write one, its corners shared) is shaded with its
    // edges: every corner takes its face's normal. Its OBJ material states the colour alone.
    {
        dxftest::Groups faces;
        for (const auto& f : boxFaces) {
            std::vector<std::vector<double>> corners;
            for (int i : f)
                corners.push_back({box[i][0], box[i][1], box[i][2]});
            const dxftest::Groups face = dxftest::Face("Box", corners, 1);
            faces.insert(faces.end(), face.begin(), face.end());
        }
        // A LINE along an edge (a face of no area) takes nothing from the faces' shading.
        const dxftest::Groups line = dxftest::Line("Box", {0, 0, 0}, {1, 0, 0});
        faces.insert(faces.end(), line.begin(), line.end());
        dxftest::Reading r;
        ASSERT_TRUE(r.Read(dxftest::File(faces)));
        Write3ds(r.manager, r.scene, back);
        long vertices = 0;
        const std::vector<std::string> got = Lib3dsShading(back, &vertices);
        EXPECT_EQ(vertices, 8);
        ASSERT_EQ(got.size(), 39u);
        for (const std::string& corner : got) {
            const std::string n = corner.substr(corner.find(':') + 2);
            EXPECT_TRUE(n == "1.00 0.00 0.00" || n == "-1.00 0.00 0.00" || n == "0.00 1.00 0.00" ||
                        n == "0.00 -1.00 0.00" || n == "0.00 0.00 1.00" || n == "0.00 0.00 -1.00")
                << corner;
        }
        const fs::path obj = fs::temp_directory_path() / ("dxf_interop_shade_" + id + ".obj");
        VOxaWriterObj writer(&r.manager);
        std::unique_ptr<VStreamOptions> options(writer.GetWriteOptions());
        ASSERT_TRUE(writer.FileCreate(obj.c_str()) && writer.Write(r.scene, options.get()) &&
                    writer.FileClose());
        fs::path mtl = obj;
        std::ifstream in(mtl.replace_extension(".mtl"));
        std::string statements;
        for (std::string line; std::getline(in, line);)
            if (!line.empty() && line[0] != '#') statements += line.substr(0, line.find(' ')) + " ";
        EXPECT_EQ(statements, "newmtl Kd d ");
        fs::remove(obj);
        fs::remove(mtl);
    }
    fs::remove(source);
    fs::remove(dxf);
    fs::remove(back);
}
#endif
