// The node walks that the file readers and writers declare: they need the scene graph.

#include <cstdio>
#include <cstring>
#include <vector>

#include "base/vlisted_name_internal.h"
#include "oxa_codec/voxa_reader.h"
#include "oxa_codec/voxa_writer.h"
#include "scene/voxa_node.h"
#include "scene/voxa_node_finder.h"
#include "scene/voxa_scene.h"

namespace {
bool ReportDuplicates(VOxaNodeFinderDuplicateName& finder, VString& report) {
    VArrayTemplate<VOxaNode*>& duplicates = finder.GetDuplicateNodes();
    for (int i = 0; i < duplicates.GetCount(); ++i) {
        report += "\n    ";
        report += duplicates[i]->GetName();
    }
    return duplicates.GetCount() == 0;
}
}  // namespace

bool VOxaReader::CheckDuplicateNodeNames(VOxaNode* node, VString& report) {
    if (!node) return true;
    VOxaNodeFinderDuplicateName finder(nullptr);
    finder.Find(node);
    return ReportDuplicates(finder, report);
}

bool VOxaReader::CheckDuplicateNamesBelow(VOxaNode* reference, VString& report) {
    if (!reference) return true;
    VOxaNodeFinderDuplicateName finder(nullptr);
    for (int i = 0, n = reference->GetChildCount(); i < n; ++i)
        finder.Find(reference->GetChild(i));
    return ReportDuplicates(finder, report);
}

VOxaNode* VOxaWriter::FindMotionRootNode(VOxaScene* scene) {
    VOxaNode* node = scene ? scene->GetRootNode() : nullptr;
    // Down the chain of only children; a fork ends the search.
    while (node) {
        if (node->IsMarked()) return node;
        if (node->GetChildCount() != 1) return nullptr;
        node = node->GetChild(0);
    }
    return nullptr;
}

bool VOxaWriter::CheckSpaceInNodeNameRecursive(VOxaNode* node, VString& report) {
    if (!node) return true;
    bool clean = true;
    std::vector<VOxaNode*> pending{node};
    // Pre-order, children in order: push them last first.
    while (!pending.empty()) {
        VOxaNode* current = pending.back();
        pending.pop_back();
        if (std::strchr(current->GetName(), ' ')) {
            report += "\n    ";
            report += VListedName(current->GetName());
            clean = false;
        }
        for (int i = current->GetChildCount() - 1; i >= 0; --i)
            pending.push_back(current->GetChild(i));
    }
    return clean;
}
