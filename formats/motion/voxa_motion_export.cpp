#include "formats/motion/voxa_motion_export.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "animation/fcurve.h"
#include "base/vtime.h"
#include "oxa_codec/voxa_io_formats.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_node_attribute.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_take_info.h"
#include "scene/voxa_take_node.h"

namespace {

// The most frames a motion writer is asked to write.
constexpr double kMaxFrames = 1e9;
// A take whose span runs further than this past the last key is cut to the keys: the frames after
// it only repeat the last pose, and a damaged length (a 3DS segment that ends at frame 536 million,
// say) would have the writers repeat it for as long.
constexpr double kMaxFramesPastKeys = 10000;

bool SameText(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b)
        if ((*a | 0x20) != (*b | 0x20)) return false;
    return *a == *b;
}

// Down the chain of only children from the scene's root, the first marked node; null at a fork or
// the end (where the skeleton writers start).
VOxaNode* MotionRoot(VOxaScene* scene) {
    for (VOxaNode* node = scene->GetRootNode(); node;
         node = node->GetChildCount() == 1 ? node->GetChild(0) : nullptr)
        if (node->IsMarked()) return node;
    return nullptr;
}

// True when a curve holds two different values.
bool Varies(const VFCurve* curve) {
    const int count = curve ? curve->KeyGetCount() : 0;
    for (int k = 1; k < count; ++k)
        if (curve->KeyGetValue(k) != curve->KeyGetValue(0)) return true;
    return false;
}

// True when some joint below the motion root moves by translation in the current take (capture
// sets that key every joint's position do).
bool JointsTranslate(VOxaScene* scene) {
    VOxaNode* root = MotionRoot(scene);
    std::vector<VOxaNode*> stack;
    if (root)
        for (int k = 0; k < root->GetChildCount(); ++k)
            if (VOxaNode* child = root->GetChild(k)) stack.push_back(child);
    while (!stack.empty()) {
        VOxaNode* node = stack.back();
        stack.pop_back();
        if (VOxaTakeNode* take = node->GetCurrentTakeNode())
            if (Varies(take->GetTranslationX()) || Varies(take->GetTranslationY()) ||
                Varies(take->GetTranslationZ()))
                return true;
        for (int k = 0; k < node->GetChildCount(); ++k)
            if (VOxaNode* child = node->GetChild(k)) stack.push_back(child);
    }
    return false;
}

// Marks every node below the root that carries an attribute other than an optical reference, when
// none is marked. True when a group of nodes side by side (markers) was given a marked parent as
// the skeleton writers' motion root.
bool MarkNodes(VOxaScene* scene, bool skeletonWriter) {
    VOxaNode* root = scene->GetRootNode();
    if (!root || root->IsMarked(true)) return false;
    std::vector<VOxaNode*> stack{root};
    while (!stack.empty()) {
        VOxaNode* node = stack.back();
        stack.pop_back();
        const VOxaNodeAttribute* attribute = node->GetNodeAttribute();
        if (node != root && attribute && attribute->GetAttributeType() != VOxaNodeAttribute::eOpticalReference)
            node->SetMarked(1);
        for (int k = node->GetChildCount() - 1; k >= 0; --k)
            if (VOxaNode* child = node->GetChild(k)) stack.push_back(child);
    }
    // Markers hang side by side under their reference node: for the skeleton writers, which start
    // from a single chain, that node (where the chain below the scene root forks before any marked
    // node) becomes the motion root. The marker writers would take it for a marker.
    if (!skeletonWriter) return false;
    for (VOxaNode* node = root->GetChildCount() == 1 ? root->GetChild(0) : nullptr; node;
         node = node->GetChildCount() == 1 ? node->GetChild(0) : nullptr) {
        if (node->IsMarked()) break;
        if (node->GetChildCount() > 1) {
            node->SetMarked(1);
            return true;
        }
    }
    return false;
}

}  // namespace

VOxaMotionWriterKind VOxaGetMotionWriterKind(int writerFormat) {
    const VOxaWriterFormat* format = VOxaGetWriterFormat(writerFormat);
    if (!format || !format->mExtension) return VOxaMotionWriterKind::eNone;
    for (const char* extension : {"bvh", "htr", "asf", "amc"})
        if (SameText(format->mExtension, extension)) return VOxaMotionWriterKind::eSkeleton;
    for (const char* extension : {"trc", "c3d", "aoa", "mcd", "brd", "mov", "vpm"})
        if (SameText(format->mExtension, extension)) return VOxaMotionWriterKind::eMarkers;
    return VOxaMotionWriterKind::eNone;
}

