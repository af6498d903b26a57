// Storing function curves in OXA field files and reading them back, older key versions included.
//
// A curve writes "Default", and with keys "KeyVer", "KeyCount", one "Key" field holding every key
// as a run of values (time, value, then letters saying how the key interpolates and what tangent
// data follow), the extrapolation blocks and "Color".

#include <cmath>
#include <vector>

#include "animation/fcurve.h"
#include "animation/fcurve_internal.h"
#include "oxa_codec/voxa.h"

using namespace fcurve_detail;

namespace {

typedef VFCurveKey Key;

char ExtrapolationLetter(int mode) {
    switch (mode) {
        case VFCurve::eExtrapolationConstant:
            return 'C';
        case VFCurve::eExtrapolationRepetition:
            return 'R';
        case VFCurve::eExtrapolationMirrorRepetition:
            return 'M';
        case VFCurve::eExtrapolationKeepSlope:
            return 'K';
        default:
            return '0';
    }
}

int ExtrapolationMode(char letter) {
    switch (letter) {
        case 'C':
            return VFCurve::eExtrapolationConstant;
        case 'R':
            return VFCurve::eExtrapolationRepetition;
        case 'M':
            return VFCurve::eExtrapolationMirrorRepetition;
        case 'K':
            return VFCurve::eExtrapolationKeepSlope;
        default:
            return 0;
    }
}

bool WriteExtrapolation(VOxa* oxa, const char* name, int mode, int count) {
    bool ok = oxa->FieldWriteBegin(name);
    ok &= oxa->FieldWriteBlockBegin();
    ok &= oxa->FieldWriteBegin("Type");
    ok &= oxa->FieldWriteC(ExtrapolationLetter(mode));
    ok &= oxa->FieldWriteEnd();
    ok &= oxa->FieldWriteBegin("Repetition");
    ok &= oxa->FieldWriteI(count);
    ok &= oxa->FieldWriteEnd();
    ok &= oxa->FieldWriteBlockEnd();
    ok &= oxa->FieldWriteEnd();
    return ok;
}

bool WriteWeights(VOxa* oxa, const Key* key) {
    unsigned mode = key->GetTangentWeightMode();
    char letter = mode == Key::eWeightedAll        ? 'a'
                  : mode == Key::eWeightedRight    ? 'r'
                  : mode == Key::eWeightedNextLeft ? 'l'
                                                   : 'n';
    bool ok = oxa->FieldWriteC(letter);
    if (mode & Key::eWeightedRight) ok &= oxa->FieldWriteD(key->GetDataFloat(2));
    if (mode & Key::eWeightedNextLeft) ok &= oxa->FieldWriteD(key->GetDataFloat(3));
    return ok;
}

bool IsCubic(const Key* key) {
    return key->GetInterpolation() == Key::eInterpolationCubic;
}

bool IsCubicAuto(const Key* key) {
    return IsCubic(key) && IsAutoMode(key->GetTangentMode());
}

// The version-5 layout has no auto values: an auto key is written either with its two slopes
// ("s" or "b", read back as a user key) or as an auto key whose auto values are zero ("a", or "d"
// carrying the next key's left slope). Marks the auto keys that need the slopes for the file to
// read back as the same curve. The decision runs forward: once a key is written with slopes, its
// slot 1 holds a slope, which the next key only reads right as a user key.
std::vector<bool> Version5SlopeKeys(const VFCurve& curve) {
    const int n = curve.KeyGetCount();
    std::vector<bool> slopes((size_t)n, false);
    for (int i = 0; i < n; ++i) {
        const Key* key = curve.KeyGetPtr(i);
        if (!IsCubicAuto(key)) continue;
        const Key* prev = i > 0 ? curve.KeyGetPtr(i - 1) : nullptr;
        const Key* next = i + 1 < n ? curve.KeyGetPtr(i + 1) : nullptr;
        // A non-zero right auto value has no other form.
        bool need = key->GetDataFloat(0) != 0.0f;
        if (prev) {
            // A non-zero left auto value: the key before cannot write it as an auto value.
            // (After a user or TCB key slot 1 is written as it is and read back as it was.)
            bool prevKeepsSlot = IsCubic(prev) && (IsUserMode(prev->GetTangentMode()) ||
                                                   prev->GetTangentMode() == Key::eTangentTCB);
            need |= !prevKeepsSlot && prev->GetDataFloat(1) != 0.0f;
            // The key before wrote its slot 1 as this key's left slope.
            need |= IsCubicAuto(prev) && slopes[(size_t)(i - 1)];
            // Reading "a" resets the next-left weight of the key before.
            need |= IsCubic(prev) && (prev->GetTangentWeightMode() & Key::eWeightedNextLeft) != 0;
        }
        if (next) {
            // "a" has no weight part.
            need |= key->GetTangentWeightMode() != Key::eWeightedNone;
            // Slot 1 is the left auto value of a constant or linear key after it, which neither
            // auto form keeps.
            need |= !IsCubic(next) && key->GetDataFloat(1) != 0.0f;
        }
        slopes[(size_t)i] = need;
    }
    return slopes;
}

}  // namespace

