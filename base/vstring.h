#ifndef OXA_BASE_VSTRING_H
#define OXA_BASE_VSTRING_H

#include <oxa/base/oxa_export.h>

#include <cstddef>
#include <type_traits>

// Owned 8-bit text, the string type of every name in the toolkit. Texts of up to kInlineSize
// bytes are held inside the object; longer ones on the heap.
//
// A string is either valid (possibly empty) or invalid. The invalid state comes from a null C
// string, from copying an invalid string, or from an out-of-range Mid/Left; it reads as "" in
// every respect (Buffer, GetLen, comparisons), and IsValid tells it apart. Appending to an
// invalid string makes it valid. Buffer() is never null.
class OXA_API VString {
public:
    static constexpr int kInlineSize = 23;

    // Empty, valid.
    VString();
    // A copy of the C string; null gives the invalid state.
    VString(const char* text);
    // Exactly `count` bytes from `text` (which may hold NULs); null or a negative count gives the
    // invalid state.
    VString(const char* text, int count);
    // The decimal text of `value` ("%d").
    explicit VString(int value);
    VString(const VString& other);
    VString(VString&& other) noexcept;
    ~VString();

    // A null source makes the string invalid; "" makes it empty and valid.
    VString& operator=(const char* text);
    // Copies the text and the validity of `other`.
    VString& operator=(const VString& other);
    VString& operator=(VString&& other) noexcept;

    // The text, NUL-terminated, never null ("" when empty or invalid).
    const char* Buffer() const { return mData; }
    operator const char*() const { return mData; }
    int GetLen() const { return mLen; }
    bool IsEmpty() const { return mLen == 0; }
    bool IsValid() const { return mValid; }

    // The byte at `index`; an index outside [0, length) reads as 0.
    template <typename I, typename = std::enable_if_t<std::is_integral<I>::value>>
    char operator[](I index) const {
        long long i = (long long)index;
        return (i >= 0 && i < mLen) ? mData[i] : '\0';
    }
    // Writable byte at `index`; outside [0, length) a scratch byte (reset to 0 on every such
    // access) is answered so that writes never reach the string or anything else.
    template <typename I, typename = std::enable_if_t<std::is_integral<I>::value>>
    char& operator[](I index) {
        long long i = (long long)index;
        if (i >= 0 && i < mLen) return mData[i];
        return Scratch();
    }

    // Byte-wise comparison with a C string (null compares as ""): -1, 0 or 1.
    int Compare(const char* text) const;
    // Comparison of the upper-cased texts: -1, 0 or 1 (null compares as "").
    int CompareNoCase(const char* text) const;

    // Index of the first occurrence of `text` at or after `start` (a negative start counts as 0),
    // -1 when absent or when `text` is null. An empty `text` is found at `start`.
    int Find(const char* text, int start = 0) const;
    // Index of the first `c` at or after `start`, -1 when absent.
    int Find(char c, int start = 0) const;
    // Index of the last `c`, -1 when absent.
    int ReverseFind(char c) const;

    // `count` bytes from `start` (fewer when the text ends first). A negative start, a start
    // beyond the length or a negative count gives the invalid state; start == length gives "".
    VString Mid(int start, int count) const;
    // The rest of the text from `start`, with the same rules.
    VString Mid(int start) const;
    // The first `count` bytes (the whole text when count >= length); a negative count gives the
    // invalid state.
    VString Left(int count) const;

    // Replaces the first occurrence of `find` at or after `start` by `replace` (null as "", so
    // an empty replacement cuts the occurrence out) and answers true. Answers false and leaves
    // the string unchanged when `find` is null, empty or absent, or when the occurrence starts
    // at index 4096 or later.
    bool FindAndReplace(const char* find, const char* replace, int start = 0);

    // Number of tokens separated by runs of any of the `delimiters` bytes; 0 for an empty text.
    int GetTokenCount(const char* delimiters) const;
    // Token `index` (from 0) as GetTokenCount counts them; "" when the index is out of range.
    VString GetToken(int index, const char* delimiters) const;

    // A copy with every byte through tolower.
    VString Lower() const;
    // A copy without white space (isspace) at the end (mode 0), the start (1) or both ends (2).
    VString Trim(int mode = 2) const;

    // Appending (a null C string appends nothing) makes an invalid string valid.
    VString& Append(const char* text);
    VString& Append(const char* text, int count);
    VString& operator+=(const char* text) { return Append(text); }
    VString& operator+=(const VString& other) { return Append(other.mData, other.mLen); }
    // Appends the integer in signed decimal.
    VString& operator+=(int value);

    // Hash of the upper-cased text, for case-insensitive tables.
    unsigned int HashNoCase() const;

private:
    static char& Scratch();
    void SetText(const char* text, int count);
    bool Reserve(int capacity);
    void MakeInvalid();

    char* mData;
    int mLen = 0;
    int mCapacity = kInlineSize;
    bool mValid = true;
    char mInline[kInlineSize + 1];
};

OXA_API VString operator+(const VString& a, const char* b);
OXA_API VString operator+(const VString& a, const VString& b);
OXA_API VString operator+(const char* a, const VString& b);
// Without these, "s + 1" or "s + 'x'" would silently do pointer arithmetic through the C-string
// view.
template <typename I, typename = std::enable_if_t<std::is_integral<I>::value>>
VString operator+(const VString& a, I) = delete;
template <typename I, typename = std::enable_if_t<std::is_integral<I>::value>>
VString operator+(I, const VString& a) = delete;

// Equality and order are byte-wise (Compare).
OXA_API bool operator==(const VString& a, const VString& b);
inline bool operator==(const VString& a, const char* b) {
    return a.Compare(b) == 0;
}
inline bool operator==(const char* a, const VString& b) {
    return b.Compare(a) == 0;
}
inline bool operator!=(const VString& a, const VString& b) {
    return !(a == b);
}
inline bool operator!=(const VString& a, const char* b) {
    return a.Compare(b) != 0;
}
inline bool operator!=(const char* a, const VString& b) {
    return b.Compare(a) != 0;
}
OXA_API bool operator<(const VString& a, const VString& b);

#endif  // OXA_BASE_VSTRING_H
