// The main window's life in the tray, on a fake window and a fake tray that
// answers like the shell (an add fails while the icon is there, a delete
// while it is not): which paths hide it and which bring it back, that there
// is never more than one icon, the exit confirmation, the commands it routes,
// and a port refresh that ends with the window on screen.
#include "ui/main_window.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/controls.h"
#include "core/texts.h"
#include "tests/fakes/provisioning_fixture.h"
#include "ui/gradients.h"

namespace {

using ui::MainWindow;
using ui::WindowPlace;

class FakeTray : public ui::TrayIcon {
 public:
  bool Add(const std::string& tip) override {
    ++adds;
    if (shown) {
      ++failedAdds;
      return false;
    }
    shown = true;
    this->tip = tip;
    return true;
  }
  bool Delete() override {
    if (!shown) return false;
    shown = false;
    return true;
  }
  // Explorer restarted: every icon is gone.
  void Forget() { shown = false; }

  bool shown = false;
  int adds = 0;
  int failedAdds = 0;  // the old icon, and its old tip, stayed
  std::string tip;
};

class FakeWindow : public ui::MainWindowView {
 public:
  void ShowMinimized() override {
    calls.push_back("minimise");
    // The real window reports its own minimising (once), which asks for a
    // hide.
    if (minimised) return;
    minimised = true;
    if (onMinimised) onMinimised();
  }
  void PostHide() override { calls.push_back("post hide"); }
  void Restore() override {
    calls.push_back("restore");
    minimised = false;
  }
  void BringToForeground() override { calls.push_back("foreground"); }
  void MakeTopmost() override { calls.push_back("topmost"); }
  std::string Caption() override { return caption; }
  void ShowTrayMenu(int menuId) override { menus.push_back(menuId); }
  void ShowInfoDialog() override {
    ++infoDialogs;
    if (whileDialog) whileDialog();
  }
  void ShowRecentReceipts() override {
    ++recentDialogs;
    if (whileDialog) whileDialog();
  }
  int ShowExitDialog() override {
    ++exitDialogs;
    if (whileDialog) whileDialog();
    return exitAnswer;
  }
  void Destroy() override { calls.push_back("destroy"); }

  int Count(const std::string& call) const {
    int n = 0;
    for (const auto& c : calls) n += c == call;
    return n;
  }

  std::string caption = core::texts::kWindowCaption.english;
  std::vector<std::string> calls;
  std::vector<int> menus;
  int infoDialogs = 0;
  int recentDialogs = 0;
  int exitDialogs = 0;
  int exitAnswer = ui::kExitCancelled;
  std::function<void()> onMinimised;
  std::function<void()> whileDialog;
  bool minimised = false;
};

class FakeCommands : public app::ServiceCommands {
 public:
  void AddPort() override { called.push_back("AddPort"); }
  void InstallPair() override { called.push_back("InstallPair"); }
  void RunSetupc() override { called.push_back("RunSetupc"); }
  void EditSettings() override { called.push_back("EditSettings"); }
  void PortCheckPrint() override { called.push_back("PortCheckPrint"); }
  void DeveloperImagePrint() override { called.push_back("DeveloperImagePrint"); }
  std::vector<std::string> called;
};

class MainWindowTray : public ::testing::Test {
 protected:
  // As after start-up: the window has gone to the tray once.
  void SetUp() override {
    window.onMinimised = [this] { presenter.OnMinimized(); };
    presenter.SetCodePage(1252);
    presenter.HideToTray();
    window.calls.clear();
  }
  void Show() {
    presenter.RestoreFromTray();
    window.calls.clear();
  }

