#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cctype>
#include <filesystem>
#include <memory>
#include <string>

#include "oxa_codec/voxa_exporter.h"
#include "oxa_codec/voxa_importer.h"
#include "oxa_codec/voxa_io_formats.h"
#include "oxa_codec/voxa_reader.h"
#include "oxa_codec/voxa_writer.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "tests/support/test_files.h"

namespace {

class BareReader : public VOxaReader {
public:
    BareReader() : VOxaReader(nullptr) {}
    bool Read(VOxaScene*, VStreamOptions*) override { return false; }
};

class BareWriter : public VOxaWriter {
public:
    BareWriter() : VOxaWriter(nullptr) {}
    bool Write(VOxaScene*, VStreamOptions*) override { return false; }
};

TEST(VOxaReaderWriter, MessagesById) {
    static const char* const kReader[] = {"File is corrupted",
                                          "File version is not supported yet",
                                          "File version is not supported anymore",
                                          "File not opened",
                                          "File not created",
                                          "Wrong password",
                                          "Stream options not set",
                                          "Unidentified error"};
    BareReader reader;
    EXPECT_EQ(reader.GetError().GetLastErrorID(), -1);
    EXPECT_TRUE(reader.GetMessageText().IsEmpty());
    for (int id = 0; id < 8; ++id) {
        reader.GetError().SetLastErrorID(id);
        EXPECT_STREQ(reader.GetError().GetLastErrorString().Buffer(), kReader[id]) << id;
    }

    static const char* const kWriter[] = {"File is corrupted",      "File not opened",
                                          "File not created",       "Out of disk space",
                                          "Stream options not set", "Unidentified error"};
    BareWriter writer;
    EXPECT_EQ(writer.GetError().GetLastErrorID(), -1);
    EXPECT_TRUE(writer.GetMessageText().IsEmpty());
    for (int id = 0; id < 6; ++id) {
        writer.GetError().SetLastErrorID(id);
        EXPECT_STREQ(writer.GetError().GetLastErrorString().Buffer(), kWriter[id]) << id;
    }
    writer.GetError().SetLastError(VOxaWriter::eFILE_NOT_OPENED, "Cannot open file \"x\" for writing.");
    EXPECT_STREQ(writer.GetError().GetLastErrorString().Buffer(), "Cannot open file \"x\" for writing.");
}

TEST(VOxaReaderWriter, BaseOperationsReportNoFile) {
    BareReader reader;
    EXPECT_FALSE(reader.FileOpen("x.obj"));
    EXPECT_EQ(reader.GetError().GetLastErrorID(), VOxaReader::eFILE_NOT_OPENED);
    EXPECT_FALSE(reader.IsFileOpen());
    EXPECT_EQ(reader.GetReadOptions(), nullptr);

    BareWriter writer;
    EXPECT_FALSE(writer.FileCreate("x.obj"));
    EXPECT_EQ(writer.GetError().GetLastErrorID(), VOxaWriter::eFILE_NOT_CREATED);
    EXPECT_FALSE(writer.FileClose());
    EXPECT_EQ(writer.GetError().GetLastErrorID(), VOxaWriter::eFILE_NOT_OPENED);
    EXPECT_EQ(writer.GetWriteOptions(), nullptr);
}

TEST(VOxaIOFormats, ExtensionsAndTables) {
    EXPECT_STREQ(VOxaGetFileExtension("scene.OBJ"), "OBJ");
    EXPECT_STREQ(VOxaGetFileExtension("a.tar.gz"), "gz");
    EXPECT_STREQ(VOxaGetFileExtension("dir.v2/file"), "");
    EXPECT_STREQ(VOxaGetFileExtension("dir.v2\\file"), "");
    EXPECT_STREQ(VOxaGetFileExtension("file."), "");
    EXPECT_STREQ(VOxaGetFileExtension(nullptr), "");
    EXPECT_EQ(VOxaFindReaderFormat(nullptr), -1);
    EXPECT_EQ(VOxaFindReaderFormat(""), -1);
    EXPECT_EQ(VOxaGetReaderFormat(-1), nullptr);
    EXPECT_EQ(VOxaGetReaderFormat(VOxaGetReaderFormatCount()), nullptr);
    EXPECT_EQ(VOxaGetWriterFormat(VOxaGetWriterFormatCount()), nullptr);

    // Every row is found by its extension in any case, with or without the dot.
    for (int k = 0; k < VOxaGetReaderFormatCount(); ++k) {
        std::string upper = std::string(".") + VOxaGetReaderFormat(k)->mExtension;
        for (char& c : upper)
            c = (char)std::toupper((unsigned char)c);
        int found = VOxaFindReaderFormat(upper.c_str());
        ASSERT_GE(found, 0) << upper;
        EXPECT_LE(found, k);
        EXPECT_NE(VOxaGetReaderFormat(k)->mCreate, nullptr);
    }
    for (int k = 0; k < VOxaGetWriterFormatCount(); ++k) {
        EXPECT_LE(VOxaFindWriterFormat(VOxaGetWriterFormat(k)->mExtension), k);
        EXPECT_NE(VOxaGetWriterFormat(k)->mCreate, nullptr);
    }
}

TEST(VOxaImporterExporter, UnknownFormatsFailCleanly) {
    VOxaImporter importer(nullptr);
    EXPECT_FALSE(importer.Initialize("scene.nosuchformat"));
    EXPECT_EQ(importer.GetError().GetLastErrorID(), VOxaReader::eFILE_NOT_OPENED);
    EXPECT_STREQ(importer.GetError().GetLastErrorString().Buffer(), "File format not supported");
    EXPECT_EQ(importer.GetFileFormat(), -1);
    EXPECT_EQ(importer.GetReadOptions(), nullptr);
    EXPECT_FALSE(importer.Import(nullptr));

    VOxaExporter exporter(nullptr);
    EXPECT_FALSE(exporter.Initialize(""));
    EXPECT_TRUE(exporter.Initialize("out.nosuchformat"));
    EXPECT_FALSE(exporter.SetFileFormat(-1));
    EXPECT_FALSE(exporter.SetFileFormat(VOxaGetWriterFormatCount()));
    EXPECT_EQ(exporter.GetFileFormat(), -1);
    EXPECT_EQ(exporter.GetWriteOptions(), nullptr);
    EXPECT_FALSE(exporter.Export(nullptr));
    EXPECT_EQ(exporter.GetError().GetLastErrorID(), VOxaWriter::eUNIDENTIFIED_ERROR);
}

// The importer stops at the first failure and keeps its text: a directory or an empty file is
// refused before a reader sees it, a reader that cannot make its options is not asked to read
// without them, and a reader that fails without a text still leaves a reason.
TEST(VOxaImporterExporter, TheFirstFailureIsTheOneReported) {
    oxa_test::ScratchDir dir("importer_", "first");
    std::unique_ptr<VOxaSdkManager> manager(VOxaSdkManager::Create());
    VOxaScene* scene = manager->CreateScene();
    VOxaImporter importer(manager.get());

    const std::string folder = dir / "folder.bvh";
    mkdir(folder.c_str(), 0700);
    EXPECT_FALSE(importer.Initialize(folder.c_str()));
    EXPECT_STREQ(importer.GetError().GetLastErrorString().Buffer(), "File is a directory");
    EXPECT_EQ(importer.GetError().GetLastErrorID(), VOxaReader::eFILE_NOT_OPENED);
    EXPECT_EQ(importer.GetFileFormat(), -1);

    const std::string empty = dir / "empty.obj";
    oxa_test::WriteFile(empty, "");
    EXPECT_FALSE(importer.Initialize(empty.c_str()));
    EXPECT_STREQ(importer.GetError().GetLastErrorString().Buffer(), "File is empty");
    EXPECT_EQ(importer.GetError().GetLastErrorID(), VOxaReader::eFILE_CORRUPTED);

    // A header cut short: the options fail with the reader's own text, and so does a read that
    // was given none.
    const std::string cut = dir / "cut.bvh";
    oxa_test::WriteFile(cut, "HIERARCHY\nROOT Hips\n{\n  OFFSET 0 0 0\n");
    ASSERT_TRUE(importer.Initialize(cut.c_str()));
    EXPECT_EQ(importer.GetReadOptions(), nullptr);
    const std::string first = importer.GetError().GetLastErrorString().Buffer();
    EXPECT_EQ(first.rfind("File is corrupted", 0), 0u) << first;
    EXPECT_FALSE(importer.Import(scene, nullptr));
    EXPECT_EQ(first, importer.GetError().GetLastErrorString().Buffer());
    EXPECT_EQ(importer.GetFileFormat(), -1);  // the file was closed

    // A read that fails after its options were made: the reader's text.
    const std::string points = dir / "points.obj";
    oxa_test::WriteFile(points, "v 0 0 0\nv 1 0");
    ASSERT_TRUE(importer.Initialize(points.c_str()));
    std::unique_ptr<VStreamOptions> options(importer.GetReadOptions());
    ASSERT_NE(options, nullptr);
    EXPECT_FALSE(importer.Import(scene, options.get()));
    EXPECT_STREQ(importer.GetError().GetLastErrorString().Buffer(),
                 "File is corrupted: line 2: a vertex (v) needs three numbers");

    // Options kept alive through the read hold what the file said.
    const std::string whole = dir / "whole.bvh";
    oxa_test::WriteFile(
        whole,
        "HIERARCHY\nROOT Hips\n{\n  OFFSET 0 0 0\n  CHANNELS 3 Xposition Yposition Zposition\n"
        "  End Site\n  {\n    OFFSET 0 1 0\n  }\n}\nMOTION\nFrames: 3\nFrame Time: 0.01\n"
        "0 0 0\n1 1 1\n2 2 2\n");
    ASSERT_TRUE(importer.Initialize(whole.c_str()));
    options.reset(importer.GetReadOptions());
    ASSERT_NE(options, nullptr);
    EXPECT_EQ(importer.GetError().GetLastErrorID(), -1);
    EXPECT_TRUE(importer.Import(scene, options.get()));
    auto* motion = static_cast<VStreamOptionsMotion*>(options.get());
    EXPECT_DOUBLE_EQ(motion->GetFrameRate(), 100.0);
    EXPECT_EQ(motion->GetFrameCount(), 3);
    EXPECT_NE(scene->GetRootNode()->FindChild("Hips", true), nullptr);
}

// A Write that fails changes no file: the target keeps its bytes, and no file is left beside it.
TEST(VOxaImporterExporter, AFailedExportKeepsTheTarget) {
    oxa_test::ScratchDir dir("exporter_", "failed");
    std::unique_ptr<VOxaSdkManager> manager(VOxaSdkManager::Create());
    VOxaScene* scene = manager->CreateScene();
    const std::string target = dir / "good.bvh";
    oxa_test::WriteFile(target, "old motion");
    VOxaExporter exporter(manager.get());
    ASSERT_TRUE(exporter.Initialize(target.c_str()));
    ASSERT_TRUE(exporter.SetFileFormat(VOxaFindWriterFormat("bvh")));
    EXPECT_FALSE(exporter.Export(scene));  // nothing to write: no root joint
    EXPECT_EQ(oxa_test::ReadFile(target), "old motion");
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path)) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 1u);
}

}  // namespace
