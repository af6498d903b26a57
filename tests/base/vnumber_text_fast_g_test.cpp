// VFormatDoubleG and VFormatDoubleFixed answer most values without the exact decimal conversion;
// whichever path a value takes, the text must be the bytes C's snprintf "%.*g" or "%.*f" gives.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "base/vnumber_text.h"

namespace {

// Compares one value's text in "%.*f" (`fixed`) or "%.*g" with snprintf's; answers false (with a
// message) on a difference.
bool SameAsPrintf(bool fixed, double value, int digits) {
    char expected[400], got[400];
    const int n = std::snprintf(expected, sizeof expected, fixed ? "%.*f" : "%.*g", digits, value);
    const int m = fixed ? VFormatDoubleFixed(got, sizeof got, value, digits)
                        : VFormatDoubleG(got, sizeof got, value, digits);
    if (n == m && std::strcmp(expected, got) == 0) return true;
    ADD_FAILURE() << "value " << std::hexfloat << value << (fixed ? " decimals " : " precision ") << digits
                  << ": printf \"" << expected << "\", got \"" << got << "\"";
    return false;
}

bool Same(double value, int precision) {
    return SameAsPrintf(false, value, precision);
}

bool SameFixed(double value, int decimals) {
    return SameAsPrintf(true, value, decimals);
}

}  // namespace

TEST(number_text_fastg, FixedMatchesPrintf) {
    // Signs of zero, halves at each number of decimals, the ends of the fast range, values a
    // little under a carry into the next digit, and what the fast path leaves to the exact one.
    const double edges[] = {0.0,
                            -0.0,
                            0.5,
                            1.5,
                            2.5,
                            0.125,
                            0.000005,
                            0.0000049999,
                            0.0000051,
                            9.999995,
                            9.9999949,
                            99999.99999,
                            1e9,
                            999999999.5,
                            999999999.4,
                            1e15,
                            123456.7890125,
                            1e-300,
                            DBL_MAX,
                            DBL_TRUE_MIN,
                            (double)0.1f,
                            -179.999995,
                            std::numeric_limits<double>::infinity(),
                            std::numeric_limits<double>::quiet_NaN()};
    for (double v : edges) {
        for (int d = 0; d <= 12; ++d) {
            SameFixed(v, d);
            SameFixed(-v, d);
            SameFixed(std::nextafter(v, 0.0), d);
            SameFixed(std::nextafter(v, INFINITY), d);
        }
    }
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::uniform_int_distribution<int> exponent(-8, 11);
    int failures = 0;
    for (int i = 0; i < 200000 && failures < 20; ++i) {
        const int d = (int)(random() % 10);
        const double scaled = unit(random) * std::pow(10.0, exponent(random));
        const double widened = (double)(float)scaled;
        const double tie = ((double)(random() % 2000000) + 0.5) * std::pow(10.0, -d);
        for (double v : {scaled, widened, tie})
            if (!SameFixed(v, d) || !SameFixed(v, 5)) ++failures;
    }
    EXPECT_EQ(failures, 0);
    char small[4];
    EXPECT_EQ(VFormatDoubleFixed(small, sizeof small, -12.5, 2), 6);
    EXPECT_STREQ(small, "-12");
    // Beyond the fast range into a small buffer: the exact path, cut like snprintf.
    EXPECT_EQ(VFormatDoubleFixed(small, sizeof small, 1e12, 2), 16);
    EXPECT_STREQ(small, "100");
}

TEST(number_text_fastg, EdgeValuesMatchPrintf) {
    const double edges[] = {0.0,
                            -0.0,
                            1.0,
                            -1.0,
                            0.5,
                            2.5,
                            1234565.0,
                            123456.5,
                            0.0001,
                            0.00001,
                            0.000099999949999,
                            0.00009999995,
                            9.9999949999,
                            9.999995,
                            9.9999950001,
                            999999.5,
                            999999.4999999,
                            99999.95,
                            1e21,
                            1e22,
                            1e23,
                            1e-17,
                            1e-22,
                            1e-23,
                            123456789012.0,
                            DBL_MAX,
                            DBL_MIN,
                            DBL_TRUE_MIN,
                            4.9406564584124654e-324,
                            2.2250738585072009e-308,
                            std::numeric_limits<double>::infinity(),
                            -std::numeric_limits<double>::infinity(),
                            std::numeric_limits<double>::quiet_NaN(),
                            (double)0.1f,
                            (double)123.456789f,
                            -179.999999,
                            180.0,
                            0.008333};
    for (double v : edges) {
        for (int p = 0; p <= 17; ++p) {
            Same(v, p);
            Same(-v, p);
            Same(std::nextafter(v, 0.0), p);
            Same(std::nextafter(v, INFINITY), p);
        }
    }
    // Every power of ten in range and its neighbours: the digit count changes there.
    for (int e = -30; e <= 30; ++e) {
        const double v = std::pow(10.0, e);
        for (int p = 1; p <= 10; ++p) {
            Same(v, p);
            Same(std::nextafter(v, 0.0), p);
            Same(std::nextafter(v, INFINITY), p);
            Same(v * (1.0 - 0.5 * std::pow(10.0, -p)), p);
        }
    }
}

