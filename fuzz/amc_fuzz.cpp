// Fuzzes the AMC reader over a fixed small skeleton. The skeleton's ASF file is read once, with the
// ASF reader, when the process starts; its bones (which no AMC read changes) serve every input.
// For each input whose header the reader accepts, the skeleton's nodes are made anew under their
// reference node, as the ASF reader makes them, unless bit 1 of the size is set: then the AMC
// reader makes them itself. The input is read from an AMC file with the options of its header
// (bit 0 of the size chooses limits); when that succeeds the skeleton and at most four frames of
// the motion are written back. The manager and scene live across inputs and are emptied after
// each.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "formats/motion/amc/voxa_reader_acclaim_amc.h"
#include "formats/motion/amc/voxa_writer_acclaim_amc.h"
#include "formats/motion/asf/voxa_asf_scene.h"
#include "formats/motion/asf/voxa_reader_acclaim_asf.h"
#include "formats/motion/asf/voxa_writer_acclaim_asf.h"
#include "fuzz/fuzz_input_file.h"
#include "fuzz/fuzz_scene.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

namespace {

// The root and three bones: one without degrees of freedom, one with three rotations and limits,
// one with a translation among its degrees. Every node is made anew for each input, and a node
// costs about as much as the reader's whole work on it, so the skeleton holds no more than these
// cases.
const char kSkeleton[] =
    ":version 1.10\n:name fuzz\n:units\n  mass 1.0\n  length 0.45\n  angle deg\n"
    ":root\n  order TX TY TZ RX RY RZ\n  axis XYZ\n  position 0 0 0\n  orientation 0 0 0\n"
    ":bonedata\n"
    "  begin\n    id 1\n    name hip\n    direction 0.7 -0.6 0.3\n    length 2.4\n    axis 0 0 0 XYZ\n  end\n"
    "  begin\n    id 2\n    name femur\n    direction 0.34 -0.94 0\n    length 7.1\n    axis 0 0 20 XYZ\n"
    "    dof rx ry rz\n    limits (-160.0 20.0)\n (-70.0 70.0)\n (-60.0 70.0)\n  end\n"
    "  begin\n    id 3\n    name foot\n    direction 0 0 1\n    length 1\n    axis 0 0 110 XYZ\n"
    "    dof tx rz rx\n  end\n"
    ":hierarchy\n  begin\n    root hip\n    hip femur\n    femur foot\n  end\n";

// The skeleton of kSkeleton, read once; null when it cannot be read.
VOxaAsfScene* Skeleton() {
    static VOxaAsfScene* const skeleton = []() -> VOxaAsfScene* {
        const std::string path = FuzzScratchPath("skeleton.asf");
        if (!WriteFuzzInput(path, reinterpret_cast<const uint8_t*>(kSkeleton), sizeof kSkeleton - 1))
            return nullptr;
        VFuzzSceneScope world;
        VOxaReaderAcclaimAsf reader(world.GetManager());
        if (!reader.FileOpen(path.c_str())) return nullptr;
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        if (!options || !reader.Read(world.GetScene(), options.get())) return nullptr;
        auto* motion = static_cast<VStreamOptionsMotion*>(options.get());
        auto* read = static_cast<VOxaAsfScene*>(motion->GetAttachedObject());
        motion->SetAttachedObject(read, false);  // no longer the options': kept for the process's life
        return read;
    }();
    return skeleton;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    VOxaAsfScene* skeleton = Skeleton();
    if (!skeleton) return 0;
    static const std::string path = FuzzScratchPath("in.amc");
    if (!WriteFuzzInput(path, data, size)) return 0;
    VFuzzSceneScope world;
    VOxaSdkManager* manager = world.GetManager();
    VOxaScene* scene = world.GetScene();
    VOxaReaderAcclaimAmc reader(manager);
    if (!reader.FileOpen(path.c_str())) return 0;
    // The header is scanned without the scene; an input it refuses is never read, so the
    // skeleton's nodes are made only for the others.
    std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
    if (!options) return 0;
    if (!(size & 2)) {
        // The nodes of the skeleton, as the ASF reader leaves them.
        VOxaNode* root = skeleton->CreateNodes(manager, "", false);
        VOxaNode* reference = manager->CreateNode(VOxaAsfReferenceNodeName(skeleton->GetName()).Buffer());
        if (!root || !reference) return 0;
        scene->GetRootNode()->AddChild(reference);
        reference->AddChild(root);
    }
    auto* motion = static_cast<VStreamOptionsMotion*>(options.get());
    motion->SetAttachedObject(skeleton, false);
    motion->SetOption(VStreamOptionsMotion::eIMPORT_LIMITS, size & 1 ? 1 : 0);
    const bool read = reader.Read(scene, options.get());
    reader.FileClose();
    if (!read) return 0;

    // Written back: the skeleton, then at most four frames of motion.
    VOxaNode* reference = scene->GetRootNode()->GetChild(0);
    if (!reference || reference->GetChildCount() == 0) return 0;
    reference->GetChild(0)->SetMarked(1);
    VOxaWriterAcclaimAsf asfWriter(manager);
    static const std::string asfOut = FuzzScratchPath("out.asf");
    if (!asfWriter.FileCreate(asfOut.c_str())) return 0;
    std::unique_ptr<VStreamOptions> writeOptions(asfWriter.GetWriteOptions());
    const bool wrote = asfWriter.Write(scene, writeOptions.get());
    asfWriter.FileClose();
    if (!wrote) return 0;
    VOxaWriterAcclaimAmc writer(manager);
    static const std::string amcOut = FuzzScratchPath("out.amc");
    if (!writer.FileCreate(amcOut.c_str())) return 0;
    auto* writeMotion = static_cast<VStreamOptionsMotion*>(writeOptions.get());
    const int frames = motion->GetFrameCount();
    writeMotion->SetFrameCount(frames < 4 ? frames : 4);
    writeMotion->SetStartTime(motion->GetStartTime());
    writeMotion->SetOption(VStreamOptionsMotion::eEXPORT_FRAME_RANGE, 1);
    writer.Write(scene, writeOptions.get());
    writer.FileClose();
    return 0;
}
