#ifndef OXA_SCENE_VOXA_NODE_H
#define OXA_SCENE_VOXA_NODE_H

#include <memory>
#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/base/verror.h>
#include <oxa/base/vge_vector.h>
#include <oxa/scene/voxa_node_properties.h>
#include <oxa/scene/voxa_take_node_container.h>
#include <oxa/scene/voxa_transform.h>

class VOxaCamera;
class VOxaCameraSwitcher;
class VOxaGeometry;
class VOxaLight;
class VOxaMarker;
class VOxaMesh;
class VOxaNodeAttribute;
class VOxaNodeLimits;
class VOxaNull;
class VOxaNurb;
class VOxaPatch;
class VOxaOpticalReference;
class VOxaSkeleton;
class VOxaSceneContents;

// A node-side link to a character or control set: the owner object (not owned), the kind (0
// character link, 1 control-set link, 2 effector, 3 auxiliary effector), an index and an extra
// value. Two records are equal when all four fields are.
struct OXA_API VOxaNodeCharacterLink {
    void* mOwner;
    int mKind;
    int mIndex;
    int mExtra;
    bool operator==(const VOxaNodeCharacterLink& o) const {
        return mOwner == o.mOwner && mKind == o.mKind && mIndex == o.mIndex && mExtra == o.mExtra;
    }
};

// The element of the scene hierarchy. A node carries at most one node attribute, its named
// properties (VOxaNodeProperties, with the two pivot sets), its limits, its takes (inherited)
// and links to its parent, children and look-at and up-vector targets. The manager makes nodes
// with names that carry "Model::" and owns them.
//
// The hierarchy lives in the property blocks' connections: a child's block is a source of its
// parent's block, in child order; the parent is the block's first node-block destination.
// No hierarchy can become cyclic: AddChild refuses the node itself and its ancestors.
//
// Error codes (GetLastErrorID): 0 take errors (with their own texts), 1 node name clash,
// 2 material name clash, 3 texture name clash, 4 video name clash, 6 connection refused (the two
// nodes are in one scene already, or the child would become its own ancestor), 8 not enough
// memory.
class OXA_API VOxaNode : public VOxaTakeNodeContainer {
public:
    enum EError : int {
        eTakeNodeError = 0,
        eNodeNameClash = 1,
        eMaterialNameClash = 2,
        eTextureNameClash = 3,
        eVideoNameClash = 4,
        eTargetNotChild = 5,
        eCyclicGraph = 6,
        eIndexOutOfRange = 7,
        eNotEnoughMemory = 8,
        eErrorCount = 9
    };
    enum ECullingMode : int { eCULLING_OFF = 0, eCULLING_ON_CCW = 1, eCULLING_ON_CW = 2 };

    // `name` is the full name, prefix included. Adds the "Default" take, makes the node visible
    // with shading mode 3 and creates the property handles.
    VOxaNode(VOxaSdkManager* manager, const char* name);
    ~VOxaNode() override;

    // --- Object slots ------------------------------------------------------------------------
    void Destroying() override;
    int GetTypeCode() const override { return 1; }
    VOxaPropertyHandler* GetPropertyHandler() const override;
    // The node's properties in declaration order, then its attribute's.
    void FillPropertyArray(VArrayTemplate<VProperty*>& properties) const override;
    // The attribute's type name and flags; "Null" and ["Null"] without attribute.
    VString GetTypeName() const override;
    VStringList GetTypeFlags() const override;
    // Invalidate the node's evaluation caches, then as the container.
    bool SetCurrentTakeNode(const char* name) override;
    bool SetCurrentTakeNode(int index) override;
    // Widens (start, stop) with the key range of the current takes of this node and its
    // subtree.
    bool GetAnimationInterval(VTime& start, VTime& stop) override;
    bool GetAnimationIntervalRecursive(VTime& start, VTime& stop);
    // "Transform" with "T", "R", "S" (components "X", "Y", "Z"), "Visibility", a channel per
    // other animatable property, then the attribute's channels; linked on the default take.
    void CreateTakeNodeChannels(VOxaTakeNode* takeNode) override;
    VOxaUserProperty* CreateUserProperty(VProperty* property) override;

