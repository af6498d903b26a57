#include "formats/motion/vpm/voxa_puppeteer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "animation/anim_import_filters.h"
#include "animation/fcurve.h"
#include "base/vallocation_hook.h"
#include "base/vge_matrix.h"
#include "base/vpath.h"
#include "formats/motion/voxa_motion_base.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"

namespace {

constexpr double kInchesToCentimetres = 2.54;
constexpr double kCentimetresToInches = 0.3937007874015748;

}  // namespace

// ---- file ----------------------------------------------------------------------------------------

VOxaFilePuppeteer::VOxaFilePuppeteer() : VTextFile("VPM", " \t\r\n", nullptr, true, false) {}

bool VOxaFilePuppeteer::ReadSegmentHeader(VString& name, int& frameCount, double& frameTime, bool fromStart) {
    mHeaderCut = eNOT_CUT;
    if (fromStart) {
        ClearFailure();
        if (!RewindToFirstLine()) return FailNoText();
    } else if (!ReadNextLine()) {
        return Fail("the file ends where a segment was expected");
    }
    // The segment line is the file's last and has no line end: the file may end inside it.
    const bool lastLine = !LineEnded();
    if (ReadKeyword(mKeywords) != 0) {
        if (lastLine) mHeaderCut = eCUT_BEFORE_NAME;
        return Fail("\"Segment:\" expected");
    }
    if (!ReadString(name) || name.IsEmpty()) {
        if (lastLine) mHeaderCut = eCUT_BEFORE_NAME;
        return Fail("a segment without a name");
    }
    // The name is whole when its line ends; a file cut inside the header after it still names
    // the segment.
    const CutHeader after = lastLine ? eCUT_BEFORE_NAME : eCUT_AFTER_NAME;
    auto fail = [&](const char* what) {
        if (IsAtEnd() || !LineEnded()) {
            mHeaderCut = after;
            return Fail("the file ends in the header of segment \"%.40s\"", name.Buffer());
        }
        return Fail("%s in segment \"%.40s\"", what, name.Buffer());
    };
    if (!ReadNextLine()) return fail("");
    if (ReadKeyword(mKeywords) != 1) return fail("\"Frames:\" expected");
    if (!ReadInt(frameCount)) return fail("\"Frames:\" without a whole number");
    if (!ReadNextLine()) return fail("");
    if (ReadKeyword(mKeywords) != 2) return fail("\"Frame Time:\" expected");
    if (!ReadDouble(frameTime, 1.0)) return fail("\"Frame Time:\" without a number");
    if (!LineEnded()) mHeaderCut = after;  // the last number may be cut short
    if (frameCount < 0) return Fail("segment \"%.40s\" has %d frames", name.Buffer(), frameCount);
    if (!(frameTime > 0.0))
        return Fail("segment \"%.40s\" has a frame time of %g seconds", name.Buffer(), frameTime);
    mHeaderCut = eNOT_CUT;
    return true;
}

bool VOxaFilePuppeteer::SkipColumnHeader() {
    // The titles are not checked; only the two lines must be there. Missing, the file was cut in
    // the header. The units of the three translation columns are read (inches when a column
    // names no length unit, with a warning).
    mHeaderCut = eCUT_AFTER_NAME;
    mUnitWarning = "";
    if (!ReadNextLine()) return Fail("the file ends before the column titles");
    if (!ReadNextLine()) return Fail("the file ends before the column units");
    mHeaderCut = eNOT_CUT;
    const char* at = GetCursor();
    for (int a = 0; a < 3; ++a) {
        while (*at == ' ' || *at == '\t')
            ++at;
        const char* end = at;
        while (*end && *end != ' ' && *end != '\t' && *end != '\r' && *end != '\n')
            ++end;
        double centimetres = kInchesToCentimetres;
        if (VOxaMotionSupport::FindLengthUnit(at, (size_t)(end - at), centimetres) < 0 &&
            mUnitWarning.IsEmpty()) {
            char text[200];
            std::snprintf(text, sizeof text,
                          "the units \"%.40s\" of translation column %d (line %u) are no length unit; they "
                          "are read as inches",
                          VString(at, (int)(end - at)).Buffer(), a + 1, GetLineNumber());
            mUnitWarning = text;
        }
        mTranslationCentimetres[a] = centimetres;
        at = end;
    }
    return true;
}

