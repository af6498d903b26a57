#include "formats/motion/brd/voxa_ascension.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <unordered_map>

#include "animation/anim_import_filters.h"
#include "animation/fcurve.h"
#include "base/vge_euler.h"
#include "base/vge_matrix.h"
#include "formats/motion/voxa_motion_base.h"
#include "objects/vproperty.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"

namespace {

// A frame span wider than this many frames per record is not backed by the file.
constexpr int64_t kFramesPerRecord = 1000;

}  // namespace

// ---- file ----------------------------------------------------------------------------------------

VOxaFileAscension::VOxaFileAscension() : VTextFile("BRD", " \t\r\n", nullptr, true, false) {
    // One record a line: lines that end in a carriage return alone must not run together.
    SetCrEndsLines(true);
}

bool VOxaFileAscension::ReadRecord(int& frame, int& sensor, VgeTVector& position, double quaternion[4],
                                   VTime& time, bool fromStart) {
    mNoLine = false;
    if (fromStart ? !RewindToFirstLine() : !ReadNextLine()) {
        mNoLine = true;
        return false;
    }
    char letter = 0;
    double p[3];
    double q[4];
    double seconds = 0.0, microseconds = 0.0;
    const char* at = GetCursor();
    if (!at || !(std::isdigit((unsigned char)*at) || *at == '-' || *at == '+' || *at == '.'))
        return Fail("a record starts with its frame number");
    if (!ReadFrameNumber(frame)) return false;
    if (!ReadInt(sensor)) return Fail("the sensor number is missing after frame %d", frame);
    if (!ReadChar(letter) || letter != 'P') return Fail("\"P\" expected after the sensor number");
    if (!ReadVector3(p, 1.0)) return Fail("three position numbers expected after \"P\"");
    if (!ReadChar(letter) || letter != 'Q') return Fail("\"Q\" expected after the position");
    SetCursor(SkipSeparators(GetCursor()));
    for (double& value : q)
        if (!ReadDouble(value, 1.0)) return Fail("four quaternion numbers expected after \"Q\"");
    if (!ReadDouble(seconds, 1.0) || !ReadDouble(microseconds, 1.0))
        return Fail("the time (seconds and microseconds) is missing after the quaternion");
    position.Set(p[0], p[1], p[2], 0.0);
    for (int k = 0; k < 4; ++k)
        quaternion[k] = q[k];
    // Divided rather than multiplied by 1e-6, so that whole microseconds give the nearest double.
    time.SetSecondDouble(seconds + microseconds / 1.0e6);
    return true;
}

namespace {

// The sensor number a read file gave a node: a second write numbers its sensors as the file did,
// sensors left out of it (no record) left out of the numbers too.
constexpr const char* kSensorProperty = "BRD Sensor";

}  // namespace

bool VOxaFileAscension::WriteRecord(int frame, int sensor, const VgeTVector& position,
                                    const double quaternion[4], VTime time) {
    // Whole seconds and whole microseconds within the second (0 to 999999, rounded), whatever the
    // sign of the time.
    int64_t seconds = time.Get() / VTime::kOneSecond;
    int64_t rest = time.Get() - seconds * VTime::kOneSecond;
    if (rest < 0) {
        --seconds;
        rest += VTime::kOneSecond;
    }
    int64_t microseconds = (rest * 1000000 + VTime::kOneSecond / 2) / VTime::kOneSecond;
    if (microseconds >= 1000000) {
        ++seconds;
        microseconds -= 1000000;
    }
    WriteInt(frame);
    WriteChar('\t');
    WriteInt(sensor);
    WriteText("\tP");
    for (int k = 0; k < 3; ++k) {
        WriteChar('\t');
        WriteShortest(position[k]);
    }
    WriteText("\tQ");
    for (int k = 0; k < 4; ++k) {
        WriteChar('\t');
        WriteShortest(quaternion[k]);
    }
    WriteChar('\t');
    WriteInt(seconds);
    WriteChar('\t');
    WriteInt(microseconds);
    return WriteChar('\n');
}

