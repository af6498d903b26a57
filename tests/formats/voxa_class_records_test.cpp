// Every class record of the library is in the list that the runtime start and the manager's Create
// register, so that no class depends on a static initialiser that an archive link may drop.
#include <gtest/gtest.h>

#include <dirent.h>

#include <cctype>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "objects/vclass_info.h"
#include "objects/vplug.h"
#include "oxa_codec/voxa_builtins_internal.h"

namespace {

const std::string kSourceDir = OXA_EXAMPLES_DIR "/..";

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The names of the classes whose records the library's sources below `dir` define.
void CollectRecords(const std::string& dir, std::set<std::string>& names) {
    DIR* handle = opendir(dir.c_str());
    if (!handle) return;
    while (dirent* entry = readdir(handle)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        const std::string path = dir + "/" + name;
        if (entry->d_type == DT_DIR) {
            CollectRecords(path, names);
        } else if (name.size() > 4 && name.compare(name.size() - 4, 4, ".cpp") == 0 &&
                   name != "voxa_class_records.cpp") {
            const std::string text = ReadText(path);
            for (const char* mark : {"VOBJECT_IMPLEMENT_CLASS(", "RegisterClassId(&"}) {
                const size_t length = std::strlen(mark);
                for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + 1)) {
                    size_t end = at + length;
                    while (end < text.size() && (std::isalnum((unsigned char)text[end]) || text[end] == '_'))
                        ++end;
                    names.insert(text.substr(at + length, end - at - length));
                }
            }
        }
    }
    closedir(handle);
}

TEST(VOxaClassRecords, EveryRecordOfTheSourcesIsListedAndRegistered) {
    std::set<std::string> names;
    for (const char* floor :
         {"base", "objects", "oxa_codec", "animation", "scene", "attributes", "character", "formats"})
        CollectRecords(kSourceDir + "/" + floor, names);
    names.erase("");  // the macro's own definition
    ASSERT_GT(names.size(), 30u);
    const std::string list = ReadText(kSourceDir + "/formats/voxa_class_records.cpp");
    for (const std::string& name : names)
        EXPECT_NE(list.find("&" + name + "::ClassInfo,"), std::string::npos) << name << " is not listed";
    EXPECT_EQ(VOxaRegisterClassRecords(), (int)names.size());
    // Registering again changes no id.
    const int plugId = VPlug::ClassInfo.GetId();
    VOxaRegisterClassRecords();
    EXPECT_EQ(VPlug::ClassInfo.GetId(), plugId);
    EXPECT_EQ(FindClassInfo(plugId), &VPlug::ClassInfo);
}

}  // namespace
