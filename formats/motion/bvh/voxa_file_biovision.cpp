#include "formats/motion/bvh/voxa_file_biovision.h"

#include <strings.h>
#include <cfloat>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <unordered_set>

#include "animation/anim_import_filters.h"
#include "animation/euler_continuity.h"
#include "animation/fcurve.h"
#include "base/vge_euler.h"
#include "base/vnumber_text.h"
#include "formats/motion/voxa_motion_base.h"
#include "oxa_codec/vstream_options.h"

namespace {

constexpr double kRadiansPerDegree = 0.017453292519943295;
// The rotation-order code of XYZ Euler angles (X turns a point first).
constexpr int kOrderXYZ = 0;

const char* const kChannelNames[BvhJoint::kMaxChannels] = {"Xposition", "Yposition", "Zposition",
                                                           "Xrotation", "Yrotation", "Zrotation"};

// Joint-body keyword indexes.
enum : int { eOPEN = 0, eOFFSET = 1, eCHANNELS = 2, eJOINT = 3, eEND_SITE = 4, eCLOSE = 5 };
// Top-level keyword indexes.
enum : int { eHIERARCHY = 0, eMOTION = 1 };

// m = R(axis, degrees) x m on 3x3 row-vector matrices: the new turn acts after those already in m.
void TurnInFront(double m[3][3], int axis, double degrees) {
    const double radians = degrees * kRadiansPerDegree;
    const double c = std::cos(radians), s = std::sin(radians);
    double a[3], b[3];
    // Rx rows (1,0,0) (0,c,s) (0,-s,c); Ry rows (c,0,-s) (0,1,0) (s,0,c); Rz rows (c,s,0) (-s,c,0)
    // (0,0,1): only the two rows the turn mixes change.
    const int r0 = axis == 0 ? 1 : 0;
    const int r1 = axis == 2 ? 1 : 2;
    const double sign = axis == 1 ? -1.0 : 1.0;
    for (int k = 0; k < 3; ++k) {
        a[k] = c * m[r0][k] + sign * s * m[r1][k];
        b[k] = -sign * s * m[r0][k] + c * m[r1][k];
    }
    for (int k = 0; k < 3; ++k) {
        m[r0][k] = a[k];
        m[r1][k] = b[k];
    }
}

// Channel code of a channel name (any letter case), -1 when unknown.
int ChannelCode(const char* name) {
    for (int c = 0; c < BvhJoint::kMaxChannels; ++c) {
        if (strcasecmp(name, kChannelNames[c]) == 0) return c;
    }
    return -1;
}

// Cuts a file-made name for a message.
const char* Short(const char* text) {
    return text ? text : "";
}

}  // namespace

// ---- BvhJoint ----------------------------------------------------------------------------------

bool BvhJoint::HasPositionChannel() const {
    for (int c = 0; c < mChannelCount; ++c) {
        if (mChannels[c] < eXROTATION) return true;
    }
    return false;
}

bool BvhJoint::HasRotationChannel() const {
    for (int c = 0; c < mChannelCount; ++c) {
        if (mChannels[c] >= eXROTATION) return true;
    }
    return false;
}

void BvhJoint::ComputeFrame(const double* values) {
    mTranslation[0] = mOffset[0];
    mTranslation[1] = mOffset[1];
    mTranslation[2] = mOffset[2];
    double m[3][3] = {{1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}};
    for (int c = 0; c < mChannelCount; ++c) {
        const int channel = mChannels[c];
        if (channel < eXROTATION) {
            mTranslation[channel] = values[c];
        } else {
            TurnInFront(m, channel - eXROTATION, values[c]);
        }
    }
    double full[4][4] = {{m[0][0], m[0][1], m[0][2], 0.0},
                         {m[1][0], m[1][1], m[1][2], 0.0},
                         {m[2][0], m[2][1], m[2][2], 0.0},
                         {0.0, 0.0, 0.0, 1.0}};
    // The angles of this very matrix: a middle angle a few hundredths of a degree from +-90 stays
    // where it is, with the two others that go with it.
    VgeMatrixToEuler(mRotation, full, kOrderXYZ);
}

namespace {

void SetKey(VFCurve* curve, int frame, VTime time, double value) {
    if (!curve) return;
    if (curve->KeyGetCount() == frame) {
        if (curve->KeyAppendFast(time, (float)value) < 0) throw std::bad_alloc();
        return;
    }
    // Out of sequence: through the slot itself.
    if (!curve->ResizeKeyBuffer(frame + 1)) throw std::bad_alloc();
    curve->KeySet(frame, time, (float)value);
}

}  // namespace

