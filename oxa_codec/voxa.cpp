#include "oxa_codec/voxa.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <numeric>

#include "base/vallocation_hook.h"
#include "base/vsafe_output_file.h"

using namespace voxa_format;

namespace {

const char* const kVOxaMessages[VOxa::eERROR_COUNT] = {
    "File is corrupted",       "File version is not supported yet", "File not opened",
    "File not created",        "File could not be written",         "Blocks nested too deeply",
    "Invalid field operation",
};

constexpr uint32_t kTextValuesPerLine = 16;

}  // namespace

VOxa::VOxa() : mError(kVOxaMessages, eERROR_COUNT) {}

VOxa::~VOxa() {
    Reset();
}

void VOxa::Reset() {
    DropTemporary();
    if (mToFile) mOutput.Release();
    mMode = Mode::eCLOSED;
    mSections.clear();
    mCurrentSection = -1;
    mFrames.clear();
    mWriteFailed = false;
    mToFile = false;
    mPath.clear();
    mTempPath.clear();
    mFileBytes.reset();
    mData = nullptr;
    mSize = 0;
    mBraces.Clear();
    mDepth = -1;
}

bool VOxa::Fail(int id) {
    mError.SetLastErrorID(id);
    return false;
}

bool VOxa::FailWrite(int id) {
    mWriteFailed = true;
    mError.SetLastErrorID(id);
    return false;
}

void VOxa::DropTemporary() {
    if (mTempFile) {
        std::fclose(mTempFile);
        mTempFile = nullptr;
        std::remove(mTempPath.c_str());
        VForgetTemporary(mTempPath);
    }
}

// ---- opening and closing ----

void VOxa::StartWrite(bool binary, std::FILE* file) {
    mOutput.Reset(file);
    mMode = Mode::eWRITE;
    mBinary = binary;
    mVersion5Layout = false;
    if (binary) {
        mOutput.Append(kBinaryMagic, sizeof kBinaryMagic);
        mOutput.AppendU32(kFormatVersion);
        mFlagsPos = mOutput.Position();
        mOutput.AppendU32(0);
    } else {
        mOutput.Append(kTextMagic);
        mOutput.Append(", text form\nFormatVersion: ");
        mOutput.AppendInt64(kFormatVersion);
        mOutput.Append("\nVersion5Layout: ");
        mFlagsPos = mOutput.Position();
        mOutput.Append("0\n");
    }
}

bool VOxa::FileCreate(const char* path, bool binary) {
    Reset();
    mError.ClearError();
    if (!path || !*path) return Fail(eFILE_NOT_CREATED);
    mPath = path;
    mTempFile = VCreateTemporaryFor(mPath, mTempPath, true);
    if (!mTempFile) {
        Reset();
        return Fail(eFILE_NOT_CREATED);
    }
    mToFile = true;
    StartWrite(binary, mTempFile);
    return true;
}

bool VOxa::MemoryCreate(bool binary) {
    Reset();
    mError.ClearError();
    StartWrite(binary, nullptr);
    return true;
}

bool VOxa::FileOpen(const char* path) {
    Reset();
    mError.ClearError();
    std::FILE* file = path && *path ? std::fopen(path, "rb") : nullptr;
    if (!file) return Fail(eFILE_NOT_OPENED);
    // The size the system reports only sizes the first read; reading goes on in blocks until
    // the end, so a file that changes meanwhile is still read whole and never overrun.
    size_t capacity = 1 << 16;
    if (std::fseek(file, 0, SEEK_END) == 0) {
        long end = std::ftell(file);
        if (end > 0) capacity = (size_t)end + 1;
        std::rewind(file);
    }
    std::unique_ptr<uint8_t[]> bytes(oxa_alloc::Counted(new (std::nothrow) uint8_t[capacity]));
    size_t used = 0;
    bool ok = bytes != nullptr;
    while (ok) {
        if (used == capacity) {
            size_t grown = capacity * 2;
            std::unique_ptr<uint8_t[]> larger(oxa_alloc::Counted(new (std::nothrow) uint8_t[grown]));
            if (!larger) {
                ok = false;
                break;
            }
            std::memcpy(larger.get(), bytes.get(), used);
            bytes.swap(larger);
            capacity = grown;
        }
        size_t got = std::fread(bytes.get() + used, 1, capacity - used, file);
        used += got;
        if (got == 0) {
            ok = !std::ferror(file);
            break;
        }
    }
    std::fclose(file);
    if (!ok) return Fail(eFILE_NOT_OPENED);
    mFileBytes = std::move(bytes);
    mData = mFileBytes.get();
    mSize = used;
    if (!Parse()) {
        Reset();
        return false;
    }
    return true;
}

