#include "formats/geometry/voxa_geometry_write.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "attributes/voxa_geometry_converter.h"
#include "attributes/voxa_layer.h"
#include "attributes/voxa_mesh.h"
#include "base/verror.h"
#include "base/vpath.h"
#include "base/vprintable_text.h"
#include "base/vsafe_output_file.h"
#include "oxa_codec/voxa_writer.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_info.h"

namespace {

// True when triangulating `mesh` would give back its points, its polygons and the materials of
// its layer 0 as they are (see VOxaWriteMeshes::KeepTriangleMeshes).
bool TriangulatedAsItStands(const VOxaMesh* mesh) {
    if (mesh->GetShapeCount() > 0 || mesh->GetLinkCount() > 0) return false;
    const int polygons = mesh->GetPolygonCount();
    if ((long long)mesh->GetPolygonVertexCount() < 3LL * polygons) return false;
    for (int p = 0; p < polygons; ++p) {
        if (mesh->GetPolygonSize(p) != 3) return false;
    }
    // Indices by polygon are made again for each triangle, those missing as 0.
    const VOxaLayer* layer = mesh->GetLayer(0);
    const VOxaLayerElement* materials = layer ? layer->GetMaterials() : nullptr;
    if (materials && materials->GetMappingMode() == eBY_POLYGON &&
        (materials->GetReferenceMode() == eINDEX || materials->GetReferenceMode() == eINDEX_TO_DIRECT))
        return materials->GetIndexArray().GetCount() == polygons;
    return true;
}

}  // namespace

VOxaWriteMeshes::~VOxaWriteMeshes() {
    for (VOxaMesh* copy : mCopies)
        if (copy && mManager) mManager->DestroyNodeAttribute(copy);
}

void VOxaWriteMeshes::AddCopy(VOxaMesh* copy) {
    // A copy that cannot be noted (memory ran out) goes at once: the manager keeps nothing of a
    // failed write.
    try {
        mCopies.push_back(copy);
        mCopyIndex.Set(copy, (int)mCopies.size() - 1);
    } catch (...) {
        if (!mCopies.empty() && mCopies.back() == copy) mCopies.pop_back();
        if (mManager) mManager->DestroyNodeAttribute(copy);
        throw;
    }
}

VOxaMesh* VOxaWriteMeshes::Get(VOxaNode* node) {
    if (!node) return nullptr;
    const int found = mMeshIndex.Find(node);
    if (found >= 0) return mMeshes[(size_t)found];
    VOxaMesh* own = node->GetMesh();
    VOxaMesh* result = own;
    const bool asItStands = own && mKeepTriangleMeshes && TriangulatedAsItStands(own);
    if ((!own || (mTriangulateMeshes && !asItStands)) && mManager &&
        (own || node->GetNurb() || node->GetPatch())) {
        VOxaMesh* copy = nullptr;
        if (VOxaGeometryConverter* converter = mManager->CreateGeometryConverter()) {
            copy = own               ? converter->TriangulateMesh(own)
                   : node->GetNurb() ? converter->TriangulateNurb(node->GetNurb())
                                     : converter->TriangulatePatch(node->GetPatch());
            mManager->DestroyGeometryConverter(converter);
        }
        if (copy) {
            AddCopy(copy);
            result = copy;
        }
    }
    mMeshIndex.Set(node, (int)mMeshes.size());
    mMeshes.push_back(result);
    return result;
}

VOxaMesh* VOxaWriteMeshes::GetWritable(VOxaNode* node) {
    VOxaMesh* mesh = Get(node);
    if (!mesh || mCopyIndex.Find(mesh) >= 0) return mesh;
    VOxaMesh* copy = mManager ? mManager->CreateMesh() : nullptr;
    if (!copy) return nullptr;
    AddCopy(copy);
    *copy = *mesh;
    mMeshes[(size_t)mMeshIndex.Find(node)] = copy;
    return copy;
}

