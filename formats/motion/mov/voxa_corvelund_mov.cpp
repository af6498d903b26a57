#include "formats/motion/mov/voxa_corvelund_mov.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "animation/anim_import_filters.h"
#include "animation/fcurve.h"
#include "base/vge_matrix.h"
#include "formats/motion/voxa_motion_base.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"

// ---- file ----------------------------------------------------------------------------------------

VOxaFileCorvelundMov::VOxaFileCorvelundMov() : VTextFile("MOV", " \t\r\n", nullptr, true, false) {
    // One frame a line: lines that end in a carriage return alone must not run together.
    SetCrEndsLines(true);
}

bool VOxaFileCorvelundMov::CountLines(int64_t& count) {
    if (!Rewind()) return false;
    count = 1;
    while (ReadNextLine())
        ++count;
    return true;
}

bool VOxaFileCorvelundMov::CountValues(int& count) {
    ClearFailure();
    if (!Rewind()) return Fail("the file cannot be read");
    count = 0;
    double value;
    while (count < INT_MAX && ReadDouble(value, 1.0))
        ++count;
    if (AtLineEnd()) return true;
    char token[41];
    ReadToken(token, 40);
    return Fail("value %d of the first line, \"%s\", is not a number", count + 1, token);
}

bool VOxaFileCorvelundMov::ReadValues(double* values, int count, bool fromStart) {
    if (fromStart) {
        if (!RewindToFirstLine()) return FailNoText();
    } else if (!ReadNextLine()) {
        return false;
    }
    mBadValue = -1;
    mBadText[0] = 0;
    int k = 0;
    for (; k < count && !AtLineEnd(); ++k) {
        if (ReadDouble(values[k], 1.0)) continue;
        // A text that is no number ("nan", a word) is 0 in its slot; the numbers after it keep
        // theirs.
        const char* begin = GetCursor();
        const char* end = begin;
        while (*end && *end != ' ' && *end != '\t' && *end != '\r' && *end != '\n')
            ++end;
        if (end == begin) break;
        if (mBadValue < 0) {
            mBadValue = k;
            const size_t length = std::min<size_t>((size_t)(end - begin), sizeof mBadText - 1);
            std::memcpy(mBadText, begin, length);
            mBadText[length] = 0;
        }
        values[k] = 0.0;
        SetCursor(SkipSeparators(end));
    }
    for (; k < count; ++k)
        values[k] = 0.0;
    return true;
}

// ---- reader ----------------------------------------------------------------------------------------

VOxaReaderCorvelundMov::VOxaReaderCorvelundMov(VOxaSdkManager* manager) : VOxaTextFileReader(manager) {}

namespace {

// A time of the file in ticks, false when it is beyond what a time holds.
bool TimeTicks(double seconds, int64_t& ticks) {
    const double value = seconds * (double)VTime::kOneSecond;
    if (!(std::fabs(value) < 9.0e18)) return false;
    ticks = std::llround(value);
    return true;
}

// The frame period of times running from `first` to `last` over `lines` lines, in ticks; 0
// when the times do not rise.
int64_t PeriodTicks(double first, double last, int64_t lines) {
    int64_t from = 0, to = 0;
    if (lines < 2 || !(last > first) || !TimeTicks(first, from) || !TimeTicks(last, to) || to <= from)
        return 0;
    // In doubles: times of opposite signs may lie further apart than 64 bits hold.
    const double period = ((double)to - (double)from) / (double)(lines - 1);
    return period < 9.0e18 ? (int64_t)std::llround(period) : 0;
}

}  // namespace

double VOxaReaderCorvelundMov::EstimateFrameRate(int64_t lineCount, double& firstTime) {
    firstTime = 0.0;
    if (!mFile) return 0.0;
    // The rate spans the whole time column: the first line's time to the last line's.
    double value = 0.0, last = 0.0;
    int64_t read = 0, lines = 0;
    while (lines < lineCount && mFile->ReadValues(&value, 1, lines == 0)) {
        ++lines;
        // A time that is no number gives nothing; the last time that is one ends the span.
        if (mFile->GetBadValue() == 0) continue;
        if (lines == 1) firstTime = value;
        last = value;
        read = lines;
    }
    const int64_t ticks = PeriodTicks(firstTime, last, read);
    if (ticks > 0) return VOxaMotionSupport::RateOfPeriod(VTime(ticks));
    // Times that rise by less than a tick a line give a rate the reader refuses.
    return read > 1 && last > firstTime ? (double)(read - 1) / (last - firstTime) : 0.0;
}