bool VOxaFilePuppeteer::ReadFrame(VgeTVector& translation, VgeTVector& rotation, VgeTVector& scaling) {
    double t[3], r[3], s[3];
    if (!ReadNextLine()) return false;
    if (!ReadVector3(t, 1.0) || !ReadVector3(r, 1.0) || !ReadVector3(s, 1.0))
        return Fail("nine numbers expected (translation, rotation, scaling)");
    translation.Set(t[0] * mTranslationCentimetres[0], t[1] * mTranslationCentimetres[1],
                    t[2] * mTranslationCentimetres[2], 0.0);
    rotation.Set(r[0], r[1], r[2], 0.0);
    scaling.Set(1.0, 1.0, 1.0, 0.0);
    return true;
}

bool VOxaFilePuppeteer::WriteSegmentHeader(const char* name, int frameCount, double frameTime) {
    WriteText("Segment:\t");
    WriteText(name);
    WriteText("\nFrames:\t");
    WriteInt(frameCount);
    WriteText("\nFrame Time:\t");
    WriteShortest(frameTime);
    return WriteChar('\n');
}

bool VOxaFilePuppeteer::WriteColumnHeader() {
    WriteText("XTRAN\tYTRAN\tZTRAN\tXROT\tYROT\tZROT\tXSCALE\tYSCALE\tZSCALE\n");
    return WriteText("INCHES\tINCHES\tINCHES\tDEGREES\tDEGREES\tDEGREES\tPERCENT\tPERCENT\tPERCENT\n");
}

bool VOxaFilePuppeteer::WriteFrame(const VgeTVector& translation, const VgeTVector& rotation,
                                   const VgeTVector& scaling) {
    for (int a = 0; a < 3; ++a) {
        WriteShortest(translation[a] * kCentimetresToInches);
        WriteChar('\t');
    }
    for (int a = 0; a < 3; ++a) {
        WriteShortest(rotation[a]);
        WriteChar('\t');
    }
    for (int a = 0; a < 3; ++a) {
        WriteShortest(scaling[a] * 100.0);
        WriteChar(a < 2 ? '\t' : '\n');
    }
    return !WriteFailed();
}

// ---- reader ----------------------------------------------------------------------------------------

VOxaReaderPuppeteer::VOxaReaderPuppeteer(VOxaSdkManager* manager) : VOxaTextFileReader(manager) {}

VStreamOptions* VOxaReaderPuppeteer::GetReadOptions() {
    if (!mFile) {
        mError.SetLastErrorID(eFILE_NOT_OPENED);
        return nullptr;
    }
    VString name;
    int frames = 0;
    double frameTime = 0.0;
    // A frame time under one tick would put every key at one time.
    if (!mFile->ReadSegmentHeader(name, frames, frameTime, true)) {
        Corrupted();
        return nullptr;
    }
    // The rate whose period is the frame time, in its fewest digits: a take written at 59.94
    // frames per second reads back at 59.94.
    const double ticks = frameTime * (double)VTime::kOneSecond;
    const double rate =
        ticks >= 1.0 && ticks < 9.0e18 ? VOxaMotionSupport::RateOfPeriod(VTime(std::llround(ticks))) : 0.0;
    if (!VOxaMotionSupport::IsUsableRate(rate)) {
        if (rate > 0.0)
            mFile->Fail("a frame time of %g seconds gives %.10g frames per second, which %s", frameTime, rate,
                        VOxaMotionSupport::RateProblem(rate));
        else
            mFile->Fail("a frame time of %g seconds is shorter than the time resolution", frameTime);
        Corrupted();
        return nullptr;
    }
    VStreamOptionsMotion* options = VStreamOptionsMotion::Create();
    if (!options) return nullptr;
    options->SetStartTime(VTime(0));
    options->SetFrameCount(frames);
    options->SetTimeMode(0, rate);
    options->SetOption(VStreamOptionsMotion::eIMPORT_AS_OPTICAL_SEGMENTS, 0);
    return options;
}

