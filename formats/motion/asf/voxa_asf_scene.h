#ifndef OXA_FORMATS_MOTION_ASF_VOXA_ASF_SCENE_H
#define OXA_FORMATS_MOTION_ASF_VOXA_ASF_SCENE_H

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/base/vge_vector.h>
#include <oxa/base/vstring.h>
#include <oxa/base/vtime.h>
#include <oxa/objects/vobject.h>

class VFCurve;
class VFCurveNode;
class VOxaNode;
class VOxaSdkManager;

// Degree-of-freedom codes of an ASF bone, in the order of their file words
// "tx" "ty" "tz" "rz" "ry" "rx".
enum EAsfDof : int { eASF_TX = 0, eASF_TY = 1, eASF_TZ = 2, eASF_RZ = 3, eASF_RY = 4, eASF_RX = 5 };

// One bone of an ASF skeleton. Lengths and offsets are in centimetres, angles in degrees, and
// matrices in row-vector form: a bone's axis matrix A turns its local frame into the skeleton's
// frame. A bone owns its children; the tree is taken apart iteratively by VOxaAsfScene, so a
// bone's destructor frees only its own curves.
class OXA_API AsfBone {
public:
    static constexpr int kMaxNameLength = 50;
    static constexpr int kMaxDofs = 6;

    AsfBone();
    ~AsfBone();
    AsfBone(const AsfBone&) = delete;
    AsfBone& operator=(const AsfBone&) = delete;

    // Appends a dof code; beyond six they are ignored.
    void AddDof(int code);
    bool HasTranslationDof() const;
    int GetRotationDofCount() const;
    // The rotation-order code of the dof list: the last two rotation dofs (from the end) give the
    // last and next-to-last axes, missing ones z and y.
    int GetDofRotationOrder() const;

    // A and its inverse from the axis angles and axis order.
    void BuildAxis();
    // Adds `child` as the last child (its parent becomes this bone).
    void AddChild(AsfBone* child);

    // ---- Import curves ----
    // Creates the read curves that the dof list calls for (red, green, blue for X, Y, Z) and opens
    // their modification bracket; prepares the constant parts of ApplyFrame.
    void CreateReadCurves();
    // One AMC line: `values` in dof order (six, missing ones 0) become one key on each read curve.
    void ApplyFrame(const double* values, VTime time, double lengthFactor, double angleFactor);
    // Closes the brackets; curves without keys are destroyed, the others tidied by the
    // import filters of the settings.
    void FinishReadCurves();
    void DestroyReadCurves();
    // Forgets the read curves without destroying them (their new owner took them).
    void ReleaseReadCurves();
    VFCurve* GetReadTranslation(int axis) const { return mReadT[axis]; }
    VFCurve* GetReadRotation(int axis) const { return mReadR[axis]; }

    VString mName{""};
    int mDofCount = 0;
    int mDofs[kMaxDofs] = {0, 0, 0, 0, 0, 0};
    int mAxisOrder = 0;
    double mAxisAngles[3] = {0.0, 0.0, 0.0};
    double mOffset[3] = {0.0, 0.0, 0.0};
    double mDirection[3] = {0.0, 0.0, 0.0};
    double mLength = 0.0;
    AsfBone* mParent = nullptr;
    std::vector<AsfBone*> mChildren;
    double mAxis[4][4];
    double mAxisInverse[4][4];
    double mParentAxis[4][4];
    double mParentAxisInverse[4][4];
    double mParentOffset[3] = {0.0, 0.0, 0.0};
    double mDefaultTranslation[3] = {0.0, 0.0, 0.0};
    double mDefaultRotation[3] = {0.0, 0.0, 0.0};

    // Export binding: the node and its "Transform" curve nodes (null when absent).
    VOxaNode* mBoundNode = nullptr;
    // The name of the node the bone is written for, when the bone's name had to differ from it
    // (empty otherwise): the AMC writer binds the bone to its node by this name.
    VString mNodeName{""};
    VFCurveNode* mBoundT = nullptr;
    VFCurveNode* mBoundR = nullptr;
    VFCurveNode* mBoundS = nullptr;

private:
    friend class VOxaAsfScene;
    friend class VOxaFileAcclaimAmc;

    VFCurve* mReadT[3] = {nullptr, nullptr, nullptr};
    VFCurve* mReadR[3] = {nullptr, nullptr, nullptr};
    // A x parent A^-1, and the parent offset turned by the parent's A^-1 (ApplyFrame).
    double mReadFrame[4][4];
    double mReadOffset[3] = {0.0, 0.0, 0.0};
};

// The skeleton of an ASF file: the bone tree and the units. The skeleton name is the object's
// name (GetName / SetName). The ASF reader leaves it attached to the motion options for the AMC
// reader; the ASF writer likewise for the AMC writer.
class OXA_API VOxaAsfScene : public VObject {
    VOBJECT_DECLARE_CLASS()
public:
    // Deeper bone trees are refused: every walk over the tree is iterative, but the scene graph
    // built from it is walked by the rest of the toolkit.
    static constexpr int kMaxDepth = 1000;
    static constexpr int kMaxBones = 65536;
    static constexpr double kRadiansFactor = 57.29577951308232;
    // Lengths, positions and motion values beyond this magnitude are refused: keys are single
    // precision, and the sums of a frame must stay finite.
    static constexpr double kMaxMagnitude = 1e30;
    // The largest magnitude the writers put in an ASF or AMC file of length unit `lengthUnit`
    // (file units per inch): the reader turns lengths into centimetres and refuses one beyond
    // kMaxMagnitude, and a number written in single-precision digits may read back a little
    // larger than it was.
    static double LargestWritten(double lengthUnit);

