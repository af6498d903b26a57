#include "scene/voxa_global_time_settings.h"

namespace {

const char* const kTimeErrors[] = {"Index out of range."};

}  // namespace

VOxaGlobalTimeSettings::VOxaGlobalTimeSettings() : mError(kTimeErrors, eErrorCount) {
    RestoreDefaultSettings();
}

VOxaGlobalTimeSettings::~VOxaGlobalTimeSettings() {
    RemoveAllTimeMarkers();
}

VOxaGlobalTimeSettings& VOxaGlobalTimeSettings::operator=(const VOxaGlobalTimeSettings& other) {
    if (this == &other) return *this;
    mTimeMode = other.mTimeMode;
    mTimeFormat = other.mTimeFormat;
    mSnapOnFrames = other.mSnapOnFrames;
    RemoveAllTimeMarkers();
    mTimeMarkers.reserve(other.mTimeMarkers.size());
    for (const VOxaTimeMarker* marker : other.mTimeMarkers)
        mTimeMarkers.push_back(new VOxaTimeMarker(*marker));
    mReferenceTimeIndex = other.mReferenceTimeIndex;
    return *this;
}

void VOxaGlobalTimeSettings::RestoreDefaultSettings() {
    mTimeMode = 6;
    mTimeFormat = 1;
    mSnapOnFrames = 0;
    RemoveAllTimeMarkers();
}

int VOxaGlobalTimeSettings::GetTimeMode() const {
    if (mTimeMode != 0) return mTimeMode;
    int global = VTime::GetGlobalTimeMode();
    return global != 0 ? global : 6;
}

int VOxaGlobalTimeSettings::GetTimeFormat() const {
    if (mTimeFormat != 2) return mTimeFormat;
    int global = VTime::GetGlobalTimeFormat();
    return global != 2 ? global : 1;
}

VOxaTimeMarker* VOxaGlobalTimeSettings::GetTimeMarker(int index) {
    if (index < 0 || index >= GetTimeMarkerCount()) {
        mError.SetLastErrorID(eIndexOutOfRange);
        return nullptr;
    }
    return mTimeMarkers[index];
}

void VOxaGlobalTimeSettings::AddTimeMarker(const VOxaTimeMarker& marker) {
    mTimeMarkers.push_back(new VOxaTimeMarker(marker));
}

void VOxaGlobalTimeSettings::RemoveAllTimeMarkers() {
    while (!mTimeMarkers.empty()) {
        delete mTimeMarkers.back();
        mTimeMarkers.pop_back();
    }
    mReferenceTimeIndex = -1;
}

bool VOxaGlobalTimeSettings::SetReferenceTimeIndex(int index) {
    if (index < 0 || index >= GetTimeMarkerCount()) {
        mError.SetLastErrorID(eIndexOutOfRange);
        return false;
    }
    mReferenceTimeIndex = index;
    return true;
}