bool VOxa::MemoryOpen(const void* data, size_t size) {
    Reset();
    mError.ClearError();
    if (!data && size) return Fail(eFILE_NOT_OPENED);
    static const uint8_t kEmpty = 0;
    mData = data ? (const uint8_t*)data : &kEmpty;
    mSize = size;
    if (!Parse()) {
        Reset();
        return false;
    }
    return true;
}

bool VOxa::Parse() {
    mMode = Mode::eREAD;
    mVersion5Layout = false;
    mLevels.reserve(8);
    if (mSize >= kBinaryHeaderSize && std::memcmp(mData, kBinaryMagic, sizeof kBinaryMagic) == 0) {
        mBinary = true;
        uint32_t version = GetU32(mData + 8);
        if (version == 0) return Fail(eFILE_CORRUPTED);
        if (version > kFormatVersion) return Fail(eFILE_VERSION_NOT_SUPPORTED_YET);
        mVersion5Layout = (GetU32(mData + 12) & kFlagVersion5Layout) != 0;
        if (!PushLevel(kBinaryHeaderSize, mSize)) return Fail(eFILE_CORRUPTED);
        return ParseSectionsBinary(mLevels[0].entries);
    }

    mBinary = false;
    uint64_t start = 0;
    if (mSize >= 3 && mData[0] == 0xEF && mData[1] == 0xBB && mData[2] == 0xBF) start = 3;
    const size_t magicLength = sizeof kTextMagic - 1;
    if (mSize - start < magicLength || std::memcmp(mData + start, kTextMagic, magicLength) != 0)
        return Fail(eFILE_CORRUPTED);
    if (mSize > UINT32_MAX) return Fail(eFILE_CORRUPTED);
    // The section blocks add one level above the deepest field block.
    switch (mBraces.Build((const char*)mData, start, mSize, kMaxBlockDepth + 1)) {
        case TextBraceTable::eOK:
            break;
        case TextBraceTable::eTOO_DEEP:
            return Fail(eNESTING_TOO_DEEP);
        default:
            return Fail(eFILE_CORRUPTED);
    }
    // The magic line is a comment to the list parser.
    if (!PushLevel(start, mSize)) return Fail(eFILE_CORRUPTED);
    return ParseSectionsText(mLevels[0].entries);
}

bool VOxa::ParseSectionsBinary(const std::vector<FieldEntry>& top) {
    for (const FieldEntry& entry : top) {
        if (entry.name != kSectionFieldName) continue;
        BinaryValue name, version;
        uint64_t next = 0;
        if (entry.valueCount < 2 || !entry.hasBlock ||
            !DecodeBinaryValue(mData, entry.valuesBegin, entry.valuesEnd, name, next) || name.type != 'S' ||
            !DecodeBinaryValue(mData, next, entry.valuesEnd, version, next) || version.type != 'I')
            return Fail(eFILE_CORRUPTED);
        Section section;
        section.name.assign(name.s);
        section.version = (int)version.i;
        section.entry = entry;
        mSections.push_back(std::move(section));
    }
    return true;
}