    VOxaNodeProperties* GetNodeProperties() const { return mProperties; }

    // --- Hierarchy ---------------------------------------------------------------------------
    VOxaNode* GetParent() const;
    // Makes `node` the last child, first removing it from its parent. False for null, for this
    // node or one of its ancestors (error 6, nothing detached), when the connection is
    // refused (error 6: both are in one scene already), and when memory runs out for the link
    // or for the subtree's move into this node's scene (error 8: `node` is left without a
    // parent and in no scene, as after RemoveChild).
    bool AddChild(VOxaNode* node);
    // Takes `node` out of the children; answers it (null for null). Nothing when it is not a
    // child.
    VOxaNode* RemoveChild(VOxaNode* node);
    // Children; with `recursive`, all descendants.
    int GetChildCount(bool recursive = false) const;
    VOxaNode* GetChild(int index) const;
    // The first child (depth first, pre-order with `recursive`) whose initial name (with
    // `initialName`) or current name equals "Model::" + `name` (prefix rules of
    // VOxaMakeObjectName).
    VOxaNode* FindChild(const char* name, bool recursive = true, bool initialName = false) const;

    // --- Targets -----------------------------------------------------------------------------
    // Connects `node` as look-at target unless it is listed already (an earlier target stays).
    void SetTarget(VOxaNode* node);
    VOxaNode* GetTarget() const;
    void SetPostTargetRotation(const VgeTVector& rotation) { mPostTargetRotation = rotation; }
    VgeTVector GetPostTargetRotation() const { return mPostTargetRotation; }
    void SetTargetUp(VOxaNode* node);
    VOxaNode* GetTargetUp() const;
    void SetTargetUpVector(const VgeTVector& vector) { mTargetUpVector = vector; }
    VgeTVector GetTargetUpVector() const { return mTargetUpVector; }

    // --- Visibility, display and flags -------------------------------------------------------
    void SetVisibility(bool visible);
    bool GetVisibility() const;
    double GetVisibilityValue() const;
    void SetShadingMode(int mode) { mShadingMode = mode; }
    int GetShadingMode() const { return mShadingMode; }
    void SetMultiLayer(bool on) { mMultiLayer = on; }
    bool GetMultiLayer() const { return mMultiLayer; }
    void SetMultiTake(int value) { mMultiTake = value; }
    int GetMultiTake() const { return mMultiTake; }
    void SetCullingMode(int mode) { mCullingMode = mode; }
    int GetCullingMode() const { return mCullingMode; }
    // Read by the scene's skeleton conversion after a file was read.
    void SetConversionFlag(bool on) { mConversionFlag = on; }
    bool GetConversionFlag() const { return mConversionFlag; }

    // --- Node attribute ----------------------------------------------------------------------
    // Attaches `attribute` (null: none) and answers the previous one (not deleted); null and
    // nothing done when it is the current one. An attribute attached elsewhere is detached
    // from that node first. Asked by a callback while this node's or that node's attribute is
    // being changed, it is refused: null, nothing done.
    VOxaNodeAttribute* SetNodeAttribute(VOxaNodeAttribute* attribute);
    VOxaNodeAttribute* GetNodeAttribute() const { return mAttribute; }
    // The attribute's type code, -1 without attribute.
    int GetNodeAttributeType() const;
    // The attribute when it is of that kind, else null (GetGeometry: a mesh, NURBS or patch).
    // Each is defined beside its attribute class.
    VOxaNull* GetNull() const;
    VOxaMarker* GetMarker() const;
    VOxaSkeleton* GetSkeleton() const;
    VOxaGeometry* GetGeometry() const;
    VOxaMesh* GetMesh() const;
    VOxaNurb* GetNurb() const;
    VOxaPatch* GetPatch() const;
    VOxaCamera* GetCamera() const;
    VOxaCameraSwitcher* GetCameraSwitcher() const;
    VOxaLight* GetLight() const;
    VOxaOpticalReference* GetOpticalReference() const;