bool VFCurve::OxaStore(VOxa* oxa, bool onlyDefault, bool storeColor, bool version5) const {
    if (!oxa) return false;
    bool ok = oxa->FieldWriteBegin("Default");
    ok &= oxa->FieldWriteD(mDefaultValue);
    ok &= oxa->FieldWriteEnd();
    if (onlyDefault) return ok;
    const int n = mKeyCount;
    if (n > 0) {
        ok &= oxa->FieldWriteBegin("KeyVer");
        ok &= oxa->FieldWriteI(eKeyVersion);
        ok &= oxa->FieldWriteEnd();
        ok &= oxa->FieldWriteBegin("KeyCount");
        ok &= oxa->FieldWriteI(n);
        ok &= oxa->FieldWriteEnd();
        ok &= oxa->FieldWriteBegin("Key");
        const std::vector<bool> slopeKeys = version5 ? Version5SlopeKeys(*this) : std::vector<bool>();
        // Whether key i reads back as a user key, and so reads slot 1 of the key before as a
        // slope.
        auto readsAsUser = [&](int i) {
            const Key* key = KeyGetPtr(i);
            return IsCubic(key) && ((key->GetTangentMode() & Key::eTangentUser) ||
                                    (IsAutoMode(key->GetTangentMode()) && slopeKeys[(size_t)i]));
        };
        for (int i = 0; i < n; ++i) {
            const Key* key = KeyGetPtr(i);
            ok &= oxa->FieldWriteT(key->GetTime());
            ok &= oxa->FieldWriteD(key->GetValue());
            switch (key->GetInterpolation()) {
                case Key::eInterpolationConstant:
                    ok &= oxa->FieldWriteC('C');
                    ok &= oxa->FieldWriteC(key->GetConstantMode() == Key::eConstantNext ? 'n' : 's');
                    continue;
                case Key::eInterpolationLinear:
                    ok &= oxa->FieldWriteC('L');
                    continue;
                case Key::eInterpolationCubic:
                    ok &= oxa->FieldWriteC('U');
                    break;
                default:
                    continue;
            }
            unsigned mode = key->GetTangentMode();
            if (mode == Key::eTangentTCB) {
                ok &= oxa->FieldWriteC('t');
                for (int s = 0; s < 3; ++s)
                    ok &= oxa->FieldWriteD(key->GetDataRaw(s));
            } else if (IsUserMode(mode)) {
                ok &= oxa->FieldWriteC(mode == Key::eTangentUser ? 's' : 'b');
                ok &= oxa->FieldWriteD(key->GetDataFloat(0));
                // Before an auto key slot 1 holds that key's left auto value; in the version-5
                // layout an auto key written with slopes needs the slope instead.
                bool nextSlope =
                    version5 && i + 1 < n && IsCubicAuto(KeyGetPtr(i + 1)) && slopeKeys[(size_t)i + 1];
                ok &= oxa->FieldWriteD(nextSlope ? KeyGetLeftDerivative(i + 1) : key->GetDataFloat(1));
                ok &= WriteWeights(oxa, key);
            } else if (IsAutoMode(mode) && !version5) {
                if (key->GetDataFloat(0) != 0.0f || key->GetDataFloat(1) != 0.0f) {
                    ok &= oxa->FieldWriteC(mode == Key::eTangentAuto ? 'p' : 'q');
                    ok &= oxa->FieldWriteD(key->GetDataFloat(0));
                    ok &= oxa->FieldWriteD(key->GetDataFloat(1));
                    ok &= WriteWeights(oxa, key);
                } else {
                    ok &= oxa->FieldWriteC('a');
                }
            } else if (IsAutoMode(mode)) {
                // The version-5 layout has no auto values: slopes are written instead.
                const bool hasNext = i + 1 < n;
                if (slopeKeys[(size_t)i]) {
                    ok &= oxa->FieldWriteC(key->GetBreak() ? 'b' : 's');
                    ok &= oxa->FieldWriteD(KeyGetRightDerivative(i));
                    ok &= oxa->FieldWriteD(hasNext ? KeyGetLeftDerivative(i + 1) : 0.0);
                    ok &= WriteWeights(oxa, key);
                } else if (hasNext && readsAsUser(i + 1)) {
                    ok &= oxa->FieldWriteC('d');
                    ok &= oxa->FieldWriteD(KeyGetLeftDerivative(i + 1));
                    ok &= WriteWeights(oxa, key);
                } else {
                    ok &= oxa->FieldWriteC('a');
                }
            }
        }
        ok &= oxa->FieldWriteEnd();
        if (mPreExtrapolation != 0 &&
            !(mPreExtrapolation == eExtrapolationConstant && mPreExtrapolationCount == 0))
            ok &= WriteExtrapolation(oxa, "Pre-Extrapolation", mPreExtrapolation, mPreExtrapolationCount);
        if (mPostExtrapolation != 0 &&
            !(mPostExtrapolation == eExtrapolationConstant && mPostExtrapolationCount == 0))
            ok &= WriteExtrapolation(oxa, "Post-Extrapolation", mPostExtrapolation, mPostExtrapolationCount);
    }
    if (storeColor) {
        ok &= oxa->FieldWriteBegin("Color");
        for (int c = 0; c < 3; ++c)
            ok &= oxa->FieldWriteD(mColor[c]);
        ok &= oxa->FieldWriteEnd();
    }
    return ok;
}

