// VOxaMotionSampler: a writer's subtree evaluated frame after frame, in records of its own or
// through the nodes.
#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "animation/fcurve.h"
#include "base/vge_euler.h"
#include "base/vge_matrix.h"
#include "formats/motion/voxa_motion_base.h"
#include "scene/voxa_node.h"
#include "scene/voxa_node_eval_internal.h"
#include "scene/voxa_take_node.h"

using voxa_node_eval::ParentParts;

// One held curve of a record: its value at a frame is component `mAt` (T, R, S in x, y, z order).
struct VOxaMotionSampler::Slot {
    const VFCurve* mCurve;
    int64_t mFirst;  // the times of the curve's first and last keys
    int64_t mLast;
    int mAt;
    int mHint;  // the curve's search position, the sampler's own
};

// What one node's evaluation at a frame reads and writes, the values in front.
struct VOxaMotionSampler::Record {
    enum Kind : uint8_t {
        eCONSTANT,  // on a default take without keys: the default values, the same at every frame
        eHELD,      // every channel read from held curves and constants
        eNODE       // the local values from the node's own evaluation
    };
    Kind mKind = eNODE;
    bool mLimited = false;  // some limit is enabled
    bool mRotationActive = false;
    bool mReadsXYZ = true;  // ComposeGlobal reads the XYZ matrix of the rotation
    bool mXYZValid = false;
    int mParent = -1;
    int mSlotBegin = 0;
    int mSlotEnd = 0;
    uint64_t mStamp = 0;       // the global parts are those of sampler frame mStamp
    bool mLocalValid = false;  // LocalMatrix built mLocalMatrix at mLocalTime
    VTime mLocalTime;
    double mLocalRS[6] = {};  // the rotation and scaling mLocalMatrix was built from
    double mRaw[9] = {};      // eHELD: the channel values before limits
    double mTRS[9] = {};      // the local translation, rotation (degrees) and scaling after limits
    double mGlobalTranslation[3] = {};
    double mXYZAngles[3] = {};  // the angles mXYZ was built from
    // The global rotation and scaling (and the matrix but for its translation) depend on the local
    // rotation and scaling and on the parent's: while none of them changes, a frame recomputes
    // the translation alone. mPartsVersion changes whenever this record's may have changed.
    bool mComposed = false;      // mComposedRS and mParentVersion are those of the last ComposeGlobal
    double mComposedRS[6] = {};  // the local rotation and scaling it was given
    uint64_t mParentVersion = 0;
    uint64_t mPartsVersion = 0;
    VgeAMatrix mGlobalMatrix;
    VgeAMatrix mGlobalRotation;
    VgeAMatrix mGlobalScaling;
    VgeAMatrix mXYZ;
    VgeAMatrix mLocalMatrix;
    VOxaTransformSettings mSettings;

    // The global parts, from a node's stamped transform and back into one.
    void LoadGlobals(const VOxaStampedTransform& stamped) {
        mGlobalMatrix = stamped.mGlobalMatrix;
        mGlobalRotation = stamped.mGlobalRotation;
        mGlobalScaling = stamped.mGlobalScaling;
        std::memcpy(mGlobalTranslation, stamped.mGlobalTranslation, sizeof mGlobalTranslation);
    }
    void StoreGlobals(VOxaStampedTransform& stamped) const {
        stamped.mGlobalMatrix = mGlobalMatrix;
        stamped.mGlobalRotation = mGlobalRotation;
        stamped.mGlobalScaling = mGlobalScaling;
        std::memcpy(stamped.mGlobalTranslation, mGlobalTranslation, sizeof mGlobalTranslation);
    }
};

