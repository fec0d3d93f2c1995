// Pair installation: the architecture detection, the installer per
// architecture with its log line, the wait for it and the adding-mode refresh,
// an installer that cannot be started, crashes or is cancelled, and the four
// elevated setupc commands.
#include "provisioning/pair_installation.h"

#include <gtest/gtest.h>

#include "core/controls.h"
#include "core/texts.h"
#include "platform/os_error.h"
#include "tests/fakes/provisioning_fixture.h"

namespace {

using Names = std::vector<std::string>;
const char* const kX64 = "Setup_com0com_v3.0.0.0_x64_signed.exe";
const char* const kX86 = "Setup_com0com_v3.0.0.0_x86_signed.exe";

struct ArchitectureRow {
  const char* what;
  bool versionKnown;
  uint32_t platformId, major, minor;
  int processor;
  bool productInfo;
  uint32_t productType;
  int result;
  int code;  // the processor's code, -1 for one no installer is for
};

TEST(DetectArchitecture, ClassifiesTheProcessorAndThePlatform) {
  const ArchitectureRow rows[] = {
      {"x64", true, 2, 10, 0, 9, true, 0, 1, 1},
      {"x86", true, 2, 6, 1, 0, true, 0, 1, 0},
      {"IA-64", true, 2, 5, 2, 6, true, 0, 1, 2},
      {"other processors: no code (the state keeps its own)", true, 2, 10, 0, 12, true, 0, 1, -1},
      {"version query fails: nothing touched", false, 2, 10, 0, 9, true, 0, -1, -1},
      {"Windows 9x", true, 1, 4, 10, 0, true, 0, 1, 0},
      {"Win32s", true, 0, 3, 1, 0, true, 0, 1, 0},
      {"unknown platform", true, 3, 10, 0, 9, true, 0, -1, 1},
      {"NT 6.0 Itanium server product", true, 2, 6, 0, 9, true, 15, 1, 2},
      {"NT 6.0 other product", true, 2, 6, 0, 9, true, 7, 1, 1},
      {"NT 6.0 without GetProductInfo", true, 2, 6, 0, 0, false, 15, 1, 0},
      {"product type counts only on 6.0", true, 2, 6, 1, 9, true, 15, 1, 1},
  };
  for (const ArchitectureRow& row : rows) {
    SCOPED_TRACE(row.what);
    fakes::FakePlatform f;
    f.processes.versionKnown = row.versionKnown;
    f.processes.version = {row.platformId, row.major, row.minor};
    f.processes.processor = row.processor;
    f.processes.hasProductInfo = row.productInfo;
    f.processes.productType = row.productType;
    const provisioning::ArchitectureFound found = provisioning::DetectArchitecture(f.processes);
    EXPECT_EQ(found.result, row.result);
    EXPECT_EQ(found.code, row.code);
  }
}

class PairInstallation : public ::testing::Test {
 protected:
  // Start-up without a pair: the relay runs without a port. The installation
  // start-up would run is left to the test.
  void StartWithoutPair() {
    f.fake.processes.startError = 2;
    ASSERT_EQ(f.dialog->OnInitDialog(), 1);
    f.fake.processes.started.clear();
    f.clock.ForgetSleeps();
    f.view.calls.clear();
    f.view.progress.clear();
    mark = f.Shown().size();
  }
  // The messages shown since StartWithoutPair.
  Names Since() {
    const Names all = f.Shown();
    return Names(all.begin() + static_cast<long>(std::min(mark, all.size())), all.end());
  }
  // An installer that registers pair 0 as com0com's does.
  void InstallerCreates(const char* installer, std::string app, std::string relay) {
    f.fake.processes.programs[installer].onEnd = [this, app, relay] {
      f.SetPair(app, relay);
      f.PreparePort(relay);
    };
  }
  void Install() { provisioning::InstallPortPair(f.service(), f.state()); }

