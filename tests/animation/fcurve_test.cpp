#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <random>
#include <vector>

#include "animation/fcurve.h"
#include "base/vallocation_hook.h"

namespace {

VTime Sec(double seconds) {
    VTime t;
    t.SetSecondDouble(seconds);
    return t;
}

struct Recorder {
    std::vector<VFCurveEvent> events;
    static void Callback(VFCurve*, VFCurveEvent* event, void* data) {
        static_cast<Recorder*>(data)->events.push_back(*event);
    }
};

// A curve of linear keys at times 0, 1, 2 ... seconds with values 0, 10, 20 ...
VFCurve* MakeLinear(int count) {
    VFCurve* curve = VFCurve::Create();
    curve->ResizeKeyBuffer(count);
    for (int i = 0; i < count; ++i)
        curve->KeySet(i, Sec(i), 10.0f * i, VFCurveKey::eInterpolationLinear, 0);
    return curve;
}

TEST(FCurve, StorageGrowsInBlocksAndTableSteps) {
    int64_t before = VFCurve::GetKeyMemoryTotal();
    {
        VFCurve curve;
        EXPECT_TRUE(curve.IsStorageValid());
        for (int i = 0; i < 25; ++i)
            curve.KeyAppendFast(VTime(i), (float)i);
        // The table holds the blocks in use: a curve of a few keys pays for one pointer, not 64.
        int64_t oneBlock = VFCurve::GetKeyMemoryTotal() - before;
        EXPECT_EQ(oneBlock, (int64_t)(25 * sizeof(VFCurveKey) + sizeof(void*)));
        curve.KeyAppendFast(VTime(25), 25.0f);  // the 26th key takes a second block
        EXPECT_EQ(VFCurve::GetKeyMemoryTotal() - before,
                  oneBlock + (int64_t)(25 * sizeof(VFCurveKey) + sizeof(void*)));
        for (int i = 26; i < 1601; ++i)
            curve.KeyAppendFast(VTime(i), (float)i);
        // 1,601 keys: 65 blocks and a table of 128 pointers.
        EXPECT_EQ(VFCurve::GetKeyMemoryTotal() - before,
                  (int64_t)(65 * 25 * sizeof(VFCurveKey) + 128 * sizeof(void*)));
        EXPECT_TRUE(curve.IsStorageValid());
        for (int i = 0; i < 1601; ++i)
            ASSERT_EQ(curve.KeyGetValue(i), (float)i);
        // Removing most keys and shrinking gives the blocks and the table back.
        EXPECT_TRUE(curve.KeyRemoveRange(30, 1600));
        curve.KeyShrink();
        EXPECT_EQ(VFCurve::GetKeyMemoryTotal() - before,
                  (int64_t)(2 * 25 * sizeof(VFCurveKey) + 64 * sizeof(void*)));
        EXPECT_TRUE(curve.IsStorageValid());
        EXPECT_EQ(curve.KeyGetValue(29), 29.0f);
    }
    EXPECT_EQ(VFCurve::GetKeyMemoryTotal(), before);
}

// Key storage that cannot be had is reported by the growing operations, leaves the keys and the
// room as they were (blocks taken before the failing one are given back) and is counted; nothing
// ends the process.
TEST(FCurve, KeyStorageThatCannotBeHadChangesNothing) {
    const int64_t memoryBefore = VFCurve::GetKeyMemoryTotal();
    const unsigned long long failuresBefore = oxa_alloc::FailureCount();
    {
        VFCurve curve;
        for (int i = 0; i < 25; ++i)
            ASSERT_EQ(curve.KeyAppendFast(VTime(i), (float)i), i);
        const int64_t held = VFCurve::GetKeyMemoryTotal();

        oxa_alloc::Fail(0);
        EXPECT_EQ(curve.KeyAppendFast(VTime(100), 1.0f), -1);
        EXPECT_EQ(curve.KeyAdd(VTime(100), VFCurveKey()), -1);
        EXPECT_EQ(curve.KeyAdd(VTime(100)), -1);
        EXPECT_EQ(curve.KeyAppend(VTime(100), &curve, 0), -1);
        EXPECT_FALSE(curve.ResizeKeyBuffer(26));
        EXPECT_FALSE(curve.KeyModifyBegin(26));
        curve.KeyModifyEnd();
        // Three more blocks with room for one of them: that one is given back.
        oxa_alloc::Fail(2);
        EXPECT_FALSE(curve.ResizeKeyBuffer(100));
        oxa_alloc::Fail(-1);

        EXPECT_EQ(oxa_alloc::FailureCount() - failuresBefore, 7u);
        // The blocks are given back; only the table may have grown.
        EXPECT_LT(VFCurve::GetKeyMemoryTotal() - held, (int64_t)(25 * sizeof(VFCurveKey)));
        EXPECT_FALSE(curve.KeySetTCB(25, VTime(100), 1.0f)) << "no slot was made ready";
        EXPECT_EQ(curve.KeyGetCount(), 25);
        EXPECT_TRUE(curve.IsStorageValid());
        for (int i = 0; i < 25; ++i)
            ASSERT_EQ(curve.KeyGetValue(i), (float)i);
        // Keys added one by one take the blocks they fill and no more.
        VFCurve added;
        const int64_t emptyCurve = VFCurve::GetKeyMemoryTotal();
        for (int i = 0; i < 25; ++i)
            ASSERT_EQ(added.KeyAdd(VTime(i), VFCurveKey()), i);
        EXPECT_EQ(VFCurve::GetKeyMemoryTotal() - emptyCurve,
                  (int64_t)(25 * sizeof(VFCurveKey) + sizeof(void*)));
        // The curve works on once memory is there again.
        EXPECT_TRUE(curve.ResizeKeyBuffer(100));
        EXPECT_EQ(curve.KeyAppendFast(VTime(25), 25.0f), 25);
        EXPECT_TRUE(curve.IsStorageValid());
    }
    EXPECT_EQ(VFCurve::GetKeyMemoryTotal(), memoryBefore);
}

TEST(FCurve, KeyAddReplacesAtEqualTimeAndKeepsOrder) {
    VFCurve curve;
    VFCurveKey key;
    key.Set(VTime(0), 0.0f, VFCurveKey::eInterpolationLinear);
    // Insert out of order, across block boundaries.
    for (int i = 0; i < 60; ++i) {
        int t = (i * 37) % 60;
        key.SetValue((float)t);
        curve.KeyAdd(VTime(t * 100), key);
    }
    ASSERT_EQ(curve.KeyGetCount(), 60);
    for (int i = 0; i < 60; ++i) {
        ASSERT_EQ(curve.KeyGetTime(i), VTime(i * 100));
        ASSERT_EQ(curve.KeyGetValue(i), (float)i);
    }
    key.SetValue(-1.0f);
    int last = -1;
    EXPECT_EQ(curve.KeyAdd(VTime(3000), key, &last), 30);
    EXPECT_EQ(curve.KeyGetCount(), 60);
    EXPECT_EQ(curve.KeyGetValue(30), -1.0f);
    // Adding a key by time keeps the curve's value there.
    float value = curve.Evaluate(VTime(3050));
    int index = curve.KeyAdd(VTime(3050));
    EXPECT_EQ(index, 31);
    EXPECT_EQ(curve.KeyGetValue(31), value);
    EXPECT_EQ(curve.KeyGetInterpolation(31), VFCurveKey::eInterpolationCubic);
    EXPECT_EQ(curve.KeyGetTangentMode(31), VFCurveKey::eTangentAuto);
    // A key copied from another curve's key; no curve to copy from adds nothing.
    VFCurve source;
    key.SetValue(4.5f);
    source.KeyAdd(VTime(0), key);
    EXPECT_EQ(curve.KeyAdd(VTime(3075), &source, 0), 32);
    EXPECT_EQ(curve.KeyGetValue(32), 4.5f);
    EXPECT_EQ(curve.KeyAdd(VTime(3080), nullptr, 0), -1);
    EXPECT_EQ(curve.KeyGetCount(), 62);
}

TEST(FCurve, RandomEditsMatchASortedModel) {
    // Adds, removals and range removals across block boundaries against a plain sorted map.
    std::mt19937 rng(5);
    VFCurve curve;
    std::map<int64_t, float> model;
    VFCurveKey key;
    key.Set(VTime(0), 0.0f, VFCurveKey::eInterpolationLinear);
    for (int step = 0; step < 3000; ++step) {
        int op = (int)(rng() % 10);
        int n = curve.KeyGetCount();
        if (op < 6 || n < 2) {
            int64_t t = (int64_t)(rng() % 400);
            key.SetValue((float)step);
            curve.KeyAdd(VTime(t), key);
            model[t] = (float)step;
        } else if (op < 9) {
            int i = (int)(rng() % (unsigned)n);
            auto it = std::next(model.begin(), i);
            model.erase(it);
            ASSERT_TRUE(curve.KeyRemove(i));
        } else {
            int first = (int)(rng() % (unsigned)n), last = std::min(n - 1, first + (int)(rng() % 60));
            model.erase(std::next(model.begin(), first), std::next(model.begin(), last + 1));
            ASSERT_TRUE(curve.KeyRemoveRange(first, last));
            if (rng() % 4 == 0) curve.KeyShrink();
        }
        ASSERT_EQ(curve.KeyGetCount(), (int)model.size()) << step;
        ASSERT_TRUE(curve.IsStorageValid()) << step;
        int i = 0;
        for (const auto& entry : model) {
            ASSERT_EQ(curve.KeyGetTime(i).Get(), entry.first) << step;
            ASSERT_EQ(curve.KeyGetValue(i), entry.second) << step;
            ++i;
        }
    }
}

TEST(FCurve, KeySetChecksOrderAndGrowsTheCount) {
    VFCurve* curve = MakeLinear(3);
    Recorder recorder;
    curve->CallbackRegister(&Recorder::Callback, &recorder);
    VFCurveKey key = curve->KeyGet(1);
    key.SetTime(Sec(0));  // equal to the neighbour's
    EXPECT_FALSE(curve->KeySet(1, key));
    key.SetTime(Sec(2));
    EXPECT_FALSE(curve->KeySet(1, key));
    EXPECT_TRUE(recorder.events.empty());
    key.SetTime(Sec(1.5));
    EXPECT_TRUE(curve->KeySet(1, key));
    ASSERT_EQ(recorder.events.size(), 1u);
    EXPECT_EQ(recorder.events[0].mEventType, (unsigned)VFCurve::eEventKeyReplaced);
    // A slot past the end grows the count and reports the addition twice.
    recorder.events.clear();
    curve->ResizeKeyBuffer(4);
    key.SetTime(Sec(3));
    EXPECT_TRUE(curve->KeySet(3, key));
    EXPECT_EQ(curve->KeyGetCount(), 4);
    ASSERT_EQ(recorder.events.size(), 2u);
    EXPECT_EQ(recorder.events[0].mEventType, (unsigned)VFCurve::eEventKeyAdded);
    EXPECT_EQ(recorder.events[0].mKeyIndexStart, 3);
    // A slot that was never prepared is refused rather than written.
    EXPECT_FALSE(curve->KeySet(200, Sec(200), 1.0f));
    EXPECT_FALSE(curve->KeySetTCB(-1, Sec(200), 1.0f));
    delete curve;
}

TEST(FCurve, KeyRemoveKeepsTheNextLeftTangent) {
    VFCurve curve;
    curve.ResizeKeyBuffer(4);
    for (int i = 0; i < 4; ++i)
        curve.KeySet(i, Sec(i), (float)(i * i), VFCurveKey::eInterpolationCubic,
                     VFCurveKey::eTangentUserBreak, (float)i, -(float)i);
    // Left slope of key 2 is data 1 of key 1 (-1).
    EXPECT_EQ(curve.KeyGetLeftDerivative(2), -1.0f);
    EXPECT_TRUE(curve.KeyRemove(1));
    EXPECT_EQ(curve.KeyGetCount(), 3);
    EXPECT_EQ(curve.KeyGetTime(1), Sec(2));
    EXPECT_EQ(curve.KeyGetLeftDerivative(1), -1.0f);
    // Removing key 0 writes no tangent before the first key.
    EXPECT_TRUE(curve.KeyRemove(0));
    EXPECT_EQ(curve.KeyGetTime(0), Sec(2));
    EXPECT_FALSE(curve.KeyRemove(5));
    EXPECT_FALSE(curve.KeyRemove(-1));
    EXPECT_TRUE(curve.KeyRemove(1));
    // Removing the only key leaves its value as the default value.
    EXPECT_TRUE(curve.KeyRemove(0));
    EXPECT_EQ(curve.KeyGetCount(), 0);
    EXPECT_EQ(curve.GetDefaultValue(), 4.0f);
    EXPECT_EQ(curve.Evaluate(Sec(100)), 4.0f);
}

TEST(FCurve, BracketDeliversOneCombinedEvent) {
    VFCurve* curve = MakeLinear(12);
    Recorder recorder;
    curve->CallbackRegister(&Recorder::Callback, &recorder);
    unsigned counter = curve->GetKeyModificationCount();
    curve->KeyModifyBegin();
    curve->KeyModifyBegin();  // nested
    curve->KeySetValue(7, 1.0f);
    curve->KeySetValue(3, 1.0f);
    curve->KeyModifyEnd();
    curve->KeySetValue(9, 1.0f);
    EXPECT_TRUE(recorder.events.empty());
    curve->KeyModifyEnd();
    ASSERT_EQ(recorder.events.size(), 1u);
    EXPECT_EQ(recorder.events[0].mEventType, (unsigned)VFCurve::eEventKeyValue);
    EXPECT_EQ(recorder.events[0].mKeyIndexStart, 3);
    EXPECT_EQ(recorder.events[0].mKeyIndexStop, 9);
    EXPECT_EQ(recorder.events[0].mEventCount, 3);
    EXPECT_EQ(curve->GetKeyModificationCount(), counter + 3);

    // Curve-wide changes carry index -1 into the record.
    recorder.events.clear();
    curve->KeyModifyBegin();
    curve->KeySetTime(4, Sec(4.5));
    curve->SetPostExtrapolation(VFCurve::eExtrapolationRepetition);
    curve->KeySetSelected(2, true);
    curve->KeyModifyEnd();
    ASSERT_EQ(recorder.events.size(), 1u);
    EXPECT_EQ(recorder.events[0].mEventType,
              (unsigned)(VFCurve::eEventKeyTime | VFCurve::eEventKeyOther | VFCurve::eEventSelection));
    EXPECT_EQ(recorder.events[0].mKeyIndexStart, -1);
    EXPECT_EQ(recorder.events[0].mKeyIndexStop, 4);
    EXPECT_EQ(curve->GetModificationCount() >> 16, 1u);  // one selection change

    // Disabled callbacks record nothing at all.
    recorder.events.clear();
    curve->CallbackEnable(false);
    curve->SetDefaultValue(3.0f);
    EXPECT_EQ(curve->GetPendingEvent().mEventCount, 0);
    curve->CallbackEnable(true);
    // A change without echo: notify-now off, change, reset, notify-now on.
    curve->SetNotifyNow(false);
    curve->SetDefaultValue(4.0f);
    curve->CallbackResetEvent();
    curve->SetNotifyNow(true);
    EXPECT_TRUE(recorder.events.empty());
    // KeyAppendFast counts but does not notify.
    unsigned before = curve->GetKeyModificationCount();
    curve->KeyAppendFast(Sec(50), 1.0f);
    EXPECT_TRUE(recorder.events.empty());
    EXPECT_EQ(curve->GetKeyModificationCount(), before + 1);

    // Clearing reports the removal of 0 and of the old count; destruction reports 0x200 last.
    curve->KeyClear();
    ASSERT_EQ(recorder.events.size(), 1u);
    EXPECT_EQ(recorder.events[0].mEventType, (unsigned)VFCurve::eEventKeyRemoved);
    EXPECT_EQ(recorder.events[0].mKeyIndexStart, 0);
    EXPECT_EQ(recorder.events[0].mKeyIndexStop, 13);
    recorder.events.clear();
    delete curve;
    ASSERT_FALSE(recorder.events.empty());
    EXPECT_TRUE(recorder.events.back().mEventType & VFCurve::eEventDestroy);
}

TEST(FCurve, WeightAndVelocitySettersNotifyAndEmptyTheCandidate) {
    // Like every other key setter: one 0x8010 event for the key that holds the side's data, and
    // the candidate is gone. Key 1's left side lives in key 0, its right side in key 1.
    VFCurve* curve = VFCurve::Create();
    curve->ResizeKeyBuffer(3);
    for (int i = 0; i < 3; ++i)
        curve->KeySet(i, Sec(i), (float)i, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentUser, 1.0f,
                      1.0f);
    Recorder recorder;
    curve->CallbackRegister(&Recorder::Callback, &recorder);
    struct Setter {
        const char* name;
        int holder;
        void (*set)(VFCurve*);
    };
    const Setter setters[] = {
        {"KeySetLeftWeight", 0, [](VFCurve* c) { c->KeySetLeftWeight(1, 0.5f); }},
        {"KeySetRightWeight", 1, [](VFCurve* c) { c->KeySetRightWeight(1, 0.25f); }},
        {"KeySetLeftWeighted", 0, [](VFCurve* c) { c->KeySetLeftWeighted(1, false); }},
        {"KeySetRightWeighted", 1, [](VFCurve* c) { c->KeySetRightWeighted(1, false); }},
        {"KeySetLeftVelocity", 0, [](VFCurve* c) { c->KeySetLeftVelocity(1, 0.5f); }},
        {"KeySetRightVelocity", 1, [](VFCurve* c) { c->KeySetRightVelocity(1, -0.5f); }},
        {"KeySetLeftVelocityFlag", 0, [](VFCurve* c) { c->KeySetLeftVelocityFlag(1, false); }},
        {"KeySetRightVelocityFlag", 1, [](VFCurve* c) { c->KeySetRightVelocityFlag(1, false); }},
    };
    for (const Setter& setter : setters) {
        curve->CandidateEvaluate(Sec(0.5));
        ASSERT_TRUE(curve->IsCandidate());
        recorder.events.clear();
        setter.set(curve);
        EXPECT_FALSE(curve->IsCandidate()) << setter.name;
        ASSERT_EQ(recorder.events.size(), 1u) << setter.name;
        EXPECT_EQ(recorder.events[0].mEventType, (unsigned)VFCurve::eEventKeyOther) << setter.name;
        EXPECT_EQ(recorder.events[0].mKeyIndexStart, setter.holder) << setter.name;
        EXPECT_EQ(recorder.events[0].mKeyIndexStop, setter.holder) << setter.name;
    }
    // The values set on key 1 are the ones read back.
    curve->KeySetLeftWeight(1, 0.5f);
    curve->KeySetRightWeight(1, 0.25f);
    EXPECT_NEAR(curve->KeyGetLeftWeight(1), 0.5f, 1e-4);
    EXPECT_NEAR(curve->KeyGetRightWeight(1), 0.25f, 1e-4);
    delete curve;
}

TEST(FCurve, KeyModifyEndCountStaysWithinThePreparedStorage) {
    Recorder recorder;  // outlives the curve, which reports its destruction
    VFCurve curve;
    curve.CallbackRegister(&Recorder::Callback, &recorder);
    curve.KeyModifyBegin(10);  // one block: 25 slots
    curve.KeyModifyEnd(VFCurve::eKeysPerBlock + 1);
    EXPECT_EQ(curve.KeyGetCount(), 0) << "a count past the prepared slots is ignored";
    EXPECT_TRUE(curve.IsStorageValid());
    // The bracket is closed all the same.
    curve.SetDefaultValue(1.0f);
    EXPECT_EQ(recorder.events.size(), 1u);
    curve.KeyModifyBegin(10);
    curve.KeyModifyEnd(-1);
    EXPECT_EQ(curve.KeyGetCount(), 0);
    curve.KeyModifyBegin(10);
    curve.KeyModifyEnd(VFCurve::eKeysPerBlock);
    EXPECT_EQ(curve.KeyGetCount(), VFCurve::eKeysPerBlock) << "every prepared slot may be used";
    EXPECT_TRUE(curve.IsStorageValid());
}

TEST(FCurve, UnregisterRemovesTheLatestMatchingRegistration) {
    VFCurve curve;
    Recorder a, b;
    curve.CallbackRegister(&Recorder::Callback, &a);
    curve.CallbackRegister(&Recorder::Callback, &b);
    curve.CallbackRegister(&Recorder::Callback, &a);
    curve.CallbackUnregister(&Recorder::Callback, &a);
    curve.SetDefaultValue(1.0f);
    EXPECT_EQ(a.events.size(), 1u);
    EXPECT_EQ(b.events.size(), 1u);
    curve.CallbackUnregister(&Recorder::Callback, &a);
    curve.CallbackUnregister(&Recorder::Callback, &a);  // nothing left to remove: no effect
    curve.SetDefaultValue(2.0f);
    EXPECT_EQ(a.events.size(), 1u);
    EXPECT_EQ(b.events.size(), 2u);
    curve.CallbackUnregister(&Recorder::Callback, &b);
}

TEST(FCurve, ListenersThatLeaveDuringDeliveryHideNoOther) {
    // Each link drops its own registration when told of the destruction, as channel links do.
    struct Link {
        int destroyed = 0;
        static void Callback(VFCurve* curve, VFCurveEvent* event, void* data) {
            Link* link = static_cast<Link*>(data);
            if (event->mEventType & VFCurve::eEventDestroy) {
                ++link->destroyed;
                curve->CallbackUnregister(&Link::Callback, link);
            }
        }
    };
    Link links[5];
    VFCurve* curve = VFCurve::Create();
    for (Link& link : links)
        curve->CallbackRegister(&Link::Callback, &link);
    delete curve;
    for (const Link& link : links)
        EXPECT_EQ(link.destroyed, 1);
}

TEST(FCurve, ListenersKeepTheirOrderWhenOthersLeave) {
    static std::vector<int> heard;
    auto listen = [](VFCurve*, VFCurveEvent*, void* data) { heard.push_back(*static_cast<int*>(data)); };
    int ids[6] = {0, 1, 2, 3, 4, 5};
    VFCurve curve;
    for (int& id : ids)
        curve.CallbackRegister(listen, &id);
    // Leaving: the first, one from the middle, the last.
    curve.CallbackUnregister(listen, &ids[0]);
    curve.CallbackUnregister(listen, &ids[3]);
    curve.CallbackUnregister(listen, &ids[5]);
    curve.CallbackUnregister(listen, &ids[5]);  // no longer there: nothing changes
    curve.SetDefaultValue(1.0f);
    EXPECT_EQ(heard, (std::vector<int>{1, 2, 4}));
    heard.clear();
    curve.CallbackRegister(listen, &ids[0]);
    curve.CallbackUnregister(listen, &ids[1]);
    curve.CallbackUnregister(listen, &ids[2]);
    curve.SetDefaultValue(2.0f);
    EXPECT_EQ(heard, (std::vector<int>{4, 0}));
    curve.CallbackUnregister(listen, &ids[4]);
    curve.CallbackUnregister(listen, &ids[0]);
}

TEST(FCurve, CountAllAndSettings) {
    VFCurve* curve = MakeLinear(5);
    EXPECT_EQ(curve->KeyGetCountAll(), 5);
    curve->SetPreExtrapolationCount(2);
    curve->SetPostExtrapolationCount(1);
    EXPECT_EQ(curve->KeyGetCountAll(), 5 + 3 * 4);
    curve->SetPostExtrapolationCount(-1);  // unlimited: the count saturates
    EXPECT_EQ(curve->KeyGetCountAll(), INT_MAX);
    float rgb[3] = {0.1f, 0.2f, 0.3f};
    curve->SetColor(rgb);
    curve->SetColor(nullptr);
    EXPECT_EQ(curve->GetColor()[2], 0.3f);
    curve->SetOwnerTag(77);
    EXPECT_EQ(curve->GetOwnerTag(), 77u);
    EXPECT_EQ(VFCurve::GetTimeTolerance(), VTime(461861));
    delete curve;
}

}  // namespace
