// Fuzzes reading curve-node trees ("Channel" and "LayerChannel" fields) from a field file in
// either form, then evaluates what was read.
#include <cstddef>
#include <cstdint>

#include "animation/fcurve_node.h"
#include "oxa_codec/voxa.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    VOxa file;
    if (!file.MemoryOpen(data, size)) return 0;
    for (int section = 0; section < file.GetSectionCount() && section < 4; ++section) {
        if (!file.SectionReadBegin(section)) continue;
        for (int channel = 0; channel < 64; ++channel) {
            VFCurveNode* node = VFCurveNode::OxaRetrieveChannel(&file);
            if (!node) break;
            double values[256];
            if (node->GetValueCount() <= 256) {
                node->Evaluate(values, VTime(0));
                node->Evaluate(values, VTime(VTime::kOneSecond));
            }
            delete node;
        }
    }
    return 0;
}
