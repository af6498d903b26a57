// Typed value reads and writes at the current file's position, byte order, strings, string lists.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <unordered_set>

#include "base/vallocation_hook.h"
#include "base/vprintable_text.h"
#include "formats/geometry/3ds/ftk_core.h"

namespace Ftk {

namespace {

constexpr bool kBigEndianHost = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__;

template <class T>
T Reverse(T value) {
    if (!kBigEndianHost) return value;
    unsigned char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    for (size_t i = 0; i < sizeof(T) / 2; ++i) {
        unsigned char t = bytes[i];
        bytes[i] = bytes[sizeof(T) - 1 - i];
        bytes[sizeof(T) - 1 - i] = t;
    }
    std::memcpy(&value, bytes, sizeof(T));
    return value;
}

// Reads exactly `size` bytes; pushes 13 on a short read.
bool ReadRaw(void* out, size_t size) {
    std::FILE* stream = GetCurrentStream();
    if (!stream || (size && std::fread(out, 1, size, stream) != size)) {
        PushError(ERR_READING_FILE);
        return false;
    }
    return true;
}

bool WriteRaw(const void* data, size_t size) {
    std::FILE* stream = GetCurrentStream();
    if (!stream || (size && std::fwrite(data, 1, size, stream) != size)) {
        if (File* file = GetCurrentFile()) file->mWriteFailed = true;
        PushError(ERR_WRITING_FILE);
        return false;
    }
    return true;
}

}  // namespace

uint16_t OrderShortIn(uint16_t value) {
    return Reverse(value);
}
uint16_t OrderShortOut(uint16_t value) {
    return Reverse(value);
}
uint32_t OrderLongIn(uint32_t value) {
    return Reverse(value);
}
uint32_t OrderLongOut(uint32_t value) {
    return Reverse(value);
}
float OrderFloatIn(float value) {
    return Reverse(value);
}
float OrderFloatOut(float value) {
    return Reverse(value);
}
double OrderDoubleIn(double value) {
    return Reverse(value);
}
double OrderDoubleOut(double value) {
    return Reverse(value);
}

uint8_t ReadByte() {
    uint8_t value = 0;
    if (!ReadRaw(&value, 1)) return 0;
    return value;
}

void WriteByte(uint8_t value) {
    WriteRaw(&value, 1);
}

uint16_t ReadShort() {
    uint16_t value = 0;
    if (!ReadRaw(&value, 2)) return 0;
    return OrderShortIn(value);
}

void WriteShort(uint16_t value) {
    value = OrderShortOut(value);
    WriteRaw(&value, 2);
}

uint32_t ReadLong() {
    uint32_t value = 0;
    if (!ReadRaw(&value, 4)) return 0;
    return OrderLongIn(value);
}

void WriteLong(uint32_t value) {
    value = OrderLongOut(value);
    WriteRaw(&value, 4);
}

float ReadFloat() {
    float value = 0.0f;
    if (!ReadRaw(&value, 4)) return 0.0f;
    return OrderFloatIn(value);
}

void WriteFloat(float value) {
    value = OrderFloatOut(value);
    WriteRaw(&value, 4);
}

double ReadDouble() {
    double value = 0.0;
    if (!ReadRaw(&value, 8)) return 0.0;
    return OrderDoubleIn(value);
}

void WriteDouble(double value) {
    value = OrderDoubleOut(value);
    WriteRaw(&value, 8);
}

void ReadBytes(void* out, uint32_t count) {
    if (!out && count) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    ReadRaw(out, count);
}

void WriteBytes(const void* data, uint32_t count) {
    if (!data && count) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    WriteRaw(data, count);
}

void SkipBytes(uint32_t count) {
    std::FILE* stream = GetCurrentStream();
    if (!stream) {
        PushError(ERR_READING_FILE);
        return;
    }
    // Reads through the bytes rather than seeking, so that skipping past the end is noticed.
    char buffer[512];
    while (count > 0) {
        uint32_t step = count < sizeof buffer ? count : (uint32_t)sizeof buffer;
        if (std::fread(buffer, 1, step, stream) != step) {
            PushError(ERR_READING_FILE);
            return;
        }
        count -= step;
    }
}

Point3 ReadPoint() {
    // Each field keeps its starting value when its read fails.
    float values[3] = {0.0f, 0.0f, 0.0f};
    for (float& value : values) {
        float read = 0.0f;
        if (!ReadRaw(&read, 4)) break;
        value = OrderFloatIn(read);
    }
    return Point3{values[0], values[1], values[2]};
}

void WritePoint(const Point3& point) {
    WriteFloat(point.x);
    WriteFloat(point.y);
    WriteFloat(point.z);
}

TexVert ReadTexVert() {
    float values[2] = {0.0f, 0.0f};
    for (float& value : values) {
        float read = 0.0f;
        if (!ReadRaw(&read, 4)) break;
        value = OrderFloatIn(read);
    }
    return TexVert{values[0], values[1]};
}

void WriteTexVert(const TexVert& vert) {
    WriteFloat(vert.u);
    WriteFloat(vert.v);
}

Face ReadFace() {
    uint16_t values[4] = {0, 1, 2, 0};
    for (uint16_t& value : values) {
        uint16_t read = 0;
        if (!ReadRaw(&read, 2)) break;
        value = OrderShortIn(read);
    }
    return Face{values[0], values[1], values[2], values[3]};
}

void WriteFace(const Face& face) {
    WriteShort(face.a);
    WriteShort(face.b);
    WriteShort(face.c);
    WriteShort(face.flags);
}

std::string ReadString(uint32_t limit, bool* ok) {
    if (ok) *ok = false;
    std::FILE* stream = GetCurrentStream();
    std::string text;
    if (!stream) {
        PushError(ERR_READING_FILE);
        return text;
    }
    // At most limit characters and the NUL: limit + 1 bytes.
    for (uint64_t i = 0; i <= limit; ++i) {
        int c = std::getc(stream);
        if (c == EOF) break;
        if (c == 0) {
            if (ok) *ok = true;
            return text;
        }
        text.push_back((char)c);
    }
    PushError(ERR_READING_FILE);
    return std::string();
}

void WriteString(const char* text) {
    if (!text) text = "";
    WriteRaw(text, std::strlen(text) + 1);
}

std::string ReadFixedString(uint32_t limit, bool* ok) {
    if (ok) *ok = false;
    std::FILE* stream = GetCurrentStream();
    if (!stream) {
        PushError(ERR_READING_FILE);
        return std::string();
    }
    std::string field((size_t)limit + 1, '\0');
    if (std::fread(&field[0], 1, field.size(), stream) != field.size()) {
        PushError(ERR_READING_FILE);
        return std::string();
    }
    size_t end = field.find('\0');
    if (end == std::string::npos) {
        PushError(ERR_READING_FILE);
        return std::string();
    }
    if (ok) *ok = true;
    field.resize(end);
    return field;
}

void WriteFixedString(const char* text, uint32_t width) {
    if (width == 0) return;
    if (!text) text = "";
    std::string field((size_t)width, '\0');
    size_t length = std::strlen(text);
    if (length > width - 1) length = width - 1;
    std::memcpy(&field[0], text, length);
    WriteRaw(field.data(), field.size());
}

void ReadHeader(uint32_t* tag, uint32_t* length) {
    if (!tag || !length) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    *tag = ReadShort();
    if (Stopped()) return;
    *length = ReadLong();
}

void WriteHeader(uint32_t tag, uint32_t length) {
    WriteShort((uint16_t)tag);
    if (Stopped()) return;
    WriteLong(length);
}

uint32_t BoundedLength(const char* text, uint32_t limit) {
    if (!text) {
        Fail(ERR_INVALID_ARG);
        return 0;
    }
    for (uint64_t i = 0; i <= limit; ++i)
        if (text[i] == '\0') return (uint32_t)i;
    if (Fail(ERR_STRING_TOO_LONG)) return 0;
    return limit + 1;
}

char* DuplicateString(const char* text) {
    if (!text) return nullptr;
    size_t length = std::strlen(text);
    char* copy = oxa_alloc::Counted(new (std::nothrow) char[length + 1]);
    if (!copy) {
        Fail(ERR_NO_MEM);
        return nullptr;
    }
    std::memcpy(copy, text, length + 1);
    return copy;
}

void CopyName(char* field, size_t size, const char* text) {
    if (!field || size == 0) return;
    size_t length = 0;
    if (text)
        while (length + 1 < size && text[length])
            ++length;
    if (length) std::memcpy(field, text, length);
    field[length] = '\0';
}

namespace {

// The names FitName cut, in order, and the whole names among them; no more than kMaxCutNames
// are noted (a caller that never takes them keeps a bounded list).
constexpr size_t kMaxCutNames = 1024;
std::vector<std::pair<std::string, std::string>> gCutNames;
std::unordered_set<std::string> gCutWholeNames;

}  // namespace

std::string FitName(const std::string& name) {
    if (name.size() <= kNameCapacity) return name;
    // FNV-1a over the whole name.
    uint32_t hash = 2166136261u;
    for (unsigned char c : name) {
        hash ^= c;
        hash *= 16777619u;
    }
    char mark[10];
    std::snprintf(mark, sizeof mark, "~%08x", hash);
    std::string kept = VCutText(name, kNameCapacity - 9) + mark;
    if (gCutNames.size() < kMaxCutNames && gCutWholeNames.insert(name).second)
        gCutNames.emplace_back(name, kept);
    return kept;
}

std::vector<std::pair<std::string, std::string>> TakeCutNames() {
    std::vector<std::pair<std::string, std::string>> names;
    names.swap(gCutNames);
    gCutWholeNames.clear();
    return names;
}

bool FitName(std::string& out, const std::string& text, size_t capacity) {
    if (text.size() <= capacity) {
        out = text;
        return false;
    }
    uint64_t hash = 1469598103934665603ull;  // FNV-1a over every byte of the name
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    char suffix[18];
    std::snprintf(suffix, sizeof suffix, "~%016llx", (unsigned long long)hash);
    const size_t suffixLength = sizeof suffix - 1;
    const size_t keep = capacity > suffixLength ? std::min(capacity - suffixLength, text.size()) : 0;
    out = VCutText(text, keep);
    out.append(suffix, std::min(suffixLength, capacity));
    return true;
}

bool FitName(char* field, size_t size, const std::string& text) {
    if (!field || size == 0) return false;
    std::string fitted;
    const bool cut = FitName(fitted, text, size - 1);
    CopyName(field, size, fitted.c_str());
    return cut;
}

void NewStringList(StringList** list, uint32_t capacity) {
    if (!list) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    StringList* made = oxa_alloc::Counted(new (std::nothrow) StringList);
    if (!made) {
        Fail(ERR_NO_MEM);
        return;
    }
    try {
        made->mStrings.reserve(capacity ? capacity : 5);
    } catch (const std::bad_alloc&) {
        delete made;
        throw;
    }
    *list = made;
}

void AddToStringList(StringList* list, const char* text) {
    if (!list || !text) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    list->mStrings.emplace_back(text);
}

void ReleaseStringList(StringList** list) {
    if (!list) return;
    delete *list;
    *list = nullptr;
}

}  // namespace Ftk
