#ifndef OXA_BASE_VPATH_H
#define OXA_BASE_VPATH_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/vstring.h>

// Path helpers. Both '/' and '\' separate the parts of a path. A path is absolute when it holds
// a ':' (a drive or a scheme), begins with two backslashes (a network share) or begins with '/';
// every other path is relative. Null paths are taken as "". Paths of any length are handled.

// The part of `path` after its last '/' or '\' (the whole path when it has none); without its
// extension (from the last '.' of that part, when the '.' is not its first byte) when
// `keepExtension` is false.
OXA_API VString GetFileName(const char* path, bool keepExtension = true);

// The part of `path` before its last '/' or '\'; "" when the path holds no separator.
OXA_API VString GetDirectoryName(const char* path);

// The cleaned form of `path`: repeated separators, "." parts and "name/.." pairs removed (".."
// above the root of an absolute path is dropped; leading ".." of a relative path are kept). The
// separators kept are the ones the path used. An empty relative result is ".".
OXA_API VString CleanPath(const char* path);

// An absolute `path` is only cleaned; a relative one is appended to `baseDir` (with a '/' unless
// `baseDir` is empty or ends in '/' or '\') and the result cleaned.
OXA_API VString GetFullPath(const char* baseDir, const char* path);

// `path` with the extension of its file name replaced by `ext` (the caller gives the dot; null
// removes the extension). A file name without extension gets `ext` appended.
OXA_API VString ChangeFileExtension(const char* path, const char* ext);

// False when `path` is absolute as described above; true otherwise (also for "").
OXA_API bool IsRelativePath(const char* path);

// `path` made relative to the current directory ("../" parts where needed, '/' separators).
// A relative path is only cleaned; an absolute path on another drive or share, or one that
// cannot be related to the current directory, is answered cleaned but absolute.
OXA_API VString GetRelativeFilePath(const char* path);

// False for a null or empty path and for a directory; true when the file opens for reading in
// binary mode (it is closed again at once). '\' separates path parts here too.
OXA_API bool FileExists(const char* path);

// Creates every missing directory of the directory part of `path` (everything before its last
// separator: "a/b/c.txt" and "a/b/" both make a/b). True when they exist already or were
// created, false as soon as one creation fails (directories made up to then are kept).
OXA_API bool CreateDirectoryPath(const char* path);

#endif  // OXA_BASE_VPATH_H
