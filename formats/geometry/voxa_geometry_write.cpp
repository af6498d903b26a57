#include "formats/geometry/voxa_geometry_write.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "base/vpath.h"
#include "base/vsafe_output_file.h"

VgeAMatrix VOxaGeometryWorldMatrix(VOxaNode* node) {
    if (node == nullptr) return VgeAMatrix();
    VgeTVector t, r, s;
    node->GetPivotGlobalTranslation(t, 0);
    node->GetPivotGlobalRotation(r, 0);
    node->GetPivotGlobalScaling(s, 0);
    return VgeAMatrix(t, r, s);
}

bool VOxaCopyTextureBeside(const char* sourcePath, const char* outputPath, VString& messages) {
    const char* source = sourcePath ? sourcePath : "";
    const VString target =
        GetFullPath(GetDirectoryName(outputPath).Buffer(), GetFileName(source, true).Buffer());
    if (FileExists(target.Buffer())) return true;
    // Only regular files: a device or a pipe named as a texture could be read forever.
    std::error_code error;
    std::FILE* in =
        *source && std::filesystem::is_regular_file(source, error) ? std::fopen(source, "rb") : nullptr;
    if (in == nullptr) {
        messages += "Unable to locate texture file \"";
        messages += source;
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
