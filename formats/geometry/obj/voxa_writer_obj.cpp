#include "formats/geometry/obj/voxa_writer_obj.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "attributes/voxa_geometry_converter.h"
#include "attributes/voxa_layer.h"
#include "attributes/voxa_material.h"
#include "attributes/voxa_mesh.h"
#include "attributes/voxa_texture.h"
#include "base/vallocation_hook.h"
#include "base/vpath.h"
#include "formats/geometry/obj/voxa_obj_mtllib.h"
#include "formats/geometry/obj/voxa_obj_text.h"
#include "formats/geometry/voxa_geometry_deform.h"
#include "formats/geometry/voxa_geometry_write.h"
#include "formats/geometry/voxa_material_extras.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

using voxa_obj::AppendInt;
using voxa_obj::AppendShortest;
using voxa_obj::AppendShortestSingle;

namespace {

constexpr size_t kFlushSize = 1 << 20;

void AppendVector3(std::string& out, const char* keyword, double x, double y, double z) {
    out += keyword;
    out += ' ';
    AppendShortest(out, x);
    out += ' ';
    AppendShortest(out, y);
    out += ' ';
    AppendShortest(out, z);
    out += '\n';
}

// A colour of a material, held in single precision (it may lie above 1); the caller leaves out a
// colour that is not finite.
void AppendColor(std::string& out, const char* keyword, const VgeTVector& color) {
    out += keyword;
    for (int i = 0; i < 3; ++i) {
        out += ' ';
        AppendShortestSingle(out, color[i]);
    }
    out += '\n';
}

// A normal or UV component that is not a finite number is written as 0: faces use them, and a
// reader would shade or map them with "nan".
double FiniteOrZero(double value) {
    return std::isfinite(value) ? value : 0.0;
}

// A "vt" line; `w` is written when it is given and finite.
void AppendUV(std::string& out, double u, double v, const double* w = nullptr) {
    out += "vt ";
    AppendShortest(out, FiniteOrZero(u));
    out += ' ';
    AppendShortest(out, FiniteOrZero(v));
    if (w != nullptr && std::isfinite(*w)) {
        out += ' ';
        AppendShortest(out, *w);
    }
    out += '\n';
}

void AppendNormal(std::string& out, const VgeTVector& n) {
    AppendVector3(out, "vn", FiniteOrZero(n[0]), FiniteOrZero(n[1]), FiniteOrZero(n[2]));
}

size_t HashBits(const double* value) {
    uint64_t h = 0x9e3779b97f4a7c15ULL;
    for (int c = 0; c < 3; ++c) {
        uint64_t bits = 0;
        std::memcpy(&bits, &value[c], sizeof bits);
        h = (h ^ bits) * 0xff51afd7ed558ccdULL;
        h ^= h >> 32;
    }
    return (size_t)h;
}

}  // namespace

void VOxaWriterObj::ValueTable::Clear() {
    std::vector<WrittenValue>().swap(mEntries);
    std::vector<int>().swap(mSlots);
}

int VOxaWriterObj::ValueTable::Find(const double value[3], size_t& slot) const {
    if (mSlots.empty()) {
        slot = 0;
        return -1;
    }
    const size_t mask = mSlots.size() - 1;
    for (slot = HashBits(value) & mask; mSlots[slot] >= 0; slot = (slot + 1) & mask) {
        const WrittenValue& entry = mEntries[(size_t)mSlots[slot]];
        if (std::memcmp(entry.mValue, value, sizeof entry.mValue) == 0) return mSlots[slot];
    }
    return -1;
}

void VOxaWriterObj::ValueTable::Add(size_t slot, const double value[3], int number, int mesh) {
    if ((mEntries.size() + 1) * 2 > mSlots.size()) {
        mSlots.assign(std::max<size_t>(16, mSlots.size() * 2), -1);
        const size_t mask = mSlots.size() - 1;
        for (size_t i = 0; i < mEntries.size(); ++i) {
            size_t at = HashBits(mEntries[i].mValue) & mask;
            while (mSlots[at] >= 0)
                at = (at + 1) & mask;
            mSlots[at] = (int)i;
        }
        Find(value, slot);
    }
    mSlots[slot] = (int)mEntries.size();
    mEntries.push_back(WrittenValue{{value[0], value[1], value[2]}, number, mesh});
}

