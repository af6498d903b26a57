// Reads each file named on the command line through the importer and prints its node count and how
// many nodes hang below the root node. Reading goes through the format table that the library fills
// from a static initialiser, so it fails when the link dropped that initialiser. The node header
// brings the property templates, which need C++17.
#include <cstdio>

#include <oxa/oxa_codec/voxa_importer.h>
#include <oxa/scene/voxa_node.h>
#include <oxa/scene/voxa_scene.h>
#include <oxa/scene/voxa_scene_contents.h>
#include <oxa/scene/voxa_sdk_manager.h>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: oxa_consumer FILE...\n");
        return 2;
    }
    VOxaSdkManager* manager = VOxaSdkManager::Create();
    if (!manager) return 1;
    int status = 0;
    for (int k = 1; k < argc; ++k) {
        VOxaScene* scene = manager->CreateScene();
        VOxaImporter* importer = scene ? manager->CreateImporter() : nullptr;
        if (!importer || !importer->Initialize(argv[k]) || !importer->Import(scene)) {
            std::fprintf(stderr, "%s: %s\n", argv[k],
                         importer ? importer->GetError().GetLastErrorString().Buffer() : "out of memory");
            status = 1;
        } else {
            const VOxaNode* root = scene->GetRootNode();
            std::printf("%s: %d nodes, %d below the root node\n", argv[k],
                        scene->GetContents()->GetNodeCount(), root ? root->GetChildCount(true) : 0);
        }
        if (importer) manager->DestroyImporter(importer);
        if (scene) manager->DestroyScene(scene);
    }
    delete manager;
    return status;
}
