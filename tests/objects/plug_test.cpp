#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "objects/vobject.h"
#include "objects/vobject_list.h"
#include "objects/vproperty.h"

namespace {

struct Event {
    std::string who;
    int code;
    const VPlug* plug;
    const VPlug* other;
};

// An object that records every event it hears and can refuse connections.
class Recorder : public VObject {
public:
    Recorder(const char* name, std::vector<Event>* log) : mLog(log) { SetName(name); }
    bool ConnectNotify(int event, VPlug* plug, VPlug* other) override {
        if (mLog) mLog->push_back({GetName(), event, plug, other});
        if (event == ePlugAcceptSrc && refuseSources) return false;
        if (event == ePlugAcceptDst && refuseDestinations) return false;
        return VObject::ConnectNotify(event, plug, other);
    }
    bool refuseSources = false;
    bool refuseDestinations = false;

private:
    std::vector<Event>* mLog;
};

class Derived : public Recorder {
    VOBJECT_DECLARE_CLASS()
public:
    using Recorder::Recorder;
};
VOBJECT_IMPLEMENT_CLASS(Derived, VObject);

class MoreDerived : public Derived {
    VOBJECT_DECLARE_CLASS()
public:
    using Derived::Derived;
};
VOBJECT_IMPLEMENT_CLASS(MoreDerived, Derived);

std::vector<int> Codes(const std::vector<Event>& log) {
    std::vector<int> codes;
    for (const Event& e : log)
        codes.push_back(e.code);
    return codes;
}

}  // namespace

TEST(objects_ClassIdentity, ParentChainAndFilters) {
    MoreDerived more("m", nullptr);
    Derived derived("d", nullptr);
    VObject plain;
    VPlug bare;

    EXPECT_TRUE(more.IsA(MoreDerived::ClassId));
    EXPECT_TRUE(more.IsA(Derived::ClassId));
    EXPECT_TRUE(more.IsA(VObject::ClassId));
    EXPECT_TRUE(more.IsA(VPlug::ClassId));
    EXPECT_FALSE(more.IsA(VProperty::ClassId));
    EXPECT_FALSE(derived.IsA(MoreDerived::ClassId));
    EXPECT_FALSE(bare.IsA(VObject::ClassId));
    EXPECT_FALSE(bare.IsA(-1));
    EXPECT_EQ(more.GetClassId(), MoreDerived::ClassId);
    EXPECT_STREQ(more.GetClassName(), "MoreDerived");
    EXPECT_EQ(FindClassInfo(Derived::ClassId), &Derived::ClassInfo);
    EXPECT_EQ(Derived::ClassInfo.GetParent(), &VObject::ClassInfo);

    // Ids are distinct whatever their values.
    std::vector<int> ids = {VPlug::ClassId, VObject::ClassId, VProperty::ClassId, Derived::ClassId,
                            MoreDerived::ClassId};
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(std::unique(ids.begin(), ids.end()), ids.end());

    const VClassFilter* all = GetClassFilter(-1);
    const VClassFilter* derivedOnly = GetClassFilter(Derived::ClassId);
    EXPECT_TRUE(all->Accepts(&bare));
    EXPECT_FALSE(all->Accepts(nullptr));
    EXPECT_TRUE(derivedOnly->Accepts(&more));
    EXPECT_TRUE(derivedOnly->Accepts(&derived));
    EXPECT_FALSE(derivedOnly->Accepts(&plain));
    EXPECT_EQ(GetClassFilter(Derived::ClassId), derivedOnly);
    EXPECT_FALSE(GetClassFilter(123456)->Accepts(&more));
}

TEST(objects_ClassIdentity, LateRegistrationAndRestart) {
    // A record asked before its static registration ran gets its id on the spot.
    static int lateId = -1;
    static VClassInfo late(&lateId, &VObject::ClassInfo, "Late");
    int id = late.GetId();
    EXPECT_GE(id, 0);
    EXPECT_EQ(RegisterClassId(&late), id);
    EXPECT_TRUE(late.IsA(VObject::ClassId));

    // A full stop frees the filters but keeps every class.
    VPlugInit();
    VPlugInit();
    VPlugTerm();
    const VClassFilter* f = GetClassFilter(Derived::ClassId);
    VPlugTerm();
    VPlugInit();
    Derived d("d", nullptr);
    EXPECT_TRUE(GetClassFilter(Derived::ClassId)->Accepts(&d));
    EXPECT_TRUE(d.IsA(Derived::ClassId));
    (void)f;
    VPlugTerm();
}

