#include "formats/geometry/3ds/voxa_3ds_rotation_keys.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include "animation/fcurve.h"
#include "base/vstring.h"
#include "objects/vproperty.h"
#include "scene/voxa_node.h"
#include "scene/voxa_take_node.h"

namespace {

// The spline flags a key can hold: tension, continuity, bias, ease to, ease from.
constexpr uint16_t kSplineBits = 0x1F;

// The node property that holds the mark of the curves made from the kept keys.
constexpr const char* kKeptCurvesProperty = "3DS Rotation Curves";

// The mark of a node's rotation curves: a hash of every key (time, value, modes and tangent
// data) of its current take's Euler curves, and of the default angle of an axis without keys,
// as hexadecimal text.
std::string CurvesMark(VOxaNode* node) {
    VOxaTakeNode* take = node->GetCurrentTakeNode();
    if (!take) return std::string();
    uint64_t hash = 1469598103934665603ull;
    auto mix = [&hash](const void* data, size_t size) {
        const unsigned char* bytes = static_cast<const unsigned char*>(data);
        for (size_t i = 0; i < size; ++i) {
            hash ^= bytes[i];
            hash *= 1099511628211ull;
        }
    };
    VFCurve* curves[3] = {take->GetEulerRotationX(), take->GetEulerRotationY(), take->GetEulerRotationZ()};
    VgeTVector rotation;
    node->GetLclRotation(rotation);
    for (int a = 0; a < 3; ++a) {
        const int count = curves[a] ? curves[a]->KeyGetCount() : -1;
        mix(&count, sizeof count);
        if (count <= 0) {
            const double angle = rotation[a];
            mix(&angle, sizeof angle);
        }
        for (int k = 0; k < count; ++k) {
            const VFCurveKey* key = curves[a]->KeyGetPtr(k);
            const int64_t time = key->GetTime().Get();
            const float value = key->GetValue();
            const unsigned modes[5] = {key->GetInterpolation(), key->GetConstantMode(), key->GetTangentMode(),
                                       key->GetTangentWeightMode(), key->GetTangentVelocityMode()};
            mix(&time, sizeof time);
            mix(&value, sizeof value);
            mix(modes, sizeof modes);
            mix(key->GetDataPtr(), 4 * sizeof(float));
        }
    }
    char text[24];
    std::snprintf(text, sizeof text, "%016llx", (unsigned long long)hash);
    return text;
}

VPropertyTemplate<VString>* KeysProperty(const VOxaNode* node, bool create,
                                         const char* name = kKeptRotationKeysProperty) {
    VOxaNodeProperties* block = node ? node->GetNodeProperties() : nullptr;
    if (!block) return nullptr;
    VProperty* property = block->FindProperty(name);
    if (!property && create) property = block->CreateDynamicProperty(name, eValueString, nullptr);
    return dynamic_cast<VPropertyTemplate<VString>*>(property);
}

}  // namespace

void KeepRotationKeys(VOxaNode* node, const Ftk::KeyHeader* keys, const float* values, uint32_t count) {
    KeepTrackKeys(node, kKeptRotationKeysProperty, keys, values, count, 4);
}

