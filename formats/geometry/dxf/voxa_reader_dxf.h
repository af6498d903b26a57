// The DXF reader: polyface meshes, 3D polylines, 3DFACE and LINE entities become meshes on new
// nodes, DXF colour numbers become materials, layers that are off hide their nodes, and block
// references (INSERT) become child nodes placed by their own transform.
#ifndef OXA_FORMATS_GEOMETRY_DXF_VOXA_READER_DXF_H
#define OXA_FORMATS_GEOMETRY_DXF_VOXA_READER_DXF_H

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/base/vstring.h>
#include <oxa/base/vstring_pair_list.h>
#include <oxa/formats/geometry/dxf/voxa_dxf_file.h>
#include <oxa/formats/geometry/dxf/voxa_dxf_geometry_group.h>
#include <oxa/oxa_codec/voxa_reader.h>
#include <oxa/scene/voxa_renaming_strategy.h>

class VOxaColor;

// The values of a block reference: insertion point x, y, z, scale x, y, z, rotation in degrees,
// extrusion direction x, y, z.
constexpr int kDxfInsertSize = 10;

// A linear map of scene points (row-major; the identity when made).
struct OXA_API DxfLinear {
    double m[3][3] = {{1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}};
};
class VOxaMaterial;
class VOxaMesh;
class VOxaNode;

// Reads one DXF file (text form) into a scene. Call FileOpen (or OpenMemory), GetReadOptions,
// Read, FileClose.
//
// How entities gather into nodes follows the option "Layer~Block~Entity": one node per layer
// (named after the layer, in case-insensitive name order), the whole ENTITIES section as one node
// "ENTITIES", or one node per entity (POLYLINE, POLYLINE1, 3DFACE, LINE ...). Only POLYLINE,
// 3DFACE, SOLID, TRACE, LINE, MESH and INSERT are read; other entities and sections are passed
// over. A thickness sweeps a LINE into a quadrangle, a SOLID or TRACE into a closed prism and the
// segments of a 3D polyline into quadrangles, along the entity's extrusion direction. Layer names are
// compared without regard to case, block names byte for byte.
//
// The material counter, the material cache (one material per colour number), the layer table and
// the renaming of node names live as long as the reader: a second Read with the same reader reuses
// the materials of the first for equal colour numbers and keeps counting names.
class OXA_API VOxaReaderDxf : public VOxaReader {
public:
    // A block reference nested deeper than this is skipped with a warning.
    static constexpr int kMaxBlockDepth = 32;
    // Block instances one Read makes at most: a quarter of the file's size in bytes, at least
    // kMinBlockInstances and at most kMaxBlockInstances. A file whose INSERTs would make more, or
    // read more groups through them than 16 times its size in bytes (at least kMinBlockGroups,
    // and at most 2^22 or half its size, whichever is more), is refused before anything is read.
    static constexpr int kMaxBlockInstances = 1 << 16;
    static constexpr int kMinBlockInstances = 1 << 10;
    static constexpr int64_t kMinBlockGroups = 1 << 16;

    explicit VOxaReaderDxf(VOxaSdkManager* manager);
    ~VOxaReaderDxf() override;

    // Opens the file (closing what was open). False, with "File not opened", when it cannot be
    // opened.
    bool FileOpen(const char* path) override;
    // Reads `size` bytes at `data` as a DXF file named `path` (the name gives the reference node
    // its name); the bytes must outlive the reading.
    bool OpenMemory(const void* data, size_t size, const char* path = "memory.dxf");
    bool FileClose() override;
    bool IsFileOpen() override;
    // A new VStreamOptionsDxf that the caller owns.
    VStreamOptions* GetReadOptions() override;

    // Reads the open file into the scene. False with "File not opened" without a file, with
    // "Stream options not set" without DXF options; false when the file ends before the entities
    // have been read ("File is corrupted: line N: the file ends inside its ENTITIES section", or
    // the section it ends in; nodes built until then stay in the scene), or at a line longer than
    // the format's longest value ("File is corrupted: line N is longer than 2049 bytes"). A file
    // without an ENTITIES section before its "EOF" gives true and no geometry. Names are read in
    // the file's code page (UTF-8 from version AC1021 on); a polyface face record naming a vertex
    // its polyline does not have is dropped with a warning.
    bool Read(VOxaScene* scene, VStreamOptions* options) override;

    // One group from the current position (see VDxfGroupReader::ReadGroup).
    bool ReadGroup(int& code, char* value);

    // Colour number to RGB (see DxfAciToColor).
    static void AciToColor(int number, VOxaColor& color) { DxfAciToColor(number, color); }

    // The name the group just read holds (its whole value line, blanks inside kept) in UTF-8,
    // into `to` (room for kDxfLineSize bytes).
    void TakeName(char* to, const char* value) { DxfNameToUtf8(mFile.ValueLine(value), mCodePage, to); }

