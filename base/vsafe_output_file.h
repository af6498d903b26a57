#ifndef OXA_BASE_VSAFE_OUTPUT_FILE_H
#define OXA_BASE_VSAFE_OUTPUT_FILE_H

#include <cstddef>
#include <cstdio>
#include <string>

// An output file that never leaves a half-written target. `Open` creates "<path>.tmp" beside the
// target and every write goes there; `Commit` flushes and closes it and only then renames it over
// the target, so readers see the old file or the complete new one. A failed write is remembered:
// `Commit` after one removes the temporary file, leaves the target untouched and answers false.
// Destroying or `Abandon`ing an uncommitted file removes the temporary file as well.
//
//     VSafeOutputFile out;
//     if (!out.Open(path, false)) return Fail(...);
//     std::fprintf(out.Stream(), ...);      // or out.Write(bytes, size)
//     if (!out.Commit()) return Fail(...);  // false when any write or the close failed
class VSafeOutputFile {
public:
    VSafeOutputFile() = default;
    ~VSafeOutputFile();
    VSafeOutputFile(const VSafeOutputFile&) = delete;
    VSafeOutputFile& operator=(const VSafeOutputFile&) = delete;

    // Starts a new temporary file for `path` ("wb" when binary, else "w"); an open one is abandoned
    // first. False when the path is empty or the temporary file cannot be created.
    bool Open(const char* path, bool binary = true);
    bool IsOpen() const { return mStream != nullptr; }
    // The stdio stream of the temporary file (null when closed), for formatted writes. Writers that
    // print through it call `CheckStream` (or `MarkFailed`) so that a failed print is not lost.
    std::FILE* Stream() const { return mStream; }

    // Writes `size` bytes; false (and the file is marked failed) on a short write or when closed.
    bool Write(const void* data, size_t size);
    // Writes a NUL-terminated text.
    bool WriteText(const char* text);
    // Records a failure seen by the caller (a negative printf result, say): Commit will refuse.
    void MarkFailed() { mFailed = true; }
    // Marks the file failed when the stream's error indicator is set; true when all is well.
    bool CheckStream();
    bool Failed() const { return mFailed; }

    // Flushes, closes and renames into place. True only when the file was open, no write failed,
    // and the flush, close and rename succeeded; otherwise the temporary file is removed.
    bool Commit();
    // Closes and removes the temporary file; the target is untouched.
    void Abandon();

    const std::string& TargetPath() const { return mPath; }
    const std::string& TemporaryPath() const { return mTempPath; }

private:
    std::FILE* mStream = nullptr;
    std::string mPath;
    std::string mTempPath;
    bool mFailed = false;
};

#endif  // OXA_BASE_VSAFE_OUTPUT_FILE_H
