#include "formats/motion/c3d/voxa_file_vicon.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "formats/motion/voxa_skeleton_support.h"
#include "formats/motion/vtext_file.h"
#include "oxa_codec/vstream_options.h"

namespace {

// The rate a file's single-precision rate stands for: the decimal with the fewest significant
// digits that is the same float (59.94, not 59.939998626708984).
double FloatRate(float stored) {
    char text[32];
    for (int digits = 1; digits <= 9; ++digits) {
        std::snprintf(text, sizeof text, "%.*e", digits - 1, (double)stored);
        const double candidate = std::strtod(text, nullptr);
        if ((float)candidate == stored) return candidate;
    }
    return (double)stored;
}

bool Named(const VViconParameter& parameter, const char* name) {
    return std::strcmp(parameter.GetName(), name) == 0;
}

// 1 for "LABELS", n for "LABELS<n>" (n from 2, no leading zero: the parts that name the
// markers past the first 255), 0 for any other name.
int LabelsPart(const char* name) {
    if (std::strncmp(name, "LABELS", 6) != 0) return 0;
    const char* digits = name + 6;
    if (!*digits) return 1;
    if (*digits == '0') return 0;
    int part = 0;
    for (const char* p = digits; *p; ++p) {
        if (*p < '0' || *p > '9' || p - digits >= 4) return 0;
        part = part * 10 + (*p - '0');
    }
    return part >= 2 ? part : 0;
}

// A non-empty character value: its text and length.
bool TextOf(const VViconParameter& parameter, const char*& text, int& length) {
    const VViconArray* value = parameter.GetValue();
    if (!value || value->GetType() != VViconArray::kChar || value->GetElementCount() <= 0) return false;
    text = value->GetString();
    length = (int)value->GetElementCount();
    return true;
}

// The text of a character value's cell [begin, end) without the blanks and nulls that pad it.
std::string CellText(const char* begin, const char* end) {
    while (begin < end && (*begin == ' ' || *begin == 0))
        ++begin;
    while (end > begin && (end[-1] == ' ' || end[-1] == 0))
        --end;
    return std::string(begin, end);
}

// A unit word cut short by a cell too narrow for it: files with four-character cells store
// "meters" as "mete". A text that fills its whole cell, of three letters or more, is read as the
// one unit whose long words all start with it; sets `centimetres` and a warning naming both.
bool CutUnitWord(const std::string& cell, int64_t width, double& centimetres, char* warning, size_t size) {
    static const char* const kWords[] = {"millimeters", "millimetres", "centimeters", "centimetres",
                                         "inches",      "decimeters",  "decimetres",  "meters",
                                         "metres",      "feet",        "yards",       "kilometers",
                                         "kilometres",  "micrometers", "micrometres"};
    if (cell.size() < 3 || (int64_t)cell.size() != width) return false;
    const char* found = nullptr;
    double unit = 0.0;
    for (const char* word : kWords) {
        const size_t length = std::strlen(word);
        if (length <= cell.size() || !std::equal(cell.begin(), cell.end(), word, [](char a, char b) {
                return std::tolower((unsigned char)a) == b;
            }))
            continue;
        double wordUnit = 0.0;
        VOxaMotionSupport::FindLengthUnit(word, length, wordUnit);
        if (found && wordUnit != unit) return false;
        if (!found) {
            found = word;
            unit = wordUnit;
        }
    }
    if (!found) return false;
    centimetres = unit;
    std::snprintf(warning, size, "POINT:UNITS \"%.40s\" fills its cell; it is read as \"%s\".", cell.c_str(),
                  found);
    return true;
}

// The length unit of POINT:UNITS, a character value of any shape: one text, or a table of texts
// (cells as long as its fastest dimension), which files fill with the same unit once per row or
// leave blank but for one. Sets `centimetres` to the scene centimetres of one unit; answers the
// warning to give, empty when there is none. A value without a length unit leaves `centimetres`
// as it was (millimetres).
std::string PointUnit(const VViconArray& value, double& centimetres) {
    const int64_t count = value.GetElementCount();
    const char* text = value.GetString();
    const int dimensions = value.GetDimensionCount();
    const int64_t width = dimensions > 1 ? value.GetDimension(dimensions - 1) : count;
    std::vector<std::string> cells;
    if (text && count > 0 && width > 0)
        for (int64_t at = 0; at + width <= count; at += width) {
            std::string cell = CellText(text + at, text + at + width);
            if (!cell.empty()) cells.push_back(std::move(cell));
        }
    char warning[240];
    if (count <= 0) return "POINT:UNITS is empty; the positions are read as millimetres.";
    if (cells.empty()) cells.push_back("");
    for (const std::string& cell : cells)
        if (cell.size() != cells[0].size() ||
            !std::equal(cell.begin(), cell.end(), cells[0].begin(), [](char a, char b) {
                return std::tolower((unsigned char)a) == std::tolower((unsigned char)b);
            })) {
            std::snprintf(warning, sizeof warning,
                          "POINT:UNITS holds different units (\"%.40s\" and \"%.40s\"); the first is used.",
                          cells[0].c_str(), cell.c_str());
            break;
        } else {
            warning[0] = 0;
        }
    double unit = 0.1;
    if (VOxaMotionSupport::FindLengthUnit(cells[0].data(), cells[0].size(), unit) < 0 &&
        !CutUnitWord(cells[0], width, unit, warning, sizeof warning)) {
        std::snprintf(warning, sizeof warning,
                      "POINT:UNITS \"%.40s\" is no length unit; the positions are read as millimetres.",
                      cells[0].c_str());
        return warning;
    }
    centimetres = unit;
    return warning;
}

// The row's characters up to a terminator, without trailing white space.
VString RowText(const char* text, int length) {
    int end = 0;
    while (end < length && text[end])
        ++end;
    while (end > 0 && std::isspace((unsigned char)text[end - 1]))
        --end;
    return VString(text, end);
}

// A float of processor `processor` from 4 bytes, converted to the host's format in bulk loops.
inline float LoadDec(const uint8_t* p) {
    uint32_t u;
    std::memcpy(&u, p, 4);
    // The halves swapped are the IEEE layout with an exponent 2 larger; DEC exponents 0 to 2
    // (zero and the values below IEEE's smallest normal) take the exact way.
    u = (u >> 16) | (u << 16);
    const uint32_t exponent = u & 0x7F800000u;
    if (exponent < 0x01800000u) {
        if (exponent == 0) return (u & 0x80000000u) ? -0.0f : 0.0f;  // zero, as a fourth value often is
        return (float)VViconNumbers::DecValue(p);
    }
    u -= 0x01000000u;
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}

inline float LoadMips(const uint8_t* p) {
    uint32_t u;
    std::memcpy(&u, p, 4);
    u = __builtin_bswap32(u);
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}

inline float LoadIntel(const uint8_t* p) {
    float f;
    std::memcpy(&f, p, 4);
    return f;
}

// Valid when the fourth value (the residual) is not below 0 and, cut to a whole number and taken
// as a signed 16-bit integer, is not negative. Any residual below 0 marks the point invalid, also
// one above -1 that would cut to 0. Values without a whole number are invalid.
inline bool FourthValid(float fourth) {
    if (fourth >= 0.0f && fourth < 32768.0f) return true;
    if (!(fourth >= 0.0f) || !std::isfinite(fourth)) return false;
    const double whole = std::trunc((double)fourth);
    if (std::fabs(whole) >= 9.0e18) return true;  // the low 16 bits are zero
    return (int16_t)(uint16_t)((uint64_t)(int64_t)whole & 0xFFFF) >= 0;
}

// The cross product of two distinct signed lab axes (from 1): the third axis, signed.
int CrossAxis(int a, int b) {
    const int i = std::abs(a) - 1, j = std::abs(b) - 1;
    const int turn = (j - i + 3) % 3 == 1 ? 1 : -1;  // X x Y = Z, Y x X = -Z
    return (3 - i - j + 1) * turn * (a < 0 ? -1 : 1) * (b < 0 ? -1 : 1);
}

// Where each file axis goes in the Y-up scene, from the lab axes pointing right and up on the
// screen (signed, from 1): scene Y is the up axis, scene X the right axis negated (so the usual
// +X, +Z reads a file point (x, y, z) as (-x, z, y)), and scene Z the axis that makes the three a
// right-handed frame, never a mirror image. Entry i of `map` is the scene axis (from 1) of file axis
// i, negative when the value is negated. Two screen axes along one lab axis give no frame: the
// right axis then becomes the first lab axis beside the up axis.
void ScreenAxisMap(int right, int up, int map[3]) {
    if (std::abs(right) == std::abs(up)) right = std::abs(up) == 1 ? 2 : 1;
    const int scene[3] = {-right, up, CrossAxis(-right, up)};
    for (int c = 0; c < 3; ++c)
        map[std::abs(scene[c]) - 1] = scene[c] < 0 ? -(c + 1) : c + 1;
}

// The float points of one frame into scene points: each file axis i goes to scene component
// target[i] times factor[i]. The usual map (file (x, y, z) to scene (-x, z, y)) has a loop of its
// own that the compiler can keep free of indexed stores.
template <typename Load>
void DecodeFloats(const uint8_t* p, int count, VgeTVector* out, const int target[3], const double factor[3],
                  Load load) {
    if (target[0] == 0 && target[1] == 2 && target[2] == 1) {
        const double f0 = factor[0], f1 = factor[1], f2 = factor[2];
        for (int k = 0; k < count; ++k, p += 16) {
            double* o = &out[k][0];
            o[0] = load(p) * f0;
            o[1] = load(p + 8) * f2;
            o[2] = load(p + 4) * f1;
            o[3] = FourthValid(load(p + 12)) ? 0.0 : 1.0;
        }
        return;
    }
    for (int k = 0; k < count; ++k, p += 16) {
        double* o = &out[k][0];
        o[target[0]] = load(p) * factor[0];
        o[target[1]] = load(p + 4) * factor[1];
        o[target[2]] = load(p + 8) * factor[2];
        o[3] = FourthValid(load(p + 12)) ? 0.0 : 1.0;
    }
}

}  // namespace

