#include "character/voxa_character_parameters.h"

#include "character/voxa_character_name_index.h"

namespace {

// One row of the static descriptor table; every component flag is 0.
struct ParameterRow {
    const char* mName;
    int mParent;
    int mModeType;
    int mUnit;
    float mMin;
    float mMax;
    int mDefaultMode;
    float mDefaultValue;
    bool mInvert;
};

// clang-format off
const ParameterRow kParameterRows[VOxaCharacterParameterStore::eParameterCount] = {
    {"PullIterationCount", -1, 0, 6, 0.0f, 30.0f, 0, 10.0f, false},
    {"Posture", -1, 0, 5, 0.0f, 2.0f, 0, 0.0f, false},
    {"ForceActorSpace", -1, 1, 0, 0.0f, 0.0f, 0, 0.0f, false},
    {"ScaleCompensation", -1, 2, 6, 1.0f, 1000.0f, 1, 100.0f, false},
    {"HipsHeightCompensation", -1, 2, 3, -1000.0f, 1000.0f, 1, 0.0f, false},
    {"AnkleHeightCompensation", -1, 2, 3, -1000.0f, 1000.0f, 1, 0.0f, false},
    {"AnkleProximityCompensation", -1, 2, 3, -1000.0f, 1000.0f, 1, 0.0f, false},
    {"MassCenterCompensation", -1, 1, 6, 0.0f, 120.0f, 1, 80.0f, false},
    {"ApplyLimits", -1, 1, 0, 0.0f, 100.0f, 0, 0.0f, false},
    {"ChestReduction", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"CollarReduction", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"NeckReduction", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"HeadReduction", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"ReachActorLeftAnkle", -1, 0, 1, 0.0f, 1.0f, 0, 1.0f, false},
    {"ReachActorRightAnkle", -1, 0, 1, 0.0f, 1.0f, 0, 1.0f, false},
    {"ReachActorLeftKnee", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"ReachActorRightKnee", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"ReachActorChest", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"ReachActorHead", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"ReachActorLeftWrist", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"ReachActorRightWrist", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"ReachActorLeftElbow", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"ReachActorRightElbow", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"ReachActorLeftFingerBase", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"ReachActorRightFingerBase", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"ReachActorLeftToesBase", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"ReachActorRightToesBase", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"ReachActorLeftFingerBaseRotation", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"ReachActorRightFingerBaseRotation", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"ReachActorLeftToesBaseRotation", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"ReachActorRightToesBaseRotation", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"ReachActorLeftAnkleRotationRotation", -1, 0, 1, 0.0f, 1.0f, 0, 1.0f, false},
    {"ReachActorRightAnkleRotation", -1, 0, 1, 0.0f, 1.0f, 0, 1.0f, false},
    {"ReachActorHeadRotation", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"ReachActorLeftWristRotation", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"ReachActorRightWristRotation", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"ReachActorChestRotation", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"ReachActorLowerChestRotation", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"HipsTOffsetX", -1, 0, 3, -1000.0f, 1000.0f, 1, 0.0f, false},
    {"HipsTOffsetY", -1, 0, 3, -1000.0f, 1000.0f, 1, 0.0f, false},
    {"HipsTOffsetZ", -1, 0, 3, -1000.0f, 1000.0f, 1, 0.0f, false},
    {"ChestTOffsetX", -1, 0, 3, -1000.0f, 1000.0f, 1, 0.0f, false},
    {"ChestTOffsetY", -1, 0, 3, -1000.0f, 1000.0f, 1, 0.0f, false},
    {"ChestTOffsetZ", -1, 0, 3, -1000.0f, 1000.0f, 1, 0.0f, false},
    {"FloorContact", -1, 1, 0, 0.0f, 0.0f, 0, 0.0f, false},
    {"FootBottomToAnkle", 44, 0, 3, 0.0f, 10000.0f, 1, 7.5f, false},
    {"FootBackToAnkle", 44, 0, 3, 0.0f, 10000.0f, 1, 4.5f, false},
    {"FootMiddleToAnkle", 44, 0, 3, 0.0f, 10000.0f, 1, 13.0f, false},
    {"FootFrontToMiddle", 44, 0, 3, 0.0f, 10000.0f, 1, 7.0f, false},
    {"FootInToAnkle", 44, 0, 3, 0.0f, 10000.0f, 1, 5.0f, false},
    {"FootOutToAnkle", 44, 0, 3, 0.0f, 10000.0f, 1, 5.0f, false},
    {"ContactSize", 44, 0, 6, 10.0f, 1000.0f, 1, 100.0f, false},
    {"AutomaticToes", -1, 1, 0, 0.0f, 0.0f, 0, 0.0f, false},
    {"FloorPivot", -1, 0, 5, 0.0f, 3.0f, 0, 0.0f, false},
    {"ParamFootContactStiffness", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"HandFloorContact", -1, 1, 0, 0.0f, 0.0f, 0, 0.0f, false},
    {"HandBottomToWrist", 55, 0, 3, 0.0f, 10000.0f, 1, 7.5f, false},
    {"HandBackToWrist", 55, 0, 3, 0.0f, 10000.0f, 1, 4.5f, false},
    {"HandMiddleToWrist", 55, 0, 3, 0.0f, 10000.0f, 1, 13.0f, false},
    {"HandFrontToMiddle", 55, 0, 3, 0.0f, 10000.0f, 1, 7.0f, false},
    {"HandInToWrist", 55, 0, 3, 0.0f, 10000.0f, 1, 5.0f, false},
    {"HandOutToWrist", 55, 0, 3, 0.0f, 10000.0f, 1, 5.0f, false},
    {"HandContactSize", 55, 0, 6, 10.0f, 1000.0f, 1, 100.0f, false},
    {"AutomaticFingers", -1, 1, 0, 0.0f, 0.0f, 0, 0.0f, false},
    {"HandFloorPivot", -1, 0, 5, 0.0f, 3.0f, 0, 0.0f, false},
    {"ParamHandContactStiffness", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"RollExtractionMode", -1, 0, 5, 0.0f, 2.0f, 0, 0.0f, false},
    {"LeftUpLegRoll", -1, 1, 1, 0.0f, 1.0f, 0, 0.6f, false},
    {"LeftLegRoll", -1, 1, 1, 0.0f, 1.0f, 0, 0.6f, false},
    {"RightUpLegRoll", -1, 1, 1, 0.0f, 1.0f, 0, 0.6f, false},
    {"RightLegRoll", -1, 1, 1, 0.0f, 1.0f, 0, 0.6f, false},
    {"LeftArmRoll", -1, 1, 1, 0.0f, 1.0f, 0, 0.6f, false},
    {"LeftForeArmRoll", -1, 1, 1, 0.0f, 1.0f, 0, 0.6f, false},
    {"RightArmRoll", -1, 1, 1, 0.0f, 1.0f, 0, 0.6f, false},
    {"RightForeArmRoll", -1, 1, 1, 0.0f, 1.0f, 0, 0.6f, false},
    {"Damping", -1, 0, 6, 0.0f, 100.0f, 0, 0.0f, false},
    {"Orientation", 75, 2, 2, 0.0f, 0.25f, 1, 0.0f, false},
    {"Displacement", 75, 2, 6, 0.0f, 100.0f, 1, 0.0f, false},
    {"DisplacementMemory", 77, 3, 2, 0.0f, 0.25f, 0, 0.0f, false},
    {"HipsDisplacementDamping", 77, 3, 6, 0.0f, 100.0f, 0, 0.0f, false},
    {"AnkleDisplacementDamping", 77, 3, 6, 0.0f, 100.0f, 0, 0.0f, false},
    {"WristDisplacementDamping", 77, 3, 6, 0.0f, 100.0f, 0, 0.0f, false},
    {"Stabilization", -1, 0, 6, 0.0f, 100.0f, 0, 0.0f, false},
    {"AnkleStabilizationTime", 82, 3, 2, 0.0f, 1.0f, 0, 0.0f, true},
    {"AnkleStabilizationPerimeter", 82, 3, 3, 0.0f, 15.0f, 0, 0.0f, false},
    {"AnkleStabilizationAngularPerimeter", 82, 2, 4, 0.0f, 60.0f, 1, 0.0f, false},
    {"AnkleStabilizationFloorProximity", 82, 2, 3, 0.0f, 10.0f, 1, 0.0f, false},
    {"AnkleStabilizationDamping", 82, 2, 2, 0.0f, 10.0f, 0, 0.0f, false},
    {"AnkleStabilizationRecoveryTime", 82, 2, 2, 0.0f, 1.0f, 1, 0.0f, false},
    {"CtrlPullLeftToeBase", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"CtrlPullLeftFoot", -1, 0, 1, 0.0f, 1.0f, 0, 1.0f, false},
    {"CtrlPullLeftKnee", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"CtrlPullRightToeBase", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"CtrlPullRightFoot", -1, 0, 1, 0.0f, 1.0f, 0, 1.0f, false},
    {"CtrlPullRightKnee", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"CtrlPullLeftFingerBase", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"CtrlPullLeftHand", -1, 0, 1, 0.0f, 1.0f, 0, 1.0f, false},
    {"CtrlPullLeftElbow", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"CtrlPullRightFingerBase", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"CtrlPullRightHand", -1, 0, 1, 0.0f, 1.0f, 0, 1.0f, false},
    {"CtrlPullRightElbow", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"CtrlChestPullLeftHand", -1, 0, 1, 0.0f, 1.0f, 0, 1.0f, false},
    {"CtrlChestPullRightHand", -1, 0, 1, 0.0f, 1.0f, 0, 1.0f, false},
    {"CtrlPullHead", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"CtrlResistHipsPosition", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"CtrlEnforceGravity", -1, 0, 1, 0.0f, 1.0f, 0, 0.6f, false},
    {"CtrlResistHipsOrientation", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"CtrlResistChestPosition", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"CtrlResistChestOrientation", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"CtrlResistLeftCollar", -1, 0, 1, 0.0f, 1.0f, 0, 0.5f, false},
    {"CtrlResistRightCollar", -1, 0, 1, 0.0f, 1.0f, 0, 0.5f, false},
    {"CtrlResistLeftKnee", -1, 0, 1, 0.0f, 1.0f, 0, 0.5f, false},
    {"CtrlResistMaximumExtensionLeftKnee", -1, 0, 1, 0.0f, 1.0f, 0, 0.5f, false},
    {"CtrlResistCompressionFactorLeftKnee", -1, 0, 1, 0.0f, 1.0f, 0, 0.5f, false},
    {"CtrlResistRightKnee", -1, 0, 1, 0.0f, 1.0f, 0, 0.5f, false},
    {"CtrlResistMaximumExtensionRightKnee", -1, 0, 1, 0.0f, 1.0f, 0, 0.5f, false},
    {"CtrlResistCompressionFactorRightKnee", -1, 0, 1, 0.0f, 1.0f, 0, 0.5f, false},
    {"CtrlResistLeftElbow", -1, 0, 1, 0.0f, 1.0f, 0, 0.5f, false},
    {"CtrlResistMaximumExtensionLeftElbow", -1, 0, 1, 0.0f, 1.0f, 0, 0.5f, false},
    {"CtrlResistCompressionFactorLeftElbow", -1, 0, 1, 0.0f, 1.0f, 0, 0.5f, false},
    {"CtrlResistRightElbow", -1, 0, 1, 0.0f, 1.0f, 0, 0.5f, false},
    {"CtrlResistMaximumExtensionRightElbow", -1, 0, 1, 0.0f, 1.0f, 0, 0.5f, false},
    {"CtrlResistCompressionFactorRightElbow", -1, 0, 1, 0.0f, 1.0f, 0, 0.5f, false},
    {"ParamCtrlSpineStiffness", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"ParamCtrlNeckStiffness", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"Mirror", -1, 1, 0, 0.0f, 100.0f, 0, 0.0f, false},
    {"GameMode", -1, 1, 0, 0.0f, 100.0f, 0, 0.0f, false},
    {"ShoulderCorrection", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"LeftKneeKillPitch", -1, 1, 0, 0.0f, 100.0f, 0, 0.0f, false},
    {"RightKneeKillPitch", -1, 1, 0, 0.0f, 100.0f, 0, 0.0f, false},
    {"LeftElbowKillPitch", -1, 1, 0, 0.0f, 100.0f, 0, 0.0f, false},
    {"RightElbowKillPitch", -1, 1, 0, 0.0f, 100.0f, 0, 0.0f, false},
    {"HipsTranslationMode", -1, 0, 5, 0.0f, 2.0f, 0, 0.0f, false},
    {"LeftShoulderFrontAngle", -1, 0, 4, 0.0f, 180.0f, 0, 150.0f, false},
    {"LeftShoulderBackAngle", -1, 0, 4, 0.0f, 180.0f, 0, 150.0f, false},
    {"LeftShoulderUpAngle", -1, 0, 4, 0.0f, 180.0f, 0, 150.0f, false},
    {"LeftShoulderDownAngle", -1, 0, 4, 0.0f, 180.0f, 0, 150.0f, false},
    {"RightShoulderFrontAngle", -1, 0, 4, 0.0f, 180.0f, 0, 150.0f, false},
    {"RightShoulderBackAngle", -1, 0, 4, 0.0f, 180.0f, 0, 150.0f, false},
    {"RightShoulderUpAngle", -1, 0, 4, 0.0f, 180.0f, 0, 150.0f, false},
    {"RightShoulderDownAngle", -1, 0, 4, 0.0f, 180.0f, 0, 150.0f, false},
    {"LeftHandThumbTip", -1, 0, 3, 0.0f, 1000.0f, 0, 0.5f, false},
    {"LeftHandIndexTip", -1, 0, 3, 0.0f, 1000.0f, 0, 0.5f, false},
    {"LeftHandMiddleTip", -1, 0, 3, 0.0f, 1000.0f, 0, 0.5f, false},
    {"LeftHandRingTip", -1, 0, 3, 0.0f, 1000.0f, 0, 0.5f, false},
    {"LeftHandPinkyTip", -1, 0, 3, 0.0f, 1000.0f, 0, 0.5f, false},
    {"LeftHandExtraFingerTip", -1, 0, 3, 0.0f, 1000.0f, 0, 0.5f, false},
    {"RightHandThumbTip", -1, 0, 3, 0.0f, 1000.0f, 0, 0.5f, false},
    {"RightHandIndexTip", -1, 0, 3, 0.0f, 1000.0f, 0, 0.5f, false},
    {"RightHandMiddleTip", -1, 0, 3, 0.0f, 1000.0f, 0, 0.5f, false},
    {"RightHandRingTip", -1, 0, 3, 0.0f, 1000.0f, 0, 0.5f, false},
    {"RightHandPinkyTip", -1, 0, 3, 0.0f, 1000.0f, 0, 0.5f, false},
    {"RightHandExtraFingerTip", -1, 0, 3, 0.0f, 1000.0f, 0, 0.5f, false},
    {"LeftFootThumbTip", -1, 0, 3, 0.0f, 1000.0f, 0, 0.5f, false},
    {"LeftFootIndexTip", -1, 0, 3, 0.0f, 1000.0f, 0, 0.5f, false},
    {"LeftFootMiddleTip", -1, 0, 3, 0.0f, 1000.0f, 0, 0.5f, false},
    {"LeftFootRingTip", -1, 0, 3, 0.0f, 1000.0f, 0, 0.5f, false},
    {"LeftFootPinkyTip", -1, 0, 3, 0.0f, 1000.0f, 0, 0.5f, false},
    {"LeftFootExtraFingerTip", -1, 0, 3, 0.0f, 1000.0f, 0, 0.5f, false},
    {"RightFootThumbTip", -1, 0, 3, 0.0f, 1000.0f, 0, 0.5f, false},
    {"RightFootIndexTip", -1, 0, 3, 0.0f, 1000.0f, 0, 0.5f, false},
    {"RightFootMiddleTip", -1, 0, 3, 0.0f, 1000.0f, 0, 0.5f, false},
    {"RightFootRingTip", -1, 0, 3, 0.0f, 1000.0f, 0, 0.5f, false},
    {"RightFootPinkyTip", -1, 0, 3, 0.0f, 1000.0f, 0, 0.5f, false},
    {"RightFootExtraFingerTip", -1, 0, 3, 0.0f, 1000.0f, 0, 0.5f, false},
    {"FingerSolving", -1, 1, 0, 0.0f, 0.0f, 1, 0.0f, false},
    {"HandContactType", -1, 0, 5, 0.0f, 4.0f, 0, 0.0f, false},
    {"HandFingerContact", -1, 1, 0, 0.0f, 0.0f, 0, 0.0f, false},
    {"HandFingerContactMode", -1, 0, 5, 0.0f, 3.0f, 0, 1.0f, false},
    {"ParamHandFingerContactRollStiffness", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"FootContactType", -1, 0, 5, 0.0f, 4.0f, 0, 0.0f, false},
    {"FootFingerContact", -1, 1, 0, 0.0f, 0.0f, 0, 0.0f, false},
    {"FootFingerContactMode", -1, 0, 5, 0.0f, 3.0f, 0, 1.0f, false},
    {"ParamFootFingerContactRollStiffness", -1, 0, 1, 0.0f, 1.0f, 0, 0.0f, false},
    {"ContactBehaviour", -1, 0, 5, 0.0f, 3.0f, 0, 0.0f, false},
    {"WriteReference", -1, 1, 0, 0.0f, 0.0f, 0, 0.0f, false},
    {"SyncMode", -1, 1, 0, 0.0f, 0.0f, 1, 0.0f, false},
};

// The rows of the parameter-to-property map that do not map a parameter to the value
// property of its own name: {parameter, mode property or null, value property or null,
// component}.
struct MapRow {
    const char* mParameter;
    const char* mModeProperty;
    const char* mValueProperty;
    int mComponent;
};

const MapRow kSpecialMapRows[] = {
    {"ForceActorSpace", "ForceActorSpace", nullptr, 0},
    {"ScaleCompensation", "ScaleCompensationMode", "ScaleCompensation", 0},
    {"HipsHeightCompensation", "HipsHeightCompensationMode", "HipsHeightCompensation", 0},
    {"AnkleHeightCompensation", "AnkleHeightCompensationMode", "AnkleHeightCompensation", 0},
    {"AnkleProximityCompensation", "AnkleProximityCompensationMode", "AnkleProximityCompensation", 0},
    {"ApplyLimits", "ApplyLimits", nullptr, 0},
    {"ParamFootContactStiffness", nullptr, "FootContactStiffness", 0},
    {"ParamHandContactStiffness", nullptr, "HandContactStiffness", 0},
    {"ParamFootFingerContactRollStiffness", nullptr, "FootFingerContactRollStiffness", 0},
    {"ParamHandFingerContactRollStiffness", nullptr, "HandFingerContactRollStiffness", 0},
    {"ReachActorLeftAnkleRotationRotation", nullptr, "ReachActorLeftAnkleRotation", 0},
    {"HipsTOffsetX", nullptr, "HipsTOffset", 0},
    {"HipsTOffsetY", nullptr, "HipsTOffset", 1},
    {"HipsTOffsetZ", nullptr, "HipsTOffset", 2},
    {"ChestTOffsetX", nullptr, "ChestTOffset", 0},
    {"ChestTOffsetY", nullptr, "ChestTOffset", 1},
    {"ChestTOffsetZ", nullptr, "ChestTOffset", 2},
    {"LeftUpLegRoll", "LeftUpLegRollMode", "LeftUpLegRoll", 0},
    {"LeftLegRoll", "LeftLegRollMode", "LeftLegRoll", 0},
    {"RightUpLegRoll", "RightUpLegRollMode", "RightUpLegRoll", 0},
    {"RightLegRoll", "RightLegRollMode", "RightLegRoll", 0},
    {"LeftArmRoll", "LeftArmRollMode", "LeftArmRoll", 0},
    {"LeftForeArmRoll", "LeftForeArmRollMode", "LeftForeArmRoll", 0},
    {"RightArmRoll", "RightArmRollMode", "RightArmRoll", 0},
    {"RightForeArmRoll", "RightForeArmRollMode", "RightForeArmRoll", 0},
    {"FloorContact", "FootFloorContact", nullptr, 0},
    {"AutomaticToes", "FootAutomaticToes", nullptr, 0},
    {"FloorPivot", nullptr, "FootFloorPivot", 0},
    {"ContactSize", nullptr, "FootContactSize", 0},
    {"HandFloorContact", "HandFloorContact", nullptr, 0},
    {"AutomaticFingers", "HandAutomaticFingers", nullptr, 0},
    {"FingerSolving", "FingerSolving", nullptr, 0},
    {"FootFingerContact", "FootFingerContact", nullptr, 0},
    {"HandFingerContact", "HandFingerContact", nullptr, 0},
    {"ParamCtrlSpineStiffness", nullptr, "CtrlSpineStiffness", 0},
    {"ParamCtrlNeckStiffness", nullptr, "CtrlNeckStiffness", 0},
    {"Mirror", "MirrorMode", nullptr, 0},
    {"LeftKneeKillPitch", "LeftKneeKillPitch", nullptr, 0},
    {"RightKneeKillPitch", "RightKneeKillPitch", nullptr, 0},
    {"LeftElbowKillPitch", "LeftElbowKillPitch", nullptr, 0},
    {"RightElbowKillPitch", "RightElbowKillPitch", nullptr, 0},
    {"WriteReference", "WriteReference", nullptr, 0},
    {"SyncMode", "SyncMode", nullptr, 0},
    {"Orientation", "OrientationDampingMode", "OrientationDamping", 0},
    {"Displacement", "DisplacementDampingMode", "DisplacementDamping", 0},
    {"DisplacementMemory", "DisplacementMemoryMode", "DisplacementMemory", 0},
    {"HipsDisplacementDamping", "HipsDisplacementDampingMode", "HipsDisplacementDamping", 0},
    {"AnkleDisplacementDamping", "AnkleDisplacementDampingMode", "AnkleDisplacementDamping", 0},
    {"WristDisplacementDamping", "WristDisplacementDampingMode", "WristDisplacementDamping", 0},
    {"AnkleStabilizationTime", "AnkleStabilizationTimeMode", "AnkleStabilizationTime", 0},
    {"AnkleStabilizationPerimeter", "AnkleStabilizationPerimeterMode", "AnkleStabilizationPerimeter", 0},
    {"AnkleStabilizationAngularPerimeter", "AnkleStabilizationAngularPerimeterMode",
     "AnkleStabilizationAngularPerimeter", 0},
    {"AnkleStabilizationFloorProximity", "AnkleStabilizationFloorProximityMode",
     "AnkleStabilizationFloorProximity", 0},
    {"AnkleStabilizationDamping", "AnkleStabilizationDampingMode", "AnkleStabilizationDamping", 0},
    {"AnkleStabilizationRecoveryTime", "AnkleStabilizationRecoveryTimeMode", "AnkleStabilizationRecoveryTime", 0},
};

// The parameters that no property shows.
const char* const kUnmappedParameters[] = {
    "GameMode",           "LeftShoulderFrontAngle",  "LeftShoulderBackAngle", "LeftShoulderUpAngle",
    "LeftShoulderDownAngle", "RightShoulderFrontAngle", "RightShoulderBackAngle", "RightShoulderUpAngle",
    "RightShoulderDownAngle",
};
// clang-format on

// The run-time tables, built once on first use: the descriptors as they are used (unit-1 rows
// scaled), the parameter-to-property map in parameter order and the name indexes.
struct ParameterTables {
    float mMax[VOxaCharacterParameterStore::eParameterCount];
    float mDefaultValue[VOxaCharacterParameterStore::eParameterCount];
    std::vector<MapRow> mMap;
    VCharacterNameIndex mByName;
    // A property name of the map (value or mode column) and the parameter it stands for;
    // references of one name are chained through mNext in map order.
    struct Reference {
        int mParameter;
        int mComponent;
        bool mIsMode;
        int mNext;
    };
    std::vector<Reference> mReferences;
    // Property name -> its first reference.
    VCharacterNameIndex mMapByProperty;

