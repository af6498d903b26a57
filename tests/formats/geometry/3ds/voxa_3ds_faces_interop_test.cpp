// Faces of written 3DS files as lib3ds reads them: smoothing masks over one and two trips, faces
// without material, map names of long image names and points that are not finite numbers.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "attributes/voxa_layer.h"
#include "attributes/voxa_material.h"
#include "attributes/voxa_mesh.h"
#include "attributes/voxa_texture.h"
#include "formats/geometry/3ds/ftk.h"
#include "tests/formats/geometry/3ds/ftk_scene_file_test_util.h"
#include "tests/formats/geometry/3ds/voxa_3ds_interop_test_util.h"
#include "tests/formats/geometry/3ds/voxa_writer_3ds_test_util.h"

#ifdef OXA_HAVE_LIB3DS
#include <lib3ds/material.h>
#endif

namespace {

namespace fs = std::filesystem;
using interop3ds::Session;
using writer3ds::ScratchDir;

constexpr double kPi = 3.14159265358979323846;

// A mesh node of quads, each with four points of its own, the normal and UV given per corner.
struct QuadMesh {
    std::vector<VgeTVector> points, normals;
    std::vector<VgeVector2> uvs;
    void Add(const VgeTVector (&p)[4], const VgeTVector (&n)[4], const VgeVector2 (&t)[4]) {
        for (int k = 0; k < 4; ++k) {
            points.push_back(p[k]);
            normals.push_back(n[k]);
            uvs.push_back(t[k]);
        }
    }
    VOxaMesh* Build(VOxaSdkManager& manager, VOxaNode* parent, const char* name) {
        std::vector<std::vector<int>> polygons;
        for (int q = 0; q < (int)points.size() / 4; ++q)
            polygons.push_back({q * 4, q * 4 + 1, q * 4 + 2, q * 4 + 3});
        VOxaMesh* mesh = writer3ds::AddMesh(manager, parent, name, points, polygons);
        mesh->InitNormals();
        for (size_t i = 0; i < normals.size(); ++i)
            mesh->GetNormals()[i] = normals[i];
        mesh->InitTextureUVIndices(eBY_CONTROL_POINT);
        mesh->InitTextureUV((int)uvs.size());
        for (size_t i = 0; i < uvs.size(); ++i)
            mesh->GetTextureUV()[i] = uvs[i];
        return mesh;
    }
};

VgeTVector Unit(double x, double y, double z) {
    const double l = std::sqrt(x * x + y * y + z * z);
    return VgeTVector(x / l, y / l, z / l, 0.0);
}

// A unit cube whose faces have points and normals of their own, except along the edge x = 1,
// y = 1, where the faces +X and +Y take the same slanted normal: that edge is smooth, the other
// edges are hard.
void AddCube(VOxaSdkManager& manager, VOxaNode* parent) {
    QuadMesh cube;
    const VgeVector2 t[4] = {VgeVector2(0, 0), VgeVector2(1, 0), VgeVector2(1, 1), VgeVector2(0, 1)};
    const VgeTVector diagonal = Unit(1, 1, 0);
    for (int axis = 0; axis < 3; ++axis) {
        for (int side = 0; side < 2; ++side) {
            const int u = (axis + 1) % 3, v = (axis + 2) % 3;
            VgeTVector p[4], n[4];
            const double corner[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
            for (int k = 0; k < 4; ++k) {
                const int kk = side == 0 ? 3 - k : k;  // outward winding
                VgeTVector& point = p[k];
                point = VgeTVector(0, 0, 0, 1);
                point[axis] = side;
                point[u] = corner[kk][0];
                point[v] = corner[kk][1];
                n[k] = VgeTVector(0, 0, 0, 0);
                n[k][axis] = side == 0 ? -1 : 1;
                if (side == 1 && axis < 2 && point[0] == 1 && point[1] == 1) n[k] = diagonal;
            }
            cube.Add(p, n, t);
        }
    }
    cube.Build(manager, parent, "Cube");
}

// A torus of 12 x 8 quads, each with points of its own (as when points are split for their
// UVs), normals of the smooth surface and a texture.
void AddTorus(VOxaSdkManager& manager, VOxaNode* parent) {
    QuadMesh torus;
    const int around = 12, across = 8;
    auto at = [&](int i, int j, VgeTVector& p, VgeTVector& n) {
        const double a = 2 * kPi * (i % around) / around, b = 2 * kPi * (j % across) / across;
        n = VgeTVector(std::cos(a) * std::cos(b), std::sin(b), std::sin(a) * std::cos(b), 0);
        p = VgeTVector(std::cos(a) * 3 + n[0], n[1], std::sin(a) * 3 + n[2], 1);
    };
    for (int i = 0; i < around; ++i) {
        for (int j = 0; j < across; ++j) {
            VgeTVector p[4], n[4];
            const int di[4] = {0, 0, 1, 1}, dj[4] = {0, 1, 1, 0};
            VgeVector2 t[4];
            for (int k = 0; k < 4; ++k) {
                at(i + di[k], j + dj[k], p[k], n[k]);
                t[k] = VgeVector2((double)(i + di[k]) / around, (double)(j + dj[k]) / across);
            }
            torus.Add(p, n, t);
        }
    }
    VOxaMesh* mesh = torus.Build(manager, parent, "Torus");
    VOxaMaterial* material = manager.CreateMaterial("Ring");
    mesh->AddMaterial(material, 0);
    VOxaTexture* texture = manager.CreateTexture("ring.bmp");
    texture->SetFileName("ring.bmp");
    mesh->AddTexture(texture, 0);
}

#ifdef OXA_HAVE_LIB3DS
struct Lib3dsOwner {
    Lib3dsFile* file;
    explicit Lib3dsOwner(const std::string& path) : file(lib3ds_file_load(path.c_str())) {}
    ~Lib3dsOwner() {
        if (file) lib3ds_file_free(file);
    }
};

// The edges of a mesh that two faces share (points compared by position): per edge, whether
// the faces' masks share a bit, with its two ends.
struct SharedEdge {
    std::vector<float> a, b;
    bool smooth;
    std::array<float, 3> normalF, normalG;
};

std::vector<SharedEdge> SharedEdges(const Lib3dsMesh* mesh) {
    std::map<std::vector<float>, int> ids;
    std::vector<std::vector<float>> position;
    std::vector<int> id(mesh->points);
    for (Lib3dsDword i = 0; i < mesh->points; ++i) {
        std::vector<float> p(mesh->pointL[i].pos, mesh->pointL[i].pos + 3);
        auto found = ids.emplace(p, (int)ids.size());
        if (found.second) position.push_back(p);
        id[i] = found.first->second;
    }
    auto normal = [&](const Lib3dsFace& face) {
        const float* p0 = mesh->pointL[face.points[0]].pos;
        const float* p1 = mesh->pointL[face.points[1]].pos;
        const float* p2 = mesh->pointL[face.points[2]].pos;
        const double u[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
        const double v[3] = {p2[0] - p0[0], p2[1] - p0[1], p2[2] - p0[2]};
        const double n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
        const double l = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        return std::array<float, 3>{(float)(n[0] / l), (float)(n[1] / l), (float)(n[2] / l)};
    };
    std::map<std::pair<int, int>, std::vector<Lib3dsDword>> faces;
    for (Lib3dsDword f = 0; f < mesh->faces; ++f)
        for (int k = 0; k < 3; ++k) {
            const int u = id[mesh->faceL[f].points[k]], v = id[mesh->faceL[f].points[(k + 1) % 3]];
            faces[{std::min(u, v), std::max(u, v)}].push_back(f);
        }
    std::vector<SharedEdge> out;
    for (const auto& edge : faces) {
        if (edge.second.size() != 2) continue;
        const Lib3dsFace& f = mesh->faceL[edge.second[0]];
        const Lib3dsFace& g = mesh->faceL[edge.second[1]];
        out.push_back(SharedEdge{position[(size_t)edge.first.first], position[(size_t)edge.first.second],
                                 (f.smoothing & g.smoothing) != 0, normal(f), normal(g)});
    }
    return out;
}

// Checks the cube and the torus of a written file: the cube's edges are smooth where its two
// faces lie in one plane (the halves of one side) and along x = 1, z = 1 (the scene's x = 1,
// y = 1), hard elsewhere; every edge of the torus is smooth.
void ExpectCubeAndTorus(const std::string& path, const std::string& trip) {
    Lib3dsOwner file(path);
    ASSERT_TRUE(file.file) << trip;
    Lib3dsMesh* cube = lib3ds_file_mesh_by_name(file.file, "Cube");
    Lib3dsMesh* torus = lib3ds_file_mesh_by_name(file.file, "Torus");
    ASSERT_TRUE(cube && torus) << trip;
    const std::vector<SharedEdge> cubeEdges = SharedEdges(cube);
    ASSERT_EQ(cubeEdges.size(), 18u) << trip;  // 12 edges of the cube, 6 diagonals
    int smooth = 0;
    for (const SharedEdge& edge : cubeEdges) {
        const bool flat = std::fabs(edge.normalF[0] - edge.normalG[0]) +
                              std::fabs(edge.normalF[1] - edge.normalG[1]) +
                              std::fabs(edge.normalF[2] - edge.normalG[2]) <
                          1e-5;
        const bool slanted = edge.a[0] == 1 && edge.b[0] == 1 && edge.a[2] == 1 && edge.b[2] == 1;
        EXPECT_EQ(edge.smooth, flat || slanted)
            << trip << ": edge (" << edge.a[0] << " " << edge.a[1] << " " << edge.a[2] << ") - (" << edge.b[0]
            << " " << edge.b[1] << " " << edge.b[2] << ")";
        smooth += edge.smooth;
    }
    EXPECT_EQ(smooth, 7) << trip;
    const std::vector<SharedEdge> torusEdges = SharedEdges(torus);
    EXPECT_EQ(torusEdges.size(), 12u * 8u * 3u) << trip;  // two sides and a diagonal per quad
    for (const SharedEdge& edge : torusEdges)
        ASSERT_TRUE(edge.smooth) << trip << ": a hard edge in the torus";
}
#endif

}  // namespace

TEST(faces3ds_interop, SmoothingOfACubeAndATexturedTorusHoldsOverTwoTrips) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << "lib3ds (lib3ds-dev) is not installed";
#else
    ScratchDir dir("smooth");
    const std::string first = dir / "first.3ds", second = dir / "second.3ds", third = dir / "third.3ds";
    {
        Session session;
        AddCube(session.manager, session.scene->GetRootNode());
        AddTorus(session.manager, session.scene->GetRootNode());
        ASSERT_TRUE(session.Write(first));
    }
    ExpectCubeAndTorus(first, "first trip");
    {
        Session session;
        ASSERT_TRUE(session.Read(first));
        ASSERT_TRUE(session.Write(second));
    }
    ExpectCubeAndTorus(second, "second trip");
    {
        // The masks of the file come back exactly, bit for bit, on a further trip.
        Session session;
        ASSERT_TRUE(session.Read(second));
        ASSERT_TRUE(session.Write(third));
    }
    Lib3dsOwner before(second), after(third);
    ASSERT_TRUE(before.file && after.file);
    for (const char* name : {"Cube", "Torus"}) {
        Lib3dsMesh* a = lib3ds_file_mesh_by_name(before.file, name);
        Lib3dsMesh* b = lib3ds_file_mesh_by_name(after.file, name);
        ASSERT_TRUE(a && b);
        ASSERT_EQ(a->faces, b->faces);
        for (Lib3dsDword f = 0; f < a->faces; ++f)
            EXPECT_EQ(a->faceL[f].smoothing, b->faceL[f].smoothing) << name << " face " << f;
    }
#endif
}

TEST(faces3ds_interop, FileMasksAndFacesOutsideEveryMaterialGroupAreKept) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << "lib3ds (lib3ds-dev) is not installed";
#else
    ScratchDir dir("kept");
    const std::string path = dir / "in.3ds", out = dir / "out.3ds";
    // "Flat": two triangles sharing an edge and no smoothing chunk. "Odd": masks that normals
    // could not tell (5 and 3 share a bit, 8 none), and a material group that lists face 1 only.
    ASSERT_TRUE(ftkscene::WriteSceneFile(path, [](Ftk::Database* db) {
        ftkscene::PutMeshSettings(db);
        Ftk::Material* material = nullptr;
        Ftk::InitMaterial(&material);
        std::strcpy(material->mName, "Red");
        material->mDiffuse[0] = 1.0f;
        Ftk::WriteMaterial(db, material);
        Ftk::ReleaseMaterial(&material);
        const float identity[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
        for (const char* name : {"Flat", "Odd"}) {
            const bool odd = std::strcmp(name, "Odd") == 0;
            Ftk::Mesh* mesh = nullptr;
            Ftk::InitMesh(&mesh, 4, (uint16_t)(odd ? 3 : 2), odd ? (uint32_t)Ftk::kMeshSmoothing : 0u);
            std::strcpy(mesh->mName, name);
            mesh->mVertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 1}};
            if (odd) {
                mesh->mFaces = {{0, 1, 2, 7}, {0, 2, 3, 7}, {1, 2, 3, 7}};
                mesh->mSmoothing = {5, 3, 8};
                mesh->mMaterialGroupCount = 1;
                Ftk::AllocMeshArrays(mesh, Ftk::kMeshMaterialGroups);
                mesh->mMaterialGroups[0].mName = "Red";
                Ftk::AllocMaterialGroupFaces(mesh, 0, 1);
                mesh->mMaterialGroups[0].mFaces[0] = 1;
            } else {
                mesh->mFaces = {{0, 1, 2, 7}, {0, 2, 3, 7}};
            }
            std::memcpy(mesh->mLocalAxes, identity, sizeof identity);
            Ftk::WriteMesh(db, mesh);
            Ftk::ReleaseMesh(&mesh);
        }
    }));
    Session session;
    ASSERT_TRUE(session.Read(path));
    // In the scene: the faces no group lists have no material.
    VOxaMesh* odd = session.Node("Odd")->GetMesh();
    ASSERT_EQ(odd->GetPolygonCount(), 3);
    ASSERT_NE(odd->GetMaterialIndices(), nullptr);
    EXPECT_EQ(odd->GetMaterial(odd->GetMaterialIndices()->GetAt(0), 0), nullptr);
    EXPECT_NE(odd->GetMaterial(odd->GetMaterialIndices()->GetAt(1), 0), nullptr);
    EXPECT_EQ(odd->GetMaterial(odd->GetMaterialIndices()->GetAt(2), 0), nullptr);
    ASSERT_TRUE(session.Write(out));

    Lib3dsOwner file(out);
    ASSERT_TRUE(file.file);
    Lib3dsMesh* flat = lib3ds_file_mesh_by_name(file.file, "Flat");
    Lib3dsMesh* written = lib3ds_file_mesh_by_name(file.file, "Odd");
    ASSERT_TRUE(flat && written);
    for (Lib3dsDword f = 0; f < flat->faces; ++f)
        EXPECT_EQ(flat->faceL[f].smoothing, 0u) << f;
    ASSERT_EQ(written->faces, 3u);
    const Lib3dsDword masks[3] = {5, 3, 8};
    for (Lib3dsDword f = 0; f < 3; ++f)
        EXPECT_EQ(written->faceL[f].smoothing, masks[f]) << f;
    EXPECT_STREQ(written->faceL[0].material, "");
    EXPECT_STRNE(written->faceL[1].material, "");
    EXPECT_STREQ(written->faceL[2].material, "");