namespace {

// The key lines of a track (see KeepTrackKeys), each closed by its morph name when `names` is
// given.
void KeepKeys(VOxaNode* node, const char* name, const Ftk::KeyHeader* keys, const float* values,
              uint32_t count, int width, const Ftk::MorphName* names) {
    VPropertyTemplate<VString>* property = KeysProperty(node, count > 0, name);
    if (!property) return;
    std::string text;
    text.reserve((size_t)count * 64);
    char number[48];
    for (uint32_t k = 0; k < count; ++k) {
        const Ftk::KeyHeader& key = keys[k];
        const uint16_t flags = key.mSplineFlags & kSplineBits;
        text.append(number, std::to_chars(number, number + sizeof number, (int)key.mFrame).ptr);
        text += ' ';
        text.append(number, std::to_chars(number, number + sizeof number, (unsigned)flags).ptr);
        // As the file holds a key: the spline values its flags name, then the angle and axis.
        // Nine significant digits give every float back exactly.
        const float splines[5] = {key.mTension, key.mContinuity, key.mBias, key.mEaseTo, key.mEaseFrom};
        auto put = [&](float value) {
            number[0] = ' ';
            char* last = std::to_chars(number + 1, number + sizeof number, (double)value,
                                       std::chars_format::general, 9)
                             .ptr;
            text.append(number, last);
        };
        for (int bit = 0; bit < 5; ++bit)
            if (flags & (1u << bit)) put(splines[bit]);
        for (int v = 0; v < width; ++v)
            put(values[(size_t)k * width + v]);
        if (names) {
            text += ' ';
            const char* morph = names[k].mName;
            for (size_t i = 0; i < sizeof names[k].mName && morph[i] != '\0'; ++i) {
                if (morph[i] == '\\')
                    text += "\\\\";
                else if (morph[i] == '\n')
                    text += "\\n";
                else
                    text += morph[i];
            }
        }
        text += '\n';
    }
    property->SetValue(VString(text.c_str()));
}

bool KeptKeys(const VOxaNode* node, const char* name, int width, std::vector<Ftk::KeyHeader>& keys,
              std::vector<float>& values, std::vector<Ftk::MorphName>* names) {
    keys.clear();
    values.clear();
    if (names) names->clear();
    VPropertyTemplate<VString>* property = KeysProperty(node, false, name);
    if (!property) return false;
    const VString text = property->GetValue();
    const char* p = text.Buffer();
    if (!p) return false;
    // The next number of the text; false at its end or at anything that is not a finite number
    // a file's float can hold.
    auto next = [&](double& value) {
        char* end = nullptr;
        errno = 0;
        value = std::strtod(p, &end);
        if (end == p || errno == ERANGE || !std::isfinite(value) ||
            std::fabs(value) > (double)std::numeric_limits<float>::max())
            return false;
        p = end;
        return true;
    };
    auto fail = [&] {
        keys.clear();
        values.clear();
        if (names) names->clear();
        return false;
    };
    double frame, flags;
    while (next(frame)) {
        if (!next(flags) || frame != std::trunc(frame) || frame < -2147483648.0 || frame > 2147483647.0 ||
            flags < 0.0 || flags > (double)kSplineBits || flags != std::trunc(flags))
            return fail();
        Ftk::KeyHeader key;
        key.mFrame = (int32_t)frame;
        key.mSplineFlags = (uint16_t)flags;
        float* splines[5] = {&key.mTension, &key.mContinuity, &key.mBias, &key.mEaseTo, &key.mEaseFrom};
        double value;
        for (int bit = 0; bit < 5; ++bit) {
            if (!(key.mSplineFlags & (1u << bit))) continue;
            // A spline value may be no number, as a file held it: a writer refuses to write it.
            char* end = nullptr;
            value = std::strtod(p, &end);
            if (end == p) return fail();
            p = end;
            *splines[bit] = (float)value;
        }
        for (int v = 0; v < width; ++v) {
            if (!next(value)) return fail();
            values.push_back((float)value);
        }
        if (names) {
            // One blank, then the name to the line's end: no longer than a file's name slot.
            if (*p != ' ') return fail();
            ++p;
            Ftk::MorphName morph;
            size_t length = 0;
            for (; *p != '\0' && *p != '\n'; ++p) {
                char c = *p;
                if (c == '\\') {
                    ++p;
                    if (*p == '\\')
                        c = '\\';
                    else if (*p == 'n')
                        c = '\n';
                    else
                        return fail();
                }
                if (c == '\0' || length + 1 >= sizeof morph.mName) return fail();
                morph.mName[length++] = c;
            }
            names->push_back(morph);
        }
        keys.push_back(key);
    }
    // Only blanks may follow the last key.
    while (*p == ' ' || *p == '\n')
        ++p;
    if (*p != '\0') return fail();
    return !keys.empty();
}

}  // namespace

void KeepTrackKeys(VOxaNode* node, const char* name, const Ftk::KeyHeader* keys, const float* values,
                   uint32_t count, int width) {
    KeepKeys(node, name, keys, values, count, width, nullptr);
}

bool KeptRotationKeys(const VOxaNode* node, std::vector<Ftk::KeyHeader>& keys, std::vector<float>& values) {
    return KeptTrackKeys(node, kKeptRotationKeysProperty, 4, keys, values);
}

bool KeptTrackKeys(const VOxaNode* node, const char* name, int width, std::vector<Ftk::KeyHeader>& keys,
                   std::vector<float>& values) {
    return KeptKeys(node, name, width, keys, values, nullptr);
}

void KeepTrackFlags(VOxaNode* node, const char* name, const Ftk::Track& track) {
    VOxaNodeProperties* block = node && name ? node->GetNodeProperties() : nullptr;
    if (!block) return;
    auto keep = [&](const char* suffix, double value) {
        const std::string property = std::string(name) + suffix;
        VProperty* word = block->FindProperty(property.c_str());
        if (!word && value == 0.0) return;
        if (!word) word = block->CreateDynamicProperty(property.c_str(), eValueNumber, nullptr);
        if (word) word->SetDouble(value);
    };
    keep(" Flags", track.mFlags);
    keep(" Reserved 1", track.mReserved[0]);
    keep(" Reserved 2", track.mReserved[1]);
}