    // --- Local transform defaults ("Lcl Translation", "Lcl Rotation", "Lcl Scaling") -----------
    void SetLclTranslation(const VgeTVector& value);
    void SetLclRotation(const VgeTVector& value);
    void SetLclScaling(const VgeTVector& value);
    // Copy x, y, z into `out` and answer it; `out` is left as it is when the property is
    // missing.
    VgeTVector& GetLclTranslation(VgeTVector& out) const;
    VgeTVector& GetLclRotation(VgeTVector& out) const;
    VgeTVector& GetLclScaling(VgeTVector& out) const;

    // --- Typed property accessors ------------------------------------------------------------
    void SetTransformInheritType(ETransformInheritType type);
    void GetTransformInheritType(ETransformInheritType& type) const;
    // Through the limits object when there is one (which writes both).
    void SetRotationActive(bool active);
    bool GetRotationActive() const;
    void SetQuaternionInterpolate(bool on);
    bool GetQuaternionInterpolate() const;
    void SetRotationStiffness(const VgeTVector& value);
    VgeTVector GetRotationStiffness() const;
    void SetMinDampRange(const VgeTVector& value);
    VgeTVector GetMinDampRange() const;
    void SetMaxDampRange(const VgeTVector& value);
    VgeTVector GetMaxDampRange() const;
    void SetMinDampStrength(const VgeTVector& value);
    VgeTVector GetMinDampStrength() const;
    void SetMaxDampStrength(const VgeTVector& value);
    VgeTVector GetMaxDampStrength() const;
    void SetPreferedAngle(const VgeTVector& value);
    VgeTVector GetPreferedAngle() const;

    // --- Pivot sets (index 0 source, 1 destination; a write to set 0 updates the mirror) -----
    void SetRotationOffset(int set, const VgeTVector& value);
    VgeTVector& GetRotationOffset(int set);
    void SetRotationPivot(int set, const VgeTVector& value);
    VgeTVector& GetRotationPivot(int set);
    void SetRotationPivotUpdateOffset(int set, const VgeTVector& value);
    VgeTVector& GetRotationPivotUpdateOffset(int set);
    void SetPreRotation(int set, const VgeTVector& value);
    VgeTVector& GetPreRotation(int set);
    void SetPostRotation(int set, const VgeTVector& value);
    VgeTVector& GetPostRotation(int set);
    void SetScalingOffset(int set, const VgeTVector& value);
    VgeTVector& GetScalingOffset(int set);
    void SetScalingPivotUpdateOffset(int set, const VgeTVector& value);
    VgeTVector& GetScalingPivotUpdateOffset(int set);
    void SetScalingPivot(int set, const VgeTVector& value);
    VgeTVector& GetScalingPivot(int set);
    void SetGeometricTranslation(int set, const VgeTVector& value);
    VgeTVector& GetGeometricTranslation(int set, VgeTVector& out) const;
    void SetGeometricRotation(int set, const VgeTVector& value);
    VgeTVector& GetGeometricRotation(int set, VgeTVector& out) const;
    void SetGeometricScaling(int set, const VgeTVector& value);
    VgeTVector& GetGeometricScaling(int set, VgeTVector& out) const;
    void SetRotationOrder(int set, ERotationOrder order);
    void GetRotationOrder(int set, ERotationOrder& order) const;
    void SetUseRotationSpaceForLimitOnly(int set, bool on);
    bool GetUseRotationSpaceForLimitOnly(int set) const;
    void SetPivotState(int set, int state);
    void GetPivotState(int set, int& state) const;

    // --- Limits and synchronisation ----------------------------------------------------------
    VOxaNodeLimits* GetLimits() const { return mLimits; }
    // Loads pivot set 0, the limits and the evaluation mirror from the properties.
    void UpdatePivotsFromProperties();
    // Writes pivot set 0 and the limits back into the properties.
    void UpdatePropertiesFromPivots();

