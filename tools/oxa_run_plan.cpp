#include "tools/oxa_run_plan.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <new>

#include "attributes/voxa_geometry_base.h"
#include "attributes/voxa_material.h"
#include "attributes/voxa_texture.h"
#include "base/varray.h"
#include "base/vsafe_output_file.h"
#include "formats/geometry/obj/voxa_obj_mtllib.h"
#include "formats/geometry/obj/voxa_writer_obj.h"
#include "formats/geometry/voxa_geometry_write.h"
#include "oxa_codec/voxa_io_formats.h"
#include "scene/voxa_node.h"
#include "scene/voxa_node_attribute.h"
#include "scene/voxa_scene.h"

namespace oxa_run {

namespace {

bool SameText(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b)
        if (std::tolower((unsigned char)*a) != std::tolower((unsigned char)*b)) return false;
    return *a == *b;
}

bool IsFormat(const std::string& path, const char* extension) {
    return SameText(VOxaGetFileExtension(path.c_str()), extension);
}

// The folder of `path` without its final '/' ("." for a bare name, "/" for the root).
std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash ? slash : 1);
}

// True when both paths name one existing file, through whatever path or link.
bool SameFile(const std::string& a, const std::string& b) {
    struct stat first {
    }, second{};
    return !a.empty() && !b.empty() && stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// `path` as the file system finds it: the real path of its folder and its own name; the path as
// given when the folder cannot be resolved.
std::string PlacedName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    char* real = realpath(FolderOf(path).c_str(), nullptr);
    if (!real) return path;
    std::string placed = real;
    std::free(real);
    return (placed == "/" ? placed : placed + "/") + name;
}

// The signals that end a process by default and come from outside it (a user, a timer, a closed
// pipe, a resource limit); the real-time signals, numbered at run time, join them. They are held
// off while the files are put in place.
const int kStopSignals[] = {SIGINT,  SIGTERM, SIGHUP,    SIGQUIT, SIGALRM, SIGUSR1,   SIGUSR2,
                            SIGPIPE, SIGPOLL, SIGVTALRM, SIGPROF, SIGXCPU, SIGSTKFLT, SIGPWR};
// The signals a fault of the process itself raises (or abort): they end it as well, and are
// never held off, which would make the fault end the process without the clean-up.
const int kFaultSignals[] = {SIGTRAP, SIGSYS, SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL};

sigset_t StopSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kStopSignals)
        sigaddset(&set, sig);
    for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig)
        sigaddset(&set, sig);
    // SIGXFSZ from outside stops a run too (see StopOnFileSizeSignal).
    sigaddset(&set, SIGXFSZ);
    return set;
}

// Every signal GuardTemporaries looks after.
std::vector<int> GuardedSignals() {
    std::vector<int> signals(std::begin(kStopSignals), std::end(kStopSignals));
    signals.insert(signals.end(), std::begin(kFaultSignals), std::end(kFaultSignals));
    for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig)
        signals.push_back(sig);
    return signals;
}

// Removes the run's temporaries, then ends the process as the signal would have: the default
// action comes back and the signal, raised again, is delivered when the handler returns.
extern "C" void StopRun(int sig) {
    VRemoveTemporaries();
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(sig, &action, nullptr);
    raise(sig);
}

// SIGXFSZ comes from two places. A write past the file-size limit makes the kernel send it to the
// process as from the process itself (SI_USER with its own id), and the write then fails with
// EFBIG, which the writers report: the run goes on to say so. Sent by anyone else it asks the run
// to stop, as SIGTERM does, and it ends the run without its temporaries.
extern "C" void StopOnFileSizeSignal(int sig, siginfo_t* info, void*) {
    if (info && info->si_code == SI_USER && info->si_pid == getpid()) return;
    StopRun(sig);
}

}  // namespace

std::string FileBeside(const std::string& path, const char* extension) {
    return path.substr(0, path.size() - std::strlen(VOxaGetFileExtension(path.c_str()))) + extension;
}

std::string SkeletonFor(const std::string& amc, const std::string& skeleton) {
    if (!skeleton.empty()) return skeleton;
    std::string existing;
    for (const char* suffix : {"asf", "ASF"}) {
        std::string candidate = FileBeside(amc, suffix);
        struct stat info {};
        if (stat(candidate.c_str(), &info) != 0) continue;
        if (S_ISREG(info.st_mode)) return candidate;
        // Something that is not a file: the read says what it is.
        if (existing.empty()) existing = std::move(candidate);
    }
    return existing;
}