bool VOxaReaderPuppeteer::ReadSegment(VOxaNode* reference, const char* takeName,
                                      VStreamOptionsMotion* options, bool fromStart) {
    VString name;
    int frames = 0;
    double frameTime = 0.0;
    // A later segment whose header the file ends in is still a marker when its name is whole: one
    // whose every frame the file lost.
    bool headerCut = false;
    if (!mFile->ReadSegmentHeader(name, frames, frameTime, fromStart) || !mFile->SkipColumnHeader()) {
        const VOxaFilePuppeteer::CutHeader cut = mFile->GetHeaderCut();
        if (fromStart || cut == VOxaFilePuppeteer::eNOT_CUT) return false;
        mCut = true;
        if (cut == VOxaFilePuppeteer::eCUT_BEFORE_NAME) {
            mMessageText +=
                "The file ends in the header of a segment whose name it does not hold whole; "
                "that segment is not read.\n";
            return false;
        }
        headerCut = true;
    }
    // The first segment whose units are not read is named; later ones read the same way.
    if (!headerCut && !mFile->GetUnitWarning().IsEmpty() && !mUnitWarned) {
        mUnitWarned = true;
        mMessageText += "Segment \"";
        mMessageText += VString(name.Buffer()).Left(128);
        mMessageText += "\": ";
        mMessageText += mFile->GetUnitWarning();
        mMessageText += ".\n";
    }
    int n = options->GetFrameCount();
    if (!headerCut && frames < n) n = frames;
    const VTime start = options->GetStartTime();
    const VTime period = options->GetFramePeriod();

    VOxaSdkManager* manager = GetSdkManager();
    VOxaNode* node = VOxaMotionSupport::CreateMarkerNode(manager, name.Buffer());
    if (!node) return false;
    VOxaTakeNode* take = VOxaMotionSupport::AddCurrentTake(node, takeName);
    if (!take) {
        manager->DestroyNode(node, true);
        return false;
    }
    VFCurve* translation[3] = {take->GetTranslationX(), take->GetTranslationY(), take->GetTranslationZ()};
    VFCurve* rotation[3] = {take->GetEulerRotationX(), take->GetEulerRotationY(), take->GetEulerRotationZ()};
    VFCurve* scaling[3] = {take->GetScaleX(), take->GetScaleY(), take->GetScaleZ()};
    VFCurve* all[9] = {translation[0], translation[1], translation[2], rotation[0], rotation[1],
                       rotation[2],    scaling[0],     scaling[1],     scaling[2]};
    for (VFCurve* curve : all) {
        if (!curve) {
            manager->DestroyNode(node, true);
            return false;
        }
        curve->KeyModifyBegin();
    }
    // The count comes from the file: room is made as frames arrive.
    int64_t room = 0;
    bool ok = true;
    VTime time = start;
    VgeTVector t, r, s;
    // The first frame the file lost by ending early, -1 when it has them all.
    int lost = headerCut ? 0 : -1;
    for (int j = 0; j < n && lost < 0; ++j, time += period) {
        if (j % 64 == 0) options->Progress("Reading VPM nodes", (float)((double)j * 100.0 / n));
        if (!mFile->ReadFrame(t, r, s)) {
            // The file ends, or its last line ends before its ninth number: it was cut short. A
            // file cut before the first frame of its first segment holds no frame and is refused.
            const bool cut = mFile->IsAtEnd() || !mFile->LineEnded();
            if (cut)
                mFile->Fail("the file ends after %d of the %d frames of segment \"%.40s\"", j, frames,
                            name.Buffer());
            if (cut && (j > 0 || !fromStart)) {
                lost = j;
                mCut = true;
            } else {
                ok = false;
            }
            break;
        }
        int64_t grown = room;
        for (VFCurve* curve : all) {
            grown = room;
            VOxaMotionSupport::EnsureKeyRoom(curve, j, grown, n);
        }
        room = grown;
        for (int a = 0; a < 3; ++a) {
            VOxaMotionSupport::SetCubicKey(translation[a], j, time, t[a]);
            VOxaMotionSupport::SetCubicKey(rotation[a], j, time, r[a]);
            VOxaMotionSupport::SetCubicKey(scaling[a], j, time, s[a]);
        }
    }
    for (VFCurve* curve : all) {
        curve->KeyModifyEnd();
        curve->KeyShrink();  // the room may have grown past the keys
    }
    // The frames the file lost are gaps of this marker, keyed as the other marker readers key
    // gaps (a constant occlusion of 1), so that every writer treats them as gaps; its curves hold
    // the last frame read.
    if (ok && lost >= 0 && !KeyLostFrames(take->GetOcclusion(), start, period, lost)) ok = false;
    if (!ok) {
        manager->DestroyNode(node, true);
        return false;
    }
    ApplyJointImportFilters(translation, rotation);
    VOxaMotionSupport::ReduceConstantKeys(scaling, 3);
    reference->AddChild(node);
    if (lost >= 0) {
        char text[400];
        if (headerCut)
            std::snprintf(text, sizeof text,
                          "The file ends in the header of segment \"%.200s\": the marker is read as occluded "
                          "in every frame.\n",
                          name.Buffer());
        else if (lost > 0)
            std::snprintf(
                text, sizeof text,
                "Segment \"%.200s\" gives %d frames, but the file ends after %d whole frames: those "
                "%d are read, and the marker is occluded from frame %d on.\n",
                name.Buffer(), frames, lost, lost, lost + 1);
        else
            std::snprintf(text, sizeof text,
                          "Segment \"%.200s\" gives %d frames, but the file ends before its first whole "
                          "frame: the marker is read as occluded in every frame.\n",
                          name.Buffer(), frames);
        mMessageText += text;
        return true;
    }
    // The frames past the options' count are passed over.
    for (int j = n; j < frames; ++j)
        if (!mFile->ReadNextLine()) break;
    return true;
}

