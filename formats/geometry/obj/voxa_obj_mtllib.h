// How OBJ files name their MTL material libraries, read one way by everything that needs to know:
// the OBJ reader, which loads the libraries, and tools that must know which files a read of an
// OBJ file opens (a converter that must not write over them, say).
#ifndef OXA_FORMATS_GEOMETRY_OBJ_VOXA_OBJ_MTLLIB_H
#define OXA_FORMATS_GEOMETRY_OBJ_VOXA_OBJ_MTLLIB_H

#include <string>
#include <string_view>
#include <vector>

#include "formats/geometry/obj/voxa_obj_line.h"
#include "formats/geometry/obj/voxa_obj_text.h"

namespace voxa_obj {

// Keywords are compared on at most this many characters.
constexpr size_t kKeywordLength = 20;

// The next logical line of an OBJ or MTL file: blank lines are skipped; a line is cut into its
// keyword (the first word, at most kKeywordLength characters) and the rest, trimmed; a rest that
// ends in a backslash goes on on the next line (the backslash becomes a blank). A joined line is
// kept in the two buffers, so the views stay valid until they change. False at the end.
bool NextKeywordLine(VLineSource& source, std::string& keywordBuffer, std::string& lineBuffer,
                     std::string_view& keyword, std::string_view& rest);

// How the text starts: a UTF-8 byte-order mark is skipped (true); UTF-16 text is not read (false).
bool SkipByteOrderMark(VLineSource& source);

// Calls `use` for each library name of the rest of an "mtllib" line: the names are the words of
// the line, split at blanks.
template <class Use>
void ForEachLibraryName(std::string_view rest, Use use) {
    const char* p = rest.data();
    const char* end = p + rest.size();
    std::string_view word;
    while ((p = NextWord(p, end, word)) != nullptr)
        use(word);
}

// The file a library named `name` in the OBJ file `objPath` is read from: the name taken from the
// OBJ file's folder when a regular file is there, else the name as it stands (from the working
// directory).
std::string LibraryPath(const std::string& objPath, std::string_view name);

// The files of the libraries that reading the OBJ file `objPath` opens, each once, in the order
// the file names them. Empty when the file cannot be read.
std::vector<std::string> MaterialLibraryFiles(const std::string& objPath);

}  // namespace voxa_obj

#endif  // OXA_FORMATS_GEOMETRY_OBJ_VOXA_OBJ_MTLLIB_H