// ---- file ----------------------------------------------------------------------------------------

VOxaFileVicon::~VOxaFileVicon() {
    // A written file that was not closed is dropped, never put in place half written.
    AbandonWrite();
}

bool VOxaFileVicon::Open(const char* path, const char* mode) {
    mRefused = false;
    mRefusal = "";
    if (mode && mode[0] == 'w') return OpenWrite(path);
    return OpenRead(path);
}

bool VOxaFileVicon::Close() {
    if (mRefused) {
        AbandonWrite();
        return false;
    }
    return CloseStream();
}

void VOxaFileVicon::Discard() {
    AbandonWrite();
}

bool VOxaFileVicon::Fail(const char* where, int64_t n, const char* format, ...) {
    char text[512];
    int used = std::snprintf(text, sizeof text, "%s %lld: ", where, (long long)n);
    if (used < 0 || used >= (int)sizeof text) used = 0;
    va_list args;
    va_start(args, format);
    std::vsnprintf(text + used, sizeof text - (size_t)used, format, args);
    va_end(args);
    mFailure = text;
    return false;
}

bool VOxaFileVicon::ReadHeader(int64_t& markerCount, VTime& startTime, int64_t& frameCount, double& frameRate,
                               double& scale) {
    mFailure = "";
    mWarning = "";
    mNoPoints = false;
    if (!IsReading()) return false;
    if (mFileSize <= 0) return Fail("byte", 0, "the file is empty");
    mFileProcessor = GetProcessorType(mStream);
    if (mFileProcessor < eVICON_INTEL || mFileProcessor > eVICON_MIPS) mFileProcessor = eVICON_INTEL;
    // The buffer no longer matches the stream after the processor byte was read.
    mBufferOffset = 0;
    mPosition = mFill = 0;
    if (!ReadHeaderBlock()) {
        uint8_t mark[2] = {0, 0};
        if (mFileSize >= 2 && Seek(0) && ReadUInt8(mark[0]) && ReadUInt8(mark[1]) && (mark[1] & 0xF0) != 0x50)
            return Fail("byte", 1, "0x%02X where a C3D header has 0x50", mark[1]);
        return Fail("byte", mFileSize, "the file ends inside the header block");
    }
    if (mPointCount <= 0) {
        // Say what the trial holds instead: analog channels, or rotations of a ROTATION group.
        mNoPoints = true;
        mNoPointsText = "no 3D points";
        if (mAnalogPerFrame > 0)
            mNoPointsText += "; analog channels are not read";
        else if (HasGroup("ROTATION"))
            mNoPointsText += "; its rotations (group ROTATION) are not read";
        return Fail("byte", 2, "%s", mNoPointsText.Buffer());
    }
    // Every point of a frame takes at least 8 bytes; far more points than the file has bytes are
    // not backed by data.
    if (mPointCount > mFileSize)
        return Fail("byte", 2, "%d 3D points in a file of %lld bytes", mPointCount, (long long)mFileSize);
    // Block numbers count from 1: anything less would place the section before the file.
    if (mFirstParameterBlock < 1) return Fail("byte", 0, "the parameter section starts at block 0");
    if (mFirstDataBlock < 1) return Fail("byte", 16, "the data section starts at block 0");
    if (mFrameRateReplaced) {
        char text[160];
        std::snprintf(text, sizeof text, "The C3D frame rate %g is outside (0.001, %g] and is read as 30.",
                      (double)mStoredFrameRate, (double)kMaxFrameRate);
        mWarning = text;
    }

    // Header words 4 and 5 hold 16 bits; a longer trial keeps its length in the parameters.
    int64_t first = mFirstFrame;
    int64_t count = (int64_t)mLastFrame - mFirstFrame + 1;
    int64_t longFirst = 0, longCount = 0;
    if (ReadLongTrial(longFirst, longCount) && longCount > count) {
        first = longFirst;
        count = longCount;
    } else {
        // Without such parameters, data far beyond the header's count (more than the padding of
        // a block) holding more frames than 16 bits count is a trial the header cut short.
        const bool floating = mScale < 0.0f;
        const int64_t frameBytes =
            (int64_t)mPointCount * (floating ? 16 : 8) + (int64_t)mAnalogPerFrame * (floating ? 4 : 2);
        const int64_t dataBytes = mFileSize - (int64_t)(mFirstDataBlock - 1) * kBlockSize;
        const int64_t held = dataBytes > 0 ? dataBytes / frameBytes : 0;
        if (held > kMaxWord && (held - std::max<int64_t>(count, 0)) * frameBytes > kBlockSize)
            return Fail("frame", kMaxWord + 1,
                        "the data holds %lld frames, more than the header's 16-bit frame numbers count, and "
                        "no TRIAL or POINT parameter gives the trial's length",
                        (long long)held);
    }
    if (count < 0)
        return Fail("byte", 8, "the last frame %d comes before the first frame %d", mLastFrame, mFirstFrame);
    {
        // A file cut short is read as far as its whole frames go (one at least: a file cut before
        // its first frame is refused).
        const bool floating = mScale < 0.0f;
        const int64_t frameBytes =
            (int64_t)mPointCount * (floating ? 16 : 8) + (int64_t)mAnalogPerFrame * (floating ? 4 : 2);
        const int64_t dataBytes = mFileSize - (int64_t)(mFirstDataBlock - 1) * kBlockSize;
        const int64_t held = dataBytes > 0 ? dataBytes / frameBytes : 0;
        if (held > 0 && held < count) {
            char text[200];
            std::snprintf(
                text, sizeof text,
                "The header gives %lld frames, but the file ends after %lld whole frames; those %lld "
                "are read.",
                (long long)count, (long long)held, (long long)held);
            if (!mWarning.IsEmpty()) mWarning += "\n";
            mWarning += text;
            count = held;
        }
    }
    // Frames count from 1: frame n lies at (n - 1) / rate. Writers that count from 0 put 0 for the
    // first frame, which is the first frame too: it is read at 0 s, and said.
    if (first < 1) {
        char text[200];
        std::snprintf(text, sizeof text,
                      "The C3D header gives first frame %lld; C3D frames count from 1, so the take is read "
                      "from frame 1 at 0 s.",
                      (long long)first);
        if (!mWarning.IsEmpty()) mWarning += "\n";
        mWarning += text;
        first = 1;
    }
    mTrialFirst = first;
    mTrialFrames = count;
    markerCount = mPointCount;
    startTime.SetSecondDouble((double)(first - 1) / (double)mFrameRate);
    frameCount = count;
    frameRate = FloatRate(mFrameRate);
    scale = 1.0;  // positions come out in centimetres already
    SeekBlock(mFirstParameterBlock - 1);
    return true;
}

