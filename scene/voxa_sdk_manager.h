#ifndef OXA_SCENE_VOXA_SDK_MANAGER_H
#define OXA_SCENE_VOXA_SDK_MANAGER_H

#include <unordered_map>
#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/base/verror.h>
#include <oxa/objects/vobject_list.h>
#include <oxa/scene/voxa_registry.h>

class VImageConverter;
class VOxaExporter;
class VOxaGenericNode;
class VOxaImporter;
class VOxaMaterial;
class VOxaNode;
class VOxaNodeAttribute;
class VOxaScene;
class VOxaSceneInfo;
class VOxaTexture;
class VOxaThumbnail;
class VOxaTakeNodeContainer;
class VOxaUserProperty;
class VOxaVideo;
class VProperty;
class VOxaCamera;
class VOxaCameraSwitcher;
class VOxaCharacter;
class VOxaCharacterPose;
class VOxaConstraint;
class VOxaControlSetPlug;
class VOxaConstraintAim;
class VOxaConstraintParent;
class VOxaConstraintPosition;
class VOxaConstraintRotation;
class VOxaConstraintScale;
class VOxaConstraintSingleChainIK;
class VOxaNurb;
class VOxaPatch;
class VOxaDeformer;
class VOxaLight;
class VOxaLink;
class VOxaMarker;
class VOxaMesh;
class VOxaNull;
class VOxaOpticalReference;
class VOxaPose;
class VOxaShape;
class VOxaSkeleton;
class VOxaGeometryConverter;

// The prefix of a deformer's name: "SubDeformer::" when `typeName` is "Cluster" in any case,
// else "Deformer::".
OXA_API const char* VOxaGetDeformerNamePrefix(const char* typeName);

// The factory and owner of every scene object. Each object is made through a create operation
// (which builds the full prefixed name, calls the virtual factory operation and registers the
// result), kept in the registry of its kind in creation order, found through the manager and
// destroyed through it; what is left is destroyed with the manager.
//
// The factory operations (New...) only construct; a derived manager overrides them to make
// its own subclasses. Registries stay reachable from a derived manager.
//
// Failures: a destroy or name lookup of an object that is not registered sets error 0 "Object
// not found" and answers false or null; access by index out of range answers null without an
// error. A factory that answers null (a required argument is null) registers nothing.
class OXA_API VOxaSdkManager {
public:
    // eObjectInUse: a destroy refused because another object owns the object and keeps using it.
    enum EError : int { eObjectNotFound = 0, eObjectInUse = 1, eErrorCount };

    // A new manager; null when memory is exhausted.
    static VOxaSdkManager* Create();

    VOxaSdkManager();
    VOxaSdkManager(const VOxaSdkManager&) = delete;
    VOxaSdkManager& operator=(const VOxaSdkManager&) = delete;
    // Destroys every object that is left (DestroyAllObjects).
    virtual ~VOxaSdkManager();

