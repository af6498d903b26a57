#ifndef OXA_FORMATS_MOTION_BVH_VOXA_WRITER_BIOVISION_H
#define OXA_FORMATS_MOTION_BVH_VOXA_WRITER_BIOVISION_H

#include <memory>
#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/base/vge_vector.h>
#include <oxa/base/vtime.h>
#include <oxa/oxa_codec/voxa_writer.h>

class VOxaFileBiovision;
class VOxaMotionSampler;
class VOxaNode;
class VStreamOptionsMotion;

// Exports the node tree below the scene's motion root (the first marked node down the chain of
// only children from the root node) as a BVH file, sampling every frame of the options' range.
// The root joint has six channels; the others three rotations Z, X, Y unless "Translation" is 1,
// which gives every joint six. Values are in scene units, without axis conversion. A reader's
// end node (or a leaf named "..._EndSite") becomes an end site; any other leaf becomes a joint
// whose end site is rebuilt from its limits' rotation axis and its "AxisLen". A marker occluded
// in every frame is left out with a warning; blanks in names are written as '_' with a warning.
//
// The file is written under a temporary name and put in place by FileClose only when every write
// succeeded: a failed write keeps the old target (error 3 "Out of disk space").
//
// Errors: 1 "File not opened" (FileCreate: "Cannot open file "<name>" for writing."), 2 ("Can not
// find root node.", "no joints to write" or frames the time line cannot hold), 3 "Out of disk
// space", 4 "Stream options not set".
class OXA_API VOxaWriterBiovision : public VOxaWriter {
public:
    explicit VOxaWriterBiovision(VOxaSdkManager* manager);
    ~VOxaWriterBiovision() override;

    bool FileCreate(const char* path) override;
    // Puts the written file in place, unless a Write failed (then the old target stays).
    bool FileClose() override;
    bool IsFileOpen() override;
    // New motion options: "Translation" 0, "ExportFromGlobalPosition" 0,
    // "ExportRequireSingleRootNode" 1.
    VStreamOptions* GetWriteOptions() override;
    bool Write(VOxaScene* scene, VStreamOptions* options) override;

    // True for a node written as an end site: a leaf whose parent (if any) has one child, and
    // which is an end node as the skeleton readers make them (VOxaMotionSupport::IsEndNode) or
    // has a name holding "_EndSite". Every other leaf is a joint with an end site of its own.
    static bool IsEndSiteNode(VOxaNode* node);

private:
    // One node of the written tree, in depth-first order.
    struct Entry {
        VOxaNode* mNode;
        int mParent;  // index in the list, -1 for the root
        int mLevel;
        bool mEndSite;
        bool mLeaf;          // a joint without children: it gets an end site of its own
        double mLeafEnd[3];  // that end site's offset before scaling
        bool mPositions;     // the joint's frames carry its translation (set once pivots are converted)
    };

    bool Fail(int id, const char* text = nullptr);
    void CollectNodes(VOxaNode* root);
    // The offsets: the default translations, but a joint without translation channels takes the
    // translation its current take gives it at `start` (VOxaMotionSupport::JointTranslation).
    bool WriteHierarchy(VTime start, VOxaMotionSampler& sampler);
    bool WriteFrame(VTime time, int frame, VOxaMotionSampler& sampler);

    std::unique_ptr<VOxaFileBiovision> mFile;
    bool mWriteFailed = false;
    // For one Write.
    VStreamOptionsMotion* mOptions = nullptr;
    VOxaNode* mRoot = nullptr;
    bool mGlobalPosition = false;
    bool mRotationOnly = true;
    std::vector<Entry> mEntries;
    std::vector<VOxaNode*> mLeftOut;  // never-seen markers, see VOxaSkeletonSupport
    std::vector<VgeTVector> mScales;
};

// The factory of the format table.
OXA_API VOxaWriter* VOxaCreateWriterBiovision(VOxaSdkManager* manager);

#endif  // OXA_FORMATS_MOTION_BVH_VOXA_WRITER_BIOVISION_H
