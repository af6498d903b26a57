#ifndef OXA_ANIMATION_FCURVE_H
#define OXA_ANIMATION_FCURVE_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include <oxa/animation/fcurve_key.h>
#include <oxa/base/oxa_export.h>
#include <oxa/base/vtime.h>

class VFCurve;
class VFCurveNode;
class VOxa;

// The change record a curve delivers to its listeners: the OR of the event bits recorded since
// the last delivery, the smallest and largest key index they concern (-1 when any event was not
// about one key) and how many events were recorded.
struct OXA_API VFCurveEvent {
    unsigned mEventType = 0;
    int mKeyIndexStart = -1;
    int mKeyIndexStop = -1;
    int mEventCount = 0;
};

// A listener of a curve: called with the curve, the pending change record and the data given at
// registration. It may unregister itself or others, destroy the curve (or what holds it) and call
// any getter; an exception it throws stops at it (the next listener is still called). What it
// asks the manager to destroy, and the takes and channels it has removed, go once the library's
// work under way ends (VOxaSdkManager), so that work never meets them freed.
typedef void (*VFCurveCallback)(VFCurve* curve, VFCurveEvent* event, void* data);

// A function curve: keys in strictly increasing time order, a default value (the value of a
// curve without keys), pre- and post-extrapolation, a display colour, a candidate (one pending
// time/value pair) and change notification.
//
// Keys are stored by value in zero-filled blocks of 25 that never move; the block table grows in
// steps of 64 blocks (1,600 keys). Pointers to keys stay valid until the key count shrinks or the
// storage is cleared.
//
// Per-key operations take a key index and do not check it: callers keep 0 <= index < count (or,
// for the setters that grow the count, a slot made ready with ResizeKeyBuffer). Times are in
// ticks; slopes and derivatives are in value units per second.
//
// A curve is used by one thread at a time; listeners run synchronously on that thread.
class OXA_API VFCurve {
public:
    // Change events (CallbackAddEvent); the key index is -1 when a change is not about one key.
    enum : unsigned {
        eEventDefaultValue = 0x1,
        eEventSelection = 0x100,
        eEventDestroy = 0x200,
        eEventKeyAdded = 0x810,
        eEventKeyRemoved = 0x1010,
        eEventKeyValue = 0x2010,
        eEventKeyTime = 0x4010,
        eEventKeyOther = 0x8010,
        eEventKeyReplaced = 0xE010,
    };
    // Extrapolation modes; any other value holds the end key's value and is stored as "0".
    enum {
        eExtrapolationConstant = 1,
        eExtrapolationRepetition = 2,
        eExtrapolationMirrorRepetition = 3,
        eExtrapolationKeepSlope = 4,
    };
    // Zones of KeyGetIndexAll.
    enum {
        eZoneBefore = 0,
        eZonePre = 1,
        eZoneKeys = 2,
        eZonePost = 3,
        eZoneAfter = 4,
    };
    // Blocks of keys and the table step.
    enum { eKeysPerBlock = 25, eBlocksPerTableStep = 64, eKeysPerTableStep = 1600 };
    // The key version written by OxaStore.
    enum { eKeyVersion = 4004 };

    // ---- Lifecycle, bracket and notification -------------------------------------------------

    // A new empty curve (default value 0, white, constant extrapolation with count 0).
    static VFCurve* Create();
    VFCurve();
    // Clears the keys (with their events), delivers what is pending, raises eEventDestroy and
    // drops the listeners.
    virtual ~VFCurve();
    VFCurve(const VFCurve&) = delete;
    VFCurve& operator=(const VFCurve&) = delete;

    // Opens a modification bracket: changes are recorded but delivered only when the outermost
    // bracket closes. The counted form also makes room for `keyCount` keys and answers false
    // (the bracket still open) when that room could not be had.
    void KeyModifyBegin();
    bool KeyModifyBegin(int keyCount);
    // Closes a bracket; the outermost close empties the candidate and delivers the pending
    // record. The counted form first sets the key count (ignored when negative or beyond the
    // prepared slots).
    void KeyModifyEnd();
    void KeyModifyEnd(int keyCount);

