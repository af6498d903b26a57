#ifndef OXA_OXA_CODEC_VOXA_READER_H
#define OXA_OXA_CODEC_VOXA_READER_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/verror.h>
#include <oxa/base/vstring.h>

class VOxaSdkManager;
class VOxaScene;
class VOxaNode;
class VStreamOptions;

// The base of every file reader. The importer constructs a reader with the SDK manager, then
// calls FileOpen, GetReadOptions (the caller owns the answer and may change it), Read and
// FileClose, and destroys it. A reader lives for one file and owns what it opened; the scene
// objects it creates belong to the manager. Failures answer false (or null) and set the
// error object to one of EError; warnings that do not stop the work are appended, one line
// each, to the message text.
class OXA_API VOxaReader {
public:
    enum EError {
        eFILE_CORRUPTED = 0,
        eFILE_VERSION_NOT_SUPPORTED_YET = 1,
        eFILE_VERSION_NOT_SUPPORTED_ANYMORE = 2,
        eFILE_NOT_OPENED = 3,
        eFILE_NOT_CREATED = 4,
        eWRONG_PASSWORD = 5,
        eSTREAM_OPTIONS_NOT_SET = 6,
        eUNIDENTIFIED_ERROR = 7,
        eNOT_ENOUGH_MEMORY = 8,
        eERROR_COUNT
    };

    // Keeps the manager (which may be null where no scene objects are made).
    explicit VOxaReader(VOxaSdkManager* manager);
    virtual ~VOxaReader();
    VOxaReader(const VOxaReader&) = delete;
    VOxaReader& operator=(const VOxaReader&) = delete;

    // The base has no file: FileOpen fails with "File not opened", FileClose fails, no file is
    // open and there are no read options. Every reader overrides them.
    virtual bool FileOpen(const char* path);
    virtual bool FileClose();
    virtual bool IsFileOpen();
    virtual VStreamOptions* GetReadOptions();
    // Reads the open file into `scene` with `options`.
    virtual bool Read(VOxaScene* scene, VStreamOptions* options) = 0;

    // True when no two nodes of the subtree under `node` share a name; otherwise false, with
    // "\n    " and the name appended to `report` for each duplicate. Walks scene nodes, so it is
    // defined with the scene graph.
    bool CheckDuplicateNodeNames(VOxaNode* node, VString& report);
    // The same for the nodes below `reference`, a node the reader made to hold what it read:
    // a file may name one of its own nodes as the reader names that one.
    bool CheckDuplicateNamesBelow(VOxaNode* reference, VString& report);

    VOxaSdkManager* GetSdkManager() const { return mManager; }
    VError& GetError() { return mError; }
    const VError& GetError() const { return mError; }
    // Warnings appended by the reader, empty at construction.
    VString& GetMessageText() { return mMessageText; }
    const VString& GetMessageText() const { return mMessageText; }

protected:
    VOxaSdkManager* mManager;
    VError mError;
    VString mMessageText;
};

#endif  // OXA_OXA_CODEC_VOXA_READER_H
