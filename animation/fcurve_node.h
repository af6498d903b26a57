// Curve-node trees: the named trees of function curves that animate one channel of an object.
//
// A VFCurveNode owns at most one curve (VFCurve) and any number of child nodes; a compound
// channel ("Lcl Translation", "Color") is a node without a curve whose children "X", "Y", "Z"
// carry one curve each. A node can head a chain of animation layers (further nodes of the same
// shape, ordered by layer id, each composing its value with the layers below it by its layer
// type) and can point to a time-warp node that remaps the time it is evaluated at.
//
// Values cross the API as flat arrays of doubles in tree order: the node's own curve value first,
// then each child's values in child order. A quaternion node (layer type 4) holds four curves
// but contributes three Euler angles in degrees to evaluated values; operations that address
// curves one by one (default values, EvaluateCurves, KeyAddSet, KeySetValues) take one value
// per curve instead.
//
// Names are compared without regard to case. Nothing here throws; failures answer false, null
// or -1.
#ifndef OXA_ANIMATION_FCURVE_NODE_H
#define OXA_ANIMATION_FCURVE_NODE_H

#include <memory>
#include <string>
#include <unordered_map>

#include <oxa/base/oxa_export.h>
#include <oxa/base/varray.h>
#include <oxa/base/vstring.h>
#include <oxa/base/vtime.h>

class VFCurve;
class VFCurveKey;
class VDataType;
class VProperty;
class VOxa;
class VFCurveNode;
struct VFCurveNodeCallbacks;

// Layer types: how a layer's value composes with the value of the layers below it.
enum {
    eFCURVENODE_LAYER_ADDITIVE_COMPONENT = 0,  // additive (component nodes)
    eFCURVENODE_LAYER_ADDITIVE = 1,            // additive (translation and general channels)
    eFCURVENODE_LAYER_EULER_ROTATION = 2,      // children X, Y, Z in degrees, rotation matrices
    eFCURVENODE_LAYER_MULTIPLICATIVE = 3,      // scaling
    eFCURVENODE_LAYER_QUATERNION = 4,          // children X, Y, Z, "W", quaternion product
};

// Event bits fired to the callbacks of a node.
enum {
    eFCURVENODE_EVENT_SELECTION = 1,  // the selection flag was set or cleared
    eFCURVENODE_EVENT_DESTROY = 2,    // the node is being destroyed
    eFCURVENODE_EVENT_FCURVE = 4,     // FCurveSet replaced the node's curve
    eFCURVENODE_EVENT_TIME_WARP = 8,  // the time-warp link changed
    eFCURVENODE_EVENT_LAYERS = 16,    // the layer chain changed (fired on the object layer)
};

// A callback gets the node, its callback record (whose mEvents and mEventCount tell what
// happened) and the object given at registration. It may remove registrations, free the record,
// destroy its node (a node of its own; one a manager's object holds through the manager, which
// then destroys it once the library's work under way ends) and call any getter; an exception it
// throws stops at it (the next registration is still called).
typedef void (*VFCurveNodeCallback)(VFCurveNode* node, VFCurveNodeCallbacks* record, void* object);

// The callback registrations of a node and the events fired since the last delivery. Created by
// the first CallbackAdd; freed with the node or by a CallbackRemove on a record without
// registrations.
struct OXA_API VFCurveNodeCallbacks {
    unsigned int mEvents = 0;  // OR of the event bits fired since the last delivery
    int mEventCount = 0;       // number of events fired since the last delivery
    VArrayTemplate<VFCurveNodeCallback> mFunctions{16};
    VArrayTemplate<void*> mObjects{16};
    bool mEnabled = true;  // delivery on
    // Delivery bookkeeping: callbacks may remove registrations, free the record (CallbackRemove on
    // an empty record) or destroy the node while they are called; the record then outlives the
    // call and goes when the outermost delivery ends.
    int mDelivering = 0;         // deliveries in progress
    int mWalk = -1;              // the registration being called by the innermost delivery
    bool mWalkUp = false;        // that delivery goes oldest first
    bool mFreeWhenIdle = false;  // CallbackRemove asked for the record to go
    bool mNodeGone = false;      // the node was destroyed
};