    // Appends a listener (the same pair may be registered more than once).
    void CallbackRegister(VFCurveCallback callback, void* data);
    // Removes the latest registration of exactly this pair; nothing when there is none.
    void CallbackUnregister(VFCurveCallback callback, void* data);
    // Records an event about key `index` (-1: not about one key) and, unless a bracket is open,
    // delivers it at once to every listener in registration order. Does nothing while callbacks
    // are disabled. Also counts the change in the modification counter.
    void CallbackAddEvent(unsigned event, int index);
    // With callbacks disabled no change is recorded or counted at all.
    void CallbackEnable(bool enable) { mCallbacksEnabled = enable; }
    bool IsCallbackEnabled() const { return mCallbacksEnabled; }
    // The notify-now flag (false while a bracket is open). Setting it true delivers what is
    // pending. Owners use it to change a curve without echo: clear it, change, reset the pending
    // record, set it again.
    void SetNotifyNow(bool notifyNow);
    bool IsNotifyNow() const { return mNotifyNow; }
    // Drops the pending record without delivering it.
    void CallbackResetEvent();
    const VFCurveEvent& GetPendingEvent() const { return mPendingEvent; }

    // ---- Key storage --------------------------------------------------------------------------

    // Makes room for `keyCount` keys: grows the block table (in steps of 1,600 keys) and
    // allocates the blocks up to the one holding key keyCount - 1. The key count is not changed;
    // the candidate is emptied. A negative count does nothing. False when memory ran out: the
    // keys and the room are then as they were.
    bool ResizeKeyBuffer(int keyCount);
    // Frees the blocks past the last key and shrinks an oversized table; without keys frees all.
    void KeyShrink();
    // Removes every key and frees the storage; inside a bracket raises eEventKeyRemoved for 0 and
    // for the old count.
    void KeyClear();
    int KeyGetCount() const { return mKeyCount; }
    // The key in its block (no bounds check).
    VFCurveKey* KeyGetPtr(int index) { return mBlocks[index / eKeysPerBlock] + index % eKeysPerBlock; }
    const VFCurveKey* KeyGetPtr(int index) const {
        return mBlocks[index / eKeysPerBlock] + index % eKeysPerBlock;
    }
    VFCurveKey KeyGet(int index) const { return *KeyGetPtr(index); }
    // The number of keys including the extrapolation repetitions:
    // count + (pre count + post count) x (count - 1).
    int KeyGetCountAll() const;
    // True when the blocks up to the last needed (or last allocated) block are present and every
    // later one is absent, or when there is neither a table nor a key.
    bool IsStorageValid() const;
    // Bytes of key storage (blocks and block tables) held by all curves of the process.
    static int64_t GetKeyMemoryTotal();
    // The process-wide key-move time tolerance: 1e-5 second once a curve has been made, 0 before.
    static VTime GetTimeTolerance();

    // ---- Adding, setting and removing keys (each empties the candidate) -----------------------

    // Adds `key` at `time`. When a key already sits exactly at `time` it is replaced (KeySet) and
    // its index returned; otherwise later keys move up one slot, eEventKeyAdded is raised and the
    // new index is returned (and stored through `lastIndex` when given). -1 when the key could
    // not be placed (a replacement out of order, or no memory for one more key).
    int KeyAdd(VTime time, const VFCurveKey& key, int* lastIndex = nullptr);
    // Adds a cubic auto key (auto values 0) whose value is the curve's value at `time`: the
    // curve's value there does not change.
    int KeyAdd(VTime time, int* lastIndex = nullptr);
    // KeyAdd with a copy of `source`'s key `sourceIndex`.
    int KeyAdd(VTime time, const VFCurve* source, int sourceIndex, int* lastIndex = nullptr);
    // KeySet with a copy of `source`'s key `sourceIndex`.
    bool KeySet(int index, const VFCurve* source, int sourceIndex);
    // Copies `source`'s key to the end with time `time`, without order check; raises
    // eEventKeyAdded with the new index and returns it (-1, nothing changed, when memory ran out).
    int KeyAppend(VTime time, const VFCurve* source, int sourceIndex);
    // Bulk loading: writes a cubic auto key (auto values 0, weights 1/3) at the end, counts one
    // change but raises no event. Callers append in time order. Returns the index, or -1 (nothing
    // changed) when memory ran out.
    int KeyAppendFast(VTime time, float value);
    // Writes `key` into slot `index`. Fails when the key's time is not after key index-1's or not
    // before key index+1's, or when the slot was not prepared (ResizeKeyBuffer). An existing slot
    // raises eEventKeyReplaced; index >= count sets the count to index + 1 and raises
    // eEventKeyAdded for the old count and for index.
    bool KeySet(int index, const VFCurveKey& key);
    // Sets slot `index` through VFCurveKey::Set / SetTCB, without order check, with the events and
    // count growth of KeySet(index, key). False only for a slot that was not prepared.
    bool KeySet(int index, VTime time, float value, unsigned interpolation = VFCurveKey::eInterpolationCubic,
                unsigned tangentMode = VFCurveKey::eTangentAuto, float data0 = 0.0f, float data1 = 0.0f,
                unsigned weightMode = VFCurveKey::eWeightedNone, float data2 = kFCurveDefaultWeight,
                float data3 = kFCurveDefaultWeight, float data4 = 0.0f, float data5 = 0.0f);
    bool KeySetTCB(int index, VTime time, float value, float tension = 0.0f, float continuity = 0.0f,
                   float bias = 0.0f);
    // Removes key `index` keeping the left tangent of the key that follows it. Removing the only
    // key first makes its value the default value. False (nothing changed) when out of range.
    bool KeyRemove(int index);