bool VOxaFileVicon::ReadLongTrial(int64_t& first, int64_t& count) {
    const int64_t position = Tell();
    const bool ended = mParametersEnded;
    mParametersEnded = false;
    // Groups may be declared after their parameters: ids are matched once the section is read.
    int trialGroup = -1, pointGroup = -1;
    int64_t start[2] = {-1, -1};  // ACTUAL_START_FIELD, ACTUAL_END_FIELD
    int startGroup[2] = {0, 0};
    double frames = -1.0;
    int framesGroup = 0;
    if (SeekBlock(mFirstParameterBlock - 1) && Skip(4) == 4) {
        while (std::unique_ptr<VViconParameter> parameter = ReadParameter()) {
            if (parameter->IsGroup()) {
                if (Named(*parameter, "TRIAL")) trialGroup = parameter->GetGroupId();
                if (Named(*parameter, "POINT")) pointGroup = parameter->GetGroupId();
                continue;
            }
            const VViconArray* value = parameter->GetValue();
            if (!value) continue;
            const int field = Named(*parameter, "ACTUAL_START_FIELD") ? 0
                              : Named(*parameter, "ACTUAL_END_FIELD") ? 1
                                                                      : -1;
            if (field >= 0 && value->GetType() == VViconArray::kInt16 && value->GetElementCount() >= 2) {
                uint16_t words[2];
                std::memcpy(words, value->GetData(), sizeof words);
                start[field] = (int64_t)words[0] + ((int64_t)words[1] << 16);
                startGroup[field] = parameter->GetGroupId();
            } else if (Named(*parameter, "FRAMES") && value->GetType() == VViconArray::kFloat &&
                       value->GetElementCount() >= 1) {
                float f;
                std::memcpy(&f, value->GetData(), sizeof f);
                frames = f;
                framesGroup = parameter->GetGroupId();
            }
        }
    }
    mParametersEnded = ended;
    Seek(position);
    if (start[0] >= 0 && start[1] >= start[0] && startGroup[0] == trialGroup && startGroup[1] == trialGroup &&
        start[1] > kMaxWord) {
        first = start[0];
        count = start[1] - start[0] + 1;
        return true;
    }
    // A float count of whole frames beyond 16 bits; the first frame is the header's.
    if (framesGroup == pointGroup && frames > kMaxWord && frames <= 4294967295.0 &&
        frames == std::floor(frames)) {
        first = mFirstFrame;
        count = (int64_t)frames;
        return true;
    }
    return false;
}

