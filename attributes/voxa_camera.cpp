#include "attributes/voxa_camera.h"

#include <cmath>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "objects/voxa_object.h"
#include "objects/voxa_same_manager_internal.h"
#include "scene/voxa_node.h"
#include "scene/voxa_take_node.h"
#include "scene/voxa_take_node_internal.h"

namespace {

// The single-curve channels of a camera, in the order they are made, with their properties,
// curve defaults and display colours.
struct CameraChannel {
    const char* mName;
    int mProperty;
    float mDefault;
    float mColor[3];
};
const CameraChannel kChannels[] = {
    {"FieldOfView", VOxaCameraProperties::eAnimatedFieldOfView, 25.115f, {0.55f, 0.55f, 0.81f}},
    {"FieldOfViewX", VOxaCameraProperties::eAnimatedFieldOfViewX, 40.0f, {0.06f, 0.06f, 0.94f}},
    {"FieldOfViewY", VOxaCameraProperties::eAnimatedFieldOfViewY, 40.0f, {0.04f, 0.04f, 0.4f}},
    {"OpticalCenterX", VOxaCameraProperties::eAnimatedOpticalCenterX, 0.0f, {0.5f, 0.88f, 0.73f}},
    {"OpticalCenterY", VOxaCameraProperties::eAnimatedOpticalCenterY, 0.0f, {0.13f, 0.56f, 0.34f}},
    {"Roll", VOxaCameraProperties::eAnimatedRoll, 0.0f, {0.13f, 0.18f, 0.4f}},
    {"TurnTable", VOxaCameraProperties::eAnimatedTurnTable, 0.0f, {0.4f, 0.13f, 0.18f}},
};
const char* const kBackgroundColor = "BackgroundColor";
const char* const kComponents[3] = {"X", "Y", "Z"};
const float kComponentColors[3][3] = {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};

// One picture format: fixed resolution and the picture ratio it is shown at.
struct PictureFormat {
    int mWidth;
    int mHeight;
    double mPictureRatio;
};
// Indexed by format; 0 and 9 have no row (width 0).
const PictureFormat kPictureFormats[11] = {{0, 0, 0.0},
                                           {720, 486, 1.3333333333},
                                           {640, 480, 1.3333333333},
                                           {570, 486, 1.3333333333},
                                           {720, 576, 1.3333333333},
                                           {1920, 1080, 1.7777777777},
                                           {640, 480, 1.3333333333},
                                           {320, 200, 1.3333333333},
                                           {320, 240, 1.3333333333},
                                           {0, 0, 0.0},
                                           {1280, 1024, 1.3333333333}};

// One film format: size in inches and squeeze ratio. Indexed by aperture format; 0 has no row.
struct FilmFormat {
    double mWidth;
    double mHeight;
    double mSqueeze;
};
const FilmFormat kFilmFormats[12] = {{0.0, 0.0, 0.0},     {0.404, 0.295, 1.0}, {0.493, 0.292, 1.0},
                                     {0.864, 0.63, 1.0},  {0.816, 0.612, 1.0}, {0.98, 0.735, 1.0},
                                     {0.825, 0.446, 1.0}, {0.864, 0.732, 2.0}, {2.066, 0.906, 1.0},
                                     {1.485, 0.991, 1.0}, {2.08, 1.48, 1.0},   {2.772, 2.072, 1.0}};

const double kMillimetresPerInch = 25.4;
const double kMinimumFilmSize = 0.0001;

// `value` when it is above `minimum`, else `minimum` (so a NaN gives the minimum).
double AtLeast(double value, double minimum) {
    return value > minimum ? value : minimum;
}

// `value` within [low, high]; a NaN gives `low`.
double Clamp(double value, double low, double high) {
    if (!(value >= low)) return low;
    return value > high ? high : value;
}

bool IsDefaultTake(const VOxaTakeNode* takeNode) {
    const char* name = takeNode->GetName();
    return VString(name ? name : "").CompareNoCase("Default") == 0;
}

}  // namespace

