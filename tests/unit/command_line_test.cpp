// Splitting the command line, upper-casing and reading the switches into the run settings.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <string_view>
#include <vector>

#include "command_line.h"

namespace haltix {
namespace {

using Tokens = std::vector<std::string>;

Tokens ArgumentsOf(const std::string& line) {
    Tokens tokens = SplitCommandLine(line);
    if (!tokens.empty()) tokens.erase(tokens.begin());
    return tokens;
}

RunSettings Parse(const std::string& arguments) {
    RunSettings settings;
    ParseCommandLine(ArgumentsOf("haltix.exe " + arguments), settings);
    return settings;
}

struct SplitCase {
    std::string name;
    std::string line;
    Tokens expected;
};

class SplitCommandLineTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandLineTest, CutsArguments) {
    EXPECT_EQ(ArgumentsOf(GetParam().line), GetParam().expected);
}

std::string LongRun(std::size_t length, char fill = 'a') { return std::string(length, fill); }

INSTANTIATE_TEST_SUITE_P(
    Rules, SplitCommandLineTest,
    ::testing::Values(
        SplitCase{"NoArguments", "haltix.exe", {}},
        SplitCase{"OnlySeparators", "haltix.exe  \t\r\n ", {}},
        SplitCase{"EmptyQuotePair", "haltix.exe \"\"", {}},
        SplitCase{"QuotePairsBeforeArgument", "haltix.exe \"\" \"\"\"\"/s", {"/s"}},
        SplitCase{"Blanks", "haltix.exe /s /r", {"/s", "/r"}},
        SplitCase{"EveryControlByteSeparates",
                  "haltix.exe /s\t/r\x01/l\x1F/p\r\n/f",
                  {"/s", "/r", "/l", "/p", "/f"}},
        SplitCase{"HighBytesBelong",
                  "haltix.exe /m:\x83\x56\x7F\xFF\x81\x40",
                  {"/m:\x83\x56\x7F\xFF\x81\x40"}},
        SplitCase{"QuotedWholeArgument", "haltix.exe \"/m:a b\" /s", {"/m:a b", "/s"}},
        SplitCase{"QuotedStretchInside", "haltix.exe /m:\"a b\"c\"\td\"", {"/m:a bc\td"}},
        SplitCase{"EmptyStretchInside", "haltix.exe /m:\"\"", {"/m:"}},
        SplitCase{"UnclosedQuoteRunsToEnd", "haltix.exe \"/m:abc /s", {"/m:abc /s"}},
        SplitCase{"SwitchAgainstProgramBelongsToIt", "haltix.exe/s", {}},
        SplitCase{"QuotedProgramPath", "\"C:\\Program Files\\haltix.exe\" /s", {"/s"}},
        SplitCase{"NulEndsTheLine", std::string("haltix.exe /s\0/r", 16), {"/s"}},
        SplitCase{"UsageExample",
                  "haltix /p /f /t:60 /u \"/m:This system will shut down in 60 seconds.\"",
                  {"/p", "/f", "/t:60", "/u", "/m:This system will shut down in 60 seconds."}},
        SplitCase{"ExactlyTheLimit", "haltix.exe " + LongRun(4096), {LongRun(4096)}},
        SplitCase{"UnquotedPastTheLimit",
                  "haltix.exe " + LongRun(4096) + "bc d",
                  {LongRun(4096), "bc", "d"}},
        // A quoted stretch is cut at the limit too; the rest of it reads as unquoted text.
        SplitCase{"QuotedPastTheLimit",
                  "haltix.exe \"" + LongRun(4095) + "xy z\" w",
                  {LongRun(4095) + "x", "y", "z w"}},
        SplitCase{"QuoteClosingAtTheLimit",
                  "haltix.exe \"" + LongRun(4096) + "\"y",
                  {LongRun(4096), "y"}}),
    [](const auto& testInfo) { return testInfo.param.name; });

TEST(SplitCommandLineTest, FiveThousandByteNoticeKeepsTheFirst4093BytesAfterTheSwitch) {
    const std::string text = LongRun(4093, 'm') + LongRun(904, 'n');
    const RunSettings settings = Parse("/m:" + text + " /s");
    EXPECT_EQ(settings.NoticeText, LongRun(4093, 'm'));
    EXPECT_EQ(settings.ShutdownFlags, EwxShutdown);
    EXPECT_EQ(ArgumentsOf("haltix.exe /m:" + text)[1], LongRun(904, 'n'));
}

TEST(UpperCaseAnsiTest, UpperCasesSingleByteLettersOnly) {
    EXPECT_EQ(UpperCaseAnsi("/s/t:ab1z"), "/S/T:AB1Z");
    // The second byte of a double-byte character is not a letter, even where it looks like one.
    EXPECT_EQ(UpperCaseAnsi("\x83\x61x\x82\x7A"), "\x83\x61X\x82\x7A");
    EXPECT_EQ(UpperCaseAnsi("ab\x83"), "AB\x83");
    EXPECT_EQ(UpperCaseAnsi("\xB1\xDFq"), "\xB1\xDFQ");  // half-width katakana are single bytes
}

struct ParseCase {
    std::string name;
    std::string arguments;
    std::int32_t flags;
    bool force;
    std::int32_t timeout;
    bool unstoppable;
    std::string_view notice;
};

class ParseCommandLineTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseCommandLineTest, FillsSettings) {
    const ParseCase& c = GetParam();
    const RunSettings settings = Parse(c.arguments);
    EXPECT_EQ(settings.ShutdownFlags, c.flags);
    EXPECT_EQ(settings.ForceClose, c.force);
    EXPECT_EQ(settings.TimeoutSeconds, c.timeout);
    EXPECT_EQ(settings.Unstoppable, c.unstoppable);
    EXPECT_EQ(settings.NoticeText, c.notice);
}

