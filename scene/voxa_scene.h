#ifndef OXA_SCENE_VOXA_SCENE_H
#define OXA_SCENE_VOXA_SCENE_H

#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/base/varray.h>
#include <oxa/base/verror.h>
#include <oxa/base/vstring.h>
#include <oxa/base/vstring_list.h>
#include <oxa/scene/voxa_global_camera_settings.h>
#include <oxa/scene/voxa_global_light_settings.h>
#include <oxa/scene/voxa_global_time_settings.h>

class VOxaDeformer;
class VOxaGenericNode;
class VOxaMaterial;
class VOxaNode;
class VOxaObject;
class VOxaPose;
class VOxaSceneContents;
class VOxaSceneInfo;
class VOxaSdkManager;
class VOxaTakeInfo;
class VOxaTakeNodeContainer;
class VOxaTexture;

// One whole animated scene: its contents (root node and the lists of what it uses), the
// "Camera Switcher" node, the poses it uses, the global light, camera and time settings, the
// name of the current take, the take informations and the scene information. The manager makes scenes
// (CreateScene) and destroys them (DestroyScene).
//
// Every node, texture, material, generic node and constraint, and the camera switcher, keeps
// one take node per take; the take operations here act on all of them at once. They try every
// object even after a failure, and report a failure through error 0 with a text ending in the
// take name; what succeeded stays done. Access by index out of range answers null (false for
// removals) without an error.
class VOxaCharacter;
class VOxaCharacterPose;
class VOxaConstraint;
class VOxaControlSetPlug;
class VOxaConstraintAim;
class VOxaConstraintPosition;
class VOxaConstraintRotation;
class VOxaConstraintScale;
class VOxaConstraintSingleChainIK;

class OXA_API VOxaScene {
public:
    enum EError : int { eTakeError = 0, eNotEnoughMemory = 1, eErrorCount };

    // Makes the contents (with the root node "RootNode"), the camera switcher node "Camera
    // Switcher" (invisible, shading mode 1) and the default global settings.
    explicit VOxaScene(VOxaSdkManager* manager);
    VOxaScene(const VOxaScene&) = delete;
    VOxaScene& operator=(const VOxaScene&) = delete;
    // Deletes the contents and destroys the camera switcher node (with its subtree), the scene
    // information and the seven producer camera nodes through the manager. The root node and the
    // other nodes stay with the manager.
    ~VOxaScene();

    VOxaSdkManager* GetSdkManager() const { return mManager; }

    // --- Structure -----------------------------------------------------------------------------
    // The contents' root node (null when it was removed from the contents).
    VOxaNode* GetRootNode() const;
    VOxaSceneContents* GetContents() const { return mContents; }
    VOxaNode* GetCameraSwitcher() const { return mCameraSwitcher; }
    // Destroys the current camera switcher node (recursively, through the manager) and keeps
    // `node`; nothing when `node` is the current one or another manager's. A node below the
    // current switcher leaves its parent first, so that it is not destroyed with it.
    void SetCameraSwitcher(VOxaNode* node);

    VOxaGlobalLightSettings& GetGlobalLightSettings() { return mLightSettings; }
    // The seven producer cameras (made with the scene, their defaults restored by Clear).
    VOxaGlobalCameraSettings& GetGlobalCameraSettings() { return *mCameraSettings; }
    VOxaGlobalTimeSettings& GetGlobalTimeSettings() { return mTimeSettings; }
    // The length of one scene unit in centimetres, as a file read into the scene stated it
    // (0: not stated; scene lengths are then taken as centimetres). Readers that know their
    // file's unit set it and writers that can state a unit write it.
    double GetSystemUnit() const { return mSystemUnit; }
    void SetSystemUnit(double centimetres) { mSystemUnit = centimetres > 0.0 ? centimetres : 0.0; }

    VOxaSceneInfo* GetSceneInfo() const { return mSceneInfo; }
    // Keeps the pointer; the former scene information is not destroyed. The scene destroys the
    // one it holds when it is cleared or destroyed (and a scene that holds the same one lets it
    // go). Nothing for information that the scene's manager did not make.
    void SetSceneInfo(VOxaSceneInfo* sceneInfo);

