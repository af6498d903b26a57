#ifndef OXA_FORMATS_GEOMETRY_3DS_VOXA_READER_3DS_H
#define OXA_FORMATS_GEOMETRY_3DS_VOXA_READER_3DS_H

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/formats/geometry/3ds/ftk.h>
#include <oxa/oxa_codec/voxa_reader.h>

class VOxaCamera;
class VOxaLight;
class VOxaMarker;
class VOxaMaterial;
class VOxaMesh;
class VOxaNode;
class VOxaScene;
class VOxaTexture;
class VFCurve;

// Reads a 3DS file into a scene through the 3DS toolkit: the whole file goes into a toolkit
// database, its meshes, materials, lights, cameras and keyframer motions are fetched into import
// tables, and from them come materials with their textures, mesh, light, camera and target-marker
// attributes, one node per keyframer node with its hierarchy and look-at targets, and the
// keyframer tracks as TCB function curves of the take "default take" (30 frames per second).
//
// The scene is Y-up and in centimetres: a file point (x, y, z) becomes (x, z, -y), times the unit
// factor (2.54 with "Rescale", times a positive master scale) unless "Create Reference Node" puts
// the factor on the node "Oxa_Root" instead.
//
// The toolkit's state is process-wide: FileOpen clears its error stack, and every Read releases
// the database, the settings, the fetched records and the toolkit file, whether it succeeds or
// not, so that a bad file never stops a later read. Indexes read from the file are checked before
// use; a hierarchy that would loop is cut at the top parent with a warning.
class VOxaReader3DS : public VOxaReader {
public:
    explicit VOxaReader3DS(VOxaSdkManager* manager);
    // Closes the file and frees every table.
    ~VOxaReader3DS() override;

    // Clears the toolkit's errors, then opens `path` for reading. False (error 3, "File not
    // opened") for a null or empty name or a file that cannot be opened.
    bool FileOpen(const char* path) override;
    // Closes the toolkit file (when one is open) and forgets it; true.
    bool FileClose() override;
    // True while a file is open.
    bool IsFileOpen() override;
    // A new VStreamOptions3ds with its defaults, owned by the caller.
    VStreamOptions* GetReadOptions() override;
    // The whole import. Foreign or missing options: error 6 and the current flags are used. No
    // open file: error 3, false. A toolkit failure (without the continue flag): error 0 with the
    // toolkit's message, false. Everything the toolkit holds for this file is released in every
    // case.
    bool Read(VOxaScene* scene, VStreamOptions* options) override;

    // Ambient and background, materials and textures, attributes, nodes, hierarchy, animation,
    // take.
    virtual bool BuildScene(VOxaScene* scene);
    // Mesh, light, camera and target-marker attributes of the import tables.
    virtual bool CreateAttributes();

    // Fills `mesh` from a mesh record (control points split by smoothing group, normals, UVs,
    // materials and textures per face).
    // `stored`: the record's points as they stand (an object without a keyframer node stands
    // where they put it), else through the inverse of its local axes.
    bool ImportMesh(const Ftk::Mesh& record, VOxaMesh* mesh, bool stored = false);
    // One node per keyframer motion (with its attribute when one of its name exists).
    bool CreateNodes();
    // The file's fog as the scene's, and the scene values that only a 3DS file holds (shadow-map
    // size, solid background in use, fog near density and background) as root-node properties.
    void KeepSceneValues(VOxaScene* scene);
    bool AnimateObjects();
    // The node's visibility: shown unless `hidden` (the object's hidden flag); a hide track's
    // keys (each turns the hiding over) make the visibility curve's steps.
    void ImportHideTrack(VOxaNode* node, bool hidden, uint32_t keyCount, const Ftk::KeyHeader* keys);
    // False when the toolkit stopped reading the ambient node.
    bool KeepAmbientNode(VOxaScene* scene);
    bool AnimateLights();
    bool AnimateSpots();
    bool AnimateCameras();