    // --- Factory operations -----------------------------------------------------------------
    virtual VOxaScene* NewScene();
    virtual VOxaNode* NewNode(const char* name);
    virtual VOxaMaterial* NewMaterial(const char* name);
    virtual VOxaTexture* NewTexture(const char* name);
    virtual VOxaVideo* NewVideo(const char* name);
    // Null for a null property.
    virtual VOxaUserProperty* NewUserProperty(VProperty* property);
    // An unbound record; null when `owner` or `typeName` is null.
    virtual VOxaUserProperty* NewUserProperty(VOxaSdkManager* owner, const char* name, const char* typeName);
    // Null for a null name.
    virtual VOxaGenericNode* NewGenericNode(const char* name);
    virtual VOxaThumbnail* NewThumbnail();
    virtual VOxaSceneInfo* NewSceneInfo();
    virtual VImageConverter* NewImageConverter();
    virtual VOxaExporter* NewExporter();
    virtual VOxaImporter* NewImporter();
    // Node attributes.
    virtual VOxaNull* NewNull();
    virtual VOxaMarker* NewMarker();
    virtual VOxaCamera* NewCamera();
    virtual VOxaLight* NewLight();
    virtual VOxaSkeleton* NewSkeleton();
    // Geometry: meshes, optical references, links, shapes, poses and deformers.
    virtual VOxaMesh* NewMesh();
    virtual VOxaOpticalReference* NewOpticalReference();
    virtual VOxaLink* NewLink();
    virtual VOxaShape* NewShape();
    // `kind` non-zero: a bind pose; 0: a rest pose.
    virtual VOxaPose* NewPose(const char* name, int kind);
    // Surfaces and the geometry converter.
    virtual VOxaPatch* NewPatch();
    virtual VOxaNurb* NewNurb();
    virtual VOxaGeometryConverter* NewGeometryConverter();
    // Constraints; null for a null name.
    virtual VOxaConstraintPosition* NewConstraintPosition(const char* name);
    virtual VOxaConstraintRotation* NewConstraintRotation(const char* name);
    virtual VOxaConstraintScale* NewConstraintScale(const char* name);
    virtual VOxaConstraintParent* NewConstraintParent(const char* name);
    virtual VOxaConstraintSingleChainIK* NewConstraintSingleChainIK(const char* name);
    virtual VOxaConstraintAim* NewConstraintAim(const char* name);
    // Null when either is null. A type name "Cluster" (any case) gives a cluster, any other a
    // skin.
    virtual VOxaDeformer* NewDeformer(const char* name, const char* typeName);
    // Characters, control-set plugs and character poses; null for a null name. The name is used as
    // given (prefix included).
    virtual VOxaCharacter* NewCharacter(const char* name);
    virtual VOxaControlSetPlug* NewControlSetPlug(const char* name);
    virtual VOxaCharacterPose* NewCharacterPose(const char* name);

    // --- Destroy operations ----------------------------------------------------------------
    // Asked for by a curve callback or listener (of any object, at any point of any operation),
    // a destruction is checked as below and answered true at once, but carried out when the
    // library's work under way on this thread ends: the outermost destroy, clear, take removal,
    // copy, attachment, read or write, or, for a change the program made itself on a curve, the
    // program's next such call or the manager's deletion. The object stays listed and usable till
    // then; asked twice, it goes once. A callback never deletes the manager itself.
    // Not registered: error 0, false. With `destroyNodes` the scene's root and its subtree go
    // too, and the answer is that of DestroyNode; so do the materials (with the textures they
    // show), textures, videos and poses the scene lists that nothing left uses: no other scene
    // lists them and no node left uses the material or video. A program that reads file after
    // file into one manager lets go of each scene this way and keeps nothing of it. Without
    // `destroyNodes` all of them stay registered, for the program to destroy or reuse. The
    // constraints, characters and deformers the scene lists stay either way (DestroyObject).
    virtual bool DestroyScene(VOxaScene* scene, bool destroyNodes = true);
    // With `recursive` the children and the attribute go first. A child that this manager
    // does not hold is detached; the walk goes on and the answer is false (error 0). Without
    // it the children are left parentless and the attribute, detached, stays registered.
    // Destroying a take-node container (node, material, texture, video, generic node, listed
    // object) also destroys the user-property handles it lists.
    virtual bool DestroyNode(VOxaNode* node, bool recursive = false);
    // An attribute attached to a node is detached first.
    virtual bool DestroyNodeAttribute(VOxaNodeAttribute* attribute);
    virtual bool DestroyMaterial(VOxaMaterial* material);
    virtual bool DestroyTexture(VOxaTexture* texture);
    virtual bool DestroyVideo(VOxaVideo* video);
    virtual bool DestroyUserProperty(VOxaUserProperty* userProperty);
    virtual bool DestroyGenericNode(VOxaGenericNode* node);
    // A constraint, character or deformer: its property handler leaves the object list, then
    // the object is deleted. Not listed through RegisterObject (also null or destroyed
    // already): error 0, false.
    virtual bool DestroyObject(VOxaObject* object);
    virtual bool DestroyThumbnail(VOxaThumbnail* thumbnail);
    virtual bool DestroySceneInfo(VOxaSceneInfo* sceneInfo);
    virtual bool DestroyLink(VOxaLink* link);
    virtual bool DestroyShape(VOxaShape* shape);
    virtual bool DestroyPose(VOxaPose* pose);
    // False for null, else as DestroyObject.
    bool DestroyDeformer(VOxaDeformer* deformer);
    bool DestroyGeometryConverter(VOxaGeometryConverter* converter);
    bool DestroyImageConverter(VImageConverter* converter);
    bool DestroyExporter(VOxaExporter* exporter);
    bool DestroyImporter(VOxaImporter* importer);

