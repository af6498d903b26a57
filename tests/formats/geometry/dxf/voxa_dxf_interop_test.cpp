// Files our DXF writer writes, handed to independent readers: ezdxf reads them with our entity
// counts and its audit finds nothing beyond what our dialect causes; assimp gives our vertex and
// face counts.
#include <gtest/gtest.h>

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
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "tests/support/corpus.h"

namespace {

namespace fs = std::filesystem;

// What our dialect makes ezdxf say, and why it stays: layer and entity names hold "::" ("Model::"
// and the node's name), which the format does not allow in table names. Stored files and our
// reader rely on the names. ezdxf refuses to load such names at all, so the probe lets names
// through that are valid but for the "::" and reports each one; its audit then reports them as
// invalid layer names (code 203). A layer colour of 0 (a mesh without material) would be reported
// with "color"; this version of ezdxf accepts it.
const char* const kDialectFindings[] = {
    "dialect: ':' in name Model::", "Invalid layer name \"Model::", "color"};

// The python interpreter that has ezdxf, or "".
std::string EzdxfPython() {
    for (const char* python : {"/usr/bin/python3", "python3"}) {
        corpustest::RunResult r = corpustest::RunProgram({python, "-c", "import ezdxf"});
        if (r.status == 0) return python;
    }
    return "";
}

const char kProbe[] = R"(
import sys, ezdxf
from ezdxf.lldxf.attributes import DXFAttr
from ezdxf.lldxf import validator
# Our layer and entity names carry "Model::"; ezdxf refuses ":" in table names. Names that are
# valid apart from that prefix are let through, and each is reported as a dialect finding.
_valid = DXFAttr.is_valid_value
_seen = set()
def _is_valid_value(self, value):
    if isinstance(value, str) and value.startswith("Model::") and validator.is_valid_table_name(value.replace(":", "_")):
        if value not in _seen:
            _seen.add(value)
            print("AUDIT dialect: ':' in name", value)
        return True
    return _valid(self, value)
DXFAttr.is_valid_value = _is_valid_value
doc = ezdxf.readfile(sys.argv[1])
for e in doc.modelspace():
    if e.dxftype() == 'POLYLINE':
        pv = sum(1 for v in e.vertices if v.is_poly_face_mesh_vertex)
        fr = sum(1 for v in e.vertices if v.is_face_record)
        print('POLYFACE', e.dxf.layer, int(e.is_poly_face_mesh), pv, fr)
    else:
        print('ENTITY', e.dxftype())
a = doc.audit()
for x in a.errors: print('AUDIT', x.code, x.message)
for x in a.fixes: print('AUDIT', x.code, x.message)
)";

struct Written {
    fs::path path;
    std::vector<std::string> polyfaces;  // "POLYFACE <layer> 1 <vertices> <faces>"
    int vertices = 0;
    int faces = 0;  // triangles and quads as written
};

// A scene of a few meshes (a hidden one, one with materials, a hexagon) written by our writer.
Written WriteScene(const char* name) {
    Written w;
    w.path = fs::temp_directory_path() / name;
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaMaterial* red = manager.CreateMaterial("red");
    red->SetDiffuse(VOxaColor(1, 0, 0, 1));
    auto add = [&](const char* nodeName, const std::vector<std::vector<double>>& points,
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
        w.polyfaces.push_back("POLYFACE Model::" + std::string(nodeName) + " 1 " +
                              std::to_string(points.size()) + " " + std::to_string(records));
        w.vertices += (int)points.size();
        w.faces += records;
    };
    add("Cube", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}},
        {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}}, true, true);
    add("Hidden", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}, false, false);
    add("Hex", {{0, 0, 0}, {1, 0, 0}, {2, 1, 0}, {1, 2, 0}, {0, 2, 0}, {-1, 1, 0}}, {{0, 1, 2, 3, 4, 5}},
        true, true);
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

TEST(dxf_interop, EzdxfReadsOurCountsAndAuditsOnlyTheDialect) {
    const std::string python = EzdxfPython();
    if (python.empty()) GTEST_SKIP() << "ezdxf is not installed (Debian package python3-ezdxf)";
    Written w = WriteScene("dxf_interop_ezdxf.dxf");
    fs::path probe = fs::temp_directory_path() / "dxf_interop_probe.py";
    std::ofstream(probe) << kProbe;
    corpustest::RunResult r = corpustest::RunProgram({python, probe.string(), w.path.string()});
    ASSERT_EQ(r.status, 0) << r.output;
    std::vector<std::string> polyfaces;
    for (const std::string& line : Lines(r.output)) {
        if (line.rfind("POLYFACE", 0) == 0) polyfaces.push_back(line);
        if (line.rfind("ENTITY", 0) == 0) ADD_FAILURE() << "unexpected entity: " << line;
        if (line.rfind("AUDIT", 0) == 0) {
            bool dialect = false;
            for (const char* finding : kDialectFindings)
                dialect = dialect || line.find(finding) != std::string::npos;
            EXPECT_TRUE(dialect) << line;
            std::cout << "dialect finding: " << line << "\n";
        }
    }
    EXPECT_EQ(polyfaces, w.polyfaces) << r.output;
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
