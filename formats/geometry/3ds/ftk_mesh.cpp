// Triangle meshes: the mesh record, reading it from a named object and writing it into a database.
#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "base/vallocation_hook.h"
#include "formats/geometry/3ds/ftk_mesh.h"

namespace Ftk {

namespace {

template <class T>
void FreeArray(std::vector<T>& items) {
    std::vector<T>().swap(items);
}

// Sizes an array to `count`: zero frees it, new entries take `fill`.
template <class T>
bool SizeArray(std::vector<T>& items, size_t count, const T& fill) {
    if (count == 0) {
        FreeArray(items);
        return true;
    }
    try {
        items.resize(count, fill);
    } catch (const std::bad_alloc&) {
        Fail(ERR_NO_MEM);
        return false;
    }
    return true;
}

bool CheckMeshDatabase(Database* database) {
    return CheckDatabase(database, false);
}

// A new chunk of the tag under `parent`, or null with 21 pushed.
Chunk* NewPart(uint32_t tag, Chunk* parent) {
    Chunk* chunk = AddChild(tag, parent);
    if (!chunk) PushError(ERR_PUT_FAILED);
    return chunk;
}

}  // namespace

void InitMesh(Mesh** mesh, uint16_t vertexCount, uint16_t faceCount, uint32_t mask) {
    if (!mesh) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!*mesh) {
        *mesh = oxa_alloc::Counted(new (std::nothrow) Mesh);
        if (!*mesh) {
            Fail(ERR_NO_MEM);
            return;
        }
    } else {
        **mesh = Mesh();
    }
    Mesh* m = *mesh;
    m->mVertexCount = vertexCount;
    m->mFaceCount = faceCount;
    uint32_t arrays = kMeshVertices | kMeshFaces;
    if (mask & kMeshMapping) {
        m->mMappingCount = vertexCount;
        arrays |= kMeshMapping;
    }
    if (mask & kMeshVertexFlags) {
        m->mVertexFlagCount = vertexCount;
        arrays |= kMeshVertexFlags;
    }
    if (mask & kMeshSmoothing) arrays |= kMeshSmoothing;
    AllocMeshArrays(m, arrays);
}

void AllocMeshArrays(Mesh* mesh, uint32_t mask) {
    if (!mesh) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if ((mask & kMeshVertices) && !SizeArray(mesh->mVertices, mesh->mVertexCount, Point3{0.0f, 0.0f, 0.0f}))
        return;
    if ((mask & kMeshMapping) && !SizeArray(mesh->mMapping, mesh->mMappingCount, TexVert{0.0f, 0.0f})) return;
    if ((mask & kMeshFaces) && !SizeArray(mesh->mFaces, mesh->mFaceCount, Face{0, 1, 2, 0})) return;
    if ((mask & kMeshMaterialGroups) &&
        !SizeArray(mesh->mMaterialGroups, mesh->mMaterialGroupCount, MeshMaterialGroup()))
        return;
    if ((mask & kMeshSmoothing) && !SizeArray(mesh->mSmoothing, mesh->mFaceCount, 0u)) return;
    if ((mask & kMeshProcedureData) && !SizeArray(mesh->mProcedureData, mesh->mProcedureDataSize, (uint8_t)0))
        return;
    if ((mask & kMeshVertexFlags) && !SizeArray(mesh->mVertexFlags, mesh->mVertexFlagCount, (uint16_t)0))
        return;
}

void FreeMeshArrays(Mesh* mesh, uint32_t mask) {
    if (!mesh) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (mask & kMeshVertices) FreeArray(mesh->mVertices);
    if (mask & kMeshMapping) FreeArray(mesh->mMapping);
    if (mask & kMeshFaces) FreeArray(mesh->mFaces);
    if (mask & kMeshMaterialGroups) FreeArray(mesh->mMaterialGroups);
    if (mask & kMeshSmoothing) FreeArray(mesh->mSmoothing);
    if (mask & kMeshProcedureData) FreeArray(mesh->mProcedureData);
    if (mask & kMeshVertexFlags) FreeArray(mesh->mVertexFlags);
}

void ReleaseMesh(Mesh** mesh) {
    if (!mesh) return;
    delete *mesh;
    *mesh = nullptr;
}