VOxaMotionSampler::VOxaMotionSampler(VOxaNode* root) : mRoot(root) {
    if (!root) return;
    // Each node before its children, children in index order: the order of the recursive pass.
    std::vector<std::pair<VOxaNode*, int>> pending{{root, -1}};
    while (!pending.empty()) {
        VOxaNode* node = pending.back().first;
        const int parent = pending.back().second;
        pending.pop_back();
        const int index = (int)mNodes.size();
        mNodes.push_back(node);
        mParents.push_back(parent);
        mIndex.emplace(node, index);
        mKeyedDefault.push_back(voxa_node_eval::KeyedDefaultTake(node));
        node->HoldTakeChannels();
        for (int i = node->GetChildCount() - 1; i >= 0; --i)
            if (VOxaNode* child = node->GetChild(i)) pending.emplace_back(child, index);
    }
    BuildRecords();
}

VOxaMotionSampler::~VOxaMotionSampler() {
    if (mRecordFrame) {
        // The nodes' state as the nodes' way leaves it: the global parts of each node as last
        // computed, then the last frame evaluated through the nodes with the global parts of the
        // nodes it asked for.
        StoreRecordGlobals();
        EvaluateNodes(mTime);
        for (size_t i = 1; i < mNodes.size(); ++i)
            if (mRecords[i].mStamp == mFrame)
                mNodes[i]->UpdateGlobalTransformBelow(1, mNodes[(size_t)mParents[i]]);
    }
    // The take caches as the nodes' own local evaluation leaves them.
    for (size_t i = 0; i < mRecords.size(); ++i)
        if (mRecords[i].mLocalValid) mNodes[i]->EvaluateLocalTransform(mRecords[i].mLocalTime);
    for (VOxaNode* node : mNodes)
        node->ReleaseTakeChannels();
}

void VOxaMotionSampler::StoreRecordGlobals() {
    for (size_t i = 1; i < mRecords.size(); ++i) {
        const Record& record = mRecords[i];
        if (record.mStamp != 0) record.StoreGlobals(mNodes[i]->GetStampedTransform());
    }
}

void VOxaMotionSampler::BuildRecords() {
    // An inherit type outside 0..2 keeps a node's global scaling and matrix from one evaluation to
    // the next: the nodes' own hold them.
    for (VOxaNode* node : mNodes) {
        const int inherit = node->GetNodeProperties()->GetTransformSettings().mInheritType;
        if (inherit < 0 || inherit > 2) return;
    }
    mRecords.resize(mNodes.size());
    for (size_t i = 0; i < mNodes.size(); ++i) {
        VOxaNode* node = mNodes[i];
        Record& record = mRecords[i];
        VOxaNodeProperties* properties = node->GetNodeProperties();
        record.mSettings = properties->GetTransformSettings();
        record.mRotationActive = properties->GetRotationActive();
        record.mReadsXYZ = voxa_node_eval::ComposeReadsXYZ(record.mSettings, record.mRotationActive);
        record.mLimited = voxa_node_eval::HasLimits(record.mSettings);
        record.mParent = mParents[i];
        // The parts ComposeGlobal does not write (the fourth column) stay as the node holds them.
        record.LoadGlobals(node->GetStampedTransform());
        record.mSlotBegin = record.mSlotEnd = (int)mSlots.size();

        VOxaTakeNode* take = node->GetCurrentTakeNode();
        const VOxaHeldChannels& held = node->GetHeldTakeChannels();
        if (take == node->GetDefaultTakeNode() && !mKeyedDefault[i]) {
            node->GetDefaultLocalTransform();
            const VOxaTransformCache& cache = node->GetDefaultTransformCache();
            std::memcpy(record.mTRS, cache.mLocalTranslation, 3 * sizeof(double));
            std::memcpy(record.mTRS + 3, cache.mLocalRotation, 3 * sizeof(double));
            std::memcpy(record.mTRS + 6, cache.mLocalScaling, 3 * sizeof(double));
            record.mKind = Record::eCONSTANT;
        } else if (take && take == held.mTake && held.mTransform && held.mDirect[0] && held.mDirect[1] &&
                   held.mDirect[2]) {
            std::memcpy(record.mRaw, held.mConstants, sizeof record.mRaw);
            for (int k = 0; k < held.mCurveSlotCount; ++k) {
                const int at = held.mCurveSlots[k];
                mSlots.push_back(Slot{held.mCurves[at], held.mFirstTimes[at], held.mLastTimes[at], at, 0});
            }
            record.mSlotEnd = (int)mSlots.size();
            record.mKind = Record::eHELD;
        } else {
            record.mKind = Record::eNODE;
        }
    }
}