TEST(number_text_fastg, RandomValuesMatchPrintf) {
    std::mt19937_64 random(20261207);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::uniform_int_distribution<int> exponent(-26, 26);
    std::uniform_int_distribution<uint64_t> bits;
    int failures = 0;
    for (int i = 0; i < 300000 && failures < 20; ++i) {
        const int p = 1 + (int)(bits(random) % 10);
        // Any magnitude, floats widened as curves hand them out, numbers printed with six
        // decimals as capture files hold them, and values right at a rounding boundary.
        const double scaled = unit(random) * std::pow(10.0, exponent(random));
        const double widened = (double)(float)scaled;
        char text[64];
        std::snprintf(text, sizeof text, "%.6f", 360.0 * unit(random));
        const double fromFile = (double)(float)std::strtod(text, nullptr);
        const double tie = ((double)(bits(random) % 2000000) + 0.5) * std::pow(10.0, exponent(random) % 8);
        double raw;
        uint64_t word = bits(random);
        std::memcpy(&raw, &word, sizeof raw);
        for (double v : {scaled, widened, fromFile, tie, raw}) {
            if (!Same(v, p)) ++failures;
            if (!Same(v, 6)) ++failures;
        }
    }
    EXPECT_EQ(failures, 0);
}

TEST(number_text_fastg, TruncatesLikeSnprintf) {
    char small[5];
    EXPECT_EQ(VFormatDoubleG(small, sizeof small, -123.456, 6), 8);
    EXPECT_STREQ(small, "-123");
    EXPECT_EQ(VFormatDoubleG(nullptr, 0, 1.5e-7, 6), 7);
}

TEST(number_text_fastg, RunsOfValuesMatchPrintf) {
    // A run is written into exactly count * kVFormatGRoom bytes (the sanitizer build sees any
    // write past them) and is the values' "%g" texts, each followed by the separator.
    auto check = [](const std::vector<double>& values, char separator) {
        std::vector<char> out(values.size() * kVFormatGRoom);
        const char* end = VFormatDoublesG(out.data(), values.data(), (int)values.size(), separator);
        std::string expected;
        for (double v : values) {
            char text[64];
            std::snprintf(text, sizeof text, "%g", v);
            expected += text;
            expected += separator;
        }
        return std::string(out.data(), (size_t)(end - out.data())) == expected;
    };
    // Every six-digit integer, by itself and among others: each pattern of the digit pairs.
    std::vector<double> run;
    for (int d = 100000; d < 1000000; ++d) {
        run.push_back(d % 7 ? (double)d : -(double)d);
        if (run.size() == 1000) {
            ASSERT_TRUE(check(run, ' ')) << "six-digit values up to " << d;
            run.clear();
        }
    }
    // The longest texts one at a time, then the edges and their neighbours as one run.
    for (double v : {-1.234567e-300, -0.000123456789, -123456.5, -9.999995e+99, -DBL_MAX})
        EXPECT_TRUE(check({v}, '\t')) << v;
    const double edges[] = {0.0,
                            -0.0,
                            0.5,
                            999999.5,
                            999999.4999999,
                            9.999995,
                            0.0001,
                            0.00001,
                            1e22,
                            1e-23,
                            DBL_MIN,
                            DBL_TRUE_MIN,
                            (double)0.1f,
                            180.0,
                            -179.999999,
                            std::numeric_limits<double>::infinity(),
                            std::numeric_limits<double>::quiet_NaN()};
    for (double v : edges)
        for (double w : {v, -v, std::nextafter(v, 0.0), std::nextafter(v, INFINITY)})
            run.push_back(w);
    EXPECT_TRUE(check(run, '\t'));
    EXPECT_TRUE(check({}, ' '));
}

TEST(number_text_fastg, WholeNumbersReachBothEndsOf64Bits) {
    auto parse = [](const std::string& text, long long& value) {
        return VParseInt64(text.data(), text.data() + text.size(), value);
    };
    long long value = 0;
    const std::string most = "9223372036854775807", least = "-9223372036854775808";
    ASSERT_NE(parse(most, value), nullptr);
    EXPECT_EQ(value, std::numeric_limits<long long>::max());
    ASSERT_NE(parse(least, value), nullptr);
    EXPECT_EQ(value, std::numeric_limits<long long>::min());
    value = 7;
    EXPECT_EQ(parse("9223372036854775808", value), nullptr);
    EXPECT_EQ(parse("-9223372036854775809", value), nullptr);
    EXPECT_EQ(value, 7);
}

// The fewest digits from six to nine whose text strtod reads back within 2^-25 of the value: the
// single-precision texts must be those, whichever way the text is read back.
TEST(number_text_fastg, SingleTextsAreTheFewestDigitsThatReadBack) {
    std::mt19937_64 random(20261209);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::uniform_int_distribution<int> exponent(-30, 30);
    int failures = 0;
    for (int i = 0; i < 200000 && failures < 20; ++i) {
        const double scaled = unit(random) * std::pow(10.0, exponent(random));
        const double widened = (double)(float)scaled;
        const double scaledSingle = (double)(float)(360.0 * unit(random)) * 10.0;  // a float in cm, in mm
        // Values at rounding boundaries and at the ends of the ranges, each time.
        const double edge[] = {9.99999951,   99999.995, 123456.5, 1e22,    1e-22,       1e23,
                               (double)0.1f, FLT_MAX,   FLT_MIN,  DBL_MIN, -0.25881905, 128000.0078125};
        for (double v : {scaled, widened, scaledSingle, edge[i % 12]}) {
            char expected[64] = "";
            for (int p = 6; p <= 9; ++p) {
                std::snprintf(expected, sizeof expected, "%.*g", p, v);
                if (std::fabs(std::strtod(expected, nullptr) - v) < std::fabs(v) * 0x1p-25) break;
            }
            char got[64];
            VFormatDoubleGSingle(got, sizeof got, v);
            if (std::strcmp(got, expected) != 0) {
                ADD_FAILURE() << std::hexfloat << v << ": \"" << got << "\", expected \"" << expected << "\"";
                ++failures;
            }
        }
    }
    EXPECT_EQ(failures, 0);
}
