// Curve-node trees: construction, lookup, name blocks, layer chains, time warps, copies.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "animation/fcurve_node.h"
#include "fcurve_node_test_util.h"

using namespace fcn_test;

namespace {

// Records the events a node fires, and marks destruction.
struct EventLog {
    std::vector<unsigned> events;
    static void Callback(VFCurveNode*, VFCurveNodeCallbacks* record, void* object) {
        static_cast<EventLog*>(object)->events.push_back(record->mEvents);
    }
    bool Saw(unsigned bit) const {
        for (unsigned e : events)
            if (e & bit) return true;
        return false;
    }
};

std::vector<int> LayerIds(const VFCurveNode* node) {
    std::vector<int> ids;
    for (const VFCurveNode* n = node; n; n = n->GetNextLayer())
        ids.push_back(n->GetLayerID());
    return ids;
}

}  // namespace

TEST(FCurveNodeTree, FactoriesByDataType) {
    VFCurveNode* rotation = VFCurveNode::CreateForDataType(VDataType::Find("Lcl Rotation"), "Lcl Rotation");
    EXPECT_EQ(rotation->GetLayerType(), eFCURVENODE_LAYER_EULER_ROTATION);
    ASSERT_EQ(rotation->GetCount(), 3);
    EXPECT_STREQ(rotation->Get(2)->GetName(), "Z");
    EXPECT_STREQ(rotation->GetUserName(), "Lcl Rotation");
    delete rotation;

    VFCurveNode* scaling = VFCurveNode::CreateForDataType(VDataType::Find("Lcl Scaling"), "S");
    EXPECT_EQ(scaling->GetLayerType(), eFCURVENODE_LAYER_MULTIPLICATIVE);
    double identity[3];
    EXPECT_EQ(scaling->GetIdentityValues(identity) - identity, 3);
    EXPECT_EQ(identity[0], 1.0);
    EXPECT_EQ(identity[2], 1.0);
    delete scaling;

    VFCurveNode* vector4 = VFCurveNode::CreateForDataType(VDataType::Find("Vector4"), "V");
    ASSERT_EQ(vector4->GetCount(), 4);
    EXPECT_STREQ(vector4->Get(3)->GetName(), " ");
    EXPECT_EQ(vector4->GetLayerType(), eFCURVENODE_LAYER_ADDITIVE);
    delete vector4;

    VFCurveNode* warp = VFCurveNode::CreateFromName("Warp", VDataType::Find("TimeWarp"));
    EXPECT_STREQ(warp->GetUserName(), "");
    EXPECT_EQ(warp->GetFlags(), 0x60u);
    delete warp;

    VFCurveNode* byName = VFCurveNode::Create("A", "Alpha", "Number");
    EXPECT_STREQ(byName->GetDataTypeName(), "Number");
    EXPECT_STREQ(byName->GetUserName(), "Alpha");
    delete byName;
}

TEST(FCurveNodeTree, ChildrenSortedAndFoundWithoutCase) {
    VFCurveNode root("Root", "Root", nullptr, 0, 0);
    for (const char* name : {"a", "B", "c"})
        root.Add(new VFCurveNode(name, name, nullptr, 0, 0));
    VFCurveNode* b = new VFCurveNode("b", "b", nullptr, 0, 0);
    EXPECT_EQ(root.AddSorted(b), 1);
    EXPECT_EQ(root.Get(1), b);
    EXPECT_EQ(b->GetParent(), &root);
    EXPECT_EQ(root.Find("C"), 3);
    EXPECT_EQ(root.Find("missing"), -1);
    EXPECT_EQ(root.Get(4), nullptr);
    EXPECT_EQ(root.Get(-1), nullptr);

    // Remove keeps the child alive and detached; Delete destroys it.
    VFCurveNode* a = root.Get(0);
    EXPECT_EQ(root.Remove(0), 3);
    EXPECT_EQ(a->GetParent(), nullptr);
    delete a;
    EXPECT_EQ(root.Delete(0), 2);
    // A child destroyed directly leaves its parent's list.
    delete root.Get(0);
    EXPECT_EQ(root.GetCount(), 1);

    // Reference mode: children are neither parented nor owned.
    VFCurveNode shared("Shared", "Shared", nullptr, 0, 0);
    VFCurveNode* owner = new VFCurveNode("Owner", "Owner", nullptr, 0, 0);
    owner->SetReferenceMode(true);
    owner->Add(&shared);
    EXPECT_EQ(shared.GetParent(), nullptr);
    delete owner;
    EXPECT_STREQ(shared.GetName(), "Shared");
}

