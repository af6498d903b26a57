// The fuzz targets whose readers take a file name write each input to a per-process file first.
// The files live in a per-process scratch folder on a memory-backed file system when there is one
// (/dev/shm), so an input costs no disk I/O; the folder goes when the process exits normally.
#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace oxa_fuzz_detail {

inline std::string& ScratchFolderName() {
    static std::string folder;
    return folder;
}

// Removes the scratch folder and the files in it (it has no subfolders).
inline void RemoveScratchFolder() {
    const std::string& folder = ScratchFolderName();
    if (folder.empty()) return;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") std::remove((folder + "/" + name).c_str());
        }
        ::closedir(dir);
    }
    ::rmdir(folder.c_str());
}

}  // namespace oxa_fuzz_detail

// The process's scratch folder: /dev/shm/oxa_fuzz_<pid> when /dev/shm is writable, else under
// $TMPDIR or /tmp. Made on first use. The pid is written with ten digits, so that the paths have
// the same length in every process: code that walks a path would otherwise count a different
// number of steps, and a replayed corpus would show other coverage.
inline const std::string& FuzzScratchFolder() {
    static const std::string& folder = []() -> const std::string& {
        std::string base;
        if (::access("/dev/shm", W_OK) == 0) {
            base = "/dev/shm";
        } else {
            const char* tmp = std::getenv("TMPDIR");
            base = tmp && *tmp ? tmp : "/tmp";
        }
        std::string& name = oxa_fuzz_detail::ScratchFolderName();
        char pid[32];
        std::snprintf(pid, sizeof pid, "%010ld", (long)::getpid());
        name = base + "/oxa_fuzz_" + pid;
        ::mkdir(name.c_str(), 0700);
        std::atexit(&oxa_fuzz_detail::RemoveScratchFolder);
        return name;
    }();
    return folder;
}

// A file `name` in the scratch folder.
inline std::string FuzzScratchPath(const std::string& name) {
    return FuzzScratchFolder() + "/" + name;
}

// Writes the `size` bytes of `data` to `path`, replacing it; false when the file cannot be made.
inline bool WriteFuzzInput(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}
