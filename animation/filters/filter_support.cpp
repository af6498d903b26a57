#include "animation/filters/filter_support.h"

#include <algorithm>

#include "animation/fcurve_node.h"

namespace oxa_filter {

void InsertKeysAt(VFCurve& curve, const std::vector<VTime>& times) {
    // A few insertions, or a curve too short for a window, go straight into the curve.
    if (curve.KeyGetCount() < 4 || times.size() <= 8) {
        int hint = 0;
        for (VTime t : times)
            curve.KeyInsert(t, &hint);
        return;
    }
    // Outside the keys the value comes from the extrapolation of the whole curve: the first time
    // before the keys and every time after them go straight into the curve (at the front once,
    // at the end each time, where nothing moves). Times in between are inside the keys by then.
    size_t first = 0;
    if (times[0] < curve.KeyGetTime(0)) curve.KeyInsert(times[first++]);
    int count = curve.KeyGetCount();
    VTime lastTime = curve.KeyGetTime(count - 1);
    size_t end = first;
    while (end < times.size() && times[end] <= lastTime)
        ++end;

    std::vector<VFCurveKey> result;
    result.reserve((size_t)count + (end - first));
    VFCurve window;
    window.CopyFrom(&curve, false);
    window.ResizeKeyBuffer(5);
    int s = 0;
    bool changed = false;
    for (size_t k = first; k < end; ++k) {
        VTime t = times[k];
        while (s < count && curve.KeyGetTime(s) < t)
            result.push_back(curve.KeyGet(s++));
        if (curve.KeyGetTime(s) == t) continue;
        // The window: the two keys before the new one as they are now, and the two after it;
        // every rule that shapes a segment reads no farther than that.
        window.KeyModifyBegin();
        window.KeyModifyEnd(0);  // empty again, storage kept
        size_t before = std::min<size_t>(2, result.size());
        int n = 0;
        for (size_t b = result.size() - before; b < result.size(); ++b)
            window.KeySet(n++, result[b]);
        for (int a = s; a < count && a < s + 2; ++a)
            window.KeySet(n++, curve.KeyGet(a));
        int index = window.KeyInsert(t);
        for (size_t b = 0; b < before; ++b)
            result[result.size() - before + b] = window.KeyGet((int)b);
        result.push_back(window.KeyGet(index));
        // The keys after the new one can change too (a user key's right slope follows its left
        // one); they are still to be copied, so they are updated where they wait.
        for (int a = index + 1; a < n + 1; ++a)
            *curve.KeyGetPtr(s + (a - index - 1)) = window.KeyGet(a);
        changed = true;
    }
    if (changed) {
        while (s < count)
            result.push_back(curve.KeyGet(s++));
        curve.KeyModifyBegin();
        curve.KeyClear();
        curve.ResizeKeyBuffer((int)result.size());
        for (size_t k = 0; k < result.size(); ++k)
            curve.KeySet((int)k, result[k]);
        curve.KeyModifyEnd();
    }
    int hint = curve.KeyGetCount() - 1;
    for (size_t k = end; k < times.size(); ++k)
        curve.KeyInsert(times[k], &hint);
}

void RemoveMarkedKeys(VFCurve& curve, const std::vector<char>& removed) {
    int count = curve.KeyGetCount();
    int survivors = 0;
    for (int i = 0; i < count; ++i)
        survivors += removed[(size_t)i] ? 0 : 1;
    if (survivors == count) return;

    CurvePtr kept(NewCurveCopy(curve, false));
    kept->ResizeKeyBuffer(survivors);
    kept->KeyModifyBegin();
    int n = 0;
    for (int i = 0; i < count; ++i) {
        if (!removed[(size_t)i]) kept->KeySet(n++, curve.KeyGet(i));
    }
    // Left tangents go back once every neighbour is in place: an automatic side
    // is stored relative to the keys around it.
    n = 0;
    for (int i = 0; i < count; ++i) {
        if (removed[(size_t)i]) continue;
        if (n > 0 && removed[(size_t)i - 1]) kept->KeySetLeftTangentInfo(n, curve.KeyGetLeftTangentInfo(i));
        ++n;
    }
    kept->KeyModifyEnd();
    curve.CopyFrom(kept.get(), true);
}

}  // namespace oxa_filter
