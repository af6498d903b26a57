#include "base/platform.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace {

std::mutex gSettingsMutex;
VString gSettingsOverride;

VString WithoutTrailingSeparator(VString path) {
    while (path.GetLen() > 1 && (path[path.GetLen() - 1] == '/' || path[path.GetLen() - 1] == '\\')) {
        path = path.Left(path.GetLen() - 1);
    }
    return path;
}

}  // namespace

VString VPlatformGetComputerName() {
    char name[256];
    if (gethostname(name, sizeof(name)) != 0) return VString("localhost");
    name[sizeof(name) - 1] = '\0';
    if (!name[0]) return VString("localhost");
    return VString(name);
}

VString VPlatformGetSettingsDirectory() {
    {
        std::lock_guard<std::mutex> lock(gSettingsMutex);
        if (!gSettingsOverride.IsEmpty()) return WithoutTrailingSeparator(gSettingsOverride);
    }
    const char* env = std::getenv("OXA_SETTINGS_DIR");
    if (env && *env) return WithoutTrailingSeparator(VString(env));
    const char* home = std::getenv("HOME");
    if (home && *home) return WithoutTrailingSeparator(VString(home)) + "/.oxa";
    return VPlatformGetCurrentDirectory();
}

void VPlatformSetSettingsDirectory(const char* path) {
    std::lock_guard<std::mutex> lock(gSettingsMutex);
    gSettingsOverride = path ? path : "";
}

VString VPlatformNativePath(const char* path) {
    VString native(path ? path : "");
    for (int i = 0; i < native.GetLen(); ++i) {
        if (native[i] == '\\') native[i] = '/';
    }
    return native;
}

bool VPlatformDirectoryExists(const char* path) {
    if (!path || !*path) return false;
    struct stat st;
    return stat(VPlatformNativePath(path), &st) == 0 && S_ISDIR(st.st_mode);
}

bool VPlatformCreateDirectory(const char* path) {
    if (!path || !*path) return false;
    if (mkdir(VPlatformNativePath(path), 0777) == 0) return true;
    return errno == EEXIST && VPlatformDirectoryExists(path);
}

VString VPlatformGetCurrentDirectory() {
    std::vector<char> buffer(4096);
    for (;;) {
        if (getcwd(buffer.data(), buffer.size())) return VString(buffer.data());
        if (errno != ERANGE || buffer.size() > (1u << 20)) return VString("");
        buffer.resize(buffer.size() * 2);
    }
}
