// oxa-convert: reads a scene from one file format and writes it in another, or describes what a
// file holds. Everything goes through the toolkit's importer, exporter and stream options:
//
//     oxa-convert IN OUT [--take NAME] [--options FILE] [--frame-rate R] [--time-mode M]
//     oxa-convert --info [--json] IN
//     oxa-convert --formats
//
// Exit codes: 0 success, 1 a file could not be read or written, 2 a usage error.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "attributes/voxa_geometry_base.h"
#include "attributes/voxa_material.h"
#include "attributes/voxa_texture.h"
#include "attributes/voxa_video.h"
#include "base/varray.h"
#include "base/vconfig_file.h"
#include "base/vnumber_text.h"
#include "base/vprogress.h"
#include "base/vstring_list.h"
#include "base/vtime.h"
#include "character/voxa_constraint.h"
#include "oxa_codec/voxa_exporter.h"
#include "oxa_codec/voxa_importer.h"
#include "oxa_codec/voxa_io_formats.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_node_attribute.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_scene_contents.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_info.h"
#include "scene/voxa_take_node.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFile = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "usage: oxa-convert IN OUT [--take NAME] [--options FILE] [--frame-rate R] [--time-mode M]\n"
    "       oxa-convert --info [--json] IN\n"
    "       oxa-convert --formats\n";

struct Arguments {
    std::vector<std::string> files;
    bool info = false;
    bool json = false;
    bool formats = false;
    std::string take;
    std::string optionsFile;
    double frameRate = 0.0;
    int timeMode = -1;
};

int Usage(const char* message) {
    if (message) std::fprintf(stderr, "oxa-convert: %s\n", message);
    std::fputs(kUsage, stderr);
    return kExitUsage;
}

// ---- progress ----

VProgress gProgress;
bool gProgressShown = false;

bool PrintProgress(void*, const char* status, float percent) {
    std::fprintf(stderr, "\r%s %3d%%", status && *status ? status : "working", (int)(percent + 0.5f));
    std::fflush(stderr);
    gProgressShown = true;
    return true;
}

void OnProgress(void*, const char* text, float percent) {
    gProgress.Update(text, percent);
}

void EndProgress() {
    if (gProgressShown) std::fputc('\n', stderr);
    gProgressShown = false;
}

int QuietDialog(const char*, const char*, const char*, const char*, const char*, void*) {
    return 1;
}

// Warnings that readers and writers show as messages go to standard error, one line each.
int PrintMessage(const char* title, const char* text, const char*, const char*, const char*, void*) {
    EndProgress();
    std::fprintf(stderr, "oxa-convert: %s%s%s\n", title && *title ? title : "", title && *title ? ": " : "",
                 text ? text : "");
    return 1;
}

// ---- options ----

// Applies the settings file's section `section` and the command line's motion settings.
void ConfigureOptions(VStreamOptions* options, const Arguments& args, const char* section) {
    if (!options) return;
    options->SetDialogCallback(&QuietDialog);
    options->SetMessageCallback(&PrintMessage);
    if (isatty(2)) options->SetProgressCallback(&OnProgress);

    VConfigFile* config = args.optionsFile.empty() ? nullptr : new VConfigFile(args.optionsFile.c_str());
    auto readInt = [&](const char* key, int& value) {
        if (!config || !key || !*key) return false;
        VString text = config->ReadValue(section, key, "");
        if (text.IsEmpty()) return false;
        const char* begin = text.Buffer();
        return VParseInt(begin, begin + text.GetLen(), value) != nullptr;
    };
    if (options->IsA(VStreamOptionsMotion::ClassId)) {
        auto* motion = static_cast<VStreamOptionsMotion*>(options);
        for (int index = 0; index < 18; ++index) {
            int value = 0;
            if (readInt(VStreamOptionsMotion::GetOptionName(index), value)) motion->SetOption(index, value);
        }
        if (args.frameRate > 0.0)
            motion->SetTimeMode(0, args.frameRate);
        else if (args.timeMode >= 0)
            motion->SetTimeMode(args.timeMode);
    } else if (options->IsA(VStreamOptionsBase::ClassId)) {
        auto* base = static_cast<VStreamOptionsBase*>(options);
        for (int index = 1; index <= 17; ++index) {
            int value = 0;
            if (readInt(base->GetOptionName(index), value)) base->SetOptionValue(index, value);
        }
    }
    delete config;
}

