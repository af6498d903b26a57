#include "scene/voxa_node_finder.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "attributes/voxa_generic_node.h"
#include "scene/voxa_node.h"
#include "scene/voxa_node_attribute.h"
#include "scene/voxa_scene_contents.h"
#include "scene/voxa_take_node.h"

// ---- Base walk --------------------------------------------------------------------------------

VArrayTemplate<VOxaNode*>& VOxaNodeFinder::Find(VOxaNode* root) {
    mRootNode = root;
    SearchRecursive(root);
    return mResult;
}

void VOxaNodeFinder::Reset() {
    mResult.Clear();
}

void VOxaNodeFinder::SearchRecursive(VOxaNode* node) {
    if (!node) return;
    // Pre-order with an explicit stack, so that a deep chain does not exhaust the call stack.
    if (CheckNode(node)) mResult.Add(node);
    std::vector<std::pair<VOxaNode*, int>> stack{{node, 0}};
    while (!stack.empty()) {
        auto& top = stack.back();
        if (top.second >= top.first->GetChildCount()) {
            stack.pop_back();
            continue;
        }
        VOxaNode* child = top.first->GetChild(top.second++);
        if (!child) continue;
        if (CheckNode(child)) mResult.Add(child);
        stack.emplace_back(child, 0);
    }
}

// ---- Duplicate names --------------------------------------------------------------------------

VOxaNodeFinderDuplicateName::VOxaNodeFinderDuplicateName(VOxaSceneContents* contents) : mContents(contents) {}

void VOxaNodeFinderDuplicateName::Reset() {
    VOxaNodeFinder::Reset();
    mNodes.Clear();
    mDuplicateNodes.Clear();
    mMaterials.Clear();
    mDuplicateMaterials.Clear();
    mTextures.Clear();
    mDuplicateTextures.Clear();
    mVideos.Clear();
    mDuplicateVideos.Clear();
    mGenericNodes.Clear();
    mDuplicateGenericNodes.Clear();
    mNodeSlots.Clear();
    mNodeNames.Clear();
    mNameCounts.Clear();
}

bool VOxaNodeFinderDuplicateName::GetOption(int index) const {
    return index >= 0 && index < eOptionCount && mOptions[index];
}

void VOxaNodeFinderDuplicateName::SetOption(int index, bool value) {
    if (index >= 0 && index < eOptionCount) mOptions[index] = value;
}

bool VOxaNodeFinderDuplicateName::CheckNode(VOxaNode* node) {
    if (!node) return false;
    // Geometry layers (materials, textures, videos) are not reachable from a node yet, so the
    // node name is the only check.
    return CheckNodeName(node);
}

void VOxaNodeFinderDuplicateName::RebuildNameIndex() {
    mNodeSlots.Clear();
    mNodeNames.Clear();
    mNameCounts.Clear();
    mNameCounts.SetCount(mNodes.GetCount());
    auto nameAt = [this](int position) { return mNodes[position]->GetName(); };
    for (int i = 0; i < mNodes.GetCount(); ++i) {
        mNodeSlots.Insert(mNodes[i], i);
        int first = mNodeNames.Find(mNodes[i]->GetName(), nameAt);
        if (first < 0) {
            mNodeNames.Insert(mNodes[i]->GetName(), i, nameAt);
            first = i;
        }
        ++mNameCounts[first];
    }
    mNamesStamp = VOxaObject::GetRenameStamp();
}

void VOxaNodeFinderDuplicateName::AppendNode(VOxaNode* node) {
    int position = mNodes.Add(node);
    if (position < 0) return;
    // Without its count the node is not listed at all: the lists stay of one length.
    if (mNameCounts.Add(0) < 0) {
        mNodes.RemoveAt(position);
        return;
    }
    mNodeSlots.Insert(node, position);
    auto nameAt = [this](int at) { return mNodes[at]->GetName(); };
    int first = mNodeNames.Find(node->GetName(), nameAt);
    if (first < 0) {
        mNodeNames.Insert(node->GetName(), position, nameAt);
        first = position;
    }
    ++mNameCounts[first];
}

