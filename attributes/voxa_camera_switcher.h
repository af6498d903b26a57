#ifndef OXA_ATTRIBUTES_VOXA_CAMERA_SWITCHER_H
#define OXA_ATTRIBUTES_VOXA_CAMERA_SWITCHER_H

#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/base/vstring.h>
#include <oxa/scene/voxa_node_attribute.h>

class VFCurve;

// The node attribute of a scene's "Camera Switcher" node (type code 8): an animated choice of
// the active camera. Its one channel, "Camera Index", is made in every take of its node (default
// 1.0, linked to no property); its value at a time is the number of the camera in use. The
// switcher also keeps the camera names those numbers refer to, as a file listed them.
//
// The index operations reach the "Camera Index" curve of the node's default take. Detached, or
// without that curve, the getter answers 0 and the setter does nothing.
class OXA_API VOxaCameraSwitcher : public VOxaNodeAttribute {
public:
    // No names, not attached.
    explicit VOxaCameraSwitcher(VOxaSdkManager* manager);
    ~VOxaCameraSwitcher() override;

    int GetAttributeType() const override { return eCameraSwitcher; }
    // Makes (or finds) "Camera Index" with a curve in `takeNode` and sets its default to 1.
    void AddChannels(VOxaTakeNode* takeNode) override;
    // Deletes "Camera Index" from `takeNode` when it is there.
    void RemoveChannels(VOxaTakeNode* takeNode) override;

    // The curve default truncated toward zero; NaN gives 0 and values beyond the int range
    // saturate.
    int GetDefaultCameraIndex() const;
    // The curve default becomes `index` (single precision).
    void SetDefaultCameraIndex(int index);

    // Appends a copy of `name` (null is taken as empty).
    void AddCameraName(const char* name);
    // The name at `index`; null outside [0, GetCameraNameCount()).
    const char* GetCameraName(int index) const;
    int GetCameraNameCount() const { return (int)mCameraNames.size(); }
    // Appends copies of `other`'s names, in order, after the names held.
    void CopyCameraNames(const VOxaCameraSwitcher& other);

private:
    // The "Camera Index" curve of the node's default take; null when detached or missing.
    VFCurve* GetDefaultCurve() const;

    std::vector<VString> mCameraNames;
};

#endif  // OXA_ATTRIBUTES_VOXA_CAMERA_SWITCHER_H
