#include "formats/motion/voxa_motion_base.h"

#include <sys/stat.h>
#include <new>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "animation/anim_settings.h"
#include "animation/fcurve.h"
#include "animation/filters/fcurve_filter_constant_key_reducer.h"
#include "attributes/voxa_marker.h"
#include "attributes/voxa_shape.h"
#include "base/vge_matrix.h"
#include "base/vname_table.h"
#include "base/vpath.h"
#include "formats/motion/voxa_skeleton_support.h"
#include "formats/motion/vtext_file.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_limits_adapter.h"
#include "scene/voxa_node.h"
#include "scene/voxa_node_pivot_internal.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_info.h"
#include "scene/voxa_take_node.h"

namespace {

// The weights the motion readers give both sides of a key.
constexpr float kKeyWeight = 0.333333f;

// Frames of a marker file held between reading and keying: four floats per point (x, y, z
// already scaled, then w) in one block, and where each frame starts. Keys are single precision,
// so the floats lose nothing the curves keep.
struct PointStore {
    std::vector<float> mValues;
    std::vector<size_t> mFrameStart{0};

    size_t FrameCount() const { return mFrameStart.size() - 1; }
    size_t PointCount(size_t frame) const { return (mFrameStart[frame + 1] - mFrameStart[frame]) / 4; }
    const float* Point(size_t frame, size_t k) const { return &mValues[mFrameStart[frame] + 4 * k]; }
};

// A stored point that is a gap: its occlusion flag is exactly 1, as the gap filling of the
// frames reads it.
inline bool IsGap(const float* point) {
    return point[3] == 1.0f;
}

}  // namespace

// ---- IOxaFileMotionBase ------------------------------------------------------------------------

void* IOxaFileMotionBase::QueryInterface(int interfaceId) {
    return interfaceId == 0 || interfaceId == kInterfaceId ? this : nullptr;
}

void IOxaFileMotionBase::Destroy() {
    delete this;
}

IOxaFileMotionBase* IOxaFileMotionBase::Opened(IOxaFileMotionBase* file, const char* path, const char* mode) {
    bool opened = false;
    try {
        opened = file->Open(path, mode);
    } catch (const std::bad_alloc&) {
        file->Destroy();
        throw;
    }
    if (opened) return file;
    file->Destroy();
    return nullptr;
}

double IOxaFileMotionBase::GetLargestPosition() const {
    return VTextFile::kLargestHeld;
}

// ---- VOxaMotionSupport -----------------------------------------------------------------------

VStreamOptionsMotion* VOxaMotionSupport::AsMotionOptions(VStreamOptions* options) {
    if (!options || !options->IsA(VStreamOptionsMotion::ClassId)) return nullptr;
    return static_cast<VStreamOptionsMotion*>(options);
}

VStreamOptionsMotion* VOxaMotionSupport::ReadTarget(VError& error, VStreamOptions* streamOptions,
                                                    VOxaScene* scene) {
    VStreamOptionsMotion* options = AsMotionOptions(streamOptions);
    if (!options) {
        error.SetLastErrorID(VOxaReader::eSTREAM_OPTIONS_NOT_SET);
        return nullptr;
    }
    if (!scene || !scene->GetRootNode()) {
        error.SetLastErrorID(VOxaReader::eUNIDENTIFIED_ERROR);
        return nullptr;
    }
    return options;
}

bool VOxaMotionSupport::IsSet(const VStreamOptionsMotion* options, int index) {
    return options && options->GetOption(index) == 1;
}

bool VOxaMotionSupport::Corrupted(VError& error, const char* detail) {
    VString text(error.GetErrorString(VOxaReader::eFILE_CORRUPTED));
    if (detail && *detail) {
        text += ": ";
        text += detail;
    }
    error.SetLastError(VOxaReader::eFILE_CORRUPTED, text.Buffer());
    return false;
}

VString VOxaMotionSupport::TakeName(const char* path) {
    return GetFileName(path ? path : "", false);
}

int64_t VOxaMotionSupport::FileSize(const char* path) {
    struct stat info;
    if (!path || stat(path, &info) != 0) return -1;
    return (int64_t)info.st_size;
}

bool VOxaMotionSupport::IsUsableRate(double framesPerSecond) {
    // The bound keeps every period well above a tick, so that no two keys share a time.
    return std::isfinite(framesPerSecond) && framesPerSecond > 0.0 && framesPerSecond <= kMaxRate;
}

const char* VOxaMotionSupport::RateProblem(double framesPerSecond) {
    if (IsUsableRate(framesPerSecond)) return nullptr;
    if (std::isfinite(framesPerSecond) && framesPerSecond > 0.0)
        return "is faster than the 1000000 frames per second the motion formats hold";
    return "has no usable frame period";
}

namespace {

// `value` rounded to `digits` significant decimal digits.
double RoundToDigits(double value, int digits) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*e", digits - 1, value);
    return std::strtod(text, nullptr);
}

}  // namespace

double VOxaMotionSupport::RateOfPeriod(VTime period) {
    const int64_t ticks = period.Get();
    if (ticks <= 0) return 0.0;
    const double rate = (double)VTime::kOneSecond / (double)ticks;
    for (int digits = 1; digits <= 17; ++digits) {
        const double candidate = RoundToDigits(rate, digits);
        VTime back;
        back.SetSecondDouble(1.0 / candidate);
        if (back.Get() == ticks) return candidate;
    }
    return rate;
}

bool VOxaMotionSupport::SamePeriod(double rate, double other) {
    if (!IsUsableRate(rate) || !IsUsableRate(other)) return false;
    VTime a, b;
    a.SetSecondDouble(1.0 / rate);
    b.SetSecondDouble(1.0 / other);
    return a.Get() == b.Get();
}

double VOxaMotionSupport::TidyRate(double rate, double tolerance) {
    if (!std::isfinite(rate) || rate <= 0.0 || !(tolerance >= 0.0)) return rate;
    for (int digits = 1; digits <= 17; ++digits) {
        const double candidate = RoundToDigits(rate, digits);
        if (std::fabs(candidate - rate) <= tolerance) return candidate;
    }
    return rate;
}

namespace {

// The length units, each by any of its words (separated by blanks), with the scene centimetres
// of one of them.
struct LengthUnit {
    const char* words;
    double centimetres;
};
const LengthUnit kLengthUnits[] = {
    {"mm millimeter millimeters millimetre millimetres", 0.1},
    {"cm centimeter centimeters centimetre centimetres", 1.0},
    {"in inch inches", 2.54},
    {"dm decimeter decimeters decimetre decimetres", 10.0},
    {"m meter meters metre metres", 100.0},
    {"ft foot feet", 30.48},
    {"yd yard yards", 91.44},
    {"km kilometer kilometers kilometre kilometres", 100000.0},
    {"um micrometer micrometers micrometre micrometres micron microns", 1.0e-4},
};

bool SameWordNoCase(const char* a, const char* b, size_t length) {
    for (size_t i = 0; i < length; ++i)
        if (std::tolower((unsigned char)a[i]) != std::tolower((unsigned char)b[i])) return false;
    return true;
}

}  // namespace