// The motion writers write the frames their options name: the take's span, one frame per period
// of the options' time mode, unless the settings file named a frame count.
void SetFramesToWrite(VStreamOptions* options, VOxaScene* scene) {
    if (!options || !options->IsA(VStreamOptionsMotion::ClassId)) return;
    auto* motion = static_cast<VStreamOptionsMotion*>(options);
    if (motion->GetFrameCount() > 0) return;
    VTime start = VTime::kInfinite, stop = VTime::kMinusInfinite;
    const VOxaTakeInfo* info = scene->GetTakeInfo(scene->GetCurrentTakeName());
    if (info && info->mLocalTimeSpan.GetStop().Get() > info->mLocalTimeSpan.GetStart().Get()) {
        start = info->mLocalTimeSpan.GetStart();
        stop = info->mLocalTimeSpan.GetStop();
    } else if (VOxaNode* root = scene->GetRootNode()) {
        root->GetAnimationIntervalRecursive(start, stop);
    }
    const int64_t period = motion->GetFramePeriod().Get();
    if (period <= 0 || stop.Get() < start.Get() || start.Get() == VTime::kInfinite) return;
    const double frames = (double)(stop.Get() - start.Get()) / (double)period;
    if (!(frames < 1e9)) return;
    motion->SetStartTime(start);
    motion->SetFrameCount((int)(frames + 0.5) + 1);
}

// The motion writers write the marked nodes: the skeleton writers start from the first marked node
// on the single-child chain below the scene root, the marker writers take every marked node. A
// host marks what the user selected; readers mark nothing. So when no node is marked, every node
// that carries an attribute (other than an optical reference) is marked: reference nodes and plain
// groups stay out, and a skeleton's root joint becomes the motion root.
void MarkNodesToWrite(VOxaScene* scene) {
    VOxaNode* root = scene->GetRootNode();
    if (!root || root->IsMarked(true)) return;
    std::vector<VOxaNode*> stack{root};
    while (!stack.empty()) {
        VOxaNode* node = stack.back();
        stack.pop_back();
        const VOxaNodeAttribute* attribute = node->GetNodeAttribute();
        if (node != root && attribute &&
            attribute->GetAttributeType() != VOxaNodeAttribute::eOpticalReference)
            node->SetMarked(1);
        for (int k = node->GetChildCount() - 1; k >= 0; --k)
            if (VOxaNode* child = node->GetChild(k)) stack.push_back(child);
    }
}

// ---- reading ----

struct Session {
    VOxaSdkManager* manager = nullptr;
    VOxaScene* scene = nullptr;
    ~Session() { delete manager; }
};

