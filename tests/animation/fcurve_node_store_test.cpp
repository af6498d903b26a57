// Curve-node storage as "Channel" and "LayerChannel" fields: round trips in both file forms,
// merging into existing trees, layer-type fix-ups and damaged input.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "animation/fcurve_node.h"
#include "animation/time_warp_set.h"
#include "base/vpair_array.h"
#include "fcurve_node_test_util.h"
#include "oxa_codec/voxa.h"

using namespace fcn_test;

namespace {

// Writes one section with `write`, then opens the bytes for reading at that section.
struct MemoryFile {
    std::vector<uint8_t> bytes;
    VOxa reader;

    MemoryFile(bool binary, int version, const std::function<void(VOxa&)>& write) {
        VOxa writer;
        EXPECT_TRUE(writer.MemoryCreate(binary));
        EXPECT_TRUE(writer.SectionWriteBegin("Takes", version));
        write(writer);
        EXPECT_TRUE(writer.SectionWriteEnd());
        EXPECT_TRUE(writer.FileClose());
        bytes.assign(writer.GetMemoryData(), writer.GetMemoryData() + writer.GetMemorySize());
        EXPECT_TRUE(reader.MemoryOpen(bytes.data(), bytes.size()));
        EXPECT_TRUE(reader.SectionReadBegin(0));
    }
};

// Opens a "Channel" field named `name` with a block; `body` writes the block's fields.
void Channel(VOxa& f, const char* name, const std::function<void()>& body, const char* field = "Channel") {
    f.FieldWriteBegin(field);
    f.FieldWriteS(name);
    f.FieldWriteBlockBegin();
    body();
    f.FieldWriteBlockEnd();
    f.FieldWriteEnd();
}

void IntField(VOxa& f, const char* name, int value) {
    f.FieldWriteBegin(name);
    f.FieldWriteI(value);
    f.FieldWriteEnd();
}

void DefaultOnly(VOxa& f, double value) {
    VFCurve* curve = VFCurve::Create();
    curve->SetDefaultValue((float)value);
    curve->OxaStore(&f);
    delete curve;
}

// A take tree: "Defaults" > "Transform" > T, R (two key layers, order ZYX), S.
VFCurveNode* BuildTake() {
    VFCurveNode* root = VFCurveNode::CreateFromName("Defaults");
    VFCurveNode* transform = VFCurveNode::CreateFromName("Transform");
    root->Add(transform);
    VFCurveNode* t = Vector3Node("Lcl Translation", "Lcl Translation", 1, 1, 2, 3);
    VFCurveNode* r = Vector3Node("Lcl Rotation", "Lcl Rotation", 2);
    VFCurveNode* s = Vector3Node("Lcl Scaling", "Lcl Scaling", 3, 1, 1, 1);
    transform->Add(t);
    transform->Add(r);
    transform->Add(s);
    t->Get(0)->FCurveReplace(LinearCurve({{0, 0}, {1, 10}, {2, -5}}));
    r->Get(1)->FCurveReplace(LinearCurve({{0, 10}, {2, 80}}));
    r->SetRotationOrder(10);
    r->CreateLayerAt(1);
    r->CreateLayerAt(3);
    r->GetLayer(1)->Get(0)->FCurveReplace(LinearCurve({{0, 5}, {2, 25}}));
    r->GetLayer(3)->Get(2)->FCurveReplace(LinearCurve({{1, -30}}));
    s->CreateLayerAt(1);
    double twice[3] = {2, 2, 2};
    s->GetNextLayer()->SetDefaultValues(twice);
    return root;
}

std::vector<double> Sample(VFCurveNode* root) {
    std::vector<double> out;
    VFCurveNode* transform = root->FindChild("Transform");
    for (const char* c : {"T", "R", "S"}) {
        VFCurveNode* node = transform->FindChild(c);
        for (double t : {-1.0, 0.0, 0.4, 1.0, 1.7, 3.0}) {
            double v[3];
            node->Evaluate(v, Sec(t));
            out.insert(out.end(), v, v + 3);
        }
    }
    return out;
}

}  // namespace

