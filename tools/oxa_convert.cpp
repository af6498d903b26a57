// oxa-convert: reads a scene from one file format and writes it in another, or describes what a
// file holds. Everything goes through the toolkit's importer, exporter and stream options:
//
//     oxa-convert [-q] IN OUT [--take NAME] [--options FILE] [--frame-rate R] [--time-mode M]
//                        [--skeleton FILE.asf] [--texture-dir DIR]...
//     oxa-convert --info [--json] [--take NAME] [--skeleton FILE.asf] IN
//     oxa-convert --formats
//
// Options may stand anywhere; one with a value takes it as the next word or after "="
// (--frame-rate=60), and "--" ends the options (a file may be named "-w.bvh").
//
// Motion keeps the frame rate and frame count the source file names unless --frame-rate or
// --time-mode asks for another, and then only the output is resampled. AMC motion is read over
// its ASF skeleton and written with one beside it. Texture images are copied beside a written
// OBJ or 3DS file only from the input's folder, the folder of the file that names them, or a
// folder given with --texture-dir.
//
// Exit codes: 0 success, 1 a file could not be read or written, 2 a usage error.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <initializer_list>
#include <map>
#include <new>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "attributes/voxa_geometry_base.h"
#include "attributes/voxa_material.h"
#include "attributes/voxa_mesh.h"
#include "attributes/voxa_texture.h"
#include "attributes/voxa_video.h"
#include "base/oxa_version.h"
#include "base/vallocation_count.h"
#include "base/varray.h"
#include "base/vconfig_file.h"
#include "base/verror.h"
#include "base/vnumber_text.h"
#include "base/vprintable_text.h"
#include "base/vprogress.h"
#include "base/vsafe_output_file.h"
#include "base/vstring_list.h"
#include "base/vtime.h"
#include "character/voxa_constraint.h"
#include "formats/geometry/obj/voxa_writer_obj.h"
#include "formats/geometry/voxa_geometry_write.h"
#include "formats/motion/voxa_motion_export.h"
#include "oxa_codec/voxa_exporter.h"
#include "oxa_codec/voxa_importer.h"
#include "oxa_codec/voxa_io_formats.h"
#include "oxa_codec/voxa_reader.h"
#include "oxa_codec/voxa_writer.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_node_attribute.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_scene_contents.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_info.h"
#include "scene/voxa_take_node.h"
#include "tools/oxa_run_plan.h"

// Where the install puts the README, below the install prefix.
#ifndef OXA_README_IN_PREFIX
#define OXA_README_IN_PREFIX "share/doc/oxa/README.md"
#endif

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFile = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "usage: oxa-convert [-q] IN OUT [--take NAME] [--options FILE] [--frame-rate R | --time-mode M]\n"
    "                          [--skeleton FILE.asf] [--input-rate R] [--texture-dir DIR]...\n"
    "       oxa-convert --info [--json] [--take NAME] [--skeleton FILE.asf] [--input-rate R] IN\n"
    "       oxa-convert --formats\n"
    "       oxa-convert --help\n"
    "       oxa-convert --version\n"
    "\n"
    "Reads IN with the reader its extension picks and writes OUT with the writer OUT's extension\n"
    "picks. IN and OUT must be different files. An option with a value takes it as the next word\n"
    "or after \"=\" (--frame-rate=60); each is given once, but --texture-dir; \"--\" ends the options.\n"
    "\n"
    "  --take NAME         write the take NAME instead of the file's current take (with --info:\n"
    "                      describe only that take)\n"
    "  --options FILE      reader options from FILE's [Import] section and writer options from its\n"
    "                      [Export] section, one name=value line each, values whole numbers; the\n"
    "                      keys are listed in the README, section Settings-file keys:\n"
    "                      @README@\n"
    "  --frame-rate R      write the motion at R frames per second (a plain decimal number such as\n"
    "                      30 or 29.97, above 0; the output must keep at least one frame); not for\n"
    "                      OBJ and DXF, which hold no motion, nor 3DS, always written at 30\n"
    "  --time-mode M       write the motion at the rate of time mode M: 0 the default (30), 1 120,\n"
    "                      2 100, 3 60, 4 50, 6 30, 8 29.97 drop frame, 10 25, 11 24 frames per\n"
    "                      second (give --frame-rate or --time-mode, not both)\n"
    "  --skeleton FILE.asf the ASF skeleton of an AMC input (default: the .asf beside it)\n"
    "  --input-rate R      read IN at R frames per second when the file names no rate of its own\n"
    "                      (an AMC without :SAMPLES-PER-SECOND, read at 30 otherwise); a rate the\n"
    "                      file names is kept\n"
    "  --texture-dir DIR   also allow the OBJ and 3DS writers to copy texture images that lie in\n"
    "                      DIR or below it to OUT's folder (repeatable); images are not looked\n"
    "                      for in DIR, each is taken from where the input names it; those in\n"
    "                      the input's folder are always allowed\n"
    "  --info              describe IN: nodes, animated channels, takes, materials, textures\n"
    "  --json              with --info: the description as JSON\n"
    "  --formats           list the extensions that can be read and written\n"
    "  -q, --quiet         print no warnings, notes or progress; errors are still printed\n"
    "  -h, --help          show this text\n"
    "  --version           show the version of the program\n"
    "\n"
    "Exit codes: 0 success, 1 a file could not be read or written, 2 a usage error.\n";

// One name=value line of a settings file, read by the rules of the toolkit's settings files:
// lines trimmed, "[name]" starts a section, ";" and "#" start comments.
struct SettingsEntry {
    std::string section;
    std::string key;
    std::string value;
    int line;
};

struct Arguments {
    std::vector<std::string> files;
    bool info = false;
    bool json = false;
    bool formats = false;
    bool help = false;
    bool version = false;
    bool quiet = false;
    std::string take;
    std::string optionsFile;
    std::string skeleton;
    double frameRate = 0.0;
    int timeMode = -1;
    double inputRate = 0.0;  // the rate of an input that names none; 0 when not given
    std::vector<std::string> textureDirs;
    std::vector<SettingsEntry> settings;  // the lines of the --options file
};

// Warnings and notes stay unsaid with --quiet; errors are always printed.
bool gQuiet = false;

// A usage error: one line that says what was wrong, and where the usage is.
std::string Printable(const char* text);
std::string Printable(const std::string& text);

// The README the install put beside this program: the prefix is the folder above the one that
// holds the program (prefix/bin/oxa-convert). A program that was not installed there names the
// place in words.
std::string ReadmePath() {
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        std::string prefix(self, (size_t)length);
        for (int up = 0; up < 2 && !prefix.empty(); ++up)
            prefix.erase(std::min(prefix.rfind('/'), prefix.size()));
        const std::string readme = prefix + "/" + OXA_README_IN_PREFIX;
        struct stat info {};
        if (stat(readme.c_str(), &info) == 0 && S_ISREG(info.st_mode)) return readme;
    }
    return std::string(OXA_README_IN_PREFIX) + " under the install prefix";
}

int Usage(const std::string& message) {
    std::fprintf(stderr, "oxa-convert: %s\nTry 'oxa-convert --help' for more information.\n",
                 Printable(message.c_str()).c_str());
    return kExitUsage;
}

// The time modes of the frame-rate table (0 is the default mode).
bool IsTimeMode(int mode) {
    for (int known :
         {VTime::eDEFAULT_MODE, VTime::eFRAMES120, VTime::eFRAMES100, VTime::eFRAMES60, VTime::eFRAMES50,
          VTime::eFRAMES30, VTime::eNTSC_DROP_FRAME, VTime::ePAL, VTime::eFRAMES24})
        if (mode == known) return true;
    return false;
}

bool SameText(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b)
        if (std::tolower((unsigned char)*a) != std::tolower((unsigned char)*b)) return false;
    return *a == *b;
}

bool IsFormat(const char* path, const char* extension) {
    return SameText(VOxaGetFileExtension(path), extension);
}

bool IsAnyFormat(const std::string& path, std::initializer_list<const char*> extensions) {
    for (const char* extension : extensions)
        if (IsFormat(path.c_str(), extension)) return true;
    return false;
}

// ---- messages ----

// Text that came from a file (or a name given on the command line), made safe for a terminal: see
// VPrintableText. Every message and every line of --info goes through it.
std::string Printable(const char* text) {
    return VPrintableText(text);
}

std::string Printable(const std::string& text) {
    return Printable(text.c_str());
}

// The nearest place at or around `at` (moving back, or forward with `forward`) where a UTF-8
// character starts, so that a cut there splits none.
size_t CharacterStart(const std::string& text, size_t at, bool forward) {
    auto continuation = [&text](size_t k) { return ((unsigned char)text[k] & 0xc0) == 0x80; };
    if (forward)
        while (at < text.size() && continuation(at))
            ++at;
    else
        while (at > 0 && at < text.size() && continuation(at))
            --at;
    return at;
}

// Text that came from a file or the command line, made printable and cut when it is longer than
// a message can usefully show: a long text keeps its first bytes (whole UTF-8 characters) and says
// how long it was.
std::string Shown(const std::string& text) {
    constexpr size_t kLongest = 256, kKept = 128;
    if (text.size() <= kLongest) return Printable(text.c_str());
    const size_t cut = CharacterStart(text, kKept, false);
    return Printable(text.substr(0, cut).c_str()) + "... (" + std::to_string(text.size()) + " bytes)";
}

// A message line from a reader or writer, made printable: a quoted name over what a message can
// usefully show is cut as Shown cuts it, so the words around it (what is wrong with the name) stay
// whole; a line still past a few kilobytes keeps its start and its end.
std::string ShownLine(const std::string& line) {
    constexpr size_t kLongestName = 256, kLongestLine = 4096, kKeptEnd = 512;
    std::string out;
    size_t at = 0;
    while (at < line.size()) {
        const size_t open = line.find('"', at);
        const size_t close = open == std::string::npos ? std::string::npos : line.find('"', open + 1);
        if (close == std::string::npos) {
            out += line.substr(at);
            break;
        }
        out += line.substr(at, open + 1 - at);
        const std::string name = line.substr(open + 1, close - open - 1);
        out += name.size() > kLongestName ? Shown(name) : name;
        out += '"';
        at = close + 1;
    }
    if (out.size() > kLongestLine) {
        const size_t head = CharacterStart(out, kLongestLine - kKeptEnd, false);
        const size_t tail = CharacterStart(out, out.size() - kKeptEnd, true);
        out = out.substr(0, head) + " ... (" + std::to_string(out.size()) + " bytes) ... " + out.substr(tail);
    }
    return Printable(out);
}

// Prints a warning or a note, one line with the command's prefix, unless the run is quiet.
void Warn(const std::string& line) {
    // The line may hold paths and names as given; escaped text passes through unchanged.
    if (!gQuiet) std::fprintf(stderr, "oxa-convert: %s\n", Printable(line).c_str());
}

