#ifndef OXA_FORMATS_MOTION_BVH_VOXA_READER_BIOVISION_H
#define OXA_FORMATS_MOTION_BVH_VOXA_READER_BIOVISION_H

#include <memory>

#include <oxa/base/oxa_export.h>
#include <oxa/base/vstring.h>
#include <oxa/oxa_codec/voxa_reader.h>

class VOxaFileBiovision;
class VOxaNode;
class VStreamOptionsMotion;

// Imports a BVH file as a tree of skeleton nodes (limb nodes named after the joints, end sites
// named after their joint with "_End") with one take of animation named after the file. The nodes
// hang below a reference node "BVH:reference" under the scene's root node, or straight below the
// root node when "ImportCreateReferenceNode" is not 1. Every node below the root joint carries
// limits with its bone: the translation limits hold the offset, and a joint with one child aims
// its rotation default and axis at that child, with the bone length as axis length ("AxisLen").
//
// Errors: 0 "File is corrupted" (with what was wrong and on which line), 3 "File not opened",
// 6 "Stream options not set".
class OXA_API VOxaReaderBiovision : public VOxaReader {
public:
    explicit VOxaReaderBiovision(VOxaSdkManager* manager);
    ~VOxaReaderBiovision() override;

    bool FileOpen(const char* path) override;
    bool FileClose() override;
    bool IsFileOpen() override;
    // New motion options with the file's frame rate and count, or null (error 3 without a file,
    // error 0 when the motion header cannot be read).
    VStreamOptions* GetReadOptions() override;
    bool Read(VOxaScene* scene, VStreamOptions* options) override;

    // The open file, null while closed.
    VOxaFileBiovision* GetFile() const { return mFile.get(); }

private:
    bool Corrupted(const char* detail);
    // One node per joint below `reference`, in file order, with the take `takeName`.
    bool CreateNodes(VOxaNode* reference, const char* takeName);

    std::unique_ptr<VOxaFileBiovision> mFile;
    VString mFileName{""};
};

// The factory of the format table.
OXA_API VOxaReader* VOxaCreateReaderBiovision(VOxaSdkManager* manager);

#endif  // OXA_FORMATS_MOTION_BVH_VOXA_READER_BIOVISION_H
