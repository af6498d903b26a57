#include "formats/motion/amc/voxa_file_acclaim_amc.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <unordered_map>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "base/vge_euler.h"
#include "base/vge_matrix.h"
#include "base/vnumber_text.h"
#include "formats/motion/asf/voxa_asf_scene.h"
#include "formats/motion/voxa_motion_base.h"
#include "formats/motion/voxa_skeleton_support.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"

namespace {

const VTextFile::Keyword kAmcWords[] = {{":FORMAT", 0},
                                        {":FULLY-SPECIFIED", 0},
                                        {":DEGREES", 0},
                                        {":RADIANS", 0},
                                        {":ASF-FILE", 0},
                                        {":ASF-PATH", 0},
                                        {":SAMPLES-PER-SECOND", 0},
                                        {":FRAME-RANGE", 0},
                                        {":KEYFRAME-LIST", 0},
                                        {":SMPTE", 0},
                                        {":", 0},
                                        {"", 0}};
enum {
    kFormat = 0,
    kFullySpecified = 1,
    kDegrees = 2,
    kRadians = 3,
    kSamplesPerSecond = 6,
    kFrameRange = 7,
    kOtherKeyword = 10
};

// The axes (0 x, 1 y, 2 z) of the even rotation-order codes, first applied first.
const int kOrderAxes[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 2, 0}, {1, 0, 2}, {2, 0, 1}, {2, 1, 0}};

constexpr double kCentimetresPerInch = 2.54;
constexpr double kInchesPerCentimetre = 0.39370078740157477;

struct SeparatorTable {
    bool is[256] = {};
    SeparatorTable() {
        for (const char* p = VAcclaimTextFile::kSeparators; *p; ++p)
            is[(unsigned char)*p] = true;
    }
};
const SeparatorTable kSeparatorTable;

// The end of the number-looking text at p (a line holds no NUL before its end), for VParseDouble.
inline const char* NumberEnd(const char* p) {
    const char* q = p;
    while (*q && !kSeparatorTable.is[(unsigned char)*q])
        ++q;
    return q;
}

// ":FRAME-RANGE a-b" (also "a - b"): two whole numbers, b not below a.
bool ParseRange(const char* p, int& first, int& last) {
    const char* end = p + std::strlen(p);
    int a = 0, b = 0;
    p = VParseInt(p, end, a);
    if (!p) return false;
    while (*p == ' ' || *p == '\t')
        ++p;
    if (*p != '-') return false;
    p = VParseInt(p + 1, end, b);
    if (!p || NumberEnd(p) != p) return false;
    if (b < a) return false;
    first = a;
    last = b;
    return true;
}

}  // namespace

VOxaFileAcclaimAmc::VOxaFileAcclaimAmc(bool diagnostics) : VAcclaimTextFile("AMC", diagnostics) {}

bool VOxaFileAcclaimAmc::AtNumber() const {
    if (!mCursor || !*mCursor) return false;
    double value;
    return VParseDouble(mCursor, NumberEnd(mCursor), value, false) != nullptr;
}

bool VOxaFileAcclaimAmc::FrameTime(double frame, VTime start, VTime period, VTime& time) {
    // Frames count from 1; a number whose time does not fit the time line is refused.
    if (!std::isfinite(frame)) return false;
    const double index = std::trunc(frame - 1.0);
    if (!(std::fabs(index) < 9.0e18)) return false;
    long long ticks = 0, sum = 0;
    if (__builtin_mul_overflow((long long)period.Get(), (long long)index, &ticks)) return false;
    if (__builtin_add_overflow((long long)start.Get(), ticks, &sum)) return false;
    time = VTime(sum);
    return true;
}

// ---- reading ----

