#ifndef OXA_FORMATS_GEOMETRY_OBJ_VOXA_READER_OBJ_H
#define OXA_FORMATS_GEOMETRY_OBJ_VOXA_READER_OBJ_H

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/base/vge_vector.h>
#include <oxa/base/vstring.h>
#include <oxa/formats/geometry/obj/voxa_obj_chunks.h>
#include <oxa/formats/geometry/obj/voxa_obj_mtllib.h>
#include <oxa/formats/geometry/obj/voxa_obj_text.h>
#include <oxa/oxa_codec/voxa_reader.h>
#include <oxa/scene/voxa_renaming_strategy.h>

class VOxaMaterial;
class VOxaMesh;
class VOxaNode;
class VOxaNurb;
class VOxaTexture;

namespace voxa_obj {
class VLineSource;
}

// Reads a text OBJ file, with the MTL material libraries it names, into a scene. Each group of
// faces, and each object ("o"; a group inside an object stays within it), becomes one node with
// one mesh (below a reference node named after the file when the
// option "Create Reference Node" is 1); rational B-spline surfaces become NURBS nodes below the
// scene's root; materials, their colour texture and their other image maps (with their
// options) come from the MTL files, wherever the "mtllib" lines stand. Free-form curves and
// unknown keywords are skipped and reported in the message text.
//
// Lines of any length are read, with "\n", "\r\n" or "\r" ends and backslash continuation; every
// index is checked against what was read so far. The file is streamed, not loaded whole.
class VOxaReaderObj : public VOxaReader {
public:
    explicit VOxaReaderObj(VOxaSdkManager* manager);
    ~VOxaReaderObj() override;

    // Closes an open file first. Failure: error 3, false.
    bool FileOpen(const char* path) override;
    bool FileClose() override;
    bool IsFileOpen() override;
    // A new VStreamOptionsObj owned by the caller.
    VStreamOptions* GetReadOptions() override;
    // Null or foreign options: error 6, false. No open file: error 3, false. UTF-16 text:
    // error 0, false. A malformed "v", "vn", "vt" or "vp" line, a face index of 0 or past what
    // was read so far, or a "surf" before a supported "cstype": error 0 naming the line, false,
    // nothing built from the groups. Each Read starts from empty tables.
    bool Read(VOxaScene* scene, VStreamOptions* options) override;

    // 1..count gives i - 1; -count..-1 counts back from the end (count + i); else -1.
    static int ResolveIndex(int i, int count);
    // Cuts a corner "v", "v/t", "v//n" or "v/t/n" into its numbers (missing ones 0). False when
    // v is 0 or a number does not fit an int.
    static bool ParseFaceCorner(std::string_view text, int& v, int& t, int& n);

    // What the last Read found (for tests and tools).
    int GetVertexCount() const { return mVertexCount; }
    int GetUVCount() const { return mUVCount; }
    int GetNormalCount() const { return mNormalCount; }

private:
    struct Corner {
        int mVertex;
        int mUV;
        int mNormal;
    };
    struct Polygon {
        int mFirst;  // first corner in the container's corner array
        int mCount;
        int mSmoothing;
        int mMaterial;  // slot in mMaterials, -1 none
        bool mHasNormals;
        bool mHasUVs;
    };
    // The faces of one group, in blocks: the mesh build frees them as it goes.
    struct Container {
        VString mName;  // the first spelling met
        voxa_obj::VChunkedArray<Polygon> mPolygons;
        voxa_obj::VChunkedArray<Corner> mCorners;
        bool mAllNormals = true;
        bool mAllUVs = true;
        bool mSomeUVs = false;
        bool mSomeTexture = false;
        // The vertices no element names that stand in this group: kept as points of its mesh.
        std::vector<int> mLoose;
    };
    // The "v" lines that stand between one "g" or "o" line and the next, from mFirst on.
    struct VertexRun {
        int mFirst;
        int mObject;
        std::string mGroup;
    };
    struct MaterialSlot {
        VString mName;
        VOxaMaterial* mMaterial;
        VOxaTexture* mTexture;
        // Found in a library: a "usemtl" may come before the "mtllib" that defines it.
        bool mResolved;
    };
    // The map lines of a record: the colour map ("map_Kd") and one per material map role.
    static constexpr int kDiffuseMap = 7;  // after the material's map roles
    static constexpr int kMapCount = kDiffuseMap + 1;
    // One "newmtl" record of an MTL file.
    struct MtlRecord {
        std::string mName;
        double mColor[4][3] = {};  // Ka, Kd, Ks, Ke
        bool mHasColor[4] = {false, false, false, false};
        int mIllum = 2;
        bool mHasNs = false;
        double mNs = 0.0;
        // "d" is the opacity (dissolve), "Tr" the transparency, 1 - opacity; "d" wins.
        bool mHasDissolve = false;
        double mDissolve = 1.0;
        bool mHasTransparency = false;
        double mTransparency = 0.0;
        bool mHasMap[kMapCount] = {};
        voxa_obj::MapLine mMaps[kMapCount];
        // The statements the material holds in no field of its own: the index of the keyword in
        // voxa_obj::kKeptStatements and the rest of its line, the last one of each keyword.
        std::vector<std::pair<int, std::string>> mKept;
    };
    struct MtlLibrary {
        std::string mPath;
        std::vector<MtlRecord> mRecords;
        std::unordered_map<std::string, int> mFirst;  // name -> first record
    };
    struct Surface {
        int mType = 0;
        bool mRational = false;
        int mUDegree = 0;
        int mVDegree = 0;
        int mMaterial = -1;
        double mS0 = 0.0, mS1 = 0.0, mT0 = 0.0, mT1 = 0.0;
        std::vector<int> mControlPoints;
        std::vector<double> mUParameters;
        std::vector<double> mVParameters;
    };