bool VOxaFileVicon::HasGroup(const char* name) {
    bool found = false;
    if (mFirstParameterBlock >= 1 && SeekBlock(mFirstParameterBlock - 1) && Skip(4) == 4) {
        while (std::unique_ptr<VViconParameter> parameter = ReadParameter())
            if (parameter->IsGroup() && Named(*parameter, name)) found = true;
    }
    mParametersEnded = false;
    return found;
}

int VOxaFileVicon::FindPointGroup() {
    int group = 1;  // files without a "POINT" group keep their points in group 1
    bool found = false;
    mEventGroupId = 0;
    if (SeekBlock(mFirstParameterBlock - 1) && Skip(4) == 4) {
        while (std::unique_ptr<VViconParameter> parameter = ReadParameter()) {
            if (!parameter->IsGroup()) continue;
            if (!found && Named(*parameter, "POINT")) {
                group = parameter->GetGroupId();
                found = true;
            } else if (mEventGroupId == 0 && Named(*parameter, "EVENT")) {
                mEventGroupId = parameter->GetGroupId();
            }
        }
    }
    mParametersEnded = false;
    return group;
}

bool VOxaFileVicon::ReadMarkerNames(VStringList& names, bool keepPrefixes) {
    if (!IsReading() || mFirstParameterBlock < 1 || mFirstDataBlock < 1) return false;
    mPointGroupId = 1;
    mUsesPrefixes = false;
    mUnitFactor = 0.1;
    mParametersEnded = false;
    // The lab axes that point right (X_SCREEN) and up (Y_SCREEN) on the screen, signed and from 1.
    int screen[2] = {1, 3};
    const int count = names.GetCount();
    int labelled = 0;
    // Labels, units and screen axes are parameters of the point group: analog channels, force
    // plates and analysis groups carry their own "UNITS" (say "mV" or "m/s") that say nothing of
    // the positions. The group may be declared after its parameters, so it is found first.
    mPointGroupId = FindPointGroup();
    bool unitsRead = false, unitsWithoutValue = false;
    std::string unitWarning;
    // Events of the EVENT group: its USED count, else the columns of its TIMES.
    int64_t eventsUsed = -1, eventTimes = 0;
    // The rows of LABELS, LABELS2, ... by part number; a part past the marker count names none.
    std::map<int, std::vector<VString>> parts;
    // The groups this reader does not read, in file order, and the points the point group lists as
    // kinds of their own (angles, moments, powers, forces), which are read as markers all the same.
    std::vector<VString> groups;
    static const char* const kPointKinds[] = {"ANGLES", "MOMENTS", "POWERS", "FORCES"};
    std::vector<VString> kindRows[4];
    bool described = false;
    if (SeekBlock(mFirstParameterBlock - 1) && Skip(4) == 4) {
        while (std::unique_ptr<VViconParameter> parameter = ReadParameter()) {
            if (parameter->IsGroup()) {
                // A name given twice is named once.
                const bool named = std::any_of(groups.begin(), groups.end(), [&](const VString& group) {
                    return std::strcmp(group.Buffer(), parameter->GetName()) == 0;
                });
                if (parameter->GetGroupId() != mPointGroupId && parameter->GetGroupId() != mEventGroupId &&
                    !Named(*parameter, "ANALOG") && !Named(*parameter, "TRIAL") && !named &&
                    groups.size() < 64)
                    groups.emplace_back(parameter->GetName());
                continue;
            }
            // A UNITS without a value (or one whose value its record cannot hold) counts only
            // when no other follows.
            if (parameter->IsParameter() && !parameter->GetValue() &&
                parameter->GetGroupId() == mPointGroupId && Named(*parameter, "UNITS"))
                unitsWithoutValue = true;
            if (!parameter->IsParameter() || !parameter->GetValue()) continue;
            const char* text = nullptr;
            int length = 0;
            if (mEventGroupId != 0 && parameter->GetGroupId() == mEventGroupId) {
                const VViconArray* value = parameter->GetValue();
                if (Named(*parameter, "USED") && value->GetElementCount() > 0)
                    eventsUsed = value->GetFirst<int64_t>();
                else if (Named(*parameter, "TIMES") && value->GetDimensionCount() == 2)
                    eventTimes = value->GetDimension(0);
                continue;
            }
            const bool ofPoints = parameter->GetGroupId() == mPointGroupId;
            if (const int part = LabelsPart(parameter->GetName())) {
                if (!ofPoints || !TextOf(*parameter, text, length) || part > count) continue;
                std::vector<VString>& rows = parts[part];
                rows.clear();
                const VViconArray* value = parameter->GetValue();
                if (value->GetDimensionCount() == 1) {
                    // A one-dimensional text is a single label.
                    rows.push_back(RowText(text, length));
                    continue;
                }
                const int n = std::min(value->GetDimension(0), kMaxLabels);
                VViconArray row;
                for (int i = 0; i < n && value->GetRow(row, i); ++i)
                    rows.push_back(RowText(row.GetString(), (int)row.GetElementCount()));
            } else if (ofPoints && Named(*parameter, "DESCRIPTIONS")) {
                const VViconArray* value = parameter->GetValue();
                if (TextOf(*parameter, text, length)) {
                    VViconArray row;
                    const int n =
                        value->GetDimensionCount() == 1 ? 1 : std::min(value->GetDimension(0), kMaxLabels);
                    for (int i = 0; i < n && !described; ++i) {
                        if (value->GetDimensionCount() == 1)
                            described = !RowText(text, length).IsEmpty();
                        else if (value->GetRow(row, i))
                            described = !RowText(row.GetString(), (int)row.GetElementCount()).IsEmpty();
                    }
                }
            } else if (ofPoints && (Named(*parameter, kPointKinds[0]) || Named(*parameter, kPointKinds[1]) ||
                                    Named(*parameter, kPointKinds[2]) || Named(*parameter, kPointKinds[3]))) {
                int kind = 0;
                while (!Named(*parameter, kPointKinds[kind]))
                    ++kind;
                std::vector<VString>& rows = kindRows[kind];
                rows.clear();
                const VViconArray* value = parameter->GetValue();
                if (!TextOf(*parameter, text, length)) continue;
                if (value->GetDimensionCount() == 1) {
                    rows.push_back(RowText(text, length));
                } else {
                    const int n = std::min(value->GetDimension(0), kMaxLabels);
                    VViconArray row;
                    for (int i = 0; i < n && value->GetRow(row, i); ++i)
                        rows.push_back(RowText(row.GetString(), (int)row.GetElementCount()));
                }
                rows.erase(
                    std::remove_if(rows.begin(), rows.end(), [](const VString& r) { return r.IsEmpty(); }),
                    rows.end());
            } else if (Named(*parameter, "USES_PREFIXES")) {
                if (keepPrefixes) mUsesPrefixes = true;
            } else if (Named(*parameter, "UNITS")) {
                // The first point unit rules; a repeated one would scale the positions again.
                if (!ofPoints || unitsRead) continue;
                const VViconArray* value = parameter->GetValue();
                if (value->GetType() != VViconArray::kChar) continue;
                unitsRead = true;
                unitWarning = PointUnit(*value, mUnitFactor);
            } else if (Named(*parameter, "X_SCREEN") || Named(*parameter, "Y_SCREEN")) {
                if (!ofPoints || !TextOf(*parameter, text, length)) continue;
                int k = 0, sign = 1;
                if (text[0] == '-' || text[0] == '+') {
                    sign = text[0] == '-' ? -1 : 1;
                    k = 1;
                }
                if (k >= length) continue;
                const int letter = std::tolower((unsigned char)text[k]);
                if (letter < 'x' || letter > 'z') continue;
                screen[parameter->GetName()[0] == 'X' ? 0 : 1] = (letter - 'x' + 1) * sign;
            }
            // "USED", "SCALE", "RATE", "DATA_START" and "FRAMES": the header's fields rule.
        }
    }
    ScreenAxisMap(screen[0], screen[1], mAxisMap);
    // What the file carries beyond its points is not read: say so.
    const int64_t events =
        std::max<int64_t>({eventsUsed >= 0 ? eventsUsed : eventTimes, (int64_t)mEventCount, 0});
    auto warn = [this](const char* text) {
        if (mWarning.Find(text) >= 0) return;
        if (!mWarning.IsEmpty()) mWarning += "\n";
        mWarning += text;
    };
    if (!unitsRead && unitsWithoutValue)
        unitWarning = "POINT:UNITS has no value; the positions are read as millimetres.";
    if (!unitWarning.empty()) warn(unitWarning.c_str());
    if (events > 0) {
        char text[160];
        if (events == 1)
            std::snprintf(text, sizeof text, "The file's event is not read.");
        else
            std::snprintf(text, sizeof text, "The file's %lld events are not read.", (long long)events);
        warn(text);
    }
    if (mAnalogPerFrame > 0) {
        char text[160];
        std::snprintf(text, sizeof text, "The file's analog data (%d values per frame) are not read.",
                      mAnalogPerFrame);
        warn(text);
    }
    for (int kind = 0; kind < 4; ++kind) {
        const std::vector<VString>& rows = kindRows[kind];
        if (rows.empty()) continue;
        std::string text = "POINT:" + std::string(kPointKinds[kind]) + " lists " +
                           std::to_string(rows.size()) + (rows.size() == 1 ? " point (" : " points (");
        for (size_t i = 0; i < rows.size() && i < 3; ++i)
            text += std::string(i ? ", " : "") +
                    std::string(rows[i].Buffer(), (size_t)std::min(rows[i].GetLen(), 40));
        if (rows.size() > 3) text += ", ...";
        text += rows.size() == 1
                    ? "); it is read as a marker, its values as a position in the file's point unit."
                    : "); they are read as markers, their values as positions in the file's point unit.";
        warn(text.c_str());
    }
    if (described) warn("The point descriptions of POINT:DESCRIPTIONS are not read.");
    if (!groups.empty()) {
        std::string text = groups.size() == 1 ? "The file's group " : "The file's groups ";
        for (size_t i = 0; i < groups.size() && i < 8; ++i)
            text += std::string(i ? ", " : "") +
                    std::string(groups[i].Buffer(), (size_t)std::min(groups[i].GetLen(), 40));
        if (groups.size() > 8) text += " and " + std::to_string(groups.size() - 8) + " more";
        text += groups.size() == 1 ? " is not read." : " are not read.";
        warn(text.c_str());
    }
    // LABELS names the first markers, LABELS2 the next ones, and so on up to the first part the
    // file lacks.
    int expected = 1;
    for (const auto& part : parts) {
        if (part.first != expected++ || part.second.empty()) break;
        for (size_t i = 0; i < part.second.size() && labelled < count; ++i)
            names.SetStringAt(labelled++, part.second[i].Buffer());
    }
    for (int i = labelled; i < count; ++i) {
        char text[16];
        std::snprintf(text, sizeof text, "%04d", i);
        names.SetStringAt(i, text);
    }
    for (int i = 0; i < count; ++i) {
        VString name(names[i]);
        if (!mUsesPrefixes) {
            const int colon = name.Find(':', 0);
            if (colon >= 0) name = name.Mid(colon + 1);
        }
        for (int c = 0; c < name.GetLen(); ++c)
            if (name[c] == ':') name[c] = '_';
        names.SetStringAt(i, name.Buffer());
    }
    // A data block past the end of the file makes the first ReadFrame fail.
    SeekBlock(mFirstDataBlock - 1);
    return true;
}