bool VOxaFileAcclaimAmc::ScanHeader(VStreamOptionsMotion* options) {
    ClearMessages();
    if (!options || !mFile) return false;
    Restart();
    bool haveRate = false, haveRange = false;
    double rate = 0.0;
    int first = 0, last = 0;
    long long frames = 0;
    int firstNumber = 1;
    while (!IsAtEnd()) {
        if (AtKeywordLine()) {
            char token[64];
            switch (MatchKeyword(kAmcWords)) {
                case kFormat:
                    if (!ReadToken(token, 63) || std::strcmp(token, "FIRSTFRAME-INDEXED") != 0)
                        return Error("Unsupported DOF line format\n");
                    break;
                case kSamplesPerSecond:
                    if (ReadDouble(rate)) haveRate = true;
                    break;
                case kFrameRange: {
                    if (ParseRange(GetCursor(), first, last)) haveRange = true;
                    break;
                }
                default:
                    break;
            }
            ReadNextLine();
            continue;
        }
        int number = 0;
        if (!AtNumber()) return Error("Frame number expected\n");
        const char* numberEnd = NumberEnd(mCursor);
        if (!ParseWholeNumber(mCursor, numberEnd, number))
            return Error("The frame number %.*s is not a whole number\n",
                         (int)std::min<ptrdiff_t>(numberEnd - mCursor, 40), mCursor);
        if (frames == 0) firstNumber = number;
        ++frames;
        do
            ReadNextLine();
        while (!IsAtEnd() && !AtNumber());
    }
    if (haveRate && rate > 0.0 && std::isfinite(rate) && !VOxaMotionSupport::IsUsableRate(rate))
        return Error(":SAMPLES-PER-SECOND of %.10g %s\n", rate, VOxaMotionSupport::RateProblem(rate));
    if (haveRate) options->SetTimeMode(0, rate);
    const VTime period = options->GetFramePeriod();
    // The take starts at the range's first frame; without a range, at the first frame's number
    // (frames count from 1 at time 0).
    long long start = 0;
    if (haveRange && __builtin_mul_overflow((long long)period.Get(), (long long)first, &start))
        return Error("Frame range out of range\n");
    if (!haveRange && __builtin_mul_overflow((long long)period.Get(), (long long)firstNumber - 1, &start))
        return Error("Frame number out of range (%d)\n", firstNumber);
    // 64 bits: a range of -2e9 to 2e9 does not fit an int.
    long long count = frames;
    if (haveRange) {
        const long long range = (long long)last - (long long)first + 1;
        if (range < count) count = range;
    }
    options->SetStartTime(VTime(start));
    options->SetFrameCount(count > INT_MAX ? INT_MAX : (int)count);
    return true;
}

