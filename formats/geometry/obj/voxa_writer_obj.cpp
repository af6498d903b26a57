#include "formats/geometry/obj/voxa_writer_obj.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "attributes/voxa_geometry_converter.h"
#include "attributes/voxa_layer.h"
#include "attributes/voxa_material.h"
#include "attributes/voxa_mesh.h"
#include "attributes/voxa_texture.h"
#include "base/vpath.h"
#include "formats/geometry/obj/voxa_obj_text.h"
#include "formats/geometry/voxa_geometry_deform.h"
#include "formats/geometry/voxa_geometry_write.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

using voxa_obj::AppendFixed;
using voxa_obj::AppendInt;

namespace {

constexpr size_t kFlushSize = 1 << 20;

void AppendVector3(std::string& out, const char* keyword, double x, double y, double z) {
    out += keyword;
    out += ' ';
    AppendFixed(out, x);
    out += ' ';
    AppendFixed(out, y);
    out += ' ';
    AppendFixed(out, z);
    out += '\n';
}

// A normal or UV component that is not a finite number is written as 0: OBJ readers refuse "nan".
double FiniteOrZero(double value) {
    return std::isfinite(value) ? value : 0.0;
}

void AppendUV(std::string& out, double u, double v) {
    out += "vt ";
    AppendFixed(out, FiniteOrZero(u));
    out += ' ';
    AppendFixed(out, FiniteOrZero(v));
    out += '\n';
}

void AppendNormal(std::string& out, const VgeTVector& n) {
    AppendVector3(out, "vn", FiniteOrZero(n[0]), FiniteOrZero(n[1]), FiniteOrZero(n[2]));
}

}  // namespace

VOxaWriter* CreateObjWriter(VOxaSdkManager* manager) {
    return new (std::nothrow) VOxaWriterObj(manager);
}

VOxaWriterObj::VOxaWriterObj(VOxaSdkManager* manager) : VOxaWriter(manager) {}

VOxaWriterObj::~VOxaWriterObj() {
    FileClose();
}

bool VOxaWriterObj::FileCreate(const char* path) {
    if (IsFileOpen()) FileClose();
    if (path == nullptr || *path == '\0') {
        mError.SetLastErrorID(eFILE_NOT_OPENED);
        return false;
    }
    CreateDirectoryPath(path);  // the open below reports what matters
    if (!mObjFile.Open(path, true)) {
        mError.SetLastErrorID(eFILE_NOT_OPENED);
        return false;
    }
    mObjPath = path;
    mNextVertex = 1;
    mNextUV = 1;
    mNextNormal = 1;
    mGroupNames.Clear();
    mOut.clear();
    return true;
}

bool VOxaWriterObj::FileClose() {
    if (!mObjFile.IsOpen()) return true;
    FlushObj();
    const bool ok = mObjFile.Commit();
    mObjPath = "";
    return ok;
}

bool VOxaWriterObj::IsFileOpen() {
    return mObjFile.IsOpen();
}

VStreamOptions* VOxaWriterObj::GetWriteOptions() {
    return VStreamOptionsObj::Create();
}

void VOxaWriterObj::FlushObj() {
    if (!mOut.empty() && mObjFile.IsOpen()) mObjFile.Write(mOut.data(), mOut.size());
    mOut.clear();
}

VString VOxaWriterObj::MakeMaterialPath(const char* objPath) {
    std::string path(objPath ? objPath : "");
    size_t nameStart = path.find_last_of("/\\");
    nameStart = nameStart == std::string::npos ? 0 : nameStart + 1;
    for (size_t i = nameStart; i < path.size(); ++i)
        path[i] = voxa_obj::LowerAscii(path[i]);
    // The name is written after "mtllib", which readers split into names at blanks: the file is
    // named as one word ("my scene.obj" gets "my_scene.mtl").
    path.replace(nameStart, std::string::npos, voxa_obj::ObjName(std::string_view(path).substr(nameStart)));
    size_t at = path.find(".obj", nameStart);
    if (at == std::string::npos)
        path += ".mtl";
    else
        path.replace(at, 4, ".mtl");
    return VString(path.c_str());
}

