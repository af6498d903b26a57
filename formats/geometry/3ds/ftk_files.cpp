// The toolkit's table of open files and its current file.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "base/vallocation_hook.h"
#include "base/vsafe_output_file.h"
#include "formats/geometry/3ds/ftk_core.h"

namespace Ftk {

namespace {

std::vector<File*>* gTable = nullptr;  // kMaxFiles slots once created
uint32_t gCount = 0;                   // one more than the highest slot ever used
File* gCurrent = nullptr;
uint8_t gCurrentSlot = 0;

bool FileExists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

void FreeRecord(File* file) {
    if (!file) return;
    if (file == gCurrent) gCurrent = nullptr;
    delete file->mOutput;
    delete file;
}

// The part of `name` up to and including its last '\\', '/' or ':' ("" when none).
std::string DirectoryPart(const std::string& name) {
    size_t cut = name.find_last_of("\\/:");
    return cut == std::string::npos ? std::string() : name.substr(0, cut + 1);
}

void InstallBuffer(File* file) {
    if (!file->mStream) return;
    try {
        file->mBuffer.resize((size_t)file->mBufferSize);
    } catch (const std::bad_alloc&) {
        file->mBuffer.clear();  // the stream keeps its default buffering
        return;
    }
    std::setvbuf(file->mStream, file->mBuffer.data(), _IOFBF, file->mBuffer.size());
}

uint64_t StreamSize(std::FILE* stream) {
    if (!stream || std::fseek(stream, 0, SEEK_END) != 0) return 0;
    long size = std::ftell(stream);
    std::fseek(stream, 0, SEEK_SET);
    return size < 0 ? 0 : (uint64_t)size;
}

// Moves an open read file aside, so that a new file can be written under its name: the file is
// renamed to a fresh name in its own folder, reading goes on there at the same position, and the
// file is deleted when closed (or given its name back when no new file took it).
void MoveAside(File* file) {
    long position = file->mStream ? std::ftell(file->mStream) : 0;
    if (file->mStream && std::fclose(file->mStream) != 0) {
        file->mStream = nullptr;
        if (Fail(ERR_CLOSING_FILE)) return;
    }
    file->mStream = nullptr;
    // A unique name made and reserved in the same folder, of any length.
    std::string pattern = DirectoryPart(file->mName) + "ftkXXXXXX";
    std::vector<char> path(pattern.begin(), pattern.end());
    path.push_back('\0');
    int fd = ::mkstemp(path.data());
    if (fd < 0) {
        Fail(ERR_OPENING_FILE);
        return;
    }
    ::close(fd);
    std::string moved(path.data());
    if (std::rename(file->mName.c_str(), moved.c_str()) != 0) {
        std::remove(moved.c_str());
        Fail(ERR_OPENING_FILE);
        return;
    }
    file->mRemoveOnClose = 1;
    if (file->mOriginalName.empty()) file->mOriginalName = file->mName;
    file->mName = moved;
    file->mStream = std::fopen(moved.c_str(), "rb");
    if (!file->mStream) {
        Fail(ERR_OPENING_FILE);
        return;
    }
    if (!file->mBuffer.empty())
        std::setvbuf(file->mStream, file->mBuffer.data(), _IOFBF, file->mBuffer.size());
    std::fseek(file->mStream, position, SEEK_SET);
}

}  // namespace

void InitFileTable() {
    if (!gTable) {
        try {
            gTable = new std::vector<File*>((size_t)kMaxFiles, nullptr);
        } catch (const std::bad_alloc&) {
            Fail(ERR_NO_MEM);
            return;
        }
    }
    gCount = 0;
    gCurrentSlot = 0;
}

void ReleaseFileTable() {
    delete gTable;
    gTable = nullptr;
    gCount = 0;
    gCurrentSlot = 0;
    gCurrent = nullptr;
}

void RegisterFile(File* file) {
    if (!file) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!gTable) {
        InitFileTable();
        if (Stopped() || !gTable) return;
    }
    uint32_t slot = 0;
    while (slot < gCount && (*gTable)[slot])
        ++slot;
    if (slot >= (uint32_t)kMaxFiles) {
        Fail(ERR_TOO_MANY_FILES);
        return;
    }
    (*gTable)[slot] = file;
    file->mSlot = (uint8_t)slot;
    if (slot == gCount) ++gCount;
}

void UnregisterFile(File* file) {
    if (!file) return;
    if (gTable && file->mSlot < gCount && (*gTable)[file->mSlot] == file) (*gTable)[file->mSlot] = nullptr;
    file->mSlot = kNoFile;
}

File* FindFileByName(const char* name) {
    if (!name || !gTable) return nullptr;
    for (uint32_t i = 0; i < gCount; ++i) {
        File* file = (*gTable)[i];
        if (file && file->mName == name) return file;
    }
    return nullptr;
}

File* GetFileByIndex(uint32_t index) {
    if (!gTable || index >= gCount) return nullptr;
    return (*gTable)[index];
}

bool IsValidFileIndex(uint32_t index) {
    if (index > 254) return false;
    return GetFileByIndex(index) != nullptr;
}

uint8_t SelectFile(File* file) {
    if (!file) {
        Fail(ERR_INVALID_ARG);
        return kNoFile;
    }
    gCurrent = file;
    gCurrentSlot = file->mSlot;
    return file->mSlot;
}

void SelectFileByIndex(uint32_t index) {
    if (!gTable || index >= gCount) return;
    gCurrent = (*gTable)[index];
    gCurrentSlot = (uint8_t)index;
}