bool VOxaReaderPuppeteer::KeyLostFrames(VFCurve* occlusion, VTime start, VTime period, int lost) {
    if (!occlusion) return false;
    const int keys = lost > 0 ? 2 : 1;
    if (!occlusion->ResizeKeyBuffer(keys)) throw std::bad_alloc();
    occlusion->KeyModifyBegin();
    // Each key holds its own value up to the next: the curve is 0 up to the first lost frame and
    // 1 from it to the end of the take, in two keys however long the take.
    auto key = [occlusion](int index, VTime time, float value) {
        occlusion->KeySet(index, time, value, VFCurveKey::eInterpolationConstant,
                          VFCurveKey::eConstantStandard);
    };
    if (lost > 0) key(0, start, 0.0f);
    key(keys - 1, start + period * (int64_t)lost, 1.0f);
    occlusion->KeyModifyEnd();
    return true;
}

bool VOxaReaderPuppeteer::Read(VOxaScene* scene, VStreamOptions* streamOptions) {
    if (!mFile) {
        mError.SetLastErrorID(eFILE_NOT_OPENED);
        return false;
    }
    VStreamOptionsMotion* options = VOxaMotionSupport::ReadTarget(mError, streamOptions, scene);
    if (!options) return false;
    VOxaSdkManager* manager = GetSdkManager();
    VOxaNode* reference = VOxaMotionSupport::CreateReferenceNode(
        manager, "VPM", VOxaMotionSupport::IsSet(options, VStreamOptionsMotion::eIMPORT_AS_OPTICAL_SEGMENTS));
    if (!reference) {
        mError.SetLastErrorID(eUNIDENTIFIED_ERROR);
        return false;
    }
    const VString takeName = VOxaMotionSupport::TakeName(mFileName.Buffer());
    mCut = false;
    mUnitWarned = false;
    if (!ReadSegment(reference, takeName.Buffer(), options, true)) {
        manager->DestroyNode(reference, true);
        return Corrupted();
    }
    // Each segment is a marker node with its curves: no more of them than a capture has.
    int segments = 1;
    while (!mCut && ReadSegment(reference, takeName.Buffer(), options, false)) {
        if (++segments > VOxaMotionSupport::kMaxMarkers) {
            manager->DestroyNode(reference, true);
            char why[96];
            std::snprintf(why, sizeof why, "more than %d segments", VOxaMotionSupport::kMaxMarkers);
            return Corrupted(why);
        }
    }

    VString report("Duplicate names found in ");
    report += ::GetFileName(mFileName.Buffer(), true);
    report += ":";
    if (!CheckDuplicateNamesBelow(reference, report)) {
        options->Message("Error", report.Buffer(), "Ok");
        manager->DestroyNode(reference, true);
        return Corrupted(report.Buffer());
    }
    if (!scene->GetRootNode()->AddChild(reference)) {
        manager->DestroyNode(reference, true);
        mError.SetLastErrorID(eUNIDENTIFIED_ERROR);
        return false;
    }
    const VTime start = options->GetStartTime();
    const VTime end = VOxaMotionSupport::EndTime(start, options->GetFramePeriod(), options->GetFrameCount());
    VOxaMotionSupport::FinishTake(scene, takeName.Buffer(), start, end, 0);
    return true;
}

// ---- writer ----------------------------------------------------------------------------------------

VOxaWriterPuppeteer::VOxaWriterPuppeteer(VOxaSdkManager* manager) : VOxaTextFileWriter(manager) {}

VStreamOptions* VOxaWriterPuppeteer::GetWriteOptions() {
    VStreamOptionsMotion* options = VStreamOptionsMotion::Create();
    if (options) options->SetOption(VStreamOptionsMotion::eEXPORT_FROM_GLOBAL_POSITION, 0);
    return options;
}

