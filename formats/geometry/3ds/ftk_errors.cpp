// The toolkit's error stack, its flags and the message table.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>

#include "base/vallocation_hook.h"
#include "formats/geometry/3ds/ftk_core.h"

namespace Ftk {

namespace {

ErrorEntry gErrors[kErrorListSize] = {};
bool gErrorPending = false;
bool gContinue = false;
SkippedChunk gSkipped[kSkippedChunkNotes] = {};
uint64_t gSkippedTotal = 0;

const char* const kMessages[] = {
    "NO_FTK_ERRORS: No errors are pending",
    "ERR_NO_MEM: Not enough memory to complete operation",
    "ERR_INVALID_ARG: The argument passed to the function is invalid.  Usually caused by a NULL pointer or "
    "an "
    "out of range numeric argument.",
    "ERR_INVALID_DATA: The structure passed as an argument to the function has invalid or out of range data "
    "in "
    "its fields.",
    "ERR_INVALID_CHUNK: An invalid chunk structure was encountered while reading the database. Usually "
    "caused "
    "by a corrupt database or file",
    "ERR_INVALID_DATABASE: The database passed as an argument has not be created yet.",
    "ERR_WRONG_DATABASE: The database passed as an argument is the wrong kind of database for this function.",
    "ERR_UNFOUND_CHUNK: The database is missing important file chunks needed to fill out the requested "
    "structure.  Usually caused by a corrupt database or file",
    "ERR_WRONG_OBJECT: The name passed to the functions exists, but is not the type of object asked for.  "
    "For "
    "example, asking for a mesh object with the GetCameraByName3ds function.",
    "ERR_NO_SUCH_FILE: The filename passed as an argument for reading does not exist",
    "ERR_INIT_FAILED: Failed to initialize structure passed as an argument",
    "ERR_OPENING_FILE: Could not open requested file",
    "ERR_CLOSING_FILE: Could not close requested file",
    "ERR_READING_FILE: Error occurred while reading file",
    "ERR_CREATING_DATABASE: Error occurred while creating database",
    "ERR_READING_DATABASE: Error occurred while reading database",
    "ERR_WRITING_DATABASE: Error occurred while writing database",
    "ERR_WRITING_FILE: Error occurred while writing file",
    "ERR_STRING_TOO_LONG: String encountered in file, structure, or as an argument was longer than expected. "
    " "
    "Possibly caused by an uninitialed pointer, corrupt file or database",
    "ERR_TOO_MANY_FILES: The toolkit has reached its maximum open file limit of 252 files.",
};
const char* const kTooManyErrors = "N_ERRORS: More errors were reported then could be recorded.";
const char* const kUnknownError = "Unknown error code was encountered";

}  // namespace

const char* ErrorText(int32_t code) {
    if (code >= 0 && code < (int32_t)(sizeof kMessages / sizeof kMessages[0])) return kMessages[code];
    if (code == N_ERRORS) return kTooManyErrors;
    return kUnknownError;
}

void PushError(int32_t code) {
    if (code == NO_FTK_ERRORS) return;
    // Counted with the other allocation failures, so that the read or write that met it fails
    // as short of memory.
    if (code == ERR_NO_MEM) oxa_alloc::NoteFailure();
    gErrorPending = true;
    for (int i = 0; i < kErrorStackSize; ++i) {
        if (gErrors[i].mCode != 0) continue;
        gErrors[i].mCode = code;
        gErrors[i].mText = ErrorText(code);
        gErrors[i + 1].mCode = 0;  // the entry behind it (the terminator after the last)
        gErrors[i + 1].mText = nullptr;
        return;
    }
    ErrorEntry& overflow = gErrors[kErrorOverflowEntry];
    if (overflow.mCode == 0) {
        overflow.mCode = code;
        overflow.mText = ErrorText(code);
    } else {
        overflow.mCode = N_ERRORS;
        overflow.mText = ErrorText(N_ERRORS);
    }
}

void ClearErrors() {
    gErrorPending = false;
    gSkippedTotal = 0;
    // The overflow entry is freed too: otherwise, after a clear, the 20th error of the next run
    // would already read as "more errors than could be recorded".
    for (ErrorEntry& entry : gErrors) {
        entry.mCode = 0;
        entry.mText = nullptr;
    }
}

void DumpErrors(std::FILE* stream) {
    if (!stream) return;
    for (int i = kErrorListSize - 1; i >= 0; --i) {
        if (gErrors[i].mCode != 0 && gErrors[i].mText) std::fprintf(stream, "%s\n", gErrors[i].mText);
    }
}

const ErrorEntry* GetErrorList() {
    return gErrors;
}

bool IsErrorPending() {
    return gErrorPending;
}

void SetContinueFlag(bool on) {
    gContinue = on;
}

bool GetContinueFlag() {
    return gContinue;
}

void NoteSkippedChunk(const SkippedChunk& chunk) {
    if (gSkippedTotal < kSkippedChunkNotes) gSkipped[gSkippedTotal] = chunk;
    ++gSkippedTotal;
}

const SkippedChunk* GetSkippedChunks(size_t* kept, uint64_t* total) {
    if (kept) *kept = gSkippedTotal < kSkippedChunkNotes ? (size_t)gSkippedTotal : kSkippedChunkNotes;
    if (total) *total = gSkippedTotal;
    return gSkipped;
}

namespace {
int gSessions = 0;
}  // namespace

Session::Session() : mNested(gSessions > 0) {
    ++gSessions;
    if (!mNested) return;
    for (int i = 0; i < kErrorListSize; ++i)
        mErrors[i] = gErrors[i];
    mPending = gErrorPending;
    mContinue = gContinue;
    for (size_t i = 0; i < kSkippedChunkNotes; ++i)
        mSkipped[i] = gSkipped[i];
    mSkippedTotal = gSkippedTotal;
    mCurrent = GetCurrentFile();
    mCurrentSlot = GetCurrentFileIndex();
    ClearErrors();
    gContinue = false;
}

Session::~Session() {
    --gSessions;
    if (!mNested) return;
    for (int i = 0; i < kErrorListSize; ++i)
        gErrors[i] = mErrors[i];
    gErrorPending = mPending;
    gContinue = mContinue;
    for (size_t i = 0; i < kSkippedChunkNotes; ++i)
        gSkipped[i] = mSkipped[i];
    gSkippedTotal = mSkippedTotal;
    // The file that was current, when it is still open in its slot.
    if (mCurrent && GetFileByIndex(mCurrentSlot) == mCurrent) SelectFile(mCurrent);
}

int GetErrorCount() {
    int count = 0;
    for (const ErrorEntry& entry : gErrors)
        if (entry.mCode != 0) ++count;
    return count;
}

bool Fail(int32_t code) {
    PushError(code);
    return !gContinue;
}

bool Stopped() {
    return gErrorPending && !gContinue;
}

namespace {

// `value` truncated toward zero into [low, high]; NaN gives 0.
template <class T>
T Saturate(double value) {
    if (std::isnan(value)) return 0;
    const double low = (double)std::numeric_limits<T>::min();
    const double high = (double)std::numeric_limits<T>::max();
    if (value <= low) return std::numeric_limits<T>::min();
    if (value >= high) return std::numeric_limits<T>::max();
    return (T)value;
}

}  // namespace

int16_t SaturateShort(double value) {
    return Saturate<int16_t>(value);
}
uint16_t SaturateUShort(double value) {
    return Saturate<uint16_t>(value);
}
int32_t SaturateLong(double value) {
    return Saturate<int32_t>(value);
}
uint8_t SaturateByte(double value) {
    return Saturate<uint8_t>(value);
}

}  // namespace Ftk