// Long child lists are looked up through an index: it must answer as the plain walk does (first
// holder, any case) through appends, sorted inserts, removals and deletions.
TEST(FCurveNodeTree, LongChildListsFindLikeTheWalk) {
    VFCurveNode* root = VFCurveNode::CreateFromName("Defaults");
    auto walk = [root](const char* name) {
        for (int i = 0; i < root->GetCount(); ++i) {
            if (VString(root->Get(i)->GetName()).CompareNoCase(name) == 0) return i;
        }
        return -1;
    };
    unsigned seed = 11;
    auto next = [&seed]() { return seed = seed * 1103515245u + 12345u; };
    for (int step = 0; step < 3000; ++step) {
        std::string name = (next() % 2 ? "ch" : "CH") + std::to_string(next() % 90);
        switch (next() % 5) {
            case 0:
            case 1:
                root->Add(VFCurveNode::CreateFromName(name.c_str()));
                break;
            case 2:
                root->AddSorted(VFCurveNode::CreateFromName(name.c_str()));
                break;
            case 3:
                if (root->GetCount() > 0) root->Delete((int)(next() % (unsigned)root->GetCount()));
                break;
            default:
                if (root->GetCount() > 0) delete root->Get((int)(next() % (unsigned)root->GetCount()));
                break;
        }
        std::string probe = (next() % 2 ? "Ch" : "cH") + std::to_string(next() % 90);
        ASSERT_EQ(root->Find(probe.c_str()), walk(probe.c_str())) << "step " << step << " " << probe;
    }
    delete root;
}

TEST(FCurveNodeTree, PathLookup) {
    VFCurveNode root("Defaults", "Defaults", nullptr, 0, 0);
    VFCurveNode* transform = new VFCurveNode("Transform", "Transform", nullptr, 0, 0);
    root.Add(transform);
    VFCurveNode* r = VFCurveNode::CreateForDataType(VDataType::Find("Lcl Rotation"), "Lcl Rotation");
    VFCurveNode* t = VFCurveNode::CreateForDataType(VDataType::Find("Lcl Translation"), "Lcl Translation");
    VFCurveNode* s = VFCurveNode::CreateForDataType(VDataType::Find("Lcl Scaling"), "Lcl Scaling");
    transform->Add(t);
    transform->Add(r);
    transform->Add(s);
    root.CreateFCurves();

    EXPECT_EQ(transform->FindChild("R"), r);
    EXPECT_EQ(transform->FindChild("Lcl Rotation/X"), r->Get(0));
    EXPECT_EQ(transform->FindChild("lcl rotation/y"), r->Get(1));
    // A first part missing at the top is found deeper.
    EXPECT_EQ(root.FindChild("R/Z"), r->Get(2));
    EXPECT_EQ(root.FindChild("Transform/S/X"), s->Get(0));
    EXPECT_EQ(root.FindChild("Transform/Q"), nullptr);
    EXPECT_EQ(root.FindChild("r"), nullptr);  // only the exact letters stand for the data types
    EXPECT_EQ(root.FindRecursive(VDataType::Find("Lcl Scaling")), s);
    EXPECT_EQ(root.Find(VDataType::Find("Lcl Scaling")), nullptr);

    VFCurve* tc[3];
    VFCurve* rc[3];
    VFCurve* sc[3];
    ASSERT_TRUE(root.GetTRSCurves(tc, rc, sc));
    EXPECT_EQ(tc[0], t->Get(0)->FCurveGet());
    EXPECT_EQ(rc[1], r->Get(1)->FCurveGet());
    EXPECT_EQ(sc[2], s->Get(2)->FCurveGet());
    delete s->Get(1)->FCurveSet(nullptr);
    EXPECT_FALSE(root.GetTRSCurves(tc, rc, sc));
    EXPECT_NE(sc[0], nullptr);
    EXPECT_EQ(sc[1], nullptr);
    EXPECT_FALSE(root.FCurveCreated());

    VFCurveNode* made = root.FindOrCreate("Visibility", true);
    EXPECT_NE(made->FCurveGet(), nullptr);
    EXPECT_EQ(root.FindOrCreate("VISIBILITY", false), made);
    EXPECT_TRUE(root.IsChild(r->Get(0), true));
    EXPECT_FALSE(root.IsChild(r->Get(0), false));
}

