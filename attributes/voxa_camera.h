#ifndef OXA_ATTRIBUTES_VOXA_CAMERA_H
#define OXA_ATTRIBUTES_VOXA_CAMERA_H

#include <oxa/attributes/voxa_camera_properties.h>
#include <oxa/base/oxa_export.h>
#include <oxa/base/vge_vector.h>
#include <oxa/base/vstring.h>
#include <oxa/scene/voxa_global_light_settings.h>
#include <oxa/scene/voxa_node_attribute.h>

class VFCurve;
class VOxaObject;

// The node attribute that makes a node a camera (type code 7). Its lens, film, format, display
// and rendering settings live in its property block (VOxaCameraProperties), which the node lists
// among its own properties; a few settings are fields of the camera. The camera's position is
// the node's default "Lcl Translation".
//
// Attached to a node, the camera keeps the channels "FieldOfView", "FieldOfViewX",
// "FieldOfViewY", "OpticalCenterX", "OpticalCenterY", "Roll", "TurnTable" and "BackgroundColor"
// (with "X", "Y", "Z") in every take; on the take "Default" (any case) they are linked to the
// properties of those names, which then follow the curves' default values.
//
// No operation fails: clamping setters bring any value, NaN and infinities included, inside
// their range; the plain setters store what they are given. The default-value operations reach
// only curves that exist: detached, or without the channel, a getter answers the property and
// a setter sets the property alone.
class OXA_API VOxaCamera : public VOxaNodeAttribute, public VOxaCameraTypes {
public:
    // A camera with the defaults of Reset, not attached.
    explicit VOxaCamera(VOxaSdkManager* manager);
    // Destroys the property block.
    ~VOxaCamera() override;

    // --- Node attribute slots ----------------------------------------------------------------
    int GetAttributeType() const override { return eCamera; }
    // Makes (or finds) the camera's channels in `takeNode`, sets their defaults and colours and,
    // on the default take, links them to the properties. The background colour curves take the
    // property's value as it was on entry; the others take fixed values ("FieldOfView" 25.115,
    // "FieldOfViewX" and "FieldOfViewY" 40, the rest 0), which the linked properties follow.
    void AddChannels(VOxaTakeNode* takeNode) override;
    // Deletes the camera's channels from `takeNode` (their links go with the curves).
    void RemoveChannels(VOxaTakeNode* takeNode) override;
    // Its channels are linked to its properties.
    bool AddsChannelsFromStateOnly() const override { return false; }
    // Appends the block's 65 properties in list order.
    void CollectChannels(VArrayTemplate<VProperty*>& properties) override;
    // "Camera", and the one flag "Camera".
    VString GetTypeName() const override;
    VStringList GetTypeFlags() const override;

    VOxaCameraProperties* GetProperties() const { return mProperties; }

    // --- Position, aim and roll --------------------------------------------------------------
    // The node's default "Lcl Translation"; nothing (respectively the zero vector with w = 1)
    // without a node.
    void SetPosition(const VgeTVector& position);
    VgeTVector GetPosition() const;
    void SetUpVector(const VgeTVector& up) { mUpVector = up; }
    VgeTVector GetUpVector() const { return mUpVector; }
    void SetInterestPosition(const VgeTVector& interest) { mInterestPosition = interest; }
    VgeTVector GetInterestPosition() const { return mInterestPosition; }
    // SetDefaultRoll; the getter answers the property "Roll".
    void SetRoll(double roll) { SetDefaultRoll(roll); }
    double GetRoll() const;
    // SetDefaultTurnTable; the getter answers the property "TurnTable".
    void SetTurnTable(double turnTable) { SetDefaultTurnTable(turnTable); }
    double GetTurnTable() const;
    void SetProjectionType(ECameraProjectionType type) { mProperties->SetCameraProjectionType(type); }
    ECameraProjectionType GetProjectionType() const { return mProperties->GetCameraProjectionType(); }

    // --- Picture format and resolution ---------------------------------------------------------
    // Formats 1 to 8 and 10 set the fixed resolution of their table row and the pixel ratio that
    // gives the row's picture ratio, then re-apply the resolution mode the camera was in (fixed
    // ratio, width or height turn the size back into that mode). Any other format only makes
    // the format custom (0).
    void SetFormat(ECameraFormat format);
    ECameraFormat GetFormat() const { return mProperties->GetCameraFormat(); }
    // Stores the size as the mode asks (window size: unchanged; fixed ratio: width at least
    // 0.001, height 1; fixed resolution: both at least 1; fixed width: width at least 1, height
    // at least 0.001; fixed height: width at least 0.001, height at least 1; NaN gives the
    // minimum; any other mode: no size), makes the format custom and stores the mode.
    void SetAspect(ECameraAspectRatioMode mode, double width, double height);
    ECameraAspectRatioMode GetAspectMode() const { return mProperties->GetResolutionMode(); }
    double GetAspectWidth() const { return mProperties->GetAspectW(); }
    double GetAspectHeight() const { return mProperties->GetAspectH(); }
    // Nothing for the current value; else stores the ratio within [0.05, 20] (NaN gives 0.05)
    // and makes the format custom.
    void SetPixelAspectRatio(double ratio);
    double GetPixelAspectRatio() const { return mProperties->GetPixelAspectRatio(); }
    // pictureRatio / (width / height); a width or height of 0 counts as 1.
    static double ComputePixelAspectRatio(int width, int height, double pictureRatio);