    // --- Scene membership ----------------------------------------------------------------------
    VOxaSceneContents* GetSceneContents() const { return mSceneContents; }
    // Moves the subtree (nodes, materials, textures, videos) from its contents to `contents`
    // (null: none). With `asRoot` the target's root is moved out first and this node becomes
    // its root. False, with both contents unchanged, on a name clash (errors 1 to 4).
    // Memory that runs out answers false with error 8 and the subtree in no contents; leaving
    // needs none.
    bool SetSceneContents(VOxaSceneContents* contents, bool asRoot);

    // --- Child names met while reading a file ------------------------------------------------
    void AddChildName(const char* name);
    // No range check: callers loop below the count.
    const char* GetChildName(int index) const { return mChildNames[index].Buffer(); }
    int GetChildNameCount() const { return (int)mChildNames.size(); }

    // --- Transform evaluation -----------------------------------------------------------------
    // The local matrix of the "Default" take's default T, R, S values (limits applied; pivots,
    // offsets, pre/post-rotation and rotation order are not part of it). Computed once and kept
    // until a take change or a copy resets the cache, or a transform change
    // (DefaultTransformsChanged) makes it stale.
    const VgeAMatrix& GetDefaultLocalTransform();
    // The global matrix of the default values (the parent's first), kept likewise.
    const VgeAMatrix& GetDefaultGlobalTransform();
    // Makes the default matrices and pivot-set global matrices of this node, and the global ones
    // of its descendants, stale, so that the next request computes them afresh. Called on a
    // change of the node's properties (the "Lcl" values among them, through the node's setters
    // or the properties themselves; a default value written into a curve of the "Default" take
    // reaches them too), of its rotation order, pivots, offsets, pre- and post-rotation, inherit
    // type or rotation activity, and of its parent.
    void DefaultTransformsChanged();
    // The local matrix of the current take at `time`; recomputed only when the take cache is not
    // valid or `time` differs from the cached local time. A missing "T", "R" or "S" curve node
    // leaves that channel's previous values in place.
    const VgeAMatrix& EvaluateLocalTransform(VTime time);
    // The global matrix of the current take at `time` (the parent's at the same time first);
    // cached per time like the local matrix.
    const VgeAMatrix& EvaluateGlobalTransform(VTime time);
    // Fills the stamped transform's local parts (translation, XYZ rotation matrix, diagonal
    // scaling) from the current take at `time`, or from the default cache when the current take
    // is the default take; with `recursive`, every child too, in index order.
    void UpdateLocalTRS(VTime time, bool recursive = false);
    // The same from the default cache only.
    void UpdateLocalTRSFromDefault(bool recursive = false);
    // When `stamp` differs from the stored stamp: stores it, brings the parent up to date with
    // the same stamp and computes the stamped global parts and matrix from the stamped local
    // parts; with `recursive`, every child too.
    void UpdateGlobalTransform(int stamp, bool recursive = false);
    // UpdateGlobalTransform(stamp) without the parent lookup, for a caller that knows the parent
    // (null for a root) and has brought it to `stamp` already.
    void UpdateGlobalTransformBelow(int stamp, VOxaNode* parent);
    // Writes the stamp (descendants too with `recursive`) without evaluating anything.
    void SetEvaluationStamp(int stamp, bool recursive = false);
    // Stores `matrix` as the stamped global matrix; with inherit type 0 also decomposes it into
    // the stamped global translation, rotation and scaling (a mirrored matrix gives all-negative
    // scale factors).
    void SetGlobalTransform(const VgeAMatrix& matrix);
    const VgeAMatrix& GetGlobalTransform() const { return Eval().mStampedTransform.mGlobalMatrix; }
    // The caches and the stamped record, for callers that read the evaluated parts.
    const VOxaTransformCache& GetTakeTransformCache() const { return Eval().mTakeCache; }
    const VOxaTransformCache& GetDefaultTransformCache() const { return Eval().mDefaultCache; }
    // True once the node has evaluation records (the caches above): made by the first evaluation
    // or the first read of a cache, none before.
    bool HasTransformCaches() const { return mEval != nullptr; }
    VOxaStampedTransform& GetStampedTransform() { return Eval().mStampedTransform; }
    // Resets both caches (hints zeroed, nothing valid); run on a take change and a copy.
    void ResetTransformCaches();
    // Finds the current take's "T", "R" and "S" curve nodes once and keeps them for
    // EvaluateLocalTransform, which then reads them without a lookup by name while that take
    // stays current; channels of three plain curves are read from the curves directly. For
    // callers that sample a take at many times and change no curve, key or curve-node structure
    // meanwhile (the motion writers); ReleaseTakeChannels, a take change or a copy ends it. The
    // values evaluated are the same either way.
    void HoldTakeChannels();
    void ReleaseTakeChannels();
    bool IsHoldingTakeChannels() const { return mEval && mEval->mHeldChannels.mTake != nullptr; }
    // What HoldTakeChannels keeps, for a sampler that reads the held curves itself.
    const VOxaHeldChannels& GetHeldTakeChannels() const { return Eval().mHeldChannels; }
    // Process-wide: with `on`, evaluation takes the long way, with held channels ignored, each
    // channel looked up by name and evaluated by the general curve-node walk, and every rotation
    // matrix rebuilt from its angles. The results are the same; tests compare the two ways.
    static void SetReferenceEvaluation(bool on);