#endif
}

TEST(faces3ds_interop, LongImageNamesGetMapNamesOfTheirOwnWithTheImagesBesideThem) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << "lib3ds (lib3ds-dev) is not installed";
#else
    ScratchDir dir("maps");
    const fs::path images = dir / "images";
    const fs::path outFolder = dir / "out";
    fs::create_directories(images);
    fs::create_directories(outFolder);
    const char* names[3] = {"wal67ar_small.jpg", "SpiderTex.jpg", "engineflare1.jpg"};
    for (int i = 0; i < 3; ++i)
        writer3ds::WriteBytes((images / names[i]).string(), std::string("image ") + names[i]);
    Session session;
    VOxaMesh* mesh =
        writer3ds::AddMesh(session.manager, session.scene->GetRootNode(), "Spider",
                           {VgeTVector(0, 0, 0, 1), VgeTVector(1, 0, 0, 1), VgeTVector(0, 1, 0, 1)},
                           {{0, 1, 2}, {0, 1, 2}, {0, 1, 2}});
    mesh->InitMaterialIndices(eBY_POLYGON);
    mesh->InitTextureIndices(eBY_POLYGON);
    for (int i = 0; i < 3; ++i) {
        mesh->AddMaterial(session.manager.CreateMaterial(("M" + std::to_string(i)).c_str()), 0);
        VOxaTexture* texture = session.manager.CreateTexture(names[i]);
        texture->SetFileName(names[i]);
        texture->SetSourceFolder(images.string().c_str());
        mesh->AddTexture(texture, 0);
        mesh->GetMaterialIndices()->Add(i);
        mesh->GetTextureIndices()->Add(i);
    }
    const std::string out = (outFolder / "spider.3ds").string();
    ASSERT_TRUE(session.Write(out));

    Lib3dsOwner file(out);
    ASSERT_TRUE(file.file);
    std::set<std::string> mapNames;
    int maps = 0;
    for (Lib3dsMaterial* material = file.file->materials; material; material = material->next) {
        const std::string map = material->texture1_map.name;
        if (map.empty()) continue;
        ++maps;
        EXPECT_LE(map.size(), 12u) << map;
        mapNames.insert(map);
        // The map names a file beside the output that holds one of the images.
        const std::string bytes = writer3ds::ReadBytes((outFolder / map).string());
        bool found = false;
        for (const char* name : names)
            if (bytes == std::string("image ") + name) {
                found = true;
                // The warning says which image took the name.
                if (std::strlen(name) > 12)
                    EXPECT_NE(session.messages.find(std::string(name) + "\" is copied as \"" + map + "\""),
                              std::string::npos)
                        << session.messages;
            }
        EXPECT_TRUE(found) << map;
    }
    EXPECT_EQ(maps, 3);
    EXPECT_EQ(mapNames.size(), 3u);