int VOxaMotionSupport::FindLengthUnit(const char* text, size_t length, double& centimetres) {
    if (!text) return -1;
    while (length > 0 && (*text == ' ' || *text == '\t')) {
        ++text;
        --length;
    }
    while (length > 0 && (text[length - 1] == ' ' || text[length - 1] == '\t'))
        --length;
    if (length == 0) return -1;
    const size_t n = sizeof kLengthUnits / sizeof kLengthUnits[0];
    for (size_t row = 0; row < n; ++row) {
        for (const char* word = kLengthUnits[row].words; *word;) {
            const size_t size = std::strcspn(word, " ");
            if (size == length && SameWordNoCase(word, text, length)) {
                centimetres = kLengthUnits[row].centimetres;
                return (int)row;
            }
            word += size;
            while (*word == ' ')
                ++word;
        }
    }
    return -1;
}

VOxaNode* VOxaMotionSupport::CreateMarkerNode(VOxaSdkManager* manager, const char* name) {
    if (!manager) return nullptr;
    VOxaNode* node = manager->CreateNode(name ? name : "");
    if (!node) return nullptr;
    VOxaMarker* marker = manager->CreateMarker();
    if (!marker) {
        manager->DestroyNode(node);
        return nullptr;
    }
    marker->SetType(1);
    node->SetNodeAttribute(marker);
    return node;
}

VOxaNode* VOxaMotionSupport::CreateReferenceNode(VOxaSdkManager* manager, const char* prefix, bool optical) {
    if (!manager) return nullptr;
    VString name(prefix ? prefix : "");
    name += optical ? ":optical" : ":reference";
    VOxaNode* node = manager->CreateNode(name.Buffer());
    if (!node) return nullptr;
    VOxaOpticalReference* reference = manager->CreateOpticalReference();
    if (!reference) {
        manager->DestroyNode(node);
        return nullptr;
    }
    node->SetNodeAttribute(reference);
    return node;
}

VOxaTakeNode* VOxaMotionSupport::AddCurrentTake(VOxaNode* node, const char* takeName) {
    if (!node || !node->AddTakeNode(takeName)) return nullptr;
    if (!node->SetCurrentTakeNode(takeName)) return nullptr;
    return node->GetCurrentTakeNode();
}

void VOxaMotionSupport::FinishTake(VOxaScene* scene, const char* takeName, VTime start, VTime end,
                                   int timeMode) {
    if (!scene) return;
    VOxaTakeInfo info;
    info.mName = takeName;
    info.mLocalTimeSpan.Set(start, end);
    info.mReferenceTimeSpan.Set(start, end);
    scene->SetTakeInfo(info);
    scene->SetCurrentTake(takeName);
    if (timeMode != 0) scene->GetGlobalTimeSettings().SetTimeMode(timeMode);
}

VTime VOxaMotionSupport::EndTime(VTime start, VTime period, int64_t n) {
    return n > 0 ? start + period * (n - 1) : start;
}

VgeTVector VOxaMotionSupport::JointTranslation(const VgeTVector& rest, const VgeTVector& taken) {
    // Curves keep single precision: a value read back from one is within half a float step
    // (about 6e-8 relative) of what was stored; a few such steps are allowed.
    constexpr double kSinglePrecision = 1e-6;
    const double size = std::max(rest.Length(), taken.Length());
    for (int k = 0; k < 3; ++k)
        if (!(std::fabs(taken[k] - rest[k]) <= kSinglePrecision * size)) return taken;
    return rest;
}

bool VOxaMotionSupport::TranslationVaries(VOxaNode* node) {
    VOxaTakeNode* take = node ? node->GetCurrentTakeNode() : nullptr;
    if (!take) return false;
    for (const VFCurve* curve : {take->GetTranslationX(), take->GetTranslationY(), take->GetTranslationZ()}) {
        const int count = curve ? curve->KeyGetCount() : 0;
        for (int k = 1; k < count; ++k)
            if (curve->KeyGetValue(k) != curve->KeyGetValue(0)) return true;
    }
    return false;
}

bool VOxaMotionSupport::EnsureKeyRoom(VFCurve* curve, int64_t index, int64_t& room, int64_t expected) {
    if (index < room) return true;
    if (index >= INT_MAX) return false;
    // The first room is what the caller expects, at most the cap; later ones grow by half.
    int64_t grown = room == 0 ? std::min<int64_t>(expected, kKeyRoomCap) : room + room / 2;
    if (grown <= index) grown = index + 1;
    if (grown > INT_MAX) grown = INT_MAX;
    if (!curve->ResizeKeyBuffer((int)grown)) throw std::bad_alloc();
    room = grown;
    return true;
}

void VOxaMotionSupport::SetCubicKey(VFCurve* curve, int index, VTime time, double value) {
    curve->KeySet(index, time, (float)value, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentAuto, 0.0f,
                  0.0f, VFCurveKey::eWeightedNone, kKeyWeight, kKeyWeight, 0.0f, 0.0f);
}

void VOxaMotionSupport::SetConstantKey(VFCurve* curve, int index, VTime time, double value) {
    curve->KeySet(index, time, (float)value, VFCurveKey::eInterpolationConstant, VFCurveKey::eTangentAuto,
                  0.0f, 0.0f, VFCurveKey::eWeightedNone, kKeyWeight, kKeyWeight, 0.0f, 0.0f);
}

void VOxaMotionSupport::ReduceConstantKeys(VFCurve** curves, int count) {
    if (!VFCurveGetApplyConstantKeyReducer() || !curves || count <= 0) return;
    for (int k = 0; k < count; ++k)
        if (!curves[k]) return;
    VFCurveFilterConstantKeyReducer reducer;
    reducer.Apply(curves, count);
}

bool VOxaMotionSupport::IsEndNode(VOxaNode* node) {
    if (!node || node->GetChildCount() != 0 || !node->GetNodeProperties()) return false;
    VOxaNodeLimitsAdapter limits(node->GetLimits());
    return !limits.GetAuto(1) && node->GetNodeProperties()->GetAxisLen() == 0.0;
}