void KeptTrackHeader(const VOxaNode* node, const char* name, Ftk::Track& track) {
    track.mFlags = KeptTrackFlags(node, name);
    const VOxaNodeProperties* block = node && name ? node->GetNodeProperties() : nullptr;
    for (int i = 0; i < 2 && block; ++i) {
        const VProperty* word =
            block->FindProperty((std::string(name) + (i ? " Reserved 2" : " Reserved 1")).c_str());
        const double value = word ? word->GetDouble() : 0.0;
        track.mReserved[i] = value >= 0.0 && value <= 4294967295.0 ? (uint32_t)value : 0u;
    }
}

uint16_t KeptTrackFlags(const VOxaNode* node, const char* name) {
    const VOxaNodeProperties* block = node && name ? node->GetNodeProperties() : nullptr;
    if (!block) return 0;
    const VProperty* word = block->FindProperty((std::string(name) + " Flags").c_str());
    const double value = word ? word->GetDouble() : 0.0;
    return value >= 0.0 && value <= 65535.0 ? (uint16_t)value : 0;
}

void KeepNodeFlags(VOxaNode* node, uint16_t flags1, uint16_t flags2) {
    VOxaNodeProperties* block = node ? node->GetNodeProperties() : nullptr;
    if (!block || (flags1 == 0 && flags2 == 0)) return;
    VProperty* word = block->FindProperty(kKeptNodeFlagsProperty);
    if (!word) word = block->CreateDynamicProperty(kKeptNodeFlagsProperty, eValueNumber, nullptr);
    if (word) word->SetDouble(flags1 + 65536.0 * flags2);
}

void KeptNodeFlags(const VOxaNode* node, uint16_t& flags1, uint16_t& flags2) {
    const VOxaNodeProperties* block = node ? node->GetNodeProperties() : nullptr;
    const VProperty* word = block ? block->FindProperty(kKeptNodeFlagsProperty) : nullptr;
    const double value = word ? word->GetDouble() : 0.0;
    const uint32_t bits = value >= 0.0 && value <= 4294967295.0 ? (uint32_t)value : 0;
    flags1 = (uint16_t)(bits & 0xFFFF);
    flags2 = (uint16_t)(bits >> 16);
}

void KeepMorphKeys(VOxaNode* node, const Ftk::KeyHeader* keys, const Ftk::MorphName* names, uint32_t count) {
    KeepKeys(node, kKeptMorphKeysProperty, keys, nullptr, count, 0, names);
}

bool KeptMorphKeys(const VOxaNode* node, std::vector<Ftk::KeyHeader>& keys,
                   std::vector<Ftk::MorphName>& names) {
    std::vector<float> values;
    return KeptKeys(node, kKeptMorphKeysProperty, 0, keys, values, &names);
}

void KeepRotationCurves(VOxaNode* node) {
    VOxaNodeProperties* block = node ? node->GetNodeProperties() : nullptr;
    if (!block) return;
    VProperty* property = block->FindProperty(kKeptCurvesProperty);
    if (!property) property = block->CreateDynamicProperty(kKeptCurvesProperty, eValueString, nullptr);
    if (auto* text = dynamic_cast<VPropertyTemplate<VString>*>(property))
        text->SetValue(VString(CurvesMark(node).c_str()));
}

bool RotationCurvesKept(VOxaNode* node) {
    VOxaNodeProperties* block = node ? node->GetNodeProperties() : nullptr;
    auto* text =
        block ? dynamic_cast<VPropertyTemplate<VString>*>(block->FindProperty(kKeptCurvesProperty)) : nullptr;
    if (!text) return false;
    const std::string mark = CurvesMark(node);
    return !mark.empty() && mark == text->GetValue().Buffer();
}

void RotationToEulerXYZ(const double m[4][4], double angles[3]) {
    constexpr double kDegrees = 57.29577951308232;
    // m[0] is (cos y cos z, cos y sin z, -sin y); rows 1 and 2 turned back by z give
    // (sin x, cos x) whatever y is.
    const double z = std::atan2(m[0][1], m[0][0]);
    const double y = std::atan2(-m[0][2], std::hypot(m[0][0], m[0][1]));
    const double sz = std::sin(z), cz = std::cos(z);
    const double x = std::atan2(sz * m[2][0] - cz * m[2][1], cz * m[1][1] - sz * m[1][0]);
    angles[0] = x * kDegrees;
    angles[1] = y * kDegrees;
    angles[2] = z * kDegrees;
}