template <typename Append>
int VOxaWriterObj::ShareLine(ValueTable& table, const double value[3], bool once, int& next, Append append) {
    size_t slot = 0;
    const int found = table.Find(value, slot);
    if (found >= 0) {
        WrittenValue& entry = table.mEntries[(size_t)found];
        if (!once || entry.mMesh != mMeshSerial) {
            entry.mMesh = mMeshSerial;
            return entry.mNumber;
        }
    }
    const int number = next++;
    append();
    if (found < 0) table.Add(slot, value, number, mMeshSerial);
    return number;
}

VOxaWriter* CreateObjWriter(VOxaSdkManager* manager) {
    return oxa_alloc::Counted(new (std::nothrow) VOxaWriterObj(manager));
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
    // The name is written after "mtllib", which readers split into names at blanks: the file is
    // named as one word ("my scene.obj" gets "my_scene.mtl"), in the case the OBJ is written in
    // ("Model.obj" gets "Model.mtl", apart from the "model.mtl" of a "model.obj" beside it).
    path.replace(nameStart, std::string::npos, voxa_obj::ObjName(std::string_view(path).substr(nameStart)));
    std::string lower(path);
    for (size_t i = nameStart; i < lower.size(); ++i)
        lower[i] = voxa_obj::LowerAscii(lower[i]);
    size_t at = lower.find(".obj", nameStart);
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
    if (!VOxaCheckSceneMeshes(scene, "OBJ", mError)) return false;
    VOxaNode* root = scene ? scene->GetRootNode() : nullptr;
    if (root == nullptr) return false;

    VStreamOptionsObj* objOptions = static_cast<VStreamOptionsObj*>(options);
    mForceTriangulation = objOptions->GetOptionValue(VStreamOptionsObj::eFORCE_TRIANGULATION) == 1;
    mEvaluateDeformations = objOptions->GetOptionValue(VStreamOptionsObj::eEVALUATE_DEFORMATIONS) == 1;
    mMtlNeeded = false;
    mRefused = false;
    mNotNumbers = 0;
    mSmoothing = 0;
    mTextureCopier.Begin(options);
    mTextureCopier.Reserve(GetFileName(MakeMaterialPath(mObjPath.Buffer()).Buffer(), true).Buffer());

    mStart = VOxaGeometryTakeStart(scene);
    // NURBS surfaces and patches, and meshes when triangulation is forced, are written from
    // triangulated copies that this Write owns.
    VOxaWriteMeshes meshes(mManager, mForceTriangulation);
    mMeshes = &meshes;
    PrepareNodes(root);
    if (!VOxaHoldsGeometry(root)) {
        mMeshes = nullptr;
        mObjFile.Abandon();
        mError.SetLastError(eFILE_NOT_CREATED, kVOxaNoGeometry);
        return false;
    }

    mOut += "# \n# Corvelund OBJ file\n# Created with Morvane OXA\n# \n";
    if (mMtlNeeded) {
        // Without its material file the OBJ would name one that is not there: the write fails
        // (the file's group keeps why).
        if (!OpenMaterialFile()) {
            mMeshes = nullptr;
            mObjFile.MarkFailed();
            mError.SetLastErrorID(eFILE_NOT_CREATED);
            return false;
        }
        mOut += "mtllib ";
        mOut += mMtlName.Buffer();
        mOut += "\n\n";
        mMaterialNames.Take("default");
        if (mManager != nullptr) mDefaultMaterial = mManager->CreateMaterial("default");
        // Made here, it states nothing but its colour.
        voxa_obj::StateColourAlone(mDefaultMaterial);
    }

    VOxaWalkPreOrder(root, [this](VOxaNode* node) { WriteNode(node); });
    mMeshes = nullptr;
    // Lines are shared within one Write.
    mWrittenPoints.Clear();
    mWrittenNormals.Clear();
    mWrittenUVs.Clear();

    if (mDefaultMaterial != nullptr) {
        if (mManager != nullptr) mManager->DestroyMaterial(mDefaultMaterial);
        mDefaultMaterial = nullptr;
    }
    if (mRefused) {
        mUnheld.TakeText("OBJ");
        // Neither file is put in place: the OBJ file's close answers false.
        mMtlFile.Abandon();
        CloseMaterialFile();
        mOut.clear();
        mObjFile.MarkFailed();
        return false;
    }
    const bool materialsOk = CloseMaterialFile();
    mMessageText += mUnheld.TakeText("OBJ").c_str();
    mMessageText += voxa_extras::Unheld3dsValues(root, "OBJ").c_str();
    if (mNotNumbers > 0) {
        if (!mMessageText.IsEmpty() && mMessageText.Buffer()[mMessageText.GetLen() - 1] != '\n')
            mMessageText += "\n";
        mMessageText += (VOxaNotNumberPointsWarning(mNotNumbers, "OBJ") + "\n").c_str();
    }

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
        VOxaMesh* container = mMeshes ? mMeshes->Get(node) : nullptr;
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
    // Of a map, OBJ holds the image, its offset and scale, its clamping and a bump map's
    // strength; a turn or any other strength is named in the material's warning.
    const std::string materialName = entry.mMaterial->GetNameWithoutPrefix();
    auto noteMap = [&](const VOxaTexture* map, bool bump) {
        if (*map->GetFileName() == '\0') return;
        const double w = map->GetRotationW();
        if (std::isfinite(w) && w != 0.0) mUnheld.Note(materialName, "its map rotation");
        if (!bump && map->GetDefaultAlpha() != 1.0) mUnheld.Note(materialName, "its map percentages");
    };
    if (entry.mTexture != nullptr && entry.mTexture->GetTextureUse() == 0) {
        AppendMapLine(out, "map_Kd", entry.mTexture);
        noteMap(entry.mTexture, false);
    }
    // The material's other maps, in the order of their roles.
    static const char* const keywords[] = {"map_Ks", "map_Ns", "map_d", "map_bump",
                                           "map_Ke", "refl",   "map_Ka"};
    static_assert(sizeof(keywords) / sizeof(keywords[0]) == VOxaMaterial::eMAP_ROLE_COUNT,
                  "a keyword per role");
    for (int role = 0; role < VOxaMaterial::eMAP_ROLE_COUNT; ++role) {
        if (VOxaTexture* map = entry.mMaterial->GetMap(static_cast<VOxaMaterial::EMapRole>(role))) {
            AppendMapLine(out, keywords[role], map);
            noteMap(map, role == VOxaMaterial::eMAP_BUMP);
        }
    }
    // A value that is not a finite number is no value: its line is left out, and the material
    // named in the warning.
    auto unheld = [&](const char* keyword) {
        mUnheld.Note(materialName,
                     std::string("its \"") + keyword + "\" value, which is not a finite number");
    };
    auto color = [&](const char* keyword, double r, double g, double b) {
        if (std::isfinite(r) && std::isfinite(g) && std::isfinite(b))
            AppendColor(out, keyword, VgeTVector(r, g, b, 0.0));
        else
            unheld(keyword);
    };
    const VOxaColor ambient = entry.mMaterial->GetAmbient();
    const VOxaColor diffuse = entry.mMaterial->GetDiffuse();
    // A black colour and a shininess of 0 are what a reader takes for a line that is not there; such lines
    // are left out, so that nothing is stated that neither the source file nor the scene's user stated.
    auto black = [](double r, double g, double b) { return r == 0.0 && g == 0.0 && b == 0.0; };
    if (!black(ambient.mRed, ambient.mGreen, ambient.mBlue))
        color("Ka", ambient.mRed, ambient.mGreen, ambient.mBlue);
    color("Kd", diffuse.mRed, diffuse.mGreen, diffuse.mBlue);
    // The highlight and glow as the material holds them, above 1 too.
    VgeTVector specular, emissive;
    entry.mMaterial->GetDefaultSpecular(specular);
    entry.mMaterial->GetDefaultEmissive(emissive);
    if (!black(specular[0], specular[1], specular[2])) color("Ks", specular[0], specular[1], specular[2]);
    if (!black(emissive[0], emissive[1], emissive[2])) color("Ke", emissive[0], emissive[1], emissive[2]);
    // The illumination model the source file gave (none when it gave none), else the one with a
    // highlight.
    std::string kept;
    if (!voxa_obj::GetKeptStatement(entry.mMaterial, "illum", kept)) kept = "2";
    if (!kept.empty() && kept.find_first_of("\r\n") == std::string::npos) {
        out += "illum ";
        out += kept;
        out += '\n';
    }
    const double shininess = entry.mMaterial->GetShininess() * 100.0;
    if (shininess == 0.0) {
    } else if (std::isfinite(shininess)) {
        out += "Ns ";
        AppendShortestSingle(out, (float)shininess);
        out += '\n';
    } else {
        unheld("Ns");
    }
    // "d" (dissolve) is the opacity as every reader takes it; "Tr" would mean its complement.
    const double opacity = entry.mMaterial->GetOpacity();
    if (std::isfinite(opacity)) {
        out += "d ";
        AppendShortestSingle(out, opacity);
        out += '\n';
    } else {
        unheld("d");
    }
    // The statements of the source file that the material holds in no field of its own.
    for (size_t i = 1; i < voxa_obj::kKeptStatementCount; ++i) {
        if (!voxa_obj::GetKeptStatement(entry.mMaterial, voxa_obj::kKeptStatements[i], kept)) continue;
        if (std::strcmp(voxa_obj::kKeptStatements[i], "Tr") == 0 &&
            !voxa_obj::KeptTransparencyHolds(entry.mMaterial, kept, opacity)) {
            // The opacity changed since the statement was read: it is stated anew, as the
            // complement of the opacity written.
            if (!std::isfinite(opacity)) continue;
            std::string now;
            AppendShortestSingle(now, 1.0 - opacity);
            mUnheld.Note(materialName, "its \"Tr " + kept +
                                           "\" beside the changed opacity (written as \"Tr " + now + "\")");
            kept = now;
        }
        out += voxa_obj::kKeptStatements[i];
        if (!kept.empty()) out += ' ';
        // One line, whatever the property was given.
        for (char c : kept)
            out += (c == '\n' || c == '\r') ? ' ' : c;
        out += '\n';
    }
    mMtlFile.Write(out.data(), out.size());
}

