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

// Ten further values of the settings block that nothing in the toolkit reads: five doubles
// (initially 240.0, 5e-13, 0.0005, 5e-13 and 5e-13) and five flags (the first three initially
// true, the last two false). They are kept so that a host can store and read them back as it
// does the others; nothing here gives them a meaning.
double VFCurveGetUnreadDouble1();
void VFCurveSetUnreadDouble1(double value);
double VFCurveGetUnreadDouble2();
void VFCurveSetUnreadDouble2(double value);
double VFCurveGetUnreadDouble3();
void VFCurveSetUnreadDouble3(double value);
double VFCurveGetUnreadDouble4();
void VFCurveSetUnreadDouble4(double value);
double VFCurveGetUnreadDouble5();
void VFCurveSetUnreadDouble5(double value);
bool VFCurveGetUnreadFlag1();
void VFCurveSetUnreadFlag1(bool value);
bool VFCurveGetUnreadFlag2();
void VFCurveSetUnreadFlag2(bool value);
bool VFCurveGetUnreadFlag3();
void VFCurveSetUnreadFlag3(bool value);
bool VFCurveGetUnreadFlag4();
void VFCurveSetUnreadFlag4(bool value);
bool VFCurveGetUnreadFlag5();
void VFCurveSetUnreadFlag5(bool value);

#endif  // OXA_ANIMATION_ANIM_SETTINGS_H