  fakes::ProvisioningFixture f;
  size_t mark = 0;
};

TEST_F(PairInstallation, A64BitSystemRunsTheX64InstallerAndOpensTheNewRelayEnd) {
  StartWithoutPair();
  InstallerCreates(kX64, "COM5", "COM6");
  Install();
  EXPECT_EQ(f.fake.processes.started, Names{kX64});
  EXPECT_EQ(f.fake.processes.ended.size(), 1u);
  EXPECT_NE(f.Log().find("[CHANGE] : Start add DOVI Port(64bit)"), std::string::npos);
  EXPECT_EQ(f.state().addingMode, 1);
  EXPECT_EQ(f.PortList(), "[Ports]\nPort1=COM6\n");
  EXPECT_EQ(f.service().ports().count, 1);
  EXPECT_NE(f.service().ports().handles[0], nullptr);
  EXPECT_EQ(f.service().ports().Name(0), "COM6");
  EXPECT_EQ(f.List(core::controls::kAppPortList), Names{"COM5"});
  EXPECT_TRUE(f.service().worker().running());
  // Stop (1000), the installation settles (4000), no rescan, reopen.
  EXPECT_EQ(f.clock.sleeps(), (std::vector<uint32_t>{1000, 4000, 1500, 100}));
  EXPECT_EQ(f.Shown().back(), core::texts::kChangesDone.english);
  EXPECT_EQ(f.view.calls.back(), "restore from tray");
}

TEST_F(PairInstallation, A32BitSystemRunsTheX86Installer) {
  f.fake.processes.processor = platform::kProcessorIntel;
  StartWithoutPair();
  InstallerCreates(kX86, "COM3", "COM4");
  Install();
  EXPECT_EQ(f.fake.processes.started, Names{kX86});
  EXPECT_NE(f.Log().find("[CHANGE] : Start add DOVI Port(32bit)"), std::string::npos);
  EXPECT_EQ(f.PortList(), "[Ports]\nPort1=COM4\n");
}

TEST_F(PairInstallation, AnUnknownProcessorKeepsTheCodeAnEarlierInstallationFound) {
  StartWithoutPair();
  Install();  // x64, found by this first installation
  f.fake.processes.started.clear();
  f.fake.processes.processor = 12;  // a processor no installer is for
  Install();
  EXPECT_EQ(f.fake.processes.started, Names{kX64});
  EXPECT_EQ(f.state().architecture, provisioning::kArchitectureX64);
}

TEST_F(PairInstallation, AnItaniumSystemStartsNoInstallerAndRefreshesAtOnce) {
  f.fake.processes.processor = platform::kProcessorIa64;
  StartWithoutPair();
  Install();
  EXPECT_TRUE(f.fake.processes.started.empty());
  EXPECT_EQ(f.Log().find("Start add DOVI Port"), std::string::npos);
  // Nothing changed: the adding-mode refresh ends with its notice.
  ASSERT_GE(f.Shown().size(), 2u);
  EXPECT_EQ(f.Shown()[f.Shown().size() - 2].substr(0, 45),
            "If you are installing the virtual COM port, c");
  EXPECT_TRUE(f.service().worker().running());
}

TEST_F(PairInstallation, AnInstallerThatCannotStartPutsTheRelayBackInService) {
  f.SetPair("COM5", "COM6");
  f.PreparePort("COM6");
  ASSERT_EQ(f.dialog->OnInitDialog(), 1);
  auto& again = f.PreparePort("COM6");
  f.fake.processes.startError = 193;
  f.clock.ForgetSleeps();
  Install();
  EXPECT_NE(f.Log().find("[CHANGE] : CreateProcess failed (193): " + platform::SystemWords(193)),
            std::string::npos)
      << f.Log();
  // Not left stopped with its port closed: the port is open again and the
  // worker runs, without a refresh and its "Changes are done.".
  EXPECT_TRUE(f.service().worker().running());
  EXPECT_EQ(f.service().stopFlag().load(), 0);
  EXPECT_EQ(f.service().ports().count, 1);
  EXPECT_EQ(f.service().ports().handles[0].get(), &again);
  EXPECT_EQ(f.List(core::controls::kRelayPortList), Names{"COM6"});
  EXPECT_EQ(f.state().addingMode, 0);
  EXPECT_EQ(f.Log().find("Start refresh the port"), std::string::npos);
  EXPECT_TRUE(f.Shown().empty());
}

TEST_F(PairInstallation, AnInstallerThatCrashesEndsInTheNotice) {
  StartWithoutPair();
  f.fake.processes.programs[kX64].exitCode = 0xC0000005;
  Install();
  EXPECT_EQ(f.fake.processes.ended.size(), 1u);
  const Names shown = Since();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].substr(0, 45), "If you are installing the virtual COM port, c");
  EXPECT_EQ(shown[1], core::texts::kChangesDone.english);
  EXPECT_EQ(f.service().ports().count, 0);
  EXPECT_EQ(f.view.texts[core::controls::kPortCountEdit], "0");
  EXPECT_EQ(f.view.Count("post close"), 0);
}

