// Fuzzes the OBJ reader with an OBJ file and an MTL library cut from one input: the text before
// the first "\n==mtl==\n" is the OBJ file, the text after it the library "in.mtl" beside it.
// What was read is then written back out, so the writer sees every mesh the reader can build.
// The manager and scene live across inputs and are emptied after each.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "formats/geometry/obj/voxa_reader_obj.h"
#include "formats/geometry/obj/voxa_writer_obj.h"
#include "fuzz/fuzz_input_file.h"
#include "fuzz/fuzz_scene.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

namespace {

bool Store(const std::string& path, std::string_view bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && written;
}

// Writes the library only when it differs from the one the previous input left: most inputs have
// none, and the empty file is then already there. Nothing but this function writes the file.
void StoreLibrary(const std::string& path, std::string_view bytes) {
    static std::string stored;
    static bool valid = false;
    if (valid && bytes == stored) return;
    valid = Store(path, bytes);
    stored.assign(bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string_view marker = "\n==mtl==\n";
    size_t cut = input.find(marker);
    std::string_view obj = input.substr(0, cut);
    std::string_view mtl =
        cut == std::string_view::npos ? std::string_view() : input.substr(cut + marker.size());
    static const std::string objPath = FuzzScratchPath("in.obj");
    static const std::string mtlPath = FuzzScratchPath("in.mtl");
    static const std::string outPath = FuzzScratchPath("out.obj");
    Store(objPath, obj);
    StoreLibrary(mtlPath, mtl);

    VFuzzSceneScope world;
    VOxaSdkManager* manager = world.GetManager();
    VOxaScene* scene = world.GetScene();
    bool read = false;
    {
        VOxaReaderObj reader(manager);
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        read = reader.FileOpen(objPath.c_str()) && reader.Read(scene, options.get());
    }
    if (read) {
        VOxaWriterObj writer(manager);
        std::unique_ptr<VStreamOptions> options(writer.GetWriteOptions());
        if (writer.FileCreate(outPath.c_str())) {
            writer.Write(scene, options.get());
            writer.FileClose();
        }
        // The written files go: a later input's "mtllib" could otherwise read them.
        static const std::string outMtlPath = FuzzScratchPath("out.mtl");
        std::remove(outPath.c_str());
        std::remove(outMtlPath.c_str());
    }
    return 0;
}