VOxaCamera* VOxaNode::GetCamera() const {
    return mAttribute && mAttribute->GetAttributeType() == VOxaNodeAttribute::eCamera
               ? static_cast<VOxaCamera*>(mAttribute)
               : nullptr;
}

VOxaCamera::VOxaCamera(VOxaSdkManager* manager)
    : VOxaNodeAttribute(manager), mProperties(new VOxaCameraProperties(this)) {
    // The destructor does not run for an object whose constructor threw (memory run out).
    try {
        Reset();
    } catch (...) {
        mProperties->Destroy();
        throw;
    }
}

VOxaCamera::~VOxaCamera() {
    mProperties->Destroy();
    mProperties = nullptr;
}

// --- Node attribute slots -----------------------------------------------------------------------

void VOxaCamera::AddChannels(VOxaTakeNode* takeNode) {
    VOxaNodeAttribute::AddChannels(takeNode);
    VOxaNode* node = GetNode();
    VFCurveNode* root = takeNode ? takeNode->GetVFCurveNode() : nullptr;
    if (!root) return;
    const bool isDefault = IsDefaultTake(takeNode);

    // The background colour as it is now: linking the curves below must not lose it.
    double background[4] = {0.0, 0.0, 0.0, 1.0};
    VProperty* backgroundProperty =
        mProperties->GetAnimatedProperty(VOxaCameraProperties::eAnimatedBackgroundColor);
    int backgroundCount = backgroundProperty ? backgroundProperty->GetValue(background) : 0;

    VFCurve* curves[sizeof(kChannels) / sizeof(kChannels[0])] = {};
    for (size_t i = 0; i < sizeof(kChannels) / sizeof(kChannels[0]); ++i) {
        VFCurveNode* channel = root->FindOrCreate(kChannels[i].mName, true);
        curves[i] = channel ? channel->FCurveGet() : nullptr;
        if (isDefault && node)
            node->AddChannelLink(mProperties->GetAnimatedProperty(kChannels[i].mProperty), 0, curves[i]);
    }
    VFCurve* colorCurves[3] = {};
    if (VFCurveNode* color = root->FindOrCreate(kBackgroundColor, false)) {
        for (int k = 0; k < 3; ++k) {
            VFCurveNode* component = color->FindOrCreate(kComponents[k], true);
            colorCurves[k] = component ? component->FCurveGet() : nullptr;
            if (isDefault && node) node->AddChannelLink(backgroundProperty, k, colorCurves[k]);
        }
    }

    for (size_t i = 0; i < sizeof(kChannels) / sizeof(kChannels[0]); ++i) {
        if (!curves[i]) continue;
        curves[i]->SetDefaultValue(kChannels[i].mDefault);
        curves[i]->SetColor(kChannels[i].mColor);
    }
    for (int k = 0; k < 3; ++k) {
        if (!colorCurves[k]) continue;
        colorCurves[k]->SetDefaultValue((float)background[k]);
        colorCurves[k]->SetColor(kComponentColors[k]);
    }
    // The linked property followed the curves in single precision; give it back its own digits.
    if (isDefault && backgroundProperty && backgroundCount > 0) backgroundProperty->SetValue(background);
}

void VOxaCamera::RemoveChannels(VOxaTakeNode* takeNode) {
    if (VFCurveNode* root = takeNode ? takeNode->GetVFCurveNode() : nullptr) {
        for (const CameraChannel& channel : kChannels) {
            int index = root->Find(channel.mName);
            if (index >= 0) voxa_take_node_detail::DeleteChannel(root, root->Get(index));
        }
        int index = root->Find(kBackgroundColor);
        if (index >= 0) voxa_take_node_detail::DeleteChannel(root, root->Get(index));
    }
    VOxaNodeAttribute::RemoveChannels(takeNode);
}

void VOxaCamera::CollectChannels(VArrayTemplate<VProperty*>& properties) {
    for (int i = 0, n = mProperties->GetPropertyCount(); i < n; ++i)
        properties.Add(mProperties->GetProperty(i));
}