    // --- Pivot-set global matrices (set 0 or 1; any other index is 1) -----------------------
    // The set's global matrix at the default values; when it is not valid (a transform change
    // makes it stale, see DefaultTransformsChanged) or `refresh` is true, the whole tree is
    // recomputed from the topmost ancestor first.
    const VgeAMatrix& GetPivotGlobalMatrix(int set, bool refresh = false);
    // The set's global matrix where the current take plays the node at `time`: each node of the
    // chain takes the values of its current take's translation, rotation and scaling channels
    // that have keys at `time`, and its default values for the others; the same composition as
    // GetPivotGlobalMatrix, which it answers when no channel of the chain has keys. Nothing is
    // cached.
    VgeAMatrix GetPivotGlobalMatrixAt(int set, VTime time);
    // Row 3 of that matrix (w 0).
    VgeTVector& GetPivotGlobalTranslation(VgeTVector& out, int set = 0, bool refresh = false);
    // The row lengths, all negated when the 3x3 part is left-handed (w 0).
    VgeTVector& GetPivotGlobalScaling(VgeTVector& out, int set = 0, bool refresh = false);
    // The XYZ Euler angles in degrees of the rows divided by those signed lengths (w 0).
    VgeTVector& GetPivotGlobalRotation(VgeTVector& out, int set = 0, bool refresh = false);
    // Recomputes the set's global matrix of this node and every descendant (parent first) from
    // the default "Lcl" values and the set's pivots, and marks each valid.
    void UpdatePivotSetGlobalMatrices(int set);

    // --- Pivot conversion (set 0 or 1; any non-zero destination index is 1) -----------------
    // Rewrites the animation of this node and, recursively, of its children (parent first,
    // children in index order) so that it looks the same evaluated with pivot set
    // `destinationSet` as it did with the other set: the rotation-offset difference is added to
    // the "T" curves of every take (and once to "Lcl Translation"), the geometry pivot takes the
    // geometric-transform difference, and the other differences are re-keyed by the matrix
    // converter at `framesPerSecond` samples per second. The pivot sets are not changed. A rate
    // that is not a finite positive number skips the re-keying (nothing else is held back).
    void ConvertPivotAnimation(int destinationSet, double framesPerSecond, bool applyConstantKeyReducer);
    // Resets set 1, converts to set 1 at 30 samples per second without key reduction, then
    // resets set 0: afterwards both sets are neutral and the pivots live in the animation.
    void ConvertPivotAnimationAt30Fps();
    // On this node and every descendant: rotation order 0, pre- and post-rotation, pivots,
    // offsets and geometric translation and rotation 0, geometric scaling 1, limit-space flag
    // false (set 0 updates the evaluation mirror). Update offsets and pivot state stay.
    void ResetPivotSet(int set);

    // --- Marks (motion writers mark the nodes they write) ------------------------------------
    void SetMarked(int value, bool recursive = false);
    // With `recursive`, true when this node or any descendant is marked.
    bool IsMarked(bool recursive = false) const;

