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
#include "base/vallocation_hook.h"
#include "base/vdelivery_internal.h"
#include "objects/vdatatype.h"
#include "oxa_codec/voxa.h"

using namespace fcurve_node_detail;

// ---- Callbacks and events -------------------------------------------------------------------

void VFCurveNode::CallbackAdd(VFCurveNodeCallback function, void* object) {
    if (!mCallbacks) {
        mCallbacks = oxa_alloc::Counted(new (std::nothrow) VFCurveNodeCallbacks);
        if (!mCallbacks) return;
    }
    mCallbacks->mFunctions.Add(function);
    mCallbacks->mObjects.Add(object);
}

void VFCurveNode::CallbackRemove(VFCurveNodeCallback function, void* object) {
    if (!mCallbacks) return;
    VFCurveNodeCallbacks* record = mCallbacks;
    int count = record->mFunctions.GetCount();
    if (count == 0) {
        // The record outlived its last registration (it kept counting events); it goes now, or
        // when the delivery that is calling a callback ends.
        mCallbacks = nullptr;
        if (record->mDelivering > 0)
            record->mFreeWhenIdle = true;
        else
            delete record;
        return;
    }
    for (int i = count - 1; i >= 0; --i) {
        if (record->mFunctions[i] == function && record->mObjects[i] == object) {
            record->mFunctions.RemoveAt(i);
            record->mObjects.RemoveAt(i);
            // Keep the walk of a delivery on the registration it would call next.
            if (record->mDelivering > 0 && (record->mWalkUp ? i <= record->mWalk : i < record->mWalk))
                --record->mWalk;
            return;
        }
    }
}

// Calls every registration of `record`, newest first or (`oldestFirst`) oldest first. False when
// a callback destroyed the node: the caller must not touch it again. The record is freed here
// when the outermost delivery ends and the node is gone or CallbackRemove asked for it.
static bool DeliverCallbacks(VFCurveNode* node, VFCurveNodeCallbacks* record, bool oldestFirst) {
    // The bookkeeping is put back however the walk ends; a callback that throws stops there and
    // the walk goes on with the next one.
    struct Walk {
        VFCurveNodeCallbacks* mRecord;
        int mOuterWalk;
        bool mOuterUp;
        bool mAlive = true;
        ~Walk() {
            VFCurveNodeCallbacks* record = mRecord;
            record->mWalk = mOuterWalk;
            record->mWalkUp = mOuterUp;
            mAlive = !record->mNodeGone;
            if (--record->mDelivering == 0 && (record->mNodeGone || record->mFreeWhenIdle)) {
                delete record;
            } else if (mAlive && !record->mFreeWhenIdle) {
                record->mEvents = 0;
                record->mEventCount = 0;
            }
        }
    };
    bool alive = true;
    {
        Walk walk{record, record->mWalk, record->mWalkUp};
        ++record->mDelivering;
        record->mWalkUp = oldestFirst;
        int count = record->mFunctions.GetCount();
        for (record->mWalk = oldestFirst ? 0 : count - 1;
             oldestFirst ? record->mWalk < record->mFunctions.GetCount() : record->mWalk >= 0;
             oldestFirst ? ++record->mWalk : --record->mWalk) {
            if (record->mNodeGone || record->mFreeWhenIdle) break;
            if (record->mWalk >= record->mFunctions.GetCount()) continue;
            VFCurveNodeCallback function = record->mFunctions[record->mWalk];
            void* object = record->mObjects[record->mWalk];
            if (function) oxa_delivery::Call([&] { function(node, record, object); });
        }
        alive = !record->mNodeGone;
    }
    return alive;
}

void VFCurveNode::CallbackCall(unsigned int event) {
    VFCurveNodeCallbacks* record = mCallbacks;
    if (!record) return;
    record->mEvents |= event;
    ++record->mEventCount;
    ++mUpdateId;
    if (!record->mEnabled) return;
    DeliverCallbacks(this, record, false);
}