VString VOxaCamera::GetTypeName() const {
    return VString("Camera");
}

VStringList VOxaCamera::GetTypeFlags() const {
    VStringList flags;
    flags.Add("Camera");
    return flags;
}

// --- Position and roll --------------------------------------------------------------------------

void VOxaCamera::SetPosition(const VgeTVector& position) {
    if (VOxaNode* node = GetNode()) node->SetLclTranslation(position);
}

VgeTVector VOxaCamera::GetPosition() const {
    VgeTVector position(0.0, 0.0, 0.0, 1.0);
    if (VOxaNode* node = GetNode()) node->GetLclTranslation(position);
    return position;
}

double VOxaCamera::GetRoll() const {
    return GetAnimatedValue(VOxaCameraProperties::eAnimatedRoll);
}

double VOxaCamera::GetTurnTable() const {
    return GetAnimatedValue(VOxaCameraProperties::eAnimatedTurnTable);
}

// --- Picture format and resolution --------------------------------------------------------------

void VOxaCamera::SetFormat(ECameraFormat format) {
    const int remembered = mProperties->GetResolutionMode();
    const int index = format;
    if (index < 0 || index > 10 || kPictureFormats[index].mWidth == 0) {
        mProperties->SetCameraFormat(eCUSTOM_FORMAT);
        return;
    }
    const PictureFormat& row = kPictureFormats[index];
    SetAspect(eFIXED_RESOLUTION, row.mWidth, row.mHeight);
    SetPixelAspectRatio(ComputePixelAspectRatio(row.mWidth, row.mHeight, row.mPictureRatio));
    mProperties->SetCameraFormat(format);

    // Back into the resolution mode the camera was in, on the new size.
    const double width = mProperties->GetAspectW();
    const double height = mProperties->GetAspectH();
    switch (remembered) {
        case eFIXED_RATIO:
            mProperties->SetAspectW(width / height * mProperties->GetPixelAspectRatio());
            mProperties->SetAspectH(1.0);
            mProperties->SetResolutionMode(eFIXED_RATIO);
            break;
        case eFIXED_WIDTH:
            mProperties->SetAspectH(height / width);
            mProperties->SetResolutionMode(eFIXED_WIDTH);
            break;
        case eFIXED_HEIGHT:
            mProperties->SetAspectW(width / height);
            mProperties->SetResolutionMode(eFIXED_HEIGHT);
            break;
        default:
            break;
    }
}

void VOxaCamera::SetAspect(ECameraAspectRatioMode mode, double width, double height) {
    switch (mode) {
        case eWINDOW_SIZE:
            mProperties->SetAspectW(width);
            mProperties->SetAspectH(height);
            break;
        case eFIXED_RATIO:
            mProperties->SetAspectW(AtLeast(width, 0.001));
            mProperties->SetAspectH(1.0);
            break;
        case eFIXED_RESOLUTION:
            mProperties->SetAspectW(AtLeast(width, 1.0));
            mProperties->SetAspectH(AtLeast(height, 1.0));
            break;
        case eFIXED_WIDTH:
            mProperties->SetAspectW(AtLeast(width, 1.0));
            mProperties->SetAspectH(AtLeast(height, 0.001));
            break;
        case eFIXED_HEIGHT:
            mProperties->SetAspectW(AtLeast(width, 0.001));
            mProperties->SetAspectH(AtLeast(height, 1.0));
            break;
        default:
            break;
    }
    SetFormat(eCUSTOM_FORMAT);
    mProperties->SetResolutionMode(mode);
}

void VOxaCamera::SetPixelAspectRatio(double ratio) {
    if (ratio == mProperties->GetPixelAspectRatio()) return;
    mProperties->SetPixelAspectRatio(Clamp(ratio, 0.05, 20.0));
    SetFormat(eCUSTOM_FORMAT);
}

double VOxaCamera::ComputePixelAspectRatio(int width, int height, double pictureRatio) {
    const double w = width == 0 ? 1.0 : (double)width;
    const double h = height == 0 ? 1.0 : (double)height;
    return pictureRatio / (w / h);
}

