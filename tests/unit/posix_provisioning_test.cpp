// The POSIX side of provisioning against real files: the registry stand-in
// (format, sharing, permissions, the Run key's autostart entries), the
// program map of the com0com programs, starting programs, installing a
// pseudo-terminal pair and listing the port map's ports.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "platform/posix/autostart_entry.h"
#include "platform/posix/native.h"
#include "platform/posix/port_enumerator.h"
#include "platform/posix/processes.h"
#include "platform/posix/registry.h"
#include "platform/posix/virtual_pair.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;
const char* const kPairKey =
    "SYSTEM\\CurrentControlSet\\Enum\\com0com\\port\\CNCA0\\Device Parameters";
const char* const kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

std::string Read(platform::Registry& registry, const std::string& key, const std::string& name) {
  std::unique_ptr<platform::RegistryKey> k;
  if (registry.OpenKey(key, platform::kKeyRead, true, k) != 0) return "<no key>";
  uint32_t size = 0;
  std::string data;
  if (k->QueryValueSize(name, size) != 0) return "<no value>";
  if (k->QueryValue(name, size, data) != 0) return "<unreadable>";
  return data;
}

class RegistryFile : public ::testing::Test {
 protected:
  std::string File() { return dir.File("registry.reg"); }
  std::unique_ptr<platform::Registry> Open() {
    return platform::posix::MakeRegistry(File(), dir.File("autostart"));
  }
  support::TempDir dir;
};

TEST_F(RegistryFile, AFreshMachineHasOnlyTheRunKey) {
  auto registry = Open();
  std::unique_ptr<platform::RegistryKey> key;
  EXPECT_EQ(registry->OpenKey(kRunKey, platform::kKeyAllAccess, true, key), 0);
  EXPECT_EQ(registry->OpenKey("software\\microsoft", platform::kKeyRead, true, key), 0);
  EXPECT_EQ(registry->OpenKey(kPairKey, platform::kKeyRead, true, key), platform::kRegNotFound);
  EXPECT_FALSE(fs::exists(File()));
}

TEST_F(RegistryFile, ValuesAreKeptInRegeditFormatAndSharedWithOtherProcesses) {
  auto writer = Open();
  std::unique_ptr<platform::RegistryKey> key;
  ASSERT_EQ(writer->CreateKey(kPairKey, true, key), 0);
  ASSERT_EQ(key->SetString("PortName", "COM5"), 0);
  EXPECT_EQ(support::ReadFile(File()),
            "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\com0com\\port\\"
            "CNCA0\\Device Parameters]\n\"PortName\"=\"COM5\"\n");
  auto reader = Open();  // what another process sees
  EXPECT_EQ(Read(*reader, kPairKey, "PortName"), "COM5");
  EXPECT_EQ(Read(*reader,
                 "system\\currentcontrolset\\enum\\COM0COM\\port\\cnca0\\device "
                 "parameters",
                 "portname"),
            "COM5");
  ASSERT_EQ(key->SetString("PortName", "COM7"), 0);
  EXPECT_EQ(Read(*reader, kPairKey, "PortName"), "COM7");
  std::unique_ptr<platform::RegistryKey> port;
  ASSERT_EQ(reader->OpenKey("SYSTEM\\CurrentControlSet\\Enum\\com0com\\port", platform::kKeyRead,
                            true, port),
            0);
  Names names;
  port->SubkeyNames(names);
  EXPECT_EQ(names, Names{"CNCA0"});
}

TEST_F(RegistryFile, AnyTextSurvivesTheRoundTripAndBuffersAreRespected) {
  auto registry = Open();
  std::unique_ptr<platform::RegistryKey> key;
  ASSERT_EQ(registry->CreateKey("A\\B", true, key), 0);
  const std::string odd = "q\"uote\\back\nline\ttab\x01" + std::string("\x7f end");
  ASSERT_EQ(key->SetString("odd \"name\"", odd), 0);
  EXPECT_EQ(Read(*Open(), "A\\B", "odd \"name\""), odd);
  std::string data;
  EXPECT_EQ(key->QueryValue("odd \"name\"", 3, data), platform::kRegMoreData);
  EXPECT_EQ(key->DeleteValue("ODD \"NAME\""), 0);
  EXPECT_EQ(key->DeleteValue("odd \"name\""), platform::kRegNotFound);
}