TEST(FCurveNodeTree, NameBlocksAreShared) {
    VFCurveNode* base = Vector3Node("T", "Lcl Translation", 1);
    base->SetUserName("Before");
    VFCurveNode* copy = base->Copy(true, false, true);
    EXPECT_EQ(copy->GetInfo(), base->GetInfo());
    // What the node held before it was shared is what both see.
    EXPECT_STREQ(copy->GetUserName(), "Before");
    EXPECT_STREQ(copy->GetDataTypeName(), "Lcl Translation");
    EXPECT_EQ(copy->GetTemplate(), base);
    EXPECT_EQ(base->GetInfo()->mRefCount, 2);
    base->SetUserName("Moved");
    EXPECT_STREQ(copy->GetUserName(), "Moved");
    EXPECT_EQ(copy->Get(0)->GetInfo(), base->Get(0)->GetInfo());
    delete base;
    // The block outlives the node that made it.
    EXPECT_STREQ(copy->GetUserName(), "Moved");
    EXPECT_EQ(copy->GetInfo()->mRefCount, 1);

    VFCurveNode other("Other", "Other", nullptr, 0, 0);
    other.Add(new VFCurveNode("A", "A", nullptr, 0, 0));
    other.SetTemplate(copy, true);
    EXPECT_STREQ(other.GetName(), "T");
    EXPECT_STREQ(other.Get(0)->GetName(), "X");
    delete copy;
    EXPECT_STREQ(other.Get(0)->GetName(), "X");
}

TEST(FCurveNodeTree, ReferencesFollowTheTreeAndEndEvenInALoop) {
    VFCurveNode* a = Vector3Node("T", "Lcl Translation", 1);
    VFCurveNode* b = Vector3Node("T", "Lcl Translation", 1);
    VFCurveNode* c = Vector3Node("T", "Lcl Translation", 1);
    a->SetReference(b);
    b->SetReference(c);
    EXPECT_EQ(a->GetReference(), b);
    EXPECT_EQ(a->Get(1)->GetReference(), b->Get(1));
    EXPECT_EQ(a->GetReferenceRoot(), c);
    EXPECT_EQ(a->Get(2)->GetReferenceRoot(), c->Get(2));
    a->SetReference(a, false);  // itself: no reference
    EXPECT_EQ(a->GetReference(), nullptr);
    EXPECT_EQ(a->Get(0)->GetReference(), b->Get(0));  // the children keep theirs
    // A loop ends the walk instead of hanging it, at a node of the loop.
    c->SetReference(a);
    a->SetReference(b);
    const VFCurveNode* root = a->GetReferenceRoot();
    EXPECT_TRUE(root == a || root == b || root == c);
    for (VFCurveNode* n : {a, b, c})
        n->SetReference(nullptr, false);
    delete a;
    delete b;
    delete c;
}

TEST(FCurveNodeTree, LayerTypeAddsAndRemovesW) {
    VFCurveNode* node = Vector3Node("R", "Lcl Rotation", 2);
    node->SetLayerType(eFCURVENODE_LAYER_QUATERNION);
    ASSERT_EQ(node->GetCount(), 4);
    EXPECT_STREQ(node->Get(3)->GetName(), "W");
    EXPECT_STREQ(node->Get(3)->GetDataTypeName(), "Number");
    EXPECT_NE(node->Get(3)->FCurveGet(), nullptr);
    node->SetLayerType(eFCURVENODE_LAYER_EULER_ROTATION);
    EXPECT_EQ(node->GetCount(), 3);
    // From another type the fourth child stays.
    node->SetLayerType(eFCURVENODE_LAYER_QUATERNION);
    node->SetLayerType(eFCURVENODE_LAYER_ADDITIVE);
    node->SetLayerType(eFCURVENODE_LAYER_EULER_ROTATION);
    EXPECT_EQ(node->GetCount(), 4);
    delete node;
}