    // The tracks, `keyCount` keys with their values (3 floats per key for positions, scales and
    // colours, 4 for rotations, 1 for cone, field of view and roll). Each answers true.
    bool ImportPositionTrack(VOxaNode* node, uint32_t keyCount, const Ftk::KeyHeader* keys,
                             const float* values);
    bool ImportRotationTrack(VOxaNode* node, uint32_t keyCount, const Ftk::KeyHeader* keys,
                             const float* values);
    bool ImportScaleTrack(VOxaNode* node, uint32_t keyCount, const Ftk::KeyHeader* keys, const float* values);
    bool ImportColorTrack(VOxaNode* node, uint32_t keyCount, const Ftk::KeyHeader* keys, const float* values);
    bool ImportConeAngleTrack(VOxaNode* node, uint32_t keyCount, const Ftk::KeyHeader* keys,
                              const float* values);
    bool ImportFieldOfViewTrack(VOxaNode* node, uint32_t keyCount, const Ftk::KeyHeader* keys,
                                const float* values);
    bool ImportRollTrack(VOxaNode* node, uint32_t keyCount, const Ftk::KeyHeader* keys, const float* values);
    // Keeps the static section's point `where` (the file's world) of a light, camera or target in
    // the property `name` of the attribute's property `block` when the keyframer `track` starts
    // elsewhere, so that a writer's static section shows what this file's did.
    template <class Block>
    void KeepStaticPoint(Block* block, const char* name, const Ftk::Track& track, const Ftk::Point3& where);

    // File units to scene units, as the last Read computed it.
    double GetUnitFactor() const { return mUnitFactor; }
    // The node "Oxa_Root" of the last Read, null without "Create Reference Node".
    VOxaNode* GetReferenceNode() const { return mReferenceNode; }

    // The name of the take the animation goes into.
    static constexpr const char* kTakeName = "default take";

private:
    struct TexturePair {
        VOxaTexture* mFirst = nullptr;
        VOxaTexture* mSecond = nullptr;
    };
    // Per mesh record, the attribute made from it and whether a node holds it already.
    struct MeshEntry {
        Ftk::Mesh* mRecord = nullptr;
        VOxaMesh* mMesh = nullptr;
        bool mUsed = false;
        bool mStill = false;  // no keyframer node names the object
    };
    struct LightEntry {
        Ftk::Light* mRecord = nullptr;
        VOxaLight* mLight = nullptr;
        VOxaMarker* mTarget = nullptr;  // spotlights only
    };
    struct CameraEntry {
        Ftk::Camera* mRecord = nullptr;
        VOxaCamera* mCamera = nullptr;
        VOxaMarker* mTarget = nullptr;
    };
    template <class Motion>
    struct MotionEntry {
        Motion* mRecord = nullptr;
        VOxaNode* mNode = nullptr;
        VOxaNode* mTargetNode = nullptr;  // spotlight and camera motions only
        bool mWithoutNode = false;        // an object no keyframer node names, in a file with nodes
    };

    // Step by step parts of Read.
    bool FillTables();
    bool CreateMaterials();
    void ListUnusedMaterials(VOxaScene* scene);
    // The texture of one map of material `material` (its image, source folder and parameters),
    // named as the image or, when that name is taken, as the image, "-", the material's index and
    // `suffix`; null with a message when it cannot be made.
    VOxaTexture* CreateMapTexture(const Ftk::MaterialMap& map, size_t material, const char* suffix);
    bool AttachNodes(VOxaScene* scene);
    bool CreateTake(VOxaScene* scene);
    // Adds `child` below the node named `parentName` (or the top parent when there is none or
    // the link would make a loop).
    void AttachNode(VOxaNode* child, const char* parentName, const char* label);
    // Gives the node its take "default take" and makes it current.
    void PrepareTake(VOxaNode* node);
    // A failed toolkit step: error 0 with the toolkit's first message.
    bool ToolkitFailure();
    // One warning per chunk that the toolkit left out for its length.
    void WarnSkippedChunks();
    // Releases the settings, database, records and tables and closes the toolkit file.
    void ReleaseAll();
    void ReleaseRecords();
    void Warn(const std::string& line);
    // The node made for `name` by this read (first of the name), null when none.
    VOxaNode* FindCreatedNode(const char* name) const;
    VOxaNode* CreateNamedNode(const std::string& name);
    // File point to scene point: Y-up, times the unit factor unless the reference node holds it.
    void ToScene(const float* in, double out[3]) const;
    // Shared by the one-channel tracks: "Anim" keys or one key at time 0 plus the default.
    void ImportScalarTrack(VFCurve* curve, uint32_t keyCount, const Ftk::KeyHeader* keys, const float* values,
                           double fallback, double& defaultValue);

