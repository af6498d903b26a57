// read_write IN OUT: reads IN and writes its scene to OUT, each file in the format its extension
// names. Geometry goes to a geometry format (3DS, OBJ, DXF), motion to a motion format with the
// start, frame count and rate of IN. AMC is left out: it is read and written with its ASF skeleton.
#include <cstdio>
#include <cstring>

#include <oxa/oxa_codec/voxa_exporter.h>
#include <oxa/oxa_codec/voxa_importer.h>
#include <oxa/oxa_codec/voxa_io_formats.h>
#include <oxa/oxa_codec/vstream_options.h>
#include <oxa/scene/voxa_node.h>
#include <oxa/scene/voxa_node_attribute.h>
#include <oxa/scene/voxa_scene.h>
#include <oxa/scene/voxa_sdk_manager.h>

// The motion options among `options`, or null for a geometry reader's or writer's options (or
// none at all).
static VStreamOptionsMotion* AsMotion(VStreamOptions* options) {
    if (options && options->IsA(VStreamOptionsMotion::ClassId))
        return static_cast<VStreamOptionsMotion*>(options);
    return nullptr;
}

// The motion writers write the marked nodes, and readers mark none: marks every node below the
// root that carries an attribute (a joint, a marker) other than an optical reference, the node
// that the markers of a marker file hang under.
static void MarkNodes(VOxaNode* node, bool isRoot) {
    const VOxaNodeAttribute* attribute = node->GetNodeAttribute();
    if (!isRoot && attribute && attribute->GetAttributeType() != VOxaNodeAttribute::eOpticalReference)
        node->SetMarked(1);
    for (int k = 0; k < node->GetChildCount(); ++k)
        MarkNodes(node->GetChild(k), false);
}

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: read_write IN OUT\n");
        return 2;
    }
    const char* in = argv[1];
    const char* out = argv[2];
    const char* extension = std::strrchr(out, '.');
    const int format = extension ? VOxaFindWriterFormat(extension + 1) : -1;
    if (format < 0) {
        // Which extensions the library writes, or that it has no writer at all.
        std::fprintf(stderr, "%s: no writer for this extension; writers:", out);
        for (int k = 0; k < VOxaGetWriterFormatCount(); ++k)
            std::fprintf(stderr, " %s", VOxaGetWriterFormat(k)->mExtension);
        std::fprintf(stderr, "%s\n", VOxaGetWriterFormatCount() ? "" : " none");
        return 2;
    }

    VOxaSdkManager* manager = VOxaSdkManager::Create();
    VOxaScene* scene = manager->CreateScene();
    VOxaImporter* importer = manager->CreateImporter();
    VOxaExporter* exporter = manager->CreateExporter();

    // The reader is picked by IN's extension. Its options hold what it found in the file: a motion
    // reader's are motion options with the file's start, frame count and rate. A reader without
    // options of its own reads with its defaults; one that could not make them (an unreadable
    // header) has left the error to report.
    bool ok = importer->Initialize(in);
    VStreamOptions* read = ok ? importer->GetReadOptions() : nullptr;
    if (ok && !read && importer->GetError().GetLastErrorID() >= 0) ok = false;
    ok = ok && importer->Import(scene, read);
    if (!ok) std::fprintf(stderr, "%s: %s\n", in, importer->GetError().GetLastErrorString().Buffer());

    VStreamOptions* write = nullptr;
    if (ok) {
        exporter->Initialize(out);
        exporter->SetFileFormat(format);
        write = exporter->GetWriteOptions();
    }
    if (VStreamOptionsMotion* motion = AsMotion(write)) {
        const VStreamOptionsMotion* source = AsMotion(read);
        if (!source) {
            std::fprintf(stderr, "%s: no motion was read: write it to a geometry format\n", in);
            ok = false;
        } else {
            MarkNodes(scene->GetRootNode(), true);
            // The frames the file was read with.
            if (source->IsCustomFrameRate())
                motion->SetTimeMode(0, source->GetFrameRate());
            else
                motion->SetTimeMode(source->GetTimeMode());
            motion->SetStartTime(source->GetStartTime());
            motion->SetFrameCount(source->GetFrameCount());
            // Each node is written where it is in the world: marker writers would otherwise place
            // the markers from the skeleton's root joint, which stays at the origin.
            motion->SetOption(VStreamOptionsMotion::eEXPORT_FROM_GLOBAL_POSITION, 1);
        }
    }
    if (ok) {
        ok = exporter->Export(scene, write);
        if (!ok) std::fprintf(stderr, "%s: %s\n", out, exporter->GetError().GetLastErrorString().Buffer());
    }

    if (read) read->Destroy();
    if (write) write->Destroy();
    manager->DestroyExporter(exporter);
    manager->DestroyImporter(importer);
    delete manager;
    return ok ? 0 : 1;
}
