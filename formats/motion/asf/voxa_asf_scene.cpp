#include "formats/motion/asf/voxa_asf_scene.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "animation/anim_import_filters.h"
#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "attributes/voxa_skeleton.h"
#include "base/vge_euler.h"
#include "base/vge_matrix.h"
#include "base/vnumber_text.h"
#include "formats/motion/voxa_motion_base.h"
#include "formats/motion/voxa_motion_names.h"
#include "formats/motion/voxa_skeleton_support.h"
#include "scene/voxa_limits_adapter.h"
#include "scene/voxa_node.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"

VOBJECT_IMPLEMENT_CLASS(VOxaAsfScene, VObject);

namespace {

// The axes (0 x, 1 y, 2 z) of the even rotation-order codes, first applied first.
const int kOrderAxes[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 2, 0}, {1, 0, 2}, {2, 0, 1}, {2, 1, 0}};

void Normalize3(double* v) {
    // Scaled first, so that huge components do not overflow the length.
    double m = std::fmax(std::fabs(v[0]), std::fmax(std::fabs(v[1]), std::fabs(v[2])));
    if (!(m > 0.0) || !std::isfinite(m)) {
        v[0] = v[1] = v[2] = 0.0;
        return;
    }
    double x = v[0] / m, y = v[1] / m, z = v[2] / m;
    double len = std::sqrt(x * x + y * y + z * z);
    v[0] = x / len;
    v[1] = y / len;
    v[2] = z / len;
}

// m = m x the rotation of `degrees` about `axis` (row-vector form: m first, then the rotation).
void MultAxisRotation(double m[4][4], int axis, double degrees) {
    const double a = degrees * (M_PI / 180.0);
    const double c = std::cos(a), s = std::sin(a);
    // The two columns the rotation mixes, and the sign of the sine in each.
    int p, q;
    if (axis == 0) {
        p = 1;
        q = 2;
    } else if (axis == 1) {
        p = 2;
        q = 0;
    } else {
        p = 0;
        q = 1;
    }
    for (int r = 0; r < 3; ++r) {
        const double u = m[r][p], v = m[r][q];
        m[r][p] = u * c - v * s;
        m[r][q] = u * s + v * c;
    }
}

VgeTVector ToVector(const double* v) {
    return VgeTVector(v[0], v[1], v[2], 0.0);
}

bool IsAnimatedChannel(VOxaNode* node, const char* path) {
    if (!node) return false;
    VOxaTakeNode* take = node->GetCurrentTakeNode();
    if (!take) return false;
    VFCurveNode* channel = take->GetVFCurveNode()->FindChild(path);
    return channel && channel->IsAnimated(true);
}

