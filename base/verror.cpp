#include "base/verror.h"

VError::VError(const char* const* table, int count) : mTable(table), mCount(table && count > 0 ? count : 0) {}

const char* VError::GetErrorString(int id) const {
    if (id < 0 || id >= mCount || !mTable[id]) return "";
    return mTable[id];
}

void VError::SetLastErrorID(int id) {
    mLastErrorID = id;
    mLastErrorString = GetErrorString(id);
}

void VError::SetLastError(int id, const char* text) {
    mLastErrorID = id;
    mLastErrorString = text ? text : "";
}

void VError::ClearError() {
    mLastErrorID = -1;
    mLastErrorString = "";
}
