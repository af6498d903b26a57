#ifndef OXA_FORMATS_MOTION_VOXA_MOTION_NAMES_H
#define OXA_FORMATS_MOTION_VOXA_MOTION_NAMES_H

#include <string>
#include <unordered_set>

#include <oxa/base/oxa_export.h>
#include <oxa/base/vstring.h>

// The names a skeleton reader makes up for nodes its file does not name (the "<joint>_End" node
// at the end of a leaf bone) beside the names the file gives: a made-up name never takes a name
// of the file or one made up before, so that the file's nodes keep their names and the reader's
// duplicate-name check passes. Names compare exactly, as that check does.
class OXA_API VOxaMadeUpNames {
public:
    // A name the file uses.
    void Use(const char* name) { mTaken.insert(name ? name : ""); }
    // `wanted` when it is free, else the first of "<wanted>_2", "<wanted>_3", ... that is; the
    // name answered is taken from then on.
    VString Claim(const char* wanted);

private:
    std::unordered_set<std::string> mTaken;
};

#endif  // OXA_FORMATS_MOTION_VOXA_MOTION_NAMES_H
