#ifndef OXA_SCENE_VOXA_NODE_FINDER_H
#define OXA_SCENE_VOXA_NODE_FINDER_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/varray.h>
#include <oxa/base/vtime.h>
#include <oxa/objects/vindex.h>

class VFCurve;
class VFCurveNode;
class VOxaGenericNode;
class VOxaMaterial;
class VOxaNode;
class VOxaSceneContents;
class VOxaTexture;
class VOxaVideo;

// Walks a node hierarchy depth first (a node, then its children in order) and collects the
// nodes that a derived finder's test (CheckNode) picks. The finder owns nothing it is given.
class OXA_API VOxaNodeFinder {
public:
    VOxaNodeFinder() = default;
    VOxaNodeFinder(const VOxaNodeFinder&) = delete;
    VOxaNodeFinder& operator=(const VOxaNodeFinder&) = delete;
    virtual ~VOxaNodeFinder() = default;

    // Keeps `root`, walks its subtree and answers the result array. The arrays are not emptied
    // first: a second Find adds to the first one's results until Reset.
    VArrayTemplate<VOxaNode*>& Find(VOxaNode* root);
    // Empties the result array (derived finders also empty their own arrays).
    virtual void Reset() = 0;
    // Appends `node` to the result array when CheckNode picks it, then walks each child in order;
    // the child count is read again after each child. Null does nothing.
    virtual void SearchRecursive(VOxaNode* node);
    // True when `node` belongs in the result array.
    virtual bool CheckNode(VOxaNode* node) = 0;

    VOxaNode* GetRootNode() const { return mRootNode; }
    VArrayTemplate<VOxaNode*>& GetResult() { return mResult; }

protected:
    VOxaNode* mRootNode = nullptr;
    VArrayTemplate<VOxaNode*> mResult;
};

// Reports the nodes of a subtree whose full names clash with a node met earlier in the walk or,
// with scene contents, with a node of that scene (a node listed there other than its root).
// Every node walked is kept in the node array; the clashing ones also go into the duplicate
// array (and the result array).
//
// Options (GetOption / SetOption, indexes 0 to 4): node names (on), material names (off),
// texture names (off), video names (off), generic-node names (on). A check that is off only
// collects. Materials, textures and videos are reached through geometry layers, which nodes
// do not offer yet: their arrays stay empty for now.
class OXA_API VOxaNodeFinderDuplicateName : public VOxaNodeFinder {
public:
    enum EOption : int {
        eNodeNames = 0,
        eMaterialNames = 1,
        eTextureNames = 2,
        eVideoNames = 3,
        eGenericNodeNames = 4,
        eOptionCount = 5
    };

    // `contents` (may be null, not owned) is the scene the walked objects are compared with.
    explicit VOxaNodeFinderDuplicateName(VOxaSceneContents* contents);

    // Empties the ten arrays and the result array.
    void Reset() override;
    bool CheckNode(VOxaNode* node) override;

    // Options by index; an index outside 0..4 is ignored (false when read).
    bool GetOption(int index) const;
    void SetOption(int index, bool value);

    VArrayTemplate<VOxaNode*>& GetNodes() { return mNodes; }
    VArrayTemplate<VOxaNode*>& GetDuplicateNodes() { return mDuplicateNodes; }
    VArrayTemplate<VOxaMaterial*>& GetMaterials() { return mMaterials; }
    VArrayTemplate<VOxaMaterial*>& GetDuplicateMaterials() { return mDuplicateMaterials; }
    VArrayTemplate<VOxaTexture*>& GetTextures() { return mTextures; }
    VArrayTemplate<VOxaTexture*>& GetDuplicateTextures() { return mDuplicateTextures; }
    VArrayTemplate<VOxaVideo*>& GetVideos() { return mVideos; }
    VArrayTemplate<VOxaVideo*>& GetDuplicateVideos() { return mDuplicateVideos; }
    VArrayTemplate<VOxaGenericNode*>& GetGenericNodes() { return mGenericNodes; }
    VArrayTemplate<VOxaGenericNode*>& GetDuplicateGenericNodes() { return mDuplicateGenericNodes; }

    // With option 4 on: the first generic node of the scene contents (or, without contents, of
    // the generic-node array) whose full name is `name` goes into the duplicate generic nodes
    // and the answer is true. False for null, with the option off or when none bears the name.
    bool CheckGenericNodeName(const char* name);

private:
    bool CheckNodeName(VOxaNode* node);
    // True when a node of the scene contents other than its root is named `name`.
    bool IsNameInContents(const char* name) const;
    // Appends `node` to the node array, keeping the indexes.
    void AppendNode(VOxaNode* node);
    void RebuildNameIndex();

    bool mOptions[eOptionCount] = {true, false, false, false, true};
    VArrayTemplate<VOxaNode*> mNodes;
    VArrayTemplate<VOxaNode*> mDuplicateNodes;
    VArrayTemplate<VOxaMaterial*> mMaterials;
    VArrayTemplate<VOxaMaterial*> mDuplicateMaterials;
    VArrayTemplate<VOxaTexture*> mTextures;
    VArrayTemplate<VOxaTexture*> mDuplicateTextures;
    VArrayTemplate<VOxaVideo*> mVideos;
    VArrayTemplate<VOxaVideo*> mDuplicateVideos;
    VArrayTemplate<VOxaGenericNode*> mGenericNodes;
    VArrayTemplate<VOxaGenericNode*> mDuplicateGenericNodes;
    VOxaSceneContents* mContents;