    // --- Contents ------------------------------------------------------------------------------
    // Empty `textures` (respectively `materials`), then append every listed one in list order.
    void FillTextureArray(VArrayTemplate<VOxaTexture*>& textures) const;
    void FillMaterialArray(VArrayTemplate<VOxaMaterial*>& materials) const;
    int GetGenericNodeCount() const;
    VOxaGenericNode* GetGenericNode(int index) const;
    // Makes `node` belong to this scene's contents (it leaves its former contents). False for
    // null.
    bool AddGenericNode(VOxaGenericNode* node);
    // Makes `node` belong to no contents. False for null.
    bool RemoveGenericNode(VOxaGenericNode* node);
    // Through the contents' object list (see VOxaSceneContents).
    bool AddDeformer(VOxaObject* deformer);
    bool RemoveDeformer(VOxaObject* deformer);
    // The contents' deformers: kind 0 all, 1 skins, 2 clusters.
    int GetDeformerCount(int kind = 0) const;
    VOxaDeformer* GetDeformer(int index, int kind = 0) const;
    VOxaDeformer* GetDeformer(const char* name) const;
    // Lists the constraint (or character) in the contents; one that belongs to no contents yet
    // also takes these as its own (VOxaConstraint::GetSceneContents). False for null or one
    // listed already.
    bool AddConstraint(VOxaObject* constraint);
    // The contents' constraints (characters included), all or of one type (1 to 7; none for
    // any other type), and the index-th (null outside the range).
    int GetConstraintCount() const;
    int GetConstraintCount(int type) const;
    VOxaConstraint* GetConstraint(int index) const;
    // The index-th constraint of type 1, 2, 3, 5 or 6; null outside the range.
    VOxaConstraintPosition* GetPositionConstraint(int index) const;
    VOxaConstraintRotation* GetRotationConstraint(int index) const;
    VOxaConstraintScale* GetScaleConstraint(int index) const;
    VOxaConstraintSingleChainIK* GetSingleChainIKConstraint(int index) const;
    VOxaConstraintAim* GetAimConstraint(int index) const;

    // --- Characters (constraint type 7, listed in the contents' object list) -------------------
    int GetCharacterCount() const;
    // Null outside [0, count).
    VOxaCharacter* GetCharacter(int index) const;
    // Makes the character "Constraint::" + `name` through the manager (which owns it) and lists
    // it here; answers its index, -1 when it could not be made.
    int CreateCharacter(const char* name);
    // Takes character `index` out of the contents and destroys it through the manager. False
    // outside the range.
    bool DestroyCharacter(int index);

    // --- Control-set plugs and character poses (owned by the scene) ----------------------------
    int GetControlSetPlugCount() const { return (int)mControlSetPlugs.size(); }
    VOxaControlSetPlug* GetControlSetPlug(int index) const;
    // "ControlSetPlug::" + `name`; answers its index, -1 when it could not be made.
    int CreateControlSetPlug(const char* name);
    // False outside the range.
    bool DestroyControlSetPlug(int index);
    int GetCharacterPoseCount() const { return (int)mCharacterPoses.size(); }
    VOxaCharacterPose* GetCharacterPose(int index) const;
    // "Pose::" + `name`; answers its index, -1 when it could not be made.
    int CreateCharacterPose(const char* name);
    bool DestroyCharacterPose(int index);

    // --- Poses (owned by the manager, only listed here) ----------------------------------------
    int GetPoseCount() const { return (int)mPoses.size(); }
    VOxaPose* GetPose(int index) const;
    // False for null or a pose listed already; else appends it.
    bool AddPose(VOxaPose* pose);
    // False when not listed (respectively out of range). The pose is not destroyed.
    bool RemovePose(VOxaPose* pose);
    bool RemovePose(int index);

    // --- Takes ---------------------------------------------------------------------------------
    // Adds a take `name` to the camera switcher, then to every node, texture and material of
    // the contents. When one of them has that take already: error 0 "At least one node,
    // texture or material already has a take called <name>", false.
    bool CreateTake(const char* name);
    // Removes take `name` from the same objects. When one of them lacks it (or it is the
    // default take): error 0 "Not all nodes, textures and materials have a take called
    // <name>", false.
    bool RemoveTake(const char* name);
    // Stores `name` as the current take name (also on failure), then makes take `name` current
    // on the camera switcher, every node, texture, material and generic node and every object
    // of the contents' object list. When one of them lacks it: error 0 "Not all nodes have a
    // take node called <name>", false.
    bool SetCurrentTake(const char* name);
    const char* GetCurrentTakeName() const { return mCurrentTakeName.Buffer(); }
    // Empties `names`, then appends the name of every take of the camera switcher, the nodes,
    // textures, materials, generic nodes and the objects of the object list, in that order,
    // each name once (byte-exact comparison, first occurrence kept).
    void FillTakeNameArray(VStringList& names) const;

    // --- Take informations ---------------------------------------------------------------------
    // False (nothing stored, no error) when no object of the scene has a take named as
    // `takeInfo`. Else the take information of that name is assigned `takeInfo`, or a copy is
    // appended when there is none; true.
    bool SetTakeInfo(const VOxaTakeInfo& takeInfo);
    // The take information whose name equals `name` byte for byte; null when none.
    VOxaTakeInfo* GetTakeInfo(const char* name) const;

