#ifndef OXA_OXA_CODEC_VOXA_H
#define OXA_OXA_CODEC_VOXA_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/base/verror.h>
#include <oxa/base/vtime.h>
#include <oxa/oxa_codec/voxa_format.h>
#include <oxa/oxa_codec/voxa_output.h>

// What a stored object may ask of the file it is written to or read from.
class OXA_API IOxaObject {
public:
    virtual ~IOxaObject() = default;
    // True when the file is written or read in the version-5 document layout.
    virtual bool IsVersion5Layout() const = 0;
};

// The OXA field file. A file holds sections, each with a name and a version number; a section
// holds a list of fields. A field has a name and, each time it is written, a new occurrence: a
// run of typed values (character, 32-bit and 64-bit integer, float, double, string) and
// optionally a block, a nested list of fields. Files come in a binary form, where every value
// carries its type letter, and a text form, where a value is read as the type the caller asks
// for; the form is chosen at creation and recognised on opening.
//
// Writing: FileCreate or MemoryCreate, then per section SectionWriteBegin, fields
// (FieldWriteBegin, values, optional FieldWriteBlockBegin ... FieldWriteBlockEnd, FieldWriteEnd)
// and SectionWriteEnd, then FileClose. Nothing reaches the disk before FileClose, which writes
// a temporary file beside the target and renames it into place; a write that failed at any
// step leaves the target as it was.
//
// Reading: FileOpen or MemoryOpen, SectionReadBegin, then FieldReadBegin (name) picks the next
// unread occurrence of that name in the current list (each name has its own cursor, advanced
// by FieldReadEnd), the FieldRead... calls take its values in order, and FieldReadBlockBegin /
// FieldReadBlockEnd enter and leave its block. Everything read from the file is checked against
// the bytes that are there: a damaged block fails FieldReadBlockBegin with "File is corrupted"
// and leaves the fields around it readable; reading past the last value answers 0 or "".
//
// Failures answer false (or the documented neutral value) and set the error object; nothing
// throws.
class OXA_API VOxa : public IOxaObject {
public:
    enum EError {
        eFILE_CORRUPTED = 0,
        eFILE_VERSION_NOT_SUPPORTED_YET,
        eFILE_NOT_OPENED,
        eFILE_NOT_CREATED,
        eFILE_NOT_WRITTEN,
        eNESTING_TOO_DEEP,
        eINVALID_OPERATION,
        eERROR_COUNT
    };

    // Blocks inside a section nest at most this deep, in writing and in reading.
    static constexpr int kMaxBlockDepth = 1000;
    // Sections from this version on store times as 64-bit ticks; older ones as double seconds.
    static constexpr int kTickTimeVersion = 2001;

    VOxa();
    // A file still being written is dropped (the target stays as it was); see FileClose.
    ~VOxa() override;
    VOxa(const VOxa&) = delete;
    VOxa& operator=(const VOxa&) = delete;

    // ---- opening and closing ----

    // Starts writing a file at `path` in the binary or text form. The temporary file (a
    // new file of its own beside `path`) is created at once so that a folder that cannot be written fails
    // here
    // ("File not created"). Closes whatever was open before.
    bool FileCreate(const char* path, bool binary);
    // Starts writing into memory; FileClose then leaves the bytes in GetMemoryData.
    bool MemoryCreate(bool binary);
    // Reads the whole file and opens it for reading. False with "File not opened" when it cannot
    // be read, "File is corrupted" when it is neither form or its structure is broken, "File
    // version is not supported yet" for a newer format version; the object is then closed.
    bool FileOpen(const char* path);
    // Opens `size` bytes at `data` for reading, without copying them: they must stay in place
    // until the file is closed. Failures as FileOpen.
    bool MemoryOpen(const void* data, size_t size);
    // Ends reading or writing. A file being written is completed and put in place of the target
    // (written to the temporary name, then renamed); false, with the target untouched and the
    // temporary removed, when a field or section is still open, an earlier write call failed, or
    // the disk refused the bytes ("File could not be written"). False with "File not opened"
    // when nothing is open.
    bool FileClose();