std::string Trimmed(const std::string& text) {
    const char* blanks = " \t\v\f";
    const size_t begin = text.find_first_not_of(blanks);
    if (begin == std::string::npos) return "";
    return text.substr(begin, text.find_last_not_of(blanks) - begin + 1);
}

// Calls `use` (line, is the first) for each line of `text`, without its line break or a carriage
// return before it; a text ending in a line break has an empty last line.
template <class Use>
void ForEachLine(const std::string& text, Use use) {
    size_t begin = 0;
    bool first = true;
    while (begin <= text.size()) {
        size_t end = text.find('\n', begin);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(begin, end - begin);
        begin = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        use(std::move(line), first);
        first = false;
    }
}

// Warnings of readers and writers, gathered while a file is read or written and then printed once
// per distinct text with the number of times it came, every line with the command's prefix.
class Messages {
public:
    void Add(std::string text) {
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
            text.pop_back();
        if (text.empty()) return;
        auto found = mIndex.find(text);
        if (found != mIndex.end()) {
            ++mItems[found->second].second;
            return;
        }
        mIndex.emplace(text, mItems.size());
        mItems.push_back({std::move(text), 1});
    }
    // A message text of one warning per line.
    void AddLines(const char* text) {
        const char* line = text ? text : "";
        while (*line) {
            const char* end = std::strchr(line, '\n');
            if (!end) end = line + std::strlen(line);
            Add(std::string(line, (size_t)(end - line)));
            line = *end ? end + 1 : end;
        }
    }
    // Forgets the warnings that are lines of `text` (the reason a step failed, printed with it).
    void Drop(const char* text) {
        std::vector<std::string> lines;
        ForEachLine(text ? text : "", [&](std::string line, bool) { lines.push_back(Trimmed(line)); });
        std::vector<std::pair<std::string, int>> kept;
        // A line of the reason may start with the error's general words ("File is corrupted: ").
        auto inReason = [&lines](const std::string& warning) {
            for (const std::string& line : lines)
                if (line == warning ||
                    (line.size() > warning.size() + 2 &&
                     line.compare(line.size() - warning.size(), std::string::npos, warning) == 0 &&
                     line.compare(line.size() - warning.size() - 2, 2, ": ") == 0))
                    return true;
            return false;
        };
        for (auto& item : mItems)
            if (!inReason(Trimmed(item.first))) kept.push_back(std::move(item));
        mItems = std::move(kept);
        mIndex.clear();
        for (size_t k = 0; k < mItems.size(); ++k)
            mIndex.emplace(mItems[k].first, k);
    }
    void Print(const std::string& where) {
        for (const auto& item : mItems) {
            if (gQuiet) break;
            const int count = item.second;
            ForEachLine(item.first, [&](std::string line, bool first) {
                line = ShownLine(line);
                if (first && count > 1) line += " (" + std::to_string(count) + " times)";
                if (first || !line.empty())
                    std::fprintf(stderr, "oxa-convert: %s: %s\n", Printable(where).c_str(), line.c_str());
            });
        }
        mItems.clear();
        mIndex.clear();
    }

private:
    std::vector<std::pair<std::string, int>> mItems;
    std::unordered_map<std::string, size_t> mIndex;
};

Messages gMessages;

void PrintError(const std::string& where, const char* text) {
    std::fprintf(stderr, "oxa-convert: %s: %s\n", Printable(where).c_str(),
                 text && *text ? Printable(text).c_str() : "failed for an unknown reason");
}

// Prints `problem` (when there is one) as a line of its own; true when there is none.
bool PrintProblem(const std::string& problem) {
    if (problem.empty()) return true;
    std::fprintf(stderr, "oxa-convert: %s\n", Printable(problem.c_str()).c_str());
    return false;
}

// ---- running out of memory ----

// What the run says when memory runs out: a line for each file it reads or writes, made before
// anything is read, so that saying it takes no memory. The step under way picks its line.
struct NoMemoryLine {
    std::string path;
    bool reading;
    std::string line;
};
std::vector<NoMemoryLine> gNoMemoryLines;
const NoMemoryLine* gNoMemoryStep = nullptr;
bool gProgressShown = false;

void WriteToError(const char* text, size_t size) {
    while (size > 0) {
        const ssize_t written = write(STDERR_FILENO, text, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        text += written;
        size -= (size_t)written;
    }
}

void AddNoMemoryLine(const std::string& path, bool reading) {
    gNoMemoryLines.push_back({path, reading,
                              std::string("oxa-convert: not enough memory to ") +
                                  (reading ? "read " : "write ") + Printable(path) + "\n"});
}

// The step under way reads (or writes) `path`: memory that runs out now is told naming it.
void BeginStep(const std::string& path, bool reading) {
    for (const NoMemoryLine& line : gNoMemoryLines)
        if (line.reading == reading && line.path == path) {
            gNoMemoryStep = &line;
            return;
        }
}

// Makes the lines for the files the run reads (IN, the skeleton of an AMC input) and writes (see
// oxa_run::OutputsOf); the run reads IN from here on.
void PrepareNoMemory(const Arguments& args) {
    const std::string& in = args.files[0];
    AddNoMemoryLine(in, true);
    if (IsFormat(in.c_str(), "amc")) AddNoMemoryLine(oxa_run::SkeletonFor(in, args.skeleton), true);
    if (!args.info)
        for (const oxa_run::RunFile& output : oxa_run::OutputsOf(args.files[1]))
            AddNoMemoryLine(output.path, false);
    BeginStep(in, true);
}

// Says that memory ran out in the step under way (ending a progress line first); allocates
// nothing.
void SayNoMemory() {
    static const char kPlain[] = "oxa-convert: not enough memory\n";
    if (gProgressShown) WriteToError("\n", 1);
    gProgressShown = false;
    if (gNoMemoryStep)
        WriteToError(gNoMemoryStep->line.data(), gNoMemoryStep->line.size());
    else
        WriteToError(kPlain, sizeof kPlain - 1);
}

// True when a step that failed with `error` (a reader's or writer's, whose id for want of memory
// is `noMemoryId`) failed for want of memory: it says so, or an allocation failed since
// `failures` was read (oxa_alloc::FailureCount) and whatever handled it gave up the step.
bool RanOutOfMemory(const VError& error, int noMemoryId, unsigned long long failures) {
    return error.GetLastErrorID() == noMemoryId || oxa_alloc::FailureCount() != failures;
}

// Checks a file the run reads (see oxa_run::CheckInputFile); false with the reason printed.
bool CheckInputFile(const std::string& path) {
    return PrintProblem(oxa_run::CheckInputFile(path));
}

// ---- progress ----

// The progress line names the stage ("reading walk.bvh") and its whole percent; it is drawn
// again only when that number changes, as readers report each frame.
VProgress gProgress;
std::string gProgressStage = "working";
int gProgressPercent = -1;

// Names the stage the progress line shows: `doing` and the file's name without its folder.
void SetProgressStage(const char* doing, const std::string& path) {
    gProgressStage = std::string(doing) + " " + Shown(path.substr(path.find_last_of('/') + 1));
}

bool PrintProgress(void*, const char*, float percent) {
    const int whole = (int)percent;
    if (gProgressShown && whole == gProgressPercent) return true;
    std::fprintf(stderr, "\r%s %3d%%", gProgressStage.c_str(), whole);
    std::fflush(stderr);
    gProgressShown = true;
    gProgressPercent = whole;
    return true;
}

void OnProgress(void*, const char* text, float percent) {
    gProgress.Update(text, percent);
}

void EndProgress() {
    if (gProgressShown) std::fputc('\n', stderr);
    gProgressShown = false;
    gProgressPercent = -1;
}

int QuietDialog(const char*, const char*, const char*, const char*, const char*, void*) {
    return 1;
}

// What a reader or writer refused, in the words it showed as an "Error" message (names it cannot
// take, names found twice): a failed run ends with this reason rather than the error number's.
std::string gRefusal;

// Prints a refusal: its first line, then each name of its list on a line of its own, without the
// scene's "Model::" prefix.
void PrintRefusal(const std::string& where, const std::string& text) {
    ForEachLine(text, [&](std::string line, bool first) {
        if (!first) {
            const size_t name = line.find_first_not_of(" \t");
            if (name == std::string::npos) return;
            line = line.substr(name);
            if (line.rfind("Model::", 0) == 0) line = line.substr(7);
            line = "    " + line;
        }
        std::fprintf(stderr, "oxa-convert: %s: %s\n", Printable(where).c_str(), ShownLine(line).c_str());
    });
}

// Ends a read or write: a refusal is printed once, as the reason when the step failed and as a
// warning when it did not.
// A failed write whose file the system refused (`systemReason`, naming the file) says that
// instead of the writer's general words.
void PrintFailure(const std::string& where, bool ok, const char* error,
                  const std::string& systemReason = "") {
    std::string refusal;
    refusal.swap(gRefusal);
    if (!ok && !systemReason.empty()) {
        std::fprintf(stderr, "oxa-convert: %s\n", Printable(systemReason.c_str()).c_str());
        return;
    }
    if (!refusal.empty() && !ok) {
        PrintRefusal(where, refusal);
        return;
    }
    if (!refusal.empty() && !gQuiet) PrintRefusal(where, "Error: " + refusal);
    if (ok) return;
    if (error && std::strchr(error, '\n'))
        PrintRefusal(where, error);  // a reason with a list of names, one a line
    else
        PrintError(where, error);
}

// Messages that readers and writers show through their options are kept with the others; an
// "Error" is kept as the refusal.
int KeepMessage(const char* title, const char* text, const char*, const char*, const char*, void*) {
    EndProgress();
    if (title && SameText(title, "Error") && text && *text) {
        if (gRefusal.empty()) gRefusal = text;
        return 1;
    }
    std::string message = title && *title ? std::string(title) + ": " : std::string();
    gMessages.Add(message + (text ? text : ""));
    return 1;
}

// ---- options ----

VStreamOptionsMotion* AsMotion(VStreamOptions* options) {
    return options && options->IsA(VStreamOptionsMotion::ClassId)
               ? static_cast<VStreamOptionsMotion*>(options)
               : nullptr;
}

// ---- settings file ----

// Reads the settings file `name` (a leading "@" resolved as the toolkit does); false with the
// reason in `error` when it is missing, a directory, unreadable, too large, or not 8-bit text (a
// UTF-16 file, a NUL byte). A line that is neither a section, a comment nor a key=value line gets
// a warning in `warnings`, as its option would otherwise be lost without a word.
bool LoadSettings(const std::string& name, std::vector<SettingsEntry>& entries,
                  std::vector<std::pair<std::string, std::string>>& warnings, std::string& error) {
    const VString resolved = VConfigFile::ResolveName(name.c_str());
    const std::string path = resolved.Buffer();
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return (error = std::strerror(errno), false);
    if (S_ISDIR(info.st_mode)) return (error = "is a directory, not a settings file", false);
    constexpr long long kMaxSettingsSize = 16LL * 1024 * 1024;  // what the settings reader reads
    if (info.st_size > kMaxSettingsSize) return (error = "is too large for a settings file", false);
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return (error = std::strerror(errno), false);
    std::string data;
    char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0 && (long long)data.size() <= kMaxSettingsSize)
        data.append(chunk, got);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) return (error = "could not be read", false);
    // A byte-order mark some editors put before UTF-8 text is not part of the first line.
    if (data.compare(0, 3, "\xEF\xBB\xBF") == 0) data.erase(0, 3);
    // Byte-order marks of the wider encodings; UTF-32's little-endian mark starts as UTF-16's does.
    const char* wide = data.compare(0, 4, std::string("\xFF\xFE\0\0", 4)) == 0 ||
                               data.compare(0, 4, std::string("\0\0\xFE\xFF", 4)) == 0
                           ? "UTF-32"
                       : data.compare(0, 2, "\xFF\xFE") == 0 || data.compare(0, 2, "\xFE\xFF") == 0 ? "UTF-16"
                                                                                                    : nullptr;
    if (wide)
        return (error = std::string("line 1: the file is ") + wide +
                        " text; a settings file is UTF-8 or ASCII text",
                false);
    std::string section;
    int number = 0;
    for (size_t at = 0; at < data.size();) {
        size_t end = at;
        while (end < data.size() && data[end] != '\n' && data[end] != '\r')
            ++end;
        const std::string line = Trimmed(data.substr(at, end - at));
        ++number;
        at = end;
        if (at < data.size() && data[at] == '\r') ++at;
        if (at < data.size() && data[at] == '\n') ++at;
        // Text read as C strings ends at a NUL: the value would silently lose its end.
        if (line.find('\0') != std::string::npos)
            return (error = "line " + std::to_string(number) +
                            ": holds a NUL byte; a settings file is UTF-8 or ASCII text",
                    false);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        const size_t close = line.find(']');
        if (line.size() >= 2 && line[0] == '[' && close != std::string::npos && close > 0) {
            section = Trimmed(line.substr(1, close - 1));
            continue;
        }
        const std::string where = "line " + std::to_string(number) + ": \"" + Shown(line) + "\" ";
        const size_t equals = line.find('=');
        if (equals == std::string::npos) {
            warnings.emplace_back("lines that are not key=value lines",
                                  where + "is not a key=value line and is ignored");
            continue;
        }
        std::string key = Trimmed(line.substr(0, equals));
        if (key.empty()) {
            warnings.emplace_back("lines without a key", where + "names no key and is ignored");
            continue;
        }
        entries.push_back({section, key, Trimmed(line.substr(equals + 1)), number});
    }
    return true;
}

