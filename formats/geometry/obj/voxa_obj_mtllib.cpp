#include "formats/geometry/obj/voxa_obj_mtllib.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "base/vpath.h"

namespace voxa_obj {

bool NextKeywordLine(VLineSource& source, std::string& keywordBuffer, std::string& lineBuffer,
                     std::string_view& keyword, std::string_view& rest) {
    std::string_view line;
    for (;;) {
        if (!source.Next(line)) return false;
        const char* end = line.data() + line.size();
        const char* p = SkipSpace(line.data(), end);
        if (p >= end) continue;  // a blank line: the keyword is looked for on the next one
        const char* k = p;
        while (p < end && !IsSpace(*p) && (size_t)(p - k) < kKeywordLength)
            ++p;
        keyword = std::string_view(k, (size_t)(p - k));
        rest = Trim(std::string_view(p, (size_t)(end - p)));
        break;
    }
    if (rest.empty() || rest.back() != '\\') return true;
    // Continuation lines: the backslash becomes a blank and the next line is appended.
    keywordBuffer.assign(keyword);
    lineBuffer.assign(rest);
    while (!lineBuffer.empty() && lineBuffer.back() == '\\') {
        lineBuffer.back() = ' ';
        std::string_view next;
        if (!source.Next(next)) break;
        lineBuffer.append(next);
        while (!lineBuffer.empty() && IsSpace(lineBuffer.back()))
            lineBuffer.pop_back();
    }
    keyword = keywordBuffer;
    rest = Trim(lineBuffer);
    return true;
}

bool SkipByteOrderMark(VLineSource& source) {
    const std::string_view bom = source.Peek(3);
    if (bom.size() >= 2 && ((bom[0] == '\xFF' && bom[1] == '\xFE') || (bom[0] == '\xFE' && bom[1] == '\xFF')))
        return false;
    if (bom.size() == 3 && bom == "\xEF\xBB\xBF") source.Skip(3);
    return true;
}

std::string LibraryPath(const std::string& objPath, std::string_view name) {
    const std::string named(name);
    const VString full = GetFullPath(GetDirectoryName(objPath.c_str()).Buffer(), named.c_str());
    std::error_code error;
    return std::filesystem::is_regular_file(full.Buffer(), error) ? std::string(full.Buffer()) : named;
}

std::vector<std::string> MaterialLibraryFiles(const std::string& objPath) {
    std::vector<std::string> files;
    std::error_code error;
    if (!std::filesystem::is_regular_file(objPath, error)) return files;
    std::FILE* file = std::fopen(objPath.c_str(), "rb");
    if (file == nullptr) return files;
    VLineSource source(file, 4096);
    if (SkipByteOrderMark(source)) {
        std::string keywordBuffer, lineBuffer;
        std::string_view keyword, rest;
        auto next = [&]() { return NextKeywordLine(source, keywordBuffer, lineBuffer, keyword, rest); };
        while (next()) {
            if (keyword == "mtllib") {
                ForEachLibraryName(rest, [&](std::string_view name) {
                    std::string path = LibraryPath(objPath, name);
                    if (std::find(files.begin(), files.end(), path) == files.end())
                        files.push_back(std::move(path));
                });
            } else if (keyword == "curv" || keyword == "curv2" || keyword == "surf") {
                // The reader takes the lines up to "end" as the body of the curve or surface.
                while (next() && keyword != "end") {
                }
            }
        }
    }
    std::fclose(file);
    return files;
}

}  // namespace voxa_obj
