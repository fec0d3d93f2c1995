// portrelay.exe's settings dialog and application port check under Wine, in
// code page 949 (Korean locale) and 1252: the user's side is played by
// ui_driver.exe, which clicks the main window's buttons, reads the windows
// and saves screenshots (turned into build/screenshots/*.png here).
// The virtual pair is com0com's as the relay reads it: pair 0's registry
// names (COM51 for the application, COM52 for the relay) and a socat
// pseudo-terminal pair linked into the prefix's dosdevices under those names.
// The printer is the simulator on a loopback address, drawing what it prints.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/format.h"
#include "core/texts.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"
#include "tests/wine/wine_support.h"
#include "tools/printer-sim/sim_process.h"

namespace {

namespace fs = std::filesystem;
namespace t = core::texts;
using Lines = std::map<std::string, std::string>;

struct CodePage {
  const char* name;
  const char* locale;
  bool korean;
};

void PrintTo(const CodePage& page, std::ostream* out) { *out << page.name; }

// One "key=value" per line, as ui_driver writes its report.
Lines ReadReport(const std::string& path) {
  Lines lines;
  if (!fs::exists(path)) return lines;
  std::istringstream in(support::ReadFile(path));
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t eq = line.find('=');
    if (eq != std::string::npos) lines[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return lines;
}

std::string Dump(const Lines& lines) {
  std::string out;
  for (const auto& [key, value] : lines) out += key + "=" + value + "\n";
  return out;
}

// zbarimg's "TYPE:DATA" lines for a picture (bounded by timeout(1)).
std::vector<std::string> Decode(const std::string& png) {
  support::ChildProcess zbar;
  std::vector<std::string> symbols;
  // zbarimg talks to D-Bus on stderr; only its findings matter.
  if (!zbar.Start({"sh", "-c", "timeout 30 zbarimg -q '" + png + "' 2>/dev/null"})) return symbols;
  zbar.WaitExit(40000);
  for (const std::string& line : zbar.Lines())
    if (!line.empty()) symbols.push_back(line);
  std::sort(symbols.begin(), symbols.end());
  return symbols;
}

class SettingsUnderWine : public ::testing::TestWithParam<CodePage> {
 protected:
  void SetUp() override {
    const std::string exe = winetest::WindowsProgram("portrelay.exe");
    ASSERT_TRUE(fs::exists(exe)) << exe << " is missing: build the windows preset first";
    ASSERT_TRUE(fs::exists(winetest::WindowsProgram("ui_driver.exe")));
    fs::copy_file(exe, dir.File("portrelay.exe"));
    winetest::ForgetInstallation();
    Reg({"add", "HKLM\\" + PairKey("CNCA0"), "/v", "PortName", "/d", "COM51", "/f", "/reg:64"});
    Reg({"add", "HKLM\\" + PairKey("CNCB0"), "/v", "PortName", "/d", "COM52", "/f", "/reg:64"});
    // No window manager on the virtual display: windows Wine draws itself,
    // captions included, and no two-second wait for each hidden window.
    for (const char* program : {"portrelay.exe", "ui_driver.exe"})
      Reg({"add", std::string("HKCU\\Software\\Wine\\AppDefaults\\") + program + "\\X11 Driver",
           "/v", "Managed", "/d", "N", "/f"});

    relayEnd = winetest::WinePrefix() + "/dosdevices/com52";
    appEnd = winetest::WinePrefix() + "/dosdevices/com51";
    ASSERT_TRUE(winetest::StartPtyPair(pair, relayEnd, appEnd));

    fs::create_directory(dir.File("render"));
    // The page ends with a cut; the gap only has to outlast a stall of a busy
    // machine, which would otherwise end the picture mid-page.
    std::string error;
    const std::string ip =
        printer.StartOnLoopback({"--render", dir.File("render"), "--render-gap", "30000"}, &error);
    ASSERT_FALSE(ip.empty()) << error;

    support::WriteFile(dir.File("Settings.ini"),
                       "[Settings]\r\nPort=TCP/IP\r\nIP=" + ip +
                           "\r\nTimeout=500\r\nBaudrate=9600\r\nRealtime=YES\r\nPopup=NO\r\n"
                           "LogFile=YES\r\nReprint=YES\r\nResultTimeout=5000\r\n");
    support::WriteFile(dir.File("PortLists.ini"), "[Ports]\r\nPort1=COM52\r\n");
    ASSERT_TRUE(relay.Start(winetest::WineCommand(dir.File("portrelay.exe")), Locale()));
    ASSERT_TRUE(WaitForLog("COM52 open success", 60000)) << relay.Output() << Log();
  }

  void TearDown() override {
    relay.Signal(SIGTERM);
    relay.WaitExit(10000);
    pair.Signal(SIGTERM);
    pair.WaitExit(5000);
    printer.Terminate();
    fs::remove(relayEnd);
    fs::remove(appEnd);
    winetest::ForgetInstallation();
  }

  static std::string PairKey(const std::string& instance) {
    return "SYSTEM\\CurrentControlSet\\Enum\\com0com\\port\\" + instance + "\\Device Parameters";
  }
  support::ChildProcess::Options Locale() {
    support::ChildProcess::Options options;
    options.environment = {{"LC_ALL", GetParam().locale}};
    return options;
  }
  void Reg(const std::vector<std::string>& args) {
    support::ChildProcess reg;
    if (reg.Start(winetest::WineCommand("reg", args))) reg.WaitExit(30000);
  }
  // Runs ui_driver.exe in the test's locale; its report.
  Lines Drive(const std::vector<std::string>& args, const std::string& report) {
    support::ChildProcess driver;
    std::vector<std::string> all = args;
    if (!driver.Start(winetest::WineCommand(winetest::WindowsProgram("ui_driver.exe"), all),
                      Locale()))
      return {};
    if (!driver.WaitExit(240000)) driver.Signal(SIGKILL);
    return ReadReport(report);
  }
  std::string Log() { return support::ReadLogFolder(dir.path()); }
  bool WaitForLog(const std::string& text, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
      if (Log().find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }
  // The driver's BMP as build/screenshots/<name>_<code page>.png.
  void KeepScreenshot(const std::string& bmp, const std::string& name) {
    const std::string shots = std::string(PORTRELAY_SOURCE_DIR) + "/build/screenshots";
    fs::create_directories(shots);
    const std::string png = shots + "/" + name + "_" + GetParam().name + ".png";
    support::ChildProcess convert;
    ASSERT_TRUE(convert.Start({"convert", bmp, png}));
    ASSERT_EQ(convert.WaitExit(30000), 0) << convert.Output();
    std::printf("screenshot: %s\n", png.c_str());
  }
  std::string Say(const core::Text& text) { return GetParam().korean ? text.korean : text.english; }

  support::TempDir dir;
  std::string relayEnd, appEnd;
  support::ChildProcess pair;
  support::ChildProcess relay;
  printersim::SimProcess printer;
};

TEST_P(SettingsUnderWine, DialogShowsItsTextsAndTooltipsAndSavesAPopupChange) {
  const std::string report = dir.File("settings.txt");
  Lines r = Drive({"settings", "Z:" + report, "Z:" + dir.File("shot")}, report);
  ASSERT_EQ(r["end"], "0") << Dump(r) << relay.Output();

  const std::map<std::string, std::string> texts = {
      {"caption", Say(t::kSettingsCaption)},
      {"text 1029", Say(t::kSettingsRealtimeLabel)},
      {"text 1030", Say(t::kSettingsPopupLabel)},
      {"text 1031", Say(t::kSettingsLogLabel)},
      {"text 1032", Say(t::kSettingsTimeoutLabel)},
      {"text 1033", Say(t::kSettingsReprintLabel)},
      {"text 1034", Say(t::kSettingsResultLabel)},
      {"text 1", Say(t::kSettingsSave)},
      {"text 2", Say(t::kButtonCancel)},
      {"text 1038", Say(t::kSettingsInterfaceGroup)},
      {"text 1028", Say(t::kSettingsPortLabel)},
      {"text 1039", Say(t::kSettingsIpLabel)},
      {"text 1027", Say(t::kSettingsMethodLabel)},
      {"text 1009", "500"},
      {"text 1016", "5000"},
      // Korean in both code pages.
      {"tooltips", "8"},
      {"tip 1008", t::kTipPort},
      {"tip 1010", t::kTipBaudrate},
      {"tip 1011", t::kTipRealtime},
      {"tip 1012", t::kTipPopup},
      {"tip 1013", t::kTipLogFile},
      {"tip 1009", t::kTipTimeout},
      {"tip 1017", t::kTipReprint},
      {"tip 1016", t::kTipResultTimeout},
      {"tooltip shown", "1"},
      // The stored values, the lists, which controls the user can change.
      {"list 1012", "YES|NO"},
      {"selected 1012", "1"},
      {"list 1010", "9600|19200|38400|57600|115200"},
      {"list 1014", "Direct|Driver"},
      {"enabled 1", "0"},
      {"enabled 2", "1"},
      {"enabled 1011", "0"},
      {"enabled 1017", "0"},
      {"enabled 1010", "0"},
      {"enabled 1015", "1"},
      {"background top", "217,236,235"},
      {"enabled after change 1", "1"},
      {"saved", "1"},
  };
  for (const auto& [key, value] : texts) EXPECT_EQ(r[key], value) << key;
  // The real ports (never the pair's), the stored TCP/IP selected.
  const std::string ports = r["list 1008"];
  EXPECT_EQ(ports.rfind("USB|", 0), 0u) << ports;
  EXPECT_NE(ports.find("|TCP/IP"), std::string::npos) << ports;
  EXPECT_EQ(ports.find("COM51"), std::string::npos) << ports;
  EXPECT_EQ(ports.find("COM52"), std::string::npos) << ports;
  EXPECT_EQ(r["selected 1008"], std::to_string(std::count(ports.begin(), ports.end(), '|')));

  KeepScreenshot(dir.File("shot-settings.bmp"), "settings");
  const std::string ini = support::ReadFile(dir.File("Settings.ini"));
  EXPECT_NE(ini.find("Popup=YES"), std::string::npos) << ini;
  EXPECT_NE(ini.find("Port=TCP/IP"), std::string::npos) << ini;
  EXPECT_TRUE(WaitForLog("[CHANGE] : Pop-up : = YES", 10000)) << Log();
}

TEST_P(SettingsUnderWine, PortCheckReportsAHeldPortInRedAndPrintsThroughAFreeOne) {
  const std::string report = dir.File("check.txt");
  Lines r = Drive({"portcheck", "COM51", "Z:" + report, "Z:" + dir.File("shot")}, report);
  ASSERT_EQ(r["end"], "0") << Dump(r) << relay.Output();

  EXPECT_EQ(r["held"], "1");
  EXPECT_EQ(r["held caption"], Say(t::kStatusCaptionError));
  EXPECT_EQ(r["held text"], core::FormatText(Say(t::kPortInUse).c_str(), "COM51"));
  EXPECT_EQ(r["free caption"], Say(t::kStatusCaptionNormal));
  EXPECT_EQ(r["free text"], core::FormatText(Say(t::kPortUsable).c_str(), "COM51"));
  // Red at the top of the error pop-up, green at the top of the other.
  int red = 0, green = 0, blue = 0;
  ASSERT_EQ(std::sscanf(r["held background top"].c_str(), "%d,%d,%d", &red, &green, &blue), 3);
  EXPECT_GT(red, 100);
  EXPECT_LT(green, 30);
  ASSERT_EQ(std::sscanf(r["free background top"].c_str(), "%d,%d,%d", &red, &green, &blue), 3);
  EXPECT_LT(red, 30);
  EXPECT_GT(green, 100);
  KeepScreenshot(dir.File("shot-held.bmp"), "portcheck_held");
  KeepScreenshot(dir.File("shot-ok.bmp"), "portcheck_ok");

  // The page went through the relay to the printer and reads back.
  auto rendered = printer.events().Next("render ", std::chrono::seconds(60));
  ASSERT_TRUE(rendered) << printer.events().Dump() << Log();
  EXPECT_NE(rendered->find(" cut"), std::string::npos) << *rendered;
  const std::string png = rendered->substr(7, rendered->find(' ', 7) - 7);
  EXPECT_EQ(Decode(png),
            (std::vector<std::string>{"CODE-39:1234567890", "QR-Code:https://portrelay.example/",
                                      "QR-Code:https://portrelay.example/",
                                      "QR-Code:https://portrelay.example/"}));
  // Shown as it is: the port check logs nothing of its outcome.
  EXPECT_EQ(Log().find("Application can use"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(CodePages, SettingsUnderWine,
                         ::testing::Values(CodePage{"949", "ko_KR.UTF-8", true},
                                           CodePage{"1252", "C.UTF-8", false}),
                         [](const auto& info) { return std::string("CP") + info.param.name; });

}  // namespace
