#include <gtest/gtest.h>

#include "common/Logger.h"
#include "common/StringTable.h"
#include "platform/fake/FakePlatform.h"

namespace {

const std::string kFolder = "C:\\Program Files\\Somnivex";
const std::string kDefaultLog = kFolder + "\\error.log";

class LoggerTest : public ::testing::Test {
  protected:
    LoggerTest() { files.AddFolder(kFolder); }
    BuiltInStringSource strings{ProgramKind::ScreenSaver};
    FakeFileSystem files;
    FakeMessageBoxUi ui;
    FakeClock clock;
    cLogger logger{LoggerDeps{strings, files, ui, clock, kFolder, "SCRNSAVE:Somnivex"}};
    const ErrorInfo error{-2147024894, "mSSMain", "The system cannot find the file specified."};
};

TEST_F(LoggerTest, StartsWithTheProgramFolderLogAndUnknownUserAndSwitchesOff) {
    EXPECT_EQ(logger.LogFile, kDefaultLog);
    EXPECT_EQ(logger.UserName, "<Unknown User>");
    EXPECT_FALSE(logger.ErrorLogging);
    EXPECT_FALSE(logger.MessageLogging);
    EXPECT_FALSE(logger.DebugLogging);
    EXPECT_EQ(logger.LogTextAt(11), "Fatal logging error.  ");
}

TEST_F(LoggerTest, ErrorBoxWithoutTextShowsNumberSourceAndDescription) {
    logger.LogError("", true, error);
    ASSERT_EQ(ui.shown.size(), 1u);
    // The full 32-bit number is shown, not a 16-bit remainder of it.
    EXPECT_EQ(ui.shown[0].text,
              "Error number: \t-2147024894\r\nLocation:     \tmSSMain\r\n"
              "The system cannot find the file specified.");
    EXPECT_EQ(ui.shown[0].title, "SCRNSAVE:Somnivex");
    EXPECT_EQ(ui.shown[0].style, mb::kOk | mb::kIconStop);
    EXPECT_EQ(files.OpenCount(), 0);  // error logging is off
}

TEST_F(LoggerTest, ErrorBoxWithTextShowsOnlyTheText) {
    logger.LogError("Couldn't load graphic.", true, error);
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].text, "Couldn't load graphic.");
}

TEST_F(LoggerTest, QuietErrorWithLoggingOffDoesNothing) {
    logger.LogError("text", false, error);
    EXPECT_TRUE(ui.shown.empty());
    EXPECT_EQ(files.OpenCount(), 0);
}

TEST_F(LoggerTest, ErrorRecordsHaveFiveLinesWithTextAndSevenWithout) {
    logger.ErrorLogging = true;
    logger.LogError("disk full", false, error);
    auto lines = files.Lines(kDefaultLog);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "*****Error*****Error*****Error*****Error*****Error*****Error");
    EXPECT_EQ(lines[0].size(), 60u);
    EXPECT_EQ(lines[1], "4/1/2000 10:41:49 PM - User: <Unknown User>");
    EXPECT_EQ(lines[2], "Error: disk full");
    EXPECT_EQ(lines[3], lines[0]);
    EXPECT_EQ(lines[4], "");

    logger.LogError("", false, error);
    lines = files.Lines(kDefaultLog);
    ASSERT_EQ(lines.size(), 12u);
    EXPECT_EQ(lines[7], "Error number: -2147024894");
    EXPECT_EQ(lines[8], "Location:     mSSMain");
    EXPECT_EQ(lines[9], "The system cannot find the file specified.");
    EXPECT_EQ(lines[10], lines[0]);
    EXPECT_EQ(lines[11], "");
    EXPECT_EQ(files.OpenNow(), 0);  // closed after each record
}

TEST_F(LoggerTest, MessageAndDebugRecords) {
    logger.MessageLogging = true;
    logger.DebugLogging = true;
    logger.UserName = "anna";
    clock.Advance(3'600'000 * 2);  // past midnight: 12:41:49 AM the next day
    logger.LogMessage("hello");
    logger.LogDebugMessage("tick");
    const auto lines = files.Lines(kDefaultLog);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], "4/2/2000 12:41:49 AM - User: anna");
    EXPECT_EQ(lines[1], "hello");
    EXPECT_EQ(lines[2], "");
    EXPECT_EQ(lines[3], "*****Debug*****");
    EXPECT_EQ(lines[4], lines[0]);
    EXPECT_EQ(lines[5], "Debug: tick");
    EXPECT_EQ(lines[6], "");
}

TEST_F(LoggerTest, SwitchedOffKindsWriteNothing) {
    logger.ErrorLogging = true;
    logger.LogMessage("m");
    logger.LogDebugMessage("d");
    EXPECT_EQ(files.OpenCount(), 0);
}

TEST_F(LoggerTest, UnwritableLogFileFallsBackToTheProgramFolder) {
    logger.ErrorLogging = true;
    logger.LogFile = "Z:\\nowhere\\my.log";
    files.DenyOpen("Z:\\nowhere\\my.log");
    logger.LogError("x", false, error);
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].text,
              "Couldn't open Z:\\nowhere\\my.log.  Sending log output to " + kDefaultLog + ".");
    EXPECT_EQ(ui.shown[0].style, mb::kOk | mb::kIconInformation);
    EXPECT_EQ(logger.LogFile, kDefaultLog);
    EXPECT_EQ(files.Lines(kDefaultLog).size(), 5u);

    logger.LogError("y", false, error);  // the fallback is now the log file: no new message
    EXPECT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(files.Lines(kDefaultLog).size(), 10u);
}

TEST_F(LoggerTest, BlankLogFileIsReportedAsMissing) {
    logger.MessageLogging = true;
    logger.LogFile = "   ";
    files.DenyOpen("   ");
    logger.LogMessage("m");
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].text,
              "Logfile location was missing.  Sending log output to " + kDefaultLog + ".");
}

TEST_F(LoggerTest, FatalErrorSwitchesLoggingOffForTheRun) {
    logger.ErrorLogging = logger.MessageLogging = logger.DebugLogging = true;
    logger.LogFile = "Z:\\x.log";
    files.DenyOpen("Z:\\x.log");
    files.DenyOpen(kDefaultLog);
    logger.LogError("first", false, error);
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].text, "Fatal logging error.  Z:\\x.log.");
    EXPECT_FALSE(logger.ErrorLogging);
    EXPECT_FALSE(logger.MessageLogging);
    EXPECT_FALSE(logger.DebugLogging);

    logger.LogMessage("later");
    logger.LogError("later", false, error);
    EXPECT_EQ(ui.shown.size(), 1u);  // no second logging message
    logger.LogError("shown", true, error);
    ASSERT_EQ(ui.shown.size(), 2u);  // the error box itself still appears
    EXPECT_EQ(ui.shown[1].text, "shown");
}

TEST_F(LoggerTest, FailedWriteClosesTheFileAndDropsTheRestOfTheRecord) {
    logger.ErrorLogging = true;
    files.FailWritesAfter(2);
    logger.LogError("x", false, error);
    EXPECT_EQ(files.Lines(kDefaultLog).size(), 2u);
    EXPECT_EQ(files.OpenNow(), 0);
    EXPECT_TRUE(ui.shown.empty());
}

TEST_F(LoggerTest, ReplacedTextsAreUsed) {
    logger.LogText(4, "!!");
    logger.LogText(12, "ignored");
    logger.LogText(-1, "ignored");
    logger.ErrorLogging = true;
    logger.LogError("x", false, error);
    EXPECT_EQ(files.Lines(kDefaultLog)[0], "!!!!!!!!!!!!");
}

}  // namespace