VOxaNode* VOxaMotionSupport::FindWriteRoot(VOxaWriter& writer, VOxaScene* scene,
                                           const VStreamOptionsMotion* options) {
    VOxaNode* root = nullptr;
    if (!IsSet(options, VStreamOptionsMotion::eEXPORT_FROM_GLOBAL_POSITION))
        root = writer.FindMotionRootNode(scene);
    if (!root && scene) root = scene->GetRootNode();
    return root;
}

const char* VOxaMotionSupport::MarkerRefusal(size_t markerCount, const VStreamOptionsMotion* options) {
    if (markerCount == 0) return kNoMarkers;
    static thread_local VString refusal;
    // The readers of every marker file take at most kMaxMarkers: more would make a file that no
    // reader of ours gives back.
    if (markerCount > (size_t)kMaxMarkers) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "%zu markers or joints to write, more than the %d a marker file holds", markerCount,
                      kMaxMarkers);
        refusal = text;
        return refusal.Buffer();
    }
    // A take whose frames reach past the time line would be written with times that saturate. The
    // rate is checked first: a rate without a usable frame period is why a take has no frames.
    if (options && !VOxaSkeletonSupport::FramesFit(options, refusal)) return refusal.Buffer();
    if (!options || options->GetFrameCount() <= 0) return kNoFrames;
    return nullptr;
}

VString VOxaMotionSupport::NoRootRefusal(VOxaScene* scene, const char* forked) {
    VOxaNode* root = scene ? scene->GetRootNode() : nullptr;
    std::vector<VOxaNode*> pending;
    if (root)
        for (int i = 0; i < root->GetChildCount(); ++i)
            pending.push_back(root->GetChild(i));
    bool markedJoint = false;
    while (!pending.empty() && !markedJoint) {
        VOxaNode* node = pending.back();
        pending.pop_back();
        if (!node) continue;
        markedJoint = node->IsMarked() && IsJoint(node);
        for (int i = 0; i < node->GetChildCount(); ++i)
            pending.push_back(node->GetChild(i));
    }
    if (!markedJoint) return VString(kNoJoints);
    // The skeleton writers start down the chain of only children from the scene's root: say where
    // that chain forks and what to do about it.
    VOxaNode* fork = root;
    while (fork && fork->GetChildCount() == 1)
        fork = fork->GetChild(0);
    VString text(forked);
    text +=
        " A skeleton is written from the first marked node down the chain of only children below "
        "the scene's root, and that chain forks at ";
    if (fork == root) {
        text += "the scene's root";
    } else {
        text += "\"";
        text += fork ? fork->GetName() : "";
        text += "\"";
    }
    text += ": write a scene that holds the skeleton alone (its geometry to a geometry format).";
    return text;
}

namespace {

VString CutNameText(const VString& original, const VString& written, int maxBytes, const char* format) {
    VString text("Node \"");
    text += original;
    text += "\" is written as \"";
    text += written;
    text += "\": ";
    text += format;
    text += " names hold at most ";
    text += maxBytes;
    text += " bytes.";
    return text;
}

VString RepeatText(const VString& original, const VString& written) {
    VString text("Two nodes are named \"");
    text += original;
    text += "\"; the later one is written as \"";
    text += written;
    text += "\".";
    return text;
}

}  // namespace

std::vector<bool> VOxaMotionSupport::RepeatedNames(const std::vector<VString>& names) {
    std::vector<bool> repeated(names.size(), false);
    std::unordered_set<std::string> seen;
    for (size_t i = 0; i < names.size(); ++i)
        repeated[i] = !seen.emplace(names[i].Buffer()).second;
    return repeated;
}

void VOxaMotionSupport::WarnCutNames(VStreamOptionsMotion* options, const std::vector<VString>& original,
                                     const std::vector<VString>& written, int maxBytes, const char* format) {
    if (!options) return;
    const std::vector<bool> repeated = RepeatedNames(original);
    for (size_t i = 0; i < original.size() && i < written.size(); ++i) {
        if (original[i].GetLen() > maxBytes)
            options->Message("Warning", CutNameText(original[i], written[i], maxBytes, format).Buffer(),
                             "Ok");
        else if (repeated[i] && !(written[i] == original[i]))
            options->Message("Warning", RepeatText(original[i], written[i]).Buffer(), "Ok");
    }
}

VString VOxaMotionSupport::CutNamesText(const std::vector<VString>& original,
                                        const std::vector<VString>& written, int maxBytes,
                                        const char* format) {
    VString text("");
    for (size_t i = 0; i < original.size() && i < written.size(); ++i) {
        if (original[i].GetLen() <= maxBytes) continue;
        text += CutNameText(original[i], written[i], maxBytes, format);
        text += "\n";
    }
    return text;
}

bool VOxaMotionSupport::IsJoint(const VOxaNode* node) {
    if (!node) return false;
    const VOxaNodeAttribute* attribute = node->GetNodeAttribute();
    if (!attribute) return true;
    const int type = attribute->GetAttributeType();
    return type == VOxaNodeAttribute::eNull || type == VOxaNodeAttribute::eMarker ||
           type == VOxaNodeAttribute::eSkeleton;
}

bool VOxaMotionSupport::HasJoints(VOxaNode* root) {
    std::vector<VOxaNode*> pending;
    if (root) pending.push_back(root);
    while (!pending.empty()) {
        VOxaNode* node = pending.back();
        pending.pop_back();
        if (IsJoint(node)) return true;
        for (int i = 0; i < node->GetChildCount(); ++i)
            if (VOxaNode* child = node->GetChild(i)) pending.push_back(child);
    }
    return false;
}

std::vector<bool> VOxaMotionSupport::SeenNodes(const std::vector<VOxaNode*>& nodes, VTime start, VTime period,
                                               int frames, bool seenBelowHalf) {
    std::vector<bool> seen(nodes.size(), true);
    constexpr int kBlock = 64;
    int64_t times[kBlock];
    float values[kBlock];
    for (size_t k = 0; k < nodes.size(); ++k) {
        VOxaTakeNode* take = nodes[k] ? nodes[k]->GetCurrentTakeNode() : nullptr;
        const VFCurve* curve = take ? take->GetOcclusion() : nullptr;
        if (!curve || frames <= 0) continue;
        // A seen frame ends the walk: only a marker occluded throughout costs a pass over all.
        bool any = false;
        int hint = 0;
        VTime time = start;
        for (int f = 0; f < frames && !any; f += kBlock) {
            const int count = std::min(kBlock, frames - f);
            for (int j = 0; j < count; ++j, time += period)
                times[j] = time.Get();
            curve->EvaluateAscending(times, count, values, 1, &hint);
            for (int j = 0; j < count && !any; ++j)
                any = seenBelowHalf ? values[j] < 0.5f : !(values[j] > 0.5f);
        }
        seen[k] = any;
    }
    return seen;
}