    // ---- Per-key attributes through the curve (setters raise the event noted) ----------------

    // eEventKeyOther
    unsigned KeyGetInterpolation(int index) const { return KeyGetPtr(index)->GetInterpolation(); }
    void KeySetInterpolation(int index, unsigned interpolation);
    unsigned KeyGetConstantMode(int index) const { return KeyGetPtr(index)->GetConstantMode(); }
    void KeySetConstantMode(int index, unsigned mode);
    unsigned KeyGetTangentMode(int index) const { return KeyGetPtr(index)->GetTangentMode(); }
    void KeySetTangentMode(int index, unsigned mode);
    unsigned KeyGetTangentWeightMode(int index) const { return KeyGetPtr(index)->GetTangentWeightMode(); }
    void KeySetTangentWeightMode(int index, unsigned mode, unsigned mask = VFCurveKey::eWeightedAll);
    unsigned KeyGetTangentVelocityMode(int index) const { return KeyGetPtr(index)->GetTangentVelocityMode(); }
    void KeySetTangentVelocityMode(int index, unsigned mode, unsigned mask = VFCurveKey::eVelocityAll);
    float KeyGetDataFloat(int index, int dataIndex) const {
        return KeyGetPtr(index)->GetDataFloat(dataIndex);
    }
    void KeySetDataFloat(int index, int dataIndex, float value);
    float KeyGetDataRaw(int index, int dataIndex) const { return KeyGetPtr(index)->GetDataRaw(dataIndex); }
    void KeySetDataRaw(int index, int dataIndex, float value);
    float* KeyGetDataPtr(int index) { return KeyGetPtr(index)->GetDataPtr(); }
    void KeyMultDerivative(int index, float factor);
    bool KeyGetBreak(int index) const { return KeyGetPtr(index)->GetBreak(); }
    void KeySetBreak(int index, bool on);
    // eEventKeyValue
    float KeyGetValue(int index) const { return KeyGetPtr(index)->GetValue(); }
    void KeySetValue(int index, float value);
    void KeyIncValue(int index, float delta);
    void KeyMultValue(int index, float factor);
    // eEventKeyTime (no order check: see KeyMove)
    VTime KeyGetTime(int index) const { return KeyGetPtr(index)->GetTime(); }
    void KeySetTime(int index, VTime time);
    void KeyIncTime(int index, VTime delta);
    // eEventSelection
    bool KeyGetSelected(int index) const { return KeyGetPtr(index)->GetSelected(); }
    void KeySetSelected(int index, bool selected);
    unsigned KeyGetEditState(int index) const { return KeyGetPtr(index)->GetEditState(); }
    void KeySetEditState(int index, unsigned state);
    // No event.
    bool KeyGetMarked(int index) const { return KeyGetPtr(index)->GetMarked(); }
    void KeySetMarked(int index, bool marked) { KeyGetPtr(index)->SetMarked(marked); }

    // ---- Curve settings -------------------------------------------------------------------------

    float GetDefaultValue() const { return mDefaultValue; }
    // Raises eEventDefaultValue. On a curve without keys a changed default also empties the
    // candidate, which would otherwise still answer the old value.
    void SetDefaultValue(float value);
    // The three colour floats (red, green, blue).
    const float* GetColor() const { return mColor; }
    // Copies three floats; a null pointer changes nothing.
    void SetColor(const float* rgb);
    void SetColor(float red, float green, float blue);
    // Extrapolation modes and repetition counts; -1 is an unlimited count. Setters raise
    // eEventKeyOther with index -1.
    int GetPreExtrapolation() const { return mPreExtrapolation; }
    void SetPreExtrapolation(int mode);
    int GetPreExtrapolationCount() const { return mPreExtrapolationCount; }
    void SetPreExtrapolationCount(int count);
    int GetPostExtrapolation() const { return mPostExtrapolation; }
    void SetPostExtrapolation(int mode);
    int GetPostExtrapolationCount() const { return mPostExtrapolationCount; }
    void SetPostExtrapolationCount(int count);
    // A value kept for the curve's owner.
    unsigned GetOwnerTag() const { return mOwnerTag; }
    void SetOwnerTag(unsigned tag) { mOwnerTag = tag; }
    // Low 16 bits: key changes; high 16 bits: selection changes.
    unsigned GetModificationCount() const { return mModificationCount; }
    unsigned GetKeyModificationCount() const { return mModificationCount & 0xFFFF; }