void VOxaWriteMeshes::Release(VOxaNode* node) {
    const int found = mMeshIndex.Find(node);
    if (found < 0) return;
    VOxaMesh* mesh = mMeshes[(size_t)found];
    mMeshes[(size_t)found] = nullptr;
    mMeshIndex.Erase(node);
    const int copy = mCopyIndex.Find(mesh);
    if (copy >= 0) {
        mCopies[(size_t)copy] = nullptr;
        mCopyIndex.Erase(mesh);
        if (mManager) mManager->DestroyNodeAttribute(mesh);
    }
}

VOxaMadeMeshes::~VOxaMadeMeshes() {
    for (VOxaMesh* mesh : mMeshes)
        if (mesh && mManager) mManager->DestroyNodeAttribute(mesh);
}

VOxaMesh* VOxaMadeMeshes::Make() {
    if (!mManager) return nullptr;
    mMeshes.reserve(mMeshes.size() + 1);
    VOxaMesh* mesh = mManager->CreateMesh();
    if (mesh) mMeshes.push_back(mesh);
    return mesh;
}

void VOxaMadeMeshes::Hold(VOxaMesh* mesh) {
    if (!mesh) return;
    try {
        mMeshes.push_back(mesh);
    } catch (...) {
        if (mManager) mManager->DestroyNodeAttribute(mesh);
        throw;
    }
}

void VOxaMadeMeshes::Hold(std::vector<VOxaMesh*>&& meshes) {
    if (mMeshes.empty()) {
        mMeshes.swap(meshes);
        return;
    }
    try {
        mMeshes.insert(mMeshes.end(), meshes.begin(), meshes.end());
    } catch (...) {
        for (VOxaMesh* mesh : meshes)
            if (mesh && mManager) mManager->DestroyNodeAttribute(mesh);
        throw;
    }
}

std::vector<VOxaMesh*> VOxaMadeMeshes::Take() {
    std::vector<VOxaMesh*> meshes;
    meshes.swap(mMeshes);
    return meshes;
}

bool VOxaHoldsGeometry(VOxaNode* root) {
    bool found = false;
    VOxaWalkPreOrder(root, [&found](VOxaNode* node) {
        const VOxaNodeAttribute* attribute = found ? nullptr : node->GetNodeAttribute();
        if (!attribute) return;
        const int type = attribute->GetAttributeType();
        if (type == VOxaNodeAttribute::eNurb || type == VOxaNodeAttribute::ePatch) {
            found = true;
        } else if (const VOxaMesh* mesh = node->GetMesh()) {
            found = mesh->GetPolygonCount() > 0;
        }
    });
    return found;
}

VgeAMatrix VOxaGeometryWorldMatrix(VOxaNode* node, VTime start) {
    if (node == nullptr) return VgeAMatrix();
    // The whole product of the local matrices: a parent's uneven scaling shears a turned child
    // and a mirroring flips it, which no translation, rotation and scaling triple can hold.
    return node->GetPivotGlobalMatrixAt(0, start);
}

VTime VOxaGeometryTakeStart(VOxaScene* scene) {
    const VOxaTakeInfo* info = scene ? scene->GetTakeInfo(scene->GetCurrentTakeName()) : nullptr;
    return info ? info->mLocalTimeSpan.GetStart() : VTime();
}