// The name block shared by every node made from the same template and by the nodes of one
// layer chain.
struct OXA_API VFCurveNodeInfo {
    VString mName;
    VString mUserName;
    const VDataType* mDataType = nullptr;
    VProperty* mProperty = nullptr;  // when set, the node's name is the property's name
    int mRefCount = 1;
};

// A snapshot of the candidate bookkeeping of one node, with one owned sub-record per child (at
// most four) and one for the next layer. A new record is all zero. Deleting a record deletes its
// sub-records and its layer record.
struct OXA_API VFCurveNodeCandidateState {
    VFCurveNodeCandidateState() = default;
    VFCurveNodeCandidateState(const VFCurveNodeCandidateState&) = delete;
    VFCurveNodeCandidateState& operator=(const VFCurveNodeCandidateState&) = delete;
    ~VFCurveNodeCandidateState();

    int mSpecificCandidateMethod = 0;
    int mTotalCandidateMethod = 0;
    double mCandidateTotalValue[4] = {0.0, 0.0, 0.0, 0.0};
    VTime mCandidateTotalTime = 0;
    double mCandidateSpecificValue = 0.0;  // the node curve's candidate value
    double mFCurveValue = 0.0;             // the node curve's default value
    VTime mCandidateSpecificTime = 0;      // the node curve's candidate time
    VFCurveNodeCandidateState* mSubStates[4] = {nullptr, nullptr, nullptr, nullptr};
    VFCurveNodeCandidateState* mLayerState = nullptr;
    int mLayerID = 0;
};

class OXA_API VFCurveNode {
public:
    // Flag bits of the flag word (GetFlags); 0x60 at construction.
    enum {
        eFLAG_USER_1 = 0x01,
        eFLAG_SELECTED = 0x02,
        eFLAG_REFERENCE_MODE = 0x08,  // children are not owned
        eFLAG_USER_2 = 0x10,
        eFLAG_USER_3 = 0x20,              // set at construction
        eFLAG_LAYERED = 0x40,             // layer ids are honoured; set at construction
        eFLAG_CANDIDATE_ANY_TIME = 0x80,  // the stored total answers an evaluation at any time
    };
    // Candidate methods.
    enum {
        eCANDIDATE_NONE = 1,
        eCANDIDATE_TOTAL_PENDING = 2,  // specific: a total waits to become this layer's candidate
        eCANDIDATE_SPECIFIC_DONE = 3,
    };
    enum { eTOTAL_NONE = 1, eTOTAL_STORED = 2 };

    // --- Construction -------------------------------------------------------------------------

    // A detached node with a new name block (the two names and the data type, no property),
    // flags 0x60, no curve, children or links; the layer type is applied through SetLayerType.
    VFCurveNode(const char* name, const char* userName, const VDataType* dataType, int layerType,
                int layerID);
    // A node sharing the template's name block; it copies the template's layer type, rotation
    // order, quaternion interpolation and candidate bookkeeping; layer id 0.
    explicit VFCurveNode(VFCurveNode* templateNode);
    VFCurveNode(const VFCurveNode&) = delete;
    VFCurveNode& operator=(const VFCurveNode&) = delete;

    // The data type is looked up by name (null when unknown or not given).
    static VFCurveNode* Create(const char* name, const char* userName, const char* dataTypeName,
                               int layerType = 0, int layerID = 0);
    // The user name is the name, except for "TimeWarp" nodes, which get none.
    static VFCurveNode* CreateFromName(const char* name, const VDataType* dataType = nullptr,
                                       int layerType = 0, int layerID = 0);
    static VFCurveNode* CreateFromTemplate(VFCurveNode* templateNode);
    // The node for a property of that data type: layer type 2 for rotations, 3 for scalings, 1
    // otherwise; a data type of two or more components gets one child per component, named "X",
    // "Y", "Z" and " " for every component after the third.
    static VFCurveNode* CreateForDataType(const VDataType* dataType, const char* name);