// --- Clipping planes ----------------------------------------------------------------------------

void VOxaCamera::SetNearPlane(double distance) {
    const double nearPlane = Clamp(distance, 0.001, 600000.0);
    mProperties->SetNearPlane(nearPlane);
    // A far plane read from a file may be anything, NaN included: it must end at or beyond near.
    if (!(nearPlane <= mProperties->GetFarPlane())) mProperties->SetFarPlane(nearPlane);
}

void VOxaCamera::SetFarPlane(double distance) {
    const double farPlane = Clamp(distance, 0.001, 600000.0);
    mProperties->SetFarPlane(farPlane);
    if (!(mProperties->GetNearPlane() < farPlane)) mProperties->SetNearPlane(farPlane);
}

// --- Film and lens ------------------------------------------------------------------------------

void VOxaCamera::SetApertureFormat(ECameraApertureFormat format) {
    const int index = format;
    if (index >= 1 && index <= 11) {
        const FilmFormat& row = kFilmFormats[index];
        mProperties->SetFilmFormatIndex(format);
        mProperties->SetFilmWidth(row.mWidth);
        mProperties->SetFilmHeight(row.mHeight);
        mProperties->SetFilmSqueezeRatio(row.mSqueeze);
    } else {
        mProperties->SetFilmFormatIndex(eCUSTOM_APERTURE_FORMAT);
    }
    const double aspect = mProperties->GetFilmWidth() / mProperties->GetFilmHeight();
    if (VProperty* property = mProperties->FindProperty("FilmAspectRatio")) property->SetDouble(aspect);
}

namespace {

// A film value: the given one, at least the minimum; NaN and infinities give the minimum.
double FilmValue(double value) {
    return std::isfinite(value) ? AtLeast(value, kMinimumFilmSize) : kMinimumFilmSize;
}

}  // namespace

void VOxaCamera::SetFilmWidth(double inches) {
    if (inches == mProperties->GetFilmWidth()) return;
    mProperties->SetFilmWidth(FilmValue(inches));
    SetApertureFormat(eCUSTOM_APERTURE_FORMAT);
}

void VOxaCamera::SetFilmHeight(double inches) {
    if (inches == mProperties->GetFilmHeight()) return;
    mProperties->SetFilmHeight(FilmValue(inches));
    SetApertureFormat(eCUSTOM_APERTURE_FORMAT);
}

void VOxaCamera::SetFilmSqueezeRatio(double ratio) {
    if (ratio == mProperties->GetFilmSqueezeRatio()) return;
    mProperties->SetFilmSqueezeRatio(FilmValue(ratio));
    SetApertureFormat(eCUSTOM_APERTURE_FORMAT);
}

void VOxaCamera::SetFocalLengthFromFieldOfView(double angle) {
    angle = Clamp(angle, 1.0, 179.0);
    mProperties->SetFocalLength(ComputeFocalLength(GetFilmWidth(), GetFilmHeight(), angle));
}

double VOxaCamera::ComputeFieldOfViewFromFocalLength() const {
    return Clamp(ComputeFieldOfView(GetFilmWidth(), GetFilmHeight(), GetFocalLength()), 1.0, 179.0);
}

double VOxaCamera::ComputeFieldOfView(double filmWidth, double filmHeight, double focalLength) const {
    const double size = GetApertureMode() == eVERTICAL ? filmHeight : filmWidth * GetFilmSqueezeRatio();
    return std::atan(size * kMillimetresPerInch / focalLength * 0.5) * 114.59155902616465;
}

double VOxaCamera::ComputeFocalLength(double filmWidth, double filmHeight, double angle) const {
    const double size = GetApertureMode() == eVERTICAL ? filmHeight : filmWidth * GetFilmSqueezeRatio();
    return size * kMillimetresPerInch / std::tan(angle * 0.008726646259971648) * 0.5;
}

// --- Background and display ---------------------------------------------------------------------

