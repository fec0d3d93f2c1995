// The daily log: line format, level tags, file per day, the off switch and
// the safety of text that comes from outside the program.
#include "core/log.h"

#include <gtest/gtest.h>

#include "tests/fakes/fake_platform.h"
#include "tests/support/temp_dir.h"

namespace {

class LogTest : public ::testing::Test {
 protected:
  LogTest() {
    fake.files.SetModuleFileName(dir.File("portrelay.exe"));
    fake.clock.SetLocalBase({2026, 12, 8, 9, 5, 7, 42});
    enabled = 1;
  }
  std::string LogDir() { return dir.File("MainLog"); }
  std::string DayFile(const char* name) { return LogDir() + fake.files.PathSeparator() + name; }
  // The Windows build writes CR LF; compare without the CRs.
  std::string Read(const char* name) {
    std::string text = support::ReadFile(DayFile(name));
    std::string out;
    for (char c : text)
      if (c != '\r') out += c;
    return out;
  }

  support::TempDir dir;
  fakes::FakePlatform fake;
  core::ProgramDirectory directory{fake.files};
  std::atomic<int> enabled{0};
  core::Log log{fake.platform, directory, enabled};
};

TEST_F(LogTest, LineHasTimePrefixLevelTagAndMessage) {
  log.WriteLog(core::kLogDebug, "%s open success", "COM6");
  log.WriteLog(core::kLogNormal, "n");
  log.WriteLog(core::kLogChange, "c");
  log.WriteLog(core::kLogError, "e");
  log.WriteLog(7, "untagged");
  EXPECT_EQ(Read("2026_12_08.log"),
            "2026-12-08 09:05:07:042 : [DEBUG] : COM6 open success\n"
            "2026-12-08 09:05:07:042 : [NORMAL] : n\n"
            "2026-12-08 09:05:07:042 : [CHANGE] : c\n"
            "2026-12-08 09:05:07:042 : [ERROR] : e\n"
            "2026-12-08 09:05:07:042 : untagged\n");
}

TEST_F(LogTest, OffMeansNoDirectoryAndNoFile) {
  enabled = 0;
  log.WriteLog(core::kLogError, "nothing");
  EXPECT_FALSE(fake.files.DirectoryExists(LogDir()));
  EXPECT_TRUE(fake.files.appendedPaths().empty());
}

TEST_F(LogTest, MidnightStartsANewFile) {
  fake.clock.SetLocalBase({2026, 12, 31, 23, 59, 59, 999});
  log.WriteLog(core::kLogDebug, "last");
  fake.clock.Advance(1);
  log.WriteLog(core::kLogDebug, "first");
  EXPECT_EQ(Read("2026_12_31.log"), "2026-12-31 23:59:59:999 : [DEBUG] : last\n");
  EXPECT_EQ(Read("2027_01_01.log"), "2027-01-01 00:00:00:000 : [DEBUG] : first\n");
}

TEST_F(LogTest, OutsideTextIsNeverAFormat) {
  const std::string portName = "%s%n%x COM";
  log.WriteLog(core::kLogDebug, "%s Port ---", portName.c_str());
  EXPECT_EQ(Read("2026_12_08.log"), "2026-12-08 09:05:07:042 : [DEBUG] : %s%n%x COM Port ---\n");
}

TEST_F(LogTest, MessageIsCutAt1024Characters) {
  const std::string big(3000, 'm');
  log.WriteLog(core::kLogError, "%s", big.c_str());
  EXPECT_EQ(Read("2026_12_08.log"),
            "2026-12-08 09:05:07:042 : [ERROR] : " + std::string(1024, 'm') + "\n");
}

TEST_F(LogTest, LineFeedsInAMessageSpreadOverLines) {
  log.WriteLog(core::kLogError, "%s", "COM3 port : [Printing] first\nsecond");
  EXPECT_EQ(Read("2026_12_08.log"),
            "2026-12-08 09:05:07:042 : [ERROR] : COM3 port : [Printing] first\nsecond\n");
}

TEST_F(LogTest, UnwritableFileIsReportedToTheDebuggerOnlyWithItsCause) {
  fake.files.FailAppends(true);
  fake.files.scriptedError = platform::OsErrorFor(platform::OsCause::kNotFound);
  log.WriteLog(core::kLogError, "lost");
  ASSERT_EQ(fake.system.debugLines().size(), 1u);
  EXPECT_EQ(fake.system.debugLines()[0],
            "Fail to open file: " + platform::OsErrorText(fake.files.scriptedError) + " (error " +
                std::to_string(fake.files.scriptedError) + ")");
}

TEST_F(LogTest, LinesOfTwoThreadsNeverMix) {
  auto writer = [this](char c) {
    for (int i = 0; i < 200; ++i) log.WriteLog(core::kLogDebug, "%s", std::string(300, c).c_str());
  };
  std::thread a(writer, 'a'), b(writer, 'b');
  a.join();
  b.join();
  const std::string text = Read("2026_12_08.log");
  size_t lines = 0, start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    const std::string body = text.substr(start + 36, end - start - 36);
    EXPECT_TRUE(body == std::string(300, 'a') || body == std::string(300, 'b'));
    ++lines;
    start = end + 1;
  }
  EXPECT_EQ(lines, 400u);
}

}  // namespace