    // Fires event 2, frees the callback record, clears the node, leaves its parent's child list
    // and releases the name block.
    virtual ~VFCurveNode();

    // --- Children -----------------------------------------------------------------------------

    // Removes (reference mode) or deletes the children, last first; destroys the curve; releases
    // the next layer and the time warp (their reference count drops, they are destroyed below 1).
    virtual void Clear();
    // Appends a child (its parent becomes this node unless in reference mode); answers its index.
    virtual int Add(VFCurveNode* node);
    // Takes the child at `index` out of the list (it lives on); answers the new count.
    virtual int Remove(int index);
    // As Remove, then destroys the child.
    virtual int Delete(int index);
    virtual int GetCount() const { return mNodes.GetCount(); }
    // The child at `index`, null when out of range.
    virtual VFCurveNode* Get(int index) const { return mNodes.GetAt(index); }
    // True when `node` is a child or, with `recursive`, a descendant.
    virtual bool IsChild(const VFCurveNode* node, bool recursive = false) const;
    // The first child of that data type, null when none.
    virtual VFCurveNode* Find(const VDataType* dataType) const;
    // The index of the child, -1 when absent.
    virtual int Find(const VFCurveNode* node) const;
    // The index of the first child whose name equals `name` without regard to case, -1 when none.
    virtual int Find(const char* name) const;
    virtual void SetParent(VFCurveNode* parent);
    virtual VFCurveNode* GetParent() const;
    // Inserts before the first child whose name is not less than the new one's (case-insensitive);
    // answers the index.
    virtual int AddSorted(VFCurveNode* node);

    // Takes the child out of the list when present and destroys it in every case.
    void DeleteChild(VFCurveNode* node);
    // Finds a node by a "/"-separated name path, depth first; "T", "R" and "S" also match the
    // local transform data types. Null when a part matches nothing.
    VFCurveNode* FindChild(const char* path) const;
    // Depth first: a child of that data type, else a hit inside that child's subtree.
    VFCurveNode* FindRecursive(const VDataType* dataType) const;
    // The X, Y, Z curves of the translation, rotation and scaling channels under this node;
    // true only when all nine were found (the search stops at the first one missing).
    bool GetTRSCurves(VFCurve* translation[3], VFCurve* rotation[3], VFCurve* scaling[3]) const;
    // The child named `name`, or a new one appended; with `createFCurve` it is given a curve when
    // it has none.
    VFCurveNode* FindOrCreate(const char* name, bool createFCurve = true);
    // Gives every leaf without a curve a new empty one.
    void CreateFCurves();
    // True when every leaf has a curve.
    bool FCurveCreated() const;
    // True when the node's curve or, with `recursive`, any curve of the subtree has keys.
    bool IsAnimated(bool recursive = true) const;

    // --- Curve --------------------------------------------------------------------------------

    VFCurve* FCurveGet() const { return mFCurve; }
    // Stores `curve` (owned from then on), fires event 4 and answers the previous curve, or null
    // when it was destroyed (destroyOld). No effect and null when `curve` is the current one.
    VFCurve* FCurveSet(VFCurve* curve, bool destroyOld = false);
    VFCurve* FCurveReplace(VFCurve* curve) { return FCurveSet(curve, true); }

    // --- Name block ---------------------------------------------------------------------------

    // The linked property's name when one is set, else the node's name.
    const char* GetName() const;
    const char* GetUserName() const;
    void SetUserName(const char* text);
    const VDataType* GetDataType() const;
    // The data type's name, "" when none.
    const char* GetDataTypeName() const;
    VProperty* GetProperty() const;
    void SetProperty(VProperty* property);
    VFCurveNodeInfo* GetInfo() const { return mInfo; }

    // --- Curve settings forwarded to the node's curve -----------------------------------------

    // False when the node has no curve, or when `respectLock` and the node is locked.
    bool SetPreExtrapolation(int mode, bool respectLock = false);
    bool SetPreExtrapolationCount(int count, bool respectLock = false);
    bool SetPostExtrapolation(int mode, bool respectLock = false);
    bool SetPostExtrapolationCount(int count, bool respectLock = false);
    // The curve's display colour (three floats), null without a curve.
    const float* GetColor() const;
    // Nothing without a curve or with a null colour.
    void SetColor(const float* color);

