// The formats fill the codec's reader and writer tables at start-up; their order is the
// exporter's format index, so it is part of the interface.
#include <gtest/gtest.h>

#include <string>

#include "oxa_codec/voxa_importer.h"
#include "oxa_codec/voxa_io_formats.h"
#include "oxa_codec/voxa_reader.h"
#include "oxa_codec/voxa_writer.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_scene_contents.h"
#include "scene/voxa_sdk_manager.h"

namespace {

const char* const kExtensions[] = {"obj", "dxf", "bvh", "brd", "mov", "vpm", "aoa",
                                   "mcd", "trc", "htr", "asf", "amc", "c3d", "3ds"};
const int kFormatCount = (int)(sizeof kExtensions / sizeof kExtensions[0]);

TEST(VOxaFormatTable, EveryFormatIsRegisteredOnceInIndexOrder) {
    ASSERT_EQ(VOxaGetReaderFormatCount(), kFormatCount);
    ASSERT_EQ(VOxaGetWriterFormatCount(), kFormatCount);
    VOxaSdkManager manager;
    for (int k = 0; k < kFormatCount; ++k) {
        const VOxaReaderFormat* reader = VOxaGetReaderFormat(k);
        const VOxaWriterFormat* writer = VOxaGetWriterFormat(k);
        EXPECT_STREQ(reader->mExtension, kExtensions[k]);
        EXPECT_STREQ(writer->mExtension, kExtensions[k]);
        EXPECT_EQ(VOxaFindReaderFormat(kExtensions[k]), k);
        EXPECT_EQ(VOxaFindWriterFormat(kExtensions[k]), k);
        // The description names the extension for file dialogs.
        EXPECT_NE(std::string(reader->mDescription).find(std::string("*.") + kExtensions[k]),
                  std::string::npos);
        EXPECT_STREQ(reader->mDescription, writer->mDescription);
        VOxaReader* made = reader->mCreate(&manager);
        EXPECT_NE(made, nullptr) << kExtensions[k];
        delete made;
        VOxaWriter* madeWriter = writer->mCreate(&manager);
        EXPECT_NE(madeWriter, nullptr) << kExtensions[k];
        delete madeWriter;
    }
}

TEST(VOxaFormatTable, ImporterReadsASampleThroughTheTable) {
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaImporter* importer = manager.CreateImporter();
    ASSERT_TRUE(importer->Initialize(OXA_EXAMPLES_DIR "/walk.bvh"))
        << importer->GetError().GetLastErrorString().Buffer();
    EXPECT_EQ(importer->GetFileFormat(), VOxaFindReaderFormat("bvh"));
    ASSERT_TRUE(importer->Import(scene));
    EXPECT_GT(scene->GetContents()->GetNodeCount(), 2);
}

}  // namespace