// The option names of the reader or writer of `path`'s format: the geometry formats name their
// own, every motion format has the same motion options.
std::vector<std::string> OptionNames(const std::string& path) {
    std::vector<std::string> names;
    VStreamOptionsBase* geometry = nullptr;
    if (IsFormat(path.c_str(), "3ds"))
        geometry = VStreamOptions3ds::Create();
    else if (IsFormat(path.c_str(), "obj"))
        geometry = VStreamOptionsObj::Create();
    else if (IsFormat(path.c_str(), "dxf"))
        geometry = VStreamOptionsDxf::Create();
    if (geometry) {
        for (int index = 1; index <= VStreamOptionsBase::kOptionCount; ++index)
            if (*geometry->GetOptionName(index)) names.push_back(geometry->GetOptionName(index));
        geometry->Destroy();
    } else {
        for (int index = 0; index < VStreamOptionsMotion::eOPTION_COUNT; ++index)
            names.push_back(VStreamOptionsMotion::GetOptionName(index));
    }
    return names;
}

// Where an option of the reader or writer of `path`'s format acts: when a file is read (under
// [Import]), when one is written (under [Export]), both, or neither (0: the option has no effect).
constexpr int kActsOnRead = 1, kActsOnWrite = 2;
int WhereOptionActs(const std::string& path, const std::string& key) {
    if (IsFormat(path.c_str(), "3ds")) {
        if (key == "Reduce Keys" || key == "Smooth Group") return kActsOnRead;
        if (key == "UV per polygon") return kActsOnWrite;
        return kActsOnRead | kActsOnWrite;
    }
    if (IsAnyFormat(path, {"obj", "dxf"})) {
        if (key == "Create Reference Node" || key == "Weld Vertices" || key == "Layer~Block~Entity")
            return kActsOnRead;
        if (key == "Force Triangulation" || key == "Evaluate Link/Shape deformations") return kActsOnWrite;
        return 0;
    }
    if (key == "UnusedSegments" || key == "ExportRequireSingleRootNode") return 0;
    if (key.rfind("Import", 0) == 0 || key == "RenameDuplicateNames") return kActsOnRead;
    if (key.rfind("Export", 0) == 0) return kActsOnWrite;
    return kActsOnRead | kActsOnWrite;
}

// The highest value a settings key takes; the lowest is 0.
int OptionHighest(const std::string& key) {
    return key == "Layer~Block~Entity" ? 2 : 1;
}

// Warnings about the settings file, a few of each kind: a file of thousands of unknown keys would
// otherwise bury everything else. The rest of a kind are counted in one line at the end.
class SettingsWarnings {
public:
    explicit SettingsWarnings(std::string file) : mFile(std::move(file)) {}
    ~SettingsWarnings() {
        for (const auto& kind : mCounts)
            if (kind.second > kShown)
                Warn(mFile + ": " + std::to_string(kind.second - kShown) + " more " + kind.first +
                     " (only the first " + std::to_string(kShown) + " are shown)");
    }
    // `kind` names such lines in the closing count ("lines that are not key=value lines").
    void Add(const std::string& kind, const std::string& text) {
        if (++mCounts[kind] <= kShown) Warn(mFile + ": " + text);
    }

private:
    static constexpr int kShown = 5;
    std::string mFile;
    std::map<std::string, int> mCounts;
};

// Checks the [Import] keys against the reader of `in` and the [Export] keys against the writer of
// `out` (when there is one): a key that is not an option acting there gets a warning with the
// keys that do; such a key whose value is not a whole number is an error (false, reason printed).
bool CheckSettings(const Arguments& args, const std::vector<SettingsEntry>& entries, const std::string& in,
                   const std::string* out, SettingsWarnings& warnings) {
    struct Side {
        const char* section;
        const char* role;
        const std::string* path;
        int acts;
    };
    const Side sides[] = {{"Import", "reader", &in, kActsOnRead}, {"Export", "writer", out, kActsOnWrite}};
    // A key given twice in one section takes its first value (as the toolkit reads settings files);
    // the later line would otherwise be dropped unseen.
    std::map<std::pair<bool, std::string>, const SettingsEntry*> firstOfKey;
    for (const SettingsEntry& entry : entries) {
        const bool import = SameText(entry.section.c_str(), "Import");
        if (!import && !SameText(entry.section.c_str(), "Export")) {
            warnings.Add("keys outside the [Import] and [Export] sections",
                         "line " + std::to_string(entry.line) + ": \"" + Shown(entry.key) +
                             "\" is outside the [Import] and [Export] sections and is ignored");
            continue;
        }
        const auto placed = firstOfKey.emplace(std::make_pair(import, entry.key), &entry);
        if (!placed.second)
            warnings.Add("keys given more than once",
                         "line " + std::to_string(entry.line) + ": \"" + Shown(entry.key) +
                             "\" is given again under [" + (import ? "Import" : "Export") +
                             "] and is ignored: the value of line " +
                             std::to_string(placed.first->second->line) + ", \"" +
                             Shown(placed.first->second->value) + "\", is used");
    }
    for (const Side& side : sides) {
        const char* extension = side.path ? VOxaGetFileExtension(side.path->c_str()) : "";
        if (!side.path ||
            (side.path == &in ? VOxaFindReaderFormat(extension) : VOxaFindWriterFormat(extension)) < 0)
            continue;
        std::vector<std::string> names = OptionNames(*side.path);
        names.erase(std::remove_if(names.begin(), names.end(),
                                   [&](const std::string& name) {
                                       return !(WhereOptionActs(*side.path, name) & side.acts);
                                   }),
                    names.end());
        std::string known;
        for (const std::string& name : names)
            known += (known.empty() ? "" : ", ") + name;
        std::string format = extension;
        for (char& c : format)
            c = (char)std::toupper((unsigned char)c);
        for (const SettingsEntry& entry : entries) {
            if (!SameText(entry.section.c_str(), side.section)) continue;
            // A repeated key was warned about above and is not used: its value is not checked.
            if (firstOfKey[std::make_pair(side.acts == kActsOnRead, entry.key)] != &entry) continue;
            const std::string line = "line " + std::to_string(entry.line);
            const std::string where = Printable(args.optionsFile) + ": " + line;
            if (std::find(names.begin(), names.end(), entry.key) == names.end()) {
                warnings.Add(std::string("keys that are not options of the ") + format + " " + side.role,
                             line + ": \"" + Shown(entry.key) + "\" is not an option of the " + format + " " +
                                 side.role + " and is ignored; its options under [" + side.section +
                                 "] are: " + known);
                continue;
            }
            const char* end = entry.value.c_str() + entry.value.size();
            long long value = 0;
            const bool whole = !entry.value.empty() && VParseInt64(entry.value.c_str(), end, value) == end;
            // A whole number written out, but too large for any option (99999999999999999999).
            const size_t sign = entry.value.rfind('-', 0) == 0 || entry.value.rfind('+', 0) == 0 ? 1 : 0;
            const bool digits = entry.value.size() > sign &&
                                entry.value.find_first_not_of("0123456789", sign) == std::string::npos;
            const int highest = OptionHighest(entry.key);
            if (!whole && !digits) {
                std::fprintf(stderr, "oxa-convert: %s: the value of %s is \"%s\", not a whole number\n",
                             where.c_str(), Shown(entry.key).c_str(), Shown(entry.value).c_str());
                return false;
            }
            // Every option is off (0) or on (1), but the grouping of the DXF reader, which has three
            // modes; any other value would act as one of these without a word.
            if (!whole || value < 0 || value > highest) {
                std::fprintf(stderr, "oxa-convert: %s: the value of %s is %s, out of range: it is %s\n",
                             where.c_str(), Shown(entry.key).c_str(), Shown(entry.value).c_str(),
                             highest == 1 ? "0 or 1" : "0, 1 or 2");
                return false;
            }
        }
    }
    return true;
}

