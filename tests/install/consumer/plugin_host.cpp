// Loads the plug-in at run time, as a host program loads its plug-ins, and has it convert a file:
//     plugin_host PLUGIN.so IN OUT
// prints the number of nodes the plug-in read. The host is linked -rdynamic, so the functions it
// defines are seen by what it loads; one of them has the name and parameters of a toolkit function
// and knows no format. The plug-in must keep calling its own copy of the toolkit.
#include <dlfcn.h>

#include <cstdio>
#include <cstring>

// A class of the host's own with the name of one of the toolkit's, and a function of the same name
// as one of its inline ones: a plug-in that exported or looked up its copies would call these.
class VString {
public:
    const char* Buffer() const;
};
const char* VString::Buffer() const { return "Host"; }
double VgeDot3(const double*, const double*) { return -1; }

// The host's own table of the formats it writes: none.
int VOxaFindWriterFormat(const char* extension) {
    return extension && std::strcmp(extension, "host") == 0 ? 0 : -1;
}

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: plugin_host PLUGIN.so IN OUT\n");
        return 2;
    }
    if (VOxaFindWriterFormat("obj") != -1 || VString().Buffer()[0] != 'H') return 1;
    void* plugin = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!plugin) {
        std::fprintf(stderr, "plugin_host: %s\n", dlerror());
        return 1;
    }
    using Convert = int (*)(const char*, const char*);
    const auto convert = reinterpret_cast<Convert>(dlsym(plugin, "oxa_plugin_convert"));
    if (!convert) {
        std::fprintf(stderr, "plugin_host: %s\n", dlerror());
        return 1;
    }
    const int nodes = convert(argv[2], argv[3]);
    if (nodes < 0) {
        std::fprintf(stderr, "plugin_host: the plug-in could not convert %s to %s\n", argv[2], argv[3]);
        return 1;
    }
    std::printf("%s: %d nodes\n", argv[2], nodes);
    dlclose(plugin);
    return 0;
}