TEST(FCurveNodeStore, RoundTripOfLayeredTreesInBothForms) {
    for (bool binary : {true, false}) {
        VFCurveNode* take = BuildTake();
        std::vector<double> expected = Sample(take);
        MemoryFile file(binary, 6000, [&](VOxa& f) { EXPECT_TRUE(take->OxaStore(&f)); });
        VFCurveNode* read = VFCurveNode::OxaRetrieveChannel(&file.reader);
        ASSERT_NE(read, nullptr) << file.reader.GetError().GetLastErrorString().Buffer();
        EXPECT_STREQ(read->GetName(), "Defaults");
        VFCurveNode* r = read->FindChild("Transform/R");
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->GetLayerType(), eFCURVENODE_LAYER_EULER_ROTATION);
        EXPECT_EQ(read->FindChild("Transform/S")->GetLayerType(), eFCURVENODE_LAYER_MULTIPLICATIVE);
        EXPECT_EQ(read->FindChild("Transform/T")->GetLayerType(), eFCURVENODE_LAYER_ADDITIVE);
        ASSERT_NE(r->GetLayer(3), nullptr);
        EXPECT_EQ(r->GetLayer(3)->GetObjectLayer(), r);
        EXPECT_EQ(r->GetLayer(3)->Get(2)->GetObjectLayer(), r->Get(2));
        EXPECT_EQ(r->GetLayer(1)->GetInfo(), r->GetInfo());  // layers share the name block
        // The rotation order is not part of the stored channel; give it back before comparing.
        r->SetRotationOrder(10);
        std::vector<double> actual = Sample(read);
        ASSERT_EQ(actual.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i)
            EXPECT_NEAR(actual[i], expected[i], 1e-4) << i;

        // Only defaults: no keys and no layers.
        MemoryFile defaults(binary, 6000, [&](VOxa& f) { take->OxaStore(&f, true); });
        VFCurveNode* plain = VFCurveNode::OxaRetrieveChannel(&defaults.reader);
        ASSERT_NE(plain, nullptr);
        EXPECT_EQ(plain->KeyGetCount(true), 0);
        EXPECT_EQ(plain->FindChild("Transform/T/Z")->FCurveGet()->GetDefaultValue(), 3.0f);
        delete plain;
        delete read;
        delete take;
    }
}

TEST(FCurveNodeStore, ReadingMergesIntoExistingChildren) {
    VFCurveNode* source = BuildTake();
    source->FindChild("Transform/T")->SetUserName("Position");
    MemoryFile file(true, 6000, [&](VOxa& f) {
        source->FindChild("Transform")->OxaStore(&f, false, true, false);
        // A suffixed name reaches the child it extends.
        Channel(f, "Extra", [&] { Channel(f, "Alpha (copy)", [&] { DefaultOnly(f, 0.25); }); });
    });
    // The target names its channels by their long names; "R" finds "Lcl Rotation" by data type.
    VFCurveNode* target = VFCurveNode::CreateFromName("Transform");
    VFCurveNode* r = Vector3Node("Lcl Rotation", "Lcl Rotation", 2);
    target->Add(r);
    r->CreateLayerAt(5);  // replaced by the file's chain (and freed: ASan reports a leak otherwise)
    ASSERT_TRUE(target->OxaRetrieve(&file.reader));
    EXPECT_EQ(target->GetCount(), 3);  // R merged; T and S made
    EXPECT_EQ(r->Get(1)->FCurveGet()->KeyGetCount(), 2);
    EXPECT_NE(r->GetLayer(1), nullptr);
    EXPECT_NE(r->GetLayer(3), nullptr);
    EXPECT_EQ(r->GetLayer(5), nullptr);
    EXPECT_STREQ(target->FindChild("T")->GetUserName(), "Position");

    VFCurveNode extra("Extra", "Extra", nullptr, 0, 0);
    VFCurveNode* alpha = extra.FindOrCreate("Alpha", true);
    ASSERT_TRUE(extra.OxaRetrieve(&file.reader));
    EXPECT_EQ(extra.GetCount(), 1);
    EXPECT_EQ(alpha->FCurveGet()->GetDefaultValue(), 0.25f);
    delete target;
    delete source;
}