    ParameterTables() {
        for (int i = 0; i < VOxaCharacterParameterStore::eParameterCount; ++i) {
            const ParameterRow& row = kParameterRows[i];
            mMax[i] = row.mMax;
            mDefaultValue[i] = row.mDefaultValue;
            if (row.mUnit == 1) {
                // Single precision on purpose: the stored defaults are these float products.
                mMax[i] = row.mMax * 100.0f;
                mDefaultValue[i] = row.mDefaultValue * 100.0f;
            }
            mByName.Add(row.mName, i);
        }
        mByName.Build();

        VCharacterNameIndex special;
        for (int s = 0; s < (int)(sizeof(kSpecialMapRows) / sizeof(kSpecialMapRows[0])); ++s)
            special.Add(kSpecialMapRows[s].mParameter, s);
        special.Build();
        VCharacterNameIndex unmapped;
        for (const char* name : kUnmappedParameters)
            unmapped.Add(name, 1);
        unmapped.Build();

        // Every parameter in index order; a special row takes the place of the plain one.
        for (int i = 0; i < VOxaCharacterParameterStore::eParameterCount; ++i) {
            const char* name = kParameterRows[i].mName;
            if (unmapped.Find(name) >= 0) continue;
            int s = special.Find(name);
            mMap.push_back(s >= 0 ? kSpecialMapRows[s] : MapRow{name, nullptr, name, 0});
        }

        // Each property name of the map, in map order, with the parameter it stands for: a
        // lookup by name finds its first reference and walks the ones of the same name.
        std::vector<const char*> names;
        std::vector<int> lastOfName;
        auto reference = [&](const char* property, int row, bool isMode) {
            if (!property) return;
            int at = (int)mReferences.size();
            mReferences.push_back({mByName.Find(mMap[row].mParameter), mMap[row].mComponent, isMode, -1});
            for (size_t n = 0; n < names.size(); ++n) {
                if (std::strcmp(names[n], property) == 0) {
                    mReferences[lastOfName[n]].mNext = at;
                    lastOfName[n] = at;
                    return;
                }
            }
            names.push_back(property);
            lastOfName.push_back(at);
            mMapByProperty.Add(property, at);
        };
        for (int r = 0; r < (int)mMap.size(); ++r) {
            reference(mMap[r].mValueProperty, r, false);
            reference(mMap[r].mModeProperty, r, true);
        }
        mMapByProperty.Build();
    }
};

const ParameterTables& Tables() {
    static const ParameterTables tables;
    return tables;
}

}  // namespace