void BvhJoint::AddKeys(int frame, VTime time) {
    if (HasPositionChannel()) {
        for (int a = 0; a < 3; ++a)
            SetKey(mCurves[eTX + a], frame, time, mTranslation[a]);
    }
    if (!HasRotationChannel()) return;
    if (frame > 0) MakeEulerContinuous(mRotation, mRotation, mPreviousRotation);
    for (int a = 0; a < 3; ++a) {
        mPreviousRotation[a] = mRotation[a];
        SetKey(mCurves[eRX + a], frame, time, mRotation[a]);
    }
}

// ---- VOxaFileBiovision: reading ----------------------------------------------------------------

VOxaFileBiovision::VOxaFileBiovision(bool diagnostics)
    : VTextFile("BioVision", " \t\r\n", "", true, diagnostics),
      mTopKeywords{{"HIERARCHY", 0}, {"MOTION", 0}, {"", 0}},
      mRootKeywords{{"ROOT", 0}, {"", 0}},
      mJointKeywords{{"{", 0},        {"OFFSET", 0}, {"CHANNELS", 0}, {"JOINT", 0},
                     {"End Site", 0}, {"}", 0},      {"", 0}},
      mFramesKeywords{{"Frames:", 0}, {"", 0}},
      mFrameTimeKeywords{{"Frame Time:", 0}, {"", 0}} {}

VOxaFileBiovision::~VOxaFileBiovision() = default;

BvhJoint* VOxaFileBiovision::GetJoint(int index) const {
    return index >= 0 && index < (int)mJoints.size() ? mJoints[(size_t)index].get() : nullptr;
}

void VOxaFileBiovision::ClearJoints() {
    mJoints.clear();
    mChannelTotal = 0;
}

BvhJoint* VOxaFileBiovision::NewJoint(BvhJoint* parent) {
    if ((int)mJoints.size() >= kMaxJoints) {
        Fail("more than %d joints", kMaxJoints);
        return nullptr;
    }
    mJoints.push_back(std::make_unique<BvhJoint>());
    BvhJoint* joint = mJoints.back().get();
    joint->mParent = parent;
    if (parent) parent->mChildren.push_back(joint);
    return joint;
}

void VOxaFileBiovision::Warn(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    mWarnings += "BVH: ";
    mWarnings += text;
    mWarnings += "\n";
}

bool VOxaFileBiovision::ScanHeader(VStreamOptionsMotion* options) {
    ClearFailure();
    mLineNumber = 0;
    bool ok = false;
    if (!options) {
        Fail("no options");
    } else if (!Rewind()) {
        Fail("the file cannot be read");
    } else {
        while (!IsAtEnd() && PeekKeyword(mTopKeywords) != eMOTION)
            ReadNextLine();
        if (IsAtEnd()) {
            Fail("no MOTION section");
        } else if (!ReadNextLine()) {
            Fail("the file ends after MOTION");
        } else {
            ok = ReadMotionHeader(options);
        }
    }
    if (options) options->SetOption(VStreamOptionsMotion::eIMPORT_CREATE_REFERENCE_NODE, 1);
    return ok;
}

bool VOxaFileBiovision::ReadHierarchy() {
    ClearFailure();
    mWarnings = "";
    ClearJoints();
    mFrameCount = 0;
    mFrameTime = 0.0;
    // Line numbers in messages count from the start of the file again.
    mLineNumber = 0;
    if (!Rewind()) return Fail("the file cannot be read");
    for (;;) {
        if (IsAtEnd()) return Fail("the file ends before the MOTION section");
        switch (ReadKeyword(mTopKeywords)) {
            case eHIERARCHY:
                if (!ReadNextLine()) return Fail("the file ends after HIERARCHY");
                if (!ReadRoot()) return false;
                SeparateCutNames();
                ReadNextLine();
                break;
            case eMOTION:
                if (!ReadNextLine()) return Fail("the file ends after MOTION");
                return ReadMotionHeader(nullptr);
            default:
                return Fail("HIERARCHY or MOTION expected");
        }
    }
}