bool ReadScene(const std::string& path, const Arguments& args, Session& session) {
    if (VOxaFindReaderFormat(VOxaGetFileExtension(path.c_str())) < 0) {
        std::fprintf(stderr, "oxa-convert: %s: no reader for the extension \"%s\" (see --formats)\n",
                     path.c_str(), VOxaGetFileExtension(path.c_str()));
        return false;
    }
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        std::fprintf(stderr, "oxa-convert: %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    session.manager = VOxaSdkManager::Create();
    session.scene = session.manager ? session.manager->CreateScene() : nullptr;
    VOxaImporter* importer = session.scene ? session.manager->CreateImporter() : nullptr;
    if (!importer) {
        std::fprintf(stderr, "oxa-convert: %s: out of memory\n", path.c_str());
        return false;
    }
    if (!importer->Initialize(path.c_str())) {
        std::fprintf(stderr, "oxa-convert: %s: %s\n", path.c_str(),
                     importer->GetError().GetLastErrorString().Buffer());
        return false;
    }
    VStreamOptions* options = importer->GetReadOptions();
    ConfigureOptions(options, args, "Import");
    const bool ok = importer->Import(session.scene, options);
    EndProgress();
    if (options) options->Destroy();
    if (!importer->GetMessageText().IsEmpty())
        std::fprintf(stderr, "oxa-convert: %s: %s\n", path.c_str(), importer->GetMessageText().Buffer());
    if (!ok) {
        std::fprintf(stderr, "oxa-convert: %s: %s\n", path.c_str(),
                     importer->GetError().GetLastErrorString().Buffer());
        return false;
    }
    return true;
}

// ---- writing ----

bool FileExists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

int Convert(const Arguments& args) {
    const std::string& in = args.files[0];
    const std::string& out = args.files[1];
    const int format = VOxaFindWriterFormat(VOxaGetFileExtension(out.c_str()));
    if (format < 0) {
        std::fprintf(stderr, "oxa-convert: %s: no writer for the extension \"%s\" (see --formats)\n",
                     out.c_str(), VOxaGetFileExtension(out.c_str()));
        return kExitUsage;
    }
    if (VOxaFindReaderFormat(VOxaGetFileExtension(in.c_str())) < 0) {
        std::fprintf(stderr, "oxa-convert: %s: no reader for the extension \"%s\" (see --formats)\n",
                     in.c_str(), VOxaGetFileExtension(in.c_str()));
        return kExitUsage;
    }
    Session session;
    if (!ReadScene(in, args, session)) return kExitFile;
    if (!args.take.empty()) {
        VStringList takes;
        session.scene->FillTakeNameArray(takes);
        if (takes.Find(args.take.c_str()) < 0) {
            std::fprintf(stderr, "oxa-convert: %s: no take named \"%s\"\n", in.c_str(), args.take.c_str());
            return kExitUsage;
        }
        // Objects without that take (materials a reader made, say) keep theirs; the nodes switch.
        session.scene->SetCurrentTake(args.take.c_str());
    }
    VOxaExporter* exporter = session.manager->CreateExporter();
    if (!exporter || !exporter->Initialize(out.c_str()) || !exporter->SetFileFormat(format)) {
        std::fprintf(stderr, "oxa-convert: %s: %s\n", out.c_str(),
                     exporter ? exporter->GetError().GetLastErrorString().Buffer() : "out of memory");
        return kExitFile;
    }
    const bool existed = FileExists(out);
    VStreamOptions* options = exporter->GetWriteOptions();
    ConfigureOptions(options, args, "Export");
    SetFramesToWrite(options, session.scene);
    MarkNodesToWrite(session.scene);
    const bool ok = exporter->Export(session.scene, options);
    EndProgress();
    if (options) options->Destroy();
    if (!exporter->GetMessageText().IsEmpty())
        std::fprintf(stderr, "oxa-convert: %s: %s\n", out.c_str(), exporter->GetMessageText().Buffer());
    if (!ok) {
        // Writers replace their target only when complete; a file a failed writer created anew goes.
        if (!existed) std::remove(out.c_str());
        std::fprintf(stderr, "oxa-convert: %s: %s\n", out.c_str(),
                     exporter->GetError().GetLastErrorString().Buffer());
        return kExitFile;
    }
    return kExitOk;
}

// ---- description ----

const char* AttributeTypeName(const VOxaNode* node) {
    const VOxaNodeAttribute* attribute = node->GetNodeAttribute();
    if (!attribute) return "none";
    static const char* const kNames[] = {
        "shape",           "null",  "marker",           "skeleton", "mesh", "nurb", "patch", "camera",
        "camera switcher", "light", "optical reference"};
    const int type = attribute->GetAttributeType();
    return type >= 0 && type < (int)(sizeof kNames / sizeof kNames[0]) ? kNames[type] : "unknown";
}

const char* RotationOrderName(const VOxaNode* node) {
    ERotationOrder order = eEULER_XYZ;
    node->GetRotationOrder(0, order);
    static const char* const kNames[] = {"XYZ", "XZY", "YZX", "YXZ", "ZXY", "ZYX", "spheric XYZ"};
    return order >= 0 && order <= 6 ? kNames[order] : "unknown";
}

struct Channel {
    std::string path;
    int keys;
};

struct Take {
    std::string name;
    std::vector<Channel> channels;
};

struct NodeEntry {
    const VOxaNode* node;
    int depth;
    std::vector<Take> takes;
};

// The animated curves of one curve-node tree, by their name paths.
void CollectChannels(const VFCurveNode* root, std::vector<Channel>& channels) {
    struct Item {
        const VFCurveNode* node;
        std::string path;
    };
    std::vector<Item> stack{{root, ""}};
    while (!stack.empty()) {
        Item item = stack.back();
        stack.pop_back();
        if (const VFCurve* curve = item.node->FCurveGet())
            if (curve->KeyGetCount() > 0 && !item.path.empty())
                channels.push_back({item.path, curve->KeyGetCount()});
        for (int k = item.node->GetCount() - 1; k >= 0; --k) {
            const VFCurveNode* child = item.node->Get(k);
            if (!child) continue;
            std::string path = item.path.empty() ? child->GetName() : item.path + "/" + child->GetName();
            stack.push_back({child, path});
        }
    }
}

std::vector<NodeEntry> CollectNodes(VOxaScene* scene) {
    std::vector<NodeEntry> nodes;
    std::vector<std::pair<const VOxaNode*, int>> stack;
    if (scene->GetRootNode()) stack.push_back({scene->GetRootNode(), 0});
    while (!stack.empty()) {
        auto [node, depth] = stack.back();
        stack.pop_back();
        NodeEntry entry{node, depth, {}};
        for (int t = 0; t < node->GetTakeNodeCount(); ++t) {
            const VOxaTakeNode* takeNode = node->GetTakeNode(t);
            if (!takeNode || !takeNode->GetVFCurveNode()) continue;
            Take take{takeNode->GetName(), {}};
            CollectChannels(takeNode->GetVFCurveNode(), take.channels);
            if (!take.channels.empty()) entry.takes.push_back(std::move(take));
        }
        nodes.push_back(std::move(entry));
        for (int k = node->GetChildCount() - 1; k >= 0; --k)
            if (const VOxaNode* child = node->GetChild(k)) stack.push_back({child, depth + 1});
    }
    return nodes;
}

std::string JsonString(const char* text) {
    std::string out = "\"";
    for (const unsigned char* p = (const unsigned char*)(text ? text : ""); *p; ++p) {
        if (*p == '"' || *p == '\\') {
            out += '\\';
            out += (char)*p;
        } else if (*p < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", *p);
            out += escape;
        } else {
            out += (char)*p;
        }
    }
    return out + "\"";
}

std::string Seconds(VTime time) {
    if (time.Get() == VTime::kInfinite || time.Get() == VTime::kMinusInfinite) return "null";
    char text[32];
    VFormatDoubleG(text, sizeof text, time.GetSecondDouble(), 6);
    return text;
}

int Describe(const Arguments& args) {
    Session session;
    if (!ReadScene(args.files[0], args, session)) return kExitFile;
    VOxaScene* scene = session.scene;
    VOxaSceneContents* contents = scene->GetContents();
    const std::vector<NodeEntry> nodes = CollectNodes(scene);

    VStringList takeNames;
    scene->FillTakeNameArray(takeNames);
    std::vector<std::pair<std::string, VTimeSpan>> takes;
    for (int k = 0; k < takeNames.GetCount(); ++k) {
        const char* name = takeNames[k];
        VTimeSpan span;
        if (const VOxaTakeInfo* info = scene->GetTakeInfo(name)) span = info->mLocalTimeSpan;
        takes.push_back({name, span});
    }
    std::vector<std::string> materials, textures, videos, constraints;
    // Materials and textures: those the contents list, then those the geometry uses (readers may
    // attach them to meshes only), each once.
    VArrayTemplate<VOxaMaterial*> materialArray;
    VArrayTemplate<VOxaTexture*> textureArray;
    scene->FillMaterialArray(materialArray);
    scene->FillTextureArray(textureArray);
    std::vector<const void*> seen;
    auto once = [&seen](const void* object) {
        if (!object || std::find(seen.begin(), seen.end(), object) != seen.end()) return false;
        seen.push_back(object);
        return true;
    };
    for (int k = 0; k < materialArray.GetCount(); ++k)
        if (once(materialArray[k])) materials.push_back(materialArray[k]->GetName());
    for (int k = 0; k < textureArray.GetCount(); ++k)
        if (once(textureArray[k])) textures.push_back(textureArray[k]->GetName());
    for (const NodeEntry& e : nodes) {
        const VOxaNodeAttribute* attribute = e.node->GetNodeAttribute();
        const int type = attribute ? attribute->GetAttributeType() : -1;
        if (type != VOxaNodeAttribute::eMesh && type != VOxaNodeAttribute::eNurb &&
            type != VOxaNodeAttribute::ePatch)
            continue;
        const auto* geometry = static_cast<const VOxaGeometryBase*>(attribute);
        for (int k = 0; k < geometry->GetMaterialCount(0); ++k)
            if (VOxaMaterial* m = geometry->GetMaterial(k, 0); once(m)) materials.push_back(m->GetName());
        for (int k = 0; k < geometry->GetTextureCount(0); ++k)
            if (VOxaTexture* t = geometry->GetTexture(k, 0); once(t)) textures.push_back(t->GetName());
    }
    if (contents)
        for (int k = 0; k < contents->GetVideoCount(); ++k)
            if (VOxaVideo* v = contents->GetVideo(k)) videos.push_back(v->GetName());
    for (int k = 0; k < scene->GetConstraintCount(); ++k)
        if (VOxaConstraint* c = scene->GetConstraint(k)) constraints.push_back(c->GetName());

    if (args.json) {
        std::printf("{\n  \"file\": %s,\n  \"nodes\": [", JsonString(args.files[0].c_str()).c_str());
        for (size_t n = 0; n < nodes.size(); ++n) {
            const NodeEntry& e = nodes[n];
            const VOxaNode* parent = e.node->GetParent();
            std::printf(
                "%s\n    {\"name\": %s, \"parent\": %s, \"depth\": %d, \"attribute\": %s, \"rotationOrder\": "
                "%s, "
                "\"takes\": [",
                n ? "," : "", JsonString(e.node->GetName()).c_str(),
                parent ? JsonString(parent->GetName()).c_str() : "null", e.depth,
                JsonString(AttributeTypeName(e.node)).c_str(), JsonString(RotationOrderName(e.node)).c_str());
            for (size_t t = 0; t < e.takes.size(); ++t) {
                std::printf("%s{\"take\": %s, \"channels\": [", t ? ", " : "",
                            JsonString(e.takes[t].name.c_str()).c_str());
                for (size_t c = 0; c < e.takes[t].channels.size(); ++c)
                    std::printf("%s{\"channel\": %s, \"keys\": %d}", c ? ", " : "",
                                JsonString(e.takes[t].channels[c].path.c_str()).c_str(),
                                e.takes[t].channels[c].keys);
                std::printf("]}");
            }
            std::printf("]}");
        }
        std::printf("\n  ],\n  \"takes\": [");
        for (size_t t = 0; t < takes.size(); ++t)
            std::printf("%s\n    {\"name\": %s, \"start\": %s, \"stop\": %s}", t ? "," : "",
                        JsonString(takes[t].first.c_str()).c_str(),
                        Seconds(takes[t].second.GetStart()).c_str(),
                        Seconds(takes[t].second.GetStop()).c_str());
        auto list = [](const char* key, const std::vector<std::string>& names, bool last) {
            std::printf("  %s: [", JsonString(key).c_str());
            for (size_t k = 0; k < names.size(); ++k)
                std::printf("%s%s", k ? ", " : "", JsonString(names[k].c_str()).c_str());
            std::printf("]%s\n", last ? "" : ",");
        };
        std::printf("\n  ],\n");
        list("materials", materials, false);
        list("textures", textures, false);
        list("videos", videos, false);
        list("constraints", constraints, true);
        std::printf("}\n");
        return kExitOk;
    }

    std::printf("%s\nnodes: %zu\n", args.files[0].c_str(), nodes.size());
    for (const NodeEntry& e : nodes) {
        std::printf("%*s%s [%s, %s]\n", 2 + 2 * e.depth, "", e.node->GetName(), AttributeTypeName(e.node),
                    RotationOrderName(e.node));
        for (const Take& take : e.takes)
            for (const Channel& channel : take.channels)
                std::printf("%*s%s: %s, %d keys\n", 4 + 2 * e.depth, "", take.name.c_str(),
                            channel.path.c_str(), channel.keys);
    }
    std::printf("takes: %zu\n", takes.size());
    for (const auto& take : takes)
        std::printf("  %s: %s s to %s s\n", take.first.c_str(), Seconds(take.second.GetStart()).c_str(),
                    Seconds(take.second.GetStop()).c_str());
    auto list = [](const char* title, const std::vector<std::string>& names) {
        std::printf("%s: %zu\n", title, names.size());
        for (const std::string& name : names)
            std::printf("  %s\n", name.c_str());
    };
    list("materials", materials);
    list("textures", textures);
    list("videos", videos);
    list("constraints", constraints);
    return kExitOk;
}

int ListFormats() {
    std::printf("read:\n");
    for (int k = 0; k < VOxaGetReaderFormatCount(); ++k)
        std::printf("  %-5s %s\n", VOxaGetReaderFormat(k)->mExtension, VOxaGetReaderFormat(k)->mDescription);
    std::printf("write:\n");
    for (int k = 0; k < VOxaGetWriterFormatCount(); ++k)
        std::printf("  %-5s %s\n", VOxaGetWriterFormat(k)->mExtension, VOxaGetWriterFormat(k)->mDescription);
    return kExitOk;
}

bool ParseArguments(int argc, char** argv, Arguments& args, std::string& error) {
    for (int k = 1; k < argc; ++k) {
        const std::string arg = argv[k];
        auto value = [&](std::string& out) {
            if (k + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            out = argv[++k];
            return true;
        };
        std::string text;
        if (arg == "--info") {
            args.info = true;
        } else if (arg == "--json") {
            args.json = true;
        } else if (arg == "--formats") {
            args.formats = true;
        } else if (arg == "--take") {
            if (!value(args.take)) return false;
        } else if (arg == "--options") {
            if (!value(args.optionsFile)) return false;
        } else if (arg == "--frame-rate") {
            if (!value(text)) return false;
            const char* end = text.c_str() + text.size();
            if (VParseDouble(text.c_str(), end, args.frameRate, false) != end || !(args.frameRate > 0.0)) {
                error = "--frame-rate needs a positive number";
                return false;
            }
        } else if (arg == "--time-mode") {
            if (!value(text)) return false;
            const char* end = text.c_str() + text.size();
            if (VParseInt(text.c_str(), end, args.timeMode) != end || args.timeMode < 0) {
                error = "--time-mode needs a time-mode number";
                return false;
            }
        } else if (arg == "-h" || arg == "--help") {
            return false;
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + arg;
            return false;
        } else {
            args.files.push_back(arg);
        }
    }
    if (args.formats) return args.files.empty() || (error = "--formats takes no file", false);
    if (args.info) return args.files.size() == 1 || (error = "--info takes one file", false);
    if (args.json) return (error = "--json goes with --info", false);
    if (args.files.size() != 2) return (error = "give an input and an output file", false);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Arguments args;
    std::string error;
    if (!ParseArguments(argc, argv, args, error)) return Usage(error.empty() ? nullptr : error.c_str());
    gProgress.SetCallback(&PrintProgress, nullptr);
    if (args.formats) return ListFormats();
    if (args.info) {
        if (VOxaFindReaderFormat(VOxaGetFileExtension(args.files[0].c_str())) < 0) {
            std::fprintf(stderr, "oxa-convert: %s: no reader for the extension \"%s\" (see --formats)\n",
                         args.files[0].c_str(), VOxaGetFileExtension(args.files[0].c_str()));
            return kExitUsage;
        }
        return Describe(args);
    }
    return Convert(args);
}