    bool IsOpen() const { return mMode != Mode::eCLOSED; }
    bool IsWriting() const { return mMode == Mode::eWRITE; }
    bool IsReading() const { return mMode == Mode::eREAD; }
    // True while the open file is in the binary form, where every value carries its type.
    bool IsBinary() const { return mBinary; }

    // The bytes of the last memory file, complete once FileClose succeeded; kept until the next
    // create or the destruction.
    const uint8_t* GetMemoryData() const { return (const uint8_t*)mOutput.Data(); }
    size_t GetMemorySize() const { return mOutput.Size(); }

    // The version-5 layout flag, stored in the file's header. Set it any time while writing.
    bool IsVersion5Layout() const override { return mVersion5Layout; }
    void SetVersion5Layout(bool version5) { mVersion5Layout = version5; }

    VError& GetError() { return mError; }
    const VError& GetError() const { return mError; }

    // ---- sections ----

    // Opens a section with a name and a version (writing; no section or field may be open).
    bool SectionWriteBegin(const char* name, int version);
    // Closes the open section; false when a field inside it is still open.
    bool SectionWriteEnd();
    // Sections of the open file (while writing: those begun so far).
    int GetSectionCount() const { return (int)mSections.size(); }
    // The name of a section, "" when the index is out of range.
    const char* GetSectionName(int index) const;
    // The version of a section, 0 when the index is out of range.
    int GetSectionVersion(int index) const;
    // The section being written or read, -1 when none.
    int GetCurrentSection() const { return mCurrentSection; }
    // Starts reading section `index` (leaving the one being read). False when the index is out
    // of range, or with "File is corrupted" when the section's field list is damaged.
    bool SectionReadBegin(int index);
    // Leaves the section being read.
    bool SectionReadEnd();

    // ---- writing fields ----
    // Each call answers false, with "Invalid field operation", when the calls are out of order
    // (a value with no open field, a field outside any section, a name that cannot be stored...);
    // the file then fails at FileClose.

    // Opens a new occurrence of `name` in the current list.
    bool FieldWriteBegin(const char* name);
    // Append one value of that type to the open field.
    bool FieldWriteC(char value);
    bool FieldWriteI(int value);
    bool FieldWriteL(int64_t value);
    bool FieldWriteF(float value);
    bool FieldWriteD(double value);
    bool FieldWriteS(const char* value);
    // A time: 64-bit ticks when the current section's version is kTickTimeVersion or more,
    // else double seconds.
    bool FieldWriteT(VTime value);
    // Opens the block of the open field; values can no longer be added to it.
    bool FieldWriteBlockBegin();
    bool FieldWriteBlockEnd();
    // Closes the open field.
    bool FieldWriteEnd();

    // ---- reading fields ----