// Applies the settings file's section `section` (the motion options by name, the geometry options
// by name) and the callbacks of the command.
void ConfigureOptions(VStreamOptions* options, const Arguments& args, const char* section) {
    if (!options) return;
    options->SetDialogCallback(&QuietDialog);
    options->SetMessageCallback(&KeepMessage);
    if (!gQuiet && isatty(2)) options->SetProgressCallback(&OnProgress);

    // The first line of the key in the first section of that name, as the settings files of the
    // toolkit are read: sections without regard to case, keys as they are written.
    auto readInt = [&](const char* key, int& value) {
        if (!key || !*key) return false;
        for (const SettingsEntry& entry : args.settings) {
            if (!SameText(entry.section.c_str(), section) || entry.key != key) continue;
            const char* begin = entry.value.c_str();
            return !entry.value.empty() && VParseInt(begin, begin + entry.value.size(), value) != nullptr;
        }
        return false;
    };
    if (options->IsA(VStreamOptionsMotion::ClassId)) {
        auto* motion = static_cast<VStreamOptionsMotion*>(options);
        for (int index = 0; index < VStreamOptionsMotion::eOPTION_COUNT; ++index) {
            int value = 0;
            if (readInt(VStreamOptionsMotion::GetOptionName(index), value)) motion->SetOption(index, value);
        }
    } else if (options->IsA(VStreamOptionsBase::ClassId)) {
        auto* base = static_cast<VStreamOptionsBase*>(options);
        for (int index = 1; index <= VStreamOptionsBase::kOptionCount; ++index) {
            int value = 0;
            if (readInt(base->GetOptionName(index), value)) base->SetOptionValue(index, value);
        }
    }
}

// Read options: marker files from labs often label two markers alike, so clashes are numbered
// (with a warning) unless the settings file turns "RenameDuplicateNames" off. The read keeps the
// start, frame count and rate the reader found in the file.
void ConfigureOptionsForRead(VStreamOptions* options, const Arguments& args) {
    if (VStreamOptionsMotion* motion = AsMotion(options))
        motion->SetOption(VStreamOptionsMotion::eRENAME_DUPLICATE_NAMES, 1);
    ConfigureOptions(options, args, "Import");
}

// The frame rate of what was read: the rate the motion reader found in the file, else the
// scene's own time mode (the rate at which the geometry readers key their animation).
struct SourceRate {
    int timeMode = 0;
    double rate = 0.0;
    bool custom = false;
};

// The highest rate --frame-rate and --input-rate take.
constexpr double kMaxRate = 1e6;

// ---- reading ----

// The manager and scene of one run, with the read options kept alive until the scene is written:
// they hold the rate and frame range the reader found, and the skeleton that AMC motion needs.
struct Session {
    VOxaSdkManager* manager = nullptr;
    VOxaScene* scene = nullptr;
    VStreamOptions* readOptions = nullptr;
    VStreamOptions* skeletonOptions = nullptr;
    bool usageError = false;  // the command line asked for what cannot be written
    ~Session() {
        // Unwinding from an allocation failure: the run is ending, and tearing a scene down takes
        // memory too; the system takes it all back.
        if (std::uncaught_exceptions() > 0) return;
        if (readOptions) readOptions->Destroy();
        if (skeletonOptions) skeletonOptions->Destroy();
        delete manager;
    }

    SourceRate Rate() const {
        SourceRate source;
        if (const VStreamOptionsMotion* motion = AsMotion(readOptions)) {
            source.timeMode = motion->GetTimeMode();
            source.rate = motion->GetFrameRate();
            source.custom = motion->IsCustomFrameRate();
        }
        if (!(source.rate > 0.0)) {
            source.timeMode = scene->GetGlobalTimeSettings().GetTimeMode();
            source.rate = VTime::GetFrameRate(source.timeMode);
            source.custom = false;
        }
        return source;
    }
};

std::string RateText(double rate);

// --input-rate: motion options whose reader found no rate in the file (they keep the default time
// mode) take `rate`; the start the reader worked out keeps its frame number. A rate the file names
// stays, with a note.
void ApplyInputRate(const std::string& path, VStreamOptionsMotion* motion, double rate) {
    if (!motion || !(rate > 0.0)) return;
    if (motion->IsCustomFrameRate()) {
        Warn(Shown(path) + ": the file names its own rate (" + RateText(motion->GetFrameRate()) +
             " frames per second): --input-rate is not used");
        return;
    }
    const int64_t period = motion->GetFramePeriod().Get();
    const double first = period > 0 ? std::round((double)motion->GetStartTime().Get() / (double)period) : 0.0;
    motion->SetTimeMode(0, rate);
    VTime start;
    start.SetSecondDouble(first / rate);
    motion->SetStartTime(start);
}

// Reads `path` into the session's scene with its reader's own options, the command's settings and,
// when given, `skeleton` attached (the AMC reader animates that skeleton). The options are handed
// back through `kept`. Every failure prints the first error that stopped the read.
bool ImportFile(const std::string& path, const Arguments& args, Session& session, VPlug* skeleton,
                VStreamOptions*& kept) {
    BeginStep(path, true);
    const unsigned long long failures = oxa_alloc::FailureCount();
    VOxaImporter* importer = session.manager->CreateImporter();
    if (!importer) {
        SayNoMemory();
        return false;
    }
    // Memory that runs out opening the file or making the reader's options is told as that,
    // whatever words the step found for it.
    const VError& error = importer->GetError();
    if (!importer->Initialize(path.c_str())) {
        if (RanOutOfMemory(error, VOxaReader::eNOT_ENOUGH_MEMORY, failures))
            SayNoMemory();
        else
            PrintError(path, error.GetLastErrorString().Buffer());
        return false;
    }
    // The options carry the start, frame count and rate the reader found in the file. A reader
    // that cannot make them has already met the error that matters.
    VStreamOptions* options = importer->GetReadOptions();
    if (!options && error.GetLastErrorID() >= 0) {
        if (RanOutOfMemory(error, VOxaReader::eNOT_ENOUGH_MEMORY, failures))
            SayNoMemory();
        else
            PrintError(path, error.GetLastErrorString().Buffer());
        return false;
    }
    ConfigureOptionsForRead(options, args);
    SetProgressStage("reading", path);
    if (!IsFormat(path.c_str(), "asf")) ApplyInputRate(path, AsMotion(options), args.inputRate);
    if (VStreamOptionsMotion* motion = AsMotion(options); motion && skeleton)
        motion->SetAttachedObject(skeleton, false);
    const bool ok = importer->Import(session.scene, options);
    EndProgress();
    gMessages.AddLines(importer->GetMessageText().Buffer());
    if (!ok) gMessages.Drop(error.GetLastErrorString().Buffer());
    gMessages.Print(path);
    if (!ok && RanOutOfMemory(error, VOxaReader::eNOT_ENOUGH_MEMORY, failures)) {
        gRefusal.clear();
        SayNoMemory();
    } else {
        PrintFailure(path, ok, error.GetLastErrorString().Buffer());
    }
    if (!ok) {
        if (options) options->Destroy();
        return false;
    }
    kept = options;
    return true;
}

// The caller has checked that a reader reads the extension.
bool ReadScene(const std::string& path, const Arguments& args, Session& session) {
    if (!CheckInputFile(path) || (!args.skeleton.empty() && !CheckInputFile(args.skeleton))) return false;

    BeginStep(path, true);
    session.manager = VOxaSdkManager::Create();
    session.scene = session.manager ? session.manager->CreateScene() : nullptr;
    // A new scene always has its root node: without one, memory ran out making it.
    if (!session.scene || !session.scene->GetRootNode()) {
        SayNoMemory();
        return false;
    }
    VPlug* skeleton = nullptr;
    if (IsFormat(path.c_str(), "amc")) {
        const std::string asf = oxa_run::SkeletonFor(path, args.skeleton);
        if (asf.empty()) {
            const std::string text =
                "AMC motion needs its ASF skeleton: give --skeleton FILE.asf (there is no " +
                oxa_run::FileBeside(path, "asf") + ")";
            PrintError(path, text.c_str());
            return false;
        }
        if (!CheckInputFile(asf)) return false;
        if (!ImportFile(asf, args, session, nullptr, session.skeletonOptions)) return false;
        const VStreamOptionsMotion* motion = AsMotion(session.skeletonOptions);
        skeleton = motion ? motion->GetAttachedObject() : nullptr;
        if (!skeleton) {
            PrintError(asf, "no ASF skeleton was read from this file");
            return false;
        }
    }
    return ImportFile(path, args, session, skeleton, session.readOptions);
}

// True when `test` (node, is the root) holds for the scene's root or a node below it.
template <class Test>
bool AnyNode(VOxaScene* scene, Test test) {
    VOxaNode* root = scene->GetRootNode();
    std::vector<VOxaNode*> stack;
    if (root) stack.push_back(root);
    while (!stack.empty()) {
        VOxaNode* node = stack.back();
        stack.pop_back();
        if (test(node, node == root)) return true;
        for (int k = 0; k < node->GetChildCount(); ++k)
            if (VOxaNode* child = node->GetChild(k)) stack.push_back(child);
    }
    return false;
}

// True when the scene holds a node with geometry, a skeleton, a marker or any other attribute,
// or any animated channel.
bool HoldsSomething(VOxaScene* scene) {
    return AnyNode(scene, [](VOxaNode* node, bool isRoot) {
        if (!isRoot && node->GetNodeAttribute()) return true;
        VTime start = VTime::kInfinite, stop = VTime::kMinusInfinite;
        return node->GetAnimationInterval(start, stop);
    });
}

void NoteEmpty(const std::string& path, VOxaScene* scene) {
    if (!HoldsSomething(scene)) Warn(path + ": no geometry or motion was found in this file");
}

// ---- writing ----

std::string RateText(double rate) {
    char text[32];
    VFormatDoubleG(text, sizeof text, rate, 6);
    return text;
}

// The take a conversion writes, for a message: by its name, or as the scene's only take when it
// has none.
std::string TakeNamed(VOxaScene* scene) {
    const std::string name = scene->GetCurrentTakeName();
    return name.empty() ? "the scene's only take" : "the take \"" + name + "\"";
}

// The most frames a conversion writes: kMostFrames, or kFramesPerInputByte for each byte of the
// input when that is more.
constexpr long long kMostFrames = 100000;
constexpr long long kFramesPerInputByte = 100;
// A take whose span runs further past its last key is cut there (VOxaSetMotionFramesToWrite).
constexpr long long kMostFramesPastKeys = 10000;

