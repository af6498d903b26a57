// Fuzzes the HTR reader: the input is written to a scratch file and read into the process's scene
// (emptied after each input) with the options its header gives (the rotation-offset pass on, the
// default); inputs of odd length are read without the reference node.
#include <cstdint>
#include <string>

#include "formats/motion/htr/voxa_reader_htr.h"
#include "fuzz/fuzz_input_file.h"
#include "fuzz/fuzz_scene.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = FuzzScratchPath("in.htr");
    if (!WriteFuzzInput(path, data, size)) return 0;

    {
        const int referenceNode = (int)(size & 1) ^ 1;
        VFuzzSceneScope world;
        VOxaScene* scene = world.GetScene();
        VOxaReaderMotionAnalysisHtr reader(world.GetManager());
        if (reader.FileOpen(path.c_str())) {
            auto* options = static_cast<VStreamOptionsMotion*>(reader.GetReadOptions());
            if (options) {
                options->SetOption(VStreamOptionsMotion::eIMPORT_CREATE_REFERENCE_NODE, referenceNode);
                reader.Read(scene, options);
                options->Destroy();
            }
            reader.FileClose();
        }
    }
    return 0;
}
