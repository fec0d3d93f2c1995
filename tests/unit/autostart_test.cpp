// Autostart registration: the check's four results and the registration,
// including values that do not fit the 256-byte buffer and letter case.
#include "provisioning/autostart.h"

#include <gtest/gtest.h>

#include "tests/fakes/provisioning_fixture.h"

namespace {

class Autostart : public ::testing::Test {
 protected:
  std::string Here() { return f.dir.File("relaytray.exe"); }
  fakes::ProvisioningFixture f;
};

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

struct CheckRow {
  const char* what;
  int valueLength;  // -1: no value; otherwise a value of that many bytes
  bool here;        // the value names this program's launcher
  bool otherCase;   // ... but in upper case
  int result;
};

TEST_F(Autostart, CheckTellsMissingHereAndElsewhere) {
  const CheckRow rows[] = {
      {"no value", -1, false, false, provisioning::kAutostartMissing},
      {"this directory", 0, true, false, provisioning::kAutostartHere},
      {"other letter case counts as another directory", 0, true, true,
       provisioning::kAutostartElsewhere},
      {"another directory", 0, false, false, provisioning::kAutostartElsewhere},
      {"255 bytes still fit", 255, false, false, provisioning::kAutostartElsewhere},
      {"256 bytes do not fit", 256, false, false, provisioning::kAutostartMissing},
      {"a much longer value", 5000, false, false, provisioning::kAutostartMissing},
  };
  for (const CheckRow& row : rows) {
    SCOPED_TRACE(row.what);
    fakes::ProvisioningFixture g;
    const std::string here = g.dir.File("relaytray.exe");
    if (row.here)
      g.fake.registry.Set(fakes::kRunKey, "portrelay", row.otherCase ? Upper(here) : here);
    else if (row.valueLength == 0)
      g.fake.registry.Set(fakes::kRunKey, "portrelay", "D:\\X\\relaytray.exe");
    else if (row.valueLength > 0)
      g.fake.registry.Set(fakes::kRunKey, "portrelay",
                          std::string(static_cast<size_t>(row.valueLength), 'v'));
    EXPECT_EQ(provisioning::CheckAutostart(g.service()), row.result);
  }
}

TEST_F(Autostart, ARunKeyThatCannotBeOpenedWithFullAccessGivesMinusOne) {
  f.fake.registry.Set(fakes::kRunKey, "portrelay", Here());
  f.fake.registry.DenyWrites(fakes::kRunKey);
  EXPECT_EQ(provisioning::CheckAutostart(f.service()), provisioning::kAutostartNoKey);
  // Registration fails silently too.
  provisioning::RegisterAutostart(f.service());
  EXPECT_EQ(f.fake.registry.Get(fakes::kRunKey, "portrelay"), Here());
}

TEST_F(Autostart, RegistrationNamesTheLauncherBesideTheProgram) {
  provisioning::RegisterAutostart(f.service());
  EXPECT_EQ(f.fake.registry.Get(fakes::kRunKey, "portrelay"), Here());
  EXPECT_EQ(provisioning::CheckAutostart(f.service()), provisioning::kAutostartHere);
  // The value is kept in the 64-bit view, where the uninstaller deletes it.
  EXPECT_EQ(f.fake.registry.opens.back(), std::string(fakes::kRunKey) + " [64]");
}

TEST_F(Autostart, RegistrationOverwritesAValueThatDidNotFit) {
  f.fake.registry.Set(fakes::kRunKey, "portrelay", std::string(300, 'v'));
  ASSERT_EQ(provisioning::CheckAutostart(f.service()), provisioning::kAutostartMissing);
  provisioning::RegisterAutostart(f.service());
  EXPECT_EQ(provisioning::CheckAutostart(f.service()), provisioning::kAutostartHere);
}

TEST_F(Autostart, TheLauncherPathKeepsTo255Characters) {
  const char sep = f.fake.files.PathSeparator();
  const std::string dir = std::string(1, sep) + std::string(250, 'd');
  f.fake.files.SetModuleFileName(dir + sep + "portrelay.exe");
  const std::string path = provisioning::LauncherPath(f.service());
  EXPECT_EQ(path.size(), 255u);
  EXPECT_EQ(path.substr(0, 252), dir + sep);
}

}  // namespace
