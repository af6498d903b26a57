#include "formats/geometry/voxa_geometry_write.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "attributes/voxa_mesh.h"
#include "base/vpath.h"
#include "base/vsafe_output_file.h"
#include "oxa_codec/vstream_options.h"

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

VgeAMatrix VOxaGeometryWorldMatrix(VOxaNode* node) {
    if (node == nullptr) return VgeAMatrix();
    // The whole product of the local matrices: a parent's uneven scaling shears a turned child
    // and a mirroring flips it, which no translation, rotation and scaling triple can hold.
    return node->GetPivotGlobalMatrix(0);
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

}  // namespace

void VOxaTextureCopier::Begin(const VStreamOptions* options) {
    mAllowed.clear();
    mRefused.clear();
    if (options == nullptr || !options->IsA(VStreamOptionsBase::ClassId)) return;
    for (const std::string& folder : static_cast<const VStreamOptionsBase*>(options)->GetTextureFolders()) {
        std::string real = RealFolder(folder.c_str());
        if (!real.empty()) mAllowed.push_back(std::move(real));
    }
}

bool VOxaTextureCopier::Copy(const char* path, const char* sourceFolder, const char* outputPath,
                             VString& messages) {
    const char* source = path ? path : "";
    const VString target =
        GetFullPath(GetDirectoryName(outputPath).Buffer(), GetFileName(source, true).Buffer());
    if (FileExists(target.Buffer())) return true;

    // A relative name counts from the folder of the file that named it.
    const bool hasFolder = sourceFolder != nullptr && *sourceFolder != '\0';
    std::string named = source;
    if (hasFolder && *source && IsRelativePath(source)) named = (fs::path(sourceFolder) / source).string();
    // Only regular files: a device or a pipe named as a texture could be read forever.
    std::error_code error;
    fs::path real;
    if (*source) real = fs::canonical(named, error);
    std::FILE* in = nullptr;
    if (*source && !error && fs::is_regular_file(real, error) && !error) {
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
                messages += named.c_str();
                messages += "\" is outside the folders textures are copied from; not copied.\n";
            }
            return false;
        }
        in = std::fopen(real.c_str(), "rb");
    }
    if (in == nullptr) {
        messages += "Unable to locate texture file \"";
        messages += named.c_str();
        messages += "\".\n";
        return false;
    }
    VSafeOutputFile out;
    bool ok = out.Open(target.Buffer(), true);
    char block[1024];
    while (ok) {
        const size_t count = std::fread(block, 1, sizeof block, in);
        if (count == 0) break;
        ok = out.Write(block, count);
    }
    if (ok && (std::ferror(in) || !std::feof(in))) ok = false;
    std::fclose(in);
    if (ok) ok = out.Commit();
    if (!ok) {
        out.Abandon();
        messages += "Error writing texture file \"";
        messages += target.Buffer();
        messages += "\".\n";
    }
    return ok;
}