VStreamOptions* VOxaReaderCorvelundMov::GetReadOptions() {
    if (!mFile) {
        mError.SetLastErrorID(eFILE_NOT_OPENED);
        return nullptr;
    }
    int values = 0;
    int64_t lines = 0;
    if (!mFile->CountValues(values) || !mFile->CountLines(lines)) {
        Corrupted();
        return nullptr;
    }
    double firstTime = 0.0;
    const double rate = EstimateFrameRate(lines, firstTime);
    if (rate > 0.0 && !VOxaMotionSupport::IsUsableRate(rate)) {
        char why[160];
        std::snprintf(why, sizeof why, "the time column gives %.10g frames per second, which %s", rate,
                      VOxaMotionSupport::RateProblem(rate));
        Corrupted(why);
        return nullptr;
    }
    VStreamOptionsMotion* options = VStreamOptionsMotion::Create();
    if (!options) return nullptr;
    VTime start;
    start.SetSecondDouble(firstTime);
    options->SetStartTime(start);
    options->SetFrameCount(lines > INT_MAX ? INT_MAX : (int)lines);
    options->SetTimeMode(0, rate > 0.0 ? rate : 0.0);
    options->SetOption(VStreamOptionsMotion::eTRANSLATION, 1);
    options->SetOption(VStreamOptionsMotion::eROTATION, 1);
    options->SetOption(VStreamOptionsMotion::eSCALING, 1);
    options->SetOption(VStreamOptionsMotion::eIMPORT_AS_OPTICAL_SEGMENTS, 0);
    return options;
}