bool VOxaFileVicon::ReadFrame(VOxaMarkerFrame& points, int markerCount, VTime& time, int& frameIndex,
                              VTime step, bool /*exactZeroAsOccluded*/) {
    if (!IsReading() || markerCount < 0) return false;
    const bool floating = mScale < 0.0f;
    const size_t pointBytes = floating ? 16 : 8;
    const uint8_t* p = Peek((size_t)markerCount * pointBytes);
    if (!p)
        return Fail("frame", (int64_t)frameIndex + 1, "the file ends after %d of %lld frames", frameIndex,
                    (long long)mTrialFrames);
    const int first = points.AddMultiple(markerCount);
    if (first < 0) return false;
    VgeTVector* out = points.GetArray() + first;

    // Where each file axis goes, negated for a negative entry.
    int target[3];
    double sign[3];
    for (int i = 0; i < 3; ++i) {
        const int a = mAxisMap[i];
        target[i] = (a < 0 ? -a : a) - 1;
        sign[i] = a < 0 ? -1.0 : 1.0;
    }
    if (floating) {
        const double unit = mUnitFactor;
        const double factor[3] = {sign[0] * unit, sign[1] * unit, sign[2] * unit};
        switch (mFileProcessor) {
            case eVICON_DEC:
                DecodeFloats(p, markerCount, out, target, factor, LoadDec);
                break;
            case eVICON_MIPS:
                DecodeFloats(p, markerCount, out, target, factor, LoadMips);
                break;
            default:
                DecodeFloats(p, markerCount, out, target, factor, LoadIntel);
                break;
        }
    } else {
        const double factor = (double)mScale * mUnitFactor;
        const double f0 = sign[0] * factor, f1 = sign[1] * factor, f2 = sign[2] * factor;
        const int processor = mFileProcessor;
        for (int k = 0; k < markerCount; ++k, p += 8) {
            double* o = &out[k][0];
            o[target[0]] = (int16_t)VViconNumbers::Load16(p, processor) * f0;
            o[target[1]] = (int16_t)VViconNumbers::Load16(p + 2, processor) * f1;
            o[target[2]] = (int16_t)VViconNumbers::Load16(p + 4, processor) * f2;
            // Camera bits in the high byte of the fourth word; their top bit marks the point
            // invalid.
            o[3] = (VViconNumbers::Load16(p + 6, processor) & 0x8000) ? 1.0 : 0.0;
        }
    }
    Advance((size_t)markerCount * pointBytes);
    const int64_t analog = (int64_t)mAnalogPerFrame * (floating ? 4 : 2);
    if (analog > 0) Skip(analog);
    ++frameIndex;
    time += step;
    return true;
}

