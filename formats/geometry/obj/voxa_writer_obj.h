#ifndef OXA_FORMATS_GEOMETRY_OBJ_VOXA_WRITER_OBJ_H
#define OXA_FORMATS_GEOMETRY_OBJ_VOXA_WRITER_OBJ_H

#include <string>
#include <unordered_map>
#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/base/vsafe_output_file.h>
#include <oxa/base/vstring.h>
#include <oxa/formats/geometry/obj/voxa_obj_text.h>
#include <oxa/formats/geometry/voxa_geometry_write.h>
#include <oxa/formats/geometry/voxa_material_extras.h>
#include <oxa/oxa_codec/voxa_writer.h>

class VOxaMaterial;
class VOxaMesh;
class VOxaNode;
class VOxaTexture;

// Writes the meshes of a scene into an OBJ file with a companion MTL material file beside it and
// copies of the texture images of its maps (colour and the material's other maps) next to both.
// One group per mesh node, its vertices in world space at the default values, texture
// coordinates, normals, material switches and faces; cameras, lights, animation and the
// hierarchy are not written. Numbers are written in the fewest digits that read back as the
// value held; a corner whose normal is zero takes its polygon's own normal. Each distinct normal
// is written once, the corners that hold it sharing its "vn"; meshes share the "v" and "vt"
// lines of points and UVs they hold alike.
//
// The writer leaves the scene it is given as it was: NURBS surfaces and patches (and meshes when
// triangulation is forced) are written from triangulated copies, and deformations work on copies
// of the points and normals.
//
// Both files go through VSafeOutputFile: the OBJ file reaches its name at FileClose, the MTL file
// at the end of Write, and neither is left half-written. Indices count over everything written
// since FileCreate, so several Writes into one file keep numbering.
class OXA_API VOxaWriterObj : public VOxaWriter {
public:
    explicit VOxaWriterObj(VOxaSdkManager* manager);
    ~VOxaWriterObj() override;

    // Closes an open file first; creates the missing directories of the path and starts the
    // file. Resets the vertex, UV and normal counters. Failure: error 1, false.
    bool FileCreate(const char* path) override;
    // Puts the written OBJ file in place; false when it was not open or any write failed.
    bool FileClose() override;
    bool IsFileOpen() override;
    // A new VStreamOptionsObj owned by the caller.
    VStreamOptions* GetWriteOptions() override;
    // Null or foreign options: error 4, false. No open file: error 1, false. No root node:
    // false. A write error on either file: error 3, false.
    bool Write(VOxaScene* scene, VStreamOptions* options) override;

    // --- The steps of Write, public so that tests can drive them -----------------------------
    // Triangulates what must be, and finds out whether an MTL file is needed.
    void PrepareNodes(VOxaNode* root);
    // Opens the MTL file beside the OBJ file and sets the name written after "mtllib".
    bool OpenMaterialFile();
    // The mesh pass over the subtree under node (each node before its children).
    void WriteNode(VOxaNode* node);
    // The index of the first entry for the pair, -1 when none.
    int FindMaterialEntry(VOxaMaterial* material, VOxaTexture* texture) const;
    // The MTL record of entry `index`.
    void WriteMaterial(int index);
    // Copies a texture image next to the OBJ file unless a file of that name is there; the image
    // is found from `sourceFolder` (the folder of the file that named it, null for none) and
    // copied only from inside it or a folder the options of the last Write allow.
    // Writes "keyword [options] file" for the texture, its image copied next to the OBJ file;
    // nothing for a texture without a file name.
    void AppendMapLine(std::string& out, const char* keyword, VOxaTexture* texture);
    bool CopyTextureFile(const char* sourcePath, const char* sourceFolder = nullptr,
                         VString* givenName = nullptr);
    // Ends the material part of a Write: entries dropped, MTL file put in place. False when the
    // MTL file had a write error.
    bool CloseMaterialFile();

    // The MTL path derived from an OBJ path: the file-name part in lower case, its blanks and
    // control characters made '_' (the name after "mtllib" is one word), with its first ".obj"
    // (any case) replaced by ".mtl", or ".mtl" appended when it holds none; the directory is
    // kept as given.
    static VString MakeMaterialPath(const char* objPath);

