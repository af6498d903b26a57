// A plug-in of a host program that knows nothing of the toolkit: a shared library that links the
// installed toolkit (the static library is position independent, its thread-local state fit for
// a library loaded at run time) and offers one C function.
#include <oxa/oxa_codec/voxa_exporter.h>
#include <oxa/oxa_codec/voxa_importer.h>
#include <oxa/oxa_codec/voxa_io_formats.h>
#include <oxa/oxa_codec/vstream_options.h>
#include <oxa/scene/voxa_scene.h>
#include <oxa/scene/voxa_scene_contents.h>
#include <oxa/scene/voxa_sdk_manager.h>

// Reads `in` and writes it to `out` with the writer of out's extension; the number of nodes read,
// or -1 when the file could not be read or written.
extern "C" __attribute__((visibility("default"))) int oxa_plugin_convert(const char* in, const char* out) {
    VOxaSdkManager* manager = VOxaSdkManager::Create();
    if (!manager) return -1;
    VOxaScene* scene = manager->CreateScene();
    VOxaImporter* importer = scene ? manager->CreateImporter() : nullptr;
    bool ok = importer && importer->Initialize(in);
    VStreamOptions* options = ok ? importer->GetReadOptions() : nullptr;
    ok = ok && importer->Import(scene, options);
    const int nodes = ok ? scene->GetContents()->GetNodeCount() : -1;
    if (options) options->Destroy();
    VOxaExporter* exporter = ok ? manager->CreateExporter() : nullptr;
    ok = exporter && exporter->Initialize(out) &&
         exporter->SetFileFormat(VOxaFindWriterFormat(VOxaGetFileExtension(out)));
    VStreamOptions* writeOptions = ok ? exporter->GetWriteOptions() : nullptr;
    ok = ok && exporter->Export(scene, writeOptions);
    if (writeOptions) writeOptions->Destroy();
    if (exporter) manager->DestroyExporter(exporter);
    if (importer) manager->DestroyImporter(importer);
    if (scene) manager->DestroyScene(scene);
    delete manager;
    return ok ? nodes : -1;
}