bool VOxaFileAcclaimAmc::ReadFrames(VOxaAsfScene* scene, VStreamOptionsMotion* options) {
    ClearMessages();
    mFramesRead = 0;
    if (!scene || !options || !mFile || !scene->GetRootBone()) return false;
    const VTime start = options->GetStartTime();
    const VTime period = options->GetFramePeriod();
    const long long count = options->GetFrameCount();  // 0: all frames
    const std::vector<AsfBone*> bones = scene->GetBonesDepthFirst();
    for (AsfBone* b : bones)
        b->CreateReadCurves();

    // Bone lookup: the lines of a frame usually follow the bones' depth-first order, so the next
    // bone of that order is tried first; the index answers the others (first name wins).
    std::unordered_map<std::string_view, int> index;
    index.reserve(bones.size() * 2);
    for (size_t i = 0; i < bones.size(); ++i)
        index.emplace(std::string_view(bones[i]->mName.Buffer(), (size_t)bones[i]->mName.GetLen()), (int)i);
    std::vector<long long> lastFrame(bones.size(), -1);
    // The bones with degrees of freedom, and those said to be left out of a frame.
    size_t dofBones = 0;
    for (const AsfBone* b : bones)
        dofBones += b->mDofCount > 0 ? 1 : 0;
    std::vector<char> missingWarned(bones.size(), 0);

    const double lengthFactor = kCentimetresPerInch / scene->GetLengthUnit();
    // The unit of ":units angle" in the ASF, unless the AMC names its own.
    double angleFactor = scene->GetAngleFactor();
    double valueLimit = VOxaAsfScene::kMaxMagnitude / std::fmax(1.0, std::fmax(lengthFactor, angleFactor));

    // In a fully specified file every frame gives its bones: a last frame that gives fewer bones
    // with dofs than the frame before it (the first: than the skeleton has) is one the file ends
    // inside of, and is dropped. A frame's lines are held until the frame is complete.
    bool fullySpecified = false;
    int expected = 0;
    for (const AsfBone* b : bones)
        expected += b->mDofCount > 0 ? 1 : 0;
    struct BoneLine {
        AsfBone* bone;
        double values[AsfBone::kMaxDofs];
    };
    std::vector<BoneLine> lines;
    lines.reserve(bones.size());

    bool ok = true;
    bool namedRate = false;     // a ":SAMPLES-PER-SECOND" line
    long long rangeFrames = 0;  // the frames a ":FRAME-RANGE" line names
    long long frames = 0;
    double firstNumber = 1.0;
    VTime previous;
    int lastPercent = -1;
    Restart();
    while (ok && !IsAtEnd()) {
        if (AtKeywordLine()) {
            char token[64];
            const char* keyword = GetCursor();
            const int k = MatchKeyword(kAmcWords);
            if (k == kFormat) {
                if (!ReadToken(token, 63) || std::strcmp(token, "FIRSTFRAME-INDEXED") != 0) {
                    ok = Error("Unsupported DOF line format\n");
                    break;
                }
            } else if (k == kFullySpecified) {
                fullySpecified = true;
            } else if (k == kSamplesPerSecond) {
                namedRate = true;
            } else if (k == kFrameRange) {
                int a = 0, b = 0;
                if (ParseRange(GetCursor(), a, b)) rangeFrames = (long long)b - (long long)a + 1;
            } else if (k == kDegrees || k == kRadians) {
                angleFactor = k == kDegrees ? 1.0 : VOxaAsfScene::kRadiansFactor;
                valueLimit =
                    VOxaAsfScene::kMaxMagnitude / std::fmax(1.0, std::fmax(lengthFactor, angleFactor));
            } else if (k == kOtherKeyword) {
                Warning("Ignoring unknown keyword (%s)\n", keyword);
            }
            ReadNextLine();
            if (IsAtEnd()) ok = Error("Unexpected end of file\n");
            continue;
        }
        const char* end = NumberEnd(mCursor);
        double number = 0.0;
        if (!VParseDouble(mCursor, end, number, false)) {
            ok = Error("Unknown keyword\n");
            break;
        }
        int whole = 0;
        if (!ParseWholeNumber(mCursor, end, whole)) {
            ok = Error("The frame number %.*s is not a whole number\n",
                       (int)std::min<ptrdiff_t>(end - mCursor, 40), mCursor);
            break;
        }
        number = whole;
        // The first frame is at the take's start; the others follow by their numbers.
        if (frames == 0) firstNumber = number;
        VTime time;
        if (!FrameTime(number - firstNumber + 1.0, start, period, time)) {
            ok = Error("Frame number out of range (%.*s)\n", (int)(end - mCursor), mCursor);
            break;
        }
        // Keys are appended in order: a frame that does not come after the one before is refused.
        if (frames > 0 && time <= previous) {
            ok = Error("Frame numbers must increase (%.*s)\n", (int)(end - mCursor), mCursor);
            break;
        }
        previous = time;
        const int percent = count > 0 ? (int)(100 * frames / count) : 0;
        if (percent != lastPercent) {
            options->Progress("Reading AMC animation frames", (float)percent);
            lastPercent = percent;
        }
        // The frame number as written, for a message about the frame.
        char label[32];
        std::snprintf(label, sizeof label, "%.*s", (int)(end - mCursor), mCursor);
        ReadNextLine();
        size_t predicted = 0;
        int given = 0;  // bones with dofs that the frame gives
        lines.clear();
        while (!IsAtEnd() && !AtNumber()) {
            // The bone name: a token of at most 50 characters.
            const char* p = mCursor;
            const char* q = p;
            while (*q && !kSeparatorTable.is[(unsigned char)*q] && q - p < AsfBone::kMaxNameLength)
                ++q;
            const std::string_view name(p, (size_t)(q - p));
            int found = -1;
            if (name == "root") {
                found = 0;  // a second root line in a frame counts as an unknown name
                if (lastFrame[0] == frames) found = -1;
            } else {
                if (predicted < bones.size() && name == bones[predicted]->mName.Buffer()) {
                    found = (int)predicted;
                } else {
                    auto it = index.find(name);
                    if (it != index.end()) found = it->second;
                }
                if (found >= 0 && lastFrame[(size_t)found] == frames) {
                    ok = Error("Bone given twice in one frame (%.*s)\n", (int)name.size(), name.data());
                    break;
                }
            }
            if (found < 0) {
                ok = Error("Unknown bone name (%.*s)\n", (int)name.size(), name.data());
                break;
            }
            // A bone first given after the first frame has no key before it.
            if (lastFrame[(size_t)found] < 0 && frames > 0 && bones[(size_t)found]->mDofCount > 0 &&
                !missingWarned[(size_t)found]) {
                missingWarned[(size_t)found] = 1;
                Warning("bone %.128s has no line before frame %s: its values there are those of that frame\n",
                        bones[(size_t)found]->mName.Buffer(), label);
            }
            lastFrame[(size_t)found] = frames;
            predicted = (size_t)found + 1;
            double values[AsfBone::kMaxDofs] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
            int n = 0;
            const char* v = SkipSeparators(q);
            while (*v && *v != '#') {  // a '#' starts a comment after the values
                double value;
                const char* next = VParseDouble(v, NumberEnd(v), value, false);
                // Text that is not a finite number ("nan", "inf", a word) is refused rather than
                // read as a line cut short, which would zero the bone's values.
                if (!next) {
                    ok = Error("value %d of bone %.*s is not a finite number (%.*s)\n", n + 1,
                               (int)name.size(), name.data(), (int)(NumberEnd(v) - v), v);
                    break;
                }
                if (!(std::fabs(value) <= valueLimit)) {
                    ok = Error("value %d of bone %.*s at frame %s lies beyond +-%g (%.*s)\n", n + 1,
                               (int)name.size(), name.data(), label, valueLimit, (int)(NumberEnd(v) - v), v);
                    break;
                }
                if (n < AsfBone::kMaxDofs) values[n] = value;  // the first six count
                ++n;
                v = SkipSeparators(next);
            }
            if (!ok) break;
            // A line cut short counts as a bone not given.
            if (bones[(size_t)found]->mDofCount > 0 && n >= bones[(size_t)found]->mDofCount) ++given;
            BoneLine line{bones[(size_t)found], {}};
            std::memcpy(line.values, values, sizeof values);
            lines.push_back(line);
            ReadNextLine();
        }
        if (!ok) break;
        if (fullySpecified && IsAtEnd() && given < expected) {
            Warning("the file ends after %d of the %d bones of frame %s: the frame is dropped\n", given,
                    expected, label);
            break;
        }
        expected = given;
        // A bone with degrees of freedom that a frame leaves out after an earlier frame gave it has
        // no key there: its values come from the frames around it. Said once per bone, with the
        // first such frame. (A bone no frame gives keeps its pose.)
        if (lines.size() < dofBones) {
            for (size_t k = 0; k < bones.size(); ++k) {
                if (bones[k]->mDofCount <= 0 || lastFrame[k] < 0 || lastFrame[k] == frames ||
                    missingWarned[k])
                    continue;
                missingWarned[k] = 1;
                Warning(
                    "bone %.128s has no line in frame %s: its values there are interpolated from the "
                    "frames around it\n",
                    bones[k]->mName.Buffer(), label);
            }
        }
        for (const BoneLine& line : lines)
            line.bone->ApplyFrame(line.values, time, lengthFactor, angleFactor);
        ++frames;
        if (count > 0 && frames >= count) break;
    }
    for (AsfBone* b : bones)
        b->FinishReadCurves();
    mFramesRead = frames;
    // The file ends before the frames the header's range names.
    if (ok && frames < rangeFrames && IsAtEnd())
        Warning("the file holds %lld of the %lld frames its :FRAME-RANGE names: %lld frames are read\n",
                frames, rangeFrames, frames);
    // Frames that give no bone at all, or bones with degrees of freedom that no frame gives: the
    // skeleton (or those bones) keeps its rest pose, which the file may not mean.
    if (ok && frames > 0 && dofBones > 0) {
        size_t never = 0, first = 0;
        for (size_t k = 0; k < bones.size(); ++k)
            if (bones[k]->mDofCount > 0 && lastFrame[k] < 0 && never++ == 0) first = k;
        if (never == dofBones)
            FileWarning("the file's %lld frames give no bone lines: every bone keeps its rest pose\n",
                        frames);
        else if (never > 0)
            FileWarning(
                "%zu bones with degrees of freedom have no line in any frame (the first is %.128s): they "
                "keep their rest pose\n",
                never, bones[first]->mName.Buffer());
    }
    // Nothing in the file gives its frames a time: say which rate they were read at. The warning
    // is about the header, not about the line the read stopped at.
    if (ok && !namedRate && frames > 0)
        FileWarning(
            "the file names no frame rate (:SAMPLES-PER-SECOND): its frames are read at %g frames per "
            "second\n",
            options->GetFrameRate());
    return ok;
}