std::string CheckInputFile(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return path + (errno == ENOENT ? " does not exist" : ": " + ReasonOf(errno));
    if (!S_ISREG(info.st_mode))
        return path + " is " + (S_ISDIR(info.st_mode) ? "a folder" : "a device, pipe or socket") +
               ", not a file that can be read";
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return path + ": cannot be opened: " + ReasonOf(errno);
    close(fd);
    return "";
}

std::string CheckOutputFile(const std::string& path) {
    const std::string folder = FolderOf(path);
    struct stat info {};
    if (stat(folder.c_str(), &info) != 0) return "the folder " + folder + " does not exist";
    if (!S_ISDIR(info.st_mode)) return folder + " is not a folder";
    if (stat(path.c_str(), &info) != 0) return "";
    if (S_ISDIR(info.st_mode)) return path + " is a folder";
    // Writing puts a new file in the place of the old: a device, pipe or socket there would be
    // replaced by a plain file instead of receiving the data.
    if (!S_ISREG(info.st_mode)) return path + " is a device, pipe or socket, not a file that can be written";
    return "";
}

std::vector<RunFile> OutputsOf(const std::string& out) {
    std::vector<RunFile> outputs{{out, "OUT"}};
    if (IsFormat(out, "obj"))
        outputs.push_back(
            {VOxaWriterObj::MakeMaterialPath(out.c_str()).Buffer(), "the MTL file written beside OUT"});
    if (IsFormat(out, "amc"))
        outputs.push_back({FileBeside(out, "asf"), "OUT's ASF skeleton is written beside it"});
    return outputs;
}

std::vector<RunFile> InputsOf(const std::string& in, const std::string& skeleton) {
    std::vector<RunFile> inputs{{in, "IN"}};
    if (IsFormat(in, "amc")) inputs.push_back({SkeletonFor(in, skeleton), "the ASF skeleton of IN"});
    if (IsFormat(in, "obj"))
        for (std::string& library : voxa_obj::MaterialLibraryFiles(in))
            inputs.push_back({std::move(library), "the input's MTL library"});
    return inputs;
}

std::vector<RunFile> TextureImages(VOxaScene* scene) {
    std::vector<RunFile> images;
    std::vector<const VOxaTexture*> seen;
    auto add = [&](const VOxaTexture* texture) {
        if (!texture || std::find(seen.begin(), seen.end(), texture) != seen.end()) return;
        seen.push_back(texture);
        const std::string path = VOxaTextureFilePath(texture->GetFileName(), texture->GetSourceFolder());
        if (!path.empty()) images.push_back({path, "a texture image it copies"});
    };
    VArrayTemplate<VOxaTexture*> textures;
    scene->FillTextureArray(textures);
    for (int k = 0; k < textures.GetCount(); ++k)
        add(textures[k]);
    std::vector<VOxaNode*> stack;
    if (VOxaNode* root = scene->GetRootNode()) stack.push_back(root);
    while (!stack.empty()) {
        VOxaNode* node = stack.back();
        stack.pop_back();
        const VOxaNodeAttribute* attribute = node->GetNodeAttribute();
        const int type = attribute ? attribute->GetAttributeType() : -1;
        if (type == VOxaNodeAttribute::eMesh || type == VOxaNodeAttribute::eNurb ||
            type == VOxaNodeAttribute::ePatch) {
            const auto* geometry = static_cast<const VOxaGeometryBase*>(attribute);
            for (int k = 0; k < geometry->GetTextureCount(0); ++k)
                add(geometry->GetTexture(k, 0));
            // The maps a material carries besides its colour texture are copied as well.
            for (int k = 0; k < geometry->GetMaterialCount(0); ++k)
                if (const VOxaMaterial* material = geometry->GetMaterial(k, 0))
                    for (int r = 0; r < VOxaMaterial::eMAP_ROLE_COUNT; ++r)
                        add(material->GetMap(static_cast<VOxaMaterial::EMapRole>(r)));
        }
        for (int k = 0; k < node->GetChildCount(); ++k)
            if (VOxaNode* child = node->GetChild(k)) stack.push_back(child);
    }
    return images;
}

