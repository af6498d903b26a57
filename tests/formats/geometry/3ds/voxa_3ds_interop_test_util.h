// Shared helpers of the 3DS interop tests: a scene read and written through the toolkit, the
// vertices of written OBJ and DXF files read back as plain text, point-set comparison and, with
// lib3ds, the world vertices of a 3DS file as lib3ds places them.
#ifndef OXA_TESTS_FORMATS_GEOMETRY_3DS_VOXA_3DS_INTEROP_TEST_UTIL_H
#define OXA_TESTS_FORMATS_GEOMETRY_3DS_VOXA_3DS_INTEROP_TEST_UTIL_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "formats/geometry/3ds/voxa_reader_3ds.h"
#include "formats/geometry/3ds/voxa_writer_3ds.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

#ifdef OXA_HAVE_LIB3DS
#include <lib3ds/file.h>
#include <lib3ds/matrix.h>
#include <lib3ds/mesh.h>
#include <lib3ds/node.h>
#include <lib3ds/vector.h>
#endif

namespace interop3ds {

// A scene of its own, read from a 3DS file and written in any format.
struct Session {
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    std::string messages;  // the last writer's messages

    bool Read(const std::string& path) {
        VOxaReader3DS reader(&manager);
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        return reader.FileOpen(path.c_str()) && reader.Read(scene, options.get()) && reader.FileClose();
    }
    template <class Writer = VOxaWriter3DS>
    bool Write(const std::string& path) {
        Writer writer(&manager);
        std::unique_ptr<VStreamOptions> options(writer.GetWriteOptions());
        const bool ok =
            writer.FileCreate(path.c_str()) && writer.Write(scene, options.get()) && writer.FileClose();
        messages = writer.GetMessageText().Buffer();
        return ok;
    }
    // The node of that name (without its name-space prefix), or null.
    VOxaNode* Node(const char* name) {
        for (int i = 0; i < manager.GetNodeCount(); ++i)
            if (std::string(manager.GetNode(i)->GetNameWithoutPrefix()) == name) return manager.GetNode(i);
        return nullptr;
    }
};

// The vertices of an OBJ file ("v" lines).
inline std::vector<VgeTVector> ObjVertices(const std::string& path) {
    std::vector<VgeTVector> out;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.size() < 2 || line[0] != 'v' || line[1] != ' ') continue;
        std::istringstream values(line.substr(2));
        double x, y, z;
        if (values >> x >> y >> z) out.emplace_back(x, y, z, 0.0);
    }
    return out;
}

// The points of the polyface VERTEX records of a DXF file (group codes 10, 20, 30 of the records
// with flags 64 and 128), leaving out the face records, whose points are all 0; and the corners
// of its 3DFACEs (groups 10-13, 20-23, 30-33).
inline std::vector<VgeTVector> DxfVertices(const std::string& path) {
    std::vector<VgeTVector> out;
    std::ifstream in(path);
    std::string code, value;
    bool vertex = false, face = false;
    double p[3] = {0, 0, 0};
    double corners[4][3] = {};
    int flags = 0;
    auto flush = [&] {
        if (vertex && (flags & 128) && (flags & 64)) out.emplace_back(p[0], p[1], p[2], 0.0);
        for (int k = 0; face && k < 4; ++k)
            out.emplace_back(corners[k][0], corners[k][1], corners[k][2], 0.0);
        vertex = face = false;
    };
    while (std::getline(in, code) && std::getline(in, value)) {
        const int group = std::atoi(code.c_str());
        if (group == 0) {
            flush();
            vertex = value.find("VERTEX") != std::string::npos;
            face = value.find("3DFACE") != std::string::npos;
            flags = 0;
        } else if (face && group >= 10 && group <= 33 && group % 10 <= 3) {
            corners[group % 10][group / 10 - 1] = std::atof(value.c_str());
        } else if (vertex && group >= 10 && group <= 30 && group % 10 == 0) {
            p[group / 10 - 1] = std::atof(value.c_str());
        } else if (vertex && group == 70) {
            flags = std::atoi(value.c_str());
        }
    }
    flush();
    return out;
}

// The largest coordinate of any point, in magnitude.
inline double Extent(const std::vector<VgeTVector>& points) {
    double size = 0.0;
    for (const VgeTVector& p : points)
        size = std::max({size, std::fabs(p[0]), std::fabs(p[1]), std::fabs(p[2])});
    return size;
}