    // ---- Evaluation ---------------------------------------------------------------------------
    // `lastIndex` is an in-out key-search hint; null uses the curve's own hint. Sequential calls
    // at increasing times cost one or two key comparisons.

    // The fractional key index of `time`: k + the proportion of the span from key k to k+1;
    // -0.5 before the first key, count - 0.5 after the last, -1 without keys.
    double KeyFind(VTime time, int* lastIndex = nullptr) const;
    // KeyFind after mapping `time` through the extrapolation settings.
    double KeyFindAll(VTime time, int* lastIndex = nullptr) const;
    // The value at fractional index `index` (clamped to the keys); the default value without keys.
    float EvaluateIndex(double index) const;
    // The value at `time`, extrapolation included.
    float Evaluate(VTime time, int* lastIndex = nullptr) const;
    // Evaluate at a time between the first and the last key, both included, for a caller that
    // holds their times while the keys stay as they are: the same value, without reading the end
    // keys (a pass over many curves at each time would wait on memory for them). Needs at least
    // two keys.
    float EvaluateInside(VTime time, int* lastIndex = nullptr) const;
    // Evaluate at each of `count` ascending times (in ticks) one after another, the values into
    // out[0], out[stride], ...: the values and the search position Evaluate gives, with the walk
    // from key to key kept in hand between the times, for a caller that samples a curve at many
    // frames in a row.
    void EvaluateAscending(const int64_t* times, int count, float* out, size_t stride,
                           int* lastIndex = nullptr) const;

    // Slopes on each side of key `index`.
    float KeyGetLeftDerivative(int index) const;
    float KeyGetRightDerivative(int index) const;
    // Auto values of each side of key `index` (a slope side is converted to its auto value).
    float KeyGetLeftAuto(int index) const;
    float KeyGetRightAuto(int index) const;

    // Weights by key side: the right side lives in the key, the left side in the key before.
    bool KeyIsLeftWeighted(int index) const;
    bool KeyIsRightWeighted(int index) const;
    float KeyGetLeftWeight(int index) const;
    float KeyGetRightWeight(int index) const;
    void KeySetLeftWeight(int index, float weight);
    void KeySetRightWeight(int index, float weight);
    void KeySetLeftWeighted(int index, bool weighted);
    void KeySetRightWeighted(int index, bool weighted);
    // Velocities by key side (0 when not set).
    bool KeyIsLeftVelocity(int index) const;
    bool KeyIsRightVelocity(int index) const;
    float KeyGetLeftVelocity(int index) const;
    float KeyGetRightVelocity(int index) const;
    void KeySetLeftVelocity(int index, float velocity);
    void KeySetRightVelocity(int index, float velocity);
    void KeySetLeftVelocityFlag(int index, bool on);
    void KeySetRightVelocityFlag(int index, bool on);

    // Derivatives from Bezier control values one third of the segment away.
    void KeySetRightBezierTangent(int index, float value);
    void KeySetLeftBezierTangent(int index, float value);
    float KeyGetRightBezierTangent(int index) const;
    float KeyGetLeftBezierTangent(int index) const;
    // Store a slope (or auto value) on one side; auto keys keep the matching auto value.
    void KeySetRightDerivative(int index, float derivative);
    void KeySetLeftDerivative(int index, float derivative);
    void KeySetRightAuto(int index, float autoValue);
    void KeySetLeftAuto(int index, float autoValue);
    // Add to the stored slope of a user-tangent side.
    void KeyIncRightDerivative(int index, float delta);
    void KeyIncLeftDerivative(int index, float delta);
    // Scales both derivatives of a user-tangent key.
    void KeyMultTangents(int index, float factor);