bool SameTarget(const std::string& output, const std::string& input) {
    if (output.empty() || input.empty()) return false;
    if (SameFile(output, input)) return true;
    struct stat a {
    }, b{};
    if (stat(output.c_str(), &a) == 0 && stat(input.c_str(), &b) == 0) return false;
    return PlacedName(output) == PlacedName(input);
}

std::string WritesOverInput(const std::vector<RunFile>& outputs, const std::vector<RunFile>& inputs) {
    for (const RunFile& output : outputs)
        for (const RunFile& input : inputs) {
            if (!SameTarget(output.path, input.path)) continue;
            if (input.role == "IN")
                return output.path + ": IN and OUT are the same file" +
                       (output.role == "OUT" ? "" : " (" + output.role + ")");
            return output.path + " (" + output.role + ") and " + input.path + " (" + input.role +
                   ") are the same file; nothing was written";
        }
    return "";
}

std::string ReasonOf(int error) {
    switch (error) {
        case EFBIG:
            return "the file size limit was reached";
        case ENOSPC:
            return "no space left on the device";
        case EDQUOT:
            return "the disk quota was reached";
        case EACCES:
        case EPERM:
            return "permission denied";
        case EROFS:
            return "the file system is read-only";
        case EISDIR:
            return "it is a folder";
        case ENOMEM:
            return "not enough memory";
        default:
            return std::strerror(error);
    }
}

std::string WriteFailure(const VSafeOutputGroup& group) {
    if (group.WriteFailedPath().empty() || group.WriteFailedErrno() == 0) return "";
    return group.WriteFailedPath() + ": could not be written: " + ReasonOf(group.WriteFailedErrno());
}

void GuardTemporaries() {
    struct sigaction action {};
    action.sa_handler = &StopRun;
    // One stopping signal at a time: a second one waits until the first has cleaned up.
    action.sa_mask = StopSignalSet();
    for (int sig : GuardedSignals()) {
        struct sigaction old {};
        // A signal the caller ignores (a run started with nohup) stays ignored, and one that has
        // a handler already (a sanitizer's crash report) keeps it: only the default action is
        // replaced. (A handler that takes information shares its place with sa_handler.)
        if (sigaction(sig, nullptr, &old) != 0 || old.sa_handler != SIG_DFL) continue;
        sigaction(sig, &action, nullptr);
    }
    // Past the file-size limit a write fails with EFBIG, which the writers report, instead of
    // ending the process with the temporaries left behind; SIGXFSZ sent from outside still ends
    // the run. A caller that ignores SIGXFSZ keeps it ignored.
    struct sigaction old {};
    if (sigaction(SIGXFSZ, nullptr, &old) == 0 && old.sa_handler == SIG_DFL) {
        struct sigaction fileSize {};
        fileSize.sa_sigaction = &StopOnFileSizeSignal;
        fileSize.sa_flags = SA_SIGINFO;
        fileSize.sa_mask = StopSignalSet();
        sigaction(SIGXFSZ, &fileSize, nullptr);
    }
}

std::string CommitRun(VSafeOutputGroup& group) {
    const sigset_t stop = StopSignalSet();
    sigset_t old;
    sigprocmask(SIG_BLOCK, &stop, &old);
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    bool stopped = false;
    for (int sig = 1; sig < NSIG; ++sig)
        if (sigismember(&stop, sig) == 1 && sigismember(&pending, sig) == 1) stopped = true;
    std::string failure;
    try {
        // The side files found while writing (copied images) are checked as OUT was, and all of
        // them again: none is put in the place of something that came there meanwhile.
        for (const std::string& target : group.Targets())
            if (failure.empty()) failure = CheckOutputFile(target);
        if (stopped || !failure.empty())
            group.Abandon();  // a stopping signal is delivered below and ends the run
        else if (!group.Commit())
            // A group that could not note what it needed to put its files in place (counted as
            // an allocation failure) names no file and no system reason.
            failure = group.FailedErrno() ? group.FailedPath() + ": " + ReasonOf(group.FailedErrno())
                                          : "not enough memory to put the files in place";
    } catch (const std::bad_alloc&) {
        group.Abandon();
        sigprocmask(SIG_SETMASK, &old, nullptr);
        throw;
    }
    // Once the files are in place the run has done its work: a stopping signal that comes while
    // the process winds down stays held off, so that the exit status never calls a run that
    // changed files stopped.
    if (stopped || !failure.empty()) sigprocmask(SIG_SETMASK, &old, nullptr);
    return failure;
}

}  // namespace oxa_run
