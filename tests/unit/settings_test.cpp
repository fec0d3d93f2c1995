// Settings store: defaults on first start, loading, conversions and the
// program directory.
#include "core/settings.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/relay_service.h"
#include "tests/fakes/fake_link.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/recording_view.h"
#include "tests/fakes/scripted_prompt.h"
#include "tests/support/temp_dir.h"

namespace {

struct Conversion {
  const char* text;
  int value;
};

class ToIntTable : public ::testing::TestWithParam<Conversion> {};

TEST_P(ToIntTable, ConvertsLeadingDigits) {
  EXPECT_EQ(core::ToInt(GetParam().text), GetParam().value) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Settings, ToIntTable,
                         ::testing::Values(Conversion{"1000", 1000}, Conversion{"  42", 42},
                                           Conversion{"\t7", 7}, Conversion{"+15", 15},
                                           Conversion{"-20", -20}, Conversion{"12abc", 12},
                                           Conversion{"abc", 0}, Conversion{"", 0},
                                           Conversion{"- 5", 0},
                                           Conversion{"99999999999999999999", INT_MAX},
                                           Conversion{"-99999999999999999999", INT_MIN}));

TEST(SettingsConversion, FlagsAreOnOnlyForExactYes) {
  EXPECT_EQ(core::ToFlag("YES"), 1);
  for (const char* off : {"yes", "Yes", "Y", "YES ", "NO", "", "1"})
    EXPECT_EQ(core::ToFlag(off), 0) << off;
}

TEST(SettingsConversion, NegativeTimeoutReadsAsADword) {
  EXPECT_EQ(core::ToUnsigned("-1"), 0xFFFFFFFFu);
  EXPECT_EQ(core::ToUnsigned("abc"), 0u);
}

class SettingsLoad : public ::testing::Test {
 protected:
  SettingsLoad() { fake.files.SetModuleFileName(dir.File("portrelay.exe")); }
  void Load() { core::LoadSettings(settings, directory, fake.files, *fake.platform.profile); }

  support::TempDir dir;
  fakes::FakePlatform fake;
  core::ProgramDirectory directory{fake.files};
  core::RelaySettings settings;
};

TEST_F(SettingsLoad, FirstStartWritesExactlyTheEightDefaults) {
  Load();
  const std::string written = support::ReadFile(dir.File("Settings.ini"));
  const char* expected[] = {"Port=USB", "Timeout=1000", "Baudrate=9600", "Realtime=YES",
                            "Popup=NO", "LogFile=NO",   "Reprint=YES",   "ResultTimeout=10000"};
  size_t at = 0;
  for (const char* line : expected) {
    size_t found = written.find(line, at);
    ASSERT_NE(found, std::string::npos) << line << " in order in\n" << written;
    at = found;
  }
  EXPECT_EQ(written.find("IP="), std::string::npos);
  EXPECT_EQ(written.find("Journal"), std::string::npos);
  EXPECT_EQ(written.find("RecoverMinutes"), std::string::npos);
  EXPECT_EQ(settings.journalOn.load(), 1);
  EXPECT_EQ(settings.journalDaysKept.load(), 7);
  EXPECT_EQ(settings.journalMbKept.load(), 100);
  EXPECT_EQ(settings.recoverMinutesOn.load(), 10);
  EXPECT_EQ(settings.port, "USB");
  EXPECT_EQ(settings.receiveTimeoutMs.load(), 1000u);
  EXPECT_EQ(settings.baudRate.load(), 9600);
  EXPECT_EQ(settings.resultTimeoutMs.load(), 10000u);
  EXPECT_EQ(settings.realtimeOn.load(), 1);
  EXPECT_EQ(settings.popupOn.load(), 0);
  EXPECT_EQ(settings.logFileOn.load(), 0);
  EXPECT_EQ(settings.reprintOn.load(), 1);
  EXPECT_EQ(settings.settingsPath, dir.File("Settings.ini"));
  EXPECT_EQ(settings.portListsPath, dir.File("PortLists.ini"));
}

TEST_F(SettingsLoad, ExistingFileIsReadWithoutFillingDefaults) {
  support::WriteFile(dir.File("Settings.ini"),
                     "[Settings]\r\nPort=TCP/IP\nTimeout=abc\r\nRealtime=yes\r\nIP=10.0.0.9\r\n");
  Load();
  EXPECT_EQ(settings.port, "TCP/IP");
  EXPECT_EQ(settings.ip, "10.0.0.9");
  EXPECT_EQ(settings.receiveTimeoutMs.load(), 0u);  // non-numeric
  EXPECT_EQ(settings.baudRate.load(), 0);           // missing key
  EXPECT_EQ(settings.realtimeOn.load(), 0);         // lower case
  EXPECT_EQ(settings.reprintOn.load(), 0);          // missing flag is off
  EXPECT_EQ(settings.reprint, "");
  // Nothing was added to the user's file.
  EXPECT_EQ(support::ReadFile(dir.File("Settings.ini")).find("Baudrate"), std::string::npos);
}

TEST_F(SettingsLoad, TheJournalKeysAreReadWhenPresentAndBadCountsAreTheDefaults) {
  const struct {
    const char* body;
    int on, days, mb, minutes;
  } rows[] = {
      {"Journal=NO\nJournalDays=3\nJournalMB=20\nRecoverMinutes=0\n", 0, 3, 20, 0},
      {"Journal=yes\nJournalDays=0\nJournalMB=-5\nRecoverMinutes=-1\n", 1, 7, 100, 0},
      {"Journal=\nJournalDays=abc\nRecoverMinutes=90\n", 1, 7, 100, 90},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.body);
    const std::string body = std::string("[Settings]\nPort=USB\n") + row.body;
    support::WriteFile(dir.File("Settings.ini"), body);
    Load();
    EXPECT_EQ(settings.journalOn.load(), row.on);
    EXPECT_EQ(settings.journalDaysKept.load(), row.days);
    EXPECT_EQ(settings.journalMbKept.load(), row.mb);
    EXPECT_EQ(settings.recoverMinutesOn.load(), row.minutes);
    EXPECT_EQ(support::ReadFile(dir.File("Settings.ini")), body);
  }
}

