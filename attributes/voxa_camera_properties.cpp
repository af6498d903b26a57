#include "attributes/voxa_camera_properties.h"

#include "attributes/voxa_camera.h"
#include "scene/voxa_node.h"

VOBJECT_IMPLEMENT_CLASS(VOxaCameraProperties, VOxaPropertyHandler);

namespace {

// The name at `value` in `names`, null outside the table or for a hole.
template <int N>
const char* NameAt(const char* const (&names)[N], int value) {
    return value >= 0 && value < N ? names[value] : nullptr;
}

const char* const kResolutionModeNames[] = {"Window Size", "Fixed Ratio", "Fixed Resolution",
                                            "Fixed Width Resolution", "Fixed Height Resolution"};
const char* const kApertureModeNames[] = {"Horizontal & Vertical", "Horizontal", "Vertical"};
// Value 9 has no name.
const char* const kCameraFormatNames[] = {"Custom",  "D1 NTSC", "NTSC",    "PAL",   "D1 PAL",     "HD",
                                          "640x480", "320x200", "320x240", nullptr, "Full Screen"};
const char* const kFilmFormatNames[] = {"Custom",
                                        "16mm Theatrical",
                                        "Super 16mm",
                                        "35mm Academy",
                                        "35mm TV Projection",
                                        "35mm Full Aperture",
                                        "35mm 1.85 Projection",
                                        "35mm Anamorphic",
                                        "70mm Projection",
                                        "VistaVision",
                                        "Dynavision",
                                        "Imax"};
const char* const kBackPlaneModeNames[] = {"Disabled", "Always", "When Media"};
const char* const kBackPlaneDistanceModeNames[] = {"Relative to Interest", "Relative to Camera"};
const char* const kBackgroundModeNames[] = {"Background", "Foreground", "Background & Forground"};
const char* const kSafeAreaStyleNames[] = {"Round Safe Area", "Square Safe Area"};
const char* const kProjectionTypeNames[] = {"Perspective", "Orthographic"};
const char* const kFocusSourceNames[] = {"Camera Interest", "Specific Distance"};

}  // namespace

const char* VOxaCameraProperties::ResolutionModeName(int value) {
    return NameAt(kResolutionModeNames, value);
}
const char* VOxaCameraProperties::ApertureModeName(int value) {
    return NameAt(kApertureModeNames, value);
}
const char* VOxaCameraProperties::CameraFormatName(int value) {
    return NameAt(kCameraFormatNames, value);
}
const char* VOxaCameraProperties::FilmFormatName(int value) {
    return NameAt(kFilmFormatNames, value);
}
const char* VOxaCameraProperties::BackPlaneModeName(int value) {
    return NameAt(kBackPlaneModeNames, value);
}
const char* VOxaCameraProperties::BackPlaneDistanceModeName(int value) {
    return NameAt(kBackPlaneDistanceModeNames, value);
}
const char* VOxaCameraProperties::BackgroundModeName(int value) {
    return NameAt(kBackgroundModeNames, value);
}
const char* VOxaCameraProperties::SafeAreaStyleName(int value) {
    return NameAt(kSafeAreaStyleNames, value);
}
const char* VOxaCameraProperties::ProjectionTypeName(int value) {
    return NameAt(kProjectionTypeNames, value);
}
const char* VOxaCameraProperties::FocusSourceName(int value) {
    return NameAt(kFocusSourceNames, value);
}

VOxaCameraProperties::VOxaCameraProperties(VOxaCamera* camera) : mCamera(camera) {
    // One property after the other, in list order. Member properties start at false, 0, 0.0 or
    // (0, 0, 0); animated ones at their value type's zero.
#define OXA_CAMERA_DECLARE_ANIMATED(Id, name, dataType)               \
    if (VProperty* property = CreateProperty(name, dataType, true)) { \
        property->SetStateFlag(kPropertyAnimated, true);              \
        mAnimated[eAnimated##Id] = property;                          \
    }
#define OXA_CAMERA_DECLARE_STORED(Name, Type, names)                                                  \
    m##Name.Declare<&VOxaCameraProperties::Get##Name, &VOxaCameraProperties::Set##Name>(#Name, this); \
    m##Name.GetInfo().SetEnumNameCallback(names);                                                     \
    AddProperty(&m##Name);
    OXA_CAMERA_PROPERTY_LIST(OXA_CAMERA_DECLARE_ANIMATED, OXA_CAMERA_DECLARE_STORED)
#undef OXA_CAMERA_DECLARE_ANIMATED
#undef OXA_CAMERA_DECLARE_STORED
}

VOxaCameraProperties::~VOxaCameraProperties() = default;

VOxaObject* VOxaCameraProperties::GetOwner() const {
    return mCamera ? mCamera->GetNode() : nullptr;
}

void VOxaCameraProperties::PropertyValueChanged(VOxaUserProperty* userProperty) {
    if (VOxaNode* node = mCamera ? mCamera->GetNode() : nullptr)
        node->VOxaTakeNodeContainer::PropertyValueChanged(userProperty);
}

#define OXA_CAMERA_ANIMATED_NONE(Id, name, dataType)
#define OXA_CAMERA_STORED_DEFINE(Name, Type, names)    \
    Type VOxaCameraProperties::Set##Name(Type value) { \
        m##Name.SetStoredValue(value);                 \
        return value;                                  \
    }                                                  \
    Type VOxaCameraProperties::Get##Name() const {     \
        return m##Name.GetStoredValue();               \
    }
OXA_CAMERA_PROPERTY_LIST(OXA_CAMERA_ANIMATED_NONE, OXA_CAMERA_STORED_DEFINE)
#undef OXA_CAMERA_STORED_DEFINE
#undef OXA_CAMERA_ANIMATED_NONE