    // Options.
    bool mCreateReferenceNode = false;
    bool mMaterials = true;
    bool mTextureMapping = true;
    bool mAnim = true;
    bool mGeometries = true;
    bool mLights = true;
    bool mCamera = true;
    bool mAmbientLight = true;
    bool mRescale = true;
    bool mReduceKeys = false;
    bool mSmoothGroup = true;
    // Frames of rotation paths walked during one read (see ImportRotationTrack): bounded, so that
    // a file of many long tracks takes neither unbounded time nor unbounded memory.
    int64_t mRotationFrames = 0;

    Ftk::File* mFile = nullptr;
    // The open file's folder, absolute: the textures it names count from there.
    std::string mSourceFolder;
    Ftk::Database* mDatabase = nullptr;
    Ftk::MeshSettings* mSettings = nullptr;
    Ftk::Background* mBackground = nullptr;
    double mUnitFactor = 1.0;
    float mAmbient[3] = {0.0f, 0.0f, 0.0f};
    bool mAmbientInFile = false;

    std::vector<MeshEntry> mMeshes;
    std::vector<Ftk::Material*> mMaterialRecords;
    std::vector<TexturePair> mMaterialTextures;
    std::vector<LightEntry> mOmniLights;
    std::vector<LightEntry> mSpotlights;
    std::vector<CameraEntry> mCameras;
    std::vector<MotionEntry<Ftk::ObjectMotion>> mObjectMotions;
    std::vector<MotionEntry<Ftk::OmniLightMotion>> mOmniMotions;
    std::vector<MotionEntry<Ftk::SpotlightMotion>> mSpotMotions;
    std::vector<MotionEntry<Ftk::CameraMotion>> mCameraMotions;

    // Lookups by name: meshes, lights and cameras by record name; file materials by name; the
    // texture pairs by material name in lower case; the materials and nodes this read made.
    std::unordered_map<std::string, uint32_t> mMeshByName;
    std::unordered_map<std::string, uint32_t> mOmniByName;
    std::unordered_map<std::string, uint32_t> mSpotByName;
    std::unordered_map<std::string, uint32_t> mCameraByName;
    std::unordered_map<std::string, uint32_t> mMaterialRecordByName;
    std::unordered_map<std::string, TexturePair> mTextureMap;
    std::unordered_map<std::string, VOxaMaterial*> mCreatedMaterials;
    std::unordered_map<std::string, VOxaNode*> mCreatedNodes;
    // Every material and texture this read made, in order, so that those no mesh uses are still
    // listed in the scene (a host that destroys a scene and what it lists frees them too).
    std::vector<VOxaMaterial*> mMadeMaterials;
    std::vector<VOxaTexture*> mMadeTextures;

    VOxaScene* mScene = nullptr;
    VOxaNode* mReferenceNode = nullptr;
    VOxaNode* mTopParent = nullptr;
    // Whether the file has keyframer nodes of its own (not only the motions made for it).
    bool mFileHasMotions = false;
};

// The importer's factory for the "3ds" row: a new reader owned by the caller.
VOxaReader* VOxaCreateReader3DS(VOxaSdkManager* manager);

#endif  // OXA_FORMATS_GEOMETRY_3DS_VOXA_READER_3DS_H
