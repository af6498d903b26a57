#ifndef OXA_ATTRIBUTES_VOXA_CAMERA_PROPERTIES_H
#define OXA_ATTRIBUTES_VOXA_CAMERA_PROPERTIES_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/vge_vector.h>
#include <oxa/objects/voxa_property_handler.h>
#include <oxa/objects/vproperty.h>

class VOxaCamera;

// The enumerations of a camera's settings; VOxaCamera derives from this so that they read as
// VOxaCamera::ECameraFormat and so on. Every enumeration is stored as an int: values read from
// files may lie outside the enumerators and are kept as given by the plain setters.
struct OXA_API VOxaCameraTypes {
    // "ResolutionMode".
    enum ECameraAspectRatioMode : int {
        eWINDOW_SIZE = 0,
        eFIXED_RATIO = 1,
        eFIXED_RESOLUTION = 2,
        eFIXED_WIDTH = 3,
        eFIXED_HEIGHT = 4,
    };
    // "ApertureMode": which film size the lens conversions use.
    enum ECameraApertureMode : int {
        eHORIZONTAL_AND_VERTICAL = 0,
        eHORIZONTAL = 1,
        eVERTICAL = 2,
    };
    // "CameraFormat"; 9 has no name.
    enum ECameraFormat : int {
        eCUSTOM_FORMAT = 0,
        eD1_NTSC = 1,
        eNTSC = 2,
        ePAL = 3,
        eD1_PAL = 4,
        eHD = 5,
        e640x480 = 6,
        e320x200 = 7,
        e320x240 = 8,
        eFULL_SCREEN = 10,
    };
    // "FilmFormatIndex".
    enum ECameraApertureFormat : int {
        eCUSTOM_APERTURE_FORMAT = 0,
        e16MM_THEATRICAL = 1,
        eSUPER_16MM = 2,
        e35MM_ACADEMY = 3,
        e35MM_TV_PROJECTION = 4,
        e35MM_FULL_APERTURE = 5,
        e35MM_185_PROJECTION = 6,
        e35MM_ANAMORPHIC = 7,
        e70MM_PROJECTION = 8,
        eVISTAVISION = 9,
        eDYNAVISION = 10,
        eIMAX = 11,
    };
    // "ViewFrustumBackPlaneMode".
    enum ECameraBackgroundDisplayMode : int {
        eDISABLED = 0,
        eALWAYS = 1,
        eWHEN_MEDIA = 2,
    };
    // "BackPlaneDistanceMode".
    enum ECameraBackgroundDistanceMode : int {
        eRELATIVE_TO_INTEREST = 0,
        eRELATIVE_TO_CAMERA = 1,
    };
    // "BackgroundMode".
    enum ECameraBackgroundDrawingMode : int {
        eBACKGROUND = 0,
        eFOREGROUND = 1,
        eBACKGROUND_AND_FOREGROUND = 2,
    };
    // "SafeAreaDisplayStyle".
    enum ECameraSafeAreaStyle : int {
        eROUND_SAFE_AREA = 0,
        eSQUARE_SAFE_AREA = 1,
    };
    // "CameraProjectionType".
    enum ECameraProjectionType : int {
        ePERSPECTIVE = 0,
        eORTHOGONAL = 1,
    };
    // "FocusSource".
    enum ECameraFocusDistanceSource : int {
        eCAMERA_INTEREST = 0,
        eSPECIFIC_DISTANCE = 1,
    };
};