    // One side of a key's tangent as a whole (derivative, weight, velocity, auto value). Setting
    // an auto side stores the record's auto value, a user side its derivative. The first key
    // has no left side: setting it does nothing.
    VFCurveTangentInfo KeyGetLeftTangentInfo(int index) const;
    VFCurveTangentInfo KeyGetRightTangentInfo(int index) const;
    void KeySetLeftTangentInfo(int index, const VFCurveTangentInfo& info);
    void KeySetRightTangentInfo(int index, const VFCurveTangentInfo& info);

    // The slope of the curve just before / after `time` (0 outside the keys and with fewer than
    // two keys); weights are not used.
    float EvaluateLeftDerivative(VTime time, int* lastIndex = nullptr) const;
    float EvaluateRightDerivative(VTime time, int* lastIndex = nullptr) const;
    // Local extrema strictly inside the segment after key `index`; returns how many (0 to 2).
    int FindSegmentExtremaTimes(int index, VTime& time1, VTime& time2) const;
    int FindSegmentExtremaValues(int index, float& value1, float& value2) const;
    int FindSegmentExtrema(int index, VTime& time1, float& value1, VTime& time2, float& value2) const;

    // ---- Candidate ----------------------------------------------------------------------------

    // The stored value when `time` is the candidate's time; otherwise evaluates and stores.
    float CandidateEvaluate(VTime time, int* lastIndex = nullptr);
    bool CandidateClear();
    bool CandidateSet(VTime time, double value);
    bool IsCandidate() const { return mCandidateTime != VTIME_INFINITE; }
    float CandidateGet() const { return mCandidateValue; }
    VTime CandidateGetTime() const { return mCandidateTime; }
    // Turns the candidate into a key without bending the curve around it (a candidate within
    // `indexTolerance` of a key changes that key). A `time` other than the infinite time replaces
    // the candidate's time. False, with nothing changed, when there is no candidate. The key's
    // index goes to `lastIndex` when given.
    bool CandidateKey(int* lastIndex, unsigned interpolation = VFCurveKey::eInterpolationCubic,
                      unsigned tangentMode = VFCurveKey::eTangentAuto, bool tangentBreak = false,
                      bool setKeyType = true, VTime time = VTIME_INFINITE, double indexTolerance = 0.0);

    // ---- Copies and ranges --------------------------------------------------------------------

    // Takes the source's default value, colour, owner tag, candidate, extrapolation and, with
    // `withKeys`, its keys; without keys this curve's keys are cleared.
    void CopyFrom(const VFCurve* source, bool withKeys = true);
    // A new curve owned by the caller: a full copy for the whole time line, otherwise the
    // default value, owner tag, candidate and modification counter without keys.
    VFCurve* Copy(VTime start = VTIME_MINUS_INFINITE, VTime stop = VTIME_INFINITE) const;
    // Removes keys first..last (inclusive) keeping the tangent of the key that follows them;
    // removing all keys makes the first key's value the default value. False without keys.
    bool KeyRemoveRange(int first, int last);
    // Removes the keys strictly between `start` and `stop`. False without keys.
    bool KeyRemoveTimeRange(VTime start, VTime stop);
    // Replaces the keys of [start, stop] by the source's keys of that span, keeping the slopes
    // at the span's edges. The infinite times stand for the source's first and last key.
    void Replace(const VFCurve* source, VTime start, VTime stop, bool exactSpan = false,
                 bool keyOnNoKey = false);
    // Replace, adding `pasteOffset` to the pasted values (or offset - value when mirrored) and
    // `afterOffset` to the keys after the span; offsets of magnitude 1e-7 or less do nothing.
    void ReplaceWithOffsets(const VFCurve* source, VTime start, VTime stop, float pasteOffset,
                            float afterOffset, bool pasteMirror, bool afterMirror, bool exactSpan = false,
                            bool keyOnNoKey = false);
    // Replace, scaling the pasted values by a factor that runs from `startFactor` at start to
    // `endFactor` at stop.
    void ReplaceWithScale(const VFCurve* source, VTime start, VTime stop, float startFactor, float endFactor,
                          bool exactSpan = false, bool keyOnNoKey = false);

    // ---- Bulk editing -------------------------------------------------------------------------