bool VOxaFileBiovision::ReadMotionHeader(VStreamOptionsMotion* options) {
    if (ReadKeyword(mFramesKeywords) != 0) return Fail("\"Frames:\" expected");
    int count = 0;
    if (!ReadInt(count)) return Fail("\"Frames:\" without a whole number");
    if (!ReadNextLine() || ReadKeyword(mFrameTimeKeywords) != 0) return Fail("\"Frame Time:\" expected");
    double frameTime = 0.0;
    if (!ReadDouble(frameTime) || std::isnan(frameTime)) return Fail("\"Frame Time:\" without a number");
    if (count < 0) {
        Warn("\"Frames:\" of %d is read as 0 frames", count);
        count = 0;
    }
    // The frame time gives the take its rate: without a usable one no rate is known.
    if (!(frameTime > 0.0))
        return Fail("\"Frame Time:\" of %g seconds: a frame time must be above 0", frameTime);
    // Below one tick every frame would fall on the same time.
    if (frameTime * (double)VTime::kOneSecond < 1.0)
        return Fail("\"Frame Time:\" of %g seconds: a frame time shorter than the time resolution",
                    frameTime);
    // The rate the take gets, in its fewest digits: a microsecond a frame is 1000000.
    const double rate = std::isfinite(frameTime) ? VOxaFileBiovision::RateOfFrameTime(frameTime) : 0.0;
    if (rate > 0.0 && !VOxaMotionSupport::IsUsableRate(rate))
        return Fail("\"Frame Time:\" of %g seconds gives %.10g frames per second, which %s", frameTime, rate,
                    VOxaMotionSupport::RateProblem(rate));
    // The last frame's time must stay on the time line.
    if (!(frameTime * (double)(count > 1 ? count : 1) * (double)VTime::kOneSecond < kMaxTakeTicks))
        return Fail("\"Frame Time:\" of %g seconds: %d frames of it reach past the end of the time line",
                    frameTime, count);
    mFrameCount = count;
    mFrameTime = frameTime;
    if (!options) return true;
    options->SetTimeMode(0, VOxaFileBiovision::RateOfFrameTime(frameTime));
    options->SetFrameCount(count);
    return true;
}

bool VOxaFileBiovision::ReadRoot() {
    if (ReadKeyword(mRootKeywords) != 0) return Fail("ROOT expected");
    ClearJoints();
    BvhJoint* root = NewJoint(nullptr);
    if (!root || !ReadJointStart(root)) return false;
    // The joints whose blocks are open, innermost last: the tree is read without recursion.
    std::vector<BvhJoint*> open{root};
    bool pending = false;  // the current line is not handled yet
    while (!open.empty()) {
        if (!pending && !ReadNextLine()) return Fail("the file ends inside joint \"%s\"", open.back()->mName);
        pending = false;
        switch (ReadKeyword(mJointKeywords)) {
            case eJOINT: {
                if ((int)open.size() >= kMaxDepth)
                    return Fail("joints nested deeper than %d levels", kMaxDepth);
                BvhJoint* joint = NewJoint(open.back());
                if (!joint || !ReadJointStart(joint)) return false;
                open.push_back(joint);
                break;
            }
            case eEND_SITE: {
                BvhJoint* end = NewJoint(open.back());
                if (!end) return false;
                std::strcpy(end->mName, "End");
                end->mEndSite = true;
                if (!ReadNextLine()) return Fail("the file ends inside joint \"%s\"", open.back()->mName);
                // Without its block the end site has no offset, and the line belongs to the parent.
                if (PeekKeyword(mJointKeywords) != eOPEN) {
                    pending = true;
                    break;
                }
                if (!ReadNextLine() || ReadKeyword(mJointKeywords) != eOFFSET)
                    return Fail("OFFSET expected in the end site of \"%s\"", open.back()->mName);
                if (!ReadOffset(end)) return false;
                if (!ReadNextLine() || ReadKeyword(mJointKeywords) != eCLOSE)
                    return Fail("\"}\" expected after the end site of \"%s\"", open.back()->mName);
                break;
            }
            case eCLOSE:
                open.pop_back();
                break;
            default:
                return Fail("JOINT, End Site or \"}\" expected in joint \"%s\"", open.back()->mName);
        }
    }
    return true;
}