// The same points as sets: every point of `expected` has a point of `actual` within `tolerance`
// (in each coordinate), and the other way round.
inline void ExpectSamePoints(const std::vector<VgeTVector>& expected, const std::vector<VgeTVector>& actual,
                             double tolerance, const std::string& what) {
    ASSERT_FALSE(expected.empty()) << what;
    ASSERT_FALSE(actual.empty()) << what;
    auto distance = [](const VgeTVector& p, const std::vector<VgeTVector>& set) {
        double best = 1e300;
        for (const VgeTVector& q : set)
            best = std::min(
                best, std::max({std::fabs(p[0] - q[0]), std::fabs(p[1] - q[1]), std::fabs(p[2] - q[2])}));
        return best;
    };
    int reported = 0;
    for (const VgeTVector& p : expected) {
        const double d = distance(p, actual);
        if (d > tolerance && reported++ < 4)
            ADD_FAILURE() << what << ": (" << p[0] << ", " << p[1] << ", " << p[2] << ") is missing (" << d
                          << " away)";
    }
    for (const VgeTVector& p : actual) {
        const double d = distance(p, expected);
        if (d > tolerance && reported++ < 8)
            ADD_FAILURE() << what << ": (" << p[0] << ", " << p[1] << ", " << p[2] << ") is misplaced (" << d
                          << " away)";
    }
}

#ifdef OXA_HAVE_LIB3DS

// A file loaded by lib3ds (null when it does not load), freed with the object.
struct File3ds {
    Lib3dsFile* file;
    explicit File3ds(const std::string& path) : file(lib3ds_file_load(path.c_str())) {}
    ~File3ds() {
        if (file) lib3ds_file_free(file);
    }
    File3ds(const File3ds&) = delete;
    File3ds& operator=(const File3ds&) = delete;
};

// Visits every node of lib3ds's keyframer tree, parents before their children.
inline void Walk(Lib3dsNode* node, const std::function<void(Lib3dsNode*)>& visit) {
    for (; node; node = node->next) {
        visit(node);
        Walk(node->childs, visit);
    }
}

// The matrix that places `mesh`'s stored points as object node `node` shows them (evaluated).
inline void PlacingMatrix(Lib3dsNode* node, Lib3dsMesh* mesh, Lib3dsMatrix m) {
    Lib3dsMatrix inverse;
    lib3ds_matrix_copy(m, node->matrix);
    lib3ds_matrix_translate_xyz(m, -node->data.object.pivot[0], -node->data.object.pivot[1],
                                -node->data.object.pivot[2]);
    lib3ds_matrix_copy(inverse, mesh->matrix);
    lib3ds_matrix_inv(inverse);
    lib3ds_matrix_mult(m, inverse);
}
// The world position of every mesh vertex at `frame` as lib3ds places it, in the file's Z-up
// axes and master-scale units times `scale`, or in the scene's Y-up axes (a file point (x, y, z)
// is (x, z, -y)).
inline std::vector<VgeTVector> WorldVertices(const std::string& path, bool yUp, double scale,
                                             float frame = 0.0f) {
    std::vector<VgeTVector> out;
    File3ds loaded(path);
    EXPECT_NE(loaded.file, nullptr) << path;
    if (!loaded.file) return out;
    Lib3dsFile* file = loaded.file;
    scale *= file->master_scale > 0.0f ? file->master_scale : 1.0;
    lib3ds_file_eval(file, frame);
    Walk(file->nodes, [&](Lib3dsNode* node) {
        if (node->type != LIB3DS_OBJECT_NODE) return;
        Lib3dsMesh* mesh = lib3ds_file_mesh_by_name(file, node->name);
        if (!mesh) return;
        Lib3dsMatrix m;
        PlacingMatrix(node, mesh, m);
        for (Lib3dsDword i = 0; i < mesh->points; ++i) {
            Lib3dsVector p;
            lib3ds_vector_transform(p, m, mesh->pointL[i].pos);
            if (yUp)
                out.emplace_back(p[0] * scale, p[2] * scale, -p[1] * scale, 0.0);
            else
                out.emplace_back(p[0] * scale, p[1] * scale, p[2] * scale, 0.0);
        }
    });
    return out;
}

#endif  // OXA_HAVE_LIB3DS

}  // namespace interop3ds

#endif  // OXA_TESTS_FORMATS_GEOMETRY_3DS_VOXA_3DS_INTEROP_TEST_UTIL_H