bool VOxa::ParseSectionsText(const std::vector<FieldEntry>& top) {
    const char* text = (const char*)mData;
    for (const FieldEntry& entry : top) {
        uint64_t pos = entry.valuesBegin;
        std::string_view token;
        bool quoted = false;
        if (entry.name == "FormatVersion") {
            int64_t version = 0;
            if (!NextTextToken(text, pos, entry.valuesEnd, token, quoted) || !ParseInt64(token, version) ||
                version <= 0)
                return Fail(eFILE_CORRUPTED);
            if (version > (int64_t)kFormatVersion) return Fail(eFILE_VERSION_NOT_SUPPORTED_YET);
        } else if (entry.name == "Version5Layout") {
            int64_t flag = 0;
            if (!NextTextToken(text, pos, entry.valuesEnd, token, quoted) || !ParseInt64(token, flag))
                return Fail(eFILE_CORRUPTED);
            mVersion5Layout = flag != 0;
        } else if (entry.name == kSectionFieldName) {
            Section section;
            int64_t version = 0;
            if (entry.valueCount < 2 || !entry.hasBlock ||
                !NextTextToken(text, pos, entry.valuesEnd, token, quoted) || !quoted)
                return Fail(eFILE_CORRUPTED);
            UnescapeText(token, section.name);
            if (!NextTextToken(text, pos, entry.valuesEnd, token, quoted) || quoted ||
                !ParseInt64(token, version))
                return Fail(eFILE_CORRUPTED);
            section.version = Int64ToInt(version);
            section.entry = entry;
            mSections.push_back(std::move(section));
        }
    }
    return true;
}

bool VOxa::FileClose() {
    if (mMode == Mode::eCLOSED) return Fail(eFILE_NOT_OPENED);
    if (mMode == Mode::eREAD) {
        Reset();
        return true;
    }
    if (!mFrames.empty() && !mWriteFailed) FailWrite(eINVALID_OPERATION);
    if (mBinary) {
        mOutput.PatchU32(mFlagsPos, mVersion5Layout ? kFlagVersion5Layout : 0);
    } else {
        const char digit = mVersion5Layout ? '1' : '0';
        mOutput.Patch(mFlagsPos, &digit, 1);
    }
    if (mOutput.Failed() && !mWriteFailed) FailWrite(eFILE_NOT_WRITTEN);
    bool ok = !mWriteFailed;
    if (ok && mToFile) ok = CommitFile();
    // A memory file keeps its bytes for GetMemoryData; anything else is freed.
    if (!ok || mToFile) mOutput.Release();
    Reset();
    return ok;
}

bool VOxa::CommitFile() {
    bool ok = mOutput.Flush();
    ok = std::fflush(mTempFile) == 0 && ok;
    ok = std::fclose(mTempFile) == 0 && ok;
    mTempFile = nullptr;
    // rename replaces the target in one step, so readers see the old file or the new one.
    if (!ok || std::rename(mTempPath.c_str(), mPath.c_str()) != 0) {
        std::remove(mTempPath.c_str());
        VForgetTemporary(mTempPath);
        return Fail(eFILE_NOT_WRITTEN);
    }
    VForgetTemporary(mTempPath);
    return true;
}

// ---- sections ----

const char* VOxa::GetSectionName(int index) const {
    if (index < 0 || index >= (int)mSections.size()) return "";
    return mSections[index].name.c_str();
}

int VOxa::GetSectionVersion(int index) const {
    if (index < 0 || index >= (int)mSections.size()) return 0;
    return mSections[index].version;
}

int VOxa::CurrentSectionVersion() const {
    return GetSectionVersion(mCurrentSection);
}

bool VOxa::SectionWriteBegin(const char* name, int version) {
    if (mMode != Mode::eWRITE || !mFrames.empty()) return FailWrite(eINVALID_OPERATION);
    WriteFieldHeader(kSectionFieldName);
    FieldWriteS(name ? name : "");
    FieldWriteI(version);
    FieldWriteBlockBegin();
    Section section;
    section.name = name ? name : "";
    section.version = version;
    mSections.push_back(std::move(section));
    mCurrentSection = (int)mSections.size() - 1;
    return true;
}

bool VOxa::SectionWriteEnd() {
    if (mMode != Mode::eWRITE || mFrames.size() != 1) return FailWrite(eINVALID_OPERATION);
    FieldWriteBlockEnd();
    mFrames.back().state = FrameState::eBLOCK_CLOSED;
    if (mBinary) {
        mOutput.PatchU64(mFrames.back().lengthPos, mOutput.Position() - mFrames.back().lengthPos - 8);
    } else {
        mOutput.Append('\n');
    }
    mFrames.pop_back();
    mCurrentSection = -1;
    return true;
}

bool VOxa::SectionReadBegin(int index) {
    if (mMode != Mode::eREAD || index < 0 || index >= (int)mSections.size()) return false;
    mDepth = 0;
    mCurrentSection = -1;
    const FieldEntry entry = mSections[index].entry;
    if (!PushLevel(entry.blockBegin, entry.blockEnd)) return Fail(eFILE_CORRUPTED);
    mCurrentSection = index;
    return true;
}

