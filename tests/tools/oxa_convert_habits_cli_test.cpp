// The command line's habits: how options and file names are taken, what is said about rates a
// target forces, the progress line on a terminal, and the settings-file lines that say nothing.
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/test_files.h"
#include "tests/tools/cli_run.h"

namespace {

namespace fs = std::filesystem;

using oxa_cli::Convert;
using oxa_cli::Count;
using oxa_cli::Exists;
using oxa_cli::Folder;
using oxa_cli::Result;
using oxa_cli::WriteText;

std::string Example(const char* name) {
    return std::string(OXA_EXAMPLES_DIR) + "/" + name;
}

// A BVH of a root and one joint, `frames` frames at `rate` frames per second.
std::string MakeBvh(const std::string& name, double rate, int frames) {
    std::ostringstream text;
    text << "HIERARCHY\nROOT Hips\n{\n  OFFSET 0 90 0\n"
         << "  CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n"
         << "  JOINT Head\n  {\n    OFFSET 0 40 0\n    CHANNELS 3 Zrotation Xrotation Yrotation\n"
         << "    End Site\n    {\n      OFFSET 0 15 0\n    }\n  }\n}\n"
         << "MOTION\nFrames: " << frames << "\nFrame Time: " << 1.0 / rate << "\n";
    for (int f = 0; f < frames; ++f)
        text << f * 0.1 << " 90 0 " << f % 90 << " 0 0 0 " << f % 45 << " 0\n";
    const std::string path = Folder() + name;
    WriteText(path, text.str());
    return path;
}

// One usage error: exit 2, the words `words` on standard error, nothing written to `out`.
void ExpectUsageError(const std::string& arguments, const std::string& words, const std::string& out = "") {
    Result r = Convert(arguments);
    EXPECT_EQ(r.code, 2) << arguments << ": " << r.err;
    EXPECT_NE(r.err.find(words), std::string::npos) << arguments << ": " << r.err;
    if (!out.empty()) EXPECT_FALSE(Exists(out)) << arguments;
}

TEST(cli_habits, RatesTheTargetForcesAreSaid) {
    const std::string fast = MakeBvh("fast120.bvh", 120, 481);
    Result r = Convert(fast + " " + Folder() + "fast120.3ds");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Count(r.err, "motion resampled from 120 to 30 fps: 3DS keys are whole frames at 30 fps"), 1)
        << r.err;
    // Motion already at 30 fps, or not written at all, is not resampled.
    r = Convert(MakeBvh("slow30.bvh", 30, 31) + " " + Folder() + "slow30.3ds");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err.find("resampled"), std::string::npos) << r.err;
    WriteText(Folder() + "noanim.txt", "[Export]\nAnim=0\n");
    r = Convert("--options " + Folder() + "noanim.txt " + fast + " " + Folder() + "noanim.3ds");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err.find("resampled"), std::string::npos) << r.err;

    // A rate asked of a writer without motion, or with a rate of its own, is refused.
    for (const char* out : {"rate.obj", "rate.dxf"}) {
        ExpectUsageError("--frame-rate 60 " + fast + " " + Folder() + out, "hold no motion", Folder() + out);
        ExpectUsageError("--time-mode 3 " + fast + " " + Folder() + out, "--time-mode has nothing to act on",
                         Folder() + out);
    }
    ExpectUsageError("--frame-rate 60 " + fast + " " + Folder() + "rate.3ds", "whole frames at 30 fps",
                     Folder() + "rate.3ds");
    ExpectUsageError("--time-mode 6 " + fast + " " + Folder() + "rate.3ds", "--time-mode cannot change",
                     Folder() + "rate.3ds");
    ExpectUsageError("--info --frame-rate 60 " + fast, "not with --info");
}

