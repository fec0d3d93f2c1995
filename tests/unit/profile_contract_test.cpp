// The private-profile contract the settings store relies on. The same suite
// runs against the POSIX implementation natively and against the Windows
// calls under Wine, so the two cannot drift apart.
#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "tests/support/temp_dir.h"

namespace {

class ProfileContract : public ::testing::Test {
 protected:
  platform::Profile& profile = *platform::Native().profile;
  support::TempDir dir;
  std::string file = dir.File("Test.ini");

  std::string Get(const std::string& section, const std::string& key, size_t size = 1024) {
    return profile.GetString(section, key, "", size, file);
  }
};

TEST_F(ProfileContract, MissingFileSectionOrKeyGivesTheFallback) {
  EXPECT_EQ(Get("Settings", "Port"), "");
  EXPECT_EQ(profile.GetString("Settings", "Port", "dflt", 1024, file), "dflt");
  support::WriteFile(file, "[Settings]\r\nPort=COM3\r\n");
  EXPECT_EQ(Get("Other", "Port"), "");
  EXPECT_EQ(Get("Settings", "Baudrate"), "");
}

TEST_F(ProfileContract, WritingToAMissingFileCreatesIt) {
  EXPECT_TRUE(profile.WriteString("Settings", "Port", "USB", file));
  EXPECT_EQ(Get("Settings", "Port"), "USB");
  EXPECT_NE(support::ReadFile(file).find("Port=USB"), std::string::npos);
}

TEST_F(ProfileContract, NamesMatchWithoutRegardToCase) {
  support::WriteFile(file, "[settings]\r\nrealTIME=YES\r\n");
  EXPECT_EQ(Get("Settings", "Realtime"), "YES");
  EXPECT_EQ(Get("SETTINGS", "REALTIME"), "YES");
  // ...but values keep their case.
  profile.WriteString("SETTINGS", "Realtime", "yes", file);
  EXPECT_EQ(Get("Settings", "realtime"), "yes");
}

TEST_F(ProfileContract, WritingOneKeyKeepsEveryOtherLine) {
  support::WriteFile(file,
                     "[Settings]\r\nPort=USB\r\nTimeout=1000\r\n\r\n[Ports]\r\nPort1=COM6\r\n");
  ASSERT_TRUE(profile.WriteString("Settings", "Timeout", "2500", file));
  EXPECT_EQ(Get("Settings", "Port"), "USB");
  EXPECT_EQ(Get("Settings", "Timeout"), "2500");
  EXPECT_EQ(Get("Ports", "Port1"), "COM6");

  ASSERT_TRUE(profile.WriteString("Settings", "IP", "127.0.0.1", file));
  ASSERT_TRUE(profile.WriteString("Extra", "Key", "v", file));
  EXPECT_EQ(Get("Settings", "IP"), "127.0.0.1");
  EXPECT_EQ(Get("Extra", "Key"), "v");
  EXPECT_EQ(Get("Settings", "Port"), "USB");
  EXPECT_EQ(Get("Ports", "Port1"), "COM6");
  const std::string text = support::ReadFile(file);
  EXPECT_EQ(text.find("Timeout=1000"), std::string::npos);
  EXPECT_NE(text.find("[Ports]"), std::string::npos);
}

TEST_F(ProfileContract, ValuesAreCutToTheBuffer) {
  const std::string longValue(2000, 'x');
  ASSERT_TRUE(profile.WriteString("Settings", "Port", longValue, file));
  EXPECT_EQ(Get("Settings", "Port"), std::string(1023, 'x'));
  EXPECT_EQ(Get("Settings", "Port", 8), std::string(7, 'x'));
}

TEST_F(ProfileContract, BlanksAroundValuesAndLineEndsDoNotCount) {
  support::WriteFile(file, "[Settings]\nPort = COM3  \r\nTimeout=1000\n");
  EXPECT_EQ(Get("Settings", "Port"), "COM3");
  EXPECT_EQ(Get("Settings", "Timeout"), "1000");
}

TEST_F(ProfileContract, EmptyValueIsWrittenAndReadAsEmpty) {
  ASSERT_TRUE(profile.WriteString("Ports", "Port1", "", file));
  EXPECT_EQ(profile.GetString("Ports", "Port1", "dflt", 1024, file), "");
}

}  // namespace