VString VOxaMotionSupport::OneFrameRateWarning(const VStreamOptionsMotion* options, const char* format) {
    const double rate = options ? options->GetFrameRate() : 0.0;
    const double fallback = VTime::GetFrameRate(0);
    if (!IsUsableRate(rate) || SamePeriod(rate, fallback)) return VString("");
    char text[300];
    std::snprintf(text, sizeof text,
                  "The %s file holds one frame, and its times give a rate only between two frames: the "
                  "take's %.10g frames per second is not kept, and the file reads back at %.10g frames per "
                  "second.\n",
                  format, rate, fallback);
    return VString(text);
}

VString VOxaMotionSupport::NeverSeenWarning(VOxaNode* node, const char* what) {
    char text[400];
    std::snprintf(text, sizeof text, "\"%.200s\" is occluded in every frame written; it is %s.\n",
                  node ? node->GetNameWithoutPrefix() : "", what);
    return VString(text);
}

bool VOxaMotionSupport::Refuse(VError& error, const char* text) {
    error.SetLastError(VOxaWriter::eFILE_NOT_CREATED, text);
    return false;
}

bool VOxaMotionSupport::Refuse(VError& error, const char* text, const VOxaScene* scene) {
    if (scene == nullptr || text == nullptr || std::strcmp(text, kNoFrames) != 0) return Refuse(error, text);
    const char* name = scene->GetCurrentTakeName();
    const VString take =
        name && *name ? VString("the take \"") + name + "\"" : VString("the scene's only take");
    return Refuse(error, (take + " has no frames to write").Buffer());
}

bool VOxaMotionSupport::IsWritable(double value) {
    return VTextFile::IsWritableNumber(value);
}

bool VOxaMotionSupport::IsWritable(const VgeTVector& value) {
    return IsWritable(value[0]) && IsWritable(value[1]) && IsWritable(value[2]);
}

bool VOxaMotionSupport::EndTextWrite(VTextFile& file, VError& error, bool ok) {
    if (*file.GetUnwritableNumber()) {
        const VString text(file.GetUnwritableNumber());
        file.Discard();
        return Refuse(error, text.Buffer());
    }
    if (ok && !file.WriteFailed()) return true;
    file.Discard();
    error.SetLastErrorID(VOxaWriter::eOUT_OF_DISK_SPACE);
    return false;
}

void VOxaMotionSupport::CollectMarkedNodes(VOxaNode* root, std::vector<VOxaNode*>& nodes) {
    if (!root) return;
    std::vector<VOxaNode*> pending{root};
    while (!pending.empty()) {
        VOxaNode* node = pending.back();
        pending.pop_back();
        if (node->IsMarked() && !node->GetOpticalReference()) nodes.push_back(node);
        // Children are pushed last first so that they come out in order.
        for (int i = node->GetChildCount() - 1; i >= 0; --i)
            pending.push_back(node->GetChild(i));
    }
}

VString VOxaMotionSupport::NameAfterLastColon(const char* name) {
    VString text(name ? name : "");
    const int colon = text.ReverseFind(':');
    return colon < 0 ? text : text.Mid(colon + 1);
}

namespace {

// A name as a reader takes it: a TRC reader reads a blank back as '_'.
std::string ReadName(const VString& name) {
    std::string key(name.Buffer(), (size_t)name.GetLen());
    for (char& c : key)
        if (c == ' ') c = '_';
    return key;
}

std::string LowerName(const VString& name) {
    std::string key = ReadName(name);
    for (char& c : key)
        c = (char)std::tolower((unsigned char)c);
    return key;
}

}  // namespace

std::vector<VString> VOxaMotionSupport::CutMarkerNames(const std::vector<VOxaNode*>& nodes,
                                                       VString& warning) {
    std::vector<VString> out;
    out.reserve(nodes.size());
    std::vector<bool> cut(nodes.size(), false);
    // A name that repeats the exact name of a node before it, as a reader takes it ("A B" and
    // "A_B" alike): the readers refuse a file that names two markers alike, so the later one is
    // numbered as a cut name is.
    std::vector<bool> repeat(nodes.size(), false);
    // Each name taken, lower case, with the index of the node that took it.
    std::unordered_map<std::string, size_t> taken;
    // Each name kept, as a reader takes it, with the index of the node that has it.
    std::unordered_map<std::string, size_t> kept;
    for (size_t i = 0; i < nodes.size(); ++i) {
        // A prefix is what the name holds before a ':' past the node's own "Model::".
        const char* own = nodes[i]->GetNameWithoutPrefix();
        out.push_back(NameAfterLastColon(nodes[i]->GetName()));
        cut[i] = std::strchr(own ? own : "", ':') != nullptr;
        if (!cut[i] && !kept.emplace(ReadName(out[i]), i).second) repeat[i] = cut[i] = true;
        if (!cut[i]) taken.emplace(LowerName(out[i]), i);
    }
    // The next suffix to try for each name that met another, so that many alike cost no search
    // from "_2" each.
    std::unordered_map<std::string, int> nextSuffix;
    for (size_t i = 0; i < nodes.size(); ++i) {
        if (!cut[i]) continue;
        const std::string key = LowerName(out[i]);
        const auto met = taken.find(key);
        if (met == taken.end()) {
            taken.emplace(key, i);
            continue;
        }
        int& suffix = nextSuffix.emplace(key, 2).first->second;
        VString numbered;
        std::string numberedKey;
        for (;; ++suffix) {
            numbered = out[i];
            numbered += "_";
            numbered += suffix;
            numberedKey = LowerName(numbered);
            if (!taken.count(numberedKey)) break;
        }
        ++suffix;
        char text[1024];  // room for the longest message the precisions allow (899 bytes)
        const size_t same = repeat[i] ? kept.find(ReadName(out[i]))->second : i;
        if (repeat[i] && out[same] == out[i])
            std::snprintf(text, sizeof text,
                          "Two nodes are named \"%.200s\"; the later one is written as \"%.120s\".\n",
                          nodes[i]->GetNameWithoutPrefix(), numbered.Buffer());
        else if (repeat[i])
            std::snprintf(text, sizeof text,
                          "\"%.200s\" and \"%.200s\" read back as the same name (a reader takes a blank "
                          "for \"_\"); \"%.200s\" is renamed \"%.120s\".\n",
                          out[same].Buffer(), out[i].Buffer(), out[i].Buffer(), numbered.Buffer());
        else
            std::snprintf(text, sizeof text,
                          "\"%.200s\" and \"%.200s\" are both named \"%.100s\" once their prefixes are cut; "
                          "\"%.200s\" is written as \"%.120s\".\n",
                          nodes[met->second]->GetNameWithoutPrefix(), nodes[i]->GetNameWithoutPrefix(),
                          out[i].Buffer(), nodes[i]->GetNameWithoutPrefix(), numbered.Buffer());
        warning += text;
        out[i] = numbered;
        taken.emplace(numberedKey, i);
    }
    // A name with nothing after its prefix (at most one is left empty: the others were numbered)
    // would leave its label empty: it is named "_", or the first free of "_2", "_3", ..., as the
    // text writers name an empty name.
    for (size_t i = 0; i < out.size(); ++i) {
        if (!out[i].IsEmpty()) continue;
        VString name("_");
        for (int suffix = 2; taken.count(LowerName(name)); ++suffix) {
            name = "_";
            name += suffix;
        }
        out[i] = name;
        taken.emplace(LowerName(name), i);
    }
    return out;
}