  FakeWindow window;
  FakeTray tray;
  FakeCommands commands;
  MainWindow presenter{window, tray, commands};
};

TEST_F(MainWindowTray, StartUpLeavesTheWindowHiddenWithOneIconThatShowsTheCaption) {
  EXPECT_EQ(presenter.place(), WindowPlace::kInTray);
  EXPECT_TRUE(presenter.HideStillWanted());
  EXPECT_TRUE(tray.shown);
  EXPECT_EQ(tray.tip, core::texts::kWindowCaption.english);
}

TEST_F(MainWindowTray, EveryHidingPathGoesToTheTrayWithExactlyOneIcon) {
  const std::map<std::string, std::function<void()>> paths = {
      {"close command", [this] { presenter.OnCloseCommand(); }},
      {"minimise", [this] { presenter.OnMinimized(); }},
      {"Kelvo_VCOM", [this] { presenter.OnRelayMessage(); }},
      {"Escape", [this] { presenter.OnEscape(); }},
      {"HideToTray", [this] { presenter.HideToTray(); }},
  };
  for (const auto& [name, hide] : paths) {
    SCOPED_TRACE(name);
    Show();
    ASSERT_FALSE(tray.shown);
    tray.adds = 0;
    hide();
    EXPECT_EQ(presenter.place(), WindowPlace::kInTray);
    EXPECT_TRUE(tray.shown);
    EXPECT_EQ(tray.adds, 1) << "the nested minimise notice must not add again";
    EXPECT_EQ(tray.failedAdds, 0);
    EXPECT_EQ(window.Count("minimise"), 1);
    EXPECT_EQ(window.Count("post hide"), 1);
    EXPECT_EQ(window.Count("destroy"), 0);
  }
}

// Without the delete before each add the shell would refuse the second add
// (or, on some shells, show two icons).
TEST_F(MainWindowTray, HidingAgainWhileInTheTrayKeepsOneFreshIcon) {
  tray.adds = 0;
  for (int i = 0; i < 3; ++i) {
    presenter.OnRelayMessage();
    presenter.OnCloseCommand();
  }
  EXPECT_TRUE(tray.shown);
  EXPECT_EQ(tray.adds, 6);
  EXPECT_EQ(tray.failedAdds, 0);
  EXPECT_EQ(presenter.place(), WindowPlace::kInTray);
  // The tip follows the caption as it is now.
  window.caption = core::texts::kWindowCaption.korean;
  presenter.HideToTray();
  EXPECT_EQ(tray.tip, window.caption);
}

TEST_F(MainWindowTray, TrayMouseEvents) {
  struct Case {
    unsigned mouse;
    WindowPlace place;
    bool iconShown;
    size_t menus;
  };
  const Case cases[] = {
      {ui::kTrayLeftDown, WindowPlace::kShown, false, 0},
      {ui::kTrayLeftDoubleClick, WindowPlace::kShown, false, 0},
      {ui::kTrayRightDown, WindowPlace::kInTray, true, 1},
      {0x200 /* move */, WindowPlace::kInTray, true, 0},
      {0x202 /* left up */, WindowPlace::kInTray, true, 0},
      {0x205 /* right up */, WindowPlace::kInTray, true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mouse);
    presenter.HideToTray();
    window.calls.clear();
    window.menus.clear();
    presenter.OnTrayEvent(c.mouse);
    EXPECT_EQ(presenter.place(), c.place);
    EXPECT_EQ(tray.shown, c.iconShown);
    EXPECT_EQ(window.menus.size(), c.menus);
    if (c.place == WindowPlace::kShown) {
      EXPECT_EQ(window.calls, (std::vector<std::string>{"restore", "foreground"}));
      EXPECT_FALSE(presenter.HideStillWanted()) << "a hide still queued must not apply";
    }
  }
}

TEST_F(MainWindowTray, TheTrayMenuIsTheSystemsLanguage) {
  const std::pair<unsigned, int> cases[] = {{949, ui::kTrayMenuKorean},
                                            {1252, ui::kTrayMenuEnglish},
                                            {932, ui::kTrayMenuEnglish},
                                            {0, ui::kTrayMenuEnglish}};
  for (const auto& [codePage, menu] : cases) {
    window.menus.clear();
    presenter.SetCodePage(codePage);
    presenter.OnTrayEvent(ui::kTrayRightDown);
    EXPECT_EQ(window.menus, std::vector<int>{menu}) << codePage;
  }
}

TEST_F(MainWindowTray, OpenServiceRestoresAndMakesTheWindowTopmost) {
  EXPECT_TRUE(presenter.OnCommand(ui::kOpenServiceCommand));
  EXPECT_EQ(presenter.place(), WindowPlace::kShown);
  EXPECT_FALSE(tray.shown);
  EXPECT_EQ(window.calls, (std::vector<std::string>{"restore", "foreground", "topmost"}));
}

TEST_F(MainWindowTray, ExitCancelledLeavesEverythingAsItWas) {
  window.exitAnswer = ui::kExitCancelled;
  EXPECT_TRUE(presenter.OnCommand(ui::kExitServiceCommand));
  EXPECT_EQ(window.exitDialogs, 1);
  EXPECT_EQ(window.Count("destroy"), 0);
  EXPECT_EQ(presenter.place(), WindowPlace::kInTray);
  EXPECT_TRUE(tray.shown);
}

TEST_F(MainWindowTray, ExitConfirmedDestroysTheWindowAndItsIcon) {
  window.exitAnswer = ui::kExitConfirmed;
  presenter.OnCommand(ui::kExitServiceCommand);
  EXPECT_EQ(window.Count("destroy"), 1);
  presenter.OnDestroy();  // what destroying the window reports
  EXPECT_EQ(presenter.place(), WindowPlace::kEnded);
  EXPECT_FALSE(tray.shown);
  // Messages still queued for the window bring back neither it nor an icon.
  presenter.OnTrayEvent(ui::kTrayLeftDown);
  presenter.OnRelayMessage();
  presenter.OnTaskbarCreated();
  EXPECT_EQ(presenter.place(), WindowPlace::kEnded);
  EXPECT_FALSE(tray.shown);
  EXPECT_EQ(window.Count("restore"), 0);
}

// The tray menu stays usable while the confirmation is up.
TEST_F(MainWindowTray, ASecondExitWhileTheConfirmationIsUpIsIgnored) {
  window.whileDialog = [this] { presenter.OnCommand(ui::kExitServiceCommand); };
  window.exitAnswer = ui::kExitConfirmed;
  presenter.OnCommand(ui::kExitServiceCommand);
  EXPECT_EQ(window.exitDialogs, 1);
  EXPECT_EQ(window.Count("destroy"), 1);
  // And the next one is asked again.
  window.whileDialog = nullptr;
  window.exitAnswer = ui::kExitCancelled;
  presenter.OnCommand(ui::kExitServiceCommand);
  EXPECT_EQ(window.exitDialogs, 2);
}

TEST_F(MainWindowTray, ExplorerRestartingPutsTheIconBackOnlyWhileInTheTray) {
  tray.Forget();
  presenter.OnTaskbarCreated();
  EXPECT_TRUE(tray.shown);
  EXPECT_EQ(tray.tip, window.caption);

  Show();
  presenter.OnTaskbarCreated();
  EXPECT_FALSE(tray.shown);
}

TEST_F(MainWindowTray, TheSystemMenuItemOpensTheInformationDialogOnce) {
  window.whileDialog = [this] { presenter.OnSystemCommand(ui::kAboutCommand); };
  EXPECT_TRUE(presenter.OnSystemCommand(ui::kAboutCommand));
  EXPECT_EQ(window.infoDialogs, 1);
  EXPECT_FALSE(presenter.OnSystemCommand(0xF020 /* minimise */));
  EXPECT_EQ(window.infoDialogs, 1);
}

// The tray menu can be used again while the list is up.
TEST_F(MainWindowTray, RecentReceiptsOpensItsWindowOnceAndLeavesTheMainWindowInTheTray) {
  window.whileDialog = [this] { presenter.OnCommand(ui::kRecentReceiptsCommand); };
  EXPECT_TRUE(presenter.OnCommand(ui::kRecentReceiptsCommand));
  EXPECT_EQ(window.recentDialogs, 1);
  EXPECT_TRUE(commands.called.empty());
  EXPECT_EQ(presenter.place(), WindowPlace::kInTray);
}

TEST_F(MainWindowTray, ButtonsAndMenuCommandsReachTheService) {
  namespace controls = core::controls;
  const std::pair<int, const char*> routes[] = {
      {controls::kAddPortButton, "AddPort"},
      {controls::kCheckPortButton, "PortCheckPrint"},
      {controls::kSettingsButton, "EditSettings"},
      {ui::kPrinterSettingCommand, "EditSettings"},
      {controls::kInstallPairButton, "InstallPair"},
      {controls::kSetupcTestButton, "RunSetupc"},
      {controls::kAppPrintTestButton, "DeveloperImagePrint"},
  };
  for (const auto& [id, operation] : routes) {
    commands.called.clear();
    EXPECT_TRUE(presenter.OnCommand(id)) << id;
    EXPECT_EQ(commands.called, std::vector<std::string>{operation}) << id;
  }
  commands.called.clear();
  for (int other : {1 /* Enter */, 1002, 1019, 32772}) {
    EXPECT_FALSE(presenter.OnCommand(other)) << other;
  }
  EXPECT_TRUE(commands.called.empty());
  EXPECT_EQ(presenter.place(), WindowPlace::kInTray);
}

// The real service under the presenter: start-up ends in the tray, "Add
// virtual COM port" hides the window again and the refresh after the
// installation brings it back.
TEST(MainWindowService, TheRefreshAfterAnInstallationEndsWithTheWindowShown) {
  fakes::ProvisioningFixture f;
  f.fake.processes.startError = 2;  // start-up's own installation does not start
  FakeWindow window;
  FakeTray tray;
  MainWindow presenter(window, tray, *f.dialog);
  window.onMinimised = [&] { presenter.OnMinimized(); };
  f.view.onHide = [&] { presenter.HideToTray(); };
  f.view.onRestore = [&] { presenter.RestoreFromTray(); };

  ASSERT_EQ(f.dialog->OnInitDialog(), 1);
  EXPECT_EQ(presenter.place(), WindowPlace::kInTray);
  EXPECT_TRUE(tray.shown);

  WindowPlace duringInstallation = WindowPlace::kShown;
  f.fake.processes.programs["Setup_com0com_v3.0.0.0_x64_signed.exe"].onEnd = [&] {
    duringInstallation = presenter.place();
    f.SetPair("COM5", "COM6");
    f.PreparePort("COM6");
  };
  presenter.RestoreFromTray();
  ASSERT_TRUE(presenter.OnCommand(core::controls::kAddPortButton));
  EXPECT_EQ(duringInstallation, WindowPlace::kInTray);
  EXPECT_EQ(presenter.place(), WindowPlace::kShown);
  EXPECT_FALSE(tray.shown);
  EXPECT_EQ(f.service().ports().Name(0), "COM6");
}

TEST(Gradients, EdgesAndOnePixelAreas) {
  struct Case {
    const char* name;
    ui::Rgb got;
    ui::Rgb want;
  };
  const Case cases[] = {
      {"main, left edge", ui::MainWindowColumn(0, 300), {217, 236, 235}},
      {"main, right edge", ui::MainWindowColumn(299, 300), {254, 254, 235}},
      {"main, one pixel wide", ui::MainWindowColumn(0, 1), {217, 236, 235}},
      {"main, no width", ui::MainWindowColumn(0, 0), {217, 236, 235}},
      {"settings, top", ui::SettingsDialogRow(0, 378), {217, 236, 235}},
      {"settings, bottom", ui::SettingsDialogRow(377, 378), {254, 254, 235}},
      {"info, top", ui::InfoDialogRow(0, 90), {200, 200, 200}},
      {"info, bottom", ui::InfoDialogRow(89, 90), {254, 254, 234}},
      {"exit, top", ui::ExitDialogRow(0, 180), {160, 0, 0}},
      {"exit, bottom", ui::ExitDialogRow(179, 180), {254, 29, 49}},
      {"normal, top", ui::StatusNormalRow(0, 180), {0, 127, 50}},
      {"error, top", ui::StatusErrorRow(0, 180), {127, 0, 50}},
      {"error, bottom", ui::StatusErrorRow(179, 180), {254, 29, 99}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.got, c.want) << c.name << ": " << int(c.got.r) << "," << int(c.got.g) << ","
                             << int(c.got.b);
  }
}

}  // namespace
