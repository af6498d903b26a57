#include "animation/anim_settings.h"

namespace {
// Constant-initialised, so every value holds before any static initialiser of the process runs.
int gRotationFilterMode = 2;
bool gApplyConstantKeyReducer = true;
VTime gLayerMergePeriod(1539538600LL);
double gUnrollQualityThreshold = 0.25;
bool gUnrollQualityCheck = false;
bool gTcbLeftFromRight = false;
double gUnreadDoubles[5] = {240.0, 5e-13, 0.0005, 5e-13, 5e-13};
bool gUnreadFlags[5] = {true, true, true, false, false};
}  // namespace

int VFCurveGetRotationFilterMode() {
    return gRotationFilterMode;
}
void VFCurveSetRotationFilterMode(int mode) {
    gRotationFilterMode = mode;
}

bool VFCurveGetApplyConstantKeyReducer() {
    return gApplyConstantKeyReducer;
}
void VFCurveSetApplyConstantKeyReducer(bool apply) {
    gApplyConstantKeyReducer = apply;
}

VTime VFCurveGetLayerMergePeriod() {
    return gLayerMergePeriod;
}
void VFCurveSetLayerMergePeriod(VTime period) {
    gLayerMergePeriod = period;
}

double VFCurveGetUnrollQualityThreshold() {
    return gUnrollQualityThreshold;
}
void VFCurveSetUnrollQualityThreshold(double threshold) {
    gUnrollQualityThreshold = threshold;
}
bool VFCurveGetUnrollQualityCheck() {
    return gUnrollQualityCheck;
}
void VFCurveSetUnrollQualityCheck(bool check) {
    gUnrollQualityCheck = check;
}

bool VFCurveGetTcbLeftFromRight() {
    return gTcbLeftFromRight;
}
void VFCurveSetTcbLeftFromRight(bool leftFromRight) {
    gTcbLeftFromRight = leftFromRight;
}

// The ten values nothing reads.
double VFCurveGetUnreadDouble1() {
    return gUnreadDoubles[0];
}
void VFCurveSetUnreadDouble1(double value) {
    gUnreadDoubles[0] = value;
}
double VFCurveGetUnreadDouble2() {
    return gUnreadDoubles[1];
}
void VFCurveSetUnreadDouble2(double value) {
    gUnreadDoubles[1] = value;
}
double VFCurveGetUnreadDouble3() {
    return gUnreadDoubles[2];
}
void VFCurveSetUnreadDouble3(double value) {
    gUnreadDoubles[2] = value;
}
double VFCurveGetUnreadDouble4() {
    return gUnreadDoubles[3];
}
void VFCurveSetUnreadDouble4(double value) {
    gUnreadDoubles[3] = value;
}
double VFCurveGetUnreadDouble5() {
    return gUnreadDoubles[4];
}
void VFCurveSetUnreadDouble5(double value) {
    gUnreadDoubles[4] = value;
}
bool VFCurveGetUnreadFlag1() {
    return gUnreadFlags[0];
}
void VFCurveSetUnreadFlag1(bool value) {
    gUnreadFlags[0] = value;
}
bool VFCurveGetUnreadFlag2() {
    return gUnreadFlags[1];
}
void VFCurveSetUnreadFlag2(bool value) {
    gUnreadFlags[1] = value;
}
bool VFCurveGetUnreadFlag3() {
    return gUnreadFlags[2];
}
void VFCurveSetUnreadFlag3(bool value) {
    gUnreadFlags[2] = value;
}
bool VFCurveGetUnreadFlag4() {
    return gUnreadFlags[3];
}
void VFCurveSetUnreadFlag4(bool value) {
    gUnreadFlags[3] = value;
}
bool VFCurveGetUnreadFlag5() {
    return gUnreadFlags[4];
}
void VFCurveSetUnreadFlag5(bool value) {
    gUnreadFlags[4] = value;
}