TEST_F(RegistryFile, DamagedLinesAreSkipped) {
  support::WriteFile(File(),
                     "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"a\"=\"1\"\nnonsense\n\"b\"=\"un"
                     "terminated\n[broken\n\"c\"=\"3\"\n");
  auto registry = Open();
  EXPECT_EQ(Read(*registry, "K", "a"), "1");
  EXPECT_EQ(Read(*registry, "K", "b"), "<no value>");
}

TEST_F(RegistryFile, AReadOnlyFilePlaysAUserWithoutAdministratorRights) {
  auto registry = Open();
  std::unique_ptr<platform::RegistryKey> key;
  ASSERT_EQ(registry->CreateKey(kPairKey, true, key), 0);
  ASSERT_EQ(key->SetString("PortName", "COM5"), 0);
  fs::permissions(File(), fs::perms::owner_read | fs::perms::group_read);
  EXPECT_EQ(registry->OpenKey(kRunKey, platform::kKeyAllAccess, true, key),
            platform::kRegAccessDenied);
  EXPECT_EQ(registry->OpenKey(kRunKey, platform::kKeyWrite, true, key), platform::kRegAccessDenied);
  EXPECT_EQ(Read(*registry, kPairKey, "PortName"), "COM5");
  ASSERT_EQ(registry->OpenKey(kPairKey, platform::kKeyRead, true, key), 0);
  EXPECT_EQ(key->SetString("PortName", "COM9"), platform::kRegAccessDenied);
  EXPECT_EQ(registry->LastError(), EACCES);
  EXPECT_EQ(registry->OpenKey("SOFTWARE\\Nothing", platform::kKeyRead, true, key),
            platform::kRegNotFound);
  EXPECT_EQ(registry->LastError(), ENOENT);
}

TEST_F(RegistryFile, RunValuesBecomeAutostartEntries) {
  auto registry = Open();
  std::unique_ptr<platform::RegistryKey> key;
  ASSERT_EQ(registry->OpenKey(kRunKey, platform::kKeyWrite, true, key), 0);
  ASSERT_EQ(key->SetString("portrelay", "/opt/pos relay/relaytray"), 0);
  const std::string entry = support::ReadFile(dir.File("autostart/portrelay.desktop"));
  EXPECT_NE(entry.find("[Desktop Entry]\nType=Application\n"), std::string::npos);
  EXPECT_NE(entry.find("\nExec=\"/opt/pos relay/relaytray\"\n"), std::string::npos) << entry;
  ASSERT_EQ(key->DeleteValue("portrelay"), 0);
  EXPECT_FALSE(fs::exists(dir.File("autostart/portrelay.desktop")));
  // Other keys never touch the autostart folder.
  ASSERT_EQ(registry->CreateKey("SOFTWARE\\Other", true, key), 0);
  ASSERT_EQ(key->SetString("portrelay", "/x"), 0);
  EXPECT_FALSE(fs::exists(dir.File("autostart/portrelay.desktop")));
}

TEST(DesktopExec, QuotesAndEscapesThePath) {
  EXPECT_EQ(platform::posix::DesktopExecValue("/a b/c"), "\"/a b/c\"");
  EXPECT_EQ(platform::posix::DesktopExecValue("/a\"$`\\%/x"), "\"/a\\\\\"\\\\$\\\\`\\\\\\\\%%/x\"");
}

struct MapRow {
  const char* commandLine;
  Names args;
};

TEST(ProgramMap, TheComZeroComProgramsArePlayedByPairsetup) {
  const MapRow rows[] = {
      {"Setup_com0com_v3.0.0.0_x64_signed.exe", {"/inst/pairsetup"}},
      {"setup_COM0COM_v3.0.0.0_x86_signed.exe /S", {"/inst/pairsetup"}},
      {"\"C:\\Program Files\\X\\setupc.exe\" --output \"C:\\Program Files\\X\\q.tmp\" install "
       "PortName=COM# PortName=COM#",
       {"/inst/pairsetup", "--output", "C:\\Program Files\\X\\q.tmp", "install", "PortName=COM#",
        "PortName=COM#"}},
      {"other.exe a", {"/inst/other.exe", "a"}},
      {"/usr/bin/true", {"/usr/bin/true"}},
  };
  for (const MapRow& row : rows) {
    SCOPED_TRACE(row.commandLine);
    EXPECT_EQ(platform::posix::MapCommandLine(row.commandLine, "/inst"), row.args);
  }
}

