// Fuzzes the ASF reader: the input is written to a file and read into a scene (the low bits of
// the size choose dummy nodes and limits); when that succeeds the skeleton is written back. The
// manager and scene live across inputs and are emptied after each.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "formats/motion/asf/voxa_reader_acclaim_asf.h"
#include "formats/motion/asf/voxa_writer_acclaim_asf.h"
#include "fuzz/fuzz_input_file.h"
#include "fuzz/fuzz_scene.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

namespace {

const std::string& InputPath() {
    static const std::string path = FuzzScratchPath("in.asf");
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = InputPath();
    if (!WriteFuzzInput(path, data, size)) return 0;
    VFuzzSceneScope world;
    VOxaSdkManager* manager = world.GetManager();
    VOxaScene* scene = world.GetScene();
    VOxaReaderAcclaimAsf reader(manager);
    if (!reader.FileOpen(path.c_str())) return 0;
    std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
    if (!options) return 0;
    auto* motion = static_cast<VStreamOptionsMotion*>(options.get());
    motion->SetOption(VStreamOptionsMotion::eIMPORT_DUMMY_NODES, size & 1 ? 1 : 0);
    motion->SetOption(VStreamOptionsMotion::eIMPORT_LIMITS, size & 2 ? 1 : 0);
    const bool read = reader.Read(scene, options.get());
    reader.FileClose();
    if (!read) return 0;

    VOxaNode* reference = scene->GetRootNode()->GetChild(0);
    if (!reference || reference->GetChildCount() == 0) return 0;
    reference->GetChild(0)->SetMarked(1);
    VOxaWriterAcclaimAsf writer(manager);
    static const std::string written = FuzzScratchPath("out.asf");
    if (!writer.FileCreate(written.c_str())) return 0;
    std::unique_ptr<VStreamOptions> writeOptions(writer.GetWriteOptions());
    writer.Write(scene, writeOptions.get());
    writer.FileClose();
    return 0;
}