File* GetCurrentFile() {
    return gCurrent;
}

uint8_t GetCurrentFileIndex() {
    return gCurrentSlot;
}

std::FILE* GetCurrentStream() {
    return gCurrent ? gCurrent->mStream : nullptr;
}

const char* GetCurrentFileName() {
    return gCurrent ? gCurrent->mName.c_str() : nullptr;
}

void SetCurrentFileName(const char* name) {
    if (!gCurrent || !name) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    uint32_t length = BoundedLength(name, 512);
    if (Stopped()) return;
    gCurrent->mName.assign(name, length);
}

void SetCurrentFileStream(std::FILE* stream) {
    if (!stream || !gCurrent) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    gCurrent->mStream = stream;
}

int32_t Tell() {
    std::FILE* stream = GetCurrentStream();
    return stream ? (int32_t)std::ftell(stream) : 0;
}

void Seek(int32_t offset) {
    std::FILE* stream = GetCurrentStream();
    if (stream) std::fseek(stream, offset, SEEK_SET);
}

namespace {

// `shared`: a name open already is shared, moved aside or closed (OpenFile); otherwise it is left
// alone and the file gets a record of its own (OpenOwnFile).
File* OpenRecord(const char* name, const char* mode, bool shared) {
    if (!name || !mode) {
        Fail(ERR_INVALID_ARG);
        return nullptr;
    }
    File* open = shared ? FindFileByName(name) : nullptr;

    File* file = oxa_alloc::Counted(new (std::nothrow) File);
    if (!file) PushError(ERR_NO_MEM);
    // Any fault still pending (this one or an earlier one) fails the open.
    if (IsErrorPending() && Fail(ERR_INIT_FAILED)) {
        FreeRecord(file);
        return nullptr;
    }
    if (!file) return nullptr;
    RegisterFile(file);
    if (Stopped() || file->mSlot == kNoFile) {
        FreeRecord(file);
        return nullptr;
    }
    // Memory that runs out from here on (thrown) takes the record out of the table again: the
    // file table never keeps a record nobody holds.
    try {
        file->mName = name;

        uint8_t wanted = 0;
        for (int i = 0; i < 30 && mode[i]; ++i) {
            if (mode[i] == 'r') {
                wanted = kFileRead;
                break;
            }
            if (mode[i] == 'w') {
                wanted = kFileWrite;
                break;
            }
        }
        if (wanted == 0) {
            UnregisterFile(file);
            FreeRecord(file);
            Fail(ERR_INIT_FAILED);
            return nullptr;
        }
        file->mMode = wanted;

        if (open) {
            if (open->mMode == wanted) {
                UnregisterFile(file);
                FreeRecord(file);
                return open;
            }
            if (open->mMode & kFileRead) {
                MoveAside(open);
            } else {
                CloseFile(open);
            }
            if (Stopped()) {
                UnregisterFile(file);
                FreeRecord(file);
                return nullptr;
            }
        }

        if (wanted == kFileRead) {
            file->mStream = std::fopen(name, "rb");
        } else {
            file->mOutput = oxa_alloc::Counted(new (std::nothrow) VSafeOutputFile);
            if (file->mOutput && file->mOutput->Open(name, true)) file->mStream = file->mOutput->Stream();
        }
        if (!file->mStream) {
            UnregisterFile(file);
            FreeRecord(file);
            Fail(ERR_OPENING_FILE);
            return nullptr;
        }
        InstallBuffer(file);
        if (wanted == kFileRead) file->mSize = StreamSize(file->mStream);
        return file;
    } catch (const std::bad_alloc&) {
        if (file->mStream && !file->mOutput) std::fclose(file->mStream);
        UnregisterFile(file);
        FreeRecord(file);
        throw;
    }
}

}  // namespace

File* OpenFile(const char* name, const char* mode) {
    return OpenRecord(name, mode, true);
}

File* OpenOwnFile(const char* name, const char* mode) {
    return OpenRecord(name, mode, false);
}

void CloseFile(File* file) {
    if (!file) return;
    bool failed = false;
    if (file->mOutput) {
        // The record lets go of the stream before the output closes it: a close that is cut off
        // part way must not leave a closed stream to be closed again.
        std::FILE* stream = file->mStream;
        file->mStream = nullptr;
        if (stream && stream != file->mOutput->Stream()) failed = std::fclose(stream) != 0;
        if (file->mWriteFailed) {
            file->mOutput->Abandon();
        } else if (!file->mOutput->Commit()) {
            failed = true;
        }
    } else if (file->mStream) {
        failed = std::fclose(file->mStream) != 0;
    }
    file->mStream = nullptr;
    if (file->mRemoveOnClose) {
        // The file was moved aside for a new file of its old name. When that file was written it
        // is dropped; when it never was, it gets its old name back instead of being lost.
        if (file->mOriginalName.empty() || FileExists(file->mOriginalName))
            std::remove(file->mName.c_str());
        else
            std::rename(file->mName.c_str(), file->mOriginalName.c_str());
    }
    UnregisterFile(file);
    FreeRecord(file);
    if (failed) PushError(ERR_CLOSING_FILE);
}

void CloseAllFiles() {
    if (gTable) {
        for (uint32_t i = 0; i < gCount; ++i) {
            File* file = (*gTable)[i];
            if (!file) continue;
            CloseFile(file);
            if (Stopped()) return;
        }
    }
    ReleaseFileTable();
}

}  // namespace Ftk
