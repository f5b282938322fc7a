#include <gtest/gtest.h>

#include <string>

#include "app/LogModel.h"

namespace tamblor {
namespace {

LogRecord Line(std::string text) { return {std::move(text), 0, false}; }
LogRecord Progress(std::string text, std::uint16_t value) { return {std::move(text), value, true}; }

TEST(LogModel, PlainLinesAreJoinedBySeparators) {
    CLogModel log;
    for (const char* text : {"one", "two", "three"}) log.OnLogRecord(Line(text));
    EXPECT_EQ(log.Text(), "one\r\ntwo\r\nthree");
    EXPECT_EQ(log.BreakCount(), 2);
}

TEST(LogModel, ProgressBecomesALineOnlyWhileTheLogHoldsAtMostOneLine) {
    CLogModel log;
    auto first = log.OnLogRecord(Progress("     0", 40));
    EXPECT_TRUE(first.textChanged);
    EXPECT_FALSE(first.moveBar);
    auto second = log.OnLogRecord(Progress("    59", 50));
    EXPECT_TRUE(second.textChanged);
    EXPECT_FALSE(second.moveBar);
    EXPECT_EQ(log.BreakCount(), 1);
    auto third = log.OnLogRecord(Progress("   118", 60));
    EXPECT_TRUE(third.moveBar);
    EXPECT_FALSE(third.textChanged);
    EXPECT_EQ(third.barValue, 60);
    EXPECT_EQ(log.Text(), "     0\r\n    59");
}

TEST(LogModel, ClearStartsAFreshLogWithoutSeparator) {
    CLogModel log;
    log.OnLogRecord(Line("old"));
    log.OnLogRecord(Line("older"));
    log.ClearLog();
    log.OnLogRecord(Line("Waiting..."));
    EXPECT_EQ(log.Text(), "Waiting...");
    EXPECT_EQ(log.BreakCount(), 0);
}

struct TrimCase {
    const char* name;
    std::string firstLine;
    std::string secondLine;
    int linesDropped;  // by the 502nd line
};

class LogTrim : public ::testing::TestWithParam<TrimCase> {};

TEST_P(LogTrim, TheLineBeyondTheCapDropsTheOldest) {
    const auto& c = GetParam();
    CLogModel log;
    log.OnLogRecord(Line(c.firstLine));
    log.OnLogRecord(Line(c.secondLine));
    for (int i = 3; i <= 501; ++i) log.OnLogRecord(Line("line " + std::to_string(i)));
    ASSERT_EQ(log.BreakCount(), 500);
    log.OnLogRecord(Line("line 502"));
    EXPECT_EQ(log.BreakCount(), 500);
    const std::string expectedHead = c.linesDropped == 1 ? c.secondLine + "\r\n" : "line 3\r\n";
    EXPECT_EQ(log.Text().substr(0, expectedHead.size()), expectedHead);
    EXPECT_TRUE(log.Text().ends_with("\r\nline 502"));
    std::size_t lines = 1;
    for (char ch : log.Text()) lines += ch == '\n';
    EXPECT_EQ(lines, 502u - static_cast<unsigned>(c.linesDropped));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LogTrim,
    ::testing::Values(TrimCase{"LongFirstLine", "a long first line", "second", 1},
                      TrimCase{"FiveCharacters", "12345", "second", 1},
                      // The cut starts looking at the seventh character, so a three-character
                      // first line takes the next line with it.
                      TrimCase{"ThreeCharacters", "abc", "ten chars!", 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LogModel, ProgressAtTheCapMovesTheBarWithoutTrimming) {
    CLogModel log;
    for (int i = 0; i <= 500; ++i) log.OnLogRecord(Line("x" + std::to_string(i)));
    const auto before = log.Text();
    const auto effect = log.OnLogRecord(Progress("  1234", 70000 & 0xFFFF));
    EXPECT_TRUE(effect.moveBar);
    EXPECT_EQ(effect.barValue, 4464);
    EXPECT_EQ(log.Text(), before);
}

}  // namespace
}  // namespace tamblor
