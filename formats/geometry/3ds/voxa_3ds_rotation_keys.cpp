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

// The spline flags a key can hold: tension, continuity, bias, ease to, ease from.
constexpr uint16_t kSplineBits = 0x1F;

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
    text.reserve((size_t)count * 64);
    char number[32];
    for (uint32_t k = 0; k < count; ++k) {
        const Ftk::KeyHeader& key = keys[k];
        const uint16_t flags = key.mSplineFlags & kSplineBits;
        std::snprintf(number, sizeof number, "%d %u", (int)key.mFrame, (unsigned)flags);
        text += number;
        // As the file holds a key: the spline values its flags name, then the angle and axis.
        // Nine significant digits give every float back exactly.
        const float splines[5] = {key.mTension, key.mContinuity, key.mBias, key.mEaseTo, key.mEaseFrom};
        auto put = [&](float value) {
            std::snprintf(number, sizeof number, " %.9g", (double)value);
            text += number;
        };
        for (int bit = 0; bit < 5; ++bit)
            if (flags & (1u << bit)) put(splines[bit]);
        for (int v = 0; v < 4; ++v)
            put(values[k * 4 + v]);
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
    // The next number of the text; false at its end or at anything that is not a finite number.
    auto next = [&](double& value) {
        char* end = nullptr;
        errno = 0;
        value = std::strtod(p, &end);
        if (end == p || errno == ERANGE || !std::isfinite(value)) return false;
        p = end;
        return true;
    };
    auto fail = [&] {
        keys.clear();
        values.clear();
        return false;
    };
    double frame, flags;
    while (next(frame)) {
        if (!next(flags) || frame != std::trunc(frame) || std::fabs(frame) > 2147483647.0 || flags < 0.0 ||
            flags > (double)kSplineBits || flags != std::trunc(flags))
            return fail();
        Ftk::KeyHeader key;
        key.mFrame = (int32_t)frame;
        key.mSplineFlags = (uint16_t)flags;
        float* splines[5] = {&key.mTension, &key.mContinuity, &key.mBias, &key.mEaseTo, &key.mEaseFrom};
        double value;
        for (int bit = 0; bit < 5; ++bit) {
            if (!(key.mSplineFlags & (1u << bit))) continue;
            if (!next(value)) return fail();
            *splines[bit] = (float)value;
        }
        for (int v = 0; v < 4; ++v) {
            if (!next(value)) return fail();
            values.push_back((float)value);
        }
        keys.push_back(key);
    }
    // Only blanks may follow the last key.
    while (*p == ' ' || *p == '\n')
        ++p;
    if (*p != '\0') return fail();
    return !keys.empty();
}