VgeTVector VOxaQuaternionToEulerDegrees(const double quaternion[4]) {
    const double x = quaternion[0], y = quaternion[1], z = quaternion[2], w = quaternion[3];
    const double n = x * x + y * y + z * z + w * w;
    const double s = (n == 0.0 || std::isnan(n)) ? n : 2.0 / n;
    const double xs = x * s, ys = y * s, zs = z * s;
    const double wx = w * xs, wy = w * ys, wz = w * zs;
    const double xx = x * xs, xy = x * ys, xz = x * zs;
    const double yy = y * ys, yz = y * zs, zz = z * zs;
    double m[4][4] = {{1.0 - (yy + zz), xy + wz, xz - wy, 0.0},
                      {xy - wz, 1.0 - (xx + zz), yz + wx, 0.0},
                      {xz + wy, yz - wx, 1.0 - (xx + yy), 0.0},
                      {0.0, 0.0, 0.0, 1.0}};
    double angles[3];
    VgeMatrixToEulerXYZ(angles, m);
    return VgeTVector(angles[0], angles[1], angles[2], 0.0);
}

// ---- reader ----------------------------------------------------------------------------------------

VOxaReaderAscension::VOxaReaderAscension(VOxaSdkManager* manager) : VOxaTextFileReader(manager) {}

void VOxaReaderAscension::ClearScan() {
    mTracks.clear();
    mTracks.shrink_to_fit();
    mScanned = false;
    mStartTime = VTime(0);
    mFrameCount = 0;
    mFrameRate = 0.0;
    mFirstFrame = mLastFrame = 0;
    mFirstTime = mLastTime = VTime(0);
    mScanFailure = "";
    mTimeWarning = "";
}