// Sets the frames a motion writer writes: the source's rate unless the command line asks for
// another (then only the output is resampled, and one line says so), over the current take.
// False (with the reason printed) when the rate asked for gives more frames than can be written.
bool SetMotionToWrite(VStreamOptionsMotion* motion, const Arguments& args, Session& session,
                      const std::string& out, bool announce) {
    const SourceRate source = session.Rate();
    const VStreamOptionsMotion* read = AsMotion(session.readOptions);
    VOxaUseSourceRate(motion, read, session.scene);
    if (args.frameRate > 0.0)
        motion->SetTimeMode(0, args.frameRate);
    else if (args.timeMode >= 0)
        motion->SetTimeMode(args.timeMode);
    VString error, warning;
    if (!VOxaSetMotionFramesToWrite(motion, session.scene,
                                    read && args.take.empty() ? read->GetFrameCount() : -1, &error,
                                    &warning)) {
        PrintError(out, error.Buffer());
        return false;
    }
    if (announce && !warning.IsEmpty()) Warn(out + ": " + TakeNamed(session.scene) + ": " + warning.Buffer());
    // Output in proportion to the input: a take that would fill the disk from a small file is
    // refused before anything is written (the old file stays).
    const long long frames = motion->GetFrameCount();
    struct stat input {};
    const long long inputBytes =
        !args.files.empty() && stat(args.files[0].c_str(), &input) == 0 ? (long long)input.st_size : 0;
    const long long most = std::max(kMostFrames, kFramesPerInputByte * inputBytes);
    if (frames > most) {
        PrintError(out, (TakeNamed(session.scene) + " would be written as " + std::to_string(frames) +
                         " frames, more than " + std::to_string(most) + " (" +
                         std::to_string(kFramesPerInputByte) + " for each byte of the input, at least " +
                         std::to_string(kMostFrames) + "): nothing is written")
                            .c_str());
        return false;
    }
    if (announce && std::fabs(motion->GetFrameRate() - source.rate) > 1e-9 * source.rate)
        Warn(out + ": motion resampled from " + RateText(source.rate) + " to " +
             RateText(motion->GetFrameRate()) + " frames per second");
    return true;
}

// The geometry writers copy texture images from the input's folder and the --texture-dir folders
// (and from the folder of the file that named each image).
void AllowTextureFolders(VStreamOptions* options, const Arguments& args) {
    if (options == nullptr || !options->IsA(VStreamOptionsBase::ClassId) || args.files.empty()) return;
    auto* geometry = static_cast<VStreamOptionsBase*>(options);
    const std::string& in = args.files[0];
    const size_t slash = in.find_last_of('/');
    geometry->AddTextureFolder(slash == std::string::npos ? "." : in.substr(0, slash + 1).c_str());
    for (const std::string& folder : args.textureDirs)
        geometry->AddTextureFolder(folder.c_str());
}

// Writes the scene to `path` with the writer of table row `format`; the options are handed back
// through `kept` (the ASF writer leaves its skeleton there for the AMC writer) or destroyed.
bool ExportFile(const std::string& path, int format, const std::string& shownAs, const Arguments& args,
                Session& session, VPlug* skeleton, VStreamOptions** kept, bool announce = true) {
    BeginStep(path, false);
    const unsigned long long failures = oxa_alloc::FailureCount();
    VOxaExporter* exporter = session.manager->CreateExporter();
    if (!exporter) {
        SayNoMemory();
        return false;
    }
    const VError& error = exporter->GetError();
    if (!exporter->Initialize(path.c_str()) || !exporter->SetFileFormat(format)) {
        if (RanOutOfMemory(error, VOxaWriter::eNOT_ENOUGH_MEMORY, failures))
            SayNoMemory();
        else
            PrintError(shownAs, error.GetLastErrorString().Buffer());
        return false;
    }
    VStreamOptions* options = exporter->GetWriteOptions();
    // Options that could not be made would leave the writer to pick what to write by itself.
    if (!options && RanOutOfMemory(error, VOxaWriter::eNOT_ENOUGH_MEMORY, failures)) {
        SayNoMemory();
        return false;
    }
    // What to write (the marked nodes, every node with an attribute when none is), and how.
    VOxaMarkMotionToWrite(session.scene, format, AsMotion(options));
    ConfigureOptions(options, args, "Export");
    AllowTextureFolders(options, args);
    SetProgressStage("writing", shownAs);
    if (VStreamOptionsMotion* motion = AsMotion(options)) {
        if (!SetMotionToWrite(motion, args, session, shownAs, announce)) {
            // A rate the command line asked for is a usage error; the source's own rate is not.
            session.usageError = args.frameRate > 0.0 || args.timeMode >= 0;
            options->Destroy();
            return false;
        }
        if (skeleton) motion->SetAttachedObject(skeleton, false);
    }
    // A motion writer that takes no frame writes no motion (one that refuses says why itself).
    const VStreamOptionsMotion* motion = AsMotion(options);
    const bool noFrames = announce && motion && motion->GetFrameCount() <= 0;
    const bool ok = exporter->Export(session.scene, options);
    EndProgress();
    gMessages.AddLines(exporter->GetMessageText().Buffer());
    // An image left behind because of where it lies can be let in with --texture-dir.
    if (std::strstr(exporter->GetMessageText().Buffer(), "is outside the folders textures are copied from"))
        gMessages.Add("to copy such an image, give --texture-dir with a folder it lies in (or below)");
    if (!ok) gMessages.Drop(error.GetLastErrorString().Buffer());
    gMessages.Print(shownAs);
    // A file that could not be created or written fails with the system's reason (no space, the
    // size limit; a stream that could not have its buffer is memory run out); a writer refuses a
    // scene that gives it nothing its format holds with the plain reason.
    const VSafeOutputGroup* files = VSafeOutputGroup::Current();
    if (!ok && (RanOutOfMemory(error, VOxaWriter::eNOT_ENOUGH_MEMORY, failures) ||
                (files && files->WriteFailedErrno() == ENOMEM))) {
        gRefusal.clear();
        SayNoMemory();
    } else {
        PrintFailure(shownAs, ok, error.GetLastErrorString().Buffer(),
                     files ? oxa_run::WriteFailure(*files) : std::string());
    }
    if (ok && noFrames)
        Warn(shownAs + ": " + TakeNamed(session.scene) + " has no frames: no motion is written");
    if (ok && kept)
        *kept = options;
    else if (options)
        options->Destroy();
    return ok;
}

// AMC motion is written with its ASF skeleton beside it (the same stem, .asf): the ASF writer
// builds the skeleton the AMC writer samples. Both join the run's files, put in place together.
bool ExportAmc(const std::string& out, int format, const Arguments& args, Session& session) {
    const int asfFormat = VOxaFindWriterFormat("asf");
    const std::string asf = oxa_run::FileBeside(out, "asf");
    VStreamOptions* asfOptions = nullptr;
    bool ok = ExportFile(asf, asfFormat, asf, args, session, nullptr, &asfOptions, false);
    const VStreamOptionsMotion* motion = AsMotion(asfOptions);
    if (ok && (!motion || !motion->GetAttachedObject())) {
        PrintError(asf, "no ASF skeleton was built from this scene");
        ok = false;
    }
    if (ok) ok = ExportFile(out, format, out, args, session, motion->GetAttachedObject(), nullptr);
    if (asfOptions) asfOptions->Destroy();
    return ok;
}

// The takes of the scene for a message: their names in quotes, separated by commas.
std::string TakeList(VOxaScene* scene) {
    VStringList takes;
    scene->FillTakeNameArray(takes);
    std::string list;
    for (int k = 0; k < takes.GetCount(); ++k)
        list += (k ? ", \"" : "\"") + Shown(takes[k]) + "\"";
    return list.empty() ? "the file has no take" : "its takes are " + list;
}

// True (with the reason printed) when the take --take names is not in the scene.
bool TakeMissing(const Arguments& args, VOxaScene* scene) {
    VStringList takes;
    scene->FillTakeNameArray(takes);
    if (args.take.empty() || takes.Find(args.take.c_str()) >= 0) return false;
    std::fprintf(stderr, "oxa-convert: %s: no take named \"%s\"; %s\n", args.files[0].c_str(),
                 Shown(args.take).c_str(), TakeList(scene).c_str());
    return true;
}

// True (with the reason printed) when `path`, a file the command reads (`input`) or writes, names
// a folder: one that exists, or a name that ends with "/".
bool IsFolderGiven(const std::string& path, bool input) {
    struct stat info {};
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        return !PrintProblem(input ? oxa_run::CheckInputFile(path) : oxa_run::CheckOutputFile(path));
    if (path.back() != '/') return false;
    std::fprintf(stderr, "oxa-convert: %s is a folder (the name ends with \"/\"), not a file\n",
                 path.c_str());
    return true;
}

// True when the current take of the scene animates some node.
bool HoldsMotion(VOxaScene* scene) {
    return AnyNode(scene, [](VOxaNode* node, bool) {
        VTime start = VTime::kInfinite, stop = VTime::kMinusInfinite;
        return node->GetAnimationInterval(start, stop) && stop.Get() > start.Get();
    });
}

// True when some node holds a key in the take `take` (a take node whose channels are still to be
// made holds none).
bool TakeHasKeys(VOxaScene* scene, const std::string& take) {
    return AnyNode(scene, [&take](VOxaNode* node, bool) {
        for (int t = 0; t < node->GetTakeNodeCount(); ++t) {
            const VOxaTakeNode* takeNode = node->GetTakeNode(t);
            if (!takeNode || take != takeNode->GetName()) continue;
            if (takeNode->HasDeferredChannels()) continue;
            std::vector<const VFCurveNode*> stack;
            if (takeNode->GetVFCurveNode()) stack.push_back(takeNode->GetVFCurveNode());
            while (!stack.empty()) {
                const VFCurveNode* curveNode = stack.back();
                stack.pop_back();
                if (const VFCurve* curve = curveNode->FCurveGet())
                    if (curve->KeyGetCount() > 0) return true;
                for (int k = 0; k < curveNode->GetCount(); ++k)
                    if (const VFCurveNode* child = curveNode->Get(k)) stack.push_back(child);
            }
        }
        return false;
    });
}

