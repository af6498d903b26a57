#include "scene/voxa_renaming_strategy.h"

#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

// Shows `name` to `strategy` as a fresh pair; answers the pair.
VOxaObjectName Shown(VRenamingStrategy& strategy, const std::string& name, bool* changed = nullptr) {
    VOxaObjectName pair(name.c_str());
    bool answer = strategy.Rename(pair);
    if (changed) *changed = answer;
    return pair;
}

std::string Upper(std::string text) {
    for (char& c : text)
        c = (char)std::toupper((unsigned char)c);
    return text;
}

// Straightforward scans over every record, as the renaming rules are written.
struct Reference {
    struct Record {
        std::string name;
        int counter;
    };
    std::vector<Record> records;

    bool Number(std::string& name) {
        for (Record& r : records) {
            if (r.name == name) {
                name = r.name + std::to_string(++r.counter);
                return true;
            }
        }
        records.push_back({name, 0});
        return false;
    }

    bool Encode(std::string& name, int mode) {
        bool changed = false;
        for (Record& r : records) {
            bool sameNoCase = Upper(r.name) == Upper(name);
            if (mode != 1 && sameNoCase && r.name != name) {
                unsigned ul = 0, lu = 0;
                for (size_t k = 0; k < r.name.size() && k < 32; ++k) {
                    if (r.name[k] == name[k]) continue;
                    (std::isupper((unsigned char)r.name[k]) ? ul : lu) |= 1u << k;
                }
                name = r.name + "_ncl2_" + (ul ? "ul" + std::to_string(ul) : "") +
                       (lu ? "lu" + std::to_string(lu) : "");
                changed = true;
                break;
            }
            if (mode != 2 && r.name == name) {
                name = r.name + "_ncl1_" + std::to_string(++r.counter);
                changed = true;
                break;
            }
        }
        records.push_back({name, 0});
        return changed;
    }
};

// Random short names over a small alphabet, so that exact and letter-case clashes abound.
std::vector<std::string> RandomNames(int count, const std::string& alphabet, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
        std::string name;
        int length = 1 + (int)(random() % 3);
        for (int k = 0; k < length; ++k)
            name += alphabet[random() % alphabet.size()];
        names.push_back(name);
    }
    return names;
}

TEST(scene_RenamingStrategy, NumberingMatchesAScanOverTheRecords) {
    VNumberRenamingStrategy strategy;
    EXPECT_EQ(Shown(strategy, "Cube").GetCurrent(), std::string("Cube"));
    EXPECT_EQ(Shown(strategy, "Cube").GetCurrent(), std::string("Cube1"));
    bool changed = false;
    VOxaObjectName third = Shown(strategy, "Cube", &changed);
    EXPECT_TRUE(changed);
    EXPECT_STREQ(third.GetCurrent(), "Cube2");
    EXPECT_STREQ(third.GetInitial(), "Cube") << "only the current name changes";

    strategy.Clear();
    EXPECT_STREQ(Shown(strategy, "a").GetCurrent(), "a");
    EXPECT_STREQ(Shown(strategy, "A").GetCurrent(), "A") << "case differs: no clash";
    EXPECT_STREQ(Shown(strategy, "a").GetCurrent(), "a1");
    EXPECT_STREQ(Shown(strategy, "a1").GetCurrent(), "a1") << "a given name is not recorded";

    std::unique_ptr<VRenamingStrategy> clone(strategy.Clone());
    ASSERT_NE(dynamic_cast<VNumberRenamingStrategy*>(clone.get()), nullptr);
    EXPECT_STREQ(Shown(*clone, "a").GetCurrent(), "a") << "a clone starts empty";

    // 20,000 names with many repeats, against the plain scan.
    VNumberRenamingStrategy fresh;
    Reference reference;
    for (const std::string& name : RandomNames(20000, "aAb1", 7)) {
        std::string expected = name;
        bool expectedChange = reference.Number(expected);
        VOxaObjectName pair = Shown(fresh, name, &changed);
        ASSERT_EQ(pair.GetCurrent(), expected) << "input " << name;
        ASSERT_EQ(changed, expectedChange) << "input " << name;
    }
}

