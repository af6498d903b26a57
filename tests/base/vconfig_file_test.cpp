#include "base/vconfig_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/platform.h"

namespace {

// Each test gets its own settings folder, set from code.
class VConfigFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char templ[] = "/tmp/oxa_settings_XXXXXX";
        const char* dir = mkdtemp(templ);
        ASSERT_NE(dir, nullptr);
        mDir = dir;
        VPlatformSetSettingsDirectory(mDir.c_str());
    }
    void TearDown() override {
        VPlatformSetSettingsDirectory(nullptr);
        std::string cmd = "rm -rf '" + mDir + "'";
        std::system(cmd.c_str());
    }
    std::string MachineFile(const char* name) {
        return mDir + "/" + VPlatformGetComputerName().Buffer() + "." + name;
    }
    void Write(const std::string& path, const std::string& text) {
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    std::string Read(const std::string& path) {
        std::string text;
        FILE* f = std::fopen(path.c_str(), "rb");
        if (!f) return "<missing>";
        int c;
        while ((c = std::fgetc(f)) != EOF)
            text += (char)c;
        std::fclose(f);
        return text;
    }
    std::string mDir;
};

}  // namespace

TEST_F(VConfigFileTest, MachineNamesAndDefaults) {
    EXPECT_EQ(std::string(VConfigFile::ResolveName("@Application.txt").Buffer()),
              MachineFile("Application.txt"));
    EXPECT_EQ(VConfigFile::ResolveName("plain.txt"), "plain.txt");

    // No file: every key answers its default (or the invalid string without one).
    VConfigFile missing("@Application.txt");
    EXPECT_EQ(missing.ReadValue("MotionImportHTR", "MinimizeRotationOffset", "Yes"), "Yes");
    VString none = missing.ReadValue("MotionImportHTR", "MinimizeRotationOffset");
    EXPECT_FALSE(none.IsValid());

    Write(MachineFile("Application.txt"),
          "; comment\r\n[Other]\nMinimizeRotationOffset=Maybe\n[motionimporthtr]\r\n  MinimizeRotationOffset "
          "=  No  \r\n"
          "broken line\n=novalue\n[Unclosed\nKey=InUnclosed\n");
    for (bool cached : {true, false}) {
        VConfigFile file("@Application.txt", cached);
        EXPECT_EQ(file.ReadValue("MotionImportHTR", "MinimizeRotationOffset", "Yes"), "No");
        EXPECT_EQ(file.ReadValue("MOTIONIMPORTHTR", "MinimizeRotationOffset", "Yes"), "No");
        EXPECT_EQ(file.ReadValue("MotionImportHTR", "minimizerotationoffset", "Yes"),
                  "Yes");  // keys are exact
        EXPECT_EQ(file.ReadValue("Missing", "Key", "d"), "d");
        EXPECT_EQ(file.ReadValue(nullptr, "Key", "d"), "d");
    }

    // Binary junk reads as a file without keys.
    Write(MachineFile("Junk.txt"), std::string("\0\xff[\x01=\n\r\r=", 10));
    VConfigFile junk("@Junk.txt");
    EXPECT_EQ(junk.ReadValue("S", "K", "dflt"), "dflt");
}

TEST_F(VConfigFileTest, ChangesAreWrittenBack) {
    std::string path = MachineFile("Settings.txt");
    Write(path, "# keep me\n[A]\nx=1\n\n[B]\ny=2\n");
    {
        VConfigFile file("@Settings.txt");
        EXPECT_TRUE(file.WriteValue("a", "x", "10"));
        EXPECT_TRUE(file.WriteValue("A", "z", "3"));
        EXPECT_TRUE(file.WriteValue("C", "w", nullptr));
        EXPECT_FALSE(file.WriteValue("", "k", "v"));
        EXPECT_EQ(file.ReadValue("A", "x"), "10");
        EXPECT_EQ(Read(path), "# keep me\n[A]\nx=1\n\n[B]\ny=2\n");  // cached: not written yet
    }
    EXPECT_EQ(Read(path), "# keep me\n[A]\nx=10\nz=3\n\n[B]\ny=2\n[C]\nw=\n");
    EXPECT_EQ(Read(path + ".tmp"), "<missing>");

    // Uncached: written at once; a new file and its folder are created.
    VPlatformSetSettingsDirectory((mDir + "/deeper/still").c_str());
    VConfigFile fresh("@New.txt", false);
    EXPECT_TRUE(fresh.WriteValue("S", "k", "v"));
    VConfigFile reread("@New.txt");
    EXPECT_EQ(reread.ReadValue("s", "k"), "v");
}

TEST_F(VConfigFileTest, EnvironmentChoosesTheFolderWhenCodeDoesNot) {
    VPlatformSetSettingsDirectory(nullptr);
    const char* old = std::getenv("OXA_SETTINGS_DIR");
    std::string saved = old ? old : "";
    setenv("OXA_SETTINGS_DIR", (mDir + "/").c_str(), 1);
    EXPECT_EQ(std::string(VPlatformGetSettingsDirectory().Buffer()), mDir);
    Write(MachineFile("Env.txt"), "[S]\nk=env\n");
    VConfigFile file("@Env.txt");
    EXPECT_EQ(file.ReadValue("S", "k"), "env");
    VPlatformSetSettingsDirectory("/code/wins");
    EXPECT_EQ(VPlatformGetSettingsDirectory(), "/code/wins");
    if (old) {
        setenv("OXA_SETTINGS_DIR", saved.c_str(), 1);
    } else {
        unsetenv("OXA_SETTINGS_DIR");
    }
}