bool VOxaWriterPuppeteer::Write(VOxaScene* scene, VStreamOptions* streamOptions) {
    VStreamOptionsMotion* options = BeginWrite(streamOptions);
    if (!options) return false;
    VOxaNode* root = VOxaMotionSupport::FindWriteRoot(*this, scene, options);
    if (!root) return DropWrite(eUNIDENTIFIED_ERROR);
    const int n = options->GetFrameCount();
    VTime time = options->GetStartTime();
    const VTime period = options->GetFramePeriod();
    std::vector<VOxaNode*> nodes;
    VOxaMotionSupport::CollectMarkedNodes(root, nodes);
    if (const char* refusal = VOxaMotionSupport::MarkerRefusal(nodes.size(), options)) {
        mFile->Discard();
        return VOxaMotionSupport::Refuse(mError, refusal, scene);
    }
    // A marker occluded in every frame has no position to give, and the format has no gaps: it
    // is left out rather than written at the origin as if seen there.
    VString notes("");
    {
        const std::vector<bool> seen = VOxaMotionSupport::SeenNodes(nodes, time, period, n);
        std::vector<VOxaNode*> kept;
        kept.reserve(nodes.size());
        for (size_t k = 0; k < nodes.size(); ++k) {
            if (seen[k])
                kept.push_back(nodes[k]);
            else
                notes += VOxaMotionSupport::NeverSeenWarning(nodes[k], "left out");
        }
        if (kept.empty()) {
            mFile->Discard();
            return VOxaMotionSupport::Refuse(mError,
                                             "every marker is occluded in every frame written; "
                                             "there is nothing to write");
        }
        nodes.swap(kept);
    }
    // Segments hold no start: a take that does not start at 0 reads back at 0.
    if (time.Get() != 0) {
        char text[200];
        std::snprintf(text, sizeof text,
                      "The take starts at %g s; VPM files hold no start, so it reads back starting at 0 s.\n",
                      time.GetSecondDouble());
        notes += text;
    }
    VOxaMotionSampler sampler(root);
    const size_t count = nodes.size();

    // Translation and rotation of every node at every frame, frame after frame.
    struct Sample {
        VgeTVector mTranslation;
        VgeTVector mRotation;
    };
    const uint64_t samples = (uint64_t)count * (uint64_t)(n > 0 ? n : 0);
    Sample* buffer = nullptr;
    if (samples > 0) {
        if (samples <= SIZE_MAX / sizeof(Sample))
            buffer = (Sample*)std::malloc((size_t)samples * sizeof(Sample));
        if (!oxa_alloc::Counted(buffer)) {
            options->Message("Error", "Not enough memory to allocate animation buffer.", "Ok");
            return DropWrite(eUNIDENTIFIED_ERROR);
        }
    }
    // Let go of however the write ends, memory that runs out part way (thrown) included.
    const std::unique_ptr<Sample, void (*)(void*)> held(buffer, std::free);
    for (int f = 0; f < n; ++f, time += period) {
        options->Progress("Computing VPM animation frames", (float)((double)f * 50.0 / n));
        sampler.Evaluate(time);
        for (size_t k = 0; k < count; ++k) {
            const VgeAMatrix& m = sampler.GlobalMatrix(nodes[k]);
            Sample& sample = buffer[(size_t)f * count + k];
            sample.mTranslation = m.GetT();
            sample.mRotation = m.GetR();
        }
    }
    const double frameTime = period.GetSecondDouble();
    const VgeTVector unit(1.0, 1.0, 1.0, 0.0);
    // The reader takes a segment's name as one token: blanks, like control characters, are
    // written as "_".
    VString renamed("");
    std::vector<VString> names = VOxaMotionSupport::CutMarkerNames(nodes, renamed);
    names = VTextFile::WritableNames(names, VTextFile::kBlanks);
    bool ok = true;
    for (size_t k = 0; k < count && ok; ++k) {
        options->Progress("Writing VPM nodes", (float)(50.0 + (double)k * 50.0 / count));
        mFile->WriteSegmentHeader(names[k].Buffer(), n, frameTime);
        mFile->WriteColumnHeader();
        for (int f = 0; f < n && ok; ++f) {
            mFile->SetNumberSubject(nodes[k]->GetNameWithoutPrefix(), f + 1);
            const Sample& sample = buffer[(size_t)f * count + k];
            ok = mFile->WriteFrame(sample.mTranslation, sample.mRotation, unit);
        }
        ok = ok && !mFile->WriteFailed();
    }
    if (!EndWrite(ok)) return false;
    mMessageText += renamed;
    mMessageText += notes;
    return true;
}

VOxaReader* VOxaCreateVpmReader(VOxaSdkManager* manager) {
    return new VOxaReaderPuppeteer(manager);
}

VOxaWriter* VOxaCreateVpmWriter(VOxaSdkManager* manager) {
    return new VOxaWriterPuppeteer(manager);
}