    // --- Clipping planes and lock --------------------------------------------------------------
    // Each stores the value within [0.001, 600000] (NaN gives 0.001); the near plane then pushes
    // the far plane up to it, the far plane pulls the near plane down to it, so near <= far.
    void SetNearPlane(double distance);
    double GetNearPlane() const { return mProperties->GetNearPlane(); }
    void SetFarPlane(double distance);
    double GetFarPlane() const { return mProperties->GetFarPlane(); }
    void SetLockMode(bool on) { mProperties->SetLockMode(on); }
    bool GetLockMode() const { return mProperties->GetLockMode(); }

    // --- Film (aperture) and lens --------------------------------------------------------------
    // Formats 1 to 11 set the film size and squeeze of their row; any other index makes the
    // film custom (0) and keeps the size. "FilmAspectRatio" is then width / height.
    void SetApertureFormat(ECameraApertureFormat format);
    ECameraApertureFormat GetApertureFormat() const { return mProperties->GetFilmFormatIndex(); }
    void SetApertureMode(ECameraApertureMode mode) { mProperties->SetApertureMode(mode); }
    ECameraApertureMode GetApertureMode() const { return mProperties->GetApertureMode(); }
    // Nothing for the current value; else stores the value, at least 0.0001 (NaN and infinities
    // give 0.0001), and makes the film custom.
    void SetFilmWidth(double inches);
    double GetFilmWidth() const { return mProperties->GetFilmWidth(); }
    void SetFilmHeight(double inches);
    double GetFilmHeight() const { return mProperties->GetFilmHeight(); }
    void SetFilmSqueezeRatio(double ratio);
    double GetFilmSqueezeRatio() const { return mProperties->GetFilmSqueezeRatio(); }
    // Millimetres, stored unchecked.
    void SetFocalLength(double millimetres) { mProperties->SetFocalLength(millimetres); }
    double GetFocalLength() const { return mProperties->GetFocalLength(); }
    // "FocalLength" from an angle of view in degrees brought into [1, 179] (NaN gives 1). The
    // "FieldOfView" property is not changed.
    void SetFocalLengthFromFieldOfView(double angle);
    // The angle of view of the current film and focal length, within [1, 179] (NaN gives 1).
    double ComputeFieldOfViewFromFocalLength() const;
    // Degrees: 2 atan(size 25.4 / focal / 2), where size is the film height in inches for the
    // vertical aperture mode and the film width times the squeeze ratio otherwise.
    double ComputeFieldOfView(double filmWidth, double filmHeight, double focalLength) const;
    // Millimetres: size 25.4 / (2 tan(angle / 2)), the size chosen as above.
    double ComputeFocalLength(double filmWidth, double filmHeight, double angle) const;

