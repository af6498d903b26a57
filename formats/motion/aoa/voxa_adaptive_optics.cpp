#include "formats/motion/aoa/voxa_adaptive_optics.h"

#include <cctype>
#include <cstdio>
#include <new>

#include "oxa_codec/vstream_options.h"

namespace {

bool SameNoCase(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b)
        if (std::tolower((unsigned char)*a) != std::tolower((unsigned char)*b)) return false;
    return *a == *b;
}

}  // namespace

// ---- file ----------------------------------------------------------------------------------------

VOxaFileAdaptiveOptics::VOxaFileAdaptiveOptics(bool isMcd)
    : VTextFile("AOA", " \t\r\n", nullptr, true, false), mIsMcd(isMcd) {}

VOxaFileAdaptiveOptics::~VOxaFileAdaptiveOptics() {
    VTextFile::Close();
}

bool VOxaFileAdaptiveOptics::ReadWord(const char* word) {
    // A longer token cannot be one of the header words; 63 characters tell them apart.
    char token[64];
    return ReadToken(token, 63) && SameNoCase(token, word);
}

bool VOxaFileAdaptiveOptics::ExpectWord(const char* word, const char* after) {
    const char* at = GetCursor();
    char token[64];
    if (ReadToken(token, 63) && SameNoCase(token, word)) return true;
    if (!at || !*at) return Fail("\"%s\" expected after %s, but the line ends", word, after);
    return Fail("\"%s\" expected after %s, found \"%.40s\"", word, after, token);
}

bool VOxaFileAdaptiveOptics::ReadHeaderLine(int& frames, int& markers, double& rate) {
    if (!Rewind() || !GetCursor() || !*GetCursor()) return FailNoText();
    // Lines before the header are skipped whatever they hold.
    while (!ReadWord("frames")) {
        if (!ReadNextLine()) return Fail("no header line \"frames = <count> markers = <count> Hz = <rate>\"");
    }
    if (!ExpectWord("=", "\"frames\"")) return false;
    if (!ReadInt(frames)) return Fail("the frame count after \"frames =\" is not a whole number");
    if (!ExpectWord("markers", "the frame count") || !ExpectWord("=", "\"markers\"")) return false;
    if (!ReadInt(markers)) return Fail("the marker count after \"markers =\" is not a whole number");
    if (!ExpectWord("Hz", "the marker count") || !ExpectWord("=", "\"Hz\"")) return false;
    if (!ReadDouble(rate, 1.0)) return Fail("the rate after \"Hz =\" is not a number");
    if (frames < 0) return Fail("a frame count of %d", frames);
    if (markers < 0) return Fail("a marker count of %d", markers);
    if (!VOxaMotionSupport::IsUsableRate(rate))
        return Fail("a rate of %.10g Hz %s", rate, VOxaMotionSupport::RateProblem(rate));
    return true;
}

int64_t VOxaFileAdaptiveOptics::CountWholeFrames(int frames, int markers) {
    // The lines after the header, up to what the header announces; a last line that the file's
    // end cuts before its z (no line end, fewer than three numbers) is no whole point.
    const int64_t wanted = (int64_t)frames * markers;
    int64_t lines = 0;
    bool lastCut = false;
    while (lines < wanted && ReadNextLine()) {
        ++lines;
        lastCut = false;
        if (!LineEnded()) {
            const char* at = GetCursor();
            double value;
            lastCut = !(ReadDouble(value, 1.0) && ReadDouble(value, 1.0) && ReadDouble(value, 1.0));
            SetCursor(at);
        }
    }
    if (lastCut) --lines;
    return lines / markers;
}

bool VOxaFileAdaptiveOptics::ReadHeader(int64_t& markerCount, VTime& startTime, int64_t& frameCount,
                                        double& frameRate, double& scale) {
    ClearFailure();
    mHeaderFrames = 0;
    mFramesRead = 0;
    int frames = 0, markers = 0;
    double rate = 0.0;
    if (!ReadHeaderLine(frames, markers, rate)) return false;
    // A file cut short is read as far as its whole frames go, counted once per file (one frame at
    // least: a file cut in its first frame is refused by the frame reader).
    if (mWholeFrames < 0) {
        mWholeFrames = frames;
        if (markers > 0 && frames > 0) {
            mWholeFrames = CountWholeFrames(frames, markers);
            if (!ReadHeaderLine(frames, markers, rate)) return false;
        }
    }
    if (mWholeFrames > 0 && mWholeFrames < frames) {
        char text[200];
        std::snprintf(text, sizeof text,
                      "The header gives %d frames, but the file ends after %lld whole frames; those %lld are "
                      "read.",
                      frames, (long long)mWholeFrames, (long long)mWholeFrames);
        mReadWarning = text;
        frames = (int)mWholeFrames;
    }
    mMarkerCount = markers;
    mHeaderFrames = frames;
    markerCount = markers;
    frameCount = frames;
    frameRate = rate;
    startTime = VTime(0);
    scale = 1.0;
    return true;
}

bool VOxaFileAdaptiveOptics::ReadMarkerNames(VStringList& names, bool /*actorPrefix*/) {
    for (int i = 0; i < names.GetCount(); ++i) {
        VString name("Marker");
        name += i + 1;
        names.SetStringAt(i, name.Buffer());
    }
    return true;
}