bool VOxaReaderAscension::Scan() {
    if (mScanned) return true;
    ClearScan();
    if (!mFile) return false;

    // Records are gathered per sensor in file order and sorted once at the end, so a file in any
    // order (reverse order included) scans in n log n.
    std::unordered_map<int, size_t> trackOfSensor;
    int64_t recordCount = 0;
    // Each record's frame, time and line, to check that the times rise from frame to frame.
    struct FrameTime {
        int mFrame;
        uint32_t mLine;
        VTime mTime;
    };
    std::vector<FrameTime> frameTimes;
    bool first = true;
    int frame = 0, sensor = 0;
    VgeTVector position;
    double quaternion[4];
    VTime time;
    for (;;) {
        if (!mFile->ReadRecord(frame, sensor, position, quaternion, time, first)) {
            if (mFile->NoLine()) break;
            ClearScan();
            mScanFailure = mFile->GetFailure();
            return false;
        }
        auto found = trackOfSensor.find(sensor);
        size_t index;
        if (found == trackOfSensor.end()) {
            index = mTracks.size();
            trackOfSensor.emplace(sensor, index);
            mTracks.push_back(Track{sensor, {}});
        } else {
            index = found->second;
        }
        Record record{frame,
                      {position[0], position[1], position[2]},
                      {quaternion[0], quaternion[1], quaternion[2], quaternion[3]},
                      time};
        mTracks[index].mRecords.push_back(record);
        frameTimes.push_back(FrameTime{frame, mFile->GetLineNumber(), time});
        if (first || frame < mFirstFrame) {
            mFirstFrame = frame;
            mFirstTime = time;
        }
        if (first || frame > mLastFrame) {
            mLastFrame = frame;
            mLastTime = time;
        }
        first = false;
        ++recordCount;
    }

    std::sort(mTracks.begin(), mTracks.end(),
              [](const Track& a, const Track& b) { return a.mSensor < b.mSensor; });
    for (Track& track : mTracks) {
        std::vector<Record>& records = track.mRecords;
        // Stable: among records of one frame the file order stays, and the last one read wins.
        std::stable_sort(records.begin(), records.end(),
                         [](const Record& a, const Record& b) { return a.mFrame < b.mFrame; });
        size_t kept = 0;
        for (size_t k = 0; k < records.size(); ++k) {
            if (kept > 0 && records[kept - 1].mFrame == records[k].mFrame)
                records[kept - 1] = records[k];
            else
                records[kept++] = records[k];
        }
        records.resize(kept);
        records.shrink_to_fit();
    }

    const int64_t span = (int64_t)mLastFrame - mFirstFrame + 1;
    const int64_t sensors = mTracks.empty() ? 1 : (int64_t)mTracks.size();
    const int64_t records = recordCount > 0 ? recordCount : 1;
    if (sensors > VOxaMotionSupport::kMaxMarkers) {
        char why[160];
        std::snprintf(why, sizeof why, "%lld sensors, more than %d", (long long)sensors,
                      VOxaMotionSupport::kMaxMarkers);
        ClearScan();
        mScanFailure = why;
        return false;
    }
    // Every sensor is keyed at every frame of the span: the keys must be backed by records.
    if (span > INT_MAX || span * sensors > kFramesPerRecord * records) {
        char why[160];
        std::snprintf(why, sizeof why, "frames %d to %d of %lld sensors are more than %lld records can back",
                      mFirstFrame, mLastFrame, (long long)sensors, (long long)records);
        ClearScan();
        mScanFailure = why;
        return false;
    }
    mFrameCount = (int)span;
    const double duration = (mLastTime - mFirstTime).GetSecondDouble();
    double rate = 0.0;
    if (duration != 0.0 && mFrameCount > 1) rate = (mFrameCount - 1) / duration;
    // Record times are whole microseconds: the rate is taken in its fewest digits within what
    // that rounding allows, so that a take written at 59.94 frames per second reads back at 59.94.
    if (rate > 0.0) rate = VOxaMotionSupport::TidyRate(rate, rate * 1.0e-6 / std::fabs(duration));
    if (rate > 0.0 && !VOxaMotionSupport::IsUsableRate(rate)) {
        char why[160];
        std::snprintf(why, sizeof why, "the record times give %.10g frames per second, which %s", rate,
                      VOxaMotionSupport::RateProblem(rate));
        ClearScan();
        mScanFailure = why;
        return false;
    }
    if (!(rate > 0.0)) rate = VTime::GetFrameRate(0);
    mFrameRate = rate;
    // The time of a frame is its first record's in the file; each frame's must come after the
    // frame before it, or the frames are read at the rate only.
    std::stable_sort(frameTimes.begin(), frameTimes.end(),
                     [](const FrameTime& a, const FrameTime& b) { return a.mFrame < b.mFrame; });
    const FrameTime* previous = nullptr;
    const FrameTime* firstBack = nullptr;
    const FrameTime* firstBackBefore = nullptr;
    int64_t backCount = 0;
    for (const FrameTime& at : frameTimes) {
        if (previous && at.mFrame == previous->mFrame) continue;
        if (previous && !(at.mTime > previous->mTime) && backCount++ == 0) {
            firstBack = &at;
            firstBackBefore = previous;
        }
        previous = &at;
    }
    if (backCount > 0) {
        char text[400];
        std::snprintf(text, sizeof text,
                      "The record times do not rise from frame to frame: frame %d (line %u) gives %.9g s, %s "
                      "frame %d (line %u) at %.9g s (%lld frames in all do not come after the frame before "
                      "them); the frames are read %.9g s apart.\n",
                      firstBack->mFrame, firstBack->mLine, firstBack->mTime.GetSecondDouble(),
                      firstBack->mTime == firstBackBefore->mTime ? "the same as" : "before",
                      firstBackBefore->mFrame, firstBackBefore->mLine,
                      firstBackBefore->mTime.GetSecondDouble(), (long long)backCount, 1.0 / rate);
        mTimeWarning = text;
    }
    // The take starts at the time of its first frame's record, as the writer writes it.
    mStartTime = mFirstTime;
    mScanned = true;
    return true;
}

VStreamOptions* VOxaReaderAscension::GetReadOptions() {
    if (!mFile) {
        mError.SetLastErrorID(eFILE_NOT_OPENED);
        return nullptr;
    }
    if (!Scan()) {
        Corrupted(mScanFailure.Buffer());
        return nullptr;
    }
    VStreamOptionsMotion* options = VStreamOptionsMotion::Create();
    if (!options) return nullptr;
    options->SetStartTime(mStartTime);
    options->SetFrameCount(mFrameCount);
    options->SetTimeMode(0, mFrameRate);
    options->SetOption(VStreamOptionsMotion::eIMPORT_AS_OPTICAL_SEGMENTS, 0);
    options->SetOption(VStreamOptionsMotion::eIMPORT_SET_OCCLUDED_TO_LAST_VALID_POSITION, 1);
    return options;
}