bool VOxa::SectionReadEnd() {
    if (mMode != Mode::eREAD || mCurrentSection < 0) return false;
    mDepth = 0;
    mCurrentSection = -1;
    return true;
}

// ---- writing fields ----

void VOxa::AppendIndent(size_t depth) {
    mOutput.AppendRepeat(depth, '\t');
}

bool VOxa::WriteFieldHeader(std::string_view name) {
    WriteFrame frame;
    if (mBinary) {
        frame.lengthPos = mOutput.Position();
        mOutput.AppendU64(0);
        mOutput.AppendU32((uint32_t)name.size());
        mOutput.Append(name);
        frame.countPos = mOutput.Position();
        mOutput.AppendU32(0);
        mOutput.AppendU64(0);
        frame.valuesStart = mOutput.Position();
    } else {
        AppendIndent(mFrames.size());
        mOutput.Append(name);
        mOutput.Append(':');
    }
    mFrames.push_back(frame);
    return true;
}

bool VOxa::FieldWriteBegin(const char* name) {
    if (mMode != Mode::eWRITE || mFrames.empty() || mFrames.back().state != FrameState::eBLOCK_OPEN ||
        !name || !IsValidFieldName(name))
        return FailWrite(eINVALID_OPERATION);
    return WriteFieldHeader(name);
}

bool VOxa::BeginValue() {
    if (mMode != Mode::eWRITE || mFrames.empty()) return FailWrite(eINVALID_OPERATION);
    WriteFrame& frame = mFrames.back();
    if (frame.state != FrameState::eVALUES || frame.valueCount == UINT32_MAX)
        return FailWrite(eINVALID_OPERATION);
    if (!mBinary) {
        if (frame.valueCount == 0) {
            mOutput.Append(' ');
        } else {
            mOutput.Append(',');
            if (frame.valueCount % kTextValuesPerLine == 0) {
                mOutput.Append('\n');
                AppendIndent(mFrames.size());
            }
        }
    }
    ++frame.valueCount;
    return true;
}

bool VOxa::FieldWriteC(char value) {
    if (!BeginValue()) return false;
    if (mBinary) {
        char bytes[2] = {'C', value};
        mOutput.Append(bytes, 2);
    } else if (IsBareChar(value)) {
        mOutput.Append(value);
    } else {
        // The nul character is written as an empty string, which reads back as 0.
        mOutput.AppendQuoted(value ? std::string_view(&value, 1) : std::string_view());
    }
    return true;
}

bool VOxa::FieldWriteI(int value) {
    if (!BeginValue()) return false;
    if (mBinary) {
        mOutput.Append('I');
        mOutput.AppendU32((uint32_t)value);
    } else {
        mOutput.AppendInt64(value);
    }
    return true;
}

bool VOxa::FieldWriteL(int64_t value) {
    if (!BeginValue()) return false;
    if (mBinary) {
        mOutput.AppendTagged64('L', (uint64_t)value);
    } else {
        mOutput.AppendInt64(value);
    }
    return true;
}

bool VOxa::FieldWriteF(float value) {
    if (!BeginValue()) return false;
    if (mBinary) {
        uint32_t bits;
        std::memcpy(&bits, &value, 4);
        mOutput.Append('F');
        mOutput.AppendU32(bits);
    } else {
        mOutput.AppendFloat(value);
    }
    return true;
}

void VOxa::AppendBinaryDouble(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, 8);
    mOutput.AppendTagged64('D', bits);
}

bool VOxa::FieldWriteD(double value) {
    // Keys are long runs of doubles: the binary case takes the checks of BeginValue inline.
    if (mBinary && mMode == Mode::eWRITE && !mFrames.empty()) {
        WriteFrame& frame = mFrames.back();
        if (frame.state == FrameState::eVALUES && frame.valueCount != UINT32_MAX) {
            ++frame.valueCount;
            AppendBinaryDouble(value);
            return true;
        }
    }
    if (!BeginValue()) return false;
    if (mBinary) {
        AppendBinaryDouble(value);
    } else {
        mOutput.AppendDouble(value);
    }
    return true;
}