bool VFCurveNode::CallbackEnable(bool enable) {
    VFCurveNodeCallbacks* record = mCallbacks;
    if (!record || record->mEnabled == enable) return true;
    record->mEnabled = enable;
    // Pending events are delivered oldest registration first.
    if (enable && record->mEventCount > 0) DeliverCallbacks(this, record, true);
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
            state->mSubStates[i] = oxa_alloc::Counted(new (std::nothrow) VFCurveNodeCandidateState);
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

    // ---- Storage ----

    // Reading state: how deep the channels and the layer chains nest, and whether a failure was
    // reported (null results then mean failure, not the end of the fields).
    struct Reading {
        bool failed = false;
    };

    static bool Fail(VOxa* file, Reading& reading, const char* what, const char* name) {
        std::string text = "Channel \"";
        text += name ? std::string(name).substr(0, 64) : std::string();
        text += "\": ";
        text += what;
        file->GetError().SetLastError(VOxa::eFILE_CORRUPTED, text.c_str());
        reading.failed = true;
        return false;
    }

    static bool NameAcceptable(const char* name) {
        return name && std::strlen(name) <= (size_t)kMaxChannelNameLength;
    }

    static bool Store(VFCurveNode* node, VOxa* file, bool onlyDefaults, bool trsNames, bool noUserName,
                      const char* fieldName, bool storeColour, bool autoAsSlopes) {
        const char* name = node->GetName();
        if (trsNames) {
            if (HasDataType(node, "Lcl Translation")) {
                name = "T";
            } else if (HasDataType(node, "Lcl Rotation")) {
                name = "R";
            } else if (HasDataType(node, "Lcl Scaling")) {
                name = "S";
            }
        }
        bool ok = file->FieldWriteBegin(fieldName) && file->FieldWriteS(name) && file->FieldWriteBlockBegin();
        if (!ok) return false;
        const char* userName = node->GetUserName();
        if (!noUserName && std::strcmp(userName, name) != 0) {
            ok = ok && file->FieldWriteBegin("UserName") && file->FieldWriteS(userName) &&
                 file->FieldWriteEnd();
        }
        int warpId = 0;
        if (node->mTimeWarp && VFCurveNodeFindTimeWarpId(&warpId, node->mTimeWarp)) {
            ok = ok && file->FieldWriteBegin("TimeWarpID") && file->FieldWriteI(warpId) &&
                 file->FieldWriteEnd();
        }
        if (node->mFCurve) ok = ok && node->mFCurve->OxaStore(file, onlyDefaults, storeColour, autoAsSlopes);
        for (int i = 0; i < node->mNodes.GetCount() && ok; ++i) {
            ok = Store(node->mNodes[i], file, onlyDefaults, trsNames, noUserName, "Channel", storeColour,
                       autoAsSlopes);
        }
        if (node->mLayerID != 0) {
            ok = ok && file->FieldWriteBegin("LayerID") && file->FieldWriteI(node->mLayerID) &&
                 file->FieldWriteEnd();
        }
        if (node->mLayerType != 0) {
            ok = ok && file->FieldWriteBegin("LayerType") && file->FieldWriteI(node->mLayerType) &&
                 file->FieldWriteEnd();
        }
        if (node->mNextLayer && !onlyDefaults) {
            ok = ok && Store(node->mNextLayer, file, false, trsNames, noUserName, "LayerChannel", false,
                             autoAsSlopes);
        }
        return file->FieldWriteBlockEnd() && file->FieldWriteEnd() && ok;
    }

    // Reads the curve of a body: adopted by a node without children, dropped by one with
    // children, read into an existing curve.
    static bool ReadCurve(VFCurveNode* node, VOxa* file, bool onlyDefaults, bool readColour,
                          Reading& reading) {
        if (!file->FieldReadBegin("Default")) return true;
        if (node->mFCurve) {
            if (!node->mFCurve->OxaRetrieve(file, onlyDefaults, readColour)) {
                return Fail(file, reading, "malformed curve", node->GetName());
            }
            return true;
        }
        VFCurve* curve = VFCurve::Create();
        if (!curve) return Fail(file, reading, "out of memory", node->GetName());
        if (!curve->OxaRetrieve(file, onlyDefaults, readColour)) {
            delete curve;
            return Fail(file, reading, "malformed curve", node->GetName());
        }
        if (node->mNodes.GetCount() > 0) {
            delete curve;
        } else {
            node->FCurveSet(curve);
        }
        return true;
    }

    // Reads a field's block into `node` with the body reader; the field is current.
    static bool ReadBlock(VFCurveNode* node, VOxa* file, bool onlyDefaults, bool create, bool readColour,
                          int channelDepth, int layerDepth, Reading& reading) {
        // A field without a block is a node without content; a damaged block is an error, which
        // the file reports. Earlier errors of the file are kept either way.
        VError saved = file->GetError();
        file->GetError().ClearError();
        bool entered = file->FieldReadBlockBegin();
        bool damaged = !entered && file->GetError().GetLastErrorID() >= 0;
        if (!damaged) file->GetError() = saved;
        if (damaged) {
            reading.failed = true;
            return false;
        }
        if (!entered) return true;
        bool ok = Body(node, file, onlyDefaults, create, readColour, channelDepth, layerDepth, reading);
        file->FieldReadBlockEnd();
        return ok;
    }

    static bool ContainsText(const char* text, const char* part) {
        return std::strstr(text, part) != nullptr;
    }

    static bool Body(VFCurveNode* node, VOxa* file, bool onlyDefaults, bool create, bool readColour,
                     int channelDepth, int layerDepth, Reading& reading) {
        const char* userName = file->FieldReadSOrDefault("UserName", "");
        if (userName && userName[0]) {
            if (!NameAcceptable(userName)) return Fail(file, reading, "user name too long", node->GetName());
            node->SetUserName(userName);
        }
        if (!ReadCurve(node, file, onlyDefaults, readColour, reading)) return false;

        int layerID = file->FieldReadIOrDefault("LayerID", 0);
        if (layerID < 0) return Fail(file, reading, "negative layer id", node->GetName());
        node->mLayerID = layerID;
        int layerType = file->FieldReadIOrDefault("LayerType", 0);
        if (layerType < 0 || layerType > eFCURVENODE_LAYER_QUATERNION) {
            return Fail(file, reading, "unknown layer type", node->GetName());
        }
        node->SetLayerType(layerType, nullptr);

        for (;;) {
            VFCurveNode* child =
                Child(file, node, onlyDefaults, create, readColour, channelDepth + 1, layerDepth, reading);
            if (reading.failed) return false;
            if (!child) break;
        }

        if (file->FieldReadBegin("LayerChannel")) {
            bool ok = ReadLayer(node, file, onlyDefaults, channelDepth, layerDepth + 1, reading);
            file->FieldReadEnd();
            if (!ok) return false;
        }

        int warpId = file->FieldReadIOrDefault("TimeWarpID", 0);
        if (warpId != 0) {
            if (VFCurveNode* warp = VFCurveNodeFindTimeWarp(warpId)) {
                const char* name = node->GetName();
                bool component =
                    !std::strcmp(name, "X") || !std::strcmp(name, "Y") || !std::strcmp(name, "Z");
                VFCurveNode* target =
                    node->mLayerID == 0 && node->mParent && component ? node->mParent : node;
                if (!target->SetTimeWarp(warp))
                    return Fail(file, reading, "time warp refers to itself", name);
            }
        }

        // Layer types follow from the data type and the name where files disagree.
        const char* name = node->GetName();
        int count = node->mNodes.GetCount();
        bool rotation = HasDataType(node, "Lcl Rotation") || !std::strcmp(name, "R");
        if (rotation && count == 3) {
            node->SetLayerType(eFCURVENODE_LAYER_EULER_ROTATION);
        } else if (node->mLayerType == eFCURVENODE_LAYER_EULER_ROTATION && count != 3) {
            node->SetLayerType(eFCURVENODE_LAYER_ADDITIVE_COMPONENT);
        }
        if (node->mLayerType == eFCURVENODE_LAYER_QUATERNION && count != 4) {
            node->SetLayerType(eFCURVENODE_LAYER_ADDITIVE_COMPONENT);
        }
        if (HasDataType(node, "Lcl Translation") || !std::strcmp(name, "T") ||
            ContainsText(name, "Translation")) {
            node->SetLayerType(eFCURVENODE_LAYER_ADDITIVE);
        }
        if (HasDataType(node, "Lcl Scaling") || !std::strcmp(name, "S") || ContainsText(name, "Scaling")) {
            node->SetLayerType(eFCURVENODE_LAYER_MULTIPLICATIVE);
        }
        if (file->GetSectionVersion(file->GetCurrentSection()) == 4000 && node->mLayerType != 0) {
            bool r = ContainsText(name, "R") && std::strcmp(name, "R") && HasDataType(node, "Lcl Rotation");
            bool t =
                ContainsText(name, "T") && std::strcmp(name, "T") && HasDataType(node, "Lcl Translation");
            bool s = ContainsText(name, "S") && std::strcmp(name, "S") && HasDataType(node, "Lcl Scaling");
            if (r || t || s) node->SetLayerType(eFCURVENODE_LAYER_ADDITIVE_COMPONENT);
        }
        return true;
    }

    // The "LayerChannel" field is current: it becomes the next layer of `node`.
    static bool ReadLayer(VFCurveNode* node, VOxa* file, bool onlyDefaults, int channelDepth, int layerDepth,
                          Reading& reading) {
        const char* name = file->FieldReadS();
        if (!NameAcceptable(name)) return Fail(file, reading, "layer name too long", node->GetName());
        if (layerDepth > kMaxLayerDepth) return Fail(file, reading, "too many layers", node->GetName());
        VFCurveNode* layer = VFCurveNode::CreateFromTemplate(node);
        if (!layer) return Fail(file, reading, "out of memory", node->GetName());
        // A chain read over an existing one replaces it; dropping the old link unreleased would
        // leak the old layers.
        VFCurveNode* old = node->mNextLayer;
        node->SetNextLayer(layer, false);
        if (old && node->mNextLayer == layer) VFCurveNode::Release(old);
        layer->mObjectLayer = node->mObjectLayer;
        if (!ReadBlock(layer, file, onlyDefaults, true, false, channelDepth, layerDepth, reading))
            return false;
        if (layer->mLayerID <= node->mLayerID) {
            return Fail(file, reading, "layer ids do not increase along the chain", node->GetName());
        }
        if (layer->mNodes.GetCount() != node->mNodes.GetCount()) {
            return Fail(file, reading, "layer and base have different components", node->GetName());
        }
        return true;
    }

    // The base-name match of a suffixed channel name: "Name (suffix)" or "Name  (suffix)".
    static std::string CutSuffix(const char* name) {
        const char* paren = std::strchr(name, '(');
        if (!paren) return std::string();
        size_t end = (size_t)(paren - name);
        for (int blanks = 0; blanks < 2 && end > 0 && name[end - 1] == ' '; ++blanks)
            --end;
        return std::string(name, end);
    }

    static VFCurveNode* Child(VOxa* file, VFCurveNode* parent, bool onlyDefaults, bool create,
                              bool readColour, int channelDepth, int layerDepth, Reading& reading) {
        for (;;) {
            if (!file->FieldReadBegin("Channel")) return nullptr;
            const char* read = file->FieldReadS();
            if (!NameAcceptable(read)) {
                file->FieldReadEnd();
                Fail(file, reading, "name too long", parent ? parent->GetName() : "");
                return nullptr;
            }
            if (channelDepth > kMaxChannelDepth) {
                file->FieldReadEnd();
                Fail(file, reading, "channels nested too deeply", read);
                return nullptr;
            }
            std::string name = read;
            VFCurveNode* child = nullptr;
            bool created = false;
            if (parent) {
                if (name == "R") child = parent->Find(VDataType::Find("Lcl Rotation"));
                if (name == "S") child = parent->Find(VDataType::Find("Lcl Scaling"));
                if (name == "T") child = parent->Find(VDataType::Find("Lcl Translation"));
                if (!child) child = parent->Get(parent->Find(name.c_str()));
                if (!child) {
                    std::string cut = CutSuffix(name.c_str());
                    if (!cut.empty()) child = parent->Get(parent->Find(cut.c_str()));
                }
                if (!child) {
                    if (parent->mFCurve || !create) {
                        // Not a component of this channel: skipped, and the following fields
                        // may only fill existing components.
                        file->FieldReadEnd();
                        create = false;
                        continue;
                    }
                    child = oxa_alloc::Counted(new (std::nothrow)
                                                   VFCurveNode(name.c_str(), name.c_str(), nullptr, 0, 0));
                    if (!child) {
                        file->FieldReadEnd();
                        Fail(file, reading, "out of memory", name.c_str());
                        return nullptr;
                    }
                    parent->Add(child);
                }
            } else {
                child = oxa_alloc::Counted(new (std::nothrow)
                                               VFCurveNode(name.c_str(), name.c_str(), nullptr, 0, 0));
                if (!child) {
                    file->FieldReadEnd();
                    Fail(file, reading, "out of memory", name.c_str());
                    return nullptr;
                }
                created = true;
            }
            bool ok =
                ReadBlock(child, file, onlyDefaults, create, readColour, channelDepth, layerDepth, reading);
            file->FieldReadEnd();
            if (!ok) {
                if (created) delete child;
                reading.failed = true;
                return nullptr;
            }
            if (parent && child->mLayerID >= 1) {
                VFCurveNode* base = parent->mObjectLayer;
                VFCurveNode* baseChild = base ? base->Get(base->Find(child->GetName())) : nullptr;
                if (baseChild && baseChild != child) {
                    child->mObjectLayer = baseChild;
                    child->SetTemplate(baseChild, false);
                }
            }
            return child;
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
        record->mLayerState = oxa_alloc::Counted(new (std::nothrow) VFCurveNodeCandidateState);
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

// ---- Storage --------------------------------------------------------------------------------

bool VFCurveNode::OxaStore(VOxa* file, bool onlyDefaults, bool trsNames, bool noUserName,
                           const char* fieldName, bool storeColour, bool autoAsSlopes) {
    if (!file) return false;
    return VFCurveNodeStore::Store(this, file, onlyDefaults, trsNames, noUserName,
                                   fieldName ? fieldName : "Channel", storeColour, autoAsSlopes);
}

bool VFCurveNode::OxaRetrieve(VOxa* file, bool onlyDefaults, bool create, bool readColour) {
    if (!file || !file->FieldReadBegin("Channel")) return false;
    VFCurveNodeStore::Reading reading;
    const char* name = file->FieldReadS();
    if (!VFCurveNodeStore::NameAcceptable(name)) {
        file->FieldReadEnd();
        return VFCurveNodeStore::Fail(file, reading, "name too long", "");
    }
    mInfo->mName = name;
    mInfo->mUserName = name;
    bool ok = VFCurveNodeStore::ReadBlock(this, file, onlyDefaults, create, readColour, 0, 0, reading);
    file->FieldReadEnd();
    return ok;
}

bool VFCurveNode::OxaRetrieveBody(VOxa* file, bool onlyDefaults, bool create, bool readColour) {
    if (!file) return false;
    VFCurveNodeStore::Reading reading;
    return VFCurveNodeStore::Body(this, file, onlyDefaults, create, readColour, 0, 0, reading);
}

VFCurveNode* VFCurveNode::OxaRetrieveChild(VOxa* file, VFCurveNode* parent, bool onlyDefaults, bool create,
                                           bool readColour) {
    if (!file) return nullptr;
    VFCurveNodeStore::Reading reading;
    int depth = 0;
    for (const VFCurveNode* p = parent; p && depth <= kMaxChannelDepth; p = p->GetParent())
        ++depth;
    return VFCurveNodeStore::Child(file, parent, onlyDefaults, create, readColour, depth, 0, reading);
}

VFCurveNode* VFCurveNode::OxaRetrieveChannel(VOxa* file, bool onlyDefaults, bool readColour) {
    return OxaRetrieveChild(file, nullptr, onlyDefaults, true, readColour);
}