void VOxaMotionSupport::PrepareHierarchy(VOxaNode* root) {
    if (!root) return;
    root->UpdateLocalTRSFromDefault(true);
    root->SetGlobalTransform(VgeAMatrix());
    root->SetEvaluationStamp(0, true);
    root->SetEvaluationStamp(1, false);
}

void VOxaMotionSupport::EvaluateHierarchy(VOxaNode* root, VTime time) {
    if (!root) return;
    root->UpdateLocalTRS(time, true);
    root->SetGlobalTransform(VgeAMatrix());
    root->SetEvaluationStamp(0, true);
    root->SetEvaluationStamp(1, false);
}

const VgeAMatrix& VOxaMotionSupport::GlobalMatrix(VOxaNode* node) {
    node->UpdateGlobalTransform(1);
    return node->GetGlobalTransform();
}

// ---- VOxaReaderMotionBase ------------------------------------------------------------------------

VOxaReaderMotionBase::VOxaReaderMotionBase(VOxaSdkManager* manager) : VOxaReader(manager) {}

VOxaReaderMotionBase::~VOxaReaderMotionBase() {
    if (mFile) {
        mFile->Destroy();
        mFile = nullptr;
    }
}

bool VOxaReaderMotionBase::FileOpen(const char* path) {
    if (mFile) FileClose();
    mFile = path ? CreateMotionFile(path) : nullptr;
    if (!mFile) {
        mError.SetLastErrorID(eFILE_NOT_OPENED);
        return false;
    }
    mFileName = path;
    return true;
}

bool VOxaReaderMotionBase::FileClose() {
    if (!mFile) {
        mError.SetLastErrorID(eFILE_NOT_OPENED);
        return false;
    }
    mFile->Destroy();
    mFile = nullptr;
    mFileName = "";
    return true;
}

bool VOxaReaderMotionBase::IsFileOpen() {
    return mFile != nullptr;
}

bool VOxaReaderMotionBase::Corrupted(const char* detail) {
    return VOxaMotionSupport::Corrupted(mError, detail ? detail : mFile ? mFile->GetFailure() : "");
}

void VOxaReaderMotionBase::NoteReadWarning() {
    const char* warning = mFile ? mFile->GetReadWarning() : "";
    if (!warning || !*warning || mMessageText.Find(warning) >= 0) return;
    mMessageText += warning;
    mMessageText += "\n";
}

bool VOxaReaderMotionBase::ReadCheckedHeader(int64_t& markerCount, VTime& startTime, int64_t& frameCount,
                                             double& frameRate, double& scale) {
    markerCount = 0;
    frameCount = 0;
    frameRate = 0.0;
    scale = 1.0;
    startTime = VTime(0);
    if (!mFile->ReadHeader(markerCount, startTime, frameCount, frameRate, scale)) return Corrupted();
    NoteReadWarning();
    char why[160];
    // Every marker needs at least one byte of the file: a larger count is not backed by data.
    const int64_t size = VOxaMotionSupport::FileSize(mFileName.Buffer());
    if (markerCount < 0 || markerCount > INT_MAX || (size >= 0 && markerCount > size)) {
        std::snprintf(why, sizeof why,
                      "the header gives %lld markers, more than the file's %lld bytes can hold",
                      (long long)markerCount, (long long)size);
        return Corrupted(why);
    }
    if (markerCount > VOxaMotionSupport::kMaxMarkers) {
        std::snprintf(why, sizeof why, "the header gives %lld markers, more than %d", (long long)markerCount,
                      VOxaMotionSupport::kMaxMarkers);
        return Corrupted(why);
    }
    if (frameCount < 0) {
        std::snprintf(why, sizeof why, "the header gives %lld frames", (long long)frameCount);
        return Corrupted(why);
    }
    if (!VOxaMotionSupport::IsUsableRate(frameRate)) {
        std::snprintf(why, sizeof why, "the header's rate of %.10g frames per second %s", frameRate,
                      VOxaMotionSupport::RateProblem(frameRate));
        return Corrupted(why);
    }
    if (!std::isfinite(scale)) return Corrupted("the header's scale is not a finite number");
    return true;
}

VStreamOptions* VOxaReaderMotionBase::GetReadOptions() {
    if (!mFile) {
        mError.SetLastErrorID(eFILE_NOT_OPENED);
        return nullptr;
    }
    int64_t markerCount, frameCount;
    double rate, scale;
    VTime start;
    if (!ReadCheckedHeader(markerCount, start, frameCount, rate, scale)) return nullptr;
    VStreamOptionsMotion* options = VStreamOptionsMotion::Create();
    if (!options) return nullptr;
    try {
        options->SetStartTime(start);
        options->SetFrameCount(frameCount > INT_MAX ? INT_MAX : (int)frameCount);
        options->SetTimeMode(0, rate);
        SetDefaultReadOptions(options);
    } catch (const std::bad_alloc&) {
        options->Destroy();
        throw;
    }
    return options;
}