TEST(scene_RenamingStrategy, ShortNamesAreCutThenNumbered) {
    VRenamingStrategy3DS strategy;
    bool changed = true;
    EXPECT_STREQ(Shown(strategy, "Model::LongObjectName", &changed).GetCurrent(), "LongObj");
    EXPECT_FALSE(changed) << "a cut alone is not a rename";
    EXPECT_STREQ(Shown(strategy, "LongObjectName2", &changed).GetCurrent(), "LongObj1");
    EXPECT_TRUE(changed);
    EXPECT_STREQ(Shown(strategy, "A::B::C").GetCurrent(), "B::C") << "only the first prefix goes";

    VOxaObjectName pair("Material::Twelve chars");
    strategy.RenameToLength(pair, 10);
    EXPECT_STREQ(pair.GetCurrent(), "Twelve ");
    const int limits[] = {2, 0, -5, INT_MIN};
    for (int limit : limits) {
        VRenamingStrategy3DS own;
        VOxaObjectName uncut("Model::A rather long name");
        own.RenameToLength(uncut, limit);
        EXPECT_STREQ(uncut.GetCurrent(), "A rather long name") << "limit " << limit;
    }
    VOxaObjectName empty("Short");
    strategy.RenameToLength(empty, 3);
    EXPECT_STREQ(empty.GetCurrent(), "") << "a limit of 3 keeps nothing";

    strategy.Clear();
    EXPECT_STREQ(Shown(strategy, "LongObjectName").GetCurrent(), "LongObj");
    std::unique_ptr<VRenamingStrategy> clone(strategy.Clone());
    ASSERT_NE(dynamic_cast<VRenamingStrategy3DS*>(clone.get()), nullptr);
    EXPECT_STREQ(Shown(*clone, "LongObjectName").GetCurrent(), "LongObj");

    // A name of 100,000 characters is cut like any other.
    std::string huge(100000, 'x');
    EXPECT_STREQ(Shown(strategy, huge).GetCurrent(), "xxxxxxx");
    EXPECT_STREQ(Shown(strategy, huge).GetCurrent(), "xxxxxxx1");
}

TEST(scene_RenamingStrategy, EncodingMarksDuplicatesAndCaseClashes) {
    VOxaPluginRenamingStrategy encoder(0, false);
    EXPECT_EQ(encoder.Clone(), nullptr);
    EXPECT_STREQ(Shown(encoder, "Bone").GetCurrent(), "Bone");
    EXPECT_STREQ(Shown(encoder, "Bone").GetCurrent(), "Bone_ncl1_1");
    EXPECT_STREQ(Shown(encoder, "Bone").GetCurrent(), "Bone_ncl1_2");
    EXPECT_STREQ(Shown(encoder, "Arm").GetCurrent(), "Arm");
    EXPECT_STREQ(Shown(encoder, "ARM").GetCurrent(), "Arm_ncl2_lu6");
    encoder.Clear();
    EXPECT_STREQ(Shown(encoder, "Bone").GetCurrent(), "Bone_ncl1_3") << "Clear keeps the records";

    encoder.SetClashMode(VOxaPluginRenamingStrategy::eBothClashes);
    EXPECT_STREQ(Shown(encoder, "Arm").GetCurrent(), "Arm_ncl1_1") << "the same mode keeps the records";
    encoder.SetClashMode(VOxaPluginRenamingStrategy::eExactDuplicates);
    EXPECT_STREQ(Shown(encoder, "ARM").GetCurrent(), "ARM") << "a new mode forgets the records";
    EXPECT_STREQ(Shown(encoder, "arm").GetCurrent(), "arm") << "case clashes are not looked for";
    EXPECT_STREQ(Shown(encoder, "arm").GetCurrent(), "arm_ncl1_1") << "arm was recorded";
    encoder.SetClashMode(VOxaPluginRenamingStrategy::eCaseClashes);
    EXPECT_STREQ(Shown(encoder, "ARM").GetCurrent(), "ARM");
    EXPECT_STREQ(Shown(encoder, "ARM").GetCurrent(), "ARM") << "duplicates are not looked for";
    EXPECT_STREQ(Shown(encoder, "arm").GetCurrent(), "ARM_ncl2_ul7");
    EXPECT_STREQ(Shown(encoder, "aRm").GetCurrent(), "ARM_ncl2_ul5") << "the first record wins";

    // Differences at positions 32 and beyond are not encoded, and the masks are unsigned.
    std::string base = "a" + std::string(31, 'b') + "cd";
    std::string varied = "A" + std::string(31, 'b') + "CD";
    encoder.SetClashMode(VOxaPluginRenamingStrategy::eBothClashes);
    Shown(encoder, base);
    EXPECT_EQ(Shown(encoder, varied).GetCurrent(), base + "_ncl2_lu1");
    std::string allUpper(40, 'Q');
    Shown(encoder, allUpper);
    EXPECT_EQ(Shown(encoder, std::string(40, 'q')).GetCurrent(), allUpper + "_ncl2_ul4294967295");

    // Every mode over 3,000 names with many repeats, against the plain scan.
    for (int mode = 0; mode < 3; ++mode) {
        VOxaPluginRenamingStrategy fresh(0, false);
        fresh.SetClashMode(mode);
        Reference reference;
        for (const std::string& name : RandomNames(3000, "aAbB", 11 + mode)) {
            std::string expected = name;
            bool expectedChange = reference.Encode(expected, mode);
            bool changed = false;
            VOxaObjectName pair = Shown(fresh, name, &changed);
            ASSERT_EQ(pair.GetCurrent(), expected) << "mode " << mode << ", input " << name;
            ASSERT_EQ(changed, expectedChange) << "mode " << mode << ", input " << name;
        }
    }
}

