#ifndef OXA_BASE_VERROR_H
#define OXA_BASE_VERROR_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/vstring.h>

// The error state that every reader, writer, filter, scene and settings object embeds: the
// last error id (-1 when none), the owner's table of messages and the last error text.
// The table is not copied: it must outlive the error object (owners use static tables).
// VError has no failure of its own.
class OXA_API VError {
public:
    // An error object without messages; ids set on it get an empty text.
    VError() = default;
    // An error object over `count` messages of `table`; id -1 and an empty text.
    VError(const char* const* table, int count);

    // Stores `id` and takes the text of that table entry; an id outside the table, or an entry
    // without text, leaves an empty text.
    void SetLastErrorID(int id);
    // Stores `id` and `text` (null is taken as ""); the table is not consulted.
    void SetLastError(int id, const char* text);
    // Back to no error: id -1, empty text.
    void ClearError();

    int GetLastErrorID() const { return mLastErrorID; }
    const VString& GetLastErrorString() const { return mLastErrorString; }

    // The table's message for `id`, "" when out of range or empty.
    const char* GetErrorString(int id) const;
    int GetErrorStringCount() const { return mCount; }

private:
    int mLastErrorID = -1;
    const char* const* mTable = nullptr;
    int mCount = 0;
    VString mLastErrorString{""};
};

#endif  // OXA_BASE_VERROR_H
