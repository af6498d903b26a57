// 3DS triangle meshes: the mesh record and the calls that move it in and out of a database (named
// objects OBJECT_BLOCK holding a TRIANGLE_MESH). Meshes live in scene and project databases.
#ifndef OXA_FORMATS_GEOMETRY_3DS_FTK_MESH_H
#define OXA_FORMATS_GEOMETRY_3DS_FTK_MESH_H

#include <cstdint>
#include <string>
#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/formats/geometry/3ds/ftk_database.h>

namespace Ftk {

struct MeshMaterialGroup {
    std::string mName;  // as a material's name, at most kMaterialNameCapacity bytes
    uint16_t mFaceCount = 0;
    std::vector<uint16_t> mFaces;
};

// A mesh. Each array is paired with its count; a put writes count entries and refuses (3) an
// array shorter than its count.
struct Mesh {
    char mName[kNameCapacity + 1] = {};
    uint8_t mHidden = 0;
    uint8_t mFlag4011 = 0;
    uint8_t mMatte = 0;
    uint8_t mNoCastShadow = 0;
    uint8_t mFlag4014 = 0;
    uint8_t mNoReceiveShadow = 0;
    uint8_t mFrozen = 0;
    uint16_t mVertexCount = 0;
    std::vector<Point3> mVertices;
    uint16_t mVertexFlagCount = 0;
    std::vector<uint16_t> mVertexFlags;
    uint16_t mMappingCount = 0;
    std::vector<TexVert> mMapping;
    uint8_t mMappingInfoPresent = 0;
    uint16_t mMapType = 0;
    float mTileU = 1.0f, mTileV = 1.0f;
    Point3 mIconPosition{0.0f, 0.0f, 0.0f};
    float mIconScale = 1.0f;
    float mMappingMatrix[12] = {1.0f, 0.0f, 0.0f, 0.0f, 1.0f};
    float mPlanarWidth = 1.0f, mPlanarHeight = 1.0f, mCylinderHeight = 1.0f;
    float mLocalAxes[12] = {};
    uint16_t mFaceCount = 0;
    std::vector<Face> mFaces;
    std::vector<uint32_t> mSmoothing;
    uint8_t mBoxMapInUse = 0;
    char mBoxMap[6][17] = {};
    uint8_t mMeshColor = 0;
    uint16_t mMaterialGroupCount = 0;
    std::vector<MeshMaterialGroup> mMaterialGroups;
    uint8_t mProcedural = 0;
    uint32_t mProcedureDataSize = 0;
    char mProcedureName[16] = {};
    std::vector<uint8_t> mProcedureData;
};

// Array masks of AllocMeshArrays and FreeMeshArrays.
enum MeshArrayMask : uint32_t {
    kMeshVertices = 0x01,
    kMeshMapping = 0x02,
    kMeshFaces = 0x04,
    kMeshMaterialGroups = 0x08,
    kMeshSmoothing = 0x10,
    kMeshProcedureData = 0x20,
    kMeshVertexFlags = 0x40,
};

void InitMesh(Mesh** mesh, uint16_t vertexCount, uint16_t faceCount, uint32_t mask);
void AllocMeshArrays(Mesh* mesh, uint32_t mask);
void FreeMeshArrays(Mesh* mesh, uint32_t mask);
void ReleaseMesh(Mesh** mesh);
void AllocMaterialGroupFaces(Mesh* mesh, uint16_t group, uint16_t faceCount);
uint32_t CountMeshes(Database* database);
void ListMeshNames(Database* database, StringList** list);
void GetMeshByIndex(Database* database, uint32_t index, Mesh** mesh);
void GetMeshByName(Database* database, const char* name, Mesh** mesh);
void ReadMesh(Chunk* object, Mesh** mesh);
void WriteMesh(Database* database, Mesh* mesh);
void DeleteMeshByIndex(Database* database, uint32_t index);
void DeleteMeshByName(Database* database, const char* name);
void CopyMeshByIndex(Database* destination, Database* source, uint32_t index);
void CopyMeshByName(Database* destination, Database* source, const char* name);

}  // namespace Ftk

#endif  // OXA_FORMATS_GEOMETRY_3DS_FTK_MESH_H
