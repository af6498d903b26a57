#include "base/vconfig_file.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "base/platform.h"
#include "base/vpath.h"
#include "base/vsafe_output_file.h"

namespace {

// Settings files are small; anything larger is not one of ours and reads as empty.
constexpr long kMaxFileSize = 16L * 1024 * 1024;

}  // namespace

VString VConfigFile::ResolveName(const char* name) {
    if (!name) return VString("");
    if (name[0] != '@') return VString(name);
    VString path = VPlatformGetSettingsDirectory();
    if (!path.IsEmpty() && path[path.GetLen() - 1] != '/' && path[path.GetLen() - 1] != '\\') path += "/";
    path += VPlatformGetComputerName();
    path += ".";
    path += name + 1;
    return path;
}

VConfigFile::VConfigFile(const char* name, bool cached) : mPath(ResolveName(name)), mCached(cached) {
    if (mCached) Load();
}

VConfigFile::~VConfigFile() {
    Flush();
}

void VConfigFile::Load() {
    mSections.clear();
    mSections.push_back(Section{VString(""), {}});
    if (mPath.IsEmpty()) return;
    FILE* f = std::fopen(VPlatformNativePath(mPath), "rb");
    if (!f) return;
    std::vector<char> data;
    char chunk[4096];
    size_t got;
    bool tooLarge = false;
    while ((got = std::fread(chunk, 1, sizeof(chunk), f)) > 0) {
        if ((long)(data.size() + got) > kMaxFileSize) {
            tooLarge = true;
            break;
        }
        data.insert(data.end(), chunk, chunk + got);
    }
    std::fclose(f);
    if (tooLarge) return;

    size_t i = 0;
    while (i < data.size()) {
        size_t begin = i;
        while (i < data.size() && data[i] != '\n' && data[i] != '\r')
            ++i;
        VString raw(data.data() + begin, (int)(i - begin));
        if (i < data.size() && data[i] == '\r') ++i;
        if (i < data.size() && data[i] == '\n') ++i;

        VString line = raw.Trim(2);
        Line entry;
        if (line.GetLen() >= 2 && line[0] == '[' && line.Find(']') > 0) {
            mSections.push_back(Section{line.Mid(1, line.Find(']') - 1).Trim(2), {}});
            continue;
        }
        int eq = line.Find('=');
        if (eq > 0 && line[0] != ';' && line[0] != '#') {
            entry.key = line.Left(eq).Trim(2);
            entry.value = line.Mid(eq + 1).Trim(2);
        }
        if (entry.key.IsEmpty()) entry.text = raw;
        mSections.back().lines.push_back(entry);
    }
}

const VConfigFile::Line* VConfigFile::FindKey(const char* section, const char* key) const {
    for (const Section& s : mSections) {
        if (s.name.CompareNoCase(section) != 0) continue;
        for (const Line& line : s.lines) {
            if (!line.key.IsEmpty() && line.key == key) return &line;
        }
    }
    return nullptr;
}

VString VConfigFile::ReadValue(const char* section, const char* key, const char* defaultValue) {
    if (!section || !key) return VString(defaultValue);
    if (!mCached) Load();
    const Line* line = FindKey(section, key);
    return line ? line->value : VString(defaultValue);
}

bool VConfigFile::WriteValue(const char* section, const char* key, const char* value) {
    if (!section || !*section || !key || !*key) return false;
    if (!mCached) Load();
    if (!value) value = "";
    Line* found = const_cast<Line*>(FindKey(section, key));
    if (found) {
        if (found->value == value) return true;
        found->value = value;
    } else {
        Section* target = nullptr;
        for (Section& s : mSections) {
            if (s.name.CompareNoCase(section) == 0) target = &s;
        }
        if (!target) {
            mSections.push_back(Section{VString(section), {}});
            target = &mSections.back();
        }
        Line line;
        line.key = key;
        line.value = value;
        // Keep trailing blank lines of the section after the new key.
        auto at = target->lines.end();
        while (at != target->lines.begin() && (at - 1)->key.IsEmpty() && (at - 1)->text.Trim(2).IsEmpty())
            --at;
        target->lines.insert(at, line);
    }
    mChanged = true;
    if (mCached) return true;
    bool written = Flush();
    mChanged = false;  // an uncached file is not retried later
    return written;
}

bool VConfigFile::Flush() {
    if (!mChanged) return true;
    if (!Save()) return false;
    mChanged = false;
    return true;
}

bool VConfigFile::Save() {
    if (mPath.IsEmpty() || !CreateDirectoryPath(mPath)) return false;
    VString target = VPlatformNativePath(mPath);
    std::string temporary;
    FILE* f = VCreateTemporaryFor(target.Buffer(), temporary, true);
    const char* temp = temporary.c_str();
    if (!f) return false;
    bool ok = true;
    for (size_t k = 0; k < mSections.size(); ++k) {
        const Section& s = mSections[k];
        if (k > 0) ok = ok && std::fprintf(f, "[%s]\n", s.name.Buffer()) >= 0;
        for (const Line& line : s.lines) {
            if (line.key.IsEmpty()) {
                ok = ok && std::fprintf(f, "%s\n", line.text.Buffer()) >= 0;
            } else {
                ok = ok && std::fprintf(f, "%s=%s\n", line.key.Buffer(), line.value.Buffer()) >= 0;
            }
        }
    }
    ok = (std::fclose(f) == 0) && ok;
    if (!ok || std::rename(temp, target) != 0) {
        std::remove(temp);
        VForgetTemporary(temporary);
        return false;
    }
    VForgetTemporary(temporary);
    return true;
}
