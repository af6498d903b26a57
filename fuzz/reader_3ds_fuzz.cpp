// Fuzzes the 3DS reader: the input is written to a scratch file and read into the process's scene
// (emptied after each input) with the default options. Odd sizes run with the toolkit's continue flag on, so
// that the reader also meets the partial records a toolkit that carries on after a fault hands back. Every
// scene that reads is then written back with the 3DS writer, so the writer meets whatever the reader builds.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "base/vstring_list.h"
#include "base/vtime.h"
#include "formats/geometry/3ds/voxa_reader_3ds.h"
#include "formats/geometry/3ds/voxa_writer_3ds.h"
#include "fuzz/fuzz_input_file.h"
#include "fuzz/fuzz_scene.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_info.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = FuzzScratchPath("in.3ds");
    if (!WriteFuzzInput(path, data, size)) return 0;

    Ftk::SetContinueFlag(size % 2 == 1);
    {
        VFuzzSceneScope world;
        VOxaSdkManager* manager = world.GetManager();
        VOxaScene* scene = world.GetScene();
        VOxaReader3DS reader(manager);
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        const bool read = reader.FileOpen(path.c_str()) && reader.Read(scene, options.get());
        reader.FileClose();
        Ftk::SetContinueFlag(false);
        // The writer keys every frame of the take: a few hundred bytes can announce a million
        // frames, which is linear but no use to the fuzzer's time budget.
        bool shortTake = true;
        VStringList takes;
        scene->FillTakeNameArray(takes);
        for (int k = 0; k < takes.GetCount(); ++k)
            if (const VOxaTakeInfo* info = scene->GetTakeInfo(takes[k]))
                shortTake = shortTake &&
                            (info->mLocalTimeSpan.GetStop().Get() - info->mLocalTimeSpan.GetStart().Get()) /
                                    VTime::kOneSecond <
                                300;
        if (read && shortTake) {
            static const std::string out = FuzzScratchPath("out.3ds");
            VOxaWriter3DS writer(manager);
            std::unique_ptr<VStreamOptions> writeOptions(writer.GetWriteOptions());
            if (writer.FileCreate(out.c_str())) writer.Write(scene, writeOptions.get());
            writer.FileClose();
            std::remove(out.c_str());
        }
    }
    Ftk::SetContinueFlag(false);
    Ftk::ClearErrors();
    return 0;
}