TEST(objects_Plug, ConnectionEventsInOrder) {
    std::vector<Event> log;
    Recorder dst("dst", &log), src("src", &log);
    ASSERT_TRUE(dst.ConnectSrc(&src));
    ASSERT_EQ(log.size(), 6u);
    const char* who[] = {"dst", "src", "dst", "src", "dst", "src"};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(log[i].code, i);
        EXPECT_EQ(log[i].who, who[i]);
        EXPECT_EQ(log[i].plug, i % 2 ? (VPlug*)&src : (VPlug*)&dst);
        EXPECT_EQ(log[i].other, i % 2 ? (VPlug*)&dst : (VPlug*)&src);
    }
    EXPECT_TRUE(dst.IsConnectedSrc(&src));
    EXPECT_TRUE(src.IsConnectedDst(&dst));
    EXPECT_FALSE(src.IsConnectedSrc(&dst));

    log.clear();
    ASSERT_TRUE(dst.DisconnectSrc(&src));
    EXPECT_EQ(Codes(log), (std::vector<int>{6, 7, 8, 9}));
    EXPECT_EQ(log[0].who, "dst");
    EXPECT_EQ(log[1].who, "src");
    EXPECT_EQ(log[2].other, &src);
    EXPECT_FALSE(dst.IsConnectedSrc(&src));

    log.clear();
    EXPECT_FALSE(dst.DisconnectSrc(&src));
    EXPECT_TRUE(log.empty());
}

TEST(objects_Plug, RefusedConnections) {
    std::vector<Event> log;
    Recorder a("a", &log), b("b", &log);

    EXPECT_FALSE(a.ConnectSrc(&a));
    EXPECT_FALSE(a.ConnectSrc(nullptr));
    EXPECT_TRUE(log.empty());

    a.refuseSources = true;
    EXPECT_FALSE(a.ConnectSrc(&b));
    EXPECT_EQ(Codes(log), (std::vector<int>{0}));
    a.refuseSources = false;

    log.clear();
    b.refuseDestinations = true;
    EXPECT_FALSE(a.ConnectSrc(&b));
    EXPECT_EQ(Codes(log), (std::vector<int>{0, 1}));
    b.refuseDestinations = false;
    EXPECT_EQ(a.GetSrcCount(), 0);

    ASSERT_TRUE(a.ConnectSrc(&b));
    log.clear();
    EXPECT_FALSE(a.ConnectSrc(&b));  // duplicate
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(a.GetSrcCount(), 1);

    // The flag word decides who may take sources and who may be one.
    Recorder c("c", nullptr), d("d", nullptr);
    c.SetFlag(kPlugAcceptsSrc, false);
    EXPECT_FALSE(c.ConnectSrc(&d));
    c.SetFlag(kPlugAcceptsSrc, true);
    d.SetFlag(kPlugIsSrc, false);
    EXPECT_FALSE(c.ConnectSrc(&d));
    d.SetFlag(kPlugIsSrc, true);
    EXPECT_TRUE(c.ConnectSrc(&d));
    // The reverse connection is a different one and allowed.
    EXPECT_TRUE(d.ConnectSrc(&c));
}