bool VOxaGeometryWorldPoints(VOxaNode* node, const VOxaMesh* mesh, const VgeAMatrix& m, const char* format,
                             std::vector<VgeTVector>& world, std::vector<int>& numbers, std::string& message,
                             const VgeTVector* deformed, bool keepUnused) {
    const int count = mesh->GetControlPointsCount();
    const VgeTVector* points = deformed ? deformed : mesh->GetControlPoints();
    world.resize(points != nullptr && count > 0 ? (size_t)count : 0);
    numbers.clear();
    std::vector<char> used;
    int written = 0;
    for (size_t i = 0; i < world.size(); ++i) {
        const VgeTVector p = m.MultT(points[i]);
        world[i] = p;
        if (std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2])) {
            if (!numbers.empty()) numbers[i] = written;
            ++written;
            continue;
        }
        if (keepUnused) {
            if (used.empty()) used = VOxaUsedControlPoints(mesh, (int)world.size());
        } else if (numbers.empty()) {
            // The first point left out: the numbers so far are the points' own, and the
            // polygons tell which points are used.
            numbers.resize(world.size(), -1);
            for (size_t j = 0; j < i; ++j)
                numbers[j] = (int)j;
            used = VOxaUsedControlPoints(mesh, (int)world.size());
        }
        if (used[i]) {
            message = "Mesh \"";
            message += node ? node->GetNameWithoutPrefix() : "";
            message +=
                "\": control point " + std::to_string(i) + " is not a finite number and a polygon uses it; ";
            message += format;
            message += " cannot hold it";
            return false;
        }
        if (keepUnused) ++written;
    }
    return true;
}

const VOxaLayerElementPolygonGroup* VOxaSmoothingMasks(const VOxaMesh* mesh) {
    const VOxaLayer* layer = mesh != nullptr && mesh->GetLayerCount() > 0 ? mesh->GetLayer(0) : nullptr;
    const VOxaLayerElementPolygonGroup* element = layer ? layer->GetPolygonGroups() : nullptr;
    if (element == nullptr) return nullptr;
    const int mapping = element->GetMappingMode();
    const int polygons = mesh->GetPolygonCount();
    if (mapping == eALL_SAME) return element->GetReferenceMode() == eDIRECT ? element : nullptr;
    if (mapping != eBY_POLYGON) return nullptr;
    if (element->GetReferenceMode() == eDIRECT)
        return element->GetDirectArray().GetCount() == polygons ? element : nullptr;
    return element->GetIndexArray().GetCount() == polygons ? element : nullptr;
}

uint32_t VOxaSmoothingMaskOf(const VOxaLayerElementPolygonGroup* element, int polygon) {
    if (element == nullptr || polygon < 0) return 0u;
    int item = element->GetMappingMode() == eALL_SAME ? 0 : polygon;
    if (element->GetReferenceMode() != eDIRECT) {
        const VArrayTemplate<int>& indices = element->GetIndexArray();
        item = item < indices.GetCount() ? indices.GetAt(item) : -1;
    }
    const VArrayTemplate<int>& direct = element->GetDirectArray();
    return item >= 0 && item < direct.GetCount() ? (uint32_t)direct.GetAt(item) : 0u;
}

std::string VOxaNotNumberPointsWarning(long long count, const char* format) {
    const bool vowel = format != nullptr && std::strchr("AEIOU", format[0]) != nullptr && format[0] != '\0';
    return std::to_string(count) +
           (count == 1 ? " point no face uses is not a number and is"
                       : " points no face uses are not numbers and are") +
           " written as such (\"nan\"); " + (vowel ? "an " : "a ") + (format ? format : "") +
           " reader that takes only numbers refuses the file.";
}

VgeAMatrix VOxaGeometryNormalMatrix(const VgeAMatrix& m) {
    // The transpose of the inverse of the 3x3 part is its cofactor matrix over the determinant.
    const double(*a)[4] = m.mData;
    VgeAMatrix n;
    const double c[3][3] = {{a[1][1] * a[2][2] - a[1][2] * a[2][1], a[1][2] * a[2][0] - a[1][0] * a[2][2],
                             a[1][0] * a[2][1] - a[1][1] * a[2][0]},
                            {a[0][2] * a[2][1] - a[0][1] * a[2][2], a[0][0] * a[2][2] - a[0][2] * a[2][0],
                             a[0][1] * a[2][0] - a[0][0] * a[2][1]},
                            {a[0][1] * a[1][2] - a[0][2] * a[1][1], a[0][2] * a[1][0] - a[0][0] * a[1][2],
                             a[0][0] * a[1][1] - a[0][1] * a[1][0]}};
    const double det = a[0][0] * c[0][0] + a[0][1] * c[0][1] + a[0][2] * c[0][2];
    if (det == 0.0 || !std::isfinite(det)) return n;
    for (int r = 0; r < 3; ++r)
        for (int col = 0; col < 3; ++col)
            n.mData[r][col] = c[r][col] / det;
    return n;
}

