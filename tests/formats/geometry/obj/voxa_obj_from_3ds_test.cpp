// 3DS scenes written as OBJ: what the 3DS file holds, and only that, reaches the OBJ file.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <sstream>

#include "formats/geometry/3ds/voxa_reader_3ds.h"
#include "formats/geometry/obj/voxa_writer_obj.h"
#include "oxa_codec/vstream_options.h"
#include "tests/formats/geometry/3ds/ftk_scene_file_test_util.h"
#include "tests/formats/geometry/obj/obj_test_util.h"

using namespace objtest;

namespace {

// Reads the 3DS file and writes it as OBJ; the OBJ text.
std::string ObjOf(const ScratchDir& dir, const std::string& path3ds) {
    VOxaSdkManager manager;
    VOxaScene* read = manager.CreateScene();
    VOxaReader3DS reader(&manager);
    std::unique_ptr<VStreamOptions> ropt(reader.GetReadOptions());
    EXPECT_TRUE(reader.FileOpen(path3ds.c_str()) && reader.Read(read, ropt.get()) && reader.FileClose());
    const std::string pathObj = dir / "mesh.obj";
    VOxaWriterObj obj(&manager);
    std::unique_ptr<VStreamOptions> oopt(obj.GetWriteOptions());
    EXPECT_TRUE(obj.FileCreate(pathObj.c_str()) && obj.Write(read, oopt.get()) && obj.FileClose());
    return ReadText(pathObj);
}

std::vector<std::vector<double>> Rows(const std::string& text, const std::string& keyword) {
    std::vector<std::vector<double>> rows;
    for (const std::string& line : Lines(text, keyword + " ")) {
        std::istringstream in(line.substr(keyword.size()));
        std::vector<double> row;
        double value;
        while (in >> value)
            row.push_back(value);
        rows.push_back(row);
    }
    return rows;
}

TEST(obj_from_3ds, AMeshWithoutMappingGetsNoUVsAndEveryFaceANormalOfItsOwn) {
    // A sheet and its back sharing their points in one smoothing group, so that their point
    // normals cancel; no mapping coordinates.
    ScratchDir dir("from3ds");
    const std::string path3ds = dir / "sheet.3ds";
    ASSERT_TRUE(ftkscene::WriteSceneFile(path3ds, [](Ftk::Database* db) {
        ftkscene::PutMeshSettings(db);
        Ftk::Mesh* mesh = nullptr;
        Ftk::InitMesh(&mesh, 3, 2, (uint32_t)Ftk::kMeshSmoothing);
        std::strcpy(mesh->mName, "sheet");
        mesh->mVertices = {{0, 0, 0}, {2, 0, 0}, {0, 3, 0}};
        mesh->mFaces = {{0, 1, 2, 0}, {0, 2, 1, 0}};
        mesh->mSmoothing = {1u, 1u};
        const float identity[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
        std::memcpy(mesh->mLocalAxes, identity, sizeof identity);
        Ftk::WriteMesh(db, mesh);
        Ftk::ReleaseMesh(&mesh);
    }));
    const std::string text = ObjOf(dir, path3ds);
    EXPECT_TRUE(Lines(text, "vt").empty()) << text;
    const auto v = Rows(text, "v");
    const auto vn = Rows(text, "vn");
    const std::vector<std::string> faces = Lines(text, "f ");
    ASSERT_EQ(faces.size(), 2u) << text;
    for (const std::string& face : faces) {
        // Corners are v//vn: no texture coordinate.
        std::istringstream in(face.substr(2));
        std::string corner;
        std::vector<int> points, normals;
        while (in >> corner) {
            const size_t slash = corner.find("//");
            ASSERT_NE(slash, std::string::npos) << face;
            points.push_back(std::stoi(corner.substr(0, slash)));
            normals.push_back(std::stoi(corner.substr(slash + 2)));
        }
        ASSERT_EQ(points.size(), 3u);
        // The face's own normal from the written points: (p1 - p0) x (p2 - p0), unit length.
        const auto& p0 = v.at((size_t)points[0] - 1);
        const auto& p1 = v.at((size_t)points[1] - 1);
        const auto& p2 = v.at((size_t)points[2] - 1);
        const double a[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
        const double b[3] = {p2[0] - p0[0], p2[1] - p0[1], p2[2] - p0[2]};
        double n[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
        const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        ASSERT_GT(length, 0.0);
        for (int normal : normals)
            for (int i = 0; i < 3; ++i)
                EXPECT_NEAR(vn.at((size_t)normal - 1)[(size_t)i], n[i] / length, 1e-6) << face;
    }
}

}  // namespace
