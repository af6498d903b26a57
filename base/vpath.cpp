#include "base/vpath.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/platform.h"

namespace {

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

int LastSeparator(const char* path, int len) {
    for (int i = len - 1; i >= 0; --i) {
        if (IsSeparator(path[i])) return i;
    }
    return -1;
}

// A path split into its root prefix ("", "/", "\\", "C:", "C:\" ...) and its parts, each with
// the separator that stood before it.
struct SplitPath {
    VString prefix;
    bool rooted = false;  // ".." cannot climb above the prefix
    struct Part {
        const char* text;
        int len;
        char separator;
    };
    std::vector<Part> parts;
    bool trailingSeparator = false;
};

SplitPath Split(const char* path) {
    SplitPath out;
    int len = (int)std::strlen(path);
    int i = 0;
    if (len >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        out.prefix = VString(path, 2);
        out.rooted = true;
        i = 2;
    } else if (len >= 2 && std::isalpha((unsigned char)path[0]) && path[1] == ':') {
        i = 2;
        if (len >= 3 && IsSeparator(path[2])) {
            i = 3;
            out.rooted = true;
        }
        out.prefix = VString(path, i);
    } else if (len >= 1 && IsSeparator(path[0])) {
        out.prefix = VString(path, 1);
        out.rooted = true;
        i = 1;
    }
    // Separators right after the prefix are repeats of it.
    while (i < len && IsSeparator(path[i]))
        ++i;
    char separator = 0;
    while (i < len) {
        int begin = i;
        while (i < len && !IsSeparator(path[i]))
            ++i;
        out.parts.push_back({path + begin, i - begin, separator});
        if (i < len) separator = path[i];
        while (i < len && IsSeparator(path[i]))
            ++i;
    }
    out.trailingSeparator = len > 0 && IsSeparator(path[len - 1]) && !out.parts.empty();
    return out;
}

// Removes "." parts and "name/.." pairs.
void Normalize(SplitPath& split) {
    std::vector<SplitPath::Part> kept;
    for (const SplitPath::Part& part : split.parts) {
        if (part.len == 1 && part.text[0] == '.') continue;
        if (part.len == 2 && part.text[0] == '.' && part.text[1] == '.') {
            if (!kept.empty() && !(kept.back().len == 2 && std::memcmp(kept.back().text, "..", 2) == 0)) {
                kept.pop_back();
                continue;
            }
            if (split.rooted) continue;
        }
        kept.push_back(part);
    }
    if (kept.empty()) split.trailingSeparator = false;
    split.parts.swap(kept);
}

VString Join(const SplitPath& split, char forcedSeparator) {
    VString out(split.prefix);
    char last = '/';
    for (size_t k = 0; k < split.parts.size(); ++k) {
        const SplitPath::Part& part = split.parts[k];
        if (k > 0) {
            char sep = forcedSeparator ? forcedSeparator : (part.separator ? part.separator : '/');
            out.Append(&sep, 1);
            last = sep;
        } else if (part.separator) {
            last = part.separator;
        }
        out.Append(part.text, part.len);
    }
    if (split.trailingSeparator) out.Append(forcedSeparator ? &forcedSeparator : &last, 1);
    if (out.IsEmpty()) out = ".";
    return out;
}

}  // namespace

VString GetFileName(const char* path, bool keepExtension) {
    if (!path) path = "";
    int len = (int)std::strlen(path);
    int start = LastSeparator(path, len) + 1;
    int end = len;
    if (!keepExtension) {
        for (int i = len - 1; i > start; --i) {
            if (path[i] == '.') {
                end = i;
                break;
            }
        }
    }
    return VString(path + start, end - start);
}

VString GetDirectoryName(const char* path) {
    if (!path) path = "";
    int sep = LastSeparator(path, (int)std::strlen(path));
    return sep < 0 ? VString("") : VString(path, sep);
}