const char* VOxaCamera::GetBackgroundFileName() const {
    return mBackgroundFileName.IsEmpty() ? nullptr : mBackgroundFileName.Buffer();
}

const char* VOxaCamera::GetBackgroundMediaName() const {
    return mBackgroundMediaName.IsEmpty() ? nullptr : mBackgroundMediaName.Buffer();
}

void VOxaCamera::SetBackgroundPlacementOptions(int options) {
    mProperties->SetFitImage((options & 1) != 0);
    mProperties->SetCenter((options & 2) != 0);
    mProperties->SetKeepRatio((options & 4) != 0);
    mProperties->SetCrop((options & 8) != 0);
}

int VOxaCamera::GetBackgroundPlacementOptions() const {
    return (mProperties->GetFitImage() ? 1 : 0) | (mProperties->GetCenter() ? 2 : 0) |
           (mProperties->GetKeepRatio() ? 4 : 0) | (mProperties->GetCrop() ? 8 : 0);
}

VOxaColor VOxaCamera::GetBackgroundColor() const {
    double values[4] = {0.0, 0.0, 0.0, 1.0};
    if (VProperty* property =
            mProperties->GetAnimatedProperty(VOxaCameraProperties::eAnimatedBackgroundColor))
        property->GetValue(values);
    return VOxaColor(values[0], values[1], values[2], 1.0);
}

void VOxaCamera::SetFrameColor(const VOxaColor& color) {
    mProperties->SetFrameColor(VgeRGBVector(color.mRed, color.mGreen, color.mBlue));
    mProperties->SetFrameColorAlpha(color.mAlpha);
}

VOxaColor VOxaCamera::GetFrameColor() const {
    VgeRGBVector rgb = mProperties->GetFrameColor();
    return VOxaColor(rgb[0], rgb[1], rgb[2], mProperties->GetFrameColorAlpha());
}

void VOxaCamera::SetUseOverSamplingTime(int value) {
    if (value == 0) mProperties->SetUseRealTimeDOFAndAA(true);
    if (value == 1) mProperties->SetUseRealTimeDOFAndAA(false);
}

// --- Default-take values ------------------------------------------------------------------------

VFCurve* VOxaCamera::GetDefaultCurve(const char* channel, const char* component) const {
    VOxaNode* node = GetNode();
    VOxaTakeNode* take = node ? node->GetDefaultTakeNode() : nullptr;
    VFCurveNode* root = take ? take->GetVFCurveNode() : nullptr;
    if (!root) return nullptr;
    VFCurveNode* found = root->Get(root->Find(channel));
    if (found && component) found = found->Get(found->Find(component));
    return found ? found->FCurveGet() : nullptr;
}

double VOxaCamera::GetAnimatedValue(int which) const {
    VProperty* property = mProperties->GetAnimatedProperty(which);
    return property ? property->GetDouble() : 0.0;
}

double VOxaCamera::GetDefaultAnimated(int which, const char* channel) const {
    if (VFCurve* curve = GetDefaultCurve(channel)) return curve->GetDefaultValue();
    return GetAnimatedValue(which);
}

void VOxaCamera::SetDefaultAnimated(int which, const char* channel, double value) {
    // The curve first: the property it is linked to follows it in single precision, and is
    // then given the double itself.
    if (VFCurve* curve = GetDefaultCurve(channel)) curve->SetDefaultValue((float)value);
    if (VProperty* property = mProperties->GetAnimatedProperty(which)) property->SetDouble(value);
}

double VOxaCamera::GetDefaultFieldOfView() const {
    return GetDefaultAnimated(VOxaCameraProperties::eAnimatedFieldOfView, "FieldOfView");
}
double VOxaCamera::GetDefaultFieldOfViewX() const {
    return GetDefaultAnimated(VOxaCameraProperties::eAnimatedFieldOfViewX, "FieldOfViewX");
}
double VOxaCamera::GetDefaultFieldOfViewY() const {
    return GetDefaultAnimated(VOxaCameraProperties::eAnimatedFieldOfViewY, "FieldOfViewY");
}
double VOxaCamera::GetDefaultOpticalCenterX() const {
    return GetDefaultAnimated(VOxaCameraProperties::eAnimatedOpticalCenterX, "OpticalCenterX");
}
double VOxaCamera::GetDefaultOpticalCenterY() const {
    return GetDefaultAnimated(VOxaCameraProperties::eAnimatedOpticalCenterY, "OpticalCenterY");
}