    // --- Lookups -----------------------------------------------------------------------------
    // The `index`-th object (from 0, creation order) whose full name equals the prefixed
    // `name`, compared byte for byte; none: error 0, null.
    virtual VOxaNode* GetNode(const char* name, int index);
    virtual VOxaMaterial* GetMaterial(const char* name, int index);
    virtual VOxaTexture* GetTexture(const char* name, int index);
    virtual VOxaVideo* GetVideo(const char* name, int index);
    // The first user property named `name`; null without error. The handles objects left to be
    // made are made first (VOxaTakeNodeContainer::CreatePropertyHandles).
    virtual VOxaUserProperty* GetUserProperty(const char* name);
    // The first generic node whose full name is `fullName`; none: error 0, null.
    virtual VOxaGenericNode* GetGenericNode(const char* fullName);
    // The first pose whose full name is `fullName`; none: error 0, null.
    virtual VOxaPose* GetPose(const char* fullName);

    // Destroys every object, registry by registry: scenes, node attributes, nodes, links,
    // materials, shapes, textures, videos, poses, user properties, generic nodes, thumbnails,
    // scene informations, converters, exporters, importers; then the constraints, characters
    // and deformers of the object list, last first.
    virtual void DestroyAllObjects();

    // --- Create operations -------------------------------------------------------------------
    VOxaScene* CreateScene();
    // "Model::" + `name` (VOxaMakeObjectName).
    VOxaNode* CreateNode(const char* name);
    VOxaMaterial* CreateMaterial(const char* name);
    VOxaTexture* CreateTexture(const char* name);
    VOxaVideo* CreateVideo(const char* name);
    // A handle from NewUserProperty, listed after every handle made so far (the handles objects
    // left to be made are made first).
    VOxaUserProperty* CreateUserProperty(VProperty* property);
    VOxaUserProperty* CreateUserProperty(VOxaSdkManager* owner, const char* name, const char* typeName);
    // The name is used as it is (no prefix).
    VOxaGenericNode* CreateGenericNode(const char* name);
    VOxaThumbnail* CreateThumbnail();
    VOxaSceneInfo* CreateSceneInfo();
    VImageConverter* CreateImageConverter();
    VOxaExporter* CreateExporter();
    VOxaImporter* CreateImporter();
    VOxaNull* CreateNull();
    VOxaMarker* CreateMarker();
    VOxaCamera* CreateCamera();
    VOxaLight* CreateLight();
    VOxaSkeleton* CreateSkeleton();
    // Constructs the switcher itself (no factory operation) and registers it.
    VOxaCameraSwitcher* CreateCameraSwitcher();
    VOxaMesh* CreateMesh();
    VOxaOpticalReference* CreateOpticalReference();
    VOxaLink* CreateLink();
    // Constructs the shape itself (no factory operation) and registers it.
    VOxaShape* CreateShape();
    // "Pose::" + `name`.
    VOxaPose* CreatePose(const char* name, int kind);
    // The prefix of VOxaGetDeformerNamePrefix(typeName) + `name`; the deformer's handler joins
    // the object list.
    VOxaDeformer* CreateDeformer(const char* name, const char* typeName);
    VOxaPatch* CreatePatch();
    VOxaNurb* CreateNurb();
    VOxaGeometryConverter* CreateGeometryConverter();
    // Type 1 position, 2 rotation, 3 scale, 4 parent, 5 single-chain IK, 6 aim; any other type
    // gives null. "Constraint::" + `name`; the constraint's handler joins the object list.
    VOxaConstraint* CreateConstraint(const char* name, int type);
    // "Constraint::" + `name`; the character's handler joins the object list, so the manager
    // owns it (DestroyObject, or the manager's end). Scenes make their characters through it.
    VOxaCharacter* CreateCharacter(const char* name);
    // The listed constraints (characters included), all or of one type (1 to 7; 0 for any
    // other), and the index-th of a type (null outside the range).
    int GetConstraintCount() const;
    int GetConstraintCountByType(int type) const;
    VOxaConstraint* GetConstraint(int index, int type) const;
    // Gathers the skinned geometry nodes of the manager into the bind pose "OxaSDKBindPose" of
    // `scene`.
    void CreateBindPoses(VOxaScene* scene);
    // Registers an attribute made elsewhere (the camera switcher, the attributes of later
    // kinds); false for null or one that is registered already.
    bool RegisterNodeAttribute(VOxaNodeAttribute* attribute);
    // Lists `object`'s property handler in the object list (constraints, characters and
    // deformers); false for null, an object without handler or one listed already.
    bool RegisterObject(VOxaObject* object);

