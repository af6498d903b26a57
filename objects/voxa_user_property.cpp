#include "objects/voxa_user_property.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "base/vallocation_hook.h"
#include "objects/voxa_object.h"
#include "objects/vproperty.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define OXA_HANDLE_POISONING 1
#endif
#endif
#if !defined(OXA_HANDLE_POISONING) && defined(__SANITIZE_ADDRESS__)
#define OXA_HANDLE_POISONING 1
#endif
#ifdef OXA_HANDLE_POISONING
#include <sanitizer/asan_interface.h>
#endif

namespace {

unsigned gBindingStamp = 0;
thread_local int gOwnHandleScopes = 0;

// The bound handles a program made or bound, by property: few, so one table under a lock serves
// every manager and thread.
std::mutex& TrackedLock() {
    static std::mutex lock;
    return lock;
}
std::unordered_multimap<const VProperty*, VOxaUserProperty*>& TrackedHandles() {
    static auto* table = new std::unordered_multimap<const VProperty*, VOxaUserProperty*>();
    return *table;
}

int TypeOfName(const char* typeName) {
    if (!typeName) return VOxaUserProperty::eUnknown;
    VString name(typeName);
    if (name.CompareNoCase("Bool") == 0) return VOxaUserProperty::eBool;
    if (name.CompareNoCase("Real") == 0 || name.CompareNoCase("Number") == 0) return VOxaUserProperty::eReal;
    if (name.CompareNoCase("Color") == 0) return VOxaUserProperty::eColor;
    if (name.CompareNoCase("Integer") == 0) return VOxaUserProperty::eInteger;
    if (name.CompareNoCase("Vector") == 0) return VOxaUserProperty::eVector;
    if (name.CompareNoCase("Enum") == 0) return VOxaUserProperty::eEnum;
    return VOxaUserProperty::eUnknown;
}

int TypeOfValueType(int valueType) {
    switch (valueType) {
        case eValueBool:
            return VOxaUserProperty::eBool;
        case eValueReal:
        case eValueNumber:
            return VOxaUserProperty::eReal;
        case eValueColor:
        case eValueColorAndAlpha:
            return VOxaUserProperty::eColor;
        case eValueInteger:
            return VOxaUserProperty::eInteger;
        case eValueVector:
        case eValueVector4:
            return VOxaUserProperty::eVector;
        case eValueEnum:
            return VOxaUserProperty::eEnum;
        default:
            return VOxaUserProperty::eUnknown;
    }
}

}  // namespace

struct VOxaUserProperty::Record {
    int mType;
    int mFlags;
    char mName[1];  // as long as the name needs
};

VOxaUserProperty::Record* VOxaUserProperty::MakeRecord(const char* name, int type) {
    const std::size_t length = name ? std::strlen(name) : 0;
    Record* record = static_cast<Record*>(std::malloc(offsetof(Record, mName) + length + 1));
    if (!record) return oxa_alloc::Counted(record);
    record->mType = type;
    record->mFlags = 0;
    if (length > 0) std::memcpy(record->mName, name, length);
    record->mName[length] = '\0';
    return record;
}

VOxaUserProperty::VOxaUserProperty(VOxaSdkManager* owner, VProperty* property)
    : mOwner(owner), mProperty(property) {}

VOxaUserProperty::VOxaUserProperty(VOxaSdkManager* owner, const char* name, const char* typeName)
    : mOwner(owner), mRecord(MakeRecord(name, TypeOfName(typeName))) {}

VOxaUserProperty::OwnHandleScope::OwnHandleScope() {
    ++gOwnHandleScopes;
}

VOxaUserProperty::OwnHandleScope::~OwnHandleScope() {
    --gOwnHandleScopes;
}

bool VOxaUserProperty::InOwnHandleScope() {
    return gOwnHandleScopes > 0;
}

void VOxaUserProperty::Track() {
    if (mTracked || !mProperty) return;
    std::lock_guard<std::mutex> guard(TrackedLock());
    TrackedHandles().emplace(mProperty, this);
    mProperty->mHasTrackedHandles = true;
    mTracked = true;
}

void VOxaUserProperty::Untrack() {
    if (!mTracked) return;
    std::lock_guard<std::mutex> guard(TrackedLock());
    auto range = TrackedHandles().equal_range(mProperty);
    for (auto it = range.first; it != range.second; ++it) {
        if (it->second != this) continue;
        TrackedHandles().erase(it);
        break;
    }
    mTracked = false;
}

void VOxaUserProperty::PropertyGone(const VProperty* property) {
    std::lock_guard<std::mutex> guard(TrackedLock());
    auto range = TrackedHandles().equal_range(property);
    for (auto it = range.first; it != range.second; ++it) {
        it->second->mProperty = nullptr;
        it->second->mTracked = false;
    }
    TrackedHandles().erase(range.first, range.second);
    ++gBindingStamp;
}

VOxaUserProperty::~VOxaUserProperty() {
    Untrack();
    // The object that lists the handle stops listing it.
    if (mHolder) mHolder->ForgetUserProperty(this);
    std::free(mRecord);
}

// ---- Allocation --------------------------------------------------------------------------------
//
// Every handle's memory starts with a header naming the block it lies in (null: a heap
// allocation of its own), padded to the handle's own alignment: a handle holds pointers and
// integers only, and an object makes one for each of its properties, so the slots are kept tight.

struct VOxaUserPropertyStorage {
    int mCapacity;
    int mUsed;
    int mLive;     // handles made here and not deleted yet
    bool mClosed;  // the Block is gone: the last deletion frees the storage
};