bool VOxaNodeFinderDuplicateName::IsNameInContents(const char* name) const {
    if (!mContents) return false;
    VOxaNode* found = mContents->FindNodeByName(name);
    if (!found) return false;
    VOxaNode* root = mContents->GetRootNode();
    if (found != root) return true;
    // The root itself does not count; another node of the scene may still bear its name.
    return root->FindChild(name, true, false) != nullptr;
}

bool VOxaNodeFinderDuplicateName::CheckNodeName(VOxaNode* node) {
    if (VOxaObject::GetRenameStamp() != mNamesStamp) RebuildNameIndex();
    if (!mOptions[eNodeNames]) {
        AppendNode(node);
        return false;
    }
    const char* name = node->GetName();
    bool clash = IsNameInContents(name);
    if (!clash) {
        // Another node of the array bears the name: its first holder is another node, or the
        // node itself holds it with others.
        auto nameAt = [this](int at) { return mNodes[at]->GetName(); };
        int first = mNodeNames.Find(name, nameAt);
        clash = first >= 0 && (mNodes[first] != node || mNameCounts[first] > 1);
    }
    if (clash) mDuplicateNodes.Add(node);
    if (mNodeSlots.Find(node) < 0) AppendNode(node);
    return clash;
}

bool VOxaNodeFinderDuplicateName::CheckGenericNodeName(const char* name) {
    if (!name || !mOptions[eGenericNodeNames]) return false;
    if (mContents) {
        VOxaGenericNode* found = mContents->GetGenericNodeByName(name);
        if (!found) return false;
        mDuplicateGenericNodes.Add(found);
        return true;
    }
    for (int i = 0; i < mGenericNodes.GetCount(); ++i) {
        VOxaGenericNode* node = mGenericNodes[i];
        if (node && std::strcmp(node->GetName(), name) == 0) {
            mDuplicateGenericNodes.Add(node);
            return true;
        }
    }
    return false;
}

// ---- Bad scale --------------------------------------------------------------------------------

namespace {

// The most samples one curve test takes: over 190 hours at 24 samples per second. Key times
// come from files; a wild range must not stall the walk.
constexpr uint64_t kMaxScaleSamples = uint64_t(1) << 24;

}  // namespace

VOxaNodeFinderBadScale::VOxaNodeFinderBadScale() : mSamplingStep(VTime::kOneSecond / 24) {}

void VOxaNodeFinderBadScale::Reset() {
    VOxaNodeFinder::Reset();
    mNotOneDefault.Clear();
    mNotOneCurrent.Clear();
    mNegativeDefault.Clear();
    mNegativeCurrent.Clear();
    mNonUniformDefault.Clear();
    mNonUniformCurrent.Clear();
}

int VOxaNodeFinderBadScale::TestScaleValues(const double* values, int count) const {
    if (!values || count <= 0) return eScaleOk;
    count = std::min(count, 3);
    const double first = values[0];
    for (int i = 0; i < count; ++i) {
        const double v = values[i];
        // Written as "not within", so that a NaN value fails.
        if (mTestScaleNotOne && !(std::fabs(v - 1.0) <= mTolerance)) return eScaleNotOne;
        if (mTestNegativeScale && v < 0.0) return eScaleNegative;
        if (mTestNonUniformScale && !(std::fabs(v - first) <= mTolerance)) return eScaleNonUniform;
    }
    return eScaleOk;
}