void VOxaMotionSampler::Evaluate(VTime time) {
    if (!mRoot) return;
    mLast = -1;
    mTime = time;
    const bool records = !mRecords.empty() && voxa_node_eval::Shortcuts();
    if (mRecordFrame && !records) {
        // From here on the nodes hold the global parts: those the records computed go to them.
        StoreRecordGlobals();
        for (Record& record : mRecords) {
            record.mStamp = 0;
            record.mComposed = false;
        }
    }
    mRecordFrame = records;
    if (mRecordFrame)
        EvaluateRecords(time);
    else
        EvaluateNodes(time);
}

void VOxaMotionSampler::UpdateNodeLocal(size_t index, VTime time) {
    if (mKeyedDefault[index])
        voxa_node_eval::UpdateLocalTRSAt(mNodes[index], time);
    else
        mNodes[index]->UpdateLocalTRS(time, false);
}

void VOxaMotionSampler::EvaluateNodes(VTime time) {
    for (size_t i = 0; i < mNodes.size(); ++i) {
        UpdateNodeLocal(i, time);
        mNodes[i]->SetEvaluationStamp(0, false);
    }
    mRoot->SetGlobalTransform(VgeAMatrix());
    mRoot->SetEvaluationStamp(1, false);
}

const float* VOxaMotionSampler::Block(size_t at) const {
    return mBlock.data() + at * mSlots.size();
}

const float* VOxaMotionSampler::FrameValues(VTime time) {
    // Every node of a frame asks at the same time: the block frame found for the first serves
    // the rest.
    if (mHasPrevious && time.Get() == mPrevious)
        return mBlockAt < mBlockTimes.size() && mBlockTimes[mBlockAt] == mPrevious ? Block(mBlockAt)
                                                                                   : nullptr;
    return BlockValues(time);
}

const float* VOxaMotionSampler::BlockValues(VTime time) {
    const int64_t t = time.Get();
    const int64_t previous = mPrevious;
    const bool hadPrevious = mHasPrevious;
    mPrevious = t;
    mHasPrevious = true;
    if (mSlots.empty()) return nullptr;
    if (mBlockAt + 1 < mBlockTimes.size() && mBlockTimes[mBlockAt + 1] == t) return Block(++mBlockAt);
    // A new block from this frame on when the frames come at a steady step (the same step twice):
    // each curve is then evaluated at all its times one after another, reading its keys in order,
    // instead of one time of every curve after another. Frames at other steps are evaluated one by
    // one, so that irregular times cost no evaluation ahead.
    mBlockTimes.clear();
    mBlockAt = 0;
    const int64_t ticks = hadPrevious && t > previous ? (time - VTime(previous)).Get() : 0;
    const bool steady = ticks > 0 && ticks == mStep;
    mStep = ticks;
    if (!steady) return nullptr;
    const VTime step(ticks);
    VTime at = time;
    for (int k = 0; k < kBlockFrames; ++k, at += step)
        mBlockTimes.push_back(at.Get());
    const size_t slots = mSlots.size();
    mBlock.resize(slots * kBlockFrames);
    for (size_t j = 0; j < slots; ++j) {
        Slot& slot = mSlots[j];
        slot.mCurve->EvaluateAscending(mBlockTimes.data(), (int)mBlockTimes.size(), &mBlock[j], slots,
                                       &slot.mHint);
    }
    return Block(0);
}

