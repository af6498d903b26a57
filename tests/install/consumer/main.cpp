// Reads each file named on the command line through the importer and prints what it holds:
//     <file>: <n> nodes, <n> below the root node, <n> meshes, <n> joints, <n> markers[, <n> frames]
// (the frames of a motion file, as its reader found them). Reading goes through the format table
// that the library fills when it is first used, whatever the linker kept of the static library. The
// node header brings the property templates, which need C++17. It first checks that the installed
// version header names the version the CMake package said it is. It has a base/vstring.h of its
// own, which the toolkit's headers must leave alone.
#include <cstdio>
#include <cstring>

#include <oxa/base/oxa_version.h>

#include <oxa/oxa_codec/voxa_importer.h>
#include <oxa/oxa_codec/vstream_options.h>
#include <oxa/scene/voxa_node.h>
#include <oxa/scene/voxa_node_attribute.h>
#include <oxa/scene/voxa_scene.h>
#include <oxa/scene/voxa_scene_contents.h>
#include <oxa/scene/voxa_sdk_manager.h>

// The consumer's own header of that name.
#include "base/vstring.h"

namespace {

// Counts the nodes below `node` (itself included) whose attribute is of `type`.
int CountOfType(const VOxaNode* node, int type) {
    const VOxaNodeAttribute* attribute = node->GetNodeAttribute();
    int count = attribute && attribute->GetAttributeType() == type ? 1 : 0;
    for (int k = 0; k < node->GetChildCount(); ++k)
        count += CountOfType(node->GetChild(k), type);
    return count;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: oxa_consumer FILE...\n");
        return 2;
    }
    char version[32];
    std::snprintf(version, sizeof version, "%d.%d.%d", OXA_VERSION_MAJOR, OXA_VERSION_MINOR,
                  OXA_VERSION_PATCH);
    if (std::strcmp(OXA_VERSION_STRING, OXA_PACKAGE_VERSION) != 0 ||
        std::strcmp(version, OXA_VERSION_STRING) != 0) {
        std::fprintf(stderr, "oxa_consumer: the version header says %s (%s), the package %s\n",
                     OXA_VERSION_STRING, version, OXA_PACKAGE_VERSION);
        return 1;
    }
    const consumer::VString own = {"oxa_consumer"};
    VOxaSdkManager* manager = VOxaSdkManager::Create();
    if (!manager) return 1;
    int status = 0;
    for (int k = 1; k < argc; ++k) {
        VOxaScene* scene = manager->CreateScene();
        VOxaImporter* importer = scene ? manager->CreateImporter() : nullptr;
        // A reader without options of its own reads with its defaults.
        bool ok = importer && importer->Initialize(argv[k]);
        VStreamOptions* options = ok ? importer->GetReadOptions() : nullptr;
        ok = ok && (options || importer->GetError().GetLastErrorID() < 0) && importer->Import(scene, options);
        const VOxaNode* root = ok ? scene->GetRootNode() : nullptr;
        if (!root) {
            std::fprintf(stderr, "%s: %s: %s\n", own.text, argv[k],
                         importer ? importer->GetError().GetLastErrorString().Buffer() : "out of memory");
            status = 1;
        } else {
            std::printf("%s: %d nodes, %d below the root node, %d meshes, %d joints, %d markers", argv[k],
                        scene->GetContents()->GetNodeCount(), root->GetChildCount(true),
                        CountOfType(root, VOxaNodeAttribute::eMesh),
                        CountOfType(root, VOxaNodeAttribute::eSkeleton),
                        CountOfType(root, VOxaNodeAttribute::eMarker));
            if (options && options->IsA(VStreamOptionsMotion::ClassId))
                std::printf(", %d frames", static_cast<VStreamOptionsMotion*>(options)->GetFrameCount());
            std::printf("\n");
        }
        if (options) options->Destroy();
        if (importer) manager->DestroyImporter(importer);
        if (scene) manager->DestroyScene(scene);
    }
    delete manager;
    return status;
}