    // --- Key counts and update sums -----------------------------------------------------------

    // Keys of the node's curve and of every descendant; with `withLayers` plus the same count of
    // the next layer.
    int KeyGetCount(bool withLayers = false) const;
    // KeyGetCount (false) of child `index` summed over this node and its next layers.
    int KeyGetCountOfChild(int index) const;
    // The sum of the curves' modification counters over the subtree.
    unsigned int GetUpdateIdSum() const;
    // The sum of the low 16 bits of those counters over the subtree and the next layers.
    unsigned int GetUpdateIdSumAll() const;

    // --- Copies, templates, references --------------------------------------------------------

    // A new tree of the same shape (the layer chain is not part of it). With `fromTemplate`
    // each new node is made from its source as template; otherwise it gets the source's names,
    // data type and layer type, `layerID` (-1: the source's own), lock count, quaternion flag,
    // rotation order and selection flag, and for a layer id other than 0 the source's object
    // layer. Curves are copied whole (`withCurves`) or made empty (`withEmptyCurves`).
    VFCurveNode* Copy(bool fromTemplate, bool withCurves, bool withEmptyCurves, int layerID = -1) const;
    // A deep copy with curves and keys, the layer chain included.
    VFCurveNode* Clone(bool fromTemplate = false) const;
    // Shares the template's name block; with `recursive` the children take the template's
    // children of the same index as their templates.
    void SetTemplate(VFCurveNode* templateNode, bool recursive = true);
    VFCurveNode* GetTemplate() const { return mTemplate; }
    void SetReference(VFCurveNode* node, bool recursive = true);
    VFCurveNode* GetReference() const { return mReference; }
    // Follows the reference links to the last node (this node when it has none).
    VFCurveNode* GetReferenceRoot() const;

    // --- Rotation settings --------------------------------------------------------------------

    // Stores the flag on this node and every next layer, clears the candidates of the chain and
    // fires event 16 on the object layer.
    void SetQuaternionInterpolation(bool flag);
    bool GetQuaternionInterpolation() const { return mQuaternionInterpolation; }
    // Stores the Euler order code (2 x the rotation order; 12 spheric) on this node and every
    // next layer.
    void SetRotationOrder(int order);
    int GetRotationOrder() const { return mRotationOrder; }

    // --- Time warp ----------------------------------------------------------------------------

    // Links the time-warp node (counted) and fires event 8. The old link is released. A node
    // that would warp itself (directly or through the warp's own warps) is refused: false.
    bool SetTimeWarp(VFCurveNode* node);
    VFCurveNode* GetTimeWarp() const { return mTimeWarp; }

    // --- Reference counting -------------------------------------------------------------------

    // Counted links held on this node by time-warp users and other holders.
    int GetReferenceCount() const { return mReferenceCount; }
    void IncReferenceCount() { ++mReferenceCount; }
    // Drops one count and destroys the node when the count falls below 1. Answers true when the
    // node was destroyed.
    static bool Release(VFCurveNode* node);

    // --- Layers -------------------------------------------------------------------------------