VOxaCharacterParameterStore::VOxaCharacterParameterStore() {
    Reset();
}

void VOxaCharacterParameterStore::Reset() {
    const ParameterTables& tables = Tables();
    for (int i = 0; i < eParameterCount; ++i) {
        mEntries[i].mMode = kParameterRows[i].mDefaultMode;
        mEntries[i].mValue = tables.mDefaultValue[i];
    }
}

// ---- Descriptor queries -------------------------------------------------------------------

const char* VOxaCharacterParameterStore::GetParameterName(int index) {
    return IsValidIndex(index) ? kParameterRows[index].mName : nullptr;
}

int VOxaCharacterParameterStore::FindParameter(const char* name) {
    return Tables().mByName.Find(name);
}

int VOxaCharacterParameterStore::GetParameterParent(int index) {
    return IsValidIndex(index) ? kParameterRows[index].mParent : -1;
}

int VOxaCharacterParameterStore::GetParameterModeType(int index) {
    return IsValidIndex(index) ? kParameterRows[index].mModeType : -1;
}

int VOxaCharacterParameterStore::GetParameterUnit(int index) {
    return IsValidIndex(index) ? kParameterRows[index].mUnit : -1;
}

int VOxaCharacterParameterStore::GetParameterComponentFlag(int index) {
    return IsValidIndex(index) ? 0 : -1;
}

