#ifndef OXA_FORMATS_GEOMETRY_3DS_VOXA_WRITER_3DS_H
#define OXA_FORMATS_GEOMETRY_3DS_VOXA_WRITER_3DS_H

#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/base/vge_vector.h>
#include <oxa/base/vstring.h>
#include <oxa/base/vtime.h>
#include <oxa/formats/geometry/3ds/ftk.h>
#include <oxa/formats/geometry/voxa_geometry_write.h>
#include <oxa/formats/geometry/voxa_material_extras.h>
#include <oxa/oxa_codec/voxa_writer.h>
#include <oxa/scene/voxa_global_light_settings.h>
#include <oxa/scene/voxa_renaming_strategy.h>

class VFCurve;
class VOxaCamera;
class VOxaLight;
class VOxaMaterial;
class VOxaMesh;
class VOxaNode;
class VOxaObject;
class VOxaScene;
class VOxaTexture;
struct Stored3dsMesh;

// Writes a scene as a 3DS mesh file: one object per mesh, light and camera node, a material per
// combination of material and textures that a mesh's faces use, and a keyframer node per written
// node that carries its hierarchy and its tracks sampled at 30 frames per second. Nodes without a
// written attribute become "$$$DUMMY" objects in the keyframer so that the hierarchy survives.
//
// The writer fills records of the 3DS toolkit and lets the toolkit build and save the chunk tree;
// the file goes through the toolkit's safe output, so a failed Write leaves the target untouched.
//
// The writer changes the scene it is given: nodes and materials take their 3DS names (at most 10
// and 16 characters, unique), NURBS surfaces and patches become triangle meshes, meshes with UVs
// by polygon vertex are unwelded, and a textured mesh without material gains a "Default"
// material.
//
// The toolkit's state is process-wide: one Write runs at a time.
class VOxaWriter3DS : public VOxaWriter {
public:
    explicit VOxaWriter3DS(VOxaSdkManager* manager);
    ~VOxaWriter3DS() override;

    // Clears the toolkit's errors and opens the file for writing through the toolkit. True when a
    // name was given; an open that failed is found by the first toolkit step of Write.
    bool FileCreate(const char* path) override;
    // Nothing to do: Write saves and closes the file.
    bool FileClose() override;
    bool IsFileOpen() override;
    // A new VStreamOptions3ds (after Reset) owned by the caller.
    VStreamOptions* GetWriteOptions() override;
    // Writes the scene; true when the file was saved. Options of another class (or none) set
    // error 4 and the writer goes on with its current flags.
    bool Write(VOxaScene* scene, VStreamOptions* options) override;

    // --- Steps and builders, public so that tests can drive them -----------------------------
    // Reads the flags, makes the database and settings record, renames nodes and materials and
    // finds the animation interval. False on a toolkit failure.
    bool Prepare(VStreamOptions* options);
    // The scene walk from `node` (each node before its children, iteratively).
    void WriteNode(VOxaNode* node);
    // Saves the database, releases the records and closes the file; true when all succeeded.
    bool Save();

