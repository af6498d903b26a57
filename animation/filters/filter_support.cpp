#include "animation/filters/filter_support.h"

#include <algorithm>
#include <utility>

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

namespace {

// The removal through a second curve: the survivors are set into it (KeySet refuses a key not
// later than the one before), then it is copied back. Kept for curves whose surviving keys are
// not in strictly increasing time order, where those refusals shape the result.
void RemoveMarkedKeysThroughCopy(VFCurve& curve, const std::vector<char>& removed, int survivors) {
    const int count = curve.KeyGetCount();
    CurvePtr kept(NewCurveCopy(curve, false));
    kept->ResizeKeyBuffer(survivors);
    kept->KeyModifyBegin();
    int n = 0;
    for (int i = 0; i < count; ++i) {
        if (!removed[(size_t)i]) kept->KeySet(n++, curve.KeyGet(i));
    }
    n = 0;
    for (int i = 0; i < count; ++i) {
        if (removed[(size_t)i]) continue;
        if (n > 0 && removed[(size_t)i - 1]) kept->KeySetLeftTangentInfo(n, curve.KeyGetLeftTangentInfo(i));
        ++n;
    }
    kept->KeyModifyEnd();
    curve.CopyFrom(kept.get(), true);
}

}  // namespace

void RemoveMarkedKeys(VFCurve& curve, const std::vector<char>& removed) {
    int count = curve.KeyGetCount();
    int survivors = 0;
    bool ordered = true;
    VTime lastTime;
    for (int i = 0; i < count; ++i) {
        if (removed[(size_t)i]) continue;
        const VTime t = curve.KeyGetTime(i);
        if (survivors > 0 && !(lastTime < t)) ordered = false;
        lastTime = t;
        ++survivors;
    }
    if (survivors == count) return;
    if (!ordered) {
        RemoveMarkedKeysThroughCopy(curve, removed, survivors);
        return;
    }

    // The key after each removed run keeps the left side it had, read before anything moves: an
    // automatic side is stored relative to the keys around it.
    std::vector<std::pair<int, VFCurveTangentInfo>> lefts;
    int n = 0;
    for (int i = 0; i < count; ++i) {
        if (removed[(size_t)i]) continue;
        if (n > 0 && removed[(size_t)i - 1]) lefts.emplace_back(n, curve.KeyGetLeftTangentInfo(i));
        ++n;
    }

    // The survivors move down in place (each goes to a slot at or before its own), so no second
    // curve and no copy back are needed.
    curve.KeyModifyBegin();
    n = 0;
    for (int i = 0; i < count; ++i) {
        if (removed[(size_t)i]) continue;
        if (n != i) *curve.KeyGetPtr(n) = *curve.KeyGetPtr(i);
        ++n;
    }
    // The unused rest of the last block reads as empty keys, as fresh storage does.
    const int perBlock = VFCurve::eKeysPerBlock;
    const int blockEnd = survivors == 0 ? 0 : ((survivors - 1) / perBlock + 1) * perBlock;
    for (int i = survivors; i < blockEnd; ++i)
        *curve.KeyGetPtr(i) = VFCurveKey();
    curve.CallbackAddEvent(VFCurve::eEventKeyRemoved, 0);
    curve.CallbackAddEvent(VFCurve::eEventKeyRemoved, count - 1);
    // The inner bracket sets the count; the storage is large enough already, so the resize only
    // empties the candidate (also inside an outer bracket of the caller).
    curve.KeyModifyBegin();
    curve.KeyModifyEnd(survivors);
    curve.ResizeKeyBuffer(survivors);
    if (survivors > 0) {
        curve.CallbackAddEvent(VFCurve::eEventKeyAdded, 0);
        curve.CallbackAddEvent(VFCurve::eEventKeyAdded, survivors - 1);
    }
    for (const auto& left : lefts)
        curve.KeySetLeftTangentInfo(left.first, left.second);
    curve.CallbackAddEvent(VFCurve::eEventKeyOther, -1);
    curve.KeyModifyEnd();
}

}  // namespace oxa_filter