    static VOxaAsfScene* Create();
    VOxaAsfScene();
    ~VOxaAsfScene() override;

    double GetMassUnit() const { return mMassUnit; }
    void SetMassUnit(double unit) { mMassUnit = unit; }
    // ASF length units per inch: a file length L is L x 2.54 / unit centimetres.
    double GetLengthUnit() const { return mLengthUnit; }
    // False (unit kept) for a unit that is not a finite number above 0.
    bool SetLengthUnit(double unit);
    double GetAngleFactor() const { return mAngleFactor; }
    void SetAngleFactor(double factor) { mAngleFactor = factor; }

    AsfBone* GetRootBone() const { return mRoot; }
    // Takes `root` (owned); a former root tree is destroyed.
    void SetRootBone(AsfBone* root);
    int GetBoneCount() const;

    // The first bone named `name` (exact), depth first from the root; null when none.
    AsfBone* FindBone(const char* name) const;
    // The bones depth first (pre-order, children in order).
    std::vector<AsfBone*> GetBonesDepthFirst() const;
    // Drops the name index after the tree changed.
    void TreeChanged() { mIndexValid = false; }

    // Completion after reading: offsets, parent frames and default translation and rotation of
    // every bone. False when the tree is deeper than kMaxDepth.
    bool Complete();
    // Removes the bones without dofs that have children, handing their children to their
    // parents. A bone without dofs and without children is a joint of its own and stays.
    void Collapse();

    // Export: name "ASF", length unit 1, the bone tree from the node tree below `node`. Without
    // `translation` (no translation dofs below the root) a node starts where its current take puts
    // it at `firstFrame` (VOxaMotionSupport::JointTranslation); with it, at its default
    // translation, which the AMC translations are then relative to. A node's translation takes
    // its parent's whole scale at `firstFrame` times `scale`. A joint whose current take moves it
    // (VOxaMotionSupport::TranslationVaries) gets translation dofs either way.
    // A bone whose name the files give a meaning of their own ("root", and "begin" and "end" of
    // the hierarchy section, without regard to case) takes the first of the suffixes "_2", "_3",
    // ... that no other bone has; so does a made-up "<name>Dummy" bone whose name a bone has, and a
    // bone whose node repeats the exact name of a bone before it.
    // `renamed` (may be null) receives each renamed node's name and the bone's name. A marker
    // that no frame saw (VOxaSkeletonSupport::IsNeverSeen) gets no bone; `leftOut` (may be null)
    // receives it. False for a tree of more than kMaxBones bones or deeper than kMaxDepth, which
    // the reader refuses; `refusal` (may be null) then says which.
    bool BuildFromNode(VOxaNode* node, bool translation, const VgeTVector& scale, VTime firstFrame,
                       std::vector<std::pair<VString, VString>>* renamed = nullptr,
                       std::vector<VOxaNode*>* leftOut = nullptr, VString* refusal = nullptr);
    // Import: a node tree for the bones; answers the root's node (null on failure).
    VOxaNode* CreateNodes(VOxaSdkManager* manager, const char* takeName, bool limits);
    // Import of motion: reuses the nodes of the bones' names below `parent`, creates the missing
    // ones.
    void UpdateNodes(VOxaNode* parent, VOxaSdkManager* manager, const char* takeName, bool limits);

private:
    static void DestroyTree(AsfBone* bone);
    // One node for `bone` (skeleton, take, defaults, curves, limits); null when refused.
    VOxaNode* MakeNode(AsfBone* bone, VOxaSdkManager* manager, const char* takeName, bool limits);
    void SetupNode(VOxaNode* node, AsfBone* bone, const char* takeName, bool limits);
    // Nodes for `bone` and its subtree; answers the top node.
    VOxaNode* CreateSubtree(AsfBone* bone, VOxaSdkManager* manager, const char* takeName, bool limits);
    void BuildIndex() const;
    // The renaming of BuildFromNode; `dummies` holds the made-up bones.
    void SeparateNames(const std::unordered_set<const AsfBone*>& dummies,
                       std::vector<std::pair<VString, VString>>* renamed);
    // Names the end node of every leaf bone "<bone>_End", clear of the bones' names (mEndNames).
    void NameEndNodes();

    double mMassUnit = 1.0;
    double mLengthUnit = 1.0;
    double mAngleFactor = 1.0;
    AsfBone* mRoot = nullptr;
    mutable std::unordered_map<std::string, AsfBone*> mIndex;
    mutable bool mIndexValid = false;
    // The names of the end nodes that MakeNode makes, by bone.
    std::unordered_map<const AsfBone*, VString> mEndNames;
};

#endif  // OXA_FORMATS_MOTION_ASF_VOXA_ASF_SCENE_H