bool VOxa::FieldWriteS(const char* value) {
    std::string_view text = value ? std::string_view(value) : std::string_view();
    if (text.size() > UINT32_MAX) return FailWrite(eINVALID_OPERATION);
    if (!BeginValue()) return false;
    if (mBinary) {
        mOutput.Append('S');
        mOutput.AppendU32((uint32_t)text.size());
        mOutput.Append(text);
    } else {
        mOutput.AppendQuoted(text);
    }
    return true;
}

bool VOxa::FieldWriteT(VTime value) {
    if (CurrentSectionVersion() >= kTickTimeVersion) return FieldWriteL(value.Get());
    return FieldWriteD(value.GetSecondDouble());
}

bool VOxa::FieldWriteBlockBegin() {
    if (mMode != Mode::eWRITE || mFrames.empty() || mFrames.back().state != FrameState::eVALUES)
        return FailWrite(eINVALID_OPERATION);
    // Frame 0 is the section; the block of frame k nests k deep.
    if (mFrames.size() - 1 > (size_t)kMaxBlockDepth) return FailWrite(eNESTING_TOO_DEEP);
    WriteFrame& frame = mFrames.back();
    if (mBinary) {
        mOutput.PatchU32(frame.countPos, frame.valueCount);
        mOutput.PatchU64(frame.countPos + 4, mOutput.Position() - frame.valuesStart);
        mOutput.Append((char)1);
    } else {
        mOutput.Append(" {\n");
    }
    frame.state = FrameState::eBLOCK_OPEN;
    return true;
}

bool VOxa::FieldWriteBlockEnd() {
    if (mMode != Mode::eWRITE || mFrames.empty() || mFrames.back().state != FrameState::eBLOCK_OPEN)
        return FailWrite(eINVALID_OPERATION);
    if (!mBinary) {
        AppendIndent(mFrames.size() - 1);
        mOutput.Append('}');
    }
    mFrames.back().state = FrameState::eBLOCK_CLOSED;
    return true;
}

bool VOxa::FieldWriteEnd() {
    if (mMode != Mode::eWRITE || mFrames.size() < 2 || mFrames.back().state == FrameState::eBLOCK_OPEN)
        return FailWrite(eINVALID_OPERATION);
    WriteFrame& frame = mFrames.back();
    if (mBinary) {
        if (frame.state == FrameState::eVALUES) {
            mOutput.PatchU32(frame.countPos, frame.valueCount);
            mOutput.PatchU64(frame.countPos + 4, mOutput.Position() - frame.valuesStart);
            mOutput.Append((char)0);
        }
        mOutput.PatchU64(frame.lengthPos, mOutput.Position() - frame.lengthPos - 8);
    } else {
        mOutput.Append('\n');
    }
    mFrames.pop_back();
    return true;
}

// ---- reading fields ----

bool VOxa::PushLevel(uint64_t begin, uint64_t end) {
    const size_t depth = (size_t)(mDepth + 1);
    if (depth >= mLevels.size()) mLevels.emplace_back();
    Level& level = mLevels[depth];
    bool ok = mBinary ? IndexBinaryList(mData, begin, end, level.entries)
                      : IndexTextList((const char*)mData, begin, end, mBraces, level.entries);
    if (!ok) return false;

    // Group the occurrences by name so that each name keeps its own cursor and a lookup is a
    // bisection, however many fields the list holds.
    const auto& entries = level.entries;
    level.order.resize(entries.size());
    std::iota(level.order.begin(), level.order.end(), 0u);
    std::sort(level.order.begin(), level.order.end(), [&entries](uint32_t a, uint32_t b) {
        int c = entries[a].name.compare(entries[b].name);
        return c < 0 || (c == 0 && a < b);
    });
    level.groups.clear();
    for (uint32_t k = 0; k < (uint32_t)level.order.size(); ++k) {
        std::string_view name = entries[level.order[k]].name;
        if (level.groups.empty() || level.groups.back().name != name) {
            Group group;
            group.name = name;
            group.first = k;
            level.groups.push_back(group);
        }
        ++level.groups.back().count;
    }
    level.currentGroup = -1;
    level.remaining = 0;
    mDepth = (int)depth;
    return true;
}

