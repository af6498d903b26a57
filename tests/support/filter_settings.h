// Keeps the process-wide import filter settings (rotation filter mode, constant key reducer) for
// one test and puts them back afterwards.
#ifndef OXA_TESTS_SUPPORT_FILTER_SETTINGS_H
#define OXA_TESTS_SUPPORT_FILTER_SETTINGS_H

#include "animation/anim_settings.h"

namespace oxa_test {

class FilterSettings {
public:
    FilterSettings(int mode, bool reduce)
        : mMode(VFCurveGetRotationFilterMode()), mReduce(VFCurveGetApplyConstantKeyReducer()) {
        VFCurveSetRotationFilterMode(mode);
        VFCurveSetApplyConstantKeyReducer(reduce);
    }
    ~FilterSettings() {
        VFCurveSetRotationFilterMode(mMode);
        VFCurveSetApplyConstantKeyReducer(mReduce);
    }
    FilterSettings(const FilterSettings&) = delete;
    FilterSettings& operator=(const FilterSettings&) = delete;

private:
    int mMode;
    bool mReduce;
};

}  // namespace oxa_test

#endif  // OXA_TESTS_SUPPORT_FILTER_SETTINGS_H