bool VOxaWriterObj::Write(VOxaScene* scene, VStreamOptions* options) {
    if (options == nullptr || !options->IsA(VStreamOptionsObj::ClassId)) {
        mError.SetLastErrorID(eSTREAM_OPTIONS_NOT_SET);
        return false;
    }
    if (!mObjFile.IsOpen()) {
        mError.SetLastErrorID(eFILE_NOT_OPENED);
        return false;
    }
    VOxaNode* root = scene ? scene->GetRootNode() : nullptr;
    if (root == nullptr) return false;

    VStreamOptionsObj* objOptions = static_cast<VStreamOptionsObj*>(options);
    mForceTriangulation = objOptions->GetOptionValue(VStreamOptionsObj::eFORCE_TRIANGULATION) == 1;
    mEvaluateDeformations = objOptions->GetOptionValue(VStreamOptionsObj::eEVALUATE_DEFORMATIONS) == 1;
    mMtlNeeded = false;
    mRefused = false;
    mTextureCopier.Begin(options);
    mTextureCopier.Reserve(GetFileName(MakeMaterialPath(mObjPath.Buffer()).Buffer(), true).Buffer());

    mStart = VOxaGeometryTakeStart(scene);
    PrepareNodes(root);
    if (!VOxaHoldsGeometry(root)) {
        mObjFile.Abandon();
        mError.SetLastError(eFILE_NOT_CREATED, kVOxaNoGeometry);
        return false;
    }

    mOut += "# \n# Corvelund OBJ file\n# Created with Morvane OXA\n# \n";
    if (mMtlNeeded) {
        OpenMaterialFile();
        mOut += "mtllib ";
        mOut += mMtlName.Buffer();
        mOut += "\n\n";
        mMaterialNames.Take("default");
        if (mManager != nullptr) mDefaultMaterial = mManager->CreateMaterial("default");
    }

    VOxaWalkPreOrder(root, [this](VOxaNode* node) { WriteNode(node); });

    if (mDefaultMaterial != nullptr) {
        if (mManager != nullptr) mManager->DestroyMaterial(mDefaultMaterial);
        mDefaultMaterial = nullptr;
    }
    if (mRefused) {
        // Neither file is put in place: the OBJ file's close answers false.
        mMtlFile.Abandon();
        CloseMaterialFile();
        mOut.clear();
        mObjFile.MarkFailed();
        return false;
    }
    const bool materialsOk = CloseMaterialFile();

    FlushObj();
    bool objOk = !mObjFile.Failed();
    if (objOk && std::fflush(mObjFile.Stream()) != 0) mObjFile.MarkFailed();
    objOk = mObjFile.CheckStream();
    if (!objOk || !materialsOk) {
        mError.SetLastErrorID(eOUT_OF_DISK_SPACE);
        return false;
    }
    return true;
}

void VOxaWriterObj::PrepareNodes(VOxaNode* root) {
    VOxaWalkPreOrder(root, [this](VOxaNode* node) {
        VOxaNodeAttribute* attribute = node->GetNodeAttribute();
        if (attribute == nullptr) return;
        const int type = attribute->GetAttributeType();
        if (type != VOxaNodeAttribute::eMesh && type != VOxaNodeAttribute::eNurb &&
            type != VOxaNodeAttribute::ePatch)
            return;
        if ((type != VOxaNodeAttribute::eMesh || mForceTriangulation) && mManager != nullptr) {
            VOxaGeometryConverter* converter = mManager->CreateGeometryConverter();
            if (converter != nullptr) {
                converter->TriangulateInPlace(node);
                mManager->DestroyGeometryConverter(converter);
            }
        }
        VOxaLayerContainer* container = dynamic_cast<VOxaLayerContainer*>(node->GetNodeAttribute());
        if (container != nullptr && (container->GetMaterialCount(0) > 0 || container->GetTextureCount(0) > 0))
            mMtlNeeded = true;
    });
}

