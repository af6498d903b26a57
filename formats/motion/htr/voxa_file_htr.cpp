#include "formats/motion/htr/voxa_file_htr.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "animation/fcurve.h"
#include "base/vconfig_file.h"
#include "base/vge_euler.h"
#include "base/vge_matrix.h"
#include "base/vge_quaternion.h"
#include "formats/motion/voxa_motion_base.h"
#include "oxa_codec/vstream_options.h"

namespace {

constexpr double kRadiansToDegrees = 57.29577951308232;
// 0.3333333 as the keys store it (float bits 0x3EAAAAAB).
constexpr float kKeyWeight = kFCurveDefaultWeight;

enum EHeaderKey : int {
    eKEY_FILE_TYPE,
    eKEY_DATA_TYPE,
    eKEY_FILE_VERSION,
    eKEY_NUM_SEGMENTS,
    eKEY_NUM_FRAMES,
    eKEY_DATA_FRAME_RATE,
    eKEY_EULER_ROTATION_ORDER,
    eKEY_CALIBRATION_UNITS,
    eKEY_ROTATION_UNITS,
    eKEY_GRAVITY_AXIS,
    eKEY_BONE_LENGTH_AXIS,
    eKEY_SCALE_FACTOR
};

// Keyword tables are matched as case-insensitive prefixes, first entry first. They are only
// peeked at (PeekKeyword), so the shared tables are never written.
const VTextFile::Keyword kSections[] = {
    {"[Header]", 0}, {"[SegmentNames&Hierarchy]", 0}, {"[BasePosition]", 0}, {"[EndOfFile]", 0}, {"", 0}};
enum ESectionKeyword : int { eHEADER, eHIERARCHY, eBASE_POSITION, eEND_OF_FILE };

const VTextFile::Keyword kHeaderKeys[] = {{"FileType", 0},
                                          {"DataType", 0},
                                          {"FileVersion", 0},
                                          {"NumSegments", 0},
                                          {"NumFrames", 0},
                                          {"DataFrameRate", 0},
                                          {"EulerRotationOrder", 0},
                                          {"CalibrationUnits", 0},
                                          {"RotationUnits", 0},
                                          {"GlobalAxisofGravity", 0},
                                          {"BoneLengthAxis", 0},
                                          {"ScaleFactor", 0},
                                          {"", 0}};
const VTextFile::Keyword kFileTypes[] = {{"htr", 0}, {"", 0}};
const VTextFile::Keyword kDataTypes[] = {{"HTRS", 0}, {"", 0}};
// The order names and their codes: the code's axes are the name's letters read right to left.
const VTextFile::Keyword kRotationOrders[] = {{"ZYX", 0}, {"YXZ", 0}, {"XZY", 0}, {"ZXY", 0},
                                              {"YZX", 0}, {"XYZ", 0}, {"", 0}};
const int kRotationOrderCodes[] = {0, 8, 4, 6, 2, 10};
const VTextFile::Keyword kRotationUnits[] = {{"Degrees", 0}, {"Radians", 0}, {"", 0}};
const VTextFile::Keyword kAxes[] = {{"X", 0}, {"Y", 0}, {"Z", 0}, {"", 0}};

// The axes (first, second, third applied) of each order code, as in the 12-row table.
const int kOrderAxes[12][3] = {{0, 1, 2}, {0, 1, 0}, {0, 2, 1}, {0, 2, 0}, {1, 2, 0}, {1, 2, 1},
                               {1, 0, 2}, {1, 0, 1}, {2, 0, 1}, {2, 0, 2}, {2, 1, 0}, {2, 1, 2}};

bool Finite3(const double* v) {
    return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

}  // namespace

// ---- segment ----

VOxaFileMotionAnalysisHtr::Segment::Segment() {
    mBaseTranslation[0] = mBaseTranslation[1] = mBaseTranslation[2] = 0.0;
    mBaseTranslation[3] = 1.0;
    VgeMatrixIdentity(mBaseRotation);
    VgeMatrixIdentity(mSecondMatrix);
    for (VFCurve*& curve : mCurves)
        curve = nullptr;
}

void VOxaFileMotionAnalysisHtr::Segment::SetNames(const char* name, const char* parent, VOxaNode* node) {
    mName = name ? name : "";
    mParent = parent ? parent : "";
    mNode = node;
}

void VOxaFileMotionAnalysisHtr::Segment::SetBasePosition(const double translation[3],
                                                         const double rotation[3], int orderCode,
                                                         double length) {
    mBaseTranslation[0] = translation[0];
    mBaseTranslation[1] = translation[1];
    mBaseTranslation[2] = translation[2];
    mBaseTranslation[3] = 1.0;
    mBoneLength = length;
    VgeMatrixIdentity(mBaseRotation);
    EulerToMatrix(mBaseRotation, rotation, orderCode);
}

void VOxaFileMotionAnalysisHtr::Segment::BeginKeys(int frameCount) {
    int reserve = std::min(std::max(frameCount, 0), kKeyReserveCap);
    for (VFCurve* curve : mCurves) {
        if (!curve) continue;
        curve->KeyModifyBegin();
        if (!curve->ResizeKeyBuffer(reserve)) throw std::bad_alloc();
    }
    mKeySlots = reserve;
    mKeysOpen = true;
}

bool VOxaFileMotionAnalysisHtr::Segment::AddFrameKeys(int index, VTime time, const double translation[3],
                                                      const double rotation[3], const double scaling[3]) {
    if (index < 0) return false;
    if (index >= mKeySlots) {
        // Grow by doubling as frame lines arrive: linear overall, and backed by the lines read.
        int slots = mKeySlots > (1 << 29) ? index + 1 : std::max(index + 1, 2 * mKeySlots);
        for (VFCurve* curve : mCurves)
            if (curve && !curve->ResizeKeyBuffer(slots)) throw std::bad_alloc();
        mKeySlots = slots;
    }
    const double* values[3] = {translation, rotation, scaling};
    for (int c = 0; c < 9; ++c) {
        VFCurve* curve = mCurves[c];
        if (!curve) continue;
        const float value = (float)values[c / 3][c % 3];
        // Keys arrive in time order: appending writes the same cubic automatic key (weights 1/3)
        // without a per-key notification.
        if (index == curve->KeyGetCount() && (index == 0 || curve->KeyGetTime(index - 1) < time)) {
            if (curve->KeyAppendFast(time, value) < 0) throw std::bad_alloc();
            continue;
        }
        if (!curve->KeySet(index, time, value, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentAuto,
                           0.0f, 0.0f, VFCurveKey::eWeightedNone, kKeyWeight, kKeyWeight))
            return false;
    }
    return true;
}

void VOxaFileMotionAnalysisHtr::Segment::EndKeys() {
    if (!mKeysOpen) return;
    for (VFCurve* curve : mCurves)
        if (curve) curve->KeyModifyEnd();
    mKeysOpen = false;
}

// ---- file ----

VOxaFileMotionAnalysisHtr::VOxaFileMotionAnalysisHtr(bool diagnostics)
    : VTextFile("HTR", " \t\r\n", "#", true, diagnostics) {
    ResetHeader();
    VConfigFile settings("@Application.txt");
    VString value = settings.ReadValue("MotionImportHTR", "MinimizeRotationOffset", "Yes");
    mMinimizeRotationOffset = value.CompareNoCase("Yes") == 0;
}

VOxaFileMotionAnalysisHtr::~VOxaFileMotionAnalysisHtr() {
    ClearSegments();
    Close();
}

void VOxaFileMotionAnalysisHtr::ResetHeader() {
    mFileType = 0;
    mDataType = 0;
    mFileVersion = 1;
    mNumSegments = 0;
    mNumFrames = 0;
    mFrameRate = 60.0;
    mRotationOrderKeyword = 0;
    mCalibrationUnits = eMM;
    mRotationUnits = eDEGREES;
    mGravityAxis = 1;
    mBoneLengthAxis = 1;
    mScaleFactor = 1.0;
    mRotationOrderCode = 0;
    mCalibrationFactor = 0.1;
    mRotationFactor = 1.0;
    VgeMatrixIdentity(mBoneAxisMatrix);
    mWarnings = "";
    mBadScaleSeen = false;
}

void VOxaFileMotionAnalysisHtr::ClearSegments() {
    for (auto& segment : mSegments)
        segment->EndKeys();
    mSegments.clear();
    mSegmentIndex.clear();
    mSegmentCursor = 0;
}

VOxaFileMotionAnalysisHtr::Segment* VOxaFileMotionAnalysisHtr::AddSegment(const char* name,
                                                                          const char* parent) {
    std::unique_ptr<Segment> made(new Segment());
    mSegments.push_back(std::move(made));
    Segment* segment = mSegments.back().get();
    segment->SetNames(name, parent, nullptr);
    mSegmentIndex.emplace(segment->mName, (int)mSegments.size() - 1);
    return segment;
}

int VOxaFileMotionAnalysisHtr::FindSegmentIndex(const char* name) const {
    if (!name) return -1;
    auto found = mSegmentIndex.find(name);
    return found == mSegmentIndex.end() ? -1 : found->second;
}

VOxaFileMotionAnalysisHtr::Segment* VOxaFileMotionAnalysisHtr::FindSegment(const char* name) const {
    return GetSegment(FindSegmentIndex(name));
}

VOxaFileMotionAnalysisHtr::Segment* VOxaFileMotionAnalysisHtr::FindSegmentByNode(const VOxaNode* node) const {
    if (!node) return nullptr;
    for (const auto& segment : mSegments)
        if (segment->mNode == node) return segment.get();
    return nullptr;
}

void VOxaFileMotionAnalysisHtr::EulerToMatrix(double out[4][4], const double angles[3], int orderCode) {
    if (orderCode < 0 || orderCode > 11) orderCode = 0;
    const int* axes = kOrderAxes[orderCode];
    // Each file angle turns about its own axis, whatever that axis's place in the order.
    VgeEulerToMatrix(out, angles[axes[0]], angles[axes[1]], angles[axes[2]], orderCode);
}

bool VOxaFileMotionAnalysisHtr::ReadNameToken(std::string& name) {
    // The whole token, however long: a name cut short would leave its rest to be read as the next
    // field of the line.
    const char* start = GetCursor();
    if (!start || !*start) return false;
    const size_t length = std::strcspn(start, mDelimiters);
    name.assign(start, length);
    SetCursor(SkipSeparators(start + length));
    return true;
}

// ---- header ----

bool VOxaFileMotionAnalysisHtr::ReadHeaderLine(VStreamOptionsMotion* options) {
    // Matches a word of `table` at the cursor and moves past it and the separators after it.
    auto match = [this](const Keyword* table) {
        int index = PeekKeyword(table);
        if (index >= 0) SetCursor(SkipSeparators(GetCursor() + std::strlen(table[index].word)));
        return index;
    };
    int key = match(kHeaderKeys);
    if (key < 0) return true;  // other keys are passed over
    int number = 0;
    int word = -1;
    switch (key) {
        case eKEY_FILE_TYPE:
            if ((word = match(kFileTypes)) < 0) return Fail("Unknown file type (%.40s)", GetCursor());
            mFileType = word;
            break;
        case eKEY_DATA_TYPE:
            if ((word = match(kDataTypes)) < 0) return Fail("Unknown data type (%.40s)", GetCursor());
            mDataType = word;
            break;
        case eKEY_FILE_VERSION:
            if (ReadInt(number))
                mFileVersion = number;
            else
                PrintWarning("Can't read version");
            break;
        case eKEY_NUM_SEGMENTS:
            if (!ReadInt(number) || number < 0) return Fail("Can't read segment count");
            // Each segment becomes a joint node with its curves: a short file must not ask for
            // more of them than a skeleton has.
            if (number > kMaxSegments) return Fail("%d segments: more than %d", number, kMaxSegments);
            mNumSegments = number;
            break;
        case eKEY_NUM_FRAMES:
            if (!ReadInt(number) || number < 0) return Fail("Can't read frame count");
            mNumFrames = number;
            if (options) options->SetFrameCount(number);
            break;
        case eKEY_DATA_FRAME_RATE: {
            // A whole or a fractional rate ("29.97"); one of 0 or less has no frame period.
            double rate = 0.0;
            if (!ReadDouble(rate) || !(rate > 0.0) || !std::isfinite(rate))
                return Fail("Can't read data frame rate");
            if (!VOxaMotionSupport::IsUsableRate(rate))
                return Fail("a DataFrameRate of %.10g %s", rate, VOxaMotionSupport::RateProblem(rate));
            mFrameRate = rate;
            if (options) options->SetTimeMode(0, rate);
            break;
        }
        case eKEY_EULER_ROTATION_ORDER:
            if ((word = match(kRotationOrders)) < 0)
                return Fail("Unknown euler rotation order (%.40s)", GetCursor());
            mRotationOrderKeyword = word;
            mRotationOrderCode = kRotationOrderCodes[word];
            break;
        case eKEY_CALIBRATION_UNITS: {
            std::string unit;
            double centimetres = 1.0;
            const int found = ReadNameToken(unit)
                                  ? VOxaMotionSupport::FindLengthUnit(unit.c_str(), unit.size(), centimetres)
                                  : -1;
            if (found < 0) {
                PrintWarning("Unknown calibration units");
                char text[200];
                std::snprintf(text, sizeof text,
                              "HTR: unknown CalibrationUnits \"%.60s\" on line %u: lengths are read as "
                              "millimetres\n",
                              unit.c_str(), (unsigned)mLineNumber);
                mWarnings += text;
                break;
            }
            mCalibrationUnits = found;
            mCalibrationFactor = centimetres;
            break;
        }
        case eKEY_ROTATION_UNITS:
            if ((word = match(kRotationUnits)) < 0)
                return Fail("Unknown rotation units (%.40s)", GetCursor());
            mRotationUnits = word;
            mRotationFactor = word == eRADIANS ? kRadiansToDegrees : 1.0;
            break;
        case eKEY_GRAVITY_AXIS: {
            // The scene is Y up: a file with another up axis is read as its numbers stand (its up
            // axis is not turned onto Y), and a written file says Y.
            const char* given = GetCursor();
            if ((word = match(kAxes)) < 0) PrintWarning("Unknown axis of gravity");
            if (word != 1) {
                std::string value;
                for (const char* p = given; *p && *p != ' ' && *p != '\t' && *p != '\r' && value.size() < 40;
                     ++p)
                    value += *p;
                char text[240];
                std::snprintf(text, sizeof text,
                              "HTR: GlobalAxisofGravity \"%s\" on line %u: the positions and rotations are "
                              "read as they stand, with Y up, and a written file says Y\n",
                              value.c_str(), (unsigned)mLineNumber);
                mWarnings += text;
            }
            if (word >= 0) mGravityAxis = word;
            break;
        }
        case eKEY_BONE_LENGTH_AXIS: {
            if ((word = match(kAxes)) < 0) return Fail("Unknown bone length axis (%.40s)", GetCursor());
            mBoneLengthAxis = word;
            // The rotation that turns the X axis onto the bone axis.
            double axis[3] = {0.0, 0.0, 0.0};
            axis[word] = 1.0;
            double q[4];
            VgeQuaternionFromXAxis(q, axis);
            VgeMatrixIdentity(mBoneAxisMatrix);
            VgeQuaternionToMatrix(mBoneAxisMatrix, q);
            break;
        }
        case eKEY_SCALE_FACTOR: {
            double factor = 0.0;
            // The factor divides every length: it must be a positive finite number.
            if (!ReadDouble(factor) || !(factor > 0.0) || !std::isfinite(factor))
                return Fail("Can't read scale factor");
            mScaleFactor = factor;
            break;
        }
        default:
            break;
    }
    return true;
}

bool VOxaFileMotionAnalysisHtr::ReadHeaderOnly(VStreamOptionsMotion* options) {
    ResetHeader();
    ClearFailure();
    if (!Rewind()) return Fail("Can't rewind file");
    if (IsAtEnd()) return FailNoText();
    bool inHeader = false;
    while (!IsAtEnd()) {
        int section = PeekKeyword(kSections);
        if (section >= 0) {
            if (inHeader) {
                if (options) {
                    options->SetOption(VStreamOptionsMotion::eIMPORT_CREATE_REFERENCE_NODE, 1);
                    ReadStart(options);
                }
                return true;
            }
            inHeader = section == eHEADER;
        } else if (inHeader && !ReadHeaderLine(options)) {
            return false;
        }
        ReadNextLine();
    }
    return Fail(inHeader ? "Unexpected end of file in the [Header] section"
                         : "Unexpected end of file: no [Header] section");
}

void VOxaFileMotionAnalysisHtr::ReadStart(VStreamOptionsMotion* options) {
    // The first line after the base positions that is no section of the layout titles the first
    // segment's block; the line after it is that segment's first frame.
    bool basePositions = false;
    while (ReadNextLine()) {
        const int section = PeekKeyword(kSections);
        if (section == eEND_OF_FILE) return;
        if (section >= 0) {
            basePositions = section == eBASE_POSITION;
            continue;
        }
        if (!basePositions || *GetCursor() != '[') continue;
        int first = 1;
        if (!ReadNextLine()) return;
        if (!ReadFrameNumber(first)) {
            // The frame lines say it when they are read.
            ClearFailure();
            return;
        }
        // Frames count from 1 at time 0.
        const int64_t period = options->GetFramePeriod().Get();
        int64_t start = 0;
        if (period > 0 && !__builtin_mul_overflow(period, (int64_t)first - 1, &start))
            options->SetStartTime(VTime(start));
        return;
    }
}

// ---- structure ----

bool VOxaFileMotionAnalysisHtr::ReadStructure() {
    ResetHeader();
    ClearFailure();
    if (!Rewind()) return Fail("Can't rewind file");
    if (IsAtEnd()) return FailNoText();
    mSectionState = eSECTION_NONE;
    bool headerSeen = false;
    bool hierarchySeen = false;
    while (!IsAtEnd()) {
        int section = PeekKeyword(kSections);
        if (section >= 0) {
            switch (section) {
                case eHEADER:
                    mSectionState = eSECTION_HEADER;
                    headerSeen = true;
                    break;
                case eHIERARCHY:
                    if (!headerSeen) return Fail("Header not found");
                    ClearSegments();
                    mSectionState = eSECTION_HIERARCHY;
                    hierarchySeen = true;
                    break;
                case eBASE_POSITION:
                    if (!hierarchySeen) return Fail("Hierarchy not found");
                    // A file without segments has no skeleton to build.
                    if ((int)mSegments.size() != mNumSegments || mSegments.empty())
                        return Fail("Bad segment count: NumSegments is %d, the hierarchy lists %d",
                                    mNumSegments, (int)mSegments.size());
                    mSectionState = eSECTION_BASE;
                    mSegmentCursor = 0;
                    break;
                default:
                    return Fail("Animation data not found");
            }
            ReadNextLine();
            continue;
        }
        bool ok = true;
        switch (mSectionState) {
            case eSECTION_HEADER:
                ok = ReadHeaderLine(nullptr);
                break;
            case eSECTION_HIERARCHY:
                ok = ReadHierarchyLine();
                break;
            case eSECTION_BASE:
                ok = ReadBasePositionLine();
                break;
            default:
                break;
        }
        if (!ok) return false;
        ReadNextLine();
        if (mSectionState == eSECTION_ANIMATION) return true;
    }
    switch (mSectionState) {
        case eSECTION_HEADER:
            return Fail("Unexpected end of file in the [Header] section");
        case eSECTION_HIERARCHY:
            return Fail(
                "Unexpected end of file in the [SegmentNames&Hierarchy] section after %d of %d segments",
                (int)mSegments.size(), mNumSegments);
        case eSECTION_BASE:
            return Fail("Unexpected end of file in the [BasePosition] section after %d of %d segments",
                        mSegmentCursor, (int)mSegments.size());
        default:
            return Fail(!headerSeen      ? "Unexpected end of file: no [Header] section"
                        : !hierarchySeen ? "Unexpected end of file: no [SegmentNames&Hierarchy] section"
                                         : "Unexpected end of file: no [BasePosition] section");
    }
}

bool VOxaFileMotionAnalysisHtr::ReadHierarchyLine() {
    std::string name, parent;
    if (!ReadNameToken(name)) return Fail("Can't read segment name");
    if (!ReadNameToken(parent)) return Fail("Can't read parent name");
    AddSegment(name.c_str(), parent.c_str());
    // Further lines of the section are skipped once the count is reached.
    if ((int)mSegments.size() == mNumSegments) mSectionState = eSECTION_NONE;
    return true;
}

bool VOxaFileMotionAnalysisHtr::ReadBasePositionLine() {
    std::string name;
    double translation[3], rotation[3], length = 0.0;
    const double factor = GetTranslationFactor();
    if (!ReadNameToken(name)) return Fail("Can't read segment name");
    if (!ReadVector3(translation, factor) || !Finite3(translation))
        return Fail("Can't read segment base translation");
    if (!ReadVector3(rotation, mRotationFactor) || !Finite3(rotation))
        return Fail("Can't read segment base rotation");
    if (!ReadDouble(length, factor) || !std::isfinite(length)) return Fail("Can't read segment length");
    Segment* segment = GetSegment(mSegmentCursor);
    if (!segment || segment->mName != name)
        return Fail("Base position of \"%.200s\" out of hierarchy order", name.c_str());
    segment->SetBasePosition(translation, rotation, mRotationOrderCode, length);
    if (++mSegmentCursor == (int)mSegments.size()) {
        mSectionState = eSECTION_ANIMATION;
        mSegmentCursor = 0;
    }
    return true;
}

// ---- animation ----

VOxaFileMotionAnalysisHtr::Segment* VOxaFileMotionAnalysisHtr::FindSegmentBlock() {
    std::string token;
    if (!ReadNameToken(token)) {
        Fail("Can't read frame name");
        return nullptr;
    }
    // "[name]" with the segment's name exactly.
    const size_t length = token.size();
    if (length < 2 || token[0] != '[' || token[length - 1] != ']') return nullptr;
    return FindSegment(token.substr(1, length - 2).c_str());
}

bool VOxaFileMotionAnalysisHtr::ReadFrameLine(Segment* segment, int index, VTime time) {
    if (!segment) return false;
    int frame = 0;
    double translation[3], angles[3], scale = 1.0;
    if (!ReadFrameNumber(frame)) return false;
    if (!ReadVector3(translation, GetTranslationFactor()) || !Finite3(translation))
        return Fail("Can't read frame translation");
    if (!ReadVector3(angles, mRotationFactor) || !Finite3(angles)) return Fail("Can't read frame rotation");
    if (!ReadDouble(scale) || !std::isfinite(scale)) return Fail("Can't read frame scaling");
    // A segment's scale factor scales its bone; one of 0 or below would fold it away, and one far
    // from 1 would take a child's translation, which is divided by it, out of single precision.
    if (!(scale >= kMinScaleFactor && scale <= kMaxScaleFactor)) {
        if (!mBadScaleSeen) {
            char text[200];
            std::snprintf(text, sizeof text,
                          "HTR: segment \"%.60s\" has the scale factor %g on line %u: a scale factor "
                          "outside %g to %g is read as 1\n",
                          segment->mName.c_str(), scale, (unsigned)mLineNumber, kMinScaleFactor,
                          kMaxScaleFactor);
            mWarnings += text;
            mBadScaleSeen = true;
        }
        scale = 1.0;
    }
    if (scale != 1.0 || !segment->mScales.empty()) {
        if (segment->mScales.size() <= (size_t)index) segment->mScales.resize((size_t)index + 1, 1.0f);
        segment->mScales[(size_t)index] = (float)scale;
    }
    for (int k = 0; k < 3; ++k)
        translation[k] += segment->mBaseTranslation[k];
    // The frame rotation, then the base rotation (row vectors).
    double frameRotation[4][4], product[4][4];
    EulerToMatrix(frameRotation, angles, mRotationOrderCode);
    VgeMatrixMultRotation(product, segment->mBaseRotation, frameRotation);
    double rotation[3];
    VgeMatrixToEulerXYZ(rotation, product);
    static const double kUnitScaling[3] = {1.0, 1.0, 1.0};
    if (!segment->AddFrameKeys(index, time, translation, rotation, kUnitScaling))
        return Fail("Can't set the keys of frame %d", frame);
    return true;
}

// ---- writing ----

void VOxaFileMotionAnalysisHtr::FormatFrameRate(char* out, size_t size, double rate) {
    if (rate == std::floor(rate) && std::fabs(rate) < 2147483648.0) {
        std::snprintf(out, size, "%d", (int)rate);
        return;
    }
    // The fewest significant digits that read back as the same number, or as one of the same
    // frame period (59.94, not 59.93999999999999).
    for (int digits = 6; digits <= 17; ++digits) {
        std::snprintf(out, size, "%.*g", digits, rate);
        const double back = std::strtod(out, nullptr);
        if (back == rate || VOxaMotionSupport::SamePeriod(back, rate)) return;
    }
}

bool VOxaFileMotionAnalysisHtr::WriteHeader(int segmentCount, int frameCount, double frameRate) {
    WriteIndented(0, "[Header]\n");
    WriteIndented(0, "FileType HTR\n");
    WriteIndented(0, "DataType HTRS\n");
    WriteIndented(0, "FileVersion 1\n");
    WriteIndented(0, "NumSegments %d\n", segmentCount);
    WriteIndented(0, "NumFrames %d\n", frameCount);
    char rate[40];
    FormatFrameRate(rate, sizeof rate, frameRate);
    WriteIndented(0, "DataFrameRate %s\n", rate);
    WriteIndented(0, "EulerRotationOrder ZYX\n");
    WriteIndented(0, "CalibrationUnits mm\n");
    WriteIndented(0, "RotationUnits Degrees\n");
    WriteIndented(0, "GlobalAxisofGravity Y\n");
    WriteIndented(0, "BoneLengthAxis Y\n");
    WriteIndented(0, "ScaleFactor 1.0\n");
    return !WriteFailed();
}

bool VOxaFileMotionAnalysisHtr::WriteHierarchyTitle() {
    return WriteText("[SegmentNames&Hierarchy]\n");
}

bool VOxaFileMotionAnalysisHtr::WriteHierarchyLine(const char* name, const char* parent) {
    WriteText(name ? name : "");
    WriteChar('\t');
    WriteText(parent ? parent : "GLOBAL");
    return WriteChar('\n');
}

bool VOxaFileMotionAnalysisHtr::WriteBasePositionTitle() {
    return WriteText("[BasePosition]\n");
}

bool VOxaFileMotionAnalysisHtr::WriteBasePositionLine(const char* name, const double translation[3],
                                                      const double rotation[3], double length) {
    WriteText(name ? name : "");
    for (int k = 0; k < 3; ++k) {
        WriteChar('\t');
        WriteG(translation[k] + 0.0);  // + 0.0: a negative zero prints as "0"
    }
    for (int k = 0; k < 3; ++k) {
        WriteChar('\t');
        WriteG(rotation[k] + 0.0);
    }
    WriteChar('\t');
    WriteG(length);
    return WriteChar('\n');
}

bool VOxaFileMotionAnalysisHtr::WriteSegmentTitle(const char* name) {
    WriteChar('[');
    WriteText(name ? name : "");
    return WriteText("]\n");
}

bool VOxaFileMotionAnalysisHtr::WriteFrameLine(long long frame, const double translation[3],
                                               const double rotation[3], double scale) {
    WriteInt(frame);
    for (int k = 0; k < 3; ++k) {
        WriteChar('\t');
        WriteG(translation[k] + 0.0);  // + 0.0: a negative zero prints as "0"
    }
    for (int k = 0; k < 3; ++k) {
        WriteChar('\t');
        WriteG(rotation[k] + 0.0);
    }
    if (scale == 1.0) return WriteText("\t1.0\n");
    WriteChar('\t');
    WriteG(scale);
    return WriteChar('\n');
}

bool VOxaFileMotionAnalysisHtr::WriteEndOfFile() {
    return WriteText("[EndOfFile]\n");
}