// ---- Reading ------------------------------------------------------------------------------------------

namespace {

// Reads the values of the "Key" field: every read is checked against the values that remain, so
// a count larger than the field, or a truncated field, is noticed rather than read as zeros.
class KeyReader {
public:
    explicit KeyReader(VOxa* oxa) : mOxa(oxa), mBinary(oxa->IsBinary()) {}

    bool Truncated() const { return mTruncated; }
    int Remaining() const { return mOxa->FieldReadRemaining(); }
    char Peek() { return mBinary ? mOxa->FieldReadPeekType() : 0; }

    double D() {
        if (Remaining() <= 0) {
            mTruncated = true;
            return 0.0;
        }
        return mOxa->FieldReadD();
    }
    // A letter; in binary files a value of another type is left in place and answers 0.
    char Letter() {
        if (Remaining() <= 0) {
            mTruncated = true;
            return 0;
        }
        if (mBinary && Peek() != 'C') return 0;
        return mOxa->FieldReadC();
    }
    VTime T() {
        if (Remaining() <= 0) {
            mTruncated = true;
            return VTIME_INFINITE;
        }
        return mOxa->FieldReadT();
    }
    void Skip() { mOxa->FieldReadS(); }

private:
    VOxa* mOxa;
    bool mBinary;
    bool mTruncated = false;
};

bool IsNumberType(char type) {
    return type == 'L' || type == 'I' || type == 'D' || type == 'F';
}

// The weight part of a key: a letter for the weight mode, then the weights in force.
void ReadWeights(KeyReader& in, Key* key) {
    char letter = in.Letter();
    unsigned mode = letter == 'a'   ? Key::eWeightedAll
                    : letter == 'l' ? Key::eWeightedNextLeft
                    : letter == 'r' ? Key::eWeightedRight
                                    : Key::eWeightedNone;
    key->SetTangentWeightMode(mode);
    if (mode & Key::eWeightedRight) key->SetDataFloat(2, (float)in.D());
    if (mode & Key::eWeightedNextLeft) key->SetDataFloat(3, (float)in.D());
}

}  // namespace