void AttachCurve(VFCurveNode* root, const char* path, VFCurve*& curve) {
    if (!curve) return;
    VFCurveNode* channel = root ? root->FindChild(path) : nullptr;
    if (channel)
        channel->FCurveSet(curve, true);
    else
        delete curve;
    curve = nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// AsfBone

AsfBone::AsfBone() {
    VgeMatrixIdentity(mAxis);
    VgeMatrixIdentity(mAxisInverse);
    VgeMatrixIdentity(mParentAxis);
    VgeMatrixIdentity(mParentAxisInverse);
    VgeMatrixIdentity(mReadFrame);
}

AsfBone::~AsfBone() {
    DestroyReadCurves();
}

void AsfBone::AddDof(int code) {
    if (mDofCount < kMaxDofs) mDofs[mDofCount++] = code;
}

bool AsfBone::HasTranslationDof() const {
    for (int i = 0; i < mDofCount; ++i)
        if (mDofs[i] <= eASF_TZ) return true;
    return false;
}

int AsfBone::GetRotationDofCount() const {
    int n = 0;
    for (int i = 0; i < mDofCount; ++i)
        n += mDofs[i] >= eASF_RZ;
    return n;
}

int AsfBone::GetDofRotationOrder() const {
    int last = 2, next = 1;  // z and y when missing
    int found = 0;
    for (int i = mDofCount - 1; i >= 0 && found < 2; --i) {
        if (mDofs[i] < eASF_RZ) continue;
        const int axis = eASF_RX - mDofs[i];  // rx 0, ry 1, rz 2
        if (found == 0)
            last = axis;
        else
            next = axis;
        ++found;
    }
    switch (last) {
        case 0:
            return next == 2 ? 4 : 10;
        case 1:
            return next == 2 ? 2 : 8;
        default:
            return next == 0 ? 6 : 0;
    }
}

void AsfBone::BuildAxis() {
    VgeMatrixIdentity(mAxis);
    VgeEulerToMatrix(mAxis, mAxisAngles[0], mAxisAngles[1], mAxisAngles[2], mAxisOrder);
    VgeMatrixIdentity(mAxisInverse);
    VgeMatrixTranspose3(mAxisInverse, mAxis);
}

void AsfBone::AddChild(AsfBone* child) {
    child->mParent = this;
    mChildren.push_back(child);
}

void AsfBone::CreateReadCurves() {
    DestroyReadCurves();
    static const float kColors[3][3] = {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};
    const bool translation = HasTranslationDof();
    const bool rotation = GetRotationDofCount() > 0;
    for (int i = 0; i < 3; ++i) {
        if (translation) {
            mReadT[i] = VFCurve::Create();
            mReadT[i]->SetColor(kColors[i]);
            mReadT[i]->KeyModifyBegin();
        }
        if (rotation) {
            mReadR[i] = VFCurve::Create();
            mReadR[i]->SetColor(kColors[i]);
            mReadR[i]->KeyModifyBegin();
        }
    }
    VgeMatrixIdentity(mReadFrame);
    VgeRMatrixMult(mReadFrame, mAxis, mParentAxisInverse);
    VgeMatrixMultVector3(mReadOffset, mParentAxisInverse, mParentOffset);
    // The root's translation dofs move the whole skeleton along the world's axes, from its
    // position: its orientation turns the frame of its rotation dofs only.
    if (!mParent)
        for (int i = 0; i < 3; ++i)
            mReadOffset[i] = mOffset[i];
}

void AsfBone::ApplyFrame(const double* values, VTime time, double lengthFactor, double angleFactor) {
    double t[3] = {0.0, 0.0, 0.0};
    double m[4][4];
    VgeMatrixIdentity(m);
    for (int i = 0; i < mDofCount; ++i) {
        const int code = mDofs[i];
        if (code <= eASF_TZ)
            t[code] = values[i] * lengthFactor;
        else
            MultAxisRotation(m, eASF_RX - code, values[i] * angleFactor);
    }
    if (mReadT[0]) {
        // (t x A + parent offset) x parent A^-1 = t x (A x parent A^-1) + parent offset x parent A^-1
        double out[3] = {t[0], t[1], t[2]};
        if (mParent) VgeMatrixMultVector3(out, mReadFrame, t);
        for (int i = 0; i < 3; ++i)
            if (mReadT[i]->KeyAppendFast(time, (float)(out[i] + mReadOffset[i])) < 0) throw std::bad_alloc();
    }
    if (mReadR[0]) {
        VgeRMatrixMult(m, m, mReadFrame);
        double angles[3];
        VgeMatrixToEulerXYZ(angles, m);
        for (int i = 0; i < 3; ++i)
            if (mReadR[i]->KeyAppendFast(time, (float)angles[i]) < 0) throw std::bad_alloc();
    }
}

void AsfBone::FinishReadCurves() {
    for (int i = 0; i < 3; ++i) {
        if (mReadT[i]) mReadT[i]->KeyModifyEnd();
        if (mReadR[i]) mReadR[i]->KeyModifyEnd();
    }
    // A single key is a motion too (a one-frame file, or a bone given in one frame only): its
    // value holds for the whole take. Curves without keys go.
    const bool keepT = mReadT[0] && mReadT[0]->KeyGetCount() >= 1;
    const bool keepR = mReadR[0] && mReadR[0]->KeyGetCount() >= 1;
    for (int i = 0; i < 3; ++i) {
        if (!keepT) {
            delete mReadT[i];
            mReadT[i] = nullptr;
        }
        if (!keepR) {
            delete mReadR[i];
            mReadR[i] = nullptr;
        }
    }
    ApplyJointImportFilters(keepT ? mReadT : nullptr, keepR ? mReadR : nullptr);
}

void AsfBone::ReleaseReadCurves() {
    for (int i = 0; i < 3; ++i)
        mReadT[i] = mReadR[i] = nullptr;
}

void AsfBone::DestroyReadCurves() {
    for (int i = 0; i < 3; ++i) {
        delete mReadT[i];
        delete mReadR[i];
        mReadT[i] = mReadR[i] = nullptr;
    }
}

// ---------------------------------------------------------------------------------------------
// VOxaAsfScene

VOxaAsfScene* VOxaAsfScene::Create() {
    return new VOxaAsfScene();
}

VOxaAsfScene::VOxaAsfScene() = default;

VOxaAsfScene::~VOxaAsfScene() {
    DestroyTree(mRoot);
}

void VOxaAsfScene::DestroyTree(AsfBone* bone) {
    // Iterative, since a file may describe a chain of any depth, and without a list of its own,
    // since a release must not need memory: down the last child, back up the parent link.
    AsfBone* b = bone;
    while (b) {
        if (!b->mChildren.empty()) {
            AsfBone* child = b->mChildren.back();
            b->mChildren.pop_back();
            if (child) {
                child->mParent = b;
                b = child;
            }
            continue;
        }
        AsfBone* up = b == bone ? nullptr : b->mParent;
        delete b;
        b = up;
    }
}

bool VOxaAsfScene::SetLengthUnit(double unit) {
    if (!(unit > 0.0) || !std::isfinite(unit)) return false;
    mLengthUnit = unit;
    return true;
}

void VOxaAsfScene::SetRootBone(AsfBone* root) {
    if (root == mRoot) return;
    DestroyTree(mRoot);
    mRoot = root;
    if (mRoot) mRoot->mParent = nullptr;
    mIndexValid = false;
}

std::vector<AsfBone*> VOxaAsfScene::GetBonesDepthFirst() const {
    std::vector<AsfBone*> out;
    std::vector<AsfBone*> stack;
    if (mRoot) stack.push_back(mRoot);
    while (!stack.empty()) {
        AsfBone* b = stack.back();
        stack.pop_back();
        out.push_back(b);
        for (size_t i = b->mChildren.size(); i-- > 0;)
            stack.push_back(b->mChildren[i]);
    }
    return out;
}

int VOxaAsfScene::GetBoneCount() const {
    return (int)GetBonesDepthFirst().size();
}

void VOxaAsfScene::BuildIndex() const {
    mIndex.clear();
    for (AsfBone* b : GetBonesDepthFirst())
        mIndex.emplace(b->mName.Buffer(), b);  // the first in depth-first order wins
    mIndexValid = true;
}

AsfBone* VOxaAsfScene::FindBone(const char* name) const {
    if (!name) return nullptr;
    if (!mIndexValid) BuildIndex();
    auto it = mIndex.find(name);
    return it == mIndex.end() ? nullptr : it->second;
}

bool VOxaAsfScene::Complete() {
    if (!mRoot) return false;
    mIndexValid = false;
    std::vector<std::pair<AsfBone*, int>> stack;
    stack.push_back({mRoot, 0});
    while (!stack.empty()) {
        AsfBone* b = stack.back().first;
        const int depth = stack.back().second;
        stack.pop_back();
        if (depth > kMaxDepth) return false;
        if (!b->mParent) {
            for (int i = 0; i < 3; ++i)
                b->mDefaultTranslation[i] = b->mOffset[i];
            VgeMatrixIdentity(b->mParentAxis);
            VgeMatrixIdentity(b->mParentAxisInverse);
            b->mParentOffset[0] = b->mParentOffset[1] = b->mParentOffset[2] = 0.0;
            VgeMatrixToEulerXYZ(b->mDefaultRotation, b->mAxis);
        } else {
            const AsfBone* p = b->mParent;
            // The root has no length: its position places it, and its children start where it
            // stands.
            for (int i = 0; i < 3; ++i) {
                b->mOffset[i] = b->mDirection[i] * b->mLength;
                b->mParentOffset[i] = p->mParent ? p->mOffset[i] : 0.0;
            }
            VgeMatrixCopy(b->mParentAxis, p->mAxis);
            VgeMatrixCopy(b->mParentAxisInverse, p->mAxisInverse);
            VgeMatrixMultVector3(b->mDefaultTranslation, b->mParentAxisInverse, b->mParentOffset);
            double m[4][4];
            VgeMatrixIdentity(m);
            VgeRMatrixMult(m, b->mAxis, b->mParentAxisInverse);
            VgeMatrixToEulerXYZ(b->mDefaultRotation, m);
        }
        for (size_t i = b->mChildren.size(); i-- > 0;)
            stack.push_back({b->mChildren[i], depth + 1});
    }
    return true;
}

void VOxaAsfScene::Collapse() {
    if (!mRoot) return;
    // Post-order (children before parents): reverse of a pre-order that visits the last child
    // first... any order works as long as a bone is rebuilt after all of its descendants.
    std::vector<AsfBone*> order = GetBonesDepthFirst();
    for (size_t k = order.size(); k-- > 0;) {
        AsfBone* p = order[k];
        // A bone without dofs but with children only carries them to where they start; one
        // without children is a joint of its own, with a name and a place, and stays.
        bool any = false;
        for (AsfBone* c : p->mChildren)
            any = any || (c->mDofCount == 0 && !c->mChildren.empty());
        if (!any) continue;
        std::vector<AsfBone*> kept;
        kept.reserve(p->mChildren.size());
        for (AsfBone* c : p->mChildren) {
            if (c->mDofCount != 0 || c->mChildren.empty()) {
                kept.push_back(c);
                continue;
            }
            // The removed bone's children take its place, with its parent frame, and start where
            // it started plus their own offset.
            for (AsfBone* g : c->mChildren) {
                VgeMatrixCopy(g->mParentAxis, c->mParentAxis);
                VgeMatrixCopy(g->mParentAxisInverse, c->mParentAxisInverse);
                for (int i = 0; i < 3; ++i)
                    g->mParentOffset[i] += c->mParentOffset[i];
                VgeMatrixMultVector3(g->mDefaultTranslation, g->mParentAxisInverse, g->mParentOffset);
                g->mParent = p;
                kept.push_back(g);
            }
            c->mChildren.clear();
            delete c;
        }
        p->mChildren.swap(kept);
    }
    mIndexValid = false;
}

// ---------------------------------------------------------------------------------------------
double VOxaAsfScene::LargestWritten(double lengthUnit) {
    return kMaxMagnitude / std::fmax(1.0, 2.54 / lengthUnit) * (1.0 - 1e-6);
}

// Export: bones from nodes

bool VOxaAsfScene::BuildFromNode(VOxaNode* node, bool translation, const VgeTVector& scale, VTime firstFrame,
                                 std::vector<std::pair<VString, VString>>* renamed,
                                 std::vector<VOxaNode*>* leftOut, VString* refusal) {
    if (!node) return false;
    const auto refuse = [refusal](const char* format, int limit) {
        if (refusal) {
            char text[160];
            std::snprintf(text, sizeof text, format, limit);
            *refusal = text;
        }
        return false;
    };
    SetName("ASF");
    mLengthUnit = 1.0;
    AsfBone* root = new AsfBone();
    root->mName = "root";
    const int rootDofs[6] = {eASF_TX, eASF_TY, eASF_TZ, eASF_RX, eASF_RY, eASF_RZ};
    for (int code : rootDofs)
        root->AddDof(code);
    // The root's frame is the identity: the file gives it "axis xyz" and a zero orientation, and
    // the AMC values of the root must read back against the same frame.
    root->mBoundNode = node;
    SetRootBone(root);

    // A node's whole scale at the first frame (its own times its ancestors' and `scale`): its
    // children's translations, and so its bone, take it. AMC holds no scale, so a constant scale
    // is kept in the lengths; one that changes over the take is not.
    auto scaled = [firstFrame](VOxaNode* n, const VgeTVector& inherited) {
        const VgeTVector s = n->EvaluateLocalTransform(firstFrame).GetS();
        return VgeTVector(inherited[0] * s[0], inherited[1] * s[1], inherited[2] * s[2], 0.0);
    };
    struct Item {
        VOxaNode* node;
        AsfBone* bone;
        VgeTVector scale;
    };
    std::vector<Item> stack{{node, root, scaled(node, scale)}};
    std::unordered_set<const AsfBone*> dummyBones;
    int count = 1;
    while (!stack.empty()) {
        Item item = stack.back();
        stack.pop_back();
        VOxaNode* n = item.node;
        AsfBone* b = item.bone;
        const std::vector<VOxaNode*> children = VOxaSkeletonSupport::WrittenChildren(n, leftOut);
        const int k = (int)children.size();
        if (k == 0) continue;
        std::vector<VgeTVector> t((size_t)k);
        for (int i = 0; i < k; ++i) {
            VOxaNode* c = children[(size_t)i];
            c->GetLclTranslation(t[(size_t)i]);
            // Without translation dofs a bone starts where the node's current take puts it at the
            // first frame: a reader may give a take translations other than the defaults (an HTR
            // segment whose frame was turned, say).
            if (!translation && c->GetCurrentTakeNodeIndex() != 0)
                t[(size_t)i] = VOxaMotionSupport::JointTranslation(
                    t[(size_t)i], c->EvaluateLocalTransform(firstFrame).GetT());
            for (int a = 0; a < 3; ++a)
                t[(size_t)i][a] *= item.scale[a];
        }
        bool differ = false;
        for (int i = 1; i < k && !differ; ++i)
            differ = !(t[(size_t)i] == t[0]);
        const bool zeroStart = t[0] == VgeTVector();
        // The root has no direction in the file: its children must start where it starts.
        const bool dummies = differ || (b == root && !zeroStart);
        if (!dummies) {
            double d[3];
            VgeMatrixMultVector3(d, b->mAxis, t[0].mData);
            b->mLength = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
            for (int a = 0; a < 3; ++a)
                b->mDirection[a] = d[a];
            Normalize3(b->mDirection);
        } else {
            b->mLength = 0.0;
        }
        for (int i = 0; i < k; ++i) {
            VOxaNode* c = children[(size_t)i];
            if (count + 2 > kMaxBones)
                return refuse("The skeleton needs more than the %d bones an ASF file may hold.", kMaxBones);
            AsfBone* parent = b;
            if (dummies) {
                // A bone is the write's own until its parent lists it (memory may run out first).
                std::unique_ptr<AsfBone> madeDummy(new AsfBone());
                AsfBone* d = madeDummy.get();
                d->mName = c->GetNameWithoutPrefix();
                d->mName += "Dummy";
                dummyBones.insert(d);
                VgeMatrixCopy(d->mAxis, b->mAxis);
                VgeMatrixCopy(d->mAxisInverse, b->mAxisInverse);
                VgeMatrixToEulerXYZ(d->mAxisAngles, d->mAxis);
                double v[3];
                VgeMatrixMultVector3(v, b->mAxis, t[(size_t)i].mData);
                d->mLength = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
                for (int a = 0; a < 3; ++a)
                    d->mDirection[a] = v[a];
                Normalize3(d->mDirection);
                b->AddChild(d);
                madeDummy.release();
                parent = d;
                ++count;
            }
            std::unique_ptr<AsfBone> made(new AsfBone());
            AsfBone* cb = made.get();
            cb->mName = c->GetNameWithoutPrefix();
            // A joint its animation moves in its parent's frame needs translation dofs of its own.
            if (translation || VOxaMotionSupport::TranslationVaries(c)) {
                cb->AddDof(eASF_TX);
                cb->AddDof(eASF_TY);
                cb->AddDof(eASF_TZ);
            }
            cb->AddDof(eASF_RX);
            cb->AddDof(eASF_RY);
            cb->AddDof(eASF_RZ);
            VgeTVector r;
            c->GetLclRotation(r);
            double local[4][4];
            VgeMatrixIdentity(local);
            VgeEulerXYZToMatrix(local, r[0], r[1], r[2]);
            VgeRMatrixMult(cb->mAxis, local, b->mAxis);
            VgeMatrixTranspose3(cb->mAxisInverse, cb->mAxis);
            VgeMatrixToEulerXYZ(cb->mAxisAngles, cb->mAxis);
            cb->mAxisOrder = 0;
            cb->mBoundNode = c;
            parent->AddChild(cb);
            made.release();
            ++count;
            stack.push_back({c, cb, scaled(c, item.scale)});
        }
    }
    if (!Complete())
        return refuse("The skeleton is deeper than the %d bones an ASF file may nest.", kMaxDepth);

    // An end node (a reader's mark of where its parent's bone ends) without animation is no
    // joint: its place is its parent bone's end. Every other node is a joint with a name and
    // stays a bone, of length 0 where nothing follows it.
    std::vector<AsfBone*> order = GetBonesDepthFirst();
    for (size_t k = order.size(); k-- > 0;) {
        AsfBone* p = order[k];
        std::vector<AsfBone*> kept;
        bool removed = false;
        for (AsfBone* c : p->mChildren) {
            const bool bare = c->mChildren.empty() && c->mLength == 0.0 &&
                              VOxaMotionSupport::IsEndNode(c->mBoundNode) &&
                              !IsAnimatedChannel(c->mBoundNode, "Transform/T") &&
                              !IsAnimatedChannel(c->mBoundNode, "Transform/R");
            if (bare) {
                delete c;
                removed = true;
            } else {
                kept.push_back(c);
            }
        }
        if (removed) p->mChildren.swap(kept);
    }
    SeparateNames(dummyBones, renamed);
    mIndexValid = false;
    return true;
}

namespace {

// True for a name that an AMC reader would read as a frame number: one that begins with a number.
bool StartsWithNumber(const char* name) {
    double number;
    return name && *name && VParseDouble(name, name + std::strlen(name), number, false) != nullptr;
}

std::string LowerName(const VString& name) {
    std::string key(name.Buffer());
    for (char& c : key)
        c = (char)std::tolower((unsigned char)c);
    return key;
}

}  // namespace

void VOxaAsfScene::SeparateNames(const std::unordered_set<const AsfBone*>& dummies,
                                 std::vector<std::pair<VString, VString>>* renamed) {
    static const char* const kReserved[] = {"root", "begin", "end"};
    const std::vector<AsfBone*> bones = GetBonesDepthFirst();
    // The names kept as they are, and the reserved words, are taken; the names to change are
    // numbered past them in depth-first order.
    std::unordered_set<std::string> taken(std::begin(kReserved), std::end(kReserved));
    // A bone that repeats the exact name of one before it changes too: the reader refuses names
    // that repeat.
    std::unordered_set<std::string> kept;
    std::vector<AsfBone*> changing;
    for (AsfBone* bone : bones) {
        if (bone == mRoot) continue;
        const std::string key = LowerName(bone->mName);
        const bool reserved =
            std::find(std::begin(kReserved), std::end(kReserved), key) != std::end(kReserved) ||
            StartsWithNumber(bone->mName.Buffer());
        if (reserved || dummies.count(bone) || !kept.emplace(bone->mName.Buffer()).second)
            changing.push_back(bone);
        else
            taken.insert(key);
    }
    for (AsfBone* bone : changing) {
        const VString original = bone->mName;
        // A name an AMC reader would take for a frame number gets a leading "_".
        VString base = original;
        if (StartsWithNumber(original.Buffer())) {
            base = "_";
            base += original;
            bone->mName = base;
        }
        std::string key = LowerName(base);
        for (int n = 2; taken.count(key); ++n) {
            bone->mName = base;
            bone->mName += "_";
            bone->mName += n;
            key = LowerName(bone->mName);
        }
        taken.insert(key);
        if (bone->mName == original || dummies.count(bone)) continue;
        bone->mNodeName = original;
        if (renamed) renamed->push_back({original, bone->mName});
    }
}

// ---------------------------------------------------------------------------------------------
// Import: nodes from bones

void VOxaAsfScene::SetupNode(VOxaNode* node, AsfBone* bone, const char* takeName, bool limits) {
    if (takeName && *takeName) {
        node->AddTakeNode(takeName);  // null when the node has that take already
        node->SetCurrentTakeNode(takeName);
    }
    node->SetLclTranslation(ToVector(bone->mDefaultTranslation));
    node->SetLclRotation(ToVector(bone->mDefaultRotation));
    VOxaTakeNode* take = node->GetCurrentTakeNode();
    VFCurveNode* root = take ? take->GetVFCurveNode() : nullptr;
    static const char* const kT[3] = {"Transform/T/X", "Transform/T/Y", "Transform/T/Z"};
    static const char* const kR[3] = {"Transform/R/X", "Transform/R/Y", "Transform/R/Z"};
    for (int i = 0; i < 3; ++i) {
        AttachCurve(root, kT[i], bone->mReadT[i]);
        AttachCurve(root, kR[i], bone->mReadR[i]);
    }
    if (!limits || !bone->mParent || !node->GetLimits()) return;
    VOxaNodeLimitsAdapter adapter(node->GetLimits());
    if (!bone->HasTranslationDof()) {
        // The translation is locked at its default.
        adapter.SetAuto(0, false);
        adapter.SetEnable(0, true);
        adapter.SetDefault(0, ToVector(bone->mDefaultTranslation));
    }
    const int rotations = bone->GetRotationDofCount();
    if (rotations < 3) {
        adapter.SetAuto(1, false);
        adapter.SetEnable(1, true);
        // The limit frame: the bone's rest frame in its parent (its default rotation), and the
        // bone's axis frame decomposed in the order of its rotation dofs, stored by axis.
        adapter.SetDefault(1, ToVector(bone->mDefaultRotation));
        const int code = bone->GetDofRotationOrder();
        double angles[3];
        VgeMatrixToEuler(angles, bone->mAxis, code);
        double byAxis[3];
        for (int i = 0; i < 3; ++i)
            byAxis[kOrderAxes[code / 2][i]] = angles[i];
        adapter.SetRotationAxis(ToVector(byAxis));
        // One free component per rotation dof: the first dof takes z, the next y, the next x.
        double lo[3] = {0.0, 0.0, 0.0}, hi[3] = {0.0, 0.0, 0.0};
        int slot = 2;
        for (int i = 0; i < bone->mDofCount && slot >= 0; ++i) {
            if (bone->mDofs[i] < eASF_RZ) continue;
            lo[slot] = -180.0;
            hi[slot] = 180.0;
            --slot;
        }
        adapter.SetMin(1, ToVector(lo));
        adapter.SetMax(1, ToVector(hi));
        adapter.SetAxisLength(bone->mLength);
    }
}

VOxaNode* VOxaAsfScene::MakeNode(AsfBone* bone, VOxaSdkManager* manager, const char* takeName, bool limits) {
    VOxaNode* node = manager->CreateNode(bone->mName.Buffer());
    if (!node) return nullptr;
    if (VOxaSkeleton* skeleton = manager->CreateSkeleton()) {
        skeleton->SetSkeletonType(VOxaSkeleton::eLIMB_NODE);
        node->SetNodeAttribute(skeleton);
    }
    SetupNode(node, bone, takeName, limits);
    // The bone length, where the skeleton writers read it back (as the BVH and HTR readers keep
    // it).
    if (node->GetNodeProperties()) node->GetNodeProperties()->SetAxisLen(bone->mLength);
    // Every leaf bone ends in an end node, also one of length 0: it is a joint of its own (a
    // skeleton writer writes it as one, ended where it starts).
    const auto endName = mEndNames.find(bone);
    if (endName != mEndNames.end()) {
        if (VOxaNode* end = manager->CreateNode(endName->second.Buffer())) {
            if (VOxaSkeleton* skeleton = manager->CreateSkeleton()) {
                skeleton->SetSkeletonType(VOxaSkeleton::eLIMB_NODE);
                end->SetNodeAttribute(skeleton);
            }
            if (takeName && *takeName) end->AddTakeNode(takeName), end->SetCurrentTakeNode(takeName);
            double t[3];
            VgeMatrixMultVector3(t, bone->mAxisInverse, bone->mOffset);
            end->SetLclTranslation(ToVector(t));
            // The shape of the end nodes of the other skeleton readers, so that the writers
            // know it for the bone's end and write no joint for it.
            VOxaNodeLimitsAdapter endLimits(end->GetLimits());
            endLimits.SetAuto(1, false);
            endLimits.SetAxisLength(0.0);
            if (end->GetNodeProperties()) end->GetNodeProperties()->SetAxisLen(0.0);
            node->AddChild(end);
        }
    }
    return node;
}

void VOxaAsfScene::NameEndNodes() {
    mEndNames.clear();
    const std::vector<AsfBone*> bones = GetBonesDepthFirst();
    VOxaMadeUpNames madeUp;
    for (const AsfBone* bone : bones)
        madeUp.Use(bone->mName.Buffer());
    for (const AsfBone* bone : bones) {
        if (!bone->mChildren.empty() || !(bone->mParent || bone->mLength > 0.0)) continue;
        VString wanted = bone->mName;
        wanted += "_End";
        mEndNames[bone] = madeUp.Claim(wanted.Buffer());
    }
}

VOxaNode* VOxaAsfScene::CreateSubtree(AsfBone* top, VOxaSdkManager* manager, const char* takeName,
                                      bool limits) {
    if (!top || !manager) return nullptr;
    struct Item {
        AsfBone* bone;
        VOxaNode* parent;
    };
    VOxaNode* topNode = nullptr;
    std::vector<Item> stack{{top, nullptr}};
    while (!stack.empty()) {
        Item item = stack.back();
        stack.pop_back();
        VOxaNode* node = MakeNode(item.bone, manager, takeName, limits);
        if (!node) continue;  // the bone's subtree is left out
        if (item.parent)
            item.parent->AddChild(node);
        else
            topNode = node;
        for (size_t i = item.bone->mChildren.size(); i-- > 0;)
            stack.push_back({item.bone->mChildren[i], node});
    }
    return topNode;
}

VOxaNode* VOxaAsfScene::CreateNodes(VOxaSdkManager* manager, const char* takeName, bool limits) {
    NameEndNodes();
    return CreateSubtree(mRoot, manager, takeName, limits);
}

void VOxaAsfScene::UpdateNodes(VOxaNode* parent, VOxaSdkManager* manager, const char* takeName, bool limits) {
    if (!parent || !mRoot || !manager) return;
    NameEndNodes();
    VOxaNode* rootNode = parent->FindChild(mRoot->mName.Buffer(), true);
    if (!rootNode || !rootNode->GetParent()) {
        if (VOxaNode* created = CreateSubtree(mRoot, manager, takeName, limits)) parent->AddChild(created);
        return;
    }
    SetupNode(rootNode, mRoot, takeName, limits);
    struct Item {
        AsfBone* bone;
        VOxaNode* parent;
    };
    std::vector<Item> stack;
    for (size_t i = mRoot->mChildren.size(); i-- > 0;)
        stack.push_back({mRoot->mChildren[i], rootNode});
    while (!stack.empty()) {
        Item item = stack.back();
        stack.pop_back();
        VOxaNode* node = item.parent->FindChild(item.bone->mName.Buffer(), false);
        if (!node || !node->GetSkeleton()) {
            if (VOxaNode* created = CreateSubtree(item.bone, manager, takeName, limits))
                item.parent->AddChild(created);
            continue;
        }
        SetupNode(node, item.bone, takeName, limits);
        for (size_t i = item.bone->mChildren.size(); i-- > 0;)
            stack.push_back({item.bone->mChildren[i], node});
    }
}
