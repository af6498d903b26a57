// Shared helpers of the OBJ tests: a scratch folder, file text, and small meshes.
#ifndef OXA_TESTS_FORMATS_GEOMETRY_OBJ_OBJ_TEST_UTIL_H
#define OXA_TESTS_FORMATS_GEOMETRY_OBJ_OBJ_TEST_UTIL_H

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "attributes/voxa_mesh.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "tests/support/test_files.h"

namespace objtest {

namespace fs = std::filesystem;

// A fresh folder, removed with the object.
struct ScratchDir : oxa_test::ScratchDir {
    explicit ScratchDir(const std::string& tag) : oxa_test::ScratchDir("oxa_obj_", tag) {}
};

inline std::string ReadText(const std::string& path) {
    return oxa_test::ReadFile(path);
}

inline void WriteText(const std::string& path, const std::string& text) {
    oxa_test::WriteFile(path, text);
}

// The lines of `text` that start with `prefix`.
inline std::vector<std::string> Lines(const std::string& text, const std::string& prefix) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, prefix.size(), prefix) == 0) out.push_back(line);
    return out;
}

// A mesh node under the scene root with the points and polygons given (polygons as index lists).
inline VOxaMesh* AddMesh(VOxaSdkManager& manager, VOxaScene* scene, const char* name,
                         const std::vector<VgeTVector>& points, const std::vector<std::vector<int>>& polygons,
                         VOxaNode** nodeOut = nullptr) {
    VOxaNode* node = manager.CreateNode(name);
    scene->GetRootNode()->AddChild(node);
    VOxaMesh* mesh = manager.CreateMesh();
    node->SetNodeAttribute(mesh);
    mesh->InitControlPoints((int)points.size());
    for (size_t i = 0; i < points.size(); ++i)
        mesh->GetControlPoints()[i] = points[i];
    for (const std::vector<int>& polygon : polygons) {
        mesh->BeginPolygon(-1, -1, -1);
        for (int v : polygon)
            mesh->AddPolygonVertex(v, -1);
        mesh->EndPolygon();
    }
    if (nodeOut) *nodeOut = node;
    return mesh;
}

// The numbers after the keyword of an OBJ line, each within 1e-12 of the one expected.
inline void ExpectNumbers(const std::string& line, const std::vector<double>& expected) {
    std::istringstream in(line);
    std::string keyword;
    in >> keyword;
    std::vector<double> numbers;
    double value;
    while (in >> value)
        numbers.push_back(value);
    ASSERT_EQ(numbers.size(), expected.size()) << line;
    for (size_t i = 0; i < numbers.size(); ++i)
        EXPECT_NEAR(numbers[i], expected[i], 1e-12) << line;
}

inline std::vector<VgeTVector> Triangle(double x = 0.0) {
    return {VgeTVector(x, 0, 0, 1), VgeTVector(x + 1, 0, 0, 1), VgeTVector(x, 1, 0, 1)};
}

}  // namespace objtest

#endif  // OXA_TESTS_FORMATS_GEOMETRY_OBJ_OBJ_TEST_UTIL_H