void AllocMaterialGroupFaces(Mesh* mesh, uint16_t group, uint16_t faceCount) {
    if (!mesh || faceCount == 0) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (mesh->mFaceCount == 0 || mesh->mFaces.empty() || group >= mesh->mMaterialGroupCount) {
        Fail(ERR_INVALID_DATA);
        return;
    }
    if (mesh->mMaterialGroups.size() < mesh->mMaterialGroupCount &&
        !SizeArray(mesh->mMaterialGroups, mesh->mMaterialGroupCount, MeshMaterialGroup()))
        return;
    MeshMaterialGroup& entry = mesh->mMaterialGroups[group];
    std::vector<uint16_t> faces;
    try {
        faces.assign(faceCount, 0);
    } catch (const std::bad_alloc&) {
        Fail(ERR_NO_MEM);
        return;
    }
    entry.mFaces.swap(faces);
    entry.mFaceCount = faceCount;
}

uint32_t CountMeshes(Database* database) {
    if (!CheckMeshDatabase(database)) return 0;
    return CountObjectsOfKind(database, kMeshObjects);
}

void ListMeshNames(Database* database, StringList** list) {
    if (!list) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!CheckMeshDatabase(database)) return;
    if (!*list) NewStringList(list, 0);
    if (!*list) return;
    (*list)->mStrings.clear();
    uint32_t count = CountObjectsOfKind(database, kMeshObjects);
    for (uint32_t i = 0; i < count; ++i) {
        Chunk* object = GetObjectOfKind(database, kMeshObjects, i);
        StringData* name = GetData<StringData>(object);
        AddToStringList(*list, name ? name->mText.c_str() : "");
        UnloadChunkData(object);
    }
}

void GetMeshByIndex(Database* database, uint32_t index, Mesh** mesh) {
    if (!mesh) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!CheckMeshDatabase(database)) return;
    Chunk* object = GetObjectOfKind(database, kMeshObjects, index);
    if (object) ReadMesh(object, mesh);
}

void GetMeshByName(Database* database, const char* name, Mesh** mesh) {
    if (!name || !mesh) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!CheckMeshDatabase(database)) return;
    Chunk* object = FindObjectByName(database, name);
    if (object && FindChild(object, TRIANGLE_MESH)) ReadMesh(object, mesh);
}

