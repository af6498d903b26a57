// What a reader says when it refuses a file: the whole read (open, read options, read) through any
// reader, answering the error text of the step that failed.
#ifndef OXA_TESTS_FORMATS_MOTION_READ_FAILURE_UTIL_H
#define OXA_TESTS_FORMATS_MOTION_READ_FAILURE_UTIL_H

#include <memory>
#include <string>

#include "oxa_codec/voxa_reader.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_scene.h"

namespace readfailure {

// Opens `path` with `reader`, takes its own read options and reads into `scene`: "" when every step
// succeeds, else the reader's error text ("?" when a step failed without one).
inline std::string Refusal(VOxaReader& reader, VOxaScene* scene, const std::string& path) {
    if (!reader.FileOpen(path.c_str())) return reader.GetError().GetLastErrorString().Buffer();
    std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
    const bool ok = options && reader.Read(scene, options.get());
    const std::string text = ok ? "" : reader.GetError().GetLastErrorString().Buffer();
    reader.FileClose();
    return ok || !text.empty() ? text : "?";
}

}  // namespace readfailure

#endif  // OXA_TESTS_FORMATS_MOTION_READ_FAILURE_UTIL_H