void VOxaWriterObj::AppendMapLine(std::string& out, const char* keyword, VOxaTexture* texture) {
    if (*texture->GetFileName() == '\0') return;
    VString name;
    CopyTextureFile(texture->GetFileName(), texture->GetSourceFolder(), &name);
    const std::string options = voxa_obj::GetMapOptions(texture);
    out += keyword;
    // The texture's placement, unless the kept options give it (with a w of their own).
    const double tu = texture->GetTranslationU(), tv = texture->GetTranslationV();
    if (!voxa_obj::HasMapOption(options, "-o") && std::isfinite(tu) && std::isfinite(tv) &&
        (tu != 0.0 || tv != 0.0)) {
        // All three numbers: some readers take three whatever follows.
        out += " -o ";
        AppendShortestSingle(out, tu);
        out += ' ';
        AppendShortestSingle(out, tv);
        out += " 0";
    }
    const double su = texture->GetScaleU(), sv = texture->GetScaleV();
    if (!voxa_obj::HasMapOption(options, "-s") && std::isfinite(su) && std::isfinite(sv) &&
        (su != 1.0 || sv != 1.0)) {
        out += " -s ";
        AppendShortestSingle(out, su);
        out += ' ';
        AppendShortestSingle(out, sv);
        out += " 1";
    }
    // A clamped texture and a bump map's strength, unless the kept options give them.
    if (texture->GetWrapModeU() != 0 && !voxa_obj::HasMapOption(options, "-clamp")) out += " -clamp on";
    const double strength = texture->GetDefaultAlpha();
    if (std::strcmp(keyword, "map_bump") == 0 && !voxa_obj::HasMapOption(options, "-bm") &&
        std::isfinite(strength) && strength != 1.0) {
        out += " -bm ";
        AppendShortestSingle(out, strength);
    }
    // A reflection map names its projection; a sphere when none was read.
    if (std::strcmp(keyword, "refl") == 0 && !voxa_obj::HasMapOption(options, "-type"))
        out += " -type sphere";
    if (!options.empty()) {
        out += ' ';
        out += voxa_obj::ObjLineText(options);
    }
    out += ' ';
    out += voxa_obj::ObjLineText(name.Buffer());
    out += '\n';
}

