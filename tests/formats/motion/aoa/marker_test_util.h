// Helpers shared by the marker-format tests: temporary files, a manager with a scene, reading a
// file through a reader, building a scene of marked nodes with keyed translations.
#ifndef OXA_TESTS_FORMATS_MOTION_AOA_MARKER_TEST_UTIL_H
#define OXA_TESTS_FORMATS_MOTION_AOA_MARKER_TEST_UTIL_H

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sys/resource.h>

#include <csignal>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "animation/anim_settings.h"
#include "animation/fcurve.h"
#include "attributes/voxa_marker.h"
#include "oxa_codec/voxa_reader.h"
#include "oxa_codec/voxa_writer.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_info.h"
#include "scene/voxa_take_node.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/filter_settings.h"
#include "tests/support/test_files.h"

namespace markertest {

using oxa_test::ReadFile;
using oxa_test::WriteFile;

// A folder per process: CTest runs the cases of one file side by side, and several use one name.
inline std::string TempPath(const std::string& name) {
    static const std::string folder = oxa_test::MakeProcessTempFolder("marker_");
    return folder + name;
}

using oxa_test::FilterSettings;

// Message callback that keeps the last title and text.
struct Messages {
    static std::string& Title() {
        static std::string title;
        return title;
    }
    static std::string& Text() {
        static std::string text;
        return text;
    }
    static int Record(const char* title, const char* text, const char*, const char*, const char*, void*) {
        Title() = title ? title : "";
        Text() = text ? text : "";
        return 1;
    }
    static void Clear() {
        Title().clear();
        Text().clear();
    }
};

// A file-size limit for one scope: writes past it fail as on a full disk.
using oxa_test::FileSizeLimit;

class Fixture : public ::testing::Test {
protected:
    void SetUp() override {
        mManager = VOxaSdkManager::Create();
        mScene = mManager->CreateScene();
        Messages::Clear();
    }
    void TearDown() override { delete mManager; }

    using Adjust = std::function<void(VStreamOptionsMotion&)>;

    // Reads `path` with `reader` and its own options changed by `adjust`. The reader's error id
    // goes to `error` (-1 when none).
    bool ReadWith(VOxaReader& reader, const std::string& path, const Adjust& adjust = nullptr,
                  int* error = nullptr) {
        if (error) *error = -1;
        bool ok = reader.FileOpen(path.c_str());
        std::unique_ptr<VStreamOptions> options;
        if (ok) {
            options.reset(reader.GetReadOptions());
            ok = options != nullptr;
        }
        if (ok) {
            auto* motion = static_cast<VStreamOptionsMotion*>(options.get());
            motion->SetMessageCallback(&Messages::Record);
            if (adjust) adjust(*motion);
            ok = reader.Read(mScene, options.get());
        }
        if (!ok && error) *error = reader.GetError().GetLastErrorID();
        if (reader.IsFileOpen()) reader.FileClose();
        return ok;
    }

    // Writes the scene to `path` with `writer` and its options changed by `adjust`.
    bool WriteWith(VOxaWriter& writer, const std::string& path, const Adjust& adjust = nullptr,
                   int* error = nullptr) {
        if (error) *error = -1;
        bool ok = writer.FileCreate(path.c_str());
        std::unique_ptr<VStreamOptions> options;
        if (ok) {
            options.reset(writer.GetWriteOptions());
            if (adjust) adjust(*static_cast<VStreamOptionsMotion*>(options.get()));
            ok = writer.Write(mScene, options.get());
        }
        if (writer.IsFileOpen()) ok = writer.FileClose() && ok;
        if (!ok && error) *error = writer.GetError().GetLastErrorID();
        return ok;
    }

    VOxaNode* Find(const char* name) { return mScene->GetRootNode()->FindChild(name, true); }

    static VFCurve* Curve(VOxaNode* node, int channel) {
        VOxaTakeNode* take = node ? node->GetCurrentTakeNode() : nullptr;
        if (!take) return nullptr;
        switch (channel) {
            case 0:
                return take->GetTranslationX();
            case 1:
                return take->GetTranslationY();
            case 2:
                return take->GetTranslationZ();
            case 3:
                return take->GetEulerRotationX();
            case 4:
                return take->GetEulerRotationY();
            case 5:
                return take->GetEulerRotationZ();
            case 6:
                return take->GetScaleX();
            case 7:
                return take->GetScaleY();
            case 8:
                return take->GetScaleZ();
            default:
                return take->GetOcclusion();
        }
    }
    static float Key(VOxaNode* node, int channel, int index) {
        VFCurve* curve = Curve(node, channel);
        return curve && index < curve->KeyGetCount() ? curve->KeyGetValue(index) : -12345.0f;
    }

    // A marked marker node below `parent` whose translation is keyed at the 30 fps frames of
    // `positions`; `occluded` frames get occlusion 1.
    VOxaNode* AddMarked(VOxaNode* parent, const char* name, const std::vector<VgeTVector>& positions,
                        const std::vector<int>& occluded = {}) {
        VOxaNode* node = mManager->CreateNode(name);
        VOxaMarker* marker = mManager->CreateMarker();
        marker->SetType(1);
        node->SetNodeAttribute(marker);
        parent->AddChild(node);
        node->SetMarked(1);
        node->AddTakeNode("Take");
        node->SetCurrentTakeNode("Take");
        VOxaTakeNode* take = node->GetCurrentTakeNode();
        VFCurve* curves[3] = {take->GetTranslationX(), take->GetTranslationY(), take->GetTranslationZ()};
        const VTime frame = VTime::GetOneFrameValue(6);
        VFCurve* occlusion = take->GetOcclusion();
        for (size_t j = 0; j < positions.size(); ++j) {
            const VTime time = frame * (int64_t)j;
            for (int a = 0; a < 3; ++a) {
                VFCurveKey key;
                key.Set(time, (float)positions[j][a], VFCurveKey::eInterpolationLinear);
                curves[a]->KeyAdd(time, key);
            }
            if (!occlusion) continue;
            bool hidden = false;
            for (int o : occluded)
                hidden = hidden || o == (int)j;
            VFCurveKey key;
            key.Set(time, hidden ? 1.0f : 0.0f, VFCurveKey::eInterpolationConstant);
            occlusion->KeyAdd(time, key);
        }
        return node;
    }

    VOxaSdkManager* mManager = nullptr;
    VOxaScene* mScene = nullptr;
};

}  // namespace markertest

#endif  // OXA_TESTS_FORMATS_MOTION_AOA_MARKER_TEST_UTIL_H