namespace {

namespace fs = std::filesystem;

// The most names tried for one image ("name_2.ext" and on) in the output's folder.
constexpr int kMaxNameTries = 10000;

// True when `path` is `folder` or lies below it; both are real paths.
bool IsInside(const fs::path& path, const fs::path& folder) {
    auto p = path.begin();
    for (auto f = folder.begin(); f != folder.end(); ++f, ++p) {
        if (f->empty()) continue;  // the empty last part of a folder written with a final '/'
        if (p == path.end() || *p != *f) return false;
    }
    return true;
}

// The real path of a folder, empty when it cannot be resolved.
std::string RealFolder(const char* folder) {
    std::error_code error;
    if (folder == nullptr || *folder == '\0') return std::string();
    fs::path real = fs::canonical(folder, error);
    if (error || !fs::is_directory(real, error) || error) return std::string();
    return real.string();
}

// True when the file at `path` holds exactly the bytes of `in` (read from its start).
bool SameBytes(std::FILE* in, const char* path) {
    std::FILE* other = std::fopen(path, "rb");
    if (other == nullptr) return false;
    bool same = std::fseek(in, 0, SEEK_SET) == 0;
    char a[4096], b[4096];
    while (same) {
        const size_t got = std::fread(a, 1, sizeof a, in);
        const size_t theirs = std::fread(b, 1, sizeof b, other);
        same = got == theirs && std::memcmp(a, b, got) == 0;
        if (got == 0) break;
    }
    same = same && !std::ferror(in) && !std::ferror(other);
    std::fclose(other);
    return same;
}

// The file `name` in `folder` (the folder part of a path, empty or ending in a separator): a
// name is never read as a path of its own.
std::string InFolder(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    const char last = folder.back();
    return last == '/' || last == '\\' ? folder + name : folder + "/" + name;
}

// Is `c` a letter?
bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

namespace {

std::string MeshFault(const VOxaMesh* mesh) {
    const int points = mesh->GetControlPointsCount();
    for (int p = 0, polygons = mesh->GetPolygonCount(); p < polygons; ++p) {
        const int size = mesh->GetPolygonSize(p);
        const int* vertices = mesh->GetPolygonVertices(p);
        for (int k = 0; vertices && k < size; ++k) {
            if (vertices[k] < 0 || vertices[k] >= points)
                return "polygon " + std::to_string(p) + " names control point " +
                       std::to_string(vertices[k]) + " of " + std::to_string(points);
        }
    }
    return {};
}

}  // namespace

bool VOxaCheckSceneMeshes(VOxaScene* scene, const char* format, VError& error) {
    std::string message;
    VOxaWalkPreOrder(scene ? scene->GetRootNode() : nullptr, [&](VOxaNode* node) {
        if (!message.empty()) return;
        VOxaNodeAttribute* attribute = node->GetNodeAttribute();
        if (attribute == nullptr || attribute->GetAttributeType() != VOxaNodeAttribute::eMesh) return;
        const std::string fault = MeshFault(static_cast<const VOxaMesh*>(attribute));
        if (fault.empty()) return;
        message = "Mesh \"" + std::string(VPrintableText(node->GetNameWithoutPrefix()).c_str()) +
                  "\": " + fault + "; " + (format ? format : "the file") + " cannot hold it";
    });
    if (message.empty()) return true;
    error.SetLastError(VOxaWriter::eUNIDENTIFIED_ERROR, message.c_str());
    return false;
}

std::vector<char> VOxaUsedControlPoints(const VOxaMesh* mesh, int pointCount) {
    std::vector<char> used((size_t)std::max(pointCount, 0), 0);
    if (mesh == nullptr) return used;
    const int corners = mesh->GetPolygonVertexCount();
    const int* vertices = mesh->GetPolygonVertices();
    for (int i = 0; vertices != nullptr && i < corners; ++i)
        if (vertices[i] >= 0 && vertices[i] < pointCount) used[(size_t)vertices[i]] = 1;
    return used;
}

std::string VOxaTextureFilePath(const char* name, const char* sourceFolder) {
    std::string path = name ? name : "";
    // A drive name ("C:\", "C:/") belongs to another system.
    if (path.size() >= 3 && IsLetter(path[0]) && path[1] == ':' && (path[2] == '/' || path[2] == '\\'))
        return std::string();
    for (char& c : path)
        if (c == '\\') c = '/';
    if (path.empty()) return path;
    // Only a leading '/' makes a name absolute; a relative one counts from the folder of the file
    // that named it (from the working directory when there is none).
    if (path[0] != '/' && sourceFolder != nullptr && *sourceFolder != '\0')
        path = (fs::path(sourceFolder) / path).string();
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0) return path;
    // Not there: a file of that folder whose name differs only in letter case (the first such
    // name in byte order, so that the choice does not depend on the folder's listing order).
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
    const std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string best;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir))
            if (::strcasecmp(entry->d_name, file.c_str()) == 0 && (best.empty() || best > entry->d_name))
                best = entry->d_name;
        ::closedir(dir);
    }
    if (best.empty()) return path;
    return slash == std::string::npos ? best : folder + best;
}