#endif
}

TEST(faces3ds_interop, PointsThatAreNotFiniteAsFloatsAreKeptUnusedOrRefuseTheWrite) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << "lib3ds (lib3ds-dev) is not installed";
#else
    ScratchDir dir("finite");
    for (double bad : {std::nan(""), 1e300}) {
        // Used by a polygon: the Write fails, naming the mesh, and leaves no file.
        {
            Session session;
            writer3ds::AddMesh(session.manager, session.scene->GetRootNode(), "Broken",
                               {VgeTVector(0, 0, 0, 1), VgeTVector(bad, 0, 0, 1), VgeTVector(0, 1, 0, 1)},
                               {{0, 1, 2}});
            VOxaWriter3DS writer(&session.manager);
            std::unique_ptr<VStreamOptions> options(writer.GetWriteOptions());
            const std::string path = dir / "used.3ds";
            ASSERT_TRUE(writer.FileCreate(path.c_str()));
            EXPECT_FALSE(writer.Write(session.scene, options.get())) << bad;
            const std::string error = writer.GetError().GetLastErrorString().Buffer();
            EXPECT_NE(error.find("Broken"), std::string::npos) << error;
            EXPECT_FALSE(fs::exists(path)) << bad;
        }
        // Used by no polygon: kept as a float holds it (NaN, or infinite), the faces keep their
        // points.
        Session session;
        writer3ds::AddMesh(session.manager, session.scene->GetRootNode(), "Spare",
                           {VgeTVector(0, 0, 0, 1), VgeTVector(bad, 0, 0, 1), VgeTVector(2, 0, 0, 1),
                            VgeTVector(0, 3, 0, 1)},
                           {{0, 2, 3}});
        const std::string path = dir / "spare.3ds";
        ASSERT_TRUE(session.Write(path)) << bad;
        Lib3dsOwner file(path);
        ASSERT_TRUE(file.file);
        Lib3dsMesh* mesh = lib3ds_file_mesh_by_name(file.file, "Spare");
        ASSERT_TRUE(mesh);
        ASSERT_EQ(mesh->points, 4u);
        for (Lib3dsDword i = 0; i < mesh->points; ++i)
            EXPECT_EQ(std::isfinite(mesh->pointL[i].pos[0]), i != 1) << i;
        ASSERT_EQ(mesh->faces, 1u);
        // Scene (2, 0, 0) and (0, 3, 0) are file (2, 0, 0) and (0, 0, 3).
        const float* b = mesh->pointL[mesh->faceL[0].points[1]].pos;
        const float* c = mesh->pointL[mesh->faceL[0].points[2]].pos;
        EXPECT_FLOAT_EQ(b[0], 2.0f);
        EXPECT_FLOAT_EQ(c[2], 3.0f);
    }