bool VOxaReaderCorvelundMov::Read(VOxaScene* scene, VStreamOptions* streamOptions) {
    if (!mFile) {
        mError.SetLastErrorID(eFILE_NOT_OPENED);
        return false;
    }
    int valuesPerLine = 0;
    if (!mFile->CountValues(valuesPerLine)) return Corrupted();
    VStreamOptionsMotion* options = VOxaMotionSupport::AsMotionOptions(streamOptions);
    if (!options) {
        mError.SetLastErrorID(eSTREAM_OPTIONS_NOT_SET);
        return false;
    }
    const bool present[3] = {VOxaMotionSupport::IsSet(options, VStreamOptionsMotion::eTRANSLATION),
                             VOxaMotionSupport::IsSet(options, VStreamOptionsMotion::eROTATION),
                             VOxaMotionSupport::IsSet(options, VStreamOptionsMotion::eSCALING)};
    const int groups = (int)present[0] + (int)present[1] + (int)present[2];
    if (groups == 0) {
        mError.SetLastError(eUNIDENTIFIED_ERROR, "No animation to import.");
        return false;
    }
    if (!scene || !scene->GetRootNode()) {
        mError.SetLastErrorID(eUNIDENTIFIED_ERROR);
        return false;
    }
    const VTime start = options->GetStartTime();
    const VTime period = options->GetFramePeriod();
    const int n = options->GetFrameCount();
    const int objects = valuesPerLine > 1 ? (valuesPerLine - 1) / (3 * groups) : 0;
    const int used = objects * 3 * groups;  // the columns after the time that become keys
    if (objects > VOxaMotionSupport::kMaxMarkers) {
        mFile->Fail("%d markers on a line, more than %d", objects, VOxaMotionSupport::kMaxMarkers);
        return Corrupted();
    }

    // Rows: the used columns of each line in single precision, as the keys keep them. Every line
    // must back its values: a file whose short lines would ask for more keys than it has bytes is
    // refused.
    const int64_t fileSize = VOxaMotionSupport::FileSize(mFileName.Buffer());
    const int64_t valueLimit = (fileSize < 0 ? 0 : fileSize) + 65536;
    std::vector<float> rows;
    rows.reserve((size_t)std::min<int64_t>((int64_t)n * used, (int64_t)VOxaMotionSupport::kKeyRoomCap * 16));
    std::vector<double> line((size_t)valuesPerLine + 1);
    std::vector<double> times;
    times.reserve((size_t)std::min<int64_t>(n, VOxaMotionSupport::kKeyRoomCap));
    int rowCount = 0;
    // The first line whose time does not come after the line before it (a time that goes back or
    // repeats), with that line, and how many lines do so.
    uint32_t lineNumber = 0, previousLine = 0, backLine = 0, backPrevious = 0;
    double backTime = 0.0, backPreviousTime = 0.0;
    int64_t backCount = 0;
    // The line with a text that is no number ("nan", a word), where, and how many lines have one.
    uint32_t badLine = 0;
    int badValue = -1;
    VString badText("");
    int64_t badCount = 0, badTimes = 0;
    bool haveTime = false;
    double previousTime = 0.0;
    for (int j = 0; j < n; ++j) {
        options->Progress("Reading MOV animation frames", (float)((double)j * 50.0 / n));
        if (!mFile->ReadValues(line.data(), valuesPerLine, j == 0)) {
            if (j == 0) return Corrupted();
            break;
        }
        if ((int64_t)(j + 1) * used > valueLimit) {
            mFile->Fail("%d lines of %d values are more than the file's %lld bytes can hold", j + 1, used,
                        (long long)fileSize);
            return Corrupted();
        }
        for (int c = 0; c < used; ++c)
            rows.push_back((float)line[(size_t)c + 1]);
        lineNumber = mFile->GetLineNumber();
        const int bad = mFile->GetBadValue();
        if (bad == 0) ++badTimes;
        if (bad >= 0 && badCount++ == 0) {
            badLine = lineNumber;
            badValue = bad;
            badText = mFile->GetBadText();
        }
        // A time that is no number is no time: the line is a frame after the line before it.
        times.push_back(valuesPerLine > 0 && bad != 0 ? line[0] : std::nan(""));
        if (j > 0 && bad != 0) {
            if (haveTime && !(times[(size_t)j] > previousTime) && backCount++ == 0) {
                backLine = lineNumber;
                backPrevious = previousLine;
                backTime = times[(size_t)j];
                backPreviousTime = previousTime;
            }
        }
        if (bad != 0) {
            haveTime = true;
            previousTime = times[(size_t)j];
            previousLine = lineNumber;
        }
        ++rowCount;
    }
    line.clear();
    line.shrink_to_fit();
    // Key times: the times the file gives, from the options' start, while the options keep the
    // period the time column gives (another period asked for spaces the frames evenly).
    std::vector<int64_t> keyTimes;
    VTime end = VOxaMotionSupport::EndTime(start, period, n);
    {
        const int64_t filePeriod = rowCount > 1 ? PeriodTicks(times[0], times.back(), rowCount) : 0;
        const bool ownPeriod =
            filePeriod > 0 && std::fabs(VOxaMotionSupport::RateOfPeriod(VTime(filePeriod)) -
                                        options->GetFrameRate()) <= 1e-9 * options->GetFrameRate();
        int64_t first = 0;
        bool usable = ownPeriod && TimeTicks(times[0], first);
        int unevenLine = 0;
        double worst = 0.0;
        if (usable) {
            keyTimes.resize((size_t)rowCount);
            int64_t previous = 0;
            for (int j = 0; j < rowCount && usable; ++j) {
                int64_t at = 0, since = 0, key = 0;
                // Times so far apart that their distance passes the 64-bit range are none to key by.
                usable = TimeTicks(times[(size_t)j], at) && !__builtin_sub_overflow(at, first, &since) &&
                         (j == 0 || since > previous) && !__builtin_add_overflow(start.Get(), since, &key);
                if (!usable) break;
                previous = since;
                keyTimes[(size_t)j] = key;
                // Steps more than a hundredth of a period off the even ones are uneven.
                const double off = std::fabs((double)previous - (double)j * (double)filePeriod);
                // The warning names the line furthest off, with its own offset.
                if (off > 0.01 * (double)filePeriod && off > worst) {
                    unevenLine = j + 1;
                    worst = off;
                }
            }
        }
        if (usable) {
            end = VTime(keyTimes.back());
        } else {
            keyTimes.clear();
        }
        if (badCount > 0) {
            char text[400];
            if (badValue == 0)
                std::snprintf(
                    text, sizeof text,
                    "Line %u's time \"%s\" is not a number (%lld lines hold a text that is no number); "
                    "its frame is read %.9g s after the frame before it.\n",
                    badLine, badText.Buffer(), (long long)badCount, period.GetSecondDouble());
            else
                std::snprintf(text, sizeof text,
                              "Line %u's value %d \"%s\" is not a number (%lld lines hold a text that is no "
                              "number); it is read as 0.\n",
                              badLine, badValue + 1, badText.Buffer(), (long long)badCount);
            mMessageText += text;
        }
        if (backCount > 0) {
            char text[400];
            std::snprintf(text, sizeof text,
                          "The frame times do not rise from line to line: line %u gives %.9g s, %s line %u's "
                          "%.9g s (%lld lines in all do not come after the line before them); the frames "
                          "are read %.9g s apart, each line one frame after the line before it.\n",
                          backLine, backTime, backTime == backPreviousTime ? "the same as" : "before",
                          backPrevious, backPreviousTime, (long long)backCount, period.GetSecondDouble());
            mMessageText += text;
        } else if (badTimes == 0 && filePeriod > 0 && (unevenLine > 0 || (ownPeriod && !usable))) {
            char text[300];
            if (usable)
                std::snprintf(text, sizeof text,
                              "The frame times are uneven (line %d is %.6g s off an even step of %.9g s); "
                              "each frame is read at the time its line gives.\n",
                              unevenLine, worst / (double)VTime::kOneSecond,
                              (double)filePeriod / (double)VTime::kOneSecond);
            else
                std::snprintf(text, sizeof text,
                              "The frame times do not rise from line to line; the frames are read %.9g s "
                              "apart.\n",
                              period.GetSecondDouble());
            mMessageText += text;
        }
    }
    times.clear();
    times.shrink_to_fit();

    VOxaSdkManager* manager = GetSdkManager();
    const VString takeName = VOxaMotionSupport::TakeName(mFileName.Buffer());
    std::vector<VOxaNode*> nodes;
    auto fail = [&]() {
        for (VOxaNode* node : nodes)
            manager->DestroyNode(node, true);
        mError.SetLastErrorID(eUNIDENTIFIED_ERROR);
        return false;
    };
    for (int i = 0; i < objects; ++i) {
        VString name("Marker");
        name += i;
        VOxaNode* node = VOxaMotionSupport::CreateMarkerNode(manager, name.Buffer());
        if (!node) return fail();
        nodes.push_back(node);
    }

    for (int i = 0; i < objects; ++i) {
        options->Progress("Loading MOV animation frames in nodes",
                          (float)(50.0 + (double)i * 50.0 / objects));
        VOxaTakeNode* take = VOxaMotionSupport::AddCurrentTake(nodes[(size_t)i], takeName.Buffer());
        if (!take) return fail();
        VFCurve* curves[3][3] = {
            {take->GetTranslationX(), take->GetTranslationY(), take->GetTranslationZ()},
            {take->GetEulerRotationX(), take->GetEulerRotationY(), take->GetEulerRotationZ()},
            {take->GetScaleX(), take->GetScaleY(), take->GetScaleZ()}};
        int column = i * 3 * groups;
        for (int g = 0; g < 3; ++g) {
            if (!present[g]) continue;
            for (int a = 0; a < 3; ++a) {
                VFCurve* curve = curves[g][a];
                if (!curve) return fail();
                if (!curve->ResizeKeyBuffer(rowCount)) throw std::bad_alloc();
                curve->KeyModifyBegin();
                VTime time = start;
                const float* value = rows.data() + column + a;
                for (int j = 0; j < rowCount; ++j, time += period, value += used)
                    VOxaMotionSupport::SetCubicKey(
                        curve, j, keyTimes.empty() ? time : VTime(keyTimes[(size_t)j]), *value);
                curve->KeyModifyEnd();
            }
            column += 3;
        }
        ApplyJointImportFilters(present[0] ? curves[0] : nullptr, present[1] ? curves[1] : nullptr);
        if (present[2]) VOxaMotionSupport::ReduceConstantKeys(curves[2], 3);
    }
    rows.clear();
    rows.shrink_to_fit();

    VOxaNode* reference = VOxaMotionSupport::CreateReferenceNode(
        manager, "MOV", VOxaMotionSupport::IsSet(options, VStreamOptionsMotion::eIMPORT_AS_OPTICAL_SEGMENTS));
    if (!reference) return fail();
    for (VOxaNode* node : nodes)
        reference->AddChild(node);
    if (!scene->GetRootNode()->AddChild(reference)) {
        nodes.clear();
        manager->DestroyNode(reference, true);
        mError.SetLastErrorID(eUNIDENTIFIED_ERROR);
        return false;
    }
    VOxaMotionSupport::FinishTake(scene, takeName.Buffer(), start, end, options->GetTimeMode());
    return true;
}

