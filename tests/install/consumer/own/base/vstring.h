// The consumer's own string header, in a folder named as the toolkit's: the toolkit's installed
// headers must not pick it up in place of theirs.
#ifndef CONSUMER_BASE_VSTRING_H
#define CONSUMER_BASE_VSTRING_H

namespace consumer {
struct VString {
    const char* text;
};
}  // namespace consumer

#endif  // CONSUMER_BASE_VSTRING_H
