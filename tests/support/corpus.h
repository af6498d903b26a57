// Real files written by other programs, and independent readers of them, for the tests labelled
// realfiles (readers walk the files) and interop (our files go to the independent readers).
// Both come from Debian packages that scripts/deps.sh installs when it can. When one is missing the
// test that needs it skips, saying which package is missing:
//
//     corpustest::Corpus corpus = corpustest::FindCorpus("3ds");
//     if (corpus.files.empty()) GTEST_SKIP() << corpus.SkipReason();
//
//     std::string missing = corpustest::MissingReader(corpustest::k3dsDump);
//     if (!missing.empty()) GTEST_SKIP() << missing;
#ifndef OXA_TESTS_SUPPORT_CORPUS_H
#define OXA_TESTS_SUPPORT_CORPUS_H

#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

namespace corpustest {

namespace fs = std::filesystem;

// A folder of real files that a Debian package installs.
struct CorpusFolder {
    std::string package;
    fs::path folder;
};

// The folders that a format's real-file tests walk, by file extension in lower case. Of the model
// collection only the folders of formats the toolkit reads are used.
inline std::vector<CorpusFolder> CorpusFolders(const std::string& extension) {
    const fs::path models = "/usr/share/assimp/models";
    if (extension == "3ds") return {{"assimp-testmodels", models / "3DS"}};
    if (extension == "obj") return {{"assimp-testmodels", models / "OBJ"}};
    if (extension == "bvh") return {{"assimp-testmodels", models / "BVH"}};
    if (extension == "dxf")
        return {{"assimp-testmodels", models / "DXF"}, {"librecad-data", "/usr/share/librecad"}};
    return {};
}

inline std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The regular files under folder, at any depth, whose extension is `extension` in any letter case,
// sorted so that reports and failures come in the same order on every machine.
inline std::vector<fs::path> FilesWithExtension(const fs::path& folder, const std::string& extension) {
    std::vector<fs::path> files;
    std::error_code error;
    const std::string wanted = "." + Lower(extension);
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (it->is_regular_file(error) && Lower(it->path().extension().string()) == wanted)
            files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// The files of one format found in its folders, and the folders that are not there.
struct Corpus {
    std::string extension;
    std::vector<fs::path> files;
    std::vector<CorpusFolder> missing;

    // Why a test finds nothing to read: the packages that are not installed, or no such file.
    std::string SkipReason() const {
        std::ostringstream out;
        if (!missing.empty()) {
            out << "not installed:";
            for (const CorpusFolder& m : missing)
                out << " " << m.package << " (" << m.folder.string() << ")";
        } else if (files.empty()) {
            out << "no ." << extension << " files in the corpus folders";
        }
        return out.str();
    }
};

inline Corpus FindCorpus(const std::string& extension, const std::vector<CorpusFolder>& folders) {
    Corpus corpus;
    corpus.extension = Lower(extension);
    for (const CorpusFolder& f : folders) {
        std::error_code error;
        if (!fs::is_directory(f.folder, error)) {
            corpus.missing.push_back(f);
            continue;
        }
        std::vector<fs::path> found = FilesWithExtension(f.folder, corpus.extension);
        corpus.files.insert(corpus.files.end(), found.begin(), found.end());
    }
    return corpus;
}

inline Corpus FindCorpus(const std::string& extension) {
    return FindCorpus(extension, CorpusFolders(Lower(extension)));
}

// Counts, per format, the corpus files that were read, refused with an error, or skipped (a kind of
// file the reader does not take), and keeps each refused or skipped file with its reason so the log
// shows whether the refusals are fair.
class CorpusReport {
public:
    void Read(const std::string& format) { mCounts[format].read++; }
    void Refused(const std::string& format, const fs::path& file, const std::string& error) {
        mCounts[format].refused++;
        mNotes.push_back("  " + format + " refused " + file.string() + ": " + error);
    }
    void Skipped(const std::string& format, const fs::path& file, const std::string& why) {
        mCounts[format].skipped++;
        mNotes.push_back("  " + format + " skipped " + file.string() + ": " + why);
    }

    std::string Text() const {
        std::ostringstream out;
        for (const auto& [format, n] : mCounts)
            out << format << ": " << n.read << " read, " << n.refused << " refused, " << n.skipped
                << " skipped\n";
        for (const std::string& note : mNotes)
            out << note << "\n";
        return out.str();
    }
    void Print() const { std::cout << Text() << std::flush; }

private:
    struct Counts {
        int read = 0;
        int refused = 0;
        int skipped = 0;
    };
    std::map<std::string, Counts> mCounts;
    std::vector<std::string> mNotes;
};

// An independent reader that the interop tests compare with, and the package that brings it.
struct IndependentReader {
    const char* program;
    const char* package;
};
inline constexpr IndependentReader kAssimpInfo{"assimp", "assimp-utils"};  // assimp info FILE
inline constexpr IndependentReader k3dsDump{"3dsdump", "lib3ds-dev"};      // 3dsdump FILE
inline constexpr IndependentReader kEzdxfAudit{"ezdxf", "python3-ezdxf"};  // ezdxf audit FILE

// The program's path on PATH, or an empty path.
inline fs::path FindProgram(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (dir.empty()) continue;
        fs::path candidate = fs::path(dir) / program;
        std::error_code error;
        if (fs::is_regular_file(candidate, error) &&
            (fs::status(candidate, error).permissions() & fs::perms::owner_exec) != fs::perms::none)
            return candidate;
    }
    return {};
}

// Empty when the reader is installed, else a message saying what is missing.
inline std::string MissingReader(const IndependentReader& reader) {
    if (!FindProgram(reader.program).empty()) return {};
    return std::string(reader.program) + " is not installed (Debian package " + reader.package + ")";
}

struct RunResult {
    int status = -1;     // the exit status; 124 when the time limit ran out, -1 when killed otherwise
    std::string output;  // standard output and standard error together
};

// Runs a program with no input and a time limit. Every argument is passed as it is, whatever
// spaces or quotes a file name holds.
inline RunResult RunProgram(const std::vector<std::string>& argv, int seconds = 60) {
    std::string command = "timeout -k 5 " + std::to_string(seconds);
    for (const std::string& arg : argv) {
        command += " '";
        for (char c : arg)
            command += c == '\'' ? std::string("'\\''") : std::string(1, c);
        command += "'";
    }
    command += " </dev/null 2>&1";
    RunResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        result.output.append(buffer, n);
    int status = pclose(pipe);
    if (status != -1 && WIFEXITED(status)) result.status = WEXITSTATUS(status);
    return result;
}

// Whether the installed assimp reads a DXF polyface face record's negative index (an edge the
// face hides) as the corner it names. Before 5.3 it drops that corner, so a face hiding edges
// reads as a line or a point, and a mesh hiding every edge as no geometry at all.
inline bool AssimpReadsHiddenEdges() {
    static const bool reads = [] {
        const std::string out = RunProgram({"assimp", "version"}).output;
        const size_t at = out.find("Version ");
        int major = 0, minor = 0;
        if (at == std::string::npos || std::sscanf(out.c_str() + at, "Version %d.%d", &major, &minor) != 2)
            return false;
        return major > 5 || (major == 5 && minor >= 3);
    }();
    return reads;
}

// Whether a DXF text holds a face record index written negative (a hidden edge).
inline bool HasHiddenEdgeIndex(const std::string& text) {
    for (const char* code : {"\n 71\n", "\n 72\n", "\n 73\n", "\n 74\n"}) {
        for (size_t at = text.find(code); at != std::string::npos; at = text.find(code, at + 1)) {
            size_t value = at + 5;
            while (value < text.size() && text[value] == ' ')
                ++value;
            if (value < text.size() && text[value] == '-') return true;
        }
    }
    return false;
}

}  // namespace corpustest

#endif
