#ifndef OXA_SCENE_VOXA_GLOBAL_CAMERA_SETTINGS_H
#define OXA_SCENE_VOXA_GLOBAL_CAMERA_SETTINGS_H

#include <cstdint>
#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/base/verror.h>
#include <oxa/base/vstring.h>

class VOxaCamera;
class VOxaNode;
class VOxaNodeAttribute;
class VOxaScene;
class VOxaSdkManager;

// A scene's seven producer cameras (the fixed viewing cameras of an animation application: one
// perspective view and six orthographic ones), the name of the default camera and the default
// viewing mode. The cameras are ordinary cameras on ordinary nodes made through the manager, not
// part of the scene hierarchy; readers copy camera settings into them by name and writers write
// them out.
//
// Errors: 0 "Null parameter.", 1 "Unknown camera name." (for callers that report them).
class OXA_API VOxaGlobalCameraSettings {
public:
    enum EError : int { eNullParameter = 0, eUnknownCameraName = 1, eErrorCount };
    // The producer cameras, in the order of their making.
    enum EProducer : int { ePerspective = 0, eTop, eBottom, eFront, eBack, eRight, eLeft, eProducerCount };

    // Makes the seven cameras and nodes through `manager` ("Producer Perspective", "Producer
    // Top", "Producer Bottom", "Producer Front", "Producer Back", "Producer Right", "Producer
    // Left"), each node invisible with its camera attached, then restores the defaults. Without
    // a manager there are no cameras or nodes.
    VOxaGlobalCameraSettings(VOxaSdkManager* manager, VOxaScene* scene);
    VOxaGlobalCameraSettings(const VOxaGlobalCameraSettings&) = delete;
    // Destroys the seven nodes (and with them their cameras) through the manager.
    ~VOxaGlobalCameraSettings();
    // Copies the default camera name, the viewing mode and each camera's settings into the
    // matching camera.
    VOxaGlobalCameraSettings& operator=(const VOxaGlobalCameraSettings& other);

    // Default camera "Producer Perspective", viewing mode 0, and every camera reset to its
    // producer defaults (projection, 40 degree view, planes, position, up vector). A camera
    // that nothing changed since the last restore is left as it is.
    void RestoreDefaultSettings();

    const char* GetDefaultCamera() const { return mDefaultCamera.Buffer(); }
    int GetDefaultViewingMode() const { return mDefaultViewingMode; }
    void SetDefaultViewingMode(int mode) { mDefaultViewingMode = mode; }

    // The producer cameras and their nodes (null without a manager).
    VOxaCamera* GetProducerPerspectiveCamera() const { return mCameras[ePerspective]; }
    VOxaCamera* GetProducerTopCamera() const { return mCameras[eTop]; }
    VOxaCamera* GetProducerBottomCamera() const { return mCameras[eBottom]; }
    VOxaCamera* GetProducerFrontCamera() const { return mCameras[eFront]; }
    VOxaCamera* GetProducerBackCamera() const { return mCameras[eBack]; }
    VOxaCamera* GetProducerRightCamera() const { return mCameras[eRight]; }
    VOxaCamera* GetProducerLeftCamera() const { return mCameras[eLeft]; }
    VOxaNode* GetProducerPerspectiveNode() const { return mNodes[ePerspective]; }
    VOxaNode* GetProducerTopNode() const { return mNodes[eTop]; }
    VOxaNode* GetProducerBottomNode() const { return mNodes[eBottom]; }
    VOxaNode* GetProducerFrontNode() const { return mNodes[eFront]; }
    VOxaNode* GetProducerBackNode() const { return mNodes[eBack]; }
    VOxaNode* GetProducerRightNode() const { return mNodes[eRight]; }
    VOxaNode* GetProducerLeftNode() const { return mNodes[eLeft]; }

    // True when `name` is one of the seven producer names or "Camera Switcher", compared byte
    // for byte; false for null.
    static bool IsProducerCamera(const char* name);
    // Copies `camera`'s settings into the producer camera named `name` exactly; nothing for a
    // null or empty name, a null camera or any other name.
    void CopyProducerCamera(const char* name, const VOxaCamera* camera);

    // For a node or attribute that the manager is destroying: a producer node or camera that it
    // is becomes none (its getter answers null).
    void ReleaseNode(const VOxaNode* node);
    void ReleaseNodeAttribute(const VOxaNodeAttribute* attribute);

    VError& GetError() { return mError; }
    int GetLastErrorID() const { return mError.GetLastErrorID(); }
    const char* GetLastErrorString() const { return mError.GetLastErrorString().Buffer(); }

private:
    VOxaSdkManager* mManager;
    [[maybe_unused]] VOxaScene* mScene;  // the scene these settings belong to
    VString mDefaultCamera{""};
    int mDefaultViewingMode = 0;
    VOxaCamera* mCameras[eProducerCount] = {};
    VOxaNode* mNodes[eProducerCount] = {};
    // Each camera's state as the last restore left it (empty until then), and room to compare.
    std::vector<uint64_t> mRestored[eProducerCount];
    std::vector<uint64_t> mScratch;
    VError mError;
};

#endif  // OXA_SCENE_VOXA_GLOBAL_CAMERA_SETTINGS_H
