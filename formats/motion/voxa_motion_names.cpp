#include "formats/motion/voxa_motion_names.h"

VString VOxaMadeUpNames::Claim(const char* wanted) {
    const std::string base(wanted ? wanted : "");
    std::string name = base;
    for (int n = 2; mTaken.count(name); ++n)
        name = base + "_" + std::to_string(n);
    mTaken.insert(name);
    return VString(name.c_str());
}
