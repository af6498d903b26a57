#ifndef OXA_FORMATS_MOTION_VTEXT_FILE_H
#define OXA_FORMATS_MOTION_VTEXT_FILE_H

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/base/vsafe_output_file.h>
#include <oxa/base/vstring.h>

// The line-oriented text file under every text motion format. It owns a stdio stream and one
// growable line buffer, keeps a cursor into the current line and the line number, skips blank and
// comment lines, splits lines into tokens, matches keywords, parses numbers, composes read
// diagnostics carrying the format's name and line number, and writes text.
//
// Each format's file class derives from it and passes its name, separator set and comment
// characters. The strings are not copied: they must outlive the object (static literals).
//
// Writing: `Open` with a write mode writes to a temporary file beside the target; `Close` puts it in
// place only when every write succeeded, so a failed or interrupted write keeps the old target.
// Writes go through an output buffer; a format prints its numbers with `WriteInt`, `WriteG` and
// `WriteFixed`, which are byte-identical to "%d", "%g" and "%.Nf" in the "C" locale.
class OXA_API VTextFile {
public:
    // One entry of a keyword table; a table ends with an entry whose word is "".
    struct Keyword {
        const char* word;
        int count;
    };

    // Receives one diagnostic line. It runs in the middle of a read: what it throws stops there,
    // and the objects it destroys through the SDK manager go when the outermost read has ended.
    using Callback = void (*)(const char* text);

    static constexpr uint32_t kInitialBufferSize = 10240;

    VTextFile(const char* name, const char* separators, const char* commentChars, bool caseSensitiveInf,
              bool diagnostics);
    virtual ~VTextFile();
    VTextFile(const VTextFile&) = delete;
    VTextFile& operator=(const VTextFile&) = delete;

    // ---- opening and lines ----

    // Opens `path` with an fopen mode. A read mode positions the file on its first significant line
    // (true even when there is none), past a leading UTF-8 byte-order mark; a write mode ('w' or
    // 'a' in it) starts the temporary file.
    bool Open(const char* path, const char* mode);
    // Closes the stream. For a written file, puts it in place: false when a write failed (the
    // target is then untouched). True only when a stream was open and closing it succeeded.
    bool Close();
    // Closes a written file without putting it in place (the target is untouched).
    void Discard();
    // Back to the first significant line (past a UTF-8 byte-order mark); line numbers count from
    // the start again.
    bool Rewind();
    // Reads one physical line into the buffer at `offset`, growing the buffer for long lines.
    bool ReadRawLine(uint32_t offset);
    // Moves to the next significant line: blank lines and comment lines are skipped. The line end
    // (the newline and the carriage returns before it) is taken off the line.
    bool ReadNextLine();
    // Where the next ReadNextLine starts reading: the byte in the file, the number of the line read
    // last and the line-end state. Seek back to it, and ReadNextLine reads the same line with the
    // same number again.
    struct Position {
        int64_t offset = -1;
        uint32_t line = 0;
        bool afterCr = false;
    };
    Position Tell() const;
    // False (nothing changed) when no file is open for reading or the stream cannot go there.
    bool Seek(const Position& position);
    // When on, a carriage return alone ends a line as a newline does (files from systems whose
    // lines end so); a CR LF pair stays one line end. Off at construction.
    void SetCrEndsLines(bool on) { mCrEndsLines = on; }
    const char* SetSeparators(const char* set);
    const char* SetDelimiters(const char* set);

    bool IsOpen() const { return mFile != nullptr || mOutput.IsOpen(); }
    bool IsAtEnd() const { return mAtEnd; }
    bool SkippedLines() const { return mSkippedLines; }
    // False when the current line is the file's last and no line end follows it (a file cut there).
    bool LineEnded() const { return mLineEnded; }
    uint32_t GetLineNumber() const { return mLineNumber; }
    uint32_t GetBufferSize() const { return mBufferSize; }
    const char* GetLine() const { return mLine; }
    const char* GetCursor() const { return mCursor; }
    // Moves the cursor inside the current line (null or outside the buffer is refused).
    bool SetCursor(const char* position);
    const char* GetName() const { return mName; }

    // ---- cursor and tokens ----