// ---- writing ----

bool VOxaFileAcclaimAmc::WriteHeader(bool ratePresent, double rate, bool rangePresent, long long first,
                                     long long last) {
    if (ratePresent) {
        // The digits that read back as the same rate (23.976023976023978, not 23.976).
        char text[40];
        VOxaSkeletonSupport::FormatRate(text, sizeof text, rate);
        WriteText(":SAMPLES-PER-SECOND ");
        WriteText(text);
        WriteChar('\n');
    }
    if (rangePresent) {
        WriteText(":FRAME-RANGE ");
        WriteInt(first);
        WriteChar('-');
        WriteInt(last);
        WriteChar('\n');
    }
    WriteText(":FULLY-SPECIFIED\n:DEGREES\n");
    return !WriteFailed();
}

void VOxaFileAcclaimAmc::PrepareWrite(VOxaAsfScene* scene) {
    mWriteScene = scene;
    mWriteBones.clear();
    if (!scene) return;
    const std::vector<AsfBone*> bones = scene->GetBonesDepthFirst();
    std::unordered_map<const AsfBone*, int> position;
    mWriteBones.resize(bones.size());
    for (size_t i = 0; i < bones.size(); ++i) {
        AsfBone* b = bones[i];
        position[b] = (int)i;
        WriteBone& w = mWriteBones[i];
        w.bone = b;
        w.parent = b->mParent ? position[b->mParent] : -1;
        VgeTVector lcl[3];
        if (b->mBoundNode) {
            b->mBoundNode->GetLclTranslation(lcl[0]);
            b->mBoundNode->GetLclRotation(lcl[1]);
            b->mBoundNode->GetLclScaling(lcl[2]);
        } else {
            lcl[2] = VgeTVector(1.0, 1.0, 1.0, 0.0);
        }
        VFCurveNode* channels[3] = {b->mBoundT, b->mBoundR, b->mBoundS};
        static const char* const kAxes[3] = {"X", "Y", "Z"};
        for (int c = 0; c < 3; ++c) {
            for (int a = 0; a < 3; ++a) {
                VFCurveNode* component = channels[c] ? channels[c]->FindChild(kAxes[a]) : nullptr;
                w.curves[c * 3 + a].Reset(component ? component->FCurveGet() : nullptr);
                // Without a curve node the values are zero translation and rotation and unit
                // scaling; a component without curve keeps the node's own value.
                w.defaults[c * 3 + a] = channels[c] ? lcl[c][a] : (c == 2 ? 1.0 : 0.0);
            }
        }
        double m[4][4];
        VgeMatrixIdentity(m);
        VgeRMatrixMult(m, b->mParentAxis, b->mAxisInverse);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                w.frame[r][c] = m[r][c];
        VgeMatrixMultVector3(w.offset, b->mAxisInverse, b->mParentOffset);
        w.order = b->GetDofRotationOrder();
        w.scale[0] = w.scale[1] = w.scale[2] = 1.0;
        w.total[0] = w.total[1] = w.total[2] = 1.0;
    }
}