TEST_F(SettingsLoad, JunkAndHugeValuesLoadWithinBounds) {
  using namespace std::string_literals;
  std::string junk = "\x01\xff\xfe[Settings\x00]\r\n"s;
  junk += "[Settings]\r\nPort=" + std::string(5000, 'P') + "\r\n\x7f\x80=\x90\r\nTimeout=77\n"s;
  support::WriteFile(dir.File("Settings.ini"), junk);
  Load();
  EXPECT_EQ(settings.port.size(), 1023u);
  EXPECT_EQ(settings.receiveTimeoutMs.load(), 77u);
}

TEST_F(SettingsLoad, ReadOnlyDirectoryKeepsTheDefaultsInMemory) {
  fake.files.SetModuleFileName(dir.File("missing-dir") + fake.files.PathSeparator() + "portrelay");
  Load();
  EXPECT_EQ(settings.port, "USB");
  EXPECT_EQ(settings.resultTimeoutMs.load(), 10000u);
}

TEST(ProgramDirectory, IsEverythingBeforeTheLastSeparator) {
  fakes::FakePlatform fake;
  const char sep = fake.files.PathSeparator();
  fake.files.SetModuleFileName(std::string("C:") + sep + "Kelvo" + sep + "portrelay.exe");
  core::ProgramDirectory directory(fake.files);
  EXPECT_EQ(directory.Get(), std::string("C:") + sep + "Kelvo");
  EXPECT_EQ(directory.PathOf("Settings.ini"),
            std::string("C:") + sep + "Kelvo" + sep + "Settings.ini");
}

TEST(ProgramDirectory, LongPathIsCutByTheBufferFirst) {
  fakes::FakePlatform fake;
  const char sep = fake.files.PathSeparator();
  // 250 characters of directory, then a separator at 250 and a long file name:
  // the buffer keeps 255 characters, so the directory is the first 250.
  std::string dir = std::string(1, sep) + std::string(249, 'd');
  fake.files.SetModuleFileName(dir + sep + std::string(40, 'f') + sep + "portrelay");
  core::ProgramDirectory directory(fake.files);
  EXPECT_EQ(directory.Get(), dir);
}

}  // namespace

