#include "formats/motion/trc/voxa_motion_analysis_trc.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "base/vnumber_text.h"
#include "base/vpath.h"
#include "base/vtext_line.h"
#include "formats/motion/voxa_skeleton_support.h"
#include "oxa_codec/vstream_options.h"

namespace {

// Adds `line` to a warning text, one warning a line.
void AppendLine(VString& text, const char* line) {
    if (!text.IsEmpty()) text += "\n";
    text += line;
}

// White space as the C library's isspace sees it in the "C" locale.
bool IsWhite(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// "NaN" in any letter case, alone in its field.
bool IsNaNField(const char* p) {
    return p && std::tolower((unsigned char)p[0]) == 'n' && std::tolower((unsigned char)p[1]) == 'a' &&
           std::tolower((unsigned char)p[2]) == 'n' && (p[3] == 0 || IsWhite(p[3]));
}

bool gTimeCodeEnabled = true;

// The fields of a frame line, in turn. A line that holds a tab is split at tabs: blanks around a
// field's text pad it ("       NaN" is one field) and a field of blanks only is empty. A line
// without tabs is split at runs of blanks and has no empty fields.
class FrameFields {
public:
    explicit FrameFields(const char* line)
        : mAt(line), mEnd(line + std::strlen(line)), mTabs(std::memchr(line, '\t', (size_t)(mEnd - line))) {}

    // The next field's text without its padding, [begin, end); false when the line has no more.
    bool Next(const char*& begin, const char*& end) {
        if (!mAt) return false;
        if (mTabs) {
            // A line that ends at a tab holds no field after it (a blank there is an empty field).
            if (mAt == mEnd && mFields > 0) {
                mAt = nullptr;
                return false;
            }
            ++mFields;
            const char* tab = static_cast<const char*>(std::memchr(mAt, '\t', (size_t)(mEnd - mAt)));
            const char* stop = tab ? tab : mEnd;
            begin = mAt;
            end = stop;
            while (begin < end && IsWhite(*begin))
                ++begin;
            while (end > begin && IsWhite(end[-1]))
                --end;
            mAt = tab ? tab + 1 : nullptr;
            return true;
        }
        while (mAt < mEnd && IsWhite(*mAt))
            ++mAt;
        if (mAt == mEnd) {
            mAt = nullptr;
            return false;
        }
        begin = mAt;
        while (mAt < mEnd && !IsWhite(*mAt))
            ++mAt;
        end = mAt;
        return true;
    }

    // True when a separator follows the last field (the line goes on).
    bool More() const { return mAt && (mTabs || mAt < mEnd); }

private:
    const char* mAt;  // null once the line is done
    const char* mEnd;
    bool mTabs;
    int mFields = 0;
};

// A field that is a number and nothing else.
bool NumberField(const char* begin, const char* end, double& value) {
    return begin < end && VParseDouble(begin, end, value, false) == end;
}

// "NaN" in any letter case, alone in its field.
bool IsNaNText(const char* begin, const char* end) {
    return end - begin == 3 && IsNaNField(begin);
}

// The fields of a line that hold text.
int CountTextFields(const char* line) {
    FrameFields fields(line);
    const char *begin, *end;
    int count = 0;
    while (fields.Next(begin, end))
        if (begin < end) ++count;
    return count;
}

// "nan", "inf" or "infinity" in any letter case, signed or not: a Time that is there but no time.
bool IsNonFiniteWord(const char* begin, const char* end) {
    if (begin < end && (*begin == '-' || *begin == '+')) ++begin;
    std::string word;
    for (; begin < end; ++begin)
        word += (char)std::tolower((unsigned char)*begin);
    return word == "nan" || word == "inf" || word == "infinity";
}

// The whole number a header field holds ("100", or "100.0" as some writers put it); false for an
// empty field or other text.
bool HeaderCount(const char* begin, const char* end, int& value) {
    return begin < end && VTextFile::ParseWholeNumber(begin, end, value);
}

// A frame line's number: a whole number, also with a zero fraction ("50.0"), of the frames a take
// holds both ways (-2^31 + 1 to 2^31 - 1).
bool FrameNumberField(const char* begin, const char* end, int& value) {
    return HeaderCount(begin, end, value) && value != INT_MIN;
}

}  // namespace

// ---- file ----------------------------------------------------------------------------------------

VOxaFileMotionAnalysisTrc::VOxaFileMotionAnalysisTrc() : VTextFile("TRC", "\t\r\n", nullptr, true, false) {
    // Files saved on systems that end lines with a carriage return alone are read as well.
    SetCrEndsLines(true);
}

VOxaFileMotionAnalysisTrc::~VOxaFileMotionAnalysisTrc() {
    VTextFile::Close();
}

bool VOxaFileMotionAnalysisTrc::ReadField(VString& field) {
    if (!mCursor || !*mCursor) return false;
    const char* end = mCursor;
    while (*end && *end != '\t' && *end != '\r' && *end != '\n')
        ++end;
    // Fields are separated by tabs; blanks around a field's text (" mm") are not part of it.
    const char* begin = mCursor;
    const char* last = end;
    while (begin < last && *begin == ' ')
        ++begin;
    while (last > begin && last[-1] == ' ')
        --last;
    field = VString(begin, (int)(last - begin));
    mCursor = const_cast<char*>(SkipSeparators(end));
    return true;
}

bool VOxaFileMotionAnalysisTrc::PeekField(VString& field) const {
    const char* end = mCursor;
    while (*end && *end != '\t' && *end != '\r' && *end != '\n')
        ++end;
    field = VString(mCursor, (int)(end - mCursor));
    return end != mCursor;
}

bool VOxaFileMotionAnalysisTrc::ReadKeywordField(const char* word, const char* place) {
    // Keywords are matched as case-insensitive prefixes: what follows the word in its field
    // ("PathFileType  4", "(X/Y/Z) take.trc") is left for the next read. Blanks before it are
    // passed over.
    while (mCursor && *mCursor == ' ')
        ++mCursor;
    if (const char* after = MatchPrefix(mCursor, word)) {
        mCursor = const_cast<char*>(SkipSeparators(after));
        return true;
    }
    VString field;
    if (!PeekField(field)) return Fail("\"%s\" expected %s, but the line ends", word, place);
    return Fail("\"%s\" expected %s, found \"%.40s\"", word, place, field.Buffer());
}

bool VOxaFileMotionAnalysisTrc::ReadFieldAcrossLines(VString& field) {
    while (AtLineEnd()) {
        if (!ReadNextLine()) return false;
    }
    return ReadField(field);
}

bool VOxaFileMotionAnalysisTrc::ScanFrameLines(int markerCount, int headerFrames) {
    mLines.clear();
    mLinesFound = 0;
    mRepeats = mOutside = 0;
    mFirstRepeat = mFirstOutside = "";
    mMostGroups = 0;
    mBase = 0;
    // The names and labels are passed as the reader passes them, so that the lines found are the
    // ones it reads.
    if (markerCount > kMaxScannedMarkers) return false;
    VStringList names;
    for (int i = 0; i < markerCount; ++i)
        names.Add("");
    if (!ReadMarkerNames(names, false)) return false;
    // Every frame line, in file order: where it starts and its frame number.
    std::vector<FrameLine> lines;
    const int64_t columns = 2 + 3 * (int64_t)markerCount;
    bool lastCut = false;
    int lastGroups = 0;
    for (Position at = Tell(); ReadNextLine(); at = Tell()) {
        if (lines.size() >= (size_t)UINT32_MAX) break;
        FrameLine line{};
        line.offset = at.offset;
        line.lineBefore = at.line;
        line.afterCr = at.afterCr;
        line.line = GetLineNumber();
        line.ordinal = (uint32_t)lines.size();
        FrameFields fields(GetCursor());
        const char *begin, *end;
        int64_t count = 0;
        if (fields.Next(begin, end)) {
            ++count;
            line.numbered = FrameNumberField(begin, end, line.number);
        }
        while (fields.Next(begin, end))
            ++count;
        // A last line that the file's end cuts between its fields (no line end, fewer fields than
        // the header's columns) is no whole frame: its missing markers would read as gaps.
        lastCut = !LineEnded() && count < columns;
        lastGroups = count > 2 ? (int)std::min<int64_t>((count - 2) / 3, INT_MAX) : 0;
        mMostGroups = std::max(mMostGroups, lastGroups);
        lines.push_back(line);
    }
    // A lone frame line is kept, cut or not: the take has at least its first frame.
    if (lastCut && lines.size() > 1) lines.pop_back();
    mLinesFound = (int64_t)lines.size();
    if (lines.empty()) return false;

    // The take's first frame: the frame number from which the header's NumFrames frames hold the
    // most lines (the smallest such number), so that one stray number does not move the take.
    const int64_t span = headerFrames >= 0 ? headerFrames : INT_MAX;
    std::vector<int> numbers;
    numbers.reserve(lines.size());
    for (const FrameLine& line : lines)
        if (line.numbered) numbers.push_back(line.number);
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    int64_t base = numbers.empty() ? 1 : numbers[0];
    size_t best = 0;
    for (size_t first = 0, last = 0; first < numbers.size(); ++first) {
        while (last < numbers.size() && (int64_t)numbers[last] - numbers[first] < span)
            ++last;
        if (last - first > best) {
            best = last - first;
            base = numbers[first];
        }
    }
    mBase = base;
    // Each line's frame from the first; a line without a number follows the line before it (and
    // fails the read where it is read).
    int64_t previous = -1;
    for (FrameLine& line : lines) {
        line.index = line.numbered ? (int64_t)line.number - base : previous + 1;
        previous = line.index;
    }
    std::stable_sort(lines.begin(), lines.end(),
                     [](const FrameLine& x, const FrameLine& y) { return x.index < y.index; });
    char text[240];
    for (size_t k = 0; k < lines.size(); ++k) {
        const FrameLine& line = lines[k];
        if (line.index < 0 || line.index >= span) {
            if (mOutside++ == 0) {
                if (line.numbered)
                    std::snprintf(text, sizeof text, "line %u gives frame %d", line.line, line.number);
                else
                    std::snprintf(text, sizeof text,
                                  "line %u, which has no frame number, would be frame %lld", line.line,
                                  (long long)(base + line.index));
                mFirstOutside = text;
            }
        } else if (!mLines.empty() && mLines.back().index == line.index) {
            if (mRepeats++ == 0) {
                std::snprintf(text, sizeof text, "line %u repeats frame %lld of line %u", line.line,
                              (long long)(base + line.index), mLines.back().line);
                mFirstRepeat = text;
            }
        } else {
            mLines.push_back(line);
        }
    }
    mLines.shrink_to_fit();
    return !mLines.empty();
}

bool VOxaFileMotionAnalysisTrc::ReadHeader(int64_t& markerCount, VTime& startTime, int64_t& frameCount,
                                           double& frameRate, double& scale) {
    ClearFailure();
    mWarning = "";
    mNoneNamed = false;
    mHeaderFrames = 0;
    mFramesRead = 0;
    mDroppedValues = 0;
    mFirstDropped = "";
    mNextLine = 0;
    mNextOrdinal = 0;
    mMissingFrames = 0;
    mFirstMissing = 0;
    mTimeMismatch = "";
    mTimeMismatchLine = 0;
    mBadTimes = 0;
    mFirstBadTime = "";
    if (!RewindToFirstLine()) return FailNoText();
    int type = 0;
    if (!ReadKeywordField("PathFileType", "at the start of the file")) return false;
    VString field;
    PeekField(field);
    if (!ReadInt(type)) return Fail("the path file type \"%.40s\" is not a whole number", field.Buffer());
    if (type != 3 && type != 4) return Fail("path file type %d (3 or 4 expected)", type);
    if (!ReadKeywordField("(X/Y/Z)", "after the path file type")) return false;

    static const char* const kKeywords[] = {"DataRate",           "CameraRate",   "NumFrames",
                                            "NumMarkers",         "Units",        "OrigDataRate",
                                            "OrigDataStartFrame", "OrigNumFrames"};
    const int keywordCount = type == 4 ? 8 : 5;
    if (!ReadNextLine()) return Fail("the file ends after the first header line");
    for (int k = 0; k < keywordCount; ++k)
        if (!ReadKeywordField(kKeywords[k], k == 0 ? "at the start of the second header line" : "next"))
            return false;

    // The values, one field each: a blank field (two tabs in a row) is a value the file leaves
    // out. DataRate must be there; a blank NumFrames leaves the count to the frame lines, a blank
    // NumMarkers to the names line, blank Units are millimetres (and said so), and the others are
    // not needed.
    if (!ReadNextLine()) return Fail("the file ends after the second header line");
    struct Value {
        const char* begin = nullptr;
        const char* end = nullptr;
        bool present = false;  // the line reaches this field
        bool Blank() const { return present && begin == end; }
        VString Text() const { return present ? VString(begin, (int)(end - begin)) : VString(""); }
    } values[8];
    {
        // The whole line: a blank first field is one too. Some writers put two tabs between the
        // values; when the line holds a value for every keyword, the blank fields are such padding,
        // otherwise each field is the value of the keyword in its place.
        std::vector<Value> found;
        FrameFields fields(GetLine());
        Value v;
        int filled = 0;
        while (found.size() < 64 && fields.Next(v.begin, v.end)) {
            v.present = true;
            found.push_back(v);
            if (v.begin < v.end) ++filled;
        }
        int k = 0;
        for (const Value& field : found) {
            if (k >= keywordCount) break;
            if (filled >= keywordCount && field.begin == field.end) continue;
            values[k++] = field;
        }
    }
    double rate = 0.0;
    int frames = -1, markers = -1;  // -1: left to the lines
    if (values[0].Blank()) return Fail("the DataRate value is blank");
    if (!values[0].present || !NumberField(values[0].begin, values[0].end, rate) || !std::isfinite(rate))
        return Fail("the DataRate value \"%.40s\" is not a number", values[0].Text().Buffer());
    double cameraRate = 0.0;
    if (!values[1].Blank() &&
        (!values[1].present || !NumberField(values[1].begin, values[1].end, cameraRate) ||
         !std::isfinite(cameraRate)))
        return Fail("the CameraRate value \"%.40s\" is not a number", values[1].Text().Buffer());
    if (!values[2].Blank() && (!values[2].present || !HeaderCount(values[2].begin, values[2].end, frames)))
        return Fail("the NumFrames value \"%.40s\" is not a whole number", values[2].Text().Buffer());
    if (!values[3].Blank() && (!values[3].present || !HeaderCount(values[3].begin, values[3].end, markers)))
        return Fail("the NumMarkers value \"%.40s\" is not a whole number", values[3].Text().Buffer());
    if (!VOxaMotionSupport::IsUsableRate(rate))
        return Fail("a DataRate of %.10g %s", rate, VOxaMotionSupport::RateProblem(rate));
    if (values[2].present && !values[2].Blank() && frames < 0) return Fail("NumFrames is %d", frames);
    if (values[3].present && !values[3].Blank() && markers < 0) return Fail("NumMarkers is %d", markers);
    if (!values[4].present) return Fail("the line ends before the Units value");
    // Units as every motion reader takes them: "mm", "in", "meters", ...
    double unitScale = 0.1;
    if (values[4].Blank()) {
        mWarning = "The Units value is blank; the positions are read as millimetres.";
    } else if (VOxaMotionSupport::FindLengthUnit(values[4].begin, (size_t)(values[4].end - values[4].begin),
                                                 unitScale) < 0) {
        // As the other motion readers take a unit word they do not know.
        char text[200];
        std::snprintf(text, sizeof text,
                      "The Units value \"%.40s\" (line %u) is no length unit; the positions are read as "
                      "millimetres.",
                      values[4].Text().Buffer(), GetLineNumber());
        mWarning = text;
        unitScale = 0.1;
    }
    int origStartFrame = 1;
    // The value as the file gives it, for the message (blank or absent: none to disagree with).
    bool startGiven = false;
    int givenStart = 1;
    if (type == 4) {
        // OrigDataRate and OrigNumFrames are not needed; OrigDataStartFrame gives the start of a
        // file without frame lines. They only describe the original capture: a start that is no
        // whole number is said and passed over.
        int& startFrame = origStartFrame;
        const Value& start = values[6];
        startGiven = start.present && !start.Blank();
        if (startGiven && !HeaderCount(start.begin, start.end, startFrame)) {
            char text[200];
            // A value quoted in the file is shown as it stands, not quoted twice.
            const VString value = start.Text();
            const char* quote = value.Buffer()[0] == '"' ? "" : "\"";
            std::snprintf(text, sizeof text,
                          "The OrigDataStartFrame value %s%.40s%s (line %u) is not a whole number; it is "
                          "passed over.",
                          quote, value.Buffer(), quote, GetLineNumber());
            AppendLine(mWarning, text);
            startGiven = false;
            startFrame = 1;
        }
        givenStart = startFrame;
        // Frames count from 1; writers that count from 0 put 0 here, which is the first frame too.
        if (startFrame < 1) startFrame = 1;
        startTime.SetSecondDouble(((double)startFrame - 1.0) / rate);
    }
    // The names and labels lines: a header may give more markers than the names line names (some
    // writers count the coordinates' columns, or the markers of a larger set). When the labels are
    // those of the names, the markers named are read; a blank NumMarkers is the names'.
    int named = -1, labels = 0, headerMarkers = markers;
    uint32_t namesLine = 0;
    if (markers != 0 && ReadNextLine()) {
        namesLine = GetLineNumber();
        named = CountTextFields(GetCursor()) - 2;
        labels = ReadNextLine() ? CountTextFields(GetCursor()) : 0;
        if (markers < 0)
            markers = named > 0 ? named : 0;
        else if (named > 0 && named < markers && labels == 3 * named)
            markers = named;
        ClearFailure();
        if (!RewindToFirstLine() || !ReadNextLine() || !ReadNextLine())
            return Fail("the file could not be read again after its header");
    }
    if (markers < 0) markers = 0;

    // The frame lines, each placed at its frame number: the take starts at the time of its first
    // frame's line, whatever the header says.
    if (frames != 0 && (!mScanned || mScannedMarkers != markers)) {
        ScanFrameLines(markers, frames);
        mScanned = true;
        mScannedMarkers = markers;
        ClearFailure();
        if (!RewindToFirstLine() || !ReadNextLine() || !ReadNextLine())
            return Fail("the file could not be read again after its header");
    }
    if (frames == 0) mLines.clear();
    if (headerMarkers == 0 && frames != 0 && mMostGroups > 0) {
        // A header that counts no markers over lines that hold some: every marker is unnamed.
        markers = mMostGroups;
        mNoneNamed = true;
        char text[240];
        if (markers == 1)
            std::snprintf(
                text, sizeof text,
                "NumMarkers is 0, but the frame lines hold 1 marker's coordinates: *Unnamed_1 is read.");
        else
            std::snprintf(text, sizeof text,
                          "NumMarkers is 0, but the frame lines hold %d markers' coordinates: *Unnamed_1 to "
                          "*Unnamed_%d are read.",
                          markers, markers);
        AppendLine(mWarning, text);
    }
    if (headerMarkers > 0 && markers < headerMarkers) {
        char text[400];
        int length =
            std::snprintf(text, sizeof text,
                          "NumMarkers is %d, but the names line (line %u) holds %d names and the labels "
                          "line %d coordinates; ",
                          headerMarkers, namesLine, named, labels);
        if (mMostGroups == markers + 1 && length > 0 && length < (int)sizeof text)
            std::snprintf(
                text + length, sizeof text - (size_t)length,
                "the frame lines hold %d markers' coordinates: the %d named and 1 more, *Unnamed_%d, are "
                "read.",
                mMostGroups, markers, mMostGroups);
        else if (mMostGroups > markers && length > 0 && length < (int)sizeof text)
            std::snprintf(
                text + length, sizeof text - (size_t)length,
                "the frame lines hold %d markers' coordinates: the %d named and %d more, *Unnamed_%d to "
                "*Unnamed_%d, are read.",
                mMostGroups, markers, mMostGroups - markers, markers + 1, mMostGroups);
        else if (length > 0 && length < (int)sizeof text)
            std::snprintf(text + length, sizeof text - (size_t)length, "those %d markers are read.", markers);
        AppendLine(mWarning, text);
    }
    int64_t reached = 0;
    if (!mLines.empty()) {
        // The take's frames are the file's frame numbers, which count from 1 at 0 s; the Time
        // column only checks them. Some writers number from 0 with frame 0 at Time 0: such a file
        // counts from 0, as an OrigDataStartFrame of 0 does.
        const Position back = Tell();
        bool timed = false;
        double lineSeconds = 0.0;
        for (const FrameLine& line : mLines) {
            if (!SeekToLine(line) || !ReadNextLine()) break;
            FrameFields fields(GetCursor());
            const char *begin, *end;
            double seconds = 0.0;
            if (fields.Next(begin, end) && fields.Next(begin, end) && NumberField(begin, end, seconds) &&
                std::isfinite(seconds)) {
                lineSeconds = seconds - (double)line.index / rate;
                timed = true;
                break;
            }
        }
        Seek(back);
        const FrameLine& first = mLines.front();
        const double firstSeconds =
            mBase == 0 && timed && std::fabs(lineSeconds) <= 0.5 / rate ? 0.0 : ((double)mBase - 1.0) / rate;
        const double ticks = std::nearbyint(firstSeconds * (double)VTime::kOneSecond);
        if (!(std::fabs(ticks) < 9.0e18)) {
            if (SeekToLine(first)) ReadNextLine();
            return Fail("frame %lld lies %.6g s from 0 s at DataRate %.10g, beyond the times a take holds",
                        (long long)mBase, firstSeconds, rate);
        }
        startTime = VTime((int64_t)ticks);
        if (type == 4 && startGiven && givenStart != mBase) {
            char text[240];
            std::snprintf(
                text, sizeof text,
                "The frame lines start at frame %lld (line %u), not at OrigDataStartFrame %d; the take "
                "starts at that frame, %.9g s.",
                (long long)mBase, first.line, givenStart, startTime.GetSecondDouble());
            AppendLine(mWarning, text);
        }
        mFirstSeconds = startTime.GetSecondDouble();
        reached = mLines.back().index + 1;
    }
    char text[300];
    if (mRepeats > 0) {
        std::snprintf(
            text, sizeof text,
            "%lld frame lines repeat the frame of a line before them and are not read (the first: %s).",
            mRepeats, mFirstRepeat.Buffer());
        AppendLine(mWarning, text);
    }
    if (mOutside > 0) {
        std::snprintf(
            text, sizeof text,
            "%lld frame lines lie outside the %d frames from frame %lld that NumFrames gives and are "
            "not read (the first: %s).",
            mOutside, frames, (long long)mBase, mFirstOutside.Buffer());
        AppendLine(mWarning, text);
    }
    // A file cut short is read as far as its lines reach; a blank NumFrames is what they reach.
    if (frames < 0) {
        frames = (int)std::min<int64_t>(reached, INT_MAX);
    } else if (reached > 0 && reached < frames) {
        if ((int64_t)mLines.size() == reached && mRepeats == 0 && mOutside == 0)
            std::snprintf(
                text, sizeof text,
                "The header gives %d frames, but the file ends after %lld frame lines; those %lld are read.",
                frames, (long long)reached, (long long)reached);
        else
            std::snprintf(
                text, sizeof text,
                "The header gives %d frames, but the file's frame lines end at its frame %lld; those "
                "%lld are read.",
                frames, (long long)reached, (long long)reached);
        AppendLine(mWarning, text);
        frames = (int)reached;
    }
    // Back to the end of the header for the names.
    ClearFailure();
    if (!RewindToFirstLine() || !ReadNextLine() || !ReadNextLine())
        return Fail("the file could not be read again after its header");
    mHeaderFrames = frames;
    mRate = rate;
    markerCount = markers;
    frameCount = frames;
    frameRate = rate;
    scale = unitScale;
    return true;
}

bool VOxaFileMotionAnalysisTrc::SeekToLine(const FrameLine& line) {
    Position position;
    position.offset = line.offset;
    position.line = line.lineBefore;
    position.afterCr = line.afterCr;
    return Seek(position);
}

bool VOxaFileMotionAnalysisTrc::ReadMarkerNames(VStringList& names, bool actorPrefix) {
    if (mNoneNamed) {
        // The names line names none of them (the header counts none): passed over as such.
        VStringList none;
        mNoneNamed = false;
        const bool read = ReadMarkerNames(none, actorPrefix);
        mNoneNamed = true;
        if (!read) return false;
        for (int i = 0; i < names.GetCount(); ++i) {
            VString name("*Unnamed_");
            name += i + 1;
            names.SetStringAt(i, name.Buffer());
        }
        return true;
    }
    ClearFailure();
    if (!ReadNextLine()) return Fail("the file ends before the marker names");
    if (!ReadKeywordField("Frame#", "at the start of the names line") ||
        !ReadKeywordField("Time", "after \"Frame#\""))
        return false;
    const uint32_t namesLine = GetLineNumber();
    int namesOnLine = 0;
    const int count = names.GetCount();
    VString field;
    for (int i = 0; i < count; ++i) {
        if (!ReadFieldAcrossLines(field)) return Fail("the file ends after %d of %d marker names", i, count);
        if (GetLineNumber() == namesLine) namesOnLine = i + 1;
        if (field.Find("Unnamed") >= 0) {
            field = "*Unnamed_";
            field += i + 1;
        } else {
            for (int c = 0; c < field.GetLen(); ++c)
                if (field[c] == ' ') field[c] = '_';
        }
        names.SetStringAt(i, field.Buffer());
    }
    // The labels start on a line of their own: X, Y, Z per marker. Without markers that line is
    // blank (tabs only) and passed over: the next line is then the first frame's.
    const Position labels = Tell();
    if (!ReadNextLine()) return count == 0 || Fail("the file ends before the coordinate labels");
    if (count == 0) {
        FrameFields fields(GetCursor());
        const char *begin, *end;
        int number = 0;
        if (fields.Next(begin, end) && FrameNumberField(begin, end, number) && !Seek(labels))
            return Fail("the file could not be read again before its first frame line");
    }
    static const char kAxes[3] = {'x', 'y', 'z'};
    for (int i = 0; i < count; ++i) {
        for (int a = 0; a < 3; ++a) {
            if (!ReadFieldAcrossLines(field))
                return Fail("the file ends after %d of %d coordinate labels", 3 * i + a, 3 * count);
            if (std::tolower((unsigned char)field[0]) == kAxes[a]) continue;
            // Names that ran on past their line may have taken the labels' place: the header may
            // promise more markers than the names line holds.
            if (namesOnLine < count)
                return Fail(
                    "coordinate label \"%.40s\" where the %c label of marker %d is expected; NumMarkers "
                    "is %d, but the names line (line %u) holds %d names",
                    field.Buffer(), std::toupper((unsigned char)kAxes[a]), i + 1, count, namesLine,
                    namesOnLine);
            return Fail("coordinate label \"%.40s\" where the %c label of marker %d is expected",
                        field.Buffer(), std::toupper((unsigned char)kAxes[a]), i + 1);
        }
    }
    return true;
}

bool VOxaFileMotionAnalysisTrc::ReadFrame(VOxaMarkerFrame& points, int /*markerCount*/, VTime& time,
                                          int& frameCounter, VTime /*period*/, bool /*exactZeroAsOccluded*/) {
    if (mNextLine >= mLines.size() && (mLines.empty() || mFramesRead >= mHeaderFrames)) {
        // The failure names the line where the file ends.
        if (mLines.empty()) ReadNextLine();
        return Fail("the file ends after %d of %d frames", mFramesRead, mHeaderFrames);
    }
    // A frame without a line is a gap in every marker.
    if (mNextLine >= mLines.size() || mLines[mNextLine].index > mFramesRead) {
        if (mMissingFrames++ == 0) mFirstMissing = mBase + mFramesRead;
        frameCounter = (int)(mBase + mFramesRead);
        time.SetSecondDouble(mFirstSeconds + (double)mFramesRead / mRate);
        ++mFramesRead;
        return true;
    }
    // The frame's line, wherever it lies in the file.
    const FrameLine& place = mLines[mNextLine++];
    if (place.ordinal != mNextOrdinal && !SeekToLine(place))
        return Fail("frame %lld: the file cannot be read again at line %u", (long long)(mBase + place.index),
                    place.line);
    if (!ReadNextLine()) return Fail("the file ends after %d of %d frames", mFramesRead, mHeaderFrames);
    mNextOrdinal = place.ordinal + 1;
    const int64_t index = place.index;
    FrameFields fields(GetCursor());
    int frame = 0;
    double seconds = 0.0;
    const char *begin = nullptr, *end = nullptr;
    if (!fields.Next(begin, end)) begin = end = nullptr;
    const bool hasField = begin != nullptr;
    if (!hasField || !FrameNumberField(begin, end, frame) || !fields.More()) {
        // A whole number that int cannot hold: frame numbers are those of 32 bits.
        const char* digit = hasField && begin < end && (*begin == '-' || *begin == '+') ? begin + 1 : begin;
        while (digit < end && *digit >= '0' && *digit <= '9')
            ++digit;
        double number = 0.0;
        if (hasField && begin < end && digit == end && std::isdigit((unsigned char)end[-1]))
            return Fail("the frame number %.40s lies beyond the 32-bit frame numbers (%d to %d)",
                        VString(begin, (int)(end - begin)).Buffer(), INT_MIN + 1, INT_MAX);
        // Any other number ("50.5", "0x10", "1e3") is no frame number either.
        if (hasField && NumberField(begin, end, number))
            return Fail("the frame number %.40s is not a whole number",
                        VString(begin, (int)(end - begin)).Buffer());
        return Fail("the line does not start with a frame number and a tab");
    }
    const double expected = mFirstSeconds + (double)index / mRate;
    if (!fields.Next(begin, end) || !fields.More())
        return Fail("frame %d: no time after the frame number", frame);
    if (NumberField(begin, end, seconds) && std::isfinite(seconds)) {
        // The Time column against the frame numbers: rounding to whole milliseconds is allowed for.
        // Lines are read in frame order; the warning names the first in the file.
        if ((mTimeMismatch.IsEmpty() || GetLineNumber() < mTimeMismatchLine) &&
            !(std::fabs(seconds - expected) <= 0.5 / mRate + 0.0005)) {
            char text[300];
            std::snprintf(
                text, sizeof text,
                "The Time column disagrees with the frame numbers at DataRate %.10g: line %u (frame %d) "
                "is at %.40s s where its number puts it at %.9g s; the frames are placed by their "
                "numbers.",
                mRate, GetLineNumber(), frame, VString(begin, (int)(end - begin)).Buffer(), expected);
            mTimeMismatch = text;
            mTimeMismatchLine = GetLineNumber();
        }
    } else if (begin == end || IsNonFiniteWord(begin, end)) {
        // A Time that is blank or no finite number: the frame stays where its number puts it.
        if (mBadTimes++ == 0) {
            char text[120];
            std::snprintf(text, sizeof text, "line %u: \"%.40s\"", GetLineNumber(),
                          VString(begin, (int)(end - begin)).Buffer());
            mFirstBadTime = text;
        }
        seconds = expected;
    } else {
        return Fail("frame %d: no time after the frame number", frame);
    }
    const int first = points.GetCount();
    // Groups of three fields, one per marker: an empty field or "NaN" is a missing coordinate
    // (the point is occluded). A group cut short by the end of the line, and a field that is
    // neither, end the line's points.
    for (;;) {
        VgeTVector point(0.0, 0.0, 0.0, 0.0);
        int axis = 0;
        for (; axis < 3 && fields.Next(begin, end); ++axis) {
            if (begin == end || IsNaNText(begin, end)) {
                point[3] = 1.0;
                continue;
            }
            double value = 0.0;
            if (!NumberField(begin, end, value)) break;
            if (!IsWritableNumber(value)) {
                // Beyond what a key holds once scaled: the coordinate is missing, and said so.
                if (mDroppedValues++ == 0) {
                    char text[200];
                    std::snprintf(text, sizeof text, "line %u: frame %d, marker %d: %.40s", GetLineNumber(),
                                  frame, (int)points.GetCount() - first + 1,
                                  VString(begin, (int)(end - begin)).Buffer());
                    mFirstDropped = text;
                }
                point[3] = 1.0;
                continue;
            }
            point[axis] = value;
        }
        if (axis < 3) break;
        if (points.Add(point) < 0) return Fail("frame %d: no room for its points", frame);
    }
    ++mFramesRead;
    frameCounter = frame;
    time.SetSecondDouble(seconds);
    return true;
}

bool VOxaFileMotionAnalysisTrc::WriteHeader(int markerCount, VTime startTime, int frameCount,
                                            double frameRate, double /*scale*/) {
    WriteText("PathFileType\t4\t(X/Y/Z)\tMorvane\t\n");
    WriteText(
        "DataRate\tCameraRate\tNumFrames\tNumMarkers\tUnits\tOrigDataRate\tOrigDataStartFrame\tOrigNumFrames"
        "\t\n");
    const double startFrame = VOxaSkeletonSupport::StartFrame(startTime, frameRate);
    mNotes = VOxaSkeletonSupport::BetweenFramesNote(startTime, frameRate, "TRC");
    // Frame numbers are whole 32-bit numbers: a take whose numbers pass them cannot keep its start.
    const double lastFrame = startFrame + (double)(frameCount > 1 ? frameCount - 1 : 0);
    if (!(startFrame >= (double)INT_MIN + 1.0 && lastFrame <= (double)INT_MAX)) {
        char text[300];
        std::snprintf(
            text, sizeof text,
            "TRC frame numbers run from %d to %d: the take starting at %.10g s would need frames %.0f "
            "to %.0f, so its start cannot be kept and the file is not written",
            INT_MIN + 1, INT_MAX, startTime.GetSecondDouble(), std::isfinite(startFrame) ? startFrame : 0.0,
            std::isfinite(lastFrame) ? lastFrame : 0.0);
        mRefusal = text;
        return false;
    }
    mStartFrame = (int64_t)startFrame;
    mTimeDecimals = TimeDecimals(frameRate, startTime.GetSecondDouble());
    char rate[64];
    if (!VOxaMotionSupport::IsUsableRate(frameRate) || !RateText(frameRate, rate, sizeof rate)) {
        char text[200];
        std::snprintf(
            text, sizeof text,
            "A TRC file cannot hold the frame rate %g: its DataRate would not read back as a usable "
            "rate; the file is not written.",
            frameRate);
        mRefusal = text;
        return false;
    }
    WriteText(rate);
    WriteChar('\t');
    WriteText(rate);
    WriteChar('\t');
    WriteInt(frameCount);
    WriteChar('\t');
    WriteInt(markerCount);
    WriteText("\tmm\t");
    WriteText(rate);
    WriteChar('\t');
    WriteInt((long long)startFrame);
    WriteChar('\t');
    WriteInt(frameCount);
    return WriteText("\t\n");
}

bool VOxaFileMotionAnalysisTrc::WriteMarkerNames(const VStringList& names) {
    const int count = names.GetCount();
    WriteText("Frame#\tTime\t");
    // A tab or line end inside a name would shift every later field: control characters are
    // written as "_".
    std::vector<VString> list;
    list.reserve((size_t)count);
    for (int i = 0; i < count; ++i)
        list.push_back(VString(names[i]));
    for (const VString& name : WritableNames(list, kControlOnly)) {
        Write(name.Buffer(), (size_t)name.GetLen());
        WriteText("\t\t\t");
    }
    WriteText("\n\t\t");
    for (int i = 1; i <= count; ++i) {
        WriteChar('X');
        WriteInt(i);
        WriteText("\tY");
        WriteInt(i);
        WriteText("\tZ");
        WriteInt(i);
        WriteChar('\t');
    }
    return WriteText("\n\n");
}

bool VOxaFileMotionAnalysisTrc::WriteFrame(const VOxaMarkerFrame& points, int pointCount, VTime time,
                                           int frameNumber) {
    const VgeTVector* p = static_cast<const VgeTVector*>(points.GetBaseArray());
    if (pointCount > points.GetCount()) pointCount = points.GetCount();
    // Frame numbers go on from OrigDataStartFrame, so that each line's number and time agree.
    WriteInt(mStartFrame + frameNumber - 1);
    WriteChar('\t');
    WriteFixed(time.GetSecondDouble(), mTimeDecimals);
    for (int k = 0; k < pointCount; ++k) {
        if (p[k][3] > 0.5) {
            WriteText("\t\t\t");
            continue;
        }
        for (int axis = 0; axis < 3; ++axis) {
            WriteChar('\t');
            WriteFixed(p[k][axis] * 10.0, 5);
        }
    }
    return WriteText(" \n");
}

bool VOxaFileMotionAnalysisTrc::RateText(double rate, char* out, size_t size) {
    if (!out || size == 0) return false;
    out[0] = 0;
    if (!std::isfinite(rate)) return false;
    char text[400];
    for (int decimals = 2; decimals <= 17; ++decimals) {
        const int n = VFormatDoubleFixed(text, sizeof text, rate, decimals);
        double back = 0.0;
        // The fewest decimals that read back as the same rate, or as one of the same frame period
        // (59.94, not 59.93999999999999).
        if (n <= 0 || (size_t)n >= size || !VParseDouble(text, text + n, back, false) ||
            (back != rate && !VOxaMotionSupport::SamePeriod(back, rate)))
            continue;
        std::memcpy(out, text, (size_t)n + 1);
        return true;
    }
    return false;
}

int VOxaFileMotionAnalysisTrc::TimeDecimals(double rate, double start) {
    if (!(rate > 0.0) || !std::isfinite(rate)) return 3;
    // Whole milliseconds: the period and the start are whole numbers of them.
    const double period = 1000.0 / rate;
    const double startMs = start * 1000.0;
    if (std::fabs(period - std::nearbyint(period)) <= 1e-9 * period &&
        std::fabs(startMs - std::nearbyint(startMs)) <= 1e-6)
        return 3;
    // Half a unit of the last decimal is at most a twentieth of a frame.
    const int decimals = (int)std::ceil(std::log10(10.0 * rate) - 1e-9);
    return decimals < 3 ? 3 : decimals > 9 ? 9 : decimals;
}

VString VOxaFileMotionAnalysisTrc::GetDroppedWarning() const {
    VString warning("");
    char text[400];
    if (mDroppedValues > 0) {
        std::snprintf(text, sizeof text,
                      "%lld coordinates lie beyond +-1e30 and are read as gaps (the first at %s).",
                      mDroppedValues, mFirstDropped.Buffer());
        warning += text;
    }
    if (mMissingFrames > 0) {
        std::snprintf(text, sizeof text,
                      "%lld frames have no line (the first is frame %lld); they are gaps in every marker.",
                      mMissingFrames, (long long)mFirstMissing);
        AppendLine(warning, text);
    }
    if (mBadTimes > 0) {
        std::snprintf(
            text, sizeof text,
            "%lld frame lines have a Time that is blank or no number (the first at %s); those frames are "
            "placed by their numbers.",
            mBadTimes, mFirstBadTime.Buffer());
        AppendLine(warning, text);
    }
    if (!mTimeMismatch.IsEmpty()) {
        AppendLine(warning, mTimeMismatch.Buffer());
    }
    return warning;
}

// ---- reader ----------------------------------------------------------------------------------------

int VOxaTrcTimeModeFromRate(double rate) {
    if (!(rate >= 0.0 && rate < 1.0e6)) return 0;
    switch ((int)rate) {
        case 24:
            return 11;
        case 25:
            return 10;
        case 29:
            return 8;
        case 30:
            return 6;
        case 50:
            return 4;
        case 60:
            return 3;
        case 100:
            return 2;
        case 120:
            return 1;
        default:
            return 0;
    }
}

VOxaReaderMotionAnalysisTrc::VOxaReaderMotionAnalysisTrc(VOxaSdkManager* manager)
    : VOxaReaderMotionBase(manager) {
    mDescription = "Motion Analysis TRC File Importer";
    mReferenceName = "TRC";
}

void VOxaReaderMotionAnalysisTrc::SetTimeCodeEnabled(bool on) {
    gTimeCodeEnabled = on;
}

bool VOxaReaderMotionAnalysisTrc::IsTimeCodeEnabled() {
    return gTimeCodeEnabled;
}

VStreamOptions* VOxaReaderMotionAnalysisTrc::GetReadOptions() {
    VStreamOptions* options = VOxaReaderMotionBase::GetReadOptions();
    Report();
    return options;
}

bool VOxaReaderMotionAnalysisTrc::Read(VOxaScene* scene, VStreamOptions* options) {
    const bool ok = VOxaReaderMotionBase::Read(scene, options);
    if (ok) {
        Report();
    } else if (const VOxaFileMotionAnalysisTrc* file = static_cast<const VOxaFileMotionAnalysisTrc*>(mFile)) {
        // A refused file says why and nothing of what a read would have made of the lines before:
        // the header's warnings given with the options go again.
        const VString header = VString(file->GetWarning()) + "\n";
        if (header.GetLen() > 1) mMessageText.FindAndReplace(header.Buffer(), "");
    }
    return ok;
}

void VOxaReaderMotionAnalysisTrc::Report() {
    const VOxaFileMotionAnalysisTrc* file = static_cast<const VOxaFileMotionAnalysisTrc*>(mFile);
    if (!file) return;
    // The header is read for the options and again for the read: the warning is given once.
    const char* warning = file->GetWarning();
    if (*warning && mMessageText.Find(warning) < 0) {
        mMessageText += warning;
        mMessageText += "\n";
    }
    const VString dropped = file->GetDroppedWarning();
    if (!dropped.IsEmpty() && mMessageText.Find(dropped.Buffer()) < 0) {
        mMessageText += dropped;
        mMessageText += "\n";
    }
}

IOxaFileMotionBase* VOxaReaderMotionAnalysisTrc::CreateMotionFile(const char* path) {
    return IOxaFileMotionBase::Opened(new VOxaFileMotionAnalysisTrc(), path, "r");
}

void VOxaReaderMotionAnalysisTrc::SetDefaultReadOptions(VStreamOptionsMotion* options) {
    options->SetOption(VStreamOptionsMotion::eUNUSED_SEGMENTS, 1);
    options->SetOption(VStreamOptionsMotion::eIMPORT_AS_OPTICAL_SEGMENTS, 1);
    options->SetOption(VStreamOptionsMotion::eIMPORT_SET_OCCLUDED_TO_LAST_VALID_POSITION, 1);
    if (gTimeCodeEnabled) ApplyTimeCodeFile(options);
}

void VOxaReaderMotionAnalysisTrc::ApplyTimeCodeFile(VStreamOptionsMotion* options) {
    const VString path = ChangeFileExtension(mFileName.Buffer(), ".tc");
    if (path.IsEmpty() || !FileExists(path.Buffer())) return;
    const VString name = ::GetFileName(path.Buffer(), true);
    VString question("Load ");
    question += name;
    question += "?";
    if (options->Dialog("Time Code File", question.Buffer(), "Yes", "No") != 1) return;

    std::FILE* file = std::fopen(path.Buffer(), "r");
    if (!file) {
        VString text("Unable to open ");
        text += name;
        options->Dialog("Time Code File", text.Buffer(), "Ok", nullptr);
        return;
    }
    // Three lines of at most 255 characters.
    char lines[3][256];
    bool read = true;
    for (auto& line : lines) {
        line[0] = 0;
        if (!ReadTextLine(line, (int)sizeof line, file)) read = false;
    }
    std::fclose(file);

    bool valid = false;
    int hours = 0, minutes = 0, seconds = 0, frames = 0;
    double rate = 0.0;
    if (read) {
        const char* p = lines[0];
        const char* end = p + std::strlen(p);
        if (std::strncmp(p, "\xEF\xBB\xBF", 3) == 0) p += 3;  // a UTF-8 byte-order mark
        int* parts[4] = {&hours, &minutes, &seconds, &frames};
        bool parsed = true;
        for (int k = 0; k < 4 && parsed; ++k) {
            if (k > 0) {
                if (*p != ':') {
                    parsed = false;
                    break;
                }
                ++p;
            }
            p = VParseInt(p, end, *parts[k]);
            parsed = p != nullptr;
        }
        const char* rateEnd = lines[2] + std::strlen(lines[2]);
        parsed = parsed && VParseDouble(lines[2], rateEnd, rate, false) != nullptr;
        rate = (double)(float)rate;  // the rate is read as a float
        int mode = VOxaTrcTimeModeFromRate(rate);
        if (parsed) {
            if (std::strncmp(lines[1], "SMPTE", 5) == 0) {
                valid = frames >= 0 && frames <= rate;
            } else if (std::strncmp(lines[1], "EBU", 3) == 0) {
                valid = frames >= 0 && frames <= 24;
                mode = 10;
            } else if (VTextFile::MatchPrefix(lines[1], "System Clock")) {
                valid = frames <= rate && mode != 0;
            }
        }
        if (valid) {
            VTime start;
            start.SetTime(hours, minutes, seconds, frames, 0, mode);
            options->SetStartTime(start);
        }
    }
    if (!valid) {
        VString text(name);
        text += " is invalid";
        options->Dialog("Time Code File", text.Buffer(), "Ok", nullptr);
    }
}

// ---- writer ----------------------------------------------------------------------------------------

VOxaWriterMotionAnalysisTrc::VOxaWriterMotionAnalysisTrc(VOxaSdkManager* manager)
    : VOxaWriterMotionBase(manager) {
    mDescription = "Motion Analysis TRC File Exporter";
}

IOxaFileMotionBase* VOxaWriterMotionAnalysisTrc::CreateMotionFile(const char* path) {
    return IOxaFileMotionBase::Opened(new VOxaFileMotionAnalysisTrc(), path, "w");
}

void VOxaWriterMotionAnalysisTrc::SetDefaultWriteOptions(VStreamOptionsMotion* options) {
    options->SetOption(VStreamOptionsMotion::eUNUSED_SEGMENTS, 1);
    options->SetOption(VStreamOptionsMotion::eEXPORT_GAPS_AS_VALID_DATA, 0);
    options->SetOption(VStreamOptionsMotion::eEXPORT_FROM_GLOBAL_POSITION, 0);
}

VOxaReader* VOxaCreateTrcReader(VOxaSdkManager* manager) {
    return new VOxaReaderMotionAnalysisTrc(manager);
}

VOxaWriter* VOxaCreateTrcWriter(VOxaSdkManager* manager) {
    return new VOxaWriterMotionAnalysisTrc(manager);
}