    // Makes the occurrence at the cursor of `name` in the current list current; false (and no
    // current occurrence) when there is none left.
    bool FieldReadBegin(const char* name);
    // Closes the current occurrence and advances its name's cursor; false when none is current.
    bool FieldReadEnd();
    // The next value of the current occurrence. Numbers convert between their types (reals are
    // truncated into integers, saturating); a string value reads as the number it spells. With
    // no value left (or no current occurrence) they answer 0, a character 0, a string "".
    // A string stays valid until the next read call.
    char FieldReadC();
    int FieldReadI();
    int64_t FieldReadL();
    float FieldReadF();
    double FieldReadD();
    const char* FieldReadS();
    // The next value as a time: binary files hold ticks in 64-bit integer values and seconds in
    // any other; text files hold ticks from section version kTickTimeVersion on, else seconds.
    VTime FieldReadT();
    // The type letter of the next value in a binary file: 'C', 'I', 'L', 'F', 'D' or 'S';
    // 'S' when no value is left or the file is text.
    char FieldReadPeekType();
    // The number of values of the current occurrence not yet read.
    int FieldReadRemaining() const;
    // Enters the block of the current occurrence. False when it has none, with "File is
    // corrupted" when the block cannot be parsed, or "Blocks nested too deeply".
    bool FieldReadBlockBegin();
    // Leaves the block, making its field current again; false at a section's top list.
    bool FieldReadBlockEnd();
    // Open `name`, read one value, close it; `defaultValue` when the field is absent or holds no
    // value.
    int FieldReadIOrDefault(const char* name, int defaultValue);
    char FieldReadCOrDefault(const char* name, char defaultValue);
    const char* FieldReadSOrDefault(const char* name, const char* defaultValue);

private:
    enum class Mode { eCLOSED, eWRITE, eREAD };
    enum class FrameState { eVALUES, eBLOCK_OPEN, eBLOCK_CLOSED };

    struct WriteFrame {
        size_t lengthPos = 0;    // binary: the record length to patch
        size_t countPos = 0;     // binary: the value count to patch
        size_t valuesStart = 0;  // binary: first byte of the values
        uint32_t valueCount = 0;
        FrameState state = FrameState::eVALUES;
    };

    struct Group {
        std::string_view name;
        uint32_t first = 0;  // into Level::order
        uint32_t count = 0;
        uint32_t cursor = 0;  // occurrences closed so far
    };

    // One field list being read, with its occurrence cursors and its current occurrence.
    struct Level {
        std::vector<voxa_format::FieldEntry> entries;
        std::vector<uint32_t> order;  // entry indexes sorted by name, then file order
        std::vector<Group> groups;
        int currentGroup = -1;
        uint32_t currentEntry = 0;
        uint64_t valuePos = 0;
        uint64_t valuesEnd = 0;
        uint32_t remaining = 0;
    };

    struct Section {
        std::string name;
        int version = 0;
        voxa_format::FieldEntry entry;  // reading: the "Section" record
    };

    void Reset();
    bool Fail(int id);
    bool FailWrite(int id);
    void StartWrite(bool binary, std::FILE* file);
    bool Parse();
    bool ParseSectionsBinary(const std::vector<voxa_format::FieldEntry>& top);
    bool ParseSectionsText(const std::vector<voxa_format::FieldEntry>& top);
    bool PushLevel(uint64_t begin, uint64_t end);
    Level* CurrentLevel();
    const Level* CurrentLevel() const;
    bool WriteFieldHeader(std::string_view name);
    bool BeginValue();
    void AppendBinaryDouble(double value);
    void AppendIndent(size_t depth);
    bool NextBinaryValue(voxa_format::BinaryValue& value);
    bool NextTextValue(std::string_view& token);
    int CurrentSectionVersion() const;
    bool CommitFile();
    void DropTemporary();

    Mode mMode = Mode::eCLOSED;
    bool mBinary = true;
    bool mVersion5Layout = false;
    VError mError;
    std::vector<Section> mSections;
    int mCurrentSection = -1;

    // Writing.
    VOxaOutput mOutput;
    std::vector<WriteFrame> mFrames;
    bool mWriteFailed = false;
    bool mToFile = false;
    std::string mPath;
    std::string mTempPath;
    std::FILE* mTempFile = nullptr;
    uint64_t mFlagsPos = 0;  // header flags (binary) or the version-5 digit (text)

    // Reading.
    std::unique_ptr<uint8_t[]> mFileBytes;
    const uint8_t* mData = nullptr;
    uint64_t mSize = 0;
    voxa_format::TextBraceTable mBraces;
    std::vector<Level> mLevels;  // [0] the top list; [1] a section's list; deeper: blocks
    int mDepth = -1;
    std::string mString;
};

#endif  // OXA_OXA_CODEC_VOXA_H