    // --- Counts and access by index (creation order; null outside the range) ----------------
    int GetSceneCount() const { return mScenes.GetCount(); }
    VOxaScene* GetScene(int index) const { return mScenes.Get(index); }
    int GetNodeCount() const { return mNodes.GetCount(); }
    VOxaNode* GetNode(int index) const { return mNodes.Get(index); }
    int GetNodeAttributeCount() const { return mNodeAttributes.GetCount(); }
    VOxaNodeAttribute* GetNodeAttribute(int index) const { return mNodeAttributes.Get(index); }
    int GetMaterialCount() const { return mMaterials.GetCount(); }
    VOxaMaterial* GetMaterial(int index) const { return mMaterials.Get(index); }
    int GetTextureCount() const { return mTextures.GetCount(); }
    VOxaTexture* GetTexture(int index) const { return mTextures.Get(index); }
    int GetVideoCount() const { return mVideos.GetCount(); }
    VOxaVideo* GetVideo(int index) const { return mVideos.Get(index); }
    // Handles objects left to be made count as made (VOxaTakeNodeContainer::CreatePropertyHandles).
    int GetUserPropertyCount() const {
        return mUserProperties.GetCount() + mPendingHandleCount + mReleasedHandleCount;
    }
    int GetGenericNodeCount() const { return mGenericNodes.GetCount(); }
    VOxaGenericNode* GetGenericNode(int index) const { return mGenericNodes.Get(index); }
    int GetThumbnailCount() const { return mThumbnails.GetCount(); }
    int GetSceneInfoCount() const { return mSceneInfos.GetCount(); }
    int GetPoseCount() const { return mPoses.GetCount(); }
    VOxaPose* GetPose(int index) const { return mPoses.Get(index); }
    int GetLinkCount() const { return mLinks.GetCount(); }
    VOxaLink* GetLink(int index) const { return mLinks.Get(index); }
    // The constraints, characters and deformers the manager made, as property handlers.
    const VObjectList& GetObjectList() const { return *mObjects; }

    VError& GetError() { return mError; }
    int GetLastErrorID() const { return mError.GetLastErrorID(); }
    const char* GetLastErrorString() const { return mError.GetLastErrorString().Buffer(); }

protected:
    // Everything DestroyAllObjects destroys, at once.
    void DestroyEverything();
    void DestroyEverythingOnce();

    // Sets error 0 and answers false; for the destroy operations.
    bool NotFound();
    // Sets eObjectInUse and answers false.
    bool InUse();

    VOxaRegistry<VOxaScene> mScenes;
    VOxaRegistry<VOxaNode> mNodes;
    VOxaRegistry<VOxaNodeAttribute> mNodeAttributes;
    VOxaRegistry<VOxaLink> mLinks;
    VOxaRegistry<VOxaMaterial> mMaterials;
    VOxaRegistry<VOxaShape> mShapes;
    VOxaRegistry<VOxaTexture> mTextures;
    VOxaRegistry<VOxaVideo> mVideos;
    VOxaRegistry<VOxaPose> mPoses;
    // Lists a handle once it is made: not those objects left to be made (see the count).
    VOxaRegistry<VOxaUserProperty> mUserProperties;
    VOxaRegistry<VOxaThumbnail> mThumbnails;
    VOxaRegistry<VOxaSceneInfo> mSceneInfos;
    VOxaRegistry<VOxaGenericNode> mGenericNodes;
    VOxaRegistry<VOxaGeometryConverter> mGeometryConverters;
    VOxaRegistry<VImageConverter> mImageConverters;
    VOxaRegistry<VOxaExporter> mExporters;
    VOxaRegistry<VOxaImporter> mImporters;
    VObjectList* mObjects;
    VError mError;

private:
    friend class VOxaTakeNodeContainer;
    friend class VOxaScene;