bool VOxaReaderAscension::Read(VOxaScene* scene, VStreamOptions* streamOptions) {
    if (!mFile) {
        mError.SetLastErrorID(eFILE_NOT_OPENED);
        return false;
    }
    if (!Scan()) return Corrupted(mScanFailure.Buffer());
    VStreamOptionsMotion* options = VOxaMotionSupport::ReadTarget(mError, streamOptions, scene);
    if (!options) return false;
    if (!mTimeWarning.IsEmpty() && mMessageText.Find(mTimeWarning.Buffer()) < 0) mMessageText += mTimeWarning;
    VOxaSdkManager* manager = GetSdkManager();
    const VString takeName = VOxaMotionSupport::TakeName(mFileName.Buffer());
    const VTime start = options->GetStartTime();
    const VTime period = options->GetFramePeriod();
    const int n = options->GetFrameCount();
    const bool fill =
        VOxaMotionSupport::IsSet(options, VStreamOptionsMotion::eIMPORT_SET_OCCLUDED_TO_LAST_VALID_POSITION);

    std::vector<VOxaNode*> nodes;
    nodes.reserve(mTracks.size());
    auto fail = [&]() {
        for (VOxaNode* node : nodes)
            manager->DestroyNode(node, true);
        mError.SetLastErrorID(eUNIDENTIFIED_ERROR);
        return false;
    };
    for (const Track& track : mTracks) {
        VString name("Marker");
        name += track.mSensor;
        VOxaNode* node = VOxaMotionSupport::CreateMarkerNode(manager, name.Buffer());
        if (!node) return fail();
        nodes.push_back(node);
        if (VObject* block = node->GetNodeProperties()) {
            VProperty* number = block->FindProperty(kSensorProperty);
            if (!number) number = block->CreateDynamicProperty(kSensorProperty, eValueNumber, nullptr);
            if (!number) return fail();
            number->SetDouble((double)track.mSensor);
        }
    }

    const int sensorCount = (int)nodes.size();
    for (int i = 0; i < sensorCount; ++i) {
        options->Progress("Loading BRD animation frames in nodes", (float)((double)i * 100.0 / sensorCount));
        VOxaTakeNode* take = VOxaMotionSupport::AddCurrentTake(nodes[(size_t)i], takeName.Buffer());
        if (!take) return fail();
        VFCurve* translation[3] = {take->GetTranslationX(), take->GetTranslationY(), take->GetTranslationZ()};
        VFCurve* rotation[3] = {take->GetEulerRotationX(), take->GetEulerRotationY(),
                                take->GetEulerRotationZ()};
        VFCurve* occlusion = take->GetOcclusion();
        VFCurve* all[7] = {translation[0], translation[1], translation[2], rotation[0],
                           rotation[1],    rotation[2],    occlusion};
        for (VFCurve* curve : all) {
            if (!curve) return fail();
            curve->KeyModifyBegin();
        }
        int64_t room = 0;
        const std::vector<Record>& records = mTracks[(size_t)i].mRecords;
        size_t cursor = 0;
        VgeTVector lastPosition(0.0, 0.0, 0.0, 0.0);
        VgeTVector lastRotation(0.0, 0.0, 0.0, 0.0);
        if (fill) {
            // The frames before the sensor is first seen hold its first record, as later gaps hold
            // the last one.
            for (const Record& record : records) {
                if (record.mFrame < (int64_t)mFirstFrame) continue;
                if (record.mFrame < (int64_t)mFirstFrame + n) {
                    lastPosition.Set(record.mPosition[0], record.mPosition[1], record.mPosition[2], 0.0);
                    lastRotation = VOxaQuaternionToEulerDegrees(record.mQuaternion);
                }
                break;
            }
        }
        VTime time = start;
        for (int j = 0; j < n; ++j, time += period) {
            int64_t keyRoom = room;
            for (VFCurve* curve : all) {
                keyRoom = room;
                VOxaMotionSupport::EnsureKeyRoom(curve, j, keyRoom, n);
            }
            room = keyRoom;
            const int64_t frame = (int64_t)mFirstFrame + j;
            while (cursor < records.size() && records[cursor].mFrame < frame)
                ++cursor;
            double occluded = 1.0;
            if (cursor < records.size() && records[cursor].mFrame == frame) {
                const Record& record = records[cursor];
                lastPosition.Set(record.mPosition[0], record.mPosition[1], record.mPosition[2], 0.0);
                lastRotation = VOxaQuaternionToEulerDegrees(record.mQuaternion);
                occluded = 0.0;
            } else if (!fill) {
                lastPosition.Set(0.0, 0.0, 0.0, 0.0);
                lastRotation.Set(0.0, 0.0, 0.0, 0.0);
            }
            for (int k = 0; k < 3; ++k) {
                VOxaMotionSupport::SetCubicKey(translation[k], j, time, lastPosition[k]);
                VOxaMotionSupport::SetCubicKey(rotation[k], j, time, lastRotation[k]);
            }
            VOxaMotionSupport::SetConstantKey(occlusion, j, time, occluded);
        }
        for (VFCurve* curve : all) {
            curve->KeyModifyEnd();
            curve->KeyShrink();  // the room may have grown past the keys
        }
        ApplyJointImportFilters(translation, rotation);
        VOxaMotionSupport::ReduceConstantKeys(&occlusion, 1);
    }

    VOxaNode* reference = VOxaMotionSupport::CreateReferenceNode(
        manager, "BRD", VOxaMotionSupport::IsSet(options, VStreamOptionsMotion::eIMPORT_AS_OPTICAL_SEGMENTS));
    if (!reference) return fail();
    for (VOxaNode* node : nodes)
        reference->AddChild(node);
    if (!scene->GetRootNode()->AddChild(reference)) {
        nodes.clear();
        manager->DestroyNode(reference, true);
        mError.SetLastErrorID(eUNIDENTIFIED_ERROR);
        return false;
    }
    VOxaMotionSupport::FinishTake(scene, takeName.Buffer(), start,
                                  VOxaMotionSupport::EndTime(start, period, n), options->GetTimeMode());
    return true;
}

