#include "formats/geometry/voxa_geometry_write.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "attributes/voxa_mesh.h"
#include "formats/geometry/dxf/voxa_writer_dxf.h"
#include "formats/geometry/obj/voxa_writer_obj.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "tests/support/test_files.h"

namespace {

struct Point {
    double x, y, z;
};

// The point turned by the Euler angles (degrees) about X, then Y, then Z.
Point Turn(Point p, const VgeTVector& angles) {
    const double k = std::acos(-1.0) / 180.0;
    double c = std::cos(angles[0] * k), s = std::sin(angles[0] * k);
    p = {p.x, p.y * c - p.z * s, p.y * s + p.z * c};
    c = std::cos(angles[1] * k), s = std::sin(angles[1] * k);
    p = {p.x * c + p.z * s, p.y, -p.x * s + p.z * c};
    c = std::cos(angles[2] * k), s = std::sin(angles[2] * k);
    return {p.x * c - p.y * s, p.x * s + p.y * c, p.z};
}

// One level of the pivot-set transform at default values: scaling, post-rotation, rotation and
// pre-rotation in turn, then the translation moved by the rotation pivot and offset.
struct Level {
    VgeTVector t{0, 0, 0, 0}, r{0, 0, 0, 0}, s{1, 1, 1, 0};
    VgeTVector pivot{0, 0, 0, 0}, offset{0, 0, 0, 0}, pre{0, 0, 0, 0}, post{0, 0, 0, 0};

    Point Carry(Point p) const {
        p = {p.x * s[0], p.y * s[1], p.z * s[2]};
        p = Turn(Turn(Turn(p, post), r), pre);
        return {p.x + t[0] + pivot[0] + offset[0], p.y + t[1] + pivot[1] + offset[1],
                p.z + t[2] + pivot[2] + offset[2]};
    }
    void ApplyTo(VOxaNode* node) const {
        node->SetLclTranslation(t);
        node->SetLclRotation(r);
        node->SetLclScaling(s);
        node->SetPivotState(0, 0);
        node->SetRotationPivot(0, pivot);
        node->SetRotationOffset(0, offset);
        node->SetPreRotation(0, pre);
        node->SetPostRotation(0, post);
    }
};

const std::vector<Point> kPoints = {{1, 0, 0}, {0, 2, 0}, {0, 0, 3}, {-1.5, 0.5, 2}};

// The numbers of the (code, value) pairs of every VERTEX record of a polyface mesh (flag 192).
std::vector<Point> DxfVertices(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::pair<int, std::string>> groups;
    std::string code, value;
    while (std::getline(in, code) && std::getline(in, value))
        groups.emplace_back(std::stoi(code), value);
    std::vector<Point> out;
    for (size_t i = 0; i < groups.size(); ++i) {
        if (groups[i].first != 0 || groups[i].second != "VERTEX") continue;
        Point p{0, 0, 0};
        int flag = 0;
        for (size_t j = i + 1; j < groups.size() && groups[j].first != 0; ++j) {
            const double v = std::atof(groups[j].second.c_str());
            if (groups[j].first == 10) p.x = v;
            if (groups[j].first == 20) p.y = v;
            if (groups[j].first == 30) p.z = v;
            if (groups[j].first == 70) flag = std::atoi(groups[j].second.c_str());
        }
        // Written Z up: (x, y, z) is stored as (x, -z, y).
        if (flag == 192) out.push_back({p.x, p.z, -p.y});
    }
    return out;
}

std::vector<Point> ObjVertices(const std::string& text) {
    std::istringstream in(text);
    std::vector<Point> out;
    std::string line;
    while (std::getline(in, line)) {
        Point p;
        if (std::sscanf(line.c_str(), "v %lf %lf %lf", &p.x, &p.y, &p.z) == 3) out.push_back(p);
    }
    return out;
}

void ExpectPoints(const std::vector<Point>& got, const std::vector<Point>& want, const char* what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_NEAR(got[i].x, want[i].x, 2e-6) << what << " point " << i;
        EXPECT_NEAR(got[i].y, want[i].y, 2e-6) << what << " point " << i;
        EXPECT_NEAR(got[i].z, want[i].z, 2e-6) << what << " point " << i;
    }
}

}  // namespace