bool VOxaCharacterParameterStore::GetParameterInvert(int index) {
    return IsValidIndex(index) && kParameterRows[index].mInvert;
}

double VOxaCharacterParameterStore::GetParameterMin(int index) {
    return IsValidIndex(index) ? (double)kParameterRows[index].mMin : 0.0;
}

double VOxaCharacterParameterStore::GetParameterMax(int index) {
    return IsValidIndex(index) ? (double)Tables().mMax[index] : 0.0;
}

int VOxaCharacterParameterStore::GetParameterDefaultMode(int index) {
    return IsValidIndex(index) ? kParameterRows[index].mDefaultMode : -1;
}

double VOxaCharacterParameterStore::GetParameterDefaultValue(int index) {
    return IsValidIndex(index) ? (double)Tables().mDefaultValue[index] : 0.0;
}

int VOxaCharacterParameterStore::FindParameterIndexForProperty(const char* propertyName, int component,
                                                               bool* isMode) {
    const ParameterTables& tables = Tables();
    for (int r = tables.mMapByProperty.Find(propertyName); r >= 0; r = tables.mReferences[r].mNext) {
        const ParameterTables::Reference& reference = tables.mReferences[r];
        if (reference.mComponent != component) continue;
        if (isMode) *isMode = reference.mIsMode;
        return reference.mParameter;
    }
    return -1;
}