TEST(FCurveNodeStore, LayerTypeFixUps) {
    MemoryFile file(true, 6000, [&](VOxa& f) {
        // Type 2 with two children is no rotation.
        Channel(f, "Pair", [&] {
            Channel(f, "A", [&] { DefaultOnly(f, 1); });
            Channel(f, "B", [&] { DefaultOnly(f, 2); });
            IntField(f, "LayerType", 2);
        });
        Channel(f, "Foot Translation", [&] { DefaultOnly(f, 0); });
        Channel(f, "Node", [&] {
            // Children that a node with a curve cannot have are skipped.
            DefaultOnly(f, 5);
            Channel(f, "Stray", [&] { DefaultOnly(f, 1); });
        });
    });
    VFCurveNode pair("", "", nullptr, 0, 0);
    ASSERT_TRUE(pair.OxaRetrieve(&file.reader));
    EXPECT_EQ(pair.GetLayerType(), 0);
    EXPECT_EQ(pair.GetCount(), 2);
    VFCurveNode foot("", "", nullptr, 0, 0);
    ASSERT_TRUE(foot.OxaRetrieve(&file.reader));
    EXPECT_EQ(foot.GetLayerType(), eFCURVENODE_LAYER_ADDITIVE);
    VFCurveNode node("", "", nullptr, 0, 0);
    ASSERT_TRUE(node.OxaRetrieve(&file.reader));
    EXPECT_EQ(node.GetCount(), 0);
    EXPECT_EQ(node.FCurveGet()->GetDefaultValue(), 5.0f);
    EXPECT_FALSE(node.OxaRetrieve(&file.reader));  // no "Channel" left

    // Version 4000 files: a typed "Lcl Rotation" channel under a longer name loses its layer type.
    MemoryFile old(true, 4000, [&](VOxa& f) {
        Channel(f, "Lcl Rotation", [&] {
            for (const char* axis : {"X", "Y", "Z"})
                Channel(f, axis, [&] { DefaultOnly(f, 0); });
            IntField(f, "LayerType", 2);
        });
    });
    VFCurveNode* rotation = Vector3Node("Lcl Rotation", "Lcl Rotation", 2);
    VFCurveNode holder("H", "H", nullptr, 0, 0);
    holder.Add(rotation);
    ASSERT_NE(VFCurveNode::OxaRetrieveChild(&old.reader, &holder, false, true, true), nullptr);
    EXPECT_EQ(rotation->GetLayerType(), 0);
}

TEST(FCurveNodeStore, TimeWarpIds) {
    VFCurveNode* warp = VFCurveNode::CreateFromName("Warp", VDataType::Find("TimeWarp"));
    warp->FCurveSet(LinearCurve({}, 1.5f));
    VPairArray table;
    table.Add(7, (intptr_t)warp);
    VFCurveNodeSetTimeWarpSet(&table);
    int id = 0;
    EXPECT_TRUE(VFCurveNodeFindTimeWarpId(&id, warp));
    EXPECT_EQ(id, 7);
    EXPECT_EQ(VFCurveNodeFindTimeWarp(7), warp);
    EXPECT_EQ(VFCurveNodeFindTimeWarp(8), nullptr);
    EXPECT_FALSE(VFCurveNodeFindTimeWarpId(&id, nullptr));
    warp->IncReferenceCount();  // the table's own hold

    VFCurveNode* t = Vector3Node("T", "Lcl Translation", 1);
    t->SetTimeWarp(warp);
    MemoryFile file(false, 6000, [&](VOxa& f) {
        t->OxaStore(&f);
        // A component's warp goes to its parent.
        Channel(f, "P", [&] {
            Channel(f, "X", [&] {
                DefaultOnly(f, 0);
                IntField(f, "TimeWarpID", 7);
            });
        });
    });
    VFCurveNode* read = VFCurveNode::OxaRetrieveChannel(&file.reader);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->GetTimeWarp(), warp);
    VFCurveNode* p = VFCurveNode::OxaRetrieveChannel(&file.reader);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->GetTimeWarp(), warp);
    EXPECT_EQ(p->Get(0)->GetTimeWarp(), nullptr);
    delete p;
    delete read;
    delete t;
    VFCurveNodeSetTimeWarpSet(nullptr);
    EXPECT_EQ(VFCurveNodeFindTimeWarp(7), nullptr);
    EXPECT_TRUE(VFCurveNode::Release(warp));
}