// The camera's properties in the order of the block's property list (which is the order in
// which they are written). ANIMATED(Id, name, data type) is an animated channel property, made
// by data type; STORED(Name, type, enumeration-name function) a member property with its
// setter and getter.
#define OXA_CAMERA_PROPERTY_LIST(ANIMATED, STORED)                                                      \
    ANIMATED(Roll, "Roll", "Roll")                                                                      \
    ANIMATED(FieldOfView, "FieldOfView", "FieldOfView")                                                 \
    ANIMATED(FieldOfViewX, "FieldOfViewX", "FieldOfView")                                               \
    ANIMATED(FieldOfViewY, "FieldOfViewY", "FieldOfView")                                               \
    ANIMATED(OpticalCenterX, "OpticalCenterX", "Real")                                                  \
    ANIMATED(OpticalCenterY, "OpticalCenterY", "Real")                                                  \
    ANIMATED(BackgroundColor, "BackgroundColor", "Color")                                               \
    ANIMATED(TurnTable, "TurnTable", "Real")                                                            \
    STORED(DisplayTurnTableIcon, bool, nullptr)                                                         \
    ANIMATED(MotionBlurIntensity, "Motion Blur Intensity", "Real")                                      \
    STORED(UseMotionBlur, bool, nullptr)                                                                \
    STORED(UseRealTimeMotionBlur, bool, nullptr)                                                        \
    STORED(FocalLength, double, nullptr)                                                                \
    STORED(ResolutionMode, VOxaCameraTypes::ECameraAspectRatioMode, &ResolutionModeName)                \
    STORED(ApertureMode, VOxaCameraTypes::ECameraApertureMode, &ApertureModeName)                       \
    STORED(CameraFormat, VOxaCameraTypes::ECameraFormat, &CameraFormatName)                             \
    STORED(AspectW, double, nullptr)                                                                    \
    STORED(AspectH, double, nullptr)                                                                    \
    STORED(PixelAspectRatio, double, nullptr)                                                           \
    STORED(UseFrameColor, bool, nullptr)                                                                \
    STORED(FrameColor, VgeRGBVector, nullptr)                                                           \
    STORED(ShowName, bool, nullptr)                                                                     \
    STORED(ShowGrid, bool, nullptr)                                                                     \
    STORED(ShowOpticalCenter, bool, nullptr)                                                            \
    STORED(ShowAzimut, bool, nullptr)                                                                   \
    STORED(ShowTimeCode, bool, nullptr)                                                                 \
    STORED(NearPlane, double, nullptr)                                                                  \
    STORED(FarPlane, double, nullptr)                                                                   \
    STORED(FilmWidth, double, nullptr)                                                                  \
    STORED(FilmHeight, double, nullptr)                                                                 \
    STORED(FilmAspectRatio, double, nullptr)                                                            \
    STORED(FilmSqueezeRatio, double, nullptr)                                                           \
    STORED(FilmFormatIndex, VOxaCameraTypes::ECameraApertureFormat, &FilmFormatName)                    \
    STORED(ViewFrustum, bool, nullptr)                                                                  \
    STORED(ViewFrustumNearFarPlane, bool, nullptr)                                                      \
    STORED(ViewFrustumBackPlaneMode, VOxaCameraTypes::ECameraBackgroundDisplayMode, &BackPlaneModeName) \
    STORED(BackPlaneDistance, double, nullptr)                                                          \
    STORED(BackPlaneDistanceMode, VOxaCameraTypes::ECameraBackgroundDistanceMode,                       \
           &BackPlaneDistanceModeName)                                                                  \
    STORED(ViewCameraToLookAt, bool, nullptr)                                                           \
    STORED(LockMode, bool, nullptr)                                                                     \
    STORED(LockInterestNavigation, bool, nullptr)                                                       \
    STORED(FitImage, bool, nullptr)                                                                     \
    STORED(Crop, bool, nullptr)                                                                         \
    STORED(Center, bool, nullptr)                                                                       \
    STORED(KeepRatio, bool, nullptr)                                                                    \
    STORED(BackgroundMode, VOxaCameraTypes::ECameraBackgroundDrawingMode, &BackgroundModeName)          \
    STORED(BackgroundAlphaTreshold, double, nullptr)                                                    \
    STORED(ForegroundTransparent, bool, nullptr)                                                        \
    STORED(DisplaySafeArea, bool, nullptr)                                                              \
    STORED(SafeAreaDisplayStyle, VOxaCameraTypes::ECameraSafeAreaStyle, &SafeAreaStyleName)             \
    STORED(SafeAreaAspectRatio, double, nullptr)                                                        \
    STORED(Use2DMagnifierZoom, bool, nullptr)                                                           \
    ANIMATED(MagnifierZoom, "2D Magnifier Zoom", "Real")                                                \
    ANIMATED(MagnifierX, "2D Magnifier X", "Real")                                                      \
    ANIMATED(MagnifierY, "2D Magnifier Y", "Real")                                                      \
    STORED(CameraProjectionType, VOxaCameraTypes::ECameraProjectionType, &ProjectionTypeName)           \
    STORED(UseRealTimeDOFAndAA, bool, nullptr)                                                          \
    STORED(UseDepthOfField, bool, nullptr)                                                              \
    STORED(FocusSource, VOxaCameraTypes::ECameraFocusDistanceSource, &FocusSourceName)                  \
    STORED(FocusAngle, double, nullptr)                                                                 \
    STORED(FocusDistance, double, nullptr)                                                              \
    STORED(UseAntialiasing, bool, nullptr)                                                              \
    STORED(AntialiasingIntensity, double, nullptr)                                                      \
    STORED(UseAccumulationBuffer, bool, nullptr)                                                        \
    STORED(FrameSamplingCount, int, nullptr)