bool VOxaWriterObj::CopyTextureFile(const char* sourcePath, const char* sourceFolder, VString* givenName) {
    return mTextureCopier.Copy(sourcePath, sourceFolder, mObjPath.Buffer(), mMessageText, givenName);
}

void VOxaWriterObj::WriteNode(VOxaNode* node) {
    if (node == nullptr) return;
    VOxaMesh* mesh = mMeshes ? mMeshes->Get(node) : nullptr;
    if (mRefused || mesh == nullptr) return;
    WriteMesh(node, mesh);
    if (mOut.size() >= kFlushSize) FlushObj();
}

void VOxaWriterObj::WriteMesh(VOxaNode* node, VOxaMesh* mesh) {
    const int cpCount = mesh->GetControlPointsCount();
    VgeTVector* points = mesh->GetControlPoints();
    const int polygonCount = mesh->GetPolygonCount();
    const int vbase = mNextVertex;

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
    // The third UV coordinates, where the UVs have them.
    const VOxaLayerElementUV* uvElement = layer0 ? layer0->GetUVs() : nullptr;
    auto uvW = [&](int i, double& w) -> const double* {
        return uvElement != nullptr && uvElement->GetDirectArray().GetArray() == uvs && uvElement->GetW(i, w)
                   ? &w
                   : nullptr;
    };
    const int matCount = mesh->GetMaterialCount(0);
    VArrayTemplate<int>* matIndices = mesh->GetMaterialIndices();
    const int texCount = mesh->GetTextureCount(0);
    // Materials or textures added without a mapping (a scene built in code) are mapped to the
    // whole mesh, as the other geometry writers take them.
    const int matMapping = matCount > 0 && mesh->GetMaterialMappingMode() == eNO_MAPPING
                               ? (int)eALL_SAME
                               : mesh->GetMaterialMappingMode();
    const int texMapping = texCount > 0 && mesh->GetTextureMappingMode() == eNO_MAPPING
                               ? (int)eALL_SAME
                               : mesh->GetTextureMappingMode();
    VArrayTemplate<int>* texIndices = mesh->GetTextureIndices();

    // The matrix into world space, as the other geometry writers use it, and the one that
    // carries normals.
    VgeAMatrix m = VOxaGeometryWorldMatrix(node, mStart);
    VgeAMatrix n = VOxaGeometryNormalMatrix(m);
    // A matrix that mirrors turns the faces inside out: their corners are written the other way
    // round, so that each face keeps facing as its normals do.
    const double(*rows)[4] = reinterpret_cast<const double(*)[4]>((const double*)m);
    const bool mirrored = VgeMatrixDeterminant3(rows) < 0.0;

    // One word on one line, and distinct from the other groups' names in any case, as readers
    // merge groups of one name.
    mOut += "g ";
    mOut += mGroupNames.Take(voxa_obj::ObjName(node->GetNameWithoutPrefix()));
    mOut += '\n';

    // The deformed shape is worked out on copies of the points and normals: the scene keeps its
    // mesh.
    const VgeTVector* deformed = nullptr;
    if (mEvaluateDeformations && (mesh->GetShapeCount() > 0 || mesh->GetLinkCount() > 0) &&
        points != nullptr) {
        mDeformed.assign(points, points + cpCount);
        points = mDeformed.data();
        deformed = points;
        if (normals != nullptr) {
            mDeformedNormals.assign(normals, normals + cpCount);
            normals = mDeformedNormals.data();
        }
        VOxaGeometry* own = dynamic_cast<VOxaGeometry*>(node->GetNodeAttribute());
        std::vector<VgeTVector> ends;
        if (normals != nullptr) {
            ends.resize((size_t)cpCount);
            for (int i = 0; i < cpCount; ++i)
                ends[(size_t)i] = points[i] + normals[i];
        }
        if (mesh->GetShapeCount() > 0) {
            ApplyShapeDeformation(mesh, points, own);
            if (normals != nullptr) ApplyShapeDeformation(mesh, ends.data(), own);
        }
        if (mesh->GetLinkCount() > 0) {
            ApplySkinDeformation(m, mesh, points);
            if (normals != nullptr) ApplySkinDeformation(m, mesh, ends.data());
        }
        if (normals != nullptr)
            for (int i = 0; i < cpCount; ++i)
                normals[i] = ends[(size_t)i] - points[i];
    }

    // Vertices. A point that is not a finite number is written as it stands ("v nan nan nan")
    // while no polygon uses it; one that a polygon uses fails the Write. A point the faces use
    // names the line an earlier mesh wrote at its very position.
    ++mMeshSerial;
    std::vector<VgeTVector>& world = mWorld;
    std::vector<int>& vertexNumber = mVertexNumbers;  // the OBJ number of each control point
    std::string refusal;
    if (!VOxaGeometryWorldPoints(node, mesh, m, "OBJ", world, vertexNumber, refusal, deformed, true)) {
        mError.SetLastError(eUNIDENTIFIED_ERROR, refusal.c_str());
        mRefused = true;
        return;
    }
    {
        const std::vector<char> used = VOxaUsedControlPoints(mesh, (int)world.size());
        vertexNumber.resize(world.size());
        for (size_t i = 0; i < world.size(); ++i) {
            const VgeTVector& p = world[i];
            // A coordinate that is no number is "nan", whatever its sign bit.
            auto append = [&] {
                AppendVector3(mOut, "v", std::isnan(p[0]) ? std::fabs(p[0]) : p[0],
                              std::isnan(p[1]) ? std::fabs(p[1]) : p[1],
                              std::isnan(p[2]) ? std::fabs(p[2]) : p[2]);
            };
            if (used[i]) {
                const double value[3] = {p[0], p[1], p[2]};
                vertexNumber[i] = ShareLine(mWrittenPoints, value, true, mNextVertex, append);
            } else {
                // A point no face uses stays after its own group's line, where a reader finds it.
                if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) ++mNotNumbers;
                append();
                vertexNumber[i] = mNextVertex++;
            }
        }
    }
    auto vertexIndex = [&](int c) -> long long {
        if (c >= 0 && c < (int)vertexNumber.size()) return vertexNumber[(size_t)c];
        return (long long)c + vbase;
    };

    // A two-textured mesh keeps, per polygon, its first (base) map on the second texture layer
    // and the map laid over it on layer 0; the base map is the one OBJ's "map_Kd" stands for.
    const VOxaLayer* baseLayer = mesh->GetLayerCountOfType(VOxaLayerElement::eTEXTURE) >= 2
                                     ? mesh->GetLayerOfType(1, VOxaLayerElement::eTEXTURE)
                                     : nullptr;
    const VOxaLayerElementTexture* baseTextures = baseLayer ? baseLayer->GetTextures() : nullptr;
    if (baseTextures != nullptr && (baseTextures->GetMappingMode() != eBY_POLYGON ||
                                    baseTextures->GetReferenceMode() != eINDEX_TO_DIRECT))
        baseTextures = nullptr;

    // Texture coordinates.
    auto textureAt = [&](int polygon) -> VOxaTexture* {
        if (texMapping == eALL_SAME) return texCount > 0 ? mesh->GetTexture(texCount - 1, 0) : nullptr;
        if (texMapping == eBY_POLYGON && baseTextures != nullptr &&
            polygon < baseTextures->GetIndexArray().GetCount()) {
            const int base = baseTextures->GetIndexArray().GetAt(polygon);
            if (base >= 0 && base < texCount) return mesh->GetTexture(base, 0);
        }
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
    // The number of the "vt" line of a UV, shared with an earlier mesh's line of the same text.
    auto uvLine = [&](double u, double v, const double* given) {
        const double value[3] = {
            FiniteOrZero(u), FiniteOrZero(v),
            given != nullptr && std::isfinite(*given) ? *given : std::numeric_limits<double>::quiet_NaN()};
        return ShareLine(mWrittenUVs, value, false, mNextUV, [&] { AppendUV(mOut, u, v, given); });
    };
    std::vector<int>& uvNumber = mUVNumbers;  // per UV, for the UVs not written per corner
    uvNumber.clear();
    bool uvLines = false;  // "vt" lines were written for this mesh
    // Textures by polygon: each polygon's UVs are written in the order its texture wants them,
    // each UV once per order, and the corners name theirs by number (0: none).
    bool uvPerCorner = false;
    std::vector<int> cornerUVNumber;  // per polygon vertex, for uvPerCorner
    // UVs are written whether or not a texture uses them.
    if (uvs != nullptr && uvCount > 0) {
        if (texCount == 0 || texMapping != eBY_POLYGON) {
            VOxaTexture* last =
                texCount > 0 && texMapping == eALL_SAME ? mesh->GetTexture(texCount - 1, 0) : nullptr;
            const bool swap = last != nullptr && last->GetUVSwap();
            uvNumber.resize((size_t)uvCount);
            for (int i = 0; i < uvCount; ++i) {
                double w;
                const double* given = uvW(i, w);
                uvNumber[(size_t)i] =
                    swap ? uvLine(uvs[i][1], uvs[i][0], given) : uvLine(uvs[i][0], uvs[i][1], given);
            }
            uvLines = true;
        } else {
            uvPerCorner = true;
            uvLines = true;
            cornerUVNumber.reserve((size_t)mesh->GetPolygonVertexCount());
            std::vector<int> written((size_t)uvCount * 2, 0);  // per UV and order, its number
            for (int p = 0; p < polygonCount; ++p) {
                VOxaTexture* texture = textureAt(p);
                const bool swap = texture != nullptr && texture->GetUVSwap();
                const int size = mesh->GetPolygonSize(p);
                for (int k = 0; k < size; ++k) {
                    const VgeVector2* uv = cornerUV(p, k, mesh->GetPolygonVertex(p, k));
                    if (uv == nullptr) {
                        cornerUVNumber.push_back(0);
                        continue;
                    }
                    const int at = (int)(uv - uvs);
                    int& number = written[(size_t)at * 2 + (swap ? 1 : 0)];
                    if (number == 0) {
                        double w;
                        const double* given = uvW(at, w);
                        number = swap ? uvLine((*uv)[1], (*uv)[0], given) : uvLine((*uv)[0], (*uv)[1], given);
                    }
                    cornerUVNumber.push_back(number);
                }
            }
        }
    }

    // Normals. One that is zero or not a number (smoothing whose face normals cancel, a face
    // without area) is no direction and gets no "vn" line: the corners that use it take their
    // polygon's own normal instead, or, a polygon without area having none, the polygon is
    // written without normals.
    bool hasNormals = false;
    std::vector<int>& normalNumber = mNormalNumbers;  // per control point, or per polygon vertex; 0 none
    normalNumber.clear();
    bool anyBad = false;
    // Normals mostly repeat (a smooth surface, a flat face, points split for their UVs, meshes
    // side by side): each distinct value is written once and numbered for every point or corner
    // that holds it.
    size_t items = 0;
    if (normals != nullptr) {
        items = (size_t)cpCount;
    } else if (normalsByCorner) {
        for (int p = 0; p < polygonCount; ++p)
            items += (size_t)std::max(0, mesh->GetPolygonSize(p));
    }
    auto appendNormal = [&](const VgeTVector& normal) {
        VgeTVector v = n.MultT(normal);  // column 3 holds the translation: not read
        v.Normalize();
        const double length2 = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
        if (!(length2 > 0.0) || !std::isfinite(length2)) {
            anyBad = true;
            normalNumber.push_back(0);
            return;
        }
        const double value[3] = {v[0], v[1], v[2]};
        normalNumber.push_back(
            ShareLine(mWrittenNormals, value, false, mNextNormal, [&] { AppendNormal(mOut, v); }));
    };
    normalNumber.reserve(items);
    if (normals != nullptr) {
        for (int i = 0; i < cpCount; ++i)
            appendNormal(normals[i]);
        hasNormals = true;
    } else if (normalsByCorner) {
        for (int p = 0; p < polygonCount; ++p) {
            const int size = mesh->GetPolygonSize(p);
            for (int k = 0; k < size; ++k) {
                VgeTVector normal;
                mesh->GetPolygonVertexNormal(p, k, normal);
                appendNormal(normal);
            }
        }
        hasNormals = true;
    }
    // The own normal of each polygon that has a corner without one, by Newell's method over all
    // its corners (so a polygon whose first corners lie on a line still gets one), in world space.
    std::vector<int>& ownNormal = mOwnNormals;  // per polygon, its "vn" number, 0 none
    ownNormal.clear();
    if (anyBad) {
        ownNormal.assign((size_t)polygonCount, 0);
        int corner = 0;
        for (int p = 0; p < polygonCount; ++p) {
            const int size = mesh->GetPolygonSize(p);
            bool marked = false;
            for (int k = 0; k < size; ++k) {
                const size_t at =
                    normals != nullptr ? (size_t)mesh->GetPolygonVertex(p, k) : (size_t)(corner + k);
                if (at < normalNumber.size() && normalNumber[at] == 0) marked = true;
            }
            corner += size;
            if (!marked) continue;
            VgeTVector own(0.0, 0.0, 0.0, 0.0);
            for (int k = 0; k < size; ++k) {
                const int a = mesh->GetPolygonVertex(p, k), b = mesh->GetPolygonVertex(p, (k + 1) % size);
                if (a < 0 || b < 0 || (size_t)a >= world.size() || (size_t)b >= world.size()) continue;
                const VgeTVector& pa = world[(size_t)a];
                const VgeTVector& pb = world[(size_t)b];
                own[0] += (pa[1] - pb[1]) * (pa[2] + pb[2]);
                own[1] += (pa[2] - pb[2]) * (pa[0] + pb[0]);
                own[2] += (pa[0] - pb[0]) * (pa[1] + pb[1]);
            }
            // A polygon without area has no normal of its own.
            if (!(own[0] * own[0] + own[1] * own[1] + own[2] * own[2] > 0.0)) continue;
            own.Normalize();
            if (mirrored) own = VgeTVector(-own[0], -own[1], -own[2], 0.0);
            AppendNormal(mOut, own);
            ownNormal[(size_t)p] = mNextNormal++;
        }
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

    // Faces, each in its smoothing group; a mesh that keeps none has its faces in none (their
    // normals say how they shade).
    const VOxaLayerElementPolygonGroup* smoothing = VOxaSmoothingMasks(mesh);
    VOxaMaterial* previousMaterial = nullptr;
    VOxaTexture* previousTexture = nullptr;
    int corner = 0;  // position over all polygon vertices
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
            // A map laid over the base map has no place in the material.
            if (baseTextures != nullptr && material != nullptr && texIndices != nullptr &&
                p < texIndices->GetCount()) {
                const int over = (*texIndices)[p];
                VOxaTexture* overlay = over >= 0 && over < texCount ? mesh->GetTexture(over, 0) : nullptr;
                if (overlay != nullptr && overlay != texture && *overlay->GetFileName() != '\0')
                    mUnheld.Note(material->GetNameWithoutPrefix(), "its second texture map");
            }
            if (material != previousMaterial || texture != previousTexture) {
                previousMaterial = material;
                previousTexture = texture;
                UseMaterial(material, texture);
            }
        }
        // A corner's normal: its own, else its polygon's; a polygon with a corner left without
        // one is written without normals, as OBJ gives every corner of a face the same parts.
        bool faceNormals = hasNormals;
        if (faceNormals && anyBad) {
            for (int k = 0; k < size && faceNormals; ++k) {
                const int c = mesh->GetPolygonVertex(p, k);
                const size_t at = normals != nullptr ? (size_t)c : (size_t)(corner + k);
                if ((at >= normalNumber.size() || normalNumber[at] == 0) && ownNormal[(size_t)p] == 0)
                    faceNormals = false;
            }
        }
        const uint32_t group = VOxaSmoothingMaskOf(smoothing, p);
        if (group != mSmoothing) {
            mSmoothing = group;
            if (group == 0) {
                mOut += "s off\n";
            } else {
                mOut += "s ";
                AppendInt(mOut, (long long)group);
                mOut += '\n';
            }
        }
        mOut += 'f';
        const int firstCorner = corner;
        corner += size;
        for (int i = 0; i < size; ++i) {
            const int k = mirrored ? size - 1 - i : i;
            const int at = firstCorner + k;
            const int c = mesh->GetPolygonVertex(p, k);
            mOut += ' ';
            AppendInt(mOut, vertexIndex(c));
            int uvIndex = 0;  // 0: no UV part
            if (uvLines) {
                if (uvPerCorner) {
                    if ((size_t)at < cornerUVNumber.size()) uvIndex = cornerUVNumber[(size_t)at];
                } else if (uvMapping == eBY_CONTROL_POINT) {
                    if (c >= 0 && c < uvCount) uvIndex = uvNumber[(size_t)c];
                } else if (uvMapping == eBY_POLYGON_VERTEX) {
                    const int at = mesh->GetTextureUVIndex(p, k);
                    if (at >= 0 && at < uvCount) uvIndex = uvNumber[(size_t)at];
                }
            }
            int normalIndex = 0;
            if (faceNormals) {
                const size_t slot = normals != nullptr ? (size_t)c : (size_t)at;
                normalIndex = slot < normalNumber.size() ? normalNumber[slot] : 0;
                if (normalIndex == 0 && !ownNormal.empty()) normalIndex = ownNormal[(size_t)p];
            }
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