bool VOxaCharacterParameterStore::FindParameterForProperty(const char** parameterName,
                                                           const char* propertyName, int component) {
    int index = FindParameterIndexForProperty(propertyName, component, nullptr);
    if (parameterName) *parameterName = index >= 0 ? kParameterRows[index].mName : nullptr;
    return index >= 0;
}

// ---- Store ----------------------------------------------------------------------------------

void VOxaCharacterParameterStore::SetMode(int index, int mode) {
    if (!IsValidIndex(index)) return;
    switch (kParameterRows[index].mModeType) {
        case 2:
            if (mode >= 0 && mode <= 2) mEntries[index].mMode = mode;
            break;
        case 1:
        case 3:
            if (mode >= 0 && mode <= 1) mEntries[index].mMode = mode;
            break;
        default:
            break;
    }
}

int VOxaCharacterParameterStore::GetMode(int index) const {
    return IsValidIndex(index) ? mEntries[index].mMode : 0;
}

void VOxaCharacterParameterStore::SetValue(int index, double value, int) {
    if (IsValidIndex(index)) mEntries[index].mValue = value;
}

double VOxaCharacterParameterStore::GetValue(int index, int) const {
    return IsValidIndex(index) ? mEntries[index].mValue : 0.0;
}

// ---- Evaluation -------------------------------------------------------------------------------