    // A mesh record for the node's mesh, or null (no mesh, no polygons, too large).
    Ftk::Mesh* BuildMeshObject(VOxaMesh* mesh, const VgeTVector& translation, const VgeTVector& rotation,
                               const VgeTVector& scaling, const char* name);
    // True when the mesh's UVs are written (texture mapping on and the mesh holds UVs).
    bool WritesUVs(const VOxaMesh* mesh) const;
    // The parts of a mesh beyond the 3DS limits (kMaxMeshItems points or faces): new meshes
    // (made by the manager, the caller destroys them) of runs of its polygons, each within the
    // limits, with the points, normals, UVs, materials and textures of layer 0 they use. Empty
    // when the mesh fits.
    std::vector<VOxaMesh*> SplitMesh(VOxaMesh* mesh);
    // The material record of a face combination; t1 and t2 equal to the texture count stand for
    // no texture. The first record of a material takes its own name; a material that needs
    // another record (other maps, or none) gets a generated name for it, with a message.
    // Without a mesh, the record of `unused`, a material no face uses, without maps.
    Ftk::Material* BuildMaterial(VOxaMesh* mesh, int m, int t1, int t2, VOxaMaterial* unused = nullptr);
    // Puts the scene's materials that no written face uses.
    void PutUnusedMaterials(VOxaScene* scene);
    // Gives a map the name of its image beside the output (`givenName`), or a short one of at
    // most 12 characters when that is longer, with a message.
    void NameMap(Ftk::MaterialMap& map, const VOxaTexture* texture, const VString& givenName);
    // Names in the material's warning the MTL map options of the texture that a 3DS map cannot hold.
    void NoteMapOptions(const VOxaMaterial* material, const VOxaTexture* texture);
    // The name of the material record of a face combination: the record is built and put into
    // the database, except for a material with the same maps whose record this Write put already.
    std::string PutMaterial(VOxaMesh* mesh, int m, int t1, int t2);
    // A new mesh (made by the manager) with one control point per position and UV that its
    // polygon vertices use, UVs mapped by control point (those of swapped textures exchanged) and
    // normals kept per polygon vertex.
    VOxaMesh* WeldPolygonUVs(VOxaMesh* mesh);

    Ftk::Light* BuildOmniLight(const char* name, const VgeTVector& translation, VOxaLight* light);
    Ftk::Light* BuildSpotLight(const char* name, const VgeTVector& translation, const VgeTVector& rotation,
                               VOxaLight* light);
    // Also puts the camera's background colour into the database.
    Ftk::Camera* BuildCamera(const char* name, const VgeTVector& translation, VOxaCamera* camera);
    // Copies a texture file into the output file's directory unless a file of its name is there;
    // true when it is there after the call. The file is found from `sourceFolder` (the folder of
    // the file that named it, null for none) and copied only from inside it or a folder the
    // options of the last Write allow. Failures append their message to the message text.
    bool CopyTextureFile(const char* path, const char* sourceFolder = nullptr, VString* givenName = nullptr);

    Ftk::ObjectMotion* MakeObjectMotion(VOxaNode* node);
    Ftk::OmniLightMotion* MakeOmniLightMotion(VOxaNode* node);
    Ftk::SpotlightMotion* MakeSpotLightMotion(VOxaNode* node);
    Ftk::CameraMotion* MakeCameraMotion(VOxaNode* node);

    // The solid background and the fog into the database (after the scene walk).
    void PutSceneValues(VOxaScene* scene);

    // Frames `first` to `first + count - 1` at 30 frames per second: the frames a node's tracks
    // are sampled at where its keys cannot be written as they are.
    struct Frames {
        int32_t first = 0;
        uint32_t count = 1;
        int32_t Frame(uint32_t k) const { return first + (int32_t)k; }
        VTime Time(uint32_t k) const { return VTime::GetOneFrameValue(6) * ((int64_t)first + k); }
    };
    // A node's frames: with animation, those of the take's span where the node's current take
    // has keys (one frame, the span's first, where it has none there); else
    // frame 0 alone.
    Frames GetFrames(VOxaNode* node, bool animated);
    // Whether a key at each of `frames` stays within kMaxFrames; else the write is refused with
    // the reason (RefuseFrames).
    bool FramesFit(const Frames& frames);
    void RefuseFrames(const Frames& frames);
    // Refuses the write, naming the node and the frame, when a key of the tracks holds a value or
    // spline parameter that is no finite number (a curve's NaN tension plays NaN everywhere).
    void RefuseNonFinite(VOxaNode* node, std::initializer_list<const Ftk::Track*> tracks);
    // The hide track of a node whose visibility is animated: a key at each frame where the node
    // turns hidden or shown (at its curve's keys, or at every frame of `frames` where the curve
    // does not step). Nothing for a node without visibility keys.
    void SampleHideTrack(Ftk::Track& track, VOxaNode* node, const Frames& frames);
    // A read file's morph keys (names of objects renamed in the file follow them) and its
    // ambient node, as the 3DS reader kept them.
    void PutKeptMorphKeys(Ftk::ObjectMotion& motion, VOxaNode* node);
    void PutKeptAmbientNode(VOxaNode* root);

