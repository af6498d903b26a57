// What oxa-convert refuses before it reads or writes anything, and the words it ends a failed run
// with, on small files the tests make.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/tools/cli_run.h"

namespace {

using oxa_cli::Convert;
using oxa_cli::Count;
using oxa_cli::Exists;
using oxa_cli::Folder;
using oxa_cli::ReadFile;
using oxa_cli::Result;
using oxa_cli::WriteText;

// A BVH of a root and one joint, `frames` frames at 30 per second.
std::string MakeBvh(const std::string& name, int frames = 3) {
    std::ostringstream text;
    text << "HIERARCHY\nROOT Hips\n{\n  OFFSET 0 90 0\n"
         << "  CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n"
         << "  JOINT Spine\n  {\n    OFFSET 0 15 0\n    CHANNELS 3 Zrotation Xrotation Yrotation\n"
         << "    End Site\n    {\n      OFFSET 0 15 0\n    }\n  }\n}\n"
         << "MOTION\nFrames: " << frames << "\nFrame Time: 0.0333333\n";
    for (int f = 0; f < frames; ++f)
        text << 10 * f << " 90 0 " << 5 * f << " 0 0 " << 3 * f << " 0 0\n";
    const std::string path = Folder() + name;
    WriteText(path, text.str());
    return path;
}

// A TRC of the named markers (none is allowed), `units` as its Units field.
std::string MakeTrc(const std::string& name, const std::vector<std::string>& markers,
                    const std::string& units = "mm") {
    std::ostringstream text;
    text << "PathFileType\t4\t(X/Y/Z)\t" << name << "\t\n"
         << "DataRate\tCameraRate\tNumFrames\tNumMarkers\tUnits\tOrigDataRate\tOrigDataStartFrame\tOrigNumFra"
            "mes\t\n"
         << "30\t30\t3\t" << markers.size() << "\t" << units << "\t30\t1\t3\t\nFrame#\tTime\t";
    for (const std::string& marker : markers)
        text << marker << "\t\t\t";
    text << "\n\t\t";
    for (size_t m = 1; m <= markers.size(); ++m)
        text << "X" << m << "\tY" << m << "\tZ" << m << "\t";
    text << "\n\n";
    for (int f = 0; f < 3; ++f) {
        text << f + 1 << "\t" << f / 30.0;
        for (size_t m = 0; m < markers.size(); ++m)
            text << "\t" << 100.0 * m + f << "\t" << 20 << "\t" << 10.0 * m;
        text << "\n";
    }
    const std::string path = Folder() + name;
    WriteText(path, text.str());
    return path;
}

// A C3D of markers MRKA, MRKB and MRKC written by the command, with `edit` applied to its bytes.
std::string MakeC3d(const std::string& name, void (*edit)(std::string&)) {
    const std::string trc = MakeTrc(name + ".trc", {"MRKA", "MRKB", "MRKC"});
    const std::string path = Folder() + name;
    Result r = Convert(trc + " " + path);
    EXPECT_EQ(r.code, 0) << r.err;
    std::string bytes = ReadFile(path);
    edit(bytes);
    WriteText(path, bytes);
    return path;
}

void Relabel(std::string& bytes, const char* from, const char* to) {
    const size_t at = bytes.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    bytes.replace(at, std::string(to).size(), to);
}

TEST(cli, InAndOutTheSameFileIsRefusedUntouched) {
    const std::string bvh = MakeBvh("same.bvh");
    const std::string before = ReadFile(bvh);
    const std::string link = Folder() + "same_link.bvh";
    ASSERT_EQ(symlink(bvh.c_str(), link.c_str()), 0);
    mkdir((Folder() + "sub").c_str(), 0700);
    for (const std::string& out : {bvh, link, Folder() + "sub/../same.bvh"}) {
        Result r = Convert(bvh + " " + out);
        EXPECT_EQ(r.code, 2) << out;
        EXPECT_NE(r.err.find("IN and OUT are the same file"), std::string::npos) << out << ": " << r.err;
        EXPECT_EQ(ReadFile(bvh), before) << out;
    }
    // The skeleton written beside an AMC output counts as an output.
    ASSERT_EQ(Convert(bvh + " " + Folder() + "same.amc").code, 0);
    const std::string asf = Folder() + "same.asf";
    const std::string skeleton = ReadFile(asf);
    Result r = Convert(asf + " " + Folder() + "same.amc");
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("IN and OUT are the same file"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(asf), skeleton);
}

TEST(cli, SettingsFileRefusalsAndWarnings) {
    const std::string bvh = MakeBvh("settings.bvh");
    const std::string out = Folder() + "settings_out.3ds";
    // Missing, or a directory: exit 1 naming it, nothing written.
    for (const std::string& settings : {Folder() + "missing.ini", Folder()}) {
        Result r = Convert("--options " + settings + " " + bvh + " " + out);
        EXPECT_EQ(r.code, 1) << settings;
        EXPECT_NE(r.err.find("oxa-convert: " + settings + " "), std::string::npos) << r.err;
        EXPECT_FALSE(Exists(out));
    }
    // A key that is no option of that format: a warning naming it and the known keys.
    const std::string typo = Folder() + "typo.ini";
    WriteText(typo, "; comment\n[Export]\nRescal=0\n[Import]\nImportCreateReferenceNode=1\n");
    Result r = Convert("--options " + typo + " " + bvh + " " + out);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("typo.ini: line 3: \"Rescal\" is not an option of the 3DS writer"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("Rescale"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("ImportCreateReferenceNode\" is not"), std::string::npos) << r.err;
    // A file of no known format is a usage error told before the settings file is read: the one
    // line is the refusal, with no warning about the settings before it.
    for (const std::string& args : {bvh + " " + Folder() + "settings_out.xyz", Folder() + "settings.xyz " + out,
                                    "--info " + Folder() + "settings.xyz"}) {
        r = Convert("--options " + typo + " " + args);
        EXPECT_EQ(r.code, 2) << args;
        EXPECT_EQ(r.err.find("typo.ini"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.rfind("oxa-convert: " + Folder() + "settings", 0), 0u) << r.err;
        EXPECT_NE(r.err.find("for the extension \"xyz\""), std::string::npos) << r.err;
    }
    // The motion options are the keys of a motion format; a line of another section, or of none,
    // is warned about with its line number (a misspelt section name would lose its keys unseen).
    WriteText(typo, "Before=1\n[Import]\nRescale=0\n[Imprt]\nAnything=x\n");
    r = Convert("--options " + typo + " " + bvh + " " + out);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("\"Rescale\" is not an option of the BVH reader"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("RenameDuplicateNames"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("typo.ini: line 5: \"Anything\" is outside the [Import] and [Export] sections"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("typo.ini: line 1: \"Before\" is outside"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Anything\" is not an option"), std::string::npos) << r.err;
    // A value that is not a whole number.
    std::remove(out.c_str());
    for (const char* value : {"1.5", "yes", "", "2x"}) {
        WriteText(typo, std::string("[Export]\nRescale=") + value + "\n");
        r = Convert("--options " + typo + " " + bvh + " " + out);
        EXPECT_EQ(r.code, 2) << value;
        EXPECT_NE(r.err.find("the value of Rescale is \"" + std::string(value) + "\", not a whole number"),
                  std::string::npos)
            << r.err;
        EXPECT_FALSE(Exists(out)) << value;
    }
    // Whole numbers an option does not take, and those too large for any, are called so: an
    // option of 0 and 1 took 2 as off without a word.
    const std::pair<const char*, const char*> ranges[] = {
        {"[export]\n  Rescale = -1  \n", "the value of Rescale is -1, out of range: it is 0 or 1"},
        {"[Export]\nRescale=2\n", "line 2: the value of Rescale is 2, out of range: it is 0 or 1"},
        {"[Export]\nRescale=99999999999999999999\n", "99999999999999999999, out of range"},
    };
    for (const auto& [text, message] : ranges) {
        WriteText(typo, text);
        r = Convert("--options " + typo + " " + bvh + " " + out);
        EXPECT_EQ(r.code, 2) << text;
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
        EXPECT_FALSE(Exists(out)) << text;
    }
    WriteText(typo, "[Export]\nRescale=1\n[Import]\nRescale=+0\n");
    EXPECT_EQ(Convert("--options " + typo + " " + bvh + " " + out).code, 0);
    // A key given twice in a section (sections without regard to case) takes the first value; the
    // later line is named, with the line whose value is used, and its value is not checked.
    std::remove(out.c_str());
    WriteText(typo, "[Export]\nRescale=1\n[Import]\nRescale=0\n[EXPORT]\nRescale=x\n");
    r = Convert("--options " + typo + " " + bvh + " " + out);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("typo.ini: line 6: \"Rescale\" is given again under [Export] and is ignored: the "
                         "value of line 2, \"1\", is used"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("line 4: \"Rescale\" is given again"), std::string::npos) << r.err;
    std::remove(out.c_str());
    // The DXF grouping has three modes.
    const std::string dxf = Folder() + "range.dxf";
    WriteText(dxf, "0\nSECTION\n2\nENTITIES\n0\n3DFACE\n8\nL\n10\n0\n20\n0\n30\n0\n11\n1\n21\n0\n31\n0\n"
                   "12\n1\n22\n1\n32\n0\n13\n1\n23\n1\n33\n0\n0\nENDSEC\n0\nEOF\n");
    const std::string obj = Folder() + "range.obj";
    WriteText(typo, "[Import]\nLayer~Block~Entity=2\n");
    EXPECT_EQ(Convert("--options " + typo + " " + dxf + " " + obj).code, 0);
    WriteText(typo, "[Import]\nLayer~Block~Entity=3\n");
    r = Convert("--options " + typo + " " + dxf + " " + obj);
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("the value of Layer~Block~Entity is 3, out of range: it is 0, 1 or 2"), std::string::npos)
        << r.err;
}

TEST(cli, ManySettingsWarningsAreCountedAfterTheFirstFew) {
    const std::string bvh = MakeBvh("many.bvh", 3);
    const std::string out = Folder() + "many_out.htr";
    const std::string file = Folder() + "many.ini";
    std::string text = "[Import]\n";
    for (int k = 0; k < 2000; ++k)
        text += "Unknown" + std::to_string(k) + "=1\nnot a line " + std::to_string(k) + "\n";
    WriteText(file, text);
    const Result r = Convert("--options " + file + " " + bvh + " " + out);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("\"Unknown4\" is not an option"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("\"Unknown5\" is not an option"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("1995 more keys that are not options of the BVH reader"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("1995 more lines that are not key=value lines"), std::string::npos) << r.err;
    EXPECT_LT(r.err.size(), 8000u);
}

TEST(cli, WideEncodingsAreNamed) {
    const std::string bvh = MakeBvh("wide.bvh", 3);
    const std::string out = Folder() + "wide_out.htr";
    const std::string file = Folder() + "wide.ini";
    const std::pair<std::string, const char*> files[] = {
        {std::string("\xFF\xFE\0\0[\0\0\0", 8), "UTF-32"},
        {std::string("\0\0\xFE\xFF\0\0\0[", 8), "UTF-32"},
        {std::string("\xFF\xFE[\0", 4), "UTF-16"},
        {std::string("\xFE\xFF\0[", 4), "UTF-16"},
    };
    for (const auto& [bytes, name] : files) {
        WriteText(file, bytes);
        const Result r = Convert("--options " + file + " " + bvh + " " + out);
        EXPECT_EQ(r.code, 2);
        EXPECT_NE(r.err.find(std::string("the file is ") + name + " text"), std::string::npos) << r.err;
    }
}

TEST(cli, RatesAndTimeModesThatCannotBeWritten) {
    const std::string bvh = MakeBvh("rates.bvh", 31);
    const std::string out = Folder() + "rates_out.bvh";
    for (const char* mode : {"99", "5", "7", "12", "-1", "3x"}) {
        Result r = Convert("--time-mode " + std::string(mode) + " " + bvh + " " + out);
        EXPECT_EQ(r.code, 2) << mode;
        EXPECT_NE(r.err.find("--time-mode"), std::string::npos) << r.err;
    }
    for (const char* rate : {"0", "-30", "nan", "inf", "1e300", "abc"}) {
        Result r = Convert("--frame-rate " + std::string(rate) + " " + bvh + " " + out);
        EXPECT_EQ(r.code, 2) << rate;
    }
    // A rate above what every writer can write and read back (the finest time fields count
    // microseconds), for the output or the input.
    for (const char* option : {"--frame-rate", "--input-rate"}) {
        Result r = Convert(std::string(option) + " 1000000.5 " + bvh + " " + out);
        EXPECT_EQ(r.code, 2) << option;
        EXPECT_NE(r.err.find("at most 1000000 frames per second"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("resampled"), std::string::npos) << r.err;
        EXPECT_FALSE(Exists(out));
    }
    Result r = Convert("--frame-rate 1000000000 " + bvh + " " + Folder() + "rates_out.amc");
    EXPECT_EQ(r.code, 2);
    EXPECT_FALSE(Exists(Folder() + "rates_out.amc"));
    // Both: refused, one says which to give.
    r = Convert("--frame-rate 60 --time-mode 3 " + bvh + " " + out);
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("not both"), std::string::npos) << r.err;
    // Every listed mode works, at its rate; a slow rate still keeps one frame.
    for (const auto& [mode, frames] : std::vector<std::pair<const char*, const char*>>{
             {"11", "Frames:\t25"}, {"10", "Frames:\t26"}, {"1", "Frames:\t121"}, {"0", "Frames:\t31"}}) {
        r = Convert("--time-mode " + std::string(mode) + " " + bvh + " " + out);
        ASSERT_EQ(r.code, 0) << mode << ": " << r.err;
        EXPECT_NE(ReadFile(out).find(frames), std::string::npos) << mode;
    }
    ASSERT_EQ(Convert("--frame-rate 0.001 " + bvh + " " + out).code, 0);
    EXPECT_NE(ReadFile(out).find("Frames:\t1\n"), std::string::npos);
}

TEST(cli, HelpIsTheUsageOnStandardOutput) {
    // Unknown options, short or long, are usage errors; the first take is a take like any other.
    const std::string bvh = MakeBvh("help.bvh");
    for (const char* option : {"-x", "--x"}) {
        Result r = Convert(std::string(option) + " " + bvh + " " + Folder() + "help_out.bvh");
        EXPECT_EQ(r.code, 2) << option;
        EXPECT_NE(r.err.find("unknown option " + std::string(option)), std::string::npos) << r.err;
    }
    EXPECT_EQ(Convert("--take Default " + bvh + " " + Folder() + "help_out.bvh").code, 0);

    for (const char* flag : {"--help", "-h"}) {
        Result r = Convert(flag);
        EXPECT_EQ(r.code, 0) << flag;
        EXPECT_TRUE(r.err.empty()) << r.err;
        for (const char* part :
             {"usage: oxa-convert", "--take NAME", "--options FILE", "--frame-rate R", "--time-mode M",
              "--skeleton FILE.asf", "--info", "--json", "--formats", "README, section Settings-file keys",
              "share/doc/oxa/README.md", "8 29.97 drop frame", "11 24", "Exit codes"})
            EXPECT_NE(r.out.find(part), std::string::npos) << part;
    }
}

TEST(cli, NameRefusalsEndTheRunWithTheirReason) {
    const std::string spaced = MakeC3d("spaced.c3d", [](std::string& b) { Relabel(b, "MRKB", "MR B"); });
    // BVH writes the blank as '_', with a warning naming both names.
    {
        const std::string out = Folder() + "spaced_out.bvh";
        Result r = Convert(spaced + " " + out);
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_NE(r.err.find("Node \"MR B\" is written as \"MR_B\": BVH joint names hold no blanks."),
                  std::string::npos)
            << r.err;
        EXPECT_NE(ReadFile(out).find("JOINT MR_B\n"), std::string::npos);
    }
    for (const char* format : {"htr", "amc"}) {
        const std::string out = Folder() + "spaced_out." + format;
        Result r = Convert(spaced + " " + out);
        EXPECT_EQ(r.code, 1) << format;
        EXPECT_EQ(Count(r.err, "MR B"), 1) << r.err;
        EXPECT_NE(r.err.find("Spaces are not allowed in"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(":     MR B\n"), std::string::npos) << r.err;
        for (const char* wrong : {"Model::", "\\x0a", "Unidentified error"})
            EXPECT_EQ(r.err.find(wrong), std::string::npos) << wrong << " in " << r.err;
        // The reason is the last thing said.
        EXPECT_EQ(r.err.rfind("MR B\n"), r.err.size() - 5) << r.err;
        EXPECT_FALSE(Exists(out)) << format;
    }
    const std::string hash = MakeC3d("hash.c3d", [](std::string& b) { Relabel(b, "MRKC", "#RKC"); });
    Result r = Convert(hash + " " + Folder() + "hash_out.amc");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("begin with \":\" or \"#\""), std::string::npos) << r.err;
    EXPECT_EQ(Count(r.err, "#RKC"), 1) << r.err;
    EXPECT_EQ(r.err.find("Unidentified error"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.rfind("#RKC\n"), r.err.size() - 5) << r.err;
}

TEST(cli, EmptyScenesAndTakesSayWhatIsMissing) {
    // A skeleton without motion.
    const std::string bvh = MakeBvh("still.bvh");
    ASSERT_EQ(Convert(bvh + " " + Folder() + "still.amc").code, 0);
    Result r = Convert(Folder() + "still.asf " + Folder() + "still_out.c3d");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("still_out.c3d: the scene's only take has no frames to write\n"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("65535"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("no motion is written"), std::string::npos) << r.err;
    // A marker file without markers: its frame lines are not taken for its labels.
    const std::string none = MakeTrc("none.trc", {});
    for (const char* format : {"bvh", "amc"}) {
        r = Convert(none + " " + Folder() + "none_out." + format);
        EXPECT_EQ(r.code, 1) << format;
        EXPECT_NE(r.err.find(": no joints to write\n"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("root node"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("frame lines"), std::string::npos) << r.err;
    }
    // Takes written with their frames, still ones among them, are not said to have none: a MOV of
    // three still frames, and AMC frames without bone lines.
    const std::string mov = Folder() + "still.mov";
    WriteText(mov, "0\t1 2 3 0 0 0 1 1 1\n0.1\t1 2 3 0 0 0 1 1 1\n0.2\t1 2 3 0 0 0 1 1 1\n");
    const std::string bare = Folder() + "bare.amc";
    WriteText(bare, ":FULLY-SPECIFIED\n:DEGREES\n1\n2\n3\n");
    const struct {
        std::string in, out, frames;
    } still[] = {{mov, "still_mov.trc", "\t3\t1\tmm\t"},
                 {mov, "still_mov.bvh", "Frames:\t3\n"},
                 {mov, "still_mov.aoa", "frames = 3 "},
                 {mov, "still_mov.c3d", ""},
                 {bare + " --skeleton " + Folder() + "still.asf", "bare.bvh", "Frames:\t3\n"}};
    for (const auto& c : still) {
        r = Convert(c.in + " " + Folder() + c.out);
        EXPECT_EQ(r.code, 0) << c.out << r.err;
        EXPECT_EQ(r.err.find("no frames"), std::string::npos) << r.err;
        EXPECT_NE(ReadFile(Folder() + c.out).find(c.frames), std::string::npos) << c.out;
    }
    // An AMC without its skeleton names the file looked for.
    const std::string amc = Folder() + "lonely.amc";
    WriteText(amc, ReadFile(Folder() + "still.amc"));
    r = Convert(amc + " " + Folder() + "lonely.bvh");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("(there is no " + Folder() + "lonely.asf)"), std::string::npos) << r.err;
}

TEST(cli, OneFrameTakesAreWrittenToEveryMotionFormat) {
    // A take of one frame spans a single instant; it is still a frame to write. The BVH has a root
    // and one joint with its end: two joints, three markers.
    const std::string bvh = MakeBvh("one.bvh", 1);
    for (const char* format : {"trc", "c3d", "amc", "htr", "bvh", "brd", "mov", "vpm", "aoa", "mcd"}) {
        const std::string out = Folder() + "one_out." + format;
        const Result r = Convert(bvh + " " + out);
        ASSERT_EQ(r.code, 0) << format << ": " << r.err;
        const std::string text = ReadFile(out);
        const std::string f = format;
        if (f == "trc") {
            // NumFrames (third field of the third line) and one frame line after the blank line.
            EXPECT_NE(text.find("\n30.00\t30.00\t1\t3\tmm\t"), std::string::npos) << text;
            EXPECT_EQ(Count(text.substr(text.find("\n\n")), "\n1\t0.000\t"), 1) << text;
        } else if (f == "c3d") {
            // Header words 4 and 5: first and last frame numbers.
            ASSERT_GE(text.size(), 512u);
            EXPECT_EQ(text.substr(6, 2), std::string("\1\0", 2));
            EXPECT_EQ(text.substr(8, 2), std::string("\1\0", 2));
        } else if (f == "amc") {
            EXPECT_NE(text.find(":DEGREES\n1\n"), std::string::npos) << text;
            EXPECT_EQ(text.find("\n2\n"), std::string::npos) << text;
        } else if (f == "htr") {
            EXPECT_NE(text.find("NumFrames 1\n"), std::string::npos) << text;
        } else if (f == "bvh") {
            EXPECT_NE(text.find("Frames:\t1\n"), std::string::npos) << text;
        } else if (f == "brd") {
            // Records of frame 0 only, one per sensor.
            EXPECT_EQ(Count(text, "\n0\t"), 2) << text;
            EXPECT_EQ(text.find("\n1\t"), std::string::npos) << text;
        } else if (f == "mov") {
            EXPECT_EQ(Count(text, "\n"), 1) << text;
        } else if (f == "vpm") {
            EXPECT_EQ(Count(text, "Frames:\t1\n"), 3) << text;
        } else {
            EXPECT_EQ(text.substr(0, 31), "frames = 1 markers = 3 Hz = 30\n") << text;
            EXPECT_EQ(Count(text, "\n"), 4) << text;
        }
    }
}

TEST(cli, ReadersSayWhatIsWrongInTheirOwnWords) {
    // A C3D of analog channels only (4 samples a frame in the header) is refused, not called
    // corrupt; one that holds nothing at all is not said to hold analog channels.
    const std::string analog = MakeC3d("analog.c3d", [](std::string& b) {
        b[2] = b[3] = 0;
        b[4] = 4;
        b[5] = 0;
    });
    Result r = Convert(analog + " " + Folder() + "analog.trc");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("analog.c3d: the file holds no 3D points; analog channels are not read"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("corrupted"), std::string::npos) << r.err;
    const std::string empty = MakeC3d("nothing.c3d", [](std::string& b) { b[2] = b[3] = 0; });
    r = Convert(empty + " " + Folder() + "nothing.trc");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("nothing.c3d: the file holds no 3D points"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("analog"), std::string::npos) << r.err;
    // An OBJ cut short names the line and what it lacks.
    const std::string cut = Folder() + "cut.obj";
    WriteText(cut, "# cut\nv 0 0 0\n\nv 1 0 0\nv 1e");
    r = Convert(cut + " " + Folder() + "cut.3ds");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("cut.obj: File is corrupted: line 5: a vertex (v) needs three numbers"),
              std::string::npos)
        << r.err;
    WriteText(cut, "v 0 0 0\nvn 0 1\n");
    EXPECT_NE(Convert(cut + " " + Folder() + "cut.3ds").err.find("line 2: a normal (vn) needs three numbers"),
              std::string::npos);
    WriteText(cut, "v 0 0 0\nvt\n");
    EXPECT_NE(
        Convert(cut + " " + Folder() + "cut.3ds").err.find("line 2: a texture vertex (vt) needs a number"),
        std::string::npos);
    WriteText(cut, "v 0 0 0\r\nvp x\r\n");
    EXPECT_NE(
        Convert(cut + " " + Folder() + "cut.3ds").err.find("line 2: a parameter vertex (vp) needs a number"),
        std::string::npos);
    WriteText(cut, "v 0 0 0\nsurf 0 1 0 1 1\n");
    EXPECT_NE(Convert(cut + " " + Folder() + "cut.3ds").err.find("line 2: a surface (surf) comes before"),
              std::string::npos);
    // TRC header fields with blanks around them.
    const std::string blanks = MakeTrc("blanks.trc", {"A", "B"}, " mm ");
    r = Convert(blanks + " " + Folder() + "blanks_out.trc");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(ReadFile(Folder() + "blanks_out.trc").find("\tmm\t"), std::string::npos);
}

// True when `text` is well-formed UTF-8.
bool IsUtf8(const std::string& text) {
    for (size_t k = 0; k < text.size();) {
        const unsigned char c = text[k];
        const int length = c < 0x80                 ? 1
                           : c >= 0xc2 && c <= 0xdf ? 2
                           : c >= 0xe0 && c <= 0xef ? 3
                           : c >= 0xf0 && c <= 0xf4 ? 4
                                                    : 0;
        if (!length || k + length > text.size()) return false;
        for (int n = 1; n < length; ++n)
            if (((unsigned char)text[k + n] & 0xc0) != 0x80) return false;
        k += length;
    }
    return true;
}

TEST(cli, JsonIsUtf8WhateverTheNames) {
    WriteText(Folder() + "latin.mtl", "newmtl Terraind\xe6k\nKd 1 0 0\nnewmtl caf\xc3\xa9\nKd 0 1 0\n");
    const std::string obj = Folder() + "latin.obj";
    WriteText(obj,
              "mtllib latin.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\ng gr\xfc\x6e\nusemtl Terraind\xe6k\nf 1 2 3\n"
              "usemtl caf\xc3\xa9\nf 1 3 2\n");
    Result r = Convert("--info --json " + obj);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(IsUtf8(r.out)) << r.out;
    EXPECT_NE(r.out.find("Terraind\\u00e6k\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("caf\xc3\xa9\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("gr\\u00fcn"), std::string::npos) << r.out;

    // Control bytes are escaped; three-byte characters from U+0800 on stay, an overlong form of
    // one is taken byte by byte.
    const std::string odd = "M\x01x\xe2\x82\xac\xe0\xa0\x80\xe0\x9f\xbf";
    WriteText(Folder() + "odd.mtl", "newmtl " + odd + "\nKd 1 0 0\n");
    WriteText(obj, "mtllib odd.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl " + odd + "\nf 1 2 3\n");
    r = Convert("--info --json " + obj);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(IsUtf8(r.out)) << r.out;
    EXPECT_NE(r.out.find("M\\u0001x\xe2\x82\xac\xe0\xa0\x80\\u00e0\\u009f\\u00bf\""), std::string::npos)
        << r.out;
}

}  // namespace
