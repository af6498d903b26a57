// The DXF writer: the polygon geometry of a scene as one layer and one polyface mesh per mesh node,
// in world coordinates, with colour numbers taken from the nodes' materials.
#ifndef OXA_FORMATS_GEOMETRY_DXF_VOXA_WRITER_DXF_H
#define OXA_FORMATS_GEOMETRY_DXF_VOXA_WRITER_DXF_H

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/base/vge_matrix.h>
#include <oxa/base/vge_vector.h>
#include <oxa/base/vsafe_output_file.h>
#include <oxa/base/vstring.h>
#include <oxa/base/vtime.h>
#include <oxa/formats/geometry/dxf/voxa_dxf_file.h>
#include <oxa/formats/geometry/dxf/voxa_dxf_shading.h>
#include <oxa/formats/geometry/obj/voxa_obj_text.h>
#include <oxa/objects/vindex.h>
#include <oxa/oxa_codec/voxa_writer.h>
#include <oxa/scene/voxa_global_light_settings.h>

class VOxaMesh;
class VOxaNode;
class VOxaWriteMeshes;

// Writes a scene as a DXF file declaring drawing version AC1008: a HEADER, a TABLES section with
// the CONTINUOUS line type and one LAYER entry per mesh node (only when the root has children),
// an empty BLOCKS section and an ENTITIES section with one polyface mesh (POLYLINE with flag 64)
// per mesh node. Layers and entities carry the node's name without its type prefix, with the
// characters table names may not hold, characters no name holds (controls, direction marks) and
// blanks at either end replaced by "_" (blanks inside stay), and numbered where names would clash
// without regard to case (Cube, CUBE1; Ä and ä clash too). The names are written in one code
// page, which the header names: Windows-1252 when it holds them all, else one that does; when no
// page does, the one that loses the fewest characters, each written as "_" with a warning. A layer's
// colour is that of the material most of its mesh's polygons use; a hidden node's is negated.
// Animation, cameras, lights, textures, normals and UVs are not written, and the hierarchy is
// flattened. A mesh whose shading the angle its faces meet at does not tell (see
// voxa_dxf_shading.h) carries smoothing masks on its face records, and an APPID table registers
// their application.
//
// The writer leaves the scene it writes as it was: NURBS surfaces and patches (and meshes, with
// "Force Triangulation") are written from triangulated copies, and "Evaluate Link/Shape
// deformations" deforms a copy of the points.
//
// The file is written under a temporary name and put in place by FileClose only when every write
// succeeded; a failed write leaves any earlier file of that name as it was.
class OXA_API VOxaWriterDxf : public VOxaWriter {
public:
    explicit VOxaWriterDxf(VOxaSdkManager* manager);
    // Closes (and so puts in place) the file.
    ~VOxaWriterDxf() override;

    // Starts the file (closing an open one first). False, with "File not opened", when it cannot
    // be created.
    bool FileCreate(const char* path) override;
    // Puts the written file in place; false when a write failed or the file could not be put in
    // place (the target is then left as it was). True when no file was open.
    bool FileClose() override;
    bool IsFileOpen() override;
    // A new VStreamOptionsDxf that the caller owns.
    VStreamOptions* GetWriteOptions() override;

    // Writes the scene. False with "File not opened" when no file was created, with "Stream
    // options not set" for missing or foreign options (nothing written), with "Out of disk
    // space" when the output could not be written, and with a message naming the mesh, leaving
    // no file, when a polygon uses a point that is not a finite number (unused ones are left
    // out). Meshes are placed where the current take plays them at its start.
    bool Write(VOxaScene* scene, VStreamOptions* options) override;

    // The two passes over the nodes, a node then its children in index order (with `recursive`).
    void WriteLayerRecursive(VOxaNode* node, bool recursive);
    void WritePolyfaceRecursive(VOxaNode* node, bool recursive);

    // The colour number of an RGB colour (see DxfColorToAci).
    static int ColorToAci(const VOxaColor& colour) {
        return DxfColorToAci(colour.mRed, colour.mGreen, colour.mBlue);
    }

    bool GetTriangulate() const { return mTriangulate; }
    bool GetEvaluateDeformations() const { return mEvaluateDeformations; }

private:
    void WriteLayer(VOxaNode* node);
    // The node's layer name, the same for both passes and unique within the file.
    VString LayerName(VOxaNode* node);
    void WritePolyface(VOxaNode* node, VOxaMesh* mesh);
    // The mesh's points as written (deformed when asked for) into mWorld, with mNumbers; false,
    // with `refusal` set, when a point a polygon uses is not a finite number.
    bool WorldPoints(VOxaNode* node, VOxaMesh* mesh, const VgeAMatrix& matrix, std::string& refusal);
    // The least and greatest DXF coordinates of the points written below the root; false when
    // there are none.
    bool Extents(VOxaNode* root, double low[3], double high[3]);
    // How the face records in mRecords are shaded when read back. Nothing is added when the
    // angle their faces meet at shades them as the mesh's normals do (or the mesh has none).
    // Otherwise each record carries a smoothing mask: its polygon's, when the mesh keeps masks;
    // else 1, with the vertices split where the normals are (mSplitPoint, mSplitNumber), and the
    // answer is true.
    bool PlanShading(VOxaMesh* mesh);

    VSafeOutputFile mFile;
    VString mFileName;
    bool mTriangulate = true;
    bool mEvaluateDeformations = true;
    VDxfGroupWriter* mOut = nullptr;     // during Write
    VOxaWriteMeshes* mMeshes = nullptr;  // during Write: the mesh each node is written from
    // Where the meshes are placed: the start of the current take.
    VTime mStart;
    // A mesh could not be written (a point that is not a finite number): the Write fails.
    bool mRefused = false;
    // Polyface vertices of this Write written as no number ("nan", "inf"): named in the warning.
    long long mNotNumbers = 0;
    // One mesh's world positions, vertex numbers and triangle corners, reused by the next.
    std::vector<VgeTVector> mWorld;
    std::vector<VgeTVector> mDeformed;
    std::vector<int> mNumbers;
    std::vector<int> mCorners;
    // One mesh's face records (control points, smoothing masks), each record's polygon and each
    // corner's place in it; with split vertices, each vertex's control point and each corner's
    // vertex.
    DxfShadingFaces mRecords;
    std::vector<int> mRecordPolygon;
    std::vector<int> mRecordPosition;
    std::vector<int> mSplitPoint;
    std::vector<int> mSplitNumber;
    // Some mesh may carry smoothing masks: the application of their data is registered.
    bool mShadingData = false;
    // Layer names of one Write: by node, and the names taken (lower case) with the last counter
    // of each clashing name.
    // The layer name of each node met: node -> entry of mLayerNames.
    VPointerIndex mLayerOfNode;
    voxa_obj::VTextTable mLayerNames;
    // The layer names taken, case folded, each with the last number tried after it.
    voxa_obj::VTextTable mLayersTaken;
    // The code page the names of the file are written in.
    int mCodePage = 1252;
    // The code page that the names that are no UTF-8 are read in.
    int mLegacyPage = 1252;
};

// The factory of the exporter's format table.
OXA_API VOxaWriter* CreateDxfWriter(VOxaSdkManager* manager);

#endif  // OXA_FORMATS_GEOMETRY_DXF_VOXA_WRITER_DXF_H