void VOxaFileBiovision::SeparateCutNames() {
    // The names read whole keep their names; a cut name that meets one of them, or a cut name
    // before it, takes the first free suffix, its room taken from the end of the name.
    std::unordered_set<std::string> taken;
    bool anyCut = false;
    for (const std::unique_ptr<BvhJoint>& joint : mJoints) {
        if (joint->mEndSite) continue;
        if (joint->mNameCut)
            anyCut = true;
        else
            taken.insert(joint->mName);
    }
    if (!anyCut) return;
    for (const std::unique_ptr<BvhJoint>& joint : mJoints) {
        if (joint->mEndSite || !joint->mNameCut) continue;
        if (!taken.count(joint->mName)) {
            taken.insert(joint->mName);
            continue;
        }
        const std::string base = joint->mName;
        for (int n = 2;; ++n) {
            char suffix[16];
            const int suffixLength = std::snprintf(suffix, sizeof suffix, "_%d", n);
            const int room = BvhJoint::kMaxNameLength - suffixLength;
            std::string numbered(base, 0, (size_t)CutLength(base.c_str(), (int)base.size(), room));
            numbered += suffix;
            if (taken.insert(numbered).second) {
                Warn("the cut joint name \"%s\" is also another joint's: it is read as \"%s\"", base.c_str(),
                     numbered.c_str());
                std::memcpy(joint->mName, numbered.c_str(), numbered.size() + 1);
                break;
            }
        }
    }
}

bool VOxaFileBiovision::ReadJointStart(BvhJoint* joint) {
    // The name is the rest of the line, blanks inside it included (`JOINT Upper Spine`).
    const char* name = SkipSeparators(GetCursor());
    int length = (int)std::strlen(name);
    while (length > 0 && (name[length - 1] == ' ' || name[length - 1] == '\t' || name[length - 1] == '\r' ||
                          name[length - 1] == '\n'))
        --length;
    if (length == 0) return Fail("a joint without a name");
    // A name longer than a joint holds is read cut, on a whole UTF-8 character.
    const int kept = CutLength(name, length, BvhJoint::kMaxNameLength);
    std::memcpy(joint->mName, name, (size_t)kept);
    joint->mName[kept] = 0;
    if (kept < length) {
        joint->mNameCut = true;
        Warn("line %u: the joint name \"%s...\" is longer than %d bytes: it is read as \"%s\"", mLineNumber,
             joint->mName, BvhJoint::kMaxNameLength, joint->mName);
    }
    if (!ReadNextLine() || ReadKeyword(mJointKeywords) != eOPEN)
        return Fail("\"{\" expected after joint \"%s\"", joint->mName);
    if (!ReadNextLine() || ReadKeyword(mJointKeywords) != eOFFSET)
        return Fail("OFFSET expected in joint \"%s\"", joint->mName);
    if (!ReadOffset(joint)) return false;
    if (!ReadNextLine() || ReadKeyword(mJointKeywords) != eCHANNELS)
        return Fail("CHANNELS expected in joint \"%s\"", joint->mName);
    return ReadChannels(joint);
}

bool VOxaFileBiovision::ReadOffset(BvhJoint* joint) {
    double offset[3];
    if (!ReadVector3(offset)) return Fail("OFFSET needs three numbers");
    for (int a = 0; a < 3; ++a)
        joint->mOffset[a] = offset[a];
    return true;
}

bool VOxaFileBiovision::ReadChannels(BvhJoint* joint) {
    int count = 0;
    if (!ReadInt(count)) return Fail("CHANNELS without a count in joint \"%s\"", joint->mName);
    if (count < 0 || count > BvhJoint::kMaxChannels)
        return Fail("%d channels in joint \"%s\" (0 to 6 are allowed)", count, joint->mName);
    for (int c = 0; c < count; ++c) {
        char name[16];
        if (!ReadToken(name, (int)sizeof name - 1))
            return Fail("%d of %d channel names in joint \"%s\"", c, count, joint->mName);
        const int code = ChannelCode(name);
        if (code < 0) return Fail("unknown channel \"%s\" in joint \"%s\"", name, joint->mName);
        joint->mChannels[c] = code;
    }
    joint->mChannelCount = count;
    mChannelTotal += count;
    return true;
}

