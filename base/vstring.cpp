#include "base/vstring.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "base/vallocation_hook.h"

namespace {

int Sign(int v) {
    return v < 0 ? -1 : (v > 0 ? 1 : 0);
}

int UpperByte(char c) {
    return std::toupper((unsigned char)c);
}

// Decimal text of v into buf (at least 12 bytes); answers the length.
int FormatInt(int value, char* buf) {
    char tmp[12];
    int n = 0;
    long long v = value;
    bool negative = v < 0;
    if (negative) v = -v;
    do {
        tmp[n++] = (char)('0' + v % 10);
        v /= 10;
    } while (v);
    int len = 0;
    if (negative) buf[len++] = '-';
    while (n)
        buf[len++] = tmp[--n];
    buf[len] = '\0';
    return len;
}

}  // namespace

char& VString::Scratch() {
    static thread_local char scratch;
    scratch = '\0';
    return scratch;
}

VString::VString() : mData(mInline) {
    mInline[0] = '\0';
}

VString::VString(const char* text) : mData(mInline) {
    mInline[0] = '\0';
    if (!text) {
        mValid = false;
        return;
    }
    SetText(text, (int)std::strlen(text));
}

VString::VString(const char* text, int count) : mData(mInline) {
    mInline[0] = '\0';
    if (!text || count < 0) {
        mValid = false;
        return;
    }
    SetText(text, count);
}

VString::VString(int value) : mData(mInline) {
    mLen = FormatInt(value, mInline);
}

VString::VString(const VString& other) : mData(mInline), mValid(other.mValid) {
    mInline[0] = '\0';
    SetText(other.mData, other.mLen);
    mValid = other.mValid;
}

VString::VString(VString&& other) noexcept : mData(mInline), mLen(other.mLen), mValid(other.mValid) {
    if (other.mData == other.mInline) {
        std::memcpy(mInline, other.mInline, (size_t)other.mLen + 1);
    } else {
        mData = other.mData;
        mCapacity = other.mCapacity;
        other.mData = other.mInline;
        other.mCapacity = kInlineSize;
    }
    other.mInline[0] = '\0';
    other.mLen = 0;
}

VString::~VString() {
    if (mData != mInline) std::free(mData);
}

VString& VString::operator=(const char* text) {
    if (!text) {
        MakeInvalid();
        return *this;
    }
    // The source may point into this string's own text.
    if (text >= mData && text <= mData + mLen) {
        VString copy(text);
        return *this = static_cast<VString&&>(copy);
    }
    mLen = 0;
    mData[0] = '\0';
    mValid = true;
    SetText(text, (int)std::strlen(text));
    return *this;
}

VString& VString::operator=(const VString& other) {
    if (this == &other) return *this;
    mLen = 0;
    mData[0] = '\0';
    SetText(other.mData, other.mLen);
    mValid = other.mValid;
    return *this;
}

VString& VString::operator=(VString&& other) noexcept {
    if (this == &other) return *this;
    if (other.mData == other.mInline) {
        if (mData != mInline) std::free(mData);
        mData = mInline;
        mCapacity = kInlineSize;
        std::memcpy(mInline, other.mInline, (size_t)other.mLen + 1);
    } else {
        if (mData != mInline) std::free(mData);
        mData = other.mData;
        mCapacity = other.mCapacity;
        other.mData = other.mInline;
        other.mCapacity = kInlineSize;
    }
    mLen = other.mLen;
    mValid = other.mValid;
    other.mInline[0] = '\0';
    other.mLen = 0;
    return *this;
}

void VString::MakeInvalid() {
    mLen = 0;
    mData[0] = '\0';
    mValid = false;
}

bool VString::Reserve(int capacity) {
    if (capacity <= mCapacity) return true;
    long long grown = (long long)mCapacity + mCapacity / 2;
    int newCapacity = (grown < capacity || grown > INT_MAX - 1) ? capacity : (int)grown;
    char* p;
    if (mData == mInline) {
        p = static_cast<char*>(std::malloc((size_t)newCapacity + 1));
        if (!p) {
            oxa_alloc::NoteFailure();
            return false;
        }
        std::memcpy(p, mInline, (size_t)mLen + 1);
    } else {
        p = static_cast<char*>(std::realloc(mData, (size_t)newCapacity + 1));
        if (!p) {
            oxa_alloc::NoteFailure();
            return false;
        }
    }
    mData = p;
    mCapacity = newCapacity;
    return true;
}

// Replaces the text by `count` bytes of `text` (which must not point into this string).
void VString::SetText(const char* text, int count) {
    mValid = true;
    if (!Reserve(count)) {
        MakeInvalid();
        return;
    }
    if (count) std::memcpy(mData, text, (size_t)count);
    mData[count] = '\0';
    mLen = count;
}

VString& VString::Append(const char* text) {
    return text ? Append(text, (int)std::strlen(text)) : *this;
}

VString& VString::Append(const char* text, int count) {
    mValid = true;
    if (!text || count <= 0) return *this;
    if (count > INT_MAX - 1 - mLen) return *this;
    // The source may be this string's own text, which Reserve can move.
    if (text >= mData && text <= mData + mCapacity) {
        VString copy(text, count);
        return Append(copy.mData, copy.mLen);
    }
    if (!Reserve(mLen + count)) return *this;
    std::memcpy(mData + mLen, text, (size_t)count);
    mLen += count;
    mData[mLen] = '\0';
    return *this;
}