void VOxaMarkMotionToWrite(VOxaScene* scene, int writerFormat, VStreamOptionsMotion* options) {
    const VOxaMotionWriterKind kind = VOxaGetMotionWriterKind(writerFormat);
    if (!scene || !options || kind == VOxaMotionWriterKind::eNone) return;
    const bool skeleton = kind == VOxaMotionWriterKind::eSkeleton;
    const bool sideBySide = MarkNodes(scene, skeleton);
    if (skeleton) {
        // Skeleton writers write rotations only unless told otherwise: markers move by
        // translation only, and some captures key every joint's translation; both keep it.
        if (sideBySide || JointsTranslate(scene)) options->SetOption(VStreamOptionsMotion::eTRANSLATION, 1);
    } else {
        // From their motion root, a skeleton's root joint would stay at the origin and every joint
        // move as if it never moved or turned; marker sources hang under a reference node at the
        // origin, so their markers come out the same either way.
        options->SetOption(VStreamOptionsMotion::eEXPORT_FROM_GLOBAL_POSITION, 1);
    }
}

void VOxaUseSourceRate(VStreamOptionsMotion* options, const VStreamOptionsMotion* read, VOxaScene* scene) {
    if (!options) return;
    if (read && read->GetFrameRate() > 0.0) {
        if (read->IsCustomFrameRate())
            options->SetTimeMode(0, read->GetFrameRate());
        else
            options->SetTimeMode(read->GetTimeMode());
    } else if (scene) {
        options->SetTimeMode(scene->GetGlobalTimeSettings().GetTimeMode());
    }
}

bool VOxaSetMotionFramesToWrite(VStreamOptionsMotion* options, VOxaScene* scene, int readFrames,
                                VString* error, VString* warning) {
    if (!options || !scene || options->GetFrameCount() > 0) return true;
    VTime start = VTime::kInfinite, stop = VTime::kMinusInfinite;
    VTime keysStart = VTime::kInfinite, keysStop = VTime::kMinusInfinite;
    if (VOxaNode* root = scene->GetRootNode()) root->GetAnimationIntervalRecursive(keysStart, keysStop);
    const int64_t period = options->GetFramePeriod().Get();
    const VOxaTakeInfo* info = scene->GetTakeInfo(scene->GetCurrentTakeName());
    const bool oneFrame = info && readFrames > 0 &&
                          info->mLocalTimeSpan.GetStop().Get() == info->mLocalTimeSpan.GetStart().Get();
    if (info && (oneFrame || info->mLocalTimeSpan.GetStop().Get() > info->mLocalTimeSpan.GetStart().Get())) {
        start = info->mLocalTimeSpan.GetStart();
        stop = info->mLocalTimeSpan.GetStop();
        // The last key, or the take's first instant when no key lies inside it.
        const VTime last = keysStop.Get() > start.Get() ? keysStop : start;
        const double past = period > 0 ? ((double)stop.Get() - (double)last.Get()) / (double)period : 0.0;
        if (past > kMaxFramesPastKeys) {
            if (warning) {
                char text[200];
                std::snprintf(text, sizeof text,
                              "the take's span runs %.0f frames past its last key: only the frames up to "
                              "the last key are written",
                              past);
                *warning = text;
            }
            stop = last;
        }
    } else {
        start = keysStart;
        stop = keysStop;
    }
    if (period <= 0 || stop.Get() < start.Get() || start.Get() == VTime::kInfinite) return true;
    // In doubles: an open span's ends are the extremes of the time type.
    const double frames = ((double)stop.Get() - (double)start.Get()) / (double)period;
    if (!(frames < kMaxFrames)) {
        if (error) {
            char text[160];
            std::snprintf(text, sizeof text, "at %g frames per second the take would need more than %.0f frames",
                          options->GetFrameRate(), kMaxFrames - 1);
            *error = text;
        }
        return false;
    }
    options->SetStartTime(start);
    options->SetFrameCount((int)(frames + 1e-6) + 1);
    return true;
}

bool VOxaPrepareMotionExport(VOxaScene* scene, int writerFormat, VStreamOptionsMotion* options,
                             const VStreamOptionsMotion* read, VString* error) {
    if (!scene || !options) return true;
    VOxaMarkMotionToWrite(scene, writerFormat, options);
    VOxaUseSourceRate(options, read, scene);
    return VOxaSetMotionFramesToWrite(options, scene, read ? read->GetFrameCount() : -1, error);
}
