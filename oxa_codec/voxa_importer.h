#ifndef OXA_OXA_CODEC_VOXA_IMPORTER_H
#define OXA_OXA_CODEC_VOXA_IMPORTER_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/verror.h>
#include <oxa/base/vstring.h>

class VOxaSdkManager;
class VOxaScene;
class VOxaReader;
class VStreamOptions;

// Reads a file of any known format into a scene: Initialize picks the reader by the file's
// extension (the reader table of voxa_io_formats.h) and opens the file, GetReadOptions gives the
// reader's options, Import reads and closes the file. The manager creates and destroys the
// importer; the importer owns its reader. Failures answer false and leave the error (the
// reader's error id and text when the reader failed) in GetError.
class OXA_API VOxaImporter {
public:
    explicit VOxaImporter(VOxaSdkManager* manager);
    virtual ~VOxaImporter();
    VOxaImporter(const VOxaImporter&) = delete;
    VOxaImporter& operator=(const VOxaImporter&) = delete;

    // Drops a file opened before, then opens `fileName` with the reader of its extension. False
    // when no reader reads that extension (error 3 with the text "File format not supported"),
    // for a directory (error 3, "File is a directory") or an empty file (error 0, "File is
    // empty"), or when the reader cannot open the file (the reader's error); nothing stays open
    // then. A reader that fails without a text leaves its table's text for the id, or error 7.
    bool Initialize(const char* fileName);
    const char* GetFileName() const { return mFileName.Buffer(); }
    // The reader table index of the open file's format, -1 when none is open.
    int GetFileFormat() const { return mFormat; }

    // A new options object of the open file's reader, which the caller owns, holding what the
    // reader found in the file (a motion file's start, frame count and rate). Null without a file
    // or when the reader has none; when the reader failed to make them (an unreadable header, say)
    // its error is copied, and it is the error to report.
    VStreamOptions* GetReadOptions();
    // Reads the open file into `scene` with `options` (null: the reader's own defaults; when the
    // reader cannot make them the read stops with its error) and closes it, whether the read
    // worked or not. The reader's warnings are kept in GetMessageText. The options' callbacks,
    // and listeners on what the read makes, may read other files with other importers; asking
    // this importer for anything but its error while it reads is refused (false, error 7).
    bool Import(VOxaScene* scene, VStreamOptions* options = nullptr);

    VError& GetError() { return mError; }
    const VString& GetMessageText() const { return mMessageText; }
    VOxaSdkManager* GetSdkManager() const { return mManager; }

private:
    void DropReader();
    void TakeReaderError();
    bool Refused();

    VOxaSdkManager* mManager;
    VOxaReader* mReader = nullptr;
    int mFormat = -1;
    bool mReading = false;  // Import is running
    VString mFileName;
    VError mError;
    VString mMessageText;
};

#endif  // OXA_OXA_CODEC_VOXA_IMPORTER_H