    int GetLayerType() const { return mLayerType; }
    // No effect when equal. Three children going to type 4 gain a fourth child "W" (with an
    // empty curve; its object layer is `objectLayer` when given); four children of a type 4 node
    // going to type 2 lose the fourth.
    void SetLayerType(int type, VFCurveNode* objectLayer = nullptr);
    int GetLayerID() const { return mLayerID; }
    void SetLayerID(int id) { mLayerID = id; }
    VFCurveNode* GetNextLayer() const { return mNextLayer; }
    // Links `node` as the next layer (uncounted), destroying the old one when asked; fires event
    // 16 on the object layer.
    void SetNextLayer(VFCurveNode* node, bool destroyOld = false);
    VFCurveNode* GetObjectLayer() const { return mObjectLayer; }
    void SetObjectLayer(VFCurveNode* node) { mObjectLayer = node ? node : this; }
    // The node of the chain (from this node on) whose id is `id`; null when none.
    VFCurveNode* GetLayer(int id) const;
    // GetLayer with the id read through the layered flag (0 while the flag is clear).
    VFCurveNode* GetLayerFiltered(int id) const;
    // Inserts a new layer with id `id` at its place in the chain (layered nodes only); nothing
    // when the chain has it or `id` is this node's id. Fires event 16 on the object layer.
    void CreateLayerAt(int id);
    // Makes a new layer of the same shape with empty curves holding the identity of the layer
    // type and links it after this node (before the former successor). Null for a node that is
    // not layered.
    VFCurveNode* CreateLayer(int id, bool atEnd = false);
    // The last node of the chain whose id is below `id`, null for id 0.
    VFCurveNode* FindLayerBefore(int id) const;
    // Unlinks the layer `id` (it becomes a chain of its own) and destroys it when asked (then
    // answers null), else answers it. Null when there is no such layer or `id` is 0.
    VFCurveNode* RemoveLayer(int id, bool destroy = true);
    VFCurveNode* GetLayerOrCreate(int id, bool create);
    // Gets or creates the layer and adds the values as keys at `time` (KeyAddSet).
    bool SetLayerValue(int id, VTime time, const double* values);

    // --- Flags and selection ------------------------------------------------------------------

    unsigned int GetFlags() const { return mFlags; }
    void SetFlags(unsigned int flags) { mFlags = flags; }
    bool GetFlag(unsigned int bit) const { return (mFlags & bit) != 0; }
    void SetFlag(unsigned int bit, bool on);
    bool GetSelected() const { return GetFlag(eFLAG_SELECTED); }
    bool GetReferenceMode() const { return GetFlag(eFLAG_REFERENCE_MODE); }
    void SetReferenceMode(bool on) { SetFlag(eFLAG_REFERENCE_MODE, on); }
    bool GetLayered() const { return GetFlag(eFLAG_LAYERED); }
    // Sets or clears the layered flag over the whole subtree.
    void SetLayered(bool on);
    bool GetCandidateAtAnyTime() const { return GetFlag(eFLAG_CANDIDATE_ANY_TIME); }
    void SetCandidateAtAnyTime(bool on) { SetFlag(eFLAG_CANDIDATE_ANY_TIME, on); }
    // With childIndex -1 sets or clears the selection flag of this node (and, with `recursive`,
    // of every descendant) and fires event 1; otherwise applies to that child. With `withLayers`
    // the next layer gets the same call first.
    void SetSelected(bool selected, bool recursive = false, bool withLayers = false, int childIndex = -1);

    // --- Evaluation ---------------------------------------------------------------------------

    // The composed value of the tree at `time`: time warp, candidates, children, rotation
    // interpolation and the layer chain. Answers the position after the last value written.
    // `lastIndex` is the caller's key-search hint (null: each curve's own).
    double* Evaluate(double* values, VTime time, int* lastIndex = nullptr);
    // Evaluate for the common channel shape, a node of three plain curve leaves (no time warp,
    // curve, layer or quaternion interpolation on the node or its leaves): the same three values
    // and candidate bookkeeping. Null, with nothing written, for a node of any other shape; never
    // writes more than three values.
    double* EvaluatePlainLeaves(double* values, VTime time, int* lastIndex = nullptr);
    // For a caller that evaluates a channel's curves itself at many times while nothing else
    // changes the channel: the three curves of a node of the plain shape above, when at every
    // time EvaluatePlainLeaves gives exactly what the curves give (no stored total or candidate
    // answers with another value, nor ever will by the evaluation's own bookkeeping). False
    // otherwise.
    bool GetPlainCurves(VFCurve* curves[3]) const;
    // The values of the layer `layerID` alone (curve values, or the curves' candidates).
    double* EvaluateLayer(double* values, VTime time, int* lastIndex, int layerID);
    double* CandidateEvaluateLayer(double* values, VTime time, int* lastIndex, int layerID);
    // Each curve of the subtree evaluated plainly, one value per curve.
    double* EvaluateCurves(double* values, VTime time, int* lastIndex = nullptr) const;
    // The default values of the subtree's curves, one per curve.
    double* GetDefaultValues(double* values) const;
    const double* SetDefaultValues(const double* values);
    // The neutral value of the layer type per component: 0, 1 for type 3, (0, 0, 0, 1) for 4.
    double* GetIdentityValues(double* values) const;
    // The number of values Evaluate writes for this node, and the number of curves of the
    // subtree (the count EvaluateCurves and the default values use).
    int GetValueCount() const;
    int GetCurveCount() const;