    // --- Destructions asked for by a callback ------------------------------------------------
    enum EDeferredKind {
        eDeferScene,
        eDeferNode,
        eDeferNodeAttribute,
        eDeferMaterial,
        eDeferTexture,
        eDeferVideo,
        eDeferUserProperty,
        eDeferGenericNode,
        eDeferObject,
        eDeferThumbnail,
        eDeferSceneInfo,
        eDeferLink,
        eDeferShape,
        eDeferPose,
        eDeferGeometryConverter,
        eDeferImageConverter,
        eDeferExporter,
        eDeferImporter,
        eDeferAll,
    };
    static void RunDeferred(void* owner, int kind, void* object, bool flag);
    // True when the request comes from a callback or listener: it waits for the library's work
    // to end and `answer` is true, or it is refused (eObjectInUse, false) when it cannot wait.
    bool Deferred(int kind, void* object, bool flag, bool& answer);

    // --- Handles left to be made (VOxaTakeNodeContainer::CreatePropertyHandles) --------------
    // Lists `object`, whose `count` handles are left to be made, after the others.
    void DeferPropertyHandles(VOxaTakeNodeContainer* object, int count);
    // Makes the handles of the objects listed up to and including `slot`, in list order.
    void MakePendingHandles(int slot);
    // Makes the handles of every listed object, before the handle list is appended to or read
    // (nothing while handles are being made: those of one object follow each other).
    void MakeAllPendingHandles();
    // Takes `object` out of the list without making its handles. With `keepCount` (an object
    // deleted without the manager, whose handles would have stayed listed) its handles still
    // count.
    void DropPendingHandles(VOxaTakeNodeContainer* object, bool keepCount);
    // Squeezes out the slots of the objects made or dropped.
    void CompactPendingHandles();

    struct PendingHandles {
        VOxaTakeNodeContainer* mObject;  // null once made or dropped
        int mCount;
    };
    // In the order the objects left their handles; the ones before mPendingFront are made.
    std::vector<PendingHandles> mPendingHandles;
    size_t mPendingFront = 0;
    int mPendingObjects = 0;
    int mPendingHandleCount = 0;
    // Handles of objects deleted without the manager while theirs were still to be made.
    int mReleasedHandleCount = 0;
    // Depth of MakePendingHandles.
    int mMakingHandles = 0;

    // --- What a destroy lets go ------------------------------------------------------------------
    // Every object that holds a destroyed object stops holding it before it is deleted: the
    // scenes (camera switcher, producer cameras, contents' lists), the geometries and shapes
    // (layers, links, shapes), the materials (maps) and the links (link and associate nodes).
    // A node about to be deleted leaves its scene and the scenes that hold it.
    void ReleaseNode(VOxaNode* node);
    // The links that point at any of `nodes` (sorted by address) let them go.
    void ReleaseNodesFromLinks(std::vector<VOxaNode*>& nodes);
    // The links that point at `top` or a node below it let them go (with no room to note them).
    void ReleaseSubtreeFromLinks(VOxaNode* top);
    void ReleaseNodeAttribute(VOxaNodeAttribute* attribute);
    void ReleaseMaterial(VOxaMaterial* material);
    void ReleaseTexture(VOxaTexture* texture);
    void ReleaseVideo(VOxaVideo* video);
    void ReleaseLink(VOxaLink* link);
    void ReleaseShape(VOxaShape* shape);

    // The geometry registries' part of DestroyAllObjects.
    void DestroyAllScenes();
    void DestroyAllLinks();
    void DestroyAllShapes();
    void DestroyAllPoses();
    void DestroyAllGeometryConverters();

    // Deletes a take-node container (after Destroying when `destroying`), then destroys the
    // user-property handles it listed: they are bound to properties that died with it.
    void DeleteTakeObject(VOxaObject* object, bool destroying);
    // The end of CreateConstraint, CreateCharacter and CreateDeformer: `make` makes the object
    // (its factory operation), whose handler then joins the object list. Memory that runs out in
    // either leaves nothing made or listed: null.
    template <typename Make>
    auto MakeObjectListed(Make make) -> decltype(make());

    // Reused by DeleteTakeObject, so that destroying many objects does not allocate per object.
    std::vector<VOxaUserProperty*> mHandleScratch;
    // The objects listed in mObjects and their listed handlers, so that a destroy request can
    // be checked without touching the object (it may be gone already).
    std::unordered_map<const VOxaObject*, VPlug*> mListedObjects;
};

#endif  // OXA_SCENE_VOXA_SDK_MANAGER_H