VOxa::Level* VOxa::CurrentLevel() {
    return mMode == Mode::eREAD && mDepth >= 1 ? &mLevels[mDepth] : nullptr;
}

const VOxa::Level* VOxa::CurrentLevel() const {
    return mMode == Mode::eREAD && mDepth >= 1 ? &mLevels[mDepth] : nullptr;
}

bool VOxa::FieldReadBegin(const char* name) {
    Level* level = CurrentLevel();
    if (!level || !name) return false;
    level->currentGroup = -1;
    level->remaining = 0;
    std::string_view key(name);
    auto it = std::lower_bound(level->groups.begin(), level->groups.end(), key,
                               [](const Group& g, std::string_view k) { return g.name < k; });
    if (it == level->groups.end() || it->name != key || it->cursor >= it->count) return false;
    const uint32_t index = level->order[it->first + it->cursor];
    const FieldEntry& entry = level->entries[index];
    level->currentGroup = (int)(it - level->groups.begin());
    level->currentEntry = index;
    level->valuePos = entry.valuesBegin;
    level->valuesEnd = entry.valuesEnd;
    level->remaining = entry.valueCount;
    return true;
}

bool VOxa::FieldReadEnd() {
    Level* level = CurrentLevel();
    if (!level || level->currentGroup < 0) return false;
    ++level->groups[level->currentGroup].cursor;
    level->currentGroup = -1;
    level->remaining = 0;
    return true;
}

bool VOxa::NextBinaryValue(BinaryValue& value) {
    Level* level = CurrentLevel();
    if (!level || level->currentGroup < 0 || level->remaining == 0) return false;
    uint64_t next = 0;
    if (!DecodeBinaryValue(mData, level->valuePos, level->valuesEnd, value, next)) {
        level->remaining = 0;
        return Fail(eFILE_CORRUPTED);
    }
    level->valuePos = next;
    --level->remaining;
    return true;
}

bool VOxa::NextTextValue(std::string_view& token) {
    Level* level = CurrentLevel();
    if (!level || level->currentGroup < 0 || level->remaining == 0) return false;
    bool quoted = false;
    if (!NextTextToken((const char*)mData, level->valuePos, level->valuesEnd, token, quoted)) {
        level->remaining = 0;
        return false;
    }
    --level->remaining;
    if (quoted) {
        UnescapeText(token, mString);
        token = mString;
    }
    return true;
}

char VOxa::FieldReadC() {
    if (mBinary) {
        BinaryValue v;
        if (!NextBinaryValue(v)) return 0;
        switch (v.type) {
            case 'S':
                return v.s.empty() ? 0 : v.s[0];
            case 'F':
            case 'D':
                return (char)DoubleToInt64(v.d);
            default:
                return (char)v.i;
        }
    }
    std::string_view token;
    if (!NextTextValue(token)) return 0;
    return token.empty() ? 0 : token[0];
}

int64_t VOxa::FieldReadL() {
    int64_t result = 0;
    if (mBinary) {
        BinaryValue v;
        if (!NextBinaryValue(v)) return 0;
        switch (v.type) {
            case 'S':
                ParseInt64(v.s, result);
                return result;
            case 'F':
            case 'D':
                return DoubleToInt64(v.d);
            default:
                return v.i;
        }
    }
    std::string_view token;
    if (NextTextValue(token)) ParseInt64(token, result);
    return result;
}

int VOxa::FieldReadI() {
    return Int64ToInt(FieldReadL());
}

double VOxa::FieldReadD() {
    double result = 0.0;
    if (mBinary) {
        Level* level = CurrentLevel();
        if (level && level->currentGroup >= 0 && level->remaining > 0 &&
            level->valuesEnd - level->valuePos >= 9 && mData[level->valuePos] == 'D') {
            uint64_t bits = GetU64(mData + level->valuePos + 1);
            std::memcpy(&result, &bits, 8);
            level->valuePos += 9;
            --level->remaining;
            return result;
        }
        BinaryValue v;
        if (!NextBinaryValue(v)) return 0.0;
        switch (v.type) {
            case 'S':
                ParseDouble(v.s, result);
                return result;
            case 'F':
            case 'D':
                return v.d;
            default:
                return (double)v.i;
        }
    }
    std::string_view token;
    if (NextTextValue(token)) ParseDouble(token, result);
    return result;
}