bool VFCurve::RetrieveKeys(VOxa* oxa, int version, int keyCount) {
    KeyReader in(oxa);
    const bool binary = oxa->IsBinary();
    // Every key takes at least two values (time and value): a larger count cannot be in the field.
    if (keyCount > in.Remaining() / 2) return false;
    const char timeType = in.Peek();
    if (binary && !IsNumberType(timeType)) return false;

    if (!ResizeKeyBuffer(keyCount)) return false;
    std::vector<unsigned char> drop((size_t)keyCount, 0);
    // Keys whose stored values are Bezier control values (after a legacy "B" key).
    std::vector<unsigned char> legacyBezier;
    char previousLetter = 0;
    int lastKept = -1;
    for (int i = 0; i < keyCount; ++i) {
        if (binary) {
            while (in.Remaining() > 0 && in.Peek() != timeType)
                in.Skip();
        }
        if (in.Remaining() < 2) return false;
        ++mKeyCount;
        Key* key = KeyGetPtr(i);
        *key = Key();
        key->SetDataFloat(2, kFCurveDefaultWeight);
        key->SetDataFloat(3, kFCurveDefaultWeight);
        Key* prev = i > 0 ? KeyGetPtr(i - 1) : nullptr;

        VTime time = in.T();
        bool badValue = binary && in.Peek() != 'D' && in.Peek() != 'F';
        float value = (float)in.D();
        if (badValue) value = 0.0f;
        key->mTime = time;
        key->mValue = value;
        // Keys must move forward in time: past the key read before, and past the last key kept.
        bool dropped = badValue || time == VTIME_INFINITE || time.Get() == INT64_MIN ||
                       (prev && time <= prev->mTime) || (lastKept >= 0 && time <= KeyGetPtr(lastKept)->mTime);

        char letter = in.Letter();
        bool legacy = false;
        switch (letter) {
            case 'C':
            case 'A':
            case 'Z':
                key->mFlags |= Key::eInterpolationConstant;
                if (version >= 4004 && in.Letter() == 'n') key->SetConstantMode(Key::eConstantNext);
                break;
            case 'L':
                key->mFlags |= Key::eInterpolationLinear;
                break;
            case 'B':
            case 'H':
            case 'I':
            case 'O':
            case 'R':
            case 'T':
                legacy = true;
                [[fallthrough]];
            case 'U': {
                key->mFlags |= Key::eInterpolationCubic;
                char tangent = in.Letter();
                if (tangent == 0) tangent = 'a';
                if (legacy) {
                    // Older cubic keys: "a" auto, "b" broken with two slopes, else one slope.
                    if (tangent == 'a' || tangent == 'A') {
                        key->SetTangentMode(Key::eTangentAuto);
                    } else if (tangent == 'b' || tangent == 'B') {
                        key->SetTangentMode(Key::eTangentUserBreak);
                        key->mData[0] = (float)in.D();
                        if (prev)
                            prev->mData[1] = (float)in.D();
                        else
                            in.D();
                    } else {
                        key->SetTangentMode(Key::eTangentUser);
                        float slope = (float)in.D();
                        key->mData[0] = slope;
                        if (prev) prev->mData[1] = slope;
                    }
                    if (previousLetter == 'B') {
                        legacyBezier.resize((size_t)keyCount, 0);
                        legacyBezier[(size_t)i] = 1;
                    }
                    break;
                }
                switch (tangent) {
                    case 'a':
                    case 'A':
                        key->SetTangentMode(Key::eTangentAuto);
                        key->mData[1] = 0.0f;
                        key->mData[0] =
                            (version < 4004 && prev && prev->GetInterpolation() == Key::eInterpolationLinear)
                                ? -100.0f
                                : 0.0f;
                        if (prev && version >= 4002) {
                            prev->SetTangentWeightMode(0, Key::eWeightedNextLeft);
                            prev->SetDataFloat(3, kFCurveDefaultWeight);
                        }
                        if (prev && version < 4004 && prev->GetInterpolation() == Key::eInterpolationCubic &&
                            (prev->GetTangentMode() & Key::eTangentUser))
                            prev->mData[1] = 0.0f;
                        if (version == 4000) key->mData[1] = (float)in.D();
                        break;
                    case 's':
                    case 'S':
                    case 'b':
                    case 'B':
                        key->SetTangentMode((tangent == 's' || tangent == 'S') ? Key::eTangentUser
                                                                               : Key::eTangentUserBreak);
                        key->mData[0] = (float)in.D();
                        key->mData[1] = (float)in.D();
                        if (version < 4000 && prev && prev->GetInterpolation() == Key::eInterpolationCubic &&
                            prev->GetTangentMode() == Key::eTangentAuto)
                            prev->mData[1] = key->mData[0];
                        if (version > 4001) ReadWeights(in, key);
                        break;
                    case 'd':
                    case 'D':
                        key->SetTangentMode(Key::eTangentAuto);
                        key->mData[1] = (float)in.D();
                        key->mData[0] = 0.0f;
                        if (version > 4001) ReadWeights(in, key);
                        break;
                    case 'p':
                    case 'P':
                    case 'q':
                    case 'Q':
                        key->SetTangentMode((tangent == 'p' || tangent == 'P') ? Key::eTangentAuto
                                                                               : Key::eTangentAutoBreak);
                        key->mData[0] = (float)in.D();
                        key->mData[1] = (float)in.D();
                        ReadWeights(in, key);
                        // An auto key whose two auto values do not agree is a broken one. The
                        // left one is slot 1 of the key before when that key is cubic; after a
                        // constant or linear key the left side holds no auto value to compare.
                        if ((tangent == 'p' || tangent == 'P') && LeftSideIsAuto(i) &&
                            std::fabs((double)key->mData[0] + prev->mData[1]) > 0.001)
                            key->SetTangentMode(Key::eTangentAutoBreak);
                        break;
                    case 't':
                    case 'T':
                        key->SetTangentMode(Key::eTangentTCB);
                        for (int s = 0; s < 3; ++s)
                            key->mData[s] = (float)in.D();
                        break;
                    default:
                        dropped = true;
                        break;
                }
                break;
            }
            default:
                dropped = true;
                break;
        }
        if (in.Truncated()) return false;
        previousLetter = letter;
        drop[(size_t)i] = dropped ? 1 : 0;
        if (!dropped) lastKept = i;
    }

    if (version < 4004) {
        // Older files left these left sides implicit: a constant or linear key after a cubic
        // auto key follows the incoming segment.
        for (int i = 1; i < mKeyCount; ++i) {
            const Key* prev = KeyGetPtr(i - 1);
            unsigned interpolation = KeyGetPtr(i)->GetInterpolation();
            if ((interpolation == Key::eInterpolationConstant ||
                 interpolation == Key::eInterpolationLinear) &&
                prev->GetInterpolation() == Key::eInterpolationCubic && IsAutoMode(prev->GetTangentMode()))
                KeySetLeftAuto(i, 100.0f);
        }
    }
    if (!legacyBezier.empty()) {
        // Control values one third of the segment away become slopes.
        for (int i = 0; i < mKeyCount; ++i) {
            if (!legacyBezier[(size_t)i]) continue;
            Key* key = KeyGetPtr(i);
            if (!IsUserMode(key->GetTangentMode())) continue;
            if (i + 1 < mKeyCount) {
                double dt = SecondsBetween(KeyGetPtr(i + 1)->mTime.Get(), key->mTime.Get());
                if (dt != 0.0) key->mData[0] = (float)(3.0 * (key->mData[0] - (double)key->mValue) / dt);
            }
            if (i > 0) {
                Key* prev = KeyGetPtr(i - 1);
                double dt = SecondsBetween(key->mTime.Get(), prev->mTime.Get());
                if (dt != 0.0) prev->mData[1] = (float)(-3.0 * (prev->mData[1] - (double)key->mValue) / dt);
            }
        }
    }
    if (version < 4000) ConvertOldKeys();

    // Drop the keys marked above in one pass; the kept key before a gap takes over the next-left
    // data of the last dropped key, which describe the key after the gap.
    int kept = 0;
    for (int i = 0; i < mKeyCount; ++i) {
        if (drop[(size_t)i]) {
            if (kept > 0) {
                Key* before = KeyGetPtr(kept - 1);
                const Key* gone = KeyGetPtr(i);
                before->mData[1] = gone->mData[1];
                before->SetDataFloat(3, gone->GetDataFloat(3));
                before->SetDataFloat(5, gone->GetDataFloat(5));
                before->SetTangentWeightMode(gone->mFlags, Key::eWeightedNextLeft);
                before->SetTangentVelocityMode(gone->mFlags, Key::eVelocityNextLeft);
            }
            continue;
        }
        if (kept != i) *KeyGetPtr(kept) = *KeyGetPtr(i);
        ++kept;
    }
    if (kept != mKeyCount) {
        CallbackAddEvent(eEventKeyRemoved, kept);
        mKeyCount = kept;
    }
    return true;
}

