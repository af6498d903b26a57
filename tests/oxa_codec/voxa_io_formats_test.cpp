// The codec's format registry: rows are appended in the order they come, looked up by extension.
#include <gtest/gtest.h>

#include "oxa_codec/voxa_io_formats.h"
#include "oxa_codec/voxa_reader.h"
#include "oxa_codec/voxa_writer.h"

namespace {

class NullReader : public VOxaReader {
public:
    explicit NullReader(VOxaSdkManager* manager) : VOxaReader(manager) {}
    bool Read(VOxaScene*, VStreamOptions*) override { return false; }
};

class NullWriter : public VOxaWriter {
public:
    explicit NullWriter(VOxaSdkManager* manager) : VOxaWriter(manager) {}
    bool Write(VOxaScene*, VStreamOptions*) override { return false; }
};

VOxaReader* MakeReader(VOxaSdkManager* manager) {
    return new NullReader(manager);
}
VOxaReader* MakeOtherReader(VOxaSdkManager* manager) {
    return new NullReader(manager);
}
VOxaWriter* MakeWriter(VOxaSdkManager* manager) {
    return new NullWriter(manager);
}

TEST(VOxaFormatRegistry, IncompleteRowsAreRefused) {
    const int readers = VOxaGetReaderFormatCount();
    const int writers = VOxaGetWriterFormatCount();
    EXPECT_FALSE(VOxaRegisterReaderFormat({nullptr, "Test (*.tst)", &MakeReader}));
    EXPECT_FALSE(VOxaRegisterReaderFormat({"", "Test (*.tst)", &MakeReader}));
    EXPECT_FALSE(VOxaRegisterReaderFormat({"tst", nullptr, &MakeReader}));
    EXPECT_FALSE(VOxaRegisterReaderFormat({"tst", "Test (*.tst)", nullptr}));
    EXPECT_FALSE(VOxaRegisterWriterFormat({nullptr, "Test (*.tst)", &MakeWriter}));
    EXPECT_FALSE(VOxaRegisterWriterFormat({"", "Test (*.tst)", &MakeWriter}));
    EXPECT_FALSE(VOxaRegisterWriterFormat({"tst", nullptr, &MakeWriter}));
    EXPECT_FALSE(VOxaRegisterWriterFormat({"tst", "Test (*.tst)", nullptr}));
    EXPECT_EQ(VOxaGetReaderFormatCount(), readers);
    EXPECT_EQ(VOxaGetWriterFormatCount(), writers);
    EXPECT_EQ(VOxaFindReaderFormat("tst"), -1);
}

TEST(VOxaFormatRegistry, RowsAreAppendedAndTheFirstOfAnExtensionIsFound) {
    const int readers = VOxaGetReaderFormatCount();
    const int writers = VOxaGetWriterFormatCount();
    ASSERT_TRUE(VOxaRegisterReaderFormat({"Reg", "Registered (*.reg)", &MakeReader}));
    ASSERT_TRUE(VOxaRegisterReaderFormat({"reg", "Registered again (*.reg)", &MakeOtherReader}));
    ASSERT_TRUE(VOxaRegisterWriterFormat({"reg", "Registered (*.reg)", &MakeWriter}));
    ASSERT_EQ(VOxaGetReaderFormatCount(), readers + 2);
    ASSERT_EQ(VOxaGetWriterFormatCount(), writers + 1);

    // The new rows stand at the end, as they were given.
    const VOxaReaderFormat* row = VOxaGetReaderFormat(readers);
    ASSERT_NE(row, nullptr);
    EXPECT_STREQ(row->mExtension, "Reg");
    EXPECT_STREQ(row->mDescription, "Registered (*.reg)");
    EXPECT_EQ(row->mCreate, &MakeReader);
    EXPECT_EQ(VOxaGetReaderFormat(readers + 1)->mCreate, &MakeOtherReader);
    EXPECT_EQ(VOxaGetReaderFormat(readers + 2), nullptr);
    EXPECT_EQ(VOxaGetWriterFormat(writers)->mCreate, &MakeWriter);
    EXPECT_EQ(VOxaGetWriterFormat(writers + 1), nullptr);
    // A hidden file's name is all extension.
    EXPECT_STREQ(VOxaGetFileExtension("dir.v2/.reg"), "reg");
    EXPECT_STREQ(VOxaGetFileExtension("dir.v2\\x.reg"), "reg");
    // A dot of the folder's name is no extension of the file's.
    EXPECT_STREQ(VOxaGetFileExtension("dir./name"), "");

    // Found in any case, with or without the dot; the first row of an extension wins.
    EXPECT_EQ(VOxaFindReaderFormat("reg"), readers);
    EXPECT_EQ(VOxaFindReaderFormat(".REG"), readers);
    EXPECT_EQ(VOxaFindReaderFormat("re"), -1);
    EXPECT_EQ(VOxaFindReaderFormat("regx"), -1);
    EXPECT_EQ(VOxaFindReaderFormat(""), -1);
    EXPECT_EQ(VOxaFindWriterFormat(nullptr), -1);
    EXPECT_EQ(VOxaFindWriterFormat("Reg"), writers);
    // Case folding covers the whole alphabet, ends included.
    ASSERT_TRUE(VOxaRegisterWriterFormat({"az", "Alphabet ends (*.az)", &MakeWriter}));
    EXPECT_EQ(VOxaFindWriterFormat("AZ"), writers + 1);
    EXPECT_EQ(VOxaFindWriterFormat(".aZ"), writers + 1);
    ASSERT_TRUE(VOxaRegisterReaderFormat({"ZA", "Alphabet ends (*.za)", &MakeReader}));
    EXPECT_EQ(VOxaFindReaderFormat("za"), readers + 2);

    // The factory of a found row makes the reader.
    VOxaReader* reader = VOxaGetReaderFormat(VOxaFindReaderFormat("reg"))->mCreate(nullptr);
    EXPECT_NE(reader, nullptr);
    delete reader;
}

}  // namespace