    // --- Conversions shared by the builders ---------------------------------------------------
    // Y-up scene axes to Z-up 3DS axes.
    static VgeTVector ConvertPosition(const VgeTVector& p);
    static VgeTVector ConvertScaling(const VgeTVector& s);
    // XYZ Euler degrees to the same rotation expressed in the 3DS axes, through a quaternion.
    static VgeTVector ConvertRotation(const VgeTVector& r);
    // The quaternion (w, x, y, z) of the 3x3 part of a rotation matrix (row-vector form).
    static void MatrixToQuaternion(const double m[4][4], double q[4]);

    // One input of a sampled track: a curve with keys, or a constant (the default value that a
    // one-key curve would hold).
    struct Channel {
        const VFCurve* mCurve = nullptr;
        double mValue = 0.0;
        int mLastIndex = 0;
        double At(VTime time);
    };
    // The rotation keys a read file held for the node (kept by the 3DS reader), whole, when the
    // node's rotation curves are those the reader made from them or turn as those keys do at
    // each of `frames`; false (the track untouched) otherwise. Without animation only a single
    // kept key is written.
    bool PutKeptRotationKeys(Ftk::Track& track, VOxaNode* node, Channel& x, Channel& y, Channel& z,
                             const Frames& frames, bool animated = true);
    // The tracks of `frames`, flags 7. Where the curves' keys lie on frames and 3DS keys there
    // (those within the frames and the nearest on either side; tension, continuity and bias from
    // the curve's keys, continuity -1 for linear ones) play back as the curves at every frame,
    // those keys are written; otherwise a key at each frame, spline values 0. `everyFrame` asks
    // for the latter always. False (the track untouched) when that takes more than kMaxFrames keys.
    //
    // `kept` names a read file's keys of the track kept on a node (by the 3DS reader): they are
    // written whole, spline values and all, while the 3DS spline through them gives the channels'
    // values at the frames checked (every frame of short segments, 16 spread over longer ones);
    // without animation only a single kept key is.
    // (Value-initialised, `KeptTrack{}`, it names none.)
    struct KeptTrack {
        const VOxaNode* node;
        const char* property;
        bool animated;
    };
    static bool SamplePositionTrack(Ftk::Track& track, Channel& x, Channel& y, Channel& z,
                                    const Frames& frames, const KeptTrack& kept = KeptTrack{});
    static bool SampleRotationTrack(Ftk::Track& track, Channel& x, Channel& y, Channel& z,
                                    const Frames& frames);
    static bool SampleScaleTrack(Ftk::Track& track, Channel& x, Channel& y, Channel& z, const Frames& frames,
                                 const KeptTrack& kept = KeptTrack{});
    static bool SampleVectorTrack(Ftk::Track& track, Channel& a, Channel& b, Channel& c, const Frames& frames,
                                  const KeptTrack& kept = KeptTrack{});
    static bool SampleScalarTrack(Ftk::Track& track, Channel& a, const Frames& frames,
                                  bool everyFrame = false, const KeptTrack& kept = KeptTrack{});

    // The most keys a track gets: a curve that needs a key at more frames is refused.
    static constexpr uint32_t kMaxFrames = 1u << 20;
    // The 3DS fields that hold counts and indexes are 16-bit.
    static constexpr int kMaxMeshItems = 65535;
    // Object and node names of 3DS.
    static constexpr size_t kMaxNameLength = 10;
    // Material names (the public files hold 16 characters, and their readers take them).
    static constexpr size_t kMaxMaterialNameLength = 16;