TEST(objects_Plug, FilteredViewListsSourcesFirst) {
    Derived hub("hub", nullptr);
    Derived s1("s1", nullptr), d1("d1", nullptr);
    MoreDerived s2("s2", nullptr), d2("d2", nullptr);
    VObject s3, d3;
    ASSERT_TRUE(hub.ConnectSrc(&s1));
    ASSERT_TRUE(hub.ConnectSrc(&s3));
    ASSERT_TRUE(hub.ConnectSrc(&s2));
    ASSERT_TRUE(d1.ConnectSrc(&hub));
    ASSERT_TRUE(d3.ConnectSrc(&hub));
    ASSERT_TRUE(d2.ConnectSrc(&hub));

    VFilteredPlug* view = hub.GetFilteredPlug(GetClassFilter(Derived::ClassId));
    ASSERT_EQ(view->GetSrcCount(), 2);
    ASSERT_EQ(view->GetDstCount(), 2);
    EXPECT_EQ(view->Get(0), &s1);
    EXPECT_EQ(view->Get(1), &s2);
    EXPECT_EQ(view->Get(2), &d1);
    EXPECT_EQ(view->Get(3), &d2);
    EXPECT_EQ(view->Get(4), nullptr);

    VFilteredPlug* all = hub.GetFilteredPlug(GetClassFilter(-1));
    EXPECT_EQ(all->GetCount(), 6);
    EXPECT_EQ(all->GetSrc(1), &s3);

    // The view follows later changes.
    hub.DisconnectSrc(&s1);
    EXPECT_EQ(view->GetSrcCount(), 1);
    EXPECT_EQ(view->GetSrc(0), &s2);
    {
        MoreDerived s4("s4", nullptr);
        hub.ConnectSrc(&s4);
        EXPECT_EQ(view->GetSrc(1), &s4);
    }
    // A deleted plug leaves the lists of the plugs it was connected to.
    EXPECT_EQ(view->GetSrcCount(), 1);
    EXPECT_EQ(hub.GetSrcCount(), 2);
}

