// Curve-node events, locking and candidate snapshots.
#include <gtest/gtest.h>

#include <new>

#include <string>
#include <vector>

#include "animation/fcurve_node.h"
#include "base/vallocation_hook.h"
#include "fcurve_node_test_util.h"

using namespace fcn_test;

namespace {

struct Call {
    std::string who;
    unsigned events;
    int count;
};

struct Listener {
    std::string name;
    std::vector<Call>* calls;
    static void Callback(VFCurveNode*, VFCurveNodeCallbacks* record, void* object) {
        Listener* self = static_cast<Listener*>(object);
        self->calls->push_back({self->name, record->mEvents, record->mEventCount});
    }
};

}  // namespace

TEST(FCurveNodeEvents, DeliveryOrderAndPendingEvents) {
    std::vector<Call> calls;
    Listener a{"A", &calls}, b{"B", &calls};
    VFCurveNode* node = Vector3Node("T", "Lcl Translation", 1);
    VFCurveNode* warp = VFCurveNode::CreateFromName("W", VDataType::Find("TimeWarp"));
    node->CallbackAdd(&Listener::Callback, &a);
    node->CallbackAdd(&Listener::Callback, &b);

    // Delivery on: newest registration first.
    node->SetSelected(true);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].who, "B");
    EXPECT_EQ(calls[1].who, "A");
    EXPECT_EQ(calls[0].events, (unsigned)eFCURVENODE_EVENT_SELECTION);
    EXPECT_TRUE(node->GetSelected());
    calls.clear();

    // Delivery off: events pile up, then go out once, oldest registration first.
    EXPECT_TRUE(node->CallbackEnable(false));
    EXPECT_FALSE(node->IsCallbackEnabled());
    node->Get(0)->FCurveReplace(VFCurve::Create());  // the child's event, not the node's
    node->FCurveSet(VFCurve::Create());
    node->SetTimeWarp(warp);
    node->CreateLayerAt(1);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(node->GetCallbacks()->mEvents, 28u);
    EXPECT_EQ(node->GetCallbacks()->mEventCount, 3);
    EXPECT_TRUE(node->CallbackEnable(true));
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].who, "A");
    EXPECT_EQ(calls[0].events, 28u);
    EXPECT_EQ(calls[0].count, 3);
    EXPECT_EQ(node->GetCallbacks()->mEventCount, 0);
    calls.clear();

    // Cleared pending events are not delivered.
    node->CallbackEnable(false);
    node->SetSelected(false);
    node->CallbackClear();
    node->CallbackEnable(true);
    EXPECT_TRUE(calls.empty());

    // The destructor fires 2 first.
    node->CallbackRemove(&Listener::Callback, &a);
    delete node;
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].who, "B");
    EXPECT_EQ(calls[0].events, (unsigned)eFCURVENODE_EVENT_DESTROY);
}

TEST(FCurveNodeEvents, UpdateIdAndRecordLifetime) {
    std::vector<Call> calls;
    Listener a{"A", &calls};
    VFCurveNode node("N", "N", nullptr, 0, 0);
    node.SetSelected(true);
    node.FCurveSet(VFCurve::Create());
    EXPECT_EQ(node.GetUpdateId(), 0);  // never registered: nothing counts

    node.CallbackAdd(&Listener::Callback, &a);
    node.CallbackAdd(&Listener::Callback, &a);
    node.SetSelected(false);
    EXPECT_EQ(node.GetUpdateId(), 1);
    EXPECT_EQ(calls.size(), 2u);
    // Only the later of two equal registrations goes.
    node.CallbackRemove(&Listener::Callback, &a);
    node.SetSelected(true);
    EXPECT_EQ(calls.size(), 3u);
    node.CallbackRemove(&Listener::Callback, &a);
    // The empty record lives on and counts.
    node.SetSelected(false);
    EXPECT_EQ(node.GetUpdateId(), 3);
    EXPECT_NE(node.GetCallbacks(), nullptr);
    node.CallbackRemove(&Listener::Callback, &a);
    EXPECT_EQ(node.GetCallbacks(), nullptr);
    node.SetSelected(true);
    EXPECT_EQ(node.GetUpdateId(), 3);
    EXPECT_EQ(calls.size(), 3u);
    EXPECT_TRUE(node.IsCallbackEnabled());
}

TEST(FCurveNodeEvents, LockingCoversChildrenAndLayers) {
    VFCurveNode* node = Vector3Node("T", "Lcl Translation", 1);
    node->CreateLayerAt(1);
    node->LockAccess();
    node->LockAccess();
    EXPECT_TRUE(node->IsLocked());
    EXPECT_EQ(node->Get(2)->GetAccessLock(), 2);
    EXPECT_EQ(node->GetNextLayer()->Get(1)->GetAccessLock(), 2);
    EXPECT_FALSE(node->Get(0)->SetPreExtrapolation(2, true));
    node->UnlockAccess();
    node->UnlockAccess();
    node->UnlockAccess();  // never below zero
    EXPECT_FALSE(node->GetNextLayer()->IsLocked());
    EXPECT_TRUE(node->Get(0)->SetPreExtrapolation(2, true));
    // Copies take the lock count.
    node->LockAccess();
    VFCurveNode* copy = node->Copy(false, false, true);
    EXPECT_TRUE(copy->Get(1)->IsLocked());
    delete copy;
    delete node;
}

