#include "scene/voxa_node_finder.h"

#include <cstring>
#include <utility>
#include <vector>

#include "attributes/voxa_generic_node.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene_contents.h"

// ---- Base walk --------------------------------------------------------------------------------

VArrayTemplate<VOxaNode*>& VOxaNodeFinder::Find(VOxaNode* root) {
    mRootNode = root;
    SearchRecursive(root);
    return mResult;
}

void VOxaNodeFinder::Reset() {
    mResult.Clear();
}

void VOxaNodeFinder::SearchRecursive(VOxaNode* node) {
    if (!node) return;
    // Pre-order with an explicit stack, so that a deep chain does not exhaust the call stack.
    if (CheckNode(node)) mResult.Add(node);
    std::vector<std::pair<VOxaNode*, int>> stack{{node, 0}};
    while (!stack.empty()) {
        auto& top = stack.back();
        if (top.second >= top.first->GetChildCount()) {
            stack.pop_back();
            continue;
        }
        VOxaNode* child = top.first->GetChild(top.second++);
        if (!child) continue;
        if (CheckNode(child)) mResult.Add(child);
        stack.emplace_back(child, 0);
    }
}

// ---- Duplicate names --------------------------------------------------------------------------

VOxaNodeFinderDuplicateName::VOxaNodeFinderDuplicateName(VOxaSceneContents* contents) : mContents(contents) {}

void VOxaNodeFinderDuplicateName::Reset() {
    VOxaNodeFinder::Reset();
    mNodes.Clear();
    mDuplicateNodes.Clear();
    mMaterials.Clear();
    mDuplicateMaterials.Clear();
    mTextures.Clear();
    mDuplicateTextures.Clear();
    mVideos.Clear();
    mDuplicateVideos.Clear();
    mGenericNodes.Clear();
    mDuplicateGenericNodes.Clear();
    mNodeSlots.Clear();
    mNodeNames.Clear();
    mNameCounts.Clear();
}

bool VOxaNodeFinderDuplicateName::GetOption(int index) const {
    return index >= 0 && index < eOptionCount && mOptions[index];
}

void VOxaNodeFinderDuplicateName::SetOption(int index, bool value) {
    if (index >= 0 && index < eOptionCount) mOptions[index] = value;
}

bool VOxaNodeFinderDuplicateName::CheckNode(VOxaNode* node) {
    if (!node) return false;
    // Geometry layers (materials, textures, videos) are not reachable from a node yet, so the
    // node name is the only check.
    return CheckNodeName(node);
}

void VOxaNodeFinderDuplicateName::RebuildNameIndex() {
    mNodeSlots.Clear();
    mNodeNames.Clear();
    mNameCounts.Clear();
    mNameCounts.SetCount(mNodes.GetCount());
    auto nameAt = [this](int position) { return mNodes[position]->GetName(); };
    for (int i = 0; i < mNodes.GetCount(); ++i) {
        mNodeSlots.Insert(mNodes[i], i);
        int first = mNodeNames.Find(mNodes[i]->GetName(), nameAt);
        if (first < 0) {
            mNodeNames.Insert(mNodes[i]->GetName(), i, nameAt);
            first = i;
        }
        ++mNameCounts[first];
    }
    mNamesStamp = VOxaObject::GetRenameStamp();
}

void VOxaNodeFinderDuplicateName::AppendNode(VOxaNode* node) {
    int position = mNodes.Add(node);
    if (position < 0) return;
    mNameCounts.Add(0);
    mNodeSlots.Insert(node, position);
    auto nameAt = [this](int at) { return mNodes[at]->GetName(); };
    int first = mNodeNames.Find(node->GetName(), nameAt);
    if (first < 0) {
        mNodeNames.Insert(node->GetName(), position, nameAt);
        first = position;
    }
    ++mNameCounts[first];
}

bool VOxaNodeFinderDuplicateName::IsNameInContents(const char* name) const {
    if (!mContents) return false;
    VOxaNode* found = mContents->FindNodeByName(name);
    if (!found) return false;
    VOxaNode* root = mContents->GetRootNode();
    if (found != root) return true;
    // The root itself does not count; another node of the scene may still bear its name.
    return root->FindChild(name, true, false) != nullptr;
}

bool VOxaNodeFinderDuplicateName::CheckNodeName(VOxaNode* node) {
    if (VOxaObject::GetRenameStamp() != mNamesStamp) RebuildNameIndex();
    if (!mOptions[eNodeNames]) {
        AppendNode(node);
        return false;
    }
    const char* name = node->GetName();
    bool clash = IsNameInContents(name);
    if (!clash) {
        // Another node of the array bears the name: its first holder is another node, or the
        // node itself holds it with others.
        auto nameAt = [this](int at) { return mNodes[at]->GetName(); };
        int first = mNodeNames.Find(name, nameAt);
        clash = first >= 0 && (mNodes[first] != node || mNameCounts[first] > 1);
    }
    if (clash) mDuplicateNodes.Add(node);
    if (mNodeSlots.Find(node) < 0) AppendNode(node);
    return clash;
}

bool VOxaNodeFinderDuplicateName::CheckGenericNodeName(const char* name) {
    if (!name || !mOptions[eGenericNodeNames]) return false;
    if (mContents) {
        VOxaGenericNode* found = mContents->GetGenericNodeByName(name);
        if (!found) return false;
        mDuplicateGenericNodes.Add(found);
        return true;
    }
    for (int i = 0; i < mGenericNodes.GetCount(); ++i) {
        VOxaGenericNode* node = mGenericNodes[i];
        if (node && std::strcmp(node->GetName(), name) == 0) {
            mDuplicateGenericNodes.Add(node);
            return true;
        }
    }
    return false;
}
