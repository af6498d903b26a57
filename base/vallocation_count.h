#ifndef OXA_BASE_VALLOCATION_COUNT_H
#define OXA_BASE_VALLOCATION_COUNT_H

#include <oxa/base/oxa_export.h>

// Allocation failures that are handled where they happen (an array that cannot grow, a working
// list given up, a key block that cannot be had) are counted for the whole process, so that a
// read or write can tell afterwards that it went on with less than it needed and fail with "Not
// enough memory" instead of answering success. A program can read the count before and after a
// step in the same way.
namespace oxa_alloc {

// Counts one allocation failure.
OXA_API void NoteFailure();
// The number of allocation failures counted since the process started.
OXA_API unsigned long long FailureCount();

}  // namespace oxa_alloc

#endif  // OXA_BASE_VALLOCATION_COUNT_H
