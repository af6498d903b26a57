#include <gtest/gtest.h>

#include "base/vtime.h"
#include "scene/voxa_global_time_settings.h"

namespace {

// Sets the process-wide defaults of VTime for one test and puts the former ones back.
class GlobalTimeDefaults {
public:
    GlobalTimeDefaults(int mode, int format)
        : mMode(VTime::GetGlobalTimeMode()), mFormat(VTime::GetGlobalTimeFormat()) {
        VTime::SetGlobalTimeMode(mode);
        VTime::SetGlobalTimeFormat(format);
    }
    ~GlobalTimeDefaults() {
        VTime::SetGlobalTimeMode(mMode);
        VTime::SetGlobalTimeFormat(mFormat);
    }

private:
    int mMode;
    int mFormat;
};

VOxaTimeMarker Marker(const char* name, int64_t ticks, bool loop) {
    VOxaTimeMarker marker;
    marker.mName = name;
    marker.mTime = VTime(ticks);
    marker.mLoop = loop;
    return marker;
}

TEST(scene_GlobalTimeSettings, TimeModeFallsBackToTheProcessDefault) {
    VOxaGlobalTimeSettings s;
    s.SetTimeMode(0);
    {
        GlobalTimeDefaults defaults(VTime::ePAL, 1);
        EXPECT_EQ(s.GetTimeMode(), VTime::ePAL) << "mode 0 reads the process-wide default";
    }
    {
        GlobalTimeDefaults defaults(0, 1);
        EXPECT_EQ(s.GetTimeMode(), 6) << "with both at 0 the answer is 6";
        s.SetTimeMode(VTime::eFRAMES24);
        EXPECT_EQ(s.GetTimeMode(), VTime::eFRAMES24);
    }
}

TEST(scene_GlobalTimeSettings, TimeFormatFallsBackToTheProcessDefault) {
    VOxaGlobalTimeSettings s;
    s.SetTimeFormat(2);
    {
        GlobalTimeDefaults defaults(6, 2);
        EXPECT_EQ(s.GetTimeFormat(), 1) << "with both at 2 the answer is 1";
    }
    {
        GlobalTimeDefaults defaults(6, 5);
        EXPECT_EQ(s.GetTimeFormat(), 5);
        s.SetTimeFormat(3);
        EXPECT_EQ(s.GetTimeFormat(), 3) << "a stored format other than 2 wins";
        s.SetTimeFormat(0);
        EXPECT_EQ(s.GetTimeFormat(), 0);
    }
}

TEST(scene_GlobalTimeSettings, MarkersAndReferenceIndex) {
    VOxaGlobalTimeSettings s;
    EXPECT_FALSE(s.SetReferenceTimeIndex(0));
    EXPECT_EQ(s.GetLastErrorID(), 0);
    EXPECT_STREQ(s.GetLastErrorString(), "Index out of range.");
    EXPECT_EQ(s.GetReferenceTimeIndex(), -1);
    EXPECT_EQ(s.GetTimeMarker(0), nullptr);

    VOxaTimeMarker marker = Marker("start", 100, true);
    s.AddTimeMarker(marker);
    marker.mName = "changed";
    ASSERT_EQ(s.GetTimeMarkerCount(), 1);
    VOxaTimeMarker* stored = s.GetTimeMarker(0);
    EXPECT_STREQ(stored->mName.Buffer(), "start") << "the list holds a copy";
    EXPECT_EQ(stored->mTime, VTime(100));
    EXPECT_TRUE(stored->mLoop);
    s.AddTimeMarker(Marker("end", 900, false));
    EXPECT_EQ(s.GetTimeMarker(0), stored) << "a marker keeps its place while the list grows";

    EXPECT_FALSE(s.SetReferenceTimeIndex(2));
    EXPECT_FALSE(s.SetReferenceTimeIndex(-1));
    EXPECT_EQ(s.GetReferenceTimeIndex(), -1);
    EXPECT_TRUE(s.SetReferenceTimeIndex(1));
    EXPECT_EQ(s.GetReferenceTimeIndex(), 1);

    s.RemoveAllTimeMarkers();
    EXPECT_EQ(s.GetTimeMarkerCount(), 0);
    EXPECT_EQ(s.GetReferenceTimeIndex(), -1);
}

TEST(scene_GlobalTimeSettings, AssignmentAndRestore) {
    VOxaGlobalTimeSettings a;
    a.SetTimeMode(VTime::eFRAMES60);
    a.SetTimeFormat(0);
    a.SetSnapOnFramesMode(2);
    a.AddTimeMarker(Marker("a", 1, false));
    a.AddTimeMarker(Marker("b", 2, true));
    ASSERT_TRUE(a.SetReferenceTimeIndex(1));

    VOxaGlobalTimeSettings b;
    b.AddTimeMarker(Marker("old", 5, false));
    b = a;
    EXPECT_EQ(b.GetTimeMode(), VTime::eFRAMES60);
    EXPECT_EQ(b.GetTimeFormat(), 0);
    EXPECT_EQ(b.GetSnapOnFramesMode(), 2);
    ASSERT_EQ(b.GetTimeMarkerCount(), 2) << "the former markers go";
    EXPECT_STREQ(b.GetTimeMarker(0)->mName.Buffer(), "a");
    EXPECT_STREQ(b.GetTimeMarker(1)->mName.Buffer(), "b");
    EXPECT_NE(b.GetTimeMarker(0), a.GetTimeMarker(0));
    EXPECT_EQ(b.GetReferenceTimeIndex(), 1);

    b.RestoreDefaultSettings();
    EXPECT_EQ(b.GetTimeMode(), 6);
    EXPECT_EQ(b.GetTimeFormat(), 1);
    EXPECT_EQ(b.GetSnapOnFramesMode(), 0);
    EXPECT_EQ(b.GetTimeMarkerCount(), 0);
    EXPECT_EQ(b.GetReferenceTimeIndex(), -1);
    EXPECT_EQ(a.GetTimeMarkerCount(), 2);
}

}  // namespace