void VOxaFileVicon::ReadTimeCode(VStreamOptionsMotion* options) {
    if (!options || !IsReading() || mFirstParameterBlock < 1) return;
    const int64_t position = Tell();
    const bool ended = mParametersEnded;
    mParametersEnded = false;
    if (SeekBlock(mFirstParameterBlock - 1) && Skip(4) == 4) {
        while (std::unique_ptr<VViconParameter> parameter = ReadParameter()) {
            if (!parameter->IsParameter() || !Named(*parameter, "TIMECODES")) continue;
            const VViconArray* value = parameter->GetValue();
            if (!value || value->GetType() != VViconArray::kInt16 || value->GetElementCount() < 4) continue;
            int16_t parts[4];
            std::memcpy(parts, value->GetData(), sizeof parts);
            VTime code;
            code.SetTime(parts[0], parts[1], parts[2], parts[3], 0, 0);
            options->SetStartTime(code + options->GetStartTime());
            break;
        }
    }
    mParametersEnded = ended;
    Seek(position);
}

bool VOxaFileVicon::WriteHeader(int markerCount, VTime startTime, int frameCount, double frameRate,
                                double scale) {
    if (!IsWriting()) return false;
    // Marker counts and frame numbers live in 16-bit fields: a value that does not fit would
    // wrap into another one, so the file is refused.
    // Frames count from 1: a take that starts at 0 s starts at frame 1.
    const double first = VOxaSkeletonSupport::StartFrame(startTime, frameRate);
    mNotes = VOxaSkeletonSupport::BetweenFramesNote(startTime, frameRate, "C3D");
    const double last = first + (double)frameCount - 1.0;
    char text[256];
    if (markerCount < 0 || markerCount > kMaxWord) {
        std::snprintf(text, sizeof text, "A C3D file holds at most %d markers; the scene has %d.", kMaxWord,
                      markerCount);
        mRefusal = text;
    } else if (!((float)frameRate > 0.001f && (float)frameRate <= kMaxFrameRate)) {
        std::snprintf(text, sizeof text,
                      "A C3D file holds frame rates above 0.001 and up to %.10g; the take's rate is %.10g.",
                      (double)kMaxFrameRate, frameRate);
        mRefusal = text;
    } else if (!(first >= 1.0 && first <= kMaxWord && last >= 1.0 && last <= kMaxWord)) {
        std::snprintf(text, sizeof text,
                      "C3D frame numbers run from 1 to %d; the take would need frames %.0f to %.0f.",
                      kMaxWord, std::isfinite(first) ? first : 0.0, std::isfinite(last) ? last : 0.0);
        mRefusal = text;
    }
    if (!mRefusal.IsEmpty()) {
        mRefused = true;
        AbandonWrite();
        return false;
    }
    mPointCount = markerCount;
    mFlushed = 0;
    mAnalogPerFrame = 0;
    mMaxGap = 0;
    mScale = scale < 0.0 ? -1.0f : mIntegerScale;
    mFirstDataBlock = 0;
    mFrameRate = (float)frameRate;
    mAnalogSamplesPerFrame = 1;
    mFirstFrame = (int)first;
    mLastFrame = (int)last;
    mEventCount = 0;
    return WriteHeaderBlock();
}