    // --- Background and display ----------------------------------------------------------------
    // File and media names of the background; null is stored as empty, and an empty name is
    // answered as null.
    void SetBackgroundFileName(const char* name) { mBackgroundFileName = name ? name : ""; }
    const char* GetBackgroundFileName() const;
    void SetBackgroundMediaName(const char* name) { mBackgroundMediaName = name ? name : ""; }
    const char* GetBackgroundMediaName() const;
    void SetBackgroundDisplayMode(ECameraBackgroundDisplayMode mode) {
        mProperties->SetViewFrustumBackPlaneMode(mode);
    }
    ECameraBackgroundDisplayMode GetBackgroundDisplayMode() const {
        return mProperties->GetViewFrustumBackPlaneMode();
    }
    void SetBackgroundDrawingMode(ECameraBackgroundDrawingMode mode) { mProperties->SetBackgroundMode(mode); }
    ECameraBackgroundDrawingMode GetBackgroundDrawingMode() const { return mProperties->GetBackgroundMode(); }
    void SetForegroundTransparent(bool on) { mProperties->SetForegroundTransparent(on); }
    bool GetForegroundTransparent() const { return mProperties->GetForegroundTransparent(); }
    void SetBackgroundAlphaTreshold(double value) { mProperties->SetBackgroundAlphaTreshold(value); }
    double GetBackgroundAlphaTreshold() const { return mProperties->GetBackgroundAlphaTreshold(); }
    // Bit 0 "FitImage", bit 1 "Center", bit 2 "KeepRatio", bit 3 "Crop".
    void SetBackgroundPlacementOptions(int options);
    int GetBackgroundPlacementOptions() const;
    void SetBackPlaneDistance(double distance) { mProperties->SetBackPlaneDistance(distance); }
    double GetBackPlaneDistance() const { return mProperties->GetBackPlaneDistance(); }
    void SetBackPlaneDistanceMode(ECameraBackgroundDistanceMode mode) {
        mProperties->SetBackPlaneDistanceMode(mode);
    }
    ECameraBackgroundDistanceMode GetBackPlaneDistanceMode() const {
        return mProperties->GetBackPlaneDistanceMode();
    }
    void SetViewCameraToLookAt(bool on) { mProperties->SetViewCameraToLookAt(on); }
    bool GetViewCameraToLookAt() const { return mProperties->GetViewCameraToLookAt(); }
    void SetViewFrustumNearFarPlane(bool on) { mProperties->SetViewFrustumNearFarPlane(on); }
    bool GetViewFrustumNearFarPlane() const { return mProperties->GetViewFrustumNearFarPlane(); }
    void SetShowGrid(bool on) { mProperties->SetShowGrid(on); }
    bool GetShowGrid() const { return mProperties->GetShowGrid(); }
    void SetShowAzimut(bool on) { mProperties->SetShowAzimut(on); }
    bool GetShowAzimut() const { return mProperties->GetShowAzimut(); }
    void SetShowName(bool on) { mProperties->SetShowName(on); }
    bool GetShowName() const { return mProperties->GetShowName(); }
    void SetShowTimeCode(bool on) { mProperties->SetShowTimeCode(on); }
    bool GetShowTimeCode() const { return mProperties->GetShowTimeCode(); }
    void SetShowInfoOnMoving(bool on) { mShowInfoOnMoving = on; }
    bool GetShowInfoOnMoving() const { return mShowInfoOnMoving; }
    void SetDisplaySafeArea(bool on) { mProperties->SetDisplaySafeArea(on); }
    bool GetDisplaySafeArea() const { return mProperties->GetDisplaySafeArea(); }
    void SetDisplaySafeAreaOnRender(bool on) { mDisplaySafeAreaOnRender = on; }
    bool GetDisplaySafeAreaOnRender() const { return mDisplaySafeAreaOnRender; }
    void SetSafeAreaStyle(ECameraSafeAreaStyle style) { mProperties->SetSafeAreaDisplayStyle(style); }
    ECameraSafeAreaStyle GetSafeAreaStyle() const { return mProperties->GetSafeAreaDisplayStyle(); }
    void SetShowAudio(bool on) { mShowAudio = on; }
    bool GetShowAudio() const { return mShowAudio; }
    // Clamped into [0, 1] as VOxaColor does.
    void SetAudioColor(const VOxaColor& color) { mAudioColor = color; }
    VOxaColor GetAudioColor() const { return mAudioColor; }
    // SetDefaultBackgroundColor; the getter answers the property "BackgroundColor" (alpha 1).
    void SetBackgroundColor(const VOxaColor& color) { SetDefaultBackgroundColor(color); }
    VOxaColor GetBackgroundColor() const;
    void SetUseFrameColor(bool on) { mProperties->SetUseFrameColor(on); }
    bool GetUseFrameColor() const { return mProperties->GetUseFrameColor(); }
    // The four values of the colour go into "FrameColor" and its fourth storage value.
    void SetFrameColor(const VOxaColor& color);
    VOxaColor GetFrameColor() const;

