#ifndef OXA_ANIMATION_ANIM_SETTINGS_H
#define OXA_ANIMATION_ANIM_SETTINGS_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/vtime.h>

// Process-wide settings that decide how animation read from files is tidied, and one switch of
// the TCB tangent computation. Plain globals without a lock: the toolkit runs on one thread, and
// a setter changes the behaviour of every later read. No setter validates its value.

// Rotation filter run after reading: 1 gimbal killer, 2 unroll (the initial value), any other
// value none.
OXA_API int VFCurveGetRotationFilterMode();
OXA_API void VFCurveSetRotationFilterMode(int mode);

// Whether the constant key reducer runs after reading (initially true).
OXA_API bool VFCurveGetApplyConstantKeyReducer();
OXA_API void VFCurveSetApplyConstantKeyReducer(bool apply);

// Sampling period of the layer merging and of the baking of time warps (initially 1/30 s,
// 1,539,538,600 ticks).
OXA_API VTime VFCurveGetLayerMergePeriod();
OXA_API void VFCurveSetLayerMergePeriod(VTime period);

// Defaults the unroll filter takes when it is reset (0.25 and false initially).
OXA_API double VFCurveGetUnrollQualityThreshold();
OXA_API void VFCurveSetUnrollQualityThreshold(double threshold);
OXA_API bool VFCurveGetUnrollQualityCheck();
OXA_API void VFCurveSetUnrollQualityCheck(bool check);

// When true, the left derivative of a TCB key whose preceding segment is cubic is its right
// derivative (initially false).
OXA_API bool VFCurveGetTcbLeftFromRight();
OXA_API void VFCurveSetTcbLeftFromRight(bool leftFromRight);

// Ten further values of the settings block that nothing in the toolkit reads: five doubles
// (initially 240.0, 5e-13, 0.0005, 5e-13 and 5e-13) and five flags (the first three initially
// true, the last two false). They are kept so that a host can store and read them back as it
// does the others; nothing here gives them a meaning.
OXA_API double VFCurveGetUnreadDouble1();
OXA_API void VFCurveSetUnreadDouble1(double value);
OXA_API double VFCurveGetUnreadDouble2();
OXA_API void VFCurveSetUnreadDouble2(double value);
OXA_API double VFCurveGetUnreadDouble3();
OXA_API void VFCurveSetUnreadDouble3(double value);
OXA_API double VFCurveGetUnreadDouble4();
OXA_API void VFCurveSetUnreadDouble4(double value);
OXA_API double VFCurveGetUnreadDouble5();
OXA_API void VFCurveSetUnreadDouble5(double value);
OXA_API bool VFCurveGetUnreadFlag1();
OXA_API void VFCurveSetUnreadFlag1(bool value);
OXA_API bool VFCurveGetUnreadFlag2();
OXA_API void VFCurveSetUnreadFlag2(bool value);
OXA_API bool VFCurveGetUnreadFlag3();
OXA_API void VFCurveSetUnreadFlag3(bool value);
OXA_API bool VFCurveGetUnreadFlag4();
OXA_API void VFCurveSetUnreadFlag4(bool value);
OXA_API bool VFCurveGetUnreadFlag5();
OXA_API void VFCurveSetUnreadFlag5(bool value);

#endif  // OXA_ANIMATION_ANIM_SETTINGS_H