bool VOxaReaderMotionBase::Read(VOxaScene* scene, VStreamOptions* streamOptions) {
    if (!mFile) {
        mError.SetLastErrorID(eFILE_NOT_OPENED);
        return false;
    }
    VStreamOptionsMotion* options = VOxaMotionSupport::ReadTarget(mError, streamOptions, scene);
    if (!options) return false;

    int64_t markerCount64, fileFrames;
    double rate, scale;
    VTime fileStart;
    if (!ReadCheckedHeader(markerCount64, fileStart, fileFrames, rate, scale)) return false;
    if (markerCount64 == 0) return true;
    const int markerCount = (int)markerCount64;

    // Frame range from the options, never more than the file holds.
    if (options->GetFrameCount() > fileFrames) options->SetFrameCount((int)fileFrames);
    const int n = options->GetFrameCount();
    const VTime start = options->GetStartTime();
    const VTime period = options->GetFramePeriod();
    const VTime end = VOxaMotionSupport::EndTime(start, period, n);

    VStringList names;
    for (int i = 0; i < markerCount; ++i)
        names.Add("");
    if (!mFile->ReadMarkerNames(
            names, VOxaMotionSupport::IsSet(options, VStreamOptionsMotion::eIMPORT_ACTOR_PREFIX)))
        return Corrupted();

    if (VOxaMotionSupport::IsSet(options, VStreamOptionsMotion::eRENAME_DUPLICATE_NAMES)) {
        VNameTable table(8, 64);
        VString report("");
        for (int i = 1; i <= markerCount; ++i) {
            VString read(names[i - 1]);
            table.AddUnique(read.Buffer(), i);
            const char* stored = table.FindNameByData(i);
            if (stored && read != stored) {
                report += read;
                report += "  -->  ";
                report += stored;
                report += "\n";
                names.SetStringAt(i - 1, stored);
            }
        }
        if (!report.IsEmpty()) {
            VString text("Some objects have been renamed due to naming conflicts:\n");
            text += report;
            text += "\n\n";
            options->Message("Warning", text.Buffer(), "Ok");
        }
    }

    // Frames. Every point the curves will key must be backed by the file: a frame may carry fewer
    // points than markers (the rest are keyed as occluded), but not so many fewer that a small file
    // asks for an unbounded number of keys.
    const int64_t fileSize = VOxaMotionSupport::FileSize(mFileName.Buffer());
    const int64_t pointLimit = (fileSize < 0 ? 0 : fileSize) + 65536;
    const bool exactZero =
        VOxaMotionSupport::IsSet(options, VStreamOptionsMotion::eIMPORT_EXACT_ZERO_AS_OCCLUDED);
    const bool fillGaps =
        VOxaMotionSupport::IsSet(options, VStreamOptionsMotion::eIMPORT_SET_OCCLUDED_TO_LAST_VALID_POSITION);
    PointStore store;
    {
        // Room for what the header announces, but no more than the file's bytes could hold (a
        // point or a frame takes at least one byte): a small file that announces many frames
        // grows the store as its frames come instead of reserving for all of them.
        const int64_t bytes = std::max<int64_t>(fileSize, 0) + 1;
        const int64_t points = std::min<int64_t>((int64_t)n * markerCount, bytes);
        store.mValues.reserve(
            (size_t)std::min<int64_t>(points * 4, (int64_t)VOxaMotionSupport::kKeyRoomCap * 64));
        store.mFrameStart.reserve((size_t)std::min<int64_t>(std::min<int64_t>((int64_t)n + 1, bytes),
                                                            VOxaMotionSupport::kKeyRoomCap));
    }
    VOxaMarkerFrame frame(markerCount < 4096 ? (markerCount > 16 ? markerCount : 16) : 4096);
    VTime time = start;
    int counter = 0;
    int excess = 0;
    int64_t unreadable = 0;
    int firstUnreadableFrame = 0, firstUnreadableMarker = 0;
    bool ok = true;
    char why[160] = "";
    for (int j = 0; j < n && ok; ++j) {
        options->Progress("Reading animation frames", (float)((double)j * 50.0 / n));
        frame.SetCount(0);
        if (!mFile->ReadFrame(frame, markerCount, time, counter, period, exactZero)) {
            ok = false;
            break;
        }
        const int count = frame.GetCount();
        if (count - markerCount > excess) excess = count - markerCount;
        const int64_t nodeCount = (int64_t)markerCount + excess;
        if (nodeCount > VOxaMotionSupport::kMaxMarkers) {
            std::snprintf(why, sizeof why, "frame %d: %lld points, more than %d markers", j + 1,
                          (long long)nodeCount, VOxaMotionSupport::kMaxMarkers);
            ok = false;
            break;
        }
        if (nodeCount * (j + 1) > pointLimit) {
            std::snprintf(why, sizeof why,
                          "frame %d: %lld markers over %d frames are more points than the file's %lld bytes "
                          "can hold",
                          j + 1, (long long)nodeCount, j + 1, (long long)fileSize);
            ok = false;
            break;
        }
        const size_t previous = j > 0 ? store.FrameCount() - 1 : 0;
        const size_t previousCount = j > 0 ? store.PointCount(previous) : 0;
        const size_t base = store.mValues.size();
        store.mValues.resize(base + (size_t)count * 4);
        float* out = &store.mValues[base];
        const VgeTVector* points = static_cast<const VgeTVector*>(frame.GetBaseArray());
        for (int k = 0; k < count; ++k, out += 4) {
            const VgeTVector& p = points[k];
            if (fillGaps && j > 0 && p[3] == 1.0 && (size_t)k < previousCount) {
                // An occluded point holds the last valid position (already scaled).
                const float* last = store.Point(previous, (size_t)k);
                out[0] = last[0];
                out[1] = last[1];
                out[2] = last[2];
            } else {
                out[0] = (float)(p[0] * scale);
                out[1] = (float)(p[1] * scale);
                out[2] = (float)(p[2] * scale);
            }
            out[3] = (float)p[3];
            // A coordinate beyond what a key holds (or not a number) is no position: a gap.
            if (out[3] != 1.0f &&
                !(VTextFile::IsWritableNumber(out[0]) && VTextFile::IsWritableNumber(out[1]) &&
                  VTextFile::IsWritableNumber(out[2]))) {
                if (unreadable++ == 0) {
                    firstUnreadableFrame = j + 1;
                    firstUnreadableMarker = k + 1;
                }
                out[0] = out[1] = out[2] = 0.0f;
                out[3] = 1.0f;
            }
        }
        store.mFrameStart.push_back(store.mValues.size());
    }
    frame.Clear();
    if (ok && !mFile->ReadEnd()) ok = false;
    if (!ok) return Corrupted(why[0] ? why : nullptr);

    // Marker nodes, the "*Unnamed_" nodes of extra points, and the reference node over them.
    VOxaSdkManager* manager = GetSdkManager();
    const int nodeCount = markerCount + excess;
    std::vector<VOxaNode*> nodes;
    nodes.reserve((size_t)nodeCount);
    VOxaNode* reference = nullptr;
    auto fail = [&]() {
        if (reference) {
            manager->DestroyNode(reference, true);
        } else {
            for (VOxaNode* node : nodes)
                manager->DestroyNode(node, true);
        }
        mError.SetLastErrorID(eFILE_CORRUPTED);
        return false;
    };
    for (int i = 0; i < nodeCount; ++i) {
        VString name;
        if (i < markerCount) {
            name = names[i];
        } else {
            name = "*Unnamed_";
            name += markerCount + (i - markerCount) + 1;
        }
        VOxaNode* node = VOxaMotionSupport::CreateMarkerNode(manager, name.Buffer());
        if (!node) return fail();
        nodes.push_back(node);
    }
    names.Clear();
    reference = VOxaMotionSupport::CreateReferenceNode(
        manager, mReferenceName.Buffer(),
        VOxaMotionSupport::IsSet(options, VStreamOptionsMotion::eIMPORT_AS_OPTICAL_SEGMENTS));
    if (!reference) return fail();
    for (VOxaNode* node : nodes)
        reference->AddChild(node);
    VString report("Duplicate names found in ");
    report += ::GetFileName(mFileName.Buffer(), true);
    report += ":";
    if (!CheckDuplicateNamesBelow(reference, report)) {
        options->Message("Error", report.Buffer(), "Ok");
        fail();
        return Corrupted(report.Buffer());
    }

    // Curves, node by node.
    const VString takeName = VOxaMotionSupport::TakeName(mFileName.Buffer());
    const int frames = (int)store.FrameCount();
    for (int i = 0; i < nodeCount; ++i) {
        options->Progress("Loading animation frames in nodes", (float)(50.0 + (double)i * 50.0 / nodeCount));
        VOxaTakeNode* take = VOxaMotionSupport::AddCurrentTake(nodes[(size_t)i], takeName.Buffer());
        if (!take) return fail();
        VFCurve* curves[4] = {take->GetTranslationX(), take->GetTranslationY(), take->GetTranslationZ(),
                              take->GetOcclusion()};
        for (VFCurve* curve : curves) {
            if (!curve) return fail();
            if (!curve->ResizeKeyBuffer(frames)) throw std::bad_alloc();
            curve->KeyModifyBegin();
        }
        // With gaps filled, a gap holds the marker's last seen position, and the gaps before it is
        // first seen hold that first position: the curves never fall to the origin in a gap (a
        // format without gaps, a skeleton's, writes the curves as they are). A marker never seen
        // keeps the file's values.
        const float* held = nullptr;
        if (fillGaps)
            for (int j = 0; j < frames && !held; ++j)
                if ((size_t)i < store.PointCount((size_t)j) && !IsGap(store.Point((size_t)j, (size_t)i)))
                    held = store.Point((size_t)j, (size_t)i);
        static const float kMissing[4] = {0.0f, 0.0f, 0.0f, 1.0f};
        VTime keyTime = start;
        for (int j = 0; j < frames; ++j, keyTime += period) {
            const float* p =
                (size_t)i < store.PointCount((size_t)j) ? store.Point((size_t)j, (size_t)i) : kMissing;
            const bool gap = IsGap(p);
            if (!gap && fillGaps) held = p;
            const float* at = gap && held ? held : p;
            VOxaMotionSupport::SetCubicKey(curves[0], j, keyTime, at[0]);
            VOxaMotionSupport::SetCubicKey(curves[1], j, keyTime, at[1]);
            VOxaMotionSupport::SetCubicKey(curves[2], j, keyTime, at[2]);
            VOxaMotionSupport::SetConstantKey(curves[3], j, keyTime, p[3]);
        }
        for (VFCurve* curve : curves)
            curve->KeyModifyEnd();
    }
    store = PointStore();

    if (!scene->GetRootNode()->AddChild(reference)) return fail();
    VOxaMotionSupport::FinishTake(scene, takeName.Buffer(), start, end, options->GetTimeMode());
    if (unreadable > 0) {
        char text[240];
        std::snprintf(
            text, sizeof text,
            "%lld points have a coordinate beyond +-1e30 or not a number and are read as gaps (the first "
            "at frame %d, marker %d).\n",
            (long long)unreadable, firstUnreadableFrame, firstUnreadableMarker);
        mMessageText += text;
    }
    return true;
}

