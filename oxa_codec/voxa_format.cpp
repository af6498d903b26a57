#include "oxa_codec/voxa_format.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>

namespace voxa_format {

bool IsValidFieldName(std::string_view name) {
    if (name.empty() || name.size() > 1024) return false;
    if (name.front() == ' ' || name.back() == ' ') return false;
    for (char c : name) {
        unsigned char u = (unsigned char)c;
        if (u < 0x20 || u == 0x7F) return false;
        if (c == ':' || c == '{' || c == '}' || c == '"' || c == ',' || c == ';') return false;
    }
    return true;
}

int64_t DoubleToInt64(double value) {
    if (!(value == value)) return 0;
    if (value >= 9223372036854775807.0) return INT64_MAX;
    if (value <= -9223372036854775808.0) return INT64_MIN;
    return (int64_t)value;
}

float DoubleToFloat(double value) {
    // Narrowing a finite double beyond the float range is undefined; such values become the
    // infinity of their sign, as an IEEE rounding would make them.
    if (value > 3.4028234663852886e38) return HUGE_VALF;
    if (value < -3.4028234663852886e38) return -HUGE_VALF;
    return (float)value;
}

int Int64ToInt(int64_t value) {
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return (int)value;
}

bool ParseDouble(std::string_view text, double& out) {
    out = 0.0;
    const char* first = text.data();
    const char* last = first + text.size();
    // from_chars takes no leading '+'; files written by hand may have one.
    if (first != last && *first == '+') ++first;
    double value = 0.0;
    auto result = std::from_chars(first, last, value);
    if (result.ec != std::errc() || result.ptr != last) return false;
    out = value;
    return true;
}

bool ParseFloat(std::string_view text, float& out) {
    out = 0.0f;
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+') ++first;
    float value = 0.0f;
    auto result = std::from_chars(first, last, value);
    if (result.ec == std::errc() && result.ptr == last) {
        out = value;
        return true;
    }
    double wide = 0.0;
    if (!ParseDouble(text, wide)) return false;
    out = DoubleToFloat(wide);
    return true;
}

bool ParseInt64(std::string_view text, int64_t& out) {
    out = 0;
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+') ++first;
    int64_t value = 0;
    auto result = std::from_chars(first, last, value);
    if (result.ec == std::errc() && result.ptr == last) {
        out = value;
        return true;
    }
    double real = 0.0;
    if (!ParseDouble(text, real)) return false;
    out = DoubleToInt64(real);
    return true;
}

void AppendInt64(std::string& out, int64_t value) {
    char buffer[24];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

void AppendDouble(std::string& out, double value) {
    char buffer[32];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

void AppendFloat(std::string& out, float value) {
    char buffer[32];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

// ---- binary form ----

void PutU32(std::string& out, uint32_t v) {
    char b[4] = {(char)(v & 0xFF), (char)((v >> 8) & 0xFF), (char)((v >> 16) & 0xFF), (char)(v >> 24)};
    out.append(b, 4);
}

void PutU64(std::string& out, uint64_t v) {
    char b[8];
    for (int k = 0; k < 8; ++k)
        b[k] = (char)((v >> (8 * k)) & 0xFF);
    out.append(b, 8);
}

void PatchU32(std::string& out, size_t pos, uint32_t v) {
    for (int k = 0; k < 4; ++k)
        out[pos + k] = (char)((v >> (8 * k)) & 0xFF);
}

void PatchU64(std::string& out, size_t pos, uint64_t v) {
    for (int k = 0; k < 8; ++k)
        out[pos + k] = (char)((v >> (8 * k)) & 0xFF);
}

bool IndexBinaryList(const uint8_t* data, uint64_t begin, uint64_t end, std::vector<FieldEntry>& out) {
    out.clear();
    uint64_t pos = begin;
    while (pos < end) {
        // Every length is compared with what remains before it is added to anything, so no
        // sum below can wrap.
        if (end - pos < 8) return false;
        uint64_t recordLength = GetU64(data + pos);
        pos += 8;
        if (recordLength > end - pos) return false;
        const uint64_t recordEnd = pos + recordLength;

        if (recordEnd - pos < 4) return false;
        uint32_t nameLength = GetU32(data + pos);
        pos += 4;
        if (nameLength > recordEnd - pos) return false;
        FieldEntry entry;
        entry.name = std::string_view((const char*)data + pos, nameLength);
        pos += nameLength;

        if (recordEnd - pos < 12) return false;
        entry.valueCount = GetU32(data + pos);
        uint64_t valuesLength = GetU64(data + pos + 4);
        pos += 12;
        if (valuesLength > recordEnd - pos) return false;
        // The smallest value takes two bytes.
        if (entry.valueCount > valuesLength / 2) return false;
        entry.valuesBegin = pos;
        entry.valuesEnd = pos + valuesLength;
        pos = entry.valuesEnd;

        if (recordEnd - pos < 1) return false;
        uint8_t blockFlag = data[pos++];
        if (blockFlag == 1) {
            entry.hasBlock = true;
            entry.blockBegin = pos;
            entry.blockEnd = recordEnd;
        } else if (blockFlag != 0 || pos != recordEnd) {
            return false;
        }
        pos = recordEnd;
        out.push_back(entry);
    }
    return true;
}

bool DecodeBinaryValue(const uint8_t* data, uint64_t pos, uint64_t end, BinaryValue& value, uint64_t& next) {
    if (pos >= end) return false;
    const uint64_t avail = end - pos - 1;
    const uint8_t* p = data + pos + 1;
    value = BinaryValue();
    value.type = (char)data[pos];
    switch (value.type) {
        case 'C':
            if (avail < 1) return false;
            value.i = p[0];
            next = pos + 2;
            return true;
        case 'I':
            if (avail < 4) return false;
            value.i = (int32_t)GetU32(p);
            next = pos + 5;
            return true;
        case 'L':
            if (avail < 8) return false;
            value.i = (int64_t)GetU64(p);
            next = pos + 9;
            return true;
        case 'F': {
            if (avail < 4) return false;
            uint32_t bits = GetU32(p);
            std::memcpy(&value.f, &bits, 4);
            value.d = value.f;
            next = pos + 5;
            return true;
        }
        case 'D': {
            if (avail < 8) return false;
            uint64_t bits = GetU64(p);
            std::memcpy(&value.d, &bits, 8);
            value.f = DoubleToFloat(value.d);
            next = pos + 9;
            return true;
        }
        case 'S': {
            if (avail < 4) return false;
            uint32_t length = GetU32(p);
            if (length > avail - 4) return false;
            value.s = std::string_view((const char*)p + 4, length);
            next = pos + 5 + length;
            return true;
        }
        default:
            return false;
    }
}

}  // namespace voxa_format