    // --- Candidates ---------------------------------------------------------------------------

    bool IsCandidateTotalValid() const { return mTotalCandidateMethod == eTOTAL_STORED; }
    // The stored total (three Euler angles for a quaternion node); answers the position after.
    double* CandidateTotalGet(double* values, int layerID = 0) const;
    // The curves' candidate values of the subtree and, in `time`, the last one's candidate time.
    double* CandidateSpecificGet(double* values, VTime* time) const;
    // The candidate of layer `layerID`: computed from a pending total when needed; the identity
    // values (and 0) when the chain has no such layer.
    double* CandidateGet(double* values, VTime* time, int layerID);
    // Stores a total candidate on a base layer (ignored on other layers) and on its children.
    // Components without any key get the solved value of `layerID` as their default directly.
    bool CandidateSet(VTime time, const double* values, int layerID = 0);
    // Stores the values as the curve candidates of layer `layerID`, creating the layer when the
    // chain has none.
    bool CandidateSetSpecific(VTime time, const double* values, int layerID = 0);
    // Clears the candidates of layer `layerID` (and of every later layer with `withLayers`).
    void CandidateClear(int layerID = 0, bool withLayers = false);
    // Turns a pending total into the specific candidate of `layerID` (base layer only).
    bool ComputeSpecificCandidate(int layerID);
    // The value layer `layerID` must have for the composed chain to equal `total` at `time`.
    // For a quaternion node `total` and the result are quaternions. Answers the position after.
    double* SolveSpecificFromTotal(double* values, const double* total, VTime time, int layerID);

    // --- Key setting --------------------------------------------------------------------------

    // Adds a default cubic auto key at `time` to each curve of the subtree, one value per curve.
    bool KeyAddSet(VTime time, const double* values);
    // Appends a default cubic auto key to each curve (no events); with `closest` the node's values
    // first continue the previous key's rotation (GetEulerClosest).
    bool KeySetValues(VTime time, const double* values, bool closest = false);
    // Turns the curve candidates of layer `layerID` into keys; `mask` holds one byte per child
    // (null: all children). `keyIndex` receives the last key index.
    bool CandidateKey(int* keyIndex, int layerID = 0, const char* mask = nullptr, int interpolation = 8,
                      int tangentMode = 0x100, bool breakTangent = false, bool setKeyType = false,
                      double tolerance = 0.0);
    // Keys the total candidate (or the value at `time`) into layer `layerID`, keeping rotations
    // continuous, then clears the candidates.
    bool KeyCandidate(VTime time, int layerID = 0, const char* mask = nullptr, int interpolation = 8,
                      int tangentMode = 0x100);
    // The rotation triple equivalent to `values` closest to the value at the previous key.
    void GetEulerClosest(double* out, const double* values, VTime time);
    // `angle` moved by whole turns towards `reference`.
    static double AngleNearest(double angle, double reference);

    // Pastes the source's keys over [start, stop], child by child; rotations and quaternions are
    // joined to this tree's values at the span's start when `useOffsets`.
    bool Replace(VFCurveNode* source, VTime start, VTime stop, bool useOffsets = true, bool exactSpan = false,
                 bool keyOnNoKey = false);
    // Copies candidates, curves (whole, or the source's curves moved over when !withKeys),
    // children by index and the layer chain matched by layer id.
    void CopyFrom(VFCurveNode* source, bool withKeys = true);
    // A new tree of the same names, data types and layer types whose curves are copies limited
    // to [start, stop]; layers included.
    VFCurveNode* CopyTimeSpan(VTime start, VTime stop) const;
    // Removes the keys strictly between start and stop from every curve of the subtree.
    bool KeyRemoveTimeRange(VTime start, VTime stop, bool withLayers = false);
    // Removes the keys at `time` from the tree and its layers; clears the touched layers'
    // candidates. Answers true when a key was removed.
    bool KeyRemoveAt(VTime time);