// ---- writer ----------------------------------------------------------------------------------------

VOxaWriterAscension::VOxaWriterAscension(VOxaSdkManager* manager) : VOxaTextFileWriter(manager) {}

VStreamOptions* VOxaWriterAscension::GetWriteOptions() {
    VStreamOptionsMotion* options = VStreamOptionsMotion::Create();
    if (!options) return nullptr;
    options->SetOption(VStreamOptionsMotion::eEXPORT_GAPS_AS_VALID_DATA, 1);
    options->SetOption(VStreamOptionsMotion::eEXPORT_FROM_GLOBAL_POSITION, 0);
    return options;
}

bool VOxaWriterAscension::Write(VOxaScene* scene, VStreamOptions* streamOptions) {
    VStreamOptionsMotion* options = BeginWrite(streamOptions);
    if (!options) return false;
    VOxaNode* root = VOxaMotionSupport::FindWriteRoot(*this, scene, options);
    if (!root) return DropWrite(eUNIDENTIFIED_ERROR);
    const int n = options->GetFrameCount();
    VTime time = options->GetStartTime();
    const VTime period = options->GetFramePeriod();
    const bool honourOcclusion = options->GetOption(VStreamOptionsMotion::eEXPORT_GAPS_AS_VALID_DATA) == 0;

    std::vector<VOxaNode*> sensors;
    VOxaMotionSupport::CollectMarkedNodes(root, sensors);
    if (const char* refusal = VOxaMotionSupport::MarkerRefusal(sensors.size(), options)) {
        mFile->Discard();
        return VOxaMotionSupport::Refuse(mError, refusal, scene);
    }
    // The numbers a read file gave the sensors, where each has one and none repeats; else their
    // order.
    std::vector<int> numbers(sensors.size());
    {
        bool kept = true;
        std::unordered_map<int, size_t> taken;
        for (size_t k = 0; k < sensors.size() && kept; ++k) {
            const VObject* block = sensors[k]->GetNodeProperties();
            const VProperty* number = block ? block->FindProperty(kSensorProperty) : nullptr;
            double value = -1.0;
            kept = number != nullptr && number->GetValue(&value) >= 1 && value >= 0.0 && value <= INT_MAX &&
                   value == std::floor(value) && taken.emplace((int)value, k).second;
            if (kept) numbers[k] = (int)value;
        }
        if (!kept)
            for (size_t k = 0; k < sensors.size(); ++k)
                numbers[k] = (int)k;
    }
    // A sensor occluded in every frame has no place to give: it gets no record (its gap), also
    // when gaps are written as valid data, rather than records at the origin as if seen there.
    const std::vector<bool> seen = VOxaMotionSupport::SeenNodes(sensors, time, period, n, true);
    VOxaMotionSampler sampler(root);
    std::vector<VFCurveSampler> occlusion(sensors.size());
    for (size_t k = 0; k < sensors.size(); ++k)
        if (VOxaTakeNode* take = sensors[k]->GetCurrentTakeNode()) occlusion[k].Reset(take->GetOcclusion());

    bool ok = true;
    // Records written per sensor; records left out because the file cannot hold their values,
    // with the first of them.
    std::vector<int64_t> written(sensors.size(), 0);
    // The first and last frames with a record: the reader's frames run between them.
    int firstWritten = -1, lastWritten = -1;
    int64_t unwritable = 0;
    char firstUnwritable[300] = "";
    for (int f = 0; f < n && ok; ++f, time += period) {
        if (f % 64 == 0) options->Progress("Writing BRD animation frames", (float)((double)f * 100.0 / n));
        sampler.Evaluate(time);
        for (size_t k = 0; k < sensors.size() && ok; ++k) {
            if (!seen[k]) continue;
            if (honourOcclusion && occlusion[k].GetCurve() && occlusion[k].Evaluate(time) >= 0.5f) continue;
            const VgeAMatrix& m = sampler.GlobalMatrix(sensors[k]);
            const VgeVector4 q = m.GetQ();
            const double quaternion[4] = {q[0], q[1], q[2], q[3]};
            // A sensor without a place the file can hold has no record at this frame: a gap.
            if (!VOxaMotionSupport::IsWritable(m.GetT()) || !VOxaMotionSupport::IsWritable(quaternion[0]) ||
                !VOxaMotionSupport::IsWritable(quaternion[1]) ||
                !VOxaMotionSupport::IsWritable(quaternion[2]) ||
                !VOxaMotionSupport::IsWritable(quaternion[3])) {
                if (unwritable++ == 0)
                    std::snprintf(firstUnwritable, sizeof firstUnwritable, "\"%.200s\" at frame %d",
                                  sensors[k]->GetNameWithoutPrefix(), f + 1);
                continue;
            }
            ok = mFile->WriteRecord(f, numbers[k], m.GetT(), quaternion, time);
            ++written[k];
            if (firstWritten < 0) firstWritten = f;
            lastWritten = f;
        }
    }
    if (!ok) return EndWrite(ok);
    // A sensor without a record is not in the file at all: its reader would not know it.
    VString unseen("");
    int unseenCount = 0;
    for (size_t k = 0; k < sensors.size(); ++k) {
        if (written[k] > 0) continue;
        if (unseenCount++ > 0) unseen += ", ";
        unseen += "\"";
        unseen += sensors[k]->GetNameWithoutPrefix();
        unseen += "\"";
    }
    if (unseenCount == (int)sensors.size()) {
        mFile->Discard();
        VString text(
            "No sensor has a frame the BRD file can hold (each is occluded, or its values lie beyond "
            "+-1e30, in every frame): ");
        text += unseen;
        text += "; the file is not written.";
        return VOxaMotionSupport::Refuse(mError, text.Buffer());
    }
    if (!EndWrite(ok)) return false;
    if (unwritable > 0) {
        char text[500];
        std::snprintf(
            text, sizeof text,
            "%lld sensor records hold values beyond +-1e30 or not a number (the first %s); they are "
            "left out, as gaps.\n",
            (long long)unwritable, firstUnwritable);
        mMessageText += text;
    }
    if (unseenCount > 0) {
        VString text("The BRD file holds no record of ");
        text += unseen;
        text += " (occluded, or beyond +-1e30, in every frame): the sensor is left out of the file.\n";
        mMessageText += text;
    }
    if (firstWritten == lastWritten) mMessageText += VOxaMotionSupport::OneFrameRateWarning(options, "BRD");
    return true;
}

VOxaReader* VOxaCreateBrdReader(VOxaSdkManager* manager) {
    return new VOxaReaderAscension(manager);
}

VOxaWriter* VOxaCreateBrdWriter(VOxaSdkManager* manager) {
    return new VOxaWriterAscension(manager);
}