    int GetGroupingMode() const { return mGroupingMode; }
    int GetMaterialCounter() const { return mMaterialCounter; }
    // The material made for a colour number (1 to 255), null when none yet.
    VOxaMaterial* GetCachedMaterial(int number) const {
        return number >= 0 && number < 256 ? mMaterialCache[number] : nullptr;
    }
    // The colour number the layer table gives a layer (negative when the layer is off), 0 when
    // the layer is not in the table.
    int GetLayerColor(const char* layer);

protected:
    // Where entity readers put what they read in the layer and block modes: the group of a layer.
    class IGroupSource {
    public:
        virtual ~IGroupSource() = default;
        virtual DxfGeometryGroup* GroupFor(const char* layer) = 0;
    };
    // The single group of the block mode: every layer reads into it.
    class SingleGroup : public IGroupSource {
    public:
        explicit SingleGroup(DxfGeometryGroup& group) : mGroup(group) {}
        DxfGeometryGroup* GroupFor(const char*) override { return &mGroup; }

    private:
        DxfGeometryGroup& mGroup;
    };
    class LayerGroups;

    // The LAYER table: name and colour of each entry (other tables are passed over).
    bool ReadTables();
    // The walkers of the three grouping modes, each from the current position to "ENDSEC" or
    // "ENDBLK".
    bool ReadEntitiesByLayer(VOxaNode* parent);
    bool ReadEntitiesByEntity(VOxaNode* parent);
    bool ReadEntitiesAsBlock(VOxaNode* parent);

    // Entity mode: one mesh per entity (null when it gives none).
    VOxaMesh* ReadPolylineMesh();
    // A 3DFACE, or with `solid` a SOLID or TRACE (corners 1, 2, 4, 3 around its outline).
    VOxaMesh* Read3DFaceMesh(bool solid = false);
    VOxaMesh* ReadLineMesh();
    // A MESH: its base cage (the vertices and faces before any subdivision).
    VOxaMesh* ReadMeshMesh();
    // A LINE, SOLID or TRACE with a thickness, read again from `start` as the other modes read it.
    VOxaMesh* ReadThickMesh(int64_t start, bool line);
    // Layer and block modes: the entity into the group its layer names.
    void ReadPolylineIntoGroup(IGroupSource& groups);
    void Read3DFaceIntoGroup(IGroupSource& groups, bool solid = false);
    void ReadLineIntoGroup(IGroupSource& groups);
    void ReadMeshIntoGroup(IGroupSource& groups);
    // An extrusion direction read from the file (its first group at `at`, -1 when none was
    // given): true when it is one; otherwise a warning with its value and line, and (0, 0, 1) in
    // its place.
    bool CheckExtrusion(double extrusion[3], int64_t at, const char* kind);
    // The offset in scene axes that a thickness gives along a (checked) extrusion direction; false
    // for no thickness, and with a warning for one that gives no finite offset.
    bool Thickness(double thickness, const double extrusion[3], VgeTVector& offset);
    // A POLYLINE's header groups up to the code 0 that ends them (left in `code`, `value`); false
    // when the file ends.
    struct PolylineHeader;
    bool ReadPolylineHeader(PolylineHeader& header, int& code, char* value);
    // The VERTEX records after the header (when `value` is "VERTEX") into the group, and the faces
    // they make: a polyface mesh's records, a 3D polyline's segments, a polygon mesh's quadrangles.
    void ReadPolylineVertices(DxfGeometryGroup& group, const PolylineHeader& header, int colour,
                              const char* value);
    // One VERTEX after its "0"/"VERTEX" group; true when another VERTEX follows. With
    // `polygonMesh`, a vertex of flag 64 is a point of the mesh.
    bool ReadVertex(DxfGeometryGroup& group, int base, int colour, const PolylineHeader& header);
    // A mesh from a group; null when the manager makes none or a face record is malformed.
    VOxaMesh* BuildMesh(DxfGeometryGroup& group);

    // Blocks and block references. `outer`, when not null, is the linear part of the placement of
    // an enclosing instance that flattens its block: it goes into the points (see ReadBlock).
    bool ReadBlock(VOxaNode* parent, const char* name, const double insert[kDxfInsertSize], bool topLevel,
                   const VgeTVector& basePoint, const DxfLinear* outer);
    // An INSERT, after its "0"/"INSERT" group: one instance of its block, or with columns and
    // rows (a MINSERT) one per place of its grid.
    bool ReadInsert(VOxaNode* parent, const VgeTVector& enclosingBase, const DxfLinear* outer = nullptr);
    // One instance of the block `name` placed by `insert` (its point in world coordinates); false
    // when no further instance of the reference is to be read (the block is missing, refers to
    // itself, is nested too deeply, or the bound of instances is reached).
    bool ReadInstance(VOxaNode* parent, const char* name, const double insert[kDxfInsertSize],
                      const VgeTVector& enclosingBase, const DxfLinear* outer);
    bool FindBlock(const char* name);
    // Finds the BLOCKS section (from the current place when none came before) and indexes its
    // blocks; false when the file has none.
    bool EnsureBlockIndex();
    // Works out, from the current place in the ENTITIES section, how many block instances its
    // INSERTs would make and how many groups they would read; false, with the error set, when
    // that passes kMaxBlockInstances or the group bound. The place is kept.
    bool CheckBlockReferences();
    bool ReadBlockHeader(double& x, double& y, double& z);