namespace {

void ReadFaceChunk(Chunk* faces, Mesh* mesh) {
    if (FaceArrayData* data = GetData<FaceArrayData>(faces)) {
        mesh->mFaceCount = (uint16_t)data->mFaces.size();
        mesh->mFaces = std::move(data->mFaces);
    }
    if (Stopped()) return;
    Chunk* first = nullptr;
    FindNextChunk(faces->mChildren, FACE_MATERIAL, &first);
    uint32_t groups = 0;
    for (Chunk* node = first; node; node = node->mNext)
        if (node->mTag == FACE_MATERIAL) ++groups;
    if (groups > 0xFFFF) groups = 0xFFFF;
    mesh->mMaterialGroupCount = (uint16_t)groups;
    mesh->mMaterialGroups.assign(groups, MeshMaterialGroup());
    uint32_t group = 0;
    for (Chunk* node = first; node && group < groups; node = node->mNext) {
        if (node->mTag != FACE_MATERIAL) continue;
        MeshMaterialGroup& entry = mesh->mMaterialGroups[group++];
        if (FaceMaterialData* data = GetData<FaceMaterialData>(node)) {
            FitName(entry.mName, data->mName, kMaterialNameCapacity);
            entry.mFaceCount = (uint16_t)data->mFaces.size();
            entry.mFaces = std::move(data->mFaces);
        }
        if (Stopped()) return;
    }
    for (Chunk* node = faces->mChildren; node; node = node->mNext) {
        if (node->mTag == FACE_SMOOTHING) {
            if (SmoothingData* data = GetData<SmoothingData>(node))
                mesh->mSmoothing = std::move(data->mGroups);
        } else if (node->mTag == MESH_BOX_MAP) {
            if (BoxMapData* data = GetData<BoxMapData>(node)) {
                for (int i = 0; i < 6; ++i)
                    CopyName(mesh->mBoxMap[i], sizeof mesh->mBoxMap[i], data->mNames[i].c_str());
                mesh->mBoxMapInUse = 1;
            }
        }
        if (Stopped()) return;
    }
}

void ReadMeshChild(Chunk* node, Mesh* mesh) {
    switch (node->mTag) {
        case MESH_VERTICES:
            if (PointArrayData* data = GetData<PointArrayData>(node)) {
                mesh->mVertexCount = (uint16_t)data->mPoints.size();
                mesh->mVertices = std::move(data->mPoints);
            }
            break;
        case MESH_VERTEX_FLAGS:
            if (VertexFlagsData* data = GetData<VertexFlagsData>(node)) {
                mesh->mVertexFlagCount = (uint16_t)data->mFlags.size();
                mesh->mVertexFlags = std::move(data->mFlags);
            }
            break;
        case MESH_FACES:
            ReadFaceChunk(node, mesh);
            break;
        case MESH_MAPPING_COORDS:
            if (TexVertArrayData* data = GetData<TexVertArrayData>(node)) {
                mesh->mMappingCount = (uint16_t)data->mTexVerts.size();
                mesh->mMapping = std::move(data->mTexVerts);
            }
            break;
        case MESH_LOCAL_AXES:
            if (FloatsData* data = GetData<FloatsData>(node))
                std::memcpy(mesh->mLocalAxes, data->mValues, sizeof mesh->mLocalAxes);
            break;
        case MESH_COLOR:
            if (BytesData* data = GetData<BytesData>(node)) mesh->mMeshColor = data->mValues[0];
            break;
        case MESH_MAPPING_INFO:
            if (MappingInfoData* data = GetData<MappingInfoData>(node)) {
                mesh->mMappingInfoPresent = 1;
                mesh->mMapType = data->mMapType;
                mesh->mTileU = data->mTileU;
                mesh->mTileV = data->mTileV;
                mesh->mIconPosition = data->mIconPosition;
                mesh->mIconScale = data->mIconScale;
                std::memcpy(mesh->mMappingMatrix, data->mMatrix, sizeof mesh->mMappingMatrix);
                mesh->mPlanarWidth = data->mPlanarWidth;
                mesh->mPlanarHeight = data->mPlanarHeight;
                mesh->mCylinderHeight = data->mCylinderHeight;
            }
            break;
        case MESH_PROCEDURE_NAME:
            if (StringData* data = GetData<StringData>(node))
                CopyName(mesh->mProcedureName, sizeof mesh->mProcedureName, data->mText.c_str());
            break;
        case MESH_PROCEDURE_DATA:
            if (RawData* data = GetData<RawData>(node)) {
                mesh->mProcedureDataSize = (uint32_t)data->mBytes.size();
                mesh->mProcedureData = std::move(data->mBytes);
            }
            break;
        default:
            break;
    }
}

// The body of ReadMesh: the copy of the object it reads is held in `*held`.
void ReadMeshFrom(Chunk* object, Mesh* m, Chunk** held) {
    Chunk*& copy = *held;
    CopyChunkTree(object, &copy);
    if (!copy) return;
    if (StringData* name = GetData<StringData>(copy))
        CopyName(m->mName, sizeof m->mName, name->mText.c_str());
    Chunk* triangles = FindChild(copy, TRIANGLE_MESH);
    for (Chunk* node = triangles ? triangles->mChildren : nullptr; node; node = node->mNext) {
        ReadMeshChild(node, m);
        if (Stopped()) break;
    }
    for (Chunk* node = copy->mChildren; node; node = node->mNext) {
        switch (node->mTag) {
            case OBJECT_HIDDEN:
                m->mHidden = 1;
                break;
            case OBJECT_FLAG_4011:
                m->mFlag4011 = 1;
                break;
            case OBJECT_NO_CAST_SHADOW:
                m->mNoCastShadow = 1;
                break;
            case OBJECT_MATTE:
                m->mMatte = 1;
                break;
            case OBJECT_FLAG_4014:
                m->mFlag4014 = 1;
                break;
            case OBJECT_FROZEN:
                m->mFrozen = 1;
                break;
            case OBJECT_NO_RECEIVE_SHADOW:
                m->mNoReceiveShadow = 1;
                break;
            case OBJECT_PROCEDURAL:
                m->mProcedural = 1;
                break;
            default:
                break;
        }
    }
}

}  // namespace

