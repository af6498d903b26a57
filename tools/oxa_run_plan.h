// The plan of one oxa-convert run: the files it reads and the files it writes, the checks that it
// writes over none it reads, and the temporary files its writers fill, which go on any failure and
// on the signals that stop a run. Each check answers what was wrong in words for the user (empty
// when all is well); the command prints them.
#ifndef OXA_TOOLS_OXA_RUN_PLAN_H
#define OXA_TOOLS_OXA_RUN_PLAN_H

#include <string>
#include <vector>

class VOxaScene;
class VSafeOutputGroup;

namespace oxa_run {

// A file of the run, read or written, with what it is to the run.
struct RunFile {
    std::string path;
    std::string role;
};

// The file of `path`'s stem with the extension `extension`.
std::string FileBeside(const std::string& path, const char* extension);

// The ASF skeleton of the AMC file `amc`: `skeleton` when given, else the file of the same stem
// with the extension .asf (or .ASF) beside it, a regular file first; empty when there is none.
std::string SkeletonFor(const std::string& amc, const std::string& skeleton);

// Checks a file the run reads: it must exist, be a regular file once links are followed (a device
// or a pipe could be read forever) and open for reading.
std::string CheckInputFile(const std::string& path);

// Checks a file the run writes: its folder must exist and be a folder, and the file itself, once
// links are followed, must be a regular file or not exist (a folder, device, pipe or socket is
// left as it is).
std::string CheckOutputFile(const std::string& path);

// The files a run writes for OUT: OUT, the MTL file beside an OBJ, the ASF skeleton beside an AMC.
std::vector<RunFile> OutputsOf(const std::string& out);

// The files a run reads for IN: IN, the ASF skeleton of an AMC (see SkeletonFor), the material
// libraries an OBJ file names, found as the OBJ reader finds them.
std::vector<RunFile> InputsOf(const std::string& in, const std::string& skeleton);

// The texture images of the scene that a geometry writer would copy, found as the writers find
// them.
std::vector<RunFile> TextureImages(VOxaScene* scene);

// True when writing `output` would change the file `input`: one existing file through whatever
// path or link, or the same name in the same folder.
bool SameTarget(const std::string& output, const std::string& input);

// Empty when no file of `outputs` is one of `inputs`; else why the run must not start.
std::string WritesOverInput(const std::vector<RunFile>& outputs, const std::vector<RunFile>& inputs);

// The system's reason for the error number `error`, in words for the message of a failed write or
// open ("no space left on the device", "the file size limit was reached", ...).
std::string ReasonOf(int error);

// Why the files of `group` could not be written: the first file that could not be created or
// written with the system's reason ("OUT.dxf: could not be written: the file size limit was
// reached"); empty when the group saw no such failure or its reason is unknown.
std::string WriteFailure(const VSafeOutputGroup& group);

// From here on, every signal whose default action ends the process (SIGINT, SIGTERM, SIGHUP,
// SIGQUIT, SIGPIPE, SIGALRM, the user and real-time signals, the faults, ...) removes every
// temporary file of the run and then ends the process as it does by default; a signal the caller
// ignores stays ignored. A write past the file-size limit fails (EFBIG) instead of ending the
// process; SIGXFSZ sent by another process ends the run as the others do.
void GuardTemporaries();

// Puts the files of `group` in place, with the stopping signals held off meanwhile: a signal that
// came before the renames removes the temporaries and ends the run with no file changed. Every
// target is checked again as CheckOutputFile does; when one fails, nothing is put in place.
// Empty when done, and the stopping signals then stay held off until the process ends; else why
// not. A std::bad_alloc on the way gives every file up and goes on to the caller, the signals
// as they were.
std::string CommitRun(VSafeOutputGroup& group);

}  // namespace oxa_run

#endif  // OXA_TOOLS_OXA_RUN_PLAN_H
