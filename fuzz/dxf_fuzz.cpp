// Fuzzes the DXF reader: the bytes are read in one of the three grouping modes (layer, block,
// entity), chosen by the input's size modulo 3, welding on for the first two and off for the
// last; the fuzzer reaches every mode by growing or shrinking an input. One manager and scene
// serve every input (making a scene costs far more than reading a small file); they are emptied
// after each read.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "formats/geometry/dxf/voxa_reader_dxf.h"
#include "fuzz/fuzz_scene.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int mode = (int)(size % 3);
    VFuzzSceneScope world;
    VOxaReaderDxf reader(world.GetManager());
    reader.OpenMemory(data, size, "fuzz.dxf");
    std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
    auto* dxf = static_cast<VStreamOptionsDxf*>(options.get());
    dxf->SetOptionValue(VStreamOptionsDxf::eLAYER_BLOCK_ENTITY, mode);
    dxf->SetOptionValue(VStreamOptionsDxf::eWELD_VERTICES, mode < 2 ? 1 : 0);
    reader.Read(world.GetScene(), options.get());
    reader.FileClose();
    return 0;
}