void ReadMesh(Chunk* object, Mesh** mesh) {
    if (!object || !mesh) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!FindChild(object, TRIANGLE_MESH)) {
        Fail(ERR_WRONG_OBJECT);
        return;
    }
    const bool fresh = !*mesh;
    InitMesh(mesh, 0, 0, 0);
    if (Stopped() || !*mesh) return;
    // The arrays are moved out of a temporary copy of the object, released at the end. Memory
    // that runs out on the way (thrown) lets the copy go, and the mesh when this read made it.
    Chunk* copy = nullptr;
    try {
        ReadMeshFrom(object, *mesh, &copy);
    } catch (const std::bad_alloc&) {
        ReleaseChunk(&copy);
        if (fresh) ReleaseMesh(mesh);
        throw;
    }
    ReleaseChunk(&copy);
}

void WriteMesh(Database* database, Mesh* mesh) {
    if (!mesh) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!CheckMeshDatabase(database)) return;
    // Every array must hold at least its count.
    if ((mesh->mVertices.size() && mesh->mVertices.size() < mesh->mVertexCount) ||
        (mesh->mMapping.size() && mesh->mMapping.size() < mesh->mMappingCount) ||
        (mesh->mVertexFlags.size() && mesh->mVertexFlags.size() < mesh->mVertexFlagCount) ||
        (mesh->mFaceCount && mesh->mFaces.size() < mesh->mFaceCount) ||
        mesh->mMaterialGroups.size() < mesh->mMaterialGroupCount ||
        (mesh->mProcedureData.size() && mesh->mProcedureData.size() < mesh->mProcedureDataSize)) {
        Fail(ERR_INVALID_DATA);
        return;
    }
    for (uint16_t g = 0; g < mesh->mMaterialGroupCount; ++g) {
        const MeshMaterialGroup& group = mesh->mMaterialGroups[g];
        if (group.mFaceCount && group.mFaces.size() < group.mFaceCount) {
            Fail(ERR_INVALID_DATA);
            return;
        }
    }
    char name[sizeof mesh->mName];
    CopyName(name, sizeof name, mesh->mName);
    bool existed = FindObjectByName(database, name) != nullptr;
    Chunk* extended = nullptr;
    HeldChunk heldExtended(&extended);
    Chunk* object = PrepareObject(database, name, &extended, true);
    if (!object) return;

    Chunk* triangles = NewPart(TRIANGLE_MESH, object);
    if (!triangles) {
        ReleaseChunk(&extended);
        return;
    }
    if (mesh->mVertexCount && !mesh->mVertices.empty()) {
        if (PointArrayData* data = MakeData<PointArrayData>(NewPart(MESH_VERTICES, triangles)))
            data->mPoints.assign(mesh->mVertices.begin(), mesh->mVertices.begin() + mesh->mVertexCount);
    }
    if (mesh->mMappingCount && !mesh->mMapping.empty()) {
        if (TexVertArrayData* data = MakeData<TexVertArrayData>(NewPart(MESH_MAPPING_COORDS, triangles)))
            data->mTexVerts.assign(mesh->mMapping.begin(), mesh->mMapping.begin() + mesh->mMappingCount);
    }
    if (mesh->mMappingInfoPresent) {
        if (MappingInfoData* data = MakeData<MappingInfoData>(NewPart(MESH_MAPPING_INFO, triangles))) {
            data->mMapType = mesh->mMapType;
            data->mTileU = mesh->mTileU;
            data->mTileV = mesh->mTileV;
            data->mIconPosition = mesh->mIconPosition;
            data->mIconScale = mesh->mIconScale;
            std::memcpy(data->mMatrix, mesh->mMappingMatrix, sizeof data->mMatrix);
            data->mPlanarWidth = mesh->mPlanarWidth;
            data->mPlanarHeight = mesh->mPlanarHeight;
            data->mCylinderHeight = mesh->mCylinderHeight;
        }
    }
    if (mesh->mVertexFlagCount && !mesh->mVertexFlags.empty()) {
        if (VertexFlagsData* data = MakeData<VertexFlagsData>(NewPart(MESH_VERTEX_FLAGS, triangles)))
            data->mFlags.assign(mesh->mVertexFlags.begin(),
                                mesh->mVertexFlags.begin() + mesh->mVertexFlagCount);
    }
    if (FloatsData* data = MakeData<FloatsData>(NewPart(MESH_LOCAL_AXES, triangles)))
        std::memcpy(data->mValues, mesh->mLocalAxes, sizeof mesh->mLocalAxes);
    if (BytesData* data = MakeData<BytesData>(NewPart(MESH_COLOR, triangles)))
        data->mValues[0] = mesh->mMeshColor;
    if (mesh->mFaceCount) {
        Chunk* faces = NewPart(MESH_FACES, triangles);
        if (FaceArrayData* data = MakeData<FaceArrayData>(faces))
            data->mFaces.assign(mesh->mFaces.begin(), mesh->mFaces.begin() + mesh->mFaceCount);
        for (uint16_t g = 0; faces && g < mesh->mMaterialGroupCount; ++g) {
            const MeshMaterialGroup& group = mesh->mMaterialGroups[g];
            if (FaceMaterialData* data = MakeData<FaceMaterialData>(NewPart(FACE_MATERIAL, faces))) {
                data->mName.assign(group.mName, 0, kMaterialNameCapacity);
                if (group.mFaceCount && !group.mFaces.empty())
                    data->mFaces.assign(group.mFaces.begin(), group.mFaces.begin() + group.mFaceCount);
            }
        }
        if (faces && !mesh->mSmoothing.empty()) {
            // One mask per face: a shorter array is padded with 0.
            if (SmoothingData* data = MakeData<SmoothingData>(NewPart(FACE_SMOOTHING, faces))) {
                data->mGroups.assign(mesh->mFaceCount, 0u);
                size_t have =
                    mesh->mSmoothing.size() < mesh->mFaceCount ? mesh->mSmoothing.size() : mesh->mFaceCount;
                std::copy(mesh->mSmoothing.begin(), mesh->mSmoothing.begin() + have, data->mGroups.begin());
            }
        }
        if (faces && mesh->mBoxMapInUse) {
            if (BoxMapData* data = MakeData<BoxMapData>(NewPart(MESH_BOX_MAP, faces)))
                for (int i = 0; i < 6; ++i)
                    data->mNames[i].assign(mesh->mBoxMap[i],
                                           strnlen(mesh->mBoxMap[i], sizeof mesh->mBoxMap[i]));
        }
    }
    const bool procedure = !mesh->mProcedureData.empty();
    if (procedure) {
        if (StringData* data = MakeData<StringData>(NewPart(MESH_PROCEDURE_NAME, triangles)))
            data->mText.assign(mesh->mProcedureName,
                               strnlen(mesh->mProcedureName, sizeof mesh->mProcedureName));
        if (RawData* data = MakeData<RawData>(NewPart(MESH_PROCEDURE_DATA, triangles))) {
            size_t size = mesh->mProcedureDataSize ? mesh->mProcedureDataSize : 0;
            data->mBytes.assign(mesh->mProcedureData.begin(), mesh->mProcedureData.begin() + size);
        }
    }
    const std::pair<uint8_t, uint32_t> flags[] = {
        {mesh->mHidden, OBJECT_HIDDEN},      {mesh->mFlag4011, OBJECT_FLAG_4011},
        {mesh->mMatte, OBJECT_MATTE},        {mesh->mNoCastShadow, OBJECT_NO_CAST_SHADOW},
        {mesh->mFlag4014, OBJECT_FLAG_4014}, {mesh->mNoReceiveShadow, OBJECT_NO_RECEIVE_SHADOW},
        {mesh->mFrozen, OBJECT_FROZEN}};
    for (const auto& flag : flags)
        if (flag.first) NewPart(flag.second, object);
    if (mesh->mProcedural == 1 && procedure) NewPart(OBJECT_PROCEDURAL, object);
    if (extended) AppendChild(triangles, extended);
    extended = nullptr;  // the object's now
    if (!existed) NoteObjectAdded(database, object);
}

void DeleteMeshByIndex(Database* database, uint32_t index) {
    DeleteObjectByIndex(database, TRIANGLE_MESH, index);
}

void DeleteMeshByName(Database* database, const char* name) {
    DeleteObjectByName(database, name);
}

void CopyMeshByIndex(Database* destination, Database* source, uint32_t index) {
    CopyObjectByIndex(destination, source, TRIANGLE_MESH, index);
}

void CopyMeshByName(Database* destination, Database* source, const char* name) {
    CopyObjectByName(destination, source, name);
}

}  // namespace Ftk
