// Fuzzes the C3D reader: the input is written to a temporary file, read into a scene with the
// reader's own options, and what was read is written back with the C3D writer in both data forms.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "formats/motion/c3d/voxa_file_vicon.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

namespace {

std::string TempName(const char* extension) {
    const char* dir = std::getenv("TMPDIR");
    std::string path = dir && *dir ? dir : "/tmp";
    return path + "/fuzz_c3d_" + std::to_string((long)getpid()) + extension;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string input = TempName(".c3d");
    static const std::string output = TempName("_out.c3d");
    if (std::FILE* f = std::fopen(input.c_str(), "wb")) {
        if (size) std::fwrite(data, 1, size, f);
        std::fclose(f);
    } else {
        return 0;
    }
    VOxaSdkManager* manager = VOxaSdkManager::Create();
    VOxaScene* scene = manager->CreateScene();
    bool read = false;
    {
        VOxaReaderVicon reader(manager);
        if (reader.FileOpen(input.c_str())) {
            std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
            if (options) read = reader.Read(scene, options.get());
            reader.FileClose();
        }
    }
    if (read) {
        // Every read node is written back over a few frames, once as floats and once as integers.
        for (int i = 0; i < scene->GetRootNode()->GetChildCount(); ++i)
            scene->GetRootNode()->GetChild(i)->SetMarked(1, true);
        for (int real = 0; real < 2; ++real) {
            VOxaWriterVicon writer(manager);
            if (writer.FileCreate(output.c_str())) {
                std::unique_ptr<VStreamOptions> options(writer.GetWriteOptions());
                auto* motion = static_cast<VStreamOptionsMotion*>(options.get());
                motion->SetFrameCount(4);
                motion->SetOption(VStreamOptionsMotion::eEXPORT_C3D_REAL_FORMAT, real);
                writer.Write(scene, options.get());
                writer.FileClose();
            }
        }
        std::remove(output.c_str());
    }
    delete manager;
    return 0;
}