TEST(FCurveNodeTree, LayerChain) {
    VFCurveNode* node = Vector3Node("S", "Lcl Scaling", 3, 2, 2, 2);
    node->Get(0)->FCurveGet()->SetColor(0.5f, 0.25f, 0.0f);
    EventLog log;
    node->CallbackAdd(&EventLog::Callback, &log);

    node->CreateLayerAt(5);
    node->CreateLayerAt(3);
    node->CreateLayerAt(3);  // already there
    EXPECT_EQ(LayerIds(node), (std::vector<int>{0, 3, 5}));
    EXPECT_EQ(node->GetLayer(4), nullptr);
    EXPECT_EQ(log.events.size(), 2u);
    EXPECT_TRUE(log.Saw(eFCURVENODE_EVENT_LAYERS));

    VFCurveNode* layer3 = node->GetLayer(3);
    ASSERT_NE(layer3, nullptr);
    EXPECT_EQ(layer3->GetObjectLayer(), node);
    EXPECT_EQ(layer3->Get(0)->GetObjectLayer(), node->Get(0));
    EXPECT_EQ(layer3->GetLayerType(), 3);
    // New layer curves hold the identity of the layer type and the source colours.
    EXPECT_EQ(layer3->Get(1)->FCurveGet()->GetDefaultValue(), 1.0f);
    EXPECT_EQ(layer3->Get(0)->FCurveGet()->GetColor()[1], 0.25f);
    EXPECT_EQ(layer3->Get(0)->FCurveGet()->KeyGetCount(), 0);
    EXPECT_EQ(node->FindLayerBefore(5), layer3);
    EXPECT_EQ(node->FindLayerBefore(0), nullptr);

    // Without the layered flag every id reads as 0.
    node->SetLayered(false);
    EXPECT_EQ(node->GetLayerFiltered(3), node);
    node->CreateLayerAt(7);
    EXPECT_EQ(LayerIds(node), (std::vector<int>{0, 3, 5}));
    node->SetLayered(true);
    EXPECT_EQ(node->GetLayerOrCreate(4, true)->GetLayerID(), 4);
    EXPECT_EQ(LayerIds(node), (std::vector<int>{0, 3, 4, 5}));

    VFCurveNode* removed = node->RemoveLayer(3, false);
    ASSERT_EQ(removed, layer3);
    EXPECT_EQ(removed->GetObjectLayer(), removed);
    EXPECT_EQ(removed->GetNextLayer(), nullptr);
    delete removed;
    EXPECT_EQ(node->RemoveLayer(5, true), nullptr);
    EXPECT_EQ(LayerIds(node), (std::vector<int>{0, 4}));
    EXPECT_EQ(node->RemoveLayer(0, true), nullptr);

    // A chain that would loop back is refused.
    VFCurveNode* layer4 = node->GetLayer(4);
    layer4->SetNextLayer(node);
    EXPECT_EQ(layer4->GetNextLayer(), nullptr);
    node->CallbackRemove(&EventLog::Callback, &log);
    delete node;
}

TEST(FCurveNodeTree, ClearReleasesCountedLayers) {
    VFCurveNode* base = Vector3Node("T", "Lcl Translation", 1);
    base->CreateLayerAt(1);
    VFCurveNode* layer = base->GetNextLayer();
    EventLog log;
    layer->CallbackAdd(&EventLog::Callback, &log);
    layer->IncReferenceCount();
    layer->IncReferenceCount();
    base->Clear();
    EXPECT_FALSE(log.Saw(eFCURVENODE_EVENT_DESTROY));
    EXPECT_EQ(layer->GetReferenceCount(), 1);
    EXPECT_EQ(base->GetNextLayer(), nullptr);
    EXPECT_EQ(base->GetCount(), 0);

    base->SetNextLayer(layer);
    layer->CallbackRemove(&EventLog::Callback, &log);  // the record lives on, counting
    layer->CallbackAdd(&EventLog::Callback, &log);
    // Count 1 falls to 0: below 1, destroyed.
    base->Clear();
    EXPECT_TRUE(log.Saw(eFCURVENODE_EVENT_DESTROY));
    delete base;
}

TEST(FCurveNodeTree, TimeWarpLinksAreCountedAndAcyclic) {
    VFCurveNode* warp = VFCurveNode::CreateFromName("Warp", VDataType::Find("TimeWarp"));
    warp->FCurveSet(VFCurve::Create());
    VFCurveNode* a = Vector3Node("T", "Lcl Translation", 1);
    VFCurveNode* b = Vector3Node("R", "Lcl Rotation", 2);
    EventLog log;
    a->CallbackAdd(&EventLog::Callback, &log);
    EXPECT_TRUE(a->SetTimeWarp(warp));
    EXPECT_TRUE(log.Saw(eFCURVENODE_EVENT_TIME_WARP));
    EXPECT_TRUE(b->SetTimeWarp(warp));
    EXPECT_EQ(warp->GetReferenceCount(), 2);

    // A warp that would evaluate the node it warps is refused.
    EXPECT_FALSE(warp->SetTimeWarp(a));
    EXPECT_FALSE(a->SetTimeWarp(a));
    EXPECT_FALSE(warp->SetTimeWarp(b));
    EXPECT_EQ(warp->GetTimeWarp(), nullptr);

    a->CallbackRemove(&EventLog::Callback, &log);
    delete a;
    EXPECT_EQ(warp->GetReferenceCount(), 1);
    delete b;  // the last link destroys the warp (ASan would report a leak otherwise)
}

