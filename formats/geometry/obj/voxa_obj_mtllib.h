// How OBJ files name their MTL material libraries, read one way by everything that needs to know:
// the OBJ reader, which loads the libraries, and tools that must know which files a read of an
// OBJ file opens (a converter that must not write over them, say).
#ifndef OXA_FORMATS_GEOMETRY_OBJ_VOXA_OBJ_MTLLIB_H
#define OXA_FORMATS_GEOMETRY_OBJ_VOXA_OBJ_MTLLIB_H

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/formats/geometry/obj/voxa_obj_line.h>
#include <oxa/formats/geometry/obj/voxa_obj_text.h>

class VOxaMaterial;
class VOxaObject;
class VOxaTexture;

namespace voxa_obj {

// Keywords are compared on at most this many characters.
constexpr size_t kKeywordLength = 20;

// The next logical line of an OBJ or MTL file: blank lines are skipped; a line is cut into its
// keyword (the first word, at most kKeywordLength characters) and the rest, trimmed; a rest that
// ends in a backslash goes on on the next line (the backslash becomes a blank). A joined line is
// kept in the two buffers, so the views stay valid until they change. False at the end.
OXA_API bool NextKeywordLine(VLineSource& source, std::string& keywordBuffer, std::string& lineBuffer,
                             std::string_view& keyword, std::string_view& rest);

// How the text starts: a UTF-8 byte-order mark is skipped (true); UTF-16 text is not read (false).
OXA_API bool SkipByteOrderMark(VLineSource& source);

// The file a library named `name` in the OBJ file `objPath` is read from: the name taken from the
// OBJ file's folder when a regular file is there, else the name as it stands (from the working
// directory).
OXA_API std::string LibraryPath(const std::string& objPath, std::string_view name);

// Whether a library named `name` in the OBJ file `objPath` is a regular file.
OXA_API bool LibraryExists(const std::string& objPath, std::string_view name);

// Calls `use` for each library name of the rest of an "mtllib" line of the OBJ file `objPath`.
// The names are the words of the line, split at blanks; but when the whole rest holds a blank
// and names an existing file ("my lib.mtl"), it is that one name.
template <class Use>
void ForEachLibraryName(const std::string& objPath, std::string_view rest, Use use) {
    const char* p = rest.data();
    const char* end = p + rest.size();
    if (std::find_if(p, end, [](char c) { return IsSpace(c); }) != end && LibraryExists(objPath, rest)) {
        use(rest);
        return;
    }
    std::string_view word;
    while ((p = NextWord(p, end, word)) != nullptr)
        use(word);
}

// An image map line of an MTL file ("map_Kd -s 2 2 1 -o 0.5 0.5 0 wood grain.png"): the options
// before the file, then the file name, which is the rest of the line and may hold blanks.
struct OXA_API MapLine {
    std::string mFile;
    // "-s" and "-o": their u and v go to the texture's scale and translation (their w is 1 and 0
    // when absent).
    bool mHasScale = false;
    bool mHasOffset = false;
    double mScale[3] = {1.0, 1.0, 1.0};
    double mOffset[3] = {0.0, 0.0, 0.0};
    // The other options as they stand, one blank apart ("-clamp on -bm 0.5"), and a "-s" or "-o"
    // whose w is not its default, which the texture cannot hold.
    std::string mOptions;
};

// Reads the rest of a map line. An option is a known name ("-blendu", "-blendv", "-cc", "-clamp",
// "-texres", "-bm", "-boost", "-imfchan", "-type" with one value, "-mm" with two, "-o", "-s", "-t"
// with one to three numbers); an option never takes the line's last word, which is always part of
// the file. The file starts at the first word that is not an option. False when no file is left.
OXA_API bool ParseMapLine(std::string_view rest, MapLine& out);

// The options of a map line that the texture holds in no other field (MapLine::mOptions), kept in
// the texture's string property "OBJ Map Options" so that the line is written back with them.
// Setting "" on a texture without the property adds nothing.
OXA_API void SetMapOptions(VOxaTexture* texture, const char* options);
OXA_API std::string GetMapOptions(const VOxaTexture* texture);

// The MTL statements that the scene's material holds in no field of its own (the refraction index
// "Ni", the illumination model "illum", the filter colour "Tf", the physically based values "Pr",
// "Pm" and their maps, and the others of the format), in the order a material record writes them.
// The reader keeps each one's rest of line in the material's string property "OBJ <keyword>"
// ("OBJ Ni" holds "1.45"), so that the OBJ writer puts the line back as it stood; an "illum" that
// the file did not state is kept empty, and no line is written for it.
OXA_API extern const char* const kKeptStatements[];
OXA_API extern const size_t kKeptStatementCount;
// The index of a kept statement's keyword in kKeptStatements, -1 for any other keyword.
OXA_API int KeptStatementIndex(std::string_view keyword);
// Sets (made when missing) and reads the kept rest of the statement `keyword` of a material;
// false when the material has none.
OXA_API void SetKeptStatement(VOxaObject* material, const char* keyword, std::string_view rest);
OXA_API bool GetKeptStatement(const VOxaObject* material, const char* keyword, std::string& rest);
// Keeps a "Tr" statement read beside a "d" of the same material as it stood, with the opacity the
// material took from that "d" (string property "OBJ Tr Beside"), so that a writer can tell whether
// the opacity changed since.
OXA_API void KeepTransparency(VOxaObject* material, std::string_view rest, double opacity);
// Whether a kept "Tr" statement is written back as it stood: the material's opacity is still the
// one it was read beside (a "Tr" that disagreed with its "d" in the source too), or the statement
// says that opacity under either reading (its complement, or the opacity itself as older programs
// take it).
OXA_API bool KeptTransparencyHolds(const VOxaObject* material, std::string_view rest, double opacity);
// Makes a material state its diffuse colour alone, as a source that gives nothing else (a DXF
// colour, a material made for meshes without one): no ambient colour, no highlight, no
// illumination model, so that an MTL record of it holds none of them.
OXA_API void StateColourAlone(VOxaMaterial* material);

// Whether the option text `options` (as MapLine keeps it) holds the option `name` ("-s").
OXA_API bool HasMapOption(std::string_view options, std::string_view name);
// Takes the first one-value option `name` ("-clamp on") out of the option text: its value goes to
// `value`. False (text unchanged) when the text holds no such option with a value.
OXA_API bool TakeMapOption(std::string& options, std::string_view name, std::string& value);

// The files of the libraries that reading the OBJ file `objPath` opens, each once, in the order
// the file names them. Empty when the file cannot be read.
OXA_API std::vector<std::string> MaterialLibraryFiles(const std::string& objPath);

}  // namespace voxa_obj

#endif  // OXA_FORMATS_GEOMETRY_OBJ_VOXA_OBJ_MTLLIB_H
