#ifndef OXA_ANIMATION_FILTERS_FCURVE_FILTER_H
#define OXA_ANIMATION_FILTERS_FCURVE_FILTER_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/verror.h>
#include <oxa/base/vtime.h>

class VFCurve;
class VFCurveNode;

// The base of every operation that rewrites the keys of function curves in
// bulk. A filter is a short-lived object: the caller builds it, sets its
// options and span, calls one Apply on a curve, an array of curves or a
// curve-node tree, reads the answer and the last error, and destroys it.
// Filters own nothing they are given.
//
// The span (start, stop) limits the keys a filter works on; minus infinity ..
// plus infinity after Reset. Errors are reported through the filter's own
// VError over its message table: the id indexes the table while the text is the
// filter's own sentence. A successful Apply does not clear the last error.
class OXA_API VFCurveFilter {
public:
    // Stores the name (a static text), sets the span to 0 .. 0 and builds the
    // error object over `messageCount` texts of `messages` (id -1, empty text).
    // Derived constructors call Reset.
    VFCurveFilter(const char* name, const char* const* messages, int messageCount);
    virtual ~VFCurveFilter();

    VFCurveFilter(const VFCurveFilter&) = delete;
    VFCurveFilter& operator=(const VFCurveFilter&) = delete;

    // Whether applying would change anything. The base answers true; the default
    // array and node forms still ask every curve (and, recursively, every child)
    // on the way.
    virtual bool NeedApply(VFCurve& curve);
    virtual bool NeedApply(VFCurve** curves, int count);
    virtual bool NeedApply(VFCurveNode& node, bool recursive);

    // Runs the filter. Each answers true on success; on failure false with the
    // error set.
    virtual bool Apply(VFCurve& curve) = 0;
    virtual bool Apply(VFCurve** curves, int count) = 0;
    virtual bool Apply(VFCurveNode& node, bool recursive) = 0;

    // Puts the span back to minus infinity .. plus infinity; derived filters also
    // restore their options.
    virtual void Reset();

    // Called by long-running filters with the two ends of the part just done;
    // does nothing here.
    virtual void Progress(VTime start, VTime stop);

    const char* GetName() const { return mName; }
    VTime GetStartTime() const { return mStart; }
    void SetStartTime(VTime time) { mStart = time; }
    VTime GetStopTime() const { return mStop; }
    void SetStopTime(VTime time) { mStop = time; }

    // The first key index inside the span: -1 for a curve without keys; else the
    // larger of 0 and the whole part of the key position of max(start, first key
    // time).
    int GetStartKeyIndex(VFCurve& curve) const;
    // The last key index inside the span: -1 for a curve without keys; else the
    // smaller of count - 1 and the whole part of the key position of min(stop,
    // last key time).
    int GetStopKeyIndex(VFCurve& curve) const;

    VError& GetError() { return mError; }
    int GetLastErrorID() const { return mError.GetLastErrorID(); }
    const char* GetLastErrorString() const { return mError.GetLastErrorString().Buffer(); }

    // --- Utilities over curves (no filter object needed) ---

    // True when both curves have the same default value, key count, key times,
    // values, interpolations and, for cubic keys, tangent modes and tangent data
    // (within 2.22e-16).
    static bool AreCurvesEqual(VFCurve& a, VFCurve& b);
    // The OR of the interpolations of every key in `mask`. A curve without keys
    // reports status error 0 and answers false; mixed interpolations report
    // status error 1 (answer still true).
    static bool HasSingleInterpolation(unsigned& mask, VFCurve& curve);
    // The same over the tangent modes (status error 1 for mixed modes).
    static bool HasSingleTangentMode(unsigned& mask, VFCurve& curve);
    // Counts the keys by type: constant, linear, cubic auto, cubic auto broken,
    // cubic user, cubic user broken, cubic TCB. Other combinations are not
    // counted. Always true.
    static bool GetKeyTypeStatistics(VFCurve& curve, int counters[7]);
    // Gives every key of the tree (children first, then the node's own curve) the
    // interpolation and the tangent mode.
    static void SetKeyTypesRecursive(unsigned interpolation, unsigned tangentMode, VFCurveNode& node);
    // Makes `destination` a copy of `source` in which every key has the
    // interpolation (and, for cubic, the tangent mode): segments of other types
    // are sampled every `period`.
    static void ConvertKeyTypes(VFCurve& source, VFCurve& destination, unsigned interpolation,
                                unsigned tangentMode, VTime period);
    // Replaces the keys of `destination` by samples of `source` at start, start +
    // period, ... up to stop (and at stop itself with addLastKey when the span is
    // not a whole number of periods). Nothing happens for stop <= start, period
    // <= 0, or more than 2^24 samples (a span no real take needs).
    static void ResampleCurve(VFCurve& source, VFCurve& destination, VTime start, VTime stop, VTime period,
                              unsigned interpolation, unsigned tangentMode, bool addLastKey);
    // As ResampleCurve, each sample taking its key type (and, for user tangents,
    // its slopes) from the source key it falls on or after.
    static void ResampleCurveKeepingKeyTypes(VFCurve& source, VFCurve& destination, VTime start, VTime stop,
                                             VTime period, bool addLastKey);
    // Replaces the keys of the curve between start and stop by cubic auto samples
    // of itself every `period`. Infinite ends become the first and last key
    // times; with align a start that is not a multiple of the period moves to the
    // next multiple, except a start before the end of the first period, which stays.
    static void ResampleCurveInPlace(VFCurve& curve, VTime period, VTime start, VTime stop, bool align);
    // Writes into destination the base curve with its keys inside the span
    // curve's key range replaced by the span curve's keys; user-tangent slopes
    // are carried across the two seams. destination must be neither base nor
    // span.
    static void SpliceCurve(VFCurve& base, VFCurve& span, VFCurve& destination);
    // First key time minus `time` when the curve starts after `time`, else 0.
    static VTime GetStartGap(VFCurve& curve, VTime time);
    // Last key time minus `time` (negative) when the curve ends before `time`,
    // else 0.
    static VTime GetStopGap(VFCurve& curve, VTime time);

    // The process-wide status error of the utilities ("No key", "Multiple
    // interpolation or tangeants types", "Multiple key count", "Unsynched keys",
    // "Left unchanged").
    static VError& GetStatusError();
    static int GetStatusErrorID();
    static const char* GetStatusErrorString();

protected:
    // Apply on every child (when recursive), then on the node's own curve; always
    // true.
    bool ApplyNodeDefault(VFCurveNode& node, bool recursive);
    // Apply on every curve of the array in order; always true.
    bool ApplyArrayDefault(VFCurve** curves, int count);

    const char* mName;
    VTime mStart;
    VTime mStop;
    VError mError;
};

#endif  // OXA_ANIMATION_FILTERS_FCURVE_FILTER_H
