#include "base/vcallback_list.h"

#include <gtest/gtest.h>

#include <string>

#include "base/vprogress.h"

namespace {

struct Recorder {
    std::string calls;
};

struct Listener {
    Recorder* recorder;
    char name;
    bool handles;
    VCallbackList* list = nullptr;
    bool removeSelf = false;
};

void OnEvent(void* object, void* event, bool* handled) {
    Listener* l = static_cast<Listener*>(object);
    l->recorder->calls += l->name;
    *static_cast<int*>(event) += 1;
    if (l->removeSelf) l->list->Remove(OnEvent, l);
    if (l->handles) *handled = true;
}

}  // namespace

TEST(VCallbackList, FiresNewestToOldestUntilHandled) {
    Recorder rec;
    Listener a{&rec, 'a', false}, b{&rec, 'b', true}, c{&rec, 'c', false};
    VCallbackList list;
    EXPECT_TRUE(list.Add(OnEvent, &a));
    EXPECT_TRUE(list.Add(OnEvent, &b));
    EXPECT_TRUE(list.Add(OnEvent, &c));
    EXPECT_FALSE(list.Add(OnEvent, &c));  // no duplicates
    EXPECT_FALSE(list.Add(nullptr, &c));
    int count = 0;
    EXPECT_TRUE(list.Fire(&count));
    EXPECT_EQ(rec.calls, "cb");  // a is never reached
    EXPECT_EQ(count, 2);

    EXPECT_TRUE(list.Remove(OnEvent, &b));
    EXPECT_FALSE(list.Remove(OnEvent, &b));
    rec.calls.clear();
    EXPECT_FALSE(list.Fire(&count));
    EXPECT_EQ(rec.calls, "ca");

    // A callback that removes itself neither skips nor repeats an entry.
    c.list = &list;
    c.removeSelf = true;
    rec.calls.clear();
    list.Fire(&count);
    EXPECT_EQ(rec.calls, "ca");
    EXPECT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.RemoveObject(&a), 1);
    EXPECT_FALSE(list.Fire(&count));
}

TEST(VProgress, ReportsAndCancels) {
    struct Seen {
        int calls = 0;
        float last = -1;
        bool stopAt50 = true;
    } seen;
    VProgress progress;
    progress.SetCallback(
        [](void* data, const char* status, float percent) {
            Seen* s = static_cast<Seen*>(data);
            ++s->calls;
            s->last = percent;
            return !(s->stopAt50 && percent >= 50.0f) && status != nullptr;
        },
        &seen);
    EXPECT_TRUE(progress.Update("Reading", 10.0f));
    EXPECT_EQ(progress.GetStatus(), "Reading");
    EXPECT_TRUE(progress.Update(nullptr, -5.0f));
    EXPECT_EQ(progress.GetPercent(), 0.0f);
    EXPECT_EQ(progress.GetStatus(), "Reading");
    EXPECT_FALSE(progress.Update("Writing", 150.0f));
    EXPECT_EQ(seen.last, 100.0f);
    EXPECT_TRUE(progress.IsCancelled());
    seen.stopAt50 = false;
    EXPECT_FALSE(progress.Update("Still", 1.0f));  // stays cancelled
    progress.Reset();
    EXPECT_TRUE(progress.Update("Again", 1.0f));
    progress.Cancel();
    EXPECT_FALSE(progress.Update("x", 2.0f));
    EXPECT_EQ(seen.calls, 6);
}