TEST(FCurveNodeStore, QuaternionLayersRoundTrip) {
    for (bool binary : {true, false}) {
        VFCurveNode* node = Vector3Node("Q", "Lcl Rotation", 2);
        node->SetLayerType(eFCURVENODE_LAYER_QUATERNION);
        const double base[2][4] = {{0.25, -0.5, 0.125, 1.0}, {0.5, 0.25, -0.75, 0.5}};
        const double layer[2][4] = {{0.0, 0.3, 0.0, 0.9}, {-0.2, 0.1, 0.4, 0.8}};
        node->CreateLayerAt(1);
        for (int i = 0; i < 4; ++i) {
            node->Get(i)->FCurveReplace(LinearCurve({{0, base[0][i]}, {2, base[1][i]}}));
            node->GetNextLayer()->Get(i)->FCurveReplace(
                LinearCurve({{0.5, layer[0][i]}, {1.5, layer[1][i]}}));
        }
        MemoryFile file(binary, 6000, [&](VOxa& f) { EXPECT_TRUE(node->OxaStore(&f)); });
        VFCurveNode* read = VFCurveNode::OxaRetrieveChannel(&file.reader);
        ASSERT_NE(read, nullptr) << file.reader.GetError().GetLastErrorString().Buffer();
        EXPECT_EQ(read->GetLayerType(), eFCURVENODE_LAYER_QUATERNION);
        ASSERT_EQ(read->GetCount(), 4);
        ASSERT_NE(read->GetNextLayer(), nullptr);
        EXPECT_EQ(read->GetNextLayer()->GetLayerID(), 1);
        EXPECT_EQ(read->GetNextLayer()->GetLayerType(), eFCURVENODE_LAYER_QUATERNION);
        ASSERT_EQ(read->GetNextLayer()->GetCount(), 4);
        for (double t : {-1.0, 0.0, 0.7, 1.0, 1.6, 3.0}) {
            double expected[4], actual[4];
            ASSERT_EQ(node->Evaluate(expected, Sec(t)) - expected, 3);
            ASSERT_EQ(read->Evaluate(actual, Sec(t)) - actual, 3);
            for (int i = 0; i < 3; ++i)
                EXPECT_NEAR(actual[i], expected[i], 1e-9) << (binary ? "binary" : "text") << " at " << t;
            // Each layer's own components, W included.
            for (int id : {0, 1}) {
                ASSERT_EQ(node->EvaluateLayer(expected, Sec(t), nullptr, id) - expected, 4);
                ASSERT_EQ(read->EvaluateLayer(actual, Sec(t), nullptr, id) - actual, 4);
                for (int i = 0; i < 4; ++i)
                    EXPECT_EQ(actual[i], expected[i]) << "layer " << id << " component " << i << " at " << t;
            }
        }
        delete read;
        delete node;
    }
}

TEST(FCurveNodeStore, LayerChainsUpToTheLimit) {
    // 256 layers above the base are read; one more is refused as corrupt.
    for (int layers : {256, 257}) {
        VFCurveNode* node = VFCurveNode::CreateFromName("Intensity");
        node->FCurveSet(LinearCurve({}, 1.0f));
        for (int id = 1; id <= layers; ++id)
            node->CreateLayerAt(id);
        MemoryFile file(true, 6000, [&](VOxa& f) { EXPECT_TRUE(node->OxaStore(&f)); });
        VFCurveNode* read = VFCurveNode::OxaRetrieveChannel(&file.reader);
        if (layers == 256) {
            ASSERT_NE(read, nullptr) << file.reader.GetError().GetLastErrorString().Buffer();
            int count = 0;
            for (VFCurveNode* layer = read->GetNextLayer(); layer; layer = layer->GetNextLayer())
                ++count;
            EXPECT_EQ(count, 256);
        } else {
            EXPECT_EQ(read, nullptr);
            EXPECT_EQ(file.reader.GetError().GetLastErrorID(), VOxa::eFILE_CORRUPTED);
            EXPECT_NE(
                std::string(file.reader.GetError().GetLastErrorString().Buffer()).find("too many layers"),
                std::string::npos);
        }
        delete read;
        delete node;
    }
}

