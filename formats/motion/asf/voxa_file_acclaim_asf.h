#ifndef OXA_FORMATS_MOTION_ASF_VOXA_FILE_ACCLAIM_ASF_H
#define OXA_FORMATS_MOTION_ASF_VOXA_FILE_ACCLAIM_ASF_H

#include <string>
#include <unordered_map>

#include <oxa/base/oxa_export.h>
#include <oxa/formats/motion/asf/vacclaim_text_file.h>

class AsfBone;
class VOxaAsfScene;

// The ASF skeleton file: units, a root, bone data and the hierarchy, read into and written from a
// VOxaAsfScene. Errors fail the read (the scene keeps the bones read so far; the caller destroys
// it); warnings are kept and reading goes on.
class OXA_API VOxaFileAcclaimAsf : public VAcclaimTextFile {
public:
    explicit VOxaFileAcclaimAsf(bool diagnostics = false);

    // Reads the whole file into `scene`; with `simplify` the bones without dofs are collapsed.
    bool Read(VOxaAsfScene* scene, bool simplify);
    // Writes `scene`; false when a write failed.
    bool Write(VOxaAsfScene* scene);

    // The rotation-order code of an ASF order word ("xyz" ... compared without regard to case),
    // -1 for another word.
    static int OrderCode(const char* token);
    // The dof code of a dof word ("tx" ... "rx"), -1 for another word.
    static int DofCode(const char* token);
    static const char* DofName(int code);

private:
    bool ReadVersion();
    void ReadName();
    void ReadUnitsLine();
    void ReadUnitsLines();
    void SkipSection();
    bool ReadRoot();
    bool ReadBoneData();
    bool ReadBoneLine(AsfBone* bone, unsigned& seen);
    bool FinishBone(AsfBone*& bone, unsigned seen);
    bool ReadHierarchy();
    bool ReadHierarchyLines(AsfBone* root);
    AsfBone* Lookup(const char* name) const;
    AsfBone* EnsureRoot();

    VOxaAsfScene* mScene = nullptr;
    // Bones by name, first in file order wins (the tree is still being built while reading).
    std::unordered_map<std::string, AsfBone*> mByName;
    int mBoneCount = 0;
};

#endif  // OXA_FORMATS_MOTION_ASF_VOXA_FILE_ACCLAIM_ASF_H
