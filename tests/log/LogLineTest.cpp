// Number forms and bounds of a state log line.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <cstdio>
#include <limits>
#include <string>

#include "LogTestUtil.h"
#include "log/LogLine.h"

namespace {

std::string Text(const tvlog::CLogLine& line) { return std::string(line.Data(), line.Length()); }

struct RealCase {
    double value;
    const char* text;
};

// Values chosen around the switches of the %g form: exponent form below
// 0.0001 and from 1000000 up (after rounding to six digits), trailing zeros
// and a trailing point dropped.
const RealCase kRealCases[] = {
    {204.0, "204"},
    {195.5, "195.5"},
    {196.0, "196"},
    {0.0, "0"},
    {1e-05, "1e-05"},
    {0.0001, "0.0001"},
    {0.00012345678, "0.000123457"},
    {1e+06, "1e+06"},
    {999999.0, "999999"},
    {999999.5, "1e+06"},
    {123456789.0, "1.23457e+08"},
    {1.0 / 3.0, "0.333333"},
    {-2.5, "-2.5"},
    {7.25e-300, "7.25e-300"},
    {1e+300, "1e+300"},
};

class RealForm : public ::testing::TestWithParam<RealCase> {};

TEST_P(RealForm, MatchesKnownText) {
    tvlog::CLogLine line;
    line.AddR(GetParam().value);
    EXPECT_EQ(Text(line), GetParam().text);
}

TEST_P(RealForm, MatchesPrintfG) {
    char expected[64];
    std::snprintf(expected, sizeof expected, "%g", GetParam().value);
    tvlog::CLogLine line;
    line.AddR(GetParam().value);
    EXPECT_EQ(Text(line), expected);
}

INSTANTIATE_TEST_SUITE_P(LogLine, RealForm, ::testing::ValuesIn(kRealCases));

TEST(LogLineRealForm, IgnoresTheProcessLocale) {
    // A locale with a decimal comma must not leak into the log. Without an
    // installed one, a German locale is compiled into a scratch directory.
    logtest::ScratchDir scratch;
    const char* chosen = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"})
        if (std::setlocale(LC_NUMERIC, name) != nullptr) {
            chosen = name;
            break;
        }
    if (chosen == nullptr && !scratch.Path.empty() && std::filesystem::exists("/usr/bin/localedef")) {
        const std::string target = scratch.Path + "/de_DE.UTF-8";
        std::filesystem::create_directory(target);
        const std::string command = "localedef -i de_DE -f UTF-8 '" + target + "' >/dev/null 2>&1";
        if (std::system(command.c_str()) == 0) {
            ::setenv("LOCPATH", scratch.Path.c_str(), 1);
            if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr) chosen = "de_DE.UTF-8 (compiled)";
        }
    }
    if (chosen == nullptr) {
        ::unsetenv("LOCPATH");
        GTEST_SKIP() << "no locale with a decimal comma is available";
    }
    char viaPrintf[32];
    std::snprintf(viaPrintf, sizeof viaPrintf, "%g", 195.5);
    tvlog::CLogLine line;
    line.AddR(195.5);
    std::setlocale(LC_NUMERIC, "C");
    ::unsetenv("LOCPATH");
    // The locale really is in force: printf itself writes a comma.
    EXPECT_STREQ(viaPrintf, "195,5") << "under " << chosen;
    EXPECT_EQ(Text(line), "195.5") << "under " << chosen;
}

TEST(LogLineIntegerForms, UnsignedAndSigned) {
    struct Case {
        bool isSigned;
        long long value;
        const char* text;
    };
    const Case cases[] = {
        {false, 0, "0"},
        {false, 65535, "65535"},
        {false, 4026531923LL, "4026531923"},
        {false, 4294967295LL, "4294967295"},
        {true, 0, "0"},
        {true, 64, "64"},
        {true, -216, "-216"},
        {true, -1, "-1"},
        {true, 2147483647LL, "2147483647"},
        {true, -2147483647LL - 1, "-2147483648"},
    };
    for (const Case& c : cases) {
        tvlog::CLogLine line;
        if (c.isSigned)
            line.AddS(static_cast<std::int32_t>(c.value));
        else
            line.AddU(static_cast<std::uint32_t>(c.value));
        EXPECT_EQ(Text(line), c.text) << c.value;
    }
}

TEST(LogLineBuilding, PiecesFollowEachOtherAndEndInCrLf) {
    tvlog::CLogLine line;
    line.Add("UnpackError = ").AddU(237384).Add(" / ").AddU(237600).Add(" = ").AddS(-216).End();
    EXPECT_EQ(Text(line), "UnpackError = 237384 / 237600 = -216\r\n");
    line.Clear();
    line.Add("Intel = ").AddU(1).End();
    EXPECT_EQ(Text(line), "Intel = 1\r\n");
}

TEST(LogLineBuilding, TextStopsAtItsLimitWithoutATerminator) {
    // A name array that lost its terminator is read only up to its size.
    const char name[4] = {'a', 'b', 'c', 'd'};
    char guarded[8] = {'a', 'b', 'c', 'd', 'X', 'Y', 'Z', '\0'};
    tvlog::CLogLine line;
    line.Add(name, sizeof name);
    EXPECT_EQ(Text(line), "abcd");
    line.Clear();
    line.Add(guarded, 4);
    EXPECT_EQ(Text(line), "abcd");
}

TEST(LogLineBuilding, OverlongTextIsCutAtTheCapacity) {
    std::string big(3 * tvlog::CLogLine::Capacity, 'x');
    tvlog::CLogLine line;
    line.Add("FileName = ").Add(big.c_str()).End();
    EXPECT_EQ(line.Length(), tvlog::CLogLine::Capacity - 1);
    EXPECT_EQ(line.Data()[line.Length()], '\0');
}

TEST(LogLineBuilding, LongestRealLineFits) {
    // A 260-character image name is the longest content a log line carries.
    std::string name(260, 'n');
    tvlog::CLogLine line;
    line.Add("FileName = ").Add(name.c_str()).End();
    EXPECT_EQ(Text(line), "FileName = " + name + "\r\n");
}

}  // namespace