int Convert(const Arguments& args) {
    const std::string& in = args.files[0];
    const std::string& out = args.files[1];
    if (IsFolderGiven(in, true) || IsFolderGiven(out, false)) return kExitFile;
    const int format = VOxaFindWriterFormat(VOxaGetFileExtension(out.c_str()));
    if (format < 0) {
        std::fprintf(stderr, "oxa-convert: %s: no writer for the extension \"%s\" (see --formats)\n",
                     Printable(out).c_str(), Printable(VOxaGetFileExtension(out.c_str())).c_str());
        return kExitUsage;
    }
    if (VOxaFindReaderFormat(VOxaGetFileExtension(in.c_str())) < 0) {
        std::fprintf(stderr, "oxa-convert: %s: no reader for the extension \"%s\" (see --formats)\n",
                     Printable(in).c_str(), Printable(VOxaGetFileExtension(in.c_str())).c_str());
        return kExitUsage;
    }
    if (!CheckInputFile(in) || (!args.skeleton.empty() && !CheckInputFile(args.skeleton))) return kExitFile;
    // Every file the run writes, worked out before anything is read.
    const std::vector<oxa_run::RunFile> outputs = oxa_run::OutputsOf(out);
    for (const oxa_run::RunFile& output : outputs)
        if (!PrintProblem(oxa_run::CheckOutputFile(output.path))) return kExitFile;
    // Writing over a file the run reads would lose it.
    if (!PrintProblem(oxa_run::WritesOverInput(outputs, oxa_run::InputsOf(in, args.skeleton))))
        return kExitUsage;

    Session session;
    if (!ReadScene(in, args, session)) return kExitFile;
    NoteEmpty(in, session.scene);
    if (TakeMissing(args, session.scene)) return kExitUsage;
    // A file of another format that yields nothing makes no 3DS file either: its writer would keep
    // the reader's bare reference node as a dummy, as it keeps the bare nodes a program builds. A
    // 3DS file of settings alone (background, fog) is written back.
    if (IsFormat(out.c_str(), "3ds") && !IsFormat(in.c_str(), "3ds") && !HoldsSomething(session.scene)) {
        PrintError(out, "no geometry to write");
        return kExitFile;
    }
    // Objects without that take (materials a reader made, say) keep theirs; the nodes switch.
    if (!args.take.empty()) session.scene->SetCurrentTake(args.take.c_str());
    // A take chosen by name that holds no key writes no motion to a geometry format; the motion
    // writers say so by the frames they write (ExportFile).
    if (!args.take.empty() && IsAnyFormat(out, {"obj", "3ds", "dxf"}) &&
        !TakeHasKeys(session.scene, session.scene->GetCurrentTakeName()))
        Warn(out + ": " + TakeNamed(session.scene) + " has no frames: no motion is written");
    // The images a geometry writer copies are known now: none may be a file the run writes.
    if (IsAnyFormat(out, {"obj", "3ds"}) &&
        !PrintProblem(oxa_run::WritesOverInput(outputs, oxa_run::TextureImages(session.scene))))
        return kExitUsage;
    // The 3DS keyframer keys whole frames at 30 fps, whatever rate the motion was read at.
    const auto animOff = [&args] {
        for (const SettingsEntry& entry : args.settings)
            if (SameText(entry.section.c_str(), "Export") && entry.key == "Anim") {
                int value = 0;
                const char* begin = entry.value.c_str();
                return VParseInt(begin, begin + entry.value.size(), value) == nullptr || value != 1;
            }
        return false;
    };
    if (IsFormat(out.c_str(), "3ds") && !animOff() && HoldsMotion(session.scene)) {
        const double rate = session.Rate().rate;
        if (std::fabs(rate - 30.0) > 1e-9)
            Warn(out + ": motion resampled from " + RateText(rate) +
                 " to 30 fps: 3DS keys are whole frames at 30 fps");
    }

    // Every file of the run goes to a temporary file of its own and is put in place only when all
    // were written; on any failure (or an allocation failure thrown through here) the temporaries
    // go and every file that was there stays as it was.
    VSafeOutputGroup files;
    const bool ok = IsFormat(out.c_str(), "amc")
                        ? ExportAmc(out, format, args, session)
                        : ExportFile(out, format, out, args, session, nullptr, nullptr);
    if (!ok) return session.usageError ? kExitUsage : kExitFile;
    // The tests of a stopped run stop it here, its temporaries written and nothing in place yet,
    // and send their signal then: racing a run on a busy machine for that moment loses.
    if (std::getenv("OXA_CONVERT_TEST_STOP_BEFORE_COMMIT")) raise(SIGSTOP);
    BeginStep(out, false);
    const unsigned long long failures = oxa_alloc::FailureCount();
    const std::string failure = oxa_run::CommitRun(files);
    if (!failure.empty() && oxa_alloc::FailureCount() != failures) {
        SayNoMemory();
        return kExitFile;
    }
    return PrintProblem(failure) ? kExitOk : kExitFile;
}

// ---- description ----

const char* AttributeTypeName(const VOxaNode* node) {
    const VOxaNodeAttribute* attribute = node->GetNodeAttribute();
    if (!attribute) return "none";
    static const char* const kNames[] = {
        "shape",           "null",  "marker",           "skeleton", "mesh", "nurb", "patch", "camera",
        "camera switcher", "light", "optical reference"};
    const int type = attribute->GetAttributeType();
    return type >= 0 && type < (int)(sizeof kNames / sizeof kNames[0]) ? kNames[type] : "unknown";
}

const char* RotationOrderName(const VOxaNode* node) {
    ERotationOrder order = eEULER_XYZ;
    node->GetRotationOrder(0, order);
    static const char* const kNames[] = {"XYZ", "XZY", "YZX", "YXZ", "ZXY", "ZYX", "spheric XYZ"};
    return order >= 0 && order <= 6 ? kNames[order] : "unknown";
}

struct Channel {
    std::string path;
    int keys;
};

struct Take {
    std::string name;
    std::vector<Channel> channels;
};

struct NodeEntry {
    const VOxaNode* node;
    int depth;
    std::vector<Take> takes;
    int controlPoints = -1;  // meshes only
    int polygons = -1;
};

// The animated curves of one curve-node tree, by their name paths.
void CollectChannels(const VFCurveNode* root, std::vector<Channel>& channels) {
    struct Item {
        const VFCurveNode* node;
        std::string path;
    };
    std::vector<Item> stack{{root, ""}};
    while (!stack.empty()) {
        Item item = stack.back();
        stack.pop_back();
        if (const VFCurve* curve = item.node->FCurveGet())
            if (curve->KeyGetCount() > 0 && !item.path.empty())
                channels.push_back({item.path, curve->KeyGetCount()});
        for (int k = item.node->GetCount() - 1; k >= 0; --k) {
            const VFCurveNode* child = item.node->Get(k);
            if (!child) continue;
            std::string path = item.path.empty() ? child->GetName() : item.path + "/" + child->GetName();
            stack.push_back({child, path});
        }
    }
}

// The nodes of the scene with their animated channels, those of the take `onlyTake` when it is
// not empty.
std::vector<NodeEntry> CollectNodes(VOxaScene* scene, const std::string& onlyTake) {
    std::vector<NodeEntry> nodes;
    std::vector<std::pair<const VOxaNode*, int>> stack;
    if (scene->GetRootNode()) stack.push_back({scene->GetRootNode(), 0});
    while (!stack.empty()) {
        auto [node, depth] = stack.back();
        stack.pop_back();
        NodeEntry entry{node, depth, {}};
        const VOxaNodeAttribute* attribute = node->GetNodeAttribute();
        if (attribute && attribute->GetAttributeType() == VOxaNodeAttribute::eMesh) {
            const auto* mesh = static_cast<const VOxaMesh*>(attribute);
            entry.controlPoints = mesh->GetControlPointsCount();
            entry.polygons = mesh->GetPolygonCount();
        }
        for (int t = 0; t < node->GetTakeNodeCount(); ++t) {
            const VOxaTakeNode* takeNode = node->GetTakeNode(t);
            // A take whose channels are still to be made has no key: not made just to be listed.
            if (!takeNode || takeNode->HasDeferredChannels() || !takeNode->GetVFCurveNode()) continue;
            if (!onlyTake.empty() && onlyTake != takeNode->GetName()) continue;
            Take take{takeNode->GetName(), {}};
            CollectChannels(takeNode->GetVFCurveNode(), take.channels);
            if (!take.channels.empty()) entry.takes.push_back(std::move(take));
        }
        nodes.push_back(std::move(entry));
        for (int k = node->GetChildCount() - 1; k >= 0; --k)
            if (const VOxaNode* child = node->GetChild(k)) stack.push_back({child, depth + 1});
    }
    return nodes;
}

// A JSON string of `text`. JSON is UTF-8: a byte that does not belong to a well-formed UTF-8
// character (names in older files are often Latin-1) is taken as the Latin-1 character it would
// be, written \u00XX. Control characters are escaped, C1 ones included.
std::string JsonString(const char* text) {
    std::string out = "\"";
    for (const unsigned char* p = (const unsigned char*)(text ? text : ""); *p;) {
        char escape[12];  // "\\u" and four digits; room for the eight a 32-bit value could print
        if (*p == '"' || *p == '\\') {
            out += '\\';
            out += (char)*p++;
        } else if (*p < 0x20 || *p == 0x7f) {
            std::snprintf(escape, sizeof escape, "\\u%04x", *p++);
            out += escape;
        } else if (*p < 0x80) {
            out += (char)*p++;
        } else if (const int length = VUtf8CharLength(p, true)) {
            // A C1 control, a line or paragraph separator and a mark that turns the direction of
            // the text are written as their escapes, which JSON reads as the same characters: raw,
            // a terminal showing the output may take them as commands or line breaks.
            const bool c1 = p[0] == 0xc2 && p[1] < 0xa0;
            const bool separator =
                length == 3 && p[0] == 0xe2 && p[1] == 0x80 && (p[2] == 0xa8 || p[2] == 0xa9);
            if (const unsigned mark = c1          ? p[1]
                                      : separator ? 0x2000u | (p[2] & 0x3fu)
                                                  : VDirectionMark(p, length)) {
                std::snprintf(escape, sizeof escape, "\\u%04x", mark);
                out += escape;
            } else {
                out.append((const char*)p, (size_t)length);
            }
            p += length;
        } else {
            std::snprintf(escape, sizeof escape, "\\u%04x", *p++);
            out += escape;
        }
    }
    return out + "\"";
}

std::string Seconds(VTime time) {
    if (time.Get() == VTime::kInfinite || time.Get() == VTime::kMinusInfinite) return "null";
    char text[32];
    VFormatDoubleG(text, sizeof text, time.GetSecondDouble(), 6);
    return text;
}

struct TakeEntry {
    std::string name;
    VTimeSpan span;
    double rate;
    int64_t frames;
    int64_t pastKeys;  // the frames its span runs past its last key
};

// The frames of a span at `rate`, its first and last included (one for a span of one instant);
// 0 for a span that ends before it starts or has an open end.
int64_t FramesOf(const VTimeSpan& span, double rate) {
    const int64_t start = span.GetStart().Get(), stop = span.GetStop().Get();
    if (start <= VTime::kMinusInfinite || stop >= VTime::kInfinite || stop < start) return 0;
    // In doubles: the difference of far-apart ends would overflow.
    const double seconds = ((double)stop - (double)start) / (double)VTime::kOneSecond;
    const double frames = seconds * rate;
    return std::isfinite(frames) && frames >= 0.0 && frames < 9e18 ? (int64_t)(frames + 1e-6) + 1 : 0;
}

