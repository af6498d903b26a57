// Curve-node events, locking, candidate snapshots, and storage as "Channel" and "LayerChannel"
// fields of the field file.
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "animation/fcurve_node_internal.h"
#include "animation/time_warp_set.h"
#include "objects/vdatatype.h"
#include "oxa_codec/voxa.h"

using namespace fcurve_node_detail;

// ---- Callbacks and events -------------------------------------------------------------------

void VFCurveNode::CallbackAdd(VFCurveNodeCallback function, void* object) {
    if (!mCallbacks) {
        mCallbacks = new (std::nothrow) VFCurveNodeCallbacks;
        if (!mCallbacks) return;
    }
    mCallbacks->mFunctions.Add(function);
    mCallbacks->mObjects.Add(object);
}

void VFCurveNode::CallbackRemove(VFCurveNodeCallback function, void* object) {
    if (!mCallbacks) return;
    int count = mCallbacks->mFunctions.GetCount();
    if (count == 0) {
        // The record outlived its last registration (it kept counting events); it goes now.
        delete mCallbacks;
        mCallbacks = nullptr;
        return;
    }
    for (int i = count - 1; i >= 0; --i) {
        if (mCallbacks->mFunctions[i] == function && mCallbacks->mObjects[i] == object) {
            mCallbacks->mFunctions.RemoveAt(i);
            mCallbacks->mObjects.RemoveAt(i);
            return;
        }
    }
}

void VFCurveNode::CallbackCall(unsigned int event) {
    VFCurveNodeCallbacks* record = mCallbacks;
    if (!record) return;
    record->mEvents |= event;
    ++record->mEventCount;
    ++mUpdateId;
    if (!record->mEnabled) return;
    // Newest registration first. A callback may unregister itself, so the index is checked
    // against the current count on every step.
    for (int i = record->mFunctions.GetCount() - 1; i >= 0; --i) {
        if (i >= record->mFunctions.GetCount()) continue;
        VFCurveNodeCallback function = record->mFunctions[i];
        if (function) function(this, record, record->mObjects[i]);
    }
    record->mEvents = 0;
    record->mEventCount = 0;
}

bool VFCurveNode::CallbackEnable(bool enable) {
    VFCurveNodeCallbacks* record = mCallbacks;
    if (!record || record->mEnabled == enable) return true;
    if (enable && record->mEventCount > 0) {
        // Pending events are delivered oldest registration first.
        for (int i = 0; i < record->mFunctions.GetCount(); ++i) {
            VFCurveNodeCallback function = record->mFunctions[i];
            if (function) function(this, record, record->mObjects[i]);
        }
        record->mEvents = 0;
        record->mEventCount = 0;
    }
    record->mEnabled = enable;
    return true;
}

bool VFCurveNode::IsCallbackEnabled() const {
    return !mCallbacks || mCallbacks->mEnabled;
}

void VFCurveNode::CallbackClear() {
    if (!mCallbacks) return;
    mCallbacks->mEvents = 0;
    mCallbacks->mEventCount = 0;
}

// ---- Locking --------------------------------------------------------------------------------

// Bounds on what a file may ask for: real channels nest a few levels deep (a take root, the
// "Transform" group, a channel, its components) and carry a handful of layers.
static constexpr int kMaxChannelDepth = 32;
static constexpr int kMaxLayerDepth = 256;
static constexpr int kMaxChannelNameLength = 4096;

class VFCurveNodeStore {
public:
    static void Lock(VFCurveNode* node, int delta) {
        for (VFCurveNode* layer = node; layer; layer = layer->mNextLayer) {
            layer->mAccessLock += delta;
            if (layer->mAccessLock < 0) layer->mAccessLock = 0;
            for (int i = 0; i < layer->mNodes.GetCount(); ++i)
                Lock(layer->mNodes[i], delta);
        }
    }

    static void GetState(const VFCurveNode* node, VFCurveNodeCandidateState* state) {
        state->mSpecificCandidateMethod = node->mSpecificCandidateMethod;
        state->mTotalCandidateMethod = node->mTotalCandidateMethod;
        for (int i = 0; i < 4; ++i)
            state->mCandidateTotalValue[i] = node->mCandidateTotalValue[i];
        state->mCandidateTotalTime = node->mCandidateTotalTime;
        state->mLayerID = node->mLayerID;
        if (VFCurve* curve = node->mFCurve) {
            state->mCandidateSpecificValue = curve->CandidateGet();
            state->mCandidateSpecificTime = curve->CandidateGetTime();
            state->mFCurveValue = curve->GetDefaultValue();
        }
        for (int i = 0; i < 4 && i < node->mNodes.GetCount(); ++i) {
            state->mSubStates[i] = new (std::nothrow) VFCurveNodeCandidateState;
            if (state->mSubStates[i]) node->mNodes[i]->GetCandidateState(state->mSubStates[i]);
        }
    }