TEST(scene_RenamingStrategy, DecodingUndoesEncoding) {
    struct Case {
        const char* in;
        bool brackets;
        const char* current;
        const char* initial;
        bool changed;
    } cases[] = {
        {"Bone_ncl1_1", false, "Bone", "Bone_ncl1_1", true},
        {"Arm_ncl2_lu6", false, "ARM", "Arm_ncl2_lu6", true},
        {"ARM_ncl2_ul7", false, "arm", "ARM_ncl2_ul7", true},
        {"Abc_ncl2_ul1lu6", false, "aBC", "Abc_ncl2_ul1lu6", true},
        {"Name(12)", false, "Name", "Name(12)", true},
        {"Name(12)", true, "Name", "Name_12_", true},
        {"Joint (2)", false, "Joint_", "Joint (2)", true},
        {"Name(x1)", false, "Name_x1_", "Name(x1)", false},
        {"(3)", false, "_3_", "(3)", false},
        {"my-cube", false, "my_cube", "my-cube", false},
        {"Plain", false, "Plain", "Plain", false},
        // Masks beyond 32 bits or with bits past the name's end still end.
        {"ab_ncl2_lu99999999999999999999", false, "AB", "ab_ncl2_lu99999999999999999999", true},
        {"x_ncl2_ul", false, "x", "x_ncl2_ul", true},
    };
    for (const Case& c : cases) {
        VOxaPluginRenamingStrategy decoder(1, c.brackets);
        bool changed = !c.changed;
        VOxaObjectName pair = Shown(decoder, c.in, &changed);
        EXPECT_STREQ(pair.GetCurrent(), c.current) << c.in;
        EXPECT_STREQ(pair.GetInitial(), c.initial) << c.in;
        EXPECT_EQ(changed, c.changed) << c.in;
    }

    // Without a marker the two names of the pair are exchanged.
    VOxaPluginRenamingStrategy decoder(1, false);
    VOxaObjectName pair("Old name");
    pair.SetCurrent("New");
    EXPECT_FALSE(decoder.Rename(pair));
    EXPECT_STREQ(pair.GetCurrent(), "Old_name");
    EXPECT_STREQ(pair.GetInitial(), "New");

    VString text("a.b c");
    EXPECT_STREQ(decoder.ReplaceNonAlphanumeric(text, "-").Buffer(), "a-b-c");
    EXPECT_STREQ(decoder.ReplaceNonAlphanumeric(text, "").Buffer(), "a-b-c")
        << "an empty replacement does nothing";

    // Encoding then decoding gives every name back (letters and digits, up to 32 characters).
    VOxaPluginRenamingStrategy encoder(0, false);
    for (const std::string& name : RandomNames(5000, "aAbB1", 3)) {
        VOxaObjectName encoded = Shown(encoder, name);
        VOxaObjectName decoded = Shown(decoder, encoded.GetCurrent());
        ASSERT_EQ(decoded.GetCurrent(), name) << "encoded as " << encoded.GetCurrent();
        ASSERT_STREQ(decoded.GetInitial(), encoded.GetCurrent());
    }
    // Case differences at positions 32 and beyond are lost.
    std::string base = std::string(32, 'a') + "bc";
    Shown(encoder, base);
    VOxaObjectName encoded = Shown(encoder, "A" + std::string(31, 'a') + "BC");
    EXPECT_EQ(Shown(decoder, encoded.GetCurrent()).GetCurrent(), "A" + std::string(31, 'a') + "bc");
}

TEST(scene_RenamingStrategy, StripNamePrefix) {
    EXPECT_STREQ(VOxaStripNamePrefixCStr("Model::Cube"), "Cube");
    EXPECT_STREQ(VOxaStripNamePrefixCStr("A::B::C"), "B::C");
    EXPECT_STREQ(VOxaStripNamePrefixCStr("Cube"), "Cube");
    EXPECT_STREQ(VOxaStripNamePrefixCStr(nullptr), "");
    EXPECT_STREQ(VOxaStripNamePrefix(VString("Texture::")), "");

    // Results longer than 256 bytes are whole; the next call overwrites the shared buffer.
    std::string longName(1000, 'n');
    const char* first = VOxaStripNamePrefix(VString(("Model::" + longName).c_str()));
    EXPECT_EQ(std::string(first), longName);
    const char* again = VOxaStripNamePrefixCStr(first);
    EXPECT_EQ(std::string(again), longName) << "an earlier answer may be passed back";
    const char* next = VOxaStripNamePrefixCStr("X::Y");
    EXPECT_STREQ(next, "Y");
}

}  // namespace