float VOxa::FieldReadF() {
    float result = 0.0f;
    if (mBinary) {
        BinaryValue v;
        if (!NextBinaryValue(v)) return 0.0f;
        switch (v.type) {
            case 'S':
                ParseFloat(v.s, result);
                return result;
            case 'F':
            case 'D':
                return v.f;
            default:
                return (float)v.i;
        }
    }
    std::string_view token;
    if (NextTextValue(token)) ParseFloat(token, result);
    return result;
}

const char* VOxa::FieldReadS() {
    if (mBinary) {
        BinaryValue v;
        if (!NextBinaryValue(v)) return "";
        mString.clear();
        switch (v.type) {
            case 'S':
                mString.assign(v.s);
                break;
            case 'C':
                if (v.i) mString.push_back((char)v.i);
                break;
            case 'F':
                AppendFloat(mString, v.f);
                break;
            case 'D':
                AppendDouble(mString, v.d);
                break;
            default:
                AppendInt64(mString, v.i);
                break;
        }
        return mString.c_str();
    }
    std::string_view token;
    if (!NextTextValue(token)) return "";
    if (token.data() != mString.data()) mString.assign(token);
    return mString.c_str();
}

VTime VOxa::FieldReadT() {
    VTime time;
    if (mBinary) {
        BinaryValue v;
        if (!NextBinaryValue(v)) return time;
        if (v.type == 'L') return VTime(v.i);
        double seconds = 0.0;
        if (v.type == 'S') {
            ParseDouble(v.s, seconds);
        } else if (v.type == 'F' || v.type == 'D') {
            seconds = v.d;
        } else {
            seconds = (double)v.i;
        }
        time.SetSecondDouble(seconds);
        return time;
    }
    std::string_view token;
    if (!NextTextValue(token)) return time;
    if (CurrentSectionVersion() >= kTickTimeVersion) {
        int64_t ticks = 0;
        ParseInt64(token, ticks);
        return VTime(ticks);
    }
    double seconds = 0.0;
    ParseDouble(token, seconds);
    time.SetSecondDouble(seconds);
    return time;
}

char VOxa::FieldReadPeekType() {
    const Level* level = CurrentLevel();
    if (!mBinary || !level || level->currentGroup < 0 || level->remaining == 0 ||
        level->valuePos >= level->valuesEnd)
        return 'S';
    return (char)mData[level->valuePos];
}

int VOxa::FieldReadRemaining() const {
    const Level* level = CurrentLevel();
    if (!level || level->currentGroup < 0) return 0;
    return level->remaining > (uint32_t)INT32_MAX ? INT32_MAX : (int)level->remaining;
}

bool VOxa::FieldReadBlockBegin() {
    Level* level = CurrentLevel();
    if (!level || level->currentGroup < 0) return false;
    // Copy: entering may grow mLevels and move the entry.
    const FieldEntry entry = level->entries[level->currentEntry];
    if (!entry.hasBlock) return false;
    // Level 1 is the section's list, so the new block nests mDepth deep.
    if (mDepth > kMaxBlockDepth) return Fail(eNESTING_TOO_DEEP);
    if (!PushLevel(entry.blockBegin, entry.blockEnd)) return Fail(eFILE_CORRUPTED);
    return true;
}

bool VOxa::FieldReadBlockEnd() {
    if (mMode != Mode::eREAD || mDepth <= 1) return false;
    --mDepth;
    return true;
}

int VOxa::FieldReadIOrDefault(const char* name, int defaultValue) {
    if (!FieldReadBegin(name)) return defaultValue;
    int value = FieldReadRemaining() > 0 ? FieldReadI() : defaultValue;
    FieldReadEnd();
    return value;
}

char VOxa::FieldReadCOrDefault(const char* name, char defaultValue) {
    if (!FieldReadBegin(name)) return defaultValue;
    char value = FieldReadRemaining() > 0 ? FieldReadC() : defaultValue;
    FieldReadEnd();
    return value;
}

const char* VOxa::FieldReadSOrDefault(const char* name, const char* defaultValue) {
    if (!FieldReadBegin(name)) return defaultValue;
    const char* value = FieldReadRemaining() > 0 ? FieldReadS() : defaultValue;
    FieldReadEnd();
    return value;
}
