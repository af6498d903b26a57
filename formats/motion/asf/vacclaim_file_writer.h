#ifndef OXA_FORMATS_MOTION_ASF_VACCLAIM_FILE_WRITER_H
#define OXA_FORMATS_MOTION_ASF_VACCLAIM_FILE_WRITER_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/vstring.h>
#include <oxa/oxa_codec/voxa_writer.h>

// The "Cannot open file" text of the ASF and AMC writers, with the path cut to a bounded length.
OXA_API VString VOxaAsfCannotOpenText(const char* path);

// The file handling of the ASF and AMC writers over their file object (`File` derives from
// VTextFile): FileCreate makes it and opens it with "w"; FileClose puts the text in place only
// after a Write succeeded (`mWritten`), otherwise the target is left as it was; the writer's end
// drops an unclosed file.
template <class File>
class OXA_TEMPLATE_API VOxaAcclaimFileWriter : public VOxaWriter {
public:
    explicit VOxaAcclaimFileWriter(VOxaSdkManager* manager) : VOxaWriter(manager) {}
    ~VOxaAcclaimFileWriter() override {
        if (mFile) mFile->Discard();
        delete mFile;
    }

    bool FileCreate(const char* path) override {
        if (mFile) mFile->Discard();
        delete mFile;
        mFile = new File();
        if (!path || !mFile->Open(path, "w")) {
            delete mFile;
            mFile = nullptr;
            mError.SetLastError(eFILE_NOT_OPENED, VOxaAsfCannotOpenText(path).Buffer());
            return false;
        }
        mWritten = false;
        return true;
    }
    // Puts the written file in place; false (error 3) when a write failed. Without a successful
    // Write the target is left as it was.
    bool FileClose() override {
        if (!mFile) {
            mError.SetLastErrorID(eFILE_NOT_OPENED);
            return false;
        }
        bool ok = true;
        if (mWritten)
            ok = mFile->Close();
        else
            mFile->Discard();  // nothing complete was written: the target stays as it was
        delete mFile;
        mFile = nullptr;
        if (!ok) mError.SetLastErrorID(eOUT_OF_DISK_SPACE);
        return ok;
    }
    bool IsFileOpen() override { return mFile != nullptr; }

protected:
    File* mFile = nullptr;
    bool mWritten = false;
};

#endif  // OXA_FORMATS_MOTION_ASF_VACCLAIM_FILE_WRITER_H