// The property block of a camera: every setting of a VOxaCamera as a named, typed property, 65
// of them in the fixed order of OXA_CAMERA_PROPERTY_LIST (53 stored, 12 animated). The names,
// order, data types and enumeration names are part of the file format; the misspellings
// ("BackgroundAlphaTreshold", "ShowAzimut", "Background & Forground") are kept on purpose.
//
// A new block holds false, 0, 0.0 and (0, 0, 0) everywhere: the defaults come from the camera's
// Reset. Setters store without checks (a reader setting properties by name stores anything);
// ranges and cross-property rules live in the camera's operations.
//
// Animated properties carry info flag 0x2 and state flag 0x8 and have no member; the camera
// links them to its channels in the default take.
class OXA_API VOxaCameraProperties : public VOxaPropertyHandler {
    VOBJECT_DECLARE_CLASS()
public:
    // The animated properties, by list position among them.
    enum EAnimated : int {
#define OXA_CAMERA_ANIMATED_ID(Id, name, dataType) eAnimated##Id,
#define OXA_CAMERA_STORED_NONE(Name, Type, names)
        OXA_CAMERA_PROPERTY_LIST(OXA_CAMERA_ANIMATED_ID, OXA_CAMERA_STORED_NONE)
#undef OXA_CAMERA_ANIMATED_ID
#undef OXA_CAMERA_STORED_NONE
            eAnimatedCount
    };

    // Declares the 65 properties in list order; every value is left at zero. `camera` (may be
    // null) is the camera the block belongs to.
    explicit VOxaCameraProperties(VOxaCamera* camera = nullptr);
    ~VOxaCameraProperties() override;

    // The node the camera is attached to (its properties are listed as the node's); null while
    // detached.
    VOxaObject* GetOwner() const override;
    // Forwards to that node's take-node container.
    void PropertyValueChanged(VOxaUserProperty* userProperty) override;

    // The animated property `which`; null for a value outside [0, eAnimatedCount).
    VProperty* GetAnimatedProperty(int which) const {
        return which >= 0 && which < eAnimatedCount ? mAnimated[which] : nullptr;
    }

    // One setter and one getter per stored property, in list order: the setter stores the
    // value unchecked and answers it, the getter answers the stored value. They are also the
    // properties' callbacks, so reads and writes by name reach the same values.
#define OXA_CAMERA_ANIMATED_NONE(Id, name, dataType)
#define OXA_CAMERA_STORED_ACCESSORS(Name, Type, names) \
    virtual Type Set##Name(Type value);                \
    virtual Type Get##Name() const;
    OXA_CAMERA_PROPERTY_LIST(OXA_CAMERA_ANIMATED_NONE, OXA_CAMERA_STORED_ACCESSORS)
#undef OXA_CAMERA_STORED_ACCESSORS

    // The fourth value of the "FrameColor" storage (1.0 at construction), moved along with the
    // colour by the camera's whole-colour accessors.
    void SetFrameColorAlpha(double alpha) {
        mFrameColorAlpha = alpha;
    }
    double GetFrameColorAlpha() const {
        return mFrameColorAlpha;
    }

    // The enumeration-name callbacks of the enumeration properties; null for a value without a
    // name.
    static const char* ResolutionModeName(int value);
    static const char* ApertureModeName(int value);
    static const char* CameraFormatName(int value);
    static const char* FilmFormatName(int value);
    static const char* BackPlaneModeName(int value);
    static const char* BackPlaneDistanceModeName(int value);
    static const char* BackgroundModeName(int value);
    static const char* SafeAreaStyleName(int value);
    static const char* ProjectionTypeName(int value);
    static const char* FocusSourceName(int value);

private:
    VOxaCamera* mCamera;
    VProperty* mAnimated[eAnimatedCount] = {};
#define OXA_CAMERA_STORED_MEMBER(Name, Type, names) VPropertyTemplate<Type> m##Name;
    OXA_CAMERA_PROPERTY_LIST(OXA_CAMERA_ANIMATED_NONE, OXA_CAMERA_STORED_MEMBER)
#undef OXA_CAMERA_STORED_MEMBER
#undef OXA_CAMERA_ANIMATED_NONE
    double mFrameColorAlpha = 1.0;
};

#endif  // OXA_ATTRIBUTES_VOXA_CAMERA_PROPERTIES_H