    // --- Conversions for writing and reading --------------------------------------------------
    // A geometry node is a node of the contents whose attribute is a mesh, NURBS or patch; they
    // are visited in list order. Malformed input (links without a node, null or out-of-range
    // entries, skins on objects that are not nodes, clusters without sources, missing file
    // names) is skipped.
    //
    // For every material element in "Direct" or "IndexToDirect" mode of each geometry node's
    // layers: connects each material of the direct array that is not yet a source of the node.
    // In "IndexToDirect" mode, index entries not below the direct count become -1.
    void ConnectLayerMaterials();
    // The same for texture elements and textures.
    void ConnectLayerTextures();
    // Attaches a video to every texture of the contents, then to every light node with a gobo
    // file name (see AttachVideo).
    void CreateVideos();
    // Makes a video named `mediaName` (`fallbackName` when that is empty) with `fileName` (and
    // `relativeFileName` when not null) and connects it as a source of `object`. Nothing when
    // `object` or `fileName` is null or a video is attached already.
    void AttachVideo(VOxaObject* object, const char* fileName, const char* relativeFileName,
                     const char* mediaName, const char* fallbackName);
    // For every geometry node with links: makes a skin "Skin <node name>" connected to the node
    // and, per link with a link node, a cluster "Cluster <bone name>" (numbered " 1", " 2", ...
    // when the name is taken) carrying the link's data, connected to the skin.
    void ConvertLinksToDeformers();
    // Rebuilds the direct arrays of the material elements from the node's material sources
    // ("IndexToDirect": the materials used by the index array, indices renumbered; "Direct":
    // appended up to the number of material sources).
    void FillLayerMaterials();
    // The same for texture elements and the node's texture sources.
    void FillLayerTextures();
    // For every skin of the contents connected to a geometry node: one link per cluster of the
    // skin, added to the node's geometry.
    void ConvertDeformersToLinks();
    // Below `node`, depth first: a skeleton child marked for conversion, inheriting "Rrs" and
    // whose parent carries no skeleton, gets inherit type "RrSs" (1).
    void ConvertSkeletonRootInheritType(VOxaNode* node);
    // Removes every cluster, then every other deformer, from the contents and destroys it.
    void DestroyAllDeformers();

    // Back to a new scene: destroys the root's subtree, the scene information and the generic
    // nodes through the manager, keeps only the first take of the root and the camera switcher
    // (renamed "Camera Switcher", invisible, shading mode 1), empties the pose list, restores
    // the default settings and forgets the current take name and the take informations. When
    // memory runs out part way, what was cleared stays cleared and the error is "Not enough
    // memory".
    void Clear();

    // For a node or attribute that the manager is destroying: the scene stops holding it (as
    // its camera switcher, a producer camera or a producer node). Nothing when it holds none.
    void ReleaseNode(const VOxaNode* node);
    void ReleaseNodeAttribute(const VOxaNodeAttribute* attribute);

    VError& GetError() { return mError; }
    int GetLastErrorID() const { return mError.GetLastErrorID(); }
    const char* GetLastErrorString() const { return mError.GetLastErrorString().Buffer(); }

private:
    void ClearAll();
    friend class VOxaSdkManager;
    friend class VOxaCharacterPose;

    // Calls `visit` on the camera switcher, then every node, texture and material, then (with
    // `all`) every generic node and every take node container of the object list.
    template <typename Visit>
    void ForEachTakeContainer(bool all, Visit visit) const;
    // True when some object of the scene has a take named `name`.
    bool IsTakeNameKnown(const char* name) const;
    void DeleteTakeInfos();
    // Destroys every control-set plug and character pose (Destroying, then deletion).
    void DestroyPlugsAndCharacterPoses();

    VOxaSdkManager* mManager;
    VOxaSceneContents* mContents = nullptr;
    VOxaNode* mCameraSwitcher = nullptr;
    std::vector<VOxaControlSetPlug*> mControlSetPlugs;
    std::vector<VOxaCharacterPose*> mCharacterPoses;
    std::vector<VOxaPose*> mPoses;
    VOxaGlobalLightSettings mLightSettings;
    VOxaGlobalCameraSettings* mCameraSettings = nullptr;
    VOxaGlobalTimeSettings mTimeSettings;
    double mSystemUnit = 0.0;
    VString mCurrentTakeName{""};
    std::vector<VOxaTakeInfo*> mTakeInfos;
    VOxaSceneInfo* mSceneInfo = nullptr;
    // The character pose whose private scene this is; only the pose destroys it.
    VOxaCharacterPose* mOwnerPose = nullptr;
    VError mError;
};

#endif  // OXA_SCENE_VOXA_SCENE_H
