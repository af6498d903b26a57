#ifndef OXA_FORMATS_MOTION_VTEXT_MOTION_IO_H
#define OXA_FORMATS_MOTION_VTEXT_MOTION_IO_H

#include <cstdio>

#include <oxa/base/oxa_export.h>
#include <oxa/base/vstring.h>
#include <oxa/formats/motion/voxa_motion_base.h>
#include <oxa/oxa_codec/voxa_reader.h>
#include <oxa/oxa_codec/voxa_writer.h>

// The file handling of a reader over one text file object (`File` derives from VTextFile and is
// default-constructible): FileOpen makes and opens it with "r", FileClose or the reader's end
// deletes it. Error "File not opened" when the file cannot be opened or there is none to close.
template <class File>
class OXA_TEMPLATE_API VOxaTextFileReader : public VOxaReader {
public:
    explicit VOxaTextFileReader(VOxaSdkManager* manager) : VOxaReader(manager) {}
    ~VOxaTextFileReader() override { delete mFile; }

    // Closes an open file first, so a failed open leaves none.
    bool FileOpen(const char* path) override {
        if (mFile) FileClose();
        File* file = new File();
        if (!path || !file->Open(path, "r")) {
            delete file;
            mError.SetLastErrorID(eFILE_NOT_OPENED);
            return false;
        }
        mFile = file;
        mFileName = path;
        return true;
    }
    bool FileClose() override {
        if (!mFile) {
            mError.SetLastErrorID(eFILE_NOT_OPENED);
            return false;
        }
        delete mFile;
        mFile = nullptr;
        mFileName = "";
        OnFileClosed();
        return true;
    }
    bool IsFileOpen() override { return mFile != nullptr; }

protected:
    // Drops what a reader learned from the closed file.
    virtual void OnFileClosed() {}
    // Error "File is corrupted" followed by what the file says made its read fail and on which
    // line; false.
    bool Corrupted() { return VOxaMotionSupport::Corrupted(mError, mFile ? mFile->GetFailure() : ""); }
    // Error "File is corrupted" followed by `detail`; false.
    bool Corrupted(const char* detail) { return VOxaMotionSupport::Corrupted(mError, detail); }

    File* mFile = nullptr;
    VString mFileName{""};
};

// The file handling of a motion writer over one text file object: FileCreate makes it and opens
// it with "w" (error 1 "Cannot open file \"<path>\" for writing." when that fails), FileClose puts
// the written text in place (error 3 when a write failed; a text dropped by a failed Write is
// not put in place), the writer's end drops an unclosed file.
template <class File>
class OXA_TEMPLATE_API VOxaTextFileWriter : public VOxaWriter {
public:
    explicit VOxaTextFileWriter(VOxaSdkManager* manager) : VOxaWriter(manager) {}
    ~VOxaTextFileWriter() override { delete mFile; }

    bool FileCreate(const char* path) override {
        delete mFile;
        mFile = new File();
        if (!path || !mFile->Open(path, "w")) {
            delete mFile;
            mFile = nullptr;
            char text[1024];
            std::snprintf(text, sizeof text, "Cannot open file \"%s\" for writing.", path ? path : "");
            mError.SetLastError(eFILE_NOT_OPENED, text);
            return false;
        }
        return true;
    }
    bool FileClose() override {
        if (!mFile) {
            mError.SetLastErrorID(eFILE_NOT_OPENED);
            return false;
        }
        // A file dropped after a failed Write has nothing to put in place.
        const bool closed = !mFile->IsOpen() || mFile->Close();
        delete mFile;
        mFile = nullptr;
        if (!closed) {
            mError.SetLastErrorID(eOUT_OF_DISK_SPACE);
            return false;
        }
        return true;
    }
    bool IsFileOpen() override { return mFile != nullptr; }

protected:
    // The start of every Write: the options as motion options; null with error 1 without a file,
    // or with the text dropped and error 4 when the options are missing or of another kind.
    VStreamOptionsMotion* BeginWrite(VStreamOptions* streamOptions) {
        if (!mFile) {
            mError.SetLastErrorID(eFILE_NOT_OPENED);
            return nullptr;
        }
        VStreamOptionsMotion* options = VOxaMotionSupport::AsMotionOptions(streamOptions);
        if (!options) DropWrite(eSTREAM_OPTIONS_NOT_SET);
        return options;
    }
    // The end of a Write: true when every write succeeded. A number the file cannot hold drops
    // the text and refuses the file with the text naming the node and frame
    // (VTextFile::GetUnwritableNumber); any other failed write drops it with "Out of disk space".
    bool EndWrite(bool ok) { return VOxaMotionSupport::EndTextWrite(*mFile, mError, ok); }
    // Drops the written text (the target keeps its former contents) and sets `errorId`; false.
    bool DropWrite(int errorId) {
        mFile->Discard();
        mError.SetLastErrorID(errorId);
        return false;
    }

    File* mFile = nullptr;
};

#endif  // OXA_FORMATS_MOTION_VTEXT_MOTION_IO_H