    const char* SkipSeparators(const char* p) const;
    // True when `c` equals one of the set's characters converted to lower case.
    static bool IsInSet(const char* set, char c);
    // Compares `word` with the start of `text` without regard to case; the position after the word,
    // or null. No word boundary is needed: "Frame" matches the start of "Frames:".
    static const char* MatchPrefix(const char* text, const char* word);
    // The index of the first entry whose word starts the text at the cursor (the cursor moves past
    // it and past separators, the entry counts the match), or -1.
    int ReadKeyword(Keyword* table);
    int PeekKeyword(const Keyword* table) const;
    static void ResetKeywordCounts(Keyword* table);
    bool PeekChar(char& c) const;
    bool ReadChar(char& c);
    // Copies at most `max` characters of the token at the cursor into `buffer` (which holds max + 1).
    bool ReadToken(char* buffer, int max);
    bool ReadString(VString& text);
    // The number readers take a whole token: a number followed by anything but a separator or the
    // line's end ("2x" to ReadDouble) is no number, so that no rest of it is taken for the next
    // value. ReadInt takes what ParseWholeNumber takes ("50", "50.0"; not "50.5").
    bool ReadInt(int& value);
    // A number times `scale`; "inf" and "-inf" (unscaled) only as the last token of the line.
    bool ReadDouble(double& value, double scale = 1.0);
    bool ReadDoublePair(double out[2], double scale = 1.0);
    bool ReadVector3(double out[3], double scale = 1.0);
    // A frame number, the same in every motion format: a whole decimal number, also written with
    // a zero fraction ("50", "+50", "-3", "50.0", "50."), that an int holds. Blanks around it are
    // allowed; a fraction ("50.5"), an exponent, a hexadecimal number or any other text is not.
    static bool ParseWholeNumber(const char* begin, const char* end, int& value);
    // The token at the cursor as ParseWholeNumber takes it; otherwise Fail with "the frame number
    // <token> is not a whole number" (the cursor stays).
    bool ReadFrameNumber(int& value);
    // True when nothing but separators is left on the line.
    bool AtLineEnd() const;

    // ---- diagnostics ----

    bool PrintDebug(const char* format, ...) const;
    bool PrintWarning(const char* format, ...) const;
    bool PrintError(const char* format, ...) const;
    Callback SetDebugCallback(Callback fn);
    Callback SetWarningCallback(Callback fn);
    Callback SetErrorCallback(Callback fn);
    void SetDiagnostics(bool on) { mDiagnostics = on; }

    // ---- failures ----

    // Keeps what made a read fail as "line <n>: " and the formatted text (the text alone while no
    // line has been read), hands the text to PrintError, and answers false, so that a parser can
    // `return Fail(...)`. A later failure replaces the kept one. The readers append it to their
    // "File is corrupted" text.
    bool Fail(const char* format, ...);
    // Fail with "the file is empty", or, when lines were read, that it holds nothing but blank (or
    // comment) lines.
    bool FailNoText();
    // What made the last read fail, with its line; "" when nothing failed since ClearFailure.
    const char* GetFailure() const { return mFailure.Buffer(); }
    void ClearFailure() { mFailure = ""; }

    // ---- names ----

    // What a format cannot hold in a name besides control characters: blanks (a reader that takes
    // a name as one token), a leading '#' (a reader that takes such a line for a comment), braces
    // (a reader that takes them for the start or end of a block), a leading '[' (a reader that
    // takes such a line for a section title), '#', '[' and ']' anywhere (a reader that takes '#' for
    // the start of a comment and ends a section title at the first ']').
    enum NameRule : unsigned {
        kControlOnly = 0,
        kBlanks = 1,
        kLeadingHash = 2,
        kBraces = 4,
        kLeadingBracket = 8,
        kSectionMarks = 16
    };
    // The names a text writer writes for `names`, in order: every control character (a byte below
    // 32, or 127; line breaks and tabs among them) becomes '_', and so does what `rules` adds; an
    // empty name (a field or token the reader would not see) is written as "_". `reserved` (null,
    // or a list ended by null) holds words the format gives a meaning of its own: a name equal to
    // one of them, without regard to case, has to change too. A name that had to change and then
    // equals another name of the list or a reserved word, without regard to case, takes the first
    // of the suffixes "_2", "_3", ... that keeps it distinct. A name that repeats a name before it
    // exactly (which the readers refuse) has to change too; other names that need no change are
    // kept as they are. With `maxBytes` above 0 a longer name is cut to that many bytes (whole UTF-8
    // characters) and counts as changed; a suffix then takes its room from the end of the name.
    static std::vector<VString> WritableNames(const std::vector<VString>& names, unsigned rules,
                                              const char* const* reserved = nullptr, int maxBytes = 0);
    // The length of `text`'s first `maxBytes` bytes cut back to the start of a UTF-8 character.
    static int CutLength(const char* text, int length, int maxBytes);

    // ---- writing ----

    // Two blanks per level, then the formatted text (no newline added).
    bool WriteIndented(int level, const char* format, ...);
    // printf-style text (no length limit).
    bool WriteFormat(const char* format, ...);
    bool Write(const char* data, size_t size);
    bool WriteText(const char* text);
    bool WriteChar(char c);
    bool WriteInt(long long value);
    // "%g" at `precision` significant digits; at kSingleDigits, the fewest from six up to nine that
    // read back as the same single-precision value (where the readers keep their keys), so that
    // a value written keeps what the scene held: six digits put a point 128 m from the origin
    // 0.12 mm off.
    static constexpr int kSingleDigits = 0;
    bool WriteG(double value, int precision = kSingleDigits);
    // `count` values as WriteG writes them at its default precision, each followed by `separator`.
    bool WriteGs(const double* values, int count, char separator);
    bool WriteFixed(double value, int decimals);
    // The shortest text that reads back as the same double ("0.1", "119.88012", "1e+30"), so that
    // a rate or coordinate written keeps every digit it has ("-0" as printf writes it).
    bool WriteShortest(double value);
    // False once any write failed since `Open`.
    bool WriteFailed() const { return mWriteFailed; }

