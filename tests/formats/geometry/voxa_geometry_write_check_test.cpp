// The geometry writers check a scene built in code before they write: a mesh they cannot write
// whole is refused with the reason, and no file is left behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "attributes/voxa_mesh.h"
#include "oxa_codec/voxa_exporter.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "tests/support/test_files.h"

namespace {

struct DestroyOptions {
    void operator()(VStreamOptions* options) const {
        if (options) options->Destroy();
    }
};

// A scene with one mesh "Box": four points and a quad, changed by `spoil`.
struct Built {
    VOxaSdkManager* manager = VOxaSdkManager::Create();
    VOxaScene* scene = manager->CreateScene();
    VOxaMesh* mesh = manager->CreateMesh();
    Built() {
        VOxaNode* node = manager->CreateNode("Box");
        scene->GetRootNode()->AddChild(node);
        node->SetNodeAttribute(mesh);
        mesh->InitControlPoints(4);
        for (int i = 0; i < 4; ++i)
            mesh->GetControlPoints()[i] = VgeTVector(i & 1, i >> 1, 0, 1);
        mesh->BeginPolygon();
        for (int v : {0, 1, 3, 2})
            mesh->AddPolygonVertex(v);
        mesh->EndPolygon();
    }
    ~Built() { delete manager; }

    // Writes the scene; the error text when refused, "" when written.
    std::string Write(const std::string& path) {
        VOxaExporter* exporter = manager->CreateExporter();
        EXPECT_TRUE(exporter->Initialize(path.c_str()));
        std::unique_ptr<VStreamOptions, DestroyOptions> options(exporter->GetWriteOptions());
        const bool written = exporter->Export(scene, options.get());
        std::string error = written ? "" : exporter->GetError().GetLastErrorString().Buffer();
        if (!written && error.empty()) error = "refused without a reason";
        manager->DestroyExporter(exporter);
        return error;
    }
};

}  // namespace

TEST(formats_GeometryWriteCheck, MeshesTheWritersCannotHoldAreRefusedWithTheReason) {
    oxa_test::ScratchDir dir("geometry_write_check", "");
    struct Case {
        const char* name;
        std::function<void(VOxaMesh*)> spoil;
        const char* reason;
    };
    const Case cases[] = {
        {"vertex past the points", [](VOxaMesh* m) { m->GetPolygonVertices()[2] = 4; },
         "names control point 4 of 4"},
        {"negative vertex", [](VOxaMesh* m) { m->GetPolygonVertices()[0] = -3; }, "names control point -3"},
    };
    for (const char* extension : {"obj", "dxf", "3ds"}) {
        {
            Built sound;
            EXPECT_EQ(sound.Write(dir / (std::string("sound.") + extension)), "") << extension;
        }
        for (const Case& c : cases) {
            Built built;
            c.spoil(built.mesh);
            const std::string path = dir / (std::string("spoilt.") + extension);
            const std::string error = built.Write(path);
            EXPECT_NE(error.find("Mesh \"Box\""), std::string::npos)
                << extension << ": " << c.name << ": " << error;
            EXPECT_NE(error.find(c.reason), std::string::npos)
                << extension << ": " << c.name << ": " << error;
            EXPECT_FALSE(std::filesystem::exists(path)) << extension << ": " << c.name;
        }
    }
}