namespace {

// The settings as start-up loads them: what the log says about a file that
// cannot be used as it stands.
class SettingsAtStartUp : public ::testing::Test {
 protected:
  SettingsAtStartUp() { fake.files.SetModuleFileName(dir.File("portrelay")); }
  void Load(const std::string& file) {
    support::WriteFile(dir.File("Settings.ini"), file);
    service = std::make_unique<core::RelayService>(fake.platform, view, prompt, link);
    service->LoadSettings();
  }
  std::string Log() {
    const std::string path = dir.File("MainLog") + fake.files.PathSeparator() + "2026_12_08.log";
    return fake.files.FileExists(path) ? support::ReadFile(path) : std::string();
  }

  support::TempDir dir;
  fakes::FakePlatform fake;
  fakes::RecordingView view;
  fakes::ScriptedPrompt prompt;
  fakes::FakeLink link;
  std::unique_ptr<core::RelayService> service;
};

// Timeout=-1 would read as 4294967295 ms and no job would ever end: values
// past the bounds are taken as the defaults, and the file keeps its text.
TEST_F(SettingsAtStartUp, TimeOutsPastTheirBoundsAreTheDefaultsAndLogged) {
  const struct {
    const char* timeout;
    const char* resultTimeout;
    uint32_t receiveMs;
    uint32_t resultMs;
    int notes;
  } rows[] = {
      {"-1", "-5", 1000, 10000, 2},
      {"60000", "600000", 60000, 600000, 0},
      {"60001", "600001", 1000, 10000, 2},
      {"99999999999", "0", 1000, 0, 1},
      {"0", "abc", 0, 0, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.timeout);
    std::filesystem::remove_all(dir.File("MainLog"));
    const std::string file = std::string("[Settings]\r\nLogFile=YES\r\nTimeout=") + row.timeout +
                             "\r\nResultTimeout=" + row.resultTimeout + "\r\n";
    Load(file);
    const core::RelaySettings& s = service->settings();
    EXPECT_EQ(s.receiveTimeoutMs.load(), row.receiveMs);
    EXPECT_EQ(s.resultTimeoutMs.load(), row.resultMs);
    EXPECT_EQ(s.timeout, row.timeout);
    EXPECT_EQ(support::ReadFile(dir.File("Settings.ini")), file);
    const std::string log = Log();
    int notes = 0;
    for (size_t at = log.find("[ERROR] : "); at != std::string::npos;
         at = log.find("[ERROR] : ", at + 1))
      ++notes;
    EXPECT_EQ(notes, row.notes) << log;
    if (row.receiveMs == 1000) {
      EXPECT_NE(
          log.find(std::string("Timeout=") + row.timeout + " in Settings.ini is out of range"),
          std::string::npos)
          << log;
    }
  }
}

// A Settings.ini that yields no [Settings] keys (another encoding, another
// section) leaves every setting empty; the log says so and names the file,
// although it cannot know whether logging was wanted.
TEST_F(SettingsAtStartUp, AFileWithoutSettingsIsNamedInTheLog) {
  using namespace std::string_literals;
  std::vector<std::string> files{"[Other]\r\nPort=COM3\r\n"s, ""s};
#ifndef _WIN32
  // Windows reads a UTF-16 file with its byte order mark itself.
  files.push_back("\xff\xfe[\0S\0e\0t\0t\0i\0n\0g\0s\0]\0\r\0\n\0P\0o\0r\0t\0=\0C\0O\0M\0003\0"s);
#endif
  for (const std::string& file : files) {
    std::filesystem::remove_all(dir.File("MainLog"));
    Load(file);
    EXPECT_EQ(service->settings().port, "");
    EXPECT_NE(Log().find("[ERROR] : " + dir.File("Settings.ini") + " holds no [Settings] keys"),
              std::string::npos)
        << Log();
  }
  std::filesystem::remove_all(dir.File("MainLog"));
  Load("[Settings]\r\nPort=COM3\r\n");
  EXPECT_EQ(Log(), "");  // LogFile is off, and the file is fine
}

}  // namespace