    // The colour of an entity: its own 24-bit colour (group 420, -1 without one) as
    // kDxfTrueColour + 0xRRGGBB, else its own number, else (0, 256 or none) its layer's absolute
    // number; 0 (no material) for anything else outside 1 to 255.
    int ResolveColour(int own, const char* layer, int trueColour = -1);
    // The material of a colour number (1 to 255) or a 24-bit colour (as ResolveColour gives it),
    // made on first use.
    VOxaMaterial* GetColourMaterial(int number);
    // Drops cached materials that the manager no longer holds.
    void ValidateMaterialCache();
    // A node name made unique for the life of the reader.
    VString UniqueName(const char* name);
    // Sets "File is corrupted: line N: " and `what` (N the file's last line; "the file is
    // empty" for an empty file) and answers false.
    bool Corrupted(const char* what);
    // Counts an entity of a kind that is not read; ReportSkipped warns once per kind with its count.
    void Skipped(const char* kind);
    void ReportSkipped();
    // Whether the entity whose groups follow (up to the next code 0) lies on a layout sheet (its
    // group 67 is not 0); such an entity is counted and not read. The place is kept.
    bool OnLayoutSheet();
    // Appends one warning line (at most a bounded number per Read).
    void Warn(const VString& line);

    VDxfGroupReader mFile;
    VString mFileName;
    int mMaterialCounter = 0;
    int64_t mBlocksPosition = 0;
    VNumberRenamingStrategy mRenaming;
    int mGroupingMode = 0;
    // The code page of the names the file holds (see DxfNameToUtf8).
    int mCodePage = kDxfNoCodePage;
    bool mWeld = true;
    bool mCreateReferenceNode = true;
    VStringPairList mLayerTable{20};
    VOxaMaterial* mMaterialCache[256] = {};
    std::unordered_map<int, VOxaMaterial*> mTrueColourMaterials;

    // Layer-table lookups repeat for every entity of a layer: the last answer is kept.
    std::string mLastLayer;
    int mLastLayerColour = 0;
    bool mLastLayerValid = false;

    // Blocks: the first place of each block name (just after its name), built by one scan of the
    // BLOCKS section, with the groups up to its end and the block names of its INSERTs.
    // A block reference as the bounds see it: the block it names and its grid.
    struct DxfReference {
        std::string name;
        int columns = 1, rows = 1;
        double columnSpacing = 0.0, rowSpacing = 0.0;
        // The instances ReadInsert makes of it.
        int64_t Count() const {
            return (int64_t)(columnSpacing != 0.0 && columns > 1 ? columns : 1) *
                   (rowSpacing != 0.0 && rows > 1 ? rows : 1);
        }
        // Takes a group of the INSERT (name, counts, spacings).
        void Take(int code, const char* value);
    };
    struct DxfBlockEntry {
        int64_t position = 0;
        int64_t groups = 0;
        std::vector<DxfReference> inserts;
    };
    std::unordered_map<std::string, DxfBlockEntry> mBlockIndex;
    bool mBlockIndexBuilt = false;
    int64_t mNoBlocksFrom = -1;  // a search from here on finds no BLOCKS section
    std::vector<std::string> mBlocksBeingRead;
    int mBlockInstances = 0;
    int mBlockInstanceLimit = kMaxBlockInstances;
    int64_t mBlockGroupsRead = 0;
    int64_t mBlockGroupBudget = 0;
    int mWarnings = 0;
    std::map<std::string, int> mSkipped;  // kinds of entities not read, in name order
    int mFaceRecordsOutside = 0;          // polyface face records naming no vertex of their polyline
    int mUnreadVertices = 0;              // VERTEX records whose flags their polyline does not take
    int mFirstUnreadFlags = 0;            // ... the flags of the first, its polyline's kind and line
    const char* mFirstUnreadKind = "";
    int64_t mFirstUnreadAt = -1;
    int mLayoutEntities = 0;  // entities of layout sheets left out
    int mPointFaces = 0;      // faces whose corners meet within 1e-6, left out
    // Extrusion directions and thicknesses that are no direction or length: the first few are
    // warned of one by one (finding a line counts the file's lines up to it).
    static constexpr int kExtrusionWarnings = 5;
    int mBadExtrusions = 0;
    int mBadThickness = 0;
    // Smoothing masks that are no 32-bit whole number, warned of in the same way.
    int mBadMasks = 0;
    void BadMask(const char* value, int64_t at);
};

// A 24-bit colour in a face stream: this plus 0xRRGGBB (above every colour number).
constexpr int kDxfTrueColour = 1 << 24;

// The factory of the importer's format table.
OXA_API VOxaReader* CreateDxfReader(VOxaSdkManager* manager);

#endif  // OXA_FORMATS_GEOMETRY_DXF_VOXA_READER_DXF_H
