// Helpers shared by the BVH tests: temporary files, a manager with a scene, reading a BVH text
// through the reader, and rotation matrices built from channel values.
#ifndef OXA_TESTS_FORMATS_MOTION_BVH_BVH_TEST_UTIL_H
#define OXA_TESTS_FORMATS_MOTION_BVH_BVH_TEST_UTIL_H

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "animation/anim_settings.h"
#include "animation/fcurve.h"
#include "base/vge_euler.h"
#include "base/vge_matrix.h"
#include "formats/motion/bvh/voxa_file_biovision.h"
#include "formats/motion/bvh/voxa_reader_biovision.h"
#include "formats/motion/bvh/voxa_writer_biovision.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"
#include "tests/support/filter_settings.h"
#include "tests/support/test_files.h"

namespace bvhtest {

using oxa_test::ReadFile;
using oxa_test::WriteFile;

// A folder per process: CTest runs the cases of one file side by side, and several use one name.
inline std::string TempPath(const std::string& name) {
    static const std::string folder = oxa_test::MakeProcessTempFolder("bvh_");
    return folder + name;
}

using oxa_test::FilterSettings;

class Fixture : public ::testing::Test {
protected:
    void SetUp() override {
        mManager = VOxaSdkManager::Create();
        mScene = mManager->CreateScene();
    }
    void TearDown() override { delete mManager; }

    // Reads `path` into the scene with the reader's own options (adjusted by `adjust`); the
    // reader's error text goes to `error`.
    template <typename Adjust>
    bool ReadPath(const std::string& path, Adjust adjust, std::string* error = nullptr) {
        VOxaReaderBiovision reader(mManager);
        if (!reader.FileOpen(path.c_str())) {
            if (error) *error = reader.GetError().GetLastErrorString().Buffer();
            return false;
        }
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        if (!options) {
            if (error) *error = reader.GetError().GetLastErrorString().Buffer();
            return false;
        }
        adjust(static_cast<VStreamOptionsMotion*>(options.get()));
        bool ok = reader.Read(mScene, options.get());
        if (error) *error = reader.GetError().GetLastErrorString().Buffer();
        reader.FileClose();
        return ok;
    }
    bool ReadPath(const std::string& path, std::string* error = nullptr) {
        return ReadPath(
            path, [](VStreamOptionsMotion*) {}, error);
    }
    bool ReadText(const std::string& name, const std::string& text, std::string* error = nullptr) {
        const std::string path = TempPath(name);
        WriteFile(path, text);
        return ReadPath(path, error);
    }

    VOxaNode* Node(const char* name) { return mManager->GetNode(name, 0); }

    VOxaSdkManager* mManager = nullptr;
    VOxaScene* mScene = nullptr;
};

// The 3x3 rotation of channel values applied the BVH way: the last channel turns a point first.
struct R3 {
    double m[4][4];
};

inline R3 Identity() {
    R3 r;
    VgeMatrixIdentity(r.m);
    return r;
}

// a x b (row vectors: a acts first).
inline R3 Mul(const R3& a, const R3& b) {
    R3 r = Identity();
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j];
    return r;
}

// The turn about axis 0, 1 or 2 by `degrees`.
inline R3 Turn(int axis, double degrees) {
    R3 r = Identity();
    double a[3] = {0, 0, 0};
    a[axis] = degrees;
    VgeEulerXYZToMatrix(r.m, a[0], a[1], a[2]);
    return r;
}

inline R3 FromXYZ(double x, double y, double z) {
    R3 r = Identity();
    VgeEulerXYZToMatrix(r.m, x, y, z);
    return r;
}

// Rotation channels (axis per value) in file order: M = R(last) x ... x R(first).
inline R3 FromChannels(const int* axes, const double* values, int count) {
    R3 m = Identity();
    for (int c = 0; c < count; ++c)
        m = Mul(Turn(axes[c], values[c]), m);
    return m;
}

inline double MaxDifference(const R3& a, const R3& b) {
    double d = 0;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            d = std::fmax(d, std::fabs(a.m[i][j] - b.m[i][j]));
    return d;
}

// The value of key `index` of a node's current-take curve ("T" or "R", component 0..2).
inline VFCurve* Curve(VOxaNode* node, const char* channel, int component) {
    static const char* const kComponents[3] = {"X", "Y", "Z"};
    VOxaTakeNode* take = node ? node->GetCurrentTakeNode() : nullptr;
    return take ? take->GetVFCurve("Transform", channel, kComponents[component]) : nullptr;
}

}  // namespace bvhtest

#endif  // OXA_TESTS_FORMATS_MOTION_BVH_BVH_TEST_UTIL_H
