// A plug-in of a host program that knows nothing of the toolkit: a shared library that links the
// installed toolkit (the static library is position independent, its thread-local state fit for
// a library loaded at run time) and offers one C function.
#include <oxa/base/vge_vector.h>
#include <oxa/base/vstring.h>
#include <oxa/oxa_codec/voxa_exporter.h>
#include <oxa/oxa_codec/voxa_importer.h>
#include <oxa/oxa_codec/voxa_io_formats.h>
#include <oxa/oxa_codec/vstream_options.h>
#include <oxa/scene/voxa_scene.h>
#include <oxa/scene/voxa_scene_contents.h>
#include <oxa/scene/voxa_sdk_manager.h>

#include <cstring>

// The host defines functions of the toolkit's names; the plug-in's calls of the headers' inline
// functions must reach the plug-in's own. False when one of them answered from elsewhere.
static bool OwnInlineFunctionsAnswer() {
    const VString text("plug-in");
    if (std::strcmp(text.Buffer(), "plug-in") != 0) return false;
#ifdef OXA_PLUGIN_FREE_INLINE
    const double a[3] = {1, 2, 3}, b[3] = {4, 5, 6};
    if (VgeDot3(a, b) != 32) return false;
#endif
    return true;
}

// Reads `in` and writes it to `out` with the writer of out's extension; the number of nodes read,
// or -1 when the file could not be read or written.
extern "C" __attribute__((visibility("default"))) int oxa_plugin_convert(const char* in, const char* out) {
    if (!OwnInlineFunctionsAnswer()) return -1;
    VOxaSdkManager* manager = VOxaSdkManager::Create();
    if (!manager) return -1;
    VOxaScene* scene = manager->CreateScene();
    VOxaImporter* importer = scene ? manager->CreateImporter() : nullptr;
    bool ok = importer && importer->Initialize(in);
    VStreamOptions* options = ok ? importer->GetReadOptions() : nullptr;
    ok = ok && importer->Import(scene, options);
    // The importer's and exporter's messages, through their inline accessors.
    if (importer && std::strcmp(importer->GetError().GetLastErrorString().Buffer(), "Host") == 0) ok = false;
    if (importer && std::strcmp(importer->GetMessageText().Buffer(), "Host") == 0) ok = false;
    const int nodes = ok ? scene->GetContents()->GetNodeCount() : -1;
    if (options) options->Destroy();
    VOxaExporter* exporter = ok ? manager->CreateExporter() : nullptr;
    ok = exporter && exporter->Initialize(out) &&
         exporter->SetFileFormat(VOxaFindWriterFormat(VOxaGetFileExtension(out)));
    VStreamOptions* writeOptions = ok ? exporter->GetWriteOptions() : nullptr;
    ok = ok && exporter->Export(scene, writeOptions);
    if (exporter && std::strcmp(exporter->GetMessageText().Buffer(), "Host") == 0) ok = false;
    if (writeOptions) writeOptions->Destroy();
    if (exporter) manager->DestroyExporter(exporter);
    if (importer) manager->DestroyImporter(importer);
    if (scene) manager->DestroyScene(scene);
    delete manager;
    return ok ? nodes : -1;
}
