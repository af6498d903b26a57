// Reads each file named on the command line through the importer and prints its node count and how
// many nodes hang below the root node. Reading goes through the format table that the library fills
// from a static initialiser, so it fails when the link dropped that initialiser. The node header
// brings the property templates, which need C++17.
//
// With --trc OUT first, it then writes the first file's motion to the TRC file OUT with the calls
// oxa-convert makes, reads OUT back and prints its frame and marker counts.
#include <cstdio>
#include <cstring>
#include <vector>

#include <oxa/oxa_codec/voxa_exporter.h>
#include <oxa/oxa_codec/voxa_importer.h>
#include <oxa/oxa_codec/voxa_io_formats.h>
#include <oxa/oxa_codec/vstream_options.h>
#include <oxa/scene/voxa_node.h>
#include <oxa/scene/voxa_node_attribute.h>
#include <oxa/scene/voxa_scene.h>
#include <oxa/scene/voxa_scene_contents.h>
#include <oxa/scene/voxa_sdk_manager.h>
#include <oxa/scene/voxa_take_info.h>

namespace {

// The writers write the marked nodes, and readers mark none: mark every node below the root that
// carries an attribute other than an optical reference (the node the markers of a marker file
// hang under).
void MarkNodesToWrite(VOxaNode* node, bool isRoot) {
    const VOxaNodeAttribute* attribute = node->GetNodeAttribute();
    if (!isRoot && attribute && attribute->GetAttributeType() != VOxaNodeAttribute::eOpticalReference)
        node->SetMarked(1);
    for (int k = 0; k < node->GetChildCount(); ++k)
        MarkNodesToWrite(node->GetChild(k), false);
}

// Writes the scene to `path` (TRC) with the reader's rate over the span of the current take.
bool WriteTrc(VOxaSdkManager* manager, VOxaScene* scene, const VStreamOptionsMotion* read, const char* path) {
    MarkNodesToWrite(scene->GetRootNode(), true);
    VOxaExporter* exporter = manager->CreateExporter();
    if (!exporter || !exporter->Initialize(path) || !exporter->SetFileFormat(VOxaFindWriterFormat("trc"))) {
        std::fprintf(stderr, "%s: no TRC writer\n", path);
        return false;
    }
    VStreamOptions* options = exporter->GetWriteOptions();
    auto* motion = static_cast<VStreamOptionsMotion*>(options);
    // Markers where they are in the world, at the rate the file was read with.
    motion->SetOption(VStreamOptionsMotion::eEXPORT_FROM_GLOBAL_POSITION, 1);
    motion->SetTimeMode(0, read->GetFrameRate());
    // The current take's span, one frame per period, both ends counted.
    const VOxaTakeInfo* take = scene->GetTakeInfo(scene->GetCurrentTakeName());
    const VTime start = take->mLocalTimeSpan.GetStart(), stop = take->mLocalTimeSpan.GetStop();
    motion->SetStartTime(start);
    motion->SetFrameCount((int)((stop.Get() - start.Get()) / motion->GetFramePeriod().Get()) + 1);
    const bool ok = exporter->Export(scene, options);
    if (!ok) std::fprintf(stderr, "%s: %s\n", path, exporter->GetError().GetLastErrorString().Buffer());
    options->Destroy();
    manager->DestroyExporter(exporter);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    const char* trc = nullptr;
    int first = 1;
    if (argc >= 3 && std::strcmp(argv[1], "--trc") == 0) {
        trc = argv[2];
        first = 3;
    }
    if (argc <= first) {
        std::fprintf(stderr, "usage: oxa_consumer [--trc OUT] FILE...\n");
        return 2;
    }
    VOxaSdkManager* manager = VOxaSdkManager::Create();
    if (!manager) return 1;
    int status = 0;
    std::vector<const char*> files(argv + first, argv + argc);
    if (trc) files.push_back(trc);
    for (size_t k = 0; k < files.size(); ++k) {
        VOxaScene* scene = manager->CreateScene();
        VOxaImporter* importer = scene ? manager->CreateImporter() : nullptr;
        // The reader's options carry the start, frame count and rate it found in the file; a reader
        // without options of its own reads with its defaults.
        bool ok = importer && importer->Initialize(files[k]);
        VStreamOptions* options = ok ? importer->GetReadOptions() : nullptr;
        ok = ok && (options || importer->GetError().GetLastErrorID() < 0) && importer->Import(scene, options);
        if (!ok) {
            std::fprintf(stderr, "%s: %s\n", files[k],
                         importer ? importer->GetError().GetLastErrorString().Buffer() : "out of memory");
            status = 1;
        } else {
            const VOxaNode* root = scene->GetRootNode();
            std::printf("%s: %d nodes, %d below the root node\n", files[k],
                        scene->GetContents()->GetNodeCount(), root ? root->GetChildCount(true) : 0);
            auto* motion = options && options->IsA(VStreamOptionsMotion::ClassId)
                               ? static_cast<VStreamOptionsMotion*>(options)
                               : nullptr;
            if (trc && k == 0 && (!motion || !WriteTrc(manager, scene, motion, trc))) status = 1;
            // The file written: its reader's options give the frames, its reference node the markers.
            if (trc && k + 1 == files.size() && motion && root && root->GetChildCount() == 1)
                std::printf("%s: %d frames, %d markers\n", files[k], motion->GetFrameCount(),
                            root->GetChild(0)->GetChildCount());
        }
        if (options) options->Destroy();
        if (importer) manager->DestroyImporter(importer);
        if (scene) manager->DestroyScene(scene);
    }
    delete manager;
    return status;
}
