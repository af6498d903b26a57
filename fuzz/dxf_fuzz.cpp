// Fuzzes the DXF reader: the bytes are read in all three grouping modes (layer, block, entity),
// welding on for the first two and off for the last. One manager and scene serve every input
// (making a manager costs far more than reading a small file); what a read made is destroyed
// after it.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "formats/geometry/dxf/voxa_reader_dxf.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_node_attribute.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

namespace {

// Destroys every node but the root, every attribute and every material.
void Clean(VOxaSdkManager& manager, VOxaNode* root) {
    for (int i = manager.GetNodeCount() - 1; i >= 0; --i) {
        VOxaNode* node = manager.GetNode(i);
        if (node != root) manager.DestroyNode(node);
    }
    for (int i = manager.GetNodeAttributeCount() - 1; i >= 0; --i)
        manager.DestroyNodeAttribute(manager.GetNodeAttribute(i));
    for (int i = manager.GetMaterialCount() - 1; i >= 0; --i)
        manager.DestroyMaterial(manager.GetMaterial(i));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static VOxaSdkManager* manager = new VOxaSdkManager();
    static VOxaScene* scene = manager->CreateScene();
    for (int mode = 0; mode < 3; ++mode) {
        {
            VOxaReaderDxf reader(manager);
            reader.OpenMemory(data, size, "fuzz.dxf");
            std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
            auto* dxf = static_cast<VStreamOptionsDxf*>(options.get());
            dxf->SetOptionValue(VStreamOptionsDxf::eLAYER_BLOCK_ENTITY, mode);
            dxf->SetOptionValue(VStreamOptionsDxf::eWELD_VERTICES, mode < 2 ? 1 : 0);
            reader.Read(scene, options.get());
            reader.FileClose();
        }
        Clean(*manager, scene->GetRootNode());
    }
    return 0;
}