VString& VString::operator+=(int value) {
    char buf[16];
    int len = FormatInt(value, buf);
    return Append(buf, len);
}

int VString::Compare(const char* text) const {
    if (!text) text = "";
    return Sign(std::strcmp(mData, text));
}

int VString::CompareNoCase(const char* text) const {
    if (!text) text = "";
    const char* a = mData;
    for (;; ++a, ++text) {
        int ca = UpperByte(*a);
        int cb = UpperByte(*text);
        if (ca != cb) return ca < cb ? -1 : 1;
        if (!ca) return 0;
    }
}

int VString::Find(const char* text, int start) const {
    if (!text) return -1;
    if (start < 0) start = 0;
    if (start > mLen) return -1;
    int n = (int)std::strlen(text);
    if (n == 0) return start;
    if (n > mLen - start) return -1;
    const char* end = mData + mLen - n;
    for (const char* p = mData + start; p <= end; ++p) {
        p = static_cast<const char*>(std::memchr(p, text[0], (size_t)(end - p) + 1));
        if (!p) return -1;
        if (std::memcmp(p, text, (size_t)n) == 0) return (int)(p - mData);
    }
    return -1;
}

int VString::Find(char c, int start) const {
    if (start < 0) start = 0;
    if (start >= mLen) return -1;
    const void* p = std::memchr(mData + start, c, (size_t)(mLen - start));
    return p ? (int)(static_cast<const char*>(p) - mData) : -1;
}

int VString::ReverseFind(char c) const {
    for (int i = mLen - 1; i >= 0; --i) {
        if (mData[i] == c) return i;
    }
    return -1;
}

VString VString::Mid(int start, int count) const {
    if (start < 0 || start > mLen || count < 0) return VString(nullptr);
    if (count > mLen - start) count = mLen - start;
    return VString(mData + start, count);
}

VString VString::Mid(int start) const {
    return Mid(start, start >= 0 && start <= mLen ? mLen - start : 0);
}

VString VString::Left(int count) const {
    if (count < 0) return VString(nullptr);
    return VString(mData, count < mLen ? count : mLen);
}

bool VString::FindAndReplace(const char* find, const char* replace, int start) {
    if (!find || !*find) return false;
    int at = Find(find, start);
    if (at < 0 || at >= 4096) return false;
    if (!replace) replace = "";
    int findLen = (int)std::strlen(find);
    int replaceLen = (int)std::strlen(replace);
    VString result(mData, at);
    result.Append(replace, replaceLen);
    result.Append(mData + at + findLen, mLen - at - findLen);
    *this = static_cast<VString&&>(result);
    return true;
}

int VString::GetTokenCount(const char* delimiters) const {
    if (!delimiters) delimiters = "";
    int count = 0;
    int i = 0;
    while (i < mLen) {
        while (i < mLen && std::strchr(delimiters, mData[i]) && mData[i])
            ++i;
        if (i >= mLen) break;
        ++count;
        while (i < mLen && !(mData[i] && std::strchr(delimiters, mData[i])))
            ++i;
    }
    return count;
}

VString VString::GetToken(int index, const char* delimiters) const {
    if (!delimiters) delimiters = "";
    int count = 0;
    int i = 0;
    while (i < mLen && index >= 0) {
        while (i < mLen && std::strchr(delimiters, mData[i]) && mData[i])
            ++i;
        if (i >= mLen) break;
        int begin = i;
        while (i < mLen && !(mData[i] && std::strchr(delimiters, mData[i])))
            ++i;
        if (count == index) return VString(mData + begin, i - begin);
        ++count;
    }
    return VString();
}

VString VString::Lower() const {
    VString result(*this);
    for (int i = 0; i < result.mLen; ++i)
        result.mData[i] = (char)std::tolower((unsigned char)result.mData[i]);
    return result;
}

VString VString::Trim(int mode) const {
    int begin = 0;
    int end = mLen;
    if (mode == 1 || mode == 2) {
        while (begin < end && std::isspace((unsigned char)mData[begin]))
            ++begin;
    }
    if (mode == 0 || mode == 2) {
        while (end > begin && std::isspace((unsigned char)mData[end - 1]))
            --end;
    }
    VString result(mData + begin, end - begin);
    result.mValid = mValid;
    return result;
}

unsigned int VString::HashNoCase() const {
    unsigned int h = 2166136261u;
    for (int i = 0; i < mLen; ++i) {
        h ^= (unsigned int)UpperByte(mData[i]);
        h *= 16777619u;
    }
    return h;
}

VString operator+(const VString& a, const char* b) {
    VString result(a);
    result.Append(b);
    return result;
}

VString operator+(const VString& a, const VString& b) {
    VString result(a);
    result += b;
    return result;
}

VString operator+(const char* a, const VString& b) {
    VString result(a ? a : "");
    result += b;
    return result;
}

bool operator==(const VString& a, const VString& b) {
    return a.GetLen() == b.GetLen() && std::memcmp(a.Buffer(), b.Buffer(), (size_t)a.GetLen()) == 0;
}

bool operator<(const VString& a, const VString& b) {
    int n = a.GetLen() < b.GetLen() ? a.GetLen() : b.GetLen();
    int c = std::memcmp(a.Buffer(), b.Buffer(), (size_t)n);
    if (c != 0) return c < 0;
    return a.GetLen() < b.GetLen();
}