TEST(cli_habits, OptionsAndFileNamesAsGnuToolsTakeThem) {
    const std::string bvh = MakeBvh("habits.bvh", 30, 31);
    // "--" ends the options: a file named like an option is a file.
    fs::copy_file(bvh, Folder() + "-w.bvh", fs::copy_options::overwrite_existing);
    Result r = Convert("-- -w.bvh -o.htr", Folder());
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(Exists(Folder() + "-o.htr"));
    ExpectUsageError("-w.bvh " + Folder() + "x.htr", "unknown option -w.bvh");

    // --name=value for the options with a value.
    r = Convert("--frame-rate=60 --take=habits " + bvh + " " + Folder() + "eq.htr");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("resampled from 30 to 60"), std::string::npos) << r.err;
    ExpectUsageError("--time-mode=3 --take= " + bvh + " " + Folder() + "eq2.htr", "--take needs a take name",
                     Folder() + "eq2.htr");
    ExpectUsageError("--info=yes " + bvh, "--info takes no value");

    // -q keeps warnings quiet, not errors.
    const std::string named = Example("walk.bvh") + " " + Folder() + "quiet.3ds";
    r = Convert(named);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("is written as"), std::string::npos) << r.err;
    for (const char* quiet : {"-q ", "--quiet "}) {
        r = Convert(quiet + named);
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.err, "") << quiet;
    }
    r = Convert("-q " + Folder() + "missing.bvh " + Folder() + "missing.htr");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("missing.bvh"), std::string::npos) << r.err;

    // Repeated options, empty names and too many files.
    ExpectUsageError("--take habits --take Default " + bvh + " " + Folder() + "twice.htr",
                     "--take is given twice", Folder() + "twice.htr");
    ExpectUsageError("--options a.txt --options=b.txt " + bvh + " " + Folder() + "x.htr",
                     "--options is given twice", Folder() + "x.htr");
    ExpectUsageError("--options '' " + bvh + " " + Folder() + "x.htr", "--options needs a file name",
                     Folder() + "x.htr");
    ExpectUsageError("--skeleton '' " + bvh + " " + Folder() + "x.htr", "--skeleton needs a file name",
                     Folder() + "x.htr");
    ExpectUsageError("--texture-dir= " + bvh + " " + Folder() + "x.obj", "--texture-dir needs a folder name",
                     Folder() + "x.obj");
    ExpectUsageError("'' " + Folder() + "x.htr", "a file name is empty", Folder() + "x.htr");
    ExpectUsageError(bvh + " " + Folder() + "a.htr b.htr", "too many file names", Folder() + "a.htr");
    ExpectUsageError("--info " + bvh + " " + bvh, "too many file names");

    // A folder as IN or OUT is called a folder.
    fs::create_directories(Folder() + "dir");
    fs::create_directories(Folder() + "dir.htr");
    for (const std::string& arguments :
         {Folder() + "dir " + Folder() + "x.htr", bvh + " " + Folder() + "dir",
          bvh + " " + Folder() + "dir.htr", bvh + " " + Folder() + "new/", "--info " + Folder() + "dir"}) {
        r = Convert(arguments);
        EXPECT_EQ(r.code, 1) << arguments;
        EXPECT_NE(r.err.find(" is a folder"), std::string::npos) << arguments << ": " << r.err;
        EXPECT_EQ(r.err.find("extension"), std::string::npos) << arguments << ": " << r.err;
    }
}

TEST(cli_habits, RatesArePlainDecimalNumbersInRange) {
    const std::string bvh = MakeBvh("rates.bvh", 30, 31);
    const std::string out = Folder() + "rates.htr";
    for (const char* rate : {"1e12", "0x1e", "' 30'", "'30 '", "+30", "3e1", "30.0.0", "."})
        ExpectUsageError("--frame-rate " + std::string(rate) + " " + bvh + " " + out,
                         "a plain decimal number", out);
    for (const char* rate : {"0", "0.0", "1000000000000"})
        ExpectUsageError("--frame-rate " + std::string(rate) + " " + bvh + " " + out, "is out of range", out);
    for (const char* mode : {"0x3", "' 3'", "3.0"})
        ExpectUsageError("--time-mode " + std::string(mode) + " " + bvh + " " + out, "--time-mode needs",
                         out);
    Result r = Convert("--frame-rate 29.97 " + bvh + " " + out);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("from 30 to 29.97 frames per second"), std::string::npos) << r.err;
}

TEST(cli_habits, TakesAreNamedAndListed) {
    const std::string bvh = MakeBvh("takes.bvh", 30, 31);
    Result r = Convert("--info --take takes " + bvh);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("takes: 1\n  takes: "), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Default"), std::string::npos) << r.out;
    r = Convert("--info --json --take=Default " + bvh);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Count(r.out, "\"name\": \"Default\""), 1) << r.out;
    EXPECT_EQ(r.out.find("\"take\": \"takes\""), std::string::npos) << r.out;
    // A take the file does not hold: refused, with the takes it holds.
    for (const std::string& arguments :
         {"--info --take walk " + bvh, "--take walk " + bvh + " " + Folder() + "t.htr"}) {
        r = Convert(arguments);
        EXPECT_EQ(r.code, 2) << arguments;
        EXPECT_NE(r.err.find("no take named \"walk\"; its takes are \"Default\", \"takes\""),
                  std::string::npos)
            << arguments << ": " << r.err;
    }
}

