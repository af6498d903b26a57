// Fuzzes the HTR reader: the input is written to a temporary file and read into a fresh scene with
// the options its header gives (the rotation-offset pass on, the default); inputs of odd length
// are read without the reference node. (A scene is costly to make, so each input is read once.)
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "formats/motion/htr/voxa_reader_htr.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/htr_fuzz_" + std::to_string(getpid()) + ".htr";
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    {
        const int referenceNode = (int)(size & 1) ^ 1;
        VOxaSdkManager* manager = VOxaSdkManager::Create();
        VOxaScene* scene = manager->CreateScene();
        VOxaReaderMotionAnalysisHtr reader(manager);
        if (reader.FileOpen(path.c_str())) {
            auto* options = static_cast<VStreamOptionsMotion*>(reader.GetReadOptions());
            if (options) {
                options->SetOption(VStreamOptionsMotion::eIMPORT_CREATE_REFERENCE_NODE, referenceNode);
                reader.Read(scene, options);
                options->Destroy();
            }
            reader.FileClose();
        }
        delete manager;
    }
    return 0;
}