int Describe(const Arguments& args) {
    Session session;
    if (!ReadScene(args.files[0], args, session)) return kExitFile;
    VOxaScene* scene = session.scene;
    NoteEmpty(args.files[0], scene);
    if (TakeMissing(args, scene)) return kExitUsage;
    VOxaSceneContents* contents = scene->GetContents();
    const std::vector<NodeEntry> nodes = CollectNodes(scene, args.take);

    VStringList takeNames;
    scene->FillTakeNameArray(takeNames);
    std::vector<TakeEntry> takes;
    const SourceRate source = session.Rate();
    const VStreamOptionsMotion* read = AsMotion(session.readOptions);
    const std::string readTake = scene->GetCurrentTakeName();
    // The take a conversion of the file writes: the one --take names, else the file's current one.
    const std::string convertedTake = args.take.empty() ? readTake : args.take;
    for (int k = 0; k < takeNames.GetCount(); ++k) {
        // With --take only that take is described.
        if (!args.take.empty() && args.take != takeNames[k]) continue;
        TakeEntry take{takeNames[k], VTimeSpan(), source.rate, 0, 0};
        const VOxaTakeInfo* info = scene->GetTakeInfo(take.name.c_str());
        if (info != nullptr) take.span = info->mLocalTimeSpan;
        take.frames = take.name == readTake && read ? (int64_t)read->GetFrameCount()
                      : info != nullptr             ? FramesOf(take.span, source.rate)
                                                    : 0;
        // The keys are those of the current take: how far its span runs past the last of them.
        VTime keysStart = VTime::kInfinite, keysStop = VTime::kMinusInfinite;
        if (take.name == readTake && info != nullptr && scene->GetRootNode() != nullptr) {
            scene->GetRootNode()->GetAnimationIntervalRecursive(keysStart, keysStop);
            const VTime start = take.span.GetStart();
            const VTime last = keysStop.Get() > start.Get() ? keysStop : start;
            if (take.span.GetStop().Get() > last.Get())
                take.pastKeys = FramesOf(VTimeSpan(last, take.span.GetStop()), source.rate) - 1;
        }
        takes.push_back(std::move(take));
    }
    std::vector<std::string> materials, textures, videos, constraints;
    // Materials and textures: those the contents list, then those the geometry uses (readers may
    // attach them to meshes only), each once.
    VArrayTemplate<VOxaMaterial*> materialArray;
    VArrayTemplate<VOxaTexture*> textureArray;
    scene->FillMaterialArray(materialArray);
    scene->FillTextureArray(textureArray);
    std::vector<const void*> seen;
    auto once = [&seen](const void* object) {
        if (!object || std::find(seen.begin(), seen.end(), object) != seen.end()) return false;
        seen.push_back(object);
        return true;
    };
    for (int k = 0; k < materialArray.GetCount(); ++k)
        if (once(materialArray[k])) materials.push_back(materialArray[k]->GetName());
    for (int k = 0; k < textureArray.GetCount(); ++k)
        if (once(textureArray[k])) textures.push_back(textureArray[k]->GetName());
    for (const NodeEntry& e : nodes) {
        const VOxaNodeAttribute* attribute = e.node->GetNodeAttribute();
        const int type = attribute ? attribute->GetAttributeType() : -1;
        if (type != VOxaNodeAttribute::eMesh && type != VOxaNodeAttribute::eNurb &&
            type != VOxaNodeAttribute::ePatch)
            continue;
        const auto* geometry = static_cast<const VOxaGeometryBase*>(attribute);
        for (int k = 0; k < geometry->GetMaterialCount(0); ++k)
            if (VOxaMaterial* m = geometry->GetMaterial(k, 0); once(m)) {
                materials.push_back(m->GetName());
                for (int r = 0; r < VOxaMaterial::eMAP_ROLE_COUNT; ++r)
                    if (VOxaTexture* t = m->GetMap(static_cast<VOxaMaterial::EMapRole>(r)); once(t))
                        textures.push_back(t->GetName());
            }
        for (int k = 0; k < geometry->GetTextureCount(0); ++k)
            if (VOxaTexture* t = geometry->GetTexture(k, 0); once(t)) textures.push_back(t->GetName());
    }
    if (contents)
        for (int k = 0; k < contents->GetVideoCount(); ++k)
            if (VOxaVideo* v = contents->GetVideo(k)) videos.push_back(v->GetName());
    for (int k = 0; k < scene->GetConstraintCount(); ++k)
        if (VOxaConstraint* c = scene->GetConstraint(k)) constraints.push_back(c->GetName());

    if (args.json) {
        std::printf("{\n  \"file\": %s,\n  \"nodes\": [", JsonString(args.files[0].c_str()).c_str());
        for (size_t n = 0; n < nodes.size(); ++n) {
            const NodeEntry& e = nodes[n];
            const VOxaNode* parent = e.node->GetParent();
            std::printf(
                "%s\n    {\"name\": %s, \"parent\": %s, \"depth\": %d, \"attribute\": %s, \"rotationOrder\": "
                "%s, ",
                n ? "," : "", JsonString(e.node->GetName()).c_str(),
                parent ? JsonString(parent->GetName()).c_str() : "null", e.depth,
                JsonString(AttributeTypeName(e.node)).c_str(), JsonString(RotationOrderName(e.node)).c_str());
            if (e.controlPoints >= 0)
                std::printf("\"controlPoints\": %d, \"polygons\": %d, ", e.controlPoints, e.polygons);
            std::printf("\"takes\": [");
            for (size_t t = 0; t < e.takes.size(); ++t) {
                std::printf("%s{\"take\": %s, \"channels\": [", t ? ", " : "",
                            JsonString(e.takes[t].name.c_str()).c_str());
                for (size_t c = 0; c < e.takes[t].channels.size(); ++c)
                    std::printf("%s{\"channel\": %s, \"keys\": %d}", c ? ", " : "",
                                JsonString(e.takes[t].channels[c].path.c_str()).c_str(),
                                e.takes[t].channels[c].keys);
                std::printf("]}");
            }
            std::printf("]}");
        }
        std::printf("\n  ],\n  \"takes\": [");
        for (size_t t = 0; t < takes.size(); ++t)
            std::printf(
                "%s\n    {\"name\": %s, \"start\": %s, \"stop\": %s, \"rate\": %s, \"frames\": %lld, "
                "\"converted\": %s}",
                t ? "," : "", JsonString(takes[t].name.c_str()).c_str(),
                Seconds(takes[t].span.GetStart()).c_str(), Seconds(takes[t].span.GetStop()).c_str(),
                RateText(takes[t].rate).c_str(), (long long)takes[t].frames,
                takes[t].name == convertedTake ? "true" : "false");
        auto list = [](const char* key, const std::vector<std::string>& names, bool last) {
            std::printf("  %s: [", JsonString(key).c_str());
            for (size_t k = 0; k < names.size(); ++k)
                std::printf("%s%s", k ? ", " : "", JsonString(names[k].c_str()).c_str());
            std::printf("]%s\n", last ? "" : ",");
        };
        std::printf("\n  ],\n");
        list("materials", materials, false);
        list("textures", textures, false);
        list("videos", videos, false);
        list("constraints", constraints, true);
        std::printf("}\n");
        return kExitOk;
    }

    std::printf("%s\nnodes: %zu\n", Printable(args.files[0]).c_str(), nodes.size());
    for (const NodeEntry& e : nodes) {
        std::printf("%*s%s [%s, %s]\n", 2 + 2 * e.depth, "", Printable(e.node->GetName()).c_str(),
                    AttributeTypeName(e.node), RotationOrderName(e.node));
        if (e.controlPoints >= 0)
            std::printf("%*smesh: %d control points, %d polygons\n", 4 + 2 * e.depth, "", e.controlPoints,
                        e.polygons);
        for (const Take& take : e.takes)
            for (const Channel& channel : take.channels)
                std::printf("%*s%s: %s, %d keys\n", 4 + 2 * e.depth, "", Printable(take.name.c_str()).c_str(),
                            Printable(channel.path.c_str()).c_str(), channel.keys);
    }
    std::printf("takes: %zu\n", takes.size());
    for (const TakeEntry& take : takes) {
        std::printf("  %s: %s s to %s s, %s frames per second, %lld frames%s\n",
                    Printable(take.name.c_str()).c_str(), Seconds(take.span.GetStart()).c_str(),
                    Seconds(take.span.GetStop()).c_str(), RateText(take.rate).c_str(), (long long)take.frames,
                    take.name == convertedTake ? " (a conversion writes this take)" : "");
        if (take.pastKeys > kMostFramesPastKeys)
            std::printf(
                "    its span runs %lld frames past its last key: a conversion writes the frames up to "
                "that key\n",
                (long long)take.pastKeys);
    }
    auto list = [](const char* title, const std::vector<std::string>& names) {
        std::printf("%s: %zu\n", title, names.size());
        for (const std::string& name : names)
            std::printf("  %s\n", Printable(name.c_str()).c_str());
    };
    list("materials", materials);
    list("textures", textures);
    list("videos", videos);
    list("constraints", constraints);
    return kExitOk;
}

// The formats each side supports in three groups, geometry, skeletons and markers (any other
// format of the tables after them), each group in a fixed order.
int ListFormats() {
    struct Group {
        const char* title;
        std::vector<const char*> extensions;
    };
    const Group groups[] = {{"geometry", {"3ds", "obj", "dxf"}},
                            {"skeletons", {"bvh", "htr", "asf", "amc"}},
                            {"markers", {"c3d", "trc", "brd", "mov", "vpm", "aoa", "mcd"}}};
    auto list = [&groups](const char* side, int count, auto row) {
        std::printf("%s:\n", side);
        std::vector<bool> listed((size_t)count, false);
        auto print = [&](int k) {
            listed[(size_t)k] = true;
            std::printf("    %-5s %s\n", row(k)->mExtension, row(k)->mDescription);
        };
        for (const Group& group : groups) {
            bool titled = false;
            for (const char* extension : group.extensions)
                for (int k = 0; k < count; ++k)
                    if (!listed[(size_t)k] && SameText(row(k)->mExtension, extension)) {
                        if (!titled) std::printf("  %s:\n", group.title);
                        titled = true;
                        print(k);
                    }
        }
        if (std::find(listed.begin(), listed.end(), false) == listed.end()) return;
        std::printf("  other:\n");
        for (int k = 0; k < count; ++k)
            if (!listed[(size_t)k]) print(k);
    };
    list("read", VOxaGetReaderFormatCount(), VOxaGetReaderFormat);
    list("write", VOxaGetWriterFormatCount(), VOxaGetWriterFormat);
    return kExitOk;
}

// The options of the command line. Each is given once, but for the flags and --texture-dir; an
// option with a value takes it as the next word or after "=" (--frame-rate=60).
enum class Option {
    eInfo,
    eJson,
    eFormats,
    eHelp,
    eQuiet,
    eVersion,
    eTake,
    eOptions,
    eSkeleton,
    eFrameRate,
    eInputRate,
    eTimeMode,
    eTextureDir
};

struct OptionSpec {
    Option id;
    const char* name;
    const char* shortName;  // or null
    bool takesValue;
    bool repeatable;
};

