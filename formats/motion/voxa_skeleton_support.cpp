#include "formats/motion/voxa_skeleton_support.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "animation/fcurve.h"
#include "formats/motion/voxa_motion_base.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_node_attribute.h"
#include "scene/voxa_take_node.h"

namespace {

// Most nodes one warning names; the rest are counted.
constexpr size_t kNamedLeftOut = 20;
// Frame numbers are written as whole numbers the readers take as ints.
constexpr double kLargestFrameNumber = 2.0e9;

}  // namespace

bool VOxaSkeletonSupport::IsNeverSeen(VOxaNode* node) {
    if (!node || node->GetCurrentTakeNodeIndex() == 0) return false;
    VOxaTakeNode* take = node->GetCurrentTakeNode();
    VFCurve* occlusion = take ? take->GetOcclusion() : nullptr;
    const int count = occlusion ? occlusion->KeyGetCount() : 0;
    if (count == 0) return false;
    // The marker readers key occlusion with constant interpolation: every key above one half
    // keeps the curve there between the keys too.
    for (int k = 0; k < count; ++k)
        if (!(occlusion->KeyGetValue(k) > 0.5f)) return false;
    return true;
}

std::vector<VOxaNode*> VOxaSkeletonSupport::WrittenChildren(VOxaNode* node, std::vector<VOxaNode*>* leftOut) {
    std::vector<VOxaNode*> children;
    const int count = node ? node->GetChildCount() : 0;
    children.reserve((size_t)count);
    for (int i = 0; i < count; ++i) {
        VOxaNode* child = node->GetChild(i);
        if (!child) continue;
        if (child->GetChildCount() == 0 && IsNeverSeen(child)) {
            if (leftOut) leftOut->push_back(child);
            continue;
        }
        children.push_back(child);
    }
    return children;
}

void VOxaSkeletonSupport::WarnLeftOut(VStreamOptionsMotion* options, const std::vector<VOxaNode*>& leftOut,
                                      const char* format) {
    if (!options || leftOut.empty()) return;
    VString text("");
    text += (int)leftOut.size();
    text += leftOut.size() == 1 ? " marker is" : " markers are";
    text += " occluded in every frame and left out (";
    text += format;
    text += " holds no gaps): ";
    for (size_t i = 0; i < leftOut.size() && i < kNamedLeftOut; ++i) {
        if (i > 0) text += ", ";
        text += "\"";
        text += leftOut[i]->GetNameWithoutPrefix();
        text += "\"";
    }
    if (leftOut.size() > kNamedLeftOut) {
        text += " and ";
        text += (int)(leftOut.size() - kNamedLeftOut);
        text += " more";
    }
    options->Message("Warning", text.Buffer(), "Ok");
}

void VOxaSkeletonSupport::WarnMarkerEnds(VStreamOptionsMotion* options, VOxaNode* root, const char* format,
                                         bool rootRenamed) {
    if (!options || !root) return;
    size_t markers = 0;
    std::vector<VOxaNode*> pending{root};
    while (!pending.empty()) {
        VOxaNode* node = pending.back();
        pending.pop_back();
        const std::vector<VOxaNode*> children = WrittenChildren(node, nullptr);
        const VOxaNodeAttribute* attribute = node->GetNodeAttribute();
        if (children.empty() && attribute && attribute->GetAttributeType() == VOxaNodeAttribute::eMarker) {
            ++markers;
        }
        for (size_t k = children.size(); k-- > 0;)
            pending.push_back(children[k]);
    }
    if (markers == 0) return;
    // BVH and HTR end a leaf joint one bone length away; ASF gives a marker a bone of length 0,
    // whose end a reader puts at the marker.
    char text[600];
    std::snprintf(
        text, sizeof text,
        "%zu marker%s written to %s as joint%s, each ending in an end site %s: read back, each end "
        "site is a node of its own, named as its marker is written with \"_End\" after it%s%.100s%s.",
        markers, markers == 1 ? " is" : "s are", format, markers == 1 ? "" : "s",
        std::strcmp(format, "ASF") == 0
            ? "at its place (a bone of length 0)"
            : "one bone length away (10 cm unless the node has a length of its own)",
        rootRenamed ? ", and the skeleton's root \"" : "", rootRenamed ? root->GetNameWithoutPrefix() : "",
        rootRenamed ? "\" comes back as \"root\"" : "");
    options->Message("Warning", text, "Ok");
}

bool VOxaSkeletonSupport::FramesFit(const VStreamOptionsMotion* options, VString& refusal) {
    if (!options) return true;
    const int64_t period = options->GetFramePeriod().Get();
    const int64_t start = options->GetStartTime().Get();
    const int count = options->GetFrameCount();
    // In doubles: the product may pass the 64-bit range.
    const double last = (double)start + (double)period * (double)(count > 1 ? count - 1 : 0);
    const double framesPerSecond = FrameRate(options);
    const bool tooFast = framesPerSecond > VOxaMotionSupport::kMaxRate;
    if (!tooFast && period > 0 && period < VTime::kInfinite && std::fabs(last) < 9.0e18) return true;
    char rate[40];
    std::snprintf(rate, sizeof rate, "%.10g", framesPerSecond);
    refusal = "at ";
    refusal += rate;
    refusal += " frames per second ";
    if (tooFast) {
        char text[80];
        std::snprintf(text, sizeof text,
                      "the take is faster than the %.0f frames per second the motion formats hold",
                      VOxaMotionSupport::kMaxRate);
        refusal += text;
    } else if (period > 0 && period < VTime::kInfinite) {
        refusal += "the take's ";
        refusal += count;
        refusal += " frames reach past the end of the time line";
    } else {
        refusal += "a frame lasts longer than the time line holds";
    }
    refusal += ": the take cannot be written";
    return false;
}

