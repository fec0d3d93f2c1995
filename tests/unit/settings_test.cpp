// Settings store: defaults on first start, loading, conversions and the
// program directory.
#include "core/settings.h"

#include <gtest/gtest.h>

#include <climits>

#include "tests/fakes/fake_platform.h"
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