// Keys of versions below 4000: the last key becomes a cubic auto key, TCB keys beside user or
// linear keys and auto keys before another kind of key become user keys with the slopes they had.
void VFCurve::ConvertOldKeys() {
    const int n = mKeyCount;
    if (n == 0) return;
    std::vector<float> left((size_t)n), right((size_t)n);
    for (int i = 0; i < n; ++i) {
        left[(size_t)i] = KeyGetLeftDerivative(i);
        right[(size_t)i] = KeyGetRightDerivative(i);
    }
    auto isUserOrLinear = [this](int i) {
        const Key* k = KeyGetPtr(i);
        return k->GetInterpolation() == Key::eInterpolationLinear ||
               (k->GetInterpolation() == Key::eInterpolationCubic && IsUserMode(k->GetTangentMode()));
    };
    std::vector<unsigned char> convert((size_t)n, 0);
    for (int i = 0; i + 1 < n; ++i) {
        const Key* key = KeyGetPtr(i);
        if (key->GetInterpolation() != Key::eInterpolationCubic) continue;
        unsigned mode = key->GetTangentMode();
        if (mode == Key::eTangentTCB)
            convert[(size_t)i] = (i > 0 && isUserOrLinear(i - 1)) || isUserOrLinear(i + 1);
        else if (IsAutoMode(mode)) {
            const Key* next = KeyGetPtr(i + 1);
            convert[(size_t)i] = next->GetInterpolation() != key->GetInterpolation() ||
                                 next->GetTangentMode() != key->GetTangentMode();
        }
    }
    for (int i = 0; i + 1 < n; ++i) {
        if (!convert[(size_t)i]) continue;
        Key* key = KeyGetPtr(i);
        key->SetTangentMode(left[(size_t)i] == right[(size_t)i] ? Key::eTangentUser : Key::eTangentUserBreak);
        key->mData[0] = right[(size_t)i];
        key->mData[1] = left[(size_t)i + 1];
        if (i > 0) KeyGetPtr(i - 1)->mData[1] = left[(size_t)i];
    }
    Key* last = KeyGetPtr(n - 1);
    last->SetInterpolation(Key::eInterpolationCubic);
    last->SetTangentMode(Key::eTangentAuto);
}