void VOxaMotionSampler::EvaluateRecords(VTime time) {
    ++mFrame;
    const float* block = FrameValues(time);
    for (size_t i = 0; i < mRecords.size(); ++i) {
        Record& record = mRecords[i];
        if (record.mKind == Record::eHELD) {
            ReadHeld(record, time, block);
        } else if (record.mKind == Record::eNODE) {
            VOxaNode* node = mNodes[i];
            UpdateNodeLocal(i, time);
            const VOxaStampedTransform& stamped = node->GetStampedTransform();
            std::memcpy(record.mTRS, stamped.mLocalTranslation, 3 * sizeof(double));
            std::memcpy(record.mTRS + 3, stamped.mLocalRotationAngles, 3 * sizeof(double));
            for (int k = 0; k < 3; ++k)
                record.mTRS[6 + k] = stamped.mLocalScaling.mData[k][k];
        }
    }
    // The root's global parts are those of the identity, as the nodes' way sets them.
    mRoot->SetGlobalTransform(VgeAMatrix());
    Record& root = mRecords[0];
    root.LoadGlobals(mRoot->GetStampedTransform());
    root.mStamp = mFrame;
    // The root's parts that its children's rotation and scaling depend on: a change shows as a
    // new version.
    double parts[35];
    std::memcpy(parts, root.mGlobalRotation.mData, 16 * sizeof(double));
    std::memcpy(parts + 16, root.mGlobalScaling.mData, 16 * sizeof(double));
    std::memcpy(parts + 32, root.mTRS + 6, 3 * sizeof(double));
    if (!mRootPartsSeen || std::memcmp(parts, mRootParts, sizeof parts) != 0) {
        std::memcpy(mRootParts, parts, sizeof parts);
        mRootPartsSeen = true;
        ++root.mPartsVersion;
    }
}

float VOxaMotionSampler::SlotValue(Slot& slot, VTime time) {
    const int64_t t = time.Get();
    const bool inside = t >= slot.mFirst && t <= slot.mLast;
    return inside ? slot.mCurve->EvaluateInside(time, &slot.mHint) : slot.mCurve->Evaluate(time, &slot.mHint);
}

void VOxaMotionSampler::ReadHeld(Record& record, VTime time, const float* block) {
    // As the node reads its held channels: the constants, each curve's value, then the limits.
    for (int k = record.mSlotBegin; k < record.mSlotEnd; ++k) {
        Slot& slot = mSlots[(size_t)k];
        record.mRaw[slot.mAt] = block ? block[k] : SlotValue(slot, time);
    }
    std::memcpy(record.mTRS, record.mRaw, sizeof record.mTRS);
    if (record.mLimited)
        voxa_node_eval::ApplyLimits(record.mSettings, record.mTRS, record.mTRS + 3, record.mTRS + 6);
}

const VgeAMatrix& VOxaMotionSampler::LocalMatrix(VOxaNode* node, VTime time) {
    const int index = IndexOf(node);
    if (index < 0 || mRecords.empty() || mRecords[(size_t)index].mKind != Record::eHELD) {
        return node->EvaluateLocalTransform(time);
    }
    mLast = index;
    Record& record = mRecords[(size_t)index];
    if (!voxa_node_eval::Shortcuts()) {
        // The node's take cache is the latest now.
        record.mLocalValid = false;
        return node->EvaluateLocalTransform(time);
    }
    // The rotation and scaling rows depend on the rotation and scaling alone: when neither
    // changed, only the translation row is written, as the node's own evaluation does.
    const float* block = FrameValues(time);
    ReadHeld(record, time, block);
    const double* t = record.mTRS;
    if (record.mLocalValid && std::memcmp(record.mLocalRS, t + 3, sizeof record.mLocalRS) == 0) {
        VgeMatrixSetTranslation(record.mLocalMatrix.mData, t[0], t[1], t[2]);
    } else {
        VgeMatrixFromTRS(record.mLocalMatrix.mData, t, t + 3, t + 6);
        std::memcpy(record.mLocalRS, t + 3, sizeof record.mLocalRS);
    }
    record.mLocalValid = true;
    record.mLocalTime = time;
    return record.mLocalMatrix;
}

int VOxaMotionSampler::IndexOf(VOxaNode* node) {
    // Writers ask for their nodes in the order of the list at every frame: the node after the
    // last one asked for is tried before the index.
    for (int i = mLast + 1, end = std::min(mLast + 5, (int)mNodes.size()); i < end; ++i)
        if (mNodes[(size_t)i] == node) return i;
    auto found = mIndex.find(node);
    return found == mIndex.end() ? -1 : found->second;
}

