#include "objects/vclass_info.h"

#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "base/vallocation_hook.h"
#include "objects/vplug.h"

namespace {

// The registry: records by id and the filters made for them. Function-local so that records
// registering from static initialisers of any file find it constructed.
struct ClassRegistry {
    std::mutex lock;
    std::vector<VClassInfo*> records;                    // index = class id
    std::vector<std::unique_ptr<VClassFilter>> filters;  // parallel to records, made on request
    int useCount = 0;
};

ClassRegistry& Registry() {
    static ClassRegistry registry;
    return registry;
}

}  // namespace

int VClassInfo::GetId() const {
    if (*mIdVariable < 0) RegisterClassId(const_cast<VClassInfo*>(this));
    return *mIdVariable;
}

bool VClassInfo::IsA(int classId) const {
    if (classId < 0) return false;
    for (const VClassInfo* info = this; info; info = info->mParent) {
        if (info->GetId() == classId) return true;
    }
    return false;
}

int RegisterClassId(VClassInfo* info, int id) {
    if (!info) return -1;
    ClassRegistry& r = Registry();
    std::lock_guard<std::mutex> guard(r.lock);
    int current = *info->mIdVariable;
    if (current >= 0 && current < (int)r.records.size() && r.records[current] == info) return current;
    if (id < 0 || (id < (int)r.records.size() && r.records[id] != nullptr)) {
        id = (int)r.records.size();
    }
    if (id >= (int)r.records.size()) {
        // Registration runs from static initialisers, where a std::bad_alloc would end the program
        // before main: without room the class stays unregistered (GetId tries again) and the
        // failure is counted, for a program to find before it starts its work.
        try {
            r.records.reserve(id + 1);
            r.filters.reserve(id + 1);
        } catch (const std::bad_alloc&) {
            oxa_alloc::NoteFailure();
            return -1;
        }
        r.records.resize(id + 1, nullptr);
        r.filters.resize(id + 1);
    }
    r.records[id] = info;
    *info->mIdVariable = id;
    return id;
}

const VClassInfo* FindClassInfo(int classId) {
    ClassRegistry& r = Registry();
    std::lock_guard<std::mutex> guard(r.lock);
    if (classId < 0 || classId >= (int)r.records.size()) return nullptr;
    return r.records[classId];
}

bool VClassFilter::Accepts(const VPlug* plug) const {
    if (!plug) return false;
    if (mClassId == -1) return true;
    return plug->IsA(mClassId);
}

const VClassFilter* GetClassFilter(int classId) {
    static const VClassFilter acceptAll(-1);
    // Carries an id that no class has, so it accepts nothing.
    static const VClassFilter acceptNone(-2);
    if (classId == -1) return &acceptAll;
    ClassRegistry& r = Registry();
    std::lock_guard<std::mutex> guard(r.lock);
    if (classId < 0 || classId >= (int)r.records.size() || !r.records[classId]) return &acceptNone;
    if (!r.filters[classId]) r.filters[classId] = std::make_unique<VClassFilter>(classId);
    return r.filters[classId].get();
}

bool VPlugInit() {
    ClassRegistry& r = Registry();
    std::lock_guard<std::mutex> guard(r.lock);
    ++r.useCount;
    return true;
}

void VPlugTerm() {
    ClassRegistry& r = Registry();
    std::lock_guard<std::mutex> guard(r.lock);
    if (r.useCount <= 0) return;
    if (--r.useCount > 0) return;
    for (size_t i = r.filters.size(); i-- > 0;)
        r.filters[i].reset();
}
