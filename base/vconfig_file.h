#ifndef OXA_BASE_VCONFIG_FILE_H
#define OXA_BASE_VCONFIG_FILE_H

#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/base/vstring.h>

// A settings text file of sections and keys:
//
//     [Section]
//     Key=Value
//
// Section names compare without regard to case, keys byte for byte; blanks around names and
// values are ignored; other lines (comments, blank lines) are kept as they are when the file is
// written back. A name beginning with "@" is per machine: "@Application.txt" is the file
// "<computer name>.Application.txt" in the settings folder (the folder OXA_SETTINGS_DIR names,
// else $HOME/.oxa, else the current one); other names are used as paths.
//
// A cached file is read once, at construction, and a changed cache is written back by Flush or
// the destructor. An uncached file is read again by every ReadValue and written by every
// WriteValue. Writing goes to a new temporary file beside it first and then takes the file's place. A missing
// or unreadable file reads as empty, so every key answers its default.
class OXA_API VConfigFile {
public:
    explicit VConfigFile(const char* name, bool cached = true);
    // Writes a changed cache back (Flush).
    ~VConfigFile();
    VConfigFile(const VConfigFile&) = delete;
    VConfigFile& operator=(const VConfigFile&) = delete;

    // The value of `key` in `section`; `defaultValue` when the file, the section or the key is
    // missing (a null default gives the invalid string, which reads as "").
    VString ReadValue(const char* section, const char* key, const char* defaultValue = nullptr);
    // Sets `key` of `section` to `value` (null as ""), adding the section and the key when
    // missing. False for a null or empty section or key, or when an uncached file cannot be
    // written (its file is then left as it was).
    bool WriteValue(const char* section, const char* key, const char* value);
    // Writes a changed cache to the file; true when nothing needed writing or the write worked.
    bool Flush();

    // The path the name resolved to.
    const VString& GetFilePath() const { return mPath; }
    // The path of a settings name, resolving a leading "@" as described above.
    static VString ResolveName(const char* name);

private:
    struct Line {
        VString text;  // the line as read, for lines that are not key=value
        VString key;   // empty for other lines
        VString value;
    };
    struct Section {
        VString name;  // "" for the lines before the first section header
        std::vector<Line> lines;
    };

    void Load();
    bool Save();
    const Line* FindKey(const char* section, const char* key) const;

    VString mPath;
    bool mCached;
    bool mChanged = false;
    std::vector<Section> mSections;
};

#endif  // OXA_BASE_VCONFIG_FILE_H