    // Moves key `index` to `time`; a key that would reach or pass a neighbour changes places,
    // keeping the shape around both places (an exact collision is nudged later by the time
    // tolerance). Returns the key's new index.
    int KeyMove(int index, VTime time);
    // Moves every key (or every selected key) by `timeOffset` and `valueOffset`; without keys and
    // not selected-only, offsets the default value. True.
    bool KeyOffset(bool selectedOnly, VTime timeOffset, float valueOffset);
    // Adds a key at `time` without changing the curve's shape; returns the index of the key at
    // (or after) `time`.
    int KeyInsert(VTime time, int* lastIndex = nullptr);
    // Copies the keys of `source` into this curve, the source's first key landing at `time`,
    // with `leftTangent` as the left tangent of the first copied key.
    void KeyInsertCurve(const VFCurve* source, VTime time, const VFCurveTangentInfo& leftTangent);
    void KeyInsertCurve(const VFCurve* source, VTime time, float leftDerivative,
                        float leftWeight = kFCurveDefaultWeight, bool leftWeighted = false);
    // Values and derivatives of all (or of the selected) keys; the default value is touched
    // only when not selected-only (KeySetValueAll: only when there are no keys).
    void KeySetValueAll(bool selectedOnly, float value);
    void KeyMultValueAll(bool selectedOnly, float factor);
    void KeyMultValueAndDerivativeAll(bool selectedOnly, float factor);
    void KeyMultDerivativeAll(bool selectedOnly, float factor);
    // Selection and edit state of many keys.
    int KeyGetSelectionCount() const;
    void KeySelectAll();
    void KeyUnselectAll();
    void KeyClearEditStateAll();
    // Changes interpolation / tangent mode of all (or of the selected) keys, keeping the slopes.
    void KeySetInterpolationAll(bool selectedOnly, unsigned interpolation);
    void KeySetTangentModeAll(bool selectedOnly, unsigned tangentMode);
    // The keys as the sequence that extrapolation repeats (KeyGetCountAll of them): the real key
    // index of expanded index `expandedIndex` and its zone (eZone...), the key itself and the
    // time at which it stands in the sequence.
    int KeyGetIndexAll(int expandedIndex, int* zone = nullptr) const;
    VFCurveKey* KeyGetPtrAll(int expandedIndex);
    VTime KeyGetTimeAll(int expandedIndex) const;
    // Smallest, largest and average spacing of consecutive keys (infinite, 0 and infinite with
    // fewer than two keys).
    void KeyGetSpacing(VTime& average, VTime& smallest, VTime& largest) const;
    // KeyGetSpacing, and whether largest - smallest is within 1e-4 second.
    bool KeyIsRegular(VTime& average, VTime& smallest, VTime& largest) const;
    // A cubic auto key with both auto values 0 whose right side is not weighted.
    bool KeyIsDefaultAuto(int index) const;
    // Some key after the first is cubic, tangent mode exactly auto, with data 0 and 1 both 0.
    bool HasFlatAutoKey() const;
    // True, with the first key's time and the common spacing, when all keys have one
    // interpolation, cubic keys use auto tangents and spacings agree within one tick; otherwise
    // false with a period of 0.
    bool KeyGetPeriod(VTime& firstTime, VTime& period) const;

    // ---- Store and retrieve in OXA field files --------------------------------------------------