TEST_F(PairInstallation, AnInconsistentPairClosesTheProgram) {
  StartWithoutPair();
  InstallerCreates(kX64, "", "COM6");
  Install();
  ASSERT_FALSE(Since().empty());
  EXPECT_EQ(Since().front().substr(0, 44), "[2] An error occurred when adding the port.\n");
  EXPECT_FALSE(f.PortListExists());
  EXPECT_EQ(f.view.Count("post close"), 1);
}

TEST_F(PairInstallation, StartUpWithoutAPairInstallsOneAtItsEnd) {
  InstallerCreates(kX64, "COM5", "COM6");
  ASSERT_EQ(f.dialog->OnInitDialog(), 1);
  const Names shown = f.Shown();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].substr(0, 39), "The virtual COM port is not configured.");
  EXPECT_EQ(shown[1], core::texts::kChangesDone.english);
  EXPECT_EQ(f.fake.processes.started, Names{kX64});
  EXPECT_EQ(f.service().ports().count, 1);
  EXPECT_EQ(f.view.texts[core::controls::kPortCountEdit], "1");
  // The installation runs after the window went to the tray, and brings it back.
  const auto& calls = f.view.calls;
  const auto hidden = std::find(calls.begin(), calls.end(), "hide to tray");
  ASSERT_NE(hidden, calls.end());
  EXPECT_NE(std::find(hidden, calls.end(), "restore from tray"), calls.end());
}

TEST_F(PairInstallation, SetupCommandsRunElevatedInOrder) {
  const char sep = f.fake.files.PathSeparator();
  const std::string dir = f.dir.path();
  provisioning::RunSetupCommands(f.service());
  const std::string setupc = dir + sep + "setupc.exe";
  EXPECT_EQ(f.fake.processes.elevated,
            (Names{setupc + " --output " + dir + sep + "qrelCD.tmp preinstall",
                   setupc + " --output " + dir + sep + "qrelCD.tmp update",
                   setupc + " --output " + dir + sep + "qrelCD.tmp infclean",
                   setupc + " --output " + dir + sep +
                       "qrel7FF6.tmp install PortName=COM# PortName=COM#"}));
  EXPECT_TRUE(f.fake.system.messageBoxes().empty());
}

TEST_F(PairInstallation, SetupCommandFailuresShowTheirMessageBoxes) {
  f.fake.processes.elevatedResults = {1223, 2, 5, 1223};
  provisioning::RunSetupCommands(f.service());
  EXPECT_EQ(f.fake.processes.elevated.size(), 4u);
  EXPECT_EQ(f.fake.system.messageBoxes(),
            (Names{"portrelay|elevation permission denied by user \n",
                   "portrelay|the file to be executed by did not find \n",
                   "portrelay|elevation permission denied by user \n"}));
}

TEST_F(PairInstallation, SetupCommandsQuoteAFolderWithBlanksAndKeepTo260Bytes) {
  const char sep = f.fake.files.PathSeparator();
  const std::string spaced = std::string(1, sep) + "Program Files" + sep + "X";
  f.fake.files.SetModuleFileName(spaced + sep + "portrelay.exe");
  const auto command = provisioning::SetupCommandLine(f.service(), 1);
  EXPECT_EQ(command.file, spaced + sep + "setupc.exe");
  EXPECT_EQ(command.parameters, "--output \"" + spaced + sep + "qrelCD.tmp\" preinstall");

  f.fake.files.SetModuleFileName(std::string(1, sep) + std::string(200, 'd') + sep + "p.exe");
  const auto longer = provisioning::SetupCommandLine(f.service(), 4);
  EXPECT_EQ(longer.file.size() + 1 + longer.parameters.size(), 259u);
}

}  // namespace