TEST(geometry_write, WorldPointsOfBothWritersFollowPivotsOffsetsAndPreRotation) {
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaNode* parent = manager.CreateNode("Arm");
    scene->GetRootNode()->AddChild(parent);
    VOxaNode* node = manager.CreateNode("Hand");
    parent->AddChild(node);
    VOxaMesh* mesh = manager.CreateMesh();
    node->SetNodeAttribute(mesh);
    mesh->InitControlPoints((int)kPoints.size());
    for (size_t i = 0; i < kPoints.size(); ++i)
        mesh->GetControlPoints()[i] = VgeTVector(kPoints[i].x, kPoints[i].y, kPoints[i].z, 1);
    mesh->BeginPolygon(-1);
    for (int i = 0; i < 3; ++i)
        mesh->AddPolygonVertex(i);
    mesh->EndPolygon();

    Level arm;
    arm.t = VgeTVector(5, -2, 1, 0);
    arm.r = VgeTVector(0, 30, 0, 0);
    Level hand;
    hand.t = VgeTVector(1, 2, 3, 0);
    hand.r = VgeTVector(20, -35, 50, 0);
    hand.s = VgeTVector(2, 0.5, 1.5, 0);
    hand.pivot = VgeTVector(0.5, -1, 2, 0);
    hand.offset = VgeTVector(-3, 0.25, 1, 0);
    hand.pre = VgeTVector(90, 0, 45, 0);
    hand.post = VgeTVector(0, 0, -30, 0);
    arm.ApplyTo(parent);
    hand.ApplyTo(node);

    std::vector<Point> want;
    for (const Point& p : kPoints)
        want.push_back(arm.Carry(hand.Carry(p)));

    oxa_test::ScratchDir dir("oxa_geometry_write_", "world");
    {
        VOxaWriterObj writer(&manager);
        std::unique_ptr<VStreamOptions> options(writer.GetWriteOptions());
        ASSERT_TRUE(writer.FileCreate((dir / "hand.obj").c_str()));
        ASSERT_TRUE(writer.Write(scene, options.get()));
        ASSERT_TRUE(writer.FileClose());
    }
    {
        VOxaWriterDxf writer(&manager);
        std::unique_ptr<VStreamOptions> options(writer.GetWriteOptions());
        ASSERT_TRUE(writer.FileCreate((dir / "hand.dxf").c_str()));
        ASSERT_TRUE(writer.Write(scene, options.get()));
        ASSERT_TRUE(writer.FileClose());
    }
    ExpectPoints(ObjVertices(oxa_test::ReadFile(dir / "hand.obj")), want, "OBJ");
    ExpectPoints(DxfVertices(oxa_test::ReadFile(dir / "hand.dxf")), want, "DXF");

    // The matrix itself: world points of the node, the identity without one.
    const VgeAMatrix m = VOxaGeometryWorldMatrix(node);
    const VgeTVector moved = m.MultT(VgeTVector(kPoints[3].x, kPoints[3].y, kPoints[3].z, 1));
    EXPECT_NEAR(moved[0], want[3].x, 1e-9);
    EXPECT_NEAR(moved[1], want[3].y, 1e-9);
    EXPECT_NEAR(moved[2], want[3].z, 1e-9);
    const VgeAMatrix none = VOxaGeometryWorldMatrix(nullptr);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_EQ(none[i][j], i == j ? 1.0 : 0.0) << i << " " << j;
}