bool VOxaWriterObj::OpenMaterialFile() {
    VString path = MakeMaterialPath(mObjPath.Buffer());
    mMtlName = path;
    if (!mMtlFile.Open(path.Buffer(), true)) return false;
    mMtlName = GetFileName(path.Buffer(), true);
    mMtlFile.WriteText("# \n# Corvelund material file\n# Created with Morvane OXA\n# \n");
    return true;
}

bool VOxaWriterObj::CloseMaterialFile() {
    mEntries.clear();
    mEntryIndex.clear();
    mMaterialNames.Clear();
    bool ok = true;
    if (mMtlFile.IsOpen()) ok = mMtlFile.Commit();
    mMtlName = "";
    return ok;
}

int VOxaWriterObj::FindMaterialEntry(VOxaMaterial* material, VOxaTexture* texture) const {
    auto it = mEntryIndex.find(std::make_pair((const void*)material, (const void*)texture));
    return it == mEntryIndex.end() ? -1 : it->second;
}

void VOxaWriterObj::UseMaterial(VOxaMaterial* material, VOxaTexture* texture) {
    if (material == nullptr) return;
    // A texture that gives no "map_Kd" line is none: the pair is the material alone.
    if (texture != nullptr && (texture->GetTextureUse() != 0 || *texture->GetFileName() == '\0'))
        texture = nullptr;
    int index = FindMaterialEntry(material, texture);
    if (index < 0) {
        // One word on one line, and distinct from the other materials' names.
        const std::string name = mMaterialNames.Take(voxa_obj::ObjName(material->GetNameWithoutPrefix()));
        mEntries.push_back(MaterialEntry{material, texture, VString(name.c_str())});
        index = (int)mEntries.size() - 1;
        mEntryIndex.emplace(std::make_pair((const void*)material, (const void*)texture), index);
        WriteMaterial(index);
    }
    mOut += "usemtl ";
    mOut += mEntries[(size_t)index].mName.Buffer();
    mOut += '\n';
}

void VOxaWriterObj::WriteMaterial(int index) {
    if (!mMtlFile.IsOpen() || index < 0 || index >= (int)mEntries.size()) return;
    const MaterialEntry& entry = mEntries[(size_t)index];
    std::string out;
    out += "\nnewmtl ";
    out += entry.mName.Buffer();
    out += '\n';
    if (entry.mTexture != nullptr && entry.mTexture->GetTextureUse() == 0) {
        const char* file = entry.mTexture->GetFileName();
        VString name;
        CopyTextureFile(file, entry.mTexture->GetSourceFolder(), &name);
        out += "map_Kd ";
        out += voxa_obj::ObjLineText(name.Buffer());
        out += '\n';
    }
    VOxaColor ambient = entry.mMaterial->GetAmbient();
    VOxaColor diffuse = entry.mMaterial->GetDiffuse();
    VOxaColor specular = entry.mMaterial->GetSpecular();
    AppendVector3(out, "Ka", ambient.mRed, ambient.mGreen, ambient.mBlue);
    AppendVector3(out, "Kd", diffuse.mRed, diffuse.mGreen, diffuse.mBlue);
    AppendVector3(out, "Ks", specular.mRed, specular.mGreen, specular.mBlue);
    out += "illum 2\nNs ";
    AppendFixed(out, entry.mMaterial->GetShininess() * 100.0);
    // "d" (dissolve) is the opacity as every reader takes it; "Tr" would mean its complement.
    out += "\nd ";
    AppendFixed(out, entry.mMaterial->GetOpacity());
    out += '\n';
    mMtlFile.Write(out.data(), out.size());
}