    // Indexes over the node array, so that a walk of n nodes costs O(n): node -> position,
    // name -> position of its first holder, and per first holder the number of entries that
    // bear its name. Rebuilt when any object was renamed since they were built.
    VPointerIndex mNodeSlots;
    VNameIndex mNodeNames;
    VArrayTemplate<int> mNameCounts;
    unsigned mNamesStamp = 0;
};

// Reports the nodes whose scaling is not 1, negative or not uniform, in the default take and
// in the current take, from the "X", "Y", "Z" curves of each take's "S" channel: their default
// values, then their values every 1/24 s from the first to the last key of the three
// (inclusive; at most 2^24 samples, so a wild key range cannot stall the walk). A NaN value
// fails the not-one and the non-uniform tests.
//
// Scaling that is not one is only looked for on skeleton nodes, and, like non-uniform
// scaling, only reported for nodes with children; a negative scaling is reported for any
// node. The result array holds every node reported in either take.
class OXA_API VOxaNodeFinderBadScale : public VOxaNodeFinder {
public:
    // Answers of the value tests.
    enum EScaleTest : int { eScaleOk = 0, eScaleNotOne = 1, eScaleNegative = 2, eScaleNonUniform = 3 };

    VOxaNodeFinderBadScale();

    // Empties the six arrays and the result array.
    void Reset() override;
    // The take tests of the default take, then of the current take when it is another one;
    // true when either reported the node.
    bool CheckNode(VOxaNode* node) override;

    bool GetTestScaleNotOne() const { return mTestScaleNotOne; }
    void SetTestScaleNotOne(bool on) { mTestScaleNotOne = on; }
    bool GetTestNegativeScale() const { return mTestNegativeScale; }
    void SetTestNegativeScale(bool on) { mTestNegativeScale = on; }
    bool GetTestNonUniformScale() const { return mTestNonUniformScale; }
    void SetTestNonUniformScale(bool on) { mTestNonUniformScale = on; }
    // How far a value may be from 1 (not one) or from the first value (non-uniform); 2^-52 by
    // default.
    double GetTolerance() const { return mTolerance; }
    void SetTolerance(double tolerance) { mTolerance = tolerance; }
    VTime GetSamplingStep() const { return mSamplingStep; }

    VArrayTemplate<VOxaNode*>& GetScaleNotOneDefaultTake() { return mNotOneDefault; }
    VArrayTemplate<VOxaNode*>& GetScaleNotOneCurrentTake() { return mNotOneCurrent; }
    VArrayTemplate<VOxaNode*>& GetNegativeScaleDefaultTake() { return mNegativeDefault; }
    VArrayTemplate<VOxaNode*>& GetNegativeScaleCurrentTake() { return mNegativeCurrent; }
    VArrayTemplate<VOxaNode*>& GetNonUniformScaleDefaultTake() { return mNonUniformDefault; }
    VArrayTemplate<VOxaNode*>& GetNonUniformScaleCurrentTake() { return mNonUniformCurrent; }

    // Runs the enabled tests (not one, negative, non-uniform, in that order) on each of the
    // `count` values (at most 3) in turn; the first failure answers its EScaleTest code, 0
    // when all pass. Non-uniform compares with the first value.
    int TestScaleValues(const double* values, int count) const;
    // Tests the default values of the existing curves of `curves` (X, Y, Z, each may be null),
    // then samples them over their key range: a negative answer ends the sampling, and
    // otherwise non-uniform wins over not one.
    int TestScaleCurves(VFCurve* const curves[3]) const;
    // Tests the scaling curves of the take whose channel tree is rooted at `takeRoot` and puts
    // `node` into the array of its answer (not one and non-uniform only when the node has
    // children). True when the node was put into an array.
    bool TestTake(VOxaNode* node, VFCurveNode* takeRoot, VArrayTemplate<VOxaNode*>& notOne,
                  VArrayTemplate<VOxaNode*>& negative, VArrayTemplate<VOxaNode*>& nonUniform);

private:
    VTime mSamplingStep;
    bool mTestScaleNotOne = true;
    VArrayTemplate<VOxaNode*> mNotOneDefault;
    VArrayTemplate<VOxaNode*> mNotOneCurrent;
    bool mTestNegativeScale = true;
    VArrayTemplate<VOxaNode*> mNegativeDefault;
    VArrayTemplate<VOxaNode*> mNegativeCurrent;
    bool mTestNonUniformScale = true;
    VArrayTemplate<VOxaNode*> mNonUniformDefault;
    VArrayTemplate<VOxaNode*> mNonUniformCurrent;
    double mTolerance = 2.220446049250313e-16;
};

#endif  // OXA_SCENE_VOXA_NODE_FINDER_H