void VOxaFileVicon::SetLargestCoordinate(double largest) {
    // A coordinate c (centimetres) is written as the 16-bit integer nearest c / (scale x 0.1), so
    // a scale s holds it when c / (s x 0.1) <= 32767.
    auto holds = [largest](float s) { return largest / ((double)s * 0.1) <= 32767.0; };
    mIntegerScale = kIntegerScale;
    mWriteWarning = "";
    if (!(largest >= 0.0) || holds(kIntegerScale)) return;
    // Readers replace a scale of 1000 or more: the largest float below it is the limit.
    const float limit = std::nextafter(1000.0f, 0.0f);
    float s = holds(limit) ? (float)(largest / (0.1 * 32767.0)) : limit;
    while (s < limit && !holds(s))
        s = std::nextafter(s, limit);
    mIntegerScale = s;
    char text[300];
    if (holds(s))
        std::snprintf(
            text, sizeof text,
            "The integer C3D scale %.8g cannot hold the largest coordinate (%g mm); the file's scale is "
            "%.8g.",
            (double)kIntegerScale, largest * 10.0, (double)s);
    else
        std::snprintf(
            text, sizeof text,
            "The integer C3D scale %.8g cannot hold the largest coordinate (%g mm); the file's scale is "
            "%.8g, the largest a reader takes, and points beyond %g mm are written as gaps.",
            (double)kIntegerScale, largest * 10.0, (double)s, (double)s * 32767.0);
    mWriteWarning = text;
}

bool VOxaFileVicon::WriteMarkerNames(const VStringList& names) {
    if (mRefused || !IsWriting()) return false;
    std::vector<VString> original;
    original.reserve((size_t)names.GetCount());
    for (int i = 0; i < names.GetCount(); ++i)
        original.push_back(VString(names[i]));
    // A label row holds at most kMaxLabelBytes: a longer name is cut (at a whole UTF-8
    // character), and names that the cut makes alike are kept apart with "_2", "_3", ...
    const std::vector<VString> list =
        VTextFile::WritableNames(original, VTextFile::kControlOnly, nullptr, kMaxLabelBytes);
    const VString cut = VOxaMotionSupport::CutNamesText(original, list, kMaxLabelBytes, "C3D label");
    if (!cut.IsEmpty()) {
        if (!mWriteWarning.IsEmpty()) mWriteWarning += "\n";
        mWriteWarning += cut;
        // The writer ends the warning with its own line end.
        mWriteWarning = mWriteWarning.Left(mWriteWarning.GetLen() - 1);
    }
    // The section's block count is one byte: when the 32-blank descriptions of many markers
    // would take it past 255 blocks, each description is one blank.
    bool ok = true;
    for (int descriptionWidth : {32, 1}) {
        ok = WriteParameterSection() && WriteLabels(list, descriptionWidth);
        if (!ok || mSection.size() + 2 <= (size_t)kMaxParameterBlocks * kBlockSize) break;
    }
    if (ok && mSection.size() + 2 > (size_t)kMaxParameterBlocks * kBlockSize) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "The names of %d markers do not fit the %d blocks of a C3D parameter section.",
                      names.GetCount(), kMaxParameterBlocks);
        mRefusal = text;
        mRefused = true;
        AbandonWrite();
        return false;
    }
    ok = ok && FinishParameterSection();
    return ok && !WriteFailed();
}

bool VOxaFileVicon::WriteLabels(const std::vector<VString>& names, int descriptionWidth) {
    int longest = 0;
    for (const VString& name : names)
        longest = std::max(longest, name.GetLen());
    const int width = std::min(longest, kMaxLabelBytes - 1) + 1;
    // Dimensions are single bytes: each parameter holds 255 rows, and the markers past them are
    // named by LABELS2, LABELS3, ... (with DESCRIPTIONS2, ...). A file without markers has one
    // empty LABELS.
    const size_t count = names.size();
    const size_t parts = count == 0 ? 1 : (count + kMaxLabels - 1) / kMaxLabels;
    bool ok = true;
    for (size_t part = 0; part < parts && ok; ++part) {
        const size_t first = part * kMaxLabels;
        const int rows = (int)std::min<size_t>(count - first, kMaxLabels);
        const std::string suffix = part == 0 ? std::string() : std::to_string(part + 1);
        const int labelSizes[2] = {rows, width};
        VViconArray labels(nullptr, VViconArray::kChar, 2, labelSizes);
        VViconArray row;
        // Each row: the name, then blanks.
        for (int i = 0; i < rows && labels.GetRow(row, i); ++i)
            VViconArray::CopyString(row, names[first + (size_t)i].Buffer(), width);
        const int descriptionSizes[2] = {rows, descriptionWidth};
        VViconArray descriptions(nullptr, VViconArray::kChar, 2, descriptionSizes);
        // A file without labels has no description data to fill.
        if (rows > 0)
            std::memset(descriptions.GetMutableData(), ' ', (size_t)rows * (size_t)descriptionWidth);
        ok = VViconParameter(("LABELS" + suffix).c_str(), 1, false, nullptr, &labels).Write(mSection);
        ok = ok && VViconParameter(("DESCRIPTIONS" + suffix).c_str(), 1, false, nullptr, &descriptions)
                       .Write(mSection);
    }
    if (!ok) mWriteFailed = true;
    return ok;
}