void VOxaCamera::SetDefaultFieldOfView(double value) {
    SetDefaultAnimated(VOxaCameraProperties::eAnimatedFieldOfView, "FieldOfView", value);
}
void VOxaCamera::SetDefaultFieldOfViewX(double value) {
    SetDefaultAnimated(VOxaCameraProperties::eAnimatedFieldOfViewX, "FieldOfViewX", value);
}
void VOxaCamera::SetDefaultFieldOfViewY(double value) {
    SetDefaultAnimated(VOxaCameraProperties::eAnimatedFieldOfViewY, "FieldOfViewY", value);
}
void VOxaCamera::SetDefaultOpticalCenterX(double value) {
    SetDefaultAnimated(VOxaCameraProperties::eAnimatedOpticalCenterX, "OpticalCenterX", value);
}
void VOxaCamera::SetDefaultOpticalCenterY(double value) {
    SetDefaultAnimated(VOxaCameraProperties::eAnimatedOpticalCenterY, "OpticalCenterY", value);
}
void VOxaCamera::SetDefaultRoll(double value) {
    SetDefaultAnimated(VOxaCameraProperties::eAnimatedRoll, "Roll", value);
}
void VOxaCamera::SetDefaultTurnTable(double value) {
    SetDefaultAnimated(VOxaCameraProperties::eAnimatedTurnTable, "TurnTable", value);
}

VOxaColor VOxaCamera::GetDefaultBackgroundColor() const {
    double values[4] = {0.0, 0.0, 0.0, 1.0};
    if (VProperty* property =
            mProperties->GetAnimatedProperty(VOxaCameraProperties::eAnimatedBackgroundColor))
        property->GetValue(values);
    for (int k = 0; k < 3; ++k) {
        if (VFCurve* curve = GetDefaultCurve(kBackgroundColor, kComponents[k]))
            values[k] = curve->GetDefaultValue();
    }
    return VOxaColor(values[0], values[1], values[2], 1.0);
}

void VOxaCamera::SetDefaultBackgroundColor(const VOxaColor& color) {
    const double values[4] = {color.mRed, color.mGreen, color.mBlue, 1.0};
    for (int k = 0; k < 3; ++k) {
        if (VFCurve* curve = GetDefaultCurve(kBackgroundColor, kComponents[k]))
            curve->SetDefaultValue((float)values[k]);
    }
    if (VProperty* property =
            mProperties->GetAnimatedProperty(VOxaCameraProperties::eAnimatedBackgroundColor))
        property->SetValue(values);
}

void VOxaCamera::ConnectBackgroundVideo(VOxaObject* object) {
    VOxaNode* node = GetNode();
    VPlug* source = object ? object->GetPropertyHandler() : nullptr;
    VPlug* destination = node ? node->GetPropertyHandler() : nullptr;
    if (!source || !destination || destination->IsConnectedSrc(source) ||
        !VOxaSameManager(GetSdkManager(), object->GetSdkManager()))
        return;
    destination->ConnectSrc(source);
}

// --- Whole camera -------------------------------------------------------------------------------

void VOxaCamera::Reset() {
    SetPosition(VgeTVector(0.0, 0.0, -50.0, 1.0));
    ResetExceptPosition();
}

