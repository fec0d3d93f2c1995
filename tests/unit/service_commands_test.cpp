// The main window's commands as ServiceDialog carries them out: what each
// button starts, and that a command arriving while another still runs (the
// installation keeps the window responsive while it waits) does nothing.
#include <gtest/gtest.h>

#include "tests/fakes/provisioning_fixture.h"

namespace {

using Names = std::vector<std::string>;
const char* const kX64 = "Setup_com0com_v3.0.0.0_x64_signed.exe";

class ServiceCommands : public ::testing::Test {
 protected:
  // Start-up without a pair whose own installation fails to start; the
  // installer the commands run then creates pair 0.
  void SetUp() override {
    f.fake.processes.startError = 2;
    ASSERT_EQ(f.dialog->OnInitDialog(), 1);
    f.fake.processes.started.clear();
    f.view.calls.clear();
    f.fake.processes.programs[kX64].onEnd = [this] {
      f.SetPair("COM5", "COM6");
      f.PreparePort("COM6");
    };
  }
  fakes::ProvisioningFixture f;
};

TEST_F(ServiceCommands, AddPortGoesToTheTrayAndInstallsThePair) {
  f.dialog->AddPort();
  ASSERT_FALSE(f.view.calls.empty());
  EXPECT_EQ(f.view.calls.front(), "hide to tray");
  EXPECT_EQ(f.fake.processes.started, Names{kX64});
  EXPECT_EQ(f.service().ports().Name(0), "COM6");
  EXPECT_TRUE(f.service().worker().running());
}

TEST_F(ServiceCommands, InstallPairInstallsWithoutHiding) {
  f.dialog->InstallPair();
  EXPECT_EQ(f.fake.processes.started, Names{kX64});
  EXPECT_EQ(f.view.Count("hide to tray"), 0);
}

TEST_F(ServiceCommands, RunSetupcStartsTheFourElevatedCommands) {
  f.dialog->RunSetupc();
  EXPECT_EQ(f.fake.processes.elevated.size(), 4u);
  EXPECT_TRUE(f.fake.processes.started.empty());
}

// Without the guard the second installation would restart the worker under
// the first one's wait, which then never ends (the test times out).
TEST_F(ServiceCommands, CommandsArrivingWhileOneRunsAreIgnored) {
  bool clicked = false;  // one set of second clicks
  f.view.whileWaiting = [&] {
    if (clicked) return;
    clicked = true;
    f.dialog->InstallPair();
    f.dialog->AddPort();
    f.dialog->RunSetupc();
  };
  f.dialog->InstallPair();
  f.view.whileWaiting = nullptr;
  EXPECT_EQ(f.fake.processes.started, Names{kX64});
  EXPECT_TRUE(f.fake.processes.elevated.empty());
  EXPECT_EQ(f.view.Count("hide to tray"), 0);
  // Once it is over, the next command runs.
  f.dialog->RunSetupc();
  EXPECT_EQ(f.fake.processes.elevated.size(), 4u);
}

TEST(ServiceCommandsAtStartUp, AClickDuringStartUpsOwnInstallationIsIgnored) {
  fakes::ProvisioningFixture f;
  f.fake.processes.programs[kX64].onEnd = [&f] {
    f.SetPair("COM5", "COM6");
    f.PreparePort("COM6");
  };
  bool clicked = false;
  f.view.whileWaiting = [&] {
    if (clicked) return;
    clicked = true;
    f.dialog->AddPort();
  };
  ASSERT_EQ(f.dialog->OnInitDialog(), 1);
  f.view.whileWaiting = nullptr;
  EXPECT_TRUE(clicked);
  EXPECT_EQ(f.fake.processes.started, Names{kX64});
  EXPECT_EQ(f.service().ports().Name(0), "COM6");
}

}  // namespace