void VOxaTextureCopier::Begin(const VStreamOptions* options) {
    mAllowed.clear();
    mRefused.clear();
    mTaken.clear();
    mGiven.clear();
    if (options == nullptr || !options->IsA(VStreamOptionsBase::ClassId)) return;
    for (const std::string& folder : static_cast<const VStreamOptionsBase*>(options)->GetTextureFolders()) {
        std::string real = RealFolder(folder.c_str());
        if (!real.empty()) mAllowed.push_back(std::move(real));
    }
}

bool VOxaTextureCopier::Copy(const char* path, const char* sourceFolder, const char* outputPath,
                             VString& messages, VString* givenName) {
    const char* source = path ? path : "";
    const VString bare = GetFileName(source, true);
    if (givenName != nullptr) *givenName = bare;
    const bool hasFolder = sourceFolder != nullptr && *sourceFolder != '\0';
    const std::string named = VOxaTextureFilePath(source, sourceFolder);
    if (named.empty()) {
        // A drive name was written on another system: it lies outside every allowed folder.
        if (*source && mRefused.insert(source).second) {
            messages += "Texture file \"";
            messages += VPrintableText(source).c_str();
            messages += "\" is outside the folders textures are copied from; not copied.\n";
        }
        return false;
    }
    // Only regular files: a device or a pipe named as a texture could be read forever.
    std::error_code error;
    fs::path real;
    if (*source) real = fs::canonical(named, error);
    const bool found = *source && !error && fs::is_regular_file(real, error) && !error;
    if (found) {
        bool allowed = false;
        if (hasFolder) {
            const std::string folder = RealFolder(sourceFolder);
            allowed = !folder.empty() && IsInside(real, folder);
        }
        for (size_t i = 0; !allowed && i < mAllowed.size(); ++i)
            allowed = IsInside(real, mAllowed[i]);
        if (!allowed) {
            if (mRefused.insert(real.string()).second) {
                messages += "Texture file \"";
                messages += VPrintableText(named.c_str()).c_str();
                messages += "\" is outside the folders textures are copied from; not copied.\n";
            }
            return false;
        }
    }
    // One image, one name: an image met before keeps the name it was given.
    if (found) {
        auto given = mGiven.find(real.string());
        if (given != mGiven.end()) {
            if (givenName != nullptr) *givenName = given->second.c_str();
            return true;
        }
    }
    std::FILE* in = found ? std::fopen(real.c_str(), "rb") : nullptr;
    const std::string outFolder = GetDirectoryName(outputPath).Buffer();
    if (in == nullptr) {
        // The image may have been put beside the output before.
        struct stat info {};
        if (*source && ::lstat(InFolder(outFolder, bare.Buffer()).c_str(), &info) == 0 &&
            S_ISREG(info.st_mode))
            return true;
        messages += "Unable to locate texture file \"";
        messages += VPrintableText(named.c_str()).c_str();
        messages += "\".\n";
        return false;
    }
    // The name in the output's folder: the image's own, unless another image of this Write took
    // it or a different file (or a link, or a folder) is there; then "name_2.ext", "name_3.ext"...
    // A file there with the image's bytes is kept as it is.
    // The name is the image file's own: the name in the material may differ in letter case.
    const std::string own = fs::path(named).filename().string();
    const std::string stem = GetFileName(own.c_str(), false).Buffer();
    const std::string extension = own.substr(stem.size());
    // Under a name limit, a name too long becomes the stem's first characters (at most 8 with
    // the suffix), "~" and a number, and the extension (cut to three letters when it has more than
    // four): "stem~1.ext".
    auto fitted = [&](const std::string& wanted, int number) {
        if (mNameLimit == 0 || wanted.size() <= mNameLimit) return wanted;
        const std::string suffix = "~" + std::to_string(number);
        const std::string ending = extension.size() <= 5 ? extension : extension.substr(0, 4);
        const size_t used = suffix.size() + ending.size();
        const size_t eight = suffix.size() < 8 ? 8 - suffix.size() : 1;
        const size_t room = mNameLimit > used ? mNameLimit - used : 1;
        return stem.substr(0, std::min(eight, room)) + suffix + ending;
    };
    std::string name = fitted(own, 1);
    mTaken.insert(GetFileName(outputPath, true).Buffer());
    bool occupied = false, keep = false;
    for (int n = 2; n <= kMaxNameTries; ++n) {
        const std::string target = InFolder(outFolder, name);
        if (mTaken.count(name) == 0) {
            struct stat info {};
            if (::lstat(target.c_str(), &info) != 0) break;
            if (S_ISREG(info.st_mode) && SameBytes(in, target.c_str())) {
                keep = true;
                break;
            }
            occupied = true;
        }
        name = fitted(stem + "_" + std::to_string(n) + extension, n);
    }
    const std::string target = InFolder(outFolder, name);
    bool ok = true;
    if (!keep) {
        VSafeOutputFile out;
        ok = std::fseek(in, 0, SEEK_SET) == 0 && out.Open(target.c_str(), true);
        char block[4096];
        while (ok) {
            const size_t count = std::fread(block, 1, sizeof block, in);
            if (count == 0) break;
            ok = out.Write(block, count);
        }
        if (ok && (std::ferror(in) || !std::feof(in))) ok = false;
        if (ok) ok = out.Commit();
        if (!ok) {
            out.Abandon();
            messages += "Error writing texture file \"";
            messages += VPrintableText(target.c_str()).c_str();
            messages += "\".\n";
        }
    }
    std::fclose(in);
    if (!ok) return false;
    if (occupied) {
        messages += "Texture file \"";
        messages += VPrintableText(named.c_str()).c_str();
        messages += "\" is copied as \"";
        messages += VPrintableText(name.c_str()).c_str();
        messages += "\": a different file of its name is already in the output's folder.\n";
    } else if (mNameLimit > 0 && own.size() > mNameLimit) {
        messages += "Texture file \"";
        messages += VPrintableText(named.c_str()).c_str();
        messages += "\" is copied as \"";
        messages += VPrintableText(name.c_str()).c_str();
        messages += "\": the written file names its images in at most ";
        messages += std::to_string(mNameLimit).c_str();
        messages += " characters.\n";
    }
    mTaken.insert(name);
    mGiven.emplace(real.string(), name);
    if (givenName != nullptr) *givenName = name.c_str();
    return true;
}