    // --- Copy and character links -------------------------------------------------------------
    // Copies `other` into this node: target settings, attribute values, display flags, pivot
    // sets, limits, culling mode and takes. Children, parent and character links stay. Memory
    // that runs out part way ends the copy there, counted as memory run out.
    VOxaNode& Copy(const VOxaNode& other);
    int AddCharacterLink(void* owner, int kind, int index, int extra);
    // Told, for each character link a node still holds when it is destroyed, so that the
    // link's owner drops its pointer to the node. The character module installs it; null (the
    // default) tells nobody.
    using CharacterLinkReleaser = void (*)(void* owner, VOxaNode* node, int kind, int index, int extra);
    static void SetCharacterLinkReleaser(CharacterLinkReleaser releaser) {
        sCharacterLinkReleaser = releaser;
    }
    int RemoveCharacterLink(void* owner, int kind, int index, int extra);
    int FindCharacterLink(void* owner, int kind, int index, int extra) const;
    int GetCharacterLinkCount() const { return (int)mCharacterLinks.size(); }
    bool GetCharacterLink(int index, void** owner, int* kind, int* linkIndex, int* extra) const;

    // --- Errors --------------------------------------------------------------------------------
    VError& GetError() { return mError; }
    int GetLastErrorID() const { return mError.GetLastErrorID(); }
    const char* GetLastErrorString() const { return mError.GetLastErrorString().Buffer(); }

private:
    friend class VOxaNodeProperties;
    friend class VOxaSceneContents;
    void InitializeProperties();
    // Releases what the node owns beyond its bases: the destructor, and a constructor that
    // throws part way.
    void ReleaseOwned();
    void UpdateMultiFlags();
    // Copy's work, which memory that runs out may end part way.
    void CopyParts(const VOxaNode& other);
    // SetSceneContents' work, which throws std::bad_alloc when memory runs out on the way in.
    bool MoveToSceneContents(VOxaSceneContents* contents, bool asRoot);
    // The subtree leaves its contents without memory to list it (SetSceneContents with null).
    void LeaveSceneContentsInPlace();
    // The defaults of the transform and visibility channels a made default take would hold:
    // taken from the properties, then following their changes as the linked curves do.
    void StartDeferredDefaults();
    void TrackDeferredDefaults(VOxaUserProperty* userProperty);

    VError mError;
    bool mConversionFlag = false;
    // While LeaveSceneContentsInPlace sorts the listed nodes: 1 below the node that leaves, 2 not.
    unsigned char mLeaving = 0;
    VOxaNodeProperties* mProperties = nullptr;
    std::vector<VString> mChildNames;
    VgeTVector mPostTargetRotation{0, 0, 0, 0};
    VgeTVector mTargetUpVector{0, 0, 0, 0};
    VOxaNodeAttribute* mAttribute = nullptr;
    bool mChangingAttribute = false;  // SetNodeAttribute under way
    int mShadingMode = 3;
    bool mMultiLayer = false;
    int mMultiTake = 1;
    VOxaNodeLimits* mLimits = nullptr;
    int mMark = 0;
    std::vector<VOxaNodeCharacterLink> mCharacterLinks;
    inline static CharacterLinkReleaser sCharacterLinkReleaser = nullptr;
    int mCullingMode = eCULLING_OFF;
    VOxaSceneContents* mSceneContents = nullptr;
    // The evaluation records, made on first use (Eval).
    VOxaNodeEvalState& Eval() const {
        if (!mEval) mEval.reset(new VOxaNodeEvalState());
        return *mEval;
    }
    mutable std::unique_ptr<VOxaNodeEvalState> mEval;
    // While the default take's channels are deferred: the defaults of T (X, Y, Z), R, S and
    // Visibility it would hold. A change to an equal value (0 to -0) leaves a curve's default
    // as it is, so these follow the changes rather than being read from the properties later.
    float mDeferredDefaults[10] = {};
    bool mDeferredDefaultsLive = false;
};

#endif  // OXA_SCENE_VOXA_NODE_H