    // Writes "Default" and, unless `onlyDefault`, the keys and extrapolation blocks, then "Color"
    // when `storeColor` (and not only-default). `version5` writes auto keys as slopes. True.
    bool OxaStore(VOxa* oxa, bool onlyDefault = false, bool storeColor = true, bool version5 = false) const;
    // Reads the curve from the open "Default" field onward. False, with the curve left without
    // keys, for malformed key data (a count beyond the values present, a wrong value type, a
    // truncated field or an unknown key version).
    bool OxaRetrieve(VOxa* oxa, bool onlyDefault = false, bool readColor = true);
    // Opens "Default" and calls OxaRetrieve; false when there is no "Default" field.
    bool Retrieve(VOxa* oxa, bool onlyDefault = false, bool readColor = true);
    // Retrieves into `curve` (keys cleared first) or into a new curve when null. Null when there is
    // no "Default" field or the data are malformed (a curve created here is then destroyed).
    static VFCurve* CreateFromOxa(VOxa* oxa, VFCurve* curve = nullptr, bool onlyDefault = false,
                                  bool readColor = true);

private:
    // Helpers shared by the implementation files.
    void EmptyCandidate() {
        mCandidateTime = VTIME_INFINITE;
        mCandidateValue = 0.0f;
    }
    void KeyChanged(unsigned event, int index) {
        EmptyCandidate();
        CallbackAddEvent(event, index);
    }
    // Delivers the pending event; false when a listener destroyed the curve meanwhile, in which
    // case the caller must not touch the curve again.
    bool DeliverPending();
    // CallbackAddEvent that says whether the curve outlived the delivery.
    bool AddEventAlive(unsigned event, int index);
    // KeyModifyEnd that says whether the curve outlived the delivery.
    bool EndModifyAlive();
    int AllocatedKeySlots() const { return (mLastBlock + 1) * eKeysPerBlock; }
    void FreeStorage();
    void FreeBlocksPast(int lastNeeded);
    void InsertSlot(int index);
    void RemoveSlots(int first, int count);
    bool LeftSideIsAuto(int index) const;
    bool RightSideIsAuto(int index) const;
    float TcbRightSlope(int index, const VFCurveKey* params) const;
    float TcbLeftSlope(int index, const VFCurveKey* params) const;
    // The key search: -1 before the first key, count after the last, otherwise k with the
    // proportion of the span from key k to k+1 in `fraction` (0 exactly at key k).
    int KeyLocate(int64_t time, int* hint, double* fraction) const;
    // The last key in [lo, hi] before `time` (at it too when `inclusive`); key lo must qualify.
    int LastKeyBefore(int64_t time, int lo, int hi, bool inclusive) const;
    float EvaluateSegment(int index, double u) const;
    // One step of a forward walk from key `s` (at `ks`) to the key after it (at `kj`): when `t`
    // lies after key s and at or before key s + 1, the value at `t` into `value` and true (keys
    // a few steps ahead, from `ahead` when that is not null, are fetched on the way); otherwise
    // false.
    bool StepForward(int s, const VFCurveKey* ks, const VFCurveKey* kj, const VFCurveKey* ahead, int64_t t,
                     float* value) const;
    // The value at key `k` plus `fraction` of its segment as the key search answers them (-1:
    // before the first key, the count: after the last).
    float LocatedValue(int k, double fraction) const;
    // KeyLocate after mapping `time` through the extrapolation; a held end key is answered as
    // that key with fraction 0.
    int LocateAll(int64_t time, int* hint, double* fraction) const;
    void ReplaceImpl(const VFCurve* source, VTime start, VTime stop, bool exactSpan, bool keyOnNoKey,
                     int mode, float a, float b, bool pasteMirror, bool afterMirror);
    void MakeCandidateKey(VFCurveKey& key, VTime time, float value, unsigned interpolation,
                          unsigned tangentMode, bool tangentBreak) const;
    void SetAllKeysMode(bool selectedOnly, unsigned value, bool interpolation);
    bool RetrieveKeys(VOxa* oxa, int keyVersion, int keyCount);
    void ConvertOldKeys();

    float mColor[3];
    float mDefaultValue;
    unsigned mModificationCount;
    bool mNotifyNow;
    bool mCallbacksEnabled;
    int mModifyDepth;
    VFCurveKey** mBlocks;
    int mKeyCount;
    int mCapacity;
    int mLastBlock;
    int mTableReserve;  // pointers allocated in mBlocks (the table grows geometrically underneath)
    int mPreExtrapolation;
    int mPreExtrapolationCount;
    int mPostExtrapolation;
    int mPostExtrapolationCount;
    unsigned mOwnerTag;
    mutable int mLastIndex;
    VTime mCandidateTime;
    float mCandidateValue;
    VFCurveEvent mPendingEvent;
    struct Listener {
        VFCurveCallback mCallback;
        void* mData;
    };
    // The listeners in registration order. A curve nearly always has one or two (the property it
    // drives, a reference to it): those stay in the curve, more go to the heap.
    class ListenerList {
    public:
        size_t size() const { return mCount; }
        Listener& operator[](size_t i) { return i < kInline ? mInline[i] : mMore[i - kInline]; }
        void push_back(const Listener& listener) {
            if (mCount < kInline)
                mInline[mCount] = listener;
            else
                mMore.push_back(listener);
            ++mCount;
        }
        void erase(size_t i) {
            for (; i + 1 < mCount; ++i)
                (*this)[i] = (*this)[i + 1];
            if (--mCount >= kInline) mMore.pop_back();
        }
        void clear() {
            mCount = 0;
            mMore.clear();
        }

    private:
        static constexpr size_t kInline = 2;
        Listener mInline[kInline] = {};
        std::vector<Listener> mMore;
        size_t mCount = 0;
    };
    ListenerList mListeners;
    int mDeliveryIndex;  // the listener being called, -1 outside a delivery
    // One per delivery in progress (innermost first): the destructor marks them all, so that a
    // delivery whose listener destroyed the curve stops at once.
    struct DeliveryGuard {
        bool mAlive;
        DeliveryGuard* mOuter;
    };
    DeliveryGuard* mDeliveryGuard = nullptr;
    bool mDestroying = false;  // the destroy event went out: later changes are not announced
};

