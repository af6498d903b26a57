// The node walks that the file readers and writers declare: they need the scene graph.

#include <cstdio>
#include <cstring>
#include <vector>

#include "oxa_codec/voxa_reader.h"
#include "oxa_codec/voxa_writer.h"
#include "scene/voxa_node.h"
#include "scene/voxa_node_finder.h"
#include "scene/voxa_scene.h"

namespace {

// A name as a message lists it: one longer than 128 bytes keeps its first 128 (whole UTF-8
// characters) and says how long it was.
VString ListedName(const char* name) {
    const size_t length = std::strlen(name);
    constexpr size_t kKept = 128;
    if (length <= kKept) return VString(name);
    size_t cut = kKept;
    while (cut > 0 && ((unsigned char)name[cut] & 0xC0) == 0x80)
        --cut;
    VString text(name, (int)cut);
    char tail[48];
    std::snprintf(tail, sizeof tail, "... (%zu bytes)", length);
    text += tail;
    return text;
}

}  // namespace

bool VOxaReader::CheckDuplicateNodeNames(VOxaNode* node, VString& report) {
    if (!node) return true;
    VOxaNodeFinderDuplicateName finder(nullptr);
    finder.Find(node);
    VArrayTemplate<VOxaNode*>& duplicates = finder.GetDuplicateNodes();
    for (int i = 0; i < duplicates.GetCount(); ++i) {
        report += "\n    ";
        report += duplicates[i]->GetName();
    }
    return duplicates.GetCount() == 0;
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
            report += ListedName(current->GetName());
            clean = false;
        }
        for (int i = current->GetChildCount() - 1; i >= 0; --i)
            pending.push_back(current->GetChild(i));
    }
    return clean;
}