TEST(Processes, StartWaitAndTheErrorsCallersTellApart) {
  support::TempDir dir;
  auto processes = platform::posix::MakeProcesses(dir.path());
  std::unique_ptr<platform::Process> process;
  EXPECT_EQ(processes->Start("Setup_com0com_v3.0.0.0_x64_signed.exe", process),
            platform::kErrorFileNotFound);
  EXPECT_EQ(processes->LastError(), ENOENT);
  EXPECT_EQ(processes->RunElevatedHidden(dir.File("setupc.exe"), "--output x preinstall"),
            platform::kErrorFileNotFound);

  support::WriteFile(dir.File("pairsetup"),
                     "#!/bin/sh\necho \"$@\" > \"$(dirname \"$0\")/args\"\n"
                     "exit 3\n");
  fs::permissions(dir.File("pairsetup"), fs::perms::owner_all);
  ASSERT_EQ(processes->Start("Setup_com0com_v3.0.0.0_x64_signed.exe", process), 0);
  EXPECT_EQ(process->WaitForEnd(), 3u);
  support::WriteFile(dir.File("crash"), "#!/bin/sh\nkill -SEGV $$\n");
  fs::permissions(dir.File("crash"), fs::perms::owner_all);
  ASSERT_EQ(processes->Start("crash", process), 0);
  EXPECT_EQ(process->WaitForEnd(), 128u + 11u);
  EXPECT_EQ(processes->ProgramFileName("relaytray"), "relaytray");
}

// Files and INI files keep the errno of their last failure for the log.
TEST(FilesAndProfile, KeepTheOsErrorOfTheLastFailure) {
  support::TempDir dir;
  platform::posix::PosixFiles files;
  platform::posix::PosixProfile profile;
  EXPECT_FALSE(files.RemoveFile(dir.File("missing")));
  EXPECT_EQ(files.LastError(), ENOENT);
  EXPECT_FALSE(files.MakeDirectory(dir.path()));
  EXPECT_EQ(files.LastError(), EEXIST);
  EXPECT_FALSE(files.AppendText(dir.path(), "line\n"));
  EXPECT_EQ(files.LastError(), EISDIR);
  EXPECT_FALSE(profile.WriteString("Settings", "Port", "USB", dir.File("none/Settings.ini")));
  EXPECT_EQ(profile.LastError(), ENOENT);
}

TEST(VirtualPair, InstallsTheNextPairWithTheNextFreeNames) {
  support::TempDir dir;
  const std::string map = dir.File("dosdevices");
  fs::create_directory(map);
  fs::create_symlink("/dev/null", map + "/com1");  // a real serial port of the machine
  auto registry = platform::posix::MakeRegistry(dir.File("registry.reg"), "");
  platform::posix::InstalledPair pair;
  ASSERT_EQ(platform::posix::InstallVirtualPair(*registry, map, "", "COM#", pair), 0);
  EXPECT_EQ(pair.index, 0);
  EXPECT_EQ(pair.applicationEnd, "COM2");
  EXPECT_EQ(pair.relayEnd, "COM3");
  EXPECT_EQ(fs::read_symlink(map + "/com3").string(), "pty:com2");
  EXPECT_EQ(Read(*registry, kPairKey, "PortName"), "COM2");

  ASSERT_EQ(platform::posix::InstallVirtualPair(*registry, map, "COM9", "", pair), 0);
  EXPECT_EQ(pair.index, 1);
  EXPECT_EQ(pair.applicationEnd, "COM9");
  EXPECT_EQ(pair.relayEnd, "COM4");
  EXPECT_EQ(
      Read(*registry, "SYSTEM\\CurrentControlSet\\Enum\\com0com\\port\\CNCB1\\Device Parameters",
           "PortName"),
      "COM4");
}

TEST(PortEnumerator, ListsThePortMapUnderWindowsNames) {
  support::TempDir dir;
  for (const char* device : {"com10", "com3", "lpt1"})
    fs::create_symlink("/dev/null", dir.File(device));
  fs::create_symlink("pty:com5", dir.File("com6"));
  for (const char* junk : {".com6.lock", "com6.new42", "console", "comx"})
    support::WriteFile(dir.File(junk), "");
  Names ports;
  ASSERT_EQ(platform::posix::MakePortEnumerator(dir.path())->ListPorts(ports), 0);
  EXPECT_EQ(ports, (Names{"COM3:", "COM5:", "COM6:", "COM10:", "LPT1:"}));
}

}  // namespace