TEST(objects_Plug, LongListsKeepConnectionOrder) {
    // Many sources, removed in random order with index reads in between, compared with a plain
    // ordered vector.
    const int n = 3000;
    std::vector<VPlug> plugs(n);
    VPlug hub;
    std::vector<VPlug*> expected;
    for (VPlug& p : plugs) {
        ASSERT_TRUE(hub.ConnectSrc(&p));
        expected.push_back(&p);
    }
    std::mt19937 rng(7);
    for (int round = 0; round < 2500; ++round) {
        if (round % 5 == 4) {
            // Reconnect one removed plug: it comes last.
            for (VPlug& p : plugs) {
                if (!hub.IsConnectedSrc(&p)) {
                    ASSERT_TRUE(hub.ConnectSrc(&p));
                    expected.push_back(&p);
                    break;
                }
            }
        } else {
            int i = (int)(rng() % expected.size());
            ASSERT_TRUE(hub.DisconnectSrc(expected[i]));
            expected.erase(expected.begin() + i);
        }
        ASSERT_EQ(hub.GetSrcCount(), (int)expected.size());
        int probe = (int)(rng() % expected.size());
        ASSERT_EQ(hub.GetSrc(probe), expected[probe]) << "round " << round;
        ASSERT_EQ(hub.FindSrc(expected[probe]), probe);
        ASSERT_EQ(hub.GetSrc(-1), nullptr);
        ASSERT_EQ(hub.GetSrc(hub.GetSrcCount()), nullptr);
    }
    for (size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(hub.GetSrc((int)i), expected[i]);
    // Removing from the front, the usual way of emptying a list.
    while (hub.GetSrcCount() > 0) {
        VPlug* first = hub.GetSrc(0);
        ASSERT_EQ(first, expected.front());
        hub.DisconnectSrc(first);
        expected.erase(expected.begin());
    }
    EXPECT_EQ(hub.GetSrc(0), nullptr);
}

TEST(objects_Plug, FilteredViewFollowsAppendsAndRemovals) {
    // Half the peers pass the filter. They are connected on both sides of the hub, taken away
    // one at a time or deleted, and both views are read after a random number of changes (so
    // that a view catches up on appends, on removals, or on both at once), then compared with
    // the filter applied to the plain lists.
    std::vector<std::unique_ptr<VObject>> objects;
    for (int i = 0; i < 200; ++i) {
        objects.emplace_back(i % 2 ? (VObject*)new Derived("d", nullptr) : new VObject());
    }
    VObject hub;
    VFilteredPlug* view = hub.GetFilteredPlug(GetClassFilter(Derived::ClassId));
    auto expectView = [&](int round) {
        std::vector<VPlug*> src, dst;
        for (int i = 0; i < hub.GetSrcCount(); ++i) {
            if (hub.GetSrc(i)->IsA(Derived::ClassId)) src.push_back(hub.GetSrc(i));
        }
        for (int i = 0; i < hub.GetDstCount(); ++i) {
            if (hub.GetDst(i)->IsA(Derived::ClassId)) dst.push_back(hub.GetDst(i));
        }
        ASSERT_EQ(view->GetSrcCount(), (int)src.size()) << round;
        ASSERT_EQ(view->GetDstCount(), (int)dst.size()) << round;
        for (size_t i = 0; i < src.size(); ++i)
            ASSERT_EQ(view->GetSrc((int)i), src[i]) << round;
        for (size_t i = 0; i < dst.size(); ++i)
            ASSERT_EQ(view->GetDst((int)i), dst[i]) << round;
        ASSERT_EQ(view->GetSrc(-1), nullptr);
        ASSERT_EQ(view->GetSrc((int)src.size()), nullptr);
        ASSERT_EQ(view->GetDst((int)dst.size()), nullptr);
    };
    std::mt19937 rng(3);
    for (int round = 0; round < 1500; ++round) {
        const size_t k = rng() % objects.size();
        VObject* o = objects[k].get();
        const bool asDst = rng() % 3 == 0;
        if (rng() % 40 == 0) {
            // Deleted while connected: its peers drop it without events.
            hub.ConnectSrc(o);
            o->ConnectSrc(&hub);
            const bool derived = o->IsA(Derived::ClassId);
            objects[k].reset(derived ? (VObject*)new Derived("d", nullptr) : new VObject());
        } else if (asDst ? o->IsConnectedSrc(&hub) : hub.IsConnectedSrc(o)) {
            asDst ? o->DisconnectSrc(&hub) : hub.DisconnectSrc(o);
        } else if (rng() % 4 == 0 && hub.GetSrcCount() > 0) {
            // The last source goes, as when a parent is emptied from its end.
            hub.DisconnectSrc(hub.GetSrc(hub.GetSrcCount() - 1));
        } else {
            asDst ? o->ConnectSrc(&hub) : hub.ConnectSrc(o);
        }
        if (rng() % 3 == 0) expectView(round);
    }
    expectView(-1);
    hub.DisconnectAll();
    expectView(-2);
}

TEST(objects_Plug, FilteredViewFollowsRemovalsFromTheFront) {
    // Children destroyed in the order they were made leave from the front of the view; new ones
    // join at the back meanwhile. The view must read as the filter over the plain list at every
    // step, across the points where its unused front is let go.
    std::vector<std::unique_ptr<VObject>> objects;
    for (int i = 0; i < 160; ++i)
        objects.emplace_back(i % 4 ? (VObject*)new Derived("d", nullptr) : new VObject());
    VObject hub;
    VFilteredPlug* view = hub.GetFilteredPlug(GetClassFilter(Derived::ClassId));
    for (int i = 0; i < 120; ++i)
        hub.ConnectSrc(objects[i].get());
    auto expectView = [&](int step) {
        std::vector<VPlug*> src;
        for (int i = 0; i < hub.GetSrcCount(); ++i) {
            if (hub.GetSrc(i)->IsA(Derived::ClassId)) src.push_back(hub.GetSrc(i));
        }
        ASSERT_EQ(view->GetSrcCount(), (int)src.size()) << step;
        for (size_t i = 0; i < src.size(); ++i)
            ASSERT_EQ(view->GetSrc((int)i), src[i]) << step;
        ASSERT_EQ(view->Get((int)src.size()), nullptr) << step;
    };
    expectView(-1);
    int next = 120;
    for (int step = 0; hub.GetSrcCount() > 0; ++step) {
        hub.DisconnectSrc(hub.GetSrc(0));
        if (step % 5 == 0 && next < (int)objects.size()) hub.ConnectSrc(objects[next++].get());
        if (step % 3 == 0) expectView(step);
    }
    expectView(-2);
    // Empty, then used again.
    hub.ConnectSrc(objects[1].get());
    expectView(-3);
}

TEST(objects_Plug, DisconnectAllSendsEveryRemoval) {
    std::vector<Event> log;
    Recorder hub("hub", &log);
    Recorder a("a", nullptr), b("b", nullptr), c("c", nullptr);
    hub.ConnectSrc(&a);
    hub.ConnectSrc(&b);
    c.ConnectSrc(&hub);
    log.clear();
    hub.DisconnectAll();
    EXPECT_EQ(hub.GetSrcCount(), 0);
    EXPECT_EQ(hub.GetDstCount(), 0);
    EXPECT_EQ(c.GetSrcCount(), 0);
    // hub is the destination of two removals (6, 8 each) and the source of one (7, 9).
    EXPECT_EQ(Codes(log), (std::vector<int>{6, 8, 6, 8, 7, 9}));
}

// A plug connected on one side only: the other side has nothing to let go of, the connected
// side's peers forget it, whether it disconnects or is deleted.
TEST(objects_Plug, OneSidedPlugsLeaveTheirPeers) {
    std::vector<Event> log;
    Recorder hub("hub", nullptr);
    Recorder a("a", &log);
    a.ConnectSrc(&hub);  // hub has a destination and no source
    log.clear();
    hub.DisconnectAll();
    EXPECT_EQ(a.GetSrcCount(), 0);
    EXPECT_EQ(Codes(log), (std::vector<int>{6, 8}));
    hub.DisconnectAll();  // nothing left: nothing sent
    EXPECT_EQ(Codes(log), (std::vector<int>{6, 8}));

    Recorder b("b", nullptr), c("c", nullptr);
    auto* sourcesOnly = new Recorder("s", nullptr);
    sourcesOnly->ConnectSrc(&b);
    auto* destinationsOnly = new Recorder("d", nullptr);
    c.ConnectSrc(destinationsOnly);
    delete sourcesOnly;
    delete destinationsOnly;
    EXPECT_EQ(b.GetDstCount(), 0);
    EXPECT_EQ(c.GetSrcCount(), 0);
    EXPECT_TRUE(b.ConnectSrc(&c)) << "the lists still work";
    EXPECT_EQ(b.GetSrc(0), &c);
}

TEST(objects_ObjectList, EntriesLookupAndFilteredViews) {
    VObjectList list;
    Derived a("alpha", nullptr);
    MoreDerived b("beta", nullptr);
    VObject c;
    c.SetName("gamma");
    VPlug bare;
    EXPECT_TRUE(list.Add(&a));
    EXPECT_TRUE(list.Add(&bare));
    EXPECT_TRUE(list.Add(&b));
    EXPECT_TRUE(list.Add(&c));
    EXPECT_FALSE(list.Add(&a));
    EXPECT_EQ(list.GetCount(), 4);
    EXPECT_EQ(list.Find(&b), 2);
    EXPECT_EQ(list.Find(&list), -1);
    EXPECT_EQ(list.FindByName("beta"), &b);
    EXPECT_EQ(list.FindByName("Beta"), nullptr);
    EXPECT_TRUE(VObjectList::IsObject(list.Get(0)));
    EXPECT_FALSE(VObjectList::IsObject(list.Get(1)));
    EXPECT_EQ(VObjectList::GetOwnerObject(&a), nullptr);  // not a property handler

    EXPECT_EQ(list.GetFilteredCount(Derived::ClassId), 2);
    EXPECT_EQ(list.GetFiltered(Derived::ClassId, 1), &b);
    EXPECT_EQ(list.GetFiltered(Derived::ClassId, 2), nullptr);
    EXPECT_EQ(list.GetFilteredCount(-1), 4);
    EXPECT_EQ(list.GetFilteredCount(VPlug::ClassId), 4);
    EXPECT_EQ(list.GetFilteredCount(MoreDerived::ClassId), 1);

    // A list is never a source itself.
    VObjectList other;
    EXPECT_FALSE(other.Add(&list));

    EXPECT_TRUE(list.Remove(&bare));
    EXPECT_FALSE(list.Remove(&bare));
    EXPECT_EQ(list.Find(&b), 1);
    list.Clear();
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(a.GetDstCount(), 0);
}

namespace {

// Makes the connection it hears being made itself, as a listener may.
class EagerListener : public VObject {
public:
    bool ConnectNotify(int event, VPlug* plug, VPlug* other) override {
        if (event == ePlugConnectingSrc && plug == this && other && !reentered) {
            reentered = true;
            inner = ConnectSrc(other);
        }
        return VObject::ConnectNotify(event, plug, other);
    }
    bool reentered = false;
    bool inner = false;
};

}  // namespace

TEST(objects_Plug, AConnectionAListenerMadeMeanwhileIsNotMadeTwice) {
    EagerListener dst;
    VObject src;
    EXPECT_FALSE(dst.ConnectSrc(&src)) << "the listener's connection came first";
    EXPECT_TRUE(dst.inner);
    EXPECT_EQ(dst.GetSrcCount(), 1);
    EXPECT_EQ(src.GetDstCount(), 1);
    EXPECT_EQ(dst.GetSrc(0), &src);
    EXPECT_EQ(src.GetDst(0), &dst);
}