#endif
}

// A unit cube whose top-front edge (z = 1, y = 0) is smooth and whose other edges are hard: the
// faces that meet only at a corner across a hard edge share no bit, or a reader would smooth the
// corner (the bottom would lean towards the front at the origin).
TEST(faces3ds_interop, FacesMeetingAtAHardCornerShareNoBit) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << "lib3ds (lib3ds-dev) is not installed";
#else
    ScratchDir dir("corner");
    const std::string path = dir / "cube.3ds";
    {
        const double v[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
        const VgeTVector down(0, 0, -1, 0), up(0, 0, 1, 0), front(0, -1, 0, 0), slant = Unit(0, -1, 1);
        struct Side {
            int corner[4];
            VgeTVector normal[4];
        };
        const Side sides[6] = {
            {{0, 3, 2, 1}, {down, down, down, down}},
            {{4, 5, 6, 7}, {slant, slant, up, up}},
            {{0, 1, 5, 4}, {front, front, slant, slant}},
            {{1, 2, 6, 5}, {Unit(1, 0, 0), Unit(1, 0, 0), Unit(1, 0, 0), Unit(1, 0, 0)}},
            {{2, 3, 7, 6}, {Unit(0, 1, 0), Unit(0, 1, 0), Unit(0, 1, 0), Unit(0, 1, 0)}},
            {{3, 0, 4, 7}, {Unit(-1, 0, 0), Unit(-1, 0, 0), Unit(-1, 0, 0), Unit(-1, 0, 0)}}};
        QuadMesh cube;
        const VgeVector2 t[4] = {VgeVector2(0, 0), VgeVector2(1, 0), VgeVector2(1, 1), VgeVector2(0, 1)};
        for (const Side& side : sides) {
            VgeTVector p[4];
            for (int k = 0; k < 4; ++k)
                p[k] = VgeTVector(v[side.corner[k]][0], v[side.corner[k]][1], v[side.corner[k]][2], 1);
            cube.Add(p, side.normal, t);
        }
        Session session;
        cube.Build(session.manager, session.scene->GetRootNode(), "Cube");
        ASSERT_TRUE(session.Write(path));
    }
    Lib3dsOwner file(path);
    ASSERT_TRUE(file.file);
    Lib3dsMesh* mesh = lib3ds_file_mesh_by_name(file.file, "Cube");
    ASSERT_TRUE(mesh);
    ASSERT_EQ(mesh->faces, 12u);

    // Faces by the positions of their corners, and the edges that should be smooth: those
    // between the halves of one side, and the scene's edge z = 1, y = 0 (the file's y = -1, z = 0).
    auto key = [&](Lib3dsWord point) {
        const float* p = mesh->pointL[point].pos;
        return std::array<long, 3>{std::lround(p[0]), std::lround(p[1]), std::lround(p[2])};
    };
    auto normal = [&](Lib3dsDword f) {
        const auto a = key(mesh->faceL[f].points[0]), b = key(mesh->faceL[f].points[1]),
                   c = key(mesh->faceL[f].points[2]);
        const long u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]},
                   w[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
        return std::array<long, 3>{u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2],
                                   u[0] * w[1] - u[1] * w[0]};
    };
    auto corners = [&](Lib3dsDword f) {
        std::set<std::array<long, 3>> out;
        for (int k = 0; k < 3; ++k)
            out.insert(key(mesh->faceL[f].points[k]));
        return out;
    };
    auto smoothEdge = [&](Lib3dsDword f, Lib3dsDword g) {
        std::vector<std::array<long, 3>> shared;
        const auto cf = corners(f), cg = corners(g);
        std::set_intersection(cf.begin(), cf.end(), cg.begin(), cg.end(), std::back_inserter(shared));
        if (shared.size() != 2) return false;
        if (normal(f) == normal(g)) return true;
        return shared[0][1] == -1 && shared[0][2] == 0 && shared[1][1] == -1 && shared[1][2] == 0;
    };
    // Around each position, the faces that a chain of smooth edges joins there may share bits;
    // other faces there must not. Faces across a smooth edge share a bit.
    std::map<std::array<long, 3>, std::vector<Lib3dsDword>> around;
    for (Lib3dsDword f = 0; f < mesh->faces; ++f)
        for (const auto& p : corners(f))
            around[p].push_back(f);
    ASSERT_EQ(around.size(), 8u);
    int smooth = 0;
    for (const auto& fan : around) {
        const std::vector<Lib3dsDword>& faces = fan.second;
        std::vector<size_t> group(faces.size());
        for (size_t i = 0; i < faces.size(); ++i)
            group[i] = i;
        for (bool changed = true; changed;) {
            changed = false;
            for (size_t i = 0; i < faces.size(); ++i)
                for (size_t j = 0; j < faces.size(); ++j)
                    if (group[j] < group[i] && smoothEdge(faces[i], faces[j])) {
                        group[i] = group[j];
                        changed = true;
                    }
        }
        for (size_t i = 0; i < faces.size(); ++i)
            for (size_t j = i + 1; j < faces.size(); ++j) {
                const bool shares = (mesh->faceL[faces[i]].smoothing & mesh->faceL[faces[j]].smoothing) != 0;
                const std::string where = "at (" + std::to_string(fan.first[0]) + " " +
                                          std::to_string(fan.first[1]) + " " + std::to_string(fan.first[2]) +
                                          "), faces " + std::to_string(faces[i]) + " and " +
                                          std::to_string(faces[j]);
                if (group[i] != group[j]) EXPECT_FALSE(shares) << where;
                if (smoothEdge(faces[i], faces[j])) {
                    EXPECT_TRUE(shares) << where;
                    smooth += normal(faces[i]) != normal(faces[j]);
                }
            }
    }
    EXPECT_EQ(smooth, 2);  // the slanted edge, seen from both its ends
