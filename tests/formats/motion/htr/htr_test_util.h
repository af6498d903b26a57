// Shared pieces of the HTR tests: temporary files, the settings folder and a small sample file.
#ifndef OXA_TESTS_FORMATS_MOTION_HTR_HTR_TEST_UTIL_H
#define OXA_TESTS_FORMATS_MOTION_HTR_HTR_TEST_UTIL_H

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "base/platform.h"
#include "base/vconfig_file.h"
#include "tests/support/test_files.h"

namespace htr_test {

// Names carry the process id: CTest runs the cases of one file side by side, each in a process.
inline std::string TempPath(const std::string& name) {
    static const std::string folder = oxa_test::MakeProcessTempFolder("htr_");
    return folder + "htr_" + name;
}

inline std::string WriteFile(const std::string& name, const std::string& text) {
    std::string path = TempPath(name);
    oxa_test::WriteFile(path, text);
    return path;
}

using oxa_test::ReadFile;

// Points the settings folder at a folder of the test's own and writes "@Application.txt" with
// the given "MinimizeRotationOffset" value (no file at all for null).
inline void UseSettings(const char* minimizeRotationOffset) {
    static const std::string folder = [] {
        std::string path = TempPath("settings");
        VPlatformCreateDirectory(path.c_str());
        return path;
    }();
    VPlatformSetSettingsDirectory(folder.c_str());
    VString file = VConfigFile::ResolveName("@Application.txt");
    std::remove(file.Buffer());
    if (!minimizeRotationOffset) return;
    std::ofstream out(file.Buffer());
    out << "[MotionImportHTR]\nMinimizeRotationOffset=" << minimizeRotationOffset << "\n";
}

// A header with the given extra lines in place of the defaults' order, units and axis.
inline std::string Header(int segments, int frames, const std::string& extra = "", int rate = 30) {
    std::ostringstream text;
    text << "# a comment before everything\n"
         << "[Header]\n"
         << "FileType htr\n"
         << "DataType HTRS\n"
         << "FileVersion 1\n"
         << "NumSegments " << segments << "\n"
         << "NumFrames " << frames << "\n"
         << "DataFrameRate " << rate << "\n"
         << extra;
    return text.str();
}

// Hips (root) with Spine -> Head and Leg below it; three frames; millimetres, degrees, ZYX.
inline std::string SampleFile() {
    return Header(4, 3,
                  "EulerRotationOrder ZYX\nCalibrationUnits mm\nRotationUnits Degrees\n"
                  "GlobalAxisofGravity Y\nBoneLengthAxis Y\nScaleFactor 1.0\n") +
           "[SegmentNames&Hierarchy]\n"
           "Hips\tGLOBAL\n"
           "Spine\tHips\n"
           "Head\tSpine\n"
           "Leg\tHips\n"
           "[BasePosition]\n"
           "Hips\t0\t900\t0\t0\t0\t0\t100\n"
           "Spine\t0\t100\t0\t10\t0\t0\t250\n"
           "Head\t0\t250\t0\t0\t20\t0\t120\n"
           "Leg\t90\t-50\t0\t0\t0\t180\t400\n"
           "[Hips]\n"
           "1\t0\t0\t0\t0\t0\t0\t1.0\n"
           "2\t10\t5\t-20\t15\t30\t-45\t1.0\n"
           "3\t20\t10\t-40\t-30\t60\t90\t1.0\n"
           "[Spine]\n"
           "1\t0\t0\t0\t0\t0\t0\t1.0\n"
           "2\t0\t1\t0\t5\t-10\t20\t1.0\n"
           "3\t0\t2\t0\t170\t10\t-60\t1.0\n"
           "[Head]\n"
           "1\t0\t0\t0\t0\t0\t0\t1.0\n"
           "2\t0\t0\t0\t12\t34\t56\t1.0\n"
           "3\t0\t0\t0\t-80\t5\t5\t1.0\n"
           "[Leg]\n"
           "1\t0\t0\t0\t0\t0\t0\t1.0\n"
           "2\t1\t2\t3\t40\t0\t0\t1.0\n"
           "3\t-1\t-2\t-3\t0\t-45\t10\t1.0\n"
           "[EndOfFile]\n";
}

}  // namespace htr_test

#endif  // OXA_TESTS_FORMATS_MOTION_HTR_HTR_TEST_UTIL_H