    // ---- numbers a file cannot hold ----

    // The largest magnitude a writer puts in a file: far beyond any length or angle of a capture,
    // and far enough inside single precision (where the readers keep their keys) that a unit
    // conversion on reading stays finite.
    static constexpr double kLargestNumber = 1e30;
    // kLargestNumber with room for the rounding of a unit conversion and of single-precision keys:
    // a file's 1e30 mm, read as 1e29 cm and kept as a float, comes back 1.5e-8 of itself over
    // 1e30, and is still written.
    static constexpr double kLargestHeld = kLargestNumber * (1.0 + 6e-8);
    // True for a finite number within +-kLargestNumber (kLargestHeld).
    static bool IsWritableNumber(double value) { return value >= -kLargestHeld && value <= kLargestHeld; }
    // Names what the numbers written next belong to (a node, `frame` counted from 1; 0 for the
    // file's header): the text of an unwritable number names it. `node` must live until the next
    // call or the end of the write.
    void SetNumberSubject(const char* node, long long frame) {
        mSubjectNode = node;
        mSubjectFrame = frame;
    }
    // Lowers the largest magnitude WriteG, WriteGs and WriteFixed write (at most kLargestNumber):
    // for a file whose reader scales its numbers up on reading.
    void SetLargestNumber(double largest) { mLargest = largest < kLargestNumber ? largest : kLargestNumber; }
    // WriteG, WriteGs and WriteFixed write no number that IsWritableNumber refuses, nor one beyond
    // SetLargestNumber's magnitude: the first one
    // is noted with its subject, the write counts as failed (Close puts nothing in place), and
    // this text says what it was; "" while every number was writable.
    const char* GetUnwritableNumber() const { return mUnwritable.Buffer(); }

protected:
    // The read stream (null when closed or writing).
    std::FILE* mFile = nullptr;
    uint32_t mLineNumber = 0;
    uint32_t mBufferSize = 0;
    char* mLine = nullptr;
    char* mCursor = nullptr;
    bool mDiagnostics = false;
    bool mCaseSensitiveInf = true;
    const char* mSeparators = "";
    const char* mDelimiters = "";
    const char* mCommentChars = "";
    const char* mName = "";
    bool mAtEnd = true;
    bool mSkippedLines = false;
    bool mLineEnded = true;
    VString mFailure{""};
    Callback mDebugCallback = nullptr;
    Callback mWarningCallback = nullptr;
    Callback mErrorCallback = nullptr;

private:
    bool IsSeparator(char c) const { return mSeparatorTable[(unsigned char)c]; }
    // True at the line's end, a separator or white space: where a number token may end.
    bool EndsToken(const char* p) const;
    bool Compose(Callback fn, const char* kind, const char* format, va_list args) const;
    // fgets over the block reader: at most room - 1 bytes, up to and including a newline.
    bool GetLine(char* out, uint32_t room);
    bool FillInput();
    void EmptyLine();
    bool FlushOutput();
    // `size` bytes of room at the end of the output buffer (flushed first when needed); null
    // when no file is open for writing or `size` exceeds the buffer.
    char* OutputRoom(size_t size);
    bool RestOfLineIs(const char* word) const;
    static void BuildTable(bool* table, const char* set);
    // The separators that are not comment characters, as a string for strspn.
    void BuildLeadingSet();

    bool mSeparatorTable[256];
    bool mDelimiterTable[256];
    bool mCommentTable[256];
    char mLeadingSet[256];
    // The length (to the first NUL) of the line the last ReadRawLine left in the buffer.
    size_t mRawLength = 0;

    // Block reader under the read stream.
    char* mInput = nullptr;
    // The byte of the file that the input buffer's first byte holds.
    int64_t mInputStart = 0;
    size_t mInputPos = 0;
    size_t mInputLen = 0;
    bool mInputEof = false;
    bool mCrEndsLines = false;
    bool mAfterCr = false;  // the last line ended at a carriage return

    // Output: a buffer in front of the temporary file.
    VSafeOutputFile mOutput;
    char* mOutBuffer = nullptr;
    size_t mOutLen = 0;
    bool mWriteFailed = false;

    // Notes an unwritable number (the first one) and fails the write; false.
    bool RefuseNumber(double value);
    bool Writable(double value) const {
        const double largest = mLargest * (kLargestHeld / kLargestNumber);
        return value >= -largest && value <= largest;
    }
    double mLargest = kLargestNumber;
    const char* mSubjectNode = nullptr;
    long long mSubjectFrame = 0;
    VString mUnwritable{""};
};

#endif  // OXA_FORMATS_MOTION_VTEXT_FILE_H