    // What the MTL name is now (the bare name after "mtllib" during a Write).
    const VString& GetMaterialName() const { return mMtlName; }
    int GetNextVertexIndex() const { return mNextVertex; }
    int GetNextUVIndex() const { return mNextUV; }
    int GetNextNormalIndex() const { return mNextNormal; }

private:
    struct MaterialEntry {
        VOxaMaterial* mMaterial;
        VOxaTexture* mTexture;
        VString mName;
    };
    struct PairHash {
        size_t operator()(const std::pair<const void*, const void*>& p) const {
            return std::hash<const void*>()(p.first) * 31u ^ std::hash<const void*>()(p.second);
        }
    };

    // Writes one mesh node.
    void WriteMesh(VOxaNode* node, VOxaMesh* mesh);
    // Emits "usemtl" for the pair, making its entry (and MTL record) when new.
    void UseMaterial(VOxaMaterial* material, VOxaTexture* texture);
    // Moves the OBJ text gathered so far into the file.
    void FlushObj();

    VSafeOutputFile mObjFile;
    VSafeOutputFile mMtlFile;
    VString mObjPath;
    VString mMtlName;
    bool mForceTriangulation = false;
    bool mEvaluateDeformations = true;
    bool mMtlNeeded = false;
    int mNextVertex = 1;
    int mNextUV = 1;
    // Each "vn" line gets its own number, so a mesh without normals before one with normals
    // does not make the later faces name the wrong lines.
    int mNextNormal = 1;
    VOxaMaterial* mDefaultMaterial = nullptr;
    std::vector<MaterialEntry> mEntries;
    // First entry per (material, texture) pair.
    std::unordered_map<std::pair<const void*, const void*>, int, PairHash> mEntryIndex;
    // Names written after "newmtl" in this Write, and after "g" since FileCreate.
    voxa_obj::VNameSet mMaterialNames{false};
    voxa_obj::VNameSet mGroupNames{true};
    // A mesh could not be written (a point that is not a finite number): the Write fails.
    bool mRefused = false;
    // The smoothing group the faces written last are in ("s"; 0 off): it holds on across groups.
    uint32_t mSmoothing = 0;
    // Where the meshes are placed: the start of the current take.
    VTime mStart;
    // One mesh's world positions and vertex numbers, kept to be reused by the next mesh.
    std::vector<VgeTVector> mWorld;
    // A mesh's deformed points and normals (the scene's own stay as they are).
    std::vector<VgeTVector> mDeformed;
    std::vector<VgeTVector> mDeformedNormals;
    VOxaWriteMeshes* mMeshes = nullptr;  // during Write: the mesh each node is written from
    std::vector<int> mVertexNumbers;
    std::vector<int> mNormalNumbers;
    std::vector<int> mOwnNormals;
    // Lines written in this Write, found by the bits of the three numbers they hold: open
    // addressing over the entries (the values, the line's number and the mesh that named it
    // last); -1 is an empty slot. The slots double when half full.
    struct WrittenValue {
        double mValue[3];
        int mNumber;
        int mMesh;
    };
    struct ValueTable {
        std::vector<WrittenValue> mEntries;
        std::vector<int> mSlots;
        void Clear();
        // The entry holding `value`, or -1 with `slot` where it would go.
        int Find(const double value[3], size_t& slot) const;
        void Add(size_t slot, const double value[3], int number, int mesh);
    };
    // The number of the line of a value for the mesh being written: the line written for the
    // value before, unless `once` and this mesh has named that line already; else a new line,
    // numbered `next` (counted on) and written by `append`.
    template <typename Append>
    int ShareLine(ValueTable& table, const double value[3], bool once, int& next, Append append);
    // Each distinct normal and each distinct UV gets one "vn" or "vt" line in a Write. A point
    // that faces use and that lies exactly where a point an earlier mesh's faces use does names
    // that "v" line (one point of a mesh per line, so the mesh keeps its points), as a file whose
    // groups share their vertices has them.
    ValueTable mWrittenNormals;
    ValueTable mWrittenPoints;
    ValueTable mWrittenUVs;
    int mMeshSerial = 0;
    // Points no face uses that are written as not numbers ("nan"), named in a warning.
    long long mNotNumbers = 0;
    std::vector<int> mUVNumbers;
    VOxaTextureCopier mTextureCopier;
    // Material values an MTL file cannot hold, named once per material at the end of a Write.
    voxa_extras::UnheldValues mUnheld;
    // OBJ text waiting to be written (flushed in large blocks).
    std::string mOut;
};

// The exporter's factory for the "obj" row: a new writer owned by the caller.
OXA_API VOxaWriter* CreateObjWriter(VOxaSdkManager* manager);

#endif  // OXA_FORMATS_GEOMETRY_OBJ_VOXA_WRITER_OBJ_H
