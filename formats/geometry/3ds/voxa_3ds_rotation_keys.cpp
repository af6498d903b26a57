#include "formats/geometry/3ds/voxa_3ds_rotation_keys.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/vstring.h"
#include "objects/vproperty.h"
#include "scene/voxa_node.h"

namespace {

constexpr int kNumbersPerKey = 11;

VPropertyTemplate<VString>* KeysProperty(const VOxaNode* node, bool create) {
    VOxaNodeProperties* block = node ? node->GetNodeProperties() : nullptr;
    if (!block) return nullptr;
    VProperty* property = block->FindProperty(kKeptRotationKeysProperty);
    if (!property && create)
        property = block->CreateDynamicProperty(kKeptRotationKeysProperty, eValueString, nullptr);
    return dynamic_cast<VPropertyTemplate<VString>*>(property);
}

}  // namespace

void KeepRotationKeys(VOxaNode* node, const Ftk::KeyHeader* keys, const float* values, uint32_t count) {
    VPropertyTemplate<VString>* property = KeysProperty(node, count > 0);
    if (!property) return;
    std::string text;
    text.reserve((size_t)count * 120);
    char number[32];
    for (uint32_t k = 0; k < count; ++k) {
        const Ftk::KeyHeader& key = keys[k];
        std::snprintf(number, sizeof number, "%d %u", (int)key.mFrame, (unsigned)key.mSplineFlags);
        text += number;
        // Nine significant digits give every float back exactly.
        const float floats[9] = {key.mTension,      key.mContinuity,   key.mBias,
                                 key.mEaseTo,       key.mEaseFrom,     values[k * 4],
                                 values[k * 4 + 1], values[k * 4 + 2], values[k * 4 + 3]};
        for (float value : floats) {
            std::snprintf(number, sizeof number, " %.9g", (double)value);
            text += number;
        }
        text += '\n';
    }
    property->SetValue(VString(text.c_str()));
}

bool KeptRotationKeys(const VOxaNode* node, std::vector<Ftk::KeyHeader>& keys, std::vector<float>& values) {
    keys.clear();
    values.clear();
    VPropertyTemplate<VString>* property = KeysProperty(node, false);
    if (!property) return false;
    const VString text = property->GetValue();
    const char* p = text.Buffer();
    if (!p) return false;
    double numbers[kNumbersPerKey];
    while (true) {
        int n = 0;
        for (; n < kNumbersPerKey; ++n) {
            char* end = nullptr;
            errno = 0;
            numbers[n] = std::strtod(p, &end);
            if (end == p || errno == ERANGE || !std::isfinite(numbers[n])) break;
            p = end;
        }
        if (n == 0) {
            while (*p == ' ' || *p == '\n')
                ++p;
            if (*p == '\0') break;
        }
        if (n != kNumbersPerKey || numbers[0] != std::trunc(numbers[0]) ||
            std::fabs(numbers[0]) > 2147483647.0 || numbers[1] < 0.0 || numbers[1] > 65535.0 ||
            numbers[1] != std::trunc(numbers[1])) {
            keys.clear();
            values.clear();
            return false;
        }
        Ftk::KeyHeader key;
        key.mFrame = (int32_t)numbers[0];
        key.mSplineFlags = (uint16_t)numbers[1];
        key.mTension = (float)numbers[2];
        key.mContinuity = (float)numbers[3];
        key.mBias = (float)numbers[4];
        key.mEaseTo = (float)numbers[5];
        key.mEaseFrom = (float)numbers[6];
        keys.push_back(key);
        for (int i = 7; i < kNumbersPerKey; ++i)
            values.push_back((float)numbers[i]);
    }
    return !keys.empty();
}