const OptionSpec kOptions[] = {
    {Option::eInfo, "--info", nullptr, false, true},
    {Option::eJson, "--json", nullptr, false, true},
    {Option::eFormats, "--formats", nullptr, false, true},
    {Option::eHelp, "--help", "-h", false, true},
    {Option::eQuiet, "--quiet", "-q", false, true},
    {Option::eVersion, "--version", nullptr, false, true},
    {Option::eTake, "--take", nullptr, true, false},
    {Option::eOptions, "--options", nullptr, true, false},
    {Option::eSkeleton, "--skeleton", nullptr, true, false},
    {Option::eFrameRate, "--frame-rate", nullptr, true, false},
    {Option::eInputRate, "--input-rate", nullptr, true, false},
    {Option::eTimeMode, "--time-mode", nullptr, true, false},
    {Option::eTextureDir, "--texture-dir", nullptr, true, true},
};

// True when `text` is a plain decimal number: digits with at most one decimal point, nothing
// else (no sign, blank, exponent or hexadecimal form).
bool IsPlainDecimal(const std::string& text, bool allowPoint) {
    bool digit = false, point = false;
    for (char c : text) {
        if (c >= '0' && c <= '9')
            digit = true;
        else if (c == '.' && allowPoint && !point)
            point = true;
        else
            return false;
    }
    return digit;
}

// Takes the value of one option; false with the reason in `error`.
bool TakeValue(Option id, const std::string& name, const std::string& value, Arguments& args,
               std::string& error) {
    const std::string shown = "\"" + Shown(value) + "\"";
    switch (id) {
        case Option::eTake:
            if (value.empty()) return (error = "--take needs a take name, not an empty one", false);
            args.take = value;
            return true;
        case Option::eOptions:
        case Option::eSkeleton:
        case Option::eTextureDir:
            if (value.empty())
                return (error = name +
                                (id == Option::eTextureDir ? " needs a folder name" : " needs a file name") +
                                ", not an empty one",
                        false);
            break;
        case Option::eFrameRate:
        case Option::eInputRate: {
            if (!IsPlainDecimal(value, true))
                return (error = name +
                                " needs a plain decimal number of frames per second (such as 30 "
                                "or 29.97), not " +
                                shown,
                        false);
            double& rate = id == Option::eFrameRate ? args.frameRate : args.inputRate;
            const char* end = value.c_str() + value.size();
            // Every writer must write the rate and its reader take it back: the time fields of
            // the finest formats count microseconds.
            if (VParseDouble(value.c_str(), end, rate, false) != end || !(rate > 0.0) ||
                !(rate <= kMaxRate)) {
                rate = 0.0;
                return (error = name + " " + Shown(value) +
                                " is out of range: a rate lies above 0 and at most 1000000 frames per second",
                        false);
            }
            return true;
        }
        case Option::eTimeMode: {
            const char* end = value.c_str() + value.size();
            if (!IsPlainDecimal(value, false) || VParseInt(value.c_str(), end, args.timeMode) != end ||
                !IsTimeMode(args.timeMode)) {
                args.timeMode = -1;
                return (error = "--time-mode needs one of the time modes --help lists, not " + shown, false);
            }
            return true;
        }
        default:
            return true;
    }
    if (id == Option::eOptions) {
        args.optionsFile = value;
    } else if (id == Option::eSkeleton) {
        args.skeleton = value;
    } else {
        struct stat info {};
        if (stat(value.c_str(), &info) != 0)
            return (error = "--texture-dir: " + Shown(value) + " does not exist", false);
        if (!S_ISDIR(info.st_mode))
            return (error = "--texture-dir: " + Shown(value) + " is not a folder", false);
        args.textureDirs.push_back(value);
    }
    return true;
}

// The format of OUT when it holds no motion, or holds it at a rate of its own: why --frame-rate
// and --time-mode cannot act on it; empty when they can.
std::string RateRefusal(const std::string& out, const char* option) {
    if (IsFormat(out.c_str(), "3ds"))
        return std::string(option) +
               " cannot change the rate of a 3DS file: 3DS keys are whole frames at 30 fps";
    if (IsAnyFormat(out, {"obj", "dxf"})) {
        std::string format = VOxaGetFileExtension(out.c_str());
        for (char& c : format)
            c = (char)std::toupper((unsigned char)c);
        return std::string(option) + " has nothing to act on: " + format + " files hold no motion";
    }
    return "";
}

bool ParseArguments(int argc, char** argv, Arguments& args, std::string& error) {
    bool optionsEnded = false;
    std::vector<int> given(sizeof kOptions / sizeof kOptions[0], 0);
    for (int k = 1; k < argc; ++k) {
        const std::string arg = argv[k];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            if (arg.empty()) return (error = "a file name is empty", false);
            args.files.push_back(arg);
            continue;
        }
        const size_t equals = arg.rfind("--", 0) == 0 ? arg.find('=') : std::string::npos;
        const std::string name = arg.substr(0, equals);
        size_t index = 0;
        while (index < given.size() && name != kOptions[index].name &&
               !(kOptions[index].shortName && name == kOptions[index].shortName))
            ++index;
        if (index == given.size()) return (error = "unknown option " + Shown(name), false);
        const OptionSpec& spec = kOptions[index];
        if (given[index]++ && !spec.repeatable) return (error = name + " is given twice", false);
        if (!spec.takesValue) {
            if (equals != std::string::npos) return (error = name + " takes no value", false);
        } else if (equals == std::string::npos && k + 1 >= argc) {
            return (error = name + " needs a value", false);
        }
        switch (spec.id) {
            case Option::eInfo:
                args.info = true;
                break;
            case Option::eJson:
                args.json = true;
                break;
            case Option::eFormats:
                args.formats = true;
                break;
            case Option::eHelp:
                args.help = true;
                break;
            case Option::eQuiet:
                args.quiet = true;
                break;
            case Option::eVersion:
                args.version = true;
                break;
            default:
                if (!TakeValue(spec.id, name,
                               equals != std::string::npos ? arg.substr(equals + 1) : argv[++k], args, error))
                    return false;
        }
    }
    // Every option was checked; --version and --help answer whatever else the line asks for.
    if (args.help || args.version) return true;
    const char* rateOption = args.frameRate > 0.0 ? "--frame-rate"
                             : args.timeMode >= 0 ? "--time-mode"
                                                  : nullptr;
    if (args.frameRate > 0.0 && args.timeMode >= 0)
        return (error = "give --frame-rate or --time-mode, not both", false);
    if (args.formats) return args.files.empty() || (error = "--formats takes no file", false);
    if (!args.skeleton.empty() && !IsFormat(args.skeleton.c_str(), "asf"))
        return (error = "--skeleton names an ASF file (FILE.asf)", false);
    if (!args.skeleton.empty() && (args.files.empty() || !IsFormat(args.files[0].c_str(), "amc")))
        return (error = "--skeleton goes with an AMC input", false);
    if (args.info) {
        if (rateOption)
            return (error = std::string(rateOption) + " goes with a conversion, not with --info", false);
        if (args.files.size() > 1)
            return (error = "--info takes one file; too many file names: " + Shown(args.files[1]), false);
        return !args.files.empty() || (error = "--info takes one file", false);
    }
    if (args.json) return (error = "--json goes with --info", false);
    if (args.files.size() > 2)
        return (
            error = "too many file names: give an input and an output file, not also " + Shown(args.files[2]),
            false);
    if (args.files.size() != 2) return (error = "give an input and an output file", false);
    if (rateOption && !(error = RateRefusal(args.files[1], rateOption)).empty()) return false;
    return true;
}

int Run(int argc, char** argv) {
    // The library's classes register before main: one that found no memory for it leaves the run
    // without a type it needs.
    if (oxa_alloc::FailureCount() != 0) {
        SayNoMemory();
        return kExitFile;
    }
    Arguments args;
    std::string error;
    if (!ParseArguments(argc, argv, args, error))
        return Usage(error.empty() ? "give an input and an output file" : error);
    if (args.version) {
        std::printf("oxa-convert (OXA scene toolkit) %s\n", OXA_VERSION_STRING);
        return kExitOk;
    }
    gQuiet = args.quiet;
    if (args.help) {
        std::string usage = kUsage;
        const size_t at = usage.find("@README@");
        if (at != std::string::npos) usage.replace(at, 8, ReadmePath());
        std::fputs(usage.c_str(), stdout);
        return kExitOk;
    }
    gProgress.SetCallback(&PrintProgress, nullptr);
    if (args.formats) return ListFormats();
    // Files of a format the toolkit has no reader or writer for are usage errors, told before the
    // settings file is read.
    if (IsFolderGiven(args.files[0], true) || (!args.info && IsFolderGiven(args.files[1], false)))
        return kExitFile;
    if (!args.info && VOxaFindWriterFormat(VOxaGetFileExtension(args.files[1].c_str())) < 0) {
        std::fprintf(stderr, "oxa-convert: %s: no writer for the extension \"%s\" (see --formats)\n",
                     Printable(args.files[1]).c_str(),
                     Printable(VOxaGetFileExtension(args.files[1].c_str())).c_str());
        return kExitUsage;
    }
    if (VOxaFindReaderFormat(VOxaGetFileExtension(args.files[0].c_str())) < 0) {
        std::fprintf(stderr, "oxa-convert: %s: no reader for the extension \"%s\" (see --formats)\n",
                     Printable(args.files[0]).c_str(),
                     Printable(VOxaGetFileExtension(args.files[0].c_str())).c_str());
        return kExitUsage;
    }
    if (!args.optionsFile.empty()) {
        if (!CheckInputFile(VConfigFile::ResolveName(args.optionsFile.c_str()).Buffer())) return kExitFile;
        std::vector<SettingsEntry>& settings = args.settings;
        std::vector<std::pair<std::string, std::string>> lines;
        if (!LoadSettings(args.optionsFile, settings, lines, error)) {
            std::fprintf(stderr, "oxa-convert: %s: %s\n", Printable(args.optionsFile).c_str(),
                         Printable(error).c_str());
            return kExitUsage;
        }
        SettingsWarnings warnings(args.optionsFile);
        for (const auto& line : lines)
            warnings.Add(line.first, line.second);
        if (!CheckSettings(args, settings, args.files[0], args.info ? nullptr : &args.files[1], warnings))
            return kExitUsage;
    }
    // An allocation failure ends the run; the files it was writing are removed on the way to
    // main. A stopped run, or one past the file-size limit, leaves no temporary file behind.
    if (!args.info) oxa_run::GuardTemporaries();
    PrepareNoMemory(args);
    return args.info ? Describe(args) : Convert(args);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::bad_alloc&) {
        // Whatever was made is left to the system: tearing it down would take memory too.
        SayNoMemory();
        return kExitFile;
    }
}