VgeTVector VOxaFileAcclaimAmc::GetWrittenScale(size_t index) const {
    const double* total = mWriteBones[index].total;
    return VgeTVector(total[0], total[1], total[2], 0.0);
}

bool VOxaFileAcclaimAmc::WriteFrame(VOxaAsfScene* scene, VTime time, long long frame,
                                    const double (*parentMatrix)[4]) {
    if (scene != mWriteScene || mWriteBones.empty()) PrepareWrite(scene);
    WriteInt(frame);
    WriteChar('\n');
    const double toFile = scene->GetLengthUnit() * kInchesPerCentimetre;
    // The reader takes values whose lengths in centimetres stay within the magnitude bound.
    SetLargestNumber(VOxaAsfScene::LargestWritten(scene->GetLengthUnit()));
    for (size_t i = 0; i < mWriteBones.size(); ++i) {
        WriteBone& w = mWriteBones[i];
        double v[9];
        for (int k = 0; k < 9; ++k)
            v[k] = w.curves[k].GetCurve() ? (double)w.curves[k].Evaluate(time) : w.defaults[k];
        double* t = v;
        double* r = v + 3;
        double* s = v + 6;
        if (i == 0 && parentMatrix) {
            // Export from the global position: the root's values in the parent's frame.
            double local[4][4], global[4][4];
            VgeMatrixFromTRS(local, t, r, s);
            VgeMatrixMultAffine(global, parentMatrix, local);
            VgeMatrixGetTranslation(t, global);
            VgeMatrixToEulerXYZScaled(r, global);
            VgeMatrixToScaling(s, global);
        }
        const WriteBone* parent = w.parent >= 0 ? &mWriteBones[(size_t)w.parent] : nullptr;
        if (parent) {
            for (int a = 0; a < 3; ++a)
                t[a] *= parent->total[a];
        }
        for (int a = 0; a < 3; ++a) {
            w.scale[a] = s[a];
            w.total[a] = parent ? parent->total[a] * s[a] : s[a];
        }
        const AsfBone* b = w.bone;
        if (b->mDofCount == 0) continue;
        SetNumberSubject(b->mBoundNode ? b->mBoundNode->GetNameWithoutPrefix() : b->mName.Buffer(), frame);

        // Translation: (T x parent A - parent offset) x A^-1, in file units.
        double ft[3];
        for (int c = 0; c < 3; ++c)
            ft[c] =
                (t[0] * w.frame[0][c] + t[1] * w.frame[1][c] + t[2] * w.frame[2][c] - w.offset[c]) * toFile;
        // Rotation: R x parent A x A^-1, decomposed in the order of the dof list.
        double rm[4][4], n[4][4];
        VgeMatrixIdentity(rm);
        VgeEulerXYZToMatrix(rm, r[0], r[1], r[2]);
        for (int row = 0; row < 3; ++row)
            for (int c = 0; c < 3; ++c)
                n[row][c] =
                    rm[row][0] * w.frame[0][c] + rm[row][1] * w.frame[1][c] + rm[row][2] * w.frame[2][c];
        double angles[3], byAxis[3];
        VgeMatrixToEuler(angles, n, w.order);
        for (int a = 0; a < 3; ++a)
            byAxis[kOrderAxes[w.order / 2][a]] = angles[a];

        WriteText(b->mName.Buffer());
        WriteChar(' ');
        for (int d = 0; d < b->mDofCount; ++d) {
            const int code = b->mDofs[d];
            WriteChar(' ');
            WriteG(code <= eASF_TZ ? ft[code] : byAxis[eASF_RX - code]);
        }
        WriteChar('\n');
    }
    return !WriteFailed();
}
