#include "formats/geometry/obj/voxa_obj_mtllib.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "attributes/voxa_material.h"
#include "attributes/voxa_texture.h"
#include "base/vpath.h"
#include "objects/voxa_property_handler.h"
#include "objects/vproperty.h"

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

bool LibraryExists(const std::string& objPath, std::string_view name) {
    std::error_code error;
    return std::filesystem::is_regular_file(LibraryPath(objPath, name), error);
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
                ForEachLibraryName(objPath, rest, [&](std::string_view name) {
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

namespace {

// The values an option takes: fixed (min == max) or one to three numbers.
struct MapOption {
    const char* mName;
    int mMin;
    int mMax;
};

const MapOption kMapOptions[] = {
    {"-blendu", 1, 1}, {"-blendv", 1, 1}, {"-cc", 1, 1},      {"-clamp", 1, 1}, {"-texres", 1, 1},
    {"-bm", 1, 1},     {"-boost", 1, 1},  {"-imfchan", 1, 1}, {"-type", 1, 1},  {"-mm", 2, 2},
    {"-o", 1, 3},      {"-s", 1, 3},      {"-t", 1, 3},
};

bool IsNumber(std::string_view word) {
    double value;
    return ParseDouble(word.data(), word.data() + word.size(), value) == word.data() + word.size();
}

}  // namespace

bool ParseMapLine(std::string_view rest, MapLine& out) {
    out = MapLine();
    const char* p = rest.data();
    const char* end = p + rest.size();
    std::string_view word;
    for (;;) {
        const char* start = SkipSpace(p, end);
        const char* after = NextWord(p, end, word);
        if (after == nullptr) return false;
        const MapOption* option = nullptr;
        for (const MapOption& known : kMapOptions)
            if (word == known.mName) option = &known;
        // The last word is the file, whatever it looks like.
        if (option == nullptr || SkipSpace(after, end) >= end) {
            out.mFile.assign(Trim(std::string_view(start, (size_t)(end - start))));
            return !out.mFile.empty();
        }
        // Take the option's values, leaving at least one word for the file.
        double values[3] = {0.0, 0.0, 0.0};
        int taken = 0;
        const char* q = after;
        std::string_view value;
        while (taken < option->mMax) {
            const char* next = NextWord(q, end, value);
            if (next == nullptr || SkipSpace(next, end) >= end) break;
            if (option->mMin != option->mMax && !IsNumber(value)) break;
            if (taken < 3) ParseDouble(value.data(), value.data() + value.size(), values[taken]);
            ++taken;
            q = next;
        }
        if (taken < option->mMin) {
            // Too few words for its values: the rest of the line is the file.
            out.mFile.assign(Trim(std::string_view(start, (size_t)(end - start))));
            return !out.mFile.empty();
        }
        const std::string_view text = Trim(std::string_view(start, (size_t)(q - start)));
        const bool scale = word == "-s", offset = word == "-o";
        if (scale || offset) {
            double* into = scale ? out.mScale : out.mOffset;
            const double w = scale ? 1.0 : 0.0;
            // A missing v or w takes its default (1 for a scale, 0 for an offset).
            into[0] = values[0];
            into[1] = taken >= 2 ? values[1] : w;
            into[2] = taken >= 3 ? values[2] : w;
            (scale ? out.mHasScale : out.mHasOffset) = true;
            if (into[2] == w) {
                p = q;
                continue;
            }
        }
        // Kept as it stands, one blank between the words.
        const char* r = text.data();
        const char* rend = r + text.size();
        std::string_view part;
        while ((r = NextWord(r, rend, part)) != nullptr) {
            if (!out.mOptions.empty()) out.mOptions += ' ';
            out.mOptions.append(part);
        }
        p = q;
    }
}

namespace {

const char kMapOptionsProperty[] = "OBJ Map Options";

}  // namespace

void SetMapOptions(VOxaTexture* texture, const char* options) {
    VOxaPropertyHandler* block = texture ? texture->GetPropertyHandler() : nullptr;
    if (block == nullptr) return;
    VProperty* property = block->FindProperty(kMapOptionsProperty);
    if (property == nullptr) {
        if (options == nullptr || *options == '\0') return;
        property = block->CreateProperty(kMapOptionsProperty, eValueString, nullptr);
    }
    if (auto* text = dynamic_cast<VPropertyTemplate<VString>*>(property))
        text->SetValue(VString(options ? options : ""));
}

const char* const kKeptStatements[] = {"illum",  "Tr",   "Ni",   "Tf",    "sharpness", "Pr",     "Pm",
                                       "Ps",     "Pc",   "Pcr",  "aniso", "anisor",    "map_Pr", "map_Pm",
                                       "map_Ps", "norm", "disp", "decal", "map_aat"};
const size_t kKeptStatementCount = sizeof(kKeptStatements) / sizeof(kKeptStatements[0]);

int KeptStatementIndex(std::string_view keyword) {
    for (size_t i = 0; i < kKeptStatementCount; ++i)
        if (keyword == kKeptStatements[i]) return (int)i;
    return -1;
}

void SetKeptStatement(VOxaObject* material, const char* keyword, std::string_view rest) {
    VOxaPropertyHandler* block = material ? material->GetPropertyHandler() : nullptr;
    if (block == nullptr) return;
    const std::string name = std::string("OBJ ") + keyword;
    VProperty* property = block->FindProperty(name.c_str());
    if (property == nullptr) property = block->CreateProperty(name.c_str(), eValueString, nullptr);
    if (auto* text = dynamic_cast<VPropertyTemplate<VString>*>(property))
        text->SetValue(VString(std::string(rest).c_str()));
}

bool GetKeptStatement(const VOxaObject* material, const char* keyword, std::string& rest) {
    VOxaPropertyHandler* block = material ? material->GetPropertyHandler() : nullptr;
    if (block == nullptr) return false;
    const std::string name = std::string("OBJ ") + keyword;
    auto* text = dynamic_cast<VPropertyTemplate<VString>*>(block->FindProperty(name.c_str()));
    if (text == nullptr) return false;
    rest = text->GetValue().Buffer();
    return true;
}

void KeepTransparency(VOxaObject* material, std::string_view rest, double opacity) {
    SetKeptStatement(material, "Tr", rest);
    std::string beside;
    AppendShortest(beside, opacity);
    SetKeptStatement(material, "Tr Beside", beside);
}

bool KeptTransparencyHolds(const VOxaObject* material, std::string_view rest, double opacity) {
    std::string beside;
    if (GetKeptStatement(material, "Tr Beside", beside)) {
        double read = 0.0;
        const char* end = beside.data() + beside.size();
        if (ParseDouble(beside.data(), end, read) == end && read == opacity) return true;
    }
    double t = 0.0;
    const char* end = rest.data() + rest.size();
    const char* at = rest.data();
    while (at < end && (*at == ' ' || *at == '\t'))
        ++at;
    const char* after = ParseDouble(at, end, t);
    if (after == nullptr || after == at) return false;
    // A "Tr" beside "d" is read either way: as the complement of the opacity, or by older
    // programs as the opacity itself.
    return std::fabs(t - (1.0 - opacity)) <= 1e-6 || std::fabs(t - opacity) <= 1e-6;
}

void StateColourAlone(VOxaMaterial* material) {
    if (material == nullptr) return;
    material->SetAmbient(VOxaColor(0.0, 0.0, 0.0, 1.0));
    material->SetDefaultSpecular(VgeTVector(0.0, 0.0, 0.0, 0.0));
    material->SetShininess(0.0);
    SetKeptStatement(material, "illum", "");
}

std::string GetMapOptions(const VOxaTexture* texture) {
    VOxaPropertyHandler* block = texture ? texture->GetPropertyHandler() : nullptr;
    VProperty* property = block ? block->FindProperty(kMapOptionsProperty) : nullptr;
    auto* text = dynamic_cast<VPropertyTemplate<VString>*>(property);
    return text ? std::string(text->GetValue().Buffer()) : std::string();
}

bool HasMapOption(std::string_view options, std::string_view name) {
    const char* p = options.data();
    const char* end = p + options.size();
    std::string_view word;
    while ((p = NextWord(p, end, word)) != nullptr)
        if (word == name) return true;
    return false;
}

bool TakeMapOption(std::string& options, std::string_view name, std::string& value) {
    const char* begin = options.data();
    const char* end = begin + options.size();
    const char* p = begin;
    std::string_view word;
    while ((p = NextWord(p, end, word)) != nullptr) {
        if (word != name) continue;
        std::string_view next;
        const char* after = NextWord(p, end, next);
        if (after == nullptr) return false;
        value.assign(next);
        // The option, its value and the blank before them (or after, for the first option).
        size_t from = (size_t)(word.data() - begin);
        size_t to = (size_t)(after - begin);
        if (from > 0)
            --from;
        else if (to < options.size())
            ++to;
        options.erase(from, to - from);
        return true;
    }
    return false;
}

}  // namespace voxa_obj
