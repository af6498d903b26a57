#ifndef OXA_ANIMATION_ANIM_SETTINGS_H
#define OXA_ANIMATION_ANIM_SETTINGS_H

#include "base/vtime.h"

// Process-wide settings that decide how animation read from files is tidied, and one switch of
// the TCB tangent computation. Plain globals without a lock: the toolkit runs on one thread, and
// a setter changes the behaviour of every later read. No setter validates its value.

// Rotation filter run after reading: 1 gimbal killer, 2 unroll (the initial value), any other
// value none.
int VFCurveGetRotationFilterMode();
void VFCurveSetRotationFilterMode(int mode);

// Whether the constant key reducer runs after reading (initially true).
bool VFCurveGetApplyConstantKeyReducer();
void VFCurveSetApplyConstantKeyReducer(bool apply);

// Sampling period of the layer merging and of the baking of time warps (initially 1/30 s,
// 1,539,538,600 ticks).
VTime VFCurveGetLayerMergePeriod();
void VFCurveSetLayerMergePeriod(VTime period);

// Defaults the unroll filter takes when it is reset (0.25 and false initially).
double VFCurveGetUnrollQualityThreshold();
void VFCurveSetUnrollQualityThreshold(double threshold);
bool VFCurveGetUnrollQualityCheck();
void VFCurveSetUnrollQualityCheck(bool check);

// When true, the left derivative of a TCB key whose preceding segment is cubic is its right
// derivative (initially false).
bool VFCurveGetTcbLeftFromRight();
void VFCurveSetTcbLeftFromRight(bool leftFromRight);

#endif  // OXA_ANIMATION_ANIM_SETTINGS_H