bool VFCurve::OxaRetrieve(VOxa* oxa, bool onlyDefault, bool readColor) {
    if (!oxa) return false;
    KeyModifyBegin();
    KeyClear();
    SetDefaultValue((float)oxa->FieldReadD());
    oxa->FieldReadEnd();
    bool ok = true;
    if (!onlyDefault) {
        int version = oxa->FieldReadIOrDefault("KeyVer", 0);
        int keyCount = oxa->FieldReadIOrDefault("KeyCount", 0);
        if (version < 0 || version > eKeyVersion || keyCount < 0) ok = false;
        if (ok && keyCount > 0) {
            KeyClear();
            if (!oxa->FieldReadBegin("Key")) {
                ok = false;
            } else {
                ok = RetrieveKeys(oxa, version, keyCount);
                oxa->FieldReadEnd();
            }
        }
        const char* names[2] = {"Pre-Extrapolation", "Post-Extrapolation"};
        for (int side = 0; ok && side < 2; ++side) {
            if (!oxa->FieldReadBegin(names[side])) continue;
            if (!oxa->FieldReadBlockBegin()) {
                ok = false;
                oxa->FieldReadEnd();
                break;
            }
            int mode = ExtrapolationMode(oxa->FieldReadCOrDefault("Type", '0'));
            int count = oxa->FieldReadIOrDefault("Repetition", 0);
            oxa->FieldReadBlockEnd();
            oxa->FieldReadEnd();
            if (side == 0) {
                mPreExtrapolation = mode;
                mPreExtrapolationCount = count;
            } else {
                mPostExtrapolation = mode;
                mPostExtrapolationCount = count;
            }
            CallbackAddEvent(eEventKeyOther, -1);
        }
    }
    if (ok && readColor && oxa->FieldReadBegin("Color")) {
        if (oxa->FieldReadRemaining() >= 3) {
            float rgb[3];
            for (int c = 0; c < 3; ++c)
                rgb[c] = (float)oxa->FieldReadD();
            SetColor(rgb);
        }
        oxa->FieldReadEnd();
    }
    if (!ok) {
        // Malformed key data leave a curve without keys (the default value as read).
        KeyClear();
    }
    KeyModifyEnd();
    return ok;
}

bool VFCurve::Retrieve(VOxa* oxa, bool onlyDefault, bool readColor) {
    if (!oxa || !oxa->FieldReadBegin("Default")) return false;
    return OxaRetrieve(oxa, onlyDefault, readColor);
}

VFCurve* VFCurve::CreateFromOxa(VOxa* oxa, VFCurve* curve, bool onlyDefault, bool readColor) {
    if (!oxa || !oxa->FieldReadBegin("Default")) return nullptr;
    bool created = curve == nullptr;
    if (created)
        curve = Create();
    else
        curve->KeyClear();
    if (!curve->OxaRetrieve(oxa, onlyDefault, readColor)) {
        if (created) delete curve;
        return nullptr;
    }
    return curve;
}
