// The start-up steps that run provisioning: the printer port choices without
// the pair's ports (step 4), the autostart check and the moved-program close
// (9), PortLists.ini rebuilt only when missing (10), the port lists (13).
#include <gtest/gtest.h>

#include "core/controls.h"
#include "tests/fakes/provisioning_fixture.h"

namespace {

namespace controls = core::controls;
using Names = std::vector<std::string>;

class StartUpProvisioning : public ::testing::Test {
 protected:
  int Start() { return f.dialog->OnInitDialog(); }
  fakes::ProvisioningFixture f;
};

TEST_F(StartUpProvisioning, ThePrinterPortChoicesLeaveOutThePairsPorts) {
  f.fake.portEnumerator.ports = {"COM1:", "COM5:", "COM6:", "LPT1:", "FILE:"};
  f.SetPair("COM5", "COM6");
  f.PreparePort("COM6");
  ASSERT_EQ(Start(), 1);
  EXPECT_EQ(f.List(controls::kPrinterPortCombo), (Names{"USB", "COM1", "LPT1", "TCP/IP"}));
  EXPECT_EQ(f.dialog->comPorts().count, 3);
  EXPECT_EQ(f.List(controls::kAllComPortList), (Names{"COM1:", "COM5:", "COM6:"}));
  EXPECT_EQ(f.List(controls::kAppPortList), Names{"COM5"});
  EXPECT_EQ(f.List(controls::kAllVirtualList), Names{"COM6"});
  EXPECT_EQ(f.PortList(), "[Ports]\nPort1=COM6\n");
  EXPECT_EQ(f.List(controls::kRelayPortList), Names{"COM6"});
  EXPECT_TRUE(f.Shown().empty());
  EXPECT_TRUE(f.fake.processes.started.empty());
}

TEST_F(StartUpProvisioning, AnExistingPortListIsNotRebuilt) {
  f.SetPair("COM5", "COM6");
  f.WritePortList("COM8");
  f.PreparePort("COM8");
  ASSERT_EQ(Start(), 1);
  EXPECT_EQ(f.PortList(), "[Ports]\nPort1=COM8\n");
  EXPECT_EQ(f.service().ports().Name(0), "COM8");
}

TEST_F(StartUpProvisioning, AFirstStartRegistersTheLauncherAndASecondFindsIt) {
  f.SetPair("COM5", "COM6");
  f.PreparePort("COM6");
  ASSERT_EQ(Start(), 1);
  EXPECT_EQ(f.fake.registry.Get(fakes::kRunKey, "portrelay"), f.dir.File("relaytray.exe"));
  f.dialog->Shutdown();

  fakes::RecordingView view;
  fakes::ScriptedPrompt prompt;
  app::ServiceDialog again(f.fake.platform, view, prompt, f.link);
  f.PreparePort("COM6");
  ASSERT_EQ(again.OnInitDialog(), 1);
  EXPECT_TRUE(prompt.shown().empty());
  EXPECT_EQ(view.Count("post close"), 0);
  again.Shutdown();
}

TEST_F(StartUpProvisioning, AMovedProgramSaysSoAndClosesAfterStartUp) {
  f.SetPair("COM5", "COM6");
  f.PreparePort("COM6");
  f.fake.registry.Set(fakes::kRunKey, "portrelay", "C:\\Program Files\\X\\relaytray.exe");
  ASSERT_EQ(Start(), 1);
  ASSERT_EQ(f.Shown().size(), 1u);
  EXPECT_EQ(f.Shown()[0],
            "The program execution path has been changed.\nPlease run the program in the "
            "installed location.\nAutomatically close the program.");
  EXPECT_EQ(f.prompt.shown()[0].kind, core::kStatusError);
  EXPECT_EQ(f.view.Count("post close"), 1);
  // The value is left alone, and start-up still runs to its end.
  EXPECT_EQ(f.fake.registry.Get(fakes::kRunKey, "portrelay"),
            "C:\\Program Files\\X\\relaytray.exe");
  EXPECT_TRUE(f.service().worker().running());
  EXPECT_EQ(f.view.Count("hide to tray"), 1);
}

TEST_F(StartUpProvisioning, ARunKeyWithoutFullAccessIsRegisteredIfItCanBe) {
  f.SetPair("COM5", "COM6");
  f.PreparePort("COM6");
  f.fake.registry.DenyWrites(fakes::kRunKey);
  ASSERT_EQ(Start(), 1);
  EXPECT_EQ(f.fake.registry.Get(fakes::kRunKey, "portrelay"), "<none>");
  EXPECT_TRUE(f.Shown().empty());
  EXPECT_EQ(f.view.Count("post close"), 0);
}

}  // namespace