// ---- VOxaWriterMotionBase ------------------------------------------------------------------------

VOxaWriterMotionBase::VOxaWriterMotionBase(VOxaSdkManager* manager) : VOxaWriter(manager) {}

VOxaWriterMotionBase::~VOxaWriterMotionBase() {
    if (mFile) {
        mFile->Destroy();
        mFile = nullptr;
    }
}

bool VOxaWriterMotionBase::FileCreate(const char* path) {
    if (mFile) {
        mFile->Destroy();
        mFile = nullptr;
    }
    mDiscarded = false;
    mFile = path ? CreateMotionFile(path) : nullptr;
    if (!mFile) {
        char text[1024];
        // A long path is cut to the buffer.
        std::snprintf(text, sizeof text, "Cannot open file \"%s\" for writing.", path ? path : "");
        mError.SetLastError(eFILE_NOT_OPENED, text);
        return false;
    }
    return true;
}

bool VOxaWriterMotionBase::FileClose() {
    if (!mFile) {
        mError.SetLastErrorID(eFILE_NOT_OPENED);
        return false;
    }
    // A file dropped after a failed Write has nothing to put in place.
    const bool closed = mDiscarded || mFile->Close();
    mFile->Destroy();
    mFile = nullptr;
    mDiscarded = false;
    if (!closed) {
        mError.SetLastErrorID(eOUT_OF_DISK_SPACE);
        return false;
    }
    return true;
}

void VOxaWriterMotionBase::DiscardFile() {
    mFile->Discard();
    mDiscarded = true;
}

bool VOxaWriterMotionBase::IsFileOpen() {
    return mFile != nullptr;
}

VStreamOptions* VOxaWriterMotionBase::GetWriteOptions() {
    VStreamOptionsMotion* options = VStreamOptionsMotion::Create();
    if (options) SetDefaultWriteOptions(options);
    return options;
}

