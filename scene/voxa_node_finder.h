#ifndef OXA_SCENE_VOXA_NODE_FINDER_H
#define OXA_SCENE_VOXA_NODE_FINDER_H

#include "base/varray.h"
#include "objects/vindex.h"

class VOxaGenericNode;
class VOxaMaterial;
class VOxaNode;
class VOxaSceneContents;
class VOxaTexture;
class VOxaVideo;

// Walks a node hierarchy depth first (a node, then its children in order) and collects the
// nodes that a derived finder's test (CheckNode) picks. The finder owns nothing it is given.
class VOxaNodeFinder {
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
class VOxaNodeFinderDuplicateName : public VOxaNodeFinder {
public:
    enum EOption {
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

#endif  // OXA_SCENE_VOXA_NODE_FINDER_H
