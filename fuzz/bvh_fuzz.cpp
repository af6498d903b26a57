// Fuzzes the BVH file and reader: the input is written to a file and the reader reads it into a
// scene with the options its header gives; when that succeeds, the scene is written back (a few
// frames). When the read fails, the file object parses the input once more on its own, with bare
// curves on its joints: that reaches the parts of the parsing a failed read stops short of (the
// motion of a hierarchy whose nodes cannot be made, the hierarchy of a file without a usable
// motion header). A successful read has run every step of that parse on the same bytes already.
// The manager and scene live across inputs and are emptied after each (fuzz_scene.h): building a
// scene costs more than parsing most inputs.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "animation/fcurve.h"
#include "formats/motion/bvh/voxa_file_biovision.h"
#include "formats/motion/bvh/voxa_reader_biovision.h"
#include "formats/motion/bvh/voxa_writer_biovision.h"
#include "fuzz/fuzz_input_file.h"
#include "fuzz/fuzz_scene.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

namespace {

const std::string& InputPath() {
    static const std::string path = FuzzScratchPath("in.bvh");
    return path;
}

void ParseFile(const std::string& path) {
    VOxaFileBiovision file;
    if (!file.Open(path.c_str(), "r")) return;
    std::unique_ptr<VStreamOptionsMotion> options(VStreamOptionsMotion::Create());
    file.ScanHeader(options.get());
    if (!file.ReadHierarchy()) return;
    std::vector<std::unique_ptr<VFCurve>> curves;
    for (int i = 0; i < file.GetJointCount(); ++i) {
        for (VFCurve*& curve : file.GetJoint(i)->mCurves) {
            curves.emplace_back(VFCurve::Create());
            curve = curves.back().get();
        }
    }
    file.ReadMotion(options.get());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    VFuzzScene& world = VFuzzScene::Get();
    VOxaSdkManager* manager = world.GetManager();
    VOxaScene* scene = world.GetScene();
    const std::string& path = InputPath();
    if (!WriteFuzzInput(path, data, size)) return 0;

    {
        VOxaReaderBiovision reader(manager);
        if (!reader.FileOpen(path.c_str())) return 0;
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        const bool read = options && reader.Read(scene, options.get());
        reader.FileClose();
        if (!read) ParseFile(path);
        VOxaNode* reference = read ? scene->GetRootNode()->GetChild(0) : nullptr;
        if (reference && reference->GetChildCount() > 0) {
            reference->GetChild(0)->SetMarked(1);
            VOxaWriterBiovision writer(manager);
            static const std::string written = FuzzScratchPath("out.bvh");
            if (writer.FileCreate(written.c_str())) {
                std::unique_ptr<VStreamOptions> writeOptions(writer.GetWriteOptions());
                auto* motion = static_cast<VStreamOptionsMotion*>(writeOptions.get());
                const int frames = static_cast<VStreamOptionsMotion*>(options.get())->GetFrameCount();
                motion->SetFrameCount(frames < 4 ? frames : 4);
                motion->SetOption(VStreamOptionsMotion::eTRANSLATION, size % 2 ? 1 : 0);
                writer.Write(scene, writeOptions.get());
                writer.FileClose();
            }
        }
    }
    world.Reset();
    return 0;
}