int VOxaNodeFinderBadScale::TestScaleCurves(VFCurve* const curves[3]) const {
    VFCurve* present[3];
    int count = 0;
    for (int i = 0; i < 3; ++i) {
        if (curves[i]) present[count++] = curves[i];
    }
    double values[3] = {};
    for (int i = 0; i < count; ++i)
        values[i] = present[i]->GetDefaultValue();
    int answer = TestScaleValues(values, count);
    if (answer != eScaleOk) return answer;

    bool keyed = false;
    int64_t start = 0;
    int64_t stop = 0;
    for (int i = 0; i < count; ++i) {
        int keys = present[i]->KeyGetCount();
        if (keys <= 0) continue;
        int64_t first = present[i]->KeyGetTime(0).Get();
        int64_t last = present[i]->KeyGetTime(keys - 1).Get();
        start = keyed ? std::min(start, first) : first;
        stop = keyed ? std::max(stop, last) : last;
        keyed = true;
    }
    if (!keyed || stop < start) return eScaleOk;

    // Samples start, start + step, ... <= stop; the difference is taken without wrapping.
    const int64_t step = mSamplingStep.Get();
    uint64_t samples = ((uint64_t)stop - (uint64_t)start) / (uint64_t)step + 1;
    samples = std::min(samples, kMaxScaleSamples);
    bool notOne = false;
    bool nonUniform = false;
    int hints[3] = {0, 0, 0};
    for (uint64_t s = 0; s < samples; ++s) {
        VTime t(start + (int64_t)s * step);
        for (int i = 0; i < count; ++i)
            values[i] = present[i]->Evaluate(t, &hints[i]);
        int result = TestScaleValues(values, count);
        if (result == eScaleNegative) return eScaleNegative;
        if (result == eScaleNonUniform) nonUniform = true;
        if (result == eScaleNotOne) notOne = true;
    }
    if (nonUniform) return eScaleNonUniform;
    return notOne ? eScaleNotOne : eScaleOk;
}

bool VOxaNodeFinderBadScale::TestTake(VOxaNode* node, VFCurveNode* takeRoot,
                                      VArrayTemplate<VOxaNode*>& notOne, VArrayTemplate<VOxaNode*>& negative,
                                      VArrayTemplate<VOxaNode*>& nonUniform) {
    if (!node || !takeRoot) return false;
    VFCurve* curves[3] = {nullptr, nullptr, nullptr};
    if (VFCurveNode* scaling = takeRoot->FindChild("S")) {
        static const char* const kComponents[3] = {"X", "Y", "Z"};
        for (int i = 0; i < 3; ++i) {
            VFCurveNode* component = scaling->Get(scaling->Find(kComponents[i]));
            curves[i] = component ? component->FCurveGet() : nullptr;
        }
    }
    const bool hasChildren = node->GetChildCount() > 0;
    switch (TestScaleCurves(curves)) {
        case eScaleNotOne:
            if (!hasChildren) return false;
            notOne.Add(node);
            return true;
        case eScaleNegative:
            negative.Add(node);
            return true;
        case eScaleNonUniform:
            if (!hasChildren) return false;
            nonUniform.Add(node);
            return true;
        default:
            return false;
    }
}

bool VOxaNodeFinderBadScale::CheckNode(VOxaNode* node) {
    if (!node) return false;
    // Scaling that is not one only matters on skeleton nodes; the option is kept as it was.
    const bool notOneOption = mTestScaleNotOne;
    mTestScaleNotOne = notOneOption && node->GetNodeAttributeType() == VOxaNodeAttribute::eSkeleton;

    bool reported = false;
    VOxaTakeNode* defaultTake = node->GetDefaultTakeNode();
    if (defaultTake)
        reported = TestTake(node, defaultTake->GetVFCurveNode(), mNotOneDefault, mNegativeDefault,
                            mNonUniformDefault);
    // The index is checked first: asking for a missing current take would set the node's error.
    const int currentIndex = node->GetCurrentTakeNodeIndex();
    VOxaTakeNode* currentTake = (currentIndex >= 0 && currentIndex < node->GetTakeNodeCount())
                                    ? node->GetTakeNode(currentIndex)
                                    : nullptr;
    if (currentTake && currentTake != defaultTake) {
        if (TestTake(node, currentTake->GetVFCurveNode(), mNotOneCurrent, mNegativeCurrent,
                     mNonUniformCurrent))
            reported = true;
    }

    mTestScaleNotOne = notOneOption;
    return reported;
}
