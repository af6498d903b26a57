// read_write IN OUT: reads IN and writes its scene to OUT, each file in the format its extension
// names, as oxa-convert writes it. Motion goes to a motion format with the start, frame count and
// rate of IN. AMC is left out: it is read and written with its ASF skeleton.
#include <cstdio>
#include <cstring>

#include <oxa/formats/motion/voxa_motion_export.h>
#include <oxa/oxa_codec/voxa_exporter.h>
#include <oxa/oxa_codec/voxa_importer.h>
#include <oxa/oxa_codec/voxa_io_formats.h>
#include <oxa/oxa_codec/vstream_options.h>
#include <oxa/scene/voxa_scene.h>
#include <oxa/scene/voxa_sdk_manager.h>

// The motion options among `options`, or null for a geometry reader's or writer's options (or
// none at all).
static VStreamOptionsMotion* AsMotion(VStreamOptions* options) {
    if (options && options->IsA(VStreamOptionsMotion::ClassId))
        return static_cast<VStreamOptionsMotion*>(options);
    return nullptr;
}

// Prints the warnings a reader or writer gathered, one a line.
static void PrintWarnings(const char* file, const VString& text) {
    const char* line = text.Buffer();
    while (*line) {
        const char* end = std::strchr(line, '\n');
        const int length = end ? (int)(end - line) : (int)std::strlen(line);
        if (length > 0) std::fprintf(stderr, "%s: %.*s\n", file, length, line);
        line += length + (end ? 1 : 0);
    }
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
    // As oxa-convert does: marker files from labs often label two markers alike, and the clashes
    // are numbered (with a warning) instead of refusing the file.
    if (VStreamOptionsMotion* motion = AsMotion(read))
        motion->SetOption(VStreamOptionsMotion::eRENAME_DUPLICATE_NAMES, 1);
    ok = ok && importer->Import(scene, read);
    PrintWarnings(in, importer->GetMessageText());
    if (!ok) std::fprintf(stderr, "%s: %s\n", in, importer->GetError().GetLastErrorString().Buffer());

    VStreamOptions* write = nullptr;
    if (ok) {
        exporter->Initialize(out);
        exporter->SetFileFormat(format);
        write = exporter->GetWriteOptions();
    }
    if (VStreamOptionsMotion* motion = AsMotion(write)) {
        // As oxa-convert does: marks what the writer writes (readers mark nothing), and gives it
        // the start, frame count and rate the file was read with (a geometry file's animation at
        // the scene's rate).
        VString why;
        if (!VOxaPrepareMotionExport(scene, format, motion, AsMotion(read), &why)) {
            std::fprintf(stderr, "%s: %s\n", out, why.Buffer());
            ok = false;
        }
    }
    if (ok) {
        ok = exporter->Export(scene, write);
        PrintWarnings(out, exporter->GetMessageText());
        if (!ok) std::fprintf(stderr, "%s: %s\n", out, exporter->GetError().GetLastErrorString().Buffer());
    }

    if (read) read->Destroy();
    if (write) write->Destroy();
    manager->DestroyExporter(exporter);
    manager->DestroyImporter(importer);
    // A program that goes on to the next file lets go of the scene here: its nodes go, and the
    // materials, textures and poses only it used. Deleting the manager lets go of everything.
    manager->DestroyScene(scene);
    delete manager;
    return ok ? 0 : 1;
}