void VOxaCamera::ResetExceptPosition() {
    VOxaCameraProperties& p = *mProperties;
    auto setAnimated = [&p](int which, double value) {
        if (VProperty* property = p.GetAnimatedProperty(which)) property->SetDouble(value);
    };

    mUpVector.Set(0.0, 1.0, 0.0, 1.0);
    mInterestPosition.Set(0.0, 0.0, 0.0, 1.0);

    p.SetCameraProjectionType(ePERSPECTIVE);
    SetRoll(0.0);

    // On the properties only, not on the curves.
    setAnimated(VOxaCameraProperties::eAnimatedFieldOfView, 40.0);
    setAnimated(VOxaCameraProperties::eAnimatedFieldOfViewX, 1.0);
    setAnimated(VOxaCameraProperties::eAnimatedFieldOfViewY, 1.0);
    setAnimated(VOxaCameraProperties::eAnimatedOpticalCenterX, 0.0);
    setAnimated(VOxaCameraProperties::eAnimatedOpticalCenterY, 0.0);
    if (VProperty* background = p.GetAnimatedProperty(VOxaCameraProperties::eAnimatedBackgroundColor)) {
        const double gray[4] = {0.63, 0.63, 0.63, 1.0};
        background->SetValue(gray);
    }
    SetTurnTable(0.0);

    p.SetDisplayTurnTableIcon(true);
    setAnimated(VOxaCameraProperties::eAnimatedMotionBlurIntensity, 1.0);
    p.SetUseMotionBlur(false);
    p.SetUseRealTimeMotionBlur(true);

    p.SetCameraFormat(eCUSTOM_FORMAT);
    p.SetResolutionMode(eWINDOW_SIZE);
    p.SetAspectW(320.0);
    p.SetAspectH(200.0);
    p.SetPixelAspectRatio(1.0);
    p.SetLockMode(false);

    SetApertureFormat(e35MM_TV_PROJECTION);
    p.SetApertureMode(eVERTICAL);

    p.SetNearPlane(10.0);
    p.SetFarPlane(4000.0);
    p.SetFocalLength(35.0);
    mBackgroundMediaName = "";
    mBackgroundFileName = "";

    p.SetViewFrustumBackPlaneMode(eWHEN_MEDIA);
    p.SetBackgroundMode(eBACKGROUND);
    p.SetForegroundTransparent(true);
    p.SetBackgroundAlphaTreshold(0.5);
    p.SetFitImage(false);
    p.SetCenter(true);
    p.SetKeepRatio(true);
    p.SetCrop(false);
    p.SetBackPlaneDistance(100.0);
    p.SetBackPlaneDistanceMode(eRELATIVE_TO_INTEREST);
    p.SetViewFrustum(true);
    p.SetViewFrustumNearFarPlane(false);
    p.SetViewCameraToLookAt(true);

    p.SetShowGrid(true);
    p.SetShowAzimut(true);
    p.SetShowName(true);
    mShowInfoOnMoving = true;
    p.SetShowTimeCode(false);
    p.SetShowOpticalCenter(false);
    p.SetDisplaySafeArea(false);
    p.SetSafeAreaDisplayStyle(eSQUARE_SAFE_AREA);
    p.SetSafeAreaAspectRatio(1.33333333333333);
    mDisplaySafeAreaOnRender = false;
    mShowAudio = false;
    mAudioColor.Set(0.0, 1.0, 0.0, 1.0);

    p.SetUseFrameColor(false);
    SetFrameColor(VOxaColor(0.3, 0.3, 0.3, 1.0));

    p.SetUseRealTimeDOFAndAA(false);
    p.SetUseAntialiasing(false);
    p.SetAntialiasingIntensity(0.77777);
    mAntialiasingMethod = 0;
    p.SetFrameSamplingCount(7);
    mFrameSamplingType = 1;
    p.SetUseAccumulationBuffer(false);
    p.SetUseDepthOfField(false);
    p.SetFocusSource(eCAMERA_INTEREST);
    p.SetFocusDistance(200.0);
    p.SetFocusAngle(3.5);
    p.SetUse2DMagnifierZoom(false);
    setAnimated(VOxaCameraProperties::eAnimatedMagnifierZoom, 100.0);
    setAnimated(VOxaCameraProperties::eAnimatedMagnifierX, 50.0);
    setAnimated(VOxaCameraProperties::eAnimatedMagnifierY, 50.0);
}