    void Clear();
    // Reads the next logical line; false at the end of the input.
    bool ReadLine(voxa_obj::VLineSource& source, std::string_view& keyword, std::string_view& rest);
    bool LoadMaterialLibrary(std::string_view rest);
    bool ParseMaterialFile(std::FILE* file, MtlLibrary& library);
    // Fills the slot's material (and colour texture) from the first library that defines it;
    // false, nothing changed, when none does (yet).
    bool ResolveMaterial(MaterialSlot& slot);
    // A texture for the map line, its image found from the folder of the library `from`.
    VOxaTexture* MakeMapTexture(const char* name, const voxa_obj::MapLine& map, const MtlLibrary& from,
                                bool bump = false);
    // Adds the corners of a face line to the container. False, with `error` saying why, when a
    // corner names no vertex, an index 0, or one past what was read so far (vertices, texture
    // coordinates, normals); the caller then removes what was added and refuses the file.
    bool ParseFace(Container& container, std::string_view rest, std::string& error);
    bool ComputeMissingNormals(Container& container, const std::vector<int>& order);
    // Marks the vertices that the words of an element line from word `skip` on name.
    void MarkReferenced(std::string_view rest, int skip);
    // Gives each vertex that no element names to the group it stands in.
    void GatherLooseVertices();
    // The group's mesh; the group's faces are freed on the way. With `last`, no other group is
    // built after it: the vertices, UVs and normals read are freed as soon as the mesh has them.
    VOxaMesh* BuildGroupMesh(Container& container, bool last);
    void ParseSurface(Surface& surface, std::string_view rest);
    void ParseSurfaceParameters(Surface& surface, std::string_view rest);
    VOxaNurb* BuildNurbs(const Surface& surface);
    bool BuildScene(VOxaScene* scene);
    // The container of a group of the object numbered `object`, made when missing (names
    // compare without regard to case).
    // Groups whose names differ (in case, or a blank against '_') stay apart: the later one is
    // numbered, with a warning.
    int FindOrAddGroup(const std::string& name, int object);
    void Warn(const char* text) { mWarnings += text; }

    std::FILE* mFile = nullptr;
    VString mObjPath;
    bool mCreateReferenceNode = true;
    VNumberRenamingStrategy mNodeRenaming;
    bool mNormalsSeen = false;
    bool mMtllibSeen = false;
    bool mTexturedMaterialSeen = false;
    bool mUVsSeen = false;

    std::vector<std::unique_ptr<Container>> mGroups;
    // "<object>:<name as read>" -> group.
    voxa_obj::VTextTable mGroupIndex;
    // The node names the groups get, apart in any case, and, by lower-case node name, the entry
    // of mGroupIndex whose name as read first gave it.
    voxa_obj::VNameSet mGroupNames{true};
    voxa_obj::VTextTable mGroupSpelling;
    std::vector<MaterialSlot> mMaterials;
    std::unordered_map<std::string, int> mMaterialIndex;  // name -> first slot
    std::vector<MtlLibrary> mLibraries;
    std::vector<VgeTVector> mVertices;
    std::vector<VertexRun> mVertexRuns;
    // Per vertex, named by an element (a face kept, a line, a point, a curve, a surface).
    std::vector<char> mReferenced;
    std::vector<VgeVector2> mUVs;
    // The third coordinate of each UV, in step with mUVs once a "vt" line gave one (NaN: none);
    // empty before that.
    std::vector<double> mUVWs;
    std::vector<VgeTVector> mNormals;
    // Per vertex, UV and normal read, its number in the mesh being built (-1: none yet); one
    // block each for the whole build, cleared group by group.
    std::vector<int> mPointNumbers, mUVNumbers, mNormalNumbers;
    int mParameterVertexCount = 0;
    // The counts of the vertices, UVs and normals read (the arrays are freed by the build).
    int mVertexCount = 0, mUVCount = 0, mNormalCount = 0;
    std::string mWarnings;
    // Lines joined by backslash continuation, and their keyword.
    std::string mLineBuffer;
    std::string mKeywordBuffer;
};

// The importer's factory for the "obj" row: a new reader owned by the caller.
VOxaReader* CreateObjReader(VOxaSdkManager* manager);

#endif  // OXA_FORMATS_GEOMETRY_OBJ_VOXA_READER_OBJ_H
