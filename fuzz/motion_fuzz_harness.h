// Shared driver for the motion-format fuzz targets: the input is written to a per-process
// scratch file, read into the process's scene (emptied after each input) with the reader's own
// options, and what was read is written back with the matching writer. Each target supplies only
// its reader and writer.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <type_traits>

#include "formats/motion/voxa_motion_base.h"
#include "fuzz/fuzz_input_file.h"
#include "fuzz/fuzz_scene.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

// The input and output paths of one target, "in.<ext>" and "out.<ext>" in the process's scratch
// folder, so parallel workers never collide.
struct VMotionFuzzFiles {
    std::string mInput;
    std::string mOutput;

    explicit VMotionFuzzFiles(const char* ext)
        : mInput(FuzzScratchPath(std::string("in.") + ext)),
          mOutput(FuzzScratchPath(std::string("out.") + ext)) {}
};

// Writes the marked nodes of `scene` to `output` with a `Writer` built from the manager and
// `extra`, over a few frames; `tune` may adjust the motion options before writing.
template <class Writer, class Tune, class... Extra>
void FuzzMotionWrite(VOxaSdkManager* manager, VOxaScene* scene, const std::string& output, Tune tune,
                     Extra... extra) {
    Writer writer(manager, extra...);
    if (writer.FileCreate(output.c_str())) {
        std::unique_ptr<VStreamOptions> options(writer.GetWriteOptions());
        auto* motion = static_cast<VStreamOptionsMotion*>(options.get());
        motion->SetFrameCount(4);
        tune(motion);
        writer.Write(scene, options.get());
        writer.FileClose();
    }
}

// The most markers an input of a marker-file reader (C3D, AOA, TRC) may announce and still be read.
// Each marker becomes a node with a take, about 150 microseconds in the sanitizer build, while
// the reader runs the same code for the third marker as for the two-hundredth. Inputs announcing
// a few hundred markers in a few hundred bytes (a C3D header word, an AOA "markers =") grew to
// nearly half of a C3D corpus and cut the target to a fifth of its speed. Every input's header
// is still read.
constexpr int64_t kFuzzMarkerLimit = 32;

// True when the reader's header announces more markers than kFuzzMarkerLimit. Reading the
// header leaves nothing behind: the reader rewinds before each read of its own.
template <class Reader>
bool FuzzAnnouncesTooManyMarkers(Reader& reader) {
    if constexpr (std::is_base_of_v<VOxaReaderMotionBase, Reader>) {
        IOxaFileMotionBase* file = reader.GetMotionFile();
        int64_t markers = 0, frames = 0;
        VTime start;
        double rate = 0.0, scale = 1.0;
        return file && file->ReadHeader(markers, start, frames, rate, scale) && markers > kFuzzMarkerLimit;
    } else {
        (void)reader;
        return false;
    }
}

// Runs one input through a `Reader` built from the manager and `extra`. When the read succeeds,
// every node under the root is marked and `writeBack(manager, scene)` is called.
template <class Reader, class WriteBack, class... Extra>
int FuzzMotionRead(const VMotionFuzzFiles& files, const uint8_t* data, size_t size, WriteBack writeBack,
                   Extra... extra) {
    if (!WriteFuzzInput(files.mInput, data, size)) return 0;
    VFuzzScene& world = VFuzzScene::Get();
    VOxaSdkManager* manager = world.GetManager();
    VOxaScene* scene = world.GetScene();
    bool read = false;
    {
        Reader reader(manager, extra...);
        if (reader.FileOpen(files.mInput.c_str())) {
            if (!FuzzAnnouncesTooManyMarkers(reader)) {
                std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
                if (options) read = reader.Read(scene, options.get());
            }
            reader.FileClose();
        }
    }
    if (read) {
        for (int i = 0; i < scene->GetRootNode()->GetChildCount(); ++i)
            scene->GetRootNode()->GetChild(i)->SetMarked(1, true);
        writeBack(manager, scene);
    }
    world.Reset();
    return 0;
}

// The usual round trip: read, then write every read node back once, over a few frames.
template <class Reader, class Writer, class... Extra>
int FuzzMotionRoundTrip(const VMotionFuzzFiles& files, const uint8_t* data, size_t size, Extra... extra) {
    return FuzzMotionRead<Reader>(
        files, data, size,
        [&](VOxaSdkManager* manager, VOxaScene* scene) {
            FuzzMotionWrite<Writer>(
                manager, scene, files.mOutput, [](VStreamOptionsMotion*) {}, extra...);
        },
        extra...);
}