// Runs the command on a pseudo-terminal: what it wrote there, standard error and output together.
std::string RunOnTerminal(const std::vector<std::string>& arguments, int& code) {
    std::vector<char*> argv{const_cast<char*>(OXA_CONVERT_PATH)};
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    int master = -1;
    const pid_t child = forkpty(&master, nullptr, nullptr, nullptr);
    if (child == 0) {
        execv(OXA_CONVERT_PATH, argv.data());
        _exit(127);
    }
    std::string text;
    if (child < 0) return text;
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(master, buffer, sizeof buffer);
        if (got > 0)
            text.append(buffer, (size_t)got);
        else if (got < 0 && errno == EINTR)
            continue;
        else
            break;  // the terminal closed (EIO) when the program ended
    }
    close(master);
    int status = 0;
    waitpid(child, &status, 0);
    code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return text;
}

TEST(cli_habits, ProgressIsDrawnOncePerWholePercentWithTheStageNamed) {
    const std::string bvh = MakeBvh("long.bvh", 120, 3000);
    int code = -1;
    const std::string text = RunOnTerminal({bvh, Folder() + "long.htr"}, code);
    ASSERT_EQ(code, 0) << text;
    EXPECT_NE(text.find("\rreading long.bvh "), std::string::npos) << text.substr(0, 400);
    EXPECT_NE(text.find("\rwriting long.htr "), std::string::npos) << text.substr(0, 400);
    EXPECT_NE(text.find("100%"), std::string::npos);
    // Two stages, each drawn at most once per whole percent from 0 to 100.
    const int redraws = Count(text, "\r") - Count(text, "\r\n");
    EXPECT_GE(redraws, 2);
    EXPECT_LE(redraws, 2 * 101) << "bytes: " << text.size();
    EXPECT_EQ(text.find("working"), std::string::npos);
    // Quiet runs draw none.
    const std::string quiet = RunOnTerminal({"-q", bvh, Folder() + "long2.htr"}, code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(quiet, "");
}

TEST(cli_habits, SettingsLinesThatSayNothingOrAreNotText) {
    const std::string bvh = MakeBvh("settings.bvh", 30, 31);
    const std::string out = Folder() + "settings.htr";
    const std::string file = Folder() + "settings.txt";
    WriteText(file, "; comment\n[Export]\nRescale\n=1\n  = 2\n\nExportFrameRate=1\n[Import\n");
    Result r = Convert("--options " + file + " " + bvh + " " + out);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("line 3: \"Rescale\" is not a key=value line and is ignored"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("line 4: \"=1\" names no key and is ignored"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("line 5: \"= 2\" names no key"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("line 8: \"[Import\" is not a key=value line"), std::string::npos) << r.err;
    EXPECT_EQ(Count(r.err, ": line "), 4) << r.err;

    // UTF-16 text (with or without its byte-order mark) and NUL bytes are errors naming the line.
    const std::string utf16 = std::string("\xFF\xFE[\0E\0x\0p\0o\0r\0t\0]\0\n\0", 20);
    struct Case {
        std::string text;
        std::string words;
    };
    for (const Case& c :
         {Case{utf16, "line 1: the file is UTF-16 text"}, Case{utf16.substr(2), "line 1: holds a NUL byte"},
          Case{std::string("[Export]\nExportFrameRate=1\0 2\n", 29), "line 2: holds a NUL byte"}}) {
        WriteText(file, c.text);
        r = Convert("--options " + file + " " + bvh + " " + Folder() + "settings2.htr");
        EXPECT_EQ(r.code, 2) << c.words;
        EXPECT_NE(r.err.find(c.words), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("whole number"), std::string::npos) << r.err;
        EXPECT_FALSE(Exists(Folder() + "settings2.htr"));
    }
}

TEST(cli_habits, KnownKeysAreThoseOfTheSection) {
    const std::string file = Folder() + "keys.txt";
    WriteText(file, "[Import]\nBogus=1\n[Export]\nBogus=1\nSmooth Group=0\n");
    Result r = Convert("--options " + file + " " + Example("scene.3ds") + " " + Folder() + "keys.3ds");
    ASSERT_EQ(r.code, 0) << r.err;
    std::string reader, writer, smooth;
    std::istringstream lines(r.err);
    for (std::string line; std::getline(lines, line);) {
        if (line.find("line 2:") != std::string::npos) reader = line;
        if (line.find("line 4:") != std::string::npos) writer = line;
        if (line.find("line 5:") != std::string::npos) smooth = line;
    }
    EXPECT_NE(reader.find("the 3DS reader"), std::string::npos) << r.err;
    EXPECT_NE(reader.find("Smooth Group"), std::string::npos) << reader;
    EXPECT_NE(reader.find("Reduce Keys"), std::string::npos) << reader;
    EXPECT_EQ(reader.find("UV per polygon"), std::string::npos) << reader;
    EXPECT_NE(writer.find("the 3DS writer"), std::string::npos) << r.err;
    EXPECT_NE(writer.find("UV per polygon"), std::string::npos) << writer;
    EXPECT_NE(writer.find("Rescale"), std::string::npos) << writer;
    EXPECT_EQ(writer.find("Smooth Group"), std::string::npos) << writer;
    EXPECT_EQ(writer.find("Reduce Keys"), std::string::npos) << writer;
    // A reader's key under [Export] acts nowhere and is said to be ignored.
    EXPECT_NE(smooth.find("\"Smooth Group\" is not an option of the 3DS writer"), std::string::npos) << r.err;

    // Motion keys: the Import keys under [Import], the Export keys under [Export].
    WriteText(file, "[Import]\nBogus=1\n[Export]\nBogus=1\n");
    r = Convert("--options " + file + " " + MakeBvh("keys.bvh", 30, 3) + " " + Folder() + "keys_out.bvh");
    ASSERT_EQ(r.code, 0) << r.err;
    const size_t split = r.err.find("line 4:");
    ASSERT_NE(split, std::string::npos) << r.err;
    EXPECT_NE(r.err.find("ImportLimits"), std::string::npos);
    EXPECT_GT(r.err.find("ImportLimits"), r.err.find("line 2:"));
    EXPECT_LT(r.err.find("ImportLimits"), split) << r.err;
    EXPECT_EQ(r.err.find("ExportFrameRate"), r.err.rfind("ExportFrameRate")) << r.err;
    EXPECT_GT(r.err.find("ExportFrameRate"), split) << r.err;
    EXPECT_EQ(r.err.find("UnusedSegments"), std::string::npos) << r.err;
}

TEST(cli_habits, LongNamesAndKeysAreShownCut) {
    const std::string key(1000000, 'K');
    const std::string file = Folder() + "long.txt";
    WriteText(file, "[Import]\n" + key + "=1\n");
    Result r = Convert("--options " + file + " " + MakeBvh("cut.bvh", 30, 3) + " " + Folder() + "cut.htr");
    ASSERT_EQ(r.code, 0);
    EXPECT_NE(r.err.find("KKK... (1000000 bytes)"), std::string::npos) << r.err.substr(0, 600);
    EXPECT_LT(r.err.size(), 2000u);
    // The cut keeps whole UTF-8 characters: "a" and 63 two-byte characters fill 127 of the 128
    // bytes kept. A text of continuation bytes alone keeps none of them.
    std::string accented = "a";
    for (int k = 0; k < 300; ++k)
        accented += "\xc3\xa9";
    WriteText(file, "[Import]\n" + accented + "=1\n" + std::string(300, '\x80') + "=1\n");
    r = Convert("--options " + file + " " + MakeBvh("cut2.bvh", 30, 3) + " " + Folder() + "cut2.htr");
    ASSERT_EQ(r.code, 0);
    std::string kept = "a";
    for (int k = 0; k < 63; ++k)
        kept += "\xc3\xa9";
    EXPECT_NE(r.err.find("\"" + kept + "... (601 bytes)\""), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("line 3: \"... (300 bytes)\""), std::string::npos) << r.err;
    r = Convert("--" + std::string(5000, 'x'));
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("xxx... (5002 bytes)"), std::string::npos);
    EXPECT_LT(r.err.size(), 1000u);
}

TEST(cli_habits, FormatsAreListedInTheirGroups) {
    Result r = Convert("--formats");
    ASSERT_EQ(r.code, 0);
    const std::string side =
        ":\n  geometry:\n    3ds   3DS geometry (*.3ds)\n    obj   OBJ geometry (*.obj)\n    dxf   DXF "
        "(*.dxf)\n"
        "  skeletons:\n    bvh   ";
    EXPECT_EQ(r.out.find("read" + side), 0u) << r.out;
    EXPECT_NE(r.out.find("write" + side), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("    amc   AMC motion capture (*.amc)\n  markers:\n    c3d "), std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("other:"), std::string::npos) << r.out;
}

}  // namespace