double VOxaSkeletonSupport::StartFrame(VTime start, double rate) {
    const double frames = start.GetSecondDouble() * rate;
    if (!std::isfinite(frames)) return frames;
    // Half a frame goes up, within the millionth of a frame the time line rounds to (a start of
    // -0.005 s at 100 frames per second is frame 1 whichever side of -0.5 its ticks fall).
    const double below = std::floor(frames);
    return (frames - below >= 0.5 - 1e-6 ? below + 1.0 : below) + 1.0;
}

VString VOxaSkeletonSupport::BetweenFramesNote(VTime start, double rate, const char* format) {
    const double frames = start.GetSecondDouble() * rate;
    // A millionth of a frame is the time line's rounding, not a start between frames.
    if (!std::isfinite(frames) || std::fabs(frames - std::round(frames)) <= 1e-6) return VString("");
    const double first = StartFrame(start, rate);
    char text[300];
    std::snprintf(text, sizeof text,
                  "The take starts at %.9g s, between two frames at %.10g frames per second; %s frame "
                  "numbers start it at frame %.0f, %.9g s (%+.9g s).\n",
                  start.GetSecondDouble(), rate, format, first, (first - 1.0) / rate,
                  (first - 1.0) / rate - start.GetSecondDouble());
    return VString(text);
}

long long VOxaSkeletonSupport::FirstFrameNumber(VTime start, double rate) {
    const double first = StartFrame(start, rate);
    return std::fabs(first) <= kLargestFrameNumber ? (long long)first : 1;
}

bool VOxaSkeletonSupport::FrameNumbersFit(VTime start, double rate, long long count, const char* format,
                                          long long& first, VString& refusal) {
    const double number = StartFrame(start, rate);
    const double last = number + (double)(count > 1 ? count - 1 : 0);
    // The frame before the first is a number too: an AMC range counts from it.
    if (number - 1.0 >= (double)INT_MIN && last <= (double)INT_MAX) {
        first = (long long)number;
        return true;
    }
    first = 1;
    char text[300];
    std::snprintf(
        text, sizeof text,
        "%s frame numbers run from %d to %d: the take starting at %.10g s would need frames %.0f to "
        "%.0f, so its start cannot be kept and the file is not written",
        format, INT_MIN + 1, INT_MAX, start.GetSecondDouble(), std::isfinite(number) ? number : 0.0,
        std::isfinite(last) ? last : 0.0);
    refusal = text;
    return false;
}

double VOxaSkeletonSupport::FrameRate(const VStreamOptionsMotion* options) {
    const double rate = options ? options->GetFrameRate() : 0.0;
    if (rate > 0.0 && std::isfinite(rate)) return rate;
    const double seconds = options ? options->GetFramePeriod().GetSecondDouble() : 0.0;
    return seconds > 0.0 ? 1.0 / seconds : 0.0;
}

void VOxaSkeletonSupport::FormatRate(char* out, size_t size, double rate) {
    // A whole rate as a whole number ("1000000", not "1e+06").
    if (rate == std::floor(rate) && std::fabs(rate) < 1e15) {
        std::snprintf(out, size, "%.0f", rate);
        return;
    }
    // The fewest digits that read back as the same rate, or as one of the same frame period.
    for (int digits = 6; digits <= 17; ++digits) {
        std::snprintf(out, size, "%.*g", digits, rate);
        const double back = std::strtod(out, nullptr);
        if (back == rate || VOxaMotionSupport::SamePeriod(back, rate)) return;
    }
}

VOxaScaleChanges::VOxaScaleChanges(std::vector<VgeTVector> reference)
    : mReference(std::move(reference)), mChanged(mReference.size(), 0) {}

void VOxaScaleChanges::Note(size_t joint, const VgeTVector& scale) {
    if (joint >= mReference.size() || mChanged[joint]) return;
    const VgeTVector& reference = mReference[joint];
    // Within a millionth: a scale read back in single precision is no change.
    for (int a = 0; a < 3; ++a)
        if (!(std::fabs(scale[a] - reference[a]) <= 1e-6 * std::max(1.0, std::fabs(reference[a]))))
            mChanged[joint] = 1;
}

VString VOxaScaleChanges::Text(const std::vector<const char*>& names, const char* format) const {
    std::vector<const char*> changed;
    for (size_t k = 0; k < mChanged.size() && k < names.size(); ++k)
        if (mChanged[k] && names[k]) changed.push_back(names[k]);
    if (changed.empty()) return VString("");
    const bool one = changed.size() == 1;
    VString text("The scale of ");
    if (one) {
        text += "joint ";
    } else {
        text += (int)changed.size();
        text += " joints (";
    }
    for (size_t i = 0; i < changed.size() && i < kNamedLeftOut; ++i) {
        if (i > 0) text += ", ";
        text += "\"";
        text += changed[i];
        text += "\"";
    }
    if (changed.size() > kNamedLeftOut) {
        text += " and ";
        text += (int)(changed.size() - kNamedLeftOut);
        text += " more";
    }
    if (!one) text += ")";
    text += " changes over the take; ";
    text += format;
    text += one ? " holds no scale, so its bone keeps its length in the skeleton written."
                : " holds no scale, so their bones keep their lengths in the skeleton written.";
    return text;
}

void VOxaScaleChanges::Warn(VStreamOptionsMotion* options, const std::vector<const char*>& names,
                            const char* format) const {
    const VString text = Text(names, format);
    if (options && !text.IsEmpty()) options->Message("Warning", text.Buffer(), "Ok");
}
