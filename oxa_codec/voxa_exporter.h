#ifndef OXA_OXA_CODEC_VOXA_EXPORTER_H
#define OXA_OXA_CODEC_VOXA_EXPORTER_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/verror.h>
#include <oxa/base/vstring.h>

class VOxaSdkManager;
class VOxaScene;
class VOxaWriter;
class VStreamOptions;

// Writes a scene in a chosen format: Initialize sets the file name, SetFileFormat chooses the
// writer by its index in the writer table of voxa_io_formats.h, GetWriteOptions gives that
// writer's options, Export creates the file, writes and closes it. The manager creates and
// destroys the exporter; the exporter owns its writer. Failures answer false and leave the
// error (the writer's id and text when the writer failed) in GetError.
class OXA_API VOxaExporter {
public:
    explicit VOxaExporter(VOxaSdkManager* manager);
    virtual ~VOxaExporter();
    VOxaExporter(const VOxaExporter&) = delete;
    VOxaExporter& operator=(const VOxaExporter&) = delete;

    // Sets the file to write; nothing is created before Export. False for an empty name.
    // Unless SetFileFormat chose one, the format becomes the one of the name's extension (-1,
    // none, for an extension no writer has).
    bool Initialize(const char* fileName);
    const char* GetFileName() const { return mFileName.Buffer(); }

    // Chooses the writer of format `index`; false (error 5, the text naming the index) for an
    // index outside the writer table, the format then being unset. Without a format chosen,
    // Initialize picks the writer the file name's extension names.
    bool SetFileFormat(int index);
    int GetFileFormat() const { return mFormat; }

    // A new options object of the chosen writer, which the caller owns; null without a format.
    VStreamOptions* GetWriteOptions();
    // Creates the file with the chosen writer, writes `scene` with `options` (null: the
    // writer's own defaults) and closes the file. The writer's warnings are kept in
    // GetMessageText. The writer is used for one file only; the format stays chosen. The
    // options' callbacks may write other files with other exporters; asking this exporter for
    // anything but its error while it writes is refused (false or null, error 5).
    bool Export(VOxaScene* scene, VStreamOptions* options = nullptr);

    VError& GetError() { return mError; }
    const VString& GetMessageText() const { return mMessageText; }
    VOxaSdkManager* GetSdkManager() const { return mManager; }

private:
    bool MakeWriter();
    void DropWriter();
    void TakeWriterError();
    bool Refused();

    VOxaSdkManager* mManager;
    VOxaWriter* mWriter = nullptr;
    int mFormat = -1;
    bool mFormatChosen = false;  // by SetFileFormat, not from the file name
    bool mWriting = false;       // Export is running
    VString mFileName;
    VError mError;
    VString mMessageText;
};

#endif  // OXA_OXA_CODEC_VOXA_EXPORTER_H
