#include "animation/anim_settings.h"

namespace {
// Constant-initialised, so every value holds before any static initialiser of the process runs.
int gRotationFilterMode = 2;
bool gApplyConstantKeyReducer = true;
VTime gLayerMergePeriod(1539538600LL);
double gUnrollQualityThreshold = 0.25;
bool gUnrollQualityCheck = false;
bool gTcbLeftFromRight = false;
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