bool VOxaWriterObj::CopyTextureFile(const char* sourcePath, const char* sourceFolder, VString* givenName) {
    return mTextureCopier.Copy(sourcePath, sourceFolder, mObjPath.Buffer(), mMessageText, givenName);
}

void VOxaWriterObj::WriteNode(VOxaNode* node) {
    if (node == nullptr) return;
    VOxaNodeAttribute* attribute = node->GetNodeAttribute();
    if (mRefused || attribute == nullptr || attribute->GetAttributeType() != VOxaNodeAttribute::eMesh) return;
    WriteMesh(node);
    if (mOut.size() >= kFlushSize) FlushObj();
}

void VOxaWriterObj::WriteMesh(VOxaNode* node) {
    VOxaMesh* mesh = static_cast<VOxaMesh*>(node->GetNodeAttribute());
    const int cpCount = mesh->GetControlPointsCount();
    VgeTVector* points = mesh->GetControlPoints();
    const int polygonCount = mesh->GetPolygonCount();
    const int vbase = mNextVertex;
    const int uvbase = mNextUV;
    const int nbase = mNextNormal;

    // Normals: one per control point when mapped so and complete; one per polygon vertex when
    // mapped by polygon vertex; otherwise none.
    VOxaLayer* layer0 = mesh->GetLayer(0);
    VOxaLayerElementNormal* normalElement = layer0 ? layer0->GetNormals() : nullptr;
    VgeTVector* normals = nullptr;
    bool normalsByCorner = false;
    if (normalElement != nullptr) {
        if (normalElement->GetMappingMode() == eBY_CONTROL_POINT &&
            normalElement->GetDirectArray().GetCount() >= cpCount && cpCount > 0)
            normals = normalElement->GetDirectArray().GetArray();
        else if (normalElement->GetMappingMode() == eBY_POLYGON_VERTEX)
            normalsByCorner = true;
    }

    const VgeVector2* uvs = mesh->GetTextureUV();
    const int uvCount = uvs ? mesh->GetTextureUVCount() : 0;
    const int uvMapping = mesh->GetTextureUVMappingMode();
    const int matCount = mesh->GetMaterialCount(0);
    const int matMapping = mesh->GetMaterialMappingMode();
    VArrayTemplate<int>* matIndices = mesh->GetMaterialIndices();
    const int texCount = mesh->GetTextureCount(0);
    const int texMapping = mesh->GetTextureMappingMode();
    VArrayTemplate<int>* texIndices = mesh->GetTextureIndices();

    // The matrix into world space, as the other geometry writers use it, and the one that
    // carries normals.
    VgeAMatrix m = VOxaGeometryWorldMatrix(node, mStart);
    VgeAMatrix n = VOxaGeometryNormalMatrix(m);

    // One word on one line, and distinct from the other groups' names in any case, as readers
    // merge groups of one name.
    mOut += "g ";
    mOut += mGroupNames.Take(voxa_obj::ObjName(node->GetNameWithoutPrefix()));
    mOut += '\n';

    if (mEvaluateDeformations && (mesh->GetShapeCount() > 0 || mesh->GetLinkCount() > 0) &&
        points != nullptr) {
        std::vector<VgeTVector> ends;
        if (normals != nullptr) {
            ends.resize((size_t)cpCount);
            for (int i = 0; i < cpCount; ++i)
                ends[(size_t)i] = points[i] + normals[i];
        }
        if (mesh->GetShapeCount() > 0) {
            ApplyShapeDeformation(mesh, points);
            if (normals != nullptr) ApplyShapeDeformation(mesh, ends.data());
        }
        if (mesh->GetLinkCount() > 0) {
            ApplySkinDeformation(m, mesh, points);
            if (normals != nullptr) ApplySkinDeformation(m, mesh, ends.data());
        }
        if (normals != nullptr)
            for (int i = 0; i < cpCount; ++i)
                normals[i] = ends[(size_t)i] - points[i];
    }

    // Vertices. A point that is not a finite number cannot be written: one that no polygon uses
    // is left out (the later ones number on without it); one that a polygon uses fails the Write.
    std::vector<VgeTVector>& world = mWorld;
    std::vector<int>& vertexNumber =
        mVertexNumbers;  // OBJ number - vbase per control point, once one is left out
    std::string refusal;
    if (!VOxaGeometryWorldPoints(node, mesh, m, "OBJ", world, vertexNumber, refusal)) {
        mError.SetLastError(eUNIDENTIFIED_ERROR, refusal.c_str());
        mRefused = true;
        return;
    }
    int written = 0;
    for (size_t i = 0; i < world.size(); ++i) {
        if (!vertexNumber.empty() && vertexNumber[i] < 0) continue;
        AppendVector3(mOut, "v", world[i][0], world[i][1], world[i][2]);
        ++written;
    }
    mNextVertex += written;
    auto vertexIndex = [&](int c) -> long long {
        if (!vertexNumber.empty() && c >= 0 && c < cpCount) return (long long)vertexNumber[(size_t)c] + vbase;
        return (long long)c + vbase;
    };

    // Texture coordinates.
    auto textureAt = [&](int polygon) -> VOxaTexture* {
        if (texMapping == eALL_SAME) return texCount > 0 ? mesh->GetTexture(texCount - 1, 0) : nullptr;
        if (texMapping == eBY_POLYGON && texIndices != nullptr && polygon < texIndices->GetCount())
            return mesh->GetTexture((*texIndices)[polygon], 0);
        return nullptr;
    };
    // The UV of a corner by the UV mapping, or null.
    auto cornerUV = [&](int polygon, int k, int c) -> const VgeVector2* {
        int at = -1;
        if (uvMapping == eBY_CONTROL_POINT)
            at = c;
        else if (uvMapping == eBY_POLYGON_VERTEX)
            at = mesh->GetTextureUVIndex(polygon, k);
        return (at >= 0 && at < uvCount) ? &uvs[at] : nullptr;
    };
    bool uvLines = false;           // "vt" lines were written for this mesh
    bool uvPerCorner = false;       // one "vt" line per corner that has a UV
    std::vector<char> cornerHasUV;  // per polygon vertex, for uvPerCorner
    // UVs are written whether or not a texture uses them.
    if (uvs != nullptr && uvCount > 0) {
        if (texCount == 0 || texMapping != eBY_POLYGON) {
            VOxaTexture* last =
                texCount > 0 && texMapping == eALL_SAME ? mesh->GetTexture(texCount - 1, 0) : nullptr;
            const bool swap = last != nullptr && last->GetUVSwap();
            for (int i = 0; i < uvCount; ++i)
                swap ? AppendUV(mOut, uvs[i][1], uvs[i][0]) : AppendUV(mOut, uvs[i][0], uvs[i][1]);
            mNextUV += uvCount;
            uvLines = true;
        } else {
            uvPerCorner = true;
            uvLines = true;
            cornerHasUV.reserve((size_t)mesh->GetPolygonVertexCount());
            for (int p = 0; p < polygonCount; ++p) {
                VOxaTexture* texture = textureAt(p);
                const bool swap = texture != nullptr && texture->GetUVSwap();
                const int size = mesh->GetPolygonSize(p);
                for (int k = 0; k < size; ++k) {
                    const VgeVector2* uv = cornerUV(p, k, mesh->GetPolygonVertex(p, k));
                    cornerHasUV.push_back(uv != nullptr);
                    if (uv == nullptr) continue;
                    swap ? AppendUV(mOut, (*uv)[1], (*uv)[0]) : AppendUV(mOut, (*uv)[0], (*uv)[1]);
                    ++mNextUV;
                }
            }
        }
    }

    // Normals.
    bool hasNormals = false;
    if (normals != nullptr) {
        for (int i = 0; i < cpCount; ++i) {
            VgeTVector v = n.MultT(normals[i]);  // column 3 holds the translation: not read
            v.Normalize();
            AppendNormal(mOut, v);
        }
        mNextNormal += cpCount;
        hasNormals = true;
    } else if (normalsByCorner) {
        for (int p = 0; p < polygonCount; ++p) {
            const int size = mesh->GetPolygonSize(p);
            for (int k = 0; k < size; ++k) {
                VgeTVector normal;
                mesh->GetPolygonVertexNormal(p, k, normal);
                VgeTVector v = n.MultT(normal);
                v.Normalize();
                AppendNormal(mOut, v);
                ++mNextNormal;
            }
        }
        hasNormals = true;
    }

    // Material selection.
    const bool uniform =
        !((matCount >= 1 && matMapping != eALL_SAME) || (texCount >= 1 && texMapping != eALL_SAME));
    const bool has = matCount > 0 || texCount > 0;
    if (has && uniform) {
        VOxaTexture* texture = texCount > 0 ? mesh->GetTexture(texCount - 1, 0) : nullptr;
        VOxaMaterial* material = matCount > 0 ? mesh->GetMaterial(matCount - 1, 0) : mDefaultMaterial;
        UseMaterial(material, texture);
    } else if (!has && mMtlNeeded) {
        UseMaterial(mDefaultMaterial, nullptr);
    }

    // Faces.
    VOxaMaterial* previousMaterial = nullptr;
    VOxaTexture* previousTexture = nullptr;
    int running = uvbase;
    int corner = 0;  // position over all polygon vertices
    int nrunning = nbase;
    for (int p = 0; p < polygonCount; ++p) {
        const int size = mesh->GetPolygonSize(p);
        if (!uniform) {
            VOxaMaterial* material = nullptr;
            if (matCount == 0) {
                material = mDefaultMaterial;
            } else if (matMapping == eALL_SAME) {
                material = mesh->GetMaterial(matCount - 1, 0);
            } else if (matMapping == eBY_POLYGON) {
                if (matIndices != nullptr && p < matIndices->GetCount())
                    material = mesh->GetMaterial((*matIndices)[p], 0);
            } else if (matMapping == eBY_CONTROL_POINT) {
                material = mesh->GetMaterial(mesh->GetPolygonVertex(p, 0), 0);
            }
            VOxaTexture* texture = textureAt(p);
            if (material != previousMaterial || texture != previousTexture) {
                previousMaterial = material;
                previousTexture = texture;
                UseMaterial(material, texture);
            }
        }
        mOut += 'f';
        for (int k = 0; k < size; ++k, ++corner) {
            const int c = mesh->GetPolygonVertex(p, k);
            mOut += ' ';
            AppendInt(mOut, vertexIndex(c));
            int uvIndex = 0;  // 0: no UV part
            if (uvLines) {
                if (uvPerCorner) {
                    if ((size_t)corner < cornerHasUV.size() && cornerHasUV[(size_t)corner])
                        uvIndex = running++;
                } else if (uvMapping == eBY_CONTROL_POINT) {
                    if (c >= 0 && c < uvCount) uvIndex = c + uvbase;
                } else if (uvMapping == eBY_POLYGON_VERTEX) {
                    const int at = mesh->GetTextureUVIndex(p, k);
                    if (at >= 0 && at < uvCount) uvIndex = at + uvbase;
                }
            }
            int normalIndex = 0;
            if (hasNormals)
                normalIndex = normals != nullptr ? (c >= 0 && c < cpCount ? c + nbase : 0) : nrunning++;
            if (uvIndex == 0 && normalIndex == 0) continue;
            mOut += '/';
            if (uvIndex != 0) AppendInt(mOut, uvIndex);
            if (normalIndex != 0) {
                mOut += '/';
                AppendInt(mOut, normalIndex);
            }
        }
        mOut += '\n';
    }
}