bool VOxaFileBiovision::ReadMotion(VStreamOptionsMotion* options) {
    ClearFailure();
    if (!options) return Fail("no options");
    if (options->GetFrameCount() > mFrameCount) options->SetFrameCount(mFrameCount);
    const int frames = options->GetFrameCount();
    VTime time = options->GetStartTime();
    const VTime period = options->GetFramePeriod();

    // Key room for the frames announced, up to a bound: a count the file does not back with
    // motion lines costs nothing.
    const int reserve = frames < kKeyReserve ? frames : kKeyReserve;
    std::vector<BvhJoint*> keyed;
    keyed.reserve(mJoints.size());
    for (const std::unique_ptr<BvhJoint>& joint : mJoints) {
        if (joint->mEndSite) continue;
        keyed.push_back(joint.get());
        for (int c = 0; c < 6; ++c) {
            const bool used = c < BvhJoint::eRX ? joint->HasPositionChannel() : joint->HasRotationChannel();
            VFCurve* curve = joint->mCurves[c];
            if (!curve || !used) continue;
            if (!curve->ResizeKeyBuffer(reserve)) throw std::bad_alloc();
            curve->KeyModifyBegin();
        }
    }

    mValues.assign((size_t)mChannelTotal, 0.0);
    double* values = mValues.data();
    bool ok = true;
    int read = 0;  // whole frames read
    for (int i = 0; i < frames && ok; ++i) {
        options->Progress("", (float)(100LL * i / frames));
        if (!ReadNextLine()) break;  // the file ends early: the frames read stay
        // One pass over the line: the end is found once, not per number.
        const char* p = GetCursor();
        const char* end = p + std::strlen(p);
        int missing = -1;  // the first value missing or unreadable
        for (int k = 0; k < mChannelTotal; ++k) {
            const char* next = VParseDouble(p, end, values[k], false);
            // A value is a whole token: the rest of "1.0.5" or "2x" is not the next value.
            if (!next || !std::isfinite(values[k]) ||
                (next < end && *next != ' ' && *next != '\t' && *next != '\r' && *next != '\n')) {
                missing = k;
                break;
            }
            p = next;
        }
        if (missing >= 0) {
            // The last line of a file cut while it was written is dropped; inside the file a
            // line without its values is an error.
            const bool cut = *SkipSeparators(p) == '\0';  // nothing but the values read
            const uint32_t line = mLineNumber;
            if (cut && !ReadNextLine()) break;
            mLineNumber = line;  // the message names the frame's line
            ok = Fail("frame %d: value %d of %d is missing or not a finite number", i + 1, missing + 1,
                      mChannelTotal);
            break;
        }
        const double* slice = values;
        for (BvhJoint* joint : keyed) {
            joint->ComputeFrame(slice);
            joint->AddKeys(i, time);
            slice += joint->mChannelCount;
        }
        time = time + period;
        read = i + 1;
    }
    if (ok && read < frames) {
        Warn("the file holds %d of the %d frames its header names: %d frames are read", read, mFrameCount,
             read);
        options->SetFrameCount(read);
    } else if (ok && frames == mFrameCount && ReadNextLine()) {
        // The lines present, counted to the end of the file, for the warning.
        long long lines = (long long)mFrameCount + 1;
        while (ReadNextLine())
            ++lines;
        Warn(
            "the file holds %lld frame lines, more than the %d its header names: the lines after frame %d "
            "are "
            "not read",
            lines, mFrameCount, mFrameCount);
    }

    for (BvhJoint* joint : keyed) {
        for (int c = 0; c < 6; ++c) {
            const bool used = c < BvhJoint::eRX ? joint->HasPositionChannel() : joint->HasRotationChannel();
            if (joint->mCurves[c] && used) joint->mCurves[c]->KeyModifyEnd();
        }
    }
    for (BvhJoint* joint : keyed) {
        VFCurve* translation[3] = {joint->mCurves[0], joint->mCurves[1], joint->mCurves[2]};
        VFCurve* rotation[3] = {joint->mCurves[3], joint->mCurves[4], joint->mCurves[5]};
        ApplyJointImportFilters(joint->HasPositionChannel() ? translation : nullptr,
                                joint->HasRotationChannel() ? rotation : nullptr);
    }
    return ok;
}

// ---- VOxaFileBiovision: writing ----------------------------------------------------------------

namespace {

bool Indent(VTextFile& file, int level) {
    static const char kBlanks[] = "                                                                ";
    for (int n = 2 * (level > 0 ? level : 0); n > 0;) {
        const int chunk = n < 64 ? n : 64;
        file.Write(kBlanks, (size_t)chunk);
        n -= chunk;
    }
    return !file.WriteFailed();
}

}  // namespace

bool VOxaFileBiovision::WriteNumbers(const double* values, int count) {
    return WriteGs(values, count, ' ');
}

