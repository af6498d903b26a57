#ifndef OXA_SCENE_VOXA_SCENE_CONTENTS_H
#define OXA_SCENE_VOXA_SCENE_CONTENTS_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/varray.h>
#include <oxa/base/verror.h>
#include <oxa/objects/vindex.h>
#include <oxa/objects/vobject_list.h>
#include <oxa/scene/voxa_registry.h>

class VOxaConstraint;
class VOxaDeformer;
class VOxaGenericNode;
class VOxaMaterial;
class VOxaNode;
class VOxaObject;
class VOxaSdkManager;
class VOxaTexture;
class VOxaVideo;

// What a scene holds by reference: its root node, the nodes of its hierarchy, the materials,
// textures, videos and generic nodes it uses (counted by use, so that an object several users
// share stays listed until its last user lets go), and an object list of its constraints,
// characters and deformers. The manager owns all of these objects; the contents only list them.
//
// Nodes enter and leave the node list as they join or leave the scene's hierarchy
// (VOxaNode::SetSceneContents).
//
// Errors (GetLastErrorID): 0 "Node is null.", 1 "Node is already owned by the entity.", 2 "Node
// does not belong to the entity.", 3 "Parameter is out of range.", 4 "Material still in use.",
// 5 "Material not found.", 6 "Texture still in use.", 7 "Texture not found.", 8 "Video still in
// use.", 9 "Video not found.", 10 "Video name clash.", and without text 11 (generic node still
// in use), 12 (generic node not found), 15 (deformer not listed), 17 (constraint not listed).
// A failure leaves the lists as they were, except that a removal that leaves the use count above
// 0 has still counted down.
class OXA_API VOxaSceneContents {
public:
    enum EError : int {
        eNodeIsNull = 0,
        eNodeAlreadyOwned = 1,
        eNodeNotOwned = 2,
        eOutOfRange = 3,
        eMaterialInUse = 4,
        eMaterialNotFound = 5,
        eTextureInUse = 6,
        eTextureNotFound = 7,
        eVideoInUse = 8,
        eVideoNotFound = 9,
        eVideoNameClash = 10,
        eGenericNodeInUse = 11,
        eGenericNodeNotFound = 12,
        eDeformerNotFound = 15,
        eConstraintNotFound = 17,
        eErrorCount = 18
    };

    // Makes the root node "RootNode" through the manager and attaches it as this contents'
    // root.
    explicit VOxaSceneContents(VOxaSdkManager* manager);
    VOxaSceneContents(const VOxaSceneContents&) = delete;
    VOxaSceneContents& operator=(const VOxaSceneContents&) = delete;
    // Detaches everything it lists: the listed nodes and generic nodes forget these contents,
    // and so do the geometries of the listed nodes with their shapes; the lists are emptied.
    // No object is destroyed.
    ~VOxaSceneContents();

    // --- Nodes -------------------------------------------------------------------------------
    bool AddNode(VOxaNode* node);
    // Removing the root leaves the contents without root.
    bool RemoveNode(VOxaNode* node);
    VOxaNode* GetRootNode() const { return mRootNode; }
    int GetNodeCount() const { return mNodes.GetCount(); }
    VOxaNode* GetNode(int index) const { return mNodes.Get(index); }
    bool ContainsNode(const VOxaNode* node) const { return mNodes.Contains(node); }
    // The first listed node whose full name is `name` (byte for byte), null when none.
    VOxaNode* FindNodeByName(const char* name) const;
    // Empties the node list (the nodes keep their contents link).
    void ClearNodes();
    // Fills `nodes` (emptied first) with the nodes whose attribute has type code `type`: with
    // `recursive` depth first from the root, else in node-list order.
    void FillNodeArrayByAttributeType(VArrayTemplate<VOxaNode*>& nodes, int type, bool recursive) const;