bool VOxaFileAdaptiveOptics::ReadFrame(VOxaMarkerFrame& points, int markerCount, VTime& time,
                                       int& frameCounter, VTime period, bool exactZeroAsOccluded) {
    if (markerCount < 0) return false;
    const int first = points.AddMultiple(markerCount);
    if (first < 0) return Fail("frame %d: no room for its %d points", mFramesRead + 1, markerCount);
    VgeTVector* out = static_cast<VgeTVector*>(points.GetBaseArray()) + first;
    for (int k = 0; k < markerCount; ++k) {
        double x, y, z;
        if (!ReadNextLine()) {
            if (k == 0) return Fail("the file ends after %d of %d frames", mFramesRead, mHeaderFrames);
            return Fail("the file ends in frame %d after %d of its %d marker lines", mFramesRead + 1, k,
                        markerCount);
        }
        if (!ReadDouble(x, 1.0) || !ReadDouble(y, 1.0) || !ReadDouble(z, 1.0))
            return Fail("frame %d, marker %d: x, y and z expected", mFramesRead + 1, k + 1);
        const bool zero = exactZeroAsOccluded && x == 0.0 && y == 0.0 && z == 0.0;
        out[k].Set(x, y, z, zero ? 1.0 : 0.0);
    }
    ++mFramesRead;
    ++frameCounter;
    time += period;
    return true;
}

bool VOxaFileAdaptiveOptics::WriteHeader(int markerCount, VTime startTime, int frameCount, double frameRate,
                                         double /*scale*/) {
    // The header has no field for the start: a take that does not start at 0 reads back at 0.
    mStartNote = "";
    if (startTime.Get() != 0) {
        char text[200];
        std::snprintf(
            text, sizeof text,
            "The take starts at %g s; %s files hold no start, so it reads back starting at 0 s.\n",
            startTime.GetSecondDouble(), mIsMcd ? "MCD" : "AOA");
        mStartNote = text;
    }
    WriteText("frames = ");
    WriteInt(frameCount);
    WriteText(" markers = ");
    WriteInt(markerCount);
    WriteText(" Hz = ");
    WriteShortest(frameRate);
    return WriteChar('\n');
}

bool VOxaFileAdaptiveOptics::WriteFrame(const VOxaMarkerFrame& points, int pointCount, VTime /*time*/,
                                        int /*frameNumber*/) {
    const VgeTVector* p = static_cast<const VgeTVector*>(points.GetBaseArray());
    if (pointCount > points.GetCount()) pointCount = points.GetCount();
    for (int k = 0; k < pointCount; ++k) {
        if (p[k][3] > 0.5) {
            WriteText("0 0 0\n");
            continue;
        }
        double x = p[k][0];
        if (x == 0.0 && p[k][1] == 0.0 && p[k][2] == 0.0) {
            x = kOriginStep;
            ++mMovedOffOrigin;
        }
        WriteShortest(x);
        WriteChar(' ');
        WriteShortest(p[k][1]);
        WriteChar(' ');
        WriteShortest(p[k][2]);
        WriteChar('\n');
    }
    return !WriteFailed();
}

bool VOxaFileAdaptiveOptics::WriteEnd() {
    mNotes = mStartNote;
    if (mMovedOffOrigin > 0) {
        char text[300];
        std::snprintf(
            text, sizeof text,
            "%lld seen points lie at exactly 0, 0, 0, which the %s reader takes for a gap; they are "
            "written %g from it along x.\n",
            mMovedOffOrigin, mIsMcd ? "MCD" : "AOA", kOriginStep);
        mNotes += text;
    }
    return !WriteFailed();
}

// ---- reader and writer -----------------------------------------------------------------------------

VOxaReaderAdaptiveOptics::VOxaReaderAdaptiveOptics(VOxaSdkManager* manager, bool isMcd)
    : VOxaReaderMotionBase(manager) {
    mDescription = isMcd ? "Superfluo MCD File Importer" : "Adaptive Optics AOA File Importer";
    mReferenceName = isMcd ? "MCD" : "AOA";
}

IOxaFileMotionBase* VOxaReaderAdaptiveOptics::CreateMotionFile(const char* path) {
    return IOxaFileMotionBase::Opened(new VOxaFileAdaptiveOptics(), path, "r");
}

void VOxaReaderAdaptiveOptics::SetDefaultReadOptions(VStreamOptionsMotion* options) {
    options->SetOption(VStreamOptionsMotion::eIMPORT_AS_OPTICAL_SEGMENTS, 1);
    options->SetOption(VStreamOptionsMotion::eIMPORT_EXACT_ZERO_AS_OCCLUDED, 1);
    options->SetOption(VStreamOptionsMotion::eIMPORT_SET_OCCLUDED_TO_LAST_VALID_POSITION, 1);
}

VOxaWriterAdaptiveOptics::VOxaWriterAdaptiveOptics(VOxaSdkManager* manager, bool isMcd)
    : VOxaWriterMotionBase(manager), mIsMcd(isMcd) {
    mDescription = isMcd ? "Superfluo MCD File Exporter" : "Adaptive Optics AOA File Exporter";
}

IOxaFileMotionBase* VOxaWriterAdaptiveOptics::CreateMotionFile(const char* path) {
    return IOxaFileMotionBase::Opened(new VOxaFileAdaptiveOptics(mIsMcd), path, "w");
}

void VOxaWriterAdaptiveOptics::SetDefaultWriteOptions(VStreamOptionsMotion* options) {
    options->SetOption(VStreamOptionsMotion::eEXPORT_FROM_GLOBAL_POSITION, 0);
}

VOxaReader* VOxaCreateAoaReader(VOxaSdkManager* manager) {
    return new VOxaReaderAdaptiveOptics(manager, false);
}

VOxaReader* VOxaCreateMcdReader(VOxaSdkManager* manager) {
    return new VOxaReaderAdaptiveOptics(manager, true);
}

VOxaWriter* VOxaCreateAoaWriter(VOxaSdkManager* manager) {
    return new VOxaWriterAdaptiveOptics(manager, false);
}

VOxaWriter* VOxaCreateMcdWriter(VOxaSdkManager* manager) {
    return new VOxaWriterAdaptiveOptics(manager, true);
}