TEST(FCurveNodeTree, CurveReplacementAndCounts) {
    VFCurveNode node("N", "N", nullptr, 0, 0);
    EventLog log;
    node.CallbackAdd(&EventLog::Callback, &log);
    VFCurve* first = LinearCurve({{0, 1}, {1, 2}});
    EXPECT_EQ(node.FCurveSet(first), nullptr);
    EXPECT_EQ(node.FCurveSet(first), nullptr);  // same curve: no effect, no event
    EXPECT_EQ(log.events.size(), 1u);
    VFCurve* second = LinearCurve({{0, 5}});
    EXPECT_EQ(node.FCurveSet(second), first);
    delete first;
    EXPECT_EQ(node.FCurveReplace(LinearCurve({{0, 1}, {1, 1}, {2, 1}})), nullptr);
    EXPECT_EQ(node.KeyGetCount(), 3);
    EXPECT_TRUE(node.IsAnimated(false));
    // A curve without keys is no animation.
    VFCurveNode still("S", "S", nullptr, 0, 0);
    still.FCurveSet(VFCurve::Create());
    EXPECT_FALSE(still.IsAnimated(false));

    EXPECT_FALSE(VFCurveNode("Empty", "", nullptr, 0, 0).SetPreExtrapolation(2));
    node.LockAccess();
    EXPECT_FALSE(node.SetPostExtrapolation(3, true));
    EXPECT_TRUE(node.SetPostExtrapolation(3, false));
    node.UnlockAccess();
    EXPECT_TRUE(node.SetPostExtrapolationCount(2, true));
    EXPECT_EQ(node.FCurveGet()->GetPostExtrapolation(), 3);
    EXPECT_EQ(node.FCurveGet()->GetPostExtrapolationCount(), 2);
    float colour[3] = {0.1f, 0.2f, 0.3f};
    node.SetColor(colour);
    EXPECT_EQ(node.GetColor()[2], 0.3f);
    node.CallbackRemove(&EventLog::Callback, &log);

    VFCurveNode* t = Vector3Node("T", "Lcl Translation", 1);
    t->Get(1)->FCurveReplace(LinearCurve({{0, 0}, {1, 1}}));
    t->CreateLayerAt(1);
    t->GetNextLayer()->Get(1)->FCurveReplace(LinearCurve({{0, 0}, {1, 1}, {2, 2}}));
    EXPECT_EQ(t->KeyGetCount(false), 2);
    EXPECT_EQ(t->KeyGetCount(true), 5);
    EXPECT_EQ(t->KeyGetCountOfChild(1), 5);
    EXPECT_EQ(t->KeyGetCountOfChild(0), 0);
    int curves, keys, fewest, most;
    t->GetKeyStatistics(curves, keys, fewest, most);
    EXPECT_EQ(curves, 3);
    EXPECT_EQ(keys, 2);
    EXPECT_EQ(fewest, 0);
    EXPECT_EQ(most, 2);
    delete t;
}

TEST(FCurveNodeTree, CopiesAndClones) {
    VFCurveNode* node = Vector3Node("R", "Lcl Rotation", 2, 1, 2, 3);
    node->SetRotationOrder(10);
    node->Get(0)->FCurveReplace(LinearCurve({{0, 10}, {1, 20}}));
    node->CreateLayerAt(2);
    node->GetNextLayer()->Get(2)->FCurveReplace(LinearCurve({{0, 5}}));
    node->SetSelected(true, true);

    VFCurveNode* shape = node->Copy(false, false, true);
    EXPECT_EQ(shape->GetCount(), 3);
    EXPECT_EQ(shape->GetRotationOrder(), 10);
    EXPECT_TRUE(shape->GetSelected());
    EXPECT_EQ(shape->Get(0)->FCurveGet()->KeyGetCount(), 0);
    EXPECT_EQ(shape->GetNextLayer(), nullptr);
    EXPECT_NE(shape->GetInfo(), node->GetInfo());
    delete shape;

    VFCurveNode* clone = node->Clone();
    ASSERT_NE(clone->GetNextLayer(), nullptr);
    EXPECT_EQ(clone->Get(0)->FCurveGet()->KeyGetCount(), 2);
    EXPECT_EQ(clone->GetNextLayer()->Get(2)->FCurveGet()->KeyGetCount(), 1);
    EXPECT_EQ(clone->GetNextLayer()->GetObjectLayer(), clone);
    EXPECT_EQ(clone->GetNextLayer()->Get(2)->GetObjectLayer(), clone->Get(2));
    delete node;
    double v[3];
    clone->EvaluateCurves(v, Sec(0.5));
    EXPECT_FLOAT_EQ(v[0], 15.0f);
    delete clone;
}