const VgeAMatrix& VOxaMotionSampler::GlobalMatrix(VOxaNode* node) {
    const int index = IndexOf(node);
    if (index < 0) return VOxaMotionSupport::GlobalMatrix(node);
    mLast = index;
    return mRecordFrame ? RecordGlobal(index) : NodeGlobal(index);
}

const VgeAMatrix& VOxaMotionSampler::NodeGlobal(int index) {
    // The node and its ancestors up to the first one at stamp 1 (the root is), then downwards.
    mChain.clear();
    for (int i = index; i >= 0 && mNodes[(size_t)i]->GetStampedTransform().mStamp != 1;
         i = mParents[(size_t)i])
        mChain.push_back(i);
    for (size_t k = mChain.size(); k-- > 0;) {
        const int i = mChain[k];
        const int parent = mParents[(size_t)i];
        mNodes[(size_t)i]->UpdateGlobalTransformBelow(1, parent >= 0 ? mNodes[(size_t)parent] : nullptr);
    }
    return mNodes[(size_t)index]->GetGlobalTransform();
}

const VgeAMatrix& VOxaMotionSampler::RecordGlobal(int index) {
    Record& own = mRecords[(size_t)index];
    // Most often the parent's parts are of this frame already (the writers ask parents first).
    if (own.mStamp != mFrame && mRecords[(size_t)own.mParent].mStamp == mFrame) {
        ComposeRecordGlobal(own);
        return own.mGlobalMatrix;
    }
    // The record and its ancestors up to the first one of this frame (the root's is), then
    // downwards, each from its parent's global parts.
    mChain.clear();
    for (int i = index; mRecords[(size_t)i].mStamp != mFrame; i = mParents[(size_t)i])
        mChain.push_back(i);
    for (size_t k = mChain.size(); k-- > 0;)
        ComposeRecordGlobal(mRecords[(size_t)mChain[k]]);
    return own.mGlobalMatrix;
}

void VOxaMotionSampler::ComposeRecordGlobal(Record& record) {
    const Record& parent = mRecords[(size_t)record.mParent];
    const ParentParts parts{parent.mGlobalMatrix.mData, parent.mGlobalRotation.mData,
                            parent.mGlobalScaling.mData, parent.mTRS + 6};
    const double* r = record.mTRS + 3;  // the rotation, then the scaling
    if (record.mComposed && record.mParentVersion == parent.mPartsVersion &&
        record.mSettings.mPivotFlags == 0 &&
        std::memcmp(record.mComposedRS, r, sizeof record.mComposedRS) == 0) {
        voxa_node_eval::ComposeGlobalTranslation(record.mSettings, record.mTRS, &parts,
                                                 record.mGlobalTranslation, record.mGlobalMatrix.mData);
        record.mStamp = mFrame;
        return;
    }
    const double(*xyz)[4] = nullptr;
    if (record.mReadsXYZ) {
        if (!record.mXYZValid || std::memcmp(record.mXYZAngles, r, sizeof record.mXYZAngles) != 0) {
            VgeEulerVectorToMatrix(record.mXYZ.mData, r);
            std::memcpy(record.mXYZAngles, r, sizeof record.mXYZAngles);
            record.mXYZValid = true;
        }
        xyz = record.mXYZ.mData;
    }
    voxa_node_eval::ComposeGlobal(record.mSettings, record.mRotationActive, record.mTRS, r, record.mTRS + 6,
                                  xyz, &parts, record.mGlobalTranslation, record.mGlobalRotation.mData,
                                  record.mGlobalScaling.mData, record.mGlobalMatrix.mData);
    std::memcpy(record.mComposedRS, r, sizeof record.mComposedRS);
    record.mParentVersion = parent.mPartsVersion;
    record.mComposed = true;
    ++record.mPartsVersion;
    record.mStamp = mFrame;
}