    // Key times. A mask holds one byte per child (null: all).
    bool GetFirstKey(VFCurveKey* keyOut, const char* mask = nullptr, bool withLayers = false) const;
    bool GetLastKey(VFCurveKey* keyOut, const char* mask = nullptr, bool withLayers = false) const;
    // Minus infinity / the infinite time when there is no key.
    VTime GetFirstKeyTime(const char* mask = nullptr, bool withLayers = false) const;
    VTime GetLastKeyTime(const char* mask = nullptr, bool withLayers = false) const;
    // The greatest key time before `time` / the smallest after it; `time` itself when none.
    VTime GetPreviousKeyTime(VTime time, const char* mask = nullptr, bool withLayers = false) const;
    VTime GetNextKeyTime(VTime time, const char* mask = nullptr, bool withLayers = false) const;
    // First and last key times over the tree and its layers; (infinite, minus infinity) when none.
    void GetKeyInterval(VTime& start, VTime& stop) const;
    // Widens (start, stop) with the key range; false and unchanged when there is no key.
    bool GetAnimationInterval(VTime& start, VTime& stop) const;
    void GetKeyStatistics(int& curveCount, int& keyTotal, int& fewestKeys, int& mostKeys) const;
    // 2 when every curve of the masked subtree has a key at `time` within the value bounds, 1 when
    // some has, 0 when none has.
    int KeyFindStatus(VTime time, int* hint, const char* mask, double tolerance, double minValue,
                      double maxValue) const;
    bool HasUniformSampling(VTime period) const;

    // --- Events, locking, snapshots, storage --------------------------------------------------

    // Registers a callback (the record is created on the first registration).
    void CallbackAdd(VFCurveNodeCallback function, void* object);
    // Removes the latest registration of exactly this pair. On a record that has no registration
    // left, frees the record instead; until then it keeps counting events.
    void CallbackRemove(VFCurveNodeCallback function, void* object);
    // Records `event` (and counts it in the update id) when the node has a callback record, and
    // delivers it to every registration, newest first, unless delivery is off.
    void CallbackCall(unsigned int event);
    // Turns delivery on or off; turning it on delivers the pending events, oldest registration
    // first. Always true.
    bool CallbackEnable(bool enable);
    bool IsCallbackEnabled() const;
    // Drops the pending events.
    void CallbackClear();
    VFCurveNodeCallbacks* GetCallbacks() const { return mCallbacks; }
    int GetUpdateId() const { return mUpdateId; }

    // Lock counts of the node, its descendants and, for each of them, their layer chains. A
    // locked node refuses the extrapolation setters that respect the lock.
    void LockAccess();
    void UnlockAccess();
    bool IsLocked() const { return mAccessLock != 0; }
    int GetAccessLock() const { return mAccessLock; }

    // Saves the candidate bookkeeping of the node, its first four children and its layer chain
    // into `state` (whose old sub-records are freed first).
    void GetCandidateState(VFCurveNodeCandidateState* state) const;
    // Restores a saved state; with `removeLayers` on a base layer, first destroys the layers whose
    // ids the record does not hold.
    void SetCandidateState(const VFCurveNodeCandidateState* state, bool removeLayers = false);
    // Frees the sub-records and the layer records of `state` (the record itself stays).
    static void FreeCandidateState(VFCurveNodeCandidateState* state);
    // Formats the record for a trace sink that discards the lines.
    static void CandidateDebugPrint(const VFCurveNodeCandidateState* state, int indent = 0);

