// The recent receipts window of portrelay.exe under Wine, in code pages 949
// and 1252: three jobs go through the relay (the second a Korean receipt in
// code page 949 with a QR code), ui_driver.exe opens the window with the tray
// command, selects the second job, reads its preview, presses Print again and
// saves a screenshot (build/screenshots/recent_receipts_<code page>.png). The
// printer simulator must then hold the second job twice, byte for byte, and
// the journal a fourth confirmation. The relay end is COM6 as in
// relay_wine_test.cpp.
#include <gtest/gtest.h>
#include <iconv.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/format.h"
#include "core/journal_format.h"
#include "core/texts.h"
#include "tests/support/child_process.h"
#include "tests/support/relay_rig.h"
#include "tests/support/serial_client.h"
#include "tests/support/temp_dir.h"
#include "tests/wine/wine_support.h"
#include "tools/printer-sim/sim_process.h"
#include "ui/recent_receipts_dialog.h"

namespace {

namespace fs = std::filesystem;
namespace t = core::texts;
namespace ids = ui::recent_controls;
using Bytes = std::vector<uint8_t>;

struct CodePage {
  const char* name;
  const char* locale;
  bool korean;
};

void PrintTo(const CodePage& page, std::ostream* out) { *out << page.name; }

std::string Cp949(const std::string& utf8) {
  iconv_t cd = iconv_open("CP949", "UTF-8");
  std::string out(utf8.size() * 2, '\0');
  char* in = const_cast<char*>(utf8.data());
  size_t inLeft = utf8.size(), outLeft = out.size();
  char* to = out.data();
  iconv(cd, &in, &inLeft, &to, &outLeft);
  iconv_close(cd);
  out.resize(out.size() - outLeft);
  return out;
}

// A shop's receipt: Korean text in code page 949, items, a total, a QR code
// of the receipt's address, the cut.
std::string KoreanReceipt() {
  const std::string qr = "https://portrelay.example/r/0002";
  const size_t stored = qr.size() + 3;
  std::string job =
      "\x1b@\x1c&\x1b"
      "a\x01";
  job += Cp949("영수증\n") +
         "\x1b"
         "a" +
         std::string(1, '\0');
  job += Cp949("아메리카노        2     9,000\n");
  job += Cp949("카페라떼          1     5,000\n");
  job += "------------------------------\n";
  job += Cp949("합계                   14,000\n");
  job += "\x1d(k" + std::string{static_cast<char>(stored & 0xff), static_cast<char>(stored >> 8)} +
         "1P0" + qr;
  job += std::string(
      "\x1d(k\x03\x00"
      "1Q0",
      8);
  job += "\n\x1dVA\x03";
  return job;
}

std::map<std::string, std::string> ReadReport(const std::string& path) {
  std::map<std::string, std::string> lines;
  if (!fs::exists(path)) return lines;
  std::istringstream in(support::ReadFile(path));
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t eq = line.find('=');
    if (eq != std::string::npos) lines[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return lines;
}

class RecentReceiptsUnderWine : public ::testing::TestWithParam<CodePage> {
 protected:
  void SetUp() override {
    const std::string exe = winetest::WindowsProgram("portrelay.exe");
    ASSERT_TRUE(fs::exists(exe)) << exe << " is missing: build the windows preset first";
    ASSERT_TRUE(fs::exists(winetest::WindowsProgram("ui_driver.exe")));
    fs::copy_file(exe, dir.File("portrelay.exe"));
    winetest::ForgetInstallation();
    // Unmanaged windows (no window manager on the virtual display).
    for (const char* program : {"portrelay.exe", "ui_driver.exe"})
      winetest::RunToEnd(
          winetest::WineCommand(
              "reg",
              {"add", std::string("HKCU\\Software\\Wine\\AppDefaults\\") + program + "\\X11 Driver",
               "/v", "Managed", "/d", "N", "/f"}),
          {}, 60000);

    relayEnd = winetest::WinePrefix() + "/dosdevices/com6";
    ASSERT_TRUE(winetest::StartPtyPair(pair, relayEnd, dir.File("app")));
    std::string error;
    const std::string ip = printer.StartOnLoopback({"--record", dir.File("printer.bin")}, &error);
    ASSERT_FALSE(ip.empty()) << error;
    support::WriteFile(dir.File("Settings.ini"),
                       "[Settings]\r\nPort=TCP/IP\r\nIP=" + ip +
                           "\r\nTimeout=300\r\nRealtime=YES\r\nPopup=NO\r\nLogFile=YES\r\n"
                           "Reprint=YES\r\nResultTimeout=5000\r\n");
    support::WriteFile(dir.File("PortLists.ini"), "[Ports]\r\nPort1=COM6\r\n");
    ASSERT_TRUE(relay.Start(winetest::WineCommand(dir.File("portrelay.exe")), Locale()));
    ASSERT_TRUE(WaitForLog("COM6 open success", 60000)) << relay.Output() << Log();
  }
  void TearDown() override {
    winetest::CloseRelayWindow();
    if (!relay.WaitExit(10000)) relay.Signal(SIGKILL);
    pair.Signal(SIGTERM);
    pair.WaitExit(5000);
    printer.Terminate();
    fs::remove(relayEnd);
  }

  support::ChildProcess::Options Locale() {
    support::ChildProcess::Options options;
    options.environment = {{"LC_ALL", GetParam().locale}};
    return options;
  }
  std::string Say(const core::Text& text) { return GetParam().korean ? text.korean : text.english; }
  std::string Log() { return support::ReadLogFolder(dir.path()); }
  bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
  }
  bool WaitForLog(const std::string& text, int timeoutMs) {
    return WaitUntil([&] { return Log().find(text) != std::string::npos; }, timeoutMs);
  }
  int Printed(const std::string& job) {
    const std::string recorded = support::ReadFile(dir.File("printer.bin"));
    return support::CountBytes(Bytes(recorded.begin(), recorded.end()),
                               Bytes(job.begin(), job.end()));
  }
  // Confirmations the journal holds, over all its day-files.
  int Confirmations() {
    int confirmed = 0;
    const std::string folder = dir.File(core::kJournalFolder);
    if (!fs::exists(folder)) return 0;
    for (const auto& file : fs::directory_iterator(folder)) {
      const std::string data = support::ReadFile(file.path().string());
      core::ParseRecords(data, [&](const core::JournalRecord& record) {
        confirmed +=
            record.type == core::RecordType::kState && record.state == core::JobState::kConfirmed;
      });
    }
    return confirmed;
  }
  void KeepScreenshot(const std::string& bmp) {
    const std::string png =
        winetest::ScreenshotDirectory() + "/recent_receipts_" + GetParam().name + ".png";
    fs::create_directories(winetest::ScreenshotDirectory());
    const winetest::Finished convert = winetest::RunToEnd({"convert", bmp, png}, {}, 30000);
    EXPECT_EQ(convert.status, 0) << convert.output;
    std::printf("screenshot: %s\n", png.c_str());
  }

  support::TempDir dir;
  std::string relayEnd;
  support::ChildProcess pair;
  support::ChildProcess relay;
  printersim::SimProcess printer;
};

TEST_P(RecentReceiptsUnderWine, TheSecondJobIsPreviewedAndPrintedAgainByteForByte) {
  const std::string jobs[] = {"\x1b@RECEIPT ONE\n\x1dVA\x03", KoreanReceipt(),
                              "\x1b@RECEIPT THREE\n\x1dVA\x03"};
  support::SerialClient app;
  ASSERT_TRUE(app.Open(dir.File("app")));
  for (int k = 0; k < 3; ++k) {
    SCOPED_TRACE(k);
    ASSERT_TRUE(app.Write(Bytes(jobs[k].begin(), jobs[k].end())));
    ASSERT_TRUE(WaitUntil([&] { return Confirmations() == k + 1; }, 30000))
        << Log() << printer.events().Dump();
  }
  ASSERT_EQ(Printed(jobs[1]), 1);

  const std::string report = dir.File("recent.txt");
  const winetest::Finished driven = winetest::RunToEnd(
      winetest::WineCommand(winetest::WindowsProgram("ui_driver.exe"),
                            {"recent", "1", "Z:" + report, "Z:" + dir.File("shot")}),
      Locale().environment, 240000);
  std::map<std::string, std::string> r = ReadReport(report);
  ASSERT_EQ(r["end"], "0") << driven.output << support::ReadFile(report);
  if (r["screenshot"] == "1") KeepScreenshot(dir.File("shot-recent.bmp"));

  EXPECT_EQ(r["caption"], Say(t::kRecentCaption));
  EXPECT_EQ(r["text " + std::to_string(ids::kPrintAgain)], Say(t::kRecentPrintAgain));
  EXPECT_EQ(r["problem"], "");
  ASSERT_EQ(r["rows"], "3") << support::ReadFile(report);
  // Newest first: the sizes of jobs 3, 2, 1, each printed and confirmed.
  for (int row = 0; row < 3; ++row) {
    const std::string size = std::to_string(jobs[2 - row].size());
    EXPECT_NE(r["row " + std::to_string(row)].find(
                  "|" + core::FormatText(Say(t::kRecentSize).c_str(), size.c_str()) + "|" +
                  Say(t::kRecentStateConfirmed)),
              std::string::npos)
        << r["row " + std::to_string(row)];
  }
  EXPECT_EQ(r["enabled before"], "0");
  // The receipt's text is Korean whatever the system's code page: its bytes
  // pair up as the printer's double-byte characters.
  EXPECT_NE(r["preview"].find("14,000"), std::string::npos) << r["preview"];
  EXPECT_NE(r["preview"].find("영수증"), std::string::npos) << r["preview"];
  EXPECT_EQ(r["status"], Say(t::kReprintQueued));
  EXPECT_EQ(r["closed"], "1");

  EXPECT_TRUE(WaitUntil([&] { return Printed(jobs[1]) == 2; }, 30000))
      << Log() << printer.events().Dump();
  EXPECT_TRUE(WaitUntil([&] { return Confirmations() == 4; }, 30000)) << Log();
  EXPECT_EQ(Printed(jobs[0]), 1);
  EXPECT_EQ(Printed(jobs[2]), 1);
}

INSTANTIATE_TEST_SUITE_P(CodePages, RecentReceiptsUnderWine,
                         ::testing::Values(CodePage{"949", "ko_KR.UTF-8", true},
                                           CodePage{"1252", "C.UTF-8", false}),
                         [](const auto& info) { return std::string("CP") + info.param.name; });

}  // namespace