    // --- Use-counted lists -------------------------------------------------------------------
    // Add: a listed object counts one use more, another one is appended with count 1; true
    // (false for null, which is never listed). Remove: not listed gives the not-found error;
    // else one use less, and the object leaves the list at 0 (true) or stays (the in-use
    // error, false). Access by index out of range: error 3, null. By name (full name, byte for
    // byte, the first listed): none gives the not-found error and null.
    bool AddMaterial(VOxaMaterial* material);
    bool RemoveMaterial(VOxaMaterial* material);
    int GetMaterialCount() const;
    VOxaMaterial* GetMaterial(int index);
    VOxaMaterial* GetMaterialByName(const char* name);
    int GetMaterialIndex(const char* name);
    bool AddTexture(VOxaTexture* texture);
    bool RemoveTexture(VOxaTexture* texture);
    int GetTextureCount() const;
    VOxaTexture* GetTexture(int index);
    VOxaTexture* GetTextureByName(const char* name);
    // Fails with error 10 when another listed video bears the same full name.
    bool AddVideo(VOxaVideo* video);
    bool RemoveVideo(VOxaVideo* video);
    int GetVideoCount() const;
    VOxaVideo* GetVideo(int index);
    VOxaVideo* GetVideoByName(const char* name);
    bool AddGenericNode(VOxaGenericNode* node);
    bool RemoveGenericNode(VOxaGenericNode* node);
    int GetGenericNodeCount() const;
    VOxaGenericNode* GetGenericNode(int index);
    // Null without error when none.
    VOxaGenericNode* GetGenericNodeByName(const char* name) const;

    // --- Object list (constraints, characters, deformers, through their handlers) -----------
    // False for null or an object listed already.
    bool AddConstraint(VOxaObject* constraint);
    // True for null; error 17 and false when not listed.
    bool RemoveConstraint(VOxaObject* constraint);
    // The listed constraints (characters included), in list order. An entry that is no
    // object of the object model answers null.
    int GetConstraintCount() const;
    VOxaConstraint* GetConstraint(int index) const;
    // The same for one constraint type (1 to 7); a type without a class has none.
    int GetConstraintCountByType(int type) const;
    VOxaConstraint* GetConstraintByType(int index, int type) const;
    // The listed constraint whose full name is `name` (byte for byte); null when none.
    VOxaConstraint* GetConstraintByName(const char* name) const;
    bool AddDeformer(VOxaObject* deformer);
    // True for null; error 15 and false when not listed.
    bool RemoveDeformer(VOxaObject* deformer);
    // The listed deformers of `kind`: 0 all, 1 skins, 2 clusters; any other kind has none.
    int GetDeformerCount(int kind = 0) const;
    // The `index`-th listed deformer of `kind`, in list order; null out of range.
    VOxaDeformer* GetDeformer(int index, int kind = 0) const;
    // The first listed deformer whose full name is `name` (byte for byte); null when none.
    VOxaDeformer* GetDeformer(const char* name) const;
    const VObjectList& GetObjectList() const { return *mObjects; }

    // For an object that is being destroyed: takes it out of its list whatever its use count.
    // Nothing when it is not listed.
    void ReleaseMaterial(VOxaMaterial* material);
    void ReleaseTexture(VOxaTexture* texture);
    void ReleaseVideo(VOxaVideo* video);

    VError& GetError() { return mError; }
    int GetLastErrorID() const { return mError.GetLastErrorID(); }
    const char* GetLastErrorString() const { return mError.GetLastErrorString().Buffer(); }
    // The manager of the scene the contents belong to.
    VOxaSdkManager* GetSdkManager() const { return mManager; }

private:
    friend class VOxaNode;
    friend class VOxaSdkManager;  // whether a scene lists an object it lets go of
    // Sets the root without touching the node list (the node's SetSceneContents adds it).
    void SetRootNode(VOxaNode* node) { mRootNode = node; }

    VOxaSdkManager* mManager;
    VOxaNode* mRootNode = nullptr;
    VOxaRegistry<VOxaNode> mNodes;
    // A use-counted list: the objects in the order of their first use (an object that left
    // and came back goes last), and each listed object's use count (at least 1).
    template <typename T>
    struct UseList {
        VOxaRegistry<T> mItems;
        VPointerIndex mCounts;
    };
    template <typename T>
    static void AddUse(UseList<T>& list, T* object);
    // -1 when not listed, else the count left (0: the object left the list).
    template <typename T>
    static int RemoveUse(UseList<T>& list, T* object);
    template <typename T>
    static void ReleaseUse(UseList<T>& list, T* object);

    UseList<VOxaMaterial> mMaterials;
    UseList<VOxaTexture> mTextures;
    UseList<VOxaVideo> mVideos;
    UseList<VOxaGenericNode> mGenericNodes;
    VObjectList* mObjects;
    VError mError;
};

#endif  // OXA_SCENE_VOXA_SCENE_CONTENTS_H