bool VOxaCharacterParameterStore::IsFollowingParent(int index) const {
    if (!IsValidIndex(index)) return false;
    int type = kParameterRows[index].mModeType;
    int mode = mEntries[index].mMode;
    return (type == 2 && mode == 1) || (type == 3 && mode == 0);
}

double VOxaCharacterParameterStore::EvaluateParentRatio(int index) const {
    // Up the parent chain to the first row that does not follow its parent, then back down
    // applying each row's inversion. The chain is bounded by the table size, so a row table
    // with a cycle could not hang the walk.
    int chain[eParameterCount];
    int depth = 0;
    double ratio = -1.0;
    while (IsValidIndex(index) && depth < eParameterCount) {
        const ParameterRow& row = kParameterRows[index];
        if (IsFollowingParent(index) && row.mParent != -1) {
            chain[depth++] = index;
            index = row.mParent;
            continue;
        }
        if (!IsFollowingParent(index) && (row.mUnit == 1 || row.mUnit == 6))
            ratio = mEntries[index].mValue * 0.01;
        break;
    }
    while (depth-- > 0) {
        if (kParameterRows[chain[depth]].mInvert) ratio = 1.0 - ratio;
    }
    return ratio;
}

void VOxaCharacterParameterStore::UpdateFollowingValues() {
    const ParameterTables& tables = Tables();
    for (int i = 0; i < eParameterCount; ++i) {
        if (kParameterRows[i].mUnit == 0 || !IsFollowingParent(i)) continue;
        double ratio = EvaluateParentRatio(i);
        double min = kParameterRows[i].mMin;
        double max = tables.mMax[i];
        mEntries[i].mValue = ratio >= 0.0 ? (max - min) * ratio + min : (double)tables.mDefaultValue[i];
    }
}

bool VOxaCharacterParameterStore::IsEnabled(int index) const {
    // Iterative over the parent chain (bounded as above).
    for (int steps = 0; steps <= eParameterCount; ++steps) {
        if (index == -1) return true;
        if (!IsValidIndex(index)) return false;
        const ParameterRow& row = kParameterRows[index];
        switch (row.mModeType) {
            case 1:
            case 2:
                if (mEntries[index].mMode == 0) return false;
                index = row.mParent;
                break;
            case 3:
                index = row.mParent;
                break;
            default:
                return true;
        }
    }
    return false;
}