// ---- writer ----------------------------------------------------------------------------------------

VOxaWriterCorvelundMov::VOxaWriterCorvelundMov(VOxaSdkManager* manager) : VOxaTextFileWriter(manager) {}

VStreamOptions* VOxaWriterCorvelundMov::GetWriteOptions() {
    VStreamOptionsMotion* options = VStreamOptionsMotion::Create();
    if (!options) return nullptr;
    options->SetOption(VStreamOptionsMotion::eTRANSLATION, 1);
    options->SetOption(VStreamOptionsMotion::eROTATION, 1);
    options->SetOption(VStreamOptionsMotion::eSCALING, 1);
    options->SetOption(VStreamOptionsMotion::eEXPORT_FROM_GLOBAL_POSITION, 0);
    return options;
}

bool VOxaWriterCorvelundMov::Write(VOxaScene* scene, VStreamOptions* streamOptions) {
    VStreamOptionsMotion* options = BeginWrite(streamOptions);
    if (!options) return false;
    const bool present[3] = {VOxaMotionSupport::IsSet(options, VStreamOptionsMotion::eTRANSLATION),
                             VOxaMotionSupport::IsSet(options, VStreamOptionsMotion::eROTATION),
                             VOxaMotionSupport::IsSet(options, VStreamOptionsMotion::eSCALING)};
    if (!present[0] && !present[1] && !present[2]) {
        mFile->Discard();
        mError.SetLastError(eFILE_NOT_CREATED, "No animation to export.");
        return false;
    }
    VOxaNode* root = VOxaMotionSupport::FindWriteRoot(*this, scene, options);
    if (!root) return DropWrite(eUNIDENTIFIED_ERROR);
    std::vector<VOxaNode*> objects;
    VOxaMotionSupport::CollectMarkedNodes(root, objects);
    if (const char* refusal = VOxaMotionSupport::MarkerRefusal(objects.size(), options)) {
        mFile->Discard();
        return VOxaMotionSupport::Refuse(mError, refusal, scene);
    }
    const int n = options->GetFrameCount();
    VTime time = options->GetStartTime();
    const VTime period = options->GetFramePeriod();
    // A marker occluded in every frame has no position to give, and the format has no gaps: it
    // is left out rather than written at the origin as if seen there.
    VString notes("");
    {
        const std::vector<bool> seen = VOxaMotionSupport::SeenNodes(objects, time, period, n);
        std::vector<VOxaNode*> kept;
        kept.reserve(objects.size());
        for (size_t k = 0; k < objects.size(); ++k) {
            if (seen[k])
                kept.push_back(objects[k]);
            else
                notes += VOxaMotionSupport::NeverSeenWarning(objects[k], "left out");
        }
        if (kept.empty()) {
            mFile->Discard();
            return VOxaMotionSupport::Refuse(mError,
                                             "every marker is occluded in every frame written; "
                                             "there is nothing to write");
        }
        objects.swap(kept);
    }
    VOxaMotionSampler sampler(root);
    bool ok = true;
    for (int f = 0; f < n && ok; ++f, time += period) {
        if (f % 64 == 0) options->Progress("Writing MOV animation frames", (float)((double)f * 100.0 / n));
        sampler.Evaluate(time);
        mFile->SetNumberSubject(nullptr, 0);
        mFile->WriteShortest(time.GetSecondDouble());
        mFile->WriteChar('\t');
        for (VOxaNode* object : objects) {
            mFile->SetNumberSubject(object->GetNameWithoutPrefix(), f + 1);
            const VgeAMatrix& m = sampler.GlobalMatrix(object);
            for (int g = 0; g < 3; ++g) {
                if (!present[g]) continue;
                const VgeTVector v = g == 0 ? m.GetT() : g == 1 ? m.GetR() : m.GetS();
                for (int a = 0; a < 3; ++a) {
                    mFile->WriteShortest(v[a]);
                    mFile->WriteChar('\t');
                }
            }
        }
        ok = mFile->WriteChar('\n') && !mFile->WriteFailed();
    }
    if (!EndWrite(ok)) return false;
    mMessageText += notes;
    if (n == 1) mMessageText += VOxaMotionSupport::OneFrameRateWarning(options, "MOV");
    return true;
}

VOxaReader* VOxaCreateMovReader(VOxaSdkManager* manager) {
    return new VOxaReaderCorvelundMov(manager);
}

VOxaWriter* VOxaCreateMovWriter(VOxaSdkManager* manager) {
    return new VOxaWriterCorvelundMov(manager);
}