// ---- Tangent arithmetic ----------------------------------------------------------------------
// An auto-tangent key keeps auto values instead of slopes: 0 gives the mean of the incoming slope
// p and the outgoing slope q, +100 the slope of the segment on the same side, -100 the other
// one's; beyond +-100 the blend extrapolates, and beyond +-500 a quadratic overshoot is added.

// The incoming (p) and outgoing (q) segment slopes at key `index`; at the first key p = q, at the
// last q = p; 0 for a curve with fewer than two keys.
OXA_API void VFCurveGetKeySlopes(double& p, double& q, const VFCurve* curve, int index);
OXA_API double AutoValueBlend(double autoValue, double a, double c);
OXA_API double SignedSquare(double x, double s);
OXA_API double AutoValueOvershootUp(double autoValue, double a, double c);
OXA_API double AutoValueOvershootUpStrict(double autoValue, double a, double c);
OXA_API double AutoValueOvershootDown(double autoValue, double a, double c);
OXA_API double AutoValueOvershootDownStrict(double autoValue, double a, double c);
OXA_API void AutoValueToLeftDerivative(double& derivative, double autoValue, double p, double q);
OXA_API void AutoValueToRightDerivative(double& derivative, double autoValue, double p, double q);
// Inverses; a wanted derivative below 1e-5 in magnitude is set to 0 in the caller's variable.
OXA_API void LeftDerivativeToAutoValue(double& autoValue, double& derivative, double p, double q);
OXA_API void RightDerivativeToAutoValue(double& autoValue, double& derivative, double p, double q);
OXA_API void AutoValuesToDerivatives(double& leftDerivative, double& rightDerivative, double leftAuto,
                                     double rightAuto, double p, double q);
OXA_API void DerivativesToAutoValues(double& leftAuto, double& rightAuto, double leftDerivative,
                                     double rightDerivative, double p, double q);
// The same with the slopes taken at key `index` of `curve`; a curve without keys gives 0.
OXA_API void VFCurveAutoValueToLeftDerivative(double& derivative, double autoValue, const VFCurve* curve,
                                              int index);
OXA_API void VFCurveAutoValueToRightDerivative(double& derivative, double autoValue, const VFCurve* curve,
                                               int index);
OXA_API void VFCurveLeftDerivativeToAutoValue(double& autoValue, double derivative, const VFCurve* curve,
                                              int index);
OXA_API void VFCurveRightDerivativeToAutoValue(double& autoValue, double derivative, const VFCurve* curve,
                                               int index);
OXA_API void VFCurveAutoValuesToDerivatives(double& leftDerivative, double& rightDerivative, double leftAuto,
                                            double rightAuto, const VFCurve* curve, int index);
OXA_API void VFCurveDerivativesToAutoValues(double& leftAuto, double& rightAuto, double leftDerivative,
                                            double rightDerivative, const VFCurve* curve, int index);

// A curve evaluated at many times (mostly increasing) while its keys stay as they are, as a writer
// samples a take: the same values as VFCurve::Evaluate with a search hint of its own, but the end
// keys' times are read once instead of at every time. Null curve: every value is 0.
class OXA_API VFCurveSampler {
public:
    VFCurveSampler() = default;
    explicit VFCurveSampler(const VFCurve* curve) { Reset(curve); }
    void Reset(const VFCurve* curve) {
        mCurve = curve;
        mHint = 0;
        const int keys = curve ? curve->KeyGetCount() : 0;
        mInside = keys > 1;
        if (mInside) {
            mFirst = curve->KeyGetTime(0).Get();
            mLast = curve->KeyGetTime(keys - 1).Get();
        }
    }
    const VFCurve* GetCurve() const { return mCurve; }
    float Evaluate(VTime time) {
        if (!mCurve) return 0.0f;
        const int64_t t = time.Get();
        if (mInside && t >= mFirst && t <= mLast) return mCurve->EvaluateInside(time, &mHint);
        return mCurve->Evaluate(time, &mHint);
    }

private:
    const VFCurve* mCurve = nullptr;
    bool mInside = false;
    int mHint = 0;
    int64_t mFirst = 0;
    int64_t mLast = 0;
};

// True when the curve-node tree from `node` (and, with `includeLayers`, its layers) holds at
// least one key and every key's interpolation shares a bit with `interpolationMask`.
OXA_API bool VFCurveNodeHasOnlyInterpolation(VFCurveNode* node, unsigned interpolationMask,
                                             bool includeLayers);

#endif  // OXA_ANIMATION_FCURVE_H