    // --- Options and state (tests read them) --------------------------------------------------
    bool mTextureMapping = true;
    bool mMaterials = true;
    bool mAnimation = true;
    bool mGeometries = true;
    bool mLights = true;
    bool mCameras = true;
    bool mAmbientLight = true;
    bool mUVPerPolygon = false;
    bool mCreateReferenceNode = false;
    bool mRescale = true;
    double mUnitFactor = 1.0;
    // File lengths per scene length: the inverse of a read file's unit for a scene that keeps
    // one (written in that file's units under its master scale, kept in mFileMasterScale), else 1.
    double mFileScale = 1.0;
    bool mFileUnits = false;
    float mFileMasterScale = 1.0f;
    VTime mAnimationStart;
    VTime mAnimationStop;
    // The frames of the take's span (its local and reference spans together); without a take
    // span, frame 0 on.
    int64_t mSpanFirst = 0;
    int64_t mSpanLast = INT64_MAX;
    bool mAnimationExported = true;
    int32_t mMeshCounter = 0;

    Ftk::Database* GetDatabase() const { return mDatabase; }
    Ftk::MeshSettings* GetSettings() const { return mSettings; }
    const VString& GetOutputPath() const { return mOutputPath; }

private:
    // Gives a material its 3DS name: its own when it has at most 16 characters and no material
    // before it has it, else a cut or numbered one that no other has, with a warning naming both.
    void GiveMaterialName(VOxaMaterial* material);
    // Write's work; Write gives every object renamed for the file its own name back.
    bool WriteScene(VOxaScene* scene, VStreamOptions* options);
    // Names `object` for the file, noting its own name first.
    void Rename(VOxaObject* object, const char* name);
    // Gives every node that can be written its 3DS name: its own when it has at most 10
    // characters and no node before it has it, else a cut or numbered one that no other node has,
    // with a warning naming both.
    void GiveNodeNames();
    // The name of part `number` (2, 3, ...) of a split mesh: "Name_2" cut to fit, one that no node
    // of this Write has.
    std::string PartName(const std::string& name, size_t number);
    // A material name of at most 16 characters no other material of this Write has.
    std::string UniqueMaterialName(const std::string& wanted);
    // The material "Default" of this Write, made on first use.
    VOxaMaterial* GetDefaultMaterial();
    // Name, parent or target field text of a node ("" for none).
    std::string ParentField(VOxaNode* parent, bool objectRecord);
    // Puts the records of one node into the database.
    void WriteOneNode(VOxaNode* node);
    // A node's mesh (not split) as its object record would be written, or null; with
    // `localPoints`, the points it holds in the node's own space (mirror applied) go there.
    Ftk::Mesh* BuildNodeRecord(VOxaNode* node, std::vector<double>* localPoints);
    // Decides for a group of nodes named "X" and "X.instance" whose meshes hold the same
    // object (as the 3DS reader names the nodes of one object) which are written as instance
    // nodes of X's object, and puts X's object. The others get their names for the file.
    void DecideInstances(size_t group);
    // Says that `node` (shown as `shown`) is written as `written`, with the object written under
    // its name.
    void SayRenamed(VOxaNode* node, const std::string& shown, const std::string& written);
    // Gives a node whose name was held back for an instance its 3DS name, as GiveNodeNames would.
    void NameNodeLate(VOxaNode* node);
    // Whether `records` more keyframer nodes fit the 16-bit node numbers (65,535 is "none"); an
    // object past them keeps its mesh or record but gets no node, and is counted.
    bool TakeNodeRecords(int records);
    // Notes the look-at targets of the cameras and spotlights this Write puts out: their
    // positions go into the target tracks, not into dummy objects.
    void CollectTargetNodes();
    // The Save steps after a failure: everything released, the target left as it was.
    void Abandon();

