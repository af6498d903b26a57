// Fuzzes the 3DS reader: the input is written to a scratch file and read into the process's scene
// (emptied after each input) with the default options. Odd sizes run with the toolkit's continue flag on, so
// that the reader also meets the partial records a toolkit that carries on after a fault hands back. Every
// scene that reads is then written back with the 3DS writer, so the writer meets whatever the reader builds.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/vtime.h"
#include "formats/geometry/3ds/voxa_reader_3ds.h"
#include "formats/geometry/3ds/voxa_writer_3ds.h"
#include "fuzz/fuzz_input_file.h"
#include "fuzz/fuzz_scene.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"

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
        // The writer keys every frame of each animated node's keys, up to a million: a few hundred
        // bytes can announce that over many nodes, which is linear but no use to the fuzzer's time
        // budget. Write back only when the frames all nodes would sample (at 30 a second) are few:
        // a few seconds of motion on a few nodes meet every path of the writer.
        constexpr double kMaxFrames = 2000.0;
        double frames = 0.0;
        std::vector<VOxaNode*> stack{scene->GetRootNode()};
        while (!stack.empty() && frames <= kMaxFrames) {
            VOxaNode* node = stack.back();
            stack.pop_back();
            if (!node) continue;
            frames += 1.0;
            if (VOxaTakeNode* take = node->GetCurrentTakeNode()) {
                VTime start(0), stop(0);
                take->GetAnimationInterval(start, stop);
                frames += std::max(0.0, (double)stop.Get() / (double)VTime::kOneSecond * 30.0);
            }
            for (int c = 0; c < node->GetChildCount(); ++c)
                stack.push_back(node->GetChild(c));
        }
        const bool shortTake = frames <= kMaxFrames;
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