bool VOxaFileVicon::WriteFrame(const VOxaMarkerFrame& points, int pointCount, VTime /*time*/,
                               int /*frameNumber*/) {
    if (mRefused || !IsWriting()) return false;
    const bool floating = mScale < 0.0f;
    const size_t pointBytes = floating ? 16 : 8;
    mFrameBytes.resize((size_t)mPointCount * pointBytes);
    uint8_t* out = mFrameBytes.data();
    const VgeTVector* p = points.GetArray();
    const int given = std::min(pointCount, points.GetCount());
    for (int k = 0; k < mPointCount; ++k, out += pointBytes) {
        // The scene point (x, y, z) is the file point (-x, z, y) in millimetres; a marker the
        // frame does not carry is written invalid at the origin.
        const bool present = k < given;
        const double c[3] = {present ? -p[k][0] : 0.0, present ? p[k][2] : 0.0, present ? p[k][1] : 0.0};
        VViconNumbers::EncodePoint(c, present && p[k][3] < 0.5, mScale, 0.1, out, &mFlushed);
    }
    return WriteBytes(mFrameBytes.data(), mFrameBytes.size());
}

bool VOxaFileVicon::WriteEnd() {
    if (mRefused || !IsWriting()) return false;
    if (mFlushed > 0) {
        // DEC floats stop at 2^-128: smaller coordinates are written as 0.
        char text[200];
        std::snprintf(
            text, sizeof text,
            "%lld coordinates are nearer 0 than %.4g mm, the smallest DEC float, and are written as 0.",
            (long long)mFlushed, VViconNumbers::kDecSmallest);
        if (!mWriteWarning.IsEmpty()) mWriteWarning += "\n";
        mWriteWarning += text;
    }
    WritePatch(mHeaderPatch, (uint16_t)(mFirstParameterBlock | 0x5000));
    WritePatch(mDataStartPatch, (uint16_t)mFirstDataBlock);
    return FlushOutput() && !WriteFailed();
}

// ---- reader and writer ---------------------------------------------------------------------------

VOxaReaderVicon::VOxaReaderVicon(VOxaSdkManager* manager) : VOxaReaderMotionBase(manager) {
    mDescription = "Vicon C3D File Importer";
    mReferenceName = "C3D";
}

IOxaFileMotionBase* VOxaReaderVicon::CreateMotionFile(const char* path) {
    return IOxaFileMotionBase::Opened(new VOxaFileVicon(), path, "rb");
}

VStreamOptions* VOxaReaderVicon::GetReadOptions() {
    VStreamOptions* options = VOxaReaderMotionBase::GetReadOptions();
    Report();
    return options;
}

bool VOxaReaderVicon::Read(VOxaScene* scene, VStreamOptions* options) {
    const bool ok = VOxaReaderMotionBase::Read(scene, options);
    Report();
    return ok;
}

void VOxaReaderVicon::Report() {
    const VOxaFileVicon* file = static_cast<const VOxaFileVicon*>(mFile);
    if (!file) return;
    // A trial of analog channels only is a valid file this reader does not read: it is refused
    // with the reason alone, not called corrupted.
    if (file->HoldsNoPoints() && mError.GetLastErrorID() == eFILE_CORRUPTED)
        mError.SetLastError(eFILE_CORRUPTED, (VString("the file holds ") + file->GetNoPointsText()).Buffer());
    const char* warning = file->GetWarning();
    if (*warning && mMessageText.Find(warning) < 0) {
        mMessageText += warning;
        mMessageText += "\n";
    }
}

void VOxaReaderVicon::SetDefaultReadOptions(VStreamOptionsMotion* options) {
    options->SetOption(VStreamOptionsMotion::eUNUSED_SEGMENTS, 1);
    options->SetOption(VStreamOptionsMotion::eIMPORT_AS_OPTICAL_SEGMENTS, 1);
    options->SetOption(VStreamOptionsMotion::eIMPORT_SET_OCCLUDED_TO_LAST_VALID_POSITION, 1);
    options->SetOption(VStreamOptionsMotion::eIMPORT_ACTOR_PREFIX, 1);
    if (mFile) static_cast<VOxaFileVicon*>(mFile)->ReadTimeCode(options);
}

VOxaWriterVicon::VOxaWriterVicon(VOxaSdkManager* manager) : VOxaWriterMotionBase(manager) {
    mDescription = "Vicon C3D File Exporter";
}

bool VOxaWriterVicon::Write(VOxaScene* scene, VStreamOptions* options) {
    if (VOxaWriterMotionBase::Write(scene, options)) {
        const VOxaFileVicon* file = static_cast<const VOxaFileVicon*>(mFile);
        if (!file->GetWriteWarning().IsEmpty()) {
            mMessageText += file->GetWriteWarning();
            mMessageText += "\n";
        }
        return true;
    }
    // A refused file says why in place of the base's "Out of disk space".
    const VOxaFileVicon* file = mFile ? static_cast<const VOxaFileVicon*>(mFile) : nullptr;
    if (file && !file->GetRefusal().IsEmpty())
        mError.SetLastError(eUNIDENTIFIED_ERROR, file->GetRefusal().Buffer());
    return false;
}

IOxaFileMotionBase* VOxaWriterVicon::CreateMotionFile(const char* path) {
    return IOxaFileMotionBase::Opened(new VOxaFileVicon(), path, "wb");
}

void VOxaWriterVicon::SetDefaultWriteOptions(VStreamOptionsMotion* options) {
    options->SetOption(VStreamOptionsMotion::eUNUSED_SEGMENTS, 1);
    options->SetOption(VStreamOptionsMotion::eEXPORT_GAPS_AS_VALID_DATA, 0);
    options->SetOption(VStreamOptionsMotion::eEXPORT_C3D_REAL_FORMAT, 1);
    options->SetOption(VStreamOptionsMotion::eEXPORT_FROM_GLOBAL_POSITION, 0);
}

VOxaReader* VOxaCreateC3dReader(VOxaSdkManager* manager) {
    return new VOxaReaderVicon(manager);
}

VOxaWriter* VOxaCreateC3dWriter(VOxaSdkManager* manager) {
    return new VOxaWriterVicon(manager);
}