TEST(FCurveNodeStore, DamagedInputFailsCleanly) {
    struct Case {
        const char* what;
        std::function<void(VOxa&)> write;
    };
    std::vector<Case> cases = {
        {"unknown layer type", [](VOxa& f) { Channel(f, "A", [&] { IntField(f, "LayerType", 9); }); }},
        {"negative layer id", [](VOxa& f) { Channel(f, "A", [&] { IntField(f, "LayerID", -3); }); }},
        {"layer chain referring to itself",
         [](VOxa& f) {
             Channel(f, "A", [&] {
                 DefaultOnly(f, 0);
                 Channel(
                     f, "A", [&] { DefaultOnly(f, 0); }, "LayerChannel");
             });
         }},
        {"layer with a missing child",
         [](VOxa& f) {
             Channel(f, "T", [&] {
                 for (const char* axis : {"X", "Y", "Z"})
                     Channel(f, axis, [&] { DefaultOnly(f, 0); });
                 Channel(
                     f, "T",
                     [&] {
                         for (const char* axis : {"X", "Y"}) {
                             Channel(f, axis, [&] {
                                 DefaultOnly(f, 0);
                                 IntField(f, "LayerID", 1);
                             });
                         }
                         IntField(f, "LayerID", 1);
                     },
                     "LayerChannel");
             });
         }},
        {"malformed curve: keys announced but absent",
         [](VOxa& f) {
             Channel(f, "A", [&] {
                 f.FieldWriteBegin("Default");
                 f.FieldWriteD(0);
                 f.FieldWriteEnd();
                 IntField(f, "KeyVer", 4004);
                 IntField(f, "KeyCount", 3);
             });
         }},
        {"name longer than any buffer", [](VOxa& f) { Channel(f, std::string(5000, 'n').c_str(), [] {}); }},
        {"nesting deeper than a channel",
         [](VOxa& f) {
             std::function<void(int)> nest = [&](int depth) {
                 Channel(f, "N", [&] {
                     if (depth < 40) nest(depth + 1);
                 });
             };
             nest(0);
         }},
    };
    for (bool binary : {true, false}) {
        for (const Case& c : cases) {
            MemoryFile file(binary, 6000, c.write);
            VFCurveNode* node = VFCurveNode::OxaRetrieveChannel(&file.reader);
            EXPECT_EQ(node, nullptr) << c.what;
            EXPECT_GE(file.reader.GetError().GetLastErrorID(), 0) << c.what;
            EXPECT_GT(file.reader.GetError().GetLastErrorString().GetLen(), 0) << c.what;
            delete node;
        }
    }

    // A damaged block inside a channel: the file reports it, and the channel is not read.
    for (bool binary : {true, false}) {
        VFCurveNode* node = VFCurveNode::CreateFromName("A");
        node->FCurveSet(LinearCurve({{0, 1}, {1, 2}}));
        MemoryFile written(binary, 6000, [&](VOxa& f) { node->OxaStore(&f); });
        delete node;
        std::vector<uint8_t> bytes = written.bytes;
        std::string all(bytes.begin(), bytes.end());
        size_t at = all.find("Default");
        ASSERT_NE(at, std::string::npos);
        if (binary) {
            bytes[at - 12 + 5] = 0x7F;  // the record length of "Default" claims more than the block
        } else {
            bytes[at + 7] = ' ';  // "Default 0" is no field line
        }
        VOxa reader;
        ASSERT_TRUE(reader.MemoryOpen(bytes.data(), bytes.size()));
        ASSERT_TRUE(reader.SectionReadBegin(0));
        EXPECT_EQ(VFCurveNode::OxaRetrieveChannel(&reader), nullptr) << (binary ? "binary" : "text");
        EXPECT_EQ(reader.GetError().GetLastErrorID(), VOxa::eFILE_CORRUPTED);
    }

    // A warp that would evaluate the node it warps is refused too.
    VFCurveNode* warp = VFCurveNode::CreateFromName("Warp", VDataType::Find("TimeWarp"));
    VPairArray table;
    table.Add(3, (intptr_t)warp);
    VFCurveNodeSetTimeWarpSet(&table);
    MemoryFile file(true, 6000, [](VOxa& f) { Channel(f, "Warp", [&] { IntField(f, "TimeWarpID", 3); }); });
    ASSERT_TRUE(file.reader.FieldReadBegin("Channel"));
    file.reader.FieldReadS();
    ASSERT_TRUE(file.reader.FieldReadBlockBegin());
    EXPECT_FALSE(warp->OxaRetrieveBody(&file.reader, false, true, true));
    EXPECT_EQ(warp->GetTimeWarp(), nullptr);
    VFCurveNodeSetTimeWarpSet(nullptr);
    delete warp;
}

// A user name is written only when asked for and when it differs from the name; it comes back
// on reading. Without a file nothing is stored or read.
TEST(FCurveNodeStore, UserNameWrittenOnlyWhenItDiffers) {
    for (const char* userName : {"Walk", "Stride"}) {
        VFCurveNode* node = VFCurveNode::CreateFromName("Walk");
        node->SetUserName(userName);
        node->FCurveSet(VFCurve::Create());
        MemoryFile file(false, 5000, [&](VOxa& f) { EXPECT_TRUE(node->OxaStore(&f, false, false, false)); });
        const std::string text(file.bytes.begin(), file.bytes.end());
        const bool differs = std::string(userName) != "Walk";
        EXPECT_EQ(text.find("UserName") != std::string::npos, differs) << text;
        VFCurveNode* read = VFCurveNode::OxaRetrieveChannel(&file.reader);
        ASSERT_NE(read, nullptr);
        EXPECT_STREQ(read->GetUserName(), userName);
        delete read;
        EXPECT_FALSE(node->OxaStore(nullptr));
        EXPECT_FALSE(node->OxaRetrieve(nullptr));
        EXPECT_FALSE(node->OxaRetrieveBody(nullptr, false, true, true));
        delete node;
    }
}
