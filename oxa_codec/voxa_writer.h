#ifndef OXA_OXA_CODEC_VOXA_WRITER_H
#define OXA_OXA_CODEC_VOXA_WRITER_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/verror.h>
#include <oxa/base/vstring.h>

class VOxaSdkManager;
class VOxaScene;
class VOxaNode;
class VStreamOptions;

// The base of every file writer. The exporter constructs a writer with the SDK manager, then
// calls FileCreate, GetWriteOptions (the caller owns the answer and may change it), Write and
// FileClose, and destroys it. A writer lives for one file and owns what it created. Failures
// answer false (or null) and set the error object to one of EError; warnings that do not stop
// the work are appended, one line each, to the message text.
class OXA_API VOxaWriter {
public:
    enum EError {
        eFILE_CORRUPTED = 0,
        eFILE_NOT_OPENED = 1,
        eFILE_NOT_CREATED = 2,
        eOUT_OF_DISK_SPACE = 3,
        eSTREAM_OPTIONS_NOT_SET = 4,
        eUNIDENTIFIED_ERROR = 5,
        eNOT_ENOUGH_MEMORY = 6,
        eERROR_COUNT
    };

    // Keeps the manager (which may be null).
    explicit VOxaWriter(VOxaSdkManager* manager);
    virtual ~VOxaWriter();
    VOxaWriter(const VOxaWriter&) = delete;
    VOxaWriter& operator=(const VOxaWriter&) = delete;

    // The base has no file: FileCreate fails with "File not created", FileClose with "File not
    // opened", no file is open and there are no write options. Every writer overrides them.
    virtual bool FileCreate(const char* path);
    virtual bool FileClose();
    virtual bool IsFileOpen();
    virtual VStreamOptions* GetWriteOptions();
    // Writes `scene` to the created file with `options`.
    virtual bool Write(VOxaScene* scene, VStreamOptions* options) = 0;

    // From the scene's root node, follows single-child links and answers the first node that
    // is marked; null when none is. Walks scene nodes, so it is defined with the scene graph.
    VOxaNode* FindMotionRootNode(VOxaScene* scene);
    // False when the name of a node of the subtree under `node` holds a blank, each such name
    // being appended to `report`; true otherwise. Defined with the scene graph.
    bool CheckSpaceInNodeNameRecursive(VOxaNode* node, VString& report);

    VOxaSdkManager* GetSdkManager() const { return mManager; }
    VError& GetError() { return mError; }
    const VError& GetError() const { return mError; }
    // Warnings appended by the writer, empty at construction.
    VString& GetMessageText() { return mMessageText; }
    const VString& GetMessageText() const { return mMessageText; }

protected:
    VOxaSdkManager* mManager;
    VError mError;
    VString mMessageText;
};

#endif  // OXA_OXA_CODEC_VOXA_WRITER_H