    // --- Rendering -----------------------------------------------------------------------------
    // 0 sets "UseRealTimeDOFAndAA", 1 clears it, other values are ignored; the getter answers 0
    // while it is set, else 1.
    void SetUseOverSamplingTime(int value);
    int GetUseOverSamplingTime() const { return mProperties->GetUseRealTimeDOFAndAA() ? 0 : 1; }
    void SetUseAntialiasing(bool on) { mProperties->SetUseAntialiasing(on); }
    bool GetUseAntialiasing() const { return mProperties->GetUseAntialiasing(); }
    void SetAntialiasingIntensity(double value) { mProperties->SetAntialiasingIntensity(value); }
    double GetAntialiasingIntensity() const { return mProperties->GetAntialiasingIntensity(); }
    void SetAntialiasingMethod(int method) { mAntialiasingMethod = method; }
    int GetAntialiasingMethod() const { return mAntialiasingMethod; }
    void SetFrameSamplingCount(int count) { mProperties->SetFrameSamplingCount(count); }
    int GetFrameSamplingCount() const { return mProperties->GetFrameSamplingCount(); }
    void SetFrameSamplingType(int type) { mFrameSamplingType = type; }
    int GetFrameSamplingType() const { return mFrameSamplingType; }
    void SetUseAccumulationBuffer(bool on) { mProperties->SetUseAccumulationBuffer(on); }
    bool GetUseAccumulationBuffer() const { return mProperties->GetUseAccumulationBuffer(); }
    void SetUseDepthOfField(bool on) { mProperties->SetUseDepthOfField(on); }
    bool GetUseDepthOfField() const { return mProperties->GetUseDepthOfField(); }
    void SetFocusSource(ECameraFocusDistanceSource source) { mProperties->SetFocusSource(source); }
    ECameraFocusDistanceSource GetFocusSource() const { return mProperties->GetFocusSource(); }
    void SetFocusDistance(double distance) { mProperties->SetFocusDistance(distance); }
    double GetFocusDistance() const { return mProperties->GetFocusDistance(); }
    void SetFocusAngle(double degrees) { mProperties->SetFocusAngle(degrees); }
    double GetFocusAngle() const { return mProperties->GetFocusAngle(); }

    // --- Default-take values of the animated channels --------------------------------------------
    // The default value of the curve in the node's default take; the property when detached or
    // when the curve is missing.
    double GetDefaultFieldOfView() const;
    double GetDefaultFieldOfViewX() const;
    double GetDefaultFieldOfViewY() const;
    double GetDefaultOpticalCenterX() const;
    double GetDefaultOpticalCenterY() const;
    // Red, green and blue of the "BackgroundColor" curves (each component from the property
    // when its curve is missing), alpha 1.
    VOxaColor GetDefaultBackgroundColor() const;
    // Set the property and, when the curve exists in the node's default take, its default value
    // (single precision). The property keeps the double given.
    void SetDefaultFieldOfView(double value);
    void SetDefaultFieldOfViewX(double value);
    void SetDefaultFieldOfViewY(double value);
    void SetDefaultOpticalCenterX(double value);
    void SetDefaultOpticalCenterY(double value);
    void SetDefaultRoll(double value);
    void SetDefaultTurnTable(double value);
    // The property gets (red, green, blue, 1); the curves that exist get red, green, blue.
    void SetDefaultBackgroundColor(const VOxaColor& color);
    // Makes `object`'s property block a source of the node's property block, unless it is one
    // already. Nothing for null, an object without block, or a detached camera.
    void ConnectBackgroundVideo(VOxaObject* object);

    // --- Whole camera --------------------------------------------------------------------------
    // Every default: position (0, 0, -50) when attached, up (0, 1, 0), interest at the origin,
    // 35 mm lens on 35mm TV projection film, vertical aperture, 320 x 200 window size, planes 10
    // and 4000, and the display and rendering defaults. "LockInterestNavigation" is kept.
    void Reset();
    // Reset without the position, for a caller that sets the position itself right after: the
    // node's translation (and the curves that mirror it) is written once instead of twice.
    void ResetExceptPosition();
    // Copies the other camera's settings, except the field-of-view, optical-centre, motion-blur
    // and magnifier values, "ViewCameraToLookAt", "LockInterestNavigation",
    // "DisplayTurnTableIcon", "ShowOpticalCenter", "SafeAreaAspectRatio" and "FilmAspectRatio".
    // Format, size, planes and film are copied as stored, without their rules.
    VOxaCamera& operator=(const VOxaCamera& other);

private:
    // The curve named `channel` (and `component` below it, when given) in the node's default
    // take; null when detached or missing.
    VFCurve* GetDefaultCurve(const char* channel, const char* component = nullptr) const;
    // The value of the animated property `which` as a double; 0 when it is missing.
    double GetAnimatedValue(int which) const;
    // The curve `channel` of the default take gets `value` when it exists, then the property.
    void SetDefaultAnimated(int which, const char* channel, double value);
    // The curve's default value, or the property's value when the curve is missing.
    double GetDefaultAnimated(int which, const char* channel) const;

    VOxaCameraProperties* mProperties;
    VgeTVector mUpVector{0.0, 1.0, 0.0, 1.0};
    VgeTVector mInterestPosition{0.0, 0.0, 0.0, 1.0};
    VString mBackgroundMediaName{""};
    VString mBackgroundFileName{""};
    bool mShowInfoOnMoving = true;
    bool mDisplaySafeAreaOnRender = false;
    bool mShowAudio = false;
    VOxaColor mAudioColor{0.0, 1.0, 0.0, 1.0};
    int mAntialiasingMethod = 0;
    int mFrameSamplingType = 1;
};

#endif  // OXA_ATTRIBUTES_VOXA_CAMERA_H