constexpr std::string_view Default = DefaultNoticeText;

INSTANTIATE_TEST_SUITE_P(
    Switches, ParseCommandLineTest,
    ::testing::Values(
        ParseCase{"Nothing", "", -1, false, 0, false, Default},
        ParseCase{"Logoff", "/L", 0, false, 0, false, Default},
        ParseCase{"Poweroff", "/p", 8, false, 0, false, Default},
        ParseCase{"Reboot", "/R", 2, false, 0, false, Default},
        ParseCase{"Shutdown", "/s", 1, false, 0, false, Default},
        ParseCase{"LastActionWins", "/S /R", 2, false, 0, false, Default},
        ParseCase{"LastActionWinsAgain", "/r /l", 0, false, 0, false, Default},
        ParseCase{"ShutdownRebootShutdown", "/S /R /S", 1, false, 0, false, Default},
        ParseCase{"ForceAloneChoosesNothing", "/f /t:10", -1, true, 10, false, Default},
        ParseCase{"Unstoppable", "/u /s", 1, false, 0, true, Default},
        ParseCase{"TrailingColonIgnored", "/s:", -1, false, 0, false, Default},
        ParseCase{"LongerWordIgnored", "/sx /shutdown", -1, false, 0, false, Default},
        ParseCase{"QuotedTrailingBlankIgnored", "\"/s \"", -1, false, 0, false, Default},
        ParseCase{"MinusIsNotASlash", "-s", -1, false, 0, false, Default},
        ParseCase{"GluedSwitchesIgnored", "/S/F /sf", -1, false, 0, false, Default},
        ParseCase{"TimeoutWithoutColonIgnored", "/t 10 /s", 1, false, 0, false, Default},
        ParseCase{"InvalidTimeoutResets", "/t:10 /t:abc", -1, false, 0, false, Default},
        ParseCase{"ValidTimeoutAfterInvalid", "/t:abc /t:10", -1, false, 10, false, Default},
        ParseCase{"SeparateValueIgnored", "/t: 10", -1, false, 0, false, Default},
        ParseCase{"QuotedBlankBeforeValue", "\"/t: 10\"", -1, false, 10, false, Default},
        ParseCase{"NegativeTimeout", "/T:-5", -1, false, -5, false, Default},
        ParseCase{"HexTimeout", "/T:$80000000", -1, false, INT_MIN, false, Default},
        ParseCase{"TimeoutValueKeepsItsCase", "/t:x1e", -1, false, 30, false, Default},
        ParseCase{"EmptyNotice", "/m:", -1, false, 0, false, ""},
        ParseCase{"EmptyQuotedNotice", "/m:\"\"", -1, false, 0, false, ""},
        ParseCase{"NoticeKeepsCase", "/M:Abc", -1, false, 0, false, "Abc"},
        ParseCase{"NoticeSecondWordIgnored", "/m:two words /l", 0, false, 0, false, "two"},
        ParseCase{"LaterNoticeWins", "/m:a /m:b", -1, false, 0, false, "b"},
        ParseCase{"NoticeInCodePage932", "/m:\x83\x65\x83\x58\x83\x67", -1, false, 0, false,
                  "\x83\x65\x83\x58\x83\x67"},
        ParseCase{"UnclosedQuoteSwallowsSwitches", "\"/m:abc /s", -1, false, 0, false, "abc /s"},
        ParseCase{"UsageExample", "/p /f /t:60 /u \"/m:This system will shut down in 60 seconds.\"",
                  8, true, 60, true, "This system will shut down in 60 seconds."}),
    [](const auto& testInfo) { return testInfo.param.name; });

}  // namespace
}  // namespace haltix
