#include "scene/voxa_registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

// A named scene object of the smallest kind.
class Item : public VOxaObject {
public:
    explicit Item(const char* name) : VOxaObject(nullptr, name) {}
};

// The registry against a plain vector under random appends, removals, renames and lookups:
// order, index access, position, membership and the index-th holder of a name must agree
// throughout. Run over a short list, where removals find entries among the newest, and a long
// one, where they need the pointer index and compactions drop it again.
void ExpectAgreementUnderRandomEdits(int poolSize) {
    std::mt19937 random(7);
    std::vector<std::unique_ptr<Item>> pool;
    for (int i = 0; i < poolSize; ++i)
        pool.push_back(std::make_unique<Item>(("N" + std::to_string(i % 37)).c_str()));
    VOxaRegistry<Item> registry;
    std::vector<Item*> model;
    auto listed = [&](Item* item) { return std::find(model.begin(), model.end(), item) != model.end(); };

    for (int step = 0; step < 20000; ++step) {
        Item* item = pool[random() % pool.size()].get();
        switch (random() % 6) {
            case 0:
            case 1:
                if (!listed(item)) {
                    registry.Append(item);
                    model.push_back(item);
                }
                break;
            case 2:
                if (random() % 2 && !model.empty()) {
                    // The newest entries, as a subtree or a node's handles leave.
                    for (int k = (int)(random() % 8); k >= 0 && !model.empty(); --k) {
                        ASSERT_TRUE(registry.Remove(model.back()));
                        model.pop_back();
                    }
                    break;
                }
                ASSERT_EQ(registry.Remove(item), listed(item));
                model.erase(std::remove(model.begin(), model.end(), item), model.end());
                break;
            case 3:
                if (random() % 8 == 0) item->SetName(("N" + std::to_string(random() % 37)).c_str());
                break;
            default: {
                std::string name = "N" + std::to_string(random() % 37);
                int index = (int)(random() % 4);
                Item* expected = nullptr;
                int seen = 0;
                for (Item* m : model) {
                    if (std::strcmp(m->GetName(), name.c_str()) == 0 && seen++ == index) {
                        expected = m;
                        break;
                    }
                }
                ASSERT_EQ(registry.FindByName(name.c_str(), index), expected)
                    << "step " << step << " " << name;
                int count = 0;
                for (Item* m : model)
                    count += std::strcmp(m->GetName(), name.c_str()) == 0;
                ASSERT_EQ(registry.CountByName(name.c_str()), count);
            }
        }
        ASSERT_EQ(registry.GetCount(), (int)model.size());
        if (step % 97 == 0) {
            for (size_t i = 0; i < model.size(); ++i)
                ASSERT_EQ(registry.Get((int)i), model[i]) << "step " << step;
            EXPECT_EQ(registry.Get((int)model.size()), nullptr);
            EXPECT_EQ(registry.Get(-1), nullptr);
        }
        ASSERT_EQ(registry.Contains(item), listed(item)) << "step " << step;
        if (step % 13 == 0) {
            auto at = std::find(model.begin(), model.end(), item);
            ASSERT_EQ(registry.IndexOf(item), at == model.end() ? -1 : (int)(at - model.begin()));
        }
    }
}

TEST(scene_Registry, AgreesWithAPlainListUnderRandomEdits) {
    ExpectAgreementUnderRandomEdits(400);
    ExpectAgreementUnderRandomEdits(3000);
}

// Tearing a long list down from the front, and building it again, keeps lookups right (the
// index reuses removed slots and is rebuilt as it fills).
TEST(scene_Registry, MassRemovalAndRefill) {
    std::vector<std::unique_ptr<Item>> items;
    for (int i = 0; i < 5000; ++i)
        items.push_back(std::make_unique<Item>(("Model::n" + std::to_string(i)).c_str()));
    VOxaRegistry<Item> registry;
    for (int round = 0; round < 3; ++round) {
        for (auto& item : items)
            registry.Append(item.get());
        EXPECT_EQ(registry.FindByName("Model::n4999"), items[4999].get());
        for (int i = 0; i < 4999; ++i)
            ASSERT_TRUE(registry.Remove(items[i].get()));
        EXPECT_EQ(registry.FindByName("Model::n17"), nullptr);
        EXPECT_EQ(registry.First(), items[4999].get());
        ASSERT_TRUE(registry.Remove(items[4999].get()));
        EXPECT_TRUE(registry.IsEmpty());
        EXPECT_FALSE(registry.Remove(items[0].get()));
    }
}

// Objects that join and leave a long-lived list without anybody reading it (the handles of
// nodes made and destroyed input after input): its storage follows its count, not the number of
// objects it ever held, and order and lookups stay right across the compactions.
TEST(scene_Registry, ChurnWithoutReadsKeepsStorageBounded) {
    std::vector<std::unique_ptr<Item>> kept;
    for (int i = 0; i < 10; ++i)
        kept.push_back(std::make_unique<Item>(("kept" + std::to_string(i)).c_str()));
    VOxaRegistry<Item> registry;
    for (auto& item : kept)
        registry.Append(item.get());
    for (int round = 0; round < 2000; ++round) {
        std::vector<std::unique_ptr<Item>> passing;
        for (int i = 0; i < 50; ++i) {
            passing.push_back(std::make_unique<Item>("passing"));
            registry.Append(passing.back().get());
        }
        for (auto& item : passing)
            ASSERT_TRUE(registry.Remove(item.get()));
        ASSERT_LE(registry.GetStorageSize(), (size_t)2 * registry.GetCount() + 100) << round;
    }
    ASSERT_EQ(registry.GetCount(), 10);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(registry.Get(i), kept[(size_t)i].get());
        EXPECT_EQ(registry.IndexOf(kept[(size_t)i].get()), i);
    }
    EXPECT_EQ(registry.FindByName("kept7"), kept[7].get());
    EXPECT_EQ(registry.FindByName("passing"), nullptr);
}

}  // namespace