bool VOxaWriterMotionBase::Write(VOxaScene* scene, VStreamOptions* streamOptions) {
    if (!mFile) {
        mError.SetLastErrorID(eFILE_NOT_OPENED);
        return false;
    }
    VStreamOptionsMotion* options = VOxaMotionSupport::AsMotionOptions(streamOptions);
    if (!options) {
        DiscardFile();
        mError.SetLastErrorID(eSTREAM_OPTIONS_NOT_SET);
        return false;
    }
    VOxaNode* root = VOxaMotionSupport::FindWriteRoot(*this, scene, options);
    if (!root) {
        DiscardFile();
        mError.SetLastErrorID(eUNIDENTIFIED_ERROR);
        return false;
    }
    std::vector<VOxaNode*> markers;
    VOxaMotionSupport::CollectMarkedNodes(root, markers);
    if (const char* refusal = VOxaMotionSupport::MarkerRefusal(markers.size(), options)) {
        DiscardFile();
        return VOxaMotionSupport::Refuse(mError, refusal, scene);
    }
    // The markers are sampled with the pivots in the animation; the caller's scene gets its own
    // back when the write ends, whichever way.
    VOxaPivotConversionScope converted(root);
    if (!converted.Converted()) {
        DiscardFile();
        mError.SetLastErrorID(eNOT_ENOUGH_MEMORY);
        return false;
    }
    VOxaMotionSupport::PrepareHierarchy(root);
    VOxaMotionSampler sampler(root);

    const int markerCount = (int)markers.size();
    VStringList names;
    VString renamed("");
    for (const VString& name : VOxaMotionSupport::CutMarkerNames(markers, renamed))
        names.Add(name.Buffer());
    VOxaMarkerFrame points(markerCount > 16 ? markerCount : 16);
    std::vector<const VFCurve*> occlusion((size_t)markerCount, nullptr);
    for (int k = 0; k < markerCount; ++k) {
        VOxaNode* node = markers[(size_t)k];
        const VgeAMatrix& m = VOxaMotionSupport::GlobalMatrix(node);
        points.Add(VgeTVector(m[3][0], m[3][1], m[3][2], 0.0));
        if (VOxaTakeNode* take = node->GetCurrentTakeNode()) occlusion[(size_t)k] = take->GetOcclusion();
    }
    // An array that could not grow holds fewer points than there are markers.
    if (points.GetCount() < markerCount) {
        DiscardFile();
        mError.SetLastErrorID(eNOT_ENOUGH_MEMORY);
        return false;
    }

    const int frameCount = options->GetFrameCount();
    const VTime start = options->GetStartTime();
    const double frameRate = options->GetFrameRate();
    const VTime period = options->GetFramePeriod();
    const bool gapsValid =
        VOxaMotionSupport::IsSet(options, VStreamOptionsMotion::eEXPORT_GAPS_AS_VALID_DATA);
    const double scale =
        VOxaMotionSupport::IsSet(options, VStreamOptionsMotion::eEXPORT_C3D_REAL_FORMAT) ? -1.0 : 1.0;

    VgeTVector* p = static_cast<VgeTVector*>(points.GetBaseArray());
    // The occlusion curves are evaluated for a block of frames at a time, each curve over the
    // whole block in one ascending walk (the values Evaluate gives at each frame); row j of
    // `occluded` holds every marker's value at the block's frame j.
    constexpr int kOcclusionBlock = 32;
    std::vector<float> occluded(gapsValid ? 0 : (size_t)markerCount * kOcclusionBlock);
    std::vector<int> occlusionHints((size_t)markerCount, 0);
    int64_t blockTimes[kOcclusionBlock];
    // A position the file cannot hold (not a finite number, or beyond the largest the file
    // writes) is a gap at the origin; the first one is named in a warning.
    const double largest = mFile->GetLargestPosition();
    int64_t unwritable = 0;
    VString firstUnwritable;
    bool noteUnwritable = false;
    // Every frame's points in turn into `points`, then visit(time, f) with f from 1; stops when
    // visit answers false.
    auto forEachFrame = [&](auto&& visit) {
        std::fill(occlusionHints.begin(), occlusionHints.end(), 0);
        VTime time = start;
        int inBlock = kOcclusionBlock;
        for (int f = 1; f <= frameCount; ++f, ++inBlock, time += period) {
            sampler.Evaluate(time);
            if (!gapsValid && inBlock == kOcclusionBlock) {
                const int count = std::min(kOcclusionBlock, frameCount - f + 1);
                VTime at = time;
                for (int j = 0; j < count; ++j, at += period)
                    blockTimes[j] = at.Get();
                for (int k = 0; k < markerCount; ++k) {
                    if (const VFCurve* curve = occlusion[(size_t)k])
                        curve->EvaluateAscending(blockTimes, count, &occluded[(size_t)k], (size_t)markerCount,
                                                 &occlusionHints[(size_t)k]);
                }
                inBlock = 0;
            }
            const float* row = occluded.empty() ? nullptr : &occluded[(size_t)inBlock * (size_t)markerCount];
            for (int k = 0; k < markerCount; ++k) {
                const VgeAMatrix& m = sampler.GlobalMatrix(markers[(size_t)k]);
                const double w = row && occlusion[(size_t)k] && row[k] > 0.5f ? 1.0 : 0.0;
                p[k].Set(m[3][0], m[3][1], m[3][2], w);
                if (VOxaMotionSupport::IsWritable(p[k]) && std::fabs(p[k][0]) <= largest &&
                    std::fabs(p[k][1]) <= largest && std::fabs(p[k][2]) <= largest)
                    continue;
                p[k].Set(0.0, 0.0, 0.0, 1.0);
                if (noteUnwritable && unwritable++ == 0) {
                    char text[400];
                    std::snprintf(text, sizeof text,
                                  "\"%.200s\" at frame %d has a position that is not a finite number or lies "
                                  "beyond +-%g",
                                  names[k], f, largest);
                    firstUnwritable = text;
                }
            }
            if (!visit(time, f)) return false;
        }
        return true;
    };

    // A file of scaled integers is told the largest coordinate it is to hold before its header.
    if (mFile->NeedsLargestCoordinate(scale)) {
        double largest = 0.0;
        forEachFrame([&](VTime, int) {
            for (int k = 0; k < markerCount; ++k)
                if (p[k][3] < 0.5)
                    largest = std::max({largest, std::fabs(p[k][0]), std::fabs(p[k][1]), std::fabs(p[k][2])});
            return true;
        });
        mFile->SetLargestCoordinate(largest);
    }

    mMessageText += renamed;
    bool ok = mFile->WriteHeader(markerCount, start, frameCount, frameRate, scale);
    ok = mFile->WriteMarkerNames(names) && ok;
    noteUnwritable = true;
    if (ok)
        forEachFrame([&](VTime time, int f) {
            options->Progress("Writing animation frames", (float)((double)f * 100.0 / frameCount));
            ok = mFile->WriteFrame(points, markerCount, time, f);
            return ok;
        });
    if (unwritable > 0) {
        char text[600];
        std::snprintf(text, sizeof text, "%s; it is written as a gap (%lld such positions in all).\n",
                      firstUnwritable.Buffer(), (long long)unwritable);
        mMessageText += text;
    }
    ok = mFile->WriteEnd() && ok;
    if (!ok) {
        DiscardFile();
        // A file that refused what it was given says why; any other failed write is a full disk.
        const char* refusal = mFile->GetWriteRefusal();
        if (refusal && *refusal) return VOxaMotionSupport::Refuse(mError, refusal);
        mError.SetLastErrorID(eOUT_OF_DISK_SPACE);
        return false;
    }
    const char* warning = mFile->GetWriteNotes();
    if (warning && *warning) mMessageText += warning;
    return true;
}