TEST(FCurveNodeEvents, CandidateSnapshotsRestore) {
    VFCurveNode* node = Vector3Node("T", "Lcl Translation", 1, 1, 2, 3);
    node->CreateLayerAt(2);
    double total[3] = {4, 5, 6};
    node->Get(0)->FCurveReplace(LinearCurve({{0, 0}, {1, 1}}));
    node->CandidateSet(Sec(0.5), total);
    double layerValues[3] = {7, 8, 9};
    node->CandidateSetSpecific(Sec(0.5), layerValues, 2);

    VFCurveNodeCandidateState state;
    node->GetCandidateState(&state);
    EXPECT_EQ(state.mTotalCandidateMethod, 2);
    EXPECT_EQ(state.mCandidateTotalValue[1], 5.0);
    ASSERT_NE(state.mSubStates[1], nullptr);
    EXPECT_EQ(state.mSubStates[1]->mFCurveValue, 5.0);  // keyless Y took the total as its default
    ASSERT_NE(state.mLayerState, nullptr);
    EXPECT_EQ(state.mLayerState->mLayerID, 2);
    EXPECT_EQ(state.mLayerState->mSubStates[2]->mCandidateSpecificValue, 9.0);
    VFCurveNode::CandidateDebugPrint(&state);

    // Change everything, add a layer, then restore.
    node->CandidateClear(0, true);
    double other[3] = {0, 0, 0};
    node->SetDefaultValues(other);
    node->CreateLayerAt(5);
    node->SetCandidateState(&state, true);
    EXPECT_EQ(node->GetLayer(5), nullptr);
    EXPECT_TRUE(node->IsCandidateTotalValid());
    double v[3];
    node->CandidateTotalGet(v);
    EXPECT_EQ(v[2], 6.0);
    EXPECT_EQ(node->Get(1)->FCurveGet()->GetDefaultValue(), 5.0f);
    VFCurve* layerZ = node->GetLayer(2)->Get(2)->FCurveGet();
    EXPECT_TRUE(layerZ->IsCandidate());
    EXPECT_EQ(layerZ->CandidateGet(), 9.0f);
    EXPECT_EQ(layerZ->CandidateGetTime(), Sec(0.5));

    // A second snapshot into the same record replaces its sub-records.
    node->GetCandidateState(&state);
    VFCurveNode::FreeCandidateState(&state);
    EXPECT_EQ(state.mSubStates[0], nullptr);
    EXPECT_EQ(state.mLayerState, nullptr);
    delete node;

    // Only four children are recorded.
    VFCurveNode wide("Wide", "Wide", nullptr, 0, 0);
    for (int i = 0; i < 6; ++i)
        wide.FindOrCreate(std::to_string(i).c_str(), true);
    VFCurveNodeCandidateState wideState;
    wide.GetCandidateState(&wideState);
    EXPECT_NE(wideState.mSubStates[3], nullptr);
    wide.SetCandidateState(&wideState);
}

// Callbacks and listeners that act on their owner while they are called: the delivery goes on
// without touching freed memory and ends.
namespace {

struct SelfRemover {
    int calls = 0;
    bool freeRecord = false;
    static void Callback(VFCurveNode* node, VFCurveNodeCallbacks*, void* object) {
        SelfRemover* self = static_cast<SelfRemover*>(object);
        ++self->calls;
        node->CallbackRemove(&SelfRemover::Callback, self);
        if (self->freeRecord) node->CallbackRemove(&SelfRemover::Callback, self);
    }
};

struct NodeKiller {
    VFCurveNode* node = nullptr;
    int calls = 0;
    static void Callback(VFCurveNode*, VFCurveNodeCallbacks*, void* object) {
        NodeKiller* self = static_cast<NodeKiller*>(object);
        ++self->calls;
        VFCurveNode* doomed = self->node;
        self->node = nullptr;
        delete doomed;
    }
    static void CurveListener(VFCurve*, VFCurveEvent*, void* object) { Callback(nullptr, nullptr, object); }
};

struct KeyOnDestroy {
    int destroys = 0;
    static void Listener(VFCurve* curve, VFCurveEvent* event, void* object) {
        KeyOnDestroy* self = static_cast<KeyOnDestroy*>(object);
        if (!(event->mEventType & VFCurve::eEventDestroy)) return;
        ++self->destroys;
        VTime time;
        time.SetSecondDouble(self->destroys);
        curve->KeyAdd(time);
    }
};

}  // namespace

