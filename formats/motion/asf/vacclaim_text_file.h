#ifndef OXA_FORMATS_MOTION_ASF_VACCLAIM_TEXT_FILE_H
#define OXA_FORMATS_MOTION_ASF_VACCLAIM_TEXT_FILE_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/vstring.h>
#include <oxa/formats/motion/vtext_file.h>

// The text file under the ASF and AMC files: separators " \t, ()\r\n", comment character "#".
// Beside the diagnostics of VTextFile (which reach only an installed receiver), every warning and
// error is also kept, one line each with its "<name> read warning (line n): " prefix, so that the
// readers can hand them on in their message text.
class OXA_API VAcclaimTextFile : public VTextFile {
public:
    static constexpr const char* kSeparators = " \t, ()\r\n";

    VAcclaimTextFile(const char* name, bool diagnostics);

    // The warnings and errors of the last read, one line each.
    const VString& GetMessages() const { return mMessages; }
    // The warnings alone: what a reader adds to its message text (the error that stopped a read
    // is its failure, said once).
    const VString& GetWarnings() const { return mWarnings; }
    void ClearMessages() {
        mMessages = "";
        mWarnings = "";
        mMessageCount = 0;
        ClearFailure();
    }

    // The keyword of `table` that starts the line at the cursor, matched without regard to case
    // as a prefix; the cursor moves past it and its separators. -1 (nothing moved) when none does.
    // The tables stay constant: nothing is counted.
    int MatchKeyword(const Keyword* table);
    // The index of the entry of `table` that equals the whole of `token` without regard to case,
    // -1 when none does.
    static int FindWord(const Keyword* table, const char* token);
    // Back to the first significant line. VTextFile::Rewind leaves the end flag of a file read to
    // its end set; a second pass over the file needs it cleared.
    bool Restart();
    // True when the current line begins with ':' (a section or header keyword).
    bool AtKeywordLine() const { return mCursor && *mCursor == ':'; }

protected:
    void Warning(const char* format, ...);
    // A warning about the file as a whole, kept without a line number.
    void FileWarning(const char* format, ...);
    // Records the error, keeps it as the read's failure (VTextFile::Fail, with the line) and answers
    // false, so that a handler can `return Error(...)`.
    bool Error(const char* format, ...);

private:
    void WarningAt(bool withLine, const char* format, va_list args);
    void Record(const char* kind, bool withLine, const char* format, va_list args);

    VString mMessages{""};
    VString mWarnings{""};
    int mMessageCount = 0;
};

#endif  // OXA_FORMATS_MOTION_ASF_VACCLAIM_TEXT_FILE_H