namespace {

// The number of times `part` occurs in `text`.
int Count(const std::string& text, const std::string& part) {
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

}  // namespace

TEST(geometry_write, TextureCopierTakesImagesFromAllowedFoldersOnly) {
    namespace fs = std::filesystem;
    oxa_test::ScratchDir dir("texcopy", "");
    fs::create_directories(dir / "models/tex");
    fs::create_directories(dir / "textures");
    fs::create_directories(dir / "text");
    fs::create_directories(dir / "out/sub");
    oxa_test::WriteFile(dir / "models/tex/wood.png", "wood");
    oxa_test::WriteFile(dir / "models/leaf.png", "leaf");
    oxa_test::WriteFile(dir / "secret.png", "secret");
    oxa_test::WriteFile(dir / "textures/stone.png", "stone");
    fs::create_symlink(dir / "secret.png", dir / "models/link.png");
    fs::create_symlink(dir / "models/leaf.png", dir / "textures/inner.png");
    const std::string models = dir / "models", out = dir / "out/scene.obj";

    VOxaTextureCopier copier;
    copier.Begin(nullptr);
    VString messages;
    // Below and beside the folder of the file that named them, relative or absolute.
    EXPECT_TRUE(copier.Copy("tex/wood.png", models.c_str(), out.c_str(), messages)) << messages.Buffer();
    EXPECT_TRUE(copier.Copy((dir / "models/leaf.png").c_str(), models.c_str(), out.c_str(), messages));
    EXPECT_EQ(oxa_test::ReadFile(dir / "out/wood.png"), "wood");
    EXPECT_EQ(oxa_test::ReadFile(dir / "out/leaf.png"), "leaf");
    EXPECT_TRUE(messages.IsEmpty()) << messages.Buffer();

    // Outside it: up the tree, absolute, or through a link; one line per image, however often.
    EXPECT_FALSE(copier.Copy("../secret.png", models.c_str(), out.c_str(), messages));
    EXPECT_FALSE(copier.Copy((dir / "secret.png").c_str(), models.c_str(), out.c_str(), messages));
    EXPECT_FALSE(copier.Copy("link.png", models.c_str(), out.c_str(), messages));
    EXPECT_FALSE(copier.Copy("../textures/stone.png", models.c_str(), out.c_str(), messages));
    EXPECT_FALSE(fs::exists(dir / "out/secret.png"));
    EXPECT_FALSE(fs::exists(dir / "out/link.png"));
    EXPECT_FALSE(fs::exists(dir / "out/stone.png"));
    const std::string text = messages.Buffer();
    EXPECT_EQ(Count(text, "is outside the folders textures are copied from; not copied."), 2) << text;
    EXPECT_EQ(Count(text, "/secret.png\" is outside"), 1) << text;
    EXPECT_EQ(Count(text, "stone.png\" is outside"), 1) << text;
    // A missing image is reported as such, not as refused.
    EXPECT_FALSE(copier.Copy("none.png", models.c_str(), out.c_str(), messages));
    EXPECT_NE(messages.Find("Unable to locate texture file \""), -1);
    // A missing image whose file was put beside the output before is there; a folder of its
    // name is not an image.
    messages = "";
    oxa_test::WriteFile(dir / "out/before.png", "before");
    fs::create_directories(dir / "out/folder.png");
    EXPECT_TRUE(copier.Copy("before.png", models.c_str(), out.c_str(), messages));
    EXPECT_TRUE(messages.IsEmpty()) << messages.Buffer();
    EXPECT_FALSE(copier.Copy("folder.png", models.c_str(), out.c_str(), messages));
    EXPECT_NE(messages.Find("Unable to locate texture file \""), -1);
    // A drive name belongs to another system, with either separator.
    messages = "";
    for (const char* name : {"C:/models/leaf.png", "d:\\models\\leaf.png"})
        EXPECT_FALSE(copier.Copy(name, models.c_str(), out.c_str(), messages)) << name;
    EXPECT_EQ(Count(messages.Buffer(), "is outside the folders"), 2) << messages.Buffer();

    // A texture made in memory: only the folders of the options. A folder whose name starts the
    // same ("text" before "textures") does not count.
    VStreamOptionsObj* options = VStreamOptionsObj::Create();
    options->AddTextureFolder("");
    options->AddTextureFolder((dir / "text").c_str());
    copier.Begin(options);
    messages = "";
    EXPECT_FALSE(copier.Copy((dir / "textures/stone.png").c_str(), nullptr, out.c_str(), messages));
    EXPECT_EQ(Count(messages.Buffer(), "is outside"), 1) << messages.Buffer();
    options->AddTextureFolder((dir / "textures/").c_str());
    copier.Begin(options);
    EXPECT_TRUE(copier.Copy((dir / "textures/stone.png").c_str(), nullptr, out.c_str(), messages));
    EXPECT_EQ(oxa_test::ReadFile(dir / "out/stone.png"), "stone");
    // A link inside an allowed folder to a file inside another allowed folder is fine.
    options->AddTextureFolder(models.c_str());
    copier.Begin(options);
    EXPECT_TRUE(copier.Copy((dir / "textures/inner.png").c_str(), "", out.c_str(), messages));
    EXPECT_EQ(oxa_test::ReadFile(dir / "out/inner.png"), "leaf");
    // A relative name of a texture made in memory counts from the working directory.
    const fs::path cwd = fs::current_path();
    fs::current_path(dir / "textures");
    EXPECT_TRUE(copier.Copy("stone.png", nullptr, (dir / "out/sub/scene.obj").c_str(), messages));
    fs::current_path(cwd);
    EXPECT_EQ(oxa_test::ReadFile(dir / "out/sub/stone.png"), "stone");
    // After Begin a refused image is reported again, still once.
    messages = "";
    EXPECT_FALSE(copier.Copy((dir / "secret.png").c_str(), nullptr, out.c_str(), messages));
    EXPECT_FALSE(copier.Copy((dir / "secret.png").c_str(), nullptr, out.c_str(), messages));
    EXPECT_EQ(Count(messages.Buffer(), "is outside"), 1) << messages.Buffer();
    options->Destroy();
}

// A triangulated copy lives until the writer is done with its node: then it is destroyed, and a
// later Get makes it again; a node's own mesh is never destroyed.
TEST(geometry_write, ReleasedCopiesAreDestroyedAndOwnMeshesKept) {
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaNode* node = manager.CreateNode("quad");
    VOxaMesh* mesh = manager.CreateMesh();
    mesh->InitControlPoints(4);
    const VgeTVector corners[4] = {{0, 0, 0, 1}, {1, 0, 0, 1}, {1, 1, 0, 1}, {0, 1, 0, 1}};
    for (int i = 0; i < 4; ++i)
        mesh->GetControlPoints()[i] = corners[i];
    mesh->BeginPolygon(-1);
    for (int i = 0; i < 4; ++i)
        mesh->AddPolygonVertex(i);
    mesh->EndPolygon();
    node->SetNodeAttribute(mesh);
    scene->GetRootNode()->AddChild(node);
    const int before = manager.GetNodeAttributeCount();
    {
        VOxaWriteMeshes meshes(&manager, true);
        VOxaMesh* copy = meshes.Get(node);
        ASSERT_NE(copy, nullptr);
        ASSERT_NE(copy, mesh);
        EXPECT_EQ(copy->GetPolygonCount(), 2);
        EXPECT_EQ(manager.GetNodeAttributeCount(), before + 1);
        meshes.Release(node);
        EXPECT_EQ(manager.GetNodeAttributeCount(), before);
        VOxaMesh* again = meshes.Get(node);
        ASSERT_NE(again, nullptr);
        EXPECT_EQ(again->GetPolygonCount(), 2);
        meshes.Release(node);
        meshes.Release(node);  // twice: nothing more
        EXPECT_EQ(manager.GetNodeAttributeCount(), before);
    }
    {
        VOxaWriteMeshes meshes(&manager, false);
        EXPECT_EQ(meshes.Get(node), mesh);
        meshes.Release(node);
        EXPECT_EQ(node->GetMesh(), mesh);
        EXPECT_EQ(mesh->GetPolygonCount(), 1);
        EXPECT_EQ(manager.GetNodeAttributeCount(), before);
    }
}

// A writer that keeps triangle meshes gets a node's own mesh back when its triangulated copy
// would hold the same points, polygons and materials, and a copy otherwise: a polygon of more
// corners, or material indices by polygon that do not cover every polygon (the copy gives the
// missing ones material 0).
TEST(geometry_write, TriangleMeshesAreKeptOnlyWhenTheirCopyWouldMatch) {
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    auto meshOf = [&](const char* name, int corners) {
        VOxaNode* node = manager.CreateNode(name);
        VOxaMesh* mesh = manager.CreateMesh();
        mesh->InitControlPoints(4);
        const VgeTVector points[4] = {{0, 0, 0, 1}, {1, 0, 0, 1}, {1, 1, 0, 1}, {0, 1, 0, 1}};
        for (int i = 0; i < 4; ++i)
            mesh->GetControlPoints()[i] = points[i];
        mesh->InitMaterialIndices(3);
        for (int p = 0; p < (corners == 3 ? 2 : 1); ++p) {
            mesh->BeginPolygon(0);
            for (int i = 0; i < corners; ++i)
                mesh->AddPolygonVertex(corners == 3 ? (p * 2 + i) % 4 : i);
            mesh->EndPolygon();
        }
        node->SetNodeAttribute(mesh);
        scene->GetRootNode()->AddChild(node);
        return node;
    };
    VOxaNode* triangles = meshOf("triangles", 3);
    VOxaNode* shortIndices = meshOf("short", 3);
    shortIndices->GetMesh()->GetMaterialIndices()->SetCount(1);
    VOxaNode* quad = meshOf("quad", 4);
    const int before = manager.GetNodeAttributeCount();
    VOxaWriteMeshes meshes(&manager, true);
    meshes.KeepTriangleMeshes();
    EXPECT_EQ(meshes.Get(triangles), triangles->GetMesh());
    EXPECT_EQ(manager.GetNodeAttributeCount(), before);
    for (VOxaNode* node : {shortIndices, quad}) {
        VOxaMesh* copy = meshes.Get(node);
        ASSERT_NE(copy, nullptr);
        EXPECT_NE(copy, node->GetMesh());
        EXPECT_EQ(copy->GetPolygonCount(), 2);
        EXPECT_EQ(copy->GetMaterialIndices()->GetCount(), 2);
    }
    EXPECT_EQ(manager.GetNodeAttributeCount(), before + 2);
}