TEST(FCurveNodeEvents, CallbacksMayRemoveThemselvesOrDestroyTheirNode) {
    // A callback that removes itself and then frees the record, on the destroy event.
    {
        SelfRemover a, b;
        b.freeRecord = true;
        VFCurveNode* node = new VFCurveNode("N", "N", nullptr, 0, 0);
        node->CallbackAdd(&SelfRemover::Callback, &a);
        node->CallbackAdd(&SelfRemover::Callback, &b);
        delete node;
        EXPECT_EQ(a.calls, 1);
        EXPECT_EQ(b.calls, 1);
    }
    // The same on an ordinary event; the record goes when the delivery ends.
    {
        SelfRemover a;
        a.freeRecord = true;
        VFCurveNode node("N", "N", nullptr, 0, 0);
        node.CallbackAdd(&SelfRemover::Callback, &a);
        node.SetSelected(true);
        EXPECT_EQ(a.calls, 1);
        EXPECT_EQ(node.GetCallbacks(), nullptr);
        node.SetSelected(false);
        EXPECT_EQ(a.calls, 1);
    }
    // Pending events delivered by CallbackEnable, oldest first, to callbacks removing themselves:
    // each is called once, none is skipped.
    {
        SelfRemover a, b, c;
        c.freeRecord = true;
        VFCurveNode node("N", "N", nullptr, 0, 0);
        node.CallbackAdd(&SelfRemover::Callback, &a);
        node.CallbackAdd(&SelfRemover::Callback, &b);
        node.CallbackAdd(&SelfRemover::Callback, &c);
        node.CallbackEnable(false);
        node.SetSelected(true);
        EXPECT_TRUE(node.CallbackEnable(true));
        EXPECT_EQ(a.calls + b.calls + c.calls, 3);
        EXPECT_EQ(node.GetCallbacks(), nullptr);
    }
    // A callback that destroys the node it is told about; the later callbacks are not called on
    // the destroyed node, but the destroy event reaches them.
    {
        NodeKiller killer;
        std::vector<Call> calls;
        Listener later{"L", &calls};
        killer.node = new VFCurveNode("N", "N", nullptr, 0, 0);
        killer.node->CallbackAdd(&Listener::Callback, &later);
        killer.node->CallbackAdd(&NodeKiller::Callback, &killer);
        killer.node->SetSelected(true);
        EXPECT_EQ(killer.calls, 2);  // the selection, then the destroy it caused
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_TRUE(calls[0].events & eFCURVENODE_EVENT_DESTROY);
    }
}

TEST(FCurveNodeEvents, CurveListenersMayDestroyOrChangeTheCurve) {
    // A listener that destroys the curve's node while a key is being added.
    {
        NodeKiller killer;
        killer.node = new VFCurveNode("N", "N", nullptr, 0, 0);
        VFCurve* curve = VFCurve::Create();
        killer.node->FCurveSet(curve);
        curve->CallbackRegister(&NodeKiller::CurveListener, &killer);
        VTime time;
        time.SetSecondDouble(1.0);
        curve->KeyAdd(time);
        EXPECT_EQ(killer.node, nullptr);
        EXPECT_GE(killer.calls, 1);
    }
    // Listeners and callbacks that throw: the exception stops at them, the others are still
    // called, and the curve and the node are whole afterwards (destroying them touches no
    // bookkeeping of the delivery that was left).
    {
        struct Thrower {
            int calls = 0;
            static void Listener(VFCurve*, VFCurveEvent*, void* self) {
                ++static_cast<Thrower*>(self)->calls;
                throw std::bad_alloc();
            }
            static void Callback(VFCurveNode*, VFCurveNodeCallbacks*, void* self) {
                ++static_cast<Thrower*>(self)->calls;
                throw 1;
            }
        } thrower, other;
        VFCurveNode* node = new VFCurveNode("N", "N", nullptr, 0, 0);
        VFCurve* curve = VFCurve::Create();
        node->FCurveSet(curve);
        curve->CallbackRegister(&Thrower::Listener, &thrower);
        curve->CallbackRegister(&Thrower::Listener, &other);
        node->CallbackAdd(&Thrower::Callback, &thrower);
        VTime time;
        time.SetSecondDouble(1.0);
        const unsigned long long failures = oxa_alloc::FailureCount();
        EXPECT_GE(curve->KeyAdd(time), 0);
        // Memory that ran out in a listener is counted: a read or write around it fails.
        EXPECT_GT(oxa_alloc::FailureCount(), failures);
        node->SetSelected(true);
        const int heard = other.calls;
        EXPECT_GE(heard, 1);
        EXPECT_EQ(thrower.calls, heard + 1);
        delete node;
        EXPECT_GT(other.calls, heard) << "told of the destruction";
    }
    // A listener answering the destroy event with a key is told "destroy" once.
    {
        KeyOnDestroy listener;
        VFCurve* curve = VFCurve::Create();
        curve->CallbackRegister(&KeyOnDestroy::Listener, &listener);
        delete curve;
        EXPECT_EQ(listener.destroys, 1);
    }
}
