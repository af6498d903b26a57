// A UTF-8 byte-order mark before the first line of a text motion file changes nothing that is read:
// each text format is written from a sample, then read as written and with the mark put before it.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "oxa_codec/voxa_exporter.h"
#include "oxa_codec/voxa_importer.h"
#include "oxa_codec/voxa_io_formats.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_node_attribute.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_info.h"
#include "tests/support/test_files.h"

namespace {

const char kMark[] = "\xEF\xBB\xBF";

VStreamOptionsMotion* AsMotion(VStreamOptions* options) {
    return options && options->IsA(VStreamOptionsMotion::ClassId)
               ? static_cast<VStreamOptionsMotion*>(options)
               : nullptr;
}

// Reads `path` into `scene`, with `skeleton` attached for AMC; the read options, or null (with a
// test failure) when the read failed.
VStreamOptions* Import(VOxaSdkManager* manager, VOxaScene* scene, const std::string& path, VPlug* skeleton) {
    VOxaImporter* importer = manager->CreateImporter();
    VStreamOptions* options = importer->Initialize(path.c_str()) ? importer->GetReadOptions() : nullptr;
    if (VStreamOptionsMotion* motion = AsMotion(options); motion && skeleton)
        motion->SetAttachedObject(skeleton, false);
    if (!options || !importer->Import(scene, options)) {
        ADD_FAILURE() << path << ": " << importer->GetError().GetLastErrorString().Buffer();
        if (options) options->Destroy();
        options = nullptr;
    }
    manager->DestroyImporter(importer);
    return options;
}

void MarkNodes(VOxaNode* node, bool isRoot) {
    const VOxaNodeAttribute* attribute = node->GetNodeAttribute();
    if (!isRoot && attribute && attribute->GetAttributeType() != VOxaNodeAttribute::eOpticalReference)
        node->SetMarked(1);
    for (int k = 0; k < node->GetChildCount(); ++k)
        MarkNodes(node->GetChild(k), false);
}

// Writes the scene read with `read` to `path` in the format of its extension, with `skeleton`
// attached (AMC); the write options when `keep` (the ASF writer leaves its skeleton there).
VStreamOptions* Export(VOxaSdkManager* manager, VOxaScene* scene, VStreamOptionsMotion* read,
                       const std::string& path, VPlug* skeleton, bool keep) {
    VOxaExporter* exporter = manager->CreateExporter();
    exporter->Initialize(path.c_str());
    exporter->SetFileFormat(VOxaFindWriterFormat(path.substr(path.rfind('.') + 1).c_str()));
    VStreamOptionsMotion* motion = AsMotion(exporter->GetWriteOptions());
    EXPECT_NE(motion, nullptr) << path;
    if (!motion) return nullptr;
    motion->SetTimeMode(0, read->GetFrameRate());
    motion->SetStartTime(read->GetStartTime());
    motion->SetFrameCount(read->GetFrameCount());
    motion->SetOption(VStreamOptionsMotion::eEXPORT_FROM_GLOBAL_POSITION, 1);
    motion->SetOption(VStreamOptionsMotion::eTRANSLATION, 1);
    if (skeleton) motion->SetAttachedObject(skeleton, false);
    EXPECT_TRUE(exporter->Export(scene, motion))
        << path << ": " << exporter->GetError().GetLastErrorString().Buffer();
    manager->DestroyExporter(exporter);
    if (keep) return motion;
    motion->Destroy();
    return nullptr;
}

void Describe(VOxaNode* node, VTime start, VTime stop, VTime step, std::string& text) {
    const VOxaNodeAttribute* attribute = node->GetNodeAttribute();
    text += std::string(node->GetName()) + " " +
            std::to_string(attribute ? attribute->GetAttributeType() : -1) + "\n";
    for (VTime time = start; time.Get() <= stop.Get(); time = VTime(time.Get() + step.Get())) {
        const VgeAMatrix& local = node->EvaluateLocalTransform(time);
        for (int row = 0; row < 4; ++row)
            for (int column = 0; column < 4; ++column) {
                char number[32];
                std::snprintf(number, sizeof number, " %.9g", local[row][column]);
                text += number;
            }
        text += "\n";
    }
    for (int k = 0; k < node->GetChildCount(); ++k)
        Describe(node->GetChild(k), start, stop, step, text);
}

// The file's nodes with their attribute types and their local transforms at every frame read, and
// the frames; the AMC file reads its ASF skeleton first.
std::string ReadDescription(const std::string& path, const std::string& skeletonPath) {
    VOxaSdkManager* manager = VOxaSdkManager::Create();
    VOxaScene* scene = manager->CreateScene();
    VStreamOptions* skeletonOptions = nullptr;
    VPlug* skeleton = nullptr;
    if (!skeletonPath.empty()) {
        skeletonOptions = Import(manager, scene, skeletonPath, nullptr);
        skeleton = AsMotion(skeletonOptions) ? AsMotion(skeletonOptions)->GetAttachedObject() : nullptr;
        EXPECT_NE(skeleton, nullptr) << skeletonPath;
    }
    std::string text;
    VStreamOptionsMotion* motion = AsMotion(Import(manager, scene, path, skeleton));
    if (motion) {
        text = "frames " + std::to_string(motion->GetFrameCount()) + " rate " +
               std::to_string(motion->GetFrameRate()) + "\n";
        const VTimeSpan& span = scene->GetTakeInfo(scene->GetCurrentTakeName())->mLocalTimeSpan;
        Describe(scene->GetRootNode(), span.GetStart(), span.GetStop(), motion->GetFramePeriod(), text);
        motion->Destroy();
    }
    if (skeletonOptions) skeletonOptions->Destroy();
    delete manager;
    return text;
}

TEST(TextByteOrderMark, EveryTextMotionFormatReadsTheSameSceneAfterAMark) {
    static const std::string folder = oxa_test::MakeProcessTempFolder("bom_");
    const std::string marked = folder + "marked/";
    ASSERT_TRUE(std::filesystem::create_directories(marked));
    struct Source {
        const char* sample;
        std::vector<std::string> extensions;
    };
    const Source sources[] = {{"walk.bvh", {"bvh", "htr", "amc"}},
                              {"markers.c3d", {"trc", "brd", "mov", "vpm", "aoa", "mcd"}}};
    for (const Source& source : sources) {
        VOxaSdkManager* manager = VOxaSdkManager::Create();
        VOxaScene* scene = manager->CreateScene();
        VStreamOptionsMotion* read =
            AsMotion(Import(manager, scene, std::string(OXA_EXAMPLES_DIR "/") + source.sample, nullptr));
        ASSERT_NE(read, nullptr) << source.sample;
        MarkNodes(scene->GetRootNode(), true);
        for (const std::string& extension : source.extensions) {
            const std::string name = "take." + extension;
            // AMC is written and read with its ASF skeleton, which gets the mark too.
            std::string skeletonName;
            VPlug* skeleton = nullptr;
            VStreamOptions* asf = nullptr;
            if (extension == "amc") {
                skeletonName = "take.asf";
                asf = Export(manager, scene, read, folder + skeletonName, nullptr, true);
                skeleton = asf ? AsMotion(asf)->GetAttachedObject() : nullptr;
                ASSERT_NE(skeleton, nullptr);
                oxa_test::WriteFile(marked + skeletonName, kMark + oxa_test::ReadFile(folder + skeletonName));
            }
            Export(manager, scene, read, folder + name, skeleton, false);
            if (asf) asf->Destroy();
            const std::string text = oxa_test::ReadFile(folder + name);
            ASSERT_FALSE(text.empty()) << name;
            ASSERT_NE(text.compare(0, 3, kMark), 0) << name;
            oxa_test::WriteFile(marked + name, kMark + text);

            const std::string plain =
                ReadDescription(folder + name, skeletonName.empty() ? "" : folder + skeletonName);
            // Every node of the sample, each over its 61 frames.
            EXPECT_GT(plain.size(), 5000u) << name;
            EXPECT_EQ(ReadDescription(marked + name, skeletonName.empty() ? "" : marked + skeletonName),
                      plain)
                << name;
        }
        read->Destroy();
        delete manager;
    }
}

}  // namespace
