// Fuzzes the OBJ reader with an OBJ file and an MTL library cut from one input: the text before
// the first "\n==mtl==\n" is the OBJ file, the text after it the library "in.mtl" beside it.
// What was read is then written back out, so the writer sees every mesh the reader can build.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "formats/geometry/obj/voxa_reader_obj.h"
#include "formats/geometry/obj/voxa_writer_obj.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

namespace {

const std::string& Folder() {
    static const std::string folder = [] {
        // tmpfs when there is one: every input goes through files.
        std::string path = std::string(::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                           "/oxa_obj_fuzz_" + std::to_string(::getpid());
        ::mkdir(path.c_str(), 0700);
        return path;
    }();
    return folder;
}

void Store(const std::string& path, std::string_view bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string_view marker = "\n==mtl==\n";
    size_t cut = input.find(marker);
    std::string_view obj = input.substr(0, cut);
    std::string_view mtl =
        cut == std::string_view::npos ? std::string_view() : input.substr(cut + marker.size());
    const std::string objPath = Folder() + "/in.obj";
    Store(objPath, obj);
    Store(Folder() + "/in.mtl", mtl);

    // One manager for the whole run (building one costs more than most inputs); every object an
    // input made is destroyed before the next.
    static VOxaSdkManager* manager = VOxaSdkManager::Create();
    manager->DestroyAllObjects();
    VOxaScene* scene = manager->CreateScene();
    bool read = false;
    {
        VOxaReaderObj reader(manager);
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        read = reader.FileOpen(objPath.c_str()) && reader.Read(scene, options.get());
    }
    if (read) {
        VOxaWriterObj writer(manager);
        std::unique_ptr<VStreamOptions> options(writer.GetWriteOptions());
        if (writer.FileCreate((Folder() + "/out.obj").c_str())) {
            writer.Write(scene, options.get());
            writer.FileClose();
        }
    }
    return 0;
}