#endif
}

#ifdef OXA_HAVE_LIB3DS
namespace {

// lib3ds's normal of every face corner, from the faces that share the corner's vertex and a
// smoothing bit, as editors shade a file.
std::vector<std::array<float, 3>> CornerNormals(Lib3dsMesh* mesh) {
    std::vector<Lib3dsVector> normals((size_t)mesh->faces * 3 + 3);
    lib3ds_mesh_calculate_normals(mesh, normals.data());
    std::vector<std::array<float, 3>> out;
    for (size_t i = 0; i < (size_t)mesh->faces * 3; ++i)
        out.push_back({normals[i][0], normals[i][1], normals[i][2]});
    return out;
}

double Degrees(const std::array<float, 3>& a, const std::array<float, 3>& b) {
    const double d = (double)a[0] * b[0] + (double)a[1] * b[1] + (double)a[2] * b[2];
    const double la = std::sqrt((double)a[0] * a[0] + (double)a[1] * a[1] + (double)a[2] * a[2]);
    const double lb = std::sqrt((double)b[0] * b[0] + (double)b[1] * b[1] + (double)b[2] * b[2]);
    return std::acos(std::max(-1.0, std::min(1.0, d / (la * lb)))) * 180.0 / kPi;
}

}  // namespace
#endif