bool VOxaFileBiovision::WriteOffset(const double offset[3], int level) {
    Indent(*this, level);
    WriteText("OFFSET");
    for (int a = 0; a < 3; ++a) {
        WriteChar(' ');
        // Rounding noise is written as 0.
        WriteG(std::fabs(offset[a]) < 1e-5 ? 0.0 : offset[a]);
    }
    WriteChar('\n');
    return !WriteFailed();
}

bool VOxaFileBiovision::WriteJointHeader(const char* name, bool isRoot, const double offset[3],
                                         bool rotationOnly, bool zxyOrder, int level) {
    if (isRoot) {
        Indent(*this, level);
        WriteText("HIERARCHY\n");
    }
    Indent(*this, level);
    WriteText(isRoot ? "ROOT " : "JOINT ");
    WriteText(Short(name));
    WriteChar('\n');
    Indent(*this, level);
    WriteText("{\n");
    WriteOffset(offset, level + 1);
    Indent(*this, level + 1);
    const char* rotations = zxyOrder ? "Zrotation Xrotation Yrotation\n" : "Zrotation Yrotation Xrotation\n";
    if (!isRoot && rotationOnly) {
        WriteText("CHANNELS 3 ");
    } else {
        WriteText("CHANNELS 6 Xposition Yposition Zposition ");
    }
    WriteText(rotations);
    return !WriteFailed();
}

bool VOxaFileBiovision::WriteJointEnd(int level) {
    Indent(*this, level);
    WriteText("}\n");
    return !WriteFailed();
}

bool VOxaFileBiovision::WriteEndSite(const double offset[3], int level) {
    Indent(*this, level);
    WriteText("End Site\n");
    Indent(*this, level);
    WriteText("{\n");
    WriteOffset(offset, level + 1);
    Indent(*this, level);
    WriteText("}\n");
    return !WriteFailed();
}

namespace {

// The fewest significant digits (1 to 17) that give `value` back.
int SignificantDigits(double value) {
    char text[40];
    for (int digits = 1; digits < 17; ++digits) {
        VFormatDoubleG(text, sizeof text, value, digits);
        if (std::strtod(text, nullptr) == value) return digits;
    }
    return 17;
}

// Frame times written for a whole rate have a few digits (0.0333333, 0.008333, 0.04166667); the
// writer gives any other rate near a whole number more than this many.
constexpr int kWholeRateDigits = 8;

}  // namespace

double VOxaFileBiovision::RateOfFrameTime(double frameTime) {
    // Frame times are written with a few digits: 0.0333333 is 30 frames per second, and 0.0333667
    // the 29.97 of video. Rates that are no whole number (12.5) are kept as they are, and so is a
    // frame time near a whole rate's that is given with more digits than a whole rate's needs
    // (119.99 frames per second).
    const double exact = 1.0 / frameTime;
    const double whole = std::nearbyint(exact);
    return whole >= 1.0 && std::fabs(exact - whole) <= kWholeRateTolerance * exact &&
                   SignificantDigits(frameTime) <= kWholeRateDigits
               ? whole
               : exact;
}

bool VOxaFileBiovision::WriteMotionHeader(int frameCount, double frameTime) {
    WriteText("MOTION\nFrames:\t");
    WriteInt(frameCount);
    WriteText("\nFrame Time:\t");
    // Six digits give a whole rate back; any other rate gets the fewest digits that give it back
    // as the reader takes it (at least kWholeRateDigits + 1 near a whole number).
    int precision = 6;
    if (frameTime > 0.0 && frameTime < DBL_MAX) {
        // 1 / (1 / 30) may differ from 30 in its last bit: that is still a whole rate.
        const double rate = 1.0 / frameTime;
        if (std::fabs(rate - std::nearbyint(rate)) > 1e-12 * rate) {
            char text[40];
            for (; precision < 17; ++precision) {
                VFormatDoubleG(text, sizeof text, frameTime, precision);
                if (RateOfFrameTime(std::strtod(text, nullptr)) == rate) break;
            }
        }
    }
    WriteG(frameTime, precision);
    WriteChar('\n');
    return !WriteFailed();
}

bool VOxaFileBiovision::WriteJointValues(const double translation[3], const double rotation[3], bool isRoot,
                                         bool rotationOnly) {
    if (isRoot || !rotationOnly) WriteNumbers(translation, 3);
    const double zxy[3] = {rotation[2], rotation[0], rotation[1]};
    return WriteNumbers(zxy, 3);
}

bool VOxaFileBiovision::WriteFrameEnd() {
    WriteChar('\n');
    return !WriteFailed();
}