    Ftk::File* mOutputFile = nullptr;
    Ftk::Database* mDatabase = nullptr;
    Ftk::MeshSettings* mSettings = nullptr;
    VOxaScene* mScene = nullptr;
    VOxaNode* mRootNode = nullptr;
    VString mOutputPath;
    VOxaMaterial* mDefaultMaterial = nullptr;
    // Names of scene materials (after renaming) and of generated materials of this Write.
    std::unordered_set<std::string> mMaterialNames;
    // Objects renamed for the file, each with its own name, in the order first renamed.
    std::vector<std::pair<VOxaObject*, VString>> mRenamed;
    std::unordered_set<VOxaObject*> mRenamedObjects;
    // Names the file had for objects renamed in this file, and their written names.
    std::unordered_map<std::string, std::string> mMorphNames;
    // Names given to material records in this Write.
    std::unordered_set<std::string> mRecordNames;
    // The renaming of materials, kept for the "Default" material made during the walk.
    uint32_t mFallbackCounter = 0;
    // The record name of each scene material with the maps it was written with in this Write
    // (none for no map): meshes that share a material and its maps share its record, built and
    // put once.
    std::map<std::tuple<const VOxaMaterial*, const VOxaTexture*, const VOxaTexture*>, std::string> mRecords;
    // Map names given to images that could not be copied (by the image's name), and all names
    // given to maps in this Write, so that no two images share one.
    std::unordered_map<std::string, std::string> mUncopiedMapNames;
    std::unordered_set<std::string> mMapNames;
    // A mesh that cannot be written refused the Write: the walk stops and no file is left.
    bool mRefused = false;
    int mNodeRecords = 0;   // keyframer nodes written so far
    int mNodesLeftOut = 0;  // objects past the node numbers, written without a node
    // The background colour of the last camera written, when one was.
    VOxaColor mBackgroundColor;
    bool mCameraBackground = false;
    std::unordered_set<VOxaNode*> mTargetNodes;
    // The node names of this Write, for the names of mesh parts.
    std::unordered_set<std::string> mNodeNames;
    // Mesh nodes that may share one mesh object: the node named X and those named "X.instance".
    // A node of a group is decided when the walk first meets one of the group.
    struct InstanceGroup {
        VOxaNode* mOwner = nullptr;
        struct Member {
            VOxaNode* mNode;
            std::string mInstance;  // the instance name
            bool mHeld;             // its name for the file is yet to be given
        };
        std::vector<Member> mMembers;
        bool mDecided = false;
    };
    std::vector<InstanceGroup> mInstanceGroups;
    std::unordered_map<VOxaNode*, size_t> mInstanceGroupOf;
    // Nodes written as instance nodes, with their instance names (their object is their group's
    // owner's), and owners whose object was put when their group was decided.
    std::unordered_map<VOxaNode*, std::string> mInstanceOf;
    std::unordered_set<VOxaNode*> mObjectPut;
    // The points of the mesh BuildMeshObject built last, in the node's own space, when asked.
    std::vector<double>* mLocalPoints = nullptr;
    // Set while BuildMeshObject builds the object of a mesh a file read stored (unchanged since):
    // it is stored there again.
    const Stored3dsMesh* mStoredMesh = nullptr;
    // The points a file read stored for the mesh being built, while it holds them unchanged.
    const std::vector<float>* mStoredPoints = nullptr;
    const std::vector<uint16_t>* mStoredFlags = nullptr;
    // The pivots (file axes and units) of the nodes whose objects are stored so.
    std::unordered_map<const VOxaNode*, Ftk::Point3> mStoredPivots;
    // Whether the node's object is written as the file read stored it (sets `stored`).
    bool StoredPlacement(VOxaNode* node, const VOxaMesh* mesh, bool withoutNode, Stored3dsMesh& stored);
    // Puts the lengths of a record into the file's units.
    void ToFileUnits(Ftk::ObjectMotion& motion, const VOxaNode* node);
    void ToFileUnits(Ftk::Track& positions);
    void ToFileUnits(Ftk::Point3& point);
    void ToFileUnits(float& length);
    void LightToFileUnits(Ftk::Light& record);
    VOxaTextureCopier mTextureCopier;
    // Material values a 3DS file cannot hold, named once per material at the end of a Write.
    voxa_extras::UnheldValues mUnheld;
};

// The exporter's factory for the "3ds" row: a new writer owned by the caller.
VOxaWriter* CreateWriter3DS(VOxaSdkManager* manager);

#endif  // OXA_FORMATS_GEOMETRY_3DS_VOXA_WRITER_3DS_H