TEST(faces3ds_interop, CornersShareVerticesAndFacesKeepTheirFlagsSoThatLib3dsShowsTheSource) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << "lib3ds (lib3ds-dev) is not installed";
#else
    ScratchDir dir("shared");
    // A UV sphere of 12 x 6 quads: shared points, UVs per corner (a seam where u is 0 and 1)
    // and the sphere's own normals per corner.
    {
        const std::string out = dir / "sphere.3ds";
        const int around = 12, across = 6;
        std::vector<VgeTVector> points;
        auto index = [&](int i, int j) {
            if (j == 0) return 0;
            if (j == across) return 1;
            return 2 + (j - 1) * around + i % around;
        };
        auto direction = [&](int i, int j) {
            const double a = 2 * kPi * i / around, b = kPi * j / across;
            return VgeTVector(std::sin(b) * std::cos(a), std::cos(b), -std::sin(b) * std::sin(a), 0);
        };
        points.push_back(VgeTVector(0, 1, 0, 1));
        points.push_back(VgeTVector(0, -1, 0, 1));
        for (int j = 1; j < across; ++j)
            for (int i = 0; i < around; ++i) {
                VgeTVector p = direction(i, j);
                p[3] = 1;
                points.push_back(p);
            }
        // Per polygon, its corners (point, i, j); a pole's corners are one.
        std::vector<std::vector<std::array<int, 3>>> cells;
        std::vector<std::vector<int>> polygons;
        for (int j = 0; j < across; ++j)
            for (int i = 0; i < around; ++i) {
                std::vector<std::array<int, 3>> cell;
                std::vector<int> polygon;
                for (const auto& c : {std::array<int, 2>{i, j}, {i, j + 1}, {i + 1, j + 1}, {i + 1, j}}) {
                    const int cp = index(c[0], c[1]);
                    if (std::find(polygon.begin(), polygon.end(), cp) != polygon.end()) continue;
                    polygon.push_back(cp);
                    cell.push_back({cp, c[0], c[1]});
                }
                polygons.push_back(polygon);
                cells.push_back(cell);
            }
        Session session;
        VOxaMesh* mesh =
            writer3ds::AddMesh(session.manager, session.scene->GetRootNode(), "Ball", points, polygons);
        mesh->InitTextureUVIndices(eBY_POLYGON_VERTEX);
        mesh->InitNormals(mesh->GetPolygonVertexCount());
        int corner = 0;
        for (size_t p = 0; p < cells.size(); ++p)
            for (int k = 0; k < (int)cells[p].size(); ++k, ++corner) {
                const std::array<int, 3>& c = cells[p][(size_t)k];
                mesh->AddTextureUV(VgeVector2((double)c[1] / around, (double)c[2] / across));
                mesh->SetTextureUVIndex((int)p, k, corner);
                mesh->GetNormals()[corner] = points[(size_t)c[0]];
                mesh->GetNormals()[corner][3] = 0;
            }
        VOxaTexture* texture = session.manager.CreateTexture("ball.bmp");
        texture->SetFileName("ball.bmp");
        mesh->AddTexture(texture, 0);
        ASSERT_TRUE(session.Write(out));
        Lib3dsOwner file(out);
        ASSERT_TRUE(file.file);
        Lib3dsMesh* ball = lib3ds_file_mesh_by_name(file.file, "Ball");
        ASSERT_TRUE(ball);
        // One vertex per point and UV: the points, the seam's second column and one per pole fan.
        EXPECT_EQ(ball->points, (Lib3dsDword)(points.size() + (across - 1) + 2 * (around - 1)));
        ASSERT_EQ(ball->texels, ball->points);
        // A mesh made elsewhere shows every edge of its faces.
        for (Lib3dsDword f = 0; f < ball->faces; ++f)
            ASSERT_EQ(ball->faceL[f].flags, 7u) << f;
        const std::vector<std::array<float, 3>> normals = CornerNormals(ball);
        int checked = 0;
        for (Lib3dsDword f = 0; f < ball->faces; ++f)
            for (int k = 0; k < 3; ++k) {
                const Lib3dsDword v = ball->faceL[f].points[k];
                const float* p = ball->pointL[v].pos;
                const float u = ball->texelL[v][0];
                // Off the seam and the poles, each vertex is shaded as the smooth sphere there.
                if (u == 0.0f || u == 1.0f || std::fabs(p[2]) > 0.99f) continue;
                EXPECT_LT(Degrees(normals[(size_t)f * 3 + k], {p[0], p[1], p[2]}), 5.0) << "face " << f;
                ++checked;
            }
        EXPECT_GT(checked, 200);
    }
    // A file whose masks 1, 2 and 3 meet at one vertex: lib3ds smooths the face of mask 2 with
    // that of mask 3, which the reader gives a point of its own. The written file shades as the
    // source and has its vertices.
    {
        const std::string in = dir / "fan.3ds", out = dir / "fan_out.3ds";
        ASSERT_TRUE(ftkscene::WriteSceneFile(in, [](Ftk::Database* db) {
            ftkscene::PutMeshSettings(db);
            Ftk::Mesh* mesh = nullptr;
            Ftk::InitMesh(&mesh, 5, 4, (uint32_t)(Ftk::kMeshSmoothing | Ftk::kMeshMapping));
            std::strcpy(mesh->mName, "Fan");
            mesh->mVertices = {{0, 0, 1}, {1, 0, 0}, {0, 1, 0.2f}, {-1, 0, 0.4f}, {0, -1, 0}};
            mesh->mMapping = {{0.5f, 0.5f}, {1, 0.5f}, {0.5f, 1}, {0, 0.5f}, {0.5f, 0}};
            // Edge flags as editors write them: hidden quad diagonals, wrap bits.
            mesh->mFaces = {{0, 1, 2, 3}, {0, 2, 3, 6}, {0, 3, 4, 5 | 8}, {0, 4, 1, 7 | 16}};
            mesh->mSmoothing = {1, 2, 3, 0};
            const float identity[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
            std::memcpy(mesh->mLocalAxes, identity, sizeof identity);
            Ftk::WriteMesh(db, mesh);
            Ftk::ReleaseMesh(&mesh);
        }));
        Session session;
        ASSERT_TRUE(session.Read(in));
        ASSERT_TRUE(session.Write(out));
        Lib3dsOwner source(in), written(out);
        ASSERT_TRUE(source.file && written.file);
        Lib3dsMesh* a = lib3ds_file_mesh_by_name(source.file, "Fan");
        Lib3dsMesh* b = lib3ds_file_mesh_by_name(written.file, "Fan");
        ASSERT_TRUE(a && b);
        EXPECT_EQ(b->points, a->points);
        ASSERT_EQ(b->faces, a->faces);
        const std::vector<std::array<float, 3>> na = CornerNormals(a), nb = CornerNormals(b);
        for (Lib3dsDword f = 0; f < a->faces; ++f)
            for (int k = 0; k < 3; ++k) {
                const float* pa = a->pointL[a->faceL[f].points[k]].pos;
                const float* pb = b->pointL[b->faceL[f].points[k]].pos;
                // The written file is in the source's units.
                for (int j = 0; j < 3; ++j)
                    ASSERT_EQ(pb[j], pa[j]) << f;
                EXPECT_LT(Degrees(na[(size_t)f * 3 + k], nb[(size_t)f * 3 + k]), 0.01) << f << " " << k;
            }
        for (Lib3dsDword f = 0; f < a->faces; ++f)
            EXPECT_EQ(b->faceL[f].flags, a->faceL[f].flags) << f;
        // A second trip keeps them too.
        const std::string again = dir / "fan_again.3ds";
        Session second;
        ASSERT_TRUE(second.Read(out));
        ASSERT_TRUE(second.Write(again));
        Lib3dsOwner third(again);
        ASSERT_TRUE(third.file);
        Lib3dsMesh* c = lib3ds_file_mesh_by_name(third.file, "Fan");
        ASSERT_TRUE(c);
        ASSERT_EQ(c->faces, a->faces);
        EXPECT_EQ(c->points, a->points);
        for (Lib3dsDword f = 0; f < a->faces; ++f)
            EXPECT_EQ(c->faceL[f].flags, a->faceL[f].flags) << f;
    }
#endif
}

