#ifndef OXA_BASE_VLISTED_NAME_INTERNAL_H
#define OXA_BASE_VLISTED_NAME_INTERNAL_H

#include "base/vstring.h"

// A name as a message lists it: one longer than 128 bytes keeps its first 128 (whole UTF-8
// characters) and says how long it was, so that a name of any length cannot make a message grow
// without bound.
VString VListedName(const char* name);

#endif  // OXA_BASE_VLISTED_NAME_INTERNAL_H