namespace {

using Storage = VOxaUserPropertyStorage;

constexpr std::size_t kAlign = alignof(VOxaUserProperty) > alignof(Storage*) ? alignof(VOxaUserProperty)
                                                                             : alignof(Storage*);

struct alignas(kAlign) Header {
    Storage* mStorage;
};

constexpr std::size_t kSlotSize = (sizeof(Header) + sizeof(VOxaUserProperty) + kAlign - 1) / kAlign * kAlign;
constexpr std::size_t kStorageHead = (sizeof(Storage) + kAlign - 1) / kAlign * kAlign;

thread_local VOxaUserProperty::Block* tOpenBlock = nullptr;
thread_local Storage* tOpenStorage = nullptr;

char* SlotAt(Storage* storage, int index) {
    return reinterpret_cast<char*>(storage) + kStorageHead + (std::size_t)index * kSlotSize;
}

void* Allocate(std::size_t size) noexcept {
    Storage* storage = tOpenStorage;
    if (storage && size == sizeof(VOxaUserProperty) && storage->mUsed < storage->mCapacity) {
        char* slot = SlotAt(storage, storage->mUsed++);
        ++storage->mLive;
        reinterpret_cast<Header*>(slot)->mStorage = storage;
        return slot + sizeof(Header);
    }
    char* memory = static_cast<char*>(std::malloc(sizeof(Header) + size));
    if (!memory) return oxa_alloc::Counted(memory);
    reinterpret_cast<Header*>(memory)->mStorage = nullptr;
    return memory + sizeof(Header);
}

void Release(void* memory) noexcept {
    if (!memory) return;
    char* slot = static_cast<char*>(memory) - sizeof(Header);
    Storage* storage = reinterpret_cast<Header*>(slot)->mStorage;
    if (!storage) {
        std::free(slot);
        return;
    }
#ifdef OXA_HANDLE_POISONING
    ASAN_POISON_MEMORY_REGION(slot, kSlotSize);
#endif
    if (--storage->mLive == 0 && storage->mClosed) std::free(storage);
}

}  // namespace

VOxaUserProperty::Block::Block(int count) : mStorage(nullptr), mOuter(tOpenBlock) {
    if (count > 0) {
        mStorage = static_cast<Storage*>(std::malloc(kStorageHead + (std::size_t)count * kSlotSize));
        if (oxa_alloc::Counted(mStorage)) *mStorage = VOxaUserPropertyStorage{count, 0, 0, false};
    }
    tOpenBlock = this;
    tOpenStorage = mStorage;
}

VOxaUserProperty::Block::~Block() {
    tOpenBlock = mOuter;
    tOpenStorage = mOuter ? mOuter->mStorage : nullptr;
    if (!mStorage) return;
    mStorage->mClosed = true;
    if (mStorage->mLive == 0) std::free(mStorage);
}

void* VOxaUserProperty::operator new(std::size_t size) {
    void* memory = Allocate(size);
    if (!memory) throw std::bad_alloc();
    return memory;
}

void* VOxaUserProperty::operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}

void VOxaUserProperty::operator delete(void* memory) noexcept {
    Release(memory);
}

void VOxaUserProperty::operator delete(void* memory, const std::nothrow_t&) noexcept {
    Release(memory);
}

unsigned VOxaUserProperty::GetBindingStamp() {
    return gBindingStamp;
}

bool VOxaUserProperty::Bind(VProperty* property) {
    if (mProperty || !property) return false;
    mProperty = property;
    ++gBindingStamp;
    // A record bound to the property made for it: the handle may outlive that property.
    Track();
    return true;
}

void VOxaUserProperty::Unbind() {
    if (!mProperty) return;
    Untrack();
    mProperty = nullptr;
    ++gBindingStamp;
}

const char* VOxaUserProperty::GetName() const {
    if (mProperty) return mProperty->GetName();
    return mRecord ? mRecord->mName : "";
}

int VOxaUserProperty::GetType() const {
    if (mProperty) return TypeOfValueType(mProperty->GetValueType());
    return mRecord ? mRecord->mType : eUnknown;
}

bool VOxaUserProperty::GetFlag(int flag) const {
    if (flag != eAnimatable) return false;
    if (mProperty) return mProperty->IsAnimatable();
    return mRecord && (mRecord->mFlags & eAnimatable) != 0;
}

void VOxaUserProperty::SetFlag(int flag, bool on) {
    if (!mRecord) {
        // A handle made bound has no record: it gets a nameless one of type 0 for its flags.
        if (!on || flag == 0) return;
        mRecord = MakeRecord(nullptr, eUnknown);
        if (!mRecord) return;
    }
    mRecord->mFlags = on ? (mRecord->mFlags | flag) : (mRecord->mFlags & ~flag);
}

bool VOxaUserProperty::GetDouble(double& value) const {
    if (!mProperty) return false;
    value = mProperty->GetDouble();
    return true;
}

bool VOxaUserProperty::GetVector(double& x, double& y, double& z) const {
    if (!mProperty) return false;
    double v[4] = {0.0, 0.0, 0.0, 0.0};
    if (mProperty->GetValue(v) < 3) return false;
    x = v[0];
    y = v[1];
    z = v[2];
    return true;
}

bool VOxaUserProperty::SetVector(double x, double y, double z) {
    if (!mProperty) return false;
    const double v[4] = {x, y, z, 1.0};
    return mProperty->SetValue(v);
}