// 3DS -> 3DS keeps which corners share a vertex: a cube whose faces have four vertices each,
// all in smoothing group 1, with UVs that meet at the corners, stays 24 vertices and faceted in
// lib3ds; a box of 8 shared vertices whose faces smooth apart (a group each, or none) stays 8.
TEST(faces3ds_interop, ATripKeepsTheVerticesTheSourceSharesAndKeepsApart) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << "lib3ds (lib3ds-dev) is not installed";
#else
    ScratchDir dir("sharing");
    // The eight corners of a unit cube and its six faces as corner numbers (outward).
    const float corners[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                 {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
    const int sides[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                             {2, 3, 7, 6}, {1, 2, 6, 5}, {3, 0, 4, 7}};
    auto cube = [&](bool ownVertices, const std::vector<uint32_t>& masks) {
        return [=](Ftk::Database* db) {
            ftkscene::PutMeshSettings(db);
            Ftk::Mesh* mesh = nullptr;
            const int points = ownVertices ? 24 : 8;
            Ftk::InitMesh(&mesh, points, 12, (uint32_t)(Ftk::kMeshSmoothing | Ftk::kMeshMapping));
            std::strcpy(mesh->mName, "Cube");
            mesh->mVertices.clear();
            mesh->mMapping.clear();
            mesh->mFaces.clear();
            auto add = [&](int c) {
                mesh->mVertices.push_back({corners[c][0], corners[c][1], corners[c][2]});
                // A UV of the corner alone: faces meet there with one UV.
                mesh->mMapping.push_back({corners[c][0] * 0.5f + corners[c][2] * 0.25f, corners[c][1]});
            };
            if (!ownVertices)
                for (int c = 0; c < 8; ++c)
                    add(c);
            for (int side = 0; side < 6; ++side) {
                uint16_t v[4];
                for (int k = 0; k < 4; ++k) {
                    if (ownVertices) add(sides[side][k]);
                    v[k] = (uint16_t)(ownVertices ? side * 4 + k : sides[side][k]);
                }
                mesh->mFaces.push_back({v[0], v[1], v[2], 3});
                mesh->mFaces.push_back({v[2], v[3], v[0], 3});
            }
            mesh->mSmoothing.assign(12, 1u);
            for (int f = 0; f < 12; ++f)
                mesh->mSmoothing[(size_t)f] = masks[(size_t)f / 2 % masks.size()];
            const float identity[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
            std::memcpy(mesh->mLocalAxes, identity, sizeof identity);
            Ftk::WriteMesh(db, mesh);
            Ftk::ReleaseMesh(&mesh);
        };
    };
    struct Case {
        const char* name;
        bool ownVertices;
        std::vector<uint32_t> masks;
        unsigned points;
    };
    const Case cases[] = {{"own vertices, group 1", true, {1}, 24},
                          {"shared vertices, a group each", false, {1, 2, 4, 8, 16, 32}, 8},
                          {"shared vertices, no group", false, {0}, 8}};
    for (const Case& c : cases) {
        const std::string in = dir / "cube.3ds", out = dir / "cube_out.3ds";
        ASSERT_TRUE(ftkscene::WriteSceneFile(in, cube(c.ownVertices, c.masks))) << c.name;
        Session session;
        ASSERT_TRUE(session.Read(in)) << c.name;
        ASSERT_TRUE(session.Write(out)) << c.name;
        Lib3dsOwner source(in), written(out);
        ASSERT_TRUE(source.file && written.file) << c.name;
        Lib3dsMesh* a = lib3ds_file_mesh_by_name(source.file, "Cube");
        Lib3dsMesh* b = lib3ds_file_mesh_by_name(written.file, "Cube");
        ASSERT_TRUE(a && b) << c.name;
        EXPECT_EQ(a->points, c.points) << c.name;
        EXPECT_EQ(b->points, c.points) << c.name;
        ASSERT_EQ(b->faces, a->faces) << c.name;
        // Faceted in lib3ds, as the source: every corner's normal is its face's, an axis.
        const std::vector<std::array<float, 3>> nb = CornerNormals(b);
        for (Lib3dsDword f = 0; f < b->faces; ++f) {
            const Lib3dsFace& face = b->faceL[f];
            const float* p[3];
            for (int k = 0; k < 3; ++k)
                p[k] = b->pointL[face.points[k]].pos;
            const std::array<float, 3> u = {p[1][0] - p[0][0], p[1][1] - p[0][1], p[1][2] - p[0][2]};
            const std::array<float, 3> v = {p[2][0] - p[0][0], p[2][1] - p[0][1], p[2][2] - p[0][2]};
            const std::array<float, 3> own = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2],
                                              u[0] * v[1] - u[1] * v[0]};
            for (int k = 0; k < 3; ++k)
                EXPECT_LT(Degrees(nb[(size_t)f * 3 + k], own), 0.01)
                    << c.name << ": face " << f << " corner " << k;
        }
    }
#endif
}

TEST(faces3ds_interop, ChunksOfUnexpectedLengthAreSkippedAndNoRangeIsMadeUp) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << "lib3ds (lib3ds-dev) is not installed";
#else
    ScratchDir dir("length");
    auto chunk = [](uint16_t tag, const std::string& data) {
        std::string out(6, '\0');
        const uint32_t length = (uint32_t)(6 + data.size());
        out[0] = (char)(tag & 0xFF);
        out[1] = (char)(tag >> 8);
        for (int i = 0; i < 4; ++i)
            out[(size_t)(2 + i)] = (char)((length >> (8 * i)) & 0xFF);
        return out + data;
    };
    auto bytes = [](const void* data, size_t size) { return std::string((const char*)data, size); };
    const float points[12] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
    const uint16_t faces[9] = {2, 0, 1, 2, 7, 0, 2, 3, 7};
    const uint16_t four = 4;
    const uint32_t version = 3;
    const std::string mesh = chunk(
        0x4000, std::string("Box", 4) + chunk(0x4100, chunk(0x4110, bytes(&four, 2) + bytes(points, 48)) +
                                                          chunk(0x4120, bytes(faces, 18))));
    const std::string node = chunk(0xB002, chunk(0xB010, std::string("Box\0\0\0\0\0\xFF\xFF", 10)));
    // Two position keys at the ends of the 32-bit frames.
    std::string keys = std::string(10, '\0') + "\x02\0\0\0";
    for (const int32_t frame : {INT32_MIN, INT32_MAX})
        keys += bytes(&frame, 4) + std::string(2, '\0') + bytes(points + 3, 12);
    const std::string keyed =
        chunk(0xB002, chunk(0xB010, std::string("Box\0\0\0\0\0\xFF\xFF", 10)) + chunk(0xB020, keys));
    // Chunks of a length their layout does not hold, each skipped with a warning that names it;
    // the rest of the file is read. Without keyframer: a shadow map size of 4 bytes (2 are its
    // value), a master scale of 2 bytes (4 are its value), an empty background image name, solid
    // background and ambient light. A keyframer header without data or without its length, and
    // a material's empty shading. A keyframer without header or segment spans what readers give
    // it, not its keys.
    const struct {
        const char* name;
        std::string editor, keyframer;
        std::vector<const char*> tags;
    } cases[] = {
        {"editor values",
         chunk(0x1420, std::string("\x00\x02\x00\x00", 4)) + chunk(0x0100, std::string("\x00\x00", 2)) +
             chunk(0x1100, "") + chunk(0x1200, "") + chunk(0x2100, ""),
         "",
         {"0x1420", "0x0100", "0x1100", "0x1200", "0x2100"}},
        {"keyframer header of no data", "", chunk(0xB00A, "") + node, {"0xB00A"}},
        {"keyframer header without its length",
         "",
         chunk(0xB00A, std::string("\x05\x00S", 4)) + node,
         {"0xB00A"}},
        {"no header, keys at the ends of the frames", "", keyed, {}},
        {"empty shading",
         chunk(0xAFFF, chunk(0xA000, std::string("Red", 4)) + chunk(0xA100, "")),
         "",
         {"0xA100"}},
    };
    for (const auto& c : cases) {
        const std::string data = chunk(0x3D3E, bytes(&version, 4)) + c.editor + mesh;
        const std::string file =
            chunk(0x4D4D, chunk(0x0002, bytes(&version, 4)) + chunk(0x3D3D, data) +
                              (c.keyframer.empty() ? std::string() : chunk(0xB000, c.keyframer)));
        const std::string in = dir / "odd.3ds", out = dir / "odd_out.3ds";
        {
            std::ofstream stream(in, std::ios::binary);
            stream << file;
        }
        Session session;
        VOxaReader3DS reader(&session.manager);
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        ASSERT_TRUE(reader.FileOpen(in.c_str()) && reader.Read(session.scene, options.get())) << c.name;
        const std::string messages = reader.GetMessageText().Buffer();
        reader.FileClose();
        for (const char* tag : c.tags) {
            const size_t at = messages.find(tag);
            EXPECT_NE(at, std::string::npos) << c.name << ": " << tag << ": " << messages;
            EXPECT_EQ(messages.find(tag, at + 1), std::string::npos) << c.name << ": " << messages;
        }
        ASSERT_TRUE(session.Node("Box")) << c.name;
        ASSERT_TRUE(session.Write(out)) << c.name;

        Lib3dsOwner source(in), written(out);
        ASSERT_TRUE(source.file && written.file) << c.name;
        Lib3dsMesh* box = lib3ds_file_mesh_by_name(written.file, "Box");
        ASSERT_TRUE(box) << c.name;
        EXPECT_EQ(box->faces, 2u) << c.name;
        // The range lib3ds gives the source (none in the file) is the written one.
        EXPECT_EQ(written.file->segment_from, source.file->segment_from) << c.name;
        EXPECT_EQ(written.file->segment_to, source.file->segment_to) << c.name;
        if (c.keyframer.empty()) EXPECT_EQ(written.file->frames, source.file->frames) << c.name;
    }