VString CleanPath(const char* path) {
    if (!path) path = "";
    SplitPath split = Split(path);
    Normalize(split);
    return Join(split, 0);
}

bool IsRelativePath(const char* path) {
    if (!path) return true;
    if (std::strchr(path, ':')) return false;
    if (path[0] == '\\' && path[1] == '\\') return false;
    return path[0] != '/';
}

VString GetFullPath(const char* baseDir, const char* path) {
    if (!path) path = "";
    if (!IsRelativePath(path) || !baseDir || !*baseDir) return CleanPath(path);
    VString joined(baseDir);
    if (!IsSeparator(joined[joined.GetLen() - 1])) joined += "/";
    joined += path;
    return CleanPath(joined);
}

VString ChangeFileExtension(const char* path, const char* ext) {
    if (!path) path = "";
    int len = (int)std::strlen(path);
    int start = LastSeparator(path, len) + 1;
    int end = len;
    for (int i = len - 1; i > start; --i) {
        if (path[i] == '.') {
            end = i;
            break;
        }
    }
    VString out(path, end);
    out += ext ? ext : "";
    return out;
}

VString GetRelativeFilePath(const char* path) {
    if (!path) path = "";
    if (IsRelativePath(path)) return CleanPath(path);
    VString cwd = VPlatformGetCurrentDirectory();
    VString full = CleanPath(path);
    if (cwd.IsEmpty()) return full;
    VString cleanCwd = CleanPath(cwd);
    SplitPath target = Split(full);
    SplitPath base = Split(cleanCwd);
    // Prefixes compare with either separator: "C:\" and "C:/" are the same root.
    VString a = target.prefix, b = base.prefix;
    bool samePrefix = a.GetLen() == b.GetLen();
    for (int i = 0; samePrefix && i < a.GetLen(); ++i) {
        samePrefix = a[i] == b[i] || (IsSeparator(a[i]) && IsSeparator(b[i]));
    }
    if (!samePrefix) return full;
    size_t common = 0;
    while (common < target.parts.size() && common < base.parts.size() &&
           target.parts[common].len == base.parts[common].len &&
           std::memcmp(target.parts[common].text, base.parts[common].text,
                       (size_t)target.parts[common].len) == 0) {
        ++common;
    }
    VString out;
    for (size_t k = common; k < base.parts.size(); ++k)
        out += k + 1 < base.parts.size() || common < target.parts.size() ? "../" : "..";
    for (size_t k = common; k < target.parts.size(); ++k) {
        out.Append(target.parts[k].text, target.parts[k].len);
        if (k + 1 < target.parts.size()) out += "/";
    }
    if (out.IsEmpty()) out = ".";
    return out;
}

bool FileExists(const char* path) {
    if (!path || !*path) return false;
    VString native = VPlatformNativePath(path);
    struct stat st;
    if (stat(native, &st) == 0 && S_ISDIR(st.st_mode)) return false;
    FILE* f = std::fopen(native, "rb");
    if (!f) return false;
    std::fclose(f);
    return true;
}

bool CreateDirectoryPath(const char* path) {
    if (!path) return true;
    VString dir = GetDirectoryName(path);
    if (dir.IsEmpty()) return true;
    if (VPlatformDirectoryExists(dir)) return true;
    SplitPath split = Split(dir);
    // Build each prefix in turn, keeping the separators of the path.
    VString partial(split.prefix);
    for (size_t k = 0; k < split.parts.size(); ++k) {
        if (k > 0) {
            char sep = split.parts[k].separator ? split.parts[k].separator : '/';
            partial.Append(&sep, 1);
        }
        partial.Append(split.parts[k].text, split.parts[k].len);
        const SplitPath::Part& part = split.parts[k];
        if ((part.len == 1 && part.text[0] == '.') ||
            (part.len == 2 && std::memcmp(part.text, "..", 2) == 0)) {
            continue;
        }
        if (!VPlatformCreateDirectory(partial)) return false;
    }
    return true;
}