VOxaCamera& VOxaCamera::operator=(const VOxaCamera& other) {
    if (&other == this) return *this;
    VOxaCameraProperties& p = *mProperties;
    const VOxaCameraProperties& o = *other.mProperties;

    mUpVector = other.mUpVector;
    mInterestPosition = other.mInterestPosition;
    SetPosition(other.GetPosition());
    SetRoll(other.GetRoll());
    SetTurnTable(other.GetTurnTable());
    p.SetCameraProjectionType(o.GetCameraProjectionType());
    p.SetCameraFormat(o.GetCameraFormat());
    p.SetResolutionMode(o.GetResolutionMode());
    p.SetAspectW(o.GetAspectW());
    p.SetAspectH(o.GetAspectH());
    p.SetPixelAspectRatio(o.GetPixelAspectRatio());
    p.SetNearPlane(o.GetNearPlane());
    p.SetFarPlane(o.GetFarPlane());
    p.SetLockMode(o.GetLockMode());
    p.SetFilmFormatIndex(o.GetFilmFormatIndex());
    p.SetApertureMode(o.GetApertureMode());
    p.SetFilmWidth(o.GetFilmWidth());
    p.SetFilmHeight(o.GetFilmHeight());
    p.SetFilmSqueezeRatio(o.GetFilmSqueezeRatio());
    p.SetFocalLength(o.GetFocalLength());
    mBackgroundMediaName = other.mBackgroundMediaName;
    mBackgroundFileName = other.mBackgroundFileName;
    p.SetViewFrustumBackPlaneMode(o.GetViewFrustumBackPlaneMode());
    p.SetBackgroundMode(o.GetBackgroundMode());
    p.SetForegroundTransparent(o.GetForegroundTransparent());
    p.SetBackgroundAlphaTreshold(o.GetBackgroundAlphaTreshold());
    p.SetFitImage(o.GetFitImage());
    p.SetCenter(o.GetCenter());
    p.SetKeepRatio(o.GetKeepRatio());
    p.SetCrop(o.GetCrop());
    p.SetBackPlaneDistance(o.GetBackPlaneDistance());
    p.SetBackPlaneDistanceMode(o.GetBackPlaneDistanceMode());
    p.SetViewFrustum(o.GetViewFrustum());
    p.SetViewFrustumNearFarPlane(o.GetViewFrustumNearFarPlane());
    p.SetShowGrid(o.GetShowGrid());
    p.SetShowAzimut(o.GetShowAzimut());
    p.SetShowName(o.GetShowName());
    mShowInfoOnMoving = other.mShowInfoOnMoving;
    p.SetShowTimeCode(o.GetShowTimeCode());
    p.SetDisplaySafeArea(o.GetDisplaySafeArea());
    p.SetSafeAreaDisplayStyle(o.GetSafeAreaDisplayStyle());
    mDisplaySafeAreaOnRender = other.mDisplaySafeAreaOnRender;
    mShowAudio = other.mShowAudio;
    SetDefaultBackgroundColor(other.GetBackgroundColor());
    mAudioColor = other.mAudioColor;
    p.SetUseFrameColor(o.GetUseFrameColor());
    p.SetFrameColor(o.GetFrameColor());
    p.SetFrameColorAlpha(o.GetFrameColorAlpha());
    p.SetUseRealTimeDOFAndAA(o.GetUseRealTimeDOFAndAA());
    p.SetUseAntialiasing(o.GetUseAntialiasing());
    p.SetAntialiasingIntensity(o.GetAntialiasingIntensity());
    mAntialiasingMethod = other.mAntialiasingMethod;
    p.SetFrameSamplingCount(o.GetFrameSamplingCount());
    mFrameSamplingType = other.mFrameSamplingType;
    p.SetUseAccumulationBuffer(o.GetUseAccumulationBuffer());
    p.SetUseDepthOfField(o.GetUseDepthOfField());
    p.SetFocusSource(o.GetFocusSource());
    p.SetFocusDistance(o.GetFocusDistance());
    p.SetFocusAngle(o.GetFocusAngle());
    return *this;
}