#endif
}

TEST(faces3ds_interop, APolygonOfMoreCornersThanAnObjectHoldsIsSplitIntoObjects) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << "lib3ds (lib3ds-dev) is not installed";
#else
    ScratchDir dir("huge");
    const std::string out = dir / "huge.3ds";
    // A disc of radius 1 with 70,000 corners, one polygon, a hard-edged normal per corner.
    const int n = 70000;
    std::vector<VgeTVector> points;
    std::vector<int> polygon;
    for (int i = 0; i < n; ++i) {
        const double a = 2 * kPi * i / n;
        points.push_back(VgeTVector(std::cos(a), 0, -std::sin(a), 1));
        polygon.push_back(i);
    }
    Session session;
    VOxaMesh* mesh =
        writer3ds::AddMesh(session.manager, session.scene->GetRootNode(), "Disc", points, {polygon});
    VOxaMaterial* material = session.manager.CreateMaterial("Slate");
    mesh->AddMaterial(material, 0);
    ASSERT_TRUE(session.Write(out));
    EXPECT_EQ(session.messages.find("not written"), std::string::npos) << session.messages;
    Lib3dsOwner file(out);
    ASSERT_TRUE(file.file);
    // The parts' faces cover the disc once: n - 2 triangles whose areas sum to the polygon's.
    const double expected = 0.5 * n * std::sin(2 * kPi / n);
    long faces = 0;
    double area = 0;
    int objects = 0;
    for (Lib3dsMesh* m = file.file->meshes; m; m = m->next) {
        ++objects;
        const std::string name = m->name;
        EXPECT_TRUE(name == "Disc" || name.rfind("Disc_", 0) == 0) << name;
        EXPECT_LE(m->points, 65535u);
        EXPECT_LE(m->faces, 65535u);
        faces += m->faces;
        for (Lib3dsDword f = 0; f < m->faces; ++f) {
            EXPECT_STREQ(m->faceL[f].material, "Slate");
            const float* a = m->pointL[m->faceL[f].points[0]].pos;
            const float* b = m->pointL[m->faceL[f].points[1]].pos;
            const float* c = m->pointL[m->faceL[f].points[2]].pos;
            // Facing +z in the file (the scene's +y).
            area += 0.5 * (((double)b[0] - a[0]) * ((double)c[1] - a[1]) -
                           ((double)b[1] - a[1]) * ((double)c[0] - a[0]));
        }
    }
    EXPECT_EQ(objects, 2);
    EXPECT_EQ(faces, n - 2);
    EXPECT_NEAR(area, expected, 1e-4);
    EXPECT_TRUE(lib3ds_file_mesh_by_name(file.file, "Disc_2"));
#endif
}

// A texture only added to a mesh (a scene built in code, no mapping) is on every face, with or
// without a material, as the OBJ writer takes it.
TEST(faces3ds_interop, ATextureAddedWithoutAMappingIsOnEveryFace) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << "lib3ds (lib3ds-dev) is not installed";
#else
    ScratchDir dir("added");
    for (const bool withMaterial : {false, true}) {
        Session session;
        const std::vector<VgeTVector> points = {VgeTVector(0, 0, 0, 1), VgeTVector(1, 0, 0, 1),
                                                VgeTVector(1, 1, 0, 1), VgeTVector(0, 1, 0, 1),
                                                VgeTVector(2, 0, 0, 1)};
        VOxaMesh* mesh = writer3ds::AddMesh(session.manager, session.scene->GetRootNode(), "Added", points,
                                            {{0, 1, 2}, {2, 3, 0}, {1, 4, 2}});
        mesh->InitTextureUV(5);
        for (int i = 0; i < 5; ++i)
            mesh->GetTextureUV()[i] = VgeVector2(points[(size_t)i][0] * 0.5, points[(size_t)i][1]);
        if (withMaterial) mesh->AddMaterial(session.manager.CreateMaterial("Paint"), 0);
        VOxaTexture* texture = session.manager.CreateTexture("wood");
        texture->SetFileName("wood.bmp");
        mesh->AddTexture(texture, 0);
        const std::string out = dir / "added.3ds";
        ASSERT_TRUE(session.Write(out)) << session.messages;
        Lib3dsOwner file(out);
        ASSERT_TRUE(file.file);
        Lib3dsMesh* written = lib3ds_file_mesh_by_name(file.file, "Added");
        ASSERT_TRUE(written);
        ASSERT_EQ(written->faces, 3u);
        for (Lib3dsDword f = 0; f < written->faces; ++f) {
            Lib3dsMaterial* m = lib3ds_file_material_by_name(file.file, written->faceL[f].material);
            ASSERT_NE(m, nullptr) << "face " << f << " material " << written->faceL[f].material;
            EXPECT_STREQ(m->texture1_map.name, "wood.bmp")
                << "face " << f << (withMaterial ? " (material)" : "");
        }
        EXPECT_EQ(written->texels, written->points);
    }
#endif
}