    static void SetState(VFCurveNode* node, const VFCurveNodeCandidateState* state) {
        node->mSpecificCandidateMethod = state->mSpecificCandidateMethod;
        node->mTotalCandidateMethod = state->mTotalCandidateMethod;
        for (int i = 0; i < 4; ++i)
            node->mCandidateTotalValue[i] = state->mCandidateTotalValue[i];
        node->mCandidateTotalTime = state->mCandidateTotalTime;
        node->mTotalFromEvaluation = false;
        if (VFCurve* curve = node->mFCurve) {
            curve->SetDefaultValue((float)state->mFCurveValue);
            if (state->mCandidateSpecificTime == VTIME_INFINITE) {
                curve->CandidateClear();
            } else {
                curve->CandidateSet(state->mCandidateSpecificTime, state->mCandidateSpecificValue);
            }
        }
        for (int i = 0; i < 4 && i < node->mNodes.GetCount(); ++i) {
            if (state->mSubStates[i]) node->mNodes[i]->SetCandidateState(state->mSubStates[i], false);
        }
    }
};

void VFCurveNode::LockAccess() {
    VFCurveNodeStore::Lock(this, 1);
}

void VFCurveNode::UnlockAccess() {
    VFCurveNodeStore::Lock(this, -1);
}

// ---- Candidate snapshots --------------------------------------------------------------------

static void FreeSubRecords(VFCurveNodeCandidateState* state) {
    for (VFCurveNodeCandidateState*& sub : state->mSubStates) {
        delete sub;
        sub = nullptr;
    }
    delete state->mLayerState;  // deletes the rest of the chain with it
    state->mLayerState = nullptr;
}

void VFCurveNode::GetCandidateState(VFCurveNodeCandidateState* state) const {
    if (!state) return;
    FreeSubRecords(state);
    VFCurveNodeStore::GetState(this, state);
    VFCurveNodeCandidateState* record = state;
    for (const VFCurveNode* layer = mNextLayer; layer; layer = layer->mNextLayer) {
        record->mLayerState = new (std::nothrow) VFCurveNodeCandidateState;
        if (!record->mLayerState) break;
        record = record->mLayerState;
        VFCurveNodeStore::GetState(layer, record);
    }
}

void VFCurveNode::SetCandidateState(const VFCurveNodeCandidateState* state, bool removeLayers) {
    if (!state) return;
    if (removeLayers && mLayerID == 0) {
        VFCurveNode* layer = mNextLayer;
        while (layer) {
            VFCurveNode* next = layer->mNextLayer;
            bool kept = false;
            for (const VFCurveNodeCandidateState* s = state->mLayerState; s && !kept; s = s->mLayerState) {
                kept = s->mLayerID == layer->mLayerID;
            }
            if (!kept) RemoveLayer(layer->mLayerID, true);
            layer = next;
        }
    }
    VFCurveNodeStore::SetState(this, state);
    const VFCurveNodeCandidateState* record = state->mLayerState;
    for (VFCurveNode* layer = mNextLayer; layer && record;
         layer = layer->mNextLayer, record = record->mLayerState) {
        VFCurveNodeStore::SetState(layer, record);
    }
}

void VFCurveNode::FreeCandidateState(VFCurveNodeCandidateState* state) {
    if (state) FreeSubRecords(state);
}

namespace {

// Debug lines go to a sink that discards them; the formatting is kept so a debugger can break
// here and read them.
void TraceSink(const char* line) {
    (void)line;
}

void TraceLine(int indent, const char* text) {
    std::string line(indent > 0 ? (size_t)indent * 2 : 0, ' ');
    line += text;
    TraceSink(line.c_str());
}

}  // namespace

void VFCurveNode::CandidateDebugPrint(const VFCurveNodeCandidateState* state, int indent) {
    if (!state) return;
    char text[256];
    std::snprintf(text, sizeof text, "mSpecificCandidateMethod = %d\n", state->mSpecificCandidateMethod);
    TraceLine(indent, text);
    std::snprintf(text, sizeof text, "mTotalCandidateMethod = %d\n", state->mTotalCandidateMethod);
    TraceLine(indent, text);
    std::snprintf(text, sizeof text, "mCandidateTotalValue = %f, %f, %f, %f\n",
                  state->mCandidateTotalValue[0], state->mCandidateTotalValue[1],
                  state->mCandidateTotalValue[2], state->mCandidateTotalValue[3]);
    TraceLine(indent, text);
    std::snprintf(text, sizeof text, "mCandidateTotalTime = %f\n",
                  state->mCandidateTotalTime.GetSecondDouble());
    TraceLine(indent, text);
    std::snprintf(text, sizeof text, "mCandidateSpecificValue = %f\n", state->mCandidateSpecificValue);
    TraceLine(indent, text);
    std::snprintf(text, sizeof text, "mFCurveValue = %f\n", state->mFCurveValue);
    TraceLine(indent, text);
    std::snprintf(text, sizeof text, "mCandidateSpecificTime = %f\n",
                  state->mCandidateSpecificTime.GetSecondDouble());
    TraceLine(indent, text);
    TraceLine(indent, "mLayerState:\n");
    if (state->mLayerState) CandidateDebugPrint(state->mLayerState, indent + 1);
    for (int i = 0; i < 4; ++i) {
        std::snprintf(text, sizeof text, "mSubStates[%d]:\n", i);
        TraceLine(indent, text);
        if (state->mSubStates[i]) CandidateDebugPrint(state->mSubStates[i], indent + 1);
    }
}
