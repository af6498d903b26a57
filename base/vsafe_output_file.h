#ifndef OXA_BASE_VSAFE_OUTPUT_FILE_H
#define OXA_BASE_VSAFE_OUTPUT_FILE_H

#include <oxa/base/oxa_export.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

// Creates a new temporary file in the folder of `target` under a fresh unique name (".oxa" and
// random letters, short enough for any target name), exclusively and never through a link, and
// opens it for writing ("wb" when binary, else "w"). The file gets the permission bits of the
// regular file at `target` when there is one (a file put in its place keeps them), else the
// usual mode less the umask. Null (errno set) when it cannot be created.
//
// Every temporary file is listed in the process's register of temporaries until the safe-output
// code renames or removes it; whoever renames or removes one of its own calls
// VForgetTemporary.
OXA_API std::FILE* VCreateTemporaryFor(const std::string& target, std::string& temporaryPath,
                                       bool binary = true);

// Takes `temporaryPath` off the register of temporaries (it was renamed or removed).
OXA_API void VForgetTemporary(const std::string& temporaryPath);

// Removes every temporary file on the register. It only calls unlink, so a signal handler may
// call it: a program stopped by a signal leaves no temporary behind.
OXA_API void VRemoveTemporaries();

// An output file that never leaves a half-written target. `Open` creates a temporary file of its
// own beside the target (see VCreateTemporaryFor) and every write goes there; `Commit` flushes and
// closes it and only then renames it over the target, so readers see the old file or the complete
// new one. A failed write is remembered: `Commit` after one removes the temporary file, leaves
// the target untouched and answers false. Destroying or `Abandon`ing an uncommitted file removes
// the temporary file as well.
//
// While a VSafeOutputGroup is current on the thread, `Commit` hands the written temporary file to
// the group instead of renaming it: the group puts all its files in place together.
//
//     VSafeOutputFile out;
//     if (!out.Open(path, false)) return Fail(...);
//     std::fprintf(out.Stream(), ...);      // or out.Write(bytes, size)
//     if (!out.Commit()) return Fail(...);  // false when any write or the close failed
class OXA_API VSafeOutputFile {
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
    void MarkFailed() { NoteFailure(errno); }
    // Marks the file failed when the stream's error indicator is set; true when all is well.
    bool CheckStream();
    bool Failed() const { return mFailed; }
    // The system's error number of the first failed write, flush or close (0 when none is known).
    int FailedErrno() const { return mErrno; }

    // Flushes, closes and renames into place (or hands the file to the current group). True only
    // when the file was open, no write failed, and the flush, close and rename succeeded;
    // otherwise the temporary file is removed.
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
    int mErrno = 0;

    void NoteFailure(int error);
    void RemoveOwnTemporary();
};

// The files of one run, put in place together. While a group exists it is the current group of
// its thread (groups nest: the newest is current until it is destroyed), and every
// VSafeOutputFile committed meanwhile joins it as a written temporary file. `Commit` renames them
// over their targets in the order they joined; a nested group hands them to the group around it
// instead. When a target cannot be replaced (it is a folder, say), the targets replaced before it
// get their old files back and every temporary file is removed. Destroying a group that was not
// committed, or `Abandon`, removes every temporary file made while it was current, also those of
// files still open: no target changes.
//
//     VSafeOutputGroup run;
//     if (!WriteEverything()) return false;   // the group's destructor removes the temporaries
//     if (!run.Commit()) Report(run.FailedPath(), run.FailedErrno());
class OXA_API VSafeOutputGroup {
public:
    VSafeOutputGroup();
    ~VSafeOutputGroup();
    VSafeOutputGroup(const VSafeOutputGroup&) = delete;
    VSafeOutputGroup& operator=(const VSafeOutputGroup&) = delete;

    static VSafeOutputGroup* Current();

    bool Commit();
    void Abandon();

    // The targets waiting to be put in place, in order.
    std::vector<std::string> Targets() const;
    // After a failed Commit: the target that could not be replaced and the system's error number.
    const std::string& FailedPath() const { return mFailedPath; }
    int FailedErrno() const { return mFailedErrno; }
    // The first file of the group that could not be created or written, and the system's error
    // number (0 when it is not known); empty when every write went well.
    const std::string& WriteFailedPath() const { return mWriteFailedPath; }
    int WriteFailedErrno() const { return mWriteFailedErrno; }

private:
    friend class VSafeOutputFile;
    friend std::FILE* VCreateTemporaryFor(const std::string&, std::string&, bool);
    struct Entry {
        std::string temporary;
        std::string target;
    };
    void Add(const std::string& temporary, const std::string& target);
    void NoteWriteFailure(const std::string& target, int error);

    std::vector<Entry> mEntries;
    std::vector<std::string> mMade;  // every temporary file made while the group was current
    VSafeOutputGroup* mOuter = nullptr;
    std::string mFailedPath;
    int mFailedErrno = 0;
    std::string mWriteFailedPath;
    int mWriteFailedErrno = 0;
};

#endif  // OXA_BASE_VSAFE_OUTPUT_FILE_H