    // Writes the node as one field `fieldName` with its block (names, time-warp id, curve,
    // children, layer id and type, next layer as "LayerChannel").
    bool OxaStore(VOxa* file, bool onlyDefaults = false, bool trsNames = true, bool noUserName = true,
                  const char* fieldName = "Channel", bool storeColour = true, bool autoAsSlopes = false);
    // Reads the next "Channel" field into this node. False when there is none; false with the
    // file's error object set when the field is malformed (the node may then be partly read).
    bool OxaRetrieve(VOxa* file, bool onlyDefaults = false, bool create = true, bool readColour = true);
    // Reads the fields of an open channel block into this node (names, curve, layer id and
    // type, children, next layer, time warp). False, with the file's error set, on bad input.
    bool OxaRetrieveBody(VOxa* file, bool onlyDefaults, bool create, bool readColour);
    // Reads the next "Channel" field into the matching child of `parent` (made when missing and
    // `create`; fields that match nothing are skipped when they cannot be made). Null when no
    // field is left, or on bad input with the file's error set. A child made without a parent
    // belongs to the caller.
    static VFCurveNode* OxaRetrieveChild(VOxa* file, VFCurveNode* parent, bool onlyDefaults, bool create,
                                         bool readColour);
    // The next top-level "Channel" field as a new tree owned by the caller; null as above.
    static VFCurveNode* OxaRetrieveChannel(VOxa* file, bool onlyDefaults = false, bool readColour = true);

private:
    friend class VFCurveNodeEval;
    friend class VFCurveNodeKeys;
    friend class VFCurveNodeStore;

    void InitFields();
    void ReleaseInfo();
    // The info to share with another node: an info held in this node moves to the heap first, so
    // that it outlives this node for the others.
    VFCurveNodeInfo* ShareInfo();
    VFCurveNode* CopyNode(bool fromTemplate, bool withCurves, bool withEmptyCurves, int layerID) const;
    void CopyLayerChainTo(VFCurveNode* target, bool withCurves) const;

    bool mQuaternionInterpolation = false;
    VFCurveNodeInfo* mInfo = nullptr;
    // A node's own info until another node shares it (most never are): no allocation of its own.
    VFCurveNodeInfo mOwnInfo;
    unsigned int mFlags = 0x60;
    int mReferenceCount = 0;
    VArrayTemplate<VFCurveNode*> mNodes{16};
    // Upper-cased child name -> index of its first holder, built for long child lists (a root
    // with one channel per property of a large object) and dropped when the children change,
    // except by an append, which it takes in.
    static constexpr int kChildIndexThreshold = 32;
    static const std::string& FoldName(const char* name, std::string& key);
    mutable std::unique_ptr<std::unordered_map<std::string, int>> mChildIndex;
    mutable std::string mChildKey;  // reused lookup key
    VFCurve* mFCurve = nullptr;
    VFCurveNode* mTimeWarp = nullptr;
    VFCurveNode* mNextLayer = nullptr;
    VFCurveNode* mObjectLayer = nullptr;
    VFCurveNode* mTemplate = nullptr;
    VFCurveNode* mReference = nullptr;
    VFCurveNode* mParent = nullptr;
    int mLayerType = 0;
    int mLayerID = 0;
    int mUpdateId = 0;
    int mRotationOrder = 0;
    int mSpecificCandidateMethod = eCANDIDATE_NONE;
    int mTotalCandidateMethod = eTOTAL_NONE;
    double mCandidateTotalValue[4] = {0.0, 0.0, 0.0, 0.0};
    VTime mCandidateTotalTime = VTime::kInfinite;
    VFCurveNodeCallbacks* mCallbacks = nullptr;
    // Set while FCurveSet or Clear destroys what the node holds: the destructor clears what it
    // points to, so that they know a callback or listener destroyed the node meanwhile.
    bool* mAliveWhileReplacing = nullptr;
    int mAccessLock = 0;

    // A total candidate stored by an evaluation is only reused while every curve it came from
    // still holds its candidate for that time (any key change empties a curve's candidate).
    // Totals set explicitly (CandidateSet, snapshots) are kept until cleared.
    bool mTotalFromEvaluation = false;
};

#endif  // OXA_ANIMATION_FCURVE_NODE_H
